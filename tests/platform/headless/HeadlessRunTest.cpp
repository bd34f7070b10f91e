// Runs ApplicationMain headless with a small fake application that records what
// the platform hands it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "engine/world/Clock.h"

// Counts the read-backs this program makes; every call still reaches the
// driver.
namespace {
int g_readPixelsCalls = 0;
}
extern "C" GL_API void GL_APIENTRY glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                                                GLenum type, void* pixels) {
    using Fn = void(GL_APIENTRY*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glReadPixels"));
    ++g_readPixelsCalls;
    real(x, y, width, height, format, type, pixels);
}

namespace platform {
namespace {

namespace fs = std::filesystem;

// Simulated time in microseconds from the clock's epoch second.
int64_t Micros(const eCLOCK_TIME& t, int64_t epoch) { return (t.seconds - epoch) * 1000000 + t.microseconds; }

struct TouchEventRecord {
    std::string kind;
    std::vector<int64_t> ids;
    std::vector<const Touch*> addresses;
    std::vector<Point> locations;
    std::vector<int64_t> all;
};

struct ReadingRecord {
    eCLOCK_TIME when;
    double x, y, z;
};

// What the fake application saw; outlives the delegate.
struct Log {
    std::vector<std::string> calls;
    std::vector<eCLOCK_TIME> ticks;
    std::vector<std::string> tickNames;
    std::vector<ReadingRecord> readings;
    std::vector<TouchEventRecord> touches;
    int layouts = 0;
    int orientationNotes = 0;
    // Behaviour switches.
    bool accelerometer = false;
    bool gl = false;
    uint8_t clearColor[4] = {0, 0, 0, 255};
    bool redIsTickCount = false;  // each frame's red channel counts the frames
    std::map<int, double> changeIntervalAtTick;  // tick number -> new period
    int clearDelegateAtReading = -1;
    bool extraTimers = false;
    bool singleTouch = false;
    std::string enterDir;  // changed into at launch, as the host enters its bundle
};

class FakeApp : public AppDelegate, public ViewResponder, public AccelerometerDelegate {
public:
    FakeApp(View* view, Log* log) : view_(view), log_(log) {
        view_->SetResponder(this);
        view_->SetMultipleTouchEnabled(!log_->singleTouch);
        if (!log_->enterDir.empty()) {
            EXPECT_EQ(chdir(log_->enterDir.c_str()), 0);
        }
        if (log_->accelerometer) {
            Accelerometer::Shared()->SetUpdateInterval(0.05);
            Accelerometer::Shared()->SetDelegate(this);
        }
        Device::Current()->BeginGeneratingOrientationNotifications();
        observer_ = Device::Current()->AddOrientationObserver([this] { ++log_->orientationNotes; });
        if (log_->gl) SetUpGL();
    }
    ~FakeApp() override {
        log_->calls.push_back("destroyed");
        Device::Current()->RemoveOrientationObserver(observer_);
        Device::Current()->EndGeneratingOrientationNotifications();
        if (Accelerometer::Shared()->Delegate() == this) Accelerometer::Shared()->SetDelegate(nullptr);
        if (context_) {
            GLContext::SetCurrentContext(context_.get());
            oes::glDeleteFramebuffersOES(1, &framebuffer_);
            oes::glDeleteRenderbuffersOES(1, &renderbuffer_);
            GLContext::SetCurrentContext(nullptr);
        }
    }

    void DidFinishLaunching() override {
        log_->calls.push_back("launched");
        SetInterval(1.0 / 60.0);
        if (log_->extraTimers) {
            ScheduleRepeatingTimer(0.03, [this] { Tick("a"); });
            ScheduleRepeatingTimer(0.05, [this] { Tick("b"); });
        }
    }
    void WillResignActive() override {
        log_->calls.push_back("resign");
        SetInterval(0.2);
    }
    void DidBecomeActive() override {
        log_->calls.push_back("become");
        SetInterval(1.0 / 60.0);
    }
    void WillTerminate() override {
        log_->calls.push_back("terminate");
        if (timer_) timer_->Invalidate();
    }

    void TouchesBegan(const TouchSet& t, Event* e) override { Record("began", t, e); }
    void TouchesMoved(const TouchSet& t, Event* e) override { Record("moved", t, e); }
    void TouchesEnded(const TouchSet& t, Event* e) override { Record("ended", t, e); }
    void TouchesCancelled(const TouchSet& t, Event* e) override { Record("cancelled", t, e); }
    void LayoutSubviews() override { ++log_->layouts; }

    void DidAccelerate(double x, double y, double z) override {
        log_->readings.push_back({eGetClock(), x, y, z});
        if (static_cast<int>(log_->readings.size()) == log_->clearDelegateAtReading)
            Accelerometer::Shared()->SetDelegate(nullptr);
    }

private:
    void SetInterval(double seconds) {
        if (timer_) timer_->Invalidate();
        timer_ = ScheduleRepeatingTimer(seconds, [this] { Frame(); });
    }

    void Tick(const char* name) {
        log_->ticks.push_back(eGetClock());
        log_->tickNames.push_back(name);
    }

    void Frame() {
        Tick("frame");
        auto change = log_->changeIntervalAtTick.find(static_cast<int>(log_->ticks.size()));
        if (change != log_->changeIntervalAtTick.end()) SetInterval(change->second);
        if (context_) Draw();
    }

    void Record(const char* kind, const TouchSet& touches, Event* event) {
        TouchEventRecord r;
        r.kind = kind;
        for (const Touch* t : touches) {
            r.ids.push_back(t->id);
            r.addresses.push_back(t);
            r.locations.push_back(t->LocationInView(view_));
        }
        for (const Touch* t : event->allTouches) r.all.push_back(t->id);
        log_->touches.push_back(r);
    }

    void SetUpGL() {
        context_ = GLContext::Create(1);
        ASSERT_TRUE(context_);
        ASSERT_TRUE(GLContext::SetCurrentContext(context_.get()));
        oes::glGenFramebuffersOES(1, &framebuffer_);
        oes::glGenRenderbuffersOES(1, &renderbuffer_);
        oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        oes::glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer_);
        ASSERT_TRUE(context_->RenderbufferStorageFromDrawable(GL_RENDERBUFFER_OES, view_->Layer()));
        oes::glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                          renderbuffer_);
        ASSERT_EQ(oes::glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_OES));
    }

    void Draw() {
        GLContext::SetCurrentContext(context_.get());
        oes::glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        const uint8_t* c = log_->clearColor;
        const float red = log_->redIsTickCount ? static_cast<float>(log_->ticks.size()) : c[0];
        glClearColor(red / 255.0f, c[1] / 255.0f, c[2] / 255.0f, c[3] / 255.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        // A white mark on the top-left 4 x 2 pixels (GL rows count from the bottom).
        const int h = view_->Layer()->PixelHeight();
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, h - 2, 4, 2);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        oes::glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer_);
        context_->PresentRenderbuffer(GL_RENDERBUFFER_OES);
    }

    View* view_;
    Log* log_;
    Timer* timer_ = nullptr;
    int observer_ = 0;
    std::unique_ptr<GLContext> context_;
    GLuint framebuffer_ = 0, renderbuffer_ = 0;
};

class HeadlessRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orbelline-headless-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the script (null: no script) and returns the exit status.
    int Run(const char* script, Options options = Options()) {
        options.headless = true;
        options.outputDir = dir_.string();
        if (script) {
            options.scriptPath = (dir_ / "script.txt").string();
            std::ofstream(options.scriptPath) << script;
        }
        launched_ = false;
        ::testing::internal::CaptureStderr();
        int status = ApplicationMain(options, [this](View* view) -> std::unique_ptr<AppDelegate> {
            launched_ = true;
            return std::make_unique<FakeApp>(view, &log_);
        });
        stderr_ = ::testing::internal::GetCapturedStderr();
        return status;
    }

    fs::path dir_;
    Log log_;
    bool launched_ = false;
    std::string stderr_;
};

TEST_F(HeadlessRun, LaunchesRunsAndTearsDownInOrder) {
    EXPECT_EQ(Run("frames 2\nresign\nresign\nbecome\nquit\nframes 5\n"), 0);
    const std::vector<std::string> expected = {"launched", "become", "resign", "become", "terminate", "destroyed"};
    EXPECT_EQ(log_.calls, expected);
    EXPECT_EQ(log_.layouts, 1);
    EXPECT_EQ(log_.ticks.size(), 2u);  // nothing runs after quit
    EXPECT_TRUE(stderr_.empty()) << stderr_;
    // The run loop's state is gone afterwards.
    EXPECT_EQ(Accelerometer::Shared()->Delegate(), nullptr);
    EXPECT_FALSE(Device::Current()->GeneratingOrientationNotifications());
}

