// One texture input through the three ways in: memory, file and pack entry.
// The upload is replaced by a check of the buffer it is handed, so no
// OpenGL ES context is needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/3d/3DTexture.h"
#include "fuzz/FuzzSupport.h"

namespace fuzz {

class CheckedTexture : public C3DTexture {
public:
    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bits, void* pixels,
                               const char* name) override {
        FUZZ_CHECK(pixels != nullptr);
        FUZZ_CHECK(bits == 8 || bits == 16 || bits == 24 || bits == 32);
        FUZZ_CHECK(width != 0 && height != 0);
        FUZZ_CHECK(width <= MaxDecodeSide() && height <= MaxDecodeSide());
        // The last byte the upload would read shows a short buffer to the
        // sanitizer; a sample of the rest tells decodes apart (row order
        // does not matter to it: every row is sampled alike).
        const size_t rowBytes = static_cast<size_t>(width) * (bits / 8);
        const size_t bytes = rowBytes * height;
        const uint8_t* p = static_cast<const uint8_t*>(pixels);
        const volatile uint8_t* last = p + bytes - 1;
        (void)*last;
        uint32_t sum = 0;
        for (size_t row = 0; row < bytes; row += rowBytes)
            for (size_t i = 0; i < rowBytes; i += 7) sum += p[row + i];
        checksum += sum;
        ++uploads;
        // As a real upload does.
        m_wWidth = width;
        m_wHeight = height;
        m_bBitsPerPixel = bits;
        return C3DTexture::MakeTextureFromRaw(width, height, bits, pixels, name);
    }

    uint32_t checksum = 0;
    int uploads = 0;
};

struct PackOutcome {
    eRESULT result = eFAILED;
    uint32_t checksum = 0;
    uint32_t width = 0, height = 0, bits = 0;
};

inline bool Same(const PackOutcome& a, const PackOutcome& b) {
    return a.result == b.result && a.checksum == b.checksum && a.width == b.width && a.height == b.height &&
           a.bits == b.bits;
}

// `exact`: the decoder reads no byte it does not use, so the stream must be
// within the entry afterwards (the JPEG source reads whole blocks ahead and
// cuts them at the entry's end instead).
inline PackOutcome DecodeFromPack(const uint8_t* data, size_t size, const char* name, const Bytes& next,
                                  bool exact) {
    PackOutcome out;
    FILE* stream = PackStream();
    if (!stream || !WritePackEntry(stream, name, data, size) ||
        !WritePackEntry(stream, kTrailerName, next.data(), next.size()) || std::fflush(stream) != 0)
        return out;
    _RES_PACKER packer;
    if (!FindEntry(stream, name, &packer)) return out;
    const long start = std::ftell(stream);
    CheckedTexture texture;
    out.result = texture.LoadTextureFromPacker(&packer);
    const long at = std::ftell(stream);
    FUZZ_CHECK(at >= start && (!exact || static_cast<unsigned long>(at - start) <= packer.m_dwSize));
    FUZZ_CHECK(out.result != eOK || texture.uploads == 1);
    out.checksum = texture.checksum;
    out.width = texture.m_wWidth;
    out.height = texture.m_wHeight;
    out.bits = texture.m_bBitsPerPixel;
    return out;
}

// `name` carries the extension that picks the decoder; `exact` as above.
inline void RunTextureInput(const uint8_t* data, size_t size, const char* name, bool exact) {
    if (size > 0xFFFFFFFFu) return;
    PackOutcome memory;
    {
        CheckedTexture texture;
        ExactCopy copy(data, size);
        memory.result = texture.MakeTextureFromAddress(copy.data(), copy.size(), name);
        FUZZ_CHECK(memory.result != eOK || texture.uploads == 1);
        memory.checksum = texture.checksum;
        memory.width = texture.m_wWidth;
        memory.height = texture.m_wHeight;
        memory.bits = texture.m_bBitsPerPixel;
    }
    PackOutcome file;
    {
        CheckedTexture texture;
        const std::string path = WorkDir::Get().Write(name, data, size);
        if (!path.empty()) {
            file.result = texture.LoadTextureFromFile(path.c_str());
            FUZZ_CHECK(file.result != eOK || texture.uploads == 1);
            file.checksum = texture.checksum;
            file.width = texture.m_wWidth;
            file.height = texture.m_wHeight;
            file.bits = texture.m_bBitsPerPixel;
        }
    }
    // A pack entry decodes the same whatever follows it: once followed by
    // filler, once by another copy of itself, which a reader running past
    // its entry would take as more of the image.
    const PackOutcome filler = DecodeFromPack(data, size, name, Trailer(), exact);
    const PackOutcome again = DecodeFromPack(data, size, name, Bytes(data, data + size), exact);
    FUZZ_CHECK(Same(filler, again));
    // The three ways in see the same bytes and decode them alike (rows may
    // come in either order; the checksum does not mind).
    FUZZ_CHECK(Same(memory, file));
    FUZZ_CHECK(Same(file, filler));
}

}  // namespace fuzz
