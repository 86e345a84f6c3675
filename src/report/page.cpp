// The page of one period: its file, head and title, the operator's header and footer,
// the note about missing byte counts, the heading, and the sections in the order of
// the report list. The sections themselves are written by their own writers.
#include <sys/stat.h>

#include <cstring>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "core/mem.h"
#include "report/report.h"
#include "report/reportdata.h"

// The heading of a period of the given kind from one day to another (the summary's from
// firstDay to lastDay).
static void writeHeading(FILE *page, int kind, int from, int to) {
    int resource = HTMLSUMMARYFROMTO;
    const char *after = "\n";
    switch (kind) {
        case FREQ_DAILY:
            resource = HTMLDAYOFHEADING;
            break;
        case FREQ_WEEKLY:
            resource = HTMLWEEKOFHEADING;
            break;
        case FREQ_MONTHLY:
            resource = HTMLMONTHOFHEADING;
            after = "";
            break;
        default:
            from = firstDay;
            to = lastDay;
            break;
    }
    char *fromText = dateLabel(from);
    if (kind == FREQ_DAILY) {
        resourceFormat(page, textResource(resource), "s", fromText);
    } else {
        char *toText = dateLabel(to);
        resourceFormat(page, textResource(resource), "ss", fromText, toText);
        myfree(toText);
    }
    std::fputs(after, page);
    myfree(fromText);
}

void epochHeadingBody(FILE *page, int start, int kind, int days) {
    int to = start;
    if (kind == FREQ_WEEKLY)
        to = start + days - 1;
    else if (kind == FREQ_MONTHLY)
        to = start + monthLength(start) - 1;
    writeHeading(page, kind, start, to);
}

void epochHeadingRecord(FILE *page, const DatabaseEpoch &record) {
    // A stored week ends where it ended when it was reported, whatever the weekstart is now.
    int days = record.days >= 1 && record.days <= 7 ? record.days : 7;
    epochHeadingBody(page, record.firstDay, record.kind, days);
}

void epochHeading(FILE *page, int start, int days) {
    if (refererOnlyFlag) {
        resourceWrite(page, HTMLREFERERONLYHEADING);
    } else if (useragentOnlyFlag) {
        resourceWrite(page, HTMLUSERAGENTONLYHEADING);
    } else {
        epochHeadingBody(page, start, frequency, days);
    }
}

static void writeLines(FILE *page, const StringArray &lines, int fallback) {
    if (lines.count == 0) {
        resourceWrite(page, fallback);
        return;
    }
    for (int i = 0; i < lines.count; ++i) {
        if (lines.items[i]) std::fputs(lines.items[i], page);
        std::fputc('\n', page);
    }
}

void outputUserHeader(FILE *page) {
    writeLines(page, header, HTMLOPENBODY);
}

void outputUserFooter(FILE *page) {
    writeLines(page, footer, HTMLCLOSEBODY);
}

static char *pagePath(int start) {
    const char *dir = reportDir ? reportDir : ".";
    const char *ext = extension ? extension : "html";
    if (frequency != FREQ_SUMMARY) return reportPath("%s/%d.%s", dir, start, ext);
    if (useragentOnlyFlag) return reportPath("%s/agents.%s", dir, ext);
    if (refererOnlyFlag) return reportPath("%s/referrers.%s", dir, ext);
    return reportPath("%s/summary.%s", dir, ext);
}

// The writer of each section, in the order of reportSections; the page writes the
// sections of reportList through it. The domain groups have no section of their own.
typedef void (*SectionWriter)(FILE *page, int start, int days);
struct SectionWriterEntry {
    ReportSectionId section;
    SectionWriter write;
};
static constexpr SectionWriterEntry sectionWriters[] = {
    {SECTION_UNIQUE, [](FILE *f, int s, int) { uniqueReport(f, s); }},
    {SECTION_TOTALS, [](FILE *f, int s, int) { totalsReport(f, s); }},
    {SECTION_HOURS, [](FILE *f, int s, int days) { hoursReport(f, days, s); }},
    {SECTION_DAYS, [](FILE *f, int s, int days) { daysReport(f, s, days); }},
    {SECTION_DOCUMENTS, [](FILE *f, int s, int) { documentsReport(f, s); }},
    {SECTION_AUTHUSERS, [](FILE *f, int s, int) { authusersReport(f, s); }},
    {SECTION_SITES, [](FILE *f, int s, int) { sitesReport(f, s); }},
    {SECTION_DOMAINS, [](FILE *f, int s, int) { domainsReport(f, s); }},
    {SECTION_PROXYSITES, [](FILE *f, int s, int) { proxysitesReport(f, s); }},
    {SECTION_PROXYDOMAINS, [](FILE *f, int s, int) { proxydomainsReport(f, s); }},
    {SECTION_TRAILS, [](FILE *f, int s, int) { trailsReport(f, s); }},
    {SECTION_VISITS, [](FILE *f, int s, int) { visitsReport(f, s); }},
    {SECTION_REFERERS, [](FILE *f, int s, int) { referersReport(f, s); }},
    {SECTION_USERAGENTS, [](FILE *f, int s, int) { useragentsReport(f, s); }},
    {SECTION_NOTFOUND, [](FILE *f, int s, int) { notfoundReport(f, s); }},
    {SECTION_RESULTCODES, [](FILE *f, int, int) { resultcodesReport(f); }},
    {SECTION_DOMAINGROUPS, nullptr},
    {SECTION_BROWSERFAMILIES, [](FILE *f, int s, int) { browserFamiliesReport(f, s); }},
    {SECTION_SYSTEMFAMILIES, [](FILE *f, int s, int) { systemFamiliesReport(f, s); }},
    {SECTION_ROBOTS, [](FILE *f, int s, int) { robotsReport(f, s); }},
};

