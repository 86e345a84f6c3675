// The keyed counting table: rows numbered densely in order of arrival, each with a
// fixed number of owned text cells and of double cells, chained in 1024 buckets.
#pragma once
#include <cstdint>

constexpr int HASH_BUCKETS = 1024;
constexpr int HASH_INITIAL_ROWS = 64;

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
