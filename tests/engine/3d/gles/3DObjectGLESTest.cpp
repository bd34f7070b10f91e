// The OpenGL ES objects and index buffers, made through the render device on
// a real OpenGL ES 1.1 context: class choice, vertex layouts, index widths,
// records, queries, and the draw paths checked by reading pixels back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/3d/gles/3DObjectIndexGLES.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/utils/UtilsParameters.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using Pixel = std::array<uint8_t, 4>;
const Pixel kBlack{0, 0, 0, 255};
const Pixel kWhite{255, 255, 255, 255};

// Records the bindings asked of it; "loads" succeed unless the source name
// starts with "broken".
class RecordingTexture : public C3DTexture {
public:
    explicit RecordingTexture(std::vector<std::string>* log, std::string name = "t")
        : log_(log), name_(std::move(name)) {}
    eRESULT Render(uint32_t renderFlags, uint32_t unit) override {
        log_->push_back(name_ + "@" + std::to_string(unit));
        lastFlags = renderFlags;
        return eOK;
    }
    eRESULT MakeTextureFromAddress(void*, uint32_t, const char* name) override { return Decode(name); }
    eRESULT LoadTextureFromFile(const char* path) override { return Decode(path); }
    uint32_t lastFlags = 0;

private:
    // Named after the file part, as the device's sharing rule expects.
    eRESULT Decode(const char* source) {
        const char* name = GetFileFromPath(source);
        if (std::strncmp(name, "broken", 6) == 0) return eFAILED;
        std::snprintf(m_szName, sizeof m_szName, "%s", name);
        return eOK;
    }
    std::vector<std::string>* log_;
    std::string name_;
};

// The real device, with recording textures from its texture factory when
// asked.
class Device : public C3DEngineGLES {
public:
    C3DTexture* CreateTexture(uint32_t flags, uint32_t flags2) override {
        if (!recordingTextures) return C3DEngineGLES::CreateTexture(flags, flags2);
        ++texturesMade;
        auto* texture = new RecordingTexture(&bindings, "made" + std::to_string(texturesMade));
        texture->m_dwFlags = flags;
        texture->m_dwFlags2 = flags2;
        texture->Load(m_pSharedInfos);
        m_plistTextures->AddLast(texture, (flags & 1) != 0);
        return texture;
    }
    bool recordingTextures = false;
    int texturesMade = 0;
    std::vector<std::string> bindings;
};

size_t CountOf(CFIFOList* list) {
    size_t n = 0;
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext) ++n;
    return n;
}

// (registered, use count) of p in a registry.
std::pair<bool, uint32_t> EntryOf(CFIFOListRecycle* list, const void* p) {
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext)
        if (node->m_pData == p) return {true, static_cast<FIFO_NODE_RECYCLE*>(node)->m_dwRecycleCount};
    return {false, 0};
}

// Normalised device coordinates of the centre of pixel (x, y), y from the
// bottom row; with identity matrices these land exactly on that pixel.
VECTOR3D Px(float x, float y) {
    return VECTOR3D{(x + 0.5f) / (gltest::kWidth / 2.0f) - 1.0f, (y + 0.5f) / (gltest::kHeight / 2.0f) - 1.0f, 0.0f};
}

GLint StackDepth() {
    GLint depth = -1;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    return depth;
}

// One sub-object of the given primitives over the given vertices.
struct Shape {
    std::vector<VECTOR3D> positions;
    std::vector<uint32_t> indices;
    uint32_t type;
    uint32_t primitives;
    uint32_t cull = CULL_NONE;
    uint32_t color = 0xFFFFFFFFu;
};

class ObjectTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_fPointSpriteMin = 1.0f;
        shared->m_fPointSpriteMax = 9.0f;
        shared->m_bDepthBuffer = 1;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
        Clear();
    }
    void TearDown() override {
        device.Unload();
        gltest::GlesTest::TearDown();
    }

    static void Clear() {
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // An object of the given flags holding one sub-object per shape, each
    // shape's vertices and indices following the previous ones.
    C3DObject* Build(uint32_t flags, uint32_t renderFlags, const std::vector<Shape>& shapes) {
        uint32_t vertices = 0, indices = 0;
        for (const Shape& s : shapes) {
            vertices += static_cast<uint32_t>(s.positions.size());
            indices += static_cast<uint32_t>(s.indices.size());
        }
        C3DObject* o = device.Create3DObject(flags, renderFlags);
        if (!o) return nullptr;
        EXPECT_EQ(o->InitConstruct(static_cast<uint32_t>(shapes.size()), vertices, indices), eOK);
        EXPECT_EQ(o->BeginConstruct(), eOK);
        uint32_t v = 0, k = 0;
        for (uint32_t sub = 0; sub < shapes.size(); ++sub) {
            const Shape& s = shapes[sub];
            for (size_t i = 0; i < s.indices.size(); ++i) EXPECT_EQ(o->SetIndex(k + i, s.indices[i]), eOK);
            for (size_t i = 0; i < s.positions.size(); ++i)
                EXPECT_EQ(o->SetVertex(v + i, s.positions[i], s.color, VECTOR2D{0, 0}, VECTOR3D{0, 0, 1}, 0), eOK);
            EXPECT_EQ(o->SetSubObjParsingEx(sub, v, static_cast<uint32_t>(s.positions.size()), k,
                                            static_cast<uint32_t>(s.indices.size()), s.primitives, s.type, s.cull,
                                            eNO_VALUE),
                      eOK);
            v += static_cast<uint32_t>(s.positions.size());
            k += static_cast<uint32_t>(s.indices.size());
        }
        EXPECT_EQ(o->EndConstruct(false), eOK);
        return o;
    }

    // A pixel-aligned rectangle [x0, x1] x [y0, y1] as a two-triangle strip.
    static Shape Quad(float x0, float y0, float x1, float y1, uint32_t color = 0xFFFFFFFFu) {
        return Shape{{Px(x0, y0), Px(x0, y1), Px(x1, y0), Px(x1, y1)}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP, 2,
                     CULL_NONE, color};
    }

    gltest::SharedInfosHolder shared;
    Device device;
};

int ClassOf(C3DObject* o) {
    if (dynamic_cast<C3DObjectGLESNormal*>(o)) return OBJ_NORMAL;
    if (dynamic_cast<C3DObjectGLESMultiTextures*>(o)) return OBJ_MULTITEXTURES;
    if (dynamic_cast<C3DObjectGLESPointSprite*>(o)) return OBJ_POINTSPRITE;
    if (dynamic_cast<C3DObjectGLESScreen*>(o)) return OBJ_SCREEN;
    return 0;
}