TEST_F(HeadlessRun, TimerTicksAdvanceTheSimulatedClockByThePeriod) {
    struct Case {
        bool fixedSeed;
        int64_t seed;
        int64_t epoch;
    } cases[] = {{false, 0, 1700000000}, {true, 1234, 1234}, {true, 0, 0}};
    for (const Case& tc : cases) {
        log_ = Log();
        Options options;
        options.fixedSeed = tc.fixedSeed;
        options.seed = tc.seed;
        ASSERT_EQ(Run("frames 120\n", options), 0) << stderr_;
        ASSERT_EQ(log_.ticks.size(), 120u);
        for (size_t i = 0; i < log_.ticks.size(); ++i) {
            double expected = (i + 1) * 1e6 / 60.0;
            EXPECT_NEAR(static_cast<double>(Micros(log_.ticks[i], tc.epoch)), expected, 1.0) << "tick " << i;
        }
        EXPECT_EQ(log_.ticks.back().seconds, tc.epoch + 2);
    }
}

TEST_F(HeadlessRun, ANewPeriodTakesEffectAtOnce) {
    // From the script (resign / become) and from inside a tick (tick 7 switches to 0.1 s).
    log_.changeIntervalAtTick[7] = 0.1;
    ASSERT_EQ(Run("frames 3\nresign\nframes 2\nbecome\nframes 4\n"), 0) << stderr_;
    const double t3 = 3e6 / 60.0;
    const double expected[] = {1e6 / 60,           2e6 / 60,           t3,
                               t3 + 200000,        t3 + 400000,        t3 + 400000 + 1e6 / 60,
                               t3 + 400000 + 2e6 / 60, t3 + 400000 + 2e6 / 60 + 100000,
                               t3 + 400000 + 2e6 / 60 + 200000};
    ASSERT_EQ(log_.ticks.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_NEAR(static_cast<double>(Micros(log_.ticks[i], 1700000000)), expected[i], 1.0) << "tick " << i;
    }
}

TEST_F(HeadlessRun, TimersFireInTheOrderOfTheirNextFireTime) {
    log_.extraTimers = true;
    log_.changeIntervalAtTick[1] = 1000.0;  // the frame timer moves out of the way
    ASSERT_EQ(Run("seconds 0.15\n"), 0) << stderr_;
    const std::vector<std::string> names = {"frame", "a", "b", "a", "a", "b", "a", "a", "b"};
    const int64_t micros[] = {16667, 30000, 50000, 60000, 90000, 100000, 120000, 150000, 150000};
    ASSERT_EQ(log_.tickNames, names);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(Micros(log_.ticks[i], 1700000000)), micros[i], 1.0) << i;
    }
}

TEST_F(HeadlessRun, AccelerometerReadsEveryFiftyMillisecondsOfSimulatedTime) {
    log_.accelerometer = true;
    ASSERT_EQ(Run("seconds 1\naccel 0.25 -0.5 -0.75\nframes 8\nshake\nseconds 0.4\n"), 0) << stderr_;
    // 20 rest readings, then 2 during eight frames (0.133 s), then 8 in 0.4 s: the shake.
    ASSERT_EQ(log_.readings.size(), 30u);
    for (size_t i = 0; i < log_.readings.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(Micros(log_.readings[i].when, 1700000000)), (i + 1) * 50000.0, 1.0) << i;
    }
    for (size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(log_.readings[i].x, 0.0);
        EXPECT_EQ(log_.readings[i].y, 0.0);
        EXPECT_EQ(log_.readings[i].z, -1.0);
    }
    const double shakeX[] = {0.25, 0.25, 1.5, 1.5, 1.5, -1.5, -1.5, -1.5, 0.25, 0.25};
    for (size_t i = 20; i < 30; ++i) {
        EXPECT_EQ(log_.readings[i].x, shakeX[i - 20]) << i;
        EXPECT_EQ(log_.readings[i].y, -0.5) << i;
        EXPECT_EQ(log_.readings[i].z, -0.75) << i;
    }
}

