// Sections of a period page written by the real analyser: ranked lists, hours, days,
// result codes, totals and unique counts.
#include <gtest/gtest.h>

#include "report_util.h"

namespace {

const int WEEK = dayNumber(10, 5, 1997);  // Sunday 5 October 1997
const std::vector<std::string> WEEK_WINDOW = {"-b", "10/05/97", "-e", "10/11/97"};

std::string section(const std::string &page, const std::string &label) {
    std::size_t at = page.find(label);
    if (at == std::string::npos) return "";
    std::size_t end = page.find("<br clear=", at);
    return page.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string row(int rank, const std::string &cell, const std::string &accesses,
                const std::string &bytes = "") {
    std::string text = "<tr><td align=\"right\">" + std::to_string(rank) + "</td><td>" + cell +
                       "</td><td align=\"right\">" + accesses + "</td>";
    if (!bytes.empty()) text += "<td align=\"right\">" + bytes + "</td>";
    return text + "</tr>\n";
}

std::string link(const std::string &url) {
    return "<a href=\"" + url + "\">" + url + "</a>";
}

// A line of the EMWAC format, which carries no byte counts.
std::string lineWithoutBytes(const std::string &url) {
    return "Mon Oct 06 10:00:00 1997 WEB1 10.0.0.1 GET " + url + " HTTP/1.0\n";
}

TEST(ReportSections, TopTenOfManyDocuments) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 125; i++) {
        int count = i < 10 ? 20 - i : 1;
        for (int k = 0; k < count; k++)
            log += logLine(10, 6, 1997, 10, "/d" + std::to_string(i), 200, 1000);
    }
    RunResult run = analyse(dir, "", log, WEEK_WINDOW);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = pageOf(dir, WEEK);
    std::string documents =
        section(page, "<h3>Top 10 of 125 Documents Sorted by Access Count</h3>");
    ASSERT_FALSE(documents.empty()) << page;
    EXPECT_EQ(
        documents.find(
            "<h3>Top 10 of 125 Documents Sorted by Access Count</h3>"
            "<img src=\"" +
            std::to_string(WEEK) +
            "t.gif\" width=\"200\" height=\"200\" align=\"left\">\n"
            "<table border=1><tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Bytes</th></tr>"),
        0u);
    EXPECT_NE(documents.find(row(1, link("/d0"), "20", "20,000")), std::string::npos);
    EXPECT_NE(documents.find(row(10, link("/d9"), "11", "11,000") + "</table>"), std::string::npos);
    EXPECT_EQ(countOf(documents, "<tr><td"), 10);
}

TEST(ReportSections, EqualCountsInFirstSeenOrder) {
    TempDir dir;
    std::string log;
    const char *order[] = {"/m", "/c", "/x", "/a", "/q", "/b", "/z", "/k", "/e", "/f"};
    for (const char *url : order) log += logLine(10, 6, 1997, 10, url);
    for (int i = 9; i >= 0; i--) log += logLine(10, 7, 1997, 10, order[i]);
    ASSERT_EQ(analyse(dir, "", log, WEEK_WINDOW).status, 0);
    std::string documents = section(pageOf(dir, WEEK), "Documents Sorted");
    std::size_t last = 0;
    for (int i = 0; i < 10; i++) {
        std::size_t at = documents.find(row(i + 1, link(order[i]), "2", "200"));
        ASSERT_NE(at, std::string::npos) << order[i];
        EXPECT_GT(at, last);
        last = at;
    }
}

TEST(ReportSections, LimitsZeroAndAll) {
    TempDir dir;
    std::string log = logLine(10, 6, 1997, 10, "/a") + logLine(10, 6, 1997, 10, "/b");
    ASSERT_EQ(analyse(dir, "top 0\n", log, WEEK_WINDOW).status, 0);
    std::string documents =
        section(pageOf(dir, WEEK), "<h3>Top 0 of 2 Documents Sorted by Access Count</h3>");
    ASSERT_FALSE(documents.empty());
    EXPECT_EQ(countOf(documents, "<tr><td"), 0);

    TempDir all;
    ASSERT_EQ(analyse(all, "top all\n", log, WEEK_WINDOW).status, 0);
    documents = section(pageOf(all, WEEK), "<h3>Documents Sorted by Access Count</h3>");
    ASSERT_FALSE(documents.empty());
    EXPECT_EQ(countOf(documents, "<tr><td"), 2);
}

