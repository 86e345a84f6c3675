// A log written by strangers: thousands of lines mixing entries of known shape with
// garbage (binary bytes, NUL bytes, 100 kB lines, TLS handshakes, lone quotes and
// brackets, impossible dates, absurd sizes and result codes, IPv6 hosts, and markup in
// every text field). The run must succeed, count exactly the entries the log holds,
// and write pages in which nothing from the log is markup.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <set>

#include "e2e/report_util.h"

namespace {

// Every entry of the log is dated 15 June 2024, a day long past.
const int DAY = dayNumber(6, 15, 2024);

// What the log holds, tallied while it is written.
struct Expected {
    long successes = 0;               // entries with a result code below 400
    std::map<int, long> codes;        // entries per result code 0..999
    std::map<int, long> hours;        // successful entries per hour
    std::set<std::string> documents;  // distinct documents of successful entries
    std::set<std::string> sites;      // distinct sites of successful entries
    long garbage = 0;                 // lines that must be skipped
};

// A small deterministic generator for the binary lines.
struct Noise {
    std::uint32_t state = 12345;
    unsigned next() {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7fff;
    }
    std::string bytes(std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i) {
            char c = static_cast<char>(next() & 0xff);
            text += c == '\n' ? '\x01' : c;
        }
        return text;
    }
};

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string two(int n) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", n);
    return buffer;
}

struct Document {
    const char *logged;   // as written in the request
    const char *counted;  // the document it is counted as
};

const Document DOCUMENTS[] = {
    {"/index.html", "/index.html"},
    {"/<script>alert(1)</script>.html", "/<script>alert(1)</script>.html"},
    {"/a%3Cscript%3Ealert(2)%3C/script%3E.html", "/a<script>alert(2)</script>.html"},
    {"/'><img/src=x/onerror=alert(3)>", "/'><img/src=x/onerror=alert(3)>"},
    {"/q.cgi?x=<script>alert(4)</script>", "/q.cgi"},
    {"/Case/Path.HTML", "/Case/Path.HTML"},
    {"http://Proxy.Example.COM/<script>/x", "http://proxy.example.com/<script>/x"},
    {"/amp&amp;&lt;script&gt;", "/amp&amp;&lt;script&gt;"},
    {"/pct%", "/pct%"},
};

const char *const HOSTS[] = {"10.0.0.1",           "2001:db8::1",      "::ffff:10.0.0.2",
                             "<script>h</script>", "Host.Example.COM", "192.168.1.7"};
const char *const IDENTS[] = {"-", "<script>i</script>"};
const char *const USERS[] = {"-", "<script>u</script>", "bob&<b>"};
const int CODES[] = {200, 200, 304, 404, 500, 206, 302};
const char *const REFERERS[] = {"-", "http://evil.example/<script>alert(5)</script>",
                                "javascript:alert('<script>')",
                                "http://ok.example/page.html?a=1&b=<b>", "/local/<script>"};
const char *const AGENTS[] = {"<script>alert(6)</script>", "Mozilla/5.0 (<b>bold</b>; x)",
                              "'\"><svg/onload=alert(7)>", "-"};

std::string entryLine(const std::string &host, const std::string &ident, const std::string &user,
                      int hour, int minute, const std::string &url, const std::string &code,
                      const std::string &size, const std::string &referer,
                      const std::string &agent) {
    return host + " " + ident + " " + user + " [15/Jun/2024:" + two(hour) + ":" + two(minute) +
           ":00 +0000] \"GET " + url + " HTTP/1.0\" " + code + " " + size + " \"" + referer +
           "\" \"" + agent + "\"\n";
}

void tally(Expected &e, const std::string &site, int hour, const std::string &document, long code) {
    if (code >= 0 && code < 1000) e.codes[static_cast<int>(code)]++;
    if (code >= 400) return;
    e.successes++;
    e.hours[hour]++;
    e.documents.insert(document);
    e.sites.insert(site);
}

