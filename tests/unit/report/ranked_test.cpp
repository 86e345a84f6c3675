// Ranked sections: ordering, labels, chart tags, hidden keys, columns, key writers; the
// sort of the sections, which gives exactly the stable order of the comparators
// (descending, ties in order of arrival) for every table it knows and for a comparator
// it does not.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "report_fixture.h"

namespace {

constexpr int START = 9800;

class RankedTest : public ReportTest {
  protected:
    void configureLimit(const std::string &limit) { configure("top " + limit + "\n"); }
    std::string documentsPage() {
        return capture([](FILE *f) { documentsReport(f, START); });
    }
    static std::string row(int rank, const std::string &cell, const std::string &accesses,
                           const std::string &bytes = "") {
        std::string text = "<tr><td align=\"right\">" + std::to_string(rank) + "</td><td>" + cell +
                           "</td><td align=\"right\">" + accesses + "</td>";
        if (!bytes.empty()) text += "<td align=\"right\">" + bytes + "</td>";
        return text + "</tr>\n";
    }
};

TEST_F(RankedTest, LimitZeroAllAndEmptyTable) {
    configureLimit("0");
    add(documents, "/a", 1, 0);
    std::string page = documentsPage();
    EXPECT_NE(page.find("<h3>Top 0 of 1 Documents Sorted by Access Count</h3>"), std::string::npos);
    EXPECT_EQ(countOccurrences(page, "<tr><td"), 0);

    configureLimit("all");
    add(documents, "/a", 1, 0);
    add(documents, "/b", 2, 0);
    page = documentsPage();
    EXPECT_EQ(page.find("<h3>Documents Sorted by Access Count</h3>"), 0u);
    EXPECT_EQ(countOccurrences(page, "<tr><td"), 2);
    EXPECT_LT(page.find("/b"), page.find("/a"));

    configureLimit("10");
    page = documentsPage();
    EXPECT_EQ(
        page.find("<h3>Top 0 of 0 Documents Sorted by Access Count</h3><img src=\"9800t.gif\""),
        0u);
    EXPECT_NE(page.find("<table border=1><tr><th>Rank</th>"), std::string::npos);
}

TEST_F(RankedTest, HiddenDocumentsCountButTakeNoRank) {
    configure("hide\n*.gif\nend\n");
    add(documents, "/a.gif", 50, 0);
    add(documents, "/index.html", 40, 0);
    add(documents, "/b.gif", 30, 0);
    add(documents, "/c.html", 20, 0);
    std::string page = documentsPage();
    EXPECT_NE(page.find("Top 2 of 4 Documents"), std::string::npos);
    EXPECT_EQ(countOccurrences(page, ".gif"), 1);  // only the chart names a gif
    EXPECT_NE(page.find(row(1, "<a href=\"/index.html\">/index.html</a>", "40", "0")),
              std::string::npos);
    EXPECT_NE(page.find(row(2, "<a href=\"/c.html\">/c.html</a>", "20", "0")), std::string::npos);
}

TEST_F(RankedTest, NoChartAndSectionOff) {
    configure("documents nochart\n");
    add(documents, "/a", 1, 0);
    std::string page = documentsPage();
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("9800t.gif")));
    EXPECT_NE(page.find("<table border=1>"), std::string::npos);
    configure("documents no\n");
    add(documents, "/a", 1, 0);
    EXPECT_EQ(documentsPage(), "");
}

TEST_F(RankedTest, RankingByBytes) {
    configure("order bytes\n");
    add(documents, "/small", 9, 10);
    add(documents, "/big", 1, 5000);
    std::string page = documentsPage();
    EXPECT_LT(page.find("/big"), page.find("/small"));
}

TEST_F(RankedTest, NoLinksAndTopUrl) {
    configure("topurl http://www.example.com/\n");
    add(documents, "/x.html", 1, 0);
    EXPECT_NE(documentsPage().find("<a href=\"http://www.example.com/x.html\">/x.html</a>"),
              std::string::npos);
    configure("nolinks\n");
    add(documents, "/x.html", 1, 0);
    add(referers, "http://other.example/", 1, 0);
    EXPECT_NE(documentsPage().find("<td>/x.html</td>"), std::string::npos);
    std::string refs = capture([](FILE *f) { referersReport(f, START); });
    EXPECT_NE(refs.find("<td>http://other.example/</td>"), std::string::npos);
    EXPECT_EQ(refs.find("<a "), std::string::npos);
}

