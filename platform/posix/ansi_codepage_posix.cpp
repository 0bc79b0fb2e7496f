// Windows-1252 as the ANSI code page of non-Windows builds, so that text crossing the engine's
// 8-bit boundary is the same bytes an English Windows would produce.
#include "platform/ansi_codepage.h"

#include <cstdint>

namespace quill::platform {
namespace {

// Code points of the bytes 0x80 to 0x9F; the five bytes Windows leaves undefined map to the
// C1 control of the same value, as MultiByteToWideChar does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char toAnsiByte(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == unit) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

size_t ansiToWide(const char* text, size_t length, char16_t* out) {
    for (size_t i = 0; i < length; ++i) {
        auto byte = static_cast<uint8_t>(text[i]);
        out[i] = (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : char16_t(byte);
    }
    return length;
}

size_t wideToAnsi(const char16_t* text, size_t length, char* out, size_t capacity) {
    size_t n = 0;
    for (size_t i = 0; i < length && n < capacity; ++i) {
        // Each half of a surrogate pair becomes its own '?', as on Windows.
        out[n++] = toAnsiByte(text[i]);
    }
    return n;
}

unsigned ansiCodePage() {
    return 1252;
}

}  // namespace quill::platform
