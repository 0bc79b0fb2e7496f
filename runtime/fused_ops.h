// Fused instructions of the word form. After a function is translated and verified, the first
// word of some frequent instruction sequences is replaced by one of these internal opcodes (they
// never occur in module bytes). Every other word of the sequence stays as it was, so a jump into
// the middle of a sequence, the disassembly of the bytes and the line table are unaffected; a
// fused instruction that meets anything but its common case does what the replaced first
// instruction did and lets the untouched rest run.
#pragma once

#include <cstdint>

namespace quill {

enum FusedOpcode : uint8_t {
    // LOAD_LOCAL a, PUSH_1, ADD, STORE_LOCAL a: an integer local goes up by one.
    OP_FUSED_LOCAL_INC = 0xF0,
    // LOAD_LOCAL a, PUSH_1, SUB, STORE_LOCAL a: an integer local goes down by one.
    OP_FUSED_LOCAL_DEC = 0xF1,
    // LOAD_LOCAL x, LOAD_LOCAL i, GET_ELEMENT: a present element of a local array.
    OP_FUSED_GET_LOCALS = 0xF2,
    // LOAD_LOCAL x, LOAD_LOCAL i, SET_ELEMENT: a store within a local array's dense part.
    OP_FUSED_SET_LOCALS = 0xF3,
    // LOAD_LOCAL a, LOAD_LOCAL b or LOAD_ARG b, LT/LE/GT/GE, JUMP_IF_ZERO: a loop test on
    // integers.
    OP_FUSED_LT_BRANCH = 0xF4,
    OP_FUSED_LE_BRANCH = 0xF5,
    OP_FUSED_GT_BRANCH = 0xF6,
    OP_FUSED_GE_BRANCH = 0xF7,
};

// Replaces the first word of every fusable sequence of a translated function's words.
void fuseWords(uint32_t* words, uint32_t count);

}  // namespace quill
