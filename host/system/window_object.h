// The Window host class: the script object that wraps any window handle, one per window for as
// long as the window lives. Windows of the engine's own thread carry script events through a
// subclass procedure; the projector reaches the same objects through the functions below.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include "runtime/script_engine.h"

namespace quill {

void registerWindow(ScriptEngine* engine);

// The Window for a handle: the same script object every time while the window lives, null when
// the handle is not a window (or the engine has no Window class).
ScriptValue windowValue(ScriptEngine* engine, HWND hwnd);
// The handle of a Window value; null for other values and for windows that are gone.
HWND windowHandle(const ScriptValue& value);

// The message a main window receives after its close handlers ran (the subclass is gone by then
// and the WM_CLOSE itself is swallowed), so that the host's own close procedure runs last.
constexpr UINT kMainWindowCloseMessage = 0x8064;
// The host's main window for this engine: `create` makes its children there, and closing it
// ends as described above. Without one (the quill tool) `create` gives null.
void setMainWindow(ScriptEngine* engine, HWND mainWindow);
// The host's main window as set above while it is a window; null otherwise.
HWND mainWindow(ScriptEngine* engine);

// The handler a right-button press on the window calls (with the window's object as `this`)
// instead of letting the window see the press: the movie's context menu. A value that is not a
// script function clears it. False when the window cannot carry events (gone, or owned by
// another thread).
bool setContextMenuHandler(ScriptEngine* engine, HWND hwnd, const ScriptValue& handler);
// The stored handler, or undefined.
ScriptValue contextMenuHandler(ScriptEngine* engine, HWND hwnd);

// How many windows the engine keeps objects for (for tests and diagnostics).
size_t trackedWindowCount(ScriptEngine* engine);

}  // namespace quill

#endif
