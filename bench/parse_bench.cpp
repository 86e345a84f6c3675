// Parse-only throughput of the log stream, and a per-line tally of parse results.
//
//   parse_bench [options] LOG      entries per second through logStreamRead
//   parse_bench --codes [options] LOG
//                                  result code of every line (read in 2047-character
//                                  pieces as the stream reads them), with the rejected
//                                  lines listed
//   parse_bench --lines [--repeat N] LOG
//                                  pieces per second through the line reader alone, the
//                                  floor under the parse
// Options: --msdateformat TEMPLATE, --servername NAME, --keepqueries, --nocase,
//          --offset HOURS[:MINUTES], -r (referer log), -u (agent log), --repeat N.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "config/global.h"
#include "log/log.h"
#include "log/logbytes.h"
#include "log/logread.h"
#include "log/logs.h"

namespace {

int usage()
{
    std::fputs(
        "usage: parse_bench [--codes|--lines] [--msdateformat T] [--servername S]\n"
        "                   [--keepqueries] [--nocase] [--offset H[:M]] [-r|-u] [--repeat N] LOG\n",
        stderr);
    return 2;
}

int tallyCodes(const char *path)
{
    FILE *file = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "r");
    if (!file) {
        std::fprintf(stderr, "parse_bench: can't open %s\n", path);
        return 1;
    }
    static const char *const names[] = {"not this format", "dated in the future",
                                        "other server",    "comment",
                                        "end",             "parsed"};
    long counts[6] = {};
    long number = 0;
    char line[LOG_LINE_SIZE];
    LogEntry entry;
    while (std::fgets(line, sizeof line, file)) {
        number++;
        int code = logParseEntry(line, entry);
        counts[code]++;
        if (code != LOG_OK && code != LOG_COMMENT)
            std::printf("line %ld: %d (%s): %.120s%s", number, code, names[code], line,
                        std::strchr(line, '\n') ? "" : "\n");
    }
    if (file != stdin) std::fclose(file);
    std::printf("%ld pieces:", number);
    for (int code = 0; code < 6; code++)
        if (code != LOG_END) std::printf(" %s %ld;", names[code], counts[code]);
    std::printf("\n");
    return 0;
}

// Seconds to read every piece of the file, and how many there were.
double readLines(const char *path, long *pieces)
{
    static char spare[LOG_LINE_SIZE + LOG_PAD];
    auto start = std::chrono::steady_clock::now();
    LogReader *reader = std::strcmp(path, "-") == 0 ? logReaderStdin() : logReaderOpen(path);
    *pieces = 0;
    if (!reader) return 0;
    char *line;
    const char *limit;
    while (logReaderLine(reader, spare, LOG_LINE_SIZE, &line, &limit) > 0) ++*pieces;
    logReaderClose(reader);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv)
{
    bool codes = false, lines = false;
    int repeat = 1;
    const char *path = nullptr;
    std::time_t now = std::time(nullptr);
    nowBreakdown = *std::localtime(&now);
    referersFlag = 1;
    useragentsFlag = 1;
    static char defaultDate[] = "mm/dd/yy";
    msDateFormat = defaultDate;

    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        bool more = i + 1 < argc;
        if (std::strcmp(arg, "--codes") == 0) {
            codes = true;
        } else if (std::strcmp(arg, "--lines") == 0) {
            lines = true;
        } else if (std::strcmp(arg, "--msdateformat") == 0 && more) {
            msDateFormat = argv[++i];
        } else if (std::strcmp(arg, "--servername") == 0 && more) {
            serverName = argv[++i];
        } else if (std::strcmp(arg, "--keepqueries") == 0) {
            keepqueriesFlag = 1;
        } else if (std::strcmp(arg, "--nocase") == 0) {
            nocaseFlag = 1;
        } else if (std::strcmp(arg, "--offset") == 0 && more) {
            const char *text = argv[++i];
            int sign = *text == '-' ? -1 : 1;
            if (*text == '-' || *text == '+') text++;
            offsetHours = sign * std::atoi(text);
            const char *colon = std::strchr(text, ':');
            offsetMinutes = colon ? sign * std::atoi(colon + 1) : 0;
        } else if (std::strcmp(arg, "-r") == 0) {
            refererOnlyFlag = 1;
        } else if (std::strcmp(arg, "-u") == 0) {
            useragentOnlyFlag = 1;
        } else if (std::strcmp(arg, "--repeat") == 0 && more) {
            repeat = std::atoi(argv[++i]);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usage();
        } else {
            path = arg;
        }
    }
    if (!path || repeat < 1) return usage();
    if (codes) return tallyCodes(path);
    if (lines) {
        double best = 0;
        long pieces = 0;
        for (int run = 0; run < repeat; run++) {
            double seconds = readLines(path, &pieces);
            if (run == 0 || seconds < best) best = seconds;
        }
        std::printf("%ld pieces in %.3f s (best of %d): %.0f pieces/s\n", pieces, best, repeat,
                    best > 0 ? pieces / best : 0.0);
        return 0;
    }

    logFile = const_cast<char *>(path);
    double best = 0;
    long entries = 0;
    for (int run = 0; run < repeat; run++) {
        auto start = std::chrono::steady_clock::now();
        logStreamSetup();
        LogEntry entry;
        entries = 0;
        while (logStreamRead(entry) == LOG_OK) entries++;
        logStreamShutdown();
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (run == 0 || seconds < best) best = seconds;
    }
    std::printf("%ld entries in %.3f s (best of %d): %.0f entries/s\n", entries, best, repeat,
                best > 0 ? entries / best : 0.0);
    return 0;
}
