// The PNG texture decoder from memory, a file and a pack entry.
#include <cstddef>
#include <cstdint>

#include "fuzz/TextureFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunTextureInput(data, size, "image.png", true);
    return 0;
}
