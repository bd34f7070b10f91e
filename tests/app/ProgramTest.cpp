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
#include <vector>

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
    static std::string BuiltPack() {
        const std::string app = ORBELLINE_APP;
        return app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak";
    }
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

// One refusal line on stderr (the engine's own trace lines aside), naming
// what was wrong, with no raw control byte.
void ExpectOneCleanLine(const std::string& err, const std::string& needle) {
    std::vector<std::string> refusals;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("orbelline: ", 0) == 0) refusals.push_back(line);
    ASSERT_EQ(refusals.size(), 1u) << err;
    EXPECT_NE(refusals[0].find(needle), std::string::npos) << err;
    for (unsigned char c : refusals[0]) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << err;
}

// A bundle that cannot be used stops the program before it starts: nothing
// in the bundle's log changes, and no pack or log of the folder it was
// started in is touched.
TEST_F(ProgramTest, AnUnusableBundleIsRefusedAndNothingIsTouched) {
    struct Case {
        const char* name;
        std::string setup;  // shell run in the test folder
        const char* says;
    };
    const Case cases[] = {
        {"no pack", "rm bundle/Data/Orbelline.res.pak", "Data/Orbelline.res.pak: No such file or directory"},
        {"pack is a device", "rm bundle/Data/Orbelline.res.pak && ln -s /dev/zero bundle/Data/Orbelline.res.pak",
         "Data/Orbelline.res.pak: is not a regular file"},
        {"pack is a folder", "rm bundle/Data/Orbelline.res.pak && mkdir bundle/Data/Orbelline.res.pak",
         "Data/Orbelline.res.pak: is a directory"},
        {"empty bundle", "rm -r bundle/Data", "Data/Orbelline.res.pak: No such file or directory"},
        {"bundle is a file", "rm -r bundle && echo x > bundle", "is not a directory"},
        {"no bundle", "rm -r bundle", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Shell("cd '" + dir_ + "' && rm -rf bundle here && mkdir -p bundle/Data here/Data && cp '" +
                        BuiltPack() + "' bundle/Data/ && cp '" + BuiltPack() + "' here/Data/ && " +
                        "echo previous > bundle/Data/Orbelline.log && echo previous > here/Data/Orbelline.log && " +
                        c.setup),
                  0);
        EXPECT_EQ(Shell("cd '" + dir_ + "/here' && " + Program() + " --headless 2>'" + dir_ + "/err'"), 1);
        ExpectOneCleanLine(ReadFile(dir_ + "/err"), std::string("orbelline: ") + dir_ + "/bundle: " + c.says);
        EXPECT_EQ(ReadFile(dir_ + "/here/Data/Orbelline.log"), "previous\n");
        struct stat st{};
        if (stat((dir_ + "/bundle/Data/Orbelline.log").c_str(), &st) == 0) {
            EXPECT_EQ(ReadFile(dir_ + "/bundle/Data/Orbelline.log"), "previous\n");
        }
    }
}

