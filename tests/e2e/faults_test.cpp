// Runs that meet faults of the file system: a report directory that is missing, a file,
// or not writable; a page or chart that cannot be created; a history that cannot be
// read, is garbage, is very wide or has very long lines; the file-size limit reached
// while the history is written; settings the history or the directory cannot take; the
// mode of replaced files and the leftovers of a killed run; log directories with members
// that cannot be read or that vanish during the run. No run may crash, report success
// after a failure, or lose the history it had.
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "e2e/e2e_util.h"

namespace {

const int DAY = dayNumber(6, 15, 2024);
const std::vector<std::string> DAY_WINDOW = {"-b", "06/15/2024", "-e", "06/15/2024"};
const char *const DAILY = "frequency daily\ntotals\n* All\nend totals\n";
const uid_t NOBODY = 65534;

std::string num(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%20.0f", value);
    return buffer;
}

std::string writeError(const std::string &path, const std::string &reason) {
    return "Error: unable to write to " + path +
           "! Check the reportdir setting and the permissions and ownership of the directories and "
           "files.: " +
           reason + "\n";
}

// How a run is started: as another user, with a file-size limit, with a time limit,
// and with something to do while it runs.
struct RunOptions {
    bool asNobody = false;               // drop root to an unprivileged user
    long fileSizeLimit = -1;             // RLIMIT_FSIZE in bytes; SIGXFSZ is ignored
    int seconds = 60;                    // killed after this long
    std::function<void()> whileRunning;  // called in the parent once the child started
};

RunOptions asNobody() {
    RunOptions options;
    options.asNobody = true;
    return options;
}

RunOptions sizeLimit(long bytes) {
    RunOptions options;
    options.fileSizeLimit = bytes;
    return options;
}

// Whether a child can give up root (a container may not allow it). A run that is not
// root needs nothing: permissions already apply to it.
bool canRunAsNobody() {
    if (geteuid() != 0) return true;
    pid_t pid = fork();
    if (pid == 0)
        _exit(setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0 ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#define REQUIRE_UNPRIVILEGED_RUNS() \
    if (!canRunAsNobody()) GTEST_SKIP() << "this system does not let a child give up root"

RunResult runWith(const std::vector<std::string> &args, const RunOptions &options) {
    RunResult result;
    TempDir io;
    chmod(io.path.c_str(), 0777);
    std::string outPath = io.file("stdout"), errPath = io.file("stderr");
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (options.fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                                   static_cast<rlim_t>(options.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        if (options.asNobody && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
                _exit(124);
        }
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(QUORVEL_BIN));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(QUORVEL_BIN, argv.data());
        _exit(127);
    }
    if (options.whileRunning) options.whileRunning();
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

// A report directory "reports" with a configuration and a log of one day, dated
// 15 June 2024, in a temporary directory that every user may enter.
class Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        chmod(dir.path.c_str(), 0755);
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
        config = dir.file("q.conf");
        std::string text;
        for (int hour = 0; hour < 24; ++hour)
            text += logLine(6, 15, 2024, hour, "/p" + std::to_string(hour % 5));
        writeFile(log, text);
    }
    // Write permission back, so the directory can be removed whatever a test left.
    void TearDown() override { chmod(reports.c_str(), 0755); }
    RunResult run(const std::string &extra = DAILY, const RunOptions &options = {},
                  std::vector<std::string> args = DAY_WINDOW) {
        writeFile(config, minimalConfig(reports, "logfile " + log + "\n" + extra));
        args.insert(args.begin(), {"-c", config});
        return runWith(args, options);
    }
    std::string history() const { return readFile(reports + "/database.dat"); }
    // No temporary file of the atomic writes may be left behind.
    void expectNoTemporaries() const {
        for (const std::string &name : listFiles(reports))
            EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
    // A history of the days of May 2024.
    std::string oldHistory() const {
        std::string text = "Date    \tDays\t* accesses\t* bytes\n";
        for (int day = 1; day <= 31; ++day)
            text +=
                "5/" + std::to_string(day) + "/2024\t1\t" + num(day) + "\t" + num(day * 100) + "\n";
        return text;
    }
    TempDir dir;
    std::string reports, log, config;
};

TEST_F(Faults, ReportDirectoryMissingOrAFile) {
    std::filesystem::remove(reports);
    RunResult r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(reports), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(reports));

    writeFile(reports, "not a directory");
    r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(reports), std::string::npos) << r.err;
    EXPECT_EQ(readFile(reports), "not a directory");
}

TEST_F(Faults, ReportDirectoryNotWritable) {
    // Root writes everywhere: the run is made as an unprivileged user.
    REQUIRE_UNPRIVILEGED_RUNS();
    writeFile(reports + "/database.dat", oldHistory());
    chmod((reports + "/database.dat").c_str(), 0644);
    chmod(reports.c_str(), 0555);
    RunResult r = run(DAILY, asNobody());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Can't write to file! Filename: " + reports + "/"), std::string::npos)
        << r.err;

    // With the lock file already there, the first page is what cannot be written.
    chmod(reports.c_str(), 0755);
    writeFile(reports + "/quorvel.lock", "");
    chmod((reports + "/quorvel.lock").c_str(), 0666);
    chmod(reports.c_str(), 0555);
    r = run(DAILY, asNobody());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Can't write to file! Filename: " + reports + "/" + std::to_string(DAY) +
                         ".html: Permission denied\n");
    EXPECT_EQ(history(), oldHistory());
    chmod(reports.c_str(), 0755);
    expectNoTemporaries();
}

