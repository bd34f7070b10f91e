// A shader program as the render device sees it. OpenGL ES 1.1 has none; the
// class exists so that the device's registries are the same everywhere.
#pragma once

#include "engine/world/Types.h"

class C3DShader {
public:
    C3DShader() {}
    virtual ~C3DShader() {}

    C3DShader(const C3DShader&) = delete;
    C3DShader& operator=(const C3DShader&) = delete;

    virtual eRESULT Unload() { return eOK; }
};
