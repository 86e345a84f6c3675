// Wildcard patterns: "*" matches any run of characters, "?" exactly one, and "|"
// separates alternatives. The walk neither allocates nor recurses: each star segment
// is placed at its leftmost fit and never revised.
#include "core/match.h"

#include "core/chars.h"
#include "core/sarray.h"

namespace {

inline unsigned char fold(unsigned char c, int on) {
    return on ? charLower(c) : c;
}

inline bool endOfAlternative(unsigned char c) {
    return c == '\0' || c == '|';
}

// Whether the segment of length n fits the text at t. Inside a star segment "?" stands
// for any one character except the end of the text and a "|".
inline bool segmentFits(const unsigned char *t, const unsigned char *segment, int n, int on) {
    for (int i = 0; i < n; i++) {
        unsigned char p = segment[i];
        unsigned char c = t[i];
        if (c == '\0') return false;
        if (p == '?') {
            if (c == '|') return false;
        } else if (fold(p, on) != fold(c, on)) {
            return false;
        }
    }
    return true;
}

int matchAlternative(const unsigned char *t, const unsigned char *p, int on) {
    // Literal part, up to the first star.
    for (;;) {
        if (*p == '*') break;
        if (*t == '\0') return endOfAlternative(*p) ? 1 : 0;
        if (*p == '?') {
            t++;
            p++;
            continue;
        }
        // A "|" or the pattern end of a finished alternative is compared like any
        // other character; only a "|" in the text can equal it.
        if (*p == '\0' || fold(*p, on) != fold(*t, on)) return 0;
        t++;
        p++;
    }
    // Star segments.
    for (;;) {
        while (*p == '*') p++;
        int n = 0;
        while (p[n] != '*' && !endOfAlternative(p[n])) n++;
        if (p[n] != '*') {
            // The final segment must end exactly where the text ends.
            if (n == 0) return 1;
            int rest = 0;
            while (t[rest]) rest++;
            if (rest < n) return 0;
            return segmentFits(t + rest - n, p, n, on) ? 1 : 0;
        }
        for (;; t++) {
            if (segmentFits(t, p, n, on)) break;
            if (*t == '\0') return 0;
        }
        t += n;
        p += n;
    }
}

}  // namespace

int matchBody(const char *text, const char *pattern, int fold) {
    if (!text) text = "";
    if (!pattern) pattern = "";
    const unsigned char *t = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *alternative = reinterpret_cast<const unsigned char *>(pattern);
    for (;;) {
        if (matchAlternative(t, alternative, fold)) return 1;
        while (*alternative && *alternative != '|') alternative++;
        if (*alternative == '\0') return 0;
        alternative++;
    }
}

int match(const char *text, const char *pattern) {
    return matchBody(text, pattern, 0);
}

int matchNoCase(const char *text, const char *pattern) {
    return matchBody(text, pattern, 1);
}

int matchAny(const char *text, const StringArray &list) {
    for (int i = 0; i < list.count; ++i)
        if (list.items[i] && match(text, list.items[i])) return 1;
    return 0;
}
