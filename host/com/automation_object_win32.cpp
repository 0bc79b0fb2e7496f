// The record behind an ActiveXObject and the sinks through which its object calls script
// handlers: events of the default source interface and property-change notifications. A sink
// outlives its record only detached (it then ignores calls); a handler runs with its object kept
// reachable, so a handler may drop the last script reference to the object that called it.
#include <atomic>
#include <string>

#include "host/com/automation_object.h"
#include "host/com/com_variant.h"

namespace quill::com {

// Deep enough for any sensible chain of events that fire events, shallow enough for the native
// stack (each level holds the interpreter, the object's call and the sink).
constexpr uint32_t kMaxEventDepth = 48;

class SinkBase {
  public:
    explicit SinkBase(AutomationObject* owner) : owner_(owner), thread_(GetCurrentThreadId()) {}
    virtual ~SinkBase() = default;
    void detach() { owner_ = nullptr; }
    virtual IUnknown* unknown() = 0;

  protected:
    // The object behind the sink, or null when it is gone or the call comes from a thread other
    // than the engine's (an object that ignores its apartment must not reach the engine).
    AutomationObject* owner() const { return GetCurrentThreadId() == thread_ ? owner_ : nullptr; }
    ULONG addRef() { return ++refs_; }
    ULONG release() {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    AutomationObject* owner_;

  private:
    DWORD thread_;
    std::atomic<ULONG> refs_{1};
};

namespace {

// Calls a script handler with the object as `this`. A failure in the handler goes to the trace
// output: the object that fired the event cannot do anything with it. Returns false when the
// handler did not complete; `answer` gets its result.
bool callHandler(AutomationObject& object, const ScriptValue& handler,
                 std::vector<ScriptValue>& argv, ScriptValue* answer) {
    ScriptEngine* engine = object.engine;
    ScriptValue keep[2] = {object.self(), handler};
    RootedValues rootedKeep(engine, keep, 2);
    RootedValues rootedArgs(engine, argv.data(), argv.size());
    if (!callFunctionWithThis(engine, keep[0], keep[1], uint32_t(argv.size()), argv.data())) {
        std::string text = engine->errorBuffer;
        warn(engine, text.c_str());
        return false;
    }
    *answer = engine->returnSlot;
    return true;
}

// Runs delivery work under a host-level trap (conversions may raise) with the event depth
// bounded; failures are reported like handler failures.
template <typename Work>
void deliver(AutomationObject& object, Work&& work) {
    ScriptEngine* engine = object.engine;
    ComSession& session = *object.session;
    if (session.eventDepth >= kMaxEventDepth) {
        warn(engine, "Runtime error: stack overflow");
        return;
    }
    ++session.eventDepth;
    std::shared_ptr<ComSession> keepSession = object.session;
    // Until the delivery is over, also after a handler dropped the object.
    ScriptValue self = object.self();
    RootedValues rooted(engine, &self, 1);
    int ok = guardHostCall(engine, work);
    --keepSession->eventDepth;
    if (!ok) {
        std::string text = engine->errorBuffer;
        warn(engine, text.c_str());
    }
}

class EventSink final : public SinkBase, public IDispatch {
  public:
    EventSink(AutomationObject* owner, const IID& iid) : SinkBase(owner), iid_(iid) {}
    IUnknown* unknown() override { return static_cast<IDispatch*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, iid_)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (result) VariantInit(result);
        // The handler may end this connection; the sink stays until the call is over.
        ComRef<IDispatch> keep = ComRef<IDispatch>::share(this);
        AutomationObject* object = owner();
        if (!object) return S_OK;
        ScriptValue handler = eventHandler(*object, id);
        if (handler.tag != kTagFunction) return S_OK;
        UINT count = params && params->rgvarg ? params->cArgs : 0;
        deliver(*object, [&] {
            ScriptEngine* engine = object->engine;
            NativeDepthGuard depth(engine);
            std::vector<ScriptValue> argv(count + 1, makeUndefined());
            argv[0] = makeInteger(count);
            RootedValues rooted(engine, argv.data(), argv.size());
            // Arguments arrive last first; by-reference ones come as boxes whose value goes back.
            for (UINT i = 0; i < count; ++i) {
                const VARIANT& arg = params->rgvarg[count - 1 - i];
                ScriptValue value = fromVariant(engine, arg);
                argv[i + 1] = (V_VT(&arg) & VT_BYREF) ? newBox(engine, value) : value;
            }
            ScriptValue answer = makeUndefined();
            if (!callHandler(*object, handler, argv, &answer)) return;
            RootedValues rootedAnswer(engine, &answer, 1);
            Conversion conversion(engine);
            for (UINT i = 0; i < count; ++i) {
                const VARIANT& arg = params->rgvarg[count - 1 - i];
                ScriptValue value;
                if ((V_VT(&arg) & VT_BYREF) && isBox(engine, argv[i + 1], &value)) {
                    storeByRef(conversion, value, arg);
                }
            }
            if (result && answer.tag != kTagUndefined) {
                VariantHolder converted;
                toVariant(conversion, answer, VT_VARIANT, converted.get());
                *result = converted.release();
            }
        });
        return S_OK;
    }

