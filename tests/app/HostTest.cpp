// The host view: start-up and shut-down log, the failure paths of loading the
// world, the touch table, the accelerometer filter and the animation timer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/EAGLView.h"
#include "app/OrbellineWorld.h"
#include "app/OrbellineAppDelegate.h"
#include "platform/Platform.h"
#include "engine/3d/gles/3DEngineGLES.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A bundle directory of its own, entered for the test and left afterwards.
class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_TRUE(getcwd(cwd, sizeof(cwd)));
        previousDir_ = cwd;
        bundle_ = ::testing::TempDir() + "orbelline_host_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        mkdir(bundle_.c_str(), 0755);
        mkdir((bundle_ + "/Data").c_str(), 0755);
        WritePack();
        ASSERT_EQ(chdir(bundle_.c_str()), 0);
    }
    void TearDown() override {
        EAGLView::SetRendererApi(nullptr);
        ASSERT_EQ(chdir(previousDir_.c_str()), 0);
        std::remove((bundle_ + "/Data/Orbelline.res.pak").c_str());
        std::remove((bundle_ + "/Data/Orbelline.log").c_str());
        rmdir((bundle_ + "/Data").c_str());
        rmdir(bundle_.c_str());
    }
    // The pack the build assembled.
    void WritePack() {
        std::string app = ORBELLINE_APP;
        std::ifstream in(app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak", std::ios::binary);
        ASSERT_TRUE(in.good());
        std::ofstream((bundle_ + "/Data/Orbelline.res.pak").c_str(), std::ios::binary) << in.rdbuf();
    }
    std::string Log() const { return ReadFile(bundle_ + "/Data/Orbelline.log"); }

    std::string previousDir_;
    std::string bundle_;
    platform::View view_;
};

const char* const kStartLines[] = {
    "# STARTED...",
    "# RELEASE build",
    "# PARAM_NAME = \"Orbelline.Engine.ini\"",
    "# PARAM_NAME_EX = \"Orbelline.Appli.ini\"",
    "# DEFAULT_INI_PATH = \"Data/\"",
    "# DEFAULT_DLL_PATH = \"\"",
    "# DEFAULT_DATA_PATH = \"Data/\"",
    "# RES__PACKER build",
};
const char kStamp[] = "[A-Z][a-z]{2} [ 0-9]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}";

TEST_F(BundleTest, StartUpAndShutDownTraceExactlyTheirLines) {
    {
        std::unique_ptr<EAGLView> view = EAGLView::initWithCoder(&view_);
        ASSERT_TRUE(view);
        EXPECT_NE(view->World(), nullptr);
        EXPECT_DOUBLE_EQ(view->animationInterval(), 1.0 / 60.0);
        EXPECT_DOUBLE_EQ(platform::Accelerometer::Shared()->UpdateInterval(), 0.05);
        EXPECT_TRUE(view_.MultipleTouchEnabled());
        EXPECT_TRUE(view_.Layer()->opaque);
        EXPECT_FALSE(view_.Layer()->retainedBacking);
        EXPECT_TRUE(platform::Device::Current()->GeneratingOrientationNotifications());
    }
    EXPECT_FALSE(platform::Device::Current()->GeneratingOrientationNotifications());

    std::vector<std::string> lines = Lines(Log());
    ASSERT_EQ(lines.size(), 13u) << Log();
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(lines[i], kStartLines[i]) << i;
    EXPECT_TRUE(std::regex_match(lines[8], std::regex(std::string("# \"eKavrosSDK\" \\(v3,0\\) build: ") + kStamp)))
        << lines[8];
    EXPECT_TRUE(std::regex_match(lines[9], std::regex(std::string("# \"OpenGLES 1.1\" \\(v1,0\\) build: ") + kStamp)))
        << lines[9];
    EXPECT_TRUE(std::regex_match(lines[10], std::regex(std::string("# \"Orbelline\" \\(v1,1\\) build: ") + kStamp)))
        << lines[10];
    EXPECT_EQ(lines[11], "# pWorld->Unload");
    EXPECT_EQ(lines[12], "# ENDED.");
    EXPECT_EQ(Log().substr(Log().size() - 9), "# ENDED.\n");
}

