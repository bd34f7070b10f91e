// The font: glyph files, the TrueType atlas builder, the text mesh, layout
// into batches, alignment, the touch test, and text drawn on a real context.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "tests/engine/3d/TextTestSupport.h"

namespace {

using texttest::Bytes;
using texttest::Draw;

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

// A font that keeps what its TrueType builder handed out.
class CapturingFont : public CKavroFont {
public:
    using CKavroFont::CKavroFont;
    int built = 0;
    Bytes atlas;
    uint32_t width = 0, height = 0;
    std::vector<VECTOR4D> cells;

protected:
    void OnAtlasBuilt(const uint8_t* pixels, uint32_t w, uint32_t h, const VECTOR4D* entries,
                      uint32_t count) override {
        ++built;
        width = w;
        height = h;
        atlas.assign(pixels, pixels + static_cast<size_t>(w) * h);
        cells.assign(entries, entries + count);
    }
};

Bytes Record(float x, float y, float z, float w) {
    Bytes b(16);
    const float v[4] = {x, y, z, w};
    std::memcpy(b.data(), v, 16);  // the test host is little-endian, like the files
    return b;
}

bool SameGlyph(const VECTOR4D& a, const VECTOR4D& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// --- Glyph table and glyph files --------------------------------------------

TEST(KavroFontTable, ConstructionAndAddChar) {
    gltest::SharedInfosHolder shared;
    CKavroFont font(shared.get());
    EXPECT_EQ(font.m_pSharedInfos, shared.get());
    for (const VECTOR4D& g : font.m_aGlyph) EXPECT_TRUE(SameGlyph(g, VECTOR4D{0, 0, 0, 0}));
    EXPECT_EQ(font.m_fMaxWidth, 0.0f);
    EXPECT_EQ(font.m_fMaxHeight, 0.0f);
    EXPECT_EQ(font.m_pText, nullptr);
    EXPECT_EQ(font.m_pRemaining, nullptr);
    EXPECT_EQ(font.m_dwCullMode, 1u);
    EXPECT_EQ(font.m_pObject, nullptr);

    VECTOR4D wide{0.1f, 0.9f, 0.3f, 0.85f}, tall{0.0f, 0.9f, 0.05f, 0.5f};
    font.AddChar(65, wide);
    font.AddChar(66, tall);
    EXPECT_TRUE(SameGlyph(font.m_aGlyph[65], wide));
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.3f - 0.1f);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.9f - 0.5f);

    // Codes above 255 change nothing at all.
    CKavroFont before(shared.get());
    std::memcpy(before.m_aGlyph, font.m_aGlyph, sizeof font.m_aGlyph);
    VECTOR4D huge{0.0f, 1.0f, 1.0f, 0.0f};
    font.AddChar(300, huge);
    font.AddChar(256, huge);
    EXPECT_EQ(std::memcmp(before.m_aGlyph, font.m_aGlyph, sizeof font.m_aGlyph), 0);
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.3f - 0.1f);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.9f - 0.5f);
}

class GlyphFileTest : public ::testing::Test {
protected:
    // A glyph file of zero records except those given (code -> record).
    static Bytes GlyphFile(const std::map<int, Bytes>& records, size_t size = eFONT_GLYPH_FILE_SIZE) {
        Bytes file(eFONT_GLYPH_FILE_SIZE, 0);
        for (const auto& [code, r] : records) std::copy(r.begin(), r.end(), file.begin() + 16 * (code - 32));
        file.resize(size);
        return file;
    }
    std::string Pack(const std::vector<std::pair<std::string, Bytes>>& entries) {
        const std::string path = dir.Path("glyphs" + std::to_string(packs_++) + ".pak");
        EXPECT_TRUE(texttest::WritePack(path, entries));
        return path;
    }

    gltest::SharedInfosHolder shared;
    texttest::TempDir dir;
    int packs_ = 0;
};

TEST_F(GlyphFileTest, RecordsFillTheTableAndEachLoadScalesTheMaxima) {
    // Codes 256..287 are in the file and ignored, however wide.
    const Bytes file = GlyphFile({{65, Record(0.1f, 0.9f, 0.15f, 0.8f)}, {256, Record(0.0f, 1.0f, 1.0f, 0.0f)},
                                  {287, Record(0.0f, 1.0f, 1.0f, 0.0f)}});
    texttest::OpenPack pack(Pack({{"font.glyph", file}, {"other", Bytes(64, 0x7F)}}));
    CKavroFont font(shared.get());
    ASSERT_NE(pack.Find("font.glyph"), nullptr);
    ASSERT_EQ(font.LoadFontGlyphFromPacker(nullptr, pack.get()), eOK);
    EXPECT_TRUE(SameGlyph(font.m_aGlyph[65], (VECTOR4D{0.1f, 0.9f, 0.15f, 0.8f})));
    for (int c = 0; c < 256; ++c)
        if (c != 65) {
            EXPECT_TRUE(SameGlyph(font.m_aGlyph[c], VECTOR4D{0, 0, 0, 0})) << c;
        }
    const float width = 0.15f - 0.1f, height = 0.9f - 0.8f;
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.7f * width);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.7f * height);

    // The same data again: its widest glyph is above the scaled maximum, so
    // the maximum goes back up before this load scales it. A reload keeps
    // the text the size it was.
    ASSERT_NE(pack.Find("font.glyph"), nullptr);
    ASSERT_EQ(font.LoadFontGlyphFromPacker(nullptr, pack.get()), eOK);
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.7f * width);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.7f * height);
    // Data whose glyphs are all narrower than the scaled maximum leaves it
    // to be scaled once more.
    texttest::OpenPack narrow(Pack({{"narrow.glyph", GlyphFile({{66, Record(0.1f, 0.9f, 0.12f, 0.85f)}})}}));
    ASSERT_NE(narrow.Find("narrow.glyph"), nullptr);
    ASSERT_EQ(font.LoadFontGlyphFromPacker(nullptr, narrow.get()), eOK);
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.7f * (0.7f * width));
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.7f * (0.7f * height));
    // No mesh is needed for the table alone, and none was made.
    EXPECT_EQ(font.m_pObject, nullptr);
    EXPECT_EQ(font.LoadFontGlyphFromPacker(nullptr, nullptr), eOK);
}

