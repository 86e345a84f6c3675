// Keyed counting table: bucket numbers, growth, reset, what the lookups write, and the
// lookup index beside the chains.
#include "core/hash.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

struct Table {
    Hash h;
    Table(int texts, int numbers) { hashSetup(h, texts, numbers); }
    ~Table() { hashShutdown(h); }
};

TEST(HashFunction, BucketNumbers) {
    EXPECT_EQ(hashFunction("10.0.1.7"), 263);
    EXPECT_EQ(hashFunction("10.0.5.7"), 263);
    EXPECT_EQ(hashFunction("404.html"), 1023);
    EXPECT_EQ(hashFunction(""), 0);
    EXPECT_EQ(hashFunction("ab\xff"), ('a' & 63) + ('b' & 63) + 63);
}

// Digit-leading keys must land where inet_addr puts them, valid or not.
TEST(HashFunction, NumericKeysAgreeWithInetAddr) {
    auto expected = [](const char *key) { return static_cast<int>(ntohl(inet_addr(key)) & 1023); };
    for (const char *key : {"10.1", "0x0a.1.2.3", "010.0.0.1", "08", "0x", "1.0xff", "1.2.3.256",
                            "1.16777215", "1.16777216", "4294967296", "037777777777", "1 x",
                            "10.0.1.7abc", "1.2.3.4\x80", "99999999999999999999999", "9."})
        EXPECT_EQ(hashFunction(key), expected(key)) << key;
    const char alphabet[] = "0123456789012345678901234567.......xXabcdefABCDEFg \t\n\v-+";
    std::mt19937 random(12345);
    for (int i = 0; i < 200000; i++) {
        char key[24];
        int length = 1 + static_cast<int>(random() % 20);
        key[0] = static_cast<char>('0' + random() % 10);
        for (int j = 1; j < length; j++) key[j] = alphabet[random() % (sizeof alphabet - 1)];
        key[length] = '\0';
        ASSERT_EQ(hashFunction(key), expected(key)) << key;
    }
}

TEST(Hash, KeysAreExactAndChainsKeepArrivalOrder) {
    Table t(1, 2);
    for (const char *key : {"Index.html", "index.html", "", "10.0.1.7", "10.0.5.7"})
        hashSet(t.h, key, key, 1, 2);
    EXPECT_EQ(t.h.count, 5);
    EXPECT_EQ(hashFind(t.h, "index.html"), 1);
    EXPECT_EQ(hashFind(t.h, ""), 2);
    EXPECT_EQ(hashFind(t.h, "index.htm"), -1);
    EXPECT_EQ(t.h.buckets[263], 3);
    EXPECT_EQ(t.h.next[3], 4);
    hashSet(t.h, "index.html", t.h.strings[1][0], 7, 8);  // its own text stored back
    EXPECT_EQ(t.h.count, 5);
    EXPECT_STREQ(t.h.strings[1][0], "index.html");
    EXPECT_EQ(t.h.doubles[1][1], 8);
}

TEST(Hash, GrowthKeepsRowsAndCellsAndResetEmpties) {
    Table t(2, 2);
    char key[32];
    for (int i = 0; i < 129; i++) {
        std::snprintf(key, sizeof key, "/page/%d.html", i);
        hashSet(t.h, key, key, i, 2.0 * i);
        hashSetString(t.h, key, 1, "second");
        EXPECT_EQ(t.h.allocated, i < 64 ? 64 : i < 128 ? 128 : 256);
    }
    for (int i = 0; i < 129; i++) {
        std::snprintf(key, sizeof key, "/page/%d.html", i);
        ASSERT_EQ(hashFind(t.h, key), i);
        EXPECT_STREQ(t.h.strings[i][0], key);
        EXPECT_STREQ(t.h.strings[i][1], "second");
        EXPECT_EQ(t.h.doubles[i][1], 2.0 * i);
    }
    EXPECT_EQ(t.h.keys[129], nullptr);
    EXPECT_EQ(t.h.strings[255][1], nullptr);
    EXPECT_EQ(t.h.doubles[255][1], 0.0);

    hashReset(t.h);
    EXPECT_EQ(t.h.count, 0);
    EXPECT_EQ(t.h.allocated, 256);
    EXPECT_EQ(hashFind(t.h, "/page/5.html"), -1);
    hashSetDouble(t.h, "new", 1, 9);  // a new row by number keeps its texts none
    EXPECT_EQ(hashFind(t.h, "new"), 0);
    EXPECT_EQ(t.h.strings[0][0], nullptr);
    EXPECT_EQ(t.h.doubles[0][0], 0.0);
}

