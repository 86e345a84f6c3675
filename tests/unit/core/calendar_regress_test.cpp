// The calendar beyond 2999: every year has 365 or 366 days by the leap rule (366 when
// divisible by 4 and not by 100, or by 400 and not by 1000, or by 4000), and every day
// number converts to a date and back to itself. A year such as 3000 must not lose two
// days, or its last dates would name the first days of the next year.
#include <gtest/gtest.h>

#include "core/dates.h"

namespace {

int ruleLength(int year) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || (year % 400 == 0 && year % 1000 != 0) || year % 4000 == 0;
    return leap ? 366 : 365;
}

TEST(CalendarBeyond2999, YearLengthsFollowTheLeapRule) {
    for (int year = 1971; year <= 12000; ++year)
        ASSERT_EQ(dateToDay(1, 1, year + 1) - dateToDay(1, 1, year), ruleLength(year)) << year;
}

TEST(CalendarBeyond2999, EveryDayConvertsBackToItself) {
    for (int first : {2990, 4990, 8990}) {
        for (int day = dateToDay(1, 1, first); day < dateToDay(1, 1, first + 20); ++day) {
            int month = 0, dayOfMonth = 0, year = 0;
            dayToDate(day, &month, &dayOfMonth, &year);
            ASSERT_EQ(dateToDay(month, dayOfMonth, year), day) << month << "/" << dayOfMonth << "/" << year;
        }
    }
    EXPECT_EQ(monthLength(dateToDay(2, 1, 3000)), 28);
    int month = 0, day = 0, year = 0;
    dayToDate(dateToDay(12, 31, 3000), &month, &day, &year);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 31);
    EXPECT_EQ(year, 3000);
}

}  // namespace
