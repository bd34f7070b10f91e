// The engine's texture: a named image of known size and depth that the render
// device can bind. This class holds the device-independent half: the fields,
// the virtual interface and the image decoders (PNG, JPEG, TGA, raw) that turn
// a file, a pack entry or a block of memory into a packed pixel buffer for the
// virtual upload MakeTextureFromRaw. C3DTextureGLES implements the upload.
//
// Pixel buffers handed to MakeTextureFromRaw: width x height pixels, rows
// without padding, bits / 8 bytes per pixel: 8 grey, 16 grey + alpha,
// 24 RGB, 32 RGBA. The first row is the one that sits at t = 0.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/world/ResPacker.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;

// First creation flag word (m_dwFlags).
constexpr uint32_t TEX_RECYCLED = 0x1;  // may be shared by name through the device
constexpr uint32_t TEX_WRAP_U = 0x2;    // repeat in s; clamped to the edge otherwise
constexpr uint32_t TEX_WRAP_V = 0x4;    // repeat in t; clamped to the edge otherwise

// Second creation flag word (m_dwFlags2).
constexpr uint32_t TEX_MIN_POINT = 0x1;      // nearest minification, before anything else
constexpr uint32_t TEX_MIN_LINEAR = 0x2;     // linear minification, no mipmap filtering
constexpr uint32_t TEX_MIPMAP = 0x4;         // trilinear minification and mipmap generation
constexpr uint32_t TEX_MAG_POINT = 0x8;      // nearest magnification; linear otherwise
// 0x10 is set by the font and screenshot textures and changes nothing here.
constexpr uint32_t TEX_AUTO_MIPMAP = 0x20;   // mipmap generation even without TEX_MIPMAP
constexpr uint32_t TEX_ALPHA = 0x40;         // 8 bits upload as alpha; blends when drawn
constexpr uint32_t TEX_ADDITIVE = 0x80;      // blend (src alpha, one)
constexpr uint32_t TEX_REPLACE = 0x100;      // texture environment replace
constexpr uint32_t TEX_INTERPOLATE = 0x200;  // combine: previous and texture mixed by vertex colour
constexpr uint32_t TEX_NO_MIPMAP = 0x400;    // never mipmaps, whatever else is set

// A raw image is exactly 256 x 256 RGB pixels, no header.
constexpr uint32_t eTEXTURE_RAW_SIZE = 256u * 256u * 3u;
// Decoders refuse images wider or taller than this rather than allocate
// gigabytes for a damaged or hostile header (16384 x 16384 RGBA is 1 GiB).
constexpr uint32_t eTEXTURE_MAX_SIDE = 16384u;
// Nor will they decode more than this many bytes of RGBA (4096 x 4096): a
// small file can declare a huge image, and the memory is taken before the
// pixels are read.
constexpr uint64_t eTEXTURE_MAX_BYTES = 64ull << 20;

// Whether a decoded image of width x height fits within `maxSide` on both
// sides and within the memory budget.
inline bool eTextureDecodeFits(uint64_t width, uint64_t height, uint32_t maxSide) {
    return width != 0 && height != 0 && width <= maxSide && height <= maxSide &&
           width * height * 4 <= eTEXTURE_MAX_BYTES;
}

class C3DTexture {
public:
    C3DTexture();
    virtual ~C3DTexture();

    C3DTexture(const C3DTexture&) = delete;
    C3DTexture& operator=(const C3DTexture&) = delete;

    // Keeps `infos`; 0.
    virtual eRESULT Load(SHARED_INFOS* infos);
    // Clears the name; 0. Every load calls it first.
    virtual eRESULT Unload();
    virtual void FrameMove();
    // Binding for a draw (renderFlags are the object's render flags).
    virtual eRESULT Render(uint32_t renderFlags, uint32_t unit);
    // Bare binding on the current unit.
    virtual eRESULT RenderLight(uint32_t unit);
    // Copies the framebuffer into the texture; the base cannot.
    virtual eRESULT ScreenShot(bool update, bool fromScreen, bool luminance, uint32_t unit);
    // The upload. The base only records the name (see RecordName); every
    // subclass upload ends by calling it. `pixels` belongs to the caller.
    virtual eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bitsPerPixel, void* pixels,
                                       const char* name);
    // Decoders chosen by the extension found in `name`, in `path`, or in the
    // pack entry's name (case as listed): .tga/.TGA, .png/.PNG (so .pngg too),
    // .jpg/.JPG, .raw/.RAW. Each unloads the texture first.
    virtual eRESULT MakeTextureFromAddress(void* data, uint32_t size, const char* name);
    // Decodes the pack's current entry from its open stream, reading forward
    // only; the stream is left open.
    virtual eRESULT LoadTextureFromPacker(_RES_PACKER* packer);
    virtual eRESULT LoadTextureFromFile(const char* path);
    // Saving is not supported.
    virtual eRESULT SaveTextureToFile(const char* path);

    // The largest side the decoders accept: an image the upload would refuse
    // is refused before it is decoded.
    virtual uint32_t MaxDecodeSide() const { return eTEXTURE_MAX_SIDE; }
    // After a decoder refused an image whose header says width x height:
    // one trace line naming the limit it passes, when it passes one.
    void TraceUnfit(const char* who, const char* name, uint64_t width, uint64_t height) const;

    // Stream decoders: `size` bytes from the stream's current position.
    eRESULT LoadTextureFromFile_PNG(FILE* file, uint32_t size, const char* name);
    eRESULT LoadTextureFromFile_JPG(FILE* file, uint32_t size, const char* name);
    eRESULT LoadTextureFromFile_TGA(FILE* file, uint32_t size, const char* name);
    eRESULT LoadUncompressedTGA(FILE* file, uint32_t size, const char* name);
    eRESULT LoadCompressedTGA(FILE* file, uint32_t size, const char* name);
    eRESULT LoadTextureFromFile_RAW(FILE* file, uint32_t size, const char* name);
    // Memory decoders: never read outside data[0, size).
    eRESULT MakeTextureFromAddress_PNG(void* data, uint32_t size, const char* name);
    eRESULT MakeTextureFromAddress_JPG(void* data, uint32_t size, const char* name);
    eRESULT MakeTextureFromAddress_TGA(void* data, uint32_t size, const char* name);
    eRESULT MakeUncompressedTGA(void* data, uint32_t size, const char* name);
    eRESULT MakeCompressedTGA(void* data, uint32_t size, const char* name);

    SHARED_INFOS* m_pSharedInfos;
    uint32_t m_dwFlags;   // first creation flag word (TEX_RECYCLED, TEX_WRAP_*)
    uint32_t m_dwFlags2;  // second creation flag word (filters, blending)
    char m_szName[eMAX_PATH];
    uint8_t m_bBitsPerPixel;  // written by the upload
    uint16_t m_wWidth;
    uint16_t m_wHeight;

protected:
    // m_szName = `name` after the texture-name rule of SHARED_INFOS: the
    // file-name part when the prefix length is 0xFFFFFFFF (or there is no
    // record), otherwise `name` less that many leading characters. Cut to
    // the field. Null records nothing.
    void RecordName(const char* name);
};
