// Driver of the analyser: reads the clock and the command line, has the configuration
// read, settles the reporting mode and the date window, locks the report directory,
// runs the read loop, and writes the index page and the history database.
#include "engine/quorvel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "config/global.h"
#include "console/ui.h"
#include "core/chars.h"
#include "core/dates.h"
#include "core/exit.h"
#include "core/mem.h"
#include "core/outfile.h"
#include "engine/engine.h"
#include "log/logs.h"
#include "report/report.h"

void quorvelClock() {
    nowSecond = std::time(nullptr);
    struct tm parts, *local = localtime_r(&nowSecond, &parts);
    if (local) nowBreakdown = *local;
    nowDay = dateToDay(nowBreakdown.tm_mon + 1, nowBreakdown.tm_mday, nowBreakdown.tm_year + 1900);
}

static void usage() {
    std::fputs(
        "Usage: quorvel [options]\n"
        "Analyses a web server's access log and writes HTML reports.\n"
        "\n"
        "Options:\n"
        "  -c FILE      read the configuration FILE (may be given more than once)\n"
        "  -l LOG       analyse LOG, a log file, a directory of logs, or - for\n"
        "               standard input; replaces the logfile setting\n"
        "  -s           write one summary report for the whole log\n"
        "  -b DATE      begin with the period that contains DATE\n"
        "  -e DATE      end with the period that contains DATE\n"
        "  -j N         read the log with N threads: 1 reads and counts in one thread,\n"
        "               2 (the default) reads and parses in a second one\n"
        "               DATE is MM/DD, MM/DD/YY or MM/DD/YYYY\n"
        "  -r           the log is a referer log (summary report)\n"
        "  -u           the log is a user-agent log (summary report)\n"
        "  -v           print the version and exit\n"
        "  -h, --help   print this summary and exit\n"
        "\n"
        "Without -c the name of the configuration file is asked for on the console\n"
        "(default quorvel.conf); quorset writes a configuration file.\n"
        "\n"
        "Exit status: 0 after a complete run, 1 after an error.\n",
        stdout);
}

// A date of -b or -e: parseDate, with the month, the day of month and the year checked
// and days before the first day number refused.
static int commandDate(const char *text) {
    int month = 0, day = 0, year = 0;
    int fields = std::sscanf(text, "%d/%d/%d", &month, &day, &year);
    if (fields < 2) fields = std::sscanf(text, "%d-%d-%d", &month, &day, &year);
    if (fields < 2 || month < 1 || month > 12) return -1;
    // Days and years that no log entry can carry would only overflow the day arithmetic.
    if (day < 1 || day > 31 || (fields == 3 && year > 9999)) return -1;
    int result = parseDate(text, nowBreakdown.tm_year + 1900);
    return result < 0 ? -1 : result;
}

static int lockDescriptor = -1;

void quorvelLock(const char *directory) {
    std::size_t size = std::strlen(directory) + std::strlen(QUORVEL_LOCK_NAME) + 2;
    char *path = static_cast<char *>(xmalloc(size));
    std::snprintf(path, size, "%s/%s", directory, QUORVEL_LOCK_NAME);
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) outCannotWrite(path);
    myfree(path);
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        close(fd);
        fatal("Another quorvel run is using the report directory %s; try again later.\n",
              directory);
    }
    // Held until the process ends.
    lockDescriptor = fd;
}

// ---- Progress line ----

static int progressShown = 0;
static int progressChecked = 0;
static int progressTerminal = 0;
static time_t progressStart = 0;
static time_t progressLast = 0;

void progressUpdate(long entries, int period) {
    if (!progressChecked) {
        progressChecked = 1;
        progressTerminal = isatty(2);
        progressStart = std::time(nullptr);
        progressLast = progressStart;
    }
    if (!progressTerminal) return;
    time_t now = std::time(nullptr);
    if (now == progressLast) return;
    progressLast = now;
    double rate = static_cast<double>(entries) / static_cast<double>(now - progressStart);
    char date[64] = "";
    if (period >= 0) {
        int month = 0, day = 0, year = 0;
        dayToDate(period, &month, &day, &year);
        std::snprintf(date, sizeof date, "%d/%d/%d", month, day, year);
    }
    std::fprintf(stderr, "\r\033[Kquorvel: %ld entries read, %.0f per second%s%s", entries, rate,
                 period >= 0 ? ", period of " : "", date);
    std::fflush(stderr);
    progressShown = 1;
}

