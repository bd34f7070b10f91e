// Objects from model files, pack entries and memory, through a raw model,
// and back to 3DX files.
#include <cstdio>
#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/3DTexture.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

namespace {

void CopyCut(char* out, const char* in) {
    const size_t length = in ? strnlen(in, eMAX_PATH - 1) : 0;
    if (length) std::memcpy(out, in, length);
    out[length] = '\0';
}

// The name an object loaded from `path` keeps: the path less the data
// directory's prefix, or its file-name part when no prefix length is set.
void NameFromPath(const SHARED_INFOS* infos, const char* path, char* out) {
    const uint32_t skip = infos ? infos->m_dwTextureNameSkip : 0xFFFFFFFFu;
    if (skip == 0xFFFFFFFFu) {
        CopyCut(out, GetFileFromPath(path));
        return;
    }
    // A prefix longer than the path leaves an empty name.
    const size_t length = std::strlen(path);
    CopyCut(out, path + (skip < length ? skip : length));
}

// The texture of a sub-object could not be had: the error code and the name
// are left for the caller.
void TextureFailed(SHARED_INFOS* infos, const char* prefix, const char* name) {
    if (!infos) return;
    std::snprintf(infos->m_szErrorText, sizeof infos->m_szErrorText, "%s%s", prefix, name);
    infos->m_dwErrorCode = e3D_ERROR_TEXTURE;
}

// Reads a model with `step`, then builds the object from it; the raw model
// goes whatever the outcome. `name` (copied first: a texture look-up may
// overwrite the pack record it comes from) is kept on success.
template <class Step>
eRESULT LoadThroughRaw(C3DObject* object, Step step, PFN_RES_STATIC resStatic, PFN_RES_PACKER resPacker,
                       const char* texturePath, const char* name) {
    char kept[eMAX_PATH];
    CopyCut(kept, name);
    C3DObjectRaw raw(object->m_pSharedInfos);
    eRESULT result = step(raw);
    if (eSUCCEEDED(result)) {
        // The object now takes the new model, whatever comes of it.
        object->m_szName[0] = '\0';
        result = object->LoadFromRaw(&raw, resStatic, resPacker, texturePath);
        if (eSUCCEEDED(result)) std::memcpy(object->m_szName, kept, sizeof kept);
    }
    raw.Unload();
    return result;
}

}  // namespace

eRESULT C3DObject::MakeFromAddress(void* data, uint32_t size, const char* name) {
    PFN_RES_STATIC resStatic = m_pSharedInfos ? m_pSharedInfos->m_pfnResStatic : nullptr;
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.MakeFromAddress(data, size, name); }, resStatic, nullptr, nullptr,
        name);
}

eRESULT C3DObject::MakeFromAddressEx(void* data, uint32_t size, const char* name, PFN_RES_PACKER resPacker) {
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.MakeFromAddress(data, size, name); }, nullptr, resPacker, nullptr,
        name);
}

eRESULT C3DObject::LoadFromPacker(_RES_PACKER* packer) {
    if (!packer) return eFAILED;
    PFN_RES_PACKER resPacker = m_pSharedInfos ? m_pSharedInfos->m_pfnResPacker : nullptr;
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.LoadFromPacker(packer); }, nullptr, resPacker, nullptr,
        packer->m_szName);
}

eRESULT C3DObject::LoadFromPackerEx(_RES_PACKER* packer, PFN_RES_STATIC resStatic) {
    if (!packer) return eFAILED;
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.LoadFromPacker(packer); }, resStatic, nullptr, nullptr,
        packer->m_szName);
}

eRESULT C3DObject::LoadFromFile(const char* path, const char* texturePath) {
    if (!path) return eFAILED;
    char name[eMAX_PATH];
    NameFromPath(m_pSharedInfos, path, name);
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.LoadFromFile(path); }, nullptr, nullptr, texturePath, name);
}

eRESULT C3DObject::LoadFromFileEx(const char* path, const char* texturePath, PFN_RES_STATIC resStatic,
                                  PFN_RES_PACKER resPacker) {
    if (!path) return eFAILED;
    char name[eMAX_PATH];
    NameFromPath(m_pSharedInfos, path, name);
    return LoadThroughRaw(
        this, [&](C3DObjectRaw& raw) { return raw.LoadFromFile(path); }, resStatic, resPacker, texturePath, name);
}

eRESULT C3DObject::SaveToFile(const char* path, uint32_t contents) {
    if (!m_pIndex) return eFAILED;
    C3DObjectRaw raw(m_pSharedInfos);
    eRESULT result = SaveToRaw(&raw, contents);
    if (eSUCCEEDED(result)) result = raw.SaveToFile(path, contents);
    raw.Unload();
    return result;
}

