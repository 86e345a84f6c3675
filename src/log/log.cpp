// Parsers of one log line into a LogEntry: the format dispatcher with its rotation and
// time offset, the common and combined format, URL decoding, and the diagnostic dump.
//
// Lines are cut the way strtok cuts them, with a delimiter set per token: delimiters
// before a token are skipped, the token is the longest run outside the set, and the
// one delimiter that ends it is overwritten. Date and request fields are read with
// scanf templates through logScanTemplate, which gives exactly sscanf's results
// without its cost. Nothing here allocates or prints.
#include "log/log.h"

#include <cstdio>
#include <cstring>

#include "config/global.h"
#include "console/strhack.h"
#include "log/logtext.h"

const char *const monthnames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                    "jul", "aug", "sep", "oct", "nov", "dec"};

int lastLogType = 0;

namespace {

const LogCharSet blanks(" \t\r\n");
const LogCharSet dateEnd("]}");
const LogCharSet quote("\"");
const LogCharSet trailing(", \t\r\n\"[]{}");

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The scheme test of UnescapeUrl reads the text as rewritten so far.
bool absoluteScheme(const char *text)
{
    return std::strncmp(text, "http:", 5) == 0 || std::strncmp(text, "ftp:", 4) == 0 ||
           std::strncmp(text, "gopher:", 7) == 0;
}

// Adds an offset to a time of day, carrying whole days into the day of month. For
// offsets within 59 minutes and 23 hours this is one correction per step; larger ones
// are carried exactly instead of leaving an hour outside 0..23.
void applyOffset(LogEntry &entry)
{
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

int monthNumber(const char *name)
{
    char lower[4];
    logCopyBounded(lower, name, 3);
    convertLower(lower);
    for (int i = 0; i < 12; i++)
        if (std::strcmp(lower, monthnames[i]) == 0) return i + 1;
    return 0;
}

// The usual date "[10/Oct/1997:13:55:36 -0700]" read without the general template
// reader; any other shape returns false and takes the general way. For this exact shape
// sscanf's reading is plain: fixed runs of digits, three non-blanks, one blank.
bool readUsualDate(const char *token, LogEntry &entry, char *monthName)
{
    const unsigned char *t = reinterpret_cast<const unsigned char *>(token);
    static const char shape[] = "[99/aaa/9999:99:99:99 s9999";
    for (int i = 0; i < 27; i++) {
        unsigned char c = t[i];
        switch (shape[i]) {
        case '9':
            if (!logIsDigit(c)) return false;
            break;
        case 'a':
            if (!logIsAlpha(c)) return false;
            break;
        case 's':
            if (c != '+' && c != '-') return false;
            break;
        default:
            if (c != static_cast<unsigned char>(shape[i])) return false;
        }
    }
    if (t[27] != '\0') return false;
    auto number = [t](int at, int digits) {
        int value = 0;
        for (int i = 0; i < digits; i++) value = value * 10 + (t[at + i] - '0');
        return value;
    };
    entry.day = number(1, 2);
    std::memcpy(monthName, token + 4, 3);
    monthName[3] = '\0';
    entry.year = number(8, 4);
    entry.hour = number(13, 2);
    entry.minute = number(16, 2);
    entry.second = number(19, 2);
    entry.zone = t[22] == '-' ? -number(23, 4) : number(23, 4);
    return true;
}

bool isTrailerEnd(char c) { return c == ']' || c == '"' || c == '}'; }

// Combined-format fields after the size: referer, agent, or the server's own name.
int parseTrailingFields(LogTokenizer &tokens, LogEntry &entry)
{
    while (char *token = tokens.next(trailing)) {
        if (token[0] == '-' && token[1] == '\0') continue;
        if (serverName && logLooksLikeHost(token)) {
            if (std::strcmp(token, serverName) == 0) continue;
            return LOG_OTHER_SERVER;
        }
        if (token[0] == '/' || std::strchr(token, ':')) {
            logCopyLength(entry.referer, token, tokens.length, LOG_URL_MAX);
            strChangeChr(entry.referer, '\1', ' ');
            UnescapeUrl(entry.referer);
            continue;
        }
        // The agent runs over blank-separated words up to the one that closes it.
        std::size_t length = logCopyLength(entry.agent, token, tokens.length, LOG_HOST_MAX);
        for (;;) {
            char *word = tokens.next(blanks);
            if (!word) {
                strChangeChr(entry.agent, '\1', ' ');
                return LOG_OK;
            }
            std::size_t wordLength = tokens.length;
            bool last = false;
            if (wordLength > 0 && isTrailerEnd(word[wordLength - 1])) {
                word[--wordLength] = '\0';
                last = true;
            }
            if (length >= static_cast<std::size_t>(LOG_HOST_MAX)) return LOG_OK;
            entry.agent[length++] = ' ';
            std::size_t room = LOG_HOST_MAX - length;
            if (wordLength > room) wordLength = room;
            std::memcpy(entry.agent + length, word, wordLength);
            length += wordLength;
            entry.agent[length] = '\0';
            if (last) break;
        }
        strChangeChr(entry.agent, '\1', ' ');
    }
    return LOG_OK;
}

}  // namespace

// Only the first byte of each text needs clearing: every text written into the record
// is terminated, so what lies beyond a terminator is never read.
void logEntryClear(LogEntry &entry)
{
    entry.site[0] = entry.ident[0] = entry.authuser[0] = entry.proxyHost[0] = '\0';
    entry.day = entry.month = entry.year = entry.hour = entry.minute = entry.second = 0;
    entry.zone = 0;
    entry.method[0] = entry.url[0] = entry.protocol[0] = '\0';
    entry.result = 0;
    entry.size = 0;
    entry.hasBytes = 0;
    entry.referer[0] = entry.agent[0] = '\0';
}

template <std::size_t N>
static void copyText(char (&target)[N], const char (&source)[N])
{
    logCopyBounded(target, source, N - 1);
}

void logEntryCopy(LogEntry &target, const LogEntry &source)
{
    copyText(target.site, source.site);
    copyText(target.ident, source.ident);
    copyText(target.authuser, source.authuser);
    copyText(target.proxyHost, source.proxyHost);
    target.day = source.day;
    target.month = source.month;
    target.year = source.year;
    target.hour = source.hour;
    target.minute = source.minute;
    target.second = source.second;
    target.zone = source.zone;
    copyText(target.method, source.method);
    copyText(target.url, source.url);
    copyText(target.protocol, source.protocol);
    target.result = source.result;
    target.size = source.size;
    target.hasBytes = source.hasBytes;
    copyText(target.referer, source.referer);
    copyText(target.agent, source.agent);
}

int logTwoDigitYear(int year)
{
    if (year <= 49) return year + 2000;
    if (year <= 99) return year + 1900;
    return year;
}

// Only dates a server writes are entries: a month outside 1..12 or a day outside 1..31
// would land far from its period, a year beyond the limit would overflow day numbers,
// and an hour outside 0..23 is no time of day. (A time offset applied afterwards may
// still move a real date to day 0 or one past the end of its month.)
bool logDateUsable(const LogEntry &entry)
{
    return entry.month >= 1 && entry.month <= 12 && entry.day >= 1 && entry.day <= 31 &&
           entry.year >= -LOG_YEAR_LIMIT && entry.year <= LOG_YEAR_LIMIT && entry.hour >= 0 &&
           entry.hour <= 23 && entry.minute >= 0 && entry.minute <= 59 && entry.second >= 0 &&
           entry.second <= 60;
}

int logParseEntry(const char *line, LogEntry &entry)
{
    if (line[0] == '#') return LOG_COMMENT;
    char work[LOG_LINE_SIZE];
    std::size_t length = strnlen(line, LOG_LINE_MAX);
    auto fresh = [&]() {
        std::memcpy(work, line, length);
        work[length] = '\0';
    };
    if (refererOnlyFlag) {
        fresh();
        return logParseEntryReferer(work, entry);
    }
    if (useragentOnlyFlag) {
        fresh();
        return logParseEntryUseragent(work, entry);
    }
    int start = lastLogType;
    for (;;) {
        fresh();
        int result;
        switch (lastLogType) {
        case 1: result = logParseEntryMicrosoft(work, entry); break;
        case 2: result = logParseEntryEmwac(work, entry); break;
        default: result = logParseEntryCommon(work, entry); break;
        }
        if (result == LOG_OK) {
            if (offsetHours || offsetMinutes) applyOffset(entry);
            return LOG_OK;
        }
        if (result == LOG_OTHER_SERVER || result == LOG_COMMENT) return result;
        lastLogType = (lastLogType + 1) % 3;
        if (lastLogType == start) return result;
    }
}

int logParseEntryCommon(char *text, LogEntry &entry)
{
    logEntryClear(entry);
    LogTokenizer tokens(text);

    char *token = tokens.next(blanks);
    if (!token || token[0] == '[') return LOG_NOT_THIS_FORMAT;
    logCopyLength(entry.site, token, tokens.length, LOG_HOST_MAX);
    convertLower(entry.site);

    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    if (!serverName)
        logCopyLength(entry.ident, token, tokens.length, LOG_HOST_MAX);
    else if (logLooksLikeHost(token) && std::strcmp(token, serverName) != 0)
        return LOG_OTHER_SERVER;

    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    logCopyLength(entry.authuser, token, tokens.length, LOG_HOST_MAX);

    if (!(token = tokens.next(dateEnd))) return LOG_NOT_THIS_FORMAT;
    char monthName[4] = "";
    char ignored[4];
    void *const bracketed[] = {&entry.day,    monthName,     &entry.year, &entry.hour,
                               &entry.minute, &entry.second, &entry.zone};
    void *const braced[] = {ignored,     &entry.day,    monthName,    &entry.year,
                            &entry.hour, &entry.minute, &entry.second};
    void *const spelled[] = {ignored,       &entry.day, monthName, &entry.hour,
                             &entry.minute, &entry.second, ignored, &entry.year};
    int fields = readUsualDate(token, entry, monthName)
                     ? 7
                     : logScanTemplate(token, "[%d/%3s/%d:%d:%d:%d %d", bracketed);
    if (fields == 6) {
        entry.zone = 0;
    } else if (fields != 7) {
        entry.zone = 0;
        if (logScanTemplate(token, "{%3s, %d %3s %d %d:%d:%d", braced) != 7 &&
            logScanTemplate(token, "[%3s %d %3s %d:%d:%d %3s %d", spelled) != 8)
            return LOG_NOT_THIS_FORMAT;
    }
    entry.year = logTwoDigitYear(entry.year);
    if (entry.year > nowBreakdown.tm_year + 1900 + 3) return LOG_FUTURE;
    entry.month = monthNumber(monthName);
    if (!entry.month || !logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;

    if (!tokens.next(quote)) return LOG_NOT_THIS_FORMAT;
    if (!(token = tokens.next(quote))) return LOG_NOT_THIS_FORMAT;
    void *const request[] = {entry.method, entry.url, entry.protocol};
    fields = logScanTemplate(token, "%63s %2047s %63s", request);
    if (fields == 2)
        logCopyBounded(entry.protocol, "HTTP/0.9", LOG_WORD_MAX);
    else if (fields != 3)
        return LOG_NOT_THIS_FORMAT;
    UnescapeUrl(entry.url);
    if (const char *scheme = std::strstr(entry.url, "://")) {
        logCopyBounded(entry.proxyHost, scheme + 3, LOG_HOST_MAX);
        if (char *slash = std::strchr(entry.proxyHost, '/')) *slash = '\0';
        convertLower(entry.proxyHost);
    } else {
        logCopyBounded(entry.proxyHost, "-", LOG_HOST_MAX);
    }

    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    entry.result = logLeadingInt(token);
    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    entry.size = logLeadingInt64(token);
    entry.hasBytes = 1;

    return parseTrailingFields(tokens, entry);
}

// A "%" with no hexadecimal digit after it, or whose escape would run past the end of
// the text, is kept as a literal "%". A digit followed by a non-digit decodes the one
// digit and still skips both characters, as "%2x" reads it.
void UnescapeUrl(char *text)
{
    unsigned char *read = reinterpret_cast<unsigned char *>(text);
    unsigned char *write = read;
    bool lower = true;
    int slashes = 0;
    while (*read) {
        if (!lower && !nocaseFlag) {
            // Nothing is lower-cased any more: move on to the next escape or query at once.
            std::size_t run = std::strcspn(reinterpret_cast<char *>(read), "%?");
            if (write != read) std::memmove(write, read, run);
            write += run;
            read += run;
            if (!*read) break;
        }
        unsigned char c = *read;
        if (c == '%') {
            int high = hexValue(read[1]);
            if (high < 0 || read[2] == '\0') {
                read++;
            } else {
                int low = hexValue(read[2]);
                c = static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
                read += 3;
            }
        } else if (c == '?') {
            if (!keepqueriesFlag) break;
            read++;
        } else if (c == '/') {
            slashes++;
            if (lower && (slashes == 3 || !absoluteScheme(text))) lower = false;
            read++;
        } else {
            read++;
        }
        if ((lower || nocaseFlag) && c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
        *write++ = c;
    }
    *write = '\0';
}

void strChangeChr(char *text, char from, char to)
{
    for (; *text; text++)
        if (*text == from) *text = to;
}

void logDump(const LogEntry &entry)
{
    std::printf(
        "Site: %s Identname: %s Authname: %s\n\tMonth: %d Mday: %d Year: %d Hour: %d Min: %d "
        "Sec: %d OFFS: %d\nMethod: %s URL: %s Protocol: %s Result: %d Size: %lld\n",
        entry.site, entry.ident, entry.authuser, entry.month, entry.day, entry.year, entry.hour,
        entry.minute, entry.second, entry.zone, entry.method, entry.url, entry.protocol,
        entry.result, static_cast<long long>(entry.size));
}
