// The shared pieces of the Windows desktop host classes: system messages, COM start-up and plain
// result objects (see desktop_support.h).
#include "host/system/desktop_support.h"

#include <objbase.h>

#include <cstring>

#include "runtime/array.h"

namespace quill::desktop {

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message;
    if (length != 0 && text) message = fromWide(text, length);
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
        message.pop_back();
    }
    if (message.empty()) return "error " + std::to_string(code);
    return toAnsiString(message);
}

void noteSystemError(ScriptEngine* engine, DWORD code) {
    setErrorText(engine, systemMessage(code));
}

bool ensureCom() {
    // Once per thread: every later call on the thread adds nothing. A thread already in the
    // multithreaded apartment keeps it; the shell's objects work there through their proxies.
    thread_local HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return SUCCEEDED(started) || started == RPC_E_CHANGED_MODE;
}

ResultObject::ResultObject(ScriptEngine* engine) : engine_(engine), object_(newObject(engine)) {}

void ResultObject::set(const char* name, const ScriptValue& value) {
    setByAtom(engine_, object_, intern(engine_, name, std::strlen(name)), value);
}

void ResultObject::set(const char* name, std::u16string_view text) {
    set(name, newString(engine_, text));
}

ScriptValue newStringArray(ScriptEngine* engine, const std::vector<std::u16string>& items) {
    ScriptValue array;
    newArray(engine, &array, items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        setElement(engine, array, newString(engine, items[i]), i);
    }
    return array;
}

}  // namespace quill::desktop