TEST(Hash, StoresAndLookupsFollowTheColumns) {
    Table t(1, 1);
    hashSet(t.h, "k", nullptr, 4, 99);
    EXPECT_STREQ(t.h.strings[0][0], "");    // no text stores an empty one
    hashSetString(t.h, "c", 3, "ignored");  // row created, nothing stored
    EXPECT_EQ(hashFind(t.h, "c"), 1);
    EXPECT_EQ(t.h.strings[1][0], nullptr);

    char *text = nullptr;
    double first = -1, second = -1;
    EXPECT_EQ(hashGet(t.h, "k", &text, &first, &second), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(first, 4);
    EXPECT_EQ(second, -1);  // one number cell: the second out is left alone
    EXPECT_EQ(hashGet(t.h, "absent", &text, &first, &second), 0);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(hashGetDouble(t.h, "k", 5, &first), 1);
    EXPECT_EQ(first, 0);

    // A cell set from its own text, or to the text it holds, keeps it; another text
    // replaces it.
    hashSetIndexString(t.h, 0, 0, "site");
    hashSetIndexString(t.h, 0, 0, t.h.strings[0][0]);
    EXPECT_STREQ(t.h.strings[0][0], "site");
    hashSetIndexString(t.h, 0, 0, std::string("site").c_str());
    EXPECT_STREQ(t.h.strings[0][0], "site");
    hashSetIndexString(t.h, 0, 0, "sites");
    EXPECT_STREQ(t.h.strings[0][0], "sites");
}

TEST(HashDeath, RowCountOverflowIsOutOfMemory) {
    Hash h;
    h.allocated = h.count = INT32_MAX / 2 + 1;
    EXPECT_EXIT(
        hashExtend(h), testing::ExitedWithCode(1),
        "^Out of Memory! quorvel cannot continue without additional memory or swap space.\n$");
}

// ---- The lookup index beside the chains: keys are found in constant time however their
// chains look, the chains keep their shape (bucket, arrival order), and the key storage
// survives growth, emptying and keys of any size.

// Every row sits in the chain of its own bucket, chains list rows in arrival order, and
// every row is in exactly one chain.
void expectChainsWellFormed(const Hash &h) {
    std::vector<int> seen(static_cast<size_t>(h.count), 0);
    for (int bucket = 0; bucket < HASH_BUCKETS; bucket++) {
        int previous = -1;
        for (int row = h.buckets[bucket]; row >= 0; row = h.next[row]) {
            ASSERT_LT(row, h.count);
            ASSERT_EQ(hashFunction(h.keys[row]), bucket) << h.keys[row];
            ASSERT_GT(row, previous);
            seen[static_cast<size_t>(row)]++;
            previous = row;
        }
    }
    for (int row = 0; row < h.count; row++) ASSERT_EQ(seen[static_cast<size_t>(row)], 1) << row;
}

// Keys with the same letters in another order have the same byte sum: one long chain.
std::string anagram(int i) {
    std::string key = "/abcdefghijklmnop";
    for (int k = 1; k < static_cast<int>(key.size()) && i > 0; k++, i /= 16)
        std::swap(key[static_cast<size_t>(k)], key[static_cast<size_t>(k + i % 16) % key.size()]);
    return key;
}

TEST(HashIndex, LongChainsAreFoundAndKeepTheirShape) {
    Table t(1, 2);
    std::vector<std::string> keys;
    std::unordered_set<std::string> distinct;
    for (int i = 0; distinct.size() < 3000; i++) {
        std::string key = anagram(i * 7919);
        if (distinct.insert(key).second) keys.push_back(key);
    }
    for (size_t i = 0; i < keys.size(); i++) {
        int row = hashFindOrAdd(t.h, keys[i].c_str());
        ASSERT_EQ(row, static_cast<int>(i));
        t.h.doubles[row][0] += 1;
    }
    EXPECT_EQ(t.h.allocated, 4096);
    for (size_t i = 0; i < keys.size(); i++)
        ASSERT_EQ(hashFind(t.h, keys[i].c_str()), static_cast<int>(i));
    EXPECT_EQ(hashFind(t.h, "/abcdefghijklmnoq"), -1);
    expectChainsWellFormed(t.h);
}

// Keys that begin with a digit but are no address all go to bucket 1023; a walk of that
// chain for each store would take minutes here.
TEST(HashIndex, OneHugeChainStaysLinear) {
    Table t(1, 2);
    char key[32];
    for (int i = 0; i < 100000; i++) {
        std::snprintf(key, sizeof key, "404-%d.html", i);
        hashSetDouble(t.h, key, 0, i);
    }
    EXPECT_EQ(t.h.count, 100000);
    EXPECT_EQ(t.h.buckets[1023], 0);
    double value = -1;
    EXPECT_EQ(hashGetDouble(t.h, "404-77777.html", 0, &value), 1);
    EXPECT_EQ(value, 77777);
    int length = 0;
    for (int row = t.h.buckets[1023]; row >= 0; row = t.h.next[row]) length++;
    EXPECT_EQ(length, 100000);
}

TEST(HashIndex, KeysDifferingAnywhereAreDistinct) {
    Table t(0, 1);
    std::vector<std::string> keys = {"",
                                     "a",
                                     "A",
                                     "ab",
                                     "ba",
                                     "abc",
                                     std::string(16, 'x'),
                                     std::string(17, 'x'),
                                     std::string(33, 'x')};
    for (size_t length : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 100}) {
        for (size_t at = 0; at < length; at++) {
            std::string key(length, 'k');
            key[at] = 'K';
            keys.push_back(key);
        }
    }
    for (size_t i = 0; i < keys.size(); i++)
        ASSERT_EQ(hashFindOrAdd(t.h, keys[i].c_str()), static_cast<int>(i));
    for (size_t i = 0; i < keys.size(); i++) {
        ASSERT_EQ(hashFind(t.h, keys[i].c_str()), static_cast<int>(i));
        ASSERT_EQ(std::strcmp(t.h.keys[i], keys[i].c_str()), 0);
    }
    expectChainsWellFormed(t.h);
}

