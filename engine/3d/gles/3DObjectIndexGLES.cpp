#include "engine/3d/gles/3DObjectIndexGLES.h"

C3DObjectIndexGLES::C3DObjectIndexGLES(INDEX_TYPE type) : C3DObjectIndex(type) {}

C3DObjectIndexGLES::~C3DObjectIndexGLES() {}

C3DObjectIndex16GLES::C3DObjectIndex16GLES() : C3DObjectIndexGLES(INDEX_16) {}

C3DObjectIndex16GLES::~C3DObjectIndex16GLES() {}

C3DObjectIndex32GLES::C3DObjectIndex32GLES() : C3DObjectIndexGLES(INDEX_32) {}

C3DObjectIndex32GLES::~C3DObjectIndex32GLES() {}
