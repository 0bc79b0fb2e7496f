// Benchmarks over compiled scripts: an engine runs a setup script once, then each case times
// calls of one of its functions with an integer argument.
#pragma once

#include <benchmark/benchmark.h>

#include "compiler/compile_driver.h"
#include "runtime/script_engine.h"

namespace quill {

class ScriptBench {
  public:
    explicit ScriptBench(const char* setup, const EngineConfig& config = EngineConfig()) {
        engine_ = createEngine(config);
        ok_ = engine_ && runScriptText(engine_, setup);
    }
    ~ScriptBench() { destroyEngine(engine_); }
    ScriptBench(const ScriptBench&) = delete;
    ScriptBench& operator=(const ScriptBench&) = delete;

    void run(benchmark::State& state, const char* function, int64_t argument = 0) {
        if (!ok_) {
            state.SkipWithError(engine_ ? engine_->errorBuffer : "no engine");
            return;
        }
        ScriptValue argv[2] = {makeInteger(1), makeInteger(argument)};
        for (auto _ : state) {
            if (!callFunction(engine_, function, nullptr, 2, argv)) {
                state.SkipWithError(engine_->errorBuffer);
                break;
            }
            benchmark::DoNotOptimize(engine_->returnSlot.i);
        }
    }

  private:
    ScriptEngine* engine_ = nullptr;
    bool ok_ = false;
};

}  // namespace quill
