// The OpenGL ES texture on a real context: upload formats and parameters,
// binding state, screen grabs and their sizes, sharing through the device,
// and decoded images drawn on screen.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/3d/3DTexture.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "tests/engine/3d/TextureTestImages.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using teximg::Bytes;
using RGBA = std::array<uint8_t, 4>;

constexpr uint32_t kRenderAlpha = 0x8;
constexpr uint32_t kNearest = TEX_MIN_POINT | TEX_MAG_POINT;

GLint TexParameter(GLenum what) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
    return value;
}

GLint TexEnv(GLenum what) {
    GLint value = -1;
    glGetTexEnviv(GL_TEXTURE_ENV, what, &value);
    return value;
}

GLint Integer(GLenum what) {
    GLint value = -1;
    glGetIntegerv(what, &value);
    return value;
}

class TextureGlesTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
    }

    // A texture as the device makes it: flag words, then Load.
    std::unique_ptr<C3DTextureGLES> Make(uint32_t flags, uint32_t flags2) {
        auto texture = std::make_unique<C3DTextureGLES>();
        texture->m_dwFlags = flags;
        texture->m_dwFlags2 = flags2;
        EXPECT_EQ(texture->Load(shared.get()), eOK);
        return texture;
    }

    // Draws `texture` over the whole 320 x 480 screen, texture coordinates
    // (0, 0) at the lower left to (s, t) at the upper right, white vertices,
    // through the texture's own Render.
    static void DrawScreenQuad(C3DTexture* texture, float s = 1.0f, float t = 1.0f, uint32_t renderFlags = 0) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrthof(0, gltest::kWidth, 0, gltest::kHeight, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        texture->Render(renderFlags, 0);
        const GLfloat w = gltest::kWidth, h = gltest::kHeight;
        const GLfloat vertices[] = {0, 0, w, 0, 0, h, w, h};
        const GLfloat coords[] = {0, 0, s, 0, 0, t, s, t};
        glColor4f(1, 1, 1, 1);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, vertices);
        glTexCoordPointer(2, GL_FLOAT, 0, coords);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
    }

    static void Clear(float r, float g, float b, float a = 1.0f) {
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    gltest::SharedInfosHolder shared;
};

// --- Upload -------------------------------------------------------------------

