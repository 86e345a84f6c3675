// The log stream: time-ordered merging of directory members with at most 20 open files,
// long lines in pieces, standard input, compressed members, and every fatal message.
#include "log/logs.h"

#include <bzlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/global.h"
#include "log/logbytes.h"
#include "log/logread.h"
#include "parser_fixture.h"

namespace {

namespace fs = std::filesystem;

// A log line of host "h<file>" at second t after 10 Oct 2023 00:00:00, for document "/<n>".
std::string logLine(int file, int t, int n) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "h%d - - [%02d/Oct/2023:%02d:%02d:%02d +0000] \"GET /%d HTTP/1.0\" 200 %d\n",
                  file, 10 + t / 86400, t / 3600 % 24, t / 60 % 60, t % 60, n, n);
    return line;
}

struct Delivered {
    std::string site, url;
    int t;
};

int secondsOf(const LogEntry &e) {
    return (e.day - 10) * 86400 + e.hour * 3600 + e.minute * 60 + e.second;
}

void writeFile(const std::string &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

void writeGzip(const std::string &path, const std::string &content) {
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(gzwrite(file, content.data(), static_cast<unsigned>(content.size())),
              static_cast<int>(content.size()));
    gzclose(file);
}

std::string bzip2Of(const std::string &content) {
    std::string out(content.size() + content.size() / 100 + 700, '\0');
    unsigned length = static_cast<unsigned>(out.size());
    int rc = BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char *>(content.data()),
                                      static_cast<unsigned>(content.size()), 1, 0, 0);
    EXPECT_EQ(rc, BZ_OK);
    out.resize(length);
    return out;
}

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int openFiles() {
    int count = 0;
    for (auto &entry : fs::directory_iterator("/proc/self/fd")) (void)entry, count++;
    return count;
}

class LogStream : public ::testing::Test {
  protected:
    std::string dir;
    std::string logPath;  // the text logFile points at

    void SetUp() override {
        char pattern[] = "/tmp/quorvel-logs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        parserSettingsReset();
        msDateFormat = nullptr;
    }
    void TearDown() override {
        logFile = nullptr;
        fs::remove_all(dir);
    }
    void useLog(const std::string &path) {
        logPath = path;
        logFile = logPath.data();
    }
    std::vector<Delivered> readStream() {
        std::vector<Delivered> out;
        logStreamSetup();
        LogEntry entry;
        while (logStreamRead(entry) == LOG_OK)
            out.push_back({entry.site, entry.url, secondsOf(entry)});
        EXPECT_EQ(logStreamRead(entry), LOG_END);
        logStreamShutdown();
        return out;
    }
    // Names of the directory's members in listing order.
    std::vector<std::string> listing() {
        std::vector<std::string> names;
        DIR *d = opendir(dir.c_str());
        while (dirent *m = readdir(d))
            if (std::string(m->d_name) != "." && std::string(m->d_name) != "..")
                names.push_back(m->d_name);
        closedir(d);
        return names;
    }
    // files logs whose entries all interleave: file i holds times k * files + i.
    void writeInterleaved(int files, int perFile, const char *suffix) {
        for (int i = 0; i < files; i++) {
            std::string content = "# header\n";
            for (int k = 0; k < perFile; k++) {
                content += logLine(i, k * files + i, k);
                if (k % 7 == 3) content += "not a log line\n";
            }
            std::string path = dir + "/log" + std::to_string(i) + suffix;
            if (std::string(suffix) == ".gz")
                writeGzip(path, content);
            else if (std::string(suffix) == ".bz2")
                writeFile(path, bzip2Of(content));
            else
                writeFile(path, content);
        }
    }
    void expectInterleavedComplete(int files, int perFile) {
        int baseline = openFiles();
        std::vector<Delivered> got;
        logStreamSetup();
        EXPECT_EQ(openFiles(), baseline);  // every file is closed after its first entry
        LogEntry entry;
        int most = 0;
        while (logStreamRead(entry) == LOG_OK) {
            got.push_back({entry.site, entry.url, secondsOf(entry)});
            if (got.size() % 3 == 0) most = std::max(most, openFiles() - baseline);
        }
        logStreamShutdown();
        EXPECT_EQ(openFiles(), baseline);
        EXPECT_LE(most, LOG_CHANNELS);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(files * perFile));
        for (std::size_t i = 0; i < got.size(); i++) {
            ASSERT_EQ(got[i].t, static_cast<int>(i));
            int file = static_cast<int>(i) % files, k = static_cast<int>(i) / files;
            ASSERT_EQ(got[i].site, std::string("h").append(std::to_string(file)));
            ASSERT_EQ(got[i].url, std::string("/").append(std::to_string(k)));
        }
    }
};

