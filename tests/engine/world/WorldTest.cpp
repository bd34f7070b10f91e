// The world's start-up, per-frame and shut-down protocol on a real OpenGL ES
// device, and the platform-selection step in front of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <unistd.h>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "engine/3d/3DEngine.h"
#include "engine/3d/Camera.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/Interfaces.h"
#include "engine/world/PlatformSelect.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/World.h"

namespace {

// Stand-in audio interfaces that record which implementation was installed.
class FakeAudio : public CAudioEngine {
public:
    explicit FakeAudio(int which) : which(which) {}
    eRESULT Load(SHARED_INFOS*, void*) override { return eOK; }
    eRESULT Unload() override { return eOK; }
    int which;
};
eRESULT AudioInfosOS(ENUM_DEVICE* d) {
    std::snprintf(d->szName, sizeof(d->szName), "Default OS Audio");
    d->dwFlags = 0x02010000;
    return eOK;
}
eRESULT AudioInfosAL(ENUM_DEVICE* d) {
    std::snprintf(d->szName, sizeof(d->szName), "OpenAL 1.0");
    d->dwFlags = 0x02040000;
    return eOK;
}
void* InstallAudioOS() { return static_cast<CAudioEngine*>(new FakeAudio(1)); }
void* InstallAudioAL() { return static_cast<CAudioEngine*>(new FakeAudio(2)); }
void UninstallAudio(void* p) { delete static_cast<CAudioEngine*>(p); }

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        context_ = platform::GLContext::Create(1);
        ASSERT_TRUE(context_);
        ASSERT_TRUE(platform::GLContext::SetCurrentContext(context_.get()));
        param_ = std::make_unique<CUtilsParametersStatic>(g_szEngineIni, g_dwEngineIniSize);
        paramEx_ = std::make_unique<CUtilsParametersStatic>(g_szAppliIni, g_dwAppliIniSize);
        world_ = std::make_unique<CWorld>();
        InstallGles(world_.get());
    }
    void TearDown() override {
        if (world_) world_->Unload();
        world_.reset();
        platform::GLContext::SetCurrentContext(nullptr);
    }
    static void InstallGles(CWorld* w) {
        w->m_Api.eKavros3DApi.eKavros3DApi_GLES = {GetInfos_3D_GLES, InstallApi_3D_GLES, UninstallApi_3D_GLES};
    }
    eRESULT Load(uint32_t flags, ORIENTATION o = ORIENTATION_LANDSCAPE_RIGHT) {
        char text[1] = "";
        return world_->Load(nullptr, 320, 480, 32, true, o, false, flags, text);
    }
    std::unique_ptr<platform::GLContext> context_;
    std::unique_ptr<CUtilsParametersStatic> param_, paramEx_;
    std::unique_ptr<CWorld> world_;
};

TEST_F(WorldTest, ConstructionFillsTheSharedRecord) {
    const SHARED_INFOS* s = world_->m_pSharedInfos;
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->m_fScaleX, 1.0f);
    EXPECT_EQ(s->m_fScaleY, 1.0f);
    EXPECT_EQ(s->m_fScaleZ, 1.0f);
    EXPECT_EQ(s->m_dwVersion, 0x00030000u);
    EXPECT_EQ(s->m_pWorld, world_.get());
    EXPECT_GT(std::strlen(s->m_szBuild), 10u);
}

TEST_F(WorldTest, EnumDevicesFillsOnlyPresentSetsOfRequestedClasses) {
    ENUM_DEVICE devices[10];
    std::memset(devices, 0xAB, sizeof(devices));
    EXPECT_EQ(world_->EnumDevices(devices, 10, 0x0F000000, nullptr), 1u);
    EXPECT_STREQ(devices[0].szName, "OpenGLES 1.1");
    EXPECT_EQ(devices[0].dwFlags, 0x1000020u);
    EXPECT_EQ(devices[0].dwVersion, 0x10000u);
    EXPECT_EQ(devices[1].dwFlags, 0u);  // the rest is zeroed

    world_->m_Api.eKavrosAudioApi.eKavrosAudioApi_OS = {AudioInfosOS, InstallAudioOS, UninstallAudio};
    world_->m_Api.eKavrosAudioApi.eKavrosAudioApi_AL = {AudioInfosAL, InstallAudioAL, UninstallAudio};
    EXPECT_EQ(world_->EnumDevices(devices, 10, 0x0F000000, nullptr), 3u);
    EXPECT_STREQ(devices[1].szName, "Default OS Audio");
    EXPECT_STREQ(devices[2].szName, "OpenAL 1.0");
    EXPECT_EQ(world_->EnumDevices(devices, 10, 0x02000000, nullptr), 2u);
    EXPECT_EQ(world_->EnumDevices(devices, 2, 0x0F000000, nullptr), 2u);  // never past the array
}