// Renderer sets that make each later step of loading fail.
eRESULT OtherRendererInfos(ENUM_DEVICE* d) {
    std::snprintf(d->szName, sizeof(d->szName), "Software 0.1");
    d->dwFlags = 0x01000020;
    return eOK;
}
void* NoDevice() { return nullptr; }

TEST_F(BundleTest, EachLoadFailureTracesItsLineAndEndsTheLog) {
    const _pft_eKavrosApiFctSet noEnum = {nullptr, InstallApi_3D_GLES, UninstallApi_3D_GLES};
    const _pft_eKavrosApiFctSet otherRenderer = {OtherRendererInfos, InstallApi_3D_GLES, UninstallApi_3D_GLES};
    const _pft_eKavrosApiFctSet noDevice = {GetInfos_3D_GLES, NoDevice, UninstallApi_3D_GLES};
    struct Case {
        const char* what;
        const _pft_eKavrosApiFctSet* api;
        bool pack;
        const char* line;  // the failure's own line, or null for none
    };
    const Case cases[] = {
        {"missing pack", nullptr, false, nullptr},
        {"no device enumerated", &noEnum, true, "# EnumDevices failed! (dwCount=0, \"\")"},
        // The name comes from the device record at the unmapped row (5): empty.
        {"renderer not offered", &otherRenderer, true, "# ValidPlatform failed! (\"\", \"\")"},
        {"device not installed", &noDevice, true, "# pWorld->Load(0x0, 320x480:1) failed!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.pack) WritePack();
        else std::remove("Data/Orbelline.res.pak");
        EAGLView::SetRendererApi(c.api);
        EXPECT_EQ(EAGLView::initWithCoder(&view_), nullptr);

        std::vector<std::string> lines = Lines(Log());
        ASSERT_GE(lines.size(), 10u) << Log();
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(lines[i], kStartLines[i]);
        size_t tail = lines.size() - 2;
        EXPECT_EQ(lines[tail], "# pWorld->Unload");
        EXPECT_EQ(lines[tail + 1], "# ENDED.");
        if (c.line) {
            EXPECT_EQ(lines[tail - 1], c.line);
        } else {
            EXPECT_EQ(tail, 8u);  // nothing between the pack line and the shut-down
        }
    }
}

// Touches with fixed locations for the table tests.
struct Fingers {
    explicit Fingers(int n) : touches(n) {
        for (int i = 0; i < n; ++i) {
            touches[i].id = i;
            touches[i].location = {10.0f * i, 20.0f * i};
        }
    }
    platform::TouchSet Set(std::initializer_list<int> ids) {
        platform::TouchSet set;
        for (int id : ids) set.push_back(&touches[id]);
        return set;
    }
    std::vector<platform::Touch> touches;
};

TEST(TouchTable, ElevenFingersFillTenSlotsAndTheLateOneGetsAFreedSlot) {
    Fingers f(11);
    platform::Touch* table[10] = {};
    platform::View view;
    platform::Event event{f.Set({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})};

    TOUCH_MESSAGE m = EAGLView::BuildTouchMessage(0, event.allTouches, &event, table, &view);
    EXPECT_EQ(m.type, 0);
    EXPECT_EQ(m.count, 10);  // the eleventh is not recorded
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(m.touchSlot[i], i);
        EXPECT_EQ(m.touchX[i], 10.0f * i);
        EXPECT_EQ(table[i], &f.touches[i]);
    }
    EXPECT_EQ(m.event, &event);

    // Finger 3 lifts: its slot frees.
    m = EAGLView::BuildTouchMessage(2, f.Set({3}), &event, table, &view);
    EXPECT_EQ(m.count, 1);
    EXPECT_EQ(m.touchSlot[0], 3);
    EXPECT_EQ(table[3], nullptr);

    // The finger that began while the table was full now moves: first free slot.
    m = EAGLView::BuildTouchMessage(1, f.Set({10}), &event, table, &view);
    EXPECT_EQ(m.count, 1);
    EXPECT_EQ(m.touchSlot[0], 3);
    EXPECT_EQ(m.touchX[0], 100.0f);
    EXPECT_EQ(table[3], &f.touches[10]);

    // A began for a finger already in the table is not recorded.
    m = EAGLView::BuildTouchMessage(0, f.Set({5}), &event, table, &view);
    EXPECT_EQ(m.count, 0);
}

