// The keyed counting table. Rows are numbered in order of arrival and chained in 1024
// fixed buckets; each row's cells live in two blocks per table (texts and numbers), so
// emptying a table between periods keeps its storage for the next period.
#include "core/hash.h"

#include <cstddef>
#include <cstring>

#include "core/mem.h"

namespace {

const char *const kEmptyKey = "";

// Bytes for count items of the given size; a product that does not fit ends the run.
std::size_t byteSize(std::size_t count, std::size_t size) {
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) dieMemory();
    return bytes;
}

inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

inline int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The host-order value that inet_addr gives for the key, without the library call:
// one to four parts separated by dots, each decimal, octal (leading 0) or hex (0x);
// the last part fills the remaining bytes; anything after the number other than
// white space makes the key invalid, and invalid keys give all ones.
inline uint32_t addressValue(const unsigned char *s) {
    constexpr uint32_t kNone = 0xffffffffu;
    static const uint32_t kLimit[4] = {0xffffffffu, 0xffffffu, 0xffffu, 0xffu};
    uint32_t parts = 0;
    int partCount = 0;
    uint64_t value;
    for (;;) {
        if (!isDigit(*s)) return kNone;
        value = 0;
        if (*s == '0' && (s[1] == 'x' || s[1] == 'X') && hexValue(s[2]) >= 0) {
            s += 2;
            for (int h; (h = hexValue(*s)) >= 0; s++)
                if (value <= 0xffffffffu) value = value * 16 + h;
        } else if (*s == '0') {
            for (; *s >= '0' && *s <= '7'; s++)
                if (value <= 0xffffffffu) value = value * 8 + (*s - '0');
        } else {
            for (; isDigit(*s); s++)
                if (value <= 0xffffffffu) value = value * 10 + (*s - '0');
        }
        if (*s != '.') break;
        if (partCount == 3 || value > 0xff) return kNone;
        parts |= static_cast<uint32_t>(value) << (24 - 8 * partCount);
        partCount++;
        s++;
    }
    if (*s != '\0' && *s != ' ' && (*s < '\t' || *s > '\r')) return kNone;
    if (value > kLimit[partCount]) return kNone;
    return parts | static_cast<uint32_t>(value);
}

inline char **textRow(Hash &table, int row) {
    return table.stringBlock + static_cast<std::size_t>(row) * table.stringColumns;
}

inline double *numberRow(Hash &table, int row) {
    return table.doubleBlock + static_cast<std::size_t>(row) * table.doubleColumns;
}

void setRowsFree(Hash &table, int from, int to) {
    for (int row = from; row < to; row++) {
        table.keys[row] = nullptr;
        table.next[row] = -1;
        if (table.stringColumns) {
            char **cells = textRow(table, row);
            table.strings[row] = cells;
            for (int c = 0; c < table.stringColumns; c++) cells[c] = nullptr;
        }
        if (table.doubleColumns) {
            double *cells = numberRow(table, row);
            table.doubles[row] = cells;
            for (int c = 0; c < table.doubleColumns; c++) cells[c] = 0.0;
        }
    }
}

void clearBuckets(Hash &table) {
    for (int b = 0; b < HASH_BUCKETS; b++) table.buckets[b] = -1;
}

// Walks the key's chain; returns the row or -1, and the chain's last row in *tail.
inline int findInChain(const Hash &table, int bucket, const char *key, int *tail) {
    int last = -1;
    const unsigned char first = static_cast<unsigned char>(key[0]);
    for (int row = table.buckets[bucket]; row >= 0; row = table.next[row]) {
        const char *rowKey = table.keys[row];
        if (static_cast<unsigned char>(rowKey[0]) == first &&
            (first == 0 || std::strcmp(rowKey + 1, key + 1) == 0))
            return row;
        last = row;
    }
    if (tail) *tail = last;
    return -1;
}

// A zero-filled table has no storage and its buckets are not yet -1; it has no rows.
inline bool hasRows(const Hash &table) {
    return table.keys != nullptr && table.count > 0;
}

int addRow(Hash &table, const char *key, int bucket, int tail) {
    hashExtend(table);
    int row = table.count;
    hashInitIndex(table, row);
    table.keys[row] = mystrdup(key);
    table.next[row] = -1;
    if (tail < 0)
        table.buckets[bucket] = row;
    else
        table.next[tail] = row;
    table.count++;
    return row;
}

int findOrAdd(Hash &table, const char *key) {
    if (!key) key = kEmptyKey;
    int bucket = hashFunction(key);
    int tail = -1;
    if (hasRows(table)) {
        int row = findInChain(table, bucket, key, &tail);
        if (row >= 0) return row;
    }
    return addRow(table, key, bucket, tail);
}

inline bool validRow(const Hash &table, int row) {
    return row >= 0 && row < table.allocated;
}

}  // namespace

int hashFunction(const char *key) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(key ? key : kEmptyKey);
    if (isDigit(*s)) return static_cast<int>(addressValue(s) & 1023u);
    unsigned sum = 0;
    for (; *s; s++) sum += *s & 63u;
    return static_cast<int>(sum & 1023u);
}

void hashSetup(Hash &table, int stringColumns, int doubleColumns) {
    if (table.keys) hashShutdown(table);
    table.stringColumns = stringColumns > 0 ? stringColumns : 0;
    table.doubleColumns = doubleColumns > 0 ? doubleColumns : 0;
    table.count = 0;
    table.allocated = 0;
    clearBuckets(table);
    hashExtend(table);
}

