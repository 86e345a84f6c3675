// History database: the totals of every reported period, carried from run to run in
// "database.dat" in the report directory. Columns are matched to the totals patterns
// by name, so patterns may be added, removed or reordered between runs.
//
// The file is read only when it is exactly what databaseShutdown writes: a header
// "Date    <tab>Days" with a "<pattern> accesses<tab><pattern> bytes" pair per column,
// then one line per period in ascending order, "m/d/yyyy<tab><days>" and a pair of
// "%20.0f" counts per column. Anything else (an editor's blanks for tabs, a renamed
// title, stray bytes, a cut line, even an empty file) ends the run with the line and
// what is wrong, and the file is left alone: going on would write this run's periods
// over a history that could not be read.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "config/global.h"
#include "core/chars.h"
#include "core/dates.h"
#include "core/exit.h"
#include "core/mem.h"
#include "core/outfile.h"
#include "engine/engine.h"

int databaseEpochsAllocated = 0;
void (*databaseExitHook)(int status) = nullptr;

constexpr int DATABASE_COLUMNS = 4096;
constexpr int DATABASE_INITIAL = 16;
constexpr int COUNT_WIDTH = 20;  // the width of "%20.0f"

static int recordWidth = 1;     // doubles per record array: keys of totals plus one
static int readingFile = 0;     // 1 while databaseSetup adds the stored records
static int futureReported = 0;  // 1 once the run said that later periods are not stored

static void giveArrays(DatabaseEpoch &record) {
    record.accesses = static_cast<double *>(xcalloc(recordWidth, sizeof(double)));
    record.bytes = static_cast<double *>(xcalloc(recordWidth, sizeof(double)));
    record.firstDay = 0;
    record.kind = 0;
    record.days = 0;
    record.thisRun = 0;
}

static void freeArrays(DatabaseEpoch &record) {
    myfree(record.accesses);
    myfree(record.bytes);
    record.accesses = nullptr;
    record.bytes = nullptr;
}

static char *databasePath() {
    const char *dir = reportDir ? reportDir : ".";
    std::size_t size = std::strlen(dir) + sizeof "/database.dat";
    char *path = static_cast<char *>(xmalloc(size));
    std::snprintf(path, size, "%s/database.dat", dir);
    return path;
}

static void zeroTotals() {
    for (int row = 0; row < totals.count; ++row) {
        totals.doubles[row][0] = 0;
        totals.doubles[row][1] = 0;
    }
}

static void databaseFree() {
    for (int i = 0; i < databaseEpochsAllocated; ++i) freeArrays(database[i]);
    myfree(database);
    database = nullptr;
    databaseEpochsTotal = 0;
    databaseEpochsAllocated = 0;
}

// Every fatal error of the history ends here, with its message already printed.
[[noreturn]] static void databaseFatal() {
    databaseFree();
    zeroTotals();
    readingFile = 0;
    if (databaseExitHook) databaseExitHook(1);
    MyExit(1);
}

// "unable to read" or "unable to write to", with the system's reason when there is one.
static void failureMessage(const char *action, const char *path, int error) {
    std::fprintf(stderr,
                 "Error: unable to %s %s! Check the reportdir setting and the permissions "
                 "and ownership of the directories and files.",
                 action, path);
    if (error) std::fprintf(stderr, ": %s", std::strerror(error));
    std::fputc('\n', stderr);
}

// A history that exists but cannot be read is not an empty one: going on would replace
// it with this run's periods alone.
[[noreturn]] static void readFailed(char *path, int error) {
    failureMessage("read", path, error);
    myfree(path);
    databaseFatal();
}

// The whole file with a NUL after it, its length in size; null (errno set) when a read fails.
static char *readWhole(FILE *file, std::size_t &size) {
    std::size_t allocated = 16384;
    char *text = static_cast<char *>(xmalloc(allocated));
    size = 0;
    for (;;) {
        size += std::fread(text + size, 1, allocated - size - 1, file);
        if (size + 1 < allocated) break;
        if (allocated > SIZE_MAX / 2) dieMemory();
        allocated *= 2;
        text = static_cast<char *>(xrealloc(text, allocated));
    }
    if (std::ferror(file)) {
        int error = errno;
        myfree(text);
        errno = error;
        return nullptr;
    }
    text[size] = '\0';
    return text;
}

// What is wrong with the file, and where.
struct Damage {
    int line = 0;
    char what[160] = "";
};

__attribute__((format(printf, 2, 3))) static int damaged(Damage &damage, const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(damage.what, sizeof damage.what, format, args);
    va_end(args);
    return 0;
}