TEST(ReportSections, HiddenDocumentsTakeNoRank) {
    TempDir dir;
    std::string log =
        logLine(10, 6, 1997, 10, "/logo.gif") + logLine(10, 6, 1997, 10, "/logo.gif") +
        logLine(10, 6, 1997, 10, "/index.html") + logLine(10, 6, 1997, 10, "/dot.gif") +
        logLine(10, 6, 1997, 10, "/dot.gif") + logLine(10, 6, 1997, 10, "/dot.gif") +
        logLine(10, 6, 1997, 10, "/about.html");
    ASSERT_EQ(analyse(dir, "hide\n*.gif\nend\n", log, WEEK_WINDOW).status, 0);
    std::string documents =
        section(pageOf(dir, WEEK), "<h3>Top 2 of 4 Documents Sorted by Access Count</h3>");
    ASSERT_FALSE(documents.empty()) << pageOf(dir, WEEK);
    EXPECT_NE(documents.find(row(1, link("/index.html"), "1", "100") +
                             row(2, link("/about.html"), "1", "100")),
              std::string::npos);
    EXPECT_EQ(documents.find("logo"), std::string::npos);
}

TEST(ReportSections, ChartAboveTableFromSixteenRows) {
    std::string log;
    for (int i = 0; i < 15; i++) log += logLine(10, 6, 1997, 10, "/p" + std::to_string(i));
    TempDir fifteen;
    ASSERT_EQ(analyse(fifteen, "top all\n", log, WEEK_WINDOW).status, 0);
    std::string documents = section(pageOf(fifteen, WEEK), "<h3>Documents Sorted");
    EXPECT_NE(documents.find("t.gif\" width=\"200\" height=\"200\" align=\"left\">\n<table"),
              std::string::npos);

    TempDir sixteen;
    ASSERT_EQ(
        analyse(sixteen, "top all\n", log + logLine(10, 6, 1997, 10, "/p15"), WEEK_WINDOW).status,
        0);
    std::string page = pageOf(sixteen, WEEK);
    documents = section(page, "<h3>Documents Sorted");
    EXPECT_NE(documents.find("t.gif\" width=\"200\" height=\"200\"><br>\n<table"),
              std::string::npos);
    EXPECT_NE(page.find("</table><br clear=\"left\">\n"), std::string::npos);
}

TEST(ReportSections, NoLinks) {
    TempDir dir;
    std::string log =
        logLine(10, 6, 1997, 10, "/a.html", 200, 10, "10.0.0.1", "http://ref.example/");
    ASSERT_EQ(analyse(dir, "nolinks\n", log, WEEK_WINDOW).status, 0);
    std::string page = pageOf(dir, WEEK);
    EXPECT_NE(page.find(row(1, "/a.html", "1", "10")), std::string::npos);
    EXPECT_NE(page.find(row(1, "http://ref.example/", "1", "10")), std::string::npos);
    EXPECT_EQ(page.find("<a href=\"/a.html"), std::string::npos);
    EXPECT_EQ(page.find("<a href=\"http://ref"), std::string::npos);
}

