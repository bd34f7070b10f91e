// The font object, its glyph table and the two ways of getting a table and an
// atlas: prepared pack entries, or a TrueType font rasterised with FreeType.
#include "engine/3d/KavroFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>
#include <initializer_list>
#include <cstring>

#include "engine/3d/3DEngine.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/world/Trace.h"
#include "engine/world/World.h"

namespace {

// Creation and render flags of the two kinds of text mesh.
constexpr uint32_t kScreenMeshFlags = OBJ_SCREEN | OBJ_INDEX16;
constexpr uint32_t kWorldMeshFlags = OBJ_NORMAL | OBJ_INDEX16;
constexpr uint32_t kMeshRenderFlags =
    RENDER_LIGHT | RENDER_ALPHA | RENDER_COLOR_MATERIAL | RENDER_STATEBLOCK | RENDER_TEXTURE1;
// Texture words of the atlas: shareable; linear, no mipmaps, 8 bits as alpha.
constexpr uint32_t kAtlasFlags = TEX_RECYCLED;
constexpr uint32_t kAtlasFlags2 = TEX_MIN_LINEAR | 0x10 | TEX_ALPHA;

constexpr float kMaximaScale = 0.7f;
// Free pixels of an empty atlas row: the left margin is taken.
constexpr uint32_t kRowWidth = eFONT_ATLAS_WIDTH - eFONT_ATLAS_MARGIN;
// Texture heights are 16-bit.
constexpr uint32_t kMaxAtlasHeight = 32768;

float FloatFromLE(const unsigned char* b) {
    const uint32_t bits = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                          static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// FreeType handles released on every way out of the builder.
struct FreeTypeHandles {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~FreeTypeHandles() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

// Copies the rendered glyph of `slot` with its origin on the baseline at
// (left, baseline); pixels falling outside the atlas are dropped.
void CopyGlyph(const FT_GlyphSlot slot, int32_t left, int32_t baseline, uint8_t* atlas, uint32_t height) {
    const FT_Bitmap& bitmap = slot->bitmap;
    if (!bitmap.buffer || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;
    const int32_t top = baseline - slot->bitmap_top;
    const int32_t x0 = left + slot->bitmap_left;
    const uint32_t pitch = static_cast<uint32_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
    for (uint32_t r = 0; r < bitmap.rows; ++r) {
        const int64_t y = static_cast<int64_t>(top) + r;
        if (y < 0 || y >= static_cast<int64_t>(height)) continue;
        // A negative pitch stores the rows bottom-up from the buffer start.
        const uint8_t* src = bitmap.buffer + static_cast<size_t>(bitmap.pitch < 0 ? bitmap.rows - 1 - r : r) * pitch;
        uint8_t* dst = atlas + static_cast<size_t>(y) * eFONT_ATLAS_WIDTH;
        for (uint32_t k = 0; k < bitmap.width; ++k) {
            const int64_t x = static_cast<int64_t>(x0) + k;
            if (x < 0 || x >= static_cast<int64_t>(eFONT_ATLAS_WIDTH)) continue;
            dst[x] = src[k];
        }
    }
}

// Loads and renders a glyph. A damaged font can give a glyph an outline
// thousands of pixels across, and rendering and copying it costs seconds
// and megabytes (and makes every line that tall): a glyph more than four
// times the pixel size across, which no cell can hold, counts as one that
// does not load.
bool RenderGlyph(FT_Face face, FT_UInt index, uint8_t pixelSize) {
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return false;
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    const FT_Pos limit = static_cast<FT_Pos>(pixelSize < 16 ? 16 : pixelSize) * 4 * 64;  // 26.6 pixels
    if (m.width < 0 || m.height < 0 || m.width > limit || m.height > limit) return false;
    return FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) == 0;
}

}  // namespace

uint32_t eFontAtlasRows(const uint8_t* cellWidths, uint32_t count) {
    uint32_t rows = 1, free = kRowWidth;
    for (uint32_t i = 0; i < count; ++i) {
        if (cellWidths[i] > free) {
            ++rows;
            free = kRowWidth;
        }
        free -= cellWidths[i];
    }
    return rows;
}

uint32_t eFontAtlasHeight(uint32_t rows, uint32_t lineHeight) {
    const uint64_t needed = static_cast<uint64_t>(rows) * (lineHeight + eFONT_ATLAS_MARGIN) + eFONT_ATLAS_MARGIN;
    uint64_t height = 16;
    while (height < needed) height *= 2;
    return height > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(height);
}

uint32_t GET_HIGH_LIGHT_COLOR(uint32_t color) {
    uint32_t result = color & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        if ((color >> shift) & 0xFFu) result |= 0xFFu << shift;
    return result;
}

CKavroFont::CKavroFont(SHARED_INFOS* infos)
    : m_pSharedInfos(infos),
      m_aGlyph{},
      m_fMaxWidth(0.0f),
      m_fMaxHeight(0.0f),
      m_pText(nullptr),
      m_pRemaining(nullptr),
      m_dwCullMode(CULL_CCW),
      m_pObject(nullptr) {}

CKavroFont::~CKavroFont() {}

C3DEngine* CKavroFont::Device() const {
    return m_pSharedInfos && m_pSharedInfos->m_pWorld ? m_pSharedInfos->m_pWorld->m_p3DEngine : nullptr;
}

void CKavroFont::OnAtlasBuilt(const uint8_t*, uint32_t, uint32_t, const VECTOR4D*, uint32_t) {}

eRESULT CKavroFont::Load(uint8_t flags) {
    C3DEngine* device = Device();
    if (!device) return eFAILED;
    uint32_t objectFlags;
    if (flags & FONT_SCREEN)
        objectFlags = kScreenMeshFlags;
    else if (flags & FONT_WORLD)
        objectFlags = kWorldMeshFlags;
    else
        return eFAILED;

    // A second Load replaces the mesh instead of leaving the first one
    // behind in the device.
    if (m_pObject) {
        device->Delete3DObject(m_pObject);
        m_pObject = nullptr;
    }
    C3DObject* mesh = device->Create3DObject(objectFlags, kMeshRenderFlags);
    if (!mesh) return eFAILED;
    m_pObject = mesh;

    if (flags & FONT_CULL_NONE)
        m_dwCullMode = CULL_NONE;
    else if (flags & FONT_CULL_CW)
        m_dwCullMode = CULL_CW;
    else if (flags & FONT_CULL_CCW)
        m_dwCullMode = CULL_CCW;

    const uint32_t vertices = eFONT_BATCH * 6;
    if (eFAILURE(mesh->InitConstruct(1, vertices, vertices)) || eFAILURE(mesh->BeginConstruct()) ||
        eFAILURE(mesh->SetIndexIncrementaly()) || eFAILURE(mesh->EndConstruct(false)))
        return eFAILED;
    return eOK;
}

eRESULT CKavroFont::Unload() {
    m_pText = nullptr;
    m_pRemaining = nullptr;
    if (m_pObject) {
        if (C3DEngine* device = Device()) device->Delete3DObject(m_pObject);
    }
    m_pObject = nullptr;
    return eOK;
}

void CKavroFont::AddChar(uint16_t code, VECTOR4D& glyph) {
    if (code > 255) return;
    m_aGlyph[code] = glyph;
    const float width = glyph.z - glyph.x;
    const float height = glyph.y - glyph.w;
    if (width > m_fMaxWidth) m_fMaxWidth = width;
    if (height > m_fMaxHeight) m_fMaxHeight = height;
}

eRESULT CKavroFont::LoadFontGlyphFromPacker(_RES_PACKER* texturePack, _RES_PACKER* glyphPack) {
    if (texturePack) {
        if (!m_pObject) return eFAILED;
        // The mesh's slot gives up the atlas it had before.
        if (eFAILURE(m_pObject->LoadTextureFromPacker(kAtlasFlags, kAtlasFlags2, texturePack, eALL_SUBOBJECTS, 0)))
            return eFAILED;
    }
    if (!glyphPack) return eOK;
    if (!glyphPack->m_pFile) return eFAILED;

    // Reads stay inside the entry: bytes past it belong to the next entry.
    // A cell that is not a place in the atlas (NaN, infinite, outside 0..1)
    // ends the table like a short file does, with a trace line, instead of
    // making text vanish without a word.
    uint32_t left = glyphPack->m_dwSize;
    for (uint32_t code = eFONT_FIRST_CODE; code < eFONT_FIRST_CODE + eFONT_CELL_COUNT; ++code) {
        unsigned char record[16];
        if (left < sizeof record || std::fread(record, 1, sizeof record, glyphPack->m_pFile) != sizeof record)
            return eFAILED;
        left -= sizeof record;
        VECTOR4D glyph{FloatFromLE(record), FloatFromLE(record + 4), FloatFromLE(record + 8),
                       FloatFromLE(record + 12)};
        for (float v : {glyph.x, glyph.y, glyph.z, glyph.w}) {
            if (!(v >= 0.0f && v <= 1.0f)) {
                eTRACE(m_pSharedInfos ? m_pSharedInfos->m_szLogPath : nullptr, 1,
                       "# CKavroFont::LoadFontGlyphFromPacker cell %u is not inside the atlas! (\"%s\")\n",
                       static_cast<unsigned>(code), glyphPack->m_szName);
                return eFAILED;
            }
        }
        AddChar(static_cast<uint16_t>(code), glyph);
    }
    m_fMaxWidth *= kMaximaScale;
    m_fMaxHeight *= kMaximaScale;
    return eOK;
}

eRESULT CKavroFont::LoadFontTTFFromPacker(_RES_PACKER* pack, uint8_t pixelSize, uint8_t extraWidth) {
    if (!pack || !pack->m_pFile || pack->m_dwSize == 0) return eFAILED;
    void* data = std::malloc(pack->m_dwSize);
    if (!data) return eFAILED;
    if (std::fread(data, 1, pack->m_dwSize, pack->m_pFile) != pack->m_dwSize) {
        std::free(data);
        return eFAILED;
    }
    const eRESULT result = MakeFontTTFFromAddress(pack->m_szName, data, pack->m_dwSize, pixelSize, extraWidth);
    std::free(data);
    return result;
}

eRESULT CKavroFont::MakeFontTTFFromAddress(const char*, void* data, uint32_t size, uint8_t pixelSize,
                                           uint8_t extraWidth) {
    if (!data || size == 0) return eFAILED;
    FreeTypeHandles ft;
    if (FT_Init_FreeType(&ft.library) != 0) {
        ft.library = nullptr;
        return eFAILED;
    }
    if (FT_New_Memory_Face(ft.library, static_cast<const FT_Byte*>(data), static_cast<FT_Long>(size), 0,
                           &ft.face) != 0) {
        ft.face = nullptr;
        return eFAILED;
    }
    FT_Face face = ft.face;
    if (!(face->face_flags & FT_FACE_FLAG_SCALABLE) || !(face->face_flags & FT_FACE_FLAG_HORIZONTAL))
        return eFAILED;
    if (FT_Set_Pixel_Sizes(face, pixelSize, 0) != 0) return eFAILED;

    // Measuring pass. A glyph that does not load counts as empty.
    uint8_t cells[eFONT_CELL_COUNT];
    int32_t maxTop = 0, maxBelow = 0;
    for (uint32_t i = 0; i < eFONT_CELL_COUNT; ++i) {
        const FT_UInt index = FT_Get_Char_Index(face, eFONT_FIRST_CODE + i);
        long advance = 0;
        if (RenderGlyph(face, index, pixelSize)) {
            const FT_GlyphSlot slot = face->glyph;
            advance = slot->advance.x >> 6;
            if (slot->bitmap_top > maxTop) maxTop = slot->bitmap_top;
            const int32_t below = static_cast<int32_t>(slot->bitmap.rows) - slot->bitmap_top;
            if (below > maxBelow) maxBelow = below;
        }
        // Cells are 8-bit widths; only glyphs near the largest pixel sizes wrap.
        cells[i] = static_cast<uint8_t>(advance + static_cast<long>(eFONT_ATLAS_MARGIN));
    }
    const uint32_t rows = eFontAtlasRows(cells, eFONT_CELL_COUNT);
    const uint32_t lineHeight = static_cast<uint32_t>(maxTop + maxBelow);
    const uint32_t height = eFontAtlasHeight(rows, lineHeight);
    if (height > kMaxAtlasHeight) return eFAILED;

    uint8_t* atlas = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(eFONT_ATLAS_WIDTH) * height, 1));
    if (!atlas) return eFAILED;

