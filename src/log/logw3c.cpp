// The W3C extended log format (IIS 6 and later, many proxies and CDNs): directive lines
// name the fields, and each data line holds their values in that order, separated by
// blanks or tabs. The field map belongs to one log source and changes with every
// "#Fields:" line of it.
#include <cstring>

#include "config/global.h"
#include "log/log.h"
#include "log/logtext.h"

namespace {

enum W3cKind : unsigned char {
    W3C_OTHER = 0,
    W3C_DATE,
    W3C_TIME,
    W3C_CLIENT,
    W3C_USER,
    W3C_METHOD,
    W3C_STEM,
    W3C_QUERY,
    W3C_STATUS,
    W3C_BYTES,
    W3C_REFERER,
    W3C_AGENT,
    W3C_VERSION,
    W3C_SITE_NAME,
    W3C_COMPUTER_NAME,
    W3C_SERVER_ADDRESS,
    W3C_HOST
};

struct W3cName {
    const char *name;
    W3cKind kind;
};

const W3cName w3cNames[] = {
    {"date", W3C_DATE},
    {"time", W3C_TIME},
    {"c-ip", W3C_CLIENT},
    {"cs-username", W3C_USER},
    {"cs-method", W3C_METHOD},
    {"cs-uri-stem", W3C_STEM},
    {"cs-uri-query", W3C_QUERY},
    {"sc-status", W3C_STATUS},
    {"sc-bytes", W3C_BYTES},
    {"cs(referer)", W3C_REFERER},
    {"cs(user-agent)", W3C_AGENT},
    {"cs-version", W3C_VERSION},
    {"s-sitename", W3C_SITE_NAME},
    {"s-computername", W3C_COMPUTER_NAME},
    {"s-ip", W3C_SERVER_ADDRESS},
    {"cs-host", W3C_HOST},
};

const LogCharSet separators(" \t\r\n");

bool sameName(const char *name, const char *text, std::size_t length) {
    for (std::size_t i = 0; i < length; i++, name++)
        if (!*name || charLower(static_cast<unsigned char>(text[i])) != *name) return false;
    return *name == '\0';
}

W3cKind kindOf(const char *text, std::size_t length) {
    for (const W3cName &known : w3cNames)
        if (sameName(known.name, text, length)) return known.kind;
    return W3C_OTHER;
}

// Reads "digits sep digits sep digits" of the length characters at text into three
// numbers (each held below ten digits); what follows them must be empty or begin with stop.
bool readTriple(const char *text, std::size_t length, char separator, char stop, int32_t *values) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = p + length;
    for (int i = 0; i < 3; i++) {
        if (i > 0 && (p == end || *p++ != separator)) return false;
        if (p == end || !charIsDigit(*p)) return false;
        int32_t value = 0;
        for (int digits = 0; p < end && charIsDigit(*p); p++, digits++)
            if (digits < 9) value = value * 10 + (*p - '0');
        values[i] = value;
    }
    return p == end || *p == stop;
}

// Copies a text field, turning the blanks that IIS writes as "+" back into blanks.
void copyText(char *target, const char *source, std::size_t length, std::size_t max) {
    if (length > max) length = max;
    for (std::size_t i = 0; i < length; i++) target[i] = source[i] == '+' ? ' ' : source[i];
    target[length] = '\0';
}

void decodeUrl(char *target, const char *source, std::size_t length, const char *limit) {
    if (length > static_cast<std::size_t>(LOG_URL_MAX)) length = LOG_URL_MAX;
    std::size_t text;
    bool escaped;
    target[logDecodeUrl(target, LOG_URL_MAX + 1, source, length, limit, false, &text, &escaped)] =
        '\0';
}

}  // namespace

void logW3cDirective(const char *line, std::size_t length, LogW3cFields &fields) {
    char text[LOG_LINE_SIZE];
    logCopyLength(text, line, strnlen(line, length), LOG_LINE_MAX);
    if (std::strncmp(text, "#Date:", 6) == 0) {
        const char *date = text + 6;
        while (*date == ' ' || *date == '\t') date++;
        std::size_t dateLength = std::strcspn(date, " \t\r\n");
        int32_t parts[3];
        if (dateLength < sizeof fields.date && readTriple(date, dateLength, '-', '\0', parts))
            logCopyLength(fields.date, date, dateLength, sizeof fields.date - 1);
        else
            fields.date[0] = '\0';
        return;
    }
    if (std::strncmp(text, "#Fields:", 8) != 0) return;
    fields.columns = 0;
    fields.present = 0;
    LogTokenizer tokens(text + 8);
    while (char *name = tokens.next(separators)) {
        W3cKind kind = kindOf(name, tokens.length);
        if (fields.columns < LOG_W3C_COLUMNS) {
            fields.kind[fields.columns] = kind;
            fields.present |= 1u << kind;
        }
        fields.columns++;
    }
}

