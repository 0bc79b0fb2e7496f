// The global functions parseInt, parseFloat, escape, unescape, isNaN, isFinite and trace, and the
// global constants NaN and Infinity.
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"
#include "platform/number_text.h"

namespace quill {

namespace {

using platform::digitValue;
using platform::roundBinaryDigits;

// White space skipped before a number: the Unicode white-space characters, fixed here so that
// both targets skip the same ones whatever their C library's wide-character classes say.
bool isWhiteSpace(char16_t c) {
    if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return true;
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

int hexValue(char16_t c) {
    int v = digitValue(c);
    return v < 16 ? v : -1;
}

ScriptValue parseIntText(std::u16string_view s, int64_t radix) {
    size_t i = 0, n = s.size();
    while (i < n && isWhiteSpace(s[i])) ++i;
    bool negative = false;
    if (i < n && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
        while (i < n && isWhiteSpace(s[i])) ++i;
    }
    bool hexPrefix = i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
    if (radix == 0) {
        radix = hexPrefix ? 16 : (i < n && s[i] == '0') ? 8 : 10;
        if (hexPrefix) i += 2;
    } else if (radix == 16 && hexPrefix) {
        i += 2;
    }
    size_t start = i;
    uint64_t value = 0;
    bool fits = true;  // the integer stayed below 2^63
    double d = 0;
    for (; i < n; ++i) {
        int digit = digitValue(s[i]);
        if (digit >= radix) break;  // also ends at once for a radix below 1
        auto r = static_cast<uint64_t>(radix);
        if (fits && value > (uint64_t(INT64_MAX) - uint64_t(digit)) / r) fits = false;
        if (fits) value = value * r + uint64_t(digit);
        d = d * static_cast<double>(radix) + digit;
    }
    if (i == start) return makeNaN();
    if (fits) {
        auto v = static_cast<int64_t>(value);
        return makeInteger(negative ? -v : v);
    }
    std::u16string_view digits = s.substr(start, i - start);
    if (radix == 10) {
        platform::parseDecimal(digits.data(), digits.size(), &d);
    } else if ((radix & (radix - 1)) == 0) {
        d = roundBinaryDigits(digits, std::countr_zero(static_cast<uint64_t>(radix)));
    }
    return makeNumber(negative ? -d : d);
}

void parseIntNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                    ScriptValue* argv) {
    if (!hasArg(argv, 1)) {
        *result = makeNaN();
        return;
    }
    ScriptValue text = toString(engine, argv[1]);
    // Converting the radix may run script code, which may collect.
    RootedValues keep(engine, &text, 1);
    int64_t radix = 0;
    if (hasArg(argv, 2)) radix = toInt64(engine, argv[2]);
    *result = parseIntText(stringView(text), radix);
}

void parseFloatNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                      ScriptValue* argv) {
    if (!hasArg(argv, 1)) {
        *result = makeNaN();
        return;
    }
    ScriptValue n = toNumber(engine, argv[1]);
    *result = n.tag == kTagInteger ? makeNumber(static_cast<double>(n.i)) : n;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// escape's unescaped set. NUL is not in it: it escapes as %00 like every other control.
bool keptByEscape(char16_t c) {
    if (c == 0 || c >= 128) return false;
    return std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789@*_+-./",
                       static_cast<char>(c)) != nullptr;
}

void escapeNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                  ScriptValue* argv) {
    if (!hasArg(argv, 1)) {
        *result = staticString(engine, kStrEmpty);
        return;
    }
    ScriptValue text = toString(engine, argv[1]);
    std::u16string_view s = stringView(text);
    size_t length = 0;
    for (char16_t c : s) length += keptByEscape(c) ? 1 : c < 256 ? 3 : 6;
    // The source stays reachable through `text` (no collection happens here either way).
    StringRecord* out = allocString(engine, length);
    s = stringView(text);
    char16_t* p = out->chars;
    for (char16_t c : s) {
        if (keptByEscape(c)) {
            *p++ = c;
            continue;
        }
        *p++ = '%';
        if (c >= 256) {
            *p++ = 'u';
            *p++ = static_cast<char16_t>(kHexDigits[(c >> 12) & 15]);
            *p++ = static_cast<char16_t>(kHexDigits[(c >> 8) & 15]);
        }
        *p++ = static_cast<char16_t>(kHexDigits[(c >> 4) & 15]);
        *p++ = static_cast<char16_t>(kHexDigits[c & 15]);
    }
    *result = makeString(out);
}

void unescapeNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                    ScriptValue* argv) {
    if (!hasArg(argv, 1)) return;  // undefined
    ScriptValue text = toString(engine, argv[1]);
    // Never longer than the source; allocating does not collect, so `text` stays valid.
    StringRecord* record = allocString(engine, text.str->length);
    char16_t* out = record->chars;
    std::u16string_view s = stringView(text);
    size_t n = s.size();
    size_t length = 0;
    for (size_t i = 0; i < n;) {
        if (s[i] == '%') {
            if (i + 6 <= n && s[i + 1] == 'u') {
                int a = hexValue(s[i + 2]), b = hexValue(s[i + 3]);
                int c = hexValue(s[i + 4]), d = hexValue(s[i + 5]);
                if ((a | b | c | d) >= 0) {
                    out[length++] = static_cast<char16_t>((a << 12) | (b << 8) | (c << 4) | d);
                    i += 6;
                    continue;
                }
            }
            if (i + 3 <= n) {
                int a = hexValue(s[i + 1]), b = hexValue(s[i + 2]);
                if ((a | b) >= 0) {
                    out[length++] = static_cast<char16_t>((a << 4) | b);
                    i += 3;
                    continue;
                }
            }
        }
        out[length++] = s[i++];
    }
    record->length = static_cast<uint32_t>(length);
    *result = makeString(record);
}

void isNaNNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                 ScriptValue* argv) {
    if (!hasArg(argv, 1)) return;  // undefined
    const ScriptValue& v = argv[1];
    if (v.tag == kTagInteger || v.tag == kTagNumber) {
        *result = makeBoolean(false);
    } else if (v.tag == kTagNaN) {
        *result = makeBoolean(true);
    } else {
        *result = makeBoolean(toNumber(engine, v).tag == kTagNaN);
    }
}

void isFiniteNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
                    ScriptValue* argv) {
    if (!hasArg(argv, 1)) return;  // undefined
    ScriptValue n = argv[1];
    if (n.tag != kTagInteger && n.tag != kTagNumber && n.tag != kTagNaN) n = toNumber(engine, n);
    bool finite = n.tag == kTagInteger || (n.tag == kTagNumber && !std::isinf(n.d));
    *result = makeBoolean(finite);
}

// The argument's text goes where warnings go (the same routine, so a host that shows warnings
// shows traces); the characters reach the trace output unchanged, not through the code page.
void traceNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue*, ScriptValue* argv) {
    if (!hasArg(argv, 1)) return;
    ScriptValue out[2] = {makeInteger(1), toString(engine, argv[1])};
    setErrorText(engine, toAnsiString(stringView(out[1])));
    if (engine->trace) engine->trace(engine, engine->traceUser, out);
}

}  // namespace

void registerGlobalFunctions(ScriptEngine* engine) {
    static constexpr struct {
        const char* name;
        NativeFunction function;
        const char* synopsis;
        const char* summary;
    } kFunctions[] = {
        {"parseInt", parseIntNative, "text [, radix]",
         "The integer at the start of text in radix 2-36 (leading blanks skipped; without a "
         "radix, 0x means hexadecimal and a leading 0 octal); NaN when there is no digit."},
        {"parseFloat", parseFloatNative, "text",
         "text converted to a number as a whole (a double); NaN when it is not one."},
        {"escape", escapeNative, "text",
         "text with every character outside A-Z a-z 0-9 @*_+-./ written as %XX or %uXXXX."},
        {"unescape", unescapeNative, "text", "text with %XX and %uXXXX sequences decoded."},
        {"isNaN", isNaNNative, "value", "True when value converts to NaN."},
        {"isFinite", isFiniteNative, "value",
         "True when value converts to a number that is neither NaN nor infinite."},
        {"trace", traceNative, "value",
         "Writes value's text where warnings go (quill run --warnings shows it on standard "
         "error)."},
    };
    for (const auto& f : kFunctions) {
        ClassDescriptor* cls = registerClass(engine, f.name);
        cls->call = f.function;
        cls->synopsis = f.synopsis;
        cls->summary = f.summary;
    }
    setGlobal(engine, "NaN", makeNaN());
    setGlobal(engine, "Infinity", makeNumber(INFINITY));
}

}  // namespace quill