TEST_F(RankedTest, NotFoundWithReferringPages) {
    configure("notfound yes\n");
    int row1 = hashFindOrAdd(notfound, "/gone.html");
    notfound.doubles[row1][0] = 3;
    hashSetString(notfound, "/gone.html", 0, "http://a.example/, http://b.example/?q=<b>");
    int row2 = hashFindOrAdd(notfound, "/lost");
    notfound.doubles[row2][0] = 5;
    std::string page = capture([](FILE *f) { notfoundReport(f, START); });
    EXPECT_EQ(page.find("<h3>Top 2 of 2 Documents Not Found</h3><img src=\"9800n.gif\""), 0u);
    EXPECT_NE(page.find("<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Referring URLs</tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td align=\"right\">1</td><td>/lost</td><td "
                        "align=\"right\">5</td><td></td></tr>\n"),
              std::string::npos);
    EXPECT_NE(
        page.find(
            "<td align=\"right\">3</td><td>http://a.example/, http://b.example/?q=&lt;b&gt;</td>"),
        std::string::npos);
}

TEST_F(RankedTest, EveryKeyIsEscaped) {
    configure("sites yes\nauthusers yes\nnotfound yes\n");
    const char *evil = "<script>alert(\"x\")</script>";
    add(documents, "/\"><img src=x onerror=alert(1)>", 9, 0);
    add(useragents, evil, 1, 0);
    add(authusers, evil, 1, 0);
    add(sites, evil, 1, 0);
    add(referers, "javascript:alert(document.cookie)", 3, 0);
    add(referers, "http://ok.example/?a=1&b=\"2\"", 2, 0);
    std::string page = capture([](FILE *f) {
        documentsReport(f, START);
        useragentsReport(f, START);
        authusersReport(f, START);
        sitesReport(f, START);
        referersReport(f, START);
    });
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_EQ(countOccurrences(page, "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"), 3);
    EXPECT_NE(page.find("<a href=\"/%22%3E%3Cimg%20src=x%20onerror=alert(1)%3E\">"
                        "/&quot;&gt;&lt;img src=x onerror=alert(1)&gt;</a>"),
              std::string::npos);
    EXPECT_NE(page.find("<td>javascript:alert(document.cookie)</td>"), std::string::npos);
    EXPECT_EQ(page.find("href=\"javascript"), std::string::npos);
    EXPECT_NE(page.find("<a "
                        "href=\"http://ok.example/?a=1&amp;b=%222%22\">http://ok.example/"
                        "?a=1&amp;b=&quot;2&quot;</a>"),
              std::string::npos);
}

TEST_F(RankedTest, DocumentWithOwnSchemeIsNoLink) {
    add(documents, "javascript:alert(1)", 1, 0);
    std::string page = documentsPage();
    EXPECT_NE(page.find("<td>javascript:alert(1)</td>"), std::string::npos);
    configure("topurl http://www.example.com\n");
    add(documents, "javascript:alert(1)", 1, 0);
    EXPECT_NE(documentsPage().find("<td>javascript:alert(1)</td>"), std::string::npos);
}

TEST_F(RankedTest, SummaryChartNames) {
    configure("frequency summary\n");
    add(documents, "/a", 1, 0);
    EXPECT_NE(documentsPage().find("<img src=\"summaryt.gif\""), std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("summaryt.gif")));
    refererOnlyFlag = 1;
    add(referers, "http://r.example/", 1, 0);
    EXPECT_NE(capture([](FILE *f) { referersReport(f, START); }).find("<img src=\"refererr.gif\""),
              std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("refererr.gif")));
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    add(useragents, "Agent", 1, 0);
    EXPECT_NE(capture([](FILE *f) { useragentsReport(f, START); }).find("<img src=\"agentsu.gif\""),
              std::string::npos);
    EXPECT_TRUE(fileExists(dir.file("agentsu.gif")));
}

