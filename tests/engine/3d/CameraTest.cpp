// Camera: projections from the view settings, orientation handling, the view
// matrix, and the OpenGL ES hand-over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/3d/Camera.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/CameraGLES.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kEps = 1e-4f;

// p * M for the row vector (x, y, 0, 1), divided by w.
VECTOR2D ToClip(const MATRIX3D& m, float x, float y) {
    const float cx = x * m.m0 + y * m.m4 + m.m12;
    const float cy = x * m.m1 + y * m.m5 + m.m13;
    const float cw = x * m.m3 + y * m.m7 + m.m15;
    return VECTOR2D{cx / cw, cy / cw};
}

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(camera.Load(shared.get()), eOK); }

    gltest::SharedInfosHolder shared;
    CCamera camera;
};

TEST_F(CameraTest, StartsUprightAndUnloaded) {
    CCamera fresh;
    EXPECT_EQ(fresh.m_pSharedInfos, nullptr);
    EXPECT_EQ(fresh.m_eOrientation, ORIENTATION_PORTRAIT);
    EXPECT_EQ(fresh.m_fAngle, 0.0f);
    EXPECT_FALSE(fresh.m_bSwapped);
    EXPECT_EQ(camera.m_pSharedInfos, shared.get());
    EXPECT_EQ(camera.Unload(), eOK);
}

TEST_F(CameraTest, ProjectionsFromCompiledInSettings) {
    ASSERT_FLOAT_EQ(shared->m_fFieldOfView, 45.0f);
    ASSERT_FLOAT_EQ(shared->m_fNear, 1.0f);
    ASSERT_FLOAT_EQ(shared->m_fFar, 20000.0f);
    ASSERT_EQ(camera.InitProjMatrix(), eOK);

    EXPECT_NEAR(shared->m_fAspect, 320.0f / 480.0f, 1e-6f);
    const MATRIX3D& p = shared->m_matProjection;
    EXPECT_NEAR(p.m5, 2.41421356f, kEps);
    EXPECT_NEAR(p.m0, 3.62132034f, kEps);
    EXPECT_NEAR(p.m10, 20001.0f / 19999.0f, kEps);
    EXPECT_NEAR(p.m11, 1.0f, kEps);
    EXPECT_NEAR(p.m14, -2.0f * 20000.0f / 19999.0f, kEps);

    const MATRIX3D& s = shared->m_matProjectionScreen;
    EXPECT_NEAR(s.m0, 2.0f / 320.0f, 1e-6f);
    EXPECT_NEAR(s.m5, -2.0f / 480.0f, 1e-6f);
    EXPECT_NEAR(s.m10, -0.001f, 1e-7f);
    EXPECT_NEAR(s.m15, 1.0f, 1e-6f);
}

TEST_F(CameraTest, ZeroSizedSurfaceLeavesTheProjectionsAlone) {
    ASSERT_EQ(camera.InitProjMatrix(), eOK);
    const MATRIX3D before = shared->m_matProjection;
    const MATRIX3D beforeScreen = shared->m_matProjectionScreen;
    shared->m_wHeight = 0;
    EXPECT_EQ(camera.InitProjMatrix(), eFAILED);
    EXPECT_EQ(std::memcmp(&before, &shared->m_matProjection, sizeof before), 0);
    EXPECT_EQ(std::memcmp(&beforeScreen, &shared->m_matProjectionScreen, sizeof before), 0);
    EXPECT_TRUE(std::isfinite(shared->m_fAspect));
}

