#include "tools/asset/PngRows.h"

#include <csetjmp>

namespace asset {
namespace {

struct PngWriteError {
    jmp_buf jump;
};

void OnPngError(png_structp png, png_const_charp) {
    std::longjmp(static_cast<PngWriteError*>(png_get_error_ptr(png))->jump, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

// Plain data only between setjmp and the writes: errors arrive by longjmp.
bool WritePngRows(FILE* file, uint32_t width, uint32_t height, int colorType, png_bytep* rows) {
    PngWriteError error;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(error.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}


}  // namespace asset