TEST(ReportSections, DocumentsLinkOnlyToTheSite) {
    std::string log = logLine(10, 6, 1997, 10, "/a.html") +
                      logLine(10, 6, 1997, 10, "//evil.example/steal") +
                      logLine(10, 6, 1997, 10, "@evil.example/x");
    TempDir plain, site;
    ASSERT_EQ(analyse(plain, "", log, WEEK_WINDOW).status, 0);
    ASSERT_EQ(analyse(site, "topurl http://www.example.com\n", log, WEEK_WINDOW).status, 0);
    std::string page = pageOf(plain, WEEK);
    EXPECT_NE(page.find(row(2, "//evil.example/steal", "1", "100")), std::string::npos) << page;
    EXPECT_NE(page.find(link("/a.html")), std::string::npos);
    page = pageOf(site, WEEK);
    EXPECT_NE(page.find(row(3, "@evil.example/x", "1", "100")), std::string::npos) << page;
    EXPECT_NE(page.find("<a href=\"http://www.example.com/a.html\">/a.html</a>"),
              std::string::npos);
}

TEST(ReportSections, TemplatesWithWidthsAndFlags) {
    TempDir dir;
    std::string config =
        "htmlweekofheading\nWeek [%-10s|%.5s]\nend\n"
        "htmldocumentsreportlabelbyaccesses\n<h3>Top %'d of %03d</h3>\nend\n";
    ASSERT_EQ(analyse(dir, config, logLine(10, 6, 1997, 10, "/a.html"), WEEK_WINDOW).status, 0);
    std::string page = pageOf(dir, WEEK);
    EXPECT_NE(page.find("<title>Week [10/05/97  |10/11]\n</title>"), std::string::npos) << page;
    EXPECT_NE(page.find("<h3>Top 1 of 001</h3>"), std::string::npos);
}

TEST(ReportSections, OrderBytesOnALogWithoutByteCounts) {
    TempDir dir;
    std::string log =
        lineWithoutBytes("/first") + lineWithoutBytes("/second") + lineWithoutBytes("/second");
    ASSERT_EQ(analyse(dir, "order bytes\n", log, WEEK_WINDOW).status, 0);
    std::string page = pageOf(dir, WEEK);
    std::string documents = section(page, "<h3>Top 2 of 2 Documents Sorted by Bytes Sent</h3>");
    ASSERT_FALSE(documents.empty()) << page;
    EXPECT_NE(documents.find("<tr><th>Rank</th><th>URL</th><th>Accesses</th></tr>" +
                             row(1, link("/first"), "1") + row(2, link("/second"), "2")),
              std::string::npos);
    EXPECT_NE(page.find("<em>Note: your server's log file does not contain bytes-transferred"),
              std::string::npos);
}

TEST(ReportSections, NotFoundWithReferringPages) {
    TempDir dir;
    std::string log = logLine(10, 6, 1997, 10, "/gone", 404, 0, "10.0.0.1", "http://a.example/") +
                      logLine(10, 6, 1997, 10, "/gone", 404, 0, "10.0.0.1", "http://a.example/") +
                      logLine(10, 6, 1997, 10, "/gone", 404, 0, "10.0.0.1", "http://b.example/") +
                      logLine(10, 6, 1997, 10, "/lost", 404, 0);
    ASSERT_EQ(analyse(dir, "notfound yes\n", log, WEEK_WINDOW).status, 0);
    std::string notfound = section(pageOf(dir, WEEK), "<h3>Top 2 of 2 Documents Not Found</h3>");
    ASSERT_FALSE(notfound.empty());
    EXPECT_NE(notfound.find("<img src=\"" + std::to_string(WEEK) + "n.gif\""), std::string::npos);
    EXPECT_NE(notfound.find("<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Referring URLs</tr>"
                            "<tr><td align=\"right\">1</td><td>/gone</td><td align=\"right\">3</td>"
                            "<td>http://a.example/, http://b.example/</td></tr>\n"
                            "<tr><td align=\"right\">2</td><td>/lost</td><td "
                            "align=\"right\">1</td><td></td></tr>\n"),
              std::string::npos);
}

