// The configuration reader: every setting of the analyser as a process-wide global,
// the keyword table, the block readers, and the finishing steps that supply the
// defaults and settle the order of the report sections.
#include "config/global.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "config/color.h"
#include "console/strhack.h"
#include "core/chars.h"
#include "core/exit.h"
#include "core/match.h"
#include "core/mem.h"

// ---- Settings. The initializers are the values from program start; the number settings
// of the keyword table are defined after it, with its defaults. ----
char *reportDir = nullptr;
char *logFile = nullptr;
char *myDomain = nullptr;
char *indexName = nullptr;
char *subdomainsOf = nullptr;
char *topUrl = nullptr;
char *dateFormat = nullptr;
char *msDateFormat = nullptr;
char *extension = nullptr;
char *serverName = nullptr;
char *offsetString = nullptr;
char *chartBackgroundColor = nullptr;
char *chartBorderColor = nullptr;
char *chartTextColor = nullptr;
char *chartCrossColor = nullptr;
char *chartTickColor = nullptr;
char *pieBackgroundColor = nullptr;
char *pieBorderColor = nullptr;
int offsetMinutes = 0;
int refererOnlyFlag = 0;
int useragentOnlyFlag = 0;
StringArray allowed;
StringArray ignored;
StringArray hidden;
StringArray suffixes;
StringArray header;
StringArray footer;
StringArray allowedSites;
StringArray ignoredSites;
StringArray ignoredReferers;
StringArray subDomains;
StringArray domainGroups;
StringArray chartBarColors;
StringArray pieSliceColors;
Hash fakeDns;
Hash totals;
Hash totalsNew;
Hash reportList;
Hash reportListWorking;
struct tm nowBreakdown = {};
int nowDay = 0;
int line = 0;
char *agentPatterns = nullptr;
int agentPatternsLine = 0;
StringArray robotAgents;

const ReportSection reportSections[SECTION_COUNT] = {
    {"unique", &uniqueFlag, nullptr},
    {"totals", nullptr, nullptr},
    {"hours", &hoursFlag, nullptr},
    {"days", &daysFlag, nullptr},
    {"documents", &documentsFlag, &topDocuments},
    {"authusers", &authusersFlag, &topAuthusers},
    {"sites", &sitesFlag, &topSites},
    {"domains", &domainsFlag, &topDomains},
    {"proxysites", &proxysitesFlag, &topProxysites},
    {"proxydomains", &proxydomainsFlag, &topProxydomains},
    {"trails", &trailsFlag, &topTrails},
    {"visits", &visitsFlag, &exampleVisits},
    {"referers", &referersFlag, &topReferers},
    {"useragents", &useragentsFlag, &topUseragents},
    {"notfound", &notfoundFlag, &topNotfound},
    {"resultcodes", &resultcodesFlag, nullptr},
    {"domaingroups", nullptr, nullptr},
    {"browserfamilies", &browserfamiliesFlag, &topBrowserfamilies},
    {"systemfamilies", &systemfamiliesFlag, &topSystemfamilies},
    {"robotlist", &robotlistFlag, &topRobots},
};

void (*configExitHook)(int status) = nullptr;

