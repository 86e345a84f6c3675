// Reporting periods: which period a day belongs to, the per-period tables and their
// life, and the read loop that feeds entries period by period and closes each period
// when the log moves past it.
#include <cstring>

#include "config/global.h"
#include "core/dates.h"
#include "engine/engine.h"
#include "engine/reflist.h"
#include "engine/quorvel.h"
#include "log/log.h"
#include "log/logs.h"
#include "report/report.h"

time_t nowSecond = 0;
int bytesAvailable = 0;
int showPartialEpoch = 0;
int partialEpoch = -1;
int firstDay = -1;
int lastDay = -1;
int currentEpoch = -1;
long entriesRead = 0;
long entriesCounted = 0;
long entriesSkipped = 0;

Hash documents;
Hash notfound;
Hash sites;
Hash hostnames;
Hash domains;
Hash proxydomains;
Hash proxysites;
Hash authusers;
Hash activeTrails;
Hash completeTrails;
Hash useragents;
Hash referers;
double codes[CODES_SIZE];
double hourAccesses[24];
double hourBytes[24];
double dayAccesses[31];
double dayBytes[31];

static int weekdayOf(int day) {
    int sunday = ((day + 5) % 7 + 7) % 7;  // 1 January 1971 was a Friday
    return (sunday + 7 - weekStart) % 7;
}

int epochAlign(int day) {
    if (frequency == FREQ_WEEKLY) return day - weekdayOf(day);
    if (frequency == FREQ_MONTHLY) {
        int month = 0, dayOfMonth = 0, year = 0;
        dayToDate(day, &month, &dayOfMonth, &year);
        if (month == 0) return day;  // before the first day number
        return day - dayOfMonth + 1;
    }
    return day;
}

int epochAdvance(int start) {
    if (frequency == FREQ_WEEKLY) return start + 7;
    if (frequency == FREQ_MONTHLY) {
        int next = start;
        advanceMonth(&next);
        return next;
    }
    return start + 1;
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
    hashSetup(useragents, 0, 2);
    hashSetup(referers, 0, 2);
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
}

// Reports the current period and opens the next one.
static void closePeriod() {
    epochReport(currentEpoch);
    int next = epochAdvance(currentEpoch);
    currentEpoch = next > currentEpoch ? next : currentEpoch + 1;
    epochReset();
}

void parseLog(int begin, int end) {
    const int summary = frequency == FREQ_SUMMARY;
    const int endGiven = end != -1;
    entriesRead = entriesCounted = entriesSkipped = 0;
    firstDay = lastDay = -1;
    epochSetup();
    logStreamSetup();
    currentEpoch = begin;
    if (summary && begin != -1) firstDay = begin;

    LogEntry entry;
    int lastMonth = -1, lastDayOfMonth = -1, lastYear = -1, dayNumber = -1, p = -1;
    while (logStreamRead(entry) == 5) {
        ++entriesRead;
        if ((entriesRead & 1023) == 0) progressUpdate(entriesRead, currentEpoch);
        if (!nobytesFlag && entry.hasBytes) bytesAvailable = 1;
        // The date of a log changes once a day: its day number and period are kept.
        if (entry.month != lastMonth || entry.day != lastDayOfMonth || entry.year != lastYear) {
            lastMonth = entry.month;
            lastDayOfMonth = entry.day;
            lastYear = entry.year;
            dayNumber = dateToDay(entry.month, entry.day, entry.year);
            if (dayNumber >= 0) p = entryAlign(entry.day, dayNumber);
        }
        if (dayNumber < 0) {
            ++entriesSkipped;  // before the first day a page can be named after
            continue;
        }
        if (currentEpoch == -1) {
            currentEpoch = p;
        } else if (currentEpoch > p) {
            ++entriesSkipped;  // before the current period: late, out of order or before -b
            continue;
        }
        // Checked before closing periods, so that no period after the end is written. The
        // entry is skipped rather than taken for the end of the log: one line with a
        // damaged or forged date (a user name with blanks and brackets, say) must not hide
        // every entry after it.
        if (endGiven && p > end) {
            ++entriesSkipped;
            continue;
        }
        if (!summary) {
            while (currentEpoch < p) closePeriod();
        }
        ++entriesCounted;
        if (summary) {
            // The heading names the days the summary covers.
            if (firstDay == -1) firstDay = p;
            if (dayNumber > lastDay) lastDay = dayNumber;
        }
        accountEntry(entry, currentEpoch);
    }
    progressFinish();

    if (!summary) {
        // Also writes the pages of quiet periods up to the end day.
        if (endGiven && currentEpoch != -1) {
            while (currentEpoch <= end) closePeriod();
        }
    } else {
        if (lastDay == -1 && firstDay != -1) lastDay = endGiven ? end : firstDay;
        epochReport(currentEpoch);
    }
    epochShutdown();
    logStreamShutdown();
}
