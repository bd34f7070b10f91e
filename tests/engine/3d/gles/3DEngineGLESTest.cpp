// The OpenGL ES render device: entry points, fixed state, lights, fog, point
// sprites, the frame protocol, the registries, texture sharing and the
// final sweep, on a real OpenGL ES 1.1 context.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DShader.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/3d/gles/3DObjectIndexGLES.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/3d/gles/CameraGLES.h"
#include "engine/utils/UtilsParameters.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using Events = std::vector<std::string>;

// Records its Unload and its destruction.
template <class Base>
class Tracked : public Base {
public:
    Tracked(Events* events, std::string name) : events_(events), name_(std::move(name)) {}
    ~Tracked() override { events_->push_back("delete " + name_); }
    eRESULT Unload() override {
        events_->push_back("unload " + name_);
        return Base::Unload();
    }
    int Count(const std::string& what) const {
        int n = 0;
        for (const std::string& e : *events_) n += (e == what + " " + name_);
        return n;
    }

protected:
    Events* events_;
    std::string name_;
};

using TrackedObject = Tracked<C3DObject>;
using TrackedIndex = Tracked<C3DObjectIndex16GLES>;
using TrackedShader = Tracked<C3DShader>;
using TrackedShadow = Tracked<C3DStencilShadow>;

// Stands in for the decoders: a "load" names the texture after its source
// by the same rule the real upload uses, and fails for sources named
// "broken...".
class NamedTexture : public Tracked<C3DTextureGLES> {
public:
    using Tracked::Tracked;
    eRESULT MakeTextureFromAddress(void*, uint32_t, const char* name) override { return Decode(name); }
    eRESULT LoadTextureFromPacker(_RES_PACKER* packer) override { return Decode(packer->m_szName); }
    eRESULT LoadTextureFromFile(const char* path) override { return Decode(path); }
    int decodes = 0;

private:
    eRESULT Decode(const char* text) {
        ++decodes;
        Unload();
        const std::string source(text, strnlen(text, eMAX_PATH - 1));
        const uint32_t skip = m_pSharedInfos->m_dwTextureNameSkip;
        const char* name = skip == 0xFFFFFFFFu ? GetFileFromPath(source.c_str())
                                               : source.c_str() + std::min<size_t>(skip, source.size());
        if (std::strncmp(name, "broken", 6) == 0) return eFAILED;
        std::snprintf(m_szName, sizeof m_szName, "%s", name);
        return eOK;
    }
};

// The device with the object classes replaced by test doubles on request.
class TestDevice : public C3DEngineGLES {
public:
    // Bit 0x100 of the flags makes the new object's Load fail.
    static constexpr uint32_t kFailLoad = 0x100;

    C3DTexture* CreateTexture(uint32_t flags, uint32_t flags2) override {
        if (!namedTextures) return C3DEngineGLES::CreateTexture(flags, flags2);
        auto* texture = new NamedTexture(&events, "texture" + std::to_string(made++));
        texture->m_dwFlags = flags;
        texture->m_dwFlags2 = flags2;
        texture->Load(m_pSharedInfos);
        m_plistTextures->AddLast(texture, (flags & 1) != 0);
        return texture;
    }

    bool namedTextures = false;
    bool makeObjects = false;
    Events events;
    int made = 0;

protected:
    C3DObject* New3DObject(uint32_t flags) override {
        if (!makeObjects) return C3DEngineGLES::New3DObject(flags);
        class Object : public TrackedObject {
        public:
            using TrackedObject::TrackedObject;
            eRESULT Load(SHARED_INFOS*) override { return (m_dwFlags & kFailLoad) ? eFAILED : eOK; }
        };
        return new Object(&events, "object" + std::to_string(made++));
    }
};

size_t CountOf(CFIFOList* list) {
    size_t n = 0;
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext) ++n;
    return n;
}

bool Holds(CFIFOList* list, const void* p) {
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext)
        if (node->m_pData == p) return true;
    return false;
}

// The registry entry of p: (recyclable, count).
std::pair<bool, uint32_t> EntryOf(CFIFOListRecycle* list, const void* p) {
    for (FIFO_NODE* node = list->m_pHead; node; node = node->m_pNext)
        if (node->m_pData == p) {
            auto* entry = static_cast<FIFO_NODE_RECYCLE*>(node);
            return {entry->m_bRecycle, entry->m_dwRecycleCount};
        }
    return {false, 0};
}

