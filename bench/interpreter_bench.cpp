// Interpreter micro-benchmarks over modules built with the writer: call-heavy recursion and a
// tight integer loop.
#include <benchmark/benchmark.h>

#include "runtime/module.h"
#include "runtime/script_engine.h"

using namespace quill;

namespace {

std::vector<uint8_t> fibModule(int n) {
    std::vector<Instruction> a;
    auto op = [&](uint8_t o, int32_t v = 0) { a.push_back(Instruction::op(o, 0, v)); };
    a.push_back(Instruction::functionStart("fib"));
    op(OP_LOAD_ARG, 1), op(OP_ADD_TWO), op(OP_ADJUST_ARGS, 3);
    op(OP_LOAD_ARG, 2), op(OP_PUSH_2), op(OP_LT);
    a.push_back(Instruction::jump(OP_JUMP_IF_ZERO, 1));
    op(OP_LOAD_ARG, 2), op(OP_RETURN);
    a.push_back(Instruction::label(1));
    for (int k = 1; k <= 2; ++k) {
        op(OP_LOAD_ARG, 2), op(k == 1 ? OP_PUSH_1 : OP_PUSH_2), op(OP_SUB), op(OP_PUSH_1);
        a.push_back(Instruction::name(OP_LOAD_GLOBAL, "fib"));
        op(OP_CALL), op(OP_COLLAPSE, 3);
    }
    op(OP_ADD), op(OP_RETURN);
    a.push_back(Instruction::functionStart(".main"));
    op(OP_PUSH_INT, n), op(OP_PUSH_1);
    a.push_back(Instruction::name(OP_LOAD_GLOBAL, "fib"));
    op(OP_CALL), op(OP_COLLAPSE, 3);
    return writeModule(a, WriteOptions());
}

// function loop() { var i = 0, s = 0; while (i < n) { s = s + i; i++; } return s; }
std::vector<uint8_t> loopModule(int n) {
    std::vector<Instruction> a;
    auto op = [&](uint8_t o, int32_t v = 0) { a.push_back(Instruction::op(o, 0, v)); };
    a.push_back(Instruction::functionStart("loop"));
    op(OP_LOAD_ARG, 1), op(OP_ADD_TWO), op(OP_ADJUST_ARGS, 2), op(OP_RESERVE_LOCALS, 2);
    op(OP_PUSH_0), op(OP_STORE_LOCAL, 0), op(OP_PUSH_0), op(OP_STORE_LOCAL, 1);
    a.push_back(Instruction::label(1));
    op(OP_LOAD_LOCAL, 0), op(OP_PUSH_INT, n), op(OP_LT);
    a.push_back(Instruction::jump(OP_JUMP_IF_ZERO, 2));
    op(OP_LOAD_LOCAL, 1), op(OP_LOAD_LOCAL, 0), op(OP_ADD), op(OP_STORE_LOCAL, 1);
    op(OP_LOAD_LOCAL, 0), op(OP_PUSH_1), op(OP_ADD), op(OP_STORE_LOCAL, 0);
    a.push_back(Instruction::jump(OP_JUMP, 1));
    a.push_back(Instruction::label(2));
    op(OP_LOAD_LOCAL, 1), op(OP_RETURN);
    a.push_back(Instruction::functionStart(".main"));
    op(OP_PUSH_0);
    a.push_back(Instruction::name(OP_LOAD_GLOBAL, "loop"));
    op(OP_CALL), op(OP_COLLAPSE, 2);
    return writeModule(a, WriteOptions());
}

void runOnce(benchmark::State& state, const std::vector<uint8_t>& module, int64_t expect) {
    EngineConfig config;
    config.stackSlots = 100000;
    ScriptEngine* engine = createEngine(config);
    for (auto _ : state) {
        if (!runModule(engine, module.data(), module.size()) || engine->returnSlot.i != expect) {
            state.SkipWithError(engine->errorBuffer);
            break;
        }
    }
    destroyEngine(engine);
}

void BM_RecursiveFib25(benchmark::State& state) {
    runOnce(state, fibModule(25), 75025);
}
void BM_IntegerLoop10M(benchmark::State& state) {
    runOnce(state, loopModule(10000000), 49999995000000LL);
}

}  // namespace

BENCHMARK(BM_RecursiveFib25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IntegerLoop10M)->Unit(benchmark::kMillisecond);
