// The URI coding functions encodeURI, decodeURI, encodeURIComponent and decodeURIComponent:
// UTF-8 percent-escapes over UTF-16 text, with "Invalid URI string" for text that cannot be
// coded. Registered with the application functions.
#include <cstring>
#include <string>

#include "builtins/builtin_support.h"
#include "builtins/builtins.h"

namespace quill {

namespace {

constexpr char kReserved[] = ";/?:@&=+$,#";
constexpr char kUnescaped[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_.!~*'()";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Set membership for ASCII sets. NUL belongs to no set: it is coded as %00 and decoded back.
bool inSet(char16_t c, const char* set) {
    return c != 0 && c < 128 && std::strchr(set, static_cast<char>(c)) != nullptr;
}

[[noreturn]] void invalidUri(ScriptEngine* engine) {
    raiseError(engine, "Invalid URI string");
}

int hexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendEscapedByte(std::u16string* out, uint32_t byte) {
    out->push_back('%');
    out->push_back(static_cast<char16_t>(kHexDigits[(byte >> 4) & 15]));
    out->push_back(static_cast<char16_t>(kHexDigits[byte & 15]));
}

ScriptValue encode(ScriptEngine* engine, std::u16string_view s, bool component) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (inSet(c, kUnescaped) || (!component && inSet(c, kReserved))) {
            out.push_back(c);
            continue;
        }
        uint32_t cp = c;
        if (c >= 0xDC00 && c <= 0xDFFF) invalidUri(engine);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) invalidUri(engine);
            cp = (uint32_t(c) - 0xD800) * 0x400 + (uint32_t(s[i + 1]) - 0xDC00) + 0x10000;
            ++i;
        }
        if (cp < 0x80) {
            appendEscapedByte(&out, cp);
        } else if (cp < 0x800) {
            appendEscapedByte(&out, 0xC0 | (cp >> 6));
            appendEscapedByte(&out, 0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            appendEscapedByte(&out, 0xE0 | (cp >> 12));
            appendEscapedByte(&out, 0x80 | ((cp >> 6) & 0x3F));
            appendEscapedByte(&out, 0x80 | (cp & 0x3F));
        } else {
            appendEscapedByte(&out, 0xF0 | (cp >> 18));
            appendEscapedByte(&out, 0x80 | ((cp >> 12) & 0x3F));
            appendEscapedByte(&out, 0x80 | ((cp >> 6) & 0x3F));
            appendEscapedByte(&out, 0x80 | (cp & 0x3F));
        }
    }
    return newString(engine, out);
}

// The byte of the escape at s[i] ("%" and two hex digits), or -1.
int escapedByte(std::u16string_view s, size_t i) {
    if (i + 3 > s.size() || s[i] != '%') return -1;
    int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
    return hi < 0 || lo < 0 ? -1 : (hi << 4) | lo;
}

// The smallest code point each sequence length may carry; anything below is an overlong form.
constexpr uint32_t kMinimumCodePoint[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};

// Decodes into `out`, which holds as many units as the source (decoding never lengthens text),
// and sets *length. False when the text holds a well-formed escape sequence that is not valid
// UTF-8 (the caller's result is then undefined). Malformed escapes raise "Invalid URI string".
bool decode(ScriptEngine* engine, std::u16string_view s, bool component, char16_t* out,
            size_t* outLength) {
    size_t n = s.size();
    size_t length = 0;
    for (size_t i = 0; i < n;) {
        if (s[i] != '%') {
            out[length++] = s[i++];
            continue;
        }
        size_t start = i;
        int lead = escapedByte(s, i);
        if (lead < 0) invalidUri(engine);
        i += 3;
        if (lead < 0x80) {
            if (!component && inSet(char16_t(lead), kReserved)) {
                for (size_t k = start; k < i; ++k) out[length++] = s[k];  // as written
            } else {
                out[length++] = static_cast<char16_t>(lead);
            }
            continue;
        }
        int count = 0;
        while (count < 8 && (lead & (0x80 >> count))) ++count;
        if (count == 1 || count > 6) invalidUri(engine);
        uint32_t cp = uint32_t(lead) & (0x7Fu >> count);
        for (int k = 1; k < count; ++k) {
            int next = escapedByte(s, i);
            if (next < 0 || (next & 0xC0) != 0x80) invalidUri(engine);
            cp = (cp << 6) | uint32_t(next & 0x3F);
            i += 3;
        }
        if (cp < kMinimumCodePoint[count] || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp > 0x10FFFF) invalidUri(engine);
        if (cp >= 0x10000) {
            out[length++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out[length++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out[length++] = static_cast<char16_t>(cp);
        }
    }
    *outLength = length;
    return true;
}

template <bool kDecode, bool kComponent>
void uriNative(ScriptEngine* engine, ClassDescriptor*, void*, ScriptValue* result,
               ScriptValue* argv) {
    if (!hasArg(argv, 1)) return;  // undefined
    ScriptValue text = toString(engine, argv[1]);
    if (!kDecode) {
        *result = encode(engine, stringView(text), kComponent);
        return;
    }
    // Allocating does not collect, so `text` stays valid while the record is filled.
    StringRecord* out = allocString(engine, text.str->length);
    size_t length = 0;
    if (decode(engine, stringView(text), kComponent, out->chars, &length)) {
        out->length = static_cast<uint32_t>(length);
        *result = makeString(out);
    }
}

}  // namespace

void registerUriFunctions(ScriptEngine* engine) {
    static constexpr struct {
        const char* name;
        NativeFunction function;
        const char* summary;
    } kFunctions[] = {
        {"decodeURI", uriNative<true, false>,
         "text with %XX UTF-8 escapes decoded, except those of ;/?:@&=+$,#; the error \"Invalid "
         "URI string\" on a malformed escape."},
        {"encodeURI", uriNative<false, false>,
         "text as UTF-8 %XX escapes, keeping letters, digits, -_.!~*'() and ;/?:@&=+$,#; the "
         "error \"Invalid URI string\" on a lone surrogate."},
        {"decodeURIComponent", uriNative<true, true>,
         "text with every %XX UTF-8 escape decoded; the error \"Invalid URI string\" on a "
         "malformed escape."},
        {"encodeURIComponent", uriNative<false, true>,
         "text as UTF-8 %XX escapes, keeping only letters, digits and -_.!~*'(); the error "
         "\"Invalid URI string\" on a lone surrogate."},
    };
    for (const auto& f : kFunctions) {
        ClassDescriptor* cls = registerClass(engine, f.name);
        cls->call = f.function;
        cls->synopsis = "text";
        cls->summary = f.summary;
    }
}

}  // namespace quill
