// The analyser's engine: run-wide state, the per-period tables, accounting, periods,
// the history database, trails and visits, host names and domains.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "core/hash.h"

struct LogEntry;

// ---- Run-wide state (driver) ----
extern time_t nowSecond;       // the clock at start
extern int windowEndGiven;     // 1 when -e named the last period of the run
extern int bytesAvailable;     // 1 once a counted entry carried a byte count
extern int showPartialEpoch;   // 1 when the last period of the run is still in progress
extern int partialEpoch;       // start day of the period in progress, or -1
extern int firstDay;           // summary mode: first day covered, -1 until known
extern int lastDay;            // summary mode: last day covered, -1 until known
extern int currentEpoch;       // start day of the period being filled, -1 before the first
extern long entriesRead;       // entries the log stream delivered in this run
extern long entriesCounted;    // entries of the run window handed to the accounting
extern long entriesSkipped;    // entries before the current period (late or out of order)

// Reads the clock into nowSecond, nowBreakdown and nowDay; the only place "now" is read,
// so the whole run agrees on what today is.
void quorvelClock();

// ---- Period tables ----
constexpr int CODES_SIZE = 1000;
extern Hash documents;       // 1 text, 2 numbers: accesses, bytes
extern Hash notfound;        // 1 text (referring pages), 1 number: accesses
extern Hash sites;           // 1 text, 2 numbers
extern Hash hostnames;       // 1 text (host name), 1 number (1 resolved, 0 failed); lives for the run
extern Hash domains;         // 1 text, 2 numbers
extern Hash proxydomains;    // 1 text, 2 numbers
extern Hash proxysites;      // 1 text, 2 numbers
extern Hash authusers;       // 1 text, 2 numbers
extern Hash activeTrails;    // 1 text (trail), 3 numbers: latest time, steps, first access
extern Hash completeTrails;  // 1 text (site), 3 numbers: visits, latest duration, duration sum
extern Hash useragents;      // 0 text, 2 numbers
extern Hash referers;        // 0 text, 2 numbers
extern double codes[CODES_SIZE];
extern double hourAccesses[24];
extern double hourBytes[24];
extern double dayAccesses[31];
extern double dayBytes[31];

// ---- Accounting of one entry ----
void entryRemoveSuffixes(LogEntry &entry);
int entryDocumentAllowed(const LogEntry &entry);
int entryDocumentIgnored(const LogEntry &entry);
int documentHidden(const char *document);
int entrySiteAllowed(const LogEntry &entry);
int entrySiteIgnored(const LogEntry &entry);
int entryRefererIgnored(const LogEntry &entry);
void notfoundAccess(const LogEntry &entry);
void analyzeTotals();
// Steps 1-13 of the accounting for an entry of the period that starts at periodStart.
void accountEntry(LogEntry &entry, int periodStart);

// ---- Periods and the read loop ----
int epochAlign(int day);        // start of the period that contains day
int epochAdvance(int start);    // start of the period after the one that starts at start
void epochSetup();
void epochReset();
void epochShutdown();
void parseLog(int begin, int end);

// ---- History database ----
struct DatabaseEpoch {
    int firstDay;
    int kind;          // 0 day, 1 week, 2 month
    double *accesses;  // one per key of totals, plus one
    double *bytes;
    int days;
    int thisRun;  // 1 when this run analysed the period, 0 when read from database.dat
};
extern DatabaseEpoch *database;
extern int databaseEpochsTotal;
extern int databaseEpochsAllocated;
// Reads database.dat; a file that is not exactly what databaseShutdown writes ends the
// run with status 1 and is left as it is.
void databaseSetup();
// Periods that begin after today are not added: they would hold a run's later periods back.
void databaseEpochAdd(int first, int days, const Hash &values);
void databaseSort();
int databaseEpochsCompare(const void *a, const void *b);
// 1 for this run's report of the period in progress, which is shown but never stored.
int databaseEpochPartial(const DatabaseEpoch &record);
void databaseShutdown();
// When set, the fatal errors of the history call it with the exit status after their
// message, once the table is freed, instead of ending the program. It must not return.
extern void (*databaseExitHook)(int status);

// ---- Trails and visits ----
extern double totalVisits;
extern double totalVisitDurations;
extern double longestVisitDuration;
void trailAccess(const LogEntry &entry);
// trailAccess for a site whose key length and hash are known, and a document of known
// length whose row of documents is known (-1 when not known).
void trailAccessKnown(const LogEntry &entry, std::size_t siteLength, uint32_t siteHash,
                      std::size_t urlLength, int documentRow);
void trailFlush(const char *trail, double steps, double duration, const char *site);
void analyzeTrails();
void trailsReport(FILE *page, int period);
void visitsReport(FILE *page, int period);

// ---- Host names and domains ----
int addressIsName(const char *text);
const char *resolveAddress(const char *address);  // name in a shared buffer, or null
void entryResolveSite(LogEntry &entry);
void analyzeDomains();
void analyzeProxydomains();