namespace {

// Longest line piece read at keyword level and inside a block, with the terminator.
constexpr int KEYWORD_LINE_SIZE = 1024;
constexpr int BLOCK_LINE_SIZE = 2048;

// Largest offset accepted for either part of "offsethours"; more is surely a typo,
// and the bound keeps the time arithmetic of the log readers far from overflow.
constexpr int OFFSET_LIMIT = 9999;

enum KeywordKind {
    K_STRING,
    K_INDEXNAME,
    K_TOPURL,
    K_DATEFORMAT,
    K_OFFSET,
    K_FREQUENCY,
    K_WEEKSTART,
    K_ORDER,
    K_PAGESTYLE,
    K_COUNT,
    K_WHOLE,
    K_FLAG,
    K_DNS,
    K_LIST,
    K_DOMAINGROUPS,
    K_COLORLIST,
    K_FAKEDNS,
    K_TOTALS,
    K_TOTALSGROUP,
    K_COLOR,
    K_HTML,
    K_OLDFORMAT,
    K_ROBOTS,
    K_AGENTPATTERNS,
    K_THREADS,
};

// When a setting takes the default its keyword carries.
enum DefaultUse {
    D_NONE,    // none of its own: a synonym, or a setting that stays unset
    D_SETUP,   // a number: its value from program start, set again by globalSetup
    D_START,   // a number: its value from program start only; globalSetup leaves it
    D_FINISH,  // a text or a colour list: given at the end of a file that left it unset
};

struct Keyword {
    const char *keyword;
    KeywordKind kind;
    const char *name;  // the name that messages use
    char **text;
    int *number;
    StringArray *list;
    DefaultUse use = D_NONE;
    int defaultNumber = 0;
    const char *defaultText = nullptr;
    const char *const *defaultList = nullptr;  // the entries of an empty colour list
    int defaultCount = 0;
};

// A number given to a builder is the setting's default, set again by globalSetup.
constexpr int NO_DEFAULT = INT_MIN;
constexpr DefaultUse numberUse(int initial) {
    return initial == NO_DEFAULT ? D_NONE : D_SETUP;
}

constexpr Keyword text(const char *keyword, char **slot, const char *name = nullptr) {
    return {keyword, K_STRING, name ? name : keyword, slot, nullptr, nullptr};
}
constexpr Keyword special(const char *keyword, KeywordKind kind) {
    return {keyword, kind, keyword, nullptr, nullptr, nullptr};
}
constexpr Keyword choice(const char *keyword, KeywordKind kind, int *slot, int initial) {
    return {keyword, kind, keyword, nullptr, slot, nullptr, D_SETUP, initial};
}
constexpr Keyword count(const char *keyword, int *slot, int initial = NO_DEFAULT) {
    return {keyword, K_COUNT, keyword, nullptr, slot, nullptr, numberUse(initial), initial};
}
constexpr Keyword number(const char *keyword, int *slot, int initial) {
    return {keyword, K_WHOLE, keyword, nullptr, slot, nullptr, D_SETUP, initial};
}
constexpr Keyword flag(const char *keyword, int *slot, int initial = NO_DEFAULT,
                       const char *name = nullptr) {
    return {keyword, K_FLAG,  name ? name : keyword, nullptr,
            slot,    nullptr, numberUse(initial),    initial};
}
constexpr Keyword list(const char *keyword, StringArray *slot, KeywordKind kind = K_LIST) {
    return {keyword, kind, keyword, nullptr, nullptr, slot};
}
constexpr Keyword colorList(const char *keyword, StringArray *slot, const char *const *initial,
                            int count) {
    return {keyword,  K_COLORLIST, keyword, nullptr, nullptr, slot,
            D_FINISH, 0,           nullptr, initial, count};
}
constexpr Keyword color(const char *keyword, char **slot, const char *initial) {
    return {keyword, K_COLOR, keyword, slot, nullptr, nullptr, D_FINISH, 0, initial};
}
// The keyword with the text its setting gets at the end of a file that left it unset.
constexpr Keyword defaultsTo(Keyword k, const char *initial) {
    k.use = D_FINISH;
    k.defaultText = initial;
    return k;
}
// The keyword with its number default taken at program start only.
constexpr Keyword startOnly(Keyword k) {
    k.use = D_START;
    return k;
}

constexpr Keyword keywords[] = {
    // String settings.
    text("reportdir", &reportDir),
    text("logfile", &logFile),
    text("logdir", &logFile, "logfile"),
    text("mydomain", &myDomain),
    // Its default, "index." and the extension, follows the extension's.
    {"indexname", K_INDEXNAME, "indexname", &indexName, nullptr, nullptr},
    text("subdomainsof", &subdomainsOf),
    defaultsTo({"topurl", K_TOPURL, "topurl", &topUrl, nullptr, nullptr}, ""),
    defaultsTo({"dateformat", K_DATEFORMAT, "dateformat", &dateFormat, nullptr, nullptr},
               "mm/dd/yy"),
    defaultsTo(text("msdateformat", &msDateFormat), "mm/dd/yy"),
    text("iisdateformat", &msDateFormat, "msdateformat"),
    defaultsTo(text("extension", &extension), "html"),
    text("servername", &serverName),
    {"offsethours", K_OFFSET, "offsethours", &offsetString, &offsetHours, nullptr, D_SETUP, 0},
    // Choices.
    choice("frequency", K_FREQUENCY, &frequency, FREQ_WEEKLY),
    choice("weekstart", K_WEEKSTART, &weekStart, 0),
    choice("order", K_ORDER, &bytesFlag, 0),
    choice("pagestyle", K_PAGESTYLE, &pageStyleModern, 0),
    // Counts and whole numbers.
    count("top", &topDocuments, 10),
    count("topuseragents", &topUseragents, 10),
    count("topreferers", &topReferers, 10),
    count("topreferrers", &topReferers),
    count("topnotfound", &topNotfound, 10),
    count("topsites", &topSites, 10),
    count("topproxysites", &topProxysites, 10),
    count("topauthusers", &topAuthusers, 10),
    count("topdomains", &topDomains, 10),
    count("topproxydomains", &topProxydomains, 10),
    startOnly(count("toptrails", &topTrails, 10)),
    count("examplevisits", &exampleVisits, 10),
    number("trailtimeout", &trailTimeout, 5),
    number("trailminimumsteps", &trailMinimumSteps, 3),
    // Yes/no settings.
    startOnly(flag("documents", &documentsFlag, 1)),
    startOnly(flag("hours", &hoursFlag, 1)),
    startOnly(flag("days", &daysFlag, 1)),
    flag("notfound", &notfoundFlag, 0),
    flag("visits", &visitsFlag, 1),
    flag("unique", &uniqueFlag, 1),
    flag("sites", &sitesFlag, 0),
    flag("authusers", &authusersFlag, 0),
    flag("proxysites", &proxysitesFlag, 0),
    flag("useragents", &useragentsFlag, 1),
    flag("referers", &referersFlag, 1),
    flag("referrers", &referersFlag),
    flag("domains", &domainsFlag, 0),
    flag("proxydomains", &proxydomainsFlag, 0),
    startOnly(flag("resultcodes", &resultcodesFlag, 1)),
    startOnly(flag("trails", &trailsFlag, 1)),
    startOnly(flag("keepqueries", &keepqueriesFlag, 0)),
    flag("nocase", &nocaseFlag, 0),
    flag("nozeroes", &nozeroesFlag, 0),
    flag("nozeros", &nozeroesFlag),
    flag("referersinvisits", &referersInVisitsFlag, 1),
    flag("referrersinvisits", &referersInVisitsFlag),
    flag("nolinks", &nolinksFlag, 0),
    flag("nopartial", &nopartialFlag, 0),
    startOnly(flag("nobytes", &nobytesFlag, 0)),
    {"dns", K_DNS, "dns", nullptr, &dnsFlag, nullptr, D_SETUP, 0},
    flag("gifcharts", &gifchartsFlag, 0),
    // Lists.
    list("allow", &allowed),
    list("ignore", &ignored),
    list("hide", &hidden),
    list("suffixes", &suffixes),
    list("header", &header),
    list("footer", &footer),
    list("allowsites", &allowedSites),
    list("ignoresites", &ignoredSites),
    list("ignorereferers", &ignoredReferers),
    list("ignorereferrers", &ignoredReferers),
    list("subdomains", &subDomains),
    list("domaingroups", &domainGroups, K_DOMAINGROUPS),
    colorList("chartbarcolors", &chartBarColors, chartDefaultBarColors, CHART_DEFAULT_BAR_COLORS),
    colorList("pieslicecolors", &pieSliceColors, pieDefaultSliceColors, PIE_DEFAULT_SLICE_COLORS),
    // Pattern/value blocks.
    special("fakedns", K_FAKEDNS),
    special("totals", K_TOTALS),
    special("totalsgroup", K_TOTALSGROUP),
    // Colours.
    color("chartbackgroundcolor", &chartBackgroundColor, "#FFFFFF"),
    color("chartbordercolor", &chartBorderColor, "#000000"),
    color("charttextcolor", &chartTextColor, "#000000"),
    color("chartcrosscolor", &chartCrossColor, "#04A004"),
    color("charttickcolor", &chartTickColor, "#040404"),
    color("piebackgroundcolor", &pieBackgroundColor, "#FFFFFF"),
    color("piebordercolor", &pieBorderColor, "#000000"),
    // Who is visiting.
    {"useragentpatterns", K_AGENTPATTERNS, "useragentpatterns", &agentPatterns, nullptr, nullptr},
    choice("robots", K_ROBOTS, &robotsMode, ROBOTS_COUNT),
    flag("browserfamilies", &browserfamiliesFlag, 0),
    flag("systemfamilies", &systemfamiliesFlag, 0),
    flag("robotlist", &robotlistFlag, 0),
    count("topbrowserfamilies", &topBrowserfamilies, 10),
    count("topsystemfamilies", &topSystemfamilies, 10),
    count("toprobots", &topRobots, 10),
    flag("anonymize", &anonymizeFlag, 0),
    list("robotagents", &robotAgents),
    // Others.
    {"threads", K_THREADS, "threads", nullptr, &threadCount, nullptr, D_SETUP, 2},
    special("html", K_HTML),
    special("common", K_OLDFORMAT),
    special("ncsa_httpd", K_OLDFORMAT),
    special("cern_httpd", K_OLDFORMAT),
    special("plexus_httpd", K_OLDFORMAT),
};

// The value from program start of a number setting, as its keyword carries it.
constexpr int numberDefault(const int *slot) {
    for (const Keyword &k : keywords)
        if ((k.use == D_SETUP || k.use == D_START) && k.number == slot) return k.defaultNumber;
    // A constant initializer cannot throw: a setting without a default does not build.
    throw "a number setting without a default";
}

}  // namespace

