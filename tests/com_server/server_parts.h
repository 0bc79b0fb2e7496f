// Pieces of the test automation server: the module's counters and type information, the text
// that describes a received VARIANT exactly (type and value), connection points, the item
// enumerator and an object without type information.
#pragma once

#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace quilltest {

extern HMODULE gModule;
extern std::atomic<long> gLiveObjects;  // server objects alive in this process
extern std::atomic<long> gLocks;

// The type information of an interface or class in the DLL's embedded type library.
HRESULT typeInfoOf(REFGUID guid, ITypeInfo** out);

// "I2:-5", "BSTR:text", "BYREF I4:7", "ARRAY(VARIANT)[I4:1,BSTR:x]", "EMPTY", ...
std::wstring describe(const VARIANT& value);
BSTR toBstr(const std::wstring& text);

// A simple connection point: sinks by cookie, handed out as a copy for firing.
class ConnectionPoint final : public IConnectionPoint {
  public:
    ConnectionPoint(IConnectionPointContainer* container, const IID& iid)
        : container_(container), iid_(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

    // The sinks, each with a reference the caller releases.
    std::vector<IUnknown*> sinks();
    long count() const { return long(sinks_.size()); }
    // The container is going: the point no longer refers to it.
    void orphan() { container_ = nullptr; }

  private:
    struct Sink {
        DWORD cookie;
        IUnknown* sink;
    };
    std::atomic<ULONG> refs_{1};
    IConnectionPointContainer* container_;  // not owned: the container owns the point
    IID iid_;
    DWORD nextCookie_ = 1;
    std::vector<Sink> sinks_;
};

// An enumerator over a fixed list of strings.
IEnumVARIANT* newItemEnum(std::vector<std::wstring> items);

// An object that describes every argument it gets ("Describe") and has no type information.
IDispatch* newUntypedObject();

// The server object.
IDispatch* newTestServer();

}  // namespace quilltest
