// Memory wrappers: the one place where the program's own structures are allocated,
// and the out-of-memory stop every failed allocation ends in.
#include "core/mem.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/exit.h"

void *mymalloc(std::size_t size) {
    return std::malloc(size ? size : 1);
}

// A product that does not fit in a size is a failed allocation, whatever the allocator
// would make of it.
void *mycalloc(std::size_t count, std::size_t size) {
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) return nullptr;
    return std::calloc(count ? count : 1, size ? size : 1);
}

void *myrealloc(void *block, std::size_t size) {
    return std::realloc(block, size ? size : 1);
}

// A missing text is copied as an empty one, so a copy is always a valid text.
char *mystrdup(const char *text) {
    if (!text) text = "";
    std::size_t length = std::strlen(text);
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (!copy) dieMemory();
    std::memcpy(copy, text, length + 1);
    return copy;
}

void myfree(void *block) {
    std::free(block);
}

void dieMemory() {
    fatal("Out of Memory! quorvel cannot continue without additional memory or swap space.\n");
}

void *xmalloc(std::size_t size) {
    void *block = mymalloc(size);
    if (!block) dieMemory();
    return block;
}

void *xcalloc(std::size_t count, std::size_t size) {
    void *block = mycalloc(count, size);
    if (!block) dieMemory();
    return block;
}

void *xrealloc(void *block, std::size_t size) {
    void *moved = myrealloc(block, size);
    if (!moved) dieMemory();
    return moved;
}