// Lines that no parser may accept, or whose dates fall before the day being reported
// (the analyser skips entries older than the period it is filling).
std::vector<std::string> garbageLines(Noise &noise) {
    const std::string stamp = "[15/Jun/2024:10:00:00 +0000]";
    std::vector<std::string> lines = {
        // Binary bytes, NUL bytes included, and a NUL inside an entry (both halves broken).
        noise.bytes(1 + noise.next() % 300) + "\n",
        std::string("10.0.0.1 - - ") + stamp + " \"GET /nul" + std::string(1, '\0') +
            "x HTTP/1.0\" 200 100\n",
        std::string(40, '\0') + "\n",
        // A raw TLS handshake, and one as a server logs it when it arrives on the plain port.
        std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + noise.bytes(64) + "\n",
        "10.0.0.1 - - " + stamp + " \"\\x16\\x03\\x01\\x02\\x00\\x01\" 400 226 \"-\" \"-\"\n",
        // Lone quotes and brackets.
        "\"\n",
        "[\n",
        "]\n",
        "{\n",
        "\"\"\"\"\n",
        "[[[[\n",
        "10.0.0.1 - - " + stamp + " \"GET /lonequote.html HTTP/1.0 200 100\n",
        "10.0.0.1 - - [15/Jun/2024:10:00:00 +0000 \"GET /nobracket.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - 15/Jun/2024:10:00:00 +0000] \"GET /noopen.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - " + stamp + "\n",
        "10.0.0.1 - - " + stamp + " \"GET\" 200 100\n",
        "10.0.0.1 - - " + stamp + " \"GET /noresult.html HTTP/1.0\"\n",
        "10.0.0.1 - - " + stamp + " \"GET /nosize.html HTTP/1.0\" 200\n",
        // Months 0 and 13, day 99 (of a month long before), hour 25, minute 61, years 0 and 99999.
        "10.0.0.1 - - [15/000/2024:10:00:00 +0000] \"GET /month0.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/13/2024:10:00:00 +0000] \"GET /month13.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Xyz/2024:10:00:00 +0000] \"GET /monthxyz.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [99/Jan/2024:10:00:00 +0000] \"GET /day99.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Jun/2024:25:00:00 +0000] \"GET /hour25.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Jun/2024:10:61:00 +0000] \"GET /minute61.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Jun/0:10:00:00 +0000] \"GET /year0.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Jun/0000:10:00:00 +0000] \"GET /year0000.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [15/Jun/99999:10:00:00 +0000] \"GET /year99999.html HTTP/1.0\" 200 100\n",
        "10.0.0.1 - - [99999999999999999999/Jun/2024:10:00:00 +0000] \"GET /hugeday.html "
        "HTTP/1.0\" 200 100\n",
        "10.0.0.8, -, 0/15/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, "
        "/iismonth0.htm, -,\n",
        "10.0.0.8, -, 13/15/24, 10:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, "
        "/iismonth13.htm, -,\n",
        "10.0.0.8, -, 6/15/24, 10:00:00, MSFTPSVC1, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, "
        "/ftp.htm, -,\n",
        "Sat Jun 15 25:00:00 2024 WEB1 10.0.0.9 GET /emwachour25.html HTTP/1.0\n",
        // Blank and nearly blank lines.
        "\n",
        "   \t  \n",
        "-\n",
        "\r\n",
    };
    return lines;
}

// Long lines: read in pieces, none of which is an entry.
std::vector<std::string> longLines() {
    return {
        std::string(100000, 'A') + "\n",
        [] {
            std::string text;
            for (int i = 0; i < 12500; ++i) text += "<script>";
            return text + "\n";
        }(),
        "10.0.0.1 - - [15/Jun/2024:10:00:00 +0000] \"GET /" + std::string(100000, 'a') +
            " HTTP/1.0\" 200 5\n",
    };
}