  private:
    IID iid_;
};

class NotifySink final : public SinkBase, public IPropertyNotifySink {
  public:
    explicit NotifySink(AutomationObject* owner) : SinkBase(owner) {}
    IUnknown* unknown() override { return static_cast<IPropertyNotifySink*>(this); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyNotifySink)) {
            *out = static_cast<IPropertyNotifySink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    HRESULT STDMETHODCALLTYPE OnChanged(DISPID id) override { return notify(id, false); }
    HRESULT STDMETHODCALLTYPE OnRequestEdit(DISPID id) override { return notify(id, true); }

  private:
    // The handler gets the property's name (null when unknown, or for DISPID_UNKNOWN: "many
    // properties") and its DISPID. Before a change, a handler answering false refuses it.
    HRESULT notify(DISPID id, bool before) {
        ComRef<IPropertyNotifySink> keep = ComRef<IPropertyNotifySink>::share(this);
        AutomationObject* object = owner();
        if (!object || !object->notifyEnabled) return S_OK;
        ScriptValue handler = before ? object->onPropertyWillChange : object->onPropertyChanged;
        if (handler.tag != kTagFunction) return S_OK;
        bool refused = false;
        deliver(*object, [&] {
            ScriptEngine* engine = object->engine;
            NativeDepthGuard depth(engine);
            std::u16string name = id == DISPID_UNKNOWN ? u"" : object->types().nameOf(id);
            std::vector<ScriptValue> argv = {makeInteger(2), makeNull(), makeInteger(id)};
            if (!name.empty()) argv[1] = newString(engine, name);
            ScriptValue answer = makeUndefined();
            if (!callHandler(*object, handler, argv, &answer)) return;
            refused = before && answer.tag == kTagBoolean && answer.i == 0;
        });
        return refused ? S_FALSE : S_OK;
    }
};

HRESULT advise(AutomationObject& object, const IID& iid, SinkBase* sink, Connection* out) {
    auto container = queryInterface<IConnectionPointContainer>(object.dispatch.get(),
                                                               IID_IConnectionPointContainer);
    HRESULT hr = E_NOINTERFACE;
    ComRef<IConnectionPoint> point;
    DWORD cookie = 0;
    if (container) hr = container->FindConnectionPoint(iid, point.put());
    if (SUCCEEDED(hr) && point) hr = point->Advise(sink->unknown(), &cookie);
    if (FAILED(hr) || !point) {
        sink->detach();
        sink->unknown()->Release();
        return FAILED(hr) ? hr : E_FAIL;
    }
    out->sink = sink;
    out->point = point;
    out->cookie = cookie;
    return S_OK;
}

}  // namespace

AutomationObject::AutomationObject(ScriptEngine* engine, std::shared_ptr<ComSession> session,
                                   ComRef<IDispatch> dispatch)
    : engine(engine), session(std::move(session)), dispatch(std::move(dispatch)) {}

AutomationObject::~AutomationObject() {
    for (Connection* c : {&eventConnection, &notifyConnection}) {
        if (!c->sink) continue;
        c->sink->detach();
        session->deferUnadvise(c->point.detach(), c->cookie);
        session->deferRelease(c->sink->unknown());
        c->sink = nullptr;
    }
    session->deferRelease(dispatch.detach());
}

TypeDescription& AutomationObject::types() {
    if (!typeDescription) typeDescription = std::make_unique<TypeDescription>(dispatch.get());
    return *typeDescription;
}

void AutomationObject::mark(ScriptEngine* e) const {
    for (const EventHandler& h : handlers) markValue(e, h.function);
    markValue(e, onPropertyWillChange);
    markValue(e, onPropertyChanged);
}

bool loadEvents(AutomationObject& object) {
    if (!object.eventsLooked) {
        object.eventsLooked = true;
        object.hasEvents = findDefaultSource(
            object.dispatch.get(), object.hasClsid ? &object.clsid : nullptr, &object.events);
    }
    return object.hasEvents;
}

HRESULT connectEvents(AutomationObject& object) {
    if (object.eventConnection.connected()) return S_OK;
    if (!loadEvents(object)) return CONNECT_E_NOCONNECTION;
    return advise(object, object.events.iid, new EventSink(&object, object.events.iid),
                  &object.eventConnection);
}

HRESULT connectNotify(AutomationObject& object) {
    if (object.notifyConnection.connected()) return S_OK;
    return advise(object, IID_IPropertyNotifySink, new NotifySink(&object),
                  &object.notifyConnection);
}

void disconnect(Connection& connection) {
    if (!connection.sink) return;
    SinkBase* sink = connection.sink;
    connection.sink = nullptr;
    sink->detach();
    ComRef<IConnectionPoint> point = std::move(connection.point);
    point->Unadvise(connection.cookie);
    sink->unknown()->Release();
}

ScriptValue eventHandler(const AutomationObject& object, MEMBERID id) {
    for (const EventHandler& h : object.handlers) {
        if (h.id == id) return h.function;
    }
    return makeUndefined();
}

}  // namespace quill::com
