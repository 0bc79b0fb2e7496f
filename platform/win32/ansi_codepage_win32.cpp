// The ANSI code page of a Windows build is the system's own CP_ACP.
#include "platform/ansi_codepage.h"

#include <windows.h>

#include <climits>
#include <string>

namespace quill::platform {

size_t ansiToWide(const char* text, size_t length, char16_t* out) {
    size_t done = 0;
    size_t written = 0;
    // The API takes int lengths; very long texts go in pieces that do not split a double-byte
    // character.
    while (done < length) {
        size_t piece = length - done;
        if (piece > INT_MAX / 2) {
            piece = INT_MAX / 2;
            while (piece > 1 && IsDBCSLeadByte(static_cast<BYTE>(text[done + piece - 1]))) --piece;
        }
        int n = MultiByteToWideChar(CP_ACP, 0, text + done, static_cast<int>(piece),
                                    reinterpret_cast<wchar_t*>(out + written),
                                    static_cast<int>(piece));
        if (n <= 0) break;
        written += static_cast<size_t>(n);
        done += piece;
    }
    return written;
}

size_t wideToAnsi(const char16_t* text, size_t length, char* out, size_t capacity) {
    size_t done = 0;
    size_t written = 0;
    while (done < length && written < capacity) {
        size_t piece = length - done;
        if (piece > INT_MAX / 4) {
            piece = INT_MAX / 4;
            // Keep a surrogate pair together.
            if (text[done + piece - 1] >= 0xD800 && text[done + piece - 1] <= 0xDBFF) --piece;
        }
        size_t room = capacity - written;
        auto* wide = reinterpret_cast<const wchar_t*>(text + done);
        int need = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(piece), nullptr, 0,
                                       nullptr, nullptr);
        if (need <= 0) break;
        int n;
        if (static_cast<size_t>(need) <= room) {
            n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(piece), out + written, need,
                                    nullptr, nullptr);
        } else {
            // The caller's buffer is too small: convert in full, keep what fits.
            std::string whole(static_cast<size_t>(need), '\0');
            n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(piece), whole.data(), need,
                                    nullptr, nullptr);
            if (n > 0) {
                n = static_cast<int>(room);
                whole.copy(out + written, room);
            }
        }
        if (n <= 0) break;
        written += static_cast<size_t>(n);
        done += piece;
    }
    return written;
}

unsigned ansiCodePage() {
    return GetACP();
}

}  // namespace quill::platform
