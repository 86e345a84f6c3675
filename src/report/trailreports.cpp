// The "trails" and "visits" sections of a period page: the most frequent document
// trails of the closed visits, and the visit figures with evenly spread examples.
#include <algorithm>

#include "config/global.h"
#include "core/commas.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

// The trails of a modern page: each trail names its row and wraps; the share is of all
// the trails followed. Without trails the section is its label and one line.
static void modernTrails(FILE *page, const int *order, int rows) {
    if (rows == 0) {
        resourceWrite(page, HTMLTRAILSREPORTLABELALL);
        modernEmpty(page, HTMLSECTIONEMPTY);
        return;
    }
    int shown = rows;
    if (topTrails == COUNT_ALL) {
        resourceWrite(page, HTMLTRAILSREPORTLABELALL);
    } else {
        shown = std::max(0, std::min(topTrails, rows));
        modernCountLabel(page, HTMLTRAILSREPORTLABEL, shown, rows);
    }
    double whole = 0;
    for (int i = 0; i < rows; i++) whole += completeTrails.doubles[i][0];
    modernTableOpen(page, HTMLTRAILSREPORTHEADING, "nKnsn");
    for (int rank = 1; rank <= shown; rank++) {
        const double *numbers = completeTrails.doubles[order[rank - 1]];
        std::fputs("<tr>", page);
        modernNumberCell(page, rank, 0);
        modernCellOpen(page, 'K');
        htmlEscape(page, completeTrails.keys[order[rank - 1]]);
        modernCellClose(page, 'K');
        modernNumberCell(page, numbers[0], 0);
        modernShareCell(page, numbers[0], whole);
        modernNumberCell(page, numbers[0] > 0 ? numbers[2] / numbers[0] : 0.0, 2);
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void trailsReport(FILE *page, int) {
    if (!trailsFlag) return;
    int rows = completeTrails.count;
    int *order = static_cast<int *>(xcalloc(static_cast<std::size_t>(rows) + 1, sizeof(int)));
    for (int i = 0; i < rows; i++) order[i] = i;
    rankedSort(order, rows, trailsCompareAccesses);
    if (reportModern()) {
        modernTrails(page, order, rows);
        myfree(order);
        return;
    }
    int shown = rows;
    if (topTrails == COUNT_ALL) {
        resourceWrite(page, HTMLTRAILSREPORTLABELALL);
    } else {
        shown = std::max(0, std::min(topTrails, rows));
        resourceFormat(page, textResource(HTMLTRAILSREPORTLABEL), "dd", shown, rows);
    }
    resourceWrite(page, HTMLREPORTOPENLIST);
    resourceWrite(page, HTMLTRAILSREPORTHEADING);
    for (int rank = 1; rank <= shown; rank++) {
        int row = order[rank - 1];
        const double *numbers = completeTrails.doubles[row];
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%d", rank);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        htmlEscape(page, completeTrails.keys[row]);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        Commas(page, numbers[0]);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.2f", numbers[0] > 0 ? numbers[2] / numbers[0] : 0.0);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTCLOSERECORD);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
    myfree(order);
}

// The visits of a modern page: the figures with thousands separators, and the examples
// with the site naming each row and the trail wrapping.
static void modernVisits(FILE *page) {
    resourceWrite(page, HTMLVISITSREPORTLABEL);
    modernFigure(page, HTMLVISITSREPORTTOTAL, 'f', totalVisits);
    modernFigure(page, HTMLVISITSREPORTAVERAGE, 'f', totalVisitDurations / totalVisits);
    modernFigure(page, HTMLVISITSREPORTLONGEST, 'f', longestVisitDuration);
    int rows = completeTrails.count;
    int n = exampleVisits == COUNT_ALL ? rows : std::max(0, std::min(exampleVisits, rows));
    if (n == 0) return;
    if (exampleVisits == COUNT_ALL)
        resourceWrite(page, HTMLVISITSREPORTEXAMPLESLABELALL);
    else
        modernFigure(page, HTMLVISITSREPORTEXAMPLESLABEL, 'd', n);
    modernTableOpen(page, HTMLVISITSREPORTHEADING, "Knk");
    for (int i = 0; i < n; i++) {
        int row = static_cast<int>(static_cast<long long>(i) * rows / n);
        std::fputs("<tr>", page);
        modernCellOpen(page, 'K');
        htmlEscape(page, completeTrails.strings[row][0]);
        modernCellClose(page, 'K');
        modernNumberCell(page, completeTrails.doubles[row][1], 0);
        modernCellOpen(page, 'k');
        htmlEscape(page, completeTrails.keys[row]);
        modernCellClose(page, 'k');
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void visitsReport(FILE *page, int) {
    if (!visitsFlag || totalVisits == 0) return;
    if (reportModern()) {
        modernVisits(page);
        return;
    }
    resourceWrite(page, HTMLVISITSREPORTLABEL);
    resourceFormat(page, textResource(HTMLVISITSREPORTTOTAL), "f", totalVisits);
    resourceFormat(page, textResource(HTMLVISITSREPORTAVERAGE), "f",
                   totalVisitDurations / totalVisits);
    resourceFormat(page, textResource(HTMLVISITSREPORTLONGEST), "f", longestVisitDuration);
    int rows = completeTrails.count;
    int n = exampleVisits == COUNT_ALL ? rows : std::max(0, std::min(exampleVisits, rows));
    if (n == 0) return;
    if (exampleVisits == COUNT_ALL)
        resourceWrite(page, HTMLVISITSREPORTEXAMPLESLABELALL);
    else
        resourceFormat(page, textResource(HTMLVISITSREPORTEXAMPLESLABEL), "d", n);
    resourceWrite(page, HTMLREPORTOPENLIST);
    resourceWrite(page, HTMLVISITSREPORTHEADING);
    // The examples are spread evenly over the trails in order of arrival.
    for (int i = 0; i < n; i++) {
        int row = static_cast<int>(static_cast<long long>(i) * rows / n);
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        htmlEscape(page, completeTrails.strings[row][0]);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%.0f", completeTrails.doubles[row][1]);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        htmlEscape(page, completeTrails.keys[row]);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTCLOSERECORD);
    }
    resourceWrite(page, HTMLREPORTCLOSELIST);
}
