// orbelline-asset font build: run as a user would, then its files loaded
// through the prepared-font path and compared with the engine's own
// TrueType build, down to the drawn pixels.
#include <gtest/gtest.h>

#include "tests/tools/ToolRun.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES/gl.h>
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/Camera.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/world/ResPacker.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/World.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr int kWidth = 320, kHeight = 480;

using tooltest::Result;

Bytes ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The display is opened once and never terminated: terminating it would
// unload the driver under whatever the process still holds.
EGLDisplay Display() {
    static EGLDisplay display = [] {
        const char* ext = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (ext && std::strstr(ext, "EGL_MESA_platform_surfaceless")) {
            auto get = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
            if (get) {
                EGLDisplay d = get(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
                if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
            }
        }
        EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        return d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr) ? d : EGL_NO_DISPLAY;
    }();
    return display;
}

// An OpenGL ES 1.1 context drawing into a 320 x 480 RGBA pbuffer.
class PbufferContext {
public:
    PbufferContext() {
        display_ = Display();
        if (display_ == EGL_NO_DISPLAY || !eglBindAPI(EGL_OPENGL_ES_API)) return;
        const EGLint config[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,
                                 EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8, EGL_NONE};
        EGLConfig chosen = nullptr;
        EGLint n = 0;
        if (!eglChooseConfig(display_, config, &chosen, 1, &n) || n < 1) return;
        const EGLint version[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
        context_ = eglCreateContext(display_, chosen, EGL_NO_CONTEXT, version);
        const EGLint size[] = {EGL_WIDTH, kWidth, EGL_HEIGHT, kHeight, EGL_NONE};
        surface_ = eglCreatePbufferSurface(display_, chosen, size);
        ok_ = context_ != EGL_NO_CONTEXT && surface_ != EGL_NO_SURFACE &&
              eglMakeCurrent(display_, surface_, surface_, context_);
        if (ok_) glViewport(0, 0, kWidth, kHeight);
    }
    ~PbufferContext() {
        if (display_ == EGL_NO_DISPLAY) return;
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
        if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
        eglReleaseThread();
    }
    PbufferContext(const PbufferContext&) = delete;
    PbufferContext& operator=(const PbufferContext&) = delete;
    bool ok() const { return ok_; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
    bool ok_ = false;
};

// A font that keeps what its TrueType builder handed out.
class CapturingFont : public CKavroFont {
public:
    using CKavroFont::CKavroFont;
    Bytes atlas;
    uint32_t height = 0;
    std::vector<VECTOR4D> cells;

protected:
    void OnAtlasBuilt(const uint8_t* pixels, uint32_t w, uint32_t h, const VECTOR4D* entries,
                      uint32_t count) override {
        height = h;
        atlas.assign(pixels, pixels + static_cast<size_t>(w) * h);
        cells.assign(entries, entries + count);
    }
};

// Grey rows of a PNG, first row first, with its size and depth.
struct Png {
    uint32_t width = 0, height = 0;
    int depth = 0, type = -1;
    std::vector<Bytes> rows;
};

// The header fields come from the IHDR chunk itself; the rows from libpng's
// simplified reader (no longjmp through this frame).
Png DecodePng(const fs::path& path) {
    Png out;
    const Bytes file = ReadFile(path);
    if (file.size() < 33 || std::memcmp(file.data() + 12, "IHDR", 4) != 0) return out;
    auto be32 = [&](size_t at) {
        return uint32_t(file[at]) << 24 | uint32_t(file[at + 1]) << 16 | uint32_t(file[at + 2]) << 8 | file[at + 3];
    };
    out.width = be32(16);
    out.height = be32(20);
    out.depth = file[24];
    out.type = file[25];
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return out;
    image.format = PNG_FORMAT_GRAY;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) && image.width == out.width) {
        for (uint32_t y = 0; y < image.height; ++y)
            out.rows.emplace_back(pixels.begin() + size_t(y) * image.width, pixels.begin() + size_t(y + 1) * image.width);
    }
    png_image_free(&image);
    return out;
}

class AssetFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "asset-font-XXXXXX").string();
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    Result Run(const std::vector<std::string>& args) { return tooltest::Spawn(ORBELLINE_ASSET_TOOL, args, dir_); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // Names in the directory, the captured streams aside.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        return names;
    }

    fs::path dir_;
};

