// The DLL around the movie control: its entry points, the class factory, registration under
// HKEY_CLASSES_ROOT (class, program identifier, type library), the module's lock count and the
// type library loaded from the DLL's own resources.
#include <windows.h>

#include <new>
#include <string>

#include "movie_control.h"

using namespace quill::movie;

namespace {

HINSTANCE gInstance = nullptr;
LONG gLocks = 0;
ITypeLib* gTypeLib = nullptr;

const wchar_t kClassName[] = L"Quill Movie Control";
const wchar_t kProgId[] = L"Quill.Movie.1";
const wchar_t kIndependentProgId[] = L"Quill.Movie";

std::wstring guidText(REFGUID guid) {
    wchar_t buffer[64];
    StringFromGUID2(guid, buffer, 64);
    return buffer;
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(gInstance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY h;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    LONG rc = RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

class ClassFactory : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static: it lives as long as the module.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        MovieControl* control = new (std::nothrow) MovieControl();
        if (!control) return E_OUTOFMEMORY;
        HRESULT hr = control->QueryInterface(riid, out);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            moduleLock();
        } else {
            moduleUnlock();
        }
        return S_OK;
    }
};

ClassFactory gFactory;

}  // namespace

namespace quill::movie {

void moduleLock() {
    InterlockedIncrement(&gLocks);
}
void moduleUnlock() {
    InterlockedDecrement(&gLocks);
}
HINSTANCE moduleInstance() {
    return gInstance;
}

ITypeLib* controlTypeLib() {
    if (!gTypeLib) {
        std::wstring path = modulePath();
        if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &gTypeLib))) gTypeLib = nullptr;
    }
    return gTypeLib;
}

std::string fromBstr(BSTR text, int version) {
    if (!text) return "";
    UINT page = version >= 6 ? CP_UTF8 : CP_ACP;
    int length = static_cast<int>(SysStringLen(text));
    if (length == 0) return "";
    int n = WideCharToMultiByte(page, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(page, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

BSTR toBstr(const std::string& text, int version) {
    UINT page = version >= 6 ? CP_UTF8 : CP_ACP;
    int n = MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
    if (out && n > 0)
        MultiByteToWideChar(page, 0, text.data(), static_cast<int>(text.size()), out, n);
    return out;
}

}  // namespace quill::movie

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gInstance = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // The type library is not released here: COM may already be gone at process exit.
        gTypeLib = nullptr;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_QuillMovie) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
    return gLocks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    std::wstring path = modulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    std::wstring clsid = guidText(CLSID_QuillMovie);
    std::wstring key = L"CLSID\\" + clsid;
    std::wstring misc =
        std::to_wstring(OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                        OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST);
    bool ok =
        setValue(HKEY_CLASSES_ROOT, key, nullptr, kClassName) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, kProgId) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\VersionIndependentProgID", nullptr,
                 kIndependentProgId) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\Control", nullptr, L"") &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\MiscStatus", nullptr, L"0") &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1", nullptr, misc) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr, guidText(LIBID_QuillMovieLib)) &&
        setValue(HKEY_CLASSES_ROOT, key + L"\\Version", nullptr, L"1.0") &&
        setValue(HKEY_CLASSES_ROOT, kProgId, nullptr, kClassName) &&
        setValue(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, clsid) &&
        setValue(HKEY_CLASSES_ROOT, kIndependentProgId, nullptr, kClassName) &&
        setValue(HKEY_CLASSES_ROOT, std::wstring(kIndependentProgId) + L"\\CLSID", nullptr,
                 clsid) &&
        setValue(HKEY_CLASSES_ROOT, std::wstring(kIndependentProgId) + L"\\CurVer", nullptr,
                 kProgId);
    if (!ok) return SELFREG_E_CLASS;
    ITypeLib* lib = controlTypeLib();
    if (!lib || FAILED(RegisterTypeLib(lib, const_cast<wchar_t*>(path.c_str()), nullptr)))
        return SELFREG_E_TYPELIB;
    return S_OK;
}

STDAPI DllUnregisterServer() {
    std::wstring clsid = guidText(CLSID_QuillMovie);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kIndependentProgId);
    UnRegisterTypeLib(LIBID_QuillMovieLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    return S_OK;
}
