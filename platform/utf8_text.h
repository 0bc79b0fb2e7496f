// UTF-8 conversions that lose nothing a well-formed text holds: lone surrogates and ill-formed
// or overlong UTF-8 sequences become U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quill::platform {

// Appends one code point (at most U+10FFFF) as UTF-8.
void appendUtf8(std::string& out, uint32_t codePoint);
std::string utf16ToUtf8(std::u16string_view text);
std::u16string utf8ToUtf16(std::string_view text);

}  // namespace quill::platform