    // Packing pass.
    VECTOR4D entries[eFONT_CELL_COUNT];
    const float atlasWidth = static_cast<float>(eFONT_ATLAS_WIDTH);
    const float atlasHeight = static_cast<float>(height);
    uint32_t pen = eFONT_ATLAS_MARGIN;
    int32_t baseline = maxTop + static_cast<int32_t>(eFONT_ATLAS_MARGIN);
    for (uint32_t i = 0; i < eFONT_CELL_COUNT; ++i) {
        const FT_UInt index = FT_Get_Char_Index(face, eFONT_FIRST_CODE + i);
        const bool rendered = RenderGlyph(face, index, pixelSize);
        const uint32_t c = cells[i];
        uint32_t left;
        if (c > eFONT_ATLAS_WIDTH - pen) {
            left = eFONT_ATLAS_MARGIN;
            baseline += static_cast<int32_t>(lineHeight + eFONT_ATLAS_MARGIN);
        } else {
            left = pen;
        }
        pen = left + c;

        // The bottom uses the full line height (taller than 255 pixels too).
        const float t = static_cast<float>(baseline - maxTop) / atlasHeight;
        VECTOR4D& e = entries[i];
        e.x = static_cast<float>(left) / atlasWidth;
        e.y = 1.0f - t;
        e.z = static_cast<float>(static_cast<int32_t>(left + c) - static_cast<int32_t>(eFONT_ATLAS_MARGIN) +
                                 extraWidth) /
              atlasWidth;
        e.w = 1.0f - (t + static_cast<float>(lineHeight) / atlasHeight);
        AddChar(static_cast<uint16_t>(eFONT_FIRST_CODE + i), e);

        if (rendered) CopyGlyph(face->glyph, static_cast<int32_t>(left), baseline, atlas, height);
    }
    m_fMaxWidth *= kMaximaScale;
    m_fMaxHeight *= kMaximaScale;
    OnAtlasBuilt(atlas, eFONT_ATLAS_WIDTH, height, entries, eFONT_CELL_COUNT);

    eRESULT result = eFAILED;
    C3DEngine* device = Device();
    C3DTexture* texture = device ? device->CreateTexture(kAtlasFlags, kAtlasFlags2) : nullptr;
    if (texture) {
        result = texture->MakeTextureFromRaw(static_cast<uint16_t>(eFONT_ATLAS_WIDTH), static_cast<uint16_t>(height),
                                             8, atlas, nullptr);
        // Without a mesh to hold it the atlas would only wait in the device.
        if (eSUCCEEDED(result) && (!m_pObject || eFAILURE(m_pObject->SetTexture(texture, eALL_SUBOBJECTS, 0))))
            result = eFAILED;
        // The mesh's slot holds its own use (and gave up the atlas it had
        // before); the one of the creation goes back.
        device->DeleteTexture(texture);
    }
    std::free(atlas);
    return result;
}
