// Text from the log on HTML pages: escaping for element text and attributes, URLs for
// links; the owned page and chart files, and the dates they print.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "core/commas.h"
#include "core/dates.h"
#include "core/mem.h"
#include "report/report.h"

int reportModern() {
    return pageStyleModern == 1;
}

void htmlNumber(FILE *page, double value) {
    char text[32];
    commasFormat(text, value);
    std::fputs(text, page);
}

void htmlShare(FILE *page, double part, double whole) {
    double share = whole > 0 ? 100.0 * part / whole : 0.0;
    std::fprintf(page, "%.1f%%", share);
}

// The length of the valid UTF-8 sequence at p (1 to 4), or 0 when the bytes there do not
// begin one; *prefix is then the length of its longest start that could have been
// completed (at least 1), which is replaced by one U+FFFD as browsers decode it.
static int utf8Sequence(const unsigned char *p, int *prefix) {
    unsigned char lead = p[0];
    int length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        *prefix = 1;
        return 0;
    }
    int i = 1;
    for (; i < length; i++) {
        unsigned char c = p[i];
        bool fits = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        if (!fits) break;
    }
    if (i == length) return length;
    *prefix = i;
    return 0;
}

void htmlEscape(FILE *page, const char *text) {
    if (!text) return;
    bool modern = reportModern();
    for (const char *p = text; *p; p++) {
        if (modern && static_cast<unsigned char>(*p) >= 0x80) {
            int prefix = 1;
            int length = utf8Sequence(reinterpret_cast<const unsigned char *>(p), &prefix);
            if (length) {
                std::fwrite(p, 1, static_cast<std::size_t>(length), page);
                p += length - 1;
            } else {
                std::fputs("\xEF\xBF\xBD", page);  // U+FFFD, the replacement character
                p += prefix - 1;
            }
            continue;
        }
        switch (*p) {
            case '&':
                std::fputs("&amp;", page);
                break;
            case '<':
                std::fputs("&lt;", page);
                break;
            case '>':
                std::fputs("&gt;", page);
                break;
            case '"':
                std::fputs("&quot;", page);
                break;
            case '\'':
                std::fputs("&#39;", page);
                break;
            default:
                std::fputc(*p, page);
                break;
        }
    }
}

// The characters that htmlEscapeUrl percent-encodes: in the link they are plain text.
static bool encodedInUrl(unsigned char c) {
    return c <= 0x20 || c >= 0x7f || c == '"' || c == '\'' || c == '<' || c == '>' || c == '`' ||
           c == '\\';
}

void htmlEscapeUrl(FILE *page, const char *url) {
    if (!url) return;
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(url); *p; p++) {
        unsigned char c = *p;
        if (c == '&') {
            std::fputs("&amp;", page);
        } else if (encodedInUrl(c)) {
            // Blanks and controls would be dropped by a browser before it reads the scheme;
            // encoded, they keep the text a plain path.
            std::fputc('%', page);
            std::fputc(hex[c >> 4], page);
            std::fputc(hex[c & 15], page);
        } else {
            std::fputc(c, page);
        }
    }
}

// A letter, digit, '+', '-' or '.': the characters of a URL scheme after its first letter.
static bool schemeChar(unsigned char c) {
    return charIsAlnum(c) || c == '+' || c == '-' || c == '.';
}

int urlLinkable(const char *url, int relativeAllowed) {
    if (!url) return 0;
    const char *p = url;
    bool isAlpha = charIsAlpha(static_cast<unsigned char>(*p));
    if (isAlpha) {
        while (schemeChar(static_cast<unsigned char>(*p))) p++;
    }
    if (!isAlpha || *p != ':') return relativeAllowed ? 1 : 0;
    std::size_t length = static_cast<std::size_t>(p - url);
    static const char *const schemes[] = {"http", "https", "ftp"};
    for (const char *scheme : schemes) {
        if (std::strlen(scheme) != length) continue;
        std::size_t i = 0;
        while (i < length && charLower(static_cast<unsigned char>(url[i])) == scheme[i]) i++;
        if (i == length) return 1;
    }
    return 0;
}

// Where the scheme and authority of site followed by path end, as a browser reads the
// link that documentOutput writes (path encoded by htmlEscapeUrl); whether it has them.
static std::size_t siteEnd(const char *site, const char *path, bool *scheme, bool *authority) {
    std::size_t siteLength = std::strlen(site), pathLength = std::strlen(path);
    auto at = [&](std::size_t i) -> char {
        if (i < siteLength) return site[i];
        if (i - siteLength >= pathLength) return '\0';
        char c = path[i - siteLength];
        return encodedInUrl(static_cast<unsigned char>(c)) ? '%' : c;
    };
    std::size_t i = 0;
    *scheme = *authority = false;
    if (charIsAlpha(at(0))) {
        std::size_t j = 1;
        while (schemeChar(at(j))) j++;
        if (at(j) == ':') {
            *scheme = true;
            i = j + 1;
        }
    }
    if (at(i) == '/' && at(i + 1) == '/') {
        *authority = true;
        i += 2;
        while (at(i) && !std::strchr("/?#\\", at(i))) i++;
    }
    return i;
}

int urlOnSite(const char *site, const char *path) {
    if (!site || !path) return 0;
    if (!site[0] && path[0] != '/') return 0;
    bool scheme, authority, pathScheme, pathAuthority;
    std::size_t alone = siteEnd(site, "", &scheme, &authority);
    std::size_t joined = siteEnd(site, path, &pathScheme, &pathAuthority);
    return alone == joined && scheme == pathScheme && authority == pathAuthority;
}

char *reportPath(const char *format, ...) {
    va_list list;
    va_start(list, format);
    int length = std::vsnprintf(nullptr, 0, format, list);
    va_end(list);
    if (length < 0) length = 0;
    char *path = static_cast<char *>(xmalloc(static_cast<std::size_t>(length) + 1));
    va_start(list, format);
    std::vsnprintf(path, static_cast<std::size_t>(length) + 1, format, list);
    va_end(list);
    return path;
}

char *dateLabel(int day) {
    std::size_t size = formatDate(nullptr, 0, day, dateFormat) + 1;
    char *label = static_cast<char *>(xmalloc(size));
    formatDate(label, size, day, dateFormat);
    return label;
}

FILE *reportFileOpen(OutFile &out, const char *path) {
    errno = 0;
    FILE *file = outOpen(out, path);
    if (!file) outCannotWrite(path);
    return file;
}

void reportFileClose(OutFile &out) {
    if (!out.file) return;
    char *path = mystrdup(out.path);
    errno = 0;
    if (!outClose(out)) outCannotWrite(path);
    myfree(path);
}
