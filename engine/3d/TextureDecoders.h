// The data sources the texture decoders hand to libpng and libjpeg.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

// Position in a PNG held in memory.
struct EPNG_IO {
    const unsigned char* pData;
    uint32_t dwSize;
    uint32_t dwPosition;
};

// libpng read function over an EPNG_IO (the read structure's I/O pointer).
// A request past the end of the block raises a libpng error instead of
// reading beyond it.
void epng_read_from_mem(png_structp png, png_bytep out, size_t length);

// A stdio source that reads `stream` in blocks of up to 4096 bytes and ends
// the image at byte offset `limit` (counted from the first byte it reads) by
// putting an end-of-image marker there, so that an entry inside a pack
// decodes although the stream goes on. 0xFFFFFFFF: no limit. When the stream
// runs dry the image ends with the library's premature-end warning, or fails
// if nothing at all could be read.
void ejpeg_stdio_src(j_decompress_ptr cinfo, FILE* stream, uint32_t limit);

// A source over `size` bytes at `data`, delivered as one block; requests
// past it get an end-of-image marker (premature-end warning), never bytes
// from outside the block.
void ejpeg_memory_src(j_decompress_ptr cinfo, const void* data, uint32_t size);
