// The raw model and the 3DX layouts: images written by the tests' own writer
// read back from a file, from memory and from a pack entry; the choice of
// reader by name; the V4 writer byte for byte; and damaged files, which must
// be refused with a trace line without reading or allocating past the data.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/3d/3DObjectRaw.h"
#include "tests/engine/3d/Model3DXImages.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using model3dx::Bytes;
using model3dx::Model;

enum class Via { File, Memory, Pack };

const char* ViaName(Via via) { return via == Via::File ? "file" : via == Via::Memory ? "memory" : "pack"; }

// A shared record whose trace lines go to standard error only (empty log
// path), so refusals can be seen.
SHARED_INFOS* Infos() {
    static gltest::SharedInfosHolder holder;
    return holder.get();
}

std::string Unique(const std::string& name) { return model3dx::TempPath(std::to_string(::getpid()) + "_" + name); }

// Loads `bytes` as a model called `name` the given way. The memory copy is
// exactly as long as the data, and the pack entry is followed by another
// entry of zeros, so reading past the data would be seen.
eRESULT LoadVia(C3DObjectRaw& raw, Via via, const Bytes& bytes, const std::string& name = "model.3dx") {
    switch (via) {
        case Via::File: {
            const std::string path = Unique(name);
            model3dx::WriteFile(path, bytes);
            const eRESULT r = raw.LoadFromFile(path.c_str());
            std::remove(path.c_str());
            return r;
        }
        case Via::Memory: {
            std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
            if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
            return raw.MakeFromAddress(copy.get(), static_cast<uint32_t>(bytes.size()), name.c_str());
        }
        case Via::Pack: {
            model3dx::Pack pack({{"before.png", Bytes(10, 1)}, {name, bytes}, {"after.bin", Bytes(8192, 0)}});
            _RES_PACKER packer;
            if (!pack.Find(name.c_str(), &packer)) return eFAILED;
            return raw.LoadFromPacker(&packer);
        }
    }
    return eFAILED;
}

// Which ways can read which version: memory has no V4 reader.
std::vector<Via> WaysFor(uint32_t version) {
    if (version == e3DX_VERSION_V4) return {Via::File, Via::Pack};
    return {Via::File, Via::Memory, Via::Pack};
}

model3dx::Image Encode(const Model& m, uint32_t version) {
    if (version == e3DX_VERSION_V2) return model3dx::V2(m);
    if (version == e3DX_VERSION_V3) return model3dx::V3(m);
    return model3dx::V4(m);
}

MATERIAL DefaultMaterial() {
    MATERIAL m;
    eInitMaterial(&m);
    return m;
}

void ExpectMaterial(const MATERIAL& got, const MATERIAL& want) {
    const float* g = got.afDiffuse;
    const float* w = want.afDiffuse;
    for (int i = 0; i < 17; ++i) EXPECT_EQ(g[i], w[i]) << "material float " << i;
}

