// JSON-lines access logs: Caddy, Traefik's JSON access log and nginx with
// "log_format ... escape=json". One object per line, read with simdjson's on-demand parser;
// the fields of all three are recognised by name, so one reader serves them all.
//
// Times keep the clock they were written in, as the common format does: an RFC 3339 time
// or an nginx time_local is taken as written, its offset kept in zone; Caddy's ts, seconds
// since the epoch, has no clock of its own and is read as UTC.
#include <simdjson.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "config/global.h"
#include "core/chars.h"
#include "log/log.h"
#include "log/logbytes.h"
#include "log/logtext.h"

namespace {

using simdjson::ondemand::json_type;
using simdjson::ondemand::object;
using simdjson::ondemand::value;

// The fields found, as views into the parser's string buffer (valid until the next line).
struct Fields {
    std::string_view site, method, url, protocol, request, referer, agent, user;
    std::string_view timeText;  // RFC 3339 or nginx time_local
    double epoch = 0;           // Caddy's ts
    bool hasEpoch = false;
    int64_t status = -1;
    int64_t size = 0;
    bool hasSize = false;
};

// A field's value as a whole number, written either as a JSON number or as a string of
// digits (nginx writes its variables as strings); false when it is neither.
bool wholeNumber(value v, int64_t *out) {
    // The usual string, a few digits between quotes, is read from the line as it stands.
    std::string_view raw = v.raw_json_token();
    if (raw.size() > 2 && raw[0] == '"') {
        int64_t number = 0;
        std::size_t at = 1;
        while (at < raw.size() && at < 19 && charIsDigit(static_cast<unsigned char>(raw[at])))
            number = number * 10 + (raw[at++] - '0');
        if (at > 1 && at < raw.size() && raw[at] == '"') {
            *out = number;
            return true;
        }
    }
    // A value that is not of the type asked for stays unread.
    if (!v.get_int64().get(*out)) return true;
    std::string_view text;
    if (v.get_string().get(text)) {
        double d;
        if (v.get_double().get(d) || !std::isfinite(d)) return false;
        *out = d > 9e18 ? INT64_MAX : d < -9e18 ? INT64_MIN : static_cast<int64_t>(d);
        return true;
    }
    char digits[24] = "";
    if (!text.empty()) logCopyLength(digits, text.data(), text.size(), sizeof digits - 1);
    *out = logLeadingInt64(digits);
    return true;
}

// A field's key, as a pointer to its first byte in the line, and its value. Keys of access
// logs hold no escapes, and a key that does matches none. The line is padded, so a key is
// compared with a name and its closing quote without being measured first.
template <class Field>
bool keyOf(Field &field, const char **key, value *v) {
    simdjson::ondemand::raw_json_string raw;
    if (field.key().get(raw) || field.value().get(*v)) return false;
    *key = raw.raw();
    return true;
}

// A key's name with its closing quote, as the 8-byte words a key is compared with and the
// masks of the bytes that count in each.
template <std::size_t N>
struct Name {
    static constexpr std::size_t words = (N + 7) / 8;
    uint64_t word[words] = {};
    uint64_t mask[words] = {};
    constexpr Name(const char (&name)[N]) {
        for (std::size_t w = 0; w < words; w++) {
            std::array<unsigned char, 8> bytes{}, ones{};
            for (std::size_t i = 0; i < 8 && w * 8 + i < N; i++) {
                std::size_t at = w * 8 + i;
                bytes[i] = static_cast<unsigned char>(at == N - 1 ? '"' : name[at]);
                ones[i] = 0xff;
            }
            word[w] = std::bit_cast<uint64_t>(bytes);
            mask[w] = std::bit_cast<uint64_t>(ones);
        }
    }
};

// Whether the key is the name given, compared eight bytes at a time: the key lies in the
// padded line, so the bytes after a short key may be read. Most keys differ from a name in
// their first word.
template <Name name>
bool is(const char *key) {
    static_assert(sizeof name.word <= simdjson::SIMDJSON_PADDING, "a name longer than the padding");
    for (std::size_t w = 0; w < name.words; w++) {
        uint64_t word;
        std::memcpy(&word, key + 8 * w, 8);
        if ((word ^ name.word[w]) & name.mask[w]) return false;
    }
    return true;
}

// Whether the line being read holds a backslash: a line without one holds no escapes,
// and its strings need no look of their own.
bool lineEscaped;

// A string value. One without escapes is taken from the line as it stands; only one with
// escapes is unescaped into the parser's buffer.
bool text(value v, std::string_view *out) {
    std::string_view raw = v.raw_json_token();
    if (raw.size() >= 2 && raw[0] == '"') {
        // The token runs up to the next structural character: blanks may follow the quote.
        std::size_t end = raw.size();
        while (end > 1 && raw[end - 1] != '"') end--;
        if (end >= 2) {
            std::string_view inner = raw.substr(1, end - 2);
            if (!lineEscaped || !std::memchr(inner.data(), '\\', inner.size())) {
                *out = inner;
                return true;
            }
        }
    }
    return !v.get_string().get(*out);
}

// The first string of a header's array of values (Caddy keeps every header as one).
void firstHeader(value v, std::string_view *out) {
    simdjson::ondemand::array values;
    if (v.get_array().get(values)) return;
    for (auto element : values) {
        value first;
        if (!element.get(first)) text(first, out);
        return;
    }
}

// Caddy's request object. False when it is not one.
bool readRequestObject(value v, Fields &f) {
    object request;
    if (v.get_object().get(request)) return false;
    for (auto field : request) {
        const char *key;
        value inner;
        if (!keyOf(field, &key, &inner)) return false;
        switch (key[0]) {
            case 'r':
                if (is<"remote_ip">(key)) text(inner, &f.site);
                break;
            case 'm':
                if (is<"method">(key)) text(inner, &f.method);
                break;
            case 'u':
                if (is<"uri">(key)) text(inner, &f.url);
                break;
            case 'p':
                if (is<"proto">(key)) text(inner, &f.protocol);
                break;
            case 'h':
                if (is<"headers">(key)) {
                    object headers;
                    if (inner.get_object().get(headers)) continue;
                    for (auto header : headers) {
                        const char *name;
                        value values;
                        if (!keyOf(header, &name, &values)) return false;
                        if (name[0] == 'U' && is<"User-Agent">(name))
                            firstHeader(values, &f.agent);
                        else if (name[0] == 'R' && is<"Referer">(name))
                            firstHeader(values, &f.referer);
                    }
                }
                break;
            default:
                break;
        }
    }
    return true;
}

bool readFields(object &top, Fields &f) {
    for (auto field : top) {
        const char *key;
        value v;
        if (!keyOf(field, &key, &v)) return false;
        switch (key[0]) {
            case 'r':
                // "req..." or "rem...": a key of one letter ends in its quote, and the line
                // is padded.
                if (key[2] == 'q') {
                    if (is<"request">(key)) {
                        json_type type;
                        if (v.type().get(type)) return false;
                        if (type == json_type::object) {
                            if (!readRequestObject(v, f)) return false;
                        } else {
                            text(v, &f.request);
                        }
                    } else if (is<"request_method">(key)) {
                        text(v, &f.method);
                    } else if (is<"request_uri">(key)) {
                        text(v, &f.url);
                    } else if (is<"request_User-Agent">(key)) {
                        text(v, &f.agent);
                    } else if (is<"request_Referer">(key)) {
                        text(v, &f.referer);
                    }
                } else if (is<"remote_addr">(key)) {
                    text(v, &f.site);
                } else if (is<"remote_user">(key)) {
                    text(v, &f.user);
                }
                break;
            case 's':
                if (is<"status">(key)) {
                    if (!wholeNumber(v, &f.status)) return false;
                } else if (is<"size">(key)) {
                    f.hasSize = wholeNumber(v, &f.size);
                } else if (is<"server_protocol">(key)) {
                    text(v, &f.protocol);
                }
                break;
            case 't':
                if (is<"ts">(key)) {
                    json_type type;
                    if (v.type().get(type)) return false;
                    if (type == json_type::number) {
                        if (v.get_double().get(f.epoch)) return false;
                        f.hasEpoch = true;
                    } else {
                        text(v, &f.timeText);
                    }
                } else if (is<"time_local">(key) || is<"time_iso8601">(key)) {
                    text(v, &f.timeText);
                }
                break;
            case 'C':
                if (is<"ClientHost">(key))
                    text(v, &f.site);
                else if (is<"ClientUsername">(key))
                    text(v, &f.user);
                break;
            case 'R':
                if (is<"RequestMethod">(key))
                    text(v, &f.method);
                else if (is<"RequestPath">(key))
                    text(v, &f.url);
                else if (is<"RequestProtocol">(key))
                    text(v, &f.protocol);
                break;
            case 'D':
                if (is<"DownstreamStatus">(key)) {
                    if (!wholeNumber(v, &f.status)) return false;
                } else if (is<"DownstreamContentSize">(key)) {
                    f.hasSize = wholeNumber(v, &f.size);
                }
                break;
            case 'S':
                if (is<"StartUTC">(key)) text(v, &f.timeText);
                break;
            case 'b':
                if (is<"body_bytes_sent">(key)) f.hasSize = wholeNumber(v, &f.size);
                break;
            case 'h':
                if (is<"http_user_agent">(key))
                    text(v, &f.agent);
                else if (is<"http_referer">(key))
                    text(v, &f.referer);
                break;
            case 'u':
                if (is<"user_id">(key)) text(v, &f.user);
                break;
            default:
                // Caddy's level, logger, msg and duration, and the many fields Traefik adds.
                break;
        }
    }
    return true;
}

// Days since 1970-01-01 to a civil date.
void civilFromDays(int64_t days, LogEntry &entry) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t mp = (5 * dayOfYear + 2) / 153;
    entry.day = static_cast<int32_t>(dayOfYear - (153 * mp + 2) / 5 + 1);
    entry.month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    entry.year = static_cast<int32_t>(yearOfEra + era * 400 + (entry.month <= 2));
}

