// Trimming and lower-casing in place.
#include "console/strhack.h"

#include <gtest/gtest.h>

namespace {

TEST(Strhack, StripSpaceAndConvertLower) {
    char text[] = "  a b \n";
    char *cursor = text;
    stripSpace(&cursor);
    EXPECT_STREQ(cursor, "a b");
    char blank[] = " \t\r\n\v\f";
    cursor = blank;
    stripSpace(&cursor);
    EXPECT_EQ(cursor, nullptr);
    stripSpace(&cursor);
    EXPECT_EQ(cursor, nullptr);

    char mixed[] = "AbC-Z@[\xc4]";
    convertLower(mixed);
    EXPECT_STREQ(mixed, "abc-z@[\xc4]");
}

}  // namespace
