// The control's scripting interface: object lifetime, IDispatch through the type library, and
// every property and method of the dual interface. Frame numbers count from 0 here, as
// containers expect; the movie's own _currentframe property counts from 1.
#include <windows.h>

#include <oleauto.h>

#include <cmath>
#include <cwctype>

#include "control/movie_model.h"
#include "gdi_text_painter.h"
#include "movie_control.h"

namespace quill::movie {

void releaseEvents(EventConnectionPoint* point);
EventConnectionPoint* createEvents(MovieControl* owner);

namespace {

std::wstring fromBstrWide(BSTR s) {
    return s ? std::wstring(s, SysStringLen(s)) : std::wstring();
}

BSTR wideBstr(const std::wstring& s) {
    return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

VARIANT_BOOL vb(bool b) {
    return b ? VARIANT_TRUE : VARIANT_FALSE;
}

// Quality names and numbers: 0 low, 1 high, 2 auto low, 3 auto high; medium and best draw as
// high does.
struct QualityName {
    const wchar_t* name;
    int number;
} const kQualities[] = {{L"Low", 0},  {L"Medium", 1},  {L"High", 1},
                        {L"Best", 1}, {L"AutoLow", 2}, {L"AutoHigh", 3}};

}  // namespace

MovieControl::MovieControl() : player_(this), painter_(std::make_unique<GdiTextPainter>()) {
    moduleLock();
    events_ = createEvents(this);
    CreateOleAdviseHolder(&oleAdvise_);
}

MovieControl::~MovieControl() {
    destroyWindow();
    player_.unload();
    if (memoryDc_) {
        SelectObject(memoryDc_, oldBitmap_);
        DeleteDC(memoryDc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
    if (oleAdvise_) oleAdvise_->Release();
    if (viewSink_) viewSink_->Release();
    if (inPlaceSite_) inPlaceSite_->Release();
    if (site_) site_->Release();
    releaseEvents(events_);
    moduleUnlock();
}

STDMETHODIMP MovieControl::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    void* p = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IQuillMovie) {
        p = static_cast<IQuillMovie*>(this);
    } else if (riid == IID_IOleObject) {
        p = static_cast<IOleObject*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) {
        p = static_cast<IOleInPlaceObject*>(this);
    } else if (riid == IID_IOleInPlaceActiveObject) {
        p = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (riid == IID_IOleControl) {
        p = static_cast<IOleControl*>(this);
    } else if (riid == IID_IViewObject || riid == IID_IViewObject2 || riid == IID_IViewObjectEx) {
        p = static_cast<IViewObjectEx*>(this);
    } else if (riid == IID_IPersist || riid == IID_IPersistStreamInit) {
        p = static_cast<IPersistStreamInit*>(this);
    } else if (riid == IID_IPersistPropertyBag) {
        p = static_cast<IPersistPropertyBag*>(this);
    } else if (riid == IID_IPersistStorage) {
        p = static_cast<IPersistStorage*>(this);
    } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        p = static_cast<IProvideClassInfo2*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
        p = static_cast<IConnectionPointContainer*>(this);
    }
    *out = p;
    if (!p) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) MovieControl::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) MovieControl::Release() {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP MovieControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = controlTypeLib() ? 1 : 0;
    return S_OK;
}

STDMETHODIMP MovieControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeLib* lib = controlTypeLib();
    if (!lib) return E_FAIL;
    return lib->GetTypeInfoOfGuid(IID_IQuillMovie, info);
}

STDMETHODIMP MovieControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                         DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, lcid, &info);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, names, count, ids);
    info->Release();
    return hr;
}

STDMETHODIMP MovieControl::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    ITypeInfo* info = nullptr;
    HRESULT hr = GetTypeInfo(0, lcid, &info);
    if (FAILED(hr)) return hr;
    // A method called as a property read, or the other way round, is what script hosts do.
    if (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))
        flags |= DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    AddRef();  // a call may run scripts that release the container's reference
    hr = DispInvoke(static_cast<IQuillMovie*>(this), info, id, flags, params, result, exception,
                    argError);
    info->Release();
    Release();
    return hr;
}

// Properties.

STDMETHODIMP MovieControl::get_ReadyState(long* state) {
    if (!state) return E_POINTER;
    *state = readyState_;
    return S_OK;
}

STDMETHODIMP MovieControl::get_TotalFrames(long* frames) {
    if (!frames) return E_POINTER;
    *frames = player_.totalFrames();
    return S_OK;
}

