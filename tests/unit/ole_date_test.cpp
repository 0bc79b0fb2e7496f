// Automation dates against script time values: whole days and times of day on both sides of the
// 1899-12-30 epoch, where the fraction of a negative date still counts forward into its day.
#include <gtest/gtest.h>

#include <cmath>

#include "host/com/ole_date.h"

namespace quill::com {
namespace {

constexpr double kDay = 86400000.0;
constexpr double kEpoch = kOleEpochUtc;

TEST(OleDateTest, DaysAfterTheEpochCountForward) {
    EXPECT_EQ(oleDateToTimeValue(0, kEpoch), kEpoch);
    EXPECT_EQ(oleDateToTimeValue(25569, kEpoch), 0);                  // 1970-01-01
    EXPECT_EQ(oleDateToTimeValue(36526.75, kEpoch), 946749600000.0);  // 2000-01-01 18:00
    EXPECT_EQ(timeValueToOleDate(0, kEpoch), 25569);
    EXPECT_EQ(timeValueToOleDate(946749600000.0, kEpoch), 36526.75);
}

TEST(OleDateTest, NegativeDatesKeepTheirTimeOfDayForward) {
    // -1.25 is 06:00 on the day before the epoch, not 18:00 two days before.
    EXPECT_EQ(oleDateToTimeValue(-1.25, kEpoch), kEpoch - kDay + 0.25 * kDay);
    EXPECT_EQ(timeValueToOleDate(kEpoch - kDay + 0.25 * kDay, kEpoch), -1.25);
    // -0.5 and 0.5 both mean noon of the epoch day.
    EXPECT_EQ(oleDateToTimeValue(-0.5, kEpoch), kEpoch + 0.5 * kDay);
    EXPECT_EQ(timeValueToOleDate(kEpoch - 0.25 * kDay, kEpoch), -1.75);
    EXPECT_EQ(timeValueToOleDate(kEpoch - 2 * kDay, kEpoch), -2);
}

TEST(OleDateTest, TimesRoundToWholeMillisecondsAndRoundTrip) {
    // 10:30:15.123 on 2024-02-29: the date's binary fraction is not exact.
    double t = 1709202615123.0;
    double days = timeValueToOleDate(t, kEpoch);
    EXPECT_EQ(oleDateToTimeValue(days, kEpoch), t);
    for (double ms : {-5e12, -2209161600001.0, -1.0, 1.0, 253402300799999.0}) {
        EXPECT_EQ(oleDateToTimeValue(timeValueToOleDate(ms, kEpoch), kEpoch), ms) << ms;
    }
    // Another epoch (a zone east of UTC) shifts every date by the same amount.
    EXPECT_EQ(oleDateToTimeValue(25569, kEpoch - 3600000), -3600000);
}

TEST(OleDateTest, ValuesThatAreNotFiniteStayAsTheyAre) {
    EXPECT_TRUE(std::isnan(oleDateToTimeValue(std::nan(""), kEpoch)));
    EXPECT_TRUE(std::isinf(timeValueToOleDate(INFINITY, kEpoch)));
}

}  // namespace
}  // namespace quill::com
