// A log directory as logrotate leaves it (examples/logrotate: the current log, one
// plain rotated log and older ones compressed with gzip and bzip2, rotated at 06:25
// each morning): every file is read, the entries are merged in time order across
// the files, and each day is counted in full.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

const std::string kExample = std::string(QUORVEL_SOURCE_DIR) + "/examples/logrotate";

// Successful accesses and their bytes per day of the example, 4 to 7 March 2024.
struct Day {
    int day;
    int accesses;
    long bytes;
};
const Day kDays[] = {{4, 16, 90500}, {5, 11, 47500}, {6, 17, 83300}, {7, 15, 79700}};

class LogrotateE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        config = dir.file("q.conf");
    }
    RunResult run(const std::string &extra, std::vector<std::string> args,
                  const std::string &stdinText = "") {
        writeFile(config, minimalConfig(reports, extra + "totals\n* All\nend totals\n"));
        args.insert(args.begin(), {"-c", config});
        return runQuorvel(args, stdinText);
    }
    // The accesses of the "All" row of a page's totals section, or -1.
    int totalOnPage(const std::string &page) {
        std::string text = readFile(reports + "/" + page);
        std::string row = "<td>All</td><td align=\"right\">";
        std::size_t at = text.find(row);
        if (at == std::string::npos) return -1;
        return std::atoi(text.c_str() + at + row.size());
    }
    TempDir dir;
    std::string reports, config;
};

std::vector<std::string> historyLines(const std::string &reports) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(reports + "/database.dat"));
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> fields(const std::string &line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) {
        field.erase(0, field.find_first_not_of(' '));
        out.push_back(field);
    }
    return out;
}

