// Growth of the cost of two texts that grow one item at a time: the trail of a client that
// requests a new page every few seconds (one visit of n steps), and the referrer list of
// one missing page requested from n distinct referring pages. Each log is generated in
// memory and parsed; the timed part is the call the accounting makes for every entry
// (trailAccess, notfoundAccess), or with --full the whole accounting of the entry.
// A third line times the referrer-list helper alone, as notfoundAccess uses it.
//
// Usage: linear_bench [--full] [size ...]     (default sizes 50000 100000 200000)
// Times are processor seconds of the counting alone. A size that takes longer than 20
// seconds ends its series. Exit status 1 when doubling
// the size more than triples the time.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/global.h"
#include "core/dates.h"
#include "core/mem.h"
#include "engine/engine.h"
#include "engine/reflist.h"
#include "log/log.h"

namespace {

enum Workload { TRAIL, NOTFOUND, HELPER };

bool fullAccounting = false;

std::string line(long i, bool missing)
{
    // 100 lines a minute from 1 March 2024 00:00 on: pauses stay far under the timeout.
    long minute = i / 100;
    int day = 1 + static_cast<int>(minute / 1440);
    int hour = static_cast<int>(minute % 1440 / 60);
    int min = static_cast<int>(minute % 60);
    char text[512];
    if (missing)
        std::snprintf(text, sizeof text,
                      "198.51.100.9 - - [%02d/Mar/2024:%02d:%02d:00 +0000] \"GET /missing.html HTTP/1.1\" "
                      "404 0 \"http://ref%ld.example.net/links/page.html\" \"Scanner/1.0\"\n",
                      day, hour, min, i);
    else
        std::snprintf(text, sizeof text,
                      "198.51.100.7 - - [%02d/Mar/2024:%02d:%02d:00 +0000] \"GET /page/%ld.html HTTP/1.1\" "
                      "200 1000 \"-\" \"Crawler/1.0\"\n",
                      day, hour, min, i);
    return text;
}

void count(Workload workload, LogEntry &entry)
{
    if (fullAccounting && workload != HELPER) {
        accountEntry(entry, 0, dateToDay(entry.month, entry.day, entry.year));
        return;
    }
    switch (workload) {
    case TRAIL: trailAccess(entry, dateToDay(entry.month, entry.day, entry.year)); break;
    case NOTFOUND: notfoundAccess(entry); break;
    case HELPER: {
        int row = hashFindOrAdd(notfound, entry.url);
        notfound.doubles[row][0] += 1;
        refListAdd(notfound, row, entry.referer);
        break;
    }
    }
}

// Processor time of this thread: the machine may be shared, and waiting is not cost.
double cpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

double run(Workload workload, long size)
{
    // Entries are parsed in batches outside the timed part.
    constexpr long BATCH = 256;
    LogEntry *batch = static_cast<LogEntry *>(xcalloc(BATCH, sizeof(LogEntry)));
    epochSetup();
    double seconds = 0;
    for (long first = 0; first < size; first += BATCH) {
        long n = size - first < BATCH ? size - first : BATCH;
        for (long i = 0; i < n; i++) {
            if (logParseEntry(line(first + i, workload != TRAIL).c_str(), batch[i]) != LOG_OK) {
                std::fprintf(stderr, "a generated line does not parse: %s", line(first + i, workload != TRAIL).c_str());
                std::exit(2);
            }
        }
        double start = cpuSeconds();
        for (long i = 0; i < n; i++) count(workload, batch[i]);
        seconds += cpuSeconds() - start;
    }
    double start = cpuSeconds();
    if (workload == TRAIL) analyzeTrails();
    seconds += cpuSeconds() - start;
    if (workload == TRAIL) {
        std::printf("  %7ld steps      %8.3f s   %.0f visit(s)\n", size, seconds, totalVisits);
    } else {
        const char *listed = notfound.count > 0 ? notfound.strings[0][0] : nullptr;
        std::printf("  %7ld referrers  %8.3f s   list of %zu bytes\n", size, seconds,
                    listed ? std::strlen(listed) : static_cast<std::size_t>(0));
    }
    std::fflush(stdout);
    refListReset();
    epochShutdown();
    myfree(batch);
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<long> sizes;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--full") == 0) fullAccounting = true;
        else sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty()) sizes = {50000, 100000, 200000};

    quorvelClock();
    globalSetup();
    myDomain = mystrdup("example.org");
    frequency = FREQ_SUMMARY;
    trailsFlag = visitsFlag = 1;
    notfoundFlag = 1;
    trailTimeout = 5;

    int status = 0;
    struct Series {
        Workload workload;
        const char *name;
    } series[] = {
        {TRAIL, fullAccounting ? "one client, one visit: accountEntry" : "one client, one visit: trailAccess"},
        {NOTFOUND, fullAccounting ? "one missing page: accountEntry" : "one missing page: notfoundAccess"},
        {HELPER, "one missing page: refListAdd alone"},
    };
    for (const Series &s : series) {
        std::printf("%s\n", s.name);
        double previous = 0;
        long previousSize = 0;
        for (long size : sizes) {
            double seconds = run(s.workload, size);
            if (previous > 0.002 && size == 2 * previousSize) {
                double ratio = seconds / previous;
                std::printf("           x%.2f for twice the size\n", ratio);
                if (ratio > 3.0) status = 1;
            }
            if (seconds > 20) {
                std::printf("           (larger sizes skipped)\n");
                break;
            }
            previous = seconds;
            previousSize = size;
        }
    }
    globalShutdown();
    std::printf(status ? "cost grows faster than linear\n" : "cost grows linearly\n");
    return status;
}