void hashReset(Hash &table) {
    if (!table.keys) {
        table.count = 0;
        clearBuckets(table);
        return;
    }
    for (int row = 0; row < table.count; row++) {
        myfree(table.keys[row]);
        if (table.stringColumns) {
            char **cells = table.strings[row];
            for (int c = 0; c < table.stringColumns; c++) myfree(cells[c]);
        }
    }
    setRowsFree(table, 0, table.count);
    table.count = 0;
    clearBuckets(table);
}

void hashShutdown(Hash &table) {
    hashReset(table);
    myfree(table.keys);
    myfree(table.strings);
    myfree(table.stringBlock);
    myfree(table.doubles);
    myfree(table.doubleBlock);
    myfree(table.next);
    table.keys = nullptr;
    table.strings = nullptr;
    table.stringBlock = nullptr;
    table.doubles = nullptr;
    table.doubleBlock = nullptr;
    table.next = nullptr;
    table.allocated = 0;
}

void hashExtend(Hash &table) {
    if (table.count < table.allocated) return;
    int32_t oldAllocated = table.allocated;
    int32_t size = oldAllocated > 0 ? oldAllocated : HASH_INITIAL_ROWS;
    if (oldAllocated == 0) clearBuckets(table);
    while (size <= table.count) {
        if (size > INT32_MAX / 2) dieMemory();
        size *= 2;
    }
    std::size_t rows = static_cast<std::size_t>(size);
    table.keys = static_cast<char **>(xrealloc(table.keys, byteSize(rows, sizeof(char *))));
    table.next = static_cast<int32_t *>(xrealloc(table.next, byteSize(rows, sizeof(int32_t))));
    if (table.stringColumns) {
        std::size_t cells = byteSize(rows, static_cast<std::size_t>(table.stringColumns));
        table.stringBlock =
            static_cast<char **>(xrealloc(table.stringBlock, byteSize(cells, sizeof(char *))));
        table.strings =
            static_cast<char ***>(xrealloc(table.strings, byteSize(rows, sizeof(char **))));
        for (int row = 0; row < oldAllocated; row++) table.strings[row] = textRow(table, row);
    }
    if (table.doubleColumns) {
        std::size_t cells = byteSize(rows, static_cast<std::size_t>(table.doubleColumns));
        table.doubleBlock =
            static_cast<double *>(xrealloc(table.doubleBlock, byteSize(cells, sizeof(double))));
        table.doubles =
            static_cast<double **>(xrealloc(table.doubles, byteSize(rows, sizeof(double *))));
        for (int row = 0; row < oldAllocated; row++) table.doubles[row] = numberRow(table, row);
    }
    table.allocated = size;
    setRowsFree(table, oldAllocated, size);
}

void hashInitIndex(Hash &table, int row) {
    if (!validRow(table, row)) return;
    if (table.stringColumns) {
        char **cells = table.strings[row];
        for (int c = 0; c < table.stringColumns; c++) {
            myfree(cells[c]);
            cells[c] = nullptr;
        }
    }
    if (table.doubleColumns) {
        double *cells = table.doubles[row];
        for (int c = 0; c < table.doubleColumns; c++) cells[c] = 0.0;
    }
}

// The copy is taken before the old cell is freed, so a text read from the same cell
// can be stored back.
void hashSetIndexString(Hash &table, int row, int column, const char *text) {
    if (!validRow(table, row) || column < 0 || column >= table.stringColumns) return;
    char *copy = mystrdup(text);
    char **cell = &table.strings[row][column];
    myfree(*cell);
    *cell = copy;
}

void hashSetIndexDouble(Hash &table, int row, int column, double number) {
    if (!validRow(table, row) || column < 0 || column >= table.doubleColumns) return;
    table.doubles[row][column] = number;
}

void hashSetIndex(Hash &table, int row, const char *text, double first, double second) {
    if (!validRow(table, row)) return;
    if (table.stringColumns) hashSetIndexString(table, row, 0, text);
    if (table.doubleColumns >= 1) table.doubles[row][0] = first;
    if (table.doubleColumns >= 2) table.doubles[row][1] = second;
}

void hashSet(Hash &table, const char *key, const char *text, double first, double second) {
    hashSetIndex(table, findOrAdd(table, key), text, first, second);
}

void hashSetString(Hash &table, const char *key, int column, const char *text) {
    hashSetIndexString(table, findOrAdd(table, key), column, text);
}

void hashSetDouble(Hash &table, const char *key, int column, double number) {
    hashSetIndexDouble(table, findOrAdd(table, key), column, number);
}

int hashFind(const Hash &table, const char *key) {
    if (!hasRows(table)) return -1;
    if (!key) key = kEmptyKey;
    return findInChain(table, hashFunction(key), key, nullptr);
}

int hashFindOrAdd(Hash &table, const char *key) {
    return findOrAdd(table, key);
}

int hashGet(Hash &table, const char *key, char **text, double *first, double *second) {
    int row = hashFind(table, key);
    if (row < 0) {
        if (text) *text = nullptr;
        if (first) *first = 0.0;
        if (second) *second = 0.0;
        return 0;
    }
    if (text && table.stringColumns) *text = table.strings[row][0];
    if (first && table.doubleColumns >= 1) *first = table.doubles[row][0];
    if (second && table.doubleColumns >= 2) *second = table.doubles[row][1];
    return 1;
}

int hashGetString(Hash &table, const char *key, int column, char **text) {
    int row = hashFind(table, key);
    if (row < 0) {
        if (text) *text = nullptr;
        return 0;
    }
    if (text && column >= 0 && column < table.stringColumns) *text = table.strings[row][column];
    return 1;
}

int hashGetDouble(Hash &table, const char *key, int column, double *number) {
    int row = hashFind(table, key);
    if (row < 0) {
        if (number) *number = 0.0;
        return 0;
    }
    if (number && column >= 0 && column < table.doubleColumns) *number = table.doubles[row][column];
    return 1;
}
