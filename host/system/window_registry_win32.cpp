// The records behind Window objects (see window_record.h) and the subclass procedure that turns
// a window's messages into script events: size, close, the pointer entering, hovering and
// leaving, and the right-button press of the context menu.
#include "host/system/window_record.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "builtins/builtin_support.h"
#include "host/net/handler_call.h"
#include "host/system/window_object.h"
#include "runtime/class_binding.h"

namespace quill {

namespace window {

namespace {

constexpr UINT_PTR kHoverTimer = 100;
constexpr UINT kHoverMs = 500;
// A handler that makes its own window raise the same event again (an onSize that resizes) nests
// on the native stack; past this depth the inner events reach only the window itself.
constexpr uint32_t kMaxEventDepth = 8;

LRESULT CALLBACK subclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data);

bool anyPointerHandler(const Record& r) {
    return r.handlers[kOnEnter].tag == kTagFunction || r.handlers[kOnLeave].tag == kTagFunction ||
           r.handlers[kOnHover].tag == kTagFunction;
}

bool cursorInside(HWND hwnd, POINT point) {
    RECT rect;
    return GetWindowRect(hwnd, &rect) && PtInRect(&rect, point);
}

// The pointer left: the capture and the timer go, then onLeave runs. Only after an entry: a
// capture the window took itself (a button held down) is not ours to release.
void pointerLeft(Record& r) {
    if (!r.entered) return;
    if (GetCapture() == r.hwnd) ReleaseCapture();
    KillTimer(r.hwnd, kHoverTimer);
    r.entered = false;
    r.call(kOnLeave, {});
}

void pointerMoved(Record& r, LPARAM lParam) {
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(r.hwnd, &point);
    if (!cursorInside(r.hwnd, point)) {
        pointerLeft(r);
        return;
    }
    // The capture keeps the moves coming once the pointer is outside, so the leaving is seen.
    if (GetCapture() != r.hwnd) SetCapture(r.hwnd);
    if (r.entered) return;
    r.entered = true;
    SetTimer(r.hwnd, kHoverTimer, kHoverMs, nullptr);
    r.call(kOnEnter, {});
}

void hoverTick(Record& r) {
    POINT point;
    if (!GetCursorPos(&point) || !cursorInside(r.hwnd, point)) {
        pointerLeft(r);
    } else {
        r.call(kOnHover, {});
    }
}

// Answers true when the message is swallowed (the result in *answer).
bool closeRequested(Record& r) {
    ScriptEngine* engine = r.engine();
    ScriptValue answer = makeUndefined();
    // A handler that fails gives no answer: the close goes on rather than leave a window that a
    // faulty script keeps open for good.
    if (r.call(kOnQueryClose, {}, &answer) && engine && !toBoolean(engine, answer)) return true;
    if (r.destroyed) return true;
    r.call(kOnClose, {});
    if (r.destroyed) return true;
    if (r.registry && r.hwnd == r.registry->mainWindow) {
        r.unhook();
        PostMessageW(r.hwnd, kMainWindowCloseMessage, 0, 0);
        return true;
    }
    return false;
}

LRESULT CALLBACK subclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR data) {
    // Held for the whole message: a handler may destroy the window or let go of its object.
    std::shared_ptr<Record> r = reinterpret_cast<Record*>(data)->shared_from_this();
    switch (message) {
        case WM_SIZE:
            r->call(kOnSize, {makeInteger(int64_t(wParam)), makeInteger(LOWORD(lParam)),
                              makeInteger(HIWORD(lParam))});
            break;
        case WM_CLOSE:
            if (closeRequested(*r)) return 0;
            break;
        case WM_MOUSEMOVE:
            if (anyPointerHandler(*r)) pointerMoved(*r, lParam);
            break;
        case WM_TIMER:
            // Only while our timer runs: the window may have a timer 100 of its own.
            if (wParam == kHoverTimer && r->entered) hoverTick(*r);
            break;
        case WM_RBUTTONDOWN:
            if (r->handlers[kContextMenu].tag == kTagFunction) {
                r->call(kContextMenu, {});
                return 0;
            }
            break;
        case WM_NCDESTROY: {
            LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
            r->retire();
            return result;
        }
        default:
            break;
    }
    // The window went away inside a handler: there is no one left to pass the message to.
    if (r->destroyed || !IsWindow(hwnd)) return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

// The engine's table is kept in a value of a class of its own among the engine's roots: its mark
// hook keeps the objects and handlers of live windows, and its finalizer, which runs when the
// engine is destroyed, ends event delivery before the engine is gone.
void markRegistry(ScriptEngine* engine, ClassDescriptor*, void* data) {
    for (auto& [hwnd, record] : static_cast<Registry*>(data)->records) {
        markValue(engine, record->self);
        for (const ScriptValue& handler : record->handlers) markValue(engine, handler);
    }
}

void finalizeRegistry(ScriptEngine* engine, ClassDescriptor*, void* data) {
    auto* registry = static_cast<Registry*>(data);
    if (engine->builtinState[kStateWindows] == registry) {
        engine->builtinState[kStateWindows] = nullptr;
    }
    delete registry;
}

}  // namespace

ScriptEngine* Record::engine() const {
    return registry ? registry->engine : nullptr;
}

bool Record::alive() const {
    if (destroyed || !registry || !IsWindow(hwnd)) return false;
    if (subclassed) return true;
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(hwnd, &process);
    return thread == threadId && process == processId;
}

bool Record::call(Slot slot, std::initializer_list<ScriptValue> args, ScriptValue* result) {
    ScriptEngine* engine = this->engine();
    if (!engine || destroyed || handlers[slot].tag != kTagFunction) return false;
    if (engine->heap.sweeping || eventDepth >= kMaxEventDepth) return false;
    std::shared_ptr<Record> keep = shared_from_this();
    ScriptValue handler = handlers[slot];
    ScriptValue thisValue = self;
    ++eventDepth;
    bool ran = net::callHandler(engine, &thisValue, handler, args, result);
    --eventDepth;
    return ran;
}

void Record::unhook() {
    if (!subclassed) return;
    if (entered) {
        if (GetCapture() == hwnd) ReleaseCapture();
        KillTimer(hwnd, kHoverTimer);
        entered = false;
    }
    RemoveWindowSubclass(hwnd, subclassProcedure, reinterpret_cast<UINT_PTR>(registry));
    subclassed = false;
}

void Record::retire() {
    unhook();
    destroyed = true;
    handlers.fill(makeUndefined());
    if (registry) registry->forget(this);
}

Registry::~Registry() {
    // Records may outlive the table in script objects that are finalized after it.
    auto all = std::move(records);
    for (auto& [hwnd, record] : all) {
        record->unhook();
        record->destroyed = true;
        record->registry = nullptr;
    }
}

void Registry::forget(Record* record) {
    auto found = records.find(record->hwnd);
    if (found != records.end() && found->second.get() == record) records.erase(found);
    record->registry = nullptr;
}

// Windows of other threads are not watched, so their records are dropped here once the window is
// gone; the table doubles before the next look, so the walk costs little per window.
void Registry::prune() {
    std::vector<std::shared_ptr<Record>> gone;
    for (auto& [hwnd, record] : records) {
        if (!record->alive()) gone.push_back(record);
    }
    for (auto& record : gone) record->retire();
    pruneAt = std::max<size_t>(64, records.size() * 2);
}

std::shared_ptr<Record> Registry::recordFor(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    auto found = records.find(hwnd);
    if (found != records.end()) {
        if (found->second->alive()) return found->second;
        // The handle now names another window.
        std::shared_ptr<Record> stale = found->second;
        stale->retire();
    }
    auto record = std::make_shared<Record>();
    record->hwnd = hwnd;
    record->threadId = GetWindowThreadProcessId(hwnd, &record->processId);
    record->registry = this;
    record->self = bind::newInstance(engine, ClassId::kWindow, std::make_unique<Ref>(Ref{record}));
    if (record->self.tag != kTagHost) return nullptr;
    // Events run scripts, which only the engine's own thread may do; other windows are wrapped
    // without them.
    if (record->threadId == GetCurrentThreadId()) {
        record->subclassed =
            SetWindowSubclass(hwnd, subclassProcedure, reinterpret_cast<UINT_PTR>(this),
                              reinterpret_cast<DWORD_PTR>(record.get()));
    }
    records[hwnd] = record;
    if (records.size() >= pruneAt) prune();
    return record;
}

Registry* registryOf(ScriptEngine* engine) {
    return engine ? static_cast<Registry*>(engine->builtinState[kStateWindows]) : nullptr;
}

void createRegistry(ScriptEngine* engine) {
    if (registryOf(engine)) return;
    ClassDescriptor* cls = newClass(engine);
    cls->name = "Window registry";
    cls->markInstance = markRegistry;
    cls->finalizeInstance = finalizeRegistry;
    auto registry = std::make_unique<Registry>();
    registry->engine = engine;
    ScriptValue holder;
    newHostValue(engine, &holder, cls, registry.get());
    engine->builtinRoots.push_back(holder);
    engine->builtinState[kStateWindows] = registry.release();
}

Record* recordOf(const ScriptValue& value) {
    if (!isHostInstanceOf(value, ClassId::kWindow) || !value.host->data) return nullptr;
    return static_cast<Ref*>(value.host->data)->record.get();
}

}  // namespace window

