// The log stream over standard input, one file, or a directory of files merged by time.
//
// Each file keeps its next parsed entry (its head); the earliest head is delivered and
// its file read ahead. At most 20 files are open at once: a file that needs a slot when
// all are taken closes another, which later resumes where it stopped. A single log file
// stays open from setup to its end (so that a named pipe can be read), and once its
// first entry is delivered, its lines are parsed straight into the caller's entry.
#include "log/logs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "config/global.h"
#include "core/exit.h"
#include "core/mem.h"
#include "log/logbytes.h"
#include "log/logread.h"
#include "log/logtext.h"

LogReader *logStdin = nullptr;
LogSource *logs = nullptr;
int logsTotal = 0;
int logsAllocated = 16;
LogReader *channels[LOG_CHANNELS];
long logLinesRead = 0;
long logLinesUnrecognised = 0;
long logLinesUnrecognisedNoted = 0;
char logFirstUnrecognised[LOG_SAMPLE_MAX * 4 + 1];
int logStreamDamaged = 0;

namespace {

char lineBuffer[LOG_LINE_SIZE + LOG_PAD];
// The tallies of standard input, which is never a directory member.
LogSource standardInput;

// The line without its line end, at most LOG_SAMPLE_MAX characters, safe to print.
void showLine(char *target, std::size_t size, const char *line, std::size_t length) {
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) length--;
    if (length > static_cast<std::size_t>(LOG_SAMPLE_MAX)) length = LOG_SAMPLE_MAX;
    std::size_t at = 0;
    for (std::size_t i = 0; i < length && at + 5 <= size; i++) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c >= 0x7f)
            at += static_cast<std::size_t>(std::snprintf(target + at, size - at, "\\x%02x", c));
        else
            target[at++] = static_cast<char>(c);
    }
    target[at] = '\0';
}

void dropSample(LogSource &source) {
    myfree(source.sample);
    source.sample = nullptr;
}

// A directory member's first recognised line: its unrecognised lines are noted from now on.
[[gnu::cold]] void memberRecognised(LogSource &source) {
    source.recognised = 1;
    logLinesUnrecognisedNoted += source.unnoted;
    source.unnoted = 0;
    if (source.sample && !logFirstUnrecognised[0])
        logCopyBounded(logFirstUnrecognised, source.sample, sizeof logFirstUnrecognised - 1);
    dropSample(source);
}

bool blankLine(const char *line, std::size_t length) {
    for (std::size_t i = 0; i < length; i++)
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '\n') return false;
    return true;
}

// Counts a line that gave no entry.
[[gnu::noinline]] void tallyLine(int result, const char *line, std::size_t length,
                                 LogSource &source) {
    if (result != LOG_NOT_THIS_FORMAT || logLineWasFuture) {
        if (!source.recognised) memberRecognised(source);
        return;
    }
    if (blankLine(line, length)) {
        logLinesRead--;
        return;
    }
    logLinesUnrecognised++;
    if (source.recognised) {
        logLinesUnrecognisedNoted++;
        if (!logFirstUnrecognised[0])
            showLine(logFirstUnrecognised, sizeof logFirstUnrecognised, line, length);
        return;
    }
    source.unnoted++;
    if (!source.sample && !logFirstUnrecognised[0]) {
        char shown[sizeof logFirstUnrecognised];
        showLine(shown, sizeof shown, line, length);
        source.sample = mystrdup(shown);
    }
}

// Reads lines until one parses into entry; false at the end of the file. Of a line
// longer than one read, the first piece is parsed and the rest passed over: text deep
// in a long field must not pose as an entry of its own.
[[gnu::always_inline]] inline bool readEntry(LogReader *reader, LogEntry &entry,
                                             LogSource &source) {
    char *line;
    const char *limit;
    int length;
    while ((length = logReaderLine(reader, lineBuffer, LOG_LINE_SIZE, &line, &limit)) > 0) {
        std::size_t size = static_cast<std::size_t>(length);
        logLinesRead++;
        int result = logParseLineInPlace(line, size, limit, entry, &source.w3c);
        if (result != LOG_OK)
            tallyLine(result, line, size, source);
        else if (!source.recognised)
            memberRecognised(source);
        if (length == LOG_LINE_MAX && line[length - 1] != '\n') logReaderSkipLine(reader);
        if (result == LOG_OK) return true;
    }
    if (logReaderDamaged(reader)) logStreamDamaged = 1;
    return false;
}

bool earlier(const LogEntry &a, const LogEntry &b) {
    if (a.year != b.year) return a.year < b.year;
    if (a.month != b.month) return a.month < b.month;
    if (a.day != b.day) return a.day < b.day;
    if (a.hour != b.hour) return a.hour < b.hour;
    if (a.minute != b.minute) return a.minute < b.minute;
    return a.second < b.second;
}

// Takes ownership of name and reader; reads the first entry, then closes the file
// unless keepOpen is set (a lone file, which then holds slot 0).
void addSource(char *name, LogReader *reader, bool keepOpen) {
    if (logsTotal >= logsAllocated) {
        while (logsTotal >= logsAllocated) logsAllocated *= 2;
        logs = static_cast<LogSource *>(xrealloc(logs, sizeof(LogSource) * logsAllocated));
    }
    LogSource &source = logs[logsTotal];
    source.name = name;
    source.channel = -1;
    source.hasEntry = 1;
    source.reader = reader;
    source.recognised = keepOpen ? 1 : 0;
    source.unnoted = 0;
    source.sample = nullptr;
    source.w3c = LogW3cFields{};
    if (!readEntry(reader, source.head, source)) source.hasEntry = 0;
    source.position = logReaderTell(reader);
    if (source.hasEntry && keepOpen) {
        source.channel = 0;
        channels[0] = reader;
    } else if (source.hasEntry) {
        logReaderPark(reader);
    } else {
        dropSample(source);
        logReaderClose(reader);
        source.reader = nullptr;
    }
    logsTotal++;
}

