// Objects loaded from and saved to 3DX models on a real OpenGL ES 1.1
// context: the round trip field by field, the texture look-up through a
// texture path, a static loader or the pack, the shared error code, the
// cull-mode override, the name kept, and a loaded model drawn and read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "tests/engine/3d/Model3DXImages.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using model3dx::Bytes;
using model3dx::Model;
using Pixel = std::array<uint8_t, 4>;

// A 256 x 256 raw RGB image of one colour.
Bytes RawImage(uint8_t r, uint8_t g, uint8_t b) {
    Bytes out(eTEXTURE_RAW_SIZE);
    for (size_t i = 0; i < out.size(); i += 3) out[i] = r, out[i + 1] = g, out[i + 2] = b;
    return out;
}

const Bytes& Stone() {
    static const Bytes image = RawImage(0x80, 0x70, 0x60);
    return image;
}

const Bytes& Green() {
    static const Bytes image = RawImage(0, 0xFF, 0);
    return image;
}

// The compiled-in resources of these tests: two images, one that is no image
// and one that is empty.
eRESULT StaticResources(char* name, _RES_STATIC* out) {
    static uint8_t garbage[10] = {1, 2, 3};
    static uint8_t nothing[1] = {0};
    const std::string n = name;
    if (n == "stone.raw") {
        *out = _RES_STATIC{static_cast<uint32_t>(Stone().size()), const_cast<uint8_t*>(Stone().data())};
    } else if (n == "green.raw") {
        *out = _RES_STATIC{static_cast<uint32_t>(Green().size()), const_cast<uint8_t*>(Green().data())};
    } else if (n == "garbage.raw") {
        *out = _RES_STATIC{sizeof garbage, garbage};
    } else if (n == "empty.raw") {
        *out = _RES_STATIC{0, nothing};
    } else {
        return eFAILED;
    }
    return eOK;
}

// (registered, use count) of a texture in the device's registry.
std::pair<bool, uint32_t> EntryOf(CFIFOListRecycle* list, const void* p) {
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext)
        if (node->m_pData == p) return {true, static_cast<FIFO_NODE_RECYCLE*>(node)->m_dwRecycleCount};
    return {false, 0};
}

size_t CountOf(CFIFOList* list) {
    size_t n = 0;
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext) ++n;
    return n;
}

// Normalised device coordinates of the centre of pixel (x, y), y from the
// bottom row; with identity matrices these land on that pixel.
VECTOR3D Px(float x, float y) {
    return VECTOR3D{(x + 0.5f) / (gltest::kWidth / 2.0f) - 1.0f, (y + 0.5f) / (gltest::kHeight / 2.0f) - 1.0f, 0.0f};
}

class ModelLoadTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_bDepthBuffer = 1;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
        dir = model3dx::TempPath("orbelline_models_" + std::to_string(::getpid()) + "/");
        ASSERT_EQ(std::system(("mkdir -p '" + dir + "models'").c_str()), 0);
        model3dx::WriteFile(dir + "stone.raw", Stone());
        model3dx::WriteFile(dir + "green.raw", Green());
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override {
        if (pack) std::fclose(pack);
        device.Unload();
        std::system(("rm -rf '" + dir + "'").c_str());
        gltest::GlesTest::TearDown();
    }

    // An object built from `m` through the construction protocol, with each
    // sub-object's texture loaded from the test directory.
    C3DObject* Build(const Model& m, uint32_t renderFlags = RENDER_TEXTURE1) {
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, renderFlags);
        if (!o) return nullptr;
        EXPECT_EQ(o->InitConstruct(static_cast<uint32_t>(m.subs.size()), static_cast<uint32_t>(m.vertices.size()),
                                   static_cast<uint32_t>(m.indices.size())),
                  eOK);
        EXPECT_EQ(o->BeginConstruct(), eOK);
        for (uint32_t k = 0; k < m.indices.size(); ++k) EXPECT_EQ(o->SetIndex(k, m.indices[k]), eOK);
        for (uint32_t i = 0; i < m.vertices.size(); ++i) {
            const model3dx::Vertex& v = m.vertices[i];
            EXPECT_EQ(o->SetVertex(i, v.position, v.color, v.uv, v.normal, v.specular), eOK);
        }
        for (uint32_t s = 0; s < m.subs.size(); ++s) {
            const ATTRIBUT& r = m.subs[s].record;
            EXPECT_EQ(o->SetSubObjParsingEx(s, r.dwVertexStart, r.dwVertexCount, r.dwIndexStart, r.dwIndexCount,
                                            r.dwPrimitiveCount, r.dwPrimitiveType, r.dwCullMode, r.dwOrder),
                      eOK);
            o->m_pMaterials[s] = m.subs[s].material;
        }
        EXPECT_EQ(o->EndConstruct(true), eOK);
        for (uint32_t s = 0; s < m.subs.size(); ++s) {
            const model3dx::SubObject& sub = m.subs[s];
            if (sub.texture.empty()) continue;
            EXPECT_EQ(o->LoadOneTextureFromFile(sub.word1, sub.word2, (dir + sub.texture).c_str(), s, 0), eOK);
        }
        return o;
    }

    // A raw model holding `m`, as SaveToRaw would leave it.
    void Fill(C3DObjectRaw& raw, const Model& m) {
        ASSERT_EQ(raw.Load(static_cast<uint32_t>(m.subs.size()), static_cast<uint32_t>(m.vertices.size()),
                           static_cast<uint32_t>(m.indices.size())),
                  eOK);
        RAW_MODEL* r = raw.m_pModel;
        for (size_t k = 0; k < m.indices.size(); ++k) r->m_pdwIndices[k] = m.indices[k];
        for (size_t i = 0; i < m.vertices.size(); ++i) {
            r->m_pvPositions[i] = m.vertices[i].position;
            r->m_pdwColors[i] = m.vertices[i].color;
            r->m_pvUVs[i] = m.vertices[i].uv;
        }
        for (size_t s = 0; s < m.subs.size(); ++s) {
            r->m_pAttributes[s] = m.subs[s].record;
            std::snprintf(r->m_pszTextureNames[s], eMAX_PATH, "%s", m.subs[s].texture.c_str());
            r->m_pdwTextureWords1[s] = m.subs[s].word1;
            r->m_pdwTextureWords2[s] = m.subs[s].word2;
        }
    }

    // A pack holding the entries, open as the world's pack with eGetResPacker
    // as its lookup.
    void OpenPack(const std::vector<std::pair<std::string, Bytes>>& entries) {
        pack = std::tmpfile();
        ASSERT_NE(pack, nullptr);
        for (const auto& e : entries) {
            ASSERT_EQ(eResPackerWriteEntryHeader(pack, e.first.c_str(), static_cast<uint32_t>(e.second.size())), eOK);
            std::fwrite(e.second.data(), 1, e.second.size(), pack);
        }
        std::fflush(pack);
        shared->m_ResPacker.m_pFile = pack;
        shared->m_pfnResPacker = eGetResPacker;
    }

    gltest::SharedInfosHolder shared;
    C3DEngineGLES device;
    std::string dir;
    FILE* pack = nullptr;
};

