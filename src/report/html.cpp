// Text from the log on HTML pages: escaping for element text and attributes, URLs for
// links, resource texts used as formats, and the owned page and chart files.
#include <cstdarg>
#include <cstring>

#include "console/ui.h"
#include "core/mem.h"
#include "report/report.h"

void htmlEscape(FILE *page, const char *text) {
    if (!text) return;
    for (const char *p = text; *p; p++) {
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

void htmlEscapeUrl(FILE *page, const char *url) {
    if (!url) return;
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(url); *p; p++) {
        unsigned char c = *p;
        if (c == '&') {
            std::fputs("&amp;", page);
        } else if (c <= 0x20 || c >= 0x7f || c == '"' || c == '\'' || c == '<' || c == '>' ||
                   c == '`' || c == '\\') {
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

static int lowerAscii(int c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

int urlLinkable(const char *url, int relativeAllowed) {
    if (!url) return 0;
    const char *p = url;
    bool isAlpha = (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z');
    if (isAlpha) {
        while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
               *p == '+' || *p == '-' || *p == '.')
            p++;
    }
    if (!isAlpha || *p != ':') return relativeAllowed ? 1 : 0;
    std::size_t length = static_cast<std::size_t>(p - url);
    static const char *const schemes[] = {"http", "https", "ftp"};
    for (const char *scheme : schemes) {
        if (std::strlen(scheme) != length) continue;
        std::size_t i = 0;
        while (i < length && lowerAscii(static_cast<unsigned char>(url[i])) == scheme[i]) i++;
        if (i == length) return 1;
    }
    return 0;
}

namespace {
union FormatArgument {
    int whole;
    double real;
    const char *text;
};
}  // namespace

// Length of the conversion whose '%' begins the text, when it is one this writer
// formats: flags, a width and a precision of at most three digits each, no length
// modifier, and a conversion letter. 0 when it is not such a conversion.
static std::size_t conversionLength(const char *conversion, char *letter) {
    const char *p = conversion + 1;
    while (*p && std::strchr("-+ #0", *p) && p - conversion < 8) p++;
    for (int i = 0; i < 3 && *p >= '0' && *p <= '9'; i++) p++;
    if (*p >= '0' && *p <= '9') return 0;
    if (*p == '.') {
        p++;
        for (int i = 0; i < 3 && *p >= '0' && *p <= '9'; i++) p++;
        if (*p >= '0' && *p <= '9') return 0;
    }
    if (!*p || !std::strchr("diouxXeEfFgGs", *p)) return 0;
    *letter = *p;
    return static_cast<std::size_t>(p - conversion) + 1;
}

static bool conversionFits(const char *conversion, char letter, char kind) {
    // '#' is defined for the floating-point conversions only.
    bool alternate = std::strchr(conversion, '#') != nullptr;
    switch (kind) {
        case 'd':
            return !alternate && std::strchr("di", letter) != nullptr;
        case 'f':
            return std::strchr("eEfFgG", letter) != nullptr;
        case 's':
            return !alternate && letter == 's';
        default:
            return false;
    }
}

void resourceFormat(FILE *page, const char *format, const char *kinds, ...) {
    if (!format) return;
    constexpr int MAX_ARGUMENTS = 8;
    FormatArgument arguments[MAX_ARGUMENTS];
    int count = 0;
    va_list list;
    va_start(list, kinds);
    for (const char *k = kinds; *k && count < MAX_ARGUMENTS; k++, count++) {
        if (*k == 'd')
            arguments[count].whole = va_arg(list, int);
        else if (*k == 'f')
            arguments[count].real = va_arg(list, double);
        else
            arguments[count].text = va_arg(list, const char *);
    }
    va_end(list);

    int next = 0;
    for (const char *p = format; *p;) {
        if (*p != '%') {
            std::fputc(*p++, page);
            continue;
        }
        if (p[1] == '%') {
            std::fputc('%', page);
            p += 2;
            continue;
        }
        char letter = 0;
        std::size_t length = conversionLength(p, &letter);
        if (length == 0) {
            // Not a conversion this writer formats: the text stays, the argument is used up.
            std::fputc(*p++, page);
            next++;
            continue;
        }
        char conversion[32];
        std::memcpy(conversion, p, length);
        conversion[length] = '\0';
        if (next < count && conversionFits(conversion, letter, kinds[next])) {
            switch (kinds[next]) {
                case 'd':
                    std::fprintf(page, conversion, arguments[next].whole);
                    break;
                case 'f':
                    std::fprintf(page, conversion, arguments[next].real);
                    break;
                default:
                    std::fprintf(page, conversion,
                                 arguments[next].text ? arguments[next].text : "");
                    break;
            }
        } else {
            std::fputs(conversion, page);
        }
        next++;
        p += length;
    }
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

FILE *reportFileOpen(OutFile &out, const char *path) {
    FILE *file = outOpen(out, path);
    if (!file) {
        std::fprintf(stderr, "Can't write to file! Filename: %s\n", path);
        MyExit(1);
    }
    return file;
}

void reportFileClose(OutFile &out) {
    if (!out.file) return;
    char *path = mystrdup(out.path);
    if (!outClose(out)) {
        std::fprintf(stderr, "Can't write to file! Filename: %s\n", path);
        myfree(path);
        MyExit(1);
    }
    myfree(path);
}
