// The resource pack: a sequence of entries with scrambled names, no index.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/world/Types.h"

// Handle on the open pack and the entry found by the last lookup.
struct _RES_PACKER {
    uint32_t m_dwSize;       // size of the entry's data
    FILE* m_pFile;           // positioned at the entry's data after a lookup
    char m_szName[eMAX_PATH];
};

// A resource compiled into the program.
struct _RES_STATIC {
    uint32_t m_dwSize;
    void* m_pData;
};

typedef eRESULT (*PFN_RES_STATIC)(char* name, _RES_STATIC* out);
typedef eRESULT (*PFN_RES_PACKER)(char* name, _RES_PACKER* out);

// Names are scrambled with this key, taken byte by byte in little-endian order.
constexpr uint32_t eRES_PACKER_KEY = 0x5B2E7C19u;
constexpr uint32_t eRES_PACKER_MAX_NAME = 259;
// The largest pack file the program and the tools take: far above the
// shipped pack; a bigger file is not one of ours.
constexpr uint64_t eRES_PACKER_MAX_FILE = 1ull << 30;

// Finds the first entry whose name starts with `name` (ASCII case ignored)
// and leaves the file at its data. 0 when found, 0x80000001 otherwise; the
// handle is untouched on failure.
eRESULT eGetResPacker(const char* name, _RES_PACKER* packer);
// The same, in the shape of the pack lookup kept in SHARED_INFOS.
inline eRESULT eGetResPacker(char* name, _RES_PACKER* packer) {
    return eGetResPacker(static_cast<const char*>(name), packer);
}

// Scrambles or unscrambles (the same operation) `len` bytes in place.
void eResPackerScramble(unsigned char* bytes, uint32_t len);

// Writes the header and scrambled name of one entry at the current position
// of `file`; the caller writes the `size` bytes of data next. Fails on a
// null or over-long name and on a short write.
eRESULT eResPackerWriteEntryHeader(FILE* file, const char* name, uint32_t size);

// Walks the entries of the open pack `file` of `fileSize` bytes from its
// start, calling `visit` (if any) with each whole entry's name and size, the
// file then at its data, until it returns false. Fails when the pack is
// damaged before the walk ends, with the reason in `why` (at most `whySize`
// bytes, NUL-terminated).
typedef bool (*PFN_RES_PACKER_VISIT)(void* context, const char* name, uint32_t size);
eRESULT eResPackerWalk(FILE* file, uint64_t fileSize, PFN_RES_PACKER_VISIT visit, void* context, char* why,
                       size_t whySize);
