// The analyser's driver: command line, configuration, read loop, history, index.
#pragma once

int quorvelMain(int argc, char **argv);

// Name of the lock file that keeps two runs out of one report directory.
constexpr const char *QUORVEL_LOCK_NAME = "quorvel.lock";

// Takes the exclusive lock of the report directory for the rest of the process, or
// ends the run with status 1 when another run holds it.
void quorvelLock(const char *directory);

// Progress line on a terminal: updated while the log is read, erased at the end.
// Does nothing when standard error is not a terminal.
void progressUpdate(long entriesRead, int period);
void progressFinish();