// The log, and what it holds. The first line is an entry of the reported day, so that
// garbage dated earlier is skipped as out of order rather than opening an older period.
std::string hostileLog(Expected &e) {
    Noise noise;
    std::string log;
    auto entry = [&](int i) {
        const std::string host = HOSTS[i % 6];
        const Document &doc = DOCUMENTS[i % 9];
        int code = CODES[i % 7];
        int hour = i % 24;
        log += entryLine(host, IDENTS[i % 2], USERS[i % 3], hour, (i * 7) % 60, doc.logged,
                         std::to_string(code), code == 304 ? "-" : std::to_string(100 + i % 13),
                         REFERERS[i % 5], AGENTS[i % 4]);
        tally(e, lower(host), hour, doc.counted, code);
    };
    auto garbage = [&](const std::string &line) {
        log += line;
        e.garbage++;
    };
    const std::vector<std::string> longOnes = longLines();
    for (int i = 0; i < 2000; ++i) {
        entry(i);
        if (i % 5 == 0) {
            std::vector<std::string> lines = garbageLines(noise);
            garbage(lines[static_cast<std::size_t>(i / 5) % lines.size()]);
        }
        if (i % 500 == 250) garbage(longOnes[static_cast<std::size_t>(i / 500) % longOnes.size()]);
        if (i % 500 == 450) {
            // An entry whose agent runs on for 100 kB: its first piece is a whole entry.
            log +=
                "10.0.0.1 - - [15/Jun/2024:10:00:00 +0000] \"GET /long.html HTTP/1.0\" 200 5 \"-\" "
                "\"" +
                std::string(100000, 'b') + "\n";
            tally(e, "10.0.0.1", 10, "/long.html", 200);
        }
        if (i % 100 != 50) continue;
        // Entries at the edge of sense: each is an entry and is counted as such.
        log += entryLine("10.0.0.3", "-", "-", 3, 0, "/negative.html", "200", "-5", "-", "-");
        tally(e, "10.0.0.3", 3, "/negative.html", 200);
        log += entryLine("10.0.0.3", "-", "-", 3, 0, "/huge.html", "200", "99999999999999999999",
                         "-", "-");
        tally(e, "10.0.0.3", 3, "/huge.html", 200);
        log += entryLine("10.0.0.4", "-", "-", 4, 0, "/minus.html", "-1", "10", "-", "-");
        tally(e, "10.0.0.4", 4, "/minus.html", -1);
        log += entryLine("10.0.0.4", "-", "-", 4, 0, "/large.html", "100000", "10", "-", "-");
        tally(e, "10.0.0.4", 4, "/large.html", 100000);
        log += entryLine("10.0.0.5", "-", "-", 5, 0, "/pct2%4", "200", "10", "-", "-");
        tally(e, "10.0.0.5", 5, "/pct2%4", 200);
        log +=
            "10.0.0.5 - - [15/Jun/2024:05:00:00 +0000] \"GET /lone.html HTTP/1.0\" 200 10 "
            "\"http://ref/<i>\n";
        tally(e, "10.0.0.5", 5, "/lone.html", 200);
        log += entryLine(std::string(300, 'h'), "-", "-", 6, 0, "/longhost.html", "200", "10", "-",
                         "-");
        tally(e, std::string(255, 'h'), 6, "/longhost.html", 200);
        // The other formats, mixed in: the format that worked last is tried first.
        log +=
            "10.0.0.8, <script>u</script>, 6/15/24, 07:00:00, W3SVC1, WEB1, 10.0.0.2, 40, 200, "
            "1234, 200, 0, "
            "GET, /iis<script>.htm, <script>p</script>, Mozilla/4.0 (<b>),\n";
        tally(e, "10.0.0.8", 7, "/iis<script>.htm", 200);
        log += "Sat Jun 15 08:00:00 2024 WEB1 10.0.0.9 GET /emwac<script>.html HTTP/1.0\n";
        tally(e, "10.0.0.9", 8, "/emwac<script>.html", 200);
    }
    return log;
}

