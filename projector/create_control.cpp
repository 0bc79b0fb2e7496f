// `createControl`: further ActiveX controls that scripts place in the main window, each a visible
// child with its own site, handed to scripts as its Window and an ActiveXObject over its dispatch
// interface. The controls live until the main window goes.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host/com/activex_object.h"
#include "host/system/window_object.h"
#include "projector/control_site.h"
#include "projector/main_frame.h"
#include "projector/script_objects.h"
#include "runtime/class_binding.h"

namespace quill::projector {

namespace {

constexpr int kCreatedControlId = 0xFFFF;

class HostedControl {
  public:
    HostedControl() = default;
    ~HostedControl() {
        if (inPlace_) inPlace_->InPlaceDeactivate();
        release(inPlace_);
        release(dispatch_);
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        release(object_);
        release(site_);
        if (window_ && IsWindow(window_)) DestroyWindow(window_);
    }
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;

    bool create(HWND parent, const CLSID& clsid, const RECT& rect) {
        // Asked for IUnknown first: some class factories hand out their one interface whatever
        // was asked for, and only the object's own QueryInterface tells the truth.
        IUnknown* unknown = nullptr;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_IUnknown, reinterpret_cast<void**>(&unknown))) ||
            !unknown) {
            return false;
        }
        HRESULT hr = unknown->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object_));
        unknown->Release();
        if (FAILED(hr)) {
            object_ = nullptr;
            return false;
        }
        if (FAILED(object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_)))) {
            dispatch_ = nullptr;
            return false;
        }
        site_ = new ControlSite(parent);
        object_->SetClientSite(site_);
        IPersistStreamInit* persist = nullptr;
        if (SUCCEEDED(object_->QueryInterface(IID_IPersistStreamInit,
                                              reinterpret_cast<void**>(&persist)))) {
            persist->InitNew();
            persist->Release();
        }
        RECT position = rect;
        if (FAILED(
                object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &position))) {
            return false;
        }
        if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject,
                                              reinterpret_cast<void**>(&inPlace_)))) {
            inPlace_->GetWindow(&window_);
            inPlace_->SetObjectRects(&position, &position);
        }
        if (!window_) return false;  // scripts reach a control through its window too
        LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
        SetWindowLongPtrW(window_, GWL_STYLE, style | WS_CHILD | WS_VISIBLE);
        SetWindowLongPtrW(window_, GWLP_ID, kCreatedControlId);
        MoveWindow(window_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
        ShowWindow(window_, SW_SHOW);
        return true;
    }

    IDispatch* dispatch() const { return dispatch_; }
    HWND window() const { return window_; }

  private:
    template <class T>
    static void release(T*& p) {
        if (p) p->Release();
        p = nullptr;
    }

    IOleObject* object_ = nullptr;
    IDispatch* dispatch_ = nullptr;
    IOleInPlaceObject* inPlace_ = nullptr;
    ControlSite* site_ = nullptr;
    HWND window_ = nullptr;
};

std::vector<std::unique_ptr<HostedControl>> createdControls;

// A program identifier first, then a class identifier in its braced text form.
bool classOf(const std::u16string& identifier, CLSID* clsid) {
    std::wstring text(identifier.begin(), identifier.end());
    if (text.empty() || text.find(L'\0') != std::wstring::npos) return false;
    return SUCCEEDED(CLSIDFromProgID(text.c_str(), clsid)) ||
           SUCCEEDED(CLSIDFromString(text.c_str(), clsid));
}

ScriptValue createControl(ScriptEngine* engine, bind::Args args) {
    HWND main = mainWindow(engine);
    if (!main || args[1].tag != kTagString) return makeNull();
    CLSID clsid;
    if (!classOf(std::u16string(stringView(args[1])), &clsid)) return makeNull();
    LONG edges[4] = {0, 0, 50, 50};
    for (uint32_t i = 0; i < 4; ++i) {
        ScriptValue edge = args[i + 2];
        if (edge.tag == kTagInteger) edges[i] = static_cast<LONG>(edge.i);
    }
    RECT rect{edges[0], edges[1], edges[2], edges[3]};
    auto control = std::make_unique<HostedControl>();
    if (!control->create(main, clsid, rect)) return makeNull();
    ScriptValue window = windowValue(engine, control->window());
    ScriptValue activex = newActiveXObject(engine, control->dispatch());
    // Nothing below collects: the three values need no roots while they are put together.
    ScriptObject* out = newObject(engine);
    setByAtom(engine, out, intern(engine, "window"), window);
    setByAtom(engine, out, intern(engine, "activex"), activex);
    createdControls.push_back(std::move(control));
    return makeObject(out);
}

}  // namespace

void registerCreateControl(ScriptEngine* engine) {
    bind::defineFunction<createControl, bind::Empty::kNull>(
        engine, "createControl", "progIdOrClsid [, left, top, right, bottom]",
        "Creates an ActiveX control as a child of the main window in that rectangle of its "
        "client area (integers; default 0, 0, 50, 50) and gives {window, activex}: its Window "
        "and an ActiveXObject to script it; null when the control cannot be made.");
}

void destroyCreatedControls() {
    // Released last to first, each control's window going with it.
    while (!createdControls.empty()) createdControls.pop_back();
}

}  // namespace quill::projector
