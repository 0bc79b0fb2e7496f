// The fusion pass over translated words (see fused_ops.h).
#include "runtime/fused_ops.h"

#include <cstddef>
#include <vector>

#include "runtime/opcodes.h"

namespace quill {

namespace {

// Words taken by the instruction starting at `word`: the opcode and its operand, if any.
uint32_t instructionWords(uint32_t word) {
    uint8_t opcode = word & 0xFF;
    if (!isOpcode(opcode)) return 1;
    return operandBytes(opcodeInfo(opcode).operand) ? 2 : 1;
}

uint8_t fusedBranch(uint8_t compare) {
    switch (compare) {
        case OP_LT:
            return OP_FUSED_LT_BRANCH;
        case OP_LE:
            return OP_FUSED_LE_BRANCH;
        case OP_GT:
            return OP_FUSED_GT_BRANCH;
        case OP_GE:
            return OP_FUSED_GE_BRANCH;
        default:
            return 0;
    }
}

}  // namespace

void fuseWords(uint32_t* words, uint32_t count) {
    // The instruction starts, read before any head is replaced.
    std::vector<uint32_t> starts;
    for (uint32_t w = 0; w < count; w += instructionWords(words[w])) starts.push_back(w);
    std::vector<uint8_t> ops(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) ops[k] = words[starts[k]] & 0xFF;
    auto operand = [&](std::size_t k) { return words[starts[k] + 1]; };

    for (std::size_t k = 0; k < starts.size(); ++k) {
        if (ops[k] != OP_LOAD_LOCAL) continue;
        std::size_t left = starts.size() - k;
        uint8_t fused = 0;
        if (left >= 4 && ops[k + 1] == OP_PUSH_1 &&
            (ops[k + 2] == OP_ADD || ops[k + 2] == OP_SUB) && ops[k + 3] == OP_STORE_LOCAL &&
            operand(k + 3) == operand(k)) {
            fused = ops[k + 2] == OP_ADD ? OP_FUSED_LOCAL_INC : OP_FUSED_LOCAL_DEC;
        } else if (left >= 3 && ops[k + 1] == OP_LOAD_LOCAL && ops[k + 2] == OP_GET_ELEMENT) {
            fused = OP_FUSED_GET_LOCALS;
        } else if (left >= 3 && ops[k + 1] == OP_LOAD_LOCAL && ops[k + 2] == OP_SET_ELEMENT) {
            fused = OP_FUSED_SET_LOCALS;
        } else if (left >= 4 && (ops[k + 1] == OP_LOAD_LOCAL || ops[k + 1] == OP_LOAD_ARG) &&
                   fusedBranch(ops[k + 2]) && ops[k + 3] == OP_JUMP_IF_ZERO) {
            fused = fusedBranch(ops[k + 2]);
        }
        if (fused) words[starts[k]] = (words[starts[k]] & ~0xFFu) | fused;
    }
}

}  // namespace quill
