// orbelline-asset texture: decode an image with the engine's own loaders,
// inside an OpenGL ES context as the program does, and report or dump what
// the upload receives.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "platform/Files.h"
#include "platform/Platform.h"
#include "engine/3d/gles/3DTextureGLES.h"
#include "engine/world/SharedInfos.h"
#include "tools/asset/Commands.h"
#include "tools/asset/PngRows.h"
#include "tools/scene/TraceCapture.h"

namespace asset {
namespace {

const char kTextureHelp[] =
    "usage: orbelline-asset texture SUBCOMMAND [ARGS...]\n"
    "\n"
    "subcommands:\n"
    "  info FILE          print width, height, bits per pixel and texture name\n"
    "  dump FILE OUT.png  write the decoded pixels, in upload order, as a PNG\n"
    "\n"
    "'orbelline-asset texture SUBCOMMAND --help' describes a subcommand.\n";

const char kInfoHelp[] =
    "usage: orbelline-asset texture info FILE\n"
    "\n"
    "Decodes FILE as the engine does (the decoder is chosen by the extension\n"
    "found in the path, case as written: .tga/.TGA, .png/.PNG, .jpg/.JPG,\n"
    ".raw/.RAW) and prints\n"
    "  width: W\n"
    "  height: H\n"
    "  bits: 8|16|24|32\n"
    "  name: NAME\n"
    "where NAME is the name the texture is registered under. An OpenGL ES\n"
    "context is needed (headless is fine).\n";

const char kDumpHelp[] =
    "usage: orbelline-asset texture dump FILE OUT.png\n"
    "\n"
    "Decodes FILE as 'texture info' does and writes the pixel buffer handed\n"
    "to the upload as a PNG: 8 bits grey, 16 grey + alpha, 24 RGB, 32 RGBA.\n"
    "Rows are written in upload order, the first buffer row (t = 0) first, so\n"
    "PNG and JPEG files, and TGAs stored bottom row first (the usual), come\n"
    "out upside down.\n"
    "OUT.png is replaced only once it is completely written.\n";

// The engine's OpenGL ES texture, keeping a copy of what it uploads.
class CCaptureTexture : public C3DTextureGLES {
public:
    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bits, void* pixels,
                               const char* name) override {
        m_width = width;
        m_height = height;
        m_bits = bits;
        const size_t bytes = static_cast<size_t>(width) * height * (bits / 8);
        const uint8_t* p = static_cast<const uint8_t*>(pixels);
        if (p) m_pixels.assign(p, p + bytes);
        return C3DTextureGLES::MakeTextureFromRaw(width, height, bits, pixels, name);
    }

