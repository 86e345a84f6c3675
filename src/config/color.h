// Chart colours: the "#RRGGBB" parser, the readers of colour settings and colour
// lists, the default colour tables, and the merge of the domain group lines.
#pragma once
#include <cstdio>

#include "core/sarray.h"

constexpr int CHART_DEFAULT_BAR_COLORS = 8;
constexpr int PIE_DEFAULT_SLICE_COLORS = 12;
extern const char *const chartDefaultBarColors[CHART_DEFAULT_BAR_COLORS];
extern const char *const pieDefaultSliceColors[PIE_DEFAULT_SLICE_COLORS];

// Returns 1 and sets the three components (0 to 255) when text is an optional "#"
// and exactly six hexadecimal digits; returns 0 otherwise.
int parseColor(const char *text, int *red, int *green, int *blue);

// Stores the argument like a string setting, then checks it as a colour.
void readColor(char **slot, const char *keyword, const char *argument);
// Reads a list block into the list, then checks every entry of the list as a colour.
void readColorArray(FILE *file, StringArray &list, const char *keyword);

// Merges the entries of domainGroups that have the same group name.
void domainGroupsAdjust();
