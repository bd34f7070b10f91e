// Trace log, frame timer and random generator.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "engine/world/Clock.h"
#include "engine/world/Random.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/TimerFactor.h"
#include "engine/world/Trace.h"

namespace {

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "orbelline_" + name + "_" + std::to_string(::getpid());
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

TEST(Trace, InitEmptiesTheLogAndLinesAppendExactly) {
    std::string log = TempPath("trace");
    { std::ofstream(log) << "old content\n"; }
    eINIT_TRACE(log.c_str());
    EXPECT_EQ(ReadFile(log), "");

    testing::internal::CaptureStderr();
    eTRACE(log.c_str(), 1, "# first %d\n", 1);
    eTRACE(log.c_str(), 1, "# second %s", "no newline added");
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(ReadFile(log), "# first 1\n# second no newline added");
    EXPECT_EQ(err, "# first 1\n# second no newline added");
    std::remove(log.c_str());
}

TEST(Trace, DisabledOrPathlessWritesNothingAnywhere) {
    std::string log = TempPath("trace_off");
    std::remove(log.c_str());
    testing::internal::CaptureStderr();
    eTRACE(log.c_str(), 0, "# hidden\n");
    eTRACE(nullptr, 1, "# hidden too\n");
    eINIT_TRACE(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(FileExists(log));
}

TEST(Trace, LongMessagesAreCutTo1023Characters) {
    std::string log = TempPath("trace_long");
    eINIT_TRACE(log.c_str());
    std::string big(5000, 'x');
    testing::internal::CaptureStderr();
    eTRACE(log.c_str(), 1, "%s", big.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr().size(), 1023u);
    EXPECT_EQ(ReadFile(log), std::string(1023, 'x'));
    std::remove(log.c_str());
}

TEST(Trace, UnopenableLogStillGoesToStandardError) {
    testing::internal::CaptureStderr();
    eTRACE("/nonexistent-dir/orbelline.log", 1, "# still seen\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "# still seen\n");
}

// A settable clock for the timer tests.
eCLOCK_TIME g_fakeNow{};
eCLOCK_TIME FakeClock() { return g_fakeNow; }

class TimerFactorTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = eSetClock(&FakeClock);
        shared_ = std::make_unique<SHARED_INFOS>();
    }
    void TearDown() override { eSetClock(previous_); }
    void Advance(int64_t us) {
        const int64_t total = g_fakeNow.microseconds + us;
        g_fakeNow.seconds += total / 1000000;
        g_fakeNow.microseconds = static_cast<int32_t>(total % 1000000);
    }
    PFN_CLOCK previous_ = nullptr;
    std::unique_ptr<SHARED_INFOS> shared_;
};

TEST_F(TimerFactorTest, FactorIsFrameDurationTimes30) {
    g_fakeNow = {1700000000, 999000};  // steps cross a whole second
    CTimerFactor timer;
    ASSERT_EQ(timer.Load(shared_.get()), eOK);

    struct Case { int32_t us; double factor; double fps; };
    const Case cases[] = {{16667, 0.5, 60.0}, {33333, 1.0, 30.0}, {200000, 6.0, 5.0}};
    for (const Case& c : cases) {
        Advance(c.us);
        ASSERT_EQ(timer.OneStep(), eOK);
        EXPECT_NEAR(shared_->m_dFrameFactor, c.factor, 1e-4) << c.us;
        EXPECT_NEAR(shared_->m_dFramesPerSecond, c.fps, 1e-2) << c.us;
    }
    EXPECT_EQ(timer.Unload(), eOK);
}

TEST_F(TimerFactorTest, ZeroStepKeepsFramesPerSecondAndABackwardClockGivesNoTime) {
    g_fakeNow = {1000, 0};
    CTimerFactor timer;
    timer.Load(shared_.get());
    Advance(33333);
    timer.OneStep();
    double fps = shared_->m_dFramesPerSecond;
    timer.OneStep();  // no time passed
    EXPECT_EQ(shared_->m_dFrameFactor, 0.0);
    EXPECT_EQ(shared_->m_dFramesPerSecond, fps);

    // Stepped back within the run, and back past the time of Load: no time
    // passes either way, and nothing runs backwards.
    struct Case { eCLOCK_TIME back; const char* what; };
    const Case cases[] = {{{1000, 100000}, "after the base"}, {{400, 0}, "before the base"}};
    for (const Case& c : cases) {
        Advance(1000000);
        timer.OneStep();
        g_fakeNow = c.back;
        timer.OneStep();
        EXPECT_EQ(shared_->m_dFrameFactor, 0.0) << c.what;
        // From there on time is measured from the new reading.
        Advance(16667);
        timer.OneStep();
        EXPECT_NEAR(shared_->m_dFrameFactor, 0.5, 1e-4) << c.what;
    }

    // Forward by an hour: one long frame, then ordinary ones.
    Advance(3600 * 1000000LL);
    timer.OneStep();
    EXPECT_NEAR(shared_->m_dFrameFactor, 3600.0 * 30.0, 1e-3);
    Advance(16667);
    timer.OneStep();
    EXPECT_NEAR(shared_->m_dFrameFactor, 0.5, 1e-4);
}

TEST_F(TimerFactorTest, WithoutAnInstalledClockElapsedTimeIsMonotonic) {
    eSetClock(nullptr);
    // The elapsed clock is not the calendar: it starts near boot, not 1970.
    const eCLOCK_TIME calendar = eGetClock();
    const eCLOCK_TIME a = eGetElapsedClock();
    const eCLOCK_TIME b = eGetElapsedClock();
    EXPECT_NE(a.seconds, calendar.seconds);
    EXPECT_TRUE(b.seconds > a.seconds || (b.seconds == a.seconds && b.microseconds >= a.microseconds));
    CTimerFactor timer;
    timer.Load(shared_.get());
    timer.OneStep();
    EXPECT_GE(shared_->m_dFrameFactor, 0.0);
    EXPECT_LT(shared_->m_dFrameFactor, 30.0);  // well under a second between the two reads
}

TEST_F(TimerFactorTest, GetTimerCountReadsTheInstalledClock) {
    g_fakeNow = {123456, 7};
    EXPECT_EQ(GetTimerCount(), 123456);
    eSetClock(nullptr);
    EXPECT_GT(GetTimerCount(), 1600000000);  // the system clock again
}

TEST(Random, SeededSequenceMatchesMt19937Reference) {
    auto shared = std::make_unique<SHARED_INFOS>();
    INIT_RANDOM_INTERNAL(shared.get(), 5489);
    EXPECT_EQ(shared->m_wRandomIndex, 624);
    EXPECT_EQ(RANOM_INTERNAL(shared.get()), 3499211612u);
    EXPECT_EQ(RANOM_INTERNAL(shared.get()), 581869302u);
    EXPECT_EQ(RANOM_INTERNAL(shared.get()), 3890346734u);
    // The 10000th output of the reference generator, across many twists.
    for (int i = 3; i < 9999; ++i) RANOM_INTERNAL(shared.get());
    EXPECT_EQ(RANOM_INTERNAL(shared.get()), 4123659995u);
}

TEST(Random, SameSeedSameSequenceAndClockSeedIsReproducibleOnAFixedClock) {
    auto a = std::make_unique<SHARED_INFOS>();
    auto b = std::make_unique<SHARED_INFOS>();
    INIT_RANDOM_INTERNAL(a.get(), 42);
    INIT_RANDOM_INTERNAL(b.get(), 42);
    for (int i = 0; i < 700; ++i) ASSERT_EQ(RANOM_INTERNAL(a.get()), RANOM_INTERNAL(b.get()));

    g_fakeNow = {777, 0};
    PFN_CLOCK previous = eSetClock(&FakeClock);
    INIT_RANDOM_INTERNAL(a.get(), 0);
    INIT_RANDOM_INTERNAL(b.get(), 0);
    eSetClock(previous);
    EXPECT_NE(a->m_adwRandom[0], 0u);
    EXPECT_EQ(RANOM_INTERNAL(a.get()), RANOM_INTERNAL(b.get()));
}

}  // namespace
