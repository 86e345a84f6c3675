// The log stream: standard input, one log file, or every file of a directory merged
// entry by entry in time order, delivered as parsed entries.
#pragma once
#include "log/log.h"

struct LogReader;

constexpr int LOG_CHANNELS = 20;  // files open at the same time, at most

// One file of the stream.
struct LogSource {
    char *name;          // path; "%s/%s" of directory and member for a directory member
    LogEntry head;       // the file's next entry, already parsed
    int channel;         // slot of channels the file is read through, -1 while closed
    int hasEntry;        // 1 while head holds an entry not yet delivered (a single
                         // file delivers its later entries without the head)
    long long position;  // where reading resumes after the file was closed
    LogReader *reader;   // open or parked reader, null once the file is exhausted
};

extern LogReader *logStdin;  // standard input while the stream reads it, else null
extern LogSource *logs;
extern int logsTotal;
extern int logsAllocated;
extern LogReader *channels[LOG_CHANNELS];

// Opens the stream named by logFile ("-" is standard input); fatal on failure.
void logStreamSetup();
// Fills entry with the next entry and returns LOG_OK, or returns LOG_END.
int logStreamRead(LogEntry &entry);
void logStreamShutdown();
// 1 when path (following symbolic links) is a directory, else 0.
int fileIsDirectory(const char *path);
