// The OpenGL ES texture.
#pragma once

#include "engine/3d/3DTexture.h"

class C3DTextureGLES : public C3DTexture {
public:
    C3DTextureGLES();
    ~C3DTextureGLES() override;
};
