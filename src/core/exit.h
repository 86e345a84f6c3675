// The single exit path of both programs: a fatal error, the end of a run and the
// end of the console dialogue all leave through MyExit.
#pragma once

// Flushes the standard streams and ends the program; the only caller of exit.
[[noreturn]] void MyExit(int status);

// Prints the message on standard error exactly as given (printf formatting, no added
// line feed) and ends the program with status 1.
[[noreturn]] void fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));
// The same for a failed system call: the message, then ": " and the system's reason for
// errno, then a line feed; only the line feed when errno is 0 (no system call failed).
[[noreturn]] void fatalSystem(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Hooks of a second thread (the log reader's). When fatalDivert is set in the calling
// thread, fatal and fatalSystem give it the whole message instead of printing it and
// ending the program; it must not return. exitPrepare, when set, runs first in MyExit
// (before the streams are flushed), so that a second thread is stopped before the end.
extern thread_local void (*fatalDivert)(const char *message);
extern void (*exitPrepare)();
