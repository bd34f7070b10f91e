// A renderable object: a vertex array, one index buffer and a list of
// sub-objects, each a run of indices drawn with one primitive type and one
// cull mode, with two texture slots and a material of its own.
//
// Objects are made and destroyed by the render device only
// (Create3DObject / Delete3DObject); the concrete classes live with the 3D
// interface. This class is the interface and the data every object has; most
// operations here are neutral defaults.
//
// Construction, in calling order: InitConstruct, BeginConstruct, the indices
// (SetIndex or SetIndexIncrementaly), the vertices, SetSubObjParsingEx per
// sub-object, EndConstruct(true), then the textures.
//
// Sub-object, vertex and index numbers outside what InitConstruct made are
// refused: setters fail, getters answer a neutral value.
#pragma once

#include <cstdint>

#include "engine/3d/Types3D.h"
#include "engine/world/ResPacker.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;
class C3DEngine;
class C3DObjectIndex;
class C3DObjectRaw;
class C3DTexture;

// Creation flags (the first word given to Create3DObject).
constexpr uint32_t OBJ_RECYCLED = 0x00000001u;       // the registry entry may be shared
constexpr uint32_t OBJ_NORMAL = 0x00000002u;         // 40-byte vertex
constexpr uint32_t OBJ_MULTITEXTURES = 0x00000004u;  // 48-byte vertex
constexpr uint32_t OBJ_POINTSPRITE = 0x00000008u;    // 16-byte vertex
constexpr uint32_t OBJ_SCREEN = 0x00000010u;         // 24-byte vertex
constexpr uint32_t OBJ_COMPUTE_NORMALS = 0x00000400u;         // flat, at the next EndConstruct
constexpr uint32_t OBJ_COMPUTE_NORMALS_SMOOTH = 0x00000800u;  // smooth, wins over flat
constexpr uint32_t OBJ_INDEX16 = 0x00001000u;
constexpr uint32_t OBJ_INDEX32 = 0x00002000u;
constexpr uint32_t OBJ_DIRECT_COLOR = 0x00004000u;
// The bits that choose a concrete class; an object without one is not ours.
constexpr uint32_t OBJ_CLASS_MASK = OBJ_NORMAL | OBJ_MULTITEXTURES | OBJ_POINTSPRITE | OBJ_SCREEN;

// Render flags (the second word given to Create3DObject).
constexpr uint32_t RENDER_LIGHT = 0x00000001u;
constexpr uint32_t RENDER_LIGHTING = 0x00000002u;
constexpr uint32_t RENDER_FOG = 0x00000004u;
constexpr uint32_t RENDER_ALPHA = 0x00000008u;
constexpr uint32_t RENDER_COLOR_MATERIAL = 0x00000020u;
constexpr uint32_t RENDER_CULL_NONE = 0x00000040u;
constexpr uint32_t RENDER_CULL_CCW = 0x00000080u;
constexpr uint32_t RENDER_CULL_CW = 0x00000100u;
constexpr uint32_t RENDER_STATEBLOCK = 0x00000400u;
constexpr uint32_t RENDER_TEXTURE1 = 0x00000800u;
constexpr uint32_t RENDER_TEXTURE2 = 0x00001000u;
constexpr uint32_t RENDER_NO_TEXTURE = 0x00004000u;
constexpr uint32_t RENDER_ZTEST = 0x00008000u;
constexpr uint32_t RENDER_ZWRITE = 0x00010000u;
constexpr uint32_t RENDER_DIRECT_COLOR = 0x00020000u;

// Primitive types of a sub-object; anything above PRIM_POINTLIST draws nothing.
constexpr uint32_t PRIM_TRIANGLESTRIP = 0;
constexpr uint32_t PRIM_TRIANGLELIST = 1;
constexpr uint32_t PRIM_TRIANGLEFAN = 2;
constexpr uint32_t PRIM_LINELIST = 3;
constexpr uint32_t PRIM_LINESTRIP = 4;
constexpr uint32_t PRIM_POINTLIST = 5;

// Cull modes of a sub-object.
constexpr uint32_t CULL_NONE = 0;
constexpr uint32_t CULL_CCW = 1;  // counter-clockwise triangles disappear
constexpr uint32_t CULL_CW = 2;   // clockwise triangles disappear

// "All sub-objects" for the bulk operations.
constexpr uint32_t eALL_SUBOBJECTS = 0xFFFFFFFFu;
// A neutral answer of the one-record getters.
constexpr uint32_t eNO_VALUE = 0xFFFFFFFFu;