static constexpr bool writersInSectionOrder() {
    for (int s = 0; s < SECTION_COUNT; s++)
        if (sectionWriters[s].section != s) return false;
    return true;
}
static_assert(sizeof sectionWriters / sizeof sectionWriters[0] == SECTION_COUNT &&
                  writersInSectionOrder(),
              "one writer per report section, in the order of reportSections");

static void writeSections(FILE *page, int start, int days) {
    if (useragentOnlyFlag) {
        useragentsReport(page, start);
        return;
    }
    if (refererOnlyFlag) {
        referersReport(page, start);
        return;
    }
    for (int i = 0; i < reportList.count; ++i) {
        int section = reportSectionFind(reportList.keys[i]);
        if (section >= 0 && sectionWriters[section].write)
            sectionWriters[section].write(page, start, days);
    }
}

// ---- The modern style: head, navigation bar and headline block ----

void reportModernHead(FILE *page) {
    std::fputs(
        "\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n",
        page);
    std::fprintf(page, "<link rel=\"stylesheet\" href=\"%s\">\n", REPORT_STYLESHEET);
}

int reportPageExists(int start) {
    char *path =
        reportPath("%s/%d.%s", reportDir ? reportDir : ".", start, extension ? extension : "html");
    struct stat status;
    bool exists = stat(path, &status) == 0;
    myfree(path);
    return exists;
}

// The start of the nearest stored period before (direction -1) or after (+1) start whose
// page exists, or -1. Periods whose pages are gone are passed over.
static int neighbourPeriod(int start, int direction) {
    for (int limit = start;;) {
        int best = -1;
        for (int r = 0; r < databaseEpochsTotal; r++) {
            int day = database[r].firstDay;
            if (direction < 0 ? day >= limit : day <= limit) continue;
            if (best < 0 || (direction < 0 ? day > best : day < best)) best = day;
        }
        if (best < 0 || reportPageExists(best)) return best;
        limit = best;
    }
}

void reportNavOpen(FILE *page) {
    std::fputs("<nav class=\"pages\" aria-label=\"", page);
    htmlEscape(page, textResource(HTMLNAVLABEL));
    std::fputs("\">\n", page);
}

void reportNavLink(FILE *page, const char *kind, const char *href, int label) {
    std::fprintf(page, "<a class=\"%s\"", kind);
    if (!std::strcmp(kind, "previous")) std::fputs(" rel=\"prev\"", page);
    if (!std::strcmp(kind, "next")) std::fputs(" rel=\"next\"", page);
    std::fputs(" href=\"", page);
    htmlEscapeUrl(page, href);
    std::fputs("\">", page);
    resourceWrite(page, label);
    std::fputs("</a>\n", page);
}

// The place of a link to the next period while that page does not exist: the page of the
// next period turns it into a link when it is written.
static const char NEXT_PLACE[] = "<span class=\"next\">";

