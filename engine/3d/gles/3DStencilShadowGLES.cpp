#include "engine/3d/gles/3DStencilShadowGLES.h"

#include <GLES/gl.h>

#include "engine/3d/Camera.h"
#include "engine/world/SharedInfos.h"

C3DStencilShadowGLES::C3DStencilShadowGLES(SHARED_INFOS* infos, CCamera* camera)
    : C3DStencilShadow(infos), m_pCamera(camera) {}

C3DStencilShadowGLES::~C3DStencilShadowGLES() {}

eRESULT C3DStencilShadowGLES::Load(uint32_t count, uint32_t color) {
    return eFAILURE(C3DStencilShadow::Load(count, color)) ? eFAILED : eOK;
}

eRESULT C3DStencilShadowGLES::Unload() { return eFAILURE(C3DStencilShadow::Unload()) ? eFAILED : eOK; }

void C3DStencilShadowGLES::RenderNormal() {
    if (m_pCamera) {
        m_pCamera->RenderNormal();
    } else if (m_pSharedInfos) {
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(m_pSharedInfos->m_matProjection.Data());
    }
}

void C3DStencilShadowGLES::RenderScreen() {
    if (m_pCamera) {
        m_pCamera->RenderScreen();
    } else if (m_pSharedInfos) {
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(m_pSharedInfos->m_matProjectionScreen.Data());
    }
}

eRESULT C3DStencilShadowGLES::Render(uint32_t index) {
    if (!m_pObjects || index >= m_dwObjectCount || !m_pSharedInfos) return eFAILED;
    const SHADOW_OBJECT& r = m_pObjects[index];
    if (!r.pSides || r.dwSideCount == 0) return eOK;

    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_TEXTURE_2D);
    RenderNormal();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();

    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);

    // The volume only touches the stencil buffer.
    glCullFace(GL_FRONT);
    glEnable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_STENCIL_TEST);
    glClear(GL_STENCIL_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glStencilFunc(GL_ALWAYS, 1, 0xFFFFFFFFu);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.0f);

    auto drawVolume = [&]() {
        glVertexPointer(3, GL_FLOAT, 0, r.pSides);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(r.dwSideCount));
        if (r.pCaps && r.dwCapCount) {
            glVertexPointer(3, GL_FLOAT, 0, r.pCaps);
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(r.dwCapCount));
        }
    };
    glFrontFace(GL_CCW);
    glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    drawVolume();
    glFrontFace(GL_CW);
    glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    drawVolume();

    // Darken what is left marked.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glStencilFunc(GL_NOTEQUAL, 0, 0xFFFFFFFFu);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glFrontFace(GL_CCW);

    RenderScreen();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float alpha = static_cast<float>((m_dwShadowColor >> 24) & 0xFFu) / 255.0f;
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f - alpha);
    const GLfloat w = m_pSharedInfos->m_wWidth, h = m_pSharedInfos->m_wHeight;
    const GLfloat quad[] = {0, 0, 0, w, 0, 0, w, h, 0, w, h, 0, 0, h, 0, 0, 0, 0};
    glVertexPointer(3, GL_FLOAT, 0, quad);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glPopMatrix();

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);

    // Debugging display: the volume's edges.
    if (m_bShowConstruct) {
        RenderNormal();
        glMatrixMode(GL_MODELVIEW);
        glDisable(GL_LIGHT0);
        glDisable(GL_CULL_FACE);
        glFrontFace(GL_CW);
        glCullFace(GL_BACK);
        glColor4f(255.0f, 255.0f, 255.0f, 255.0f);
        glVertexPointer(3, GL_FLOAT, 0, r.pSides);
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(r.dwSideCount));
    }

    glPopMatrix();
    return eOK;
}
