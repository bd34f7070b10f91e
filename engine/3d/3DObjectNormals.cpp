// Flat and smooth vertex normals. Everything goes through the virtual vertex
// and index accessors, so every object class is served; classes without
// normals ignore the writes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectPrivate.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/SharedInfos.h"

namespace {

const VECTOR3D kZero{0.0f, 0.0f, 0.0f};

VECTOR3D Add(const VECTOR3D& a, const VECTOR3D& b) { return VECTOR3D{a.x + b.x, a.y + b.y, a.z + b.z}; }

CMaths3D* MathsOf(const C3DObject& o) { return o.m_pSharedInfos ? o.m_pSharedInfos->m_pMaths3D : nullptr; }

// Calls f(a, b, c, ia, ib, ic) for every triangle of sub-object `sub`: a, b, c
// are vertex numbers, ia, ib, ic the index values they come from (before
// the vertexStart offset). The record is read as stored, without the order
// redirection. Only whole triangles inside the sub-object's indices (strips:
// inside the index buffer) count, and only those whose three vertices exist,
// so a damaged record neither reads past the arrays nor loops for long.
template <class F>
void ForEachTriangle(C3DObject& o, uint32_t sub, F&& f) {
    C3DObjectIndex* index = o.m_pIndex;
    const ATTRIBUT* r = index ? index->GetSubObjParsing(sub) : nullptr;
    if (!r) return;
    const uint64_t held = index->m_dwIndexCount;
    const uint64_t start = r->dwIndexStart;
    const uint64_t end = std::min<uint64_t>(start + r->dwIndexCount, held);
    const uint64_t vertexStart = r->dwVertexStart;
    const uint64_t vertexCount = o.m_dwVertexCount;

    auto emit = [&](uint64_t ka, uint64_t kb, uint64_t kc) {
        const uint32_t ia = o.GetIndex(static_cast<uint32_t>(ka));
        const uint32_t ib = o.GetIndex(static_cast<uint32_t>(kb));
        const uint32_t ic = o.GetIndex(static_cast<uint32_t>(kc));
        if (vertexStart + ia >= vertexCount || vertexStart + ib >= vertexCount || vertexStart + ic >= vertexCount)
            return;
        f(static_cast<uint32_t>(vertexStart + ia), static_cast<uint32_t>(vertexStart + ib),
          static_cast<uint32_t>(vertexStart + ic), ia, ib, ic);
    };

    switch (o.GetOnePrimitiveType(sub)) {
        case PRIM_TRIANGLELIST:
            for (uint64_t k = start; k + 2 < end; k += 3) emit(k, k + 1, k + 2);
            break;
        case PRIM_TRIANGLESTRIP: {
            // Counted by primitives; every second triangle turns the other
            // way round, so its first two vertices swap to face like the rest.
            const uint64_t last = std::min<uint64_t>(start + r->dwPrimitiveCount, held >= 2 ? held - 2 : 0);
            for (uint64_t k = start; k < last; ++k) {
                if ((k - start) & 1u)
                    emit(k + 1, k, k + 2);
                else
                    emit(k, k + 1, k + 2);
            }
            break;
        }
        case PRIM_TRIANGLEFAN:
            for (uint64_t k = start + 1; k + 1 < end; ++k) emit(start, k, k + 1);
            break;
        default:  // lines and points have no faces
            break;
    }
}

// normalise(cross(pa - pb, pa - pc)).
VECTOR3D FaceNormal(C3DObject& o, CMaths3D* maths, uint32_t a, uint32_t b, uint32_t c) {
    const VECTOR3D pa = o.GetVertexPosition(a);
    const VECTOR3D pb = o.GetVertexPosition(b);
    const VECTOR3D pc = o.GetVertexPosition(c);
    const VECTOR3D ab{pa.x - pb.x, pa.y - pb.y, pa.z - pb.z};
    const VECTOR3D ac{pa.x - pc.x, pa.y - pc.y, pa.z - pc.z};
    const VECTOR3D n = maths->_VECTOR3DDotProduct(&ab, &ac);
    return maths->_VECTOR3DNormalize(&n);
}

void ClearNormals(C3DObject& o) {
    for (uint32_t v = 0; v < o.m_dwVertexCount; ++v) {
        VECTOR3D zero = kZero;
        o.SetVertexNormal(v, &zero);
    }
}

// Hash of a position, equal for positions that compare equal: -0 is taken
// as +0 (the float comparison makes them equal). Never called with a NaN.
uint32_t PositionHash(const VECTOR3D& p) {
    auto bits = [](float f) {
        f += 0.0f;  // -0 + 0 = +0
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return u;
    };
    uint32_t h = bits(p.x) * 0x9E3779B1u ^ bits(p.y) * 0x85EBCA77u ^ bits(p.z) * 0xC2B2AE3Du;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// One vertex of a weld: its position and normal, its number in the
// record, its position hash.
struct WELD_ENTRY {
    VECTOR3D position;
    VECTOR3D normal;
    uint32_t vertex;
    uint32_t hash;
};

bool SamePosition(const VECTOR3D& a, const VECTOR3D& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace

eRESULT C3DObjectPrivate::ComputeOneNormals(uint32_t a, uint32_t b, uint32_t c) {
    CMaths3D* maths = MathsOf(*this);
    if (!maths) return eFAILED;
    const VECTOR3D n = FaceNormal(*this, maths, a, b, c);
    for (uint32_t v : {a, b, c}) {
        const VECTOR3D sum = Add(GetVertexNormal(v), n);
        VECTOR3D unit = maths->_VECTOR3DNormalize(&sum);
        SetVertexNormal(v, &unit);
    }
    return eOK;
}

eRESULT C3DObjectPrivate::ComputeOneNormalsSmooth(uint32_t a, uint32_t b, uint32_t c, float wa, float wb, float wc) {
    CMaths3D* maths = MathsOf(*this);
    if (!maths) return eFAILED;
    const VECTOR3D n = FaceNormal(*this, maths, a, b, c);
    const uint32_t vertices[3] = {a, b, c};
    const float weights[3] = {wa, wb, wc};
    for (int i = 0; i < 3; ++i) {
        const VECTOR3D sum = Add(GetVertexNormal(vertices[i]), n);
        VECTOR3D weighted{sum.x * weights[i], sum.y * weights[i], sum.z * weights[i]};
        SetVertexNormal(vertices[i], &weighted);
    }
    return eOK;
}

eRESULT C3DObjectPrivate::ComputeOneNormalsSmoothNormalize(uint32_t v) {
    CMaths3D* maths = MathsOf(*this);
    if (!maths) return eFAILED;
    const VECTOR3D n = GetVertexNormal(v);
    VECTOR3D unit = maths->_VECTOR3DNormalize(&n);
    return SetVertexNormal(v, &unit);
}

eRESULT C3DObjectPrivate::ComputeNormals() {
    if (!MathsOf(*this)) return eFAILED;
    ClearNormals(*this);
    for (uint32_t sub = 0; sub < m_dwSubObjectCount; ++sub)
        ForEachTriangle(*this, sub, [this](uint32_t a, uint32_t b, uint32_t c, uint32_t, uint32_t, uint32_t) {
            ComputeOneNormals(a, b, c);
        });
    return eOK;
}

eRESULT C3DObjectPrivate::ComputeNormalsSmooth() {
    if (!MathsOf(*this)) return eFAILED;
    ClearNormals(*this);
    if (!m_dwVertexCount) return eOK;
    // Use counts by index value: every valid index value is below the vertex
    // count. 32-bit, since a vertex may serve more than 65535 triangles.
    uint32_t* uses = static_cast<uint32_t*>(std::calloc(m_dwVertexCount, sizeof(uint32_t)));
    if (!uses) return eFAILED;
    eRESULT result = eOK;
    for (uint32_t sub = 0; sub < m_dwSubObjectCount; ++sub) {
        ForEachTriangle(*this, sub, [uses](uint32_t, uint32_t, uint32_t, uint32_t ia, uint32_t ib, uint32_t ic) {
            ++uses[ia];
            ++uses[ib];
            ++uses[ic];
        });
        ForEachTriangle(*this, sub,
                        [this, uses](uint32_t a, uint32_t b, uint32_t c, uint32_t ia, uint32_t ib, uint32_t ic) {
                            ComputeOneNormalsSmooth(a, b, c, 1.0f / static_cast<float>(uses[ia]),
                                                    1.0f / static_cast<float>(uses[ib]),
                                                    1.0f / static_cast<float>(uses[ic]));
                        });
        // Each used vertex is normalised once; its count goes back to 0 for
        // the next sub-object, so the array is cleared in the time of the
        // sub-object's own triangles.
        ForEachTriangle(*this, sub,
                        [this, uses](uint32_t a, uint32_t b, uint32_t c, uint32_t ia, uint32_t ib, uint32_t ic) {
                            const uint32_t vertices[3] = {a, b, c};
                            const uint32_t values[3] = {ia, ib, ic};
                            for (int i = 0; i < 3; ++i) {
                                if (!uses[values[i]]) continue;
                                uses[values[i]] = 0;
                                ComputeOneNormalsSmoothNormalize(vertices[i]);
                            }
                        });
        const ATTRIBUT* record = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
        if (record && eFAILURE(ComputeOneNormalsSmoothVertex(record))) result = eFAILED;
    }
    std::free(uses);
    return result;
}

eRESULT C3DObjectPrivate::ComputeOneNormalsSmoothVertex(const ATTRIBUT* record) {
    CMaths3D* maths = MathsOf(*this);
    if (!record || !maths) return eFAILED;
    // Only vertices the object has take part.
    const uint32_t first = record->dwVertexStart;
    if (first >= m_dwVertexCount) return eOK;
    const uint32_t count = std::min(record->dwVertexCount, m_dwVertexCount - first);
    if (count < 2) return eOK;

    // Vertices are spread, in order, over buckets of about kBucket by the
    // top bits of a position hash: equal positions land in one bucket, and
    // each bucket is welded on its own in cache-sized tables.
    constexpr uint32_t kBucket = 2048;
    uint32_t bits = 0;
    while (bits < 20 && (count >> bits) > kBucket) ++bits;
    const uint32_t buckets = 1u << bits;
    auto bucketOf = [bits](uint32_t hash) { return bits ? hash >> (32 - bits) : 0u; };

    uint32_t* starts = static_cast<uint32_t*>(std::calloc(buckets + 1, sizeof(uint32_t)));
    WELD_ENTRY* entries = static_cast<WELD_ENTRY*>(std::malloc(sizeof(WELD_ENTRY) * count));
    if (!starts || !entries) {
        std::free(starts);
        std::free(entries);
        return eFAILED;
    }
    // A position with a NaN equals nothing, not even itself: it stays alone
    // and keeps its normal, so it is left out.
    auto usable = [](const VECTOR3D& p) { return !std::isnan(p.x) && !std::isnan(p.y) && !std::isnan(p.z); };
    for (uint32_t i = 0; i < count; ++i) {
        const VECTOR3D p = GetVertexPosition(first + i);
        if (usable(p)) ++starts[bucketOf(PositionHash(p)) + 1];
    }
    uint32_t largest = 0;
    for (uint32_t b = 0; b < buckets; ++b) {
        largest = std::max(largest, starts[b + 1]);
        starts[b + 1] += starts[b];
    }
    uint32_t* fill = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * buckets));
    size_t slots = 16;
    while (slots < static_cast<size_t>(largest) * 2) slots *= 2;
    uint32_t* table = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * slots));
    uint32_t* leader = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (largest + 1)));
    uint32_t* members = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (largest + 1)));
    auto release = [&] {
        std::free(starts);
        std::free(entries);
        std::free(fill);
        std::free(table);
        std::free(leader);
        std::free(members);
    };
    if (!fill || !table || !leader || !members) {
        release();
        return eFAILED;
    }
    std::memcpy(fill, starts, sizeof(uint32_t) * buckets);
    for (uint32_t i = 0; i < count; ++i) {
        const VECTOR3D p = GetVertexPosition(first + i);
        if (!usable(p)) continue;
        const uint32_t hash = PositionHash(p);
        entries[fill[bucketOf(hash)]++] = WELD_ENTRY{p, GetVertexNormal(first + i), i, hash};
    }

    for (uint32_t b = 0; b < buckets; ++b) {
        WELD_ENTRY* e = entries + starts[b];
        const uint32_t k = starts[b + 1] - starts[b];
        if (k < 2) continue;
        size_t size = 16;
        while (size < static_cast<size_t>(k) * 2) size *= 2;
        const size_t mask = size - 1;
        std::memset(table, 0xFF, sizeof(uint32_t) * size);
        // The bucket keeps vertex order, so the first entry seen at a
        // position is the lowest vertex there: the group's leader.
        for (uint32_t t = 0; t < k; ++t) {
            leader[t] = t;
            members[t] = 1;
            for (size_t h = e[t].hash & mask;; h = (h + 1) & mask) {
                const uint32_t other = table[h];
                if (other == 0xFFFFFFFFu) {
                    table[h] = t;
                    break;
                }
                if (SamePosition(e[other].position, e[t].position)) {
                    leader[t] = other;
                    ++members[other];
                    break;
                }
            }
        }
        // In vertex order, as leaders precede their members: the leader
        // takes its own share first, then each member's share in turn.
        for (uint32_t t = 0; t < k; ++t) {
            const uint32_t l = leader[t];
            if (l == t) {
                if (members[t] >= 2) e[t].normal = e[t].normal / static_cast<float>(members[t]);
            } else {
                e[l].normal = Add(e[l].normal, e[t].normal / static_cast<float>(members[l]));
            }
        }
        for (uint32_t t = 0; t < k; ++t) {
            const uint32_t l = leader[t];
            if (l == t) {
                if (members[t] < 2) continue;
                e[t].normal = maths->_VECTOR3DNormalize(&e[t].normal);
            } else {
                e[t].normal = e[l].normal;
            }
            SetVertexNormal(first + e[t].vertex, &e[t].normal);
        }
    }

    release();
    return eOK;
}