std::array<float, 4> GetLight(GLenum light, GLenum what) {
    std::array<float, 4> v{-7, -7, -7, -7};
    glGetLightfv(light, what, v.data());
    return v;
}

std::array<float, 4> GetMaterial(GLenum what) {
    std::array<float, 4> v{-7, -7, -7, -7};
    glGetMaterialfv(GL_FRONT, what, v.data());
    return v;
}

std::array<float, 4> GetFloats(GLenum what) {
    std::array<float, 4> v{-7, -7, -7, -7};
    glGetFloatv(what, v.data());
    return v;
}

void ExpectNear4(const std::array<float, 4>& got, const std::array<float, 4>& want, float eps = 1e-5f) {
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], eps) << "component " << i;
}

void SetLight(SHARED_INFOS* si, int i, bool on, uint32_t type, VECTOR3D pos, float diffuse, float specular,
              float ambient) {
    LIGHT_BLOCK& l = si->m_Light[i];
    l.m_bEnable = l.m_bEnableCfg = on;
    l.m_dwType = type;
    l.m_afPosition[0] = pos.x;
    l.m_afPosition[1] = pos.y;
    l.m_afPosition[2] = pos.z;
    l.m_afDirection[0] = l.m_afDirection[1] = l.m_afDirection[2] = 42.0f;
    l.m_fDiffuse = diffuse;
    l.m_fSpecular = specular;
    l.m_fAmbient = ambient;
}

class DeviceTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
        // Light queries answer in eye space: keep it equal to world space.
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    void TearDown() override {
        device.Unload();
        gltest::GlesTest::TearDown();
    }

    gltest::SharedInfosHolder shared;
    TestDevice device;
};

TEST(DeviceEntryPoints, DescribeInstallAndUninstall) {
    ENUM_DEVICE info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(GetInfos_3D_GLES(&info), eOK);
    EXPECT_STREQ(info.szName, "OpenGLES 1.1");
    EXPECT_EQ(info.dwVersion, 0x10000u);
    EXPECT_EQ(info.dwFlags, 0x1000020u);
    // "%s %s" of the build date and time: "Mmm dd yyyy hh:mm:ss".
    char month[4] = {};
    int day = 0, year = 0, hour = -1, minute = -1, second = -1, used = 0;
    EXPECT_EQ(std::sscanf(info.szBuild, "%3s %d %d %d:%d:%d%n", month, &day, &year, &hour, &minute, &second,
                          &used),
              6)
        << info.szBuild;
    EXPECT_EQ(used, 20) << info.szBuild;
    EXPECT_EQ(std::strlen(info.szBuild), 20u);
    EXPECT_EQ(GetInfos_3D_GLES(nullptr), eFAILED);

    void* installed = InstallApi_3D_GLES();
    ASSERT_NE(installed, nullptr);
    auto* device = static_cast<C3DEngine*>(installed);
    EXPECT_NE(dynamic_cast<C3DEngineGLES*>(device), nullptr);
    EXPECT_EQ(device->m_pSharedInfos, nullptr);
    EXPECT_EQ(device->m_pCamera, nullptr);
    UninstallApi_3D_GLES(installed);
    UninstallApi_3D_GLES(nullptr);
}