// Every field of the raw model against the model the file was made from;
// sections the contents word leaves out are expected zero (materials: the
// defaults).
void ExpectModel(const RAW_MODEL* got, const Model& want) {
    ASSERT_NE(got, nullptr);
    const uint32_t c = want.contents;
    ASSERT_EQ(got->m_dwSubObjectCount, want.subs.size());
    ASSERT_EQ(got->m_dwVertexCount, want.vertices.size());
    ASSERT_EQ(got->m_dwIndexCount, want.indices.size());
    for (size_t k = 0; k < want.indices.size(); ++k) EXPECT_EQ(got->m_pdwIndices[k], want.indices[k]) << k;
    for (size_t i = 0; i < want.vertices.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "vertex " << i);
        const model3dx::Vertex& v = want.vertices[i];
        const VECTOR3D p = c & e3DX_POSITION ? v.position : VECTOR3D{0, 0, 0};
        const VECTOR3D n = c & e3DX_NORMAL ? v.normal : VECTOR3D{0, 0, 0};
        const VECTOR2D uv = c & e3DX_UV ? v.uv : VECTOR2D{0, 0};
        EXPECT_EQ(got->m_pvPositions[i].x, p.x);
        EXPECT_EQ(got->m_pvPositions[i].y, p.y);
        EXPECT_EQ(got->m_pvPositions[i].z, p.z);
        EXPECT_EQ(got->m_pvNormals[i].x, n.x);
        EXPECT_EQ(got->m_pvNormals[i].y, n.y);
        EXPECT_EQ(got->m_pvNormals[i].z, n.z);
        EXPECT_EQ(got->m_pdwColors[i], c & e3DX_COLOR ? v.color : 0u);
        EXPECT_EQ(got->m_pdwSpeculars[i], c & e3DX_SPECULAR ? v.specular : 0u);
        EXPECT_EQ(got->m_pvUVs[i].x, uv.x);
        EXPECT_EQ(got->m_pvUVs[i].y, uv.y);
    }
    for (size_t s = 0; s < want.subs.size(); ++s) {
        SCOPED_TRACE(testing::Message() << "sub-object " << s);
        const model3dx::SubObject& w = want.subs[s];
        EXPECT_EQ(std::memcmp(&got->m_pAttributes[s], &w.record, sizeof(ATTRIBUT)), 0);
        EXPECT_STREQ(got->m_pszTextureNames[s], c & e3DX_TEXTURE_NAME ? w.texture.c_str() : "");
        EXPECT_EQ(got->m_pdwTextureWords1[s], c & e3DX_TEXTURE_WORD1 ? w.word1 : 0u);
        EXPECT_EQ(got->m_pdwTextureWords2[s], c & e3DX_TEXTURE_WORD2 ? w.word2 : 0u);
        ExpectMaterial(got->m_pMaterials[s], c & e3DX_MATERIAL ? w.material : DefaultMaterial());
    }
}

// What a V2 file of `m` loads as: records rebuilt from the running counts
// (a third of the indices as primitives), texture words 1 and 82, and only
// the red, green and blue of three colours kept in the material.
Model AsLoadedFromV2(Model m) {
    m.contents = 0x03DF0000u;
    uint32_t vertices = 0, indices = 0;
    for (uint32_t s = 0; s < m.subs.size(); ++s) {
        model3dx::SubObject& sub = m.subs[s];
        ATTRIBUT& r = sub.record;
        r = ATTRIBUT{
            s, vertices, r.dwVertexCount, indices, r.dwIndexCount, r.dwIndexCount / 3, r.dwPrimitiveType, r.dwCullMode};
        vertices += r.dwVertexCount;
        indices += r.dwIndexCount;
        sub.word1 = e3DX_V2_TEXTURE_WORD1;
        sub.word2 = e3DX_V2_TEXTURE_WORD2;
        MATERIAL kept = DefaultMaterial();
        for (int i = 0; i < 3; ++i) {
            kept.afDiffuse[i] = sub.material.afDiffuse[i];
            kept.afAmbient[i] = sub.material.afAmbient[i];
            kept.afSpecular[i] = sub.material.afSpecular[i];
        }
        sub.material = kept;
    }
    return m;
}

