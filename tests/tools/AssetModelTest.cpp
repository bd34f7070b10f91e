// Runs 'orbelline-asset model' and orbelline-view as a user would: built
// models go through info, convert and render; bad usage, missing and damaged
// files fail without leaving anything behind.
#include <gtest/gtest.h>

#include "tests/tools/ToolRun.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <png.h>

namespace fs = std::filesystem;

namespace {

using tooltest::ReadFile;
using tooltest::Result;
using tooltest::WriteFile;

struct Rgb {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // RGB, top row first
    const uint8_t* At(uint32_t x, uint32_t y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 3]; }
};

bool ReadRgbPng(const std::string& path, Rgb* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    out->width = image.width;
    out->height = image.height;
    out->pixels.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// The tools' background, 0xFF1E2430.
bool IsBackground(const uint8_t* p) { return p[0] == 0x1E && p[1] == 0x24 && p[2] == 0x30; }

class AssetModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "asset-model-XXXXXX").string();
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    Result Spawn(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& dropEnv = {}) const {
        return tooltest::Spawn(program, args, dir_, dropEnv);
    }

    Result Model(std::vector<std::string> args) const {
        args.insert(args.begin(), "model");
        return Spawn(ORBELLINE_ASSET_TOOL, args);
    }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // The files in the test directory.
    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
        return names;
    }

    std::string Build(const std::string& type, std::vector<std::string> settings, const std::string& name) const {
        settings.insert(settings.begin(), "build");
        settings.insert(settings.begin() + 1, type);
        settings.push_back(P(name));
        const Result r = Model(settings);
        EXPECT_EQ(r.status, 0) << r.err;
        return P(name);
    }

    static void ExpectOneLineError(const Result& r, const std::string& prefix, const std::string& mentions) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
        EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
    }

    // The value after "key: " in `info`.
    static std::string Field(const std::string& info, const std::string& key) {
        const size_t at = info.find("\n" + key + ": ") != std::string::npos ? info.find("\n" + key + ": ") + 1
                          : info.rfind(key + ": ", 0) == 0                 ? 0
                                                                           : std::string::npos;
        if (at == std::string::npos) return "";
        const size_t start = at + key.size() + 2;
        return info.substr(start, info.find('\n', start) - start);
    }

    fs::path dir_;
};

