// The window backend on a real display (skipped without one; CI provides a
// virtual one).
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "platform/window/WindowBackend.h"

namespace platform {
namespace {

bool DisplayAvailable() {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
    // An X server refuses clients for a moment after its last one left: ask a few times.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0) SDL_Delay(50);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) continue;
        const char* driver = SDL_GetCurrentVideoDriver();
        bool real = driver && std::string(driver) != "offscreen" && std::string(driver) != "dummy";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
        if (real) return true;
    }
    return false;
}

struct Mark {
    int X, Y;  // landscape pixel (drawable pixels)
    uint8_t r, g;
};
const Mark kMarks[] = {{30, 100, 255, 0}, {959, 0, 0, 255}, {0, 639, 255, 255}, {500, 321, 255, 0}};

struct Result {
    bool presented = false;
    bool read = false;
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    landscape::Rect image{0, 0, 0, 0};
    std::vector<std::string> calls;
};

// Draws one frame with marked pixels, reads the window back, then quits.
class Painter : public AppDelegate {
public:
    Painter(View* view, Result* result) : view_(view), result_(result) {}
    ~Painter() override {
        if (!context_) return;
        GLContext::SetCurrentContext(context_.get());
        oes::glDeleteFramebuffersOES(1, &fb_);
        oes::glDeleteRenderbuffersOES(1, &rb_);
        GLContext::SetCurrentContext(nullptr);
    }
    void DidFinishLaunching() override {
        result_->calls.push_back("launched");
        context_ = GLContext::Create(1);
        if (!context_ || !GLContext::SetCurrentContext(context_.get())) return;
        oes::glGenFramebuffersOES(1, &fb_);
        oes::glGenRenderbuffersOES(1, &rb_);
        oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb_);
        oes::glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb_);
        context_->RenderbufferStorageFromDrawable(GL_RENDERBUFFER_OES, view_->Layer());
        oes::glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES, rb_);
        timer_ = ScheduleRepeatingTimer(1.0 / 60.0, [this] { Frame(); });
    }
    void WillResignActive() override { result_->calls.push_back("resign"); }
    void DidBecomeActive() override { result_->calls.push_back("become"); }
    void WillTerminate() override {
        result_->calls.push_back("terminate");
        if (timer_) timer_->Invalidate();
    }

private:
    void Frame() {
        if (result_->presented) return;
        GLContext::SetCurrentContext(context_.get());
        oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb_);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        const int h = view_->Layer()->PixelHeight();
        glEnable(GL_SCISSOR_TEST);
        for (const Mark& m : kMarks) {
            int px = 0, py = 0;
            landscape::LandscapeToFramePixel(m.X, m.Y, h, &px, &py);
            glScissor(px, h - 1 - py, 1, 1);  // GL rows count from the bottom
            glClearColor(m.r / 255.0f, m.g / 255.0f, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }
        glDisable(GL_SCISSOR_TEST);
        oes::glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb_);
        result_->presented = context_->PresentRenderbuffer(GL_RENDERBUFFER_OES);
        result_->read = window::ReadWindowPixels(&result_->rgba, &result_->width, &result_->height, &result_->image);
        RequestTermination(0);
    }

    View* view_;
    Result* result_;
    std::unique_ptr<GLContext> context_;
    GLuint fb_ = 0, rb_ = 0;
    Timer* timer_ = nullptr;
};