TEST_F(HeadlessRun, ReadingsStopWithoutADelegate) {
    log_.accelerometer = true;
    log_.clearDelegateAtReading = 3;
    ASSERT_EQ(Run("seconds 2\n"), 0) << stderr_;
    EXPECT_EQ(log_.readings.size(), 3u);
}

TEST_F(HeadlessRun, TouchObjectsKeepTheirIdentityFromBeganToEnded) {
    ASSERT_EQ(Run("down 1 10 20 2 30 40\n"
                  "move 1 11 21\n"
                  "up 2\n"
                  "move 1 12 22\n"
                  "down 3 5 6\n"
                  "up 1 13 23 3\n"
                  "down 4 7 8\n"
                  "cancel 4\n"),
              0)
        << stderr_;
    const auto& t = log_.touches;
    ASSERT_EQ(t.size(), 8u);
    struct Expect {
        const char* kind;
        std::vector<int64_t> ids;
        std::vector<int64_t> all;
    } expected[] = {
        {"began", {1, 2}, {1, 2}}, {"moved", {1}, {1, 2}},    {"ended", {2}, {1, 2}},
        {"moved", {1}, {1}},       {"began", {3}, {1, 3}},    {"ended", {1, 3}, {1, 3}},
        {"began", {4}, {4}},       {"cancelled", {4}, {4}},
    };
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].kind, expected[i].kind) << i;
        EXPECT_EQ(t[i].ids, expected[i].ids) << i;
        EXPECT_EQ(t[i].all, expected[i].all) << i;
    }
    // Finger 1 is one object from began to ended; its last position is the up's.
    const Touch* one = t[0].addresses[0];
    EXPECT_EQ(t[1].addresses[0], one);
    EXPECT_EQ(t[3].addresses[0], one);
    EXPECT_EQ(t[5].addresses[0], one);
    EXPECT_EQ(t[2].addresses[0], t[0].addresses[1]);
    EXPECT_FLOAT_EQ(t[1].locations[0].x, 11.0f);
    EXPECT_FLOAT_EQ(t[2].locations[0].y, 40.0f);  // lifted where it was
    EXPECT_FLOAT_EQ(t[5].locations[0].x, 13.0f);
    EXPECT_FLOAT_EQ(t[5].locations[0].y, 23.0f);
    EXPECT_FLOAT_EQ(t[5].locations[1].x, 5.0f);
}

TEST_F(HeadlessRun, WithoutMultipleTouchOnlyTheFirstFingerIsSeen) {
    log_.singleTouch = true;
    ASSERT_EQ(Run("down 1 10 10 2 20 20\nmove 2 21 21\nmove 1 11 11 2 22 22\nup 1\ndown 3 5 5\nup 2 3\n"), 0)
        << stderr_;
    const auto& t = log_.touches;
    ASSERT_EQ(t.size(), 5u);
    const char* kinds[] = {"began", "moved", "ended", "began", "ended"};
    for (size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].kind, kinds[i]) << i;
        EXPECT_EQ(t[i].all, t[i].ids) << i;
    }
    EXPECT_EQ(t[0].ids, std::vector<int64_t>{1});
    EXPECT_EQ(t[2].ids, std::vector<int64_t>{1});
    // Finger 2 never reached the view; 3 came down while 2 was still held by the system.
    EXPECT_EQ(t[3].ids, std::vector<int64_t>{3});
    EXPECT_EQ(t[4].ids, std::vector<int64_t>{3});
}

