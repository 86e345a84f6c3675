// Reporting periods: which period a day belongs to, the per-period tables and their
// life, and the read loop that feeds entries period by period and closes each period
// when the log moves past it.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "config/global.h"
#include "core/dates.h"
#include "core/exit.h"
#include "engine/engine.h"
#include "engine/quorvel.h"
#include "engine/reflist.h"
#include "log/log.h"
#include "log/logs.h"
#include "report/report.h"

time_t nowSecond = 0;
int windowEndGiven = 0;
int currentEpoch = -1;
long entriesRead = 0;
long entriesCounted = 0;
long entriesSkipped = 0;

Hash hostnames;
Hash activeTrails;

static int weekdayOf(int day) {
    return (dayToWeekday(day) + 7 - ((weekStart % 7) + 7) % 7) % 7;
}

int epochAlign(int day) {
    if (frequency == FREQ_WEEKLY) {
        int start = day - weekdayOf(day);
        // The week of 29 February 2000, which has no day number, begins a day later.
        if (start < day && weekdayOf(start) != 0) ++start;
        return start;
    }
    if (frequency == FREQ_MONTHLY) {
        int month = 0, dayOfMonth = 0, year = 0;
        dayToDate(day, &month, &dayOfMonth, &year);
        if (month == 0) return day;  // before the first day number
        return day - dayOfMonth + 1;
    }
    return day;
}

// A week after a short bridging week, or the week of 29 February 2000 that the day
// numbers leave out, is found by aligning a day of the next week.
int epochAdvance(int start) {
    if (frequency == FREQ_WEEKLY) return epochAlign(start + 7);
    if (frequency == FREQ_MONTHLY) {
        int next = start;
        advanceMonth(&next);
        return next;
    }
    return start + 1;
}

int periodDays(int start) {
    if (frequency == FREQ_MONTHLY) return monthLength(start);
    if (frequency == FREQ_WEEKLY) return epochAlign(start) + 7 - start;
    return 1;
}

// Start of the period of an entry's date. A day of month shifted out of its month by
// the hour offset (0, or one past the month's end) is placed by its day number.
static int entryAlign(int day, int dayNumber) {
    if (frequency == FREQ_MONTHLY && day >= 1 && day <= 28) return dayNumber - day + 1;
    return epochAlign(dayNumber);
}

static void zeroArrays() {
    std::memset(codes, 0, sizeof codes);
    std::memset(hourAccesses, 0, sizeof hourAccesses);
    std::memset(hourBytes, 0, sizeof hourBytes);
    std::memset(dayAccesses, 0, sizeof dayAccesses);
    std::memset(dayBytes, 0, sizeof dayBytes);
    totalVisitDurations = 0;
    totalVisits = 0;
    longestVisitDuration = 0;
    robotAccesses = 0;
}

void epochSetup() {
    hashSetup(documents, 1, 2);
    hashSetup(notfound, 1, 1);
    hashSetup(sites, 1, 2);
    hashSetup(hostnames, 1, 1);
    hashSetup(domains, 1, 2);
    hashSetup(proxydomains, 1, 2);
    hashSetup(proxysites, 1, 2);
    hashSetup(authusers, 1, 2);
    hashSetup(activeTrails, 1, 3);
    hashSetup(completeTrails, 1, 3);
    // With the patterns in use, an agent's row also notes where its families are counted.
    hashSetup(useragents, 0, agentsInUse ? 2 + AGENT_FAMILY_CELLS : 2);
    hashSetup(referers, 0, 2);
    hashSetup(browserFamilies, 0, 2);
    hashSetup(systemFamilies, 0, 2);
    hashSetup(robotNames, 0, 2);
    zeroArrays();
}

