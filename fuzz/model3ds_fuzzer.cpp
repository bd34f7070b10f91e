// 3D Studio files through the engine's chunk check into lib3ds, which
// trusts what it reads: whatever the bytes, lib3ds must not fault on a file
// the check lets through, and the model kept stays inside its arrays.
#include <cstddef>
#include <cstdint>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunModelFile(data, size, "model.3ds");
    return 0;
}
