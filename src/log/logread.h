// Line reader over one log file, plain or compressed (gzip, bzip2), that can give up
// its open file and resume later where it stopped.
#pragma once

struct LogReader;

// Result of logReaderResume.
enum { LOG_RESUMED = 0, LOG_CANT_REOPEN = 1, LOG_CANT_SEEK = 2 };

// Opens a file for reading; null when it can not be opened. A name ending in ".gz" or
// ".bz2", or data beginning with the gzip or bzip2 signature, is decompressed.
LogReader *logReaderOpen(const char *path);
// Opens a member of a log directory without waiting: a file that is not a regular file
// (a named pipe, a socket, a device) is not opened, and notRegular is set. A directory
// opens as an empty file.
LogReader *logReaderOpenMember(const char *path, bool *notRegular);
// Reads standard input, decompressing it when it begins with a gzip or bzip2 signature.
LogReader *logReaderStdin();

// Reads one line as fgets does: through the line end, or size - 1 characters,
// whichever comes first, always terminated. Returns the number of characters read,
// 0 at the end. Damaged compressed data is reported once on standard error and ends
// the text after the last whole line before the damage.
int logReaderGets(LogReader *reader, char *line, int size);

// The next line cut exactly as logReaderGets cuts it with the same size, without
// copying it when it lies whole in the reader's buffer: *line then points into the
// buffer, else the line is copied into spare, which must hold size + LOG_PAD bytes. The
// line is not terminated; its byte at the returned length may be changed and must be
// put back before the next call, and the bytes after the line up to *limit may be read.
// Returns the length, 0 at the end.
int logReaderLine(LogReader *reader, char *spare, int size, char **line, const char **limit);

// Passes over the rest of the line that the last read cut short, through its line end.
void logReaderSkipLine(LogReader *reader);

// Whether the reader met damaged compressed data.
bool logReaderDamaged(const LogReader *reader);

// Characters of text handed out so far (for a plain file, its read position).
long long logReaderTell(const LogReader *reader);

// Closes the file but keeps what resuming needs.
void logReaderPark(LogReader *reader);
// Opens the file again and continues at position (the value logReaderTell gave when
// the reader was parked).
int logReaderResume(LogReader *reader, long long position);
// Whether resuming is cheap: plain and gzip files resume in constant time, bzip2 files
// decompress again from the start.
bool logReaderResumesCheaply(const LogReader *reader);

void logReaderClose(LogReader *reader);
