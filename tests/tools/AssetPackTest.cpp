// Runs the built orbelline-asset tool as a user would.
#include <gtest/gtest.h>

#include "tests/tools/ToolRun.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using tooltest::ReadFile;
using tooltest::Result;
using tooltest::WriteFile;

class AssetPackTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "asset-pack-XXXXXX").string();
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs the tool with stdout and stderr captured in files.
    Result Run(const std::vector<std::string>& args) { return tooltest::Spawn(ORBELLINE_ASSET_TOOL, args, dir_); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // Files in the folder, apart from the captured streams.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// The stderr of a failure is one line naming the tool.
void ExpectOneLineDiagnostic(const Result& r) {
    EXPECT_EQ(r.err.rfind("orbelline-asset: ", 0), 0u) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

TEST_F(AssetPackTest, CreateListExtractRoundTripsAFolder) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7) % 256));  // NULs included
    const std::vector<std::pair<std::string, std::string>> files = {
        {"mask.png", binary},
        {"empty.bin", ""},
        {"Font.TTF", std::string("\0\0\0glyphs\0", 10)},
        {"answers.txt", "It is certain\nMost likely\n"},
    };
    fs::create_directory(dir_ / "in");
    std::vector<std::string> args{"pack", "create", P("data.pak")};
    for (const auto& [name, data] : files) {
        WriteFile(dir_ / "in" / name, data);
        args.push_back(P("in/" + name));
    }
    Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    r = Run({"pack", "list", P("data.pak")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string expected;
    for (const auto& [name, data] : files) expected += name + "\t" + std::to_string(data.size()) + "\n";
    EXPECT_EQ(r.out, expected);

    for (const auto& [name, data] : files) {
        SCOPED_TRACE(name);
        r = Run({"pack", "extract", P("data.pak"), name, P("out.bin")});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(ReadFile(dir_ / "out.bin") == data);
        r = Run({"pack", "extract", P("data.pak"), name});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out == data);
    }
    // Lookup as the engine does it: case ignored, first prefix match.
    r = Run({"pack", "extract", P("data.pak"), "FONT"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == files[2].second);
    EXPECT_NE(r.err.find("\"Font.TTF\""), std::string::npos) << r.err;

    r = Run({"pack", "extract", P("data.pak"), "missing.png", P("never.bin")});
    EXPECT_EQ(r.status, 1);
    ExpectOneLineDiagnostic(r);
    EXPECT_NE(r.err.find("missing.png"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_ / "never.bin"));
}

TEST_F(AssetPackTest, NameOverrideAndRefusedNames) {
    WriteFile(dir_ / "a.png", "AAA");
    WriteFile(dir_ / "b.png", "BB");
    Result r = Run({"pack", "create", P("o.pak"), P("a.png") + "=textures/sky.png", P("b.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"pack", "list", P("o.pak")});
    EXPECT_EQ(r.out, "textures/sky.png\t3\nb.png\t2\n");

    const std::string longest(259, 'n'), tooLong(260, 'n');
    r = Run({"pack", "create", P("max.pak"), P("a.png") + "=" + longest});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"pack", "list", P("max.pak")});
    EXPECT_EQ(r.out, longest + "\t3\n");

    const auto before = Listing();
    for (const std::string& arg : {P("a.png") + "=" + tooLong, P("a.png") + "="}) {
        SCOPED_TRACE(arg.substr(arg.size() - 5));
        r = Run({"pack", "create", P("bad.pak"), P("b.png"), arg});
        EXPECT_TRUE(r.status == 1 || r.status == 2) << r.status;
        ExpectOneLineDiagnostic(r);
        EXPECT_EQ(Listing(), before);  // no pack, no temporary left behind
    }
    // A missing input fails after the pack was begun: nothing is left.
    r = Run({"pack", "create", P("o.pak"), P("b.png"), P("nope.png")});
    EXPECT_EQ(r.status, 1);
    ExpectOneLineDiagnostic(r);
    EXPECT_NE(r.err.find("nope.png"), std::string::npos);
    EXPECT_EQ(Listing(), before);
    r = Run({"pack", "list", P("o.pak")});  // the old pack is still whole
    EXPECT_EQ(r.out, "textures/sky.png\t3\nb.png\t2\n");
}

TEST_F(AssetPackTest, DamagedPackListsEarlierEntriesThenFails) {
    WriteFile(dir_ / "one", "first");
    WriteFile(dir_ / "mask.png", std::string(65536, 'm'));
    ASSERT_EQ(Run({"pack", "create", P("d.pak"), P("one"), P("mask.png")}).status, 0);
    const std::string whole = ReadFile(dir_ / "d.pak");
    const size_t maskData = whole.size() - 65536;
    struct Case {
        size_t keep;
        const char* mentions;
    };
    const Case cases[] = {
        {maskData + 1200, "entry \"mask.png\" is truncated (needs 65536 bytes, 1200 left)"},
        {maskData - 3, "truncated entry name"},
        {maskData - 8 - 5, "truncated entry header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mentions);
        WriteFile(dir_ / "t.pak", whole.substr(0, c.keep));
        Result r = Run({"pack", "list", P("t.pak")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "one\t5\n");
        ExpectOneLineDiagnostic(r);
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("pack list: " + P("t.pak")), std::string::npos) << r.err;

        r = Run({"pack", "extract", P("t.pak"), "one"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "first");
        // Extract names the damage too, not "no entry matches".
        r = Run({"pack", "extract", P("t.pak"), "mask.png"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        ExpectOneLineDiagnostic(r);
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
}

TEST_F(AssetPackTest, UsageErrorsAndHelp) {
    WriteFile(dir_ / "f", "x");
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate"},
        {"pack"},
        {"pack", "zip"},
        {"pack", "create"},
        {"pack", "create", P("o.pak")},
        {"pack", "create", "--verbose", P("o.pak"), P("f")},
        {"pack", "list"},
        {"pack", "list", P("a"), P("b")},
        {"pack", "extract", P("a")},
        {"pack", "extract", P("a"), "n", P("o"), P("extra")},
    };
    for (const auto& args : usage) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(fs::exists(dir_ / "o.pak"));

    const std::vector<std::vector<std::string>> help = {
        {"--help"}, {"-h"}, {"pack", "--help"}, {"pack", "create", "--help"}, {"pack", "list", "-h"},
        {"pack", "extract", "--help"},
    };
    for (const auto& args : help) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("usage: orbelline-asset"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }

    const Result r = Run({"pack", "list", P("absent.pak")});
    EXPECT_EQ(r.status, 1);
    ExpectOneLineDiagnostic(r);
    EXPECT_NE(r.err.find("absent.pak"), std::string::npos);
}

// A device or a folder as the pack is refused at once: /dev/zero reads as an
// endless run of empty entries.
TEST_F(AssetPackTest, APackThatIsNotAFileIsRefused) {
    for (const std::string& pak : {std::string("/dev/zero"), dir_.string()}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"pack", "list", pak}, std::vector<std::string>{"pack", "extract", pak, "x"}}) {
            SCOPED_TRACE(testing::PrintToString(args));
            const Result r = Run(args);
            EXPECT_EQ(r.status, 1);
            ExpectOneLineDiagnostic(r);
            EXPECT_NE(r.err.find(pak), std::string::npos) << r.err;
        }
    }
}

// Names are shown one per line with their size after a tab, so bytes that
// would break that layout are escaped.
TEST_F(AssetPackTest, ListEscapesControlBytesInNames) {
    WriteFile(dir_ / "a", "1");
    const std::string odd = std::string("t\tn\ne\x1b", 6);
    ASSERT_EQ(Run({"pack", "create", P("d.pak"), P("a") + "=" + odd}).status, 0);
    const Result r = Run({"pack", "list", P("d.pak")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "t\\x09n\\x0ae\\x1b\t1\n");
}

}  // namespace
