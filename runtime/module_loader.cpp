// Loading a compiled module into an engine: constants merged into the engine-wide table,
// anonymous functions renumbered, every function translated to the word form (with its operands
// and jumps validated and its stack use verified), defined as a global, and `.main` run.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ansi_codepage.h"
#include "runtime/bytecode_verifier.h"
#include "runtime/engine_internal.h"
#include "runtime/fused_ops.h"
#include "runtime/interpreter_internal.h"
#include "runtime/module.h"

namespace quill {

namespace {

[[noreturn]] void unimplemented(ScriptEngine* e) {
    raiseError(e, "Unimplemented Quill Script bytecode");
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// A bounds-checked cursor over one section.
struct Cursor {
    ScriptEngine* e;
    const uint8_t* data;
    uint32_t size;
    uint32_t pos = 0;

    bool atEnd() const { return pos >= size; }
    const uint8_t* take(uint32_t n) {
        if (n > size - pos) unimplemented(e);
        const uint8_t* p = data + pos;
        pos += n;
        return p;
    }
    uint8_t byte() { return *take(1); }
    uint32_t u32() { return be32(take(4)); }
    std::string cstring() {
        const void* nul = std::memchr(data + pos, 0, size - pos);
        if (!nul) unimplemented(e);
        auto n = static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - (data + pos));
        std::string s(reinterpret_cast<const char*>(data + pos), n);
        pos += n + 1;
        return s;
    }
};

const ModuleSection* findSection(const ModuleRecord* module, uint32_t kind) {
    for (const ModuleSection& s : module->sections) {
        if (s.kind == kind) return &s;
    }
    return nullptr;
}

// "@F_n" names of anonymous functions move up by the engine's counter so that modules loaded one
// after another never share one.
std::string renumber(const std::string& name, uint32_t base, bool* renumbered = nullptr) {
    if (renumbered) *renumbered = false;
    if (name.size() < 4 || name.compare(0, 3, "@F_") != 0 || name[3] < '0' || name[3] > '9') {
        return name;
    }
    uint32_t n = 0;
    for (size_t i = 3; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        n = n * 10 + uint32_t(name[i] - '0');
    }
    if (renumbered) *renumbered = true;
    return "@F_" + std::to_string(uint32_t(n + base));
}

void finalizeCompiled(ScriptEngine*, void* block) {
    auto* f = static_cast<CompiledFunction*>(block);
    std::free(f->name);
    std::free(f->code);
    std::free(f->sourceName);
    std::free(f->lines);
    f->name = nullptr;
    f->code = nullptr;
    f->sourceName = nullptr;
    f->lines = nullptr;
}

RegExpFactory regexpFactory(ScriptEngine* e) {
    return reinterpret_cast<RegExpFactory>(e->regexpFactory);
}

// Appends the module's constants to the engine table; returns how many there were.
uint32_t mergeConstants(ScriptEngine* e, const ModuleSection* section, uint32_t anonymousBase) {
    if (!section) return 0;
    Cursor c{e, section->bytes, section->size};
    uint32_t count = 0;
    while (!c.atEnd()) {
        uint8_t type = c.byte();
        ScriptValue v;
        switch (type) {
            case 1:
                v = makeNull();
                break;
            case 2:
                v = makeBoolean(c.byte() != 0);
                break;
            case 3: {
                const uint8_t* p = c.take(8);
                uint64_t bits = (uint64_t(be32(p)) << 32) | be32(p + 4);
                v = makeInteger(static_cast<int64_t>(bits));
                break;
            }
            case 4: {
                uint32_t bytes = c.u32();
                const uint8_t* p = c.take(bytes);
                uint32_t units = bytes / 2;
                auto* chars = static_cast<char16_t*>(plainAlloc(e, (size_t(units) + 1) * 2));
                for (uint32_t i = 0; i < units; ++i) {
                    chars[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
                }
                chars[units] = 0;
                try {
                    e->moduleData.push_back(chars);
                } catch (...) {
                    plainFree(chars);
                    throw;
                }
                newStaticString(e, &v, chars, units);
                break;
            }
            case 5: {
                const uint8_t* p = c.take(8);
                double d;
                std::memcpy(&d, p, 8);  // stored in little-endian order, as the targets are
                v = makeNumber(d);
                break;
            }
            case 10: {
                std::string name = renumber(c.cstring(), anonymousBase);
                v = makeAtom(intern(e, name));
                break;
            }
            case 11: {
                uint32_t flags = c.byte();
                uint32_t bytes = c.u32();
                const uint8_t* p = c.take(bytes);
                uint32_t units = bytes / 2;
                std::u16string pattern(units, u'\0');
                for (uint32_t i = 0; i < units; ++i) {
                    pattern[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
                }
                RegExpFactory factory = regexpFactory(e);
                if (!factory) raiseError(e, "regular expressions are not available in this engine");
                factory(e, &v, pattern.data(), units, flags);
                break;
            }
            case 13:
                v = makeNaN();
                break;
            default:
                unimplemented(e);
        }
        appendConstant(e, v);
        ++count;
    }
    return count;
}

struct FunctionEntry {
    std::string name;
    uint32_t offset;
};

std::vector<FunctionEntry> readFunctionTable(ScriptEngine* e, const ModuleSection* section,
                                             uint32_t codeSize) {
    std::vector<FunctionEntry> table;
    if (!section || section->size == 0) return table;
    Cursor c{e, section->bytes, section->size};
    uint32_t count = c.u32();
    if (count > section->size) unimplemented(e);
    uint32_t previous = 0;
    for (uint32_t i = 0; i < count; ++i) {
        FunctionEntry entry;
        entry.name = c.cstring();
        entry.offset = c.u32();
        if (entry.offset > codeSize || entry.offset < previous) unimplemented(e);
        previous = entry.offset;
        table.push_back(std::move(entry));
    }
    return table;
}

struct TranslateInput {
    const uint8_t* code;
    uint32_t start, end;
    uint32_t constBase, constCount;
    const ModuleSection* debug;
};

CompiledFunction* translate(ScriptEngine* e, const TranslateInput& in, const std::string& name) {
    uint32_t size = in.end - in.start;
    std::vector<uint32_t> words;
    words.reserve(size_t(size) + 1);
    std::vector<int32_t> map(size_t(size) + 1, -1);
    struct PendingJump {
        size_t operandWord;
        int64_t target;
    };
    std::vector<PendingJump> jumps;

    uint32_t p = in.start;
    while (p < in.end) {
        uint8_t opcode = in.code[p];
        if (!isOpcode(opcode)) {
            ++p;  // bytes that are not opcodes are skipped
            continue;
        }
        OperandKind kind = opcodeInfo(opcode).operand;
        uint32_t bytes = operandBytes(kind);
        if (bytes > in.end - p - 1) unimplemented(e);
        map[p - in.start] = static_cast<int32_t>(words.size());
        words.push_back(opcode);
        const uint8_t* operand = in.code + p + 1;
        switch (kind) {
            case OperandKind::None:
                break;
            case OperandKind::I8:
                words.push_back(static_cast<uint32_t>(int32_t(int8_t(operand[0]))));
                break;
            case OperandKind::I16:
                words.push_back(
                    static_cast<uint32_t>(int32_t(int16_t((operand[0] << 8) | operand[1]))));
                break;
            case OperandKind::I32:
                words.push_back(be32(operand));
                break;
            case OperandKind::Const: {
                uint32_t index = be32(operand);
                if (index >= in.constCount) unimplemented(e);
                words.push_back(in.constBase + index);
                break;
            }
            case OperandKind::Name: {
                uint32_t index = be32(operand);
                if (index >= in.constCount) unimplemented(e);
                const ScriptValue& c = e->constants[in.constBase + index];
                if (c.tag != kTagAtom) unimplemented(e);
                words.push_back(c.atom());
                break;
            }
            case OperandKind::Jump: {
                int32_t offset = static_cast<int32_t>(be32(operand));
                int64_t after = int64_t(p) + 1 + bytes - in.start;
                jumps.push_back({words.size(), after + offset});
                words.push_back(0);
                break;
            }
        }
        p += 1 + bytes;
    }
    map[size] = static_cast<int32_t>(words.size());
    words.push_back(OP_END);

    for (const PendingJump& j : jumps) {
        if (j.target < 0 || j.target > int64_t(size) || map[j.target] < 0) unimplemented(e);
        int64_t delta = int64_t(map[j.target]) - int64_t(j.operandWord + 1);
        words[j.operandWord] = static_cast<uint32_t>(static_cast<int32_t>(delta));
    }

    uint32_t maxStack = 0;
    if (!verifyCode(words.data(), static_cast<uint32_t>(words.size()), &maxStack)) unimplemented(e);
    fuseWords(words.data(), static_cast<uint32_t>(words.size()));

    // Source name and line table from the debug records.
    std::string sourceName;
    std::vector<LineEntry> lines;
    bool haveSource = false;
    if (in.debug) {
        Cursor c{e, in.debug->bytes, in.debug->size};
        while (!c.atEnd()) {
            uint8_t type = c.byte();
            if (type == 1) {
                uint32_t n = c.u32();
                const uint8_t* text = c.take(n);
                sourceName.assign(reinterpret_cast<const char*>(text), n);
                haveSource = true;
            } else if (type == 2) {
                uint32_t offset = c.u32();
                uint32_t line = c.u32();
                if (offset > in.end) break;
                if (offset < in.start) continue;
                int32_t word = map[offset - in.start];
                if (word >= 0) lines.push_back({uint32_t(word), line});
            } else {
                unimplemented(e);
            }
        }
    }

    auto* f = static_cast<CompiledFunction*>(gcAllocZeroFinalizable(e, sizeof(CompiledFunction)));
    f->finalizer = finalizeCompiled;
    f->maxStack = maxStack;
    f->name = plainStrdup(e, name.c_str());
    f->code = static_cast<uint32_t*>(plainAlloc(e, words.size() * sizeof(uint32_t)));
    std::memcpy(f->code, words.data(), words.size() * sizeof(uint32_t));
    f->codeWords = static_cast<uint32_t>(words.size());
    if (haveSource) f->sourceName = plainStrdup(e, sourceName.c_str());
    if (!lines.empty()) {
        f->lines = static_cast<LineEntry*>(plainAlloc(e, lines.size() * sizeof(LineEntry)));
        std::memcpy(f->lines, lines.data(), lines.size() * sizeof(LineEntry));
        f->lineCount = static_cast<uint32_t>(lines.size());
    }
    return f;
}

void loadInto(ScriptEngine* e, ModuleRecord* module) {
    uint32_t anonymousBase = e->anonymousCounter;
    uint32_t constBase = e->constantCount;
    uint32_t constCount = mergeConstants(e, findSection(module, kSectionConstants), anonymousBase);

    const ModuleSection* code = findSection(module, kSectionCode);
    uint32_t codeSize = code ? code->size : 0;
    std::vector<FunctionEntry> table =
        readFunctionTable(e, findSection(module, kSectionFunctions), codeSize);
    const ModuleSection* debug = findSection(module, kSectionDebug);

    CompiledFunction* main = nullptr;
    for (size_t i = 0; i < table.size(); ++i) {
        uint32_t end = i + 1 < table.size() ? table[i + 1].offset : codeSize;
        TranslateInput in{
            code ? code->bytes : nullptr, table[i].offset, end, constBase, constCount, debug};
        bool isMain = table[i].name == ".main";
        bool anonymous = false;
        std::string name =
            isMain ? table[i].name : renumber(table[i].name, anonymousBase, &anonymous);
        CompiledFunction* f = translate(e, in, name);
        if (isMain) {
            main = f;  // nothing collects before it runs
            continue;
        }
        if (anonymous) e->anonymousCounter++;
        auto* fv = static_cast<FunctionValue*>(gcAlloc(e, sizeof(FunctionValue)));
        fv->code = f;
        fv->props = nullptr;
        uint32_t atom = intern(e, name);
        e->globals[atom] = makeFunction(fv);
    }
    if (main) run(e, nullptr, main, 0, nullptr);
}

}  // namespace

void setRegExpFactory(ScriptEngine* engine, RegExpFactory factory) {
    engine->regexpFactory = reinterpret_cast<void*>(factory);
}

int loadModule(ScriptEngine* e, ModuleRecord* module) {
    e->errorBuffer[0] = '\0';
    e->returnSlot = makeUndefined();
    e->errorLocated = false;
    e->hasThrownValue = false;
    if (!module) {
        setErrorText(e, "Runtime error: Unimplemented Quill Script bytecode");
        return 0;
    }
    return guardHostCall(e, [&] { loadInto(e, module); });
}

int runModule(ScriptEngine* e, const uint8_t* bytes, size_t length) {
    e->errorKind = ErrorKind::kNone;
    ModuleRecord* module = readModule(bytes, length);
    if (!module) {
        e->returnSlot = makeUndefined();
        setErrorText(e, "Runtime error: Unimplemented Quill Script bytecode");
        return finishEntry(e, 0);
    }
    int ok = loadModule(e, module);
    freeModule(module);
    return finishEntry(e, ok);
}

// ---------------------------------------------------------------------------------------------
// Code addresses to functions and lines.

namespace {

bool contains(const CompiledFunction* f, const uint32_t* address) {
    return f && f->code && address >= f->code && address < f->code + f->codeWords;
}

const CompiledFunction* functionAt(ScriptEngine* e, const uint32_t* address) {
    if (!address) return nullptr;
    if (contains(e->errorFunction, address)) return e->errorFunction;
    for (uint32_t i = 0; i < e->globalCount; ++i) {
        const ScriptValue& v = e->globals[i];
        if (v.tag == kTagFunction && contains(v.fn->code, address)) return v.fn->code;
    }
    for (ScriptValue* p = e->stackTop; p && p < e->stackEnd; ++p) {
        if (p->tag == kTagFunction && contains(p->fn->code, address)) return p->fn->code;
        if (isFramePad(*p) && contains(padFunction(*p), address)) return padFunction(*p);
    }
    return nullptr;
}

}  // namespace

const char* functionNameAt(ScriptEngine* e, const uint32_t* address) {
    const CompiledFunction* f = functionAt(e, address);
    return f && f->name ? f->name : ".main";
}

const char* sourceLineAt(ScriptEngine* e, const uint32_t* address, uint32_t* line) {
    const CompiledFunction* f = functionAt(e, address);
    if (!f || !f->sourceName) return nullptr;
    auto word = static_cast<uint32_t>(address - f->code);
    uint32_t found = 0;
    // The line of the last entry whose address is not after the given one.
    const LineEntry* begin = f->lines;
    const LineEntry* end = begin + f->lineCount;
    const LineEntry* it = std::upper_bound(
        begin, end, word, [](uint32_t w, const LineEntry& l) { return w < l.word; });
    if (it != begin) found = (it - 1)->line;
    if (line) *line = found;
    return f->sourceName;
}

}  // namespace quill
