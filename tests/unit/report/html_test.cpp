// Escaping of log text, link schemes, resource formats and the owned output files.
#include <sys/stat.h>

#include "report_fixture.h"

namespace {

std::string escaped(const char *text) {
    return ReportTest::capture([&](FILE *f) { htmlEscape(f, text); });
}
std::string escapedUrl(const char *text) {
    return ReportTest::capture([&](FILE *f) { htmlEscapeUrl(f, text); });
}

TEST(HtmlEscape, ElementAndAttributeText) {
    EXPECT_EQ(escaped("plain /a/b.html"), "plain /a/b.html");
    EXPECT_EQ(escaped("<script>alert('x')</script>"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
    EXPECT_EQ(escaped("\"><img src=x onerror=alert(1)>"),
              "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;");
    EXPECT_EQ(escaped("a&b&amp;"), "a&amp;b&amp;amp;");
    EXPECT_EQ(escaped(""), "");
    EXPECT_EQ(escaped(nullptr), "");
    EXPECT_EQ(escaped("caf\xc3\xa9"), "caf\xc3\xa9");
}

// Modern pages declare UTF-8: a byte that begins no valid sequence, or the start of a
// sequence that breaks off, is one U+FFFD each, as a browser decodes them.
TEST(HtmlEscape, ModernPagesReplaceInvalidUtf8) {
    const std::string fffd = "\xef\xbf\xbd";
    pageStyleModern = 1;
    EXPECT_EQ(escaped("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
              "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(escaped("a\xff<b"), "a" + fffd + "&lt;b");     // Latin-1 y-umlaut, then markup
    EXPECT_EQ(escaped("\xe9t\xe9"), fffd + "t" + fffd);      // Latin-1 e-acute
    EXPECT_EQ(escaped("\xe2\x82x"), fffd + "x");             // a three-byte start cut short
    EXPECT_EQ(escaped("end\xe2\x82"), "end" + fffd);         // cut short by the end
    EXPECT_EQ(escaped("\xc0\xaf"), fffd + fffd);             // an overlong "/"
    EXPECT_EQ(escaped("\xed\xa0\x80"), fffd + fffd + fffd);  // a surrogate
    EXPECT_EQ(escaped("\xf4\x90\x80\x80"), fffd + fffd + fffd + fffd);  // past U+10FFFF
    EXPECT_EQ(escaped("\x80\x80"), fffd + fffd);                        // continuation bytes alone
    pageStyleModern = 0;
    EXPECT_EQ(escaped("a\xff"), "a\xff");  // classic pages keep the bytes
}

TEST(HtmlEscape, UrlForHref) {
    EXPECT_EQ(escapedUrl("/docs/a.html?x=1&y=2"), "/docs/a.html?x=1&amp;y=2");
    EXPECT_EQ(escapedUrl("/a\"onmouseover=\"x"), "/a%22onmouseover=%22x");
    EXPECT_EQ(escapedUrl("/a b\t<c>'"), "/a%20b%09%3Cc%3E%27");
    EXPECT_EQ(escapedUrl(" javascript:x"), "%20javascript:x");
    EXPECT_EQ(escapedUrl("/\xc3\xa9\x7f"), "/%C3%A9%7F");
}

TEST(HtmlEscape, LinkableSchemes) {
    EXPECT_TRUE(urlLinkable("http://example.com/", 0));
    EXPECT_TRUE(urlLinkable("HTTPS://example.com/", 0));
    EXPECT_TRUE(urlLinkable("Ftp://example.com/", 0));
    EXPECT_FALSE(urlLinkable("javascript:alert(1)", 0));
    EXPECT_FALSE(urlLinkable("JavaScript:alert(1)", 1));
    EXPECT_FALSE(urlLinkable("data:text/html,<b>", 1));
    EXPECT_FALSE(urlLinkable("httpx://example.com/", 0));
    EXPECT_FALSE(urlLinkable("/local/page.html", 0));
    EXPECT_TRUE(urlLinkable("/local/page.html", 1));
    EXPECT_TRUE(urlLinkable("/a:b", 1));
    EXPECT_TRUE(urlLinkable(" javascript:x", 1));  // encoded, it is a relative path
    EXPECT_FALSE(urlLinkable("", 0));
    EXPECT_FALSE(urlLinkable(nullptr, 1));
}

std::string format(const char *text, int a, int b) {
    return ReportTest::capture([&](FILE *f) { resourceFormat(f, text, "dd", a, b); });
}

TEST(ResourceFormat, ExpectedConversions) {
    EXPECT_EQ(format("<h3>Top %d of %d Documents</h3>", 10, 125),
              "<h3>Top 10 of 125 Documents</h3>");
    EXPECT_EQ(format("%5d|%-3d|", 7, 8), "    7|8  |");
    EXPECT_EQ(format("100%% of %d", 3, 4), "100% of 3");
    EXPECT_EQ(format("no numbers", 1, 2), "no numbers");
    EXPECT_EQ(format("only %d", 1, 2), "only 1");
    std::string mixed = ReportTest::capture([](FILE *f) {
        resourceFormat(f, "Week of %s to %s; %.1f min", "sf", "01/02/97", 2.25, 3.0);
    });
    EXPECT_EQ(mixed, "Week of 01/02/97 to %s; %.1f min");
    std::string visits =
        ReportTest::capture([](FILE *f) { resourceFormat(f, "Total: %.0f<br>", "f", 12.0); });
    EXPECT_EQ(visits, "Total: 12<br>");
    // Flags, widths and precisions as printf applies them; "'" groups thousands with ",".
    EXPECT_EQ(format("%'d|%'07d", 1234567, 1234), "1,234,567|001,234");
    EXPECT_EQ(format("%-'7d|%+'i", 1234, 5678), "1,234  |+5,678");
    std::string filled = ReportTest::capture([](FILE *f) {
        resourceFormat(f, "[%-10s|%.3s|%'12.1f]", "ssf", "10/05/97", "Monday", -98765.25);
    });
    EXPECT_EQ(filled, "[10/05/97  |Mon|   -98,765.2]");
}

TEST(ResourceFormat, ForeignConversionsAreWrittenAsText) {
    // More conversions than arguments, the wrong kind, writes and star widths are never
    // handed to printf.
    EXPECT_EQ(format("%d %d %d", 1, 2), "1 2 %d");
    EXPECT_EQ(format("%s of %d", 1, 2), "%s of 2");
    EXPECT_EQ(format("%n%d", 1, 2), "%n2");
    EXPECT_EQ(format("%*d %d", 1, 2), "%*d 2");
    EXPECT_EQ(format("%ld %d", 1, 2), "%ld 2");
    EXPECT_EQ(format("%#d %d", 1, 2), "%#d 2");
    EXPECT_EQ(format("%99999d", 1, 2), "%99999d");
    EXPECT_EQ(format("trailing %", 1, 2), "trailing %");
    std::string text = ReportTest::capture(
        [](FILE *f) { resourceFormat(f, "%s %s %s", "s", static_cast<const char *>(nullptr)); });
    EXPECT_EQ(text, " %s %s");
}

TEST(ReportFiles, PathAndAtomicWrite) {
    TempDir dir;
    char *path = reportPath("%s/%d%s.gif", dir.path.c_str(), 9876, "t");
    EXPECT_EQ(std::string(path), dir.path + "/9876t.gif");
    OutFile out;
    FILE *file = reportFileOpen(out, path);
    std::fputs("partial", file);
    EXPECT_FALSE(fileExists(path));  // not visible before it is complete
    reportFileClose(out);
    EXPECT_EQ(readFile(path), "partial");
    myfree(path);
}

TEST(ReportFilesDeathTest, UnwritableFileEndsTheRun) {
    TempDir dir;
    std::string path = dir.path + "/missing/index.html";
    OutFile out;
    EXPECT_EXIT(reportFileOpen(out, path.c_str()), ::testing::ExitedWithCode(1),
                "^Can't write to file! Filename: " + dir.path +
                    "/missing/index.html: No such file or directory\n$");
}

TEST(ReportFilesDeathTest, IncompleteFileEndsTheRun) {
    // /dev/full accepts the open but fails every write: the file never reaches its name.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP();
    TempDir dir;
    std::string path = dir.path + "/page.html";
    EXPECT_EXIT(
        {
            OutFile out;
            reportFileOpen(out, path.c_str());
            std::fclose(out.file);
            out.file = std::fopen("/dev/full", "w");
            std::fputs("text that cannot be written", out.file);
            reportFileClose(out);
        },
        ::testing::ExitedWithCode(1),
        "Can't write to file! Filename: " + dir.path + "/page.html: No space left on device\n");
}

}  // namespace
