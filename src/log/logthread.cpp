// The log stream read in a second thread. The reader thread fills batches of parsed entries
// in log order while the caller counts the entries of the batch before; at most a few
// batches are in flight. What the reader would print (a damaged compressed file) and a
// fatal error it meets (a file of a directory that can no longer be opened) travel with
// the batch, tied to the entry being read, and come out in the caller's thread when it
// reaches that entry: the run prints, counts and ends exactly as with one thread.
#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/exit.h"
#include "log/logbytes.h"
#include "log/logs.h"

int logThreads = 1;

namespace {

constexpr int BATCH_ENTRIES = 2048;
// The caller counts steadily but writes a period's pages and charts in one go: enough
// batches (some 10 ms of reading, under a megabyte each) for the reader to work on
// meanwhile rather than wait.
constexpr int BATCHES = 16;

// An entry as it travels between the threads: its numbers, then its texts one after
// another. The caller reads a batch from start to end, which keeps it in the caches; the
// entries themselves (kilobytes each, mostly unused) would not be.
struct PackedNumbers {
    int32_t day, month, year, hour, minute, second, zone, result, hasBytes;
    int64_t size;
    uint16_t lengths[9];
};

// A batch's packed entries: a buffer that is never zero-filled, with SLACK bytes beyond
// what it holds, so that short texts are copied in one fixed-size step.
constexpr std::size_t SHORT_TEXT = 32;
constexpr std::size_t SLACK = SHORT_TEXT;

// Every text field of an entry has room for SHORT_TEXT bytes.
static_assert(LOG_WORD_MAX + 1 >= SHORT_TEXT && LOG_HOST_MAX + 1 >= SHORT_TEXT);

struct Packed {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;  // not counting the slack

