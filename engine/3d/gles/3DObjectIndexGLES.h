// OpenGL ES index buffers, 16-bit and 32-bit indices.
#pragma once

#include "engine/3d/3DObjectIndex.h"

class C3DObjectIndexGLES : public C3DObjectIndex {
public:
    explicit C3DObjectIndexGLES(INDEX_TYPE type);
    ~C3DObjectIndexGLES() override;
};

class C3DObjectIndex16GLES : public C3DObjectIndexGLES {
public:
    C3DObjectIndex16GLES();
    ~C3DObjectIndex16GLES() override;
};

class C3DObjectIndex32GLES : public C3DObjectIndexGLES {
public:
    C3DObjectIndex32GLES();
    ~C3DObjectIndex32GLES() override;
};
