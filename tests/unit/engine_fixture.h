// Shared helpers for unit tests: an engine per test, a tiny assembler over the module writer,
// and natives that let hand-written bytecode create objects and report values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/module.h"
#include "runtime/script_engine.h"

namespace quill::test {

inline std::string str(const ScriptValue& v) {
    if (v.tag != kTagString) return "<not a string>";
    return toUtf8String(stringView(v));
}

// Builds instruction lists in the calling convention of the code generator.
class Asm {
  public:
    Asm& fn(std::string_view name) { return add(Instruction::functionStart(name)); }
    Asm& op(uint8_t opcode, int32_t operand = 0) {
        return add(Instruction::op(opcode, line_, operand));
    }
    Asm& name(uint8_t opcode, std::string_view identifier) {
        return add(Instruction::name(opcode, identifier, line_));
    }
    Asm& jump(uint8_t opcode, int32_t label) {
        return add(Instruction::jump(opcode, label, line_));
    }
    Asm& label(int32_t number) { return add(Instruction::label(number)); }
    Asm& integer(int64_t v) { return add(Instruction::pushInteger(v, line_)); }
    Asm& number(double v) { return add(Instruction::pushNumber(v, line_)); }
    Asm& string(std::string_view text) { return add(Instruction::pushString(text, line_)); }
    Asm& line(uint32_t n) {
        line_ = n;
        return *this;
    }
    // Calls the global `callee` with the arguments pushed by `pushArgs` (last argument first)
    // and keeps only the result.
    template <typename Push>
    Asm& call(std::string_view callee, int argc, Push&& pushArgs) {
        pushArgs(*this);
        op(OP_PUSH_INT, argc);
        name(OP_LOAD_GLOBAL, callee);
        op(OP_CALL);
        return op(OP_COLLAPSE, argc + 2);
    }
    Asm& prologue(int params, int locals = 0) {
        op(OP_LOAD_ARG, 1).op(OP_ADD_TWO).op(OP_ADJUST_ARGS, params + 2);
        if (locals) op(OP_RESERVE_LOCALS, locals);
        return *this;
    }
    std::vector<uint8_t> bytes(bool debug = false, std::string source = "test.qls") const {
        WriteOptions options;
        options.debug = debug;
        options.sourceName = source;
        options.randomSeed = 1234;
        return writeModule(list_, options);
    }
    const std::vector<Instruction>& list() const { return list_; }

  private:
    Asm& add(Instruction in) {
        list_.push_back(std::move(in));
        return *this;
    }
    std::vector<Instruction> list_;
    uint32_t line_ = 0;
};

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override { start(EngineConfig()); }
    void TearDown() override { destroyEngine(engine); }

    void start(const EngineConfig& config) {
        engine = createEngine(config);
        ASSERT_NE(engine, nullptr);
        setTraceOutput(engine, &EngineTest::collectTrace, this);
        registerNative("mkobj", [](ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result,
                                   ScriptValue*) { *result = makeObject(newObject(e)); });
        registerNative("mkarr", [](ScriptEngine* e, ClassDescriptor*, void*, ScriptValue* result,
                                   ScriptValue* argv) {
            quill::newArray(e, result, 0);
            (void)argv;
        });
    }

    void restart(const EngineConfig& config) {
        destroyEngine(engine);
        trace.clear();
        start(config);
    }

    void registerNative(const char* name, NativeFunction function) {
        ClassDescriptor* cls = registerClass(engine, name);
        cls->call = function;
    }

    // Loads and runs module bytes; returns the load result.
    int runBytes(const std::vector<uint8_t>& bytes) {
        return runModule(engine, bytes.data(), bytes.size());
    }
    // Runs a `.main` built by `a` and returns its result (the module must run).
    ScriptValue eval(const Asm& a) {
        int ok = runBytes(a.bytes());
        EXPECT_EQ(ok, 1) << engine->errorBuffer;
        return engine->returnSlot;
    }
    std::string errorText() const { return engine->errorBuffer; }

    // Calls made the way scripts make them; `ok` tells whether the last one completed (else the
    // message is in errorText()).
    static std::vector<ScriptValue> native(const std::vector<ScriptValue>& args) {
        std::vector<ScriptValue> argv = {makeInteger(int64_t(args.size()))};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    // receiver.name(args...)
    ScriptValue method(const ScriptValue& receiver, const char* name,
                       const std::vector<ScriptValue>& args = {}) {
        std::vector<ScriptValue> argv = native(args);
        ok = callMethod(engine, receiver, name, uint32_t(argv.size()), argv.data());
        return engine->returnSlot;
    }
    // `new Name(args...)` through the class's construct hook.
    ScriptValue construct(const char* className, const std::vector<ScriptValue>& args = {}) {
        ScriptValue cls = getGlobal(engine, className);
        std::vector<ScriptValue> argv = native(args);
        ScriptValue result = makeUndefined();
        ok = guardHostCall(
            engine, [&] { cls.host->cls->construct(engine, cls.host->cls, argv.data(), &result); });
        return result;
    }

    static void collectTrace(ScriptEngine*, void* user, const ScriptValue* argv) {
        static_cast<EngineTest*>(user)->trace.push_back(str(argv[1]));
    }

    ScriptEngine* engine = nullptr;
    std::vector<std::string> trace;
    int ok = 0;
};

}  // namespace quill::test