TEST_F(Faults, PageOrChartThatCannotBeCreated) {
    writeFile(reports + "/database.dat", oldHistory());
    // A directory where the page should be.
    std::string page = reports + "/" + std::to_string(DAY) + ".html";
    std::filesystem::create_directories(page + "/keep");
    RunResult r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Can't write to file! Filename: " + page + ": Is a directory\n");
    EXPECT_EQ(history(), oldHistory());
    EXPECT_TRUE(std::filesystem::is_directory(page + "/keep"));
    expectNoTemporaries();
    std::filesystem::remove_all(page);

    // A directory where the hours chart should be.
    std::string chart = reports + "/" + std::to_string(DAY) + "h.gif";
    std::filesystem::remove(chart);  // drawn before the page above failed
    std::filesystem::create_directories(chart + "/keep");
    r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Can't write to file! Filename: " + chart + ": Is a directory\n");
    EXPECT_EQ(history(), oldHistory());
    expectNoTemporaries();
    std::filesystem::remove_all(chart);

    // A file-size limit below the size of the page: the page is not left half written.
    r = run(DAILY, sizeLimit(600));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Can't write to file! Filename: " + reports + "/"), std::string::npos)
        << r.err;
    EXPECT_FALSE(fileExists(page));
    EXPECT_EQ(history(), oldHistory());
    expectNoTemporaries();

    // Nothing in the way: the same run succeeds.
    r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(history().find("6/15/2024\t1\t" + num(24)), std::string::npos) << history();
}

TEST_F(Faults, HistoryThatCannotBeRead) {
    // A file the run may not read is not an empty history: it is not replaced.
    REQUIRE_UNPRIVILEGED_RUNS();
    writeFile(reports + "/database.dat", oldHistory());
    chmod((reports + "/database.dat").c_str(), 0);
    chmod(reports.c_str(), 0777);
    RunResult r = run(DAILY, asNobody());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(
        r.err,
        "Error: unable to read " + reports +
            "/database.dat! Check the reportdir setting and the permissions and ownership of the "
            "directories and files.: Permission denied\n");
    chmod((reports + "/database.dat").c_str(), 0644);
    EXPECT_EQ(history(), oldHistory());
    EXPECT_FALSE(fileExists(reports + "/" + std::to_string(DAY) + ".html"));

    // A directory in its place can be neither read nor replaced.
    std::filesystem::remove(reports + "/database.dat");
    std::filesystem::create_directories(reports + "/database.dat/keep");
    r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, writeError(reports + "/database.dat", "Is a directory"));
    EXPECT_TRUE(std::filesystem::is_directory(reports + "/database.dat/keep"));
    expectNoTemporaries();
}

