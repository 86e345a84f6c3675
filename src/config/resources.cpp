// The text resources: every fixed piece of page text with its built-in default, the
// reader of the configuration blocks that replace them, and the writer of the texts that
// are printf templates. Replacements are owned heap strings; the built-in texts are never
// freed.
#include <cstdarg>
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "core/mem.h"

// Name and built-in text of every resource, in resource-number order.
#define TEXT_RESOURCES(X)                                                                          \
    X("htmlopenpage", "<html>")                                                                    \
    X("htmlclosepage", "</html>")                                                                  \
    X("htmlopenhead", "<head>")                                                                    \
    X("htmlclosehead", "</head>")                                                                  \
    X("htmlnodata", "No data to analyze!")                                                         \
    X("htmlopenbody", "<body bgcolor=#FFFFFF>")                                                    \
    X("htmlclosebody", "</body>")                                                                  \
    X("htmlopensubheading", "<h2>")                                                                \
    X("htmlclosesubheading", "</h2>")                                                              \
    X("htmlskiptodailyreports", "Skip to daily reports")                                           \
    X("htmlskiptoweeklyreports", "Skip to weekly reports")                                         \
    X("htmlskiptomonthlyreports", "Skip to monthly reports")                                       \
    X("htmlhistorygraphslabel", "<h3>Totals</h3>")                                                 \
    X("htmlhistorygraphsheadingwithbytes",                                                         \
      "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Total Bytes</th>\n<th>Average "           \
      "Accesses</th>\n<th>Average Bytes</th>\n<th>Latest Accesses</th>\n<th>Latest "               \
      "Bytes</th>\n</tr>")                                                                         \
    X("htmlhistorygraphsheading",                                                                  \
      "<tr>\n<th>Item</th>\n<th>Total Accesses</th>\n<th>Average Accesses</th>\n<th>Latest "       \
      "Accesses</th>\n</tr>")                                                                      \
    X("htmlhistorygraphsbeforeimage", "</table>\n<p>")                                             \
    X("htmlhistorygraphsafterimage", "<p>\n<table border=\"1\">")                                  \
    X("htmlreportopenlist", "<table border=1>")                                                    \
    X("htmlreportopenrecord", "<tr>")                                                              \
    X("htmlreportopenfield", "<td>")                                                               \
    X("htmlreportclosefield", "</td>")                                                             \
    X("htmlreportopennumericfield", "<td align=\"right\">")                                        \
    X("htmlreportclosenumericfield", "</td>")                                                      \
    X("htmlreportcloserecord", "</tr>")                                                            \
    X("htmlreportcloselist", "</table>")                                                           \
    X("htmlreportlistlabel", "Reports")                                                            \
    X("htmlreportsformonth", "Reports for the month of")                                           \
    X("htmlreportsforyear", "Reports for the year ")                                               \
    X("htmlnocompletereports", "History: No Complete Reports Available")                           \
    X("htmlhistoryfrom", "History from")                                                           \
    X("htmlbytes", "bytes")                                                                        \
    X("htmlaccesses", "accesses")                                                                  \
    X("htmlresult200", "OK")                                                                       \
    X("htmlresult201", "Created")                                                                  \
    X("htmlresult202", "Accepted")                                                                 \
    X("htmlresult301", "Moved Permanently")                                                        \
    X("htmlresult302", "Moved Temporarily")                                                        \
    X("htmlresult304", "Not Modified")                                                             \
    X("htmlresult400", "Bad Request")                                                              \
    X("htmlresult401", "Unauthorized")                                                             \
    X("htmlresult403", "Forbidden")                                                                \
    X("htmlresult404", "Not Found")                                                                \
    X("htmlresult500", "Internal Server Error")                                                    \
    X("htmlresult501", "Not Implemented")                                                          \
    X("htmlresult502", "Bad Gateway")                                                              \
    X("htmlresult503", "Service Unavailable")                                                      \
    X("htmlhistoryreportlabel", "<h3>Totals</h3>")                                                 \
    X("htmlhistoryreportheading", "<tr><th>Item</th><th>Accesses</th><th>Bytes</th></tr>")         \
    X("htmlhistoryreportheadingnobytes", "<tr><th>Item</th><th>Accesses</th></tr>")                \
    X("htmluniquereportlabel", "<h3>Overall Statistics</h3>")                                      \
    X("htmluniquepartialepochlabel",                                                               \
      "<strong>Note: </strong>the time period this report refers to\nis not yet over.")            \
    X("htmluniquereportheading", "<tr><th>Category</th><th>Total</th></tr>")                       \
    X("htmluniquesitesserved", "Unique sites served")                                              \
    X("htmluniquedocumentsserved", "Unique documents served")                                      \
    X("htmluniqueproxysites", "Unique proxy sites visited")                                        \
    X("htmluniqueauthenticatedusersserved", "Unique authenticated users served")                   \
    X("htmluniquetrails", "Unique trails followed")                                                \
    X("htmluniquevisits", "Total visits")                                                          \
    X("htmlhoursreportlabelbytes", "<h3>Bytes per Hour</h3>")                                      \
    X("htmlhoursreportlabelaccesses", "<h3>Accesses per Hour</h3>")                                \
    X("htmlhoursreportaveraged",                                                                   \
      "<em>Figures are averages for that hour on a typical day.</em><br>")                         \
    X("htmlhoursreportsummed",                                                                     \
      "<em>Figures are totals for that hour on all days analyzed.</em><br>")                       \
    X("htmlhoursreportheadingaveraged",                                                            \
      "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n<th>Bytes</th>\n<th>Bits/Sec</th>\n<th>Bytes/Sec</" \
      "th>\n</tr>")                                                                                \
    X("htmlhoursreportheadingsummed",                                                              \
      "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n<th>Bytes</th>\n</tr>")                             \
    X("htmlhoursreportheadingaveragednobytes", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n</tr>")    \
    X("htmlhoursreportheadingsummednobytes", "<tr>\n<th>Hour</th>\n<th>Accesses</th>\n</tr>")      \
    X("htmldaysreportlabelbytes", "<h3>Bytes per Day</h3>")                                        \
    X("htmldaysreportlabelaccesses", "<h3>Accesses per Day</h3>")                                  \
    X("htmldaysreportheading",                                                                     \
      "<tr>\n<th>Date</th>\n<th>Accesses</th>\n<th>Bytes</th>\n<th>Bits/Sec</th>\n<th>Bytes/Sec</" \
      "th>\n</tr>")                                                                                \
    X("htmldaysreportheadingnobytes", "<tr>\n<th>Date</th>\n<th>Accesses</th>\n</tr>")             \
    X("htmldocumentsreportlabelallbybytes", "<h3>Documents Sorted by Bytes Sent</h3>")             \
    X("htmldocumentsreportlabelallbyaccesses", "<h3>Documents Sorted by Access Count</h3>")        \
    X("htmldocumentsreportlabelbybytes", "<h3>Top %d of %d Documents Sorted by Bytes Sent</h3>")   \
    X("htmldocumentsreportlabelbyaccesses",                                                        \
      "<h3>Top %d of %d Documents Sorted by Access Count</h3>")                                    \
    X("htmldocumentsreportheadingnobytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th></tr>")  \
    X("htmldocumentsreportheadingwithbytes",                                                       \
      "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Bytes</th></tr>")                         \
    X("htmlreportchartalign", "left")                                                              \
    X("htmlresultcodesreportlabel", "<h3>Accesses by Result Code</h3>")                            \
    X("htmlresultcodesreportheading", "<tr><th>Code</th><th>Meaning</th><th>Accesses</th></tr>")   \
    X("htmltrailsreportlabelall", "<h3>Document Trails</h3>")                                      \
    X("htmltrailsreportlabel", "<h3>Top %d of %d Document Trails</h3>")                            \
    X("htmltrailsreportheading",                                                                   \
      "<tr><th>Rank</th><th>Trail</th><th>Accesses</th><th>Avg. Minutes</th></tr>")                \
    X("htmlvisitsreportlabel", "<h3>Visits Report</h3>")                                           \
    X("htmlvisitsreporttotal", "Total visits: %.0f<br>")                                           \
    X("htmlvisitsreportaverage", "Average visit: %.2f minutes<br>")                                \
    X("htmlvisitsreportlongest", "Longest visit: %.0f minutes<br>")                                \
    X("htmlvisitsreportexampleslabelall", "<h4>All Unique Visits (One Occurrence of Each)</h4>")   \
    X("htmlvisitsreportexampleslabel", "<h4>%d Example Visits</h4>")                               \
    X("htmlvisitsreportheading", "<tr><th>Site</th><th>Minutes</th><th>Trail</th></tr>")           \
    X("htmlauthenticatedusersreportlabelallbybytes",                                               \
      "<h3>Authenticated Users by Bytes Transferred</h3>")                                         \
    X("htmlauthenticatedusersreportlabelallbyaccesses",                                            \
      "<h3>Authenticated Users by Access Count</h3>")                                              \
    X("htmlauthenticatedusersreportlabelbybytes",                                                  \
      "<h3>Top %d of %d Authenticated Users by Bytes Transferred</h3>")                            \
    X("htmlauthenticatedusersreportlabelbyaccesses",                                               \
      "<h3>Top %d of %d Authenticated Users by Access Count</h3>")                                 \
    X("htmlauthenticatedusersreportheadingnobytes",                                                \
      "<tr><th>Rank</th><th>User</th><th>Accesses</th></tr>")                                      \
    X("htmlauthenticatedusersreportheadingwithbytes",                                              \
      "<tr><th>Rank</th><th>User</th><th>Accesses</th><th>Bytes</th></tr>")                        \
    X("htmlsitesreportlabelallbybytes", "<h3>Sites by Bytes Transferred</h3>")                     \
    X("htmlsitesreportlabelallbyaccesses", "<h3>Sites by Access Count</h3>")                       \
    X("htmlsitesreportlabelbybytes", "<h3>Top %d of %d Sites by Bytes Transferred</h3>")           \
    X("htmlsitesreportlabelbyaccesses", "<h3>Top %d of %d Sites by Access Count</h3>")             \
    X("htmlsitesreportheadingnobytes", "<tr><th>Rank</th><th>Site</th><th>Accesses</th></tr>")     \
    X("htmlsitesreportheadingwithbytes",                                                           \
      "<tr><th>Rank</th><th>Site</th><th>Accesses</th><th>Bytes</th></tr>")                        \
    X("htmldomainsreportlabelallbybytes", "<h3>Domains by Bytes Transferred</h3>")                 \
    X("htmldomainsreportlabelallbyaccesses", "<h3>Domains by Access Count</h3>")                   \
    X("htmldomainsreportlabelbybytes", "<h3>Top %d of %d Domains by Bytes Transferred</h3>")       \
    X("htmldomainsreportlabelbyaccesses", "<h3>Top %d of %d Domains by Access Count</h3>")         \
    X("htmldomainsreportheadingnobytes", "<tr><th>Rank</th><th>Domain</th><th>Accesses</th></tr>") \
    X("htmldomainsreportheadingwithbytes",                                                         \
      "<tr><th>Rank</th><th>Domain</th><th>Accesses</th><th>Bytes</th></tr>")                      \
    X("htmlproxysitesreportlabelallbybytes", "<h3>Proxy Sites by Bytes Transferred</h3>")          \
    X("htmlproxysitesreportlabelallbyaccesses", "<h3>Proxy Sites by Access Count</h3>")            \
    X("htmlproxysitesreportlabelbybytes",                                                          \
      "<h3>Top %d of %d Proxy Sites by Bytes Transferred</h3>")                                    \
    X("htmlproxysitesreportlabelbyaccesses", "<h3>Top %d of %d Proxy Sites by Access Count</h3>")  \
    X("htmlproxysitesreportheadingnobytes",                                                        \
      "<tr><th>Rank</th><th>Site</th><th>Accesses</th></tr>")                                      \
    X("htmlproxysitesreportheadingwithbytes",                                                      \
      "<tr><th>Rank</th><th>Site</th><th>Accesses</th><th>Bytes</th></tr>")                        \
    X("htmlproxydomainsreportlabelallbybytes", "<h3>Proxy Domains by Bytes Transferred</h3>")      \
    X("htmlproxydomainsreportlabelallbyaccesses", "<h3>Proxy Domains by Access Count</h3>")        \
    X("htmlproxydomainsreportlabelbybytes",                                                        \
      "<h3>Top %d of %d Proxy Domains by Bytes Transferred</h3>")                                  \
    X("htmlproxydomainsreportlabelbyaccesses",                                                     \
      "<h3>Top %d of %d Proxy Domains by Access Count</h3>")                                       \
    X("htmlproxydomainsreportheadingnobytes",                                                      \
      "<tr><th>Rank</th><th>Domain</th><th>Accesses</th></tr>")                                    \
    X("htmlproxydomainsreportheadingwithbytes",                                                    \
      "<tr><th>Rank</th><th>Domain</th><th>Accesses</th><th>Bytes</th></tr>")                      \
    X("htmlnotfoundreportlabelall", "<h3>Documents Not Found</h3>")                                \
    X("htmlnotfoundreportlabel", "<h3>Top %d of %d Documents Not Found</h3>")                      \
    X("htmlnotfoundreportheading",                                                                 \
      "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Referring URLs</tr>")                     \
    X("htmluseragentsreportlabelallbybytes", "<h3>User agents by Bytes Transferred</h3>")          \
    X("htmluseragentsreportlabelallbyaccesses", "<h3>User agents by Access Count</h3>")            \
    X("htmluseragentsreportlabelbybytes",                                                          \
      "<h3>Top %d of %d user agents by Bytes Transferred</h3>")                                    \
    X("htmluseragentsreportlabelbyaccesses", "<h3>Top %d of %d user agents by Access Count</h3>")  \
    X("htmluseragentsreportheadingnobytes",                                                        \
      "<tr><th>Rank</th><th>User Agent</th><th>Accesses</th></tr>")                                \
    X("htmluseragentsreportheadingwithbytes",                                                      \
      "<tr><th>Rank</th><th>User Agent</th><th>Accesses</th><th>Bytes</th></tr>")                  \
    X("htmlreferersreportlabelallbybytes", "<h3>Refererring URLs by Bytes Transferred</h3>")       \
    X("htmlreferersreportlabelallbyaccesses", "<h3>Refererring URLs by Access Count</h3>")         \
    X("htmlreferersreportlabelbybytes",                                                            \
      "<h3>Top %d of %d Referring URLs by Bytes Transferred</h3>")                                 \
    X("htmlreferersreportlabelbyaccesses", "<h3>Top %d of %d Referring URLs by Access Count</h3>") \
    X("htmlreferersreportheadingnobytes", "<tr><th>Rank</th><th>URL</th><th>Accesses</th></tr>")   \
    X("htmlreferersreportheadingwithbytes",                                                        \
      "<tr><th>Rank</th><th>URL</th><th>Accesses</th><th>Bytes</th></tr>")                         \
    X("htmlrefereronlyheading", "Summary of Referring URLs")                                       \
    X("htmluseragentonlyheading", "Summary of User Agents (Browsers)")                             \
    X("htmlmonthofheading", "Month of %s to %s")                                                   \
    X("htmlweekofheading", "Week of %s to %s")                                                     \
    X("htmldayofheading", "Day of %s")                                                             \
    X("htmlsummaryfromto", "Summary from %s to %s")                                                \
    X("htmlsectionempty", "Nothing to list for this period.")                                      \
    X("htmlsectionnotinlog",                                                                       \
      "None of this period's log entries carries this information (a log in the common "           \
      "format records no referring pages and no browsers).")                                       \
    X("htmlsharecolumn", "Share")                                                                  \
    X("htmlpiechartalt", "Pie chart: ")                                                            \
    X("htmlbarchartalt", "Bar chart: ")                                                            \
    X("htmlpieother", "Other")                                                                     \
    X("htmlpiehidden", "(hidden)")                                                                 \
    X("htmlbrowserfamiliesreportlabelallbybytes", "<h3>Browsers by Bytes Transferred</h3>")        \
    X("htmlbrowserfamiliesreportlabelallbyaccesses", "<h3>Browsers by Access Count</h3>")          \
    X("htmlbrowserfamiliesreportlabelbybytes",                                                     \
      "<h3>Top %d of %d Browsers by Bytes Transferred</h3>")                                       \
    X("htmlbrowserfamiliesreportlabelbyaccesses",                                                  \
      "<h3>Top %d of %d Browsers by Access Count</h3>")                                            \
    X("htmlbrowserfamiliesreportheadingnobytes",                                                   \
      "<tr><th>Rank</th><th>Browser</th><th>Accesses</th></tr>")                                   \
    X("htmlbrowserfamiliesreportheadingwithbytes",                                                 \
      "<tr><th>Rank</th><th>Browser</th><th>Accesses</th><th>Bytes</th></tr>")                     \
    X("htmlsystemfamiliesreportlabelallbybytes",                                                   \
      "<h3>Operating Systems by Bytes Transferred</h3>")                                           \
    X("htmlsystemfamiliesreportlabelallbyaccesses", "<h3>Operating Systems by Access Count</h3>")  \
    X("htmlsystemfamiliesreportlabelbybytes",                                                      \
      "<h3>Top %d of %d Operating Systems by Bytes Transferred</h3>")                              \
    X("htmlsystemfamiliesreportlabelbyaccesses",                                                   \
      "<h3>Top %d of %d Operating Systems by Access Count</h3>")                                   \
    X("htmlsystemfamiliesreportheadingnobytes",                                                    \
      "<tr><th>Rank</th><th>Operating System</th><th>Accesses</th></tr>")                          \
    X("htmlsystemfamiliesreportheadingwithbytes",                                                  \
      "<tr><th>Rank</th><th>Operating System</th><th>Accesses</th><th>Bytes</th></tr>")            \
    X("htmlrobotsreportlabelallbybytes", "<h3>Robots by Bytes Transferred</h3>")                   \
    X("htmlrobotsreportlabelallbyaccesses", "<h3>Robots by Access Count</h3>")                     \
    X("htmlrobotsreportlabelbybytes", "<h3>Top %d of %d Robots by Bytes Transferred</h3>")         \
    X("htmlrobotsreportlabelbyaccesses", "<h3>Top %d of %d Robots by Access Count</h3>")           \
    X("htmlrobotsreportheadingnobytes", "<tr><th>Rank</th><th>Robot</th><th>Accesses</th></tr>")   \
    X("htmlrobotsreportheadingwithbytes",                                                          \
      "<tr><th>Rank</th><th>Robot</th><th>Accesses</th><th>Bytes</th></tr>")                       \
    X("htmluniquerobots", "Robot accesses (counted apart)")                                        \
    X("htmlnavlabel", "Report pages")                                                              \
    X("htmlnavindex", "Index")                                                                     \
    X("htmlnavprevious", "Previous")                                                               \
    X("htmlnavnext", "Next")                                                                       \
    X("htmlnavmonth", "Reports of the month")                                                      \
    X("htmlnavyear", "Reports of the year")                                                        \
    X("htmlnavlatest", "Latest report")                                                            \
    X("htmlheadlineaccesses", "Accesses")                                                          \
    X("htmlheadlinebytes", "Bytes")                                                                \
    X("htmlheadlinesites", "Unique sites")                                                         \
    X("htmlheadlinevisits", "Visits")                                                              \
    X("htmlheadlinefailed", "Failed requests")                                                     \
    X("htmlheadlinerobots", "Robots")                                                              \
    X("htmlheadlinechange", "from the previous period")

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
// ('d' a whole number, 'f' a floating-point number, 's' a text), and how the
// conversions are shown in the message about a replacement that does not fit.
struct Template {
    int resource;
    const char *kinds;
    const char *shown;
};

const Template templates[] = {
    {HTMLDOCUMENTSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLDOCUMENTSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLTRAILSREPORTLABEL, "dd", "%d %d"},
    {HTMLVISITSREPORTTOTAL, "f", "%f"},
    {HTMLVISITSREPORTAVERAGE, "f", "%f"},
    {HTMLVISITSREPORTLONGEST, "f", "%f"},
    {HTMLVISITSREPORTEXAMPLESLABEL, "d", "%d"},
    {HTMLAUTHENTICATEDUSERSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLAUTHENTICATEDUSERSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLSITESREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLSITESREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLDOMAINSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLDOMAINSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLPROXYSITESREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLPROXYSITESREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLPROXYDOMAINSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLPROXYDOMAINSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLNOTFOUNDREPORTLABEL, "dd", "%d %d"},
    {HTMLUSERAGENTSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLUSERAGENTSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLREFERERSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLREFERERSREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLMONTHOFHEADING, "ss", "%s %s"},
    {HTMLWEEKOFHEADING, "ss", "%s %s"},
    {HTMLDAYOFHEADING, "s", "%s"},
    {HTMLSUMMARYFROMTO, "ss", "%s %s"},
    {HTMLBROWSERFAMILIESREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLBROWSERFAMILIESREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLSYSTEMFAMILIESREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLSYSTEMFAMILIESREPORTLABELBYACCESSES, "dd", "%d %d"},
    {HTMLROBOTSREPORTLABELBYBYTES, "dd", "%d %d"},
    {HTMLROBOTSREPORTLABELBYACCESSES, "dd", "%d %d"},
};

// One conversion of a template, as the reader accepts it and the writer applies it.
struct Conversion {
    char kind;  // of its argument: 'd', 'f' or 's' as in the kinds above
    char letter;
    bool left, plus, space, alternate, zero, group;
    int width;      // -1 when not given
    int precision;  // -1 when not given
};

// Longest width or precision accepted in a template conversion.
constexpr int MAX_FIELD_DIGITS = 3;

// The number at p (advanced past it), or -1 when it has more than MAX_FIELD_DIGITS digits.
int fieldValue(const char *&p) {
    int value = 0;
    for (int digits = 0; charIsDigit(static_cast<unsigned char>(*p)); p++) {
        if (++digits > MAX_FIELD_DIGITS) return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

// Reads the conversion whose '%' begins text: flags, a width and a precision of up to
// three digits, and a letter, with only the flags that printf defines for that letter
// ("'" groups thousands). No "*", "$", length modifier or "%n". Returns its length, or
// 0 when it is not such a conversion.
std::size_t parseConversion(const char *text, Conversion &c) {
    c = Conversion{};
    c.width = c.precision = -1;
    const char *p = text + 1;
    for (;; p++) {
        if (*p == '-')
            c.left = true;
        else if (*p == '+')
            c.plus = true;
        else if (*p == ' ')
            c.space = true;
        else if (*p == '#')
            c.alternate = true;
        else if (*p == '0')
            c.zero = true;
        else if (*p == '\'')
            c.group = true;
        else
            break;
    }
    if (*p >= '1' && *p <= '9' && (c.width = fieldValue(p)) < 0) return 0;
    if (*p == '.' && (c.precision = fieldValue(++p)) < 0) return 0;
    c.letter = *p;
    if (*p == 'd' || *p == 'i') {
        c.kind = 'd';
        if (c.alternate) return 0;
    } else if (*p != '\0' && std::strchr("fFeEgGaA", *p)) {
        c.kind = 'f';
    } else if (*p == 's') {
        c.kind = 's';
        if (c.plus || c.space || c.alternate || c.zero || c.group) return 0;
    } else {
        return 0;
    }
    return static_cast<std::size_t>(p - text) + 1;
}

// True when text is safe to print with arguments of the given kinds: every
// conversion is "%%" or one parseConversion accepts of the next kind, and there are
// no more conversions than arguments.
bool templateFits(const char *text, const char *kinds) {
    std::size_t used = 0;
    const std::size_t available = std::strlen(kinds);
    for (const char *p = text; *p; p++) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            p++;
            continue;
        }
        Conversion c;
        std::size_t length = parseConversion(p, c);
        if (length == 0 || used >= available || kinds[used] != c.kind) return false;
        used++;
        p += length - 1;
    }
    return true;
}

union Argument {
    int whole;
    double real;
    const char *text;
};

// Room for any conversion parseConversion accepts without its width: 309 integer digits
// of the largest double, a point, 999 decimals and a sign.
constexpr std::size_t CONVERSION_ROOM = 1400;

// Writes text with a "," between the groups of three digits of its first run of digits
// (the integer part), then pads it to the width as printf pads.
void writeGrouped(FILE *page, const Conversion &c, const char *text) {
    std::size_t start = 0;
    while (text[start] == '-' || text[start] == '+' || text[start] == ' ') start++;
    if ((c.letter == 'a' || c.letter == 'A') && text[start] == '0' &&
        (text[start + 1] == 'x' || text[start + 1] == 'X'))
        start += 2;
    std::size_t end = start;
    while (charIsDigit(static_cast<unsigned char>(text[end]))) end++;
    std::size_t digits = end - start;
    std::size_t length = std::strlen(text) + (digits > 0 ? (digits - 1) / 3 : 0);
    std::size_t pad = c.width > 0 && static_cast<std::size_t>(c.width) > length
                          ? static_cast<std::size_t>(c.width) - length
                          : 0;
    // Zeros go between the sign and the digits; not for infinity or NaN, nor for a whole
    // number with a precision.
    bool zeros = c.zero && !c.left && digits > 0 && !(c.kind == 'd' && c.precision >= 0);
    if (!c.left && !zeros)
        for (; pad > 0; pad--) std::fputc(' ', page);
    std::fwrite(text, 1, start, page);
    if (zeros)
        for (; pad > 0; pad--) std::fputc('0', page);
    for (std::size_t i = start; i < end; i++) {
        if (i > start && (end - i) % 3 == 0) std::fputc(',', page);
        std::fputc(text[i], page);
    }
    std::fputs(text + end, page);
    for (; pad > 0; pad--) std::fputc(' ', page);
}

// Writes one conversion with its argument, as printf writes it.
void writeConversion(FILE *page, const Conversion &c, const Argument &argument) {
    // The conversion rebuilt from its parts: each flag once, and no "'", which printf
    // leaves to the locale; the width is applied after grouping.
    char spec[24];
    std::size_t n = 0;
    spec[n++] = '%';
    if (c.left) spec[n++] = '-';
    if (c.plus) spec[n++] = '+';
    if (c.space) spec[n++] = ' ';
    if (c.alternate) spec[n++] = '#';
    if (c.zero) spec[n++] = '0';
    if (c.width >= 0 && !c.group) n += std::snprintf(spec + n, sizeof spec - n, "%d", c.width);
    if (c.precision >= 0) n += std::snprintf(spec + n, sizeof spec - n, ".%d", c.precision);
    spec[n++] = c.letter;
    spec[n] = '\0';

    if (!c.group) {
        if (c.kind == 'd')
            std::fprintf(page, spec, argument.whole);
        else if (c.kind == 'f')
            std::fprintf(page, spec, argument.real);
        else
            std::fprintf(page, spec, argument.text ? argument.text : "");
        return;
    }
    char text[CONVERSION_ROOM];
    if (c.kind == 'd')
        std::snprintf(text, sizeof text, spec, argument.whole);
    else
        std::snprintf(text, sizeof text, spec, argument.real);
    writeGrouped(page, c, text);
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
        configError(
            "%s is not a text resource name. Check the documentation for the correct "
            "resource names.",
            name);

    // The lines joined by single line feeds, in a string of exactly the needed size.
    std::size_t size = 1;
    for (int i = 0; i < blockLines.count; i++)
        size += std::strlen(blockLines.items[i]) + (i > 0 ? 1 : 0);
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
            configError(
                "Text resource %s may use only the conversions %s, in this order; write "
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

int textResourceReplaced(int n) {
    return n >= 0 && n < TEXT_RESOURCE_COUNT && replaced[n];
}

const char *textResourceBuiltin(int n) {
    return n >= 0 && n < TEXT_RESOURCE_COUNT ? builtinTexts[n] : nullptr;
}

void textResourceSetBuiltin(int n, const char *text) {
    if (n < 0 || n >= TEXT_RESOURCE_COUNT || replaced[n] || !text) return;
    textResources[n].text = const_cast<char *>(text);
}

// Declared with the page helpers (report/report.h); it lives here so that the page writers
// apply exactly the conversions that the reader lets a replaced template hold.
void resourceFormat(FILE *page, const char *format, const char *kinds, ...) {
    if (!format) return;
    constexpr int MAX_ARGUMENTS = 8;
    Argument arguments[MAX_ARGUMENTS];
    int count = 0;
    va_list list;
    va_start(list, kinds);
    for (const char *k = kinds; *k && count < MAX_ARGUMENTS; k++, count++) {
        if (*k == 'd')
            arguments[count].whole = va_arg(list, int);
        else if (*k == 'f')
            arguments[count].real = va_arg(list, double);
        else
            arguments[count].text = va_arg(list, const char *);
    }
    va_end(list);

    int next = 0;
    for (const char *p = format; *p;) {
        if (*p != '%') {
            std::fputc(*p++, page);
            continue;
        }
        if (p[1] == '%') {
            std::fputc('%', page);
            p += 2;
            continue;
        }
        Conversion c;
        std::size_t length = parseConversion(p, c);
        if (length == 0) {
            // Not a conversion a template may hold: the text stays, the argument is used up.
            std::fputc(*p++, page);
            next++;
            continue;
        }
        if (next < count && kinds[next] == c.kind)
            writeConversion(page, c, arguments[next]);
        else
            std::fwrite(p, 1, length, page);
        next++;
        p += length;
    }
}