TEST_F(TextureGlesTest, FiltersWrapAndMipmapsFollowTheFlagWords) {
    struct Case {
        uint32_t flags, flags2;
        GLint wrapS, wrapT, min, mag, generate;
    };
    const std::vector<Case> cases = {
        {0, 0, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
        {TEX_WRAP_U, 0, GL_REPEAT, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
        {TEX_WRAP_V | TEX_RECYCLED, 0, GL_CLAMP_TO_EDGE, GL_REPEAT, GL_LINEAR, GL_LINEAR, 0},
        {TEX_WRAP_U | TEX_WRAP_V, 0, GL_REPEAT, GL_REPEAT, GL_LINEAR, GL_LINEAR, 0},
        {0, 0x4, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, 1},
        {0, 0x404, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
        {0, 0x6, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 1},
        {0, 0x5, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_NEAREST, GL_LINEAR, 1},
        {0, 0x2, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
        {0, 0x8, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_NEAREST, 0},
        {0, 0x9, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_NEAREST, GL_NEAREST, 0},
        {0, 0x20, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 1},
        {0, 0x420, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
        {0, 0x401, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_NEAREST, GL_LINEAR, 0},
        {0, 0x7F0, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE, GL_LINEAR, GL_LINEAR, 0},
    };
    const uint8_t pixels[4 * 4 * 3] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE("flags " + std::to_string(c.flags) + " flags2 " + std::to_string(c.flags2));
        auto texture = Make(c.flags, c.flags2);
        ASSERT_EQ(texture->MakeTextureFromRaw(4, 4, 24, const_cast<uint8_t*>(pixels), "a.png"), eOK);
        ASSERT_NE(texture->m_dwTexture, 0u);
        glBindTexture(GL_TEXTURE_2D, 0);
        texture->RenderLight(0);
        EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture->m_dwTexture));
        EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_S), c.wrapS);
        EXPECT_EQ(TexParameter(GL_TEXTURE_WRAP_T), c.wrapT);
        EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), c.min);
        EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), c.mag);
        EXPECT_EQ(TexParameter(GL_GENERATE_MIPMAP), c.generate);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(TextureGlesTest, FormatsByDepthShowWhenDrawn) {
    struct Case {
        const char* what;
        uint32_t flags2;
        uint8_t bits;
        Bytes texel;
        RGBA drawn;
    };
    const std::vector<Case> cases = {
        {"8 bits, font atlas flags: alpha", 0x52, 8, {0x40}, {255, 255, 255, 0x40}},
        {"8 bits: luminance", 0, 8, {0x40}, {0x40, 0x40, 0x40, 255}},
        {"16 bits: luminance + alpha", 0x40, 16, {0x40, 0x80}, {0x40, 0x40, 0x40, 0x80}},
        {"24 bits: RGB", 0x40, 24, {10, 20, 30}, {10, 20, 30, 255}},
        {"32 bits: RGBA", 0, 32, {10, 20, 30, 40}, {10, 20, 30, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto texture = Make(0, c.flags2 | kNearest);
        Bytes pixels;
        for (int i = 0; i < 4; ++i) pixels.insert(pixels.end(), c.texel.begin(), c.texel.end());
        ASSERT_EQ(texture->MakeTextureFromRaw(2, 2, c.bits, pixels.data(), "f.png"), eOK);
        EXPECT_EQ(texture->m_bBitsPerPixel, c.bits);
        Clear(0, 0, 0, 0);
        DrawScreenQuad(texture.get());  // no RENDER_ALPHA: drawn without blending
        EXPECT_EQ(ReadPixel(160, 240), c.drawn);
    }
}

TEST_F(TextureGlesTest, RowsOfAnyWidthUploadUnskewed) {
    // 3 x 2 RGB: 9-byte rows, which a 4-byte unpack alignment would skew.
    const Bytes pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255,  // bottom row
                          255, 255, 0, 0, 255, 255, 255, 0, 255};
    auto texture = Make(0, kNearest);
    ASSERT_EQ(texture->MakeTextureFromRaw(3, 2, 24, const_cast<uint8_t*>(pixels.data()), "odd.png"), eOK);
    EXPECT_EQ(Integer(GL_UNPACK_ALIGNMENT), 4);  // left as it was
    Clear(0, 0, 0);
    DrawScreenQuad(texture.get());
    const std::pair<std::array<int, 2>, RGBA> expected[] = {
        {{50, 100}, {255, 0, 0, 255}},   {{160, 100}, {0, 255, 0, 255}},   {{270, 100}, {0, 0, 255, 255}},
        {{50, 380}, {255, 255, 0, 255}}, {{160, 380}, {0, 255, 255, 255}}, {{270, 380}, {255, 0, 255, 255}},
    };
    for (const auto& [xy, rgba] : expected) EXPECT_EQ(ReadPixel(xy[0], xy[1]), rgba) << xy[0] << "," << xy[1];
}

TEST_F(TextureGlesTest, UnsupportedDepthChangesNothing) {
    auto texture = Make(0, 0);
    uint8_t pixels[2 * 2 * 4] = {};
    ASSERT_EQ(texture->MakeTextureFromRaw(2, 2, 32, pixels, "Data/first.png"), eOK);
    const uint32_t name = texture->m_dwTexture;
    for (uint8_t bits : {12, 0, 4, 48}) {
        SCOPED_TRACE(int(bits));
        EXPECT_EQ(texture->MakeTextureFromRaw(64, 32, bits, pixels, "second.png"), eFAILED);
        EXPECT_EQ(texture->m_wWidth, 2u);
        EXPECT_EQ(texture->m_wHeight, 2u);
        EXPECT_EQ(texture->m_bBitsPerPixel, 32u);
        EXPECT_STREQ(texture->m_szName, "first.png");
        EXPECT_EQ(texture->m_dwTexture, name);
        EXPECT_TRUE(glIsTexture(name));
    }
}

TEST_F(TextureGlesTest, TheOpenGlTextureGoesWithUnloadReuploadAndDestruction) {
    uint8_t pixels[4] = {1, 2, 3, 4};
    auto texture = Make(0, 0);
    EXPECT_EQ(texture->m_dwTexture, 0u);
    EXPECT_EQ(texture->Unload(), eOK);  // nothing uploaded: harmless

    ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 32, pixels, "a.png"), eOK);
    const GLuint first = texture->m_dwTexture;
    ASSERT_TRUE(glIsTexture(first));
    // A second upload without Unload replaces the texture, not adds one.
    ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 32, pixels, "b.png"), eOK);
    const GLuint second = texture->m_dwTexture;
    EXPECT_TRUE(glIsTexture(second));
    if (second != first) {
        EXPECT_FALSE(glIsTexture(first));
    }

    EXPECT_EQ(texture->Unload(), eOK);
    EXPECT_EQ(texture->m_dwTexture, 0u);
    EXPECT_STREQ(texture->m_szName, "");
    EXPECT_FALSE(glIsTexture(second));

    ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 32, pixels, "c.png"), eOK);
    const GLuint third = texture->m_dwTexture;
    ASSERT_TRUE(glIsTexture(third));
    texture.reset();
    EXPECT_FALSE(glIsTexture(third));
}