// Navigation of a period page: the index, the previous and the next period, and the list of
// the period's month (daily pages) or year (weekly pages).
static void periodNav(FILE *page, int start) {
    const char *ext = extension ? extension : "html";
    reportNavOpen(page);
    reportNavLink(page, "index", indexName ? indexName : "index.html", HTMLNAVINDEX);
    int previous = neighbourPeriod(start, -1);
    char *href;
    if (previous >= 0) {
        href = reportPath("%d.%s", previous, ext);
        reportNavLink(page, "previous", href, HTMLNAVPREVIOUS);
        myfree(href);
    } else {
        std::fputs("<span class=\"previous\">", page);
        resourceWrite(page, HTMLNAVPREVIOUS);
        std::fputs("</span>\n", page);
    }
    int next = neighbourPeriod(start, 1);
    if (next >= 0) {
        href = reportPath("%d.%s", next, ext);
        reportNavLink(page, "next", href, HTMLNAVNEXT);
        myfree(href);
    } else {
        std::fputs(NEXT_PLACE, page);
        resourceWrite(page, HTMLNAVNEXT);
        std::fputs("</span>\n", page);
    }
    if (frequency == FREQ_DAILY || frequency == FREQ_WEEKLY) {
        int month, day, year;
        dayToDate(start, &month, &day, &year);
        int first = dateToDay(frequency == FREQ_DAILY ? month : 1, 1, year);
        href = reportPath("%dh.%s", first, ext);
        reportNavLink(page, "list", href, frequency == FREQ_DAILY ? HTMLNAVMONTH : HTMLNAVYEAR);
        myfree(href);
    }
    std::fputs("</nav>\n", page);
}

// Turns the place of the next link on the previous period's page into a link to this
// period's page. A page without that place (a classic page, or one that links already)
// stays as it is.
static void linkFromPrevious(int start) {
    int previous = neighbourPeriod(start, -1);
    if (previous < 0) return;
    char *path = pagePath(previous);
    FILE *in = std::fopen(path, "rb");
    if (!in) {
        myfree(path);
        return;
    }
    std::string text;
    char buffer[8192];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
    std::size_t nav = text.find("<nav class=\"pages\"");
    std::size_t navEnd = nav == std::string::npos ? nav : text.find("</nav>", nav);
    std::size_t place = nav == std::string::npos ? nav : text.find(NEXT_PLACE, nav);
    std::size_t close = place == std::string::npos ? place : text.find("</span>", place);
    if (close == std::string::npos || navEnd == std::string::npos || close > navEnd) {
        myfree(path);
        return;
    }
    std::size_t inner = place + sizeof NEXT_PLACE - 1;
    OutFile out;
    FILE *file = reportFileOpen(out, path);
    std::fwrite(text.data(), 1, place, file);
    std::fprintf(file, "<a class=\"next\" rel=\"next\" href=\"%d.%s\">", start,
                 extension ? extension : "html");
    std::fwrite(text.data() + inner, 1, close - inner, file);
    std::fputs("</a>", file);
    std::size_t after = close + sizeof "</span>" - 1;
    std::fwrite(text.data() + after, 1, text.size() - after, file);
    reportFileClose(out);
    myfree(path);
}

// The totals pattern that matches every document ("*"): its history figures are the
// accesses and bytes of whole periods. -1 when the totals have none.
static int everythingPattern() {
    for (int p = 0; p < totals.count; p++)
        if (totals.keys[p] && !std::strcmp(totals.keys[p], "*")) return p;
    return -1;
}

// The history records of the period that starts at start and of the one before it, or null.
static void historyPair(int start, const DatabaseEpoch **now, const DatabaseEpoch **before) {
    *now = *before = nullptr;
    for (int r = 0; r < databaseEpochsTotal; r++) {
        const DatabaseEpoch &record = database[r];
        if (record.firstDay == start) *now = &record;
        if (record.firstDay < start && (!*before || record.firstDay > (*before)->firstDay))
            *before = &record;
    }
}

// The robot accesses of the period when robots are kept apart (robots apart); false when
// robots are counted with the people or not at all.
static bool robotsFigure(double *value) {
    if (robotsMode != ROBOTS_APART) return false;
    *value = robotAccesses;
    return true;
}

static void headlineFigure(FILE *page, int label, double value, const double *now,
                           const double *before) {
    std::fputs("<li><span class=\"label\">", page);
    resourceWrite(page, label);
    std::fputs("</span><span class=\"value\">", page);
    htmlNumber(page, value);
    std::fputs("</span>", page);
    if (now && before) {
        double change = *now - *before;
        std::fputs("<span class=\"change\">", page);
        if (change > 0) std::fputc('+', page);
        htmlNumber(page, change);
        if (*before > 0) {
            std::fputs(" (", page);
            if (change > 0) std::fputc('+', page);
            htmlShare(page, change, *before);
            std::fputs(")", page);
        }
        std::fputc(' ', page);
        resourceWrite(page, HTMLHEADLINECHANGE);
        std::fputs("</span>", page);
    }
    std::fputs("</li>\n", page);
}

