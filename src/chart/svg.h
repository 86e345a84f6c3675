// SVG forms of the charts: the same figures that chartDraw and pieDraw draw into GIFs,
// written as a standalone SVG document with real text labels and a <title> on every
// bar, point or slice for screen readers. Colours come from the same settings as the
// GIFs'. Every text is escaped for XML.
#pragma once
#include <cstdio>

// Writes the value chart of data[channel][point] (points P, channels K) with the
// CHART_* style bits of chartDraw. labels (one per point), title and names (one per
// channel, used in the titles of the bars) may be null.
void svgChartWrite(FILE *out, int style, const char *const *labels, const char *title,
                   const double *const *data, int points, int channels,
                   const char *const *names);

// Writes the pie of values[0..n-1] (n >= 1, all >= 0; the last value is "Other" as in
// pieDraw). labels (one per value, used in the slices' titles and legend) may be null;
// then slices are numbered as in the GIF pie.
void svgPieWrite(FILE *out, const double *values, int n, const char *const *labels);
