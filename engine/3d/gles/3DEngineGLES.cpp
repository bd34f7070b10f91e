#include "engine/3d/gles/3DEngineGLES.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstdio>
#include <cstring>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DShader.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/3d/gles/3DObjectIndexGLES.h"
#include "engine/3d/gles/3DStencilShadowGLES.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/3d/gles/CameraGLES.h"

namespace {

// A freshly made object that did not make it into a registry: release what
// its Load may have acquired and free it.
template <class T>
void Discard(T* object) {
    object->Unload();
    delete object;
}

// ARGB, most significant byte first, to OpenGL's (red, green, blue, alpha).
void UnpackColor(uint32_t argb, GLfloat out[4]) {
    out[0] = static_cast<GLfloat>(((argb >> 16) & 0xFFu) / 255.0);
    out[1] = static_cast<GLfloat>(((argb >> 8) & 0xFFu) / 255.0);
    out[2] = static_cast<GLfloat>((argb & 0xFFu) / 255.0);
    out[3] = static_cast<GLfloat>(((argb >> 24) & 0xFFu) / 255.0);
}

}  // namespace

C3DEngineGLES::C3DEngineGLES() {}

C3DEngineGLES::~C3DEngineGLES() { delete m_pCamera; }

eRESULT C3DEngineGLES::Load(SHARED_INFOS* infos, void* data) {
    m_pSharedInfos = infos;
    delete m_pCamera;  // a second Load replaces the camera
    m_pCamera = new CCameraGLES;
    const eRESULT result = m_pCamera->Load(infos);
    if (eFAILURE(result)) return result;

    glFogf(GL_FOG_MODE, GL_LINEAR);
    glHint(GL_FOG_HINT, GL_NICEST);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glDisable(GL_POINT_SMOOTH);
    // Point sprites take their texture coordinates across the sprite.
    glTexEnvf(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, 1.0f);

    return eFAILURE(C3DEngine::Load(infos, data)) ? eFAILED : eOK;
}

eRESULT C3DEngineGLES::Unload() { return eFAILURE(C3DEngine::Unload()) ? eFAILED : eOK; }

eRESULT C3DEngineGLES::LightingOneInit(uint32_t index) {
    if (!m_pSharedInfos || !m_pSharedInfos->m_pMaths3D || index >= e3D_LIGHT_COUNT) return eFAILED;
    LIGHT_BLOCK& light = m_pSharedInfos->m_Light[index];
    const GLenum name = GL_LIGHT0 + index;
    if (!light.m_bEnable) {
        glDisable(name);
        return eOK;
    }
    glEnable(name);

    const GLfloat ambient[4] = {light.m_fAmbient, light.m_fAmbient, light.m_fAmbient, 1.0f};
    const GLfloat diffuse[4] = {light.m_fDiffuse, light.m_fDiffuse, light.m_fDiffuse, 1.0f};
    const GLfloat specular[4] = {light.m_fSpecular, light.m_fSpecular, light.m_fSpecular, 1.0f};
    glLightfv(name, GL_AMBIENT, ambient);
    glLightfv(name, GL_DIFFUSE, diffuse);
    glLightfv(name, GL_SPECULAR, specular);

    // One material for everything, following the light's colours; with both
    // lights on, the last one set up wins.
    const GLfloat emission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 25.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);

    glLightf(name, GL_CONSTANT_ATTENUATION, 1.0f);
    glLightf(name, GL_LINEAR_ATTENUATION, 0.0f);
    glLightf(name, GL_QUADRATIC_ATTENUATION, 0.0f);

    GLfloat position[4];
    if (light.m_dwType != 0) {
        light.m_afDirection[0] = light.m_afDirection[1] = light.m_afDirection[2] = 0.0f;
        position[0] = light.m_afPosition[0];
        position[1] = light.m_afPosition[1];
        position[2] = light.m_afPosition[2];
        position[3] = 1.0f;
    } else {
        // A directional light shines from its position towards the origin.
        const VECTOR3D from{light.m_afPosition[0], light.m_afPosition[1], light.m_afPosition[2]};
        const VECTOR3D direction = m_pSharedInfos->m_pMaths3D->_VECTOR3DNormalize(&from);
        light.m_afDirection[0] = position[0] = direction.x;
        light.m_afDirection[1] = position[1] = direction.y;
        light.m_afDirection[2] = position[2] = direction.z;
        position[3] = 0.0f;
    }
    glLightfv(name, GL_POSITION, position);
    return eOK;
}