void epochReset() {
    hashReset(documents);
    hashReset(notfound);
    refListReset();
    hashReset(sites);
    hashReset(proxysites);
    hashReset(useragents);
    hashReset(referers);
    hashReset(authusers);
    hashReset(domains);
    hashReset(proxydomains);
    hashReset(activeTrails);
    hashReset(completeTrails);
    hashReset(browserFamilies);
    hashReset(systemFamilies);
    hashReset(robotNames);
    for (int row = 0; row < totals.count; ++row) {
        if (totals.doubles && totals.doubles[row]) {
            totals.doubles[row][0] = 0;
            totals.doubles[row][1] = 0;
        }
    }
    zeroArrays();
}

void epochShutdown() {
    hashShutdown(documents);
    hashShutdown(notfound);
    refListReset();
    hashShutdown(sites);
    hashShutdown(hostnames);
    hashShutdown(domains);
    hashShutdown(proxydomains);
    hashShutdown(proxysites);
    hashShutdown(authusers);
    hashShutdown(activeTrails);
    hashShutdown(completeTrails);
    hashShutdown(useragents);
    hashShutdown(referers);
    hashShutdown(browserFamilies);
    hashShutdown(systemFamilies);
    hashShutdown(robotNames);
}

void epochClose(int start) {
    analyzeDomains();
    analyzeProxydomains();
    analyzeTotals();
    analyzeTrails();
    int days = periodDays(start);
    if (frequency != FREQ_SUMMARY) databaseEpochAdd(start, days, totals);
    epochReport(start, days);
}

// Closes the current period and opens the next one.
static void closePeriod() {
    epochClose(currentEpoch);
    int next = epochAdvance(currentEpoch);
    currentEpoch = next > currentEpoch ? next : currentEpoch + 1;
    epochReset();
}

static int periodStored(int start) {
    for (int i = databaseEpochsTotal - 1; i >= 0; --i) {
        if (database[i].firstDay == start) return 1;
    }
    return 0;
}

// Closes periods until the current one reaches target. Before the first counted entry, a
// period the history already holds is passed over: a re-run over days the log no longer
// has must not store empty periods over them.
static int keptFirst = -1, keptLast = -1;
static void closeUntil(int target) {
    while (currentEpoch < target) {
        if (entriesCounted == 0 && frequency != FREQ_SUMMARY && periodStored(currentEpoch)) {
            if (keptFirst == -1) keptFirst = currentEpoch;
            keptLast = currentEpoch;
            int next = epochAdvance(currentEpoch);
            currentEpoch = next > currentEpoch ? next : currentEpoch + 1;
            continue;
        }
        closePeriod();
    }
}

// The look-ahead for entries dated in a later period. A later date closes the current
// period only when the log has really moved on: the entry waits, with every later-dated
// entry after it, while entries of the current period go on being counted, until a run
// of consecutive later-dated entries (LOOKAHEAD_CONFIRM of them, or an hour of log time)
// or the end of the log confirms the switch. The waiting entries are then counted in the
// periods they claim, in their order. A lone forged date therefore closes nothing; on an
// ordered log nothing but the order of closing differs, and that not at all.
namespace {

constexpr int LOOKAHEAD_CONFIRM = 256;
constexpr long long LOOKAHEAD_SPAN = 3600;  // seconds of log time
constexpr std::size_t LOOKAHEAD_MAX = 2048;

// Waiting entries are held by pointer, and an entry given back is kept for the next one:
// a period change makes a few hundred entries wait, and entries are kilobytes each.
using Held = std::unique_ptr<LogEntry>;
std::deque<Held> waiting;
std::vector<Held> spareEntries;

Held hold(const LogEntry &entry) {
    Held held;
    if (spareEntries.empty()) {
        held = std::make_unique<LogEntry>(entry);
    } else {
        held = std::move(spareEntries.back());
        spareEntries.pop_back();
        *held = entry;
    }
    return held;
}
int runLength = 0;            // consecutive later-dated entries at the end of the log read so far
long long runStart = 0;       // log time of the first of them
int waitingTarget = INT_MAX;  // the earliest period a waiting entry claims

// The day number and period of an entry's date; a log's date changes once a day, so the
// last answer is kept.
struct DateCache {
    int month = -1, day = -1, year = -1, dayNumber = -1, period = -1;
    void place(const LogEntry &entry) {
        if (entry.month == month && entry.day == day && entry.year == year) return;
        month = entry.month;
        day = entry.day;
        year = entry.year;
        dayNumber = dateToDay(entry.month, entry.day, entry.year);
        if (dayNumber >= 0) period = entryAlign(entry.day, dayNumber);
    }
};

long long logTime(int dayNumber, const LogEntry &entry) {
    return static_cast<long long>(dayNumber) * 86400 + entry.hour * 3600 + entry.minute * 60 +
           entry.second;
}

}  // namespace

