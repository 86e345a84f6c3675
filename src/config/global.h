// Process-wide settings of the analyser, the lists and tables the configuration
// file fills, the text resources, and the configuration reader.
#pragma once
#include <cstdio>
#include <ctime>

#include "console/ui.h"  // COUNT_ALL, a count of "all"
#include "core/hash.h"
#include "core/sarray.h"

// ---- Special values shared with the readers of the settings ----
constexpr int FLAG_NOCHART = -3;    // a yes/no setting that is on without its chart
constexpr int DNS_FAST = -4;        // look up only the addresses that are printed
constexpr int TOTALS_LIMIT = 4096;  // totals patterns the history database can hold
enum { FREQ_DAILY = 0, FREQ_WEEKLY = 1, FREQ_MONTHLY = 2, FREQ_SUMMARY = 3 };

// ---- String settings (owned copies, null when unset) ----
extern char *reportDir;
extern char *logFile;
extern char *myDomain;
extern char *indexName;
extern char *subdomainsOf;
extern char *topUrl;
extern char *dateFormat;
extern char *msDateFormat;
extern char *extension;
extern char *serverName;
extern char *offsetString;
extern int offsetHours;
extern int offsetMinutes;

// ---- Choice settings ----
extern int frequency;
extern int weekStart;
extern int threadCount;  // threads that read the log (threads, -j): 1, or 2 and more
extern int bytesFlag;
extern int pageStyleModern;  // 1 for "pagestyle modern", 0 for the classic pages

// ---- Counts (COUNT_ALL is all) and whole numbers ----
extern int topDocuments;
extern int topUseragents;
extern int topReferers;
extern int topNotfound;
extern int topSites;
extern int topProxysites;
extern int topAuthusers;
extern int topDomains;
extern int topProxydomains;
extern int topTrails;
extern int exampleVisits;
extern int trailTimeout;
extern int trailMinimumSteps;

// ---- Yes/no settings (1, 0, or -3 for "without chart") ----
extern int documentsFlag;
extern int hoursFlag;
extern int daysFlag;
extern int notfoundFlag;
extern int visitsFlag;
extern int uniqueFlag;
extern int sitesFlag;
extern int authusersFlag;
extern int proxysitesFlag;
extern int useragentsFlag;
extern int referersFlag;
extern int domainsFlag;
extern int proxydomainsFlag;
extern int resultcodesFlag;
extern int trailsFlag;
extern int keepqueriesFlag;
extern int nocaseFlag;
extern int nozeroesFlag;
extern int referersInVisitsFlag;
extern int nolinksFlag;
extern int nopartialFlag;
extern int nobytesFlag;
extern int dnsFlag;
extern int gifchartsFlag;  // GIF charts beside the SVG ones of the modern pages

// ---- Who is visiting: families of the agents, robots, private client addresses ----
enum { ROBOTS_COUNT = 0, ROBOTS_APART = 1, ROBOTS_IGNORE = 2 };
extern char *agentPatterns;      // useragentpatterns: the pattern file, null for the default
extern int agentPatternsLine;    // line of the useragentpatterns keyword, 0 when not given
extern int robotsMode;           // robots: ROBOTS_COUNT, ROBOTS_APART or ROBOTS_IGNORE
extern int browserfamiliesFlag;  // sections: browser families, systems, robots
extern int systemfamiliesFlag;
extern int robotlistFlag;
extern int topBrowserfamilies;
extern int topSystemfamilies;
extern int topRobots;
extern int anonymizeFlag;        // zero the end of every client address before counting
extern StringArray robotAgents;  // robotagents: agent patterns of the site's own robots
// 1 when the settings need the user-agent patterns: a family or robot section, or robots
// kept apart or ignored.
int agentPatternsNeeded();

// ---- Kinds of log forced from the command line (-r, -u) ----
extern int refererOnlyFlag;
extern int useragentOnlyFlag;

// ---- Lists ----
extern StringArray allowed;
extern StringArray ignored;
extern StringArray hidden;
extern StringArray suffixes;
extern StringArray header;
extern StringArray footer;
extern StringArray allowedSites;
extern StringArray ignoredSites;
extern StringArray ignoredReferers;
extern StringArray subDomains;
extern StringArray domainGroups;
extern StringArray chartBarColors;
extern StringArray pieSliceColors;
// 1 when the document matches a pattern of hidden (the hide list).
int documentHidden(const char *document);

