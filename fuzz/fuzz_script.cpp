// Fuzz target: source text through the compiler and the interpreter. Some inputs (chosen by
// their hash, so a run stays reproducible) compile with debug information, list the module, or
// run with the collector at every collection point.
#include <cstdint>
#include <string_view>
#include <vector>

#include "compiler/compile_driver.h"
#include "fuzz/fuzz_engine.h"
#include "runtime/module.h"

using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    uint64_t hash = fuzz::inputHash(data, size);
    fuzz::FuzzEngine fuzzEngine(hash % 8 == 0 ? fuzz::FuzzLimits::stressed() : fuzz::FuzzLimits());
    ScriptEngine* engine = fuzzEngine.get();

    std::string_view text(reinterpret_cast<const char*>(data), size);
    uint32_t options = engineCompileOptions(engine);
    if (hash & 0x10) options |= kCompileDebugInfo;
    std::vector<uint8_t> module;
    if (compileText(engine, text, options, &module)) {
        if (hash & 0x20) listModule(module.data(), module.size());
        runModule(engine, module.data(), module.size());
    }
    fuzzEngine.expectUsable();
    return 0;
}
