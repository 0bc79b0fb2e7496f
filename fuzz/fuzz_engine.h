// What every fuzz target shares: an engine that cannot run away (a step budget through the
// collection hook and the clock, a heap limit, a small value stack, no file writes), text made
// from fuzz bytes, and the check that an engine still works after whatever the input did to it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/script_engine.h"

namespace quill::fuzz {

struct FuzzLimits {
    // Hook calls (collection points, and every 4096 backward jumps or calls) before the hook
    // stops the script.
    uint32_t hookCalls = 2000;
    // Wall-clock time after which the hook stops the script whatever the count (a loop whose
    // body warns or calls slow natives runs long between two hook calls).
    double seconds = 1.0;
    size_t heapBytes = size_t(24) << 20;
    uint32_t stackSlots = 4096;
    bool gcStress = false;

    // Collector stress mode. Stress collections trace the whole heap each time, so the heap and
    // the budget are kept small.
    static FuzzLimits stressed() {
        FuzzLimits limits;
        limits.gcStress = true;
        limits.heapBytes = size_t(4) << 20;
        limits.hookCalls = 1500;
        return limits;
    }
};

// One engine per input, so that every run is reproducible from its input alone (short of the
// clock). While it lives, opening files for writing fails, the fuzzer's own findings excepted:
// scripts under fuzzing can name any path.
class FuzzEngine {
  public:
    explicit FuzzEngine(const FuzzLimits& limits = FuzzLimits());
    ~FuzzEngine();
    FuzzEngine(const FuzzEngine&) = delete;
    FuzzEngine& operator=(const FuzzEngine&) = delete;

    ScriptEngine* get() const { return engine_; }
    // Each host entry point the target makes gets the whole budget again.
    void refill() {
        used_ = 0;
        start_ = std::chrono::steady_clock::now();
    }
    // Collects everything unreachable, then runs a small script. Anything but its value (or a
    // heap that is still full) means the input left the engine broken: the process aborts so
    // that the fuzzer records the input.
    void expectUsable();

  private:
    static int hook(int reason, void* user);

    ScriptEngine* engine_ = nullptr;
    uint32_t used_ = 0;
    uint32_t limit_ = 0;
    double seconds_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// Aborts with a message: a property a target checks does not hold.
[[noreturn]] void fail(const char* what, std::string_view detail = {});

// Reads fields from fuzz bytes. Text maps each byte to the UTF-16 unit of the same value,
// except that 0xFE takes the next two bytes as one unit (little-endian), so that any unit can be
// reached; 0xFF ends a field.
class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    // The next byte, 0 at the end.
    uint8_t byte();
    // Text up to the next 0xFF (taken) or the end.
    std::u16string field();
    // All the remaining bytes as text (0xFF included as a unit).
    std::u16string rest();
    // The remaining bytes as they are.
    std::string_view restBytes() const;

  private:
    std::u16string text(bool stopAtSeparator);

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// 64-bit FNV-1a of the input, for choices that must not cost the input any of its bytes.
uint64_t inputHash(const uint8_t* data, size_t size);

// Readable text of a value for failure messages (no conversions that could run scripts).
std::string describe(const ScriptValue& value);

}  // namespace quill::fuzz
