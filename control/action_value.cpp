// Conversions between script values, following the rules of the movie's file version.
#include "control/action_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/display_object.h"

namespace quill::movie {

ActionValue ActionValue::fromClip(const std::shared_ptr<DisplayObject>& c) {
    ActionValue v;
    v.type = kClip;
    v.clip = c;
    return v;
}

std::string formatNumber(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    if (d == 0) return "0";
    char buffer[40];
    if (std::fabs(d) < 1e15 && d == std::trunc(d)) {
        std::snprintf(buffer, sizeof buffer, "%.0f", d);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.15g", d);
    // "1e-07" is written "1e-7", as scripts print it.
    std::string s = buffer;
    size_t e = s.find('e');
    if (e != std::string::npos) {
        size_t digits = e + 2;
        while (digits + 1 < s.size() && s[digits] == '0') s.erase(digits, 1);
    }
    return s;
}

double toNumber(const ActionValue& v, int version) {
    switch (v.type) {
        case ActionValue::kUndefined:
        case ActionValue::kNull:
            return version >= 7 ? NAN : 0;
        case ActionValue::kBoolean:
            return v.boolean ? 1 : 0;
        case ActionValue::kNumber:
            return v.number;
        case ActionValue::kClip:
            return NAN;
        case ActionValue::kString: {
            const std::string& s = v.string;
            size_t a = 0, b = s.size();
            while (a < b && std::strchr(" \t\r\n", s[a])) ++a;
            while (b > a && std::strchr(" \t\r\n", s[b - 1])) --b;
            if (a == b) return version >= 7 ? NAN : 0;
            std::string t = s.substr(a, b - a);
            const char* p = t.c_str();
            char* end = nullptr;
            double d;
            if ((t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))) {
                d = static_cast<double>(std::strtoll(p, &end, 16));
            } else if (t == "Infinity" || t == "+Infinity") {
                return INFINITY;
            } else if (t == "-Infinity") {
                return -INFINITY;
            } else if (t.find_first_of("iInN") != std::string::npos) {
                // strtod would read "inf" and "nan"; scripts do not.
                return version >= 5 ? NAN : 0;
            } else {
                d = std::strtod(p, &end);
            }
            if (end == p || *end != '\0') return version >= 5 ? NAN : 0;
            return d;
        }
    }
    return NAN;
}

std::string toString(const ActionValue& v, int version) {
    switch (v.type) {
        case ActionValue::kUndefined:
            return version >= 7 ? "undefined" : "";
        case ActionValue::kNull:
            return "null";
        case ActionValue::kBoolean:
            if (version < 5) return v.boolean ? "1" : "0";
            return v.boolean ? "true" : "false";
        case ActionValue::kNumber:
            return formatNumber(v.number);
        case ActionValue::kString:
            return v.string;
        case ActionValue::kClip: {
            auto c = v.clip.lock();
            return c && !c->removed ? clipPath(*c) : "";
        }
    }
    return "";
}

bool toBoolean(const ActionValue& v, int version) {
    switch (v.type) {
        case ActionValue::kUndefined:
        case ActionValue::kNull:
            return false;
        case ActionValue::kBoolean:
            return v.boolean;
        case ActionValue::kNumber:
            return v.number != 0 && !std::isnan(v.number);
        case ActionValue::kString:
            if (version >= 7) return !v.string.empty();
            {
                double d = toNumber(v, version);
                return d != 0 && !std::isnan(d);
            }
        case ActionValue::kClip:
            return !v.clip.expired();
    }
    return false;
}

bool strictEquals(const ActionValue& a, const ActionValue& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case ActionValue::kUndefined:
        case ActionValue::kNull:
            return true;
        case ActionValue::kBoolean:
            return a.boolean == b.boolean;
        case ActionValue::kNumber:
            return a.number == b.number;
        case ActionValue::kString:
            return a.string == b.string;
        case ActionValue::kClip:
            return !a.clip.owner_before(b.clip) && !b.clip.owner_before(a.clip);
    }
    return false;
}

bool looseEquals(const ActionValue& a, const ActionValue& b, int version) {
    auto nullish = [](const ActionValue& x) {
        return x.type == ActionValue::kUndefined || x.type == ActionValue::kNull;
    };
    if (a.type == b.type) return strictEquals(a, b);
    if (nullish(a) || nullish(b)) return nullish(a) && nullish(b);
    if (a.type == ActionValue::kClip || b.type == ActionValue::kClip) {
        return toString(a, version) == toString(b, version);
    }
    return toNumber(a, version) == toNumber(b, version);
}

const char* typeOf(const ActionValue& v) {
    switch (v.type) {
        case ActionValue::kUndefined:
            return "undefined";
        case ActionValue::kNull:
            return "null";
        case ActionValue::kBoolean:
            return "boolean";
        case ActionValue::kNumber:
            return "number";
        case ActionValue::kString:
            return "string";
        case ActionValue::kClip:
            return "movieclip";
    }
    return "undefined";
}

std::string clipPath(const DisplayObject& clip) {
    std::string path;
    const DisplayObject* o = &clip;
    while (o && o->parent) {
        path = "." + o->name + path;
        o = o->parent;
    }
    return "_level0" + path;
}

std::string clipSlashPath(const DisplayObject& clip) {
    std::string path;
    const DisplayObject* o = &clip;
    while (o && o->parent) {
        path = "/" + o->name + path;
        o = o->parent;
    }
    return path.empty() ? "/" : path;
}

}  // namespace quill::movie