TEST_F(GlyphFileTest, AShortFileKeepsTheCompleteRecordsAndFails) {
    // 70 complete records (codes 32..101) and half of the next; the entry
    // after it in the pack must not be read as the rest of the table.
    std::map<int, Bytes> records;
    records[40] = Record(0.2f, 0.9f, 0.26f, 0.7f);
    records[101] = Record(0.3f, 0.9f, 0.31f, 0.6f);
    records[102] = Record(0.0f, 1.0f, 0.9f, 0.0f);
    const Bytes file = GlyphFile(records, 16 * 70 + 8);
    texttest::OpenPack pack(Pack({{"short.glyph", file}, {"next", GlyphFile({{110, Record(0, 1, 1, 0)}})}}));
    CKavroFont font(shared.get());
    ASSERT_NE(pack.Find("short.glyph"), nullptr);
    EXPECT_EQ(font.LoadFontGlyphFromPacker(nullptr, pack.get()), eFAILED);
    EXPECT_TRUE(SameGlyph(font.m_aGlyph[40], (VECTOR4D{0.2f, 0.9f, 0.26f, 0.7f})));
    EXPECT_TRUE(SameGlyph(font.m_aGlyph[101], (VECTOR4D{0.3f, 0.9f, 0.31f, 0.6f})));
    for (int c = 102; c < 256; ++c) EXPECT_TRUE(SameGlyph(font.m_aGlyph[c], VECTOR4D{0, 0, 0, 0})) << c;
    // Unscaled maxima.
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.26f - 0.2f);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.9f - 0.6f);

    // An empty entry fails at once.
    texttest::OpenPack empty(Pack({{"empty.glyph", {}}}));
    CKavroFont other(shared.get());
    ASSERT_NE(empty.Find("empty.glyph"), nullptr);
    EXPECT_EQ(other.LoadFontGlyphFromPacker(nullptr, empty.get()), eFAILED);
    EXPECT_EQ(other.m_fMaxWidth, 0.0f);
}

// A cell that is no place in the atlas ends the table with a trace line, as a
// short file does: the cells before it stay, the load fails.
TEST_F(GlyphFileTest, ACellOutsideTheAtlasFailsWithATraceLine) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, -0.5f, 1.5f}) {
        SCOPED_TRACE(bad);
        const Bytes file = GlyphFile({{40, Record(0.2f, 0.9f, 0.26f, 0.7f)}, {50, Record(0.1f, bad, 0.2f, 0.3f)}});
        texttest::OpenPack pack(Pack({{"bad.glyph", file}}));
        CKavroFont font(shared.get());
        ASSERT_NE(pack.Find("bad.glyph"), nullptr);
        testing::internal::CaptureStderr();
        EXPECT_EQ(font.LoadFontGlyphFromPacker(nullptr, pack.get()), eFAILED);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("cell 50 is not inside the atlas"), std::string::npos) << err;
        EXPECT_TRUE(SameGlyph(font.m_aGlyph[40], (VECTOR4D{0.2f, 0.9f, 0.26f, 0.7f})));
        EXPECT_TRUE(SameGlyph(font.m_aGlyph[50], VECTOR4D{0, 0, 0, 0}));
    }
}

// --- The text mesh ------------------------------------------------------------

class FontTest : public texttest::DeviceTest {
protected:
    void TearDown() override {
        font.Unload();
        world_.Unload();
        texttest::DeviceTest::TearDown();
    }

    // A synthetic table for codes 32..126: cells side by side, three widths.
    static float GlyphWidth(int c) { return 0.004f + 0.002f * static_cast<float>(c % 3); }
    void SetGlyphs(CKavroFont& f) {
        for (int c = 32; c < 127; ++c) {
            VECTOR4D g{0.01f * static_cast<float>(c - 32), 0.9f, 0.0f, 0.8f};
            g.z = g.x + GlyphWidth(c);
            f.AddChar(static_cast<uint16_t>(c), g);
        }
    }
    // On-screen width of `s` with the synthetic table (codes without a glyph
    // take no space).
    float Width(const std::string& s, float scaleX) const {
        float w = 0.0f;
        for (unsigned char c : s)
            if (c >= 32 && c < 127) w += GlyphWidth(c) / 0.008f * scaleX;
        return w;
    }

    // A second font to exercise the world-mesh paths, unloaded at the end.
    struct WorldFont {
        CKavroFont* f = nullptr;
        void Unload() {
            if (f) f->Unload();
            delete f;
            f = nullptr;
        }
    } world_;

    CKavroFont font{shared.get()};
};

void ExpectAt(const VECTOR3D& p, float x, float y, const char* what) {
    EXPECT_NEAR(p.x, x, 1e-3) << what;
    EXPECT_NEAR(p.y, y, 1e-3) << what;
    EXPECT_FLOAT_EQ(p.z, 1.0f) << what;
}

TEST_F(FontTest, LoadFlagsChooseTheMeshAndTheCullMode) {
    EXPECT_EQ(font.Load(0), eFAILED);
    EXPECT_EQ(font.m_pObject, nullptr);
    EXPECT_EQ(font.Load(FONT_CULL_NONE | FONT_CULL_CW), eFAILED);
    EXPECT_EQ(font.m_pObject, nullptr);
    EXPECT_EQ(Count(device.m_plistObjects), 0u);

    struct Case {
        uint8_t flags;
        uint32_t objectFlags;
        uint32_t cull;
    };
    // Without a cull bit the mode is kept (preset to 7 here).
    const Case cases[] = {
        {0x01, 0x1010, 7}, {0x05, 0x1010, 0}, {0x11, 0x1010, 2}, {0x09, 0x1010, 1}, {0x19, 0x1010, 2},
        {0x1D, 0x1010, 0}, {0x03, 0x1010, 7}, {0x02, 0x1002, 7}, {0x12, 0x1002, 2}, {0x0A, 0x1002, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << int(c.flags));
        CKavroFont f(shared.get());
        f.m_dwCullMode = 7;
        ASSERT_EQ(f.Load(c.flags), eOK);
        ASSERT_NE(f.m_pObject, nullptr);
        EXPECT_EQ(f.m_pObject->m_dwFlags, c.objectFlags);
        EXPECT_EQ(f.m_pObject->m_dwFlags2, 0xC29u);
        EXPECT_EQ(f.m_dwCullMode, c.cull);
        EXPECT_EQ(f.m_pObject->m_dwSubObjectCount, 1u);
        EXPECT_EQ(f.m_pObject->m_dwVertexCount, 96u);
        ASSERT_EQ(f.m_pObject->BeginConstruct(), eOK);
        for (uint32_t i = 0; i < 96; ++i) EXPECT_EQ(f.m_pObject->GetIndex(i), i);
        EXPECT_EQ(f.m_pObject->GetIndex(96), eNO_VALUE);
        f.m_pObject->EndConstruct(false);
        // A second Load replaces the mesh.
        ASSERT_EQ(f.Load(c.flags), eOK);
        EXPECT_EQ(Count(device.m_plistObjects), 1u);

        SetGlyphs(f);
        const float maxWidth = f.m_fMaxWidth;
        EXPECT_EQ(f.Unload(), eOK);
        EXPECT_EQ(f.m_pObject, nullptr);
        EXPECT_EQ(Count(device.m_plistObjects), 0u);
        // The table outlives the mesh.
        EXPECT_EQ(f.m_fMaxWidth, maxWidth);
        EXPECT_NE(f.m_aGlyph[65].z, 0.0f);
    }
}

