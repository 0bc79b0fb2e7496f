// What the Window objects of one engine share: a record per window handle (the script object,
// the handlers, the pointer state) and the engine's table of them, which keeps the records of
// live windows and their handlers reachable and takes every subclass off when the engine goes.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <unordered_map>

#include "runtime/script_engine.h"

namespace quill::window {

// Handler slots, in the order of the subclass procedure's table; the last is the context menu's.
enum Slot : uint8_t {
    kOnClose,
    kOnQueryClose,
    kOnEnter,
    kOnLeave,
    kOnHover,
    kOnSize,
    kContextMenu
};
constexpr size_t kSlotCount = 7;

struct Registry;

struct Record : std::enable_shared_from_this<Record> {
    HWND hwnd = nullptr;
    // Who owned the handle when the record was made: a window we cannot watch (another
    // thread's) is only taken for the same one while these still match.
    DWORD threadId = 0;
    DWORD processId = 0;
    Registry* registry = nullptr;  // null once the engine is gone
    bool subclassed = false;
    bool destroyed = false;
    bool entered = false;     // the pointer is inside (onEnter ran, onLeave not yet)
    uint32_t eventDepth = 0;  // handlers of this window running, nested
    ScriptValue self = makeUndefined();
    std::array<ScriptValue, kSlotCount> handlers;

    Record() { handlers.fill(makeUndefined()); }

    ScriptEngine* engine() const;
    // Whether the handle still names the window this record was made for.
    bool alive() const;
    // Calls a handler with the window's object as `this`; false when none ran to the end (none
    // set, the window or engine gone, nested too deep, or the handler failed: its message goes to
    // the trace output). Nothing is called while the collector sweeps.
    bool call(Slot slot, std::initializer_list<ScriptValue> args, ScriptValue* result = nullptr);
    // Ends event delivery: timer and capture released, subclass removed.
    void unhook();
    // The window is gone: nothing answers any more and the handlers are let go.
    void retire();
};

// What a Window script object holds.
struct Ref {
    std::shared_ptr<Record> record;
};

struct Registry {
    ScriptEngine* engine = nullptr;
    HWND mainWindow = nullptr;
    std::unordered_map<HWND, std::shared_ptr<Record>> records;
    size_t pruneAt = 64;

    ~Registry();
    // The record for a live window (made on first need); null when the handle is no window or
    // the engine has no Window class.
    std::shared_ptr<Record> recordFor(HWND hwnd);
    void forget(Record* record);

  private:
    void prune();
};

// The engine's registry (made with the Window class), or null.
Registry* registryOf(ScriptEngine* engine);
void createRegistry(ScriptEngine* engine);

// The record behind a Window value, or null.
Record* recordOf(const ScriptValue& value);

}  // namespace quill::window

#endif
