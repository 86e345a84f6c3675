// Fuzz target for the log-line parsers. The first input byte chooses the mode (access
// log, referer log or agent log) and the settings the parsers read: the server name,
// kept queries, case folding, a time offset, the IIS date template and the format
// tried first. The rest is one log line, parsed by the dispatcher and by each format
// parser on its own. Every field must come back terminated within its bounds, and an
// access-log entry that parses must carry a date the day numbers can hold.
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
using fuzzentry::poisoned;

namespace {

char serverWeb[] = "www.example.com";
char serverIis[] = "WEB1";
char templateUs[] = "mm/dd/yy";
char templateEu[] = "dd.mm.yyyy";
char templateIso[] = "yyyy-mm-dd";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzentry::fixClock();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    const unsigned settings = data[0];
    static const int offsets[4][2] = {{0, 0}, {5, 30}, {-7, -45}, {23, 59}};
    refererOnlyFlag = settings % 3 == 1;
    useragentOnlyFlag = settings % 3 == 2;
    serverName = (settings & 4) ? ((settings & 8) ? serverIis : serverWeb) : nullptr;
    keepqueriesFlag = (settings >> 4) & 1;
    nocaseFlag = (settings >> 5) & 1;
    offsetHours = offsets[(settings >> 6) & 3][0];
    offsetMinutes = offsets[(settings >> 6) & 3][1];
    char *templates[3] = {templateUs, templateEu, templateIso};
    msDateFormat = templates[(settings >> 2) % 3];
    referersFlag = (settings >> 3) & 1;
    useragentsFlag = (settings >> 1) & 1;
    lastLogType = static_cast<int>((settings >> 3) % 5);

    // The line as the stream hands it over: terminated, in a buffer of its own size.
    std::vector<char> line(data + 1, data + size);
    line.push_back('\0');
    LogEntry *entry = &poisoned();
    int result = logParseEntry(line.data(), *entry);
    check(*entry, result);
    if (lastLogType < 0 || lastLogType > 4) std::abort();

    // Each single-format parser on a working copy of at most one line.
    std::size_t length = strnlen(line.data(), LOG_LINE_MAX);
    std::vector<char> work(length + 1);
    int (*const parsers[])(char *, LogEntry &) = {logParseEntryCommon, logParseEntryMicrosoft,
                                                  logParseEntryEmwac, logParseEntryReferer,
                                                  logParseEntryUseragent};
    for (auto parser : parsers) {
        std::memcpy(work.data(), line.data(), length);
        work[length] = '\0';
        entry = &poisoned();
        result = parser(work.data(), *entry);
        check(*entry, result);
    }
    entry = &poisoned();
    entry->referer[0] = entry->agent[0] = '\0';
    parseMicrosoftExtraField(line.data(), *entry);
    FUZZ_REQUIRE_TERMINATED((*entry), referer);
    FUZZ_REQUIRE_TERMINATED((*entry), agent);
    serverName = nullptr;
    msDateFormat = nullptr;
    return 0;
}