TEST_F(ObjectTest, CreationFlagsChooseTheClass) {
    struct Case {
        uint32_t flags;
        int cls;  // 0: no object
        uint8_t stride;
    };
    const std::vector<Case> cases = {
        {OBJ_NORMAL, OBJ_NORMAL, 40},
        {OBJ_MULTITEXTURES, OBJ_MULTITEXTURES, 48},
        {OBJ_POINTSPRITE, OBJ_POINTSPRITE, 16},
        {OBJ_SCREEN | OBJ_RECYCLED, OBJ_SCREEN, 24},
        {OBJ_NORMAL | OBJ_SCREEN, OBJ_NORMAL, 40},
        {OBJ_MULTITEXTURES | OBJ_POINTSPRITE | OBJ_SCREEN, OBJ_MULTITEXTURES, 48},
        {OBJ_POINTSPRITE | OBJ_SCREEN, OBJ_POINTSPRITE, 16},
        {0, 0, 0},
        {OBJ_RECYCLED | OBJ_INDEX16 | OBJ_INDEX32 | OBJ_DIRECT_COLOR | 0x20, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        C3DObject* o = device.Create3DObject(c.flags, RENDER_DIRECT_COLOR | RENDER_ALPHA);
        if (!c.cls) {
            EXPECT_EQ(o, nullptr);
            EXPECT_EQ(CountOf(device.m_plistObjects), 0u);
            continue;
        }
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(ClassOf(o), c.cls);
        EXPECT_EQ(o->m_dwFlags, c.flags | OBJ_DIRECT_COLOR);
        EXPECT_EQ(o->m_dwFlags2, RENDER_DIRECT_COLOR | RENDER_ALPHA);
        EXPECT_EQ(o->m_pSharedInfos, shared.get());
        EXPECT_EQ(o->m_fPointSpriteSize, 8.0f);
        EXPECT_EQ(EntryOf(device.m_plistObjects, o).first, true);
        ASSERT_EQ(o->InitConstruct(1, 3, 3), eOK);
        uint8_t stride = 0;
        EXPECT_NE(o->GetVertexBuffer(stride), nullptr);
        EXPECT_EQ(stride, c.stride);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
        EXPECT_EQ(CountOf(device.m_plistObjects), 0u);
    }
}

TEST_F(ObjectTest, DeleteRefusesObjectsThatAreNotTheDevices) {
    C3DObjectGLESNormal foreign;
    foreign.m_dwFlags = OBJ_NORMAL;
    ASSERT_EQ(foreign.Load(shared.get()), eOK);
    ASSERT_EQ(foreign.InitConstruct(1, 4, 4), eOK);
    EXPECT_EQ(device.Delete3DObject(&foreign), eFAILED);
    EXPECT_NE(foreign.m_pIndex, nullptr);  // still whole: not unloaded

    // A registered object whose flags lost their class bit is refused too,
    // and stays registered.
    C3DObject* o = device.Create3DObject(OBJ_SCREEN, 0);
    ASSERT_NE(o, nullptr);
    o->m_dwFlags = OBJ_INDEX16;
    EXPECT_EQ(device.Delete3DObject(o), eFAILED);
    EXPECT_TRUE(EntryOf(device.m_plistObjects, o).first);
    o->m_dwFlags = OBJ_SCREEN;
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    EXPECT_EQ(device.Delete3DObject(nullptr), eFAILED);
}

TEST_F(ObjectTest, IndexWidthFollowsFlagsAndCounts) {
    struct Case {
        uint32_t flags, vertices, indices;
        bool index16Set, index32Set, wide;
    };
    const std::vector<Case> cases = {
        {OBJ_NORMAL | OBJ_INDEX16, 70000, 6, false, true, true},
        {OBJ_NORMAL, 70000, 6, false, true, true},
        {OBJ_NORMAL, 4, 70000, false, false, true},
        {OBJ_NORMAL | OBJ_INDEX16, 4, 70000, true, false, false},
        {OBJ_NORMAL, 4, 65535, false, false, false},
        {OBJ_NORMAL | OBJ_INDEX32, 4, 4, false, true, true},
        {OBJ_SCREEN | OBJ_INDEX16 | OBJ_INDEX32, 4, 4, true, true, false},
        {OBJ_SCREEN, 65535, 4, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags << std::dec << " " << c.vertices << " "
                                        << c.indices);
        C3DObject* o = device.Create3DObject(c.flags, 0);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->InitConstruct(1, c.vertices, c.indices), eOK);
        EXPECT_EQ((o->m_dwFlags & OBJ_INDEX16) != 0, c.index16Set);
        EXPECT_EQ((o->m_dwFlags & OBJ_INDEX32) != 0, c.index32Set);
        ASSERT_NE(o->m_pIndex, nullptr);
        EXPECT_EQ(o->m_pIndex, o->m_pOwnedIndex);
        EXPECT_EQ(dynamic_cast<C3DObjectIndex32GLES*>(o->m_pIndex) != nullptr, c.wide);
        EXPECT_EQ(dynamic_cast<C3DObjectIndex16GLES*>(o->m_pIndex) != nullptr, !c.wide);
        EXPECT_EQ(o->m_pIndex->m_eIndexType, c.wide ? INDEX_32 : INDEX_16);
        uint8_t size = 0;
        EXPECT_NE(o->GetIndexBuffer(size), nullptr);
        EXPECT_EQ(size, c.wide ? 4 : 2);
        EXPECT_EQ(o->m_pIndex->m_dwIndexCount, c.indices);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, IndicesAreOpenOnlyBetweenBeginAndEnd) {
    C3DObject* narrow = device.Create3DObject(OBJ_SCREEN | OBJ_INDEX16, 0);
    C3DObject* wide = device.Create3DObject(OBJ_SCREEN | OBJ_INDEX32, 0);
    for (C3DObject* o : {narrow, wide}) {
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->InitConstruct(1, 4, 5), eOK);
        EXPECT_EQ(o->SetIndex(0, 1), eFAILED);  // not open
        EXPECT_EQ(o->GetIndex(0), eNO_VALUE);
        ASSERT_EQ(o->BeginConstruct(), eOK);
        EXPECT_EQ(o->SetIndexIncrementaly(), eOK);
        EXPECT_EQ(o->GetIndex(4), 4u);
        EXPECT_EQ(o->SetIndex(5, 1), eFAILED);  // past the count
        EXPECT_EQ(o->GetIndex(5), eNO_VALUE);
        EXPECT_EQ(o->SetIndex(1, 0x12345u), eOK);
        EXPECT_EQ(o->EndConstruct(false), eOK);
        EXPECT_EQ(o->GetIndex(1), eNO_VALUE);
    }
    uint8_t size = 0;
    const auto* n16 = static_cast<const uint16_t*>(narrow->GetIndexBuffer(size));
    EXPECT_EQ(n16[1], 0x2345u);  // cut to 16 bits
    EXPECT_EQ(n16[4], 4u);
    const auto* n32 = static_cast<const uint32_t*>(wide->GetIndexBuffer(size));
    EXPECT_EQ(n32[1], 0x12345u);
}