TEST(WindowBackend, ShowsTheFrameTurnedClockwise) {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    Result result;
    Options options;
    options.scale = 2;
    int status = ApplicationMain(options, [&result](View* view) { return std::make_unique<Painter>(view, &result); });
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(result.presented);
    ASSERT_TRUE(result.read);
    ASSERT_FALSE(window::ReadWindowPixels(&result.rgba, &result.width, &result.height, &result.image))
        << "the window outlived the run";
    EXPECT_EQ(result.calls.front(), "launched");
    EXPECT_EQ(result.calls.back(), "terminate");

    const landscape::Rect& image = result.image;
    ASSERT_GT(image.w, 0);
    auto pixel = [&](int x, int y) { return &result.rgba[(static_cast<size_t>(y) * result.width + x) * 4]; };
    // Where the drawable pixel (X, Y) of the 960 x 640 landscape image lands in the window.
    auto windowPixel = [&](int X, int Y, int* wx, int* wy) {
        *wx = image.x + static_cast<int>((X + 0.5) * image.w / 960);
        *wy = image.y + static_cast<int>((Y + 0.5) * image.h / 640);
    };
    for (const Mark& m : kMarks) {
        int wx = 0, wy = 0;
        windowPixel(m.X, m.Y, &wx, &wy);
        const uint8_t* p = pixel(wx, wy);
        EXPECT_EQ(p[0], m.r) << m.X << "," << m.Y;
        EXPECT_EQ(p[1], m.g) << m.X << "," << m.Y;
        EXPECT_EQ(p[2], 0) << m.X << "," << m.Y;
    }
    int wx = 0, wy = 0;
    windowPixel(480, 320, &wx, &wy);
    EXPECT_EQ(pixel(wx, wy)[2], 255);  // the clear colour in between
    if (image.w == 960 && image.h == 640) {
        // One window pixel per drawable pixel: the marks are single pixels.
        windowPixel(31, 100, &wx, &wy);
        EXPECT_EQ(pixel(wx, wy)[0], 0);
        windowPixel(30, 101, &wx, &wy);
        EXPECT_EQ(pixel(wx, wy)[0], 0);
    }
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

struct InputLog {
    std::vector<std::string> calls;
    std::vector<std::pair<std::string, Point>> touches;
    std::vector<double> readingsX;
    landscape::Rect image{0, 0, 0, 0};
};

// Feeds the window synthetic input from its timer and records what arrives.
class InputApp : public AppDelegate, public ViewResponder, public AccelerometerDelegate {
public:
    InputApp(View* view, InputLog* log) : view_(view), log_(log) {
        view_->SetResponder(this);
        view_->SetMultipleTouchEnabled(true);
        Accelerometer::Shared()->SetUpdateInterval(0.05);
        Accelerometer::Shared()->SetDelegate(this);
    }
    ~InputApp() override { Accelerometer::Shared()->SetDelegate(nullptr); }
    void DidFinishLaunching() override {
        timer_ = ScheduleRepeatingTimer(1.0 / 60.0, [this] { Tick(); });
    }
    void WillResignActive() override { log_->calls.push_back("resign"); }
    void DidBecomeActive() override { log_->calls.push_back("become"); }
    void WillTerminate() override {
        log_->calls.push_back("terminate");
        timer_->Invalidate();
    }
    void TouchesBegan(const TouchSet& t, Event*) override { Record("began", t); }
    void TouchesMoved(const TouchSet& t, Event*) override { Record("moved", t); }
    void TouchesEnded(const TouchSet& t, Event*) override { Record("ended", t); }
    void TouchesCancelled(const TouchSet& t, Event*) override { Record("cancelled", t); }
    void LayoutSubviews() override {}
    void DidAccelerate(double x, double, double) override { log_->readingsX.push_back(x); }

private:
    void Record(const char* kind, const TouchSet& touches) {
        for (const Touch* t : touches) log_->touches.emplace_back(kind, t->LocationInView(view_));
    }
    static void PushMouse(Uint32 type, int x, int y) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_MOUSEMOTION) {
            e.motion.x = x;
            e.motion.y = y;
            e.motion.state = SDL_BUTTON_LMASK;
        } else {
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = x;
            e.button.y = y;
        }
        SDL_PushEvent(&e);
    }
    static void PushWindow(Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = event;
        SDL_PushEvent(&e);
    }
    static void PushKey(SDL_Keycode key) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = key;
        SDL_PushEvent(&e);
    }
    void Tick() {
        ++ticks_;
        if (ticks_ == 1) {
            std::vector<uint8_t> rgba;
            int w = 0, h = 0;
            window::ReadWindowPixels(&rgba, &w, &h, &log_->image);
            const landscape::Rect& r = log_->image;
            // Landscape points (100, 50) and (110, 60): view points (50, 380) and (60, 370).
            PushMouse(SDL_MOUSEBUTTONDOWN, r.x + 100 * r.w / 480, r.y + 50 * r.h / 320);
            PushMouse(SDL_MOUSEMOTION, r.x + 110 * r.w / 480, r.y + 60 * r.h / 320);
            PushMouse(SDL_MOUSEBUTTONUP, r.x + 110 * r.w / 480, r.y + 60 * r.h / 320);
            PushMouse(SDL_MOUSEBUTTONDOWN, r.x - 1, r.y - 1);  // on a bar (or off the image): ignored
            PushMouse(SDL_MOUSEBUTTONUP, r.x - 1, r.y - 1);
            PushKey(SDLK_s);
        } else if (ticks_ == 5) {
            PushWindow(SDL_WINDOWEVENT_FOCUS_LOST);
            PushWindow(SDL_WINDOWEVENT_FOCUS_GAINED);
        } else if (ticks_ == 45) {
            PushKey(SDLK_ESCAPE);
        }
    }

    View* view_;
    InputLog* log_;
    Timer* timer_ = nullptr;
    int ticks_ = 0;
};