// ---- Number settings of the keyword table: their values from program start are its
// defaults; globalSetup sets most of them again, the rest keep these. ----
constinit int offsetHours = numberDefault(&offsetHours);
constinit int frequency = numberDefault(&frequency);
constinit int weekStart = numberDefault(&weekStart);
constinit int bytesFlag = numberDefault(&bytesFlag);
constinit int pageStyleModern = numberDefault(&pageStyleModern);
constinit int topDocuments = numberDefault(&topDocuments);
constinit int topUseragents = numberDefault(&topUseragents);
constinit int topReferers = numberDefault(&topReferers);
constinit int topNotfound = numberDefault(&topNotfound);
constinit int topSites = numberDefault(&topSites);
constinit int topProxysites = numberDefault(&topProxysites);
constinit int topAuthusers = numberDefault(&topAuthusers);
constinit int topDomains = numberDefault(&topDomains);
constinit int topProxydomains = numberDefault(&topProxydomains);
constinit int topTrails = numberDefault(&topTrails);
constinit int exampleVisits = numberDefault(&exampleVisits);
constinit int trailTimeout = numberDefault(&trailTimeout);
constinit int trailMinimumSteps = numberDefault(&trailMinimumSteps);
constinit int documentsFlag = numberDefault(&documentsFlag);
constinit int hoursFlag = numberDefault(&hoursFlag);
constinit int daysFlag = numberDefault(&daysFlag);
constinit int notfoundFlag = numberDefault(&notfoundFlag);
constinit int visitsFlag = numberDefault(&visitsFlag);
constinit int uniqueFlag = numberDefault(&uniqueFlag);
constinit int sitesFlag = numberDefault(&sitesFlag);
constinit int authusersFlag = numberDefault(&authusersFlag);
constinit int proxysitesFlag = numberDefault(&proxysitesFlag);
constinit int useragentsFlag = numberDefault(&useragentsFlag);
constinit int referersFlag = numberDefault(&referersFlag);
constinit int domainsFlag = numberDefault(&domainsFlag);
constinit int proxydomainsFlag = numberDefault(&proxydomainsFlag);
constinit int resultcodesFlag = numberDefault(&resultcodesFlag);
constinit int trailsFlag = numberDefault(&trailsFlag);
constinit int keepqueriesFlag = numberDefault(&keepqueriesFlag);
constinit int nocaseFlag = numberDefault(&nocaseFlag);
constinit int nozeroesFlag = numberDefault(&nozeroesFlag);
constinit int referersInVisitsFlag = numberDefault(&referersInVisitsFlag);
constinit int nolinksFlag = numberDefault(&nolinksFlag);
constinit int nopartialFlag = numberDefault(&nopartialFlag);
constinit int nobytesFlag = numberDefault(&nobytesFlag);
constinit int dnsFlag = numberDefault(&dnsFlag);
constinit int gifchartsFlag = numberDefault(&gifchartsFlag);
constinit int robotsMode = numberDefault(&robotsMode);
constinit int browserfamiliesFlag = numberDefault(&browserfamiliesFlag);
constinit int systemfamiliesFlag = numberDefault(&systemfamiliesFlag);
constinit int robotlistFlag = numberDefault(&robotlistFlag);
constinit int topBrowserfamilies = numberDefault(&topBrowserfamilies);
constinit int topSystemfamilies = numberDefault(&topSystemfamilies);
constinit int topRobots = numberDefault(&topRobots);
constinit int anonymizeFlag = numberDefault(&anonymizeFlag);
constinit int threadCount = numberDefault(&threadCount);

