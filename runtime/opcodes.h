// The opcodes of compiled modules, their operand kinds and names, shared by the module writer,
// reader, lister, verifier and the interpreter.
#pragma once

#include <cstdint>

namespace quill {

enum Opcode : uint8_t {
    OP_CALL_NAME = 0x21,
    OP_GET_NAME = 0x22,
    OP_ADD_TWO = 0x23,
    OP_INCREMENT = 0x24,
    OP_JUMP_IF_NONZERO = 0x25,
    OP_JUMP_IF_ZERO = 0x26,
    OP_THROW = 0x27,
    OP_POP_TRAPS = 0x28,
    OP_TRY = 0x29,
    OP_POP_WITH = 0x2a,
    OP_PUSH_WITH = 0x2b,
    OP_GET_ARG_AT = 0x2c,
    OP_ADJUST_ARGS = 0x2d,
    OP_RESERVE_LOCALS = 0x2e,
    OP_DELETE_ELEMENT = 0x2f,
    OP_DELETE_PROPERTY = 0x30,
    OP_NEW = 0x31,
    OP_TYPEOF = 0x32,
    OP_RETURN = 0x33,
    OP_CALL = 0x34,
    OP_JUMP = 0x35,
    OP_CALL_METHOD = 0x36,
    OP_JUMP_IF_TRUE = 0x37,
    OP_JUMP_IF_FALSE = 0x38,
    OP_USHR = 0x39,
    OP_SHR = 0x3a,
    OP_SHL = 0x3b,
    OP_BIT_XOR = 0x3c,
    OP_BIT_OR = 0x3d,
    OP_NOT = 0x3e,
    OP_BIT_AND = 0x3f,
    OP_NEGATE = 0x40,
    OP_MOD = 0x41,
    OP_DIV = 0x42,
    OP_MUL = 0x43,
    OP_ADD = 0x44,
    OP_SUB = 0x45,
    OP_STRICT_NE = 0x46,
    OP_STRICT_EQ = 0x47,
    OP_GE = 0x48,
    OP_LE = 0x49,
    OP_GT = 0x4a,
    OP_LT = 0x4b,
    OP_NE = 0x4c,
    OP_EQ = 0x4d,
    OP_ENUM_NEXT = 0x4e,
    OP_SET_ELEMENT = 0x4f,
    OP_GET_ELEMENT = 0x50,
    OP_SET_PROPERTY = 0x51,
    OP_GET_PROPERTY = 0x52,
    OP_STORE_LOCAL = 0x53,
    OP_LOAD_LOCAL = 0x54,
    OP_STORE_ARG = 0x55,
    OP_LOAD_ARG = 0x56,
    OP_STORE_GLOBAL = 0x57,
    OP_LOAD_GLOBAL = 0x58,
    OP_PUSH_INT = 0x59,
    OP_PUSH_3 = 0x5a,
    OP_PUSH_2 = 0x5b,
    OP_PUSH_1 = 0x5c,
    OP_PUSH_0 = 0x5d,
    OP_PUSH_UNDEFINED = 0x5e,
    OP_PUSH_FALSE = 0x5f,
    OP_PUSH_TRUE = 0x60,
    OP_PUSH_NULL = 0x61,
    OP_PUSH_CONST = 0x62,
    OP_MOVE = 0x63,
    OP_SWAP = 0x64,
    OP_COLLAPSE = 0x65,
    OP_DROP = 0x66,
    OP_POP = 0x67,
    OP_DUP = 0x68,
    OP_NOP = 0x69,
    OP_END = 0x6a,
    OP_HALT = 0x6b,
    OP_SET_NAME = 0x6c,
    OP_DELETE_NAME = 0x6d,
};

constexpr uint8_t kFirstOpcode = 0x21;
constexpr uint8_t kLastOpcode = 0x6d;

enum class OperandKind : uint8_t { None, I8, I16, I32, Const, Name, Jump };

struct OpcodeInfo {
    const char* name;  // null for bytes that are not opcodes
    OperandKind operand;
};

// Indexed by the opcode byte.
const OpcodeInfo& opcodeInfo(uint8_t opcode);

inline bool isOpcode(uint8_t byte) { return byte >= kFirstOpcode && byte <= kLastOpcode; }

// Encoded operand size in bytes.
inline uint32_t operandBytes(OperandKind kind) {
    switch (kind) {
        case OperandKind::None:
            return 0;
        case OperandKind::I8:
            return 1;
        case OperandKind::I16:
            return 2;
        default:
            return 4;
    }
}

inline bool isJump(uint8_t opcode) { return opcodeInfo(opcode).operand == OperandKind::Jump; }

}  // namespace quill
