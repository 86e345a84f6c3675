// Headings and the operator's header and footer of a period page.
#include <string>

#include "core/dates.h"
#include "report_fixture.h"

namespace {

class PageTest : public ReportTest {
  protected:
    void SetUp() override { configure("dateformat mm/dd/yyyy\n"); }
};

TEST_F(PageTest, HeadingsOfEachFrequency) {
    int day = dateToDay(2, 1, 2024);
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_DAILY, 1); }),
              "Day of 02/01/2024\n");
    frequency = FREQ_WEEKLY;
    weekStart = 4;  // 1 February 2024 was a Thursday
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_WEEKLY, periodDays(day)); }),
              "Week of 02/01/2024 to 02/07/2024\n");
    weekStart = 0;
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_MONTHLY, 29); }),
              "Month of 02/01/2024 to 02/29/2024");
    firstDay = day;
    lastDay = day + 3;
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, -1, FREQ_SUMMARY, 1); }),
              "Summary from 02/01/2024 to 02/04/2024\n");
    frequency = FREQ_SUMMARY;
    refererOnlyFlag = 1;
    EXPECT_EQ(capture([&](FILE *p) { epochHeading(p, day, 1); }), "Summary of Referring URLs");
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    EXPECT_EQ(capture([&](FILE *p) { epochHeading(p, day, 1); }),
              "Summary of User Agents (Browsers)");
}

TEST_F(PageTest, OperatorHeadingTextCannotReachPastItsArguments) {
    textResources[HTMLDAYOFHEADING].text = const_cast<char *>("%n%d %s %s %x 100%%");
    int day = dateToDay(2, 1, 2024);
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_DAILY, 1); }),
              "%n%d %s %s %x 100%\n");
}

TEST_F(PageTest, HeaderAndFooterReplaceTheBodyTags) {
    EXPECT_EQ(capture([](FILE *p) { outputUserHeader(p); }), "<body bgcolor=#FFFFFF>");
    EXPECT_EQ(capture([](FILE *p) { outputUserFooter(p); }), "</body>");
    stringArrayAppend(header, "<body>");
    stringArrayAppend(header, "<p>Top</p>");
    stringArrayAppend(footer, "</body>");
    EXPECT_EQ(capture([](FILE *p) { outputUserHeader(p); }), "<body>\n<p>Top</p>\n");
    EXPECT_EQ(capture([](FILE *p) { outputUserFooter(p); }), "</body>\n");
}

}  // namespace
