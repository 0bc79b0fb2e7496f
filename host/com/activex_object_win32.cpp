// The ActiveXObject class: automation objects created by program identifier, class identifier
// or moniker display name, whose members are resolved by name through IDispatch at run time.
// Its hooks are written by hand over the class's descriptor, since the member names come from
// each object; the six built-in names are answered first.
#include "host/com/activex_object.h"

#include <cstring>
#include <memory>
#include <string>

#include "builtins/builtin_reference.h"
#include "host/com/automation_object.h"
#include "host/com/com_invoke.h"
#include "host/com/com_variant.h"
#include "platform/ansi_codepage.h"
#include "runtime/class_binding.h"

namespace quill {

using namespace com;

namespace {

const char* const kObjectText = "[object ActiveXObject]";

// The class data: the engine's COM session and the built-in member names.
struct ActiveXClass {
    std::shared_ptr<ComSession> session;
    uint32_t getTypeInfoCount = 0;
    uint32_t onPropertyWillChange = 0;
    uint32_t onPropertyChanged = 0;
    uint32_t enablePropertyNotify = 0;
    uint32_t registerServer = 0;
    uint32_t unregisterServer = 0;

    bool isMethodName(uint32_t atom) const {
        return atom == getTypeInfoCount || atom == enablePropertyNotify || atom == registerServer ||
               atom == unregisterServer;
    }
};

ActiveXClass& classOf(ClassDescriptor* cls) {
    return *static_cast<ActiveXClass*>(cls->classData);
}

// ---------------------------------------------------------------------------------------------
// Creation.

struct Created {
    ComRef<IDispatch> dispatch;
    bool hasClsid = false;
    CLSID clsid{};
};

// The name as a program identifier, a class identifier, or a moniker display name.
HRESULT createByName(const std::u16string& name, Created* out) {
    const wchar_t* text = wide(name);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(text, &clsid);
    HRESULT progIdResult = hr;
    if (FAILED(hr)) hr = CLSIDFromString(const_cast<LPOLESTR>(text), &clsid);
    if (SUCCEEDED(hr)) {
        out->hasClsid = true;
        out->clsid = clsid;
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IDispatch, out->dispatch.putVoid());
    }
    ComRef<IBindCtx> context;
    hr = CreateBindCtx(0, context.put());
    if (FAILED(hr)) return hr;
    ComRef<IMoniker> moniker;
    ULONG eaten = 0;
    hr = MkParseDisplayName(context.get(), text, &eaten, moniker.put());
    if (SUCCEEDED(hr)) {
        hr = moniker->BindToObject(context.get(), nullptr, IID_IDispatch, out->dispatch.putVoid());
    }
    // A name without a path or a moniker prefix was meant as a program identifier: its failure
    // says more than the file moniker's that such a name also parses into.
    if (FAILED(hr) && name.find_first_of(u"\\/:") == std::u16string::npos) return progIdResult;
    return hr;
}

ScriptValue wrap(ScriptEngine* engine, Created created) {
    ClassDescriptor* cls = classById(engine, ClassId::kActiveXObject);
    if (!cls || !cls->classData) return makeUndefined();
    auto object = std::make_unique<AutomationObject>(engine, classOf(cls).session,
                                                     std::move(created.dispatch));
    object->hasClsid = created.hasClsid;
    object->clsid = created.clsid;
    AutomationObject* record = object.get();
    ScriptValue value = bind::newInstance(engine, ClassId::kActiveXObject, std::move(object));
    if (value.tag == kTagHost) record->host = value.host;
    return value;
}

void construct(ScriptEngine* engine, ClassDescriptor* cls, ScriptValue* argv, ScriptValue* result) {
    *result = makeNull();
    bind::guarded(engine, [&] {
        classOf(cls).session->drain();
        bind::Args args(argv);
        if (!args.has(1) || args[1].tag != kTagString) return;
        Created created;
        HRESULT hr = createByName(std::u16string(stringView(args[1])), &created);
        if (FAILED(hr) || !created.dispatch) {
            setErrorText(engine, hresultText(FAILED(hr) ? hr : E_NOINTERFACE));
            return;
        }
        *result = wrap(engine, std::move(created));
    });
}

// ---------------------------------------------------------------------------------------------
// Members.

// `register` and `unregister`: the library's own registration export, true for S_OK.
bool callRegistration(const ScriptValue& path, const char* entry) {
    if (path.tag != kTagString) return false;
    std::u16string file(stringView(path));
    if (file.empty() || file.find(u'\0') != std::u16string::npos) return false;
    HMODULE library = LoadLibraryExW(wide(file), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) return false;
    using Export = HRESULT(STDAPICALLTYPE*)();
    auto function =
        reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(library, entry)));
    HRESULT hr = function ? function() : E_FAIL;
    FreeLibrary(library);
    return hr == S_OK;
}

