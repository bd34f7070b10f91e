// The render device: the registries of every GPU-side object, texture sharing
// by name, and the per-frame protocol. C3DEngineGLES implements it.
#pragma once

#include <cstdint>

#include "engine/3d/3DObjectIndex.h"
#include "engine/utils/FIFOList.h"
#include "engine/world/ResPacker.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class CCamera;
class C3DObject;
class C3DTexture;
class C3DShader;
class C3DStencilShadow;

// Bit 0 of a creation flag word: the object may be shared.
constexpr uint32_t e3D_FLAG_SHAREABLE = 0x00000001u;
// A light count meaning every light.
constexpr uint32_t e3D_ALL_LIGHTS = 0xFFFFFFFFu;
// Number of light blocks in SHARED_INFOS.
constexpr uint32_t e3D_LIGHT_COUNT = 2;

class C3DEngine {
public:
    C3DEngine();
    // Frees the registries themselves, not what they hold: Unload does that.
    virtual ~C3DEngine();

    C3DEngine(const C3DEngine&) = delete;
    C3DEngine& operator=(const C3DEngine&) = delete;

    virtual eRESULT Load(SHARED_INFOS* infos, void* data);
    // Unloads and deletes everything still registered.
    virtual eRESULT Unload();
    virtual eRESULT LightingOneInit(uint32_t index) = 0;
    // Lights 0 .. count-1; e3D_ALL_LIGHTS and counts above the number of
    // lights mean every light.
    virtual eRESULT LightingInit(uint32_t count);
    virtual eRESULT PointSpriteInit() = 0;
    virtual eRESULT FogingInit() = 0;
    virtual eRESULT BeginScene();
    virtual eRESULT EndScene();
    virtual void ClearScreen();
    virtual C3DObject* Create3DObject(uint32_t flags, uint32_t flags2) = 0;
    virtual eRESULT Delete3DObject(C3DObject* object) = 0;
    virtual C3DObjectIndex* Create3DObjectIndex(uint32_t a, uint32_t b, INDEX_TYPE type) = 0;
    virtual eRESULT Delete3DObjectIndex(C3DObjectIndex* index) = 0;
    virtual C3DTexture* CreateTexture(uint32_t flags, uint32_t flags2) = 0;
    virtual eRESULT DeleteTexture(C3DTexture* texture) = 0;
    virtual C3DShader* CreateShader(uint32_t a, uint32_t b) = 0;
    virtual eRESULT DeleteShader(C3DShader* shader) = 0;
    virtual C3DStencilShadow* CreateStencilShadow(uint32_t a, uint32_t b) = 0;
    virtual eRESULT DeleteStencilShadow(C3DStencilShadow* shadow) = 0;
    virtual eRESULT StencilShadowCompatible() = 0;

    // Texture loading with sharing: with bit 0 of `flags`, a registered
    // shareable texture of the same flag words and name is handed out again
    // (one more DeleteTexture is then due). Null on failure.
    C3DTexture* MakeTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size,
                                       const char* name);
    C3DTexture* LoadTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer);
    C3DTexture* LoadTextureFromFile(uint32_t flags, uint32_t flags2, const char* path);
    // One more use of a registered texture, to be given back with
    // DeleteTexture; nothing for null or a texture the device does not hold.
    void AddTextureUse(C3DTexture* texture);

    SHARED_INFOS* m_pSharedInfos;
    CCamera* m_pCamera;  // owned by the implementation that creates it
    CFIFOListRecycle* m_plistObjects;
    CFIFOListRecycle* m_plistTextures;
    CFIFOListRecycle* m_plistShaders;
    CFIFOListRecycle m_listStencilShadow;
    CFIFOList* m_plistObjectsIndex;

protected:
    // The name a texture loaded from `source` ends up with (the texture-name
    // rule of SHARED_INFOS); null for null.
    const char* TextureNameOf(const char* source) const;
    // A registered shareable texture with these flag words and name; its use
    // count is raised. Null when there is none.
    C3DTexture* FindSharedTexture(uint32_t flags, uint32_t flags2, const char* name);
};