TEST_F(DeviceTest, LoadCreatesTheCameraAndSetsTheFixedState) {
    glFogf(GL_FOG_MODE, GL_EXP);
    glShadeModel(GL_FLAT);
    glEnable(GL_POINT_SMOOTH);
    glHint(GL_FOG_HINT, GL_FASTEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glTexEnvf(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, 0.0f);

    C3DEngineGLES fresh;
    ASSERT_EQ(fresh.Load(shared.get(), nullptr), eOK);
    EXPECT_EQ(fresh.m_pSharedInfos, shared.get());
    ASSERT_NE(dynamic_cast<CCameraGLES*>(fresh.m_pCamera), nullptr);
    EXPECT_EQ(fresh.m_pCamera->m_pSharedInfos, shared.get());

    GLint value = 0;
    glGetIntegerv(GL_FOG_MODE, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    glGetIntegerv(GL_FOG_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    EXPECT_FALSE(glIsEnabled(GL_POINT_SMOOTH));
    glGetTexEnviv(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, &value);
    EXPECT_EQ(value, GL_TRUE);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(fresh.Unload(), eOK);
}

TEST_F(DeviceTest, LightPositionColoursAndMaterial) {
    struct Case {
        uint32_t type;
        VECTOR3D position;
        std::array<float, 4> glPosition;
        VECTOR3D storedDirection;
    };
    const std::vector<Case> cases = {
        {0, {0, 0, -5000}, {0, 0, -1, 0}, {0, 0, -1}},
        {1, {0, 0, -5000}, {0, 0, -5000, 1}, {0, 0, 0}},
        {0, {300, 400, 0}, {0.6f, 0.8f, 0, 0}, {0.6f, 0.8f, 0}},
        {7, {-5000, 10, -2000}, {-5000, 10, -2000, 1}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + " at z " + std::to_string(c.position.z));
        SetLight(shared.get(), 0, true, c.type, c.position, 0.75f, 0.5f, 0.25f);
        ASSERT_EQ(device.LightingOneInit(0), eOK);
        EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
        ExpectNear4(GetLight(GL_LIGHT0, GL_POSITION), c.glPosition);
        const float* d = shared->m_Light[0].m_afDirection;
        EXPECT_NEAR(d[0], c.storedDirection.x, 1e-6f);
        EXPECT_NEAR(d[1], c.storedDirection.y, 1e-6f);
        EXPECT_NEAR(d[2], c.storedDirection.z, 1e-6f);
    }
    ExpectNear4(GetLight(GL_LIGHT0, GL_AMBIENT), {0.25f, 0.25f, 0.25f, 1});
    ExpectNear4(GetLight(GL_LIGHT0, GL_DIFFUSE), {0.75f, 0.75f, 0.75f, 1});
    ExpectNear4(GetLight(GL_LIGHT0, GL_SPECULAR), {0.5f, 0.5f, 0.5f, 1});
    EXPECT_EQ(GetLight(GL_LIGHT0, GL_CONSTANT_ATTENUATION)[0], 1.0f);
    EXPECT_EQ(GetLight(GL_LIGHT0, GL_LINEAR_ATTENUATION)[0], 0.0f);
    EXPECT_EQ(GetLight(GL_LIGHT0, GL_QUADRATIC_ATTENUATION)[0], 0.0f);
    ExpectNear4(GetMaterial(GL_AMBIENT), {0.25f, 0.25f, 0.25f, 1});
    ExpectNear4(GetMaterial(GL_DIFFUSE), {0.75f, 0.75f, 0.75f, 1});
    ExpectNear4(GetMaterial(GL_SPECULAR), {0.5f, 0.5f, 0.5f, 1});
    ExpectNear4(GetMaterial(GL_EMISSION), {0, 0, 0, 1});
    EXPECT_EQ(GetMaterial(GL_SHININESS)[0], 25.0f);

    // With both lights on, the material ends with the second light's colours.
    SetLight(shared.get(), 1, true, 1, {1, 2, 3}, 0.125f, 0.375f, 0.0625f);
    ASSERT_EQ(device.LightingInit(e3D_ALL_LIGHTS), eOK);
    ExpectNear4(GetMaterial(GL_DIFFUSE), {0.125f, 0.125f, 0.125f, 1});
    ExpectNear4(GetMaterial(GL_AMBIENT), {0.0625f, 0.0625f, 0.0625f, 1});
    ExpectNear4(GetLight(GL_LIGHT1, GL_POSITION), {1, 2, 3, 1});
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DeviceTest, LightingInitTouchesExactlyTheCountedLights) {
    struct Case {
        uint32_t count;
        bool light0, light1;
    };
    const std::vector<Case> cases = {
        {e3D_ALL_LIGHTS, true, true}, {1, true, false}, {2, true, true}, {0, false, false}, {5, true, true}};
    const GLfloat sentinel[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        for (GLenum l : {GL_LIGHT0, GL_LIGHT1, GL_LIGHT2}) {
            glDisable(l);
            glLightfv(l, GL_DIFFUSE, sentinel);
        }
        SetLight(shared.get(), 0, true, 0, {0, 0, -1}, 0.9f, 0, 0);
        SetLight(shared.get(), 1, true, 0, {0, 0, -1}, 0.8f, 0, 0);
        ASSERT_EQ(device.LightingInit(c.count), eOK);
        EXPECT_EQ(glIsEnabled(GL_LIGHT0) != 0, c.light0);
        EXPECT_EQ(glIsEnabled(GL_LIGHT1) != 0, c.light1);
        EXPECT_NEAR(GetLight(GL_LIGHT0, GL_DIFFUSE)[0], c.light0 ? 0.9f : 0.5f, 1e-6f);
        EXPECT_NEAR(GetLight(GL_LIGHT1, GL_DIFFUSE)[0], c.light1 ? 0.8f : 0.5f, 1e-6f);
        EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
        EXPECT_NEAR(GetLight(GL_LIGHT2, GL_DIFFUSE)[0], 0.5f, 1e-6f);
    }
    EXPECT_EQ(device.LightingOneInit(2), eFAILED);  // there is no third light block
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
}

TEST_F(DeviceTest, DisabledLightIsSwitchedOffAndLeavesTheMaterial) {
    const GLfloat sentinel[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, sentinel);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, sentinel);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 3.0f);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    SetLight(shared.get(), 0, false, 0, {0, 0, -5000}, 1, 1, 1);
    SetLight(shared.get(), 1, false, 1, {0, 0, -5000}, 1, 1, 1);
    ASSERT_EQ(device.LightingInit(e3D_ALL_LIGHTS), eOK);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    ExpectNear4(GetMaterial(GL_DIFFUSE), {0.5f, 0.25f, 0.125f, 1});
    ExpectNear4(GetMaterial(GL_AMBIENT), {0.5f, 0.25f, 0.125f, 1});
    EXPECT_EQ(GetMaterial(GL_SHININESS)[0], 3.0f);
    EXPECT_EQ(shared->m_Light[0].m_afDirection[0], 42.0f);  // nothing derived either
}

TEST_F(DeviceTest, FogAndPointSpriteSettingsReachOpenGLES) {
    shared->m_Fog.m_dwColor = 0x80FF4000u;
    shared->m_Fog.m_fStart = 2200.0f;
    shared->m_Fog.m_fEnd = 2800.0f;
    shared->m_Fog.m_fDensity = 0.5f;
    ASSERT_EQ(device.FogingInit(), eOK);
    ExpectNear4(GetFloats(GL_FOG_COLOR), {1.0f, 64 / 255.0f, 0.0f, 128 / 255.0f});
    EXPECT_EQ(GetFloats(GL_FOG_START)[0], 2200.0f);
    EXPECT_EQ(GetFloats(GL_FOG_END)[0], 2800.0f);
    EXPECT_EQ(GetFloats(GL_FOG_DENSITY)[0], 0.5f);
    EXPECT_FALSE(glIsEnabled(GL_FOG));  // switched by the objects that draw

    shared->m_fPointSpriteMin = 2.0f;
    shared->m_fPointSpriteMax = 10.0f;
    shared->m_fPointSpriteAtt[0] = 1.0f;
    shared->m_fPointSpriteAtt[1] = 0.25f;
    shared->m_fPointSpriteAtt[2] = 0.00001f;
    ASSERT_EQ(device.PointSpriteInit(), eOK);
    EXPECT_EQ(GetFloats(GL_POINT_SIZE_MIN)[0], 2.0f);
    EXPECT_EQ(GetFloats(GL_POINT_SIZE_MAX)[0], 10.0f);
    auto att = GetFloats(GL_POINT_DISTANCE_ATTENUATION);
    EXPECT_EQ(att[0], 1.0f);
    EXPECT_EQ(att[1], 0.25f);
    EXPECT_FLOAT_EQ(att[2], 0.00001f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DeviceTest, BeginSceneClearsToTheClearColour) {
    struct Case {
        uint32_t argb;
        std::array<uint8_t, 4> rgba;
    };
    const std::vector<Case> cases = {
        {0xFF000000u, {0, 0, 0, 255}},
        {0x80FF8040u, {255, 128, 64, 128}},
        {0x00969696u, {150, 150, 150, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argb);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        glDepthFunc(GL_ALWAYS);
        shared->m_dwClearColor = c.argb;
        ASSERT_EQ(device.BeginScene(), eOK);
        const std::pair<int, int> spots[] = {{0, 0}, {160, 240}, {319, 479}};
        for (auto [x, y] : spots) EXPECT_EQ(ReadPixel(x, y), c.rgba);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        GLint value = 0;
        glGetIntegerv(GL_DEPTH_FUNC, &value);
        EXPECT_EQ(value, GL_LESS);
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        EXPECT_EQ(mask, GL_TRUE);
        EXPECT_EQ(device.EndScene(), eOK);
    }
}

TEST_F(DeviceTest, BeginSceneLoadsCameraViewFogAndWorldSpaceLights) {
    ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);
    CMaths3D* maths = shared->m_pMaths3D;
    maths->_MATRIX3DIdentity(&shared->m_matView);
    maths->_MATRIX3DSetPositionXYZ(&shared->m_matView, 10.0f, 0.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    SetLight(shared.get(), 0, true, 1, {0, 0, -5000}, 1, 0, 0);
    SetLight(shared.get(), 1, true, 0, {0, 0, -5000}, 1, 0, 0);
    shared->m_Fog.m_fStart = 123.0f;

    ASSERT_EQ(device.BeginScene(), eOK);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    auto view = GetMatrix(GL_MODELVIEW_MATRIX);
    auto proj = GetMatrix(GL_PROJECTION_MATRIX);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(view[i], shared->m_matView.Data()[i]) << i;
        EXPECT_FLOAT_EQ(proj[i], shared->m_matProjection.Data()[i]) << i;
    }
    // Specified under the view matrix: eye-space positions are moved by it,
    // directions are not.
    ExpectNear4(GetLight(GL_LIGHT0, GL_POSITION), {10, 0, -5000, 1});
    ExpectNear4(GetLight(GL_LIGHT1, GL_POSITION), {0, 0, -1, 0});
    EXPECT_EQ(GetFloats(GL_FOG_START)[0], 123.0f);
}

TEST_F(DeviceTest, IndexBuffersByType) {
    struct Case {
        int type;
        bool made;
        bool wide;
    };
    const std::vector<Case> cases = {{1, true, false}, {2, true, true}, {3, false, false}, {0, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        C3DObjectIndex* index = device.Create3DObjectIndex(7, 9, static_cast<INDEX_TYPE>(c.type));
        if (!c.made) {
            EXPECT_EQ(index, nullptr);
            EXPECT_EQ(CountOf(device.m_plistObjectsIndex), 0u);
            continue;
        }
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(index->m_eIndexType, c.type);
        EXPECT_EQ(dynamic_cast<C3DObjectIndex32GLES*>(index) != nullptr, c.wide);
        EXPECT_EQ(dynamic_cast<C3DObjectIndex16GLES*>(index) != nullptr, !c.wide);
        EXPECT_EQ(index->m_pSharedInfos, shared.get());
        EXPECT_TRUE(Holds(device.m_plistObjectsIndex, index));
        EXPECT_EQ(device.Delete3DObjectIndex(index), eOK);
        EXPECT_EQ(CountOf(device.m_plistObjectsIndex), 0u);
    }

    Events events;
    TrackedIndex stranger(&events, "stranger");
    EXPECT_EQ(device.Delete3DObjectIndex(&stranger), eOK);  // not ours: left alone
    EXPECT_EQ(stranger.Count("unload"), 0);
    stranger.m_eIndexType = static_cast<INDEX_TYPE>(3);
    EXPECT_EQ(device.Delete3DObjectIndex(&stranger), eFAILED);
    EXPECT_EQ(device.Delete3DObjectIndex(nullptr), eFAILED);
}

TEST_F(DeviceTest, ObjectsAreDeletedOnlyWhenOursAndNoLongerShared) {
    // Flags without a class bit select no object class.
    EXPECT_EQ(device.Create3DObject(1, 0), nullptr);
    EXPECT_EQ(CountOf(device.m_plistObjects), 0u);

    Events events;
    TrackedObject stranger(&events, "stranger");
    EXPECT_EQ(device.Delete3DObject(&stranger), eFAILED);  // no class bit
    stranger.m_dwFlags = OBJ_SCREEN;
    EXPECT_EQ(device.Delete3DObject(&stranger), eFAILED);  // not registered
    EXPECT_EQ(device.Delete3DObject(nullptr), eFAILED);
    EXPECT_TRUE(events.empty());

    device.makeObjects = true;
    C3DObject* plain = device.Create3DObject(0x42, 0x1234);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->m_dwFlags, 0x42u);
    EXPECT_EQ(plain->m_dwFlags2, 0x1234u);
    EXPECT_EQ(EntryOf(device.m_plistObjects, plain), std::make_pair(false, 1u));

    C3DObject* shareable = device.Create3DObject(0x43, 0);
    ASSERT_NE(shareable, nullptr);
    EXPECT_EQ(EntryOf(device.m_plistObjects, shareable), std::make_pair(true, 1u));
    device.m_plistObjects->GetFirst();
    device.m_plistObjects->GetNext();
    device.m_plistObjects->IncRecycleCount();  // a second user
    EXPECT_EQ(device.Delete3DObject(shareable), eFAILED);
    EXPECT_TRUE(Holds(device.m_plistObjects, shareable));
    EXPECT_EQ(device.Delete3DObject(shareable), eOK);
    EXPECT_FALSE(Holds(device.m_plistObjects, shareable));
    EXPECT_EQ(device.Delete3DObject(plain), eOK);
    EXPECT_EQ(device.events, (Events{"unload object1", "delete object1", "unload object0", "delete object0"}));

    // A failed load leaves nothing behind.
    device.events.clear();
    EXPECT_EQ(device.Create3DObject(TestDevice::kFailLoad | 3, 0), nullptr);
    EXPECT_EQ(CountOf(device.m_plistObjects), 0u);
    EXPECT_EQ(device.events, (Events{"unload object2", "delete object2"}));
}

TEST_F(DeviceTest, TexturesAreRegisteredWithTheirShareFlag) {
    C3DTexture* plain = device.CreateTexture(0x10, 0x20);
    C3DTexture* shareable = device.CreateTexture(0x11, 0x20);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(shareable, nullptr);
    EXPECT_NE(dynamic_cast<C3DTextureGLES*>(plain), nullptr);
    EXPECT_EQ(plain->m_dwFlags, 0x10u);
    EXPECT_EQ(plain->m_dwFlags2, 0x20u);
    EXPECT_EQ(plain->m_pSharedInfos, shared.get());
    EXPECT_EQ(EntryOf(device.m_plistTextures, plain), std::make_pair(false, 1u));
    EXPECT_EQ(EntryOf(device.m_plistTextures, shareable), std::make_pair(true, 1u));

    Events events;
    Tracked<C3DTextureGLES> stranger(&events, "stranger");
    EXPECT_EQ(device.DeleteTexture(&stranger), eOK);  // not ours: nothing happens
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(device.DeleteTexture(nullptr), eFAILED);
    EXPECT_EQ(device.DeleteTexture(plain), eOK);
    EXPECT_EQ(device.DeleteTexture(shareable), eOK);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);

    // Nothing decodable (a missing file, bytes that are no PNG): the helpers
    // hand back nothing and keep nothing.
    EXPECT_EQ(device.LoadTextureFromFile(1, 0, "Data/mask.png"), nullptr);
    char bytes[4] = {};
    EXPECT_EQ(device.MakeTextureFromAddress(1, 0, bytes, sizeof bytes, "mask.png"), nullptr);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);

    EXPECT_EQ(device.CreateShader(1, 0), nullptr);
    EXPECT_EQ(device.DeleteShader(nullptr), eFAILED);
    C3DStencilShadow* shadow = device.CreateStencilShadow(1, 0);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(CountOf(&device.m_listStencilShadow), 1u);
    EXPECT_EQ(device.DeleteStencilShadow(shadow), eOK);
    EXPECT_EQ(CountOf(&device.m_listStencilShadow), 0u);
    EXPECT_EQ(device.DeleteStencilShadow(nullptr), eFAILED);
    // The switch is off here, as in the compiled-in configuration.
    EXPECT_EQ(device.StencilShadowCompatible(), eFAILED);
}

