#include "engine/3d/gles/3DObjectGLES.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstdlib>
#include <initializer_list>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/gles/3DObjectIndexGLES.h"
#include "engine/world/SharedInfos.h"

C3DObjectGLES::C3DObjectGLES()
    : m_pVertices(nullptr), m_dwVerticesHeld(0), m_dwExtraVertexStart(0), m_bExtraOpen(false) {}

C3DObjectGLES::~C3DObjectGLES() { std::free(m_pVertices); }

eRESULT C3DObjectGLES::Load(SHARED_INFOS* infos) { return C3DObject::Load(infos); }

eRESULT C3DObjectGLES::Unload() {
    m_bExtraOpen = false;
    return C3DObject::Unload();
}

eRESULT C3DObjectGLES::FrameMove() { return C3DObject::FrameMove(); }

eRESULT C3DObjectGLES::AllocateVertices(uint32_t count, size_t stride) {
    FreeVertices();
    if (count > eOBJ_MAX_VERTICES) return eFAILED;
    if (count == 0) return eOK;
    m_pVertices = static_cast<uint8_t*>(std::calloc(count, stride));
    if (!m_pVertices) return eFAILED;
    m_dwVerticesHeld = count;
    return eOK;
}

void C3DObjectGLES::FreeVertices() {
    std::free(m_pVertices);
    m_pVertices = nullptr;
    m_dwVerticesHeld = 0;
}

uint8_t* C3DObjectGLES::VertexAt(uint32_t i, size_t stride) const {
    if (!m_pVertices || i >= m_dwVerticesHeld) return nullptr;
    return m_pVertices + static_cast<size_t>(i) * stride;
}

eRESULT C3DObjectGLES::RenderCamera() {
    C3DObject::RenderCamera();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (m_pCurrentMatrix) glMultMatrixf(m_pCurrentMatrix->Data());
    return eOK;
}

eRESULT C3DObjectGLES::PostRenderCamera() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return eOK;
}

eRESULT C3DObjectGLES::AvoidStateBlock() {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    return eOK;
}

eRESULT C3DObjectGLES::SetVertexPointer(uint32_t) {
    glDisableClientState(GL_VERTEX_ARRAY);
    return eOK;
}

eRESULT C3DObjectGLES::SetTexture1Pointer(uint32_t) {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    return eOK;
}

eRESULT C3DObjectGLES::SetTexture2Pointer(uint32_t) { return eOK; }

eRESULT C3DObjectGLES::SetNormalPointer(uint32_t) {
    glDisableClientState(GL_NORMAL_ARRAY);
    glNormal3f(0.0f, 0.0f, 0.0f);
    return eOK;
}

eRESULT C3DObjectGLES::SetColorPointer(uint32_t) {
    glDisableClientState(GL_COLOR_ARRAY);
    return eOK;
}

eRESULT C3DObjectGLES::SetSpecularPointer(uint32_t) { return eOK; }

void C3DObjectGLES::SetCullModeGLES(uint32_t mode) {
    if (mode == CULL_CCW) {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CW);
    } else if (mode == CULL_CW) {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
    } else {
        glDisable(GL_CULL_FACE);
        glFrontFace(GL_CW);
    }
    glCullFace(GL_BACK);
}

