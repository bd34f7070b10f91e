#include "engine/3d/gles/3DObjectIndexGLES.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstdlib>

#include "engine/3d/gles/GLESErrors.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

#ifndef GL_UNSIGNED_INT
#define GL_UNSIGNED_INT 0x1405  // through GL_OES_element_index_uint
#endif

namespace {

// The indices a record draws, when they lie inside an array of `total`.
bool DrawRange(const ATTRIBUT* a, uint32_t total, GLenum* mode, GLsizei* count) {
    uint32_t m = 0;
    uint64_t n = 0;
    if (!a || !eGLESPrimitive(a->dwPrimitiveType, a->dwPrimitiveCount, &m, &n)) return false;
    if (n == 0 || static_cast<uint64_t>(a->dwIndexStart) + n > total) return false;
    *mode = m;
    *count = static_cast<GLsizei>(n);
    return true;
}

// Frees `array` and makes a zero-filled one of `count` entries; false when
// that fails (the array is then null).
template <class T>
bool Reallocate(T*& array, uint32_t count) {
    std::free(array);
    array = nullptr;
    if (count == 0) return true;
    array = static_cast<T*>(std::calloc(count, sizeof(T)));
    return array != nullptr;
}

// Looked up once: every context of the process comes from the same driver.
bool HasUintIndices() {
    static int known = -1;
    if (known < 0) {
        if (!glGetString(GL_EXTENSIONS)) return false;  // no context yet: ask again later
        known = eGLESHasExtension("GL_OES_element_index_uint") ? 1 : 0;
    }
    return known == 1;
}

}  // namespace

bool eGLESPrimitive(uint32_t primitiveType, uint32_t primitiveCount, uint32_t* mode, uint64_t* count) {
    const uint64_t n = primitiveCount;
    switch (primitiveType) {
        case 0: *mode = GL_TRIANGLE_STRIP; *count = n + 2; return true;
        case 1: *mode = GL_TRIANGLES; *count = 3 * n; return true;
        case 2: *mode = GL_TRIANGLE_FAN; *count = n + 2; return true;
        case 3: *mode = GL_LINES; *count = 2 * n; return true;
        case 4: *mode = GL_LINE_STRIP; *count = n + 1; return true;
        case 5: *mode = GL_POINTS; *count = n; return true;
        default: return false;
    }
}

C3DObjectIndexGLES::C3DObjectIndexGLES(INDEX_TYPE type) : C3DObjectIndex(type) {}

C3DObjectIndexGLES::~C3DObjectIndexGLES() {}

eRESULT C3DObjectIndexGLES::Load(SHARED_INFOS* infos) {
    C3DObjectIndex::Load(infos);
    return eOK;
}

eRESULT C3DObjectIndexGLES::Unload() { return C3DObjectIndex::Unload(); }

eRESULT C3DObjectIndexGLES::InitConstruct(uint32_t subObjects, uint32_t indices) {
    return C3DObjectIndex::InitConstruct(subObjects, indices);
}

// 16-bit indices.

C3DObjectIndex16GLES::C3DObjectIndex16GLES() : C3DObjectIndexGLES(INDEX_16), m_pwIndices(nullptr), m_pwAccess(nullptr) {}

C3DObjectIndex16GLES::~C3DObjectIndex16GLES() { std::free(m_pwIndices); }

eRESULT C3DObjectIndex16GLES::Unload() {
    const eRESULT result = C3DObjectIndexGLES::Unload();
    std::free(m_pwIndices);
    m_pwIndices = m_pwAccess = nullptr;
    return result;
}

void* C3DObjectIndex16GLES::GetIndexBuffer(uint8_t& size) {
    size = sizeof(uint16_t);
    return m_pwIndices;
}

eRESULT C3DObjectIndex16GLES::Render(ATTRIBUT* attribute) {
    GLenum mode = 0;
    GLsizei count = 0;
    if (!m_pwIndices || !DrawRange(attribute, m_dwIndexCount, &mode, &count)) return eOK;
    glDrawElements(mode, count, GL_UNSIGNED_SHORT, m_pwIndices + attribute->dwIndexStart);
    return eOK;
}