// The DISPID of a member name, asked once per object and name.
bool resolveName(AutomationObject& object, uint32_t atom, DISPID* id) {
    auto known = object.ids.find(atom);
    if (known != object.ids.end()) {
        *id = known->second;
        return true;
    }
    const char* name = atomName(object.engine, atom);
    if (std::strcmp(name, "???") == 0) return false;
    size_t length = std::strlen(name);
    std::u16string text(length, u'\0');
    text.resize(platform::ansiToWide(name, length, text.data()));
    LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(text.data())};
    if (FAILED(object.dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, id))) return false;
    object.ids.emplace(atom, *id);
    return true;
}

std::u16string nameText(ScriptEngine* engine, uint32_t atom) {
    const char* name = atomName(engine, atom);
    size_t length = std::strlen(name);
    std::u16string text(length, u'\0');
    text.resize(platform::ansiToWide(name, length, text.data()));
    return text;
}

// The member id of an event of the default source interface, by the member's name.
bool eventNamed(AutomationObject& object, uint32_t atom, MEMBERID* id) {
    if (!loadEvents(object)) return false;
    return findEvent(object.events.info.get(), nameText(object.engine, atom), id);
}

bool setPropertyNotify(AutomationObject& object, bool enabled) {
    object.notifyEnabled = enabled;
    if (!enabled) {
        disconnect(object.notifyConnection);
        return false;
    }
    return SUCCEEDED(connectNotify(object));
}

void attachHandler(AutomationObject& object, MEMBERID id, const ScriptValue& function) {
    HRESULT hr = connectEvents(object);
    if (FAILED(hr)) raiseComFailure(object.engine, hr, nullptr);
    for (EventHandler& h : object.handlers) {
        if (h.id == id) {
            h.function = function;
            return;
        }
    }
    object.handlers.push_back({id, function});
}

void detachHandler(AutomationObject& object, MEMBERID id) {
    std::erase_if(object.handlers, [&](const EventHandler& h) { return h.id == id; });
    if (object.handlers.empty()) disconnect(object.eventConnection);
}

// An indexed read the object has no `Item` for goes to its default member; an object without
// one declines.
int readDefaultMember(AutomationObject& object, bind::Args args, ScriptValue* result) {
    MemberInfo member = object.types().forCall(DISPID_VALUE);
    VariantHolder answer;
    EXCEPINFO exception{};
    ComRef<IDispatch> dispatch = object.dispatch;
    HRESULT hr = invokeWith(object.engine, dispatch.get(), DISPID_VALUE, member, args.raw() + 1,
                            args.size(), answer.get(), &exception);
    if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
        clearException(&exception);
        return 0;
    }
    if (FAILED(hr)) raiseComFailure(object.engine, hr, &exception);
    *result = fromVariant(object.engine, *answer);
    return 1;
}

