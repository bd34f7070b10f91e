// Texture decoding: what each decoder hands to the upload (size, depth,
// channel and row order, name) from files, pack entries and memory, and
// how damaged or unsupported data fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/3d/3DTexture.h"
#include "engine/world/ResPacker.h"
#include "engine/world/SharedInfos.h"
#include "tests/engine/3d/TextureTestImages.h"

namespace {

using teximg::Bytes;

// Keeps a copy of every upload it receives; the upload's status can be set.
class CaptureTexture : public C3DTexture {
public:
    struct Upload {
        uint32_t width = 0, height = 0, bits = 0;
        Bytes pixels;
        std::string name;
    };

    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bits, void* pixels,
                               const char* name) override {
        Upload u;
        u.width = width;
        u.height = height;
        u.bits = bits;
        const size_t bytes = static_cast<size_t>(width) * height * (bits / 8);
        const uint8_t* p = static_cast<const uint8_t*>(pixels);
        u.pixels.assign(p, p + bytes);
        u.name = name ? name : "";
        uploads.push_back(u);
        C3DTexture::MakeTextureFromRaw(width, height, bits, pixels, name);
        return uploadResult;
    }
    eRESULT Unload() override {
        ++unloads;
        return C3DTexture::Unload();
    }

    const Upload& Last() const { return uploads.back(); }

    std::vector<Upload> uploads;
    eRESULT uploadResult = eOK;
    int unloads = 0;
};

class TextureDecodeTest : public ::testing::Test {
protected:
    TextureDecodeTest() : infos_(new SHARED_INFOS()) {
        infos_->m_dwTextureNameSkip = 0xFFFFFFFFu;
        texture.Load(infos_.get());
    }

    // The bytes in a heap block of exactly their size, so that a read past
    // the end is caught by the address sanitizer.
    eRESULT FromMemory(const Bytes& bytes, const char* name) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
        if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
        return texture.MakeTextureFromAddress(exact.get(), static_cast<uint32_t>(bytes.size()), name);
    }
    eRESULT FromFile(const Bytes& bytes, const std::string& name) {
        return texture.LoadTextureFromFile(dir.Write(name, bytes).c_str());
    }

    std::unique_ptr<SHARED_INFOS> infos_;
    CaptureTexture texture;
    teximg::TempDir dir;
};

Bytes Px(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(static_cast<uint8_t>(v));
    return b;
}

// --- Base class -------------------------------------------------------------

TEST(TextureBase, ConstructionLoadUnloadAndUnsupportedOperations) {
    C3DTexture texture;
    EXPECT_EQ(texture.m_pSharedInfos, nullptr);
    EXPECT_EQ(texture.m_dwFlags, 0u);
    EXPECT_EQ(texture.m_dwFlags2, 0u);
    EXPECT_EQ(texture.m_bBitsPerPixel, 0u);
    EXPECT_EQ(texture.m_wWidth, 0u);
    EXPECT_EQ(texture.m_wHeight, 0u);
    for (char c : texture.m_szName) ASSERT_EQ(c, 0);

    SHARED_INFOS infos{};
    EXPECT_EQ(texture.Load(&infos), eOK);
    EXPECT_EQ(texture.m_pSharedInfos, &infos);
    EXPECT_EQ(texture.ScreenShot(false, true, false, 0), eFAILED);
    EXPECT_EQ(texture.SaveTextureToFile("/tmp/never.png"), eFAILED);
    EXPECT_EQ(texture.Render(8, 0), eOK);
    EXPECT_EQ(texture.RenderLight(0), eOK);

    std::memset(texture.m_szName, 'x', sizeof texture.m_szName);
    EXPECT_EQ(texture.Unload(), eOK);
    for (char c : texture.m_szName) ASSERT_EQ(c, 0);
}

