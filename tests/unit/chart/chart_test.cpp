// Bar and line charts: geometry, colours, ticks, labels, title and the style switches,
// checked pixel by pixel on the drawn palette image.
#include "chart/chart.h"

#include <gd.h>
#include <gdfontl.h>
#include <gdfonts.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "config/global.h"
#include "core/mem.h"

namespace {

// Palette indices fixed by the allocation order.
constexpr int BACKGROUND = 0, BORDER = 1, TEXT = 2, TICK = 3;
int baseIndex(int color) {
    return 4 + 3 * color;
}
int darkIndex(int color) {
    return 5 + 3 * color;
}
int lightIndex(int color) {
    return 6 + 3 * color;
}

const char *const barColors[] = {"#9370db", "#8b2626", "#008b8b", "#808080",
                                 "#40e0d0", "#606096", "#cd5c5c", "#b03060"};

int rgbAt(gdImagePtr image, int x, int y) {
    int c = gdImageGetPixel(image, x, y);
    return (gdImageRed(image, c) << 16) | (gdImageGreen(image, c) << 8) | gdImageBlue(image, c);
}

int countIndex(gdImagePtr image, int index) {
    int n = 0;
    for (int y = 0; y < gdImageSY(image); y++)
        for (int x = 0; x < gdImageSX(image); x++) n += gdImageGetPixel(image, x, y) == index;
    return n;
}

struct Text {
    std::string text;
    int x, y;
};

// The text pixels of a region must be exactly those of the given strings drawn at the
// given places (upward or across) in the given font.
void expectTexts(gdImagePtr image, int x0, int y0, int x1, int y1, const std::vector<Text> &texts,
                 gdFontPtr font, bool up) {
    gdImagePtr reference = gdImageCreate(gdImageSX(image), gdImageSY(image));
    gdImageColorAllocate(reference, 255, 255, 255);
    int ink = gdImageColorAllocate(reference, 0, 0, 0);
    for (const Text &t : texts) {
        auto *s = reinterpret_cast<unsigned char *>(const_cast<char *>(t.text.c_str()));
        if (up)
            gdImageStringUp(reference, font, t.x, t.y, s, ink);
        else
            gdImageString(reference, font, t.x, t.y, s, ink);
    }
    int mismatches = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            mismatches +=
                (gdImageGetPixel(image, x, y) == TEXT) != (gdImageGetPixel(reference, x, y) == ink);
    gdImageDestroy(reference);
    EXPECT_EQ(mismatches, 0);
}

class ChartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        chartBackgroundColor = mystrdup("#FFFFFF");
        chartBorderColor = mystrdup("#000000");
        chartTextColor = mystrdup("#0000FF");
        chartTickColor = mystrdup("#00FF00");
        chartCrossColor = mystrdup("#FF0000");
        setBarColors(8);
        for (int h = 0; h < 24; h++) {
            char text[8];
            std::snprintf(text, sizeof text, "%02d:00", h);
            hourLabels.push_back(text);
        }
        for (const std::string &s : hourLabels) labelPointers.push_back(s.c_str());
    }
    void TearDown() override {
        for (char **slot : {&chartBackgroundColor, &chartBorderColor, &chartTextColor,
                            &chartTickColor, &chartCrossColor}) {
            myfree(*slot);
            *slot = nullptr;
        }
        clearBarColors();
        for (gdImagePtr image : images) gdImageDestroy(image);
    }
    void setBarColors(int count) {
        clearBarColors();
        barStorage.clear();
        for (int i = 0; i < count; i++) barStorage.push_back(mystrdup(barColors[i % 8]));
        chartBarColors.items = barStorage.data();
        chartBarColors.count = count;
        chartBarColors.allocated = count;
    }
    void clearBarColors() {
        for (char *s : barStorage) myfree(s);
        barStorage.clear();
        chartBarColors = StringArray{};
    }
    // Draws channels of equal length into a new image kept until the end of the test.
    gdImagePtr draw(int width, int height, int style, const char *title,
                    const std::vector<std::vector<double>> &channels, bool labels = false) {
        gdImagePtr image = gdImageCreate(width, height);
        images.push_back(image);
        std::vector<const double *> data;
        for (const auto &c : channels) data.push_back(c.data());
        int points = channels.empty() ? 0 : static_cast<int>(channels[0].size());
        chartDraw(image, style, labels ? labelPointers.data() : nullptr, title, data.data(), points,
                  static_cast<int>(channels.size()));
        return image;
    }

    std::vector<char *> barStorage;
    std::vector<std::string> hourLabels;
    std::vector<const char *> labelPointers;
    std::vector<gdImagePtr> images;
};

// Bar x positions of the 400 x 300 one-channel chart: X0 = 34, PW = 366.
int hourX(int s, int points) {
    return 34 + 365 * (s + 1) / (points + 1);
}

