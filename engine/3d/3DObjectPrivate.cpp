#include "engine/3d/3DObjectPrivate.h"

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DTexture.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Trace.h"

C3DObjectPrivate::C3DObjectPrivate() {}

C3DObjectPrivate::~C3DObjectPrivate() {}

eRESULT C3DObjectPrivate::EndConstruct(bool applyState) {
    // Sprites and screen quads have no normals to compute.
    if (!(m_dwFlags & (OBJ_POINTSPRITE | OBJ_SCREEN))) {
        if (m_dwFlags & OBJ_COMPUTE_NORMALS_SMOOTH)
            ComputeNormalsSmooth();
        else if (m_dwFlags & OBJ_COMPUTE_NORMALS)
            ComputeNormals();
    }
    m_dwFlags &= ~(OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH);
    return applyState ? CreateStateBlock() : eOK;
}

bool C3DObjectPrivate::CanStore(uint32_t n, bool oneSubObject, uint32_t unit) const {
    if (unit > 1 || !m_ppTextures) return false;
    if (oneSubObject && n != eALL_SUBOBJECTS) return TextureSlot(n, unit) != nullptr;
    return ClampCount(n) > 0;
}

eRESULT C3DObjectPrivate::StoreNewTexture(C3DTexture* texture, uint32_t n, bool oneSubObject, uint32_t unit) {
    eRESULT result;
    if (oneSubObject && n != eALL_SUBOBJECTS) {
        result = SetOneTexture(texture, n, unit);
    } else {
        const uint32_t count = ClampCount(oneSubObject ? m_dwSubObjectCount : n);
        result = SetTexture(texture, count, unit);
    }
    // The slots took their own uses; the one the device handed out for the
    // load goes back.
    if (texture) {
        if (C3DEngine* device = GetDevice()) device->DeleteTexture(texture);
    }
    return result;
}

eRESULT C3DObjectPrivate::MakeTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size,
                                                 uint32_t n, uint32_t unit, const char* name) {
    if (!CanStore(n, false, unit)) return eFAILED;
    C3DTexture* texture = nullptr;
    if (data && size) {
        C3DEngine* device = GetDevice();
        texture = device ? device->MakeTextureFromAddress(flags, flags2, data, size, name) : nullptr;
        if (!texture) return eFAILED;
    }
    return StoreNewTexture(texture, n, false, unit);
}

eRESULT C3DObjectPrivate::MakeOneTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size,
                                                    uint32_t sub, uint32_t unit, const char* name) {
    if (!CanStore(sub, true, unit)) return eFAILED;
    C3DTexture* texture = nullptr;
    if (data && size) {
        C3DEngine* device = GetDevice();
        texture = device ? device->MakeTextureFromAddress(flags, flags2, data, size, name) : nullptr;
        if (!texture) return eFAILED;
    }
    return StoreNewTexture(texture, sub, true, unit);
}

eRESULT C3DObjectPrivate::LoadTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer, uint32_t n,
                                                uint32_t unit) {
    if (!CanStore(n, false, unit)) return eFAILED;
    C3DEngine* device = GetDevice();
    C3DTexture* texture = device ? device->LoadTextureFromPacker(flags, flags2, packer) : nullptr;
    if (!texture) return eFAILED;
    return StoreNewTexture(texture, n, false, unit);
}

eRESULT C3DObjectPrivate::LoadOneTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer,
                                                   uint32_t sub, uint32_t unit) {
    if (!CanStore(sub, true, unit)) return eFAILED;
    C3DEngine* device = GetDevice();
    C3DTexture* texture = device ? device->LoadTextureFromPacker(flags, flags2, packer) : nullptr;
    if (!texture) return eFAILED;
    return StoreNewTexture(texture, sub, true, unit);
}

eRESULT C3DObjectPrivate::LoadTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t n,
                                              uint32_t unit) {
    if (!CanStore(n, false, unit)) return eFAILED;
    C3DTexture* texture = nullptr;
    if (path && path[0]) {
        C3DEngine* device = GetDevice();
        texture = device ? device->LoadTextureFromFile(flags, flags2, path) : nullptr;
        if (!texture) return eFAILED;
    }
    return StoreNewTexture(texture, n, false, unit);
}

eRESULT C3DObjectPrivate::LoadOneTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t sub,
                                                 uint32_t unit) {
    if (!CanStore(sub, true, unit)) return eFAILED;
    C3DTexture* texture = nullptr;
    if (path && path[0]) {
        C3DEngine* device = GetDevice();
        texture = device ? device->LoadTextureFromFile(flags, flags2, path) : nullptr;
        if (!texture) return eFAILED;
    }
    return StoreNewTexture(texture, sub, true, unit);
}

eRESULT C3DObjectPrivate::SaveTextureToFile(const char*) {
    eTRACE(m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr, 1,
           "# C3DObjectPrivate::SaveTextureToFile not implemented !\n");
    return eFAILED;
}

eRESULT C3DObjectPrivate::SetTexture(C3DTexture* texture, uint32_t n, uint32_t unit) {
    if (unit > 1) return eFAILED;
    n = ClampCount(n);
    for (uint32_t sub = 0; sub < n; ++sub)
        if (eFAILURE(SetOneTexture(texture, sub, unit))) return eFAILED;
    return eOK;
}

// Each slot holds one use of its texture, since Unload gives one back per
// slot: the new texture gains a use, the one it replaces loses one (in that
// order, so that setting the same texture again keeps it alive).
eRESULT C3DObjectPrivate::SetOneTexture(C3DTexture* texture, uint32_t sub, uint32_t unit) {
    C3DTexture** slot = TextureSlot(sub, unit);
    if (!slot) return eFAILED;
    C3DTexture* previous = *slot;
    C3DEngine* device = GetDevice();
    if (device) device->AddTextureUse(texture);
    *slot = texture;
    if (device && previous) device->DeleteTexture(previous);
    return eOK;
}

C3DTexture* C3DObjectPrivate::GetOneTexture(uint32_t sub, uint32_t unit) {
    C3DTexture** slot = TextureSlot(sub, unit);
    return slot ? *slot : nullptr;
}

eRESULT C3DObjectPrivate::DeleteTexture(uint32_t n, uint32_t unit) {
    if (unit > 1) return eFAILED;
    n = ClampCount(n);
    eRESULT result = eOK;
    for (uint32_t sub = 0; sub < n; ++sub)
        if (eFAILURE(DeleteOneTexture(sub, unit))) result = eFAILED;
    return result;
}

eRESULT C3DObjectPrivate::DeleteOneTexture(uint32_t sub, uint32_t unit) {
    C3DTexture** slot = TextureSlot(sub, unit);
    if (!slot) return eFAILED;
    eRESULT result = eOK;
    if (*slot) {
        C3DEngine* device = GetDevice();
        result = device ? device->DeleteTexture(*slot) : eFAILED;
    }
    *slot = nullptr;
    return result;
}
