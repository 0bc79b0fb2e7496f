// The projector's start-up and exit: identity and per-user settings, the work folder every
// extracted file goes into, the movie and mask lists, the main window and the start-up script;
// at exit the extracted files and the work folder are removed again.
#include "projector/projector_app.h"

#include <objbase.h>
#include <winsock2.h>

#include <cstdio>
#include <ctime>

#include "projector/ansi_text.h"
#include "projector/dialogs.h"
#include "projector/main_frame.h"
#include "projector/projector_texts.h"
#include "projector/records/packed_resource.h"
#include "projector/records/resource_access.h"
#include "projector/records/settings_stamp.h"
#include "projector/script_objects.h"

namespace quill::projector {

namespace {

constexpr size_t kIdentityMinBytes = 33;
constexpr const wchar_t* kSettingsSection = L"Settings";
constexpr const char* kOwnerClass = "QuillProjectorOwner";

bool readRegistryBinary(const std::wstring& key, const wchar_t* name, std::vector<uint8_t>* out) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExW(handle, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              type == REG_BINARY;
    if (ok) {
        out->resize(size);
        ok = RegQueryValueExW(handle, name, nullptr, &type, out->data(), &size) == ERROR_SUCCESS;
        out->resize(size);
    }
    RegCloseKey(handle);
    return ok;
}

bool writeRegistryBinary(const std::wstring& key, const wchar_t* name,
                         const std::vector<uint8_t>& bytes) {
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = RegSetValueExW(handle, name, 0, REG_BINARY, bytes.data(),
                             static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return ok;
}

// A temporary-folder variable that is set, not empty and shorter than 260 characters.
bool usableTempVariable(const char* name, std::string* out) {
    char buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= MAX_PATH) return false;
    out->assign(buffer, n);
    return true;
}

void deleteTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A link inside the folder is removed, never followed.
                if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    RemoveDirectoryA(path.c_str());
                } else {
                    deleteTree(path + "\\");
                }
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::string self = folder;
    if (!self.empty() && self.back() == '\\') self.pop_back();
    RemoveDirectoryA(self.c_str());
}

std::string moduleFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string out(path, n < MAX_PATH ? n : 0);
    size_t slash = out.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : out.substr(0, slash + 1);
}

std::wstring moduleBaseName() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring out(path, n < MAX_PATH ? n : 0);
    size_t slash = out.find_last_of(L"\\/");
    if (slash != std::wstring::npos) out.erase(0, slash + 1);
    size_t dot = out.find_last_of(L'.');
    if (dot != std::wstring::npos) out.erase(dot);
    return out;
}

}  // namespace

ProjectorApp::ProjectorApp() {
    exeFolder_ = moduleFolder();
}

ProjectorApp::~ProjectorApp() = default;

void ProjectorApp::showError(const std::string& text) const {
    HWND window = frame_ ? frame_->hwnd() : nullptr;
    std::string title = frame_ ? frame_->caption() : std::string();
    MessageBoxA(window, text.c_str(), title.c_str(), MB_OK | MB_ICONHAND);
}

project::ExtractTarget ProjectorApp::extractTarget() const {
    project::ExtractTarget target;
    target.workFolder = workFolder_;
    target.exeFolder = exeFolder_;
    target.report = [this](const std::string& text) { showError(text); };
    return target;
}

bool ProjectorApp::readIdentity() {
    std::vector<uint8_t> id;
    try {
        id = project::LoadRawResource("ID", project::kProjectType);
    } catch (...) {
        return false;
    }
    if (id.size() < kIdentityMinBytes) return false;
    // UTF-16 text up to its NUL (or to the end of the resource when the NUL is missing).
    std::wstring text;
    for (size_t i = 0; i + 1 < id.size(); i += 2) {
        wchar_t unit = static_cast<wchar_t>(id[i] | (id[i + 1] << 8));
        if (unit == 0) break;
        text.push_back(unit);
    }
    size_t slash = text.find(L'/');
    std::wstring key = slash == std::wstring::npos ? text : text.substr(0, slash);
    std::wstring profile = slash == std::wstring::npos ? moduleBaseName() : text.substr(slash + 1);
    for (wchar_t& c : profile) {
        if (c == L'/') c = L'\\';
    }
    profileKey_ = L"Software\\" + key + L"\\" + profile;
    return true;
}