TEST_F(ChartTest, HourChartGeometryColoursAndTexts) {
    std::vector<double> values;
    for (int h = 0; h < 24; h++) values.push_back(10.0 * (h + 1));  // maximum 240
    gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {values}, true);

    EXPECT_EQ(gdImageGetTransparent(image), BACKGROUND);
    EXPECT_EQ(rgbAt(image, 399, 0), 0xFFFFFF);
    EXPECT_EQ(gdImageColorsTotal(image), 4 + 3 * 8);
    EXPECT_EQ(rgbAt(image, hourX(5, 24) - 4, 250), 0x9370db);
    EXPECT_EQ(rgbAt(image, hourX(5, 24) + 4, 250), 0x6e54a4);  // three quarters
    EXPECT_EQ(rgbAt(image, hourX(5, 24) - 2, 204), 0xc495ff);  // four thirds, at most 255

    // Axes: vertical at x = 34 up from y = 270, horizontal at y = 270.
    for (int y = 0; y <= 270; y++) ASSERT_EQ(gdImageGetPixel(image, 34, y), BORDER) << y;
    for (int x = 34; x < 400; x++) ASSERT_EQ(gdImageGetPixel(image, x, 270), BORDER) << x;
    EXPECT_NE(gdImageGetPixel(image, 34, 271), BORDER);

    // Step 100: grid lines at 100 and 200, nothing at 300.
    for (int y = 0; y < 270; y++)
        ASSERT_EQ(gdImageGetPixel(image, 395, y) == TICK, y == 157 || y == 45) << y;

    // Faces of every bar: the front 13 pixels wide (12 after a short step), its last
    // column under the dark right side, the light top above it.
    int previous = 0, gaps = 0;
    for (int s = 0; s < 24; s++) {
        int x = hourX(s, 24);
        int y = static_cast<int>(270 - values[s] * 270 / 240);
        int g = s == 0 ? 0 : 15 - (x - previous);
        gaps += g;
        previous = x;
        int row = y + 6;
        int run = 0;
        while (gdImageGetPixel(image, x - 10 + g + run, row) == baseIndex(0)) run++;
        EXPECT_EQ(run, 12 - g) << "bar " << s;
        EXPECT_NE(gdImageGetPixel(image, x - 11 + g, row), baseIndex(0)) << "bar " << s;
        EXPECT_EQ(gdImageGetPixel(image, x + 2, row), darkIndex(0)) << "bar " << s;
        EXPECT_EQ(gdImageGetPixel(image, x + 4, row), darkIndex(0)) << "bar " << s;
        EXPECT_EQ(gdImageGetPixel(image, x - 2, y + 2), lightIndex(0)) << "bar " << s;
        EXPECT_NE(gdImageGetPixel(image, x - 2, y - 1), lightIndex(0)) << "bar " << s;
        EXPECT_EQ(gdImageGetPixel(image, x - 4, 269), baseIndex(0)) << "bar " << s;
    }
    EXPECT_GT(gaps, 0);
    EXPECT_LT(gaps, 23);

    gdFontPtr small = gdFontGetSmall();
    // Tick labels: the one at 0 reaches below the axis and is left out.
    expectTexts(image, 16, 0, 29, 300, {{"100.00", 16, 175}, {"200.00", 16, 63}}, small, true);
    // Point labels of hours 0, 3, ... 21 only.
    std::vector<Text> hours;
    for (int h = 0; h < 24; h += 3) hours.push_back({hourLabels[h], hourX(h, 24) - 15, 276});
    expectTexts(image, 0, 272, 400, 300, hours, small, false);
    expectTexts(image, 0, 0, 16, 300, {{"accesses", 0, 135 + 32}}, gdFontGetLarge(), true);

    // The written GIF keeps the picture and its transparent background.
    int size = 0;
    void *gif = gdImageGifPtr(image, &size);
    gdImagePtr back = gdImageCreateFromGifPtr(size, gif);
    gdFree(gif);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(gdImageSX(back), 400);
    EXPECT_EQ(gdImageSY(back), 300);
    EXPECT_EQ(gdImageGetTransparent(back), BACKGROUND);
    EXPECT_EQ(gdImageGetPixel(back, 399, 0), BACKGROUND);
    EXPECT_EQ(rgbAt(back, hourX(5, 24) - 4, 250), 0x9370db);
    gdImageDestroy(back);
}

