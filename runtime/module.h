// Compiled modules ("QS1b"): the reader, the loader that merges a module into an engine and runs
// it, the writer that turns an instruction list into module bytes, and a readable lister.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/opcodes.h"
#include "runtime/script_engine.h"

namespace quill {

enum ModuleSectionKind : uint32_t {
    kSectionCode = 0,
    kSectionConstants = 1,
    kSectionFunctions = 2,
    kSectionDebug = 3,
};

struct ModuleSection {
    uint32_t kind;
    uint32_t size;
    uint8_t* bytes;  // `size` bytes followed by one NUL
};

// A parsed container: its sections, copied out of the input.
struct ModuleRecord {
    std::vector<ModuleSection> sections;
};

// Null when the data is not a well-formed container.
ModuleRecord* readModule(const uint8_t* bytes, size_t length);
ModuleRecord* readModuleFile(std::FILE* file);
void freeModule(ModuleRecord* module);

// Merges the module into the engine (constants, functions as globals) and runs its `.main`.
// Returns 1, or 0 with the message in the error buffer.
int loadModule(ScriptEngine* engine, ModuleRecord* module);
// Reads, loads and runs module bytes in one step.
int runModule(ScriptEngine* engine, const uint8_t* bytes, size_t length);

// The function containing a code address (".main" when none), and its source name and line.
const char* functionNameAt(ScriptEngine* engine, const uint32_t* address);
const char* sourceLineAt(ScriptEngine* engine, const uint32_t* address, uint32_t* line);

// Builds regular-expression constants; installed by the RegExp class. Until then a module that
// holds one fails to load.
using RegExpFactory = void (*)(ScriptEngine* engine, ScriptValue* out, const char16_t* pattern,
                               uint32_t length, uint32_t flags);
void setRegExpFactory(ScriptEngine* engine, RegExpFactory factory);

// ---------------------------------------------------------------------------------------------
// The writer's input: the instruction list of the code generator.

enum class ConstantType : uint8_t {
    None = 0,
    Integer = 3,
    String = 4,
    Number = 5,
    Identifier = 10,
    RegExp = 11,
};

struct Instruction {
    enum Kind : uint8_t { kOp, kLabel, kFunctionStart };
    Kind kind = kOp;
    uint8_t opcode = 0;
    ConstantType constant = ConstantType::None;  // for name and constant operands
    uint8_t regexpFlags = 0;  // bit 0 g, bit 1 i, bit 2 m
    int32_t operand = 0;  // i8/i16/i32 value; the label number of a jump or a label
    int64_t integer = 0;  // integer constant
    double number = 0;  // number constant
    std::string text;  // identifier, 8-bit string text, pattern, or function name
    uint32_t line = 0;

    static Instruction op(uint8_t opcode, uint32_t line = 0, int32_t operand = 0);
    static Instruction jump(uint8_t opcode, int32_t label, uint32_t line = 0);
    static Instruction name(uint8_t opcode, std::string_view identifier, uint32_t line = 0);
    static Instruction pushInteger(int64_t value, uint32_t line = 0);
    static Instruction pushNumber(double value, uint32_t line = 0);
    static Instruction pushString(std::string_view text, uint32_t line = 0);
    static Instruction pushRegExp(std::string_view pattern, uint8_t flags, uint32_t line = 0);
    static Instruction label(int32_t number);
    static Instruction functionStart(std::string_view name, uint32_t line = 0);
};

struct WriteOptions {
    bool debug = false;  // write the debug section
    std::string sourceName;  // for the debug section
    uint32_t randomSeed = 0;  // 0: seeded from the clock
};

// Encodes the list as module bytes. Throws std::invalid_argument for a jump to an unknown label
// or an operand that does not fit its encoding.
std::vector<uint8_t> writeModule(const std::vector<Instruction>& list, const WriteOptions& options);

// A readable listing of module bytes: constants, functions, instructions with offsets, operands,
// jump targets and lines. Malformed input gives a listing that says where it stops making sense.
std::string listModule(const uint8_t* bytes, size_t length);

}  // namespace quill