TEST_F(AssetModelTest, HelpForEverySubcommand) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"info", "--help"}, {"convert", "--help"},
                                               {"render", "--help"}, {"build", "--help"}}) {
        SCOPED_TRACE(args.back() + " of " + args.front());
        const Result r = Model(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: orbelline-asset model", 0), 0u) << r.out;
    }
    // The build help lists every type with its keys.
    const std::string help = Model({"build", "--help"}).out;
    for (const char* word : {"sphere", "halfsphere", "disk", "plane", "box", "arrows", "frustum", "randomplane",
                             "cylinder", "parabola", "segments", "top_diameter", "ring_ratio", "keep_border"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

TEST_F(AssetModelTest, BadUsageExitsTwoAndWritesNothing) {
    const std::string sphere = Build("sphere", {}, "sphere.3dx");
    const std::set<std::string> before = Files();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"explode"},
        {"info"},
        {"info", sphere, sphere},
        {"convert", sphere},
        {"convert", sphere, P("out.obj")},
        {"convert", sphere, P("out.3ds.3dx")},
        {"convert", sphere, P("out.3dx"), "--contents", "position,wings"},
        {"convert", sphere, P("out.3dx"), "--contents", "0x4"},
        {"convert", sphere, P("out.3dx"), "--contents"},
        {"render", sphere},
        {"render", sphere, P("out.png"), "--size", "0x10"},
        {"render", sphere, P("out.png"), "--size", "64"},
        {"render", sphere, P("out.png"), "--yaw", "left"},
        {"render", sphere, P("out.png"), "--zoom", "0"},
        {"build"},
        {"build", "sphere"},
        {"build", "teapot", P("out.3dx")},
        {"build", "sphere", "colour=1", P("out.3dx")},
        {"build", "sphere", "radius", P("out.3dx")},
        {"build", "sphere", "radius=big", P("out.3dx")},
        {"build", "sphere", "segments=-3", P("out.3dx")},
        {"build", "sphere", "segments=4294967296", P("out.3dx")},
        {"build", "disk", "seed=3", P("out.3dx")},
        {"build", "sphere", P("out.png")},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const std::string& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        const Result r = Model(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(Files(), before);
    }
}

TEST_F(AssetModelTest, MissingAndDamagedFilesFailNamingTheFile) {
    const std::string sphere = Build("sphere", {"segments=6"}, "sphere.3dx");
    const std::string whole = ReadFile(sphere);
    WriteFile(P("short.3dx"), whole.substr(0, whole.size() / 2));
    WriteFile(P("header.3dx"), whole.substr(0, 12));
    std::string badVersion = whole;
    badVersion[12] = 3;  // version word
    WriteFile(P("version.3dx"), badVersion);
    std::string huge = whole;
    huge[4] = huge[5] = huge[6] = '\x7f';  // a vertex count far past the file
    WriteFile(P("huge.3dx"), huge);
    WriteFile(P("notes.txt"), "not a model\n");
    WriteFile(P("keep.3dx"), "precious");
    const std::set<std::string> before = Files();

    struct Case {
        std::vector<std::string> args;
        std::string names;  // the file the message must name
    };
    const std::string missing = P("missing.3dx");
    std::vector<Case> cases;
    for (const std::string& bad :
         {missing, P("short.3dx"), P("header.3dx"), P("version.3dx"), P("huge.3dx"), P("notes.txt")}) {
        cases.push_back({{"info", bad}, bad});
        cases.push_back({{"convert", bad, P("out.3dx")}, bad});
        cases.push_back({{"convert", bad, P("keep.3dx")}, bad});
        cases.push_back({{"render", bad, P("out.png")}, bad});
    }
    // The output cannot be written where no directory is.
    cases.push_back({{"convert", sphere, P("nowhere/out.3dx")}, P("nowhere/out.3dx")});
    cases.push_back({{"render", sphere, P("nowhere/out.png")}, P("nowhere/out.png")});
    cases.push_back({{"build", "box", P("nowhere/out.3dx")}, P("nowhere/out.3dx")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const Result r = Model(c.args);
        ExpectOneLineError(r, "orbelline-asset: model " + c.args[0] + ": ", c.names);
        EXPECT_EQ(Files(), before);
        EXPECT_EQ(ReadFile(P("keep.3dx")), "precious");
    }
}

TEST_F(AssetModelTest, EveryBuilderWritesAModelInfoReads) {
    struct Case {
        std::string type;
        std::vector<std::string> settings;
        std::string subObjects, vertices, indices, firstRecord;
    };
    const std::vector<Case> cases = {
        {"sphere", {"segments=3"}, "1", "14", "36", "trianglelist, vertices 0..13, indices 0..35, primitives 12"},
        {"sphere", {"segments=1000", "radius=0.5"}, "1", "65534", "388620", "trianglelist"},
        {"halfsphere", {"segments=4"}, "1", "23", "72", "trianglelist"},
        {"disk", {"segments=2"}, "1", "5", "5", "trianglefan, vertices 0..4, indices 0..4, primitives 3"},
        {"plane", {"columns=2", "rows=1"}, "1", "6", "12", "trianglelist, vertices 0..5, indices 0..11, primitives 4"},
        {"box", {}, "6", "24", "24", "trianglestrip, vertices 0..3, indices 0..3, primitives 2"},
        {"arrows", {"length=2"}, "1", "6", "6", "linelist, vertices 0..5, indices 0..5, primitives 3, cull 4294967295"},
        {"frustum", {"sides=6"}, "1", "8", "8", "trianglefan, vertices 0..7, indices 0..7, primitives 6"},
        {"randomplane", {"cells=4", "seed=7"}, "1", "25", "96", "trianglelist, vertices 0..24, indices 0..95"},
        {"cylinder", {"segments=8"}, "1", "16", "16", "trianglestrip, vertices 0..15, indices 0..15, primitives 14"},
        {"parabola", {"segments=8", "rings=3"}, "1", "33", "120", "trianglelist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        const std::string file = Build(c.type, c.settings, c.type + ".3dx");
        const Result r = Model({"info", file});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Field(r.out, "format"), "3DX version 8");
        EXPECT_EQ(Field(r.out, "sub-objects"), c.subObjects);
        EXPECT_EQ(Field(r.out, "vertices"), c.vertices);
        EXPECT_EQ(Field(r.out, "indices"), c.indices);
        EXPECT_EQ(Field(r.out, "sub-object 0").rfind(c.firstRecord, 0), 0u) << r.out;
        // Built models store what they have: positions, and normals where lit.
        EXPECT_NE(Field(r.out, "contents").find("position"), std::string::npos);
        EXPECT_EQ(Field(r.out, "contents"), Field(r.out, "present"));
    }
    // Extrema: a box of half extents 1, 2, 3, and the same random field for
    // the same seed.
    const Result box = Model({"info", Build("box", {"width=1", "height=2", "depth=3"}, "b.3dx")});
    EXPECT_EQ(Field(box.out, "extrema"), "min -1 -2 -3 max 1 2 3");
    // A four-sided frustum has the screen's proportions, 320 x 480.
    const Result frustum = Model({"info", Build("frustum", {"sides=4", "far=2", "angle=0.7"}, "f.3dx")});
    float x0, y0, z0, x1, y1, z1;
    ASSERT_EQ(std::sscanf(Field(frustum.out, "extrema").c_str(), "min %f %f %f max %f %f %f", &x0, &y0, &z0, &x1,
                          &y1, &z1),
              6);
    EXPECT_NEAR((x1 - x0) / (y1 - y0), 480.0 / 320.0, 1e-3);
    const std::string seed9 = ReadFile(Build("randomplane", {"seed=9"}, "r1.3dx"));
    EXPECT_EQ(seed9, ReadFile(Build("randomplane", {"seed=9"}, "r2.3dx")));
    EXPECT_NE(seed9, ReadFile(Build("randomplane", {"seed=10"}, "r3.3dx")));
}

TEST_F(AssetModelTest, BuildInfoConvertRenderRoundTrip) {
    const std::string built = Build("sphere", {"segments=12", "radius=3", "color=0xFF40A0FF"}, "ball.3dx");
    const Result info = Model({"info", built});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(Field(info.out, "contents"), "0x00170000 position normal color uv");
    EXPECT_EQ(Field(info.out, "extrema"), "min -3 -3 -3 max 3 3 3");

    // The default keeps every section; a narrower word drops the others.
    ASSERT_EQ(Model({"convert", built, P("same.3dx")}).status, 0);
    EXPECT_EQ(ReadFile(P("same.3dx")), ReadFile(built));
    ASSERT_EQ(Model({"convert", built, P("thin.3DX"), "--contents", "position+uv"}).status, 0);
    const Result thin = Model({"info", P("thin.3DX")});
    EXPECT_EQ(Field(thin.out, "contents"), "0x00110000 position uv");
    EXPECT_EQ(Field(thin.out, "vertices"), Field(info.out, "vertices"));
    EXPECT_EQ(Field(thin.out, "sub-object 0"), Field(info.out, "sub-object 0"));
    EXPECT_EQ(ReadFile(P("thin.3DX")).size(), 20 + 32 + 20 * std::stoul(Field(info.out, "vertices")) +
                                                  4 * std::stoul(Field(info.out, "indices")));
    // Converting over an existing file replaces it whole.
    WriteFile(P("old.3dx"), std::string(100000, 'x'));
    ASSERT_EQ(Model({"convert", P("thin.3DX"), P("old.3dx"), "--contents", "0x110000"}).status, 0);
    EXPECT_EQ(ReadFile(P("old.3dx")), ReadFile(P("thin.3DX")));

    // Rendered: the ball fills the middle, lit from above left, in its colour.
    const Result render = Model({"render", P("same.3dx"), P("ball.png"), "--size", "160x120"});
    ASSERT_EQ(render.status, 0) << render.err;
    EXPECT_TRUE(render.out.empty() && render.err.empty());
    Rgb picture;
    ASSERT_TRUE(ReadRgbPng(P("ball.png"), &picture));
    EXPECT_EQ(picture.width, 160u);
    EXPECT_EQ(picture.height, 120u);
    EXPECT_TRUE(IsBackground(picture.At(0, 0)));
    EXPECT_TRUE(IsBackground(picture.At(159, 119)));
    const uint8_t* centre = picture.At(80, 60);
    EXPECT_FALSE(IsBackground(centre));
    EXPECT_GT(centre[2], centre[0]);  // blue over red, as the model's colour
    const uint8_t* upperLeft = picture.At(60, 40);
    const uint8_t* lowerRight = picture.At(100, 80);
    EXPECT_GT(upperLeft[2] + upperLeft[1], lowerRight[2] + lowerRight[1] + 40);
    std::set<int> shades;
    for (uint32_t x = 30; x < 130; ++x) shades.insert(picture.At(x, 60)[2]);
    EXPECT_GT(shades.size(), 10u);  // shaded, not one flat colour
    EXPECT_EQ(Files(), (std::set<std::string>{"ball.3dx", "same.3dx", "thin.3DX", "old.3dx", "ball.png"}));

    // Without normals the model draws unlit, in its own colour all over.
    ASSERT_EQ(Model({"convert", built, P("flat.3dx"), "--contents", "position,color"}).status, 0);
    ASSERT_EQ(Model({"render", P("flat.3dx"), P("flat.png"), "--size", "160x120"}).status, 0);
    Rgb flat;
    ASSERT_TRUE(ReadRgbPng(P("flat.png"), &flat));
    const uint8_t* f = flat.At(80, 60);
    EXPECT_EQ(std::vector<int>(f, f + 3), (std::vector<int>{0x40, 0xA0, 0xFF}));
    EXPECT_EQ(std::vector<int>(flat.At(60, 40), flat.At(60, 40) + 3), (std::vector<int>{0x40, 0xA0, 0xFF}));
}

TEST_F(AssetModelTest, RenderTurnsAndTiltsTheModel) {
    // Arrows: red x, green y, blue z from the origin.
    const std::string arrows = Build("arrows", {}, "arrows.3dx");
    auto colours = [&](const std::vector<std::string>& view) {
        std::vector<std::string> args{"render", arrows, P("a.png"), "--size", "120x120"};
        args.insert(args.end(), view.begin(), view.end());
        EXPECT_EQ(Model(args).status, 0);
        Rgb p;
        EXPECT_TRUE(ReadRgbPng(P("a.png"), &p));
        return p.pixels;
    };
    const auto front = colours({"--yaw", "0", "--pitch", "0"});
    const auto turned = colours({"--yaw", "90", "--pitch", "0"});
    const auto tilted = colours({"--yaw", "0", "--pitch", "60"});
    EXPECT_NE(front, turned);
    EXPECT_NE(front, tilted);
    EXPECT_NE(turned, tilted);
}

// A 3DX V4 quad (a strip in the xy plane) with positions and uvs, textured
// by `texture` with creation words 0 and `word2`.
std::string TexturedQuad(const std::string& texture, uint32_t word2) {
    std::string file;
    auto word = [&](uint32_t w) { file.append(reinterpret_cast<const char*>(&w), 4); };
    auto real = [&](float f) { file.append(reinterpret_cast<const char*>(&f), 4); };
    for (uint32_t w : {1u, 4u, 4u, 8u, 0x10000u | 0x100000u | 0x800000u | 0x1000000u | 0x2000000u}) word(w);
    for (uint32_t w : {0u, 0u, 4u, 0u, 4u, 2u, 0u /* strip */, 0u}) word(w);
    std::string name = texture;
    name.resize(128, '\0');
    file += name;
    word(0);
    word(word2);
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (const auto& c : corners) {
        real(c[0]), real(c[1]), real(0);
        real((c[0] + 1) / 2), real((c[1] + 1) / 2);
    }
    for (uint32_t i = 0; i < 4; ++i) word(i);
    return file;
}

TEST_F(AssetModelTest, TexturesAreFoundBesideTheModel) {
    // Replace (0x100) shows the texture's own colour.
    WriteFile(P("quad.3dx"), TexturedQuad("red.png", 0x102));
    const Result info = Model({"info", P("quad.3dx")});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(Field(info.out, "contents"),
              "0x03910000 position uv texture-name texture-word1 texture-word2");
    EXPECT_EQ(Field(info.out, "sub-object 0"),
              "trianglestrip, vertices 0..3, indices 0..3, primitives 2, cull none, texture \"red.png\" 0 258");
    EXPECT_EQ(Field(info.out, "extrema"), "min -1 -1 0 max 1 1 0");

    // Without the texture the quad is drawn untextured, with a warning.
    const Result bare =
        Model({"render", P("quad.3dx"), P("bare.png"), "--size", "64x64", "--yaw", "0", "--pitch", "0"});
    EXPECT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.err.find("red.png"), std::string::npos) << bare.err;
    Rgb picture;
    ASSERT_TRUE(ReadRgbPng(P("bare.png"), &picture));
    EXPECT_FALSE(IsBackground(picture.At(32, 32)));

    std::vector<uint8_t> red(4 * 4 * 3, 0);
    for (size_t i = 0; i < red.size(); i += 3) red[i] = 0xFF;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 4;
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, P("red.png").c_str(), 0, red.data(), 0, nullptr));
    const Result textured =
        Model({"render", P("quad.3dx"), P("red-quad.png"), "--size", "64x64", "--yaw", "0", "--pitch", "0"});
    ASSERT_EQ(textured.status, 0) << textured.err;
    EXPECT_TRUE(textured.err.empty()) << textured.err;
    ASSERT_TRUE(ReadRgbPng(P("red-quad.png"), &picture));
    const uint8_t* centre = picture.At(32, 32);
    EXPECT_EQ(std::vector<int>(centre, centre + 3), (std::vector<int>{0xFF, 0, 0}));
    EXPECT_TRUE(IsBackground(picture.At(0, 0)));

    // Converted, the texture name and words travel along.
    ASSERT_EQ(Model({"convert", P("quad.3dx"), P("copy.3dx")}).status, 0);
    EXPECT_EQ(ReadFile(P("copy.3dx")), ReadFile(P("quad.3dx")));
}