TEST(RawModel, LoadMakesAZeroFilledModelAndRefusesEmptyOrHugeCounts) {
    gltest::SharedInfosHolder shared;
    C3DObjectRaw raw(shared.get());
    EXPECT_EQ(raw.m_pModel, nullptr);
    EXPECT_EQ(raw.Unload(), eOK);  // empty: harmless

    ASSERT_EQ(raw.Load(2, 3, 4), eOK);
    const RAW_MODEL* m = raw.m_pModel;
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->m_dwSubObjectCount, 2u);
    EXPECT_EQ(m->m_dwVertexCount, 3u);
    EXPECT_EQ(m->m_dwIndexCount, 4u);
    EXPECT_TRUE(shared->m_pMaths3D->_MATRIX3DIsIdentity(const_cast<MATRIX3D*>(&m->m_matMatrix)));
    EXPECT_EQ(m->m_abFlags[0] | m->m_abFlags[1], 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(m->m_pdwIndices[k], 0u);
    for (int s = 0; s < 2; ++s) {
        ExpectMaterial(m->m_pMaterials[s], DefaultMaterial());
        EXPECT_STREQ(m->m_pszTextureNames[s], "");
    }

    struct Case {
        uint32_t subs, vertices, indices;
    };
    const Case refused[] = {{0, 3, 4},
                            {2, 0, 4},
                            {2, 3, 0},
                            {eOBJ_MAX_SUBOBJECTS + 1, 3, 4},
                            {2, eOBJ_MAX_VERTICES + 1, 4},
                            {2, 3, eOBJ_MAX_INDICES + 1},
                            {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (const Case& c : refused) {
        SCOPED_TRACE(testing::Message() << c.subs << " " << c.vertices << " " << c.indices);
        ASSERT_EQ(raw.Load(2, 3, 4), eOK);
        EXPECT_EQ(raw.Load(c.subs, c.vertices, c.indices), eFAILED);
        EXPECT_EQ(raw.m_pModel, nullptr);
    }
    EXPECT_EQ(raw.Unload(), eOK);
}

TEST(RawModel, EveryLayoutReadsBackEveryWay) {
    const Model sample = model3dx::Sample();
    for (uint32_t version : {e3DX_VERSION_V2, e3DX_VERSION_V3, e3DX_VERSION_V4}) {
        const Bytes bytes = Encode(sample, version).bytes;
        const Model want = version == e3DX_VERSION_V2 ? AsLoadedFromV2(sample) : sample;
        for (Via via : WaysFor(version)) {
            SCOPED_TRACE(testing::Message() << "version " << version << " from " << ViaName(via));
            C3DObjectRaw raw(Infos());
            ASSERT_EQ(LoadVia(raw, via, bytes), eOK);
            ExpectModel(raw.m_pModel, want);
        }
    }
}

// Contents words that leave sections out: what is left out reads as zero
// (materials as the defaults) and the rest still lines up.
TEST(RawModel, ContentsWordChoosesTheSections) {
    const uint32_t words[] = {
        e3DX_POSITION,
        e3DX_POSITION | e3DX_UV,
        e3DX_NORMAL | e3DX_SPECULAR,
        e3DX_COLOR | e3DX_TEXTURE_WORD2,
        e3DX_POSITION | e3DX_COLOR | e3DX_MATERIAL | e3DX_TEXTURE_NAME,
        e3DX_UV | e3DX_TEXTURE_WORD1 | 0x00200000u | 0x0000FFFFu,  // bits that name no section are ignored
    };
    for (uint32_t version : {e3DX_VERSION_V3, e3DX_VERSION_V4}) {
        for (uint32_t contents : words) {
            SCOPED_TRACE(testing::Message() << "version " << version << " contents " << std::hex << contents);
            const Model m = model3dx::Sample(contents);
            C3DObjectRaw raw(Infos());
            ASSERT_EQ(LoadVia(raw, Via::File, Encode(m, version).bytes), eOK);
            ExpectModel(raw.m_pModel, m);
        }
    }
}

// A V3 file may leave vertices or indices out of every record (zero-filled)
// and may store its sub-objects in any order over the model.
TEST(RawModel, V3PlacesEachRunWhereItsRecordSays) {
    Model m = model3dx::Sample();
    std::swap(m.subs[0], m.subs[1]);
    m.subs[0].record.dwVertexCount = 3;  // the last vertex is never stored
    C3DObjectRaw raw(Infos());
    Bytes bytes = model3dx::V3(m).bytes;
    bytes.insert(bytes.end(), 40, 0);  // room for the vertex the header counts
    ASSERT_EQ(LoadVia(raw, Via::Memory, bytes), eOK);
    m.vertices[6] = model3dx::Vertex{{0, 0, 0}, {0, 0, 0}, 0, 0, {0, 0}};
    ExpectModel(raw.m_pModel, m);
}

TEST(RawModel, NamesWithoutTheirZeroAreKeptWhole) {
    Model m = model3dx::Sample();
    m.subs[0].texture = std::string(e3DX_NAME_SIZE, 'n');
    C3DObjectRaw raw(Infos());
    ASSERT_EQ(LoadVia(raw, Via::File, model3dx::V4(m).bytes), eOK);
    EXPECT_EQ(std::string(raw.m_pModel->m_pszTextureNames[0]), m.subs[0].texture);

    // V2 names are 512 bytes: what does not fit a name buffer is cut.
    m.subs[0].texture = std::string(e3DX_V2_NAME_SIZE, 'v');
    ASSERT_EQ(LoadVia(raw, Via::Memory, model3dx::V2(m).bytes), eOK);
    EXPECT_EQ(std::string(raw.m_pModel->m_pszTextureNames[0]), std::string(eMAX_PATH - 1, 'v'));
}

// The name chooses the reader, with the case variants each way accepts; the
// same V3 bytes behind every name.
TEST(RawModel, NamesChooseTheReader) {
    const Bytes bytes = model3dx::V3(model3dx::Sample()).bytes;
    struct Case {
        const char* name;
        bool file, memory, pack;
    };
    const Case cases[] = {
        {"ball.3dx", true, true, true},
        {"ball.3DX", true, true, true},
        {"ball.3Dx", false, false, true},
        {"ball.3dX", false, false, true},
        {"models/ball.3dx.bak", true, true, true},  // anywhere in the name
        {"ball.3ds.3dx", false, true, true},        // the file reader tries 3D Studio first
        {"ball.3DS", false, false, false},
        {"ball.obj", false, false, false},  // no OBJ reader yet
        {"ball.OBJ", false, false, false},
        {"ball.3d", false, false, false},
        {"ball", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (Via via : {Via::File, Via::Memory, Via::Pack}) {
            SCOPED_TRACE(ViaName(via));
            C3DObjectRaw raw(Infos());
            const bool expected = via == Via::File ? c.file : via == Via::Memory ? c.memory : c.pack;
            std::string name = c.name;
            if (via == Via::File) {
                // Directories in the name are the test's business, not the reader's.
                for (char& ch : name)
                    if (ch == '/') ch = '_';
            }
            EXPECT_EQ(LoadVia(raw, via, bytes, name), expected ? eOK : eFAILED);
        }
    }
    C3DObjectRaw raw(Infos());
    EXPECT_EQ(raw.LoadFromFile(nullptr), eFAILED);
    EXPECT_EQ(raw.LoadFromFile(Unique("missing.3dx").c_str()), eFAILED);
    EXPECT_EQ(raw.MakeFromAddress(nullptr, 100, "a.3dx"), eFAILED);
    EXPECT_EQ(raw.LoadFromPacker(nullptr), eFAILED);
}

TEST(RawModel, Version8LoadsFromAFileButNotFromMemory) {
    const Bytes bytes = model3dx::V4(model3dx::Sample()).bytes;
    C3DObjectRaw raw(Infos());
    EXPECT_EQ(LoadVia(raw, Via::File, bytes), eOK);
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadVia(raw, Via::Memory, bytes), eFAILED);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("version 8"), std::string::npos);
}

// A damaged copy of the sample: a change to the model before it is written,
// or to the bytes after.
struct Damage {
    const char* what;
    const char* reason;  // in the trace line
    std::function<void(Model&)> model;
    std::function<void(Bytes&)> bytes;
    std::vector<uint32_t> versions;
};

uint32_t U32Of(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void SetU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

const std::vector<uint32_t> kAll = {e3DX_VERSION_V2, e3DX_VERSION_V3, e3DX_VERSION_V4};
const std::vector<uint32_t> kRecords = {e3DX_VERSION_V3, e3DX_VERSION_V4};

std::vector<Damage> Damages() {
    std::vector<Damage> d = {
        {"one sub-object more than stored", "do not fit", [](Model& m) { m.subCount = 3; }, nullptr, kAll},
        {"one vertex more than stored", "do not fit", [](Model& m) { m.vertexCount = 8; }, nullptr, kAll},
        {"one index more than stored", "do not fit", [](Model& m) { m.indexCount = 11; }, nullptr, kAll},
        {"2^32-1 vertices in 40 bytes", "do not fit", nullptr,
         [](Bytes& b) {
             SetU32(b, 4, 0xFFFFFFFFu);
             b.resize(40);
         },
         kAll},
        {"2^32-1 sub-objects", "do not fit", [](Model& m) { m.subCount = 0xFFFFFFFFu; }, nullptr, kAll},
        {"2^32-1 indices", "do not fit", [](Model& m) { m.indexCount = 0xFFFFFFFFu; }, nullptr, kAll},
        {"no sub-object", "counts 0, 7, 10 refused", [](Model& m) { m.subCount = 0; }, nullptr, kAll},
        {"no vertex", "counts 2, 0, 10 refused", [](Model& m) { m.vertexCount = 0; }, nullptr, kAll},
        {"no index", "counts 2, 7, 0 refused", [](Model& m) { m.indexCount = 0; }, nullptr, kAll},
        {"a sub-object's vertices past the header count", "the header counts", [](Model& m) { m.vertexCount = 6; },
         nullptr, kAll},
        {"a sub-object's indices past the header count", "the header counts", [](Model& m) { m.indexCount = 9; },
         nullptr, kAll},
        {"record vertices past the end", "outside the header counts",
         [](Model& m) { m.subs[1].record.dwVertexStart = 4; }, nullptr, kRecords},
        {"record indices past the end", "outside the header counts",
         [](Model& m) { m.subs[1].record.dwIndexStart = 7; }, nullptr, kRecords},
        {"record vertex start wrapping", "outside the header counts", nullptr,
         [](Bytes& b) {
             // Sub-object 0's record: V4 right after the header, V3 after name and words.
             const size_t at = b[12] == e3DX_VERSION_V4 ? 20 : 20 + 128 + 8;
             SetU32(b, at + 4, 0xFFFFFFFEu);
             SetU32(b, at + 8, 3);
         },
         kRecords},
        {"record index count wrapping", "outside the header counts", nullptr,
         [](Bytes& b) {
             const size_t at = b[12] == e3DX_VERSION_V4 ? 20 : 20 + 128 + 8;
             SetU32(b, at + 12, 2);
             SetU32(b, at + 16, 0xFFFFFFFFu);
         },
         kRecords},
        {"no vertex section", "hold no vertex section", [](Model& m) { m.contents &= ~e3DX_VERTEX_ALL; }, nullptr,
         kRecords},
    };
    for (uint32_t version : {0u, 1u, 3u, 5u, 6u, 7u, 16u, 0xFFFFFFFFu})
        d.push_back({"bad version",
                     "refused: version",
                     nullptr,
                     [version](Bytes& b) { SetU32(b, 12, version); },
                     {e3DX_VERSION_V4}});
    for (uint32_t bit : {e3DX_POSITION, e3DX_NORMAL, e3DX_COLOR, e3DX_SPECULAR, e3DX_UV})
        d.push_back({"V2 without a vertex bit",
                     "lack vertex sections",
                     [bit](Model& m) { m.contents &= ~bit; },
                     nullptr,
                     {e3DX_VERSION_V2}});
    return d;
}

// Refused, with a trace line and nothing left half-read that could be
// mistaken for a model by the object side.
void ExpectRefused(Via via, const Bytes& bytes, const char* reason = "refused") {
    C3DObjectRaw raw(Infos());
    testing::internal::CaptureStderr();
    const eRESULT r = LoadVia(raw, via, bytes);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, eFAILED);
    EXPECT_EQ(err.rfind("# C3DObjectRaw::", 0), 0u) << err;
    EXPECT_NE(err.find(reason), std::string::npos) << err;
}

TEST(RawModel, DamagedFilesAreRefused) {
    for (const Damage& damage : Damages()) {
        for (uint32_t version : damage.versions) {
            Model m = model3dx::Sample();
            if (damage.model) damage.model(m);
            Bytes bytes = Encode(m, version).bytes;
            if (damage.bytes) damage.bytes(bytes);
            for (Via via : {Via::File, Via::Memory, Via::Pack}) {
                SCOPED_TRACE(testing::Message() << damage.what << ", version " << version << ", " << ViaName(via));
                // Memory has no V4 reader: any version-8 header stops there.
                const bool v4InMemory = via == Via::Memory && U32Of(bytes, 12) == e3DX_VERSION_V4;
                ExpectRefused(via, bytes, v4InMemory ? "version 8" : damage.reason);
            }
        }
    }
}

// Cut at every section boundary, and one byte before each.
TEST(RawModel, CutFilesAreRefused) {
    for (uint32_t version : kAll) {
        const model3dx::Image image = Encode(model3dx::Sample(), version);
        ASSERT_EQ(image.boundaries.back(), image.bytes.size());
        std::vector<size_t> cuts = {0, 19};
        for (size_t b : image.boundaries)
            if (b < image.bytes.size()) cuts.push_back(b), cuts.push_back(b + 1);
        cuts.push_back(image.bytes.size() - 1);
        for (size_t cut : cuts) {
            if (cut >= image.bytes.size()) continue;
            const Bytes bytes(image.bytes.begin(), image.bytes.begin() + static_cast<long>(cut));
            for (Via via : WaysFor(version)) {
                SCOPED_TRACE(testing::Message() << "version " << version << " cut at " << cut << " of "
                                                << image.bytes.size() << ", " << ViaName(via));
                ExpectRefused(via, bytes);
            }
        }
    }
}

// A pack record promising more than the pack holds reads only what is there.
TEST(RawModel, PackSizeIsBoundedByTheStream) {
    Model m = model3dx::Sample();
    m.vertexCount = 0x00FFFFFF;
    const Bytes bytes = model3dx::V4(m).bytes;
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    _RES_PACKER packer{};
    packer.m_pFile = file;
    packer.m_dwSize = 0xFFFFFFFFu;
    std::snprintf(packer.m_szName, sizeof packer.m_szName, "huge.3dx");
    C3DObjectRaw raw(Infos());
    testing::internal::CaptureStderr();
    EXPECT_EQ(raw.LoadFromPacker(&packer), eFAILED);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("do not fit"), std::string::npos);
    EXPECT_EQ(raw.m_pModel, nullptr);
    std::fclose(file);
}

