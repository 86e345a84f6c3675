// Line reader over plain, gzip and bzip2 log files.
//
// Text is read in 64 KiB chunks; lines are cut out of the chunk as fgets would cut
// them. A compressed file is decoded chunk by chunk into a second buffer. Concatenated
// members (gzip) and streams (bzip2) are read one after the other; bytes after the
// last member that begin no new member are ignored, as gzip does.
//
// Parking and resuming, which the log stream uses to keep at most 20 files open:
// - plain file: the position is the file offset; resuming seeks to it.
// - gzip: the decoder state stays in memory (about 45 KiB) together with the text not
//   yet handed out, and the file offset of the first compressed byte not yet decoded;
//   resuming reopens the file and seeks there, so it costs the same as a plain file.
//   A file parked within its first REDECODE_LIMIT characters (every file after its first
//   entry, while the stream is set up) keeps nothing: decoding that much again is cheap,
//   and a directory of thousands of compressed files needs no memory for them.
// - bzip2: the decoder state is several megabytes, too much to keep for every parked
//   file, so the position is the count of text characters handed out; resuming decodes
//   the file again from the start and skips that many characters. The stream takes
//   slots from plain and gzip files first, so this only happens when more than 20 bzip2
//   files are being read at the same time.
#include "log/logread.h"

#include <bzlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/mem.h"
#include "log/logbytes.h"
#include "log/logs.h"

namespace {

constexpr std::size_t CHUNK = 65536;
// A file that has just been opened or resumed reads small pieces first, so that a file
// that gives up its slot again after a line or two has not read a whole chunk for it.
constexpr std::size_t FIRST_WINDOW = 4096;
constexpr long long REDECODE_LIMIT = 16384;
enum Kind { UNKNOWN, PLAIN, GZIP, BZIP2 };

}  // namespace

struct LogReader {
    char *name;
    int fd;
    bool ownsFd;
    Kind kind;
    bool started;  // the kind is known and the decoder set up

    unsigned char *raw;  // bytes read from the file, not yet decoded
    std::size_t rawPos, rawLen;
    bool rawEnd;

    char *text;  // text not yet handed out (the raw buffer itself for a plain file)
    std::size_t textPos, textLen;
    bool textEnd;

    std::size_t window;  // most bytes read or decoded in one step; grows to CHUNK

    long long consumed;    // text characters handed out
    long long fileOffset;  // bytes read from the file

    z_stream *gz;
    bz_stream *bz;
    bool bzActive;
    bool memberDone;  // the decoder finished a member; another may follow

    char *pending;  // gzip, parked: text not yet handed out
    std::size_t pendingLen;
    long long resumeOffset;  // gzip, parked: file offset to read on from
    bool keptState;          // gzip, parked: the three above and the decoder are kept

    bool damaged;
};

