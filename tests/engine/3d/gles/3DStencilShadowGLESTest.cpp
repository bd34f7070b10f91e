// Stencil shadows: volumes built from hand-made casters, the refusals that
// keep the arrays in bounds, the device's factory and compatibility check,
// and a real scene (a sphere over a plane, lit from above) read back. With
// ORBELLINE_RENDER_DIR set, the scenes are also written there as PNG files.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/Camera.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/UtilsParameters.h"
#include "tests/engine/3d/TextureTestImages.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using gltest::kHeight;
using gltest::kWidth;

const VECTOR3D kWide{3.40282347e38f, 3.40282347e38f, 3.40282347e38f};
const VECTOR3D kWideLow{-3.40282347e38f, -3.40282347e38f, -3.40282347e38f};

struct Sub {
    std::vector<VECTOR3D> positions;
    std::vector<uint32_t> indices;
    uint32_t type = PRIM_TRIANGLELIST;
};

bool Near(const VECTOR3D& a, const VECTOR3D& b, float eps = 1e-4f) {
    return std::fabs(a.x - b.x) <= eps && std::fabs(a.y - b.y) <= eps && std::fabs(a.z - b.z) <= eps;
}

class StencilShadowTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_bDepthBuffer = 1;
        LIGHT_BLOCK& light = shared->m_Light[0];
        light.m_bEnable = 1;
        light.m_dwType = 0;
        light.m_afPosition[0] = 0.0f, light.m_afPosition[1] = 0.0f, light.m_afPosition[2] = -5000.0f;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
    }
    void TearDown() override {
        device.Unload();
        gltest::GlesTest::TearDown();
    }

    // One sub-object per entry, vertices and indices following each other.
    C3DObject* Build(const std::vector<Sub>& subs) {
        uint32_t vertices = 0, indices = 0;
        for (const Sub& s : subs) vertices += s.positions.size(), indices += s.indices.size();
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
        if (!o) return nullptr;
        EXPECT_EQ(o->InitConstruct(static_cast<uint32_t>(subs.size()), vertices, indices), eOK);
        EXPECT_EQ(o->BeginConstruct(), eOK);
        uint32_t v = 0, k = 0;
        for (uint32_t sub = 0; sub < subs.size(); ++sub) {
            const Sub& s = subs[sub];
            for (size_t i = 0; i < s.indices.size(); ++i) o->SetIndex(k + i, s.indices[i]);
            for (size_t i = 0; i < s.positions.size(); ++i) {
                VECTOR3D p = s.positions[i];
                o->SetVertexPosition(v + i, &p);
            }
            const uint32_t primitives =
                s.type == PRIM_TRIANGLELIST ? s.indices.size() / 3 : s.indices.size() >= 2 ? s.indices.size() - 2 : 0;
            EXPECT_EQ(o->SetSubObjParsingEx(sub, v, s.positions.size(), k, s.indices.size(), primitives, s.type,
                                            CULL_NONE, eNO_VALUE),
                      eOK);
            v += s.positions.size();
            k += s.indices.size();
        }
        EXPECT_EQ(o->EndConstruct(false), eOK);
        return o;
    }

    gltest::SharedInfosHolder shared;
    C3DEngineGLES device;
};

// With light 1 at (0, 0, -5000), (0,0,0), (1,0,0), (0,1,0) in this order counts
// as lit (cross(c - b, b - a) . L >= 0); the other order does not.
const VECTOR3D A{0, 0, 0}, B{1, 0, 0}, C{0, 1, 0}, D{1, 1, 0};