bool readEpoch(double seconds, LogEntry &entry) {
    if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) return false;
    int64_t whole = static_cast<int64_t>(seconds);
    if (static_cast<double>(whole) > seconds) whole--;
    int64_t days = whole >= 0 ? whole / 86400 : -((-whole + 86399) / 86400);
    int64_t rest = whole - days * 86400;
    // Lines come in time order: most share the day of the line before.
    static int64_t lastDays = INT64_MIN;
    static LogEntry lastDate;
    if (days != lastDays) {
        civilFromDays(days, lastDate);
        lastDays = days;
    }
    entry.day = lastDate.day;
    entry.month = lastDate.month;
    entry.year = lastDate.year;
    entry.hour = static_cast<int32_t>(rest / 3600);
    entry.minute = static_cast<int32_t>(rest / 60 % 60);
    entry.second = static_cast<int32_t>(rest % 60);
    return true;
}

// count digits at text[at], or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; i++) {
        if (!charIsDigit(static_cast<unsigned char>(text[i]))) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "2024-03-01T13:55:36.123+01:00" (or "Z", or "+0100"); the zone keeps the offset as the
// common format writes it (+0100 gives 100).
bool readRfc3339(std::string_view t, LogEntry &entry) {
    if (t.size() < 19 || t[4] != '-' || t[7] != '-' ||
        (t[10] != 'T' && t[10] != 't' && t[10] != ' ') || t[13] != ':' || t[16] != ':')
        return false;
    entry.year = digitsAt(t, 0, 4);
    entry.month = digitsAt(t, 5, 2);
    entry.day = digitsAt(t, 8, 2);
    entry.hour = digitsAt(t, 11, 2);
    entry.minute = digitsAt(t, 14, 2);
    entry.second = digitsAt(t, 17, 2);
    if ((entry.year | entry.month | entry.day | entry.hour | entry.minute | entry.second) < 0)
        return false;
    std::size_t at = 19;
    if (at < t.size() && t[at] == '.')
        for (at++; at < t.size() && charIsDigit(static_cast<unsigned char>(t[at]));) at++;
    if (at < t.size() && (t[at] == '+' || t[at] == '-')) {
        int hours = digitsAt(t, at + 1, 2);
        std::size_t minutesAt = at + 3 < t.size() && t[at + 3] == ':' ? at + 4 : at + 3;
        int minutes = digitsAt(t, minutesAt, 2);
        if (hours < 0 || minutes < 0) return false;
        entry.zone = (t[at] == '-' ? -1 : 1) * (hours * 100 + minutes);
    }
    return true;
}

