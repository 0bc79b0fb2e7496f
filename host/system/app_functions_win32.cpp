// The application functions every Windows engine has: the main window (null without a host
// window, as in the quill tool), the executable's folder and its path. The projector adds the
// functions that need its project (movies, profile, additional files, scripts by name).
#include <windows.h>

#include <string>

#include "host/system/desktop_classes.h"
#include "host/system/window_object.h"

namespace quill {

namespace {

// The executable's path, however long.
std::u16string modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    return std::u16string(path.begin(), path.end());
}

ScriptValue getMainWnd(ScriptEngine* engine) {
    HWND main = mainWindow(engine);
    return main ? windowValue(engine, main) : makeNull();
}

std::u16string getAppDir() {
    std::u16string path = modulePath();
    size_t slash = path.find_last_of(u"\\/");
    path.resize(slash == std::u16string::npos ? 0 : slash + 1);
    if (!path.empty() && path.back() == u'/') path.back() = u'\\';
    return path;
}

std::u16string getExeName() {
    return modulePath();
}

}  // namespace

void registerAppFunctions(ScriptEngine* engine) {
    bind::defineFunction<getMainWnd, bind::Empty::kNull>(
        engine, "getMainWnd", "",
        "The host's main window as a Window; null when there is none (always in the quill tool).");
    bind::defineFunction<getAppDir>(engine, "getAppDir", "",
                                    "The running executable's folder, ending in a backslash.");
    bind::defineFunction<getExeName>(engine, "getExeName", "",
                                     "The full path of the running executable.");
}

}  // namespace quill
