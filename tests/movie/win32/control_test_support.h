// Helpers for the Windows tests of the movie control: a COM apartment, the control created from
// its DLL file with or without registration, calls by name through IDispatch, an event sink that
// records what the control fires, and movies built from descriptions into temporary files.
#pragma once

#include "tests/gui/gui_bench.h"  // first: it brings windows.h

#include <oaidl.h>
#include <ocidl.h>

#include <string>
#include <vector>

namespace quill::movie::test {

// The control DLL as Windows sees it ("Z:\...\quill_movie.ocx").
std::wstring controlPath();

struct ComApartment {
    ComApartment() { OleInitialize(nullptr); }
    ~ComApartment() { OleUninitialize(); }
};

// A COM pointer that releases itself.
template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    explicit Com(T* q) : p(q) {}
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() { reset(); }
    void reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T** out() {
        reset();
        return &p;
    }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    template <class U>
    HRESULT as(Com<U>* other, REFIID riid) const {
        return p->QueryInterface(riid, reinterpret_cast<void**>(other->out()));
    }
};

// The control through its DLL's DllGetClassObject, without registration.
HRESULT createFromFile(REFIID riid, void** out);
// regsvr32 on the control (with /u to unregister); the process's exit code.
DWORD runRegsvr32(bool unregister);

// A call by name: methods and property reads; `args` in natural order.
HRESULT call(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result);
HRESULT put(IDispatch* d, const wchar_t* name, VARIANT value);
VARIANT bstr(const std::wstring& s);  // the caller clears it (call and put do)
VARIANT i4(long v);
VARIANT vbool(bool b);
std::wstring callText(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args = {});
long callNumber(IDispatch* d, const wchar_t* name, std::vector<VARIANT> args = {});

// Records every event it receives.
class EventSink : public IDispatch {
  public:
    struct Event {
        DISPID id;
        std::vector<std::wstring> args;
    };
    std::vector<Event> events;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

    // FSCommand events as (command, arguments).
    std::vector<std::pair<std::wstring, std::wstring>> commands() const;
    // Connects to the control's default source interface; the cookie for disconnecting.
    DWORD connect(IUnknown* control);
    void disconnect(IUnknown* control, DWORD cookie);

  private:
    ULONG refs_ = 1;
};

// A movie compiled from a description into a temporary file, deleted with the object.
struct MovieFile {
    std::wstring path;
    MovieFile(const std::string& description, const std::string& name);
    ~MovieFile() { DeleteFileW(path.c_str()); }
    MovieFile(const MovieFile&) = delete;
    MovieFile& operator=(const MovieFile&) = delete;
};

// A minimal OLE container site: the control is placed over a rectangle of a test window.
class Site : public IOleClientSite, public IOleInPlaceSite {
  public:
    Site(HWND window, RECT rect) : window_(window), rect_(rect) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** m) override {
        *m = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP GetWindow(HWND* w) override {
        *w = window_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override {
        ++activations;
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = nullptr;
        *document = nullptr;
        *position = rect_;
        *clip = rect_;
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override {
        ++deactivations;
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    int activations = 0, deactivations = 0;

  private:
    HWND window_;
    RECT rect_;
};

// A test window with the control activated in place over its whole client area.
struct Hosted {
    gui::TestWindow window;
    Site site;
    Com<IDispatch> control;
    HWND controlWindow = nullptr;

    Hosted(int width, int height, bool byClass);
    ~Hosted();
    // The control's pixels once it has painted what it has now.
    gui::Snapshot shot();
};

}  // namespace quill::movie::test
