// The camera on OpenGL ES 1.1: loads the projections and sets the viewport.
#pragma once

#include "engine/3d/Camera.h"

class CCameraGLES : public CCamera {
public:
    CCameraGLES();
    ~CCameraGLES() override;

    void RenderNormal() override;
    void RenderScreen() override;
    eRESULT InitViewport(uint32_t x, uint32_t y, uint32_t width, uint32_t height) override;
};
