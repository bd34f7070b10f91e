#include "engine/3d/gles/3DObjectGLESVariants.h"

#include <GLES/gl.h>

#include "engine/3d/3DEngine.h"
#include "engine/3d/Camera.h"

namespace {

// 0xAARRGGBB to the bytes R, G, B, A and back.
void PutColor(uint8_t* bytes, uint32_t argb) {
    bytes[0] = static_cast<uint8_t>(argb >> 16);
    bytes[1] = static_cast<uint8_t>(argb >> 8);
    bytes[2] = static_cast<uint8_t>(argb);
    bytes[3] = static_cast<uint8_t>(argb >> 24);
}

uint32_t TakeColor(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[3]) << 24 | static_cast<uint32_t>(bytes[0]) << 16 |
           static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
}

// Callers' v runs the other way from OpenGL ES's t: stored as 1 - v.
void PutUV(float* stored, const VECTOR2D& uv) {
    stored[0] = uv.x;
    stored[1] = 1.0f - uv.y;
}

VECTOR2D TakeUV(const float* stored) { return VECTOR2D{stored[0], 1.0f - stored[1]}; }

void Put3(float* stored, const VECTOR3D& v) {
    stored[0] = v.x;
    stored[1] = v.y;
    stored[2] = v.z;
}

VECTOR3D Take3(const float* stored) { return VECTOR3D{stored[0], stored[1], stored[2]}; }

template <class V>
void VertexArray(const V* first) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(V), first->afPosition);
}

template <class V>
void TextureArray(const V* first) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, sizeof(V), first->afUV);
}

template <class V>
void NormalArray(const V* first) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, sizeof(V), first->afNormal);
}

template <class V>
void ColorArray(const V* first) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(V), first->abColor);
}

}  // namespace

// C3DObjectGLESNormal

C3DObjectGLESNormal::C3DObjectGLESNormal() {}

C3DObjectGLESNormal::~C3DObjectGLESNormal() {}

VERTEX_GLES_NORMAL* C3DObjectGLESNormal::At(uint32_t i) const {
    return reinterpret_cast<VERTEX_GLES_NORMAL*>(VertexAt(i, kStride));
}

eRESULT C3DObjectGLESNormal::Unload() {
    FreeVertices();
    return eFAILURE(C3DObjectGLES::Unload()) ? eFAILED : eOK;
}

void* C3DObjectGLESNormal::GetVertexBuffer(uint8_t& stride) {
    stride = kStride;
    return m_pVertices;
}

eRESULT C3DObjectGLESNormal::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObjectGLES::InitConstruct(subObjects, vertices, indices))) return eFAILED;
    return AllocateVertices(vertices, kStride);
}

eRESULT C3DObjectGLESNormal::BeginConstruct() { return C3DObjectGLES::BeginConstruct(); }

eRESULT C3DObjectGLESNormal::SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                                       uint32_t specular) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v) return eFAILED;
    Put3(v->afPosition, position);
    Put3(v->afNormal, normal);
    PutColor(v->abColor, color);
    v->dwSpecular = specular;
    PutUV(v->afUV, uv);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetVertexPosition(uint32_t i, VECTOR3D* position) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v || !position) return eFAILED;
    Put3(v->afPosition, *position);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetVertexTexture1(uint32_t i, VECTOR2D* uv) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v || !uv) return eFAILED;
    PutUV(v->afUV, *uv);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetVertexNormal(uint32_t i, VECTOR3D* normal) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v || !normal) return eFAILED;
    Put3(v->afNormal, *normal);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetVertexColor(uint32_t i, uint32_t color) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v) return eFAILED;
    PutColor(v->abColor, color);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetVertexSpecular(uint32_t i, uint32_t specular) {
    VERTEX_GLES_NORMAL* v = At(i);
    if (!v) return eFAILED;
    v->dwSpecular = specular;
    return eOK;
}

eRESULT C3DObjectGLESNormal::GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv,
                                       VECTOR3D* normal, uint32_t* specular) {
    const VERTEX_GLES_NORMAL* v = At(i);
    if (!v) return eFAILED;
    if (position) *position = Take3(v->afPosition);
    if (color) *color = TakeColor(v->abColor);
    if (uv) *uv = TakeUV(v->afUV);
    if (normal) *normal = Take3(v->afNormal);
    if (specular) *specular = v->dwSpecular;
    return eOK;
}

