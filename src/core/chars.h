// Character classes of the C locale, for every parser of the program: no locale calls
// and no table, so they inline into the hot paths. Bytes are taken as unsigned.
#pragma once

inline bool charIsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
// Blank, tab, line feed, vertical tab, form feed and carriage return (isspace).
inline bool charIsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool charIsUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
inline bool charIsLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
// Setting the 0x20 bit turns exactly the upper-case letters into lower-case ones.
inline bool charIsAlpha(unsigned char c) {
    return (c | 32) >= 'a' && (c | 32) <= 'z';
}
inline bool charIsAlnum(unsigned char c) {
    return charIsAlpha(c) || charIsDigit(c);
}
// The value of a hexadecimal digit, or -1.
inline int charHexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
inline bool charIsHex(unsigned char c) {
    return charHexValue(c) >= 0;
}
// A..Z lower-cased, every other byte as it is (tolower).
inline unsigned char charLower(unsigned char c) {
    return charIsUpper(c) ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
// Lower-cases A..Z of a terminated text in place; nothing else is written.
inline void charLowerText(char *text) {
    for (unsigned char *c = reinterpret_cast<unsigned char *>(text); *c; c++)
        if (charIsUpper(*c)) *c = charLower(*c);
}
