// The implementations every concrete object shares: texture slots and the
// texture creators (through the render device's texture factory), the end of
// construction with its one-shot normal computation, the normals themselves
// (3DObjectNormals.cpp) and the procedural models and merges
// (3DObjectModels.cpp).
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

    // Vertex normals from the triangles of every sub-object (lists, strips
    // and fans; lines and points give nothing). The indices must be open.
    // Flat: each face normal is added and the sum renormalised at once.
    // Smooth: face normals weighted by the vertices' use counts, normalised,
    // then welded across vertices of one sub-object at identical positions.
    // Triangles naming a vertex the object does not have are skipped.
    eRESULT ComputeNormals() override;
    eRESULT ComputeNormalsSmooth() override;
    // normal = normalise(normal + face normal) for a, b and c.
    eRESULT ComputeOneNormals(uint32_t a, uint32_t b, uint32_t c);
    // normal = (normal + face normal) x weight for a, b and c.
    eRESULT ComputeOneNormalsSmooth(uint32_t a, uint32_t b, uint32_t c, float wa, float wb, float wc);
    eRESULT ComputeOneNormalsSmoothNormalize(uint32_t v);
    // Vertices of the record at exactly equal positions share the normalised
    // mean of their normals; the first vertex at a position leads its group.
    // Groups come from hashing the positions (buckets, then a table per
    // bucket): O(n) expected in the record's vertex count.
    eRESULT ComputeOneNormalsSmoothVertex(const ATTRIBUT* record);

    // Procedural models (MODEL_TYPE_*, records in 3DObjectModels.h) and the
    // merges of several objects into one.
    eRESULT ConstructFromModel(uint32_t model, void* parameters) override;
    eRESULT ConstructFromObjects(C3DObject** objects, uint32_t count) override;
    // A line list from each source vertex along its normal, `length` long.
    eRESULT ConstructFromObjectsNormals(C3DObject** objects, uint32_t count, float length,
                                        uint32_t color) override;

private:
    // Stores a texture just obtained from the device for `sub`
    // (eALL_SUBOBJECTS: every sub-object); gives it back when it cannot.
    eRESULT StoreNewTexture(C3DTexture* texture, uint32_t n, bool oneSubObject, uint32_t unit);
    // Whether the slots a creator would fill exist.
    bool CanStore(uint32_t n, bool oneSubObject, uint32_t unit) const;
};