TEST_F(ObjectTest, VertexLayoutsAndConversions) {
    struct Case {
        uint32_t flags;
        size_t stride;
        int normal, color, specular, uv, uv2;  // byte offsets, -1: not stored
    };
    const std::vector<Case> cases = {
        {OBJ_NORMAL, 40, 12, 24, 28, 32, -1},
        {OBJ_MULTITEXTURES, 48, 12, 24, 28, 32, 40},
        {OBJ_POINTSPRITE, 16, -1, 12, -1, -1, -1},
        {OBJ_SCREEN, 24, -1, 12, -1, 16, -1},
    };
    auto floatAt = [](const uint8_t* p, int offset) {
        float f;
        std::memcpy(&f, p + offset, sizeof f);
        return f;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "class 0x" << std::hex << c.flags);
        C3DObject* o = device.Create3DObject(c.flags, 0);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->InitConstruct(1, 3, 3), eOK);
        ASSERT_EQ(o->SetVertex(1, VECTOR3D{1, 2, 3}, 0x80FF0000u, VECTOR2D{0.25f, 0.25f}, VECTOR3D{4, 5, 6},
                               0x11223344u),
                  eOK);
        uint8_t stride = 0;
        const uint8_t* base = static_cast<const uint8_t*>(o->GetVertexBuffer(stride));
        ASSERT_NE(base, nullptr);
        ASSERT_EQ(stride, c.stride);
        const uint8_t* v = base + c.stride;
        EXPECT_EQ(floatAt(v, 0), 1.0f);
        EXPECT_EQ(floatAt(v, 8), 3.0f);
        const uint8_t red[4] = {0xFF, 0x00, 0x00, 0x80};
        EXPECT_EQ(std::memcmp(v + c.color, red, 4), 0);
        EXPECT_EQ(o->GetVertexColor(1), 0x80FF0000u);
        if (c.normal >= 0) {
            EXPECT_EQ(floatAt(v, c.normal + 8), 6.0f);
            EXPECT_EQ(o->GetVertexNormal(1).y, 5.0f);
        } else {
            EXPECT_EQ(o->GetVertexNormal(1).y, 0.0f);
        }
        if (c.specular >= 0) {
            uint32_t s;
            std::memcpy(&s, v + c.specular, 4);
            EXPECT_EQ(s, 0x11223344u);  // unconverted
            EXPECT_EQ(o->GetVertexSpecular(1), 0x11223344u);
        }
        if (c.uv >= 0) {
            EXPECT_EQ(floatAt(v, c.uv), 0.25f);
            EXPECT_EQ(floatAt(v, c.uv + 4), 0.75f);
            EXPECT_EQ(o->GetVertexTexture1(1).y, 0.25f);
        } else {
            EXPECT_EQ(o->GetVertexTexture1(1).y, 0.0f);
        }
        if (c.uv2 >= 0) {  // the single uv of SetVertex goes into both sets
            EXPECT_EQ(floatAt(v, c.uv2 + 4), 0.75f);
            VECTOR2D second{0.5f, 0.125f};
            EXPECT_EQ(o->SetVertexTexture2(1, &second), eOK);
            EXPECT_EQ(floatAt(v, c.uv2 + 4), 0.875f);
            EXPECT_EQ(o->GetVertexTexture2(1).y, 0.125f);
            EXPECT_EQ(o->GetVertexTexture1(1).y, 0.25f);  // the first set is untouched
        }
        // Nothing spills into the neighbours.
        for (size_t b = 0; b < c.stride; ++b) {
            EXPECT_EQ(base[b], 0) << "vertex 0 byte " << b;
            EXPECT_EQ(base[2 * c.stride + b], 0) << "vertex 2 byte " << b;
        }

        // The single-attribute setters and GetVertex agree.
        VECTOR3D position{-7, 8, 9};
        EXPECT_EQ(o->SetVertexPosition(0, &position), eOK);
        EXPECT_EQ(o->SetVertexColor(0, 0x01020304u), eOK);
        VECTOR3D p{};
        uint32_t color = 0;
        VECTOR2D uv{-1, -1};
        EXPECT_EQ(o->GetVertex(0, &p, &color, &uv, nullptr, nullptr), eOK);
        EXPECT_EQ(p.x, -7.0f);
        EXPECT_EQ(color, 0x01020304u);
        const uint8_t bytes[4] = {0x02, 0x03, 0x04, 0x01};
        EXPECT_EQ(std::memcmp(base + c.color, bytes, 4), 0);
        if (c.uv >= 0) {
            EXPECT_EQ(uv.y, 1.0f);  // zero-filled storage reads back as 1 - 0
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, NumbersOutOfRangeAreRefused) {
    C3DObject* o = device.Create3DObject(OBJ_MULTITEXTURES, 0);
    ASSERT_NE(o, nullptr);
    // Before InitConstruct there is nothing to write to.
    VECTOR3D p{1, 1, 1};
    EXPECT_EQ(o->SetVertex(0, p, 0, VECTOR2D{}, p, 0), eFAILED);
    EXPECT_EQ(o->SetOnePrimitiveType(0, PRIM_TRIANGLELIST), eFAILED);
    EXPECT_EQ(o->GetOnePrimitiveType(0), eNO_VALUE);
    EXPECT_EQ(o->BeginConstruct(), eFAILED);

    ASSERT_EQ(o->InitConstruct(2, 3, 3), eOK);
    EXPECT_EQ(o->SetVertex(3, p, 0, VECTOR2D{}, p, 0), eFAILED);
    EXPECT_EQ(o->SetVertexPosition(3, &p), eFAILED);
    EXPECT_EQ(o->SetVertexColor(0xFFFFFFFFu, 1), eFAILED);
    EXPECT_EQ(o->GetVertex(3, &p, nullptr, nullptr, nullptr, nullptr), eFAILED);
    EXPECT_EQ(o->GetVertexPosition(3).x, 0.0f);
    EXPECT_EQ(o->GetVertexColor(3), 0u);
    EXPECT_EQ(o->SetSubObjParsingEx(2, 0, 3, 0, 3, 1, PRIM_TRIANGLELIST, CULL_NONE, eNO_VALUE), eFAILED);
    EXPECT_EQ(o->SetOneCullMode(2, CULL_CW), eFAILED);
    EXPECT_EQ(o->GetOneCullMode(2), eNO_VALUE);
    uint32_t out = 7;
    EXPECT_EQ(o->GetOneCullModeEx(2, &out), eFAILED);
    EXPECT_EQ(out, 7u);
    EXPECT_EQ(o->SetOneTexture(nullptr, 2, 0), eFAILED);
    EXPECT_EQ(o->SetOneTexture(nullptr, 0, 2), eFAILED);
    EXPECT_EQ(o->GetOneTexture(2, 0), nullptr);
    ATTRIBUT a{};
    EXPECT_EQ(o->GetSubObjParsing(2, &a), eFAILED);
    // Absurd counts are refused and the object keeps what it had.
    EXPECT_EQ(o->InitConstruct(1, 0xFFFFFFFFu, 3), eFAILED);
    EXPECT_EQ(o->InitConstruct(1, 3, 0xFFFFFFFFu), eFAILED);
    EXPECT_EQ(o->SetVertexPosition(2, &p), eOK);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ObjectTest, ReconstructionReplacesTheStorage) {
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->InitConstruct(1, 4, 4), eOK);
    C3DObjectIndex* first = o->m_pIndex;
    ASSERT_EQ(o->InitConstruct(3, 100, 70000), eOK);
    EXPECT_NE(o->m_pIndex, nullptr);
    EXPECT_NE(dynamic_cast<C3DObjectIndex32GLES*>(o->m_pIndex), nullptr);
    EXPECT_EQ(o->m_pIndex->m_dwSubObjectCount, 3u);
    VECTOR3D p{1, 2, 3};
    EXPECT_EQ(o->SetVertexPosition(99, &p), eOK);
    (void)first;  // gone; ASan reports any leak or reuse
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ObjectTest, SubObjectRecordsAndBulkSetters) {
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->InitConstruct(5, 4, 4), eOK);
    ASSERT_EQ(o->SetSubObjParsingEx(3, 10, 20, 30, 40, 50, PRIM_LINELIST, CULL_CW, eNO_VALUE), eOK);
    ASSERT_EQ(o->SetSubObjParsingEx(4, 1, 1, 1, 1, 1, PRIM_POINTLIST, CULL_CCW, 2), eOK);
    uint32_t v[8] = {};
    ASSERT_EQ(o->GetSubObjParsingEx(3, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]), eOK);
    const uint32_t expected[8] = {10, 20, 30, 40, 50, PRIM_LINELIST, CULL_CW, 3};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i], expected[i]) << i;
    ATTRIBUT a{};
    ASSERT_EQ(o->GetSubObjParsing(4, &a), eOK);
    EXPECT_EQ(a.dwOrder, 2u);
    EXPECT_EQ(a.dwPrimitiveType, PRIM_POINTLIST);
    EXPECT_EQ(a.dwCullMode, CULL_CCW);

    auto types = [&] {
        std::vector<uint32_t> t;
        for (uint32_t s = 0; s < 5; ++s) t.push_back(o->GetOnePrimitiveType(s));
        return t;
    };
    EXPECT_EQ(o->SetPrimitiveType(PRIM_TRIANGLELIST, eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(types(), (std::vector<uint32_t>{1, 1, 1, 1, 1}));
    EXPECT_EQ(o->SetPrimitiveType(PRIM_TRIANGLEFAN, 2), eOK);
    EXPECT_EQ(types(), (std::vector<uint32_t>{2, 2, 1, 1, 1}));
    EXPECT_EQ(o->SetPrimitiveType(PRIM_LINESTRIP, 9), eOK);  // more than there are: all
    EXPECT_EQ(types(), (std::vector<uint32_t>{4, 4, 4, 4, 4}));
    EXPECT_EQ(o->SetCullMode(CULL_CCW, 1), eOK);
    EXPECT_EQ(o->GetOneCullMode(0), CULL_CCW);
    EXPECT_EQ(o->GetOneCullMode(1), CULL_NONE);
    uint32_t type = 0;
    EXPECT_EQ(o->GetOnePrimitiveTypeEx(3, &type), eOK);
    EXPECT_EQ(type, PRIM_LINESTRIP);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ObjectTest, ExtremaOfThePositions) {
    struct Case {
        std::vector<VECTOR3D> positions;
        VECTOR3D min, max;
    };
    const std::vector<Case> cases = {
        {{{-5, 1, 2}, {-2, -3, 7}, {-9, 0, -1}}, {-9, -3, -1}, {-2, 1, 7}},
        {{{3, 3, 3}}, {3, 3, 3}, {3, 3, 3}},
        {{}, {FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.positions.size());
        C3DObject* o = device.Create3DObject(OBJ_SCREEN, 0);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->InitConstruct(1, static_cast<uint32_t>(c.positions.size()), 0), eOK);
        for (uint32_t i = 0; i < c.positions.size(); ++i) {
            VECTOR3D p = c.positions[i];
            ASSERT_EQ(o->SetVertexPosition(i, &p), eOK);
        }
        VECTOR3D mn{}, mx{};
        EXPECT_EQ(o->GetExtrema(&mn, &mx, false), eOK);
        EXPECT_EQ(mn.x, c.min.x);
        EXPECT_EQ(mn.y, c.min.y);
        EXPECT_EQ(mn.z, c.min.z);
        EXPECT_EQ(mx.x, c.max.x);
        EXPECT_EQ(mx.y, c.max.y);
        EXPECT_EQ(mx.z, c.max.z);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }

    // Only the two corners go through the matrix.
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->InitConstruct(1, 2, 0), eOK);
    VECTOR3D a{1, 2, 3}, b{-1, 0, 5};
    o->SetVertexPosition(0, &a);
    o->SetVertexPosition(1, &b);
    shared->m_pMaths3D->_MATRIX3DSetPositionXYZ(&o->m_matMatrix, 10, 20, 30);
    VECTOR3D mn{}, mx{};
    EXPECT_EQ(o->GetExtrema(&mn, &mx, true), eOK);
    EXPECT_FLOAT_EQ(mn.x, 9.0f);
    EXPECT_FLOAT_EQ(mx.z, 35.0f);
    EXPECT_EQ(o->GetExtrema(nullptr, &mx, false), eFAILED);

    // An object never constructed has no vertices and no buffer to open.
    C3DObject* empty = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetExtrema(&mn, &mx, true), eOK);
    EXPECT_EQ(mn.x, FLT_MAX);
    EXPECT_EQ(mx.y, -FLT_MAX);
}

