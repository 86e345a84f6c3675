// Value charts: one or more series over a row of points, drawn as 3-D bars or as
// lines with an optional filled area, with a value axis, point labels and a title.
#pragma once
#include <gd.h>

// Style bits of chartDraw.
enum {
    CHART_BARS = 1,     // three-dimensional bars
    CHART_CROSSES = 2,  // a cross on every data point
    CHART_LINES = 4,    // lines joining the points of each channel
    CHART_FILLED = 8,   // the area below a channel's line filled
};

// Text metrics the layout is computed with; the glyphs are gd's small and large fonts.
constexpr int CHART_SMALL_WIDTH = 6;
constexpr int CHART_SMALL_HEIGHT = 12;
constexpr int CHART_LARGE_WIDTH = 8;
constexpr int CHART_LARGE_HEIGHT = 16;

// Data and point seen by channelCompare; set before each sort.
extern const double *const *dataGlobal;
extern int pointGlobal;

// Orders channel numbers by descending value at pointGlobal: 1 when channel b's value
// is greater than a's, -1 when smaller, 0 when equal.
int channelCompare(int a, int b);

// Draws data[channel][point] (points P, channels K) into a freshly created palette
// image. labels (one per point) and title may be null. The caller keeps ownership of
// everything, writes the image and destroys it.
void chartDraw(gdImagePtr image, int style, const char *const *labels, const char *title,
               const double *const *data, int points, int channels);

// Allocates the colour written as "#RRGGBB" in text (fallback when text is null or not a
// colour); when the palette is full, the closest colour already in it is used.
int chartAllocateColor(gdImagePtr image, const char *text, const char *fallback);