TEST_F(HeadlessRun, PathsAreTakenFromWhereTheProgramStarted) {
    const fs::path before = fs::current_path();
    fs::create_directories(dir_ / "bundle");
    fs::current_path(dir_);
    std::ofstream("script.txt") << "frames 1\npng shot.png\n";
    log_.gl = true;
    log_.enterDir = (dir_ / "bundle").string();
    Options options;
    options.headless = true;
    options.bundleDir = "bundle";
    options.scriptPath = "script.txt";
    std::string bundle;
    ::testing::internal::CaptureStderr();
    int status = ApplicationMain(options, [this, &bundle](View* view) -> std::unique_ptr<AppDelegate> {
        bundle = BundlePath();
        return std::make_unique<FakeApp>(view, &log_);
    });
    std::string err = ::testing::internal::GetCapturedStderr();
    fs::current_path(before);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(bundle, (dir_ / "bundle").string());
    EXPECT_TRUE(fs::exists(dir_ / "shot.png"));
    EXPECT_FALSE(fs::exists(dir_ / "bundle" / "shot.png"));
}

TEST(ConsoleLog, WritesOneLine) {
    ::testing::internal::CaptureStderr();
    ConsoleLog("failed to make complete framebuffer object %x", 0x8cd6u);
    ConsoleLog("already ends\n");
    ConsoleLog("%s", std::string(3000, 'a').c_str());
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "failed to make complete framebuffer object 8cd6\nalready ends\n" + std::string(3000, 'a') + "\n");
}

TEST_F(HeadlessRun, OrientationIsNotifiedWhileGenerating) {
    ASSERT_EQ(Run("orientation 3\norientation 4\n"), 0) << stderr_;
    EXPECT_EQ(log_.orientationNotes, 2);

    Device* device = Device::Current();
    int notes = 0;
    int token = device->AddOrientationObserver([&notes] { ++notes; });
    device->SetOrientation(2);  // not generating: stored, not told
    EXPECT_EQ(notes, 0);
    EXPECT_EQ(device->Orientation(), 2);
    device->BeginGeneratingOrientationNotifications();
    device->SetOrientation(3);
    device->RemoveOrientationObserver(token);
    device->SetOrientation(4);
    EXPECT_EQ(notes, 1);
    *device = Device();
}

struct Png {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

bool ReadPng(const fs::path& path, Png* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->rgba.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr) != 0;
}

TEST_F(HeadlessRun, PngWritesTheLastPresentedFrame) {
    log_.gl = true;
    log_.clearColor[0] = 200;
    log_.clearColor[1] = 40;
    log_.clearColor[2] = 10;
    Options options;
    options.scale = 2;
    const std::string script = "frames 1\npng shots/one.png\npng " + (dir_ / "abs.png").string() + "\n";
    ASSERT_EQ(Run(script.c_str(), options), 0) << stderr_;
    for (const fs::path& p : {dir_ / "shots" / "one.png", dir_ / "abs.png"}) {
        Png png;
        ASSERT_TRUE(ReadPng(p, &png)) << p;
        EXPECT_EQ(png.width, 640);
        EXPECT_EQ(png.height, 960);
        const uint8_t* c = png.At(320, 480);
        EXPECT_NEAR(c[0], 200, 1);
        EXPECT_NEAR(c[1], 40, 1);
        EXPECT_NEAR(c[2], 10, 1);
        EXPECT_EQ(c[3], 255);
        // The mark is at the top left: frames go top row first.
        EXPECT_EQ(png.At(0, 0)[0], 255);
        EXPECT_EQ(png.At(3, 1)[1], 255);
        EXPECT_NEAR(png.At(4, 0)[0], 200, 1);
        EXPECT_NEAR(png.At(0, 2)[0], 200, 1);
        EXPECT_NEAR(png.At(0, 959)[0], 200, 1);
    }
    Frame last = LastPresentedFrame();
    EXPECT_EQ(last.width, 640);
    EXPECT_EQ(last.height, 960);
}

