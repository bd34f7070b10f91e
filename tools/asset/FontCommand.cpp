// orbelline-asset font: prepares a font atlas and its glyph table with the
// engine's own TrueType builder, so that the program can load the pair
// instead of rasterising the font at start-up.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "platform/Files.h"
#include "platform/Platform.h"
#include "engine/3d/KavroFont.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/world/SharedInfos.h"
#include "engine/world/World.h"
#include "tools/asset/Commands.h"
#include "tools/asset/PngRows.h"

namespace asset {
namespace {

const char kFontHelp[] =
    "usage: orbelline-asset font SUBCOMMAND [ARGS...]\n"
    "\n"
    "subcommands:\n"
    "  build FONT.ttf PIXELSIZE EXTRAWIDTH OUTPREFIX  write OUTPREFIX.png and OUTPREFIX.glyph\n"
    "\n"
    "'orbelline-asset font SUBCOMMAND --help' describes a subcommand.\n";

const char kBuildHelp[] =
    "usage: orbelline-asset font build FONT.ttf PIXELSIZE EXTRAWIDTH OUTPREFIX\n"
    "\n"
    "Rasterises FONT.ttf with the engine's TrueType builder, exactly as the\n"
    "program does when it loads the font itself, at PIXELSIZE (1-255) pixels\n"
    "with EXTRAWIDTH (0-255) pixels added to the width of every glyph, inside\n"
    "a headless OpenGL ES context. Writes:\n"
    "  OUTPREFIX.png    the 1024 x H atlas as an 8-bit grey PNG, stored upside\n"
    "                   down (the image loader puts the bottom row first), so\n"
    "                   that loading it gives the texture the builder uploads\n"
    "  OUTPREFIX.glyph  4096 bytes: for codes 32 to 287, left u, top v, right u\n"
    "                   and bottom v as little-endian floats; codes 256 to 287\n"
    "                   hold the cells the builder lays out but does not keep\n"
    "and prints \"atlas: 1024 x H\". Both files are replaced only once\n"
    "completely written. The usual name is FONT.ttf.1024xH.PIXELSIZE.EXTRAWIDTH.\n";

// The engine's font, keeping what its TrueType builder produced.
class CCaptureFont : public CKavroFont {
public:
    using CKavroFont::CKavroFont;

    std::vector<uint8_t> atlas;
    uint32_t width = 0, height = 0;
    std::vector<VECTOR4D> cells;

protected:
    void OnAtlasBuilt(const uint8_t* pixels, uint32_t w, uint32_t h, const VECTOR4D* entries,
                      uint32_t count) override {
        width = w;
        height = h;
        atlas.assign(pixels, pixels + static_cast<size_t>(w) * h);
        cells.assign(entries, entries + count);
    }
};

struct Built {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> atlas;
    std::vector<VECTOR4D> cells;
};

// Real fonts are a few MiB; a bigger file, a device or a folder is refused
// before anything is read.
constexpr uint64_t kMaxFontBytes = 64u << 20;

bool ReadWhole(const std::string& path, std::vector<uint8_t>* out, std::string* error) {
    std::string bytes;
    if (!platform::ReadRegularFile(path, kMaxFontBytes, &bytes, error)) return false;
    out->assign(bytes.begin(), bytes.end());
    return true;
}

bool Build(std::vector<uint8_t>& font, uint8_t pixelSize, uint8_t extraWidth, Built* out, std::string* error) {
    std::unique_ptr<platform::GLContext> context = platform::GLContext::Create(1);
    if (!context || !platform::GLContext::SetCurrentContext(context.get())) {
        *error = "no OpenGL ES 1.1 context";
        return false;
    }
    auto infos = std::make_unique<SHARED_INFOS>();
    CMaths3D maths;
    CWorld world;
    C3DEngineGLES device;
    infos->m_pMaths3D = &maths;
    infos->m_pWorld = &world;
    world.m_p3DEngine = &device;
    infos->m_fScaleX = infos->m_fScaleY = infos->m_fScaleZ = 1.0f;
    infos->m_wWidth = infos->m_wWidthInit = 320;
    infos->m_wHeight = infos->m_wHeightInit = 480;
    infos->m_Orientation = ORIENTATION_PORTRAIT;
    infos->m_dwTextureNameSkip = 0xFFFFFFFFu;

    bool ok = false;
    if (eFAILURE(device.Load(infos.get(), nullptr))) {
        *error = "the render device does not load";
    } else {
        CCaptureFont capture(infos.get());
        if (eFAILURE(capture.Load(FONT_SCREEN))) {
            *error = "the text mesh cannot be made";
        } else {
            const eRESULT result = capture.MakeFontTTFFromAddress(
                "", font.data(), static_cast<uint32_t>(font.size()), pixelSize, extraWidth);
            if (capture.cells.empty()) {
                *error = "not a scalable TrueType font with horizontal metrics that FreeType can open";
            } else if (eFAILURE(result)) {
                *error = "the atlas (1024 x " + std::to_string(capture.height) + ") does not upload";
            } else {
                out->width = capture.width;
                out->height = capture.height;
                out->atlas = std::move(capture.atlas);
                out->cells = std::move(capture.cells);
                ok = true;
            }
        }
        capture.Unload();
        device.Unload();
    }
    world.m_p3DEngine = nullptr;
    platform::GLContext::SetCurrentContext(nullptr);
    return ok;
}

// The loader puts a PNG's first row last, so the atlas goes in bottom row
// first to come out of it as the builder made it.
bool WriteAtlasPng(const std::string& path, const Built& built, std::string* error) {
    std::vector<png_bytep> rows(built.height);
    for (uint32_t i = 0; i < built.height; ++i)
        rows[i] = const_cast<png_bytep>(built.atlas.data() + static_cast<size_t>(built.height - 1 - i) * built.width);
    return platform::WriteFileAtomically(
        path,
        [&](FILE* file, std::string* why) {
            if (WritePngRows(file, built.width, built.height, PNG_COLOR_TYPE_GRAY, rows.data())) return true;
            *why = "PNG encoding failed";
            return false;
        },
        error);
}

bool WriteGlyphFile(const std::string& path, const Built& built, std::string* error) {
    std::vector<unsigned char> bytes;
    bytes.reserve(eFONT_GLYPH_FILE_SIZE);
    for (const VECTOR4D& c : built.cells) {
        for (float f : {c.x, c.y, c.z, c.w}) {
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof bits);
            for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<unsigned char>(bits >> (8 * k)));
        }
    }
    return platform::WriteFileAtomically(
        path,
        [&](FILE* file, std::string* why) {
            if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) return true;
            *why = std::strerror(errno);
            return false;
        },
        error);
}