// --- Binding state ----------------------------------------------------------

TEST_F(TextureGlesTest, RenderSetsBlendingAndTheTextureEnvironment) {
    struct Case {
        const char* what;
        bool alphaSwitch;
        uint32_t renderFlags, flags2;
        bool blend;
        GLint blendDst, envMode;
    };
    const std::vector<Case> cases = {
        {"alpha texture, alpha object, switch on", true, kRenderAlpha, TEX_ALPHA, true, GL_ONE_MINUS_SRC_ALPHA,
         GL_MODULATE},
        {"alpha texture, object without RENDER_ALPHA", true, 0, TEX_ALPHA, false, GL_ONE_MINUS_SRC_ALPHA,
         GL_MODULATE},
        {"alpha switch off", false, kRenderAlpha, TEX_ALPHA, false, GL_ONE_MINUS_SRC_ALPHA, GL_MODULATE},
        {"texture without TEX_ALPHA", true, kRenderAlpha, 0, false, GL_ONE_MINUS_SRC_ALPHA, GL_MODULATE},
        {"additive", true, kRenderAlpha, TEX_ALPHA | TEX_ADDITIVE, true, GL_ONE, GL_MODULATE},
        {"additive alone", true, 0, TEX_ADDITIVE, false, GL_ONE, GL_MODULATE},
        {"replace", true, 0, TEX_REPLACE, false, GL_ONE_MINUS_SRC_ALPHA, GL_REPLACE},
        {"replace wins over interpolate", true, 0, TEX_REPLACE | TEX_INTERPOLATE, false, GL_ONE_MINUS_SRC_ALPHA,
         GL_REPLACE},
        {"interpolate", true, 0, TEX_INTERPOLATE, false, GL_ONE_MINUS_SRC_ALPHA, GL_COMBINE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shared->m_bAlpha = c.alphaSwitch;
        auto texture = Make(0, c.flags2);
        uint8_t pixel[3] = {};
        ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 24, pixel, "t.png"), eOK);
        // Start from the opposite state.
        if (c.blend) {
            glDisable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
        } else {
            glEnable(GL_BLEND);
            glEnable(GL_ALPHA_TEST);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);

        EXPECT_EQ(texture->Render(c.renderFlags, 0), eOK);
        EXPECT_EQ(glIsEnabled(GL_BLEND), c.blend);
        EXPECT_EQ(glIsEnabled(GL_ALPHA_TEST), c.blend);
        EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
        EXPECT_EQ(Integer(GL_BLEND_DST), c.blendDst);
        EXPECT_EQ(Integer(GL_ALPHA_TEST_FUNC), GL_ALWAYS);  // never set: every fragment passes
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture->m_dwTexture));
        EXPECT_EQ(TexEnv(GL_TEXTURE_ENV_MODE), c.envMode);
        if (c.envMode == GL_COMBINE) {
            EXPECT_EQ(TexEnv(GL_COMBINE_RGB), GL_INTERPOLATE);
            EXPECT_EQ(TexEnv(GL_SRC0_RGB), GL_PREVIOUS);
            EXPECT_EQ(TexEnv(GL_SRC1_RGB), GL_TEXTURE);
            EXPECT_EQ(TexEnv(GL_SRC2_RGB), GL_PRIMARY_COLOR);
            for (GLenum operand : {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB})
                EXPECT_EQ(TexEnv(operand), GL_SRC_COLOR);
        } else if (c.envMode == GL_MODULATE) {
            EXPECT_EQ(TexEnv(GL_COMBINE_RGB), GL_MODULATE);
            EXPECT_EQ(TexEnv(GL_SRC0_RGB), GL_TEXTURE);
            EXPECT_EQ(TexEnv(GL_OPERAND0_RGB), GL_SRC_COLOR);
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(TextureGlesTest, RenderBindsOnTheUnitItIsGiven) {
    auto texture = Make(0, 0);
    uint8_t pixel[3] = {};
    ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 24, pixel, "t.png"), eOK);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(texture->Render(0, 1), eOK);
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE), GL_TEXTURE1);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture->m_dwTexture));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(Integer(GL_TEXTURE_BINDING_2D), 0);
}

