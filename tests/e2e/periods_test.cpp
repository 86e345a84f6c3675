// Reporting periods as the pages show them: which pages a run writes, the run window,
// late entries, summary pages, and the frame of every page.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

int weekdayOf(int day) { return ((day + 5) % 7 + 7) % 7; }  // 0 Sunday in the program's calendar

class PeriodsE2e : public ::testing::Test {
protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
    }
    // Runs over the log with a configuration of the given extra lines.
    RunResult run(const std::string &extra, std::vector<std::string> args, const std::string &logText) {
        writeFile(log, logText);
        std::string config = dir.file("q.conf");
        writeFile(config, minimalConfig(reports, "logfile " + log + "\n" + extra));
        args.insert(args.begin(), {"-c", config});
        return runQuorvel(args);
    }
    std::vector<std::string> pages() const {
        std::vector<std::string> names;
        for (const std::string &name : listFiles(reports))
            if (isPeriodPage(name))
                names.push_back(name);
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
    EXPECT_EQ(pages(), (std::vector<std::string>{page(first), page(first + 1), page(first + 2), page(first + 3)}));
    EXPECT_NE(read(first).find("<title>Day of 03/01/24\n</title>"), std::string::npos);
    EXPECT_NE(read(first + 1).find("<h2>Day of 03/02/24\n</h2>"), std::string::npos);
    EXPECT_EQ(read(first + 1).find("/a.html"), std::string::npos);
    EXPECT_TRUE(fileExists(reports + "/index.html"));
}

TEST_F(PeriodsE2e, WeeksStartOnTheConfiguredDay) {
    // Entries on five consecutive days; the weeks follow weekstart.
    int day = dayNumber(5, 12, 2024);
    std::string text;
    for (int i = 0; i < 5; ++i) text += logLine(5, 12 + i, 2024, 9, "/w.html");
    for (int start : {0, 3}) {
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        const char *names[] = {"sunday", "mon", "tue", "wednesday"};
        RunResult r = run(std::string("weekstart ") + names[start] + "\n", {"-b", "05/12/2024", "-e", "05/16/2024"},
                          text);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> expected;  // the start of the week of every day
        for (int d = day; d < day + 5; ++d) expected.push_back(page(d - (weekdayOf(d) - start + 7) % 7));
        std::sort(expected.begin(), expected.end());
        expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
        EXPECT_EQ(pages(), expected) << "weekstart " << start;
        for (const std::string &name : expected)
            EXPECT_NE(readFile(reports + "/" + name).find("<title>Week of "), std::string::npos);
    }
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

TEST_F(PeriodsE2e, LateEntriesAreSkipped) {
    std::string text = logLine(3, 2, 2024, 10, "/x.html") + logLine(3, 1, 2024, 10, "/late.html") +
                       logLine(3, 3, 2024, 10, "/x.html") + logLine(3, 2, 2024, 23, "/late.html");
    RunResult r = run("frequency daily\ntotals\n* All\nend totals\n", {"-b", "03/01/2024", "-e", "03/03/2024"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    int first = dayNumber(3, 1, 2024);
    // The run starts at 03/01, but the first entry opens 03/02: the late ones count nowhere.
    EXPECT_EQ(pages(), (std::vector<std::string>{page(first), page(first + 1), page(first + 2)}));
    EXPECT_EQ(read(first).find("/late.html"), std::string::npos);
    EXPECT_EQ(read(first + 1).find("/late.html"), std::string::npos);
    std::string h = history();
    EXPECT_NE(h.find("3/1/2024\t1\t" + std::string(19, ' ') + "0\t"), std::string::npos) << h;
    EXPECT_NE(h.find("3/2/2024\t1\t" + std::string(19, ' ') + "1\t"), std::string::npos) << h;
    EXPECT_NE(h.find("3/3/2024\t1\t" + std::string(19, ' ') + "1\t"), std::string::npos) << h;
}

TEST_F(PeriodsE2e, WindowLimitsPagesAndEntries) {
    std::string text;
    for (int d = 1; d <= 9; ++d) text += logLine(3, d, 2024, 12, "/day" + std::to_string(d) + ".html");
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

TEST_F(PeriodsE2e, SummaryPages) {
    std::string text = logLine(3, 5, 2024, 10, "/a.html") + logLine(3, 7, 2024, 10, "/b.html");
    RunResult r = run("", {"-s"}, text);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string &name : listFiles(reports))
        EXPECT_TRUE(name == "summary.html" || name == "quorvel.lock" || name.find(".gif") != std::string::npos)
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
        "<html><head><title>No data to analyze!</title>\n</head><body bgcolor=#FFFFFF><h1>No data to "
        "analyze!</h1>\n</body></html>";
    RunResult r = run("", {"-s"}, "");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(reports + "/summary.html"), noData);
    r = run("", {"-s", "-e", "03/01/2024"}, logLine(3, 5, 2024, 10, "/a.html"));  // all after the end
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(reports + "/summary.html"), noData);

    // The operator's header and footer replace the body tags; the note about byte counts
    // appears for a log without them (EMWAC) and not with nobytes.
    std::string emwac = "Tue Mar 05 10:00:00 2024 www 10.0.0.1 GET /e.html HTTP/1.0\n";
    r = run("extension htm\nheader\n<body class=\"top\">\nend header\nfooter\n<p>bye</p>\n</body>\nend footer\n",
            {"-s"}, emwac);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string page = readFile(reports + "/summary.htm");
    const std::string note =
        "<em>Note: your server's log file does not contain bytes-transferred\ninformation. Only access counts "
        "are available.</em>\n";
    EXPECT_EQ(page.rfind("<html><head><title>Summary from 03/05/24 to 03/05/24\n</title>\n</head><body "
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
    EXPECT_EQ(r.err, "Can't write to file! Filename: " + reports + "/summary.html\n");
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
