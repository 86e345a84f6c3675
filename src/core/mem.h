// Memory wrappers: every allocation of the program's own structures goes through
// these, and a failed allocation ends the run through dieMemory.
#pragma once
#include <cstddef>

void *mymalloc(std::size_t size);  // size 0 is raised to 1; may return null
void *mycalloc(std::size_t count,
               std::size_t size);                // count or size 0 raised to 1; may return null
void *myrealloc(void *block, std::size_t size);  // size 0 is raised to 1; may return null
char *mystrdup(const char *text);                // never null: dies on failure
void myfree(void *block);

// Prints the out-of-memory message on standard error and ends with status 1.
[[noreturn]] void dieMemory();

// Checked forms: the same as the wrappers above, but die instead of returning null. Every
// allocation outside this module goes through these (or mystrdup).
void *xmalloc(std::size_t size);
void *xcalloc(std::size_t count, std::size_t size);
void *xrealloc(void *block, std::size_t size);
