#include "engine/3d/3DStencilShadow.h"

#include "engine/3d/3DObjectIndex.h"

#include <algorithm>
#include <cfloat>
#include <new>

#include "engine/3d/3DObject.h"
#include "engine/3d/Maths3D.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/SharedInfos.h"

namespace {

VECTOR3D Minus(const VECTOR3D& a, const VECTOR3D& b) { return VECTOR3D{a.x - b.x, a.y - b.y, a.z - b.z}; }

void Accumulate(VECTOR3D* sum, const VECTOR3D& a, const VECTOR3D& b, float d) {
    sum->x += a.x / d + b.x / d;
    sum->y += a.y / d + b.y / d;
    sum->z += a.z / d + b.z / d;
}

}  // namespace

// Edge list.

void CShadowEdgeList::Reset(uint32_t maxEdges) {
    m_Pairs.clear();
    m_Pairs.reserve(static_cast<size_t>(maxEdges) * 2);
    // Most edges cancel soon after they come: start small and grow, so the
    // table stays in cache.
    uint32_t size = 16;
    while (size < (1u << 10) && size < 2ull * maxEdges) size *= 2;
    Resize(size);
}

void CShadowEdgeList::Resize(uint32_t size) {
    uint32_t bits = 0;
    while ((1u << bits) < size) ++bits;
    if (m_Table.size() < size) m_Table.resize(size);
    std::fill(m_Table.begin(), m_Table.begin() + size, ENTRY{kEmpty, 0});
    m_dwMask = size - 1;
    m_dwShift = 32 - bits;
    for (uint32_t pos = 0; pos < Count(); ++pos) {
        const uint32_t key = Key(m_Pairs[2 * pos], m_Pairs[2 * pos + 1]);
        uint32_t i = Slot(key);
        while (m_Table[i].dwKey != kEmpty) i = (i + 1) & m_dwMask;
        m_Table[i] = ENTRY{key, pos};
    }
}

void CShadowEdgeList::Add(uint16_t a, uint16_t b) {
    const uint32_t key = Key(a, b);
    uint32_t i = Slot(key);
    while (m_Table[i].dwKey != kEmpty && m_Table[i].dwKey != key) i = (i + 1) & m_dwMask;
    if (m_Table[i].dwKey == kEmpty) {
        // At most half full, so probes stay short.
        if (2ull * (Count() + 1) > m_dwMask + 1ull) {
            Resize((m_dwMask + 1) * 2);
            i = Slot(key);
            while (m_Table[i].dwKey != kEmpty) i = (i + 1) & m_dwMask;
        }
        m_Table[i] = ENTRY{key, Count()};
        m_Pairs.push_back(a);
        m_Pairs.push_back(b);
        return;
    }

    // Seen an even number of times now: the last pair takes its place.
    const uint32_t pos = m_Table[i].dwPos;
    const uint32_t last = Count() - 1;
    if (pos != last) {
        const uint16_t la = m_Pairs[2 * last], lb = m_Pairs[2 * last + 1];
        m_Pairs[2 * pos] = la;
        m_Pairs[2 * pos + 1] = lb;
        const uint32_t lastKey = Key(la, lb);
        uint32_t j = Slot(lastKey);
        while (m_Table[j].dwKey != lastKey) j = (j + 1) & m_dwMask;
        m_Table[j].dwPos = pos;
    }
    m_Pairs.resize(m_Pairs.size() - 2);

    // Remove slot i, shifting back the entries of its probe run that would
    // no longer be found past the hole.
    uint32_t hole = i;
    for (uint32_t j = (hole + 1) & m_dwMask; m_Table[j].dwKey != kEmpty; j = (j + 1) & m_dwMask) {
        const uint32_t home = Slot(m_Table[j].dwKey);
        // j's entry may move into the hole when its home is not in (hole, j].
        const bool between = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (!between) {
            m_Table[hole] = m_Table[j];
            hole = j;
        }
    }
    m_Table[hole].dwKey = kEmpty;
}

// Shadow.

C3DStencilShadow::C3DStencilShadow(SHARED_INFOS* infos)
    : m_pSharedInfos(infos), m_dwShadowColor(0), m_bShowConstruct(false), m_pObjects(nullptr), m_dwObjectCount(0) {}

C3DStencilShadow::~C3DStencilShadow() {
    for (uint32_t i = 0; m_pObjects && i < m_dwObjectCount; ++i) FreeArrays(&m_pObjects[i]);
    delete[] m_pObjects;
}

void C3DStencilShadow::FreeArrays(SHADOW_OBJECT* record) {
    delete[] record->pSides;
    delete[] record->pCaps;
    record->pSides = record->pCaps = nullptr;
    record->dwCapacity = record->dwSideCount = record->dwCapCount = 0;
}

