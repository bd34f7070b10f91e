// The asset tool's lenient OBJ reader: the face forms, relative numbers,
// fans, objects and material runs of real files, their materials, and bad
// numbers named by line; what it fills is saved by the engine as 3DX and
// loaded back, among them assimp's output (tests/data/models).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/3d/3DObjectRaw.h"
#include "tools/asset/LenientObj.h"

namespace {

std::string Temp(const std::string& name) {
    return ::testing::TempDir() + "lenient_" + std::to_string(::getpid()) + "_" + name;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct Sub {
    uint32_t vertices, indices;
    std::string texture;
};

struct Case {
    const char* what;
    std::string text;
    std::vector<uint32_t> indices;
    std::vector<Sub> subs;
};

const std::string kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";

TEST(LenientObj, FaceFormsAndGroups) {
    const Case cases[] = {
        {"any banner, f v", "# Blender\n" + kSquare + "f 1 2 3\n", {0, 1, 2}, {{3, 3, ""}}},
        {"f v/t/n", kSquare + "f 1/1/1 2/2/1 3/3/1\n", {0, 1, 2}, {{3, 3, ""}}},
        {"f v//n", kSquare + "f 1//1 2//1 3//1\n", {0, 1, 2}, {{3, 3, ""}}},
        {"negative numbers", kSquare + "f -4/-4 -3/-3 -2/-2\n", {0, 1, 2}, {{3, 3, ""}}},
        {"a pentagon fanned", kSquare + "v 0.5 2 0\nf 1 2 3 5 4\n", {0, 1, 2, 0, 2, 3, 0, 3, 4}, {{5, 9, ""}}},
        {"CRLF", "g a\r\n" + std::string("v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n"), {0, 1, 2}, {{3, 3, ""}}},
        {"o and g start sub-objects, empty ones dropped",
         kSquare + "o first\nf 1 2 3\ng\ng second\nf 1 3 4\n", {0, 1, 2, 0, 1, 2}, {{3, 3, ""}, {3, 3, ""}}},
        {"usemtl after faces splits, the material carries over into a group",
         kSquare + "usemtl a.png\nf 1 2 3\nusemtl b.png\nf 1 3 4\ng next\nf 2 3 4\n", {0, 1, 2, 0, 1, 2, 0, 1, 2},
         {{3, 3, "a.png"}, {3, 3, "b.png"}, {3, 3, "b.png"}}},
        {"same corner shared, different normal split", kSquare + "vn 1 0 0\nf 1//1 2//1 3//1\nf 1//2 2//1 3//1\n",
         {0, 1, 2, 3, 1, 2}, {{4, 6, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Temp("model.obj");
        Write(path, c.text);
        C3DObjectRaw raw(nullptr);
        std::string why;
        ASSERT_TRUE(asset::ReadLenientObj(path, raw, why)) << why;
        const RAW_MODEL* m = raw.m_pModel;
        EXPECT_EQ(std::vector<uint32_t>(m->m_pdwIndices, m->m_pdwIndices + m->m_dwIndexCount), c.indices);
        ASSERT_EQ(m->m_dwSubObjectCount, c.subs.size());
        uint32_t vertexStart = 0, indexStart = 0;
        for (uint32_t j = 0; j < c.subs.size(); ++j) {
            const ATTRIBUT& r = m->m_pAttributes[j];
            EXPECT_EQ(r.dwVertexStart, vertexStart);
            EXPECT_EQ(r.dwVertexCount, c.subs[j].vertices);
            EXPECT_EQ(r.dwIndexStart, indexStart);
            EXPECT_EQ(r.dwIndexCount, c.subs[j].indices);
            EXPECT_EQ(r.dwPrimitiveType, PRIM_TRIANGLELIST);
            EXPECT_STREQ(m->m_pszTextureNames[j], c.subs[j].texture.c_str());
            vertexStart += r.dwVertexCount;
            indexStart += r.dwIndexCount;
        }
        std::remove(path.c_str());
    }
}

TEST(LenientObj, VertexContentsAndMaterials) {
    const std::string library = "lenient_" + std::to_string(::getpid()) + "_lib.mtl";
    Write(::testing::TempDir() + library,
          "newmtl painted\nKd 1 0.5 0\nmap_Kd -s 1 1 1 textures/wood.png\nnewmtl plain\nKd 0 0 1\n");
    Write(Temp("m.obj"), "mtllib " + library + "\nv 1 2 3\nv 4 5 6\nv 7 8 9\nvt 0.25 0.125\nvn 0 1 0\n"
                         "usemtl painted\nf 1/1/1 2/1/1 3/1/1\nusemtl plain\nf 1 2 3\nusemtl unknown\nf 3 2 1\n");
    C3DObjectRaw raw(nullptr);
    std::string why;
    ASSERT_TRUE(asset::ReadLenientObj(Temp("m.obj"), raw, why)) << why;
    const RAW_MODEL* m = raw.m_pModel;
    ASSERT_EQ(m->m_dwSubObjectCount, 3u);
    EXPECT_STREQ(m->m_pszTextureNames[0], "wood.png");
    EXPECT_STREQ(m->m_pszTextureNames[1], "plain");
    EXPECT_STREQ(m->m_pszTextureNames[2], "unknown");
    EXPECT_EQ(m->m_pdwColors[0], 0xFFFF8000u);
    EXPECT_EQ(m->m_pdwColors[3], 0xFF0000FFu);
    EXPECT_EQ(m->m_pdwColors[6], 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(m->m_pvPositions[1].x, 4.0f);
    EXPECT_FLOAT_EQ(m->m_pvUVs[0].x, 0.25f);
    EXPECT_FLOAT_EQ(m->m_pvUVs[0].y, 0.875f);
    EXPECT_FLOAT_EQ(m->m_pvNormals[0].y, 1.0f);
    EXPECT_FLOAT_EQ(m->m_pvNormals[3].y, 0.0f);  // no normal given
    EXPECT_EQ(m->m_pdwTextureWords1[0], 1u);
    EXPECT_EQ(m->m_pdwTextureWords2[0], 82u);
    std::remove((::testing::TempDir() + library).c_str());
    std::remove(Temp("m.obj").c_str());
}

TEST(LenientObj, Refused) {
    const struct {
        const char* what;
        std::string text;
        const char* why;
    } cases[] = {
        {"no faces", kSquare, "no faces"},
        {"position 0", kSquare + "f 0 1 2\n", "line 10: position 0 of 4 read"},
        {"position past the list", kSquare + "f 1 2 5\n", "line 10: position 5 of 4 read"},
        {"relative past the start", kSquare + "f -5 1 2\n", "line 10: position -5 of 4 read"},
        {"texture coordinate past the list", kSquare + "f 1/9 2/1 3/1\n", "line 10: texture coordinate 9"},
        {"normal past the list", kSquare + "f 1//2 2//1 3//1\n", "line 10: normal 2"},
        {"two corners", kSquare + "f 1 2\n", "line 10: a face needs three corners"},
        {"not a number", kSquare + "f 1 2 x\n", "line 10: bad position number"},
        {"short position", "v 1 2\n", "line 1: a position needs three numbers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Temp("bad.obj");
        Write(path, c.text);
        C3DObjectRaw raw(nullptr);
        std::string why;
        EXPECT_FALSE(asset::ReadLenientObj(path, raw, why));
        EXPECT_EQ(raw.m_pModel, nullptr);
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        std::remove(path.c_str());
    }
    C3DObjectRaw raw(nullptr);
    std::string why;
    EXPECT_FALSE(asset::ReadLenientObj(Temp("absent.obj"), raw, why));
    EXPECT_NE(why.find("cannot open"), std::string::npos) << why;
}

// assimp's OBJ file, which the engine's reader refuses, read leniently,
// saved as 3DX by the engine and loaded back by it.
TEST(LenientObj, AssimpFileThroughThe3DXWriter) {
    C3DObjectRaw raw(nullptr);
    std::string why;
    ASSERT_TRUE(asset::ReadLenientObj(ORBELLINE_TEST_DATA "/models/assimp-quads.obj", raw, why)) << why;
    const RAW_MODEL* m = raw.m_pModel;
    ASSERT_EQ(m->m_dwSubObjectCount, 2u);
    EXPECT_STREQ(m->m_pszTextureNames[0], "red");  // no map_Kd: the material name
    EXPECT_STREQ(m->m_pszTextureNames[1], "green.raw");
    EXPECT_EQ(m->m_pdwColors[0], 0xFFFF0000u);
    EXPECT_EQ(m->m_pdwColors[4], 0xFF00FF00u);

    const std::string path = Temp("quads.3dx");
    ASSERT_EQ(raw.SaveToFile(path.c_str(), 0x03DF0000u), eOK);
    C3DObjectRaw back(nullptr);
    ASSERT_EQ(back.LoadFromFile(path.c_str()), eOK);
    const RAW_MODEL* b = back.m_pModel;
    ASSERT_EQ(b->m_dwVertexCount, 8u);
    ASSERT_EQ(b->m_dwIndexCount, 12u);
    EXPECT_EQ(std::vector<uint32_t>(b->m_pdwIndices, b->m_pdwIndices + 12),
              (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(b->m_pAttributes[1].dwVertexStart, 4u);
    EXPECT_STREQ(b->m_pszTextureNames[1], "green.raw");
    EXPECT_FLOAT_EQ(b->m_pvPositions[6].x, 0.75f);
    EXPECT_FLOAT_EQ(b->m_pvPositions[6].y, 0.5f);
    std::remove(path.c_str());
}

}  // namespace
