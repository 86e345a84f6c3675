// Parsers of the other log formats: the Microsoft IIS standard log with its locally
// formatted dates, the EMWAC log, and the separate referer and agent logs.
#include <cstring>

#include "config/global.h"
#include "log/log.h"
#include "log/logtext.h"

namespace {

const LogCharSet iisField(", \t\r\n");
const LogCharSet iisText(",\t\r\n");
const LogCharSet blanks(" \t\r\n");
const LogCharSet blankOnly(" ");
const LogCharSet refererArrow(" \r\n");
const LogCharSet refererField(", \t\r\n");
const LogCharSet lineEnd("\r\n");

// IIS names the web service with its site number ("W3SVC", "W3SVC1", "W3SVC2" ...).
bool isWebService(const char *service) {
    if (std::strncmp(service, "W3SVC", 5) != 0) return false;
    for (const char *p = service + 5; *p; p++)
        if (!charIsDigit(static_cast<unsigned char>(*p))) return false;
    return true;
}

// Trims the blanks around a comma-separated field in place.
char *trimBlanks(char *field) {
    while (*field == ' ') field++;
    std::size_t length = std::strlen(field);
    while (length > 0 && field[length - 1] == ' ') field[--length] = '\0';
    return field;
}

void setFixedDate(LogEntry &entry) {
    entry.day = 1;
    entry.month = 1;
    entry.year = 1997;
}

// Which value a template letter reads a digit of: 0 month, 1 day, 2 year, -1 none.
int dateLetter(char letter) {
    switch (letter) {
        case 'm':
        case 'M':
            return 0;
        case 'd':
        case 'D':
            return 1;
        case 'y':
        case 'Y':
            return 2;
        default:
            return -1;
    }
}

bool hasLetter(const char *text) {
    for (; *text; text++)
        if (charIsAlpha(static_cast<unsigned char>(*text))) return true;
    return false;
}

}  // namespace

// Each digit letter of the template takes one digit of the text when one stands there
// ("mm" reads one or two digits); every other template character skips one character.
// Values stop growing at nine digits, which is past every usable date.
int parseFormattedDate(const char *text, int *month, int *day, int *year) {
    const char *format = msDateFormat ? msDateFormat : "mm/dd/yy";
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    int values[3] = {0, 0, 0};  // month, day, year
    int digits[3] = {0, 0, 0};
    bool fullYear = false;
    for (const char *f = format; *f && *s; f++) {
        int which = dateLetter(*f);
        if (which < 0) {
            s++;
        } else if (which == 2 && !digits[2] && charIsDigit(s[0]) && charIsDigit(s[1]) &&
                   charIsDigit(s[2]) && charIsDigit(s[3]) && !charIsDigit(s[4])) {
            // A year written with four digits is that year, whatever the template's width.
            values[2] = (s[0] - '0') * 1000 + (s[1] - '0') * 100 + (s[2] - '0') * 10 + (s[3] - '0');
            digits[2] = 4;
            fullYear = true;
            s += 4;
            while (dateLetter(f[1]) == 2) f++;
        } else if (charIsDigit(*s)) {
            if (values[which] < 100000000) values[which] = values[which] * 10 + (*s - '0');
            digits[which]++;
            s++;
        }
    }
    if (!digits[0] || !digits[1] || !digits[2]) return 0;
    *month = values[0];
    *day = values[1];
    *year = fullYear ? values[2] : logTwoDigitYear(values[2]);
    return 1;
}

void parseMicrosoftExtraField(const char *field, LogEntry &entry) {
    while (charIsSpace(static_cast<unsigned char>(*field))) field++;
    if (referersFlag) {
        const char *colon = std::strchr(field, ':');
        if (colon && colon > field && charIsAlpha(static_cast<unsigned char>(colon[-1]))) {
            logCopyBounded(entry.referer, field, LOG_URL_MAX);
            return;
        }
    }
    if (useragentsFlag && entry.agent[0] == '\0') logCopyBounded(entry.agent, field, LOG_HOST_MAX);
}

