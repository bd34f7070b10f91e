#include "engine/3d/3DObjectRaw.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/3d/Maths3D.h"
#include "engine/utils/RegularFile.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

namespace {

uint32_t U32At(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

float F32At(const uint8_t* p) {
    const uint32_t bits = U32At(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void PutF32(uint8_t* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutU32(p, bits);
}

bool Contains(const char* text, const char* part) { return text && std::strstr(text, part) != nullptr; }

const char* LogOf(const SHARED_INFOS* infos) { return infos ? infos->m_szLogPath : nullptr; }

// The bytes of a 3DX image that remain, from a stream or from memory. Reads
// never go past `size`, so a count that promises more than is there is seen
// before anything is allocated for it.
class C3DXSource {
public:
    C3DXSource(FILE* file, uint64_t size) : m_pFile(file), m_pData(nullptr), m_qwLeft(size) {}
    C3DXSource(const void* data, uint64_t size)
        : m_pFile(nullptr), m_pData(static_cast<const uint8_t*>(data)), m_qwLeft(data ? size : 0) {}

    uint64_t Remaining() const { return m_qwLeft; }

    bool Read(void* out, size_t n) {
        if (n > m_qwLeft) return false;
        if (m_pFile) {
            if (std::fread(out, 1, n, m_pFile) != n) {
                m_qwLeft = 0;
                return false;
            }
        } else {
            std::memcpy(out, m_pData, n);
            m_pData += n;
        }
        m_qwLeft -= n;
        return true;
    }

private:
    FILE* m_pFile;
    const uint8_t* m_pData;
    uint64_t m_qwLeft;
};

// `size`, or less when the stream ends sooner (a pack entry or a caller may
// promise more than the file holds).
uint64_t StreamBytesLeft(FILE* file, uint64_t size) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return size;
    const long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    if (end < here) return 0;
    const uint64_t left = static_cast<uint64_t>(end - here);
    return left < size ? left : size;
}

HEADER_3DX DecodeHeader(const uint8_t* h) {
    return HEADER_3DX{U32At(h), U32At(h + 4), U32At(h + 8), U32At(h + 12), U32At(h + 16)};
}

// Bytes of one vertex and of one sub-object's fixed part in V3 and V4.
uint32_t VertexSize(uint32_t contents) {
    return (contents & e3DX_POSITION ? 12u : 0u) + (contents & e3DX_NORMAL ? 12u : 0u) +
           (contents & e3DX_COLOR ? 4u : 0u) + (contents & e3DX_SPECULAR ? 4u : 0u) + (contents & e3DX_UV ? 8u : 0u);
}

uint32_t SubObjectSize(uint32_t contents) {
    return e3DX_RECORD_SIZE + (contents & e3DX_TEXTURE_NAME ? e3DX_NAME_SIZE : 0u) +
           (contents & e3DX_TEXTURE_WORD1 ? 4u : 0u) + (contents & e3DX_TEXTURE_WORD2 ? 4u : 0u) +
           (contents & e3DX_MATERIAL ? e3DX_MATERIAL_SIZE : 0u);
}

// Whether the header's counts, at these sizes, fit in `left` bytes.
bool CountsFit(const HEADER_3DX& h, uint64_t subObjectSize, uint64_t vertexSize, uint64_t left) {
    const uint64_t need =
        h.dwSubObjectCount * subObjectSize + h.dwVertexCount * vertexSize + static_cast<uint64_t>(h.dwIndexCount) * 4u;
    return need <= left;
}

// Whether a record's vertex and index runs lie within the model's counts.
bool RecordFits(const ATTRIBUT& r, uint32_t vertices, uint32_t indices) {
    return static_cast<uint64_t>(r.dwVertexStart) + r.dwVertexCount <= vertices &&
           static_cast<uint64_t>(r.dwIndexStart) + r.dwIndexCount <= indices;
}

ATTRIBUT DecodeRecord(const uint8_t* p) {
    return ATTRIBUT{U32At(p),      U32At(p + 4),  U32At(p + 8),  U32At(p + 12),
                    U32At(p + 16), U32At(p + 20), U32At(p + 24), U32At(p + 28)};
}

void EncodeRecord(uint8_t* p, const ATTRIBUT& r) {
    const uint32_t words[8] = {r.dwOrder,      r.dwVertexStart,    r.dwVertexCount,   r.dwIndexStart,
                               r.dwIndexCount, r.dwPrimitiveCount, r.dwPrimitiveType, r.dwCullMode};
    for (int i = 0; i < 8; ++i) PutU32(p + 4 * i, words[i]);
}

void DecodeMaterial(const uint8_t* p, MATERIAL* m) {
    float f[17];
    for (int i = 0; i < 17; ++i) f[i] = F32At(p + 4 * i);
    std::memcpy(m->afDiffuse, f, 4 * sizeof(float));
    std::memcpy(m->afAmbient, f + 4, 4 * sizeof(float));
    std::memcpy(m->afSpecular, f + 8, 4 * sizeof(float));
    std::memcpy(m->afEmissive, f + 12, 4 * sizeof(float));
    m->fPower = f[16];
}

void EncodeMaterial(uint8_t* p, const MATERIAL& m) {
    const float* groups[4] = {m.afDiffuse, m.afAmbient, m.afSpecular, m.afEmissive};
    for (int g = 0; g < 4; ++g)
        for (int i = 0; i < 4; ++i) PutF32(p + 16 * g + 4 * i, groups[g][i]);
    PutF32(p + 64, m.fPower);
}

// A stored name of `size` bytes, up to its first zero, cut to what the
// name buffer holds.
void CopyName(char* out, const uint8_t* stored, size_t size) {
    size_t length = 0;
    while (length < size && length < eMAX_PATH - 1 && stored[length]) ++length;
    std::memcpy(out, stored, length);
    out[length] = '\0';
}

// One V3/V4 vertex of the stored sections into vertex i.
void DecodeVertex(RAW_MODEL* m, uint32_t i, uint32_t contents, const uint8_t* p) {
    if (contents & e3DX_POSITION) {
        m->m_pvPositions[i] = VECTOR3D{F32At(p), F32At(p + 4), F32At(p + 8)};
        p += 12;
    }
    if (contents & e3DX_NORMAL) {
        m->m_pvNormals[i] = VECTOR3D{F32At(p), F32At(p + 4), F32At(p + 8)};
        p += 12;
    }
    if (contents & e3DX_COLOR) {
        m->m_pdwColors[i] = U32At(p);
        p += 4;
    }
    if (contents & e3DX_SPECULAR) {
        m->m_pdwSpeculars[i] = U32At(p);
        p += 4;
    }
    if (contents & e3DX_UV) m->m_pvUVs[i] = VECTOR2D{F32At(p), F32At(p + 4)};
}

uint32_t EncodeVertex(uint8_t* p, const RAW_MODEL* m, uint32_t i, uint32_t contents) {
    uint8_t* start = p;
    if (contents & e3DX_POSITION) {
        const VECTOR3D& v = m->m_pvPositions[i];
        PutF32(p, v.x), PutF32(p + 4, v.y), PutF32(p + 8, v.z);
        p += 12;
    }
    if (contents & e3DX_NORMAL) {
        const VECTOR3D& v = m->m_pvNormals[i];
        PutF32(p, v.x), PutF32(p + 4, v.y), PutF32(p + 8, v.z);
        p += 12;
    }
    if (contents & e3DX_COLOR) {
        PutU32(p, m->m_pdwColors[i]);
        p += 4;
    }
    if (contents & e3DX_SPECULAR) {
        PutU32(p, m->m_pdwSpeculars[i]);
        p += 4;
    }
    if (contents & e3DX_UV) {
        PutF32(p, m->m_pvUVs[i].x), PutF32(p + 4, m->m_pvUVs[i].y);
        p += 8;
    }
    return static_cast<uint32_t>(p - start);
}

// `count` stored indices into indices[first ...], read in blocks.
bool ReadIndices(C3DXSource& source, uint32_t* indices, uint32_t count) {
    uint8_t block[4096];
    while (count) {
        const uint32_t n = count < sizeof block / 4 ? count : static_cast<uint32_t>(sizeof block / 4);
        if (!source.Read(block, static_cast<size_t>(n) * 4)) return false;
        for (uint32_t k = 0; k < n; ++k) indices[k] = U32At(block + 4 * k);
        indices += n;
        count -= n;
    }
    return true;
}

// The three layouts; each checks the header against the bytes that remain
// before the model is made, and every record against the header.
class C3DXParser {
public:
    C3DXParser(C3DObjectRaw* raw, C3DXSource* source, const HEADER_3DX& header, const char* where)
        : m_pRaw(raw), m_pSource(source), m_Header(header), m_szWhere(where) {}

    eRESULT V2() {
        const HEADER_3DX& h = m_Header;
        if ((h.dwContents & e3DX_VERTEX_ALL) != e3DX_VERTEX_ALL)
            return Refuse("contents 0x%08X lack vertex sections", h.dwContents);
        if (eFAILURE(Begin(e3DX_V2_SUBOBJECT_SIZE, e3DX_V2_VERTEX_SIZE))) return eFAILED;
        RAW_MODEL* m = m_pRaw->m_pModel;
        uint32_t verticesSoFar = 0, indicesSoFar = 0;
        for (uint32_t sub = 0; sub < h.dwSubObjectCount; ++sub) {
            uint8_t head[e3DX_V2_SUBOBJECT_SIZE];
            if (!m_pSource->Read(head, sizeof head)) return Refuse("sub-object %u cut short", sub);
            CopyName(m->m_pszTextureNames[sub], head, e3DX_V2_NAME_SIZE);
            // Four colour blocks of 12 ignored bytes and red, green, blue.
            float* targets[3] = {m->m_pMaterials[sub].afDiffuse, m->m_pMaterials[sub].afAmbient,
                                 m->m_pMaterials[sub].afSpecular};
            for (int b = 0; b < 3; ++b)
                for (int c = 0; c < 3; ++c) targets[b][c] = F32At(head + e3DX_V2_NAME_SIZE + 24 * b + 12 + 4 * c);
            const uint8_t* words = head + e3DX_V2_NAME_SIZE + 4 * 24;
            const uint32_t cull = U32At(words), type = U32At(words + 4);
            const uint32_t vertexCount = U32At(words + 8), indexCount = U32At(words + 12);
            if (static_cast<uint64_t>(verticesSoFar) + vertexCount > h.dwVertexCount ||
                static_cast<uint64_t>(indicesSoFar) + indexCount > h.dwIndexCount)
                return Refuse("sub-object %u holds more than the header counts", sub);

            for (uint32_t k = 0; k < vertexCount; ++k) {
                uint8_t v[e3DX_V2_VERTEX_SIZE];
                if (!m_pSource->Read(v, sizeof v)) return Refuse("vertices of sub-object %u cut short", sub);
                const uint32_t i = verticesSoFar + k;
                m->m_pvPositions[i] = VECTOR3D{F32At(v + 12), F32At(v + 16), F32At(v + 20)};
                m->m_pvNormals[i] = VECTOR3D{F32At(v + 36), F32At(v + 40), F32At(v + 44)};
                m->m_pdwColors[i] = U32At(v + 48);
                m->m_pdwSpeculars[i] = U32At(v + 52);
                m->m_pvUVs[i] = VECTOR2D{F32At(v + 64), F32At(v + 68)};
            }
            if (!ReadIndices(*m_pSource, m->m_pdwIndices + indicesSoFar, indexCount))
                return Refuse("indices of sub-object %u cut short", sub);

            m->m_pAttributes[sub] =
                ATTRIBUT{sub, verticesSoFar, vertexCount, indicesSoFar, indexCount, indexCount / 3, type, cull};
            m->m_pdwTextureWords1[sub] = e3DX_V2_TEXTURE_WORD1;
            m->m_pdwTextureWords2[sub] = e3DX_V2_TEXTURE_WORD2;
            verticesSoFar += vertexCount;
            indicesSoFar += indexCount;
        }
        return eOK;
    }

    eRESULT V3() {
        const HEADER_3DX& h = m_Header;
        const uint32_t c = h.dwContents;
        if (eFAILURE(BeginSections())) return eFAILED;
        RAW_MODEL* m = m_pRaw->m_pModel;
        const uint32_t vertexSize = VertexSize(c);
        for (uint32_t sub = 0; sub < h.dwSubObjectCount; ++sub) {
            if (!ReadName(sub) || !ReadWords(sub)) return Refuse("sub-object %u cut short", sub);
            if (eFAILURE(ReadRecord(sub))) return eFAILED;
            if (!ReadMaterial(sub)) return Refuse("sub-object %u cut short", sub);
            const ATTRIBUT& r = m->m_pAttributes[sub];
            for (uint32_t k = 0; k < r.dwVertexCount; ++k) {
                uint8_t v[64];
                if (!m_pSource->Read(v, vertexSize)) return Refuse("vertices of sub-object %u cut short", sub);
                DecodeVertex(m, r.dwVertexStart + k, c, v);
            }
            if (!ReadIndices(*m_pSource, m->m_pdwIndices + r.dwIndexStart, r.dwIndexCount))
                return Refuse("indices of sub-object %u cut short", sub);
        }
        return eOK;
    }

    eRESULT V4() {
        const HEADER_3DX& h = m_Header;
        const uint32_t c = h.dwContents;
        if (eFAILURE(BeginSections())) return eFAILED;
        RAW_MODEL* m = m_pRaw->m_pModel;
        for (uint32_t sub = 0; sub < h.dwSubObjectCount; ++sub) {
            if (eFAILURE(ReadRecord(sub))) return eFAILED;
            if (!ReadName(sub) || !ReadWords(sub) || !ReadMaterial(sub)) return Refuse("sub-object %u cut short", sub);
        }
        const uint32_t vertexSize = VertexSize(c);
        for (uint32_t i = 0; i < h.dwVertexCount; ++i) {
            uint8_t v[64];
            if (!m_pSource->Read(v, vertexSize)) return Refuse("vertex %u cut short", i);
            DecodeVertex(m, i, c, v);
        }
        if (!ReadIndices(*m_pSource, m->m_pdwIndices, h.dwIndexCount)) return Refuse("indices cut short");
        return eOK;
    }

private:
    eRESULT Refuse(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char why[200];
        va_list args;
        va_start(args, format);
        std::vsnprintf(why, sizeof why, format, args);
        va_end(args);
        eTRACE(LogOf(m_pRaw->m_pSharedInfos), 1, "# C3DObjectRaw::%s refused: %s\n", m_szWhere, why);
        return eFAILED;
    }

    // The header's counts must fit the bytes that remain before the model
    // is made for them.
    eRESULT Begin(uint32_t subObjectSize, uint32_t vertexSize) {
        const HEADER_3DX& h = m_Header;
        if (!CountsFit(h, subObjectSize, vertexSize, m_pSource->Remaining()))
            return Refuse("%u sub-objects, %u vertices and %u indices do not fit in %llu bytes", h.dwSubObjectCount,
                          h.dwVertexCount, h.dwIndexCount, static_cast<unsigned long long>(m_pSource->Remaining()));
        m_pRaw->Unload();
        if (eFAILURE(m_pRaw->Load(h.dwSubObjectCount, h.dwVertexCount, h.dwIndexCount)))
            return Refuse("counts %u, %u, %u refused", h.dwSubObjectCount, h.dwVertexCount, h.dwIndexCount);
        return eOK;
    }

    // V3 and V4: a file without any vertex section cannot be measured
    // against its vertex count.
    eRESULT BeginSections() {
        const uint32_t c = m_Header.dwContents;
        if (VertexSize(c) == 0) return Refuse("contents 0x%08X hold no vertex section", c);
        return Begin(SubObjectSize(c), VertexSize(c));
    }

    eRESULT ReadRecord(uint32_t sub) {
        uint8_t bytes[e3DX_RECORD_SIZE];
        if (!m_pSource->Read(bytes, sizeof bytes)) return Refuse("record %u cut short", sub);
        const ATTRIBUT r = DecodeRecord(bytes);
        if (!RecordFits(r, m_Header.dwVertexCount, m_Header.dwIndexCount))
            return Refuse("record %u (vertices %u+%u, indices %u+%u) outside the header counts", sub, r.dwVertexStart,
                          r.dwVertexCount, r.dwIndexStart, r.dwIndexCount);
        m_pRaw->m_pModel->m_pAttributes[sub] = r;
        return eOK;
    }

    bool ReadName(uint32_t sub) {
        if (!(m_Header.dwContents & e3DX_TEXTURE_NAME)) return true;
        uint8_t bytes[e3DX_NAME_SIZE];
        if (!m_pSource->Read(bytes, sizeof bytes)) return false;
        CopyName(m_pRaw->m_pModel->m_pszTextureNames[sub], bytes, sizeof bytes);
        return true;
    }

    bool ReadWords(uint32_t sub) {
        uint8_t bytes[4];
        RAW_MODEL* m = m_pRaw->m_pModel;
        if (m_Header.dwContents & e3DX_TEXTURE_WORD1) {
            if (!m_pSource->Read(bytes, 4)) return false;
            m->m_pdwTextureWords1[sub] = U32At(bytes);
        }
        if (m_Header.dwContents & e3DX_TEXTURE_WORD2) {
            if (!m_pSource->Read(bytes, 4)) return false;
            m->m_pdwTextureWords2[sub] = U32At(bytes);
        }
        return true;
    }

    bool ReadMaterial(uint32_t sub) {
        if (!(m_Header.dwContents & e3DX_MATERIAL)) return true;
        uint8_t bytes[e3DX_MATERIAL_SIZE];
        if (!m_pSource->Read(bytes, sizeof bytes)) return false;
        DecodeMaterial(bytes, &m_pRaw->m_pModel->m_pMaterials[sub]);
        return true;
    }

    C3DObjectRaw* m_pRaw;
    C3DXSource* m_pSource;
    HEADER_3DX m_Header;
    const char* m_szWhere;
};

// Writes with one check at the end: every write after a failure is skipped.
class C3DXSink {
public:
    explicit C3DXSink(FILE* file) : m_pFile(file), m_bFailed(false) {}
    void Write(const void* data, size_t n) {
        if (!m_bFailed && std::fwrite(data, 1, n, m_pFile) != n) m_bFailed = true;
    }
    void U32(uint32_t v) {
        uint8_t b[4];
        PutU32(b, v);
        Write(b, 4);
    }
    bool Failed() const { return m_bFailed; }

private:
    FILE* m_pFile;
    bool m_bFailed;
};

}  // namespace

C3DObjectRaw::C3DObjectRaw(SHARED_INFOS* infos) : m_pSharedInfos(infos), m_pModel(nullptr) {}

C3DObjectRaw::~C3DObjectRaw() { Unload(); }

eRESULT C3DObjectRaw::Load(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    Unload();
    if (!subObjects || !vertices || !indices) return eFAILED;
    // The object these counts are for could not hold more.
    if (subObjects > eOBJ_MAX_SUBOBJECTS || vertices > eOBJ_MAX_VERTICES || indices > eOBJ_MAX_INDICES) return eFAILED;
    RAW_MODEL* m = static_cast<RAW_MODEL*>(std::calloc(1, sizeof(RAW_MODEL)));
    if (!m) return eFAILED;
    m_pModel = m;
    m->m_dwIndexCount = indices;
    m->m_dwVertexCount = vertices;
    m->m_dwSubObjectCount = subObjects;
    if (m_pSharedInfos && m_pSharedInfos->m_pMaths3D) {
        m_pSharedInfos->m_pMaths3D->_MATRIX3DIdentity(&m->m_matMatrix);
    } else {
        m->m_matMatrix.m0 = m->m_matMatrix.m5 = m->m_matMatrix.m10 = m->m_matMatrix.m15 = 1.0f;
    }
    m->m_pdwIndices = static_cast<uint32_t*>(std::calloc(indices, sizeof(uint32_t)));
    m->m_pvPositions = static_cast<VECTOR3D*>(std::calloc(vertices, sizeof(VECTOR3D)));
    m->m_pdwColors = static_cast<uint32_t*>(std::calloc(vertices, sizeof(uint32_t)));
    m->m_pdwSpeculars = static_cast<uint32_t*>(std::calloc(vertices, sizeof(uint32_t)));
    m->m_pvUVs = static_cast<VECTOR2D*>(std::calloc(vertices, sizeof(VECTOR2D)));
    m->m_pvNormals = static_cast<VECTOR3D*>(std::calloc(vertices, sizeof(VECTOR3D)));
    m->m_pAttributes = static_cast<ATTRIBUT*>(std::calloc(subObjects, sizeof(ATTRIBUT)));
    m->m_pMaterials = static_cast<MATERIAL*>(std::calloc(subObjects, sizeof(MATERIAL)));
    m->m_pszTextureNames = static_cast<char(*)[eMAX_PATH]>(std::calloc(subObjects, eMAX_PATH));
    m->m_pdwTextureWords1 = static_cast<uint32_t*>(std::calloc(subObjects, sizeof(uint32_t)));
    m->m_pdwTextureWords2 = static_cast<uint32_t*>(std::calloc(subObjects, sizeof(uint32_t)));
    if (!m->m_pdwIndices || !m->m_pvPositions || !m->m_pdwColors || !m->m_pdwSpeculars || !m->m_pvUVs ||
        !m->m_pvNormals || !m->m_pAttributes || !m->m_pMaterials || !m->m_pszTextureNames || !m->m_pdwTextureWords1 ||
        !m->m_pdwTextureWords2) {
        Unload();
        return eFAILED;
    }
    for (uint32_t sub = 0; sub < subObjects; ++sub) eInitMaterial(&m->m_pMaterials[sub]);
    return eOK;
}

eRESULT C3DObjectRaw::Unload() {
    RAW_MODEL* m = m_pModel;
    if (!m) return eOK;
    std::free(m->m_pdwIndices);
    std::free(m->m_pvPositions);
    std::free(m->m_pdwColors);
    std::free(m->m_pdwSpeculars);
    std::free(m->m_pvUVs);
    std::free(m->m_pvNormals);
    std::free(m->m_pAttributes);
    std::free(m->m_pMaterials);
    std::free(m->m_pszTextureNames);
    std::free(m->m_pdwTextureWords1);
    std::free(m->m_pdwTextureWords2);
    std::free(m);
    m_pModel = nullptr;
    return eOK;
}

eRESULT C3DObjectRaw::MakeFromAddress(void* data, uint32_t size, const char* name) {
    if (Contains(name, ".3dx") || Contains(name, ".3DX")) return MakeFrom3DXFile(data, size);
    return eFAILED;
}

eRESULT C3DObjectRaw::LoadFromPacker(_RES_PACKER* packer) {
    if (!packer || !packer->m_pFile) return eFAILED;
    const char* name = packer->m_szName;
    if (Contains(name, ".3dx") || Contains(name, ".3DX") || Contains(name, ".3dX") || Contains(name, ".3Dx"))
        return LoadFrom3DX(packer->m_pFile, packer->m_dwSize);
    return eFAILED;
}

eRESULT C3DObjectRaw::LoadFromFile(const char* path) {
    if (!path) return eFAILED;
    // The order matters: "a.3ds.3dx" is read as 3D Studio.
    if (Contains(path, ".3ds") || Contains(path, ".3DS")) return LoadFrom3DSFile(path);
    const bool is3DX = Contains(path, ".3dx") || Contains(path, ".3DX");
    const bool isOBJ = !is3DX && (Contains(path, ".obj") || Contains(path, ".OBJ"));
    if (!is3DX && !isOBJ) return eFAILED;
    FILE* file = eOpenRegularFile(path, LogOf(m_pSharedInfos), "C3DObjectRaw::LoadFromFile");
    if (!file) return eFAILED;
    eRESULT result;
    if (is3DX) {
        // The stream's own end bounds what is read; the size only has to be
        // large enough.
        result = LoadFrom3DX(file, 0xFFFFFFFFu);
    } else {
        result = LoadFromOBJ(file);
    }
    std::fclose(file);
    return result;
}

eRESULT C3DObjectRaw::SaveToFile(const char* path, uint32_t contents) {
    if (!path || Contains(path, ".3ds") || Contains(path, ".3DS")) return eFAILED;
    if (!Contains(path, ".3dx") && !Contains(path, ".3DX")) return eFAILED;
    return SaveTo3DXFile(path, contents);
}

eRESULT C3DObjectRaw::LoadFrom3DX(FILE* file, uint32_t size) {
    if (!file) return eFAILED;
    C3DXSource source(file, StreamBytesLeft(file, size));
    uint8_t bytes[e3DX_HEADER_SIZE];
    if (!source.Read(bytes, sizeof bytes)) {
        eTRACE(LogOf(m_pSharedInfos), 1, "# C3DObjectRaw::LoadFrom3DX refused: header cut short\n");
        return eFAILED;
    }
    const HEADER_3DX header = DecodeHeader(bytes);
    const uint64_t left = source.Remaining();
    switch (header.dwVersion) {
        case e3DX_VERSION_V2:
            return LoadFrom3DX_V2(file, header, static_cast<uint32_t>(left));
        case e3DX_VERSION_V3:
            return LoadFrom3DX_V3(file, header, static_cast<uint32_t>(left));
        case e3DX_VERSION_V4:
            return LoadFrom3DX_V4(file, header, static_cast<uint32_t>(left));
        default:
            break;
    }
    eTRACE(LogOf(m_pSharedInfos), 1, "# C3DObjectRaw::LoadFrom3DX refused: version %u\n", header.dwVersion);
    return eFAILED;
}

eRESULT C3DObjectRaw::LoadFrom3DX_V2(FILE* file, const HEADER_3DX& header, uint32_t size) {
    if (!file) return eFAILED;
    C3DXSource source(file, StreamBytesLeft(file, size));
    return C3DXParser(this, &source, header, "LoadFrom3DX_V2").V2();
}

eRESULT C3DObjectRaw::LoadFrom3DX_V3(FILE* file, const HEADER_3DX& header, uint32_t size) {
    if (!file) return eFAILED;
    C3DXSource source(file, StreamBytesLeft(file, size));
    return C3DXParser(this, &source, header, "LoadFrom3DX_V3").V3();
}

eRESULT C3DObjectRaw::LoadFrom3DX_V4(FILE* file, const HEADER_3DX& header, uint32_t size) {
    if (!file) return eFAILED;
    C3DXSource source(file, StreamBytesLeft(file, size));
    return C3DXParser(this, &source, header, "LoadFrom3DX_V4").V4();
}

eRESULT C3DObjectRaw::MakeFrom3DXFile(const void* data, uint32_t size) {
    if (!data || size < e3DX_HEADER_SIZE) {
        eTRACE(LogOf(m_pSharedInfos), 1, "# C3DObjectRaw::MakeFrom3DXFile refused: header cut short\n");
        return eFAILED;
    }
    const HEADER_3DX header = DecodeHeader(static_cast<const uint8_t*>(data));
    if (header.dwVersion == e3DX_VERSION_V2) return MakeFrom3DXFile_V2(data, size);
    if (header.dwVersion == e3DX_VERSION_V3) return MakeFrom3DXFile_V3(data, size);
    eTRACE(LogOf(m_pSharedInfos), 1, "# C3DObjectRaw::MakeFrom3DXFile refused: version %u\n", header.dwVersion);
    return eFAILED;
}

eRESULT C3DObjectRaw::MakeFrom3DXFile_V2(const void* data, uint32_t size) {
    if (!data || size < e3DX_HEADER_SIZE) return eFAILED;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    C3DXSource source(bytes + e3DX_HEADER_SIZE, size - e3DX_HEADER_SIZE);
    return C3DXParser(this, &source, DecodeHeader(bytes), "MakeFrom3DXFile_V2").V2();
}

eRESULT C3DObjectRaw::MakeFrom3DXFile_V3(const void* data, uint32_t size) {
    if (!data || size < e3DX_HEADER_SIZE) return eFAILED;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    C3DXSource source(bytes + e3DX_HEADER_SIZE, size - e3DX_HEADER_SIZE);
    return C3DXParser(this, &source, DecodeHeader(bytes), "MakeFrom3DXFile_V3").V3();
}

eRESULT C3DObjectRaw::SaveTo3DXFile(const char* path, uint32_t contents) {
    const char* log = LogOf(m_pSharedInfos);
    const RAW_MODEL* m = m_pModel;
    if (!path || !m) return eFAILED;
    // Nothing is written that LoadFrom3DX would refuse, so an existing file
    // is not replaced by one that cannot be read back.
    if (VertexSize(contents) == 0) {
        eTRACE(log, 1, "# C3DObjectRaw::SaveTo3DXFile refused: contents 0x%08X hold no vertex section\n", contents);
        return eFAILED;
    }
    for (uint32_t sub = 0; sub < m->m_dwSubObjectCount; ++sub) {
        if (!RecordFits(m->m_pAttributes[sub], m->m_dwVertexCount, m->m_dwIndexCount)) {
            eTRACE(log, 1, "# C3DObjectRaw::SaveTo3DXFile refused: record %u outside the model\n", sub);
            return eFAILED;
        }
        if ((contents & e3DX_TEXTURE_NAME) && strnlen(m->m_pszTextureNames[sub], eMAX_PATH) >= e3DX_NAME_SIZE) {
            eTRACE(log, 1, "# C3DObjectRaw::SaveTo3DXFile refused: texture name of sub-object %u too long\n", sub);
            return eFAILED;
        }
    }

    FILE* file = std::fopen(path, "wb");
    if (!file) return eFAILED;
    C3DXSink out(file);
    out.U32(m->m_dwSubObjectCount);
    out.U32(m->m_dwVertexCount);
    out.U32(m->m_dwIndexCount);
    out.U32(e3DX_VERSION_V4);
    out.U32(contents);
    for (uint32_t sub = 0; sub < m->m_dwSubObjectCount; ++sub) {
        uint8_t record[e3DX_RECORD_SIZE];
        EncodeRecord(record, m->m_pAttributes[sub]);
        out.Write(record, sizeof record);
        if (contents & e3DX_TEXTURE_NAME) {
            uint8_t name[e3DX_NAME_SIZE] = {};
            std::memcpy(name, m->m_pszTextureNames[sub], strnlen(m->m_pszTextureNames[sub], e3DX_NAME_SIZE - 1));
            out.Write(name, sizeof name);
        }
        if (contents & e3DX_TEXTURE_WORD1) out.U32(m->m_pdwTextureWords1[sub]);
        if (contents & e3DX_TEXTURE_WORD2) out.U32(m->m_pdwTextureWords2[sub]);
        if (contents & e3DX_MATERIAL) {
            uint8_t material[e3DX_MATERIAL_SIZE];
            EncodeMaterial(material, m->m_pMaterials[sub]);
            out.Write(material, sizeof material);
        }
    }
    for (uint32_t i = 0; i < m->m_dwVertexCount && !out.Failed(); ++i) {
        uint8_t v[64];
        out.Write(v, EncodeVertex(v, m, i, contents));
    }
    uint8_t block[4096];
    for (uint32_t k = 0; k < m->m_dwIndexCount && !out.Failed();) {
        uint32_t n = 0;
        for (; n < sizeof block / 4 && k < m->m_dwIndexCount; ++n, ++k) PutU32(block + 4 * n, m->m_pdwIndices[k]);
        out.Write(block, static_cast<size_t>(n) * 4);
    }

    const bool closed = std::fclose(file) == 0;
    if (out.Failed() || !closed) {
        eTRACE(log, 1, "# C3DObjectRaw::SaveTo3DXFile failed writing \"%s\"\n", path);
        return eFAILED;
    }
    return eOK;
}
