// The screenshot renderer: the four-orientation quad and its texture
// coordinates, the fade, the quad chosen per orientation, and the frozen
// frame blended over a new one on a real context.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DRenderer.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Screenshot.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "tests/engine/3d/TextTestSupport.h"

namespace {

using texttest::Bytes;

constexpr uint32_t kGlesDevice = 0x01000020u;

class ScreenshotTest : public texttest::DeviceTest {
protected:
    void SetUp() override {
        texttest::DeviceTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_Device3D.dwFlags = kGlesDevice;
        shared->m_pParamEx = &appli;
        std::snprintf(shared->m_szLogPath, sizeof shared->m_szLogPath, "%s", dir.Path("trace.log").c_str());
        UsePack({{"blank.png", texttest::RgbPng(2, {Bytes(6, 255), Bytes(6, 255)})}});
    }
    void TearDown() override {
        shot.Unload();
        if (shared->m_ResPacker.m_pFile) std::fclose(shared->m_ResPacker.m_pFile);
        shared->m_ResPacker.m_pFile = nullptr;
        texttest::DeviceTest::TearDown();
    }

    void UsePack(const std::vector<std::pair<std::string, Bytes>>& entries) {
        if (shared->m_ResPacker.m_pFile) std::fclose(shared->m_ResPacker.m_pFile);
        const std::string path = dir.Path("pack" + std::to_string(packs_++) + ".pak");
        ASSERT_TRUE(texttest::WritePack(path, entries));
        shared->m_ResPacker.m_pFile = std::fopen(path.c_str(), "rb");
        ASSERT_NE(shared->m_ResPacker.m_pFile, nullptr);
    }

