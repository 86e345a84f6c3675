// Visits, trails, host names and domains as a real run writes them onto the period page.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

// One combined-format line of March 2024 at hh:mm.
std::string at(const std::string &host, int day, int hour, int minute, const std::string &url,
               const std::string &referer = "-", int code = 200) {
    char buffer[1024];
    std::snprintf(
        buffer, sizeof buffer,
        "%s - - [%02d/Mar/2024:%02d:%02d:00 +0000] \"GET %s HTTP/1.0\" %d 100 \"%s\" \"Agent\"\n",
        host.c_str(), day, hour, minute, url.c_str(), code, referer.c_str());
    return buffer;
}

class TrailsDns : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
    }
    // A daily run over 4 and 5 March 2024 into an empty report directory.
    RunResult run(const std::string &extra, const std::string &logText) {
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        writeFile(log, logText);
        std::string config = dir.file("q.conf");
        writeFile(config, "reportdir " + reports + "\nmydomain local\nlogfile " + log +
                              "\nfrequency daily\n" + extra);
        return runQuorvel({"-c", config, "-b", "03/04/2024", "-e", "03/05/2024"});
    }
    std::string page(int day) const {
        return readFile(reports + "/" + std::to_string(dayNumber(3, day, 2024)) + ".html");
    }
    // The text of the page section that begins with heading, up to its table's end.
    static std::string section(const std::string &page, const std::string &heading) {
        std::size_t from = page.find(heading);
        if (from == std::string::npos) return "";
        std::size_t to = page.find("</table>", from);
        return page.substr(from, to == std::string::npos ? std::string::npos : to - from);
    }
    TempDir dir;
    std::string reports, log;
};