// ---- Pattern/value tables and the report order ----
extern Hash fakeDns;            // 1 text column: domain to report
extern Hash totals;             // 1 text column (label), 2 numbers (accesses, bytes)
extern Hash totalsNew;          // scratch table while one totals block is read
extern Hash reportList;         // final order of the page sections
extern Hash reportListWorking;  // sections in order of first mention

// 1 when a key of totals is a group separator ("DIVIDER %d"), not a pattern.
int totalsDivider(const char *key);

// ---- Report sections ----
// The sections a period page can hold, in their default order on the page. The keyword
// of a section's yes/no setting or row limit names the section for the report order,
// as "totals" and "totalsgroup" name the totals and "domaingroups" its own section,
// which is kept in the order but writes nothing and has no default place.
enum ReportSectionId {
    SECTION_UNIQUE,
    SECTION_TOTALS,
    SECTION_HOURS,
    SECTION_DAYS,
    SECTION_DOCUMENTS,
    SECTION_AUTHUSERS,
    SECTION_SITES,
    SECTION_DOMAINS,
    SECTION_PROXYSITES,
    SECTION_PROXYDOMAINS,
    SECTION_TRAILS,
    SECTION_VISITS,
    SECTION_REFERERS,
    SECTION_USERAGENTS,
    SECTION_NOTFOUND,
    SECTION_RESULTCODES,
    SECTION_DOMAINGROUPS,
    // Sections without a default place: off unless the configuration names them, and
    // then where it names them.
    SECTION_BROWSERFAMILIES,
    SECTION_SYSTEMFAMILIES,
    SECTION_ROBOTS,
    SECTION_COUNT
};
// Sections before this one stand first on a page unless the configuration names them;
// this one and the rest up to the result codes stand after those it names.
constexpr int SECTION_FIRST_TRAILING = SECTION_AUTHUSERS;
struct ReportSection {
    const char *name;  // the section's name in reportList
    int *flag;         // its yes/no setting, or null
    int *rows;         // its row limit (or number of examples), or null
};
extern const ReportSection reportSections[SECTION_COUNT];
// The number of the section with this name, or -1.
int reportSectionFind(const char *name);

// ---- Colours ----
extern char *chartBackgroundColor;
extern char *chartBorderColor;
extern char *chartTextColor;
extern char *chartCrossColor;
extern char *chartTickColor;
extern char *pieBackgroundColor;
extern char *pieBorderColor;

// The built-in defaults as the keyword table holds them: that of a text or colour setting
// (null for one without), and that of a colour list (its entries in *items, their count
// returned). The end of each configuration file gives them to what the file left out.
const char *globalDefaultText(char *const *slot);
int globalDefaultList(const StringArray *list, const char *const **items);

// ---- Run-wide state set by the driver ----
extern struct tm nowBreakdown;  // local time at program start
extern int nowDay;              // today's day number

// Line counter of the configuration file being read.
extern int line;

// ---- Text resources ----