TEST_F(DeviceTest, TextureHelpersShareByFlagsAndName) {
    device.namedTextures = true;
    struct Case {
        const char* what;
        uint32_t skip;
        uint32_t flagsA, flags2A;
        const char* pathA;
        uint32_t flagsB, flags2B;
        const char* pathB;
        bool shared;
    };
    const std::vector<Case> cases = {
        {"same file, shareable", 0xFFFFFFFFu, 1, 0, "Data/ball.png", 1, 0, "Data/ball.png", true},
        {"same file, not shareable", 0xFFFFFFFFu, 0, 0, "Data/ball.png", 0, 0, "Data/ball.png", false},
        {"other directory", 0xFFFFFFFFu, 1, 0, "Data/gfx/mask.png", 1, 0, "Data\\mask.png", true},
        {"other file", 0xFFFFFFFFu, 1, 0, "Data/a.png", 1, 0, "Data/b.png", false},
        {"other flags2", 0xFFFFFFFFu, 1, 0, "Data/a.png", 1, 4, "Data/a.png", false},
        {"other flags", 0xFFFFFFFFu, 1, 0, "Data/a.png", 3, 0, "Data/a.png", false},
        {"prefix skipped", 5, 1, 0, "Data/x/a.png", 1, 0, "Misc/x/a.png", true},
        {"prefix keeps directories", 5, 1, 0, "Data/x/a.png", 1, 0, "Data/y/a.png", false},
        {"prefix longer than the path", 300, 1, 0, "a.png", 1, 0, "b.png", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shared->m_dwTextureNameSkip = c.skip;
        C3DTexture* a = device.LoadTextureFromFile(c.flagsA, c.flags2A, c.pathA);
        C3DTexture* b = device.LoadTextureFromFile(c.flagsB, c.flags2B, c.pathB);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a == b, c.shared);
        EXPECT_EQ(static_cast<NamedTexture*>(b)->decodes, 1);
        EXPECT_EQ(CountOf(device.m_plistTextures), c.shared ? 1u : 2u);
        // One DeleteTexture per time obtained; the texture goes with the last.
        EXPECT_EQ(device.DeleteTexture(a), eOK);
        EXPECT_EQ(Holds(device.m_plistTextures, a), c.shared);
        EXPECT_EQ(device.DeleteTexture(b), eOK);
        EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
    }
    EXPECT_EQ(std::count_if(device.events.begin(), device.events.end(),
                            [](const std::string& e) { return e.rfind("delete", 0) == 0; }),
              device.made);
}

