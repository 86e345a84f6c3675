// The configuration reader: every setting of the analyser as a process-wide global,
// the keyword table, the block readers, and the finishing steps that supply the
// defaults and settle the order of the report sections.
#include "config/global.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstring>

#include "config/color.h"
#include "console/strhack.h"
#include "console/ui.h"
#include "core/mem.h"

// ---- Settings. The initializers are the values from program start; globalSetup
// sets most of them again, the rest keep these. ----
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
int offsetHours = 0;
int offsetMinutes = 0;
int frequency = FREQ_WEEKLY;
int weekStart = 0;
int bytesFlag = 0;
int topDocuments = 10;
int topUseragents = 10;
int topReferers = 10;
int topNotfound = 10;
int topSites = 10;
int topProxysites = 10;
int topAuthusers = 10;
int topDomains = 10;
int topProxydomains = 10;
int topTrails = 10;
int exampleVisits = 10;
int trailTimeout = 5;
int trailMinimumSteps = 3;
int documentsFlag = 1;
int hoursFlag = 1;
int daysFlag = 1;
int notfoundFlag = 0;
int visitsFlag = 1;
int uniqueFlag = 1;
int sitesFlag = 0;
int authusersFlag = 0;
int proxysitesFlag = 0;
int useragentsFlag = 1;
int referersFlag = 1;
int domainsFlag = 0;
int proxydomainsFlag = 0;
int resultcodesFlag = 1;
int trailsFlag = 1;
int keepqueriesFlag = 0;
int nocaseFlag = 0;
int nozeroesFlag = 0;
int referersInVisitsFlag = 1;
int nolinksFlag = 0;
int nopartialFlag = 0;
int nobytesFlag = 0;
int dnsFlag = 0;
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
};

struct Keyword {
    const char *keyword;
    KeywordKind kind;
    const char *name;     // the name that messages use
    const char *section;  // the report section it records, or null
    char **text;
    int *number;
    StringArray *list;
};

constexpr Keyword text(const char *keyword, char **slot, const char *name = nullptr) {
    return {keyword, K_STRING, name ? name : keyword, nullptr, slot, nullptr, nullptr};
}
constexpr Keyword special(const char *keyword, KeywordKind kind, const char *section = nullptr) {
    return {keyword, kind, keyword, section, nullptr, nullptr, nullptr};
}
constexpr Keyword count(const char *keyword, int *slot, const char *section) {
    return {keyword, K_COUNT, keyword, section, nullptr, slot, nullptr};
}
constexpr Keyword number(const char *keyword, int *slot) {
    return {keyword, K_WHOLE, keyword, nullptr, nullptr, slot, nullptr};
}
constexpr Keyword flag(const char *keyword, int *slot, const char *section,
                       const char *name = nullptr) {
    return {keyword, K_FLAG, name ? name : keyword, section, nullptr, slot, nullptr};
}
constexpr Keyword list(const char *keyword, StringArray *slot, KeywordKind kind = K_LIST) {
    return {keyword, kind, keyword, kind == K_DOMAINGROUPS ? "domaingroups" : nullptr,
            nullptr, nullptr, slot};
}
constexpr Keyword color(const char *keyword, char **slot) {
    return {keyword, K_COLOR, keyword, nullptr, slot, nullptr, nullptr};
}

