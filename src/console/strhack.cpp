// In-place string helpers: trimming white space and lower-casing.
#include "console/strhack.h"

#include <cstring>

namespace {
inline bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
}  // namespace

void stripSpace(char **cursor) {
    if (!cursor || !*cursor) return;
    char *text = *cursor;
    std::size_t length = std::strlen(text);
    while (length > 0 && isSpace(text[length - 1])) text[--length] = '\0';
    while (isSpace(*text)) text++;
    *cursor = *text ? text : nullptr;
}

void convertLower(char *text) {
    if (!text) return;
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + ('a' - 'A'));
}
