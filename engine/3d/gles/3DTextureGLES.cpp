#include "engine/3d/gles/3DTextureGLES.h"

C3DTextureGLES::C3DTextureGLES() {}

C3DTextureGLES::~C3DTextureGLES() {}
