// The history database: reading by column name, adding, sorting, writing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/global.h"
#include "core/dates.h"
#include "core/mem.h"
#include "engine/engine.h"

namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void spit(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

std::string field(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%20.0f", value);
    return buffer;
}

class EngineDatabase : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quorvel-db-XXXXXX";
        dir = mkdtemp(pattern);
        myfree(reportDir);
        reportDir = mystrdup(dir.c_str());
        hashShutdown(totals);
        hashSetup(totals, 1, 2);
        frequency = FREQ_WEEKLY;
        partialEpoch = -1;
        nowDay = dateToDay(12, 31, 2099);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    void setTotals(std::initializer_list<const char *> keys) {
        hashReset(totals);
        for (const char *k : keys) hashSet(totals, k, "label", 0, 0);
    }
    std::string file() const { return dir + "/database.dat"; }
    std::string dir;
};

TEST_F(EngineDatabase, FirstRunWritesHeaderAndOneLinePerPeriod) {
    setTotals({"DIVIDER 0", "*.html", "DIVIDER 2", "*.gif"});
    databaseSetup();
    EXPECT_EQ(databaseEpochsTotal, 0);
    int first = dateToDay(3, 3, 2024);
    hashSet(totals, "*.html", "label", 12, 3400);
    hashSet(totals, "*.gif", "label", 5, 600);
    databaseEpochAdd(first, 7, totals);
    hashSet(totals, "*.html", "label", 1, 2);
    databaseEpochAdd(first + 7, 7, totals);
    partialEpoch = first + 7;  // the period in progress is not stored
    databaseShutdown();
    EXPECT_EQ(slurp(file()),
              "Date    \tDays\t*.html accesses\t*.html bytes\t*.gif accesses\t*.gif bytes\n"
              "3/3/2024\t7\t" +
                  field(12) + "\t" + field(3400) + "\t" + field(5) + "\t" + field(600) + "\n");
}

TEST_F(EngineDatabase, ColumnsAreMatchedByName) {
    spit(file(),
         "Date    \tDays\told accesses\told bytes\tkept accesses\tkept bytes\n"
         "12/1/2023\t7\t" +
             field(1) + "\t" + field(2) + "\t" + field(3) + "\t" + field(4) + "\n12/8/2023\t7\t" +
             field(5) + "\t" + field(6) + "\t" + field(7) + "\t" + field(8) + "\n");
    setTotals({"DIVIDER 0", "kept", "DIVIDER 2", "new"});
    databaseSetup();
    ASSERT_EQ(databaseEpochsTotal, 2);
    EXPECT_EQ(database[0].firstDay, dateToDay(12, 1, 2023));
    EXPECT_EQ(database[0].accesses[1], 3);  // "kept" is row 1
    EXPECT_EQ(database[0].bytes[1], 4);
    EXPECT_EQ(database[0].accesses[3], 0);  // "new" starts at 0
    EXPECT_EQ(database[1].accesses[1], 7);
    double a = 1;
    hashGetDouble(totals, "kept", 0, &a);
    EXPECT_EQ(a, 0);  // the totals rows are left at zero
    databaseShutdown();
    std::string text = slurp(file());
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "Date    \tDays\tkept accesses\tkept bytes\tnew accesses\tnew bytes");
    EXPECT_NE(text.find("12/1/2023\t7\t" + field(3) + "\t" + field(4) + "\t" + field(0) + "\t" +
                        field(0) + "\n"),
              std::string::npos);
}