TEST(ReportSections, HoursOfDailyWeeklyMonthlyAndSummaryPages) {
    TempDir daily;
    ASSERT_EQ(analyse(daily, "frequency daily\n", logLine(10, 6, 1997, 13, "/a"),
                      {"-b", "10/06/97", "-e", "10/06/97"})
                  .status,
              0);
    std::string page = pageOf(daily, dayNumber(10, 6, 1997));
    EXPECT_NE(page.find("<h3>Accesses per Hour</h3><img src=\"" +
                        std::to_string(dayNumber(10, 6, 1997)) + "h.gif\""),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td>13:00</td><td align=\"right\">1</td><td align=\"right\">100</td>"
                        "<td align=\"right\">0.22</td><td align=\"right\">0.03</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.find("Accesses per Day"), std::string::npos);

    TempDir weekly;
    std::string log;
    for (int i = 0; i < 10; i++) log += logLine(10, 6, 1997, 10, "/a", 200, 70);
    ASSERT_EQ(analyse(weekly, "", log, WEEK_WINDOW).status, 0);
    page = pageOf(weekly, WEEK);
    EXPECT_NE(page.find("<em>Figures are averages for that hour on a typical day.</em><br><img"),
              std::string::npos);
    EXPECT_NE(
        page.find("<tr><td>10:00</td><td align=\"right\">1.43</td><td align=\"right\">100.00</td>"
                  "<td align=\"right\">0.22</td><td align=\"right\">0.03</td></tr>"),
        std::string::npos);

    TempDir monthly;
    log.clear();
    for (int i = 0; i < 29; i++) log += logLine(2, 1 + i % 29, 1996, 5, "/a", 200, 29);
    ASSERT_EQ(
        analyse(monthly, "frequency monthly\n", log, {"-b", "02/01/96", "-e", "02/29/96"}).status,
        0);
    page = pageOf(monthly, dayNumber(2, 1, 1996));
    EXPECT_NE(
        page.find("<tr><td>05:00</td><td align=\"right\">1.00</td><td align=\"right\">29.00</td>"),
        std::string::npos);

    TempDir summary;
    log.clear();
    for (int i = 0; i < 1001; i++) log += logLine(10, 6, 1997, 23, "/a", 200, 1000);
    ASSERT_EQ(analyse(summary, "", log, {"-s"}).status, 0);
    page = readFile(summary.file("summary.html"));
    EXPECT_NE(page.find("<em>Figures are totals for that hour on all days analyzed.</em><br>"
                        "<img src=\"summaryh.gif\" width=\"400\" height=\"300\"><br>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td align=\"right\">23:00</td><td align=\"right\">1,001</td>"
                        "<td align=\"right\">1,001,000</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.find("Bits/Sec"), std::string::npos);
    EXPECT_EQ(page.find("Accesses per Day"), std::string::npos);
}

TEST(ReportSections, DaysOfALeapFebruary) {
    TempDir dir;
    std::string log = logLine(2, 29, 1996, 5, "/leap", 200, 86400);
    ASSERT_EQ(analyse(dir, "frequency monthly\n", log, {"-b", "02/01/96", "-e", "02/29/96"}).status,
              0);
    std::string page = pageOf(dir, dayNumber(2, 1, 1996));
    std::size_t days = page.find("<h3>Accesses per Day</h3>");
    ASSERT_NE(days, std::string::npos);
    std::string table = page.substr(days, page.find("</table>", days) - days);
    EXPECT_EQ(countOf(table, "<tr><td>"), 29);
    EXPECT_NE(
        table.find("<tr><td>02/29/96</td><td align=\"right\">1</td><td align=\"right\">86400</td>"
                   "<td align=\"right\">8.00</td><td align=\"right\">1.00</td></tr>"),
        std::string::npos);
}

TEST(ReportSections, ResultCodesTotalsAndUnique) {
    TempDir dir;
    std::string log = logLine(10, 6, 1997, 10, "/a.html") +
                      logLine(10, 6, 1997, 10, "/movie", 206) + logLine(10, 6, 1997, 10, "/b.html");
    ASSERT_EQ(
        analyse(dir, "nozeroes\ntotals\n*.html HTML pages\n*.gif Images\nend\n", log, WEEK_WINDOW)
            .status,
        0);
    std::string page = pageOf(dir, WEEK);
    EXPECT_NE(
        page.find("<tr><td align=\"right\">206</td><td>?</td><td align=\"right\">1</td></tr>"),
        std::string::npos);
    EXPECT_NE(page.find("<tr><td align=\"right\">503</td><td>Service Unavailable</td><td "
                        "align=\"right\">0</td></tr>"),
              std::string::npos);
    EXPECT_NE(
        page.find(
            "<h3>Totals</h3><table border=1><tr><th>Item</th><th>Accesses</th><th>Bytes</th></tr>"
            "<tr><td>HTML pages</td><td align=\"right\">2</td><td "
            "align=\"right\">200</td></tr>\n</table>"),
        std::string::npos);
    EXPECT_EQ(page.find("Images"), std::string::npos);
    EXPECT_NE(page.find("<tr><td>Unique documents served</td><td align=\"right\">3</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.find("not yet over"), std::string::npos);
}

TEST(ReportSections, ModernPageOfACommonLog) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 1200; i++) {
        std::string line = logLine(10, 6, 1997, 10, i < 900 ? "/a" : "/b", 200, 1000);
        log += line.substr(0, line.find(" \"-\""));  // no referrer, no browser
        log += "\n";
    }
    RunResult run = analyse(dir, "pagestyle modern\n", log, WEEK_WINDOW);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = pageOf(dir, WEEK);
    // 900 of 1,200 accesses and 300 of them.
    EXPECT_NE(page.find("<a href=\"/a\">/a</a></th><td class=\"num\">900</td><td class=\"num "
                        "share\">75.0%</td><td class=\"num\">900,000</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<td class=\"num\">300</td><td class=\"num share\">25.0%</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<th scope=\"row\">10/06/97</th><td class=\"num\">1,200</td>"),
              std::string::npos);
    const std::string missing =
        "<p class=\"empty\">None of this period's log entries carries this information (a log in "
        "the common format records no referring pages and no browsers).</p>";
    EXPECT_NE(page.find("<h3>Refererring URLs by Access Count</h3>" + missing), std::string::npos);
    EXPECT_NE(page.find("<h3>User agents by Access Count</h3>" + missing), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file(std::to_string(WEEK) + "r.svg")));
    EXPECT_FALSE(fileExists(dir.file(std::to_string(WEEK) + "u.svg")));
}

TEST(ReportSections, PartialPeriodNote) {
    TempDir dir;
    CivilDate today = civilDaysFromToday(0);
    std::string log = logLine(today.month, today.day, today.year, 0, "/now");
    ASSERT_EQ(analyse(dir, "frequency daily\n", log).status, 0);
    std::string page = pageOf(dir, dayNumber(today.month, today.day, today.year));
    EXPECT_NE(page.find("<h3>Overall Statistics</h3><strong>Note: </strong>the time period this "
                        "report refers to\n"
                        "is not yet over.<table border=1>"),
              std::string::npos);
}

// ---- The modern style ----

TEST(ReportSections, ModernPageFrame) {
    TempDir dir;
    std::string log = logLine(10, 6, 1997, 10, "/a.html") + logLine(10, 7, 1997, 11, "/b.html");
    RunResult run = analyse(dir, "pagestyle modern\n", log, WEEK_WINDOW);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = pageOf(dir, WEEK);
    EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"en\"><head>\n<meta charset=\"utf-8\">\n"
                         "<meta name=\"viewport\" content=\"width=device-width, "
                         "initial-scale=1\">\n<link rel=\"stylesheet\" href=\"quorvel.css\">\n"
                         "<title>Week of 10/05/97 to 10/11/97",
                         0),
              0u)
        << page;
    std::string css = readFile(dir.file("quorvel.css"));
    EXPECT_NE(css.find("@media (prefers-color-scheme: dark)"), std::string::npos);
    // Nothing inline that a policy of default-src 'self' would block, nothing from elsewhere.
    for (const std::string &name : {std::to_string(WEEK) + ".html", std::string("index.html"),
                                    std::to_string(dayNumber(1, 1, 1997)) + "h.html"}) {
        std::string text = readFile(dir.file(name));
        ASSERT_FALSE(text.empty()) << name;
        for (const char *banned : {"style=", "<style", "<script",
                                   "javascript:", "http:", "https:", "<font", "bgcolor", "border="})
            EXPECT_EQ(text.find(banned), std::string::npos) << banned << " in " << name;
        // Every header cell says what it heads.
        for (std::size_t at = 0; (at = text.find("<th", at)) != std::string::npos; at++) {
            if (text[at + 3] == 'e') continue;  // <thead>
            EXPECT_EQ(text.compare(at, 10, "<th scope="), 0)
                << text.substr(at, 40) << " in " << name;
        }
    }
    EXPECT_EQ(css.find("url("), std::string::npos);
    EXPECT_EQ(css.find("@import"), std::string::npos);
}

