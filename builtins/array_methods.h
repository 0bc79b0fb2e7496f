// Array operations shared between the Array class's sources.
#pragma once

#include "runtime/script_engine.h"

namespace quill {

// The elements' text joined by the separator (a comma without one); holes add nothing, and an
// array met again inside its own join adds nothing.
ScriptValue joinArray(ScriptEngine* engine, const ScriptValue& array, const ScriptValue* separator);

// Sorts the present elements into indices 0..n-1 (holes move to the end); with a function or
// host value as comparator its result's sign decides, otherwise undefined sorts last and the
// rest by their text.
void sortArray(ScriptEngine* engine, const ScriptValue& array, const ScriptValue& comparator);

}  // namespace quill
