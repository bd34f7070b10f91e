// TGA (uncompressed and run-length true-colour) and raw 256 x 256 RGB
// decoding into a texture buffer. Rows keep the order of the data.
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DTexture.h"

namespace {

// Identification length 0, no colour map, origin 0,0; only the type differs.
const unsigned char kTgaUncompressed[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const unsigned char kTgaCompressed[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint32_t kTgaHeaderSize = 12;
constexpr uint32_t kTgaBlockSize = 6;
constexpr uint32_t kTgaDataOffset = kTgaHeaderSize + kTgaBlockSize;

// Where the pixel data comes from: the rest of a stream, or a block of
// memory that is never read outside.
class CTgaReader {
public:
    virtual ~CTgaReader() {}
    virtual bool Read(void* out, size_t count) = 0;
};

// At most `limit` bytes: in a pack the stream goes on with the next entry.
class CTgaStreamReader : public CTgaReader {
public:
    CTgaStreamReader(FILE* file, uint64_t limit) : m_pFile(file), m_qwLeft(limit) {}
    bool Read(void* out, size_t count) override {
        if (count > m_qwLeft || std::fread(out, 1, count, m_pFile) != count) return false;
        m_qwLeft -= count;
        return true;
    }

private:
    FILE* m_pFile;
    uint64_t m_qwLeft;
};

class CTgaMemoryReader : public CTgaReader {
public:
    CTgaMemoryReader(const unsigned char* data, uint32_t size, uint32_t position)
        : m_pData(data), m_dwSize(size), m_dwPosition(position) {}
    bool Read(void* out, size_t count) override {
        if (m_dwPosition > m_dwSize || count > m_dwSize - m_dwPosition) return false;
        std::memcpy(out, m_pData + m_dwPosition, count);
        m_dwPosition += static_cast<uint32_t>(count);
        return true;
    }

private:
    const unsigned char* m_pData;
    uint32_t m_dwSize;
    uint32_t m_dwPosition;
};

struct TGA_INFO {
    uint32_t dwWidth, dwHeight;
    uint32_t dwBits, dwBytesPerPixel;
};

// Width and height little-endian at 0 and 2, bits at 4; the descriptor at 5
// is ignored (the origin bit is not honoured).
bool ParseBlock(const unsigned char block[kTgaBlockSize], uint32_t maxSide, TGA_INFO* info) {
    info->dwWidth = static_cast<uint32_t>(block[0]) | static_cast<uint32_t>(block[1]) << 8;
    info->dwHeight = static_cast<uint32_t>(block[2]) | static_cast<uint32_t>(block[3]) << 8;
    info->dwBits = block[4];
    info->dwBytesPerPixel = info->dwBits / 8;
    return eTextureDecodeFits(info->dwWidth, info->dwHeight, maxSide) && (info->dwBits == 24 || info->dwBits == 32);
}

// Blue, green, red (, alpha) to red, green, blue (, alpha).
void StorePixel(unsigned char* out, const unsigned char* in, uint32_t bytesPerPixel) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (bytesPerPixel == 4) out[3] = in[3];
}

// `available`: bytes the source holds from the start of the pixel data. A
// header promising more than that fails before anything is allocated.
unsigned char* DecodeUncompressed(CTgaReader* reader, const TGA_INFO& info, uint64_t available) {
    const uint64_t bytes = static_cast<uint64_t>(info.dwWidth) * info.dwHeight * info.dwBytesPerPixel;
    if (bytes > available) return nullptr;
    unsigned char* pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(bytes)));
    if (!pixels) return nullptr;
    if (!reader->Read(pixels, static_cast<size_t>(bytes))) {
        std::free(pixels);
        return nullptr;
    }
    for (uint64_t i = 0; i < bytes; i += info.dwBytesPerPixel) {
        const unsigned char blue = pixels[i];
        pixels[i] = pixels[i + 2];
        pixels[i + 2] = blue;
    }
    return pixels;
}

unsigned char* DecodeCompressed(CTgaReader* reader, const TGA_INFO& info, uint64_t available) {
    const uint32_t b = info.dwBytesPerPixel;
    const uint64_t total = static_cast<uint64_t>(info.dwWidth) * info.dwHeight;
    // A packet covers at most 128 pixels with at least 1 + b bytes.
    if ((total + 127) / 128 * (1 + b) > available) return nullptr;
    unsigned char* pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(total * b)));
    if (!pixels) return nullptr;

    unsigned char pixel[4];
    uint64_t count = 0;
    while (count < total) {
        unsigned char header = 0;
        if (!reader->Read(&header, 1)) break;
        const uint32_t run = header < 128 ? header + 1u : header - 127u;
        // A packet reaching past the image is damage, not data to store.
        if (run > total - count) break;
        const bool rawPacket = header < 128;
        if (!rawPacket && !reader->Read(pixel, b)) break;
        uint32_t stored = 0;
        for (; stored < run; ++stored) {
            if (rawPacket && !reader->Read(pixel, b)) break;
            StorePixel(pixels + (count + stored) * b, pixel, b);
        }
        count += stored;
        if (stored != run) break;
    }
    if (count != total) {
        std::free(pixels);
        return nullptr;
    }
    return pixels;
}

}  // namespace

