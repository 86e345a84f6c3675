// Configuration reader: keywords and their arguments, blocks, messages with line
// numbers, the finishing steps, and several files read in a row.
#include "config/global.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "config/color.h"
#include "config_fixture.h"

namespace {

// Reads the text and returns what the reader printed on standard error.
std::string readConfigOutput(const std::string &text) {
    testing::internal::CaptureStderr();
    readConfig(text);
    return testing::internal::GetCapturedStderr();
}

std::vector<std::string> keysOf(const Hash &table) {
    return std::vector<std::string>(table.keys, table.keys + table.count);
}

std::vector<std::string> itemsOf(const StringArray &array) {
    return std::vector<std::string>(array.items, array.items + array.count);
}

class ConfigTest : public ConfigFixture {};

TEST_F(ConfigTest, RequiredSettingsAreCheckedInOrderAtTheLastLine) {
    EXPECT_CONFIG_ERROR("", errorAt(0,
                                    "No reportdir was specified. Please specify a reports "
                                    "directory in the configuration file."));
    EXPECT_CONFIG_ERROR("mydomain com\n", errorAt(1,
                                                  "No reportdir was specified. Please specify a "
                                                  "reports directory in the configuration file."));
    EXPECT_CONFIG_ERROR("reportdir /r\n# end\n\n",
                        errorAt(3,
                                "mydomain was not specified. Please specify a default top-level "
                                "domain (such as com, edu or org) in the configuration file."));
}

TEST_F(ConfigTest, MinimalFileGetsEveryDefault) {
    EXPECT_EQ(readConfigOutput(kBase), "");
    EXPECT_STREQ(reportDir, "/tmp/reports");
    EXPECT_STREQ(myDomain, "com");
    EXPECT_STREQ(topUrl, "");
    EXPECT_STREQ(dateFormat, "mm/dd/yy");
    EXPECT_STREQ(msDateFormat, "mm/dd/yy");
    EXPECT_STREQ(extension, "html");
    EXPECT_STREQ(indexName, "index.html");
    EXPECT_EQ(logFile, nullptr);
    EXPECT_EQ(serverName, nullptr);
    EXPECT_STREQ(chartBackgroundColor, "#FFFFFF");
    EXPECT_STREQ(chartBorderColor, "#000000");
    EXPECT_STREQ(chartTextColor, "#000000");
    EXPECT_STREQ(chartCrossColor, "#04A004");
    EXPECT_STREQ(chartTickColor, "#040404");
    EXPECT_STREQ(pieBackgroundColor, "#FFFFFF");
    EXPECT_STREQ(pieBorderColor, "#000000");
    EXPECT_EQ(chartBarColors.count, 8);
    EXPECT_STREQ(chartBarColors.items[0], "#9370db");
    EXPECT_EQ(pieSliceColors.count, 12);
    EXPECT_STREQ(pieSliceColors.items[11], "#FF80FF");
    EXPECT_EQ(frequency, FREQ_WEEKLY);
    EXPECT_EQ(topDocuments, 10);
    EXPECT_EQ(exampleVisits, 10);
    EXPECT_EQ(trailTimeout, 5);
    EXPECT_EQ(trailMinimumSteps, 3);
    EXPECT_EQ(
        keysOf(reportList),
        (std::vector<std::string>{"unique", "totals", "hours", "days", "documents", "authusers",
                                  "sites", "domains", "proxysites", "proxydomains", "trails",
                                  "visits", "referers", "useragents", "notfound", "resultcodes"}));
}

TEST_F(ConfigTest, IndexNameFollowsTheExtension) {
    readConfig(std::string(kBase) + "extension htm\n");
    EXPECT_STREQ(indexName, "index.htm");
}

TEST_F(ConfigTest, KeywordAndChoiceArgumentsIgnoreCase) {
    readConfig(std::string(kBase) + "Frequency Monthly\nORDER Bytes\nweekstart Monday\n");
    EXPECT_EQ(frequency, FREQ_MONTHLY);
    EXPECT_EQ(bytesFlag, 1);
    EXPECT_EQ(weekStart, 1);
}

TEST_F(ConfigTest, ChoiceErrors) {
    EXPECT_CONFIG_ERROR("frequency month\n",
                        errorAt(1,
                                "Unsupported reporting frequency set: month(Valid settings are: "
                                "monthly, weekly, daily, summary)\n"));
    EXPECT_CONFIG_ERROR("frequency\n", errorAt(1, "No value given for frequency keyword"));
    EXPECT_CONFIG_ERROR(
        "order pages\n",
        errorAt(1, "Unsupported order set: pages (Valid settings are: bytes, accesses)\n"));
    EXPECT_CONFIG_ERROR("weekstart m\n",
                        errorAt(1,
                                "Unrecognized value given for weekstart keyword: m\nValid "
                                "setttings are sun, mon, tue, wed, thu, fri, and sat"));
    EXPECT_CONFIG_ERROR("weekstart\n", errorAt(1, "No value given for weekstart keyword"));
}

TEST_F(ConfigTest, PageStyleAndGifCharts) {
    readConfig(std::string(kBase) + "pagestyle Modern\ngifcharts yes\n");
    EXPECT_EQ(pageStyleModern, 1);
    EXPECT_EQ(gifchartsFlag, 1);
    globalSetup();
    EXPECT_EQ(pageStyleModern, 0);
    EXPECT_EQ(gifchartsFlag, 0);
    readConfig(std::string(kBase) + "pagestyle modern\npagestyle classic\n");
    EXPECT_EQ(pageStyleModern, 0);
}

TEST_F(ConfigTest, PageStyleErrors) {
    EXPECT_CONFIG_ERROR("pagestyle\n", errorAt(1, "No value given for pagestyle keyword"));
    EXPECT_CONFIG_ERROR("pagestyle html5\n",
                        errorAt(1,
                                "Unsupported page style set: html5 (Valid settings are: "
                                "classic, modern)\n"));
}

TEST_F(ConfigTest, WeekstartIsDecidedByTwoLetters) {
    const char *words[] = {"sun", "MO", "Tuesday", "wed", "thursday", "fr", "Saturnalia"};
    for (int day = 0; day < 7; day++) {
        char argument[32];
        std::snprintf(argument, sizeof argument, "%s", words[day]);
        setWeekstart(argument);
        EXPECT_EQ(weekStart, day) << words[day];
    }
}

TEST_F(ConfigTest, Counts) {
    readConfig(std::string(kBase) +
               "top all\ntopsites 0\ntopdomains 15abc\ntopreferrers 5\ntoptrails 99999999999\n");
    EXPECT_EQ(topDocuments, COUNT_ALL);
    EXPECT_EQ(topSites, 0);
    EXPECT_EQ(topDomains, 15);
    EXPECT_EQ(topReferers, 5);
    EXPECT_EQ(topTrails, INT_MAX);
    EXPECT_CONFIG_ERROR("top -1\n",
                        errorAt(1, "Argument to top must be a whole number (-1 was given)"));
    EXPECT_CONFIG_ERROR(
        "topreferrers Many\n",
        errorAt(1, "Argument to topreferrers must be a whole number (many was given)"));
    EXPECT_CONFIG_ERROR("topsites\n", errorAt(1, "no argument provided for the topsites keyword"));
    EXPECT_CONFIG_ERROR(
        "trailtimeout all\n",
        errorAt(1, "Argument to trailtimeout must be a whole number (all was given)"));
    // Reading the log needs a thread at least.
    EXPECT_CONFIG_ERROR("threads 0\n",
                        errorAt(1, "Argument to threads must be 1 or more (0 was given)"));
    EXPECT_EQ(threadCount, 2);
    readConfig("threads 1\n");
    EXPECT_EQ(threadCount, 1);
}

TEST_F(ConfigTest, YesNoSettings) {
    readConfig(std::string(kBase) + "hours\ndays nochart\nsites On\nvisits n\nunique nopie\n");
    EXPECT_EQ(hoursFlag, 1);
    EXPECT_EQ(daysFlag, FLAG_NOCHART);
    EXPECT_EQ(sitesFlag, 1);
    EXPECT_EQ(visitsFlag, 0);
    EXPECT_EQ(uniqueFlag, FLAG_NOCHART);
    EXPECT_GE(hashFind(reportListWorking, "days"), 0);
    EXPECT_CONFIG_ERROR("hours maybe\n",
                        errorAt(1, "Argument to hours must be 'yes' or 'no' (maybe was given)"));
    EXPECT_CONFIG_ERROR(
        "nozeros Perhaps\n",
        errorAt(1, "Argument to nozeros must be 'yes' or 'no' (perhaps was given)"));
}

TEST_F(ConfigTest, DnsFastIsCaseSensitive) {
    readConfig(std::string(kBase) + "dns fast\n");
    EXPECT_EQ(dnsFlag, DNS_FAST);
    EXPECT_CONFIG_ERROR("dns FAST\n",
                        errorAt(1, "Argument to dns must be 'yes' or 'no' (fast was given)"));
}

TEST_F(ConfigTest, FirstMentionSetsTheReportOrder) {
    readConfig(std::string(kBase) + "documents no\nhours yes\n");
    EXPECT_EQ(
        keysOf(reportList),
        (std::vector<std::string>{"unique", "totals", "days", "documents", "hours", "authusers",
                                  "sites", "domains", "proxysites", "proxydomains", "trails",
                                  "visits", "referers", "useragents", "notfound", "resultcodes"}));
}

TEST_F(ConfigTest, SynonymsRecordTheirSectionAndMessagesUseTheirName) {
    readConfig(std::string(kBase) +
               "referrers yes\ntopreferrers 5\nexamplevisits 2\ndomaingroups\nend\n");
    EXPECT_EQ(keysOf(reportListWorking),
              (std::vector<std::string>{"referers", "visits", "domaingroups"}));
    EXPECT_EQ(keysOf(reportList)[7], "domaingroups");
    EXPECT_CONFIG_ERROR("logdir\n", errorAt(1, "no argument provided for the logfile keyword"));
}

TEST_F(ConfigTest, ListBlocksAndTheirClosingLines) {
    std::string text = std::string(kBase) +
                       "allow\n/a/*\n\t\n   \n# comment\n   /b/*  \nEnd\n"
                       "ignore\n/c\nend ignore\n"
                       "hide\n   endnotes.html\nendnotes.html\n";
    EXPECT_CONFIG_ERROR(std::string(kBase) + "hide\n/after\nend\n/after\n",
                        errorAt(6, "Unrecognized keyword in configuration file: /after"));
    readConfig(text);
    EXPECT_EQ(itemsOf(allowed), (std::vector<std::string>{"/a/*", "/b/*"}));
    EXPECT_EQ(itemsOf(ignored), (std::vector<std::string>{"/c"}));
    // "endnotes.html" closes the block; the indented one is an entry.
    EXPECT_EQ(itemsOf(hidden), (std::vector<std::string>{"endnotes.html"}));
}

TEST_F(ConfigTest, ListBlockErrors) {
    EXPECT_CONFIG_ERROR("allow\n/a\nend ignore\n",
                        errorAt(3,
                                "end ignore does not match allow. Perhaps you did not close an "
                                "earlier list."));
    EXPECT_CONFIG_ERROR("allow\n/a\n# c\n\n", errorAt(4, "end allow must appear after allow"));
    EXPECT_CONFIG_ERROR("ignorereferrers\nx\nend ignorereferers\n",
                        errorAt(3,
                                "end ignorereferers does not match ignorereferrers. Perhaps you "
                                "did not close an earlier list."));
    readConfig(std::string(kBase) + "ignorereferrers\nx\nEND IgnoreReferrers\n");
    EXPECT_EQ(itemsOf(ignoredReferers), (std::vector<std::string>{"x"}));
}

TEST_F(ConfigTest, IndentedCommentIsAnUnknownKeyword) {
    EXPECT_CONFIG_ERROR(std::string(kBase) + " # note\n",
                        errorAt(3, "Unrecognized keyword in configuration file: #"));
    EXPECT_CONFIG_ERROR("ReportDirectory /r\n",
                        errorAt(1, "Unrecognized keyword in configuration file: reportdirectory"));
}

TEST_F(ConfigTest, WhiteSpaceOnlyLinesAreSkipped) {
    EXPECT_EQ(readConfigOutput(std::string(" \t \n") + kBase + "\r\n\t\n"), "");
}

TEST_F(ConfigTest, ArgumentIsTrimmedAndEndsAtTheLineBreak) {
    readConfig("reportdir \t /tmp/r b  \r\nmydomain\tcom\r\nservername x\rjunk\n");
    EXPECT_STREQ(reportDir, "/tmp/r b");
    EXPECT_STREQ(myDomain, "com");
    EXPECT_STREQ(serverName, "x");
}

TEST_F(ConfigTest, StringSettingsWarnWhenRepeated) {
    std::string out = readConfigOutput(std::string(kBase) + "logfile /a\nlogdir /b\n");
    EXPECT_EQ(out, warningAt(4, "logfile keyword given more than once"));
    EXPECT_STREQ(logFile, "/b");
    EXPECT_CONFIG_ERROR("servername\n",
                        errorAt(1, "no argument provided for the servername keyword"));
}

TEST_F(ConfigTest, DateFormatsAndTheirWarnings) {
    std::string out =
        readConfigOutput(std::string(kBase) + "dateformat dd/mm/yy\nmsdateformat mm-dd-yy\n");
    EXPECT_EQ(out, warningAt(4, "msdateformat keyword given more than once"));
    EXPECT_STREQ(dateFormat, "dd/mm/yy");
    EXPECT_STREQ(msDateFormat, "mm-dd-yy");
}

TEST_F(ConfigTest, SecondDateFormatLeavesTheIisCopy) {
    std::string out =
        readConfigOutput(std::string(kBase) + "dateformat dd/mm/yy\ndateformat yyyy-mm-dd\n");
    EXPECT_EQ(out, warningAt(4, "dateformat keyword given more than once"));
    EXPECT_STREQ(dateFormat, "yyyy-mm-dd");
    EXPECT_STREQ(msDateFormat, "dd/mm/yy");
}

TEST_F(ConfigTest, IisDateFormatSynonymWarnsAsMsdateformat) {
    std::string out =
        readConfigOutput(std::string(kBase) + "iisdateformat m/d/y\nIISDATEFORMAT d.m.y\n");
    EXPECT_EQ(out, warningAt(4, "msdateformat keyword given more than once"));
    EXPECT_STREQ(msDateFormat, "d.m.y");
    EXPECT_STREQ(dateFormat, "mm/dd/yy");
}

TEST_F(ConfigTest, TopUrlLosesOneTrailingSlash) {
    readConfig(std::string(kBase) + "topurl /docs//\n");
    EXPECT_STREQ(topUrl, "/docs/");
}

TEST_F(ConfigTest, OffsetHours) {
    struct Case {
        const char *argument;
        int hours;
        int minutes;
    } cases[] = {{"-5:30", -5, -30}, {"+2", 2, 0}, {"3", 3, 0}, {"0:45", 0, 45}, {":30", 0, 30}};
    for (const Case &c : cases) {
        globalShutdown();
        globalSetup();
        readConfig(std::string(kBase) + "offsethours " + c.argument + "\n");
        EXPECT_EQ(offsetHours, c.hours) << c.argument;
        EXPECT_EQ(offsetMinutes, c.minutes) << c.argument;
        EXPECT_STREQ(offsetString, c.argument);
    }
}

TEST_F(ConfigTest, OffsetHoursErrors) {
    EXPECT_CONFIG_ERROR("offsethours x\n",
                        errorAt(1, "x is not an acceptable value for the offsethours option."));
    EXPECT_CONFIG_ERROR("offsethours -\n",
                        errorAt(1, "- is not an acceptable value for the offsethours option."));
    EXPECT_CONFIG_ERROR(
        "offsethours 99999999999\n",
        errorAt(1, "99999999999 is not an acceptable value for the offsethours option."));
    EXPECT_CONFIG_ERROR(
        "offsethours 1:123456\n",
        errorAt(1, "1:123456 is not an acceptable value for the offsethours option."));
}

TEST_F(ConfigTest, TotalsGroupsAndTheirDividers) {
    readConfig(
        std::string(kBase) +
        "totals\na A\nb B\nend\ntotals\nc C\nd D\nend totals\ntotalsgroup\ne E\nf F\ng G\nend\n");
    EXPECT_EQ(keysOf(totals),
              (std::vector<std::string>{"DIVIDER 0", "a", "DIVIDER 2", "b", "DIVIDER 4", "c",
                                        "DIVIDER 6", "d", "DIVIDER 8", "e", "f", "g"}));
    char *label = nullptr;
    ASSERT_EQ(hashGetString(totals, "DIVIDER 4", 0, &label), 1);
    EXPECT_STREQ(label, "");
    ASSERT_EQ(hashGetString(totals, "f", 0, &label), 1);
    EXPECT_STREQ(label, "F");
    EXPECT_EQ(totalsNew.keys, nullptr);
}

TEST_F(ConfigTest, PatternValueEntries) {
    readConfig(std::string(kBase) +
               "totals\n*.html  Pages\n*.gif Images\n*.html\tWeb pages\nend\n"
               "fakedns\n10.* intranet.example\nend\n");
    // A pattern repeated in one block keeps its last value and one place.
    EXPECT_EQ(keysOf(totals),
              (std::vector<std::string>{"DIVIDER 0", "*.html", "DIVIDER 2", "*.gif"}));
    char *label = nullptr;
    hashGetString(totals, "*.html", 0, &label);
    EXPECT_STREQ(label, "Web pages");
    readConfig("totals\n*.css  Styles\nend\n");
    hashGetString(totals, "*.css", 0, &label);
    EXPECT_STREQ(label, " Styles");
    hashGetString(fakeDns, "10.*", 0, &label);
    EXPECT_STREQ(label, "intranet.example");
    EXPECT_CONFIG_ERROR(
        "totals\na A\n*.html\nend\n",
        errorAt(3, "each item in the totals list must have both a pattern and a value."));
    EXPECT_CONFIG_ERROR(
        "fakedns\nx\nend\n",
        errorAt(2, "each item in the fakedns list must have both a pattern and a value."));
}

TEST_F(ConfigTest, OldFormatAndHtmlKeywords) {
    readConfig(std::string(kBase) + "html whatever is here\n");
    EXPECT_CONFIG_ERROR(
        "NCSA_httpd\n",
        errorAt(1,
                "This is a quorvel 3.2 configuration file. Please\nrun the 'upgrade' "
                "program to convert it for use\nwith the current version of "
                "quorvel. Nothing done.\n"));
}

TEST_F(ConfigTest, NocaseLowersAllowAndIgnoreOnly) {
    readConfig(std::string(kBase) +
               "nocase\nallow\n/A/B\nend\nignore\n*.GIF\nend\nhide\n/X\nend\n");
    EXPECT_EQ(itemsOf(allowed), (std::vector<std::string>{"/a/b"}));
    EXPECT_EQ(itemsOf(ignored), (std::vector<std::string>{"*.gif"}));
    EXPECT_EQ(itemsOf(hidden), (std::vector<std::string>{"/X"}));
}

TEST_F(ConfigTest, LongLinesAreReadInPieces) {
    // 1023 characters make the first piece; the rest is a line of its own.
    std::string longArgument(1200, 'a');
    EXPECT_CONFIG_ERROR(
        std::string(kBase) + "servername " + longArgument + "\n",
        errorAt(4, "Unrecognized keyword in configuration file: " + std::string(188, 'a')));
    std::string entry(3000, 'b');
    readConfig(std::string(kBase) + "hide\n" + entry + "\nend\n");
    ASSERT_EQ(hidden.count, 2);
    EXPECT_EQ(std::string(hidden.items[0]), std::string(2047, 'b'));
    EXPECT_EQ(std::string(hidden.items[1]), std::string(953, 'b'));
}

TEST_F(ConfigTest, OddBytesAndAMissingFinalLineFeed) {
    std::string text = std::string(kBase) + "hide\n/a";
    text += '\0';
    text += "b\n";
    text += '\0';
    text += "\nend\nservername srv";
    readConfig(text);
    EXPECT_EQ(itemsOf(hidden), (std::vector<std::string>{"/a"}));
    EXPECT_STREQ(serverName, "srv");
}

TEST_F(ConfigTest, LineNumbersCountBlockLines) {
    EXPECT_CONFIG_ERROR("allow\n# x\n\n/a\nend\nbogus\n",
                        errorAt(6, "Unrecognized keyword in configuration file: bogus"));
}

TEST_F(ConfigTest, DomainGroupsMergeAcrossBlocks) {
    readConfig(std::string(kBase) +
               "domaingroups\nEurope de fr\nasia jp\nend\nDomainGroups\neurope uk\nend\n");
    EXPECT_EQ(itemsOf(domainGroups), (std::vector<std::string>{"europe uk de fr", "asia jp"}));
}

TEST_F(ConfigTest, TwoFilesInARow) {
    readConfig(std::string(kBase) +
               "dateformat dd/mm/yy\nallow\n/a\nend\nhours yes\n"
               "chartbarcolors\n010203\nend\n");
    std::string out = readConfigOutput(
        "extension htm\ndateformat yy-mm-dd\ndays no\nallow\n/b\nend\n"
        "chartbackgroundcolor #123456\npieslicecolors\n #ABCDEF\nend\n");
    EXPECT_EQ(out, warningAt(1, "extension keyword given more than once") +
                       warningAt(2, "dateformat keyword given more than once") +
                       warningAt(7, "chartbackgroundcolor keyword given more than once"));
    EXPECT_STREQ(extension, "htm");
    EXPECT_STREQ(indexName, "index.html");  // supplied by the first file's finish
    EXPECT_STREQ(dateFormat, "yy-mm-dd");
    EXPECT_STREQ(msDateFormat, "dd/mm/yy");
    EXPECT_STREQ(chartBackgroundColor, "#123456");
    EXPECT_EQ(itemsOf(allowed), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(itemsOf(chartBarColors), (std::vector<std::string>{"010203"}));
    ASSERT_EQ(pieSliceColors.count, 13);
    EXPECT_STREQ(pieSliceColors.items[12], "#ABCDEF");
    // The first file fixed the order: "days" stays where the first finish put it.
    std::vector<std::string> order = keysOf(reportList);
    EXPECT_EQ(order.size(), 16u);
    EXPECT_EQ(order[2], "days");
    EXPECT_EQ(order[4], "hours");
}

TEST_F(ConfigTest, ProgramStartSettingsAreNotResetBySetup) {
    readConfig(std::string(kBase) + "documents no\ntrails no\nnobytes\n");
    globalShutdown();
    globalSetup();
    EXPECT_EQ(documentsFlag, 0);
    EXPECT_EQ(trailsFlag, 0);
    EXPECT_EQ(nobytesFlag, 1);
    documentsFlag = trailsFlag = 1;
    nobytesFlag = 0;
}

TEST_F(ConfigTest, ShutdownReleasesEverythingAndSetupStartsAfresh) {
    readConfig(std::string(kBase) + "subdomains\nexample.com\nend\nhtmlnodata\nNothing.\nend\n");
    EXPECT_STREQ(textResource(HTMLNODATA), "Nothing.");
    globalShutdown();
    EXPECT_EQ(reportDir, nullptr);
    EXPECT_EQ(subDomains.count, 0);
    EXPECT_STREQ(textResource(HTMLNODATA), "No data to analyze!");
    globalSetup();
    EXPECT_CONFIG_ERROR("",
                        errorAt(0,
                                "No reportdir was specified. Please specify a reports directory "
                                "in the configuration file."));
}

TEST_F(ConfigTest, ExitHookSeesTheFatalPath) {
    struct Abort {};
    configExitHook = [](int status) {
        EXPECT_EQ(status, 1);
        throw Abort{};
    };
    testing::internal::CaptureStderr();
    EXPECT_THROW(readConfig("totals\na A\nb\nend\n"), Abort);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              errorAt(3, "each item in the totals list must have both a pattern and a value."));
    configExitHook = nullptr;
}

TEST_F(ConfigTest, VisitorKeywords) {
    EXPECT_EQ(robotsMode, ROBOTS_COUNT);
    EXPECT_EQ(agentPatternsNeeded(), 0);  // nothing loads the patterns by default

    std::string patterns = testing::TempDir() + "visitor-patterns.yaml";
    FILE *file = std::fopen(patterns.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(readConfigOutput(std::string(kBase) +
                               "robots Apart\nbrowserfamilies nopie\ntoprobots all\n"
                               "robotagents\nSiteMonitor/*\nend robotagents\nanonymize\n"
                               "useragentpatterns " +
                               patterns + "\n"),
              "");
    EXPECT_EQ(robotsMode, ROBOTS_APART);
    EXPECT_EQ(browserfamiliesFlag, FLAG_NOCHART);
    EXPECT_EQ(systemfamiliesFlag, 0);
    EXPECT_EQ(topRobots, COUNT_ALL);
    EXPECT_EQ(itemsOf(robotAgents), std::vector<std::string>{"SiteMonitor/*"});
    EXPECT_EQ(anonymizeFlag, 1);
    EXPECT_EQ(std::string(agentPatterns), patterns);
    EXPECT_EQ(agentPatternsLine, 10);
    EXPECT_EQ(agentPatternsNeeded(), 1);
    // The sections stand where the file names them; unnamed they have no place.
    std::vector<std::string> order = keysOf(reportList);
    EXPECT_EQ(std::vector<std::string>(order.begin() + 4, order.begin() + 8),
              (std::vector<std::string>{"documents", "browserfamilies", "robotlist", "authusers"}));
    EXPECT_EQ(std::count(order.begin(), order.end(), "systemfamilies"), 0);
    std::remove(patterns.c_str());
}

TEST_F(ConfigTest, VisitorKeywordErrors) {
    EXPECT_CONFIG_ERROR(
        std::string(kBase) + "robots maybe\n",
        errorAt(3, "Unsupported robots setting: maybe (Valid settings are: count, apart, ignore)"));
    EXPECT_CONFIG_ERROR(std::string(kBase) + "robots\n",
                        errorAt(3, "No value given for robots keyword"));
    EXPECT_CONFIG_ERROR(
        std::string(kBase) + "# patterns\nuseragentpatterns /no/such/regexes.yaml\n",
        errorAt(4,
                "The user-agent pattern file /no/such/regexes.yaml cannot be "
                "read: No such file or directory"));
    EXPECT_CONFIG_ERROR(std::string(kBase) + "useragentpatterns /\n",
                        errorAt(3, "The user-agent pattern file / is not a file"));
}

TEST_F(ConfigTest, SampleConfigurationIsAccepted) {
    FILE *file = std::fopen(QUORVEL_SOURCE_DIR "/examples/quorvel.conf", "r");
    ASSERT_NE(file, nullptr);
    testing::internal::CaptureStderr();
    globalConfigure(file);
    std::fclose(file);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(reportDir, nullptr);
    EXPECT_NE(myDomain, nullptr);
    EXPECT_GT(hidden.count + ignored.count + suffixes.count, 0);
}

}  // namespace