TEST_F(FontTest, PreparedAtlasGoesOnTheMeshAndAReloadReplacesIt) {
    texttest::TempDir dir;
    const Bytes png = texttest::RgbPng(2, {Bytes(6, 200), Bytes(6, 100)});
    ASSERT_TRUE(texttest::WritePack(dir.Path("atlas.pak"), {{"atlas.png", png}, {"broken.png", Bytes(40, 7)}}));
    texttest::OpenPack pack(dir.Path("atlas.pak"));

    // No mesh to put it on.
    ASSERT_NE(pack.Find("atlas.png"), nullptr);
    EXPECT_EQ(font.LoadFontGlyphFromPacker(pack.get(), nullptr), eFAILED);
    EXPECT_EQ(Count(device.m_plistTextures), 0u);

    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load);
        ASSERT_NE(pack.Find("atlas.png"), nullptr);
        ASSERT_EQ(font.LoadFontGlyphFromPacker(pack.get(), nullptr), eOK);
        C3DTexture* atlas = font.m_pObject->GetOneTexture(0, 0);
        ASSERT_NE(atlas, nullptr);
        EXPECT_STREQ(atlas->m_szName, "atlas.png");
        EXPECT_EQ(atlas->m_dwFlags, 1u);
        EXPECT_EQ(atlas->m_dwFlags2, 0x52u);
        EXPECT_EQ(Count(device.m_plistTextures), 1u);
    }
    C3DTexture* kept = font.m_pObject->GetOneTexture(0, 0);
    ASSERT_NE(pack.Find("broken.png"), nullptr);
    EXPECT_EQ(font.LoadFontGlyphFromPacker(pack.get(), nullptr), eFAILED);
    EXPECT_EQ(font.m_pObject->GetOneTexture(0, 0), kept);
    // One use left: the mesh's.
    font.Unload();
    EXPECT_EQ(Count(device.m_plistTextures), 0u);
}

TEST_F(FontTest, TheAnswerIsCentredOnTheScreenLineByLine) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    const char* text = "It is\ndecidedly so";
    const VECTOR3D box = font.CalculateRect(text, 22, 26);
    EXPECT_NEAR(box.x, std::max(Width("It is", 22), Width("decidedly so", 22)), 1e-3);
    EXPECT_FLOAT_EQ(box.y, 52.0f);
    EXPECT_EQ(box.z, 0.0f);

    VECTOR3D position{5, 40, 0};
    const VECTOR3D end = font.RenderText(text, &position, TEXT_CENTER_X | TEXT_CENTER_Y, 0xFF102030u, 22, 26,
                                         nullptr, nullptr, 0);
    EXPECT_EQ(position.x, 5.0f);  // not modified
    EXPECT_EQ(position.y, 40.0f);
    const float lineX = (320.0f - box.x) / 2.0f + 5.0f;
    // 18 bytes: 16 in the first batch (15 quads, the newline takes none), 2 in the second.
    ASSERT_EQ(device.draws.size(), 2u);
    const Draw& first = device.draws[0];
    const Draw& second = device.draws[1];
    ASSERT_EQ(first.positions.size(), 15u * 6);
    ASSERT_EQ(second.positions.size(), 2u * 6);
    EXPECT_EQ(first.primitives, 30u);
    EXPECT_EQ(first.cullMode, font.m_dwCullMode);
    ExpectAt(first.positions[0], lineX, 254.0f, "first line");
    ExpectAt(first.positions[30], lineX, 280.0f, "second line, 'd'");
    ExpectAt(second.positions[0], lineX + Width("decidedly ", 22), 280.0f, "'s' in the second batch");
    EXPECT_NEAR(end.x, lineX + Width("decidedly so", 22), 1e-3);
    EXPECT_NEAR(end.y, 306.0f, 1e-3);
    EXPECT_EQ(end.z, 0.0f);
    EXPECT_EQ(font.m_pText, nullptr);
    EXPECT_EQ(font.m_pRemaining, nullptr);

    // One quad in full: corners, uv and colour of 'I'.
    const VECTOR4D& g = font.m_aGlyph['I'];
    const float w = Width("I", 22);
    const float px[6] = {lineX, lineX + w, lineX, lineX, lineX + w, lineX + w};
    const float py[6] = {254, 254, 280, 280, 254, 280};
    const float u[6] = {g.x, g.z, g.x, g.x, g.z, g.z};
    const float v[6] = {g.y, g.y, g.w, g.w, g.y, g.w};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        ExpectAt(first.positions[k], px[k], py[k], "corner");
        EXPECT_NEAR(first.uvs[k].x, u[k], 1e-6);
        EXPECT_NEAR(first.uvs[k].y, v[k], 1e-6);
        EXPECT_EQ(first.colors[k], 0xFF102030u);
    }
}