STDMETHODIMP MovieControl::get_Playing(VARIANT_BOOL* playing) {
    if (!playing) return E_POINTER;
    *playing = vb(player_.hasMovie() ? player_.isPlaying() : playing_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Playing(VARIANT_BOOL playing) {
    playing_ = playing != VARIANT_FALSE;
    player_.setPlaying(playing_);
    dirty_ = true;
    return S_OK;
}

STDMETHODIMP MovieControl::get_Quality(int* quality) {
    if (!quality) return E_POINTER;
    *quality = quality_;
    return S_OK;
}

STDMETHODIMP MovieControl::put_Quality(int quality) {
    if (quality < 0 || quality > 3) return E_INVALIDARG;
    quality_ = quality;
    for (const QualityName& q : kQualities) {
        if (q.number == quality) {
            quality2_ = q.name;
            if (quality == 1) quality2_ = L"High";
            break;
        }
    }
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::get_Quality2(BSTR* quality) {
    if (!quality) return E_POINTER;
    *quality = wideBstr(quality2_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Quality2(BSTR quality) {
    std::wstring q = lower(fromBstrWide(quality));
    for (const QualityName& n : kQualities) {
        if (q == lower(n.name)) {
            quality2_ = n.name;
            quality_ = n.number;
            invalidate();
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

STDMETHODIMP MovieControl::get_ScaleMode(int* mode) {
    if (!mode) return E_POINTER;
    *mode = view_.scaleMode();
    return S_OK;
}

STDMETHODIMP MovieControl::put_ScaleMode(int mode) {
    if (mode < 0 || mode > 3) return E_INVALIDARG;
    view_.setScaleMode(mode);
    viewChanged();
    return S_OK;
}

STDMETHODIMP MovieControl::get_Scale(BSTR* scale) {
    if (!scale) return E_POINTER;
    static const wchar_t* kNames[] = {L"ShowAll", L"NoBorder", L"ExactFit", L"NoScale"};
    *scale = SysAllocString(kNames[view_.scaleMode()]);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Scale(BSTR scale) {
    std::wstring s = lower(fromBstrWide(scale));
    int mode = s == L"showall"    ? 0
               : s == L"noborder" ? 1
               : s == L"exactfit" ? 2
               : s == L"noscale"  ? 3
                                  : -1;
    if (mode < 0) return E_INVALIDARG;
    return put_ScaleMode(mode);
}

STDMETHODIMP MovieControl::get_AlignMode(int* mode) {
    if (!mode) return E_POINTER;
    *mode = view_.align();
    return S_OK;
}

STDMETHODIMP MovieControl::put_AlignMode(int mode) {
    view_.setAlign(mode);
    viewChanged();
    return S_OK;
}

STDMETHODIMP MovieControl::get_SAlign(BSTR* align) {
    if (!align) return E_POINTER;
    std::wstring s;
    int a = view_.align();
    if (a & kAlignLeft) s += L"L";
    if (a & kAlignTop) s += L"T";
    if (a & kAlignRight) s += L"R";
    if (a & kAlignBottom) s += L"B";
    *align = wideBstr(s);
    return S_OK;
}

STDMETHODIMP MovieControl::put_SAlign(BSTR align) {
    int a = 0;
    for (wchar_t c : lower(fromBstrWide(align))) {
        a |= c == L'l'   ? kAlignLeft
             : c == L'r' ? kAlignRight
             : c == L't' ? kAlignTop
             : c == L'b' ? kAlignBottom
                         : 0;
    }
    return put_AlignMode(a);
}

STDMETHODIMP MovieControl::get_BackgroundColor(long* color) {
    if (!color) return E_POINTER;
    *color = backgroundColor_;
    return S_OK;
}

STDMETHODIMP MovieControl::put_BackgroundColor(long color) {
    backgroundColor_ = color < 0 ? -1 : (color & 0xFFFFFF);
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::get_BGColor(BSTR* color) {
    if (!color) return E_POINTER;
    if (backgroundColor_ < 0) {
        *color = SysAllocString(L"");
        return S_OK;
    }
    wchar_t buffer[16];
    swprintf(buffer, 16, L"#%02X%02X%02X", GetRValue(backgroundColor_), GetGValue(backgroundColor_),
             GetBValue(backgroundColor_));
    *color = SysAllocString(buffer);
    return S_OK;
}

STDMETHODIMP MovieControl::put_BGColor(BSTR color) {
    std::wstring s = fromBstrWide(color);
    if (s.empty()) return put_BackgroundColor(-1);
    if (s[0] == L'#') s.erase(0, 1);
    if (s.size() != 6) return E_INVALIDARG;
    wchar_t* end = nullptr;
    unsigned long rgb = wcstoul(s.c_str(), &end, 16);
    if (*end) return E_INVALIDARG;
    return put_BackgroundColor(
        static_cast<long>(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF)));
}

STDMETHODIMP MovieControl::get_Loop(VARIANT_BOOL* loop) {
    if (!loop) return E_POINTER;
    *loop = vb(player_.loop);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Loop(VARIANT_BOOL loop) {
    player_.loop = loop != VARIANT_FALSE;
    dirty_ = true;
    return S_OK;
}

STDMETHODIMP MovieControl::get_Movie(BSTR* path) {
    if (!path) return E_POINTER;
    *path = wideBstr(movieUrl_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Movie(BSTR path) {
    movieUrl_ = fromBstrWide(path);
    dirty_ = true;
    loadMovie(movieUrl_);
    return S_OK;
}

STDMETHODIMP MovieControl::get_FrameNum(long* frame) {
    return CurrentFrame(frame);
}
STDMETHODIMP MovieControl::put_FrameNum(long frame) {
    return GotoFrame(frame);
}

STDMETHODIMP MovieControl::get_WMode(BSTR* mode) {
    if (!mode) return E_POINTER;
    *mode = wideBstr(wmode_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_WMode(BSTR mode) {
    wmode_ = fromBstrWide(mode);
    return S_OK;
}

STDMETHODIMP MovieControl::get_Menu(VARIANT_BOOL* menu) {
    if (!menu) return E_POINTER;
    *menu = vb(menu_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Menu(VARIANT_BOOL menu) {
    menu_ = menu != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP MovieControl::get_Base(BSTR* base) {
    if (!base) return E_POINTER;
    *base = wideBstr(base_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_Base(BSTR base) {
    base_ = fromBstrWide(base);
    return S_OK;
}

STDMETHODIMP MovieControl::get_DeviceFont(VARIANT_BOOL* deviceFont) {
    if (!deviceFont) return E_POINTER;
    *deviceFont = vb(deviceFont_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_DeviceFont(VARIANT_BOOL deviceFont) {
    deviceFont_ = deviceFont != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP MovieControl::get_EmbedMovie(VARIANT_BOOL* embed) {
    if (!embed) return E_POINTER;
    *embed = vb(embedMovie_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_EmbedMovie(VARIANT_BOOL embed) {
    embedMovie_ = embed != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP MovieControl::get_SWRemote(BSTR* remote) {
    if (!remote) return E_POINTER;
    *remote = wideBstr(swRemote_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_SWRemote(BSTR remote) {
    swRemote_ = fromBstrWide(remote);
    return S_OK;
}

STDMETHODIMP MovieControl::get_FlashVars(BSTR* vars) {
    if (!vars) return E_POINTER;
    *vars = wideBstr(flashVars_);
    return S_OK;
}

STDMETHODIMP MovieControl::put_FlashVars(BSTR vars) {
    flashVars_ = fromBstrWide(vars);
    return S_OK;
}

// The main timeline.

STDMETHODIMP MovieControl::SetZoomRect(long left, long top, long right, long bottom) {
    view_.setZoomRect({left, right, top, bottom});
    viewChanged();
    return S_OK;
}

STDMETHODIMP MovieControl::Zoom(int factor) {
    view_.zoom(factor);
    viewChanged();
    return S_OK;
}

STDMETHODIMP MovieControl::Pan(long x, long y, int mode) {
    RECT r{0, 0, 0, 0};
    if (window_) GetClientRect(window_, &r);
    view_.pan(x, y, mode, r.right, r.bottom);
    viewChanged();
    return S_OK;
}

STDMETHODIMP MovieControl::Play() {
    playing_ = true;
    player_.play();
    return S_OK;
}

STDMETHODIMP MovieControl::Stop() {
    playing_ = false;
    player_.stop();
    return S_OK;
}

STDMETHODIMP MovieControl::StopPlay() {
    return Stop();
}

STDMETHODIMP MovieControl::Back() {
    player_.previousFrame();
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::Forward() {
    player_.nextFrame();
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::Rewind() {
    player_.rewind();
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::GotoFrame(long frame) {
    if (frame < 0) return E_INVALIDARG;
    player_.gotoFrame(static_cast<int>(std::min<long>(frame, 65535)));
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::CurrentFrame(long* frame) {
    if (!frame) return E_POINTER;
    *frame = player_.currentFrame();
    return S_OK;
}

STDMETHODIMP MovieControl::IsPlaying(VARIANT_BOOL* playing) {
    return get_Playing(playing);
}

STDMETHODIMP MovieControl::PercentLoaded(long* percent) {
    if (!percent) return E_POINTER;
    *percent = player_.hasMovie() ? 100 : 0;
    return S_OK;
}

STDMETHODIMP MovieControl::FrameLoaded(long frame, VARIANT_BOOL* loaded) {
    if (!loaded) return E_POINTER;
    *loaded = vb(frame >= 0 && frame < player_.totalFrames());
    return S_OK;
}

STDMETHODIMP MovieControl::FlashVersion(long* version) {
    if (!version) return E_POINTER;
    *version = (QUILL_CONTROL_VERSION_MAJOR << 16) | QUILL_CONTROL_VERSION_MINOR;
    return S_OK;
}

STDMETHODIMP MovieControl::LoadMovie(int layer, BSTR url) {
    // One movie at a time: only the bottom layer can be loaded.
    if (layer != 0) return S_OK;
    return put_Movie(url);
}

// Clips named by a target path, and variables.

STDMETHODIMP MovieControl::TGotoFrame(BSTR target, long frame) {
    if (frame < 0) return E_INVALIDARG;
    if (!player_.gotoFrame(fromBstr(target, movieVersion()),
                           static_cast<int>(std::min<long>(frame, 65535)))) {
        return E_INVALIDARG;
    }
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::TGotoLabel(BSTR target, BSTR label) {
    if (!player_.gotoLabel(fromBstr(target, movieVersion()), fromBstr(label, movieVersion())))
        return E_INVALIDARG;
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::TCurrentFrame(BSTR target, long* frame) {
    if (!frame) return E_POINTER;
    int f = player_.currentFrame(fromBstr(target, movieVersion()));
    if (f < 0) return E_INVALIDARG;
    *frame = f;
    return S_OK;
}

STDMETHODIMP MovieControl::TCurrentLabel(BSTR target, BSTR* label) {
    if (!label) return E_POINTER;
    std::string t = fromBstr(target, movieVersion());
    if (!player_.findClip(t)) return E_INVALIDARG;
    *label = toBstr(player_.currentLabel(t), movieVersion());
    return S_OK;
}

STDMETHODIMP MovieControl::TPlay(BSTR target) {
    return player_.setPlaying(fromBstr(target, movieVersion()), true) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP MovieControl::TStopPlay(BSTR target) {
    return player_.setPlaying(fromBstr(target, movieVersion()), false) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP MovieControl::SetVariable(BSTR name, BSTR value) {
    AddRef();
    bool ok = player_.setVariable(fromBstr(name, movieVersion()), fromBstr(value, movieVersion()));
    invalidate();
    Release();
    return ok ? S_OK : E_FAIL;
}

STDMETHODIMP MovieControl::GetVariable(BSTR name, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    std::string text;
    // A variable that does not exist gives no value at all, so that containers can tell it
    // from an empty text.
    if (!player_.getVariable(fromBstr(name, movieVersion()), &text)) return E_FAIL;
    *value = toBstr(text, movieVersion());
    return S_OK;
}

STDMETHODIMP MovieControl::TSetProperty(BSTR target, int property, BSTR value) {
    ActionValue v = ActionValue::fromString(fromBstr(value, movieVersion()));
    if (!player_.setProperty(fromBstr(target, movieVersion()), property, v)) return E_INVALIDARG;
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::TGetProperty(BSTR target, int property, BSTR* value) {
    if (!value) return E_POINTER;
    ActionValue v;
    if (!player_.getProperty(fromBstr(target, movieVersion()), property, &v)) return E_INVALIDARG;
    *value = toBstr(toString(v, std::max(movieVersion(), 5)), movieVersion());
    return S_OK;
}

STDMETHODIMP MovieControl::TSetPropertyNum(BSTR target, int property, double value) {
    if (!player_.setProperty(fromBstr(target, movieVersion()), property,
                             ActionValue::fromNumber(value))) {
        return E_INVALIDARG;
    }
    invalidate();
    return S_OK;
}

STDMETHODIMP MovieControl::TGetPropertyNum(BSTR target, int property, double* value) {
    if (!value) return E_POINTER;
    ActionValue v;
    if (!player_.getProperty(fromBstr(target, movieVersion()), property, &v)) return E_INVALIDARG;
    *value = toNumber(v, 7);
    return S_OK;
}

STDMETHODIMP MovieControl::TCallFrame(BSTR target, int frame) {
    AddRef();
    bool ok = player_.callFrame(fromBstr(target, movieVersion()), frame);
    invalidate();
    Release();
    return ok ? S_OK : E_INVALIDARG;
}

STDMETHODIMP MovieControl::TCallLabel(BSTR target, BSTR label) {
    AddRef();
    bool ok = player_.callLabel(fromBstr(target, movieVersion()), fromBstr(label, movieVersion()));
    invalidate();
    Release();
    return ok ? S_OK : E_INVALIDARG;
}

}  // namespace quill::movie