// nginx's time_local, "10/Oct/2000:13:55:36 -0700".
bool readLocalTime(std::string_view t, LogEntry &entry) {
    if (t.size() < 20 || t[2] != '/' || t[6] != '/' || t[11] != ':' || t[14] != ':' || t[17] != ':')
        return false;
    static const char names[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    entry.month = 0;
    for (int i = 0; i < 12; i++)
        if (charLower(static_cast<unsigned char>(t[3])) == names[3 * i] &&
            charLower(static_cast<unsigned char>(t[4])) == names[3 * i + 1] &&
            charLower(static_cast<unsigned char>(t[5])) == names[3 * i + 2])
            entry.month = i + 1;
    entry.day = digitsAt(t, 0, 2);
    entry.year = digitsAt(t, 7, 4);
    entry.hour = digitsAt(t, 12, 2);
    entry.minute = digitsAt(t, 15, 2);
    entry.second = digitsAt(t, 18, 2);
    if ((entry.year | entry.month | entry.day | entry.hour | entry.minute | entry.second) < 0)
        return false;
    if (t.size() >= 26 && t[20] == ' ' && (t[21] == '+' || t[21] == '-')) {
        int zone = digitsAt(t, 22, 4);
        if (zone >= 0) entry.zone = t[21] == '-' ? -zone : zone;
    }
    return true;
}

// A JSON string may hold an escaped zero byte: the field then ends there as a text.
template <std::size_t N>
void copyField(char (&target)[N], std::string_view source) {
    target[0] = '\0';
    if (!source.empty()) logCopyLength(target, source.data(), source.size(), N - 1);
}

// The line being read, and how far it may be read in blocks: it is padded for simdjson.
const char *lineStart = nullptr;
const char *lineEnd = nullptr;
const char *lineLimit = nullptr;

// UnescapeUrl of a text on its way into the record, cut at the field's bound. A text taken
// from the line as it stands is read in blocks up to the padding's end.
template <std::size_t N>
void decodeField(char (&target)[N], std::string_view source) {
    target[0] = '\0';
    if (source.empty()) return;
    std::size_t length = source.size();
    // A text taken from the line holds no zero byte: simdjson rejects a line with a control
    // character inside a string. Only a text simdjson unescaped can hold one (from \u0000).
    bool inLine = source.data() >= lineStart && source.data() + source.size() <= lineEnd;
    if (!inLine)
        if (const void *zero = std::memchr(source.data(), '\0', length))
            length = static_cast<std::size_t>(static_cast<const char *>(zero) - source.data());
    if (length > N - 1) length = N - 1;
    std::size_t text;
    bool escaped;
    const char *limit = inLine ? lineLimit : source.data() + source.size();
    target[logDecodeUrl(target, N, source.data(), length, limit, false, &text, &escaped)] = '\0';
}

template <std::size_t N>
void setDash(char (&target)[N]) {
    target[0] = '-';
    target[1] = '\0';
}

// The first blank-separated word of text from at, moving at past it.
std::string_view word(std::string_view text, std::size_t &at) {
    // Every blank is at most ' ': most bytes are told apart by that alone.
    auto blank = [](char c) {
        return static_cast<unsigned char>(c) <= ' ' && charIsSpace(static_cast<unsigned char>(c));
    };
    while (at < text.size() && blank(text[at])) at++;
    std::size_t start = at;
    while (at < text.size() && !blank(text[at])) at++;
    return text.substr(start, at - start);
}

int fillEntry(const Fields &f, LogEntry &entry) {
    std::string_view method = f.method, url = f.url, protocol = f.protocol;
    if (!f.request.empty()) {
        // nginx's $request: "GET /a.html HTTP/1.1", the protocol missing for HTTP/0.9.
        std::size_t at = 0;
        method = word(f.request, at);
        url = word(f.request, at);
        protocol = word(f.request, at);
        if (protocol.empty()) protocol = "HTTP/0.9";
    }
    if (f.site.empty() || method.empty() || url.empty() || f.status < 0) return LOG_NOT_THIS_FORMAT;
    if (f.hasEpoch ? !readEpoch(f.epoch, entry)
                   : !(readRfc3339(f.timeText, entry) || readLocalTime(f.timeText, entry)))
        return LOG_NOT_THIS_FORMAT;
    if (entry.year > nowBreakdown.tm_year + 1900 + 3) return LOG_FUTURE;
    if (!logDateUsable(entry)) return LOG_NOT_THIS_FORMAT;

    logCopyLowerField(entry.site, sizeof entry.site, f.site.data(), f.site.size(),
                      f.site.data() + f.site.size());
    setDash(entry.ident);
    if (f.user.empty() || f.user == "-")
        setDash(entry.authuser);
    else
        copyField(entry.authuser, f.user);
    copyField(entry.method, method);
    decodeField(entry.url, url);
    copyField(entry.protocol, protocol);
    // Most URLs hold no colon at all.
    const char *colon = std::strchr(entry.url, ':');
    if (const char *scheme = colon ? std::strstr(colon, "://") : nullptr) {
        logCopyBounded(entry.proxyHost, scheme + 3, LOG_HOST_MAX);
        if (char *slash = std::strchr(entry.proxyHost, '/')) *slash = '\0';
        charLowerText(entry.proxyHost);
    } else {
        setDash(entry.proxyHost);
    }
    entry.result = f.status > INT32_MAX ? INT32_MAX : static_cast<int32_t>(f.status);
    entry.size = f.size < 0 ? 0 : f.size;
    entry.hasBytes = f.hasSize;
    if (!f.referer.empty() && f.referer != "-") {
        decodeField(entry.referer, f.referer);
    }
    if (f.agent != "-") copyField(entry.agent, f.agent);
    return LOG_OK;
}

}  // namespace

