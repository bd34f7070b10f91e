// An index buffer as the render device sees it: its index width and its
// life cycle.
#pragma once

#include <cstdint>

#include "engine/world/Types.h"

struct SHARED_INFOS;

enum INDEX_TYPE : int32_t {
    INDEX_16 = 1,
    INDEX_32 = 2,
};

class C3DObjectIndex {
public:
    explicit C3DObjectIndex(INDEX_TYPE type) : m_pSharedInfos(nullptr), m_eIndexType(type) {}
    virtual ~C3DObjectIndex() {}

    C3DObjectIndex(const C3DObjectIndex&) = delete;
    C3DObjectIndex& operator=(const C3DObjectIndex&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos) {
        m_pSharedInfos = infos;
        return eOK;
    }
    virtual eRESULT Unload() { return eOK; }

    SHARED_INFOS* m_pSharedInfos;
    INDEX_TYPE m_eIndexType;
};
