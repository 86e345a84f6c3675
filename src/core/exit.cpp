// The single exit path of both programs.
#include "core/exit.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void MyExit(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}

void fatal(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    MyExit(1);
}

void fatalSystem(const char *format, ...) {
    int error = errno;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    if (error != 0) std::fprintf(stderr, ": %s", std::strerror(error));
    std::fputc('\n', stderr);
    MyExit(1);
}