TEST_F(Faults, GarbageHistory) {
    // A history this program did not write is not replaced: the run stops, naming the
    // file and the line, and leaves it as it was.
    auto expectRefused = [&](const std::string &text) {
        writeFile(reports + "/database.dat", text);
        RunResult r = run();
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("database.dat"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("line"), std::string::npos) << r.err;
        EXPECT_TRUE(history() == text) << "database.dat was changed";
        EXPECT_FALSE(fileExists(reports + "/" + std::to_string(DAY) + ".html"));
        expectNoTemporaries();
    };
    // Binary bytes with no header.
    std::string garbage;
    for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919) % 251);
    expectRefused(garbage);

    // A good header and a good line, then one damaged line.
    const std::string good =
        "Date    \tDays\t* accesses\t* bytes\n6/1/2024\t1\t" + num(7) + "\t" + num(70) + "\n";
    for (const std::string &damaged :
         {garbage.substr(0, 300), std::string(20000, 'x'), std::string("99/99/2024\t1\t5\t5"),
          std::string("13/1/2024\t1\t5\t5"), std::string("6/0/2024\t1\t5\t5"),
          std::string("1/1/1970\t1\t5\t5"), std::string("1/1/99999\t1\t5\t5"),
          std::string("a/b/c\t1"), std::string("6/2/2024"), std::string("\t\t\t"),
          std::string("6/3/2024\t1\tnot\ta number")})
        expectRefused(good + damaged + "\n");
}

TEST_F(Faults, HistoryWithTooManyColumns) {
    auto header = [](int columns) {
        std::string text = "Date    \tDays";
        for (int i = 0; i < columns; ++i)
            text += "\tc" + std::to_string(i) + " accesses\tc" + std::to_string(i) + " bytes";
        return text + "\t* accesses\t* bytes\n";
    };
    // 5000 columns: the run stops before anything is written.
    std::string wide = header(5000) + "6/1/2024\t1\n";
    writeFile(reports + "/database.dat", wide);
    RunResult r = run();
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Error: database contains more than 4096 items for the totals list!\n");
    EXPECT_EQ(history(), wide);
    EXPECT_FALSE(fileExists(reports + "/" + std::to_string(DAY) + ".html"));

    // 4096 columns in all are still read, and the configured one is found among them.
    std::string line = "6/1/2024\t1";
    for (int i = 0; i < 4095; ++i) line.append("\t").append(num(1)).append("\t").append(num(2));
    writeFile(reports + "/database.dat",
              header(4095) + line + "\t" + num(7) + "\t" + num(70) + "\n");
    r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(history(),
              "Date    \tDays\t* accesses\t* bytes\n"
              "6/1/2024\t1\t" +
                  num(7) + "\t" + num(70) +
                  "\n"
                  "6/15/2024\t1\t" +
                  num(24) + "\t" + num(2400) + "\n");
}

TEST_F(Faults, HistoryWithVeryLongLines) {
    // Columns of patterns no longer configured make lines of over 20,000 characters; the
    // configured column comes last and must still be read, on every line.
    std::string header = "Date    \tDays";
    std::string columns;
    for (int i = 0; i < 500; ++i) {
        header += "\t/old/pattern/number/" + std::to_string(i) + " accesses\t/old/pattern/number/" +
                  std::to_string(i) + " bytes";
        columns.append("\t").append(num(i)).append("\t").append(num(i * 10));
    }
    header += "\t* accesses\t* bytes\n";
    auto line = [&](const std::string &date, int accesses) {
        return date + "\t1" + columns + "\t" + num(accesses) + "\t" + num(accesses * 10) + "\n";
    };
    ASSERT_GT(header.size(), 20000u);
    ASSERT_GT(line("6/1/2024", 7).size(), 20000u);
    writeFile(reports + "/database.dat", header + line("6/1/2024", 7) + line("6/2/2024", 8));
    RunResult r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(history(),
              "Date    \tDays\t* accesses\t* bytes\n"
              "6/1/2024\t1\t" +
                  num(7) + "\t" + num(70) +
                  "\n"
                  "6/2/2024\t1\t" +
                  num(8) + "\t" + num(80) +
                  "\n"
                  "6/15/2024\t1\t" +
                  num(24) + "\t" + num(2400) + "\n");
}

