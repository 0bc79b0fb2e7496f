// The generator behind Math.random: the 48-bit linear congruential recurrence of the C library's
// drand48 family, so a given seed always gives the same, known sequence.
#pragma once

#include <cstdint>

#include "runtime/script_engine.h"

namespace quill {

struct Random48 {
    static constexpr uint64_t kMask = (uint64_t(1) << 48) - 1;
    uint64_t state = 0x330E;

    // The seeding of srand48: the 32-bit seed in the high bits, 0x330E in the low 16.
    void seed(uint32_t seed) { state = ((uint64_t(seed) << 16) | 0x330E) & kMask; }
    // The next value in [0, 1): the new 48-bit state over 2^48, exact in a double.
    double next() {
        state = (0x5DEECE66DULL * state + 0xB) & kMask;
        return static_cast<double>(state) / 281474976710656.0;
    }
};

// Reseeds this engine's Math generator (Math seeds itself from the clock when registered);
// for tests that need a known sequence. Returns false when Math is not registered.
bool seedMathRandom(ScriptEngine* engine, uint32_t seed);

}  // namespace quill
