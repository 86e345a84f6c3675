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

}  // namespace