TEST_F(Faults, FileSizeLimitWhileTheHistoryIsWritten) {
    // A history larger than the limit, pages smaller than it: only the history's
    // replacement fails, and the old history survives whole.
    std::string old = "Date    \tDays\t* accesses\t* bytes\n";
    for (int day = dayNumber(1, 1, 2012); day < dayNumber(1, 1, 2024); ++day) {
        CivilDate d = dateOfDay(day);
        old += std::to_string(d.month) + "/" + std::to_string(d.day) + "/" +
               std::to_string(d.year) + "\t1\t" + num(1) + "\t" + num(100) + "\n";
    }
    ASSERT_GT(old.size(), 200000u);
    writeFile(reports + "/database.dat", old);
    RunResult r = run(DAILY, sizeLimit(150000));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, writeError(reports + "/database.dat", "File too large"));
    EXPECT_EQ(history(), old);
    EXPECT_TRUE(fileExists(reports + "/" + std::to_string(DAY) + ".html"));
    expectNoTemporaries();
}

TEST_F(Faults, TooManyTotalsAreRefusedWithTheConfiguration) {
    // The history database holds 4096 columns: one more would poison every later run.
    std::string extra = "frequency daily\ntotals\n";
    for (int i = 0; i <= 4096; ++i) extra += "/p" + std::to_string(i) + " P\n";
    RunResult r = run(extra + "end totals\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err,
              "Configuration file error at line 4102:\nmore than 4096 items for the totals list\n");
    EXPECT_TRUE(listFiles(reports).empty());
}

TEST_F(Faults, IndexNameOutsideTheReportDirectoryIsRefused) {
    RunResult r = run(std::string(DAILY) + "indexname ../x.html\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err,
              "Configuration file error at line 8:\n../x.html is not an acceptable value for the "
              "indexname option: it must be the name of a file in the report directory.\n");
    EXPECT_FALSE(fileExists(dir.file("x.html")));
}