// Files from other tools: the engine's readers take its two OBJ exporters and
// 3D Studio files; --lenient takes any OBJ, and its 3DX loads in the engine.
TEST_F(AssetModelTest, ForeignModelsThroughTheStrictAndLenientReaders) {
    const std::string data = ORBELLINE_TEST_DATA;
    const std::string foreignObj = data + "/models/assimp-quads.obj", foreign3ds = data + "/models/assimp-quads.3ds";
    ExpectOneLineError(Model({"info", foreignObj}), "orbelline-asset: model info: " + foreignObj, "line 1");
    const Result lenient = Model({"info", "--lenient", foreignObj});
    ASSERT_EQ(lenient.status, 0) << lenient.err;
    EXPECT_EQ(Field(lenient.out, "format"), "OBJ (lenient)");
    EXPECT_EQ(Field(lenient.out, "sub-objects"), "2");
    ASSERT_EQ(Model({"convert", "--lenient", foreignObj, P("quads.3dx")}).status, 0);
    const Result back = Model({"info", P("quads.3dx")});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(Field(back.out, "vertices"), Field(lenient.out, "vertices"));
    EXPECT_EQ(Field(back.out, "extrema"), Field(lenient.out, "extrema"));
    // --lenient is for OBJ files only.
    ExpectOneLineError(Model({"info", "--lenient", foreign3ds}), "orbelline-asset: model info: " + foreign3ds,
                       "--lenient reads only .obj");

    // The strict reader's own banner, a quad split in two triangles.
    WriteFile(P("max.obj"), "# 3ds Max Wavefront OBJ Exporter v0.94b - (c)2007 guruware\r\ng quad\r\n"
                            "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\n"
                            "vt 0 0 0\r\nvt 1 0 0\r\nvt 1 1 0\r\nvt 0 1 0\r\nf 1/1 2/2 3/3 4/4\r\n");
    const Result strict = Model({"info", P("max.obj")});
    ASSERT_EQ(strict.status, 0) << strict.err;
    EXPECT_EQ(Field(strict.out, "format"), "OBJ");
    EXPECT_EQ(Field(strict.out, "indices"), "6");

    // The 3D Studio file: drawn, and convertible.
    const Result info3ds = Model({"info", foreign3ds});
    ASSERT_EQ(info3ds.status, 0) << info3ds.err;
    EXPECT_EQ(Field(info3ds.out, "format"), "3DS");
    const Result render = Model({"render", foreign3ds, P("quads.png"), "--size", "96x64", "--yaw", "0", "--pitch", "0"});
    ASSERT_EQ(render.status, 0) << render.err;
    Rgb picture;
    ASSERT_TRUE(ReadRgbPng(P("quads.png"), &picture));
    // Two squares on a diagonal, green and red; nothing between them.
    EXPECT_GT(picture.At(32, 24)[1], 200);
    EXPECT_GT(picture.At(64, 40)[0], 200);
    EXPECT_TRUE(IsBackground(picture.At(48, 32)));
    EXPECT_TRUE(IsBackground(picture.At(1, 1)));
    ASSERT_EQ(Model({"convert", foreign3ds, P("studio.3dx")}).status, 0);
}

