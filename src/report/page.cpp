// The page of one period: its file, head and title, the operator's header and footer,
// the note about missing byte counts, the heading, and the sections in the order of
// the report list. The sections themselves are written by their own writers.
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

void epochReport(int start, int days) {
    char *path = pagePath(start);
    OutFile out;
    FILE *page = reportFileOpen(out, path);

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
