// Fixed-shape sections of a period page: totals of the configured document groups,
// unique counts, accesses per hour and per day, and accesses per result code.
#include <cstring>

#include "config/global.h"
#include "core/commas.h"
#include "core/dates.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

const char *codeMeanings[1000];

void codesSetup() {
    static const int known[] = {200, 201, 202, 301, 302, 304, 400,
                                401, 403, 404, 500, 501, 502, 503};
    for (const char *&meaning : codeMeanings) meaning = nullptr;
    for (int i = 0; i < 14; i++) codeMeanings[known[i]] = textResource(HTMLRESULT200 + i);
}

// The totals of a modern page: each label names its row, the figures with thousands
// separators.
static void modernTotals(FILE *page) {
    resourceWrite(page, HTMLHISTORYREPORTLABEL);
    modernTableOpen(page, nobytesFlag ? HTMLHISTORYREPORTHEADINGNOBYTES : HTMLHISTORYREPORTHEADING,
                    nobytesFlag ? "Tn" : "Tnn");
    for (int i = 0; i < totals.count; i++) {
        const char *key = totals.keys[i];
        if (!key || totalsDivider(key)) continue;
        if (totals.doubles[i][0] == 0 && nozeroesFlag) continue;
        std::fputs("<tr>", page);
        modernCellOpen(page, 'T');
        if (totals.strings[i][0]) std::fputs(totals.strings[i][0], page);
        modernCellClose(page, 'T');
        modernNumberCell(page, totals.doubles[i][0], 0);
        if (!nobytesFlag) modernNumberCell(page, totals.doubles[i][1], 0);
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void totalsReport(FILE *page, int) {
    if (totals.count < 1) return;
    if (reportModern()) {
        modernTotals(page);
        return;
    }
    resourceWrite(page, HTMLHISTORYREPORTLABEL);
    resourceWrite(page, HTMLREPORTOPENLIST);
    resourceWrite(page, nobytesFlag ? HTMLHISTORYREPORTHEADINGNOBYTES : HTMLHISTORYREPORTHEADING);
    for (int i = 0; i < totals.count; i++) {
        const char *key = totals.keys[i];
        if (!key || totalsDivider(key)) continue;
        double accesses = totals.doubles[i][0];
        if (accesses == 0 && nozeroesFlag) continue;
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        // The label is the operator's own text.
        if (totals.strings[i][0]) std::fputs(totals.strings[i][0], page);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        Commas(page, accesses);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        if (!nobytesFlag) {
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            Commas(page, totals.doubles[i][1]);
            resourceWrite(page, HTMLREPORTCLOSEFIELD);
        }
        resourceWrite(page, HTMLREPORTCLOSERECORD);
        std::fputs("\n", page);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
}

// One row of the unique section; counts are whole numbers, the visits total a double.
static void uniqueRow(FILE *page, int label, int count, const double *total = nullptr) {
    if (reportModern()) {
        std::fputs("<tr>", page);
        modernCellOpen(page, 'T');
        resourceWrite(page, label);
        modernCellClose(page, 'T');
        modernNumberCell(page, total ? *total : count, 0);
        std::fputs("</tr>\n", page);
        return;
    }
    resourceWrite(page, HTMLREPORTOPENRECORD);
    resourceWrite(page, HTMLREPORTOPENFIELD);
    resourceWrite(page, label);
    resourceWrite(page, HTMLREPORTCLOSEFIELD);
    resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
    if (total)
        std::fprintf(page, "%.0f", *total);
    else
        std::fprintf(page, "%d", count);
    resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
    resourceWrite(page, HTMLREPORTCLOSERECORD);
}

void uniqueReport(FILE *page, int start) {
    if (!uniqueFlag) return;
    resourceWrite(page, HTMLUNIQUEREPORTLABEL);
    if (start == partialEpoch) resourceWrite(page, HTMLUNIQUEPARTIALEPOCHLABEL);
    if (reportModern()) {
        modernTableOpen(page, HTMLUNIQUEREPORTHEADING, "Tn");
    } else {
        resourceWrite(page, HTMLREPORTOPENLIST);
        resourceWrite(page, HTMLUNIQUEREPORTHEADING);
    }
    uniqueRow(page, HTMLUNIQUESITESSERVED, sites.count);
    uniqueRow(page, HTMLUNIQUEDOCUMENTSSERVED, documents.count);
    if (proxysitesFlag) uniqueRow(page, HTMLUNIQUEPROXYSITES, proxysites.count);
    if (authusersFlag) uniqueRow(page, HTMLUNIQUEAUTHENTICATEDUSERSSERVED, authusers.count);
    if (trailsFlag) uniqueRow(page, HTMLUNIQUETRAILS, completeTrails.count);
    if (visitsFlag) uniqueRow(page, HTMLUNIQUEVISITS, 0, &totalVisits);
    if (robotsMode == ROBOTS_APART) uniqueRow(page, HTMLUNIQUEROBOTS, 0, &robotAccesses);
    if (reportModern())
        modernTableClose(page);
    else
        resourceWrite(page, HTMLREPORTCLOSELIST);
}

// The hours of a modern page. A daily or summary hour is a count and is shown whole;
// the hours of a week or a month are averages over its days, shown with one decimal so
// that a quiet hour (0.4 accesses on a typical day) does not read as none. Bytes are
// shown whole, the rates per second with two decimals as on the classic pages.
static void modernHours(FILE *page, int days, int start) {
    bool summary = frequency == FREQ_SUMMARY;
    bool averaged = frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY;
    int label = bytesFlag == 1 ? HTMLHOURSREPORTLABELBYTES : HTMLHOURSREPORTLABELACCESSES;
    resourceWrite(page, label);
    if (averaged)
        resourceWrite(page, HTMLHOURSREPORTAVERAGED);
    else if (summary)
        resourceWrite(page, HTMLHOURSREPORTSUMMED);
    if (hoursFlag != FLAG_NOCHART) {
        hourChart(start, days);
        char *name = chartName(start, "h", "svg");
        modernChartImage(page, name, 0, label);
        myfree(name);
    }
    int heading;
    if (summary)
        heading = nobytesFlag ? HTMLHOURSREPORTHEADINGSUMMEDNOBYTES : HTMLHOURSREPORTHEADINGSUMMED;
    else
        heading =
            nobytesFlag ? HTMLHOURSREPORTHEADINGAVERAGEDNOBYTES : HTMLHOURSREPORTHEADINGAVERAGED;
    bool rates = !summary && !nobytesFlag;
    modernTableOpen(page, heading, nobytesFlag ? "Tn" : rates ? "Tnnnn" : "Tnn");
    double divisor = averaged && days > 0 ? days : 1;
    for (int h = 0; h < 24; h++) {
        double a = hourAccesses[h] / divisor;
        double b = hourBytes[h] / divisor;
        std::fputs("<tr>", page);
        modernCellOpen(page, 'T');
        std::fprintf(page, "%02d:00", h);
        modernCellClose(page, 'T');
        modernNumberCell(page, a, averaged ? 1 : 0);
        if (!nobytesFlag) modernNumberCell(page, b, 0);
        if (rates) {
            modernNumberCell(page, b / 60 * 8 / 60, 2);
            modernNumberCell(page, b / 60 / 60, 2);
        }
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void hoursReport(FILE *page, int days, int start) {
    if (hoursFlag == 0) return;
    if (reportModern()) {
        modernHours(page, days, start);
        return;
    }
    bool summary = frequency == FREQ_SUMMARY;
    resourceWrite(page, bytesFlag == 1 ? HTMLHOURSREPORTLABELBYTES : HTMLHOURSREPORTLABELACCESSES);
    if (frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY)
        resourceWrite(page, HTMLHOURSREPORTAVERAGED);
    else if (summary)
        resourceWrite(page, HTMLHOURSREPORTSUMMED);

    if (hoursFlag != FLAG_NOCHART) {
        if (!summary)
            std::fprintf(page, "<img src=\"%dh.gif\" width=\"%d\" height=\"%d\"><br>", start, 400,
                         300);
        else if (refererOnlyFlag)
            std::fprintf(page, "<img src=\"refererh.gif\" width=\"%d\" height=\"%d\"><br>", 400,
                         300);
        else if (useragentOnlyFlag)
            std::fprintf(page, "<img src=\"agentsh.gif\" width=\"%d\" height=\"%d\"><br>", 400,
                         300);
        else
            std::fprintf(page, "<img src=\"summaryh.gif\" width=\"%d\" height=\"%d\"><br>", 400,
                         300);
        hourChart(start, days);
    }

    resourceWrite(page, HTMLREPORTOPENLIST);
    if (summary)
        resourceWrite(
            page, nobytesFlag ? HTMLHOURSREPORTHEADINGSUMMEDNOBYTES : HTMLHOURSREPORTHEADINGSUMMED);
    else
        resourceWrite(page, nobytesFlag ? HTMLHOURSREPORTHEADINGAVERAGEDNOBYTES
                                        : HTMLHOURSREPORTHEADINGAVERAGED);

    double divisor = 1;
    if ((frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY) && days > 0) divisor = days;
    const char *format = frequency == FREQ_DAILY ? "%.0f" : "%.2f";
    for (int h = 0; h < 24; h++) {
        double a = hourAccesses[h] / divisor;
        double b = hourBytes[h] / divisor;
        resourceWrite(page, HTMLREPORTOPENRECORD);
        if (summary) {
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%02d:00", h);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            Commas(page, a);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            if (!nobytesFlag) {
                resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
                Commas(page, b);
                resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            }
        } else {
            resourceWrite(page, HTMLREPORTOPENFIELD);
            std::fprintf(page, "%02d:00", h);
            resourceWrite(page, HTMLREPORTCLOSEFIELD);
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, format, a);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            if (!nobytesFlag) {
                resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, format, b);
                resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
                resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, "%.2f", b / 60 * 8 / 60);
                resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
                resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, "%.2f", b / 60 / 60);
                resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            }
        }
        resourceWrite(page, HTMLREPORTCLOSERECORD);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
}

// The days of a modern page: each date names its row; accesses and bytes are counts and
// shown whole.
static void modernDays(FILE *page, int start, int days, int n) {
    int label = bytesFlag == 1 ? HTMLDAYSREPORTLABELBYTES : HTMLDAYSREPORTLABELACCESSES;
    resourceWrite(page, label);
    if (daysFlag != FLAG_NOCHART) {
        dayChart(start, days);
        char *name = reportPath("%dd.svg", start);
        modernChartImage(page, name, 0, label);
        myfree(name);
    }
    modernTableOpen(page, nobytesFlag ? HTMLDAYSREPORTHEADINGNOBYTES : HTMLDAYSREPORTHEADING,
                    nobytesFlag ? "Tn" : "Tnnnn");
    for (int i = 0; i < n; i++) {
        std::fputs("<tr>", page);
        modernCellOpen(page, 'T');
        printDate(page, start + i, dateFormat);
        modernCellClose(page, 'T');
        modernNumberCell(page, dayAccesses[i], 0);
        if (!nobytesFlag) {
            modernNumberCell(page, dayBytes[i], 0);
            modernNumberCell(page, dayBytes[i] * 8 / 86400, 2);
            modernNumberCell(page, dayBytes[i] / 86400, 2);
        }
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void daysReport(FILE *page, int start, int days) {
    if (daysFlag == 0) return;
    if (frequency != FREQ_WEEKLY && frequency != FREQ_MONTHLY) return;
    int n = days > 31 ? 31 : days;
    if (reportModern()) {
        modernDays(page, start, days, n);
        return;
    }

    resourceWrite(page, bytesFlag == 1 ? HTMLDAYSREPORTLABELBYTES : HTMLDAYSREPORTLABELACCESSES);
    if (daysFlag != FLAG_NOCHART) {
        std::fprintf(page, "<img src=\"%dd.gif\" width=\"%d\" height=\"%d\"><br>", start, 400, 300);
        dayChart(start, days);
    }
    resourceWrite(page, HTMLREPORTOPENLIST);
    resourceWrite(page, nobytesFlag ? HTMLDAYSREPORTHEADINGNOBYTES : HTMLDAYSREPORTHEADING);
    for (int i = 0; i < n; i++) {
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        printDate(page, start + i, dateFormat);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.0f", dayAccesses[i]);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        if (!nobytesFlag) {
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.0f", dayBytes[i]);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.2f", dayBytes[i] * 8 / 86400);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.2f", dayBytes[i] / 86400);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        }
        resourceWrite(page, HTMLREPORTCLOSERECORD);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
}

// The result codes of a modern page: each code names its row.
static void modernResultcodes(FILE *page) {
    resourceWrite(page, HTMLRESULTCODESREPORTLABEL);
    modernTableOpen(page, HTMLRESULTCODESREPORTHEADING, "Ntn");
    for (int c = 0; c < CODES_SIZE; c++) {
        if (!codeMeanings[c] && codes[c] == 0) continue;
        std::fputs("<tr>", page);
        modernCellOpen(page, 'N');
        std::fprintf(page, "%d", c);
        modernCellClose(page, 'N');
        modernCellOpen(page, 't');
        std::fputs(codeMeanings[c] ? codeMeanings[c] : "?", page);
        modernCellClose(page, 't');
        modernNumberCell(page, codes[c], 0);
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void resultcodesReport(FILE *page) {
    if (!resultcodesFlag) return;
    if (reportModern()) {
        modernResultcodes(page);
        return;
    }
    resourceWrite(page, HTMLRESULTCODESREPORTLABEL);
    resourceWrite(page, HTMLREPORTOPENLIST);
    resourceWrite(page, HTMLRESULTCODESREPORTHEADING);
    for (int c = 0; c < CODES_SIZE; c++) {
        if (!codeMeanings[c] && codes[c] == 0) continue;
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%d", c);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        std::fputs(codeMeanings[c] ? codeMeanings[c] : "?", page);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.0f", codes[c]);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTCLOSERECORD);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
}
