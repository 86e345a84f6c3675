// Day numbers (day 0 is 1 January 1971), their conversions and printed forms.
#pragma once
#include <cstddef>
#include <cstdio>

extern const int months[13];

int dateToDay(int month, int day, int year);
// The weekday of the date counted from weekStart (0 Sunday to 6 Saturday): 0 is the first
// day of the week.
int dateToWeekday(int month, int day, int year, int weekStart);
// 0 Sunday to 6 Saturday: the weekday of the date the day number names.
int dayToWeekday(int dayNumber);
void dayToDate(int dayNumber, int *month, int *day, int *year);
void advanceMonth(int *dayNumber);
int monthLength(int dayNumber);
// The day number of a date typed by the user, or -1; a date without a year is in
// currentYear.
int parseDate(const char *text, int currentYear);
// The date of the day number in the template (null for "mm/dd/yy"), into out of size
// bytes and cut to fit. Returns the length of the whole date, which is the template's
// (as snprintf does, so formatDate(nullptr, 0, ...) + 1 is the size that holds it).
std::size_t formatDate(char *out, std::size_t size, int dayNumber, const char *format);
// The same date written to the file, cut at 255 characters.
void printDate(FILE *file, int dayNumber, const char *format);