TEST_F(RankedTest, LabelWithForeignConversionsIsWrittenSafely) {
    // The configuration reader refuses such a text; the writer does not rely on that.
    char *saved = textResources[HTMLDOCUMENTSREPORTLABELBYACCESSES].text;
    char text[] = "Top %s of %d %n docs %d %d";
    textResources[HTMLDOCUMENTSREPORTLABELBYACCESSES].text = text;
    add(documents, "/a", 1, 0);
    std::string page = documentsPage();
    textResources[HTMLDOCUMENTSREPORTLABELBYACCESSES].text = saved;
    EXPECT_EQ(page.find("Top %s of 1 %n docs %d %d<img"), 0u);
}

TEST_F(RankedTest, ComparatorsReadTheirOwnTable) {
    add(sites, "a", 1, 50);
    add(sites, "b", 2, 10);
    int a = 0, b = 1;
    EXPECT_EQ(sitesCompareAccesses(&a, &b), 1);
    EXPECT_EQ(sitesCompareAccesses(&b, &a), -1);
    EXPECT_EQ(sitesCompareBytes(&a, &b), -1);
    EXPECT_EQ(sitesCompareAccesses(&a, &a), 0);
    add(completeTrails, "t1", 4, 0);
    add(completeTrails, "t2", 4, 0);
    EXPECT_EQ(trailsCompareAccesses(&a, &b), 0);
    add(domains, "x", 1, 0);
    add(domains, "y", 3, 0);
    EXPECT_EQ(domainsCompareAccesses(&a, &b), 1);
}

// ---- Modern pages ----

TEST_F(RankedTest, ModernRowsHaveSharesSeparatorsAndAnSvgPie) {
    configure("pagestyle modern\nhide\n*.gif\nend\n");
    add(documents, "/a", 3000, 1500);
    add(documents, "/x.gif", 600, 0);
    add(documents, "/b", 400, 0);
    std::string page = documentsPage();
    EXPECT_EQ(page.find("<h3>Top 2 of 3 Documents Sorted by Access Count</h3><img class=\"chart "
                        "chart-pie\" src=\"9800t.svg\" alt=\"Pie chart: Documents Sorted by "
                        "Access Count\" width=\""),
              0u);
    EXPECT_NE(page.find("<div class=\"table-wrap\"><table>\n<thead><tr><th scope=\"col\" "
                        "class=\"num\">Rank</th><th scope=\"col\" class=\"key\">URL</th><th "
                        "scope=\"col\" class=\"num\">Accesses</th><th scope=\"col\" class=\"num "
                        "share\">Share</th><th scope=\"col\" class=\"num\">Bytes</th></tr>"),
              std::string::npos);
    // 3000 of 4000 accesses (the hidden document's count too), 400 of 4000.
    EXPECT_NE(page.find("<tr><td class=\"num\">1</td><th scope=\"row\" class=\"key\"><a "
                        "href=\"/a\">/a</a></th><td class=\"num\">3,000</td><td class=\"num "
                        "share\">75.0%</td><td class=\"num\">1,500</td></tr>\n"),
              std::string::npos);
    EXPECT_NE(page.find("<td class=\"num\">400</td><td class=\"num share\">10.0%</td>"),
              std::string::npos);
    EXPECT_EQ(page.find("align="), std::string::npos);
    EXPECT_EQ(page.find("border="), std::string::npos);
    std::string svg = readFile(dir.file("9800t.svg"));
    EXPECT_NE(svg.find("/a"), std::string::npos);
    EXPECT_NE(svg.find("(hidden)"), std::string::npos);  // never the hidden name
    EXPECT_EQ(svg.find("x.gif"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("9800t.gif")));

    configure("pagestyle modern\ngifcharts yes\n");
    add(documents, "/a", 1, 0);
    documentsPage();
    EXPECT_TRUE(fileExists(dir.file("9800t.gif")));
}