TEST_F(ChartTest, AllZeroDataHasOneTickAndFlatBars) {
    gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {std::vector<double>(24, 0.0)}, true);
    // The only grid line lies on the axis; its label is never drawn.
    EXPECT_EQ(countIndex(image, TICK), 0);
    expectTexts(image, 16, 0, 29, 300, {}, gdFontGetSmall(), true);
    expectTexts(image, 0, 0, 16, 300, {{"accesses", 0, 167}}, gdFontGetLarge(), true);
    int barPixels = 0;
    for (int y = 0; y < 300; y++)
        for (int x = 0; x < 400; x++) {
            int c = gdImageGetPixel(image, x, y);
            if (c >= baseIndex(0) && c <= lightIndex(0)) {
                ASSERT_GE(y, 269) << x;
                barPixels++;
            }
        }
    EXPECT_GT(barPixels, 0);
}

TEST_F(ChartTest, ScaleFactorTicksAndTitle) {
    gdFontPtr small = gdFontGetSmall(), large = gdFontGetLarge();
    {
        gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {{2500000.0, 1000000.0, 0.0}});
        // Ticks at 0, 1 and 2 million; only the labels 1 and 2 are drawn.
        for (int y = 0; y < 270; y++)
            ASSERT_EQ(gdImageGetPixel(image, 36, y) == TICK, y == 162 || y == 54) << y;
        expectTexts(image, 16, 0, 29, 300, {{"1.00", 16, 174}, {"2.00", 16, 66}}, small, true);
        expectTexts(image, 0, 0, 16, 300, {{"accessesx1000000", 0, 135 + 64}}, large, true);
        expectTexts(image, 0, 272, 400, 300, {}, small, false);  // no point labels
    }
    {
        // Labels 27 pixels apart: every other one is left out.
        gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {{999.0, 5.0}});
        expectTexts(image, 0, 0, 16, 300, {{"accesses", 0, 167}}, large, true);
        expectTexts(
            image, 16, 0, 29, 300,
            {{"200.00", 16, 233}, {"400.00", 16, 179}, {"600.00", 16, 125}, {"800.00", 16, 71}},
            small, true);
    }
    {
        gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {{1000.0, 5.0}});
        expectTexts(image, 0, 0, 16, 300, {{"accessesx1000", 0, 135 + 52}}, large, true);
    }
    {
        // Without a title the margin is narrower and only the factor is written.
        gdImagePtr image = draw(400, 300, CHART_BARS, nullptr, {{5000.0, 5.0}});
        EXPECT_EQ(gdImageGetPixel(image, 18, 100), BORDER);
        expectTexts(image, 0, 0, 16, 300, {{"x1000", 0, 135 + 20}}, large, true);
    }
}

TEST_F(ChartTest, NineChannelsBecomeLinesWithoutFill) {
    std::vector<std::vector<double>> channels(9);
    for (int c = 0; c < 9; c++)
        for (int s = 0; s < 5; s++) channels[c].push_back(c * 10 + s + 1);  // maximum 85
    gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", channels);
    // No depth: X0 = 30, PH = 274.
    EXPECT_EQ(gdImageGetPixel(image, 30, 0), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 30, 274), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 399, 274), BORDER);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(countIndex(image, darkIndex(i)), 0);
        EXPECT_EQ(countIndex(image, lightIndex(i)), 0);
    }
    int x = 30 + 369 * 2 / 4;
    EXPECT_EQ(gdImageGetPixel(image, x, static_cast<int>(274 - 33.0 * 274 / 85)), baseIndex(3));
    EXPECT_EQ(gdImageGetPixel(image, x, static_cast<int>(274 - 83.0 * 274 / 85)), baseIndex(0));
    EXPECT_EQ(gdImageGetPixel(image, x, 270), BACKGROUND);  // below the lowest line
}

TEST_F(ChartTest, ManyPointsBecomeFilledLineForOneChannel) {
    gdImagePtr image = draw(400, 300, CHART_BARS, "accesses", {std::vector<double>(101, 5.0)});
    EXPECT_EQ(gdImageGetPixel(image, 200, 137), baseIndex(0));
    EXPECT_EQ(gdImageGetPixel(image, 200, 273), baseIndex(0));
    EXPECT_EQ(gdImageGetPixel(image, 30, 137), BORDER);
    EXPECT_EQ(countIndex(image, lightIndex(0)), 0);

    // Exactly W / 4 points keep their bars.
    image = draw(400, 300, CHART_BARS, "accesses", {std::vector<double>(100, 5.0)});
    EXPECT_GT(countIndex(image, lightIndex(0)), 0);

    // Two channels: lines only.
    image = draw(400, 300, CHART_BARS, "accesses",
                 {std::vector<double>(101, 5.0), std::vector<double>(101, 2.0)});
    EXPECT_EQ(gdImageGetPixel(image, 200, 137), BACKGROUND);
    EXPECT_EQ(gdImageGetPixel(image, 200, 164), baseIndex(1));
    EXPECT_EQ(gdImageGetPixel(image, 200, 0), baseIndex(0));
}

