// The 3DX model reader (all three layouts, chosen by the header's version
// word) from memory, a file and a pack entry.
#include <cstddef>
#include <cstdint>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunModelInput(data, size, "model.3dx");
    return 0;
}