TEST_F(EngineDatabase, DaysValueDecidesTheKind) {
    spit(file(), "Date    \tDays\n12/1/1997\t31\n12/2/1997\t7\n12/3/1997\t1\n");
    frequency = FREQ_DAILY;
    databaseSetup();
    testing::internal::CaptureStderr();
    databaseEpochAdd(dateToDay(12, 5, 1997), 10, totals);
    std::string warning = testing::internal::GetCapturedStderr();
    ASSERT_EQ(databaseEpochsTotal, 4);
    EXPECT_EQ(database[0].kind, 2);
    EXPECT_EQ(database[1].kind, 1);
    EXPECT_EQ(database[2].kind, 0);
    EXPECT_EQ(database[3].kind, 2);
    EXPECT_EQ(warning,
              "Warning: the days value in the database\nis not appropriate for a day, week or\n"
              "month; assuming a month.\n");
    frequency = FREQ_MONTHLY;  // rewritten with month lengths
    databaseShutdown();
    std::string text = slurp(file());
    EXPECT_NE(text.find("12/2/1997\t31\n"), std::string::npos);
    EXPECT_NE(text.find("12/3/1997\t31\n"), std::string::npos);
}

TEST_F(EngineDatabase, DamagedHistoryIsFatal) {
    spit(file(), "Date    \tDays\n12/1/2023\t7\n12/1/2023\t7\n");
    EXPECT_EXIT(databaseSetup(), ::testing::ExitedWithCode(1),
                "database.dat is damaged at line 3: the date is not later than the date of the "
                "line before.\n");
    // The reason of a file that cannot be read is the system's.
    myfree(reportDir);
    reportDir = mystrdup(file().c_str());
    EXPECT_EXIT(databaseSetup(), ::testing::ExitedWithCode(1),
                "directories and files.: Not a directory\n");
}

TEST_F(EngineDatabase, SortKeepsTheRecordAddedLast) {
    setTotals({"p"});
    databaseSetup();
    for (int i = 0; i < 40; ++i) {  // grows past the first 16 records
        hashSet(totals, "p", "label", i, 0);
        databaseEpochAdd(1000 + (i % 20) * 7, 7, totals);
    }
    databaseSort();
    ASSERT_EQ(databaseEpochsTotal, 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(database[i].firstDay, 1000 + i * 7);
        EXPECT_EQ(database[i].accesses[0], 20 + i);
    }
    EXPECT_LT(databaseEpochsCompare(&database[0], &database[1]), 0);
    databaseShutdown();
}

TEST_F(EngineDatabase, TooManyColumnsIsFatal) {
    std::string header = "Date    \tDays";
    for (int i = 0; i <= 4096; ++i) {
        std::string key = std::string("c").append(std::to_string(i));
        header += "\t" + key + " accesses\t" + key + " bytes";
    }
    spit(file(), header + "\n");
    EXPECT_EXIT(databaseSetup(), ::testing::ExitedWithCode(1),
                "Error: database contains more than 4096 items for the totals list!");
}

TEST_F(EngineDatabase, FailedWriteEndsWithStatusOneAndKeepsTheOldFile) {
    // A directory at the file's name cannot be replaced.
    std::filesystem::create_directory(file());
    spit(file() + "/keep", "old");
    databaseSetup();
    databaseEpochAdd(1000, 7, totals);
    EXPECT_EXIT(databaseShutdown(), ::testing::ExitedWithCode(1),
                "Error: unable to write to .*/database.dat! Check the reportdir setting and the "
                "permissions and ownership of the directories and files.: Is a directory\n");
    EXPECT_EQ(slurp(file() + "/keep"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);

    myfree(reportDir);
    reportDir = mystrdup((dir + "/missing").c_str());
    EXPECT_EXIT(databaseShutdown(), ::testing::ExitedWithCode(1),
                "files.: No such file or directory\n");
}

TEST_F(EngineDatabase, SymbolicLinkAtTheNameIsReplacedNotFollowed) {
    std::string target = dir + "/target";
    spit(target, "Date    \tDays\n");
    ASSERT_EQ(symlink(target.c_str(), file().c_str()), 0);
    databaseSetup();  // reads the target
    databaseEpochAdd(dateToDay(3, 3, 2024), 7, totals);
    databaseShutdown();
    EXPECT_EQ(slurp(target), "Date    \tDays\n");
    EXPECT_FALSE(std::filesystem::is_symlink(file()));
    EXPECT_EQ(slurp(file()), "Date    \tDays\n3/3/2024\t7\n");
}

}  // namespace