// The text is only read, so that the dispatcher can hand over the line where it stands.
int logParseEntryW3cWithin(const char *text, const char *limit, const LogW3cFields &fields,
                           LogEntry &entry) {
    logEntryClear(entry);
    if (fields.columns == 0) return LOG_NOT_THIS_FORMAT;
    const char *date = fields.date, *time = nullptr, *stem = nullptr, *query = nullptr;
    std::size_t dateLength = std::strlen(fields.date), timeLength = 0, stemLength = 0,
                queryLength = 0;
    bool serverSeen = false, serverPassed = serverName == nullptr;
    int column = 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    for (;; column++) {
        while (separators.member[*p]) p++;
        if (!*p) break;
        const char *field = reinterpret_cast<const char *>(p);
        while (!separators.stop[*p]) p++;
        std::size_t length = static_cast<std::size_t>(reinterpret_cast<const char *>(p) - field);
        if (column >= fields.columns) return LOG_NOT_THIS_FORMAT;
        if (column >= LOG_W3C_COLUMNS) continue;
        if (length == 1 && field[0] == '-') length = 0;  // a value the server did not log
        switch (fields.kind[column]) {
            case W3C_DATE:
                date = field;
                dateLength = length;
                break;
            case W3C_TIME:
                time = field;
                timeLength = length;
                break;
            case W3C_CLIENT:
                logCopyLength(entry.site, field, length, LOG_HOST_MAX);
                charLowerText(entry.site);
                break;
            case W3C_USER:
                copyText(entry.authuser, field, length, LOG_HOST_MAX);
                break;
            case W3C_METHOD:
                logCopyLength(entry.method, field, length, LOG_WORD_MAX);
                break;
            case W3C_STEM:
                stem = field;
                stemLength = length;
                break;
            case W3C_QUERY:
                query = field;
                queryLength = length;
                break;
            case W3C_STATUS:
                entry.result = length ? logLeadingInt(field) : 0;
                break;
            case W3C_BYTES:
                entry.size = length ? logLeadingInt64(field) : 0;
                break;
            case W3C_REFERER:
                if (length) decodeUrl(entry.referer, field, length, limit);
                break;
            case W3C_AGENT:
                copyText(entry.agent, field, length, LOG_HOST_MAX);
                break;
            case W3C_VERSION:
                logCopyLength(entry.protocol, field, length, LOG_WORD_MAX);
                break;
            case W3C_SITE_NAME:
            case W3C_COMPUTER_NAME:
            case W3C_SERVER_ADDRESS:
            case W3C_HOST:
                if (!length) break;
                serverSeen = true;
                if (serverName && std::strncmp(field, serverName, length) == 0 &&
                    serverName[length] == '\0')
                    serverPassed = true;
                break;
            default:
                break;
        }
    }
    if (column < fields.columns || !stem || !time) return LOG_NOT_THIS_FORMAT;
    int32_t day[3], clock[3];
    if (!readTriple(date, dateLength, '-', '\0', day) ||
        !readTriple(time, timeLength, ':', '.', clock))
        return LOG_NOT_THIS_FORMAT;
    entry.year = day[0];
    entry.month = day[1];
    entry.day = day[2];
    entry.hour = clock[0];
    entry.minute = clock[1];
    entry.second = clock[2];
    if (!logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;
    if (serverSeen && !serverPassed) return LOG_OTHER_SERVER;

    if (keepqueriesFlag && queryLength) {
        // The query is joined only to be kept: decoding would cut it again.
        std::size_t length = logCopyLength(entry.url, stem, stemLength, LOG_URL_MAX);
        if (length < static_cast<std::size_t>(LOG_URL_MAX)) {
            entry.url[length++] = '?';
            logCopyLength(entry.url + length, query, queryLength, LOG_URL_MAX - length);
        }
        UnescapeUrl(entry.url);
    } else if (stemLength) {
        decodeUrl(entry.url, stem, stemLength, limit);
    }
    if (!entry.authuser[0]) logCopyBounded(entry.authuser, "-", LOG_HOST_MAX);
    if (!(fields.present & (1u << W3C_STATUS))) entry.result = 200;
    entry.hasBytes = (fields.present & (1u << W3C_BYTES)) ? 1 : 0;
    return LOG_OK;
}

int logParseEntryW3c(char *text, const LogW3cFields &fields, LogEntry &entry) {
    return logParseEntryW3cWithin(text, text + std::strlen(text) + 1, fields, entry);
}
