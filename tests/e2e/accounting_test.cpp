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

// ---- Who is visiting: families of the agents, robots, private addresses ----

// Agents as current browsers, a command-line client, two search robots and a site's own
// monitor send them.
const char *const CHROME =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";
const char *const FIREFOX =
    "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0";
const char *const SAFARI =
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) "
    "Version/18.1 Safari/605.1.15";
const char *const EDGE =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36 Edg/131.0.0.0";
const char *const CURL = "curl/8.11.0";
const char *const GOOGLEBOT =
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)";
const char *const BINGBOT =
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)";
const char *const MONITOR = "SiteMonitor/1.2 (ops@example.org)";
// The monitor is known to no pattern file: the site names it.
const char *const OWN_ROBOTS = "robotagents\nSiteMonitor/*\nend robotagents\n";

std::string visit(const std::string &host, int day, int hour, int minute, const std::string &url,
                  int code, long bytes, const char *agent) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer,
                  "%s - - [%02d/Mar/2024:%02d:%02d:00 +0000] \"GET %s HTTP/1.1\" %d %ld \"-\" "
                  "\"%s\"\n",
                  host.c_str(), day, hour, minute, url.c_str(), code, bytes, agent);
    return buffer;
}

// Six successful requests of people (7,300 bytes) and a 404; ten of robots: Googlebot walks
// the trail of the first person and misses a page, bingbot, and the monitor twice.
std::string visitorsLog() {
    return visit("10.0.0.1", 4, 9, 0, "/a.html", 200, 1000, CHROME) +
           visit("66.249.66.1", 4, 9, 0, "/a.html", 200, 4000, GOOGLEBOT) +
           visit("10.0.0.1", 4, 9, 1, "/b.html", 200, 2000, CHROME) +
           visit("66.249.66.1", 4, 9, 1, "/b.html", 200, 4000, GOOGLEBOT) +
           visit("10.0.0.1", 4, 9, 2, "/c.html", 200, 3000, CHROME) +
           visit("66.249.66.1", 4, 9, 2, "/c.html", 200, 4000, GOOGLEBOT) +
           visit("66.249.66.1", 4, 9, 3, "/gone.html", 404, 0, GOOGLEBOT) +
           visit("10.0.0.2", 4, 10, 0, "/a.html", 200, 500, FIREFOX) +
           visit("10.0.0.5", 4, 12, 0, "/a.html", 200, 100, CURL) +
           visit("40.77.167.1", 4, 13, 0, "/d.html", 200, 50, BINGBOT) +
           visit("10.9.9.9", 4, 14, 0, "/health", 200, 10, MONITOR) +
           visit("10.9.9.9", 4, 14, 5, "/health", 200, 10, MONITOR) +
           visit("10.0.0.3", 5, 11, 0, "/missing.html", 404, 0, SAFARI) +
           visit("10.0.0.4", 5, 11, 0, "/b.html", 200, 700, EDGE);
}

// "key count" of every row of the ranked section whose label ends with title.
std::vector<std::string> sectionRows(const std::string &page, const std::string &title) {
    std::vector<std::string> rows;
    std::size_t at = page.find(title + "</h3>");
    if (at == std::string::npos) return {"no section " + title};
    std::size_t end = page.find("</table>", at);
    const std::string open = "<td>", close = "</td><td align=\"right\">";
    for (at = page.find(open, at); at < end; at = page.find(open, at)) {
        std::size_t keyEnd = page.find(close, at);
        std::size_t countEnd = page.find("</td>", keyEnd + close.size());
        rows.push_back(page.substr(at + open.size(), keyEnd - at - open.size()) + " " +
                       page.substr(keyEnd + close.size(), countEnd - keyEnd - close.size()));
        at = countEnd;
    }
    return rows;
}

using Rows = std::vector<std::string>;