namespace {

char **const stringSettings[] = {
    &reportDir,          &logFile,        &myDomain,        &indexName,
    &subdomainsOf,       &topUrl,         &dateFormat,      &msDateFormat,
    &extension,          &serverName,     &offsetString,    &chartBackgroundColor,
    &chartBorderColor,   &chartTextColor, &chartCrossColor, &chartTickColor,
    &pieBackgroundColor, &pieBorderColor, &agentPatterns,
};

StringArray *const lists[] = {
    &allowed,      &ignored,        &hidden,         &suffixes,        &header,
    &footer,       &allowedSites,   &ignoredSites,   &ignoredReferers, &subDomains,
    &domainGroups, &chartBarColors, &pieSliceColors, &robotAgents,
};

bool isKeywordBreak(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The leading decimal digits of text as a number, saturating at INT_MAX.
int leadingNumber(const char *text) {
    long long value = 0;
    for (; charIsDigit(*text); text++) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) value = INT_MAX;
    }
    return static_cast<int>(value);
}

void releaseList(StringArray &array) {
    if (array.items) stringArrayShutdown(array);
    array = StringArray{};
}

void releaseTable(Hash &table) {
    if (table.keys) hashShutdown(table);
    table.keys = nullptr;
    table.count = 0;
    table.allocated = 0;
}

