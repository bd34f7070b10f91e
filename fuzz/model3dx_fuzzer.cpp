// The 3DX model reader (all three layouts, chosen by the header's version
// word) from memory, a file and a pack entry.
#include <cstddef>
#include <cstdint>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The memory reader takes V2 and V3 only.
    fuzz::RunModelInput(data, size, "model.3dx", [](const uint8_t* bytes, size_t length) {
        return length < 16 || !(bytes[12] == e3DX_VERSION_V4 && bytes[13] == 0 && bytes[14] == 0 && bytes[15] == 0);
    });
    return 0;
}
