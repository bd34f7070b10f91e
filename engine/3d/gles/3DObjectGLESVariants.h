// The four OpenGL ES object classes and their interleaved vertex layouts.
//
// Every setter takes colours as 0xAARRGGBB and stores the bytes R, G, B, A
// (an unsigned-byte RGBA colour array), and takes texture coordinates
// (u, v) and stores (u, 1 - v); the getters undo both. Specular values are
// stored as given. Attributes a class does not store are ignored by its
// setters and answered as zero by its getters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/3d/gles/3DObjectGLES.h"

// 40 bytes: position, normal, colour, specular, uv.
struct VERTEX_GLES_NORMAL {
    float afPosition[3];
    float afNormal[3];
    uint8_t abColor[4];
    uint32_t dwSpecular;
    float afUV[2];
};

// 48 bytes: as above with a second uv set (stored, never submitted).
struct VERTEX_GLES_MULTITEXTURES {
    float afPosition[3];
    float afNormal[3];
    uint8_t abColor[4];
    uint32_t dwSpecular;
    float afUV[2];
    float afUV2[2];
};

// 16 bytes: position, colour.
struct VERTEX_GLES_POINTSPRITE {
    float afPosition[3];
    uint8_t abColor[4];
};

// 24 bytes: position, colour, uv.
struct VERTEX_GLES_SCREEN {
    float afPosition[3];
    uint8_t abColor[4];
    float afUV[2];
};

static_assert(sizeof(VERTEX_GLES_NORMAL) == 40, "normal vertex layout");
static_assert(offsetof(VERTEX_GLES_NORMAL, afNormal) == 12 && offsetof(VERTEX_GLES_NORMAL, abColor) == 24 &&
                  offsetof(VERTEX_GLES_NORMAL, dwSpecular) == 28 && offsetof(VERTEX_GLES_NORMAL, afUV) == 32,
              "normal vertex layout");
static_assert(sizeof(VERTEX_GLES_MULTITEXTURES) == 48 && offsetof(VERTEX_GLES_MULTITEXTURES, afUV2) == 40,
              "multi-texture vertex layout");
static_assert(sizeof(VERTEX_GLES_POINTSPRITE) == 16 && offsetof(VERTEX_GLES_POINTSPRITE, abColor) == 12,
              "point-sprite vertex layout");
static_assert(sizeof(VERTEX_GLES_SCREEN) == 24 && offsetof(VERTEX_GLES_SCREEN, abColor) == 12 &&
                  offsetof(VERTEX_GLES_SCREEN, afUV) == 16,
              "screen vertex layout");

class C3DObjectGLESNormal : public C3DObjectGLES {
public:
    static constexpr uint8_t kStride = sizeof(VERTEX_GLES_NORMAL);

    C3DObjectGLESNormal();
    ~C3DObjectGLESNormal() override;

    eRESULT Unload() override;
    void* GetVertexBuffer(uint8_t& stride) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    eRESULT SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                      uint32_t specular) override;
    eRESULT SetVertexPosition(uint32_t i, VECTOR3D* position) override;
    eRESULT SetVertexTexture1(uint32_t i, VECTOR2D* uv) override;
    eRESULT SetVertexNormal(uint32_t i, VECTOR3D* normal) override;
    eRESULT SetVertexColor(uint32_t i, uint32_t color) override;
    eRESULT SetVertexSpecular(uint32_t i, uint32_t specular) override;
    eRESULT GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D* normal,
                      uint32_t* specular) override;
    VECTOR3D GetVertexPosition(uint32_t i) override;
    VECTOR2D GetVertexTexture1(uint32_t i) override;
    VECTOR3D GetVertexNormal(uint32_t i) override;
    uint32_t GetVertexColor(uint32_t i) override;
    uint32_t GetVertexSpecular(uint32_t i) override;
    eRESULT SetVertexPointer(uint32_t first) override;
    eRESULT SetTexture1Pointer(uint32_t first) override;
    eRESULT SetNormalPointer(uint32_t first) override;
    eRESULT SetColorPointer(uint32_t first) override;

private:
    VERTEX_GLES_NORMAL* At(uint32_t i) const;
};

class C3DObjectGLESMultiTextures : public C3DObjectGLES {
public:
    static constexpr uint8_t kStride = sizeof(VERTEX_GLES_MULTITEXTURES);