TEST_F(ObjectTest, CollisionOnlyWithTriangleLists) {
    // Sub-object 0: a strip square at z = 0 around (10, 0); sub-object 1: a
    // list of two triangles at z = 0 around the origin, its vertices after
    // the strip's.
    const std::vector<Shape> shapes = {
        {{{9, -1, 0}, {9, 1, 0}, {11, -1, 0}, {11, 1, 0}}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP, 2},
        {{{-1, -1, 0}, {-1, 1, 0}, {1, -1, 0}, {1, 1, 0}}, {0, 1, 2, 2, 1, 3}, PRIM_TRIANGLELIST, 2},
    };
    C3DObject* o = Build(OBJ_NORMAL, 0, shapes);
    ASSERT_NE(o, nullptr);
    auto cast = [&](VECTOR3D from, VECTOR3D to, TRIPLET3D* hint) { return o->GetCollision(from, to, hint); };
    const TRIPLET3D none{{0xFFFFFFFFu, 0, 0}};

    // Through the second triangle of the list.
    TRIPLET3D t = none;
    EXPECT_LT(cast({0.5f, 0.5f, -10}, {0.5f, 0.5f, 10}, &t), 0.0f);
    EXPECT_EQ(t.adwVertex[0], 6u);
    EXPECT_EQ(t.adwVertex[1], 5u);
    EXPECT_EQ(t.adwVertex[2], 7u);

    // A hint that is hit answers at once and stays as it was.
    TRIPLET3D hint = t;
    EXPECT_LT(cast({0.6f, 0.6f, -10}, {0.6f, 0.6f, 10}, &hint), 0.0f);
    EXPECT_EQ(hint.adwVertex[0], 6u);

    // A hint that is missed is reset, then the lists are scanned.
    hint = TRIPLET3D{{4, 5, 6}};
    EXPECT_LT(cast({0.5f, 0.5f, -10}, {0.5f, 0.5f, 10}, &hint), 0.0f);
    EXPECT_EQ(hint.adwVertex[0], 6u);
    hint = TRIPLET3D{{4, 5, 6}};
    EXPECT_GE(cast({5, 5, -10}, {5, 5, 10}, &hint), 0.0f);
    EXPECT_EQ(hint.adwVertex[0], 0xFFFFFFFFu);
    // A hint naming vertices that do not exist is a miss, not a read.
    hint = TRIPLET3D{{4, 500, 6}};
    EXPECT_LT(cast({0.5f, 0.5f, -10}, {0.5f, 0.5f, 10}, &hint), 0.0f);

    // The strip is never hit, and neither is anything beyond `to`.
    t = none;
    EXPECT_GE(cast({10, 0, -10}, {10, 0, 10}, &t), 0.0f);
    EXPECT_EQ(t.adwVertex[0], 0xFFFFFFFFu);
    EXPECT_GE(cast({0.5f, 0.5f, -20}, {0.5f, 0.5f, -10}, nullptr), 0.0f);

    // The current matrix moves the triangles.
    shared->m_pMaths3D->_MATRIX3DSetPositionXYZ(&o->m_matMatrix, 10, 0, 0);
    EXPECT_LT(cast({10.5f, 0.5f, -10}, {10.5f, 0.5f, 10}, nullptr), 0.0f);
    EXPECT_GE(cast({0.5f, 0.5f, -10}, {0.5f, 0.5f, 10}, nullptr), 0.0f);

    C3DObject* empty = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(empty, nullptr);
    VECTOR3D from{0, 0, -1}, to{0, 0, 1};
    t = TRIPLET3D{{0, 1, 2}};
    EXPECT_EQ(empty->GetCollision(from, to, &t), 0.0f);
}

