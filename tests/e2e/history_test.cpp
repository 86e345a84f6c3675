// The history database across runs: its format, continuing after the last stored
// period, the period in progress, totals patterns that change, failures and locking.
#include <gtest/gtest.h>
#include <sys/file.h>

#include "e2e/e2e_util.h"

namespace {

// The weekday of a day number's date, 0 Sunday, by the real calendar.
int weekdayOf(int day) {
    CivilDate d = dateOfDay(day);
    std::tm t{};
    t.tm_year = d.year - 1900;
    t.tm_mon = d.month - 1;
    t.tm_mday = d.day;
    t.tm_hour = 12;
    std::mktime(&t);
    return t.tm_wday;
}

std::string num(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%20.0f", value);
    return buffer;
}

class HistoryE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
        config = dir.file("q.conf");
    }
    RunResult run(const std::string &extra, std::vector<std::string> args = {}) {
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
    void removePages() {
        for (const std::string &name : listFiles(reports))
            if (name.find(".html") != std::string::npos || name.find(".gif") != std::string::npos)
                std::filesystem::remove(reports + "/" + name);
    }
    std::string history() const { return readFile(reports + "/database.dat"); }
    // A log line of today, and the -e argument of the first of the month three months ahead.
    static std::string todayLine(int hour) {
        CivilDate t = civilDaysFromToday(0);
        return logLine(t.month, t.day, t.year, hour, "/a.html");
    }
    static std::string threeMonthsAhead() {
        CivilDate t = civilDaysFromToday(0);
        int month = t.month + 3, year = t.year + (month > 12);
        return std::to_string(month > 12 ? month - 12 : month) + "/1/" + std::to_string(year);
    }
    TempDir dir;
    std::string reports, log, config;
};

