// Headings and the operator's header and footer of a period page.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "core/mem.h"
#include "core/sarray.h"
#include "engine/engine.h"
#include "report/report.h"

namespace {

template <typename Writer>
std::string capture(Writer writer) {
    FILE *page = std::tmpfile();
    writer(page);
    std::fflush(page);
    std::rewind(page);
    std::string text;
    int c;
    while ((c = std::fgetc(page)) != EOF) text += static_cast<char>(c);
    std::fclose(page);
    return text;
}

class EnginePage : public ::testing::Test {
protected:
    void SetUp() override {
        textResourcesReset();
        myfree(dateFormat);
        dateFormat = mystrdup("mm/dd/yyyy");
        refererOnlyFlag = useragentOnlyFlag = 0;
    }
    void TearDown() override {
        textResourcesReset();
        frequency = FREQ_WEEKLY;
    }
};

TEST_F(EnginePage, HeadingsOfEachFrequency) {
    int day = dateToDay(2, 1, 2024);
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_DAILY); }), "Day of 02/01/2024\n");
    frequency = FREQ_WEEKLY;
    weekStart = 4;  // 1 February 2024 was a Thursday
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_WEEKLY); }),
              "Week of 02/01/2024 to 02/07/2024\n");
    weekStart = 0;
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_MONTHLY); }),
              "Month of 02/01/2024 to 02/29/2024");
    firstDay = day;
    lastDay = day + 3;
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, -1, FREQ_SUMMARY); }),
              "Summary from 02/01/2024 to 02/04/2024\n");
    frequency = FREQ_SUMMARY;
    refererOnlyFlag = 1;
    EXPECT_EQ(capture([&](FILE *p) { epochHeading(p, day); }), "Summary of Referring URLs");
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    EXPECT_EQ(capture([&](FILE *p) { epochHeading(p, day); }), "Summary of User Agents (Browsers)");
}

TEST_F(EnginePage, OperatorHeadingTextCannotReachPastItsArguments) {
    textResources[HTMLDAYOFHEADING].text = const_cast<char *>("%n%d %s %s %x 100%%");
    int day = dateToDay(2, 1, 2024);
    EXPECT_EQ(capture([&](FILE *p) { epochHeadingBody(p, day, FREQ_DAILY); }),
              "%n%d %s %s %x 100%\n");
}

TEST_F(EnginePage, HeaderAndFooterReplaceTheBodyTags) {
    stringArrayShutdown(header);
    stringArrayShutdown(footer);
    stringArraySetup(header);
    stringArraySetup(footer);
    EXPECT_EQ(capture([](FILE *p) { outputUserHeader(p); }), "<body bgcolor=#FFFFFF>");
    EXPECT_EQ(capture([](FILE *p) { outputUserFooter(p); }), "</body>");
    stringArrayAppend(header, "<body>");
    stringArrayAppend(header, "<p>Top</p>");
    stringArrayAppend(footer, "</body>");
    EXPECT_EQ(capture([](FILE *p) { outputUserHeader(p); }), "<body>\n<p>Top</p>\n");
    EXPECT_EQ(capture([](FILE *p) { outputUserFooter(p); }), "</body>\n");
    stringArrayShutdown(header);
    stringArrayShutdown(footer);
    stringArraySetup(header);
    stringArraySetup(footer);
}

}  // namespace
