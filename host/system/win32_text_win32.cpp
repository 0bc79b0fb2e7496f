// The system's message text for error codes, in the engine's error buffer.
#include "host/system/win32_text.h"

#include <cstdio>

namespace quill::win32 {

std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (n && buffer) text = fromWide(buffer, n);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        char fallback[32];
        std::snprintf(fallback, sizeof fallback, "error %lu", static_cast<unsigned long>(code));
        return fallback;
    }
    return toAnsiString(text);
}

void noteSystemError(ScriptEngine* engine, DWORD code) {
    setErrorText(engine, systemMessage(code));
}

}  // namespace quill::win32
