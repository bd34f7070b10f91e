// The engine's strict OBJ reader, from a file (the only way it reads OBJ):
// whatever the text, the model it keeps stays inside its arrays.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WorkDir::Get().Write("model.obj", data, size);
    if (path.empty()) return 0;
    C3DObjectRaw raw(nullptr);
    const eRESULT result = raw.LoadFromFile(path.c_str());
    if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
    fuzz::CheckModel(raw);
    raw.Unload();
    return 0;
}
