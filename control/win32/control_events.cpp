// Events: the connection point for the control's event interface, its enumerators, and the
// firing of FSCommand (150), OnReadyStateChange and OnProgress to every connected sink. Sinks are
// called on the user-interface thread, inside whatever the movie was doing.
#include <windows.h>

#include <new>
#include <vector>

#include "movie_control.h"

namespace quill::movie {

class EventConnectionPoint : public IConnectionPoint {
  public:
    explicit EventConnectionPoint(IConnectionPointContainer* owner) : owner_(owner) {}
    virtual ~EventConnectionPoint() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            *out = static_cast<IConnectionPoint*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The point's lifetime follows the control's: references to it keep the control alive.
    STDMETHODIMP_(ULONG) AddRef() override { return owner_ ? owner_->AddRef() : 1; }
    STDMETHODIMP_(ULONG) Release() override { return owner_ ? owner_->Release() : 1; }

    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID__IQuillMovieEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        *container = owner_;
        owner_->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(DIID__IQuillMovieEvents,
                                        reinterpret_cast<void**>(&dispatch))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        sinks_.push_back({dispatch, ++lastCookie_});
        *cookie = lastCookie_;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie == cookie) {
                IDispatch* sink = it->sink;
                sinks_.erase(it);
                sink->Release();
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** out) override;

    // Calls every sink; a sink may disconnect (or connect others) while it runs.
    void fire(DISPID id, VARIANT* args, UINT count) {
        std::vector<Sink> snapshot = sinks_;
        for (Sink& s : snapshot) s.sink->AddRef();
        for (Sink& s : snapshot) {
            DISPPARAMS params{args, nullptr, count, 0};
            VARIANT result;
            VariantInit(&result);
            s.sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                           nullptr, nullptr);
            VariantClear(&result);
        }
        for (Sink& s : snapshot) s.sink->Release();
    }

    // The control is going away: sinks are let go and the point no longer refers to it.
    void detach() {
        for (Sink& s : sinks_) s.sink->Release();
        sinks_.clear();
        owner_ = nullptr;
    }

    struct Sink {
        IDispatch* sink;
        DWORD cookie;
    };
    std::vector<Sink> sinks_;

  private:
    IConnectionPointContainer* owner_;
    DWORD lastCookie_ = 0;
};

namespace {

// One enumerator template for connection points and connections: a copy of the items, each
// AddRef'ed, handed out in order.
template <class Interface, class Item>
class Enumerator : public Interface {
  public:
    explicit Enumerator(std::vector<Item> items) : items_(std::move(items)) {
        for (Item& i : items_) addRef(i);
        moduleLock();
    }
    virtual ~Enumerator() {
        for (Item& i : items_) release(i);
        moduleUnlock();
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return static_cast<ULONG>(n);
    }
    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out) return E_POINTER;
        ULONG n = 0;
        while (n < count && next_ < items_.size()) {
            out[n] = items_[next_++];
            addRef(out[n]);
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        next_ = std::min(items_.size(), next_ + count);
        return next_ < items_.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** out) override {
        if (!out) return E_POINTER;
        auto* copy = new (std::nothrow) Enumerator(items_);
        if (!copy) return E_OUTOFMEMORY;
        copy->next_ = next_;
        *out = copy;
        return S_OK;
    }

  private:
    static void addRef(IConnectionPoint* p) { p->AddRef(); }
    static void release(IConnectionPoint* p) { p->Release(); }
    static void addRef(CONNECTDATA& c) { c.pUnk->AddRef(); }
    static void release(CONNECTDATA& c) { c.pUnk->Release(); }

    LONG refs_ = 1;
    std::vector<Item> items_;
    size_t next_ = 0;
};

}  // namespace

STDMETHODIMP EventConnectionPoint::EnumConnections(IEnumConnections** out) {
    if (!out) return E_POINTER;
    std::vector<CONNECTDATA> items;
    for (const Sink& s : sinks_) items.push_back({s.sink, s.cookie});
    *out = new (std::nothrow) Enumerator<IEnumConnections, CONNECTDATA>(items);
    return *out ? S_OK : E_OUTOFMEMORY;
}

EventConnectionPoint* createEvents(MovieControl* owner) {
    return new EventConnectionPoint(static_cast<IConnectionPointContainer*>(owner));
}

void releaseEvents(EventConnectionPoint* point) {
    if (!point) return;
    point->detach();
    delete point;
}

STDMETHODIMP MovieControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (!points) return E_POINTER;
    std::vector<IConnectionPoint*> items{events_};
    *points = new (std::nothrow) Enumerator<IEnumConnectionPoints, IConnectionPoint*>(items);
    return *points ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP MovieControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    // Containers that bind events by dispatch identifier alone ask for plain IDispatch.
    if (riid != DIID__IQuillMovieEvents && riid != IID_IDispatch) return CONNECT_E_NOCONNECTION;
    *point = events_;
    events_->AddRef();
    return S_OK;
}

void MovieControl::fireEvent(DISPID id, VARIANT* args, UINT count) {
    if (freezeEvents_ > 0 || !events_ || events_->sinks_.empty()) return;
    AddRef();
    events_->fire(id, args, count);
    Release();
}

void MovieControl::fsCommand(const std::string& command, const std::string& args) {
    // Arguments go in reverse order: the last one first.
    VARIANT v[2];
    v[0].vt = VT_BSTR;
    v[0].bstrVal = toBstr(args, movieVersion());
    v[1].vt = VT_BSTR;
    v[1].bstrVal = toBstr(command, movieVersion());
    fireEvent(150, v, 2);
    VariantClear(&v[0]);
    VariantClear(&v[1]);
}

void MovieControl::setReadyState(long state) {
    readyState_ = state;
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = state;
    fireEvent(DISPID_READYSTATECHANGE, &v, 1);
    if (state == 4 && player_.hasMovie()) {
        v.lVal = 100;
        fireEvent(0x7A6, &v, 1);
    }
}

void MovieControl::trace(const std::string& text) {
    std::string line = text + "\n";
    int n = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, wide.data(), n);
    OutputDebugStringW(wide.c_str());
}

}  // namespace quill::movie
