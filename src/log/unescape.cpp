// URL decoding: %xx escapes, the query cut, and the lower-casing of scheme and host.
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "log/log.h"
#include "log/logbytes.h"
#include "log/logtext.h"

namespace {

const LogCharSet escapes("%?");
const LogCharSet lowerStops("%?/");

// Whether a terminated text begins with prefix.
bool startsWith(const char *text, const char *prefix) {
    for (; *prefix; text++, prefix++)
        if (*text != *prefix) return false;
    return true;
}

// The scheme test of UnescapeUrl, on the first characters of the text as rewritten so
// far (terminated).
bool absoluteScheme(const char *head) {
    return startsWith(head, "http:") || startsWith(head, "ftp:") || startsWith(head, "gopher:");
}

}  // namespace

// Decoding where the text stands rewrites it from the start, and the scheme test reads
// the text in that state: the characters written so far, then the original ones.
std::size_t logDecodeUrl(char *target, std::size_t targetSize, const char *source,
                         std::size_t length, const char *limit, bool controlA,
                         std::size_t *stringLength, bool *escaped) {
    auto at = [&](std::size_t i) {
        unsigned char c = static_cast<unsigned char>(source[i]);
        return controlA && c == 1 ? static_cast<unsigned char>(' ') : c;
    };
    std::size_t read = 0, write = 0, zero = length + 1;
    bool lower = true, decoded = false;
    int slashes = 0;
    auto schemeSoFar = [&]() {
        // Only a text that begins with "h", "f" or "g" can name a scheme.
        char first = write > 0 ? target[0] : static_cast<char>(at(0));
        if (first != 'h' && first != 'f' && first != 'g') return false;
        char head[8];
        std::size_t i = 0;
        for (; i < 7 && i < length; i++) head[i] = i < write ? target[i] : static_cast<char>(at(i));
        head[i] = '\0';
        return absoluteScheme(head);
    };
    while (read < length) {
        if (!lower && !nocaseFlag) {
            // Nothing is lower-cased any more: move on to the next escape or query at once.
            bool atEscape = false;
#if defined(__SSE2__)
            // Into another buffer the text is moved sixteen characters at a time while it
            // is looked through; what lands past the run is written over later or lies
            // past the end.
            if (target != source && !controlA) {
                while (limit - (source + read) >= 16 && targetSize - write >= 16) {
                    LogBlock v = logLoad(reinterpret_cast<const unsigned char *>(source + read));
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(target + write), v);
                    unsigned mask = logMask(LogCandidatesEscape()(v));
                    std::size_t left = length - read;
                    if (left < 16) mask |= 1u << left;
                    if (mask) {
                        std::size_t run = static_cast<std::size_t>(__builtin_ctz(mask));
                        read += run;
                        write += run;
                        break;
                    }
                    read += 16;
                    write += 16;
                }
                if (read == length) break;
                atEscape = escapes.member[static_cast<unsigned char>(source[read])];
            }
#endif
            if (!atEscape) {
                char *from = const_cast<char *>(source + read);
                std::size_t stop =
                    static_cast<std::size_t>(logFindStopWithin(from, source + length, limit,
                                                               escapes, LogCandidatesEscape()) -
                                             source);
                std::size_t run = stop - read;
                if (target + write != source + read)
                    std::memmove(target + write, source + read, run);
                if (controlA) logReplaceByte(target + write, run, '\1', ' ');
                write += run;
                read = stop;
                if (read == length) break;
            }
        } else {
            // Lower-case up to the next character with a meaning.
            for (; read < length; read++) {
                unsigned char c = at(read);
                if (lowerStops.member[c]) break;
                c = charLower(c);
                target[write++] = static_cast<char>(c);
            }
            if (read == length) break;
        }
        unsigned char c = at(read);
        if (c == '%') {
            int high = read + 1 < length ? charHexValue(at(read + 1)) : -1;
            if (high < 0 || read + 2 >= length) {
                read++;
            } else {
                int low = charHexValue(at(read + 2));
                c = static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
                read += 3;
                decoded = true;
                if (c == '\0' && zero > length) zero = write;
            }
        } else if (c == '?') {
            if (!keepqueriesFlag) break;
            read++;
        } else if (c == '/') {
            slashes++;
            if (lower && (slashes == 3 || !schemeSoFar())) lower = false;
            read++;
        } else {
            read++;
        }
        if (lower || nocaseFlag) c = charLower(c);
        target[write++] = static_cast<char>(c);
    }
    *stringLength = zero <= length ? zero : write;
    *escaped = decoded;
    return write;
}

// A "%" with no hexadecimal digit after it, or whose escape would run past the end of
// the text, is kept as a literal "%". A digit followed by a non-digit decodes the one
// digit and still skips both characters, as "%2x" reads it.
void UnescapeUrl(char *text) {
    std::size_t length = std::strlen(text), decoded;
    bool escaped;
    text[logDecodeUrl(text, length + 1, text, length, text + length + 1, false, &decoded,
                      &escaped)] = '\0';
}

void strChangeChr(char *text, char from, char to) {
    for (; *text; text++)
        if (*text == from) *text = to;
}