int methodHook(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom,
               ScriptValue* result, ScriptValue* argv) {
    ActiveXClass& names = classOf(cls);
    int handled = 0;
    bind::guarded(engine, [&] {
        names.session->drain();
        bind::Args args(argv);
        if (atom == engine->atomToString) {
            *result = newStringFromAscii(engine, kObjectText);
            handled = 1;
            return;
        }
        if (atom == names.registerServer || atom == names.unregisterServer) {
            bool unregister = atom == names.unregisterServer;
            *result = makeBoolean(callRegistration(
                args[1], unregister ? "DllUnregisterServer" : "DllRegisterServer"));
            handled = 1;
            return;
        }
        if (!data) return;
        auto& object = *static_cast<AutomationObject*>(data);
        // The object stays while its own calls run scripts (event handlers).
        ScriptValue self = object.self();
        RootedValues rooted(engine, &self, 1);
        NativeDepthGuard depth(engine);
        if (atom == names.getTypeInfoCount) {
            UINT count = 0;
            if (FAILED(object.dispatch->GetTypeInfoCount(&count))) count = 0;
            *result = makeInteger(count);
            handled = 1;
            return;
        }
        if (atom == names.enablePropertyNotify) {
            // Without an argument it switches notifications on.
            bool enable = !args.has(1) || toBoolean(engine, args[1]) != 0;
            *result = makeBoolean(setPropertyNotify(object, enable));
            handled = 1;
            return;
        }
        if (atom == names.onPropertyWillChange || atom == names.onPropertyChanged) return;
        DISPID id;
        if (!resolveName(object, atom, &id)) {
            if (atom == engine->atomItem) handled = readDefaultMember(object, args, result);
            return;
        }
        MemberInfo member = object.types().forCall(id);
        ComRef<IDispatch> dispatch = object.dispatch;
        *result = invokeMember(engine, dispatch.get(), id, member, args.raw() + 1, args.size());
        handled = 1;
    });
    return handled;
}

int propertyHook(ScriptEngine* engine, ClassDescriptor* cls, void* data, uint32_t atom, int mode,
                 ScriptValue* value) {
    if (!data) return 0;
    ActiveXClass& names = classOf(cls);
    auto& object = *static_cast<AutomationObject*>(data);
    int handled = 0;
    bind::guarded(engine, [&] {
        names.session->drain();
        ScriptValue keep[2] = {object.self(), *value};
        RootedValues rooted(engine, keep, 2);
        NativeDepthGuard depth(engine);
        bool willChange = atom == names.onPropertyWillChange;
        if (willChange || atom == names.onPropertyChanged) {
            ScriptValue& slot = willChange ? object.onPropertyWillChange : object.onPropertyChanged;
            if (mode == 0) {
                *value = slot;
            } else if (value->tag == kTagFunction) {
                // Handler properties take script functions only; anything else keeps the old one.
                slot = *value;
                if (object.notifyEnabled) connectNotify(object);
            }
            handled = 1;
            return;
        }
        if (atom == names.enablePropertyNotify) {
            if (mode == 0) {
                *value = makeBoolean(object.notifyEnabled && object.notifyConnection.connected());
            } else {
                setPropertyNotify(object, toBoolean(engine, *value) != 0);
            }
            handled = 1;
            return;
        }
        if (names.isMethodName(atom) || atom == engine->atomToString) return;
        ComRef<IDispatch> dispatch = object.dispatch;
        MEMBERID event;
        if (mode == 1 && value->tag == kTagFunction) {
            if (eventNamed(object, atom, &event)) {
                attachHandler(object, event, *value);
                handled = 1;
            }
            return;
        }
        DISPID id;
        if (resolveName(object, atom, &id)) {
            if (mode == 0) {
                MemberInfo member = object.types().forGet(id);
                *value = invokeMember(engine, dispatch.get(), id, member, nullptr, 0);
            } else {
                MemberInfo member = object.types().forPut(id, activeXDispatch(keep[1]) != nullptr);
                invokeMember(engine, dispatch.get(), id, member, &keep[1], 1);
            }
            handled = 1;
            return;
        }
        if (!eventNamed(object, atom, &event)) return;
        if (mode == 0) {
            *value = eventHandler(object, event);
            handled = 1;
        } else if (value->tag == kTagUndefined || value->tag == kTagNull) {
            detachHandler(object, event);
            handled = 1;
        }
    });
    return handled;
}

// Calling the class constructs; calling an instance calls its default member.
void callHook(ScriptEngine* engine, ClassDescriptor* cls, void* data, ScriptValue* result,
              ScriptValue* argv) {
    if (!data) {
        construct(engine, cls, argv, result);
        return;
    }
    *result = makeUndefined();
    bind::guarded(engine, [&] {
        auto& object = *static_cast<AutomationObject*>(data);
        ScriptValue self = object.self();
        RootedValues rooted(engine, &self, 1);
        NativeDepthGuard depth(engine);
        bind::Args args(argv);
        MemberInfo member = object.types().forCall(DISPID_VALUE);
        ComRef<IDispatch> dispatch = object.dispatch;
        *result =
            invokeMember(engine, dispatch.get(), DISPID_VALUE, member, args.raw() + 1, args.size());
    });
}