TEST_F(Faults, ReplacedFilesKeepTheirMode) {
    ASSERT_EQ(run().status, 0);
    std::string page = reports + "/" + std::to_string(DAY) + ".html";
    chmod(page.c_str(), 0600);
    chmod((reports + "/database.dat").c_str(), 0640);
    RunResult r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(stat((reports + "/database.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(Faults, TemporariesOfAKilledRunAreRemoved) {
    const std::string stale = reports + "/" + std::to_string(DAY) + ".html.tmpAb3xY9";
    writeFile(stale, "half a page");
    writeFile(reports + "/database.dat.tmpQ1w2E3", "half a history");
    writeFile(reports + "/notes.txt.tmpAb3xY9", "not ours");
    RunResult r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fileExists(stale));
    EXPECT_FALSE(fileExists(reports + "/database.dat.tmpQ1w2E3"));
    EXPECT_EQ(readFile(reports + "/notes.txt.tmpAb3xY9"), "not ours");
}

// Summary runs over a log directory; the totals row counts what was read.
class LogDirectoryFaults : public Faults {
  protected:
    void SetUp() override {
        Faults::SetUp();
        logs = dir.file("logs");
        std::filesystem::create_directory(logs);
        chmod(logs.c_str(), 0755);
    }
    void writeLog(const std::string &name, int first, int count, int hour = 0) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += logLine(6, 15, 2024, hour + (first + i) / 3600 % 24,
                            "/f" + std::to_string(first + i));
        writeFile(logs + "/" + name, text);
    }
    RunResult summary(const RunOptions &options = {}) {
        writeFile(config,
                  minimalConfig(reports, "logfile " + logs + "\ntotals\n* All\nend totals\n"));
        return runWith({"-c", config, "-s"}, options);
    }
    std::string counted() {
        std::string page = readFile(reports + "/summary.html");
        std::string row = "<tr><td>All</td><td align=\"right\">";
        std::size_t at = page.find(row);
        if (at == std::string::npos) return "";
        at += row.size();
        return page.substr(at, page.find('<', at) - at);
    }
    std::string logs;
};

TEST_F(LogDirectoryFaults, UnreadableMembersAreSkipped) {
    writeLog("a.log", 0, 40);
    writeLog("b.log", 100, 60);
    ASSERT_EQ(symlink((logs + "/nowhere").c_str(), (logs + "/dangling.log").c_str()), 0);
    std::filesystem::create_directories(logs + "/subdirectory");
    writeLog("subdirectory/inner.log", 500, 10);
    // Compressed members that are not what their names say.
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += static_cast<char>((i * 7919) % 251);
    writeFile(logs + "/broken.gz", noise);
    writeFile(logs + "/broken.bz2", noise);
    writeFile(logs + "/empty.gz", "");
    writeFile(logs + "/truncated.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10));
    // Damaged compressed members are named and fail the run; the rest is still read.
    RunResult r = summary();
    EXPECT_EQ(r.status, 1) << r.err;
    for (const char *name : {"broken.gz", "broken.bz2", "empty.gz", "truncated.gz"})
        EXPECT_NE(r.err.find(logs + "/" + name + " is damaged"), std::string::npos) << name;
    EXPECT_EQ(counted(), "100");
    for (const char *name : {"broken.gz", "broken.bz2", "empty.gz", "truncated.gz"})
        std::filesystem::remove(logs + "/" + name);
    r = summary();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(counted(), "100");

    // A member the user may not read.
    REQUIRE_UNPRIVILEGED_RUNS();
    writeLog("secret.log", 200, 30);
    chmod((logs + "/secret.log").c_str(), 0);
    chmod(reports.c_str(), 0777);
    r = summary(asNobody());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(counted(), "100");
}

TEST_F(LogDirectoryFaults, NamedPipeMemberDoesNotHangTheRun) {
    writeLog("a.log", 0, 40);
    ASSERT_EQ(mkfifo((logs + "/pipe.log").c_str(), 0644), 0);
    RunOptions options;
    options.seconds = 10;
    RunResult r = summary(options);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(counted(), "40");
}

TEST_F(LogDirectoryFaults, MemberThatVanishesDuringTheRun) {
    // Many early entries in one file, and a file whose entries come last: it is read
    // for its first entry at setup, closed, and opened again only at the end, after it
    // was removed. The run ends alike whether a second thread reads the log or not.
    for (const char *threads : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + threads);
        writeLog("early.log", 0, 20000);
        writeLog("late.log", 0, 2, 23);
        writeFile(reports + "/database.dat", oldHistory());
        int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, (logs + "/late.log").c_str(), IN_CLOSE_NOWRITE), 0);
        bool removed = false;
        RunOptions options;
        options.whileRunning = [&] {
            struct pollfd ready = {watch, POLLIN, 0};
            if (poll(&ready, 1, 30000) == 1) removed = std::filesystem::remove(logs + "/late.log");
        };
        writeFile(config, minimalConfig(reports, "logfile " + logs + "\n" + DAILY));
        RunResult r =
            runWith({"-c", config, "-j", threads, "-b", "06/15/2024", "-e", "06/15/2024"}, options);
        close(watch);
        ASSERT_TRUE(removed);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, "Can't reopen the file " + logs + "/late.log!\n");
        EXPECT_EQ(history(), oldHistory());
        EXPECT_FALSE(fileExists(reports + "/" + std::to_string(dayNumber(6, 15, 2024)) + ".html"));
        expectNoTemporaries();
    }
}

