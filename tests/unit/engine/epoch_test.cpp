// Alignment of days to periods and the step to the next period.
#include <gtest/gtest.h>

#include "config/global.h"
#include "core/dates.h"
#include "engine/engine.h"

namespace {

struct FrequencyGuard {
    int f = frequency, w = weekStart;
    ~FrequencyGuard() {
        frequency = f;
        weekStart = w;
    }
};

int weekday(int day) { return ((day + 5) % 7 + 7) % 7; }  // 0 Sunday in the program's calendar

TEST(EngineEpoch, WeeklyAlignmentFollowsWeekStart) {
    FrequencyGuard guard;
    frequency = FREQ_WEEKLY;
    int day = dateToDay(5, 14, 2015);
    for (int start = 0; start < 7; ++start) {
        weekStart = start;
        int aligned = epochAlign(day);
        EXPECT_LE(aligned, day);
        EXPECT_GT(aligned, day - 7);
        EXPECT_EQ(weekday(aligned), start);
        EXPECT_EQ(dateToWeekday(5, 14, 2015), day - aligned);
        EXPECT_EQ(epochAlign(aligned + 6), aligned);  // last day of the week
        EXPECT_EQ(epochAlign(aligned + 7), aligned + 7);
        EXPECT_EQ(epochAdvance(aligned), aligned + 7);
    }
    weekStart = 0;
    int sundayStart = epochAlign(day);
    weekStart = 1;
    EXPECT_EQ(epochAlign(day), sundayStart + 1 > day ? sundayStart - 6 : sundayStart + 1);
}

TEST(EngineEpoch, MonthlyAlignmentAndAdvance) {
    FrequencyGuard guard;
    frequency = FREQ_MONTHLY;
    EXPECT_EQ(epochAlign(dateToDay(1, 31, 2024)), dateToDay(1, 1, 2024));
    EXPECT_EQ(epochAlign(dateToDay(2, 1, 2024)), dateToDay(2, 1, 2024));
    EXPECT_EQ(epochAlign(dateToDay(2, 29, 2024)), dateToDay(2, 1, 2024));
    EXPECT_EQ(epochAdvance(dateToDay(1, 1, 2024)), dateToDay(2, 1, 2024));
    EXPECT_EQ(epochAdvance(dateToDay(12, 1, 2023)), dateToDay(1, 1, 2024));
}

TEST(EngineEpoch, DailyAndSummaryKeepTheDay) {
    FrequencyGuard guard;
    for (int f : {FREQ_DAILY, FREQ_SUMMARY}) {
        frequency = f;
        int day = dateToDay(7, 4, 2020);
        EXPECT_EQ(epochAlign(day), day);
        EXPECT_EQ(epochAdvance(day), day + 1);
    }
}

}  // namespace
