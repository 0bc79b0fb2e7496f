// Text between script strings and the wide (UTF-16) Win32 functions, and the system's message
// text for an error code, shared by the Windows-only host classes of files, registry and INI.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

#include "runtime/script_engine.h"

namespace quill::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide functions take UTF-16");

// Script strings are UTF-16 already: the wide functions take them as they are.
inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string fromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string fromWide(const wchar_t* text) {
    return fromWide(text, std::char_traits<wchar_t>::length(text));
}

// True when the text holds a zero unit: the wide functions would stop there and act on a
// different name than the script gave.
inline bool hasZero(std::u16string_view text) {
    return text.find(u'\0') != std::u16string_view::npos;
}

// The system's message for an error code in the system default language, without the line end;
// "error N" when the system has none.
std::string systemMessage(DWORD code);

// Places the system's message for a failed call in the engine's error buffer (the registry's way
// of reporting failures without raising a script error).
void noteSystemError(ScriptEngine* engine, DWORD code);

// Turns off the system's "insert a disk" boxes for the calling thread while alive: a script that
// looks at an empty drive gets an error result, not a dialog.
class QuietDriveErrors {
  public:
    QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &saved_); }
    ~QuietDriveErrors() { SetThreadErrorMode(saved_, nullptr); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

  private:
    DWORD saved_ = 0;
};

}  // namespace quill::win32

#endif