TEST(ReportSections, ModernPagesShowInvalidUtf8AsReplacementCharacters) {
    std::string log =
        logLine(10, 6, 1997, 10, "/caf\xc3\xa9.html") + logLine(10, 6, 1997, 10, "/na\xefve.html") +
        logLine(10, 6, 1997, 10, "/x.html", 200, 100, "10.0.0.1", "-", "Agent\xff\xfe/2.0");
    for (int modern : {0, 1}) {
        TempDir dir;
        RunResult run = analyse(dir, modern ? "pagestyle modern\n" : "", log, WEEK_WINDOW);
        ASSERT_EQ(run.status, 0) << run.err;
        std::string page = pageOf(dir, WEEK);
        EXPECT_NE(page.find("/caf\xc3\xa9.html"), std::string::npos);  // valid UTF-8 stays
        if (modern) {
            EXPECT_NE(page.find(">/na\xef\xbf\xbdve.html<"), std::string::npos) << page;
            EXPECT_NE(page.find("Agent\xef\xbf\xbd\xef\xbf\xbd/2.0"), std::string::npos);
            EXPECT_EQ(page.find("\xff"), std::string::npos);
            EXPECT_EQ(page.find("na\xefve"), std::string::npos);
        } else {
            // The classic pages keep the bytes of the log as they were.
            EXPECT_NE(page.find("/na\xefve.html"), std::string::npos);
            EXPECT_NE(page.find("Agent\xff\xfe/2.0"), std::string::npos);
        }
    }
}