eRESULT C3DStencilShadow::Load(uint32_t count, uint32_t color) {
    // A second Load starts over.
    for (uint32_t i = 0; m_pObjects && i < m_dwObjectCount; ++i) FreeArrays(&m_pObjects[i]);
    delete[] m_pObjects;
    m_pObjects = nullptr;
    m_dwObjectCount = 0;

    if (count) {
        m_pObjects = new (std::nothrow) SHADOW_OBJECT[count];
        if (!m_pObjects) return eFAILED;
    }
    m_dwObjectCount = count;
    CUtilsParameters* ini = m_pSharedInfos ? m_pSharedInfos->m_pParam : nullptr;
    m_bShowConstruct = ini ? ini->ReadBool("STENCIL_SHADOW", "SHOW_CONSTRUCT", false) : false;
    m_dwShadowColor = color;
    for (uint32_t i = 0; i < count; ++i) {
        SHADOW_OBJECT& r = m_pObjects[i];
        r.pObject = nullptr;
        r.pMatrix = nullptr;
        r.vUpper = VECTOR3D{FLT_MAX, FLT_MAX, FLT_MAX};
        r.vLower = VECTOR3D{-FLT_MAX, -FLT_MAX, -FLT_MAX};
        r.pSides = r.pCaps = nullptr;
        r.dwCapacity = r.dwSideCount = r.dwCapCount = 0;
    }
    return eOK;
}

eRESULT C3DStencilShadow::Unload() {
    for (uint32_t i = 0; m_pObjects && i < m_dwObjectCount; ++i) FreeArrays(&m_pObjects[i]);
    return eOK;
}

eRESULT C3DStencilShadow::AddObject(uint32_t index, C3DObject* object, MATRIX3D* matrix, const VECTOR3D& upper,
                                    const VECTOR3D& lower) {
    if (!m_pObjects || index >= m_dwObjectCount) return eFAILED;
    SHADOW_OBJECT& r = m_pObjects[index];
    FreeArrays(&r);
    r.pObject = object;
    r.pMatrix = matrix;
    r.vUpper = upper;
    r.vLower = lower;
    if (!object || object->m_dwVertexCount == 0 || object->m_dwVertexCount > eSHADOW_MAX_VERTICES) return eOK;

    const uint32_t capacity = eSHADOW_CAPACITY_PER_VERTEX * object->m_dwVertexCount;
    r.pSides = new (std::nothrow) VECTOR3D[capacity];
    r.pCaps = new (std::nothrow) VECTOR3D[capacity];
    if (!r.pSides || !r.pCaps) {
        FreeArrays(&r);
        return eFAILED;
    }
    r.dwCapacity = capacity;
    return eOK;
}