// A decimal number in [low, high]; false otherwise.
bool ParseNumber(const std::string& s, unsigned low, unsigned high, unsigned* out) {
    if (s.empty() || s.size() > 3) return false;
    unsigned v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

int RunBuild(const std::vector<std::string>& args) {
    const std::string where = "font build";
    std::vector<std::string> pos;
    bool help = false, options = true;
    for (const std::string& a : args) {
        if (options && a == "--")
            options = false;
        else if (options && IsHelp(a))
            help = true;
        else if (options && a.size() > 1 && a[0] == '-')
            return UsageError(where, "unknown option \"" + a + "\"");
        else
            pos.push_back(a);
    }
    if (help) {
        std::fputs(kBuildHelp, stdout);
        return kExitOk;
    }
    if (pos.size() != 4) return UsageError(where, "expects FONT.ttf PIXELSIZE EXTRAWIDTH OUTPREFIX");
    unsigned pixelSize = 0, extraWidth = 0;
    if (!ParseNumber(pos[1], 1, 255, &pixelSize))
        return UsageError(where, "PIXELSIZE must be a whole number from 1 to 255, not \"" + pos[1] + "\"");
    if (!ParseNumber(pos[2], 0, 255, &extraWidth))
        return UsageError(where, "EXTRAWIDTH must be a whole number from 0 to 255, not \"" + pos[2] + "\"");
    if (pos[3].empty()) return UsageError(where, "OUTPREFIX is empty");

    std::vector<uint8_t> font;
    std::string error;
    if (!ReadWhole(pos[0], &font, &error)) return Fail(where, pos[0] + ": " + error);
    if (font.empty() || font.size() > 0xFFFFFFFFu) return Fail(where, pos[0] + ": not a usable font file");
    Built built;
    if (!Build(font, static_cast<uint8_t>(pixelSize), static_cast<uint8_t>(extraWidth), &built, &error))
        return Fail(where, pos[0] + ": " + error);

    const std::string png = pos[3] + ".png", glyph = pos[3] + ".glyph";
    if (!WriteAtlasPng(png, built, &error)) return Fail(where, png + ": " + error);
    if (!WriteGlyphFile(glyph, built, &error)) return Fail(where, glyph + ": " + error);
    std::printf("atlas: %u x %u\n", built.width, built.height);
    return kExitOk;
}

}  // namespace

int RunFont(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kFontHelp, stderr);
        return kExitUsage;
    }
    if (IsHelp(args[0])) {
        std::fputs(kFontHelp, stdout);
        return kExitOk;
    }
    if (args[0] == "build") return RunBuild(std::vector<std::string>(args.begin() + 1, args.end()));
    return UsageError("font", "unknown subcommand \"" + args[0] + "\"");
}

}  // namespace asset