ScriptValue windowValue(ScriptEngine* engine, HWND hwnd) {
    window::Registry* registry = window::registryOf(engine);
    std::shared_ptr<window::Record> record = registry ? registry->recordFor(hwnd) : nullptr;
    return record ? record->self : makeNull();
}

HWND windowHandle(const ScriptValue& value) {
    window::Record* record = window::recordOf(value);
    return record && record->alive() ? record->hwnd : nullptr;
}

void setMainWindow(ScriptEngine* engine, HWND mainWindow) {
    if (window::Registry* registry = window::registryOf(engine)) registry->mainWindow = mainWindow;
}

HWND mainWindow(ScriptEngine* engine) {
    window::Registry* registry = window::registryOf(engine);
    return registry && registry->mainWindow && IsWindow(registry->mainWindow) ? registry->mainWindow
                                                                              : nullptr;
}

bool setContextMenuHandler(ScriptEngine* engine, HWND hwnd, const ScriptValue& handler) {
    window::Registry* registry = window::registryOf(engine);
    std::shared_ptr<window::Record> record = registry ? registry->recordFor(hwnd) : nullptr;
    if (!record || !record->subclassed) return false;
    record->handlers[window::kContextMenu] =
        handler.tag == kTagFunction ? handler : makeUndefined();
    return true;
}

ScriptValue contextMenuHandler(ScriptEngine* engine, HWND hwnd) {
    window::Registry* registry = window::registryOf(engine);
    if (!registry) return makeUndefined();
    auto found = registry->records.find(hwnd);
    if (found == registry->records.end() || !found->second->alive()) return makeUndefined();
    return found->second->handlers[window::kContextMenu];
}

size_t trackedWindowCount(ScriptEngine* engine) {
    window::Registry* registry = window::registryOf(engine);
    return registry ? registry->records.size() : 0;
}

}  // namespace quill