void closeSource(LogSource &source) {
    dropSample(source);
    if (source.channel >= 0) channels[source.channel] = nullptr;
    source.channel = -1;
    logReaderClose(source.reader);
    source.reader = nullptr;
}

// Gives a closed source a slot: the first free one, else one taken from the file that
// holds it (slot 0, or the first slot whose file resumes cheaply).
void openSource(LogSource &source) {
    int slot = -1;
    for (int i = 0; i < LOG_CHANNELS && slot < 0; i++)
        if (!channels[i]) slot = i;
    if (slot < 0) {
        slot = 0;
        for (int i = 0; i < LOG_CHANNELS; i++)
            if (logReaderResumesCheaply(channels[i])) {
                slot = i;
                break;
            }
        for (int i = 0; i < logsTotal; i++)
            if (logs[i].channel == slot) {
                logs[i].position = logReaderTell(logs[i].reader);
                logReaderPark(logs[i].reader);
                logs[i].channel = -1;
                break;
            }
        channels[slot] = nullptr;
    }
    int result = logReaderResume(source.reader, source.position);
    if (result == LOG_CANT_REOPEN) fatal("Can't reopen the file %s!\n", source.name);
    if (result == LOG_CANT_SEEK) fatal("Can't seek in the file %s!\n", source.name);
    channels[slot] = source.reader;
    source.channel = slot;
}

// The stream of a single file: its head, then every later entry parsed in place.
int readSingle(LogEntry &entry) {
    LogSource &source = logs[0];
    if (source.hasEntry) {
        logEntryCopy(entry, source.head);
        source.hasEntry = 0;
        if (source.reader && source.channel < 0) openSource(source);
        return LOG_OK;
    }
    if (source.reader && readEntry(source.reader, entry, source)) return LOG_OK;
    if (source.reader) closeSource(source);
    return LOG_END;
}

}  // namespace

int fileIsDirectory(const char *path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode) ? 1 : 0;
}

void logStreamSetup() {
    const char *file = logFile ? logFile : "";
    logStdin = nullptr;
    logs = nullptr;
    logsTotal = 0;
    logsAllocated = 16;
    logLinesRead = logLinesUnrecognised = logLinesUnrecognisedNoted = 0;
    logFirstUnrecognised[0] = '\0';
    logStreamDamaged = 0;
    if (std::strcmp(file, "-") == 0) {
        standardInput = {};
        standardInput.recognised = 1;
        logStdin = logReaderStdin();
        return;
    }
    for (LogReader *&channel : channels) channel = nullptr;
    char *path = mystrdup(file);

    DIR *directory = fileIsDirectory(path) ? opendir(path) : nullptr;
    if (directory) {
        if (refererOnlyFlag || useragentOnlyFlag) {
            closedir(directory);
            myfree(path);
            fatal(
                "Sorry, analyzing entire directories is not permitted together with\nthe -r and "
                "-u options. Analyze a single agent or referer log at a time,\nor pipe them all "
                "to standard input and use the '-l -' option.\n");
        }
        logs = static_cast<LogSource *>(xmalloc(sizeof(LogSource) * logsAllocated));
        while (struct dirent *member = readdir(directory)) {
            if (std::strcmp(member->d_name, ".") == 0 || std::strcmp(member->d_name, "..") == 0)
                continue;
            std::size_t size = std::strlen(path) + std::strlen(member->d_name) + 2;
            char *name = static_cast<char *>(xmalloc(size));
            std::snprintf(name, size, "%s/%s", path, member->d_name);
            bool notRegular = false;
            LogReader *reader = logReaderOpenMember(name, &notRegular);
            if (!reader) {
                // Reading a named pipe or a device would wait for a writer, or never end.
                if (notRegular)
                    std::fprintf(stderr, "Skipping %s: it is not a regular file.\n", name);
                myfree(name);
                continue;
            }
            addSource(name, reader, false);
        }
        closedir(directory);
        if (logsTotal == 0)
            fatal("No web server log entries were found in the directory %s or in the file %s.\n",
                  path, file);
    } else {
        LogReader *reader = logReaderOpen(file);
        if (!reader)
            fatalSystem("Quorvel can't read the log file %s or the directory %s.", file, path);
        logs = static_cast<LogSource *>(xmalloc(sizeof(LogSource)));
        logsAllocated = 1;
        addSource(mystrdup(file), reader, true);
    }
    myfree(path);
}

int logStreamRead(LogEntry &entry) {
    if (logStdin) return readEntry(logStdin, entry, standardInput) ? LOG_OK : LOG_END;
    if (logsTotal == 1) return readSingle(entry);

    int best = -1;
    for (int i = 0; i < logsTotal; i++)
        if (logs[i].hasEntry && (best < 0 || earlier(logs[i].head, logs[best].head))) best = i;
    if (best < 0) return LOG_END;

    LogSource &source = logs[best];
    logEntryCopy(entry, source.head);
    if (source.channel < 0) openSource(source);
    if (!readEntry(source.reader, source.head, source)) {
        source.hasEntry = 0;
        closeSource(source);
    }
    return LOG_OK;
}

void logStreamShutdown() {
    logStreamStopReader();
    if (logStdin) {
        logReaderClose(logStdin);
        logStdin = nullptr;
        return;
    }
    for (int i = 0; i < logsTotal; i++) {
        closeSource(logs[i]);
        myfree(logs[i].name);
    }
    myfree(logs);
    logs = nullptr;
    logsTotal = 0;
    logsAllocated = 16;
    for (LogReader *&channel : channels) channel = nullptr;
}
