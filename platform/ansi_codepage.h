// Conversion between UTF-16 and the system's ANSI code page: the real CP_ACP on Windows,
// Windows-1252 (what an English Windows uses) everywhere else.
#pragma once

#include <cstddef>

namespace quill::platform {

// Converts `length` bytes of ANSI text to UTF-16 into `out`, which must hold at least `length`
// code units. Returns the number of code units written.
size_t ansiToWide(const char* text, size_t length, char16_t* out);

// Converts `length` UTF-16 code units to ANSI text into `out` (capacity `capacity` bytes, no
// terminator written). Characters the code page cannot represent become '?'. A capacity of
// length * 2 always suffices. Returns the number of bytes written.
size_t wideToAnsi(const char16_t* text, size_t length, char* out, size_t capacity);

// The number of the ANSI code page (GetACP on Windows, 1252 elsewhere): mail labels its 8-bit
// text with the matching charset name.
unsigned ansiCodePage();

}  // namespace quill::platform