void finalizeHook(ScriptEngine*, ClassDescriptor*, void* data) {
    delete static_cast<AutomationObject*>(data);
}

void markHook(ScriptEngine* engine, ClassDescriptor*, void* data) {
    static_cast<AutomationObject*>(data)->mark(engine);
}

void destroyClassData(void* data) {
    delete static_cast<ActiveXClass*>(data);
}

}  // namespace

namespace com {

std::shared_ptr<ComSession> sessionOf(ScriptEngine* engine) {
    ClassDescriptor* cls = classById(engine, ClassId::kActiveXObject);
    if (!cls || !cls->classData) return nullptr;
    return classOf(cls).session;
}

}  // namespace com

ScriptValue newActiveXObject(ScriptEngine* engine, IDispatch* dispatch) {
    if (!dispatch) return makeNull();
    Created created;
    created.dispatch = ComRef<IDispatch>::share(dispatch);
    return wrap(engine, std::move(created));
}

IDispatch* activeXDispatch(const ScriptValue& value) {
    if (!isHostInstanceOf(value, ClassId::kActiveXObject) || !value.host->data) return nullptr;
    return static_cast<AutomationObject*>(value.host->data)->dispatch.get();
}

// The reference: one row a member (see builtin_reference.h).
constexpr bind::Member kActiveXObjectReference[] = {
    bind::objectText("[object ActiveXObject]"),
    bind::describedClassMethod(
        "register", "path",
        "Calls the registration entry of the COM library (DLL) at path; true when it succeeded."),
    bind::describedClassMethod(
        "unregister", "path",
        "Calls the unregistration entry of the COM library at path; true when it succeeded."),
    bind::describedMethod("GetTypeInfoCount", "",
                          "1 when the object describes its members with type information, else 0."),
    bind::describedMethod(
        "EnablePropertyNotify", "[enable]",
        "Switches property change events on (no argument or true) or off; true when the object "
        "offers them. Also a property: reading it tells whether they are on."),
    bind::describedHandler("OnPropertyWillChange",
                           "A function called before a property of the object changes (once "
                           "EnablePropertyNotify is on)."),
    bind::describedHandler("OnPropertyChanged",
                           "A function called after a property of the object changed (once "
                           "EnablePropertyNotify is on)."),
};

void registerActiveXObject(ScriptEngine* engine) {
    ClassDescriptor* cls = registerClass(engine, "ActiveXObject", ClassId::kActiveXObject);
    cls->synopsis = "progIdOrClsid";
    cls->summary =
        "A COM automation object made from a program id (\"Scripting.Dictionary\") or a class id; "
        "its own methods and properties are used by name, a function assigned to one of its "
        "events handles it, and the members below are added. Null when no object could be "
        "made; COM failures are runtime errors.";
    auto* names = new ActiveXClass();
    cls->classData = names;
    cls->classDataDestructor = destroyClassData;
    // Registering initialises COM on the engine's thread (for as long as the session lives).
    names->session = std::make_shared<ComSession>();
    names->getTypeInfoCount = intern(engine, "GetTypeInfoCount");
    names->onPropertyWillChange = intern(engine, "OnPropertyWillChange");
    names->onPropertyChanged = intern(engine, "OnPropertyChanged");
    names->enablePropertyNotify = intern(engine, "EnablePropertyNotify");
    names->registerServer = intern(engine, "register");
    names->unregisterServer = intern(engine, "unregister");
    cls->call = callHook;
    cls->method = methodHook;
    cls->property = propertyHook;
    cls->construct = construct;
    cls->finalizeInstance = finalizeHook;
    cls->markInstance = markHook;
    // Element reads on its instances call `Item` (the interpreter's side of the bargain).
    engine->activeXClass = cls;
    engine->atomItem = intern(engine, "Item");
}

bind::MemberTable activeXObjectReference() {
    return kActiveXObjectReference;
}

}  // namespace quill
