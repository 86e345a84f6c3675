// The trails and visits sections: ranking, labels, escaping and the example visits.
#include <cstdlib>
#include <string>
#include <vector>

#include "report_fixture.h"

namespace {

class TrailReportsTest : public ReportTest {
  protected:
    static std::string pageOf(void (*section)(FILE *, int)) {
        return capture([section](FILE *f) { section(f, 0); });
    }
};

TEST_F(TrailReportsTest, TrailsSectionRanksAndEscapes) {
    trailMinimumSteps = 1;
    trailFlush("/one", 1, 0, "a");       // 1 visit
    trailFlush("/<script>", 1, 0, "b");  // 2 visits
    trailFlush("/<script>", 1, 0, "c");
    trailFlush("/two", 1, 0, "d");  // 1 visit, after /one
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

TEST_F(TrailReportsTest, VisitsSectionShowsTotalsAndEvenlySpreadExamples) {
    EXPECT_EQ(pageOf(visitsReport), "");  // no visits, no section
    trailMinimumSteps = 1;
    // Visit i goes from /i to /end in i % 4 minutes.
    for (int i = 0; i < 25; i++) {
        std::string site = std::string("s").append(std::to_string(i)).append(".example");
        std::string trail = std::string("/").append(std::to_string(i)).append(", /end");
        trailFlush(trail.c_str(), 2, i % 4, site.c_str());
    }
    ASSERT_EQ(completeTrails.count, 25);
    std::string page = pageOf(visitsReport);
    EXPECT_EQ(page.find("<h3>Visits Report</h3>Total visits: 25<br>"), 0u);
    EXPECT_NE(page.find("Average visit: 1.44 minutes<br>Longest visit: 3 minutes<br>"),
              std::string::npos);
    EXPECT_NE(page.find("<h4>10 Example Visits</h4>"), std::string::npos);
    std::vector<int> shown;
    for (std::size_t at = page.find("<td>s"); at != std::string::npos;
         at = page.find("<td>s", at + 1))
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
