// The single exit path of both programs.
#include "core/exit.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

thread_local void (*fatalDivert)(const char *message) = nullptr;
void (*exitPrepare)() = nullptr;

void MyExit(int status) {
    if (void (*prepare)() = exitPrepare) {
        exitPrepare = nullptr;
        prepare();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}

// The message of a diverted fatal error, cut at 4 KiB.
static void divert(const char *format, va_list args, int error) {
    char message[4096];
    int length = std::vsnprintf(message, sizeof message, format, args);
    if (length < 0) length = 0;
    std::size_t at = static_cast<std::size_t>(length) < sizeof message
                         ? static_cast<std::size_t>(length)
                         : sizeof message - 1;
    if (error >= 0) {
        if (error != 0)
            at += static_cast<std::size_t>(
                std::snprintf(message + at, sizeof message - at, ": %s", std::strerror(error)));
        if (at < sizeof message - 1) {
            message[at++] = '\n';
            message[at] = '\0';
        }
    }
    fatalDivert(message);
}

void fatal(const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (fatalDivert) divert(format, args, -1);
    std::vfprintf(stderr, format, args);
    va_end(args);
    MyExit(1);
}

void fatalSystem(const char *format, ...) {
    int error = errno;
    va_list args;
    va_start(args, format);
    if (fatalDivert) divert(format, args, error);
    std::vfprintf(stderr, format, args);
    va_end(args);
    if (error != 0) std::fprintf(stderr, ": %s", std::strerror(error));
    std::fputc('\n', stderr);
    MyExit(1);
}