// Reads the next entry of a block into buffer and returns it trimmed; returns null
// once the closing line has been read. Comment, empty and blank lines are skipped.
char *readBlockEntry(FILE *file, char *buffer, int size, const char *keyword) {
    for (;;) {
        if (!std::fgets(buffer, size, file))
            configError("end %s must appear after %s", keyword, keyword);
        line++;
        if (buffer[0] == '#' || buffer[0] == '\n' || buffer[0] == '\r') continue;
        if (charLower(buffer[0]) == 'e' && charLower(buffer[1]) == 'n' &&
            charLower(buffer[2]) == 'd') {
            char *p = buffer;
            while (*p && !isKeywordBreak(*p)) p++;
            while (*p && isKeywordBreak(*p)) p++;
            if (*p) {
                char *second = p;
                while (*p && !isKeywordBreak(*p)) p++;
                *p = '\0';
                convertLower(second);
                if (std::strcmp(second, keyword) != 0)
                    configError(
                        "end %s does not match %s. Perhaps you did not close an earlier list.",
                        second, keyword);
            }
            return nullptr;
        }
        char *entry = buffer;
        stripSpace(&entry);
        if (entry) return entry;
    }
}

// The pattern and its value: the value is what follows the first blank or tab, a second
// one included.
char *splitPatternValue(char *entry, const char *keyword) {
    char *separator = std::strpbrk(entry, " \t");
    if (!separator || separator == entry || separator[1] == '\0')
        configError("each item in the %s list must have both a pattern and a value.", keyword);
    *separator = '\0';
    return separator + 1;
}

// Adds a group separator to totals; its number is the table's count of keys.
void addDivider() {
    char divider[32];
    std::snprintf(divider, sizeof divider, "DIVIDER %d", static_cast<int>(totals.count));
    hashSet(totals, divider, "", 0, 0);
}

// A "totals" block makes every entry a group of its own; a "totalsgroup" block
// makes all its entries one group. Every pattern is a column of the history database,
// which holds TOTALS_LIMIT of them: one more is refused at its line, before a run could
// store a history that no later run can read.
void readTotals(FILE *file, const char *keyword, bool oneGroup) {
    releaseTable(totalsNew);
    hashSetup(totalsNew, 1, 2);
    int patterns = 0;
    for (int row = 0; row < totals.count; row++)
        if (!totalsDivider(totals.keys[row])) patterns++;
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword)) {
        char *value = splitPatternValue(entry, keyword);
        bool fresh =
            !totalsDivider(entry) && hashFind(totalsNew, entry) < 0 && hashFind(totals, entry) < 0;
        hashSetString(totalsNew, entry, 0, value);
        if (fresh && ++patterns > TOTALS_LIMIT)
            configError("more than %d items for the totals list", TOTALS_LIMIT);
    }
    if (oneGroup) addDivider();
    for (int row = 0; row < totalsNew.count; row++) {
        if (!oneGroup) addDivider();
        hashSetString(totals, totalsNew.keys[row], 0, totalsNew.strings[row][0]);
    }
    releaseTable(totalsNew);
}

void setOffset(const char *name, const char *argument) {
    simpleString(&offsetString, name, argument);
    const char *p = argument;
    int sign = 1;
    if (*p == '-') {
        sign = -1;
        p++;
    } else if (*p == '+') {
        p++;
    }
    int minutes = 0;
    if (const char *colon = std::strchr(p, ':')) {
        const char *m = colon + 1;
        while (*m == ' ' || *m == '\t') m++;
        int minuteSign = 1;
        if (*m == '-') {
            minuteSign = -1;
            m++;
        } else if (*m == '+') {
            m++;
        }
        minutes = leadingNumber(m);
        if (minutes > OFFSET_LIMIT)
            configError("%s is not an acceptable value for the offsethours option.", argument);
        minutes *= minuteSign;
    } else if (!charIsDigit(*p)) {
        configError("%s is not an acceptable value for the offsethours option.", argument);
    }
    int hours = leadingNumber(p);
    if (hours > OFFSET_LIMIT)
        configError("%s is not an acceptable value for the offsethours option.", argument);
    offsetHours = sign * hours;
    offsetMinutes = sign * minutes;
}

void setRobots(char *argument) {
    if (!argument) configError("No value given for robots keyword");
    convertLower(argument);
    static const char *const words[] = {"count", "apart", "ignore"};
    for (int i = 0; i < 3; i++) {
        if (std::strcmp(argument, words[i]) == 0) {
            robotsMode = i;
            return;
        }
    }
    configError("Unsupported robots setting: %s (Valid settings are: count, apart, ignore)",
                argument);
}

