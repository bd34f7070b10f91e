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
        // Every byte the upload would read: the sanitizer sees a short
        // buffer, and uninitialised pixels at least get touched.
        const size_t bytes = static_cast<size_t>(width) * height * (bits / 8);
        const volatile uint8_t* p = static_cast<const uint8_t*>(pixels);
        uint8_t sum = 0;
        for (size_t i = 0; i < bytes; ++i) sum = static_cast<uint8_t>(sum + p[i]);
        checksum += sum;
        ++uploads;
        return C3DTexture::MakeTextureFromRaw(width, height, bits, pixels, name);
    }

    uint32_t checksum = 0;
    int uploads = 0;
};

// `name` carries the extension that picks the decoder.
inline void RunTextureInput(const uint8_t* data, size_t size, const char* name) {
    if (size > 0xFFFFFFFFu) return;
    {
        CheckedTexture texture;
        ExactCopy copy(data, size);
        const eRESULT result = texture.MakeTextureFromAddress(copy.data(), copy.size(), name);
        FUZZ_CHECK(result != eOK || texture.uploads == 1);
    }
    {
        CheckedTexture texture;
        const std::string path = WorkDir::Get().Write(name, data, size);
        if (!path.empty()) {
            const eRESULT result = texture.LoadTextureFromFile(path.c_str());
            FUZZ_CHECK(result != eOK || texture.uploads == 1);
        }
    }
    FILE* stream = PackStream();
    if (!stream) return;
    if (!WritePackEntry(stream, name, data, size)) return;
    const Bytes trailer = Trailer();
    if (!WritePackEntry(stream, kTrailerName, trailer.data(), trailer.size()) || std::fflush(stream) != 0) return;
    _RES_PACKER packer;
    if (!FindEntry(stream, name, &packer)) return;
    const long start = std::ftell(stream);
    CheckedTexture texture;
    const eRESULT result = texture.LoadTextureFromPacker(&packer);
    FUZZ_CHECK(result != eOK || texture.uploads == 1);
    // The decoders read the entry only, never the one after it.
    const long at = std::ftell(stream);
    FUZZ_CHECK(at >= start && static_cast<unsigned long>(at - start) <= packer.m_dwSize);
}

}  // namespace fuzz
