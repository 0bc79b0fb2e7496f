// The system clock and the standard-time bias on POSIX systems. The bias is found by probing the
// zone in mid-January and mid-July: the smaller offset east of UTC is standard time, whichever
// hemisphere the zone is in and whichever way the zone database flags its seasons.
#include <time.h>

#include "platform/system_time.h"

namespace quill::platform {

int64_t currentTimeMillis() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000 + int64_t(now.tv_nsec) / 1000000;
}

int32_t standardTimeBiasMinutes() {
    tzset();
    time_t now = time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    // Noon UTC on the 15th of January and of July of this year: far from any transition.
    struct tm probe {};
    probe.tm_year = utc.tm_year;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    probe.tm_mon = 0;
    time_t january = timegm(&probe);
    probe = {};
    probe.tm_year = utc.tm_year;
    probe.tm_mday = 15;
    probe.tm_hour = 12;
    probe.tm_mon = 6;
    time_t july = timegm(&probe);

    struct tm local {};
    if (!localtime_r(&january, &local)) return 0;
    int64_t eastSeconds = local.tm_gmtoff;
    if (localtime_r(&july, &local) && local.tm_gmtoff < eastSeconds) eastSeconds = local.tm_gmtoff;
    return static_cast<int32_t>(-eastSeconds / 60);
}

}  // namespace quill::platform