// InitConstruct refuses counts above these rather than attempt allocations
// of many gigabytes for a damaged model or a wrapped count.
constexpr uint32_t eOBJ_MAX_SUBOBJECTS = 1u << 20;
constexpr uint32_t eOBJ_MAX_VERTICES = 1u << 24;
constexpr uint32_t eOBJ_MAX_INDICES = 1u << 26;

// One sub-object record; also the unit of the sub-object table of model files.
struct ATTRIBUT {
    uint32_t dwOrder;  // the record drawn at this position (its textures too)
    uint32_t dwVertexStart;  // indices are relative to this vertex
    uint32_t dwVertexCount;
    uint32_t dwIndexStart;
    uint32_t dwIndexCount;
    uint32_t dwPrimitiveCount;
    uint32_t dwPrimitiveType;
    uint32_t dwCullMode;
};

// Kept and stored with the object; the OpenGL ES draw paths do not apply it.
struct MATERIAL {
    float afDiffuse[4];  // red, green, blue, alpha
    float afAmbient[4];
    float afSpecular[4];
    float afEmissive[4];
    float fPower;
};

// The three vertex numbers of one triangle.
struct TRIPLET3D {
    uint32_t adwVertex[3];
};

// Diffuse (1, 1, 1, 0), ambient (1, 1, 1, 1), specular and emissive
// (0, 0, 0, 1), power 20.
void eInitMaterial(MATERIAL* material);

class C3DObject {
public:
    C3DObject();
    // Deletes the owned index buffer and the slot arrays, not the textures.
    virtual ~C3DObject();

    C3DObject(const C3DObject&) = delete;
    C3DObject& operator=(const C3DObject&) = delete;