TEST_F(TextureGlesTest, AdditiveAlphaTextureBlendsOntoTheFramebuffer) {
    shared->m_bAlpha = 1;
    const Bytes texels(4, 0x80);  // 2 x 2 alpha
    for (uint32_t extra : {0u, TEX_ADDITIVE}) {
        SCOPED_TRACE(extra);
        auto texture = Make(0, TEX_ALPHA | kNearest | extra);
        ASSERT_EQ(texture->MakeTextureFromRaw(2, 2, 8, const_cast<uint8_t*>(texels.data()), "a.png"), eOK);
        Clear(0, 0.5f, 0);
        DrawScreenQuad(texture.get(), 1, 1, kRenderAlpha);
        const RGBA got = ReadPixel(160, 240);
        // White at alpha 0.5 over half green: mixed (0.5 + 0.25) or added.
        EXPECT_NEAR(got[0], 128, 2);
        EXPECT_NEAR(got[1], extra ? 255 : 191, 2);
        EXPECT_NEAR(got[2], 128, 2);
    }
}

// --- Screen grabs -------------------------------------------------------------

TEST(TextureGrabSize, PowersOfTwoAndLandscapeExchange) {
    struct Case {
        uint32_t w, h;
        bool landscape;
        uint32_t cw, ch;
    };
    const std::vector<Case> cases = {
        {320, 480, false, 512, 512}, {640, 960, false, 1024, 1024}, {480, 320, true, 512, 512},
        {0, 1, false, 2, 1},         {1, 0, false, 1, 2},           {2, 3, false, 2, 4},
        {512, 513, false, 512, 1024}, {200, 480, true, 512, 256},    {64, 32, false, 64, 32},
    };
    for (const Case& c : cases) {
        uint32_t cw = 0, ch = 0;
        eTextureGrabSize(c.w, c.h, c.landscape, &cw, &ch);
        EXPECT_EQ(cw, c.cw) << c.w << "x" << c.h;
        EXPECT_EQ(ch, c.ch) << c.w << "x" << c.h;
    }
}

// The screen painted red, green from x = 100, blue from y = 200.
void PaintPattern() {
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(100, 0, gltest::kWidth - 100, 200);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 200, gltest::kWidth, gltest::kHeight - 200);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
}