TEST_F(AccountingE2e, FamiliesAndRobotsAreCountedWithPeople) {
    // The families are the same whether the user agents are counted (each agent's row then
    // notes where its families are counted) or not.
    RunResult r = run(std::string("useragents no\nbrowserfamilies yes\nsystemfamilies yes\n"
                                  "robotlist yes\n") +
                          OWN_ROBOTS,
                      visitorsLog());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string withoutAgents = page();
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    r = run(std::string("browserfamilies yes\nsystemfamilies yes\nrobotlist yes\n") + OWN_ROBOTS +
                "totals\n* All\nend totals\n",
            visitorsLog());
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *title : {"Browsers by Access Count", "Operating Systems by Access Count",
                              "Robots by Access Count"})
        EXPECT_EQ(sectionRows(withoutAgents, title), sectionRows(page(), title)) << title;
    EXPECT_EQ(stored(), (std::vector<double>{12, 19370}));  // robots count like people
    std::string p = page();
    EXPECT_EQ(
        sectionRows(p, "Browsers by Access Count"),
        (Rows{"Chrome 3", "Googlebot 3", "Other 2", "Firefox 1", "curl 1", "bingbot 1", "Edge 1"}));
    EXPECT_EQ(sectionRows(p, "Operating Systems by Access Count"),
              (Rows{"Other 7", "Windows 4", "Linux 1"}));
    EXPECT_EQ(sectionRows(p, "Robots by Access Count"),
              (Rows{"Googlebot 3", "SiteMonitor 2", "bingbot 1"}));
    EXPECT_EQ(p.find("Robot accesses"), std::string::npos);
    for (const char *chart : {"b", "o", "k"})
        EXPECT_TRUE(
            fileExists(reports + "/" + std::to_string(dayNumber(3, 3, 2024)) + chart + ".gif"))
            << chart;
}

TEST_F(AccountingE2e, RobotsApartLeaveEveryOtherFigureToPeople) {
    RunResult r = run(std::string("robots apart\nsites yes\nnotfound yes\nbrowserfamilies yes\n"
                                  "systemfamilies yes\nrobotlist yes\n") +
                          OWN_ROBOTS + "totals\n* All\nend totals\n",
                      visitorsLog());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{6, 7300}));
    std::string p = page();
    auto cell = [](const std::string &first, const std::string &value) {
        return first + "</td><td align=\"right\">" + value + "</td>";
    };
    // Overall statistics: four people's sites, three documents, one trail (10.0.0.1's
    // /a.html, /b.html, /c.html; Googlebot's walk of it is not a visit), four visits.
    for (const auto &[label, value] : {std::pair{"Unique sites served", "4"},
                                       {"Unique documents served", "3"},
                                       {"Unique trails followed", "1"},
                                       {"Total visits", "4"},
                                       {"Robot accesses (counted apart)", "6"}})
        EXPECT_NE(p.find(cell(label, value)), std::string::npos) << label;
    EXPECT_NE(p.find(cell("/a.html, /b.html, /c.html", "1")), std::string::npos);
    // A week's hours are averages: 3 / 7 at nine, 1 / 7 at ten, eleven and twelve.
    for (const auto &[hour, value] : {std::pair{"09:00", "0.43"},
                                      {"10:00", "0.14"},
                                      {"11:00", "0.14"},
                                      {"12:00", "0.14"},
                                      {"13:00", "0.00"},
                                      {"14:00", "0.00"}})
        EXPECT_NE(p.find(cell(hour, value)), std::string::npos) << hour;
    EXPECT_NE(p.find(cell("03/04/24", "5")), std::string::npos);
    EXPECT_NE(p.find(cell("03/05/24", "1")), std::string::npos);
    EXPECT_NE(p.find(cell("/a.html</a>", "3")), std::string::npos);
    EXPECT_NE(p.find(cell("/b.html</a>", "2")), std::string::npos);
    EXPECT_EQ(p.find("/d.html"), std::string::npos);
    EXPECT_EQ(p.find("/health"), std::string::npos);
    EXPECT_EQ(sectionRows(p, "Sites by Access Count"),
              (Rows{"10.0.0.1 3", "10.0.0.2 1", "10.0.0.5 1", "10.0.0.4 1"}));
    EXPECT_NE(p.find(cell("200</td><td>OK", "6")), std::string::npos);
    EXPECT_NE(p.find(cell("404</td><td>Not Found", "1")), std::string::npos);
    EXPECT_NE(p.find("/missing.html"), std::string::npos);
    EXPECT_EQ(p.find("/gone.html"), std::string::npos);
    EXPECT_EQ(sectionRows(p, "user agents by Access Count"),
              (Rows{std::string(CHROME) + " 3", std::string(FIREFOX) + " 1",
                    std::string(CURL) + " 1", std::string(EDGE) + " 1"}));
    EXPECT_EQ(sectionRows(p, "Browsers by Access Count"),
              (Rows{"Chrome 3", "Firefox 1", "curl 1", "Edge 1"}));
    EXPECT_EQ(sectionRows(p, "Operating Systems by Access Count"),
              (Rows{"Windows 4", "Linux 1", "Other 1"}));
    EXPECT_EQ(sectionRows(p, "Robots by Access Count"),
              (Rows{"Googlebot 3", "SiteMonitor 2", "bingbot 1"}));
    // The sections stand in the order the configuration names them.
    EXPECT_LT(p.find("Browsers by"), p.find("Operating Systems by"));
    EXPECT_LT(p.find("Operating Systems by"), p.find("Robots by"));
    EXPECT_LT(p.find("Sites by"), p.find("Browsers by"));
}