// Fills a raw model from a test model, as SaveToRaw would.
void Fill(C3DObjectRaw& raw, const Model& m) {
    ASSERT_EQ(raw.Load(static_cast<uint32_t>(m.subs.size()), static_cast<uint32_t>(m.vertices.size()),
                       static_cast<uint32_t>(m.indices.size())),
              eOK);
    RAW_MODEL* r = raw.m_pModel;
    for (size_t k = 0; k < m.indices.size(); ++k) r->m_pdwIndices[k] = m.indices[k];
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const model3dx::Vertex& v = m.vertices[i];
        r->m_pvPositions[i] = v.position;
        r->m_pvNormals[i] = v.normal;
        r->m_pdwColors[i] = v.color;
        r->m_pdwSpeculars[i] = v.specular;
        r->m_pvUVs[i] = v.uv;
    }
    for (size_t s = 0; s < m.subs.size(); ++s) {
        r->m_pAttributes[s] = m.subs[s].record;
        r->m_pMaterials[s] = m.subs[s].material;
        std::snprintf(r->m_pszTextureNames[s], eMAX_PATH, "%s", m.subs[s].texture.c_str());
        r->m_pdwTextureWords1[s] = m.subs[s].word1;
        r->m_pdwTextureWords2[s] = m.subs[s].word2;
    }
}

