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
    int recognised;      // 1 once a line of the file was recognised; always for a lone file
    long unnoted;        // its unrecognised lines, while none was recognised
    char *sample;        // its first unrecognised line (as logFirstUnrecognised), or null
    LogW3cFields w3c;    // its W3C field map, which its own directives set
};

extern LogReader *logStdin;  // standard input while the stream reads it, else null
extern LogSource *logs;
extern int logsTotal;
extern int logsAllocated;
extern LogReader *channels[LOG_CHANNELS];

// Lines of the stream's sources that were read, and those no format recognised (a
// comment, another server's entry or one dated too far ahead is recognised). Blank lines
// count as neither; the rest of a line beyond LOG_LINE_MAX characters is passed over.
// Noted leaves out the lines of directory members of which no line was recognised (such
// as a server's error logs beside its access logs). Reset by logStreamSetup.
extern long logLinesRead;
extern long logLinesUnrecognised;
extern long logLinesUnrecognisedNoted;
// The first noted unrecognised line without its line end, cut to LOG_SAMPLE_MAX
// characters, every control or non-ASCII byte shown as \xhh; empty when there is none.
constexpr int LOG_SAMPLE_MAX = 200;
extern char logFirstUnrecognised[LOG_SAMPLE_MAX * 4 + 1];
// 1 when a compressed source was found damaged (its later entries are lost).
extern int logStreamDamaged;

// Threads that read the log: 1 reads and parses in the caller's thread; 2 or more read,
// decompress and parse in a second thread, a few batches of entries ahead of the caller.
extern int logThreads;

// Opens the stream named by logFile ("-" is standard input); fatal on failure.
void logStreamSetup();
// The next entry of the stream, or null at its end. The entry is the caller's to change
// until the next call. With logThreads above 1 the entries come from the second thread in
// the same order; what it would print, and a fatal error it meets, come out when the
// caller reaches the entry they came with, so that the run is the same with one thread.
LogEntry *logStreamNext();
// Stops the reader thread when one runs (logStreamShutdown does it first).
void logStreamStopReader();
// Prints a message of the stream on standard error, or, in the second thread, keeps it
// for the caller to print when it reaches the entry being read.
void logNote(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Fills entry with the next entry and returns LOG_OK, or returns LOG_END.
int logStreamRead(LogEntry &entry);
// Stops the reader thread, when one runs, and closes every file of the stream.
void logStreamShutdown();
// 1 when path (following symbolic links) is a directory, else 0.
int fileIsDirectory(const char *path);
