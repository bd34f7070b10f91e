// The in-memory model between model files and objects: loaders fill it from a
// 3DX file, a pack entry or a block of memory (OBJ and 3D Studio files too),
// C3DObject::LoadFromRaw builds an object from it, and C3DObject::SaveToRaw
// fills it for SaveToFile, which writes 3DX.
//
// 3DX is a flat little-endian file: a 20-byte header (sub-object, vertex and
// index counts, version, contents word) followed by one of three layouts,
// chosen by the version word (2, 4 or 8; there is no magic number). The
// contents word says which vertex and sub-object sections are stored.
//
// Model files are untrusted: before anything is allocated, the header counts
// must fit the bytes that remain after it, and every sub-object record must
// stay within the header counts. A refused file leaves the raw model empty or
// partly filled; nothing is read or written outside its arrays.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/3d/3DObject.h"
#include "engine/3d/Types3D.h"
#include "engine/world/ResPacker.h"
#include "engine/world/Types.h"

struct SHARED_INFOS;

// Versions of the 3DX header and the layouts they select.
constexpr uint32_t e3DX_VERSION_V2 = 2;
constexpr uint32_t e3DX_VERSION_V3 = 4;
constexpr uint32_t e3DX_VERSION_V4 = 8;  // the one SaveTo3DXFile writes

// Bits of the contents word: the sections stored per vertex (in this order)
// and per sub-object.
constexpr uint32_t e3DX_POSITION = 0x00010000u;       // 3 floats
constexpr uint32_t e3DX_NORMAL = 0x00020000u;         // 3 floats
constexpr uint32_t e3DX_COLOR = 0x00040000u;          // uint32 ARGB
constexpr uint32_t e3DX_SPECULAR = 0x00080000u;       // uint32 ARGB
constexpr uint32_t e3DX_UV = 0x00100000u;             // 2 floats
constexpr uint32_t e3DX_MATERIAL = 0x00400000u;       // 17 floats
constexpr uint32_t e3DX_TEXTURE_NAME = 0x00800000u;   // 128 bytes, zero-terminated inside
constexpr uint32_t e3DX_TEXTURE_WORD1 = 0x01000000u;  // uint32
constexpr uint32_t e3DX_TEXTURE_WORD2 = 0x02000000u;  // uint32
// Every vertex section; V2 files must have them all.
constexpr uint32_t e3DX_VERTEX_ALL = 0x001F0000u;

// Fixed sizes in bytes.
constexpr uint32_t e3DX_HEADER_SIZE = 20;
constexpr uint32_t e3DX_RECORD_SIZE = 32;
constexpr uint32_t e3DX_NAME_SIZE = 128;
constexpr uint32_t e3DX_MATERIAL_SIZE = 68;
constexpr uint32_t e3DX_V2_NAME_SIZE = 512;
constexpr uint32_t e3DX_V2_SUBOBJECT_SIZE = 624;  // name, four colour blocks, four words
constexpr uint32_t e3DX_V2_VERTEX_SIZE = 72;
// V2 models carry no texture words; their textures get these.
constexpr uint32_t e3DX_V2_TEXTURE_WORD1 = 1;
constexpr uint32_t e3DX_V2_TEXTURE_WORD2 = 82;

// SHARED_INFOS error code left by a model load whose texture could not be
// had (the error text then names it).
constexpr uint32_t e3D_ERROR_TEXTURE = 10;

// OBJ files: the longest line read (without its line end) and the largest
// file; longer lines and larger files are refused.
constexpr uint32_t eOBJ_LINE_SIZE = 260;
constexpr uint64_t eOBJ_MAX_FILE_SIZE = 256ull << 20;

struct HEADER_3DX {
    uint32_t dwSubObjectCount;
    uint32_t dwVertexCount;
    uint32_t dwIndexCount;
    uint32_t dwVersion;
    uint32_t dwContents;
};

