// Growing text cells and the referrer lists of missing pages: same text and same
// substring rule as a plain search, at any length.
#include "engine/reflist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/hash.h"

namespace {

class RefList : public ::testing::Test {
  protected:
    Hash table;
    void SetUp() override { hashSetup(table, 1, 1); }
    void TearDown() override {
        refListReset();
        hashShutdown(table);
    }
    int row(const char *key) { return hashFindOrAdd(table, key); }
    std::string text(int r) { return table.strings[r][0] ? table.strings[r][0] : "(none)"; }
};

TEST_F(RefList, EachReferrerIsListedOnce) {
    int r = row("/missing");
    EXPECT_EQ(refListAdd(table, r, "http://a.example/"), 1);
    EXPECT_EQ(refListAdd(table, r, "http://a.example/"), 0);
    EXPECT_EQ(text(r), "http://a.example/");
    EXPECT_EQ(refListAdd(table, r, "http://b.example/"), 1);
    EXPECT_EQ(text(r), "http://a.example/, http://b.example/");
    EXPECT_EQ(refListAdd(table, r, ""), 0);
    EXPECT_EQ(text(r), "http://a.example/, http://b.example/");
}

TEST_F(RefList, APageContainedInTheListIsNotAdded) {
    int r = row("/missing");
    refListAdd(table, r, "http://a.example/long/page");
    EXPECT_EQ(refListAdd(table, r, "http://a.example/long"), 0);
    refListAdd(table, r, "http://b.example/");
    // Across the separator: the list holds "page, http".
    EXPECT_EQ(refListAdd(table, r, "page, http"), 0);
    EXPECT_EQ(text(r), "http://a.example/long/page, http://b.example/");
}

TEST_F(RefList, AnEmptyOrForeignCellStartsAfresh) {
    int r = row("/missing");
    hashSetIndexString(table, r, 0, "");
    refListAdd(table, r, "x");
    EXPECT_EQ(text(r), "x");
    hashSetIndexString(table, r, 0, "written, elsewhere");
    EXPECT_EQ(refListAdd(table, r, "elsewhere"), 0);
    EXPECT_EQ(refListAdd(table, r, "y"), 1);
    EXPECT_EQ(text(r), "written, elsewhere, y");

    std::string longText(5000, 'q');
    hashSetIndexString(table, r, 0, (longText + ", tail").c_str());
    EXPECT_EQ(refListAdd(table, r, "qq, ta"), 0);
    EXPECT_EQ(refListAdd(table, r, "new"), 1);
    EXPECT_EQ(text(r), longText + ", tail, new");
    EXPECT_EQ(refListAdd(table, r, "l, ne"), 0);

    for (int i = 0; i < 1000; i++)
        refListAdd(table, r, ("http://r.example/" + std::to_string(i)).c_str());
    hashReset(table);  // a new period
    r = row("/other");
    EXPECT_EQ(text(r), "(none)");
    EXPECT_EQ(refListAdd(table, r, "http://r.example/1"), 1);
    EXPECT_EQ(text(r), "http://r.example/1");
}

// The indexed lists against a plain substring search, with a small alphabet so that
// many candidates occur in the list, past the length where the index takes over.
TEST_F(RefList, LongListsDecideLikeAPlainSearch) {
    std::mt19937 random(7);
    int rows[3] = {row("/a"), row("/b"), row("/c")};
    std::string expected[3];
    for (int i = 0; i < 6000; i++) {
        int which = static_cast<int>(random() % 3);
        std::string referrer;
        int length = 1 + static_cast<int>(random() % 9);
        for (int k = 0; k < length; k++) referrer += "ab, c"[random() % 5];
        bool present =
            !expected[which].empty() && expected[which].find(referrer) != std::string::npos;
        int added = refListAdd(table, rows[which], referrer.c_str());
        ASSERT_EQ(added, present ? 0 : 1) << "referrer '" << referrer << "' at step " << i;
        if (!present) expected[which] += (expected[which].empty() ? "" : ", ") + referrer;
    }
    for (int k = 0; k < 3; k++) EXPECT_EQ(text(rows[k]), expected[k]);
    EXPECT_GT(expected[0].size(), 4096u);
}

TEST(CellAppend, GrowsInPlaceAndMeasuresForeignCells) {
    Hash table;
    hashSetup(table, 2, 0);
    int r = hashFindOrAdd(table, "k");
    GrowingCell state;
    cellAppend(table, r, 1, state, ", ", "one");
    cellAppend(table, r, 1, state, ", ", "two");
    EXPECT_STREQ(table.strings[r][1], "one, two");
    EXPECT_EQ(state.length, 8u);
    EXPECT_GE(state.capacity, 9u);
    hashSetIndexString(table, r, 1, "other");
    cellAppend(table, r, 1, state, "+", "x");
    EXPECT_STREQ(table.strings[r][1], "other+x");
    EXPECT_EQ(table.strings[r][0], nullptr);
    cellAppend(table, r, 5, state, "+", "ignored");  // no such column
    cellAppend(table, 7, 1, state, "+", "ignored");  // no such row
    EXPECT_STREQ(table.strings[r][1], "other+x");
    hashShutdown(table);
}

}  // namespace
