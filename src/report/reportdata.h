// What the page writers read besides the settings: the tables, arrays and sums of the
// period being reported, the run's period state, the history records, and the host-name
// lookup. All of it is defined in reportdata.cpp; the engine fills it and the writers
// only read, so the writers call nothing of the engine.
#pragma once
#include "core/hash.h"

// ---- The period being reported: filled entry by entry, emptied after its page ----
constexpr int CODES_SIZE = 1000;
// Ranked tables: a key per row in order of arrival, number cell 0 the accesses and
// number cell 1 the bytes, unless said otherwise.
extern Hash documents;        // document paths; 1 text
extern Hash notfound;         // missing documents; text cell 0 the referring pages joined
                              // by ", "; only the accesses cell
extern Hash sites;            // client hosts; 1 text
extern Hash domains;          // domains of the sites (filled when the period closes); 1 text
extern Hash proxydomains;     // domains of the proxy hosts (likewise); 1 text
extern Hash proxysites;       // proxy hosts; 1 text
extern Hash authusers;        // authenticated users; 1 text
extern Hash completeTrails;   // trails of closed visits; text cell 0 the site of the latest;
                              // numbers: visits, latest duration, duration sum (minutes)
extern Hash useragents;       // user agents; no text
extern Hash referers;         // referring pages; no text
extern Hash browserFamilies;  // browser families of the agents; no text
extern Hash systemFamilies;   // operating-system families of the agents; no text
extern Hash robotNames;       // robots by name; no text

extern double codes[CODES_SIZE];  // requests per result code
extern double hourAccesses[24];   // accesses and bytes per hour of the day
extern double hourBytes[24];
extern double dayAccesses[31];  // accesses and bytes per day of the period
extern double dayBytes[31];
extern double totalVisits;           // visits closed in the period
extern double totalVisitDurations;   // their durations in minutes, summed
extern double longestVisitDuration;  // the longest of them
extern double robotAccesses;         // with robots apart: robots' accesses, counted only in
                                     // robotNames

// ---- The run ----
extern int bytesAvailable;    // 1 once a counted entry carried a byte count
extern int showPartialEpoch;  // 1 when the last period of the run is still in progress
extern int partialEpoch;      // start day of the period in progress, or -1
extern int firstDay;          // summary mode: first day covered, -1 until known
extern int lastDay;           // summary mode: last day covered, -1 until known

// ---- History: one record per stored or reported period, sorted by first day ----
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
// 1 for this run's report of the period in progress, which is shown but never stored.
int databaseEpochPartial(const DatabaseEpoch &record);

// ---- Host names ----
// With dns fast the writers look up only the client addresses they print, through this:
// the host name in a shared buffer, or null. The engine sets it at start-up; while it is
// null, addresses are printed as they are.
extern const char *(*reportResolveName)(const char *address);
