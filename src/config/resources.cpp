// The text resources: every fixed piece of page text with its built-in default, and
// the reader of the configuration blocks that replace them. Replacements are owned
// heap strings; the built-in texts are never freed.
#include <cstring>

#include "config/global.h"
#include "core/mem.h"

// Name and built-in text of every resource, in resource-number order.
#define TEXT_RESOURCES(X) \
    X("htmlopenpage", "<html>") \
    X("htmlclosepage", "</html>") \
    X("htmlopenhead", "<head>") \
    X("htmlclosehead", "</head>") \
    X("htmlnodata", "No data to analyze!") \
    X("htmlopenbody", "<body bgcolor=#FFFFFF>") \
    X("htmlclosebody", "</body>") \
    X("htmlopensubheading", "<h2>") \
    X("htmlclosesubheading", "</h2>") \
    X("htmlskiptodailyreports", "Skip to daily reports") \
    X("htmlskiptoweeklyreports", "Skip to weekly reports") \
    X("htmlskiptomonthlyreports", "Skip to monthly reports") \
    X("htmlhistorygraphslabel", "<h3>Totals</h3>") \
    X("htmlhistorygraphsheadingwithbytes", "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Total Bytes</th>\n<th>Average Accesses</th>\n<th>Average Bytes</th>\n<th>Latest Accesses</th>\n<th>Latest Bytes</th>\n</tr>") \
    X("htmlhistorygraphsheading", "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Average Accesses</th>\n<th>Latest Accesses</th>\n</tr>") \
    X("htmlhistorygraphsbeforeimage", "</table>\n<p>") \
    X("htmlhistorygraphsafterimage", "<p>\n<table border=\"1\">") \
    X("htmlreportopenlist", "<table border=1>") \
    X("htmlreportopenrecord", "<tr>") \
    X("htmlreportopenfield", "<td>") \
    X("htmlreportclosefield", "</td>") \
    X("htmlreportopennumericfield", "<td align=\"right\">") \
    X("htmlreportclosenumericfield", "</td>") \
    X("htmlreportcloserecord", "</tr>") \
    X("htmlreportcloselist", "</table>") \
    X("htmlreportlistlabel", "Reports") \
    X("htmlreportsformonth", "Reports for the month of") \
    X("htmlreportsforyear", "Reports for the year ") \
    X("htmlnocompletereports", "History: No Complete Reports Available") \
    X("htmlhistoryfrom", "History from") \
    X("htmlbytes", "bytes") \
    X("htmlaccesses", "accesses") \
    X("htmlresult200", "OK") \
    X("htmlresult201", "Created") \
    X("htmlresult202", "Accepted") \
    X("htmlresult301", "Moved Permanently") \
    X("htmlresult302", "Moved Temporarily") \
    X("htmlresult304", "Not Modified") \
    X("htmlresult400", "Bad Request") \
    X("htmlresult401", "Unauthorized") \
    X("htmlresult403", "Forbidden") \
    X("htmlresult404", "Not Found") \
    X("htmlresult500", "Internal Server Error") \
    X("htmlresult501", "Not Implemented") \
    X("htmlresult502", "Bad Gateway") \
    X("htmlresult503", "Service Unavailable") \
    X("htmlhistoryreportlabel", "<h3>Totals</h3>") \
    X("htmlhistoryreportheading", "<tr><th>Item</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlhistoryreportheadingnobytes", "<tr><th>Item</th><th>Accesses</th></tr>") \
    X("htmluniquereportlabel", "<h3>Overall Statistics</h3>") \
    X("htmluniquepartialepochlabel", "<strong>Note: </strong>the time period this report refers to\nis not yet over.") \
    X("htmluniquereportheading", "<tr><th>Category</th><th>Total</th></tr>") \
    X("htmluniquesitesserved", "Unique sites served") \
    X("htmluniquedocumentsserved", "Unique documents served") \
    X("htmluniqueproxysites", "Unique proxy sites visited") \
    X("htmluniqueauthenticatedusersserved", "Unique authenticated users served") \
    X("htmluniquetrails", "Unique trails followed") \
    X("htmluniquevisits", "Total visits") \
    X("htmlhoursreportlabelbytes", "<h3>Bytes per Hour</h3>") \
    X("htmlhoursreportlabelaccesses", "<h3>Accesses per Hour</h3>") \
    X("htmlhoursreportaveraged", "<em>Figures are averages for that hour on a typical day.</em><br>") \
    X("htmlhoursreportsummed", "<em>Figures are totals for that hour on all days analyzed.</em><br>") \
    X("htmlhoursreportheadingaveraged", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n<th>Bytes</th>\n<th>Bits/Sec</th>\n<th>Bytes/Sec</th>\n</tr>") \
    X("htmlhoursreportheadingsummed", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n<th>Bytes</th>\n</tr>") \
    X("htmlhoursreportheadingaveragednobytes", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n</tr>") \
    X("htmlhoursreportheadingsummednobytes", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n</tr>") \
    X("htmldaysreportlabelbytes", "<h3>Bytes per Day</h3>") \
    X("htmldaysreportlabelaccesses", "<h3>Accesses per Day</h3>") \
    X("htmldaysreportheading", "<tr>\n<th>Date</th>\n<th>Accesses</th>\n<th>Bytes</th>\n<th>Bits/Sec</th>\n<th>Bytes/Sec</th>\n</tr>") \
    X("htmldaysreportheadingnobytes", "<tr>\n<th>Date</th>\n<th>Accesses</th>\n</tr>") \
    X("htmldocumentsreportlabelallbybytes", "<h3>Documents Sorted by Bytes Sent</h3>") \
    X("htmldocumentsreportlabelallbyaccesses", "<h3>Documents Sorted by Access Count</h3>") \
    X("htmldocumentsreportlabelbybytes", "<h3>Top %d of %d Documents Sorted by Bytes Sent</h3>") \
    X("htmldocumentsreportlabelbyaccesses", "<h3>Top %d of %d Documents Sorted by Access Count</h3>") \
    X("htmldocumentsreportheadingnobytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th></tr>") \
    X("htmldocumentsreportheadingwithbytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlreportchartalign", "left") \
    X("htmlresultcodesreportlabel", "<h3>Accesses by Result Code</h3>") \
    X("htmlresultcodesreportheading", "<tr><th>Code</th><th>Meaning</th><th>Accesses</th></tr>") \
    X("htmltrailsreportlabelall", "<h3>Document Trails</h3>") \
    X("htmltrailsreportlabel", "<h3>Top %d of %d Document Trails</h3>") \
    X("htmltrailsreportheading", "<tr><th>Rank</th><th>Trail</th><th>Accesses</th><th>Avg. Minutes</th></tr>") \
    X("htmlvisitsreportlabel", "<h3>Visits Report</h3>") \
    X("htmlvisitsreporttotal", "Total visits: %.0f<br>") \
    X("htmlvisitsreportaverage", "Average visit: %.2f minutes<br>") \
    X("htmlvisitsreportlongest", "Longest visit: %.0f minutes<br>") \
    X("htmlvisitsreportexampleslabelall", "<h4>All Unique Visits (One Occurrence of Each)</h4>") \
    X("htmlvisitsreportexampleslabel", "<h4>%d Example Visits</h4>") \
    X("htmlvisitsreportheading", "<tr><th>Site</th><th>Minutes</th><th>Trail</th></tr>") \
    X("htmlauthenticatedusersreportlabelallbybytes", "<h3>Authenticated Users by Bytes Transferred</h3>") \
    X("htmlauthenticatedusersreportlabelallbyaccesses", "<h3>Authenticated Users by Access Count</h3>") \
    X("htmlauthenticatedusersreportlabelbybytes", "<h3>Top %d of %d Authenticated Users by Bytes Transferred</h3>") \
    X("htmlauthenticatedusersreportlabelbyaccesses", "<h3>Top %d of %d Authenticated Users by Access Count</h3>") \
    X("htmlauthenticatedusersreportheadingnobytes", "<tr><th>Rank</th><th>User</th><th>Accesses</th></tr>") \
    X("htmlauthenticatedusersreportheadingwithbytes", "<tr><th>Rank</th><th>User</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlsitesreportlabelallbybytes", "<h3>Sites by Bytes Transferred</h3>") \
    X("htmlsitesreportlabelallbyaccesses", "<h3>Sites by Access Count</h3>") \
    X("htmlsitesreportlabelbybytes", "<h3>Top %d of %d Sites by Bytes Transferred</h3>") \
    X("htmlsitesreportlabelbyaccesses", "<h3>Top %d of %d Sites by Access Count</h3>") \
    X("htmlsitesreportheadingnobytes", "<tr><th>Rank</th><th>Site</th><th>Accesses</th></tr>") \
    X("htmlsitesreportheadingwithbytes", "<tr><th>Rank</th><th>Site</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmldomainsreportlabelallbybytes", "<h3>Domains by Bytes Transferred</h3>") \
    X("htmldomainsreportlabelallbyaccesses", "<h3>Domains by Access Count</h3>") \
    X("htmldomainsreportlabelbybytes", "<h3>Top %d of %d Domains by Bytes Transferred</h3>") \
    X("htmldomainsreportlabelbyaccesses", "<h3>Top %d of %d Domains by Access Count</h3>") \
    X("htmldomainsreportheadingnobytes", "<tr><th>Rank</th><th>Domain</th><th>Accesses</th></tr>") \
    X("htmldomainsreportheadingwithbytes", "<tr><th>Rank</th><th>Domain</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlproxysitesreportlabelallbybytes", "<h3>Proxy Sites by Bytes Transferred</h3>") \
    X("htmlproxysitesreportlabelallbyaccesses", "<h3>Proxy Sites by Access Count</h3>") \
    X("htmlproxysitesreportlabelbybytes", "<h3>Top %d of %d Proxy Sites by Bytes Transferred</h3>") \
    X("htmlproxysitesreportlabelbyaccesses", "<h3>Top %d of %d Proxy Sites by Access Count</h3>") \
    X("htmlproxysitesreportheadingnobytes", "<tr><th>Rank</th><th>Site</th><th>Accesses</th></tr>") \
    X("htmlproxysitesreportheadingwithbytes", "<tr><th>Rank</th><th>Site</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlproxydomainsreportlabelallbybytes", "<h3>Proxy Domains by Bytes Transferred</h3>") \
    X("htmlproxydomainsreportlabelallbyaccesses", "<h3>Proxy Domains by Access Count</h3>") \
    X("htmlproxydomainsreportlabelbybytes", "<h3>Top %d of %d Proxy Domains by Bytes Transferred</h3>") \
    X("htmlproxydomainsreportlabelbyaccesses", "<h3>Top %d of %d Proxy Domains by Access Count</h3>") \
    X("htmlproxydomainsreportheadingnobytes", "<tr><th>Rank</th><th>Domain</th><th>Accesses</th></tr>") \
    X("htmlproxydomainsreportheadingwithbytes", "<tr><th>Rank</th><th>Domain</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlnotfoundreportlabelall", "<h3>Documents Not Found</h3>") \
    X("htmlnotfoundreportlabel", "<h3>Top %d of %d Documents Not Found</h3>") \
    X("htmlnotfoundreportheading", "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Referring URLs</tr>") \
    X("htmluseragentsreportlabelallbybytes", "<h3>User agents by Bytes Transferred</h3>") \
    X("htmluseragentsreportlabelallbyaccesses", "<h3>User agents by Access Count</h3>") \
    X("htmluseragentsreportlabelbybytes", "<h3>Top %d of %d user agents by Bytes Transferred</h3>") \
    X("htmluseragentsreportlabelbyaccesses", "<h3>Top %d of %d user agents by Access Count</h3>") \
    X("htmluseragentsreportheadingnobytes", "<tr><th>Rank</th><th>User Agent</th><th>Accesses</th></tr>") \
    X("htmluseragentsreportheadingwithbytes", "<tr><th>Rank</th><th>User Agent</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlreferersreportlabelallbybytes", "<h3>Refererring URLs by Bytes Transferred</h3>") \
    X("htmlreferersreportlabelallbyaccesses", "<h3>Refererring URLs by Access Count</h3>") \
    X("htmlreferersreportlabelbybytes", "<h3>Top %d of %d Referring URLs by Bytes Transferred</h3>") \
    X("htmlreferersreportlabelbyaccesses", "<h3>Top %d of %d Referring URLs by Access Count</h3>") \
    X("htmlreferersreportheadingnobytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th></tr>") \
    X("htmlreferersreportheadingwithbytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Bytes</th></tr>") \
    X("htmlrefereronlyheading", "Summary of Referring URLs") \
    X("htmluseragentonlyheading", "Summary of User Agents (Browsers)") \
    X("htmlmonthofheading", "Month of %s to %s") \
    X("htmlweekofheading", "Week of %s to %s") \
    X("htmldayofheading", "Day of %s") \
    X("htmlsummaryfromto", "Summary from %s to %s") \