TEST(HashIndex, HashedLookupsAgreeWithThePlainOnes) {
    Table t(1, 2);
    const char *keys[] = {"/index.html", "10.0.0.1", "Mozilla/5.0 (X11; Linux x86_64)", ""};
    for (const char *key : keys) hashSet(t.h, key, nullptr, 1, 2);
    for (const char *key : keys) {
        std::size_t length = std::strlen(key);
        uint32_t hash = hashKeyHash(key, length);
        EXPECT_EQ(hashFindHashed(t.h, key, length, hash), hashFind(t.h, key));
        EXPECT_EQ(hashFindOrAddHashed(t.h, key, length, hash), hashFind(t.h, key));
    }
    const char *fresh = "/new.html";
    int row =
        hashFindOrAddHashed(t.h, fresh, std::strlen(fresh), hashKeyHash(fresh, std::strlen(fresh)));
    EXPECT_EQ(row, 4);
    EXPECT_EQ(hashFind(t.h, fresh), 4);
    EXPECT_EQ(t.h.strings[4][0], nullptr);
    EXPECT_EQ(hashRowNumbers(t.h, 4), t.h.doubles[4]);
    expectChainsWellFormed(t.h);
}

// A 32-bit hash of 200,000 distinct keys collides a handful of times at most.
TEST(HashIndex, TheStrongHashSpreadsSimilarKeys) {
    std::unordered_set<uint32_t> hashes;
    char key[64];
    int keys = 0;
    for (int i = 0; i < 100000; i++) {
        for (const char *shape : {"/docs/page-%d.html", "%d.%d.1.2"}) {
            std::snprintf(key, sizeof key, shape, i, i % 256);
            hashes.insert(hashKeyHash(key, std::strlen(key)));
            keys++;
        }
    }
    EXPECT_GE(hashes.size(), static_cast<size_t>(keys - 20));
}

