// quorset: asks the operator about the web server and its logs on the console,
// creates the report directory and writes a commented quorvel configuration file.
//
// The configuration file is replaced safely: an existing file stays untouched
// until the very end, the new text goes to a temporary file in the same
// directory, and only a completely written temporary file is renamed over it.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/strhack.h"
#include "console/ui.h"
#include "core/exit.h"
#include "core/outfile.h"

namespace {

// The answers of one run; nothing reaches the configuration file before the
// whole dialogue is over.
struct Answers {
    char configName[PATH_MAX];
    char logPath[UI_ANSWER_SIZE];
    char heading[UI_ANSWER_SIZE];
    char reportDir[UI_ANSWER_SIZE];
    char hostName[UI_ANSWER_SIZE];
    int hostTyped;  // 0 when the offered name of this machine was accepted
    char siteUrl[UI_ANSWER_SIZE + 8];
    char topDomain[UI_ANSWER_SIZE];
    char order[UI_ANSWER_SIZE];
    char frequency[UI_ANSWER_SIZE];
    int topDocuments;
    int sitesFlag;
    int topSites;
    char dns[UI_ANSWER_SIZE];
    int domainsFlag;
    int topDomains;
    int trailsFlag;
    int topTrails;
    int visitsFlag;
    int exampleVisits;
    int referersFlag;
    int topReferers;
    int useragentsFlag;
    int topUseragents;
    int robotsApart;
    int nocaseFlag;
    char weekStart[UI_ANSWER_SIZE];
    char dateFormat[UI_ANSWER_SIZE];
};

// Where the usual servers and distributions keep the access log; the first one
// that exists is offered.
const char *const logCandidates[] = {
    "/var/log/apache2/access.log",         // Apache on Debian and Ubuntu
    "/var/log/httpd/access_log",           // Apache on Red Hat and Fedora
    "/var/log/nginx/access.log",           // nginx
    "/var/log/apache2/access_log",         // Apache on SUSE
    "/var/log/apache/access.log",          // older Debian
    "/var/log/httpd-access.log",           // Apache on FreeBSD
    "/var/log/lighttpd/access.log",        // lighttpd
    "/usr/local/apache2/logs/access_log",  // Apache built from source
};

// Offered when none of them exists; it cannot be accepted.
const char *const LOG_PLACEHOLDER = "/path/to/your/access.log";

// Document roots of the usual web servers; the reports go into a new directory
// below the first one that exists, so the web server can serve them.
const char *const webRoots[] = {"/var/www/html", "/srv/www/htdocs", "/usr/share/nginx/html",
                                "/var/www"};

const char *const domainGroupLines[] = {
    "Africa AO BF BI BW CF CG CI DJ DZ EG EH ET GA GF GH GM GN",
    "Africa JO KE KI MA MC MG ML MO MR MU MW MZ NA NE NG NR RW",
    "Africa SD SI SK SL SR SZ TG TN TO TZ UG ZA ZM ZR ZW",
    "Antarctica AQ",
    "Asia AE AF AZ BD BH BJ BN BT BY CM CN CV HK IL ID IL IN IR",
    "Asia IQ JP KG KH KP KR KW KZ LA LB LK LR LS LY MD MM MN MO",
    "Asia MY NP OM PH PK QA SG SY TC TD TH TJ TM TP TR TW UZ VN YE",
    "Australia AU FJ GU NZ ID",
    "Caribbean AG AI AW BB CU DM DO FK GD GP GW HT KN KY JM LC MQ",
    "Caribbean PM SH ST TT VC VG VI",
    "Europe AD AL AM AT BA BE BG CH CS CY CZ DE DK EE ES FI FR FX",
    "Europe GE GI GL GR HR HU IE IS IT LI LT LU MK MS MT NO NL ",
    "Europe LV NL NO PL PT RO RU SE SI SK SU UA UK VA",
    "NAmerica BS BM CA CR GL MX NF NI PA PR UM US",
    "# NAmerica COM EDU GOV INT NATO NET ORG MIL",
    "SAmerica AR BO BR BZ CL CO EC GQ GY HN PE PY SV UY VE",
    "SouthPacific AN AS BV CC CK CX FJ FM FO GU HM IO KM MH MP MV",
    "SouthPacific NC PF PG PN RE SJ SO TF TK TV VU WF",
};

void say(const char *text) {
    std::fputs(text, stdout);
}

[[noreturn]] void cannotWrite(const char *name) {
    std::printf("quorset cannot open the file: %s\n", name);
    say("Please check the directory permissions.\n");
    say("Exiting.\n");
    MyExit(1);
}

[[noreturn]] void refuseLink(const char *name) {
    std::printf("quorset cannot open the file: %s\n", name);
    say("Its path leads through a symbolic link that belongs to another\n");
    say("user, and quorset does not follow such links.\n");
    say("Exiting.\n");
    MyExit(1);
}

enum { TARGET_OK, TARGET_BAD, TARGET_FOREIGN_LINK };

// The file that the configuration name really stands for, found by following
// its symbolic links one by one, so that the finished file replaces the target
// and not the link. As the kernel's protected-symlinks rule does, a link that
// belongs to neither root nor the user running quorset is not followed: in a
// shared directory it could point anywhere, and quorset often runs as root.
int resolveTarget(const char *name, char *target, size_t size) {
    std::string pending = name;
    std::string done = pending[0] == '/' ? "/" : "";
    size_t at = 0;
    int links = 0;
    while ((at = pending.find_first_not_of('/', at)) != std::string::npos) {
        size_t end = std::min(pending.find('/', at), pending.size());
        std::string next = done;
        if (!next.empty() && next.back() != '/') next += '/';
        next.append(pending, at, end - at);
        at = end;
        struct stat st;
        if (lstat(next.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        if (st.st_uid != 0 && st.st_uid != geteuid()) return TARGET_FOREIGN_LINK;
        char link[PATH_MAX];
        ssize_t n = readlink(next.c_str(), link, sizeof link - 1);
        if (n <= 0 || ++links > 40) return TARGET_BAD;
        link[n] = '\0';
        std::string rest = pending.substr(at);
        pending.assign(link);
        pending += rest;
        at = 0;
        if (link[0] == '/') done.assign(1, '/');
    }
    int n = std::snprintf(target, size, "%s", done.empty() ? "." : done.c_str());
    return n >= 0 && static_cast<size_t>(n) < size ? TARGET_OK : TARGET_BAD;
}

// Tests whether the configuration can be written later without touching an
// existing file: that file must open for appending (no truncation) and the
// directory must accept a new file.
int canWriteConfiguration(const char *name) {
    // No file can have an empty name or one that ends with a slash.
    if (name[0] == '\0' || name[std::strlen(name) - 1] == '/') return 0;
    char target[PATH_MAX];
    int resolved = resolveTarget(name, target, sizeof target);
    if (resolved == TARGET_FOREIGN_LINK) refuseLink(name);
    if (resolved != TARGET_OK) return 0;

    struct stat st;
    if (stat(target, &st) == 0) {
        if (!S_ISREG(st.st_mode)) return 0;
        int fd = open(target, O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return 0;
        close(fd);
    } else if (errno != ENOENT) {
        return 0;
    }

    OutFile probe;
    if (!outOpen(probe, target)) return 0;
    outAbandon(probe);
    return 1;
}

void writeCount(FILE *f, const char *keyword, int count) {
    if (count == COUNT_ALL) {
        std::fprintf(f, "%s all\n\n", keyword);
    } else {
        std::fprintf(f, "%s %d\n\n", keyword, count);
    }
}

void writeChunks(FILE *f, const Answers &a) {
    std::fputs(
        "#This configuration file was created by quorset.\n"
        "#quorvel has additional configuration options not\n"
        "#covered by this program. Be sure to check out the\n"
        "#documentation and the example quorvel.conf file.\n\n",
        f);

    std::fprintf(f, "#Log file name\nlogfile %s\n\n", a.logPath);
    std::fprintf(f, "#Directory where reports will be written\nreportdir %s\n\n", a.reportDir);
    std::fprintf(f, "#Reporting frequency\nfrequency %s\n\n", a.frequency);
    std::fputs(
        "#Page style: modern (HTML5 pages for desktops and phones, a stylesheet\n"
        "#and SVG charts) or classic (the pages of earlier versions)\npagestyle modern\n\n",
        f);
    std::fputs("#Name for the index (the history report)\n#indexname index.html\n\n", f);
    std::fprintf(f, "#Day of the week to start the week with\nweekstart %s\n", a.weekStart);
    std::fprintf(f, "#Format for dates\ndateformat %s\n", a.dateFormat);

    std::fputs(
        "#Suffixes to be removed from URLs in order\n"
        "#to merge documents that should be counted\n"
        "#only once. Example: /foo/ and /foo/index.html\n"
        "suffixes\n/index.html\n/home.html\n/homepage.html\n/welcome.html\n/index.htm\n"
        "/homepage.htm\n/welcome.htm\n/index.shtml\n/homepage.shtml\n/welcome.shtml\n"
        "/home.cgi\n/default.shtml\n/default.html\n/default.htm\n/\nend suffixes\n\n",
        f);

    std::fputs(
        "#Documents (or patterns, using *, ? and | ) for which\n"
        "#you always want to see totals. After each pattern\n"
        "#comes the descriptive name that will appear\n"
        "#in reports. Note that the allow, ignore,\n"
        "#and suffixes rules are applied first.\n"
        "totals\n"
        "* All accesses\n"
        "*.html|*.htm|*.shtml|*.php|*/ Pages\n"
        "*.gif|*.jpg|*.jpeg|*.png|*.svg|*.ico|*.webp Images\n"
        "/ Home Page Accesses\n"
        "#\n"
        "#This should give you ideas if you run an ISP\n"
        "#/~pemberly/* Tovan Pemberly's documents\n"
        "#\n"
        "#And how about this to total up two different URLs?\n"
        "#Note the use of | to indicate OR.\n"
        "#\n"
        "#/~pemberly/*|/cgi-pemberly/*\n"
        "end totals\n\n",
        f);

    std::fprintf(f, "#Sorting order for charts and tables\norder %s\n\n", a.order);

    std::fputs("#We want the documents report\ndocuments on\n\n#How many documents to list\n", f);
    writeCount(f, "top", a.topDocuments);

    if (a.hostTyped) {
        std::fprintf(f, "#Our top-level URL, to create links to the documents\ntopurl %s\n\n",
                     a.siteUrl);
    } else {
        // The machine's own name is often not the one the world knows the
        // server by; links without it stay on the server that shows them.
        std::fprintf(f,
                     "#Our top-level URL, to create links to the documents.\n"
                     "#Remove the # below if this is the name that people\n"
                     "#outside use for this server.\n#topurl %s\n\n",
                     a.siteUrl);
    }
    std::fputs(
        "#Documents to be allowed in statistics (* alone matches anything)\n"
        "allow\n*\nend allow\n\n",
        f);
    std::fputs(
        "#Documents to be ignored in statistics\n"
        "ignore\n#Example (commented out): ignore all .gif images\n#*.gif\nend ignore\n\n",
        f);

    if (a.trailsFlag) {
        std::fputs("#Do list trails\ntrails on\n\n", f);
    } else {
        std::fputs("#The trails report is turned off.\ntrails off\n\n", f);
    }
    std::fputs("#How many trails to list\n", f);
    writeCount(f, "toptrails", a.topTrails);

    if (a.visitsFlag) {
        std::fputs("#Do list visits\nvisits on\n\n", f);
    } else {
        std::fputs("#The visits report is turned off.\nvisits off\n\n", f);
    }
    std::fputs("#How many visits to list\n", f);
    writeCount(f, "examplevisits", a.exampleVisits);

    if (a.sitesFlag) {
        std::fputs("#Do list sites\nsites on\n\n", f);
    } else {
        std::fputs("#The sites report is turned off.\nsites off\n\n", f);
    }
    std::fprintf(f, "#Our own top-level domain name\nmydomain %s\n\n", a.topDomain);
    std::fputs("#How many sites to list\n", f);
    writeCount(f, "topsites", a.topSites);

    std::fprintf(f, "#DNS setting.\ndns %s\n\n", a.dns);

    if (a.domainsFlag) {
        std::fputs("#Do list domains\ndomains on\n\n#How many domains to list\n", f);
        writeCount(f, "topdomains", a.topDomains);
    } else {
        std::fputs(
            "#We don't want the domains report (turned off)\ndomains off\n\ntopdomains 10\n\n", f);
    }

    if (a.referersFlag) {
        std::fputs("#The user wants referer reports.\nreferers on\n\n", f);
    } else {
        std::fputs("#No referer reports.\nreferers off\n\n", f);
    }
    writeCount(f, "topreferers", a.topReferers);

    std::fprintf(f,
                 "#Ignore references from the same site, in order\n"
                 "#to produce a useful list of outside references\n"
                 "ignorereferers\n%s*\nend ignorereferers\n\n",
                 a.siteUrl);

    if (a.useragentsFlag) {
        std::fputs("#The user wants user agent reports.\nuseragents on\n\n", f);
    } else {
        std::fputs("#No user agent reports.\nuseragents off\n\n", f);
    }
    writeCount(f, "topuseragents", a.topUseragents);

    if (a.robotsApart) {
        std::fputs(
            "#Robots (search engines, crawlers, monitors) are kept apart from people:\n"
            "#they are counted only in the robots list and the Robots row of the\n"
            "#overall statistics. The browser and operating-system lists show people.\n"
            "robots apart\nbrowserfamilies yes\nsystemfamilies yes\nrobotlist yes\n\n",
            f);
    } else {
        std::fputs("#Robots are counted like people (\"robots apart\" keeps them apart).\n\n", f);
    }

    std::fputs("#List the documents that were asked for but not found\nnotfound yes\n\n", f);

    std::fputs(
        "#Sites to be allowed in statistics (* alone matches anything)\n"
        "allowsites\n*\nend allowsites\n\n",
        f);
    std::fputs(
        "#Sites to be ignored in statistics\n"
        "ignoresites\n#Example (commented out): ignore all .com sites\n#*.com\n"
        "end ignoresites\n\n",
        f);

    std::fputs(
        "#Domain groups\n"
        "#These are used to combine countries into continents.\n"
        "#Feel free to change them.\n\n"
        "domaingroups\n",
        f);
    for (const char *groupLine : domainGroupLines) {
        std::fprintf(f, "%s\n", groupLine);
    }
    std::fputs("end domaingroups\n", f);

    std::fprintf(f,
                 "#The header section contains any HTML you wish to\n"
                 "#insert at the beginning of every page.\n"
                 "header\n<body bgcolor=\"FFFFFF\">\n<h1>%s</h1>\nend header\n\n",
                 a.heading);
    std::fputs(
        "#The footer section contains any HTML you wish to\n"
        "#insert at the end of every page.\n"
        "footer\n</body>\nend footer\n\n",
        f);

    if (a.nocaseFlag) {
        std::fputs("#Case insensitive treatment of URLs.\nnocase\n\n", f);
    }
}

// Writes the configuration next to the file it replaces and renames it over that
// file (which keeps its permissions) only once every byte is on disk; on any failure
// the old file is kept.
void writeConfiguration(const Answers &a) {
    char target[PATH_MAX];
    int resolved = resolveTarget(a.configName, target, sizeof target);
    if (resolved == TARGET_FOREIGN_LINK) refuseLink(a.configName);
    if (resolved != TARGET_OK) cannotWrite(a.configName);

    OutFile out;
    FILE *f = outOpen(out, target);
    if (f == nullptr) cannotWrite(a.configName);
    writeChunks(f, a);
    if (std::fflush(f) != 0 || fsync(fileno(f)) != 0) {
        outAbandon(out);
        cannotWrite(a.configName);
    }
    if (!outClose(out)) cannotWrite(a.configName);
}

// The host name inside an answer that may be typed as a URL: the scheme, a
// user name, and a port or path after it are not part of it.
const char *hostStart(const char *answer) {
    const char *scheme = std::strstr(answer, "://");
    if (scheme != nullptr) answer = scheme + 3;
    const char *user = std::strchr(answer, '@');
    if (user != nullptr && user < answer + std::strcspn(answer, "/")) answer = user + 1;
    return answer;
}

// The own top-level domain: the text after the last dot of the host name,
// or "com" when there is none. The closing dot of a fully qualified name is
// not part of it.
void deriveTopDomain(const char *hostName, char *domain, size_t size) {
    char host[UI_ANSWER_SIZE];
    const char *start = hostStart(hostName);
    std::snprintf(host, sizeof host, "%.*s", static_cast<int>(std::strcspn(start, ":/?#")), start);
    size_t length = std::strlen(host);
    while (length > 0 && host[length - 1] == '.') host[--length] = '\0';
    const char *dot = std::strrchr(host, '.');
    std::snprintf(domain, size, "%s", dot != nullptr ? dot + 1 : "com");
}

void askFileName(Answers &a) {
    GetString("What filename should the configuration file have?", "quorvel.conf", a.configName);
}

void chooseFileName(Answers &a, int argc, char **argv) {
    if (argc == 2) {
        // A name too long for any path is not cut down to some other file.
        if (std::strlen(argv[1]) >= sizeof a.configName) cannotWrite(argv[1]);
        std::snprintf(a.configName, sizeof a.configName, "%s", argv[1]);
    } else {
        say("\n");
        askFileName(a);
    }
    for (;;) {
        std::printf("\nThe configuration file name will be: %s\n\n", a.configName);
        FILE *existing = std::fopen(a.configName, "r");
        if (existing == nullptr) return;
        std::fclose(existing);
        if (Confirm("That file already exists! Do you want to overwrite it?", 0)) return;
        say("\n");
        askFileName(a);
    }
}

const char *defaultLogPath() {
    for (const char *path : logCandidates) {
        struct stat st;
        if (stat(path, &st) == 0) return path;
    }
    return LOG_PLACEHOLDER;
}

void askLogPath(Answers &a) {
    const char *offered = defaultLogPath();
    say("\nquorvel is designed to study the access log of your\n"
        "web server. Please give the full path of that log file.\n"
        "If you give a directory instead, quorvel reads all of the\n"
        "standard log files in it, in time order.\n\n");
    for (;;) {
        GetString("In what file or directory are your access logs?", offered, a.logPath);
        if (std::strcmp(a.logPath, LOG_PLACEHOLDER) == 0) {
            say("\nNo access log was found in the usual places, so the default\n"
                "is only an example. Please type the path of your access log.\n\n");
            continue;
        }
        struct stat st;
        if (stat(a.logPath, &st) == 0) return;
        if (Confirm(
                "That file or directory cannot be accessed! Are you sure the filename is correct?",
                0)) {
            return;
        }
    }
}

void askHeading(Answers &a) {
    say("\nquorvel allows you to insert any header and footer HTML\n"
        "you like into its reports: edit the header and footer\n"
        "sections of the configuration file once it is written.\n"
        "In fact every part of the output can be customised there.\n"
        "For now, choose the heading shown at the top of each report.\n\n");
    GetString("What heading should the reports display to the user?", "Web Server Statistics",
              a.heading);
}

// Creates the directory and its missing parents, like mkdir -p, each with mode
// 755 whatever the umask; on failure removes again what it created.
int makeDirectories(const char *path) {
    std::string full = path;
    std::vector<std::string> created;
    size_t at = 0;
    do {
        at = full.find('/', at + 1);
        std::string part = full.substr(0, at);
        struct stat st;
        if (mkdir(part.c_str(), 0755) == 0) {
            created.push_back(part);
            if (chmod(part.c_str(), 0755) == 0) continue;
        } else if (errno == EEXIST && stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            continue;
        }
        for (auto dir = created.rbegin(); dir != created.rend(); ++dir) rmdir(dir->c_str());
        return 0;
    } while (at != std::string::npos);
    return 1;
}

void defaultReportDir(char *dir, size_t size) {
    const char *root = webRoots[0];
    for (const char *candidate : webRoots) {
        struct stat st;
        if (stat(candidate, &st) == 0 && S_ISDIR(st.st_mode)) {
            root = candidate;
            break;
        }
    }
    std::snprintf(dir, size, "%s/quorvel", root);
}

void askReportDir(Answers &a) {
    char offered[PATH_MAX];
    defaultReportDir(offered, sizeof offered);
    say("\nquorvel outputs HTML pages. Please specify the full path\n"
        "of the directory it should write them to. If that directory\n"
        "does not exist yet, it will be created for you. It should\n"
        "not contain anything except what quorvel puts there.\n\n");
    for (;;) {
        GetString("What directory should quorvel write its reports to?", offered, a.reportDir);
        struct stat st;
        if (stat(a.reportDir, &st) != 0) {
            say("That directory does not currently exist. That's OK.\n");
            say("Attempting to create it...\n\n");
            if (makeDirectories(a.reportDir)) {
                say("Created. Permissions set to 755 (readable by the web server).\n");
                return;
            }
            say("quorset was unable to create the directory.\n");
            say("Please check the path and make sure the permissions\n");
            say("of the parent directory allow you access.\n");
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            say("\nThat directory already exists. That's OK.\n");
            say("Please make sure it only contains quorvel-related\n");
            say("files before you run quorvel.\n\n");
            return;
        }
        say("\nThat path points to a regular file, not to a\n");
        say("directory! Please specify the path of a directory.\n\n");
    }
}

// This machine's name, made fully qualified through /etc/hosts where that
// lists a longer name for it; no name server is asked.
void machineName(char *name, size_t size) {
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::snprintf(host, sizeof host, "localhost");
    }
    std::snprintf(name, size, "%s", host);
    if (std::strchr(host, '.') != nullptr) return;
    FILE *hosts = std::fopen("/etc/hosts", "r");
    if (hosts == nullptr) return;
    char line[1024];
    while (std::fgets(line, sizeof line, hosts) != nullptr) {
        line[std::strcspn(line, "#\n")] = '\0';
        // An address, then the canonical name, then its aliases.
        std::vector<std::string> words;
        for (char *at = line; *(at += std::strspn(at, " \t")) != '\0';) {
            size_t length = std::strcspn(at, " \t");
            words.emplace_back(at, length);
            at += length;
        }
        if (words.size() < 2 || words[1].find('.') == std::string::npos) continue;
        for (size_t i = 1; i < words.size(); i++) {
            if (strcasecmp(words[i].c_str(), host) == 0) {
                std::snprintf(name, size, "%s", words[1].c_str());
                std::fclose(hosts);
                return;
            }
        }
    }
    std::fclose(hosts);
}

void askHostName(Answers &a) {
    char offered[256];
    machineName(offered, sizeof offered);
    say("\nTo produce accurate reports with links to your documents,\n"
        "quorvel needs to know the host name of your web server.\n"
        "For example, a company's server might be www.example.com,\n"
        "and a school's server might be www.cs.example.edu.\n");
    say("This is the same host name that appears in URLs that you give\n");
    say("to people in the outside world.\n\n");
    GetString("Server host name?", offered, a.hostName);
    a.hostTyped = std::strcmp(a.hostName, offered) != 0;
    // A name typed as a URL keeps its scheme; a bare name gets http://.
    std::snprintf(a.siteUrl, sizeof a.siteUrl, "%s%s",
                  std::strstr(a.hostName, "://") != nullptr ? "" : "http://", a.hostName);
    deriveTopDomain(a.hostName, a.topDomain, sizeof a.topDomain);
}

void askOrder(Answers &a) {
    say("\nquorvel studies several things, including the documents served\n"
        "and the sites that request them. Its lists and pie charts can\n"
        "be sorted by the number of accesses or by the number of bytes\n"
        "transferred.\n\n");
    for (;;) {
        GetString("Sort by accesses or by bytes?", "accesses", a.order);
        convertLower(a.order);
        if (std::strcmp(a.order, "accesses") == 0 || std::strcmp(a.order, "bytes") == 0) return;
        say("\nPlease type either accesses or bytes.\n");
        say("Press enter to accept the default.\n\n");
    }
}

void askFrequency(Answers &a) {
    say("\nquorvel can be used to produce daily reports,\n"
        "weekly reports or monthly reports, each one covering a day,\n"
        "a week or a month of the log, with an index page that links\n"
        "them all. A summary report covers the whole log in a single\n"
        "page instead.\n\n");
    for (;;) {
        GetString("Reports: daily, weekly, monthly, or summary?", "weekly", a.frequency);
        convertLower(a.frequency);
        if (std::strcmp(a.frequency, "daily") == 0 || std::strcmp(a.frequency, "monthly") == 0 ||
            std::strcmp(a.frequency, "weekly") == 0 || std::strcmp(a.frequency, "summary") == 0) {
            return;
        }
        say("\nPlease type daily, weekly, monthly or summary.\n");
        say("Press enter to accept the default.\n\n");
    }
}

void askDocuments(Answers &a) {
    say("\nquorvel outputs a sorted list of your documents.\n"
        "How many of the most requested documents should it show?\n"
        "Type a number, or the word ALL to list every document.\n\n");
    GetIntOrAll("Display how many documents?", 10, &a.topDocuments);
}

void askDns(Answers &a) {
    say("\nMany administrators of extremely popular web sites\n"
        "turn off host name lookups in their servers to save time.\n"
        "Their logs then hold numeric addresses such as 127.0.0.1\n"
        "instead of full names such as www.example.com. quorvel can\n"
        "look the names up itself (on), but that is slow. The choice\n"
        "'fast' looks up only the hosts that appear in the reports.\n"
        "If your log already holds full names, choose off.\n\n");
    for (;;) {
        GetString("DNS: on, off, or fast?", "off", a.dns);
        convertLower(a.dns);
        if (std::strcmp(a.dns, "on") == 0 || std::strcmp(a.dns, "off") == 0 ||
            std::strcmp(a.dns, "fast") == 0) {
            return;
        }
        say("\nPlease type on, off, or fast.\n");
        say("Press enter to accept the default.\n\n");
    }
}

void askSitesAndDomains(Answers &a) {
    say("\nquorvel can display a list of sites that most frequently\n"
        "access your server. This list is also needed if you want\n"
        "a list of the domains that access your server.\n\n");
    a.sitesFlag = Confirm("List the sites accessing the server?", 1);
    if (!a.sitesFlag) return;

    say("\nquorvel outputs a sorted list of sites.\n"
        "Type how many of them it should show, or ALL for every site.\n\n");
    GetIntOrAll("Display how many sites?", 10, &a.topSites);

    askDns(a);
    if (std::strcmp(a.dns, "on") == 0) {
        say("If your server is accessed by machines\n");
        say("throughout the world, you will probably\n");
        say("find a list and pie chart of the domains\n");
        say("accessing your site most often to be useful.\n\n");
    } else if (std::strcmp(a.dns, "off") == 0) {
        say("If your server is accessed by machines\n");
        say("throughout the world, and your log file\n");
        say("contains full hostnames, you will probably\n");
        say("find a list and pie chart of the domains\n");
        say("accessing your site most often to be useful.\n\n");
    } else {
        say("Since you have selected 'fast' DNS, quorvel\n");
        say("probably will not produce a useful domains\n");
        say("report. We recommend answering n to the next\n");
        say("question.\n\n");
    }
    a.domainsFlag = Confirm("List the domains accessing your server?", 1);
    if (!a.domainsFlag) return;
    say("\nquorvel outputs a sorted list of domains.\n"
        "Type how many of them it should show, or ALL for every domain.\n\n");
    GetIntOrAll("Display how many domains?", 10, &a.topDomains);
}

void askTrailsAndVisits(Answers &a) {
    say("\nTrails and Visits\n\n");
    say("Trails and visits are two of the most useful new features\n"
        "of quorvel. A trail is a path that users commonly follow\n"
        "from document to document through your server. A visit is\n"
        "the series of documents that one site requests until it\n"
        "has been idle for a while; quorvel counts the visits and\n"
        "shows some of them in full as examples.\n\n");
    a.trailsFlag = Confirm("List the most common trails users follow through your server?", 1);
    if (a.trailsFlag) {
        say("\nquorvel outputs a sorted list of the most common trails.\n"
            "Type how many of them it should show, or ALL for every trail.\n\n");
        GetIntOrAll("Display how many trails?", 10, &a.topTrails);
    }
    say("\n");
    a.visitsFlag = Confirm("Report visits to the server, with examples?", 1);
    if (a.visitsFlag) {
        say("\nquorvel outputs a list of example visits.\n"
            "Type how many visits it should show in full, or ALL.\n\n");
        GetIntOrAll("Display how many visits?", 10, &a.exampleVisits);
    }
}

void askReferers(Answers &a) {
    say("\nIf your log file contains the necessary \"REFERER\"\n"
        "information (the combined log format does), quorvel can list\n"
        "the pages that link to your documents. If your server writes\n"
        "referring URLs to a separate referer log instead, answer no\n"
        "here and analyse that log with quorvel's -r option.\n\n");
    a.referersFlag = Confirm("List the URLs referring to the server?", 1);
    if (!a.referersFlag) return;
    say("\nquorvel outputs a sorted list of referring URLs.\n"
        "Type how many of them it should show, or ALL for every one.\n\n");
    GetIntOrAll("Display how many referers?", 10, &a.topReferers);
}

void askBrowsers(Answers &a) {
    say("\nIf your log file contains the necessary \"USER AGENT\"\n"
        "information (the combined log format does), quorvel can list\n"
        "the web browsers used to access your server. If your server\n"
        "writes them to a separate agent log instead, answer no here\n"
        "and analyse that log with quorvel's -u option.\n\n");
    a.useragentsFlag = Confirm("List the web browsers accessing the server?", 1);
    if (!a.useragentsFlag) return;
    say("\nquorvel outputs a sorted list of web browsers.\n"
        "Type how many of them it should show, or ALL for every one.\n\n");
    GetIntOrAll("Display how many browsers?", 10, &a.topUseragents);
}

// Where quorvel finds the patterns that tell robots from people unless the configuration
// names another file; without them the answer yes would give a file that does not run.
const char *const AGENT_PATTERNS = "/usr/share/uap-core/regexes.yaml";

void askRobots(Answers &a) {
    say("\nSearch engines, crawlers and monitors request many pages. quorvel\n"
        "can recognise them by their user agent and keep them apart from\n"
        "people: then every list, chart and total shows people only, and the\n"
        "robots get a list of their own. The browsers and operating systems\n"
        "of the people are listed too.\n\n");
    int usable = access(AGENT_PATTERNS, R_OK) == 0;
    if (!usable)
        say("The patterns that recognise robots are missing here (Debian package\n"
            "uap-core, file /usr/share/uap-core/regexes.yaml); install them before\n"
            "answering yes.\n\n");
    a.robotsApart = Confirm("Keep robots apart from people?", usable);
}

void askCase(Answers &a) {
    say("\nIf you are generating reports for a DOS or Windows server,\n"
        "you should ignore case in URLs: such servers treat /Index.html\n"
        "and /index.html as the same document. Unix servers do not,\n"
        "so for them the answer is usually no.\n\n");
    a.nocaseFlag = Confirm("Ignore case in URLs?", 0);
}

int isWeekday(const char *answer) {
    static const char *const days[] = {"su", "mo", "tu", "we", "th", "fr", "sa"};
    for (const char *day : days) {
        if (std::strncmp(answer, day, 2) == 0) return 1;
    }
    return 0;
}

void askWeekStart(Answers &a) {
    say("\nBy default, quorvel assumes that a new week begins on Sunday.\n"
        "You can choose any other day; only the first two letters of\n"
        "the answer matter.\n\n");
    for (;;) {
        GetString("Weeks begin on: Sun, Mon, Tues, Wed, Thurs, Fri or Sat?", "Sunday", a.weekStart);
        convertLower(a.weekStart);
        if (isWeekday(a.weekStart)) return;
        say("\nPlease type the weekday a new week should begin with, or press enter\n");
        say("to accept the default of Sunday.\n\n");
    }
}

void askDateFormat(Answers &a) {
    say("\nIn its reports, quorvel normally writes dates in the format\n"
        "mm/dd/yy. In a format of your own, mm is replaced by the month,\n"
        "dd by the day, yy by the two-digit year and yyyy by the full\n"
        "year; every other character appears as you type it. For\n"
        "Microsoft IIS logs, the dates in the logs are expected in the\n"
        "same format.\n\n");
    GetString("Date Format?", "mm/dd/yy", a.dateFormat);
    convertLower(a.dateFormat);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        say("Usage: quorset filename.conf\n\n"
            "Asks about a web server and its logs, creates the report\n"
            "directory and writes a commented configuration file for\n"
            "quorvel. Without a file name, it asks for one (the default\n"
            "is quorvel.conf).\n");
        MyExit(0);
    }
    if (argc > 2) fatal("Usage: quorset filename.conf\n");

    static Answers a;
    a.topDocuments = 10;
    a.topSites = 10;
    std::snprintf(a.dns, sizeof a.dns, "off");
    a.topDomains = 10;
    a.topTrails = 10;
    a.exampleVisits = 10;
    a.topReferers = 10;
    a.topUseragents = 10;

    say("Quorvel 5.0 interactive configuration file maker\n");
    chooseFileName(a, argc, argv);
    if (!canWriteConfiguration(a.configName)) cannotWrite(a.configName);

    askLogPath(a);
    askHeading(a);
    askReportDir(a);
    askHostName(a);
    askOrder(a);
    askFrequency(a);
    askDocuments(a);
    askSitesAndDomains(a);
    askTrailsAndVisits(a);
    askReferers(a);
    askBrowsers(a);
    askRobots(a);
    askCase(a);
    askWeekStart(a);
    askDateFormat(a);

    say("\nquorset now has enough information to create a useful\n"
        "configuration file. quorvel has many more options than\n"
        "these questions cover: read the comments in the file and\n"
        "the documentation to fine-tune your reports.\n");
    say("\nWriting configuration file...\n");
    writeConfiguration(a);
    std::printf("Done. The file %s is complete.\n", a.configName);
    MyExit(0);
}