// The figures of the period at a glance, each with its change from the previous period
// when the history keeps that figure for both.
static void headline(FILE *page, int start) {
    double accesses = 0, bytes = 0, failed = 0;
    for (int row = 0; row < documents.count; row++) {
        accesses += documents.doubles[row][0];
        bytes += documents.doubles[row][1];
    }
    for (int code = 400; code < CODES_SIZE; code++) failed += codes[code];
    const DatabaseEpoch *now = nullptr, *before = nullptr;
    int all = everythingPattern();
    if (frequency != FREQ_SUMMARY && all >= 0) historyPair(start, &now, &before);
    if (!now || !before) now = before = nullptr;

    std::fputs("<ul class=\"headline\">\n", page);
    headlineFigure(page, HTMLHEADLINEACCESSES, accesses, now ? &now->accesses[all] : nullptr,
                   before ? &before->accesses[all] : nullptr);
    if (bytesAvailable && !nobytesFlag)
        headlineFigure(page, HTMLHEADLINEBYTES, bytes, now ? &now->bytes[all] : nullptr,
                       before ? &before->bytes[all] : nullptr);
    if (sitesFlag || domainsFlag)
        headlineFigure(page, HTMLHEADLINESITES, sites.count, nullptr, nullptr);
    if (visitsFlag) headlineFigure(page, HTMLHEADLINEVISITS, totalVisits, nullptr, nullptr);
    headlineFigure(page, HTMLHEADLINEFAILED, failed, nullptr, nullptr);
    double robots;
    if (robotsFigure(&robots)) headlineFigure(page, HTMLHEADLINEROBOTS, robots, nullptr, nullptr);
    std::fputs("</ul>\n", page);
}

static void modernReport(FILE *page, int start, int days) {
    reportModernPrepare();
    resourceWrite(page, HTMLOPENPAGE);
    resourceWrite(page, HTMLOPENHEAD);
    reportModernHead(page);
    std::fputs("<title>", page);
    if (frequency == FREQ_SUMMARY && firstDay == -1)
        resourceWrite(page, HTMLNODATA);
    else
        epochHeading(page, start, days);
    std::fputs("</title>\n", page);
    resourceWrite(page, HTMLCLOSEHEAD);
    outputUserHeader(page);
    if (frequency != FREQ_SUMMARY) periodNav(page, start);
    std::fputs("<main>\n<h1>", page);
    if (frequency == FREQ_SUMMARY && firstDay == -1) {
        resourceWrite(page, HTMLNODATA);
        std::fputs("</h1>\n</main>\n", page);
        outputUserFooter(page);
        resourceWrite(page, HTMLCLOSEPAGE);
        return;
    }
    epochHeading(page, start, days);
    std::fputs("</h1>\n", page);
    if (!useragentOnlyFlag && !refererOnlyFlag && !bytesAvailable && !nobytesFlag) {
        std::fputs(
            "<p><em>Note: your server's log file does not contain bytes-transferred\n"
            "information. Only access counts are available.</em></p>\n",
            page);
    }
    if (!useragentOnlyFlag && !refererOnlyFlag) headline(page, start);
    writeSections(page, start, days);
    std::fputs("</main>\n", page);
    outputUserFooter(page);
    resourceWrite(page, HTMLCLOSEPAGE);
}

void epochReport(int start, int days) {
    char *path = pagePath(start);
    OutFile out;
    FILE *page = reportFileOpen(out, path);
    if (reportModern()) {
        modernReport(page, start, days);
        reportFileClose(out);
        myfree(path);
        if (frequency != FREQ_SUMMARY) linkFromPrevious(start);
        return;
    }

    resourceWrite(page, HTMLOPENPAGE);
    if (frequency == FREQ_SUMMARY && firstDay == -1) {
        resourceWrite(page, HTMLOPENHEAD);
        std::fputs("<title>", page);
        resourceWrite(page, HTMLNODATA);
        std::fputs("</title>\n", page);
        resourceWrite(page, HTMLCLOSEHEAD);
        resourceWrite(page, HTMLOPENBODY);
        std::fputs("<h1>", page);
        resourceWrite(page, HTMLNODATA);
        std::fputs("</h1>\n", page);
        resourceWrite(page, HTMLCLOSEBODY);
    } else {
        resourceWrite(page, HTMLOPENHEAD);
        std::fputs("<title>", page);
        epochHeading(page, start, days);
        std::fputs("</title>\n", page);
        resourceWrite(page, HTMLCLOSEHEAD);
        outputUserHeader(page);
        if (!useragentOnlyFlag && !refererOnlyFlag && !bytesAvailable && !nobytesFlag) {
            std::fputs(
                "<em>Note: your server's log file does not contain bytes-transferred\n"
                "information. Only access counts are available.</em>\n",
                page);
        }
        resourceWrite(page, HTMLOPENSUBHEADING);
        epochHeading(page, start, days);
        resourceWrite(page, HTMLCLOSESUBHEADING);
        writeSections(page, start, days);
        outputUserFooter(page);
    }
    resourceWrite(page, HTMLCLOSEPAGE);
    reportFileClose(out);
    myfree(path);
}