std::string number(long value) {
    std::string digits = std::to_string(value), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

const char *const HOSTILE_CONFIG =
    "totals\n* All\nend totals\n"
    "sites yes\ndomains yes\nauthusers yes\nproxysites yes\nproxydomains yes\n"
    "referers yes\nuseragents yes\nnotfound yes\ntrails yes\nvisits yes\nresultcodes yes\n"
    "top all\ntopsites all\ntopdomains all\ntopauthusers all\ntopproxysites all\ntopproxydomains "
    "all\n"
    "topreferers all\ntopuseragents all\ntopnotfound all\ntoptrails all\nexamplevisits all\n"
    "trailminimumsteps 1\ndns no\n";

// Every page of the report directory: no tag, attribute or link from the log.
void expectNoMarkupFromLog(const TempDir &dir) {
    int pages = 0;
    for (const std::string &name : listFiles(dir.path)) {
        if (name.size() < 5 || name.substr(name.size() - 5) != ".html") continue;
        ++pages;
        std::string page = readFile(dir.file(name));
        for (const char *fromLog :
             {"<script", "<svg", "<img/src", "<img src=x", "<b>bold", "<b>)", "/<i>"})
            EXPECT_EQ(lower(page).find(fromLog), std::string::npos) << name << ": " << fromLog;
        EXPECT_EQ(markupProblem(page), "") << name;
    }
    EXPECT_GT(pages, 0);
}

// The counts of one period page against what the log holds.
void expectCounts(const std::string &page, const Expected &e, bool summary) {
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">" + number(e.successes) + "</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td>Unique documents served</td><td align=\"right\">" +
                        std::to_string(e.documents.size()) + "</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td>Unique sites served</td><td align=\"right\">" +
                        std::to_string(e.sites.size()) + "</td></tr>"),
              std::string::npos);
    for (const auto &[code, count] : e.codes) {
        std::string prefix = "<tr><td align=\"right\">" + std::to_string(code) + "</td><td>";
        std::size_t at = page.find(prefix);
        ASSERT_NE(at, std::string::npos) << code;
        std::size_t cell = page.find("</td><td align=\"right\">", at + prefix.size());
        ASSERT_NE(cell, std::string::npos);
        cell += std::strlen("</td><td align=\"right\">");
        EXPECT_EQ(page.substr(cell, page.find('<', cell) - cell), std::to_string(count)) << code;
    }
    // No code outside the table's range appears as a row of its own.
    EXPECT_EQ(page.find("<tr><td align=\"right\">100000</td>"), std::string::npos);
    EXPECT_EQ(page.find("<tr><td align=\"right\">-1</td>"), std::string::npos);
    for (const auto &[hour, count] : e.hours) {
        std::string row = summary ? "<tr><td align=\"right\">" + two(hour) +
                                        ":00</td><td align=\"right\">" + number(count) + "</td>"
                                  : "<tr><td>" + two(hour) + ":00</td><td align=\"right\">" +
                                        std::to_string(count) + "</td>";
        EXPECT_NE(page.find(row), std::string::npos) << row;
    }
    // Markup from the log is shown as text.
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;h&lt;/script&gt;"), std::string::npos);
}

class HostileLog : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { log = new std::string(hostileLog(expected)); }
    static void TearDownTestSuite() {
        delete log;
        log = nullptr;
    }
    static Expected expected;
    static std::string *log;
};
Expected HostileLog::expected;
std::string *HostileLog::log = nullptr;

TEST_F(HostileLog, TheLogIsAsPlanned) {
    // A few thousand lines, most of them entries, with every kind of garbage in between.
    EXPECT_GT(countOf(*log, "\n"), 2500);
    EXPECT_GT(expected.garbage, 400);
    EXPECT_EQ(expected.documents.size(), 18u);
    EXPECT_EQ(expected.sites.size(), 12u);
    EXPECT_GT(expected.codes[404], 0);
}

TEST_F(HostileLog, SummaryCountsOnlyTheEntries) {
    TempDir dir;
    RunResult run = analyse(dir, HOSTILE_CONFIG, *log, {"-s"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = readFile(dir.file("summary.html"));
    ASSERT_FALSE(page.empty());
    expectCounts(page, expected, true);
    expectNoMarkupFromLog(dir);
}

TEST_F(HostileLog, StandardInputAndCompressedLogsCountTheSame) {
    {
        TempDir dir;
        writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path, HOSTILE_CONFIG));
        RunResult run = runQuorvel({"-c", dir.file("quorvel.conf"), "-l", "-", "-s"}, *log);
        ASSERT_EQ(run.status, 0) << run.err;
        expectCounts(readFile(dir.file("summary.html")), expected, true);
    }
    {
        TempDir dir;
        writeFile(dir.file("access.log"), *log);
        ASSERT_EQ(std::system(("gzip -n -f " + dir.file("access.log")).c_str()), 0);
        writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path, HOSTILE_CONFIG));
        RunResult run =
            runQuorvel({"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log.gz"), "-s"});
        ASSERT_EQ(run.status, 0) << run.err;
        expectCounts(readFile(dir.file("summary.html")), expected, true);
    }
}

