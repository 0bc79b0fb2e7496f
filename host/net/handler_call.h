// Calling a network object's event handler from native code: the arguments stay reachable during
// the call, and a failure inside the handler goes to the engine's trace output instead of
// reaching the code that raised the event (a window procedure, a blocking transfer), which then
// goes on.
#pragma once

#include <initializer_list>

#include "runtime/script_engine.h"

namespace quill::net {

// Calls `handler` (when it is a script function) with `thisValue` (null: undefined) and the
// arguments. True with the handler's result in *result when it ran to the end.
bool callHandler(ScriptEngine* engine, const ScriptValue* thisValue, const ScriptValue& handler,
                 std::initializer_list<ScriptValue> args, ScriptValue* result = nullptr);

}  // namespace quill::net
