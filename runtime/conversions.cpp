// The value conversions: to primitive, string, number, boolean, integers and object, including
// the exact parsing of numeric text (radix prefixes, 64-bit accumulation, the decimal fallback).
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/number_text.h"
#include "runtime/engine_internal.h"

namespace quill {

namespace {

using platform::digitValue;
using platform::roundBinaryDigits;

bool isPrimitiveTag(uint32_t tag) {
    return tag <= kTagNumber || tag == kTagNaN;
}

// Calls a method of an object through the host entry point; the result, when the call succeeded
// and gave a primitive, goes to *out.
bool callForPrimitive(ScriptEngine* engine, const ScriptValue& object, const char* method,
                      ScriptValue* out) {
    ScriptValue argv[1] = {makeInteger(0)};
    ScriptValue receiver = object;
    RootedValues keep(engine, &receiver, 1);
    if (!callMethod(engine, receiver, method, 1, argv)) return false;
    if (!isPrimitiveTag(engine->returnSlot.tag)) return false;
    *out = engine->returnSlot;
    return true;
}

bool hostMethod(ScriptEngine* engine, const ScriptValue& value, uint32_t atom, ScriptValue* out) {
    ClassDescriptor* cls = value.host->cls;
    if (!cls->method) return false;
    ScriptValue argv[1] = {makeInteger(0)};
    *out = makeUndefined();
    return cls->method(engine, cls, value.host->data, atom, out, argv) != 0;
}

// The type descriptor's method hook for `toString` on a value of a type-table tag.
bool typeMethod(ScriptEngine* engine, const ScriptValue& value, uint32_t atom, ScriptValue* out) {
    ClassDescriptor* type = value.tag < kTypeTableSize ? engine->typeTable[value.tag] : nullptr;
    if (!type || !type->method) return false;
    ScriptValue self = value;
    ScriptValue argv[1] = {makeInteger(0)};
    *out = makeUndefined();
    return type->method(engine, type, &self, atom, out, argv) != 0;
}

[[noreturn]] void cannotConvert(ScriptEngine* engine) {
    raiseError(engine, "Can't convert to primitive type");
}

inline bool isSpace(char16_t c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

}  // namespace

ScriptValue stringToNumber(std::u16string_view text) {
    if (text.empty()) return makeInteger(0);
    size_t i = 0, n = text.size();
    while (i < n && isSpace(text[i])) ++i;
    size_t numberStart = i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int radix = 10;
    if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        radix = 16;
        i += 2;
    } else if (i < n && text[i] == '0') {
        radix = 8;  // the leading 0 is itself an octal digit
    }
    size_t digitsStart = i;
    uint64_t value = 0;
    bool overflow = false;
    while (i < n && digitValue(text[i]) < radix) {
        uint64_t d = static_cast<uint64_t>(digitValue(text[i]));
        if (value > (uint64_t(INT64_MAX) - d) / uint64_t(radix)) overflow = true;
        value = value * uint64_t(radix) + d;
        ++i;
    }
    bool noDigits = i == digitsStart;
    bool decimalTail = i < n && (text[i] == '.' || text[i] == 'e' || text[i] == 'E' ||
                                 text[i] == 'd' || text[i] == 'D');
    if (noDigits || decimalTail || (overflow && radix == 10)) {
        double d = 0.0;
        size_t used;
        if (overflow && radix == 10 && !decimalTail) {
            // The digit run (with its sign) through the decimal conversion.
            used = platform::parseDecimal(text.data() + numberStart, i - numberStart, &d);
        } else {
            used = platform::parseDecimal(text.data(), n, &d);
        }
        return used ? makeNumber(d) : makeNaN();
    }
    if (overflow) {
        double d =
            roundBinaryDigits(text.substr(digitsStart, i - digitsStart), radix == 16 ? 4 : 3);
        return makeNumber(negative ? -d : d);
    }
    int64_t result = static_cast<int64_t>(value);
    return makeInteger(negative ? -result : result);
}

ScriptValue numberToString(ScriptEngine* engine, const ScriptValue& number) {
    switch (number.tag) {
        case kTagInteger: {
            char buffer[24];
            char* end = buffer + sizeof buffer;
            char* p = end;
            uint64_t magnitude = number.i < 0 ? 0 - static_cast<uint64_t>(number.i)
                                              : static_cast<uint64_t>(number.i);
            do {
                *--p = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude);
            if (number.i < 0) *--p = '-';
            return newStringFromAscii(engine, std::string_view(p, size_t(end - p)));
        }
        case kTagNumber:
            return newStringFromAscii(engine, platform::formatDoubleG(number.d));
        default:
            return staticString(engine, kStrNaN);
    }
}

ScriptValue toPrimitive(ScriptEngine* engine, const ScriptValue& value, int hint) {
    switch (value.tag) {
        case kTagUndefined:
        case kTagNull:
        case kTagBoolean:
        case kTagInteger:
        case kTagString:
        case kTagNumber:
        case kTagNaN:
            return value;
        case kTagArray:
        case kTagFunction:
            return toString(engine, value);
        case kTagObject: {
            NativeDepthGuard depth(engine);
            const char* first = hint == kHintString ? "toString" : "valueOf";
            const char* second = hint == kHintString ? "valueOf" : "toString";
            ScriptValue out;
            if (callForPrimitive(engine, value, first, &out)) return out;
            if (callForPrimitive(engine, value, second, &out)) return out;
            cannotConvert(engine);
        }
        case kTagHost: {
            NativeDepthGuard depth(engine);
            if (!value.host->cls->method) cannotConvert(engine);
            uint32_t first = hint == kHintString ? engine->atomToString : engine->atomValueOf;
            uint32_t second = hint == kHintString ? engine->atomValueOf : engine->atomToString;
            ScriptValue out;
            if (hostMethod(engine, value, first, &out)) return out;
            if (hostMethod(engine, value, second, &out)) return out;
            cannotConvert(engine);
        }
        default:
            cannotConvert(engine);
    }
}

ScriptValue toString(ScriptEngine* engine, const ScriptValue& value) {
    switch (value.tag) {
        case kTagUndefined:
        case kTagNull:
            return staticString(engine, kStrUndefined);
        case kTagBoolean:
            return staticString(engine, value.i ? kStrTrue : kStrFalse);
        case kTagInteger:
        case kTagNumber:
        case kTagNaN:
            return numberToString(engine, value);
        case kTagString:
            return value;
        case kTagArray:
        case kTagFunction: {
            NativeDepthGuard depth(engine);
            ScriptValue out;
            if (typeMethod(engine, value, engine->atomToString, &out) && out.tag == kTagString) {
                return out;
            }
            return staticString(engine, kStrUnknown);
        }
        case kTagObject: {
            NativeDepthGuard depth(engine);
            ScriptValue argv[1] = {makeInteger(0)};
            ScriptValue receiver = value;
            RootedValues keep(engine, &receiver, 1);
            if (callMethod(engine, receiver, "toString", 1, argv) &&
                engine->returnSlot.tag == kTagString) {
                return engine->returnSlot;
            }
            return staticString(engine, kStrObject);
        }
        case kTagHost: {
            NativeDepthGuard depth(engine);
            ScriptValue out;
            if (hostMethod(engine, value, engine->atomToString, &out) && out.tag == kTagString) {
                return out;
            }
            return staticString(engine, kStrObject);
        }
        case kTagAtom: {
            const char* name = atomName(engine, value.atom());
            ScriptValue out;
            newStringFromAnsi(engine, &out, name, std::strlen(name));
            return out;
        }
        default:
            return staticString(engine, kStrUnknown);
    }
}

ScriptValue toNumber(ScriptEngine* engine, const ScriptValue& value) {
    switch (value.tag) {
        case kTagNull:
            return makeInteger(0);
        case kTagBoolean:
            return makeInteger(value.i ? 1 : 0);
        case kTagInteger:
        case kTagNumber:
        case kTagNaN:
            return value;
        case kTagString:
            return stringToNumber(stringView(value));
        case kTagArray:
        case kTagObject:
        case kTagHost:
        case kTagFunction: {
            ScriptValue primitive = toPrimitive(engine, value, 0);
            if (primitive.tag == kTagArray || primitive.tag == kTagObject ||
                primitive.tag == kTagHost || primitive.tag == kTagFunction) {
                return makeNaN();
            }
            return toNumber(engine, primitive);
        }
        default:
            return makeNaN();
    }
}

int toBoolean(ScriptEngine*, const ScriptValue& value) {
    return isTruthy(value) ? 1 : 0;
}

int64_t toInt64(ScriptEngine* engine, const ScriptValue& value) {
    ScriptValue n = value.tag == kTagInteger ? value : toNumber(engine, value);
    if (n.tag == kTagInteger) return n.i;
    if (n.tag != kTagNumber || !std::isfinite(n.d)) return 0;
    double t = std::trunc(n.d);
    // Out of range gives the pattern the processor's conversion gives on both targets.
    if (t >= 9223372036854775808.0 || t < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(t);
}

int32_t toInt32(ScriptEngine* engine, const ScriptValue& value) {
    return static_cast<int32_t>(
        static_cast<uint32_t>(static_cast<uint64_t>(toInt64(engine, value))));
}

ScriptValue toObject(ScriptEngine* engine, const ScriptValue& value) {
    switch (value.tag) {
        case kTagString: {
            ScriptValue copy;
            newStringFromWide(engine, &copy, value.str->chars, value.str->length);
            return copy;
        }
        case kTagBoolean:
        case kTagInteger:
        case kTagNumber:
        case kTagArray:
        case kTagObject:
        case kTagHost:
        case kTagFunction:
        case kTagNaN:
            return value;
        default:
            raiseError(engine, "Can't convert to object");
    }
}

}  // namespace quill
