// Files the program owns are replaced atomically: written to a temporary file in the
// same directory, checked, then renamed over the old one. A crash, a full disk or an
// unwritable directory never leaves a truncated file behind, and a symbolic link planted
// at the name is replaced, not followed. A replaced file keeps its permission bits (and,
// where the system allows it, its owner and group).
#pragma once
#include <cstdio>

struct OutFile {
    FILE *file = nullptr;
    char *path = nullptr;      // final name (owned)
    char *tempPath = nullptr;  // temporary name in the same directory (owned)
};

// Creates the temporary file for path and returns its stream, or null (errno set).
FILE *outOpen(OutFile &out, const char *path);
// Flushes, checks, closes and renames over the final name. Returns 1 on success; on
// failure removes the temporary file, leaves the old file untouched and returns 0.
int outClose(OutFile &out);
// Closes and removes the temporary file without touching the final name.
void outAbandon(OutFile &out);
// Ends the run for a file of the report directory that cannot be created or completed:
// "Can't write to file! Filename: " and the path, the system's reason for errno (none
// when errno is 0), a line feed, and status 1.
[[noreturn]] void outCannotWrite(const char *path);
// Removes from directory the temporary files that a run killed before it could clean up
// left behind: regular files (never symbolic links) named after a file of the report
// directory followed by the temporary suffix of outOpen. Those files are database.dat,
// indexName, the pages "<day>.<extension>", "<day>h.<extension>", "summary.<extension>",
// "agents.<extension>", "referrers.<extension>" and the charts "<day>[x].gif",
// "summary[x].gif", "agents[x].gif", "referer[x].gif" (x a lower-case letter). Nothing else
// is touched. Call it only while holding the directory's lock.
void outRemoveStale(const char *directory, const char *extension, const char *indexName);
