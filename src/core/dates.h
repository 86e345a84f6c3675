// Day numbers (day 0 is 1 January 1971), their conversions and printed forms.
#pragma once
#include <cstdio>

extern const int months[13];

int dateToDay(int month, int day, int year);
int dateToWeekday(int month, int day, int year);
// 0 Sunday to 6 Saturday: the weekday of the date the day number names.
int dayToWeekday(int dayNumber);
void dayToDate(int dayNumber, int *month, int *day, int *year);
void advanceMonth(int *dayNumber);
int monthLength(int dayNumber);
int parseDate(const char *text);
void formatDate(char *out, int dayNumber);
void printDate(FILE *file, int dayNumber);