// The engine's writer and the tests' writer agree byte for byte, for the
// contents words, position and uv only among them.
TEST(RawModel, WriterStoresOnlyTheNamedSections) {
    const uint32_t words[] = {e3DX_POSITION | e3DX_UV, 0x03DF0000u, e3DX_POSITION | e3DX_NORMAL | e3DX_MATERIAL,
                              e3DX_COLOR | e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1};
    const std::string path = Unique("written.3dx");
    for (uint32_t contents : words) {
        SCOPED_TRACE(testing::Message() << std::hex << contents);
        const Model m = model3dx::Sample(contents);
        C3DObjectRaw raw(Infos());
        Fill(raw, m);
        ASSERT_EQ(raw.SaveToFile(path.c_str(), contents), eOK);
        const Bytes written = model3dx::ReadFile(path);
        EXPECT_EQ(written, model3dx::V4(m).bytes);
        C3DObjectRaw back(Infos());
        ASSERT_EQ(back.LoadFromFile(path.c_str()), eOK);
        ExpectModel(back.m_pModel, m);
    }
    // Position and uv only: 20 bytes per vertex after the records.
    EXPECT_EQ(model3dx::V4(model3dx::Sample(e3DX_POSITION | e3DX_UV)).bytes.size(), 20u + 2 * 32 + 7 * 20 + 10 * 4);
    std::remove(path.c_str());
}