// A pattern file that is named must be readable now, not found missing in the middle of
// a run; whether it holds usable patterns is seen when it is loaded.
void setAgentPatterns(const char *name, const char *argument) {
    simpleString(&agentPatterns, name, argument);
    agentPatternsLine = line;
    // Looked at before it is opened: opening a pipe would wait for a writer.
    struct stat status;
    if (stat(agentPatterns, &status) != 0)
        configError("The user-agent pattern file %s cannot be read: %s", agentPatterns,
                    std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        configError("The user-agent pattern file %s is not a file", agentPatterns);
    FILE *file = std::fopen(agentPatterns, "r");
    if (!file)
        configError("The user-agent pattern file %s cannot be read: %s", agentPatterns,
                    std::strerror(errno));
    std::fclose(file);
}

// The report section a keyword names: the section of the setting or row limit it sets,
// the totals for a totals block, the domain groups for theirs; -1 for none.
int keywordSection(const Keyword &k) {
    if (k.kind == K_TOTALS || k.kind == K_TOTALSGROUP) return SECTION_TOTALS;
    if (k.kind == K_DOMAINGROUPS) return SECTION_DOMAINGROUPS;
    if (k.kind != K_FLAG && k.kind != K_COUNT) return -1;
    for (int s = 0; s < SECTION_COUNT; s++)
        if (k.number == reportSections[s].flag || k.number == reportSections[s].rows) return s;
    return -1;
}

void handleKeyword(FILE *file, const Keyword &k, char *argument) {
    switch (k.kind) {
        case K_STRING:
            simpleString(k.text, k.name, argument);
            break;
        case K_INDEXNAME:
            // The index page is written in the report directory and nowhere else.
            if (argument && (std::strchr(argument, '/') || !std::strcmp(argument, ".") ||
                             !std::strcmp(argument, "..")))
                configError(
                    "%s is not an acceptable value for the indexname option: it must be "
                    "the name of a file in the report directory.",
                    argument);
            simpleString(k.text, k.name, argument);
            break;
        case K_TOPURL: {
            simpleString(k.text, k.name, argument);
            std::size_t length = std::strlen(*k.text);
            if (length > 0 && (*k.text)[length - 1] == '/') (*k.text)[length - 1] = '\0';
            break;
        }
        case K_DATEFORMAT:
            simpleString(k.text, k.name, argument);
            if (!msDateFormat) msDateFormat = mystrdup(dateFormat);
            break;
        case K_OFFSET:
            setOffset(k.name, argument);
            break;
        case K_FREQUENCY:
            setFrequency(argument);
            break;
        case K_WEEKSTART:
            setWeekstart(argument);
            break;
        case K_ORDER:
            setOrder(argument);
            break;
        case K_PAGESTYLE:
            setPageStyle(argument);
            break;
        case K_COUNT:
            wholeOrAll(k.number, k.name, argument);
            break;
        case K_WHOLE:
            whole(k.number, k.name, argument);
            break;
        case K_THREADS:
            whole(k.number, k.name, argument);
            if (*k.number < 1)
                configError("Argument to threads must be 1 or more (%s was given)", argument);
            break;
        case K_FLAG:
            getFlag(k.number, k.name, argument);
            break;
        case K_DNS:
            // "fast" is compared before the argument is lower-cased.
            if (argument && std::strcmp(argument, "fast") == 0)
                dnsFlag = DNS_FAST;
            else
                getFlag(&dnsFlag, k.name, argument);
            break;
        case K_LIST:
            readStringArray(file, *k.list, k.keyword);
            break;
        case K_DOMAINGROUPS:
            readStringArray(file, *k.list, k.keyword);
            domainGroupsAdjust();
            break;
        case K_COLORLIST:
            readColorArray(file, *k.list, k.keyword);
            break;
        case K_FAKEDNS:
            readStringHash(file, fakeDns, k.keyword);
            break;
        case K_TOTALS:
            readTotals(file, k.keyword, false);
            break;
        case K_TOTALSGROUP:
            readTotals(file, k.keyword, true);
            break;
        case K_COLOR:
            readColor(k.text, k.keyword, argument);
            break;
        case K_ROBOTS:
            setRobots(argument);
            break;
        case K_AGENTPATTERNS:
            setAgentPatterns(k.name, argument);
            break;
        case K_HTML:
            break;
        case K_OLDFORMAT:
            configError(
                "This is a quorvel 3.2 configuration file. Please\n"
                "run the 'upgrade' program to convert it for use\n"
                "with the current version of quorvel. Nothing done.\n");
    }
    int section = keywordSection(k);
    if (section >= 0) reportOrder(reportSections[section].name);
}

// The defaults of what the file left out, the required settings and the report order.
void finishConfiguration() {
    if (!reportDir)
        configError(
            "No reportdir was specified. Please specify a reports directory in the "
            "configuration file.");
    if (!myDomain)
        configError(
            "mydomain was not specified. Please specify a default top-level domain "
            "(such as com, edu or org) in the configuration file.");
    for (const Keyword &k : keywords) {
        if (k.use != D_FINISH) continue;
        if (k.text && !*k.text) *k.text = mystrdup(k.defaultText);
        if (k.list && k.list->count == 0)
            for (int i = 0; i < k.defaultCount; i++) stringArrayAppend(*k.list, k.defaultList[i]);
    }
    if (!indexName) {
        std::size_t size = std::strlen(extension) + sizeof "index.";
        indexName = static_cast<char *>(xmalloc(size));
        std::snprintf(indexName, size, "index.%s", extension);
    }

    for (int s = 0; s < SECTION_FIRST_TRAILING; s++)
        if (hashFind(reportListWorking, reportSections[s].name) < 0)
            reportOrderFinal(reportSections[s].name);
    for (int row = 0; row < reportListWorking.count; row++)
        reportOrderFinal(reportListWorking.keys[row]);
    for (int s = SECTION_FIRST_TRAILING; s <= SECTION_RESULTCODES; s++)
        reportOrderFinal(reportSections[s].name);

    if (nocaseFlag) {
        for (int i = 0; i < ignored.count; i++) convertLower(ignored.items[i]);
        for (int i = 0; i < allowed.count; i++) convertLower(allowed.items[i]);
    }
}

void vreport(const char *kind, const char *format, va_list args) {
    std::fprintf(stderr, "Configuration file %s at line %d:\n", kind, line);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
}

}  // namespace

