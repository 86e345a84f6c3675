// Text helpers shared by the log-line parsers: the strtok-style tokenizer with a
// delimiter set per token, bounded copies, number reading and date checks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/chars.h"
#include "log/log.h"

// A set of delimiter bytes. The terminator is never a member, but always stops a token.
struct LogCharSet {
    bool member[256] = {};
    bool stop[256] = {};
    explicit LogCharSet(const char *chars) {
        for (; *chars; chars++) member[static_cast<unsigned char>(*chars)] = true;
        for (int i = 0; i < 256; i++) stop[i] = member[i];
        stop[0] = true;
    }
    bool has(unsigned char c) const { return member[c]; }
};

// strtok over one text, keeping its own position so that parsers can be called from
// anywhere (and fuzzed) without hidden state. length is the length of the last token.
struct LogTokenizer {
    char *position;
    std::size_t length = 0;
    explicit LogTokenizer(char *text) : position(text) {}
    char *next(const LogCharSet &delimiters) {
        unsigned char *p = reinterpret_cast<unsigned char *>(position);
        while (delimiters.member[*p]) p++;
        if (!*p) {
            position = reinterpret_cast<char *>(p);
            return nullptr;
        }
        char *token = reinterpret_cast<char *>(p);
        while (!delimiters.stop[*p]) p++;
        length = static_cast<std::size_t>(reinterpret_cast<char *>(p) - token);
        if (*p) *p++ = '\0';
        position = reinterpret_cast<char *>(p);
        return token;
    }
};

// Copies at most max characters of source and terminates; returns the length copied.
inline std::size_t logCopyBounded(char *target, const char *source, std::size_t max) {
    std::size_t length = strnlen(source, max);
    std::memcpy(target, source, length);
    target[length] = '\0';
    return length;
}

// The same for a source whose length is known.
inline std::size_t logCopyLength(char *target, const char *source, std::size_t length,
                                 std::size_t max) {
    if (length > max) length = max;
    std::memcpy(target, source, length);
    target[length] = '\0';
    return length;
}

// UnescapeUrl of the length characters at source (none of them zero), written to
// target, which may be source itself. With controlA set, a byte 1 reads as a blank (as if
// replaced before decoding). Block reads of source stay before limit. Returns the number
// of characters written (target is not terminated); stringLength gets the length of the
// result as a string (an escaped zero byte ends it) and escaped whether an escape was
// decoded.
std::size_t logDecodeUrl(char *target, std::size_t targetSize, const char *source,
                         std::size_t length, const char *limit, bool controlA,
                         std::size_t *stringLength, bool *escaped);

// logParseEntryCommon over a terminated text that may be read up to limit.
int logParseEntryCommonWithin(char *text, const char *limit, LogEntry &entry);
// logParseEntryW3c over a terminated text that may be read up to limit; text is not changed.
int logParseEntryW3cWithin(const char *text, const char *limit, const LogW3cFields &fields,
                           LogEntry &entry);

// logParseEntryJson over length characters that may be read up to limit (none: a copy).
int logParseEntryJsonWithin(const char *text, std::size_t length, const char *limit,
                            LogEntry &entry);

// Letters, digits and dots only, with at least one dot.
bool logLooksLikeHost(const char *token);

// The leading decimal number of a text as atoi reads it (blanks, sign, digits), with
// values beyond the type's range held at its limit; 0 when there are no digits.
int32_t logLeadingInt(const char *text);
int64_t logLeadingInt64(const char *text);

// Empties every text and zeroes every number of the record.
void logEntryClear(LogEntry &entry);
// Copies the record's texts (up to their terminators) and numbers.
void logEntryCopy(LogEntry &target, const LogEntry &source);
// A year of 49 or less gets 2000 added, 50..99 gets 1900; others stay.
int logTwoDigitYear(int year);

// Years further out than this can not be turned into 32-bit day numbers safely.
constexpr int LOG_YEAR_LIMIT = 1000000;
// The month is 1..12, the day 1..31, the year within the limit, the time a time of day.
bool logDateUsable(const LogEntry &entry);
