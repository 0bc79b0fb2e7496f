// The calendar arithmetic behind Date: time values in milliseconds since 1970-01-01 UTC split into
// and built from their fields (proleptic Gregorian calendar, no leap seconds, no zone).
#pragma once

#include <cmath>
#include <cstdint>

namespace quill::date {

constexpr double kMsPerDay = 86400000.0;
// No time value may lie further from the epoch than this (100,000,000 days).
constexpr double kMaxTimeValue = 8.64e15;

inline bool inTimeRange(double t) {
    return std::isfinite(t) && std::fabs(t) <= kMaxTimeValue;
}

struct Fields {
    int64_t year;
    int32_t month;  // 0 to 11
    int32_t date;   // 1 to 31
    int32_t hours;
    int32_t minutes;
    int32_t seconds;
    double ms;        // 0 to below 1000; keeps a fraction of a millisecond
    int32_t weekday;  // 0 is Sunday
};

// The fields of a time value within the valid range (give or take a zone's adjustment).
Fields splitTime(double t);

// Day number of the first day of a year (day 0 is 1970-01-01).
int64_t dayFromYear(int64_t year);
bool isLeapYear(int64_t year);

// The constructors of a time value. Any argument that is not finite, or a year too far from the
// epoch for any valid time value, gives NaN; callers reject results outside kMaxTimeValue.
double makeTime(double hours, double minutes, double seconds, double ms);
// Whole years are carried out of the month first (month taken modulo 12, made non-negative).
double makeDay(double year, double month, double date);
double makeDate(double day, double time);

// The whole time value from all seven fields.
inline double makeDateTime(double year, double month, double date, double hours, double minutes,
                           double seconds, double ms) {
    return makeDate(makeDay(year, month, date), makeTime(hours, minutes, seconds, ms));
}

}  // namespace quill::date
