// Fuzz target: compiled module bytes through the lister, the reader, the loader with its
// verifier, and the interpreter. A module that loads may still be hostile, so the step budget
// and the heap limit apply as for source text.
#include <cstdint>

#include "fuzz/fuzz_engine.h"
#include "runtime/module.h"

using namespace quill;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    uint64_t hash = fuzz::inputHash(data, size);
    if (hash & 1) listModule(data, size);
    fuzz::FuzzEngine fuzzEngine(hash % 8 == 2 ? fuzz::FuzzLimits::stressed() : fuzz::FuzzLimits());
    runModule(fuzzEngine.get(), data, size);
    fuzzEngine.expectUsable();
    return 0;
}
