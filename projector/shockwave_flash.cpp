// Creating, siting and calling the movie control. Every call goes through IDispatch with the
// member's DISPID looked up on first use; nothing depends on the control's vtable layout.
#include "projector/shockwave_flash.h"

#include "projector/projector_app.h"
#include "projector/projector_texts.h"

namespace quill::projector {

namespace {

template <class T>
void releaseInto(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

}  // namespace

bool CShockwaveFlash::create(HWND parent, const std::wstring& file,
                             ControlEventSink::FsCommandHandler events) {
    destroy();
    HRESULT hr = E_FAIL;
    if (file.empty()) {
        if (!controlRegistered()) return false;
        hr = CoCreateInstance(kMovieControlClsid, nullptr,
                              CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&object_));
    } else {
        if (!library_) library_ = LoadLibraryW(file.c_str());
        auto getClassObject = library_ ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(
                                             GetProcAddress(library_, "DllGetClassObject")))
                                       : nullptr;
        IClassFactory* factory = nullptr;
        if (getClassObject && SUCCEEDED(getClassObject(kMovieControlClsid, IID_IClassFactory,
                                                       reinterpret_cast<void**>(&factory)))) {
            hr = factory->CreateInstance(nullptr, IID_IOleObject,
                                         reinterpret_cast<void**>(&object_));
            factory->Release();
        }
    }
    if (FAILED(hr) || !object_) {
        object_ = nullptr;
        return false;
    }
    if (FAILED(object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_)))) {
        destroy();
        return false;
    }
    site_ = new ControlSite(parent);
    object_->SetClientSite(site_);
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
        persist->InitNew();
        persist->Release();
    }
    connectEvents(std::move(events));
    RECT empty{0, 0, 0, 0};
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &empty))) {
        destroy();
        return false;
    }
    if (SUCCEEDED(
            object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace_)))) {
        inPlace_->GetWindow(&window_);
    }
    if (window_) SetWindowLongPtrW(window_, GWLP_ID, kControlChildId);
    return true;
}

void CShockwaveFlash::connectEvents(ControlEventSink::FsCommandHandler events) {
    IProvideClassInfo2* info = nullptr;
    IID source = IID_IDispatch;
    if (SUCCEEDED(
            object_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
        info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
        info->Release();
    }
    IConnectionPointContainer* container = nullptr;
    if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container)))) {
        return;
    }
    if (SUCCEEDED(container->FindConnectionPoint(source, &point_))) {
        sink_ = new ControlEventSink(source, std::move(events));
        if (FAILED(point_->Advise(static_cast<IDispatch*>(sink_), &cookie_))) {
            cookie_ = 0;
            releaseInto(point_);
        }
    }
    container->Release();
}

void CShockwaveFlash::destroy() {
    if (sink_) sink_->disconnect();
    if (point_ && cookie_) point_->Unadvise(cookie_);
    cookie_ = 0;
    releaseInto(point_);
    releaseInto(sink_);
    if (inPlace_) inPlace_->InPlaceDeactivate();
    releaseInto(inPlace_);
    releaseInto(dispatch_);
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
    releaseInto(object_);
    releaseInto(site_);
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
    ids_.clear();
}

void CShockwaveFlash::releaseLibrary() {
    if (library_) {
        CoFreeUnusedLibraries();
        FreeLibrary(library_);
    }
    library_ = nullptr;
}

void CShockwaveFlash::move(const RECT& rect) {
    if (inPlace_) inPlace_->SetObjectRects(&rect, &rect);
    if (window_) {
        MoveWindow(window_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
    }
}

bool CShockwaveFlash::resolve(const wchar_t* name, DISPID* id) {
    if (!dispatch_) return false;
    auto found = ids_.find(name);
    if (found != ids_.end()) {
        *id = found->second;
        return true;
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id))) {
        return false;
    }
    ids_.emplace(name, *id);
    return true;
}

HRESULT CShockwaveFlash::getProperty(const wchar_t* name, VARIANT* result) {
    return call(name, {}, result);
}

HRESULT CShockwaveFlash::putProperty(const wchar_t* name, const VARIANT& value) {
    DISPID id;
    if (!resolve(name, &id)) return DISP_E_UNKNOWNNAME;
    VARIANT arg = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                             nullptr, nullptr, nullptr);
}

HRESULT CShockwaveFlash::call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    DISPID id;
    if (!resolve(name, &id)) {
        for (VARIANT& a : args) VariantClear(&a);
        return DISP_E_UNKNOWNNAME;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    VARIANT local;
    VariantInit(&local);
    HRESULT hr =
        dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                          &params, result ? result : &local, nullptr, nullptr);
    VariantClear(&local);
    for (VARIANT& a : reversed) VariantClear(&a);
    return hr;
}

HRESULT CShockwaveFlash::putBool(const wchar_t* name, bool value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return putProperty(name, v);
}

HRESULT CShockwaveFlash::putLong(const wchar_t* name, long value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return putProperty(name, v);
}

HRESULT CShockwaveFlash::putText(const wchar_t* name, const std::wstring& value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    HRESULT hr = putProperty(name, v);
    VariantClear(&v);
    return hr;
}

long CShockwaveFlash::getLong(const wchar_t* name, long fallback) {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(getProperty(name, &v))) return fallback;
    VARIANT n;
    VariantInit(&n);
    long out = fallback;
    if (SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) out = n.lVal;
    VariantClear(&v);
    return out;
}

}  // namespace quill::projector