bool ProjectorApp::createWorkFolder() {
    std::string temp;
    if (!usableTempVariable("TMP", &temp) && !usableTempVariable("TEMP", &temp)) {
        char windows[MAX_PATH];
        UINT n = GetWindowsDirectoryA(windows, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return true;  // no folder: files go to the current one
        temp.assign(windows, n);
    }
    if (temp.back() == '/') temp.back() = '\\';
    if (temp.back() != '\\') temp.push_back('\\');
    GUID guid;
    wchar_t text[64];
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, 64) == 0) {
        showError("");
        return false;
    }
    std::string folder = temp + ansiFromWide(text) + "\\";
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        showError("");  // the resource error: no text
        return false;
    }
    workFolder_ = folder;
    return true;
}

void ProjectorApp::loadSettings() {
    project::ExtractTarget target = extractTarget();
    std::wstring section = profileKey_ + L"\\" + kSettingsSection;
    std::vector<uint8_t> stamp;
    try {
        stamp = project::LoadRawResource("CS", project::kProjectType);
    } catch (...) {
        stamp.clear();  // without a stamp the settings always come from ST
    }
    std::vector<uint8_t> stored, options;
    bool fromRegistry = false;
    if (!stamp.empty() && readRegistryBinary(section, L"crc", &stored) && stored == stamp) {
        fromRegistry = readRegistryBinary(section, L"Options", &options);
    } else if (!stamp.empty()) {
        writeRegistryBinary(section, L"crc", stamp);
    }
    if (fromRegistry) {
        project::MemoryStream stream(options);
        project::ReadProjectSettings(&settings_, stream, target);
        return;
    }
    std::vector<uint8_t> record;
    try {
        if (!project::LoadPackedResource("ST", project::kProjectType, &record, target.report)) {
            return;
        }
    } catch (const project::ResourceError&) {
        return;
    }
    project::MemoryStream stream(record);
    project::ReadProjectSettings(&settings_, stream, target);
    project::MemoryStream copy;
    try {
        if (project::WriteProjectSettings(settings_, copy)) {
            writeRegistryBinary(section, L"Options", copy.bytes());
        }
    } catch (const project::TextError& error) {
        showError(error.what());
    }
}

bool ProjectorApp::storeOptions() {
    project::MemoryStream copy;
    try {
        if (!project::WriteProjectSettings(settings_, copy)) return false;
    } catch (const project::TextError& error) {
        showError(error.what());
        return false;
    }
    return writeRegistryBinary(profileKey_ + L"\\" + kSettingsSection, L"Options", copy.bytes());
}

bool ProjectorApp::ParseCommandLine(const std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2) return false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].empty() || arguments[i][0] == L'/') continue;
        movies_.entries.push_back({project::kMovieKind, ansiFromWide(arguments[i])});
    }
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        if (a.size() < 3 || _wcsnicmp(a.c_str(), L"/o:", 3) != 0) continue;
        std::wstring file = a.substr(3);
        DWORD attributes = GetFileAttributesW(file.c_str());
        if (file.empty() || attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        }
        std::FILE* stream = _wfopen(file.c_str(), L"rb");
        if (!stream) continue;
        project::ExtractTarget target = extractTarget();
        project::StdioStream input(stream);
        project::ReadProjectSettings(&settings_, input, target);
        project::parseMaskList(input, target, &masks_);
        std::fclose(stream);
        return true;
    }
    return false;
}

std::string ProjectorApp::PickStartMovie() {
    // Plug-in entries share the list but are never played.
    std::vector<const project::MovieEntry*> playable;
    for (const project::MovieEntry& entry : movies_.entries) {
        if (entry.kind == project::kMovieKind) playable.push_back(&entry);
    }
    if (playable.empty()) return {};
    if (!(movies_.listFlags & project::kListRandomStart)) return playable.front()->path;
    // The current time in milliseconds, so that starts within one second differ too.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::srand(static_cast<unsigned>(now.dwLowDateTime / 10000) ^ GetCurrentProcessId());
    return playable[static_cast<size_t>(std::rand()) % playable.size()]->path;
}