TEST(WindowBackend, InputBecomesTouchesReadingsAndActivityChanges) {
    if (!DisplayAvailable()) GTEST_SKIP() << "no display";
    InputLog log;
    Options options;
    options.scale = 2;
    EXPECT_EQ(ApplicationMain(options, [&log](View* view) { return std::make_unique<InputApp>(view, &log); }), 0);
    ASSERT_EQ(log.touches.size(), 3u);
    const char* kinds[] = {"began", "moved", "ended"};
    const Point points[] = {{50, 380}, {60, 370}, {60, 370}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log.touches[i].first, kinds[i]);
        EXPECT_NEAR(log.touches[i].second.x, points[i].x, 1.0) << i;
        EXPECT_NEAR(log.touches[i].second.y, points[i].y, 1.0) << i;
    }
    // The shake key: +1.5 g, then -1.5 g on x, then the rest reading again.
    ASSERT_FALSE(log.readingsX.empty());
    size_t plus = 0, minus = 0;
    for (size_t i = 0; i < log.readingsX.size(); ++i) {
        if (log.readingsX[i] == 1.5 && !plus) plus = i + 1;
        if (log.readingsX[i] == -1.5 && !minus) minus = i + 1;
    }
    EXPECT_GT(plus, 0u);
    EXPECT_GT(minus, plus);
    EXPECT_EQ(log.readingsX.back(), 0.0);
    // Focus lost and gained: resign, then become, then the end.
    auto resign = std::find(log.calls.begin(), log.calls.end(), "resign");
    ASSERT_NE(resign, log.calls.end());
    EXPECT_NE(std::find(resign, log.calls.end(), "become"), log.calls.end());
    EXPECT_EQ(log.calls.back(), "terminate");
}

TEST(WindowBackend, WithoutADisplayMainReturnsOne) {
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    std::string wayland = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    bool launched = false;
    ::testing::internal::CaptureStderr();
    int status = ApplicationMain(Options(), [&launched](View*) {
        launched = true;
        return std::unique_ptr<AppDelegate>();
    });
    std::string err = ::testing::internal::GetCapturedStderr();
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    if (!wayland.empty()) setenv("WAYLAND_DISPLAY", wayland.c_str(), 1);
    if (std::getenv("SDL_VIDEODRIVER")) GTEST_SKIP() << "SDL_VIDEODRIVER picks a driver";
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(launched);
    EXPECT_EQ(err, "orbelline: cannot open a window (no display); the headless mode needs none\n");
}

}  // namespace
}  // namespace platform
