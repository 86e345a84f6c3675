// Chart files read back: names, sizes, transparency, which sectors a pie gets and on
// which scale the bar charts show their figures.
#include <gd.h>

#include <string>

#include "core/dates.h"
#include "report_fixture.h"

namespace {

struct Gif {
    gdImagePtr image = nullptr;
    explicit Gif(const std::string &path) {
        FILE *file = std::fopen(path.c_str(), "rb");
        if (file) {
            image = gdImageCreateFromGif(file);
            std::fclose(file);
        }
    }
    ~Gif() {
        if (image) gdImageDestroy(image);
    }
    // Pixels painted in the palette colour r, g, b (every entry of that colour).
    int pixels(int r, int g, int b) const {
        int count = 0;
        for (int y = 0; y < gdImageSY(image); y++)
            for (int x = 0; x < gdImageSX(image); x++) {
                int c = gdImageGetPixel(image, x, y);
                if (c != gdImageGetTransparent(image) && gdImageRed(image, c) == r &&
                    gdImageGreen(image, c) == g && gdImageBlue(image, c) == b)
                    count++;
            }
        return count;
    }
    // Height of what is drawn in the title strip at the left edge (x below 16).
    int titleExtent() const {
        int top = -1, bottom = -1;
        for (int y = 0; y < gdImageSY(image); y++)
            for (int x = 0; x < 16; x++)
                if (gdImageGetPixel(image, x, y) != gdImageGetTransparent(image)) {
                    if (top < 0) top = y;
                    bottom = y;
                }
        return top < 0 ? 0 : bottom - top + 1;
    }
};

void expectChartFrame(const Gif &gif, int width, int height) {
    ASSERT_NE(gif.image, nullptr);
    EXPECT_EQ(gdImageSX(gif.image), width);
    EXPECT_EQ(gdImageSY(gif.image), height);
    EXPECT_EQ(gdImageGetTransparent(gif.image), 0);
    EXPECT_EQ(gdImageGetPixel(gif.image, 0, height - 1), 0);
    EXPECT_EQ(gdImageGetInterlaced(gif.image), 0);
}

class ChartFeedTest : public ReportTest {
  protected:
    // Pie of documents in table order.
    Gif documentsPie(int byBytes) {
        std::vector<int> order(static_cast<std::size_t>(documents.count) + 1);
        for (int i = 0; i < documents.count; i++) order[static_cast<std::size_t>(i)] = i;
        hashChart(documents, "t", 9800, order.data(), byBytes);
        return Gif(dir.file("9800t.gif"));
    }
};

TEST_F(ChartFeedTest, PieFoldsTheSmallEntriesIntoOther) {
    const double values[] = {50, 30, 15, 3, 1, 1};
    for (int i = 0; i < 6; i++) add(documents, ("/" + std::to_string(i)).c_str(), values[i], 0);
    Gif gif = documentsPie(0);
    expectChartFrame(gif, 200, 200);
    EXPECT_GT(gif.pixels(255, 0, 0), 0);
    EXPECT_GT(gif.pixels(0, 255, 0), 0);
    EXPECT_GT(gif.pixels(0, 0, 255), 0);
    EXPECT_GT(gif.pixels(255, 255, 0), 0);
    EXPECT_GT(gif.pixels(0, 255, 255), 0);  // "Other" = 2, the fifth sector
    EXPECT_EQ(gif.pixels(255, 0, 255), 0);
    EXPECT_EQ(gif.pixels(255, 128, 128), 0);
}

TEST_F(ChartFeedTest, PieOfOneEntryAndOfNothing) {
    Gif empty = documentsPie(0);
    expectChartFrame(empty, 200, 200);
    EXPECT_EQ(empty.pixels(255, 0, 0), 0);
    EXPECT_GT(empty.pixels(0, 0, 0), 0);  // the circle

    add(documents, "/only", 4, 0);
    Gif one = documentsPie(0);
    EXPECT_GT(one.pixels(255, 0, 0), 20000);
    EXPECT_EQ(one.pixels(0, 255, 0), 0);
}

TEST_F(ChartFeedTest, PieRanksByTheChosenCell) {
    add(documents, "/a", 1, 0);
    add(documents, "/b", 1, 100);
    Gif accesses = documentsPie(0);
    EXPECT_GT(accesses.pixels(0, 255, 0), 5000);
    // By bytes the first entry holds nothing and goes into "Other", which is empty.
    std::vector<int> order = {1, 0};
    hashChart(documents, "t", 9800, order.data(), 1);
    Gif bytes(dir.file("9800t.gif"));
    EXPECT_GT(bytes.pixels(255, 0, 0), 20000);
    EXPECT_EQ(bytes.pixels(0, 255, 0), 0);
}

TEST_F(ChartFeedTest, PieNamesOfSummaryRuns) {
    configure("frequency summary\n");
    int order[1] = {0};
    hashChart(sites, "s", 9800, order, 0);
    EXPECT_TRUE(fileExists(dir.file("summarys.gif")));
    refererOnlyFlag = 1;
    hashChart(referers, "r", 9800, order, 0);
    EXPECT_TRUE(fileExists(dir.file("refererr.gif")));
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    hashChart(useragents, "u", 9800, order, 0);
    EXPECT_TRUE(fileExists(dir.file("agentsu.gif")));
    EXPECT_FALSE(fileExists(dir.file("9800s.gif")));
}

TEST_F(ChartFeedTest, HourChartShowsTheTableFigures) {
    configure("frequency daily\n");
    hourAccesses[3] = 7 * 999;
    hourChart(9800, periodDays(9800));
    Gif daily(dir.file("9800h.gif"));
    expectChartFrame(daily, 400, 300);
    int scaled = daily.titleExtent();  // "accessesx1000"

    configure("frequency weekly\n");
    int sunday = dateToDay(1, 5, 1997);
    hourAccesses[3] = 7 * 999;
    hourChart(sunday, periodDays(sunday));
    Gif weekly(dir.file(std::to_string(sunday) + "h.gif"));
    int plain = weekly.titleExtent();  // 999 a day: "accesses"
    EXPECT_GT(plain, 40);
    EXPECT_LE(plain, 64);
    EXPECT_GT(scaled, plain + 30);

    configure("frequency monthly\n");
    int feb = dateToDay(2, 1, 1996);
    hourAccesses[3] = 29 * 999;
    hourChart(feb, periodDays(feb));
    EXPECT_EQ(Gif(dir.file(std::to_string(feb) + "h.gif")).titleExtent(), plain);
    hourAccesses[3] = 28 * 1000 + 1000;
    hourChart(feb, periodDays(feb));
    EXPECT_EQ(Gif(dir.file(std::to_string(feb) + "h.gif")).titleExtent(), scaled);
}

TEST_F(ChartFeedTest, HourChartNamesOfSummaryRuns) {
    configure("frequency summary\n");
    hourChart(9800, 1);
    EXPECT_TRUE(fileExists(dir.file("summaryh.gif")));
    refererOnlyFlag = 1;
    hourChart(9800, 1);
    EXPECT_TRUE(fileExists(dir.file("refererh.gif")));
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    hourChart(9800, 1);
    EXPECT_TRUE(fileExists(dir.file("agentsh.gif")));
}

TEST_F(ChartFeedTest, DayChartTitleFollowsTheOrder) {
    configure("frequency weekly\n");
    dayAccesses[2] = 5;
    dayChart(9800, periodDays(9800));
    Gif accesses(dir.file("9800d.gif"));
    expectChartFrame(accesses, 400, 300);
    configure("frequency weekly\norder bytes\n");
    dayBytes[2] = 5;
    dayChart(9800, periodDays(9800));
    Gif bytes(dir.file("9800d.gif"));
    EXPECT_GT(accesses.titleExtent(), bytes.titleExtent() + 16);  // "accesses" vs "bytes"
}

TEST_F(ChartFeedTest, HistoryChartScalesAndLeavesOutThePartialPeriod) {
    configure("frequency weekly\ntotalsgroup\n/a/* A\n/b/* B\nend\ntotals\n/c/* C\nend\n");
    // totals: DIVIDER 0, /a/*, /b/*, DIVIDER 3, /c/*
    EXPECT_EQ(historyChart(1), 0);
    EXPECT_FALSE(fileExists(dir.file("1t.gif")));

    addRecord(dateToDay(1, 1, 1997), 1, {0, 0, 142, 0, 1, 0, 0, 0, 1, 0});  // a day: 142 x 7 = 994
    addRecord(dateToDay(1, 5, 1997), 7, {0, 0, 990, 0, 1, 0, 0, 0, 1, 0});
    EXPECT_EQ(historyChart(1), 1);
    Gif plain(dir.file("1t.gif"));
    expectChartFrame(plain, 400, 300);
    EXPECT_EQ(historyChart(4), 0);
    EXPECT_TRUE(fileExists(dir.file("4t.gif")));

    database[0].accesses[1] = 143;  // 1001 a week
    historyChart(1);
    int scaled = Gif(dir.file("1t.gif")).titleExtent();
    EXPECT_GT(scaled, plain.titleExtent() + 30);

    // A last record for the period in progress is not charted.
    database[0].accesses[1] = 142;
    addRecord(dateToDay(1, 12, 1997), 7, {0, 0, 5000, 0, 1, 0, 0, 0, 1, 0});
    partialEpoch = dateToDay(1, 12, 1997);
    showPartialEpoch = 1;
    historyChart(1);
    EXPECT_EQ(Gif(dir.file("1t.gif")).titleExtent(), plain.titleExtent());
    partialEpoch = -1;
    historyChart(1);
    EXPECT_EQ(Gif(dir.file("1t.gif")).titleExtent(), scaled);
}

TEST_F(ChartFeedTest, HistoryChartOfWeeksInADailyReport) {
    configure("frequency daily\ntotals\n/a/* A\nend\n");
    addRecord(dateToDay(1, 5, 1997), 7, {0, 0, 6999, 0});  // 999 a day
    addRecord(dateToDay(1, 12, 1997), 1, {0, 0, 10, 0});
    historyChart(1);
    int plain = Gif(dir.file("1t.gif")).titleExtent();
    database[0].accesses[1] = 7000;
    historyChart(1);
    EXPECT_GT(Gif(dir.file("1t.gif")).titleExtent(), plain + 30);
}

TEST_F(ChartFeedTest, ModernChartsAreSvgFilesAndGifsOnlyOnRequest) {
    configure("pagestyle modern\nfrequency weekly\ntotals\n/a/* Articles\nend\n");
    const double values[] = {50, 30, 15, 3, 1, 1};
    const char *keys[] = {"/first", "/second", "/third", "/fourth", "/fifth", "/sixth"};
    for (int i = 0; i < 6; i++) add(documents, keys[i], values[i], 0);
    std::vector<int> order = {0, 1, 2, 3, 4, 5};
    hashChart(documents, "t", 9800, order.data(), 0);
    std::string pie = readFile(dir.file("9800t.svg"));
    // Four slices of their own and "Other" for the last two (2 of 100).
    EXPECT_NE(pie.find("/fourth"), std::string::npos);
    EXPECT_NE(pie.find("Other"), std::string::npos);
    EXPECT_EQ(pie.find("/fifth"), std::string::npos);
    int width = 0, height = 0;
    chartSvgSize(&width, &height);
    EXPECT_NE(pie.find("width=\"" + std::to_string(width) + "\" height=\"" +
                       std::to_string(height) + "\""),
              std::string::npos);
    hourChart(9800, 7);
    dayChart(9800, 7);
    addRecord(dateToDay(1, 5, 1997), 7, {0, 0, 10, 0});
    historyChart(1);
    for (const char *name : {"9800h", "9800d", "1t"}) {
        EXPECT_NE(readFile(dir.file(std::string(name) + ".svg")).find("<svg"), std::string::npos)
            << name;
        EXPECT_FALSE(fileExists(dir.file(std::string(name) + ".gif"))) << name;
    }
    EXPECT_NE(readFile(dir.file("1t.svg")).find("Articles"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("9800t.gif")));

    configure("pagestyle modern\ngifcharts yes\n");
    hourChart(9800, 1);
    expectChartFrame(Gif(dir.file("9800h.gif")), 400, 300);
    EXPECT_TRUE(fileExists(dir.file("9800h.svg")));
}

TEST_F(ChartFeedTest, UnwritableChartEndsTheRun) {
    std::string missing = dir.path + "/gone";
    myfree(reportDir);
    reportDir = mystrdup(missing.c_str());
    EXPECT_EXIT(
        hourChart(9800, 1), ::testing::ExitedWithCode(1),
        "^Can't write to file! Filename: " + missing + "/9800h.gif: No such file or directory\n$");
    int order[1] = {0};
    EXPECT_EXIT(hashChart(documents, "t", 9800, order, 0), ::testing::ExitedWithCode(1),
                "Filename: " + missing + "/9800t.gif: ");
}

}  // namespace
