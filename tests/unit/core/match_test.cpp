// Wildcard patterns: alternatives, stars, "?" and case folding.
#include "core/match.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Match, AlternativesAndStars) {
    EXPECT_TRUE(match("/a/b.gif", "*.gif|*.jpg"));
    EXPECT_TRUE(match("/c.jpg", "*.gif|*.jpg"));
    EXPECT_FALSE(match("/c.jpeg", "*.gif|*.jpg"));
    EXPECT_TRUE(match("y", "*x|y"));
    EXPECT_TRUE(match("/cgi-bin/", "/cgi-bin/*"));
    EXPECT_TRUE(match("", "*"));
    EXPECT_TRUE(match("", ""));
    EXPECT_FALSE(match("x", ""));
    EXPECT_TRUE(match("xbyd", "*b*d"));
    EXPECT_FALSE(match("abdc", "*b*d"));
    EXPECT_TRUE(match("a", "a*"));
    EXPECT_TRUE(match("abcabd", "*abd"));
    EXPECT_FALSE(match("/x/y.html", "/*/*/*.html"));
    std::string longText(20000, 'a');
    EXPECT_FALSE(match(longText.c_str(), "*b*a"));
}

TEST(Match, QuestionMarkAndFolding) {
    EXPECT_TRUE(match("abc", "a?c"));
    EXPECT_FALSE(match("ac", "a?c"));
    EXPECT_FALSE(match("abc", "abc?"));
    EXPECT_FALSE(match("xac", "*a?c"));
    // Before the first star "?" takes a "|" of the text; inside a star segment it does not.
    EXPECT_TRUE(match("a|c", "a?c"));
    EXPECT_FALSE(match("xa|c", "*a?c"));
    EXPECT_TRUE(matchNoCase("/a.gif", "*.GIF"));
    EXPECT_FALSE(match("/a.gif", "*.GIF"));
    EXPECT_TRUE(matchBody("ABC", "a?c", 1));
    EXPECT_FALSE(matchNoCase("\xc4", "\xe4"));
}

}  // namespace
