// Fuzz target for the JSON-lines access-log reader. The first input byte chooses the
// settings it reads (kept queries, case folding, a time offset); the rest is one line,
// given to the reader on its own and to the dispatcher with the JSON format tried first.
// Every field must come back terminated, and an entry must carry a usable date.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "config/global.h"
#include "core/dates.h"
#include "fuzz_entry.h"
#include "log/log.h"

using fuzzentry::check;
using fuzzentry::poisoned;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzentry::fixClock();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned settings = data[0];
    static const int offsets[4][2] = {{0, 0}, {5, 30}, {-7, -45}, {23, 59}};
    keepqueriesFlag = settings & 1;
    nocaseFlag = (settings >> 1) & 1;
    offsetHours = offsets[(settings >> 2) & 3][0];
    offsetMinutes = offsets[(settings >> 2) & 3][1];
    refererOnlyFlag = useragentOnlyFlag = 0;

    std::vector<char> line(data + 1, data + size);
    line.push_back('\0');
    std::size_t length = strnlen(line.data(), LOG_LINE_MAX);
    std::vector<char> work(line.data(), line.data() + length);
    work.push_back('\0');
    LogEntry *entry = &poisoned();
    int result = logParseEntryJson(work.data(), *entry);
    if (result == 3) std::abort();
    check(*entry, result);

    lastLogType = 4;
    entry = &poisoned();
    check(*entry, logParseEntry(line.data(), *entry));
    return 0;
}
