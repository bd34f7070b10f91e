// Hostile input at every door a user can reach: the program's bundle and
// scripts, and each orbelline-asset command. Every case must be refused with
// status 1 (2 for bad usage) and one line naming the problem and the file,
// with no sanitizer report, within a memory bound, leaving no partial output
// behind and every input exactly as it was.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/3d/TextureTestImages.h"

namespace {

// Peak resident memory allowed to any one run (the sanitizer build included).
constexpr long kMemoryBoundKiB = 768 * 1024;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Bytes(const teximg::Bytes& b) { return std::string(b.begin(), b.end()); }

struct Outcome {
    int status = -1;
    std::string err;
    long maxRssKiB = 0;
};

// Runs `command` through the shell, stdout discarded, stderr kept, and the
// peak resident memory of the run taken from the kernel.
Outcome Shell(const std::string& command, const std::string& errPath) {
    Outcome r;
    const pid_t pid = fork();
    if (pid == 0) {
        // A hang is a failure too: status 124 after a minute.
        const std::string line = "exec timeout -k 5 60 sh -c \"$0\" >/dev/null 2>'" + errPath + "'";
        execl("/bin/sh", "sh", "-c", line.c_str(), command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.maxRssKiB = usage.ru_maxrss;
    r.err = ReadFile(errPath);
    return r;
}

// A deterministic run of bytes that is no format at all.
std::string Garbage(size_t size) {
    std::string out(size, '\0');
    uint32_t x = 2463534242u;
    for (char& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return out;
}

// One event of twenty-one fingers, one more than a script may have down.
std::string TwentyOneFingersDown() {
    std::string line = "down";
    for (int i = 0; i < 21; ++i) line += " " + std::to_string(i) + " " + std::to_string(10 + i * 10) + " 100";
    return line + "\nframes 1\n";
}

const char* const kEntries[] = {
    "background.from.alpha.png", "background.to.png", "mask.png", "touch.png", "screenshot.png", "blank.png",
    "teenbold.ttf", "teenbold.ttf.1024x512.40.3.png", "teenbold.ttf.1024x512.40.3.glyph",
};

class BadInput : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = ::testing::TempDir() + "orbelline_bad_input_" + std::to_string(getpid());
        ASSERT_EQ(std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "/e' '" + dir_ + "/good/Data'").c_str()),
                  0);
        const std::string pack = BuiltPack();
        ASSERT_EQ(std::system(("cp '" + pack + "' '" + dir_ + "/good/Data/'").c_str()), 0);
        for (const char* entry : kEntries)
            ASSERT_EQ(std::system((Asset() + " pack extract '" + pack + "' " + entry + " '" + dir_ + "/e/" + entry +
                                   "' 2>/dev/null")
                                      .c_str()),
                      0)
                << entry;
        const std::string d = dir_ + "/";
        const std::string png = ReadFile(d + "e/background.from.alpha.png");
        WriteFile(d + "empty.bin", "");
        WriteFile(d + "garbage.bin", Garbage(4096));
        WriteFile(d + "cut.png", png.substr(0, 100));
        WriteFile(d + "notes.png", "these are notes, not an image\n");
        WriteFile(d + "cut.ttf", ReadFile(d + "e/teenbold.ttf").substr(0, 2000));
        // Small files that declare huge images.
        teximg::PngDesc desc;
        desc.width = desc.height = 16384;
        desc.depth = 1;
        desc.colorType = PNG_COLOR_TYPE_GRAY;
        desc.rows.assign(16384, teximg::Bytes(16384 / 8, 0));
        WriteFile(d + "huge.png", Bytes(teximg::WritePng(desc)));
        const teximg::Bytes small = teximg::WriteJpeg(8, 8, 1, teximg::Bytes(64, 128), 50);
        std::string jpeg = Bytes(small);
        const size_t sof = jpeg.find("\xFF\xC0");
        ASSERT_NE(sof, std::string::npos);
        jpeg[sof + 5] = jpeg[sof + 7] = static_cast<char>(0x40);  // 16384
        jpeg[sof + 6] = jpeg[sof + 8] = 0;
        WriteFile(d + "huge.jpg", jpeg);
        std::string nanTable(4096, '\0');
        for (size_t i = 0; i < nanTable.size(); i += 4) nanTable.replace(i, 4, "\x00\x00\xC0\x7F", 4);
        WriteFile(d + "nan.glyph", nanTable);
        // A pack whose only entry (named "a" once unscrambled) says it holds 4 GiB.
        WriteFile(d + "liar.pak", std::string("\xFF\xFF\xFF\xFF\x01\x00\x00\x00", 8) + "x" + "data");
        std::string bigScript;
        while (bigScript.size() < (10u << 20)) bigScript += "frames 1\n";
        WriteFile(d + "big.script", bigScript);
        WriteFile(d + "garbage.script", Garbage(2000));
    }
    static void TearDownTestSuite() { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    static std::string BuiltPack() {
        const std::string app = ORBELLINE_APP;
        return app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak";
    }
    static std::string Asset() { return std::string("'") + ORBELLINE_ASSET_TOOL + "'"; }
    // The folder of the built programs, with its slash.
    static std::string Bin() {
        const std::string app = ORBELLINE_APP;
        return app.substr(0, app.rfind('/') + 1);
    }

    // A bundle folder `name` whose pack holds the built entries, with `entry`
    // (if any) replaced by the file `with`.
    static std::string Bundle(const std::string& name, const std::string& entry, const std::string& with) {
        std::string cmd = "mkdir -p '" + dir_ + "/" + name + "/Data' && " + Asset() + " pack create '" + dir_ + "/" +
                          name + "/Data/Orbelline.res.pak'";
        for (const char* e : kEntries) cmd += " '" + dir_ + "/" + (e == entry ? with : std::string("e/") + e) + "=" + e + "'";
        return cmd + " >/dev/null";
    }

    static std::string dir_;
};

std::string BadInput::dir_;

struct Case {
    const char* what;
    std::function<std::string(const std::string& d)> setup;    // shell, run in the test folder
    std::function<std::string(const std::string& d)> command;  // the run itself
    int status;
    const char* says;                   // part of the one refusal line
    std::vector<std::string> outputs;   // paths (under d) that must not exist afterwards
};

std::string App(const std::string& bundle, const std::string& more) {
    return std::string("'") + ORBELLINE_APP + "' --headless --bundle '" + bundle + "' " + more;
}

TEST_F(BadInput, EveryHostileInputIsRefusedCleanly) {
    auto none = [](const std::string&) { return std::string("true"); };
    auto bundle = [](const char* name, const char* entry, const char* with) {
        return [=](const std::string&) { return Bundle(name, entry, with); };
    };
    auto runIn = [](const char* name) {
        return [=](const std::string& d) { return App(d + name, "--out '" + d + "out'"); };
    };
    auto script = [](const std::string& path) {
        return [=](const std::string& d) {
            return App(d + "good", "--out '" + d + "out' --script '" + (path[0] == '/' ? path : d + path) + "'");
        };
    };
    auto scriptText = [](const char* name, std::string text) {
        return [=](const std::string& d) {
            WriteFile(d + name, text);
            return std::string("true");
        };
    };
    auto asset = [](const std::string& pattern) {
        return [=](const std::string& d) {
            // {} stands for the test folder.
            std::string args = pattern;
            for (size_t at; (at = args.find("{}")) != std::string::npos;) args.replace(at, 2, d);
            return BadInput::Asset() + " " + args;
        };
    };
    const std::string kPack = "Data/Orbelline.res.pak";
    // Issue 21, part A: files that are not regular, refusals that name the
    // real reason, bounds. `sp/` holds FIFOs and a character node (c 1 3, as
    // /dev/null) in the test folder, and a good model beside them.
    auto special = [](const std::string& d) {
        std::string cmd = "mkdir -p sp/turn sp/dir.obj sp/dir.3ds sp/dir.3dx";
        for (const char* f : {"fifo.3dx", "fifo.png", "fifo.pak", "fifo.out", "in.3dx", "in.obj", "in.3ds", "in.png",
                              "in.pak", "pipe.png", "pipe.mtl", "turn/frame-000.png"})
            cmd += std::string(" && { [ -p sp/") + f + " ] || mkfifo sp/" + f + "; }";
        for (const char* f : {"node.3dx", "node.png", "node.pak"})
            cmd += std::string(" && { [ -c sp/") + f + " ] || mknod sp/" + f + " c 1 3; }";
        return cmd + " && { [ -f sp/good.3dx ] || " + BadInput::Asset() + " model build sphere '" + d +
               "sp/good.3dx' 2>/dev/null; }";
    };
    // An orbelline-asset run ({} the test folder) after which `path` must
    // still be what `test` says (-p a FIFO, -c a character device).
    auto keeps = [](const std::string& pattern, const char* test, const std::string& path) {
        return [=](const std::string& d) {
            std::string args = pattern;
            for (size_t at; (at = args.find("{}")) != std::string::npos;) args.replace(at, 2, d);
            return BadInput::Asset() + " " + args + "; s=$?; [ " + test + " '" + d + path + "' ] || s=97; exit $s";
        };
    };
    auto view = [](const std::string& pattern) {
        return [=](const std::string& d) {
            std::string args = pattern;
            for (size_t at; (at = args.find("{}")) != std::string::npos;) args.replace(at, 2, d);
            return "'" + BadInput::Bin() + "orbelline-view' " + args;
        };
    };
    // A copy of sp/good.3dx with the 32-bit word at `offset` (from the end
    // when negative) set to `value`.
    auto patched = [](const char* name, long offset, uint32_t value) {
        return [=](const std::string& d) {
            std::string bytes = ReadFile(d + "sp/good.3dx");
            const size_t at = offset < 0 ? bytes.size() - static_cast<size_t>(-offset) : static_cast<size_t>(offset);
            for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
            WriteFile(d + "sp/" + name, bytes);
            return std::string("true");
        };
    };
    const Case cases[] = {
        // The bundle and its pack.
        {"no pack", [](const std::string& d) { return "mkdir -p '" + d + "nopack/Data'"; }, runIn("nopack"), 1,
         "nopack: Data/Orbelline.res.pak: No such file or directory", {}},
        {"empty pack", [](const std::string& d) { return "mkdir -p '" + d + "emptypack/Data' && : > '" + d + "emptypack/Data/Orbelline.res.pak'"; },
         runIn("emptypack"), 1, "could not start its view", {}},
        {"truncated pack",
         [](const std::string& d) {
             return "mkdir -p '" + d + "cutpack/Data' && head -c 5000 '" + BadInput::BuiltPack() + "' > '" + d +
                    "cutpack/Data/Orbelline.res.pak'";
         },
         runIn("cutpack"), 1, "Data/Orbelline.res.pak: the pack is damaged", {}},
        {"pack of garbage",
         [](const std::string& d) { return "mkdir -p '" + d + "junkpack/Data' && cp '" + d + "garbage.bin' '" + d + "junkpack/Data/Orbelline.res.pak'"; },
         runIn("junkpack"), 1, "Data/Orbelline.res.pak: the pack is damaged", {}},
        {"pack is a device",
         [](const std::string& d) { return "mkdir -p '" + d + "zeropack/Data' && ln -sf /dev/zero '" + d + "zeropack/Data/Orbelline.res.pak'"; },
         runIn("zeropack"), 1, "Data/Orbelline.res.pak: is not a regular file", {}},
        {"no bundle", none, runIn("nobundle"), 1, "nobundle: No such file or directory", {}},
        {"background cut short", bundle("bgcut", "background.from.alpha.png", "cut.png"), runIn("bgcut"), 1,
         "\"background.from.alpha.png\"", {}},
        {"background of garbage", bundle("bgjunk", "background.from.alpha.png", "garbage.bin"), runIn("bgjunk"), 1,
         "\"background.from.alpha.png\"", {}},
        {"background of 16384 x 16384", bundle("bghuge", "background.from.alpha.png", "huge.png"), runIn("bghuge"), 1,
         "\"background.from.alpha.png\"", {}},
        {"empty mask", bundle("maskempty", "mask.png", "empty.bin"), runIn("maskempty"), 1, "\"mask.png\"", {}},
        {"font atlas of garbage", bundle("atlasjunk", "teenbold.ttf.1024x512.40.3.png", "garbage.bin"),
         runIn("atlasjunk"), 1, "teenbold.ttf.1024x512.40.3.png", {}},
        {"glyph table of NaN", bundle("glyphnan", "teenbold.ttf.1024x512.40.3.glyph", "nan.glyph"),
         runIn("glyphnan"), 1, "teenbold.ttf.1024x512.40.3.glyph", {}},
        {"glyph table cut short", bundle("glyphcut", "teenbold.ttf.1024x512.40.3.glyph", "cut.png"),
         runIn("glyphcut"), 1, "teenbold.ttf.1024x512.40.3.glyph", {}},
        // Scripts.
        {"unknown command", scriptText("unknown.script", "frames 1\njump 2\n"), script("unknown.script"), 1,
         "unknown.script:2: unknown command \"jump\"", {}},
        {"huge number", scriptText("hugenum.script", "frames 1e30\n"), script("hugenum.script"), 1,
         "hugenum.script:1: frames: expected a count", {}},
        {"frames in the millions", scriptText("millions.script", "frames 5000000\n"), script("millions.script"), 1,
         "millions.script:1: frames: expected a count from 0 to 1000000", {}},
        {"NaN coordinate", scriptText("nan.script", "down 1 nan 20\n"), script("nan.script"), 1,
         "nan.script:1: down: bad number \"nan\"", {}},
        {"negative coordinate", scriptText("neg.script", "down 1 -5 20\n"), script("neg.script"), 1,
         "neg.script:1: down: point -5 20 is outside the view", {}},
        {"21 fingers in one event", scriptText("fingers.script", TwentyOneFingersDown()), script("fingers.script"), 1,
         "fingers.script:1: down: more than 20 fingers would be down at once", {}},
        {"a 10 MB script", none, script("big.script"), 1, "big.script: cannot read the script: is larger than 1 MiB", {}},
        {"binary garbage", none, script("garbage.script"), 1, "garbage.script:1: control byte", {}},
        {"a NUL in a word", scriptText("nul.script", std::string("frames 1\0junk\n", 14)), script("nul.script"), 1,
         "nul.script:1: control byte 0x00", {}},
        {"a device as the script", none, script("/dev/zero"), 1, "/dev/zero: cannot read the script: is not a regular file", {}},
        {"a folder as the script", none, script("e"), 1, "cannot read the script: is a directory", {}},
        {"png into a missing folder", scriptText("nofolder.script", "frames 1\npng /nonexistent-orbelline/x.png\n"),
         script("nofolder.script"), 1, "nofolder.script:2: png: no folder /nonexistent-orbelline", {"../nonexistent-orbelline"}},
        {"png onto a folder", scriptText("ontodir.script", "frames 1\npng " + std::string("e") + "\n"),
         [](const std::string& d) { return App(d + "good", "--out '" + d + "' --script '" + d + "ontodir.script'"); },
         1, "png: cannot write", {}},
        {"scale out of range", none, [](const std::string& d) { return App(d + "good", "--scale 9"); }, 2, "--scale", {}},
        // orbelline-asset pack.
        {"pack list of an image", none, asset("pack list '{}cut.png'"), 1, "cut.png", {}},
        {"pack list of a device", none, asset("pack list /dev/zero"), 1, "/dev/zero: is not a regular file", {}},
        {"pack extract of an entry promising 4 GiB", none, asset("pack extract '{}liar.pak' x '{}liar.out'"), 1,
         "liar.pak: entry \"a\" is truncated (needs 4294967295 bytes", {"liar.out"}},
        {"pack create from a folder", none, asset("pack create '{}folder.pak' '{}e'"), 1, "e", {"folder.pak"}},
        {"pack create onto a folder", none, asset("pack create '{}e' '{}cut.png'"), 1, "e", {}},
        {"pack create from a device", none, asset("pack create '{}dev.pak' /dev/zero"), 1, "/dev/zero", {"dev.pak"}},
        // orbelline-asset texture.
        {"texture info of an empty file", none, asset("texture info '{}empty.bin'"), 1, "empty.bin", {}},
        {"texture info of a cut PNG", none, asset("texture info '{}cut.png'"), 1, "cut.png", {}},
        {"texture info of a huge JPEG", none, asset("texture info '{}huge.jpg'"), 1, "huge.jpg", {}},
        {"texture info of notes named .png", none, asset("texture info '{}notes.png'"), 1, "notes.png", {}},
        {"texture dump of a huge PNG", none, asset("texture dump '{}huge.png' '{}huge.out.png'"), 1, "huge.png",
         {"huge.out.png"}},
        {"texture dump onto a folder", none, asset("texture dump '{}e/touch.png' '{}e'"), 1, "e", {}},
        // orbelline-asset font.
        {"font build of an empty file", none, asset("font build '{}empty.bin' 40 3 '{}f1'"), 1, "empty.bin",
         {"f1.png", "f1.glyph"}},
        {"font build of a cut font", none, asset("font build '{}cut.ttf' 40 3 '{}f2'"), 1, "cut.ttf",
         {"f2.png", "f2.glyph"}},
        {"font build of a device", none, asset("font build /dev/zero 40 3 '{}f3'"), 1, "/dev/zero",
         {"f3.png", "f3.glyph"}},
        {"font build of a folder", none, asset("font build '{}e' 40 3 '{}f4'"), 1, "is a directory",
         {"f4.png", "f4.glyph"}},
        {"font build of an image", none, asset("font build '{}cut.png' 40 3 '{}f5'"), 1, "cut.png",
         {"f5.png", "f5.glyph"}},
        {"font build into a missing folder", none, asset("font build '{}e/teenbold.ttf' 40 3 '{}none/f6'"), 1,
         "none/f6", {"none"}},
        {"font build with a size out of range", none, asset("font build '{}e/teenbold.ttf' 900 3 '{}f7'"), 2, "",
         {"f7.png", "f7.glyph"}},
        // ---- Issue 21, part A ----
        // 1. Outputs that exist and are not regular files are refused untouched.
        {"model build onto a FIFO", special, keeps("model build sphere '{}sp/fifo.3dx'", "-p", "sp/fifo.3dx"), 1,
         "sp/fifo.3dx: exists and is not a regular file", {}},
        {"model build onto a device node", special, keeps("model build sphere '{}sp/node.3dx'", "-c", "sp/node.3dx"), 1,
         "sp/node.3dx: exists and is not a regular file", {}},
        {"model convert onto a FIFO", special,
         keeps("model convert '{}sp/good.3dx' '{}sp/fifo.3dx'", "-p", "sp/fifo.3dx"), 1,
         "sp/fifo.3dx: exists and is not a regular file", {}},
        {"model render onto a device node", special,
         keeps("model render '{}sp/good.3dx' '{}sp/node.png' --size 32x32", "-c", "sp/node.png"), 1,
         "sp/node.png: exists and is not a regular file", {}},
        {"model render onto a FIFO", special,
         keeps("model render '{}sp/good.3dx' '{}sp/fifo.png' --size 32x32", "-p", "sp/fifo.png"), 1,
         "sp/fifo.png: exists and is not a regular file", {}},
        {"pack create onto a FIFO", special, keeps("pack create '{}sp/fifo.pak' '{}cut.png'", "-p", "sp/fifo.pak"), 1,
         "sp/fifo.pak: exists and is not a regular file", {}},
        {"pack create onto a device node", special,
         keeps("pack create '{}sp/node.pak' '{}cut.png'", "-c", "sp/node.pak"), 1,
         "sp/node.pak: exists and is not a regular file", {}},
        {"pack extract onto a FIFO", special,
         keeps("pack extract '{}good/Data/Orbelline.res.pak' mask.png '{}sp/fifo.out'", "-p", "sp/fifo.out"), 1,
         "sp/fifo.out: exists and is not a regular file", {}},
        {"viewer frame onto a FIFO", special,
         [](const std::string& d) {
             return "'" + BadInput::Bin() + "orbelline-view' --headless --frames 1 --size 32x32 --out '" + d +
                    "sp/turn' sphere; s=$?; [ -p '" + d + "sp/turn/frame-000.png' ] || s=97; exit $s";
         },
         1, "frame-000.png: exists and is not a regular file", {}},
        // 2. Inputs that are FIFOs are refused at once, not waited on.
        {"model info of a FIFO .3dx", special, asset("model info '{}sp/in.3dx'"), 1, "sp/in.3dx: is not a regular file", {}},
        {"model info of a FIFO .obj", special, asset("model info '{}sp/in.obj'"), 1, "sp/in.obj: is not a regular file", {}},
        {"model info of a FIFO .3ds", special, asset("model info '{}sp/in.3ds'"), 1, "sp/in.3ds: is not a regular file", {}},
        {"model info --lenient of a FIFO", special, asset("model info --lenient '{}sp/in.obj'"), 1,
         "sp/in.obj: is not a regular file", {}},
        {"model convert of a FIFO", special, asset("model convert '{}sp/in.obj' '{}sp/none.3dx'"), 1,
         "sp/in.obj: is not a regular file", {"sp/none.3dx"}},
        {"viewer of a FIFO", special, view("--headless --frames 1 --out '{}sp/noturn' '{}sp/in.3dx'"), 1,
         "sp/in.3dx: is not a regular file", {"sp/noturn"}},
        {"texture info of a FIFO", special, asset("texture info '{}sp/in.png'"), 1, "sp/in.png: is not a regular file", {}},
        {"pack list of a FIFO", special, asset("pack list '{}sp/in.pak'"), 1, "sp/in.pak: is not a regular file", {}},
        {"pack extract of a FIFO", special, asset("pack extract '{}sp/in.pak' x"), 1, "sp/in.pak: is not a regular file",
         {}},
        {"pack create from a FIFO", special, asset("pack create '{}sp/none.pak' '{}sp/in.png'"), 1,
         "sp/in.png: is not a regular file", {"sp/none.pak"}},
        {"a texture name and a material library that are FIFOs",
         [=](const std::string& d) {
             WriteFile(d + "sp/tex.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl pipe.png\nf 1 2 3\n");
             return special(d);
         },
         asset("model render --lenient '{}sp/tex.obj' '{}sp/tex.png' --size 32x32"), 0, "pipe.png", {}},
        // 3. A script's png may not leave the output directory.
        {"png out of the output directory", scriptText("escape.script", "frames 1\npng ../escaped/y.png\n"),
         script("escape.script"), 1, "escape.script:2: png: ../escaped/y.png leaves the output directory",
         {"escaped"}},
        // 5. Draws the engine skips or refuses fail the picture.
        {"model render of an unknown primitive type", patched("type9.3dx", 20 + 24, 9),
         asset("model render '{}sp/type9.3dx' '{}sp/type9.png' --size 32x32"), 1,
         "type9.3dx: sub-object 0 has primitive type 9, which the engine does not draw", {"sp/type9.png"}},
        {"model render of an index outside the model", patched("farindex.3dx", -4, 0x7FFFFFFFu),
         asset("model render '{}sp/farindex.3dx' '{}sp/farindex.png' --size 32x32"), 1, "names vertex 2147483647",
         {"sp/farindex.png"}},
        {"viewer of an unknown primitive type", patched("type9.3dx", 20 + 24, 9),
         view("--headless --frames 1 --size 32x32 --out '{}sp/turn9' '{}sp/type9.3dx'"), 1,
         "type9.3dx: sub-object 0 has primitive type 9", {"sp/turn9/frame-000.png"}},
        {"model render of 32-bit indices without the extension",
         [](const std::string& d) {
             return "[ -f sp/big.3dx ] || " + BadInput::Asset() + " model build randomplane cells=300 '" + d +
                    "sp/big.3dx'";
         },
         [](const std::string& d) {
             return "MESA_EXTENSION_OVERRIDE=-GL_OES_element_index_uint " + BadInput::Asset() + " model render '" + d +
                    "sp/big.3dx' '" + d + "sp/big.png' --size 32x32";
         },
         1, "big.3dx: the model did not draw: 32-bit indices need GL_OES_element_index_uint", {"sp/big.png"}},
        // 7. Refusals that name the real reason.
        {"model info of a folder named .obj", special, asset("model info '{}sp/dir.obj'"), 1,
         "sp/dir.obj: is a directory", {}},
        {"model info of a folder named .3ds", special, asset("model info '{}sp/dir.3ds'"), 1,
         "sp/dir.3ds: is a directory", {}},
        {"model info of a folder named .3dx", special, asset("model info '{}sp/dir.3dx'"), 1,
         "sp/dir.3dx: is a directory", {}},
        {"model convert of a texture name too long for 3DX",
         [](const std::string& d) {
             WriteFile(d + "sp/longname.obj",
                       "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl " + std::string(200, 't') + ".png\nf 1 2 3\n");
             return std::string("true");
         },
         asset("model convert --lenient '{}sp/longname.obj' '{}sp/longname.3dx'"), 1,
         "sp/longname.obj: the texture name of sub-object 0 is 204 bytes long; a 3DX file holds at most 127",
         {"sp/longname.3dx"}},
        {"texture info of a PNG too large", none, asset("texture info '{}huge.png'"), 1,
         "huge.png: the PNG image is 16384 x 16384 pixels", {}},
        // 15. A script's whole simulated time is bounded.
        {"a script of more than an hour", scriptText("hours.script", "frames 200000\nframes 16001\nframes 1\n"),
         script("hours.script"), 1,
         "hours.script:2: frames: the script would run for more than 3600 simulated seconds", {}},
        // 16. The lenient OBJ reader counts its sub-objects before keeping any.
        {"a lenient OBJ of 1.1 million groups",
         [](const std::string& d) {
             std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
             text.reserve(12u << 20);
             for (int i = 0; i < 1100000; ++i) text += "g\nf 1 2 3\n";
             WriteFile(d + "sp/groups.obj", text);
             return std::string("true");
         },
         asset("model info --lenient '{}sp/groups.obj'"), 1, "more than 1048576 sub-objects", {}},
        // 19. The tools keep the program's 1 GiB bound on a pack.
        {"pack list of a pack over 1 GiB", [](const std::string&) { return std::string("truncate -s 1073741825 sp/big.pak"); },
         asset("pack list '{}sp/big.pak'"), 1, "sp/big.pak: is larger than 1024 MiB", {}},
        // 20. One line, naming the file and the reason.
        {"model convert --contents texture", special,
         asset("model convert '{}sp/good.3dx' '{}sp/tex.3dx' --contents texture"), 2,
         "--contents must include position", {"sp/tex.3dx"}},
        // 22. Clamped settings are told.
        {"model build with segments out of range", special, asset("model build sphere segments=1000 '{}sp/s.3dx'"), 0,
         "warning: segments=1000 is out of range; built with 255", {}},
        // 23. Only what the model has is stored; positions always.
        {"model convert --contents uv+material", special,
         asset("model convert '{}sp/good.3dx' '{}sp/uv.3dx' --contents uv+material"), 2,
         "--contents must include position", {"sp/uv.3dx"}},
        {"model convert --contents all of a model without material", special,
         asset("model convert '{}sp/good.3dx' '{}sp/all.3dx' --contents all"), 0, "the model has no", {}},
        // 24. A soak that would check nothing says so.
        {"soak of too few frames", none, [](const std::string&) { return "'" + BadInput::Bin() + "soak' --frames 10"; },
         2, "fewer than two readings", {}},
    };

    const std::string d = dir_ + "/";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(std::system(("cd '" + d + "' && " + c.setup(d)).c_str()), 0);
        // Every regular file of the test folder, before.
        std::map<std::string, std::string> before;
        for (const char* f : {"empty.bin", "garbage.bin", "cut.png", "notes.png", "cut.ttf", "huge.png", "huge.jpg",
                              "nan.glyph", "liar.pak", "e/touch.png", "e/teenbold.ttf", "good/Data/Orbelline.res.pak"})
            before[f] = ReadFile(d + f);

        const Outcome r = Shell(c.command(d), d + "err.txt");
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_LT(r.maxRssKiB, kMemoryBoundKiB);
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:"})
            EXPECT_EQ(r.err.find(report), std::string::npos) << r.err;
        // One refusal line (the engine's "# " trace lines aside), printable.
        std::vector<std::string> refusals;
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("# ", 0) != 0 && !line.empty()) refusals.push_back(line);
        if (c.status == 1) {
            ASSERT_EQ(refusals.size(), 1u) << r.err;
            EXPECT_NE(refusals[0].find(c.says), std::string::npos) << refusals[0];
            for (unsigned char ch : refusals[0]) EXPECT_TRUE(ch >= 0x20 && ch < 0x7f) << refusals[0];
        } else {
            EXPECT_FALSE(refusals.empty());
            if (!refusals.empty()) {
                EXPECT_NE(refusals[0].find(c.says), std::string::npos) << refusals[0];
            }
        }
        for (const auto& [f, bytes] : before) EXPECT_EQ(ReadFile(d + f), bytes) << f << " changed";
        struct stat st;
        for (const std::string& out : c.outputs) EXPECT_NE(lstat((d + out).c_str(), &st), 0) << out << " was left";
        // No temporary file beside the targets either.
        EXPECT_EQ(std::system(("test -z \"$(find '" + d + "' -maxdepth 2 -name '*.XXXXXX' -o -maxdepth 2 -name '*.tmp*')\"").c_str()), 0);
    }
}