// Each day's families are counted afresh: the second day meets the same agents in another
// order, with the robot first.
TEST_F(AccountingE2e, FamiliesOfTheSameAgentsAreCountedAgainEachDay) {
    writeFile(log, visit("10.0.0.1", 4, 9, 0, "/a.html", 200, 10, CHROME) +
                       visit("10.0.0.2", 4, 9, 1, "/a.html", 200, 20, FIREFOX) +
                       visit("66.249.66.1", 5, 8, 0, "/a.html", 200, 40, GOOGLEBOT) +
                       visit("10.0.0.2", 5, 9, 0, "/a.html", 200, 20, FIREFOX) +
                       visit("10.0.0.1", 5, 9, 1, "/b.html", 200, 10, CHROME) +
                       visit("10.0.0.1", 5, 9, 2, "/c.html", 200, 10, CHROME));
    std::string config = dir.file("q.conf");
    writeFile(config, minimalConfig(reports, "logfile " + log +
                                                 "\nfrequency daily\nrobots apart\n"
                                                 "browserfamilies yes\nsystemfamilies yes\n"
                                                 "robotlist yes\n"));
    RunResult r = runQuorvel({"-c", config, "-b", "03/04/2024", "-e", "03/05/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string day = readFile(reports + "/" + std::to_string(dayNumber(3, 5, 2024)) + ".html");
    EXPECT_EQ(sectionRows(day, "Browsers by Access Count"), (Rows{"Chrome 2", "Firefox 1"}));
    EXPECT_EQ(sectionRows(day, "Operating Systems by Access Count"),
              (Rows{"Windows 2", "Linux 1"}));
    EXPECT_EQ(sectionRows(day, "Robots by Access Count"), (Rows{"Googlebot 1"}));
}

// A run that meets hundreds of distinct agents changes its way of matching the patterns on
// the way; every agent, before and after, is classified alike: three hundred versions of
// Chrome on Windows, three hundred of Googlebot.
TEST_F(AccountingE2e, ManyDistinctAgentsAreClassifiedAlike) {
    std::string text;
    for (int i = 0; i < 300; i++) {
        std::string n = std::to_string(i);
        text +=
            visit("10.0.1." + std::to_string(i % 250), 4, 9 + i / 60, i % 60, "/a.html", 200, 10,
                  ("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
                   "Gecko) Chrome/1" +
                   n + ".0.0.0 Safari/537.36")
                      .c_str());
        text += visit(
            "66.249.66.1", 4, 9 + i / 60, i % 60, "/a.html", 200, 10,
            ("Mozilla/5.0 (compatible; Googlebot/2." + n + "; +http://www.google.com/bot.html)")
                .c_str());
    }
    RunResult r =
        run("robots apart\nbrowserfamilies yes\nsystemfamilies yes\nrobotlist yes\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page();
    EXPECT_EQ(sectionRows(p, "Browsers by Access Count"), Rows{"Chrome 300"});
    EXPECT_EQ(sectionRows(p, "Operating Systems by Access Count"), Rows{"Windows 300"});
    EXPECT_EQ(sectionRows(p, "Robots by Access Count"), Rows{"Googlebot 300"});
}

TEST_F(AccountingE2e, RobotsIgnoredAreDroppedLikeIgnoredSites) {
    RunResult r = run(
        std::string("robots ignore\nrobotlist yes\n") + OWN_ROBOTS + "totals\n* All\nend totals\n",
        visitorsLog());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(stored(), (std::vector<double>{6, 7300}));
    std::string p = page();
    EXPECT_NE(p.find("404</td><td>Not Found</td><td align=\"right\">1</td>"), std::string::npos);
    EXPECT_EQ(sectionRows(p, "Top 0 of 0 Robots by Access Count"), Rows{});
    EXPECT_EQ(p.find("Robot accesses"), std::string::npos);
}

TEST_F(AccountingE2e, PatternFileIsReadOnlyWhenNeeded) {
    std::string bad = dir.file("bad.yaml");
    writeFile(bad, "user_agent_parsers: [unclosed\n");
    // Named, but no setting needs it: the run does not read it.
    RunResult r = run("useragentpatterns " + bad + "\n", visitorsLog());
    EXPECT_EQ(r.status, 0) << r.err;
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    r = run("useragentpatterns " + bad + "\nrobots apart\n", visitorsLog());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Configuration file error at line 5:\nThe user-agent pattern file " +
                              bad + " cannot be used: ",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(listFiles(reports), std::vector<std::string>{});
}

TEST_F(AccountingE2e, AnonymizeLeavesNoFullAddress) {
    const std::string caddy =
        R"({"ts":1709557200.5,"logger":"http.log.access.log0","request":{"remote_ip":)"
        R"("203.0.113.45","proto":"HTTP/2.0","method":"GET","uri":"/json.html",)"
        R"("headers":{"User-Agent":["Mozilla/5.0"]}},"size":1000,"status":200})"
        "\n";
    std::string text =
        logLine(3, 4, 2024, 9, "/a.html", 200, 10, "192.0.2.77") +
        logLine(3, 4, 2024, 9, "/b.html", 200, 10, "192.0.2.77") +
        logLine(3, 4, 2024, 9, "/a.html", 200, 10, "2001:db8:85a3:1234:5678:8a2e:370:7334") +
        logLine(3, 4, 2024, 10, "/c.html", 200, 10, "::ffff:198.51.100.23") + caddy;
    RunResult r =
        run("anonymize yes\ndns yes\nsites yes\ndomains yes\nnotfound yes\nexamplevisits all\n"
            "trailminimumsteps 1\ntotals\n* All\nend totals\n",
            text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Note: anonymize is on, so no host names are looked up (dns is ignored).\n");
    std::string p = page();
    EXPECT_EQ(sectionRows(p, "Sites by Access Count"),
              (Rows{"192.0.2.0 2", "2001:db8:85a3:: 1", "::ffff:198.51.100.0 1", "203.0.113.0 1"}));
    EXPECT_NE(p.find("<td>192.0.2.0</td>"), std::string::npos);  // an example visit
    for (const std::string &name : listFiles(reports)) {
        std::string content = readFile(reports + "/" + name);
        for (const char *address : {"192.0.2.77", "2001:db8:85a3:1234:5678:8a2e:370:7334",
                                    "8a2e:370:7334", "198.51.100.23", "203.0.113.45"})
            EXPECT_EQ(content.find(address), std::string::npos) << address << " in " << name;
    }
}

// Caddy, Traefik (gzipped) and nginx JSON access logs of one directory, in summary mode.
TEST(JsonLogsE2e, CaddyTraefikAndNginxAreCountedAlike) {
    TempDir dir;
    std::string logs = dir.file("logs"), reports = dir.file("reports");
    std::filesystem::create_directories(logs);
    std::filesystem::create_directory(reports);
    auto caddy = [](double ts, const std::string &ip, const std::string &uri,
                    const std::string &headers, int size, int status) {
        return R"({"level":"info","ts":)" + std::to_string(ts) +
               R"(,"logger":"http.log.access.log0","msg":"handled request","request":)"
               R"({"remote_ip":")" +
               ip +
               R"(","proto":"HTTP/2.0","method":"GET","host":)"
               R"("example.com","uri":")" +
               uri + R"(","headers":{)" + headers + R"(}},"duration":0.001,"size":)" +
               std::to_string(size) + R"(,"status":)" + std::to_string(status) + "}\n";
    };
    const std::string ua = R"("User-Agent":["Caddy-UA/1.0"])";
    writeFile(logs + "/caddy.log",
              caddy(1709557200.5, "10.0.0.1", "/index.html", ua + R"(,"Referer":["http://r.ex/a"])",
                    1000, 200) +
                  R"({"level":"info","ts":1709557260.1,"logger":"tls","msg":"renewed"})"
                  "\n"
                  R"({"level":"error","ts":1709557270.1,"logger":"http.log.error","msg":"dial",)"
                  R"("request":{"remote_ip":"10.0.0.1","method":"GET","uri":"/error.html"}})"
                  "\n" +
                  caddy(1709557320.75, "10.0.0.2", "/b.html?x=1", ua, 500, 200) +
                  caddy(1709557380, "10.0.0.1", "/missing.html", ua, 0, 404));
    writeFile(logs + "/traefik.log",
              R"({"ClientHost":"10.0.0.3","DownstreamContentSize":2000,"DownstreamStatus":200,)"
              R"("RequestMethod":"GET","RequestPath":"/index.html","RequestProtocol":"HTTP/1.1",)"
              R"("StartUTC":"2024-03-04T13:05:00.123456789Z","request_Referer":"-",)"
              R"("request_User-Agent":"Traefik-UA/2.0","level":"info"})"
              "\n"
              R"({"ClientHost":"10.0.0.3","DownstreamContentSize":0,"DownstreamStatus":304,)"
              R"("RequestMethod":"GET","RequestPath":"/c.html","RequestProtocol":"HTTP/1.1",)"
              R"("StartUTC":"2024-03-04T13:06:00Z","request_User-Agent":"Traefik-UA/2.0"})"
              "\n");
    ASSERT_EQ(std::system(("gzip -n -f " + logs + "/traefik.log").c_str()), 0);
    writeFile(logs + "/nginx.log",
              R"({"time_local":"04/Mar/2024:13:10:00 +0000","remote_addr":"10.0.0.4",)"
              R"("request":"GET /index.html HTTP/1.1","status":"200","body_bytes_sent":"3000",)"
              R"("http_referer":"http://r.ex/a","http_user_agent":"Nginx-UA/3.0"})"
              "\n"
              R"({"time_iso8601":"2024-03-04T13:11:00+00:00","remote_addr":"10.0.0.4",)"
              R"("request_method":"GET","request_uri":"/b.html","status":"200",)"
              R"("body_bytes_sent":"400","http_referer":"","http_user_agent":"Nginx-UA/3.0"})"
              "\n");
    std::string config = dir.file("q.conf");
    writeFile(config, minimalConfig(reports, "logfile " + logs + "\nreferers yes\n"));
    RunResult r = runQuorvel({"-c", config, "-s"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = readFile(reports + "/summary.html");
    auto row = [](const std::string &first, const std::string &count, const std::string &bytes) {
        return first + "</td><td align=\"right\">" + count + "</td><td align=\"right\">" + bytes +
               "</td>";
    };
    EXPECT_NE(p.find(row("13:00", "6", "6,900")), std::string::npos) << p;
    EXPECT_NE(p.find(row("/index.html</a>", "3", "6,000")), std::string::npos);
    EXPECT_NE(p.find(row("/b.html</a>", "2", "900")), std::string::npos);
    EXPECT_NE(p.find(row("http://r.ex/a</a>", "2", "4,000")), std::string::npos);
    EXPECT_NE(p.find(row("Caddy-UA/1.0", "2", "1,500")), std::string::npos);
    EXPECT_NE(p.find(row("Traefik-UA/2.0", "2", "2,000")), std::string::npos);
    EXPECT_NE(p.find(row("Nginx-UA/3.0", "2", "3,400")), std::string::npos);
    for (const char *code : {"200</td><td>OK", "304</td><td>Not Modified", "404</td><td>Not Found"})
        EXPECT_NE(p.find(code + std::string("</td><td align=\"right\">") +
                         (code[0] == '2' ? "5" : "1") + "<"),
                  std::string::npos)
            << code;
    EXPECT_EQ(p.find("/error.html"), std::string::npos);
}

}  // namespace
