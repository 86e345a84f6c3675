// The analyser's command line: options, messages, exit statuses and the console
// dialogue that asks for a configuration file.
#include <gtest/gtest.h>

#include "e2e/e2e_util.h"

namespace {

class CliE2e : public ::testing::Test {
  protected:
    void SetUp() override {
        reports = dir.file("reports");
        std::filesystem::create_directory(reports);
        log = dir.file("access.log");
        writeFile(log, logLine(3, 5, 2024, 10, "/a.html") + logLine(3, 6, 2024, 11, "/b.html"));
        config = dir.file("q.conf");
        writeFile(config, minimalConfig(reports, "logfile " + log + "\n"));
    }
    TempDir dir;
    std::string reports, log, config;
};

const char *kBeginMessage =
    "-b requires a valid date in one of the following formats: MM/DD, MM/DD/YY or MM/DD/YYYY.\n";
const char *kEndMessage =
    "-e requires a valid date in one of the following formats: MM/DD, MM/DD/YY or MM/DD/YYYY "
    "format.\n";
const char *kExplanation =
    "If you do not have a configuration file yet,\nrun quorset to create one or edit the\n"
    "sample configuration file. You can avoid\nthis prompt in the future by specifying\n"
    "the -c option. Example: -c configfilename\n\n";

TEST_F(CliE2e, VersionAndHelp) {
    RunResult r = runQuorvel({"-v"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quorvel 5.0 p5\n");
    EXPECT_EQ(r.out, "");

    // Arguments after -v are never looked at; a -c before it has been read.
    r = runQuorvel({"-c", config, "-v", "-c", dir.file("missing.conf")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "quorvel 5.0 p5\n");
    r = runQuorvel({"-c", dir.file("missing.conf"), "-v"});
    EXPECT_EQ(r.status, 1);

    for (const char *option : {"-h", "--help"}) {
        r = runQuorvel({option});
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_NE(r.out.find("Usage: quorvel"), std::string::npos);
        EXPECT_NE(r.out.find("-c FILE"), std::string::npos);
        EXPECT_NE(r.out.find("Exit status"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(listFiles(reports).empty());
}

TEST_F(CliE2e, StartUpFailures) {
    for (const char *option : {"-c", "-l", "-b", "-e"}) {
        RunResult r = runQuorvel({"-c", config, option});
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_EQ(r.err, std::string("Argument missing for option ") + option + "\n");
    }

    RunResult r = runQuorvel({"-c", dir.file("nothere.conf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't open configuration file " + dir.file("nothere.conf") +
                         ": No such file or directory\n");
    // Only a regular file is read: a directory or a device would read as nothing or forever.
    r = runQuorvel({"-c", dir.path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't open configuration file " + dir.path + ": it is a directory\n");
    r = runQuorvel({"-c", "/dev/zero"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't open configuration file /dev/zero: it is not a regular file\n");

    // -c takes the next argument whatever it looks like.
    r = runQuorvel({"-c", "-l", log});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't open configuration file -l: No such file or directory\n");

    for (const char *date : {"x", "12", "13/01/2024", "00/10/2024", "-3/4/2024"}) {
        r = runQuorvel({"-c", config, "-b", date});
        EXPECT_EQ(r.status, 1) << date;
        EXPECT_EQ(r.err, kBeginMessage) << date;
        r = runQuorvel({"-c", config, "-e", date});
        EXPECT_EQ(r.status, 1) << date;
        EXPECT_EQ(r.err, kEndMessage) << date;
    }

    std::string nolog = dir.file("nolog.conf");
    writeFile(nolog, minimalConfig(reports));
    r = runQuorvel({"-c", nolog});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "logfile not specified. Please specify a logfile in\nthe configuration file, or use the -l "
        "option on\nthe command line.\n");

    r = runQuorvel({"-c", config, "-b", "03/10/2024", "-e", "03/01/2024"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: begin date is later than end date!\n");

    r = runQuorvel({"-c", config, "-r", "-u"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-r and -u options cannot be used together"), std::string::npos);

    EXPECT_TRUE(listFiles(reports).empty());  // nothing is written before the run starts

    std::string gone = dir.file("gone");
    writeFile(dir.file("gone.conf"), minimalConfig(gone, "logfile " + log + "\n"));
    r = runQuorvel({"-c", dir.file("gone.conf"), "-s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Can't write to file! Filename: " + gone +
                         "/quorvel.lock: No such file or directory\n");
}

TEST_F(CliE2e, UnknownOptionsOnlyWarn) {
    RunResult r = runQuorvel({"-x", "-c", config, "-cc", "-S", "access.log", "-s"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "Unknown option: -x\nUnknown option: -cc\nUnknown option: -S\nUnknown option: "
              "access.log\n");
    EXPECT_TRUE(fileExists(reports + "/summary.html"));
}

TEST_F(CliE2e, ConfigurationGivenTwice) {
    std::string second = dir.file("daily.conf");
    writeFile(second, "frequency daily\nmydomain org\n");
    RunResult r = runQuorvel({"-c", config, "-c", second, "-b", "03/05/2024", "-e", "03/06/2024"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(
                  "Configuration file warning at line 2:\nmydomain keyword given more than once\n"),
              std::string::npos);
    // Daily pages: the second file's frequency on top of the first file's directory.
    EXPECT_TRUE(fileExists(reports + "/" + std::to_string(dayNumber(3, 5, 2024)) + ".html"));
    EXPECT_TRUE(fileExists(reports + "/" + std::to_string(dayNumber(3, 6, 2024)) + ".html"));
}

TEST_F(CliE2e, LogOptionBeforeAndAfterConfiguration) {
    std::string other = dir.file("other.log");
    writeFile(other, logLine(3, 5, 2024, 10, "/only-in-other.html"));
    for (int before = 0; before < 2; ++before) {
        std::filesystem::remove(reports + "/summary.html");
        std::vector<std::string> args =
            before ? std::vector<std::string>{"-l", other, "-c", config, "-s"}
                   : std::vector<std::string>{"-c", config, "-l", other, "-s"};
        RunResult r = runQuorvel(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string page = readFile(reports + "/summary.html");
        EXPECT_NE(page.find("only-in-other.html"), std::string::npos) << before;
        EXPECT_EQ(page.find("/a.html"), std::string::npos) << before;
    }
}

TEST_F(CliE2e, DialogueDefaultsToQuorvelConf) {
    writeFile(dir.file("quorvel.conf"),
              minimalConfig(reports, "logfile " + log + "\nfrequency summary\n"));
    RunResult r = runQuorvel({}, "\n", dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, std::string("No configuration file was specified.\n") + kExplanation);
    EXPECT_EQ(r.out, "Configuration file name\n[quorvel.conf] ");
    EXPECT_TRUE(fileExists(reports + "/summary.html"));
}

TEST_F(CliE2e, DialogueAsksAgainAndStopsAtEndOfInput) {
    RunResult r = runQuorvel({}, "nothere.conf\n", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("No configuration file was specified.\n") + kExplanation +
                         "Can't open configuration file nothere.conf: No such file or directory\n"
                         "Check the filename and try again, or press control-C and run quorset\n"
                         "to create a configuration file.\n" +
                         kExplanation + "Session aborted! No configuration file written.\n");
    EXPECT_EQ(countOf(r.out, "Configuration file name\n[quorvel.conf] "), 2);

    r = runQuorvel({}, "", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Session aborted!"), std::string::npos);
}

TEST_F(CliE2e, DialogueFileReplacesLogOption) {
    std::string other = dir.file("other.log");
    writeFile(other, logLine(3, 5, 2024, 10, "/only-in-other.html"));
    RunResult r = runQuorvel({"-l", other, "-s"}, config + "\n", dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("logfile keyword given more than once"), std::string::npos);
    std::string page = readFile(reports + "/summary.html");
    EXPECT_EQ(page.find("only-in-other.html"), std::string::npos);
    EXPECT_NE(page.find("/a.html"), std::string::npos);
}

}  // namespace