TEST_F(HostileLog, DailyPageAndIndexCountOnlyTheEntries) {
    TempDir dir;
    RunResult run = analyse(dir, std::string(HOSTILE_CONFIG) + "frequency daily\n", *log,
                            {"-b", "06/15/2024", "-e", "06/15/2024"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Nothing dated after the day may open a page of its own.
    std::vector<std::string> periods;
    for (const std::string &name : listFiles(dir.path))
        if (isPeriodPage(name)) periods.push_back(name);
    EXPECT_EQ(periods, std::vector<std::string>{std::to_string(DAY) + ".html"});
    expectCounts(pageOf(dir, DAY), expected, false);
    std::string history = readFile(dir.file("database.dat"));
    EXPECT_NE(history.find("6/15/2024\t1\t"), std::string::npos) << history;
    expectNoMarkupFromLog(dir);
}

TEST_F(HostileLog, LinesOfImpossibleDaysAreNotEntries) {
    // Day 99 of June would be counted in September; day 0 and day 32 are what a time
    // offset can make of a real date, but no server writes them.
    TempDir dir;
    std::string text =
        logLine(6, 15, 2024, 10, "/first.html") +
        "10.0.0.1 - - [99/Jun/2024:10:00:00 +0000] \"GET /day99.html HTTP/1.0\" 200 100\n" +
        "10.0.0.1 - - [32/Jun/2024:10:00:00 +0000] \"GET /day32.html HTTP/1.0\" 200 100\n" +
        "10.0.0.1 - - [-5/Jun/2024:10:00:00 +0000] \"GET /dayminus.html HTTP/1.0\" 200 100\n";
    RunResult run = analyse(dir, "totals\n* All\nend totals\n", text, {"-s"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = readFile(dir.file("summary.html"));
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">1</td>"), std::string::npos);
    EXPECT_EQ(page.find("day99"), std::string::npos);
    EXPECT_EQ(page.find("day32"), std::string::npos);
}

TEST(HostileLogDates, ForgedDateInAUserNameDoesNotEndTheReading) {
    // A user name with blanks, brackets and a date of next year, logged as a server logs
    // it (quotes escaped): the entry's date is the last one before the request, so the
    // forged one neither dates it nor ends the reading.
    int nextYear = civilDaysFromToday(0).year + 1;
    std::string forged =
        "10.6.6.6 - x [01/Jan/" + std::to_string(nextYear) +
        ":00:00:00 +0000] \\\"GET /forged HTTP/1.0\\\" 200 1 [15/Jun/2024:10:30:00 +0000] "
        "\"GET /private.html HTTP/1.0\" 401 381 \"-\" \"curl/8.0\"\n";
    std::string text;
    for (int hour = 0; hour < 24; ++hour) {
        text += logLine(6, 15, 2024, hour, "/day.html");
        if (hour == 10) text += forged;
    }
    const std::string config = "totals\n* All\nend totals\n";
    {
        TempDir dir;
        RunResult run = analyse(dir, config + "frequency daily\n", text,
                                {"-b", "06/15/2024", "-e", "06/15/2024"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(pageOf(dir, DAY).find("<tr><td>All</td><td align=\"right\">24</td>"),
                  std::string::npos);
        EXPECT_NE(readFile(dir.file("database.dat")).find("6/15/2024\t1\t                  24\t"),
                  std::string::npos);
    }
    {
        // The default window ends with the month in progress.
        TempDir dir;
        RunResult run = analyse(dir, config + "frequency monthly\n", text);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(
            pageOf(dir, dayNumber(6, 1, 2024)).find("<tr><td>All</td><td align=\"right\">24</td>"),
            std::string::npos);
        EXPECT_EQ(readFile(dir.file("database.dat")).find(std::to_string(nextYear) + "\t"),
                  std::string::npos);
    }
}

// The summary page of a log: its dates, the entries and the users, as text.
std::string summaryOf(const std::string &config, const std::string &log) {
    TempDir dir;
    RunResult run =
        analyse(dir, "totals\n* All\nend totals\nauthusers yes\ndns no\n" + config, log, {"-s"});
    EXPECT_EQ(run.status, 0) << run.err;
    return readFile(dir.file("summary.html"));
}

TEST(HostileLogDates, UserNamesWithBlanksAndForgedDatesAreKept) {
    std::string page = summaryOf(
        "",
        "10.0.0.3 - John Smith [15/Jun/2024:12:00:00 +0000] \"GET /c.html HTTP/1.0\" 200 5\n"
        "10.0.0.4 - a [01/Jan/2030:00:00:00 +0000] b [16/Jun/2024:13:00:00 +0000] \"GET "
        "/d.html HTTP/1.0\" 200 100\n");
    EXPECT_NE(page.find("<h2>Summary from 06/15/24 to 06/16/24"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>John Smith</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>a [01/Jan/2030:00:00:00 +0000] b</td><td align=\"right\">1</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">2</td>"), std::string::npos);
}

TEST(HostileLogDates, VirtualHostLinesCountForTheirServer) {
    const std::string log =
        "www.example.com:80 10.0.0.1 - - [15/Jun/2024:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 "
        "100 \"-\" \"ua\"\n"
        "Other.Example.org:443 2001:db8::2 - J S [15/Jun/2024:11:00:00 +0000] \"GET /b.html "
        "HTTP/1.0\" 200 100 \"-\" \"ua\"\n"
        "host:8080 - - [15/Jun/2024:12:00:00 +0000] \"GET /c.html HTTP/1.0\" 200 100\n";
    std::string page = summaryOf("", log);
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">3</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>J S</td>"), std::string::npos);
    page = summaryOf("servername WWW.example.com\n", log);
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">2</td>"), std::string::npos) << page;
    EXPECT_EQ(page.find("/b.html"), std::string::npos);
}

TEST(HostileLogDates, IisYearsOfFourDigitsAreThoseYears) {
    const std::string tail =
        ", 10:00:00, W3SVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, GET, /a.htm, -,\n";
    std::string page =
        summaryOf("", "10.0.0.1, -, 6/10/2009" + tail + "10.0.0.1, -, 6/11/09" + tail);
    EXPECT_NE(page.find("<h2>Summary from 06/10/09 to 06/11/09"), std::string::npos) << page;
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">2</td>"), std::string::npos);
    page = summaryOf("msdateformat dd/mm/yy\n", "10.0.0.1, -, 10/06/2009" + tail);
    EXPECT_NE(page.find("<h2>Summary from 06/10/09 to 06/10/09"), std::string::npos) << page;
}

