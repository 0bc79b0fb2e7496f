// The peephole passes over a finished instruction list: assignment statements without their
// DUP/POP pair, instruction pairs, jump threading, store-load elimination from a liveness
// analysis of the first 32 locals, and dead code. None of them changes what a script does.
#include "compiler/peephole.h"

#include <unordered_map>
#include <unordered_set>

#include "runtime/bytecode_verifier.h"

namespace quill::compiler {

int32_t stackEffect(const Instruction& in) {
    if (in.kind != Instruction::kOp) return 0;
    return stackEffectOf(in.opcode, in.operand).delta;
}

namespace {

bool isOp(const Instruction& in, uint8_t opcode) {
    return in.kind == Instruction::kOp && in.opcode == opcode;
}

bool isJumpLike(const Instruction& in) {
    return in.kind == Instruction::kOp && isJump(in.opcode);
}

bool isJumpIfFalse(const Instruction& in) {
    return isOp(in, OP_JUMP_IF_FALSE) || isOp(in, OP_JUMP_IF_ZERO);
}

bool isJumpIfTrue(const Instruction& in) {
    return isOp(in, OP_JUMP_IF_TRUE) || isOp(in, OP_JUMP_IF_NONZERO);
}

// Removes the instructions marked in `dead`.
void compact(InstructionList& list, const std::vector<char>& dead) {
    size_t w = 0;
    for (size_t r = 0; r < list.size(); ++r) {
        if (!dead[r]) {
            if (w != r) list[w] = std::move(list[r]);
            ++w;
        }
    }
    list.resize(w);
}

// Pass 1: `x = v;` leaves v, DUP, store, POP; when nothing between the DUP and the POP reaches
// below the stored value, both go.
bool assignmentStatements(InstructionList& list) {
    std::vector<char> dead(list.size(), 0);
    bool changed = false;
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        if (!isOp(list[i + 1], OP_DUP) || dead[i + 1]) continue;
        int32_t depth = 2;
        for (size_t j = i + 2; j < list.size(); ++j) {
            const Instruction& in = list[j];
            if (isOp(in, OP_POP) && depth == 1) {
                dead[i + 1] = 1;
                dead[j] = 1;
                changed = true;
                break;
            }
            if (in.kind != Instruction::kOp || isJumpLike(in)) break;
            uint8_t op = in.opcode;
            if (op == OP_CALL || op == OP_NEW || op == OP_CALL_METHOD || op == OP_CALL_NAME ||
                op == OP_RETURN || op == OP_THROW || op == OP_POP_TRAPS || op == OP_DUP) {
                break;
            }
            depth += stackEffect(in);
            if (depth < 1) break;
        }
    }
    if (changed) compact(list, dead);
    return changed;
}

// Pass 2: pairs that cancel or simplify.
bool pairs(InstructionList& list) {
    std::vector<char> dead(list.size(), 0);
    bool changed = false;
    for (size_t i = 0; i + 1 < list.size(); ++i) {
        if (dead[i]) continue;
        Instruction& a = list[i];
        Instruction& b = list[i + 1];
        if (isOp(a, OP_COLLAPSE) && isOp(b, OP_POP) && a.operand + 1 <= 127) {
            a.opcode = OP_DROP;
            a.operand += 1;
            dead[i + 1] = 1;
            changed = true;
            ++i;
        } else if ((isOp(a, OP_PUSH_TRUE) && isJumpIfFalse(b)) ||
                   (isOp(a, OP_PUSH_FALSE) && isJumpIfTrue(b))) {
            dead[i] = dead[i + 1] = 1;
            changed = true;
            ++i;
        } else if ((isOp(a, OP_PUSH_FALSE) && isJumpIfFalse(b)) ||
                   (isOp(a, OP_PUSH_TRUE) && isJumpIfTrue(b))) {
            dead[i] = 1;
            b.opcode = OP_JUMP;
            changed = true;
            ++i;
        }
    }
    if (changed) compact(list, dead);
    return changed;
}

std::unordered_map<int32_t, size_t> labelPositions(const InstructionList& list) {
    std::unordered_map<int32_t, size_t> at;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].kind == Instruction::kLabel) at[list[i].operand] = i;
    }
    return at;
}

// Pass 3: a jump to a label that leads straight to another JUMP goes to that JUMP's target.
bool threadJumps(InstructionList& list) {
    auto at = labelPositions(list);
    bool changed = false;
    for (Instruction& in : list) {
        if (!isJumpLike(in)) continue;
        std::unordered_set<int32_t> seen;
        int32_t target = in.operand;
        for (;;) {
            if (!seen.insert(target).second) break;  // a cycle of jumps
            auto it = at.find(target);
            if (it == at.end()) break;
            size_t k = it->second;
            while (k < list.size() && list[k].kind != Instruction::kOp) ++k;
            if (k >= list.size() || !isOp(list[k], OP_JUMP)) break;
            target = list[k].operand;
        }
        if (target != in.operand) {
            in.operand = target;
            changed = true;
        }
    }
    return changed;
}

