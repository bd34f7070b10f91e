// The small base of the engine's stand-alone renderers: an object with the
// usual life cycle that draws something of its own every frame.
#pragma once

#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class C3DRenderer {
public:
    explicit C3DRenderer(SHARED_INFOS* infos) : m_pSharedInfos(infos) {}
    virtual ~C3DRenderer() {}

    C3DRenderer(const C3DRenderer&) = delete;
    C3DRenderer& operator=(const C3DRenderer&) = delete;

    virtual eRESULT Load() { return eOK; }
    virtual eRESULT Unload() { return eOK; }
    virtual void FrameMove() {}
    virtual void Render() {}

    SHARED_INFOS* m_pSharedInfos;
};