// orbelline-view without a display writes its turntable.
TEST_F(AssetModelTest, HeadlessViewerWritesATurntable) {
    const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY"};
    const Result r = Spawn(ORBELLINE_VIEW_TOOL, {"--out", P("turn"), "--frames", "5", "--size", "96x72", "arrows"},
                           noDisplay);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "turn/frame-%03d.png", i);
        Rgb p;
        ASSERT_TRUE(ReadRgbPng(P(name), &p)) << name;
        EXPECT_EQ(p.width, 96u);
        EXPECT_EQ(p.height, 72u);
        bool lit = false;
        for (uint32_t y = 0; y < p.height && !lit; ++y)
            for (uint32_t x = 0; x < p.width && !lit; ++x) lit = !IsBackground(p.At(x, y));
        EXPECT_TRUE(lit) << name;
        frames.push_back(p.pixels);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(P("turn")), fs::directory_iterator()), 5);
    for (size_t i = 1; i < frames.size(); ++i) EXPECT_NE(frames[i], frames[i - 1]) << i;

    // A model file, in a headless run asked for explicitly.
    const std::string box = Build("box", {"width=2"}, "box.3dx");
    const Result file = Spawn(ORBELLINE_VIEW_TOOL, {"--headless", "--out", P("box"), "--frames", "2", box});
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_TRUE(fs::exists(P("box/frame-001.png")));
}

