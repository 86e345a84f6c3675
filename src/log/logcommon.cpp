// The log entry record and the common and combined format.
//
// Lines are cut the way strtok cuts them, with a delimiter set per token: delimiters
// before a token are skipped, the token is the longest run outside the set, and the
// one delimiter that ends it is overwritten. Date and request fields are read with
// scanf templates through logScanTemplate, which gives exactly sscanf's results
// without its cost; the usual date and the request have hand-written readers with the
// same results. Nothing here allocates or prints.
//
// Servers write a quote inside the request, referer or agent as \" (and a backslash as
// \\): such a quote does not end its field, and the field keeps the text as written.
//
// The parser gives the same results without changing its text: token ends are found
// sixteen bytes at a time, fields are copied by length, and URLs are decoded on their way
// into the record. It therefore reads a line where the log reader holds it, and only a
// line that it rejects is copied for the other formats. A delimiter is overwritten only
// where a reader needs a terminated token, and put back afterwards.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "log/log.h"
#include "log/logbytes.h"
#include "log/logtext.h"

const char *const monthnames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                    "jul", "aug", "sep", "oct", "nov", "dec"};

namespace {

const LogCharSet blanks(" \t\r\n");
const LogCharSet dateEnd("]}");
const LogCharSet quote("\"");
const LogCharSet trailing(", \t\r\n\"[]{}");
const LogCharSet requestWordEnd(" \t\n\v\f\r\"");
const LogCharSet agentEnd("\t\n\r\"]}");

#if defined(__SSE2__)
struct CandidatesDateEnd {
    LogBlock operator()(LogBlock v) const {
        return logOr(logEqual(v, '\0'), logEqual(_mm_or_si128(v, _mm_set1_epi8(0x20)), '}'));
    }
};
// Blanks, scanf white space, the quote and the terminator are all at most '"'.
struct CandidatesWordEnd {
    LogBlock operator()(LogBlock v) const { return logAtMost(v, '"'); }
};
#else
struct CandidatesDateEnd {};
struct CandidatesWordEnd {};
#endif

// Delimiters overwritten to terminate a token, to be put back: those after a date of
// another shape, a result and a size that are not plain digits.
struct Cuts {
    static constexpr int MOST = 3;
    char *at[MOST];
    char was[MOST];
    int count = 0;
    void add(char *where) {
        if (count < MOST) {
            at[count] = where;
            was[count] = *where;
            count++;
        }
        *where = '\0';
    }
    void restore() {
        while (count > 0) {
            count--;
            *at[count] = was[count];
        }
    }
};

// Whether the quote at q is escaped: an odd run of backslashes, none of them before
// from, stands right before it.
inline bool escapedQuote(const char *from, const char *q) {
    const char *p = q;
    while (p > from && p[-1] == '\\') p--;
    return ((q - p) & 1) != 0;
}

// The end of a token that stopped at a quote after a backslash: escaped quotes are passed
// over. Kept out of line, as it is rarely needed.
[[gnu::cold]] [[gnu::noinline]] char *pastEscapedQuotes(char *token, char *stop,
                                                        const LogCharSet &delimiters) {
    while (*stop == '"' && escapedQuote(token, stop))
        for (stop++; !delimiters.stop[static_cast<unsigned char>(*stop)];) stop++;
    return stop;
}

// The strtok-style tokenizer over a text that may be read up to limit. The delimiter
// that ends a token is passed over, not overwritten: fields are copied by length. cut()
// terminates the last token for the readers that need it so, noting it in cuts.
struct Tokens {
    char *position;
    const char *limit;
    char *end = nullptr;     // where the last token stopped
    std::size_t length = 0;  // of the last token
    bool controlA = false;   // whether the last token holds a byte 1
    Cuts &cuts;

    Tokens(char *text, const char *textLimit, Cuts &record)
        : position(text), limit(textLimit), cuts(record) {}

    // With quoted set, an escaped quote does not end the token.
    template <bool quoted = false, class Candidates>
    char *next(const LogCharSet &delimiters, Candidates candidates) {
        unsigned char *p = reinterpret_cast<unsigned char *>(position);
        while (delimiters.member[*p]) p++;
        if (!*p) {
            position = reinterpret_cast<char *>(p);
            return nullptr;
        }
        char *token = reinterpret_cast<char *>(p);
        controlA = false;
        char *stop = logFindStop(token, limit, delimiters, candidates, &controlA);
        if constexpr (quoted)
            if (*stop == '"' && stop[-1] == '\\') {
                stop = pastEscapedQuotes(token, stop, delimiters);
                if (std::memchr(token, '\1', static_cast<std::size_t>(stop - token)))
                    controlA = true;
            }
        end = stop;
        length = static_cast<std::size_t>(end - token);
        position = *end ? end + 1 : end;
        return token;
    }