TEST_F(LogStream, TwoInterleavedFilesMergeInTimeOrderWithTiesToTheEarlierListed) {
    writeFile(dir + "/a.log",
              logLine(0, 0, 0) + logLine(0, 2, 1) + logLine(0, 6, 2) + logLine(0, 8, 3));
    writeFile(dir + "/b.log",
              logLine(1, 1, 0) + logLine(1, 3, 1) + logLine(1, 6, 2) + logLine(1, 9, 3));
    std::vector<std::string> names = listing();
    ASSERT_EQ(names.size(), 2u);
    std::string first = names[0] == "a.log" ? "h0" : "h1", second = first == "h0" ? "h1" : "h0";
    useLog(dir);
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 8u);
    std::vector<int> times;
    for (auto &d : got) times.push_back(d.t);
    EXPECT_EQ(times, (std::vector<int>{0, 1, 2, 3, 6, 6, 8, 9}));
    EXPECT_EQ(got[4].site, first);
    EXPECT_EQ(got[5].site, second);
    EXPECT_EQ(got[0].url, "/0");  // the first entry of each file comes exactly once
    EXPECT_EQ(got[1].url, "/0");
}

TEST_F(LogStream, TwentyFiveInterleavedFilesReadCompletely) {
    writeInterleaved(25, 40, ".log");
    useLog(dir);
    expectInterleavedComplete(25, 40);
}

// Long enough that files lose their slot far into their text, where the decoder is kept.
TEST_F(LogStream, TwentyOneInterleavedGzipFilesReadCompletely) {
    writeInterleaved(21, 300, ".gz");
    useLog(dir);
    expectInterleavedComplete(21, 300);
}

TEST_F(LogStream, TwentyFiveInterleavedBzip2FilesReadCompletely) {
    writeInterleaved(25, 8, ".bz2");
    useLog(dir);
    expectInterleavedComplete(25, 8);
}

// gzip members keep their decoder while closed; bzip2 members decode again.
TEST_F(LogStream, MixedKindsBeyondTwentyFilesReadCompletely) {
    for (int i = 0; i < 24; i++) {
        std::string content;
        for (int k = 0; k < 12; k++) content += logLine(i, k * 24 + i, k);
        std::string path = dir + "/m" + std::to_string(i);
        if (i % 3 == 0)
            writeGzip(path + ".gz", content);
        else if (i % 3 == 1)
            writeFile(path + ".bz2", bzip2Of(content));
        else
            writeFile(path, content);
    }
    useLog(dir);
    expectInterleavedComplete(24, 12);
}

TEST_F(LogStream, EmptyDirectoryStops) {
    useLog(dir);
    EXPECT_EXIT(logStreamSetup(), ::testing::ExitedWithCode(1),
                "^No web server log entries were found in the directory " + dir +
                    " or in the file " + dir + "\\.\n$");
}

TEST_F(LogStream, DirectoryWithOneEmptyFileEndsAtOnce) {
    writeFile(dir + "/empty.log", "");
    useLog(dir);
    logStreamSetup();
    LogEntry entry;
    EXPECT_EQ(logStreamRead(entry), LOG_END);
    logStreamShutdown();
}