TEST_F(ObjectTest, IndexCountsFollowThePrimitiveType) {
    struct Case {
        const char* what;
        Shape shape;
        std::vector<std::pair<int, int>> lit, dark;
    };
    // Two quads side by side: x 20..59 and 60..99, y 20..59.
    const std::vector<VECTOR3D> row = {Px(20, 20), Px(20, 59), Px(60, 20), Px(60, 59), Px(99, 20), Px(99, 59)};
    const std::vector<Case> cases = {
        {"strip, 2 of 4 triangles", {row, {0, 1, 2, 3, 4, 5}, PRIM_TRIANGLESTRIP, 2}, {{40, 40}}, {{80, 40}}},
        {"strip, all", {row, {0, 1, 2, 3, 4, 5}, PRIM_TRIANGLESTRIP, 4}, {{40, 40}, {80, 40}}, {}},
        {"list, 2 triangles", {row, {0, 1, 2, 2, 1, 3, 2, 3, 4, 4, 3, 5}, PRIM_TRIANGLELIST, 2},
         {{30, 30}, {50, 50}}, {{80, 40}}},
        {"fan, 1 triangle",
         {{Px(100, 100), Px(140, 100), Px(100, 140), Px(60, 100), Px(100, 60)}, {0, 1, 2, 3, 4},
          PRIM_TRIANGLEFAN, 1},
         {{110, 110}},
         {{90, 110}, {90, 90}}},
        {"fan, 2 triangles",
         {{Px(100, 100), Px(140, 100), Px(100, 140), Px(60, 100), Px(100, 60)}, {0, 1, 2, 3, 4},
          PRIM_TRIANGLEFAN, 2},
         {{110, 110}, {90, 110}},
         {{90, 90}}},
        {"points, 2", {{Px(10, 10), Px(20, 10), Px(30, 10)}, {0, 1, 2}, PRIM_POINTLIST, 2}, {{10, 10}, {20, 10}},
         {{30, 10}}},
        {"lines, 1", {{Px(10, 30), Px(50, 30), Px(10, 40), Px(50, 40)}, {0, 1, 2, 3}, PRIM_LINELIST, 1},
         {{30, 30}}, {{30, 40}}},
        {"line strip, 1", {{Px(10, 50), Px(50, 50), Px(50, 90)}, {0, 1, 2}, PRIM_LINESTRIP, 1}, {{30, 50}},
         {{50, 70}}},
        {"type 6", {row, {0, 1, 2, 3, 4, 5}, 6, 2}, {}, {{40, 40}, {80, 40}}},
        {"type 0x7FFFFFFF", {row, {0, 1, 2, 3, 4, 5}, 0x7FFFFFFFu, 2}, {}, {{40, 40}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        C3DObject* o = Build(OBJ_SCREEN, 0, {c.shape});
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        for (auto [x, y] : c.lit) EXPECT_EQ(ReadPixel(x, y), kWhite) << x << "," << y;
        for (auto [x, y] : c.dark) EXPECT_EQ(ReadPixel(x, y), kBlack) << x << "," << y;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, ThirtyTwoBitIndicesReachPastVertex65535) {
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->InitConstruct(1, 70000, 4), eOK);
    ASSERT_NE(dynamic_cast<C3DObjectIndex32GLES*>(o->m_pIndex), nullptr);
    const VECTOR3D corners[4] = {Px(100, 100), Px(100, 139), Px(139, 100), Px(139, 139)};
    o->BeginConstruct();
    for (uint32_t i = 0; i < 4; ++i) {
        o->SetIndex(i, 69996 + i);
        o->SetVertex(69996 + i, corners[i], 0xFF0000FFu, VECTOR2D{}, VECTOR3D{0, 0, 1}, 0);
    }
    o->SetSubObjParsingEx(0, 0, 70000, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE, eNO_VALUE);
    o->EndConstruct(false);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(120, 120), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(ReadPixel(150, 120), kBlack);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ObjectTest, RecordsReachingOutsideTheArraysDrawNothing) {
    struct Case {
        const char* what;
        uint32_t vertexStart, indexStart, primitives;
    };
    const std::vector<Case> cases = {
        {"too many primitives", 0, 0, 100},
        {"indices start past the end", 0, 3, 2},
        {"vertices start past the end", 2, 0, 2},
        {"vertex start far away", 0xFFFFFF00u, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        C3DObject* o = Build(OBJ_SCREEN, 0, {Quad(100, 100, 139, 139)});
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->SetSubObjParsingEx(0, c.vertexStart, 4, c.indexStart, 4, c.primitives, PRIM_TRIANGLESTRIP,
                                        CULL_NONE, eNO_VALUE),
                  eOK);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(o->RenderLight(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(120, 120), kBlack);
        // An order naming a record that does not exist skips the position.
        ASSERT_EQ(o->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE, 7), eOK);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(120, 120), kBlack);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }

    // One index naming a vertex past the array: the whole sub-object is
    // skipped, including its first triangle, whose vertices all exist.
    C3DObject* o = Build(OBJ_SCREEN, 0, {Quad(100, 100, 139, 139)});
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->BeginConstruct(), eOK);
    ASSERT_EQ(o->SetIndex(3, 9), eOK);
    ASSERT_EQ(o->EndConstruct(false), eOK);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(105, 105), kBlack);
    ASSERT_EQ(o->BeginConstruct(), eOK);
    ASSERT_EQ(o->SetIndex(3, 3), eOK);
    ASSERT_EQ(o->EndConstruct(false), eOK);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(105, 105), kWhite);

    // An index changed after a draw counts at the next one: the largest
    // index is not taken from before the change.
    struct Change {
        const char* what;
        uint32_t value;
        Pixel expected;
    };
    const Change changes[] = {{"past the array", 4, kBlack}, {"back inside", 2, kWhite}, {"far past", 0xFFFF, kBlack}};
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        Clear();
        ASSERT_EQ(o->BeginConstruct(), eOK);
        ASSERT_EQ(o->SetIndex(2, c.value), eOK);
        ASSERT_EQ(o->EndConstruct(false), eOK);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(105, 105), c.expected);
        // A second draw with nothing changed gives the same answer.
        Clear();
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(105, 105), c.expected);
    }
    // The same indices over fewer vertices: refused without any index change.
    ASSERT_EQ(o->BeginConstruct(), eOK);
    ASSERT_EQ(o->SetIndex(2, 2), eOK);
    ASSERT_EQ(o->EndConstruct(false), eOK);
    Clear();
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(105, 105), kWhite);
    ASSERT_EQ(o->SetSubObjParsingEx(0, 1, 3, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE, eNO_VALUE), eOK);
    Clear();
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(105, 105), kBlack);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

// Window coordinates of a point under the screen projection (row vectors).
std::pair<float, float> ToWindow(const MATRIX3D& m, VECTOR3D p) {
    const float* e = m.Data();
    const float x = p.x * e[0] + p.y * e[4] + p.z * e[8] + e[12];
    const float y = p.x * e[1] + p.y * e[5] + p.z * e[9] + e[13];
    const float w = p.x * e[3] + p.y * e[7] + p.z * e[11] + e[15];
    return {(x / w + 1.0f) * gltest::kWidth / 2.0f, (y / w + 1.0f) * gltest::kHeight / 2.0f};
}

TEST_F(ObjectTest, ScreenQuadUnderTheScreenProjection) {
    ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();  // the object must load the screen projection itself
    // Screen space: pixels from the top-left corner.
    const Shape quad{{{40, 100, 0}, {40, 200, 0}, {120, 100, 0}, {120, 200, 0}}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP,
                     2, CULL_NONE, 0xFF20C040u};
    C3DObject* o = Build(OBJ_SCREEN, 0, {quad});
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);

    const MATRIX3D& screen = shared->m_matProjectionScreen;
    auto [x0, y0] = ToWindow(screen, {40, 100, 0});
    auto [x1, y1] = ToWindow(screen, {120, 200, 0});
    const int left = static_cast<int>(std::min(x0, x1)), right = static_cast<int>(std::max(x0, x1));
    const int bottom = static_cast<int>(std::min(y0, y1)), top = static_cast<int>(std::max(y0, y1));
    ASSERT_GT(right - left, 10);
    ASSERT_GT(top - bottom, 10);
    const Pixel green{0x20, 0xC0, 0x40, 0xFF};
    EXPECT_EQ(ReadPixel(left + 2, bottom + 2), green);
    EXPECT_EQ(ReadPixel(right - 2, top - 2), green);
    EXPECT_EQ(ReadPixel(left - 3, bottom + 2), kBlack);
    EXPECT_EQ(ReadPixel(right + 3, top - 2), kBlack);
    EXPECT_EQ(ReadPixel((left + right) / 2, top + 3), kBlack);
    // Pixel space has y down: the quad sits in the upper part of the window.
    EXPECT_GT(bottom, gltest::kHeight / 2);

    // The object's matrix replaces the model-view matrix, so a translation
    // moves the quad by whole pixels.
    Clear();
    shared->m_pMaths3D->_MATRIX3DSetPositionXYZ(&o->m_matMatrix, 100, 0, 0);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(50.0f, 0.0f, 0.0f);  // replaced, not multiplied, by screen objects
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(left + 2, bottom + 2), kBlack);
    EXPECT_EQ(ReadPixel(left + 102, bottom + 2), green);
}

