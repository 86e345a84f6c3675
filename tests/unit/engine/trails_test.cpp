// Visits and trails: following clients and closing visits, alone and through the
// accounting of whole entries, where a repeat is recognised by the document the latest
// step names, across periods, hidden documents and suffixes, exactly as by comparing the
// texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "core/sarray.h"
#include "engine/engine.h"
#include "log/log.h"

namespace {

// An entry of 10 March 2024 at the given minute of the day (may run past midnight).
LogEntry entryAt(const char *site, const char *url, int minute, const char *referer = "") {
    LogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    std::snprintf(entry.site, sizeof entry.site, "%s", site);
    std::snprintf(entry.url, sizeof entry.url, "%s", url);
    std::snprintf(entry.referer, sizeof entry.referer, "%s", referer);
    std::snprintf(entry.authuser, sizeof entry.authuser, "-");
    std::snprintf(entry.proxyHost, sizeof entry.proxyHost, "-");
    entry.year = 2024;
    entry.month = 3;
    entry.day = 10 + minute / 1440;
    entry.hour = minute % 1440 / 60;
    entry.minute = minute % 60;
    entry.result = 200;
    entry.size = 10;
    return entry;
}

// The day number of the entry's date, which the read loop hands on.
int dayOf(const LogEntry &entry) {
    return dateToDay(entry.month, entry.day, entry.year);
}

void access(const char *site, const char *url, int minute, const char *referer = "") {
    LogEntry entry = entryAt(site, url, minute, referer);
    trailAccess(entry, dayOf(entry));
}

class Trails : public ::testing::Test {
  protected:
    void SetUp() override {
        globalSetup();
        hashSetup(activeTrails, 1, 3);
        hashSetup(completeTrails, 1, 3);
        totalVisits = totalVisitDurations = longestVisitDuration = 0;
        trailsFlag = visitsFlag = 1;
        referersInVisitsFlag = 1;
        trailTimeout = 5;
        trailMinimumSteps = 3;
        topTrails = 10;
        exampleVisits = 10;
    }
    void TearDown() override {
        hashShutdown(activeTrails);
        hashShutdown(completeTrails);
        globalShutdown();
    }
    static double cell(const char *trail, int column) {
        double value = -1;
        hashGetDouble(completeTrails, trail, column, &value);
        return value;
    }
};

TEST_F(Trails, ThreeStepsMakeOneVisitWithItsDuration) {
    access("h", "/a", 0);
    access("h", "/b", 2);
    access("h", "/c", 4);
    analyzeTrails();
    ASSERT_EQ(completeTrails.count, 1);
    EXPECT_STREQ(completeTrails.keys[0], "/a, /b, /c");
    EXPECT_STREQ(completeTrails.strings[0][0], "h");
    EXPECT_EQ(cell("/a, /b, /c", 0), 1);
    EXPECT_EQ(cell("/a, /b, /c", 1), 4);
    EXPECT_EQ(cell("/a, /b, /c", 2), 4);
    EXPECT_EQ(totalVisits, 1);
    EXPECT_EQ(totalVisitDurations, 4);
    EXPECT_EQ(longestVisitDuration, 4);
}

TEST_F(Trails, APauseOfExactlyTheTimeoutContinuesTheVisit) {
    access("h", "/a", 1435);  // 23:55
    access("h", "/b", 1440);  // midnight
    access("h", "/c", 1445);
    access("h", "/d", 1451);  // 6 minutes: a new visit
    EXPECT_EQ(totalVisits, 1);
    EXPECT_EQ(cell("/a, /b, /c", 1), 10);
    analyzeTrails();
    EXPECT_EQ(totalVisits, 2);
    EXPECT_EQ(completeTrails.count, 1);
}

TEST_F(Trails, RepeatsAreOneStepAndDoNotMoveTheLatestTime) {
    access("h", "/a", 0);
    access("h", "/a", 1);
    access("h", "/b", 2);
    ASSERT_EQ(activeTrails.count, 1);
    EXPECT_STREQ(activeTrails.strings[0][0], "/a, /b");
    EXPECT_EQ(activeTrails.doubles[0][1], 2);

    access("k", "/a", 0);
    access("k", "/a", 4);
    access("k", "/b", 8);  // 8 minutes after the step at 0
    EXPECT_EQ(totalVisits, 1);
    int row = hashFind(activeTrails, "k");
    EXPECT_STREQ(activeTrails.strings[row][0], "/b");
}

TEST_F(Trails, ARepeatIsTheWholeLatestStep) {
    access("h", "/x /b", 0);  // a decoded blank inside a document
    access("h", "/b", 1);
    access("h", "/b", 2);
    EXPECT_STREQ(activeTrails.strings[0][0], "/x /b, /b");
    EXPECT_EQ(activeTrails.doubles[0][1], 2);
}

TEST_F(Trails, ShortVisitsCountButAddNoDuration) {
    access("h", "/a", 0);
    access("h", "/b", 3);
    analyzeTrails();
    EXPECT_EQ(totalVisits, 1);
    EXPECT_EQ(totalVisitDurations, 0);
    EXPECT_EQ(longestVisitDuration, 0);
    EXPECT_EQ(completeTrails.count, 0);
}

TEST_F(Trails, LinesOutOfTimeOrderNeverGiveANegativeDuration) {
    access("h", "/a", 10);
    access("h", "/b", 8);  // a slow request logged late with its start time
    access("h", "/c", 12);
    analyzeTrails();
    EXPECT_EQ(cell("/a, /b, /c", 1), 2);
    EXPECT_GE(totalVisitDurations, 0);
}

TEST_F(Trails, ANewPeriodStartsFromEmptyTables) {
    for (int i = 0; i < 50; i++) access("old", ("/page" + std::to_string(i)).c_str(), i % 5);
    analyzeTrails();
    hashReset(activeTrails);
    hashReset(completeTrails);
    totalVisits = 0;
    access("new", "/x", 0);
    access("new", "/y", 1);
    EXPECT_STREQ(activeTrails.keys[0], "new");
    EXPECT_STREQ(activeTrails.strings[0][0], "/x, /y");
}

TEST_F(Trails, AVeryLongVisitKeepsEveryStep) {
    std::string expected;
    const int steps = 20000;
    for (int i = 0; i < steps; i++) {
        std::string url = "/p" + std::to_string(i);
        access("crawler", url.c_str(), i / 1000);
        expected += (i ? ", " : "") + url;
    }
    ASSERT_EQ(activeTrails.count, 1);
    EXPECT_EQ(activeTrails.doubles[0][1], steps);
    EXPECT_EQ(std::string(activeTrails.strings[0][0]), expected);
    analyzeTrails();
    EXPECT_EQ(completeTrails.count, 1);
    EXPECT_EQ(std::string(completeTrails.keys[0]), expected);
}

class TrailsThroughAccounting : public ::testing::Test {
  protected:
    void SetUp() override {
        globalSetup();
        frequency = FREQ_WEEKLY;
        trailsFlag = visitsFlag = 1;
        referersInVisitsFlag = 1;
        trailTimeout = 5;
        trailMinimumSteps = 2;
        epochSetup();
        start = epochAlign(dateToDay(3, 10, 2024));
    }
    void TearDown() override {
        epochShutdown();
        globalShutdown();
    }
    void access(const char *site, const char *url, int minute, const char *referer = "") {
        LogEntry entry = entryAt(site, url, minute, referer);
        accountEntry(entry, start, dayOf(entry));
    }
    const char *trailOf(const char *site) {
        int row = hashFind(activeTrails, site);
        return row < 0 ? nullptr : activeTrails.strings[row][0];
    }
    int start = 0;
};

TEST_F(TrailsThroughAccounting, RepeatsOfTheLatestDocumentAreOneStep) {
    access("h", "/a", 0);
    access("k", "/b", 0);
    access("h", "/a", 1);  // repeat
    access("h", "/b", 2);
    access("h", "/a", 3);  // not a repeat: the latest step is /b
    access("h", "/a", 4);
    access("k", "/b", 1, "http://ref/");  // repeat, the referrer changes nothing
    EXPECT_STREQ(trailOf("h"), "/a, /b, /a");
    EXPECT_EQ(activeTrails.doubles[hashFind(activeTrails, "h")][1], 3);
    EXPECT_STREQ(trailOf("k"), "/b");
}

TEST_F(TrailsThroughAccounting, AVisitStartedFromAReferrerRepeatsItsDocument) {
    access("h", "/a", 0, "http://ref/a");
    access("h", "/a", 1, "http://ref/a");
    access("h", "http://ref/a", 2);  // the referrer's text as a document is a new step
    EXPECT_STREQ(trailOf("h"), "http://ref/a, /a, http://ref/a");
}

TEST_F(TrailsThroughAccounting, SuffixesAndHiddenDocumentsAreSeenAsTheAccountingSeesThem) {
    stringArrayAppend(suffixes, "index.html");
    stringArrayAppend(hidden, "*.gif");
    access("h", "/docs/index.html", 0);
    access("h", "/docs/", 1);     // the same document once the suffix is cut
    access("h", "/logo.gif", 2);  // hidden: counted, but no step
    access("h", "/docs/index.html", 3);
    access("h", "/next", 4);
    EXPECT_STREQ(trailOf("h"), "/docs/, /next");
    EXPECT_EQ(hashFind(documents, "/logo.gif"), 1);
}

// Document rows are numbered again in every period: a repeat must never be taken from
// a row number of the period before.
TEST_F(TrailsThroughAccounting, ANewPeriodNumbersDocumentsAfresh) {
    access("h", "/a", 0);
    access("h", "/b", 1);
    analyzeTrails();
    epochReset();
    access("k", "/b", 10);  // documents row 0 now, as /a was before
    access("k", "/a", 11);  // row 1, as /b was before
    access("h", "/a", 12);
    access("h", "/b", 13);
    access("h", "/b", 14);
    EXPECT_STREQ(trailOf("k"), "/b, /a");
    EXPECT_STREQ(trailOf("h"), "/a, /b");
    analyzeTrails();
    EXPECT_EQ(totalVisits, 2);
}

// The same visits, followed with the document rows and with text comparison alone,
// give the same trails.
TEST_F(TrailsThroughAccounting, RowsAndTextsAgree) {
    const char *docs[] = {"/a", "/b", "/c", "/a b", "/b, /a"};
    std::string viaRows, viaTexts;
    for (int pass = 0; pass < 2; pass++) {
        unsigned seed = 7;
        for (int i = 0; i < 3000; i++) {
            seed = seed * 1103515245u + 12345u;
            char site[16];
            std::snprintf(site, sizeof site, "s%u", (seed >> 8) % 7);
            LogEntry entry =
                entryAt(site, docs[(seed >> 16) % 5], i / 40, (seed & 64) ? "http://r/" : "");
            if (pass == 0)
                accountEntry(entry, start, dayOf(entry));
            else
                trailAccess(entry, dayOf(entry));
        }
        analyzeTrails();
        std::string &out = pass == 0 ? viaRows : viaTexts;
        for (int row = 0; row < completeTrails.count; row++)
            out += std::string(completeTrails.keys[row]) + "=" +
                   std::to_string(completeTrails.doubles[row][0]) + "\n";
        out += std::to_string(totalVisits);
        epochReset();
    }
    EXPECT_GT(viaRows.size(), 100u);
    EXPECT_EQ(viaRows, viaTexts);
}

}  // namespace
