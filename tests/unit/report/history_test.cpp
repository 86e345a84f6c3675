// The history index: heading, totals rows with group charts, averages and latest
// figures, and the report list with its month and year sub-pages.
#include <string>

#include "core/dates.h"
#include "report_fixture.h"

namespace {

class HistoryTest : public ReportTest {
  protected:
    std::string index() { return readFile(dir.file("index.html")); }
    void touchPage(int start) { writeFile(dir.file(std::to_string(start) + ".html"), "page"); }
    static std::string n(int value) { return std::to_string(value); }
    static std::string cell(const std::string &value) {
        return "<td align=\"right\">" + value + "</td>";
    }
};

TEST_F(HistoryTest, WeeklyAcrossTwoYears) {
    configure("totals\n*.html HTML pages\nend\ntotalsgroup\n/a/* Area A\n/b/* Area B\nend\n");
    // totals: DIVIDER 0, *.html, DIVIDER 2, /a/*, /b/*
    ASSERT_EQ(totals.count, 5);
    int w1 = dateToDay(12, 22, 1996), w2 = dateToDay(12, 29, 1996), w3 = dateToDay(1, 5, 1997);
    addRecord(w1, 7, {0, 0, 70, 700, 0, 0, 7, 0, 14, 0});
    addRecord(w2, 7, {0, 0, 140, 1400, 0, 0, 7, 0, 14, 0});
    addRecord(w3, 7, {0, 0, 210, 2100, 0, 0, 7, 0, 14, 0});
    partialEpoch = w3;
    showPartialEpoch = 1;
    touchPage(w1);
    touchPage(w2);
    touchPage(w3);
    historyReport();
    std::string page = index();

    // Two groups, each with its chart, legend and heading row.
    EXPECT_NE(
        page.find("</table>\n<p><table border=0>\n<tr><td><img src=\"1t.gif\" width=\"400\" "
                  "height=\"300\">\n"
                  "</td><td><font color=\"#9370db\">HTML pages</font><br>\n</td></tr></table><p>\n"
                  "<table border=\"1\"><tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Total "
                  "Bytes</th>"),
        std::string::npos);
    EXPECT_NE(page.find("<img src=\"3t.gif\" width=\"400\" height=\"300\">\n</td><td><font "
                        "color=\"#9370db\">Area "
                        "A</font><br>\n<font color=\"#8b2626\">Area B</font><br>\n</td>"),
              std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("1t.gif")));
    EXPECT_TRUE(fileExists(dir.file("3t.gif")));
    // Totals over all records, the average per complete week, the latest complete week.
    EXPECT_NE(page.find("<tr><td>HTML pages</td>" + cell("420") + cell("4,200") + cell("105") +
                        cell("1,050") + cell("140") + cell("1,400") + "</tr>"),
              std::string::npos);

    int y1996 = dateToDay(1, 1, 1996), y1997 = dateToDay(1, 1, 1997);
    std::string link1997 =
        "<tr><td><a href=\"" + n(y1997) + "h.html\">Reports for the year  1997</a></td></tr>";
    std::string link1996 =
        "<tr><td><a href=\"" + n(y1996) + "h.html\">Reports for the year  1996</a></td></tr>";
    ASSERT_NE(page.find(link1997), std::string::npos);
    ASSERT_NE(page.find(link1996), std::string::npos);
    EXPECT_LT(page.find(link1997), page.find(link1996));

    std::string sub = readFile(dir.file(n(y1996) + "h.html"));
    EXPECT_EQ(
        sub.find(
            "<html><head><title>Reports for the year  1996</title>\n</head><body bgcolor=#FFFFFF>"
            "<h1>Reports for the year  1996</h1>\n<table border=1>"),
        0u);
    EXPECT_NE(sub.find("<tr><td><a href=\"" + n(w2) + ".html\">"), std::string::npos);
    EXPECT_LT(sub.find(n(w2) + ".html"), sub.find(n(w1) + ".html"));
    EXPECT_EQ(sub.substr(sub.size() - 22), "</table></body></html>");
    std::string sub97 = readFile(dir.file(n(y1997) + "h.html"));
    EXPECT_NE(sub97.find("<a href=\"" + n(w3) + ".html\">"), std::string::npos);
    EXPECT_EQ(sub97.find(n(w2) + ".html"), std::string::npos);
}

TEST_F(HistoryTest, ZeroPatternMovesTheGroupChart) {
    configure("nozeroes\ntotalsgroup\n/a/* Area A\n/b/* Area B\nend\n");
    addRecord(dateToDay(1, 5, 1997), 7, {0, 0, 0, 0, 5, 50});
    addRecord(dateToDay(1, 12, 1997), 7, {0, 0, 0, 0, 6, 60});
    historyReport();
    std::string page = index();
    EXPECT_EQ(page.find("1t.gif"), std::string::npos);
    EXPECT_EQ(page.find("Area A"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"2t.gif\" width=\"400\" height=\"300\">\n</td><td><font "
                        "color=\"#9370db\">Area B</font><br>\n</td>"),
              std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("2t.gif")));
}

TEST_F(HistoryTest, LatestIsThePartialPeriodWhenItIsTheOnlyRecord) {
    configure("totals\n*.html HTML\nend\n");
    int week = dateToDay(1, 5, 1997);
    addRecord(week, 7, {0, 0, 9, 90});
    partialEpoch = week;
    showPartialEpoch = 1;
    historyReport();
    EXPECT_NE(index().find("<tr><td>HTML</td>" + cell("9") + cell("90") + cell("") + cell("") +
                           cell("9") + cell("90") + "</tr>"),
              std::string::npos);
}

TEST_F(HistoryTest, WeekBridgingAChangeOfTheWeekstart) {
    // Weeks were stored from Sunday; now they start on Monday, so Sunday 12 January is
    // a week of one day.
    configure("weekstart monday\n");
    int sunday = dateToDay(1, 12, 1997);
    EXPECT_EQ(periodDays(sunday), 1);
    EXPECT_EQ(
        capture([&](FILE *f) { epochHeadingBody(f, sunday, FREQ_WEEKLY, periodDays(sunday)); }),
        "Week of 01/12/97 to 01/12/97\n");
    addRecord(sunday - 7, 7, {});
    addRecord(sunday, 7, {});
    database[1].days = 1;
    touchPage(sunday - 7);
    touchPage(sunday);
    historyReport();
    EXPECT_NE(index().find("History from 01/05/97 -- 01/12/97"), std::string::npos);
    std::string sub = readFile(dir.file(n(dateToDay(1, 1, 1997)) + "h.html"));
    EXPECT_NE(sub.find("Week of 01/05/97 to 01/11/97"), std::string::npos) << sub;
    EXPECT_NE(sub.find("Week of 01/12/97 to 01/12/97"), std::string::npos);
}

TEST_F(HistoryTest, IndexNameAndOperatorHeader) {
    configure("indexname start.htm\nheader\n<body class=\"x\">\nend\n");
    historyReport();
    std::string page = readFile(dir.file("start.htm"));
    EXPECT_NE(page.find("</head><body class=\"x\">\n<h2>"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("index.html")));
}

TEST_F(HistoryTest, UnwritableIndexEndsTheRun) {
    std::string missing = dir.path + "/gone";
    myfree(reportDir);
    reportDir = mystrdup(missing.c_str());
    EXPECT_EXIT(
        historyReport(), ::testing::ExitedWithCode(1),
        "^Can't write to file! Filename: " + missing + "/index.html: No such file or directory\n$");
}

}  // namespace
