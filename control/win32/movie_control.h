// The movie control object: one class that is the dual interface containers script, the OLE
// embedding interfaces (object, in-place object and active object, control, view, persistence,
// class information, connection points) and the host of a `Player`. Its window is created when
// a container activates it in place; without a window it still plays and draws on request.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "control/player.h"
#include "control/renderer.h"
#include "control/stage_view.h"
#include "control_version.h"
#include "movie_control_h.h"

namespace quill::movie {

class GdiTextPainter;
class EventConnectionPoint;

// Module-wide counts for DllCanUnloadNow.
void moduleLock();
void moduleUnlock();
HINSTANCE moduleInstance();
// The type library inside this DLL, loaded once.
ITypeLib* controlTypeLib();

// Strings between COM and movie text: UTF-8 from version 6 on, the ANSI code page before.
std::string fromBstr(BSTR text, int version);
BSTR toBstr(const std::string& text, int version);

class MovieControl : public IQuillMovie,
                     public IOleObject,
                     public IOleInPlaceObject,
                     public IOleInPlaceActiveObject,
                     public IOleControl,
                     public IViewObjectEx,
                     public IPersistStreamInit,
                     public IPersistPropertyBag,
                     public IPersistStorage,
                     public IProvideClassInfo2,
                     public IConnectionPointContainer,
                     public PlayerHost {
  public:
    MovieControl();
    virtual ~MovieControl();
    MovieControl(const MovieControl&) = delete;
    MovieControl& operator=(const MovieControl&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch, through the type library
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // IQuillMovie (control_dispatch.cpp)
    STDMETHODIMP get_ReadyState(long* state) override;
    STDMETHODIMP get_TotalFrames(long* frames) override;
    STDMETHODIMP get_Playing(VARIANT_BOOL* playing) override;
    STDMETHODIMP put_Playing(VARIANT_BOOL playing) override;
    STDMETHODIMP get_Quality(int* quality) override;
    STDMETHODIMP put_Quality(int quality) override;
    STDMETHODIMP get_ScaleMode(int* mode) override;
    STDMETHODIMP put_ScaleMode(int mode) override;
    STDMETHODIMP get_AlignMode(int* mode) override;
    STDMETHODIMP put_AlignMode(int mode) override;
    STDMETHODIMP get_BackgroundColor(long* color) override;
    STDMETHODIMP put_BackgroundColor(long color) override;
    STDMETHODIMP get_Loop(VARIANT_BOOL* loop) override;
    STDMETHODIMP put_Loop(VARIANT_BOOL loop) override;
    STDMETHODIMP get_Movie(BSTR* path) override;
    STDMETHODIMP put_Movie(BSTR path) override;
    STDMETHODIMP get_FrameNum(long* frame) override;
    STDMETHODIMP put_FrameNum(long frame) override;
    STDMETHODIMP SetZoomRect(long left, long top, long right, long bottom) override;
    STDMETHODIMP Zoom(int factor) override;
    STDMETHODIMP Pan(long x, long y, int mode) override;
    STDMETHODIMP Play() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Back() override;
    STDMETHODIMP Forward() override;
    STDMETHODIMP Rewind() override;
    STDMETHODIMP StopPlay() override;
    STDMETHODIMP GotoFrame(long frame) override;
    STDMETHODIMP CurrentFrame(long* frame) override;
    STDMETHODIMP IsPlaying(VARIANT_BOOL* playing) override;
    STDMETHODIMP PercentLoaded(long* percent) override;
    STDMETHODIMP FrameLoaded(long frame, VARIANT_BOOL* loaded) override;
    STDMETHODIMP FlashVersion(long* version) override;
    STDMETHODIMP get_WMode(BSTR* mode) override;
    STDMETHODIMP put_WMode(BSTR mode) override;
    STDMETHODIMP get_SAlign(BSTR* align) override;
    STDMETHODIMP put_SAlign(BSTR align) override;
    STDMETHODIMP get_Menu(VARIANT_BOOL* menu) override;
    STDMETHODIMP put_Menu(VARIANT_BOOL menu) override;
    STDMETHODIMP get_Base(BSTR* base) override;
    STDMETHODIMP put_Base(BSTR base) override;
    STDMETHODIMP get_Scale(BSTR* scale) override;
    STDMETHODIMP put_Scale(BSTR scale) override;
    STDMETHODIMP get_DeviceFont(VARIANT_BOOL* deviceFont) override;
    STDMETHODIMP put_DeviceFont(VARIANT_BOOL deviceFont) override;
    STDMETHODIMP get_EmbedMovie(VARIANT_BOOL* embed) override;
    STDMETHODIMP put_EmbedMovie(VARIANT_BOOL embed) override;
    STDMETHODIMP get_BGColor(BSTR* color) override;
    STDMETHODIMP put_BGColor(BSTR color) override;
    STDMETHODIMP get_Quality2(BSTR* quality) override;
    STDMETHODIMP put_Quality2(BSTR quality) override;
    STDMETHODIMP LoadMovie(int layer, BSTR url) override;
    STDMETHODIMP TGotoFrame(BSTR target, long frame) override;
    STDMETHODIMP TGotoLabel(BSTR target, BSTR label) override;
    STDMETHODIMP TCurrentFrame(BSTR target, long* frame) override;
    STDMETHODIMP TCurrentLabel(BSTR target, BSTR* label) override;
    STDMETHODIMP TPlay(BSTR target) override;
    STDMETHODIMP TStopPlay(BSTR target) override;
    STDMETHODIMP SetVariable(BSTR name, BSTR value) override;
    STDMETHODIMP GetVariable(BSTR name, BSTR* value) override;
    STDMETHODIMP TSetProperty(BSTR target, int property, BSTR value) override;
    STDMETHODIMP TGetProperty(BSTR target, int property, BSTR* value) override;
    STDMETHODIMP TCallFrame(BSTR target, int frame) override;
    STDMETHODIMP TCallLabel(BSTR target, BSTR label) override;
    STDMETHODIMP TSetPropertyNum(BSTR target, int property, double value) override;
    STDMETHODIMP TGetPropertyNum(BSTR target, int property, double* value) override;
    STDMETHODIMP get_SWRemote(BSTR* remote) override;
    STDMETHODIMP put_SWRemote(BSTR remote) override;
    STDMETHODIMP get_FlashVars(BSTR* vars) override;
    STDMETHODIMP put_FlashVars(BSTR vars) override;

    // IOleObject (control_ole.cpp)
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT rect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IViewObject, IViewObject2, IViewObjectEx
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target,
                      HDC targetDc, HDC dc, LPCRECTL bounds, LPCRECTL windowBounds,
                      BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target,
                             HDC targetDc, LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;
    STDMETHODIMP GetRect(DWORD aspect, LPRECTL rect) override;
    STDMETHODIMP GetViewStatus(DWORD* status) override;
    STDMETHODIMP QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT location, LONG closeHint,
                               DWORD* hit) override;
    STDMETHODIMP QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT location, LONG closeHint,
                              DWORD* hit) override;
    STDMETHODIMP GetNaturalExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, HDC targetDc,
                                  DVEXTENTINFO* info, LPSIZEL size) override;

    // IPersist, IPersistStreamInit, IPersistPropertyBag, IPersistStorage (control_persist.cpp)
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer (control_events.cpp)
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // PlayerHost: what the movie's scripts ask of the container.
    void fsCommand(const std::string& command, const std::string& args) override;
    void trace(const std::string& text) override;

    // The window (control_window.cpp).
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    // Loading and state shared by the pieces (control_window.cpp).
    bool loadMovie(const std::wstring& url);
    std::wstring resolveUrl(const std::wstring& url) const;
    void setReadyState(long state);
    void invalidate();
    void restartTimer();
    void renderTo(HDC dc, const RECT& bounds);
    Transform viewTransform(int width, int height) const;
    bool createWindow(HWND parent, const RECT& rect);
    void destroyWindow();
    void onTimer();
    void showContextMenu(int x, int y);
    void runMenuCommand(int command);
    void pointerEvent(UINT message, int x, int y);
    RenderOptions renderOptions() const;
    void fireEvent(DISPID id, VARIANT* args, UINT count);
    void viewChanged();
    int movieVersion() const { return player_.version(); }

    LONG refs_ = 1;
    Player player_;
    StageView view_;
    Renderer renderer_;
    std::unique_ptr<GdiTextPainter> painter_;
    EventConnectionPoint* events_ = nullptr;

    // Properties.
    std::wstring movieUrl_;
    std::wstring base_;
    std::wstring flashVars_;
    std::wstring wmode_ = L"Window";
    std::wstring swRemote_;
    long readyState_ = 1;  // 1: no movie; 0: loading; 4: a movie is there
    bool playing_ = true;
    bool menu_ = true;
    bool deviceFont_ = false;
    bool embedMovie_ = false;
    int quality_ = 1;  // 0 low, 1 high, 2 auto low, 3 auto high
    std::wstring quality2_ = L"High";
    long backgroundColor_ = -1;  // a COLORREF, or -1 for the movie's own colour
    bool dirty_ = false;

    // Embedding.
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* inPlaceSite_ = nullptr;
    IOleAdviseHolder* oleAdvise_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    DWORD viewSinkAspects_ = 0, viewSinkFlags_ = 0;
    SIZEL extent_{14552, 10583};  // HIMETRIC: 550 x 400 pixels at 96 dpi
    HWND window_ = nullptr;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    int freezeEvents_ = 0;
    UINT_PTR timer_ = 0;
    const Movie* timerMovie_ = nullptr;  // the movie whose rate the timer runs at
    uint64_t drawnChanges_ = ~0ull;
    bool capture_ = false;

    // The drawing kept between paints.
    HDC memoryDc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    void* bits_ = nullptr;
    int bitmapWidth_ = 0, bitmapHeight_ = 0;
    bool bitmapValid_ = false;
};

}  // namespace quill::movie
