// Chart files of the pages: the pie of each ranked section, the hour and day bar charts
// of a period, and the bar chart of each totals group over the history. Each function
// gathers the figures into fresh arrays, draws them and replaces its GIF atomically.
#include <gd.h>

#include <cmath>
#include <cstring>

#include "chart/chart.h"
#include "chart/pie.h"
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

// Name of a period chart: "<day><suffix>.gif", or the summary forms.
static char *periodChartPath(int start, const char *suffix) {
    if (frequency != FREQ_SUMMARY) return reportPath("%s/%d%s.gif", reportDir, start, suffix);
    if (refererOnlyFlag) return reportPath("%s/referer%s.gif", reportDir, suffix);
    if (useragentOnlyFlag) return reportPath("%s/agents%s.gif", reportDir, suffix);
    return reportPath("%s/summary%s.gif", reportDir, suffix);
}

void hashChart(Hash &table, const char *suffix, int start, const int *order, int byBytes) {
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

    char *path = periodChartPath(start, suffix ? suffix : "");
    gdImagePtr image = chartImage(200, 200);
    pieDraw(image, values, count);
    chartWrite(image, path);
    gdImageDestroy(image);
    myfree(path);
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

    char *path = periodChartPath(start, "h");
    gdImagePtr image = chartImage(400, 300);
    const double *data[1] = {values};
    chartDraw(image, CHART_BARS, labels, chartTitle(), data, 24, 1);
    chartWrite(image, path);
    gdImageDestroy(image);
    myfree(path);
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

    char *path = reportPath("%s/%dd.gif", reportDir, start);
    gdImagePtr image = chartImage(400, 300);
    const double *data[1] = {values};
    chartDraw(image, CHART_BARS, labels, chartTitle(), data, n, 1);
    chartWrite(image, path);
    gdImageDestroy(image);
    myfree(path);
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

    char *path = reportPath("%s/%dt.gif", reportDir, first);
    gdImagePtr image = chartImage(400, 300);
    chartDraw(image, CHART_BARS, labels, chartTitle(), data, points, channels);
    chartWrite(image, path);
    gdImageDestroy(image);
    myfree(path);
    for (int k = 0; k < channels; k++) myfree(data[k]);
    myfree(data);
    for (int i = 0; i < points; i++) myfree(labels[i]);
    myfree(labels);
    return channels - 1;
}
