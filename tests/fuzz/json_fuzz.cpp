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
#include "log/log.h"

namespace {

template <std::size_t N>
void requireTerminated(const char (&field)[N]) {
    if (!std::memchr(field, '\0', N)) std::abort();
}

void check(const LogEntry &entry, int result) {
    if (result < 0 || result > 5 || result == 4) std::abort();
    if (result == 3) return;
    requireTerminated(entry.site);
    requireTerminated(entry.ident);
    requireTerminated(entry.authuser);
    requireTerminated(entry.proxyHost);
    requireTerminated(entry.method);
    requireTerminated(entry.url);
    requireTerminated(entry.protocol);
    requireTerminated(entry.referer);
    requireTerminated(entry.agent);
    if (result != 5) return;
    if (entry.month < 1 || entry.month > 12) std::abort();
    if (entry.hour < 0 || entry.hour > 23 || entry.minute < 0 || entry.minute > 59) std::abort();
    int month = 0, day = 0, year = 0;
    dayToDate(dateToDay(entry.month, entry.day, entry.year), &month, &day, &year);
}

LogEntry &poisoned() {
    static LogEntry entry;
    std::memset(&entry, 0xbe, sizeof entry);
    return entry;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    nowBreakdown.tm_year = 2025 - 1900;
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
