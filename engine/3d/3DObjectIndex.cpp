#include "engine/3d/3DObjectIndex.h"

#include <cstdlib>

C3DObjectIndex::C3DObjectIndex(INDEX_TYPE type)
    : m_pSharedInfos(nullptr),
      m_eIndexType(type),
      m_pAttributes(nullptr),
      m_dwSubObjectCount(0),
      m_dwIndexCount(0),
      m_pLargest(nullptr),
      m_dwLargestSlots(0),
      m_dwIndexRevision(1) {}

C3DObjectIndex::~C3DObjectIndex() {
    std::free(m_pAttributes);
    FreeLargest();
}

void C3DObjectIndex::FreeLargest() {
    std::free(m_pLargest);
    m_pLargest = nullptr;
    m_dwLargestSlots = 0;
}

void C3DObjectIndex::IndicesChanged() {
    if (++m_dwIndexRevision == 0) {
        // After 2^32 writes: start again with every slot empty.
        m_dwIndexRevision = 1;
        for (uint32_t i = 0; i < m_dwLargestSlots; ++i) m_pLargest[i].revision = 0;
    }
}

bool C3DObjectIndex::LargestIndex(uint32_t start, uint64_t count, uint32_t* largest) {
    uint8_t size = 0;
    const void* indices = GetIndexBuffer(size);
    if (!indices || (size != 2 && size != 4)) return false;
    if (!m_pLargest && m_dwSubObjectCount) {
        // One slot per record: records rarely share a range.
        m_pLargest = static_cast<LargestEntry*>(std::calloc(m_dwSubObjectCount, sizeof(LargestEntry)));
        if (m_pLargest) m_dwLargestSlots = m_dwSubObjectCount;
    }
    LargestEntry* slot = nullptr;
    if (m_dwLargestSlots) {
        const uint64_t key = (static_cast<uint64_t>(start) * 0x9E3779B97F4A7C15ull) ^ count;
        slot = &m_pLargest[(key ^ (key >> 29)) % m_dwLargestSlots];
        if (slot->revision == m_dwIndexRevision && slot->start == start && slot->count == count) {
            *largest = slot->largest;
            return true;
        }
    }
    uint32_t top = 0;
    if (size == 2) {
        const uint16_t* p = static_cast<const uint16_t*>(indices) + start;
        for (uint64_t k = 0; k < count; ++k) top = p[k] > top ? p[k] : top;
    } else {
        const uint32_t* p = static_cast<const uint32_t*>(indices) + start;
        for (uint64_t k = 0; k < count; ++k) top = p[k] > top ? p[k] : top;
    }
    if (slot) *slot = LargestEntry{count, start, m_dwIndexRevision, top};
    *largest = top;
    return true;
}

eRESULT C3DObjectIndex::Load(SHARED_INFOS* infos) {
    m_pSharedInfos = infos;
    return eOK;
}

eRESULT C3DObjectIndex::Unload() {
    FreeLargest();
    IndicesChanged();
    std::free(m_pAttributes);
    m_pAttributes = nullptr;
    m_dwSubObjectCount = 0;
    m_dwIndexCount = 0;
    return eOK;
}

void* C3DObjectIndex::GetIndexBuffer(uint8_t& size) {
    size = 0;
    return nullptr;
}

eRESULT C3DObjectIndex::Render(ATTRIBUT*) { return eOK; }

eRESULT C3DObjectIndex::InitConstruct(uint32_t subObjects, uint32_t indices) {
    FreeLargest();
    IndicesChanged();
    std::free(m_pAttributes);
    m_pAttributes = nullptr;
    m_dwSubObjectCount = 0;
    m_dwIndexCount = 0;
    if (subObjects > eOBJ_MAX_SUBOBJECTS || indices > eOBJ_MAX_INDICES) return eFAILED;
    if (subObjects) {
        m_pAttributes = static_cast<ATTRIBUT*>(std::calloc(subObjects, sizeof(ATTRIBUT)));
        if (!m_pAttributes) return eFAILED;
    }
    // The counts describe what exists, so a failed allocation leaves them 0.
    m_dwSubObjectCount = subObjects;
    m_dwIndexCount = indices;
    return eOK;
}

eRESULT C3DObjectIndex::BeginConstruct() { return eOK; }

eRESULT C3DObjectIndex::SetIndex(uint32_t, uint32_t) { return eOK; }

uint32_t C3DObjectIndex::GetIndex(uint32_t) { return eNO_VALUE; }

eRESULT C3DObjectIndex::EndConstruct(bool) { return eOK; }

ATTRIBUT* C3DObjectIndex::GetSubObjParsing(uint32_t sub) {
    if (!m_pAttributes || sub >= m_dwSubObjectCount) return nullptr;
    return &m_pAttributes[sub];
}

eRESULT C3DObjectIndex::GetSubObjParsingEx(uint32_t sub, uint32_t* vertexStart, uint32_t* vertexCount,
                                           uint32_t* indexStart, uint32_t* indexCount, uint32_t* primitiveCount,
                                           uint32_t* primitiveType, uint32_t* cullMode, uint32_t* order) {
    const ATTRIBUT* a = GetSubObjParsing(sub);
    if (!a) return eFAILED;
    if (vertexStart) *vertexStart = a->dwVertexStart;
    if (vertexCount) *vertexCount = a->dwVertexCount;
    if (indexStart) *indexStart = a->dwIndexStart;
    if (indexCount) *indexCount = a->dwIndexCount;
    if (primitiveCount) *primitiveCount = a->dwPrimitiveCount;
    if (primitiveType) *primitiveType = a->dwPrimitiveType;
    if (cullMode) *cullMode = a->dwCullMode;
    if (order) *order = a->dwOrder;
    return eOK;
}

eRESULT C3DObjectIndex::SetIndexIncrementaly() {
    for (uint32_t i = 0; i < m_dwIndexCount; ++i)
        if (eFAILURE(SetIndex(i, i))) return eFAILED;
    return eOK;
}

eRESULT C3DObjectIndex::SetSubObjParsingEx(uint32_t sub, uint32_t vertexStart, uint32_t vertexCount,
                                           uint32_t indexStart, uint32_t indexCount, uint32_t primitiveCount,
                                           uint32_t primitiveType, uint32_t cullMode, uint32_t order) {
    ATTRIBUT* a = GetSubObjParsing(sub);
    if (!a) return eFAILED;
    a->dwOrder = order == eNO_VALUE ? sub : order;
    a->dwVertexStart = vertexStart;
    a->dwVertexCount = vertexCount;
    a->dwIndexStart = indexStart;
    a->dwIndexCount = indexCount;
    a->dwPrimitiveCount = primitiveCount;
    a->dwPrimitiveType = primitiveType;
    a->dwCullMode = cullMode;
    return eOK;
}
