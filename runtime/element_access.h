// Element access (`a[k]` reads, writes and deletes) and for-in stepping on every kind of value,
// as the interpreter's element opcodes perform them.
#pragma once

#include "runtime/script_engine.h"

namespace quill {

ScriptValue readElement(ScriptEngine* engine, const ScriptValue& container, const ScriptValue& key);
void writeElement(ScriptEngine* engine, const ScriptValue& container, const ScriptValue& key,
                  const ScriptValue& value);
void deleteElement(ScriptEngine* engine, const ScriptValue& container, const ScriptValue& key);
// The item at `position` for for-in: code units of strings, elements of arrays, property names
// of objects. Returns false at the end (or for values that cannot be enumerated).
bool enumerateNext(ScriptEngine* engine, const ScriptValue& container, const ScriptValue& position,
                   ScriptValue* item);

}  // namespace quill
