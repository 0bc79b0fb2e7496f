// String records: creation from ANSI, UTF-8 and wide text, static strings, concatenation,
// comparison, and the conversions back to 8-bit text.
#include <cstring>

#include "platform/ansi_codepage.h"
#include "platform/utf8_text.h"
#include "runtime/engine_internal.h"

namespace quill {

namespace {

// Strings up to this many code units are one heap block with their record.
constexpr size_t kInlineLimit = 48;

}  // namespace

StringRecord* allocString(ScriptEngine* engine, size_t length) {
    if (length > 0x7FFFFFFFu) raiseError(engine, "Out of memory");
    if (length <= kInlineLimit) {
        auto* record = static_cast<StringRecord*>(
            gcAlloc(engine, sizeof(StringRecord) + length * sizeof(char16_t)));
        record->flags = kStringInline;
        record->length = static_cast<uint32_t>(length);
        record->props = nullptr;
        record->chars = reinterpret_cast<char16_t*>(record + 1);
        return record;
    }
    auto* record = static_cast<StringRecord*>(gcAlloc(engine, sizeof(StringRecord)));
    record->flags = 0;
    record->length = static_cast<uint32_t>(length);
    record->props = nullptr;
    record->chars = nullptr;
    // No collection can happen between these two allocations.
    record->chars = static_cast<char16_t*>(gcAlloc(engine, length * 2));
    return record;
}

void newStringFromAnsi(ScriptEngine* engine, ScriptValue* out, const char* bytes, size_t length) {
    if (!bytes) length = 0;
    StringRecord* record = allocString(engine, length);
    record->length = static_cast<uint32_t>(platform::ansiToWide(bytes, length, record->chars));
    *out = makeString(record);
}

void newStaticString(ScriptEngine* engine, ScriptValue* out, const char16_t* chars,
                     uint32_t length) {
    auto* record = static_cast<StringRecord*>(gcAlloc(engine, sizeof(StringRecord)));
    record->flags = kStringStatic;
    record->length = length;
    record->chars = const_cast<char16_t*>(chars);
    record->props = nullptr;
    *out = makeString(record);
}

void newStringFromWide(ScriptEngine* engine, ScriptValue* out, const char16_t* chars,
                       size_t length) {
    StringRecord* record = allocString(engine, length);
    if (length) std::memcpy(record->chars, chars, length * sizeof(char16_t));
    *out = makeString(record);
}

ScriptValue newString(ScriptEngine* engine, std::u16string_view text) {
    ScriptValue v;
    newStringFromWide(engine, &v, text.data(), text.size());
    return v;
}

ScriptValue newStringFromAscii(ScriptEngine* engine, std::string_view text) {
    StringRecord* record = allocString(engine, text.size());
    for (size_t i = 0; i < text.size(); ++i) record->chars[i] = static_cast<uint8_t>(text[i]);
    return makeString(record);
}

ScriptValue newStringFromUtf8(ScriptEngine* engine, std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<uint8_t>(text[i]);
        uint32_t cp;
        size_t need;
        if (b < 0x80) {
            cp = b;
            need = 0;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            need = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            need = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            need = 3;
        } else {
            wide.push_back(0xFFFD);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= need && i + j < text.size(); ++j) {
            auto c = static_cast<uint8_t>(text[i + j]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (j <= need) {  // truncated or broken sequence
            wide.push_back(0xFFFD);
            i += j;
            continue;
        }
        i += need + 1;
        static constexpr uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            wide.push_back(0xFFFD);
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(cp));
        }
    }
    return newString(engine, wide);
}

char* toAnsi(ScriptEngine* engine, const ScriptValue& string) {
    size_t length = string.tag == kTagString ? string.str->length : 0;
    size_t capacity = length * 2 + 2;
    auto* out = static_cast<char*>(plainAlloc(engine, capacity));
    size_t n = length ? platform::wideToAnsi(string.str->chars, length, out, capacity - 1) : 0;
    out[n] = '\0';
    return out;
}

std::string toAnsiString(const std::u16string_view text) {
    std::string out(text.size() * 2, '\0');
    out.resize(platform::wideToAnsi(text.data(), text.size(), out.data(), out.size()));
    return out;
}

std::string toUtf8String(const std::u16string_view text) {
    return platform::utf16ToUtf8(text);
}

char16_t* copyWide(ScriptEngine* engine, const ScriptValue& string) {
    if (string.tag != kTagString) return plainWcsdup(engine, u"", 0);
    return plainWcsdup(engine, string.str->chars, string.str->length);
}

