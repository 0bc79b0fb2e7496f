// OLE embedding: the object's verbs and site, in-place activation (the control's window inside
// the container's), the control and view interfaces (drawing into any device context at any
// size), and the class information that tells containers which event interface to sink.
#include <windows.h>

#include "movie_control.h"

namespace quill::movie {

namespace {

constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_SETCLIENTSITEFIRST;

}  // namespace

STDMETHODIMP MovieControl::SetClientSite(IOleClientSite* site) {
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP MovieControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = site_;
    if (site_) site_->AddRef();
    return S_OK;
}

STDMETHODIMP MovieControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP MovieControl::Close(DWORD) {
    AddRef();
    InPlaceDeactivate();
    if (oleAdvise_) oleAdvise_->SendOnClose();
    Release();
    return S_OK;
}

STDMETHODIMP MovieControl::SetMoniker(DWORD, IMoniker*) {
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::InitFromData(IDataObject*, BOOL, DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                  LPCRECT rect) {
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE: {
            if (site && site != site_) SetClientSite(site);
            if (!site_) return E_UNEXPECTED;
            if (!inPlaceActive_) {
                IOleInPlaceSite* inPlace = nullptr;
                if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite,
                                                 reinterpret_cast<void**>(&inPlace)))) {
                    return E_NOINTERFACE;
                }
                if (inPlace->CanInPlaceActivate() != S_OK) {
                    inPlace->Release();
                    return E_FAIL;
                }
                inPlace->OnInPlaceActivate();
                IOleInPlaceFrame* frame = nullptr;
                IOleInPlaceUIWindow* document = nullptr;
                RECT position{0, 0, 0, 0}, clip{0, 0, 0, 0};
                OLEINPLACEFRAMEINFO frameInfo{};
                frameInfo.cb = sizeof frameInfo;
                inPlace->GetWindowContext(&frame, &document, &position, &clip, &frameInfo);
                if (frame) frame->Release();
                if (document) document->Release();
                HWND siteWindow = nullptr;
                inPlace->GetWindow(&siteWindow);
                if (!siteWindow) siteWindow = parent;
                if (rect && IsRectEmpty(&position)) position = *rect;
                if (!createWindow(siteWindow, position)) {
                    inPlace->OnInPlaceDeactivate();
                    inPlace->Release();
                    return E_FAIL;
                }
                inPlaceSite_ = inPlace;
                inPlaceActive_ = true;
            }
            if ((verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY ||
                 verb == OLEIVERB_SHOW) &&
                !uiActive_ && inPlaceSite_) {
                uiActive_ = true;
                inPlaceSite_->OnUIActivate();
                IOleInPlaceFrame* frame = nullptr;
                IOleInPlaceUIWindow* document = nullptr;
                RECT position, clip;
                OLEINPLACEFRAMEINFO frameInfo{};
                frameInfo.cb = sizeof frameInfo;
                if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &document, &position, &clip,
                                                             &frameInfo))) {
                    if (frame) {
                        frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this),
                                               nullptr);
                        frame->Release();
                    }
                    if (document) {
                        document->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this),
                                                  nullptr);
                        document->Release();
                    }
                }
            }
            if (window_) ShowWindow(window_, SW_SHOW);
            return S_OK;
        }
        case OLEIVERB_HIDE:
            if (window_) ShowWindow(window_, SW_HIDE);
            return S_OK;
        case OLEIVERB_OPEN:
        case OLEIVERB_PROPERTIES:
            return OLEOBJ_S_INVALIDVERB;
        default:
            return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

STDMETHODIMP MovieControl::EnumVerbs(IEnumOLEVERB** verbs) {
    return OleRegEnumVerbs(CLSID_QuillMovie, verbs);
}
STDMETHODIMP MovieControl::Update() {
    return S_OK;
}
STDMETHODIMP MovieControl::IsUpToDate() {
    return S_OK;
}

STDMETHODIMP MovieControl::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_QuillMovie;
    return S_OK;
}

STDMETHODIMP MovieControl::GetUserType(DWORD form, LPOLESTR* type) {
    return OleRegGetUserType(CLSID_QuillMovie, form, type);
}

STDMETHODIMP MovieControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP MovieControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP MovieControl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!oleAdvise_) return E_OUTOFMEMORY;
    return oleAdvise_->Advise(sink, connection);
}

STDMETHODIMP MovieControl::Unadvise(DWORD connection) {
    if (!oleAdvise_) return OLE_E_NOCONNECTION;
    return oleAdvise_->Unadvise(connection);
}

STDMETHODIMP MovieControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (!oleAdvise_) return E_FAIL;
    return oleAdvise_->EnumAdvise(advise);
}

