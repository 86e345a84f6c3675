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

TEST(EngineEpoch, WeeksBeginOnTheConfiguredWeekday) {
    FrequencyGuard guard;
    frequency = FREQ_WEEKLY;
    // 3 March 2024 and 5 March 2000 were Sundays, 26 December 1999 too; 29 February 2000
    // has no day number of its own, so that week is one day short.
    int sunday = dateToDay(3, 3, 2024);
    for (int start = 0; start < 7; ++start) {
        weekStart = start;
        for (int d = sunday; d < sunday + 7; ++d) {
            int aligned = epochAlign(d);
            EXPECT_EQ(aligned, d - (d - sunday - start + 7) % 7) << start << " " << d;
            EXPECT_EQ(dateToWeekday(3, 3 + d - sunday, 2024, start), (d - sunday - start + 7) % 7);
            EXPECT_EQ(epochAdvance(aligned), aligned + 7);
        }
    }
    weekStart = 1;
    EXPECT_EQ(epochAlign(sunday), dateToDay(2, 26, 2024));
    weekStart = 0;
    EXPECT_EQ(dayToWeekday(dateToDay(3, 5, 2000)), 0);
    EXPECT_EQ(dayToWeekday(dateToDay(12, 26, 1999)), 0);
    EXPECT_EQ(dayToWeekday(dateToDay(1, 1, 1971)), 5);
    EXPECT_EQ(epochAlign(dateToDay(3, 1, 2000)), dateToDay(2, 27, 2000));
    EXPECT_EQ(epochAdvance(dateToDay(2, 27, 2000)), dateToDay(3, 5, 2000));
    // A bridging week that starts on a Wednesday runs to the Saturday.
    EXPECT_EQ(epochAdvance(sunday + 3), sunday + 7);
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
