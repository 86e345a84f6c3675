// Atomic replacement of the files the program writes.
#include "core/outfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/chars.h"
#include "core/exit.h"
#include "core/mem.h"

namespace {
// mkstemp's template: it replaces the six X by letters and digits.
constexpr char TEMP_SUFFIX[] = ".tmpXXXXXX";
constexpr std::size_t TEMP_RANDOM = 6;

// Temporary files still open when the program ends (a fatal error while a page was
// being written) are removed at exit, so no half-written file is left behind.
constexpr int OPEN_TEMPS = 16;
char *openTemps[OPEN_TEMPS];

void removeOpenTemps() {
    for (char *&temp : openTemps) {
        if (temp) unlink(temp);
        temp = nullptr;
    }
}

void trackTemp(char *temp) {
    static bool registered = false;
    if (!registered) {
        std::atexit(removeOpenTemps);
        registered = true;
    }
    for (char *&slot : openTemps) {
        if (!slot) {
            slot = temp;
            return;
        }
    }
}

void untrackTemp(const char *temp) {
    for (char *&slot : openTemps) {
        if (slot == temp) slot = nullptr;
    }
}
}  // namespace

// The new file takes the permission bits of the file it replaces (a page or history the
// operator has restricted stays restricted) and, where the system lets us, its owner and
// group. Special bits are never carried over. A file that is new, or a name that is not a
// regular file, gets the usual 0666 less the umask: pages are meant to be served.
static void keepMode(int fd, const char *path) {
    struct stat old;
    if (lstat(path, &old) != 0 || !S_ISREG(old.st_mode)) {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        return;
    }
    // Only root may give the file away; anyone may keep a group they belong to.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
        uid_t owner = geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1);
        if (fchown(fd, owner, old.st_gid) != 0) {
            // Refused: the file stays ours, as a new file would be.
        }
    }
    fchmod(fd, old.st_mode & 0777);
}

static void outFree(OutFile &out) {
    if (out.tempPath) untrackTemp(out.tempPath);
    myfree(out.path);
    myfree(out.tempPath);
    out.path = nullptr;
    out.tempPath = nullptr;
    out.file = nullptr;
}

FILE *outOpen(OutFile &out, const char *path) {
    out = OutFile{};
    std::size_t length = std::strlen(path);
    out.path = mystrdup(path);
    out.tempPath = static_cast<char *>(xmalloc(length + sizeof TEMP_SUFFIX));
    std::memcpy(out.tempPath, path, length);
    std::memcpy(out.tempPath + length, TEMP_SUFFIX, sizeof TEMP_SUFFIX);
    int fd = mkstemp(out.tempPath);
    if (fd < 0) {
        int saved = errno;
        outFree(out);
        errno = saved;
        return nullptr;
    }
    trackTemp(out.tempPath);
    keepMode(fd, path);
    out.file = fdopen(fd, "wb");
    if (!out.file) {
        int saved = errno;
        close(fd);
        unlink(out.tempPath);
        outFree(out);
        errno = saved;
        return nullptr;
    }
    return out.file;
}

int outClose(OutFile &out) {
    if (!out.file) return 0;
    bool ok = std::fflush(out.file) == 0 && !std::ferror(out.file);
    if (std::fclose(out.file) != 0) ok = false;
    out.file = nullptr;
    if (ok && std::rename(out.tempPath, out.path) != 0) ok = false;
    // The caller reports the reason of the failed call: clean-up must not change it.
    int reason = errno;
    if (!ok) unlink(out.tempPath);
    outFree(out);
    errno = reason;
    return ok ? 1 : 0;
}

void outAbandon(OutFile &out) {
    if (out.file) {
        std::fclose(out.file);
        unlink(out.tempPath);
    }
    outFree(out);
}

void outCannotWrite(const char *path) {
    fatalSystem("Can't write to file! Filename: %s", path);
}

namespace {

bool isDigits(const char *text, std::size_t length) {
    if (length == 0) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (!charIsDigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

bool equals(const char *text, std::size_t length, const char *word) {
    return std::strlen(word) == length && std::memcmp(text, word, length) == 0;
}

// When name (length bytes) ends in "." and ending, the length of what comes before it;
// else -1.
long stemLength(const char *name, std::size_t length, const char *ending) {
    std::size_t size = std::strlen(ending);
    if (size == 0 || length < size + 2) return -1;
    std::size_t stem = length - size - 1;
    if (name[stem] != '.' || std::memcmp(name + stem + 1, ending, size) != 0) return -1;
    return static_cast<long>(stem);
}

// Whether name (length bytes, not terminated) is a file that the analyser writes
// through outOpen in its report directory.
bool ownedName(const char *name, std::size_t length, const char *extension, const char *indexName) {
    if (equals(name, length, "database.dat") || equals(name, length, "quorvel.css")) return true;
    if (indexName && equals(name, length, indexName)) return true;
    long stem = extension ? stemLength(name, length, extension) : -1;
    if (stem > 0) {
        std::size_t n = static_cast<std::size_t>(stem);
        if (isDigits(name, n) || (name[n - 1] == 'h' && isDigits(name, n - 1))) return true;
        if (equals(name, n, "summary") || equals(name, n, "agents") || equals(name, n, "referrers"))
            return true;
    }
    // Charts are GIF or SVG files.
    stem = stemLength(name, length, "gif");
    if (stem <= 0) stem = stemLength(name, length, "svg");
    if (stem <= 0) return false;
    // A chart: the stem of its page, alone or followed by the letter of its section.
    auto chartStem = [name](std::size_t n) {
        return isDigits(name, n) || equals(name, n, "summary") || equals(name, n, "agents") ||
               equals(name, n, "referer");
    };
    std::size_t n = static_cast<std::size_t>(stem);
    return chartStem(n) ||
           (n > 1 && charIsLower(static_cast<unsigned char>(name[n - 1])) && chartStem(n - 1));
}

// Whether name is an owned name followed by the temporary suffix that mkstemp filled in.
bool staleTemporary(const char *name, const char *extension, const char *indexName) {
    const std::size_t fixed = sizeof TEMP_SUFFIX - 1 - TEMP_RANDOM;  // ".tmp"
    std::size_t length = std::strlen(name);
    if (length <= sizeof TEMP_SUFFIX - 1) return false;
    std::size_t base = length - (sizeof TEMP_SUFFIX - 1);
    if (std::memcmp(name + base, TEMP_SUFFIX, fixed) != 0) return false;
    for (std::size_t i = base + fixed; i < length; ++i) {
        if (!charIsAlnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return ownedName(name, base, extension, indexName);
}

}  // namespace

void outRemoveStale(const char *directory, const char *extension, const char *indexName) {
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR *listing = fdopendir(fd);
    if (!listing) {
        close(fd);
        return;
    }
    while (const struct dirent *entry = readdir(listing)) {
        if (!staleTemporary(entry->d_name, extension, indexName)) continue;
        struct stat status;
        if (fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // unlinkat removes a name, never what a link points to.
        if (S_ISREG(status.st_mode)) unlinkat(fd, entry->d_name, 0);
    }
    closedir(listing);
}
