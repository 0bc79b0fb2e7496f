// The application functions only the projector has: its movies, the per-user profile, the
// message pump that watches the main window, the additional files appended to the executable,
// running a script resource by name, and the main window's shape.
#include <windows.h>

#include <cstdio>
#include <string>

#include "projector/ansi_text.h"
#include "projector/main_frame.h"
#include "projector/projector_app.h"
#include "projector/projector_texts.h"
#include "projector/records/additional_files.h"
#include "projector/records/safe_name.h"
#include "projector/script_objects.h"
#include "runtime/array.h"
#include "runtime/class_binding.h"

namespace quill::projector {

namespace {

ProjectorApp* application = nullptr;

CMainFrame* frame() {
    return application ? application->mainFrame() : nullptr;
}

std::wstring wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string fromWide(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

ScriptValue getMovies(ScriptEngine* engine) {
    ScriptValue array;
    if (!application) {
        newArray(engine, &array, 0);
        return array;
    }
    const auto& entries = application->movies().entries;
    // Making strings allocates but never collects, so the array needs no root.
    newArray(engine, &array, entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        ScriptValue path;
        newStringFromAnsi(engine, &path, entries[i].path.data(), entries[i].path.size());
        setElement(engine, array, path, i);
    }
    return array;
}

// Profile values are strings of the section's key below the projector's registry key.
constexpr DWORD kLongestProfileValue = 1 << 20;

std::optional<std::u16string> readProfile(std::u16string section, std::u16string key) {
    if (!application) return std::nullopt;
    std::wstring path = application->profileKey() + L"\\" + wide(section);
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::u16string> out;
    std::wstring name = wide(key);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size <= kLongestProfileValue) {
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &got) == ERROR_SUCCESS) {
            text.resize(got / sizeof(wchar_t));
            // Stored strings usually carry their NUL; one written without it is taken whole.
            size_t nul = text.find(L'\0');
            if (nul != std::wstring::npos) text.resize(nul);
            out = fromWide(text);
        }
    }
    RegCloseKey(handle);
    return out;
}

void writeProfile(std::u16string section, std::u16string key, bind::AsString value) {
    if (!application) return;
    std::wstring path = application->profileKey() + L"\\" + wide(section);
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::wstring name = wide(key), text = wide(value.text);
    RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
}

// A quit message is posted again rather than acted on here: the exit clean-up frees the engine
// this very script runs on, so it waits until the message loop sees the quit after the script.
bool processMsg() {
    constexpr UINT kFrameworkIdle = 0x036A;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (msg.message == kFrameworkIdle) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        CMainFrame* main = frame();
        if (main && main->bridge().closeRequested()) {
            main->bridge().setCloseRequested(false);
            return false;
        }
    }
    return true;
}

void invoke(std::string name) {
    if (CMainFrame* main = frame()) main->bridge().RunScriptByName(name);
}

// The requested path with "\" between parts and no leading separators; false when a part could
// lead out of the folder it is meant for (a drive, "..", a device name).
bool relativeRequest(std::u16string_view requested, std::u16string* out) {
    std::u16string path;
    for (char16_t c : requested) path += c == u'/' ? u'\\' : c;
    size_t start = path.find_first_not_of(u'\\');
    path.erase(0, start == std::u16string::npos ? path.size() : start);
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    size_t from = 0;
    while (from < path.size()) {
        size_t cut = path.find(u'\\', from);
        std::u16string_view part =
            std::u16string_view(path).substr(from, cut == std::u16string::npos ? cut : cut - from);
        if (!project::unsafeNameReason(part).empty()) return false;
        if (cut == std::u16string::npos) break;
        from = cut + 1;
    }
    *out = path;
    return true;
}

std::wstring exePath() {
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return n > 0 && n < std::size(path) ? std::wstring(path, n) : std::wstring();
}

// Writes the entry and, for a folder, everything below it into `root`.
bool extractTree(const project::RandomAccessSource& source, const project::AdditionalBlock& block,
                 const project::AdditionalEntry& entry, const std::wstring& root,
                 std::string* error) {
    if (!project::extractAdditionalEntry(source, entry, root, error)) return false;
    if (entry.kind != project::kAdditionalFolder) return true;
    std::u16string prefix = entry.path + u"\\";
    for (const project::AdditionalEntry& inner : block.entries) {
        if (inner.path.size() > prefix.size() &&
            _wcsnicmp(wide(inner.path).c_str(), wide(prefix).c_str(), prefix.size()) == 0 &&
            !project::extractAdditionalEntry(source, inner, root, error)) {
            return false;
        }
    }
    return true;
}

