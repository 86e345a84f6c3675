// Fixed-shape sections of a period page: totals of the configured document groups,
// unique counts, accesses per hour and per day, and accesses per result code.
#include <cstring>

#include "config/global.h"
#include "core/commas.h"
#include "core/dates.h"
#include "engine/engine.h"
#include "report/report.h"

static void put(FILE *page, int resource) {
    if (textResource(resource)) std::fputs(textResource(resource), page);
}

const char *codeMeanings[1000];

void codesSetup() {
    static const int known[] = {200, 201, 202, 301, 302, 304, 400,
                                401, 403, 404, 500, 501, 502, 503};
    for (const char *&meaning : codeMeanings) meaning = nullptr;
    for (int i = 0; i < 14; i++) codeMeanings[known[i]] = textResource(HTMLRESULT200 + i);
}

static bool isDivider(const char *key) {
    return key && std::strncmp(key, "DIVIDER", 7) == 0;
}

void totalsReport(FILE *page, int) {
    if (totals.count < 1) return;
    put(page, HTMLHISTORYREPORTLABEL);
    put(page, HTMLREPORTOPENLIST);
    put(page, nobytesFlag ? HTMLHISTORYREPORTHEADINGNOBYTES : HTMLHISTORYREPORTHEADING);
    for (int i = 0; i < totals.count; i++) {
        const char *key = totals.keys[i];
        if (!key || isDivider(key)) continue;
        double accesses = totals.doubles[i][0];
        if (accesses == 0 && nozeroesFlag) continue;
        put(page, HTMLREPORTOPENRECORD);
        put(page, HTMLREPORTOPENFIELD);
        // The label is the operator's own text.
        if (totals.strings[i][0]) std::fputs(totals.strings[i][0], page);
        put(page, HTMLREPORTCLOSEFIELD);
        put(page, HTMLREPORTOPENNUMERICFIELD);
        Commas(page, accesses);
        put(page, HTMLREPORTCLOSEFIELD);
        if (!nobytesFlag) {
            put(page, HTMLREPORTOPENNUMERICFIELD);
            Commas(page, totals.doubles[i][1]);
            put(page, HTMLREPORTCLOSEFIELD);
        }
        put(page, HTMLREPORTCLOSERECORD);
        std::fputs("\n", page);
    }
    put(page, HTMLREPORTCLOSELIST);
}

// One row of the unique section; counts are whole numbers, the visits total a double.
static void uniqueRow(FILE *page, int label, int count, const double *total = nullptr) {
    put(page, HTMLREPORTOPENRECORD);
    put(page, HTMLREPORTOPENFIELD);
    put(page, label);
    put(page, HTMLREPORTCLOSEFIELD);
    put(page, HTMLREPORTOPENNUMERICFIELD);
    if (total)
        std::fprintf(page, "%.0f", *total);
    else
        std::fprintf(page, "%d", count);
    put(page, HTMLREPORTCLOSENUMERICFIELD);
    put(page, HTMLREPORTCLOSERECORD);
}

void uniqueReport(FILE *page, int start) {
    if (!uniqueFlag) return;
    put(page, HTMLUNIQUEREPORTLABEL);
    if (start == partialEpoch) put(page, HTMLUNIQUEPARTIALEPOCHLABEL);
    put(page, HTMLREPORTOPENLIST);
    put(page, HTMLUNIQUEREPORTHEADING);
    uniqueRow(page, HTMLUNIQUESITESSERVED, sites.count);
    uniqueRow(page, HTMLUNIQUEDOCUMENTSSERVED, documents.count);
    if (proxysitesFlag) uniqueRow(page, HTMLUNIQUEPROXYSITES, proxysites.count);
    if (authusersFlag) uniqueRow(page, HTMLUNIQUEAUTHENTICATEDUSERSSERVED, authusers.count);
    if (trailsFlag) uniqueRow(page, HTMLUNIQUETRAILS, completeTrails.count);
    if (visitsFlag) uniqueRow(page, HTMLUNIQUEVISITS, 0, &totalVisits);
    put(page, HTMLREPORTCLOSELIST);
}

