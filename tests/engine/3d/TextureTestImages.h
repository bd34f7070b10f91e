// Test images made on the spot: PNGs and JPEGs written with libpng and
// libjpeg, TGAs by hand, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

namespace teximg {

using Bytes = std::vector<uint8_t>;

struct PngDesc {
    uint32_t width = 1, height = 1;
    int depth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    std::vector<Bytes> rows;          // top row first, packed as the PNG stores them
    std::vector<png_color> palette;   // colour type 3
    Bytes paletteAlpha;               // tRNS for a palette
    int transparentGrey = -1;         // tRNS for grey
    bool interlaced = false;
};

inline void PngAppend(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

inline void PngFlush(png_structp) {}

// Writer errors abort the test program (libpng's default without a jump).
inline Bytes WritePng(const PngDesc& desc) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngAppend, PngFlush);
    png_set_IHDR(png, info, desc.width, desc.height, desc.depth, desc.colorType,
                 desc.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!desc.palette.empty())
        png_set_PLTE(png, info, desc.palette.data(), static_cast<int>(desc.palette.size()));
    if (!desc.paletteAlpha.empty())
        png_set_tRNS(png, info, desc.paletteAlpha.data(), static_cast<int>(desc.paletteAlpha.size()), nullptr);
    if (desc.transparentGrey >= 0) {
        png_color_16 grey{};
        grey.gray = static_cast<png_uint_16>(desc.transparentGrey);
        png_set_tRNS(png, info, nullptr, 0, &grey);
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const Bytes& r : desc.rows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// 8-bit RGB PNG from rows of RGB pixels, top row first.
inline Bytes WriteRgbPng(uint32_t width, const std::vector<Bytes>& rows) {
    PngDesc desc;
    desc.width = width;
    desc.height = static_cast<uint32_t>(rows.size());
    desc.rows = rows;
    return WritePng(desc);
}

// Baseline JPEG, no chroma subsampling: `pixels` rows top first, `components`
// 1 (grey) or 3 (RGB).
inline Bytes WriteJpeg(uint32_t width, uint32_t height, int components, const Bytes& pixels, int quality = 100) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    for (int i = 0; i < cinfo.num_components; ++i)
        cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        const size_t offset = static_cast<size_t>(cinfo.next_scanline) * width * components;
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + offset);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    free(buffer);
    return out;
}

// A 4 x 2 RGB image: top row red, bottom row blue.
inline Bytes RedOverBlue() {
    Bytes p;
    for (int i = 0; i < 4; ++i) p.insert(p.end(), {255, 0, 0});
    for (int i = 0; i < 4; ++i) p.insert(p.end(), {0, 0, 255});
    return p;
}

// TGA: 12-byte header of `type`, then width, height, bits, descriptor, data.
inline Bytes Tga(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, const Bytes& data) {
    Bytes t = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    t.insert(t.end(), {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height),
                       static_cast<uint8_t>(height >> 8), bits, 0});
    t.insert(t.end(), data.begin(), data.end());
    return t;
}

// A directory of its own under the test temporary directory, removed with
// its files at the end.
class TempDir {
public:
    TempDir() {
        std::string tmpl = ::testing::TempDir() + "orbelline_tex_XXXXXX";
        char* made = mkdtemp(&tmpl[0]);
        EXPECT_NE(made, nullptr);
        path_ = tmpl;
    }
    ~TempDir() {
        for (const std::string& f : files_) std::remove(f.c_str());
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) rmdir(it->c_str());
        rmdir(path_.c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string full = path_ + "/" + name;
        std::ofstream(full, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        files_.push_back(full);
        return full;
    }
    std::string Dir(const std::string& name) {
        const std::string full = path_ + "/" + name;
        mkdir(full.c_str(), 0777);
        dirs_.push_back(full);
        return full;
    }
    // A name for a file someone else writes; removed at the end.
    std::string Reserve(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }

private:
    std::string path_;
    std::vector<std::string> files_;
    std::vector<std::string> dirs_;
};

}  // namespace teximg
