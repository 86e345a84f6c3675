// The analyser's engine: run-wide state, the per-period tables, accounting, periods,
// the history database, trails and visits, host names and domains.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "core/hash.h"
#include "report/reportdata.h"

struct LogEntry;

// ---- Run-wide state (driver) ----
extern time_t nowSecond;     // the clock at start
extern int windowEndGiven;   // 1 when -e named the last period of the run
extern int currentEpoch;     // start day of the period being filled, -1 before the first
extern long entriesRead;     // entries the log stream delivered in this run
extern long entriesCounted;  // entries of the run window handed to the accounting
extern long entriesSkipped;  // entries before the current period (late or out of order)

// Reads the clock into nowSecond, nowBreakdown and nowDay; the only place "now" is read,
// so the whole run agrees on what today is.
void quorvelClock();

// ---- Period tables the page writers do not read (the others: report/reportdata.h) ----
extern Hash hostnames;     // 1 text (host name), 1 number (1 resolved, 0 failed); lives for the run
extern Hash activeTrails;  // 1 text (trail), 3 numbers: latest time, steps, first access

// ---- Accounting of one entry ----
void entryRemoveSuffixes(LogEntry &entry);
int entryDocumentAllowed(const LogEntry &entry);
int entryDocumentIgnored(const LogEntry &entry);
int entrySiteAllowed(const LogEntry &entry);
int entrySiteIgnored(const LogEntry &entry);
int entryRefererIgnored(const LogEntry &entry);
void notfoundAccess(const LogEntry &entry);
void analyzeTotals();
// Steps 1-13 of the accounting for an entry of the period that starts at periodStart;
// dayNumber is the day number of the entry's date.
void accountEntry(LogEntry &entry, int periodStart, int dayNumber);

// ---- Periods and the read loop ----
int epochAlign(int day);      // start of the period that contains day
int epochAdvance(int start);  // start of the period after the one that starts at start
// Days of the period of the current frequency that begins at start: 1 for a day, the
// month's length, and for a week the days up to the end of the week that holds start
// (fewer than 7 only for a week that bridges a change of the weekstart).
int periodDays(int start);
void epochSetup();
void epochReset();
void epochShutdown();
// Closes the period that starts at start (-1 for a summary without entries): the domain,
// totals and trail analyses, the history record unless in summary mode, then the page,
// to which it gives the period's length.
void epochClose(int start);
void parseLog(int begin, int end);

// ---- History database ----
extern int databaseEpochsAllocated;
// Reads database.dat; a file that is not exactly what databaseShutdown writes ends the
// run with status 1 and is left as it is.
void databaseSetup();
// Periods that begin after today are not added: they would hold a run's later periods back.
void databaseEpochAdd(int first, int days, const Hash &values);
void databaseSort();
int databaseEpochsCompare(const void *a, const void *b);
void databaseShutdown();
// When set, the fatal errors of the history call it with the exit status after their
// message, once the table is freed, instead of ending the program. It must not return.
extern void (*databaseExitHook)(int status);

// ---- Trails and visits ----
// Follows the entry's site to the entry's document; dayNumber is the day number of the
// entry's date.
void trailAccess(const LogEntry &entry, int dayNumber);
// trailAccess for a site whose key length and hash are known, and a document of known
// length whose row of documents is known (-1 when not known).
void trailAccessKnown(const LogEntry &entry, int dayNumber, std::size_t siteLength,
                      uint32_t siteHash, std::size_t urlLength, int documentRow);
void trailFlush(const char *trail, double steps, double duration, const char *site);
void analyzeTrails();

// ---- Who is visiting: families of the agents, robots, private addresses ----
// A family's text with its length and hashKeyHash, worked out once per agent text.
struct FamilyKey {
    const char *text = nullptr;
    std::size_t length = 0;
    uint32_t hash = 0;
};
// The browser and system families of an entry's agent, and its robot's name.
struct EntryFamilies {
    FamilyKey browser;
    FamilyKey system;
    FamilyKey robot;  // text null for a person's agent
};
// Number cells the useragents table has beyond its counts while the patterns are in use:
// where the agent's families are counted in the period.
constexpr int AGENT_FAMILY_CELLS = 4;
// 1 while the user-agent patterns are loaded for the accounting (peopleSetup).
extern int agentsInUse;
// Turns host-name lookups off under anonymize (saying so when dns was set) and loads the
// user-agent patterns when a setting needs them; a pattern file that cannot be used ends
// the run with status 1.
void peopleSetup();
void peopleShutdown();
// The families of the entry's agent, false when the patterns are not in use or the entry
// has no agent; families->robot is the robot's name when the agent is a robot's.
// One look-up of the agent's text per entry: the families are kept with the robot's name.
// agentLength and agentHash are the agent text's length and hashKeyHash.
bool entryFamilies(const LogEntry &entry, std::size_t agentLength, uint32_t agentHash,
                   EntryFamilies *families);
// Makes a numeric client address private in place: the last octet of an IPv4 address
// (and a port after it) and the last 80 bits of an IPv6 address become zero. Host names
// are left as they are.
void addressAnonymize(char *site, std::size_t size);

// ---- Host names and domains ----
int addressIsName(const char *text);
// The host name of a numeric address from the cache of hostnames or a reverse lookup,
// in a buffer that the next call overwrites; null for a name or an address without one.
const char *resolveAddress(const char *address);
void entryResolveSite(LogEntry &entry);
void analyzeDomains();
void analyzeProxydomains();