#define RESOURCE_TEXT(name, text) text,
#define RESOURCE_ENTRY(name, text) {name, const_cast<char *>(text)},

namespace {
const char *const builtinTexts[] = {TEXT_RESOURCES(RESOURCE_TEXT)};
}  // namespace

TextResource textResources[TEXT_RESOURCE_COUNT] = {TEXT_RESOURCES(RESOURCE_ENTRY)};

static_assert(sizeof builtinTexts / sizeof builtinTexts[0] == TEXT_RESOURCE_COUNT,
              "one built-in text per resource");

namespace {

// Which entries hold an owned replacement.
bool replaced[TEXT_RESOURCE_COUNT];

// The lines of the block being read; kept here so that an interrupted read can
// still be released by textResourcesReset.
StringArray blockLines;

// The printf templates: the kinds of the arguments the page writers pass, in order
// ('i' a whole number, 'f' a floating-point number, 's' a text), and how the
// conversions are shown in the message about a replacement that does not fit.
struct Template {
    int resource;
    const char *kinds;
    const char *shown;
};

const Template templates[] = {
    {HTMLDOCUMENTSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLDOCUMENTSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLTRAILSREPORTLABEL, "ii", "%d %d"},
    {HTMLVISITSREPORTTOTAL, "f", "%f"},
    {HTMLVISITSREPORTAVERAGE, "f", "%f"},
    {HTMLVISITSREPORTLONGEST, "f", "%f"},
    {HTMLVISITSREPORTEXAMPLESLABEL, "i", "%d"},
    {HTMLAUTHENTICATEDUSERSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLAUTHENTICATEDUSERSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLSITESREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLSITESREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLDOMAINSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLDOMAINSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLPROXYSITESREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLPROXYSITESREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLPROXYDOMAINSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLPROXYDOMAINSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLNOTFOUNDREPORTLABEL, "ii", "%d %d"},
    {HTMLUSERAGENTSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLUSERAGENTSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLREFERERSREPORTLABELBYBYTES, "ii", "%d %d"},
    {HTMLREFERERSREPORTLABELBYACCESSES, "ii", "%d %d"},
    {HTMLMONTHOFHEADING, "ss", "%s %s"},
    {HTMLWEEKOFHEADING, "ss", "%s %s"},
    {HTMLDAYOFHEADING, "s", "%s"},
    {HTMLSUMMARYFROMTO, "ss", "%s %s"},
};

// Longest width or precision accepted in a template conversion.
constexpr int MAX_FIELD_DIGITS = 3;

bool skipField(const char *&p) {
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (++digits > MAX_FIELD_DIGITS) return false;
        p++;
    }
    return true;
}