    C3DObjectGLESMultiTextures();
    ~C3DObjectGLESMultiTextures() override;

    eRESULT Unload() override;
    void* GetVertexBuffer(uint8_t& stride) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    // The single uv goes into both coordinate sets.
    eRESULT SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                      uint32_t specular) override;
    eRESULT SetVertexPosition(uint32_t i, VECTOR3D* position) override;
    eRESULT SetVertexTexture1(uint32_t i, VECTOR2D* uv) override;
    eRESULT SetVertexTexture2(uint32_t i, VECTOR2D* uv) override;
    eRESULT SetVertexNormal(uint32_t i, VECTOR3D* normal) override;
    eRESULT SetVertexColor(uint32_t i, uint32_t color) override;
    eRESULT SetVertexSpecular(uint32_t i, uint32_t specular) override;
    eRESULT GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D* normal,
                      uint32_t* specular) override;
    VECTOR3D GetVertexPosition(uint32_t i) override;
    VECTOR2D GetVertexTexture1(uint32_t i) override;
    VECTOR2D GetVertexTexture2(uint32_t i) override;
    VECTOR3D GetVertexNormal(uint32_t i) override;
    uint32_t GetVertexColor(uint32_t i) override;
    uint32_t GetVertexSpecular(uint32_t i) override;
    eRESULT SetVertexPointer(uint32_t first) override;
    eRESULT SetTexture1Pointer(uint32_t first) override;
    eRESULT SetNormalPointer(uint32_t first) override;
    eRESULT SetColorPointer(uint32_t first) override;

private:
    VERTEX_GLES_MULTITEXTURES* At(uint32_t i) const;
};

class C3DObjectGLESPointSprite : public C3DObjectGLES {
public:
    static constexpr uint8_t kStride = sizeof(VERTEX_GLES_POINTSPRITE);

    C3DObjectGLESPointSprite();
    ~C3DObjectGLESPointSprite() override;

    eRESULT Unload() override;
    void* GetVertexBuffer(uint8_t& stride) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    // Position and colour only.
    eRESULT SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                      uint32_t specular) override;
    eRESULT SetVertexPosition(uint32_t i, VECTOR3D* position) override;
    eRESULT SetVertexColor(uint32_t i, uint32_t color) override;
    eRESULT GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D* normal,
                      uint32_t* specular) override;
    VECTOR3D GetVertexPosition(uint32_t i) override;
    uint32_t GetVertexColor(uint32_t i) override;
    eRESULT SetVertexPointer(uint32_t first) override;
    eRESULT SetColorPointer(uint32_t first) override;

private:
    VERTEX_GLES_POINTSPRITE* At(uint32_t i) const;
};

// Screen-space quads: drawn with the screen projection and the object's
// matrix loaded as the model-view matrix.
class C3DObjectGLESScreen : public C3DObjectGLES {
public:
    static constexpr uint8_t kStride = sizeof(VERTEX_GLES_SCREEN);

    C3DObjectGLESScreen();
    ~C3DObjectGLESScreen() override;

    eRESULT Unload() override;
    // Screen projection, then the model-view matrix pushed and replaced by
    // the current matrix.
    eRESULT RenderCamera() override;
    eRESULT PostRenderCamera() override;
    void* GetVertexBuffer(uint8_t& stride) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    // Position, colour and uv.
    eRESULT SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                      uint32_t specular) override;
    eRESULT SetVertexPosition(uint32_t i, VECTOR3D* position) override;
    eRESULT SetVertexTexture1(uint32_t i, VECTOR2D* uv) override;
    eRESULT SetVertexColor(uint32_t i, uint32_t color) override;
    eRESULT GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D* normal,
                      uint32_t* specular) override;
    VECTOR3D GetVertexPosition(uint32_t i) override;
    VECTOR2D GetVertexTexture1(uint32_t i) override;
    uint32_t GetVertexColor(uint32_t i) override;
    eRESULT SetVertexPointer(uint32_t first) override;
    eRESULT SetTexture1Pointer(uint32_t first) override;
    eRESULT SetColorPointer(uint32_t first) override;

private:
    VERTEX_GLES_SCREEN* At(uint32_t i) const;
};
