// The Date text parser (words, zones, numbers placed by size and by the character after them,
// comments) and the calendar arithmetic under it, checked against a day-by-day walk.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "builtins/date_calendar.h"
#include "builtins/date_parse.h"

using namespace quill::date;

namespace {

constexpr double kJuly9 = 994667415000.0;  // Mon, 09 Jul 2001 08:30:15 GMT
constexpr double kHour = 3600000.0;

// The parsed time value, or NaN when the text does not parse.
double parse(std::string_view text, int32_t bias = 0) {
    double t = 0;
    return parseDateText(text, bias, &t) ? t : NAN;
}

bool fails(std::string_view text) {
    return std::isnan(parse(text));
}

TEST(DateParse, TheUsualFormsAndZones) {
    EXPECT_EQ(parse("Mon, 09 Jul 2001 08:30:15 GMT"), kJuly9);
    EXPECT_EQ(parse("Mon, 09 Jul 2001 08:30:15 PDT"), kJuly9 + 7 * kHour);
    const struct {
        const char* zone;
        int hours;
    } zones[] = {{"UT", 0},  {"UTC", 0}, {"gmt", 0}, {"EST", 5}, {"EDT", 4}, {"CST", 6},
                 {"CDT", 5}, {"MST", 7}, {"MDT", 6}, {"PST", 8}, {"pdt", 7}};
    for (const auto& z : zones) {
        EXPECT_EQ(parse(std::string("Jul 9 2001 08:30:15 ") + z.zone), kJuly9 + z.hours * kHour)
            << z.zone;
    }
    EXPECT_EQ(parse("Mon, 09 Jul 2001 08:30:15 -0700"), kJuly9 + 7 * kHour);
    EXPECT_EQ(parse("Mon, 09 Jul 2001 08:30:15 +0530"), kJuly9 - 5.5 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 GMT+0200"), kJuly9 - 2 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 GMT+5"), kJuly9 - 5 * kHour) << "below 24: hours";
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 GMT+05:30"), kJuly9 - 5.5 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 GMT-03:30"), kJuly9 + 3.5 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 UTC+00:30"), kJuly9 - 0.5 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 08:30:15 GMT +0100"), kJuly9 - kHour)
        << "a zero offset may be refined";
    EXPECT_TRUE(fails("Jul 9 2001 08:30:15 PDT +0100")) << "a second non-zero offset";
    EXPECT_TRUE(fails("Jul 9 2001 08:30:15 -0700 -0100"));

    // Without a zone the text is local time: the bias is added.
    EXPECT_EQ(parse("Mon, 09 Jul 2001 08:30:15", 480), kJuly9 + 8 * kHour);
    EXPECT_EQ(parse("7/9/2001", -330), 994636800000.0 - 5.5 * kHour);
    EXPECT_EQ(parse("7/9/2001 GMT", -330), 994636800000.0);
}