TEST_F(RankedTest, ModernShareFollowsTheRankingFigure) {
    configure("pagestyle modern\norder bytes\n");
    add(documents, "/a", 3, 100);
    add(documents, "/b", 1, 300);
    std::string page = documentsPage();
    // Ranked by bytes, the share of the bytes stands after them: 300 of 400.
    EXPECT_NE(page.find("<td class=\"num\">1</td><td class=\"num\">300</td><td class=\"num "
                        "share\">75.0%</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<th scope=\"col\" class=\"num\">Bytes</th><th scope=\"col\" "
                        "class=\"num share\">Share</th>"),
              std::string::npos);
}

TEST_F(RankedTest, ModernEmptySectionIsOneLine) {
    configure("pagestyle modern\nnotfound yes\n");
    add(documents, "/a", 1, 0);
    std::string page = capture([](FILE *f) {
        referersReport(f, START);
        notfoundReport(f, START);
    });
    EXPECT_EQ(page,
              "<h3>Refererring URLs by Access Count</h3><p class=\"empty\">None of this "
              "period's log entries carries this information (a log in the common format records "
              "no referring pages and no browsers).</p>\n"
              "<h3>Documents Not Found</h3><p class=\"empty\">Nothing to list for this "
              "period.</p>\n");
    EXPECT_FALSE(fileExists(dir.file("9800r.svg")));
}

TEST_F(RankedTest, ModernLabelGroupsItsCounts) {
    configure("pagestyle modern\n");
    char key[16];
    for (int i = 0; i < 1001; i++) {
        std::snprintf(key, sizeof key, "/d%d", i);
        add(documents, key, 1, 0);
    }
    EXPECT_EQ(documentsPage().find("<h3>Top 10 of 1,001 Documents Sorted by Access Count</h3>"),
              0u);
}

TEST_F(RankedTest, ModernHeadingTakesTheCellsOfItsResource) {
    configure("pagestyle modern\nnotfound yes\n");
    add(notfound, "/gone", 2, 0);
    // The built-in heading leaves its last cell unclosed.
    EXPECT_NE(capture([](FILE *f) { notfoundReport(f, START); })
                  .find("<th scope=\"col\" class=\"num share\">Share</th><th scope=\"col\" "
                        "class=\"key\">Referring URLs</th></tr></thead>"),
              std::string::npos);
}

std::vector<int> stableOrder(int n, ReportComparator comparator) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(),
                     [comparator](const int &x, const int &y) { return comparator(&x, &y) < 0; });
    return order;
}

std::vector<int> rankedOrder(int n, ReportComparator comparator) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i;
    rankedSort(order.data(), n, comparator);
    return order;
}

// Few distinct values, so that most rows tie with many others.
void fill(Hash &table, int rows, unsigned seed) {
    char key[32];
    for (int i = 0; i < rows; i++) {
        seed = seed * 1103515245u + 12345u;
        std::snprintf(key, sizeof key, "/k%d", i);
        int row = hashFindOrAdd(table, key);
        for (int c = 0; c < table.doubleColumns; c++)
            table.doubles[row][c] = static_cast<double>((seed >> (8 + 3 * c)) % 9) * (c + 1);
    }
}

int oddRowsFirst(const void *a, const void *b) {
    int x = *static_cast<const int *>(a) % 2, y = *static_cast<const int *>(b) % 2;
    return y - x;
}

TEST_F(RankedTest, SortMatchesTheStableOrderOfEveryComparator) {
    fill(documents, 5000, 1);
    fill(completeTrails, 3000, 2);
    fill(notfound, 1000, 3);
    fill(referers, 1, 4);
    const struct {
        ReportComparator comparator;
        int rows;
    } cases[] = {{documentsCompareAccesses, 5000},
                 {documentsCompareBytes, 5000},
                 {trailsCompareAccesses, 3000},
                 {notfoundCompareAccesses, 1000}};
    for (const auto &c : cases)
        EXPECT_EQ(rankedOrder(c.rows, c.comparator), stableOrder(c.rows, c.comparator));
    EXPECT_EQ(rankedOrder(1, referersCompareBytes), std::vector<int>{0});
    EXPECT_EQ(rankedOrder(0, sitesCompareAccesses), std::vector<int>{});
    EXPECT_EQ(rankedOrder(10, oddRowsFirst), stableOrder(10, oddRowsFirst));
}

}  // namespace
