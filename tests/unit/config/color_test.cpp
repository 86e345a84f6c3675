// Colours and domain groups: the colour parser, colour settings and lists as the
// reader stores and checks them, and the merge of domain group lines.
#include "config/color.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/global.h"
#include "config_fixture.h"
#include "core/sarray.h"

namespace {

std::string colorError(int lineNumber, const std::string &keyword, const std::string &text) {
    return "Configuration file error at line " + std::to_string(lineNumber) + ":\nError in " +
           keyword + " option: " + text +
           " is not a valid color.\nColors should be specified in #RRGGBB format\n(the same format "
           "used in HTML).\n\n";
}

std::vector<std::string> groups() {
    return std::vector<std::string>(domainGroups.items, domainGroups.items + domainGroups.count);
}

void setGroups(const std::vector<std::string> &lines) {
    stringArrayShutdown(domainGroups);
    for (const std::string &l : lines) stringArrayAppend(domainGroups, l.c_str());
}

class ColorTest : public ConfigFixture {};

TEST(ParseColor, AcceptsSixHexDigitsWithOptionalHash) {
    int r = -1, g = -1, b = -1;
    EXPECT_EQ(parseColor("#ffffff", &r, &g, &b), 1);
    EXPECT_EQ(r + g + b, 3 * 255);
    EXPECT_EQ(parseColor("04A0fE", &r, &g, &b), 1);
    EXPECT_EQ(r, 0x04);
    EXPECT_EQ(g, 0xA0);
    EXPECT_EQ(b, 0xFE);
    for (const char *bad :
         {"#FFF", "#FFFFFFF", "#GGGGGG", "", "#", "##FFFFFF", "12345 ", "red", "#12 456"})
        EXPECT_EQ(parseColor(bad, &r, &g, &b), 0) << bad;
    EXPECT_EQ(parseColor(nullptr, &r, &g, &b), 0);
}

TEST_F(ColorTest, ColourSettingsAreStoredAsWritten) {
    readConfig(std::string(kBase) +
               "chartbackgroundcolor #ffffff\nchartbordercolor FFFFFF\n"
               "piebordercolor #FfFfFf\n");
    EXPECT_STREQ(chartBackgroundColor, "#ffffff");
    EXPECT_STREQ(chartBorderColor, "FFFFFF");
    EXPECT_STREQ(pieBorderColor, "#FfFfFf");
    EXPECT_STREQ(chartTextColor, "#000000");
}

TEST_F(ColorTest, BadColourSettingsStop) {
    EXPECT_CONFIG_ERROR("chartbackgroundcolor #FFF\n",
                        colorError(1, "chartbackgroundcolor", "#FFF"));
    EXPECT_CONFIG_ERROR("charttextcolor #FFFFFFF\n", colorError(1, "charttextcolor", "#FFFFFFF"));
    EXPECT_CONFIG_ERROR("chartcrosscolor #GGGGGG\n", colorError(1, "chartcrosscolor", "#GGGGGG"));
    EXPECT_CONFIG_ERROR(
        "charttickcolor\n",
        "Configuration file error at line 1:\nno argument provided for the charttickcolor "
        "keyword\n");
}

TEST_F(ColorTest, ColourListsAreCheckedAfterTheirClosingLine) {
    // "#FF0000" in the first column is a comment line of the block.
    EXPECT_CONFIG_ERROR("pieslicecolors\n#FF0000\nred\n\nend\n",
                        colorError(5, "pieslicecolors", "red"));
    EXPECT_CONFIG_ERROR("chartbarcolors\n #00FF00\n0000FG\nend\n",
                        colorError(4, "chartbarcolors", "0000FG"));
}

TEST_F(ColorTest, ColourListReplacesTheDefaultOnlyWhenGiven) {
    readConfig(std::string(kBase) +
               "chartbarcolors\n FF0000\n #00ff00\n0000FF\nend\npieslicecolors\nend\n");
    EXPECT_EQ(
        std::vector<std::string>(chartBarColors.items, chartBarColors.items + chartBarColors.count),
        (std::vector<std::string>{"FF0000", "#00ff00", "0000FF"}));
    ASSERT_EQ(pieSliceColors.count, PIE_DEFAULT_SLICE_COLORS);
    for (int i = 0; i < PIE_DEFAULT_SLICE_COLORS; i++)
        EXPECT_STREQ(pieSliceColors.items[i], pieDefaultSliceColors[i]);
    globalShutdown();
    globalSetup();
    readConfig(std::string(kBase) + "chartbarcolors\nend\n");
    ASSERT_EQ(chartBarColors.count, CHART_DEFAULT_BAR_COLORS);
    EXPECT_STREQ(chartBarColors.items[7], "#b03060");
}

TEST_F(ColorTest, DomainGroupsMergeByName) {
    setGroups({"europe de fr", "asia jp", "europe uk"});
    domainGroupsAdjust();
    EXPECT_EQ(groups(), (std::vector<std::string>{"europe uk de fr", "asia jp"}));

    setGroups({"asia jp kr", "Asia cn"});
    domainGroupsAdjust();
    EXPECT_EQ(groups(), (std::vector<std::string>{"asia cn jp kr"}));

    setGroups({"oceania", "africa za", "Oceania au nz"});
    domainGroupsAdjust();
    EXPECT_EQ(groups(), (std::vector<std::string>{"oceania au nz", "africa za"}));

    setGroups({"Europe\tde\tfr", "europe it", "europe", "europe nl"});
    domainGroupsAdjust();
    EXPECT_EQ(groups(), (std::vector<std::string>{"europe nl it de fr"}));
    EXPECT_EQ(domainGroups.items[1], nullptr);
}

TEST_F(ColorTest, DomainGroupNamesMustMatchWholly) {
    setGroups({"eu de", "europe fr", "euro x"});
    domainGroupsAdjust();
    EXPECT_EQ(groups(), (std::vector<std::string>{"eu de", "europe fr", "euro x"}));
}

}  // namespace
