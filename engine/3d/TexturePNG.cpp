// PNG decoding into a texture buffer, from a stream or from memory.
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DTexture.h"
#include "engine/3d/TextureDecoders.h"

namespace {

struct PNG_IMAGE {
    unsigned char* pPixels;  // malloc'd, rows bottom-up
    uint32_t dwWidth, dwHeight;
    uint32_t dwBytesPerPixel;
};

// Errors leave through the jump buffer set in DecodePng; nothing is printed,
// the caller only sees the failed load.
void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

uint32_t BytesPerPixel(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY: return 1;
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 0;
    }
}

// Position in a PNG inside a stream: in a pack the stream goes on with the
// next entry, so no more than the entry's bytes are read.
struct PNG_STREAM {
    FILE* pFile;
    uint32_t dwLeft;
};

void PngReadFromStream(png_structp png, png_bytep out, size_t length) {
    PNG_STREAM* stream = static_cast<PNG_STREAM*>(png_get_io_ptr(png));
    if (!stream || length > stream->dwLeft || std::fread(out, 1, length, stream->pFile) != length)
        png_error(png, "read past the end of the data");
    stream->dwLeft -= static_cast<uint32_t>(length);
}

// Decodes from `stream` (one signature byte already read) or from `io`. On
// failure everything allocated here is released. Only plain data lives in
// this frame: libpng errors arrive by longjmp.
bool DecodePng(PNG_STREAM* stream, EPNG_IO* io, uint32_t maxSide, PNG_IMAGE* out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }

    unsigned char* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rows);
        std::free(pixels);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }

    if (stream) {
        png_set_read_fn(png, stream, PngReadFromStream);
        png_set_sig_bytes(png, 1);
    } else {
        png_set_read_fn(png, io, epng_read_from_mem);
    }

    png_read_info(png, info);
    const int depth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_strip_16(png);
    else if (depth < 8)
        png_set_packing(png);
    // Interlaced images are read whole, all passes into the final rows.
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    png_uint_32 width = 0, height = 0;
    int outDepth = 0, outType = 0;
    png_get_IHDR(png, info, &width, &height, &outDepth, &outType, nullptr, nullptr, nullptr);
    const uint32_t bpp = BytesPerPixel(outType);
    // Kept on failure too, for the refusal to name the size.
    out->dwWidth = width;
    out->dwHeight = height;
    // The texture keeps 16-bit sizes: a wider image must fail, not wrap.
    if (bpp == 0 || outDepth != 8 || !eTextureDecodeFits(width, height, maxSide))
        png_error(png, "unsupported image");
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    if (png_get_rowbytes(png, info) != rowBytes) png_error(png, "unexpected row size");

    pixels = static_cast<unsigned char*>(std::malloc(rowBytes * height));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!pixels || !rows) png_error(png, "out of memory");
    // The PNG's first row lands last: t = 0 is the image's bottom row.
    for (png_uint_32 i = 0; i < height; ++i) rows[i] = pixels + rowBytes * (height - 1 - i);

    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);

    out->pPixels = pixels;
    out->dwWidth = width;
    out->dwHeight = height;
    out->dwBytesPerPixel = bpp;
    return true;
}

}  // namespace

void epng_read_from_mem(png_structp png, png_bytep out, size_t length) {
    EPNG_IO* io = static_cast<EPNG_IO*>(png_get_io_ptr(png));
    if (!io || io->dwPosition > io->dwSize || length > io->dwSize - io->dwPosition)
        png_error(png, "read past the end of the data");
    std::memcpy(out, io->pData + io->dwPosition, length);
    io->dwPosition += static_cast<uint32_t>(length);
}

eRESULT C3DTexture::LoadTextureFromFile_PNG(FILE* file, uint32_t size, const char* name) {
    unsigned char signature = 0;
    if (!file || size < 1 || std::fread(&signature, 1, 1, file) != 1) return eFAILED;
    if (!png_check_sig(&signature, 1)) return eFAILED;

    PNG_STREAM stream{file, size - 1};
    PNG_IMAGE image{};
    if (!DecodePng(&stream, nullptr, MaxDecodeSide(), &image)) {
        TraceUnfit("LoadTextureFromFile_PNG", name, image.dwWidth, image.dwHeight);
        return eFAILED;
    }
    const eRESULT result =
        MakeTextureFromRaw(static_cast<uint16_t>(image.dwWidth), static_cast<uint16_t>(image.dwHeight),
                           static_cast<uint8_t>(8 * image.dwBytesPerPixel), image.pPixels, name);
    std::free(image.pPixels);
    return result;
}

eRESULT C3DTexture::MakeTextureFromAddress_PNG(void* data, uint32_t size, const char* name) {
    if (!data || size < 1) return eFAILED;
    unsigned char* bytes = static_cast<unsigned char*>(data);
    if (!png_check_sig(bytes, 1)) return eFAILED;

    EPNG_IO io{bytes, size, 0};
    PNG_IMAGE image{};
    if (!DecodePng(nullptr, &io, MaxDecodeSide(), &image)) {
        TraceUnfit("MakeTextureFromAddress_PNG", name, image.dwWidth, image.dwHeight);
        return eFAILED;
    }
    const eRESULT result =
        MakeTextureFromRaw(static_cast<uint16_t>(image.dwWidth), static_cast<uint16_t>(image.dwHeight),
                           static_cast<uint8_t>(8 * image.dwBytesPerPixel), image.pPixels, name);
    std::free(image.pPixels);
    return result;
}
