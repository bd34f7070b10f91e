#include "engine/world/ResPacker.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace {

// The pack is little-endian whatever the host is.
bool ReadU32LE(FILE* file, uint32_t* value) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, file) != 4) return false;
    *value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
             static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return true;
}

bool WriteU32LE(FILE* file, uint32_t value) {
    const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return std::fwrite(b, 1, 4, file) == 4;
}

unsigned char AsciiLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// True when the first strlen(prefix) characters of `name` (NUL-terminated)
// are `prefix`, ASCII case ignored. Stops at the first difference, so it
// never reads past the end of `name`.
bool StartsWithNoCase(const char* name, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (AsciiLower(static_cast<unsigned char>(name[i])) != AsciiLower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

}  // namespace

void eResPackerScramble(unsigned char* bytes, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) bytes[i] ^= static_cast<unsigned char>(eRES_PACKER_KEY >> (8 * (i % 4)));
}

eRESULT eGetResPacker(const char* name, _RES_PACKER* packer) {
    if (!name || !packer || !packer->m_pFile) return eFAILED;
    FILE* file = packer->m_pFile;

    // fseek past the end succeeds, so skips are checked against the size.
    if (std::fseek(file, 0, SEEK_END) != 0) return eFAILED;
    const long fileSize = std::ftell(file);
    if (fileSize < 0 || std::fseek(file, 0, SEEK_SET) != 0) return eFAILED;

    long offset = 0;
    for (;;) {
        // Nothing may be read past the size the file reports: a device or a
        // pipe reports none and would otherwise be read for ever.
        if (fileSize - offset < 8) return eFAILED;
        uint32_t size = 0, nameLen = 0;
        if (!ReadU32LE(file, &size) || !ReadU32LE(file, &nameLen)) return eFAILED;
        if (nameLen > eRES_PACKER_MAX_NAME) return eFAILED;

        unsigned char stored[eMAX_PATH];
        if (std::fread(stored, 1, nameLen, file) != nameLen) return eFAILED;
        eResPackerScramble(stored, nameLen);
        offset += 8 + static_cast<long>(nameLen);

        // The plain name ends at the first NUL or after nameLen bytes.
        char plain[eMAX_PATH];
        const void* nul = std::memchr(stored, 0, nameLen);
        const size_t plainLen = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - stored) : nameLen;
        std::memcpy(plain, stored, plainLen);
        plain[plainLen] = '\0';

        // An entry whose data runs past the end of the pack is unusable,
        // whether it is the one asked for or one to skip.
        const long left = fileSize - offset;
        if (left < 0 || static_cast<unsigned long>(left) < size) return eFAILED;

        if (StartsWithNoCase(plain, name)) {
            packer->m_dwSize = size;
            std::memcpy(packer->m_szName, plain, plainLen + 1);
            return eOK;
        }
        if (std::fseek(file, static_cast<long>(size), SEEK_CUR) != 0) return eFAILED;
        offset += static_cast<long>(size);
    }
}

eRESULT eResPackerWriteEntryHeader(FILE* file, const char* name, uint32_t size) {
    if (!file || !name) return eFAILED;
    const size_t nameLen = std::strlen(name);
    if (nameLen > eRES_PACKER_MAX_NAME) return eFAILED;

    unsigned char stored[eMAX_PATH];
    std::memcpy(stored, name, nameLen);
    eResPackerScramble(stored, static_cast<uint32_t>(nameLen));
    if (!WriteU32LE(file, size) || !WriteU32LE(file, static_cast<uint32_t>(nameLen))) return eFAILED;
    if (std::fwrite(stored, 1, nameLen, file) != nameLen) return eFAILED;
    return eOK;
}

eRESULT eResPackerWalk(FILE* file, uint64_t fileSize, PFN_RES_PACKER_VISIT visit, void* context, char* why,
                       size_t whySize) {
    if (!file || !why || whySize == 0) return eFAILED;
    why[0] = '\0';
    auto damaged = [&](const char* format, auto... values) {
        std::snprintf(why, whySize, format, values...);
        return eFAILED;
    };
    if (std::fseek(file, 0, SEEK_SET) != 0) return damaged("cannot seek (%s)", std::strerror(errno));
    uint64_t offset = 0;
    while (offset < fileSize) {
        const uint64_t left = fileSize - offset;
        if (left < 8)
            return damaged("truncated entry header at offset %" PRIu64 " (needs 8 bytes, %" PRIu64 " left)", offset,
                           left);
        uint32_t size = 0, nameLen = 0;
        if (!ReadU32LE(file, &size) || !ReadU32LE(file, &nameLen))
            return damaged("cannot read (%s)", std::strerror(errno));
        if (nameLen > eRES_PACKER_MAX_NAME)
            return damaged("entry at offset %" PRIu64 " has a name of %u bytes (at most %u)", offset, nameLen,
                           eRES_PACKER_MAX_NAME);
        if (left - 8 < nameLen)
            return damaged("truncated entry name at offset %" PRIu64 " (needs %u bytes, %" PRIu64 " left)", offset,
                           nameLen, left - 8);
        unsigned char stored[eMAX_PATH];
        if (std::fread(stored, 1, nameLen, file) != nameLen) return damaged("cannot read (%s)", std::strerror(errno));
        eResPackerScramble(stored, nameLen);
        char name[eMAX_PATH];
        const size_t plainLen = strnlen(reinterpret_cast<char*>(stored), nameLen);
        std::memcpy(name, stored, plainLen);
        name[plainLen] = '\0';
        const uint64_t dataLeft = left - 8 - nameLen;
        if (dataLeft < size) {
            // The name as printable text: it came from the file.
            char shown[4 * eMAX_PATH];
            size_t k = 0;
            for (size_t i = 0; i < plainLen; ++i) {
                const unsigned char c = static_cast<unsigned char>(name[i]);
                if (c >= 0x20 && c < 0x7f)
                    shown[k++] = static_cast<char>(c);
                else
                    k += static_cast<size_t>(std::snprintf(shown + k, sizeof shown - k, "\\x%02x", c));
            }
            shown[k] = '\0';
            return damaged("entry \"%s\" is truncated (needs %u bytes, %" PRIu64 " left)", shown, size, dataLeft);
        }
        if (visit && !visit(context, name, size)) return eOK;
        if (std::fseek(file, static_cast<long>(size), SEEK_CUR) != 0)
            return damaged("cannot seek (%s)", std::strerror(errno));
        offset += 8 + nameLen + uint64_t{size};
    }
    return eOK;
}