    texttest::TempDir dir;
    CUtilsParametersStatic appli{g_szAppliIni, g_dwAppliIniSize};
    CScreenshot shot{shared.get()};
    int packs_ = 0;
};

TEST(ScreenshotBase, RendererBaseDoesNothing) {
    gltest::SharedInfosHolder shared;
    C3DRenderer base(shared.get());
    EXPECT_EQ(base.m_pSharedInfos, shared.get());
    EXPECT_EQ(base.Load(), eOK);
    base.FrameMove();
    base.Render();
    EXPECT_EQ(base.Unload(), eOK);

    CScreenshot shot(shared.get());
    EXPECT_EQ(shot.m_pSharedInfos, shared.get());
    EXPECT_EQ(shot.m_fFade, 0.0f);
    EXPECT_EQ(shot.m_fFadeSpeed, 0.0f);
    EXPECT_EQ(shot.m_pObject, nullptr);
    EXPECT_EQ(shot.m_pTexture, nullptr);
    // No texture to grab into: failure, but the fade is set all the same.
    EXPECT_EQ(shot.TakeScreenShot(false, true, false, 0), eFAILED);
    EXPECT_EQ(shot.m_fFade, 1.0f);
}

TEST_F(ScreenshotTest, FourQuadsWithTheGrabbedAreaOfThePowerOfTwoTexture) {
    struct Config {
        const char* what;
        ORIENTATION orientation;
        uint16_t width, height;
        float scale;
        uint32_t deviceFlags;
        float uMax, vMin;
        bool landscapeTable;
    };
    const Config configs[] = {
        {"portrait 320x480", ORIENTATION_PORTRAIT, 320, 480, 1.0f, kGlesDevice, 0.625f, 0.0625f, false},
        {"orientation 3, 480x320 at scale 2", ORIENTATION_LANDSCAPE_LEFT, 480, 320, 2.0f, kGlesDevice, 0.625f,
         0.0625f, true},
        {"orientation 4, 480x320", ORIENTATION_LANDSCAPE_RIGHT, 480, 320, 1.0f, kGlesDevice, 320.0f / 512,
         1 - 480.0f / 512, true},
        {"face up, 320x480 at scale 2", ORIENTATION_FACE_UP, 320, 480, 2.0f, kGlesDevice, 0.625f, 0.0625f, false},
        {"another device", ORIENTATION_PORTRAIT, 320, 480, 1.0f, 0x01000010u, 1.0f, 0.0f, false},
    };
    // uv per corner (-a,-b) (+a,-b) (-a,+b) (+a,+b), before the correction.
    const float landscape[4][8] = {
        {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}, {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}};
    const float other[4][8] = {
        {0, 0, 1, 0, 0, 1, 1, 1}, {1, 1, 0, 1, 1, 0, 0, 0}, {0, 1, 0, 0, 1, 1, 1, 0}, {1, 0, 1, 1, 0, 0, 0, 1}};
    for (const Config& c : configs) {
        SCOPED_TRACE(c.what);
        shared->m_Orientation = c.orientation;
        shared->m_wWidthInit = c.width;
        shared->m_wHeightInit = c.height;
        shared->m_fScaleX = shared->m_fScaleY = c.scale;
        shared->m_Device3D.dwFlags = c.deviceFlags;
        ASSERT_EQ(shot.Load(), eOK);
        EXPECT_FLOAT_EQ(shot.m_fFadeSpeed, 0.025f);
        ASSERT_NE(shot.m_pObject, nullptr);
        ASSERT_NE(shot.m_pTexture, nullptr);
        C3DObject* mesh = shot.m_pObject;
        EXPECT_EQ(mesh->m_dwFlags, 0x5010u);
        EXPECT_EQ(mesh->m_dwFlags2, 0x20C29u);
        EXPECT_EQ(mesh->m_dwSubObjectCount, 4u);
        EXPECT_EQ(shot.m_pTexture->m_dwFlags, 0u);
        EXPECT_EQ(shot.m_pTexture->m_dwFlags2, 0x52u);
        EXPECT_STREQ(shot.m_pTexture->m_szName, "blank.png");
        const VECTOR3D centre = shared->m_pMaths3D->_MATRIX3DGetPosition(&mesh->m_matMatrix);
        EXPECT_EQ(centre.x, static_cast<float>(c.width / 2));
        EXPECT_EQ(centre.y, static_cast<float>(c.height / 2));
        EXPECT_EQ(centre.z, 0.0f);
        EXPECT_EQ(mesh->m_matMatrix.m0, 1.0f);

        const float hw = static_cast<float>(c.width / 2), hh = static_cast<float>(c.height / 2);
        const auto& table = c.landscapeTable ? landscape : other;
        for (uint32_t m = 0; m < 4; ++m) {
            SCOPED_TRACE(testing::Message() << "sub-object " << m);
            ATTRIBUT a{};
            ASSERT_EQ(mesh->GetSubObjParsing(m, &a), eOK);
            EXPECT_EQ(a.dwOrder, m);
            EXPECT_EQ(a.dwVertexStart, 0u);
            EXPECT_EQ(a.dwVertexCount, 4u);
            EXPECT_EQ(a.dwIndexStart, 4 * m);
            EXPECT_EQ(a.dwIndexCount, 4u);
            EXPECT_EQ(a.dwPrimitiveCount, 2u);
            EXPECT_EQ(a.dwPrimitiveType, PRIM_TRIANGLESTRIP);
            EXPECT_EQ(a.dwCullMode, CULL_CCW);
            EXPECT_EQ(mesh->GetOneTexture(m, 0), shot.m_pTexture);
            const float ax = m < 2 ? hw : hh, by = m < 2 ? hh : hw;
            const float sx[4] = {-ax, ax, -ax, ax}, sy[4] = {-by, -by, by, by};
            for (uint32_t k = 0; k < 4; ++k) {
                const uint32_t v = 4 * m + k;
                const VECTOR3D p = mesh->GetVertexPosition(v);
                EXPECT_EQ(p.x, sx[k]);
                EXPECT_EQ(p.y, sy[k]);
                EXPECT_EQ(p.z, 0.0f);
                EXPECT_EQ(mesh->GetVertexColor(v), 0xFFFFFFFFu);
                const float u = table[m][2 * k], t = table[m][2 * k + 1];
                const VECTOR2D uv = mesh->GetVertexTexture1(v);
                EXPECT_FLOAT_EQ(uv.x, u == 1 ? c.uMax : u) << "corner " << k;
                EXPECT_NEAR(uv.y, t == 0 ? c.vMin : t, 1e-6) << "corner " << k;
            }
        }
        ASSERT_EQ(mesh->BeginConstruct(), eOK);
        for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(mesh->GetIndex(i), i);
        mesh->EndConstruct(false);

        EXPECT_EQ(shot.Unload(), eOK);
        EXPECT_EQ(shot.m_pObject, nullptr);
        EXPECT_EQ(shot.m_pTexture, nullptr);
        EXPECT_EQ(Count(device.m_plistObjects), 0u);
        EXPECT_EQ(Count(device.m_plistTextures), 0u);
    }
}

TEST_F(ScreenshotTest, SettingsFallBackToTheBuiltInDefaults) {
    const char ini[] = "[TEXTURES]\r\nBLANK_TEXTURE_FILE_NAME = white.png\r\n";
    CUtilsParametersStatic store(ini, sizeof ini);
    UsePack({{"blank.png", Bytes(10, 1)}, {"white.png", texttest::RgbPng(1, {Bytes(3, 255)})}});
    shared->m_pParamEx = &store;
    ASSERT_EQ(shot.Load(), eOK);
    EXPECT_FLOAT_EQ(shot.m_fFadeSpeed, 0.075f);
    EXPECT_STREQ(shot.m_pTexture->m_szName, "white.png");
    EXPECT_STREQ(shared->m_szWorkPath, "white.png");
    // Loading again rebuilds: one quad and one texture in the device.
    ASSERT_EQ(shot.Load(), eOK);
    EXPECT_EQ(Count(device.m_plistObjects), 1u);
    EXPECT_EQ(Count(device.m_plistTextures), 1u);
}

TEST_F(ScreenshotTest, AMissingOrBrokenBlankImageFailsWithATraceLine) {
    struct Case {
        std::vector<std::pair<std::string, Bytes>> entries;
    };
    const Case cases[] = {
        {{{"other.png", texttest::RgbPng(1, {Bytes(3, 9)})}}},
        {{{"blank.png", Bytes(64, 0x42)}}},  // does not decode
    };
    for (const Case& c : cases) {
        UsePack(c.entries);
        std::remove(shared->m_szLogPath);
        testing::internal::CaptureStderr();
        EXPECT_EQ(shot.Load(), eFAILED);
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string line = "# LoadTextureFromParam::LoadTextureFromPacker failed! (\"blank.png\")\n";
        EXPECT_EQ(err, line);
        const Bytes log = texttest::ReadFile(shared->m_szLogPath);
        EXPECT_EQ(std::string(log.begin(), log.end()), line);
        // The texture made so far stays until Unload; no quad was made.
        EXPECT_NE(shot.m_pTexture, nullptr);
        EXPECT_EQ(shot.m_pObject, nullptr);
        EXPECT_EQ(Count(device.m_plistTextures), 1u);
        EXPECT_EQ(shot.Unload(), eOK);
        EXPECT_EQ(Count(device.m_plistTextures), 0u);
    }
}

TEST_F(ScreenshotTest, TheFadeFollowsTheFrameFactorDownToZero) {
    ASSERT_EQ(shot.Load(), eOK);
    shared->m_dFrameFactor = 2.0;  // 15 frames per second
    EXPECT_EQ(shot.TakeScreenShot(false, true, false, 0), eOK);
    EXPECT_EQ(shot.m_fFade, 1.0f);
    shot.FrameMove();
    EXPECT_FLOAT_EQ(shot.m_fFade, 0.95f);
    float previous = shot.m_fFade;
    int frames = 1;
    while (shot.m_fFade > 0.0f && frames < 100) {
        shot.FrameMove();
        ++frames;
        EXPECT_GE(shot.m_fFade, 0.0f);
        if (shot.m_fFade > 0.0f) {
            EXPECT_NEAR(previous - shot.m_fFade, 0.05f, 1e-5);
        }
        previous = shot.m_fFade;
    }
    EXPECT_EQ(shot.m_fFade, 0.0f);
    // 40 frame-factor units at 0.025; rounding may leave a last sliver.
    EXPECT_TRUE(frames == 20 || frames == 21) << frames;
    shot.FrameMove();
    EXPECT_EQ(shot.m_fFade, 0.0f);

    shared->m_dFrameFactor = 1.0;
    shot.m_fFade = 0.01f;
    shot.FrameMove();
    EXPECT_EQ(shot.m_fFade, 0.0f);
    // A new grab restarts the fade whatever it was.
    shot.m_fFade = 0.4f;
    EXPECT_EQ(shot.TakeScreenShot(false, true, false, 0), eOK);
    EXPECT_EQ(shot.m_fFade, 1.0f);
}

TEST_F(ScreenshotTest, EachOrientationDrawsItsQuadWithTheFadeAsAlpha) {
    ASSERT_EQ(shot.Load(), eOK);
    struct Case {
        ORIENTATION orientation;
        int sub;  // -1: nothing
    };
    const Case cases[] = {
        {ORIENTATION_PORTRAIT, 2},       {ORIENTATION_PORTRAIT_UPSIDE_DOWN, 3}, {ORIENTATION_LANDSCAPE_LEFT, 1},
        {ORIENTATION_LANDSCAPE_RIGHT, 0}, {ORIENTATION_UNKNOWN, -1},            {ORIENTATION_FACE_UP, -1},
        {ORIENTATION_FACE_DOWN, -1},
    };
    struct Fade {
        float fade;
        uint32_t alpha;
    };
    for (const Case& c : cases) {
        for (const Fade& f : {Fade{0.5f, 127}, Fade{1.0f, 255}, Fade{0.002f, 0}, Fade{0.0f, 0}}) {
            SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << ", fade " << f.fade);
            device.m_pCamera->m_eOrientation = c.orientation;
            device.draws.clear();
            shot.m_fFade = f.fade;
            shot.Render();
            if (c.sub < 0 || f.fade == 0.0f) {
                EXPECT_TRUE(device.draws.empty());
                continue;
            }
            ASSERT_EQ(device.draws.size(), 1u);
            EXPECT_TRUE(device.draws[0].one);
            EXPECT_EQ(device.draws[0].which, static_cast<uint32_t>(c.sub));
            EXPECT_EQ(device.draws[0].directColor >> 24, f.alpha);
            EXPECT_EQ(device.draws[0].directColor & 0xFFFFFFu, 0xFFFFFFu);
        }
    }
}

