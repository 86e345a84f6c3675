// Ranked-list sections of a period page (documents, users, sites, domains, proxies,
// user agents, referrers, documents not found): ordering, label, pie chart and rows.
// Every key came from a log line, so it is escaped wherever it is written.
#include <algorithm>

#include "config/global.h"
#include "core/commas.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

// ---- Comparators: descending by one number cell, ties left to the stable sort ----

static int compareCell(const Hash &table, const void *a, const void *b, int cell) {
    int first = *static_cast<const int *>(a);
    int second = *static_cast<const int *>(b);
    double x = table.doubles[first][cell];
    double y = table.doubles[second][cell];
    if (y > x) return 1;
    if (y < x) return -1;
    return 0;
}

int sitesCompareAccesses(const void *a, const void *b) {
    return compareCell(sites, a, b, 0);
}
int sitesCompareBytes(const void *a, const void *b) {
    return compareCell(sites, a, b, 1);
}
int proxysitesCompareAccesses(const void *a, const void *b) {
    return compareCell(proxysites, a, b, 0);
}
int proxysitesCompareBytes(const void *a, const void *b) {
    return compareCell(proxysites, a, b, 1);
}
int documentsCompareAccesses(const void *a, const void *b) {
    return compareCell(documents, a, b, 0);
}
int documentsCompareBytes(const void *a, const void *b) {
    return compareCell(documents, a, b, 1);
}
int notfoundCompareAccesses(const void *a, const void *b) {
    return compareCell(notfound, a, b, 0);
}
int authusersCompareAccesses(const void *a, const void *b) {
    return compareCell(authusers, a, b, 0);
}
int authusersCompareBytes(const void *a, const void *b) {
    return compareCell(authusers, a, b, 1);
}
int domainsCompareAccesses(const void *a, const void *b) {
    return compareCell(domains, a, b, 0);
}
int domainsCompareBytes(const void *a, const void *b) {
    return compareCell(domains, a, b, 1);
}
int proxydomainsCompareAccesses(const void *a, const void *b) {
    return compareCell(proxydomains, a, b, 0);
}
int proxydomainsCompareBytes(const void *a, const void *b) {
    return compareCell(proxydomains, a, b, 1);
}
int trailsCompareAccesses(const void *a, const void *b) {
    return compareCell(completeTrails, a, b, 0);
}
int referersCompareAccesses(const void *a, const void *b) {
    return compareCell(referers, a, b, 0);
}
int referersCompareBytes(const void *a, const void *b) {
    return compareCell(referers, a, b, 1);
}
int useragentsCompareAccesses(const void *a, const void *b) {
    return compareCell(useragents, a, b, 0);
}
int useragentsCompareBytes(const void *a, const void *b) {
    return compareCell(useragents, a, b, 1);
}
int browserFamiliesCompareAccesses(const void *a, const void *b) {
    return compareCell(browserFamilies, a, b, 0);
}
int browserFamiliesCompareBytes(const void *a, const void *b) {
    return compareCell(browserFamilies, a, b, 1);
}
int systemFamiliesCompareAccesses(const void *a, const void *b) {
    return compareCell(systemFamilies, a, b, 0);
}
int systemFamiliesCompareBytes(const void *a, const void *b) {
    return compareCell(systemFamilies, a, b, 1);
}
int robotsCompareAccesses(const void *a, const void *b) {
    return compareCell(robotNames, a, b, 0);
}
int robotsCompareBytes(const void *a, const void *b) {
    return compareCell(robotNames, a, b, 1);
}