TEST(DateParse, NumbersBySizeAndBySuccessor) {
    EXPECT_EQ(parse("7/9/2001"), 994636800000.0);
    EXPECT_EQ(parse("7/9/01"), parse("7/9/1901")) << "a small year after a slash";
    EXPECT_EQ(parse("1/2/70"), 86400000.0) << "70 and above are years";
    EXPECT_EQ(parse("12/31/69"), -86400000.0);
    EXPECT_EQ(parse("July 9, 2001"), 994636800000.0);
    EXPECT_EQ(parse("9 July 2001"), 994636800000.0);
    EXPECT_EQ(parse("2001 July 9"), 994636800000.0);
    EXPECT_EQ(parse("Jul 9 99"), parse("Jul 9 1999"));
    EXPECT_EQ(parse("10:15:30 Jul 9 2001"), 994636800000.0 + 10 * kHour + 930000);
    EXPECT_EQ(parse("Jul 9 2001 8:30"), 994636800000.0 + 8.5 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 10:15 PM"), 994636800000.0 + 22.25 * kHour);
    EXPECT_EQ(parse("Jul 9 2001 12:00 AM"), 994636800000.0);
    EXPECT_EQ(parse("Jul 9 2001 12:00 pm"), 994636800000.0 + 12 * kHour);
    EXPECT_EQ(parse("Jul 0 2001"), parse("Jun 30 2001")) << "fields carry like the constructor";
    EXPECT_EQ(parse("Jul 9 2001 -"), 994636800000.0) << "a sign without a digit is skipped";
    EXPECT_EQ(parse("Jul 9 2001 (comment (nested) more)"), 994636800000.0);
    EXPECT_EQ(parse("Jul 9 2001 (never closed"), 994636800000.0);
    EXPECT_EQ(parse("Tues Sept 9 2003"), parse("Sep 9 2003"));
    EXPECT_EQ(parse("ju 9 2001"), parse("jul 9 2001")) << "the later entry wins";
    EXPECT_EQ(parse("ma 9 2001"), parse("may 9 2001"));
    EXPECT_EQ(parse("MAR 9 2001"), parse("march 9 2001"));

    for (const char* bad : {"",
                            "   ",
                            "Jul 9",
                            "Jul 2001",
                            "9 2001",
                            "Jul 9 2001 2002",
                            "Jul Aug 9 2001",
                            "2001-07-09",
                            "Jul 9 2001 x",
                            "Jul 9 2001 Z",
                            "Julyy 9 2001",
                            "Mon. Jul 9 2001",
                            "Jul 9 2001 )",
                            "Jul 9 2001 13:00 PM",
                            "Jul 9 2001 PM",
                            "Jul 9 2001 10:15:30:45",
                            "1/2/3/4 2001",
                            "Jul 9 2001 10x",
                            "Jul 9 1999:",
                            "Jul 9 2001 T10:00",
                            "Jul 9 2001 \xE9t\xE9"}) {
        EXPECT_TRUE(fails(bad)) << bad;
    }
    // Huge numbers saturate: the text parses, the value is out of range for the caller.
    EXPECT_FALSE(inTimeRange(parse("Jul 9 99999999999999999999999")));
    EXPECT_TRUE(fails("Jul 9999999999999999999999 2001"));
}

// A plain walk through the calendar, one day at a time.
struct Walk {
    int64_t year = 0, month = 0, date = 1;
    void next() {
        static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int length = kDays[month] + (month == 1 && isLeapYear(year) ? 1 : 0);
        if (++date > length) {
            date = 1;
            if (++month == 12) {
                month = 0;
                ++year;
            }
        }
    }
};

TEST(DateCalendar, SplitAndMakeAgreeWithADayByDayWalk) {
    Walk walk;  // 1 January of year 0 is day -719528
    for (int64_t day = -719528; day < 1000000; ++day, walk.next()) {
        double t = double(day) * kMsPerDay + 45296789.0;  // 12:34:56.789
        Fields f = splitTime(t);
        ASSERT_EQ(f.year, walk.year) << day;
        ASSERT_EQ(f.month, walk.month) << day;
        ASSERT_EQ(f.date, walk.date) << day;
        ASSERT_EQ(f.weekday, ((day + 4) % 7 + 7) % 7);
        ASSERT_EQ(makeDay(double(walk.year), double(walk.month), double(walk.date)), double(day));
    }
    Fields f = splitTime(-1);
    EXPECT_EQ(f.year, 1969);
    EXPECT_EQ(f.hours, 23);
    EXPECT_EQ(f.ms, 999.0);
    f = splitTime(kMaxTimeValue - 1);  // the last millisecond never rounds into the next day
    EXPECT_EQ(f.date, 12);
    EXPECT_EQ(f.month, 8);
    EXPECT_EQ(f.hours, 23);
    EXPECT_EQ(f.seconds, 59);
    f = splitTime(-kMaxTimeValue);
    EXPECT_EQ(f.year, -271821);
    EXPECT_EQ(f.month, 3);
    EXPECT_EQ(f.date, 20);
    EXPECT_EQ(f.weekday, 2);
    EXPECT_EQ(splitTime(1.75).ms, 1.75);
    EXPECT_EQ(splitTime(-0.25).ms, 999.75);
}

TEST(DateCalendar, MakeCarriesAndRefusesTheImpossible) {
    EXPECT_EQ(makeDay(2001, 12, 1), makeDay(2002, 0, 1));
    EXPECT_EQ(makeDay(2001, -1, 1), makeDay(2000, 11, 1));
    EXPECT_EQ(makeDay(2001, -13, 1), makeDay(1999, 11, 1));
    EXPECT_EQ(makeDay(2001, 1, 29), makeDay(2001, 2, 1));
    EXPECT_EQ(makeDay(2000, 1, 29) + 1, makeDay(2000, 2, 1));
    EXPECT_EQ(makeDay(1970, 0, -364), -365.0);
    EXPECT_TRUE(std::isnan(makeDay(NAN, 0, 1)));
    EXPECT_TRUE(std::isnan(makeDay(1e300, 0, 1)));
    EXPECT_TRUE(std::isnan(makeDay(2001, INFINITY, 1)));
    EXPECT_TRUE(std::isnan(makeDay(2001, 1e300, 1)));
    EXPECT_FALSE(inTimeRange(makeDate(makeDay(2001, 0, 1e300), 0)));
    EXPECT_TRUE(std::isnan(makeTime(0, 0, -INFINITY, 0)));
    EXPECT_TRUE(std::isnan(makeDate(NAN, 0)));
    EXPECT_EQ(makeTime(1, 2, 3, 4), 3723004.0);
    EXPECT_EQ(makeTime(-1, 0, 0, 0), -kHour);
    EXPECT_TRUE(inTimeRange(kMaxTimeValue));
    EXPECT_TRUE(inTimeRange(-kMaxTimeValue));
    EXPECT_FALSE(inTimeRange(kMaxTimeValue + 1));
    EXPECT_FALSE(inTimeRange(NAN));
}

}  // namespace