// True when text is safe to print with arguments of the given kinds: every
// conversion is "%%" or a plain conversion of the next kind (flags, a width and a
// precision of up to three digits allowed; no "*", "$", length modifier or "%n"),
// and there are no more conversions than arguments.
bool templateFits(const char *text, const char *kinds) {
    std::size_t used = 0;
    const std::size_t available = std::strlen(kinds);
    for (const char *p = text; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        const char *flags = p;
        while (*p && std::strchr("-+ #0'", *p)) p++;
        const std::size_t flagCount = static_cast<std::size_t>(p - flags);
        if (!skipField(p)) return false;
        if (*p == '.') {
            p++;
            if (!skipField(p)) return false;
        }
        if (*p == '\0') return false;
        char kind;
        const char *allowedFlags;
        if (*p == 'd' || *p == 'i') {
            kind = 'i';
            allowedFlags = "-+ 0'";
        } else if (std::strchr("fFeEgGaA", *p)) {
            kind = 'f';
            allowedFlags = "-+ #0'";
        } else if (*p == 's') {
            kind = 's';
            allowedFlags = "-";
        } else {
            return false;
        }
        for (std::size_t f = 0; f < flagCount; f++)
            if (!std::strchr(allowedFlags, flags[f])) return false;
        if (used >= available || kinds[used] != kind) return false;
        used++;
    }
    return true;
}