// Issue 21, part A: every program answers --help on standard output with
// status 0, and takes no file or folder named "--help".
TEST_F(BadInput, EveryProgramAnswersHelp) {
    const std::string d = dir_ + "/help/";
    ASSERT_EQ(std::system(("mkdir -p '" + d + "'").c_str()), 0);
    std::vector<std::string> programs = {"orbelline", "orbelline-asset", "orbelline-view", "orbelline-artgen",
                                         "orbelline-fuzz-seeds", "startup_decode", "soak"};
    for (const char* replay : {"fuzz_replay_script", "fuzz_replay_respack"}) programs.push_back(replay);
    int run = 0;
    for (const std::string& name : programs) {
        SCOPED_TRACE(name);
        const std::string path = Bin() + name;
        if (access(path.c_str(), X_OK) != 0) continue;  // not built in this tree
        ++run;
        const Outcome r = Shell("cd '" + d + "' && '" + path + "' --help | grep -q usage", d + "err.txt");
        EXPECT_EQ(r.status, 0) << r.err;
        struct stat st;
        EXPECT_NE(lstat((d + "--help").c_str(), &st), 0) << "a --help was made";
    }
    EXPECT_GE(run, 4);
}

// Issue 21, part A: the viewer's --out is made with every missing level.
TEST_F(BadInput, ViewerMakesTheWholeOutputPath) {
    const std::string d = dir_ + "/viewout/";
    const Outcome r = Shell("'" + Bin() + "orbelline-view' --headless --frames 1 --size 16x16 --out '" + d +
                                "a/b/c' sphere",
                            dir_ + "/viewout.err");
    EXPECT_EQ(r.status, 0) << r.err;
    struct stat st;
    EXPECT_EQ(stat((d + "a/b/c/frame-000.png").c_str(), &st), 0);
}

}  // namespace
