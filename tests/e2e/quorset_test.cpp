// End-to-end tests of quorset: the real program is answered through a pipe on
// standard input, as an operator would answer at the console, and the file it
// writes is compared piece by piece with the expected configuration.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string lines(const std::vector<std::string> &answers) {
    std::string text;
    for (const std::string &a : answers) text += a + "\n";
    return text;
}

bool endsWith(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t countOf(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> listDir(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Result {
    int status;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// One run of a program with its standard input on a pipe that the test
// writes to, and its output collected in files that can be watched while it runs.
class Session {
  public:
    Session(const char *binary, const std::vector<std::string> &args, const std::string &cwd,
            const std::string &ioDir)
        : outPath_(ioDir + "/stdout"), errPath_(ioDir + "/stderr") {
        fs::create_directories(ioDir);
        int p[2];
        if (pipe(p) != 0) std::abort();
        pid_ = fork();
        if (pid_ == 0) {
            signal(SIGPIPE, SIG_DFL);
            dup2(p[0], 0);
            close(p[0]);
            close(p[1]);
            int o = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int e = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || chdir(cwd.c_str()) != 0) _exit(127);
            dup2(o, 1);
            dup2(e, 2);
            umask(022);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(binary));
            for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(binary, argv.data());
            _exit(127);
        }
        close(p[0]);
        in_ = p[1];
    }

    ~Session() {
        if (in_ >= 0) close(in_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void send(const std::string &text) {
        const char *p = text.data();
        size_t left = text.size();
        while (left > 0) {
            ssize_t n = write(in_, p, left);
            if (n <= 0) return;  // the program stopped reading
            p += n;
            left -= static_cast<size_t>(n);
        }
    }

    // Waits until the program's standard output holds the text.
    bool waitFor(const std::string &text) {
        for (int i = 0; i < 2000; ++i) {
            if (readFile(outPath_).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void interrupt() { kill(pid_, SIGINT); }

    std::string output() const { return readFile(outPath_); }

    Result finish() {
        close(in_);
        in_ = -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        Result r;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = readFile(outPath_);
        r.err = readFile(errPath_);
        return r;
    }

  private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = -1;
    int in_ = -1;
};

// What the written configuration should say.
struct Expect {
    std::string logPath = "/dev/null";
    std::string reportDir;
    std::string frequency = "weekly";
    std::string weekStart = "sunday";
    std::string dateFormat = "mm/dd/yy";
    std::string order = "accesses";
    std::string host = "www.example.com";
    std::string domain = "com";
    std::string dns = "off";
    std::string heading = "Web Server Statistics";
    int top = 10;
    bool sites = true;
    int topSites = 10;
    bool domains = true;
    int topDomains = 10;
    bool trails = true;
    int topTrails = 10;
    bool visits = true;
    int visitCount = 10;
    bool referers = true;
    int topReferers = 10;
    bool agents = true;
    int topAgents = 10;
    bool robotsApart = true;
    bool nocase = false;
};

std::string count(const std::string &keyword, int n) {
    return keyword + (n == -2 ? std::string(" all") : " " + std::to_string(n)) + "\n\n";
}

std::vector<std::string> expectedChunks(const Expect &e) {
    std::vector<std::string> c;
    c.push_back(
        "#This configuration file was created by quorset.\n#quorvel has additional configuration "
        "options not\n#covered by this program. Be sure to check out the\n#documentation and the "
        "example quorvel.conf file.\n\n");
    c.push_back("#Log file name\nlogfile " + e.logPath + "\n\n");
    c.push_back("#Directory where reports will be written\nreportdir " + e.reportDir + "\n\n");
    c.push_back("#Reporting frequency\nfrequency " + e.frequency + "\n\n");
    c.push_back(
        "#Page style: modern (HTML5 pages for desktops and phones, a stylesheet\n"
        "#and SVG charts) or classic (the pages of earlier versions)\npagestyle modern\n\n");
    c.push_back("#Name for the index (the history report)\n#indexname index.html\n\n");
    c.push_back("#Day of the week to start the week with\nweekstart " + e.weekStart + "\n");
    c.push_back("#Format for dates\ndateformat " + e.dateFormat + "\n");
    c.push_back(
        "#Suffixes to be removed from URLs in order\n#to merge documents that should be counted\n"
        "#only once. Example: /foo/ and /foo/index.html\nsuffixes\n/index.html\n/home.html\n"
        "/homepage.html\n/welcome.html\n/index.htm\n/homepage.htm\n/welcome.htm\n/index.shtml\n"
        "/homepage.shtml\n/welcome.shtml\n/home.cgi\n/default.shtml\n/default.html\n/default.htm\n"
        "/\nend suffixes\n\n");
    c.push_back(
        "#Documents (or patterns, using *, ? and | ) for which\n#you always want to see totals. "
        "After each pattern\n#comes the descriptive name that will appear\n#in reports. Note that "
        "the allow, ignore,\n#and suffixes rules are applied first.\ntotals\n* All accesses\n"
        "*.html|*.htm|*.shtml|*.php|*/ Pages\n*.gif|*.jpg|*.jpeg|*.png|*.svg|*.ico|*.webp Images\n"
        "/ Home Page Accesses\n#\n#This should give you ideas if you run an ISP\n#/~pemberly/* "
        "Tovan "
        "Pemberly's documents\n#\n#And how about this to total up two different URLs?\n#Note the "
        "use "
        "of | to indicate OR.\n#\n#/~pemberly/*|/cgi-pemberly/*\nend totals\n\n");
    c.push_back("#Sorting order for charts and tables\norder " + e.order + "\n\n");
    c.push_back("#We want the documents report\ndocuments on\n\n#How many documents to list\n" +
                count("top", e.top));
    c.push_back("#Our top-level URL, to create links to the documents\ntopurl http://" + e.host +
                "\n\n");
    c.push_back(
        "#Documents to be allowed in statistics (* alone matches anything)\nallow\n*\nend "
        "allow\n\n");
    c.push_back(
        "#Documents to be ignored in statistics\nignore\n#Example (commented out): ignore "
        "all .gif images\n#*.gif\nend ignore\n\n");
    c.push_back(std::string(e.trails ? "#Do list trails\ntrails on\n\n"
                                     : "#The trails report is turned off.\ntrails off\n\n") +
                "#How many trails to list\n" + count("toptrails", e.topTrails));
    c.push_back(std::string(e.visits ? "#Do list visits\nvisits on\n\n"
                                     : "#The visits report is turned off.\nvisits off\n\n") +
                "#How many visits to list\n" + count("examplevisits", e.visitCount));
    c.push_back(std::string(e.sites ? "#Do list sites\nsites on\n\n"
                                    : "#The sites report is turned off.\nsites off\n\n") +
                "#Our own top-level domain name\nmydomain " + e.domain +
                "\n\n#How many sites to list\n" + count("topsites", e.topSites));
    c.push_back("#DNS setting.\ndns " + e.dns + "\n\n");
    c.push_back(e.domains ? "#Do list domains\ndomains on\n\n#How many domains to list\n" +
                                count("topdomains", e.topDomains)
                          : "#We don't want the domains report (turned off)\ndomains off\n\n"
                            "topdomains 10\n\n");
    c.push_back(std::string(e.referers ? "#The user wants referer reports.\nreferers on\n\n"
                                       : "#No referer reports.\nreferers off\n\n") +
                count("topreferers", e.topReferers));
    c.push_back(
        "#Ignore references from the same site, in order\n#to produce a useful list of "
        "outside references\nignorereferers\nhttp://" +
        e.host + "*\nend ignorereferers\n\n");
    c.push_back(std::string(e.agents ? "#The user wants user agent reports.\nuseragents on\n\n"
                                     : "#No user agent reports.\nuseragents off\n\n") +
                count("topuseragents", e.topAgents) +
                (e.robotsApart
                     ? "#Robots (search engines, crawlers, monitors) are kept apart from people:\n"
                       "#they are counted only in the robots list and the Robots row of the\n"
                       "#overall statistics. The browser and operating-system lists show people.\n"
                       "robots apart\nbrowserfamilies yes\nsystemfamilies yes\nrobotlist yes\n\n"
                     : "#Robots are counted like people (\"robots apart\" keeps them apart).\n\n") +
                "#List the documents that were asked for but not found\nnotfound yes\n\n");
    c.push_back(
        "#Sites to be allowed in statistics (* alone matches anything)\nallowsites\n*\nend "
        "allowsites\n\n");
    c.push_back(
        "#Sites to be ignored in statistics\nignoresites\n#Example (commented out): ignore "
        "all .com sites\n#*.com\nend ignoresites\n\n");
    c.push_back(
        "#Domain groups\n#These are used to combine countries into continents.\n#Feel free to "
        "change them.\n\ndomaingroups\n"
        "Africa AO BF BI BW CF CG CI DJ DZ EG EH ET GA GF GH GM GN\n"
        "Africa JO KE KI MA MC MG ML MO MR MU MW MZ NA NE NG NR RW\n"
        "Africa SD SI SK SL SR SZ TG TN TO TZ UG ZA ZM ZR ZW\n"
        "Antarctica AQ\n"
        "Asia AE AF AZ BD BH BJ BN BT BY CM CN CV HK IL ID IL IN IR\n"
        "Asia IQ JP KG KH KP KR KW KZ LA LB LK LR LS LY MD MM MN MO\n"
        "Asia MY NP OM PH PK QA SG SY TC TD TH TJ TM TP TR TW UZ VN YE\n"
        "Australia AU FJ GU NZ ID\n"
        "Caribbean AG AI AW BB CU DM DO FK GD GP GW HT KN KY JM LC MQ\n"
        "Caribbean PM SH ST TT VC VG VI\n"
        "Europe AD AL AM AT BA BE BG CH CS CY CZ DE DK EE ES FI FR FX\n"
        "Europe GE GI GL GR HR HU IE IS IT LI LT LU MK MS MT NO NL \n"
        "Europe LV NL NO PL PT RO RU SE SI SK SU UA UK VA\n"
        "NAmerica BS BM CA CR GL MX NF NI PA PR UM US\n"
        "# NAmerica COM EDU GOV INT NATO NET ORG MIL\n"
        "SAmerica AR BO BR BZ CL CO EC GQ GY HN PE PY SV UY VE\n"
        "SouthPacific AN AS BV CC CK CX FJ FM FO GU HM IO KM MH MP MV\n"
        "SouthPacific NC PF PG PN RE SJ SO TF TK TV VU WF\n"
        "end domaingroups\n");
    c.push_back(
        "#The header section contains any HTML you wish to\n#insert at the beginning of "
        "every page.\nheader\n<body bgcolor=\"FFFFFF\">\n<h1>" +
        e.heading + "</h1>\nend header\n\n");
    c.push_back(
        "#The footer section contains any HTML you wish to\n#insert at the end of every "
        "page.\nfooter\n</body>\nend footer\n\n");
    if (e.nocase) c.push_back("#Case insensitive treatment of URLs.\nnocase\n\n");
    return c;
}

void expectConfiguration(const std::string &path, const Expect &e) {
    std::string file = readFile(path);
    std::vector<std::string> chunks = expectedChunks(e);
    size_t at = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        ASSERT_EQ(file.substr(at, chunks[i].size()), chunks[i])
            << "chunk " << i + 1 << " of " << path;
        at += chunks[i].size();
    }
    EXPECT_EQ(at, file.size()) << "unexpected text after the last chunk of " << path;
}

// The log offered by default depends on the machine; the other tests name one.
std::vector<std::string> defaultLogAnswers() {
    return {"/dev/null"};
}

// Every answer after the report directory left at its default.
const std::vector<std::string> DEFAULT_TAIL = {
    "www.example.com",  // host name
    "",
    "",  // order, frequency
    "",  // documents
    "",
    "",
    "",  // sites, count, dns
    "",
    "",  // domains, count
    "",
    "",  // trails, count
    "",
    "",  // visits, count
    "",
    "",  // referers, count
    "",
    "",  // browsers, count
    "",  // robots apart
    "",  // case
    "",
    "",  // week start, date format
};

std::string defaultDialogue(const std::string &reportDir, std::vector<std::string> head = {""}) {
    std::vector<std::string> all = head;
    for (const std::string &a : defaultLogAnswers()) all.push_back(a);
    all.push_back("");  // heading
    all.push_back(reportDir);
    all.insert(all.end(), DEFAULT_TAIL.begin(), DEFAULT_TAIL.end());
    return lines(all);
}

const char *const CANNOT_WRITE_TAIL = "Please check the directory permissions.\nExiting.\n";

class QuorsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        signal(SIGPIPE, SIG_IGN);
        std::string pattern = ::testing::TempDir() + "quorset_e2e.XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        root_ = buf.data();
        work_ = root_ + "/work";
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::unique_ptr<Session> start(const std::vector<std::string> &args,
                                   const char *binary = QUORSET_BIN) {
        return std::make_unique<Session>(binary, args, work_,
                                         root_ + "/io" + std::to_string(runs_++));
    }

    Result run(const std::vector<std::string> &args, const std::string &input) {
        auto s = start(args);
        s->send(input);
        return s->finish();
    }

    std::string root_;
    std::string work_;
    int runs_ = 0;
};

TEST_F(QuorsetTest, DefaultDialogueWritesTheWholeFile) {
    std::string reports = root_ + "/www/html/reports";
    Result r = run({}, defaultDialogue(reports));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Quorvel 5.0 interactive configuration file maker\n\n", 0), 0u);
    EXPECT_NE(r.out.find("What filename should the configuration file have?\n[quorvel.conf] "),
              std::string::npos);
    EXPECT_NE(r.out.find("\nThe configuration file name will be: quorvel.conf\n\n"),
              std::string::npos);
    EXPECT_NE(
        r.out.find("That directory does not currently exist. That's OK.\nAttempting to create "
                   "it...\n\nCreated. Permissions set to 755 (readable by the web server).\n"),
        std::string::npos);
    EXPECT_NE(r.out.find("If your server is accessed by machines\nthroughout the world, and your "
                         "log file\ncontains full hostnames, you will probably\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("\nTrails and Visits\n\n"), std::string::npos);
    // Asked after the browsers; yes by default where the robot patterns are installed.
    EXPECT_NE(r.out.find("Display how many browsers?\n[10] \nSearch engines, crawlers"),
              std::string::npos);
    EXPECT_NE(r.out.find("Keep robots apart from people? (Y or N)\n[Y] "), std::string::npos);
    EXPECT_TRUE(endsWith(r.out,
                         "\nWriting configuration file...\nDone. The file quorvel.conf is "
                         "complete.\n"))
        << r.out;

    struct stat st;
    for (const std::string &dir : {root_ + "/www", root_ + "/www/html", reports}) {
        ASSERT_EQ(stat(dir.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0755u) << dir;
    }

    Expect e;
    e.reportDir = reports;
    expectConfiguration(work_ + "/quorvel.conf", e);
    ASSERT_EQ(stat((work_ + "/quorvel.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(listDir(work_), std::vector<std::string>{"quorvel.conf"});
}

// The nearest ancestor of a path (or the path) that does not exist: what
// creating the path adds, and so what a test removes again.
fs::path firstMissing(fs::path path) {
    fs::path top;
    for (; !path.empty() && !fs::exists(fs::symlink_status(path)); path = path.parent_path())
        top = path;
    return top;
}

struct RemoveAfter {
    std::vector<fs::path> paths;
    ~RemoveAfter() {
        std::error_code ec;
        for (const fs::path &p : paths) {
            if (!p.empty()) fs::remove_all(p, ec);
        }
    }
};

// Enter at every question on a machine with an Apache log gives a file that
// the analyser runs without a word, with history charts of the totals.
TEST_F(QuorsetTest, AllDefaultsMakeAWorkingConfiguration) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to create the usual log and report places";
    const std::string apacheLog = "/var/log/apache2/access.log";
    RemoveAfter made;
    made.paths.push_back(firstMissing(apacheLog));
    if (!made.paths[0].empty()) {
        fs::create_directories(fs::path(apacheLog).parent_path());
        writeFile(apacheLog, "");
    }
    auto s = start({});
    s->send("\n\n\n");  // file name, log, heading
    const std::string ask = "What directory should quorvel write its reports to?\n[";
    ASSERT_TRUE(s->waitFor(ask));
    std::string out = s->output();
    size_t at = out.find(ask) + ask.size();
    std::string offered = out.substr(at, out.find("] ", at) - at);
    made.paths.push_back(firstMissing(offered));
    s->send(std::string(22, '\n'));
    Result r = s->finish();

    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    struct stat st;
    ASSERT_EQ(stat(offered.c_str(), &st), 0) << offered;
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    if (!made.paths[1].empty()) {
        EXPECT_EQ(st.st_mode & 07777, 0755u);
    }
    std::string conf = readFile(work_ + "/quorvel.conf");
    for (const std::string &line :
         {"logfile " + apacheLog, "reportdir " + offered, std::string("referers on"),
          std::string("useragents on"), std::string("notfound yes")}) {
        EXPECT_NE(conf.find("\n" + line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(conf.find("\ntopurl"), std::string::npos);  // the machine's name is only offered

    // The analyser, with the reports and the log in the test's directory.
    std::string reports = root_ + "/reports";
    fs::create_directories(reports);
    conf.replace(conf.find("reportdir " + offered), 10 + offered.size(), "reportdir " + reports);
    writeFile(work_ + "/quorvel.conf", conf);
    std::string log;
    for (int day : {6, 13, 14, 20}) {
        log += "10.0.0.1 - - [" + std::to_string(day) +
               "/Oct/1997:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 100 \"-\" \"Agent/1.0\"\n";
    }
    writeFile(root_ + "/access.log", log);
    r = start({"-c", work_ + "/quorvel.conf", "-l", root_ + "/access.log", "-b", "10/05/97", "-e",
               "10/25/97"},
              QUORVEL_BIN)
            ->finish();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string index = readFile(reports + "/index.html");
    // The modern pages that quorset asks for: a stylesheet and SVG history charts.
    EXPECT_NE(index.find("<img src=\"1t.svg\""), std::string::npos) << index;
    EXPECT_NE(index.find("<tr><th scope=\"row\">All accesses</th>"), std::string::npos) << index;
    EXPECT_TRUE(fs::exists(reports + "/quorvel.css"));
}

TEST_F(QuorsetTest, NoSitesSkipsDnsAndDomains) {
    std::string reports = root_ + "/reports";
    std::vector<std::string> answers = {"plain.conf"};
    for (const std::string &a : defaultLogAnswers()) answers.push_back(a);
    answers.insert(answers.end(), {"", reports, "www.example.com", "", "", "", "n",  // sites: no
                                   "", "", "", "", "", "", "", "", "", "", "", ""});
    Result r = run({}, lines(answers));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("Display how many sites?"), std::string::npos);
    EXPECT_EQ(r.out.find("DNS: on, off, or fast?"), std::string::npos);
    EXPECT_EQ(r.out.find("List the domains accessing your server?"), std::string::npos);
    Expect e;
    e.reportDir = reports;
    e.sites = false;
    e.domains = false;
    expectConfiguration(work_ + "/plain.conf", e);
    std::string file = readFile(work_ + "/plain.conf");
    for (const char *line : {"\nsites off\n", "\ntopsites 10\n", "\ndns off\n", "\ndomains off\n",
                             "\ntopdomains 10\n"}) {
        EXPECT_NE(file.find(line), std::string::npos) << line;
    }
}

TEST_F(QuorsetTest, EveryAnswerChangedWithRetries) {
    std::string log = root_ + "/access.log";
    writeFile(log, "");
    std::string reports = root_ + "/out";
    Result r = run({}, lines({"custom.conf", log,         "My Stats", reports,
                              "INTRANET",    "size",      "BYTES",  // order, asked again once
                              "Monthly",     "ALL",                 // frequency, documents
                              "y",           "25 please",           // sites
                              "maybe",       "FAST",                // dns, asked again once
                              "n",                                  // domains
                              "n",                                  // trails
                              "yes",         "all",                 // visits
                              "y",           "7",                   // referers
                              "Y",           "ALL",                 // browsers
                              "n",                                  // robots apart
                              "y",                                  // case
                              "x",           "Thursday",            // week start, asked again once
                              "DD.MM.YYYY"}));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("That file or directory cannot be accessed!"), std::string::npos);
    EXPECT_EQ(countOf(r.out,
                      "\nPlease type either accesses or bytes.\nPress enter to accept the "
                      "default.\n\n"),
              1u);
    EXPECT_EQ(
        countOf(r.out, "\nPlease type on, off, or fast.\nPress enter to accept the default.\n\n"),
        1u);
    EXPECT_NE(
        r.out.find("Since you have selected 'fast' DNS, quorvel\nprobably will not produce a "
                   "useful domains\nreport. We recommend answering n to the next\nquestion.\n\n"),
        std::string::npos);
    EXPECT_EQ(countOf(r.out,
                      "\nPlease type the weekday a new week should begin with, or press "
                      "enter\nto accept the default of Sunday.\n\n"),
              1u);
    EXPECT_EQ(countOf(r.out, "Weeks begin on: Sun, Mon, Tues, Wed, Thurs, Fri or Sat?\n[Sunday] "),
              2u);
    EXPECT_EQ(r.out.find("Display how many trails?"), std::string::npos);

    Expect e;
    e.logPath = log;
    e.reportDir = reports;
    e.heading = "My Stats";
    e.host = "INTRANET";
    e.domain = "com";
    e.order = "bytes";
    e.frequency = "monthly";
    e.top = -2;
    e.topSites = 25;
    e.dns = "fast";
    e.domains = false;
    e.trails = false;
    e.visitCount = -2;
    e.referers = true;
    e.topReferers = 7;
    e.agents = true;
    e.topAgents = -2;
    e.robotsApart = false;
    e.nocase = true;
    e.weekStart = "thursday";
    e.dateFormat = "dd.mm.yyyy";
    expectConfiguration(work_ + "/custom.conf", e);
}

TEST_F(QuorsetTest, TopDomainIgnoresClosingDotAndPort) {
    const struct {
        const char *host;
        const char *domain;
        const char *url;
    } cases[] = {{"www.Example.ORG.", "ORG", "http://www.Example.ORG."},
                 {"stats.example.net:8080", "net", "http://stats.example.net:8080"},
                 {"...", "com", "http://..."},
                 {"https://www.example.co.uk/", "uk", "https://www.example.co.uk/"}};
    for (const auto &c : cases) {
        std::string reports = root_ + "/reports";
        std::vector<std::string> answers = {""};
        for (const std::string &a : defaultLogAnswers()) answers.push_back(a);
        answers.insert(answers.end(), {"", reports, c.host});
        answers.insert(answers.end(), DEFAULT_TAIL.begin() + 1, DEFAULT_TAIL.end());
        fs::remove(work_ + "/quorvel.conf");
        Result r = run({}, lines(answers));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        std::string file = readFile(work_ + "/quorvel.conf");
        EXPECT_NE(file.find(std::string("\nmydomain ") + c.domain + "\n"), std::string::npos)
            << c.host;
        EXPECT_NE(file.find(std::string("\ntopurl ") + c.url + "\n"), std::string::npos);
        EXPECT_NE(file.find(std::string("\nignorereferers\n") + c.url + "*\n"), std::string::npos);
    }
}

TEST_F(QuorsetTest, ReportDirectoryIsAskedAgainUntilUsable) {
    std::string regular = root_ + "/plainfile";
    writeFile(regular, "x");
    std::string uncreatable = regular + "/no/such/parent";
    std::string existing = root_ + "/existing";
    fs::create_directories(existing);

    std::vector<std::string> answers = {""};
    for (const std::string &a : defaultLogAnswers()) answers.push_back(a);
    answers.insert(answers.end(), {"", regular, uncreatable, existing});
    answers.insert(answers.end(), DEFAULT_TAIL.begin(), DEFAULT_TAIL.end());
    Result r = run({}, lines(answers));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(countOf(r.out, "What directory should quorvel write its reports to?\n"), 3u);
    EXPECT_NE(
        r.out.find("\nThat path points to a regular file, not to a\ndirectory! Please specify "
                   "the path of a directory.\n\n"),
        std::string::npos);
    EXPECT_NE(
        r.out.find("That directory does not currently exist. That's OK.\nAttempting to create "
                   "it...\n\nquorset was unable to create the directory.\nPlease check the path "
                   "and make sure the permissions\nof the parent directory allow you access.\n"),
        std::string::npos);
    EXPECT_NE(r.out.find("\nThat directory already exists. That's OK.\nPlease make sure it only "
                         "contains quorvel-related\nfiles before you run quorvel.\n\n"),
              std::string::npos);
    Expect e;
    e.reportDir = existing;
    expectConfiguration(work_ + "/quorvel.conf", e);
}

TEST_F(QuorsetTest, MissingLogPathIsConfirmedOrAskedAgain) {
    std::string missing = root_ + "/nolog";
    std::vector<std::string> answers = {"",      missing, "n", missing,
                                        "maybe", "y",     "",  root_ + "/reports"};
    answers.insert(answers.end(), DEFAULT_TAIL.begin(), DEFAULT_TAIL.end());
    Result r = run({}, lines(answers));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(countOf(r.out, "In what file or directory are your access logs?"), 2u);
    EXPECT_EQ(countOf(r.out, "quorvel is designed to study the access log of your\n"), 1u);
    EXPECT_EQ(countOf(r.out, "Please enter Y or N (for Yes or No).\n"), 1u);
    EXPECT_NE(readFile(work_ + "/quorvel.conf").find("\nlogfile " + missing + "\n"),
              std::string::npos);
}

TEST_F(QuorsetTest, DecliningToOverwriteAsksForAnotherName) {
    std::string old = "#an operator's own configuration\nreportdir /srv/usage\n";
    writeFile(work_ + "/existing.conf", old);
    std::string reports = root_ + "/reports";
    Result r = run({"existing.conf"}, defaultDialogue(reports, {"n", "fresh.conf"}));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(
        r.out.find("\nThe configuration file name will be: existing.conf\n\nThat file already "
                   "exists! Do you want to overwrite it? (Y or N)\n[N] "),
        std::string::npos);
    EXPECT_EQ(countOf(r.out, "What filename should the configuration file have?"), 1u);
    EXPECT_NE(r.out.find("\nThe configuration file name will be: fresh.conf\n\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Done. The file fresh.conf is complete.\n"), std::string::npos);
    EXPECT_EQ(readFile(work_ + "/existing.conf"), old);
    Expect e;
    e.reportDir = reports;
    expectConfiguration(work_ + "/fresh.conf", e);
}

TEST_F(QuorsetTest, OverwriteKeepsPermissionsAndFollowsLink) {
    writeFile(work_ + "/real.conf", "old\n");
    ASSERT_EQ(chmod((work_ + "/real.conf").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.conf", (work_ + "/link.conf").c_str()), 0);
    std::string reports = root_ + "/reports";
    Result r = run({"link.conf"}, defaultDialogue(reports, {"y"}));

    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_symlink(work_ + "/link.conf"));
    Expect e;
    e.reportDir = reports;
    expectConfiguration(work_ + "/real.conf", e);
    struct stat st;
    ASSERT_EQ(stat((work_ + "/real.conf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(listDir(work_), (std::vector<std::string>{"link.conf", "real.conf"}));
}

// Every default answer except the one to the last question.
std::string answersBeforeDateFormat(const std::string &reports, std::vector<std::string> head) {
    std::string all = defaultDialogue(reports, head);
    return all.substr(0, all.size() - 1);
}

TEST_F(QuorsetTest, InterruptedDialogueLeavesTheOldFileIntact) {
    const std::string old = "#kept\nreportdir /srv/usage\nmydomain org\n";
    writeFile(work_ + "/existing.conf", old);

    {  // end of input in the middle of the dialogue
        Result r = run({"existing.conf"}, lines({"y", "/"}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Session aborted! No configuration file written.\n");
        EXPECT_EQ(readFile(work_ + "/existing.conf"), old);
        EXPECT_EQ(listDir(work_), std::vector<std::string>{"existing.conf"});
    }
    {  // Ctrl-C at the very last question
        auto s = start({"existing.conf"});
        s->send(answersBeforeDateFormat(root_ + "/reports", {"y"}));
        ASSERT_TRUE(s->waitFor("Date Format?\n[mm/dd/yy] "));
        EXPECT_EQ(readFile(work_ + "/existing.conf"), old);
        EXPECT_EQ(listDir(work_), std::vector<std::string>{"existing.conf"});
        s->interrupt();
        Result r = s->finish();
        EXPECT_EQ(r.status, 128 + SIGINT);
        EXPECT_EQ(readFile(work_ + "/existing.conf"), old);
        EXPECT_EQ(listDir(work_), std::vector<std::string>{"existing.conf"});
    }
}

TEST_F(QuorsetTest, UnwritableFileStopsBeforeTheDialogue) {
    for (std::string name : {"missing/dir/q.conf", ""}) {
        Result r = run({name}, "\n");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.out.find("\nThe configuration file name will be: " + name +
                             "\n\nquorset cannot open the file: " + name + "\n" +
                             std::string(CANNOT_WRITE_TAIL)),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("access logs"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
}

// A link that someone else planted in a shared directory must not lead the
// new file onto a file of the user running quorset.
TEST_F(QuorsetTest, ForeignLinkIsNotFollowed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the link away";
    writeFile(work_ + "/real.conf", "old\n");
    ASSERT_EQ(symlink("real.conf", (work_ + "/link.conf").c_str()), 0);
    ASSERT_EQ(lchown((work_ + "/link.conf").c_str(), 65534, 65534), 0);  // nobody
    Result r = run({"link.conf"}, defaultDialogue(root_ + "/reports", {"y"}));

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("quorset cannot open the file: link.conf\nIts path leads through a "
                         "symbolic link that belongs to another\nuser"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readFile(work_ + "/real.conf"), "old\n");
}

TEST_F(QuorsetTest, FailedFinalWriteIsReportedAndKeepsNothingBehind) {
    fs::create_directories(work_ + "/conf");
    auto s = start({"conf/q.conf"});
    s->send(answersBeforeDateFormat(root_ + "/reports", {}));
    ASSERT_TRUE(s->waitFor("Date Format?\n[mm/dd/yy] "));
    ASSERT_TRUE(fs::remove(work_ + "/conf"));  // the directory vanishes during the dialogue
    s->send("\n");
    Result r = s->finish();

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.out.find("\nWriting configuration file...\nquorset cannot open the file: conf/q.conf\n" +
                   std::string(CANNOT_WRITE_TAIL)),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Done."), std::string::npos);
    EXPECT_EQ(listDir(work_), std::vector<std::string>{});
}

TEST_F(QuorsetTest, TwoArgumentsPrintUsage) {
    Result r = run({"a.conf", "b.conf"}, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Usage: quorset filename.conf\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(listDir(work_), std::vector<std::string>{});
    for (const char *help : {"-h", "--help"}) {
        r = run({help}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: quorset filename.conf\n", 0), 0u) << r.out;
        EXPECT_EQ(listDir(work_), std::vector<std::string>{});
    }
}

TEST_F(QuorsetTest, QuorsetFileIsAcceptedByAnalyser) {
    std::string log = root_ + "/access.log";
    writeFile(log, "");
    std::string reports = root_ + "/reports";
    std::vector<std::string> plain = {"plain.conf", log, "", reports};
    plain.insert(plain.end(), DEFAULT_TAIL.begin(), DEFAULT_TAIL.end());
    std::vector<std::string> varied = {"varied.conf", log,     "Usage", reports, "www.example.org.",
                                       "bytes",       "daily", "all",   "y",     "all",
                                       "fast",        "y",     "all",   "y",     "all",
                                       "y",           "all",   "y",     "all",   "y",
                                       "all",         "n",     "y",     "mon",   "yyyy-mm-dd"};
    ASSERT_EQ(run({}, lines(plain)).status, 0);
    ASSERT_EQ(run({}, lines(varied)).status, 0);

    for (const char *conf : {"plain.conf", "varied.conf"}) {
        auto s = start({"-c", work_ + "/" + conf, "-e", "01/01/71"}, QUORVEL_BIN);
        Result r = s->finish();
        if (r.err.find("quorvel: not built yet") != std::string::npos) {
            GTEST_SKIP() << "the analyser is not available yet";
        }
        EXPECT_EQ(r.status, 0) << conf << "\n" << r.err;
        EXPECT_EQ(r.err.find("Configuration file"), std::string::npos) << conf << "\n" << r.err;
    }
}

}  // namespace
