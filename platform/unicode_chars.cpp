// Lookups in the generated Unicode tables: binary searches over short run lists, small enough to
// stay in cache and identical on every target.
#include "platform/unicode_chars.h"

#include "platform/unicode_tables.h"

namespace quill::platform {

namespace {

char16_t mapUnit(const tables::CaseRange* ranges, uint32_t count, char16_t c) {
    // The last range whose first unit is <= c.
    uint32_t lo = 0, hi = count;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (ranges[mid].first <= c) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0) return c;
    const tables::CaseRange& r = ranges[lo - 1];
    if (c > r.last || (c - r.first) % r.stride != 0) return c;
    return static_cast<char16_t>(int32_t(c) + r.delta);
}

}  // namespace

char16_t toUpperUnit(char16_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? char16_t(c - 32) : c;
    return mapUnit(tables::kUpperRanges, tables::kUpperRangesCount, c);
}

char16_t toLowerUnit(char16_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
    return mapUnit(tables::kLowerRanges, tables::kLowerRangesCount, c);
}

uint16_t charClasses(char16_t c) {
    uint32_t lo = 0, hi = tables::kClassRunCount;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (tables::kClassRuns[mid].first <= c) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo == 0 ? 0 : tables::kClassRuns[lo - 1].mask;
}

}  // namespace quill::platform