static void placeEntry(LogEntry &entry, DateCache &date, int end, int endGiven);

static void commitWaiting(DateCache &date, int end, int endGiven) {
    if (waiting.empty()) return;
    closeUntil(waitingTarget);
    std::deque<Held> replay;
    replay.swap(waiting);
    runLength = 0;
    waitingTarget = INT_MAX;
    for (Held &held : replay) {
        placeEntry(*held, date, end, endGiven);
        spareEntries.push_back(std::move(held));
    }
}

static void placeEntry(LogEntry &entry, DateCache &date, int end, int endGiven) {
    date.place(entry);
    int dayNumber = date.dayNumber;
    int p = date.period;
    if (dayNumber < 0) {
        ++entriesSkipped;  // before the first day a page can be named after
        return;
    }
    // A bridging week starts inside its calendar week: its days belong to it.
    if (p < currentEpoch && dayNumber >= currentEpoch) p = currentEpoch;
    // Checked before anything else, so that no period after the end is written and a
    // first entry with a forged date in the future cannot become the first period.
    if (endGiven && p > end) {
        ++entriesSkipped;
        return;
    }
    if (currentEpoch == -1) currentEpoch = p;
    if (currentEpoch > p) {
        ++entriesSkipped;  // before the current period: late, out of order or before -b
        return;
    }
    if (currentEpoch < p) {
        long long time = logTime(dayNumber, entry);
        if (runLength == 0) runStart = time;
        ++runLength;
        if (p < waitingTarget) waitingTarget = p;
        if (waiting.size() >= LOOKAHEAD_MAX) {
            // Full of entries that the log never confirmed: the oldest is given up.
            spareEntries.push_back(std::move(waiting.front()));
            waiting.pop_front();
            ++entriesSkipped;
        }
        waiting.push_back(hold(entry));
        if (runLength >= LOOKAHEAD_CONFIRM || (runLength > 1 && time - runStart >= LOOKAHEAD_SPAN))
            commitWaiting(date, end, endGiven);
        return;
    }
    runLength = 0;
    ++entriesCounted;
    accountEntry(entry, currentEpoch, dayNumber);
}

// A log in a format quorvel does not read must not pass for a quiet one: nothing is
// written and the run fails. A notable share of strange lines among good ones is only
// reported.
static void checkRecognised() {
    if (entriesRead == 0 && logLinesUnrecognised > 0) {
        const bool shown = logFirstUnrecognised[0] != '\0';
        fatal(
            "Error: %ld lines were read from %s and not one was recognised as a log entry; "
            "nothing was written.\n"
            "quorvel reads the common, combined and vhost_combined formats (Apache, nginx), "
            "the W3C extended format (IIS 6 and later), JSON lines (Caddy, Traefik, nginx "
            "escape=json), the Microsoft IIS standard and EMWAC formats, and referer and agent "
            "logs.\n"
            "%s%s%s",
            logLinesRead, logFile ? logFile : "-", shown ? "The first line not recognised: " : "",
            logFirstUnrecognised, shown ? "\n" : "");
    }
    if (logLinesRead >= 100 && logLinesUnrecognisedNoted * 10 > logLinesRead) {
        std::fprintf(stderr,
                     "Warning: %ld of %ld lines were not recognised as log entries and were "
                     "skipped. The first was: %s\n",
                     logLinesUnrecognisedNoted, logLinesRead, logFirstUnrecognised);
    }
}

