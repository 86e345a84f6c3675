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

// Writes a heading resource used as a format. Only "%s" (filled with the given texts in
// turn, nothing once they run out) and "%%" are understood; any other "%" is written as
// it stands, so an operator's text can never reach past the arguments.
static void writeFormat(FILE *page, const char *format, const char *first, const char *second) {
    if (!format) return;
    const char *arguments[2] = {first, second};
    int used = 0;
    for (const char *c = format; *c; ++c) {
        if (c[0] == '%' && c[1] == 's') {
            if (used < 2 && arguments[used]) std::fputs(arguments[used], page);
            ++used;
            ++c;
        } else if (c[0] == '%' && c[1] == '%') {
            std::fputc('%', page);
            ++c;
        } else {
            std::fputc(*c, page);
        }
    }
}

// A date in the configured template, into an owned buffer large enough for it.
static char *dateText(int day) {
    std::size_t size = (dateFormat ? std::strlen(dateFormat) : 0) + 32;
    char *out = static_cast<char *>(mymalloc(size));
    if (!out) dieMemory();
    formatDate(out, day);
    return out;
}

void epochHeadingBody(FILE *page, int start, int kind) {
    int resource = HTMLSUMMARYFROMTO;
    int from = start, to = start;
    const char *after = "\n";
    switch (kind) {
    case FREQ_DAILY:
        resource = HTMLDAYOFHEADING;
        break;
    case FREQ_WEEKLY:
        resource = HTMLWEEKOFHEADING;
        to = start + 6;
        break;
    case FREQ_MONTHLY:
        resource = HTMLMONTHOFHEADING;
        to = start + monthLength(start) - 1;
        after = "";
        break;
    default:
        from = firstDay;
        to = lastDay;
        break;
    }
    char *fromText = dateText(from);
    char *toText = kind == FREQ_DAILY ? nullptr : dateText(to);
    writeFormat(page, textResource(resource), fromText, toText);
    std::fputs(after, page);
    myfree(fromText);
    myfree(toText);
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
        int days = frequency == FREQ_MONTHLY ? monthDays : frequency == FREQ_WEEKLY ? 7 : 1;
        databaseEpochAdd(start, days, totals);
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
