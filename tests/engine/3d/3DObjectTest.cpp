// The device-independent object model: neutral defaults, construction
// bookkeeping, the one-shot normal bits, sub-object records and the direct
// colour. No OpenGL ES context is needed here.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectPrivate.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

TEST(ObjectModel, MaterialDefaults) {
    MATERIAL m;
    std::memset(&m, 0x7F, sizeof m);
    eInitMaterial(&m);
    const float diffuse[4] = {1, 1, 1, 0}, ambient[4] = {1, 1, 1, 1}, dark[4] = {0, 0, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m.afDiffuse[i], diffuse[i]) << i;
        EXPECT_EQ(m.afAmbient[i], ambient[i]) << i;
        EXPECT_EQ(m.afSpecular[i], dark[i]) << i;
        EXPECT_EQ(m.afEmissive[i], dark[i]) << i;
    }
    EXPECT_EQ(m.fPower, 20.0f);
    static_assert(sizeof(MATERIAL) == 17 * sizeof(float), "17 floats");
    static_assert(sizeof(ATTRIBUT) == 8 * sizeof(uint32_t), "eight words");
}

// The base class answers every query neutrally and builds nothing.
TEST(ObjectModel, BaseDefaultsAreNeutral) {
    C3DObject object;
    EXPECT_EQ(object.m_dwDirectColor, 0xFFFFFFFFu);
    EXPECT_EQ(object.m_fPointSpriteSize, 0.0f);
    EXPECT_EQ(object.m_pCurrentMatrix, nullptr);
    EXPECT_STREQ(object.m_szName, "");

    uint8_t size = 9;
    EXPECT_EQ(object.GetVertexBuffer(size), nullptr);
    EXPECT_EQ(size, 0);
    size = 9;
    EXPECT_EQ(object.GetIndexBuffer(size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(object.GetIndex(0), eNO_VALUE);
    EXPECT_EQ(object.GetOnePrimitiveType(0), eNO_VALUE);
    EXPECT_EQ(object.GetOneCullMode(0), eNO_VALUE);
    EXPECT_EQ(object.BeginConstruct(), eFAILED);  // no index buffer
    EXPECT_EQ(object.SetIndexIncrementaly(), eFAILED);
    EXPECT_EQ(object.SetSubObjParsingEx(0, 0, 0, 0, 0, 0, 0, 0, eNO_VALUE), eFAILED);
    const VECTOR3D p = object.GetVertexPosition(0);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(object.GetVertexColor(0), 0u);

    // Builders, loaders and the state block fail until a subclass supplies them.
    char bytes[4] = {};
    EXPECT_EQ(object.ConstructFromModel(0, nullptr), eFAILED);
    EXPECT_EQ(object.ConstructFromObjects(nullptr, 0), eFAILED);
    EXPECT_EQ(object.LoadFromFile("a.3dx", "a"), eFAILED);
    EXPECT_EQ(object.MakeFromAddress(bytes, sizeof bytes, "a"), eFAILED);
    EXPECT_EQ(object.MakeTextureFromAddress(0, 0, bytes, sizeof bytes, 1, 0, "t"), eFAILED);
    EXPECT_EQ(object.LoadTextureFromFile(0, 0, "t.png", 1, 0), eFAILED);
    EXPECT_EQ(object.CreateStateBlock(), eFAILED);
    EXPECT_EQ(object.GetOneTexture(0, 0), nullptr);
}

TEST(ObjectModel, LoadSetsSpriteSizeMatrixAndDirectColourFlag) {
    gltest::SharedInfosHolder shared;
    shared->m_fPointSpriteMin = 2.0f;
    shared->m_fPointSpriteMax = 10.0f;
    C3DObject object;
    object.m_dwFlags2 = RENDER_DIRECT_COLOR;
    EXPECT_EQ(object.Load(nullptr), eFAILED);
    ASSERT_EQ(object.Load(shared.get()), eOK);
    EXPECT_EQ(object.m_pSharedInfos, shared.get());
    EXPECT_EQ(object.m_fPointSpriteSize, 8.0f);
    EXPECT_EQ(object.SetPointSpriteSize(0.5f), eOK);
    EXPECT_EQ(object.m_fPointSpriteSize, 4.0f);
    EXPECT_TRUE(object.m_dwFlags & OBJ_DIRECT_COLOR);
    EXPECT_EQ(object.m_pCurrentMatrix, &object.m_matMatrix);
    EXPECT_TRUE(shared->m_pMaths3D->_MATRIX3DIsIdentity(&object.m_matMatrix));

    C3DObject plain;
    ASSERT_EQ(plain.Load(shared.get()), eOK);
    EXPECT_FALSE(plain.m_dwFlags & OBJ_DIRECT_COLOR);
}

TEST(ObjectModel, DirectColourAndAlpha) {
    C3DObject object;
    EXPECT_EQ(object.SetDirectColor(0xFF102030u), eOK);
    EXPECT_EQ(object.SetDirectAlpha(0x80), eOK);
    EXPECT_EQ(object.m_dwDirectColor, 0x80102030u);
    EXPECT_EQ(object.SetDirectAlpha(0x00), eOK);
    EXPECT_EQ(object.m_dwDirectColor, 0x00102030u);
}

TEST(ObjectModel, InitConstructSwitchesToWideIndicesAndFillsTheSlots) {
    struct Case {
        uint32_t flags, vertices;
        uint32_t expected;
    };
    const std::vector<Case> cases = {
        {OBJ_INDEX16, 70000, OBJ_INDEX32},
        {OBJ_INDEX16, 65536, OBJ_INDEX32},
        {OBJ_INDEX16, 65535, OBJ_INDEX16},
        {0, 70000, OBJ_INDEX32},
        {OBJ_INDEX16 | OBJ_INDEX32, 70000, OBJ_INDEX32},
        {OBJ_NORMAL | OBJ_INDEX16, 4, OBJ_NORMAL | OBJ_INDEX16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags << " with " << std::dec << c.vertices);
        C3DObject object;
        object.m_dwFlags = c.flags;
        ASSERT_EQ(object.InitConstruct(3, c.vertices, 6), eOK);
        EXPECT_EQ(object.m_dwFlags, c.expected);
        EXPECT_EQ(object.m_dwVertexCount, c.vertices);
        EXPECT_EQ(object.m_dwSubObjectCount, 3u);
        ASSERT_NE(object.m_ppTextures, nullptr);
        ASSERT_NE(object.m_pMaterials, nullptr);
        for (int slot = 0; slot < 6; ++slot) EXPECT_EQ(object.m_ppTextures[slot], nullptr);
        EXPECT_EQ(object.m_pMaterials[2].fPower, 20.0f);
        EXPECT_EQ(object.m_pMaterials[2].afAmbient[3], 1.0f);
    }
}

TEST(ObjectModel, InitConstructRefusesAbsurdCountsAndUnloadResets) {
    gltest::SharedInfosHolder shared;
    C3DObject object;
    ASSERT_EQ(object.Load(shared.get()), eOK);
    ASSERT_EQ(object.InitConstruct(2, 4, 6), eOK);
    shared->m_pMaths3D->_MATRIX3DTranslationXYZ(&object.m_matMatrix, 5, 6, 7);
    MATRIX3D other = object.m_matMatrix;
    object.m_pCurrentMatrix = &other;

    object.m_dwFlags = OBJ_INDEX16;
    // Counts that would ask for gigabytes are refused before anything changes.
    EXPECT_EQ(object.InitConstruct(2, 0xFFFFFFFFu, 6), eFAILED);
    EXPECT_EQ(object.InitConstruct(0xFFFFFFFFu, 4, 6), eFAILED);
    EXPECT_EQ(object.InitConstruct(2, 4, 0xFFFFFFFFu), eFAILED);
    EXPECT_EQ(object.m_dwFlags, OBJ_INDEX16);
    EXPECT_EQ(object.m_dwVertexCount, 4u);
    EXPECT_EQ(object.m_dwSubObjectCount, 2u);

    EXPECT_EQ(object.Unload(), eOK);
    EXPECT_EQ(object.m_dwSubObjectCount, 0u);
    EXPECT_EQ(object.m_ppTextures, nullptr);
    EXPECT_EQ(object.m_pMaterials, nullptr);
    EXPECT_EQ(object.m_pIndex, nullptr);
    EXPECT_EQ(object.m_pCurrentMatrix, &object.m_matMatrix);
    EXPECT_TRUE(shared->m_pMaths3D->_MATRIX3DIsIdentity(&object.m_matMatrix));
    EXPECT_EQ(object.Unload(), eOK);  // twice is harmless
}

// Records what EndConstruct triggers.
class Probe : public C3DObjectPrivate {
public:
    eRESULT ComputeNormals() override {
        calls.push_back("flat");
        return eOK;
    }
    eRESULT ComputeNormalsSmooth() override {
        calls.push_back("smooth");
        return eOK;
    }
    eRESULT CreateStateBlock() override {
        calls.push_back("state");
        return eOK;
    }
    std::vector<std::string> calls;
};

TEST(ObjectModel, EndConstructRunsPendingNormalsOnce) {
    using Calls = std::vector<std::string>;
    struct Case {
        uint32_t flags;
        bool applyState;
        Calls first;
    };
    const std::vector<Case> cases = {
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS, true, {"flat", "state"}},
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS, false, {"flat"}},
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS_SMOOTH, false, {"smooth"}},
        {OBJ_MULTITEXTURES | OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH, false, {"smooth"}},
        {OBJ_NORMAL, true, {"state"}},
        {OBJ_POINTSPRITE | OBJ_COMPUTE_NORMALS, false, {}},
        {OBJ_SCREEN | OBJ_COMPUTE_NORMALS_SMOOTH, true, {"state"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags << (c.applyState ? " with state" : ""));
        Probe object;
        object.m_dwFlags = c.flags;
        EXPECT_EQ(object.EndConstruct(c.applyState), eOK);
        EXPECT_EQ(object.calls, c.first);
        EXPECT_EQ(object.m_dwFlags & (OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH), 0u);
        EXPECT_EQ(object.m_dwFlags, c.flags & ~(OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH));
        object.calls.clear();
        object.EndConstruct(false);  // the bits were one-shot
        EXPECT_TRUE(object.calls.empty());
    }
}

