#include "engine/3d/gles/CameraGLES.h"

#include <GLES/gl.h>

CCameraGLES::CCameraGLES() {}

CCameraGLES::~CCameraGLES() {}

void CCameraGLES::RenderNormal() {
    if (!m_pSharedInfos) return;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m_pSharedInfos->m_matProjection.Data());
}

void CCameraGLES::RenderScreen() {
    if (!m_pSharedInfos) return;
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m_pSharedInfos->m_matProjectionScreen.Data());
}

eRESULT CCameraGLES::InitViewport(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    glViewport(static_cast<GLint>(x), static_cast<GLint>(y), static_cast<GLsizei>(width),
               static_cast<GLsizei>(height));
    return eOK;
}