TEST_F(LogStream, UnreadableLogStops) {
    useLog(dir + "/missing.log");
    EXPECT_EXIT(logStreamSetup(), ::testing::ExitedWithCode(1),
                "^Quorvel can't read the log file " + dir + "/missing.log or the directory " + dir +
                    "/missing.log\\.: No such file or directory\n$");
}

TEST_F(LogStream, SeparateLogModesRefuseDirectoriesButReadFiles) {
    writeFile(dir + "/ref.log", "http://a/x.html -> /y.html\n");
    useLog(dir);
    refererOnlyFlag = 1;
    EXPECT_EXIT(logStreamSetup(), ::testing::ExitedWithCode(1),
                "^Sorry, analyzing entire directories is not permitted together with\nthe -r and "
                "-u options\\. Analyze a single agent or referer log at a time,\nor pipe them all "
                "to standard input and use the '-l -' option\\.\n$");
    refererOnlyFlag = 0;
    useragentOnlyFlag = 1;
    EXPECT_EXIT(logStreamSetup(), ::testing::ExitedWithCode(1), "^Sorry, analyzing entire");
    useragentOnlyFlag = 0;

    refererOnlyFlag = 1;
    useLog(dir + "/ref.log");
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].url, "/y.html");
    refererOnlyFlag = 0;
}

TEST_F(LogStream, TheRestOfALongLineIsPassedOver) {
    std::string rest = logLine(5, 7, 1);
    rest.insert(rest.find(" HTTP"), std::string(953 - rest.size(), 'p'));  // pad the url
    ASSERT_EQ(rest.size(), 953u);
    std::string longLine = std::string(2047, 'x') + rest;  // 3000 characters
    writeFile(dir + "/one.log", logLine(1, 1, 0) + longLine + logLine(1, 9, 2));

    LogReader *reader = logReaderOpen((dir + "/one.log").c_str());
    ASSERT_NE(reader, nullptr);
    char buffer[LOG_LINE_SIZE];
    ASSERT_EQ(logReaderGets(reader, buffer, sizeof buffer),
              static_cast<int>(logLine(1, 1, 0).size()));
    ASSERT_EQ(logReaderGets(reader, buffer, sizeof buffer), 2047);
    EXPECT_EQ(std::string(buffer), std::string(2047, 'x'));
    ASSERT_EQ(logReaderGets(reader, buffer, sizeof buffer), 953);
    EXPECT_EQ(std::string(buffer), rest);
    logReaderClose(reader);

    // Only the first piece reaches the parser, though the rest looks like a log line.
    useLog(dir + "/one.log");
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].site, "h1");
    EXPECT_EQ(got[1].t, 9);
    EXPECT_EQ(logLinesRead, 3);
}

TEST_F(LogStream, UnrecognisedLinesAreCountedAndShownSafely) {
    // Comments, other services' and future entries are known; blank lines count as nothing.
    writeFile(
        dir + "/one.log",
        "# comment\n" + logLine(1, 1, 0) + "\x1b[31mred" + std::string(300, 'z') + "\r\n \t\r\n" +
            "10.0.0.1, -, 10/3/97, 13:55:36, MSFTPSVC, WEB1, 10.0.0.2, 40, 200, 1234, 200, 0, "
            "[RETR], /a, -,\n" +
            "h - - [10/Oct/2099:00:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n" + "junk\n");
    useLog(dir + "/one.log");
    readStream();
    EXPECT_EQ(logLinesRead, 6);
    EXPECT_EQ(logLinesUnrecognised, 2);
    EXPECT_EQ(logLinesUnrecognisedNoted, 2);
    EXPECT_EQ(std::string(logFirstUnrecognised), "\\x1b[31mred" + std::string(192, 'z'));

    // Of a directory, only members with a recognised line are noted, from their first line.
    fs::remove(dir + "/one.log");
    writeFile(dir + "/error.log", "[error] a\n[error] b\n");
    writeFile(dir + "/access.log", "junk before\r\n" + logLine(1, 1, 0) + "junk after\n");
    useLog(dir);
    readStream();
    EXPECT_EQ(logLinesRead, 5);
    EXPECT_EQ(logLinesUnrecognised, 4);
    EXPECT_EQ(logLinesUnrecognisedNoted, 2);
    EXPECT_STREQ(logFirstUnrecognised, "junk before");
}

