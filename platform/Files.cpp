#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

std::string SizeText(uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

bool CheckStat(const struct stat& st, uint64_t maxBytes, std::string* why) {
    if (S_ISDIR(st.st_mode)) {
        *why = "is a directory, not a file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "is not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        *why = "is larger than " + SizeText(maxBytes);
        return false;
    }
    return true;
}

}  // namespace

bool CheckRegularFile(const std::string& path, uint64_t maxBytes, std::string* why) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return CheckStat(st, maxBytes, why);
}

FILE* OpenRegularFile(const std::string& path, uint64_t maxBytes, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return nullptr;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) *why = std::strerror(errno);
    ok = ok && CheckStat(st, maxBytes, why);
    const int flags = ok ? ::fcntl(fd, F_GETFL) : -1;
    FILE* file = ok && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? ::fdopen(fd, "rb") : nullptr;
    if (ok && !file) *why = std::strerror(errno);
    if (!file) ::close(fd);
    return file;
}

bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string* bytes, std::string* why) {
    FILE* file = OpenRegularFile(path, maxBytes, why);
    if (!file) return false;
    struct stat st;
    bool ok = ::fstat(::fileno(file), &st) == 0;
    if (!ok) *why = std::strerror(errno);
    if (ok) {
        bytes->assign(static_cast<size_t>(st.st_size), '\0');
        // A file that shrank while being read keeps what was there.
        bytes->resize(std::fread(&(*bytes)[0], 1, bytes->size(), file));
        if (std::ferror(file)) {
            *why = std::strerror(errno);
            ok = false;
        }
    }
    std::fclose(file);
    return ok;
}

namespace {

// The temporary file beside `path`, created empty with the permissions a new
// file would get; "" with the reason when `path` may not be replaced.
std::string MakeTemp(const std::string& path, int* fd, std::string* why) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "is a directory" : "exists and is not a regular file";
        return std::string();
    }
    std::string temp = path + ".XXXXXX";
    *fd = ::mkstemp(&temp[0]);
    if (*fd < 0) {
        *why = std::strerror(errno);
        return std::string();
    }
    // Keep the permissions a newly created file would get, not mkstemp's 0600.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(*fd, 0666 & ~mask);
    return temp;
}

// Renames `temp` over `path` when `ok`, or removes it.
bool Commit(const std::string& temp, const std::string& path, bool ok, std::string* why) {
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        *why = std::strerror(errno);
        ok = false;
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::function<bool(FILE*, std::string*)>& write,
                         std::string* why) {
    int fd = -1;
    const std::string temp = MakeTemp(path, &fd, why);
    if (temp.empty()) return false;
    FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        *why = std::strerror(errno);
        ::close(fd);
        return Commit(temp, path, false, why);
    }
    bool ok = write(file, why);
    if (ok && (std::fflush(file) != 0 || std::ferror(file) || ::fsync(fd) != 0)) {
        *why = std::strerror(errno);
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        *why = std::strerror(errno);
        ok = false;
    }
    return Commit(temp, path, ok, why);
}

bool WriteFileAtomicallyByName(const std::string& path,
                               const std::function<bool(const std::string& temp, std::string*)>& write,
                               std::string* why) {
    int fd = -1;
    const std::string temp = MakeTemp(path, &fd, why);
    if (temp.empty()) return false;
    ::close(fd);
    bool ok = write(temp, why);
    // What the writer closed reaches the disk before the rename.
    if (ok) {
        const int again = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (again < 0 || ::fsync(again) != 0) {
            *why = std::strerror(errno);
            ok = false;
        }
        if (again >= 0) ::close(again);
    }
    return Commit(temp, path, ok, why);
}

std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace platform