TEST_F(DeviceTest, TextureHelpersFromMemoryAndPackShareTheSameWay) {
    device.namedTextures = true;
    char bytes[8] = {};
    _RES_PACKER packer{};
    std::snprintf(packer.m_szName, sizeof packer.m_szName, "%s", "Images/answer.png");

    C3DTexture* fromPack = device.LoadTextureFromPacker(1, 2, &packer);
    ASSERT_NE(fromPack, nullptr);
    EXPECT_STREQ(fromPack->m_szName, "answer.png");
    EXPECT_EQ(device.LoadTextureFromPacker(1, 2, &packer), fromPack);
    EXPECT_EQ(device.MakeTextureFromAddress(1, 2, bytes, sizeof bytes, "answer.png"), fromPack);
    EXPECT_EQ(device.LoadTextureFromFile(1, 2, "Data/answer.png"), fromPack);
    EXPECT_EQ(EntryOf(device.m_plistTextures, fromPack), std::make_pair(true, 4u));

    C3DTexture* fromMemory = device.MakeTextureFromAddress(1, 2, bytes, sizeof bytes, "mask.png");
    ASSERT_NE(fromMemory, nullptr);
    EXPECT_NE(fromMemory, fromPack);
    EXPECT_EQ(device.MakeTextureFromAddress(1, 2, bytes, sizeof bytes, "mask.png"), fromMemory);

    // A pack entry name that fills its whole field is still read safely.
    std::memset(packer.m_szName, 'n', sizeof packer.m_szName);
    C3DTexture* longName = device.LoadTextureFromPacker(1, 2, &packer);
    ASSERT_NE(longName, nullptr);
    EXPECT_EQ(device.LoadTextureFromPacker(1, 2, &packer), longName);

    EXPECT_EQ(device.LoadTextureFromPacker(1, 2, nullptr), nullptr);
    EXPECT_EQ(device.LoadTextureFromFile(1, 2, nullptr), nullptr);
}

