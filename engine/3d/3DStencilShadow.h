// Stencil shadow volumes: every frame the silhouette of each caster as seen
// from light 1 is found and extruded away from the light into a closed
// volume (sides plus two caps). C3DStencilShadowGLES renders the volumes into
// the stencil buffer and darkens what they mark.
//
// Made and destroyed by the render device only (CreateStencilShadow(count,
// color) / DeleteStencilShadow). Use:
//     shadow->AddObject(0, caster, &casterMatrix, upper, lower);  // once
//     shadow->FrameMove(0); shadow->Render(0);  // per frame, inside the scene,
//                                               // after the receivers are drawn
#pragma once

#include <cstdint>
#include <vector>

#include "engine/3d/Types3D.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;
class C3DObject;

// Volume arrays hold this many vertices per caster vertex.
constexpr uint32_t eSHADOW_CAPACITY_PER_VERTEX = 200;
// Edges are pairs of 16-bit vertex numbers: larger casters are refused.
constexpr uint32_t eSHADOW_MAX_VERTICES = 0x10000u;
// How far the silhouette is pushed along the light vector.
constexpr float eSHADOW_EXTRUSION = 10.0f;

struct SHADOW_OBJECT {
    C3DObject* pObject;  // null: record not in use
    MATRIX3D* pMatrix;   // the caster's world matrix, read every frame (caller's)
    VECTOR3D vUpper;     // volume vertices are clamped into [vLower, vUpper]
    VECTOR3D vLower;
    VECTOR3D* pSides;  // side triangles of the volume
    uint32_t dwCapacity;  // slots in each of pSides and pCaps
    uint32_t dwSideCount;  // vertices in pSides
    VECTOR3D* pCaps;  // cap triangles
    uint32_t dwCapCount;
};

// The silhouette edge list: adding an edge that is already there (either
// way round) removes it, moving the last pair into its place. What remains
// after adding every edge of every lit triangle is the edges used an odd
// number of times. A hash table from edge to its position keeps each Add
// O(1); the list itself is the same as a linear search would leave.
class CShadowEdgeList {
public:
    // Empties the list; `maxEdges` pairs is what it may come to hold.
    void Reset(uint32_t maxEdges);
    void Add(uint16_t a, uint16_t b);
    uint32_t Count() const { return static_cast<uint32_t>(m_Pairs.size() / 2); }
    // Pair i is (Pairs()[2i], Pairs()[2i + 1]).
    const uint16_t* Pairs() const { return m_Pairs.data(); }

private:
    static uint32_t Key(uint16_t a, uint16_t b) {
        return a < b ? (uint32_t(a) << 16 | b) : (uint32_t(b) << 16 | a);
    }
    uint32_t Slot(uint32_t key) const { return (key * 2654435761u) >> m_dwShift & m_dwMask; }
    // An empty table of `size` (a power of two) slots, refilled from the list.
    void Resize(uint32_t size);

    struct ENTRY {
        uint32_t dwKey;  // kEmpty for a free slot
        uint32_t dwPos;  // pair number in m_Pairs
    };
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no edge has this key

    std::vector<uint16_t> m_Pairs;
    std::vector<ENTRY> m_Table;  // open addressing, linear probing
    uint32_t m_dwMask = 0;
    uint32_t m_dwShift = 0;
};

class C3DStencilShadow {
public:
    explicit C3DStencilShadow(SHARED_INFOS* infos = nullptr);
    // Frees the records and their arrays.
    virtual ~C3DStencilShadow();

    C3DStencilShadow(const C3DStencilShadow&) = delete;
    C3DStencilShadow& operator=(const C3DStencilShadow&) = delete;

    // `count` empty records; `color` is 0xAARRGGBB, only its alpha is used:
    // 255 leaves the shadowed pixels as they are, 0 makes them black.
    virtual eRESULT Load(uint32_t count, uint32_t color);
    // Frees the volume arrays of every record.
    virtual eRESULT Unload();
    // Record `index` casts the shadow of `object` placed by `*matrix` (null:
    // the object's own matrix), clamped into [lower, upper]. A new caster on
    // a used record replaces the old one. Fails for an index out of range;
    // a caster with more than eSHADOW_MAX_VERTICES vertices is kept but
    // casts nothing.
    virtual eRESULT AddObject(uint32_t index, C3DObject* object, MATRIX3D* matrix, const VECTOR3D& upper,
                              const VECTOR3D& lower);
    // Rebuilds the volume of record `index` (nothing for an unknown index).
    virtual eRESULT FrameMove(uint32_t index);
    // Draws record `index`; nothing here.
    virtual eRESULT Render(uint32_t index);

    // The record at `index`, or null.
    const SHADOW_OBJECT* GetObject(uint32_t index) const {
        return m_pObjects && index < m_dwObjectCount ? &m_pObjects[index] : nullptr;
    }

    SHARED_INFOS* m_pSharedInfos;
    uint32_t m_dwShadowColor;
    bool m_bShowConstruct;
    SHADOW_OBJECT* m_pObjects;
    uint32_t m_dwObjectCount;

protected:
    static void FreeArrays(SHADOW_OBJECT* record);

private:
    CShadowEdgeList m_Edges;  // reused from frame to frame
};