eRESULT C3DObjectIndex16GLES::InitConstruct(uint32_t subObjects, uint32_t indices) {
    m_pwAccess = nullptr;
    if (eFAILURE(C3DObjectIndexGLES::InitConstruct(subObjects, indices))) return eFAILED;
    if (!Reallocate(m_pwIndices, indices)) {
        m_dwIndexCount = 0;
        return eFAILED;
    }
    return eOK;
}

eRESULT C3DObjectIndex16GLES::BeginConstruct() {
    m_pwAccess = m_pwIndices;
    return eOK;
}

eRESULT C3DObjectIndex16GLES::SetIndex(uint32_t i, uint32_t value) {
    if (!m_pwAccess || i >= m_dwIndexCount) return eFAILED;
    m_pwAccess[i] = static_cast<uint16_t>(value);
    IndicesChanged();
    return eOK;
}

uint32_t C3DObjectIndex16GLES::GetIndex(uint32_t i) {
    if (!m_pwAccess || i >= m_dwIndexCount) return eNO_VALUE;
    return m_pwAccess[i];
}

eRESULT C3DObjectIndex16GLES::EndConstruct(bool) {
    m_pwAccess = nullptr;
    return eOK;
}

// 32-bit indices.

C3DObjectIndex32GLES::C3DObjectIndex32GLES()
    : C3DObjectIndexGLES(INDEX_32), m_pdwIndices(nullptr), m_pdwAccess(nullptr), m_bNoUintTraced(false) {}

C3DObjectIndex32GLES::~C3DObjectIndex32GLES() { std::free(m_pdwIndices); }

eRESULT C3DObjectIndex32GLES::Unload() {
    const eRESULT result = C3DObjectIndexGLES::Unload();
    std::free(m_pdwIndices);
    m_pdwIndices = m_pdwAccess = nullptr;
    return result;
}

void* C3DObjectIndex32GLES::GetIndexBuffer(uint8_t& size) {
    size = sizeof(uint32_t);
    return m_pdwIndices;
}

eRESULT C3DObjectIndex32GLES::Render(ATTRIBUT* attribute) {
    GLenum mode = 0;
    GLsizei count = 0;
    if (!m_pdwIndices || !DrawRange(attribute, m_dwIndexCount, &mode, &count)) return eOK;
    // OpenGL ES 1.1 draws 32-bit indices only through an extension; without
    // it the draw would be refused silently.
    if (!HasUintIndices()) {
        if (!m_bNoUintTraced)
            eTRACE(m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr, 1,
                   "# C3DObjectIndex32GLES::Render refused: 32-bit indices need GL_OES_element_index_uint\n");
        m_bNoUintTraced = true;
        return eFAILED;
    }
    glDrawElements(mode, count, GL_UNSIGNED_INT, m_pdwIndices + attribute->dwIndexStart);
    return eOK;
}

eRESULT C3DObjectIndex32GLES::InitConstruct(uint32_t subObjects, uint32_t indices) {
    m_pdwAccess = nullptr;
    if (eFAILURE(C3DObjectIndexGLES::InitConstruct(subObjects, indices))) return eFAILED;
    if (!Reallocate(m_pdwIndices, indices)) {
        m_dwIndexCount = 0;
        return eFAILED;
    }
    return eOK;
}

eRESULT C3DObjectIndex32GLES::BeginConstruct() {
    m_pdwAccess = m_pdwIndices;
    return eOK;
}

eRESULT C3DObjectIndex32GLES::SetIndex(uint32_t i, uint32_t value) {
    if (!m_pdwAccess || i >= m_dwIndexCount) return eFAILED;
    m_pdwAccess[i] = value;
    IndicesChanged();
    return eOK;
}

uint32_t C3DObjectIndex32GLES::GetIndex(uint32_t i) {
    if (!m_pdwAccess || i >= m_dwIndexCount) return eNO_VALUE;
    return m_pdwAccess[i];
}

eRESULT C3DObjectIndex32GLES::EndConstruct(bool) {
    m_pdwAccess = nullptr;
    return eOK;
}
