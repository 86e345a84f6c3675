// Reporting periods as the pages show them: which pages a run writes, the run window,
// late entries, summary pages, and the frame of every page.
#include <gtest/gtest.h>

#include <sstream>

#include "e2e/e2e_util.h"

namespace {

class PeriodsE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
    }
    // Runs over the log with a configuration of the given extra lines.
    RunResult run(const std::string &extra, std::vector<std::string> args,
                  const std::string &logText) {
        writeFile(log, logText);
        std::string config = dir.file("q.conf");
        writeFile(config, minimalConfig(reports, "logfile " + log + "\n" + extra));
        args.insert(args.begin(), {"-c", config});
        return runQuorvel(args);
    }
    std::vector<std::string> pages() const {
        std::vector<std::string> names;
        for (const std::string &name : listFiles(reports))
            if (isPeriodPage(name)) names.push_back(name);
        return names;
    }
    static std::string page(int day) { return std::to_string(day) + ".html"; }
    std::string read(int day) const { return readFile(reports + "/" + page(day)); }
    std::string history() const { return readFile(reports + "/database.dat"); }
    TempDir dir;
    std::string reports, log;
};

TEST_F(PeriodsE2e, DailyPagesIncludeQuietDays) {
    RunResult r = run("frequency daily\n", {"-b", "03/01/2024", "-e", "03/04/2024"},
                      logLine(3, 1, 2024, 10, "/a.html") + logLine(3, 4, 2024, 10, "/b.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    int first = dayNumber(3, 1, 2024);
    EXPECT_EQ(pages(), (std::vector<std::string>{page(first), page(first + 1), page(first + 2),
                                                 page(first + 3)}));
    EXPECT_NE(read(first).find("<title>Day of 03/01/24\n</title>"), std::string::npos);
    EXPECT_NE(read(first + 1).find("<h2>Day of 03/02/24\n</h2>"), std::string::npos);
    EXPECT_EQ(read(first + 1).find("/a.html"), std::string::npos);
    EXPECT_TRUE(fileExists(reports + "/index.html"));
}

TEST_F(PeriodsE2e, WeeksStartOnTheConfiguredDay) {
    // Entries from Sunday 12 May 2024 to Thursday 16 May; the weeks follow weekstart.
    int sunday = dayNumber(5, 12, 2024);
    std::string text;
    for (int i = 0; i < 5; ++i) text += logLine(5, 12 + i, 2024, 9, "/w.html");
    const std::pair<const char *, std::vector<int>> cases[] = {
        {"", {sunday}},
        {"weekstart mon\n", {sunday - 6, sunday + 1}},
        {"weekstart wednesday\n", {sunday - 4, sunday + 3}}};
    for (const auto &[extra, starts] : cases) {
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        RunResult r = run(extra, {"-b", "05/12/2024", "-e", "05/16/2024"}, text);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> expected;
        for (int start : starts) expected.push_back(page(start));
        EXPECT_EQ(pages(), expected) << extra;
    }
    EXPECT_NE(read(sunday + 3).find("<title>Week of 05/15/24 to 05/21/24\n</title>"),
              std::string::npos);
}

// A weekly history stored with weeks of another first day (an earlier weekstart, or the
// Monday weeks that earlier versions wrote from March 2000 on) goes on with a short
// bridging week: no day is counted twice or left out.
TEST_F(PeriodsE2e, ChangedWeekStartBridgesTheHistory) {
    std::string text;
    for (int d = 1; d <= 14; ++d) text += logLine(3, d, 1999, 12, "/d.html");
    const std::string totals = "totals\n* All\nend totals\n";
    ASSERT_EQ(run(totals + "weekstart sun\n", {"-e", "3/7/1999"}, text).status, 0);
    RunResult r = run(totals + "weekstart mon\n", {"-e", "3/14/1999"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string h = history();
    EXPECT_NE(h.find("\n3/14/1999\t1\t" + std::string(19, ' ') + "1\t"), std::string::npos) << h;
    double sum = 0;
    std::istringstream lines(h);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        sum += std::stod(line.substr(line.find('\t', line.find('\t') + 1) + 1));
    EXPECT_EQ(sum, 14) << h;

    // A Monday week of 2024 stored before weeks began on Sunday.
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    writeFile(reports + "/database.dat", "Date    \tDays\tAll accesses\tAll bytes\n3/4/2024\t7\t" +
                                             std::string(19, ' ') + "7\t" + std::string(17, ' ') +
                                             "700\n");
    text.clear();
    for (int d = 4; d <= 17; ++d) text += logLine(3, d, 2024, 12, "/d.html");
    r = run(totals, {"-e", "3/17/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    h = history();
    EXPECT_NE(h.find("\n3/11/2024\t6\t" + std::string(19, ' ') + "6\t"), std::string::npos) << h;
    EXPECT_NE(h.find("\n3/17/2024\t7\t" + std::string(19, ' ') + "1\t"), std::string::npos) << h;
    EXPECT_NE(read(dayNumber(3, 11, 2024)).find("Week of 03/11/24 to 03/16/24"), std::string::npos);
}

TEST_F(PeriodsE2e, MonthlyJanuaryAndFebruary) {
    RunResult r = run("frequency monthly\n", {"-b", "01/15/2024", "-e", "02/10/2024"},
                      logLine(1, 31, 2024, 23, "/jan.html") + logLine(2, 1, 2024, 0, "/feb.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    int jan = dayNumber(1, 1, 2024), feb = dayNumber(2, 1, 2024);
    EXPECT_EQ(pages(), (std::vector<std::string>{page(jan), page(feb)}));
    EXPECT_NE(read(jan).find("<title>Month of 01/01/24 to 01/31/24</title>"), std::string::npos);
    EXPECT_NE(read(feb).find("Month of 02/01/24 to 02/29/24"), std::string::npos);
    EXPECT_NE(read(jan).find("/jan.html"), std::string::npos);
    EXPECT_EQ(read(jan).find("/feb.html"), std::string::npos);
    EXPECT_NE(history().find("\n1/1/2024\t31\n"), std::string::npos);
    EXPECT_NE(history().find("\n2/1/2024\t29\n"), std::string::npos);
}

TEST_F(PeriodsE2e, ForgedDatesCloseNoPeriod) {
    const std::string config = "frequency daily\ntotals\n* All\nend totals\n";
    auto accesses = [&](const std::string &date) {
        std::string h = history();
        std::size_t at = h.find("\n" + date + "\t1\t");
        return at == std::string::npos ? -1 : std::stoi(h.substr(at + date.size() + 4, 20));
    };
    // A lone entry dated in a later period closes nothing; it counts in the day it claims.
    std::string text = logLine(6, 1, 2024, 1, "/a") + logLine(6, 1, 2024, 2, "/a") +
                       logLine(6, 2, 2024, 3, "/f") + logLine(6, 1, 2024, 4, "/a") +
                       logLine(6, 1, 2024, 5, "/a");
    RunResult r = run(config, {"-b", "06/01/2024", "-e", "06/02/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(accesses("6/1/2024"), 4);
    EXPECT_EQ(accesses("6/2/2024"), 1);

    // Entries of the closed period that arrive once the log has moved on are late.
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    text = logLine(3, 1, 2024, 10, "/a");
    for (int i = 0; i < 300; ++i) text += logLine(3, 2, 2024, 10, "/b");
    text += logLine(3, 1, 2024, 11, "/late.html") + logLine(3, 3, 2024, 1, "/c");
    r = run(config, {"-b", "03/01/2024", "-e", "03/03/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(accesses("3/1/2024"), 1);
    EXPECT_EQ(accesses("3/2/2024"), 300);
    EXPECT_EQ(accesses("3/3/2024"), 1);
    EXPECT_EQ(read(dayNumber(3, 1, 2024)).find("/late.html"), std::string::npos);

    // A first entry dated years ahead does not hide the log after it.
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    CivilDate future = civilDaysFromToday(400), d3 = civilDaysFromToday(-3),
              d1 = civilDaysFromToday(-1);
    text = logLine(future.month, future.day, future.year, 1, "/future") +
           logLine(d3.month, d3.day, d3.year, 1, "/a") +
           logLine(d1.month, d1.day, d1.year, 1, "/b");
    r = run(config, {}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(accesses(std::to_string(d3.month) + "/" + std::to_string(d3.day) + "/" +
                       std::to_string(d3.year)),
              1);
    EXPECT_EQ(accesses(std::to_string(d1.month) + "/" + std::to_string(d1.day) + "/" +
                       std::to_string(d1.year)),
              1);
    r = run(config, {"-s"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readFile(reports + "/summary.html").find("/b"), std::string::npos);
}

TEST_F(PeriodsE2e, WindowLimitsPagesAndEntries) {
    std::string text;
    for (int d = 1; d <= 9; ++d)
        text += logLine(3, d, 2024, 12, "/day" + std::to_string(d) + ".html");
    RunResult r = run("frequency daily\n", {"-e", "03/05/2024", "-b", "03/03/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    int first = dayNumber(3, 3, 2024);
    EXPECT_EQ(pages(), (std::vector<std::string>{page(first), page(first + 1), page(first + 2)}));
    EXPECT_NE(read(first).find("/day3.html"), std::string::npos);
    EXPECT_EQ(read(first).find("/day2.html"), std::string::npos);
    std::string h = history();
    EXPECT_EQ(countOf(h, "\n"), 4);  // header and three days
    EXPECT_EQ(h.find("3/6/2024"), std::string::npos);

    // Equal begin and end: January 31 alone when daily, all of January when monthly.
    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    r = run("frequency monthly\n", {"-b", "01/31/2024", "-e", "01/31/2024"},
            logLine(1, 2, 2024, 1, "/early.html") + logLine(1, 31, 2024, 1, "/late.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pages(), (std::vector<std::string>{page(dayNumber(1, 1, 2024))}));
    EXPECT_NE(read(dayNumber(1, 1, 2024)).find("/early.html"), std::string::npos);
}

TEST_F(PeriodsE2e, StoredPeriodsBeforeTheLogAreKept) {
    const std::string config = "frequency daily\ntotals\n* All\nend totals\n";
    std::string text;
    for (int d = 1; d <= 10; ++d) text += logLine(5, d, 2024, 12, "/first.html");
    ASSERT_EQ(run(config, {"-b", "05/01/2024", "-e", "05/10/2024"}, text).status, 0);
    std::string before = history();
    text.clear();
    for (int d = 6; d <= 10; ++d) text += logLine(5, d, 2024, 12, "/second.html");
    RunResult r = run(config, {"-b", "05/01/2024", "-e", "05/10/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(history(), before);
    EXPECT_NE(read(dayNumber(5, 5, 2024)).find("/first.html"), std::string::npos);
    EXPECT_NE(read(dayNumber(5, 6, 2024)).find("/second.html"), std::string::npos);
    EXPECT_NE(r.err.find("05/01/24 to 05/05/24"), std::string::npos) << r.err;
}

// A first run over a log that ended long ago writes that log's periods, not every period
// up to today; a log that reaches yesterday still gets its quiet days and today.
TEST_F(PeriodsE2e, OldLogEndsWithItsLastPeriod) {
    CivilDate old1 = civilDaysFromToday(-370), old2 = civilDaysFromToday(-368);
    std::string text = logLine(old1.month, old1.day, old1.year, 9, "/a") +
                       logLine(old2.month, old2.day, old2.year, 9, "/a");
    RunResult r = run("frequency daily\n", {}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pages().size(), 3u);
    EXPECT_EQ(countOf(history(), "\n"), 4);
    EXPECT_NE(r.err.find("give -e "), std::string::npos) << r.err;
    EXPECT_EQ(countOf(r.err, "\n"), 1) << r.err;

    std::filesystem::remove_all(reports);
    std::filesystem::create_directory(reports);
    CivilDate quiet1 = civilDaysFromToday(-5), quiet2 = civilDaysFromToday(-1);
    text = logLine(quiet1.month, quiet1.day, quiet1.year, 9, "/a") +
           logLine(quiet2.month, quiet2.day, quiet2.year, 9, "/a");
    r = run("frequency daily\n", {}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(pages().size(), 6u);  // five days and today, in progress
}

TEST_F(PeriodsE2e, UnrecognisedLogsAreReported) {
    std::string syslog;
    for (int i = 0; i < 52; ++i)
        syslog += "Mar  5 10:00:00 web1 sshd[812]: Accepted publickey for root from 10.0.0.1\n";
    RunResult r = run("", {"-b", "03/01/2024", "-e", "03/09/2024"}, syslog);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("52 lines were read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("combined"), std::string::npos) << r.err;
    EXPECT_EQ(listFiles(reports), (std::vector<std::string>{"quorvel.lock"}));

    std::string mixed;
    for (int i = 0; i < 100; ++i)
        mixed += i % 10 < 3 ? "garbage line " + std::to_string(i) + "\n"
                            : logLine(3, 5, 2024, 10, "/a.html");
    r = run("", {"-s"}, mixed);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("30 of 100 lines"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("garbage line 0"), std::string::npos) << r.err;
    r = run("", {"-s"},
            "stray\n" + mixed.substr(mixed.find("10.0.0.1")));  // an ordinary stray line is silent
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(PeriodsE2e, SummaryPages) {
    std::string text = logLine(3, 5, 2024, 10, "/a.html") + logLine(3, 7, 2024, 10, "/b.html");
    RunResult r = run("", {"-s"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string &name : listFiles(reports))
        EXPECT_TRUE(name == "summary.html" || name == "quorvel.lock" ||
                    name.find(".gif") != std::string::npos)
            << name;
    EXPECT_FALSE(fileExists(reports + "/database.dat"));
    EXPECT_FALSE(fileExists(reports + "/index.html"));
    std::string page = readFile(reports + "/summary.html");
    EXPECT_NE(page.find("<title>Summary from 03/05/24 to 03/07/24\n</title>"), std::string::npos);

    // Reading stops at the first entry after the end day; the heading ends at the last
    // day counted, not at that entry.
    r = run("", {"-s", "-e", "03/08/2024"}, text + logLine(3, 9, 2024, 10, "/c.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    page = readFile(reports + "/summary.html");
    EXPECT_NE(page.find("<title>Summary from 03/05/24 to 03/07/24\n</title>"), std::string::npos);
    EXPECT_EQ(page.find("/c.html"), std::string::npos);

    writeFile(dir.file("agents.log"), "Mozilla/5.0 (X11)\nCurl/8.0\n");
    r = run("", {"-u", "-l", dir.file("agents.log")}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    page = readFile(reports + "/agents.html");
    EXPECT_NE(page.find("<title>Summary of User Agents (Browsers)</title>"), std::string::npos);
    EXPECT_NE(page.find("Mozilla/5.0 (X11)"), std::string::npos);
    EXPECT_EQ(page.find("bytes-transferred"), std::string::npos);

    writeFile(dir.file("referers.log"), "http://ref.example/page -> /target.html\n");
    r = run("", {"-r", "-l", dir.file("referers.log")}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    page = readFile(reports + "/referrers.html");
    EXPECT_NE(page.find("<title>Summary of Referring URLs</title>"), std::string::npos);
    EXPECT_NE(page.find("http://ref.example/page"), std::string::npos);
    EXPECT_FALSE(fileExists(reports + "/database.dat"));
}

TEST_F(PeriodsE2e, SummaryWithoutDataAndPageFrame) {
    const std::string noData =
        "<html><head><title>No data to analyze!</title>\n</head><body bgcolor=#FFFFFF><h1>No data "
        "to "
        "analyze!</h1>\n</body></html>";
    RunResult r = run("", {"-s"}, "");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(reports + "/summary.html"), noData);
    r = run("", {"-s", "-e", "03/01/2024"},
            logLine(3, 5, 2024, 10, "/a.html"));  // all after the end
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(reports + "/summary.html"), noData);

    // The operator's header and footer replace the body tags; the note about byte counts
    // appears for a log without them (EMWAC) and not with nobytes.
    std::string emwac = "Tue Mar 05 10:00:00 2024 www 10.0.0.1 GET /e.html HTTP/1.0\n";
    r =
        run("extension htm\nheader\n<body class=\"top\">\nend "
            "header\nfooter\n<p>bye</p>\n</body>\nend footer\n",
            {"-s"}, emwac);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string page = readFile(reports + "/summary.htm");
    const std::string note =
        "<em>Note: your server's log file does not contain bytes-transferred\ninformation. Only "
        "access counts "
        "are available.</em>\n";
    EXPECT_EQ(
        page.rfind("<html><head><title>Summary from 03/05/24 to 03/05/24\n</title>\n</head><body "
                   "class=\"top\">\n" +
                       note + "<h2>Summary from 03/05/24 to 03/05/24\n</h2>",
                   0),
        0u)
        << page;
    EXPECT_EQ(countOf(page, "<body"), 1);
    std::string tail = "<p>bye</p>\n</body>\n</html>";
    EXPECT_EQ(page.substr(page.size() - tail.size()), tail);

    r = run("nobytes yes\n", {"-s"}, emwac);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(reports + "/summary.html").find("bytes-transferred"), std::string::npos);
    r = run("", {"-s"}, logLine(3, 5, 2024, 10, "/a.html"));
    EXPECT_EQ(readFile(reports + "/summary.html").find("bytes-transferred"), std::string::npos);
}

TEST_F(PeriodsE2e, UnwritablePageEndsTheRun) {
    std::filesystem::create_directory(reports + "/summary.html");
    writeFile(reports + "/summary.html/keep", "x");
    RunResult r = run("", {"-s"}, logLine(3, 5, 2024, 10, "/a.html"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Can't write to file! Filename: " + reports + "/summary.html: Is a directory\n");
    EXPECT_EQ(readFile(reports + "/summary.html/keep"), "x");
}

TEST_F(PeriodsE2e, SymbolicLinkAtAPageIsReplaced) {
    writeFile(dir.file("precious"), "keep me");
    std::filesystem::create_symlink(dir.file("precious"), reports + "/summary.html");
    RunResult r = run("", {"-s"}, logLine(3, 5, 2024, 10, "/a.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("precious")), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(reports + "/summary.html"));
    EXPECT_NE(readFile(reports + "/summary.html").find("<html>"), std::string::npos);
}

}  // namespace
