// Shared pieces of the Windows desktop host classes (shell, shortcuts, system information,
// dialogs, fonts, multimedia): text between script strings and the wide Win32 functions, the
// system's message texts, COM start-up on the script thread, and plain result objects.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/script_engine.h"

namespace quill::desktop {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide functions take UTF-16");

// Script strings are UTF-16 already: the wide functions take them as they are.
inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string fromWide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string fromWide(const wchar_t* text) {
    return text ? fromWide(text, std::char_traits<wchar_t>::length(text)) : std::u16string();
}
inline std::u16string fromWide(const std::wstring& text) {
    return fromWide(text.data(), text.size());
}
// The text up to the first zero unit of a buffer the system filled.
inline std::u16string fromBuffer(const std::vector<wchar_t>& buffer) {
    size_t length = 0;
    while (length < buffer.size() && buffer[length] != L'\0') ++length;
    return fromWide(buffer.data(), length);
}

// True when the text holds a zero unit: a wide function would stop there and act on something
// other than what the script gave.
inline bool hasZero(std::u16string_view text) {
    return text.find(u'\0') != std::u16string_view::npos;
}

// Calls `fill(buffer, capacity)` of a "copy into the caller's buffer" Win32 function that answers
// the length it needs when the buffer is too small (GetEnvironmentVariable and its kin) and
// returns the text; false when the function failed (returned 0 and set an error).
template <typename Fill>
bool readGrowing(Fill&& fill, std::u16string* out) {
    std::vector<wchar_t> buffer(260);
    for (int attempt = 0; attempt < 8; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        DWORD got = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0 && GetLastError() != ERROR_SUCCESS) return false;
        if (got < buffer.size()) {
            *out = fromWide(buffer.data(), got);
            return true;
        }
        buffer.assign(static_cast<size_t>(got) + 1, L'\0');
    }
    return false;
}

// The system's message for an error code, without the line end; "error N" when it has none.
std::string systemMessage(DWORD code);
// Places that message in the engine's error buffer (members that answer failures with an empty
// result leave the reason there).
void noteSystemError(ScriptEngine* engine, DWORD code);

// COM for the calling thread, started once (apartment-threaded, as the shell's objects want).
// False when it could not be started.
bool ensureCom();

// A plain object with named properties, for results such as the version information and the
// display mode. Building it calls no script, so nothing is collected meanwhile.
class ResultObject {
  public:
    explicit ResultObject(ScriptEngine* engine);
    void set(const char* name, const ScriptValue& value);
    void set(const char* name, int64_t value) { set(name, makeInteger(value)); }
    void set(const char* name, std::u16string_view text);
    ScriptValue value() const { return makeObject(object_); }

  private:
    ScriptEngine* engine_;
    ScriptObject* object_;
};

// An array of strings, in order.
ScriptValue newStringArray(ScriptEngine* engine, const std::vector<std::u16string>& items);

// 0xRRGGBB as scripts write colours, and the 0x00BBGGRR of Win32.
inline COLORREF toColorRef(int64_t rgb) {
    auto value = static_cast<uint32_t>(rgb);
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}
inline int64_t fromColorRef(COLORREF color) {
    return (int64_t(GetRValue(color)) << 16) | (int64_t(GetGValue(color)) << 8) | GetBValue(color);
}

}  // namespace quill::desktop

#endif
