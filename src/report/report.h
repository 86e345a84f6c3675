// Page writers of the analyser: the period page frame, ranked lists, time, totals and
// result-code sections, the history index, and the chart feeders.
#pragma once
#include <cstdio>

#include "core/hash.h"
#include "core/outfile.h"

struct DatabaseEpoch;

// ---- Period page frame ----
// Writes the page of the period that starts at start and lasts days days (1 in summary
// mode), its sections in the order of reportList; the engine has closed the period
// (epochClose) and analysed its tables.
void epochReport(int start, int days);
void epochHeading(FILE *page, int start, int days);
// The heading of a period of the given kind; days counts only for a week, which ends on
// its last day (fewer than 7 days for a week that bridges a change of the weekstart).
void epochHeadingBody(FILE *page, int start, int frequency, int days);
// The heading of a stored period, which ends on the last day it covered.
void epochHeadingRecord(FILE *page, const DatabaseEpoch &record);
void outputUserHeader(FILE *page);
void outputUserFooter(FILE *page);

// ---- Ranked sections ----
typedef int (*ReportComparator)(const void *a, const void *b);
typedef int (*ReportHiddenTest)(const char *key);
typedef void (*ReportKeyWriter)(FILE *page, const char *key);

struct GenericReportSpec {
    ReportComparator byteComparator;  // null when the table cannot be ranked by bytes
    ReportComparator accessComparator;
    ReportHiddenTest hiddenTest;  // null: every key is listed
    ReportKeyWriter keyWriter;    // null: the key is written (escaped) as it is
    int labelAllBytes;            // resource numbers; -1 when absent
    int labelAllAccesses;
    int labelTopBytes;
    int labelTopAccesses;
    int headingWithBytes;  // -1 when the section never has a bytes column
    int headingNoBytes;
    Hash *table;
    int rowLimit;  // COUNT_ALL for all
    int setting;   // 0 off, -3 on without chart, else on with chart
    const char *chartSuffix;
    int extraColumn;  // non-zero: each row ends with the text cell 0
};

void genericReport(FILE *page, int start, const GenericReportSpec &spec);
// The stable sort of row numbers with a ranked-list comparator (ties keep row order).
void rankedSort(int *order, int n, ReportComparator comparator);
void documentsReport(FILE *page, int start);
void authusersReport(FILE *page, int start);
void sitesReport(FILE *page, int start);
void domainsReport(FILE *page, int start);
void proxysitesReport(FILE *page, int start);
void proxydomainsReport(FILE *page, int start);
void useragentsReport(FILE *page, int start);
void referersReport(FILE *page, int start);
void notfoundReport(FILE *page, int start);
// Browser families, operating-system families and robots of the agents.
void browserFamiliesReport(FILE *page, int start);
void systemFamiliesReport(FILE *page, int start);
void robotsReport(FILE *page, int start);

int sitesCompareAccesses(const void *a, const void *b);
int sitesCompareBytes(const void *a, const void *b);
int proxysitesCompareAccesses(const void *a, const void *b);
int proxysitesCompareBytes(const void *a, const void *b);
int documentsCompareAccesses(const void *a, const void *b);
int documentsCompareBytes(const void *a, const void *b);
int notfoundCompareAccesses(const void *a, const void *b);
int authusersCompareAccesses(const void *a, const void *b);
int authusersCompareBytes(const void *a, const void *b);
int domainsCompareAccesses(const void *a, const void *b);
int domainsCompareBytes(const void *a, const void *b);
int proxydomainsCompareAccesses(const void *a, const void *b);
int proxydomainsCompareBytes(const void *a, const void *b);
int trailsCompareAccesses(const void *a, const void *b);
int referersCompareAccesses(const void *a, const void *b);
int referersCompareBytes(const void *a, const void *b);
int useragentsCompareAccesses(const void *a, const void *b);
int useragentsCompareBytes(const void *a, const void *b);
int browserFamiliesCompareAccesses(const void *a, const void *b);
int browserFamiliesCompareBytes(const void *a, const void *b);
int systemFamiliesCompareAccesses(const void *a, const void *b);
int systemFamiliesCompareBytes(const void *a, const void *b);
int robotsCompareAccesses(const void *a, const void *b);
int robotsCompareBytes(const void *a, const void *b);

void documentOutput(FILE *page, const char *key);
void refererOutput(FILE *page, const char *key);
void siteOutput(FILE *page, const char *key);

// ---- Time, totals, unique and result-code sections ----
extern const char *codeMeanings[1000];
void codesSetup();
void totalsReport(FILE *page, int start);
void uniqueReport(FILE *page, int start);
// days: the length of the period, by which a week's or a month's hours are averaged.
void hoursReport(FILE *page, int days, int start);
void daysReport(FILE *page, int start, int days);
void resultcodesReport(FILE *page);

// ---- Trails and visits sections ----
void trailsReport(FILE *page, int start);
void visitsReport(FILE *page, int start);

// ---- History index ----
// Writes the index page and its sub-pages from the history, which the engine has sorted
// (databaseSort).
void historyReport();
void historyHeading(FILE *page);
// The sub-page is open while sub.file is not null.
void openSubList(OutFile &sub, FILE *index, int month, int year);
void closeSubList(OutFile &sub);