TEST_F(StencilShadowTest, VolumesOfSmallCasters) {
    struct Case {
        const char* name;
        std::vector<Sub> subs;
        uint32_t vertices;  // side vertices, also cap vertices: 6 per silhouette edge
    };
    const std::vector<Case> cases = {
        {"one triangle", {{{A, B, C}, {0, 1, 2}}}, 18},
        {"two sharing an edge", {{{A, B, C, D}, {0, 1, 2, 1, 3, 2}}}, 24},
        {"facing away", {{{A, B, C, D}, {0, 2, 1, 1, 2, 3}}}, 0},
        {"one lit, one away", {{{A, B, C, D}, {0, 1, 2, 1, 2, 3}}}, 18},
        {"the same triangle twice cancels", {{{A, B, C}, {0, 1, 2, 2, 0, 1}}}, 0},
        {"trailing partial triangle ignored", {{{A, B, C}, {0, 1, 2, 0, 1}}}, 18},
        {"index past the vertices: sub-object left out", {{{A, B, C}, {0, 1, 7}}}, 0},
        // A fan adds only the outer edge of each lit triangle.
        {"fan", {{{A, B, D, C}, {0, 1, 2, 3}, PRIM_TRIANGLEFAN}}, 12},
        {"strip casts nothing", {{{A, B, C, D}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP}}, 0},
        {"two sub-objects", {{{A, B, C}, {0, 1, 2}}, {{A, B, C, D}, {0, 1, 2, 1, 3, 2}}}, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C3DObject* o = Build(c.subs);
        ASSERT_NE(o, nullptr);
        C3DStencilShadow* shadow = device.CreateStencilShadow(1, 0x60000000u);
        ASSERT_NE(shadow, nullptr);
        EXPECT_EQ(shadow->AddObject(0, o, nullptr, kWide, kWideLow), eOK);
        EXPECT_EQ(shadow->FrameMove(0), eOK);
        const SHADOW_OBJECT* r = shadow->GetObject(0);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->dwCapacity, 200u * o->m_dwVertexCount);
        EXPECT_EQ(r->dwSideCount, c.vertices);
        EXPECT_EQ(r->dwCapCount, c.vertices);
        // Rebuilding gives the same, not twice as much.
        EXPECT_EQ(shadow->FrameMove(0), eOK);
        EXPECT_EQ(r->dwSideCount, c.vertices);
        EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(StencilShadowTest, SidesExtrudeAwayFromTheLightAndCapsCentreOnEachSubObject) {
    // Two triangles in separate sub-objects, the second one moved.
    const VECTOR3D off{5, 2, 1};
    auto moved = [&](const VECTOR3D& p) { return VECTOR3D{p.x + off.x, p.y + off.y, p.z + off.z}; };
    C3DObject* o = Build({{{A, B, C}, {0, 1, 2}}, {{moved(A), moved(B), moved(C)}, {0, 1, 2}}});
    ASSERT_NE(o, nullptr);
    MATRIX3D m;
    shared->m_pMaths3D->_MATRIX3DIdentity(&m);
    shared->m_pMaths3D->_MATRIX3DSetPositionXYZ(&m, 0, 0, 10);  // the caster's matrix is applied
    C3DStencilShadow* shadow = device.CreateStencilShadow(1, 0);
    ASSERT_NE(shadow, nullptr);
    ASSERT_EQ(shadow->AddObject(0, o, &m, kWide, kWideLow), eOK);
    ASSERT_EQ(shadow->FrameMove(0), eOK);
    const SHADOW_OBJECT* r = shadow->GetObject(0);
    ASSERT_EQ(r->dwSideCount, 36u);

    const VECTOR3D far{0, 0, 50000};  // 10 x the light vector, away from it
    for (uint32_t e = 0; e < 6; ++e) {
        SCOPED_TRACE(e);
        const VECTOR3D* s = r->pSides + 6 * e;
        EXPECT_TRUE(Near(s[3], s[1]));
        EXPECT_TRUE(Near(s[5], s[2]));
        EXPECT_TRUE(Near(s[2], VECTOR3D{s[0].x + far.x, s[0].y + far.y, s[0].z + far.z}));
        EXPECT_TRUE(Near(s[4], VECTOR3D{s[1].x + far.x, s[1].y + far.y, s[1].z + far.z}, 1e-2f));
        EXPECT_FLOAT_EQ(s[0].z, e < 3 ? 10.0f : 11.0f);
        // Caps: near fan around the sub-object's centre, far fan around its image.
        const VECTOR3D* c = r->pCaps + 6 * e;
        const VECTOR3D centre = e < 3 ? VECTOR3D{1 / 3.0f, 1 / 3.0f, 10} : VECTOR3D{5 + 1 / 3.0f, 2 + 1 / 3.0f, 11};
        EXPECT_TRUE(Near(c[0], centre)) << c[0].x << " " << c[0].y << " " << c[0].z;
        EXPECT_TRUE(Near(c[1], s[0]) && Near(c[2], s[1]));
        EXPECT_TRUE(Near(c[3], VECTOR3D{centre.x, centre.y, centre.z + far.z}, 1e-2f));
        EXPECT_TRUE(Near(c[4], s[2]) && Near(c[5], s[4]));
    }
    EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(StencilShadowTest, ClampsFlattenTheVolumeOntoTheirBox) {
    C3DObject* o = Build({{{A, B, C}, {0, 1, 2}}});
    ASSERT_NE(o, nullptr);
    C3DStencilShadow* shadow = device.CreateStencilShadow(1, 0);
    ASSERT_NE(shadow, nullptr);
    const VECTOR3D upper{0.5f, 2, 3}, lower{-1, 0.25f, -1};
    ASSERT_EQ(shadow->AddObject(0, o, nullptr, upper, lower), eOK);
    ASSERT_EQ(shadow->FrameMove(0), eOK);
    const SHADOW_OBJECT* r = shadow->GetObject(0);
    ASSERT_EQ(r->dwSideCount, 18u);
    for (uint32_t i = 0; i < r->dwSideCount; ++i) {
        const VECTOR3D& p = r->pSides[i];
        EXPECT_TRUE(p.x <= 0.5f && p.x >= -1 && p.y >= 0.25f && p.y <= 2 && p.z >= -1 && p.z <= 3);
    }
    // Extruded points (third of each side triangle) land on the far face.
    for (uint32_t e = 0; e < 3; ++e) EXPECT_FLOAT_EQ(r->pSides[6 * e + 2].z, 3.0f);
    // (1, 0, 0) is pulled in to (0.5, 0.25, 0).
    bool found = false;
    for (uint32_t i = 0; i < r->dwSideCount; ++i) found |= Near(r->pSides[i], VECTOR3D{0.5f, 0.25f, 0});
    EXPECT_TRUE(found);
    EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(StencilShadowTest, RefusesWhatWouldNotFit) {
    // Bad record numbers do nothing.
    C3DObject* tri = Build({{{A, B, C}, {0, 1, 2}}});
    ASSERT_NE(tri, nullptr);
    C3DStencilShadow* shadow = device.CreateStencilShadow(2, 0);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->AddObject(2, tri, nullptr, kWide, kWideLow), eFAILED);
    EXPECT_EQ(shadow->AddObject(0xFFFFFFFFu, tri, nullptr, kWide, kWideLow), eFAILED);
    EXPECT_EQ(shadow->FrameMove(2), eFAILED);
    EXPECT_EQ(shadow->Render(2), eFAILED);
    EXPECT_EQ(shadow->GetObject(2), nullptr);
    // Unused records build and draw nothing.
    EXPECT_EQ(shadow->FrameMove(1), eOK);
    EXPECT_EQ(shadow->Render(1), eOK);
    EXPECT_EQ(shadow->GetObject(1)->dwSideCount, 0u);

    // A silhouette longer than 200 slots per vertex: vertex 0 with 100
    // points on an arc, every triangle (0, i, j) lit; the 4950 edges (i, j)
    // and the 100 edges (0, i), used 99 times each, all stay: 5050 edges,
    // 30300 vertices for 20800 slots. That sub-object is left out whole;
    // the next one still builds.
    Sub crowd;
    crowd.positions.push_back(A);
    for (int i = 1; i <= 100; ++i) {
        const float a = 1.5f * i / 100.0f;
        crowd.positions.push_back(VECTOR3D{std::cos(a), std::sin(a), 0});
    }
    for (uint32_t i = 1; i <= 100; ++i)
        for (uint32_t j = i + 1; j <= 100; ++j) crowd.indices.insert(crowd.indices.end(), {0, i, j});
    C3DObject* big = Build({crowd, {{A, B, C}, {0, 1, 2}}});
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(shadow->AddObject(0, big, nullptr, kWide, kWideLow), eOK);
    ASSERT_EQ(shadow->FrameMove(0), eOK);
    EXPECT_EQ(shadow->GetObject(0)->dwCapacity, 200u * 104);
    EXPECT_EQ(shadow->GetObject(0)->dwSideCount, 18u);
    EXPECT_EQ(shadow->GetObject(0)->dwCapCount, 18u);

    // A new caster on the same record replaces the arrays.
    ASSERT_EQ(shadow->AddObject(0, tri, nullptr, kWide, kWideLow), eOK);
    EXPECT_EQ(shadow->GetObject(0)->dwCapacity, 600u);
    EXPECT_EQ(shadow->GetObject(0)->dwSideCount, 0u);

    // Vertex numbers must fit in 16 bits: a larger caster casts nothing.
    C3DObject* huge = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(huge, nullptr);
    ASSERT_EQ(huge->InitConstruct(1, 65537, 3), eOK);
    ASSERT_EQ(huge->BeginConstruct(), eOK);
    const uint32_t corners[3] = {65534, 65535, 65536};
    for (uint32_t i = 0; i < 3; ++i) {
        huge->SetIndex(i, corners[i]);
        VECTOR3D p = i == 0 ? A : i == 1 ? B : C;
        huge->SetVertexPosition(corners[i], &p);
    }
    huge->SetSubObjParsingEx(0, 0, 65537, 0, 3, 1, PRIM_TRIANGLELIST, CULL_NONE, eNO_VALUE);
    huge->EndConstruct(false);
    ASSERT_EQ(shadow->AddObject(1, huge, nullptr, kWide, kWideLow), eOK);
    EXPECT_EQ(shadow->GetObject(1)->dwCapacity, 0u);
    EXPECT_EQ(shadow->FrameMove(1), eOK);
    EXPECT_EQ(shadow->GetObject(1)->dwSideCount, 0u);
    EXPECT_EQ(shadow->Render(1), eOK);

    // A record claiming four billion indices over a buffer of three: the
    // edge list is sized from the three held, nothing is thrown, and the
    // sub-object, running past its indices, casts nothing.
    C3DObject* claims = Build({{{A, B, C}, {0, 1, 2}}});
    ASSERT_NE(claims, nullptr);
    ASSERT_EQ(claims->BeginConstruct(), eOK);
    claims->SetSubObjParsingEx(0, 0, 3, 0, 0xFFFFFFFFu, 1, PRIM_TRIANGLELIST, CULL_NONE, eNO_VALUE);
    claims->EndConstruct(false);
    ASSERT_EQ(shadow->AddObject(1, claims, nullptr, kWide, kWideLow), eOK);
    EXPECT_EQ(shadow->FrameMove(1), eOK);
    EXPECT_EQ(shadow->GetObject(1)->dwSideCount, 0u);
    EXPECT_EQ(device.Delete3DObject(claims), eOK);

    // Unload frees the arrays; the records stay.
    EXPECT_EQ(shadow->Unload(), eOK);
    EXPECT_EQ(shadow->GetObject(0)->pSides, nullptr);
    EXPECT_EQ(shadow->FrameMove(0), eOK);
    EXPECT_EQ(shadow->GetObject(0)->dwSideCount, 0u);
    EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
    for (C3DObject* o : {tri, big, huge}) EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(StencilShadowTest, DeviceOwnsTheShadows) {
    C3DStencilShadow* a = device.CreateStencilShadow(3, 0x80000000u);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->m_dwObjectCount, 3u);
    EXPECT_EQ(a->m_dwShadowColor, 0x80000000u);
    EXPECT_FALSE(a->m_bShowConstruct);  // no engine store: the default
    for (uint32_t i = 0; i < 3; ++i) {
        const SHADOW_OBJECT* r = a->GetObject(i);
        EXPECT_EQ(r->pObject, nullptr);
        EXPECT_EQ(r->vUpper.x, 3.40282347e38f);
        EXPECT_EQ(r->vLower.z, -3.40282347e38f);
    }
    C3DStencilShadow stranger(shared.get());
    EXPECT_EQ(device.DeleteStencilShadow(&stranger), eOK);  // not ours: left alone
    EXPECT_EQ(device.DeleteStencilShadow(nullptr), eFAILED);
    EXPECT_EQ(device.DeleteStencilShadow(a), eOK);
    // One left for the device's Unload to sweep.
    ASSERT_NE(device.CreateStencilShadow(1, 0), nullptr);

    // SHOW_CONSTRUCT comes from the engine store.
    static const char kIni[] = "[STENCIL_SHADOW]\r\nSHOW_CONSTRUCT = 1\r\n";
    CUtilsParametersStatic ini(kIni, sizeof kIni);
    shared->m_pParam = &ini;
    C3DStencilShadow* shown = device.CreateStencilShadow(1, 0);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->m_bShowConstruct);
    EXPECT_EQ(device.DeleteStencilShadow(shown), eOK);
    shared->m_pParam = nullptr;
}

TEST_F(StencilShadowTest, CompatibleOnlyWithStencilBitsAndTheSwitchOn) {
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(bits, 8);
    shared->m_bStencilShadow = 0;  // the compiled-in configuration
    EXPECT_EQ(device.StencilShadowCompatible(), eFAILED);
    shared->m_bStencilShadow = 1;
    EXPECT_EQ(device.StencilShadowCompatible(), eOK);

    // A drawable without stencil.
    using namespace platform::oes;
    GLuint fb = 0, rb[2] = {0, 0};
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &previous);
    glGenFramebuffersOES(1, &fb);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb);
    glGenRenderbuffersOES(2, rb);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb[0]);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, 16, 16);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES, rb[0]);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb[1]);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH_COMPONENT16_OES, 16, 16);
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES, rb[1]);
    ASSERT_EQ(glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_OES));
    EXPECT_EQ(device.StencilShadowCompatible(), eFAILED);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, previous);
    glDeleteRenderbuffersOES(2, rb);
    glDeleteFramebuffersOES(1, &fb);

    C3DEngineGLES unloaded;
    EXPECT_EQ(unloaded.StencilShadowCompatible(), eFAILED);
}