eRESULT C3DObjectGLES::CreateStateBlock() {
    const SHARED_INFOS* si = m_pSharedInfos;
    if (!si) return eFAILED;
    const uint32_t flags = m_dwFlags2;

    if ((flags & RENDER_FOG) && si->m_Fog.m_bEnable)
        glEnable(GL_FOG);
    else
        glDisable(GL_FOG);

    if (flags & RENDER_ALPHA) {
        glEnable(GL_ALPHA_TEST);
        glEnable(GL_BLEND);
    } else {
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_BLEND);
    }

    if (m_dwFlags & OBJ_POINTSPRITE) {
        glEnable(GL_POINT_SPRITE_OES);
        glPointSize(m_fPointSpriteSize);
    } else {
        glDisable(GL_POINT_SPRITE_OES);
        glDisableClientState(GL_POINT_SIZE_ARRAY_OES);
    }

    if (flags & RENDER_COLOR_MATERIAL)
        glEnable(GL_COLOR_MATERIAL);
    else
        glDisable(GL_COLOR_MATERIAL);

    if (flags & RENDER_LIGHT)
        glEnable(GL_LIGHT0);
    else
        glDisable(GL_LIGHT0);
    if ((flags & RENDER_LIGHT) && si->m_Light[1].m_bEnable)
        glEnable(GL_LIGHT1);
    else
        glDisable(GL_LIGHT1);

    if (flags & RENDER_LIGHTING)
        glEnable(GL_LIGHTING);
    else
        glDisable(GL_LIGHTING);

    const bool zwrite = (flags & RENDER_ZWRITE) && si->m_bDepthBuffer;
    if (flags & RENDER_ZTEST) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask(zwrite ? GL_TRUE : GL_FALSE);
    } else {
        if (zwrite) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_ALWAYS);
        } else {
            glDisable(GL_DEPTH_TEST);
            glDepthFunc(GL_NEVER);
        }
        glDepthMask(GL_TRUE);
    }

    glShadeModel(GL_SMOOTH);
    glEnable(GL_DITHER);
    glEnable(GL_NORMALIZE);
    return eOK;
}

eRESULT C3DObjectGLES::ApplyStateBlock() { return CreateStateBlock(); }

eRESULT C3DObjectGLES::InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) {
    if (eFAILURE(C3DObject::InitConstruct(subObjects, vertices, indices))) return eFAILED;

    if (m_pIndex == m_pOwnedIndex) m_pIndex = nullptr;
    if (m_pOwnedIndex) {
        if (eFAILURE(m_pOwnedIndex->Unload())) return eFAILED;
        delete m_pOwnedIndex;
        m_pOwnedIndex = nullptr;
    }

    bool wide;
    if (m_dwFlags & OBJ_INDEX16)
        wide = false;
    else if (m_dwFlags & OBJ_INDEX32)
        wide = true;
    else
        wide = indices > 0xFFFFu;
    if (wide)
        m_pOwnedIndex = new C3DObjectIndex32GLES;
    else
        m_pOwnedIndex = new C3DObjectIndex16GLES;

    if (eFAILURE(m_pOwnedIndex->Load(m_pSharedInfos)) ||
        eFAILURE(m_pOwnedIndex->InitConstruct(subObjects, indices)))
        return eFAILED;
    m_pIndex = m_pOwnedIndex;
    return eOK;
}

eRESULT C3DObjectGLES::BeginConstruct() { return m_pIndex ? m_pIndex->BeginConstruct() : eFAILED; }

eRESULT C3DObjectGLES::SetIndex(uint32_t i, uint32_t value) {
    return m_pIndex ? m_pIndex->SetIndex(i, value) : eFAILED;
}

uint32_t C3DObjectGLES::GetIndex(uint32_t i) { return m_pIndex ? m_pIndex->GetIndex(i) : eNO_VALUE; }

eRESULT C3DObjectGLES::EndConstruct(bool applyState) {
    const eRESULT result = C3DObjectPrivate::EndConstruct(applyState);
    if (m_pIndex) m_pIndex->EndConstruct(applyState);
    return result;
}

eRESULT C3DObjectGLES::SetPrimitiveType(uint32_t type, uint32_t n) { return C3DObject::SetPrimitiveType(type, n); }

eRESULT C3DObjectGLES::SetOnePrimitiveType(uint32_t sub, uint32_t type) {
    ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    if (!a) return eFAILED;
    a->dwPrimitiveType = type;
    return eOK;
}

uint32_t C3DObjectGLES::GetOnePrimitiveType(uint32_t sub) {
    const ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    return a ? a->dwPrimitiveType : eNO_VALUE;
}

eRESULT C3DObjectGLES::GetOnePrimitiveTypeEx(uint32_t sub, uint32_t* type) {
    const ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    if (!a || !type) return eFAILED;
    *type = a->dwPrimitiveType;
    return eOK;
}

eRESULT C3DObjectGLES::SetCullMode(uint32_t mode, uint32_t n) { return C3DObject::SetCullMode(mode, n); }

