// Day numbers, weekdays, month steps, typed dates and the date template; the calendar
// beyond 2999.
#include "core/dates.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string format(const char *pattern, int dayNumber) {
    char out[64];
    formatDate(out, sizeof out, dayNumber, pattern);
    return out;
}

// The leap rule: 366 days when divisible by 4 and not by 100, or by 400 and not by 1000,
// or by 4000.
int ruleLength(int year) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || (year % 400 == 0 && year % 1000 != 0) ||
                year % 4000 == 0;
    return leap ? 366 : 365;
}

TEST(Dates, RoundTripEveryDayFrom1971To2999) {
    int expected = 0;
    for (int year = 1971; year <= 2999; year++) {
        bool leap = ruleLength(year) == 366;
        for (int month = 1; month <= 12; month++) {
            int length = months[month] + (month == 2 && leap);
            ASSERT_EQ(monthLength(expected), length);
            for (int day = 1; day <= length; day++, expected++) {
                ASSERT_EQ(dateToDay(month, day, year), expected)
                    << month << '/' << day << '/' << year;
                int m, d, y;
                dayToDate(expected, &m, &d, &y);
                ASSERT_TRUE(m == month && d == day && y == year) << expected;
            }
        }
    }
}

TEST(Dates, CalendarRuleAndEdges) {
    EXPECT_EQ(dateToDay(12, 31, 1970), -1);
    int m = 9, d = 9, y = 9;
    dayToDate(-1, &m, &d, &y);
    EXPECT_TRUE(m == 0 && d == 0 && y == 0);
    EXPECT_EQ(dateToDay(3, 1, 1996) - dateToDay(2, 28, 1996), 2);
    EXPECT_EQ(dateToDay(3, 1, 2000) - dateToDay(2, 28, 2000), 1);  // 2000 has 365 days
    EXPECT_EQ(dateToDay(2, 29, 2000), dateToDay(3, 1, 2000));
    // Months outside 1..12 carry into the year instead of reading past the month table.
    EXPECT_EQ(dateToDay(13, 1, 1997), dateToDay(1, 1, 1998));
    EXPECT_EQ(dateToDay(0, 1, 1997), dateToDay(12, 1, 1996));
    // Absurd years neither overflow nor hang.
    EXPECT_EQ(dateToDay(1, 1, 2147483647), 2147483647);
    dayToDate(2147483647, &m, &d, &y);
    EXPECT_GT(y, 5000000);

    int day = dateToDay(12, 1, 1997);
    advanceMonth(&day);
    EXPECT_EQ(day, dateToDay(1, 1, 1998));
    day = dateToDay(2, 28, 2000);
    advanceMonth(&day);
    EXPECT_EQ(day, dateToDay(3, 1, 2000));
}

TEST(Dates, WeekdaysFollowWeekStart) {
    EXPECT_EQ(dateToWeekday(1, 1, 1971, 0), 5);
    EXPECT_EQ(dateToWeekday(1, 1, 1971, 1), 4);
    EXPECT_EQ(dateToWeekday(1, 1, 1971, 6), 6);
    EXPECT_EQ(dateToWeekday(12, 31, 1970, 0), 4);  // negative day numbers too
}

TEST(Dates, ParseDate) {
    int christmas = dateToDay(12, 25, 1997);
    EXPECT_EQ(parseDate("12/25/97", 2024), christmas);
    EXPECT_EQ(parseDate("12-25-1997", 2024), christmas);
    EXPECT_EQ(parseDate("12/25", 2024), dateToDay(12, 25, 2024));
    EXPECT_EQ(parseDate("1/2/49", 2024), dateToDay(1, 2, 2049));
    EXPECT_EQ(parseDate("12", 2024), -1);
    EXPECT_EQ(parseDate("x", 2024), -1);
    EXPECT_EQ(parseDate("13/01/97", 2024), -1);
    EXPECT_EQ(parseDate("0/01/97", 2024), -1);
}

TEST(Dates, Templates) {
    int day = dateToDay(10, 3, 1997);
    EXPECT_EQ(format(nullptr, day), "10/03/97");
    EXPECT_EQ(format("yyyy-mm-dd", day), "1997-10-03");
    EXPECT_EQ(format("dd.mm.yy", day), "03.10.97");
    EXPECT_EQ(format("MM mm/mm yyyyy", day), "MM 10/10 1997y");

    std::string longTemplate = std::string(400, 'x') + "yyyy";
    char *text = nullptr;
    size_t size = 0;
    FILE *file = open_memstream(&text, &size);
    printDate(file, day, longTemplate.c_str());
    std::fclose(file);
    EXPECT_EQ(size, 255u);  // cut at the 256-byte buffer, not overrun
    std::free(text);
}

// Beyond 2999 every year has 365 or 366 days by the leap rule, and every day number
// converts to a date and back to itself. A year such as 3000 must not lose two days, or
// its last dates would name the first days of the next year.
TEST(CalendarBeyond2999, YearLengthsFollowTheLeapRule) {
    for (int year = 1971; year <= 12000; ++year)
        ASSERT_EQ(dateToDay(1, 1, year + 1) - dateToDay(1, 1, year), ruleLength(year)) << year;
}

TEST(CalendarBeyond2999, EveryDayConvertsBackToItself) {
    for (int first : {2990, 4990, 8990}) {
        for (int day = dateToDay(1, 1, first); day < dateToDay(1, 1, first + 20); ++day) {
            int month = 0, dayOfMonth = 0, year = 0;
            dayToDate(day, &month, &dayOfMonth, &year);
            ASSERT_EQ(dateToDay(month, dayOfMonth, year), day)
                << month << "/" << dayOfMonth << "/" << year;
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
