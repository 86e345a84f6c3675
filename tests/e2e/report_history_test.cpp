// The history index written by the real analyser: heading, totals with group charts,
// averages, latest figures, and the report list with month and year sub-pages.
#include <gtest/gtest.h>

#include "report_util.h"

namespace {

std::string cell(const std::string &value) {
    return "<td align=\"right\">" + value + "</td>";
}
std::string n(int value) {
    return std::to_string(value);
}

std::string lines(int count, int month, int day, int year, const std::string &url) {
    std::string text;
    for (int i = 0; i < count; i++) text += logLine(month, day, year, 10, url);
    return text;
}

TEST(ReportHistory, EmptyHistory) {
    TempDir dir;
    RunResult run = analyse(dir, "", "");
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    EXPECT_EQ(index,
              "<html><head><title>History: No Complete Reports Available</title>\n</head>"
              "<body bgcolor=#FFFFFF><h2>History: No Complete Reports Available</h2>"
              "<a href=\"#reports\">\nSkip to weekly reports</a>\n"
              "<h3>Totals</h3><table border=1></table>"
              "<h2><a name=\"reports\">Reports</a></h2><table border=1></table></body></html>");
}

TEST(ReportHistory, OneRecordWithoutChartsOrHeadingRow) {
    TempDir dir;
    RunResult run = analyse(dir, "totals\n*.html HTML\nend\n", lines(3, 10, 6, 1997, "/a.html"),
                            {"-b", "10/05/97", "-e", "10/11/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    EXPECT_NE(index.find("<title>History from 10/05/97 -- 10/11/97</title>"), std::string::npos);
    EXPECT_NE(
        index.find("<h3>Totals</h3><table border=1><tr><td>HTML</td>" + cell("3") + cell("300") +
                   cell("3") + cell("300") + cell("3") + cell("300") + "</tr></table>"),
        std::string::npos);
    EXPECT_EQ(index.find("<img"), std::string::npos);
    EXPECT_EQ(index.find("<th>"), std::string::npos);
    int year = dayNumber(1, 1, 1997);
    EXPECT_NE(index.find("<tr><td><a href=\"" + n(year) +
                         "h.html\">Reports for the year  1997</a></td></tr>"),
              std::string::npos);
    std::string sub = readFile(dir.file(n(year) + "h.html"));
    EXPECT_NE(sub.find("<tr><td><a href=\"" + n(dayNumber(10, 5, 1997)) +
                       ".html\">Week of 10/05/97 to 10/11/97"),
              std::string::npos);
}

TEST(ReportHistory, WeeklyAcrossTwoYears) {
    TempDir dir;
    std::string log = lines(7, 12, 23, 1996, "/a.html") + lines(14, 12, 30, 1996, "/a.html") +
                      lines(21, 1, 6, 1997, "/a.html") + lines(2, 1, 6, 1997, "/x/y.gif");
    RunResult run =
        analyse(dir, "totals\n*.html HTML pages\nend\ntotalsgroup\n/x/* Area X\n/y/* Area Y\nend\n",
                log, {"-b", "12/22/96", "-e", "01/05/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    EXPECT_NE(index.find("History from 12/22/96 -- 01/11/97"), std::string::npos);
    // One chart per group: the patterns at positions 1 and 3 of the totals table.
    EXPECT_NE(
        index.find("<img src=\"1t.gif\" width=\"400\" height=\"300\">\n</td><td>"
                   "<font color=\"#9370db\">HTML pages</font><br>\n</td></tr></table><p>\n<table "
                   "border=\"1\">"
                   "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Total Bytes</th>\n"
                   "<th>Average Accesses</th>\n<th>Average Bytes</th>\n<th>Latest Accesses</th>\n"
                   "<th>Latest Bytes</th>\n</tr><tr><td>HTML pages</td>" +
                   cell("42") + cell("4,200") + cell("14") + cell("1,400") + cell("21") +
                   cell("2,100")),
        std::string::npos)
        << index;
    EXPECT_NE(index.find("<img src=\"3t.gif\" width=\"400\" height=\"300\">\n</td><td><font "
                         "color=\"#9370db\">Area "
                         "X</font><br>\n<font color=\"#8b2626\">Area Y</font><br>\n</td>"),
              std::string::npos);
    EXPECT_EQ(gifInfo(dir.file("1t.gif")).width, 400);
    EXPECT_EQ(gifInfo(dir.file("3t.gif")).height, 300);

    int y1996 = dayNumber(1, 1, 1996), y1997 = dayNumber(1, 1, 1997);
    std::size_t at1997 =
        index.find("<a href=\"" + n(y1997) + "h.html\">Reports for the year  1997</a>");
    std::size_t at1996 =
        index.find("<a href=\"" + n(y1996) + "h.html\">Reports for the year  1996</a>");
    ASSERT_NE(at1997, std::string::npos);
    ASSERT_NE(at1996, std::string::npos);
    EXPECT_LT(at1997, at1996);
    std::string sub1996 = readFile(dir.file(n(y1996) + "h.html"));
    std::size_t second = sub1996.find("<a href=\"" + n(dayNumber(12, 29, 1996)) + ".html\">");
    std::size_t first = sub1996.find("<a href=\"" + n(dayNumber(12, 22, 1996)) + ".html\">");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(second, first);
    std::string sub1997 = readFile(dir.file(n(y1997) + "h.html"));
    EXPECT_NE(sub1997.find("<a href=\"" + n(dayNumber(1, 5, 1997)) + ".html\">"),
              std::string::npos);
    EXPECT_EQ(sub1997.find(n(dayNumber(12, 29, 1996)) + ".html"), std::string::npos);
}

TEST(ReportHistory, MonthlyWithoutSubPages) {
    TempDir dir;
    std::string log;
    for (int d = 1; d <= 31; d++) log += lines(1, 1, d, 1997, "/a.html");
    log += lines(56, 2, 3, 1997, "/a.html");
    RunResult run = analyse(dir, "frequency monthly\nnobytes\ntotals\n*.html HTML\nend\n", log,
                            {"-b", "01/01/97", "-e", "02/28/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    EXPECT_NE(index.find("Skip to monthly reports"), std::string::npos);
    // 87 accesses over 59 days: 44 per 30 days; the latest month had 56.
    EXPECT_NE(index.find("<tr><td>HTML</td>" + cell("87") + cell("44") + cell("56") + "</tr>"),
              std::string::npos);
    std::size_t feb =
        index.find("<tr><td><a href=\"" + n(dayNumber(2, 1, 1997)) + ".html\">Month of");
    std::size_t jan =
        index.find("<tr><td><a href=\"" + n(dayNumber(1, 1, 1997)) + ".html\">Month of");
    ASSERT_NE(feb, std::string::npos);
    ASSERT_NE(jan, std::string::npos);
    EXPECT_LT(feb, jan);
    EXPECT_EQ(index.find("h.html"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file(n(dayNumber(1, 1, 1997)) + "h.html")));
}

TEST(ReportHistory, DailyMonthSubPages) {
    TempDir dir;
    std::string log =
        lines(1, 1, 30, 1997, "/a") + lines(2, 1, 31, 1997, "/a") + lines(3, 2, 1, 1997, "/a");
    RunResult run = analyse(dir, "frequency daily\n", log, {"-b", "01/30/97", "-e", "02/01/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    int jan = dayNumber(1, 1, 1997), feb = dayNumber(2, 1, 1997);
    std::size_t febLink = index.find("<tr><td><a href=\"" + n(feb) +
                                     "h.html\">Reports for the month of 02/01/97 -- 02/28/97</a>");
    std::size_t janLink = index.find("<tr><td><a href=\"" + n(jan) +
                                     "h.html\">Reports for the month of 01/01/97 -- 01/31/97</a>");
    ASSERT_NE(febLink, std::string::npos) << index;
    ASSERT_NE(janLink, std::string::npos);
    EXPECT_LT(febLink, janLink);
    std::string janPage = readFile(dir.file(n(jan) + "h.html"));
    EXPECT_EQ(
        janPage.find(
            "<html><head><title>Reports for the month of 01/01/97 -- 01/31/97</title></head>"),
        0u);
    std::size_t d31 =
        janPage.find("<a href=\"" + n(dayNumber(1, 31, 1997)) + ".html\">Day of 01/31/97");
    std::size_t d30 =
        janPage.find("<a href=\"" + n(dayNumber(1, 30, 1997)) + ".html\">Day of 01/30/97");
    ASSERT_NE(d31, std::string::npos);
    EXPECT_LT(d31, d30);
    EXPECT_NE(readFile(dir.file(n(feb) + "h.html")).find(n(dayNumber(2, 1, 1997)) + ".html"),
              std::string::npos);
}

TEST(ReportHistory, MissingPagesAreLeftOut) {
    TempDir dir;
    std::string log = lines(1, 10, 6, 1997, "/a") + lines(1, 10, 13, 1997, "/a");
    ASSERT_EQ(analyse(dir, "", log, {"-b", "10/05/97", "-e", "10/12/97"}).status, 0);
    std::remove(dir.file(n(dayNumber(10, 5, 1997)) + ".html").c_str());
    ASSERT_EQ(
        analyse(dir, "", log + lines(1, 10, 20, 1997, "/a"), {"-b", "10/19/97", "-e", "10/19/97"})
            .status,
        0);
    std::string sub = readFile(dir.file(n(dayNumber(1, 1, 1997)) + "h.html"));
    EXPECT_NE(sub.find(n(dayNumber(10, 19, 1997)) + ".html"), std::string::npos);
    EXPECT_NE(sub.find(n(dayNumber(10, 12, 1997)) + ".html"), std::string::npos);
    EXPECT_EQ(sub.find(n(dayNumber(10, 5, 1997)) + ".html"), std::string::npos);
    EXPECT_NE(readFile(dir.file("index.html")).find("History from 10/05/97 -- 10/25/97"),
              std::string::npos);
}

TEST(ReportHistory, LatestFiguresAndAveragesSkipThePeriodInProgress) {
    TempDir dir;
    CivilDate first = civilDaysFromToday(-14), before = civilDaysFromToday(-7),
              today = civilDaysFromToday(0);
    std::string log = lines(5, first.month, first.day, first.year, "/a.html") +
                      lines(3, before.month, before.day, before.year, "/a.html") +
                      lines(10, today.month, today.day, today.year, "/a.html");
    RunResult run = analyse(dir, "totals\n*.html HTML\nend\n", log);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string index = readFile(dir.file("index.html"));
    // Averages over the two complete weeks only.
    EXPECT_NE(index.find("<tr><td>HTML</td>" + cell("18") + cell("1,800") + cell("4") +
                         cell("400") + cell("3") + cell("300") + "</tr>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("<img src=\"1t.gif\""), std::string::npos);
}

}  // namespace
