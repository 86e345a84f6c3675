// The history index page: totals of every pattern over all stored periods with a chart
// per group, and the list of every period page, newest first, split into month
// sub-pages (daily reports) or year sub-pages (weekly reports).
#include <sys/stat.h>

#include <cstring>

#include "config/global.h"
#include "core/commas.h"
#include "core/dates.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

static const char *extensionText() {
    return extension ? extension : "";
}

void historyHeading(FILE *page) {
    if (databaseEpochsTotal <= 0) {
        resourceWrite(page, HTMLNOCOMPLETEREPORTS);
        return;
    }
    int first = database[0].firstDay;
    const DatabaseEpoch &newest = database[databaseEpochsTotal - 1];
    int last = newest.firstDay;
    if (frequency == FREQ_WEEKLY) {
        // A week that bridged a change of the weekstart ends before its seventh day.
        bool bridged = newest.kind == FREQ_WEEKLY && newest.days >= 1 && newest.days < 7;
        last += bridged ? newest.days - 1 : 6;
    } else if (frequency == FREQ_MONTHLY)
        last += monthLength(last) - 1;
    resourceWrite(page, HTMLHISTORYFROM);
    std::fputs(" ", page);
    printDate(page, first, dateFormat);
    std::fputs(" -- ", page);
    printDate(page, last, dateFormat);
}

// The label of a sub-page: "Reports for the month F -- L" for daily reports, "Reports for
// the year Y" for weekly ones. It stands in the sub-page's title and heading and in its link.
static void subListLabel(FILE *page, int first, int year) {
    if (frequency == FREQ_DAILY) {
        resourceWrite(page, HTMLREPORTSFORMONTH);
        std::fputs(" ", page);
        printDate(page, first, dateFormat);
        std::fputs(" -- ", page);
        printDate(page, first + monthLength(first) - 1, dateFormat);
    } else {
        resourceWrite(page, HTMLREPORTSFORYEAR);
        std::fprintf(page, " %d", year);
    }
}

void openSubList(OutFile &sub, FILE *index, int month, int year) {
    int first = dateToDay(month, 1, year);
    char *path = reportPath("%s/%dh.%s", reportDir, first, extensionText());
    FILE *page = reportFileOpen(sub, path);
    myfree(path);

    // The month page's title ends without a line feed, the year page's with one.
    const char *titleEnd = frequency == FREQ_DAILY ? "</title>" : "</title>\n";
    resourceWrite(page, HTMLOPENPAGE);
    resourceWrite(page, HTMLOPENHEAD);
    std::fputs("<title>", page);
    subListLabel(page, first, year);
    std::fputs(titleEnd, page);
    resourceWrite(page, HTMLCLOSEHEAD);
    outputUserHeader(page);
    std::fputs("<h1>", page);
    subListLabel(page, first, year);
    std::fputs("</h1>\n", page);

    resourceWrite(index, HTMLREPORTOPENRECORD);
    resourceWrite(index, HTMLREPORTOPENFIELD);
    std::fprintf(index, "<a href=\"%dh.%s\">", first, extensionText());
    subListLabel(index, first, year);
    std::fputs("</a>", index);
    resourceWrite(index, HTMLREPORTCLOSEFIELD);
    resourceWrite(index, HTMLREPORTCLOSERECORD);
    resourceWrite(page, HTMLREPORTOPENLIST);
}

void closeSubList(OutFile &sub) {
    if (!sub.file) return;
    resourceWrite(sub.file, HTMLREPORTCLOSELIST);
    outputUserFooter(sub.file);
    resourceWrite(sub.file, HTMLCLOSEPAGE);
    reportFileClose(sub);
}

// Index of the pattern that ends the group beginning at first: the next separator or
// the end of totals.
static int groupEnd(int first) {
    int end = first;
    while (end < totals.count && !totalsDivider(totals.keys[end])) end++;
    return end;
}