void hoursReport(FILE *page, int days, int start) {
    if (hoursFlag == 0) return;
    bool summary = frequency == FREQ_SUMMARY;
    put(page, bytesFlag == 1 ? HTMLHOURSREPORTLABELBYTES : HTMLHOURSREPORTLABELACCESSES);
    if (frequency == FREQ_WEEKLY || frequency == FREQ_MONTHLY)
        put(page, HTMLHOURSREPORTAVERAGED);
    else if (summary)
        put(page, HTMLHOURSREPORTSUMMED);

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
        hourChart(start);
    }

    put(page, HTMLREPORTOPENLIST);
    if (summary)
        put(page, nobytesFlag ? HTMLHOURSREPORTHEADINGSUMMEDNOBYTES : HTMLHOURSREPORTHEADINGSUMMED);
    else
        put(page,
            nobytesFlag ? HTMLHOURSREPORTHEADINGAVERAGEDNOBYTES : HTMLHOURSREPORTHEADINGAVERAGED);

    double divisor = 1;
    if (frequency == FREQ_WEEKLY)
        divisor = periodDays(start);
    else if (frequency == FREQ_MONTHLY && days > 0)
        divisor = days;
    const char *format = frequency == FREQ_DAILY ? "%.0f" : "%.2f";
    for (int h = 0; h < 24; h++) {
        double a = hourAccesses[h] / divisor;
        double b = hourBytes[h] / divisor;
        put(page, HTMLREPORTOPENRECORD);
        if (summary) {
            put(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%02d:00", h);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
            put(page, HTMLREPORTOPENNUMERICFIELD);
            Commas(page, a);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
            if (!nobytesFlag) {
                put(page, HTMLREPORTOPENNUMERICFIELD);
                Commas(page, b);
                put(page, HTMLREPORTCLOSENUMERICFIELD);
            }
        } else {
            put(page, HTMLREPORTOPENFIELD);
            std::fprintf(page, "%02d:00", h);
            put(page, HTMLREPORTCLOSEFIELD);
            put(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, format, a);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
            if (!nobytesFlag) {
                put(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, format, b);
                put(page, HTMLREPORTCLOSENUMERICFIELD);
                put(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, "%.2f", b / 60 * 8 / 60);
                put(page, HTMLREPORTCLOSENUMERICFIELD);
                put(page, HTMLREPORTOPENNUMERICFIELD);
                std::fprintf(page, "%.2f", b / 60 / 60);
                put(page, HTMLREPORTCLOSENUMERICFIELD);
            }
        }
        put(page, HTMLREPORTCLOSERECORD);
    }
    put(page, HTMLREPORTCLOSELIST);
}

void daysReport(FILE *page, int start) {
    if (daysFlag == 0) return;
    if (frequency != FREQ_WEEKLY && frequency != FREQ_MONTHLY) return;
    int n = periodDays(start);
    if (n > 31) n = 31;

    put(page, bytesFlag == 1 ? HTMLDAYSREPORTLABELBYTES : HTMLDAYSREPORTLABELACCESSES);
    if (daysFlag != FLAG_NOCHART) {
        std::fprintf(page, "<img src=\"%dd.gif\" width=\"%d\" height=\"%d\"><br>", start, 400, 300);
        dayChart(start);
    }
    put(page, HTMLREPORTOPENLIST);
    put(page, nobytesFlag ? HTMLDAYSREPORTHEADINGNOBYTES : HTMLDAYSREPORTHEADING);
    for (int i = 0; i < n; i++) {
        put(page, HTMLREPORTOPENRECORD);
        put(page, HTMLREPORTOPENFIELD);
        printDate(page, start + i);
        put(page, HTMLREPORTCLOSEFIELD);
        put(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.0f", dayAccesses[i]);
        put(page, HTMLREPORTCLOSENUMERICFIELD);
        if (!nobytesFlag) {
            put(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.0f", dayBytes[i]);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
            put(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.2f", dayBytes[i] * 8 / 86400);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
            put(page, HTMLREPORTOPENNUMERICFIELD);
            std::fprintf(page, "%.2f", dayBytes[i] / 86400);
            put(page, HTMLREPORTCLOSENUMERICFIELD);
        }
        put(page, HTMLREPORTCLOSERECORD);
    }
    put(page, HTMLREPORTCLOSELIST);
}

void resultcodesReport(FILE *page) {
    if (!resultcodesFlag) return;
    put(page, HTMLRESULTCODESREPORTLABEL);
    put(page, HTMLREPORTOPENLIST);
    put(page, HTMLRESULTCODESREPORTHEADING);
    for (int c = 0; c < CODES_SIZE; c++) {
        if (!codeMeanings[c] && codes[c] == 0) continue;
        put(page, HTMLREPORTOPENRECORD);
        put(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%d", c);
        put(page, HTMLREPORTCLOSENUMERICFIELD);
        put(page, HTMLREPORTOPENFIELD);
        std::fputs(codeMeanings[c] ? codeMeanings[c] : "?", page);
        put(page, HTMLREPORTCLOSEFIELD);
        put(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.0f", codes[c]);
        put(page, HTMLREPORTCLOSENUMERICFIELD);
        put(page, HTMLREPORTCLOSERECORD);
    }
    put(page, HTMLREPORTCLOSELIST);
}
