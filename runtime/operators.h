// The script operators with the dialect's number rules: 64-bit integers beside doubles, NaN as a
// tag of its own. The interpreter inlines the integer fast paths and calls these otherwise.
#pragma once

#include "runtime/script_engine.h"

namespace quill {

// ADD on any operands. Sets *concatenated when the result is a new string.
ScriptValue opAdd(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b,
                  bool* concatenated);
ScriptValue opSub(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
ScriptValue opMul(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
ScriptValue opDiv(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
ScriptValue opMod(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
ScriptValue opNegate(ScriptEngine* engine, const ScriptValue& a);

enum class BitOp { And, Or, Xor, Shl, Shr, Ushr };
ScriptValue opBitwise(ScriptEngine* engine, BitOp op, const ScriptValue& a, const ScriptValue& b);

enum class CompareOp { Lt, Gt, Le, Ge };
// A boolean, or undefined when a NaN takes part.
ScriptValue opCompare(ScriptEngine* engine, CompareOp op, const ScriptValue& a,
                      const ScriptValue& b);

bool looseEquals(ScriptEngine* engine, const ScriptValue& a, const ScriptValue& b);
bool strictEquals(const ScriptValue& a, const ScriptValue& b);

// The static string `typeof` gives.
ScriptValue typeOf(ScriptEngine* engine, const ScriptValue& value);

}  // namespace quill
