// History database: the totals of every reported period, carried from run to run in
// "database.dat" in the report directory. Columns are matched to the totals patterns
// by name, so patterns may be added, removed or reordered between runs.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "config/global.h"
#include "console/ui.h"
#include "core/dates.h"
#include "core/mem.h"
#include "core/outfile.h"
#include "engine/engine.h"

DatabaseEpoch *database = nullptr;
int databaseEpochsTotal = 0;
int databaseEpochsAllocated = 0;

constexpr int DATABASE_COLUMNS = 4096;
constexpr int DATABASE_INITIAL = 16;

static int recordWidth = 1;  // doubles per record array: keys of totals plus one

static void giveArrays(DatabaseEpoch &record) {
    record.accesses = static_cast<double *>(mycalloc(recordWidth, sizeof(double)));
    record.bytes = static_cast<double *>(mycalloc(recordWidth, sizeof(double)));
    if (!record.accesses || !record.bytes) dieMemory();
    record.firstDay = 0;
    record.kind = 0;
    record.days = 0;
}

static void freeArrays(DatabaseEpoch &record) {
    myfree(record.accesses);
    myfree(record.bytes);
    record.accesses = nullptr;
    record.bytes = nullptr;
}

static int isDivider(const char *key) { return std::strncmp(key, "DIVIDER", 7) == 0; }

static char *databasePath() {
    const char *dir = reportDir ? reportDir : ".";
    std::size_t size = std::strlen(dir) + sizeof "/database.dat";
    char *path = static_cast<char *>(mymalloc(size));
    if (!path) dieMemory();
    std::snprintf(path, size, "%s/database.dat", dir);
    return path;
}

