// Byte scanning and copying for the per-line parse path: the first byte of a small set
// found sixteen bytes at a time, and copies of short fields that move a fixed block.
//
// Every function takes a limit: the first address that may not be read. The text being
// scanned is terminated before the limit; a working copy with zero bytes after its
// terminator lets the loads run past the terminator instead of stopping byte by byte.
#pragma once
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "log/logtext.h"

// Zero bytes the dispatcher keeps after the terminator of its working copy.
constexpr std::size_t LOG_PAD = 64;

#if defined(__SSE2__)
using LogBlock = __m128i;

inline LogBlock logLoad(const unsigned char *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
inline LogBlock logEqual(LogBlock v, char c) {
    return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}
inline LogBlock logAtMost(LogBlock v, char c) {
    return _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(c)), v);
}
inline LogBlock logOr(LogBlock a, LogBlock b) {
    return _mm_or_si128(a, b);
}
inline unsigned logMask(LogBlock v) {
    return static_cast<unsigned>(_mm_movemask_epi8(v));
}
#endif

// Candidate tests: each marks a superset of the bytes its set stops at (the set plus
// the terminator); the set's table then decides.
#if defined(__SSE2__)
// Blanks, the scanf white space and the terminator all lie at or below the blank.
struct LogCandidatesLow {
    static constexpr int kind = 1;
    LogBlock operator()(LogBlock v) const { return logAtMost(v, ' '); }
};
struct LogCandidatesQuote {
    static constexpr int kind = 2;
    LogBlock operator()(LogBlock v) const { return logOr(logEqual(v, '\0'), logEqual(v, '"')); }
};
// ", \t\r\n\"[]{}": '[' and ']' are '{' and '}' without the 0x20 bit.
struct LogCandidatesTrailing {
    static constexpr int kind = 3;
    LogBlock operator()(LogBlock v) const {
        LogBlock folded = _mm_or_si128(v, _mm_set1_epi8(0x20));
        return logOr(logOr(logAtMost(v, '"'), logEqual(v, ',')),
                     logOr(logEqual(folded, '{'), logEqual(folded, '}')));
    }
};
struct LogCandidatesEscape {
    static constexpr int kind = 4;
    LogBlock operator()(LogBlock v) const {
        return logOr(logEqual(v, '\0'), logOr(logEqual(v, '%'), logEqual(v, '?')));
    }
};
#else
struct LogCandidatesLow {
    static constexpr int kind = 1;
};
struct LogCandidatesQuote {
    static constexpr int kind = 2;
};
struct LogCandidatesTrailing {
    static constexpr int kind = 3;
};
struct LogCandidatesEscape {
    static constexpr int kind = 4;
};
#endif

// The first byte at or after p that set stops at. With controlA given, a byte 1 passed on
// the way sets it when the candidates include that byte (the last bytes, taken one by
// one, always note it).
template <class Candidates>
inline char *logFindStop(char *p, const char *limit, const LogCharSet &set, Candidates candidates,
                         bool *controlA = nullptr) {
    unsigned char *u = reinterpret_cast<unsigned char *>(p);
#if defined(__SSE2__)
    while (limit - reinterpret_cast<char *>(u) >= 16) {
        unsigned mask = logMask(candidates(logLoad(u)));
        while (mask) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
            if (set.stop[u[at]]) return reinterpret_cast<char *>(u + at);
            if (controlA && u[at] == 1) *controlA = true;
            mask &= mask - 1;
        }
        u += 16;
    }
#else
    (void)limit;
    (void)candidates;
#endif
    for (; !set.stop[*u]; u++)
        if (controlA && *u == 1) *controlA = true;
    return reinterpret_cast<char *>(u);
}

// The first byte in [p, end) that set stops at, or end when there is none. The bytes
// from p are read up to limit at most (end <= limit).
template <class Candidates>
inline char *logFindStopWithin(char *p, const char *end, const char *limit, const LogCharSet &set,
                               Candidates candidates) {
    unsigned char *u = reinterpret_cast<unsigned char *>(p);
#if defined(__SSE2__)
    while (reinterpret_cast<const char *>(u) < end && limit - reinterpret_cast<char *>(u) >= 16) {
        unsigned mask = logMask(candidates(logLoad(u)));
        while (mask) {
            unsigned at = static_cast<unsigned>(__builtin_ctz(mask));
            if (reinterpret_cast<const char *>(u + at) >= end) return const_cast<char *>(end);
            if (set.stop[u[at]]) return reinterpret_cast<char *>(u + at);
            mask &= mask - 1;
        }
        u += 16;
    }
#else
    (void)limit;
    (void)candidates;
#endif
    while (reinterpret_cast<const char *>(u) < end && !set.stop[*u]) u++;
    return reinterpret_cast<char *>(u) < end ? reinterpret_cast<char *>(u)
                                             : const_cast<char *>(end);
}

// Copies length bytes (at most targetSize - 1 of them) and terminates; returns the
// length copied. A short field is moved as one 32-byte block when the source may be
// read that far and the target is that large; what lands after the terminator is never
// read as part of the field.
inline std::size_t logCopyField(char *target, std::size_t targetSize, const char *source,
                                std::size_t length, const char *limit) {
    if (length > targetSize - 1) length = targetSize - 1;
    if (length < 32 && targetSize >= 32 && limit - source >= 32)
        std::memcpy(target, source, 32);
    else
        std::memcpy(target, source, length);
    target[length] = '\0';
    return length;
}

// logCopyField lower-casing A..Z as convertLower does. Whole blocks of 16 are moved
// while the source may be read and the target holds them.
inline std::size_t logCopyLowerField(char *target, std::size_t targetSize, const char *source,
                                     std::size_t length, const char *limit) {
    if (length > targetSize - 1) length = targetSize - 1;
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i < length && limit - (source + i) >= 16 && targetSize - i >= 16; i += 16) {
        LogBlock v = logLoad(reinterpret_cast<const unsigned char *>(source + i));
        // A..Z are the bytes whose distance from 'A' is at most 25.
        LogBlock shifted = _mm_sub_epi8(v, _mm_set1_epi8('A'));
        LogBlock upper = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(25)), shifted);
        v = _mm_add_epi8(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(target + i), v);
    }
#else
    (void)limit;
#endif
    for (; i < length; i++) {
        target[i] = static_cast<char>(charLower(static_cast<unsigned char>(source[i])));
    }
    target[length] = '\0';
    return length;
}

// Replaces every byte from by to in the first length bytes.
inline void logReplaceByte(char *text, std::size_t length, char from, char to) {
    char *end = text + length;
    while (char *found =
               static_cast<char *>(std::memchr(text, from, static_cast<std::size_t>(end - text)))) {
        *found = to;
        text = found + 1;
    }
}