void releaseBlockLines() {
    if (blockLines.items) stringArrayShutdown(blockLines);
    blockLines = StringArray{};
}

}  // namespace

void parseResource(FILE *file, const char *name) {
    releaseBlockLines();
    readStringArray(file, blockLines, name);

    int number = -1;
    for (int i = 0; i < TEXT_RESOURCE_COUNT; i++) {
        if (std::strcmp(textResources[i].name, name) == 0) {
            number = i;
            break;
        }
    }
    if (number < 0)
        configError("%s is not a text resource name. Check the documentation for the correct "
                    "resource names.",
                    name);

    // The lines joined by single line feeds, in a string of exactly the needed size.
    std::size_t size = 1;
    for (int i = 0; i < blockLines.count; i++) size += std::strlen(blockLines.items[i]) + (i > 0 ? 1 : 0);
    char *text = static_cast<char *>(xmalloc(size));
    char *out = text;
    for (int i = 0; i < blockLines.count; i++) {
        if (i > 0) *out++ = '\n';
        std::size_t length = std::strlen(blockLines.items[i]);
        std::memcpy(out, blockLines.items[i], length);
        out += length;
    }
    *out = '\0';
    releaseBlockLines();

    for (const Template &t : templates) {
        if (t.resource == number && !templateFits(text, t.kinds)) {
            myfree(text);
            configError("Text resource %s may use only the conversions %s, in this order; write "
                        "%%%% for a percent sign.",
                        name, t.shown);
        }
    }

    if (replaced[number]) myfree(textResources[number].text);
    textResources[number].text = text;
    replaced[number] = true;
}

void textResourcesReset() {
    for (int i = 0; i < TEXT_RESOURCE_COUNT; i++) {
        if (replaced[i]) myfree(textResources[i].text);
        textResources[i].text = const_cast<char *>(builtinTexts[i]);
        replaced[i] = false;
    }
    releaseBlockLines();
}