TEST_F(FontTest, LongStringsGoInBatchesOfSixteenBytes) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    struct Case {
        std::string text;
        std::vector<size_t> quads;  // per batch
        float endX;                 // relative to the start
        float endY;                 // line steps below the start
    };
    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    const std::string sixteen = forty.substr(0, 16);
    const std::vector<Case> cases = {
        {forty, {16, 16, 8}, Width(forty, 12), 1},
        {sixteen, {16}, Width(sixteen, 12), 1},
        {forty.substr(0, 32), {16, 16}, Width(forty.substr(0, 32), 12), 1},
        {sixteen + "\n", {16, 0}, 0.0f, 2},  // the newline is a batch of its own
        {"", {0}, 0.0f, 1},
        {"A\rB\x01" "C", {3}, Width("ABC", 12), 1},  // "\r" and code 1 take no space
        {"A B", {3}, Width("A B", 12), 1},          // a space has a glyph
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
        device.draws.clear();
        VECTOR3D position{10, 20, 0};
        const VECTOR3D end = font.RenderText(c.text.c_str(), &position, 0, 0xFFFFFFFFu, 12, 16, nullptr, nullptr, 0);
        ASSERT_EQ(device.draws.size(), c.quads.size());
        float x = 10.0f;
        size_t consumed = 0;
        for (size_t b = 0; b < c.quads.size(); ++b) {
            ASSERT_EQ(device.draws[b].positions.size(), 6 * c.quads[b]) << "batch " << b;
            // Each batch starts where the previous one stopped.
            if (c.quads[b]) {
                EXPECT_NEAR(device.draws[b].positions[0].x, x, 1e-3) << "batch " << b;
            }
            const std::string part = c.text.substr(consumed, 16);
            x += Width(part, 12);
            consumed += 16;
        }
        EXPECT_NEAR(end.x, 10.0f + c.endX, 1e-3);
        EXPECT_NEAR(end.y, 20.0f + 16.0f * c.endY, 1e-3);
    }

    // Glyph-less bytes leave no gap: B starts where A ends.
    device.draws.clear();
    VECTOR3D position{10, 20, 0};
    font.RenderText("A\rB", &position, 0, 0xFFFFFFFFu, 12, 16, nullptr, nullptr, 0);
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_NEAR(device.draws[0].positions[6].x, device.draws[0].positions[1].x, 1e-4);
}

TEST_F(FontTest, HighBytesUseTheirOwnEntries) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    VECTOR4D high{0.5f, 0.4f, 0.506f, 0.3f}, last{0.6f, 0.2f, 0.604f, 0.1f};
    font.AddChar(0xC8, high);
    font.AddChar(0xFF, last);
    VECTOR3D position{0, 0, 0};
    font.RenderText("\xC8\xFF\x80", &position, 0, 0xFFFFFFFFu, 8, 10, nullptr, nullptr, 0);
    ASSERT_EQ(device.draws.size(), 1u);
    const Draw& d = device.draws[0];
    ASSERT_EQ(d.positions.size(), 12u);  // 0x80 has no glyph
    EXPECT_FLOAT_EQ(d.uvs[0].x, 0.5f);
    EXPECT_FLOAT_EQ(d.uvs[0].y, 0.4f);
    EXPECT_FLOAT_EQ(d.uvs[11].x, 0.604f);
    EXPECT_FLOAT_EQ(d.uvs[11].y, 0.1f);
    EXPECT_NEAR(d.positions[1].x, 0.006f / font.m_fMaxWidth * 8, 1e-4);
    const VECTOR3D box = font.CalculateRect("\xC8\xFF\x80", 8, 10);
    EXPECT_NEAR(box.x, (0.006f + 0.004f) / font.m_fMaxWidth * 8, 1e-4);
}

TEST_F(FontTest, UpsideDownRotatedAndEnlargedQuads) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    const float wa = Width("A", 10), wc = Width("C", 10);

    // Upside down: from position + box, leftwards and upwards.
    {
        VECTOR3D position{100, 200, 0};
        const VECTOR3D box = font.CalculateRect("AB\nC", 10, 20);
        const VECTOR3D end =
            font.RenderText("AB\nC", &position, TEXT_UPSIDE_DOWN, 0xFFFFFFFFu, 10, 20, nullptr, nullptr, 0);
        ASSERT_EQ(device.draws.size(), 1u);
        const Draw& d = device.draws[0];
        ASSERT_EQ(d.positions.size(), 18u);
        const float x0 = 100 + box.x, y0 = 200 + box.y;
        ExpectAt(d.positions[0], x0, y0, "A top left");
        ExpectAt(d.positions[1], x0 - wa, y0, "A top right");
        ExpectAt(d.positions[2], x0, y0 - 20, "A bottom left");
        ExpectAt(d.positions[12], x0, y0 - 20, "C starts one line up");
        EXPECT_NEAR(end.x, x0 - wc, 1e-3);
        EXPECT_NEAR(end.y, y0 - 40, 1e-3);
    }
    // Rotated: layout point (x, y) drawn at (y, 480 - x).
    {
        device.draws.clear();
        VECTOR3D position{10, 20, 0};
        font.RenderText("A", &position, TEXT_ROTATED, 0xFFFFFFFFu, 10, 20, nullptr, nullptr, 0);
        ASSERT_EQ(device.draws.size(), 1u);
        const std::vector<VECTOR3D>& p = device.draws[0].positions;
        ASSERT_EQ(p.size(), 6u);
        ExpectAt(p[0], 20, 470, "top left");
        ExpectAt(p[1], 20, 470 - wa, "top right");
        ExpectAt(p[2], 40, 470, "bottom left");
        ExpectAt(p[5], 40, 470 - wa, "bottom right");
    }
    // Offsets from a table with a 16-byte stride, plain and rotated.
    struct Offset {
        float ox, oy, pad[2];
    };
    std::vector<Offset> table(256, Offset{9, 9, {0, 0}});
    table['A'] = Offset{1.5f, 2.5f, {0, 0}};
    struct Case {
        uint16_t flags;
        float x[4], y[4];  // top left, top right, bottom left, bottom right
    };
    const Case cases[] = {
        {TEXT_OFFSETS, {8.5f, 11.5f + wa, 8.5f, 11.5f + wa}, {17.5f, 17.5f, 42.5f, 42.5f}},
        {TEXT_OFFSETS | TEXT_ROTATED,
         {18.5f, 18.5f, 41.5f, 41.5f},
         {480 - 7.5f, 480 - (12.5f + wa), 480 - 7.5f, 480 - (12.5f + wa)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        device.draws.clear();
        VECTOR3D position{10, 20, 0};
        const VECTOR3D end =
            font.RenderText("A", &position, c.flags, 0xFFFFFFFFu, 10, 20, nullptr, table.data(), sizeof(Offset));
        ASSERT_EQ(device.draws.size(), 1u);
        const std::vector<VECTOR3D>& p = device.draws[0].positions;
        ASSERT_EQ(p.size(), 6u);
        const int vertexOf[4][2] = {{0, 0}, {1, 4}, {2, 3}, {5, 5}};
        for (int k = 0; k < 4; ++k)
            for (int v : vertexOf[k]) ExpectAt(p[v], c.x[k], c.y[k], "corner");
        EXPECT_NEAR(end.x, 10 + wa, 1e-3);  // the advance is not enlarged
    }
}

TEST_F(FontTest, AlignmentOnScreenAndInTheWorld) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    world_.f = new CKavroFont(shared.get());
    ASSERT_EQ(world_.f->Load(FONT_WORLD), eOK);
    shared->m_wWidth = 111;  // the initial size counts, not the current one
    shared->m_wHeight = 222;
    VECTOR3D rect{100, 40, 0}, position{5, 7, 3};
    struct Case {
        bool worldMesh;
        uint16_t flags;
        float x, y;
    };
    const Case cases[] = {
        {false, 0, 5, 7},
        {false, TEXT_CENTER_X, 115, 7},
        {false, TEXT_CENTER_X | TEXT_RIGHT, 115, 7},
        {false, TEXT_RIGHT, 225, 7},
        {false, TEXT_CENTER_Y, 5, 227},
        {false, TEXT_CENTER_X | TEXT_CENTER_Y | TEXT_ROTATED, 195, 147},
        {false, TEXT_RIGHT | TEXT_ROTATED, 385, 7},
        {false, TEXT_SHADOW, 5, 7},
        {true, TEXT_CENTER_X | TEXT_CENTER_Y, -45, -13},
        {true, TEXT_RIGHT, -95, 7},
        {true, TEXT_CENTER_X | TEXT_ROTATED, -45, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.worldMesh ? "world" : "screen") << " flags 0x" << std::hex << c.flags);
        CKavroFont& f = c.worldMesh ? *world_.f : font;
        const VECTOR3D r = f.CalculateOffset(&position, c.flags, &rect);
        EXPECT_FLOAT_EQ(r.x, c.x);
        EXPECT_FLOAT_EQ(r.y, c.y);
        EXPECT_FLOAT_EQ(r.z, 3.0f);
    }
    // Negative scales measure negative boxes; a trailing newline adds a line.
    SetGlyphs(font);
    const VECTOR3D neg = font.CalculateRect("AB\n", -10, -20);
    EXPECT_NEAR(neg.x, -Width("AB", 10), 1e-4);
    EXPECT_FLOAT_EQ(neg.y, -40.0f);
}

