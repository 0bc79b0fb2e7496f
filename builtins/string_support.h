// Helpers for the string-producing built-ins: UTF-16 text built piece by piece, bounded by the
// longest string the runtime can hold (a runaway result ends in "Out of memory" instead of
// exhausting the machine), and substrings of string values.
#pragma once

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/script_engine.h"

namespace quill {

constexpr size_t kMaxStringUnits = 0x7FFFFFFF;

class TextBuilder {
  public:
    explicit TextBuilder(ScriptEngine* engine) : engine_(engine) {}

    void append(std::u16string_view text) {
        reserveMore(text.size());
        text_.append(text);
    }
    void append(char16_t unit) {
        reserveMore(1);
        text_.push_back(unit);
    }
    void appendAscii(std::string_view text) {
        reserveMore(text.size());
        for (char c : text) text_.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    size_t size() const { return text_.size(); }
    ScriptValue toValue() const { return newString(engine_, text_); }

  private:
    void reserveMore(size_t n) {
        if (n > kMaxStringUnits - text_.size()) raiseError(engine_, "Out of memory");
    }

    ScriptEngine* engine_;
    std::u16string text_;
};

// The units [begin, end) of a string value as a new string; the bounds are clamped to the string.
inline ScriptValue sliceString(ScriptEngine* engine, const ScriptValue& s, size_t begin,
                               size_t end) {
    size_t length = s.str->length;
    if (end > length) end = length;
    if (begin > end) begin = end;
    ScriptValue out;
    newStringFromWide(engine, &out, s.str->chars + begin, end - begin);
    return out;
}

// The text of a string value; never a null pointer, even for an empty string.
inline std::u16string_view textOf(const ScriptValue& s) {
    if (!s.str->chars) return std::u16string_view(u"", 0);
    return std::u16string_view(s.str->chars, s.str->length);
}

// Where `needle` first occurs in `text` at or after `from` (npos when nowhere), as
// std::u16string_view::find answers; candidates for the first unit are found with memchr on its
// low byte, which is far faster than a unit-by-unit loop on long texts.
inline size_t findText(std::u16string_view text, std::u16string_view needle, size_t from = 0) {
    constexpr size_t npos = std::u16string_view::npos;
    const size_t n = text.size(), m = needle.size();
    if (from > n || m > n - from) return npos;
    if (m == 0) return from;
    if constexpr (std::endian::native != std::endian::little) return text.find(needle, from);
    const char16_t first = needle[0];
    const auto low = static_cast<unsigned char>(first & 0xFF);
    const char* bytes = reinterpret_cast<const char*>(text.data());
    const size_t last = n - m;  // the last place a match can start
    size_t i = from;
    while (i <= last) {
        const void* hit = std::memchr(bytes + 2 * i, low, 2 * (last - i) + 1);
        if (!hit) return npos;
        size_t at = size_t(static_cast<const char*>(hit) - bytes) / 2;
        if (text[at] == first && std::char_traits<char16_t>::compare(
                                     text.data() + at + 1, needle.data() + 1, m - 1) == 0) {
            return at;
        }
        i = at + 1;
    }
    return npos;
}

}  // namespace quill
