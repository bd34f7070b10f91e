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
#include <type_traits>

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

// Which attributes a vertex record holds, found from its members.
template <class V, class = void>
struct VertexHasNormal : std::false_type {};
template <class V>
struct VertexHasNormal<V, std::void_t<decltype(&V::afNormal)>> : std::true_type {};
template <class V, class = void>
struct VertexHasUV : std::false_type {};
template <class V>
struct VertexHasUV<V, std::void_t<decltype(&V::afUV)>> : std::true_type {};
template <class V, class = void>
struct VertexHasUV2 : std::false_type {};
template <class V>
struct VertexHasUV2<V, std::void_t<decltype(&V::afUV2)>> : std::true_type {};
template <class V, class = void>
struct VertexHasSpecular : std::false_type {};
template <class V>
struct VertexHasSpecular<V, std::void_t<decltype(&V::dwSpecular)>> : std::true_type {};

// The vertex accessors and client-array set-up of one interleaved layout,
// written once over its vertex record. An attribute the record lacks goes to
// the C3DObjectGLES default (ignored when set, zero when read); a single uv
// given to SetVertex goes into every coordinate set the record has.
template <class V>
class C3DObjectGLESLayout : public C3DObjectGLES {
public:
    static constexpr uint8_t kStride = sizeof(V);

    eRESULT Unload() override;
    void* GetVertexBuffer(uint8_t& stride) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
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

protected:
    V* At(uint32_t i) const { return reinterpret_cast<V*>(VertexAt(i, kStride)); }
};

extern template class C3DObjectGLESLayout<VERTEX_GLES_NORMAL>;
extern template class C3DObjectGLESLayout<VERTEX_GLES_MULTITEXTURES>;
extern template class C3DObjectGLESLayout<VERTEX_GLES_POINTSPRITE>;
extern template class C3DObjectGLESLayout<VERTEX_GLES_SCREEN>;

class C3DObjectGLESNormal : public C3DObjectGLESLayout<VERTEX_GLES_NORMAL> {};

// The second uv set is stored, never submitted.
class C3DObjectGLESMultiTextures : public C3DObjectGLESLayout<VERTEX_GLES_MULTITEXTURES> {};

// Position and colour only.
class C3DObjectGLESPointSprite : public C3DObjectGLESLayout<VERTEX_GLES_POINTSPRITE> {};

// Screen-space quads: drawn with the screen projection and the object's
// matrix loaded as the model-view matrix.
class C3DObjectGLESScreen : public C3DObjectGLESLayout<VERTEX_GLES_SCREEN> {
public:
    // Screen projection, then the model-view matrix pushed and replaced by
    // the current matrix.
    eRESULT RenderCamera() override;
};