TEST_F(FontTest, TouchTestAndHighlight) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    VECTOR3D rect{100, 40, 0};
    struct Case {
        uint16_t flags;
        VECTOR2D touch;
        bool hit;
    };
    const Case cases[] = {
        {0, {50, 30}, true},
        {0, {10, 30}, false},  // on the left edge
        {0, {10.5f, 30}, true},
        {0, {110, 30}, false},  // right edge
        {0, {50, 20}, false},   // top edge
        {0, {50, 60}, false},   // bottom edge
        {0, {50, 59.9f}, true},
        {0, {50, 20 - 28}, false},                // 0.7 box heights above
        {TEXT_TOUCH_MARGIN, {50, 20 - 28}, true},  // within the margin
        {TEXT_TOUCH_MARGIN, {50, 60 + 28}, true},
        {TEXT_TOUCH_MARGIN, {50, 20 - 30}, false},  // on the margin's edge
        {TEXT_TOUCH_MARGIN, {5, 30}, false},        // no margin sideways
        // Rotated: touch x runs along the box height, screen height - touch y along its width.
        {TEXT_ROTATED, {30, 480 - 50}, true},
        {TEXT_ROTATED, {20, 480 - 50}, false},
        {TEXT_ROTATED, {30, 480 - 10}, false},
        {TEXT_ROTATED, {30, 480 - 109}, true},
        {TEXT_ROTATED | TEXT_TOUCH_MARGIN, {20 - 28, 480 - 50}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags << std::dec << " at " << c.touch.x << ","
                                        << c.touch.y);
        VECTOR3D position{10, 20, 0};
        VECTOR2D touch = c.touch;
        EXPECT_EQ(font.TestHighLight("x", rect, c.flags, &position, &touch, 480), c.hit);
        EXPECT_EQ(position.z, c.hit ? 1.0f : 0.0f);
    }

    struct Colour {
        uint32_t in, out;
    };
    for (const Colour& c : {Colour{0x00010203u, 0x00FFFFFFu}, Colour{0xFF000000u, 0xFF000000u},
                            Colour{0x80402000u, 0x80FFFF00u}, Colour{0x12000100u, 0x1200FF00u}})
        EXPECT_EQ(GET_HIGH_LIGHT_COLOR(c.in), c.out) << std::hex << c.in;

    // Through RenderText: a hit brightens every vertex and reports z = 1,
    // with and without alignment flags.
    SetGlyphs(font);
    for (uint16_t flags : {uint16_t(0), uint16_t(TEXT_CENTER_Y)}) {
        for (bool inside : {true, false}) {
            SCOPED_TRACE(testing::Message() << "flags " << flags << (inside ? " inside" : " outside"));
            device.draws.clear();
            VECTOR3D position{10, 20, 0};
            const float y = flags ? (480 - 16) / 2.0f + 20 : 20;
            VECTOR2D touch{10 + Width("AB", 10) / 2, inside ? y + 8 : y - 1};
            const VECTOR3D end = font.RenderText("AB", &position, flags, 0x80402000u, 10, 16, &touch, nullptr, 0);
            EXPECT_EQ(end.z, inside ? 1.0f : 0.0f);
            ASSERT_EQ(device.draws.size(), 1u);
            for (uint32_t color : device.draws[0].colors) EXPECT_EQ(color, inside ? 0x80FFFF00u : 0x80402000u);
        }
    }
}

TEST_F(FontTest, ColourAlphaSwitchesBlending) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    for (uint32_t color : {0x00FFFFFFu, 0xFF000000u, 0x00000000u, 0x01000000u}) {
        SCOPED_TRACE(testing::Message() << std::hex << color);
        device.draws.clear();
        VECTOR3D position{0, 0, 0};
        font.RenderText("A", &position, 0, color, 10, 10, nullptr, nullptr, 0);
        ASSERT_EQ(device.draws.size(), 1u);
        EXPECT_EQ((device.draws[0].renderFlags & RENDER_ALPHA) != 0, color >= 0x01000000u);
        // The flag stays as the last batch left it.
        EXPECT_EQ((font.m_pObject->m_dwFlags2 & RENDER_ALPHA) != 0, color >= 0x01000000u);
    }
}