TEST(ReportSections, GifChartsOnlyWhenAskedForOnModernPages) {
    std::string log = logLine(10, 6, 1997, 10, "/a.html") + logLine(10, 7, 1997, 11, "/b.html");
    auto gifs = [](const TempDir &dir) {
        int count = 0;
        for (const std::string &name : listFiles(dir.path))
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".gif") == 0) count++;
        return count;
    };
    TempDir classic, modern, both;
    ASSERT_EQ(analyse(classic, "", log, WEEK_WINDOW).status, 0);
    ASSERT_EQ(analyse(modern, "pagestyle modern\n", log, WEEK_WINDOW).status, 0);
    ASSERT_EQ(analyse(both, "pagestyle modern\ngifcharts yes\n", log, WEEK_WINDOW).status, 0);
    EXPECT_GT(gifs(classic), 0);
    EXPECT_EQ(gifs(modern), 0);
    EXPECT_GT(gifs(both), 0);
    EXPECT_TRUE(fileExists(both.file(std::to_string(WEEK) + "h.gif")));
    EXPECT_TRUE(fileExists(modern.file(std::to_string(WEEK) + "h.svg")));
}

TEST(ReportSections, PageStyleKeywordErrors) {
    TempDir dir;
    RunResult run = analyse(dir, "pagestyle fancy\n", "");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("at line 3"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("fancy"), std::string::npos);
    EXPECT_NE(run.err.find("classic, modern"), std::string::npos);
}

}  // namespace