// A red sphere of radius 1 at (0, 1, 0) over a grey plane at y = -1, light 1
// straight above: the shadow is a disk of radius 1 under the sphere.
class ShadowSceneTest : public StencilShadowTest {
protected:
    void SetUp() override {
        StencilShadowTest::SetUp();
        if (HasFatalFailure()) return;
        CMaths3D* maths = shared->m_pMaths3D;
        LIGHT_BLOCK& light = shared->m_Light[0];
        light.m_afPosition[0] = 0, light.m_afPosition[1] = 1000, light.m_afPosition[2] = 0;
        shared->m_dwClearColor = 0xFF000000u;

        MATRIX3D camera;
        maths->_MATRIX3DIdentity(&camera);
        maths->_MATRIX3DSetPositionXYZ(&camera, 0, 6, -8);
        const VECTOR3D target{0, 0, 0};
        maths->_MATRIX3DLookAtLH(&camera, &target);
        shared->m_matViewInverse = camera;
        maths->_MATRIX3DInverse(&shared->m_matView, nullptr, &camera);
        ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);

        const uint32_t draw = RENDER_ZTEST | RENDER_ZWRITE | RENDER_CULL_NONE | RENDER_NO_TEXTURE;
        plane = device.Create3DObject(OBJ_NORMAL, draw);
        ASSERT_NE(plane, nullptr);
        MODEL_PLANE p{20.0f, 20.0f, 8, 8, 2, kPlaneColor, 0, 1, 1};
        ASSERT_EQ(plane->ConstructFromModel(MODEL_TYPE_PLANE, &p), eOK);
        maths->_MATRIX3DSetPositionXYZ(&plane->m_matMatrix, 0, -1, 0);