TEST(RawModel, WriterRefusesWhatItsReaderWouldRefuse) {
    const std::string path = Unique("kept.3dx");
    const Bytes before = {1, 2, 3};
    struct Case {
        const char* what;
        std::function<void(Model&)> change;
        uint32_t contents;
    };
    const Case cases[] = {
        {"no vertex section", [](Model&) {}, e3DX_MATERIAL | e3DX_TEXTURE_NAME},
        {"record past the vertices", [](Model& m) { m.subs[1].record.dwVertexCount = 5; }, 0x03DF0000u},
        {"record past the indices", [](Model& m) { m.subs[0].record.dwIndexStart = 5; }, 0x03DF0000u},
        {"name longer than the field", [](Model& m) { m.subs[1].texture = std::string(128, 'x'); }, 0x03DF0000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model3dx::WriteFile(path, before);
        Model m = model3dx::Sample();
        c.change(m);
        C3DObjectRaw raw(Infos());
        Fill(raw, m);
        testing::internal::CaptureStderr();
        EXPECT_EQ(raw.SaveToFile(path.c_str(), c.contents), eFAILED);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("SaveTo3DXFile refused"), std::string::npos);
        EXPECT_EQ(model3dx::ReadFile(path), before);  // the old file is untouched
    }
    // A 127-character name still fits with its zero.
    Model m = model3dx::Sample();
    m.subs[1].texture = std::string(127, 'x');
    C3DObjectRaw raw(Infos());
    Fill(raw, m);
    EXPECT_EQ(raw.SaveToFile(path.c_str(), 0x03DF0000u), eOK);
    std::remove(path.c_str());
}

