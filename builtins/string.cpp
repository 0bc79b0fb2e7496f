// The String class: conversion and construction (`new String` attaches an object of its own),
// `length`, fromCharCode and the methods of string values. Positions come only from integer
// arguments; other argument types give each method's empty result instead of being converted.
#include <cmath>
#include <string_view>

#include "builtins/builtin_reference.h"
#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "builtins/regexp.h"
#include "builtins/string_methods.h"
#include "builtins/string_support.h"
#include "platform/unicode_chars.h"
#include "runtime/array.h"

namespace quill {

namespace {

constexpr int64_t kDefaultSplitLimit = 2147483647;

ScriptValue emptyString(ScriptEngine* engine) {
    return staticString(engine, kStrEmpty);
}

// The one-unit code of a fromCharCode argument.
char16_t charCodeOf(const ScriptValue& v) {
    switch (v.tag) {
        case kTagInteger:
            return static_cast<char16_t>(static_cast<uint64_t>(v.i) & 0xFFFF);
        case kTagNumber: {
            if (!std::isfinite(v.d)) return 0;
            double m = std::fmod(std::trunc(v.d), 65536.0);
            if (m < 0) m += 65536.0;
            return static_cast<char16_t>(m);
        }
        case kTagString: {
            // A decimal integer from the first 20 characters, read the way the C library's
            // integer conversion reads it (white space, sign, digits; saturated to 32 bits).
            std::u16string_view text = textOf(v).substr(0, 20);
            size_t i = 0;
            while (i < text.size() && (text[i] == ' ' || (text[i] >= 9 && text[i] <= 13))) ++i;
            bool negative = false;
            if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
            int64_t value = 0;
            for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
                value = value * 10 + (text[i] - '0');
                if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
            }
            if (negative) value = -value;
            if (value > INT32_MAX) value = INT32_MAX;
            return static_cast<char16_t>(static_cast<uint64_t>(value) & 0xFFFF);
        }
        default:
            return 0;
    }
}

void fromCharCode(ScriptEngine* engine, ScriptValue* argv, ScriptValue* result) {
    uint32_t n = argCount(argv);
    StringRecord* record = allocString(engine, n);
    for (uint32_t i = 0; i < n; ++i) record->chars[i] = charCodeOf(argv[i + 1]);
    *result = makeString(record);
}

// A position argument counted from the end when negative, then clamped to [0, length].
size_t endRelative(int64_t position, size_t length) {
    if (position < 0) {
        position += int64_t(length);
        return position < 0 ? 0 : size_t(position);
    }
    return uint64_t(position) > length ? length : size_t(position);
}

ScriptValue slice(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    int64_t b, e;
    if (!intArg(argv, 1, &b)) return emptyString(engine);
    size_t length = self.str->length;
    size_t begin = endRelative(b, length);
    size_t end = intArg(argv, 2, &e) ? endRelative(e, length) : length;
    if (end < begin) return emptyString(engine);
    return sliceString(engine, self, begin, end);
}

ScriptValue substr(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    int64_t b, n;
    if (!intArg(argv, 1, &b)) return emptyString(engine);
    size_t length = self.str->length;
    size_t begin = endRelative(b, length);
    size_t count = length - begin;
    if (intArg(argv, 2, &n)) count = n < 0 ? 0 : (uint64_t(n) < count ? size_t(n) : count);
    return sliceString(engine, self, begin, begin + count);
}

ScriptValue substring(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    int64_t b, e;
    if (!intArg(argv, 1, &b)) return emptyString(engine);
    size_t length = self.str->length;
    int64_t end =
        intArg(argv, 2, &e) ? (e > int64_t(length) ? int64_t(length) : e) : int64_t(length);
    int64_t begin = b < 0 ? 0 : b;
    if (begin > end) return emptyString(engine);  // the bounds are not swapped
    return sliceString(engine, self, size_t(begin), size_t(end));
}

// indexOf and lastIndexOf take their text through the string conversion.
ScriptValue searchText(ScriptEngine* engine, ScriptValue* argv) {
    ScriptValue t = arg(argv, 1);
    return t.tag == kTagString ? t : toString(engine, t);
}

int64_t indexOf(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    ScriptValue target = searchText(engine, argv);
    int64_t from = 0;
    intArg(argv, 2, &from);
    if (from < 0) from = 0;
    std::u16string_view text = textOf(self), t = textOf(target);
    if (uint64_t(from) > text.size() || t.size() > text.size() - size_t(from)) return -1;
    size_t found = findText(text, t, size_t(from));
    return found == std::u16string_view::npos ? -1 : int64_t(found);
}

int64_t lastIndexOf(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    ScriptValue target = searchText(engine, argv);
    std::u16string_view text = textOf(self), t = textOf(target);
    if (t.size() > text.size()) return -1;
    int64_t latest = int64_t(text.size() - t.size());
    int64_t start = latest;
    if (intArg(argv, 2, &start) && start > latest) start = latest;
    if (start < 0) return -1;
    size_t found = text.rfind(t, size_t(start));
    return found == std::u16string_view::npos ? -1 : int64_t(found);
}

ScriptValue concat(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    // Each conversion may run a script, which may even change this string in place: the text is
    // copied as it stands before the first one.
    TextBuilder text(engine);
    text.append(textOf(self));
    for (uint32_t i = 1; i <= argCount(argv); ++i) text.append(textOf(toString(engine, argv[i])));
    return text.toValue();
}

ScriptValue replace(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv) {
    if (argCount(argv) < 2) return emptyString(engine);
    const ScriptValue& pattern = argv[1];
    const ScriptValue& replacement = argv[2];
    if (replacement.tag != kTagString) return emptyString(engine);
    ScriptValue result;
    if (regexpInstance(engine, pattern)) {
        regexpReplace(engine, self, pattern, replacement, &result);
        return result;
    }
    if (pattern.tag != kTagString) return emptyString(engine);
    std::u16string_view text = textOf(self);
    size_t found = findText(text, textOf(pattern));
    if (found == std::u16string_view::npos) return self;
    TextBuilder out(engine);
    out.append(text.substr(0, found));
    out.append(textOf(replacement));
    out.append(text.substr(found + pattern.str->length));
    return out.toValue();
}

void split(ScriptEngine* engine, const ScriptValue& self, ScriptValue* argv, ScriptValue* result) {
    int64_t n = kDefaultSplitLimit;
    intArg(argv, 2, &n);
    // A negative limit is no limit, as an unsigned count of that size would be.
    uint64_t limit = n < 0 ? UINT32_MAX : uint64_t(n);
    ScriptValue separator = arg(argv, 1);
    if (regexpInstance(engine, separator)) {
        regexpSplit(engine, self, separator, limit, result);
        return;
    }
    // No collection happens while the array is filled, so it needs no root.
    newArray(engine, result, 0);
    auto push = [&](const ScriptValue& piece) {
        uint64_t k = result->arr->length;
        setElement(engine, *result, piece, k);
        result->arr->length = k + 1;
    };
    size_t length = self.str->length;
    if (separator.tag != kTagString) {
        push(self);
        return;
    }
    std::u16string_view text = textOf(self), sep = textOf(separator);
    if (sep.empty()) {
        for (size_t i = 0; i < length && i < limit; ++i) push(sliceString(engine, self, i, i + 1));
        return;
    }
    size_t position = 0;
    while (result->arr->length < limit) {
        size_t found = findText(text, sep, position);
        if (found == std::u16string_view::npos) break;
        push(sliceString(engine, self, position, found));
        position = found + sep.size();
    }
    if (result->arr->length < limit) push(sliceString(engine, self, position, length));
}

ScriptValue mapCase(ScriptEngine* engine, const ScriptValue& self, char16_t (*map)(char16_t)) {
    size_t length = self.str->length;
    StringRecord* record = allocString(engine, length);
    const char16_t* source = self.str->chars;
    for (size_t i = 0; i < length; ++i) record->chars[i] = map(source[i]);
    return makeString(record);
}

void stringMethod(ScriptEngine* engine, int member, const ScriptValue& self, ScriptValue* argv,
                  ScriptValue* result) {
    size_t length = self.str->length;
    int64_t i = 0;
    switch (member) {
        case kStrCharAt:
            if (intArg(argv, 1, &i) && uint64_t(i) < length) {
                *result = sliceString(engine, self, size_t(i), size_t(i) + 1);
            } else {
                *result = emptyString(engine);
            }
            return;
        case kStrCharCodeAt:
            if (hasArg(argv, 1) && !intArg(argv, 1, &i)) {
                *result = makeNaN();
            } else if (uint64_t(i) >= length) {
                *result = makeNaN();
            } else {
                *result = makeInteger(self.str->chars[i]);
            }
            return;
        case kStrConcat:
            *result = concat(engine, self, argv);
            return;
        case kStrIndexOf:
            *result = makeInteger(indexOf(engine, self, argv));
            return;
        case kStrLastIndexOf:
            *result = makeInteger(lastIndexOf(engine, self, argv));
            return;
        case kStrMatch:
            if (regexpInstance(engine, arg(argv, 1))) {
                regexpMatch(engine, self, argv[1], result);
            } else {
                newArray(engine, result, 0);
            }
            return;
        case kStrReplace:
            *result = replace(engine, self, argv);
            return;
        case kStrSearch:
            *result = makeInteger(
                regexpInstance(engine, arg(argv, 1)) ? regexpSearch(engine, self, argv[1]) : -1);
            return;
        case kStrSlice:
            *result = slice(engine, self, argv);
            return;
        case kStrSplit:
            split(engine, self, argv, result);
            return;
        case kStrSubstr:
            *result = substr(engine, self, argv);
            return;
        case kStrSubstring:
            *result = substring(engine, self, argv);
            return;
        case kStrToLowerCase:
            *result = mapCase(engine, self, platform::toLowerUnit);
            return;
        case kStrToUpperCase:
            *result = mapCase(engine, self, platform::toUpperUnit);
            return;
        default:
            stringHtmlMethod(engine, member, self, argv, result);
            return;
    }
}

// `data` is null for the class value and points at the string for string values.
int methodHook(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
               ScriptValue* result, ScriptValue* argv) {
    int member = memberIndex(cls, atom);
    if (!data) {
        if (atom == engine->atomToString) {
            *result = newStringFromAscii(engine, "[Object String]");
        } else if (atom == engine->atomValueOf) {
            *result = getGlobal(engine, "String");
        } else if (member == kStrFromCharCode) {
            fromCharCode(engine, argv, result);
        } else {
            return 0;
        }
        return 1;
    }
    // A private copy: `data` may point into memory that a called script reuses.
    ScriptValue self = *static_cast<ScriptValue*>(data);
    if (self.tag != kTagString) return 0;
    if (atom == engine->atomToString || atom == engine->atomValueOf) {
        *result = self;
        return 1;
    }
    if (member < 0 || member == kStrLength) return 0;
    if (member == kStrFromCharCode) {
        fromCharCode(engine, argv, result);
        return 1;
    }
    stringMethod(engine, member, self, argv, result);
    return 1;
}

int propertyHook(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                 ScriptValue* value) {
    (void)engine;
    if (memberIndex(cls, atom) != kStrLength) return 0;
    // The length of a string follows its text; writes are accepted and change nothing.
    if (mode == 0) {
        auto* self = static_cast<ScriptValue*>(data);
        *value = makeInteger(self && self->tag == kTagString ? self->str->length : 1);
    }
    return 1;
}

void callHook(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
              ScriptValue* argv) {
    *result = hasArg(argv, 1) ? toString(engine, argv[1]) : emptyString(engine);
}

// A string with its own copy of the text and an object attached from the start, so that
// properties set on it never reach the string it was made from.
void constructHook(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv,
                   ScriptValue* result) {
    ScriptValue text = hasArg(argv, 1) ? toString(engine, argv[1]) : emptyString(engine);
    ScriptValue copy = newString(engine, textOf(text));
    copy.str->props = newObjectWithProto(engine, cls->prototype);
    *result = copy;
}

}  // namespace

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kStringReference[] = {
    bind::describedClassMethod("toString", "",
                               "The string itself; \"[Object String]\" on the class."),
    bind::describedClassMethod("valueOf", "", "The string itself; the String class on the class."),
    bind::describedClassMethod(
        "fromCharCode", "code, ...",
        "A string of the UTF-16 units with these codes (on the class or any string)."),
    bind::describedProperty("length", "The number of UTF-16 units; 1 on the class."),
    bind::describedMethod("charAt", "index",
                          "The unit at index as a one-unit string; empty outside the string."),
    bind::describedMethod("charCodeAt", "[index]",
                          "The code of the unit at index (default 0); NaN outside the string or "
                          "for a non-integer index."),
    bind::describedMethod("concat", "value, ...", "The string followed by the text of each value."),
    bind::describedMethod("indexOf", "text [, from]",
                          "The first position of text at or after from; -1 when absent."),
    bind::describedMethod("lastIndexOf", "text [, from]",
                          "The last position of text at or before from; -1 when absent."),
    bind::describedMethod("match", "regexp",
                          "The matches of a RegExp (all of them with the g flag, else the match "
                          "and its groups); an empty array for anything else."),
    bind::describedMethod("replace", "pattern, replacement",
                          "The string with the first occurrence of a text pattern, or the RegExp's "
                          "matches, replaced by the replacement text ($1 ... in it for RegExp "
                          "groups); empty unless replacement is a string."),
    bind::describedMethod(
        "search", "regexp",
        "The position of the RegExp's first match; -1 when none or for anything else."),
    bind::describedMethod("slice", "start [, end]",
                          "The units from start up to end (negative: from the end); empty when end "
                          "comes first or start is not an integer."),
    bind::describedMethod(
        "split", "[separator [, limit]]",
        "An array of the pieces between separators (a text or a RegExp; empty: every unit), at "
        "most limit of them; [the whole string] when separator is neither."),
    bind::describedMethod(
        "substr", "start [, count]",
        "count units from start (negative: from the end); to the end without count."),
    bind::describedMethod(
        "substring", "start [, end]",
        "The units from start up to end; empty when end comes first (the bounds are not swapped)."),
    bind::describedMethod("toLowerCase", "", "The string in lower case."),
    bind::describedMethod("toUpperCase", "", "The string in upper case."),
    bind::describedMethod("anchor", "name", "The string in <A NAME=\"name\">...</A>."),
    bind::describedMethod("big", "", "The string in <BIG>...</BIG>."),
    bind::describedMethod("blink", "", "The string in <BLINK>...</BLINK>."),
    bind::describedMethod("bold", "", "The string in <B>...</B>."),
    bind::describedMethod("fixed", "", "The string in <TT>...</TT>."),
    bind::describedMethod("fontColor", "color", "The string in <FONT COLOR=\"color\">...</FONT>."),
    bind::describedMethod("fontSize", "size", "The string in <FONT SIZE=\"size\">...</FONT>."),
    bind::describedMethod("italics", "", "The string in <I>...</I>."),
    bind::describedMethod("link", "url", "The string in <A HREF=\"url\">...</A>."),
    bind::describedMethod("small", "", "The string in <SMALL>...</SMALL>."),
    bind::describedMethod("strike", "", "The string in <STRIKE>...</STRIKE>."),
    bind::describedMethod("sub", "", "The string in <SUB>...</SUB>."),
    bind::describedMethod("sup", "", "The string in <SUP>...</SUP>."),
};

void registerString(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClassWithNames(
        engine, "String", ClassId::kString,
        {"length",      "charAt",    "charCodeAt",  "concat",      "fromCharCode", "indexOf",
         "lastIndexOf", "match",     "replace",     "search",      "slice",        "split",
         "substr",      "substring", "toLowerCase", "toUpperCase", "anchor",       "big",
         "blink",       "bold",      "fixed",       "fontColor",   "fontSize",     "italics",
         "link",        "small",     "strike",      "sub",         "sup"});
    cls->synopsis = "[value]";
    cls->summary =
        "Converts value to a string (no argument: the empty string); strings are UTF-16, their "
        "positions count units from 0.";
    cls->call = callHook;
    cls->method = methodHook;
    cls->property = propertyHook;
    cls->construct = constructHook;
    engine->typeTable[kTagString] = cls;
}

bind::MemberTable stringReference() {
    return kStringReference;
}

}  // namespace quill
