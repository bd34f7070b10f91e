// The RAW texture decoder from memory, a file and a pack entry.
#include <cstddef>
#include <cstdint>

#include "fuzz/TextureFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunTextureInput(data, size, "image.raw", true);
    return 0;
}