TEST_F(TextureGlesTest, GrabCopiesPowerOfTwoSizesOfTheScreen) {
    struct Case {
        const char* what;
        uint16_t screenW, screenH;
        float scale;
        ORIENTATION orientation;
        bool fromScreen;
        uint16_t textureW, textureH;
        uint32_t copyW, copyH;
    };
    const std::vector<Case> cases = {
        {"portrait, scale 1", 320, 480, 1.0f, ORIENTATION_PORTRAIT, true, 4, 4, 512, 512},
        {"portrait, scale 2", 320, 480, 2.0f, ORIENTATION_PORTRAIT, true, 4, 4, 1024, 1024},
        {"landscape screen, orientation 3", 480, 320, 1.0f, ORIENTATION_LANDSCAPE_LEFT, true, 4, 4, 512, 512},
        // A screen turned by its projections keeps the surface's upright size
        // in the record: exchanging the axes would copy the wrong sides.
        {"upright screen turned to orientation 4: as it is", 200, 480, 1.0f, ORIENTATION_LANDSCAPE_RIGHT, true, 4,
         4, 256, 512},
        {"landscape-sized screen, orientation 4: axes exchanged", 480, 200, 1.0f, ORIENTATION_LANDSCAPE_RIGHT, true,
         4, 4, 256, 512},
        {"narrow screen, portrait", 200, 480, 1.0f, ORIENTATION_PORTRAIT, true, 4, 4, 256, 512},
        {"the texture's own size", 320, 480, 2.0f, ORIENTATION_PORTRAIT, false, 64, 100, 128, 256},
        {"the texture's own size in landscape: axes exchanged", 320, 480, 2.0f, ORIENTATION_LANDSCAPE_RIGHT, false,
         64, 100, 256, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shared->m_wWidth = c.screenW;
        shared->m_wHeight = c.screenH;
        shared->m_fScaleX = shared->m_fScaleY = c.scale;
        shared->m_Orientation = c.orientation;
        auto texture = Make(0, kNearest);
        Bytes pixels(static_cast<size_t>(c.textureW) * c.textureH * 3, 0x55);
        ASSERT_EQ(texture->MakeTextureFromRaw(c.textureW, c.textureH, 24, pixels.data(), "Data/grab.png"), eOK);

        PaintPattern();
        EXPECT_EQ(texture->ScreenShot(false, c.fromScreen, false, 0), eOK);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        // A grab leaves the image fields alone.
        EXPECT_EQ(texture->m_wWidth, c.textureW);
        EXPECT_EQ(texture->m_wHeight, c.textureH);
        EXPECT_EQ(texture->m_bBitsPerPixel, 24u);
        EXPECT_STREQ(texture->m_szName, "grab.png");

        // Drawn back one texel per screen pixel only if the texture is
        // copyW x copyH: any other size moves the pattern's edges.
        Clear(0, 0, 0);
        DrawScreenQuad(texture.get(), float(gltest::kWidth) / c.copyW, float(gltest::kHeight) / c.copyH);
        const RGBA red = {255, 0, 0, 255}, green = {0, 255, 0, 255}, blue = {0, 0, 255, 255};
        const struct {
            int x, y;
            RGBA rgba;
        } spots[] = {{99, 10, red}, {100, 10, green}, {10, 199, red}, {10, 200, blue}, {120, 199, green},
                     {120, 250, blue}};
        for (const auto& s : spots) {
            if (uint32_t(s.x) >= c.copyW || uint32_t(s.y) >= c.copyH) continue;  // not copied
            EXPECT_EQ(ReadPixel(s.x, s.y), s.rgba) << s.x << "," << s.y;
        }
    }
}

TEST_F(TextureGlesTest, LuminanceGrabAndUpdateGrab) {
    auto texture = Make(0, kNearest);
    uint8_t pixel[3] = {};
    ASSERT_EQ(texture->MakeTextureFromRaw(1, 1, 24, pixel, "mask.png"), eOK);
    const float s = float(gltest::kWidth) / 512, t = float(gltest::kHeight) / 512;

    // Luminance takes the red channel: red turns white, green and blue black.
    PaintPattern();
    ASSERT_EQ(texture->ScreenShot(false, true, true, 0), eOK);
    Clear(0.5f, 0.5f, 0.5f);
    DrawScreenQuad(texture.get(), s, t);
    EXPECT_EQ(ReadPixel(50, 50), (RGBA{255, 255, 255, 255}));
    EXPECT_EQ(ReadPixel(150, 50), (RGBA{0, 0, 0, 255}));
    EXPECT_EQ(ReadPixel(50, 300), (RGBA{0, 0, 0, 255}));

    // Full colour grab, then an update grab over the same storage.
    PaintPattern();
    ASSERT_EQ(texture->ScreenShot(false, true, false, 0), eOK);
    const GLuint name = texture->m_dwTexture;
    Clear(1, 1, 0);
    ASSERT_EQ(texture->ScreenShot(true, true, false, 0), eOK);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(texture->m_dwTexture, name);
    Clear(0, 0, 0);
    DrawScreenQuad(texture.get(), s, t);
    for (auto [x, y] : {std::pair{50, 50}, std::pair{150, 50}, std::pair{50, 300}, std::pair{319, 479}})
        EXPECT_EQ(ReadPixel(x, y), (RGBA{255, 255, 0, 255})) << x << "," << y;
}

TEST_F(TextureGlesTest, CopiesAndUploadsTheContextRefusesFailWithATraceLine) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    ASSERT_GT(maxSize, 0);
    ASSERT_LT(maxSize, 65535) << "a side over the limit must fit the 16-bit size";
    uint8_t pixel[3] = {};
    struct Case {
        const char* what;
        std::function<eRESULT(C3DTextureGLES*)> run;
        const char* trace;
    };
    const std::vector<Case> cases = {
        {"an update grab larger than the storage",
         [&](C3DTextureGLES* t) {
             EXPECT_EQ(t->MakeTextureFromRaw(4, 4, 24, pixel, "small.png"), eOK);
             return t->ScreenShot(true, true, false, 0);  // 512 x 512 into 4 x 4
         },
         "does not fit the texture's 4x4"},
        {"an update grab before any storage",
         [&](C3DTextureGLES* t) { return t->ScreenShot(true, true, false, 0); }, "does not fit"},
        {"a grab over the context's largest texture",
         [&](C3DTextureGLES* t) {
             shared->m_fScaleX = shared->m_fScaleY = float(maxSize) / 100.0f;  // 320 x scale > max
             return t->ScreenShot(false, true, false, 0);
         },
         "is larger than the context allows"},
        {"an upload over the context's largest texture",
         [&](C3DTextureGLES* t) {
             return t->MakeTextureFromRaw(static_cast<uint16_t>(maxSize + 1), 1, 24, nullptr, "wide.png");
         },
         "MakeTextureFromRaw"},
        {"a storage changed behind the texture's back: the context's own error",
         [&](C3DTextureGLES* t) {
             EXPECT_EQ(t->MakeTextureFromRaw(512, 512, 24, nullptr, "big.png"), eOK);
             glBindTexture(GL_TEXTURE_2D, t->m_dwTexture);
             glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
             return t->ScreenShot(true, true, false, 0);
         },
         "failed! (GL error 0x0501)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shared->m_fScaleX = shared->m_fScaleY = 1.0f;
        auto texture = Make(0, kNearest);
        testing::internal::CaptureStderr();
        const eRESULT result = c.run(texture.get());
        const std::string trace = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, eFAILED);
        EXPECT_NE(trace.find(c.trace), std::string::npos) << trace;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "the failure's error is consumed";
    }
    shared->m_fScaleX = shared->m_fScaleY = 1.0f;
    // The same grab into storage of the right size succeeds.
    auto texture = Make(0, kNearest);
    ASSERT_EQ(texture->MakeTextureFromRaw(512, 512, 24, nullptr, "room.png"), eOK);
    EXPECT_EQ(texture->m_dwStorageWidth, 512u);
    EXPECT_EQ(texture->ScreenShot(true, true, false, 0), eOK);
}