TEST_F(LogStream, LastLineWithoutLineEndAndEmbeddedNul) {
    std::string content = logLine(1, 1, 0) + std::string("junk\0junk\n", 10) + logLine(1, 2, 1);
    content.pop_back();
    writeFile(dir + "/x.log", content);
    useLog(dir + "/x.log");
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].t, 2);
}

TEST_F(LogStream, RotatedDirectoryWithCompressedMembersMergesInOrder) {
    // access.log holds the newest entries, access.log.4.gz the oldest.
    std::string parts[5];
    for (int t = 0; t < 500; t++) parts[4 - t / 100] += logLine(9, t * 60, t);
    writeFile(dir + "/access.log", parts[0]);
    writeFile(dir + "/access.log.1", parts[1]);
    writeGzip(dir + "/access.log.2.gz", parts[2]);
    writeFile(dir + "/access.log.3.bz2", bzip2Of(parts[3]));
    writeGzip(dir + "/access.log.4.gz", parts[4]);
    useLog(dir);
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 500u);
    for (int t = 0; t < 500; t++) {
        ASSERT_EQ(got[t].t, t * 60);
        ASSERT_EQ(got[t].url, std::string("/").append(std::to_string(t)));
    }
}

TEST_F(LogStream, ConcatenatedGzipMembersAndBzip2StreamsAreAllRead) {
    writeGzip(dir + "/a.gz", logLine(1, 1, 0));
    writeGzip(dir + "/b.gz", logLine(1, 2, 1));
    writeFile(dir + "/both.gz", readAll(dir + "/a.gz") + readAll(dir + "/b.gz"));
    useLog(dir + "/both.gz");
    EXPECT_EQ(readStream().size(), 2u);

    writeFile(dir + "/both.bz2", bzip2Of(logLine(1, 1, 0)) + bzip2Of(logLine(1, 2, 1)));
    useLog(dir + "/both.bz2");
    EXPECT_EQ(readStream().size(), 2u);

    // Compressed data is recognised by its signature whatever the file is called.
    writeFile(dir + "/renamed", readAll(dir + "/both.gz"));
    useLog(dir + "/renamed");
    EXPECT_EQ(readStream().size(), 2u);
    EXPECT_EQ(logStreamDamaged, 0);
}

class DamagedLog : public LogStream {
  protected:
    std::string original;
    void SetUp() override {
        LogStream::SetUp();
        // Varied lines so that the compressed data is long enough to damage in the middle.
        for (int t = 0; t < 4000; t++) original += logLine(t % 97, t, t * 7919 % 100003);
    }
    // Reads the damaged file; what is delivered must be an exact prefix of the original.
    // Corrupt gzip data may still decode into text that is only found wrong by the
    // member's checksum at its end: then only the entries up to the damage are checked.
    void expectPrefix(const std::string &path, std::size_t atLeast, std::size_t below,
                      bool checkAll = true) {
        useLog(path);
        testing::internal::CaptureStderr();
        std::vector<Delivered> got = readStream();
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_NE(messages.find("The compressed log file " + path + " is damaged"),
                  std::string::npos)
            << messages;
        EXPECT_EQ(messages.find('\n'), messages.size() - 1) << "one message: " << messages;
        EXPECT_EQ(logStreamDamaged, 1);
        EXPECT_GE(got.size(), atLeast);
        EXPECT_LT(got.size(), below);
        for (std::size_t i = 0; i < (checkAll ? got.size() : atLeast); i++) {
            ASSERT_EQ(got[i].t, static_cast<int>(i));
            ASSERT_EQ(got[i].url, std::string("/").append(std::to_string(i * 7919 % 100003)));
        }
    }
};