int logParseEntryMicrosoft(char *text, LogEntry &entry) {
    logEntryClear(entry);
    bool serverPassed = serverName == nullptr;
    LogTokenizer tokens(text);

    char *token = tokens.next(iisField);
    if (!token) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.site, token, LOG_HOST_MAX);
    charLowerText(entry.site);

    // A user name may hold blanks ("NT AUTHORITY\LOCAL SERVICE"): only commas end it.
    if (!(token = tokens.next(iisText))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.authuser, trimBlanks(token), LOG_HOST_MAX);

    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    entry.zone = 0;
    if (!parseFormattedDate(token, &entry.month, &entry.day, &entry.year))
        return LOG_NOT_THIS_FORMAT;

    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    void *const time[] = {&entry.hour, &entry.minute, &entry.second};
    logScanTemplate(token, "%d:%d:%d", time);

    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    if (!isWebService(token)) return LOG_OTHER_SERVER;
    for (int i = 0; i < 2; i++) {  // server name, then server address
        if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
        if (serverName && std::strcmp(token, serverName) == 0) serverPassed = true;
    }
    if (!serverPassed) return LOG_OTHER_SERVER;

    for (int i = 0; i < 2; i++)  // elapsed time, bytes received
        if (!tokens.next(iisField)) return LOG_NOT_THIS_FORMAT;
    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    entry.size = logLeadingInt64(token);
    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    entry.result = logLeadingInt(token);
    if (!tokens.next(iisField)) return LOG_NOT_THIS_FORMAT;
    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.method, token, LOG_WORD_MAX);
    if (!(token = tokens.next(iisField))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.url, token, LOG_URL_MAX);
    UnescapeUrl(entry.url);

    if (!(token = tokens.next(iisText))) return LOG_NOT_THIS_FORMAT;
    do {
        parseMicrosoftExtraField(token, entry);
    } while ((token = tokens.next(iisText)));
    if (!logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;
    entry.hasBytes = 1;
    return LOG_OK;
}

int logParseEntryEmwac(char *text, LogEntry &entry) {
    logEntryClear(entry);
    LogTokenizer tokens(text);

    char *token = tokens.next(blanks);
    if (!token || token[0] == '[') return LOG_NOT_THIS_FORMAT;

    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    char name[4];
    logCopyBounded(name, token, 3);
    charLowerText(name);
    for (int i = 0; i < 12; i++)
        if (std::strcmp(name, monthnames[i]) == 0) entry.month = i + 1;
    if (!entry.month) return LOG_NOT_THIS_FORMAT;

    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    entry.day = logLeadingInt(token);
    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    void *const time[] = {&entry.hour, &entry.minute, &entry.second};
    if (logScanTemplate(token, "%d:%d:%d", time) < 3) return LOG_NOT_THIS_FORMAT;
    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    entry.year = logTwoDigitYear(logLeadingInt(token));
    if (!logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;

    if (!tokens.next(blanks)) return LOG_NOT_THIS_FORMAT;  // server
    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.site, token, LOG_HOST_MAX);
    charLowerText(entry.site);
    if (!(token = tokens.next(blanks))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.method, token, LOG_WORD_MAX);
    if (!(token = tokens.next(blankOnly))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.url, token, LOG_URL_MAX);
    if (!(token = tokens.next(blankOnly))) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.protocol, token, LOG_WORD_MAX);

    entry.result = 200;
    entry.size = 0;
    entry.hasBytes = 0;
    return LOG_OK;
}

int logParseEntryReferer(char *text, LogEntry &entry) {
    logEntryClear(entry);
    setFixedDate(entry);

    if (std::strstr(text, ": ") && std::strstr(text, "->")) {
        // A referring URL logged with a blank after its scheme is joined back together.
        LogTokenizer tokens(text);
        char *token = tokens.next(refererArrow);
        if (!token) return LOG_NOT_THIS_FORMAT;
        std::size_t length = logCopyBounded(entry.referer, token, LOG_URL_MAX);
        entry.referer[0] =
            static_cast<char>(charLower(static_cast<unsigned char>(entry.referer[0])));
        if (!(token = tokens.next(refererArrow))) return LOG_NOT_THIS_FORMAT;
        logCopyBounded(entry.referer + length, token, LOG_URL_MAX - length);
        if (!tokens.next(refererArrow)) return LOG_NOT_THIS_FORMAT;
        if (!(token = tokens.next(refererArrow))) return LOG_NOT_THIS_FORMAT;
        logCopyBounded(entry.url, token, LOG_URL_MAX);
        return LOG_OK;
    }

    LogTokenizer tokens(text);
    bool referer = false, target = false;
    while (char *token = tokens.next(refererField)) {
        unsigned char first = static_cast<unsigned char>(token[0]);
        if (!charIsAlpha(first) && first != '/' && first != '\\') continue;
        if (!std::strchr(token, '/') && !std::strchr(token, '\\')) continue;
        if (std::strchr(token, ':')) {
            logCopyBounded(entry.referer, token, LOG_URL_MAX);
            referer = true;
        } else {
            logCopyBounded(entry.url, token, LOG_URL_MAX);
            target = true;
        }
    }
    if (!referer || !target) return LOG_NOT_THIS_FORMAT;
    UnescapeUrl(entry.url);
    UnescapeUrl(entry.referer);
    return LOG_OK;
}

int logParseEntryUseragent(char *text, LogEntry &entry) {
    logEntryClear(entry);
    setFixedDate(entry);
    if (!hasLetter(text)) return LOG_NOT_THIS_FORMAT;
    LogTokenizer tokens(text);
    char *token = tokens.next(lineEnd);
    if (!token) return LOG_NOT_THIS_FORMAT;
    logCopyBounded(entry.agent, token, LOG_HOST_MAX);
    return LOG_OK;
}