// The next line of text, cut at its line feed; null with damage noted when the line is
// not one quorvel writes, or at the end of the text (damage.what stays empty).
static char *nextLine(char *&cursor, const char *end, Damage &damage) {
    if (cursor >= end) return nullptr;
    ++damage.line;
    char *feed = static_cast<char *>(std::memchr(cursor, '\n', end - cursor));
    if (!feed) {
        damaged(damage, "the line does not end with a line feed");
        return nullptr;
    }
    if (std::memchr(cursor, '\0', feed - cursor)) {
        damaged(damage, "the line holds a NUL byte");
        return nullptr;
    }
    if (feed > cursor && feed[-1] == '\r') {
        damaged(damage, "the line ends with a carriage return");
        return nullptr;
    }
    *feed = '\0';
    char *line = cursor;
    cursor = feed + 1;
    return line;
}

// The field at cursor, cut at the next tab; cursor moves past it (null after the last).
static char *nextField(char *&cursor) {
    char *field = cursor;
    char *tab = std::strchr(cursor, '\t');
    if (tab) {
        *tab = '\0';
        cursor = tab + 1;
    } else {
        cursor = nullptr;
    }
    return field;
}

// A decimal number as "%d" writes it (no sign, no leading zero), up to limit; -1 otherwise.
// text moves past the digits.
static int plainNumber(const char *&text, int limit) {
    const auto digit = [](char c) { return charIsDigit(static_cast<unsigned char>(c)); };
    if (!digit(text[0]) || (text[0] == '0' && digit(text[1]))) return -1;
    long value = 0;
    while (digit(*text)) {
        value = value * 10 + (*text++ - '0');
        if (value > limit) return -1;
    }
    return static_cast<int>(value);
}

// The first day of a "m/d/yyyy" date as dayToDate gives it back; -1 otherwise.
static int storedDate(const char *text) {
    int month = plainNumber(text, 12);
    if (month < 1 || *text++ != '/') return -1;
    int day = plainNumber(text, 31);
    if (day < 1 || *text++ != '/') return -1;
    int year = plainNumber(text, 9999);
    if (year < 1971 || *text) return -1;
    int first = dateToDay(month, day, year);
    int m = 0, d = 0, y = 0;
    dayToDate(first, &m, &d, &y);
    return m == month && d == day && y == year ? first : -1;
}

// A count as "%20.0f" writes it: blanks, then digits, that print back the same.
static int storedCount(const char *text, double &value) {
    std::size_t length = std::strlen(text);
    if (length < static_cast<std::size_t>(COUNT_WIDTH)) return 0;
    const char *digits = text + std::strspn(text, " ");
    if (!*digits || digits[std::strspn(digits, "0123456789")] != '\0') return 0;
    value = std::strtod(digits, nullptr);
    char printed[400];
    std::snprintf(printed, sizeof printed, "%*.0f", COUNT_WIDTH, value);
    return std::strcmp(printed, text) == 0;
}

static void tooManyColumns() {
    std::fputs("Error: database contains more than 4096 items for the totals list!\n", stderr);
}

