// `make install` as a packager runs it: DESTDIR stages the files below a directory,
// PREFIX (default /usr/local) places them. The Makefile's install-built target copies
// the binaries of this very build, so nothing is built again here. The installed
// analyser is then run with the installed sample configuration.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

// The full path of a program found on PATH, or "".
std::string onPath(const std::string &name) {
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

std::string buildDir() {
    return std::filesystem::path(QUORVEL_BIN).parent_path().string();
}

bool isExecutable(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) == 0111;
}

class InstallE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        make = onPath("make");
        if (make.empty()) GTEST_SKIP() << "make is not installed";
        // The default prefix is the Makefile's, not one of the caller's environment.
        unsetenv("PREFIX");
        unsetenv("DESTDIR");
    }
    RunResult install(const std::vector<std::string> &variables) {
        std::vector<std::string> args = {"--no-print-directory", "-C", QUORVEL_SOURCE_DIR,
                                         "install-built", "RELEASE=" + buildDir()};
        args.insert(args.end(), variables.begin(), variables.end());
        return runProgram(make, args);
    }
    TempDir dir;
    std::string make;
};

TEST_F(InstallE2e, StagedBelowDestdirUnderThePrefixThenRun) {
    const std::string prefix = "/opt/quorvel-install-check";
    std::string stage = dir.file("stage");
    RunResult r = install({"DESTDIR=" + stage, "PREFIX=" + prefix});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(fileExists(prefix)) << "DESTDIR was not honoured";

    std::string root = stage + prefix;
    EXPECT_TRUE(isExecutable(root + "/bin/quorvel"));
    EXPECT_TRUE(isExecutable(root + "/bin/quorset"));
    std::string source = QUORVEL_SOURCE_DIR;
    for (const char *page : {"quorvel.1", "quorset.1"})
        EXPECT_EQ(readFile(root + "/share/man/man1/" + page), readFile(source + "/docs/" + page))
            << page;
    std::string sample = root + "/share/doc/quorvel/examples/quorvel.conf";
    EXPECT_EQ(readFile(sample), readFile(source + "/examples/quorvel.conf"));

    // The installed programs run: the version, and a weekly analysis of the bundled
    // log with the installed sample configuration pointed at a fresh directory.
    RunResult version = runProgram(root + "/bin/quorvel", {"-v"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "quorvel 5.0 p5\n");

    std::string reports = dir.file("reports");
    std::filesystem::create_directory(reports);
    std::string config = "reportdir " + reports + "\n", line;
    std::istringstream in(readFile(sample));
    while (std::getline(in, line))
        if (line.rfind("reportdir", 0) != 0 && line.rfind("logfile", 0) != 0) config += line + "\n";
    writeFile(dir.file("q.conf"), config);
    r = runProgram(root + "/bin/quorvel",
                   {"-c", dir.file("q.conf"), "-l", source + "/examples/sample.log", "-b",
                    "03/01/2024", "-e", "03/28/2024"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fileExists(reports + "/index.html"));
    std::vector<std::string> pages = listFiles(reports);
    EXPECT_EQ(std::count_if(pages.begin(), pages.end(), isPeriodPage), 5);

    // quorset from the installed tree writes a configuration file from piped answers.
    std::string answers =
        source + "/examples/sample.log\nStats\n" + dir.file("out") + "\nwww.example.org\n";
    for (int i = 0; i < 20; ++i) answers += "\n";
    r = runProgram(root + "/bin/quorset", {dir.file("made.conf")}, answers);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(readFile(dir.file("made.conf")).find("reportdir " + dir.file("out")),
              std::string::npos);

    // Without PREFIX the files go below /usr/local. (One test for both installs: each
    // install writes its manifest into the same build directory.)
    std::string plain = dir.file("plain");
    r = install({"DESTDIR=" + plain});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(isExecutable(plain + "/usr/local/bin/quorvel"));
    EXPECT_TRUE(isExecutable(plain + "/usr/local/bin/quorset"));
    EXPECT_TRUE(fileExists(plain + "/usr/local/share/man/man1/quorvel.1"));
    EXPECT_TRUE(fileExists(plain + "/usr/local/share/man/man1/quorset.1"));
    EXPECT_TRUE(fileExists(plain + "/usr/local/share/doc/quorvel/examples/quorvel.conf"));
}

}  // namespace
