// Bar and line charts of the hour, day and history sections, drawn into gd palette
// images: value axis with power-of-ten ticks and a scale factor, point labels along
// the bottom, an upward title, and per channel 3-D bars or lines with a filled area.
#include "chart/chart.h"

#include <gdfontl.h>
#include <gdfonts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "config/color.h"
#include "config/global.h"
#include "core/mem.h"

const double *const *dataGlobal = nullptr;
int pointGlobal = 0;

static int allocateRgb(gdImagePtr image, int red, int green, int blue) {
    int color = gdImageColorAllocate(image, red, green, blue);
    if (color < 0) color = gdImageColorClosest(image, red, green, blue);
    return color;
}

int chartAllocateColor(gdImagePtr image, const char *text, const char *fallback) {
    int red = 0, green = 0, blue = 0;
    if (text == nullptr || !parseColor(text, &red, &green, &blue)) {
        if (fallback == nullptr || !parseColor(fallback, &red, &green, &blue))
            red = green = blue = 0;
    }
    return allocateRgb(image, red, green, blue);
}

// A missing number (NaN) counts as 0 wherever values are compared or placed.
static double chartValue(double value) {
    return std::isnan(value) ? 0.0 : value;
}

int channelCompare(int a, int b) {
    double va = chartValue(dataGlobal[a][pointGlobal]);
    double vb = chartValue(dataGlobal[b][pointGlobal]);
    if (vb > va) return 1;
    if (vb < va) return -1;
    return 0;
}

// Maps a value to its row: trunc(PH - v * PH / R); kept within a range gd can clip.
static int chartY(double value, int plotHeight, double range) {
    double y = plotHeight - chartValue(value) * plotHeight / range;
    if (y < -100000.0) y = -100000.0;
    if (y > 100000.0) y = 100000.0;
    return static_cast<int>(y);
}

static unsigned char *gdText(const char *text) {
    return reinterpret_cast<unsigned char *>(const_cast<char *>(text));
}

