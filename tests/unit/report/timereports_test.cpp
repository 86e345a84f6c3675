// Totals, unique counts, hours, days and result-code sections.
#include <string>

#include "core/dates.h"
#include "report_fixture.h"

namespace {

class TimeReportsTest : public ReportTest {
  protected:
    static std::string hours(int start) {
        return capture([&](FILE *f) { hoursReport(f, periodDays(start), start); });
    }
    static std::string days(int start) {
        return capture([&](FILE *f) { daysReport(f, start, periodDays(start)); });
    }
};

TEST_F(TimeReportsTest, HoursOfASummary) {
    configure("frequency summary\nhours nochart\n");
    hourAccesses[23] = 1234567;
    hourBytes[23] = 9876543;
    std::string page = hours(9800);
    EXPECT_EQ(
        page.find("<h3>Accesses per Hour</h3><em>Figures are totals for that hour on all days "
                  "analyzed.</em><br><table "
                  "border=1><tr>\n<th>Hour</th>\n<th>Accesses</th>\n<th>Bytes</th>\n</tr>"),
        0u);
    EXPECT_NE(page.find("<tr><td align=\"right\">23:00</td><td align=\"right\">1,234,567</td>"
                        "<td align=\"right\">9,876,543</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_EQ(page.find("Bits/Sec"), std::string::npos);
}

TEST_F(TimeReportsTest, HoursWithoutBytesByBytesAndOff) {
    configure("frequency daily\nnobytes\norder bytes\n");
    std::string page = hours(9800);
    EXPECT_EQ(page.find("<h3>Bytes per Hour</h3>"), 0u);
    EXPECT_NE(page.find("<td>00:00</td><td align=\"right\">0</td></tr>"), std::string::npos);
    configure("hours no\n");
    EXPECT_EQ(hours(9800), "");
}

TEST_F(TimeReportsTest, DaysOfWeekAndLeapFebruary) {
    configure("frequency daily\n");
    EXPECT_EQ(days(9800), "");
    configure("frequency summary\n");
    EXPECT_EQ(days(9800), "");

    configure("frequency weekly\n");
    dayAccesses[6] = 2;
    dayBytes[6] = 86400;
    std::string page = days(dateToDay(10, 5, 1997));
    EXPECT_EQ(
        page.find("<h3>Accesses per Day</h3><img src=\"" + std::to_string(dateToDay(10, 5, 1997)) +
                  "d.gif\" width=\"400\" height=\"300\"><br><table border=1>"),
        0u);
    EXPECT_EQ(countOccurrences(page, "<tr><td>"), 7);
    EXPECT_NE(page.find("<td>10/11/97</td><td align=\"right\">2</td><td align=\"right\">86400</td>"
                        "<td align=\"right\">8.00</td><td align=\"right\">1.00</td></tr>"),
              std::string::npos);

    configure("frequency monthly\ndays nochart\n");
    page = days(dateToDay(2, 1, 1996));
    EXPECT_EQ(countOccurrences(page, "<tr><td>"), 29);
    EXPECT_NE(page.find("<td>02/29/96</td>"), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
}

TEST_F(TimeReportsTest, ResultCodes) {
    codes[200] = 5;
    codes[206] = 1;
    codes[999] = 2;
    std::string page = capture([](FILE *f) { resultcodesReport(f); });
    EXPECT_EQ(page.find("<h3>Accesses by Result Code</h3><table border=1>"
                        "<tr><th>Code</th><th>Meaning</th><th>Accesses</th></tr>"),
              0u);
    EXPECT_EQ(countOccurrences(page, "<tr><td"), 16);
    EXPECT_NE(
        page.find(
            "<tr><td align=\"right\">200</td><td>OK</td><td align=\"right\">5</td></tr>"
            "<tr><td align=\"right\">201</td><td>Created</td><td align=\"right\">0</td></tr>"),
        std::string::npos);
    EXPECT_NE(page.find("<td align=\"right\">206</td><td>?</td><td align=\"right\">1</td>"),
              std::string::npos);
    EXPECT_NE(
        page.find(
            "<td align=\"right\">503</td><td>Service Unavailable</td><td align=\"right\">0</td>"),
        std::string::npos);
    EXPECT_LT(page.find(">206<"), page.find(">301<"));
    EXPECT_NE(page.find("<td align=\"right\">999</td><td>?</td>"), std::string::npos);
}

TEST_F(TimeReportsTest, ReplacedMeaningAndSectionOff) {
    configure("nozeroes\nhtmlresult404\nGone away\nend\n");
    std::string page = capture([](FILE *f) { resultcodesReport(f); });
    EXPECT_NE(page.find("<td>Gone away</td><td align=\"right\">0</td>"), std::string::npos);
    EXPECT_EQ(countOccurrences(page, "<tr><td"), 14);
    configure("resultcodes no\n");
    EXPECT_EQ(capture([](FILE *f) { resultcodesReport(f); }), "");
}

TEST_F(TimeReportsTest, TotalsRows) {
    EXPECT_EQ(capture([](FILE *f) { totalsReport(f, 9800); }), "");
    configure("totals\n*.html HTML pages\n/img/* <b>Images</b>\nend\n");
    totals.doubles[1][0] = 1234;
    totals.doubles[1][1] = 5678901;
    std::string page = capture([](FILE *f) { totalsReport(f, 9800); });
    EXPECT_EQ(
        page,
        "<h3>Totals</h3><table border=1><tr><th>Item</th><th>Accesses</th><th>Bytes</th></tr>"
        "<tr><td>HTML pages</td><td align=\"right\">1,234</td><td "
        "align=\"right\">5,678,901</td></tr>\n"
        "<tr><td><b>Images</b></td><td align=\"right\">0</td><td align=\"right\">0</td></tr>\n"
        "</table>");
    configure("nozeroes\nnobytes\ntotals\n*.html HTML pages\n/img/* Images\nend\n");
    totals.doubles[1][0] = 2;
    page = capture([](FILE *f) { totalsReport(f, 9800); });
    EXPECT_EQ(page,
              "<h3>Totals</h3><table border=1><tr><th>Item</th><th>Accesses</th></tr>"
              "<tr><td>HTML pages</td><td align=\"right\">2</td></tr>\n</table>");
}

TEST_F(TimeReportsTest, UniqueCounts) {
    configure("sites yes\nauthusers yes\nproxysites yes\n");
    add(sites, "a", 1, 0);
    add(sites, "b", 1, 0);
    add(documents, "/", 1, 0);
    add(completeTrails, "t", 1, 0);
    totalVisits = 42;
    partialEpoch = 9800;
    std::string page = capture([](FILE *f) { uniqueReport(f, 9800); });
    EXPECT_EQ(
        page.find(
            "<h3>Overall Statistics</h3><strong>Note: </strong>the time period this report refers "
            "to\nis not yet over.<table border=1><tr><th>Category</th><th>Total</th></tr>"),
        0u);
    EXPECT_NE(
        page.find("<tr><td>Unique sites served</td><td align=\"right\">2</td></tr>"
                  "<tr><td>Unique documents served</td><td align=\"right\">1</td></tr>"
                  "<tr><td>Unique proxy sites visited</td><td align=\"right\">0</td></tr>"
                  "<tr><td>Unique authenticated users served</td><td align=\"right\">0</td></tr>"
                  "<tr><td>Unique trails followed</td><td align=\"right\">1</td></tr>"
                  "<tr><td>Total visits</td><td align=\"right\">42</td></tr></table>"),
        std::string::npos);
    page = capture([](FILE *f) { uniqueReport(f, 9793); });
    EXPECT_EQ(page.find("Note:"), std::string::npos);
    configure("unique no\n");
    EXPECT_EQ(capture([](FILE *f) { uniqueReport(f, 9800); }), "");
}

// ---- Modern pages ----

TEST_F(TimeReportsTest, ModernHoursAreWholeCountsOrAveragesWithOneDecimal) {
    configure("pagestyle modern\nfrequency daily\n");
    hourAccesses[3] = 1234;
    hourBytes[3] = 7200000;
    std::string page = hours(9800);
    EXPECT_EQ(page.find("<h3>Accesses per Hour</h3><img class=\"chart chart-bars\" "
                        "src=\"9800h.svg\" alt=\"Bar chart: Accesses per Hour\""),
              0u);
    EXPECT_TRUE(fileExists(dir.file("9800h.svg")));
    EXPECT_FALSE(fileExists(dir.file("9800h.gif")));
    // 7,200,000 bytes in an hour: 16,000 bits and 2,000 bytes a second.
    EXPECT_NE(page.find("<tr><th scope=\"row\">03:00</th><td class=\"num\">1,234</td><td "
                        "class=\"num\">7,200,000</td><td class=\"num\">16,000.00</td><td "
                        "class=\"num\">2,000.00</td></tr>"),
              std::string::npos);
    EXPECT_EQ(page.find("align="), std::string::npos);

    configure("pagestyle modern\nfrequency weekly\nhours nochart\n");
    hourAccesses[5] = 10;  // 1.43 a day
    hourBytes[5] = 14000;
    page = hours(dateToDay(10, 5, 1997));
    EXPECT_NE(page.find("<th scope=\"row\">05:00</th><td class=\"num\">1.4</td><td "
                        "class=\"num\">2,000</td>"),
              std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
}

TEST_F(TimeReportsTest, ModernDaysCodesTotalsAndUniqueCounts) {
    configure("pagestyle modern\nfrequency weekly\nnobytes\ntotals\n*.html Pages\nend\n");
    dayAccesses[6] = 2500;
    codes[200] = 1500;
    totals.doubles[1][0] = 12345;  // after the group's divider
    totalVisits = 1000;
    std::string page = capture([](FILE *f) {
        daysReport(f, dateToDay(10, 5, 1997), 7);
        resultcodesReport(f);
        totalsReport(f, 9800);
        uniqueReport(f, 9800);
    });
    EXPECT_NE(page.find("<tr><th scope=\"row\">10/11/97</th><td class=\"num\">2,500</td></tr>"),
              std::string::npos);
    EXPECT_TRUE(fileExists(dir.file(std::to_string(dateToDay(10, 5, 1997)) + "d.svg")));
    EXPECT_NE(page.find("<tr><th scope=\"row\" class=\"num\">200</th><td>OK</td><td "
                        "class=\"num\">1,500</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><th scope=\"row\">Pages</th><td class=\"num\">12,345</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><th scope=\"row\">Total visits</th><td class=\"num\">1,000</td>"),
              std::string::npos);
    EXPECT_EQ(page.find("<td align"), std::string::npos);
}

TEST_F(TimeReportsTest, OptionalUniqueRowsFollowTheirSettings) {
    configure("trails no\nvisits no\n");
    std::string page = capture([](FILE *f) { uniqueReport(f, 9800); });
    EXPECT_EQ(countOccurrences(page, "<tr><td>"), 2);
}

}  // namespace
