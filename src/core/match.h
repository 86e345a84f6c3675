// Wildcard patterns: "*" any run, "?" one character, "|" between alternatives.
#pragma once

int match(const char *text, const char *pattern);
int matchNoCase(const char *text, const char *pattern);
int matchBody(const char *text, const char *pattern, int fold);
