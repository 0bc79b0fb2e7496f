// Automation dates against script time values (see ole_date.h).
#include "host/com/ole_date.h"

#include <cmath>

namespace quill::com {

namespace {

constexpr double kMsPerDay = 86400000.0;

}  // namespace

double oleDateToTimeValue(double days, double epochTimeValue) {
    if (!std::isfinite(days)) return days;
    // The day part counts from the epoch; the fraction always moves forward into that day.
    double whole = std::trunc(days);
    double fraction = std::fabs(days - whole);
    double ms = std::round(whole * kMsPerDay + fraction * kMsPerDay);
    return epochTimeValue + ms;
}

double timeValueToOleDate(double timeValue, double epochTimeValue) {
    if (!std::isfinite(timeValue)) return timeValue;
    double ms = std::round(timeValue - epochTimeValue);
    if (ms >= 0) return ms / kMsPerDay;
    double day = std::floor(ms / kMsPerDay);
    double intoDay = ms - day * kMsPerDay;
    if (intoDay == 0) return day;
    return day - intoDay / kMsPerDay;
}

}  // namespace quill::com