// Build, save with a contents word, load back: every field the word names
// comes back, the others read as zero (materials as the defaults, no texture
// without a name).
TEST_F(ModelLoadTest, RoundTripKeepsWhatTheContentsWordNames) {
    const uint32_t words[] = {
        0x03DF0000u,  // everything
        e3DX_POSITION | e3DX_UV,
        e3DX_POSITION | e3DX_NORMAL | e3DX_COLOR | e3DX_MATERIAL,
        e3DX_POSITION | e3DX_SPECULAR | e3DX_TEXTURE_NAME,
        e3DX_POSITION | e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 | e3DX_TEXTURE_WORD2,
    };
    const Model m = model3dx::Sample();
    C3DObject* source = Build(m);
    ASSERT_NE(source, nullptr);
    const std::string path = dir + "models/ball.3dx";
    for (uint32_t contents : words) {
        SCOPED_TRACE(testing::Message() << std::hex << contents);
        ASSERT_EQ(source->SaveToFile(path.c_str(), contents), eOK);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->LoadFromFile(path.c_str(), dir.c_str()), eOK);
        EXPECT_STREQ(o->m_szName, "ball.3dx");
        ASSERT_EQ(o->m_dwVertexCount, m.vertices.size());
        ASSERT_EQ(o->m_dwSubObjectCount, m.subs.size());

        ASSERT_EQ(o->BeginConstruct(), eOK);
        for (uint32_t k = 0; k < m.indices.size(); ++k) EXPECT_EQ(o->GetIndex(k), m.indices[k]) << k;
        for (uint32_t i = 0; i < m.vertices.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "vertex " << i);
            const model3dx::Vertex& v = m.vertices[i];
            VECTOR3D p, n;
            VECTOR2D uv;
            uint32_t color, specular;
            ASSERT_EQ(o->GetVertex(i, &p, &color, &uv, &n, &specular), eOK);
            const bool hasP = contents & e3DX_POSITION, hasN = contents & e3DX_NORMAL, hasUV = contents & e3DX_UV;
            EXPECT_EQ(p.x, hasP ? v.position.x : 0.0f);
            EXPECT_EQ(p.y, hasP ? v.position.y : 0.0f);
            EXPECT_EQ(p.z, hasP ? v.position.z : 0.0f);
            EXPECT_EQ(n.x, hasN ? v.normal.x : 0.0f);
            EXPECT_EQ(n.y, hasN ? v.normal.y : 0.0f);
            EXPECT_EQ(n.z, hasN ? v.normal.z : 0.0f);
            EXPECT_EQ(color, contents & e3DX_COLOR ? v.color : 0u);
            EXPECT_EQ(specular, contents & e3DX_SPECULAR ? v.specular : 0u);
            // v is stored as 1 - v and back, twice: equal to the last bit or so.
            EXPECT_FLOAT_EQ(uv.x, hasUV ? v.uv.x : 0.0f);
            EXPECT_NEAR(uv.y, hasUV ? v.uv.y : 0.0f, 1e-6f);
        }
        EXPECT_EQ(o->EndConstruct(false), eOK);

        for (uint32_t s = 0; s < m.subs.size(); ++s) {
            SCOPED_TRACE(testing::Message() << "sub-object " << s);
            const model3dx::SubObject& want = m.subs[s];
            ATTRIBUT r;
            ASSERT_EQ(o->GetSubObjParsing(s, &r), eOK);
            EXPECT_EQ(std::memcmp(&r, &want.record, sizeof r), 0);
            MATERIAL expected;
            eInitMaterial(&expected);
            if (contents & e3DX_MATERIAL) expected = want.material;
            EXPECT_EQ(std::memcmp(&o->m_pMaterials[s], &expected, sizeof expected), 0);
            const C3DTexture* texture = o->GetOneTexture(s, 0);
            if (!(contents & e3DX_TEXTURE_NAME) || want.texture.empty()) {
                EXPECT_EQ(texture, nullptr);
                continue;
            }
            ASSERT_NE(texture, nullptr);
            EXPECT_STREQ(texture->m_szName, want.texture.c_str());
            EXPECT_EQ(texture->m_dwFlags, contents & e3DX_TEXTURE_WORD1 ? want.word1 : 0u);
            EXPECT_EQ(texture->m_dwFlags2, contents & e3DX_TEXTURE_WORD2 ? want.word2 : 0u);
            EXPECT_EQ(texture->m_wWidth, 256);
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    EXPECT_EQ(device.Delete3DObject(source), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

// Position and texture coordinates only: 20 bytes a vertex after the records,
// and an object with zero normals, colours and speculars and default
// materials once loaded.
TEST_F(ModelLoadTest, PositionAndUVOnly) {
    C3DObject* source = Build(model3dx::Sample());
    ASSERT_NE(source, nullptr);
    const std::string path = dir + "thin.3dx";
    ASSERT_EQ(source->SaveToFile(path.c_str(), e3DX_POSITION | e3DX_UV), eOK);
    EXPECT_EQ(model3dx::ReadFile(path).size(), 20u + 2 * 32 + 7 * 20 + 10 * 4);
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->LoadFromFile(path.c_str(), nullptr), eOK);
    for (uint32_t i = 0; i < 7; ++i) {
        const VECTOR3D n = o->GetVertexNormal(i);
        EXPECT_EQ(n.x == 0 && n.y == 0 && n.z == 0, true) << i;
        EXPECT_EQ(o->GetVertexColor(i), 0u) << i;
        EXPECT_EQ(o->GetVertexSpecular(i), 0u) << i;
        EXPECT_EQ(o->GetVertexPosition(i).x, static_cast<float>(i));
    }
    MATERIAL defaults;
    eInitMaterial(&defaults);
    for (uint32_t s = 0; s < 2; ++s) EXPECT_EQ(std::memcmp(&o->m_pMaterials[s], &defaults, sizeof defaults), 0);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    EXPECT_EQ(device.Delete3DObject(source), eOK);
}

TEST_F(ModelLoadTest, SaveNeedsAnIndexBufferAndA3DXName) {
    C3DObject* bare = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->SaveToFile((dir + "bare.3dx").c_str(), 0x03DF0000u), eFAILED);
    EXPECT_NE(access((dir + "bare.3dx").c_str(), F_OK), 0);
    // No sub-object: nothing a 3DX file can hold, and no file is written.
    C3DObject* empty = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(empty, nullptr);
    ASSERT_EQ(empty->InitConstruct(0, 3, 3), eOK);
    EXPECT_EQ(empty->SaveToFile((dir + "empty.3dx").c_str(), 0x03DF0000u), eFAILED);
    EXPECT_NE(access((dir + "empty.3dx").c_str(), F_OK), 0);
    EXPECT_EQ(device.Delete3DObject(empty), eOK);
    C3DObject* o = Build(model3dx::Sample());
    ASSERT_NE(o, nullptr);
    for (const char* name : {"out.3ds", "out.3ds.3dx", "out.obj", "out.3Dx"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(o->SaveToFile((dir + name).c_str(), 0x03DF0000u), eFAILED);
        EXPECT_NE(access((dir + name).c_str(), F_OK), 0);
    }
    EXPECT_EQ(device.Delete3DObject(bare), eOK);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

// Where a sub-object's texture comes from: the texture path first, then the
// static loader, then the pack loader. Sub-object 0 asks for the name under
// test, sub-object 1 for "stone.raw", which every source has: a failure on
// the first does not keep the second from loading.
TEST_F(ModelLoadTest, TextureLookUpAndTheSharedErrorCode) {
    OpenPack({{"stone.raw", Stone()}, {"garbage.raw", Bytes(10, 7)}});
    struct Case {
        const char* what;
        std::string texturePath;  // "-": none
        bool withStatic, withPacker;
        std::string name;
        bool ok;
        std::string errorText;  // expected when not ok
        bool traced;
    };
    const std::string longPath = dir + std::string(300, 'd') + "/";
    const std::vector<Case> cases = {
        {"path", dir, false, false, "stone.raw", true, "", false},
        {"path wins over the loaders", dir, true, true, "stone.raw", true, "", false},
        {"missing under the path", dir, true, true, "missing.raw", false, dir + "missing.raw", false},
        {"path and name too long", longPath, false, false, "stone.raw", false, (longPath + "stone.raw").substr(0, 259),
         false},
        {"static", "-", true, true, "stone.raw", true, "", false},
        {"static without the name", "-", true, true, "missing.raw", false, "missing.raw", true},
        {"static, no image", "-", true, false, "garbage.raw", false, "garbage.raw", true},
        {"static, empty resource", "-", true, false, "empty.raw", false, "empty.raw", true},
        {"pack", "-", false, true, "stone.raw", true, "", false},
        {"pack without the name", "-", false, true, "missing.raw", false, "missing.raw", false},
        {"pack, no image", "-", false, true, "garbage.raw", false, "garbage.raw", false},
        {"nowhere to look", "-", false, false, "stone.raw", false, "stone.raw", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Model m = model3dx::Sample(0);
        m.subs[0].texture = c.name;
        m.subs[1].texture = "stone.raw";
        const bool second = c.texturePath != "-" ? c.texturePath == dir : c.withStatic || c.withPacker;
        C3DObjectRaw raw(shared.get());
        Fill(raw, m);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
        ASSERT_NE(o, nullptr);
        shared->m_dwErrorCode = 0;
        shared->m_szErrorText[0] = '\0';
        testing::internal::CaptureStderr();
        const eRESULT r = o->LoadFromRaw(&raw, c.withStatic ? StaticResources : nullptr,
                                         c.withPacker ? static_cast<PFN_RES_PACKER>(eGetResPacker) : nullptr,
                                         c.texturePath == "-" ? nullptr : c.texturePath.c_str());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(r, c.ok ? eOK : eFAILED);
        EXPECT_EQ(o->m_dwVertexCount, 7u);  // the geometry is there either way
        EXPECT_EQ(o->GetVertexPosition(6).x, 6.0f);
        EXPECT_EQ(o->GetOneTexture(0, 0) != nullptr, c.ok);
        EXPECT_EQ(o->GetOneTexture(1, 0) != nullptr, second);
        EXPECT_EQ(shared->m_dwErrorCode, c.ok ? 0u : e3D_ERROR_TEXTURE);
        EXPECT_EQ(std::string(shared->m_szErrorText), c.ok ? "" : c.errorText);
        const std::string line = "# C3DObject::LoadFromRaw MakeOneTextureFromAddress failed! \"" + c.name + "\"\n";
        EXPECT_EQ(err.find(line) != std::string::npos, c.traced) << err;
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

TEST_F(ModelLoadTest, EmptyTextureNameGetsNoTextureAndNoError) {
    Model m = model3dx::Sample(0);
    m.subs[0].texture = "";
    m.subs[1].texture = "";
    C3DObjectRaw raw(shared.get());
    Fill(raw, m);
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_NE(o, nullptr);
    shared->m_dwErrorCode = 0;
    EXPECT_EQ(o->LoadFromRaw(&raw, nullptr, nullptr, nullptr), eOK);
    EXPECT_EQ(o->GetOneTexture(0, 0), nullptr);
    EXPECT_EQ(o->GetOneTexture(1, 0), nullptr);
    EXPECT_EQ(shared->m_dwErrorCode, 0u);
    EXPECT_EQ(device.Delete3DObject(o), eOK);

    C3DObjectRaw empty(shared.get());
    C3DObject* other = device.Create3DObject(OBJ_NORMAL, 0);
    EXPECT_EQ(other->LoadFromRaw(&empty, nullptr, nullptr, nullptr), eFAILED);
    EXPECT_EQ(other->LoadFromRaw(nullptr, nullptr, nullptr, nullptr), eFAILED);
    C3DObjectRaw stranger(shared.get());
    EXPECT_EQ(other->SaveToRaw(nullptr, 0), eFAILED);
    EXPECT_EQ(other->SaveToRaw(&stranger, 0), eFAILED);  // nothing built yet
    EXPECT_EQ(device.Delete3DObject(other), eOK);
}

// The render flags choose the cull mode of every loaded sub-object; without
// them the file's own values stay (Sample: CULL_CCW and CULL_CW).
TEST_F(ModelLoadTest, CullFlagsOverrideTheFile) {
    struct Case {
        uint32_t renderFlags;
        uint32_t first, second;
    };
    const Case cases[] = {
        {0, CULL_CCW, CULL_CW},
        {RENDER_CULL_NONE, CULL_NONE, CULL_NONE},
        {RENDER_CULL_CCW, CULL_CCW, CULL_CCW},
        {RENDER_CULL_CW, CULL_CW, CULL_CW},
        {RENDER_CULL_CCW | RENDER_CULL_CW, CULL_CCW, CULL_CCW},
        {RENDER_CULL_NONE | RENDER_CULL_CW, CULL_NONE, CULL_NONE},
    };
    const Bytes image = model3dx::V3(model3dx::Sample(e3DX_POSITION | e3DX_COLOR)).bytes;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.renderFlags);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, c.renderFlags);
        ASSERT_NE(o, nullptr);
        Bytes copy = image;
        ASSERT_EQ(o->MakeFromAddress(copy.data(), static_cast<uint32_t>(copy.size()), "cull.3dx"), eOK);
        EXPECT_EQ(o->GetOneCullMode(0), c.first);
        EXPECT_EQ(o->GetOneCullMode(1), c.second);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ModelLoadTest, NameKeptOnSuccessOnly) {
    const Bytes plain = model3dx::V4(model3dx::Sample(e3DX_POSITION)).bytes;
    model3dx::WriteFile(dir + "models/ball.3dx", plain);
    const std::string path = dir + "models/ball.3dx";
    struct Case {
        uint32_t skip;
        std::string name;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, "ball.3dx"}, {static_cast<uint32_t>(dir.size()), "models/ball.3dx"}, {0, path}, {100000, ""}};
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.skip);
        shared->m_dwTextureNameSkip = c.skip;
        ASSERT_EQ(o->LoadFromFile(path.c_str(), nullptr), eOK);
        EXPECT_EQ(std::string(o->m_szName), c.name);
    }
    shared->m_dwTextureNameSkip = 0xFFFFFFFFu;
    ASSERT_EQ(o->LoadFromFile(path.c_str(), nullptr), eOK);

    // A file that cannot be read leaves the object as it was.
    EXPECT_EQ(o->LoadFromFile((dir + "missing.3dx").c_str(), nullptr), eFAILED);
    EXPECT_STREQ(o->m_szName, "ball.3dx");
    EXPECT_EQ(o->m_dwVertexCount, 7u);

    Bytes copy = model3dx::V3(model3dx::Sample(e3DX_POSITION)).bytes;
    ASSERT_EQ(o->MakeFromAddress(copy.data(), static_cast<uint32_t>(copy.size()), "memory.3DX"), eOK);
    EXPECT_STREQ(o->m_szName, "memory.3DX");

    // A texture that cannot be had: the geometry is the new model's, the
    // name is not kept.
    model3dx::WriteFile(dir + "textured.3dx", model3dx::V4(model3dx::Sample()).bytes);
    EXPECT_EQ(o->LoadFromFile((dir + "textured.3dx").c_str(), (dir + "nowhere/").c_str()), eFAILED);
    EXPECT_STREQ(o->m_szName, "");
    EXPECT_EQ(o->m_dwVertexCount, 7u);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

// A model from the world's pack whose textures come through the world's pack
// lookup: that lookup moves the pack record, but the object keeps the
// model's entry name.
TEST_F(ModelLoadTest, PackModelsAndTheirTextures) {
    OpenPack({{"stone.raw", Stone()},
              {"ball.3dX", model3dx::V4(model3dx::Sample()).bytes},
              {"cube.3dx", model3dx::V3(model3dx::Sample()).bytes}});
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(eGetResPacker("ball", &shared->m_ResPacker), eOK);
    ASSERT_EQ(o->LoadFromPacker(&shared->m_ResPacker), eOK);
    EXPECT_STREQ(o->m_szName, "ball.3dX");
    EXPECT_STREQ(shared->m_ResPacker.m_szName, "stone.raw");  // where the texture look-up left it
    ASSERT_NE(o->GetOneTexture(0, 0), nullptr);
    EXPECT_STREQ(o->GetOneTexture(0, 0)->m_szName, "stone.raw");

    // The Ex form takes its textures from the static loader it is given.
    _RES_PACKER own{};
    own.m_pFile = pack;
    ASSERT_EQ(eGetResPacker("cube", &own), eOK);
    ASSERT_EQ(o->LoadFromPackerEx(&own, StaticResources), eOK);
    EXPECT_STREQ(o->m_szName, "cube.3dx");
    ASSERT_NE(o->GetOneTexture(0, 0), nullptr);
    ASSERT_EQ(eGetResPacker("cube", &own), eOK);
    EXPECT_EQ(o->LoadFromPackerEx(&own, nullptr), eFAILED);  // no loader for "stone.raw"
    EXPECT_EQ(shared->m_dwErrorCode, e3D_ERROR_TEXTURE);

    // From memory with the pack as the texture source.
    Bytes copy = model3dx::V3(model3dx::Sample()).bytes;
    ASSERT_EQ(o->MakeFromAddressEx(copy.data(), static_cast<uint32_t>(copy.size()), "mem.3dx", eGetResPacker), eOK);
    ASSERT_NE(o->GetOneTexture(0, 0), nullptr);
    // And with the world's static loader.
    shared->m_pfnResStatic = StaticResources;
    ASSERT_EQ(o->MakeFromAddress(copy.data(), static_cast<uint32_t>(copy.size()), "mem.3dx"), eOK);
    ASSERT_NE(o->GetOneTexture(0, 0), nullptr);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

// Loading again into the same object gives the old slots' texture uses back
// to the device instead of dropping them.
TEST_F(ModelLoadTest, ReloadingGivesTextureUsesBack) {
    model3dx::WriteFile(dir + "ball.3dx", model3dx::V4(model3dx::Sample()).bytes);
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_NE(o, nullptr);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(o->LoadFromFile((dir + "ball.3dx").c_str(), dir.c_str()), eOK);
        ASSERT_EQ(CountOf(device.m_plistTextures), 1u);
        EXPECT_EQ(EntryOf(device.m_plistTextures, o->GetOneTexture(0, 0)), std::make_pair(true, 1u));
    }
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

// Two quads, one in red vertex colours and one white under a green texture,
// loaded from a V4 file with a texture path and from a V3 image in memory
// with the static loader: both draw the same pixels.
TEST_F(ModelLoadTest, ALoadedModelDraws) {
    Model m;
    m.contents = e3DX_POSITION | e3DX_COLOR | e3DX_UV | e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 | e3DX_TEXTURE_WORD2;
    auto quad = [&](float x0, float y0, float x1, float y1, uint32_t color) {
        const VECTOR3D corners[4] = {Px(x0, y0), Px(x0, y1), Px(x1, y0), Px(x1, y1)};
        const VECTOR2D uvs[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
        for (int i = 0; i < 4; ++i) m.vertices.push_back({corners[i], {0, 0, 1}, color, 0, uvs[i]});
    };
    quad(40, 40, 119, 119, 0xFFFF0000u);
    quad(180, 200, 259, 279, 0xFFFFFFFFu);
    m.indices = {0, 1, 2, 3, 0, 1, 2, 3};
    model3dx::SubObject red, green;
    red.record = ATTRIBUT{0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE};
    green.record = ATTRIBUT{1, 4, 4, 4, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE};
    green.texture = "green.raw";
    eInitMaterial(&red.material);
    eInitMaterial(&green.material);
    m.subs = {red, green};

    model3dx::WriteFile(dir + "quads.3dx", model3dx::V4(m).bytes);
    Bytes v3 = model3dx::V3(m).bytes;
    shared->m_pfnResStatic = StaticResources;
    for (bool fromMemory : {false, true}) {
        SCOPED_TRACE(fromMemory ? "V3 from memory" : "V4 from a file");
        glClear(GL_COLOR_BUFFER_BIT);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
        ASSERT_NE(o, nullptr);
        const eRESULT r = fromMemory ? o->MakeFromAddress(v3.data(), static_cast<uint32_t>(v3.size()), "quads.3dx")
                                     : o->LoadFromFile((dir + "quads.3dx").c_str(), dir.c_str());
        ASSERT_EQ(r, eOK);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(80, 80), (Pixel{0xFF, 0, 0, 0xFF}));
        EXPECT_EQ(ReadPixel(41, 118), (Pixel{0xFF, 0, 0, 0xFF}));
        EXPECT_EQ(ReadPixel(220, 240), (Pixel{0, 0xFF, 0, 0xFF}));
        EXPECT_EQ(ReadPixel(150, 150), (Pixel{0, 0, 0, 0xFF}));
        EXPECT_EQ(ReadPixel(260, 240), (Pixel{0, 0, 0, 0xFF}));
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

// Imported models drawn and read back: an OBJ file whose two groups take
// their textures by material name, and another tool's 3D Studio file of a
// red square and a green textured one, whose x is mirrored on the way in.
TEST_F(ModelLoadTest, ImportedModelsDraw) {
    auto corner = [](float x, float y) {
        const VECTOR3D p = Px(x, y);
        return "v " + std::to_string(p.x) + " " + std::to_string(p.y) + " 0\n";
    };
    std::string obj = "# WaveFront *.obj file (generated by Cinema4D)\r\n";
    obj += "g _ green\nusemtl green.raw\n" + corner(40, 40) + corner(119, 40) + corner(119, 119) + corner(40, 119);
    obj += "vt 0 0 0\nvt 1 0 0\nvt 1 1 0\nvt 0 1 0\nf 1/1 2/2 3/3 4/4\n";
    obj += "g stone\nusemtl stone.raw\n" + corner(180, 200) + corner(259, 200) + corner(259, 279) + corner(180, 279);
    obj += "f 5/1 6/2 7/3 8/4\n";
    model3dx::WriteFile(dir + "squares.obj", Bytes(obj.begin(), obj.end()));

    glClear(GL_COLOR_BUFFER_BIT);
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->LoadFromFile((dir + "squares.obj").c_str(), dir.c_str()), eOK);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(80, 80), (Pixel{0, 0xFF, 0, 0xFF}));
    EXPECT_EQ(ReadPixel(41, 118), (Pixel{0, 0xFF, 0, 0xFF}));
    EXPECT_EQ(ReadPixel(220, 240), (Pixel{0x80, 0x70, 0x60, 0xFF}));
    EXPECT_EQ(ReadPixel(150, 150), (Pixel{0, 0, 0, 0xFF}));
    EXPECT_EQ(device.Delete3DObject(o), eOK);

    // Red at x -0.75 .. -0.25, y -0.5 .. 0 in the file; green (green.raw) at
    // x 0.25 .. 0.75, y 0 .. 0.5. Mirrored, they change sides.
    const char* root = std::getenv("ORBELLINE_SOURCE_DIR");
    const std::string model = std::string(root ? root : ".") + "/tests/data/models/assimp-quads.3ds";
    glClear(GL_COLOR_BUFFER_BIT);
    o = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->LoadFromFile(model.c_str(), dir.c_str()), eOK);
    // One by one: red, which has no texture, comes after green in the
    // material order and would otherwise draw under green's texture.
    for (uint32_t sub = 0; sub < o->m_dwSubObjectCount; ++sub) EXPECT_EQ(o->RenderOne(sub), eOK);
    EXPECT_EQ(ReadPixel(240, 180), (Pixel{0xFF, 0, 0, 0xFF}));
    EXPECT_EQ(ReadPixel(80, 300), (Pixel{0, 0xFF, 0, 0xFF}));
    EXPECT_EQ(ReadPixel(80, 180), (Pixel{0, 0, 0, 0xFF}));
    EXPECT_EQ(ReadPixel(240, 300), (Pixel{0, 0, 0, 0xFF}));
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

}  // namespace