void configError(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vreport("error", format, args);
    va_end(args);
    if (configExitHook) configExitHook(1);
    MyExit(1);
}

void configWarning(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vreport("warning", format, args);
    va_end(args);
}

void simpleString(char **slot, const char *name, const char *argument) {
    if (!argument) configError("no argument provided for the %s keyword", name);
    if (*slot) {
        configWarning("%s keyword given more than once", name);
        myfree(*slot);
    }
    *slot = mystrdup(argument);
}

void setFrequency(char *argument) {
    if (!argument) configError("No value given for frequency keyword");
    convertLower(argument);
    static const char *const words[] = {"daily", "weekly", "monthly", "summary"};
    for (int i = 0; i < 4; i++) {
        if (std::strcmp(argument, words[i]) == 0) {
            frequency = i;
            return;
        }
    }
    configError(
        "Unsupported reporting frequency set: %s(Valid settings are: monthly, weekly, "
        "daily, summary)\n",
        argument);
}

void setWeekstart(char *argument) {
    if (!argument) configError("No value given for weekstart keyword");
    convertLower(argument);
    static const char *const days[] = {"su", "mo", "tu", "we", "th", "fr", "sa"};
    for (int i = 0; i < 7; i++) {
        if (std::strncmp(argument, days[i], 2) == 0) {
            weekStart = i;
            return;
        }
    }
    configError(
        "Unrecognized value given for weekstart keyword: %s\nValid setttings are sun, "
        "mon, tue, wed, thu, fri, and sat",
        argument);
}

void setOrder(char *argument) {
    if (!argument) configError("No value given for order keyword");
    convertLower(argument);
    if (std::strcmp(argument, "bytes") == 0)
        bytesFlag = 1;
    else if (std::strcmp(argument, "accesses") == 0)
        bytesFlag = 0;
    else
        configError("Unsupported order set: %s (Valid settings are: bytes, accesses)\n", argument);
}

void setPageStyle(char *argument) {
    if (!argument) configError("No value given for pagestyle keyword");
    convertLower(argument);
    if (std::strcmp(argument, "modern") == 0)
        pageStyleModern = 1;
    else if (std::strcmp(argument, "classic") == 0)
        pageStyleModern = 0;
    else
        configError("Unsupported page style set: %s (Valid settings are: classic, modern)\n",
                    argument);
}

void wholeOrAll(int *slot, const char *name, char *argument) {
    if (!argument) configError("no argument provided for the %s keyword", name);
    convertLower(argument);
    if (std::strcmp(argument, "all") == 0) {
        *slot = COUNT_ALL;
        return;
    }
    whole(slot, name, argument);
}

void whole(int *slot, const char *name, char *argument) {
    if (!argument) configError("no argument provided for the %s keyword", name);
    convertLower(argument);
    if (!charIsDigit(argument[0]))
        configError("Argument to %s must be a whole number (%s was given)", name, argument);
    *slot = leadingNumber(argument);
}

