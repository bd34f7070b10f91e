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

}  // namespace

template <class V>
eRESULT C3DObjectGLESLayout<V>::Unload() {
    FreeVertices();
    return eFAILURE(C3DObjectGLES::Unload()) ? eFAILED : eOK;
}

template <class V>
void* C3DObjectGLESLayout<V>::GetVertexBuffer(uint8_t& stride) {
    stride = kStride;
    return m_pVertices;
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObjectGLES::InitConstruct(subObjects, vertices, indices))) return eFAILED;
    return AllocateVertices(vertices, kStride);
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv,
                                          VECTOR3D normal, uint32_t specular) {
    V* v = At(i);
    if (!v) return eFAILED;
    Put3(v->afPosition, position);
    if constexpr (VertexHasNormal<V>::value) Put3(v->afNormal, normal);
    PutColor(v->abColor, color);
    if constexpr (VertexHasSpecular<V>::value) v->dwSpecular = specular;
    if constexpr (VertexHasUV<V>::value) PutUV(v->afUV, uv);
    if constexpr (VertexHasUV2<V>::value) PutUV(v->afUV2, uv);
    (void)normal;
    (void)specular;
    (void)uv;
    return eOK;
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexPosition(uint32_t i, VECTOR3D* position) {
    V* v = At(i);
    if (!v || !position) return eFAILED;
    Put3(v->afPosition, *position);
    return eOK;
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexTexture1(uint32_t i, VECTOR2D* uv) {
    if constexpr (VertexHasUV<V>::value) {
        V* v = At(i);
        if (!v || !uv) return eFAILED;
        PutUV(v->afUV, *uv);
        return eOK;
    } else {
        return C3DObjectGLES::SetVertexTexture1(i, uv);
    }
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexTexture2(uint32_t i, VECTOR2D* uv) {
    if constexpr (VertexHasUV2<V>::value) {
        V* v = At(i);
        if (!v || !uv) return eFAILED;
        PutUV(v->afUV2, *uv);
        return eOK;
    } else {
        return C3DObjectGLES::SetVertexTexture2(i, uv);
    }
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexNormal(uint32_t i, VECTOR3D* normal) {
    if constexpr (VertexHasNormal<V>::value) {
        V* v = At(i);
        if (!v || !normal) return eFAILED;
        Put3(v->afNormal, *normal);
        return eOK;
    } else {
        return C3DObjectGLES::SetVertexNormal(i, normal);
    }
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexColor(uint32_t i, uint32_t color) {
    V* v = At(i);
    if (!v) return eFAILED;
    PutColor(v->abColor, color);
    return eOK;
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexSpecular(uint32_t i, uint32_t specular) {
    if constexpr (VertexHasSpecular<V>::value) {
        V* v = At(i);
        if (!v) return eFAILED;
        v->dwSpecular = specular;
        return eOK;
    } else {
        return C3DObjectGLES::SetVertexSpecular(i, specular);
    }
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv,
                                          VECTOR3D* normal, uint32_t* specular) {
    const V* v = At(i);
    if (!v) return eFAILED;
    if (position) *position = Take3(v->afPosition);
    if (color) *color = TakeColor(v->abColor);
    if constexpr (VertexHasUV<V>::value) {
        if (uv) *uv = TakeUV(v->afUV);
    }
    if constexpr (VertexHasNormal<V>::value) {
        if (normal) *normal = Take3(v->afNormal);
    }
    if constexpr (VertexHasSpecular<V>::value) {
        if (specular) *specular = v->dwSpecular;
    }
    (void)uv;
    (void)normal;
    (void)specular;
    return eOK;
}

template <class V>
VECTOR3D C3DObjectGLESLayout<V>::GetVertexPosition(uint32_t i) {
    const V* v = At(i);
    return v ? Take3(v->afPosition) : VECTOR3D{0.0f, 0.0f, 0.0f};
}

template <class V>
VECTOR2D C3DObjectGLESLayout<V>::GetVertexTexture1(uint32_t i) {
    if constexpr (VertexHasUV<V>::value) {
        const V* v = At(i);
        return v ? TakeUV(v->afUV) : VECTOR2D{0.0f, 0.0f};
    } else {
        return C3DObjectGLES::GetVertexTexture1(i);
    }
}

template <class V>
VECTOR2D C3DObjectGLESLayout<V>::GetVertexTexture2(uint32_t i) {
    if constexpr (VertexHasUV2<V>::value) {
        const V* v = At(i);
        return v ? TakeUV(v->afUV2) : VECTOR2D{0.0f, 0.0f};
    } else {
        return C3DObjectGLES::GetVertexTexture2(i);
    }
}

template <class V>
VECTOR3D C3DObjectGLESLayout<V>::GetVertexNormal(uint32_t i) {
    if constexpr (VertexHasNormal<V>::value) {
        const V* v = At(i);
        return v ? Take3(v->afNormal) : VECTOR3D{0.0f, 0.0f, 0.0f};
    } else {
        return C3DObjectGLES::GetVertexNormal(i);
    }
}

template <class V>
uint32_t C3DObjectGLESLayout<V>::GetVertexColor(uint32_t i) {
    const V* v = At(i);
    return v ? TakeColor(v->abColor) : 0;
}

template <class V>
uint32_t C3DObjectGLESLayout<V>::GetVertexSpecular(uint32_t i) {
    if constexpr (VertexHasSpecular<V>::value) {
        const V* v = At(i);
        return v ? v->dwSpecular : 0;
    } else {
        return C3DObjectGLES::GetVertexSpecular(i);
    }
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetVertexPointer(uint32_t first) {
    const V* v = At(first);
    if (!v) return C3DObjectGLES::SetVertexPointer(first);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(V), v->afPosition);
    return eOK;
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetTexture1Pointer(uint32_t first) {
    if constexpr (VertexHasUV<V>::value) {
        const V* v = At(first);
        if (v) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, sizeof(V), v->afUV);
            return eOK;
        }
    }
    return C3DObjectGLES::SetTexture1Pointer(first);
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetNormalPointer(uint32_t first) {
    if constexpr (VertexHasNormal<V>::value) {
        const V* v = At(first);
        if (v) {
            glEnableClientState(GL_NORMAL_ARRAY);
            glNormalPointer(GL_FLOAT, sizeof(V), v->afNormal);
            return eOK;
        }
    }
    return C3DObjectGLES::SetNormalPointer(first);
}

template <class V>
eRESULT C3DObjectGLESLayout<V>::SetColorPointer(uint32_t first) {
    const V* v = At(first);
    if (!v) return C3DObjectGLES::SetColorPointer(first);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(V), v->abColor);
    return eOK;
}

template class C3DObjectGLESLayout<VERTEX_GLES_NORMAL>;
template class C3DObjectGLESLayout<VERTEX_GLES_MULTITEXTURES>;
template class C3DObjectGLESLayout<VERTEX_GLES_POINTSPRITE>;
template class C3DObjectGLESLayout<VERTEX_GLES_SCREEN>;

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
