// The floor of the program's start-up: a process that only decodes the
// images the pack is built from with libpng (and libjpeg-turbo for JPEGs),
// straight from their files. Prints its time from process start to the
// last pixel, in milliseconds.
#include <chrono>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>
#include <string>
#include <vector>

namespace {

const auto g_start = std::chrono::steady_clock::now();

bool DecodePng(const char* path, size_t* pixels) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) return false;
    *pixels += static_cast<size_t>(image.width) * image.height;
    return true;
}

bool DecodeJpeg(const char* path, size_t* pixels) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(static_cast<size_t>(cinfo.output_width) * cinfo.output_components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
    }
    *pixels += static_cast<size_t>(cinfo.output_width) * cinfo.output_height;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: startup_decode IMAGE...\n"
                   "Decodes each PNG (or .jpg JPEG) file with libpng or libjpeg-turbo and prints\n"
                   "the time from process start to the last pixel, in milliseconds.\n",
                   stdout);
        return 0;
    }
    size_t pixels = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        const bool jpeg = path.size() > 4 && (path.compare(path.size() - 4, 4, ".jpg") == 0);
        if (!(jpeg ? DecodeJpeg(argv[i], &pixels) : DecodePng(argv[i], &pixels))) {
            std::fprintf(stderr, "startup_decode: cannot decode %s\n", argv[i]);
            return 1;
        }
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start).count();
    std::printf("startup_decode: %d images, %zu pixels, %.1f ms after start\n", argc - 1, pixels, ms);
    return 0;
}
