// OpenGL ES index buffers: 16-bit and 32-bit indices kept in client memory,
// one glDrawElements per sub-object record.
#pragma once

#include <cstdint>

#include "engine/3d/3DObjectIndex.h"

class C3DObjectIndexGLES : public C3DObjectIndex {
public:
    explicit C3DObjectIndexGLES(INDEX_TYPE type);
    ~C3DObjectIndexGLES() override;

    eRESULT Load(SHARED_INFOS* infos) override;
    eRESULT Unload() override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t indices) override;
};

class C3DObjectIndex16GLES : public C3DObjectIndexGLES {
public:
    C3DObjectIndex16GLES();
    ~C3DObjectIndex16GLES() override;

    // Frees the records, then the indices.
    eRESULT Unload() override;
    void* GetIndexBuffer(uint8_t& size) override;
    // Nothing for a primitive type above PRIM_POINTLIST, and nothing when the
    // record's indices would run past the array.
    eRESULT Render(ATTRIBUT* attribute) override;
    // Records, then the zero-filled indices.
    eRESULT InitConstruct(uint32_t subObjects, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    // The value is cut to 16 bits.
    eRESULT SetIndex(uint32_t i, uint32_t value) override;
    uint32_t GetIndex(uint32_t i) override;
    eRESULT EndConstruct(bool applyState) override;

    uint16_t* m_pwIndices;  // m_dwIndexCount entries
    uint16_t* m_pwAccess;   // m_pwIndices between BeginConstruct and EndConstruct
};

class C3DObjectIndex32GLES : public C3DObjectIndexGLES {
public:
    C3DObjectIndex32GLES();
    ~C3DObjectIndex32GLES() override;

    eRESULT Unload() override;
    void* GetIndexBuffer(uint8_t& size) override;
    eRESULT Render(ATTRIBUT* attribute) override;
    eRESULT InitConstruct(uint32_t subObjects, uint32_t indices) override;
    eRESULT BeginConstruct() override;
    eRESULT SetIndex(uint32_t i, uint32_t value) override;
    uint32_t GetIndex(uint32_t i) override;
    eRESULT EndConstruct(bool applyState) override;

    uint32_t* m_pdwIndices;
    uint32_t* m_pdwAccess;

private:
    bool m_bNoUintTraced;  // the missing extension is traced once per buffer
};

// The OpenGL ES mode and index count for `primitiveCount` primitives of
// `primitiveType`; false for a type that draws nothing.
bool eGLESPrimitive(uint32_t primitiveType, uint32_t primitiveCount, uint32_t* mode, uint64_t* count);
