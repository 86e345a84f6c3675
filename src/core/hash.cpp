// The keyed counting table. Rows are numbered in order of arrival and chained in 1024
// fixed buckets; each row's cells live in two blocks per table (texts and numbers), and
// the keys in blocks of their own, so emptying a table between periods keeps its storage
// for the next period. Keys are found through an open-addressing index on a strong hash
// of the key, so a lookup costs the same however long the key's chain has grown.
#include "core/hash.h"

#include <cstddef>
#include <cstring>

#include "core/chars.h"
#include "core/mem.h"

namespace {

const char *const kEmptyKey = "";

// Bytes for count items of the given size; a product that does not fit ends the run.
std::size_t byteSize(std::size_t count, std::size_t size) {
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) dieMemory();
    return bytes;
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
        if (!charIsDigit(*s)) return kNone;
        value = 0;
        if (*s == '0' && (s[1] == 'x' || s[1] == 'X') && charHexValue(s[2]) >= 0) {
            s += 2;
            for (int h; (h = charHexValue(*s)) >= 0; s++)
                if (value <= 0xffffffffu) value = value * 16 + h;
        } else if (*s == '0') {
            for (; *s >= '0' && *s <= '7'; s++)
                if (value <= 0xffffffffu) value = value * 8 + (*s - '0');
        } else {
            for (; charIsDigit(*s); s++)
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
    for (int b = 0; b < HASH_BUCKETS; b++) table.buckets[b] = table.tails[b] = -1;
}

// A strong 64-bit hash of a key of known length (multiply-and-fold over 16-byte
// blocks); only the lookup index uses it, hashFunction still places rows in chains.
inline uint64_t fold(uint64_t a, uint64_t b) {
    unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

inline uint64_t load64(const unsigned char *p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline uint64_t load32(const unsigned char *p) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline uint32_t keyHash(const char *key, std::size_t length) {
    constexpr uint64_t k0 = 0xa0761d6478bd642full, k1 = 0xe7037ed1a0b428dbull,
                       k2 = 0x8ebc6af09c88c6e3ull;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(key);
    std::size_t n = length;
    uint64_t seed = k0 ^ length;
    uint64_t a = 0, b = 0;
    if (n <= 16) {
        if (n >= 4) {
            std::size_t shift = (n >> 3) << 2;
            a = (load32(p) << 32) | load32(p + shift);
            b = (load32(p + n - 4) << 32) | load32(p + n - 4 - shift);
        } else if (n > 0) {
            a = (uint64_t(p[0]) << 16) | (uint64_t(p[n >> 1]) << 8) | p[n - 1];
        }
    } else {
        // Two independent lanes over 32-byte blocks, so that long keys (user agents,
        // referrers) do not wait on one chain of multiplications.
        uint64_t other = seed;
        for (; n > 32; p += 32, n -= 32) {
            seed = fold(load64(p) ^ k1, load64(p + 8) ^ seed);
            other = fold(load64(p + 16) ^ k2, load64(p + 24) ^ other);
        }
        seed ^= other;
        if (n > 16) {
            seed = fold(load64(p) ^ k1, load64(p + 8) ^ seed);
            p += 16;
            n -= 16;
        }
        a = load64(p + n - 16);
        b = load64(p + n - 8);
    }
    uint64_t h = fold(k1 ^ length, fold(a ^ k1, b ^ seed) ^ k2);
    return static_cast<uint32_t>(h ^ (h >> 32));
}

// Key storage: each key is its 32-bit length, its bytes and a terminator, 4-aligned.
constexpr std::size_t KEY_HEADER = sizeof(uint32_t);
constexpr std::size_t KEY_BLOCK_FIRST = 2048;
constexpr std::size_t KEY_BLOCK_LARGEST = 1 << 20;

inline std::size_t storedKeyLength(const char *key) {
    uint32_t length;
    std::memcpy(&length, key - KEY_HEADER, sizeof length);
    return length;
}

char *storeKey(Hash &table, const char *key, std::size_t length) {
    if (length > UINT32_MAX - 2 * KEY_HEADER) dieMemory();
    std::size_t need = (KEY_HEADER + length + 1 + 3) & ~static_cast<std::size_t>(3);
    if (table.keyBlockCurrent >= table.keyBlockCount ||
        table.keyBlockUsed + need > table.keyBlocks[table.keyBlockCurrent].size) {
        // The next kept block that is large enough, or a new one.
        int block = table.keyBlockCount > 0 ? table.keyBlockCurrent + 1 : 0;
        while (block < table.keyBlockCount && table.keyBlocks[block].size < need) block++;
        if (block == table.keyBlockCount) {
            table.keyBlocks = static_cast<HashKeyBlock *>(
                xrealloc(table.keyBlocks,
                         byteSize(static_cast<std::size_t>(block) + 1, sizeof(HashKeyBlock))));
            std::size_t size = KEY_BLOCK_FIRST;
            for (int i = 0; i < block && size < KEY_BLOCK_LARGEST; i++) size *= 2;
            if (size < need) size = need;
            table.keyBlocks[block] = HashKeyBlock{static_cast<char *>(xmalloc(size)), size};
            table.keyBlockCount++;
        }
        table.keyBlockCurrent = block;
        table.keyBlockUsed = 0;
    }
    char *place = table.keyBlocks[table.keyBlockCurrent].data + table.keyBlockUsed;
    table.keyBlockUsed += need;
    uint32_t stored = static_cast<uint32_t>(length);
    std::memcpy(place, &stored, sizeof stored);
    std::memcpy(place + KEY_HEADER, key, length + 1);
    return place + KEY_HEADER;
}

void freeKeyBlocks(Hash &table) {
    for (int i = 0; i < table.keyBlockCount; i++) myfree(table.keyBlocks[i].data);
    myfree(table.keyBlocks);
    table.keyBlocks = nullptr;
    table.keyBlockCount = table.keyBlockCurrent = 0;
    table.keyBlockUsed = 0;
}

// Equality of two keys of the same known length; short keys, the usual ones, without a
// library call.
inline bool sameBytes(const char *a, const char *b, std::size_t length) {
    const unsigned char *x = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *y = reinterpret_cast<const unsigned char *>(b);
    if (length >= 8 && length <= 16)
        return load64(x) == load64(y) && load64(x + length - 8) == load64(y + length - 8);
    if (length >= 4 && length < 8)
        return load32(x) == load32(y) && load32(x + length - 4) == load32(y + length - 4);
    if (length < 4) {
        for (std::size_t i = 0; i < length; i++)
            if (x[i] != y[i]) return false;
        return true;
    }
    return std::memcmp(a, b, length) == 0;
}

// Row of a key through the index, or -1.
inline int indexFind(const Hash &table, const char *key, std::size_t length, uint32_t hash) {
    for (uint32_t place = hash & table.slotMask;; place = (place + 1) & table.slotMask) {
        const HashSlot &slot = table.slots[place];
        if (slot.row < 0) return -1;
        if (slot.hash == hash && storedKeyLength(slot.key) == length &&
            sameBytes(slot.key, key, length))
            return slot.row;
    }
}

inline void indexInsert(Hash &table, const char *key, uint32_t hash, int row) {
    uint32_t place = hash & table.slotMask;
    while (table.slots[place].row >= 0) place = (place + 1) & table.slotMask;
    table.slots[place] = HashSlot{key, hash, row};
}

void indexClear(Hash &table) {
    if (table.slots)
        std::memset(table.slots, 0xff,
                    (static_cast<std::size_t>(table.slotMask) + 1) * sizeof(HashSlot));
}

// Index for a table of `rows` allocated rows, filled again from the old one.
void indexRebuild(Hash &table, std::size_t rows) {
    std::size_t places = rows * 2;
    HashSlot *old = table.slots;
    std::size_t oldPlaces = old ? static_cast<std::size_t>(table.slotMask) + 1 : 0;
    table.slots = static_cast<HashSlot *>(xmalloc(byteSize(places, sizeof(HashSlot))));
    table.slotMask = static_cast<uint32_t>(places - 1);
    indexClear(table);
    for (std::size_t i = 0; i < oldPlaces; i++)
        if (old[i].row >= 0) indexInsert(table, old[i].key, old[i].hash, old[i].row);
    myfree(old);
}

// hashFunction of a key of known length. The byte sum takes eight bytes at a time: the
// low 6 bits of the bytes are added in four 16-bit lanes, each taking two bytes (at most
// 126) of every word, so a lane cannot overflow within 512 words.
int bucketOf(const char *key, std::size_t length) {
    const unsigned char *s = reinterpret_cast<const unsigned char *>(key);
    if (charIsDigit(*s)) return static_cast<int>(addressValue(s) & 1023u);
    constexpr uint64_t low6 = 0x003f003f003f003full;
    uint64_t sum = 0;
    std::size_t i = 0;
    while (length - i >= 8) {
        std::size_t words = (length - i) / 8;
        if (words > 512) words = 512;
        uint64_t lanes = 0;
        for (std::size_t w = 0; w < words; w++, i += 8) {
            uint64_t word = load64(s + i);
            lanes += (word & low6) + ((word >> 8) & low6);
        }
        sum +=
            (lanes & 0xffff) + ((lanes >> 16) & 0xffff) + ((lanes >> 32) & 0xffff) + (lanes >> 48);
    }
    for (; i < length; i++) sum += s[i] & 63u;
    return static_cast<int>(sum & 1023u);
}

// A zero-filled table has no storage and its buckets are not yet -1; it has no rows.
inline bool hasRows(const Hash &table) {
    return table.keys != nullptr && table.count > 0;
}

int addRow(Hash &table, const char *key, std::size_t length, uint32_t hash) {
    hashExtend(table);
    int row = table.count;
    int bucket = bucketOf(key, length);
    hashInitIndex(table, row);
    table.keys[row] = storeKey(table, key, length);
    table.next[row] = -1;
    int tail = table.tails[bucket];
    if (tail < 0)
        table.buckets[bucket] = row;
    else
        table.next[tail] = row;
    table.tails[bucket] = row;
    indexInsert(table, table.keys[row], hash, row);
    table.count++;
    return row;
}

inline int findOrAdd(Hash &table, const char *key, std::size_t length, uint32_t hash) {
    if (hasRows(table)) {
        int row = indexFind(table, key, length, hash);
        if (row >= 0) return row;
    }
    return addRow(table, key, length, hash);
}

int findOrAdd(Hash &table, const char *key) {
    if (!key) key = kEmptyKey;
    std::size_t length = std::strlen(key);
    return findOrAdd(table, key, length, keyHash(key, length));
}

inline bool validRow(const Hash &table, int row) {
    return row >= 0 && row < table.allocated;
}

}  // namespace

int hashFunction(const char *key) {
    if (!key) key = kEmptyKey;
    return bucketOf(key, std::strlen(key));
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
    if (table.stringColumns) {
        for (int row = 0; row < table.count; row++) {
            char **cells = table.strings[row];
            for (int c = 0; c < table.stringColumns; c++) myfree(cells[c]);
        }
    }
    setRowsFree(table, 0, table.count);
    table.count = 0;
    table.keyBlockCurrent = 0;
    table.keyBlockUsed = 0;
    clearBuckets(table);
    indexClear(table);
}

void hashShutdown(Hash &table) {
    hashReset(table);
    myfree(table.keys);
    myfree(table.strings);
    myfree(table.stringBlock);
    myfree(table.doubles);
    myfree(table.doubleBlock);
    myfree(table.next);
    myfree(table.slots);
    freeKeyBlocks(table);
    table.slots = nullptr;
    table.slotMask = 0;
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
    indexRebuild(table, rows);
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
    char **cell = &table.strings[row][column];
    // A cell set again to the text it holds (a visit's site, mostly) keeps its copy.
    if (*cell && text && std::strcmp(*cell, text) == 0) return;
    char *copy = mystrdup(text);
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
    std::size_t length = std::strlen(key);
    return indexFind(table, key, length, keyHash(key, length));
}

int hashFindOrAdd(Hash &table, const char *key) {
    return findOrAdd(table, key);
}

uint32_t hashKeyHash(const char *key, std::size_t length) {
    return keyHash(key, length);
}

int hashFindHashed(const Hash &table, const char *key, std::size_t length, uint32_t hash) {
    if (!hasRows(table)) return -1;
    return indexFind(table, key, length, hash);
}

int hashFindOrAddHashed(Hash &table, const char *key, std::size_t length, uint32_t hash) {
    return findOrAdd(table, key, length, hash);
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
