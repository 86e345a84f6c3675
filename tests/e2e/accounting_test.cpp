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