namespace {

bool endsWith(const char *text, const char *suffix) {
    std::size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

// Chunks of parked and closed readers are kept for the next reader that opens, so that
// files that give up their slot and take it back again do not allocate each time.
// The spare chunks are freed when the last reader closes.
constexpr int SPARE_CHUNKS = 2 * 20 + 2;
void *spareChunks[SPARE_CHUNKS];
int spareCount = 0;
int readersAlive = 0;

// A chunk has LOG_PAD bytes more, so that lines at its end can be read in blocks; it is
// cleared once so that nothing read there is undefined.
void *takeChunk() {
    if (spareCount > 0) return spareChunks[--spareCount];
    return xcalloc(1, CHUNK + LOG_PAD);
}

void giveChunk(void *chunk) {
    if (!chunk) return;
    if (spareCount < SPARE_CHUNKS)
        spareChunks[spareCount++] = chunk;
    else
        myfree(chunk);
}

LogReader *newReader(const char *name, int fd, bool ownsFd) {
    LogReader *reader = static_cast<LogReader *>(xcalloc(1, sizeof(LogReader)));
    reader->name = mystrdup(name);
    reader->fd = fd;
    reader->ownsFd = ownsFd;
    reader->kind = UNKNOWN;
    readersAlive++;
    return reader;
}

void allocateBuffers(LogReader *reader) {
    if (!reader->raw) reader->raw = static_cast<unsigned char *>(takeChunk());
    if (reader->kind == PLAIN)
        reader->text = reinterpret_cast<char *>(reader->raw);
    else if (!reader->text)
        reader->text = static_cast<char *>(takeChunk());
}

void freeBuffers(LogReader *reader) {
    if (reader->text != reinterpret_cast<char *>(reader->raw)) giveChunk(reader->text);
    giveChunk(reader->raw);
    reader->text = nullptr;
    reader->raw = nullptr;
}

// Appends what the file gives to the raw bytes; read errors end the file like fgets.
void readRaw(LogReader *reader) {
    if (reader->rawPos > 0) {
        std::memmove(reader->raw, reader->raw + reader->rawPos, reader->rawLen - reader->rawPos);
        reader->rawLen -= reader->rawPos;
        reader->rawPos = 0;
    }
    if (reader->rawEnd || reader->rawLen == CHUNK) return;
    ssize_t got;
    do {
        got = read(reader->fd, reader->raw + reader->rawLen,
                   std::min(CHUNK - reader->rawLen, reader->window));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        reader->rawEnd = true;
        return;
    }
    reader->rawLen += static_cast<std::size_t>(got);
    reader->fileOffset += got;
}

void damage(LogReader *reader, const char *reason) {
    if (!reader->damaged)
        logNote(
            "The compressed log file %s is damaged (%s); the entries after the damage are "
            "skipped.\n",
            reader->name, reason);
    reader->damaged = true;
    reader->textEnd = true;
}

bool looksGzip(const unsigned char *data, std::size_t length) {
    return length >= 2 && data[0] == 0x1f && data[1] == 0x8b;
}

// "BZh", the block size, then the magic of a block or of the end of the stream.
bool looksBzip2(const unsigned char *data, std::size_t length) {
    static const unsigned char block[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
    static const unsigned char end[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
    return length >= 10 && data[0] == 'B' && data[1] == 'Z' && data[2] == 'h' && data[3] >= '1' &&
           data[3] <= '9' &&
           (std::memcmp(data + 4, block, 6) == 0 || std::memcmp(data + 4, end, 6) == 0);
}

void startGzip(LogReader *reader) {
    if (!reader->gz) {
        reader->gz = static_cast<z_stream *>(xcalloc(1, sizeof(z_stream)));
        if (inflateInit2(reader->gz, 15 + 32) != Z_OK) dieMemory();
    } else {
        inflateReset(reader->gz);
    }
}

void startBzip2(LogReader *reader) {
    if (!reader->bz) reader->bz = static_cast<bz_stream *>(xcalloc(1, sizeof(bz_stream)));
    if (reader->bzActive) BZ2_bzDecompressEnd(reader->bz);
    std::memset(reader->bz, 0, sizeof(bz_stream));
    if (BZ2_bzDecompressInit(reader->bz, 0, 0) != BZ_OK) dieMemory();
    reader->bzActive = true;
}

// Reads the first bytes to learn the kind of data (unless the name said it).
void start(LogReader *reader) {
    reader->started = true;
    reader->window = FIRST_WINDOW;
    if (!reader->raw) reader->raw = static_cast<unsigned char *>(takeChunk());
    while (reader->rawLen < 10 && !reader->rawEnd) readRaw(reader);
    if (reader->kind == UNKNOWN) {
        if (looksGzip(reader->raw, reader->rawLen))
            reader->kind = GZIP;
        else if (looksBzip2(reader->raw, reader->rawLen))
            reader->kind = BZIP2;
        else
            reader->kind = PLAIN;
    }
    allocateBuffers(reader);
    if (reader->kind == PLAIN) {
        reader->textPos = 0;
        reader->textLen = reader->rawLen;
        reader->rawPos = reader->rawLen = 0;
    } else if (reader->kind == GZIP) {
        startGzip(reader);
    } else {
        startBzip2(reader);
    }
}

// One decoding step into the empty text buffer; notes the end of a member or damage.
void decodeStep(LogReader *reader) {
    std::size_t inBefore = reader->rawLen - reader->rawPos;
    std::size_t produced, left;
    if (reader->kind == GZIP) {
        z_stream *z = reader->gz;
        z->next_in = reader->raw + reader->rawPos;
        z->avail_in = static_cast<uInt>(inBefore);
        z->next_out = reinterpret_cast<Bytef *>(reader->text);
        z->avail_out = static_cast<uInt>(reader->window);
        int rc = inflate(z, Z_NO_FLUSH);
        left = z->avail_in;
        produced = reader->window - z->avail_out;
        reader->rawPos = reader->rawLen - left;
        reader->textLen = produced;
        if (rc == Z_STREAM_END) {
            reader->memberDone = true;
            return;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            damage(reader, z->msg ? z->msg : "invalid data");
            return;
        }
    } else {
        bz_stream *b = reader->bz;
        b->next_in = reinterpret_cast<char *>(reader->raw + reader->rawPos);
        b->avail_in = static_cast<unsigned>(inBefore);
        b->next_out = reader->text;
        b->avail_out = static_cast<unsigned>(reader->window);
        int rc = BZ2_bzDecompress(b);
        left = b->avail_in;
        produced = reader->window - b->avail_out;
        reader->rawPos = reader->rawLen - left;
        reader->textLen = produced;
        if (rc == BZ_STREAM_END) {
            reader->memberDone = true;
            return;
        }
        if (rc != BZ_OK) {
            damage(reader, rc == BZ_MEM_ERROR ? "out of memory" : "invalid data");
            return;
        }
    }
    if (produced == 0 && left == inBefore && left == 0 && reader->rawEnd)
        damage(reader, "unexpected end of file");
}

// Decodes until some text is ready or the text ends.
void decodeMore(LogReader *reader) {
    while (reader->textLen == 0 && !reader->textEnd) {
        if (reader->rawPos == reader->rawLen) readRaw(reader);
        if (reader->memberDone) {
            if (reader->rawPos == reader->rawLen) {
                reader->textEnd = true;
                break;
            }
            unsigned char next = reader->raw[reader->rawPos];
            if ((reader->kind == GZIP && next != 0x1f) || (reader->kind == BZIP2 && next != 'B')) {
                reader->textEnd = true;
                break;
            }
            if (reader->kind == GZIP)
                startGzip(reader);
            else
                startBzip2(reader);
            reader->memberDone = false;
        }
        decodeStep(reader);
    }
}

// Makes more text available; false at its end.
bool refill(LogReader *reader) {
    if (!reader->started) {
        start(reader);
        if (reader->textLen > 0) return true;
    }
    reader->textPos = reader->textLen = 0;
    if (reader->textEnd) return false;
    if (reader->kind == PLAIN) {
        reader->rawPos = reader->rawLen = 0;
        readRaw(reader);
        reader->textLen = reader->rawLen;
        reader->rawLen = 0;
        if (reader->textLen == 0) reader->textEnd = true;
    } else {
        decodeMore(reader);
    }
    reader->window = std::min(reader->window * 2, CHUNK);
    return reader->textLen > 0;
}

}  // namespace

LogReader *logReaderOpen(const char *path) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    LogReader *reader = newReader(path, fd, true);
    if (endsWith(path, ".gz"))
        reader->kind = GZIP;
    else if (endsWith(path, ".bz2"))
        reader->kind = BZIP2;
    return reader;
}

LogReader *logReaderOpenMember(const char *path, bool *notRegular) {
    *notRegular = false;
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat status;
    if (fstat(fd, &status) != 0 || !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
        *notRegular = true;
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    LogReader *reader = newReader(path, fd, true);
    if (endsWith(path, ".gz"))
        reader->kind = GZIP;
    else if (endsWith(path, ".bz2"))
        reader->kind = BZIP2;
    return reader;
}

LogReader *logReaderStdin() {
    return newReader("standard input", 0, false);
}

int logReaderGets(LogReader *reader, char *line, int size) {
    std::size_t length = 0, max = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
    bool ended = false;
    while (length < max) {
        if (reader->textPos == reader->textLen && !refill(reader)) {
            ended = true;
            break;
        }
        const char *start = reader->text + reader->textPos;
        std::size_t want = reader->textLen - reader->textPos;
        if (want > max - length) want = max - length;
        const char *newline = static_cast<const char *>(std::memchr(start, '\n', want));
        std::size_t take = newline ? static_cast<std::size_t>(newline - start) + 1 : want;
        std::memcpy(line + length, start, take);
        length += take;
        reader->textPos += take;
        if (newline) break;
    }
    // A line cut short by damaged data would be read as a wrong entry: drop it.
    if (ended && reader->damaged) length = 0;
    if (size > 0) line[length] = '\0';
    reader->consumed += static_cast<long long>(length);
    return static_cast<int>(length);
}

int logReaderLine(LogReader *reader, char *spare, int size, char **line, const char **limit) {
    std::size_t max = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
    std::size_t available = reader->textLen - reader->textPos;
    if (available > 0 && max > 0) {
        char *start = reader->text + reader->textPos;
        std::size_t want = std::min(available, max);
        const char *newline = static_cast<const char *>(std::memchr(start, '\n', want));
        if (newline || want == max) {
            std::size_t take = newline ? static_cast<std::size_t>(newline - start) + 1 : want;
            reader->textPos += take;
            reader->consumed += static_cast<long long>(take);
            *line = start;
            *limit = reader->text + CHUNK + LOG_PAD;
            return static_cast<int>(take);
        }
    }
    *line = spare;
    *limit = spare + size + LOG_PAD;
    return logReaderGets(reader, spare, size);
}

void logReaderSkipLine(LogReader *reader) {
    for (;;) {
        if (reader->textPos == reader->textLen && !refill(reader)) return;
        const char *start = reader->text + reader->textPos;
        std::size_t available = reader->textLen - reader->textPos;
        const char *newline = static_cast<const char *>(std::memchr(start, '\n', available));
        std::size_t take = newline ? static_cast<std::size_t>(newline - start) + 1 : available;
        reader->textPos += take;
        reader->consumed += static_cast<long long>(take);
        if (newline) return;
    }
}

bool logReaderDamaged(const LogReader *reader) {
    return reader->damaged;
}

long long logReaderTell(const LogReader *reader) {
    return reader->consumed;
}

void logReaderPark(LogReader *reader) {
    if (reader->fd < 0) return;
    reader->keptState = false;
    if (reader->kind == GZIP && reader->started && reader->consumed > REDECODE_LIMIT) {
        reader->keptState = true;
        reader->resumeOffset =
            reader->fileOffset - static_cast<long long>(reader->rawLen - reader->rawPos);
        myfree(reader->pending);
        reader->pendingLen = reader->textLen - reader->textPos;
        reader->pending = static_cast<char *>(xmalloc(reader->pendingLen));
        std::memcpy(reader->pending, reader->text + reader->textPos, reader->pendingLen);
    } else if (reader->gz) {
        inflateEnd(reader->gz);
        myfree(reader->gz);
        reader->gz = nullptr;
    } else if (reader->bzActive) {
        BZ2_bzDecompressEnd(reader->bz);
        reader->bzActive = false;
    }
    if (reader->ownsFd) close(reader->fd);
    reader->fd = -1;
    freeBuffers(reader);
    reader->rawPos = reader->rawLen = 0;
    reader->textPos = reader->textLen = 0;
}

int logReaderResume(LogReader *reader, long long position) {
    if (reader->fd >= 0) return LOG_RESUMED;
    int fd;
    do {
        fd = open(reader->name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return LOG_CANT_REOPEN;
    reader->fd = fd;
    reader->rawEnd = false;
    reader->window = FIRST_WINDOW;

    if (!reader->started) return LOG_RESUMED;  // parked before reading anything
    if (reader->keptState) {
        reader->keptState = false;
        if (lseek(fd, static_cast<off_t>(reader->resumeOffset), SEEK_SET) < 0) return LOG_CANT_SEEK;
        reader->fileOffset = reader->resumeOffset;
        allocateBuffers(reader);
        std::memcpy(reader->text, reader->pending, reader->pendingLen);
        reader->textLen = reader->pendingLen;
        myfree(reader->pending);
        reader->pending = nullptr;
        reader->pendingLen = 0;
        return LOG_RESUMED;
    }
    if (reader->kind == PLAIN) {
        if (lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) return LOG_CANT_SEEK;
        reader->fileOffset = position;
        reader->consumed = position;
        allocateBuffers(reader);
        reader->textEnd = false;
        return LOG_RESUMED;
    }
    // Decode again from the start and skip what was handed out.
    reader->fileOffset = 0;
    reader->textEnd = false;
    reader->memberDone = false;
    reader->started = false;
    long long skip = position;
    while (skip > 0) {
        if (reader->textPos == reader->textLen && !refill(reader)) return LOG_CANT_SEEK;
        std::size_t take = reader->textLen - reader->textPos;
        if (static_cast<long long>(take) > skip) take = static_cast<std::size_t>(skip);
        reader->textPos += take;
        skip -= static_cast<long long>(take);
    }
    reader->consumed = position;
    return LOG_RESUMED;
}

bool logReaderResumesCheaply(const LogReader *reader) {
    return reader->kind != BZIP2;
}

void logReaderClose(LogReader *reader) {
    if (!reader) return;
    if (reader->fd >= 0 && reader->ownsFd) close(reader->fd);
    if (reader->gz) {
        inflateEnd(reader->gz);
        myfree(reader->gz);
    }
    if (reader->bz) {
        if (reader->bzActive) BZ2_bzDecompressEnd(reader->bz);
        myfree(reader->bz);
    }
    freeBuffers(reader);
    myfree(reader->pending);
    myfree(reader->name);
    myfree(reader);
    if (--readersAlive == 0)
        while (spareCount > 0) myfree(spareChunks[--spareCount]);
}
