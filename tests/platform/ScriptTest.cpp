#include "platform/Script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

std::vector<ScriptCommand> ParseOk(const std::string& text) {
    std::vector<ScriptCommand> commands;
    ScriptError error;
    EXPECT_TRUE(ParseScript(text, &commands, &error)) << "line " << error.line << ": " << error.message;
    return commands;
}

TEST(ScriptParser, ReadsEveryCommandWithItsLine) {
    const std::string text =
        "# a comment line\n"
        "\n"
        "down 1 10 20   # trailing comment\n"
        "move 1 11.5 -2\n"
        "up 1\n"
        "down 2 1 1\n"
        "cancel 2\n"
        "accel 0.25 -0.5 -1\n"
        "shake\n"
        "orientation 4\n"
        "resign\n"
        "become\n"
        "frames 30\n"
        "seconds 0.5\n"
        "png out/a#1.png\n"
        "\tquit\r\n";
    std::vector<ScriptCommand> c = ParseOk(text);
    ASSERT_EQ(c.size(), 14u);
    const ScriptOp ops[] = {ScriptOp::kDown,   ScriptOp::kMove,        ScriptOp::kUp,     ScriptOp::kDown,
                            ScriptOp::kCancel, ScriptOp::kAccel,       ScriptOp::kShake,  ScriptOp::kOrientation,
                            ScriptOp::kResign, ScriptOp::kBecome,      ScriptOp::kFrames, ScriptOp::kSeconds,
                            ScriptOp::kPng,    ScriptOp::kQuit};
    const int lines[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(c[i].op, ops[i]) << "command " << i;
        EXPECT_EQ(c[i].line, lines[i]) << "command " << i;
    }
    ASSERT_EQ(c[0].fingers.size(), 1u);
    EXPECT_EQ(c[0].fingers[0].id, 1);
    EXPECT_FLOAT_EQ(c[0].fingers[0].position.x, 10.0f);
    EXPECT_FLOAT_EQ(c[0].fingers[0].position.y, 20.0f);
    EXPECT_FLOAT_EQ(c[1].fingers[0].position.x, 11.5f);
    EXPECT_FLOAT_EQ(c[1].fingers[0].position.y, -2.0f);
    EXPECT_FALSE(c[2].fingers[0].hasPosition);
    EXPECT_EQ(c[4].fingers[0].id, 2);
    EXPECT_DOUBLE_EQ(c[5].x, 0.25);
    EXPECT_DOUBLE_EQ(c[5].y, -0.5);
    EXPECT_DOUBLE_EQ(c[5].z, -1.0);
    EXPECT_EQ(c[7].count, 4);
    EXPECT_EQ(c[10].count, 30);
    EXPECT_DOUBLE_EQ(c[11].seconds, 0.5);
    EXPECT_EQ(c[12].path, "out/a#1.png");  // '#' inside a word is not a comment
}

TEST(ScriptParser, SeveralFingersPerEvent) {
    std::vector<ScriptCommand> c = ParseOk(
        "down 1 10 20 2 30 40 3 50 60\n"
        "move 3 51 61 1 11 21\n"
        // 2 is down, so it is the next finger; 3 is followed by a position.
        "up 1 2 3 5 6\n");
    ASSERT_EQ(c.size(), 3u);
    ASSERT_EQ(c[0].fingers.size(), 3u);
    EXPECT_EQ(c[0].fingers[2].id, 3);
    EXPECT_FLOAT_EQ(c[0].fingers[2].position.y, 60.0f);
    ASSERT_EQ(c[1].fingers.size(), 2u);
    EXPECT_EQ(c[1].fingers[0].id, 3);
    EXPECT_EQ(c[1].fingers[1].id, 1);
    ASSERT_EQ(c[2].fingers.size(), 3u);
    EXPECT_EQ(c[2].fingers[0].id, 1);
    EXPECT_FALSE(c[2].fingers[0].hasPosition);
    EXPECT_EQ(c[2].fingers[1].id, 2);
    EXPECT_FALSE(c[2].fingers[1].hasPosition);
    EXPECT_EQ(c[2].fingers[2].id, 3);
    ASSERT_TRUE(c[2].fingers[2].hasPosition);
    EXPECT_FLOAT_EQ(c[2].fingers[2].position.x, 5.0f);
    EXPECT_FLOAT_EQ(c[2].fingers[2].position.y, 6.0f);
}

TEST(ScriptParser, UpReadsANumberAsPositionUnlessItNamesAnotherFingerDown) {
    struct Case {
        const char* script;
        std::vector<int64_t> ids;
        std::vector<bool> positioned;
    } cases[] = {
        {"down 1 0 0\nup 1 2 3\n", {1}, {true}},
        {"down 1 0 0\ndown 2 0 0\nup 1 2\n", {1, 2}, {false, false}},
        {"down 7 0 0\ndown 8 0 0\nup 7 100 200 8\n", {7, 8}, {true, false}},
    };
    for (const Case& tc : cases) {
        std::vector<ScriptCommand> commands;
        ScriptError error;
        ASSERT_TRUE(ParseScript(tc.script, &commands, &error)) << tc.script << ": " << error.message;
        const ScriptCommand& up = commands.back();
        ASSERT_EQ(up.fingers.size(), tc.ids.size()) << tc.script;
        for (size_t i = 0; i < tc.ids.size(); ++i) {
            EXPECT_EQ(up.fingers[i].id, tc.ids[i]) << tc.script;
            EXPECT_EQ(up.fingers[i].hasPosition, tc.positioned[i]) << tc.script;
        }
    }
}

