// Case mapping and character classes of UTF-16 code units from tables generated out of the
// Unicode Character Database, so that both targets give identical answers (the C libraries'
// wide-character functions differ between them and with the locale).
#pragma once

#include <cstdint>

namespace quill::platform {

// The simple (one-to-one) Unicode case mappings; a unit without one maps to itself. Surrogates
// and mappings that would leave the 16-bit range are left alone.
char16_t toUpperUnit(char16_t c);
char16_t toLowerUnit(char16_t c);

// Character class bits (the generator writes the same values).
enum CharClass : uint16_t {
    kCharSpace = 1 << 0,  // Unicode white space
    kCharPrint = 1 << 1,  // assigned, neither control nor line/paragraph separator
    kCharCntrl = 1 << 2,
    kCharUpper = 1 << 3,  // category Lu
    kCharLower = 1 << 4,  // category Ll
    kCharAlpha = 1 << 5,  // every letter category
    kCharDigit = 1 << 6,  // 0-9 only
    kCharPunct = 1 << 7,  // punctuation and symbols
    kCharXdigit = 1 << 8,
    kCharBlank = 1 << 9,  // white space that does not end a line
};
uint16_t charClasses(char16_t c);

}  // namespace quill::platform