TEST(HostileLogForgery, EscapedQuoteInTheRequestForgesNoStatusOrBytes) {
    // Servers write a quote inside the request as \"; what follows it is still the request.
    std::string text =
        logLine(6, 15, 2024, 10, "/first.html") +
        R"(10.6.6.6 - - [15/Jun/2024:11:00:00 +0000] "GET /a\" 200 999999999 \"-\" \"x HTTP/1.1" 404 209 "-" "ua")"
        "\n";
    TempDir dir;
    RunResult run = analyse(dir, "totals\n* All\nend totals\n", text, {"-s"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = readFile(dir.file("summary.html"));
    EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">1</td>"), std::string::npos);
    EXPECT_EQ(page.find("999,999,999"), std::string::npos);
}

TEST(HostileLogForgery, TheRestOfALongLineIsNoEntry) {
    // After 2047 characters of an agent, a forged entry of its own host, user, document,
    // bytes and date: whatever the log is read from.
    const std::string head =
        "10.0.0.1 - - [15/Jun/2024:10:00:00 +0000] \"GET /real.html HTTP/1.0\" 200 100 \"-\" \"";
    const std::string line =
        head + std::string(2047 - head.size(), 'x') +
        "6.6.6.6 - forger [16/Jun/2024:13:00:00 +0000] \"GET /forged.html HTTP/1.0\" 200 "
        "999999999 \"-\" \"-\"\"\n";
    const std::string text =
        logLine(6, 15, 2024, 9, "/first.html") + line + logLine(6, 15, 2024, 11, "/last.html");
    for (const std::string how : {"plain", "gzip -n", "bzip2", "stdin", "directory"}) {
        TempDir dir;
        std::filesystem::create_directory(dir.file("logs"));
        std::string log = how == "directory" ? dir.file("logs/access.log") : dir.file("access.log");
        writeFile(log, text);
        if (how == "gzip -n" || how == "bzip2") {
            ASSERT_EQ(std::system((how + " -f " + log).c_str()), 0);
            log += how == "bzip2" ? ".bz2" : ".gz";
        }
        writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path, "totals\n* All\nend totals\n"));
        std::string source = how == "stdin" ? "-" : how == "directory" ? dir.file("logs") : log;
        RunResult run = runQuorvel({"-c", dir.file("quorvel.conf"), "-l", source, "-s"},
                                   how == "stdin" ? text : "");
        ASSERT_EQ(run.status, 0) << how << ": " << run.err;
        std::string page = readFile(dir.file("summary.html"));
        EXPECT_NE(page.find("<tr><td>All</td><td align=\"right\">3</td>"), std::string::npos)
            << how;
        for (const char *forged : {"6.6.6.6", "forger", "forged.html", "999,999,999", "06/16/24"})
            EXPECT_EQ(page.find(forged), std::string::npos) << how << ": " << forged;
    }
    // An agent log: one agent per line, however long.
    TempDir dir;
    RunResult run = analyse(
        dir, "", "Mozilla/5.0 " + std::string(2035, 'x') + "Forged/6.6\nCurl/8.0\n", {"-u"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = readFile(dir.file("agents.html"));
    EXPECT_NE(page.find("Curl/8.0"), std::string::npos);
    EXPECT_EQ(page.find("Forged/6.6"), std::string::npos);
}

TEST(HostileLogForgery, DamagedCompressedLogFailsTheRunAndStoresNothing) {
    // Weeks of entries, of which the compressed file keeps only the first part.
    std::string text;
    for (int day = 0; day < 60; ++day)
        for (int hour = 0; hour < 24; ++hour) {
            CivilDate date = dateOfDay(dayNumber(5, 1, 2024) + day);
            text += logLine(date.month, date.day, date.year, hour,
                            "/p" + std::to_string(day * 24 + hour) + ".html");
        }
    TempDir dir;
    writeFile(dir.file("access.log"), text);
    ASSERT_EQ(std::system(("gzip -n -f " + dir.file("access.log")).c_str()), 0);
    std::string packed = readFile(dir.file("access.log.gz"));
    writeFile(dir.file("access.log.gz"), packed.substr(0, packed.size() / 2));
    writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path, "frequency weekly\n"));
    RunResult run = runQuorvel({"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log.gz")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("The compressed log file " + dir.file("access.log.gz") + " is damaged"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fileExists(dir.file("database.dat")));
}

