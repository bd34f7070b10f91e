// The camera: turns the view settings and the device orientation into the
// projection and view matrices kept in SHARED_INFOS.
#pragma once

#include <cstdint>

#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class CCamera {
public:
    CCamera();
    virtual ~CCamera();

    CCamera(const CCamera&) = delete;
    CCamera& operator=(const CCamera&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos);
    virtual eRESULT Unload();
    // View matrix = inverse of the camera matrix (m_matViewInverse).
    virtual void FrameMove();
    // Hand the perspective or the screen projection to the 3D interface.
    virtual void RenderNormal();
    virtual void RenderScreen();
    virtual eRESULT InitGamma();
    virtual eRESULT InitViewMatrix();
    // Rebuilds both projections from the render size, the view settings and
    // m_fAngle. Fails, leaving them as they were, while the render width or
    // height is 0.
    virtual eRESULT InitProjMatrix();
    // Orientation by resizing the render surface (swaps the render size).
    virtual void InitOrientation(ORIENTATION orientation);
    // Orientation by rotating the projections (swaps the logical size, the
    // render surface stays portrait). Returns the new angle.
    virtual float InitDynOrientation(ORIENTATION orientation);
    virtual eRESULT InitViewport(uint32_t x, uint32_t y, uint32_t width, uint32_t height);

    SHARED_INFOS* m_pSharedInfos;
    ORIENTATION m_eOrientation;
    float m_fAngle;   // radians, applied to both projections
    bool m_bSwapped;  // a width/height pair is held swapped for landscape

private:
    // Null until Load gave a record with the maths service.
    CMaths3D* Maths() const;
};
