// Visits and trails: following clients, closing visits, and the two page sections.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/global.h"
#include "engine/engine.h"
#include "log/log.h"

namespace {

// An entry of 10 March 2024 at the given minute of the day (may run past midnight).
LogEntry entryAt(const char *site, const char *url, int minute, const char *referer = "")
{
    LogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    std::snprintf(entry.site, sizeof entry.site, "%s", site);
    std::snprintf(entry.url, sizeof entry.url, "%s", url);
    std::snprintf(entry.referer, sizeof entry.referer, "%s", referer);
    entry.year = 2024;
    entry.month = 3;
    entry.day = 10 + minute / 1440;
    entry.hour = minute % 1440 / 60;
    entry.minute = minute % 60;
    entry.result = 200;
    return entry;
}

void access(const char *site, const char *url, int minute, const char *referer = "")
{
    LogEntry entry = entryAt(site, url, minute, referer);
    trailAccess(entry);
}

std::string pageOf(void (*section)(FILE *, int))
{
    char *buffer = nullptr;
    std::size_t size = 0;
    FILE *page = open_memstream(&buffer, &size);
    section(page, 0);
    std::fclose(page);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

class Trails : public ::testing::Test {
protected:
    void SetUp() override
    {
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
    void TearDown() override
    {
        hashShutdown(activeTrails);
        hashShutdown(completeTrails);
        globalShutdown();
    }
    static double cell(const char *trail, int column)
    {
        double value = -1;
        hashGetDouble(completeTrails, trail, column, &value);
        return value;
    }
};

TEST_F(Trails, ThreeStepsMakeOneVisitWithItsDuration)
{
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

TEST_F(Trails, APauseOfExactlyTheTimeoutContinuesTheVisit)
{
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

TEST_F(Trails, RepeatsAreOneStepAndDoNotMoveTheLatestTime)
{
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

TEST_F(Trails, ARepeatIsTheWholeLatestStep)
{
    access("h", "/x /b", 0);  // a decoded blank inside a document
    access("h", "/b", 1);
    access("h", "/b", 2);
    EXPECT_STREQ(activeTrails.strings[0][0], "/x /b, /b");
    EXPECT_EQ(activeTrails.doubles[0][1], 2);
}

TEST_F(Trails, ShortVisitsCountButAddNoDuration)
{
    access("h", "/a", 0);
    access("h", "/b", 3);
    analyzeTrails();
    EXPECT_EQ(totalVisits, 1);
    EXPECT_EQ(totalVisitDurations, 0);
    EXPECT_EQ(longestVisitDuration, 0);
    EXPECT_EQ(completeTrails.count, 0);
}

TEST_F(Trails, LinesOutOfTimeOrderNeverGiveANegativeDuration)
{
    access("h", "/a", 10);
    access("h", "/b", 8);  // a slow request logged late with its start time
    access("h", "/c", 12);
    analyzeTrails();
    EXPECT_EQ(cell("/a, /b, /c", 1), 2);
    EXPECT_GE(totalVisitDurations, 0);
}

TEST_F(Trails, ANewPeriodStartsFromEmptyTables)
{
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

TEST_F(Trails, AVeryLongVisitKeepsEveryStep)
{
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

TEST_F(Trails, TrailsSectionRanksAndEscapes)
{
    trailMinimumSteps = 1;
    access("a", "/one", 0);            // 1 visit
    access("b", "/<script>", 0);       // 2 visits
    access("c", "/<script>", 0);
    access("d", "/two", 0);            // 1 visit, after /one
    analyzeTrails();
    topTrails = 2;
    std::string page = pageOf(trailsReport);
    EXPECT_NE(page.find("<h3>Top 2 of 3 Document Trails</h3>"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    std::size_t first = page.find("/&lt;script&gt;");
    std::size_t second = page.find("/one");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_EQ(page.find("/two"), std::string::npos);
    EXPECT_NE(page.find("<td align=\"right\">1</td><td>/&lt;script&gt;</td>"
                        "<td align=\"right\">2</td><td align=\"right\">0.00</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 8), "</table>");

    topTrails = COUNT_ALL;
    page = pageOf(trailsReport);
    EXPECT_EQ(page.find("<h3>Document Trails</h3>"), 0u);
    EXPECT_NE(page.find("/two"), std::string::npos);

    trailsFlag = 0;
    EXPECT_EQ(pageOf(trailsReport), "");
}

TEST_F(Trails, VisitsSectionShowsTotalsAndEvenlySpreadExamples)
{
    EXPECT_EQ(pageOf(visitsReport), "");  // no visits, no section
    trailMinimumSteps = 1;
    for (int i = 0; i < 25; i++) {
        std::string site = "s" + std::to_string(i) + ".example";
        std::string url = "/" + std::to_string(i);
        access(site.c_str(), url.c_str(), 0);
        access(site.c_str(), "/end", i % 4);
    }
    analyzeTrails();
    ASSERT_EQ(completeTrails.count, 25);
    std::string page = pageOf(visitsReport);
    EXPECT_EQ(page.find("<h3>Visits Report</h3>Total visits: 25<br>"), 0u);
    EXPECT_NE(page.find("Average visit: 1.44 minutes<br>Longest visit: 3 minutes<br>"),
              std::string::npos);
    EXPECT_NE(page.find("<h4>10 Example Visits</h4>"), std::string::npos);
    std::vector<int> shown;
    for (std::size_t at = page.find("<td>s"); at != std::string::npos; at = page.find("<td>s", at + 1))
        shown.push_back(std::atoi(page.c_str() + at + 5));
    EXPECT_EQ(shown, (std::vector<int>{0, 2, 5, 7, 10, 12, 15, 17, 20, 22}));
    EXPECT_NE(page.find("<tr><td>s7.example</td><td align=\"right\">3</td><td>/7, /end</td></tr>"),
              std::string::npos);

    exampleVisits = COUNT_ALL;
    page = pageOf(visitsReport);
    EXPECT_NE(page.find("<h4>All Unique Visits (One Occurrence of Each)</h4>"), std::string::npos);
    EXPECT_NE(page.find("s24.example"), std::string::npos);

    exampleVisits = 0;
    page = pageOf(visitsReport);
    EXPECT_EQ(page.find("<table"), std::string::npos);
    EXPECT_NE(page.find("Longest visit"), std::string::npos);

    visitsFlag = 0;
    EXPECT_EQ(pageOf(visitsReport), "");
}

}  // namespace