// Resource numbers, named after the resources: textResource(HTMLOPENPAGE).
// The labels "Top %d of %d ...", the visit figures and the period headings are
// printf templates; a replacement is checked when it is read, so it holds at most
// the conversions of its default, in the same order.
enum TextResourceId {
    HTMLOPENPAGE,
    HTMLCLOSEPAGE,
    HTMLOPENHEAD,
    HTMLCLOSEHEAD,
    HTMLNODATA,
    HTMLOPENBODY,
    HTMLCLOSEBODY,
    HTMLOPENSUBHEADING,
    HTMLCLOSESUBHEADING,
    HTMLSKIPTODAILYREPORTS,
    HTMLSKIPTOWEEKLYREPORTS,
    HTMLSKIPTOMONTHLYREPORTS,
    HTMLHISTORYGRAPHSLABEL,
    HTMLHISTORYGRAPHSHEADINGWITHBYTES,
    HTMLHISTORYGRAPHSHEADING,
    HTMLHISTORYGRAPHSBEFOREIMAGE,
    HTMLHISTORYGRAPHSAFTERIMAGE,
    HTMLREPORTOPENLIST,
    HTMLREPORTOPENRECORD,
    HTMLREPORTOPENFIELD,
    HTMLREPORTCLOSEFIELD,
    HTMLREPORTOPENNUMERICFIELD,
    HTMLREPORTCLOSENUMERICFIELD,
    HTMLREPORTCLOSERECORD,
    HTMLREPORTCLOSELIST,
    HTMLREPORTLISTLABEL,
    HTMLREPORTSFORMONTH,
    HTMLREPORTSFORYEAR,
    HTMLNOCOMPLETEREPORTS,
    HTMLHISTORYFROM,
    HTMLBYTES,
    HTMLACCESSES,
    HTMLRESULT200,
    HTMLRESULT201,
    HTMLRESULT202,
    HTMLRESULT301,
    HTMLRESULT302,
    HTMLRESULT304,
    HTMLRESULT400,
    HTMLRESULT401,
    HTMLRESULT403,
    HTMLRESULT404,
    HTMLRESULT500,
    HTMLRESULT501,
    HTMLRESULT502,
    HTMLRESULT503,
    HTMLHISTORYREPORTLABEL,
    HTMLHISTORYREPORTHEADING,
    HTMLHISTORYREPORTHEADINGNOBYTES,
    HTMLUNIQUEREPORTLABEL,
    HTMLUNIQUEPARTIALEPOCHLABEL,
    HTMLUNIQUEREPORTHEADING,
    HTMLUNIQUESITESSERVED,
    HTMLUNIQUEDOCUMENTSSERVED,
    HTMLUNIQUEPROXYSITES,
    HTMLUNIQUEAUTHENTICATEDUSERSSERVED,
    HTMLUNIQUETRAILS,
    HTMLUNIQUEVISITS,
    HTMLHOURSREPORTLABELBYTES,
    HTMLHOURSREPORTLABELACCESSES,
    HTMLHOURSREPORTAVERAGED,
    HTMLHOURSREPORTSUMMED,
    HTMLHOURSREPORTHEADINGAVERAGED,
    HTMLHOURSREPORTHEADINGSUMMED,
    HTMLHOURSREPORTHEADINGAVERAGEDNOBYTES,
    HTMLHOURSREPORTHEADINGSUMMEDNOBYTES,
    HTMLDAYSREPORTLABELBYTES,
    HTMLDAYSREPORTLABELACCESSES,
    HTMLDAYSREPORTHEADING,
    HTMLDAYSREPORTHEADINGNOBYTES,
    HTMLDOCUMENTSREPORTLABELALLBYBYTES,
    HTMLDOCUMENTSREPORTLABELALLBYACCESSES,
    HTMLDOCUMENTSREPORTLABELBYBYTES,
    HTMLDOCUMENTSREPORTLABELBYACCESSES,
    HTMLDOCUMENTSREPORTHEADINGNOBYTES,
    HTMLDOCUMENTSREPORTHEADINGWITHBYTES,
    HTMLREPORTCHARTALIGN,
    HTMLRESULTCODESREPORTLABEL,
    HTMLRESULTCODESREPORTHEADING,
    HTMLTRAILSREPORTLABELALL,
    HTMLTRAILSREPORTLABEL,
    HTMLTRAILSREPORTHEADING,
    HTMLVISITSREPORTLABEL,
    HTMLVISITSREPORTTOTAL,
    HTMLVISITSREPORTAVERAGE,
    HTMLVISITSREPORTLONGEST,
    HTMLVISITSREPORTEXAMPLESLABELALL,
    HTMLVISITSREPORTEXAMPLESLABEL,
    HTMLVISITSREPORTHEADING,
    HTMLAUTHENTICATEDUSERSREPORTLABELALLBYBYTES,
    HTMLAUTHENTICATEDUSERSREPORTLABELALLBYACCESSES,
    HTMLAUTHENTICATEDUSERSREPORTLABELBYBYTES,
    HTMLAUTHENTICATEDUSERSREPORTLABELBYACCESSES,
    HTMLAUTHENTICATEDUSERSREPORTHEADINGNOBYTES,
    HTMLAUTHENTICATEDUSERSREPORTHEADINGWITHBYTES,
    HTMLSITESREPORTLABELALLBYBYTES,
    HTMLSITESREPORTLABELALLBYACCESSES,
    HTMLSITESREPORTLABELBYBYTES,
    HTMLSITESREPORTLABELBYACCESSES,
    HTMLSITESREPORTHEADINGNOBYTES,
    HTMLSITESREPORTHEADINGWITHBYTES,
    HTMLDOMAINSREPORTLABELALLBYBYTES,
    HTMLDOMAINSREPORTLABELALLBYACCESSES,
    HTMLDOMAINSREPORTLABELBYBYTES,
    HTMLDOMAINSREPORTLABELBYACCESSES,
    HTMLDOMAINSREPORTHEADINGNOBYTES,
    HTMLDOMAINSREPORTHEADINGWITHBYTES,
    HTMLPROXYSITESREPORTLABELALLBYBYTES,
    HTMLPROXYSITESREPORTLABELALLBYACCESSES,
    HTMLPROXYSITESREPORTLABELBYBYTES,
    HTMLPROXYSITESREPORTLABELBYACCESSES,
    HTMLPROXYSITESREPORTHEADINGNOBYTES,
    HTMLPROXYSITESREPORTHEADINGWITHBYTES,
    HTMLPROXYDOMAINSREPORTLABELALLBYBYTES,
    HTMLPROXYDOMAINSREPORTLABELALLBYACCESSES,
    HTMLPROXYDOMAINSREPORTLABELBYBYTES,
    HTMLPROXYDOMAINSREPORTLABELBYACCESSES,
    HTMLPROXYDOMAINSREPORTHEADINGNOBYTES,
    HTMLPROXYDOMAINSREPORTHEADINGWITHBYTES,
    HTMLNOTFOUNDREPORTLABELALL,
    HTMLNOTFOUNDREPORTLABEL,
    HTMLNOTFOUNDREPORTHEADING,
    HTMLUSERAGENTSREPORTLABELALLBYBYTES,
    HTMLUSERAGENTSREPORTLABELALLBYACCESSES,
    HTMLUSERAGENTSREPORTLABELBYBYTES,
    HTMLUSERAGENTSREPORTLABELBYACCESSES,
    HTMLUSERAGENTSREPORTHEADINGNOBYTES,
    HTMLUSERAGENTSREPORTHEADINGWITHBYTES,
    HTMLREFERERSREPORTLABELALLBYBYTES,
    HTMLREFERERSREPORTLABELALLBYACCESSES,
    HTMLREFERERSREPORTLABELBYBYTES,
    HTMLREFERERSREPORTLABELBYACCESSES,
    HTMLREFERERSREPORTHEADINGNOBYTES,
    HTMLREFERERSREPORTHEADINGWITHBYTES,
    HTMLREFERERONLYHEADING,
    HTMLUSERAGENTONLYHEADING,
    HTMLMONTHOFHEADING,
    HTMLWEEKOFHEADING,
    HTMLDAYOFHEADING,
    HTMLSUMMARYFROMTO,
    HTMLSECTIONEMPTY,
    HTMLSECTIONNOTINLOG,
    HTMLSHARECOLUMN,
    HTMLPIECHARTALT,
    HTMLBARCHARTALT,
    HTMLPIEOTHER,
    HTMLPIEHIDDEN,
    HTMLBROWSERFAMILIESREPORTLABELALLBYBYTES,
    HTMLBROWSERFAMILIESREPORTLABELALLBYACCESSES,
    HTMLBROWSERFAMILIESREPORTLABELBYBYTES,
    HTMLBROWSERFAMILIESREPORTLABELBYACCESSES,
    HTMLBROWSERFAMILIESREPORTHEADINGNOBYTES,
    HTMLBROWSERFAMILIESREPORTHEADINGWITHBYTES,
    HTMLSYSTEMFAMILIESREPORTLABELALLBYBYTES,
    HTMLSYSTEMFAMILIESREPORTLABELALLBYACCESSES,
    HTMLSYSTEMFAMILIESREPORTLABELBYBYTES,
    HTMLSYSTEMFAMILIESREPORTLABELBYACCESSES,
    HTMLSYSTEMFAMILIESREPORTHEADINGNOBYTES,
    HTMLSYSTEMFAMILIESREPORTHEADINGWITHBYTES,
    HTMLROBOTSREPORTLABELALLBYBYTES,
    HTMLROBOTSREPORTLABELALLBYACCESSES,
    HTMLROBOTSREPORTLABELBYBYTES,
    HTMLROBOTSREPORTLABELBYACCESSES,
    HTMLROBOTSREPORTHEADINGNOBYTES,
    HTMLROBOTSREPORTHEADINGWITHBYTES,
    HTMLUNIQUEROBOTS,
    HTMLNAVLABEL,
    HTMLNAVINDEX,
    HTMLNAVPREVIOUS,
    HTMLNAVNEXT,
    HTMLNAVMONTH,
    HTMLNAVYEAR,
    HTMLNAVLATEST,
    HTMLHEADLINEACCESSES,
    HTMLHEADLINEBYTES,
    HTMLHEADLINESITES,
    HTMLHEADLINEVISITS,
    HTMLHEADLINEFAILED,
    HTMLHEADLINEROBOTS,
    HTMLHEADLINECHANGE,
    TEXT_RESOURCE_END  // one past the last resource: the number of resources
};
constexpr int TEXT_RESOURCE_COUNT = TEXT_RESOURCE_END;
struct TextResource {
    const char *name;
    char *text;  // current text: the built-in default or an owned replacement
};
extern TextResource textResources[TEXT_RESOURCE_COUNT];
// Current text of resource number n.
inline const char *textResource(int n) {
    return textResources[n].text;
}
// Writes the current text of resource number n as it is; nothing for a number outside
// the table (a section without that resource) or a resource without text.
void resourceWrite(FILE *page, int n);

