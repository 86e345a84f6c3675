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
#include "console/ui.h"
#include "core/mem.h"
#include "log/logbytes.h"
#include "log/logread.h"
#include "log/logtext.h"

LogReader *logStdin = nullptr;
LogSource *logs = nullptr;
int logsTotal = 0;
int logsAllocated = 16;
LogReader *channels[LOG_CHANNELS];

namespace {

char lineBuffer[LOG_LINE_SIZE + LOG_PAD];

// Reads lines until one parses into entry; false at the end of the file.
bool readEntry(LogReader *reader, LogEntry &entry)
{
    char *line;
    const char *limit;
    int length;
    while ((length = logReaderLine(reader, lineBuffer, LOG_LINE_SIZE, &line, &limit)) > 0)
        if (logParseLineInPlace(line, static_cast<std::size_t>(length), limit, entry) == LOG_OK)
            return true;
    return false;
}

bool earlier(const LogEntry &a, const LogEntry &b)
{
    if (a.year != b.year) return a.year < b.year;
    if (a.month != b.month) return a.month < b.month;
    if (a.day != b.day) return a.day < b.day;
    if (a.hour != b.hour) return a.hour < b.hour;
    if (a.minute != b.minute) return a.minute < b.minute;
    return a.second < b.second;
}

// Takes ownership of name and reader; reads the first entry, then closes the file
// unless keepOpen is set (the file then holds slot 0).
void addSource(char *name, LogReader *reader, bool keepOpen)
{
    if (logsTotal >= logsAllocated) {
        while (logsTotal >= logsAllocated) logsAllocated *= 2;
        logs = static_cast<LogSource *>(xrealloc(logs, sizeof(LogSource) * logsAllocated));
    }
    LogSource &source = logs[logsTotal];
    source.name = name;
    source.channel = -1;
    source.hasEntry = 1;
    source.reader = reader;
    if (!readEntry(reader, source.head)) source.hasEntry = 0;
    source.position = logReaderTell(reader);
    if (source.hasEntry && keepOpen) {
        source.channel = 0;
        channels[0] = reader;
    } else if (source.hasEntry) {
        logReaderPark(reader);
    } else {
        logReaderClose(reader);
        source.reader = nullptr;
    }
    logsTotal++;
}

void closeSource(LogSource &source)
{
    if (source.channel >= 0) channels[source.channel] = nullptr;
    source.channel = -1;
    logReaderClose(source.reader);
    source.reader = nullptr;
}

// Gives a closed source a slot: the first free one, else one taken from the file that
// holds it (slot 0, or the first slot whose file resumes cheaply).
void openSource(LogSource &source)
{
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
    if (result == LOG_CANT_REOPEN) {
        std::fprintf(stderr, "Can't reopen the file %s!\n", source.name);
        MyExit(1);
    }
    if (result == LOG_CANT_SEEK) {
        std::fprintf(stderr, "Can't seek in the file %s!\n", source.name);
        MyExit(1);
    }
    channels[slot] = source.reader;
    source.channel = slot;
}

// The stream of a single file: its head, then every later entry parsed in place.
int readSingle(LogEntry &entry)
{
    LogSource &source = logs[0];
    if (source.hasEntry) {
        logEntryCopy(entry, source.head);
        source.hasEntry = 0;
        if (source.reader && source.channel < 0) openSource(source);
        return LOG_OK;
    }
    if (source.reader && readEntry(source.reader, entry)) return LOG_OK;
    if (source.reader) closeSource(source);
    return LOG_END;
}

}  // namespace

int fileIsDirectory(const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode) ? 1 : 0;
}

void logStreamSetup()
{
    const char *file = logFile ? logFile : "";
    logStdin = nullptr;
    logs = nullptr;
    logsTotal = 0;
    logsAllocated = 16;
    if (std::strcmp(file, "-") == 0) {
        logStdin = logReaderStdin();
        return;
    }
    for (LogReader *&channel : channels) channel = nullptr;
    char *path = mystrdup(file);

    DIR *directory = fileIsDirectory(path) ? opendir(path) : nullptr;
    if (directory) {
        if (refererOnlyFlag || useragentOnlyFlag) {
            std::fputs(
                "Sorry, analyzing entire directories is not permitted together with\nthe -r and "
                "-u options. Analyze a single agent or referer log at a time,\nor pipe them all "
                "to standard input and use the '-l -' option.\n",
                stderr);
            closedir(directory);
            myfree(path);
            MyExit(1);
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
        if (logsTotal == 0) {
            std::fprintf(stderr,
                         "No web server log entries were found in the directory %s or in the "
                         "file %s.\n",
                         path, file);
            myfree(path);
            MyExit(1);
        }
    } else {
        LogReader *reader = logReaderOpen(file);
        if (!reader) {
            std::fprintf(stderr, "Quorvel can't read the log file %s or the directory %s.\n", file,
                         path);
            myfree(path);
            MyExit(1);
        }
        logs = static_cast<LogSource *>(xmalloc(sizeof(LogSource)));
        logsAllocated = 1;
        addSource(mystrdup(file), reader, true);
    }
    myfree(path);
}

int logStreamRead(LogEntry &entry)
{
    if (logStdin) return readEntry(logStdin, entry) ? LOG_OK : LOG_END;
    if (logsTotal == 1) return readSingle(entry);

    int best = -1;
    for (int i = 0; i < logsTotal; i++)
        if (logs[i].hasEntry && (best < 0 || earlier(logs[i].head, logs[best].head))) best = i;
    if (best < 0) return LOG_END;

    LogSource &source = logs[best];
    logEntryCopy(entry, source.head);
    if (source.channel < 0) openSource(source);
    if (!readEntry(source.reader, source.head)) {
        source.hasEntry = 0;
        closeSource(source);
    }
    return LOG_OK;
}

void logStreamShutdown()
{
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