TEST(HashIndex, KeysOfAnySizeSurviveGrowthAndEmptying) {
    Table t(1, 1);
    std::string huge(3 << 20, 'h');  // larger than any key block
    std::string large(5000, 'l');
    for (int round = 0; round < 3; round++) {
        char key[32];
        for (int i = 0; i < 700; i++) {
            std::snprintf(key, sizeof key, "/r%d/%d", round, i);
            const char *stored = i == 101 ? huge.c_str() : i == 301 ? large.c_str() : key;
            ASSERT_EQ(hashFindOrAdd(t.h, stored), i);
        }
        EXPECT_EQ(t.h.count, 700);
        EXPECT_EQ(hashFind(t.h, huge.c_str()), 101);
        EXPECT_EQ(hashFind(t.h, large.c_str()), 301);
        EXPECT_EQ(std::strlen(t.h.keys[101]), huge.size());
        std::snprintf(key, sizeof key, "/r%d/%d", round, 699);
        EXPECT_EQ(hashFind(t.h, key), 699);
        hashReset(t.h);
        EXPECT_EQ(hashFind(t.h, key), -1);
        EXPECT_EQ(hashFind(t.h, huge.c_str()), -1);
        EXPECT_EQ(t.h.allocated, 1024);
    }
}

// The byte sum of long keys, taken several bytes at a time, is the plain one.
TEST(HashIndex, BucketsOfLongKeysAreTheByteSum) {
    std::string key;
    unsigned seed = 99;
    for (int length : {0, 1, 7, 8, 9, 63, 64, 65, 4095, 4096, 4097, 4103, 20000}) {
        key.clear();
        unsigned sum = 0;
        for (int i = 0; i < length; i++) {
            seed = seed * 1103515245u + 12345u;
            unsigned char c =
                static_cast<unsigned char>(i == 0 ? 'a' + seed % 26 : 1 + (seed >> 16) % 255);
            key.push_back(static_cast<char>(c));
            sum += c & 63u;
        }
        EXPECT_EQ(hashFunction(key.c_str()), static_cast<int>(sum & 1023u)) << length;
    }
    EXPECT_EQ(hashFunction(std::string(20000, '\xff').c_str()), (20000 * 63) & 1023);
}

// A table that was never set up (all zero, as a global is) takes stores all the same.
Hash zeroTable;

TEST(HashIndex, AZeroFilledTableWorksWithoutSetup) {
    EXPECT_EQ(hashFind(zeroTable, "x"), -1);
    hashSetDouble(zeroTable, "x", 0, 3);
    hashSetDouble(zeroTable, "y", 0, 4);
    EXPECT_EQ(hashFind(zeroTable, "y"), 1);
    expectChainsWellFormed(zeroTable);
    hashShutdown(zeroTable);
    EXPECT_EQ(zeroTable.slots, nullptr);
    EXPECT_EQ(zeroTable.keyBlocks, nullptr);
}

}  // namespace
