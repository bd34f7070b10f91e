// The orbelline program run as a user runs it: headless with a script, and in
// a window under a virtual X server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A bundle of its own per test, holding a copy of the built pack.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "orbelline_program_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_EQ(Shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "/bundle/Data' '" + dir_ + "/out'"), 0);
        std::string app = ORBELLINE_APP;
        std::string builtPack = app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak";
        ASSERT_EQ(Shell("cp '" + builtPack + "' '" + dir_ + "/bundle/Data/'"), 0);
    }
    void TearDown() override { Shell("rm -rf '" + dir_ + "'"); }
    std::string Log() const { return ReadFile(dir_ + "/bundle/Data/Orbelline.log"); }
    std::string Program() const {
        return std::string("'") + ORBELLINE_APP + "' --bundle '" + dir_ + "/bundle' --out '" + dir_ + "/out'";
    }
    std::string dir_;
};

TEST_F(ProgramTest, ScriptedHeadlessRunWritesItsFramesAndEndsTheLog) {
    std::ofstream(dir_ + "/turn.script") << "frames 5\npng first.png\ndown 1 160 240\nmove 1 170 250\nup 1\n"
                                            "shake\nseconds 0.5\npng second.png\n";
    ASSERT_EQ(Shell(Program() + " --headless --seed 1700000000 --script '" + dir_ + "/turn.script' 2>/dev/null"), 0);
    EXPECT_TRUE(EndsWith(Log(), "# ENDED.\n")) << Log();
    struct stat st{};
    EXPECT_EQ(stat((dir_ + "/out/first.png").c_str(), &st), 0);
    EXPECT_EQ(stat((dir_ + "/out/second.png").c_str(), &st), 0);
}

TEST_F(ProgramTest, BadScriptAndBadOptionsFailWithAMessage) {
    std::ofstream(dir_ + "/bad.script") << "frames 2\njump 3\n";
    EXPECT_EQ(Shell(Program() + " --headless --script '" + dir_ + "/bad.script' 2>'" + dir_ + "/err'"), 1);
    EXPECT_NE(ReadFile(dir_ + "/err").find("bad.script:2:"), std::string::npos) << ReadFile(dir_ + "/err");
    EXPECT_EQ(Shell(Program() + " --scale 9 2>/dev/null"), 2);
    EXPECT_EQ(Shell(Program() + " --no-such-option 2>/dev/null"), 2);
    EXPECT_EQ(Shell(std::string("'") + ORBELLINE_APP + "' --help >/dev/null"), 0);
}

TEST_F(ProgramTest, MissingPackStopsWithStatusOne) {
    ASSERT_EQ(std::remove((dir_ + "/bundle/Data/Orbelline.res.pak").c_str()), 0);
    EXPECT_EQ(Shell(Program() + " --headless 2>/dev/null"), 1);
    EXPECT_TRUE(EndsWith(Log(), "# ENDED.\n")) << Log();
}

TEST_F(ProgramTest, WindowRunUnderAVirtualDisplayEndsTheLog) {
    if (Shell("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    const std::string shot = dir_ + "/out/window.png";
    ASSERT_EQ(Shell("xvfb-run -a -s '-screen 0 1280x1024x24' " + Program() +
                  " --window --quit-after 1 --screenshot '" + shot + "' 2>/dev/null"),
              0);
    EXPECT_TRUE(EndsWith(Log(), "# ENDED.\n")) << Log();
    struct stat st{};
    EXPECT_EQ(stat(shot.c_str(), &st), 0);
}

}  // namespace
