// Thousands separators.
#include "core/commas.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string commas(double value) {
    char out[32];
    commasFormat(out, value);
    return out;
}

TEST(Commas, Groups) {
    EXPECT_EQ(commas(0), "0");
    EXPECT_EQ(commas(999), "999");
    EXPECT_EQ(commas(1000), "1,000");
    EXPECT_EQ(commas(1234567), "1,234,567");
    EXPECT_EQ(commas(999999.6), "1,000,000");
    EXPECT_EQ(commas(-1234), "-1,234");
    EXPECT_EQ(commas(-123456), "-123,456");
    EXPECT_EQ(commas(-0.2), "0");
    EXPECT_EQ(commas(-9.99e22).size(), 31u);  // the widest value that fits its buffer
    EXPECT_EQ(commas(1e300), "1e+300");

    char *text = nullptr;
    size_t size = 0;
    FILE *file = open_memstream(&text, &size);
    Commas(file, 1234567.0);
    std::fclose(file);
    EXPECT_STREQ(text, "1,234,567");
    std::free(text);
}

}  // namespace
