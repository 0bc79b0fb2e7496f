// The Shell host class: starting programs, the shell's verbs, associated programs, special
// folders, recent documents, the recycle bin, the process environment, the wallpaper and setting
// changes. Version resources are in file_version_win32.cpp. The class value answers every
// member; constructing one gives an equivalent object.
#include <windows.h>  // first: the system headers below need it

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/system/desktop_classes.h"
#include "host/system/desktop_support.h"
#include "host/system/owner_window.h"
#include "host/system/shell_process.h"
#include "host/system/system_actions.h"
#include "host/system/window_object.h"
#include "runtime/class_binding.h"

namespace quill {

namespace {

using desktop::fromWide;
using desktop::hasZero;
using desktop::wide;

struct ShellObject {};

// ---------------------------------------------------------------------------------------------
// Programs and verbs.

ScriptValue run(ScriptEngine* engine, bind::Args args) {
    std::optional<ProgramStart> start = programStartFrom(args);
    if (!start) return makeNull();
    PROCESS_INFORMATION process;
    DWORD error = ERROR_SUCCESS;
    if (!startProgram(*start, &process, &error)) {
        desktop::noteSystemError(engine, error);
        return makeNull();
    }
    HWND window = firstWindowOf(process);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!window) return makeNull();
    // Another process's window: its object has every member but raises no events here.
    return windowValue(engine, window);
}

void runAndWait(ScriptEngine* engine, bind::Args args) {
    std::optional<ProgramStart> start = programStartFrom(args);
    if (!start) return;
    DWORD error = ERROR_SUCCESS;
    if (!runProgramToEnd(*start, &error)) desktop::noteSystemError(engine, error);
}

// Failures show no message box of the shell's own: the script carries on.
void shellVerb(const wchar_t* verb, const bind::Path& file,
               const std::optional<std::u16string>& folder) {
    if (folder && hasZero(*folder)) return;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = ownerWindow();
    info.lpVerb = verb;
    info.lpFile = wide(file.wide);
    info.lpDirectory = folder && !folder->empty() ? wide(*folder) : nullptr;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

void open(bind::Path file, std::optional<std::u16string> folder) {
    shellVerb(L"open", file, folder);
}
void explore(bind::Path file, std::optional<std::u16string> folder) {
    shellVerb(L"explore", file, folder);
}
void print(bind::Path file, std::optional<std::u16string> folder) {
    shellVerb(L"print", file, folder);
}

// The system's call writes at most MAX_PATH units: that is its contract, and a longer program
// path cannot come back through it.
std::optional<std::u16string> findExecutable(bind::Path document) {
    wchar_t program[MAX_PATH + 1] = L"";
    auto code = reinterpret_cast<INT_PTR>(FindExecutableW(wide(document.wide), nullptr, program));
    program[MAX_PATH] = L'\0';
    if (code <= 32 || program[0] == L'\0') return std::nullopt;
    return fromWide(program);
}

// ---------------------------------------------------------------------------------------------
// Special folders.

struct FolderName {
    const char16_t* name;
    int csidl;  // a shell folder id, or one of the kinds below
};
constexpr int kWindowsFolder = -1;
constexpr int kSystemFolder = -2;
constexpr int kTempFolder = -3;
constexpr int kProgramFiles = -4;
constexpr int kNoFolder = -5;

constexpr FolderName kFolders[] = {
    {u"appdata", CSIDL_APPDATA},
    {u"cookies", CSIDL_COOKIES},
    {u"desktop", CSIDL_DESKTOPDIRECTORY},
    {u"desktop all", CSIDL_COMMON_DESKTOPDIRECTORY},
    {u"favorites", CSIDL_FAVORITES},
    {u"fonts", CSIDL_FONTS},
    {u"history", CSIDL_HISTORY},
    {u"internet cache", CSIDL_INTERNET_CACHE},
    {u"my documents", CSIDL_PERSONAL},
    {u"nethood", CSIDL_NETHOOD},
    {u"printers", CSIDL_PRINTERS},
    {u"programs", CSIDL_PROGRAMS},
    {u"programs all", CSIDL_COMMON_PROGRAMS},
    {u"recent", CSIDL_RECENT},
    {u"sendto", CSIDL_SENDTO},
    {u"startmenu", CSIDL_STARTMENU},
    {u"startmenu all", CSIDL_COMMON_STARTMENU},
    {u"startup", CSIDL_STARTUP},
    {u"startup all", CSIDL_COMMON_STARTUP},
    {u"templates", CSIDL_TEMPLATES},
    {u"windows", kWindowsFolder},
    {u"system", kSystemFolder},
    {u"temp", kTempFolder},
    {u"program files", kProgramFiles},
    {u"recycle bin", kNoFolder},
};

// Folder names are ASCII: only A to Z fold.
bool sameName(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](auto x, auto y) { return fold(x) == fold(y); });
}