eRESULT C3DObjectGLES::SetOneCullMode(uint32_t sub, uint32_t mode) {
    ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    if (!a) return eFAILED;
    a->dwCullMode = mode;
    return eOK;
}

uint32_t C3DObjectGLES::GetOneCullMode(uint32_t sub) {
    const ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    return a ? a->dwCullMode : eNO_VALUE;
}

eRESULT C3DObjectGLES::GetOneCullModeEx(uint32_t sub, uint32_t* mode) {
    const ATTRIBUT* a = m_pIndex ? m_pIndex->GetSubObjParsing(sub) : nullptr;
    if (!a || !mode) return eFAILED;
    *mode = a->dwCullMode;
    return eOK;
}

// Drawing.

ATTRIBUT* C3DObjectGLES::RecordAt(uint32_t i, uint32_t* textureSub) const {
    const ATTRIBUT* position = m_pIndex ? m_pIndex->GetSubObjParsing(i) : nullptr;
    if (!position) return nullptr;
    *textureSub = position->dwOrder;
    return m_pIndex->GetSubObjParsing(position->dwOrder);
}

bool C3DObjectGLES::Drawable(const ATTRIBUT* r, uint32_t vertexStart) const {
    uint32_t mode = 0;
    uint64_t count = 0;
    if (!r || !m_pIndex) return false;
    // A type that draws nothing, or no primitive: nothing is read.
    if (!eGLESPrimitive(r->dwPrimitiveType, r->dwPrimitiveCount, &mode, &count) || count == 0) return true;
    if (static_cast<uint64_t>(r->dwIndexStart) + count > m_pIndex->m_dwIndexCount) return false;
    // The largest vertex the draw would reach must be in the array; it is
    // worked out once per range until an index changes.
    uint32_t largest = 0;
    if (!m_pIndex->LargestIndex(r->dwIndexStart, count, &largest)) return false;
    return static_cast<uint64_t>(vertexStart) + largest < m_dwVerticesHeld;
}

void C3DObjectGLES::DisableTexturing() {
    for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1}) {
        glActiveTexture(unit);
        glDisable(GL_TEXTURE_2D);
    }
}

void C3DObjectGLES::BindTextures(const ATTRIBUT* r, uint32_t textureSub) {
    const uint32_t flags = m_dwFlags2;
    if (flags & RENDER_NO_TEXTURE) return;
    uint32_t units = 0;
    if (flags & RENDER_TEXTURE2)
        units = 2;
    else if (flags & RENDER_TEXTURE1)
        units = 1;
    for (uint32_t unit = 0; unit < units; ++unit) {
        C3DTexture** slot = TextureSlot(textureSub, unit);
        if (!slot || !*slot) continue;
        glClientActiveTexture(GL_TEXTURE0 + unit);
        // Both units read the first coordinate set.
        SetTexture1Pointer(r->dwVertexStart);
        (*slot)->Render(flags, unit);
    }
}

void C3DObjectGLES::ApplyDirectColor() {
    if (!(m_dwFlags2 & RENDER_DIRECT_COLOR)) return;
    const uint32_t c = m_dwDirectColor;
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(((c >> 16) & 0xFFu) / 255.0f, ((c >> 8) & 0xFFu) / 255.0f, (c & 0xFFu) / 255.0f,
              ((c >> 24) & 0xFFu) / 255.0f);
}