TEST_F(ScreenshotTest, TheFrozenFrameBlendsOverTheNewOne) {
    ASSERT_EQ(shot.Load(), eOK);
    // Top half red, bottom half green (window rows count from the bottom).
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 240, 320, 240);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 0, 320, 240);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    ASSERT_EQ(shot.TakeScreenShot(false, true, false, 0), eOK);

    // The full-screen quad of a portrait load.
    device.m_pCamera->m_eOrientation = ORIENTATION_LANDSCAPE_RIGHT;
    using Pixel = std::array<uint8_t, 4>;
    auto near = [](const Pixel& p, int r, int g, int b) {
        return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
    };
    struct Probe {
        int x, y;
        bool top;
    };
    const Probe probes[] = {{0, 479, true}, {319, 479, true}, {160, 300, true}, {160, 241, true},
                            {0, 0, false},  {319, 0, false},  {160, 100, false}, {160, 238, false}};
    struct Case {
        float fade;
        int keep;  // parts of 255 of the frozen frame
    };
    for (const Case& c : {Case{1.0f, 255}, Case{0.5f, 127}, Case{0.0f, 0}}) {
        SCOPED_TRACE(testing::Message() << "fade " << c.fade);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        shot.m_fFade = c.fade;
        shot.Render();
        const int frozen = c.keep, blue = 255 - c.keep;
        for (const Probe& p : probes) {
            const Pixel px = ReadPixel(p.x, p.y);
            EXPECT_TRUE(p.top ? near(px, frozen, 0, blue) : near(px, 0, frozen, blue))
                << p.x << "," << p.y << ": " << int(px[0]) << " " << int(px[1]) << " " << int(px[2]);
        }
    }
}

}  // namespace
