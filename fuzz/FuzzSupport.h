// Pieces shared by the fuzz targets: files and packs made from an input, and
// a check that stops the run loudly when a parser breaks its own promise.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/world/ResPacker.h"

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// A broken promise is a finding like a crash: the input is kept.
#define FUZZ_CHECK(cond)                                                                    \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// The input in a heap block of exactly its size (one byte for an empty
// input), so that any read past it is caught by the address sanitizer.
class ExactCopy {
public:
    ExactCopy(const uint8_t* data, size_t size) : size_(size), bytes_(new uint8_t[size ? size : 1]) {
        if (size) std::memcpy(bytes_, data, size);
    }
    ~ExactCopy() { delete[] bytes_; }
    ExactCopy(const ExactCopy&) = delete;
    ExactCopy& operator=(const ExactCopy&) = delete;

    uint8_t* data() const { return bytes_; }
    uint32_t size() const { return static_cast<uint32_t>(size_); }

private:
    size_t size_;
    uint8_t* bytes_;
};

// A folder of this process for files made from inputs, removed at exit with
// the files named through it.
class WorkDir {
public:
    static WorkDir& Get() {
        static WorkDir dir;
        return dir;
    }
    // Writes `data` to the file `name` of the folder (replacing it) and
    // returns its path; empty when it cannot be written.
    std::string Write(const std::string& name, const uint8_t* data, size_t size) {
        const std::string path = path_ + "/" + name;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return std::string();
        const bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
        if (std::fclose(file) != 0 || !ok) return std::string();
        bool known = false;
        for (const std::string& f : files_) known = known || f == path;
        if (!known) files_.push_back(path);
        return path;
    }
    ~WorkDir() {
        for (const std::string& f : files_) std::remove(f.c_str());
        if (!path_.empty()) rmdir(path_.c_str());
    }

private:
    WorkDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/orbelline_fuzz_XXXXXX";
        if (mkdtemp(&tmpl[0])) path_ = tmpl;
    }
    std::string path_;
    std::vector<std::string> files_;
};

// An anonymous stream of this process holding a pack, emptied for each input.
inline FILE* PackStream() {
    static FILE* stream = std::tmpfile();
    if (!stream) return nullptr;
    std::fflush(stream);
    if (ftruncate(fileno(stream), 0) != 0) return nullptr;
    std::rewind(stream);
    return stream;
}

// Writes the entries in order as the pack tool does; false on a write error.
inline bool WritePack(FILE* stream, const std::vector<std::pair<std::string, Bytes>>& entries) {
    for (const auto& e : entries) {
        if (eResPackerWriteEntryHeader(stream, e.first.c_str(), static_cast<uint32_t>(e.second.size())) != eOK)
            return false;
        if (!e.second.empty() && std::fwrite(e.second.data(), 1, e.second.size(), stream) != e.second.size())
            return false;
    }
    return std::fflush(stream) == 0;
}

// The same with raw bytes for one entry's data.
inline bool WritePackEntry(FILE* stream, const char* name, const uint8_t* data, size_t size) {
    if (eResPackerWriteEntryHeader(stream, name, static_cast<uint32_t>(size)) != eOK) return false;
    return (size == 0 || std::fwrite(data, 1, size, stream) == size);
}

// A trailing entry after the one under test: a reader that runs past its
// entry reads this instead of hitting the end of the file.
constexpr char kTrailerName[] = "zz.trailer";
inline Bytes Trailer() { return Bytes(64, 0xEE); }

// Finds `name` in `stream` as the world does; the handle is zeroed first.
inline bool FindEntry(FILE* stream, const char* name, _RES_PACKER* packer) {
    std::memset(packer, 0, sizeof *packer);
    packer->m_pFile = stream;
    return eGetResPacker(name, packer) == eOK;
}

}  // namespace fuzz
