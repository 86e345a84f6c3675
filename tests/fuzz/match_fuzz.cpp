// Fuzz target for the wildcard matcher. The input is a text and a pattern separated by
// the first NUL byte. The one-pass matcher is compared with a slow matcher that tries
// every placement of every star segment, both with and without case folding; a match
// with exact comparison must also match with folding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/match.h"

namespace {

unsigned char fold(unsigned char c, int on) {
    return (on && c >= 'A' && c <= 'Z') ? c + 32 : c;
}
bool alternativeEnd(unsigned char c) {
    return c == '\0' || c == '|';
}

// The slow matcher: every placement of the star segments, remembered per text and
// pattern position so that the search stays polynomial.
struct Slow {
    const unsigned char *text;
    const unsigned char *pattern;
    std::size_t textLength, patternLength;
    int on;
    std::vector<signed char> memo;

    // Whether the segment at p (n characters) fits the text at t.
    bool fits(std::size_t t, std::size_t p, std::size_t n) const {
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char c = text[t + i], s = pattern[p + i];
            if (c == '\0') return false;
            if (s == '?' ? c == '|' : fold(s, on) != fold(c, on)) return false;
        }
        return true;
    }

    // The rest of an alternative after a star, from text position t and pattern position p.
    bool stars(std::size_t t, std::size_t p) {
        signed char &known = memo[t * (patternLength + 1) + p];
        if (known >= 0) return known;
        while (pattern[p] == '*') ++p;
        std::size_t n = 0;
        while (pattern[p + n] != '*' && !alternativeEnd(pattern[p + n])) ++n;
        bool result = false;
        if (pattern[p + n] != '*') {
            result = n == 0 || (textLength - t >= n && fits(textLength - n, p, n));
        } else {
            for (std::size_t at = t; at + n <= textLength && !result; ++at)
                if (fits(at, p, n)) result = stars(at + n, p + n);
        }
        known = result;
        return result;
    }

    bool alternative(std::size_t p) {
        std::size_t t = 0;
        for (;;) {
            if (pattern[p] == '*') return stars(t, p);
            if (text[t] == '\0') return alternativeEnd(pattern[p]);
            if (pattern[p] != '?' &&
                (pattern[p] == '\0' || fold(pattern[p], on) != fold(text[t], on)))
                return false;
            ++t;
            ++p;
        }
    }

    int run(const std::string &t, const std::string &p, int foldOn) {
        text = reinterpret_cast<const unsigned char *>(t.c_str());
        pattern = reinterpret_cast<const unsigned char *>(p.c_str());
        textLength = t.size();
        patternLength = p.size();
        on = foldOn;
        std::size_t start = 0;
        for (;;) {
            memo.assign((textLength + 1) * (patternLength + 1), -1);
            if (alternative(start)) return 1;
            while (pattern[start] && pattern[start] != '|') ++start;
            if (!pattern[start]) return 0;
            ++start;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *separator = static_cast<const char *>(std::memchr(bytes, '\0', size));
    std::size_t textSize = separator ? static_cast<std::size_t>(separator - bytes) : size;
    std::string text(bytes, textSize > 1024 ? 1024 : textSize);
    std::string pattern;
    if (separator) {
        const char *p = separator + 1;
        std::size_t rest = size - textSize - 1;
        const char *end = static_cast<const char *>(std::memchr(p, '\0', rest));
        pattern.assign(p, end ? static_cast<std::size_t>(end - p) : rest);
        if (pattern.size() > 256) pattern.resize(256);
    }
    int exact = match(text.c_str(), pattern.c_str());
    int folded = matchNoCase(text.c_str(), pattern.c_str());
    if (exact != matchBody(text.c_str(), pattern.c_str(), 0)) std::abort();
    if (folded != matchBody(text.c_str(), pattern.c_str(), 1)) std::abort();
    if ((exact != 0 && exact != 1) || (folded != 0 && folded != 1)) std::abort();
    if (exact && !folded) std::abort();
    Slow slow;
    if (slow.run(text, pattern, 0) != exact) std::abort();
    if (slow.run(text, pattern, 1) != folded) std::abort();
    return 0;
}