// Pass 4: STORE_LOCAL s directly followed by LOAD_LOCAL s keeps the value on the stack instead
// when the local is not read again before it is written.
bool storeLoad(InstructionList& list) {
    bool changed = false;
    auto at = labelPositions(list);
    // Marks for the whole list, removed in one compaction at the end, so that positions (and
    // the label table) stay valid from one function to the next.
    std::vector<char> dead(list.size(), 0);
    size_t begin = 0;
    while (begin < list.size()) {
        size_t end = begin + 1;
        while (end < list.size() && list[end].kind != Instruction::kFunctionStart) ++end;
        size_t n = end - begin;
        std::vector<uint32_t> liveIn(n, 0), liveOut(n, 0);
        bool hasTry = false;
        for (size_t i = begin; i < end; ++i) hasTry |= isOp(list[i], OP_TRY);
        auto indexOfLabel = [&](int32_t label) -> int64_t {
            auto it = at.find(label);
            if (it == at.end() || it->second < begin || it->second >= end) return -1;
            return int64_t(it->second - begin);
        };
        for (bool again = true; again;) {
            again = false;
            // Anything may throw inside a protected region, so what a handler reads stays live
            // throughout the function.
            uint32_t handlers = 0;
            if (hasTry) {
                for (size_t i = begin; i < end; ++i) {
                    if (isOp(list[i], OP_TRY)) {
                        int64_t t = indexOfLabel(list[i].operand);
                        if (t >= 0) handlers |= liveIn[size_t(t)];
                    }
                }
            }
            for (size_t k = n; k-- > 0;) {
                const Instruction& in = list[begin + k];
                uint32_t out = handlers;
                bool fallsThrough = true;
                if (in.kind == Instruction::kOp) {
                    uint8_t op = in.opcode;
                    if (op == OP_JUMP || op == OP_RETURN || op == OP_THROW || op == OP_END ||
                        op == OP_HALT) {
                        fallsThrough = false;
                    }
                    if (isJump(op)) {
                        int64_t t = indexOfLabel(in.operand);
                        if (t >= 0) out |= liveIn[size_t(t)];
                    }
                }
                if (fallsThrough && k + 1 < n) out |= liveIn[k + 1];
                uint32_t in_ = out;
                if (in.kind == Instruction::kOp && in.operand >= 0 && in.operand < 32) {
                    uint32_t bit = 1u << in.operand;
                    if (in.opcode == OP_STORE_LOCAL) in_ &= ~bit;
                    if (in.opcode == OP_LOAD_LOCAL) in_ |= bit;
                }
                if (out != liveOut[k] || in_ != liveIn[k]) {
                    liveOut[k] = out;
                    liveIn[k] = in_;
                    again = true;
                }
            }
        }
        for (size_t k = 0; k + 1 < n; ++k) {
            const Instruction& store = list[begin + k];
            const Instruction& load = list[begin + k + 1];
            if (isOp(store, OP_STORE_LOCAL) && isOp(load, OP_LOAD_LOCAL) &&
                store.operand == load.operand && store.operand >= 0 && store.operand < 32 &&
                !(liveOut[k + 1] & (1u << store.operand))) {
                dead[begin + k] = dead[begin + k + 1] = 1;
                changed = true;
                ++k;
            }
        }
        begin = end;
    }
    if (changed) compact(list, dead);
    return changed;
}

// Pass 5: unused labels, code after an unconditional transfer, jumps to the next instruction.
bool deadCode(InstructionList& list) {
    bool changedAny = false;
    for (bool changed = true; changed;) {
        changed = false;
        std::unordered_set<int32_t> targeted;
        for (const Instruction& in : list) {
            if (isJumpLike(in)) targeted.insert(in.operand);
        }
        std::vector<char> dead(list.size(), 0);
        bool skipping = false;
        for (size_t i = 0; i < list.size(); ++i) {
            const Instruction& in = list[i];
            if (in.kind == Instruction::kLabel && !targeted.count(in.operand)) {
                dead[i] = 1;
                continue;
            }
            if (in.kind != Instruction::kOp) {
                skipping = false;
                continue;
            }
            if (skipping) {
                dead[i] = 1;
                continue;
            }
            if (in.opcode == OP_JUMP) {
                // A jump to the label right after it (other labels may stand between).
                size_t k = i + 1;
                bool next = false;
                while (k < list.size() && list[k].kind == Instruction::kLabel) {
                    if (list[k].operand == in.operand) next = true;
                    ++k;
                }
                if (next) {
                    dead[i] = 1;
                    continue;
                }
            }
            if (in.opcode == OP_RETURN || in.opcode == OP_JUMP) skipping = true;
        }
        for (char d : dead) changed |= d != 0;
        if (changed) {
            compact(list, dead);
            changedAny = true;
        }
    }
    return changedAny;
}

}  // namespace

void optimize(InstructionList& list) {
    assignmentStatements(list);
    pairs(list);
    threadJumps(list);
    storeLoad(list);
    deadCode(list);
}

}  // namespace quill::compiler
