// The format dispatcher: the line is given to the format that read the last one first,
// then to the others in turn, and an entry that parsed gets the configured time offset.
#include "log/log.h"

#include <cstring>

#include "config/global.h"
#include "log/logbytes.h"
#include "log/logtext.h"

int lastLogType = 0;
int logLineWasFuture = 0;

namespace {

// Adds an offset to a time of day, carrying whole days into the day of month. For
// offsets within 59 minutes and 23 hours this is one correction per step; larger ones
// are carried exactly instead of leaving an hour outside 0..23.
void applyOffset(LogEntry &entry) {
    long long minutes = static_cast<long long>(entry.hour) * 60 + entry.minute +
                        static_cast<long long>(offsetHours) * 60 + offsetMinutes;
    long long days = minutes / 1440;
    minutes %= 1440;
    if (minutes < 0) {
        minutes += 1440;
        days--;
    }
    entry.hour = static_cast<int32_t>(minutes / 60);
    entry.minute = static_cast<int32_t>(minutes % 60);
    entry.day = static_cast<int32_t>(entry.day + days);
}

// The dispatcher over a line of length characters. With writable set, the common and W3C
// formats are read where the line stands: its byte at length is terminated for the time
// of the parse and bytes up to limit may be read; otherwise, and for the other formats,
// the line is parsed in a working copy. w3c is the field map of the line's source.
int dispatch(char *line, std::size_t length, bool writable, const char *limit, LogEntry &entry,
             LogW3cFields *w3c = nullptr) {
    if (length > 0 && line[0] == '#') {
        if (w3c) logW3cDirective(line, length, *w3c);
        return LOG_COMMENT;
    }
    alignas(16) char work[LOG_LINE_SIZE + LOG_PAD];
    std::size_t textLength = length;
    bool measured = !writable;
    auto fresh = [&]() {
        if (!measured) {
            textLength = strnlen(line, length);
            measured = true;
        }
        std::memcpy(work, line, textLength);
        std::memset(work + textLength, 0, LOG_PAD);
    };
    if (refererOnlyFlag || useragentOnlyFlag) {
        logLineWasFuture = 0;
        fresh();
        return refererOnlyFlag ? logParseEntryReferer(work, entry)
                               : logParseEntryUseragent(work, entry);
    }
    int start = lastLogType;
    bool future = false;
    for (;;) {
        int result;
        if (lastLogType == 0 && writable) {
            char saved = line[length];
            line[length] = '\0';
            result = logParseEntryCommonWithin(line, limit, entry);
            line[length] = saved;
        } else if (lastLogType == 4 && writable) {
            result = logParseEntryJsonWithin(line, length, limit, entry);
        } else if (lastLogType == 3 && !(w3c && w3c->columns)) {
            // Only a source that named its fields can hold W3C entries.
            result = LOG_NOT_THIS_FORMAT;
        } else if (lastLogType == 3 && writable) {
            char saved = line[length];
            line[length] = '\0';
            result = logParseEntryW3cWithin(line, limit, *w3c, entry);
            line[length] = saved;
        } else {
            fresh();
            switch (lastLogType) {
                case 1:
                    result = logParseEntryMicrosoft(work, entry);
                    break;
                case 2:
                    result = logParseEntryEmwac(work, entry);
                    break;
                case 3:
                    result = logParseEntryW3cWithin(work, work + textLength + LOG_PAD, *w3c, entry);
                    break;
                case 4:
                    result = logParseEntryJsonWithin(work, textLength, work + textLength + LOG_PAD,
                                                     entry);
                    break;
                default:
                    result = logParseEntryCommonWithin(work, work + textLength + LOG_PAD, entry);
                    break;
            }
        }
        if (result == LOG_OK) {
            if (offsetHours || offsetMinutes) applyOffset(entry);
            return LOG_OK;
        }
        if (result == LOG_OTHER_SERVER || result == LOG_COMMENT) return result;
        if (result == LOG_FUTURE) future = true;
        lastLogType = (lastLogType + 1) % 5;
        if (lastLogType == start) {
            logLineWasFuture = future;
            return result;
        }
    }
}

}  // namespace

int logParseEntry(const char *line, LogEntry &entry) {
    return dispatch(const_cast<char *>(line), strnlen(line, LOG_LINE_MAX), false, nullptr, entry);
}

int logParseLine(const char *line, std::size_t length, LogEntry &entry) {
    if (length > static_cast<std::size_t>(LOG_LINE_MAX)) length = LOG_LINE_MAX;
    if (const void *zero = std::memchr(line, '\0', length))
        length = static_cast<std::size_t>(static_cast<const char *>(zero) - line);
    return dispatch(const_cast<char *>(line), length, false, nullptr, entry);
}

int logParseLineInPlace(char *line, std::size_t length, const char *limit, LogEntry &entry,
                        LogW3cFields *w3c) {
    if (length > static_cast<std::size_t>(LOG_LINE_MAX)) length = LOG_LINE_MAX;
    return dispatch(line, length, true, limit, entry, w3c);
}