const Keyword keywords[] = {
    // String settings.
    text("reportdir", &reportDir),
    text("logfile", &logFile),
    text("logdir", &logFile, "logfile"),
    text("mydomain", &myDomain),
    {"indexname", K_INDEXNAME, "indexname", nullptr, &indexName, nullptr, nullptr},
    text("subdomainsof", &subdomainsOf),
    {"topurl", K_TOPURL, "topurl", nullptr, &topUrl, nullptr, nullptr},
    {"dateformat", K_DATEFORMAT, "dateformat", nullptr, &dateFormat, nullptr, nullptr},
    text("msdateformat", &msDateFormat),
    text("iisdateformat", &msDateFormat, "msdateformat"),
    text("extension", &extension),
    text("servername", &serverName),
    {"offsethours", K_OFFSET, "offsethours", nullptr, &offsetString, nullptr, nullptr},
    // Choices.
    special("frequency", K_FREQUENCY),
    special("weekstart", K_WEEKSTART),
    special("order", K_ORDER),
    // Counts and whole numbers.
    count("top", &topDocuments, "documents"),
    count("topuseragents", &topUseragents, "useragents"),
    count("topreferers", &topReferers, "referers"),
    count("topreferrers", &topReferers, "referers"),
    count("topnotfound", &topNotfound, "notfound"),
    count("topsites", &topSites, "sites"),
    count("topproxysites", &topProxysites, "proxysites"),
    count("topauthusers", &topAuthusers, "authusers"),
    count("topdomains", &topDomains, "domains"),
    count("topproxydomains", &topProxydomains, "proxydomains"),
    count("toptrails", &topTrails, "trails"),
    count("examplevisits", &exampleVisits, "visits"),
    number("trailtimeout", &trailTimeout),
    number("trailminimumsteps", &trailMinimumSteps),
    // Yes/no settings.
    flag("documents", &documentsFlag, "documents"),
    flag("hours", &hoursFlag, "hours"),
    flag("days", &daysFlag, "days"),
    flag("notfound", &notfoundFlag, "notfound"),
    flag("visits", &visitsFlag, "visits"),
    flag("unique", &uniqueFlag, "unique"),
    flag("sites", &sitesFlag, "sites"),
    flag("authusers", &authusersFlag, "authusers"),
    flag("proxysites", &proxysitesFlag, "proxysites"),
    flag("useragents", &useragentsFlag, "useragents"),
    flag("referers", &referersFlag, "referers"),
    flag("referrers", &referersFlag, "referers"),
    flag("domains", &domainsFlag, "domains"),
    flag("proxydomains", &proxydomainsFlag, "proxydomains"),
    flag("resultcodes", &resultcodesFlag, "resultcodes"),
    flag("trails", &trailsFlag, "trails"),
    flag("keepqueries", &keepqueriesFlag, nullptr),
    flag("nocase", &nocaseFlag, nullptr),
    flag("nozeroes", &nozeroesFlag, nullptr),
    flag("nozeros", &nozeroesFlag, nullptr),
    flag("referersinvisits", &referersInVisitsFlag, nullptr),
    flag("referrersinvisits", &referersInVisitsFlag, nullptr),
    flag("nolinks", &nolinksFlag, nullptr),
    flag("nopartial", &nopartialFlag, nullptr),
    flag("nobytes", &nobytesFlag, nullptr),
    {"dns", K_DNS, "dns", nullptr, nullptr, &dnsFlag, nullptr},
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
    list("chartbarcolors", &chartBarColors, K_COLORLIST),
    list("pieslicecolors", &pieSliceColors, K_COLORLIST),
    // Pattern/value blocks.
    special("fakedns", K_FAKEDNS),
    special("totals", K_TOTALS, "totals"),
    special("totalsgroup", K_TOTALSGROUP, "totals"),
    // Colours.
    color("chartbackgroundcolor", &chartBackgroundColor),
    color("chartbordercolor", &chartBorderColor),
    color("charttextcolor", &chartTextColor),
    color("chartcrosscolor", &chartCrossColor),
    color("charttickcolor", &chartTickColor),
    color("piebackgroundcolor", &pieBackgroundColor),
    color("piebordercolor", &pieBorderColor),
    // Others.
    special("html", K_HTML),
    special("common", K_OLDFORMAT),
    special("ncsa_httpd", K_OLDFORMAT),
    special("cern_httpd", K_OLDFORMAT),
    special("plexus_httpd", K_OLDFORMAT),
};

