// Stack verification of translated code. Each instruction gets the range of stack depths (slots
// above the frame) it can run at; every opcode's requirement is checked against the smallest
// depth of that range. Paths may legitimately join at different depths (a `finally` entered with
// or without a pending exception), so ranges are merged rather than required to agree.
#include "runtime/bytecode_verifier.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "runtime/opcodes.h"

namespace quill {

namespace {

constexpr int32_t kMaxDepth = 100000;
constexpr int kMaxWidening = 32;

struct Range {
    int32_t lo = 0;
    int32_t hi = 0;
    bool seen = false;
    uint8_t changes = 0;
};

struct Effect {
    int32_t need;
    int32_t delta;
    bool ok = true;
};

Effect effectOf(uint8_t op, int32_t operand, int32_t lo) {
    switch (op) {
        case OP_CALL_NAME:
        case OP_CALL:
        case OP_CALL_METHOD:
        case OP_NEW:
            return {2, 1};
        case OP_GET_NAME:
        case OP_LOAD_GLOBAL:
        case OP_LOAD_ARG:
        case OP_PUSH_INT:
        case OP_PUSH_3:
        case OP_PUSH_2:
        case OP_PUSH_1:
        case OP_PUSH_0:
        case OP_PUSH_UNDEFINED:
        case OP_PUSH_FALSE:
        case OP_PUSH_TRUE:
        case OP_PUSH_NULL:
        case OP_PUSH_CONST:
            return {0, 1};
        case OP_DUP:
            return {1, 1};
        case OP_SET_NAME:
        case OP_JUMP_IF_NONZERO:
        case OP_JUMP_IF_ZERO:
        case OP_JUMP_IF_TRUE:
        case OP_JUMP_IF_FALSE:
        case OP_PUSH_WITH:
        case OP_ADJUST_ARGS:
        case OP_STORE_ARG:
        case OP_STORE_GLOBAL:
        case OP_POP:
            return {1, -1};
        case OP_DELETE_NAME:
        case OP_ADD_TWO:
        case OP_INCREMENT:
        case OP_GET_ARG_AT:
        case OP_DELETE_PROPERTY:
        case OP_TYPEOF:
        case OP_NOT:
        case OP_NEGATE:
        case OP_GET_PROPERTY:
        case OP_THROW:
        case OP_RETURN:
            return {1, 0};
        case OP_POP_TRAPS:
        case OP_TRY:
        case OP_POP_WITH:
        case OP_JUMP:
        case OP_NOP:
        case OP_END:
        case OP_HALT:
            return {0, 0};
        case OP_RESERVE_LOCALS:
            return {0, operand, operand >= 0};
        case OP_DELETE_ELEMENT:
        case OP_GET_ELEMENT:
        case OP_USHR:
        case OP_SHR:
        case OP_SHL:
        case OP_BIT_XOR:
        case OP_BIT_OR:
        case OP_BIT_AND:
        case OP_MOD:
        case OP_DIV:
        case OP_MUL:
        case OP_ADD:
        case OP_SUB:
        case OP_STRICT_NE:
        case OP_STRICT_EQ:
        case OP_GE:
        case OP_LE:
        case OP_GT:
        case OP_LT:
        case OP_NE:
        case OP_EQ:
            return {2, -1};
        case OP_SWAP:
        case OP_ENUM_NEXT:
            return {2, 0};
        case OP_SET_PROPERTY:
            return {2, -2};
        case OP_SET_ELEMENT:
            return {3, -3};
        case OP_LOAD_LOCAL:
            // The local must exist on every path: below the smallest depth.
            return {0, 1, operand >= 0 && operand < lo};
        case OP_STORE_LOCAL:
            return {1, -1, operand >= 0 && operand < lo - 1};
        case OP_MOVE:
            if (operand > 1) return {operand, 0};
            if (operand < -1) return {-operand, 0};
            return {0, 0};
        case OP_COLLAPSE:
            return {operand + 1, -operand, operand >= 0};
        case OP_DROP:
            return {operand, -operand, operand >= 0};
        default:
            return {0, 0, false};
    }
}

bool endsFlow(uint8_t op) {
    return op == OP_JUMP || op == OP_THROW || op == OP_RETURN || op == OP_END || op == OP_HALT;
}

}  // namespace

StackEffect stackEffectOf(uint8_t opcode, int32_t operand) {
    // Local accesses are checked against the depth by the verifier; here they only move it.
    Effect e = effectOf(opcode, operand, INT32_MAX);
    return {e.need, e.delta};
}

bool verifyCode(const uint32_t* code, uint32_t words, uint32_t* maxStack) {
    // Instruction starts.
    std::vector<uint8_t> isStart(words, 0);
    for (uint32_t i = 0; i < words;) {
        uint8_t op = static_cast<uint8_t>(code[i] & 0xFF);
        if (!isOpcode(op)) return false;
        isStart[i] = 1;
        i += opcodeInfo(op).operand == OperandKind::None ? 1 : 2;
        if (i > words) return false;
    }

    std::vector<Range> at(words);
    std::vector<uint32_t> work;
    int32_t deepest = 0;

    auto flowTo = [&](int64_t target, int32_t lo, int32_t hi) {
        if (target < 0 || target >= int64_t(words) || !isStart[target]) return false;
        Range& r = at[target];
        if (!r.seen) {
            r = {lo, hi, true, 0};
            work.push_back(static_cast<uint32_t>(target));
            return true;
        }
        int32_t nlo = lo < r.lo ? lo : r.lo;
        int32_t nhi = hi > r.hi ? hi : r.hi;
        if (nlo != r.lo || nhi != r.hi) {
            if (++r.changes > kMaxWidening) return false;  // depth keeps changing around a loop
            r.lo = nlo;
            r.hi = nhi;
            work.push_back(static_cast<uint32_t>(target));
        }
        return true;
    };

    if (words == 0) return false;
    at[0] = {0, 0, true, 0};
    work.push_back(0);
    while (!work.empty()) {
        uint32_t i = work.back();
        work.pop_back();
        Range r = at[i];
        uint8_t op = static_cast<uint8_t>(code[i] & 0xFF);
        bool hasOperand = opcodeInfo(op).operand != OperandKind::None;
        int32_t operand = hasOperand ? static_cast<int32_t>(code[i + 1]) : 0;
        uint32_t next = i + (hasOperand ? 2 : 1);

        Effect effect = effectOf(op, operand, r.lo);
        if (!effect.ok || r.lo < effect.need) return false;
        int64_t lo = int64_t(r.lo) + effect.delta;
        int64_t hi = int64_t(r.hi) + effect.delta;
        if (hi > kMaxDepth || lo < 0) return false;
        if (hi > deepest) deepest = static_cast<int32_t>(hi);
        if (r.hi > deepest) deepest = r.hi;

        if (opcodeInfo(op).operand == OperandKind::Jump) {
            int64_t target = int64_t(next) + operand;
            if (op == OP_TRY) {
                // The handler starts with the saved depth plus the caught value.
                if (r.hi + 1 > deepest) deepest = r.hi + 1;
                if (!flowTo(target, r.lo + 1, r.hi + 1)) return false;
            } else if (!flowTo(target, int32_t(lo), int32_t(hi))) {
                return false;
            }
        }
        if (!endsFlow(op) && !flowTo(next, int32_t(lo), int32_t(hi))) return false;
    }
    *maxStack = static_cast<uint32_t>(deepest) + 1;
    return true;
}

}  // namespace quill
