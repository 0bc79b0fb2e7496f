// The layout of the generated Unicode tables (platform/unicode_tables.cpp, written by
// tools/gen_unicode_tables.py). Only platform/unicode_chars.cpp reads them.
#pragma once

#include <cstdint>

namespace quill::platform::tables {

// Code units first..last map to unit + delta; with stride 2 only every second unit from `first`.
struct CaseRange {
    uint16_t first;
    uint16_t last;
    int32_t delta;
    uint16_t stride;
};

// Every unit from `first` up to the next run's first has the class bits `mask`.
struct ClassRun {
    uint16_t first;
    uint16_t mask;
};

extern const CaseRange kUpperRanges[];
extern const uint32_t kUpperRangesCount;
extern const CaseRange kLowerRanges[];
extern const uint32_t kLowerRangesCount;
extern const ClassRun kClassRuns[];
extern const uint32_t kClassRunCount;

}  // namespace quill::platform::tables