TEST_F(DamagedLog, TruncatedGzip) {
    writeGzip(dir + "/full.gz", original);
    std::string data = readAll(dir + "/full.gz");
    writeFile(dir + "/cut.gz", data.substr(0, data.size() / 2));
    expectPrefix(dir + "/cut.gz", 1000, 4000);
    // Cut inside the header: nothing to read, still a message and no crash.
    writeFile(dir + "/head.gz", data.substr(0, 5));
    expectPrefix(dir + "/head.gz", 0, 1);
    // Only the trailer lost: every entry is there.
    writeFile(dir + "/tail.gz", data.substr(0, data.size() - 4));
    expectPrefix(dir + "/tail.gz", 4000, 4001);
}

TEST_F(DamagedLog, CorruptGzip) {
    writeGzip(dir + "/full.gz", original);
    std::string data = readAll(dir + "/full.gz");
    for (std::size_t i = data.size() / 2; i < data.size() / 2 + 64; i++) data[i] ^= 0x5a;
    writeFile(dir + "/bad.gz", data);
    expectPrefix(dir + "/bad.gz", 1000, 4100, false);
    writeFile(dir + "/plain.gz", original);  // not gzip at all
    expectPrefix(dir + "/plain.gz", 0, 1);
}

TEST_F(DamagedLog, TruncatedAndCorruptBzip2) {
    std::string data = bzip2Of(original);
    writeFile(dir + "/cut.bz2", data.substr(0, data.size() * 3 / 4));
    expectPrefix(dir + "/cut.bz2", 0, 4000);
    for (std::size_t i = data.size() / 2; i < data.size() / 2 + 64; i++) data[i] ^= 0x5a;
    writeFile(dir + "/bad.bz2", data);
    expectPrefix(dir + "/bad.bz2", 0, 4000);
}

TEST_F(DamagedLog, DamagedMemberOfADirectory) {
    writeGzip(dir + "/full.gz", original);
    std::string data = readAll(dir + "/full.gz");
    fs::remove(dir + "/full.gz");
    writeFile(dir + "/cut.gz", data.substr(0, data.size() / 2));
    writeFile(dir + "/later.log", logLine(1, 90000, 1));
    useLog(dir);
    testing::internal::CaptureStderr();
    std::vector<Delivered> got = readStream();
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find(dir + "/cut.gz is damaged"), std::string::npos);
    EXPECT_EQ(logStreamDamaged, 1);
    ASSERT_GT(got.size(), 1000u);
    EXPECT_EQ(got.back().t, 90000);
}

class StandardInput : public LogStream {
  protected:
    int saved = -1;
    void feed(const std::string &content) {
        writeFile(dir + "/stdin", content);
        int fd = open((dir + "/stdin").c_str(), O_RDONLY);
        saved = dup(0);
        dup2(fd, 0);
        close(fd);
    }
    void TearDown() override {
        if (saved >= 0) {
            dup2(saved, 0);
            close(saved);
        }
        LogStream::TearDown();
    }
};

TEST_F(StandardInput, ReadsInFileOrderWithoutMerging) {
    feed(logLine(1, 5, 0) + "junk\n" + logLine(2, 1, 1) + logLine(1, 3, 2));
    useLog("-");
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].t, 5);
    EXPECT_EQ(got[1].t, 1);
    EXPECT_EQ(got[2].t, 3);
}

TEST_F(StandardInput, GzipIsRecognisedByItsSignature) {
    std::string content;
    for (int t = 0; t < 300; t++) content += logLine(1, t, t);
    writeGzip(dir + "/in.gz", content);
    feed(readAll(dir + "/in.gz"));
    useLog("-");
    EXPECT_EQ(readStream().size(), 300u);
}

TEST_F(StandardInput, Bzip2IsRecognisedByItsSignature) {
    feed(bzip2Of(logLine(1, 1, 0) + logLine(1, 2, 1)));
    useLog("-");
    EXPECT_EQ(readStream().size(), 2u);
}