VECTOR3D C3DObjectGLESNormal::GetVertexPosition(uint32_t i) {
    const VERTEX_GLES_NORMAL* v = At(i);
    return v ? Take3(v->afPosition) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

VECTOR2D C3DObjectGLESNormal::GetVertexTexture1(uint32_t i) {
    const VERTEX_GLES_NORMAL* v = At(i);
    return v ? TakeUV(v->afUV) : VECTOR2D{0.0f, 0.0f};
}

VECTOR3D C3DObjectGLESNormal::GetVertexNormal(uint32_t i) {
    const VERTEX_GLES_NORMAL* v = At(i);
    return v ? Take3(v->afNormal) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

uint32_t C3DObjectGLESNormal::GetVertexColor(uint32_t i) {
    const VERTEX_GLES_NORMAL* v = At(i);
    return v ? TakeColor(v->abColor) : 0;
}

uint32_t C3DObjectGLESNormal::GetVertexSpecular(uint32_t i) {
    const VERTEX_GLES_NORMAL* v = At(i);
    return v ? v->dwSpecular : 0;
}

eRESULT C3DObjectGLESNormal::SetVertexPointer(uint32_t first) {
    const VERTEX_GLES_NORMAL* v = At(first);
    if (!v) return C3DObjectGLES::SetVertexPointer(first);
    VertexArray(v);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetTexture1Pointer(uint32_t first) {
    const VERTEX_GLES_NORMAL* v = At(first);
    if (!v) return C3DObjectGLES::SetTexture1Pointer(first);
    TextureArray(v);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetNormalPointer(uint32_t first) {
    const VERTEX_GLES_NORMAL* v = At(first);
    if (!v) return C3DObjectGLES::SetNormalPointer(first);
    NormalArray(v);
    return eOK;
}

eRESULT C3DObjectGLESNormal::SetColorPointer(uint32_t first) {
    const VERTEX_GLES_NORMAL* v = At(first);
    if (!v) return C3DObjectGLES::SetColorPointer(first);
    ColorArray(v);
    return eOK;
}

// C3DObjectGLESMultiTextures

C3DObjectGLESMultiTextures::C3DObjectGLESMultiTextures() {}

C3DObjectGLESMultiTextures::~C3DObjectGLESMultiTextures() {}

VERTEX_GLES_MULTITEXTURES* C3DObjectGLESMultiTextures::At(uint32_t i) const {
    return reinterpret_cast<VERTEX_GLES_MULTITEXTURES*>(VertexAt(i, kStride));
}

eRESULT C3DObjectGLESMultiTextures::Unload() {
    FreeVertices();
    return eFAILURE(C3DObjectGLES::Unload()) ? eFAILED : eOK;
}

void* C3DObjectGLESMultiTextures::GetVertexBuffer(uint8_t& stride) {
    stride = kStride;
    return m_pVertices;
}

eRESULT C3DObjectGLESMultiTextures::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObjectGLES::InitConstruct(subObjects, vertices, indices))) return eFAILED;
    return AllocateVertices(vertices, kStride);
}

eRESULT C3DObjectGLESMultiTextures::BeginConstruct() { return C3DObjectGLES::BeginConstruct(); }

eRESULT C3DObjectGLESMultiTextures::SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv,
                                              VECTOR3D normal, uint32_t specular) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v) return eFAILED;
    Put3(v->afPosition, position);
    Put3(v->afNormal, normal);
    PutColor(v->abColor, color);
    v->dwSpecular = specular;
    PutUV(v->afUV, uv);
    PutUV(v->afUV2, uv);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexPosition(uint32_t i, VECTOR3D* position) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v || !position) return eFAILED;
    Put3(v->afPosition, *position);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexTexture1(uint32_t i, VECTOR2D* uv) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v || !uv) return eFAILED;
    PutUV(v->afUV, *uv);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexTexture2(uint32_t i, VECTOR2D* uv) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v || !uv) return eFAILED;
    PutUV(v->afUV2, *uv);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexNormal(uint32_t i, VECTOR3D* normal) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v || !normal) return eFAILED;
    Put3(v->afNormal, *normal);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexColor(uint32_t i, uint32_t color) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v) return eFAILED;
    PutColor(v->abColor, color);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexSpecular(uint32_t i, uint32_t specular) {
    VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v) return eFAILED;
    v->dwSpecular = specular;
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv,
                                              VECTOR3D* normal, uint32_t* specular) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    if (!v) return eFAILED;
    if (position) *position = Take3(v->afPosition);
    if (color) *color = TakeColor(v->abColor);
    if (uv) *uv = TakeUV(v->afUV);
    if (normal) *normal = Take3(v->afNormal);
    if (specular) *specular = v->dwSpecular;
    return eOK;
}