TEST_F(ChartTest, NothingToDrawLeavesEmptyImage) {
    gdImagePtr image = draw(400, 300, CHART_LINES, "accesses", {{7.0}});
    EXPECT_EQ(countIndex(image, BACKGROUND), 400 * 300);
    EXPECT_EQ(gdImageColorsTotal(image), 4);
    image = draw(400, 300, CHART_BARS, "accesses", {std::vector<double>{}});
    EXPECT_EQ(countIndex(image, BACKGROUND), 400 * 300);
    image = draw(400, 300, CHART_BARS, "accesses", {});
    EXPECT_EQ(countIndex(image, BACKGROUND), 400 * 300);
}

TEST_F(ChartTest, ChannelsOrderedLargestFirstStably) {
    std::vector<double> a = {3, 5, 3, 5};
    const double *data[4] = {&a[0], &a[1], &a[2], &a[3]};
    dataGlobal = data;
    pointGlobal = 0;
    EXPECT_EQ(channelCompare(0, 1), 1);
    EXPECT_EQ(channelCompare(1, 0), -1);
    EXPECT_EQ(channelCompare(0, 2), 0);

    // The front bar (4 pixels lower and further left) is the smaller channel; of equal
    // channels the later one stands in front. (210, 150) lies on the front bar's face.
    gdImagePtr image = draw(400, 300, CHART_BARS, nullptr, {{6.0}, {4.0}});
    EXPECT_EQ(gdImageGetPixel(image, 210, 150), baseIndex(1));
    image = draw(400, 300, CHART_BARS, nullptr, {{4.0}, {6.0}});
    EXPECT_EQ(gdImageGetPixel(image, 210, 150), baseIndex(0));
    image = draw(400, 300, CHART_BARS, nullptr, {{4.0}, {4.0}});
    EXPECT_EQ(gdImageGetPixel(image, 210, 150), baseIndex(1));
}

TEST_F(ChartTest, CrossesMarkTheDataPoints) {
    gdImagePtr image = draw(400, 300, CHART_BARS | CHART_CROSSES, "accesses", {{10.0, 20.0, 5.0}});
    int cross = 4 + 3 * 8;
    EXPECT_EQ(gdImageColorsTotal(image), cross + 1);
    EXPECT_EQ(rgbAt(image, 0, 0), 0xFFFFFF);
    EXPECT_EQ(gdImageRed(image, cross), 255);
    // Point 1 (the maximum) lies at x = 34 + 365 * 2 / 4, y = 0.
    int x = 34 + 365 * 2 / 4;
    EXPECT_EQ(gdImageGetPixel(image, x, 0), cross);
    EXPECT_EQ(gdImageGetPixel(image, x + 2, 2), cross);
    int y = static_cast<int>(270 - 10.0 * 270 / 20);
    EXPECT_EQ(gdImageGetPixel(image, 34 + 365 / 4 - 2, y + 2), cross);
}

TEST_F(ChartTest, UnusualInputsAreDrawnSafely) {
    // Too small for the plot: only the background.
    gdImagePtr image = draw(10, 10, CHART_BARS, "accesses", {{1.0, 2.0}});
    EXPECT_EQ(countIndex(image, BACKGROUND), 100);

    // Numbers that are no finite values neither hang the ticks nor stretch the axis.
    image = draw(400, 300, CHART_BARS, "accesses",
                 {{NAN, INFINITY, 200.0, -3.0}, {5.0, NAN, -INFINITY, 1.0}});
    EXPECT_EQ(gdImageGetPixel(image, 38, 0), BORDER);

    // An empty colour list falls back to the default bar colours.
    clearBarColors();
    image = draw(400, 300, CHART_BARS, "accesses", {{1.0, 2.0}});
    EXPECT_EQ(gdImageColorsTotal(image), 4 + 3 * 8);
    EXPECT_EQ(rgbAt(image, 34 + 365 * 2 / 3 - 4, 200), 0x9370db);

    // More bar colours than the palette holds.
    setBarColors(100);
    std::vector<std::vector<double>> channels(8, std::vector<double>{1.0, 2.0});
    image = draw(400, 300, CHART_BARS | CHART_CROSSES, "accesses", channels);
    EXPECT_EQ(gdImageColorsTotal(image), gdMaxColors);

    // Missing point labels are skipped.
    std::vector<const char *> labels = {"one", nullptr, "three"};
    image = gdImageCreate(400, 300);
    images.push_back(image);
    std::vector<double> values = {1, 2, 3};
    const double *data[1] = {values.data()};
    chartDraw(image, CHART_BARS, labels.data(), "accesses", data, 3, 1);
    expectTexts(image, 0, 272, 400, 300,
                {{"one", 34 + 365 / 4 - 9, 276}, {"three", 34 + 365 * 3 / 4 - 15, 276}},
                gdFontGetSmall(), false);
}

}  // namespace