eRESULT C3DObject::LoadFromRaw(C3DObjectRaw* raw, PFN_RES_STATIC resStatic, PFN_RES_PACKER resPacker,
                               const char* texturePath) {
    const RAW_MODEL* m = raw ? raw->m_pModel : nullptr;
    if (!m) return eFAILED;
    if (eFAILURE(InitConstruct(m->m_dwSubObjectCount, m->m_dwVertexCount, m->m_dwIndexCount))) return eFAILED;
    if (eFAILURE(BeginConstruct())) return eFAILED;

    for (uint32_t i = 0; i < m->m_dwIndexCount; ++i) {
        if (eFAILURE(SetIndex(i, m->m_pdwIndices[i]))) {
            EndConstruct(false);
            return eFAILED;
        }
    }
    for (uint32_t i = 0; i < m->m_dwVertexCount; ++i) {
        if (eFAILURE(SetVertex(i, m->m_pvPositions[i], m->m_pdwColors[i], m->m_pvUVs[i], m->m_pvNormals[i],
                               m->m_pdwSpeculars[i]))) {
            EndConstruct(false);
            return eFAILED;
        }
    }

    SHARED_INFOS* infos = m_pSharedInfos;
    eRESULT result = eOK;
    for (uint32_t sub = 0; sub < m->m_dwSubObjectCount; ++sub) {
        const ATTRIBUT& r = m->m_pAttributes[sub];
        uint32_t cull = r.dwCullMode;
        if (m_dwFlags2 & RENDER_CULL_NONE)
            cull = CULL_NONE;
        else if (m_dwFlags2 & RENDER_CULL_CCW)
            cull = CULL_CCW;
        else if (m_dwFlags2 & RENDER_CULL_CW)
            cull = CULL_CW;
        // The stored order is not used: every record draws at its own place.
        SetSubObjParsingEx(sub, r.dwVertexStart, r.dwVertexCount, r.dwIndexStart, r.dwIndexCount, r.dwPrimitiveCount,
                           r.dwPrimitiveType, cull, eNO_VALUE);
        if (m_pMaterials) m_pMaterials[sub] = m->m_pMaterials[sub];

        char name[eMAX_PATH];
        CopyCut(name, m->m_pszTextureNames[sub]);
        if (!name[0]) continue;
        const uint32_t w1 = m->m_pdwTextureWords1[sub], w2 = m->m_pdwTextureWords2[sub];
        // A failed texture leaves the geometry and the later sub-objects alone.
        if (texturePath) {
            char path[eMAX_PATH];
            const int length = std::snprintf(path, sizeof path, "%s%s", texturePath, name);
            if (length < 0 || length >= eMAX_PATH || eFAILURE(LoadOneTextureFromFile(w1, w2, path, sub, 0))) {
                TextureFailed(infos, texturePath, name);
                result = eFAILED;
            }
        } else if (resStatic) {
            // An empty resource would leave the slot without a texture.
            const bool found = infos && eSUCCEEDED(resStatic(name, &infos->m_ResStatic)) &&
                               infos->m_ResStatic.m_pData && infos->m_ResStatic.m_dwSize;
            if (!found || eFAILURE(MakeOneTextureFromAddress(w1, w2, infos->m_ResStatic.m_pData,
                                                             infos->m_ResStatic.m_dwSize, sub, 0, name))) {
                eTRACE(infos ? infos->m_szLogPath : nullptr, 1,
                       "# C3DObject::LoadFromRaw MakeOneTextureFromAddress failed! \"%s\"\n", name);
                TextureFailed(infos, "", name);
                result = eFAILED;
            }
        } else if (resPacker) {
            const bool found = infos && eSUCCEEDED(resPacker(name, &infos->m_ResPacker));
            if (!found || eFAILURE(LoadOneTextureFromPacker(w1, w2, &infos->m_ResPacker, sub, 0))) {
                TextureFailed(infos, "", name);
                result = eFAILED;
            }
        } else {
            // Nowhere to look the texture up.
            TextureFailed(infos, "", name);
            result = eFAILED;
        }
    }
    EndConstruct(true);
    return result;
}

eRESULT C3DObject::SaveToRaw(C3DObjectRaw* raw, uint32_t) {
    if (!raw || !m_pIndex) return eFAILED;
    if (eFAILURE(BeginConstruct())) return eFAILED;
    if (eFAILURE(raw->Load(m_dwSubObjectCount, m_dwVertexCount, m_pIndex->m_dwIndexCount))) {
        // Only close the indices: no pending normals or render state for a
        // save that did not happen.
        m_pIndex->EndConstruct(false);
        return eFAILED;
    }
    RAW_MODEL* m = raw->m_pModel;
    for (uint32_t i = 0; i < m->m_dwIndexCount; ++i) m->m_pdwIndices[i] = GetIndex(i);
    for (uint32_t i = 0; i < m->m_dwVertexCount; ++i)
        GetVertex(i, &m->m_pvPositions[i], &m->m_pdwColors[i], &m->m_pvUVs[i], &m->m_pvNormals[i],
                  &m->m_pdwSpeculars[i]);
    for (uint32_t sub = 0; sub < m->m_dwSubObjectCount; ++sub) {
        if (const ATTRIBUT* r = m_pIndex->GetSubObjParsing(sub)) m->m_pAttributes[sub] = *r;
        if (m_pMaterials) m->m_pMaterials[sub] = m_pMaterials[sub];
        if (const C3DTexture* texture = GetOneTexture(sub, 0)) {
            CopyCut(m->m_pszTextureNames[sub], texture->m_szName);
            m->m_pdwTextureWords1[sub] = texture->m_dwFlags;
            m->m_pdwTextureWords2[sub] = texture->m_dwFlags2;
        }
    }
    EndConstruct(true);
    return eOK;
}
