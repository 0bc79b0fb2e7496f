// CShockwaveFlash: the main window's hosted movie control. It creates the control by class id
// or from a file through its DllGetClassObject, activates it in place in the main window, and
// talks to it only through IDispatch names resolved once and cached, so any control that has
// the named members works whatever its vtable looks like.
#pragma once

#include <ocidl.h>
#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "projector/control_site.h"

namespace quill::projector {

// A colour as 0xRRGGBB to the control's 0x00BBGGRR, and back: the swap is its own inverse.
inline uint32_t swapRedAndBlue(uint32_t color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

class CShockwaveFlash {
  public:
    CShockwaveFlash() = default;
    ~CShockwaveFlash() { destroy(); }
    CShockwaveFlash(const CShockwaveFlash&) = delete;
    CShockwaveFlash& operator=(const CShockwaveFlash&) = delete;

    // An empty `file` creates the registered control; otherwise the control is made from that
    // file without registration (the library stays loaded until `releaseLibrary`).
    bool create(HWND parent, const std::wstring& file, ControlEventSink::FsCommandHandler events);
    // Deactivates and releases the control; its window goes with it.
    void destroy();
    // Frees a control library loaded from a file (after destroy).
    void releaseLibrary();

    bool created() const { return dispatch_ != nullptr; }
    HWND window() const { return window_; }
    IDispatch* dispatch() const { return dispatch_; }
    void move(const RECT& rect);

    // Calls by name. Results are S_OK or the control's failure; `result` may be null.
    HRESULT getProperty(const wchar_t* name, VARIANT* result);
    HRESULT putProperty(const wchar_t* name, const VARIANT& value);
    HRESULT call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result);

    // Conveniences over the above.
    HRESULT putBool(const wchar_t* name, bool value);
    HRESULT putLong(const wchar_t* name, long value);
    HRESULT putText(const wchar_t* name, const std::wstring& value);
    long getLong(const wchar_t* name, long fallback = 0);

  private:
    bool resolve(const wchar_t* name, DISPID* id);
    void connectEvents(ControlEventSink::FsCommandHandler events);

    HMODULE library_ = nullptr;
    IOleObject* object_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    IOleInPlaceObject* inPlace_ = nullptr;
    ControlSite* site_ = nullptr;
    ControlEventSink* sink_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
    HWND window_ = nullptr;
    std::map<std::wstring, DISPID> ids_;  // names as asked, each resolved once
};

}  // namespace quill::projector
