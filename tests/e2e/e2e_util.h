// Helpers for the end-to-end tests: run a real binary with arguments and standard
// input, capture its standard output, standard error and exit status; temporary
// directories; small file helpers; day numbers and log lines for fixtures.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;  // exit status; 128 + signal number when killed by a signal
    std::string out;  // standard output
    std::string err;  // standard error
};

inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline bool fileExists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A fresh directory under the system's temporary directory, removed with its content.
struct TempDir {
    std::string path;
    TempDir() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvel-e2e-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data())) std::abort();
        path = buffer.data();
    }
    ~TempDir() {
        std::error_code ignored;
        // Give back write permission that a test may have taken away before removing.
        chmod(path.c_str(), 0700);
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

// Runs bin with args (not including the program name). stdinText is fed on standard
// input (an empty text gives immediate end of input). cwd, when not empty, is the
// working directory of the child. env entries "NAME=value" are added to the environment.
inline RunResult runProgram(const std::string &bin, const std::vector<std::string> &args,
                            const std::string &stdinText = "", const std::string &cwd = "",
                            const std::vector<std::string> &env = {}) {
    RunResult result;
    TempDir io;
    std::string inPath = io.file("stdin"), outPath = io.file("stdout"), errPath = io.file("stderr");
    writeFile(inPath, stdinText);
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        close(in);
        close(out);
        close(err);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(bin.c_str()));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

#ifdef QUORVEL_BIN
inline RunResult runQuorvel(const std::vector<std::string> &args, const std::string &stdinText = "",
                            const std::string &cwd = "", const std::vector<std::string> &env = {}) {
    return runProgram(QUORVEL_BIN, args, stdinText, cwd, env);
}
#endif
#ifdef QUORSET_BIN
inline RunResult runQuorset(const std::vector<std::string> &args, const std::string &stdinText = "",
                            const std::string &cwd = "", const std::vector<std::string> &env = {}) {
    return runProgram(QUORSET_BIN, args, stdinText, cwd, env);
}
#endif

// Names of the entries of a directory, sorted.
inline std::vector<std::string> listFiles(const std::string &dir) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A period page: a day number and ".html" (not the index or its sub-lists).
inline bool isPeriodPage(const std::string &name) {
    std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string::npos || name.substr(dot) != ".html") return false;
    for (std::size_t i = 0; i < dot; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

// Number of occurrences of needle in text.
inline int countOf(const std::string &text, const std::string &needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1))
        ++n;
    return n;
}

// The analyser's day number of a date (day 0 is 1 January 1971); names period pages.
inline int dayNumber(int month, int day, int year) {
    static const int lengths[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int b = month <= 2 ? year - 1 : year;
    int n = (year - 1971) * 365 + b / 4 - b / 100 + b / 400 - b / 1000 + b / 4000 - 476;
    for (int m = 1; m < month; ++m) n += lengths[m];
    return n + day - 1;
}

// A date of the real calendar, shifted by a number of days from today.
struct CivilDate {
    int month, day, year;
};
inline CivilDate civilDaysFromToday(int shift) {
    std::time_t now = std::time(nullptr);
    std::tm t = *std::localtime(&now);
    t.tm_mday += shift;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    std::mktime(&t);
    return {t.tm_mon + 1, t.tm_mday, t.tm_year + 1900};
}

// The date of a day number, in the analyser's calendar.
inline CivilDate dateOfDay(int n) {
    int year = 1971;
    while (dayNumber(1, 1, year + 1) <= n) ++year;
    int month = 1;
    while (month < 12 && dayNumber(month + 1, 1, year) <= n) ++month;
    return {month, n - dayNumber(month, 1, year) + 1, year};
}

// One line of the combined log format.
inline std::string logLine(int month, int day, int year, int hour, const std::string &url,
                           int code = 200, long bytes = 100, const std::string &host = "10.0.0.1",
                           const std::string &referer = "-",
                           const std::string &agent = "Agent/1.0") {
    static const char *names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buffer[4096];
    std::snprintf(
        buffer, sizeof buffer,
        "%s - - [%02d/%s/%04d:%02d:00:00 +0000] \"GET %s HTTP/1.0\" %d %ld \"%s\" \"%s\"\n",
        host.c_str(), day, names[(month + 11) % 12], year, hour, url.c_str(), code, bytes,
        referer.c_str(), agent.c_str());
    return buffer;
}

// A minimal configuration for a report directory, followed by extra lines.
inline std::string minimalConfig(const std::string &reportDir, const std::string &extra = "") {
    return "reportdir " + reportDir + "\nmydomain com\n" + extra;
}
