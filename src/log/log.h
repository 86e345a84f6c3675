// The log entry record and the parsers that fill it from one line of every supported
// format: common and combined, Microsoft IIS standard, EMWAC, W3C extended, referer logs
// and agent logs.
#pragma once
#include <cstddef>
#include <cstdint>

// Bounds of the text fields (characters, not counting the terminator).
constexpr int LOG_HOST_MAX = 255;  // site, ident, authuser, proxyHost, agent
constexpr int LOG_WORD_MAX = 63;   // method, protocol
constexpr int LOG_URL_MAX = 2047;  // url, referer
// Longest line a parser is given, and the size of its working copy.
constexpr int LOG_LINE_MAX = 2047;
constexpr int LOG_LINE_SIZE = LOG_LINE_MAX + 1;

// Result codes of the parsers and of the log stream.
enum {
    LOG_NOT_THIS_FORMAT = 0,  // not this format, or a field missing or malformed
    LOG_FUTURE = 1,           // dated more than three years after the current year
    LOG_OTHER_SERVER = 2,     // another server's or service's entry
    LOG_COMMENT = 3,          // comment line
    LOG_END = 4,              // end of input (the stream only)
    LOG_OK = 5                // an entry was parsed
};

// One parsed log line. Every text field is zero-terminated inside the record; a field
// that the format does not carry is empty, a number it does not carry is 0.
struct LogEntry {
    char site[LOG_HOST_MAX + 1];       // client host or address, lower-cased
    char ident[LOG_HOST_MAX + 1];      // identity field; empty when serverName is set
    char authuser[LOG_HOST_MAX + 1];   // authenticated user, "-" when none
    char proxyHost[LOG_HOST_MAX + 1];  // host of an absolute request URL, else "-"
    int32_t day;                       // 1..31 (0 or month length + 1 after an offset)
    int32_t month;                     // 1..12
    int32_t year;                      // four digits
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t zone;  // "-0700" gives -700; informational only
    char method[LOG_WORD_MAX + 1];
    char url[LOG_URL_MAX + 1];  // decoded by UnescapeUrl
    char protocol[LOG_WORD_MAX + 1];
    int32_t result;    // HTTP status
    int64_t size;      // bytes sent; 64 bits so that downloads over 2 GiB count exactly
    int32_t hasBytes;  // 1 when the format carries a byte count
    char referer[LOG_URL_MAX + 1];
    char agent[LOG_HOST_MAX + 1];
};

// "jan" .. "dec"; a name's index plus one is its month number.
extern const char *const monthnames[12];

// Format tried first for the next line: 0 common/combined, 1 IIS, 2 EMWAC, 3 W3C,
// 4 JSON lines.
extern int lastLogType;
// Set whenever the dispatcher gives LOG_NOT_THIS_FORMAT: 1 when a format read the line as
// an entry dated more than three years ahead (the line is then still a known one).
extern int logLineWasFuture;

// The W3C extended format's field map of one log source, set by its latest "#Fields:"
// line (and the date of its latest "#Date:" line, for logs without a date field).
constexpr int LOG_W3C_COLUMNS = 64;  // columns beyond these are read but not used
struct LogW3cFields {
    int columns;                          // fields named, 0 before any "#Fields:" line
    unsigned present;                     // one bit per kind of field named
    unsigned char kind[LOG_W3C_COLUMNS];  // what each column holds
    char date[11];                        // yyyy-mm-dd, or empty
};

// Parses one line (at most LOG_LINE_MAX characters are looked at) into entry, trying
// the format that worked last first; applies the configured time offset. The line is
// not changed. Returns one of the result codes above.
int logParseEntry(const char *line, LogEntry &entry);
// The same for a line of known length that need not be terminated: a zero byte among
// its first length characters ends it there, and at most LOG_LINE_MAX are looked at.
int logParseLine(const char *line, std::size_t length, LogEntry &entry);
// The same for a line the caller lets the parser change for the time of the call: its
// byte at length is overwritten and put back, and the bytes after it up to limit may
// be read. The common format is then read where the line stands. With w3c, the line
// comes from the log source whose field map that is: its directives update the map, and
// its data lines may be W3C entries.
int logParseLineInPlace(char *line, std::size_t length, const char *limit, LogEntry &entry,
                        LogW3cFields *w3c = nullptr);

// The single-format parsers cut text while tokenizing.
int logParseEntryCommon(char *text, LogEntry &entry);
int logParseEntryMicrosoft(char *text, LogEntry &entry);
int logParseEntryEmwac(char *text, LogEntry &entry);
// Caddy, Traefik and nginx (escape=json) access logs, one JSON object a line.
int logParseEntryJson(char *text, LogEntry &entry);
int logParseEntryReferer(char *text, LogEntry &entry);
int logParseEntryUseragent(char *text, LogEntry &entry);
int logParseEntryW3c(char *text, const LogW3cFields &fields, LogEntry &entry);
// Reads a directive line ("#...", length characters, need not be terminated) into fields.
void logW3cDirective(const char *line, std::size_t length, LogW3cFields &fields);

// Files one trailing IIS field into the referer or the agent.
void parseMicrosoftExtraField(const char *field, LogEntry &entry);
// Reads a date with the template msDateFormat; 1 when read (outputs set), else 0.
int parseFormattedDate(const char *text, int *month, int *day, int *year);

// Decodes %xx escapes in place, drops the query unless keepqueriesFlag is set and
// lower-cases the scheme and host (everything with nocaseFlag).
void UnescapeUrl(char *text);
void strChangeChr(char *text, char from, char to);
void logDump(const LogEntry &entry);

// Reads text with a scanf template made only of literal characters, blanks, "%d" and
// "%Ns" (N required), exactly as std::sscanf would, storing into out[i] the i-th
// conversion (int * or char * of N + 1 bytes). Returns what sscanf would return.
int logScanTemplate(const char *text, const char *format, void *const *out);
