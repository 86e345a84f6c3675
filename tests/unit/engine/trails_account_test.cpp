// Visits followed through the accounting of whole entries: a repeat is recognised by
// the document the latest step names, across periods, hidden documents and suffixes,
// exactly as by comparing the texts.
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
        accountEntry(entry, start);
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
    access("h", "/docs/", 1);         // the same document once the suffix is cut
    access("h", "/logo.gif", 2);      // hidden: counted, but no step
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
            LogEntry entry = entryAt(site, docs[(seed >> 16) % 5], i / 40, (seed & 64) ? "http://r/" : "");
            if (pass == 0)
                accountEntry(entry, start);
            else
                trailAccess(entry);
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