// Reads the header and the records of text into the table. Returns 1; 0 with damage
// filled in; -1 past the column limit, its message printed.
static int readHistory(char *text, std::size_t size, int *columnMap, Damage &damage) {
    if (size == 0) {
        damage.line = 1;
        return damaged(damage, "the file is empty");
    }
    char *cursor = text;
    const char *end = text + size;
    char *line = nextLine(cursor, end, damage);
    if (!line) return 0;
    const char lead[] = "Date    \tDays";
    if (std::strncmp(line, lead, sizeof lead - 1) != 0 ||
        (line[sizeof lead - 1] != '\0' && line[sizeof lead - 1] != '\t'))
        return damaged(damage, "the header does not begin with \"Date    \", a tab and \"Days\"");

    int columns = 0;
    char *fields = line[sizeof lead - 1] ? line + sizeof lead : nullptr;
    char *seen = static_cast<char *>(xcalloc(totals.count + 1, 1));
    int ok = 1;
    while (ok && fields) {
        if (columns >= DATABASE_COLUMNS) {
            myfree(seen);
            tooManyColumns();
            return -1;
        }
        int field = 3 + 2 * columns;
        char *title = nextField(fields);
        char *blank = std::strchr(title, ' ');
        if (!blank || blank == title || std::strcmp(blank, " accesses") != 0) {
            ok = damaged(damage, "field %d is not a totals pattern followed by \" accesses\"",
                         field);
            break;
        }
        std::size_t keyLength = static_cast<std::size_t>(blank - title);
        char *bytesTitle = fields ? nextField(fields) : nullptr;
        if (!bytesTitle || std::strncmp(bytesTitle, title, keyLength) != 0 ||
            std::strcmp(bytesTitle + keyLength, " bytes") != 0) {
            ok = damaged(damage, "field %d is not the pattern of field %d followed by \" bytes\"",
                         field + 1, field);
            break;
        }
        *blank = '\0';
        int row = totalsDivider(title) ? -1 : hashFind(totals, title);
        if (row >= 0 && seen[row]) {
            ok = damaged(damage, "field %d names a totals pattern a second time", field);
            break;
        }
        if (row >= 0) seen[row] = 1;
        columnMap[columns++] = row;
    }
    myfree(seen);
    if (!ok) return 0;

    const int expected = 2 + 2 * columns;
    int previous = -1;
    while ((line = nextLine(cursor, end, damage))) {
        int count = 1;
        for (const char *tab = std::strchr(line, '\t'); tab; tab = std::strchr(tab + 1, '\t'))
            ++count;
        if (count != expected)
            return damaged(damage, "the line has %d tab-separated field%s where the header has %d",
                           count, count == 1 ? "" : "s", expected);
        fields = line;
        int first = storedDate(nextField(fields));
        if (first < 0) return damaged(damage, "field 1 is not a date written as month/day/year");
        if (first <= previous)
            return damaged(damage, "the date is not later than the date of the line before");
        previous = first;
        const char *daysText = nextField(fields);
        int days = plainNumber(daysText, 31);
        if (days < 1 || *daysText)
            return damaged(damage, "field 2 is not a number of days from 1 to 31");
        zeroTotals();
        for (int k = 0; k < columns; ++k) {
            double accesses = 0, bytes = 0;
            if (!storedCount(nextField(fields), accesses))
                return damaged(damage,
                               "field %d is not a whole number right-aligned in %d characters",
                               3 + 2 * k, COUNT_WIDTH);
            if (!storedCount(nextField(fields), bytes))
                return damaged(damage,
                               "field %d is not a whole number right-aligned in %d characters",
                               4 + 2 * k, COUNT_WIDTH);
            if (columnMap[k] >= 0) {
                totals.doubles[columnMap[k]][0] = accesses;
                totals.doubles[columnMap[k]][1] = bytes;
            }
        }
        databaseEpochAdd(first, days, totals);
    }
    return damage.what[0] == '\0';
}

void databaseSetup() {
    databaseFree();
    recordWidth = totals.count + 1;
    futureReported = 0;
    databaseEpochsTotal = 0;
    databaseEpochsAllocated = DATABASE_INITIAL;
    database =
        static_cast<DatabaseEpoch *>(xcalloc(databaseEpochsAllocated, sizeof(DatabaseEpoch)));
    for (int i = 0; i < databaseEpochsAllocated; ++i) giveArrays(database[i]);

    char *path = databasePath();
    errno = 0;
    FILE *file = std::fopen(path, "r");
    if (!file) {
        if (errno != ENOENT) readFailed(path, errno);
        myfree(path);
        return;
    }
    // A directory in its place holds no history; writing it back fails at the end.
    struct stat status;
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(file);
        myfree(path);
        return;
    }
    std::size_t size = 0;
    char *text = readWhole(file, size);
    int error = errno;
    std::fclose(file);
    if (!text) readFailed(path, error);

    int *columnMap = static_cast<int *>(xmalloc(DATABASE_COLUMNS * sizeof(int)));
    Damage damage;
    readingFile = 1;
    int result = readHistory(text, size, columnMap, damage);
    readingFile = 0;
    zeroTotals();
    myfree(columnMap);
    myfree(text);
    if (result != 1) {
        if (result == 0)
            std::fprintf(stderr,
                         "Error: the history database %s is damaged at line %d: %s.\n"
                         "It was left as it is: repair it, restore it from a backup, or remove it "
                         "to start a new history.\n",
                         path, damage.line, damage.what);
        myfree(path);
        databaseFatal();
    }
    myfree(path);
}

