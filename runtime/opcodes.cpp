// The opcode table: names and operand kinds by opcode byte.
#include "runtime/opcodes.h"

#include <array>

namespace quill {

namespace {

using K = OperandKind;

constexpr std::array<OpcodeInfo, 256> buildTable() {
    std::array<OpcodeInfo, 256> t{};
    for (auto& e : t) e = {nullptr, K::None};
    t[OP_CALL_NAME] = {"CALL_NAME", K::Name};
    t[OP_GET_NAME] = {"GET_NAME", K::Name};
    t[OP_ADD_TWO] = {"ADD_TWO", K::None};
    t[OP_INCREMENT] = {"INCREMENT", K::None};
    t[OP_JUMP_IF_NONZERO] = {"JUMP_IF_NONZERO", K::Jump};
    t[OP_JUMP_IF_ZERO] = {"JUMP_IF_ZERO", K::Jump};
    t[OP_THROW] = {"THROW", K::None};
    t[OP_POP_TRAPS] = {"POP_TRAPS", K::I8};
    t[OP_TRY] = {"TRY", K::Jump};
    t[OP_POP_WITH] = {"POP_WITH", K::I8};
    t[OP_PUSH_WITH] = {"PUSH_WITH", K::None};
    t[OP_GET_ARG_AT] = {"GET_ARG_AT", K::None};
    t[OP_ADJUST_ARGS] = {"ADJUST_ARGS", K::I8};
    t[OP_RESERVE_LOCALS] = {"RESERVE_LOCALS", K::I16};
    t[OP_DELETE_ELEMENT] = {"DELETE_ELEMENT", K::None};
    t[OP_DELETE_PROPERTY] = {"DELETE_PROPERTY", K::Name};
    t[OP_NEW] = {"NEW", K::None};
    t[OP_TYPEOF] = {"TYPEOF", K::None};
    t[OP_RETURN] = {"RETURN", K::None};
    t[OP_CALL] = {"CALL", K::None};
    t[OP_JUMP] = {"JUMP", K::Jump};
    t[OP_CALL_METHOD] = {"CALL_METHOD", K::Name};
    t[OP_JUMP_IF_TRUE] = {"JUMP_IF_TRUE", K::Jump};
    t[OP_JUMP_IF_FALSE] = {"JUMP_IF_FALSE", K::Jump};
    t[OP_USHR] = {"USHR", K::None};
    t[OP_SHR] = {"SHR", K::None};
    t[OP_SHL] = {"SHL", K::None};
    t[OP_BIT_XOR] = {"BIT_XOR", K::None};
    t[OP_BIT_OR] = {"BIT_OR", K::None};
    t[OP_NOT] = {"NOT", K::None};
    t[OP_BIT_AND] = {"BIT_AND", K::None};
    t[OP_NEGATE] = {"NEGATE", K::None};
    t[OP_MOD] = {"MOD", K::None};
    t[OP_DIV] = {"DIV", K::None};
    t[OP_MUL] = {"MUL", K::None};
    t[OP_ADD] = {"ADD", K::None};
    t[OP_SUB] = {"SUB", K::None};
    t[OP_STRICT_NE] = {"STRICT_NE", K::None};
    t[OP_STRICT_EQ] = {"STRICT_EQ", K::None};
    t[OP_GE] = {"GE", K::None};
    t[OP_LE] = {"LE", K::None};
    t[OP_GT] = {"GT", K::None};
    t[OP_LT] = {"LT", K::None};
    t[OP_NE] = {"NE", K::None};
    t[OP_EQ] = {"EQ", K::None};
    t[OP_ENUM_NEXT] = {"ENUM_NEXT", K::None};
    t[OP_SET_ELEMENT] = {"SET_ELEMENT", K::None};
    t[OP_GET_ELEMENT] = {"GET_ELEMENT", K::None};
    t[OP_SET_PROPERTY] = {"SET_PROPERTY", K::Name};
    t[OP_GET_PROPERTY] = {"GET_PROPERTY", K::Name};
    t[OP_STORE_LOCAL] = {"STORE_LOCAL", K::I16};
    t[OP_LOAD_LOCAL] = {"LOAD_LOCAL", K::I16};
    t[OP_STORE_ARG] = {"STORE_ARG", K::I8};
    t[OP_LOAD_ARG] = {"LOAD_ARG", K::I8};
    t[OP_STORE_GLOBAL] = {"STORE_GLOBAL", K::Name};
    t[OP_LOAD_GLOBAL] = {"LOAD_GLOBAL", K::Name};
    t[OP_PUSH_INT] = {"PUSH_INT", K::I32};
    t[OP_PUSH_3] = {"PUSH_3", K::None};
    t[OP_PUSH_2] = {"PUSH_2", K::None};
    t[OP_PUSH_1] = {"PUSH_1", K::None};
    t[OP_PUSH_0] = {"PUSH_0", K::None};
    t[OP_PUSH_UNDEFINED] = {"PUSH_UNDEFINED", K::None};
    t[OP_PUSH_FALSE] = {"PUSH_FALSE", K::None};
    t[OP_PUSH_TRUE] = {"PUSH_TRUE", K::None};
    t[OP_PUSH_NULL] = {"PUSH_NULL", K::None};
    t[OP_PUSH_CONST] = {"PUSH_CONST", K::Const};
    t[OP_MOVE] = {"MOVE", K::I8};
    t[OP_SWAP] = {"SWAP", K::None};
    t[OP_COLLAPSE] = {"COLLAPSE", K::I8};
    t[OP_DROP] = {"DROP", K::I8};
    t[OP_POP] = {"POP", K::None};
    t[OP_DUP] = {"DUP", K::None};
    t[OP_NOP] = {"NOP", K::None};
    t[OP_END] = {"END", K::None};
    t[OP_HALT] = {"HALT", K::None};
    t[OP_SET_NAME] = {"SET_NAME", K::Name};
    t[OP_DELETE_NAME] = {"DELETE_NAME", K::Name};
    return t;
}

constexpr std::array<OpcodeInfo, 256> kTable = buildTable();

}  // namespace

const OpcodeInfo& opcodeInfo(uint8_t opcode) { return kTable[opcode]; }

}  // namespace quill