namespace {

// Results at least this long get a buffer with room to grow, so that building a string by
// repeated concatenation copies each character a bounded number of times.
constexpr size_t kBufferedMinimum = 32;

uint64_t& bufferUsed(char16_t* chars) {
    return reinterpret_cast<uint64_t*>(chars)[-1];
}

size_t bufferCapacity(char16_t* chars) {
    return (gcBlockSize(reinterpret_cast<uint64_t*>(chars) - 1) - sizeof(uint64_t)) /
           sizeof(char16_t);
}

StringRecord* bufferedRecord(ScriptEngine* engine, char16_t* chars, size_t length) {
    auto* record = static_cast<StringRecord*>(gcAlloc(engine, sizeof(StringRecord)));
    record->flags = kStringBuffered;
    record->length = static_cast<uint32_t>(length);
    record->chars = chars;
    record->props = nullptr;
    return record;
}

}  // namespace

void makeStringPrivate(ScriptEngine* engine, StringRecord* s, size_t capacity) {
    if (capacity < s->length) capacity = s->length;
    bool own = !(s->flags & (kStringBuffered | kStringInline | kStringStatic));
    if (own) {
        if (gcBlockSize(s->chars) < capacity * sizeof(char16_t)) {
            s->chars = static_cast<char16_t*>(gcRealloc(engine, s->chars, capacity * 2));
        }
        return;
    }
    if ((s->flags & kStringInline) && capacity <= s->length) return;  // fits where it is
    auto* chars = static_cast<char16_t*>(gcAlloc(engine, capacity ? capacity * 2 : 2));
    if (s->length) std::memcpy(chars, s->chars, s->length * sizeof(char16_t));
    s->chars = chars;
    s->flags &= ~(kStringBuffered | kStringInline);
}

ScriptValue concatStrings(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b) {
    size_t la = a.str->length, lb = b.str->length;
    size_t total = la + lb;
    if (total > 0x7FFFFFFFu) raiseError(engine, "Out of memory");
    // The two inputs stay reachable through the caller; no collection happens here.
    StringRecord* left = a.str;
    if ((left->flags & kStringBuffered) && bufferUsed(left->chars) == la &&
        total <= bufferCapacity(left->chars)) {
        // Nothing was appended after `a` yet: append in place and share the buffer.
        if (lb) std::memcpy(left->chars + la, b.str->chars, lb * sizeof(char16_t));
        bufferUsed(left->chars) = total;
        return makeString(bufferedRecord(engine, left->chars, total));
    }
    if (total >= kBufferedMinimum) {
        size_t capacity = total * 2;
        if (capacity > 0x7FFFFFFFu) capacity = 0x7FFFFFFFu;
        auto* block =
            static_cast<uint64_t*>(gcAlloc(engine, sizeof(uint64_t) + capacity * sizeof(char16_t)));
        auto* chars = reinterpret_cast<char16_t*>(block + 1);
        if (la) std::memcpy(chars, a.str->chars, la * sizeof(char16_t));
        if (lb) std::memcpy(chars + la, b.str->chars, lb * sizeof(char16_t));
        *block = total;
        return makeString(bufferedRecord(engine, chars, total));
    }
    StringRecord* record = allocString(engine, total);
    if (la) std::memcpy(record->chars, a.str->chars, la * sizeof(char16_t));
    if (lb) std::memcpy(record->chars + la, b.str->chars, lb * sizeof(char16_t));
    return makeString(record);
}

bool stringEquals(const ScriptValue& a, const ScriptValue& b) {
    if (a.str == b.str) return true;
    return a.str->length == b.str->length &&
           std::memcmp(a.str->chars, b.str->chars, a.str->length * sizeof(char16_t)) == 0;
}

int compareStrings(const ScriptValue& a, const ScriptValue& b) {
    std::u16string_view x = stringView(a), y = stringView(b);
    int r = x.compare(y);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void initStaticStrings(ScriptEngine* engine) {
    static constexpr std::u16string_view kTexts[kStrStaticCount] = {
        u"",         u"undefined", u"null",  u"object", u"boolean", u"number",          u"string",
        u"function", u"true",      u"false", u"NaN",    u"unknown", u"[object Object]",
    };
    for (int i = 0; i < kStrStaticCount; ++i) {
        newStaticString(engine, &engine->staticStrings[i], kTexts[i].data(),
                        static_cast<uint32_t>(kTexts[i].size()));
    }
}

}  // namespace quill
