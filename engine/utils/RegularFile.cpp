#include "engine/utils/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/world/Trace.h"

namespace {
const char kCannotOpen[] = "cannot be opened";
}  // namespace

FILE* eOpenRegularFile(const char* path, const char** why) {
    const char* reason = kCannotOpen;
    FILE* file = nullptr;
    const int fd = path ? ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            // Reads block as usual from here on.
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) file = ::fdopen(fd, "rb");
        } else {
            reason = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
        }
    }
    if (!file && fd >= 0) ::close(fd);
    if (why) *why = file ? nullptr : reason;
    return file;
}

FILE* eOpenRegularFile(const char* path, const char* log, const char* who) {
    const char* why = nullptr;
    FILE* file = eOpenRegularFile(path, &why);
    if (!file && why != kCannotOpen)
        eTRACE(log, 1, "# %s refused: \"%s\" %s\n", who ? who : "eOpenRegularFile", path, why);
    return file;
}
