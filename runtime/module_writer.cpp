// The assembler and writer: lays out an instruction list, encodes its code, builds the constant
// pool (one entry per distinct text and type, in order of first use), the function table and the
// optional debug section, and writes the container with its section table.
#include <bit>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <unordered_map>

#include "platform/ansi_codepage.h"
#include "runtime/module.h"

namespace quill {

Instruction Instruction::op(uint8_t opcode, uint32_t line, int32_t operand) {
    Instruction i;
    i.opcode = opcode;
    i.operand = operand;
    i.line = line;
    return i;
}

Instruction Instruction::jump(uint8_t opcode, int32_t label, uint32_t line) {
    return op(opcode, line, label);
}

Instruction Instruction::name(uint8_t opcode, std::string_view identifier, uint32_t line) {
    Instruction i = op(opcode, line);
    i.constant = ConstantType::Identifier;
    i.text = identifier;
    return i;
}

Instruction Instruction::pushInteger(int64_t value, uint32_t line) {
    Instruction i = op(OP_PUSH_CONST, line);
    i.constant = ConstantType::Integer;
    i.integer = value;
    return i;
}

Instruction Instruction::pushNumber(double value, uint32_t line) {
    Instruction i = op(OP_PUSH_CONST, line);
    i.constant = ConstantType::Number;
    i.number = value;
    return i;
}

Instruction Instruction::pushString(std::string_view text, uint32_t line) {
    Instruction i = op(OP_PUSH_CONST, line);
    i.constant = ConstantType::String;
    i.text = text;
    return i;
}

Instruction Instruction::pushRegExp(std::string_view pattern, uint8_t flags, uint32_t line) {
    Instruction i = op(OP_PUSH_CONST, line);
    i.constant = ConstantType::RegExp;
    i.text = pattern;
    i.regexpFlags = flags;
    return i;
}

Instruction Instruction::label(int32_t number) {
    Instruction i;
    i.kind = kLabel;
    i.operand = number;
    return i;
}

Instruction Instruction::functionStart(std::string_view name, uint32_t line) {
    Instruction i;
    i.kind = kFunctionStart;
    i.text = name;
    i.line = line;
    return i;
}

namespace {

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void putLe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 24));
}

void putUtf16Le(std::vector<uint8_t>& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(uint8_t(c & 0xFF));
        out.push_back(uint8_t(c >> 8));
    }
}

std::u16string ansiToUtf16(const std::string& text) {
    std::u16string wide(text.size(), u'\0');
    wide.resize(platform::ansiToWide(text.data(), text.size(), wide.data()));
    return wide;
}

// One constant pool per module: keyed by type and text, indices in order of first use.
class ConstantPool {
public:
    uint32_t indexOf(const Instruction& in) {
        std::string key = keyOf(in);
        auto it = index_.find(key);
        if (it != index_.end()) return it->second;
        uint32_t index = static_cast<uint32_t>(index_.size());
        index_.emplace(std::move(key), index);
        append(in);
        return index;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    static std::string keyOf(const Instruction& in) {
        std::string key(1, char(in.constant));
        switch (in.constant) {
            case ConstantType::Integer:
                key += std::to_string(in.integer);
                break;
            case ConstantType::Number: {
                // Keyed by the exact bits: two doubles that print alike are still two constants.
                uint64_t bits = std::bit_cast<uint64_t>(in.number);
                key.append(reinterpret_cast<const char*>(&bits), sizeof bits);
                break;
            }
            case ConstantType::RegExp:
                key += in.text;
                key += '/';
                if (in.regexpFlags & 1) key += 'g';
                if (in.regexpFlags & 2) key += 'i';
                if (in.regexpFlags & 4) key += 'm';
                break;
            default:
                key += in.text;
                break;
        }
        return key;
    }

    void append(const Instruction& in) {
        switch (in.constant) {
            case ConstantType::Identifier:
                bytes_.push_back(10);
                bytes_.insert(bytes_.end(), in.text.begin(), in.text.end());
                bytes_.push_back(0);
                break;
            case ConstantType::Integer:
                bytes_.push_back(3);
                putBe32(bytes_, uint32_t(uint64_t(in.integer) >> 32));
                putBe32(bytes_, uint32_t(uint64_t(in.integer)));
                break;
            case ConstantType::Number: {
                bytes_.push_back(5);
                uint64_t bits = std::bit_cast<uint64_t>(in.number);
                for (int i = 0; i < 8; ++i) bytes_.push_back(uint8_t(bits >> (8 * i)));
                break;
            }
            case ConstantType::String: {
                std::u16string wide = ansiToUtf16(in.text);
                bytes_.push_back(4);
                putBe32(bytes_, uint32_t(wide.size() * 2));
                putUtf16Le(bytes_, wide);
                break;
            }
            case ConstantType::RegExp: {
                std::u16string wide = ansiToUtf16(in.text);
                bytes_.push_back(11);
                bytes_.push_back(in.regexpFlags);
                putBe32(bytes_, uint32_t(wide.size() * 2));
                putUtf16Le(bytes_, wide);
                break;
            }
            case ConstantType::None:
                throw std::invalid_argument("constant without a type");
        }
    }

    std::unordered_map<std::string, uint32_t> index_;
    std::vector<uint8_t> bytes_;
};

uint32_t sizeOf(const Instruction& in) {
    if (in.kind != Instruction::kOp) return 0;
    return 1 + operandBytes(opcodeInfo(in.opcode).operand);
}

}  // namespace