TEST(TextureBase, UploadRecordsTheNameByTheTextureNameRule) {
    const std::string longPath = "Data/" + std::string(300, 'n') + ".png";
    struct Case {
        bool withInfos;
        uint32_t skip;
        const char* name;
        std::string want;
    };
    const std::vector<Case> cases = {
        {true, 0xFFFFFFFFu, "Data/gfx/mask.png", "mask.png"},
        {true, 0xFFFFFFFFu, "Data\\mask.png", "mask.png"},
        {true, 0xFFFFFFFFu, "a\\b/c.png", "b/c.png"},  // the last backslash wins
        {true, 0xFFFFFFFFu, "ball.png", "ball.png"},
        {true, 0xFFFFFFFFu, "%s%n.png", "%s%n.png"},  // plain text, no format
        {true, 5, "Data/gfx/mask.png", "gfx/mask.png"},
        {true, 0, "Data/gfx/mask.png", "Data/gfx/mask.png"},
        {true, 300, "Data/mask.png", ""},
        {false, 0, "Data/gfx/mask.png", "mask.png"},  // no record: bare file names
        {true, 0, longPath.c_str(), longPath.substr(0, 259)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SHARED_INFOS infos{};
        infos.m_dwTextureNameSkip = c.skip;
        C3DTexture texture;
        if (c.withInfos) texture.Load(&infos);
        std::memset(texture.m_szName, 'x', sizeof texture.m_szName);
        uint8_t pixel[3] = {};
        EXPECT_EQ(texture.MakeTextureFromRaw(1, 1, 24, pixel, c.name), eOK);
        EXPECT_EQ(texture.m_szName[sizeof texture.m_szName - 1], 0);
        EXPECT_EQ(std::string(texture.m_szName), c.want);
        // The base upload touches only the name.
        EXPECT_EQ(texture.m_wWidth, 0u);
        EXPECT_EQ(texture.m_bBitsPerPixel, 0u);
    }

    C3DTexture texture;
    std::strcpy(texture.m_szName, "kept.png");
    EXPECT_EQ(texture.MakeTextureFromRaw(1, 1, 8, nullptr, nullptr), eOK);
    EXPECT_STREQ(texture.m_szName, "kept.png");
}

// --- PNG --------------------------------------------------------------------

struct PngCase {
    const char* what;
    teximg::PngDesc desc;
    uint32_t bits;
    Bytes buffer;  // upload order: the image's bottom row first
};

std::vector<PngCase> PngCases() {
    std::vector<PngCase> cases;
    auto add = [&](const char* what, uint32_t w, uint32_t h, int depth, int type, std::vector<Bytes> rows,
                   uint32_t bits, Bytes buffer) {
        PngCase c;
        c.what = what;
        c.desc.width = w;
        c.desc.height = h;
        c.desc.depth = depth;
        c.desc.colorType = type;
        c.desc.rows = std::move(rows);
        c.bits = bits;
        c.buffer = std::move(buffer);
        cases.push_back(std::move(c));
        return &cases.back();
    };
    add("RGB, top red over bottom blue", 4, 2, 8, PNG_COLOR_TYPE_RGB,
        {Px({255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}), Px({0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255})}, 24,
        Px({0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}));
    {
        PngCase* c = add("palette with tRNS", 2, 1, 8, PNG_COLOR_TYPE_PALETTE, {Px({1, 0})}, 32,
                         Px({0, 255, 0, 255, 255, 0, 0, 128}));
        c->desc.palette = {{255, 0, 0}, {0, 255, 0}};
        c->desc.paletteAlpha = Px({128});
    }
    {
        PngCase* c = add("palette without tRNS", 3, 1, 4, PNG_COLOR_TYPE_PALETTE, {Px({0x01, 0x20})}, 24,
                         Px({40, 50, 60, 10, 20, 30, 70, 80, 90}));
        c->desc.palette = {{40, 50, 60}, {10, 20, 30}, {70, 80, 90}};
    }
    add("16-bit RGB", 2, 1, 16, PNG_COLOR_TYPE_RGB,
        {Px({0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00, 0x01, 0xFF, 0x80, 0x00, 0x7F, 0xFF})}, 24,
        Px({0x12, 0xAB, 0xFF, 0x01, 0x80, 0x7F}));
    add("2-bit grey", 4, 1, 2, PNG_COLOR_TYPE_GRAY, {Px({0x1B})}, 8, Px({0, 85, 170, 255}));
    add("1-bit grey, odd width", 3, 2, 1, PNG_COLOR_TYPE_GRAY, {Px({0x40}), Px({0xA0})}, 8,
        Px({255, 0, 255, 0, 255, 0}));
    add("16-bit grey", 2, 1, 16, PNG_COLOR_TYPE_GRAY, {Px({0x80, 0x01, 0x10, 0xFF})}, 8, Px({0x80, 0x10}));
    add("grey + alpha", 2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {Px({10, 200, 30, 40})}, 16, Px({10, 200, 30, 40}));
    {
        PngCase* c = add("grey with a transparent value", 2, 1, 8, PNG_COLOR_TYPE_GRAY, {Px({7, 9})}, 16,
                         Px({7, 0, 9, 255}));
        c->desc.transparentGrey = 7;
    }
    add("RGBA", 1, 2, 8, PNG_COLOR_TYPE_RGB_ALPHA, {Px({1, 2, 3, 4}), Px({5, 6, 7, 8})}, 32,
        Px({5, 6, 7, 8, 1, 2, 3, 4}));
    {
        std::vector<Bytes> rows;
        Bytes buffer;
        for (int y = 0; y < 9; ++y) {
            Bytes row;
            for (int x = 0; x < 9; ++x) row.insert(row.end(), {uint8_t(x * 20), uint8_t(y * 20), 7});
            rows.push_back(row);
        }
        for (int y = 8; y >= 0; --y) buffer.insert(buffer.end(), rows[y].begin(), rows[y].end());
        PngCase* c = add("interlaced RGB", 9, 9, 8, PNG_COLOR_TYPE_RGB, rows, 24, buffer);
        c->desc.interlaced = true;
    }
    return cases;
}

TEST_F(TextureDecodeTest, PngDepthsChannelsAndRowOrderFromFileAndMemory) {
    for (const PngCase& c : PngCases()) {
        SCOPED_TRACE(c.what);
        const Bytes png = teximg::WritePng(c.desc);
        for (bool memory : {false, true}) {
            SCOPED_TRACE(memory ? "memory" : "file");
            texture.uploads.clear();
            ASSERT_EQ(memory ? FromMemory(png, "Data/image.png") : FromFile(png, "image.png"), eOK);
            ASSERT_EQ(texture.uploads.size(), 1u);
            EXPECT_EQ(texture.Last().width, c.desc.width);
            EXPECT_EQ(texture.Last().height, c.desc.height);
            EXPECT_EQ(texture.Last().bits, c.bits);
            EXPECT_EQ(texture.Last().pixels, c.buffer);
            EXPECT_STREQ(texture.m_szName, "image.png");
        }
    }
}

TEST_F(TextureDecodeTest, DamagedPngFailsCleanly) {
    const Bytes good = teximg::WriteRgbPng(4, {Px({255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}),
                                               Px({0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255})});
    Bytes truncated(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    Bytes noEnd(good.begin(), good.end() - 12);  // IEND missing
    Bytes badCrc = good;
    // The IDAT chunk's data: a flipped byte breaks its checksum.
    for (size_t i = 8; i + 8 < badCrc.size(); ++i)
        if (std::memcmp(&badCrc[i + 4], "IDAT", 4) == 0) {
            badCrc[i + 10] ^= 0x55;
            break;
        }
    Bytes badSignature = good;
    badSignature[0] = 'P';
    Bytes laterSignatureByte = good;
    laterSignatureByte[3] = 'X';
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"cut in half", truncated},      {"without IEND", noEnd},
        {"IDAT checksum", badCrc},        {"first signature byte", badSignature},
        {"later signature byte", laterSignatureByte}, {"signature only", Bytes(good.begin(), good.begin() + 8)},
        {"one byte", Bytes(good.begin(), good.begin() + 1)},  {"empty", Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FromFile(c.bytes, "bad.png"), eFAILED);
        EXPECT_EQ(FromMemory(c.bytes, "bad.png"), eFAILED);
        EXPECT_TRUE(texture.uploads.empty());
        EXPECT_STREQ(texture.m_szName, "");
    }
}