bool ProjectorApp::createOwnerWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kOwnerClass;
    RegisterClassA(&wc);
    owner_ =
        CreateWindowExA(0, kOwnerClass, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    return owner_ != nullptr;
}

bool ProjectorApp::AppStart(const std::vector<std::wstring>& arguments) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        MessageBoxA(nullptr, kSocketFailed, "", MB_OK);
        return false;
    }
    socketsStarted_ = true;
    comStarted_ = SUCCEEDED(OleInitialize(nullptr));
    setScriptApplication(this);

    if (!readIdentity()) {
        MessageBoxA(nullptr, kInvalidAppData, "", MB_OK | MB_ICONHAND);
        return false;
    }
    if (!createWorkFolder()) return false;

    settings_ = project::ProjectSettings{};
    movies_ = project::MovieList{};
    if (!ParseCommandLine(arguments)) {
        loadSettings();
        try {
            project::ReadMaskList(&masks_, extractTarget());
        } catch (const project::ResourceError&) {
            // A projector without masks needs no RG resource.
        }
    }
    if (movies_.entries.empty()) project::ReadMovieList(&movies_, extractTarget());

    registerHyperlinkClass();
    if (!createOwnerWindow()) return false;
    frame_ = std::make_unique<CMainFrame>(*this);
    if (!frame_->create(owner_)) return false;

    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
    if (icon) SetClassLongPtrA(frame_->hwnd(), GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    if (movies_.entries.empty()) frame_->setOpenMovie(true);

    if (!frame_->bridge().RunStartupScript()) return false;
    if (!IsWindow(frame_->hwnd())) return false;  // the start-up script closed the window

    applyMute();
    frame_->BuildSystemMenu();
    frame_->ApplySystemSettings();
    if (settings_.windowFlags & 0x1000) frame_->AddTrayIcon();

    std::string start = PickStartMovie();
    frame_->ApplyFrameStyle();
    if (!start.empty()) {
        frame_->PlayMovie(start);
        frame_->ApplyPlacement(start);
        if (settings_.windowShape == 2) frame_->ApplyWindowShape();
    } else {
        ShowWindow(frame_->hwnd(), SW_SHOWNORMAL);
    }
    frame_->TakeAspectRatio();
    frame_->ApplyWindowFlags(false);
    SendMessageA(frame_->hwnd(), kMsgBackground, 0, settings_.miscParam);
    UpdateWindow(frame_->hwnd());
    return true;
}

int ProjectorApp::AppExit() {
    if (frame_) frame_->UndoSystemSettings();
    mute_.restore();
    if (frame_ && frame_->hwnd() && IsWindow(frame_->hwnd())) DestroyWindow(frame_->hwnd());
    if (frame_) frame_->control().destroy();
    if (!movies_.entries.empty() && (movies_.listFlags & project::kListEmbedded)) {
        for (const project::MovieEntry& entry : movies_.entries) DeleteFileA(entry.path.c_str());
    }
    movies_ = project::MovieList{};
    masks_ = project::MaskList{};
    settings_ = project::ProjectSettings{};
    if (frame_) frame_->control().releaseLibrary();
    frame_.reset();
    setScriptApplication(nullptr);
    if (!workFolder_.empty()) {
        std::string self = workFolder_.substr(0, workFolder_.size() - 1);
        RemoveDirectoryA(self.c_str());
    }
    if (owner_) DestroyWindow(owner_);
    owner_ = nullptr;
    if (!workFolder_.empty()) deleteTree(workFolder_);
    workFolder_.clear();
    if (comStarted_) OleUninitialize();
    comStarted_ = false;
    if (socketsStarted_) WSACleanup();
    socketsStarted_ = false;
    return 0;
}

}  // namespace quill::projector
