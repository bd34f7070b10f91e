// 3D Studio files through the engine's chunk check into lib3ds, which
// trusts what it reads: whatever the bytes, lib3ds must not fault on a file
// the check lets through, and the model kept stays inside its arrays.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ModelFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::WorkDir::Get().Write("model.3ds", data, size);
    if (path.empty()) return 0;
    C3DObjectRaw raw(nullptr);
    const eRESULT result = raw.LoadFromFile(path.c_str());
    if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
    fuzz::CheckModel(raw);
    raw.Unload();
    return 0;
}
