// The common-format parser, the dispatcher and URL decoding must give exactly what the
// earlier, plainer implementation gave: it is kept here as the reference (strtok-style
// cutting of a copy, the template reader, byte-by-byte copies), and both are run on
// many generated and mutated lines under every setting that changes parsing. The time
// offset is checked against dates worked out by hand instead.
#include <gtest/gtest.h>
#include <strings.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "config/global.h"
#include "console/strhack.h"
#include "core/dates.h"
#include "log/log.h"
#include "log/logtext.h"
#include "parser_fixture.h"

namespace previous {

void UnescapeUrl(char *text);
void strChangeChr(char *text, char from, char to);

const LogCharSet blanks(" \t\r\n");
const LogCharSet dateEnd("]}");
const LogCharSet quote("\"");
const LogCharSet trailing(", \t\r\n\"[]{}");

// The scheme test of UnescapeUrl reads the text as rewritten so far.
bool absoluteScheme(const char *text) {
    return std::strncmp(text, "http:", 5) == 0 || std::strncmp(text, "ftp:", 4) == 0 ||
           std::strncmp(text, "gopher:", 7) == 0;
}

int monthNumber(const char *name) {
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
bool readUsualDate(const char *token, LogEntry &entry, char *monthName) {
    const unsigned char *t = reinterpret_cast<const unsigned char *>(token);
    static const char shape[] = "[99/aaa/9999:99:99:99 s9999";
    for (int i = 0; i < 27; i++) {
        unsigned char c = t[i];
        switch (shape[i]) {
            case '9':
                if (!charIsDigit(c)) return false;
                break;
            case 'a':
                if (!charIsAlpha(c)) return false;
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

bool isTrailerEnd(char c) {
    return c == ']' || c == '"' || c == '}';
}

// Whether the last of length characters is a quote written escaped (after an odd number of
// backslashes).
bool escapedLast(const char *text, std::size_t length) {
    std::size_t backslashes = 0;
    for (std::size_t i = 0; i + 1 < length; i++)
        backslashes = text[i] == '\\' ? backslashes + 1 : 0;
    return length > 0 && text[length - 1] == '"' && backslashes % 2 == 1;
}

// tokens.next, except that an escaped quote does not end the token.
char *nextQuoted(LogTokenizer &tokens, const LogCharSet &delimiters) {
    char *p = tokens.position;
    while (delimiters.has(static_cast<unsigned char>(*p))) p++;
    if (!*p) {
        tokens.position = p;
        return nullptr;
    }
    char *token = p;
    while (*p && (!delimiters.has(static_cast<unsigned char>(*p)) ||
                  escapedLast(token, static_cast<std::size_t>(p - token) + 1)))
        p++;
    tokens.length = static_cast<std::size_t>(p - token);
    if (*p) *p++ = '\0';
    tokens.position = p;
    return token;
}

// Combined-format fields after the size: referer, agent, or the server's own name.
int parseTrailingFields(LogTokenizer &tokens, LogEntry &entry) {
    while (char *token = nextQuoted(tokens, trailing)) {
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
            if (wordLength > 0 && isTrailerEnd(word[wordLength - 1]) &&
                !escapedLast(word, wordLength)) {
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

// A virtual host with its port, "name:port", as the first field of a vhost_combined line.
bool vhostShaped(const char *token) {
    const char *colon = std::strrchr(token, ':');
    std::size_t port = colon ? std::strlen(colon + 1) : 0;
    if (!colon || colon == token || port < 1 || port > 5) return false;
    for (const char *p = colon + 1; *p; p++)
        if (!charIsDigit(static_cast<unsigned char>(*p))) return false;
    for (const char *p = token; p < colon; p++)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && !std::strchr(".-_", *p)) return false;
    return true;
}

bool looksLikeClient(const char *token) {
    if (std::strcmp(token, "-") == 0) return false;
    for (const char *p = token; *p; p++)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && !std::strchr(".:-_", *p)) return false;
    return true;
}

bool readIdent(char *token, LogEntry &entry) {
    if (!serverName)
        logCopyLength(entry.ident, token, std::strlen(token), LOG_HOST_MAX);
    else if (logLooksLikeHost(token) && std::strcmp(token, serverName) != 0)
        return false;
    return true;
}

int parseEntryCommon(char *text, LogEntry &entry) {
    logEntryClear(entry);
    LogTokenizer tokens(text);

    char *token = tokens.next(blanks);
    if (!token || token[0] == '[') return LOG_NOT_THIS_FORMAT;
    logCopyLength(entry.site, token, tokens.length, LOG_HOST_MAX);
    convertLower(entry.site);

    char *first = token;
    bool vhostShape = vhostShaped(first);
    char *second = tokens.next(blanks);
    if (!second) return LOG_NOT_THIS_FORMAT;
    if (!vhostShape && !readIdent(second, entry)) return LOG_OTHER_SERVER;

    // The date is the last bracket after one blank before the first unescaped quote that
    // follows the first closing bracket; the user is everything before it.
    char *head = tokens.position;
    while (blanks.has(static_cast<unsigned char>(*head))) head++;
    char *close = std::strpbrk(head, "]}");
    char *quoted = close ? close + 1 : nullptr;
    while (quoted && *quoted &&
           (*quoted != '"' || escapedLast(close + 1, static_cast<std::size_t>(quoted - close))))
        quoted++;
    if (quoted && !*quoted) quoted = nullptr;
    char *open = nullptr;
    for (char *o = head + 1; quoted && o < quoted; o++)
        if ((*o == '[' || *o == '{') && blanks.has(static_cast<unsigned char>(o[-1])) &&
            !blanks.has(static_cast<unsigned char>(o[-2])))
            open = o;
    if (!open) return LOG_NOT_THIS_FORMAT;
    std::string user(head, open);
    while (blanks.has(static_cast<unsigned char>(user.back()))) user.pop_back();
    std::size_t gap = user.find_first_of(" \t\r\n");
    if (vhostShape && gap != std::string::npos && looksLikeClient(second)) {
        std::string name(first, std::strrchr(first, ':'));
        if (serverName && strcasecmp(name.c_str(), serverName) != 0) return LOG_OTHER_SERVER;
        logCopyLength(entry.site, second, std::strlen(second), LOG_HOST_MAX);
        convertLower(entry.site);
        std::string ident = user.substr(0, gap);
        if (!readIdent(ident.data(), entry)) return LOG_OTHER_SERVER;
        user.erase(0, user.find_first_not_of(" \t\r\n", gap));
    } else if (vhostShape && !readIdent(second, entry)) {
        return LOG_OTHER_SERVER;
    }
    logCopyLength(entry.authuser, user.c_str(), user.size(), LOG_HOST_MAX);
    tokens.position = open;

    if (!(token = tokens.next(dateEnd))) return LOG_NOT_THIS_FORMAT;
    char monthName[4] = "";
    char ignored[4];
    void *const bracketed[] = {&entry.day,    monthName,     &entry.year, &entry.hour,
                               &entry.minute, &entry.second, &entry.zone};
    void *const braced[] = {ignored,     &entry.day,    monthName,    &entry.year,
                            &entry.hour, &entry.minute, &entry.second};
    void *const spelled[] = {ignored,       &entry.day,    monthName, &entry.hour,
                             &entry.minute, &entry.second, ignored,   &entry.year};
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
    if (!(token = nextQuoted(tokens, quote))) return LOG_NOT_THIS_FORMAT;
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

int parseEntry(const char *line, LogEntry &entry) {
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
            case 1:
                result = logParseEntryMicrosoft(work, entry);
                break;
            case 2:
                result = logParseEntryEmwac(work, entry);
                break;
            default:
                result = parseEntryCommon(work, entry);
                break;
        }
        if (result == LOG_OK) return LOG_OK;
        if (result == LOG_OTHER_SERVER || result == LOG_COMMENT) return result;
        lastLogType = (lastLogType + 1) % 3;
        if (lastLogType == start) return result;
    }
}

void UnescapeUrl(char *text) {
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
            int high = charHexValue(read[1]);
            if (high < 0 || read[2] == '\0') {
                read++;
            } else {
                int low = charHexValue(read[2]);
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

void strChangeChr(char *text, char from, char to) {
    for (; *text; text++)
        if (*text == from) *text = to;
}

}  // namespace previous

namespace {

char ourServer[] = "www.example.com";

struct Random {
    std::mt19937_64 engine;
    explicit Random(uint64_t seed) : engine(seed) {}
    std::size_t below(std::size_t n) { return n ? static_cast<std::size_t>(engine() % n) : 0; }
    bool percent(unsigned p) { return below(100) < p; }
    template <class T, std::size_t N>
    const T &pick(const T (&items)[N]) {
        return items[below(N)];
    }
};

// Every field of the record up to its terminator, and every number.
std::string describe(const LogEntry &e) {
    char numbers[200];
    std::snprintf(numbers, sizeof numbers, "%d/%d/%d %d:%d:%d zone %d result %d size %lld bytes %d",
                  e.day, e.month, e.year, e.hour, e.minute, e.second, e.zone, e.result,
                  static_cast<long long>(e.size), e.hasBytes);
    return std::string("site[") + e.site + "] ident[" + e.ident + "] user[" + e.authuser +
           "] proxy[" + e.proxyHost + "] " + numbers + " method[" + e.method + "] url[" + e.url +
           "] protocol[" + e.protocol + "] referer[" + e.referer + "] agent[" + e.agent + "]";
}

// Combined, common and other servers' lines with the variations that reach every branch.
std::string generateLine(Random &r) {
    static const char *const hosts[] = {"10.0.0.1",
                                        "192.168.201.17",
                                        "Crawl-66-249-66-1.GoogleBot.COM",
                                        "host",
                                        "-",
                                        "a.b",
                                        "WWW.EXAMPLE.COM",
                                        "x\x01y",
                                        "[10.0.0.1",
                                        "h\xe9te.example",
                                        "2001:db8::1",
                                        "host:8080"};
    static const char *const idents[] = {
        "-", "-", "www.example.com", "other.example.org", "user", "WWW.example.com", "a.b-c"};
    static const char *const users[] = {
        "-",   "-",      "bob",        "Alice",
        "x.y", "{user}", "John Smith", "a [01/Jan/2030:00:00:00 +0000] b",
        "x]y", "[u",     "q] \\\"r"};
    static const char *const vhosts[] = {"www.example.com:80", "Other.Example:443",
                                         "WWW.Example.COM:8080", "a_b:1"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
                                         "OCT", "oCt", "Foo", "Ja",  "Sept"};
    static const char *const zones[] = {"+0000", "-0700", "+0530", "-1200", "0000", "+00", "x"};
    static const char *const methods[] = {"GET", "GET", "POST", "HEAD", "get", ""};
    static const char *const urls[] = {"/",
                                       "/index.html",
                                       "/Docs/A.html",
                                       "/a%20b.html",
                                       "/cgi/q?x=1&Y=2",
                                       "/a%3Fb?c",
                                       "/a%2Fb/C",
                                       "http://Proxy.Example/P?q",
                                       "HTTP://Host.Example:8080/X/Y",
                                       "Http://A/b/c/D",
                                       "ftp://Files.Example/Pub/",
                                       "gopher://G.Example/1/Menu",
                                       "https://Secure.Example/Path",
                                       "%68ttp://Trick/A",
                                       "%",
                                       "%4",
                                       "%zz",
                                       "%4g",
                                       "%00abc",
                                       "/%00/x",
                                       "noslash",
                                       "NoSlash",
                                       "//double//Slash",
                                       "/a:b//c",
                                       "://x",
                                       "/x%2",
                                       "/%41%42",
                                       "/\x01/",
                                       "/q\\\"x",
                                       "/\\\\",
                                       "http:/x"};
    static const char *const protocols[] = {"HTTP/1.0", "HTTP/1.1", "HTTP/2.0", "",
                                            "HTTP/1.1 extra"};
    static const char *const referers[] = {"-",
                                           "https://www.example.com/support/tutorial-412.html",
                                           "http://Ref.Example/From?q=1",
                                           "/local/Page",
                                           "a:b",
                                           "http://x/%41\x01y",
                                           "-",
                                           "",
                                           "HTTP://UPPER.EXAMPLE/P",
                                           "http://r/\\\"q\\\""};
    static const char *const agentWords[] = {"Mozilla/5.0",
                                             "(Windows",
                                             "NT",
                                             "10.0;",
                                             "Win64;",
                                             "x64)",
                                             "AppleWebKit/537.36",
                                             "(KHTML,",
                                             "like",
                                             "Gecko)",
                                             "Chrome/120.0.0.0",
                                             "Safari/537.36",
                                             "(Win98;",
                                             "I",
                                             ";Nav)",
                                             "q,r",
                                             "\x01",
                                             "x\x01y",
                                             "--",
                                             "-",
                                             "a:b",
                                             "/slash",
                                             "!",
                                             "(compatible;"};
    // Words that end the agent early, split it, or are the server's name.
    static const char *const oddWords[] = {
        "[en]", "a\"b",      "a\\\"b",          "x\\\\\"",          "x]", "{y}", "Bot]y", "\"",
        "}",    "tab\tword", "www.example.com", "other.example.org"};
    static const char *const separators[] = {" ", " ", " ", " ", " ",  " ",  " ",   " ",
                                             " ", " ", " ", " ", "  ", "\t", " \t", "\r"};

    std::string line;
    switch (r.below(20)) {
        case 0:
            return "10.0.0.1, -, 6/1/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, "
                   "GET, "
                   "/a.htm, -,\n";
        case 1:
            return "Sat Jun 1 10:00:00 2024 WEB1 10.0.0.1 GET /a.html HTTP/1.0\n";
        case 2:
            return "#Fields: date time\n";
        default:
            break;
    }
    if (r.percent(15)) line += std::string(r.pick(vhosts)) + " ";
    line += r.pick(hosts);
    line += " ";
    line += r.pick(idents);
    line += " ";
    line += r.pick(users);
    line += " ";
    char date[80];
    int day = static_cast<int>(r.below(33)), year = 1990 + static_cast<int>(r.below(45));
    int hour = static_cast<int>(r.below(25)), minute = static_cast<int>(r.below(61));
    int second = static_cast<int>(r.below(62));
    const char *month = r.pick(months);
    switch (r.below(8)) {
        case 0:
            std::snprintf(date, sizeof date, "[%d/%s/%d:%d:%d:%d]", day, month, year % 100, hour,
                          minute, second);
            break;
        case 1:
            std::snprintf(date, sizeof date, "{Fri, %d %s %d %02d:%02d:%02d}", day, month, year,
                          hour, minute, second);
            break;
        case 2:
            std::snprintf(date, sizeof date, "[Fri %d %s %02d:%02d:%02d PDT %d]", day, month, hour,
                          minute, second, year);
            break;
        case 3:
            std::snprintf(date, sizeof date, "[%02d/%s/%d:%02d:%02d:%02d %s]", day, month, year,
                          hour, minute, second, r.pick(zones));
            break;
        default:
            std::snprintf(date, sizeof date, "[%02d/%s/%04d:%02d:%02d:%02d %s]", day % 29 + 1,
                          months[r.below(12)], 2020 + static_cast<int>(r.below(5)), hour % 24,
                          minute % 60, second % 60, r.pick(zones));
            break;
    }
    line += date;
    line += r.percent(90) ? " \"" : "\"";
    line += r.pick(methods);
    line += r.percent(90) ? " " : "\t ";
    std::string url = r.pick(urls);
    if (r.percent(30)) url += r.pick(urls);
    line += url;
    const char *protocol = r.pick(protocols);
    if (*protocol) line += std::string(" ") + protocol;
    line += "\" ";
    // Numbers of every width around the limits of 32 and 64 bits.
    auto digits = [&r](std::size_t most) {
        std::string number(r.below(most) + 1, '0');
        for (char &c : number) c = static_cast<char>('0' + r.below(10));
        return number;
    };
    line += r.percent(85)   ? std::to_string(200 + r.below(400))
            : r.percent(60) ? digits(12)
                            : std::string(r.percent(50) ? "-" : "+12x");
    if (r.percent(97)) {
        line += " ";
        line += r.percent(85)   ? std::to_string(r.below(100000))
                : r.percent(70) ? digits(22)
                                : std::string(r.percent(50) ? "-" : "3000000000");
    }
    if (r.percent(85)) {
        line += " \"";
        if (r.percent(4)) {
            // Long enough to be cut at the field's limit, escapes around the cut.
            std::string referer = "http://Long.Example/";
            std::size_t size = 1900 + r.below(400);
            while (referer.size() < size) referer += r.percent(50) ? "%41b" : "Ab/";
            line += referer;
        } else {
            line += r.pick(referers);
        }
        line += "\" \"";
        // Agents of every length around the limit of the field.
        std::size_t words = r.below(r.percent(20) ? 60 : 14) + 1;
        for (std::size_t i = 0; i < words; i++) {
            if (i) line += r.pick(separators);
            line += r.percent(8) ? r.pick(oddWords) : r.pick(agentWords);
        }
        line += "\"";
        if (r.percent(15))
            line += std::string(" ") + r.pick(oddWords) + " \"" + r.pick(referers) + "\"";
    }
    switch (r.below(6)) {
        case 0:
            line += "\r\n";
            break;
        case 1:
            break;
        case 2:
            line += " \n";
            break;
        default:
            line += "\n";
            break;
    }
    return line;
}

// Insertions, deletions, replacements, repeated runs and cuts of the bytes that matter.
void mutate(Random &r, std::string &line) {
    static const char interesting[] =
        " \t\r\n\"[]{},:/%?-+.#\\\x01\x0b\x0c"
        "09AZaz";
    int count = static_cast<int>(r.below(4)) + 1;
    for (int i = 0; i < count && !line.empty(); i++) {
        std::size_t at = r.below(line.size());
        char c = r.percent(85) ? interesting[r.below(sizeof interesting - 1)]
                               : static_cast<char>(r.below(256));
        switch (r.below(6)) {
            case 0:
                line.insert(at, 1, c);
                break;
            case 1:
                line.erase(at, 1);
                break;
            case 2:
                line[at] = c;
                break;
            case 3: {
                std::size_t length = r.below(std::min<std::size_t>(40, line.size() - at)) + 1;
                std::string run = line.substr(at, length);
                std::size_t times = r.below(70) + 1;
                for (std::size_t k = 0; k < times; k++) line.insert(at, run);
                break;
            }
            case 4:
                line.resize(at);
                break;
            default:
                line.insert(at, std::string(r.below(300) + 1, c));
                break;
        }
    }
}

void chooseSettings(Random &r) {
    serverName = r.percent(25) ? ourServer : nullptr;
    keepqueriesFlag = r.percent(25);
    nocaseFlag = r.percent(20);
}

class ParseDifferential : public ::testing::Test {
  protected:
    void SetUp() override { parserSettingsReset(); }
    void TearDown() override { parserSettingsClear(); }
};

// A terminated copy in a buffer of exactly its size, so that reading past it is caught.
std::vector<char> exactCopy(const std::string &text) {
    std::size_t length = strnlen(text.c_str(), text.size());
    std::vector<char> copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    copy.push_back('\0');
    return copy;
}

TEST_F(ParseDifferential, CommonParserGivesTheSameRecordAndResult) {
    Random r(12);
    LogEntry want, got;
    for (int i = 0; i < 40000; i++) {
        chooseSettings(r);
        std::string line = generateLine(r);
        if (r.percent(60)) mutate(r, line);
        std::vector<char> a = exactCopy(line), b = exactCopy(line);
        std::memset(&want, 0x5a, sizeof want);
        std::memset(&got, 0x5a, sizeof got);
        int expected = previous::parseEntryCommon(a.data(), want);
        int result = logParseEntryCommon(b.data(), got);
        ASSERT_EQ(result, expected) << "line " << i << ": [" << line << "]";
        ASSERT_EQ(describe(got), describe(want)) << "line " << i << ": [" << line << "]";
    }
}

TEST_F(ParseDifferential, DispatcherGivesTheSameRecordResultAndFormat) {
    Random r(34);
    LogEntry want, got;
    int parsed = 0;
    for (int i = 0; i < 40000; i++) {
        chooseSettings(r);
        std::string line = generateLine(r);
        if (r.percent(50)) mutate(r, line);
        int start = static_cast<int>(r.below(3));
        lastLogType = start;
        int expected = previous::parseEntry(line.c_str(), want);
        int formatAfter = lastLogType;
        lastLogType = start;
        // Lines reach the parser terminated, with their length, or where the reader
        // holds them, followed by the next line; that buffer must come back unchanged.
        std::string stored = line + std::string(r.below(8), 'z');
        if (r.percent(50)) stored += generateLine(r);
        std::string before = stored;
        int result;
        switch (r.below(3)) {
            case 0:
                result = logParseEntry(line.c_str(), got);
                break;
            case 1:
                result = logParseLine(stored.data(), line.size(), got);
                break;
            default:
                stored.resize(stored.size() + 64, '\0');
                before = stored;
                result = logParseLineInPlace(stored.data(), line.size(),
                                             stored.data() + stored.size(), got);
                break;
        }
        ASSERT_EQ(stored, before) << "line " << i << ": [" << line << "]";
        ASSERT_EQ(result, expected) << "line " << i << ": [" << line << "]";
        ASSERT_EQ(lastLogType, formatAfter) << "line " << i << ": [" << line << "]";
        if (expected == LOG_OK) {
            parsed++;
            ASSERT_EQ(describe(got), describe(want)) << "line " << i << ": [" << line << "]";
        }
    }
    EXPECT_GT(parsed, 15000);  // the generated lines are mostly entries
}

TEST_F(ParseDifferential, LinesWithZeroBytesAndBeyondTheLimit) {
    Random r(56);
    LogEntry want, got;
    for (int i = 0; i < 3000; i++) {
        std::string line = generateLine(r);
        if (r.percent(50)) line.insert(r.below(line.size()), 1, '\0');
        if (r.percent(50)) line.insert(r.below(line.size()), std::string(2100, 'p'));
        lastLogType = 0;
        int expected = previous::parseEntry(line.c_str(), want);
        lastLogType = 0;
        int result;
        if (r.percent(50)) {
            result = logParseLine(line.data(), line.size(), got);
        } else {
            std::string stored = line + std::string(64, 'x');
            result =
                logParseLineInPlace(stored.data(), line.size(), stored.data() + stored.size(), got);
            ASSERT_EQ(stored, line + std::string(64, 'x')) << "line " << i;
        }
        ASSERT_EQ(result, expected) << "line " << i;
        if (expected == LOG_OK) {
            ASSERT_EQ(describe(got), describe(want)) << "line " << i;
        }
    }
}

TEST_F(ParseDifferential, TimeOffsetsGiveTheDatesWorkedOutByHand) {
    struct Case {
        const char *date;
        int hours, minutes, month, day, year, hour, minute;
    };
    const Case cases[] = {
        {"10/Oct/1997:23:30", 1, 0, 10, 11, 1997, 0, 30},
        {"31/Jan/2023:23:50", 0, 15, 2, 1, 2023, 0, 5},
        {"31/Dec/1999:23:00", 2, 0, 1, 1, 2000, 1, 0},
        {"28/Feb/2023:20:45", 5, 30, 3, 1, 2023, 2, 15},
        {"01/Jan/2024:00:00", -11, -45, 12, 31, 2023, 12, 15},
        {"01/Mar/2024:00:30", -1, 0, 2, 29, 2024, 23, 30},
        {"01/Mar/2000:00:30", -1, 0, 2, 28, 2000, 23, 30},  // 2000 has no 29 February here
    };
    LogEntry entry;
    for (const Case &c : cases) {
        offsetHours = c.hours;
        offsetMinutes = c.minutes;
        std::string line =
            std::string("h - - [") + c.date + ":07 +0000] \"GET / HTTP/1.0\" 200 1\n";
        ASSERT_EQ(logParseEntry(line.c_str(), entry), LOG_OK) << c.date;
        EXPECT_EQ(dateToDay(entry.month, entry.day, entry.year), dateToDay(c.month, c.day, c.year))
            << c.date;
        EXPECT_EQ(entry.hour * 100 + entry.minute, c.hour * 100 + c.minute) << c.date;
        EXPECT_EQ(entry.second, 7) << c.date;
    }
}

TEST_F(ParseDifferential, UrlDecodingGivesTheSameText) {
    Random r(78);
    static const char pieces[][12] = {"http:", "HTTP:", "ftp:", "gopher:", "/", "//", "%",
                                      "%4",    "%41",   "%2f",  "%3F",     "?", "A",  "b",
                                      "Z",     ":",     "%00",  "%g1",     "h", "tTp"};
    for (int i = 0; i < 60000; i++) {
        keepqueriesFlag = r.percent(30);
        nocaseFlag = r.percent(20);
        std::string text;
        std::size_t count = r.below(r.percent(10) ? 80 : 10);
        for (std::size_t k = 0; k < count; k++) text += r.pick(pieces);
        if (r.percent(30)) mutate(r, text);
        std::vector<char> a = exactCopy(text), b = exactCopy(text);
        previous::UnescapeUrl(a.data());
        UnescapeUrl(b.data());
        ASSERT_STREQ(b.data(), a.data()) << "[" << text << "]";
    }
}

}  // namespace