TEST_F(AssetFontTest, HelpAndUsageErrors) {
    const Result top = Run({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("font"), std::string::npos);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"font", "--help"},
                                                 std::vector<std::string>{"font", "build", "--help"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: orbelline-asset font", 0), 0u) << r.out;
    }
    const std::vector<std::vector<std::string>> usage = {
        {"font"},
        {"font", "bake"},
        {"font", "build"},
        {"font", "build", kDejaVu, "30", "3"},
        {"font", "build", kDejaVu, "30", "3", P("a"), P("b")},
        {"font", "build", kDejaVu, "0", "3", P("a")},
        {"font", "build", kDejaVu, "256", "3", P("a")},
        {"font", "build", kDejaVu, "30x", "3", P("a")},
        {"font", "build", kDejaVu, "30", "256", P("a")},
        {"font", "build", kDejaVu, "30", "-1", P("a")},
        {"font", "build", "--frobnicate", kDejaVu, "30", "3", P("a")},
    };
    for (const auto& args : usage) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(AssetFontTest, FilesThatAreNotFontsFailAndWriteNothing) {
    {
        std::ofstream(P("notes.ttf")) << "not a font at all\n";
    }
    // A folder or a device is refused before it is read.
    for (const std::string& font : {P("missing.ttf"), P("notes.ttf"), dir_.string(), std::string("/dev/zero")}) {
        SCOPED_TRACE(font);
        const Result r = Run({"font", "build", font, "30", "3", P("out")});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(font), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(Files(), std::vector<std::string>{"notes.ttf"});
    // An output directory that does not exist.
    const Result r = Run({"font", "build", kDejaVu, "30", "3", P("nowhere/out")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nowhere/out.png"), std::string::npos) << r.err;
}

TEST_F(AssetFontTest, PreparedFilesGiveTheTrueTypeBuildPixelForPixel) {
    const Bytes ttf = ReadFile(kDejaVu);
    ASSERT_FALSE(ttf.empty()) << kDejaVu << " is missing (package fonts-dejavu-core)";
    const Result r = Run({"font", "build", kDejaVu, "30", "3", P("teenbold.ttf.1024x512.30.3")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "atlas: 1024 x 512\n");
    EXPECT_TRUE(r.err.empty()) << r.err;
    const fs::path pngPath = P("teenbold.ttf.1024x512.30.3.png"), glyphPath = P("teenbold.ttf.1024x512.30.3.glyph");
    const Bytes png = ReadFile(pngPath), glyph = ReadFile(glyphPath);
    ASSERT_EQ(glyph.size(), 4096u);
    EXPECT_EQ(Files().size(), 2u);  // no temporary files left

    PbufferContext context;
    ASSERT_TRUE(context.ok()) << "no OpenGL ES 1.1 pbuffer context";
    auto shared = std::make_unique<SHARED_INFOS>();
    CMaths3D maths;
    CWorld world;
    C3DEngineGLES device;
    SHARED_INFOS* si = shared.get();
    si->m_pMaths3D = &maths;
    si->m_pWorld = &world;
    world.m_p3DEngine = &device;
    si->m_fScaleX = si->m_fScaleY = si->m_fScaleZ = 1.0f;
    si->m_wWidth = si->m_wWidthInit = kWidth;
    si->m_wHeight = si->m_wHeightInit = kHeight;
    si->m_Orientation = ORIENTATION_PORTRAIT;
    si->m_dwTextureNameSkip = 0xFFFFFFFFu;
    si->m_fNear = 1.0f;
    si->m_fFar = 20000.0f;
    si->m_fNearScreen = -1000.0f;
    si->m_fFarScreen = 1000.0f;
    si->m_fFieldOfView = 45.0f;
    si->m_bAlpha = 1;
    for (MATRIX3D* m : {&si->m_matProjection, &si->m_matProjectionScreen, &si->m_matView, &si->m_matViewInverse,
                        &si->m_matWorld})
        maths._MATRIX3DIdentity(m);
    ASSERT_EQ(device.Load(si, nullptr), eOK);
    ASSERT_EQ(device.m_pCamera->InitProjMatrix(), eOK);

    // The engine's TrueType build, in process.
    CapturingFont built(si);
    ASSERT_EQ(built.Load(FONT_SCREEN), eOK);
    Bytes copy = ttf;
    ASSERT_EQ(built.MakeFontTTFFromAddress("teenbold.ttf", copy.data(), uint32_t(copy.size()), 30, 3), eOK);
    ASSERT_EQ(built.height, 512u);
    ASSERT_EQ(built.cells.size(), 256u);

    // The glyph file holds the builder's cells for all of 32..287, the PNG
    // the atlas bottom row first.
    EXPECT_EQ(std::memcmp(glyph.data(), built.cells.data(), 4096), 0);
    const Png image = DecodePng(pngPath);
    ASSERT_EQ(image.width, 1024u);
    ASSERT_EQ(image.height, 512u);
    EXPECT_EQ(image.depth, 8);
    ASSERT_EQ(image.type, PNG_COLOR_TYPE_GRAY);
    ASSERT_EQ(image.rows.size(), 512u);
    for (uint32_t i = 0; i < image.height; ++i)
        ASSERT_EQ(std::memcmp(image.rows[i].data(), &built.atlas[size_t(image.height - 1 - i) * 1024], 1024), 0)
            << "PNG row " << i;

    // The prepared path, from a pack.
    const std::string packPath = P("fonts.pak");
    {
        FILE* f = std::fopen(packPath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        for (const auto& [name, data] : {std::pair<std::string, const Bytes*>{"teenbold.ttf.1024x512.30.3.png", &png},
                                         std::pair<std::string, const Bytes*>{"teenbold.ttf.1024x512.30.3.glyph", &glyph}}) {
            ASSERT_EQ(eResPackerWriteEntryHeader(f, name.c_str(), uint32_t(data->size())), eOK);
            ASSERT_EQ(std::fwrite(data->data(), 1, data->size(), f), data->size());
        }
        ASSERT_EQ(std::fclose(f), 0);
    }
    _RES_PACKER pack{};
    pack.m_pFile = std::fopen(packPath.c_str(), "rb");
    ASSERT_NE(pack.m_pFile, nullptr);
    CKavroFont prepared(si);
    ASSERT_EQ(prepared.Load(FONT_SCREEN), eOK);
    ASSERT_EQ(eGetResPacker("teenbold.ttf.1024x512.30.3.png", &pack), eOK);
    EXPECT_EQ(prepared.LoadFontGlyphFromPacker(&pack, nullptr), eOK);
    ASSERT_EQ(eGetResPacker("teenbold.ttf.1024x512.30.3.glyph", &pack), eOK);
    EXPECT_EQ(prepared.LoadFontGlyphFromPacker(nullptr, &pack), eOK);
    std::fclose(pack.m_pFile);

    EXPECT_EQ(std::memcmp(prepared.m_aGlyph, built.m_aGlyph, sizeof built.m_aGlyph), 0);
    EXPECT_EQ(prepared.m_fMaxWidth, built.m_fMaxWidth);
    EXPECT_EQ(prepared.m_fMaxHeight, built.m_fMaxHeight);
    C3DTexture* a = built.m_pObject->GetOneTexture(0, 0);
    C3DTexture* b = prepared.m_pObject->GetOneTexture(0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_bBitsPerPixel, 8u);
    EXPECT_EQ(b->m_wWidth, a->m_wWidth);
    EXPECT_EQ(b->m_wHeight, a->m_wHeight);

    auto draw = [&](CKavroFont& font) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        VECTOR3D answer{0, -40, 0}, question{10, 20, 0};
        font.RenderText("Ask again later,\nMost likely... \xC9t\xE9!", &answer, TEXT_CENTER_X | TEXT_CENTER_Y,
                        0xFFFFFFFFu, 22, 26, nullptr, nullptr, 0);
        font.RenderText("1) ask your\nquestion", &question, 0, 0xFFFFC040u, 30, 40, nullptr, nullptr, 0);
        Bytes rgba(size_t(kWidth) * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    };
    const Bytes fromTtf = draw(built), fromPrepared = draw(prepared);
    size_t lit = 0, differ = 0;
    for (size_t i = 0; i < fromTtf.size(); i += 4) {
        if (fromTtf[i] > 64) ++lit;
        if (std::memcmp(&fromTtf[i], &fromPrepared[i], 4) != 0) ++differ;
    }
    EXPECT_GT(lit, 2000u);
    EXPECT_EQ(differ, 0u);

    built.Unload();
    prepared.Unload();
    device.Unload();
    world.m_p3DEngine = nullptr;
}

}  // namespace