TEST(RawModel, SaveNamesAndFailures) {
    const Model m = model3dx::Sample();
    C3DObjectRaw empty(Infos());
    EXPECT_EQ(empty.SaveToFile(Unique("empty.3dx").c_str(), 0x03DF0000u), eFAILED);

    C3DObjectRaw raw(Infos());
    Fill(raw, m);
    struct Case {
        const char* name;
        bool written;
    };
    const Case cases[] = {{"a.3dx", true},      {"a.3DX", true},  {"a.3Dx", false}, {"a.3ds.3dx", false},
                          {"a.3DS.3DX", false}, {"a.obj", false}, {"a", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Unique(c.name);
        std::remove(path.c_str());
        EXPECT_EQ(raw.SaveToFile(path.c_str(), 0x03DF0000u), c.written ? eOK : eFAILED);
        EXPECT_EQ(access(path.c_str(), F_OK) == 0, c.written);
        std::remove(path.c_str());
    }
    EXPECT_EQ(raw.SaveToFile(nullptr, 0x03DF0000u), eFAILED);
    EXPECT_EQ(raw.SaveToFile(Unique("no/such/dir.3dx").c_str(), 0x03DF0000u), eFAILED);
    // A device that fills up: the failure is reported.
    if (access("/dev/full", W_OK) == 0) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(raw.SaveTo3DXFile("/dev/full", 0x03DF0000u), eFAILED);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("failed writing"), std::string::npos);
    }
}

}  // namespace