std::optional<std::u16string> environmentValue(const wchar_t* name) {
    std::u16string value;
    if (!desktop::readGrowing(
            [&](wchar_t* buffer, DWORD size) {
                return GetEnvironmentVariableW(name, buffer, size);
            },
            &value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::u16string> windowsFolder() {
    std::u16string path;
    if (!desktop::readGrowing(GetWindowsDirectoryW, &path) || path.empty()) return std::nullopt;
    return path;
}

// Through the item list and the path of any length the shell can give for it.
std::optional<std::u16string> shellFolderPath(int csidl) {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return std::nullopt;
    std::vector<wchar_t> path(32768, L'\0');
    bool ok = SHGetPathFromIDListEx(items, path.data(), static_cast<DWORD>(path.size()),
                                    GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(items);
    if (!ok || path[0] == L'\0') return std::nullopt;
    return desktop::fromBuffer(path);
}

std::optional<std::u16string> getSpecialFolder(std::u16string name) {
    const FolderName* entry =
        std::find_if(std::begin(kFolders), std::end(kFolders),
                     [&](const FolderName& f) { return sameName(f.name, name); });
    if (entry == std::end(kFolders)) return std::nullopt;
    switch (entry->csidl) {
        case kWindowsFolder:
            return windowsFolder();
        case kSystemFolder: {
            std::u16string path;
            if (!desktop::readGrowing(GetSystemDirectoryW, &path) || path.empty()) break;
            return path;
        }
        case kTempFolder:
            for (const wchar_t* variable : {L"TMP", L"TEMP"}) {
                std::optional<std::u16string> value = environmentValue(variable);
                if (value && !value->empty()) return value;
            }
            return windowsFolder();
        case kProgramFiles:
            return environmentValue(L"ProgramFiles");
        case kNoFolder:
            break;
        default:
            return shellFolderPath(entry->csidl);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Recent documents and the recycle bin.

void addToRecentDocs(bind::Path path) {
    SHAddToRecentDocs(SHARD_PATHW, wide(path.wide));
}

void clearRecentDocs() {
    SHAddToRecentDocs(SHARD_PATHW, nullptr);
}

// With the shell's own confirmation, owned by our window so that it is modal to the script's.
void emptyRecycleBin() {
    systemActions().emptyRecycleBin(ownerWindow());
}

// ---------------------------------------------------------------------------------------------
// The environment of the process.

// Names only: an entry's name ends at the first "=" after its first character, so the hidden
// drive entries ("=C:=C:\...") keep their leading "=".
ScriptValue getEnvironmentStrings(ScriptEngine* engine) {
    std::vector<std::u16string> names;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            std::u16string text = fromWide(entry);
            size_t equals = text.find(u'=', 1);
            names.push_back(text.substr(0, equals));
        }
        FreeEnvironmentStringsW(block);
    }
    return desktop::newStringArray(engine, names);
}

std::optional<std::u16string> getEnvironmentVariable(std::u16string name) {
    if (name.empty() || hasZero(name)) return std::nullopt;
    return environmentValue(wide(name));
}

bool setEnvironmentVariable(bind::AsString name, bind::AsString value) {
    if (name.text.empty() || hasZero(name.text) || hasZero(value.text)) return false;
    return SetEnvironmentVariableW(wide(name.text), wide(value.text)) != FALSE;
}

bool delEnvironmentVariable(std::u16string name) {
    if (name.empty() || hasZero(name)) return false;
    return SetEnvironmentVariableW(wide(name), nullptr) != FALSE;
}

// The system answers the size it needs, terminator included, when the buffer is too small.
std::optional<std::u16string> expandEnvironmentStrings(std::u16string text) {
    if (hasZero(text)) return std::nullopt;
    std::vector<wchar_t> buffer(text.size() + 256);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD needed =
            ExpandEnvironmentStringsW(wide(text), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return std::nullopt;
        if (needed <= buffer.size()) return desktop::fromBuffer(buffer);
        buffer.assign(needed, L'\0');
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Desktop settings.

bool setDesktopWallpaper(std::u16string path, std::optional<bool> updateProfile,
                         std::optional<bool> broadcast) {
    if (hasZero(path)) return false;
    UINT winIni = 0;
    if (updateProfile.value_or(true)) winIni |= SPIF_UPDATEINIFILE;
    if (broadcast.value_or(true)) winIni |= SPIF_SENDCHANGE;
    return systemActions().setWallpaper(wide(path), winIni);
}

// Every top-level window hears of it; a hung one is given up after a second.
void settingChange() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
}

std::unique_ptr<ShellObject> makeShell() {
    return std::make_unique<ShellObject>();
}

constexpr bind::Member kShellMembers[] = {
    bind::classMethod<run>("run", bind::Empty::kNull)
        .doc("commandLine [, show [, x, y [, width, height]]]",
             "Starts the program with that window placement and waits until it is idle (10 s at "
             "most); a Window for its first top-level window, or null."),
    bind::classMethod<runAndWait>("runAndWait")
        .doc("commandLine [, show [, x, y [, width, height]]]",
             "Starts the program and waits until it ends."),
    bind::classMethod<open>("open").doc(
        "file [, folder]", "Opens the file with its program (the shell's \"open\" verb)."),
    bind::classMethod<explore>("explore").doc("folder [, workingFolder]",
                                              "Opens the folder in the file explorer."),
    bind::classMethod<print>("print").doc(
        "file [, folder]", "Prints the file with its program (the shell's \"print\" verb)."),
    bind::classMethod<findExecutable>("findExecutable", bind::Empty::kNull)
        .doc("document",
             "The path of the program that opens the document; null when there is none."),
    bind::classMethod<getSpecialFolder>("getSpecialFolder", bind::Empty::kNull)
        .doc("name",
             "The path of a special folder: \"appdata\", \"desktop\", \"my documents\", "
             "\"programs\", \"startmenu\", \"startup\", \"temp\", \"windows\", \"system\", "
             "\"program files\", \"fonts\" and others; null when unknown."),
    bind::classMethod<addToRecentDocs>("addToRecentDocs")
        .doc("path", "Adds the file to the shell's recent documents."),
    bind::classMethod<clearRecentDocs>("clearRecentDocs")
        .doc("Clears the shell's recent documents."),
    bind::classMethod<emptyRecycleBin>("emptyRecycleBin")
        .doc("Empties the recycle bin of every drive, after the shell's confirmation."),
    bind::classMethod<getEnvironmentStrings>("getEnvironmentStrings")
        .doc("An array of the names of all environment variables."),
    bind::classMethod<getEnvironmentVariable>("getEnvironmentVariable", bind::Empty::kNull)
        .doc("name", "The variable's value; null when it is not set."),
    bind::classMethod<setEnvironmentVariable>("setEnvironmentVariable", bind::Empty::kFalse)
        .doc("name, value",
             "Sets the variable for this process and the programs it starts; true when done."),
    bind::classMethod<delEnvironmentVariable>("delEnvironmentVariable", bind::Empty::kFalse)
        .doc("name", "Removes the variable; true when done."),
    bind::classMethod<expandEnvironmentStrings>("expandEnvironmentStrings", bind::Empty::kNull)
        .doc("text", "text with each %NAME% replaced by the variable's value; null on failure."),
    bind::classMethod<setDesktopWallpaper>("setDesktopWallpaper", bind::Empty::kFalse)
        .doc("bitmapPath [, saveInProfile [, broadcast]]",
             "Sets the desktop wallpaper (both flags default to true); true when done."),
    bind::classMethod<settingChange>("settingChange")
        .doc("Tells every top-level window that system settings changed."),
    bind::objectText("[object Shell]"),
};

}  // namespace

void registerShell(ScriptEngine* engine) {
    bind::defineClass<ShellObject>(
        engine,
        {.name = "Shell",
         .id = ClassId::kShell,
         .members = {kShellMembers, fileVersionMembers()},
         .call = bind::constructorCall<makeShell>,
         .construct = bind::constructor<makeShell>,
         .synopsis = "",
         .summary = "Starting programs, shell verbs, special folders, environment variables, the "
                    "wallpaper and version resources. Its methods also answer on Shell itself."});
}

}  // namespace quill
