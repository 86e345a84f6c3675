// SVG forms of the charts: the same figures that chartDraw and pieDraw draw into GIFs,
// written as a standalone SVG document with real text labels and a <title> on every
// bar, point or slice for screen readers. Colours come from the same settings as the
// GIFs'. Every text is escaped for XML.
//
// The root element carries width and height equal to its viewBox: 400 x 260 for a value
// chart; 400 x 180 for a pie with up to 9 slices drawn, 18 more per further slice (its
// legend runs on below). The background is transparent in a light colour scheme; in a
// dark one the picture paints its own dark background with light texts. The output
// depends only on the arguments and the colour settings, byte for byte.
#pragma once
#include <cstdio>

// Writes the value chart of data[channel][point] (points P, channels K) with the
// CHART_* style bits of chartDraw. labels (one per point), title and names (one per
// channel, used in the titles of the bars) may be null. A name equal to the title is
// not repeated; other names get a legend. Bars give way to lines as on the GIFs (more
// than 8 channels or 100 points). Values that are no finite number, or negative, are
// drawn as 0; the titles say "label, name: 1,234.5 title".
void svgChartWrite(FILE *out, int style, const char *const *labels, const char *title,
                   const double *const *data, int points, int channels, const char *const *names);

// Writes the pie of values[0..n-1] (n >= 1, all >= 0; the last value is "Other" as in
// pieDraw). labels (one per value, used in the slices' titles and legend) may be null;
// then slices are numbered as in the GIF pie. Slices of 0 (or no finite number) are
// left out; with nothing to share the pie is an empty circle. Titles: "label: 12.3%".
void svgPieWrite(FILE *out, const double *values, int n, const char *const *labels);