TEST_F(LogrotateE2e, DailyCountsSpanTheRotatedFiles) {
    // Each day lies in two files (rotation at 06:25), one of them compressed for 4 and 5 March.
    RunResult r =
        run("frequency daily\n", {"-l", kExample, "-b", "03/04/2024", "-e", "03/07/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = historyLines(reports);
    ASSERT_EQ(lines.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        std::vector<std::string> f = fields(lines[i]);
        ASSERT_EQ(f.size(), 4u) << lines[i];
        EXPECT_EQ(f[0], "3/" + std::to_string(kDays[i].day) + "/2024");
        EXPECT_EQ(f[1], "1");
        EXPECT_EQ(f[2], std::to_string(kDays[i].accesses)) << lines[i];
        EXPECT_EQ(f[3], std::to_string(kDays[i].bytes)) << lines[i];
        std::string page = std::to_string(dayNumber(3, kDays[i].day, 2024)) + ".html";
        EXPECT_EQ(totalOnPage(page), kDays[i].accesses) << page;
    }
}

TEST_F(LogrotateE2e, WeeklyRunAndRerunCountEachEntryOnce) {
    RunResult r =
        run("frequency weekly\n", {"-l", kExample, "-b", "03/04/2024", "-e", "03/07/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = historyLines(reports);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(fields(lines[0])[2], "59");  // 66 lines, 7 of them failed requests

    // A later run over the same directory starts after the stored week: nothing is added.
    r = run("frequency weekly\n", {"-l", kExample, "-e", "03/07/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    lines = historyLines(reports);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(fields(lines[0])[2], "59");
}

TEST_F(LogrotateE2e, CompressedFilesAloneAndOnStandardInput) {
    struct {
        const char *file;
        int accesses;
    } files[] = {{"access.log.3.bz2", 19},
                 {"access.log.2.gz", 14},
                 {"access.log.1", 15},
                 {"access.log", 11}};
    for (const auto &f : files) {
        std::string path = kExample + "/" + f.file;
        RunResult r = run("", {"-s", "-l", path});
        ASSERT_EQ(r.status, 0) << f.file << ": " << r.err;
        EXPECT_EQ(totalOnPage("summary.html"), f.accesses) << f.file;

        // Piped in as it is, compressed or not.
        std::filesystem::remove(reports + "/summary.html");
        r = run("", {"-s", "-l", "-"}, readFile(path));
        ASSERT_EQ(r.status, 0) << f.file << ": " << r.err;
        EXPECT_EQ(totalOnPage("summary.html"), f.accesses) << f.file << " on standard input";
    }
}

// An IIS W3C extended log whose server restarted with other fields: one line of another
// site, one line short of a field.
const char kW3c[] =
    "#Software: Microsoft Internet Information Services 10.0\n"
    "#Version: 1.0\n"
    "#Date: 2024-03-05 08:00:00\n"
    "#Fields: date time s-sitename s-ip cs-method cs-uri-stem cs-uri-query s-port cs-username c-ip "
    "cs(User-Agent) cs(Referer) sc-status sc-substatus sc-win32-status sc-bytes time-taken\n"
    "2024-03-05 08:00:01 W3SVC1 10.0.0.2 GET /index.htm - 80 - 192.168.1.10 "
    "Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64) - 200 0 0 5000 15\n"
    "2024-03-05 08:00:02 W3SVC1 10.0.0.2 GET /search.aspx q=w3c 80 - 192.168.1.10 "
    "Mozilla/5.0+(Windows+NT+10.0;+Win64;+x64) http://www.example.com/index.htm 200 0 0 3000 31\n"
    "2024-03-05 08:00:03 W3SVC2 10.0.0.2 GET /other.htm - 80 - 192.168.1.11 curl/8.0 - 200 0 0 "
    "9999 1\n"
    "2024-03-05 08:00:04 W3SVC1 10.0.0.2 GET /short.htm - 80 - 192.168.1.12 curl/8.0 - 200 0 0 "
    "1200\n"
    "2024-03-05 08:00:05 W3SVC1 10.0.0.2 GET /nothere.htm - 80 - 192.168.1.12 curl/8.0 - 404 0 2 "
    "1200 0\n"
    "#Software: Microsoft Internet Information Services 10.0\n"
    "#Version: 1.0\n"
    "#Date: 2024-03-05 09:00:00\n"
    "#Fields: date time s-sitename cs-method cs-uri-stem c-ip cs(User-Agent) cs(Referer) sc-status "
    "sc-bytes\n"
    "2024-03-05 09:00:01 W3SVC1 GET /index.htm 192.168.1.13 Wget/1.21 "
    "http://www.example.com/search.aspx?q=w3c 200 5000\n"
    "2024-03-05 09:00:02 W3SVC1 GET /logo.gif 192.168.1.13 Wget/1.21 - 304 0\n";

TEST_F(LogrotateE2e, W3cExtendedLogIsCounted) {
    // As one file, and split at the restart into two files of a directory, each read with
    // its own fields.
    std::string log = dir.file("u_ex240305.log"), logs = dir.file("w3c");
    writeFile(log, kW3c);
    std::string text = kW3c;
    std::size_t restart = text.find("#Software", 1);
    std::filesystem::create_directory(logs);
    writeFile(logs + "/u_ex24030508.log", text.substr(0, restart));
    writeFile(logs + "/u_ex24030509.log", text.substr(restart));
    for (const std::string &source : {log, logs}) {
        std::filesystem::remove(reports + "/summary.html");
        RunResult r = run("servername W3SVC1\n", {"-s", "-l", source});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(totalOnPage("summary.html"), 4) << source;
    }
    std::string page = readFile(reports + "/summary.html");
    auto row = [](const std::string &text, int accesses, const std::string &bytes) {
        return text + "</td><td align=\"right\">" + std::to_string(accesses) +
               "</td><td align=\"right\">" + bytes + "</td>";
    };
    for (const std::string &want :
         {row("/index.htm</a>", 2, "10,000"), row("/search.aspx</a>", 1, "3,000"),
          row("/logo.gif</a>", 1, "0"), row("http://www.example.com/index.htm</a>", 1, "3,000"),
          row("http://www.example.com/search.aspx</a>", 1, "5,000"),
          row("<td>Mozilla/5.0 (Windows NT 10.0; Win64; x64)", 2, "8,000"),
          row("<td>Wget/1.21", 2, "5,000"), std::string("<td>OK</td><td align=\"right\">3<"),
          std::string("Not Modified</td><td align=\"right\">1<"),
          std::string("Not Found</td><td align=\"right\">1<")})
        EXPECT_NE(page.find(want), std::string::npos) << want;
    EXPECT_EQ(page.find("other.htm"), std::string::npos);
    EXPECT_EQ(page.find("short.htm"), std::string::npos);
}

// A directory of a W3C log whose fields change after a restart, a vhost_combined log and a
// gzipped Caddy log is read as one log in time order.
TEST_F(LogrotateE2e, FormatsOfOneDirectoryMergeInTimeOrder) {
    std::string logs = dir.file("mixed");
    std::filesystem::create_directory(logs);
    writeFile(logs + "/u_ex.log",
              "#Fields: date time c-ip cs-method cs-uri-stem sc-status sc-bytes\n"
              "2024-03-05 10:00:00 10.0.0.1 GET /w1.html 200 100\n"
              "#Fields: date time c-ip cs-method cs-uri-stem sc-status\n"
              "2024-03-06 10:00:00 10.0.0.1 GET /w2.html 200\n");
    writeFile(
        logs + "/other_vhosts_access.log",
        "www.example.com:80 10.0.0.2 - - [05/Mar/2024:11:00:00 +0000] \"GET /v1.html HTTP/1.1\" "
        "200 200 \"-\" \"UA\"\n"
        "www.example.com:80 10.0.0.2 - - [06/Mar/2024:11:00:00 +0000] \"GET /v2.html HTTP/1.1\" "
        "200 200 \"-\" \"UA\"\n");
    writeFile(logs + "/caddy.log",
              "{\"ts\":1709643600,\"request\":{\"remote_ip\":\"10.0.0.3\",\"method\":\"GET\","
              "\"uri\":\"/j1.html\",\"proto\":\"HTTP/2.0\"},\"status\":200,\"size\":300}\n"
              "{\"ts\":1709715600,\"request\":{\"remote_ip\":\"10.0.0.3\",\"method\":\"GET\","
              "\"uri\":\"/j2.html\",\"proto\":\"HTTP/2.0\"},\"status\":200,\"size\":300}\n");
    ASSERT_EQ(std::system(("gzip -n -f " + logs + "/caddy.log").c_str()), 0);
    RunResult r = run("frequency daily\n", {"-l", logs, "-b", "03/05/2024", "-e", "03/06/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = historyLines(reports);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string &line : lines)
        EXPECT_NE(line.find("\t1\t                   3\t"), std::string::npos) << line;
    std::string first = readFile(reports + "/" + std::to_string(dayNumber(3, 5, 2024)) + ".html");
    for (const char *document : {"/w1.html", "/v1.html", "/j1.html"})
        EXPECT_NE(first.find(document), std::string::npos) << document;
    EXPECT_EQ(first.find("/w2.html"), std::string::npos);
}

}  // namespace