TEST_F(LogStream, FileRemovedAfterSetupStops) {
    writeFile(dir + "/a.log", logLine(0, 0, 0) + logLine(0, 2, 1));
    writeFile(dir + "/b.log", logLine(1, 1, 0) + logLine(1, 3, 1));
    useLog(dir);
    EXPECT_EXIT(
        {
            logStreamSetup();
            fs::remove(dir + "/a.log");
            LogEntry entry;
            while (logStreamRead(entry) == LOG_OK) {
            }
        },
        ::testing::ExitedWithCode(1), "^Can't reopen the file " + dir + "/a\\.log!\n$");
}

TEST_F(LogStream, Bzip2FileShortenedAfterSetupCannotSeek) {
    // Every file is closed after its first entry; a bzip2 file finds its place again by
    // decoding from the start, which fails when the file has become shorter.
    writeInterleaved(2, 3, ".bz2");
    useLog(dir);
    EXPECT_EXIT(
        {
            logStreamSetup();
            for (int i = 0; i < 2; i++)
                writeFile(dir + "/log" + std::to_string(i) + ".bz2", bzip2Of(""));
            LogEntry entry;
            while (logStreamRead(entry) == LOG_OK) {
            }
        },
        ::testing::ExitedWithCode(1), "^Can't seek in the file " + dir + "/log[0-9]+\\.bz2!\n$");
}

TEST_F(LogStream, DeliveredEntryHoldsEveryFieldOfTheLine) {
    const std::string line =
        "Client.Example ident user [10/Oct/2023:13:55:36 -0700] \"GET http://Proxy.Example/P?q "
        "HTTP/1.1\" 206 3000000000 \"http://ref.example/from\" \"Agent/1.0 (X; Y)\"\n";
    writeFile(dir + "/one.log", line);
    useLog(dir);
    LogEntry expected, got;
    ASSERT_EQ(logParseEntry(line.c_str(), expected), LOG_OK);
    std::memset(&got, 0x5a, sizeof got);
    logStreamSetup();
    ASSERT_EQ(logStreamRead(got), LOG_OK);
    logStreamShutdown();
    for (auto field : {&LogEntry::site, &LogEntry::ident, &LogEntry::authuser, &LogEntry::proxyHost,
                       &LogEntry::agent})
        EXPECT_STREQ(got.*field, expected.*field);
    for (auto field : {&LogEntry::url, &LogEntry::referer})
        EXPECT_STREQ(got.*field, expected.*field);
    for (auto field : {&LogEntry::method, &LogEntry::protocol})
        EXPECT_STREQ(got.*field, expected.*field);
    for (auto field :
         {&LogEntry::day, &LogEntry::month, &LogEntry::year, &LogEntry::hour, &LogEntry::minute,
          &LogEntry::second, &LogEntry::zone, &LogEntry::result, &LogEntry::hasBytes})
        EXPECT_EQ(got.*field, expected.*field);
    EXPECT_EQ(got.size, 3000000000LL);
    EXPECT_STREQ(got.agent, "Agent/1.0 (X; Y)");
    EXPECT_STREQ(got.proxyHost, "proxy.example");
}

TEST_F(LogStream, FileIsDirectory) {
    writeFile(dir + "/f", "x");
    fs::create_symlink(dir, dir + "/link");
    EXPECT_EQ(fileIsDirectory(dir.c_str()), 1);
    EXPECT_EQ(fileIsDirectory((dir + "/link").c_str()), 1);
    EXPECT_EQ(fileIsDirectory((dir + "/f").c_str()), 0);
    EXPECT_EQ(fileIsDirectory((dir + "/none").c_str()), 0);
}

