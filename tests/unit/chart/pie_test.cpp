// Pie charts: the trigonometric tables, the sectors and their colours, the "Other"
// colour shift and the labels, checked on the drawn 200 x 200 palette image.
#include "chart/pie.h"

#include <gd.h>
#include <gdfontl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "config/global.h"
#include "core/mem.h"

namespace {

constexpr int BACKGROUND = 0, BORDER = 1;
int sliceIndex(int n) {
    return 2 + n;
}

const char *const sliceColors[] = {"#FF0000", "#00FF00", "#0000FF", "#FFFF00",
                                   "#00FFFF", "#FF00FF", "#FF8080", "#80FF80",
                                   "#8080FF", "#FFFF80", "#80FFFF", "#FF80FF"};

int countIndex(gdImagePtr image, int index) {
    int n = 0;
    for (int y = 0; y < gdImageSY(image); y++)
        for (int x = 0; x < gdImageSX(image); x++) n += gdImageGetPixel(image, x, y) == index;
    return n;
}

// Palette index at a polar point of the 200 x 200 pie (centre 100, 100; radius 98).
int indexAtAngle(gdImagePtr image, double degrees, double fraction) {
    double a = degrees * std::acos(-1.0) / 180.0;
    int x = static_cast<int>(std::lround(100 + 98 * fraction * std::cos(a)));
    int y = static_cast<int>(std::lround(100 + 98 * fraction * std::sin(a)));
    return gdImageGetPixel(image, x, y);
}

class PieTest : public ::testing::Test {
  protected:
    void SetUp() override {
        pieBackgroundColor = mystrdup("#FFFFFF");
        pieBorderColor = mystrdup("#000000");
        for (const char *c : sliceColors) storage.push_back(mystrdup(c));
        pieSliceColors.items = storage.data();
        pieSliceColors.count = static_cast<int>(storage.size());
        pieSliceColors.allocated = pieSliceColors.count;
    }
    void TearDown() override {
        myfree(pieBackgroundColor);
        myfree(pieBorderColor);
        pieBackgroundColor = pieBorderColor = nullptr;
        for (char *s : storage) myfree(s);
        pieSliceColors = StringArray{};
        for (gdImagePtr image : images) gdImageDestroy(image);
    }
    gdImagePtr draw(const std::vector<double> &values, int size = 200) {
        gdImagePtr image = gdImageCreate(size, size);
        images.push_back(image);
        pieDraw(image, values.data(), static_cast<int>(values.size()));
        return image;
    }
    // Each sector's colour at its middle, from the whole-degree boundaries.
    void expectSectors(gdImagePtr image, const std::vector<double> &values,
                       const std::vector<int> &colours) {
        double total = 0, running = 0;
        for (double v : values) total += v;
        int a0 = 0;
        for (size_t i = 0; i < colours.size(); i++) {
            running += values[i];
            int a1 = static_cast<int>(running * (360.0 / total));
            EXPECT_EQ(indexAtAngle(image, (a0 + a1) / 2.0, 0.4), sliceIndex(colours[i])) << i;
            a0 = a1;
        }
    }

    std::vector<char *> storage;
    std::vector<gdImagePtr> images;
};

TEST(PieTables, WholeDegreesScaledAndTruncated) {
    EXPECT_EQ(pieCos(0), 1024);
    EXPECT_EQ(pieSin(0), 0);
    EXPECT_EQ(pieSin(1), 17);
    EXPECT_EQ(pieCos(1), 1023);
    EXPECT_EQ(pieSin(30), 512);
    EXPECT_EQ(pieSin(150), 512);
    EXPECT_EQ(pieCos(60), 512);
    EXPECT_EQ(pieCos(120), -512);
    EXPECT_EQ(pieSin(210), -512);
    EXPECT_EQ(pieCos(90), 0);
    EXPECT_EQ(pieCos(270), 0);
    EXPECT_EQ(pieSin(90), 1024);
    EXPECT_EQ(pieSin(270), -1024);
    EXPECT_EQ(pieCos(45), 724);    // 724.07
    EXPECT_EQ(pieCos(135), -724);  // toward zero
    EXPECT_EQ(pieCos(360), 1024);
    EXPECT_EQ(pieSin(-90), -1024);
}

TEST_F(PieTest, AllZeroDrawsOnlyTheCircle) {
    gdImagePtr image = draw({0, 0, 0});
    EXPECT_EQ(gdImageGetTransparent(image), BACKGROUND);
    EXPECT_EQ(gdImageColorsTotal(image), 14);
    EXPECT_EQ(countIndex(image, BACKGROUND) + countIndex(image, BORDER), 200 * 200);
    EXPECT_EQ(gdImageGetPixel(image, 2, 100), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 198, 100), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 100, 2), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 100, 198), BORDER);
    EXPECT_EQ(gdImageGetPixel(image, 100, 100), BACKGROUND);
}