TEST_F(TextureDecodeTest, PngSidesBeyondTheLimitFailInsteadOfWrapping) {
    struct Case {
        uint32_t width;
        bool loads;
    };
    // 70000 would wrap to 4464 in the texture's 16-bit width.
    for (const Case& c : {Case{70000, false}, Case{eTEXTURE_MAX_SIDE + 1, false}, Case{eTEXTURE_MAX_SIDE, true}}) {
        SCOPED_TRACE(c.width);
        teximg::PngDesc desc;
        desc.width = c.width;
        desc.height = 1;
        desc.depth = 1;
        desc.colorType = PNG_COLOR_TYPE_GRAY;
        desc.rows = {Bytes((c.width + 7) / 8, 0xAA)};
        const Bytes png = teximg::WritePng(desc);
        texture.uploads.clear();
        EXPECT_EQ(FromMemory(png, "wide.png"), c.loads ? eOK : eFAILED);
        EXPECT_EQ(FromFile(png, "wide.png"), c.loads ? eOK : eFAILED);
        EXPECT_EQ(texture.uploads.size(), c.loads ? 2u : 0u);
        if (c.loads) {
            EXPECT_EQ(texture.Last().width, c.width);
        }
    }
}

TEST_F(TextureDecodeTest, UploadStatusIsPassedOnForPng) {
    const Bytes png = teximg::WriteRgbPng(1, {Px({1, 2, 3})});
    texture.uploadResult = eFAILED;
    EXPECT_EQ(FromMemory(png, "a.png"), eFAILED);
    EXPECT_EQ(FromFile(png, "a.png"), eFAILED);
    EXPECT_EQ(texture.uploads.size(), 2u);
}

