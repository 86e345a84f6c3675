// Fuzz target for the history database. The first byte chooses the reporting frequency;
// the rest is written as "database.dat" into a private report directory and read with
// databaseSetup, then written back with databaseShutdown. Whatever was read, the file
// written must read back into itself: a second read and write gives the same bytes.
//
// A history that is not exactly what the program writes (and one of more than 4096
// totals columns) ends the run by design; the exit hook turns that end into an exception
// here, so such inputs are passed over.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "engine/engine.h"

namespace {

std::string directory;
std::string databaseFile;

[[noreturn]] void configurationFailed(int) {
    std::abort();
}

std::string slurp(const std::string &path) {
    std::string text;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

struct HistoryRefused {};
[[noreturn]] void historyRefused(int) {
    throw HistoryRefused{};
}

void removeDirectory() {
    std::remove(databaseFile.c_str());
    rmdir(directory.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char pattern[] = "/tmp/quorvel-database-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    directory = pattern;
    databaseFile = directory + "/database.dat";
    std::atexit(removeDirectory);
    configExitHook = configurationFailed;
    databaseExitHook = historyRefused;
    globalSetup();
    std::string config = "reportdir " + directory +
                         "\nmydomain com\nlogfile -\n"
                         "totals\n*.html Pages\n/a* A\nend totals\n"
                         "totalsgroup\n*.gif Images\n/b* B\n*.txt Texts\nend totalsgroup\n";
    FILE *file = fmemopen(config.data(), config.size(), "r");
    if (!file) std::abort();
    globalConfigure(file);
    std::fclose(file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    frequency = data[0] % 3;
    partialEpoch = -1;

    FILE *file = std::fopen(databaseFile.c_str(), "wb");
    if (!file) std::abort();
    if (size > 1 && std::fwrite(data + 1, 1, size - 1, file) != size - 1) std::abort();
    std::fclose(file);

    try {
        databaseSetup();
    } catch (const HistoryRefused &) {
        return 0;
    }
    if (databaseEpochsTotal < 0 || databaseEpochsTotal > databaseEpochsAllocated) std::abort();
    // Dates beyond the year 99999 saturate: such histories are read and written only.
    bool roundTrips = true;
    for (int i = 0; i < databaseEpochsTotal; ++i)
        if (database[i].firstDay >= dateToDay(1, 1, 100000)) roundTrips = false;
    databaseShutdown();
    std::string first = slurp(databaseFile);

    databaseSetup();
    databaseShutdown();
    std::string second = slurp(databaseFile);
    if (roundTrips && first != second) std::abort();
    return 0;
}