// --- Through the device -------------------------------------------------------

class TextureDeviceTest : public TextureGlesTest {
protected:
    void SetUp() override {
        TextureGlesTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
        glDisable(GL_DEPTH_TEST);
    }
    void TearDown() override {
        device.Unload();
        TextureGlesTest::TearDown();
    }

    size_t Registered() const {
        size_t n = 0;
        for (FIFO_NODE* node = device.m_plistTextures->m_pHead; node; node = node->m_pNext) ++n;
        return n;
    }

    C3DEngineGLES device;
    teximg::TempDir dir;
};

TEST_F(TextureDeviceTest, SameImageIsSharedOnlyWhenAskedFor) {
    const Bytes png = teximg::WriteRgbPng(4, {Bytes(12, 200), Bytes(12, 100)});
    const std::string a = dir.Write("ball.png", png);
    dir.Dir("other");
    const std::string b = dir.Write("other/ball.png", png);

    // Shareable: one texture, held twice.
    C3DTexture* first = device.LoadTextureFromFile(TEX_RECYCLED, 0, a.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->m_szName, "ball.png");
    EXPECT_EQ(first->m_wWidth, 4u);
    EXPECT_EQ(first->m_bBitsPerPixel, 24u);
    C3DTexture* again = device.LoadTextureFromFile(TEX_RECYCLED, 0, a.c_str());
    EXPECT_EQ(again, first);
    // Another directory, the same file name: the same texture.
    EXPECT_EQ(device.LoadTextureFromFile(TEX_RECYCLED, 0, b.c_str()), first);
    EXPECT_EQ(Registered(), 1u);
    const GLuint name = static_cast<C3DTextureGLES*>(first)->m_dwTexture;
    EXPECT_EQ(device.DeleteTexture(first), eOK);
    EXPECT_EQ(device.DeleteTexture(first), eOK);
    EXPECT_EQ(Registered(), 1u);
    EXPECT_TRUE(glIsTexture(name));
    EXPECT_EQ(device.DeleteTexture(first), eOK);
    EXPECT_EQ(Registered(), 0u);
    EXPECT_FALSE(glIsTexture(name));

    // Not shareable: two textures with two OpenGL names.
    C3DTexture* one = device.LoadTextureFromFile(0, 0, a.c_str());
    C3DTexture* two = device.LoadTextureFromFile(0, 0, a.c_str());
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_NE(one, two);
    EXPECT_NE(static_cast<C3DTextureGLES*>(one)->m_dwTexture, static_cast<C3DTextureGLES*>(two)->m_dwTexture);
    EXPECT_EQ(Registered(), 2u);
    EXPECT_EQ(device.DeleteTexture(one), eOK);
    EXPECT_EQ(device.DeleteTexture(two), eOK);

    // A file that does not decode leaves nothing registered.
    const std::string bad = dir.Write("bad.png", Bytes(40, 0x89));
    EXPECT_EQ(device.LoadTextureFromFile(TEX_RECYCLED, 0, bad.c_str()), nullptr);
    EXPECT_EQ(Registered(), 0u);
}