// Writes a text resource that is used as a format. kinds names the arguments in order:
// 'd' an int, 'f' a double, 's' a text. Every "%" of the format except "%%" (which
// writes "%") starts a conversion that takes the next argument. A conversion that the
// configuration reader accepts in a replaced template (flags, "'" for thousands
// separators, a width and a precision of at most three digits, a letter of the
// argument's kind) is written as printf writes it; any other, or one without an argument
// left, is written as it stands, so the text can never read past or misread the
// arguments. The reader's check of a replaced template accepts exactly these conversions.
void resourceFormat(FILE *page, const char *format, const char *kinds, ...);
// Reads the block that replaces the resource named by the (lower-cased) keyword.
void parseResource(FILE *file, const char *name);
// Frees every replacement and puts the built-in texts back.
void textResourcesReset();
// 1 when the configuration replaced resource number n.
int textResourceReplaced(int n);
// The built-in text of resource number n, or null for a number outside the table.
const char *textResourceBuiltin(int n);
// Gives resource number n another built-in text (not owned, kept until the reset), unless
// the configuration replaced it: the modern pages' forms of the classic texts.
void textResourceSetBuiltin(int n, const char *text);

// ---- The reader ----
void globalSetup();
void globalConfigure(FILE *file);
void globalShutdown();
[[noreturn]] void configError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void configWarning(const char *format, ...) __attribute__((format(printf, 1, 2)));
void reportOrder(const char *name);
void reportOrderFinal(const char *name);

// When set, configError calls it with the exit status after printing its message,
// before ending the program. A test harness uses it to unwind out of the reader
// instead of exiting; the hook must not return.
extern void (*configExitHook)(int status);

// Argument handlers: the destination, the keyword's name for messages, and the
// trimmed argument (null when absent). The handlers lower-case the argument in place.
void simpleString(char **slot, const char *name, const char *argument);
void setFrequency(char *argument);
void setWeekstart(char *argument);
void setOrder(char *argument);
void setPageStyle(char *argument);
void wholeOrAll(int *slot, const char *name, char *argument);
void whole(int *slot, const char *name, char *argument);
void getFlag(int *slot, const char *name, char *argument);

// Block readers: the lines up to the block's closing "end" line.
void readStringArray(FILE *file, StringArray &list, const char *keyword);
void readStringHash(FILE *file, Hash &table, const char *keyword);