TEST(ObjectModel, SaveTextureToFileTracesAndFails) {
    gltest::SharedInfosHolder shared;
    const std::string log = ::testing::TempDir() + "orbelline_object_" + std::to_string(::getpid()) + ".log";
    { std::ofstream(log) << ""; }
    std::snprintf(shared->m_szLogPath, sizeof shared->m_szLogPath, "%s", log.c_str());
    C3DObjectPrivate object;
    ASSERT_EQ(object.Load(shared.get()), eOK);
    testing::internal::CaptureStderr();
    EXPECT_EQ(object.SaveTextureToFile("out.png"), eFAILED);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line = "# C3DObjectPrivate::SaveTextureToFile not implemented !\n";
    EXPECT_EQ(err, line);
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    EXPECT_EQ(text.str(), line);
    std::remove(log.c_str());
}

TEST(IndexRecords, FillReadAndRefuseOutOfRange) {
    C3DObjectIndex index(INDEX_16);
    EXPECT_EQ(index.GetSubObjParsing(0), nullptr);
    ASSERT_EQ(index.InitConstruct(4, 12), eOK);
    EXPECT_EQ(index.m_dwSubObjectCount, 4u);
    EXPECT_EQ(index.m_dwIndexCount, 12u);
    const ATTRIBUT zero{};
    EXPECT_EQ(std::memcmp(index.GetSubObjParsing(3), &zero, sizeof zero), 0);

    ASSERT_EQ(index.SetSubObjParsingEx(3, 1, 2, 3, 4, 5, 6, 7, eNO_VALUE), eOK);
    ASSERT_EQ(index.SetSubObjParsingEx(1, 0, 0, 0, 0, 0, 0, 0, 2), eOK);
    EXPECT_EQ(index.GetSubObjParsing(3)->dwOrder, 3u);
    EXPECT_EQ(index.GetSubObjParsing(1)->dwOrder, 2u);
    uint32_t v[8] = {};
    ASSERT_EQ(index.GetSubObjParsingEx(3, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), eOK);
    const uint32_t expected[8] = {1, 2, 3, 4, 5, 6, 7, 3};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i], expected[i]) << i;
    // Null outputs are skipped.
    EXPECT_EQ(index.GetSubObjParsingEx(3, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &v[0]),
              eOK);

    EXPECT_EQ(index.SetSubObjParsingEx(4, 1, 2, 3, 4, 5, 6, 7, 0), eFAILED);
    EXPECT_EQ(index.GetSubObjParsing(4), nullptr);
    EXPECT_EQ(index.GetSubObjParsingEx(4, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), eFAILED);

    // The base buffer stores no indices.
    uint8_t size = 9;
    EXPECT_EQ(index.GetIndexBuffer(size), nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(index.GetIndex(0), eNO_VALUE);
    EXPECT_EQ(index.Unload(), eOK);
    EXPECT_EQ(index.GetSubObjParsing(0), nullptr);
    EXPECT_EQ(index.InitConstruct(1, 0xFFFFFFFFu), eFAILED);
}

}  // namespace