// --- Choice of decoder ------------------------------------------------------

TEST_F(TextureDecodeTest, DecoderIsChosenByCaseSensitiveExtension) {
    const Bytes png = teximg::WriteRgbPng(1, {Px({1, 2, 3})});
    const struct {
        const char* name;
        bool loads;
    } cases[] = {
        {"img.png", true},      {"img.PNG", true},  {"img.pngg", true},   {"img.PNGG", true},
        {"img.Png", false},     {"img.pNg", false}, {"img.jpeg", false},  {"img.bmp", false},
        {"img", false},         {"img.tga.png", false},  // TGA comes first, and this is no TGA
        {"img.png.raw", true},  // PNG comes before raw
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FromFile(png, c.name), c.loads ? eOK : eFAILED);
        EXPECT_EQ(FromMemory(png, c.name), c.loads ? eOK : eFAILED);
    }
    EXPECT_EQ(texture.MakeTextureFromAddress(nullptr, 10, "a.png"), eFAILED);
    EXPECT_EQ(FromMemory(png, nullptr), eFAILED);
    EXPECT_EQ(texture.LoadTextureFromFile((dir.Path() + "/missing.png").c_str()), eFAILED);
    EXPECT_EQ(texture.LoadTextureFromFile(nullptr), eFAILED);
    EXPECT_EQ(texture.LoadTextureFromPacker(nullptr), eFAILED);
}

TEST_F(TextureDecodeTest, EveryLoadFirstReleasesThePreviousImage) {
    const Bytes png = teximg::WriteRgbPng(1, {Px({1, 2, 3})});
    ASSERT_EQ(FromFile(png, "first.png"), eOK);
    EXPECT_STREQ(texture.m_szName, "first.png");
    const int before = texture.unloads;
    EXPECT_EQ(FromMemory(Px({1, 2, 3}), "second.png"), eFAILED);
    EXPECT_EQ(texture.unloads, before + 1);
    EXPECT_STREQ(texture.m_szName, "");  // a failed load leaves the texture empty
}

// --- JPEG -------------------------------------------------------------------

void ExpectNearBytes(const Bytes& got, const Bytes& want, int tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], tolerance) << "byte " << i;
}

Bytes Rows(const Bytes& topFirst, size_t rowBytes, bool flip) {
    if (!flip) return topFirst;
    Bytes out;
    for (size_t r = topFirst.size() / rowBytes; r-- > 0;)
        out.insert(out.end(), topFirst.begin() + static_cast<long>(r * rowBytes),
                   topFirst.begin() + static_cast<long>((r + 1) * rowBytes));
    return out;
}

TEST_F(TextureDecodeTest, JpegRowOrderDependsOnTheSource) {
    Bytes grey;
    for (int i = 0; i < 4; ++i) grey.push_back(200);
    for (int i = 0; i < 4; ++i) grey.push_back(40);
    const struct {
        const char* what;
        int components;
        Bytes topFirst;
    } images[] = {{"colour", 3, teximg::RedOverBlue()}, {"greyscale", 1, grey}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.what);
        const Bytes jpeg = teximg::WriteJpeg(4, 2, image.components, image.topFirst);
        const size_t rowBytes = 4u * image.components;
        // From a stream the bottom scanline comes first, from memory the top.
        for (bool memory : {false, true}) {
            SCOPED_TRACE(memory ? "memory" : "file");
            texture.uploads.clear();
            ASSERT_EQ(memory ? FromMemory(jpeg, "Data/photo.jpg") : FromFile(jpeg, "photo.JPG"), eOK);
            ASSERT_EQ(texture.uploads.size(), 1u);
            EXPECT_EQ(texture.Last().width, 4u);
            EXPECT_EQ(texture.Last().height, 2u);
            EXPECT_EQ(texture.Last().bits, 8u * image.components);
            ExpectNearBytes(texture.Last().pixels, Rows(image.topFirst, rowBytes, !memory), 40);
            EXPECT_STREQ(texture.m_szName, memory ? "photo.jpg" : "photo.JPG");
        }
    }
}

// The offset of the first byte after the marker segment that starts with
// 0xFF `marker`.
size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
    return 0;
}

