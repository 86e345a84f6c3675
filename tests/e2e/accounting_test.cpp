// What a run counts: document and site rules, suffixes, failed requests, result codes,
// hidden documents and the per-day counts, seen through the history and the pages.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

class AccountingE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
    }
    // One weekly run over the week of Sunday 03/03/2024, which holds 03/04/2024.
    RunResult run(const std::string &extra, const std::string &logText,
                  const std::string &frequency = "weekly") {
        writeFile(log, logText);
        std::string config = dir.file("q.conf");
        writeFile(config, minimalConfig(reports, "logfile " + log + "\nfrequency " + frequency +
                                                     "\n" + extra));
        return runQuorvel({"-c", config, "-b", "03/04/2024", "-e", "03/04/2024"});
    }
    // Accesses and bytes of each totals column of the only stored period.
    std::vector<double> stored() const {
        std::string h = readFile(reports + "/database.dat");
        std::size_t line = h.find('\n');
        std::vector<double> values;
        if (line == std::string::npos) return values;
        std::string row = h.substr(line + 1);
        std::size_t tab = row.find('\t', row.find('\t') + 1);
        while (tab != std::string::npos) {
            values.push_back(std::strtod(row.c_str() + tab + 1, nullptr));
            tab = row.find('\t', tab + 1);
        }
        return values;
    }
    std::string page() const {
        return readFile(reports + "/" + std::to_string(dayNumber(3, 3, 2024)) + ".html");
    }
    TempDir dir;
    std::string reports, log;
};

TEST_F(AccountingE2e, DocumentAndSiteRules) {
    std::string text = logLine(3, 4, 2024, 9, "/a.html", 200, 10) +
                       logLine(3, 4, 2024, 9, "/private/b.html", 200, 20) +
                       logLine(3, 4, 2024, 9, "/c.gif", 200, 40) +
                       logLine(3, 4, 2024, 9, "/d.html", 200, 80, "10.0.0.9") +
                       logLine(3, 4, 2024, 9, "/e.html", 200, 160, "192.168.0.1");
    RunResult r =
        run("allow\n*.html\nend allow\nignore\n/private*\nend ignore\n"
            "allowsites\n10.*\nend allowsites\nignoresites\n10.0.0.9\nend ignoresites\n"
            "totals\n* All\nend totals\n",
            text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{1, 10}));  // only /a.html passes every rule
}

TEST_F(AccountingE2e, SuffixesAreRemoved) {
    std::string text = logLine(3, 4, 2024, 9, "/docs/index.html") +
                       logLine(3, 4, 2024, 9, "/docs/") + logLine(3, 4, 2024, 9, "/index.html");
    RunResult r =
        run("suffixes\nindex.html\nend suffixes\ntotals\n/docs/ Docs\n/ Root\nend totals\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{2, 200, 1, 100}));
}

TEST_F(AccountingE2e, FailedRequestsAndCodes) {
    std::string text =
        logLine(3, 4, 2024, 9, "/gone.html", 404, 5, "10.0.0.1", "http://ref.example/from") +
        logLine(3, 4, 2024, 9, "/secret.html", 403, 5) +
        logLine(3, 4, 2024, 9, "/odd.html", 1000, 5) + logLine(3, 4, 2024, 9, "/ok.html", 200, 5);
    RunResult r = run("notfound yes\ntotals\n* All\nend totals\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{1, 5}));
    std::string p = page();
    EXPECT_NE(p.find("/gone.html"), std::string::npos);
    EXPECT_NE(p.find("http://ref.example/from"), std::string::npos);
    EXPECT_EQ(p.find("/secret.html"), std::string::npos);  // a 403 is no missing document
    EXPECT_EQ(p.find("/odd.html"), std::string::npos);

    r = run("totals\n* All\nend totals\n", text);  // notfound off
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(page().find("/gone.html"), std::string::npos);
}

TEST_F(AccountingE2e, HiddenDocumentsCountButAreNotListed) {
    std::string text =
        logLine(3, 4, 2024, 9, "/logo.gif", 200, 7) + logLine(3, 4, 2024, 9, "/page.html", 200, 9);
    RunResult r = run("hide\n*.gif\nend hide\ntotals\n*.gif Images\nend totals\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{1, 7}));
    std::string p = page();
    EXPECT_NE(p.find("/page.html"), std::string::npos);
    EXPECT_EQ(p.find("/logo.gif"), std::string::npos);
}

TEST_F(AccountingE2e, EmptyUserAndProxyHostAreNotCounted) {
    // IIS entries carry no proxy host, and this one no user name either.
    std::string line =
        "10.0.0.1, , 3/4/24, 09:55:36, W3SVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, /a.htm, "
        "-,\n";
    RunResult r = run("proxysites yes\nauthusers yes\n", line + line);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page();
    EXPECT_NE(p.find("Unique proxy sites visited</td><td align=\"right\">0<"), std::string::npos)
        << p;
    EXPECT_EQ(p.find("<td></td>"), std::string::npos) << p;  // no row without a name
}

TEST_F(AccountingE2e, DayCountsForWeeklyAndMonthlyPeriods) {
    std::string text = logLine(3, 5, 2024, 9, "/a.html") + logLine(3, 5, 2024, 10, "/a.html") +
                       logLine(3, 6, 2024, 9, "/a.html");
    RunResult r = run("", text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page();
    EXPECT_NE(p.find("03/05/24</td><td align=\"right\">2</td>"), std::string::npos) << p;
    EXPECT_NE(p.find("03/06/24</td><td align=\"right\">1</td>"), std::string::npos);

    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    r = run("", text, "monthly");
    ASSERT_EQ(r.status, 0) << r.err;
    p = readFile(reports + "/" + std::to_string(dayNumber(3, 1, 2024)) + ".html");
    EXPECT_NE(p.find("03/05/24</td><td align=\"right\">2</td>"), std::string::npos) << p;
    EXPECT_NE(p.find("03/31/24</td><td align=\"right\">0</td>"), std::string::npos);
}

}  // namespace