TEST_F(TextureDeviceTest, DecodedImagesAppearUprightOnAScreenQuad) {
    // Top half red, bottom half blue, in every format that keeps the image's
    // bottom row at t = 0.
    const Bytes rgb = teximg::RedOverBlue();
    const Bytes png =
        teximg::WriteRgbPng(4, {Bytes(rgb.begin(), rgb.begin() + 12), Bytes(rgb.begin() + 12, rgb.end())});
    const Bytes jpeg = teximg::WriteJpeg(4, 2, 3, rgb);
    // TGA rows bottom first, pixels blue, green, red.
    const Bytes tga = teximg::Tga(2, 4, 2, 24, {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0,  //
                                                0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255});
    const struct {
        const char* name;
        Bytes bytes;
        bool memory;
    } cases[] = {
        {"picture.png", png, false}, {"picture.png", png, true}, {"picture.jpg", jpeg, false},
        {"picture.tga", tga, false}, {"picture.tga", tga, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.memory ? " from memory" : " from a file"));
        const std::string path = dir.Write(c.name, c.bytes);
        Bytes copy = c.bytes;
        C3DTexture* texture =
            c.memory ? device.MakeTextureFromAddress(0, kNearest, copy.data(), uint32_t(copy.size()), c.name)
                     : device.LoadTextureFromFile(0, kNearest, path.c_str());
        ASSERT_NE(texture, nullptr);
        Clear(0, 0, 0);
        DrawScreenQuad(texture);
        const RGBA top = ReadPixel(160, 400), bottom = ReadPixel(160, 80);
        EXPECT_GT(top[0], 200);
        EXPECT_LT(top[2], 60);
        EXPECT_LT(bottom[0], 60);
        EXPECT_GT(bottom[2], 200);
        EXPECT_EQ(device.DeleteTexture(texture), eOK);
    }
}

}  // namespace