// Colour settings and their built-in defaults, filled in at the end of each file.
struct ColorDefault {
    char **slot;
    const char *text;
};
const ColorDefault colorDefaults[] = {
    {&chartBackgroundColor, "#FFFFFF"}, {&chartBorderColor, "#000000"},
    {&chartTextColor, "#000000"},       {&chartCrossColor, "#04A004"},
    {&chartTickColor, "#040404"},       {&pieBackgroundColor, "#FFFFFF"},
    {&pieBorderColor, "#000000"},
};

char **const stringSettings[] = {
    &reportDir,      &logFile,           &myDomain,        &indexName,
    &subdomainsOf,   &topUrl,            &dateFormat,      &msDateFormat,
    &extension,      &serverName,        &offsetString,    &chartBackgroundColor,
    &chartBorderColor, &chartTextColor,  &chartCrossColor, &chartTickColor,
    &pieBackgroundColor, &pieBorderColor,
};

StringArray *const lists[] = {
    &allowed,      &ignored,         &hidden,     &suffixes,     &header,
    &footer,       &allowedSites,    &ignoredSites, &ignoredReferers, &subDomains,
    &domainGroups, &chartBarColors,  &pieSliceColors,
};

bool isKeywordBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The leading decimal digits of text as a number, saturating at INT_MAX.
int leadingNumber(const char *text) {
    long long value = 0;
    for (; isDigit(*text); text++) {
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
        if (!std::fgets(buffer, size, file)) configError("end %s must appear after %s", keyword, keyword);
        line++;
        if (buffer[0] == '#' || buffer[0] == '\n' || buffer[0] == '\r') continue;
        if (std::tolower(static_cast<unsigned char>(buffer[0])) == 'e' &&
            std::tolower(static_cast<unsigned char>(buffer[1])) == 'n' &&
            std::tolower(static_cast<unsigned char>(buffer[2])) == 'd') {
            char *p = buffer;
            while (*p && !isKeywordBreak(*p)) p++;
            while (*p && isKeywordBreak(*p)) p++;
            if (*p) {
                char *second = p;
                while (*p && !isKeywordBreak(*p)) p++;
                *p = '\0';
                convertLower(second);
                if (std::strcmp(second, keyword) != 0)
                    configError("end %s does not match %s. Perhaps you did not close an earlier list.",
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

bool isDivider(const char *key) {
    return std::strncmp(key, "DIVIDER", 7) == 0;
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
        if (!isDivider(totals.keys[row])) patterns++;
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword)) {
        char *value = splitPatternValue(entry, keyword);
        bool fresh =
            !isDivider(entry) && hashFind(totalsNew, entry) < 0 && hashFind(totals, entry) < 0;
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
    } else if (!isDigit(*p)) {
        configError("%s is not an acceptable value for the offsethours option.", argument);
    }
    int hours = leadingNumber(p);
    if (hours > OFFSET_LIMIT) configError("%s is not an acceptable value for the offsethours option.", argument);
    offsetHours = sign * hours;
    offsetMinutes = sign * minutes;
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
    case K_COUNT:
        wholeOrAll(k.number, k.name, argument);
        break;
    case K_WHOLE:
        whole(k.number, k.name, argument);
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
    case K_HTML:
        break;
    case K_OLDFORMAT:
        configError("This is a quorvel 3.2 configuration file. Please\n"
                    "run the 'upgrade' program to convert it for use\n"
                    "with the current version of quorvel. Nothing done.\n");
    }
    if (k.section) reportOrder(k.section);
}

// The defaults of what the file left out, the required settings and the report order.
void finishConfiguration() {
    if (!reportDir)
        configError("No reportdir was specified. Please specify a reports directory in the "
                    "configuration file.");
    if (!myDomain)
        configError("mydomain was not specified. Please specify a default top-level domain "
                    "(such as com, edu or org) in the configuration file.");
    if (!topUrl) topUrl = mystrdup("");
    if (!dateFormat) dateFormat = mystrdup("mm/dd/yy");
    if (!msDateFormat) msDateFormat = mystrdup("mm/dd/yy");
    if (!extension) extension = mystrdup("html");
    if (!indexName) {
        std::size_t size = std::strlen(extension) + sizeof "index.";
        indexName = static_cast<char *>(xmalloc(size));
        std::snprintf(indexName, size, "index.%s", extension);
    }
    for (const ColorDefault &c : colorDefaults)
        if (!*c.slot) *c.slot = mystrdup(c.text);
    if (chartBarColors.count == 0)
        for (int i = 0; i < CHART_DEFAULT_BAR_COLORS; i++)
            stringArrayAppend(chartBarColors, chartDefaultBarColors[i]);
    if (pieSliceColors.count == 0)
        for (int i = 0; i < PIE_DEFAULT_SLICE_COLORS; i++)
            stringArrayAppend(pieSliceColors, pieDefaultSliceColors[i]);

    static const char *const leading[] = {"unique", "totals", "hours", "days", "documents"};
    static const char *const trailing[] = {"authusers", "sites",  "domains",  "proxysites",
                                           "proxydomains", "trails", "visits", "referers",
                                           "useragents", "notfound", "resultcodes"};
    for (const char *name : leading)
        if (hashFind(reportListWorking, name) < 0) reportOrderFinal(name);
    for (int row = 0; row < reportListWorking.count; row++)
        reportOrderFinal(reportListWorking.keys[row]);
    for (const char *name : trailing) reportOrderFinal(name);

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
    configError("Unsupported reporting frequency set: %s(Valid settings are: monthly, weekly, "
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
    configError("Unrecognized value given for weekstart keyword: %s\nValid setttings are sun, "
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
    if (!isDigit(argument[0]))
        configError("Argument to %s must be a whole number (%s was given)", name, argument);
    *slot = leadingNumber(argument);
}

void getFlag(int *slot, const char *name, char *argument) {
    if (!argument) {
        *slot = 1;
        return;
    }
    convertLower(argument);
    if (!std::strcmp(argument, "yes") || !std::strcmp(argument, "on") || !std::strcmp(argument, "y"))
        *slot = 1;
    else if (!std::strcmp(argument, "no") || !std::strcmp(argument, "off") || !std::strcmp(argument, "n"))
        *slot = 0;
    else if (!std::strcmp(argument, "nopie") || !std::strcmp(argument, "nochart"))
        *slot = FLAG_NOCHART;
    else
        configError("Argument to %s must be 'yes' or 'no' (%s was given)", name, argument);
}

void readStringArray(FILE *file, StringArray &list, const char *keyword) {
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword)) stringArrayAppend(list, entry);
}

void readStringHash(FILE *file, Hash &table, const char *keyword) {
    char buffer[BLOCK_LINE_SIZE];
    while (char *entry = readBlockEntry(file, buffer, sizeof buffer, keyword)) {
        char *value = splitPatternValue(entry, keyword);
        hashSetString(table, entry, 0, value);
    }
}

void reportOrder(const char *name) {
    if (hashFind(reportListWorking, name) < 0) hashSetString(reportListWorking, name, 0, "");
}

void reportOrderFinal(const char *name) {
    if (hashFind(reportList, name) < 0) hashSetString(reportList, name, 0, "");
}

void globalSetup() {
    for (char **slot : stringSettings) {
        myfree(*slot);
        *slot = nullptr;
    }
    offsetHours = 0;
    weekStart = 0;
    frequency = FREQ_WEEKLY;
    topDocuments = topUseragents = topReferers = topNotfound = topSites = 10;
    topProxysites = topAuthusers = topDomains = topProxydomains = 10;
    exampleVisits = 10;
    trailTimeout = 5;
    trailMinimumSteps = 3;
    visitsFlag = referersInVisitsFlag = uniqueFlag = referersFlag = useragentsFlag = 1;
    notfoundFlag = nocaseFlag = nozeroesFlag = nolinksFlag = nopartialFlag = 0;
    sitesFlag = authusersFlag = proxysitesFlag = dnsFlag = bytesFlag = 0;
    domainsFlag = proxydomainsFlag = 0;
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