static void quad(gdImagePtr image, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4,
                 int color) {
    gdPoint points[4] = {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
    gdImageFilledPolygon(image, points, 4, color);
}

void chartDraw(gdImagePtr image, int style, const char *const *labels, const char *title,
               const double *const *data, int points, int channels) {
    int width = gdImageSX(image);
    int height = gdImageSY(image);
    gdFontPtr smallFont = gdFontGetSmall();
    gdFontPtr largeFont = gdFontGetLarge();

    int background =
        chartAllocateColor(image, chartBackgroundColor, globalDefaultText(&chartBackgroundColor));
    gdImageColorTransparent(image, background);
    int border = chartAllocateColor(image, chartBorderColor, globalDefaultText(&chartBorderColor));
    int textColor = chartAllocateColor(image, chartTextColor, globalDefaultText(&chartTextColor));
    int tick = chartAllocateColor(image, chartTickColor, globalDefaultText(&chartTickColor));

    if ((style & CHART_BARS) && (channels > 8 || points > width / 4)) style = (style | 12) - 1;
    if ((style & CHART_FILLED) && channels > 1) style &= ~CHART_FILLED;
    bool bars = (style & CHART_BARS) != 0;

    if (points <= 0 || channels <= 0 || data == nullptr || (!bars && points < 2)) return;

    const char *const *defaultBars;
    int defaultBarCount = globalDefaultList(&chartBarColors, &defaultBars);
    int barCount = chartBarColors.count;
    const char *const *barTexts = chartBarColors.items;
    // The configuration always fills the list; an empty one falls back to the defaults.
    if (barCount <= 0 || barTexts == nullptr) {
        barCount = defaultBarCount;
        barTexts = defaultBars;
    }
    int *base = static_cast<int *>(xmalloc(3 * sizeof(int) * barCount));
    int *dark = base + barCount;
    int *light = dark + barCount;
    for (int i = 0; i < barCount; i++) {
        int red = 0, green = 0, blue = 0;
        if (barTexts[i] == nullptr || !parseColor(barTexts[i], &red, &green, &blue))
            parseColor(defaultBars[i % defaultBarCount], &red, &green, &blue);
        base[i] = allocateRgb(image, red, green, blue);
        dark[i] = allocateRgb(image, red * 3 / 4, green * 3 / 4, blue * 3 / 4);
        light[i] = allocateRgb(image, std::min(red * 4 / 3, 255), std::min(green * 4 / 3, 255),
                               std::min(blue * 4 / 3, 255));
    }
    int cross = (style & CHART_CROSSES) ? chartAllocateColor(image, chartCrossColor,
                                                             globalDefaultText(&chartCrossColor))
                                        : 0;

    int depth = bars ? 4 * channels : 0;
    int left = (title != nullptr ? CHART_LARGE_HEIGHT : 0) + 2 + CHART_SMALL_HEIGHT + depth;
    int plotWidth = width - left;
    int plotHeight = height - CHART_SMALL_HEIGHT - 14 - depth;
    // An image too small to hold the plot keeps only its background.
    if (plotWidth < 1 || plotHeight < 1) {
        myfree(base);
        return;
    }

    // Largest value; values that are no finite number do not stretch the axis.
    double maximum = 0.0;
    bool found = false;
    for (int c = 0; c < channels; c++)
        for (int s = 0; s < points; s++) {
            double v = data[c][s];
            if (!std::isfinite(v)) continue;
            if (!found || v > maximum) maximum = v;
            found = true;
        }
    double range = maximum > 0.0 ? maximum : 1.0;
    double divisor = 1.0;
    while (std::fabs(maximum) / divisor >= 1000.0) divisor *= 1000.0;

    double step = std::pow(10.0, std::floor(std::log10(range / 2)));
    if (!(step > 0.0) || !std::isfinite(step)) step = range;
    bool firstTick = true;
    int lastTop = 0;
    for (double t = 0.0; t <= maximum; t += step) {
        int y = chartY(t, plotHeight, range);
        char text[64];
        std::snprintf(text, sizeof text, "%3.2f", t / divisor);
        int textWidth = static_cast<int>(std::strlen(text)) * CHART_SMALL_WIDTH;
        int bottom = y + textWidth / 2;
        if (firstTick || lastTop > bottom) {
            if (bottom - textWidth > 0 && bottom < plotHeight)
                gdImageStringUp(image, smallFont, CHART_LARGE_HEIGHT, bottom, gdText(text),
                                textColor);
            lastTop = y - textWidth / 2 - 2;
            firstTick = false;
        }
        gdImageLine(image, left, y, left + plotWidth, y, tick);
        if (t + step == t) break;
    }

    int barWidth = plotWidth / (points + 1);
    int slotWidth = (plotWidth - 1) / (points + 1) + 1;
    int *previousY = static_cast<int *>(xmalloc(sizeof(int) * channels));
    int *order = static_cast<int *>(xmalloc(sizeof(int) * channels));
    int previousX = 0;
    bool labelSeen = false;
    int lastRight = 0;
    for (int s = 0; s < points; s++) {
        long long span = plotWidth - 1;
        int x = static_cast<int>(bars ? left + span * (s + 1) / (points + 1)
                                      : left + span * s / (points - 1));
        for (int c = 0; c < channels; c++) order[c] = c;
        dataGlobal = data;
        pointGlobal = s;
        std::stable_sort(order, order + channels,
                         [](int a, int b) { return channelCompare(a, b) < 0; });
        for (int p = 0; p < channels; p++) {
            int c = order[p];
            int y = chartY(data[c][s], plotHeight, range);
            int d = bars ? 4 * p : 0;
            int gap = 0;
            if (s == 0) {
                previousX = x;
                previousY[c] = y;
            } else {
                gap = slotWidth - (x - previousX);
            }
            int color = c % barCount;

            if (labels != nullptr && c == 0 && labels[s] != nullptr) {
                int textWidth = static_cast<int>(std::strlen(labels[s])) * CHART_SMALL_WIDTH;
                int labelX = x - textWidth / 2;
                if (!labelSeen || lastRight < labelX) {
                    if (labelX > 0 && labelX + textWidth < left + plotWidth)
                        gdImageString(image, smallFont, labelX, height - 2 * CHART_SMALL_HEIGHT,
                                      gdText(labels[s]), textColor);
                    lastRight = x + textWidth / 2 + 2;
                    labelSeen = true;
                }
            }

            if (style & CHART_FILLED)
                quad(image, previousX - d, previousY[c] + d, x - d, y + d, x - d,
                     plotHeight + d - 1, previousX - d, plotHeight + d - 1, base[color]);
            if ((style & CHART_LINES) && s > 0)
                gdImageLine(image, previousX - d, previousY[c] + d, x - d, y + d, base[color]);
            if (bars) {
                int half = (barWidth - 1) / 2;
                int l = x - half, r = x + half, y0 = plotHeight + d - 1;
                quad(image, l - d + gap, y0, r - d, y0, r - 4 - d, y0 + 4, l - 4 - d + gap, y0 + 4,
                     light[color]);
                quad(image, l - 4 - d + gap, y + d + 4, r - 4 - d, y + d + 4, r - 4 - d, y0 + 4,
                     l - 4 - d + gap, y0 + 4, base[color]);
                quad(image, r - d, y + d, r - 4 - d, y + d + 4, r - 4 - d, y0 + 4, r - d, y0,
                     dark[color]);
                quad(image, l - d + gap, y + d, r - d, y + d, r - 4 - d, y + d + 4, l - 4 - d + gap,
                     y + d + 4, light[color]);
            }
            if (style & CHART_CROSSES) {
                gdImageLine(image, x - d - 2, y + d - 2, x - d + 2, y + d + 2, cross);
                gdImageLine(image, x - d + 2, y + d - 2, x - d - 2, y + d + 2, cross);
            }
            if (p == channels - 1) previousX = x;
            previousY[c] = y;
        }
    }
    myfree(order);
    myfree(previousY);
    myfree(base);

    gdImageLine(image, left, 0, left, plotHeight, border);
    gdImageLine(image, left, plotHeight, left + plotWidth, plotHeight, border);

    // The title carries the scale factor, e.g. "accessesx1000".
    char *text = nullptr;
    if (divisor == 1.0) {
        if (title != nullptr) text = mystrdup(title);
    } else {
        const char *prefix = title != nullptr ? title : "";
        int length = std::snprintf(nullptr, 0, "%sx%.0f", prefix, divisor);
        text = static_cast<char *>(xmalloc(length + 1));
        std::snprintf(text, length + 1, "%sx%.0f", prefix, divisor);
    }
    if (text != nullptr) {
        int length = static_cast<int>(std::strlen(text));
        gdImageStringUp(image, largeFont, 0, plotHeight / 2 + length * CHART_LARGE_WIDTH / 2,
                        gdText(text), textColor);
        myfree(text);
    }
}
