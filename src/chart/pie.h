// Pie charts of the ranked-list sections: one numbered sector per value, the last
// labelled "Other".
#pragma once
#include <gd.h>

// Draws values[0..n-1] (n >= 1, all >= 0) into a freshly created palette image. The
// caller keeps ownership, writes the image and destroys it.
void pieDraw(gdImagePtr image, const double *values, int n);

// 1024 x cos and 1024 x sin of a whole number of degrees, truncated toward zero; the
// angle is taken modulo 360.
int pieCos(int degrees);
int pieSin(int degrees);
