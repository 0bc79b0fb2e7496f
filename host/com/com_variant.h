// Conversions between script values and VARIANTs for automation calls: by the type a member
// declares, or by the value's own kind where nothing is declared; arrays to SAFEARRAYs and back,
// dates on the script time scale, byte arrays as StringStreams. Everything that comes from an
// object is bounded by the engine's heap limit.
#pragma once

#include "host/com/com_support.h"

namespace quill::com {

// One call's conversions: the engine, and the memory charged to its heap limit for the arrays
// built for the call (given back when the call ends).
class Conversion {
  public:
    explicit Conversion(ScriptEngine* engine) : engine_(engine) {}
    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    ScriptEngine* engine() const { return engine_; }
    // Counts `bytes` of a SAFEARRAY against the heap limit; raises "Out of memory" beyond it.
    void charge(size_t bytes);

  private:
    ScriptEngine* engine_;
    size_t charged_ = 0;
};

// Converts `value` for a parameter declared as `declared` (VT_VARIANT: nothing declared; VT_ARRAY
// allowed, VT_BYREF not). `out` must be empty; after a raised error it may hold a partial value
// for the caller to clear. May run scripts (toString of objects).
void toVariant(Conversion& conversion, const ScriptValue& value, VARTYPE declared, VARIANT* out);

// The script value of a VARIANT, which stays the caller's. Raises "Out of memory" when the value
// does not fit under the heap limit.
ScriptValue fromVariant(ScriptEngine* engine, const VARIANT& value);

// Stores a script value where a by-reference VARIANT points, converted to the pointed-to type
// (freeing what was there).
void storeByRef(Conversion& conversion, const ScriptValue& value, const VARIANT& reference);

// A plain object with a `value` property stands for a variable in by-reference positions.
bool isBox(ScriptEngine* engine, const ScriptValue& value, ScriptValue* inner);
void setBoxValue(ScriptEngine* engine, const ScriptValue& box, const ScriptValue& value);
// A new box holding `value`.
ScriptValue newBox(ScriptEngine* engine, const ScriptValue& value);

// The time value of 1899-12-30 00:00 on this engine's time scale (local midnight).
double oleEpoch(ScriptEngine* engine);

}  // namespace quill::com