    // Room for more bytes at the end, which the caller then fills.
    char *room(std::size_t more) {
        if (size + more > capacity) {
            std::size_t grown = std::max(capacity * 2, size + more);
            std::unique_ptr<char[]> bigger(new char[grown + SLACK]);
            if (size) std::memcpy(bigger.get(), data.get(), size);
            data = std::move(bigger);
            capacity = grown;
        }
        return data.get() + size;
    }
};

// A text of known length copied where SHORT_TEXT bytes may be read and written: a short
// one in one step, whatever follows it.
inline void copyText(char *to, const char *from, std::size_t length) {
    if (length <= SHORT_TEXT)
        std::memcpy(to, from, SHORT_TEXT);
    else
        std::memcpy(to, from, length);
}

// Each batch in cache lines of its own: the reader writes one while the caller reads
// another, entry after entry.
struct alignas(64) Batch {
    Packed packed;           // the batch's entries, packed one after another
    std::size_t readAt = 0;  // where the caller's next entry starts
    int count = 0;
    bool full = false;  // filled by the reader, not yet given back by the caller
    bool last = false;  // the stream ends after these entries
    // Messages to print before the entry of the index (count: after the last entry).
    std::vector<std::pair<int, std::string>> notes;
    std::string failure;  // the fatal error that ended the stream, or empty
};

// A fatal error of the reader thread, thrown by its divert hook.
struct ReaderFailure {
    std::string message;
};

// The texts of an entry, in the order they are packed.
template <class Entry, class Visit>
void eachText(Entry &entry, Visit visit) {
    visit(entry.site);
    visit(entry.ident);
    visit(entry.authuser);
    visit(entry.proxyHost);
    visit(entry.method);
    visit(entry.url);
    visit(entry.protocol);
    visit(entry.referer);
    visit(entry.agent);
}

// The length of a text in a field of size bytes: most are short, and are measured in the
// field's first SHORT_TEXT bytes without a call.
inline std::size_t textLength(const char *text, std::size_t size) {
#if defined(__SSE2__)
    const unsigned char *u = reinterpret_cast<const unsigned char *>(text);
    unsigned zeros = logMask(logEqual(logLoad(u), '\0')) | logMask(logEqual(logLoad(u + 16), '\0'))
                                                               << 16;
    if (zeros) return static_cast<std::size_t>(__builtin_ctz(zeros));
#endif
    return strnlen(text, size - 1);
}

void pack(Packed &out, const LogEntry &entry) {
    PackedNumbers numbers{entry.day,      entry.month,  entry.year, entry.hour,
                          entry.minute,   entry.second, entry.zone, entry.result,
                          entry.hasBytes, entry.size,   {}};
    int field = 0;
    std::size_t total = sizeof numbers;
    eachText(entry, [&](const auto &text) {
        std::size_t length = textLength(text, sizeof text);
        numbers.lengths[field++] = static_cast<uint16_t>(length);
        total += length;
    });
    char *to = out.room(total);
    std::memcpy(to, &numbers, sizeof numbers);
    to += sizeof numbers;
    field = 0;
    eachText(entry, [&](const auto &text) {
        std::size_t length = numbers.lengths[field++];
        copyText(to, text, length);
        to += length;
    });
    out.size += total;
}

// Unpacks the entry at at into entry; returns where the next one starts.
std::size_t unpack(const Packed &in, std::size_t at, LogEntry &entry) {
    const char *from = in.data.get() + at;
    PackedNumbers numbers;
    std::memcpy(&numbers, from, sizeof numbers);
    from += sizeof numbers;
    entry.day = numbers.day;
    entry.month = numbers.month;
    entry.year = numbers.year;
    entry.hour = numbers.hour;
    entry.minute = numbers.minute;
    entry.second = numbers.second;
    entry.zone = numbers.zone;
    entry.result = numbers.result;
    entry.hasBytes = numbers.hasBytes;
    entry.size = numbers.size;
    int field = 0;
    eachText(entry, [&](auto &text) {
        std::size_t length = numbers.lengths[field++];
        copyText(text, from, length);
        text[length] = '\0';
        from += length;
    });
    return static_cast<std::size_t>(from - in.data.get());
}

Batch batches[BATCHES];
// The reader's entry while it is parsed, and the caller's once unpacked.
alignas(64) LogEntry parsed;
alignas(64) LogEntry delivered;
alignas(64) std::mutex lock;
std::condition_variable filled, emptied;
std::thread reader;
bool running = false;  // the reader thread was started and not yet joined
bool stopping = false;
bool ended = false;  // the caller has reached the end

// The caller's place: the batch it reads and the next entry of it.
alignas(64) int readIndex = 0;
int readPosition = 0;
std::size_t readNote = 0;
Batch *current = nullptr;

// The reader thread's batch while it reads, for logNote.
thread_local Batch *filling = nullptr;

// The single-threaded stream's entry.
LogEntry single;

[[noreturn]] void throwFailure(const char *message) {
    throw ReaderFailure{message};
}

void readLoop() {
    fatalDivert = throwFailure;
    for (int index = 0;; index = (index + 1) % BATCHES) {
        Batch &batch = batches[index];
        {
            std::unique_lock<std::mutex> guard(lock);
            emptied.wait(guard, [&] { return !batch.full || stopping; });
            if (stopping) return;
        }
        batch.count = 0;
        batch.packed.size = 0;
        batch.last = false;
        batch.notes.clear();
        batch.failure.clear();
        filling = &batch;
        try {
            while (batch.count < BATCH_ENTRIES) {
                if (logStreamRead(parsed) != LOG_OK) {
                    batch.last = true;
                    break;
                }
                pack(batch.packed, parsed);
                batch.count++;
            }
        } catch (const ReaderFailure &failure) {
            batch.failure = failure.message.empty() ? "\n" : failure.message;
            batch.last = true;
        }
        filling = nullptr;
        bool last = batch.last;
        {
            std::lock_guard<std::mutex> guard(lock);
            batch.full = true;
        }
        filled.notify_one();
        if (last) return;
    }
}

void stopReader() {
    if (!running) return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    emptied.notify_all();
    reader.join();
    running = false;
}

void start() {
    for (Batch &batch : batches) {
        batch.packed.room(BATCH_ENTRIES * 512);
        batch.full = batch.last = false;
        batch.count = 0;
        batch.notes.clear();
        batch.failure.clear();
    }
    readIndex = readPosition = 0;
    readNote = 0;
    current = nullptr;
    stopping = ended = false;
    running = true;
    exitPrepare = stopReader;
    reader = std::thread(readLoop);
}

// Prints the current batch's notes tied to entries up to position.
void printNotes(int position) {
    while (readNote < current->notes.size() && current->notes[readNote].first <= position)
        std::fputs(current->notes[readNote++].second.c_str(), stderr);
}

}  // namespace

void logNote(const char *format, ...) {
    va_list args;
    va_start(args, format);
    if (Batch *batch = filling) {
        char text[2048];
        std::vsnprintf(text, sizeof text, format, args);
        batch->notes.emplace_back(batch->count, text);
    } else {
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

LogEntry *logStreamNext() {
    if (logThreads <= 1) return logStreamRead(single) == LOG_OK ? &single : nullptr;
    if (ended) return nullptr;
    if (!running) start();
    while (!current || readPosition == current->count) {
        if (current) {
            printNotes(current->count);
            if (!current->failure.empty()) {
                stopReader();
                std::fputs(current->failure.c_str(), stderr);
                MyExit(1);
            }
            bool last = current->last;
            {
                std::lock_guard<std::mutex> guard(lock);
                current->full = false;
            }
            emptied.notify_one();
            current = nullptr;
            if (last) {
                ended = true;
                stopReader();
                return nullptr;
            }
            readIndex = (readIndex + 1) % BATCHES;
        }
        Batch &batch = batches[readIndex];
        std::unique_lock<std::mutex> guard(lock);
        filled.wait(guard, [&] { return batch.full; });
        current = &batch;
        readPosition = 0;
        readNote = 0;
        batch.readAt = 0;
    }
    printNotes(readPosition);
    current->readAt = unpack(current->packed, current->readAt, delivered);
    readPosition++;
    return &delivered;
}

// Stops the reader thread before the stream's files are closed (a run that ends early).
void logStreamStopReader() {
    stopReader();
    if (exitPrepare == stopReader) exitPrepare = nullptr;
}
