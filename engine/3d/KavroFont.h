// Text drawn from one texture atlas holding a cell per character code.
//
// The glyph table and the atlas come either from a prepared pair of pack
// entries (the atlas image and a ".glyph" table) or from a TrueType font
// rasterised with FreeType at load time. Strings are laid out into a screen
// or world mesh of 16 character quads, drawn batch after batch.
#pragma once

#include <cstdint>

#include "engine/3d/Types3D.h"
#include "engine/world/ResPacker.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/Types.h"

class C3DEngine;
class C3DObject;
class C3DTexture;

// Load flags.
constexpr uint8_t FONT_SCREEN = 0x01;     // screen-space text mesh
constexpr uint8_t FONT_WORLD = 0x02;      // lit world mesh (when FONT_SCREEN is clear)
constexpr uint8_t FONT_CULL_NONE = 0x04;  // cull mode CULL_NONE
constexpr uint8_t FONT_CULL_CCW = 0x08;   // cull mode CULL_CCW (when neither of the others)
constexpr uint8_t FONT_CULL_CW = 0x10;    // cull mode CULL_CW (when FONT_CULL_NONE is clear)

// Text flags.
constexpr uint16_t TEXT_CENTER_X = 0x001;
constexpr uint16_t TEXT_CENTER_Y = 0x002;
constexpr uint16_t TEXT_RIGHT = 0x004;          // only when TEXT_CENTER_X is clear
constexpr uint16_t TEXT_ROTATED = 0x008;        // layout (x, y) drawn at (y, screen height - x)
constexpr uint16_t TEXT_UPSIDE_DOWN = 0x010;    // from the opposite corner, both scales negated
constexpr uint16_t TEXT_OFFSETS = 0x020;        // param: per-code quad enlargements (ox, oy)
constexpr uint16_t TEXT_SHADOW = 0x040;         // a shadow pass first
constexpr uint16_t TEXT_TOUCH_MARGIN = 0x080;   // touch test accepts 0.75 box height around
constexpr uint16_t TEXT_ROTATION_Z = 0x100;     // param: float angle about Z
constexpr uint16_t TEXT_MATRIX = 0x200;         // param: MATRIX3D (when TEXT_ROTATION_Z is clear)

// Geometry of the TrueType atlas.
constexpr uint32_t eFONT_ATLAS_WIDTH = 1024;
constexpr uint32_t eFONT_ATLAS_MARGIN = 10;  // around and between cells, in pixels
// Codes laid out in the atlas (32 .. 287) and stored in a glyph file.
constexpr uint32_t eFONT_FIRST_CODE = 32;
constexpr uint32_t eFONT_CELL_COUNT = 256;
// A glyph file: one 16-byte record (x, y, z, w floats) per laid-out code.
constexpr uint32_t eFONT_GLYPH_FILE_SIZE = eFONT_CELL_COUNT * 16;
// Characters per batch of the text mesh.
constexpr uint32_t eFONT_BATCH = 16;

// Rows the atlas needs for these cell widths (each margin + advance, the
// 8-bit values the builder keeps): a row holds 1014 pixels of cells.
uint32_t eFontAtlasRows(const uint8_t* cellWidths, uint32_t count);
// The first power of two from 16 up that is not below
// rows x (lineHeight + 10) + 10.
uint32_t eFontAtlasHeight(uint32_t rows, uint32_t lineHeight);

// Alpha kept; every non-zero red, green or blue byte becomes 0xFF.
uint32_t GET_HIGH_LIGHT_COLOR(uint32_t color);

class CKavroFont {
public:
    explicit CKavroFont(SHARED_INFOS* infos);
    // Does nothing: the owner unloads first.
    virtual ~CKavroFont();

    CKavroFont(const CKavroFont&) = delete;
    CKavroFont& operator=(const CKavroFont&) = delete;

    // Creates the text mesh (FONT_SCREEN or FONT_WORLD) and sets the cull
    // mode from the cull bits.
    virtual eRESULT Load(uint8_t flags);
    // Releases the mesh (and with it the atlas); the glyph table stays.
    virtual eRESULT Unload();
    // Draws `text` and returns the pen after it: x after the last character,
    // y one line below the last line, z 1.0 when `touch` hit the text.
    virtual VECTOR3D RenderText(const char* text, VECTOR3D* position, uint16_t flags, uint32_t color,
                                float scaleX, float scaleY, VECTOR2D* touch, void* param, uint32_t stride);

    // Codes above 255 are ignored; the maxima follow the widest and tallest
    // entry.
    void AddChar(uint16_t code, VECTOR4D& glyph);
    // Either pack may be null: the atlas image entry, then the glyph entry.
    eRESULT LoadFontGlyphFromPacker(_RES_PACKER* texturePack, _RES_PACKER* glyphPack);
    // Builds the table and the 8-bit atlas from a TrueType font in memory.
    eRESULT MakeFontTTFFromAddress(const char* name, void* data, uint32_t size, uint8_t pixelSize,
                                   uint8_t extraWidth);
    eRESULT LoadFontTTFFromPacker(_RES_PACKER* pack, uint8_t pixelSize, uint8_t extraWidth);

    // Layout.
    VECTOR3D PreRender(const char* text, float lineStartX, VECTOR3D* pen, uint16_t flags, uint32_t color,
                       float scaleX, float scaleY, VECTOR2D* touch, void* param, uint32_t stride);
    void PostRender(uint16_t flags, void* param, uint32_t stride);
    VECTOR3D CalculateRect(const char* text, float scaleX, float scaleY);
    VECTOR3D CalculateOffset(VECTOR3D* position, uint16_t flags, VECTOR3D* rect);
    bool TestHighLight(const char* text, VECTOR3D& rect, uint16_t flags, VECTOR3D* position, VECTOR2D* touch,
                       uint16_t screenHeight);

    SHARED_INFOS* m_pSharedInfos;
    VECTOR4D m_aGlyph[256];  // x left u, y top v, z right u, w bottom v; all zero: no glyph
    float m_fMaxWidth;       // widest z - x, times 0.7 once a table is loaded
    float m_fMaxHeight;      // tallest y - w, likewise
    const char* m_pText;       // string being drawn, null when idle
    const char* m_pRemaining;  // first byte not yet in a batch, null when done
    uint32_t m_dwCullMode;
    C3DObject* m_pObject;  // text mesh, owned by the render device

protected:
    // Called by MakeFontTTFFromAddress once the atlas is complete, before the
    // upload: the width x height coverage bytes (row 0 at the top) and the
    // eFONT_CELL_COUNT entries computed for codes 32 .. 287, before the 0.7
    // scaling of the maxima. Both belong to the builder. Nothing by default;
    // tools derive from the font to keep them.
    virtual void OnAtlasBuilt(const uint8_t* atlas, uint32_t width, uint32_t height, const VECTOR4D* cells,
                              uint32_t count);

    C3DEngine* Device() const;
};