void C3DObjectGLES::ReleaseClientArrays() {
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
        glClientActiveTexture(unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glActiveTexture(GL_TEXTURE0);
}

eRESULT C3DObjectGLES::DrawPositions(uint32_t first, uint32_t count, bool perRecordDisable) {
    if (!m_pIndex) return eFAILED;
    const bool stateBlock = (m_dwFlags2 & RENDER_STATEBLOCK) != 0;
    if (stateBlock) ApplyStateBlock();
    RenderCamera();
    if (!perRecordDisable) DisableTexturing();
    // A draw the index buffer refuses fails the whole call, the others
    // still drawn.
    eRESULT result = eOK;
    m_pIndex->BeginConstruct();
    for (uint32_t i = first; i < first + count; ++i) {
        uint32_t textureSub = 0;
        ATTRIBUT* r = RecordAt(i, &textureSub);
        if (!r || !Drawable(r, r->dwVertexStart)) continue;
        SetCullModeGLES(r->dwCullMode);
        SetVertexPointer(r->dwVertexStart);
        SetColorPointer(r->dwVertexStart);
        SetNormalPointer(r->dwVertexStart);
        if (perRecordDisable) DisableTexturing();
        BindTextures(r, textureSub);
        ApplyDirectColor();
        if (eFAILURE(m_pIndex->Render(r))) result = eFAILED;
    }
    m_pIndex->EndConstruct(false);
    if (stateBlock) AvoidStateBlock();
    PostRenderCamera();
    ReleaseClientArrays();
    return result;
}

eRESULT C3DObjectGLES::Render(uint32_t n) { return DrawPositions(0, ClampCount(n), false); }

eRESULT C3DObjectGLES::RenderOne(uint32_t i) {
    if (i >= m_dwSubObjectCount) return eFAILED;
    return DrawPositions(i, 1, true);
}

eRESULT C3DObjectGLES::DrawLightPositions(uint32_t first, uint32_t count) {
    if (!m_pIndex) return eFAILED;
    RenderCamera();
    eRESULT result = eOK;
    m_pIndex->BeginConstruct();
    for (uint32_t i = first; i < first + count; ++i) {
        uint32_t textureSub = 0;
        ATTRIBUT* r = RecordAt(i, &textureSub);
        if (!r || !Drawable(r, r->dwVertexStart)) continue;
        SetVertexPointer(r->dwVertexStart);
        SetTexture1Pointer(r->dwVertexStart);
        SetColorPointer(r->dwVertexStart);
        SetNormalPointer(r->dwVertexStart);
        ApplyDirectColor();
        if (eFAILURE(m_pIndex->Render(r))) result = eFAILED;
    }
    m_pIndex->EndConstruct(false);
    PostRenderCamera();
    ReleaseClientArrays();
    return result;
}

eRESULT C3DObjectGLES::RenderLight(uint32_t n) { return DrawLightPositions(0, ClampCount(n)); }

eRESULT C3DObjectGLES::RenderOneLight(uint32_t i) {
    if (i >= m_dwSubObjectCount) return eFAILED;
    return DrawLightPositions(i, 1);
}

eRESULT C3DObjectGLES::InitializeRenderExtra(uint32_t i) {
    uint32_t textureSub = 0;
    ATTRIBUT* r = m_bExtraOpen ? nullptr : RecordAt(i, &textureSub);
    if (!r) return eFAILED;
    if (m_dwFlags2 & RENDER_STATEBLOCK) ApplyStateBlock();
    RenderCamera();
    m_pIndex->BeginConstruct();
    SetCullModeGLES(r->dwCullMode);
    SetVertexPointer(r->dwVertexStart);
    SetNormalPointer(r->dwVertexStart);
    if (m_dwFlags2 & RENDER_DIRECT_COLOR)
        glDisableClientState(GL_COLOR_ARRAY);
    else
        SetColorPointer(r->dwVertexStart);
    DisableTexturing();
    BindTextures(r, textureSub);
    m_dwExtraVertexStart = r->dwVertexStart;
    m_bExtraOpen = true;
    return eOK;
}

eRESULT C3DObjectGLES::RenderOneExtra(uint32_t i, uint32_t, uint32_t, uint32_t, uint32_t) {
    if (!m_bExtraOpen || !m_pIndex) return eFAILED;
    ATTRIBUT* r = m_pIndex->GetSubObjParsing(i);
    if (!r) return eFAILED;
    ApplyDirectColor();
    // The arrays point at the vertices of the record Initialize chose.
    if (Drawable(r, m_dwExtraVertexStart)) return m_pIndex->Render(r);
    return eOK;
}

eRESULT C3DObjectGLES::FinalizeRenderExtra(uint32_t) {
    if (!m_bExtraOpen) return eFAILED;
    m_bExtraOpen = false;
    if (m_pIndex) m_pIndex->EndConstruct(false);
    if (m_dwFlags2 & RENDER_STATEBLOCK) AvoidStateBlock();
    PostRenderCamera();
    ReleaseClientArrays();
    return eOK;
}