// The table and number cell that a comparator of this file compares, or false.
static bool comparatorCell(ReportComparator comparator, const Hash **table, int *cell) {
    static const struct {
        ReportComparator comparator;
        const Hash *table;
        int cell;
    } known[] = {
        {sitesCompareAccesses, &sites, 0},
        {sitesCompareBytes, &sites, 1},
        {proxysitesCompareAccesses, &proxysites, 0},
        {proxysitesCompareBytes, &proxysites, 1},
        {documentsCompareAccesses, &documents, 0},
        {documentsCompareBytes, &documents, 1},
        {notfoundCompareAccesses, &notfound, 0},
        {authusersCompareAccesses, &authusers, 0},
        {authusersCompareBytes, &authusers, 1},
        {domainsCompareAccesses, &domains, 0},
        {domainsCompareBytes, &domains, 1},
        {proxydomainsCompareAccesses, &proxydomains, 0},
        {proxydomainsCompareBytes, &proxydomains, 1},
        {trailsCompareAccesses, &completeTrails, 0},
        {referersCompareAccesses, &referers, 0},
        {referersCompareBytes, &referers, 1},
        {useragentsCompareAccesses, &useragents, 0},
        {useragentsCompareBytes, &useragents, 1},
        {browserFamiliesCompareAccesses, &browserFamilies, 0},
        {browserFamiliesCompareBytes, &browserFamilies, 1},
        {systemFamiliesCompareAccesses, &systemFamilies, 0},
        {systemFamiliesCompareBytes, &systemFamilies, 1},
        {robotsCompareAccesses, &robotNames, 0},
        {robotsCompareBytes, &robotNames, 1},
    };
    for (const auto &k : known) {
        if (k.comparator == comparator) {
            *table = k.table;
            *cell = k.cell;
            return true;
        }
    }
    return false;
}

// Stable sort of row numbers with a comparator. For the comparators of this file the
// compared cell is copied next to each row number first, so that the sort compares
// plain numbers instead of calling through a pointer into scattered rows; the order is
// the same (descending, ties in row order).
void rankedSort(int *order, int n, ReportComparator comparator) {
    const Hash *table = nullptr;
    int cell = 0;
    if (n > 1 && comparatorCell(comparator, &table, &cell) && table->doubleColumns > cell) {
        struct Ranked {
            double value;
            int row;
        };
        Ranked *items = static_cast<Ranked *>(xcalloc(static_cast<std::size_t>(n), sizeof(Ranked)));
        for (int i = 0; i < n; i++) items[i] = Ranked{table->doubles[order[i]][cell], order[i]};
        std::stable_sort(items, items + n,
                         [](const Ranked &x, const Ranked &y) { return x.value > y.value; });
        for (int i = 0; i < n; i++) order[i] = items[i].row;
        myfree(items);
        return;
    }
    std::stable_sort(order, order + n,
                     [comparator](const int &x, const int &y) { return comparator(&x, &y) < 0; });
}

// ---- Key writers ----

void documentOutput(FILE *page, const char *key) {
    const char *prefix = topUrl ? topUrl : "";
    // A key that would lead the link to another host ("//host/...", "@host/...") or a
    // scheme of its own ("javascript:...") is written as text.
    bool link = !nolinksFlag && urlOnSite(prefix, key);
    if (link) {
        std::fprintf(page, "<a href=\"%s", prefix);
        htmlEscapeUrl(page, key);
        std::fputs("\">", page);
    }
    htmlEscape(page, key);
    if (link) std::fputs("</a>", page);
}

void refererOutput(FILE *page, const char *key) {
    bool link = !nolinksFlag && urlLinkable(key, 0);
    if (link) {
        std::fputs("<a href=\"", page);
        htmlEscapeUrl(page, key);
        std::fputs("\">", page);
    }
    htmlEscape(page, key);
    if (link) std::fputs("</a>", page);
}

void siteOutput(FILE *page, const char *key) {
    if (dnsFlag == DNS_FAST && reportResolveName) {
        const char *name = reportResolveName(key);
        if (name) {
            htmlEscape(page, name);
            return;
        }
    }
    htmlEscape(page, key);
}

// ---- The generic section ----

// The fields a log format may lack: an empty table of these on a page with accesses says
// that the log does not record them.
static bool fieldOfSomeFormats(const Hash *table) {
    return table == &referers || table == &useragents || table == &authusers ||
           table == &proxysites;
}

