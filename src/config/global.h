// Process-wide settings of the analyser, the lists and tables the configuration
// file fills, the text resources, and the configuration reader.
#pragma once
#include <cstdio>
#include <ctime>

#include "core/hash.h"
#include "core/sarray.h"

// ---- Special values shared with the readers of the settings ----
constexpr int COUNT_ALL = -2;     // a count of "all"
constexpr int FLAG_NOCHART = -3;  // a yes/no setting that is on without its chart
constexpr int DNS_FAST = -4;      // look up only the addresses that are printed
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
extern int bytesFlag;

// ---- Counts (-2 is all) and whole numbers ----
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

// ---- Pattern/value tables and the report order ----
extern Hash fakeDns;            // 1 text column: domain to report
extern Hash totals;             // 1 text column (label), 2 numbers (accesses, bytes)
extern Hash totalsNew;          // scratch table while one totals block is read
extern Hash reportList;         // final order of the page sections
extern Hash reportListWorking;  // sections in order of first mention

// ---- Colours ----
extern char *chartBackgroundColor;
extern char *chartBorderColor;
extern char *chartTextColor;
extern char *chartCrossColor;
extern char *chartTickColor;
extern char *pieBackgroundColor;
extern char *pieBorderColor;

// ---- Run-wide state set by the driver ----
extern struct tm nowBreakdown;  // local time at program start
extern int nowDay;              // today's day number

// Line counter of the configuration file being read.
extern int line;

// ---- Text resources ----
constexpr int TEXT_RESOURCE_COUNT = 140;
struct TextResource {
    const char *name;
    char *text;  // current text: the built-in default or an owned replacement
};
extern TextResource textResources[TEXT_RESOURCE_COUNT];
// Current text of resource number n.
inline const char *textResource(int n) { return textResources[n].text; }

// ---- The reader ----
void globalSetup();
void globalConfigure(FILE *file);
void globalShutdown();
[[noreturn]] void configError(const char *format, ...) __attribute__((format(printf, 1, 2)));
void configWarning(const char *format, ...) __attribute__((format(printf, 1, 2)));
void reportOrder(const char *name);
void reportOrderFinal(const char *name);