// Where the logical top-left and bottom-right pixels land in clip space. The
// logical screen is 320 x 480 upright and 480 x 320 in landscape.
TEST_F(CameraTest, ScreenProjectionMapsPixelCornersPerOrientation) {
    struct Case {
        ORIENTATION orientation;
        float angle;
        float logicalW, logicalH;
        VECTOR2D topLeft, bottomRight;
    };
    const std::vector<Case> cases = {
        {ORIENTATION_PORTRAIT, 0.0f, 320, 480, {-1, 1}, {1, -1}},
        {ORIENTATION_PORTRAIT_UPSIDE_DOWN, kPi, 320, 480, {1, -1}, {-1, 1}},
        {ORIENTATION_LANDSCAPE_LEFT, -kPi / 2, 480, 320, {1, 1}, {-1, -1}},
        {ORIENTATION_LANDSCAPE_RIGHT, kPi / 2, 480, 320, {-1, -1}, {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        EXPECT_NEAR(camera.InitDynOrientation(c.orientation), c.angle, 1e-6f);
        EXPECT_EQ(camera.m_eOrientation, c.orientation);
        EXPECT_EQ(shared->m_wWidthInit, c.logicalW);
        EXPECT_EQ(shared->m_wHeightInit, c.logicalH);
        const MATRIX3D& s = shared->m_matProjectionScreen;
        VECTOR2D tl = ToClip(s, 0, 0);
        VECTOR2D br = ToClip(s, c.logicalW, c.logicalH);
        VECTOR2D centre = ToClip(s, c.logicalW / 2, c.logicalH / 2);
        EXPECT_NEAR(tl.x, c.topLeft.x, kEps);
        EXPECT_NEAR(tl.y, c.topLeft.y, kEps);
        EXPECT_NEAR(br.x, c.bottomRight.x, kEps);
        EXPECT_NEAR(br.y, c.bottomRight.y, kEps);
        EXPECT_NEAR(centre.x, 0.0f, kEps);
        EXPECT_NEAR(centre.y, 0.0f, kEps);
        // The perspective projection turns with the screen: the right of the
        // scene (+x in view space) goes to where the angle points.
        const MATRIX3D& p = shared->m_matProjection;
        EXPECT_NEAR(std::atan2(p.m1, p.m0), c.angle == kPi ? -kPi : c.angle, 1e-5f)
            << "angle " << c.angle;
        // The surface itself stays portrait.
        EXPECT_EQ(shared->m_wWidth, 320);
        EXPECT_EQ(shared->m_wHeight, 480);
        EXPECT_NEAR(shared->m_fAspect, 320.0f / 480.0f, 1e-6f);
    }
}

TEST_F(CameraTest, DynOrientationSwapsTheLogicalSizeOnce) {
    camera.InitDynOrientation(ORIENTATION_LANDSCAPE_LEFT);
    camera.InitDynOrientation(ORIENTATION_LANDSCAPE_RIGHT);
    EXPECT_TRUE(camera.m_bSwapped);
    EXPECT_EQ(shared->m_wWidthInit, 480);
    EXPECT_EQ(shared->m_wHeightInit, 320);

    // An orientation without a rule keeps the angle and the swap, but the
    // screen box switches to the upright formulas.
    EXPECT_NEAR(camera.InitDynOrientation(ORIENTATION_FACE_UP), kPi / 2, 1e-6f);
    EXPECT_EQ(camera.m_eOrientation, ORIENTATION_FACE_UP);
    EXPECT_TRUE(camera.m_bSwapped);
    EXPECT_EQ(shared->m_wWidthInit, 480);
    EXPECT_EQ(shared->m_wHeightInit, 320);
    VECTOR2D tl = ToClip(shared->m_matProjectionScreen, 0, 0);
    EXPECT_NEAR(tl.x, 240.0f * 2.0f / 320.0f, kEps);   // (-160, -240) turned to (240, -160)
    EXPECT_NEAR(tl.y, -160.0f * -2.0f / 480.0f, kEps);  // then scaled by the upright box

    EXPECT_NEAR(camera.InitDynOrientation(ORIENTATION_PORTRAIT), 0.0f, 1e-6f);
    EXPECT_FALSE(camera.m_bSwapped);
    EXPECT_EQ(shared->m_wWidthInit, 320);
    EXPECT_EQ(shared->m_wHeightInit, 480);
    camera.InitDynOrientation(ORIENTATION_PORTRAIT_UPSIDE_DOWN);
    EXPECT_EQ(shared->m_wWidthInit, 320);
    EXPECT_EQ(shared->m_wHeightInit, 480);
}

TEST_F(CameraTest, ResizingOrientationSwapsTheRenderSize) {
    camera.InitOrientation(ORIENTATION_LANDSCAPE_RIGHT);
    camera.InitOrientation(ORIENTATION_LANDSCAPE_LEFT);
    EXPECT_TRUE(camera.m_bSwapped);
    EXPECT_EQ(shared->m_wWidth, 480);
    EXPECT_EQ(shared->m_wHeight, 320);
    EXPECT_NEAR(shared->m_fAspect, 1.5f, 1e-6f);
    EXPECT_EQ(shared->m_wWidthInit, 320);  // the logical pair is not this one's
    EXPECT_EQ(camera.m_fAngle, 0.0f);

    camera.InitOrientation(ORIENTATION_FACE_DOWN);
    EXPECT_EQ(shared->m_wWidth, 480);
    camera.InitOrientation(ORIENTATION_PORTRAIT_UPSIDE_DOWN);
    EXPECT_FALSE(camera.m_bSwapped);
    EXPECT_EQ(shared->m_wWidth, 320);
    EXPECT_EQ(shared->m_wHeight, 480);
    EXPECT_EQ(camera.m_fAngle, 0.0f);  // resizing never rotates
}

TEST_F(CameraTest, ViewMatrixIsTheInverseOfTheCameraMatrix) {
    CMaths3D* maths = shared->m_pMaths3D;
    ASSERT_EQ(camera.InitViewMatrix(), eOK);
    EXPECT_TRUE(maths->_MATRIX3DIsIdentity(&shared->m_matView));

    // Moving the camera by +1 on x moves the world by -1 in view space,
    // from the next frame on.
    shared->m_matViewInverse.m12 += 1.0f;
    EXPECT_EQ(shared->m_matView.m12, 0.0f);
    camera.FrameMove();
    EXPECT_NEAR(shared->m_matView.m12, -1.0f, 1e-6f);
    EXPECT_NEAR(shared->m_matView.m13, 0.0f, 1e-6f);
    EXPECT_NEAR(shared->m_matView.m14, 0.0f, 1e-6f);

    // A turned and placed camera: view * camera = identity.
    MATRIX3D& cam = shared->m_matViewInverse;
    maths->_MATRIX3DIdentity(&cam);
    maths->_MATRIX3DRotationY(&cam, 0.7f);
    maths->_MATRIX3DRotationX(&cam, -0.3f);
    maths->_MATRIX3DSetPositionXYZ(&cam, 12.0f, -5.0f, 300.0f);
    ASSERT_EQ(camera.InitViewMatrix(), eOK);
    MATRIX3D product;
    maths->_MATRIX3DMultiply(&product, &shared->m_matView, &cam);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product.Data()[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-4f) << i;
    EXPECT_EQ(std::memcmp(&cam, &shared->m_matViewInverse, sizeof cam), 0) << "camera matrix kept";
}

TEST(CameraUnloaded, OperationsDoNothingHarmful) {
    CCamera camera;
    EXPECT_EQ(camera.InitViewMatrix(), eFAILED);
    EXPECT_EQ(camera.InitProjMatrix(), eFAILED);
    camera.FrameMove();
    EXPECT_NEAR(camera.InitDynOrientation(ORIENTATION_LANDSCAPE_LEFT), -kPi / 2, 1e-6f);
    EXPECT_FALSE(camera.m_bSwapped);
    camera.InitOrientation(ORIENTATION_LANDSCAPE_LEFT);
    EXPECT_FALSE(camera.m_bSwapped);
    EXPECT_EQ(camera.m_eOrientation, ORIENTATION_LANDSCAPE_LEFT);
}

class CameraGLESTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(camera.Load(shared.get()), eOK);
    }

    gltest::SharedInfosHolder shared;
    CCameraGLES camera;
};

