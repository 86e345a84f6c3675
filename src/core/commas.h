// Whole numbers with thousands separators.
#pragma once
#include <cstdio>

void Commas(FILE *file, double value);
// The same text into a buffer of at least 32 characters.
void commasFormat(char *out, double value);