TEST_F(LogStream, OffsetTimesDecideTheOrder) {
    offsetHours = 1;
    writeFile(dir + "/a.log", logLine(0, 23 * 3600 + 1800, 0));  // 23:30 becomes 00:30 next day
    writeFile(dir + "/b.log", logLine(1, 86400 + 600, 0));       // next day 00:10 becomes 01:10
    useLog(dir);
    std::vector<Delivered> got = readStream();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].site, "h0");
    EXPECT_EQ(got[0].t, 86400 + 1800);
}

TEST_F(LogStream, NamedPipeGivenAsTheLogIsReadToItsEnd) {
    std::string pipe = dir + "/pipe.log";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::string content;
    for (int t = 0; t < 5000; t++) content += logLine(1, t, t);
    std::thread writer([&] {
        int fd = open(pipe.c_str(), O_WRONLY);
        if (fd < 0) return;
        // In uneven pieces, as a program writing its log through a pipe would.
        std::size_t at = 0, piece = 1;
        while (at < content.size()) {
            ssize_t wrote = write(fd, content.data() + at, std::min(piece, content.size() - at));
            if (wrote <= 0) break;
            at += static_cast<std::size_t>(wrote);
            piece = piece * 3 % 9973 + 1;
        }
        close(fd);
    });
    useLog(pipe);
    std::vector<Delivered> got = readStream();
    writer.join();
    ASSERT_EQ(got.size(), 5000u);
    for (int t = 0; t < 5000; t++) ASSERT_EQ(got[t].t, t);
}

TEST_F(LogStream, NamedPipeInADirectoryIsSkippedWithAMessage) {
    ASSERT_EQ(mkfifo((dir + "/pipe.log").c_str(), 0600), 0);
    useLog(dir);
    EXPECT_EXIT(logStreamSetup(), ::testing::ExitedWithCode(1),
                "^Skipping " + dir +
                    "/pipe\\.log: it is not a regular file\\.\nNo web server log "
                    "entries were found in the directory");

    writeFile(dir + "/a.log", logLine(0, 0, 0) + logLine(0, 1, 1));
    testing::internal::CaptureStderr();
    std::vector<Delivered> got = readStream();
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(messages, "Skipping " + dir + "/pipe.log: it is not a regular file.\n");
}

// Lines handed out where the reader holds them are the pieces logReaderGets copies, at
// chunk ends, beyond the piece limit, with zero bytes and without a last line end; the
// byte after each may be changed and put back.
TEST_F(LogStream, LinesInPlaceAreThePiecesThatAreCopied) {
    std::mt19937 random(7);
    std::string content;
    while (content.size() < 400000) {
        std::size_t length = random() % 5 == 0 ? random() % 6000 : random() % 300;
        for (std::size_t i = 0; i < length; i++)
            content += random() % 50 == 0 ? '\0' : static_cast<char>('a' + random() % 26);
        content += '\n';
    }
    content += "no line end";
    writeFile(dir + "/plain.log", content);
    writeGzip(dir + "/packed.gz", content);
    for (const char *name : {"/plain.log", "/packed.gz"}) {
        std::string path = dir + name;
        LogReader *copying = logReaderOpen(path.c_str()), *inPlace = logReaderOpen(path.c_str());
        ASSERT_NE(copying, nullptr);
        ASSERT_NE(inPlace, nullptr);
        std::vector<char> copied(LOG_LINE_SIZE), spare(LOG_LINE_SIZE + LOG_PAD);
        std::size_t pieces = 0, total = 0;
        for (;;) {
            int want = logReaderGets(copying, copied.data(), LOG_LINE_SIZE);
            char *line;
            const char *limit;
            int got = logReaderLine(inPlace, spare.data(), LOG_LINE_SIZE, &line, &limit);
            ASSERT_EQ(got, want) << name << " piece " << pieces;
            if (got == 0) break;
            ASSERT_EQ(std::memcmp(line, copied.data(), static_cast<std::size_t>(got)), 0) << name;
            ASSERT_GT(limit - (line + got), 0);
            char kept = line[got];
            line[got] = '\0';
            line[got] = kept;
            pieces++;
            total += static_cast<std::size_t>(got);
        }
        EXPECT_EQ(total, content.size());
        EXPECT_EQ(logReaderTell(inPlace), logReaderTell(copying));
        logReaderClose(copying);
        logReaderClose(inPlace);
    }
}

