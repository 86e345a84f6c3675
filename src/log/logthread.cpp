// The log stream read in a second thread. The reader thread fills batches of parsed entries
// in log order while the caller counts the entries of the batch before; at most a few
// batches are in flight. What the reader would print (a damaged compressed file) and a
// fatal error it meets (a file of a directory that can no longer be opened) travel with
// the batch, tied to the entry being read, and come out in the caller's thread when it
// reaches that entry: the run prints, counts and ends exactly as with one thread.
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/exit.h"
#include "core/mem.h"
#include "log/logs.h"

int logThreads = 1;

namespace {

constexpr int BATCH_ENTRIES = 256;
constexpr int BATCHES = 4;

struct Batch {
    LogEntry *entries = nullptr;
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

Batch batches[BATCHES];
std::mutex lock;
std::condition_variable filled, emptied;
std::thread reader;
bool running = false;  // the reader thread was started and not yet joined
bool stopping = false;
bool ended = false;  // the caller has reached the end

// The caller's place: the batch it reads and the next entry of it.
int readIndex = 0;
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
        batch.last = false;
        batch.notes.clear();
        batch.failure.clear();
        filling = &batch;
        try {
            while (batch.count < BATCH_ENTRIES) {
                if (logStreamRead(batch.entries[batch.count]) != LOG_OK) {
                    batch.last = true;
                    break;
                }
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
        if (!batch.entries)
            batch.entries = static_cast<LogEntry *>(xcalloc(BATCH_ENTRIES, sizeof(LogEntry)));
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
    }
    printNotes(readPosition);
    return &current->entries[readPosition++];
}

// Stops the reader thread before the stream's files are closed (a run that ends early).
void logStreamStopReader() {
    stopReader();
    if (exitPrepare == stopReader) exitPrepare = nullptr;
}
