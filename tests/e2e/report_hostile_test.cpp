// Log lines written by an attacker: nothing of them may become markup or a script link
// on any page the analyser writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "report_util.h"

namespace {

std::string line(const std::string &host, const std::string &user, const std::string &request,
                 int code, const std::string &referer, const std::string &agent) {
    return host + " - " + user + " [06/Oct/1997:10:00:00 +0000] \"" + request + "\" " +
           std::to_string(code) + " 100 \"" + referer + "\" \"" + agent + "\"\n";
}

std::string hostileLog() {
    std::string log;
    const char *agents[] = {"<script>alert(1)</script>", "Mozilla \"quoted\" & 'single'",
                            "x\"><img src=x onerror=alert(2)>"};
    const char *referers[] = {"javascript:alert(3)",
                              "JaVaScRiPt:alert(4)",
                              "data:text/html,<script>alert(5)</script>",
                              "http://evil.example/'><img src=x onerror=alert(6)>",
                              "http://ok.example/?a=1&b=2",
                              " javascript:alert(7)",
                              "vbscript:msgbox(8)"};
    const char *urls[] = {"/<script>alert(9)</script>", "/a'><img/src=x/onerror=alert(10)>",
                          "/q&amp;<b>", "javascript:alert(11)",
                          "/%3Cscript%3Ealert(12)%3C/script%3E"};
    const char *users[] = {"<b>mallory</b>", "-", "a&b'c"};
    const char *hosts[] = {"10.0.0.1", "<svg/onload=alert(13)>", "evil'host\"name.example"};
    int k = 0;
    for (const char *url : urls)
        for (const char *referer : referers) {
            log += line(hosts[k % 3], users[k % 3], std::string("GET ") + url + " HTTP/1.0", 200,
                        referer, agents[k % 3]);
            k++;
        }
    for (const char *referer : referers)
        log += line("10.0.0.9", "-", "GET /missing<script>alert(14)</script> HTTP/1.0", 404,
                    referer, "A");
    return log;
}

const char *const HOSTILE_CONFIG =
    "sites yes\nauthusers yes\nproxysites yes\ndomains yes\nproxydomains yes\nnotfound "
    "yes\nkeepqueries yes\n"
    "trailminimumsteps 1\ntop all\ntopsites all\ntopauthusers all\ntopreferers all\ntopuseragents "
    "all\n"
    "topnotfound all\ntoptrails all\nexamplevisits all\n";

void expectCleanPages(const TempDir &dir) {
    int pages = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path)) {
        std::string name = entry.path().filename().string();
        if (name.size() < 5 || name.substr(name.size() - 5) != ".html") continue;
        pages++;
        std::string page = readFile(entry.path().string());
        EXPECT_EQ(markupProblem(page), "") << name;
    }
    EXPECT_GT(pages, 0);
}

TEST(ReportHostile, MarkupCheckerFindsInjections) {
    EXPECT_EQ(
        markupProblem(
            "<html><td align=\"right\">&lt;script&gt;</td><a href=\"/x?a=1&amp;b\">x</a></html>"),
        "");
    EXPECT_NE(markupProblem("<td><script>alert(1)</script></td>"), "");
    EXPECT_NE(markupProblem("<td><img src=x onerror=alert(1)></td>"), "");
    EXPECT_NE(markupProblem("<a href=\"JavaScript:alert(1)\">x</a>"), "");
    EXPECT_NE(markupProblem("<a href=\"x\" onmouseover=\"y\">x</a>"), "");
    EXPECT_NE(markupProblem("<a href=\"x\"><svg/onload=alert(1)>"), "");
}

TEST(ReportHostile, PeriodPagesHoldNoMarkupFromTheLog) {
    TempDir dir;
    RunResult run =
        analyse(dir, HOSTILE_CONFIG, hostileLog(), {"-b", "10/05/97", "-e", "10/11/97"});
    ASSERT_EQ(run.status, 0) << run.err;
    expectCleanPages(dir);
    std::string page = pageOf(dir, dayNumber(10, 5, 1997));
    // The texts are shown, escaped.
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;mallory&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;svg/onload=alert(13)&gt;"), std::string::npos);
    EXPECT_NE(page.find("<td>javascript:alert(3)</td>"), std::string::npos);
    EXPECT_NE(
        page.find("<a href=\"http://ok.example/?a=1&amp;b=2\">http://ok.example/?a=1&amp;b=2</a>"),
        std::string::npos);
    EXPECT_NE(page.find("&amp; &#39;single&#39;"), std::string::npos);
}

TEST(ReportHostile, SummaryPagesHoldNoMarkupFromTheLog) {
    TempDir dir;
    ASSERT_EQ(analyse(dir, HOSTILE_CONFIG, hostileLog(), {"-s"}).status, 0);
    expectCleanPages(dir);

    TempDir referers;
    std::string refererLog =
        "javascript:alert(1)/x -> /a.html\n"
        "http://evil.example/%3Cscript%3Ealert(2)%3C/script%3E -> "
        "/%22%3E%3Cimg%20src=x%20onerror=alert(3)%3E\n"
        "Http: //x.example/'\"><b>bold</b> -> /b.html\n";
    ASSERT_EQ(analyse(referers, "", refererLog, {"-r"}).status, 0);
    ASSERT_TRUE(fileExists(referers.file("referrers.html")));
    expectCleanPages(referers);

    TempDir agents;
    ASSERT_EQ(
        analyse(agents, "",
                "<script>alert(1)</script>\nMozilla/4.0 \"><img src=x onerror=alert(2)>\n", {"-u"})
            .status,
        0);
    ASSERT_TRUE(fileExists(agents.file("agents.html")));
    expectCleanPages(agents);
    EXPECT_NE(readFile(agents.file("agents.html")).find("&lt;script&gt;alert(1)&lt;/script&gt;"),
              std::string::npos);
}

TEST(ReportHostile, HistoryIndexHoldsNoMarkupFromTheLog) {
    TempDir dir;
    ASSERT_EQ(analyse(dir, HOSTILE_CONFIG + std::string("frequency daily\n"), hostileLog(),
                      {"-b", "10/05/97", "-e", "10/07/97"})
                  .status,
              0);
    ASSERT_TRUE(fileExists(dir.file("index.html")));
    expectCleanPages(dir);
}

}  // namespace