// Scripts that are not small text files are refused before anything runs.
TEST_F(ProgramTest, ScriptsThatAreNotSmallTextAreRefused) {
    struct Case {
        const char* name;
        std::string path;
        std::string text;  // written to `path` unless empty
        const char* says;
    };
    const std::string d = dir_ + "/";
    std::string longLine = "down";
    for (int i = 0; i < 200; ++i) longLine += " " + std::to_string(i) + " 10 10";
    const Case cases[] = {
        {"a device", "/dev/zero", "", "/dev/zero: cannot read the script: is not a regular file"},
        {"a folder", d + "out", "", "out: cannot read the script: is a directory"},
        {"a NUL in a word", d + "nul.script", std::string("frames 1\0junk\n", 14), "nul.script:1: control byte 0x00"},
        {"an escape byte", d + "esc.script", "frames 1\njump \033[31m\n", "esc.script:2: control byte 0x1b"},
        {"too long a line", d + "long.script", longLine + "\n", "long.script:1: line is longer than 1024 bytes"},
        {"over a MiB", d + "big.script", std::string(2 << 20, '#'), "big.script: cannot read the script: is larger than 1 MiB"},
        {"missing", d + "none.script", "", "none.script: cannot read the script: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.text.empty()) std::ofstream(c.path, std::ios::binary) << c.text;
        EXPECT_EQ(Shell(Program() + " --headless --script '" + c.path + "' 2>'" + dir_ + "/err'"), 1);
        ExpectOneCleanLine(ReadFile(dir_ + "/err"), c.says);
    }
}

// A png target that is not a regular file is refused and left as it was.
TEST_F(ProgramTest, APngTargetThatIsNotAFileIsLeftAlone) {
    ASSERT_EQ(Shell("mkdir -p '" + dir_ + "/out/shot.png' && ln -s /dev/null '" + dir_ + "/out/null.png'"), 0);
    for (const char* target : {"shot.png", "null.png"}) {
        SCOPED_TRACE(target);
        std::ofstream(dir_ + "/s.script") << "frames 2\npng " << target << "\n";
        EXPECT_EQ(Shell(Program() + " --headless --script '" + dir_ + "/s.script' 2>'" + dir_ + "/err'"), 1);
        ExpectOneCleanLine(ReadFile(dir_ + "/err"), std::string("cannot write ") + dir_ + "/out/" + target);
    }
    struct stat st{};
    ASSERT_EQ(stat((dir_ + "/out/shot.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(lstat((dir_ + "/out/null.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // No temporary file is left beside the targets.
    EXPECT_EQ(Shell("test -z \"$(ls '" + dir_ + "/out' | grep -v -x -e shot.png -e null.png)\""), 0);
}

// The width and height in a PNG's header (0 x 0 when it is not one).
std::pair<uint32_t, uint32_t> PngSize(const std::string& bytes) {
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be = [&bytes](size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
               static_cast<unsigned char>(bytes[at + 3]);
    };
    return {be(16), be(20)};
}

TEST_F(ProgramTest, WindowRunUnderAVirtualDisplayEndsTheLog) {
    if (Shell("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    const std::string shot = dir_ + "/out/window.png";
    const std::string stats = dir_ + "/out/stats.txt";
    ASSERT_EQ(Shell("xvfb-run -a -s '-screen 0 1280x1024x24' " + Program() +
                  " --window --stats --quit-after 1 --screenshot '" + shot + "' 2>/dev/null >'" + stats + "'"),
              0);
    EXPECT_TRUE(EndsWith(Log(), "# ENDED.\n")) << Log();
    // The last frame presented: the view's portrait pixels at the default
    // scale 2.
    EXPECT_EQ(PngSize(ReadFile(shot)), (std::pair<uint32_t, uint32_t>{640, 960}));
    EXPECT_NE(ReadFile(stats).find(" frames per second, frame interval p50 "), std::string::npos) << ReadFile(stats);
}

TEST_F(ProgramTest, StatsCountThePresentedFrames) {
    std::ofstream(dir_ + "/five.script") << "frames 5\n";
    const std::string stats = dir_ + "/out/stats.txt";
    ASSERT_EQ(Shell(Program() + " --stats --seed 1700000000 --script '" + dir_ + "/five.script' 2>/dev/null >'" +
                    stats + "'"),
              0);
    // The first frame is drawn when the view is laid out, then one a tick.
    EXPECT_EQ(ReadFile(stats).rfind("orbelline: 6 frames, ", 0), 0u) << ReadFile(stats);
    // Without the option nothing is printed.
    ASSERT_EQ(Shell(Program() + " --seed 1700000000 --script '" + dir_ + "/five.script' 2>/dev/null >'" + stats + "'"),
              0);
    EXPECT_EQ(ReadFile(stats), "");
}

}  // namespace
