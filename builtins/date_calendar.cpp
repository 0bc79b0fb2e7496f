// Calendar arithmetic for Date. Days are derived with exact remainders rather than divisions, so
// a time one millisecond before midnight never rounds into the next day.
#include "builtins/date_calendar.h"

namespace quill::date {

namespace {

constexpr int32_t kMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// Beyond this many years from the epoch no day can be a valid time value; refusing them early
// keeps the year arithmetic in exact integers.
constexpr double kYearLimit = 1000000.0;

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

int64_t floorMod(int64_t a, int64_t b) {
    return a - floorDiv(a, b) * b;
}

// a modulo b with a result in [0, b); exact for any finite a.
double positiveMod(double a, double b) {
    double r = std::fmod(a, b);
    return r < 0 ? r + b : r;
}

int64_t yearFromDay(int64_t day) {
    // 146097 days make 400 years; the estimate is off by at most one year either way.
    int64_t year = floorDiv(day * 400, 146097) + 1970;
    while (dayFromYear(year) > day) --year;
    while (dayFromYear(year + 1) <= day) ++year;
    return year;
}

}  // namespace

bool isLeapYear(int64_t year) {
    return floorMod(year, 4) == 0 && (floorMod(year, 100) != 0 || floorMod(year, 400) == 0);
}

int64_t dayFromYear(int64_t year) {
    return 365 * (year - 1970) + floorDiv(year - 1969, 4) - floorDiv(year - 1901, 100) +
           floorDiv(year - 1601, 400);
}

Fields splitTime(double t) {
    Fields f{};
    double withinDay = positiveMod(t, kMsPerDay);
    auto day = static_cast<int64_t>((t - withinDay) / kMsPerDay);
    f.year = yearFromDay(day);
    auto dayInYear = static_cast<int32_t>(day - dayFromYear(f.year));
    const int32_t* starts = kMonthStart[isLeapYear(f.year) ? 1 : 0];
    int32_t month = 0;
    while (month < 11 && dayInYear >= starts[month + 1]) ++month;
    f.month = month;
    f.date = dayInYear - starts[month] + 1;
    f.weekday = static_cast<int32_t>(floorMod(day + 4, 7));
    auto wholeMs = static_cast<int64_t>(withinDay);  // below 86,400,000
    f.hours = static_cast<int32_t>(wholeMs / 3600000);
    f.minutes = static_cast<int32_t>(wholeMs / 60000 % 60);
    f.seconds = static_cast<int32_t>(wholeMs / 1000 % 60);
    f.ms = positiveMod(withinDay, 1000.0);
    return f;
}

double makeTime(double hours, double minutes, double seconds, double ms) {
    if (!std::isfinite(hours) || !std::isfinite(minutes) || !std::isfinite(seconds) ||
        !std::isfinite(ms)) {
        return NAN;
    }
    return hours * 3600000.0 + minutes * 60000.0 + seconds * 1000.0 + ms;
}

double makeDay(double year, double month, double date) {
    if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return NAN;
    double wholeYear = year + std::floor(month / 12.0);
    if (std::fabs(wholeYear) > kYearLimit) return NAN;
    auto y = static_cast<int64_t>(wholeYear);
    auto m = static_cast<int32_t>(positiveMod(month, 12.0));
    double first = static_cast<double>(dayFromYear(y) + kMonthStart[isLeapYear(y) ? 1 : 0][m]);
    return first + date - 1.0;
}

double makeDate(double day, double time) {
    if (!std::isfinite(day) || !std::isfinite(time)) return NAN;
    return day * kMsPerDay + time;
}

}  // namespace quill::date