TEST_F(HistoryE2e, FirstRunWritesOneLinePerPeriod) {
    writeFile(log, logLine(3, 4, 2024, 9, "/a.html", 200, 1000) +
                       logLine(3, 5, 2024, 9, "/b.gif", 200, 20) +
                       logLine(3, 20, 2024, 9, "/c.html", 200, 300) +
                       logLine(3, 21, 2024, 9, "/d.txt", 404, 5));
    RunResult r =
        run("totals\n*.html Pages\nend totals\ntotalsgroup\n*.gif Images\n/b* B\nend totalsgroup\n",
            {"-b", "03/04/2024", "-e", "03/21/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    int first = dayNumber(3, 4, 2024);
    first -= weekdayOf(first);
    std::string expected =
        "Date    \tDays\t*.html accesses\t*.html bytes\t*.gif accesses\t*.gif bytes\t/b* "
        "accesses\t/b* bytes\n";
    int counts[3][6] = {{1, 1000, 1, 20, 1, 20}, {0, 0, 0, 0, 0, 0}, {1, 300, 0, 0, 0, 0}};
    for (int week = 0; week < 3; ++week) {
        CivilDate date = dateOfDay(first + 7 * week);
        expected += std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
                    std::to_string(date.year) + "\t7";
        for (int c = 0; c < 6; ++c) expected.append("\t").append(num(counts[week][c]));
        expected += "\n";
    }
    EXPECT_EQ(history(), expected);
    EXPECT_EQ(pages().size(), 3u);
}

TEST_F(HistoryE2e, SecondRunReportsOnlyThePeriodInProgress) {
    int today = dayNumber(civilDaysFromToday(0).month, civilDaysFromToday(0).day,
                          civilDaysFromToday(0).year);
    std::string text;
    for (int shift : {-16, -9, -2, 0}) {
        CivilDate d = civilDaysFromToday(shift);
        text += logLine(d.month, d.day, d.year, 1, "/p.html");
    }
    writeFile(log, text);
    const std::string totals = "totals\n* All\nend totals\n";
    RunResult r = run(totals);
    ASSERT_EQ(r.status, 0) << r.err;
    int current = today - weekdayOf(today);
    int firstWeek = (today - 16) - weekdayOf(today - 16);
    int weeks = (current - firstWeek) / 7 + 1;
    EXPECT_EQ(static_cast<int>(pages().size()), weeks);
    std::string first = history();
    EXPECT_EQ(countOf(first, "\n"), weeks);  // header plus every complete week
    CivilDate currentDate = dateOfDay(current);
    std::string currentLine = std::to_string(currentDate.month) + "/" +
                              std::to_string(currentDate.day) + "/" +
                              std::to_string(currentDate.year) + "\t";
    EXPECT_EQ(first.find("\n" + currentLine), std::string::npos);

    removePages();
    r = run(totals);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pages(), (std::vector<std::string>{std::to_string(current) + ".html"}));
    EXPECT_TRUE(fileExists(reports + "/index.html"));
    EXPECT_EQ(history(), first);

    // With nopartial the period in progress is left out, and nothing is reported again.
    removePages();
    r = run(totals + "nopartial yes\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(pages().empty());
    EXPECT_EQ(history(), first);
}

TEST_F(HistoryE2e, TotalsPatternsAddedAndRemovedBetweenRuns) {
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html", 200, 10) +
                       logLine(3, 12, 2024, 9, "/b.gif", 200, 30));
    RunResult r = run("totals\n*.html Pages\n*.txt Text\nend totals\n",
                      {"-b", "03/05/2024", "-e", "03/05/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(history().substr(0, history().find('\n')),
              "Date    \tDays\t*.html accesses\t*.html bytes\t*.txt accesses\t*.txt bytes");

    r = run("totals\n*.gif Images\n*.html Pages\nend totals\n",
            {"-b", "03/12/2024", "-e", "03/12/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string h = history();
    std::vector<std::string> lines;
    for (std::size_t at = 0, next; (next = h.find('\n', at)) != std::string::npos; at = next + 1)
        lines.push_back(h.substr(at, next - at));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "Date    \tDays\t*.gif accesses\t*.gif bytes\t*.html accesses\t*.html bytes");
    EXPECT_EQ(lines[1].substr(lines[1].find('\t')),
              "\t7\t" + num(0) + "\t" + num(0) + "\t" + num(1) + "\t" + num(10));
    EXPECT_EQ(lines[2].substr(lines[2].find('\t')),
              "\t7\t" + num(1) + "\t" + num(30) + "\t" + num(0) + "\t" + num(0));
}

TEST_F(HistoryE2e, DaysValueWarning) {
    writeFile(reports + "/database.dat", "Date    \tDays\n1/1/2024\t10\n");
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html"));
    RunResult r = run("frequency monthly\n", {"-b", "03/05/2024", "-e", "03/05/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(
                  "Warning: the days value in the database\nis not appropriate for a day, week or\n"
                  "month; assuming a month."),
              std::string::npos);
    EXPECT_EQ(history(), "Date    \tDays\n1/1/2024\t31\n3/1/2024\t31\n");
}

TEST_F(HistoryE2e, StoredPeriodInProgressIsKept) {
    const std::string monthly = "frequency monthly\ntotals\n* All\nend totals\n";
    writeFile(log, todayLine(0));
    ASSERT_EQ(run(monthly, {"-e", threeMonthsAhead()}).status, 0);
    std::string stored = history();
    CivilDate t = civilDaysFromToday(0);
    ASSERT_NE(stored.find(std::to_string(t.month) + "/1/" + std::to_string(t.year) + "\t"),
              std::string::npos);
    writeFile(log, todayLine(0) + todayLine(1));
    RunResult r = run(monthly);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(history(), stored);
}

TEST_F(HistoryE2e, PeriodsAfterTodayAreNotStored) {
    writeFile(log, todayLine(0));
    RunResult r = run("frequency monthly\n", {"-e", threeMonthsAhead()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pages().size(), 4u);
    EXPECT_EQ(countOf(history(), "\n"), 2) << history();  // the header and this month
    EXPECT_EQ(countOf(r.err, "Periods after today are not stored in the history"), 1) << r.err;
}

TEST_F(HistoryE2e, DamagedHistoryIsNeitherReadNorReplaced) {
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html"));
    std::string good =
        "Date    \tDays\t* accesses\t* bytes\n2/25/2024\t7\t" + num(1) + "\t" + num(100) + "\n";
    std::string expanded = good;
    std::replace(expanded.begin(), expanded.end(), '\t', ' ');
    std::string noise;
    for (int i = 0; i < 600; ++i) noise += static_cast<char>((i * 7919) % 251);
    const std::pair<std::string, std::string> damaged[] = {
        {expanded, "line 1: the header"},
        {"Date    \tDays\t* hits\t* bytes\n", "line 1: field 3 "},
        {std::string("Date    \tDa\0s\n", 14), "line 1: the line holds a NUL byte"},
        {noise, "line 1: "},
        {"Date    \tDays\tnoblank\tx bytes\n", "line 1: field 3 "},
        {good + "3/3/2024\t7\t1\t2\n", "line 3: field 3 "},
        {"", "line 1: the file is empty"},
    };
    const std::string totals = "totals\n* All\nend totals\n";
    for (const auto &[text, what] : damaged) {
        writeFile(reports + "/database.dat", text);
        RunResult r = run(totals, {"-b", "03/05/2024", "-e", "03/05/2024"});
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_NE(r.err.find("Error: the history database " + reports +
                             "/database.dat is damaged at " + what),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(history(), text);
        EXPECT_TRUE(pages().empty());
    }
    writeFile(reports + "/database.dat", good);
    ASSERT_EQ(run(totals, {"-b", "03/05/2024", "-e", "03/05/2024"}).status, 0);
    EXPECT_EQ(history(), good + "3/3/2024\t7\t" + num(1) + "\t" + num(100) + "\n");
}

TEST_F(HistoryE2e, ShortWeekBridgesAChangeOfWeekStart) {
    // Sunday weeks, then two days up to the first Tuesday week.
    std::string old = "Date    \tDays\t* accesses\t* bytes\n2/25/2024\t7\t" + num(7) + "\t" +
                      num(70) + "\n3/3/2024\t2\t" + num(2) + "\t" + num(20) + "\n";
    writeFile(reports + "/database.dat", old);
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html", 200, 100));
    RunResult r = run("weekstart tuesday\ntotals\n* All\nend totals\n",
                      {"-b", "03/05/2024", "-e", "03/05/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Warning"), std::string::npos) << r.err;
    EXPECT_EQ(history(), old + "3/5/2024\t7\t" + num(1) + "\t" + num(100) + "\n");
}

TEST_F(HistoryE2e, FailedDatabaseWriteEndsWithStatusOne) {
    std::filesystem::create_directory(reports + "/database.dat");
    writeFile(reports + "/database.dat/old", "old history");
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html"));
    RunResult r = run("", {"-b", "03/05/2024", "-e", "03/05/2024"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "Error: unable to write to " + reports +
            "/database.dat! Check the reportdir setting and the permissions and ownership of the "
            "directories and files.: Is a directory\n");
    EXPECT_EQ(readFile(reports + "/database.dat/old"), "old history");
    for (const std::string &name : listFiles(reports))
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST_F(HistoryE2e, SecondRunAtTheSameTimeIsRefused) {
    writeFile(log, logLine(3, 5, 2024, 9, "/a.html"));
    int fd = open((reports + "/quorvel.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    RunResult r = run("", {"-b", "03/05/2024", "-e", "03/05/2024"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Another quorvel run is using the report directory " + reports +
                         "; try again later.\n");
    EXPECT_FALSE(fileExists(reports + "/database.dat"));
    close(fd);
    r = run("", {"-b", "03/05/2024", "-e", "03/05/2024"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fileExists(reports + "/database.dat"));
}

}  // namespace