eRESULT C3DStencilShadow::FrameMove(uint32_t index) {
    if (!m_pObjects || index >= m_dwObjectCount) return eFAILED;
    SHADOW_OBJECT& rec = m_pObjects[index];
    if (!rec.pObject) return eOK;
    rec.dwSideCount = rec.dwCapCount = 0;
    CMaths3D* maths = m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr;
    if (!rec.pSides || !rec.pCaps || !maths) return eOK;

    C3DObject* o = rec.pObject;
    const MATRIX3D m = rec.pMatrix ? *rec.pMatrix : o->m_matMatrix;
    const float* lp = m_pSharedInfos->m_Light[0].m_afPosition;
    const VECTOR3D light{lp[0], lp[1], lp[2]};
    const VECTOR3D push{light.x * eSHADOW_EXTRUSION, light.y * eSHADOW_EXTRUSION, light.z * eSHADOW_EXTRUSION};
    const uint32_t vertexCount = o->m_dwVertexCount;

    auto world = [&](uint32_t v) {
        const VECTOR3D p = o->GetVertexPosition(v);
        return maths->_VECTOR3DTransformCoord(&p, &m);
    };
    auto lit = [&](const VECTOR3D& wa, const VECTOR3D& wb, const VECTOR3D& wc) {
        const VECTOR3D cb = Minus(wc, wb), ba = Minus(wb, wa);
        const VECTOR3D n = maths->_VECTOR3DDotProduct(&cb, &ba);  // cross product
        return maths->_VECTOR3DVec3Dot(&n, &light) >= 0.0f;
    };

    o->BeginConstruct();
    for (uint32_t position = 0; position < o->m_dwSubObjectCount; ++position) {
        ATTRIBUT at{}, r{};
        if (eFAILURE(o->GetSubObjParsing(position, &at)) || eFAILURE(o->GetSubObjParsing(at.dwOrder, &r))) continue;
        if (r.dwPrimitiveType != PRIM_TRIANGLELIST && r.dwPrimitiveType != PRIM_TRIANGLEFAN) continue;
        const uint64_t start = r.dwIndexStart, end = start + r.dwIndexCount;
        // The edge list is sized from the indices the buffer holds, not from
        // what the record claims (a damaged record may claim four billion).
        const uint64_t heldIndices = o->m_pIndex ? o->m_pIndex->m_dwIndexCount : 0;
        const uint64_t held = std::min<uint64_t>(r.dwIndexCount, heldIndices > start ? heldIndices - start : 0);

        // Vertex number at index position k; false for an index or vertex
        // that is not there, which leaves the whole sub-object out.
        bool sound = true;
        auto vertex = [&](uint64_t k) -> uint16_t {
            const uint32_t i = k < 0xFFFFFFFFull ? o->GetIndex(static_cast<uint32_t>(k)) : eNO_VALUE;
            const uint64_t v = static_cast<uint64_t>(i) + r.dwVertexStart;
            if (i == eNO_VALUE || v >= vertexCount) {
                sound = false;
                return 0;
            }
            return static_cast<uint16_t>(v);  // vertexCount <= eSHADOW_MAX_VERTICES
        };

        if (r.dwPrimitiveType == PRIM_TRIANGLELIST) {
            // Whole triangles only: a trailing partial one would read the
            // next sub-object's indices.
            m_Edges.Reset(static_cast<uint32_t>(std::min<uint64_t>(held / 3 * 3, 0x7FFFFFFFu)));
            for (uint64_t k = start; k + 2 < end && sound; k += 3) {
                const uint16_t ia = vertex(k), ib = vertex(k + 1), ic = vertex(k + 2);
                if (!sound) break;
                if (!lit(world(ia), world(ib), world(ic))) continue;
                m_Edges.Add(ia, ib);
                m_Edges.Add(ib, ic);
                m_Edges.Add(ic, ia);
            }
        } else {
            m_Edges.Reset(static_cast<uint32_t>(std::min<uint64_t>(held, 0x7FFFFFFFu)));
            if (end <= start) continue;
            const uint16_t ia = vertex(start);
            const VECTOR3D wa = world(ia);
            for (uint64_t k = start + 1; k + 1 < end && sound; ++k) {
                const uint16_t ib = vertex(k), ic = vertex(k + 1);
                if (!sound) break;
                if (lit(wa, world(ib), world(ic))) m_Edges.Add(ib, ic);
            }
        }
        const uint32_t count = m_Edges.Count();
        if (!sound || count == 0) continue;
        // Six side and six cap vertices per edge: a volume that would not fit
        // is left out whole rather than drawn open.
        const uint64_t need = 6ull * count;
        if (rec.dwSideCount + need > rec.dwCapacity || rec.dwCapCount + need > rec.dwCapacity) continue;

        const uint16_t* pairs = m_Edges.Pairs();
        const float d = 2.0f * static_cast<float>(count);
        VECTOR3D cn{0.0f, 0.0f, 0.0f}, cf{0.0f, 0.0f, 0.0f};
        VECTOR3D* sides = rec.pSides + rec.dwSideCount;
        for (uint32_t e = 0; e < count; ++e) {
            VECTOR3D wa = world(pairs[2 * e]), wb = world(pairs[2 * e + 1]);
            VECTOR3D ea = Minus(wa, push), eb = Minus(wb, push);
            maths->_VECTOR3DLimit(&wa, &rec.vUpper, &rec.vLower);
            maths->_VECTOR3DLimit(&wb, &rec.vUpper, &rec.vLower);
            maths->_VECTOR3DLimit(&ea, &rec.vUpper, &rec.vLower);
            maths->_VECTOR3DLimit(&eb, &rec.vUpper, &rec.vLower);
            Accumulate(&cn, wa, wb, d);
            Accumulate(&cf, ea, eb, d);
            VECTOR3D* s = sides + 6 * e;
            s[0] = wa, s[1] = wb, s[2] = ea;
            s[3] = wb, s[4] = eb, s[5] = ea;
        }
        VECTOR3D* caps = rec.pCaps + rec.dwCapCount;
        for (uint32_t e = 0; e < count; ++e) {
            const VECTOR3D* s = sides + 6 * e;
            VECTOR3D* c = caps + 6 * e;
            c[0] = cn, c[1] = s[0], c[2] = s[1];
            c[3] = cf, c[4] = s[2], c[5] = s[4];
        }
        rec.dwSideCount += static_cast<uint32_t>(need);
        rec.dwCapCount += static_cast<uint32_t>(need);
    }
    o->EndConstruct(false);
    return eOK;
}

eRESULT C3DStencilShadow::Render(uint32_t) { return eOK; }