VECTOR3D C3DObjectGLESMultiTextures::GetVertexPosition(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? Take3(v->afPosition) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

VECTOR2D C3DObjectGLESMultiTextures::GetVertexTexture1(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? TakeUV(v->afUV) : VECTOR2D{0.0f, 0.0f};
}

VECTOR2D C3DObjectGLESMultiTextures::GetVertexTexture2(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? TakeUV(v->afUV2) : VECTOR2D{0.0f, 0.0f};
}

VECTOR3D C3DObjectGLESMultiTextures::GetVertexNormal(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? Take3(v->afNormal) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

uint32_t C3DObjectGLESMultiTextures::GetVertexColor(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? TakeColor(v->abColor) : 0;
}

uint32_t C3DObjectGLESMultiTextures::GetVertexSpecular(uint32_t i) {
    const VERTEX_GLES_MULTITEXTURES* v = At(i);
    return v ? v->dwSpecular : 0;
}

eRESULT C3DObjectGLESMultiTextures::SetVertexPointer(uint32_t first) {
    const VERTEX_GLES_MULTITEXTURES* v = At(first);
    if (!v) return C3DObjectGLES::SetVertexPointer(first);
    VertexArray(v);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetTexture1Pointer(uint32_t first) {
    const VERTEX_GLES_MULTITEXTURES* v = At(first);
    if (!v) return C3DObjectGLES::SetTexture1Pointer(first);
    TextureArray(v);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetNormalPointer(uint32_t first) {
    const VERTEX_GLES_MULTITEXTURES* v = At(first);
    if (!v) return C3DObjectGLES::SetNormalPointer(first);
    NormalArray(v);
    return eOK;
}

eRESULT C3DObjectGLESMultiTextures::SetColorPointer(uint32_t first) {
    const VERTEX_GLES_MULTITEXTURES* v = At(first);
    if (!v) return C3DObjectGLES::SetColorPointer(first);
    ColorArray(v);
    return eOK;
}

// C3DObjectGLESPointSprite

C3DObjectGLESPointSprite::C3DObjectGLESPointSprite() {}

C3DObjectGLESPointSprite::~C3DObjectGLESPointSprite() {}

VERTEX_GLES_POINTSPRITE* C3DObjectGLESPointSprite::At(uint32_t i) const {
    return reinterpret_cast<VERTEX_GLES_POINTSPRITE*>(VertexAt(i, kStride));
}

eRESULT C3DObjectGLESPointSprite::Unload() {
    FreeVertices();
    return eFAILURE(C3DObjectGLES::Unload()) ? eFAILED : eOK;
}

void* C3DObjectGLESPointSprite::GetVertexBuffer(uint8_t& stride) {
    stride = kStride;
    return m_pVertices;
}

eRESULT C3DObjectGLESPointSprite::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObjectGLES::InitConstruct(subObjects, vertices, indices))) return eFAILED;
    return AllocateVertices(vertices, kStride);
}

eRESULT C3DObjectGLESPointSprite::BeginConstruct() { return C3DObjectGLES::BeginConstruct(); }

eRESULT C3DObjectGLESPointSprite::SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D, VECTOR3D,
                                            uint32_t) {
    VERTEX_GLES_POINTSPRITE* v = At(i);
    if (!v) return eFAILED;
    Put3(v->afPosition, position);
    PutColor(v->abColor, color);
    return eOK;
}

eRESULT C3DObjectGLESPointSprite::SetVertexPosition(uint32_t i, VECTOR3D* position) {
    VERTEX_GLES_POINTSPRITE* v = At(i);
    if (!v || !position) return eFAILED;
    Put3(v->afPosition, *position);
    return eOK;
}

eRESULT C3DObjectGLESPointSprite::SetVertexColor(uint32_t i, uint32_t color) {
    VERTEX_GLES_POINTSPRITE* v = At(i);
    if (!v) return eFAILED;
    PutColor(v->abColor, color);
    return eOK;
}

eRESULT C3DObjectGLESPointSprite::GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D*, VECTOR3D*,
                                            uint32_t*) {
    const VERTEX_GLES_POINTSPRITE* v = At(i);
    if (!v) return eFAILED;
    if (position) *position = Take3(v->afPosition);
    if (color) *color = TakeColor(v->abColor);
    return eOK;
}

