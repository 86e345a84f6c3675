// Chart files of the pages: the pie of each ranked section, the hour and day bar charts
// of a period, and the bar chart of each totals group over the history. Each function
// gathers the figures into fresh arrays, draws them and replaces its GIF atomically; for
// the modern pages it writes the same figures as an SVG file of the same name, and the
// GIF only with gifcharts.
#include <gd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "chart/chart.h"
#include "chart/pie.h"
#include "chart/svg.h"
#include "config/global.h"
#include "core/dates.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

static gdImagePtr chartImage(int width, int height) {
    gdImagePtr image = gdImageCreate(width, height);
    if (!image) dieMemory();
    return image;
}

// Writes the image to path, replacing the file only once it is complete.
static void chartWrite(gdImagePtr image, const char *path) {
    OutFile out;
    FILE *file = reportFileOpen(out, path);
    gdImageGif(image, file);
    reportFileClose(out);
}

static const char *chartTitle() {
    return textResource(bytesFlag == 1 ? HTMLBYTES : HTMLACCESSES);
}

// Which forms of the charts a run writes: GIFs for the classic pages and, with gifcharts,
// beside the SVGs of the modern ones.
static bool gifWanted() {
    return !reportModern() || gifchartsFlag > 0;
}
static bool svgWanted() {
    return reportModern() != 0;
}

// The size given on the root element of the last SVG chart written; 0 before the first.
static int svgWidth, svgHeight;

void chartSvgSize(int *width, int *height) {
    *width = svgWidth;
    *height = svgHeight;
}

// The value of the attribute name="..." within the opening tag that begins at tag, or 0.
static int rootAttribute(const char *tag, const char *name) {
    const char *end = std::strchr(tag, '>');
    std::size_t length = std::strlen(name);
    for (const char *p = tag; p && end && p < end; p = std::strchr(p + 1, ' ')) {
        if (std::strncmp(p + 1, name, length) == 0 && p[1 + length] == '=' && p[2 + length] == '"')
            return std::atoi(p + 3 + length);
    }
    return 0;
}

// Writes an SVG chart to path through draw(file), replacing the file only once it is
// complete, and keeps the size it was given.
template <typename Draw>
static void svgFileWrite(const char *path, Draw draw) {
    char *text = nullptr;
    std::size_t size = 0;
    FILE *memory = open_memstream(&text, &size);
    if (!memory) dieMemory();
    draw(memory);
    if (std::fclose(memory) != 0 || !text) dieMemory();
    const char *root = std::strstr(text, "<svg");
    svgWidth = root ? rootAttribute(root, "width") : 0;
    svgHeight = root ? rootAttribute(root, "height") : 0;
    OutFile out;
    FILE *file = reportFileOpen(out, path);
    std::fwrite(text, 1, size, file);
    reportFileClose(out);
    std::free(text);  // allocated by open_memstream
}

char *chartName(int start, const char *suffix, const char *ext) {
    if (!suffix) suffix = "";
    if (frequency != FREQ_SUMMARY) return reportPath("%d%s.%s", start, suffix, ext);
    if (refererOnlyFlag) return reportPath("referer%s.%s", suffix, ext);
    if (useragentOnlyFlag) return reportPath("agents%s.%s", suffix, ext);
    return reportPath("summary%s.%s", suffix, ext);
}

// Path of a period chart: "<day><suffix>.<ext>", or the summary forms.
static char *periodChartPath(int start, const char *suffix, const char *ext = "gif") {
    char *name = chartName(start, suffix, ext);
    char *path = reportPath("%s/%s", reportDir, name);
    myfree(name);
    return path;
}

// The label of a pie slice: the key as its row shows it, the htmlpiehidden text for a key
// the section does not list.
static const char *sliceLabel(const Hash &table, int row, ReportHiddenTest hiddenTest) {
    const char *key = table.keys[row];
    if (hiddenTest && hiddenTest(key)) return textResource(HTMLPIEHIDDEN);
    if (&table == &sites && dnsFlag == DNS_FAST && reportResolveName) {
        const char *name = reportResolveName(key);
        if (name) return name;
    }
    return key;
}

void hashChart(Hash &table, const char *suffix, int start, const int *order, int byBytes,
               ReportHiddenTest hiddenTest) {
    int n = table.count;
    double *values =
        static_cast<double *>(xcalloc(static_cast<std::size_t>(n) + 1, sizeof(double)));
    double sum = 0;
    int cell = byBytes && table.doubleColumns > 1 ? 1 : 0;
    for (int i = 0; i < n; i++) {
        values[i] = table.doubles[order[i]][cell];
        sum += values[i];
    }
    // The entries before the first one under 2 % of the whole get sectors of their own;
    // that one and all after it make up "Other".
    int count = n + 1;
    for (int j = 0; j < n; j++) {
        if (values[j] < 0.02 * sum) {
            double rest = 0;
            for (int k = j; k < n; k++) rest += values[k];
            values[j] = rest;
            count = j + 1;
            break;
        }
    }
    if (count == n + 1) values[n] = 0;

    if (gifWanted()) {
        char *path = periodChartPath(start, suffix ? suffix : "");
        gdImagePtr image = chartImage(200, 200);
        pieDraw(image, values, count);
        chartWrite(image, path);
        gdImageDestroy(image);
        myfree(path);
    }
    if (svgWanted()) {
        // The slices of their own are the first count - 1 entries; the last is "Other".
        const char **labels =
            static_cast<const char **>(xcalloc(static_cast<std::size_t>(count), sizeof(char *)));
        for (int i = 0; i < count - 1; i++) labels[i] = sliceLabel(table, order[i], hiddenTest);
        labels[count - 1] = textResource(HTMLPIEOTHER);
        char *path = periodChartPath(start, suffix ? suffix : "", "svg");
        svgFileWrite(path, [&](FILE *file) { svgPieWrite(file, values, count, labels); });
        myfree(path);
        myfree(labels);
    }
    myfree(values);
}

