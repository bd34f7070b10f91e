// Writes 8-bit PNG rows to an open file; shared by the texture and font
// commands.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>

namespace asset {

// False when libpng fails; the file is then incomplete.
bool WritePngRows(FILE* file, uint32_t width, uint32_t height, int colorType, png_bytep* rows);

}  // namespace asset
