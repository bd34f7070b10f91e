// The implementations every concrete object shares: texture slots and the
// texture creators (through the render device's texture factory), and the
// end of construction with its one-shot normal computation.
#pragma once

#include <cstdint>

#include "engine/3d/3DObject.h"

class C3DObjectPrivate : public C3DObject {
public:
    C3DObjectPrivate();
    ~C3DObjectPrivate() override;

    // Pending normals (never for point sprites or screen objects; the bits
    // are consumed either way), then the render state when `applyState`.
    eRESULT EndConstruct(bool applyState) override;

    // Creators: one texture from the device, stored for sub-objects
    // 0 .. n-1 (eALL_SUBOBJECTS: all) or for one sub-object (eALL_SUBOBJECTS:
    // all). Without data, or with an empty path, the slots are cleared.
    // A texture the device cannot give fails and leaves the slots as they were.
    eRESULT MakeTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size, uint32_t n,
                                   uint32_t unit, const char* name) override;
    eRESULT MakeOneTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size, uint32_t sub,
                                      uint32_t unit, const char* name) override;
    eRESULT LoadTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer, uint32_t n,
                                  uint32_t unit) override;
    eRESULT LoadOneTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer, uint32_t sub,
                                     uint32_t unit) override;
    eRESULT LoadTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t n,
                                uint32_t unit) override;
    eRESULT LoadOneTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t sub,
                                   uint32_t unit) override;
    // Not supported: traces and fails.
    eRESULT SaveTextureToFile(const char* path) override;
    // Every non-null slot holds one use of its texture, given back to the
    // device by DeleteOneTexture and Unload: a texture spread over several
    // slots takes one more use from the device per extra slot.
    eRESULT SetTexture(C3DTexture* texture, uint32_t n, uint32_t unit) override;
    // Stores the pointer as it is (the caller hands over one use).
    eRESULT SetOneTexture(C3DTexture* texture, uint32_t sub, uint32_t unit) override;
    C3DTexture* GetOneTexture(uint32_t sub, uint32_t unit) override;
    eRESULT DeleteTexture(uint32_t n, uint32_t unit) override;
    eRESULT DeleteOneTexture(uint32_t sub, uint32_t unit) override;

private:
    // Stores a texture just obtained from the device for `sub`
    // (eALL_SUBOBJECTS: every sub-object); gives it back when it cannot.
    eRESULT StoreNewTexture(C3DTexture* texture, uint32_t n, bool oneSubObject, uint32_t unit);
    // Whether the slots a creator would fill exist.
    bool CanStore(uint32_t n, bool oneSubObject, uint32_t unit) const;
};