TEST_F(WorldTest, LoadNeedsTheOpenGlesBitPair) {
    world_->SetParameters(param_.get(), paramEx_.get(), nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Load(0x01000010), eFAILED);  // "OpenGL 1.2": no such renderer here
    EXPECT_EQ(world_->m_p3DEngine, nullptr);
    EXPECT_EQ(Load(0x00000020), eFAILED);  // the implementation bit without its class
    EXPECT_EQ(world_->RenderOneStep(), eFAILED);  // nothing to render with
}

TEST_F(WorldTest, BothAudioBitsInstallTheOpenAlSet) {
    world_->m_Api.eKavrosAudioApi.eKavrosAudioApi_OS = {AudioInfosOS, InstallAudioOS, UninstallAudio};
    world_->m_Api.eKavrosAudioApi.eKavrosAudioApi_AL = {AudioInfosAL, InstallAudioAL, UninstallAudio};
    world_->SetParameters(param_.get(), paramEx_.get(), nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(Load(0x01000020 | 0x02010000 | 0x02040000), eOK);
    ASSERT_NE(world_->m_pAudioEngine, nullptr);
    EXPECT_EQ(static_cast<FakeAudio*>(world_->m_pAudioEngine)->which, 2);
    EXPECT_STREQ(world_->m_pSharedInfos->m_DeviceAudio.szName, "OpenAL 1.0");
    EXPECT_EQ(world_->Unload(), eOK);
    EXPECT_EQ(world_->m_pAudioEngine, nullptr);
    EXPECT_EQ(world_->m_p3DEngine, nullptr);
}

TEST_F(WorldTest, LoadReadsTheCompiledInEngineText) {
    world_->SetParameters(param_.get(), paramEx_.get(), nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(Load(0x01000020), eOK);
    const SHARED_INFOS* s = world_->m_pSharedInfos;
    EXPECT_EQ(s->m_wWidth, 320);
    EXPECT_EQ(s->m_wHeight, 480);
    // The camera's landscape swap works on the second pair only.
    EXPECT_EQ(s->m_wWidthInit, 480);
    EXPECT_EQ(s->m_wHeightInit, 320);
    EXPECT_EQ(s->m_dwTextureNameSkip, 0xFFFFFFFFu);
    EXPECT_EQ(s->m_dwClearColor, 0xFF000000u);
    EXPECT_EQ(s->m_dwAmbientColor, 0x00000000u);
    EXPECT_EQ(s->m_Fog.m_dwColor, 0xFFD0DBE8u);
    EXPECT_FLOAT_EQ(s->m_Fog.m_fStart, 2200.0f);
    EXPECT_FLOAT_EQ(s->m_Fog.m_fEnd, 2800.0f);
    EXPECT_EQ(s->m_dwWireframeColor, 0x00009600u);
    EXPECT_EQ(s->m_dwTextColor, 0x0000FFFFu);
    EXPECT_TRUE(s->m_Light[0].m_bEnable);
    EXPECT_FALSE(s->m_Light[1].m_bEnable);
    EXPECT_EQ(s->m_Light[0].m_dwType, 0u);
    EXPECT_FLOAT_EQ(s->m_Light[0].m_fDiffuse, 3.0f);
    EXPECT_FLOAT_EQ(s->m_fPointSpriteMax, 10.0f);
    EXPECT_FALSE(s->m_bStencilShadow);
    EXPECT_TRUE(s->m_bText);
    EXPECT_TRUE(s->m_bDepthBuffer);
    // The fog's last three fields differ between the block and its copy.
    EXPECT_EQ(s->m_Fog.m_bExtra0, 1);
    EXPECT_EQ(s->m_Fog.m_dwExtra1, 0u);
    EXPECT_EQ(s->m_Fog.m_bExtra2, 1);
    EXPECT_EQ(s->m_FogCopy.m_bExtra0, 0);
    EXPECT_EQ(s->m_FogCopy.m_bExtra2, 0);
    EXPECT_FLOAT_EQ(s->m_FogCopy.m_fStart, 2200.0f);
    // A directional light's direction is written by the device, not the copy.
    EXPECT_FLOAT_EQ(s->m_Light[0].m_afDirection[2], -1.0f);
    EXPECT_FLOAT_EQ(s->m_LightCopy[0].m_afDirection[2], 0.0f);
    EXPECT_NE(s->m_pMaths3D, nullptr);
    EXPECT_NE(s->m_pTimerFactor, nullptr);
    EXPECT_EQ(s->m_wRandomIndex, 624);
}

TEST_F(WorldTest, MissingKeysTakeTheCodeDefaults) {
    static const char text[] = "[FOG]\r\nFOG_START = 2200.0\r\n";
    CUtilsParametersStatic sparse(text, sizeof(text));
    world_->SetParameters(&sparse, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(Load(0x01000020), eOK);
    const SHARED_INFOS* s = world_->m_pSharedInfos;
    EXPECT_FLOAT_EQ(s->m_Fog.m_fStart, 2200.0f);
    EXPECT_FLOAT_EQ(s->m_Fog.m_fEnd, 2000.0f);
    EXPECT_EQ(s->m_Fog.m_dwColor, 0xFFD4DDEEu);
    EXPECT_EQ(s->m_dwClearColor, 0x00969696u);
    EXPECT_EQ(s->m_Light[0].m_dwType, 1u);
    EXPECT_FLOAT_EQ(s->m_Light[0].m_afPosition[0], -5000.0f);
    EXPECT_FLOAT_EQ(s->m_Light[1].m_afPosition[1], 8000.0f);
    EXPECT_FLOAT_EQ(s->m_Light[0].m_fMaterialSpecular, 12.0f);
    EXPECT_FLOAT_EQ(s->m_fPointSpriteAtt[2], 0.00001f);
    EXPECT_TRUE(s->m_bStencilShadow);
    EXPECT_FALSE(s->m_bText);
}

TEST_F(WorldTest, TouchesMapByTheCameraOrientationAndFrameFlagsClear) {
    world_->SetParameters(param_.get(), paramEx_.get(), nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(Load(0x01000020), eOK);
    SHARED_INFOS* s = world_->m_pSharedInfos;
    struct Case { ORIENTATION o; float x, y; };
    // Touch at portrait point (100, 50) on a 320 x 480 screen. Touches come
    // in points, so the pixel scale changes nothing.
    const Case cases[] = {
        {ORIENTATION_PORTRAIT, 100, 50},
        {ORIENTATION_PORTRAIT_UPSIDE_DOWN, 220, 430},
        {ORIENTATION_LANDSCAPE_LEFT, 50, 220},
        {ORIENTATION_LANDSCAPE_RIGHT, 430, 100},
        {ORIENTATION_FACE_UP, 100, 50},
    };
    for (float scale : {1.0f, 2.0f, 3.0f}) {
        s->m_fScaleX = s->m_fScaleY = scale;
        for (const Case& c : cases) {
            world_->m_p3DEngine->m_pCamera->InitDynOrientation(c.o);
            TOUCH_MESSAGE msg{};
            msg.type = eTOUCH_BEGAN;
            msg.x = 100.7f;  // whole logical units
            msg.y = 50.2f;
            EXPECT_EQ(world_->IncomingOSMessage(&msg), eFAILED);  // the result means nothing
            EXPECT_EQ(s->m_fMouseX, c.x) << c.o << " at scale " << scale;
            EXPECT_EQ(s->m_fMouseY, c.y) << c.o << " at scale " << scale;
        }
    }
    s->m_fScaleX = s->m_fScaleY = 1.0f;
    EXPECT_EQ(s->m_abMouseDown[0], 1);
    EXPECT_EQ(s->m_abMousePressed[0], 1);
    ASSERT_EQ(world_->RenderOneStep(), eOK);
    EXPECT_EQ(s->m_abMousePressed[0], 0);
    EXPECT_EQ(s->m_abMouseDown[0], 1);  // held buttons persist

    TOUCH_MESSAGE up{};
    up.type = eTOUCH_ENDED;
    world_->IncomingOSMessage(&up);
    EXPECT_EQ(s->m_abMouseDown[0], 0);
    EXPECT_EQ(s->m_abMouseReleased[0], 1);
    s->m_abKeyDown[7] = 1;
    s->m_abKeyPressed[7] = 1;
    EXPECT_EQ(world_->EndSceneOneStep(), eOK);
    EXPECT_EQ(s->m_abMouseReleased[0], 0);
    EXPECT_EQ(s->m_abKeyPressed[7], 0);
    EXPECT_EQ(s->m_abKeyDown[7], 1);
}

TEST_F(WorldTest, FramesClearToTheConfiguredColour) {
    world_->SetParameters(param_.get(), paramEx_.get(), nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(Load(0x01000020), eOK);
    world_->m_pSharedInfos->m_dwClearColor = 0xFF3366CCu;

    // A small framebuffer of our own to read back.
    GLuint fb = 0, rb = 0;
    platform::oes::glGenFramebuffersOES(1, &fb);
    platform::oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb);
    platform::oes::glGenRenderbuffersOES(1, &rb);
    platform::oes::glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb);
    platform::oes::glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, 32, 32);
    platform::oes::glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                                rb);
    ASSERT_EQ(world_->RenderOneStep(), eOK);
    unsigned char px[4] = {};
    glReadPixels(5, 5, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 0x33);
    EXPECT_EQ(px[1], 0x66);
    EXPECT_EQ(px[2], 0xCC);
    EXPECT_EQ(px[3], 0xFF);
    platform::oes::glDeleteRenderbuffersOES(1, &rb);
    platform::oes::glDeleteFramebuffersOES(1, &fb);
}

TEST_F(WorldTest, PackIsOpenedBySetParametersAndClosedByUnload) {
    std::string log = ::testing::TempDir() + "world_pack_" + std::to_string(getpid()) + ".log";
    std::string pack = ::testing::TempDir() + "world_pack_" + std::to_string(getpid()) + ".pak";
    std::remove(log.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(world_->SetParameters(param_.get(), paramEx_.get(), nullptr, "/nonexistent/x.pak", eGetResPacker,
                                    log.c_str()),
              eFAILED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // traced at enable 0
    EXPECT_EQ(std::fopen(log.c_str(), "r"), nullptr);
    EXPECT_STREQ(world_->m_pSharedInfos->m_szLogPath, log.c_str());

    { FILE* f = std::fopen(pack.c_str(), "wb"); ASSERT_TRUE(f); std::fclose(f); }
    ASSERT_EQ(world_->SetParameters(param_.get(), paramEx_.get(), nullptr, pack.c_str(), eGetResPacker,
                                    log.c_str()),
              eOK);
    EXPECT_NE(world_->m_pSharedInfos->m_ResPacker.m_pFile, nullptr);
    ASSERT_EQ(Load(0x01000020), eOK);
    EXPECT_EQ(world_->Unload(), eOK);
    EXPECT_EQ(world_->m_pSharedInfos->m_ResPacker.m_pFile, nullptr);
    EXPECT_EQ(world_->m_Api.eKavros3DApi.eKavros3DApi_GLES.GetInfos, nullptr);
    std::remove(pack.c_str());
}

TEST(PlatformSelect, ReadSelectParamsFindsTableRows) {
    struct Case { uint16_t w, h; uint8_t depth; uint16_t rez, depthRow; };
    const Case cases[] = {
        {320, 480, 32, 3, 1}, {480, 320, 16, 5, 0}, {1600, 1200, 32, 13, 1},
        {640, 960, 24, 99, 99},  // no row: both choices stay as they were
    };
    for (const Case& c : cases) {
        PLATFORM_SELECT sel{};
        sel.wWidth = c.w;
        sel.wHeight = c.h;
        sel.bColorDepth = c.depth;
        sel.wRezolution = 99;
        sel.wColorDepth = 99;
        EXPECT_EQ(ReadSelectParams(&sel, nullptr), eOK);
        EXPECT_EQ(sel.wRezolution, c.rez) << c.w << "x" << c.h;
        EXPECT_EQ(sel.wColorDepth, c.depthRow) << int(c.depth);
    }
    EXPECT_STREQ(REZOLUTION_TAB[3].szName, "320 x 480");
}

TEST(PlatformSelect, ValidPlatformMapsRowsToDeviceIndices) {
    ENUM_DEVICE devices[3]{};
    std::snprintf(devices[0].szName, sizeof(devices[0].szName), "Default OS Audio");
    std::snprintf(devices[1].szName, sizeof(devices[1].szName), "OpenGLES 1.1");
    std::snprintf(devices[2].szName, sizeof(devices[2].szName), "Default OS Input");
    struct Case { uint16_t renderer, audio, input, network; eRESULT result; uint16_t r, a, i, n; };
    const Case cases[] = {
        {5, 0, 0, 0, eOK, 1, 0, 0, 0},        // disabled rows stay as they are
        {5, 1, 1, 0, eOK, 1, 0, 2, 0},        // enabled rows become device indices
        {4, 0, 0, 0, eFAILED, 4, 0, 0, 0},    // "OpenGL 1.2" is not there
        {5, 3, 0, 0, eFAILED, 1, 3, 0, 0},    // nor "OpenAL 1.0"
        {5, 0, 0, 1, eFAILED, 1, 0, 0, 1},    // nor a network
        {200, 0, 0, 0, eFAILED, 200, 0, 0, 0},  // a row past the table
    };
    for (const Case& c : cases) {
        PLATFORM_SELECT sel{};
        sel.wRenderer = c.renderer;
        sel.wAudio = c.audio;
        sel.wInput = c.input;
        sel.wNetwork = c.network;
        EXPECT_EQ(ValidPlatform(&sel, devices, 3), c.result) << c.renderer << "/" << c.audio;
        EXPECT_EQ(sel.wRenderer, c.r);
        EXPECT_EQ(sel.wAudio, c.a);
        EXPECT_EQ(sel.wInput, c.i);
        EXPECT_EQ(sel.wNetwork, c.n);
    }
}

}  // namespace
