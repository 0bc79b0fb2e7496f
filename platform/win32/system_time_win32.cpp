// The system clock and the standard-time bias on Windows: the zone's Bias plus its
// StandardBias, never the daylight figures.
#include <windows.h>

#include "platform/system_time.h"

namespace quill::platform {

int64_t currentTimeMillis() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // 100-nanosecond ticks since 1601-01-01; 11644473600 seconds lie between 1601 and 1970.
    return int64_t(ticks / 10000) - int64_t(11644473600000);
}

int32_t standardTimeBiasMinutes() {
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
    return static_cast<int32_t>(zone.Bias + zone.StandardBias);
}

}  // namespace quill::platform
