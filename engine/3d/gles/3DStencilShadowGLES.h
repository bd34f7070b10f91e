// Stencil shadow volumes drawn with OpenGL ES 1.1 into an 8-bit stencil
// buffer: the volume's faces turned away from the viewer count up, those
// turned towards it count down, and one translucent black quad darkens
// every pixel left marked.
#pragma once

#include "engine/3d/3DStencilShadow.h"

class CCamera;

class C3DStencilShadowGLES : public C3DStencilShadow {
public:
    // `camera` hands out the projections; null loads them straight from
    // SHARED_INFOS.
    explicit C3DStencilShadowGLES(SHARED_INFOS* infos = nullptr, CCamera* camera = nullptr);
    ~C3DStencilShadowGLES() override;

    eRESULT Load(uint32_t count, uint32_t color) override;
    eRESULT Unload() override;
    // Call inside the scene, with the view matrix on the model-view stack and
    // the receivers already drawn (their depth is what the volume is tested
    // against). Leaves depth test on, stencil test and blending off.
    eRESULT Render(uint32_t index) override;

private:
    void RenderNormal();
    void RenderScreen();

    CCamera* m_pCamera;
};