class LogLineLayouts : public ::testing::Test {
  protected:
    void SetUp() override { parserSettingsReset(); }
    void TearDown() override { parserSettingsClear(); }
    LogEntry entry;
};

TEST_F(LogLineLayouts, UserNamesKeepBlanksAndBracketsAndTheLastDateCounts) {
    ASSERT_EQ(logParseEntry("1.2.3.4 - a [01/Jan/2030:00:00:00 +0000] b [10/Oct/2015:13:55:36 "
                            "-0700] \"GET / HTTP/1.0\" 401 5\n",
                            entry),
              LOG_OK);
    EXPECT_STREQ(entry.authuser, "a [01/Jan/2030:00:00:00 +0000] b");
    EXPECT_EQ(entry.year * 10000 + entry.month * 100 + entry.day, 20151010);
}

TEST_F(LogLineLayouts, VirtualHostIsTellingByTwoHostsBeforeTheIdent) {
    const char *line =
        "Www.Example.COM:443 2001:db8::1 - John Smith [10/Oct/2015:13:55:36 +0000] "
        "\"GET / HTTP/1.1\" 200 5 \"-\" \"ua\"\n";
    ASSERT_EQ(logParseEntry(line, entry), LOG_OK);
    EXPECT_STREQ(entry.site, "2001:db8::1");
    EXPECT_STREQ(entry.authuser, "John Smith");
    char ours[] = "www.example.com", theirs[] = "other.example.com";
    serverName = theirs;
    EXPECT_EQ(logParseEntry(line, entry), LOG_OTHER_SERVER);
    serverName = ours;
    EXPECT_EQ(logParseEntry(line, entry), LOG_OK);
    // An address with a port, then the ident and a user: an ordinary line.
    ASSERT_EQ(logParseEntry("host:8080 - J S [10/Oct/2015:13:55:36 +0000] \"GET / HTTP/1.1\" 200 "
                            "5\n",
                            entry),
              LOG_OK);
    EXPECT_STREQ(entry.site, "host:8080");
    EXPECT_STREQ(entry.authuser, "J S");
}

TEST_F(LogLineLayouts, JsonKeysCountOnlyWhenTheyAreAWholeName) {
    // Keys that a wanted name begins, or that begin with one, come after the real ones.
    ASSERT_EQ(
        logParseEntry(R"j({"ClientHost":"h","RequestMethod":"GET","RequestPath":"/a:b/c://D/e",)j"
                      R"j("DownstreamStatus":200,"DownstreamContentSize":7,"r":1,"re":2,)j"
                      R"j("StartUTC":"2024-03-04T00:00:00Z","request_Referer":"yes",)j"
                      R"j("DownstreamContentSizes":9,"DownstreamContentSiz":8,)j"
                      R"j("request_Referer2":"no","request_Refere":"no","statu":5})j",
                      entry),
        LOG_OK);
    EXPECT_EQ(entry.size, 7);
    EXPECT_EQ(entry.result, 200);
    EXPECT_STREQ(entry.referer, "yes");
    EXPECT_STREQ(entry.proxyHost, "d");
}

TEST_F(LogLineLayouts, IisYearOfFourDigitsIsThatYear) {
    int month = 0, day = 0, year = 0;
    ASSERT_EQ(parseFormattedDate("6/10/2009", &month, &day, &year), 1);
    EXPECT_EQ(year * 10000 + month * 100 + day, 20090610);
    char dayFirst[] = "dd.mm.yy";
    msDateFormat = dayFirst;
    ASSERT_EQ(parseFormattedDate("10.06.2009", &month, &day, &year), 1);
    EXPECT_EQ(year * 10000 + month * 100 + day, 20090610);
}

}  // namespace