TEST_F(PieTest, OneEntryFillsTheDiscWithoutOther) {
    gdImagePtr image = draw({7, 0});
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 200; x++) {
            int c = gdImageGetPixel(image, x, y);
            double distance = std::hypot(x - 100, y - 100);
            if (distance < 96) {
                ASSERT_TRUE(c == sliceIndex(0) || c == BORDER) << x << "," << y;
            }
            if (distance > 100) {
                ASSERT_EQ(c, BACKGROUND) << x << "," << y;
            }
        }
    // Both border lines of sector 1 lie at 0 degrees.
    for (int x = 100; x <= 198; x++) ASSERT_EQ(gdImageGetPixel(image, x, 100), BORDER) << x;
    EXPECT_EQ(gdImageGetPixel(image, 100, 150), sliceIndex(0));
    EXPECT_EQ(gdImageGetPixel(image, 150, 101), sliceIndex(0));

    // The label "1" centred at three quarters of the radius to the left.
    gdImagePtr reference = gdImageCreate(200, 200);
    gdImageColorAllocate(reference, 255, 255, 255);
    int ink = gdImageColorAllocate(reference, 0, 0, 0);
    unsigned char one[] = "1";
    gdImageString(reference, gdFontGetLarge(), 100 - 73 - 4, 92, one, ink);
    int mismatches = 0, inked = 0;
    for (int y = 80; y < 120; y++)
        for (int x = 10; x < 60; x++) {
            inked += gdImageGetPixel(reference, x, y) == ink;
            mismatches += (gdImageGetPixel(image, x, y) == BORDER) !=
                          (gdImageGetPixel(reference, x, y) == ink);
        }
    gdImageDestroy(reference);
    EXPECT_GT(inked, 0);
    EXPECT_EQ(mismatches, 0);
}

TEST_F(PieTest, ThirteenValuesGiveOtherTheSecondColour) {
    std::vector<double> values(13, 1.0);
    gdImagePtr image = draw(values);
    expectSectors(image, values, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 1});
}

TEST_F(PieTest, FoldedRankingWithOther) {
    std::vector<double> values = {50, 30, 15, 3, 2};
    gdImagePtr image = draw(values);
    expectSectors(image, values, {0, 1, 2, 3, 4});
    for (int i = 5; i < 12; i++) EXPECT_EQ(countIndex(image, sliceIndex(i)), 0) << i;
    // Sector 1 spans the lower half: from 0 to 180 degrees.
    EXPECT_EQ(indexAtAngle(image, 10, 0.8), sliceIndex(0));
    EXPECT_EQ(indexAtAngle(image, 170, 0.8), sliceIndex(0));
    EXPECT_EQ(indexAtAngle(image, 190, 0.8), sliceIndex(1));
}

TEST_F(PieTest, EmptySectorLeavesItsNeighboursAlone) {
    // Sectors from 0 to 42, none at 42, 42 to 254, 254 to 360 degrees.
    std::vector<double> values = {2, 0, 10, 5};
    gdImagePtr image = draw(values);
    EXPECT_EQ(countIndex(image, sliceIndex(1)), 0);
    EXPECT_EQ(indexAtAngle(image, 21, 0.4), sliceIndex(0));
    EXPECT_EQ(indexAtAngle(image, 148, 0.4), sliceIndex(2));
    EXPECT_EQ(indexAtAngle(image, 307, 0.4), sliceIndex(3));
}

TEST_F(PieTest, UnusualInputsAreDrawnSafely) {
    // Negative and missing numbers count as nothing.
    gdImagePtr image = draw({-5, NAN, 0});
    EXPECT_EQ(countIndex(image, BACKGROUND) + countIndex(image, BORDER), 200 * 200);
    image = draw({-5, 10, 0});
    EXPECT_GT(countIndex(image, sliceIndex(1)), 20000);

    // A picture too small for a radius.
    image = draw({1, 2}, 3);
    EXPECT_EQ(gdImageSX(image), 3);

    // An empty colour list falls back to the default slice colours.
    for (char *s : storage) myfree(s);
    storage.clear();
    pieSliceColors = StringArray{};
    image = draw({3, 1});
    EXPECT_EQ(gdImageColorsTotal(image), 14);
    EXPECT_EQ(gdImageRed(image, indexAtAngle(image, 135, 0.4)), 255);
}

}  // namespace
