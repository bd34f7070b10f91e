// A stencil shadow volume as the render device sees it: its life cycle.
#pragma once

#include <cstdint>

#include "engine/world/Types.h"

class C3DStencilShadow {
public:
    C3DStencilShadow() {}
    virtual ~C3DStencilShadow() {}

    C3DStencilShadow(const C3DStencilShadow&) = delete;
    C3DStencilShadow& operator=(const C3DStencilShadow&) = delete;

    virtual eRESULT Load(uint32_t a, uint32_t b) {
        (void)a, (void)b;
        return eOK;
    }
    virtual eRESULT Unload() { return eOK; }
};