TEST(ScriptParser, ErrorsNameTheLine) {
    struct Case {
        const char* script;
        int line;
        const char* message;
    } cases[] = {
        {"frames 1\njump 3\n", 2, "unknown command \"jump\""},
        {"down 1 10\n", 1, "down: expected ID X Y for each finger"},
        {"down\n", 1, "down: expected ID X Y for each finger"},
        {"down a 1 2\n", 1, "down: bad finger id \"a\""},
        {"down -1 1 2\n", 1, "down: bad finger id \"-1\""},
        {"down 1 x 2\n", 1, "down: bad number \"x\""},
        {"down 1 nan 2\n", 1, "down: bad number \"nan\""},
        {"down 1 1e9 2\n", 1, "down: point 1e9 2 is outside the view (320 x 480 points)"},
        {"down 1 -1 2\n", 1, "down: point -1 2 is outside the view (320 x 480 points)"},
        {"down 1 320.5 10\n", 1, "down: point 320.5 10 is outside the view (320 x 480 points)"},
        {"down 1 0 0\nmove 1 10 2e6\n", 2, "move: point 10 2e6 is out of range"},
        {"down 1 1 2\n\ndown 1 3 4\n", 3, "down: finger 1 is already down"},
        {"down 1 1 2 1 3 4\n", 1, "down: finger 1 appears twice"},
        {"move 4 1 1\n", 1, "move: finger 4 is not down"},
        {"down 1 0 0\nup 1\nup 1\n", 3, "up: finger 1 is not down"},
        {"down 1 0 0\nup 1 5\n", 2, "up: finger 1 needs both X and Y"},
        {"up\n", 1, "up: expected at least one finger"},
        // The first 1 names another finger down, so the last 1 is half a position.
        {"down 1 0 0\ndown 2 0 0\nup 2 1 1\n", 3, "up: finger 1 needs both X and Y"},
        {"down 1 0 0\ncancel 1 1\n", 2, "cancel: finger 1 appears twice"},
        {"cancel 9\n", 1, "cancel: finger 9 is not down"},
        // Twenty fingers may be down at once, over one line or several.
        {"down 0 1 1 1 1 1 2 1 1 3 1 1 4 1 1 5 1 1 6 1 1 7 1 1 8 1 1 9 1 1 10 1 1 11 1 1 12 1 1 13 1 1 14 1 1\ndown 15 1 1 16 1 1 17 1 1 18 1 1 19 1 1 20 1 1\n", 2, "down: more than 20 fingers would be down at once"},
        {"accel 1 2\n", 1, "accel: expected X Y Z"},
        {"accel 1 2 z\n", 1, "accel: bad number \"z\""},
        {"accel 1 2 1000\n", 1, "accel: 1000 g is out of range"},
        {"shake now\n", 1, "shake: takes no arguments"},
        {"quit 1\n", 1, "quit: takes no arguments"},
        {"orientation 7\n", 1, "orientation: expected a number from 0 to 6"},
        {"frames -1\n", 1, "frames: expected a count from 0 to 1000000"},
        {"frames 1.5\n", 1, "frames: expected a count from 0 to 1000000"},
        {"frames 99999999999999999999\n", 1, "frames: expected a count from 0 to 1000000"},
        {"seconds -0.1\n", 1, "seconds: expected a time from 0 to 86400"},
        {"seconds\n", 1, "seconds: expected a time from 0 to 86400"},
        {"png\n", 1, "png: expected one PATH (without blanks)"},
        {"png a b\n", 1, "png: expected one PATH (without blanks)"},
        // Issue 21: a relative png stays inside the output directory; a
        // script runs for one simulated hour at most.
        {"png ../x/y.png\n", 1, "png: ../x/y.png leaves the output directory"},
        {"png a/../../y.png\n", 1, "png: a/../../y.png leaves the output directory"},
        {"frames 216000\nseconds 0.5\n", 2,
         "seconds: the script would run for more than 3600 simulated seconds (frames at 60 a second)"},
    };
    for (const Case& tc : cases) {
        std::vector<ScriptCommand> commands;
        ScriptError error;
        EXPECT_FALSE(ParseScript(tc.script, &commands, &error)) << tc.script;
        EXPECT_EQ(error.line, tc.line) << tc.script;
        EXPECT_EQ(error.message, tc.message) << tc.script;
        EXPECT_TRUE(commands.empty()) << tc.script;
    }
}

TEST(ScriptParser, FormatsErrorsForTheConsole) {
    EXPECT_EQ(FormatScriptError("demo.txt", 12, "unknown command \"x\""),
              "orbelline: demo.txt:12: unknown command \"x\"");
    EXPECT_EQ(FormatScriptError("", 0, "frames: no timer is running"), "orbelline: frames: no timer is running");
}

TEST(ScriptParser, EmptyScriptAndLastLineWithoutNewline) {
    EXPECT_TRUE(ParseOk("").empty());
    EXPECT_TRUE(ParseOk("# only\n   \n").empty());
    std::vector<ScriptCommand> c = ParseOk("frames 2\nquit");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].line, 2);
}

}  // namespace
}  // namespace platform
