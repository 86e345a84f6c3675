// The keyed counting table: rows numbered densely in order of arrival, each with a
// fixed number of owned text cells and of double cells, chained in 1024 buckets.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int HASH_BUCKETS = 1024;
constexpr int HASH_INITIAL_ROWS = 64;

// A block of key storage.
struct HashKeyBlock {
    char *data;
    std::size_t size;
};

// One place of the lookup index: a row's key, its strong hash, and the row (-1 when
// the place is empty).
struct HashSlot {
    const char *key;
    uint32_t hash;
    int32_t row;
};

struct Hash {
    char **keys = nullptr;          // key of each row in use, null for free rows
    char ***strings = nullptr;      // row pointers into stringBlock; null when stringColumns is 0
    char **stringBlock = nullptr;   // allocated * stringColumns text cells
    double **doubles = nullptr;     // row pointers into doubleBlock; null when doubleColumns is 0
    double *doubleBlock = nullptr;  // allocated * doubleColumns number cells
    int32_t *next = nullptr;        // next row of the same chain, -1 at the end
    int32_t count = 0;              // rows in use
    int32_t allocated = 0;          // rows allocated
    int32_t buckets[HASH_BUCKETS];  // head row of each chain, -1 when empty
    int32_t stringColumns = 0;
    int32_t doubleColumns = 0;
    // Lookup index beside the chains, so that a key is found in constant time however
    // long its chain is: open addressing over a strong hash of the key, with twice as
    // many places as allocated rows. Rebuilt when the table grows, cleared when it is
    // emptied; the chains stay as they are.
    HashSlot *slots = nullptr;
    uint32_t slotMask = 0;        // places - 1; meaningless while slots is null
    int32_t tails[HASH_BUCKETS];  // last row of each chain, -1 when empty
    // The keys are stored one after the other in blocks, each preceded by its length;
    // emptying the table keeps the blocks for the keys of the next period.
    HashKeyBlock *keyBlocks = nullptr;
    int32_t keyBlockCount = 0;     // blocks allocated
    int32_t keyBlockCurrent = 0;   // block being filled
    std::size_t keyBlockUsed = 0;  // bytes used of it
};

void hashSetup(Hash &table, int stringColumns, int doubleColumns);
void hashReset(Hash &table);
void hashShutdown(Hash &table);

void hashSet(Hash &table, const char *key, const char *text, double first, double second);
void hashSetString(Hash &table, const char *key, int column, const char *text);
void hashSetDouble(Hash &table, const char *key, int column, double number);

// Each out may be null. Returns 1 when found, 0 when not.
int hashGet(Hash &table, const char *key, char **text, double *first, double *second);
int hashGetString(Hash &table, const char *key, int column, char **text);
int hashGetDouble(Hash &table, const char *key, int column, double *number);

int hashFunction(const char *key);
void hashExtend(Hash &table);
void hashSetIndex(Hash &table, int row, const char *text, double first, double second);
void hashSetIndexString(Hash &table, int row, int column, const char *text);
void hashSetIndexDouble(Hash &table, int row, int column, double number);
void hashInitIndex(Hash &table, int row);

// Row of a key, or -1. Not part of the classic interface, but lets the accounting add
// to a row without a second lookup.
int hashFind(const Hash &table, const char *key);
// Row of a key, creating it (cells none and zero) when new.
int hashFindOrAdd(Hash &table, const char *key);

// The same lookups for a key whose length and strong hash (hashKeyHash) are known, so that
// one hash serves several tables and no key is measured twice.
uint32_t hashKeyHash(const char *key, std::size_t length);
int hashFindHashed(const Hash &table, const char *key, std::size_t length, uint32_t hash);
int hashFindOrAddHashed(Hash &table, const char *key, std::size_t length, uint32_t hash);

// The number cells of a row (the same cells as table.doubles[row]).
inline double *hashRowNumbers(Hash &table, int row) {
    return table.doubleBlock + static_cast<std::size_t>(row) * table.doubleColumns;
}
