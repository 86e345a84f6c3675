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

// ---- The modern style: navigation bar, headline block, index and sub-pages ----

const int DAY1 = dayNumber(10, 6, 1997), DAY2 = DAY1 + 1, DAY3 = DAY1 + 2, DAY4 = DAY1 + 3;
const std::string MODERN_DAILY =
    "frequency daily\npagestyle modern\nsites yes\ntotals\n* All\n*.html HTML\nend\n";

std::string hits(int count, int day, const std::string &url, int code, long bytes,
                 const std::string &host = "10.0.0.1") {
    std::string text;
    for (int i = 0; i < count; i++) text += logLine(10, day, 1997, 10, url, code, bytes, host);
    return text;
}

// Three days: 4, 6 and 3 accesses of 1,000 bytes from 2, 3 and 1 sites; 1, 0 and 2 failed.
std::string threeDays() {
    return hits(2, 6, "/a.html", 200, 1000, "10.0.0.1") +
           hits(2, 6, "/a.html", 200, 1000, "10.0.0.2") + hits(1, 6, "/gone.html", 404, 100) +
           hits(2, 7, "/a.html", 200, 1000, "10.0.0.1") +
           hits(2, 7, "/a.html", 200, 1000, "10.0.0.2") +
           hits(2, 7, "/b.html", 200, 1000, "10.0.0.3") + hits(3, 8, "/b.html", 200, 1000) +
           hits(2, 8, "/cgi", 500, 100);
}

std::string figure(const std::string &label, const std::string &value,
                   const std::string &change = "") {
    return "<li><span class=\"label\">" + label + "</span><span class=\"value\">" + value +
           "</span>" +
           (change.empty()
                ? ""
                : "<span class=\"change\">" + change + " from the previous period</span>") +
           "</li>\n";
}

std::string navOf(const std::string &page) {
    std::size_t at = page.find("<nav class=\"pages\"");
    if (at == std::string::npos) return "";
    return page.substr(at, page.find("</nav>", at) - at);
}