void hourChart(int start, int days) {
    char *labels[24];
    for (int h = 0; h < 24; h++) labels[h] = reportPath("%02d:00", h);
    double divisor = 1;
    if (frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY) divisor = days;
    if (divisor <= 0) divisor = 1;
    double *values = static_cast<double *>(xcalloc(25, sizeof(double)));
    for (int h = 0; h < 24; h++)
        values[h] = (bytesFlag == 1 ? hourBytes[h] : hourAccesses[h]) / divisor;

    const double *data[1] = {values};
    if (gifWanted()) {
        char *path = periodChartPath(start, "h");
        gdImagePtr image = chartImage(400, 300);
        chartDraw(image, CHART_BARS, labels, chartTitle(), data, 24, 1);
        chartWrite(image, path);
        gdImageDestroy(image);
        myfree(path);
    }
    if (svgWanted()) {
        char *path = periodChartPath(start, "h", "svg");
        const char *names[1] = {chartTitle()};
        svgFileWrite(path, [&](FILE *file) {
            svgChartWrite(file, CHART_BARS, labels, chartTitle(), data, 24, 1, names);
        });
        myfree(path);
    }
    myfree(values);
    for (char *label : labels) myfree(label);
}

void dayChart(int start, int days) {
    int n = frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY ? days : 1;
    if (n < 1) n = 1;
    if (n > 31) n = 31;
    char **labels = static_cast<char **>(xcalloc(static_cast<std::size_t>(n), sizeof(char *)));
    double *values =
        static_cast<double *>(xcalloc(static_cast<std::size_t>(n) + 1, sizeof(double)));
    for (int i = 0; i < n; i++) {
        labels[i] = dateLabel(start + i);
        values[i] = bytesFlag == 1 ? dayBytes[i] : dayAccesses[i];
    }

    const double *data[1] = {values};
    if (gifWanted()) {
        char *path = reportPath("%s/%dd.gif", reportDir, start);
        gdImagePtr image = chartImage(400, 300);
        chartDraw(image, CHART_BARS, labels, chartTitle(), data, n, 1);
        chartWrite(image, path);
        gdImageDestroy(image);
        myfree(path);
    }
    if (svgWanted()) {
        char *path = reportPath("%s/%dd.svg", reportDir, start);
        const char *names[1] = {chartTitle()};
        svgFileWrite(path, [&](FILE *file) {
            svgChartWrite(file, CHART_BARS, labels, chartTitle(), data, n, 1, names);
        });
        myfree(path);
    }
    myfree(values);
    for (int i = 0; i < n; i++) myfree(labels[i]);
    myfree(labels);
}

// A stored figure on the scale of the report's periods: days shown per week, weeks per day
// (a week that bridged a change of the weekstart has fewer days).
static double historyValue(const DatabaseEpoch &record, int pattern) {
    double value = bytesFlag == 1 ? record.bytes[pattern] : record.accesses[pattern];
    if (record.kind == 0 && frequency == FREQ_WEEKLY) return std::floor(value * 7);
    if (record.kind == 1 && (frequency == FREQ_DAILY || frequency == FREQ_MONTHLY))
        return std::floor(value / (record.days >= 1 && record.days <= 7 ? record.days : 7));
    return value;
}

int historyChart(int first) {
    if (databaseEpochsTotal <= 0) return 0;
    if (first < 0 || first >= totals.count) return 0;
    int end = first;
    while (end < totals.count && !totalsDivider(totals.keys[end])) end++;
    int channels = end - first;
    if (channels <= 0) return 0;

    // The period still in progress is never charted. It is the last record only when it
    // was reported in this run, so the record itself is checked.
    int points = databaseEpochsTotal;
    if (showPartialEpoch && databaseEpochPartial(database[points - 1])) points--;

    char **labels =
        static_cast<char **>(xcalloc(static_cast<std::size_t>(points) + 1, sizeof(char *)));
    double **data =
        static_cast<double **>(xcalloc(static_cast<std::size_t>(channels), sizeof(double *)));
    for (int i = 0; i < points; i++) labels[i] = dateLabel(database[i].firstDay);
    for (int k = 0; k < channels; k++) {
        data[k] =
            static_cast<double *>(xcalloc(static_cast<std::size_t>(points) + 1, sizeof(double)));
        for (int i = 0; i < points; i++) data[k][i] = historyValue(database[i], first + k);
    }

    if (gifWanted()) {
        char *path = reportPath("%s/%dt.gif", reportDir, first);
        gdImagePtr image = chartImage(400, 300);
        chartDraw(image, CHART_BARS, labels, chartTitle(), data, points, channels);
        chartWrite(image, path);
        gdImageDestroy(image);
        myfree(path);
    }
    if (svgWanted()) {
        // Each channel is named by its pattern's label in the totals block.
        const char **names =
            static_cast<const char **>(xcalloc(static_cast<std::size_t>(channels), sizeof(char *)));
        for (int k = 0; k < channels; k++)
            names[k] = totals.stringColumns > 0 ? totals.strings[first + k][0] : nullptr;
        char *path = reportPath("%s/%dt.svg", reportDir, first);
        svgFileWrite(path, [&](FILE *file) {
            svgChartWrite(file, CHART_BARS, labels, chartTitle(), data, points, channels, names);
        });
        myfree(path);
        myfree(names);
    }
    for (int k = 0; k < channels; k++) myfree(data[k]);
    myfree(data);
    for (int i = 0; i < points; i++) myfree(labels[i]);
    myfree(labels);
    return channels - 1;
}
