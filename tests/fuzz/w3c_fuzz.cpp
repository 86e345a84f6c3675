// Fuzz target for the W3C extended format. The first input byte chooses the settings the
// parser reads (server name, kept queries, a time offset, the format tried first); the
// rest is a log of one source, directives and data lines, read line by line through the
// dispatcher with the source's field map. Every field must come back terminated within
// its bounds, and an entry that parses must carry a date the day numbers can hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "config/global.h"
#include "core/dates.h"
#include "fuzz_entry.h"
#include "log/log.h"

using fuzzentry::check;

namespace {

char serverSite[] = "W3SVC1";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzentry::fixClock();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned settings = data[0];
    static const int offsets[4][2] = {{0, 0}, {5, 30}, {-7, -45}, {23, 59}};
    serverName = (settings & 1) ? serverSite : nullptr;
    keepqueriesFlag = (settings >> 1) & 1;
    nocaseFlag = (settings >> 2) & 1;
    offsetHours = offsets[(settings >> 3) & 3][0];
    offsetMinutes = offsets[(settings >> 3) & 3][1];
    lastLogType = (settings >> 5) & 3;
    refererOnlyFlag = useragentOnlyFlag = 0;

    LogW3cFields fields{};
    LogEntry entry;
    const char *text = reinterpret_cast<const char *>(data + 1);
    const char *end = text + size - 1;
    while (text < end) {
        const char *newline = static_cast<const char *>(std::memchr(text, '\n', end - text));
        std::size_t length = newline ? newline - text + 1 : end - text;
        // The line as the reader hands it over: in a buffer that may be read a little past it.
        std::vector<char> line(text, text + length);
        line.resize(length + 64, '\0');
        std::memset(&entry, 0xbe, sizeof entry);
        int result =
            logParseLineInPlace(line.data(), length, line.data() + line.size(), entry, &fields);
        check(entry, result);
        if (fields.columns < 0) std::abort();

        // The parser on its own, over a working copy cut at the first zero byte.
        std::vector<char> work(text, text + length);
        work.push_back('\0');
        std::memset(&entry, 0xbe, sizeof entry);
        check(entry, logParseEntryW3c(work.data(), fields, entry));
        text += length;
    }
    serverName = nullptr;
    return 0;
}
