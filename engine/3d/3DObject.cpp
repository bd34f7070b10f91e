#include "engine/3d/3DObject.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/World.h"

namespace {

void SetIdentity(SHARED_INFOS* infos, MATRIX3D* m) {
    if (infos && infos->m_pMaths3D) {
        infos->m_pMaths3D->_MATRIX3DIdentity(m);
        return;
    }
    std::memset(m, 0, sizeof *m);
    m->m0 = m->m5 = m->m10 = m->m15 = 1.0f;
}

// p . M as a point; an absent matrix leaves p as it is.
VECTOR3D Transform(SHARED_INFOS* infos, const VECTOR3D& p, const MATRIX3D* m) {
    if (!m) return p;
    if (infos && infos->m_pMaths3D) return infos->m_pMaths3D->_VECTOR3DTransformCoord(&p, m);
    return _VECTOR3DTransformCoordEx(&p, m);
}

}  // namespace

void eInitMaterial(MATERIAL* material) {
    if (!material) return;
    const float diffuse[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    const float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float dark[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(material->afDiffuse, diffuse, sizeof diffuse);
    std::memcpy(material->afAmbient, ambient, sizeof ambient);
    std::memcpy(material->afSpecular, dark, sizeof dark);
    std::memcpy(material->afEmissive, dark, sizeof dark);
    material->fPower = 20.0f;
}

C3DObject::C3DObject()
    : m_pSharedInfos(nullptr),
      m_dwVertexCount(0),
      m_dwSubObjectCount(0),
      m_dwFlags(0),
      m_dwFlags2(0),
      m_pCurrentMatrix(nullptr),
      m_pOwnedIndex(nullptr),
      m_pIndex(nullptr),
      m_ppTextures(nullptr),
      m_pMaterials(nullptr),
      m_dwDirectColor(0xFFFFFFFFu),
      m_fPointSpriteSize(0.0f),
      m_p3DEngine(nullptr) {
    std::memset(m_szName, 0, sizeof m_szName);
    std::memset(&m_matMatrix, 0, sizeof m_matMatrix);
}

C3DObject::~C3DObject() {
    delete m_pOwnedIndex;
    std::free(m_ppTextures);
    std::free(m_pMaterials);
}

C3DEngine* C3DObject::GetDevice() const {
    if (m_p3DEngine) return m_p3DEngine;
    if (m_pSharedInfos && m_pSharedInfos->m_pWorld) return m_pSharedInfos->m_pWorld->m_p3DEngine;
    return nullptr;
}

C3DTexture** C3DObject::TextureSlot(uint32_t sub, uint32_t unit) const {
    if (!m_ppTextures || sub >= m_dwSubObjectCount || unit > 1) return nullptr;
    return &m_ppTextures[static_cast<size_t>(sub) * 2 + unit];
}

uint32_t C3DObject::ClampCount(uint32_t n) const { return n > m_dwSubObjectCount ? m_dwSubObjectCount : n; }

eRESULT C3DObject::Load(SHARED_INFOS* infos) {
    if (!infos) return eFAILED;
    m_pSharedInfos = infos;
    if (m_dwFlags2 & RENDER_DIRECT_COLOR) m_dwFlags |= OBJ_DIRECT_COLOR;
    SetPointSpriteSize(1.0f);
    SetDefaultMatrix();
    SetIdentity(m_pSharedInfos, &m_matMatrix);
    return eOK;
}

eRESULT C3DObject::Unload() {
    if (m_pOwnedIndex) {
        if (eFAILURE(m_pOwnedIndex->Unload())) return eFAILED;
        delete m_pOwnedIndex;
        m_pOwnedIndex = nullptr;
    }
    m_pIndex = nullptr;

    // The textures belong to the device: give back this object's uses.
    if (m_ppTextures) {
        C3DEngine* device = GetDevice();
        for (size_t slot = 0; slot < static_cast<size_t>(m_dwSubObjectCount) * 2; ++slot)
            if (device && m_ppTextures[slot]) device->DeleteTexture(m_ppTextures[slot]);
    }
    std::free(m_ppTextures);
    std::free(m_pMaterials);
    m_ppTextures = nullptr;
    m_pMaterials = nullptr;
    m_dwSubObjectCount = 0;
    m_dwVertexCount = 0;

    SetDefaultMatrix();
    SetIdentity(m_pSharedInfos, &m_matMatrix);
    return eOK;
}

eRESULT C3DObject::FrameMove() { return eOK; }

eRESULT C3DObject::RenderCamera() {
    C3DEngine* device = GetDevice();
    if (!device || !device->m_pCamera) return eFAILED;
    device->m_pCamera->RenderNormal();
    return eOK;
}

eRESULT C3DObject::Render(uint32_t) { return eOK; }
eRESULT C3DObject::RenderOne(uint32_t) { return eOK; }
eRESULT C3DObject::RenderLight(uint32_t) { return eOK; }
eRESULT C3DObject::RenderOneLight(uint32_t) { return eOK; }
eRESULT C3DObject::InitializeRenderExtra(uint32_t) { return eOK; }
eRESULT C3DObject::RenderExtra(uint32_t) { return eOK; }
eRESULT C3DObject::RenderOneExtra(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::FinalizeRenderExtra(uint32_t) { return eOK; }
eRESULT C3DObject::RenderWireFrame(bool, uint32_t) { return eOK; }
eRESULT C3DObject::RenderOneWireFrame(bool, uint32_t) { return eOK; }
eRESULT C3DObject::RenderLightFill(uint32_t) { return eOK; }
eRESULT C3DObject::RenderOneLightFill(uint32_t) { return eOK; }
eRESULT C3DObject::RenderLightFillTriangle(uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::RenderLightFillSegment(uint32_t, uint32_t) { return eOK; }

void* C3DObject::GetIndexBuffer(uint8_t& size) {
    if (!m_pOwnedIndex) {
        size = 0;
        return nullptr;
    }
    return m_pOwnedIndex->GetIndexBuffer(size);
}

void* C3DObject::GetVertexBuffer(uint8_t& stride) {
    stride = 0;
    return nullptr;
}

eRESULT C3DObject::SetDefaultMatrix() {
    m_pCurrentMatrix = &m_matMatrix;
    return eOK;
}

eRESULT C3DObject::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (subObjects > eOBJ_MAX_SUBOBJECTS || vertices > eOBJ_MAX_VERTICES || indices > eOBJ_MAX_INDICES)
        return eFAILED;
    // 16-bit indices cannot reach past vertex 65535.
    if (vertices > 0xFFFFu) m_dwFlags = (m_dwFlags & ~OBJ_INDEX16) | OBJ_INDEX32;
    // A second construction gives back the uses the old slots held.
    if (m_ppTextures) {
        C3DEngine* device = GetDevice();
        for (size_t slot = 0; slot < static_cast<size_t>(m_dwSubObjectCount) * 2; ++slot)
            if (device && m_ppTextures[slot]) device->DeleteTexture(m_ppTextures[slot]);
    }
    m_dwVertexCount = vertices;
    m_dwSubObjectCount = subObjects;

    std::free(m_ppTextures);
    m_ppTextures = nullptr;
    if (subObjects) {
        m_ppTextures = static_cast<C3DTexture**>(std::calloc(static_cast<size_t>(subObjects) * 2, sizeof(C3DTexture*)));
        if (!m_ppTextures) return eFAILED;
    }

    std::free(m_pMaterials);
    m_pMaterials = nullptr;
    if (subObjects) {
        m_pMaterials = static_cast<MATERIAL*>(std::calloc(subObjects, sizeof(MATERIAL)));
        if (!m_pMaterials) return eFAILED;
        for (uint32_t i = 0; i < subObjects; ++i) eInitMaterial(&m_pMaterials[i]);
    }
    return eOK;
}

eRESULT C3DObject::BeginConstruct() { return m_pIndex ? m_pIndex->BeginConstruct() : eFAILED; }

eRESULT C3DObject::SetIndex(uint32_t i, uint32_t value) { return m_pIndex ? m_pIndex->SetIndex(i, value) : eFAILED; }

uint32_t C3DObject::GetIndex(uint32_t i) { return m_pIndex ? m_pIndex->GetIndex(i) : eNO_VALUE; }

eRESULT C3DObject::SetVertex(uint32_t, VECTOR3D, uint32_t, VECTOR2D, VECTOR3D, uint32_t) { return eOK; }
eRESULT C3DObject::SetVertexPosition(uint32_t, VECTOR3D*) { return eOK; }
eRESULT C3DObject::SetVertexTexture1(uint32_t, VECTOR2D*) { return eOK; }
eRESULT C3DObject::SetVertexTexture2(uint32_t, VECTOR2D*) { return eOK; }
eRESULT C3DObject::SetVertexNormal(uint32_t, VECTOR3D*) { return eOK; }
eRESULT C3DObject::SetVertexColor(uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::SetVertexSpecular(uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::GetVertex(uint32_t, VECTOR3D*, uint32_t*, VECTOR2D*, VECTOR3D*, uint32_t*) { return eOK; }
VECTOR3D C3DObject::GetVertexPosition(uint32_t) { return VECTOR3D{0.0f, 0.0f, 0.0f}; }
VECTOR2D C3DObject::GetVertexTexture1(uint32_t) { return VECTOR2D{0.0f, 0.0f}; }
VECTOR2D C3DObject::GetVertexTexture2(uint32_t) { return VECTOR2D{0.0f, 0.0f}; }
VECTOR3D C3DObject::GetVertexNormal(uint32_t) { return VECTOR3D{0.0f, 0.0f, 0.0f}; }
uint32_t C3DObject::GetVertexColor(uint32_t) { return 0; }
uint32_t C3DObject::GetVertexSpecular(uint32_t) { return 0; }

eRESULT C3DObject::GetSubObjParsing(uint32_t sub, ATTRIBUT* out) {
    if (!out) return eFAILED;
    return GetSubObjParsingEx(sub, &out->dwVertexStart, &out->dwVertexCount, &out->dwIndexStart, &out->dwIndexCount,
                              &out->dwPrimitiveCount, &out->dwPrimitiveType, &out->dwCullMode, &out->dwOrder);
}

eRESULT C3DObject::GetSubObjParsingEx(uint32_t sub, uint32_t* vertexStart, uint32_t* vertexCount,
                                      uint32_t* indexStart, uint32_t* indexCount, uint32_t* primitiveCount,
                                      uint32_t* primitiveType, uint32_t* cullMode, uint32_t* order) {
    if (!m_pIndex || eFAILURE(m_pIndex->GetSubObjParsingEx(sub, vertexStart, vertexCount, indexStart, indexCount,
                                                           primitiveCount, primitiveType, cullMode, order)))
        return eFAILED;
    if (primitiveType) *primitiveType = GetOnePrimitiveType(sub);
    if (cullMode) *cullMode = GetOneCullMode(sub);
    return eOK;
}

eRESULT C3DObject::EndConstruct(bool) { return eOK; }

eRESULT C3DObject::SetPrimitiveType(uint32_t type, uint32_t n) {
    n = ClampCount(n);
    eRESULT result = eOK;
    for (uint32_t sub = 0; sub < n; ++sub)
        if (eFAILURE(SetOnePrimitiveType(sub, type))) result = eFAILED;
    return result;
}

eRESULT C3DObject::SetOnePrimitiveType(uint32_t, uint32_t) { return eOK; }

uint32_t C3DObject::GetOnePrimitiveType(uint32_t) { return eNO_VALUE; }

eRESULT C3DObject::GetOnePrimitiveTypeEx(uint32_t sub, uint32_t* type) {
    if (!type) return eFAILED;
    *type = GetOnePrimitiveType(sub);
    return eOK;
}

eRESULT C3DObject::SetCullMode(uint32_t mode, uint32_t n) {
    n = ClampCount(n);
    eRESULT result = eOK;
    for (uint32_t sub = 0; sub < n; ++sub)
        if (eFAILURE(SetOneCullMode(sub, mode))) result = eFAILED;
    return result;
}

eRESULT C3DObject::SetOneCullMode(uint32_t, uint32_t) { return eOK; }

uint32_t C3DObject::GetOneCullMode(uint32_t) { return eNO_VALUE; }

eRESULT C3DObject::GetOneCullModeEx(uint32_t sub, uint32_t* mode) {
    if (!mode) return eFAILED;
    *mode = GetOneCullMode(sub);
    return eOK;
}

eRESULT C3DObject::ComputeNormals() { return eOK; }

eRESULT C3DObject::ComputeNormalsSmooth() { return eOK; }

eRESULT C3DObject::SetDirectAlpha(uint8_t alpha) {
    m_dwDirectColor = (m_dwDirectColor & 0x00FFFFFFu) | (static_cast<uint32_t>(alpha) << 24);
    return eOK;
}

eRESULT C3DObject::SetDirectColor(uint32_t color) {
    m_dwDirectColor = color;
    return eOK;
}

eRESULT C3DObject::SetPointSpriteSize(float factor) {
    if (!m_pSharedInfos) return eFAILED;
    m_fPointSpriteSize = (m_pSharedInfos->m_fPointSpriteMax - m_pSharedInfos->m_fPointSpriteMin) * factor;
    return eOK;
}

eRESULT C3DObject::MakeTextureFromAddress(uint32_t, uint32_t, void*, uint32_t, uint32_t, uint32_t, const char*) {
    return eFAILED;
}
eRESULT C3DObject::MakeOneTextureFromAddress(uint32_t, uint32_t, void*, uint32_t, uint32_t, uint32_t,
                                             const char*) {
    return eFAILED;
}
eRESULT C3DObject::LoadTextureFromPacker(uint32_t, uint32_t, _RES_PACKER*, uint32_t, uint32_t) { return eFAILED; }
eRESULT C3DObject::LoadOneTextureFromPacker(uint32_t, uint32_t, _RES_PACKER*, uint32_t, uint32_t) { return eFAILED; }
eRESULT C3DObject::LoadTextureFromFile(uint32_t, uint32_t, const char*, uint32_t, uint32_t) { return eFAILED; }
eRESULT C3DObject::LoadOneTextureFromFile(uint32_t, uint32_t, const char*, uint32_t, uint32_t) { return eFAILED; }
eRESULT C3DObject::SaveTextureToFile(const char*) { return eOK; }
eRESULT C3DObject::SetTexture(C3DTexture*, uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::SetOneTexture(C3DTexture*, uint32_t, uint32_t) { return eOK; }
C3DTexture* C3DObject::GetOneTexture(uint32_t, uint32_t) { return nullptr; }
eRESULT C3DObject::DeleteTexture(uint32_t, uint32_t) { return eOK; }
eRESULT C3DObject::DeleteOneTexture(uint32_t, uint32_t) { return eOK; }

eRESULT C3DObject::ConstructFromModel(uint32_t, void*) { return eFAILED; }
eRESULT C3DObject::ConstructFromObjects(C3DObject**, uint32_t) { return eFAILED; }
eRESULT C3DObject::ConstructFromObjectsNormals(C3DObject**, uint32_t, float, uint32_t) { return eFAILED; }

eRESULT C3DObject::CreateStateBlock() { return eFAILED; }

eRESULT C3DObject::ApplyStateBlock() { return eOK; }

eRESULT C3DObject::GetExtrema(VECTOR3D* min, VECTOR3D* max, bool transformed) {
    if (!min || !max) return eFAILED;
    *min = VECTOR3D{FLT_MAX, FLT_MAX, FLT_MAX};
    *max = VECTOR3D{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    BeginConstruct();
    for (uint32_t i = 0; i < m_dwVertexCount; ++i) {
        const VECTOR3D p = GetVertexPosition(i);
        if (p.x < min->x) min->x = p.x;
        if (p.y < min->y) min->y = p.y;
        if (p.z < min->z) min->z = p.z;
        if (p.x > max->x) max->x = p.x;
        if (p.y > max->y) max->y = p.y;
        if (p.z > max->z) max->z = p.z;
    }
    // Only the two corners are moved, not the eight corners of the box.
    if (transformed) {
        *min = Transform(m_pSharedInfos, *min, m_pCurrentMatrix);
        *max = Transform(m_pSharedInfos, *max, m_pCurrentMatrix);
    }
    return EndConstruct(true);
}

float C3DObject::GetCollision(VECTOR3D& from, VECTOR3D& to, TRIPLET3D* triangle) {
    CMaths3D* maths = m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr;
    if (!maths) return 0.0f;
    BeginConstruct();
    const VECTOR3D delta{to.x - from.x, to.y - from.y, to.z - from.z};
    const VECTOR3D direction = maths->_VECTOR3DNormalize(&delta);

    // Transformed position of vertex v; false for a vertex that is not there.
    auto position = [&](uint32_t v, VECTOR3D* out) {
        if (v >= m_dwVertexCount) return false;
        *out = Transform(m_pSharedInfos, GetVertexPosition(v), m_pCurrentMatrix);
        return true;
    };

    if (triangle && triangle->adwVertex[0] != 0xFFFFFFFFu) {
        VECTOR3D p[3];
        if (position(triangle->adwVertex[0], &p[0]) && position(triangle->adwVertex[1], &p[1]) &&
            position(triangle->adwVertex[2], &p[2])) {
            const float hit = maths->_TRIANGLE3DGetCollision(to, direction, p[0], p[1], p[2]);
            if (hit < 0.0f) {
                EndConstruct(false);
                return hit;
            }
        }
        triangle->adwVertex[0] = 0xFFFFFFFFu;
    }

    float result = 0.0f;
    for (uint32_t i = 0; i < m_dwSubObjectCount; ++i) {
        if (GetOnePrimitiveType(i) != PRIM_TRIANGLELIST) continue;
        const ATTRIBUT* at = m_pIndex ? m_pIndex->GetSubObjParsing(i) : nullptr;
        const ATTRIBUT* r = at ? m_pIndex->GetSubObjParsing(at->dwOrder) : nullptr;
        if (!r) continue;
        const uint64_t end = static_cast<uint64_t>(r->dwIndexStart) + r->dwIndexCount;
        for (uint64_t k = r->dwIndexStart; k + 2 < end; k += 3) {
            uint32_t v[3];
            VECTOR3D p[3];
            bool present = true;
            for (int c = 0; c < 3; ++c) {
                const uint32_t index = GetIndex(static_cast<uint32_t>(k + c));
                v[c] = index + r->dwVertexStart;
                present = present && index != eNO_VALUE && v[c] >= index && position(v[c], &p[c]);
            }
            if (!present) continue;
            result = maths->_TRIANGLE3DGetCollision(to, direction, p[0], p[1], p[2]);
            if (result < 0.0f) {
                if (triangle) std::memcpy(triangle->adwVertex, v, sizeof v);
                EndConstruct(false);
                return result;
            }
        }
    }
    EndConstruct(false);
    return result;
}

eRESULT C3DObject::SetIndexIncrementaly() { return m_pIndex ? m_pIndex->SetIndexIncrementaly() : eFAILED; }

eRESULT C3DObject::SetSubObjParsingEx(uint32_t sub, uint32_t vertexStart, uint32_t vertexCount, uint32_t indexStart,
                                      uint32_t indexCount, uint32_t primitiveCount, uint32_t primitiveType,
                                      uint32_t cullMode, uint32_t order) {
    if (!m_pIndex || eFAILURE(m_pIndex->SetSubObjParsingEx(sub, vertexStart, vertexCount, indexStart, indexCount,
                                                           primitiveCount, primitiveType, cullMode, order)))
        return eFAILED;
    SetOnePrimitiveType(sub, primitiveType);
    SetOneCullMode(sub, cullMode);
    return eOK;
}