        sphere = device.Create3DObject(OBJ_NORMAL, draw);
        ASSERT_NE(sphere, nullptr);
        MODEL_SPHERE s{1.0f, 32, 0xFFFF0000u, 0};
        ASSERT_EQ(sphere->ConstructFromModel(MODEL_TYPE_SPHERE, &s), eOK);
        maths->_MATRIX3DSetPositionXYZ(&sphere->m_matMatrix, 0, 1, 0);
    }

    // Draws the scene, with the shadow when given, and reads it back.
    std::vector<uint8_t> Draw(C3DStencilShadow* shadow) {
        EXPECT_EQ(device.BeginScene(), eOK);
        EXPECT_EQ(plane->Render(eALL_SUBOBJECTS), eOK);
        EXPECT_EQ(sphere->Render(eALL_SUBOBJECTS), eOK);
        if (shadow) {
            EXPECT_EQ(shadow->FrameMove(0), eOK);
            EXPECT_EQ(shadow->Render(0), eOK);
        }
        EXPECT_EQ(device.EndScene(), eOK);
        std::vector<uint8_t> rgba(kWidth * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    C3DStencilShadow* Shadow(uint32_t color) {
        C3DStencilShadow* shadow = device.CreateStencilShadow(1, color);
        EXPECT_NE(shadow, nullptr);
        if (shadow) {
            EXPECT_EQ(shadow->AddObject(0, sphere, &sphere->m_matMatrix, kWide, kWideLow), eOK);
        }
        return shadow;
    }

    // Frame offset of the pixel showing world point (x, y, z).
    size_t At(float x, float y, float z) const {
        const VECTOR3D v{x, y, z};
        const VECTOR3D s = shared->m_pMaths3D->_VECTOR3DProject(kWidth, kHeight, nullptr, &shared->m_matView,
                                                                &shared->m_matProjection, &v);
        const int px = static_cast<int>(s.x), py = kHeight - 1 - static_cast<int>(s.y);
        EXPECT_TRUE(px >= 0 && px < kWidth && py >= 0 && py < kHeight);
        return (static_cast<size_t>(py) * kWidth + px) * 4;
    }

    static void Keep(const std::vector<uint8_t>& rgba, const std::string& name) {
        const char* dir = std::getenv("ORBELLINE_RENDER_DIR");
        if (!dir || !*dir) return;
        std::vector<teximg::Bytes> rows;
        for (int y = kHeight - 1; y >= 0; --y) {
            teximg::Bytes row;
            for (int x = 0; x < kWidth; ++x)
                row.insert(row.end(), &rgba[(static_cast<size_t>(y) * kWidth + x) * 4],
                           &rgba[(static_cast<size_t>(y) * kWidth + x) * 4] + 3);
            rows.push_back(row);
        }
        const teximg::Bytes png = teximg::WriteRgbPng(kWidth, rows);
        std::ofstream(std::string(dir) + "/" + name + ".png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }

    static constexpr uint32_t kPlaneColor = 0xFFC8C8C8u;  // grey 200
    C3DObject* plane = nullptr;
    C3DObject* sphere = nullptr;
};

TEST_F(ShadowSceneTest, DarkensTheFootprintByTheShadowAlpha) {
    const std::vector<uint8_t> lit = Draw(nullptr);
    Keep(lit, "shadow_none");
    // On the plane, in front of the sphere as seen from the camera.
    const std::vector<std::array<float, 2>> inside = {{0, 0}, {0.5f, -0.3f}, {-0.5f, -0.3f}, {0, -0.75f}, {0.7f, 0}};
    const std::vector<std::array<float, 2>> outside = {{0, -1.4f}, {1.4f, 0}, {-1.4f, 0}, {1.1f, -1.1f}, {-2, 2}};
    for (const auto& p : inside) ASSERT_EQ(lit[At(p[0], -1, p[1])], 200) << p[0] << ", " << p[1];

    struct Case {
        const char* name;
        uint32_t color;
    };
    for (const Case& c : {Case{"shadow_alpha_96", 0x60000000u}, Case{"shadow_alpha_0", 0x00FFFFFFu},
                          Case{"shadow_alpha_255", 0xFF000000u}}) {
        SCOPED_TRACE(c.name);
        C3DStencilShadow* shadow = Shadow(c.color);
        ASSERT_NE(shadow, nullptr);
        const std::vector<uint8_t> frame = Draw(shadow);
        Keep(frame, c.name);
        const float keep = static_cast<float>(c.color >> 24) / 255.0f;  // what the quad leaves
        for (const auto& p : inside) {
            const size_t i = At(p[0], -1, p[1]);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(frame[i + k], lit[i + k] * keep, 1.5) << p[0] << ", " << p[1];
        }
        for (const auto& p : outside) {
            const size_t i = At(p[0], -1, p[1]);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(frame[i + k], lit[i + k]) << p[0] << ", " << p[1];
        }
        // Every pixel is either left alone or darkened by that factor: no
        // wire frame, nothing else drawn.
        int darkened = 0, wrong = 0;
        for (size_t i = 0; i < frame.size(); i += 4) {
            bool same = true, dark = true;
            for (int k = 0; k < 3; ++k) {
                same &= frame[i + k] == lit[i + k];
                dark &= std::fabs(frame[i + k] - lit[i + k] * keep) <= 1.5f;
            }
            darkened += !same && dark;
            wrong += !same && !dark;
        }
        EXPECT_EQ(wrong, 0);
        if (keep < 1.0f) {
            EXPECT_GT(darkened, 2000);
        }
        EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
    }
}

TEST_F(ShadowSceneTest, ShowConstructDrawsTheVolumeEdges) {
    static const char kIni[] = "[STENCIL_SHADOW]\r\nSHOW_CONSTRUCT = 1\r\n";
    CUtilsParametersStatic ini(kIni, sizeof kIni);
    shared->m_pParam = &ini;
    C3DStencilShadow* shadow = Shadow(0x60000000u);
    shared->m_pParam = nullptr;
    ASSERT_NE(shadow, nullptr);
    ASSERT_TRUE(shadow->m_bShowConstruct);
    const std::vector<uint8_t> frame = Draw(shadow);
    Keep(frame, "shadow_show_construct");
    int white = 0;
    for (size_t i = 0; i < frame.size(); i += 4) white += frame[i] == 255 && frame[i + 1] == 255 && frame[i + 2] == 255;
    EXPECT_GT(white, 200);
    EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
}

}  // namespace
