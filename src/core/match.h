// Wildcard patterns: "*" any run, "?" one character, "|" between alternatives.
#pragma once

struct StringArray;

int match(const char *text, const char *pattern);
int matchNoCase(const char *text, const char *pattern);
int matchBody(const char *text, const char *pattern, int fold);
// 1 when the text matches one of the patterns of the list (case counts).
int matchAny(const char *text, const StringArray &list);
