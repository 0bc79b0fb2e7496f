// The automation classes ActiveXObject and Enumerator (Windows only): their registration, and
// what other host code (the projector's createControl) uses to hand an interface to scripts.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include "runtime/script_engine.h"

namespace quill {

void registerActiveXObject(ScriptEngine* engine);
void registerEnumerator(ScriptEngine* engine);

// A new ActiveXObject over `dispatch` (it takes a reference of its own); null for a null pointer,
// undefined when the engine has no ActiveXObject class.
ScriptValue newActiveXObject(ScriptEngine* engine, IDispatch* dispatch);

// The IDispatch an ActiveXObject holds (no reference added), or null for any other value.
IDispatch* activeXDispatch(const ScriptValue& value);

}  // namespace quill
