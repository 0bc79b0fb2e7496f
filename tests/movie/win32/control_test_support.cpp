// Helpers for the Windows tests of the movie control.
#include "control_test_support.h"  // first: it brings windows.h

#include <gtest/gtest.h>

#include <cstdio>

#include "control/movie_description.h"
#include "control/swf_writer.h"

namespace quill::movie::test {

std::wstring controlPath() {
    // The build knows the DLL by its Unix path; Wine shows the Unix root as drive Z:.
    std::string unix = QUILL_CONTROL_FILE;
    std::wstring path = L"Z:";
    for (char c : unix) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

HRESULT createFromFile(REFIID riid, void** out) {
    HMODULE dll = LoadLibraryW(controlPath().c_str());
    if (!dll) return HRESULT_FROM_WIN32(GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    if (!get) return E_NOINTERFACE;
    CLSID clsid;
    CLSIDFromString(L"{D27CDB6E-AE6D-11CF-96B8-444553540000}", &clsid);
    Com<IClassFactory> factory;
    HRESULT hr = get(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.out()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, riid, out);
}

DWORD runRegsvr32(bool unregister) {
    std::wstring command = std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" +
                           controlPath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return ~0u;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

HRESULT call(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    DISPID id;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    HRESULT hr = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        VARIANT ignored;
        if (!result) result = &ignored;
        VariantInit(result);
        hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                       &params, result, nullptr, nullptr);
        if (result == &ignored) VariantClear(&ignored);
    }
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
}

HRESULT put(IDispatch* d, const wchar_t* name, VARIANT value) {
    DISPID id;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    HRESULT hr = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                       nullptr, nullptr);
    }
    VariantClear(&value);
    return hr;
}

VARIANT bstr(const std::wstring& s) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return v;
}

VARIANT i4(long n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

VARIANT vbool(bool b) {
    VARIANT v;
    v.vt = VT_BOOL;
    v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

std::wstring callText(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT r;
    HRESULT hr = call(d, name, std::move(args), &r);
    if (FAILED(hr)) return L"<failed>";
    if (FAILED(VariantChangeType(&r, &r, VARIANT_ALPHABOOL, VT_BSTR))) return L"<not text>";
    std::wstring s = r.bstrVal ? std::wstring(r.bstrVal, SysStringLen(r.bstrVal)) : L"";
    VariantClear(&r);
    return s;
}

long callNumber(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args) {
    VARIANT r;
    HRESULT hr = call(d, name, std::move(args), &r);
    if (FAILED(hr) || FAILED(VariantChangeType(&r, &r, 0, VT_I4))) return -999;
    return r.lVal;
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** out) {
    IID events;
    IIDFromString(L"{00891E71-D4EB-4E6C-9DFD-39BE44D930A3}", &events);
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                               EXCEPINFO*, UINT*) {
    Event e{id, {}};
    for (UINT i = params ? params->cArgs : 0; i > 0; --i) {
        VARIANT v;
        VariantInit(&v);
        if (SUCCEEDED(VariantChangeType(&v, &params->rgvarg[i - 1], 0, VT_BSTR))) {
            e.args.emplace_back(v.bstrVal ? v.bstrVal : L"");
        }
        VariantClear(&v);
    }
    events.push_back(e);
    return S_OK;
}

std::vector<std::pair<std::wstring, std::wstring>> EventSink::commands() const {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    for (const Event& e : events) {
        if (e.id == 150 && e.args.size() == 2) out.emplace_back(e.args[0], e.args[1]);
    }
    return out;
}

DWORD EventSink::connect(IUnknown* control) {
    // As containers do: the default source interface from the class information.
    Com<IProvideClassInfo2> info;
    EXPECT_EQ(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(info.out())),
              S_OK);
    GUID source = GUID_NULL;
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    Com<IConnectionPointContainer> container;
    EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(container.out())),
              S_OK);
    Com<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(source, point.out()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(this), &cookie), S_OK);
    return cookie;
}

void EventSink::disconnect(IUnknown* control, DWORD cookie) {
    Com<IConnectionPointContainer> container;
    control->QueryInterface(IID_IConnectionPointContainer,
                            reinterpret_cast<void**>(container.out()));
    Com<IProvideClassInfo2> info;
    control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(info.out()));
    GUID source;
    info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
    Com<IConnectionPoint> point;
    container->FindConnectionPoint(source, point.out());
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

MovieFile::MovieFile(const std::string& description, const std::string& name) {
    Movie movie;
    std::string error;
    EXPECT_TRUE(compileDescription(description, name + ".toml", &movie, &error)) << error;
    std::vector<uint8_t> bytes = writeMovie(movie);
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path = std::wstring(dir) + L"quill-movie-test-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::wstring(name.begin(), name.end()) + L".swf";
    FILE* f = _wfopen(path.c_str(), L"wb");
    EXPECT_NE(f, nullptr);
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
}

Hosted::Hosted(int width, int height, bool byClass)
    : window(gui::TestWindow::Options{.clientSize = {width, height}}),
      site(window.hwnd(), RECT{0, 0, width, height}) {
    if (byClass) {
        CLSID clsid;
        CLSIDFromString(L"{D27CDB6E-AE6D-11CF-96B8-444553540000}", &clsid);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(control.out())),
                  S_OK);
    } else {
        EXPECT_EQ(createFromFile(IID_IDispatch, reinterpret_cast<void**>(control.out())), S_OK);
    }
    if (!control) return;
    Com<IOleObject> object;
    EXPECT_EQ(control.as(&object, IID_IOleObject), S_OK);
    EXPECT_EQ(object->SetClientSite(&site), S_OK);
    RECT r{0, 0, width, height};
    EXPECT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, window.hwnd(), &r), S_OK);
    Com<IOleInPlaceObject> inPlace;
    EXPECT_EQ(control.as(&inPlace, IID_IOleInPlaceObject), S_OK);
    EXPECT_EQ(inPlace->GetWindow(&controlWindow), S_OK);
}
Hosted::~Hosted() {
    if (!control) return;
    Com<IOleObject> object;
    control.as(&object, IID_IOleObject);
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
}

gui::Snapshot Hosted::shot() {
    RedrawWindow(controlWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    gui::pumpMessages();
    return gui::captureClient(controlWindow);
}

}  // namespace quill::movie::test