static void groupChartBlock(FILE *index, int first) {
    historyChart(first);
    resourceWrite(index, HTMLHISTORYGRAPHSBEFOREIMAGE);
    std::fputs("<table border=0>\n", index);
    std::fputs("<tr><td>", index);
    std::fprintf(index, "<img src=\"%dt.gif\" width=\"%d\" height=\"%d\">\n", first, 400, 300);
    std::fputs("</td>", index);
    std::fputs("<td>", index);
    int end = groupEnd(first);
    for (int i = first; i < end; i++) {
        std::fputs("<font color=", index);
        const char *color = chartBarColors.count > 0
                                ? chartBarColors.items[(i - first) % chartBarColors.count]
                                : "";
        std::fprintf(index, "\"%s\">", color ? color : "");
        const char *label = totals.strings[i][0];
        std::fprintf(index, "%s</font><br>\n", label ? label : "");
    }
    std::fputs("</td>", index);
    std::fputs("</tr>", index);
    std::fputs("</table>", index);
    resourceWrite(index, HTMLHISTORYGRAPHSAFTERIMAGE);
    resourceWrite(index,
                  nobytesFlag ? HTMLHISTORYGRAPHSHEADING : HTMLHISTORYGRAPHSHEADINGWITHBYTES);
}

static void numberCell(FILE *index, double value) {
    resourceWrite(index, HTMLREPORTOPENNUMERICFIELD);
    Commas(index, value);
    resourceWrite(index, HTMLREPORTCLOSENUMERICFIELD);
}

static void emptyCell(FILE *index) {
    resourceWrite(index, HTMLREPORTOPENNUMERICFIELD);
    resourceWrite(index, HTMLREPORTCLOSENUMERICFIELD);
}

// The record of the period still in progress, which has no place in the averages.
static bool inProgress(const DatabaseEpoch &record) {
    return showPartialEpoch && databaseEpochPartial(record);
}

// The record the latest figures come from: the last complete period when there is one.
static int latestRecord() {
    int latest = databaseEpochsTotal - 1;
    if (latest > 0 && inProgress(database[latest])) latest--;
    return latest;
}

// Days of a report's period, for the averages per period.
static double periodScale() {
    if (frequency == FREQ_WEEKLY) return 7;
    if (frequency == FREQ_MONTHLY) return 30;
    return 1;
}

// A pattern's sums over every record, and over the complete periods for the averages.
struct PatternSums {
    double a = 0, b = 0, days = 0, completeA = 0, completeB = 0, completeDays = 0;
};

static PatternSums patternSums(int p) {
    PatternSums sums;
    for (int r = 0; r < databaseEpochsTotal; r++) {
        const DatabaseEpoch &record = database[r];
        sums.a += record.accesses[p];
        sums.b += record.bytes[p];
        sums.days += record.days;
        if (inProgress(record)) continue;
        sums.completeA += record.accesses[p];
        sums.completeB += record.bytes[p];
        sums.completeDays += record.days;
    }
    return sums;
}

// The figures of a pattern's row after its label: sums, averages and the latest period.
static void patternCells(FILE *index, int p, const PatternSums &sums, int latest) {
    numberCell(index, sums.a);
    if (!nobytesFlag) numberCell(index, sums.b);
    if (sums.completeDays > 0) {
        double scale = periodScale();
        numberCell(index, sums.completeA / sums.completeDays * scale);
        if (!nobytesFlag) numberCell(index, sums.completeB / sums.completeDays * scale);
    } else {
        // Only the period in progress: no average yet, its cells stay empty.
        emptyCell(index);
        if (!nobytesFlag) emptyCell(index);
    }
    numberCell(index, database[latest].accesses[p]);
    if (!nobytesFlag) numberCell(index, database[latest].bytes[p]);
}

static void totalsRows(FILE *index) {
    int latest = latestRecord();
    bool groupCharted = false;
    for (int p = 0; p < totals.count; p++) {
        if (totalsDivider(totals.keys[p])) {
            groupCharted = false;
            continue;
        }
        PatternSums sums = patternSums(p);
        if (sums.a == 0 && nozeroesFlag) continue;
        if (databaseEpochsTotal > 1 && !groupCharted) {
            groupChartBlock(index, p);
            groupCharted = true;
        }
        if (sums.days <= 0) continue;
        resourceWrite(index, HTMLREPORTOPENRECORD);
        resourceWrite(index, HTMLREPORTOPENFIELD);
        const char *label = totals.strings[p][0];
        if (label) std::fputs(label, index);
        resourceWrite(index, HTMLREPORTCLOSEFIELD);
        patternCells(index, p, sums, latest);
        resourceWrite(index, HTMLREPORTCLOSERECORD);
    }
}

static bool pageExists(int start) {
    char *path = reportPath("%s/%d.%s", reportDir, start, extensionText());
    struct stat status;
    bool exists = stat(path, &status) == 0;
    myfree(path);
    return exists;
}

// ---- The modern style ----

// The start of the newest period whose page exists, or -1.
static int latestPage() {
    for (int r = databaseEpochsTotal - 1; r >= 0; r--)
        if (pageExists(database[r].firstDay)) return database[r].firstDay;
    return -1;
}