TEST_F(FontTest, ShadowRotationAndCallerMatrix) {
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    SetGlyphs(font);
    CMaths3D& maths = *shared->m_pMaths3D;
    MATRIX3D identity, rotation, callers;
    maths._MATRIX3DIdentity(&identity);
    rotation = identity;
    maths._MATRIX3DRotationZ(&rotation, 0.5f);
    callers = identity;
    maths._MATRIX3DTranslationXYZ(&callers, 7, 8, 9);
    maths._MATRIX3DRotationZ(&callers, 0.25f);
    float angle = 0.5f;

    auto shifted = [&](const MATRIX3D& base, float dy) {
        MATRIX3D m = base;
        maths._MATRIX3DTranslationXYZ(&m, 2, dy, 0);
        return m;
    };
    struct Case {
        uint16_t flags;
        void* param;
        bool shadow;
        MATRIX3D main, shadowMatrix;
    };
    const Case cases[] = {
        {0, nullptr, false, identity, identity},
        {TEXT_SHADOW, nullptr, true, identity, shifted(identity, 2)},
        {TEXT_SHADOW | TEXT_ROTATED, nullptr, true, identity, shifted(identity, -2)},
        {TEXT_ROTATION_Z, &angle, false, rotation, identity},
        {TEXT_ROTATION_Z | TEXT_MATRIX | TEXT_SHADOW, &angle, true, rotation, shifted(rotation, 2)},
        {TEXT_MATRIX | TEXT_SHADOW, &callers, true, callers, shifted(callers, 2)},
    };
    auto same = [](const MATRIX3D& a, const MATRIX3D& b) {
        for (int i = 0; i < 16; ++i)
            if (std::fabs(a.Data()[i] - b.Data()[i]) > 1e-5f) return false;
        return true;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        device.draws.clear();
        VECTOR3D position{10, 20, 0};
        // 20 bytes: two batches, each drawn once more for the shadow.
        font.RenderText("ABCDEFGHIJKLMNOPQRST", &position, c.flags, 0xFFFFFFFFu, 10, 10, nullptr, c.param, 0);
        ASSERT_EQ(device.draws.size(), c.shadow ? 4u : 2u);
        for (size_t i = 0; i < device.draws.size(); ++i) {
            const Draw& d = device.draws[i];
            const bool shadowPass = c.shadow && i % 2 == 0;
            SCOPED_TRACE(shadowPass ? "shadow pass" : "text pass");
            EXPECT_EQ((d.renderFlags & RENDER_LIGHTING) != 0, shadowPass);
            EXPECT_EQ((d.renderFlags & RENDER_LIGHT) != 0, !shadowPass);
            EXPECT_TRUE(same(d.matrix, shadowPass ? c.shadowMatrix : c.main));
        }
        EXPECT_EQ(font.m_pObject->m_dwFlags2 & (RENDER_LIGHT | RENDER_LIGHTING), RENDER_LIGHT);
        EXPECT_EQ(font.m_pObject->m_pCurrentMatrix, &font.m_pObject->m_matMatrix);
    }
}

TEST_F(FontTest, NothingIsDrawnWithoutAMesh) {
    SetGlyphs(font);
    VECTOR3D position{3, 4, 0};
    const VECTOR3D end = font.RenderText("AB", &position, TEXT_CENTER_X, 0xFFFFFFFFu, 10, 10, nullptr, nullptr, 0);
    EXPECT_EQ(end.x, 3.0f);
    EXPECT_EQ(end.y, 4.0f);
    EXPECT_TRUE(device.draws.empty());
    EXPECT_EQ(font.m_pRemaining, nullptr);
}

// --- The TrueType builder -------------------------------------------------

Bytes ReadFont() {
    Bytes font = texttest::ReadFile(kDejaVu);
    EXPECT_FALSE(font.empty()) << kDejaVu << " is missing (package fonts-dejavu-core)";
    return font;
}

// What FreeType itself says about the codes 32..287 at a pixel size.
struct Reference {
    std::vector<long> advance;
    std::vector<int> left, top;
    std::vector<uint32_t> rows, width;
    std::vector<Bytes> bitmaps;  // rows x width, no padding
    int maxTop = 0, maxBelow = 0;
};

Reference Measure(const Bytes& font, int pixelSize) {
    Reference r;
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib)) return r;
    if (FT_New_Memory_Face(lib, font.data(), static_cast<FT_Long>(font.size()), 0, &face)) {
        FT_Done_FreeType(lib);
        return r;
    }
    FT_Set_Pixel_Sizes(face, pixelSize, 0);
    for (uint32_t code = 32; code < 288; ++code) {
        FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_RENDER);
        const FT_GlyphSlot s = face->glyph;
        r.advance.push_back(s->advance.x >> 6);
        r.left.push_back(s->bitmap_left);
        r.top.push_back(s->bitmap_top);
        r.rows.push_back(s->bitmap.rows);
        r.width.push_back(s->bitmap.width);
        Bytes b;
        for (uint32_t y = 0; y < s->bitmap.rows; ++y)
            b.insert(b.end(), s->bitmap.buffer + y * s->bitmap.pitch, s->bitmap.buffer + y * s->bitmap.pitch + s->bitmap.width);
        r.bitmaps.push_back(b);
        r.maxTop = std::max(r.maxTop, s->bitmap_top);
        r.maxBelow = std::max(r.maxBelow, static_cast<int>(s->bitmap.rows) - s->bitmap_top);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return r;
}

TEST(KavroFontAtlasGeometry, RowBreaksAndPowerOfTwoHeights) {
    struct Rows {
        std::vector<uint8_t> cells;
        uint32_t rows;
    };
    const std::vector<Rows> rowCases = {
        {{255, 255, 255, 249}, 1},  // exactly 1014
        {{255, 255, 255, 250}, 2},  // 1015
        {{}, 1},
        {{255, 255, 255, 249, 255, 255, 255, 249, 1}, 3},
        {std::vector<uint8_t>(256, 10), 3},  // 101 cells a row
    };
    for (const Rows& c : rowCases)
        EXPECT_EQ(eFontAtlasRows(c.cells.data(), static_cast<uint32_t>(c.cells.size())), c.rows) << c.cells.size();

    struct Height {
        uint32_t rows, line, height;
    };
    const Height heights[] = {
        {1, 50, 128},  // needs 70
        {8, 50, 512},  // needs 490
        {1, 0, 32},    {0, 0, 16},   {1, 108, 128},  // needs exactly 128
        {1, 109, 256}, {3, 36, 256}, {64, 300, 32768},
    };
    for (const Height& h : heights) EXPECT_EQ(eFontAtlasHeight(h.rows, h.line), h.height) << h.rows << " x " << h.line;
}

