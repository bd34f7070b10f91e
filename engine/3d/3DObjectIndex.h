// An index buffer and the sub-object records of an object. This class keeps
// the records; the index storage and the indexed draws belong to the 3D
// interface's subclasses, and are neutral here.
#pragma once

#include <cstdint>

#include "engine/3d/3DObject.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;

enum INDEX_TYPE : int32_t {
    INDEX_16 = 1,
    INDEX_32 = 2,
};

class C3DObjectIndex {
public:
    // The concrete class gives its index width.
    explicit C3DObjectIndex(INDEX_TYPE type);
    virtual ~C3DObjectIndex();

    C3DObjectIndex(const C3DObjectIndex&) = delete;
    C3DObjectIndex& operator=(const C3DObjectIndex&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos);
    // Frees the records.
    virtual eRESULT Unload();
    // The index array and the size of one index; null and 0 here.
    virtual void* GetIndexBuffer(uint8_t& size);
    // One indexed draw of a record; nothing here.
    virtual eRESULT Render(ATTRIBUT* attribute);
    // Both counts and the zero-filled records.
    virtual eRESULT InitConstruct(uint32_t subObjects, uint32_t indices);
    virtual eRESULT BeginConstruct();
    virtual eRESULT SetIndex(uint32_t i, uint32_t value);
    // eNO_VALUE here, and for indices that are not there or not open.
    virtual uint32_t GetIndex(uint32_t i);
    virtual eRESULT EndConstruct(bool applyState);
    // Record `sub`, or null when there is none.
    virtual ATTRIBUT* GetSubObjParsing(uint32_t sub);
    // Each non-null output receives its field of record `sub`.
    virtual eRESULT GetSubObjParsingEx(uint32_t sub, uint32_t* vertexStart, uint32_t* vertexCount,
                                       uint32_t* indexStart, uint32_t* indexCount, uint32_t* primitiveCount,
                                       uint32_t* primitiveType, uint32_t* cullMode, uint32_t* order);

    // Index i = i for every index (indices open).
    eRESULT SetIndexIncrementaly();
    // Fills record `sub`; order eNO_VALUE stores `sub` itself.
    eRESULT SetSubObjParsingEx(uint32_t sub, uint32_t vertexStart, uint32_t vertexCount, uint32_t indexStart,
                               uint32_t indexCount, uint32_t primitiveCount, uint32_t primitiveType,
                               uint32_t cullMode, uint32_t order);

    // The largest of `count` indices from `start` (inside the array), worked
    // out once and kept until an index changes; false without indices.
    bool LargestIndex(uint32_t start, uint64_t count, uint32_t* largest);
    // Forgets the kept largest indices; the subclasses call it on every
    // write, and so must anyone writing through GetIndexBuffer's pointer.
    void IndicesChanged();

    SHARED_INFOS* m_pSharedInfos;
    INDEX_TYPE m_eIndexType;
    ATTRIBUT* m_pAttributes;  // m_dwSubObjectCount records
    uint32_t m_dwSubObjectCount;
    uint32_t m_dwIndexCount;

private:
    // One kept range: revision 0 is an empty slot.
    struct LargestEntry {
        uint64_t count;
        uint32_t start;
        uint32_t revision;
        uint32_t largest;
    };
    void FreeLargest();
    LargestEntry* m_pLargest;  // m_dwLargestSlots slots, by a hash of the range
    uint32_t m_dwLargestSlots;
    uint32_t m_dwIndexRevision;  // counts index writes; never 0
};