// A ranked section of the modern pages: the label, the pie as SVG, and a table with the
// share of each row in the column after the figure the section is ranked by (the bytes
// when it is ranked by bytes and shows them, else the accesses). The shares are of the
// whole table, hidden keys included, as the pie's slices are. A section without entries
// is its label (without counts) and one line.
static void modernRanked(FILE *page, int start, const GenericReportSpec &spec, const int *order,
                         int visible, bool byBytes) {
    Hash &table = *spec.table;
    int n = table.count;
    int allLabel = byBytes ? spec.labelAllBytes : spec.labelAllAccesses;
    if (n == 0) {
        resourceWrite(page, allLabel);
        bool anyAccess = documents.count > 0 || sites.count > 0;
        modernEmpty(page, anyAccess && fieldOfSomeFormats(spec.table) ? HTMLSECTIONNOTINLOG
                                                                      : HTMLSECTIONEMPTY);
        return;
    }
    int shown = visible;
    if (spec.rowLimit == COUNT_ALL)
        resourceWrite(page, allLabel);
    else {
        shown = std::min(std::max(spec.rowLimit, 0), visible);
        modernCountLabel(page, byBytes ? spec.labelTopBytes : spec.labelTopAccesses, shown, n);
    }

    const char *suffix = spec.chartSuffix ? spec.chartSuffix : "";
    if (spec.setting != FLAG_NOCHART) {
        hashChart(table, suffix, start, order, byBytes ? 1 : 0, spec.hiddenTest);
        char *name = chartName(start, suffix, "svg");
        modernChartImage(page, name, 1, allLabel);
        myfree(name);
    }

    bool withBytes = bytesAvailable == 1 && spec.headingWithBytes >= 0;
    int shareCell = byBytes && withBytes && table.doubleColumns > 1 ? 1 : 0;
    double whole = 0;
    for (int i = 0; i < n; i++) whole += table.doubles[i][shareCell];
    char columns[8];
    std::snprintf(columns, sizeof columns, "nKn%s%s%s%s", shareCell == 0 ? "s" : "",
                  withBytes ? "n" : "", shareCell == 1 ? "s" : "", spec.extraColumn ? "k" : "");
    modernTableOpen(page, withBytes ? spec.headingWithBytes : spec.headingNoBytes, columns);
    int rank = 0;
    for (int i = 0; i < n && rank < shown; i++) {
        int row = order[i];
        const char *key = table.keys[row];
        if (spec.hiddenTest && spec.hiddenTest(key)) continue;
        rank++;
        std::fputs("<tr>", page);
        modernNumberCell(page, rank, 0);
        modernCellOpen(page, 'K');
        if (spec.keyWriter)
            spec.keyWriter(page, key);
        else
            htmlEscape(page, key);
        modernCellClose(page, 'K');
        modernNumberCell(page, table.doubles[row][0], 0);
        if (shareCell == 0) modernShareCell(page, table.doubles[row][0], whole);
        if (withBytes) modernNumberCell(page, table.doubles[row][1], 0);
        if (shareCell == 1) modernShareCell(page, table.doubles[row][1], whole);
        if (spec.extraColumn) {
            modernCellOpen(page, 'k');
            if (table.stringColumns > 0 && table.strings[row][0])
                htmlEscape(page, table.strings[row][0]);
            modernCellClose(page, 'k');
        }
        std::fputs("</tr>\n", page);
    }
    modernTableClose(page);
}