TEST_F(LogDirectoryFaults, TextsOfEveryLengthCrossTheThreadsWhole) {
    // Entries travel between the threads packed, short texts in fixed-size steps: texts
    // around that size and at their fields' bounds must arrive whole with two threads.
    std::string text;
    int line = 0;
    for (std::size_t n : {0, 1, 15, 16, 31, 32, 33, 64, 200, 255, 300, 1200}) {
        std::string word(n, static_cast<char>('a' + line % 26)), site = "h" + word.substr(0, 60);
        text += site + ".example - u" + word.substr(0, 40) +
                " [15/Jun/2024:10:" + std::to_string(10 + line) + ":00 +0000] \"GET /p" + word +
                " HTTP/1.1\" 200 " + std::to_string(n) + " \"http://r.example/" +
                word.substr(0, 300) + "\" \"Agent" + word.substr(0, 300) + "\"\n";
        line++;
    }
    writeFile(logs + "/a.log", text);
    std::map<std::string, std::string> first;
    for (const char *threads : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + threads);
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        writeFile(config, minimalConfig(reports, "logfile " + logs +
                                                     "\nsites yes\nauthusers yes\ntop 20\n"
                                                     "topuseragents 20\ntopreferers 20\n"
                                                     "topsites 20\ntopauthusers 20\n"));
        RunResult r = runWith({"-c", config, "-j", threads, "-s"}, {});
        EXPECT_EQ(r.status, 0) << r.err;
        std::map<std::string, std::string> files;
        for (const std::string &name : listFiles(reports))
            files[name] = readFile(reports + "/" + name);
        if (first.empty())
            first = files;
        else
            EXPECT_TRUE(files == first);
    }
    EXPECT_NE(first["summary.html"].find("/p" + std::string(1200, 'l')), std::string::npos);
    EXPECT_NE(first["summary.html"].find("Agent" + std::string(250, 'j')), std::string::npos);
}

TEST_F(LogDirectoryFaults, DamagedGzipEndsAlikeWithOneOrTwoThreads) {
    // A compressed member damaged in its middle, among plain members: the same message at
    // the same place, the same status, and the same pages, charts and history.
    std::string text;
    for (int i = 0; i < 30000; ++i)
        text += logLine(6, 15 + i / 10000, 2024, i / 1000 % 10 + 1, "/z" + std::to_string(i % 700));
    writeFile(logs + "/middle.log", text);
    ASSERT_EQ(std::system(("gzip -n -f " + logs + "/middle.log").c_str()), 0);
    std::string packed = readFile(logs + "/middle.log.gz");
    for (std::size_t at = packed.size() / 2; at < packed.size() / 2 + 64; ++at) packed[at] ^= 0x5a;
    writeFile(logs + "/middle.log.gz", packed);
    writeLog("plain.log", 0, 3000, 12);
    std::map<std::string, std::string> first;
    RunResult one;
    for (const char *threads : {"1", "2"}) {
        SCOPED_TRACE(std::string("-j ") + threads);
        std::filesystem::remove_all(reports);
        std::filesystem::create_directory(reports);
        writeFile(config, minimalConfig(reports, "logfile " + logs + "\n" + DAILY));
        RunResult r =
            runWith({"-c", config, "-j", threads, "-b", "06/15/2024", "-e", "06/17/2024"}, {});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("middle.log.gz is damaged"), std::string::npos) << r.err;
        std::map<std::string, std::string> files;
        for (const std::string &name : listFiles(reports))
            files[name] = readFile(reports + "/" + name);
        if (first.empty()) {
            first = files;
            one = r;
            EXPECT_FALSE(files.empty());
        } else {
            EXPECT_EQ(r.err, one.err);
            EXPECT_TRUE(files == first);
        }
    }
}

}  // namespace
