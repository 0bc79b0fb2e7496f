// The test server DLL's module: its entry point, class factory and self-registration under
// HKEY_CLASSES_ROOT (class, program identifier "Quill.TestServer" and the file extension
// ".quilltest" that file monikers of test files resolve through).
#include <string>

#include "test_server_h.h"
#include "tests/com_server/server_parts.h"

using namespace quilltest;

namespace {

const wchar_t kProgId[] = L"Quill.TestServer";
const wchar_t kExtension[] = L".quilltest";

class Factory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++gLocks;
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --gLocks;
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IDispatch* server = newTestServer();
        HRESULT hr = server->QueryInterface(riid, out);
        server->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }
};

Factory gFactory;

std::wstring guidText(const GUID& guid) {
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

bool setValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TestServer)) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
    return gLiveObjects == 0 && gLocks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!GetModuleFileNameW(gModule, path, MAX_PATH)) return E_FAIL;
    std::wstring clsidKey = L"CLSID\\" + guidText(CLSID_TestServer);
    bool ok = setValue(clsidKey, nullptr, L"Quill test server") &&
              setValue(clsidKey + L"\\InprocServer32", nullptr, path) &&
              setValue(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
              setValue(clsidKey + L"\\ProgID", nullptr, kProgId) &&
              setValue(kProgId, nullptr, L"Quill test server") &&
              setValue(std::wstring(kProgId) + L"\\CLSID", nullptr, guidText(CLSID_TestServer)) &&
              setValue(kExtension, nullptr, kProgId);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    std::wstring clsidKey = L"CLSID\\" + guidText(CLSID_TestServer);
    LONG a = RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str());
    LONG b = RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    LONG c = RegDeleteTreeW(HKEY_CLASSES_ROOT, kExtension);
    auto gone = [](LONG status) {
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    };
    return gone(a) && gone(b) && gone(c) ? S_OK : SELFREG_E_CLASS;
}
