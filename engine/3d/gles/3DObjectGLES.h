// The OpenGL ES 1.1 object: interleaved vertices in client memory, its own
// index buffer, the draw paths and the render state taken from the render
// flags. The four concrete classes (3DObjectGLESVariants.h) choose the vertex
// layout and which client arrays they supply.
//
// Every draw path brackets its work with RenderCamera / PostRenderCamera
// (model-view stack depth unchanged) and with the index buffer's
// BeginConstruct / EndConstruct(false), and leaves no client array enabled,
// so no array keeps pointing into an object that may be gone by the next
// draw. Sub-objects whose records would make OpenGL ES read outside the
// vertex or index arrays are skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/3d/3DObjectPrivate.h"

class C3DObjectGLES : public C3DObjectPrivate {
public:
    C3DObjectGLES();
    ~C3DObjectGLES() override;

    eRESULT Load(SHARED_INFOS* infos) override;
    eRESULT Unload() override;
    eRESULT FrameMove() override;
    // Perspective projection, then the model-view matrix pushed and
    // multiplied by the current matrix.
    eRESULT RenderCamera() override;
    eRESULT Render(uint32_t n) override;
    eRESULT RenderOne(uint32_t i) override;
    // The light pass: no state block, no cull mode, no texture binding.
    eRESULT RenderLight(uint32_t n) override;
    eRESULT RenderOneLight(uint32_t i) override;
    // One sub-object drawn in several calls: Initialize, RenderOneExtra any
    // number of times, Finalize.
    eRESULT InitializeRenderExtra(uint32_t i) override;
    eRESULT RenderOneExtra(uint32_t i, uint32_t a, uint32_t b, uint32_t c, uint32_t d) override;
    eRESULT FinalizeRenderExtra(uint32_t i) override;
    // Object-level part: slot arrays, then a fresh index buffer whose width
    // follows the creation flags (OBJ_INDEX16, else OBJ_INDEX32, else 32-bit
    // only for more than 65535 indices).
    eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    eRESULT SetIndex(uint32_t i, uint32_t value) override;
    uint32_t GetIndex(uint32_t i) override;
    eRESULT EndConstruct(bool applyState) override;
    eRESULT SetPrimitiveType(uint32_t type, uint32_t n) override;
    eRESULT SetOnePrimitiveType(uint32_t sub, uint32_t type) override;
    uint32_t GetOnePrimitiveType(uint32_t sub) override;
    eRESULT GetOnePrimitiveTypeEx(uint32_t sub, uint32_t* type) override;
    eRESULT SetCullMode(uint32_t mode, uint32_t n) override;
    eRESULT SetOneCullMode(uint32_t sub, uint32_t mode) override;
    uint32_t GetOneCullMode(uint32_t sub) override;
    eRESULT GetOneCullModeEx(uint32_t sub, uint32_t* mode) override;
    // Fog, alpha, point sprites, colour material, lights, lighting, depth,
    // then smooth shading, dithering and normalisation, in that order.
    // Fails without a shared record.
    eRESULT CreateStateBlock() override;
    eRESULT ApplyStateBlock() override;

    // Model-view matrix popped.
    virtual eRESULT PostRenderCamera();
    // The default depth state: test on with less-than, writes on.
    virtual eRESULT AvoidStateBlock();
    // Client arrays at vertex `first`; the defaults switch the array off
    // (the normal one also sets the current normal to 0).
    virtual eRESULT SetVertexPointer(uint32_t first);
    virtual eRESULT SetTexture1Pointer(uint32_t first);
    virtual eRESULT SetTexture2Pointer(uint32_t first);
    virtual eRESULT SetNormalPointer(uint32_t first);
    virtual eRESULT SetColorPointer(uint32_t first);
    virtual eRESULT SetSpecularPointer(uint32_t first);

    // 0 none, 1 clockwise front faces, 2 counter-clockwise front faces; the
    // back face is the culled one.
    void SetCullModeGLES(uint32_t mode);

    uint8_t* m_pVertices;  // interleaved, zero-filled by InitConstruct

protected:
    // Frees the vertex array and makes a zero-filled one of `count` vertices.
    eRESULT AllocateVertices(uint32_t count, size_t stride);
    void FreeVertices();
    // Address of vertex i, or null outside the array.
    uint8_t* VertexAt(uint32_t i, size_t stride) const;
    // The number of vertices the array holds.
    uint32_t VerticesHeld() const { return m_dwVerticesHeld; }

private:
    // Record drawn at position i (through its order) and the sub-object
    // whose textures go with it; null when either is missing.
    ATTRIBUT* RecordAt(uint32_t i, uint32_t* textureSub) const;
    // Whether drawing the record with the arrays at `vertexStart` keeps
    // OpenGL ES inside both arrays.
    bool Drawable(const ATTRIBUT* r, uint32_t vertexStart) const;
    void DisableTexturing();
    void BindTextures(const ATTRIBUT* r, uint32_t textureSub);
    void ApplyDirectColor();
    void ReleaseClientArrays();
    // Both texture-binding draw paths: positions first .. first+count-1;
    // `perRecordDisable` moves the texturing switch-off into the loop.
    eRESULT DrawPositions(uint32_t first, uint32_t count, bool perRecordDisable);
    eRESULT DrawLightPositions(uint32_t first, uint32_t count);

    uint32_t m_dwVerticesHeld;
    uint32_t m_dwExtraVertexStart;
    bool m_bExtraOpen;  // between a successful InitializeRenderExtra and its Finalize
};
