// Text helpers of the log-line parsers: host-name test, atoi-style numbers, and the
// reader of scanf templates that stands in for std::sscanf on the hot path.
#include "log/logtext.h"

#include <climits>
#include <cstdio>

namespace {

// Reads [sign]digits at text; magnitude saturates once it is beyond any 64-bit value.
const unsigned char *readDecimal(const unsigned char *p, int maxChars, bool *negative,
                                 uint64_t *magnitude, bool *any) {
    *negative = false;
    *magnitude = 0;
    *any = false;
    if (maxChars > 0 && (*p == '+' || *p == '-')) {
        *negative = *p == '-';
        p++;
        maxChars--;
    }
    bool saturated = false;
    for (; maxChars > 0 && charIsDigit(*p); p++, maxChars--) {
        *any = true;
        if (*magnitude > 1000000000000000000ULL)
            saturated = true;
        else
            *magnitude = *magnitude * 10 + static_cast<unsigned>(*p - '0');
    }
    if (saturated) *magnitude = UINT64_MAX;
    return p;
}

// strtoll's value: the number held at the 64-bit limits.
int64_t clampToInt64(bool negative, uint64_t magnitude) {
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > limit + 1) return INT64_MIN;
        return static_cast<int64_t>(0 - magnitude);
    }
    if (magnitude > limit) return INT64_MAX;
    return static_cast<int64_t>(magnitude);
}

}  // namespace

bool logLooksLikeHost(const char *token) {
    bool dot = false;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(token); *p; p++) {
        if (*p == '.')
            dot = true;
        else if (!charIsAlpha(*p) && !charIsDigit(*p))
            return false;
    }
    return dot;
}

int32_t logLeadingInt(const char *text) {
    int64_t value = logLeadingInt64(text);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

int64_t logLeadingInt64(const char *text) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (charIsSpace(*p)) p++;
    bool negative, any;
    uint64_t magnitude;
    readDecimal(p, INT_MAX, &negative, &magnitude, &any);
    return any ? clampToInt64(negative, magnitude) : 0;
}

// glibc reads "%d" as strtol does (64-bit, held at the limits) and stores the value
// truncated to int; end of text before the first conversion gives EOF.
int logScanTemplate(const char *text, const char *format, void *const *out) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *f = reinterpret_cast<const unsigned char *>(format);
    int done = 0;
    while (*f) {
        if (charIsSpace(*f)) {
            while (charIsSpace(*f)) f++;
            while (charIsSpace(*s)) s++;
            continue;
        }
        if (*f != '%') {
            if (!*s) return done ? done : EOF;
            if (*s != *f) return done;
            s++;
            f++;
            continue;
        }
        f++;
        int width = 0;
        while (charIsDigit(*f)) width = width * 10 + (*f++ - '0');
        unsigned char conversion = *f++;
        while (charIsSpace(*s)) s++;
        if (!*s) return done ? done : EOF;
        int limit = width > 0 ? width : INT_MAX;
        if (conversion == 'd') {
            bool negative, any;
            uint64_t magnitude;
            s = readDecimal(s, limit, &negative, &magnitude, &any);
            if (!any) return done;
            int64_t value = clampToInt64(negative, magnitude);
            *static_cast<int *>(out[done]) =
                static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
        } else if (conversion == 's') {
            char *target = static_cast<char *>(out[done]);
            int length = 0;
            while (*s && !charIsSpace(*s) && length < limit)
                target[length++] = static_cast<char>(*s++);
            target[length] = '\0';
        } else {
            return done;
        }
        done++;
    }
    return done;
}