// The head and the navigation of a modern index page or sub-page; the title and heading
// are written by heading. The main part is left open.
static void modernOpen(FILE *page, bool subPage, void (*heading)(FILE *, int, int), int first,
                       int year) {
    resourceWrite(page, HTMLOPENPAGE);
    resourceWrite(page, HTMLOPENHEAD);
    reportModernHead(page);
    std::fputs("<title>", page);
    heading(page, first, year);
    std::fputs("</title>\n", page);
    resourceWrite(page, HTMLCLOSEHEAD);
    outputUserHeader(page);
    reportNavOpen(page);
    if (subPage) reportNavLink(page, "index", indexName ? indexName : "index.html", HTMLNAVINDEX);
    int latest = latestPage();
    if (latest >= 0) {
        char *href = reportPath("%d.%s", latest, extensionText());
        reportNavLink(page, "latest", href, HTMLNAVLATEST);
        myfree(href);
    }
    std::fputs("</nav>\n<main>\n<h1>", page);
    heading(page, first, year);
    std::fputs("</h1>\n", page);
}

static void modernClose(FILE *page) {
    std::fputs("</main>\n", page);
    outputUserFooter(page);
    resourceWrite(page, HTMLCLOSEPAGE);
}

static void modernOpenSubList(OutFile &sub, FILE *index, int month, int year) {
    int first = dateToDay(month, 1, year);
    char *path = reportPath("%s/%dh.%s", reportDir, first, extensionText());
    FILE *page = reportFileOpen(sub, path);
    myfree(path);
    modernOpen(page, true, subListLabel, first, year);
    std::fputs("<ul class=\"periods\">\n", page);
    std::fprintf(index, "<li><a href=\"%dh.%s\">", first, extensionText());
    subListLabel(index, first, year);
    std::fputs("</a></li>\n", index);
}

static void modernCloseSubList(OutFile &sub) {
    if (!sub.file) return;
    std::fputs("</ul>\n", sub.file);
    modernClose(sub.file);
    reportFileClose(sub);
}

// The chart of the totals group that begins at first; the SVG draws its own legend, and the
// text alternative names the group's patterns.
static void modernChart(FILE *index, int first) {
    historyChart(first);
    std::fprintf(index,
                 "<figure class=\"chart\"><img src=\"%dt.svg\" width=\"400\" height=\"300\" alt=\"",
                 first);
    htmlEscape(index, textResource(HTMLBARCHARTALT));
    int end = groupEnd(first);
    for (int i = first; i < end; i++) {
        if (i > first) std::fputs(", ", index);
        htmlEscape(index, totals.strings[i][0]);
    }
    std::fputs("\"></figure>\n", index);
}

// The totals of every pattern, a table per group after the group's chart.
static void modernTotals(FILE *index) {
    int latest = latestRecord();
    bool tableOpen = false;
    for (int p = 0; p < totals.count; p++) {
        if (totalsDivider(totals.keys[p])) {
            if (tableOpen) std::fputs("</tbody></table></div>\n", index);
            tableOpen = false;
            continue;
        }
        PatternSums sums = patternSums(p);
        if (sums.a == 0 && nozeroesFlag) continue;
        if (sums.days <= 0) continue;
        if (!tableOpen) {
            if (databaseEpochsTotal > 1) modernChart(index, p);
            std::fputs("<div class=\"table-wrap\"><table>\n<thead>", index);
            resourceWrite(
                index, nobytesFlag ? HTMLHISTORYGRAPHSHEADING : HTMLHISTORYGRAPHSHEADINGWITHBYTES);
            std::fputs("</thead>\n<tbody>\n", index);
            tableOpen = true;
        }
        std::fputs("<tr><th scope=\"row\">", index);
        const char *label = totals.strings[p][0];
        if (label) std::fputs(label, index);
        std::fputs("</th>", index);
        patternCells(index, p, sums, latest);
        std::fputs("</tr>\n", index);
    }
    if (tableOpen) std::fputs("</tbody></table></div>\n", index);
}