VECTOR3D C3DObjectGLESPointSprite::GetVertexPosition(uint32_t i) {
    const VERTEX_GLES_POINTSPRITE* v = At(i);
    return v ? Take3(v->afPosition) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

uint32_t C3DObjectGLESPointSprite::GetVertexColor(uint32_t i) {
    const VERTEX_GLES_POINTSPRITE* v = At(i);
    return v ? TakeColor(v->abColor) : 0;
}

eRESULT C3DObjectGLESPointSprite::SetVertexPointer(uint32_t first) {
    const VERTEX_GLES_POINTSPRITE* v = At(first);
    if (!v) return C3DObjectGLES::SetVertexPointer(first);
    VertexArray(v);
    return eOK;
}

eRESULT C3DObjectGLESPointSprite::SetColorPointer(uint32_t first) {
    const VERTEX_GLES_POINTSPRITE* v = At(first);
    if (!v) return C3DObjectGLES::SetColorPointer(first);
    ColorArray(v);
    return eOK;
}

// C3DObjectGLESScreen

C3DObjectGLESScreen::C3DObjectGLESScreen() {}

C3DObjectGLESScreen::~C3DObjectGLESScreen() {}

VERTEX_GLES_SCREEN* C3DObjectGLESScreen::At(uint32_t i) const {
    return reinterpret_cast<VERTEX_GLES_SCREEN*>(VertexAt(i, kStride));
}

eRESULT C3DObjectGLESScreen::Unload() {
    FreeVertices();
    return eFAILURE(C3DObjectGLES::Unload()) ? eFAILED : eOK;
}

eRESULT C3DObjectGLESScreen::RenderCamera() {
    C3DEngine* device = GetDevice();
    if (device && device->m_pCamera) device->m_pCamera->RenderScreen();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (m_pCurrentMatrix)
        glLoadMatrixf(m_pCurrentMatrix->Data());
    else
        glLoadIdentity();
    return eOK;
}

eRESULT C3DObjectGLESScreen::PostRenderCamera() { return C3DObjectGLES::PostRenderCamera(); }

void* C3DObjectGLESScreen::GetVertexBuffer(uint8_t& stride) {
    stride = kStride;
    return m_pVertices;
}

eRESULT C3DObjectGLESScreen::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObjectGLES::InitConstruct(subObjects, vertices, indices))) return eFAILED;
    return AllocateVertices(vertices, kStride);
}

eRESULT C3DObjectGLESScreen::BeginConstruct() { return C3DObjectGLES::BeginConstruct(); }

eRESULT C3DObjectGLESScreen::SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D,
                                       uint32_t) {
    VERTEX_GLES_SCREEN* v = At(i);
    if (!v) return eFAILED;
    Put3(v->afPosition, position);
    PutColor(v->abColor, color);
    PutUV(v->afUV, uv);
    return eOK;
}

eRESULT C3DObjectGLESScreen::SetVertexPosition(uint32_t i, VECTOR3D* position) {
    VERTEX_GLES_SCREEN* v = At(i);
    if (!v || !position) return eFAILED;
    Put3(v->afPosition, *position);
    return eOK;
}

eRESULT C3DObjectGLESScreen::SetVertexTexture1(uint32_t i, VECTOR2D* uv) {
    VERTEX_GLES_SCREEN* v = At(i);
    if (!v || !uv) return eFAILED;
    PutUV(v->afUV, *uv);
    return eOK;
}

eRESULT C3DObjectGLESScreen::SetVertexColor(uint32_t i, uint32_t color) {
    VERTEX_GLES_SCREEN* v = At(i);
    if (!v) return eFAILED;
    PutColor(v->abColor, color);
    return eOK;
}

eRESULT C3DObjectGLESScreen::GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D*,
                                       uint32_t*) {
    const VERTEX_GLES_SCREEN* v = At(i);
    if (!v) return eFAILED;
    if (position) *position = Take3(v->afPosition);
    if (color) *color = TakeColor(v->abColor);
    if (uv) *uv = TakeUV(v->afUV);
    return eOK;
}

VECTOR3D C3DObjectGLESScreen::GetVertexPosition(uint32_t i) {
    const VERTEX_GLES_SCREEN* v = At(i);
    return v ? Take3(v->afPosition) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

VECTOR2D C3DObjectGLESScreen::GetVertexTexture1(uint32_t i) {
    const VERTEX_GLES_SCREEN* v = At(i);
    return v ? TakeUV(v->afUV) : VECTOR2D{0.0f, 0.0f};
}

uint32_t C3DObjectGLESScreen::GetVertexColor(uint32_t i) {
    const VERTEX_GLES_SCREEN* v = At(i);
    return v ? TakeColor(v->abColor) : 0;
}

eRESULT C3DObjectGLESScreen::SetVertexPointer(uint32_t first) {
    const VERTEX_GLES_SCREEN* v = At(first);
    if (!v) return C3DObjectGLES::SetVertexPointer(first);
    VertexArray(v);
    return eOK;
}

eRESULT C3DObjectGLESScreen::SetTexture1Pointer(uint32_t first) {
    const VERTEX_GLES_SCREEN* v = At(first);
    if (!v) return C3DObjectGLES::SetTexture1Pointer(first);
    TextureArray(v);
    return eOK;
}

eRESULT C3DObjectGLESScreen::SetColorPointer(uint32_t first) {
    const VERTEX_GLES_SCREEN* v = At(first);
    if (!v) return C3DObjectGLES::SetColorPointer(first);
    ColorArray(v);
    return eOK;
}