    void cut() { cuts.add(end); }
};

int monthNumber(const char *name) {
    char lower[4];
    logCopyBounded(lower, name, 3);
    charLowerText(lower);
    for (int i = 0; i < 12; i++)
        if (std::strcmp(lower, monthnames[i]) == 0) return i + 1;
    return 0;
}

// The month number of three letters (any case); 0 when they name no month.
int letterMonth(const unsigned char *letters) {
    static const char keys[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    unsigned char a = letters[0] | 0x20, b = letters[1] | 0x20, c = letters[2] | 0x20;
    for (int i = 0; i < 12; i++)
        if (keys[3 * i] == a && keys[3 * i + 1] == b && keys[3 * i + 2] == c) return i + 1;
    return 0;
}

unsigned digitAt(const unsigned char *t, int i) {
    return static_cast<unsigned>(t[i]) - '0';
}

// Whether the 27 characters at t have the shape "[dd/aaa/dddd:dd:dd:dd sdddd": digits,
// letters, these punctuation marks and a sign.
[[gnu::always_inline]] inline bool usualDateShape(const unsigned char *t) {
    if (t[22] != '+' && t[22] != '-') return false;
    if (!(charIsAlpha(t[4]) && charIsAlpha(t[5]) && charIsAlpha(t[6]))) return false;
#if defined(__SSE2__)
    // Two overlapping blocks: characters 0..15 and 11..26.
    const LogBlock zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    LogBlock a = logLoad(t), b = logLoad(t + 11);
    LogBlock da = _mm_sub_epi8(a, zero), db = _mm_sub_epi8(b, zero);
    unsigned digitsA = logMask(_mm_cmpeq_epi8(_mm_min_epu8(da, nine), da));
    unsigned digitsB = logMask(_mm_cmpeq_epi8(_mm_min_epu8(db, nine), db));
    const LogBlock marksA = _mm_setr_epi8('[', 0, 0, '/', 0, 0, 0, '/', 0, 0, 0, 0, ':', 0, 0, ':');
    const LogBlock marksB = _mm_setr_epi8(0, ':', 0, 0, ':', 0, 0, ':', 0, 0, ' ', 0, 0, 0, 0, 0);
    unsigned equalA = logMask(_mm_cmpeq_epi8(a, marksA));
    unsigned equalB = logMask(_mm_cmpeq_epi8(b, marksB));
    return (digitsA & 0x6F06) == 0x6F06 && (digitsB & 0xF36D) == 0xF36D &&
           (equalA & 0x9089) == 0x9089 && (equalB & 0x0492) == 0x0492;
#else
    if (t[0] != '[' || t[3] != '/' || t[7] != '/' || t[12] != ':' || t[15] != ':' || t[18] != ':' ||
        t[21] != ' ')
        return false;
    static const int digits[] = {1, 2, 8, 9, 10, 11, 13, 14, 16, 17, 19, 20, 23, 24, 25, 26};
    for (int i : digits)
        if (digitAt(t, i) > 9) return false;
    return true;
#endif
}

// The usual date "[10/Oct/1997:13:55:36 -0700]" read without the general template
// reader; any other shape returns false and takes the general way. For this exact shape
// sscanf's reading is plain: fixed runs of digits, three non-blanks, one blank. The
// month comes back as its number (0 for letters that name no month).
[[gnu::always_inline]] inline bool readUsualDate(const char *token, std::size_t length,
                                                 LogEntry &entry, int *month) {
    if (length != 27) return false;
    const unsigned char *t = reinterpret_cast<const unsigned char *>(token);
    if (!usualDateShape(t)) return false;
    entry.day = static_cast<int32_t>(digitAt(t, 1) * 10 + digitAt(t, 2));
    *month = letterMonth(t + 4);
    entry.year = static_cast<int32_t>(digitAt(t, 8) * 1000 + digitAt(t, 9) * 100 +
                                      digitAt(t, 10) * 10 + digitAt(t, 11));
    entry.hour = static_cast<int32_t>(digitAt(t, 13) * 10 + digitAt(t, 14));
    entry.minute = static_cast<int32_t>(digitAt(t, 16) * 10 + digitAt(t, 17));
    entry.second = static_cast<int32_t>(digitAt(t, 19) * 10 + digitAt(t, 20));
    int32_t zone = static_cast<int32_t>(digitAt(t, 23) * 1000 + digitAt(t, 24) * 100 +
                                        digitAt(t, 25) * 10 + digitAt(t, 26));
    entry.zone = t[22] == '-' ? -zone : zone;
    return true;
}

// The first "://" of the length characters at text, or -1.
long findScheme(const char *text, std::size_t length) {
    for (const char *colon = static_cast<const char *>(std::memchr(text, ':', length)); colon;
         colon = static_cast<const char *>(
             std::memchr(colon + 1, ':', length - static_cast<std::size_t>(colon + 1 - text)))) {
        std::size_t at = static_cast<std::size_t>(colon - text);
        if (at + 2 < length && colon[1] == '/' && colon[2] == '/') return static_cast<long>(at);
    }
    return -1;
}

// The request (the text from request up to the next quote or the terminator) read as
// sscanf reads "%63s %2047s %63s" into method, url and protocol; returns what sscanf
// would. The url is decoded on its way into the record, and urlScheme set to the
// position of its first "://" (or -1). The tokenizer is left after the request, as
// strtok with the quote leaves it; the words are read without looking for that quote
// first, since none comes before it. An escaped quote is part of its word.
[[gnu::always_inline]] inline int readRequest(Tokens &tokens, char *request, LogEntry &entry,
                                              long *urlScheme) {
    struct Field {
        char *target;
        std::size_t size;
    };
    const Field fields[3] = {{entry.method, sizeof entry.method},
                             {entry.url, sizeof entry.url},
                             {entry.protocol, sizeof entry.protocol}};
    // A quote after a backslash may be escaped (the byte before the request is its
    // opening quote).
    auto escaped = [request](const char *quote) {
        return quote[-1] == '\\' && escapedQuote(request, quote);
    };
    char *s = request;
    int result = 3;
    for (int k = 0; k < 3; k++) {
        while (charIsSpace(static_cast<unsigned char>(*s))) s++;
        if (*s == '\0' || (*s == '"' && !escaped(s))) {
            result = k ? k : EOF;
            break;
        }
        char *end =
            logFindStop(s, tokens.limit, requestWordEnd, CandidatesWordEnd(), &tokens.controlA);
        if (*end == '"' && end[-1] == '\\') end = pastEscapedQuotes(request, end, requestWordEnd);
        std::size_t length = static_cast<std::size_t>(end - s);
        if (length > fields[k].size - 1) length = fields[k].size - 1;
        if (k == 1) {
            std::size_t text;
            bool escaped;
            std::size_t written = logDecodeUrl(entry.url, sizeof entry.url, s, length, tokens.limit,
                                               false, &text, &escaped);
            entry.url[written] = '\0';
            // Without escapes the text is the url's own characters, lower-cased or cut.
            *urlScheme = !escaped && !std::memchr(s, ':', text) ? -1 : findScheme(entry.url, text);
        } else {
            logCopyField(fields[k].target, fields[k].size, s, length, tokens.limit);
        }
        s += length;
    }
    char *end = *s == '"' || *s == '\0'
                    ? s
                    : logFindStop(s, tokens.limit, quote, LogCandidatesQuote(), &tokens.controlA);
    if (*end == '"' && end[-1] == '\\') end = pastEscapedQuotes(request, end, quote);
    tokens.position = *end ? end + 1 : end;
    return result;
}

// logLeadingInt and logLeadingInt64 of a token; a token of digits only is read in place.
[[gnu::always_inline]] inline int32_t tokenInt(Tokens &tokens, const char *token,
                                               std::size_t length) {
    if (length <= 9) {
        int32_t value = 0;
        std::size_t i = 0;
        for (; i < length; i++) {
            unsigned digit = static_cast<unsigned char>(token[i]) - static_cast<unsigned>('0');
            if (digit > 9) break;
            value = value * 10 + static_cast<int32_t>(digit);
        }
        if (i == length) return value;
    }
    tokens.cut();
    return logLeadingInt(token);
}

[[gnu::always_inline]] inline int64_t tokenInt64(Tokens &tokens, const char *token,
                                                 std::size_t length) {
    if (length <= 18) {
        int64_t value = 0;
        std::size_t i = 0;
        for (; i < length; i++) {
            unsigned digit = static_cast<unsigned char>(token[i]) - static_cast<unsigned>('0');
            if (digit > 9) break;
            value = value * 10 + digit;
        }
        if (i == length) return value;
    }
    tokens.cut();
    return logLeadingInt64(token);
}

// logLooksLikeHost of a token of known length.
bool looksLikeHost(const char *token, std::size_t length) {
    bool dot = false;
    for (std::size_t i = 0; i < length; i++) {
        unsigned char c = static_cast<unsigned char>(token[i]);
        if (c == '.')
            dot = true;
        else if (!charIsAlpha(c) && !charIsDigit(c))
            return false;
    }
    return dot;
}

bool isServerName(const char *token, std::size_t length) {
    return std::strlen(serverName) == length && std::memcmp(token, serverName, length) == 0;
}

// Whether a token has the shape of a virtual host with its port ("www.example.com:80"), the
// first field of a vhost_combined line: a name of letters, digits, dots, hyphens and
// underscores, a colon and one to five digits. An IPv6 address is no such name.
[[gnu::always_inline]] inline bool looksLikeVhost(const char *token, std::size_t length) {
    std::size_t i = length;
    while (i > 0 && charIsDigit(static_cast<unsigned char>(token[i - 1]))) i--;
    if (i == length || length - i > 5 || i < 2 || token[i - 1] != ':') return false;
    for (std::size_t k = 0; k + 1 < i; k++) {
        unsigned char c = static_cast<unsigned char>(token[k]);
        if (!charIsAlpha(c) && !charIsDigit(c) && c != '.' && c != '-' && c != '_') return false;
    }
    return true;
}

// Whether a token may be a client's name or address: an ident field ("-") is not.
bool looksLikeClient(const char *token, std::size_t length) {
    if (length == 1 && token[0] == '-') return false;
    for (std::size_t k = 0; k < length; k++) {
        unsigned char c = static_cast<unsigned char>(token[k]);
        if (!charIsAlpha(c) && !charIsDigit(c) && c != '.' && c != ':' && c != '-' && c != '_')
            return false;
    }
    return true;
}

// The bracket that opens the date, for a user field that may hold blanks and brackets:
// the last "[" or "{" after one blank that stands before the first quote (not escaped)
// following the first "]" or "}" from text on, and after text; nullptr when there is none.
char *dateOpening(char *text) {
    char *c = text;
    while (*c && *c != ']' && *c != '}') c++;
    if (!*c) return nullptr;
    char *q = c + 1;
    while (*q && (*q != '"' || escapedQuote(c + 1, q))) q++;
    if (!*q) return nullptr;
    for (char *o = q - 1; o > text; o--)
        if ((*o == '[' || *o == '{') && blanks.has(static_cast<unsigned char>(o[-1])) &&
            !blanks.has(static_cast<unsigned char>(o[-2])))
            return o;
    return nullptr;
}

// Whether a word holds a "]" or "}".
[[gnu::always_inline]] inline bool hasClosing(const char *token, std::size_t length) {
    for (std::size_t k = 0; k < length; k++)
        if ((token[k] | 0x20) == '}') return true;
    return false;
}

// The ident field; with serverName set it is left empty, and a host name other than the
// server's makes the entry another server's.
[[gnu::always_inline]] inline bool readIdent(const char *token, std::size_t length, LogEntry &entry,
                                             const char *limit) {
    if (!serverName)
        logCopyField(entry.ident, sizeof entry.ident, token, length, limit);
    else if (looksLikeHost(token, length) && !isServerName(token, length))
        return false;
    return true;
}

// The fields before the date when they are not one word each: a user name with blanks or
// brackets, or a vhost_combined line's leading virtual host. line is where the line
// begins. Leaves tokens at the date's bracket.
[[gnu::noinline]] int readHead(Tokens &tokens, LogEntry &entry, char *line) {
    auto word = [](char *&at, std::size_t &length) {
        while (blanks.has(static_cast<unsigned char>(*at))) at++;
        char *start = at;
        while (!blanks.stop[static_cast<unsigned char>(*at)]) at++;
        length = static_cast<std::size_t>(at - start);
        return start;
    };
    std::size_t firstLength, secondLength;
    const char *first = word(line, firstLength);
    const char *second = word(line, secondLength);
    char *text = line;
    bool vhostShape = looksLikeVhost(first, firstLength);
    const char *limit = tokens.limit;
    entry.ident[0] = entry.authuser[0] = '\0';
    if (!vhostShape && !readIdent(second, secondLength, entry, limit)) return LOG_OTHER_SERVER;
    while (blanks.has(static_cast<unsigned char>(*text))) text++;
    char *open = dateOpening(text);
    if (!open) return LOG_NOT_THIS_FORMAT;
    char *end = open;
    while (blanks.has(static_cast<unsigned char>(end[-1]))) end--;
    char *user = text;
    if (vhostShape) {
        char *gap = user;
        while (gap < end && !blanks.has(static_cast<unsigned char>(*gap))) gap++;
        if (gap < end && looksLikeClient(second, secondLength)) {
            std::size_t name = firstLength;
            while (first[name - 1] != ':') name--;
            name--;
            if (serverName &&
                (std::strlen(serverName) != name || strncasecmp(first, serverName, name) != 0))
                return LOG_OTHER_SERVER;
            logCopyLowerField(entry.site, sizeof entry.site, second, secondLength, limit);
            if (!readIdent(user, static_cast<std::size_t>(gap - user), entry, limit))
                return LOG_OTHER_SERVER;
            for (user = gap; blanks.has(static_cast<unsigned char>(*user));) user++;
        } else if (!readIdent(second, secondLength, entry, limit)) {
            return LOG_OTHER_SERVER;
        }
    }
    logCopyField(entry.authuser, sizeof entry.authuser, user, static_cast<std::size_t>(end - user),
                 limit);
    tokens.position = open;
    return LOG_OK;
}

bool isTrailerEnd(char c) {
    return c == ']' || c == '"' || c == '}';
}

// The rest of the agent in one step, for the usual case: words separated by single
// blanks up to the first word that ends with "]", "\"" or "}", all of it fitting into
// the agent. Then the words joined by blanks are exactly the text between, and the
// tokenizer moves past the closing word. Anything else returns false having changed
// nothing, and the words are taken one by one. Notes a byte 1 among the words.
[[gnu::always_inline]] inline bool agentAtOnce(Tokens &tokens, LogEntry &entry, std::size_t &length,
                                               bool *controlA) {
    unsigned char *start = reinterpret_cast<unsigned char *>(tokens.position);
    if (*start == ' ') return false;
    const std::size_t room = LOG_HOST_MAX - length;  // characters the agent may still take
    unsigned char *u = start;
    unsigned char *stop = nullptr;
    bool one = false;
    bool blank = false;  // the byte before u is a blank
#if defined(__SSE2__)
    while (tokens.limit - reinterpret_cast<char *>(u) >= 16) {
        // Every byte that ends the words, and a byte 1, is at most '"' but not a blank, or
        // is "]" or "}".
        LogBlock v = logLoad(u);
        LogBlock blankLanes = logEqual(v, ' ');
        LogBlock closing = logEqual(_mm_or_si128(v, _mm_set1_epi8(0x20)), '}');
        unsigned candidates =
            logMask(logOr(_mm_andnot_si128(blankLanes, logAtMost(v, '"')), closing));
        unsigned blanks16 = logMask(blankLanes);
        unsigned twice = blanks16 & ((blanks16 << 1) | (blank ? 1u : 0u));
        while (candidates) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(candidates));
            unsigned char c = u[at];
            if (agentEnd.stop[c]) {
                if (twice & ((1u << at) - 1)) return false;
                stop = u + at;
                break;
            }
            if (c == '\1') one = true;
            candidates &= candidates - 1;
        }
        if (stop) break;
        if (twice) return false;
        blank = (blanks16 >> 15) & 1;
        u += 16;
        if (static_cast<std::size_t>(u - start) > room) return false;
    }
#endif
    if (!stop) {
        for (;; u++) {
            unsigned char c = *u;
            if (agentEnd.stop[c]) {
                stop = u;
                break;
            }
            if (c == ' ' && blank) return false;
            if (c == '\1') one = true;
            blank = c == ' ';
        }
    }
    if (!isTrailerEnd(static_cast<char>(*stop))) return false;
    if (*stop == '"' && stop[-1] == '\\') return false;  // perhaps escaped: word by word
    unsigned char after = stop[1];
    if (!(after == '\0' || blanks.has(after))) return false;
    std::size_t words = static_cast<std::size_t>(stop - start);
    if (words + 1 > room) return false;
    entry.agent[length] = ' ';
    std::memcpy(entry.agent + length + 1, start, words);
    length += words + 1;
    entry.agent[length] = '\0';
    tokens.position = reinterpret_cast<char *>(after ? stop + 2 : stop + 1);
    if (one) *controlA = true;
    return true;
}