// Runs again under Xvfb (CTest), where there is a display.
TEST_F(AssetModelTest, ViewerWindowShowsTheModel) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    const Result r = Spawn(ORBELLINE_VIEW_TOOL, {"--quit-after", "3", "--screenshot", P("window.png"), "--size",
                                                 "120x90", "--out", P("turntable"), "arrows", "length=3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(P("turntable")));  // shown in the window, not written headless
    Rgb p;
    ASSERT_TRUE(ReadRgbPng(P("window.png"), &p));
    EXPECT_EQ(p.width, 120u);
    EXPECT_EQ(p.height, 90u);
    EXPECT_TRUE(IsBackground(p.At(0, 0)));
    size_t coloured = 0;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) coloured += !IsBackground(p.At(x, y));
    EXPECT_GT(coloured, 50u);  // the three arrows
}

// Grey floor pixels of a shadow picture: lit ones and shadowed ones (the
// shadow keeps 96/255 of the light).
std::pair<size_t, size_t> FloorPixels(const Rgb& p) {
    size_t lit = 0, shadowed = 0;
    for (uint32_t y = 0; y < p.height; ++y)
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint8_t* c = p.At(x, y);
            if (IsBackground(c) || std::abs(c[0] - c[1]) > 3 || std::abs(c[1] - c[2]) > 3) continue;
            if (c[0] > 150) ++lit;
            if (c[0] >= 40 && c[0] <= 110) ++shadowed;
        }
    return {lit, shadowed};
}