// The last period to report. Without -e, a log whose last entry lies more than a period
// before today ends the run with that entry's period rather than with years of empty ones.
static int stoppingPeriod(int end, int latestPeriod) {
    if (windowEndGiven || end == -1 || latestPeriod == -1) return end;
    int today = epochAlign(nowDay);
    if (epochAdvance(latestPeriod) >= today) return end;
    int month = 0, day = 0, year = 0;
    dayToDate(nowDay, &month, &day, &year);
    std::fputs("Note: the log's last period begins ", stderr);
    printDate(stderr, latestPeriod, dateFormat);
    std::fprintf(stderr,
                 ", more than a period before today, so the run ends with it; give "
                 "-e %02d/%02d/%04d to write the periods up to today.\n",
                 month, day, year);
    showPartialEpoch = 0;
    partialEpoch = -1;
    return latestPeriod < end ? latestPeriod : end;
}

void parseLog(int begin, int end) {
    const int summary = frequency == FREQ_SUMMARY;
    const int endGiven = end != -1;
    entriesRead = entriesCounted = entriesSkipped = 0;
    firstDay = lastDay = -1;
    keptFirst = keptLast = -1;
    waiting.clear();
    runLength = 0;
    waitingTarget = INT_MAX;
    epochSetup();
    logStreamSetup();
    currentEpoch = begin;
    if (summary && begin != -1) firstDay = begin;

    DateCache date;
    int latestPeriod = -1;  // the latest period an entry of the window claims
    while (LogEntry *next = logStreamNext()) {
        LogEntry &entry = *next;
        ++entriesRead;
        if ((entriesRead & 1023) == 0) progressUpdate(entriesRead, currentEpoch);
        if (!nobytesFlag && entry.hasBytes) bytesAvailable = 1;
        if (!summary) {
            date.place(entry);
            if (date.dayNumber >= 0 && (!endGiven || date.period <= end) &&
                date.period > latestPeriod)
                latestPeriod = date.period;
            placeEntry(entry, date, end, endGiven);
            continue;
        }
        // One period spans a summary run. Without -e, an entry dated after tomorrow (a day
        // of slack for a server in another time zone) cannot be real: counted first, it
        // would make every real entry after it look late.
        date.place(entry);
        int p = date.period;
        if (date.dayNumber < 0 || (endGiven ? p > end : date.dayNumber > nowDay + 1)) {
            ++entriesSkipped;
            continue;
        }
        if (currentEpoch == -1) {
            currentEpoch = p;
        } else if (currentEpoch > p) {
            ++entriesSkipped;  // before the first entry: out of order or before -b
            continue;
        }
        if (firstDay == -1) firstDay = p;
        if (date.dayNumber > lastDay) lastDay = date.dayNumber;
        ++entriesCounted;
        accountEntry(entry, currentEpoch, date.dayNumber);
    }
    progressFinish();
    checkRecognised();

    if (!summary) {
        commitWaiting(date, end, endGiven);
        end = stoppingPeriod(end, latestPeriod);
        // Also writes the pages of quiet periods up to the end day.
        if (end != -1 && currentEpoch != -1) closeUntil(std::max(epochAdvance(end), end + 1));
        if (keptFirst != -1) {
            std::fputs("The stored periods from ", stderr);
            printDate(stderr, keptFirst, dateFormat);
            std::fputs(" to ", stderr);
            printDate(stderr, keptLast, dateFormat);
            std::fputs(" are before the log's first entry: their history and pages are kept.\n",
                       stderr);
        }
    } else {
        if (lastDay == -1 && firstDay != -1) lastDay = endGiven ? end : firstDay;
        epochClose(currentEpoch);
    }
    epochShutdown();
    logStreamShutdown();
}