TEST_F(TextureDecodeTest, DamagedJpegFailsCleanlyAndShortDataEndsTheImage) {
    Bytes pixels;
    for (int i = 0; i < 32 * 32; ++i) pixels.insert(pixels.end(), {uint8_t(i), uint8_t(i >> 2), 90});
    const Bytes good = teximg::WriteJpeg(32, 32, 3, pixels, 90);
    const size_t sof = FindMarker(good, 0xC0);
    ASSERT_GT(sof, 0u);

    Bytes zeroWidth = good;
    zeroWidth[sof + 7] = zeroWidth[sof + 8] = 0;
    Bytes huge = good;  // 20000 x 20000 declared
    huge[sof + 5] = huge[sof + 7] = 20000 >> 8;
    huge[sof + 6] = huge[sof + 8] = 20000 & 0xFF;
    // A second image where the first should have ended: an error raised
    // after the pixel buffer exists.
    Bytes twoImages(good.begin(), good.end() - 2);
    twoImages.insert(twoImages.end(), good.begin(), good.end());
    Bytes notJpeg = good;
    notJpeg[1] = 0x00;

    const struct {
        const char* what;
        Bytes bytes;
        bool loads;
    } cases[] = {
        {"header cut short", Bytes(good.begin(), good.begin() + 40), false},
        {"no image after the tables", Bytes(good.begin(), good.begin() + static_cast<long>(sof)), false},
        {"zero width", zeroWidth, false},
        {"sides beyond the limit", huge, false},
        {"a second start of image", twoImages, false},
        {"no start of image", notJpeg, false},
        {"empty", Bytes(), false},
        // Scan data cut short: the source ends the image, the load succeeds.
        {"scan cut short", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() * 2 / 3)), true},
        {"no end marker", Bytes(good.begin(), good.end() - 2), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        texture.uploads.clear();
        EXPECT_EQ(FromFile(c.bytes, "bad.jpg"), c.loads ? eOK : eFAILED);
        EXPECT_EQ(FromMemory(c.bytes, "bad.jpg"), c.loads ? eOK : eFAILED);
        ASSERT_EQ(texture.uploads.size(), c.loads ? 2u : 0u);
        if (c.loads) {
            EXPECT_EQ(texture.Last().width, 32u);
            EXPECT_EQ(texture.Last().height, 32u);
        }
    }
}