// The list of the periods whose pages exist, newest first; under daily and weekly
// reports one sub-page for each month or year.
static void reportRows(FILE *index, bool modern) {
    void (*openSub)(OutFile &, FILE *, int, int) = modern ? modernOpenSubList : openSubList;
    void (*closeSub)(OutFile &) = modern ? modernCloseSubList : closeSubList;
    OutFile sub;
    int previousMonth = -1, previousYear = -1;
    if (modern) std::fputs("<ul class=\"periods\">\n", index);
    for (int r = databaseEpochsTotal - 1; r >= 0; r--) {
        int start = database[r].firstDay;
        if (!pageExists(start)) continue;
        FILE *target = index;
        if (frequency == FREQ_DAILY || frequency == FREQ_WEEKLY) {
            int month, day, year;
            dayToDate(start, &month, &day, &year);
            bool change =
                year != previousYear || (frequency == FREQ_DAILY && month != previousMonth);
            if (change || !sub.file) {
                closeSub(sub);
                openSub(sub, index, frequency == FREQ_DAILY ? month : 1, year);
            }
            previousMonth = month;
            previousYear = year;
            target = sub.file;
        }
        if (modern) {
            std::fprintf(target, "<li><a href=\"%d.%s\">", start, extensionText());
            epochHeadingRecord(target, database[r]);
            std::fputs("</a></li>\n", target);
            continue;
        }
        resourceWrite(target, HTMLREPORTOPENRECORD);
        resourceWrite(target, HTMLREPORTOPENFIELD);
        std::fprintf(target, "<a href=\"%d.%s\">", start, extensionText());
        epochHeadingRecord(target, database[r]);
        std::fputs("</a>\n", target);
        resourceWrite(target, HTMLREPORTCLOSEFIELD);
        resourceWrite(target, HTMLREPORTCLOSERECORD);
    }
    closeSub(sub);
    if (modern) std::fputs("</ul>\n", index);
}

static void indexHeading(FILE *page, int, int) {
    historyHeading(page);
}

static void modernHistoryReport(FILE *index) {
    reportModernPrepare();
    modernOpen(index, false, indexHeading, 0, 0);
    std::fputs("<p><a href=\"#reports\">", index);
    if (frequency == FREQ_DAILY)
        resourceWrite(index, HTMLSKIPTODAILYREPORTS);
    else if (frequency == FREQ_WEEKLY)
        resourceWrite(index, HTMLSKIPTOWEEKLYREPORTS);
    else
        resourceWrite(index, HTMLSKIPTOMONTHLYREPORTS);
    std::fputs("</a></p>\n", index);
    resourceWrite(index, HTMLHISTORYGRAPHSLABEL);
    modernTotals(index);
    std::fputs("<h2 id=\"reports\">", index);
    resourceWrite(index, HTMLREPORTLISTLABEL);
    std::fputs("</h2>\n", index);
    reportRows(index, true);
    modernClose(index);
}

void historyReport() {
    char *path = reportPath("%s/%s", reportDir, indexName ? indexName : "index.html");
    OutFile out;
    FILE *index = reportFileOpen(out, path);
    myfree(path);
    if (reportModern()) {
        modernHistoryReport(index);
        reportFileClose(out);
        return;
    }

    resourceWrite(index, HTMLOPENPAGE);
    resourceWrite(index, HTMLOPENHEAD);
    std::fputs("<title>", index);
    historyHeading(index);
    std::fputs("</title>\n", index);
    resourceWrite(index, HTMLCLOSEHEAD);
    outputUserHeader(index);
    resourceWrite(index, HTMLOPENSUBHEADING);
    historyHeading(index);
    resourceWrite(index, HTMLCLOSESUBHEADING);

    std::fputs("<a href=\"#reports\">\n", index);
    if (frequency == FREQ_DAILY)
        resourceWrite(index, HTMLSKIPTODAILYREPORTS);
    else if (frequency == FREQ_WEEKLY)
        resourceWrite(index, HTMLSKIPTOWEEKLYREPORTS);
    else
        resourceWrite(index, HTMLSKIPTOMONTHLYREPORTS);
    std::fputs("</a>\n", index);

    resourceWrite(index, HTMLHISTORYGRAPHSLABEL);
    resourceWrite(index, HTMLREPORTOPENLIST);
    totalsRows(index);
    resourceWrite(index, HTMLREPORTCLOSELIST);

    resourceWrite(index, HTMLOPENSUBHEADING);
    std::fputs("<a name=\"reports\">", index);
    resourceWrite(index, HTMLREPORTLISTLABEL);
    std::fputs("</a>", index);
    resourceWrite(index, HTMLCLOSESUBHEADING);
    resourceWrite(index, HTMLREPORTOPENLIST);
    reportRows(index, false);
    resourceWrite(index, HTMLREPORTCLOSELIST);
    outputUserFooter(index);
    resourceWrite(index, HTMLCLOSEPAGE);
    reportFileClose(out);
}
