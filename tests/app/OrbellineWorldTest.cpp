// The crystal ball itself, driven through the host view on a simulated clock
// with the built pack: rubbing reveals the answer under the finger, a shake
// starts a new turn, the fade of the old screen runs out, and nothing is left
// with the device at the end.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/EAGLView.h"
#include "app/OrbellineWorld.h"
#include "platform/Platform.h"
#include "engine/3d/3DEngine.h"
#include "engine/3d/Screenshot.h"
#include "engine/world/Clock.h"

namespace {

eCLOCK_TIME g_now{};
eCLOCK_TIME SimulatedClock() { return g_now; }

void Advance(double seconds) {
    int64_t us = g_now.seconds * 1000000 + g_now.microseconds + static_cast<int64_t>(std::llround(seconds * 1e6));
    g_now.seconds = us / 1000000;
    g_now.microseconds = static_cast<int32_t>(us % 1000000);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// One running application: the host view over a bundle holding the built
// pack, frames drawn one by one on a simulated clock.
class Ball {
public:
    explicit Ball(int64_t seed, int scale = 1) : scale_(scale) {
        char cwd[4096];
        previousDir_ = getcwd(cwd, sizeof(cwd)) ? cwd : ".";
        bundle_ = ::testing::TempDir() + "orbelline_ball_" + std::to_string(getpid()) + "_" + std::to_string(seed);
        mkdir(bundle_.c_str(), 0755);
        mkdir((bundle_ + "/Data").c_str(), 0755);
        std::string app = ORBELLINE_APP;
        std::ifstream in(app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak", std::ios::binary);
        std::ofstream(bundle_ + "/Data/Orbelline.res.pak", std::ios::binary) << in.rdbuf();
        g_now = {seed, 0};
        previousClock_ = eSetClock(&SimulatedClock);
        if (chdir(bundle_.c_str()) != 0) return;
        platformView_.Layer()->scale = scale;
        platform::SetPresentHandler([this](const platform::Frame& f) { frame_ = f; });
        view_ = EAGLView::initWithCoder(&platformView_);
        if (view_) view_->LayoutSubviews();
    }
    ~Ball() {
        view_.reset();
        platform::SetPresentHandler(nullptr);
        eSetClock(previousClock_);
        if (chdir(previousDir_.c_str()) != 0) std::perror("chdir");
        std::remove((bundle_ + "/Data/Orbelline.res.pak").c_str());
        std::remove((bundle_ + "/Data/Orbelline.log").c_str());
        rmdir((bundle_ + "/Data").c_str());
        rmdir(bundle_.c_str());
    }
    bool Ok() const { return view_ != nullptr; }
    COrbellineWorld* World() const { return view_->World(); }
    EAGLView* View() const { return view_.get(); }
    std::string Log() const { return ReadFile(bundle_ + "/Data/Orbelline.log"); }

    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            Advance(1.0 / 60.0);
            view_->drawView();
        }
    }
    // Fingers at view points, as the phone delivers them.
    void Down(float x, float y) {
        finger_.location = {x, y};
        platform::Event event{{&finger_}};
        view_->TouchesBegan(event.allTouches, &event);
    }
    void Move(float x, float y) {
        finger_.location = {x, y};
        platform::Event event{{&finger_}};
        view_->TouchesMoved(event.allTouches, &event);
    }
    void Up() {
        platform::Event event{{&finger_}};
        view_->TouchesEnded(event.allTouches, &event);
    }
    // A rub: one stamp per frame along a line.
    void Rub(float x0, float y0, float x1, float y1, int steps) {
        Down(x0, y0);
        for (int i = 1; i <= steps; ++i) {
            Move(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
            Frames(1);
        }
        Up();
        Frames(2);
    }
    // Luminance of the presented frame at a view point (portrait, top row
    // first): the middle pixel of the point's scale x scale block.
    float Luma(int x, int y) const { return PixelLuma(frame_, x * scale_ + scale_ / 2, y * scale_ + scale_ / 2); }
    static float PixelLuma(const platform::Frame& f, int x, int y) {
        const uint8_t* p = &f.rgba[(static_cast<size_t>(y) * f.width + x) * 4];
        return 0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2];
    }
    const platform::Frame& Frame() const { return frame_; }
    int Scale() const { return scale_; }

private:
    int scale_;
    std::string previousDir_, bundle_;
    PFN_CLOCK previousClock_ = nullptr;
    platform::View platformView_;
    platform::Touch finger_;
    std::unique_ptr<EAGLView> view_;
    platform::Frame frame_;
};

// The ball's inside, in portrait frame pixels: a window point (X, Y) of the
// landscape scene is the frame pixel (Y, 480 - X). The answer is written
// across the middle of the ball.
struct Box {
    int x0, y0, x1, y1;
};
const Box kAnswerBand = {165, 150, 215, 330};  // view points, across the ball

// Mean luminance and the count of dark pixels in a box.
struct Stats {
    float mean;
    int dark;
};
Stats Measure(const Ball& b, Box box) {
    double sum = 0;
    int n = 0, dark = 0;
    for (int y = box.y0; y < box.y1; ++y) {
        for (int x = box.x0; x < box.x1; ++x) {
            float l = b.Luma(x, y);
            sum += l;
            dark += l < 60;
            ++n;
        }
    }
    return {static_cast<float>(sum / n), dark};
}

TEST(OrbellineWorld, TheGlassHidesTheAnswerUntilItIsRubbed) {
    // Two runs with different answers look the same before anyone rubs.
    Ball a(1700000000), b(1700000123);
    ASSERT_TRUE(a.Ok());
    ASSERT_TRUE(b.Ok());
    a.Frames(3);
    b.Frames(3);
    ASSERT_NE(a.World()->m_dwAnswer, b.World()->m_dwAnswer);
    int differing = 0;
    for (int y = kAnswerBand.y0; y < kAnswerBand.y1; ++y)
        for (int x = kAnswerBand.x0; x < kAnswerBand.x1; ++x) differing += std::fabs(a.Luma(x, y) - b.Luma(x, y)) > 8;
    EXPECT_EQ(differing, 0);
}

// What a user sees is the same at every pixel scale the program offers.
class OrbellineWorldAtScale : public ::testing::TestWithParam<int> {};

TEST_P(OrbellineWorldAtScale, RubbingOneSideRevealsDarkTextOnlyThere) {
    Ball b(1700000000, GetParam());
    ASSERT_TRUE(b.Ok());
    ASSERT_EQ(b.Frame().width, 320 * GetParam());
    b.Frames(3);
    // A brush stamp is 0.15 of the mask high, about 72 view points along y.
    const Box rubbed = {kAnswerBand.x0, 260, kAnswerBand.x1, kAnswerBand.y1};     // one end of the band
    const Box untouched = {kAnswerBand.x0, kAnswerBand.y0, kAnswerBand.x1, 215};  // the other end
    const Stats before = Measure(b, rubbed);
    const Stats otherBefore = Measure(b, untouched);
    for (float x = kAnswerBand.x0; x <= kAnswerBand.x1; x += 12) b.Rub(x, 290, x, 330, 6);

    const Stats after = Measure(b, rubbed);
    const Stats other = Measure(b, untouched);
    EXPECT_GT(after.mean, before.mean + 40) << "the rubbed side brightens";
    EXPECT_GT(after.dark, 50) << "dark answer pixels show where rubbed";
    EXPECT_NEAR(other.mean, otherBefore.mean, 2.0f) << "the other side is as it was";
    EXPECT_LE(other.dark, otherBefore.dark + 5) << "and shows no text";
    EXPECT_GT(after.mean, other.mean + 40);
}

TEST_P(OrbellineWorldAtScale, ATapStampsOneQuadUnderTheFinger) {
    const int scale = GetParam();
    Ball b(1700000000, scale);
    ASSERT_TRUE(b.Ok());
    b.Frames(3);
    // A tap at each side of the ball, and two near its left and right rims:
    // the brightened spot is centred on each.
    const float taps[][2] = {{185, 160}, {185, 320}, {110, 240}, {250, 240}, {170, 125}, {170, 340}};
    for (const auto& tap : taps) {
        SCOPED_TRACE(std::to_string(tap[0]) + "," + std::to_string(tap[1]));
        platform::Frame before = b.Frame();
        b.Down(tap[0], tap[1]);
        b.Up();
        EXPECT_EQ(b.World()->m_dwStrokeVertices, 6u);
        b.Frames(1);
        if (&tap == &taps[0]) {
            // The first stamped frame after loading re-captures the mask; the
            // stamp is drawn in the next one.
            EXPECT_EQ(b.World()->m_dwStrokeVertices, 6u);
            b.Frames(1);
        }
        EXPECT_EQ(b.World()->m_dwStrokeVertices, 0u);  // consumed by the frame
        // The pointer the world keeps is at the finger too, in points.
        EXPECT_EQ(b.World()->m_pSharedInfos->m_fMouseX, 480.0f - tap[1]);
        EXPECT_EQ(b.World()->m_pSharedInfos->m_fMouseY, tap[0]);
        double sx = 0, sy = 0, weight = 0;
        for (int y = 0; y < b.Frame().height; ++y) {
            for (int x = 0; x < b.Frame().width; ++x) {
                float gain = Ball::PixelLuma(b.Frame(), x, y) - Ball::PixelLuma(before, x, y);
                if (gain > 20) {
                    sx += x * gain;
                    sy += y * gain;
                    weight += gain;
                }
            }
        }
        ASSERT_GT(weight, 0);
        EXPECT_NEAR(sx / weight / scale, tap[0], 4.0);
        EXPECT_NEAR(sy / weight / scale, tap[1], 4.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, OrbellineWorldAtScale, ::testing::Values(1, 2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Scale" + std::to_string(info.param);
                         });

TEST(OrbellineWorld, ALongSwipeInOneFrameStampsAtMost32Quads) {
    Ball b(1700000000);
    ASSERT_TRUE(b.Ok());
    b.Frames(3);
    // Back and forth across the screen within one frame: one stamp every
    // 0.05 of the mask along the way, until the 32 quads are used.
    b.Down(10, 10);
    b.Move(310, 470);
    EXPECT_EQ(b.World()->m_dwStrokeVertices % 6, 0u);
    EXPECT_LT(b.World()->m_dwStrokeVertices, 192u);
    b.Move(10, 10);
    EXPECT_EQ(b.World()->m_dwStrokeVertices, 192u);
    const VECTOR2D last = b.World()->m_vLastTouch;
    b.Move(120, 120);  // full: only the position moves on
    EXPECT_EQ(b.World()->m_dwStrokeVertices, 192u);
    EXPECT_NE(b.World()->m_vLastTouch.x, last.x);
    b.Up();
    b.Frames(2);  // the first re-captures the freshly loaded mask
    EXPECT_EQ(b.World()->m_dwStrokeVertices, 0u);
}

TEST(OrbellineWorld, ShakesAreSignChangesOfMoreThanOneG) {
    struct Case {
        float first, second;
        bool resets;
    };
    const Case cases[] = {{0.6f, -0.6f, true}, {0.4f, -0.4f, false}, {1.5f, 0.2f, false}, {-0.7f, 0.5f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " -> " + std::to_string(c.second));
        Ball b(1700000000);
        ASSERT_TRUE(b.Ok());
        b.Frames(2);
        COrbellineWorld* w = b.World();
        w->SetTilt(c.first, 0, 0);  // the first reading never resets
        EXPECT_EQ(Count(b.Log(), "ResetView random init"), 0u);
        w->SetTilt(c.second, 0, 0);
        EXPECT_EQ(Count(b.Log(), "ResetView random init"), c.resets ? 1u : 0u);
        // The same on the y axis.
        Ball y(1700000000);
        ASSERT_TRUE(y.Ok());
        y.World()->SetTilt(0, c.first, 0);
        y.World()->SetTilt(0, c.second, 0);
        EXPECT_EQ(Count(y.Log(), "ResetView random init"), c.resets ? 1u : 0u);
    }
}

TEST(OrbellineWorld, ANewTurnFadesTheOldScreenAndIgnoresShakesMeanwhile) {
    Ball b(1700000000);
    ASSERT_TRUE(b.Ok());
    b.Frames(3);
    COrbellineWorld* w = b.World();
    w->ResetView();
    EXPECT_FLOAT_EQ(w->m_pScreenshot->m_fFade, 1.0f);
    EXPECT_TRUE(w->m_bNewAnswer);
    EXPECT_EQ(Count(b.Log(), "ResetView random init"), 1u);
    b.Frames(40);  // 20 frame-factor units at 60 frames a second
    EXPECT_GT(w->m_pScreenshot->m_fFade, 0.0f);
    w->ResetView();  // ignored: the fade still runs
    EXPECT_EQ(Count(b.Log(), "ResetView random init"), 1u);
    b.Frames(40);  // 40 units in all: gone
    EXPECT_EQ(w->m_pScreenshot->m_fFade, 0.0f);
    w->ResetView();
    EXPECT_EQ(Count(b.Log(), "ResetView random init"), 2u);
}

TEST(OrbellineWorld, ConsecutiveAnswersDiffer) {
    Ball b(1700000000);
    ASSERT_TRUE(b.Ok());
    b.Frames(1);
    uint32_t previous = b.World()->m_dwAnswer;
    ASSERT_LT(previous, 20u);
    for (int turn = 0; turn < 12; ++turn) {
        Advance(3.0);  // a new second for the seed, and the fade long gone
        b.Frames(90);
        b.World()->ResetView();
        b.Frames(1);
        const uint32_t answer = b.World()->m_dwAnswer;
        ASSERT_LT(answer, 20u);
        EXPECT_NE(answer, previous) << "turn " << turn;
        previous = answer;
    }
}

TEST(OrbellineWorld, UnloadGivesEverythingBackToTheDevice) {
    Ball b(1700000000);
    ASSERT_TRUE(b.Ok());
    b.Frames(2);
    b.Rub(185, 200, 185, 280, 4);
    COrbellineWorld* w = b.World();
    C3DEngine* device = w->m_p3DEngine;
    ASSERT_NE(device, nullptr);
    // Everything the world holds is registered with the device.
    EXPECT_NE(device->m_plistObjects->GetFirst(), nullptr);
    EXPECT_NE(device->m_plistTextures->GetFirst(), nullptr);

    // Unload the application's part: the font, the fade, its objects and
    // textures all go back, so the device's own sweep finds nothing left.
    testing::internal::CaptureStderr();
    EXPECT_EQ(w->Unload(), eOK);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(w->m_p3DEngine, nullptr);
    EXPECT_EQ(w->m_pScreenQuad, nullptr);
    EXPECT_EQ(w->m_pFont, nullptr);
    EXPECT_EQ(Count(b.Log(), "memory leaks"), 0u);
}

}  // namespace