TEST_F(TrailsDns, TrailsAndVisits) {
    std::string text = at("10.0.0.1", 4, 10, 0, "/a") + at("10.0.0.1", 4, 10, 2, "/b") +
                       at("10.0.0.2", 4, 10, 3, "/a") + at("10.0.0.1", 4, 10, 4, "/c") +
                       at("10.0.0.2", 4, 10, 5, "/a") + at("10.0.0.2", 4, 10, 7, "/b") +
                       at("10.0.0.2", 4, 10, 12, "/c") +  // a pause of exactly 5 minutes
                       at("10.0.0.3", 4, 10, 0, "/a") + at("10.0.0.3", 4, 10, 6, "/b") +
                       at("10.0.0.4", 4, 11, 0, "/<b>", "http://from.example/a&b") +
                       at("10.0.0.4", 4, 11, 1, "/x") + at("10.0.0.5", 4, 23, 58, "/late") +
                       at("10.0.0.5", 5, 0, 1, "/early");
    RunResult r = run("trails yes\nvisits yes\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page(4);
    std::string trails = section(p, "Document Trails");
    EXPECT_NE(
        trails.find("<td>/a, /b, /c</td><td align=\"right\">2</td><td align=\"right\">6.50</td>"),
        std::string::npos)
        << trails;
    // The referrer is the first step; everything from the log is escaped.
    EXPECT_NE(trails.find("<td>http://from.example/a&amp;b, /&lt;b&gt;, /x</td>"),
              std::string::npos)
        << trails;
    EXPECT_EQ(p.find("/<b>"), std::string::npos);
    // Visits: two on /a, /b, /c (4 and 9 minutes), 10.0.0.3 twice, 10.0.0.4 once (1 minute),
    // and the visit open at midnight closed with its day.
    EXPECT_NE(
        p.find("Total visits: 6<br>Average visit: 2.33 minutes<br>Longest visit: 9 minutes<br>"),
        std::string::npos)
        << p;
    std::string visits = section(p, "Example Visits");
    EXPECT_NE(
        visits.find("<tr><td>10.0.0.2</td><td align=\"right\">9</td><td>/a, /b, /c</td></tr>"),
        std::string::npos)
        << visits;
    EXPECT_EQ(page(5).find("/late"), std::string::npos);
    EXPECT_NE(page(5).find("Total visits: 1<br>"), std::string::npos);
}

TEST_F(TrailsDns, SettingsOfTrailsAndVisits) {
    std::string text = at("10.0.0.1", 4, 10, 0, "/a", "http://from.example/") +
                       at("10.0.0.1", 4, 10, 1, "/b") + at("10.0.0.2", 4, 10, 0, "/z");
    RunResult r =
        run("trails yes\nvisits yes\nreferersinvisits no\ntrailminimumsteps 1\n"
            "trailtimeout 0\ntoptrails all\nexamplevisits 1\n",
            text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page(4);
    EXPECT_NE(p.find("<h3>Document Trails</h3>"), std::string::npos);
    EXPECT_EQ(p.find("from.example/, "), std::string::npos);
    EXPECT_NE(p.find("<td>/a</td>"), std::string::npos);  // timeout 0: a new visit each minute
    EXPECT_NE(p.find("<td>/z</td>"), std::string::npos);
    EXPECT_NE(p.find("<h4>1 Example Visits</h4>"), std::string::npos);

    r = run("trails no\nvisits no\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(page(4).find("Trails"), std::string::npos);
    EXPECT_EQ(page(4).find("Visits Report"), std::string::npos);
}

TEST_F(TrailsDns, Domains) {
    std::string text = at("printer", 4, 9, 0, "/") + at("www.example.de", 4, 9, 0, "/") +
                       at("mail.example.fr", 4, 9, 0, "/") + at("a.b.example.org", 4, 9, 0, "/") +
                       at("www.example.co.uk", 4, 9, 0, "/") + at("10.1.0.5", 4, 9, 0, "/") +
                       at("192.0.2.9", 4, 9, 0, "/") + at("2001:db8::1", 4, 9, 0, "/") +
                       at("2001:db8:1::7", 4, 9, 0, "/") + at("fe80::1%eth0", 4, 9, 0, "/") +
                       at("::ffff:10.0.0.1", 4, 9, 0, "/");
    RunResult r =
        run("domains yes\ntopdomains all\nsubdomainsof example.org\n"
            "subdomains\nco.uk\nexample.co.uk\nend subdomains\n"
            "fakedns\n10.1.* corp\n2001:db8:1:* six.example\nend fakedns\n"
            "domaingroups\nintranet corp\neurope de fr\nnowhere zz\nend domaingroups\n",
            text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string domains = section(page(4), "Domains");
    auto row = [&](const std::string &key, int accesses) {
        return domains.find("<td>" + key + "</td><td align=\"right\">" + std::to_string(accesses) +
                            "</td>") != std::string::npos;
    };
    EXPECT_TRUE(row("Unknown", 4)) << domains;  // 192.0.2.9 and three IPv6 hosts
    EXPECT_TRUE(row("europe", 2)) << domains;
    EXPECT_TRUE(row("intranet", 1)) << domains;
    EXPECT_TRUE(row("nowhere", 0)) << domains;
    EXPECT_TRUE(row("local", 1)) << domains;
    EXPECT_TRUE(row("b.example.org", 1)) << domains;
    EXPECT_TRUE(row("co.uk", 1)) << domains;
    EXPECT_TRUE(row("six.example", 1)) << domains;
    EXPECT_EQ(domains.find("eth0"), std::string::npos);
    EXPECT_EQ(domains.find("<td>1</td>"), std::string::npos);
}

// The name /etc/hosts gives 127.0.0.1, lower-cased, or "" when it lists none.
std::string localName() {
    std::istringstream hosts(readFile("/etc/hosts"));
    std::string line;
    while (std::getline(hosts, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string address, name;
        if (words >> address >> name && address == "127.0.0.1") {
            for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return name;
        }
    }
    return "";
}

TEST_F(TrailsDns, DnsOnNamesTheHostEverywhere) {
    std::string name = localName();
    if (name.empty() || name.find('.') != std::string::npos)
        GTEST_SKIP() << "127.0.0.1 has no plain name in /etc/hosts";
    std::string text = at("127.0.0.1", 4, 9, 0, "/a") + at("127.0.0.1", 4, 9, 1, "/b");
    RunResult r = run("dns on\nsites yes\ndomains yes\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page(4);
    EXPECT_NE(section(p, "Sites").find("<td>" + name + "</td>"), std::string::npos) << p;
    EXPECT_EQ(p.find("127.0.0.1"), std::string::npos);
    EXPECT_NE(section(p, "Domains").find("<td>local</td><td align=\"right\">2</td>"),
              std::string::npos)
        << p;
}

TEST_F(TrailsDns, DnsFastNamesOnlyTheSitesList) {
    std::string name = localName();
    if (name.empty()) GTEST_SKIP() << "/etc/hosts lists no name for 127.0.0.1";
    std::string text = at("127.0.0.1", 4, 9, 0, "/a") + at("127.0.0.1", 4, 9, 1, "/b");
    RunResult r = run("dns fast\nsites yes\ndomains yes\nvisits yes\ntrailminimumsteps 1\n", text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string p = page(4);
    EXPECT_NE(section(p, "Sites").find("<td>" + name + "</td>"), std::string::npos) << p;
    EXPECT_NE(section(p, "Domains").find("<td>Unknown</td><td align=\"right\">2</td>"),
              std::string::npos)
        << p;
    EXPECT_NE(section(p, "Example Visits").find("<td>127.0.0.1</td>"), std::string::npos) << p;
}

}  // namespace