TEST_F(ObjectTest, CullModesRemoveOneWinding) {
    ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);
    // One triangle in screen space, first as given and then with two
    // vertices exchanged.
    const VECTOR3D a{100, 100, 0}, b{200, 100, 0}, c{100, 200, 0};
    const MATRIX3D& screen = shared->m_matProjectionScreen;
    auto windowArea = [&](VECTOR3D p, VECTOR3D q, VECTOR3D r) {
        auto [px, py] = ToWindow(screen, p);
        auto [qx, qy] = ToWindow(screen, q);
        auto [rx, ry] = ToWindow(screen, r);
        return (qx - px) * (ry - py) - (qy - py) * (rx - px);  // > 0: counter-clockwise on screen
    };
    auto [cx, cy] = ToWindow(screen, {130, 130, 0});
    for (bool swap : {false, true}) {
        const VECTOR3D q = swap ? c : b, r = swap ? b : c;
        const bool ccw = windowArea(a, q, r) > 0;
        struct Case {
            uint32_t cull;
            bool visible;
        };
        const std::vector<Case> cases = {{CULL_NONE, true}, {CULL_CCW, !ccw}, {CULL_CW, ccw}, {7, true}};
        for (const Case& k : cases) {
            SCOPED_TRACE(testing::Message() << (ccw ? "counter-clockwise" : "clockwise") << ", cull " << k.cull);
            Clear();
            C3DObject* o = Build(OBJ_SCREEN, 0, {Shape{{a, q, r}, {0, 1, 2}, PRIM_TRIANGLELIST, 1, k.cull}});
            ASSERT_NE(o, nullptr);
            EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
            EXPECT_EQ(ReadPixel(static_cast<int>(cx), static_cast<int>(cy)), k.visible ? kWhite : kBlack);
            GLint face = 0;
            glGetIntegerv(GL_CULL_FACE_MODE, &face);
            EXPECT_EQ(face, GL_BACK);
            EXPECT_EQ(device.Delete3DObject(o), eOK);
        }
    }
}