// ---- Chart feeding ----
// On modern pages each chart is an SVG file beside the GIF's name ("<name>.svg"), and the
// GIF is drawn too only with gifcharts; the classic pages get the GIFs alone. The slices
// of a modern pie are labelled with the keys, a key that hiddenTest hides with the
// htmlpiehidden text.
void hashChart(Hash &table, const char *suffix, int start, const int *order, int byBytes,
               ReportHiddenTest hiddenTest = nullptr);
void hourChart(int start, int days);
void dayChart(int start, int days);
int historyChart(int first);
// The owned name, relative to the page, of a period chart with the given suffix and file
// extension: "<start><suffix>.<ext>", for a summary "summary", "referer" or "agents" in
// place of the day number.
char *chartName(int start, const char *suffix, const char *ext);
// The width and height on the root element of the last SVG chart written (0 before any).
void chartSvgSize(int *width, int *height);

// ---- Section tables of the modern pages (modern.cpp) ----
// A table's columns are given as one letter each: 'n' a number, 's' a share of the whole,
// 'k' long text from the log (wraps), 't' other text; upper case marks the cell that
// names the row (<th scope="row">). The column names are the header cells of the heading
// resource in turn; the share column's is htmlsharecolumn.
void modernTableOpen(FILE *page, int heading, const char *columns);
void modernTableClose(FILE *page);
void modernCellOpen(FILE *page, char kind);
void modernCellClose(FILE *page, char kind);
// A number with thousands separators and the given decimals (0: rounded to whole).
void modernNumber(FILE *page, double value, int decimals);
void modernNumberCell(FILE *page, double value, int decimals);
void modernShareCell(FILE *page, double part, double whole);
// A label template ("Top %d of %d ...") or a template of one figure of the kind 'd' or
// 'f' ("Total visits: %.0f") with the thousands of every number grouped.
void modernCountLabel(FILE *page, int resource, int shown, int count);
void modernFigure(FILE *page, int resource, char kind, double value);
// The one line of a section with nothing to list: the text of resource as a paragraph.
void modernEmpty(FILE *page, int resource);
// The image of the SVG chart named name (relative to the page) that was written last, a
// pie or bars: its size scaled down to at most 400 pixels wide, its alt text made of
// htmlpiechartalt or htmlbarchartalt and the text of the section's label resource
// without its tags.
void modernChartImage(FILE *page, const char *name, int pie, int label);

// ---- The modern page style ----
// 1 when the pages are written in the modern style (pagestyle modern).
int reportModern();
// The stylesheet of the modern pages, written next to them; the name its links use.
extern const char *const REPORT_STYLESHEET;
void reportStylesheetWrite();
// In the modern style, gives the text resources that the configuration left at their
// built-in texts their modern forms: a doctype, header cells with scope="col", number
// cells of class "num", tables without border attributes. The page writers call it
// before they write; a section writer that writes its own cells follows the same forms.
void reportModernTexts();
// reportModernTexts and, once per report directory, the stylesheet.
void reportModernPrepare();
// The lines of a modern page's head after htmlopenhead: character set, viewport, stylesheet.
void reportModernHead(FILE *page);
// The navigation bar: its opening tag, and one link (kind names it: "index", "previous",
// "next", "list", "latest") with the text resource label.
void reportNavOpen(FILE *page);
void reportNavLink(FILE *page, const char *kind, const char *href, int label);
// 1 when the page of the period that starts at start exists in the report directory.
int reportPageExists(int start);
// Writes a whole number with thousands separators ("12,345").
void htmlNumber(FILE *page, double value);
// Writes part of whole as a share with one decimal and a percent sign ("12.5%");
// "0.0%" when whole is 0.
void htmlShare(FILE *page, double part, double whole);

// ---- Text from strangers ----
// Writes text escaped for HTML element content and attribute values (& < > " '). On
// modern pages a byte that is not part of valid UTF-8 becomes U+FFFD.
void htmlEscape(FILE *page, const char *text);
// Writes a URL for an href attribute: escaped, with control characters and blanks
// percent-encoded.
void htmlEscapeUrl(FILE *page, const char *url);

// ---- Page helpers shared by the page writers ----
// Owned path built with printf formatting.
char *reportPath(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The day's date in the configured template (dateformat), as owned text.
char *dateLabel(int day);
// Opens an owned page or chart file for atomic replacement; when it cannot be created,
// the run ends through outCannotWrite.
FILE *reportFileOpen(OutFile &out, const char *path);
// Completes the file opened by reportFileOpen; when it cannot be completed (disk full,
// write error) the run ends the same way, the reason only when a system call failed.
void reportFileClose(OutFile &out);
// 1 when a URL from the log may become a link: its scheme is http, https or ftp (in
// any case), or, when relativeAllowed is set, it has no scheme at all.
int urlLinkable(const char *url, int relativeAllowed);
// 1 when the link made of site (the topurl, possibly empty) followed by a document path
// from the log stays on the site: the path changes neither the scheme nor the host that
// site gives the link, and without a site it is a path that begins with a single "/".
int urlOnSite(const char *site, const char *path);
