// Automation dates (days since 1899-12-30 as a double) against script time values
// (milliseconds). Portable arithmetic, kept apart from the COM code so it is tested everywhere.
#pragma once

namespace quill::com {

// An automation date counts whole days from its epoch, and its fraction is the time of that day
// whatever the sign: -1.25 is 06:00 of the day before the epoch, not 18:00 two days before. Both
// conversions take the time value of the epoch (midnight of 1899-12-30 on the script's time
// scale) and round to whole milliseconds. Values that are not finite come back unchanged.
double oleDateToTimeValue(double days, double epochTimeValue);
double timeValueToOleDate(double timeValue, double epochTimeValue);

// 1899-12-30 00:00 UTC as a time value.
constexpr double kOleEpochUtc = -2209161600000.0;

}  // namespace quill::com