TEST_F(ObjectTest, DirectColourReplacesTheVertexColours) {
    struct Case {
        uint32_t renderFlags;
        bool light;  // through the light pass
        Pixel expected;
    };
    const std::vector<Case> cases = {
        {0, false, kWhite},
        {RENDER_DIRECT_COLOR, false, Pixel{0, 255, 0, 255}},
        {RENDER_DIRECT_COLOR, true, Pixel{0, 255, 0, 255}},
        {0, true, kWhite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.renderFlags << (c.light ? " light pass" : ""));
        Clear();
        C3DObject* o = Build(OBJ_NORMAL, c.renderFlags, {Quad(100, 100, 139, 139)});
        ASSERT_NE(o, nullptr);
        o->SetDirectColor(0xFF00FF00u);
        EXPECT_EQ(c.light ? o->RenderLight(eALL_SUBOBJECTS) : o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(ReadPixel(120, 120), c.expected);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, TextureFlagsChooseWhatIsBound) {
    struct Case {
        uint32_t renderFlags;
        bool unit1Only;  // only sub-object 1 has a unit-1 texture
        std::vector<std::string> bound;
    };
    const std::vector<Case> cases = {
        {RENDER_TEXTURE1, false, {"a0@0", "b0@0"}},
        {RENDER_TEXTURE2, false, {"a0@0", "a1@1", "b0@0", "b1@1"}},
        {RENDER_TEXTURE1 | RENDER_TEXTURE2, false, {"a0@0", "a1@1", "b0@0", "b1@1"}},
        {RENDER_TEXTURE2 | RENDER_NO_TEXTURE, false, {}},
        {RENDER_TEXTURE1 | RENDER_NO_TEXTURE, false, {}},
        {0, false, {}},
        {RENDER_TEXTURE1, true, {}},
        {RENDER_TEXTURE2, true, {"b1@1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.renderFlags << (c.unit1Only ? " unit 1" : ""));
        std::vector<std::string> log;
        RecordingTexture a0(&log, "a0"), a1(&log, "a1"), b0(&log, "b0"), b1(&log, "b1");
        C3DObject* o = Build(OBJ_MULTITEXTURES, c.renderFlags, {Quad(10, 10, 20, 20), Quad(30, 30, 40, 40)});
        ASSERT_NE(o, nullptr);
        if (!c.unit1Only) {
            o->SetOneTexture(&a0, 0, 0);
            o->SetOneTexture(&a1, 0, 1);
            o->SetOneTexture(&b0, 1, 0);
        }
        o->SetOneTexture(&b1, 1, 1);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(log, c.bound);
        if (!log.empty()) {
            EXPECT_EQ(b1.lastFlags | b0.lastFlags, c.renderFlags);
        }

        // Drawing position 0 with record 1 uses record 1's textures.
        log.clear();
        o->SetSubObjParsingEx(0, 0, 4, 0, 4, 2, PRIM_TRIANGLESTRIP, CULL_NONE, 1);
        EXPECT_EQ(o->RenderOne(0), eOK);
        std::vector<std::string> expected;
        for (const std::string& s : c.bound)
            if (s[0] == 'b') expected.push_back(s);
        EXPECT_EQ(log, expected);

        // The light pass binds nothing.
        log.clear();
        EXPECT_EQ(o->RenderLight(eALL_SUBOBJECTS), eOK);
        EXPECT_TRUE(log.empty());

        // Not the device's textures: the slots are emptied before the object goes.
        o->SetTexture(nullptr, eALL_SUBOBJECTS, 0);
        o->SetTexture(nullptr, eALL_SUBOBJECTS, 1);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, ARealTextureColoursTheQuad) {
    C3DTexture* texture = device.CreateTexture(0, 0);
    ASSERT_NE(texture, nullptr);
    uint8_t pixels[2 * 2 * 4];
    for (int i = 0; i < 4; ++i) {
        pixels[i * 4 + 0] = 0xFF;
        pixels[i * 4 + 1] = 0x80;
        pixels[i * 4 + 2] = 0x00;
        pixels[i * 4 + 3] = 0xFF;
    }
    ASSERT_EQ(texture->MakeTextureFromRaw(2, 2, 32, pixels, "orange"), eOK);
    for (uint32_t flags : {RENDER_TEXTURE1, RENDER_TEXTURE1 | RENDER_NO_TEXTURE}) {
        SCOPED_TRACE(flags);
        Clear();
        C3DObject* o = Build(OBJ_SCREEN, flags, {Quad(100, 100, 139, 139)});
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->SetOneTexture(texture, 0, 0), eOK);
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        const bool textured = !(flags & RENDER_NO_TEXTURE);
        EXPECT_EQ(ReadPixel(120, 120), textured ? (Pixel{0xFF, 0x80, 0x00, 0xFF}) : kWhite);
        ASSERT_EQ(o->SetOneTexture(nullptr, 0, 0), eOK);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    EXPECT_EQ(device.DeleteTexture(texture), eOK);
}

TEST_F(ObjectTest, StateBlockAppliesTheRenderFlags) {
    struct Case {
        uint32_t objectFlags, renderFlags;
        bool fogOn, light1On, depthBuffer;
        std::vector<GLenum> enabled, disabled;
        GLint depthFunc;
        GLboolean depthMask;
    };
    const std::vector<Case> cases = {
        {OBJ_NORMAL, 0, true, true, true,
         {GL_DITHER, GL_NORMALIZE},
         {GL_FOG, GL_ALPHA_TEST, GL_BLEND, GL_POINT_SPRITE_OES, GL_COLOR_MATERIAL, GL_LIGHT0, GL_LIGHT1,
          GL_LIGHTING, GL_DEPTH_TEST},
         GL_NEVER, GL_TRUE},
        {OBJ_NORMAL, RENDER_FOG | RENDER_ALPHA | RENDER_COLOR_MATERIAL | RENDER_LIGHT | RENDER_LIGHTING, true,
         true, true,
         {GL_FOG, GL_ALPHA_TEST, GL_BLEND, GL_COLOR_MATERIAL, GL_LIGHT0, GL_LIGHT1, GL_LIGHTING},
         {GL_POINT_SPRITE_OES, GL_DEPTH_TEST},
         GL_NEVER, GL_TRUE},
        {OBJ_NORMAL, RENDER_FOG | RENDER_LIGHT, false, false, true, {GL_LIGHT0}, {GL_FOG, GL_LIGHT1}, GL_NEVER,
         GL_TRUE},
        {OBJ_NORMAL, RENDER_ZTEST | RENDER_ZWRITE, true, true, true, {GL_DEPTH_TEST}, {}, GL_LESS, GL_TRUE},
        {OBJ_NORMAL, RENDER_ZTEST | RENDER_ZWRITE, true, true, false, {GL_DEPTH_TEST}, {}, GL_LESS, GL_FALSE},
        {OBJ_NORMAL, RENDER_ZTEST, true, true, true, {GL_DEPTH_TEST}, {}, GL_LESS, GL_FALSE},
        {OBJ_NORMAL, RENDER_ZWRITE, true, true, true, {GL_DEPTH_TEST}, {}, GL_ALWAYS, GL_TRUE},
        {OBJ_NORMAL, RENDER_ZWRITE, true, true, false, {}, {GL_DEPTH_TEST}, GL_NEVER, GL_TRUE},
        {OBJ_POINTSPRITE, 0, true, true, true, {GL_POINT_SPRITE_OES}, {}, GL_NEVER, GL_TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.objectFlags << " / " << c.renderFlags << " fog "
                                        << c.fogOn << " light1 " << c.light1On << " depth " << c.depthBuffer);
        shared->m_Fog.m_bEnable = c.fogOn;
        shared->m_Light[1].m_bEnable = c.light1On;
        shared->m_bDepthBuffer = c.depthBuffer;
        // The opposite of what is expected, so every switch is seen moving.
        for (GLenum cap : c.enabled) glDisable(cap);
        for (GLenum cap : c.disabled) glEnable(cap);
        glDisable(GL_DITHER);
        glShadeModel(GL_FLAT);
        glEnableClientState(GL_POINT_SIZE_ARRAY_OES);

        C3DObject* o = device.Create3DObject(c.objectFlags, c.renderFlags);
        ASSERT_NE(o, nullptr);
        o->SetPointSpriteSize(0.5f);
        EXPECT_EQ(o->CreateStateBlock(), eOK);
        for (GLenum cap : c.enabled) EXPECT_TRUE(glIsEnabled(cap)) << "0x" << std::hex << cap;
        for (GLenum cap : c.disabled) EXPECT_FALSE(glIsEnabled(cap)) << "0x" << std::hex << cap;
        EXPECT_TRUE(glIsEnabled(GL_DITHER));
        EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
        GLint value = 0;
        glGetIntegerv(GL_SHADE_MODEL, &value);
        EXPECT_EQ(value, GL_SMOOTH);
        glGetIntegerv(GL_DEPTH_FUNC, &value);
        EXPECT_EQ(value, c.depthFunc);
        GLboolean mask = 2;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        EXPECT_EQ(mask, c.depthMask);
        if (c.objectFlags & OBJ_POINTSPRITE) {
            GLfloat size = 0;
            glGetFloatv(GL_POINT_SIZE, &size);
            EXPECT_EQ(size, 4.0f);  // (9 - 1) x 0.5
        } else {
            EXPECT_FALSE(glIsEnabled(GL_POINT_SIZE_ARRAY_OES));
        }
        glDisableClientState(GL_POINT_SIZE_ARRAY_OES);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ObjectTest, StateBlockBracketsTheDraw) {
    // With the flag, the state block goes on before the draw (no depth test
    // here, so the quad shows over a nearer depth) and the default depth
    // state comes back after it.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_NEVER);
    glDepthMask(GL_FALSE);
    C3DObject* o = Build(OBJ_SCREEN, RENDER_STATEBLOCK | RENDER_ALPHA, {Quad(100, 100, 139, 139)});
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(120, 120), kWhite);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LESS);
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_TRUE);

    // Without it the draw runs under whatever state is current.
    Clear();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_NEVER);
    C3DObject* plain = Build(OBJ_SCREEN, RENDER_ALPHA, {Quad(100, 100, 139, 139)});
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(ReadPixel(120, 120), kBlack);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(ObjectTest, DrawPathsLeaveTheStackAndClientArraysAsTheyFoundThem) {
    std::vector<std::string> log;
    RecordingTexture texture(&log);
    for (uint32_t cls : {OBJ_NORMAL, OBJ_MULTITEXTURES, OBJ_POINTSPRITE, OBJ_SCREEN}) {
        SCOPED_TRACE(cls);
        C3DObject* o = Build(cls, RENDER_TEXTURE2 | RENDER_STATEBLOCK, {Quad(100, 100, 139, 139), Quad(1, 1, 9, 9)});
        C3DObject* never = device.Create3DObject(cls, RENDER_TEXTURE2 | RENDER_STATEBLOCK);
        ASSERT_NE(o, nullptr);
        ASSERT_NE(never, nullptr);
        o->SetOneTexture(&texture, 0, 1);
        auto* gles = static_cast<C3DObjectGLES*>(o);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glPushMatrix();
        glTranslatef(1, 2, 3);
        const GLint depth = StackDepth();
        const auto before = GetMatrix(GL_MODELVIEW_MATRIX);

        struct Path {
            const char* name;
            std::function<eRESULT(C3DObject*)> run;
        };
        const std::vector<Path> paths = {
            {"Render", [](C3DObject* x) { return x->Render(eALL_SUBOBJECTS); }},
            {"Render 1", [](C3DObject* x) { return x->Render(1); }},
            {"RenderOne", [](C3DObject* x) { return x->RenderOne(1); }},
            {"RenderLight", [](C3DObject* x) { return x->RenderLight(eALL_SUBOBJECTS); }},
            {"RenderOneLight", [](C3DObject* x) { return x->RenderOneLight(0); }},
            {"extra pass",
             [](C3DObject* x) {
                 eRESULT r = x->InitializeRenderExtra(0);
                 if (eFAILURE(r)) return r;
                 x->RenderOneExtra(0, 0, 0, 0, 0);
                 x->RenderOneExtra(1, 0, 0, 0, 0);
                 return x->FinalizeRenderExtra(0);
             }},
        };
        for (const Path& p : paths) {
            SCOPED_TRACE(p.name);
            EXPECT_EQ(p.run(o), eOK);
            EXPECT_EQ(StackDepth(), depth);
            EXPECT_EQ(GetMatrix(GL_MODELVIEW_MATRIX), before);
            for (GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY})
                EXPECT_FALSE(glIsEnabled(array)) << std::hex << array;
            for (GLenum unit : {GL_TEXTURE0, GL_TEXTURE1}) {
                glClientActiveTexture(unit);
                EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
            }
            glClientActiveTexture(GL_TEXTURE0);
            // Never constructed: refused without touching anything.
            EXPECT_EQ(p.run(never), eFAILED);
            EXPECT_EQ(StackDepth(), depth);
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
        // A pass that was never opened cannot be closed.
        EXPECT_EQ(gles->FinalizeRenderExtra(0), eFAILED);
        EXPECT_EQ(o->RenderOneExtra(0, 0, 0, 0, 0), eFAILED);
        EXPECT_EQ(StackDepth(), depth);
        EXPECT_EQ(o->RenderOne(2), eFAILED);
        glPopMatrix();
        o->SetOneTexture(nullptr, 0, 1);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
        EXPECT_EQ(device.Delete3DObject(never), eOK);
    }
    EXPECT_FALSE(log.empty());
}

TEST_F(ObjectTest, ExtraPassDrawsTheChosenRecords) {
    C3DObject* o = Build(OBJ_SCREEN, RENDER_DIRECT_COLOR, {Quad(100, 100, 139, 139), Quad(200, 100, 239, 139)});
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->InitializeRenderExtra(0), eOK);
    EXPECT_EQ(o->InitializeRenderExtra(0), eFAILED);  // already open
    o->SetDirectColor(0xFFFF0000u);
    EXPECT_EQ(o->RenderOneExtra(0, 0, 0, 0, 0), eOK);
    EXPECT_EQ(o->FinalizeRenderExtra(0), eOK);
    EXPECT_EQ(ReadPixel(120, 120), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(ReadPixel(220, 120), kBlack);  // its record was never drawn
}

TEST_F(ObjectTest, TexturesGoBackToTheDevice) {
    device.recordingTextures = true;
    char bytes[4] = {1, 2, 3, 4};
    C3DObject* o = Build(OBJ_NORMAL, RENDER_TEXTURE1, {Quad(0, 0, 9, 9), Quad(10, 10, 19, 19), Quad(20, 20, 29, 29)});
    ASSERT_NE(o, nullptr);

    // One texture spread over every sub-object holds one use per slot.
    ASSERT_EQ(o->LoadTextureFromFile(1, 0, "Data/ball.png", eALL_SUBOBJECTS, 0), eOK);
    C3DTexture* ball = o->GetOneTexture(0, 0);
    ASSERT_NE(ball, nullptr);
    EXPECT_EQ(o->GetOneTexture(2, 0), ball);
    EXPECT_EQ(EntryOf(device.m_plistTextures, ball), std::make_pair(true, 3u));
    // Another user of the same shared texture.
    EXPECT_EQ(device.LoadTextureFromFile(1, 0, "Data/ball.png"), ball);
    EXPECT_EQ(EntryOf(device.m_plistTextures, ball).second, 4u);

    // The one-slot creators, and -1 meaning every sub-object.
    ASSERT_EQ(o->MakeOneTextureFromAddress(0, 0, bytes, sizeof bytes, 1, 1, "mask.png"), eOK);
    C3DTexture* mask = o->GetOneTexture(1, 1);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(o->GetOneTexture(0, 1), nullptr);
    ASSERT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/answer.png", eALL_SUBOBJECTS, 1), eOK);
    C3DTexture* answer = o->GetOneTexture(0, 1);
    EXPECT_EQ(o->GetOneTexture(1, 1), answer);  // replaced the mask's slot
    EXPECT_EQ(EntryOf(device.m_plistTextures, answer).second, 3u);
    EXPECT_FALSE(EntryOf(device.m_plistTextures, mask).first);  // its only slot was taken over

    // Failures leave the slots alone and keep no texture.
    const int made = device.texturesMade;
    EXPECT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/brokenfile.png", 0, 0), eFAILED);
    EXPECT_EQ(o->GetOneTexture(0, 0), ball);
    EXPECT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/x.png", 3, 0), eFAILED);  // no sub-object 3
    EXPECT_EQ(o->LoadTextureFromFile(0, 0, "Data/x.png", 1, 2), eFAILED);      // no unit 2
    EXPECT_EQ(device.texturesMade, made + 1);  // only the broken one was tried
    EXPECT_EQ(CountOf(device.m_plistTextures), 2u);

    // No data, or an empty path, clears the slots without asking the device.
    EXPECT_EQ(o->MakeTextureFromAddress(0, 0, nullptr, 0, 1, 1, "none"), eOK);
    EXPECT_EQ(o->GetOneTexture(0, 1), nullptr);
    EXPECT_EQ(o->GetOneTexture(1, 1), answer);
    EXPECT_EQ(EntryOf(device.m_plistTextures, answer).second, 2u);  // the cleared slot gave its use back

    // Drawing binds sub-object textures, then everything goes back.
    EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
    EXPECT_EQ(std::count(device.bindings.begin(), device.bindings.end(), "made1@0"), 3);
    EXPECT_EQ(o->DeleteOneTexture(2, 0), eOK);
    EXPECT_EQ(o->GetOneTexture(2, 0), nullptr);
    EXPECT_EQ(EntryOf(device.m_plistTextures, ball).second, 3u);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    // The other user still holds the ball; the object's answer use is gone.
    EXPECT_EQ(EntryOf(device.m_plistTextures, ball), std::make_pair(true, 1u));
    EXPECT_FALSE(EntryOf(device.m_plistTextures, answer).first);
    EXPECT_EQ(device.DeleteTexture(ball), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

// Rebuilding the object or loading over an occupied slot must not strand the
// textures the slots held.
TEST_F(ObjectTest, RebuildingOrReplacingGivesTheSlotUsesBack) {
    device.recordingTextures = true;
    C3DObject* o = Build(OBJ_NORMAL, RENDER_TEXTURE1, {Quad(0, 0, 9, 9), Quad(10, 10, 19, 19)});
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->LoadTextureFromFile(1, 0, "Data/ball.png", eALL_SUBOBJECTS, 0), eOK);
    ASSERT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/own.png", 1, 1), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 2u);
    ASSERT_EQ(o->InitConstruct(1, 3, 3), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
    EXPECT_EQ(o->GetOneTexture(0, 0), nullptr);

    ASSERT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/first.png", 0, 0), eOK);
    C3DTexture* first = o->GetOneTexture(0, 0);
    ASSERT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/second.png", 0, 0), eOK);
    EXPECT_FALSE(EntryOf(device.m_plistTextures, first).first);
    EXPECT_EQ(EntryOf(device.m_plistTextures, o->GetOneTexture(0, 0)), std::make_pair(true, 1u));
    // Setting the texture a slot already holds keeps it alive.
    ASSERT_EQ(o->SetOneTexture(o->GetOneTexture(0, 0), 0, 0), eOK);
    EXPECT_EQ(EntryOf(device.m_plistTextures, o->GetOneTexture(0, 0)), std::make_pair(true, 1u));
    EXPECT_EQ(device.Delete3DObject(o), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
}

TEST_F(ObjectTest, DeviceUnloadTakesEverythingQuietly) {
    device.recordingTextures = true;
    for (uint32_t cls : {OBJ_NORMAL, OBJ_MULTITEXTURES, OBJ_POINTSPRITE, OBJ_SCREEN}) {
        C3DObject* o = Build(cls, 0, {Quad(0, 0, 9, 9), Quad(10, 10, 19, 19)});
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->LoadTextureFromFile(1, 0, "Data/shared.png", eALL_SUBOBJECTS, 0), eOK);
        ASSERT_EQ(o->LoadOneTextureFromFile(0, 0, "Data/own.png", 1, 1), eOK);
    }
    ASSERT_NE(device.Create3DObjectIndex(0, 0, INDEX_32), nullptr);
    EXPECT_EQ(CountOf(device.m_plistTextures), 5u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(device.Unload(), eOK);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(device.m_plistObjects->m_pHead, nullptr);
    EXPECT_EQ(device.m_plistObjectsIndex->m_pHead, nullptr);
    EXPECT_EQ(device.m_plistTextures->m_pHead, nullptr);
    EXPECT_EQ(err.find("detected memory leaks"), std::string::npos) << err;
}

}  // namespace