    uint32_t m_width = 0, m_height = 0, m_bits = 0;
    std::vector<uint8_t> m_pixels;
};

struct Decoded {
    uint32_t width = 0, height = 0, bits = 0;
    std::string name;
    std::vector<uint8_t> pixels;
};

const char* KindOf(const std::string& path) {
    const auto has = [&](const char* s) { return path.find(s) != std::string::npos; };
    if (has(".tga") || has(".TGA")) return "TGA";
    if (has(".png") || has(".PNG")) return "PNG";
    if (has(".jpg") || has(".JPG")) return "JPEG";
    if (has(".raw") || has(".RAW")) return "raw";
    return nullptr;
}

// Decodes `path` through the engine; on failure returns the one-line reason.
bool Decode(const std::string& path, Decoded* out, std::string* error) {
    // The engine's own limit on a texture file: sizes travel as 32 bits.
    if (FILE* f = platform::OpenRegularFile(path, 0xFFFFFFFFu, error)) {
        std::fclose(f);
    } else {
        return false;
    }
    const char* kind = KindOf(path);
    if (!kind) {
        *error = "no decoder for this name (.tga, .png, .jpg or .raw expected, in lower or upper case)";
        return false;
    }

    std::unique_ptr<platform::GLContext> context = platform::GLContext::Create(1);
    if (!context || !platform::GLContext::SetCurrentContext(context.get())) {
        *error = "no OpenGL ES 1.1 context";
        return false;
    }
    auto infos = std::make_unique<SHARED_INFOS>();
    infos->m_dwTextureNameSkip = 0xFFFFFFFFu;  // bare file names, as the world sets it
    infos->m_fScaleX = infos->m_fScaleY = infos->m_fScaleZ = 1.0f;

    bool ok = false;
    {
        CCaptureTexture texture;
        texture.Load(infos.get());
        scene::TraceCapture trace;
        const bool loaded = eSUCCEEDED(texture.LoadTextureFromFile(path.c_str()));
        const std::string reason = trace.Stop();
        if (loaded) std::fputs(trace.Text().c_str(), stderr);
        if (loaded) {
            out->width = texture.m_width;
            out->height = texture.m_height;
            out->bits = texture.m_bits;
            out->name = texture.m_szName;
            out->pixels = std::move(texture.m_pixels);
            ok = true;
        } else if (texture.m_bits != 0) {
            *error = "decoded as " + std::string(kind) + " but the upload failed (" + std::to_string(texture.m_bits) +
                     " bits per pixel)";
        } else {
            // The engine's reason names the file again: "NAME" is W x H ...
            const size_t is = reason.find("\" is ");
            if (is != std::string::npos)
                *error = std::string("the ") + kind + " image " + reason.substr(is + 2);
            else
                *error = "not a valid " + std::string(kind) + " image for the engine" +
                         (reason.empty() ? "" : " (" + reason + ")");
        }
        texture.Unload();
    }
    platform::GLContext::SetCurrentContext(nullptr);
    return ok;
}

// Writes `image` to `path` through a temporary file renamed over it.
bool WritePng(const std::string& path, const Decoded& image, std::string* error) {
    int colorType = 0;
    switch (image.bits) {
        case 8: colorType = PNG_COLOR_TYPE_GRAY; break;
        case 16: colorType = PNG_COLOR_TYPE_GRAY_ALPHA; break;
        case 24: colorType = PNG_COLOR_TYPE_RGB; break;
        case 32: colorType = PNG_COLOR_TYPE_RGB_ALPHA; break;
        default: *error = "unexpected depth"; return false;
    }
    const size_t rowBytes = static_cast<size_t>(image.width) * (image.bits / 8);
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(image.pixels.data() + rowBytes * y);
    return platform::WriteFileAtomically(
        path,
        [&](FILE* file, std::string* why) {
            if (WritePngRows(file, image.width, image.height, colorType, rows.data())) return true;
            *why = "PNG encoding failed";
            return false;
        },
        error);
}

// Positionals of a subcommand; false on an unknown option.
bool Split(const std::vector<std::string>& args, std::vector<std::string>* positionals, bool* help,
           std::string* bad) {
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--")
            options = false;
        else if (options && IsHelp(a))
            *help = true;
        else if (options && a.size() > 1 && a[0] == '-') {
            *bad = a;
            return false;
        } else
            positionals->push_back(a);
    }
    return true;
}

int RunInfo(const std::vector<std::string>& args) {
    const std::string where = "texture info";
    std::vector<std::string> pos;
    bool help = false;
    std::string bad;
    if (!Split(args, &pos, &help, &bad)) return UsageError(where, "unknown option \"" + bad + "\"");
    if (help) {
        std::fputs(kInfoHelp, stdout);
        return kExitOk;
    }
    if (pos.size() != 1) return UsageError(where, "expects exactly one FILE");
    Decoded image;
    std::string error;
    if (!Decode(pos[0], &image, &error)) return Fail(where, pos[0] + ": " + error);
    std::printf("width: %u\nheight: %u\nbits: %u\nname: %s\n", image.width, image.height, image.bits,
                image.name.c_str());
    return kExitOk;
}

int RunDump(const std::vector<std::string>& args) {
    const std::string where = "texture dump";
    std::vector<std::string> pos;
    bool help = false;
    std::string bad;
    if (!Split(args, &pos, &help, &bad)) return UsageError(where, "unknown option \"" + bad + "\"");
    if (help) {
        std::fputs(kDumpHelp, stdout);
        return kExitOk;
    }
    if (pos.size() != 2) return UsageError(where, "expects FILE and OUT.png");
    Decoded image;
    std::string error;
    if (!Decode(pos[0], &image, &error)) return Fail(where, pos[0] + ": " + error);
    if (!WritePng(pos[1], image, &error)) return Fail(where, pos[1] + ": " + error);
    return kExitOk;
}

}  // namespace

int RunTexture(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kTextureHelp, stderr);
        return kExitUsage;
    }
    if (IsHelp(args[0])) {
        std::fputs(kTextureHelp, stdout);
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "info") return RunInfo(rest);
    if (args[0] == "dump") return RunDump(rest);
    return UsageError("texture", "unknown subcommand \"" + args[0] + "\"");
}

}  // namespace asset