// Reads one whole line, however long, into a growing buffer. Returns 0 at the end.
static int readLine(FILE *file, char *&buffer, std::size_t &size) {
    if (!buffer) {
        size = 16384;
        buffer = static_cast<char *>(mymalloc(size));
        if (!buffer) dieMemory();
    }
    std::size_t used = 0;
    buffer[0] = '\0';
    while (std::fgets(buffer + used, static_cast<int>(size - used), file)) {
        used += std::strlen(buffer + used);
        if (used > 0 && buffer[used - 1] == '\n') return 1;
        if (used + 1 < size) return 1;  // last line without a line feed
        if (size > INT_MAX / 2) dieMemory();
        size *= 2;
        buffer = static_cast<char *>(myrealloc(buffer, size));
        if (!buffer) dieMemory();
    }
    return used > 0;
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

// A history that exists but cannot be read is not an empty one: going on would replace
// it with this run's periods alone.
static void readFailed(char *path) {
    std::fprintf(stderr,
                 "Error: unable to read %s! Check the reportdir setting and the permissions "
                 "and ownership of the directories and files.\n",
                 path);
    myfree(path);
    MyExit(1);
}

void databaseSetup() {
    databaseFree();
    recordWidth = totals.count + 1;
    databaseEpochsTotal = 0;
    databaseEpochsAllocated = DATABASE_INITIAL;
    database = static_cast<DatabaseEpoch *>(mycalloc(databaseEpochsAllocated, sizeof(DatabaseEpoch)));
    if (!database) dieMemory();
    for (int i = 0; i < databaseEpochsAllocated; ++i) giveArrays(database[i]);

    char *path = databasePath();
    errno = 0;
    FILE *file = std::fopen(path, "r");
    if (!file) {
        if (errno != ENOENT) readFailed(path);
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

    int *columnMap = static_cast<int *>(mymalloc(DATABASE_COLUMNS * sizeof(int)));
    if (!columnMap) dieMemory();
    for (int k = 0; k < DATABASE_COLUMNS; ++k) columnMap[k] = -1;
    int columns = 0;
    const char *delimiters = "\t\r\n";
    char *buffer = nullptr;
    std::size_t size = 0;
    char *save = nullptr;

    int headerOk = readLine(file, buffer, size);
    if (headerOk) {
        char *first = strtok_r(buffer, delimiters, &save);
        char *second = first ? strtok_r(nullptr, delimiters, &save) : nullptr;
        headerOk = second != nullptr;
    }
    if (headerOk) {
        for (;;) {
            char *title = strtok_r(nullptr, delimiters, &save);
            if (!title) break;
            if (columns >= DATABASE_COLUMNS) {
                std::fputs("Error: database contains more than 4096 items for the totals list!\n", stderr);
                std::fclose(file);
                myfree(path);
                MyExit(1);
            }
            char *blank = std::strchr(title, ' ');
            if (!blank) {
                headerOk = 0;  // not a history this program wrote: keep nothing
                break;
            }
            *blank = '\0';
            columnMap[columns++] = hashFind(totals, title);
            if (!strtok_r(nullptr, delimiters, &save)) break;
        }
    }
    if (headerOk) {
        while (readLine(file, buffer, size)) {
            zeroTotals();
            char *dateField = strtok_r(buffer, delimiters, &save);
            if (!dateField) continue;
            char *daysField = strtok_r(nullptr, delimiters, &save);
            int month = 0, day = 0, year = 0;
            if (std::sscanf(dateField, "%d/%d/%d", &month, &day, &year) != 3 || !daysField) continue;
            // A damaged line must not become a period no page could be named after.
            if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1971 || year > 9999) continue;
            int days = static_cast<int>(std::strtol(daysField, nullptr, 10));
            for (int k = 0; k < columns; ++k) {
                char *accessesField = strtok_r(nullptr, delimiters, &save);
                if (!accessesField) break;
                char *bytesField = strtok_r(nullptr, delimiters, &save);
                double accesses = std::strtod(accessesField, nullptr);
                double bytes = bytesField ? std::strtod(bytesField, nullptr) : 0;
                if (columnMap[k] >= 0) {
                    totals.doubles[columnMap[k]][0] = accesses;
                    totals.doubles[columnMap[k]][1] = bytes;
                }
                if (!bytesField) break;
            }
            databaseEpochAdd(dateToDay(month, day, year), days, totals);
        }
    }
    zeroTotals();
    myfree(buffer);
    myfree(columnMap);
    bool damaged = std::ferror(file) != 0;
    std::fclose(file);
    if (damaged) readFailed(path);
    myfree(path);
}

void databaseEpochAdd(int first, int days, const Hash &values) {
    if (databaseEpochsTotal >= databaseEpochsAllocated) {
        int allocated = databaseEpochsAllocated > 0 ? databaseEpochsAllocated : DATABASE_INITIAL;
        while (allocated <= databaseEpochsTotal) {
            if (allocated > INT_MAX / 2) dieMemory();
            allocated *= 2;
        }
        database = static_cast<DatabaseEpoch *>(
            myrealloc(database, static_cast<std::size_t>(allocated) * sizeof(DatabaseEpoch)));
        if (!database) dieMemory();
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
    if (days == 7) {
        record.kind = 1;
    } else if (days == 1) {
        record.kind = 0;
    } else {
        if (days <= 20) {
            std::fputs("Warning: the days value in the database\nis not appropriate for a day, week or\n"
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
// so a period analysed again replaces the stored one.
void databaseSort() {
    std::stable_sort(database, database + databaseEpochsTotal,
                     [](const DatabaseEpoch &a, const DatabaseEpoch &b) {
                         return databaseEpochsCompare(&a, &b) < 0;
                     });
    int kept = 0;
    for (int i = 0; i < databaseEpochsTotal; ++i) {
        if (i + 1 < databaseEpochsTotal && database[i + 1].firstDay == database[i].firstDay) {
            freeArrays(database[i]);
            continue;
        }
        database[kept++] = database[i];
    }
    // The places left behind get arrays of their own again.
    for (int i = kept; i < databaseEpochsTotal; ++i) giveArrays(database[i]);
    databaseEpochsTotal = kept;
}

static void writeFailed(const char *path, OutFile &out) {
    outAbandon(out);
    std::fprintf(stderr,
                 "Error: unable to write to %s! Check the reportdir setting and the permissions "
                 "and ownership of the directories and files.\n",
                 path);
    MyExit(1);
}

void databaseShutdown() {
    databaseSort();
    char *path = databasePath();
    OutFile out;
    FILE *file = outOpen(out, path);
    if (!file) writeFailed(path, out);

    std::fputs("Date    \tDays", file);
    for (int row = 0; row < totals.count; ++row) {
        const char *key = totals.keys[row];
        if (isDivider(key)) continue;
        std::fprintf(file, "\t%s accesses\t%s bytes", key, key);
    }
    std::fputc('\n', file);

    for (int i = 0; i < databaseEpochsTotal; ++i) {
        const DatabaseEpoch &record = database[i];
        if (record.firstDay == partialEpoch) continue;
        int month = 0, day = 0, year = 0;
        dayToDate(record.firstDay, &month, &day, &year);
        int days = frequency == FREQ_MONTHLY ? monthLength(record.firstDay)
                   : frequency == FREQ_WEEKLY ? 7
                                              : 1;
        std::fprintf(file, "%d/%d/%d\t%d", month, day, year, days);
        for (int row = 0; row < totals.count && row < recordWidth; ++row) {
            if (isDivider(totals.keys[row])) continue;
            std::fprintf(file, "\t%20.0f\t%20.0f", record.accesses[row], record.bytes[row]);
        }
        std::fputc('\n', file);
    }
    if (!outClose(out)) writeFailed(path, out);
    myfree(path);

    databaseFree();
}