TEST_F(DeviceTest, FailedDecodeLeavesNoTexture) {
    device.namedTextures = true;
    EXPECT_EQ(device.LoadTextureFromFile(1, 0, "Data/broken.png"), nullptr);
    EXPECT_EQ(CountOf(device.m_plistTextures), 0u);
    EXPECT_EQ(device.events, (Events{"unload texture0", "unload texture0", "delete texture0"}));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// An object that gives back a texture and a child object when it unloads, as
// composite objects do.
class Parent : public TrackedObject {
public:
    Parent(Events* events, C3DEngine* device, C3DTexture* texture, C3DObject* child)
        : TrackedObject(events, "parent"), device_(device), texture_(texture), child_(child) {}
    eRESULT Unload() override {
        device_->DeleteTexture(texture_);
        device_->Delete3DObject(child_);
        return TrackedObject::Unload();
    }

private:
    C3DEngine* device_;
    C3DTexture* texture_;
    C3DObject* child_;
};

TEST_F(DeviceTest, UnloadSweepsEveryRegistryQuietly) {
    const std::string log = ::testing::TempDir() + "orbelline_device_" + std::to_string(::getpid()) + ".log";
    { std::ofstream(log) << ""; }
    std::snprintf(shared->m_szLogPath, sizeof shared->m_szLogPath, "%s", log.c_str());

    device.namedTextures = true;
    Events& events = device.events;
    C3DTexture* texture = device.LoadTextureFromFile(1, 0, "Data/ball.png");
    ASSERT_NE(device.LoadTextureFromFile(1, 0, "Data/ball.png"), nullptr);  // held twice
    ASSERT_NE(device.LoadTextureFromFile(0, 0, "Data/other.png"), nullptr);
    ASSERT_NE(device.Create3DObjectIndex(0, 0, INDEX_16), nullptr);
    device.m_plistObjectsIndex->AddLast(new TrackedIndex(&events, "index"));

    auto* child = new TrackedObject(&events, "child");
    child->m_dwFlags = OBJ_NORMAL;  // Delete3DObject only takes objects of a class
    auto* parent = new Parent(&events, &device, texture, child);
    device.m_plistObjects->AddLast(parent, true);
    device.m_plistObjects->IncRecycleCount();
    device.m_plistObjects->IncRecycleCount();  // three users: forced anyway
    device.m_plistObjects->AddLast(child, false);
    device.m_plistShaders->AddLast(new TrackedShader(&events, "shader"), false);
    device.m_listStencilShadow.AddLast(new TrackedShadow(&events, "shadow"), false);
    events.clear();

    testing::internal::CaptureStderr();
    EXPECT_EQ(device.Unload(), eOK);
    const std::string err = testing::internal::GetCapturedStderr();

    for (CFIFOList* list : {static_cast<CFIFOList*>(device.m_plistObjects), device.m_plistObjectsIndex,
                            static_cast<CFIFOList*>(device.m_plistTextures),
                            static_cast<CFIFOList*>(device.m_plistShaders),
                            static_cast<CFIFOList*>(&device.m_listStencilShadow)})
        EXPECT_EQ(list->m_pHead, nullptr);
    // Registry order; the parent's own releases happen inside its Unload.
    const Events expected = {"unload child",    "delete child",   "unload parent",   "delete parent",
                             "unload index",    "delete index",   "unload texture0", "delete texture0",
                             "unload texture1", "delete texture1", "unload shader",  "delete shader",
                             "unload shadow",   "delete shadow"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(err.find("detected memory leaks"), std::string::npos);
    EXPECT_EQ(ReadFile(log), "");
    std::remove(log.c_str());

    EXPECT_EQ(device.Unload(), eOK);  // nothing left: a second sweep is harmless
}

TEST(DeviceUnloaded, RefusesFrameWorkWithoutARecord) {
    C3DEngineGLES device;
    EXPECT_EQ(device.BeginScene(), eFAILED);
    EXPECT_EQ(device.LightingOneInit(0), eFAILED);
    EXPECT_EQ(device.FogingInit(), eFAILED);
    EXPECT_EQ(device.PointSpriteInit(), eFAILED);
    device.ClearScreen();
    EXPECT_EQ(device.Unload(), eOK);
}

}  // namespace
