// Finding a usable movie control: the registered one when it is version 6.0.79.0 or later,
// otherwise the projector's own copy (resource FP) written as "flash.ocx" into the work folder,
// with the support libraries it needs when the system lacks them.
#include <objbase.h>

#include <string>
#include <vector>

#include "projector/ansi_text.h"
#include "projector/projector_app.h"
#include "projector/projector_texts.h"
#include "projector/records/resource_access.h"

namespace quill::projector {

namespace {

constexpr DWORD kMinimumVersionMs = 0x00060000;
constexpr DWORD kMinimumVersionLs = 0x004F0000;

bool fileVersion(const std::wstring& path, DWORD* ms, DWORD* ls) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<uint8_t> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    *ms = info->dwFileVersionMS;
    *ls = info->dwFileVersionLS;
    return true;
}

// The in-process server file the registry names for the control's class.
std::wstring registeredServer() {
    wchar_t clsid[64];
    StringFromGUID2(kMovieControlClsid, clsid, 64);
    std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    LONG size = sizeof path;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS) return {};
    std::wstring out(path);
    if (out.size() >= 2 && out.front() == L'"' && out.back() == L'"') {
        out = out.substr(1, out.size() - 2);
    }
    return out;
}

}  // namespace

// Asking COM for a class nobody registered can wait a long time for a local server that will
// never come (Wine's RPC service does), so the registration is looked up first.
bool controlRegistered() {
    wchar_t clsid[64];
    StringFromGUID2(kMovieControlClsid, clsid, 64);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + clsid).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

namespace {

bool registeredControlIsNew() {
    if (!controlRegistered()) return false;
    IDispatch* probe = nullptr;
    if (FAILED(CoCreateInstance(kMovieControlClsid, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&probe)))) {
        return false;
    }
    probe->Release();
    DWORD ms = 0, ls = 0;
    if (!fileVersion(registeredServer(), &ms, &ls)) return false;
    return ms > kMinimumVersionMs || (ms == kMinimumVersionMs && ls >= kMinimumVersionLs);
}

// Writes bytes to a new file (others may read it while it is written).
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, DWORD share) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    if (!ok) DeleteFileA(path.c_str());
    return ok;
}

std::string windowsSystemFolder() {
    char folder[MAX_PATH];
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    std::string out(folder, n < MAX_PATH ? n : 0);
    if (!out.empty() && out.back() != '\\') out.push_back('\\');
    return out;
}

}  // namespace

bool ProjectorApp::ExtractSupportLibrary(const char* resource, const char* library,
                                         const std::string& folder) {
    if (HMODULE loaded = LoadLibraryA(library)) {
        FreeLibrary(loaded);
        return true;
    }
    std::vector<uint8_t> bytes;
    try {
        if (!project::LoadPackedResource(resource, project::kSupportType, &bytes,
                                         [this](const std::string& t) { showError(t); })) {
            return false;
        }
    } catch (const project::ResourceError&) {
        // Projectors never carry system libraries: nothing to extract is not a failure.
        return true;
    }
    std::string path = folder + library;
    if (!writeFileBytes(path, bytes, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
        showError("Cannot write the file " + path);
        return false;
    }
    return true;
}

bool ProjectorApp::CheckOleAut32(const char* library, int major, int minor, std::string* path) {
    HMODULE loaded = LoadLibraryA(library);
    bool tooOld = true;
    if (loaded) {
        char full[MAX_PATH];
        DWORD n = GetModuleFileNameA(loaded, full, MAX_PATH);
        path->assign(full, n < MAX_PATH ? n : 0);
        DWORD ms = 0, ls = 0;
        std::wstring wide = wideFromAnsi(*path);
        if (!fileVersion(wide, &ms, &ls)) {
            tooOld = false;  // no version information counts as new enough
        } else {
            int high = HIWORD(ms), low = LOWORD(ms);
            tooOld = high < major || (high == major && low < minor);
        }
        FreeLibrary(loaded);
    }
    if (!tooOld) return true;
    std::vector<uint8_t> bytes;
    try {
        if (!project::LoadPackedResource("$2", project::kSupportType, &bytes,
                                         [this](const std::string& t) { showError(t); })) {
            return false;
        }
    } catch (const project::ResourceError&) {
        return false;  // nothing to update with
    }
    std::string extracted = workFolder() + "OLEAUT32.DLL";
    if (!writeFileBytes(extracted, bytes, 0)) return false;
    if (MessageBoxA(nullptr, kOleAutTooOld, "", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return false;
    }
    if (path->empty() || !CopyFileA(extracted.c_str(), path->c_str(), FALSE)) {
        MessageBoxA(nullptr, kOleAutUpdateFailed, "", MB_OK);
        return false;
    }
    return true;
}

std::wstring ProjectorApp::EnsureFlashControl() {
    if (registeredControlIsNew()) return {};
    std::vector<uint8_t> control;
    try {
        if (!project::LoadPackedResource("FP", project::kProjectType, &control,
                                         [this](const std::string& t) { showError(t); })) {
            return {};
        }
    } catch (const project::ResourceError&) {
        return {};
    }
    if (!ExtractSupportLibrary("$1", "MSVCRT.DLL", workFolder())) return {};
    std::string oleAutPath;
    if (!CheckOleAut32("OLEAUT32.DLL", 2, 20, &oleAutPath)) return {};
    std::string system = windowsSystemFolder();
    if (!ExtractSupportLibrary("$3", "URLMON.DLL", system) ||
        !ExtractSupportLibrary("$4", "WININET.DLL", system)) {
        return {};
    }
    std::vector<char> pathVariable(4096, '\0');
    DWORD n = GetEnvironmentVariableA("path", pathVariable.data(), 4096);
    std::string newPath(pathVariable.data(), n < 4096 ? n : 0);
    newPath += ";" + workFolder();
    SetEnvironmentVariableA("path", newPath.c_str());

    std::string file = workFolder() + "flash.ocx";
    if (!writeFileBytes(file, control, FILE_SHARE_READ)) {
        showError("Cannot write the file " + file);
        return {};
    }
    return wideFromAnsi(file);
}

}  // namespace quill::projector
