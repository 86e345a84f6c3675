// Text resources: the fixed table, replacement blocks, and the checks of the
// replacements of printf templates.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "config/global.h"
#include "config_fixture.h"

namespace {

class ResourceTest : public ConfigFixture {};

TEST_F(ResourceTest, TableHoldsTheNamesInTheirFixedOrder) {
    std::set<std::string> names;
    for (int i = 0; i < TEXT_RESOURCE_COUNT; i++) {
        ASSERT_NE(textResources[i].name, nullptr);
        ASSERT_NE(textResources[i].text, nullptr);
        EXPECT_EQ(std::strncmp(textResources[i].name, "html", 4), 0) << i;
        names.insert(textResources[i].name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(TEXT_RESOURCE_COUNT));
    struct Spot {
        int number;
        const char *name;
        const char *text;
    } spots[] = {
        {HTMLOPENPAGE, "htmlopenpage", "<html>"},
        {HTMLNODATA, "htmlnodata", "No data to analyze!"},
        {HTMLOPENBODY, "htmlopenbody", "<body bgcolor=#FFFFFF>"},
        {HTMLHISTORYGRAPHSHEADING, "htmlhistorygraphsheading",
         "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Average Accesses</th>\n<th>Latest "
         "Accesses</th>\n</tr>"},
        {HTMLHISTORYGRAPHSAFTERIMAGE, "htmlhistorygraphsafterimage", "<p>\n<table border=\"1\">"},
        {HTMLREPORTSFORYEAR, "htmlreportsforyear", "Reports for the year "},
        {HTMLBYTES, "htmlbytes", "bytes"},
        {HTMLRESULT200, "htmlresult200", "OK"},
        {HTMLRESULT503, "htmlresult503", "Service Unavailable"},
        {HTMLUNIQUEPARTIALEPOCHLABEL, "htmluniquepartialepochlabel",
         "<strong>Note: </strong>the time period this report refers to\nis not yet over."},
        {HTMLREPORTCHARTALIGN, "htmlreportchartalign", "left"},
        {HTMLVISITSREPORTAVERAGE, "htmlvisitsreportaverage", "Average visit: %.2f minutes<br>"},
        {HTMLNOTFOUNDREPORTHEADING, "htmlnotfoundreportheading",
         "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Referring URLs</tr>"},
        {HTMLREFERERSREPORTLABELALLBYBYTES, "htmlreferersreportlabelallbybytes",
         "<h3>Refererring URLs by Bytes Transferred</h3>"},
        {HTMLUSERAGENTSREPORTLABELBYACCESSES, "htmluseragentsreportlabelbyaccesses",
         "<h3>Top %d of %d user agents by Access Count</h3>"},
        {HTMLSUMMARYFROMTO, "htmlsummaryfromto", "Summary from %s to %s"},
        {HTMLBROWSERFAMILIESREPORTLABELALLBYBYTES, "htmlbrowserfamiliesreportlabelallbybytes",
         "<h3>Browsers by Bytes Transferred</h3>"},
        {HTMLSYSTEMFAMILIESREPORTLABELBYACCESSES, "htmlsystemfamiliesreportlabelbyaccesses",
         "<h3>Top %d of %d Operating Systems by Access Count</h3>"},
        {HTMLROBOTSREPORTHEADINGWITHBYTES, "htmlrobotsreportheadingwithbytes",
         "<tr><th>Rank</th><th>Robot</th><th>Accesses</th><th>Bytes</th></tr>"},
        {HTMLUNIQUEROBOTS, "htmluniquerobots", "Robot accesses (counted apart)"},
    };
    for (const Spot &s : spots) {
        EXPECT_STREQ(textResources[s.number].name, s.name);
        EXPECT_STREQ(textResource(s.number), s.text) << s.name;
    }
    EXPECT_EQ(HTMLRESULT404, 41);
    EXPECT_EQ(HTMLREPORTCHARTALIGN, 76);
    EXPECT_EQ(HTMLDAYOFHEADING, 138);
}

TEST_F(ResourceTest, BlocksReplaceJoinAndEmpty) {
    readConfig(
        std::string(kBase) +
        "htmlopenbody\n<body bgcolor=#000000 text=#FFFFFF>\nend\n"
        "HTMLCloseBody ignored words\n   </div>  \n# dropped\n\n\t\n  </body>\nend htmlclosebody\n"
        "htmlnodata\nend\n"
        "HTMLResult404\nGone Fishing\nEND\n");
    EXPECT_STREQ(textResource(HTMLOPENBODY), "<body bgcolor=#000000 text=#FFFFFF>");
    EXPECT_STREQ(textResource(HTMLCLOSEBODY), "</div>\n</body>");
    EXPECT_STREQ(textResource(HTMLNODATA), "");
    EXPECT_STREQ(textResource(HTMLRESULT404), "Gone Fishing");
    // A second definition replaces the first.
    readConfig("htmlresult404\nMissing\nend\n");
    EXPECT_STREQ(textResource(HTMLRESULT404), "Missing");
    textResourcesReset();
    EXPECT_STREQ(textResource(HTMLRESULT404), "Not Found");
    EXPECT_STREQ(textResource(HTMLOPENBODY), "<body bgcolor=#FFFFFF>");
}

TEST_F(ResourceTest, BlockErrors) {
    EXPECT_CONFIG_ERROR("htmlfoo\nsome text\n\nend\n",
                        errorAt(4,
                                "htmlfoo is not a text resource name. Check the documentation for "
                                "the correct resource names."));
    EXPECT_CONFIG_ERROR("htmlnodata\nNothing here.\nEnd of the report\n",
                        errorAt(3,
                                "end of does not match htmlnodata. Perhaps you did not close an "
                                "earlier list."));
    EXPECT_CONFIG_ERROR(std::string(kBase) + "htmlversion 3\nextension htm\n",
                        errorAt(4, "end htmlversion must appear after htmlversion"));
}

TEST_F(ResourceTest, TemplateReplacementsThatFitAreKept) {
    readConfig(std::string(kBase) +
               "htmldocumentsreportlabelbybytes\n<h3>Die %d von %d Seiten</h3>\nend\n"
               "htmlsitesreportlabelbyaccesses\n<h3>Top %d sites (100%% sure)</h3>\nend\n"
               "htmlreferersreportlabelbybytes\nReferrers\nend\n"
               "htmlvisitsreporttotal\nVisits: %'12.1f\nend\n"
               "htmlvisitsreportexampleslabel\n%-4d examples\nend\n"
               "htmlweekofheading\n%s - %.20s\nend\n"
               "htmldayofheading\n%s\nend\n"
               "htmlnodata\n100% %n %s\nend\n");
    EXPECT_STREQ(textResource(HTMLDOCUMENTSREPORTLABELBYBYTES), "<h3>Die %d von %d Seiten</h3>");
    EXPECT_STREQ(textResource(HTMLSITESREPORTLABELBYACCESSES),
                 "<h3>Top %d sites (100%% sure)</h3>");
    EXPECT_STREQ(textResource(HTMLVISITSREPORTTOTAL), "Visits: %'12.1f");
    EXPECT_STREQ(textResource(HTMLWEEKOFHEADING), "%s - %.20s");
    // Texts that are not templates are written as they stand and are not checked.
    EXPECT_STREQ(textResource(HTMLNODATA), "100% %n %s");
    char out[128];
    std::snprintf(out, sizeof out, textResource(HTMLSITESREPORTLABELBYACCESSES), 5, 9);
    EXPECT_STREQ(out, "<h3>Top 5 sites (100% sure)</h3>");
}

TEST_F(ResourceTest, TemplateReplacementsThatDoNotFitStopAtTheirBlock) {
    const std::string twoNumbers =
        "Text resource htmltrailsreportlabel may use only the conversions %d %d, in this order; "
        "write %% for a percent sign.";
    const char *rejected[] = {"Top %d of %d %d", "Top %s of %d", "Top %n", "%ld rows", "%*d rows",
                              "%1$d rows",       "Top 50%",      "%9999d", "%#d",      "%f"};
    for (const char *text : rejected) {
        EXPECT_CONFIG_ERROR(std::string("htmltrailsreportlabel\n") + text + "\nend\n",
                            errorAt(3, twoNumbers))
            << text;
    }
    EXPECT_CONFIG_ERROR(
        "htmlvisitsreportlongest\n%d minutes\nend\n",
        errorAt(3,
                "Text resource htmlvisitsreportlongest may use only the conversions "
                "%f, in this order; write %% for a percent sign."));
    EXPECT_CONFIG_ERROR("htmlmonthofheading\nfrom %s\nto %d\nend\n",
                        errorAt(4,
                                "Text resource htmlmonthofheading may use only the conversions %s "
                                "%s, in this order; write %% for a percent sign."));
    EXPECT_CONFIG_ERROR("htmlvisitsreportexampleslabel\n%s examples\nend\n",
                        errorAt(3,
                                "Text resource htmlvisitsreportexampleslabel may use only the "
                                "conversions %d, in this order; write %% for a percent sign."));
}

}  // namespace
