// Pie charts of the ranked-list sections: a circle, one sector per value in list
// order filled with the slice colours in turn, labelled with its position number, the
// last one "Other".
#include "chart/pie.h"

#include <gdfontl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "chart/chart.h"
#include "config/global.h"
#include "core/mem.h"

// Whole-degree tables of 1024 x cos and 1024 x sin, as gd's arc drawing keeps them.
// Values that are whole numbers exactly (cos 60 = 0.5, sin 90 = 1, ...) come out of
// the floating-point functions a hair low or high; they are taken as whole.
static int cosTable[360];
static int sinTable[360];
static bool tablesBuilt = false;

static int scaledTrunc(double unit) {
    double scaled = unit * 1024.0;
    double nearest = std::round(scaled);
    if (std::fabs(scaled - nearest) < 1e-6) return static_cast<int>(nearest);
    return static_cast<int>(scaled);
}

static void buildTables() {
    if (tablesBuilt) return;
    const double radiansPerDegree = std::acos(-1.0) / 180.0;
    for (int a = 0; a < 360; a++) {
        cosTable[a] = scaledTrunc(std::cos(a * radiansPerDegree));
        sinTable[a] = scaledTrunc(std::sin(a * radiansPerDegree));
    }
    tablesBuilt = true;
}

static int degreeIndex(int degrees) {
    return ((degrees % 360) + 360) % 360;
}

int pieCos(int degrees) {
    buildTables();
    return cosTable[degreeIndex(degrees)];
}

int pieSin(int degrees) {
    buildTables();
    return sinTable[degreeIndex(degrees)];
}

// Negative and missing (NaN) values count as 0.
static double sliceValue(double value) {
    return value > 0.0 ? value : 0.0;
}

void pieDraw(gdImagePtr image, const double *values, int n) {
    buildTables();
    gdFontPtr font = gdFontGetLarge();

    int background =
        chartAllocateColor(image, pieBackgroundColor, globalDefaultText(&pieBackgroundColor));
    gdImageColorTransparent(image, background);
    int border = chartAllocateColor(image, pieBorderColor, globalDefaultText(&pieBorderColor));
    const char *const *defaultSlices;
    int defaultSliceCount = globalDefaultList(&pieSliceColors, &defaultSlices);
    int sliceCount = pieSliceColors.count;
    const char *const *sliceTexts = pieSliceColors.items;
    // The configuration always fills the list; an empty one falls back to the defaults.
    if (sliceCount <= 0 || sliceTexts == nullptr) {
        sliceCount = defaultSliceCount;
        sliceTexts = defaultSlices;
    }
    int *slices = static_cast<int *>(xmalloc(sizeof(int) * sliceCount));
    for (int i = 0; i < sliceCount; i++)
        slices[i] = chartAllocateColor(image, sliceTexts[i], defaultSlices[i % defaultSliceCount]);

    int cx = gdImageSX(image) / 2;
    int cy = gdImageSY(image) / 2;
    int r = (cx < cy ? cx : cy) - 2;
    if (r < 0) r = 0;
    gdImageArc(image, cx, cy, 2 * r, 2 * r, 0, 360, border);

    double total = 0.0;
    for (int i = 0; values != nullptr && i < n; i++) total += sliceValue(values[i]);
    // A pie of nothing, or one without room for a sector, stays an empty circle.
    if (!(total > 0.0) || !std::isfinite(total) || r == 0) {
        myfree(slices);
        return;
    }

    double running = 0.0;
    int a0 = 0;
    int shift = 0;
    for (int i = 0; i < n; i++) {
        double value = sliceValue(values[i]);
        char label[16];
        if (i == n - 1) {
            std::snprintf(label, sizeof label, "Other");
            if (i % sliceCount == 0) shift = 1;
            if (value == 0.0) continue;
        } else {
            std::snprintf(label, sizeof label, "%d", i + 1);
        }
        running += value;
        int a1 = static_cast<int>(running * (360.0 / total));
        gdImageLine(image, cx, cy, cx + cosTable[degreeIndex(a1)] * r / 1024,
                    cy + sinTable[degreeIndex(a1)] * r / 1024, border);
        gdImageLine(image, cx, cy, cx + cosTable[degreeIndex(a0)] * r / 1024,
                    cy + sinTable[degreeIndex(a0)] * r / 1024, border);
        int am = (a0 + a1) / 2;
        int fx = (cosTable[degreeIndex(am)] * r / 1024) / 2;
        int fy = (sinTable[degreeIndex(am)] * r / 1024) / 2;
        // A sector of no width has no inside; a fill from its border line would
        // recolour a neighbour.
        if (a1 != a0)
            gdImageFillToBorder(image, cx + fx, cy + fy, border, slices[(i + shift) % sliceCount]);
        int length = static_cast<int>(std::strlen(label));
        gdImageString(image, font, cx + 6 * fx / 4 - length * CHART_LARGE_WIDTH / 2,
                      cy + 6 * fy / 4 - CHART_LARGE_HEIGHT / 2,
                      reinterpret_cast<unsigned char *>(label), border);
        a0 = a1;
    }
    myfree(slices);
}