void progressFinish() {
    if (progressShown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        progressShown = 0;
    }
}

// ---- The run ----

static void missingArgument(const char *option) {
    fatal("Argument missing for option %s\n", option);
}

// Opens a configuration file for reading; a directory, a device or a pipe is refused
// (one would hang the run, the other read as an empty file). On failure the message
// says why and 0 is returned.
static FILE *openConfiguration(const char *name) {
    int fd = open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const char *reason = nullptr;
    struct stat status;
    if (fd < 0) {
        reason = std::strerror(errno);
    } else if (fstat(fd, &status) != 0) {
        reason = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        reason = S_ISDIR(status.st_mode) ? "it is a directory" : "it is not a regular file";
    }
    FILE *file = nullptr;
    if (!reason) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = fdopen(fd, "r");
        if (!file) reason = std::strerror(errno);
    }
    if (!file) {
        if (fd >= 0) close(fd);
        std::fprintf(stderr, "Can't open configuration file %s: %s\n", name, reason);
    }
    return file;
}

static void readConfiguration(const char *name) {
    FILE *file = openConfiguration(name);
    if (!file) MyExit(1);
    globalConfigure(file);
    std::fclose(file);
}

static void askConfiguration() {
    std::fputs("No configuration file was specified.\n", stderr);
    char answer[UI_ANSWER_SIZE];
    for (;;) {
        std::fputs("If you do not have a configuration file yet,\n", stderr);
        std::fputs("run quorset to create one or edit the\n", stderr);
        std::fputs("sample configuration file. You can avoid\n", stderr);
        std::fputs("this prompt in the future by specifying\n", stderr);
        std::fputs("the -c option. Example: -c configfilename\n\n", stderr);
        GetString("Configuration file name", "quorvel.conf", answer);
        FILE *file = openConfiguration(answer);
        if (file) {
            globalConfigure(file);
            std::fclose(file);
            return;
        }
        std::fputs(
            "Check the filename and try again, or press control-C and run quorset\n"
            "to create a configuration file.\n",
            stderr);
    }
}

// Completes the window of a daily, weekly or monthly run from the history and today.
static void completeWindow(int &begin, int &end, int beginGiven, int endGiven) {
    if (!beginGiven && databaseEpochsTotal > 0) {
        const DatabaseEpoch &last = database[databaseEpochsTotal - 1];
        if (frequency == FREQ_WEEKLY && last.days >= 1 && last.days <= 7) {
            // The day after the last stored one. When an earlier run stored weeks that
            // began on another weekday, the run begins with a short bridging week from
            // that day to the end of its week, so no day is counted twice or left out.
            begin = last.firstDay + last.days;
        } else {
            begin = epochAlign(epochAdvance(last.firstDay));
        }
    }
    if (!endGiven) {
        if (!nopartialFlag) {
            end = epochAlign(nowDay);
            showPartialEpoch = 1;
            partialEpoch = end;
        } else if (frequency == FREQ_DAILY) {
            end = nowDay - 1;
        } else if (frequency == FREQ_WEEKLY) {
            end = epochAlign(nowDay - 7);
        } else {
            end = epochAlign(epochAlign(nowDay) - 1);
        }
    }
    // A bridging week is named by its own first day, also as the end of the window.
    if (begin > end && epochAlign(begin) == end) {
        if (partialEpoch == end) partialEpoch = begin;
        end = begin;
    }
}

