// Fuzz target for the configuration reader: any bytes read as a configuration file
// must end in a finished configuration or in a configuration error, never in a
// crash, an out-of-bounds access or a leak. The error path is intercepted through
// configExitHook, which unwinds back here instead of ending the process; the
// configuration is then released as at the end of a run.
//
// Build and run with clang's libFuzzer from the source root, for example:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//     tests/fuzz/config_fuzz.cpp src/config/*.cpp src/core/*.cpp src/console/*.cpp \
//     -o config_fuzz
//   ./config_fuzz -max_total_time=60 -close_fd_mask=2 corpus/
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "config/global.h"

namespace {

struct ConfigAbort {};

[[noreturn]] void unwind(int) {
    throw ConfigAbort{};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    configExitHook = unwind;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // A private copy: the reader must not depend on the input staying put.
    std::vector<char> bytes(data, data + size);
    FILE *file =
        size > 0 ? fmemopen(bytes.data(), bytes.size(), "r") : std::fopen("/dev/null", "r");
    if (!file) return 0;
    globalSetup();
    try {
        globalConfigure(file);
    } catch (const ConfigAbort &) {
    }
    std::fclose(file);
    globalShutdown();
    return 0;
}
