// The engine's strict OBJ reader, from a file (the only way it reads OBJ):
// whatever the text, the model it keeps stays inside its arrays.
#include <cstddef>
#include <cstdint>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunModelFile(data, size, "model.obj");
    return 0;
}
