// JPEG decoding into a texture buffer, from a stream (possibly a pack entry
// with more data behind it) or from memory.
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DTexture.h"
#include "engine/3d/TextureDecoders.h"

#include <jerror.h>

namespace {

constexpr size_t kStdioBlock = 4096;
// Room for an end-of-image marker written just past a full block.
constexpr size_t kStdioBuffer = kStdioBlock + 2;
constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

struct EJPEG_STDIO_SOURCE {
    jpeg_source_mgr pub;
    FILE* pFile;
    JOCTET* pBuffer;
    uint32_t dwLimit;
    uint64_t qwRead;      // bytes taken from the stream so far
    boolean bStartOfFile;
    boolean bLimitReached;
};

struct EJPEG_MEMORY_SOURCE {
    jpeg_source_mgr pub;
    const JOCTET* pData;
    uint32_t dwSize;
    boolean bDelivered;
};

struct EJPEG_ERROR {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void StdioInit(j_decompress_ptr cinfo) {
    EJPEG_STDIO_SOURCE* src = reinterpret_cast<EJPEG_STDIO_SOURCE*>(cinfo->src);
    src->qwRead = 0;
    src->bStartOfFile = TRUE;
    src->bLimitReached = FALSE;
}

boolean StdioFill(j_decompress_ptr cinfo) {
    EJPEG_STDIO_SOURCE* src = reinterpret_cast<EJPEG_STDIO_SOURCE*>(cinfo->src);
    if (src->dwLimit != kNoLimit && src->qwRead >= src->dwLimit) src->bLimitReached = TRUE;
    if (src->bLimitReached) {
        // The entry is over; what follows in the stream belongs to others.
        src->pub.next_input_byte = kEndOfImage;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    size_t count = std::fread(src->pBuffer, 1, kStdioBlock, src->pFile);
    if (count == 0) {
        if (src->bStartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pBuffer[0] = 0xFF;
        src->pBuffer[1] = JPEG_EOI;
        count = 2;
    } else if (src->dwLimit != kNoLimit && src->qwRead <= src->dwLimit && src->dwLimit < src->qwRead + count) {
        // The entry ends inside this block: an end-of-image marker at its
        // end, and nothing of the following data handed out.
        const size_t at = static_cast<size_t>(src->dwLimit - src->qwRead);
        src->qwRead += count;
        src->pBuffer[at] = 0xFF;
        src->pBuffer[at + 1] = JPEG_EOI;
        count = at + 2;
        src->bLimitReached = TRUE;
    } else {
        src->qwRead += count;
    }
    src->pub.next_input_byte = src->pBuffer;
    src->pub.bytes_in_buffer = count;
    src->bStartOfFile = FALSE;
    return TRUE;
}

void StdioSkip(j_decompress_ptr cinfo, long count) {
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0) return;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        (void)(*src->fill_input_buffer)(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void SourceTerm(j_decompress_ptr) {}

void MemoryInit(j_decompress_ptr) {}

boolean MemoryFill(j_decompress_ptr cinfo) {
    EJPEG_MEMORY_SOURCE* src = reinterpret_cast<EJPEG_MEMORY_SOURCE*>(cinfo->src);
    if (!src->bDelivered && src->dwSize > 0) {
        src->pub.next_input_byte = src->pData;
        src->pub.bytes_in_buffer = src->dwSize;
        src->bDelivered = TRUE;
        return TRUE;
    }
    if (!src->bDelivered) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    // Past the block: end the image rather than read outside it.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = 2;
    return TRUE;
}

void MemorySkip(j_decompress_ptr cinfo, long count) {
    EJPEG_MEMORY_SOURCE* src = reinterpret_cast<EJPEG_MEMORY_SOURCE*>(cinfo->src);
    if (count <= 0) return;
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        if (src->bDelivered) {
            // Skipping past the end: the next request gets the marker.
            src->pub.next_input_byte += src->pub.bytes_in_buffer;
            src->pub.bytes_in_buffer = 0;
            return;
        }
        (void)MemoryFill(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void JpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<EJPEG_ERROR*>(cinfo->err)->jump, 1); }

// Warnings and errors are not printed: the load just fails (or, for the
// premature end, completes with the missing rows left zero).
void JpegOutputMessage(j_common_ptr) {}

struct JPEG_IMAGE {
    unsigned char* pPixels;  // calloc'd
    uint32_t dwWidth, dwHeight;
    uint32_t dwComponents;
};

// Decodes from `file` (at most `limit` bytes) or from data[0, size). Scanline
// k goes to row k when `topFirst`, else to row height-1-k. Only plain data
// lives in this frame: library errors arrive by longjmp, and every
// allocation is released on that path (the decompressor's pools by
// jpeg_destroy_decompress).
bool DecodeJpeg(FILE* file, uint32_t limit, const void* data, uint32_t size, bool topFirst, uint32_t maxSide,
                JPEG_IMAGE* out) {
    jpeg_decompress_struct cinfo;
    EJPEG_ERROR error;
    std::memset(&cinfo, 0, sizeof cinfo);
    unsigned char* volatile pixels = nullptr;

    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JpegErrorExit;
    error.pub.output_message = JpegOutputMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(pixels);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (file)
        ejpeg_stdio_src(&cinfo, file, limit);
    else
        ejpeg_memory_src(&cinfo, data, size);

    jpeg_read_header(&cinfo, TRUE);
    // Kept on failure too, for the refusal to name the size.
    out->dwWidth = cinfo.image_width;
    out->dwHeight = cinfo.image_height;
    if (!eTextureDecodeFits(cinfo.image_width, cinfo.image_height, maxSide)) std::longjmp(error.jump, 1);
    jpeg_start_decompress(&cinfo);

    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    const uint32_t components = static_cast<uint32_t>(cinfo.output_components);
    if (!eTextureDecodeFits(width, height, maxSide) || components < 1 || components > 4)
        std::longjmp(error.jump, 1);
    const size_t rowBytes = static_cast<size_t>(width) * components;
    JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                   static_cast<JDIMENSION>(rowBytes), 1);

    pixels = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(width) * height * 4, 1));
    if (!pixels) std::longjmp(error.jump, 1);
    while (cinfo.output_scanline < height) {
        const uint32_t k = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, sample, 1) != 1) std::longjmp(error.jump, 1);
        const size_t row = topFirst ? k : height - 1 - k;
        std::memcpy(pixels + row * rowBytes, sample[0], rowBytes);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);