ScriptValue getAdditionalFile(ScriptEngine* engine, std::optional<std::u16string> requested) {
    std::u16string path;
    if (!application || !relativeRequest(requested.value_or(u""), &path)) return makeNull();
    std::wstring exe = exePath();
    std::FILE* file = exe.empty() ? nullptr : _wfopen(exe.c_str(), L"rb");
    if (!file) return makeNull();
    project::FileSource source(file);
    project::AdditionalBlock block;
    std::string error;
    project::BlockState state = project::readAdditionalBlock(source, &block, &error);
    std::wstring result;
    if (state == project::BlockState::kAbsent) {
        std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/") + 1);
        result = folder + wide(path);
        if (GetFileAttributesW(result.c_str()) == INVALID_FILE_ATTRIBUTES) result.clear();
    } else if (state == project::BlockState::kValid) {
        std::wstring root = wideFromAnsi(application->workFolder()) + L"_extra\\";
        const project::AdditionalEntry* entry =
            path.empty() ? nullptr : project::findAdditionalEntry(block, path);
        bool ok = true;
        if (path.empty()) {
            // Nothing named: every additional file, and the folder that holds them.
            for (const project::AdditionalEntry& each : block.entries) {
                if (ok) ok = project::extractAdditionalEntry(source, each, root, &error);
            }
            if (ok) result = root;
        } else if (entry) {
            ok = extractTree(source, block, *entry, root, &error);
            if (ok) result = root + wide(entry->path);
        }
        if (!ok) state = project::BlockState::kInvalid;
    }
    std::fclose(file);
    if (state == project::BlockState::kInvalid) {
        application->showError(error);
        return makeNull();
    }
    return result.empty() ? makeNull() : newString(engine, fromWide(result));
}

// The window's shape: no argument makes it rectangular; an integer picks a shape by number; a
// string names a mask file to be applied by the main window.
void setWindowless(bind::Args args) {
    CMainFrame* main = frame();
    if (!main || !main->hwnd()) return;
    project::ProjectSettings& settings = application->editableSettings();
    if (args.size() == 0) {
        // Rectangular again, and for good: a transparent shape would otherwise come back at the
        // next paint, and a mask when start-up places the window or the options are applied.
        settings.windowShape = 0;
        SetWindowRgn(main->hwnd(), nullptr, TRUE);
        return;
    }
    ScriptValue value = args[1];
    if (value.tag == kTagInteger) {
        settings.windowShape = value.i == 0 ? 1 : value.i == 1 ? 3 : 0;
        // A transparent shape is taken from the movie when it next paints; any other number
        // leaves the window rectangular rather than keeping the last outline.
        if (settings.windowShape == 0) SetWindowRgn(main->hwnd(), nullptr, TRUE);
        RedrawWindow(main->hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    } else if (value.tag == kTagString) {
        settings.maskName = toAnsiString(std::u16string(stringView(value)));
        settings.windowShape = 2;
        PostMessageW(main->hwnd(), kMsgApplyShape, 0, 0);
    }
}

}  // namespace

void registerProjectorFunctions(ScriptEngine* engine) {
    bind::defineFunction<getMovies, bind::Empty::kEmptyArray>(
        engine, "getMovies", "",
        "The paths of the project's movies, in the order of its movie list (an empty array "
        "when there are none).");
    bind::defineFunction<setWindowless>(
        engine, "setWindowless", "[shape | maskName]",
        "Shapes the main window: no argument makes it rectangular for good, 0 or 1 cuts it to "
        "the movie's own pixels (another integer: rectangular), a string cuts it to that .msk "
        "file of the work folder.");
    bind::defineFunction<readProfile>(
        engine, "readProfile", "section, key",
        "The text stored under section and key in the projector's per-user profile; undefined "
        "when there is none or an argument is not a string.");
    bind::defineFunction<writeProfile>(
        engine, "writeProfile", "section, key, value",
        "Stores the text of value under section and key in the projector's per-user profile "
        "(section and key must be strings).");
    bind::defineFunction<processMsg, bind::Empty::kFalse>(
        engine, "processMsg", "",
        "Dispatches the messages waiting for the projector, so that movie, socket, MCI and "
        "window events reach their handlers; false once the projector was asked to quit or its "
        "window to close, true when the queue is empty.");
    bind::defineFunction<getAdditionalFile, bind::Empty::kNull>(
        engine, "getAdditionalFile", "[path]",
        "Extracts the additional file or folder at path (no path: all of them) from the "
        "executable into the work folder and gives its full path; without additional files "
        "the path of that file beside the executable; null when there is none or the path "
        "leads out of its folder.");
    bind::defineFunction<invoke>(
        engine, "invoke", "name",
        "Runs the project's script of that name now (nothing when it has none).");
}

void setScriptApplication(ProjectorApp* app) {
    application = app;
}

}  // namespace quill::projector