void genericReport(FILE *page, int start, const GenericReportSpec &spec) {
    bool byBytes = bytesFlag == 1 && spec.byteComparator;
    if (spec.setting == 0 || !spec.table) return;
    Hash &table = *spec.table;
    ReportComparator comparator = byBytes ? spec.byteComparator : spec.accessComparator;

    int n = table.count;
    int *order = static_cast<int *>(xcalloc(static_cast<std::size_t>(n), sizeof(int)));
    for (int i = 0; i < n; i++) order[i] = i;
    if (comparator) rankedSort(order, n, comparator);

    int visible = 0;
    for (int i = 0; i < n; i++)
        if (!spec.hiddenTest || !spec.hiddenTest(table.keys[i])) visible++;
    if (reportModern()) {
        modernRanked(page, start, spec, order, visible, byBytes);
        myfree(order);
        return;
    }

    int shown;
    if (spec.rowLimit == COUNT_ALL) {
        shown = visible;
        resourceWrite(page, byBytes ? spec.labelAllBytes : spec.labelAllAccesses);
    } else {
        shown = std::min(std::max(spec.rowLimit, 0), visible);
        int label = byBytes ? spec.labelTopBytes : spec.labelTopAccesses;
        if (label >= 0 && label < TEXT_RESOURCE_COUNT)
            resourceFormat(page, textResource(label), "dd", shown, n);
    }

    if (spec.setting != FLAG_NOCHART) {
        const char *suffix = spec.chartSuffix ? spec.chartSuffix : "";
        hashChart(table, suffix, start, order, byBytes ? 1 : 0);
        std::fputs("<img src=\"", page);
        if (frequency != FREQ_SUMMARY)
            std::fprintf(page, "%d%s.gif", start, suffix);
        else if (useragentOnlyFlag)
            std::fprintf(page, "agents%s.gif", suffix);
        else if (refererOnlyFlag)
            std::fprintf(page, "referer%s.gif", suffix);
        else
            std::fprintf(page, "summary%s.gif", suffix);
        std::fprintf(page, "\" width=\"%d\" height=\"%d\"", 200, 200);
        if (shown > 15) {
            std::fputs("><br>\n", page);
        } else {
            std::fputs(" align=\"", page);
            resourceWrite(page, HTMLREPORTCHARTALIGN);
            std::fputs("\">\n", page);
        }
    }

    resourceWrite(page, HTMLREPORTOPENLIST);
    bool withBytes = bytesAvailable == 1 && spec.headingWithBytes >= 0;
    resourceWrite(page, withBytes ? spec.headingWithBytes : spec.headingNoBytes);

    int rank = 0;
    for (int i = 0; i < n && rank < shown; i++) {
        int row = order[i];
        const char *key = table.keys[row];
        if (spec.hiddenTest && spec.hiddenTest(key)) continue;
        rank++;
        resourceWrite(page, HTMLREPORTOPENRECORD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        std::fprintf(page, "%d", rank);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        resourceWrite(page, HTMLREPORTOPENFIELD);
        if (spec.keyWriter)
            spec.keyWriter(page, key);
        else
            htmlEscape(page, key);
        resourceWrite(page, HTMLREPORTCLOSEFIELD);
        resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
        Commas(page, table.doubles[row][0]);
        resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        if (withBytes) {
            resourceWrite(page, HTMLREPORTOPENNUMERICFIELD);
            Commas(page, table.doubles[row][1]);
            resourceWrite(page, HTMLREPORTCLOSENUMERICFIELD);
        }
        if (spec.extraColumn) {
            resourceWrite(page, HTMLREPORTOPENFIELD);
            if (table.stringColumns > 0 && table.strings[row][0])
                htmlEscape(page, table.strings[row][0]);
            resourceWrite(page, HTMLREPORTCLOSEFIELD);
        }
        resourceWrite(page, HTMLREPORTCLOSERECORD);
        std::fputs("\n", page);
    }

    resourceWrite(page, HTMLREPORTCLOSELIST);
    std::fputs("<br clear=\"", page);
    resourceWrite(page, HTMLREPORTCHARTALIGN);
    std::fputs("\">\n", page);
    myfree(order);
}

// ---- The nine sections ----

static GenericReportSpec makeSpec(ReportComparator byteComparator,
                                  ReportComparator accessComparator, ReportHiddenTest hiddenTest,
                                  ReportKeyWriter keyWriter, int firstResource, Hash &table,
                                  int rowLimit, int setting, const char *suffix) {
    // The six resources of a section stand in this order: label all by bytes, all by
    // accesses, top by bytes, top by accesses, heading without bytes, heading with bytes.
    GenericReportSpec spec{};
    spec.byteComparator = byteComparator;
    spec.accessComparator = accessComparator;
    spec.hiddenTest = hiddenTest;
    spec.keyWriter = keyWriter;
    spec.labelAllBytes = firstResource;
    spec.labelAllAccesses = firstResource + 1;
    spec.labelTopBytes = firstResource + 2;
    spec.labelTopAccesses = firstResource + 3;
    spec.headingNoBytes = firstResource + 4;
    spec.headingWithBytes = firstResource + 5;
    spec.table = &table;
    spec.rowLimit = rowLimit;
    spec.setting = setting;
    spec.chartSuffix = suffix;
    spec.extraColumn = 0;
    return spec;
}

void documentsReport(FILE *page, int start) {
    genericReport(
        page, start,
        makeSpec(documentsCompareBytes, documentsCompareAccesses, documentHidden, documentOutput,
                 HTMLDOCUMENTSREPORTLABELALLBYBYTES, documents, topDocuments, documentsFlag, "t"));
}

void authusersReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(authusersCompareBytes, authusersCompareAccesses, nullptr, nullptr,
                           HTMLAUTHENTICATEDUSERSREPORTLABELALLBYBYTES, authusers, topAuthusers,
                           authusersFlag, "a"));
}

void sitesReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(sitesCompareBytes, sitesCompareAccesses, nullptr, siteOutput,
                           HTMLSITESREPORTLABELALLBYBYTES, sites, topSites, sitesFlag, "s"));
}

void domainsReport(FILE *page, int start) {
    genericReport(
        page, start,
        makeSpec(domainsCompareBytes, domainsCompareAccesses, nullptr, nullptr,
                 HTMLDOMAINSREPORTLABELALLBYBYTES, domains, topDomains, domainsFlag, "g"));
}

void proxysitesReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(proxysitesCompareBytes, proxysitesCompareAccesses, nullptr, nullptr,
                           HTMLPROXYSITESREPORTLABELALLBYBYTES, proxysites, topProxysites,
                           proxysitesFlag, "p"));
}

void proxydomainsReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(proxydomainsCompareBytes, proxydomainsCompareAccesses, nullptr, nullptr,
                           HTMLPROXYDOMAINSREPORTLABELALLBYBYTES, proxydomains, topProxydomains,
                           proxydomainsFlag, "v"));
}

void useragentsReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(useragentsCompareBytes, useragentsCompareAccesses, nullptr, nullptr,
                           HTMLUSERAGENTSREPORTLABELALLBYBYTES, useragents, topUseragents,
                           useragentsFlag, "u"));
}

void referersReport(FILE *page, int start) {
    genericReport(
        page, start,
        makeSpec(referersCompareBytes, referersCompareAccesses, nullptr, refererOutput,
                 HTMLREFERERSREPORTLABELALLBYBYTES, referers, topReferers, referersFlag, "r"));
}

void browserFamiliesReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(browserFamiliesCompareBytes, browserFamiliesCompareAccesses, nullptr,
                           nullptr, HTMLBROWSERFAMILIESREPORTLABELALLBYBYTES, browserFamilies,
                           topBrowserfamilies, browserfamiliesFlag, "b"));
}

void systemFamiliesReport(FILE *page, int start) {
    genericReport(page, start,
                  makeSpec(systemFamiliesCompareBytes, systemFamiliesCompareAccesses, nullptr,
                           nullptr, HTMLSYSTEMFAMILIESREPORTLABELALLBYBYTES, systemFamilies,
                           topSystemfamilies, systemfamiliesFlag, "o"));
}

void robotsReport(FILE *page, int start) {
    genericReport(
        page, start,
        makeSpec(robotsCompareBytes, robotsCompareAccesses, nullptr, nullptr,
                 HTMLROBOTSREPORTLABELALLBYBYTES, robotNames, topRobots, robotlistFlag, "k"));
}

void notfoundReport(FILE *page, int start) {
    GenericReportSpec spec{};
    spec.byteComparator = nullptr;
    spec.accessComparator = notfoundCompareAccesses;
    spec.labelAllBytes = -1;
    spec.labelAllAccesses = HTMLNOTFOUNDREPORTLABELALL;
    spec.labelTopBytes = -1;
    spec.labelTopAccesses = HTMLNOTFOUNDREPORTLABEL;
    spec.headingWithBytes = -1;
    spec.headingNoBytes = HTMLNOTFOUNDREPORTHEADING;
    spec.table = &notfound;
    spec.rowLimit = topNotfound;
    spec.setting = notfoundFlag;
    spec.chartSuffix = "n";
    spec.extraColumn = 1;
    genericReport(page, start, spec);
}
