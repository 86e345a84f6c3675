// Day numbers (day 0 is 1 January 1971) and their conversions: dates, weekdays, month
// steps, dates typed by the user, and the printed date template.
//
// The calendar gives a year 366 days when it is divisible by 4 and not by 100, or by 400
// and not by 1000, or by 4000. It agrees with the Gregorian calendar from 1971 to 2999
// except for 2000, which has 365 days here; day numbers name the report pages, so every
// conversion keeps this rule. The leap days up to a year are counted by inclusion and
// exclusion: multiples of 4, less those of 100, plus those of 400, less those of 2000
// (divisible by 400 and by 1000), plus those of 4000; 477 is that count for 1970. Up to
// 2999 this gives the same day numbers as subtracting the multiples of 1000 (with 476),
// which would wrongly give 3000, 5000, 7000 ... 364 days.
#include "core/dates.h"

#include <climits>
#include <cstdint>
#include <cstring>

const int months[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

namespace {

// Days before the first of each month in a common year.
constexpr int kMonthStart[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

const char *const kDefaultTemplate = "mm/dd/yy";

int yearLength(int64_t year) {
    // Years divisible by both 400 and 1000 are those divisible by 2000.
    return 365 + (year % 4 == 0) - (year % 100 == 0) + (year % 400 == 0) - (year % 2000 == 0) +
           (year % 4000 == 0);
}

int monthDays(int month, int length) {
    return months[month] + (month == 2 && length != 365 ? 1 : 0);
}

int clampDay(int64_t day) {
    if (day > INT_MAX) return INT_MAX;
    if (day < INT_MIN) return INT_MIN;
    return static_cast<int>(day);
}

// Replaces every occurrence of token by the number printed with the token's width;
// a number wider than the token is cut to it.
void replaceToken(char *out, const char *token, const char *format, int number) {
    std::size_t width = std::strlen(token);
    char digits[16];
    std::snprintf(digits, sizeof digits, format, number);
    for (char *at = std::strstr(out, token); at; at = std::strstr(at + width, token))
        std::memcpy(at, digits, width);
}

}  // namespace

// A month outside 1..12 is carried into the year (month 13 is January of the next year),
// so the month table is never read outside its bounds.
int dateToDay(int month, int day, int year) {
    int64_t y = year;
    int64_t m = month;
    if (m < 1 || m > 12) {
        int64_t shift = (m - 1) / 12;
        if ((m - 1) % 12 < 0) shift--;
        y += shift;
        m -= shift * 12;
    }
    int64_t b = (m <= 2) ? y - 1 : y;
    int64_t days = (y - 1971) * 365 + b / 4 - b / 100 + b / 400 - b / 2000 + b / 4000 - 477 +
                   kMonthStart[m] + static_cast<int64_t>(day) - 1;
    return clampDay(days);
}

// The weekday of the date itself, 0 Sunday, by the Gregorian calendar. Day numbers skip
// 29 February 2000 (and differ again after 2999), so a weekday taken from the day number
// alone would be a day behind from March 2000 on.
static int gregorianWeekday(int64_t month, int64_t day, int64_t year) {
    static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 1 || month > 12) return 0;
    if (month < 3) year -= 1;
    int64_t w = year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day;
    return static_cast<int>((w % 7 + 7) % 7);
}

int dayToWeekday(int dayNumber) {
    if (dayNumber < 0) return static_cast<int>(((static_cast<int64_t>(dayNumber) + 5) % 7 + 7) % 7);
    int month = 0, day = 0, year = 0;
    dayToDate(dayNumber, &month, &day, &year);
    return gregorianWeekday(month, day, year);
}

int dateToWeekday(int month, int day, int year, int weekStart) {
    int w = dayToWeekday(dateToDay(month, day, year));
    int start = ((weekStart % 7) + 7) % 7;
    return (w + 7 - start) % 7;
}

void dayToDate(int dayNumber, int *month, int *day, int *year) {
    int m = 0, d = 0, y = 0;
    if (dayNumber >= 0) {
        // Start the walk at a year that cannot be too late: no year has more than 366 days.
        int64_t walk = 1971 + dayNumber / 366;
        int64_t count = dateToDay(1, 1, static_cast<int>(walk));
        int length;
        for (;;) {
            length = yearLength(walk);
            if (count + length > dayNumber) break;
            count += length;
            walk++;
        }
        int rest = static_cast<int>(dayNumber - count);
        m = 1;
        while (rest >= monthDays(m, length)) {
            rest -= monthDays(m, length);
            m++;
        }
        d = rest + 1;
        y = static_cast<int>(walk);
    }
    if (month) *month = m;
    if (day) *day = d;
    if (year) *year = y;
}

void advanceMonth(int *dayNumber) {
    if (!dayNumber) return;
    int start = *dayNumber;
    int month, day, year;
    dayToDate(start, &month, &day, &year);
    for (int step = 1; step <= 32; step++) {
        if (start > INT_MAX - step) break;
        int nextMonth;
        dayToDate(start + step, &nextMonth, &day, &year);
        if (nextMonth != month) {
            *dayNumber = start + step;
            return;
        }
    }
    *dayNumber = start > INT_MAX - 32 ? INT_MAX : start + 32;
}

int monthLength(int dayNumber) {
    int month, day, year;
    dayToDate(dayNumber, &month, &day, &year);
    if (month >= 1) return monthDays(month, yearLength(year));
    return 0;
}

// A month outside 1..12 is refused, so "-b 13/01/97" is reported rather than read as a
// date in another year.
int parseDate(const char *text, int currentYear) {
    if (!text) return -1;
    int month = 0, day = 0, year = 0;
    int found = std::sscanf(text, "%d/%d/%d", &month, &day, &year);
    if (found < 2) found = std::sscanf(text, "%d-%d-%d", &month, &day, &year);
    if (found < 2) return -1;
    if (found == 2) {
        year = currentYear;
    } else if (year <= 49) {
        year += 2000;
    } else if (year <= 99) {
        year += 1900;
    }
    if (month < 1 || month > 12) return -1;
    return dateToDay(month, day, year);
}

std::size_t formatDate(char *out, std::size_t size, int dayNumber, const char *format) {
    if (!format) format = kDefaultTemplate;
    std::size_t length = std::strlen(format);
    if (!out || size == 0) return length;
    std::snprintf(out, size, "%s", format);
    int month, day, year;
    dayToDate(dayNumber, &month, &day, &year);
    replaceToken(out, "mm", "%02d", month);
    replaceToken(out, "dd", "%02d", day);
    replaceToken(out, "yyyy", "%04d", year);
    replaceToken(out, "yy", "%02d", year % 100);
    return length;
}

void printDate(FILE *file, int dayNumber, const char *format) {
    char text[256];
    formatDate(text, sizeof text, dayNumber, format);
    std::fprintf(file, "%s", text);
}