TEST_F(AssetModelTest, HeadlessViewerShadowDarkensTheFloor) {
    const Result r = Spawn(ORBELLINE_VIEW_TOOL, {"--headless", "--shadow", "--out", P("shadow"), "--frames", "2",
                                                 "--size", "160x120", "sphere", "color=0xFFE0A040"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"shadow/frame-000.png", "shadow/frame-001.png"}) {
        Rgb p;
        ASSERT_TRUE(ReadRgbPng(P(name), &p)) << name;
        const auto [lit, shadowed] = FloorPixels(p);
        EXPECT_GT(lit, 1000u) << name;
        EXPECT_GT(shadowed, 300u) << name;
    }
    // A caster that is a box of strips casts nothing but is still shown.
    const Result none = Spawn(ORBELLINE_VIEW_TOOL, {"--headless", "--shadow", "--out", P("box"), "--frames", "1",
                                                    "--size", "160x120", "box"});
    EXPECT_EQ(none.status, 0) << none.err;
}

// Runs again under Xvfb (CTest): the arrow keys move the light, and the
// shadow with it.
TEST_F(AssetModelTest, ViewerWindowShadowFollowsTheArrowKeys) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
        if (std::getenv("CI")) FAIL() << "xdotool is not installed";
        GTEST_SKIP() << "xdotool is not installed";
    }
    auto run = [&](const std::string& shot, const std::string& keys) {
        const std::string cmd = std::string("'") + ORBELLINE_VIEW_TOOL + "' --shadow --quit-after 100000 --size 160x120 "
                                "--screenshot '" + P(shot) + "' sphere & pid=$!; "
                                "xdotool search --sync --name orbelline-view windowactivate --sync >/dev/null 2>&1; "
                                "sleep 0.5; xdotool key --delay 30 " + keys + " Escape; wait $pid";
        return std::system(cmd.c_str());
    };
    ASSERT_EQ(run("still.png", ""), 0);
    ASSERT_EQ(run("moved.png", "Right Right Right Right Right Right Right Right Right Right Right Right Up Up Up"), 0);
    Rgb still, moved;
    ASSERT_TRUE(ReadRgbPng(P("still.png"), &still));
    ASSERT_TRUE(ReadRgbPng(P("moved.png"), &moved));
    EXPECT_GT(FloorPixels(still).second, 300u);
    EXPECT_GT(FloorPixels(moved).second, 100u);
    EXPECT_NE(still.pixels, moved.pixels);
}

TEST_F(AssetModelTest, ViewerUsageAndFailures) {
    const Result help = Spawn(ORBELLINE_VIEW_TOOL, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: orbelline-view", 0), 0u);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--frames", "0", "sphere"}, {"--size", "big", "sphere"}, {"--wobble", "sphere"},
             {"sphere", "radius=soft"}, {"nofile.3dx", "radius=1"}}) {
        const Result r = Spawn(ORBELLINE_VIEW_TOOL, args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]) << r.err;
    }
    WriteFile(P("broken.3dx"), "broken");
    for (const std::string& bad : {P("missing.3dx"), P("broken.3dx")}) {
        const Result r = Spawn(ORBELLINE_VIEW_TOOL, {"--headless", "--out", P("out"), bad});
        ExpectOneLineError(r, "orbelline-view: ", bad);
        EXPECT_FALSE(fs::exists(P("out")));
    }
}

}  // namespace