eRESULT C3DTexture::LoadTextureFromFile_TGA(FILE* file, uint32_t size, const char* name) {
    unsigned char header[kTgaHeaderSize];
    // Nothing is read past the entry, not even a header.
    if (!file || size < kTgaDataOffset || std::fread(header, 1, sizeof header, file) != sizeof header)
        return eFAILED;
    eRESULT result = eFAILED;
    if (std::memcmp(header, kTgaUncompressed, sizeof header) == 0)
        result = LoadUncompressedTGA(file, size, name);
    else if (std::memcmp(header, kTgaCompressed, sizeof header) == 0)
        result = LoadCompressedTGA(file, size, name);
    return eSUCCEEDED(result) ? eOK : eFAILED;
}

// `size` counts from the start of the TGA header (12 bytes already read).
eRESULT C3DTexture::LoadUncompressedTGA(FILE* file, uint32_t size, const char* name) {
    unsigned char block[kTgaBlockSize];
    TGA_INFO info;
    if (!file || size < kTgaDataOffset || std::fread(block, 1, sizeof block, file) != sizeof block ||
        !ParseBlock(block, MaxDecodeSide(), &info))
        return eFAILED;
    CTgaStreamReader reader(file, size - kTgaDataOffset);
    unsigned char* pixels =
        DecodeUncompressed(&reader, info, size - kTgaDataOffset);
    if (!pixels) return eFAILED;
    const eRESULT result = MakeTextureFromRaw(static_cast<uint16_t>(info.dwWidth),
                                              static_cast<uint16_t>(info.dwHeight),
                                              static_cast<uint8_t>(info.dwBits), pixels, name);
    std::free(pixels);
    return result;
}

eRESULT C3DTexture::LoadCompressedTGA(FILE* file, uint32_t size, const char* name) {
    unsigned char block[kTgaBlockSize];
    TGA_INFO info;
    if (!file || size < kTgaDataOffset || std::fread(block, 1, sizeof block, file) != sizeof block ||
        !ParseBlock(block, MaxDecodeSide(), &info))
        return eFAILED;
    CTgaStreamReader reader(file, size - kTgaDataOffset);
    unsigned char* pixels = DecodeCompressed(&reader, info, size - kTgaDataOffset);
    if (!pixels) return eFAILED;
    const eRESULT result = MakeTextureFromRaw(static_cast<uint16_t>(info.dwWidth),
                                              static_cast<uint16_t>(info.dwHeight),
                                              static_cast<uint8_t>(info.dwBits), pixels, name);
    std::free(pixels);
    return result;
}

eRESULT C3DTexture::MakeTextureFromAddress_TGA(void* data, uint32_t size, const char* name) {
    if (!data || size < kTgaDataOffset) return eFAILED;
    eRESULT result = eFAILED;
    if (std::memcmp(data, kTgaUncompressed, kTgaHeaderSize) == 0)
        result = MakeUncompressedTGA(data, size, name);
    else if (std::memcmp(data, kTgaCompressed, kTgaHeaderSize) == 0)
        result = MakeCompressedTGA(data, size, name);
    return eSUCCEEDED(result) ? eOK : eFAILED;
}

eRESULT C3DTexture::MakeUncompressedTGA(void* data, uint32_t size, const char* name) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    TGA_INFO info;
    if (!data || size < kTgaDataOffset || !ParseBlock(bytes + kTgaHeaderSize, MaxDecodeSide(), &info)) return eFAILED;
    CTgaMemoryReader reader(bytes, size, kTgaDataOffset);
    unsigned char* pixels = DecodeUncompressed(&reader, info, size - kTgaDataOffset);
    if (!pixels) return eFAILED;
    const eRESULT result = MakeTextureFromRaw(static_cast<uint16_t>(info.dwWidth),
                                              static_cast<uint16_t>(info.dwHeight),
                                              static_cast<uint8_t>(info.dwBits), pixels, name);
    std::free(pixels);
    return eSUCCEEDED(result) ? eOK : eFAILED;
}

eRESULT C3DTexture::MakeCompressedTGA(void* data, uint32_t size, const char* name) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    TGA_INFO info;
    if (!data || size < kTgaDataOffset || !ParseBlock(bytes + kTgaHeaderSize, MaxDecodeSide(), &info)) return eFAILED;
    CTgaMemoryReader reader(bytes, size, kTgaDataOffset);
    unsigned char* pixels = DecodeCompressed(&reader, info, size - kTgaDataOffset);
    if (!pixels) return eFAILED;
    const eRESULT result = MakeTextureFromRaw(static_cast<uint16_t>(info.dwWidth),
                                              static_cast<uint16_t>(info.dwHeight),
                                              static_cast<uint8_t>(info.dwBits), pixels, name);
    std::free(pixels);
    return eSUCCEEDED(result) ? eOK : eFAILED;
}

eRESULT C3DTexture::LoadTextureFromFile_RAW(FILE* file, uint32_t size, const char* name) {
    if (!file || size != eTEXTURE_RAW_SIZE) return eFAILED;
    unsigned char* pixels = static_cast<unsigned char*>(std::malloc(eTEXTURE_RAW_SIZE));
    if (!pixels) return eFAILED;
    if (std::fread(pixels, 1, eTEXTURE_RAW_SIZE, file) != eTEXTURE_RAW_SIZE) {
        std::free(pixels);
        return eFAILED;
    }
    // The outcome of the upload is not reported.
    MakeTextureFromRaw(256, 256, 24, pixels, name);
    std::free(pixels);
    return eOK;
}