int quorvelMain(int argc, char **argv) {
    quorvelClock();
    bytesAvailable = 0;
    showPartialEpoch = 0;
    partialEpoch = -1;
    refererOnlyFlag = 0;
    useragentOnlyFlag = 0;
    reportResolveName = resolveAddress;
    globalSetup();

    int begin = -1, end = -1;
    int beginGiven = 0, endGiven = 0;
    int configRead = 0;
    int summaryRequested = 0;
    const char *logOverride = nullptr;
    int jobsOverride = 0;

    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-c") == 0) {
            if (i + 1 >= argc) missingArgument(arg);
            readConfiguration(argv[++i]);
            configRead = 1;
        } else if (std::strcmp(arg, "-l") == 0) {
            if (i + 1 >= argc) missingArgument(arg);
            logOverride = argv[++i];
        } else if (std::strcmp(arg, "-v") == 0) {
            std::fputs("quorvel 5.0 p5\n", stderr);
            MyExit(0);
        } else if (std::strcmp(arg, "-s") == 0) {
            summaryRequested = 1;
        } else if (std::strcmp(arg, "-b") == 0) {
            if (i + 1 >= argc) missingArgument(arg);
            begin = commandDate(argv[++i]);
            if (begin < 0)
                fatal(
                    "-b requires a valid date in one of the following formats: "
                    "MM/DD, MM/DD/YY or MM/DD/YYYY.\n");
            beginGiven = 1;
        } else if (std::strcmp(arg, "-e") == 0) {
            if (i + 1 >= argc) missingArgument(arg);
            end = commandDate(argv[++i]);
            if (end < 0)
                fatal(
                    "-e requires a valid date in one of the following formats: "
                    "MM/DD, MM/DD/YY or MM/DD/YYYY format.\n");
            endGiven = 1;
        } else if (std::strcmp(arg, "-j") == 0) {
            if (i + 1 >= argc) missingArgument(arg);
            const char *count = argv[++i];
            long n = 0;
            for (const char *c = count; charIsDigit(static_cast<unsigned char>(*c)) && n < 1000;
                 c++)
                n = n * 10 + (*c - '0');
            if (n < 1 || count[std::strspn(count, "0123456789")] != '\0')
                fatal("-j requires a number of threads, 1 or more.\n");
            jobsOverride = static_cast<int>(n);
        } else if (std::strcmp(arg, "-r") == 0) {
            refererOnlyFlag = 1;
        } else if (std::strcmp(arg, "-u") == 0) {
            useragentOnlyFlag = 1;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            usage();
            MyExit(0);
        } else {
            std::fprintf(stderr, "Unknown option: %s\n", arg);
        }
    }

    // A referer log and an agent log at once cannot be read or named consistently.
    if (refererOnlyFlag && useragentOnlyFlag)
        fatal(
            "The -r and -u options cannot be used together: analyze a referer log (-r)\n"
            "or a user agent log (-u), one at a time.\n");

    if (beginGiven) begin = epochAlign(begin);
    if (logOverride) {
        myfree(logFile);
        logFile = mystrdup(logOverride);
    }
    if (summaryRequested) frequency = FREQ_SUMMARY;
    if (!configRead) askConfiguration();
    codesSetup();
    if (useragentOnlyFlag) {
        frequency = FREQ_SUMMARY;
        useragentsFlag = 1;
    }
    if (refererOnlyFlag) {
        frequency = FREQ_SUMMARY;
        referersFlag = 1;
    }
    if (!logFile)
        fatal(
            "logfile not specified. Please specify a logfile in\n"
            "the configuration file, or use the -l option on\n"
            "the command line.\n");
    if (endGiven) end = epochAlign(end);
    if (beginGiven && endGiven && begin > end) fatal("Error: begin date is later than end date!\n");
    peopleSetup();

    quorvelLock(reportDir);
    // Temporary files of a run that was killed: only a run holding the lock may remove them.
    outRemoveStale(reportDir, extension ? extension : "html", indexName ? indexName : "index.html");

    if (frequency != FREQ_SUMMARY) {
        databaseSetup();
        completeWindow(begin, end, beginGiven, endGiven);
    }

    windowEndGiven = endGiven;
    logThreads = jobsOverride > 0 ? jobsOverride : threadCount;
    parseLog(begin, end);

    // Counts short of what the log holds must not become history that later runs trust.
    if (logStreamDamaged)
        fatal(
            "Error: a compressed log file is damaged (see above); the history was not "
            "updated. Repair or remove the file and run again.\n");

    if (frequency != FREQ_SUMMARY) {
        databaseSort();
        historyReport();
        databaseShutdown();
    }
    peopleShutdown();
    globalShutdown();
    if (lockDescriptor >= 0) {
        close(lockDescriptor);
        lockDescriptor = -1;
    }
    MyExit(0);
}
