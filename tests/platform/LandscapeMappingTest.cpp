#include "platform/LandscapeMapping.h"

#include <gtest/gtest.h>

#include "platform/window/WindowShake.h"

namespace platform {
namespace landscape {
namespace {

TEST(LandscapeMapping, WindowPointsBecomeViewPoints) {
    // Landscape point (X, Y) is view point (Y, 480 - X), whatever the window's size.
    struct Case {
        Rect image;
        float wx, wy;
        float vx, vy;
    } cases[] = {
        {{0, 0, 480, 320}, 0, 0, 0, 480},          // top left of the landscape: bottom left of the view
        {{0, 0, 480, 320}, 480, 0, 0, 0},          // top right: view origin
        {{0, 0, 480, 320}, 480, 320, 320, 0},      // bottom right
        {{0, 0, 480, 320}, 0, 320, 320, 480},      // bottom left
        {{0, 0, 480, 320}, 100, 50, 50, 380},
        {{0, 0, 960, 640}, 200, 100, 50, 380},     // two window pixels a point
        {{80, 0, 480, 320}, 180, 50, 50, 380},     // with bars left and right
        {{0, 40, 240, 160}, 50, 65, 50, 380},      // half size below a bar
    };
    for (const Case& tc : cases) {
        Point v = WindowToView(tc.wx, tc.wy, tc.image);
        EXPECT_FLOAT_EQ(v.x, tc.vx) << tc.wx << "," << tc.wy;
        EXPECT_FLOAT_EQ(v.y, tc.vy) << tc.wx << "," << tc.wy;
        Point w = ViewToWindow(v, tc.image);
        EXPECT_FLOAT_EQ(w.x, tc.wx);
        EXPECT_FLOAT_EQ(w.y, tc.wy);
    }
}

TEST(LandscapeMapping, FitKeepsTheAspectAndCentres) {
    struct Case {
        int w, h;
        Rect expected;
    } cases[] = {
        {960, 640, {0, 0, 960, 640}},
        {1280, 640, {160, 0, 960, 640}},   // too wide: bars left and right
        {960, 1000, {0, 180, 960, 640}},   // too tall: bars above and below
        {481, 320, {0, 0, 480, 320}},
        {0, 0, {0, 0, 0, 0}},
    };
    for (const Case& tc : cases) {
        Rect r = Fit(tc.w, tc.h);
        EXPECT_EQ(r.x, tc.expected.x) << tc.w << "x" << tc.h;
        EXPECT_EQ(r.y, tc.expected.y) << tc.w << "x" << tc.h;
        EXPECT_EQ(r.w, tc.expected.w) << tc.w << "x" << tc.h;
        EXPECT_EQ(r.h, tc.expected.h) << tc.w << "x" << tc.h;
    }
}

TEST(LandscapeMapping, InitialWindowSizeFitsTheLimit) {
    struct Case {
        int scale, maxW, maxH, w, h;
    } cases[] = {
        {1, 960, 640, 480, 320}, {2, 960, 640, 960, 640}, {3, 960, 640, 960, 640},
        {2, 800, 640, 800, 533}, {0, 960, 640, 480, 320},
    };
    for (const Case& tc : cases) {
        Size s = InitialWindowSize(tc.scale, tc.maxW, tc.maxH);
        EXPECT_EQ(s.w, tc.w) << tc.scale;
        EXPECT_EQ(s.h, tc.h) << tc.scale;
    }
}

TEST(LandscapeMapping, ClampAndInside) {
    EXPECT_TRUE(InsideView({0, 0}));
    EXPECT_TRUE(InsideView({320, 480}));
    EXPECT_FALSE(InsideView({-0.5f, 10}));
    EXPECT_FALSE(InsideView({10, 481}));
    Point p = ClampToView({-3, 500});
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 480);
}

TEST(LandscapeMapping, RotationPutsFramePixelsWhereTheirLandscapePointIs) {
    // A portrait frame at scale 1 with one marked pixel; the landscape image is
    // 480 x 320 and shows it at (X, Y) when it sits at (Y, 479 - X).
    struct Case {
        int X, Y;
    } cases[] = {{0, 0}, {479, 0}, {0, 319}, {479, 319}, {30, 100}, {240, 160}};
    for (const Case& tc : cases) {
        Frame f;
        f.width = 320;
        f.height = 480;
        f.rgba.assign(static_cast<size_t>(f.width) * f.height * 4, 0);
        int px = 0, py = 0;
        LandscapeToFramePixel(tc.X, tc.Y, f.height, &px, &py);
        EXPECT_EQ(px, tc.Y);
        EXPECT_EQ(py, 479 - tc.X);
        uint8_t* mark = &f.rgba[(static_cast<size_t>(py) * f.width + px) * 4];
        mark[0] = 255;
        mark[1] = 7;
        mark[3] = 255;
        std::vector<uint8_t> out;
        RotateClockwise(f, &out);
        ASSERT_EQ(out.size(), f.rgba.size());
        size_t marked = 0, at = 0;
        for (size_t i = 0; i < out.size(); i += 4) {
            if (out[i] == 255) {
                ++marked;
                at = i / 4;
            }
        }
        ASSERT_EQ(marked, 1u) << tc.X << "," << tc.Y;
        EXPECT_EQ(static_cast<int>(at % 480), tc.X);
        EXPECT_EQ(static_cast<int>(at / 480), tc.Y);
        EXPECT_EQ(out[at * 4 + 1], 7);
        int lx = -1, ly = -1;
        FrameToLandscapePixel(px, py, f.height, &lx, &ly);
        EXPECT_EQ(lx, tc.X);
        EXPECT_EQ(ly, tc.Y);
    }
    // The frame's top row becomes the right column (a clockwise turn).
    Frame f{2, 3, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 6, 0, 0, 0}};
    std::vector<uint8_t> out;
    RotateClockwise(f, &out);
    const uint8_t expected[] = {5, 3, 1, 6, 4, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i * 4], expected[i]) << i;
    // A frame whose buffer is short is refused, not read past its end.
    f.rgba.resize(8);
    RotateClockwise(f, &out);
    EXPECT_TRUE(out.empty());
}

TEST(WindowShake, BackAndForthIsAShakeAndADragIsNot) {
    struct Move {
        double t;
        int x;
    };
    struct Case {
        const char* name;
        std::vector<Move> moves;
        bool shake;
    } cases[] = {
        {"one long drag", {{0, 0}, {0.05, 100}, {0.1, 200}, {0.15, 300}}, false},
        {"there and back", {{0, 0}, {0.05, 60}, {0.1, 0}}, false},
        {"back and forth", {{0, 0}, {0.05, 40}, {0.1, -10}, {0.15, 40}}, true},
        {"jitter", {{0, 0}, {0.05, 5}, {0.1, -5}, {0.15, 5}, {0.2, -5}}, false},
        {"too slow", {{0, 0}, {0.5, 40}, {1.0, -10}, {1.5, 40}}, false},
    };
    for (const Case& tc : cases) {
        WindowShakeDetector d;
        bool shook = false;
        for (const Move& m : tc.moves) shook |= d.OnMoved(m.t, 100 + m.x, 200);
        EXPECT_EQ(shook, tc.shake) << tc.name;
    }
}

}  // namespace
}  // namespace landscape
}  // namespace platform