TEST(ReportHistory, ModernHeadlineWithChangesFromThePreviousDay) {
    TempDir dir;
    RunResult run = analyse(dir, MODERN_DAILY, threeDays(), {"-b", "10/06/97", "-e", "10/08/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string first = pageOf(dir, DAY1), second = pageOf(dir, DAY2), third = pageOf(dir, DAY3);
    // The first day has nothing before it in the history: figures without changes.
    EXPECT_NE(first.find("<ul class=\"headline\">\n" + figure("Accesses", "4") +
                         figure("Bytes", "4,000") + figure("Unique sites", "2")),
              std::string::npos)
        << first;
    EXPECT_NE(first.find(figure("Failed requests", "1") + "</ul>"), std::string::npos);
    EXPECT_EQ(first.find("class=\"change\""), std::string::npos);
    EXPECT_NE(
        second.find(figure("Accesses", "6", "+2 (+50.0%)") +
                    figure("Bytes", "6,000", "+2,000 (+50.0%)") + figure("Unique sites", "3")),
        std::string::npos)
        << second;
    EXPECT_NE(second.find(figure("Failed requests", "0")), std::string::npos);
    EXPECT_NE(third.find(figure("Accesses", "3", "-3 (-50.0%)") +
                         figure("Bytes", "3,000", "-3,000 (-50.0%)") + figure("Unique sites", "1")),
              std::string::npos)
        << third;
    EXPECT_NE(third.find(figure("Failed requests", "2")), std::string::npos);
}

TEST(ReportHistory, ModernHeadlineWithoutAnAllPatternHasNoChanges) {
    TempDir dir;
    RunResult run = analyse(dir, "frequency daily\npagestyle modern\n", threeDays(),
                            {"-b", "10/06/97", "-e", "10/08/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string second = pageOf(dir, DAY2);
    EXPECT_NE(second.find(figure("Accesses", "6") + figure("Bytes", "6,000")), std::string::npos)
        << second;
    // Without "sites" the run counts no sites, and the figure is left out.
    EXPECT_EQ(second.find("<span class=\"label\">Unique sites"), std::string::npos);
}

TEST(ReportHistory, ModernHeadlineShowsRobotsKeptApart) {
    TempDir dir;
    std::string log = threeDays();
    for (int i = 0; i < 3; i++)
        log += logLine(10, 7, 1997, 12, "/a.html", 200, 1000, "10.0.0.9", "-", "SiteMonitor/1.2");
    RunResult run =
        analyse(dir, MODERN_DAILY + "robots apart\nrobotagents\nSiteMonitor/*\nend robotagents\n",
                log, {"-b", "10/06/97", "-e", "10/08/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The monitor's requests count apart: not in the day's accesses, sites or bytes.
    std::string second = pageOf(dir, DAY2);
    EXPECT_NE(second.find(figure("Accesses", "6", "+2 (+50.0%)")), std::string::npos) << second;
    EXPECT_NE(second.find(figure("Robots", "3") + "</ul>"), std::string::npos) << second;
    EXPECT_NE(pageOf(dir, DAY1).find(figure("Robots", "0")), std::string::npos);
}

TEST(ReportHistory, ModernNavigationLinksResolve) {
    TempDir dir;
    RunResult run = analyse(dir, MODERN_DAILY, threeDays(), {"-b", "10/06/97", "-e", "10/08/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string month = n(dayNumber(10, 1, 1997)) + "h.html";
    std::string index = "<a class=\"index\" href=\"index.html\">Index</a>\n";
    std::string list = "<a class=\"list\" href=\"" + month + "\">Reports of the month</a>\n";
    auto previous = [](int day) {
        return "<a class=\"previous\" rel=\"prev\" href=\"" + n(day) + ".html\">Previous</a>\n";
    };
    auto next = [](int day) {
        return "<a class=\"next\" rel=\"next\" href=\"" + n(day) + ".html\">Next</a>\n";
    };
    // The first day's page was written before the second's existed: the second day's page
    // put the link to it in place.
    EXPECT_NE(navOf(pageOf(dir, DAY1))
                  .find(index + "<span class=\"previous\">Previous</span>\n" + next(DAY2) + list),
              std::string::npos)
        << navOf(pageOf(dir, DAY1));
    EXPECT_NE(navOf(pageOf(dir, DAY2)).find(index + previous(DAY1) + next(DAY3) + list),
              std::string::npos);
    EXPECT_NE(navOf(pageOf(dir, DAY3))
                  .find(index + previous(DAY2) + "<span class=\"next\">Next</span>\n" + list),
              std::string::npos);
    for (int day : {DAY1, DAY2, DAY3}) {
        std::string nav = navOf(pageOf(dir, day));
        for (std::size_t at = 0; (at = nav.find("href=\"", at)) != std::string::npos;) {
            at += 6;
            std::string target = nav.substr(at, nav.find('"', at) - at);
            EXPECT_TRUE(fileExists(dir.file(target))) << target << " from day " << day;
        }
    }

    // The next night's run adds the fourth day, and the third day's page links to it.
    RunResult later = analyse(dir, MODERN_DAILY, threeDays() + hits(1, 9, "/a.html", 200, 10),
                              {"-b", "10/09/97", "-e", "10/09/97"});
    ASSERT_EQ(later.status, 0) << later.err;
    EXPECT_NE(navOf(pageOf(dir, DAY3)).find(previous(DAY2) + next(DAY4)), std::string::npos)
        << navOf(pageOf(dir, DAY3));
    EXPECT_NE(navOf(pageOf(dir, DAY4)).find(previous(DAY3)), std::string::npos);
}

TEST(ReportHistory, ModernIndexAndMonthList) {
    TempDir dir;
    RunResult run = analyse(dir, MODERN_DAILY, threeDays(), {"-b", "10/06/97", "-e", "10/08/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string latest = "<a class=\"latest\" href=\"" + n(DAY3) + ".html\">Latest report</a>\n";
    std::string index = readFile(dir.file("index.html"));
    EXPECT_NE(navOf(index).find(latest), std::string::npos) << index;
    // The group of the pattern "*" and that of "*.html", each a chart and a table.
    EXPECT_NE(
        index.find("<img src=\"1t.svg\" width=\"400\" height=\"300\" alt=\"Bar chart: All\">"),
        std::string::npos)
        << index;
    EXPECT_NE(index.find("<tr><th scope=\"row\">All</th><td class=\"num\">13</td>"
                         "<td class=\"num\">13,000</td><td class=\"num\">4</td>"
                         "<td class=\"num\">4,333</td><td class=\"num\">3</td>"
                         "<td class=\"num\">3,000</td></tr>"),
              std::string::npos);
    std::string month = n(dayNumber(10, 1, 1997)) + "h.html";
    EXPECT_NE(index.find("<li><a href=\"" + month +
                         "\">Reports for the month of 10/01/97 -- "
                         "10/31/97</a></li>"),
              std::string::npos);
    std::string sub = readFile(dir.file(month));
    EXPECT_NE(navOf(sub).find("<a class=\"index\" href=\"index.html\">Index</a>\n" + latest),
              std::string::npos)
        << sub;
    std::size_t third = sub.find(n(DAY3) + ".html\">Day of 10/08/97"),
                second = sub.find(n(DAY2) + ".html\">Day of 10/07/97"),
                first = sub.find(n(DAY1) + ".html\">Day of 10/06/97");
    ASSERT_NE(first, std::string::npos) << sub;
    EXPECT_LT(third, second);
    EXPECT_LT(second, first);
}

}  // namespace
