// Call-frame layout shared by the interpreter, the collector and the code-address lookups.
// A frame is four stack slots under the callee's `this`: head (caller's head), pad, with list,
// return address. The pad slot packs the provided slot count and the padding added by
// ADJUST_ARGS into its tag word and keeps the running function in its payload, so the code of
// every active frame stays reachable however its global is reassigned.
#pragma once

#include "runtime/script_engine.h"

namespace quill {

constexpr uint32_t kMaxProvidedSlots = (1u << 20) - 1;
constexpr uint32_t kMaxStackSlots = 1000000;

inline ScriptValue makeFramePad(uint32_t provided, uint32_t padding, CompiledFunction* function) {
    ScriptValue v;
    v.tag = kTagFramePad | (padding << 4) | (provided << 12);
    v.p = function;
    return v;
}
inline bool isFramePad(const ScriptValue& v) { return (v.tag & 0xF) == kTagFramePad; }
inline uint32_t padProvided(const ScriptValue& v) { return v.tag >> 12; }
inline uint32_t padExtra(const ScriptValue& v) { return (v.tag >> 4) & 0xFF; }
inline CompiledFunction* padFunction(const ScriptValue& v) {
    return static_cast<CompiledFunction*>(v.p);
}

inline ScriptValue makeFrameMark(void* payload) {
    ScriptValue v;
    v.tag = kTagFrameMark;
    v.p = payload;
    return v;
}

// The stack slots a function needs beyond its frame (computed by the load-time verifier).
uint32_t functionStackNeed(const CompiledFunction* function);

}  // namespace quill