// The arrays of one model, all zero-filled by C3DObjectRaw::Load.
struct RAW_MODEL {
    uint32_t m_dwIndexCount;
    uint32_t m_dwVertexCount;
    uint32_t m_dwSubObjectCount;
    MATRIX3D m_matMatrix;  // identity; not used further
    uint8_t m_abFlags[2];  // cleared; not used further
    uint32_t* m_pdwIndices;
    VECTOR3D* m_pvPositions;
    uint32_t* m_pdwColors;     // ARGB
    uint32_t* m_pdwSpeculars;  // ARGB
    VECTOR2D* m_pvUVs;         // as callers give them (not flipped)
    VECTOR3D* m_pvNormals;
    ATTRIBUT* m_pAttributes;
    MATERIAL* m_pMaterials;
    char (*m_pszTextureNames)[eMAX_PATH];  // unit-0 texture file name per sub-object
    uint32_t* m_pdwTextureWords1;          // first texture creation word per sub-object
    uint32_t* m_pdwTextureWords2;          // second texture creation word per sub-object
};

class C3DObjectRaw {
public:
    // `infos` gives the trace log and the maths service; it may be null.
    explicit C3DObjectRaw(SHARED_INFOS* infos);
    virtual ~C3DObjectRaw();

    C3DObjectRaw(const C3DObjectRaw&) = delete;
    C3DObjectRaw& operator=(const C3DObjectRaw&) = delete;

    // A fresh zero-filled model (default materials, identity matrix) in
    // place of any model held. Fails on a count of 0 and on counts above the
    // object limits (eOBJ_MAX_*), leaving the model empty.
    virtual eRESULT Load(uint32_t subObjects, uint32_t vertices, uint32_t indices);
    // Frees the model; safe when empty.
    virtual eRESULT Unload();
    // A 3DX image in memory, when `name` contains ".3dx" or ".3DX".
    virtual eRESULT MakeFromAddress(void* data, uint32_t size, const char* name);
    // The pack's current entry, when its name contains ".3dx", ".3DX", ".3dX"
    // or ".3Dx"; reads at most the entry's size from the pack's stream.
    virtual eRESULT LoadFromPacker(_RES_PACKER* packer);
    // By substring of the path, first match: ".3ds"/".3DS" 3D Studio,
    // ".3dx"/".3DX" 3DX, ".obj"/".OBJ" Wavefront OBJ; anything else fails.
    virtual eRESULT LoadFromFile(const char* path);
    // 3DX (V4) when the path contains ".3dx" or ".3DX" and not ".3ds"/".3DS".
    virtual eRESULT SaveToFile(const char* path, uint32_t contents);

    // The header at the stream's position, then its layout; `size` is the
    // number of bytes of the model from that position (the stream's own end
    // bounds it as well).
    eRESULT LoadFrom3DX(FILE* file, uint32_t size);
    // The layouts, from the stream just past the header, with `size` bytes
    // left. Each replaces the model with one of the header's counts.
    eRESULT LoadFrom3DX_V2(FILE* file, const HEADER_3DX& header, uint32_t size);
    eRESULT LoadFrom3DX_V3(FILE* file, const HEADER_3DX& header, uint32_t size);
    eRESULT LoadFrom3DX_V4(FILE* file, const HEADER_3DX& header, uint32_t size);
    // A whole 3DX image in memory; V2 and V3 only (version 8 is refused).
    eRESULT MakeFrom3DXFile(const void* data, uint32_t size);
    eRESULT MakeFrom3DXFile_V2(const void* data, uint32_t size);
    eRESULT MakeFrom3DXFile_V3(const void* data, uint32_t size);
    // Writes the model as V4 with `contents` as the contents word, storing
    // only the sections it names. Refuses, before the file is opened, a model
    // its own reader would refuse.
    eRESULT SaveTo3DXFile(const char* path, uint32_t contents);
    // Foreign formats (3DObjectRawImport.cpp). OBJ: the subset two
    // exporters write (see the banners there), one sub-object per group,
    // faces as position/texture pairs. 3D Studio: one sub-object per
    // material, x mirrored. Each replaces the model; a refused file leaves
    // it empty.
    eRESULT LoadFromOBJ(FILE* file);
    eRESULT LoadFrom3DSFile(const char* path);

    SHARED_INFOS* m_pSharedInfos;
    RAW_MODEL* m_pModel;  // null when empty
};
