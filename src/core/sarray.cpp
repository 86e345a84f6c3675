// Growable array of owned strings, the container of every configuration list.
#include "core/sarray.h"

#include <cstddef>

#include "core/mem.h"

namespace {
constexpr int32_t kInitialSlots = 64;

void resize(StringArray &array, int32_t slots) {
    std::size_t bytes;
    if (__builtin_mul_overflow(static_cast<std::size_t>(slots), sizeof(char *), &bytes))
        dieMemory();
    array.items = static_cast<char **>(xrealloc(array.items, bytes));
    for (int32_t i = array.allocated; i < slots; i++) array.items[i] = nullptr;
    array.allocated = slots;
}
}  // namespace

void stringArraySetup(StringArray &array) {
    if (array.items) stringArrayShutdown(array);
    array.count = 0;
    array.allocated = 0;
    resize(array, kInitialSlots);
}

void stringArrayExtend(StringArray &array, int index) {
    if (index < 0) return;
    if (!array.items) stringArraySetup(array);
    if (index < array.allocated) return;
    int32_t slots = array.allocated;
    while (slots <= index) {
        if (slots > INT32_MAX / 2) dieMemory();
        slots *= 2;
    }
    resize(array, slots);
}

// Frees every slot, not only the counted ones, so a text stored past count is not lost.
void stringArrayShutdown(StringArray &array) {
    if (array.items)
        for (int32_t i = 0; i < array.allocated; i++) myfree(array.items[i]);
    myfree(array.items);
    array.items = nullptr;
    array.count = 0;
    array.allocated = 0;
}

void stringArrayAppend(StringArray &array, const char *text) {
    if (array.count == INT32_MAX) dieMemory();
    stringArrayExtend(array, array.count);
    array.items[array.count] = mystrdup(text);
    array.count++;
}
