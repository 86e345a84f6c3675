// Growable array of owned strings; every configuration list is one.
#pragma once
#include <cstdint>

struct StringArray {
    char **items = nullptr;
    int32_t count = 0;
    int32_t allocated = 0;
};

void stringArraySetup(StringArray &array);
void stringArrayExtend(StringArray &array, int index);
void stringArrayShutdown(StringArray &array);
// Appends an owned copy of text: extend to count, store, count + 1.
void stringArrayAppend(StringArray &array, const char *text);
