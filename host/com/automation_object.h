// The native record behind an ActiveXObject: the object's IDispatch, what its type information
// said so far, and the script handlers attached to its events and property notifications with
// the connections that deliver them.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "host/com/com_type_info.h"

namespace quill::com {

class SinkBase;

// One advised connection: our sink (one reference), the object's connection point and cookie.
struct Connection {
    SinkBase* sink = nullptr;
    ComRef<IConnectionPoint> point;
    DWORD cookie = 0;
    bool connected() const { return sink != nullptr; }
};

struct EventHandler {
    MEMBERID id;
    ScriptValue function;
};

struct AutomationObject {
    AutomationObject(ScriptEngine* engine, std::shared_ptr<ComSession> session,
                     ComRef<IDispatch> dispatch);
    // Detaches the sinks at once; the connections and interfaces go through the session.
    ~AutomationObject();
    AutomationObject(const AutomationObject&) = delete;
    AutomationObject& operator=(const AutomationObject&) = delete;

    ScriptValue self() const { return makeHost(host); }
    TypeDescription& types();
    // Marks the handlers.
    void mark(ScriptEngine* engine) const;

    ScriptEngine* engine;
    std::shared_ptr<ComSession> session;
    HostInstance* host = nullptr;  // the script object, set once it exists
    ComRef<IDispatch> dispatch;
    bool hasClsid = false;  // made from a class identifier: where to look for its events
    CLSID clsid{};
    std::unique_ptr<TypeDescription> typeDescription;
    std::unordered_map<uint32_t, DISPID> ids;  // member atom -> DISPID, as resolved so far

    // Events of the default source interface.
    bool eventsLooked = false;
    bool hasEvents = false;
    EventInterface events;
    std::vector<EventHandler> handlers;
    Connection eventConnection;

    // Property notifications (IPropertyNotifySink).
    ScriptValue onPropertyWillChange = makeUndefined();
    ScriptValue onPropertyChanged = makeUndefined();
    bool notifyEnabled = true;
    Connection notifyConnection;
};

// The default event interface, looked up once.
bool loadEvents(AutomationObject& object);
// Connects the event sink (once); false with the HRESULT when the object refuses.
HRESULT connectEvents(AutomationObject& object);
// Connects the property-notification sink (once).
HRESULT connectNotify(AutomationObject& object);
// Ends a connection now (outside the collector's sweep).
void disconnect(Connection& connection);
// The handler attached to an event, or undefined.
ScriptValue eventHandler(const AutomationObject& object, MEMBERID id);

}  // namespace quill::com