class TrueTypeTest : public texttest::DeviceTest {
protected:
    void TearDown() override {
        font.Unload();
        texttest::DeviceTest::TearDown();
    }
    CapturingFont font{shared.get()};
};

TEST_F(TrueTypeTest, CellsAdvancesAndTheAtlasMatchFreeType) {
    const Bytes data = ReadFont();
    ASSERT_FALSE(data.empty());
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    Bytes copy = data;
    ASSERT_EQ(font.MakeFontTTFFromAddress("DejaVuSans-Bold.ttf", copy.data(), uint32_t(copy.size()), 30, 3), eOK);
    ASSERT_EQ(font.built, 1);
    ASSERT_EQ(font.cells.size(), 256u);
    const Reference ref = Measure(data, 30);
    ASSERT_EQ(ref.advance.size(), 256u);

    const uint32_t H = font.height;
    const int L = ref.maxTop + ref.maxBelow;
    EXPECT_EQ(font.width, 1024u);
    std::set<float> rowTops;
    for (const VECTOR4D& c : font.cells) rowTops.insert(c.y);
    EXPECT_EQ(H, eFontAtlasHeight(static_cast<uint32_t>(rowTops.size()), static_cast<uint32_t>(L)));
    EXPECT_EQ(H & (H - 1), 0u);

    float maxWidth = 0, maxHeight = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        SCOPED_TRACE(testing::Message() << "code " << 32 + i);
        const VECTOR4D& c = font.cells[i];
        EXPECT_FLOAT_EQ((c.z - c.x) * 1024.0f, static_cast<float>(ref.advance[i] + 3));
        EXPECT_NEAR((c.y - c.w) * H, static_cast<float>(L), 1e-3);
        if (i + 1 < 256) {
            const VECTOR4D& next = font.cells[i + 1];
            if (next.y == c.y)
                EXPECT_FLOAT_EQ((next.x - c.x) * 1024.0f, static_cast<float>(ref.advance[i] + 10));
            else
                EXPECT_FLOAT_EQ(next.x * 1024.0f, 10.0f);  // a new row starts at the margin
        }
        if (i < 224) {
            EXPECT_TRUE(SameGlyph(font.m_aGlyph[32 + i], c));
            maxWidth = std::max(maxWidth, c.z - c.x);
            maxHeight = std::max(maxHeight, c.y - c.w);
        }

        // The glyph's coverage sits on its cell's baseline, byte for byte.
        const int left = static_cast<int>(std::lround(c.x * 1024.0f));
        const int baseline = static_cast<int>(std::lround((1.0f - c.y) * H)) + ref.maxTop;
        for (uint32_t y = 0; y < ref.rows[i]; ++y)
            for (uint32_t x = 0; x < ref.width[i]; ++x) {
                const int ay = baseline - ref.top[i] + static_cast<int>(y), ax = left + ref.left[i] + static_cast<int>(x);
                ASSERT_TRUE(ay >= 0 && ay < int(H) && ax >= 0 && ax < 1024);
                ASSERT_EQ(font.atlas[size_t(ay) * 1024 + ax], ref.bitmaps[i][y * ref.width[i] + x]) << x << "," << y;
            }
    }
    for (int c = 0; c < 32; ++c) EXPECT_TRUE(SameGlyph(font.m_aGlyph[c], VECTOR4D{0, 0, 0, 0}));
    EXPECT_FLOAT_EQ(font.m_fMaxWidth, 0.7f * maxWidth);
    EXPECT_FLOAT_EQ(font.m_fMaxHeight, 0.7f * maxHeight);
    // Nothing but the glyphs was written.
    uint64_t atlasSum = 0, glyphSum = 0;
    for (uint8_t b : font.atlas) atlasSum += b;
    for (const Bytes& b : ref.bitmaps)
        for (uint8_t v : b) glyphSum += v;
    EXPECT_EQ(atlasSum, glyphSum);

    // The atlas is the mesh's texture: 8 bits, as alpha, not mipmapped.
    C3DTexture* texture = font.m_pObject->GetOneTexture(0, 0);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->m_wWidth, 1024u);
    EXPECT_EQ(texture->m_wHeight, H);
    EXPECT_EQ(texture->m_bBitsPerPixel, 8u);
    EXPECT_EQ(texture->m_dwFlags, 1u);
    EXPECT_EQ(texture->m_dwFlags2, 0x52u);
    EXPECT_EQ(Count(device.m_plistTextures), 1u);
    // Unloading the font releases the atlas with the mesh.
    font.Unload();
    EXPECT_EQ(Count(device.m_plistTextures), 0u);
    EXPECT_EQ(Count(device.m_plistObjects), 0u);
}

TEST_F(TrueTypeTest, FromAPackEntryAndAtTheLargestSize) {
    const Bytes data = ReadFont();
    ASSERT_FALSE(data.empty());
    texttest::TempDir dir;
    ASSERT_TRUE(texttest::WritePack(dir.Path("fonts.pak"), {{"teenbold.ttf", data}, {"after", Bytes(16, 1)}}));
    texttest::OpenPack pack(dir.Path("fonts.pak"));
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    ASSERT_NE(pack.Find("teenbold.ttf"), nullptr);
    ASSERT_EQ(font.LoadFontTTFFromPacker(pack.get(), 30, 3), eOK);
    EXPECT_EQ(font.height, 512u);
    // Building again replaces the atlas instead of keeping both.
    Bytes again = data;
    ASSERT_EQ(font.MakeFontTTFFromAddress("again", again.data(), uint32_t(again.size()), 20, 0), eOK);
    EXPECT_EQ(font.height, 256u);
    EXPECT_EQ(Count(device.m_plistTextures), 1u);
    EXPECT_EQ(font.m_pObject->GetOneTexture(0, 0)->m_wHeight, 256u);

    // An entry that claims more than the pack holds fails.
    ASSERT_NE(pack.Find("after"), nullptr);
    pack.get()->m_dwSize += 1;
    EXPECT_EQ(font.LoadFontTTFFromPacker(pack.get(), 30, 3), eFAILED);

    // At 255 pixels cells wrap and glyphs reach outside their cells and the
    // atlas; whatever falls outside is dropped (the sanitizer build watches).
    CapturingFont big(shared.get());
    ASSERT_EQ(big.Load(FONT_SCREEN), eOK);
    Bytes copy = data;
    EXPECT_EQ(big.MakeFontTTFFromAddress("big", copy.data(), uint32_t(copy.size()), 255, 255), eOK);
    EXPECT_EQ(big.atlas.size(), size_t(1024) * big.height);
    EXPECT_EQ(big.height & (big.height - 1), 0u);
    big.Unload();
}