// A few hundred bytes can declare a gigabyte of pixels: every decoder refuses
// an image over the memory budget before it allocates, whatever the file's
// size, and still takes the largest one within it.
TEST_F(TextureDecodeTest, ImagesOverTheMemoryBudgetAreRefusedBeforeDecoding) {
    Bytes pixels(16 * 16 * 3, 0x40);
    const Bytes small = teximg::WriteJpeg(16, 16, 3, pixels, 50);
    const size_t sof = FindMarker(small, 0xC0);
    ASSERT_GT(sof, 0u);
    auto declared = [&](uint32_t w, uint32_t h) {
        Bytes j = small;
        j[sof + 5] = uint8_t(h >> 8);
        j[sof + 6] = uint8_t(h & 0xFF);
        j[sof + 7] = uint8_t(w >> 8);
        j[sof + 8] = uint8_t(w & 0xFF);
        return j;
    };
    auto grey = [](uint32_t w, uint32_t h) {
        teximg::PngDesc desc;
        desc.width = w;
        desc.height = h;
        desc.depth = 1;
        desc.colorType = PNG_COLOR_TYPE_GRAY;
        desc.rows.assign(h, Bytes((w + 7) / 8, 0x5A));
        return teximg::WritePng(desc);
    };
    const struct {
        const char* what;
        Bytes bytes;
        const char* name;
    } refused[] = {
        {"JPEG of 16384 x 16384 in a few hundred bytes", declared(16384, 16384), "big.jpg"},
        {"JPEG one row over the budget", declared(4096, 4097), "big.jpg"},
        {"PNG one column over the budget", grey(4097, 4096), "big.png"},
        {"TGA of 16384 x 16384", teximg::Tga(10, 16384, 16384, 24, Bytes(64, 0)), "big.tga"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        EXPECT_LT(c.bytes.size(), 2u << 20);
        texture.uploads.clear();
        EXPECT_EQ(FromMemory(c.bytes, c.name), eFAILED);
        EXPECT_EQ(FromFile(c.bytes, c.name), eFAILED);
        EXPECT_TRUE(texture.uploads.empty());
    }
    EXPECT_EQ(FromMemory(grey(4096, 4096), "edge.png"), eOK);
    EXPECT_EQ(texture.Last().width, 4096u);
    EXPECT_EQ(texture.Last().height, 4096u);
}

// A JPEG without its end marker, padded with a comment segment to exactly
// `size` bytes.
Bytes JpegWithoutEndOfSize(const Bytes& jpeg, size_t size) {
    const size_t body = jpeg.size() - 2;  // less the end marker
    const size_t comment = size - body;   // 0xFF 0xFE, length, text
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    const size_t length = comment - 2;
    out.insert(out.end(), {0xFF, 0xFE, uint8_t(length >> 8), uint8_t(length & 0xFF)});
    out.insert(out.end(), length - 2, 'c');
    out.insert(out.end(), jpeg.begin() + 2, jpeg.begin() + static_cast<long>(body));
    return out;
}

class PackBuilder {
public:
    void Add(const std::string& name, const Bytes& data) { entries_.push_back({name, data}); }
    std::string Write(teximg::TempDir* dir, const std::string& file) {
        const std::string path = dir->Reserve(file);
        FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        for (const auto& e : entries_) {
            EXPECT_EQ(eResPackerWriteEntryHeader(f, e.first.c_str(), static_cast<uint32_t>(e.second.size())), eOK);
            if (!e.second.empty()) std::fwrite(e.second.data(), 1, e.second.size(), f);
        }
        std::fclose(f);
        return path;
    }

private:
    std::vector<std::pair<std::string, Bytes>> entries_;
};

TEST_F(TextureDecodeTest, PackEntriesDecodeWithOtherEntriesBehindThem) {
    const Bytes jpeg = teximg::WriteJpeg(4, 2, 3, teximg::RedOverBlue());
    const Bytes png = teximg::WriteRgbPng(1, {Px({1, 2, 3}), Px({4, 5, 6})});
    const Bytes tga = teximg::Tga(2, 1, 1, 24, Px({30, 20, 10}));
    Bytes raw(eTEXTURE_RAW_SIZE);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 7);

    // Without its end marker the entry ends only by its size: the decoder
    // must stop there and not run into the next JPEG. Sizes around the
    // source's 4096-byte blocks.
    const size_t sizes[] = {4094, 4095, 4096, 4097, 8192};
    PackBuilder pack;
    pack.Add("Images/first.png", png);
    pack.Add("Images/photo.jpg", jpeg);
    for (size_t size : sizes) pack.Add("cut" + std::to_string(size) + ".jpg", JpegWithoutEndOfSize(jpeg, size));
    pack.Add("tail.tga", tga);
    pack.Add("noise.raw", raw);
    pack.Add("last.pngg", png);
    pack.Add("last.jpg", jpeg);
    const std::string path = pack.Write(&dir, "test.res.pak");

    _RES_PACKER packer{};
    packer.m_pFile = std::fopen(path.c_str(), "rb");
    ASSERT_NE(packer.m_pFile, nullptr);
    auto load = [&](const std::string& name) {
        texture.uploads.clear();
        EXPECT_EQ(eGetResPacker(name.c_str(), &packer), eOK) << name;
        return texture.LoadTextureFromPacker(&packer);
    };

    ASSERT_EQ(load("Images/photo.jpg"), eOK);
    const Bytes reference = texture.Last().pixels;
    ExpectNearBytes(reference, Rows(teximg::RedOverBlue(), 12, true), 40);
    EXPECT_STREQ(texture.m_szName, "photo.jpg");
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        ASSERT_EQ(load("cut" + std::to_string(size)), eOK);
        EXPECT_EQ(texture.Last().pixels, reference);
    }
    ASSERT_EQ(load("last.jpg"), eOK);
    EXPECT_EQ(texture.Last().pixels, reference);

    ASSERT_EQ(load("images/FIRST"), eOK);
    EXPECT_EQ(texture.Last().pixels, Px({4, 5, 6, 1, 2, 3}));
    EXPECT_STREQ(texture.m_szName, "first.png");
    ASSERT_EQ(load("last.pngg"), eOK);
    ASSERT_EQ(load("tail.tga"), eOK);
    EXPECT_EQ(texture.Last().pixels, Px({10, 20, 30}));
    ASSERT_EQ(load("noise.raw"), eOK);
    EXPECT_EQ(texture.Last().pixels, raw);
    std::fclose(packer.m_pFile);
}