STDMETHODIMP MovieControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

STDMETHODIMP MovieControl::SetColorScheme(LOGPALETTE*) {
    return E_NOTIMPL;
}

// In-place activation.

STDMETHODIMP MovieControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP MovieControl::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::InPlaceDeactivate() {
    if (!inPlaceActive_) return S_OK;
    UIDeactivate();
    inPlaceActive_ = false;
    destroyWindow();
    if (inPlaceSite_) {
        IOleInPlaceSite* site = inPlaceSite_;
        inPlaceSite_ = nullptr;
        site->OnInPlaceDeactivate();
        site->Release();
    }
    return S_OK;
}

STDMETHODIMP MovieControl::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (inPlaceSite_) {
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position, clip;
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof frameInfo;
        if (SUCCEEDED(
                inPlaceSite_->GetWindowContext(&frame, &document, &position, &clip, &frameInfo))) {
            if (frame) {
                frame->SetActiveObject(nullptr, nullptr);
                frame->Release();
            }
            if (document) {
                document->SetActiveObject(nullptr, nullptr);
                document->Release();
            }
        }
        inPlaceSite_->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

STDMETHODIMP MovieControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (window_) {
        MoveWindow(window_, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    }
    return S_OK;
}

STDMETHODIMP MovieControl::ReactivateAndUndo() {
    return E_NOTIMPL;
}
STDMETHODIMP MovieControl::TranslateAccelerator(LPMSG) {
    return S_FALSE;
}
STDMETHODIMP MovieControl::OnFrameWindowActivate(BOOL) {
    return S_OK;
}
STDMETHODIMP MovieControl::OnDocWindowActivate(BOOL) {
    return S_OK;
}
STDMETHODIMP MovieControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}
STDMETHODIMP MovieControl::EnableModeless(BOOL) {
    return S_OK;
}

// IOleControl.

STDMETHODIMP MovieControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP MovieControl::OnMnemonic(MSG*) {
    return E_NOTIMPL;
}
STDMETHODIMP MovieControl::OnAmbientPropertyChange(DISPID) {
    return S_OK;
}

STDMETHODIMP MovieControl::FreezeEvents(BOOL freeze) {
    freezeEvents_ += freeze ? 1 : (freezeEvents_ > 0 ? -1 : 0);
    return S_OK;
}

// The view: drawing into a device context the container chooses.

STDMETHODIMP MovieControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                                ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT) {
        return DV_E_DVASPECT;
    }
    if (!dc || !bounds) return E_INVALIDARG;
    RECT r{bounds->left, bounds->top, bounds->right, bounds->bottom};
    if (r.right <= r.left || r.bottom <= r.top) return S_OK;
    renderTo(dc, r);
    return S_OK;
}

STDMETHODIMP MovieControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                       LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP MovieControl::Freeze(DWORD, LONG, void*, DWORD*) {
    return E_NOTIMPL;
}
STDMETHODIMP MovieControl::Unfreeze(DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP MovieControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (sink) sink->AddRef();
    if (viewSink_) viewSink_->Release();
    viewSink_ = sink;
    viewSinkAspects_ = aspects;
    viewSinkFlags_ = flags;
    return S_OK;
}

STDMETHODIMP MovieControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewSinkAspects_;
    if (flags) *flags = viewSinkFlags_;
    if (sink) {
        *sink = viewSink_;
        if (viewSink_) viewSink_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP MovieControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

STDMETHODIMP MovieControl::GetRect(DWORD aspect, LPRECTL rect) {
    if (!rect) return E_POINTER;
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE) return DV_E_DVASPECT;
    *rect = {0, 0, extent_.cx, extent_.cy};
    return S_OK;
}

STDMETHODIMP MovieControl::GetViewStatus(DWORD* status) {
    if (!status) return E_POINTER;
    *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP MovieControl::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG,
                                         DWORD* hit) {
    if (!bounds || !hit) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *hit = PtInRect(bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP MovieControl::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG,
                                        DWORD* hit) {
    if (!bounds || !location || !hit) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    RECT common;
    *hit = IntersectRect(&common, bounds, location) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP MovieControl::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*,
                                            LPSIZEL) {
    return E_NOTIMPL;
}

// Class information.

STDMETHODIMP MovieControl::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    ITypeLib* lib = controlTypeLib();
    if (!lib) return E_FAIL;
    return lib->GetTypeInfoOfGuid(CLSID_QuillMovie, info);
}

STDMETHODIMP MovieControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID__IQuillMovieEvents;
    return S_OK;
}

void MovieControl::viewChanged() {
    invalidate();
    if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

}  // namespace quill::movie