std::vector<uint8_t> writeModule(const std::vector<Instruction>& list, const WriteOptions& options) {
    // Layout.
    std::vector<uint32_t> offsets(list.size());
    std::unordered_map<int32_t, uint32_t> labels;
    uint32_t offset = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        offsets[i] = offset;
        const Instruction& in = list[i];
        if (in.kind == Instruction::kOp && !opcodeInfo(in.opcode).name) {
            throw std::invalid_argument("not an opcode");
        }
        if (in.kind == Instruction::kLabel) labels[in.operand] = offset;
        offset += sizeOf(in);
    }

    std::vector<uint8_t> code;
    std::vector<uint8_t> functions;
    std::vector<uint8_t> debug;
    ConstantPool pool;
    uint32_t functionCount = 0;
    if (options.debug) {
        debug.push_back(1);
        putBe32(debug, uint32_t(options.sourceName.size()));
        debug.insert(debug.end(), options.sourceName.begin(), options.sourceName.end());
    }
    uint32_t previousLine = 0xFFFFFFFFu;
    for (size_t i = 0; i < list.size(); ++i) {
        const Instruction& in = list[i];
        if (in.kind == Instruction::kFunctionStart) {
            functions.insert(functions.end(), in.text.begin(), in.text.end());
            functions.push_back(0);
            putBe32(functions, offsets[i]);
            ++functionCount;
            continue;
        }
        if (in.kind == Instruction::kLabel) continue;
        code.push_back(in.opcode);
        switch (opcodeInfo(in.opcode).operand) {
            case OperandKind::None:
                break;
            case OperandKind::I8:
                if (in.operand < -128 || in.operand > 127) {
                    throw std::invalid_argument("operand does not fit in a byte");
                }
                code.push_back(uint8_t(in.operand));
                break;
            case OperandKind::I16:
                if (in.operand < -32768 || in.operand > 32767) {
                    throw std::invalid_argument("operand does not fit in 16 bits");
                }
                code.push_back(uint8_t(uint32_t(in.operand) >> 8));
                code.push_back(uint8_t(in.operand));
                break;
            case OperandKind::I32:
                putBe32(code, uint32_t(in.operand));
                break;
            case OperandKind::Jump: {
                auto it = labels.find(in.operand);
                if (it == labels.end()) throw std::invalid_argument("jump to an unknown label");
                int64_t delta = int64_t(it->second) - int64_t(offsets[i] + sizeOf(in));
                putBe32(code, uint32_t(int32_t(delta)));
                break;
            }
            case OperandKind::Name: {
                if (in.constant != ConstantType::Identifier) {
                    throw std::invalid_argument("name operand without an identifier");
                }
                putBe32(code, pool.indexOf(in));
                break;
            }
            case OperandKind::Const:
                putBe32(code, pool.indexOf(in));
                break;
        }
        if (options.debug && in.line != previousLine) {
            debug.push_back(2);
            putBe32(debug, offsets[i] + sizeOf(in));
            putBe32(debug, in.line);
        }
        previousLine = in.line;
    }

    std::vector<uint8_t> table;
    putBe32(table, functionCount);
    table.insert(table.end(), functions.begin(), functions.end());

    uint32_t seed = options.randomSeed;
    if (!seed) {
        seed = static_cast<uint32_t>(
            std::chrono::system_clock::now().time_since_epoch().count());
    }
    std::minstd_rand random(seed);
    const std::vector<uint8_t>* sections[4] = {&code, &pool.bytes(), &table, &debug};
    std::vector<uint8_t> out = {'Q', 'S', '1', 'b'};
    uint32_t position = 4 + 4 * 12 + 4;
    for (uint32_t kind = 0; kind < 4; ++kind) {
        // The upper bytes of an id carry a random number that readers ignore.
        uint32_t id = kind | ((uint32_t(random()) & 0x7FFF) << 8);
        putLe32(out, id);
        putLe32(out, position);
        putLe32(out, uint32_t(sections[kind]->size()));
        position += uint32_t(sections[kind]->size());
    }
    putLe32(out, 0xFFFFFFFFu);
    for (const auto* section : sections) out.insert(out.end(), section->begin(), section->end());
    return out;
}

}  // namespace quill