void databaseEpochAdd(int first, int days, const Hash &values) {
    if (!readingFile && first > nowDay) {
        if (!futureReported) {
            int month = 0, day = 0, year = 0;
            dayToDate(first, &month, &day, &year);
            std::fprintf(stderr,
                         "Periods after today are not stored in the history: the pages from "
                         "%d/%d/%d on are written but not listed in the index.\n",
                         month, day, year);
            futureReported = 1;
        }
        return;
    }
    if (databaseEpochsTotal >= databaseEpochsAllocated) {
        int allocated = databaseEpochsAllocated > 0 ? databaseEpochsAllocated : DATABASE_INITIAL;
        while (allocated <= databaseEpochsTotal) {
            if (allocated > INT_MAX / 2) dieMemory();
            allocated *= 2;
        }
        database = static_cast<DatabaseEpoch *>(
            xrealloc(database, static_cast<std::size_t>(allocated) * sizeof(DatabaseEpoch)));
        for (int i = databaseEpochsAllocated; i < allocated; ++i) giveArrays(database[i]);
        databaseEpochsAllocated = allocated;
    }
    DatabaseEpoch &record = database[databaseEpochsTotal];
    int keys = std::min(values.count, recordWidth);
    for (int i = 0; i < keys; ++i) {
        record.accesses[i] = values.doubles[i][0];
        record.bytes[i] = values.doubles[i][1];
    }
    record.firstDay = first;
    record.days = days;
    record.thisRun = readingFile ? 0 : 1;
    // A weekly history shorter than a week bridges a change of the week's first day.
    if (days == 7 || (frequency == FREQ_WEEKLY && days >= 1 && days < 7)) {
        record.kind = 1;
    } else if (days == 1) {
        record.kind = 0;
    } else {
        if (days <= 20) {
            std::fputs(
                "Warning: the days value in the database\nis not appropriate for a day, week or\n"
                "month; assuming a month.\n",
                stderr);
        }
        record.kind = 2;
    }
    ++databaseEpochsTotal;
}

int databaseEpochsCompare(const void *a, const void *b) {
    int first = static_cast<const DatabaseEpoch *>(a)->firstDay;
    int second = static_cast<const DatabaseEpoch *>(b)->firstDay;
    return (first > second) - (first < second);
}

// Sorted by first day; of several records of one first day the one added last stays,
// so a period analysed again replaces the stored one. Only this run's report of the
// period in progress gives way to a stored record: it is never written, and the stored
// one would be lost with it.
void databaseSort() {
    std::stable_sort(database, database + databaseEpochsTotal,
                     [](const DatabaseEpoch &a, const DatabaseEpoch &b) {
                         return databaseEpochsCompare(&a, &b) < 0;
                     });
    int kept = 0;
    for (int i = 0; i < databaseEpochsTotal;) {
        int next = i + 1;
        while (next < databaseEpochsTotal && database[next].firstDay == database[i].firstDay)
            ++next;
        int keep = next - 1;
        if (databaseEpochPartial(database[keep])) {
            for (int k = next - 2; k >= i; --k) {
                if (!database[k].thisRun) {
                    keep = k;
                    break;
                }
            }
        }
        for (int k = i; k < next; ++k)
            if (k != keep) freeArrays(database[k]);
        database[kept++] = database[keep];
        i = next;
    }
    // The places left behind get arrays of their own again.
    for (int i = kept; i < databaseEpochsTotal; ++i) giveArrays(database[i]);
    databaseEpochsTotal = kept;
}

[[noreturn]] static void writeFailed(char *path, OutFile &out, int error) {
    outAbandon(out);
    failureMessage("write to", path, error);
    myfree(path);
    databaseFatal();
}

// The days value of a record as the current frequency writes it.
static int writtenDays(const DatabaseEpoch &record) {
    if (frequency == FREQ_MONTHLY) return monthLength(record.firstDay);
    if (frequency == FREQ_WEEKLY) return record.days >= 1 && record.days < 7 ? record.days : 7;
    return 1;
}

void databaseShutdown() {
    databaseSort();
    char *path = databasePath();
    OutFile out;
    FILE *file = outOpen(out, path);
    if (!file) writeFailed(path, out, errno);
    errno = 0;

    std::fputs("Date    \tDays", file);
    for (int row = 0; row < totals.count; ++row) {
        const char *key = totals.keys[row];
        if (totalsDivider(key)) continue;
        std::fprintf(file, "\t%s accesses\t%s bytes", key, key);
    }
    std::fputc('\n', file);

    for (int i = 0; i < databaseEpochsTotal; ++i) {
        const DatabaseEpoch &record = database[i];
        if (databaseEpochPartial(record)) continue;
        int month = 0, day = 0, year = 0;
        dayToDate(record.firstDay, &month, &day, &year);
        std::fprintf(file, "%d/%d/%d\t%d", month, day, year, writtenDays(record));
        for (int row = 0; row < totals.count && row < recordWidth; ++row) {
            if (totalsDivider(totals.keys[row])) continue;
            std::fprintf(file, "\t%20.0f\t%20.0f", record.accesses[row], record.bytes[row]);
        }
        std::fputc('\n', file);
    }
    if (!outClose(out)) writeFailed(path, out, errno);
    myfree(path);

    databaseFree();
}