// Combined-format fields after the size: referer, agent, or the server's own name.
[[gnu::always_inline]] inline int parseTrailingFields(Tokens &tokens, LogEntry &entry) {
    while (char *token = tokens.next<true>(trailing, LogCandidatesTrailing())) {
        std::size_t tokenLength = tokens.length;
        if (token[0] == '-' && tokenLength == 1) continue;
        if (serverName && looksLikeHost(token, tokenLength)) {
            if (isServerName(token, tokenLength)) continue;
            return LOG_OTHER_SERVER;
        }
        if (token[0] == '/' || std::memchr(token, ':', tokenLength)) {
            if (tokenLength > static_cast<std::size_t>(LOG_URL_MAX)) tokenLength = LOG_URL_MAX;
            std::size_t text;
            bool escaped;
            std::size_t written =
                logDecodeUrl(entry.referer, sizeof entry.referer, token, tokenLength, tokens.limit,
                             tokens.controlA, &text, &escaped);
            entry.referer[written] = '\0';
            continue;
        }
        // The agent runs over blank-separated words up to the one that closes it.
        std::size_t length =
            logCopyField(entry.agent, sizeof entry.agent, token, tokenLength, tokens.limit);
        bool controlA = tokens.controlA;
        if (agentAtOnce(tokens, entry, length, &controlA)) {
            if (controlA) logReplaceByte(entry.agent, length, '\1', ' ');
            continue;
        }
        for (;;) {
            char *word = tokens.next(blanks, LogCandidatesLow());
            if (!word) {
                logReplaceByte(entry.agent, length, '\1', ' ');
                return LOG_OK;
            }
            std::size_t wordLength = tokens.length;
            bool last = false;
            if (wordLength > 0 && isTrailerEnd(word[wordLength - 1]) &&
                !(word[wordLength - 1] == '"' && escapedQuote(word, word + wordLength - 1))) {
                wordLength--;
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
        logReplaceByte(entry.agent, length, '\1', ' ');
    }
    return LOG_OK;
}

[[gnu::always_inline]] inline int parseCommonFields(Tokens &tokens, LogEntry &entry) {
    logEntryClear(entry);
    const char *limit = tokens.limit;
    char *line = tokens.position;

    char *token = tokens.next(blanks, LogCandidatesLow());
    if (!token || token[0] == '[') return LOG_NOT_THIS_FORMAT;
    logCopyLowerField(entry.site, sizeof entry.site, token, tokens.length, limit);

    if (!(token = tokens.next(blanks, LogCandidatesLow()))) return LOG_NOT_THIS_FORMAT;
    // The usual layout: one-word ident and user, the usual date, then the request. The date
    // is the last bracketed one before the request, so a "]" or "}" in the user or
    // anything but a blank between the date and the request takes the general way, as
    // does a vhost_combined line, whose client stands where the ident does.
    int month = 0;
    bool usual = false;
    bool general = false;
    if (!readIdent(token, tokens.length, entry, limit)) {
        const char *first = line;
        while (blanks.has(static_cast<unsigned char>(*first))) first++;
        const char *end = first;
        while (!blanks.stop[static_cast<unsigned char>(*end)]) end++;
        if (!looksLikeVhost(first, static_cast<std::size_t>(end - first))) return LOG_OTHER_SERVER;
        general = true;
    }
    if (!general && (token = tokens.next(blanks, LogCandidatesLow()))) {
        if (*tokens.position == '[' && !hasClosing(token, tokens.length)) {
            logCopyField(entry.authuser, sizeof entry.authuser, token, tokens.length, limit);
            token = tokens.next(dateEnd, CandidatesDateEnd());
            const char *close = tokens.end;
            usual = (*close == ']' || *close == '}') && close[1] == ' ' && close[2] == '"' &&
                    readUsualDate(token, tokens.length, entry, &month);
        }
    }
    if (!usual) {
        int head = readHead(tokens, entry, line);
        if (head != LOG_OK) return head;
        token = tokens.next(dateEnd, CandidatesDateEnd());
        usual = readUsualDate(token, tokens.length, entry, &month);
    }
    if (usual) {
        entry.year = logTwoDigitYear(entry.year);
        if (entry.year > nowBreakdown.tm_year + 1900 + 3) return LOG_FUTURE;
        entry.month = month;
    } else {
        tokens.cut();
        char monthName[4] = "";
        char ignored[4];
        void *const bracketed[] = {&entry.day,    monthName,     &entry.year, &entry.hour,
                                   &entry.minute, &entry.second, &entry.zone};
        void *const braced[] = {ignored,     &entry.day,    monthName,    &entry.year,
                                &entry.hour, &entry.minute, &entry.second};
        void *const spelled[] = {ignored,       &entry.day,    monthName, &entry.hour,
                                 &entry.minute, &entry.second, ignored,   &entry.year};
        int fields = logScanTemplate(token, "[%d/%3s/%d:%d:%d:%d %d", bracketed);
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
    }
    if (!entry.month || !logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;

    if (!tokens.next(quote, LogCandidatesQuote())) return LOG_NOT_THIS_FORMAT;
    char *request = tokens.position;
    while (*request == '"') request++;
    if (!*request) return LOG_NOT_THIS_FORMAT;
    long scheme = -1;
    int fields = readRequest(tokens, request, entry, &scheme);
    if (fields == 2)
        logCopyBounded(entry.protocol, "HTTP/0.9", LOG_WORD_MAX);
    else if (fields != 3)
        return LOG_NOT_THIS_FORMAT;
    if (scheme >= 0) {
        logCopyBounded(entry.proxyHost, entry.url + scheme + 3, LOG_HOST_MAX);
        if (char *slash = std::strchr(entry.proxyHost, '/')) *slash = '\0';
        charLowerText(entry.proxyHost);
    } else {
        entry.proxyHost[0] = '-';
        entry.proxyHost[1] = '\0';
    }

    if (!(token = tokens.next(blanks, LogCandidatesLow()))) return LOG_NOT_THIS_FORMAT;
    entry.result = tokenInt(tokens, token, tokens.length);
    if (!(token = tokens.next(blanks, LogCandidatesLow()))) return LOG_NOT_THIS_FORMAT;
    entry.size = tokenInt64(tokens, token, tokens.length);
    entry.hasBytes = 1;

    return parseTrailingFields(tokens, entry);
}

}  // namespace

// The text is left as it was.
int logParseEntryCommonWithin(char *text, const char *limit, LogEntry &entry) {
    Cuts cuts;
    Tokens tokens(text, limit, cuts);
    int result = parseCommonFields(tokens, entry);
    cuts.restore();
    return result;
}

// Only the first byte of each text needs clearing: every text written into the record
// is terminated, so what lies beyond a terminator is never read.
void logEntryClear(LogEntry &entry) {
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
static void copyText(char (&target)[N], const char (&source)[N]) {
    logCopyBounded(target, source, N - 1);
}

void logEntryCopy(LogEntry &target, const LogEntry &source) {
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

int logTwoDigitYear(int year) {
    if (year <= 49) return year + 2000;
    if (year <= 99) return year + 1900;
    return year;
}

// Only dates a server writes are entries: a month outside 1..12 or a day outside 1..31
// would land far from its period, a year beyond the limit would overflow day numbers,
// and an hour outside 0..23 is no time of day. (A time offset applied afterwards may
// still move a real date to day 0 or one past the end of its month.)
bool logDateUsable(const LogEntry &entry) {
    return entry.month >= 1 && entry.month <= 12 && entry.day >= 1 && entry.day <= 31 &&
           entry.year >= -LOG_YEAR_LIMIT && entry.year <= LOG_YEAR_LIMIT && entry.hour >= 0 &&
           entry.hour <= 23 && entry.minute >= 0 && entry.minute <= 59 && entry.second >= 0 &&
           entry.second <= 60;
}

int logParseEntryCommon(char *text, LogEntry &entry) {
    return logParseEntryCommonWithin(text, text + std::strlen(text) + 1, entry);
}
