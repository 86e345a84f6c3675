// Keyed counting table: bucket numbers, growth, reset, and what the lookups write.
#include "core/hash.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <random>

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
}

TEST(HashDeath, RowCountOverflowIsOutOfMemory) {
    Hash h;
    h.allocated = h.count = INT32_MAX / 2 + 1;
    EXPECT_EXIT(
        hashExtend(h), testing::ExitedWithCode(1),
        "^Out of Memory! quorvel cannot continue without additional memory or swap space.\n$");
}

}  // namespace
