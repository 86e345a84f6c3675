// The page of one period: its file, head and title, the operator's header and footer,
// the note about missing byte counts, the heading, and the sections in the order of
// the report list. The sections themselves are written by their own writers.
#include <cstring>

#include "config/global.h"
#include "console/ui.h"
#include "core/dates.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "report/report.h"

static void writeResource(FILE *page, int number) {
    const char *text = textResource(number);
    if (text) std::fputs(text, page);
}

// A date in the configured template, into an owned buffer large enough for it.
static char *dateText(int day) {
    std::size_t size = (dateFormat ? std::strlen(dateFormat) : 0) + 32;
    char *out = static_cast<char *>(mymalloc(size));
    if (!out) dieMemory();
    formatDate(out, day);
    return out;
}

int periodDays(int start) {
    if (frequency == FREQ_MONTHLY) return monthLength(start);
    if (frequency == FREQ_WEEKLY) return epochAlign(start) + 7 - start;
    return 1;
}

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
    char *fromText = dateText(from);
    if (kind == FREQ_DAILY) {
        resourceFormat(page, textResource(resource), "s", fromText);
    } else {
        char *toText = dateText(to);
        resourceFormat(page, textResource(resource), "ss", fromText, toText);
        myfree(toText);
    }
    std::fputs(after, page);
    myfree(fromText);
}

void epochHeadingBody(FILE *page, int start, int kind) {
    int to = start;
    if (kind == FREQ_WEEKLY)
        // A week that starts after its first day (the weekstart changed) still ends
        // with its week.
        to = (frequency == FREQ_WEEKLY ? epochAlign(start) : start) + 6;
    else if (kind == FREQ_MONTHLY)
        to = start + monthLength(start) - 1;
    writeHeading(page, kind, start, to);
}

void epochHeadingRecord(FILE *page, const DatabaseEpoch &record) {
    if (record.kind != FREQ_WEEKLY) {
        epochHeadingBody(page, record.firstDay, record.kind);
        return;
    }
    // A stored week ends where it ended when it was reported, whatever the weekstart is now.
    int days = record.days >= 1 && record.days <= 7 ? record.days : 7;
    writeHeading(page, FREQ_WEEKLY, record.firstDay, record.firstDay + days - 1);
}

void epochHeading(FILE *page, int start) {
    if (refererOnlyFlag) {
        writeResource(page, HTMLREFERERONLYHEADING);
    } else if (useragentOnlyFlag) {
        writeResource(page, HTMLUSERAGENTONLYHEADING);
    } else {
        epochHeadingBody(page, start, frequency);
    }
}

static void writeLines(FILE *page, const StringArray &lines, int fallback) {
    if (lines.count == 0) {
        writeResource(page, fallback);
        return;
    }
    for (int i = 0; i < lines.count; ++i) {
        if (lines.items[i]) std::fputs(lines.items[i], page);
        std::fputc('\n', page);
    }
}

void outputUserHeader(FILE *page) { writeLines(page, header, HTMLOPENBODY); }

void outputUserFooter(FILE *page) { writeLines(page, footer, HTMLCLOSEBODY); }

static char *pagePath(int start) {
    const char *dir = reportDir ? reportDir : ".";
    const char *ext = extension ? extension : "html";
    if (frequency != FREQ_SUMMARY) return reportPath("%s/%d.%s", dir, start, ext);
    if (useragentOnlyFlag) return reportPath("%s/agents.%s", dir, ext);
    if (refererOnlyFlag) return reportPath("%s/referrers.%s", dir, ext);
    return reportPath("%s/summary.%s", dir, ext);
}

static void writeSections(FILE *page, int start, int monthDays) {
    if (useragentOnlyFlag) {
        useragentsReport(page, start);
        return;
    }
    if (refererOnlyFlag) {
        referersReport(page, start);
        return;
    }
    for (int i = 0; i < reportList.count; ++i) {
        const char *name = reportList.keys[i];
        if (!name) continue;
        if (std::strcmp(name, "totals") == 0) totalsReport(page, start);
        else if (std::strcmp(name, "unique") == 0) uniqueReport(page, start);
        else if (std::strcmp(name, "hours") == 0) hoursReport(page, monthDays, start);
        else if (std::strcmp(name, "days") == 0) daysReport(page, start);
        else if (std::strcmp(name, "resultcodes") == 0) resultcodesReport(page);
        else if (std::strcmp(name, "documents") == 0) documentsReport(page, start);
        else if (std::strcmp(name, "authusers") == 0) authusersReport(page, start);
        else if (std::strcmp(name, "sites") == 0) sitesReport(page, start);
        else if (std::strcmp(name, "domains") == 0) domainsReport(page, start);
        else if (std::strcmp(name, "proxysites") == 0) proxysitesReport(page, start);
        else if (std::strcmp(name, "proxydomains") == 0) proxydomainsReport(page, start);
        else if (std::strcmp(name, "useragents") == 0) useragentsReport(page, start);
        else if (std::strcmp(name, "referers") == 0) referersReport(page, start);
        else if (std::strcmp(name, "notfound") == 0) notfoundReport(page, start);
        else if (std::strcmp(name, "visits") == 0) visitsReport(page, start);
        else if (std::strcmp(name, "trails") == 0) trailsReport(page, start);
    }
}

void epochReport(int start) {
    int monthDays = start >= 0 ? monthLength(start) : 31;
    analyzeDomains();
    analyzeProxydomains();
    analyzeTotals();
    analyzeTrails();
    if (frequency != FREQ_SUMMARY) {
        databaseEpochAdd(start, periodDays(start), totals);
    }

    char *path = pagePath(start);
    OutFile out;
    FILE *page = reportFileOpen(out, path);

    writeResource(page, HTMLOPENPAGE);
    if (frequency == FREQ_SUMMARY && firstDay == -1) {
        writeResource(page, HTMLOPENHEAD);
        std::fputs("<title>", page);
        writeResource(page, HTMLNODATA);
        std::fputs("</title>\n", page);
        writeResource(page, HTMLCLOSEHEAD);
        writeResource(page, HTMLOPENBODY);
        std::fputs("<h1>", page);
        writeResource(page, HTMLNODATA);
        std::fputs("</h1>\n", page);
        writeResource(page, HTMLCLOSEBODY);
    } else {
        writeResource(page, HTMLOPENHEAD);
        std::fputs("<title>", page);
        epochHeading(page, start);
        std::fputs("</title>\n", page);
        writeResource(page, HTMLCLOSEHEAD);
        outputUserHeader(page);
        if (!useragentOnlyFlag && !refererOnlyFlag && !bytesAvailable && !nobytesFlag) {
            std::fputs("<em>Note: your server's log file does not contain bytes-transferred\n"
                       "information. Only access counts are available.</em>\n",
                       page);
        }
        writeResource(page, HTMLOPENSUBHEADING);
        epochHeading(page, start);
        writeResource(page, HTMLCLOSESUBHEADING);
        writeSections(page, start, monthDays);
        outputUserFooter(page);
    }
    writeResource(page, HTMLCLOSEPAGE);
    reportFileClose(out);
    myfree(path);
}
