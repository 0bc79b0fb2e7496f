// Load-time verification of a function's word code: no path may read or write below its frame's
// stack floor, reach a local that does not exist, or grow the stack without bound.
#pragma once

#include <cstdint>

namespace quill {

// Returns false when the code is unsafe; otherwise sets *maxStack to the most stack slots any
// path uses beyond the frame. Jump operands must already be word deltas to instruction starts.
bool verifyCode(const uint32_t* code, uint32_t words, uint32_t* maxStack);

// What one instruction needs on the stack and how it changes the depth (calls count the pushed
// result; the callee's own frame is not counted).
struct StackEffect {
    int32_t need;  // slots that must be present
    int32_t delta;  // change in depth
};
StackEffect stackEffectOf(uint8_t opcode, int32_t operand);

}  // namespace quill
