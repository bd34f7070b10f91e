// Runs 'orbelline-asset texture' on images made by ImageMagick and on
// damaged files.
#include <gtest/gtest.h>

#include "tests/tools/ToolRun.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <png.h>

namespace fs = std::filesystem;

namespace {

using tooltest::ReadFile;
using tooltest::Result;
using tooltest::Spawn;
using tooltest::WriteFile;

bool HaveConvert() { return std::system("command -v convert >/dev/null 2>&1") == 0; }

// A PNG read back whole, as stored: channels and rows in file order.
struct Png {
    uint32_t width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;
};

bool ReadPng(const std::string& path, Png* out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    // Keep the file's own layout: grey or colour, with or without alpha.
    image.format &= PNG_FORMAT_FLAG_COLOR | PNG_FORMAT_FLAG_ALPHA;
    out->width = image.width;
    out->height = image.height;
    out->channels = PNG_IMAGE_SAMPLE_CHANNELS(image.format);
    out->pixels.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out->pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

class AssetTextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "asset-texture-XXXXXX").string();
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    Result Run(const std::vector<std::string>& args) const { return Spawn(ORBELLINE_ASSET_TOOL, args, dir_); }

    // Makes `name` with ImageMagick: `args` then the output path.
    std::string Convert(std::vector<std::string> args, const std::string& name) const {
        args.push_back(P(name));
        const Result r = Spawn("convert", args, dir_);
        EXPECT_EQ(r.status, 0) << "convert failed for " << name << ": " << r.err;
        return P(name);
    }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    static void ExpectOneLineError(const Result& r, const std::string& mentions) {
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty()) << r.out;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // exactly one line
        EXPECT_EQ(r.err.rfind("orbelline-asset: texture ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(mentions), std::string::npos) << r.err;
    }

    fs::path dir_;
};

// Top row red, bottom row blue.
const std::vector<std::string> kRedOverBlue = {"-size", "4x1", "xc:red", "-size", "4x1", "xc:blue", "-append"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

TEST_F(AssetTextureTest, InfoReportsWhatTheEngineDecodes) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    struct Case {
        std::vector<std::string> make;
        std::string file;
        std::string info;
    };
    const std::vector<Case> cases = {
        {kRedOverBlue, "rgb.png", "width: 4\nheight: 2\nbits: 24\nname: rgb.png\n"},
        {{"-size", "3x5", "xc:rgba(255,0,0,0.5)", "-define", "png:color-type=6"}, "rgba.png",
         "width: 3\nheight: 5\nbits: 32\nname: rgba.png\n"},
        {{"-size", "6x2", "xc:gray50", "-define", "png:color-type=0", "-depth", "8"}, "grey.png",
         "width: 6\nheight: 2\nbits: 8\nname: grey.png\n"},
        {{"-size", "2x7", "xc:graya(50%,0.5)", "-define", "png:color-type=4", "-depth", "8"}, "ga.png",
         "width: 2\nheight: 7\nbits: 16\nname: ga.png\n"},
        {{"-size", "5x3", "xc:red", "-define", "png:color-type=2", "-depth", "16"}, "deep.PNG",
         "width: 5\nheight: 3\nbits: 24\nname: deep.PNG\n"},
        {With(kRedOverBlue, {"-quality", "95"}), "photo.jpg", "width: 4\nheight: 2\nbits: 24\nname: photo.jpg\n"},
        {{"-size", "9x4", "xc:gray60", "-colorspace", "Gray"}, "grey.JPG",
         "width: 9\nheight: 4\nbits: 8\nname: grey.JPG\n"},
        {With(kRedOverBlue, {"-type", "TrueColor", "-compress", "None"}), "plain.tga",
         "width: 4\nheight: 2\nbits: 24\nname: plain.tga\n"},
        {With(kRedOverBlue, {"-type", "TrueColor", "-compress", "RLE"}), "rle.tga",
         "width: 4\nheight: 2\nbits: 24\nname: rle.tga\n"},
        {{"-size", "3x3", "xc:rgba(0,0,255,0.25)", "-type", "TrueColorAlpha"}, "alpha.TGA",
         "width: 3\nheight: 3\nbits: 32\nname: alpha.TGA\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = Convert(c.make, c.file);
        const Result r = Run({"texture", "info", path});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.info);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(AssetTextureTest, DumpWritesTheBufferInUploadOrder) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    struct Case {
        std::vector<std::string> make;
        std::string file;
        uint32_t channels;
        bool bottomFirst;  // the dump's first row is the image's bottom row
    };
    const std::vector<Case> cases = {
        {kRedOverBlue, "rgb.png", 3, true},
        {With(kRedOverBlue, {"-quality", "100"}), "photo.jpg", 3, true},
        {With(kRedOverBlue, {"-alpha", "on", "-define", "png:color-type=6"}), "alpha.png", 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string in = Convert(c.make, c.file);
        const std::string out = P(c.file + ".dump.png");
        const Result r = Run({"texture", "dump", in, out});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");
        Png png;
        ASSERT_TRUE(ReadPng(out, &png));
        EXPECT_EQ(png.width, 4u);
        EXPECT_EQ(png.height, 2u);
        EXPECT_EQ(png.channels, c.channels);
        const uint8_t* first = png.pixels.data();
        const uint8_t* second = first + 4 * c.channels;
        const uint8_t* blueRow = c.bottomFirst ? first : second;
        const uint8_t* redRow = c.bottomFirst ? second : first;
        EXPECT_LT(blueRow[0], 60);
        EXPECT_GT(blueRow[2], 200);
        EXPECT_GT(redRow[0], 200);
        EXPECT_LT(redRow[2], 60);
    }

    // TGA rows keep the order in which the file stores them (whichever
    // ImageMagick picks), pixels turned from BGR to RGB.
    const std::string tga = Convert(With(kRedOverBlue, {"-type", "TrueColor", "-compress", "None"}), "plain.tga");
    ASSERT_EQ(Run({"texture", "dump", tga, P("plain.dump.png")}).status, 0);
    {
        const std::string stored = ReadFile(tga);
        ASSERT_EQ(stored.size(), 18u + 4 * 2 * 3);
        Png png;
        ASSERT_TRUE(ReadPng(P("plain.dump.png"), &png));
        ASSERT_EQ(png.channels, 3u);
        for (size_t i = 0; i < 8; ++i)
            for (size_t ch = 0; ch < 3; ++ch)
                EXPECT_EQ(png.pixels[i * 3 + ch], static_cast<uint8_t>(stored[18 + i * 3 + 2 - ch])) << i;
    }

    // A grey image stays grey, a raw file comes out as stored.
    const std::string grey = Convert({"-size", "3x2", "xc:gray40", "-define", "png:color-type=0"}, "grey.png");
    ASSERT_EQ(Run({"texture", "dump", grey, P("grey.dump.png")}).status, 0);
    Png png;
    ASSERT_TRUE(ReadPng(P("grey.dump.png"), &png));
    EXPECT_EQ(png.channels, 1u);
    EXPECT_NEAR(png.pixels[0], 102, 2);

    std::string raw(256 * 256 * 3, '\0');
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>(i % 251);
    WriteFile(P("noise.raw"), raw);
    ASSERT_EQ(Run({"texture", "dump", P("noise.raw"), P("noise.png")}).status, 0);
    ASSERT_TRUE(ReadPng(P("noise.png"), &png));
    EXPECT_EQ(png.width, 256u);
    EXPECT_EQ(png.channels, 3u);
    EXPECT_EQ(std::string(png.pixels.begin(), png.pixels.end()), raw);
}

TEST_F(AssetTextureTest, BadFilesFailWithOneLine) {
    const bool convert = HaveConvert();
    WriteFile(P("text.png"), "this is no image\n");
    WriteFile(P("empty.jpg"), "");
    WriteFile(P("junk.tga"), std::string(40, '\x07'));
    WriteFile(P("short.raw"), std::string(196607, 'r'));
    WriteFile(P("image.bmp"), "BM");
    struct Case {
        std::string file;
        std::string mentions;
    };
    std::vector<Case> cases = {
        {P("text.png"), "PNG"},         {P("empty.jpg"), "JPEG"},    {P("junk.tga"), "TGA"},
        {P("short.raw"), "raw"},        {P("image.bmp"), "no decoder"}, {P("missing.png"), "No such file"},
    };
    if (convert) {
        // A real PNG under a name of the wrong case, and a truncated JPEG header.
        const std::string png = Convert(kRedOverBlue, "real.png");
        fs::copy_file(png, P("real.Png"));
        cases.push_back({P("real.Png"), "no decoder"});
        const std::string jpg = Convert(kRedOverBlue, "cut.jpg");
        fs::resize_file(jpg, 30);
        cases.push_back({jpg, "JPEG"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ExpectOneLineError(Run({"texture", "info", c.file}), c.mentions);
        ExpectOneLineError(Run({"texture", "dump", c.file, P("out.png")}), c.mentions);
        EXPECT_FALSE(fs::exists(P("out.png")));
    }

    if (convert) {
        const std::string png = Convert(kRedOverBlue, "good.png");
        ExpectOneLineError(Run({"texture", "dump", png, P("no/such/dir/out.png")}), "out.png");
    }
}

TEST_F(AssetTextureTest, UsageAndHelp) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string outStarts;
    };
    const std::vector<Case> cases = {
        {{"texture"}, 2, ""},
        {{"texture", "frobnicate"}, 2, ""},
        {{"texture", "info"}, 2, ""},
        {{"texture", "info", "a.png", "b.png"}, 2, ""},
        {{"texture", "dump", "a.png"}, 2, ""},
        {{"texture", "info", "--bogus", "a.png"}, 2, ""},
        {{"texture", "--help"}, 0, "usage: orbelline-asset texture SUBCOMMAND"},
        {{"texture", "info", "--help"}, 0, "usage: orbelline-asset texture info FILE"},
        {{"texture", "dump", "-h"}, 0, "usage: orbelline-asset texture dump FILE OUT.png"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.out.rfind(c.outStarts, 0), 0u) << r.out;
        } else {
            EXPECT_FALSE(r.err.empty());
        }
    }
    const Result top = Run({"--help"});
    EXPECT_NE(top.out.find("texture"), std::string::npos);
}

}  // namespace