TEST_F(TextureDecodeTest, ShortPackEntriesAreNotCompletedFromTheEntryBehind) {
    const Bytes png = teximg::WriteRgbPng(3, {Px({1, 2, 3, 4, 5, 6, 7, 8, 9}), Px({9, 8, 7, 6, 5, 4, 3, 2, 1})});
    // 200 pixels of run-length TGA: the size passes the first check with
    // 8 bytes of packets, but the first raw packet alone needs 385.
    Bytes rle = teximg::Tga(10, 200, 1, 24, Px({0x7F, 1, 2, 3, 4, 5, 6, 7}));
    const struct {
        const char* name;
        Bytes entry;
    } cases[] = {
        {"empty.png", {}},
        {"cut.png", Bytes(png.begin(), png.begin() + 60)},
        {"empty.tga", {}},
        {"header-only.tga", Bytes(rle.begin(), rle.begin() + 12)},
        {"packets.tga", rle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Behind the entry: the whole image again, which a reader running
        // past its entry would take as the rest of it.
        PackBuilder pack;
        pack.Add(c.name, c.entry);
        Bytes behind(2048, 0);
        behind.insert(behind.begin(), png.begin(), png.end());
        behind.insert(behind.begin() + static_cast<long>(png.size()), rle.begin(), rle.end());
        pack.Add("behind.bin", behind);
        const std::string path = pack.Write(&dir, std::string(c.name) + ".pak");

        _RES_PACKER packer{};
        packer.m_pFile = std::fopen(path.c_str(), "rb");
        ASSERT_NE(packer.m_pFile, nullptr);
        ASSERT_EQ(eGetResPacker(c.name, &packer), eOK);
        const long start = std::ftell(packer.m_pFile);
        texture.uploads.clear();
        EXPECT_EQ(texture.LoadTextureFromPacker(&packer), eFAILED);
        EXPECT_TRUE(texture.uploads.empty());
        EXPECT_LE(std::ftell(packer.m_pFile) - start, static_cast<long>(c.entry.size()));
        std::fclose(packer.m_pFile);
    }
}

// --- TGA --------------------------------------------------------------------

TEST_F(TextureDecodeTest, TgaChannelOrderRowOrderAndRunLengths) {
    const struct {
        const char* what;
        Bytes tga;
        uint32_t width, height, bits;
        Bytes buffer;
    } cases[] = {
        {"uncompressed 24", teximg::Tga(2, 2, 2, 24, Px({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})), 2, 2, 24,
         Px({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10})},
        {"uncompressed 32", teximg::Tga(2, 1, 2, 32, Px({1, 2, 3, 4, 5, 6, 7, 8})), 1, 2, 32,
         Px({3, 2, 1, 4, 7, 6, 5, 8})},
        {"descriptor ignored", [] {
             Bytes t = teximg::Tga(2, 1, 2, 24, Px({1, 2, 3, 4, 5, 6}));
             t[17] = 0x20;  // top-left origin: not honoured
             return t;
         }(),
         1, 2, 24, Px({3, 2, 1, 6, 5, 4})},
        {"trailing bytes", teximg::Tga(2, 1, 1, 24, Px({1, 2, 3, 99, 99})), 1, 1, 24, Px({3, 2, 1})},
        {"run then raw, ending exactly", teximg::Tga(10, 3, 1, 24, Px({0x81, 1, 2, 3, 0x00, 4, 5, 6})), 3, 1, 24,
         Px({3, 2, 1, 3, 2, 1, 6, 5, 4})},
        {"raw packet of two, 32 bits", teximg::Tga(10, 2, 1, 32, Px({0x01, 1, 2, 3, 4, 5, 6, 7, 8})), 2, 1, 32,
         Px({3, 2, 1, 4, 7, 6, 5, 8})},
        {"one run of 128", teximg::Tga(10, 16, 8, 24, Px({0xFF, 9, 8, 7})), 16, 8, 24,
         [] {
             Bytes b;
             for (int i = 0; i < 128; ++i) b.insert(b.end(), {7, 8, 9});
             return b;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool memory : {false, true}) {
            SCOPED_TRACE(memory ? "memory" : "file");
            texture.uploads.clear();
            ASSERT_EQ(memory ? FromMemory(c.tga, "image.TGA") : FromFile(c.tga, "image.tga"), eOK);
            ASSERT_EQ(texture.uploads.size(), 1u);
            EXPECT_EQ(texture.Last().width, c.width);
            EXPECT_EQ(texture.Last().height, c.height);
            EXPECT_EQ(texture.Last().bits, c.bits);
            EXPECT_EQ(texture.Last().pixels, c.buffer);
        }
    }
}

TEST_F(TextureDecodeTest, TgaRejections) {
    const Bytes pixel = Px({1, 2, 3});
    auto with = [&](size_t at, uint8_t value) {
        Bytes t = teximg::Tga(2, 1, 1, 24, pixel);
        t[at] = value;
        return t;
    };
    const struct {
        const char* what;
        Bytes tga;
    } cases[] = {
        {"identification length", with(0, 1)},
        {"colour map type", with(1, 1)},
        {"colour map length", with(5, 2)},
        {"origin x", with(8, 1)},
        {"origin y", with(11, 1)},
        {"colour-mapped type 1", with(2, 1)},
        {"grey type 3", with(2, 3)},
        {"RLE grey type 11", with(2, 11)},
        {"16 bits", teximg::Tga(2, 1, 1, 16, Px({1, 2}))},
        {"8 bits", teximg::Tga(2, 1, 1, 8, Px({1}))},
        {"zero width", teximg::Tga(2, 0, 1, 24, pixel)},
        {"zero height", teximg::Tga(10, 1, 0, 24, Px({0x80, 1, 2, 3}))},
        {"one byte short", teximg::Tga(2, 2, 1, 24, Px({1, 2, 3, 4, 5}))},
        {"header only", teximg::Tga(2, 1, 1, 24, Bytes())},
        {"cut inside the 6-byte block", [&] {
             Bytes t = teximg::Tga(2, 1, 1, 24, pixel);
             t.resize(15);
             return t;
         }()},
        {"huge sides, little data", teximg::Tga(2, 65535, 65535, 32, pixel)},
        {"largest sides, little data", teximg::Tga(2, eTEXTURE_MAX_SIDE, eTEXTURE_MAX_SIDE, 32, pixel)},
        {"largest sides, RLE, little data",
         teximg::Tga(10, eTEXTURE_MAX_SIDE, eTEXTURE_MAX_SIDE, 32, Px({0xFF, 1, 2, 3, 4}))},
        {"huge sides, RLE", teximg::Tga(10, 65535, 65535, 32, Px({0xFF, 1, 2, 3, 4}))},
        {"RLE run past the image", teximg::Tga(10, 3, 1, 24, Px({0x83, 1, 2, 3}))},
        {"RLE raw packet past the image", teximg::Tga(10, 3, 1, 24, Px({0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}))},
        {"RLE packets end early", teximg::Tga(10, 3, 1, 24, Px({0x81, 1, 2, 3}))},
        {"RLE raw pixel cut", teximg::Tga(10, 2, 1, 24, Px({0x01, 1, 2, 3, 4, 5}))},
        {"RLE header byte missing", teximg::Tga(10, 2, 1, 24, Bytes())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FromFile(c.tga, "bad.tga"), eFAILED);
        EXPECT_EQ(FromMemory(c.tga, "bad.tga"), eFAILED);
        EXPECT_TRUE(texture.uploads.empty());
    }
    EXPECT_EQ(FromMemory(Bytes(11, 0), "short.tga"), eFAILED);
}

TEST_F(TextureDecodeTest, TgaResultIsSuccessOrFailureOnly) {
    const Bytes tga = teximg::Tga(2, 1, 1, 24, Px({1, 2, 3}));
    texture.uploadResult = 5;  // a positive status still counts as success
    EXPECT_EQ(FromFile(tga, "a.tga"), eOK);
    EXPECT_EQ(FromMemory(tga, "a.tga"), eOK);
    texture.uploadResult = eFAILED;
    EXPECT_EQ(FromFile(tga, "a.tga"), eFAILED);
    EXPECT_EQ(FromMemory(tga, "a.tga"), eFAILED);
}

// --- Raw --------------------------------------------------------------------

TEST_F(TextureDecodeTest, RawNeedsExactlyOneImageAndIgnoresTheUploadStatus) {
    for (uint32_t size : {eTEXTURE_RAW_SIZE - 1, eTEXTURE_RAW_SIZE, eTEXTURE_RAW_SIZE + 1}) {
        SCOPED_TRACE(size);
        Bytes raw(size);
        for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i ^ (i >> 9));
        const bool loads = size == eTEXTURE_RAW_SIZE;
        for (eRESULT upload : {eOK, eFAILED}) {
            texture.uploads.clear();
            texture.uploadResult = upload;
            EXPECT_EQ(FromFile(raw, "noise.RAW"), loads ? eOK : eFAILED);
            EXPECT_EQ(FromMemory(raw, "noise.raw"), loads ? eOK : eFAILED);
            ASSERT_EQ(texture.uploads.size(), loads ? 2u : 0u);
            for (const auto& u : texture.uploads) {
                EXPECT_EQ(u.width, 256u);
                EXPECT_EQ(u.height, 256u);
                EXPECT_EQ(u.bits, 24u);
                EXPECT_EQ(u.pixels, raw);  // rows as stored
            }
        }
    }
}

}  // namespace
