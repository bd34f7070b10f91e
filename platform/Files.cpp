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

bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string* bytes, std::string* why) {
    // O_NONBLOCK so that opening a FIFO does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) *why = std::strerror(errno);
    ok = ok && CheckStat(st, maxBytes, why);
    if (ok) {
        bytes->assign(static_cast<size_t>(st.st_size), '\0');
        size_t done = 0;
        while (done < bytes->size()) {
            const ssize_t n = ::read(fd, &(*bytes)[done], bytes->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *why = std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0) break;  // shrank while reading: keep what was there
            done += static_cast<size_t>(n);
        }
        bytes->resize(done);
    }
    ::close(fd);
    return ok;
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(FILE*, std::string*)>& write,
                         std::string* why) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "is a directory" : "exists and is not a regular file";
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        *why = std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    bool ok = write(file, why);
    if (ok && (std::fflush(file) != 0 || ::fsync(fd) != 0)) {
        *why = std::strerror(errno);
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        *why = std::strerror(errno);
        ok = false;
    }
    // Keep the permissions a newly created file would get, not mkstemp's 0600.
    if (ok) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(temp.c_str(), 0666 & ~mask);
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        *why = std::strerror(errno);
        ok = false;
    }
    if (!ok) ::unlink(temp.c_str());
    return ok;
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