TEST(TouchTable, AnEndedTouchNeverRecordedTakesNoSlot) {
    Fingers f(3);
    platform::Touch* table[10] = {};
    platform::View view;
    platform::Event event{f.Set({0, 1})};
    TOUCH_MESSAGE m = EAGLView::BuildTouchMessage(2, f.Set({1}), &event, table, &view);
    EXPECT_EQ(m.count, 0);  // nothing to end
    for (platform::Touch* slot : table) EXPECT_EQ(slot, nullptr);
    // The single-touch position comes from the event's touches.
    EXPECT_EQ(m.x, 0.0f);
    EXPECT_EQ(m.y, 0.0f);

    m = EAGLView::BuildTouchMessage(0, f.Set({2}), &event, table, &view);
    EXPECT_EQ(m.touchSlot[0], 0);

    // A moved touch in the table keeps its slot.
    m = EAGLView::BuildTouchMessage(1, f.Set({2}), &event, table, &view);
    EXPECT_EQ(m.count, 1);
    EXPECT_EQ(m.touchSlot[0], 0);
    EXPECT_EQ(m.touchX[0], 20.0f);
    EXPECT_EQ(m.touchY[0], 40.0f);
}

TEST(TouchTable, EndingMoreThanTenInOneEventFreesEverySlot) {
    // Ten fingers in the table, an eleventh one moving in as soon as a slot
    // frees; then all eleven lift in one event. The record stops at ten, the
    // table does not.
    Fingers f(11);
    platform::Touch* table[10] = {};
    platform::View view;
    platform::Event event{f.Set({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})};
    EAGLView::BuildTouchMessage(0, event.allTouches, &event, table, &view);
    EAGLView::BuildTouchMessage(2, f.Set({0}), &event, table, &view);
    EAGLView::BuildTouchMessage(1, f.Set({10}), &event, table, &view);
    ASSERT_EQ(table[0], &f.touches[10]);
    TOUCH_MESSAGE m = EAGLView::BuildTouchMessage(0, f.Set({0}), &event, table, &view);
    EXPECT_EQ(m.count, 0);  // full again: finger 0 is not recorded
    m = EAGLView::BuildTouchMessage(2, f.Set({10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), &event, table, &view);
    EXPECT_EQ(m.count, 10);
    for (platform::Touch* slot : table) EXPECT_EQ(slot, nullptr);
}

TEST_F(BundleTest, CancelledTouchesFreeTheirSlots) {
    std::unique_ptr<EAGLView> view = EAGLView::initWithCoder(&view_);
    ASSERT_TRUE(view);
    Fingers f(2);
    platform::Event event{f.Set({0, 1})};
    view->TouchesBegan(event.allTouches, &event);
    ASSERT_EQ(view->TouchTable()[0], &f.touches[0]);
    ASSERT_EQ(view->TouchTable()[1], &f.touches[1]);
    view->TouchesCancelled(event.allTouches, &event);
    EXPECT_EQ(view->TouchTable()[0], nullptr);
    EXPECT_EQ(view->TouchTable()[1], nullptr);
    // The world learnt that they are up: a later finger in slot 0 is a new
    // one, not a move of the cancelled finger.
    EXPECT_EQ(view->World()->m_pSharedInfos->m_abMouseDown[0], 0);
    view->TouchesEnded(event.allTouches, &event);  // ended after cancelled: nothing
    EXPECT_EQ(view->TouchTable()[0], nullptr);
}

TEST_F(BundleTest, AccelerometerIsLowPassFilteredAndZStaysZero) {
    std::unique_ptr<EAGLView> view = EAGLView::initWithCoder(&view_);
    ASSERT_TRUE(view);
    EXPECT_EQ(platform::Accelerometer::Shared()->Delegate(), view.get());
    view->DidAccelerate(1.0, -2.0, 5.0);
    EXPECT_DOUBLE_EQ(view->AccelerationX(), 0.5);
    EXPECT_DOUBLE_EQ(view->AccelerationY(), -1.0);
    view->DidAccelerate(1.0, 2.0, -5.0);
    EXPECT_DOUBLE_EQ(view->AccelerationX(), 0.75);
    EXPECT_DOUBLE_EQ(view->AccelerationY(), 0.5);
    EXPECT_DOUBLE_EQ(view->AccelerationZ(), 0.0);
    view.reset();
    EXPECT_EQ(platform::Accelerometer::Shared()->Delegate(), nullptr);
}

TEST_F(BundleTest, DelegateChangesThePeriodOfARunningTimerAtOnce) {
    std::unique_ptr<EAGLView> glView = EAGLView::initWithCoder(&view_);
    ASSERT_TRUE(glView);
    EAGLView* view = glView.get();

    view->setAnimationInterval(0.5);  // no timer yet: just stored
    EXPECT_EQ(view->animationTimer(), nullptr);

    OrbellineAppDelegate delegate(&view_, std::move(glView));
    delegate.DidFinishLaunching();
    platform::Timer* first = view->animationTimer();
    ASSERT_NE(first, nullptr);
    EXPECT_DOUBLE_EQ(first->Interval(), 1.0 / 60.0);

    delegate.WillResignActive();
    platform::Timer* second = view->animationTimer();
    EXPECT_FALSE(first->IsValid());
    ASSERT_NE(second, first);
    EXPECT_TRUE(second->IsValid());
    EXPECT_DOUBLE_EQ(second->Interval(), 0.2);

    delegate.DidBecomeActive();
    EXPECT_FALSE(second->IsValid());
    EXPECT_DOUBLE_EQ(view->animationTimer()->Interval(), 1.0 / 60.0);

    delegate.WillTerminate();
    EXPECT_EQ(delegate.glView(), nullptr);
    std::string log = Log();
    EXPECT_EQ(log.substr(log.size() - 9), "# ENDED.\n");
}

TEST_F(BundleTest, LayoutBuildsACompleteFramebufferAndDrawsAFrame) {
    std::unique_ptr<EAGLView> view = EAGLView::initWithCoder(&view_);
    ASSERT_TRUE(view);
    platform::Frame presented;
    platform::SetPresentHandler([&](const platform::Frame& f) { presented = f; });
    view->LayoutSubviews();
    platform::SetPresentHandler(nullptr);
    EXPECT_NE(view->Framebuffer(), 0u);
    ASSERT_EQ(presented.width, 320);
    ASSERT_EQ(presented.height, 480);
    GLint stencilBits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    EXPECT_EQ(stencilBits, 8);
    // The scene is drawn over the whole frame, not one colour (the layer is
    // opaque, so the alpha the blending leaves does not show).
    std::set<uint32_t> colours;
    for (size_t i = 0; i < presented.rgba.size(); i += 4 * 97) {
        colours.insert(presented.rgba[i] << 16 | presented.rgba[i + 1] << 8 | presented.rgba[i + 2]);
    }
    EXPECT_GT(colours.size(), 100u);
}

}  // namespace