eRESULT C3DEngineGLES::PointSpriteInit() {
    if (!m_pSharedInfos) return eFAILED;
    glPointParameterfv(GL_POINT_DISTANCE_ATTENUATION, m_pSharedInfos->m_fPointSpriteAtt);
    glPointParameterf(GL_POINT_SIZE_MAX, m_pSharedInfos->m_fPointSpriteMax);
    glPointParameterf(GL_POINT_SIZE_MIN, m_pSharedInfos->m_fPointSpriteMin);
    return eOK;
}

// GL_FOG itself is switched by the objects that draw, after the fog switch.
eRESULT C3DEngineGLES::FogingInit() {
    if (!m_pSharedInfos) return eFAILED;
    const FOG_BLOCK& fog = m_pSharedInfos->m_Fog;
    GLfloat color[4];
    UnpackColor(fog.m_dwColor, color);
    glFogfv(GL_FOG_COLOR, color);
    glFogf(GL_FOG_START, fog.m_fStart);
    glFogf(GL_FOG_END, fog.m_fEnd);
    glFogf(GL_FOG_DENSITY, fog.m_fDensity);
    return eOK;
}

void C3DEngineGLES::ClearScreen() {
    if (!m_pSharedInfos) return;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    GLfloat color[4];
    UnpackColor(m_pSharedInfos->m_dwClearColor, color);
    glClearColor(color[0], color[1], color[2], color[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

eRESULT C3DEngineGLES::BeginScene() {
    if (!m_pSharedInfos || !m_pCamera) return eFAILED;
    ClearScreen();
    m_pCamera->RenderNormal();
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m_pSharedInfos->m_matView.Data());
    FogingInit();
    LightingInit(e3D_ALL_LIGHTS);
    return eOK;
}

// Presenting the frame is the host view's business.
eRESULT C3DEngineGLES::EndScene() {
    glFlush();
    return eOK;
}

// The first class bit wins, in this order.
C3DObject* C3DEngineGLES::New3DObject(uint32_t flags) {
    C3DObject* object = nullptr;
    if (flags & OBJ_NORMAL)
        object = new C3DObjectGLESNormal;
    else if (flags & OBJ_MULTITEXTURES)
        object = new C3DObjectGLESMultiTextures;
    else if (flags & OBJ_POINTSPRITE)
        object = new C3DObjectGLESPointSprite;
    else if (flags & OBJ_SCREEN)
        object = new C3DObjectGLESScreen;
    else
        return nullptr;
    object->m_p3DEngine = this;
    return object;
}

C3DObject* C3DEngineGLES::Create3DObject(uint32_t flags, uint32_t flags2) {
    C3DObject* object = New3DObject(flags);
    if (!object) return nullptr;
    object->m_dwFlags = flags;
    object->m_dwFlags2 = flags2;
    if (eFAILURE(object->Load(m_pSharedInfos)) ||
        !m_plistObjects->AddLast(object, (flags & e3D_FLAG_SHAREABLE) != 0)) {
        Discard(object);
        return nullptr;
    }
    return object;
}

eRESULT C3DEngineGLES::Delete3DObject(C3DObject* object) {
    // An object whose flags select no class was not made here.
    if (!object || !(object->m_dwFlags & OBJ_CLASS_MASK)) return eFAILED;
    // False both for a stranger and for an object someone else still holds:
    // either way it stays alive.
    if (!m_plistObjects->Delete(object, false)) return eFAILED;
    const eRESULT result = object->Unload();
    delete object;
    return result;
}

C3DObjectIndex* C3DEngineGLES::Create3DObjectIndex(uint32_t, uint32_t, INDEX_TYPE type) {
    C3DObjectIndex* index = nullptr;
    if (type == INDEX_16)
        index = new C3DObjectIndex16GLES;
    else if (type == INDEX_32)
        index = new C3DObjectIndex32GLES;
    else
        return nullptr;
    index->m_eIndexType = type;
    if (eFAILURE(index->Load(m_pSharedInfos)) || !m_plistObjectsIndex->AddLast(index)) {
        Discard(index);
        return nullptr;
    }
    return index;
}

eRESULT C3DEngineGLES::Delete3DObjectIndex(C3DObjectIndex* index) {
    if (!index || (index->m_eIndexType != INDEX_16 && index->m_eIndexType != INDEX_32)) return eFAILED;
    if (!m_plistObjectsIndex->Delete(index)) return eOK;
    const eRESULT result = index->Unload();
    delete index;
    return result;
}

C3DTexture* C3DEngineGLES::CreateTexture(uint32_t flags, uint32_t flags2) {
    C3DTexture* texture = new C3DTextureGLES;
    texture->m_dwFlags = flags;
    texture->m_dwFlags2 = flags2;
    if (eFAILURE(texture->Load(m_pSharedInfos)) ||
        !m_plistTextures->AddLast(texture, (flags & e3D_FLAG_SHAREABLE) != 0)) {
        Discard(texture);
        return nullptr;
    }
    return texture;
}

eRESULT C3DEngineGLES::DeleteTexture(C3DTexture* texture) {
    if (!texture) return eFAILED;
    // Not removed: either not ours, or other users remain.
    if (!m_plistTextures->Delete(texture, false)) return eOK;
    const eRESULT result = texture->Unload();
    delete texture;
    return result;
}

// OpenGL ES 1.1 has no shader objects.
C3DShader* C3DEngineGLES::CreateShader(uint32_t, uint32_t) { return nullptr; }

eRESULT C3DEngineGLES::DeleteShader(C3DShader*) { return eFAILED; }

// a: number of casters, b: shadow colour (only its alpha is used).
C3DStencilShadow* C3DEngineGLES::CreateStencilShadow(uint32_t a, uint32_t b) {
    C3DStencilShadow* shadow = new C3DStencilShadowGLES(m_pSharedInfos, m_pCamera);
    if (eFAILURE(shadow->Load(a, b)) || !m_listStencilShadow.AddLast(shadow, false)) {
        Discard(shadow);
        return nullptr;
    }
    return shadow;
}

eRESULT C3DEngineGLES::DeleteStencilShadow(C3DStencilShadow* shadow) {
    if (!shadow) return eFAILED;
    if (!m_listStencilShadow.Delete(shadow, false)) return eOK;
    const eRESULT result = shadow->Unload();
    delete shadow;
    return result;
}

// Needs a stencil buffer in the drawable and the feature switched on.
eRESULT C3DEngineGLES::StencilShadowCompatible() {
    if (!m_pSharedInfos || !m_pSharedInfos->m_bStencilShadow) return eFAILED;
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    return bits > 0 ? eOK : eFAILED;
}

eRESULT GetInfos_3D_GLES(ENUM_DEVICE* out) {
    if (!out) return eFAILED;
    std::snprintf(out->szBuild, sizeof out->szBuild, "%s %s", __DATE__, __TIME__);
    std::snprintf(out->szName, sizeof out->szName, "%s", "OpenGLES 1.1");
    out->dwVersion = 0x10000u;
    out->dwFlags = 0x1000020u;
    return eOK;
}

void* InstallApi_3D_GLES() { return static_cast<C3DEngine*>(new C3DEngineGLES); }

void UninstallApi_3D_GLES(void* device) { delete static_cast<C3DEngine*>(device); }
