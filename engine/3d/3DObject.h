// A renderable object as the render device sees it: its creation flag words
// and its life cycle.
#pragma once

#include <cstdint>

#include "engine/world/Types.h"

struct SHARED_INFOS;

class C3DObject {
public:
    C3DObject() : m_dwFlags(0), m_dwFlags2(0) {}
    virtual ~C3DObject() {}

    C3DObject(const C3DObject&) = delete;
    C3DObject& operator=(const C3DObject&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos) {
        (void)infos;
        return eOK;
    }
    virtual eRESULT Unload() { return eOK; }

    uint32_t m_dwFlags;   // creation flags; bit 0: may be shared
    uint32_t m_dwFlags2;  // second creation flag word
};