int logParseEntryJsonWithin(const char *text, std::size_t length, const char *limit,
                            LogEntry &entry) {
    logEntryClear(entry);
    if (length > static_cast<std::size_t>(LOG_LINE_MAX)) length = LOG_LINE_MAX;
    // Other formats leave here at the first byte.
    std::size_t at = 0;
    while (at < length && (text[at] == ' ' || text[at] == '\t')) at++;
    if (at == length || text[at] != '{') return LOG_NOT_THIS_FORMAT;
    // simdjson reads up to SIMDJSON_PADDING bytes past the text: a line without that room
    // is parsed in a copy.
    if (!limit ||
        limit - (text + length) < static_cast<std::ptrdiff_t>(simdjson::SIMDJSON_PADDING)) {
        alignas(64) static char padded[LOG_LINE_SIZE + simdjson::SIMDJSON_PADDING];
        std::memcpy(padded, text, length);
        std::memset(padded + length, 0, simdjson::SIMDJSON_PADDING);
        text = padded;
    }
    static simdjson::ondemand::parser parser(LOG_LINE_SIZE);
    simdjson::ondemand::document document;
    object top;
    if (parser.iterate(text + at, length - at, length - at + simdjson::SIMDJSON_PADDING)
            .get(document) ||
        document.get_object().get(top))
        return LOG_NOT_THIS_FORMAT;
    lineEscaped = std::memchr(text + at, '\\', length - at) != nullptr;
    lineStart = text;
    lineEnd = text + length;
    lineLimit = lineEnd + simdjson::SIMDJSON_PADDING;
    Fields fields;
    if (!readFields(top, fields)) return LOG_NOT_THIS_FORMAT;
    return fillEntry(fields, entry);
}

int logParseEntryJson(char *text, LogEntry &entry) {
    return logParseEntryJsonWithin(text, strnlen(text, LOG_LINE_MAX), nullptr, entry);
}
