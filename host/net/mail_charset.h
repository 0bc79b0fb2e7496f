// Text in mail messages: the charset label of the system's ANSI code page, conversions between
// script strings and the ANSI bytes a message carries, decoding of received text by its charset
// label, and where a multi-byte character of the code page may be split.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quill::mail {

// The MIME name of a Windows code page's charset ("windows-1252", "shift_jis", ...).
const char* charsetForCodePage(unsigned codePage);
// The label of the text this system writes: the charset of its ANSI code page.
const char* ansiCharset();

std::string toAnsi(std::u16string_view text);
std::string toUtf8(std::u16string_view text);  // a lone surrogate becomes U+FFFD
std::u16string fromAnsi(std::string_view bytes);
std::u16string fromUtf8(std::string_view bytes);  // malformed sequences become U+FFFD
bool isValidUtf8(std::string_view bytes);

// Received text to a script string: UTF-8 when the label says so (or, without a label, when the
// bytes are UTF-8 with at least one multi-byte character), otherwise the ANSI code page, as the
// bytes of a message are ANSI text unless they say otherwise.
std::u16string decodeText(std::string_view bytes, std::string_view charset);
bool isUtf8Label(std::string_view charset);

// Text as the bytes a message carries, with their charset label: the ANSI code page when it
// holds every character, otherwise UTF-8, so that nothing a script wrote or a message brought
// turns into question marks when it is written.
struct CharsetText {
    std::string bytes;
    std::string charset;
};
CharsetText encodeText(std::u16string_view text);

// The number of bytes of the character that starts at bytes[i], in UTF-8 or in the ANSI code
// page (1 for single-byte code pages), so that encoded words never split a character.
size_t charLength(std::string_view bytes, size_t i, bool utf8);

// ASCII case-insensitive comparison and lower-casing.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view text, std::string_view prefix);
std::string lowerAscii(std::string_view text);

}  // namespace quill::mail