void getFlag(int *slot, const char *name, char *argument) {
    if (!argument) {
        *slot = 1;
        return;
    }
    convertLower(argument);
    if (!std::strcmp(argument, "yes") || !std::strcmp(argument, "on") ||
        !std::strcmp(argument, "y"))
        *slot = 1;
    else if (!std::strcmp(argument, "no") || !std::strcmp(argument, "off") ||
             !std::strcmp(argument, "n"))
        *slot = 0;
    else if (!std::strcmp(argument, "nopie") || !std::strcmp(argument, "nochart"))
        *slot = FLAG_NOCHART;
    else
        configError("Argument to %s must be 'yes' or 'no' (%s was given)", name, argument);
}

void readStringArray(FILE *file, StringArray &list, const char *keyword) {
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword))
        stringArrayAppend(list, entry);
}

void readStringHash(FILE *file, Hash &table, const char *keyword) {
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword)) {
        char *value = splitPatternValue(entry, keyword);
        hashSetString(table, entry, 0, value);
    }
}

int totalsDivider(const char *key) {
    return key && std::strncmp(key, "DIVIDER", 7) == 0;
}

int documentHidden(const char *document) {
    return matchAny(document, hidden);
}

int agentPatternsNeeded() {
    return browserfamiliesFlag || systemfamiliesFlag || robotlistFlag || robotsMode != ROBOTS_COUNT;
}

int reportSectionFind(const char *name) {
    if (!name) return -1;
    for (int s = 0; s < SECTION_COUNT; s++)
        if (std::strcmp(reportSections[s].name, name) == 0) return s;
    return -1;
}

void resourceWrite(FILE *page, int n) {
    if (n < 0 || n >= TEXT_RESOURCE_COUNT) return;
    if (const char *text = textResource(n)) std::fputs(text, page);
}

void reportOrder(const char *name) {
    if (hashFind(reportListWorking, name) < 0) hashSetString(reportListWorking, name, 0, "");
}

void reportOrderFinal(const char *name) {
    if (hashFind(reportList, name) < 0) hashSetString(reportList, name, 0, "");
}

const char *globalDefaultText(char *const *slot) {
    for (const Keyword &k : keywords)
        if (k.text == slot && k.use == D_FINISH) return k.defaultText;
    return nullptr;
}

int globalDefaultList(const StringArray *list, const char *const **items) {
    for (const Keyword &k : keywords) {
        if (k.list == list && k.use == D_FINISH) {
            *items = k.defaultList;
            return k.defaultCount;
        }
    }
    *items = nullptr;
    return 0;
}

void globalSetup() {
    for (char **slot : stringSettings) {
        myfree(*slot);
        *slot = nullptr;
    }
    agentPatternsLine = 0;
    for (const Keyword &k : keywords)
        if (k.use == D_SETUP) *k.number = k.defaultNumber;
    for (StringArray *array : lists) {
        releaseList(*array);
        stringArraySetup(*array);
    }
    releaseTable(fakeDns);
    releaseTable(totals);
    releaseTable(totalsNew);
    releaseTable(reportList);
    releaseTable(reportListWorking);
    hashSetup(fakeDns, 1, 0);
    hashSetup(totals, 1, 2);
    hashSetup(reportList, 1, 0);
    hashSetup(reportListWorking, 1, 0);
}

void globalConfigure(FILE *file) {
    char buffer[KEYWORD_LINE_SIZE];
    line = 0;
    while (std::fgets(buffer, sizeof buffer, file)) {
        line++;
        if (buffer[0] == '#' || buffer[0] == '\n' || buffer[0] == '\r') continue;
        char *p = buffer;
        while (*p && isKeywordBreak(*p)) p++;
        if (!*p) continue;
        char *keyword = p;
        while (*p && !isKeywordBreak(*p)) p++;
        // The argument runs from after the keyword to the end of the line.
        char *argument = nullptr;
        if (*p == ' ' || *p == '\t') {
            *p++ = '\0';
            argument = p;
            argument[std::strcspn(argument, "\r\n")] = '\0';
            stripSpace(&argument);
        } else {
            *p = '\0';
        }
        convertLower(keyword);

        const Keyword *found = nullptr;
        for (const Keyword &k : keywords) {
            if (std::strcmp(k.keyword, keyword) == 0) {
                found = &k;
                break;
            }
        }
        if (found)
            handleKeyword(file, *found, argument);
        else if (std::strncmp(keyword, "html", 4) == 0)
            parseResource(file, keyword);
        else
            configError("Unrecognized keyword in configuration file: %s", keyword);
    }
    finishConfiguration();
}

void globalShutdown() {
    for (char **slot : stringSettings) {
        myfree(*slot);
        *slot = nullptr;
    }
    for (StringArray *array : lists) releaseList(*array);
    releaseTable(fakeDns);
    releaseTable(totals);
    releaseTable(totalsNew);
    releaseTable(reportList);
    releaseTable(reportListWorking);
    textResourcesReset();
}
