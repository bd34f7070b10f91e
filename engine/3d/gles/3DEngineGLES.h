// The render device on OpenGL ES 1.1 (fixed-function pipeline), and the entry
// points that plug it into the world's interface table.
#pragma once

#include "engine/3d/3DEngine.h"
#include "engine/world/SharedInfos.h"

class C3DEngineGLES : public C3DEngine {
public:
    C3DEngineGLES();
    // Deletes the camera.
    ~C3DEngineGLES() override;

    // Creates and loads the camera, then sets the fixed OpenGL ES state.
    eRESULT Load(SHARED_INFOS* infos, void* data) override;
    eRESULT Unload() override;
    eRESULT LightingOneInit(uint32_t index) override;
    eRESULT PointSpriteInit() override;
    eRESULT FogingInit() override;
    // Clears, loads the perspective projection and the view matrix, then
    // re-specifies fog and lights (so light positions are world positions).
    eRESULT BeginScene() override;
    eRESULT EndScene() override;
    void ClearScreen() override;

    C3DObject* Create3DObject(uint32_t flags, uint32_t flags2) override;
    eRESULT Delete3DObject(C3DObject* object) override;
    C3DObjectIndex* Create3DObjectIndex(uint32_t a, uint32_t b, INDEX_TYPE type) override;
    eRESULT Delete3DObjectIndex(C3DObjectIndex* index) override;
    C3DTexture* CreateTexture(uint32_t flags, uint32_t flags2) override;
    eRESULT DeleteTexture(C3DTexture* texture) override;
    C3DShader* CreateShader(uint32_t a, uint32_t b) override;
    eRESULT DeleteShader(C3DShader* shader) override;
    C3DStencilShadow* CreateStencilShadow(uint32_t a, uint32_t b) override;
    eRESULT DeleteStencilShadow(C3DStencilShadow* shadow) override;
    eRESULT StencilShadowCompatible() override;

protected:
    // The object class that `flags` selects, not yet loaded; null when the
    // flags select none.
    virtual C3DObject* New3DObject(uint32_t flags);
};

// Describes the OpenGL ES device: build stamp, "OpenGLES 1.1", version 1.0,
// flags 0x1000020.
eRESULT GetInfos_3D_GLES(ENUM_DEVICE* out);
// A new, unloaded device, as a C3DEngine* (the interface-table convention).
void* InstallApi_3D_GLES();
// Deletes a device made by InstallApi_3D_GLES; null is ignored.
void UninstallApi_3D_GLES(void* device);
