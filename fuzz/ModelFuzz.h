// One model input through the raw model's ways in: memory, file and pack
// entry, with the model it leaves checked against the reader's promises.
// Each model format's target is this with its own file extension.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/3d/3DObjectRaw.h"
#include "fuzz/FuzzSupport.h"

namespace fuzz {

// Every record within the counts, every array there and touched.
inline void CheckModel(const C3DObjectRaw& raw) {
    const RAW_MODEL* m = raw.m_pModel;
    if (!m) return;
    FUZZ_CHECK(m->m_dwSubObjectCount <= eOBJ_MAX_SUBOBJECTS && m->m_dwVertexCount <= eOBJ_MAX_VERTICES &&
               m->m_dwIndexCount <= eOBJ_MAX_INDICES);
    volatile uint32_t sink = 0;
    for (uint32_t i = 0; i < m->m_dwIndexCount; ++i) sink = sink + m->m_pdwIndices[i];
    for (uint32_t v = 0; v < m->m_dwVertexCount; ++v) {
        sink = sink + static_cast<uint32_t>(m->m_pvPositions[v].x != 0) + m->m_pdwColors[v] +
               m->m_pdwSpeculars[v] + static_cast<uint32_t>(m->m_pvUVs[v].y != 0) +
               static_cast<uint32_t>(m->m_pvNormals[v].z != 0);
    }
    for (uint32_t s = 0; s < m->m_dwSubObjectCount; ++s) {
        const ATTRIBUT& a = m->m_pAttributes[s];
        FUZZ_CHECK(uint64_t{a.dwVertexStart} + a.dwVertexCount <= m->m_dwVertexCount);
        FUZZ_CHECK(uint64_t{a.dwIndexStart} + a.dwIndexCount <= m->m_dwIndexCount);
        FUZZ_CHECK(std::memchr(m->m_pszTextureNames[s], 0, eMAX_PATH) != nullptr);
        sink = sink + static_cast<uint32_t>(m->m_pMaterials[s].fPower != 0) + m->m_pdwTextureWords1[s] +
               m->m_pdwTextureWords2[s];
    }
}

// What a load left: its status and the model's counts.
struct ModelOutcome {
    eRESULT result = eFAILED;
    uint32_t subObjects = 0, vertices = 0, indices = 0;
    bool operator==(const ModelOutcome& o) const {
        return result == o.result && subObjects == o.subObjects && vertices == o.vertices && indices == o.indices;
    }
};

inline ModelOutcome Outcome(eRESULT result, const C3DObjectRaw& raw) {
    ModelOutcome out;
    out.result = result;
    if (result == eOK && raw.m_pModel) {
        out.subObjects = raw.m_pModel->m_dwSubObjectCount;
        out.vertices = raw.m_pModel->m_dwVertexCount;
        out.indices = raw.m_pModel->m_dwIndexCount;
    }
    return out;
}

// A model read from a file only (OBJ and 3D Studio have no memory or pack
// reader): `name` carries the extension that picks the reader.
inline void RunModelFile(const uint8_t* data, size_t size, const char* name) {
    const std::string path = WorkDir::Get().Write(name, data, size);
    if (path.empty()) return;
    C3DObjectRaw raw(nullptr);
    const eRESULT result = raw.LoadFromFile(path.c_str());
    if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
    CheckModel(raw);
    raw.Unload();
}

// `name` carries the extension that picks the reader; `memoryLike(data,
// size)` says whether the memory reader takes this input as the file
// reader does (3DX in memory has no V4).
template <typename MemoryLike>
inline void RunModelInput(const uint8_t* data, size_t size, const char* name, MemoryLike memoryLike) {
    if (size > 0xFFFFFFFFu) return;
    ModelOutcome memory, file;
    {
        C3DObjectRaw raw(nullptr);
        ExactCopy copy(data, size);
        const eRESULT result = raw.MakeFromAddress(copy.data(), copy.size(), name);
        if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
        CheckModel(raw);
        memory = Outcome(result, raw);
        raw.Unload();
    }
    {
        C3DObjectRaw raw(nullptr);
        const std::string path = WorkDir::Get().Write(name, data, size);
        const eRESULT result = path.empty() ? eFAILED : raw.LoadFromFile(path.c_str());
        if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
        CheckModel(raw);
        file = Outcome(result, raw);
        if (!path.empty() && memoryLike(data, size)) FUZZ_CHECK(memory == file);
        // A second load replaces the first without a leak.
        if (!path.empty()) raw.LoadFromFile(path.c_str());
        CheckModel(raw);
        raw.Unload();
    }
    FILE* stream = PackStream();
    if (!stream) return;
    const Bytes trailer = Trailer();
    if (!WritePackEntry(stream, name, data, size) ||
        !WritePackEntry(stream, kTrailerName, trailer.data(), trailer.size()) || std::fflush(stream) != 0)
        return;
    _RES_PACKER packer;
    if (!FindEntry(stream, name, &packer)) return;
    const long start = std::ftell(stream);
    C3DObjectRaw raw(nullptr);
    const eRESULT result = raw.LoadFromPacker(&packer);
    if (result == eOK) FUZZ_CHECK(raw.m_pModel != nullptr);
    CheckModel(raw);
    FUZZ_CHECK(Outcome(result, raw) == file);
    // The reader stays inside its entry.
    const long at = std::ftell(stream);
    FUZZ_CHECK(at >= start && static_cast<unsigned long>(at - start) <= packer.m_dwSize);
    raw.Unload();
}

}  // namespace fuzz
