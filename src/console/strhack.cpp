// In-place string helpers: trimming white space and lower-casing.
#include "console/strhack.h"

#include <cstring>

#include "core/chars.h"

void stripSpace(char **cursor) {
    if (!cursor || !*cursor) return;
    char *text = *cursor;
    std::size_t length = std::strlen(text);
    while (length > 0 && charIsSpace(static_cast<unsigned char>(text[length - 1])))
        text[--length] = '\0';
    while (charIsSpace(static_cast<unsigned char>(*text))) text++;
    *cursor = *text ? text : nullptr;
}

void convertLower(char *text) {
    if (!text) return;
    charLowerText(text);
}