    // Keeps `infos` (refused when null), point-sprite size factor 1, identity
    // matrix.
    virtual eRESULT Load(SHARED_INFOS* infos);
    // Index buffer, texture references and slot arrays go; counts 0,
    // identity matrix. Stops at once when the index buffer cannot unload.
    virtual eRESULT Unload();
    virtual eRESULT FrameMove();
    // The camera's perspective set-up.
    virtual eRESULT RenderCamera();
    // Draw paths: n is a count of drawing positions (eALL_SUBOBJECTS: all),
    // i one position.
    virtual eRESULT Render(uint32_t n);
    virtual eRESULT RenderOne(uint32_t i);
    virtual eRESULT RenderLight(uint32_t n);
    virtual eRESULT RenderOneLight(uint32_t i);
    virtual eRESULT InitializeRenderExtra(uint32_t i);
    virtual eRESULT RenderExtra(uint32_t n);
    virtual eRESULT RenderOneExtra(uint32_t i, uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    virtual eRESULT FinalizeRenderExtra(uint32_t i);
    virtual eRESULT RenderWireFrame(bool solid, uint32_t n);
    virtual eRESULT RenderOneWireFrame(bool solid, uint32_t i);
    virtual eRESULT RenderLightFill(uint32_t n);
    virtual eRESULT RenderOneLightFill(uint32_t i);
    virtual eRESULT RenderLightFillTriangle(uint32_t i, uint32_t triangle);
    virtual eRESULT RenderLightFillSegment(uint32_t i, uint32_t segment);
    // The owned index buffer's array and the size of one index (2 or 4).
    virtual void* GetIndexBuffer(uint8_t& size);
    // The vertex array and its stride; null and 0 here.
    virtual void* GetVertexBuffer(uint8_t& stride);
    // Drawing and the queries use the object's own matrix again.
    virtual eRESULT SetDefaultMatrix();

    // Slot arrays for `subObjects` sub-objects; more than 65535 vertices
    // switch the creation flags to 32-bit indices.
    virtual eRESULT InitConstruct(uint32_t subObjects, uint32_t vertices, uint32_t indices);
    // Opens the indices for SetIndex / GetIndex until EndConstruct.
    virtual eRESULT BeginConstruct();
    virtual eRESULT SetIndex(uint32_t i, uint32_t value);
    // eNO_VALUE when there is no such index or the indices are not open.
    virtual uint32_t GetIndex(uint32_t i);
    // Colours are 0xAARRGGBB; the attributes a class does not store are
    // ignored.
    virtual eRESULT SetVertex(uint32_t i, VECTOR3D position, uint32_t color, VECTOR2D uv, VECTOR3D normal,
                              uint32_t specular);
    virtual eRESULT SetVertexPosition(uint32_t i, VECTOR3D* position);
    virtual eRESULT SetVertexTexture1(uint32_t i, VECTOR2D* uv);
    virtual eRESULT SetVertexTexture2(uint32_t i, VECTOR2D* uv);
    virtual eRESULT SetVertexNormal(uint32_t i, VECTOR3D* normal);
    virtual eRESULT SetVertexColor(uint32_t i, uint32_t color);
    virtual eRESULT SetVertexSpecular(uint32_t i, uint32_t specular);
    // Fills the non-null outputs the class stores.
    virtual eRESULT GetVertex(uint32_t i, VECTOR3D* position, uint32_t* color, VECTOR2D* uv, VECTOR3D* normal,
                              uint32_t* specular);
    // Zero vectors and 0 for attributes not stored and vertices out of range.
    virtual VECTOR3D GetVertexPosition(uint32_t i);
    virtual VECTOR2D GetVertexTexture1(uint32_t i);
    virtual VECTOR2D GetVertexTexture2(uint32_t i);
    virtual VECTOR3D GetVertexNormal(uint32_t i);
    virtual uint32_t GetVertexColor(uint32_t i);
    virtual uint32_t GetVertexSpecular(uint32_t i);
    virtual eRESULT GetSubObjParsing(uint32_t sub, ATTRIBUT* out);
    // Each non-null output receives its field of record `sub`; the type and
    // cull mode come from GetOnePrimitiveType / GetOneCullMode.
    virtual eRESULT GetSubObjParsingEx(uint32_t sub, uint32_t* vertexStart, uint32_t* vertexCount,
                                       uint32_t* indexStart, uint32_t* indexCount, uint32_t* primitiveCount,
                                       uint32_t* primitiveType, uint32_t* cullMode, uint32_t* order);
    virtual eRESULT EndConstruct(bool applyState);
    // Records 0 .. n-1 (eALL_SUBOBJECTS: all). The one-record setters do
    // nothing and the getters answer eNO_VALUE here.
    virtual eRESULT SetPrimitiveType(uint32_t type, uint32_t n);
    virtual eRESULT SetOnePrimitiveType(uint32_t sub, uint32_t type);
    virtual uint32_t GetOnePrimitiveType(uint32_t sub);
    virtual eRESULT GetOnePrimitiveTypeEx(uint32_t sub, uint32_t* type);
    virtual eRESULT SetCullMode(uint32_t mode, uint32_t n);
    virtual eRESULT SetOneCullMode(uint32_t sub, uint32_t mode);
    virtual uint32_t GetOneCullMode(uint32_t sub);
    virtual eRESULT GetOneCullModeEx(uint32_t sub, uint32_t* mode);
    virtual eRESULT ComputeNormals();
    virtual eRESULT ComputeNormalsSmooth();
    // Replaces the alpha byte of the direct colour.
    virtual eRESULT SetDirectAlpha(uint8_t alpha);
    virtual eRESULT SetDirectColor(uint32_t color);
    // (largest - smallest point size of the configuration) x factor.
    virtual eRESULT SetPointSpriteSize(float factor);

    // Textures per sub-object and unit (0 or 1). The creators pass their two
    // leading words to the device's texture factory; here they fail and the
    // slot operations do nothing.
    virtual eRESULT MakeTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size, uint32_t n,
                                           uint32_t unit, const char* name);
    virtual eRESULT MakeOneTextureFromAddress(uint32_t flags, uint32_t flags2, void* data, uint32_t size,
                                              uint32_t sub, uint32_t unit, const char* name);
    virtual eRESULT LoadTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer, uint32_t n,
                                          uint32_t unit);
    virtual eRESULT LoadOneTextureFromPacker(uint32_t flags, uint32_t flags2, _RES_PACKER* packer, uint32_t sub,
                                             uint32_t unit);
    virtual eRESULT LoadTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t n,
                                        uint32_t unit);
    virtual eRESULT LoadOneTextureFromFile(uint32_t flags, uint32_t flags2, const char* path, uint32_t sub,
                                           uint32_t unit);
    virtual eRESULT SaveTextureToFile(const char* path);
    virtual eRESULT SetTexture(C3DTexture* texture, uint32_t n, uint32_t unit);
    virtual eRESULT SetOneTexture(C3DTexture* texture, uint32_t sub, uint32_t unit);
    virtual C3DTexture* GetOneTexture(uint32_t sub, uint32_t unit);
    virtual eRESULT DeleteTexture(uint32_t n, uint32_t unit);
    virtual eRESULT DeleteOneTexture(uint32_t sub, uint32_t unit);

    // Models through a raw model (3DObjectLoad.cpp): from a file (textures
    // looked up under `texturePath` + name), a pack entry or memory (textures
    // through the given or the shared loaders). The name is kept on success;
    // a texture that cannot be had fails the load, leaves the geometry and
    // sets SHARED_INFOS error code 10 with the name.
    virtual eRESULT MakeFromAddress(void* data, uint32_t size, const char* name);
    virtual eRESULT MakeFromAddressEx(void* data, uint32_t size, const char* name, PFN_RES_PACKER resPacker);
    virtual eRESULT LoadFromPacker(_RES_PACKER* packer);
    virtual eRESULT LoadFromPackerEx(_RES_PACKER* packer, PFN_RES_STATIC resStatic);
    virtual eRESULT LoadFromFile(const char* path, const char* texturePath);
    virtual eRESULT LoadFromFileEx(const char* path, const char* texturePath, PFN_RES_STATIC resStatic,
                                   PFN_RES_PACKER resPacker);
    // A 3DX file holding the sections named by `contents`.
    virtual eRESULT SaveToFile(const char* path, uint32_t contents);
    virtual eRESULT LoadFromRaw(C3DObjectRaw* raw, PFN_RES_STATIC resStatic, PFN_RES_PACKER resPacker,
                                const char* texturePath);
    virtual eRESULT SaveToRaw(C3DObjectRaw* raw, uint32_t flags);
    // Procedural models and merges; they fail here.
    virtual eRESULT ConstructFromModel(uint32_t model, void* parameters);
    virtual eRESULT ConstructFromObjects(C3DObject** objects, uint32_t count);
    virtual eRESULT ConstructFromObjectsNormals(C3DObject** objects, uint32_t count, float length,
                                                uint32_t color);
    // Render state from the render flags; fails here.
    virtual eRESULT CreateStateBlock();
    virtual eRESULT ApplyStateBlock();

    // Per-axis bounds of the vertex positions (FLT_MAX / -FLT_MAX without
    // vertices); with `transformed`, both corners go through the current
    // matrix. Returns the status of EndConstruct(true).
    virtual eRESULT GetExtrema(VECTOR3D* min, VECTOR3D* max, bool transformed);
    // Ray from `to` along (to - from) against the triangle lists; negative is
    // a hit, whose vertex numbers land in `triangle`. A hint triangle (first
    // number not 0xFFFFFFFF) is tried first and reset when missed.
    virtual float GetCollision(VECTOR3D& from, VECTOR3D& to, TRIPLET3D* triangle);

    // Index i = i for every index (indices open).
    eRESULT SetIndexIncrementaly();
    // Fills record `sub` (order eNO_VALUE: `sub` itself), then sets its type
    // and cull mode through the virtual setters.
    eRESULT SetSubObjParsingEx(uint32_t sub, uint32_t vertexStart, uint32_t vertexCount, uint32_t indexStart,
                               uint32_t indexCount, uint32_t primitiveCount, uint32_t primitiveType,
                               uint32_t cullMode, uint32_t order);

    // The device that made this object: the one it was created by, else the
    // world's.
    C3DEngine* GetDevice() const;

    SHARED_INFOS* m_pSharedInfos;
    uint32_t m_dwVertexCount;
    uint32_t m_dwSubObjectCount;
    char m_szName[eMAX_PATH];
    uint32_t m_dwFlags;   // creation flags (OBJ_*)
    uint32_t m_dwFlags2;  // render flags (RENDER_*)
    MATRIX3D m_matMatrix;         // the object's own world matrix
    MATRIX3D* m_pCurrentMatrix;   // used by drawing and the queries
    C3DObjectIndex* m_pOwnedIndex;  // made by InitConstruct, owned
    C3DObjectIndex* m_pIndex;       // the buffer every operation goes through
    C3DTexture** m_ppTextures;      // sub * 2 + unit; owned by the device
    MATERIAL* m_pMaterials;         // one per sub-object
    uint32_t m_dwDirectColor;       // ARGB, for RENDER_DIRECT_COLOR
    float m_fPointSpriteSize;
    C3DEngine* m_p3DEngine;  // set by the device that creates the object

protected:
    // Slot of (sub, unit), or null when there is none.
    C3DTexture** TextureSlot(uint32_t sub, uint32_t unit) const;
    // A bulk count: eALL_SUBOBJECTS and counts past the end mean all.
    uint32_t ClampCount(uint32_t n) const;
};