TEST_F(CameraGLESTest, ProjectionsAreHandedToOpenGLES) {
    // Building the projections leaves the perspective one loaded.
    camera.InitDynOrientation(ORIENTATION_LANDSCAPE_RIGHT);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    auto loaded = GetMatrix(GL_PROJECTION_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(loaded[i], shared->m_matProjection.Data()[i]) << i;

    glMatrixMode(GL_MODELVIEW);
    camera.RenderScreen();
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    loaded = GetMatrix(GL_PROJECTION_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(loaded[i], shared->m_matProjectionScreen.Data()[i]) << i;

    camera.RenderNormal();
    loaded = GetMatrix(GL_PROJECTION_MATRIX);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(loaded[i], shared->m_matProjection.Data()[i]) << i;

    // Gamma is left alone: neither the record nor the loaded state moves.
    std::vector<unsigned char> before(sizeof(SHARED_INFOS));
    std::memcpy(before.data(), shared.get(), before.size());
    EXPECT_EQ(camera.InitGamma(), eOK);
    EXPECT_EQ(std::memcmp(before.data(), shared.get(), before.size()), 0);
    EXPECT_EQ(GetMatrix(GL_PROJECTION_MATRIX), loaded);
}

TEST_F(CameraGLESTest, ViewportFollowsTheRequestAndTheResizingOrientation) {
    GLint viewport[4] = {};
    EXPECT_EQ(camera.InitViewport(0, 0, 160, 240), eOK);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 160);
    EXPECT_EQ(viewport[3], 240);

    camera.InitOrientation(ORIENTATION_LANDSCAPE_LEFT);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 480);
    EXPECT_EQ(viewport[3], 320);

    // The rotating orientation keeps the surface, and so the viewport.
    camera.InitOrientation(ORIENTATION_PORTRAIT);
    camera.InitDynOrientation(ORIENTATION_LANDSCAPE_LEFT);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 320);
    EXPECT_EQ(viewport[3], 480);
}

}  // namespace
