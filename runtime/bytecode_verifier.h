// Load-time verification of a function's word code: no path may read or write below its frame's
// stack floor, reach a local that does not exist, or grow the stack without bound.
#pragma once

#include <cstdint>

namespace quill {

// Returns false when the code is unsafe; otherwise sets *maxStack to the most stack slots any
// path uses beyond the frame. Jump operands must already be word deltas to instruction starts.
bool verifyCode(const uint32_t* code, uint32_t words, uint32_t* maxStack);

}  // namespace quill