TEST(HostileCommandLine, DatesBeyondAnyLogAreRefused) {
    TempDir dir;
    writeFile(dir.file("quorvel.conf"), minimalConfig(dir.path));
    writeFile(dir.file("access.log"), logLine(6, 15, 2024, 10, "/a.html"));
    const std::string begin =
        "-b requires a valid date in one of the following formats: MM/DD, MM/DD/YY or "
        "MM/DD/YYYY.\n";
    const std::string end =
        "-e requires a valid date in one of the following formats: MM/DD, MM/DD/YY or MM/DD/YYYY "
        "format.\n";
    for (const char *date : {"12/31/99999999", "12/31/2147483647", "1/2147483647/2024", "1/0/2024",
                             "1/32/2024", "12/-5/2024", "13/1/2024", "0/1/2024"}) {
        RunResult run =
            runQuorvel({"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log"), "-b", date});
        EXPECT_EQ(run.status, 1) << date << ": " << run.err;
        EXPECT_EQ(run.err, begin) << date;
        run = runQuorvel(
            {"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log"), "-s", "-e", date});
        EXPECT_EQ(run.status, 1) << date << ": " << run.err;
        EXPECT_EQ(run.err, end) << date;
    }
    // The last year a date may name still works.
    RunResult run = runQuorvel({"-c", dir.file("quorvel.conf"), "-l", dir.file("access.log"), "-b",
                                "12/1/9999", "-e", "12/31/9999"});
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST(HostileLogModes, RefererAndAgentLogsShowMarkupAsText) {
    std::string referers, agents;
    for (int i = 0; i < 300; ++i) {
        referers += "http://evil.example/<script>alert(" + std::to_string(i % 7) +
                    ")</script> -> /<script>x" + std::to_string(i % 3) + "\n";
        referers += "javascript:alert('<img/src=x/onerror=alert(1)>') -> /target.html\n";
        referers += std::string("\x16\x03\x01\x00\xff", 5) + std::string(1, '\0') + "garbage ->\n";
        agents +=
            "<script>alert(" + std::to_string(i % 5) + ")</script> Mozilla/5.0 \"quoted\" & more\n";
        agents += "1234567890 !@#$%^&*()\n";  // no letter: not an entry
        agents += std::string(3000, 'x') + "\n";
    }
    {
        TempDir dir;
        RunResult run = analyse(dir, "", referers, {"-r"});
        ASSERT_EQ(run.status, 0) << run.err;
        std::string page = readFile(dir.file("referrers.html"));
        EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
        expectNoMarkupFromLog(dir);
    }
    {
        TempDir dir;
        RunResult run = analyse(dir, "", agents, {"-u"});
        ASSERT_EQ(run.status, 0) << run.err;
        std::string page = readFile(dir.file("agents.html"));
        EXPECT_NE(
            page.find(
                "&lt;script&gt;alert(4)&lt;/script&gt; Mozilla/5.0 &quot;quoted&quot; &amp; more"),
            std::string::npos);
        expectNoMarkupFromLog(dir);
    }
}

}  // namespace