TEST_F(TrueTypeTest, FontsThatCannotBeUsedLeaveTheTableAlone) {
    // A bitmap font opens in FreeType but is not scalable.
    const std::string bdf =
        "STARTFONT 2.1\nFONT -test-fixed-medium-r-normal--8-80-75-75-c-80-iso10646-1\nSIZE 8 75 75\n"
        "FONTBOUNDINGBOX 8 8 0 0\nSTARTPROPERTIES 2\nFONT_ASCENT 8\nFONT_DESCENT 0\nENDPROPERTIES\nCHARS 1\n"
        "STARTCHAR A\nENCODING 65\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 8 8 0 0\nBITMAP\nFF\n81\n81\n81\n81\n81\n81\nFF\n"
        "ENDCHAR\nENDFONT\n";
    {
        FT_Library lib;
        FT_Face face;
        ASSERT_EQ(FT_Init_FreeType(&lib), 0);
        ASSERT_EQ(FT_New_Memory_Face(lib, reinterpret_cast<const FT_Byte*>(bdf.data()), FT_Long(bdf.size()), 0, &face), 0)
            << "FreeType lacks the BDF driver";
        EXPECT_FALSE(face->face_flags & FT_FACE_FLAG_SCALABLE);
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
    }
    Bytes bitmapFont(bdf.begin(), bdf.end());
    Bytes garbage(5000, 0x5A);
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    for (Bytes* data : {&bitmapFont, &garbage}) {
        EXPECT_EQ(font.MakeFontTTFFromAddress("bad", data->data(), uint32_t(data->size()), 30, 3), eFAILED);
        EXPECT_EQ(font.built, 0);
        EXPECT_EQ(font.m_aGlyph['A'].z, 0.0f);
        EXPECT_EQ(font.m_fMaxWidth, 0.0f);
        EXPECT_EQ(Count(device.m_plistTextures), 0u);
    }
    EXPECT_EQ(font.MakeFontTTFFromAddress("none", nullptr, 100, 30, 3), eFAILED);

    // Without a mesh the atlas has nowhere to go: the load fails, the table
    // is filled and scaled, and no texture is left in the device.
    const Bytes data = ReadFont();
    ASSERT_FALSE(data.empty());
    CapturingFont meshless(shared.get());
    Bytes copy = data;
    EXPECT_EQ(meshless.MakeFontTTFFromAddress("x", copy.data(), uint32_t(copy.size()), 30, 3), eFAILED);
    EXPECT_EQ(meshless.built, 1);
    EXPECT_NE(meshless.m_aGlyph['A'].z, 0.0f);
    EXPECT_LT(meshless.m_fMaxWidth, meshless.cells['W' - 32].z - meshless.cells['W' - 32].x + 1e-6f);
    EXPECT_EQ(Count(device.m_plistTextures), 0u);
}

// --- Drawn text, read back ------------------------------------------------------

TEST_F(TrueTypeTest, WhiteTextLightsPixelsOnlyInsideItsBox) {
    const Bytes data = ReadFont();
    ASSERT_FALSE(data.empty());
    ASSERT_EQ(font.Load(FONT_SCREEN), eOK);
    Bytes copy = data;
    ASSERT_EQ(font.MakeFontTTFFromAddress("DejaVuSans-Bold.ttf", copy.data(), uint32_t(copy.size()), 30, 3), eOK);

    struct Case {
        const char* text;
        float x, y;
    };
    for (const Case& c : {Case{"ABC", 40, 100}, Case{"_", 200, 300}}) {
        SCOPED_TRACE(c.text);
        glClear(GL_COLOR_BUFFER_BIT);
        VECTOR3D position{c.x, c.y, 0};
        const float sx = 30, sy = 40;
        const VECTOR3D end = font.RenderText(c.text, &position, 0, 0xFFFFFFFFu, sx, sy, nullptr, nullptr, 0);
        const Bytes fb = ReadFramebuffer();
        // Pixel space has y down; window rows count from the bottom.
        int lit = 0, litOutside = 0;
        std::vector<int> perChar(std::strlen(c.text), 0);
        int litLow = 0, litHigh = 0;
        for (int wy = 0; wy < gltest::kHeight; ++wy)
            for (int wx = 0; wx < gltest::kWidth; ++wx) {
                const uint8_t* p = &fb[(size_t(wy) * gltest::kWidth + wx) * 4];
                if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
                const float px = wx + 0.5f, py = gltest::kHeight - (wy + 0.5f);
                // Not one touched pixel outside the quads.
                if (px < c.x || px > end.x || py < c.y || py > c.y + sy) {
                    ++litOutside;
                    continue;
                }
                EXPECT_TRUE(p[0] == p[1] && p[1] == p[2]) << "white text stays grey";
                if (p[0] < 128) continue;
                ++lit;
                (py > c.y + sy / 2 ? litLow : litHigh)++;
                float x = c.x;
                for (size_t k = 0; k < perChar.size(); ++k) {
                    const VECTOR4D& g = font.m_aGlyph[static_cast<unsigned char>(c.text[k])];
                    const float w = (g.z - g.x) / font.m_fMaxWidth * sx;
                    if (px >= x && px < x + w) ++perChar[k];
                    x += w;
                }
            }
        EXPECT_GT(lit, 20);
        EXPECT_EQ(litOutside, 0);
        for (size_t k = 0; k < perChar.size(); ++k) EXPECT_GT(perChar[k], 10) << "character " << k;
        // The underscore lies low in its line: the atlas is not upside down.
        if (std::string(c.text) == "_") {
            EXPECT_GT(litLow, 0);
            EXPECT_EQ(litHigh, 0);
        }
    }
}

}  // namespace