// A present nobody takes is only finished; a `png` line reads the latest
// frame back once, however many lines write it.
TEST_F(HeadlessRun, FramesAreReadBackOnlyWhenAPngLineTakesThem) {
    log_.gl = true;
    log_.redIsTickCount = true;
    struct Case {
        const char* script;
        int reads;
        std::vector<std::pair<const char*, int>> pngs;  // file, red of its frame
    };
    const Case cases[] = {
        {"frames 10\n", 0, {}},
        {"frames 3\npng a.png\nframes 2\npng b.png\npng c.png\nframes 4\n", 2,
         {{"a.png", 3}, {"b.png", 5}, {"c.png", 5}}},
    };
    for (const Case& c : cases) {
        log_ = Log();
        log_.gl = true;
        log_.redIsTickCount = true;
        g_readPixelsCalls = 0;
        ASSERT_EQ(Run(c.script), 0) << c.script << stderr_;
        EXPECT_EQ(g_readPixelsCalls, c.reads) << c.script;
        for (const auto& [file, red] : c.pngs) {
            Png png;
            ASSERT_TRUE(ReadPng(dir_ / file, &png)) << file;
            EXPECT_NEAR(png.At(100, 100)[0], red, 1) << c.script << file;
        }
    }
}

TEST_F(HeadlessRun, WithoutAScriptRuns120FramesAndWritesFramePng) {
    log_.gl = true;
    ASSERT_EQ(Run(nullptr), 0) << stderr_;
    EXPECT_EQ(log_.ticks.size(), 120u);
    Png png;
    ASSERT_TRUE(ReadPng(dir_ / "frame.png", &png));
    EXPECT_EQ(png.width, 320);
    EXPECT_EQ(png.height, 480);
}

TEST_F(HeadlessRun, ScriptErrorsFailWithTheScriptLine) {
    // Found before launch: nothing starts.
    EXPECT_EQ(Run("frames 1\nfly 2\n"), 1);
    EXPECT_FALSE(launched_);
    const std::string script = (dir_ / "script.txt").string();
    EXPECT_EQ(stderr_, "orbelline: " + script + ":2: unknown command \"fly\"\n");

    // Found while running: the application is torn down first.
    EXPECT_EQ(Run("frames 1\npng a.png\nframes 3\n"), 1);
    EXPECT_TRUE(launched_);
    EXPECT_EQ(log_.calls.back(), "destroyed");
    EXPECT_EQ(log_.ticks.size(), 1u);
    EXPECT_EQ(stderr_, "orbelline: " + script + ":2: png: no frame has been presented\n");
    EXPECT_FALSE(fs::exists(dir_ / "a.png"));
}

TEST_F(HeadlessRun, MissingScriptAndNoTimerAreFailures) {
    Options options;
    options.headless = true;
    options.scriptPath = (dir_ / "none.txt").string();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplicationMain(options, [](View*) { return std::unique_ptr<AppDelegate>(); }), 1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("none.txt: cannot read the script"), std::string::npos) << err;

    log_.changeIntervalAtTick[2] = 0.5;
    EXPECT_EQ(Run("frames 1\nresign\nframes 1\n"), 0) << stderr_;
    // With the frame timer gone, `frames` would wait for ever.
    class NoTimer : public AppDelegate {
        void DidFinishLaunching() override {}
        void WillResignActive() override {}
        void DidBecomeActive() override {}
        void WillTerminate() override {}
    };
    options.scriptPath = (dir_ / "script.txt").string();
    std::ofstream(options.scriptPath) << "frames 1\n";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ApplicationMain(options, [](View*) { return std::make_unique<NoTimer>(); }), 1);
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("script.txt:1: frames: no timer is running"), std::string::npos) << err;
}

TEST_F(HeadlessRun, NullDelegateReturnsOneAfterTearingDown) {
    Options options;
    options.headless = true;
    options.outputDir = dir_.string();
    PFN_CLOCK before = eSetClock(nullptr);
    eSetClock(before);
    ::testing::internal::CaptureStderr();
    int status = ApplicationMain(options, [](View* view) {
        ScheduleRepeatingTimer(0.1, [] {});
        view->Layer()->opaque = true;
        return std::unique_ptr<AppDelegate>();
    });
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    // The simulated clock is gone again and the next run starts afresh.
    EXPECT_EQ(eSetClock(before), before);
    EXPECT_EQ(Run("frames 1\n"), 0) << stderr_;
    EXPECT_NEAR(static_cast<double>(Micros(log_.ticks[0], 1700000000)), 1e6 / 60, 1.0);
}

}  // namespace
}  // namespace platform
