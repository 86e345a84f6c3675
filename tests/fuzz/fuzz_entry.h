// What every log-reader fuzz target asks of a parsed record: a known result, every text
// field terminated within its bounds, and for an entry a lower-case host and a date and
// time the day numbers and periods can hold. Shared by the log, W3C and JSON targets.
#pragma once
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/global.h"
#include "core/dates.h"
#include "log/log.h"

namespace fuzzentry {

template <std::size_t N>
void requireTerminated(const char (&field)[N], const char *name) {
    if (std::memchr(field, '\0', N)) return;
    std::fprintf(stderr, "field %s is not terminated\n", name);
    std::abort();
}

inline void requireLowerCase(const char *text) {
    for (; *text; ++text)
        if (*text >= 'A' && *text <= 'Z') std::abort();
}

#define FUZZ_REQUIRE_TERMINATED(entry, field) fuzzentry::requireTerminated(entry.field, #field)

inline void check(const LogEntry &entry, int result) {
    if (result < 0 || result > 5 || result == 4) std::abort();
    if (result == 3) return;  // a comment line is skipped before the record is touched
    FUZZ_REQUIRE_TERMINATED(entry, site);
    FUZZ_REQUIRE_TERMINATED(entry, ident);
    FUZZ_REQUIRE_TERMINATED(entry, authuser);
    FUZZ_REQUIRE_TERMINATED(entry, proxyHost);
    FUZZ_REQUIRE_TERMINATED(entry, method);
    FUZZ_REQUIRE_TERMINATED(entry, url);
    FUZZ_REQUIRE_TERMINATED(entry, protocol);
    FUZZ_REQUIRE_TERMINATED(entry, referer);
    FUZZ_REQUIRE_TERMINATED(entry, agent);
    if (result != 5) return;
    requireLowerCase(entry.site);
    requireLowerCase(entry.proxyHost);
    if (entry.month < 1 || entry.month > 12) std::abort();
    if (entry.hour < 0 || entry.hour > 23 || entry.minute < 0 || entry.minute > 59) std::abort();
    // The read loop turns every entry into a day number and places it in a period.
    int month = 0, dayOfMonth = 0, year = 0;
    dayToDate(dateToDay(entry.month, entry.day, entry.year), &month, &dayOfMonth, &year);
}

// A poisoned record: a parser that leaves a field unterminated is caught.
inline LogEntry &poisoned() {
    static LogEntry entry;
    std::memset(&entry, 0xbe, sizeof entry);
    return entry;
}

// "Now" is fixed, so that the dates accepted do not change with the day of the run.
inline void fixClock() {
    nowBreakdown.tm_year = 2025 - 1900;
    nowBreakdown.tm_mon = 5;
    nowBreakdown.tm_mday = 15;
}

}  // namespace fuzzentry