    out->pPixels = pixels;
    out->dwWidth = width;
    out->dwHeight = height;
    out->dwComponents = components;
    return true;
}

}  // namespace

void ejpeg_stdio_src(j_decompress_ptr cinfo, FILE* stream, uint32_t limit) {
    // From the permanent pool: released with the decompressor.
    EJPEG_STDIO_SOURCE* src = static_cast<EJPEG_STDIO_SOURCE*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(EJPEG_STDIO_SOURCE)));
    src->pBuffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                   JPOOL_PERMANENT, kStdioBuffer * sizeof(JOCTET)));
    src->pub.init_source = StdioInit;
    src->pub.fill_input_buffer = StdioFill;
    src->pub.skip_input_data = StdioSkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = SourceTerm;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->pFile = stream;
    src->dwLimit = limit;
    src->qwRead = 0;
    src->bStartOfFile = TRUE;
    src->bLimitReached = FALSE;
    cinfo->src = &src->pub;
}

void ejpeg_memory_src(j_decompress_ptr cinfo, const void* data, uint32_t size) {
    EJPEG_MEMORY_SOURCE* src = static_cast<EJPEG_MEMORY_SOURCE*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(EJPEG_MEMORY_SOURCE)));
    src->pub.init_source = MemoryInit;
    src->pub.fill_input_buffer = MemoryFill;
    src->pub.skip_input_data = MemorySkip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = SourceTerm;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->pData = static_cast<const JOCTET*>(data);
    src->dwSize = size;
    src->bDelivered = FALSE;
    cinfo->src = &src->pub;
}

eRESULT C3DTexture::LoadTextureFromFile_JPG(FILE* file, uint32_t size, const char* name) {
    if (!file) return eFAILED;
    JPEG_IMAGE image{};
    if (!DecodeJpeg(file, size, nullptr, 0, false, MaxDecodeSide(), &image)) {
        TraceUnfit("LoadTextureFromFile_JPG", name, image.dwWidth, image.dwHeight);
        return eFAILED;
    }
    const eRESULT result =
        MakeTextureFromRaw(static_cast<uint16_t>(image.dwWidth), static_cast<uint16_t>(image.dwHeight),
                           static_cast<uint8_t>(8 * image.dwComponents), image.pPixels, name);
    std::free(image.pPixels);
    return result;
}

eRESULT C3DTexture::MakeTextureFromAddress_JPG(void* data, uint32_t size, const char* name) {
    if (!data) return eFAILED;
    JPEG_IMAGE image{};
    if (!DecodeJpeg(nullptr, 0, data, size, true, MaxDecodeSide(), &image)) {
        TraceUnfit("MakeTextureFromAddress_JPG", name, image.dwWidth, image.dwHeight);
        return eFAILED;
    }
    const eRESULT result =
        MakeTextureFromRaw(static_cast<uint16_t>(image.dwWidth), static_cast<uint16_t>(image.dwHeight),
                           static_cast<uint8_t>(8 * image.dwComponents), image.pPixels, name);
    std::free(image.pPixels);
    return result;
}
