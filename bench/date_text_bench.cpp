// Micro-benchmarks of the text-heavy globals and Date members, called the way the interpreter
// calls natives: Date.parse and toString, parseInt, and the URI coders over a 1 KB text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "runtime/script_engine.h"

using namespace quill;

namespace {

class Engine {
  public:
    Engine() : engine_(createEngine()) {}
    ~Engine() { destroyEngine(engine_); }
    ScriptEngine* get() const { return engine_; }

  private:
    ScriptEngine* engine_;
};

void callOnce(benchmark::State& state, ScriptEngine* engine, const ScriptValue* receiver,
              const char* name, ScriptValue argument) {
    ScriptValue argv[2] = {makeInteger(1), argument};
    RootedValues keep(engine, argv, 2);
    for (auto _ : state) {
        int ok = receiver ? callMethod(engine, *receiver, name, 2, argv)
                          : callFunction(engine, name, nullptr, 2, argv);
        if (!ok) state.SkipWithError(engine->errorBuffer);
        benchmark::DoNotOptimize(engine->returnSlot);
        // Nothing collects outside the interpreter; start over now and then to bound memory.
        if (engine->heap.bytesSinceCollect > (size_t(64) << 20)) collect(engine, engine->stackTop);
    }
}

void BM_DateParse(benchmark::State& state) {
    Engine e;
    ScriptValue cls = getGlobal(e.get(), "Date");
    callOnce(state, e.get(), &cls, "parse",
             newStringFromAscii(e.get(), "Mon, 09 Jul 2001 08:30:15 GMT+05:30 (India)"));
}
BENCHMARK(BM_DateParse);

void BM_DateToString(benchmark::State& state) {
    Engine e;
    ScriptValue argv[2] = {makeInteger(1), makeInteger(994667415123)};
    ScriptValue cls = getGlobal(e.get(), "Date");
    ScriptValue date = makeUndefined();
    cls.host->cls->construct(e.get(), cls.host->cls, argv, &date);
    RootedValues keep(e.get(), &date, 1);
    callOnce(state, e.get(), &date, "toString", makeUndefined());
}
BENCHMARK(BM_DateToString);

void BM_ParseInt(benchmark::State& state) {
    Engine e;
    callOnce(state, e.get(), nullptr, "parseInt", newStringFromAscii(e.get(), "  -0x7FFFFFFF1F"));
}
BENCHMARK(BM_ParseInt);

void BM_EncodeURIComponent(benchmark::State& state) {
    Engine e;
    std::u16string text;
    for (int k = 0; k < 1024; ++k)
        text.push_back(static_cast<char16_t>(k % 7 == 0 ? 0x20AC : 'a' + k % 26));
    callOnce(state, e.get(), nullptr, "encodeURIComponent", newString(e.get(), text));
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048);
}
BENCHMARK(BM_EncodeURIComponent);

void BM_DecodeURIComponent(benchmark::State& state) {
    Engine e;
    std::string text;
    for (int k = 0; k < 1024; ++k)
        text += k % 7 == 0 ? "%E2%82%AC" : std::string(1, char('a' + k % 26));
    callOnce(state, e.get(), nullptr, "decodeURIComponent", newStringFromAscii(e.get(), text));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()) * 2);
}
BENCHMARK(BM_DecodeURIComponent);

}  // namespace
