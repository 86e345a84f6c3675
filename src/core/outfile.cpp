// Atomic replacement of the files the program writes.
#include "core/outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/mem.h"

// Temporary files still open when the program ends (a fatal error while a page was
// being written) are removed at exit, so no half-written file is left behind.
namespace {
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
    const char suffix[] = ".tmpXXXXXX";
    out.tempPath = static_cast<char *>(xmalloc(length + sizeof suffix));
    std::memcpy(out.tempPath, path, length);
    std::memcpy(out.tempPath + length, suffix, sizeof suffix);
    int fd = mkstemp(out.tempPath);
    if (fd < 0) {
        int saved = errno;
        outFree(out);
        errno = saved;
        return nullptr;
    }
    // Pages are meant to be served: readable by all unless the umask says otherwise.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    trackTemp(out.tempPath);
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
    if (!ok) unlink(out.tempPath);
    outFree(out);
    return ok ? 1 : 0;
}

void outAbandon(OutFile &out) {
    if (out.file) {
        std::fclose(out.file);
        unlink(out.tempPath);
    }
    outFree(out);
}
