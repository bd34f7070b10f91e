// orbelline-asset model: report on, convert, draw and build models with the
// engine's own loaders, writer, builders and OpenGL ES device.
#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/GLExtensions.h"
#include "platform/Platform.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/SharedInfos.h"
#include "tools/asset/Commands.h"
#include "tools/asset/LenientObj.h"
#include "tools/scene/Builders.h"
#include "tools/scene/ModelScene.h"
#include "tools/scene/TraceCapture.h"

namespace asset {
namespace {

const char kModelHelp[] =
    "usage: orbelline-asset model SUBCOMMAND [ARGS...]\n"
    "\n"
    "subcommands:\n"
    "  info FILE                          counts, sub-objects, contents and extrema\n"
    "  convert IN OUT.3dx [--contents W]  write a model as 3DX (version 8)\n"
    "  render FILE OUT.png [OPTIONS]      draw a model lit, framed, as a PNG\n"
    "  build TYPE [KEY=VALUE...] OUT.3dx  write a procedural model as 3DX\n"
    "\n"
    "Models are read by the engine, chosen by the extension found in the name:\n"
    ".3dx/.3DX (versions 2, 4 and 8), .obj/.OBJ, .3ds/.3DS.\n"
    "'orbelline-asset model SUBCOMMAND --help' describes a subcommand.\n";

const char kInfoHelp[] =
    "usage: orbelline-asset model info FILE [--lenient]\n"
    "\n"
    "Loads FILE as the engine does and prints\n"
    "  format: 3DX version V | OBJ | 3DS\n"
    "  contents: 0xWORD NAMES...   (3DX: the sections the file stores)\n"
    "  present: 0xWORD NAMES...    (the sections the model has data for)\n"
    "  sub-objects: N\n"
    "  vertices: N\n"
    "  indices: N\n"
    "  extrema: min X Y Z max X Y Z\n"
    "and one line per sub-object:\n"
    "  sub-object J: TYPE, vertices A..B, indices C..D, primitives P, cull MODE,\n"
    "                texture \"NAME\" WORD1 WORD2\n"
    "TYPE is trianglestrip, trianglelist, trianglefan, linelist, linestrip,\n"
    "pointlist (other values are printed as numbers and draw nothing); MODE is\n"
    "none, ccw, cw or a number (drawn unculled).\n"
    "Section names: position normal color specular uv material texture-name\n"
    "texture-word1 texture-word2.\n";

const char kConvertHelp[] =
    "usage: orbelline-asset model convert IN OUT.3dx [--contents WORD] [--lenient]\n"
    "\n"
    "Loads IN as 'model info' does and writes it as 3DX version 8 with WORD as\n"
    "the contents word: only the sections it names are stored. WORD is a number\n"
    "(0x... or decimal) or section names joined by ',' or '+': position normal\n"
    "color specular uv material texture-name texture-word1 texture-word2, and\n"
    "the groups vertex (the five vertex sections), texture (name and both\n"
    "words) and all. The default is every section the model has data for, and\n"
    "every section a 3DX input stores.\n"
    "OUT.3dx must name a .3dx (or .3DX) file; it is replaced only once it is\n"
    "completely written.\n"
    "--lenient (info, convert and render) reads an .obj file from any exporter:\n"
    "any first line, faces f v, f v/t, f v//n and f v/t/n, negative numbers,\n"
    "polygons fanned from their first corner, g, o and usemtl as sub-objects,\n"
    "texture names from the mtllib's map_Kd. The 3DX it writes loads in the\n"
    "engine, whose own OBJ reader takes only its two exporters' files.\n";

const char kRenderHelp[] =
    "usage: orbelline-asset model render FILE OUT.png [--size WxH] [--yaw DEG]\n"
    "                                   [--pitch DEG] [--zoom F] [--lenient]\n"
    "\n"
    "Draws the model with the engine's OpenGL ES device in a headless context,\n"
    "lit by light 1 (directional, from above left, in front), and writes the\n"
    "picture as an RGB PNG. The model is framed from its extrema: its bounding\n"
    "sphere just fits the picture (--zoom multiplies the distance, default 1),\n"
    "turned by --yaw degrees about its vertical axis (default 30), then tilted\n"
    "by --pitch degrees towards the viewer (default 25). --size defaults to\n"
    "640x480. Models without normals are drawn unlit in their own colours,\n"
    "models without colours in white; culling is off. Textures are looked up\n"
    "beside FILE. OUT.png is replaced only once it is completely written.\n";

std::string BuildHelp() {
    return "usage: orbelline-asset model build TYPE [KEY=VALUE...] OUT.3dx\n"
           "\n"
           "Builds a procedural model with the engine's builder and writes it as 3DX\n"
           "version 8 with every section the model has data for. Lengths are in\n"
           "object units, colours 0xAARRGGBB, whole numbers decimal or 0x...\n"
           "A four-sided frustum has the proportions of the 320 x 480 screen.\n"
           "OUT.3dx is replaced only once it is completely written.\n"
           "\n"
           "types and keys:\n" +
           scene::DescribeBuilders();
}

// How model files are read: the engine's strict readers, or for OBJ files
// from other exporters the tool's lenient reader ('--lenient').
struct LoadOptions {
    bool lenient = false;
};

// The shared record a raw model wants: the maths service, bare texture names.
struct Infos {
    Infos() : si(std::make_unique<SHARED_INFOS>()) {
        si->m_pMaths3D = new CMaths3D;
        si->m_dwTextureNameSkip = 0xFFFFFFFFu;
        si->m_fScaleX = si->m_fScaleY = si->m_fScaleZ = 1.0f;
    }
    ~Infos() { delete si->m_pMaths3D; }
    std::unique_ptr<SHARED_INFOS> si;
};

struct LoadedModel {
    std::string format;       // "3DX version N", "OBJ", "3DS"
    uint32_t fileContents = 0;
    bool is3dx = false;
};

struct Section {
    const char* name;
    uint32_t bit;
};
const Section kSections[] = {
    {"position", e3DX_POSITION},         {"normal", e3DX_NORMAL},
    {"color", e3DX_COLOR},               {"specular", e3DX_SPECULAR},
    {"uv", e3DX_UV},                     {"material", e3DX_MATERIAL},
    {"texture-name", e3DX_TEXTURE_NAME}, {"texture-word1", e3DX_TEXTURE_WORD1},
    {"texture-word2", e3DX_TEXTURE_WORD2},
};
constexpr uint32_t kAllSections = e3DX_VERTEX_ALL | e3DX_MATERIAL | e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 |
                                  e3DX_TEXTURE_WORD2;

bool Has(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

// The loader the engine picks for `path`, in its order.
const char* KindOf(const std::string& path) {
    if (Has(path, ".3ds") || Has(path, ".3DS")) return "3DS";
    if (Has(path, ".3dx") || Has(path, ".3DX")) return "3DX";
    if (Has(path, ".obj") || Has(path, ".OBJ")) return "OBJ";
    return nullptr;
}

// Where a 3DX file may be written: the engine's writer refuses other names.
bool Writable3dxName(const std::string& path) {
    return (Has(path, ".3dx") || Has(path, ".3DX")) && !Has(path, ".3ds") && !Has(path, ".3DS");
}

bool LoadModel(const std::string& path, const LoadOptions& options, C3DObjectRaw* raw, LoadedModel* out,
               std::string* error) {
    // A FIFO would block the readers, a folder would be read as garbage.
    FILE* f = platform::OpenRegularFile(path, UINT64_MAX, error);
    if (!f) return false;
    if (options.lenient) {
        std::fclose(f);
        const char* kind = KindOf(path);
        if (!kind || std::strcmp(kind, "OBJ") != 0) {
            *error = "--lenient reads only .obj (or .OBJ) files";
            return false;
        }
        std::string why;
        if (!asset::ReadLenientObj(path, *raw, why) || !raw->m_pModel) {
            *error = "not an OBJ model the lenient reader takes (" + why + ")";
            return false;
        }
        out->format = "OBJ (lenient)";
        return true;
    }
    const char* kind = KindOf(path);
    if (kind && std::strcmp(kind, "3DX") == 0) {
        HEADER_3DX header{};
        if (std::fread(&header, sizeof header, 1, f) == 1) {
            out->is3dx = true;
            out->fileContents = header.dwContents;
            out->format = "3DX version " + std::to_string(header.dwVersion);
        }
    }
    std::fclose(f);
    if (!kind) {
        *error = "no model loader for this name (.3dx, .obj or .3ds expected, in lower or upper case)";
        return false;
    }
    if (!out->is3dx) out->format = kind;
    scene::TraceCapture trace;
    const bool loaded = raw->LoadFromFile(path.c_str()) >= 0 && raw->m_pModel;
    const std::string reason = trace.Stop();
    if (loaded) std::fputs(trace.Text().c_str(), stderr);
    if (!loaded) {
        *error = std::string("not a valid ") + kind + " model for the engine";
        if (!reason.empty()) *error += " (" + reason + ")";
        return false;
    }
    return true;
}

// The sections the model has data for.
uint32_t PresentContents(const RAW_MODEL& m) {
    uint32_t word = e3DX_POSITION;
    for (uint32_t i = 0; i < m.m_dwVertexCount; ++i) {
        const VECTOR3D& n = m.m_pvNormals[i];
        if (n.x != 0 || n.y != 0 || n.z != 0) word |= e3DX_NORMAL;
        if (m.m_pdwColors[i]) word |= e3DX_COLOR;
        if (m.m_pdwSpeculars[i]) word |= e3DX_SPECULAR;
        if (m.m_pvUVs[i].x != 0 || m.m_pvUVs[i].y != 0) word |= e3DX_UV;
    }
    MATERIAL def;
    eInitMaterial(&def);
    for (uint32_t j = 0; j < m.m_dwSubObjectCount; ++j) {
        if (std::memcmp(&m.m_pMaterials[j], &def, sizeof def) != 0) word |= e3DX_MATERIAL;
        // A texture name is loaded with its two creation words.
        if (m.m_pszTextureNames[j][0]) word |= e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 | e3DX_TEXTURE_WORD2;
        if (m.m_pdwTextureWords1[j]) word |= e3DX_TEXTURE_WORD1;
        if (m.m_pdwTextureWords2[j]) word |= e3DX_TEXTURE_WORD2;
    }
    return word;
}

std::string DescribeContents(uint32_t word) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", word);
    std::string text = hex;
    for (const Section& s : kSections)
        if (word & s.bit) text += std::string(" ") + s.name;
    if (word & ~kAllSections) text += " (and unknown bits)";
    return text;
}

bool ParseContents(const std::string& text, uint32_t* out, std::string* error) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        errno = 0;
        char* end = nullptr;
        const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
        if (errno || *end || v > 0xFFFFFFFFull) {
            *error = "\"" + text + "\" is not a contents word";
            return false;
        }
        if (v & ~static_cast<unsigned long long>(kAllSections)) {
            *error = "contents word \"" + text + "\" has bits that name no section";
            return false;
        }
        *out = static_cast<uint32_t>(v);
        return true;
    }
    uint32_t word = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(",+", start);
        if (end == std::string::npos) end = text.size();
        const std::string name = text.substr(start, end - start);
        uint32_t bit = 0;
        for (const Section& s : kSections)
            if (name == s.name) bit = s.bit;
        if (name == "colour") bit = e3DX_COLOR;
        if (name == "vertex") bit = e3DX_VERTEX_ALL;
        if (name == "texture") bit = e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 | e3DX_TEXTURE_WORD2;
        if (name == "all") bit = kAllSections;
        if (!bit) {
            *error = "no contents section \"" + name + "\"";
            return false;
        }
        word |= bit;
        start = end + 1;
    }
    *out = word;
    return true;
}

const char* PrimitiveName(uint32_t type) {
    switch (type) {
        case PRIM_TRIANGLESTRIP: return "trianglestrip";
        case PRIM_TRIANGLELIST: return "trianglelist";
        case PRIM_TRIANGLEFAN: return "trianglefan";
        case PRIM_LINELIST: return "linelist";
        case PRIM_LINESTRIP: return "linestrip";
        case PRIM_POINTLIST: return "pointlist";
        default: return nullptr;
    }
}

std::string Range(uint32_t start, uint32_t count) {
    if (count == 0) return "none";
    return std::to_string(start) + ".." + std::to_string(static_cast<uint64_t>(start) + count - 1);
}

// Writes `raw` as 3DX through the platform's atomic writer (a target that is
// not a regular file is refused untouched).
bool Write3dx(C3DObjectRaw* raw, const std::string& path, uint32_t contents, std::string* error) {
    return platform::WriteFileAtomicallyByName(
        path,
        [&](const std::string& temp, std::string* why) {
            scene::TraceCapture trace;
            if (raw->SaveToFile(temp.c_str(), contents) >= 0) return true;
            const std::string reason = trace.Stop();
            *why = "the engine could not write the model" + (reason.empty() ? "" : " (" + reason + ")");
            return false;
        },
        error);
}

// Why `m` cannot be stored with `contents`, or "": a texture name longer
// than the 3DX name field is the model's fault, not the output file's.
std::string Unstorable(const RAW_MODEL& m, uint32_t contents) {
    if (!(contents & e3DX_TEXTURE_NAME)) return std::string();
    for (uint32_t j = 0; j < m.m_dwSubObjectCount; ++j) {
        const size_t n = strnlen(m.m_pszTextureNames[j], eMAX_PATH);
        if (n >= e3DX_NAME_SIZE)
            return "the texture name of sub-object " + std::to_string(j) + " is " + std::to_string(n) +
                   " bytes long; a 3DX file holds at most " + std::to_string(e3DX_NAME_SIZE - 1);
    }
    return std::string();
}

// Positionals and "--name value" options of a subcommand; `valued` lists the
// options that take a value. False, with the reason, on a bad option.
struct Parsed {
    std::vector<std::string> positionals;
    std::vector<std::pair<std::string, std::string>> options;
    bool help = false;
    bool lenient = false;
};

bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valued, Parsed* out,
               std::string* error) {
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && IsHelp(a)) {
            out->help = true;
        } else if (options && a == "--lenient") {
            out->lenient = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            std::string name = a, value;
            const size_t eq = a.find('=');
            const bool inline_value = eq != std::string::npos;
            if (inline_value) name = a.substr(0, eq), value = a.substr(eq + 1);
            bool known = false;
            for (const std::string& v : valued) known = known || name == v;
            if (!known) {
                *error = "unknown option \"" + name + "\"";
                return false;
            }
            if (!inline_value) {
                if (i + 1 >= args.size()) {
                    *error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out->options.emplace_back(name, value);
        } else {
            out->positionals.push_back(a);
        }
    }
    return true;
}

bool ParseNumber(const std::string& text, float* out) {
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || errno || *end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

int RunInfo(const std::vector<std::string>& args) {
    const std::string where = "model info";
    Parsed p;
    std::string error;
    if (!ParseArgs(args, {}, &p, &error)) return UsageError(where, error);
    if (p.help) {
        std::fputs(kInfoHelp, stdout);
        return kExitOk;
    }
    if (p.positionals.size() != 1) return UsageError(where, "expects exactly one FILE");
    const std::string& path = p.positionals[0];
    Infos infos;
    C3DObjectRaw raw(infos.si.get());
    LoadedModel loaded;
    if (!LoadModel(path, LoadOptions{p.lenient}, &raw, &loaded, &error)) return Fail(where, path + ": " + error);
    const RAW_MODEL& m = *raw.m_pModel;

    std::printf("format: %s\n", loaded.format.c_str());
    if (loaded.is3dx) std::printf("contents: %s\n", DescribeContents(loaded.fileContents).c_str());
    std::printf("present: %s\n", DescribeContents(PresentContents(m)).c_str());
    std::printf("sub-objects: %u\nvertices: %u\nindices: %u\n", m.m_dwSubObjectCount, m.m_dwVertexCount,
                m.m_dwIndexCount);
    VECTOR3D lo{FLT_MAX, FLT_MAX, FLT_MAX}, hi{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (uint32_t i = 0; i < m.m_dwVertexCount; ++i) {
        const VECTOR3D& v = m.m_pvPositions[i];
        lo = VECTOR3D{std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = VECTOR3D{std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    std::printf("extrema: min %g %g %g max %g %g %g\n", lo.x, lo.y, lo.z, hi.x, hi.y, hi.z);
    for (uint32_t j = 0; j < m.m_dwSubObjectCount; ++j) {
        const ATTRIBUT& r = m.m_pAttributes[j];
        const char* type = PrimitiveName(r.dwPrimitiveType);
        const std::string typeText = type ? type : std::to_string(r.dwPrimitiveType);
        const std::string cull = r.dwCullMode == CULL_NONE  ? "none"
                                 : r.dwCullMode == CULL_CCW ? "ccw"
                                 : r.dwCullMode == CULL_CW  ? "cw"
                                                            : std::to_string(r.dwCullMode);
        std::printf("sub-object %u: %s, vertices %s, indices %s, primitives %u, cull %s, texture \"%s\" %u %u\n", j,
                    typeText.c_str(), Range(r.dwVertexStart, r.dwVertexCount).c_str(),
                    Range(r.dwIndexStart, r.dwIndexCount).c_str(), r.dwPrimitiveCount, cull.c_str(),
                    m.m_pszTextureNames[j], m.m_pdwTextureWords1[j], m.m_pdwTextureWords2[j]);
    }
    return kExitOk;
}

int RunConvert(const std::vector<std::string>& args) {
    const std::string where = "model convert";
    Parsed p;
    std::string error;
    if (!ParseArgs(args, {"--contents"}, &p, &error)) return UsageError(where, error);
    if (p.help) {
        std::fputs(kConvertHelp, stdout);
        return kExitOk;
    }
    if (p.positionals.size() != 2) return UsageError(where, "expects IN and OUT.3dx");
    const std::string &in = p.positionals[0], &out = p.positionals[1];
    if (!Writable3dxName(out)) return UsageError(where, "\"" + out + "\" does not name a .3dx file");
    bool haveContents = false;
    uint32_t contents = 0;
    for (const auto& [name, value] : p.options) {
        if (!ParseContents(value, &contents, &error)) return UsageError(where, error);
        haveContents = true;
    }
    // A 3DX file without positions reads back as a model of zero points.
    if (haveContents && !(contents & e3DX_POSITION))
        return UsageError(where, "--contents must include position");
    Infos infos;
    C3DObjectRaw raw(infos.si.get());
    LoadedModel loaded;
    if (!LoadModel(in, LoadOptions{p.lenient}, &raw, &loaded, &error)) return Fail(where, in + ": " + error);
    // Only what the model has: the sections it has data for and those its
    // 3DX file stores.
    const uint32_t has = PresentContents(*raw.m_pModel) | (loaded.fileContents & kAllSections);
    if (haveContents && (contents & ~has)) {
        std::fprintf(stderr, "%s: %s: %s: warning: the model has no %s; not stored\n", kToolName, where.c_str(),
                     in.c_str(), DescribeContents(contents & ~has).substr(11).c_str());
    }
    contents = haveContents ? contents & has : has;
    const std::string unstorable = Unstorable(*raw.m_pModel, contents);
    if (!unstorable.empty()) return Fail(where, in + ": " + unstorable);
    if (!Write3dx(&raw, out, contents, &error)) return Fail(where, out + ": " + error);
    return kExitOk;
}

// A current headless context with a framebuffer object of one size.
class Offscreen {
public:
    bool Open(int width, int height, std::string* error) {
        context_ = platform::GLContext::Create(1);
        if (!context_ || !platform::GLContext::SetCurrentContext(context_.get())) {
            *error = "no OpenGL ES 1.1 context";
            return false;
        }
        using namespace platform::oes;
        glGenFramebuffersOES(1, &framebuffer_);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        glGenRenderbuffersOES(2, renderbuffers_);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffers_[0]);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, width, height);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[0]);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffers_[1]);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_DEPTH24_STENCIL8_OES, width, height);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_DEPTH_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[1]);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_STENCIL_ATTACHMENT_OES, GL_RENDERBUFFER_OES,
                                     renderbuffers_[1]);
        if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES) {
            *error = "no " + std::to_string(width) + " x " + std::to_string(height) + " framebuffer";
            return false;
        }
        return true;
    }
    ~Offscreen() {
        if (!context_) return;
        using namespace platform::oes;
        if (framebuffer_) {
            glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
            glDeleteRenderbuffersOES(2, renderbuffers_);
            glDeleteFramebuffersOES(1, &framebuffer_);
        }
        platform::GLContext::SetCurrentContext(nullptr);
    }

private:
    std::unique_ptr<platform::GLContext> context_;
    GLuint framebuffer_ = 0;
    GLuint renderbuffers_[2] = {0, 0};
};

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int RunRender(const std::vector<std::string>& args) {
    const std::string where = "model render";
    Parsed p;
    std::string error;
    if (!ParseArgs(args, {"--size", "--yaw", "--pitch", "--zoom"}, &p, &error)) return UsageError(where, error);
    if (p.help) {
        std::fputs(kRenderHelp, stdout);
        return kExitOk;
    }
    if (p.positionals.size() != 2) return UsageError(where, "expects FILE and OUT.png");
    int width = 640, height = 480;
    float yaw = 30.0f, pitch = 25.0f, zoom = 1.0f;
    for (const auto& [name, value] : p.options) {
        if (name == "--size") {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (std::sscanf(value.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w < 1 || h < 1 || w > 8192 ||
                h > 8192)
                return UsageError(where, "--size expects WxH, each 1 to 8192");
            width = static_cast<int>(w);
            height = static_cast<int>(h);
        } else {
            float v = 0;
            if (!ParseNumber(value, &v) || (name == "--zoom" && !(v > 0)))
                return UsageError(where, name + " expects a number" + (name == "--zoom" ? " above 0" : ""));
            (name == "--yaw" ? yaw : name == "--pitch" ? pitch : zoom) = v;
        }
    }
    const std::string &in = p.positionals[0], &out = p.positionals[1];
    Infos infos;
    C3DObjectRaw raw(infos.si.get());
    LoadedModel loaded;
    if (!LoadModel(in, LoadOptions{p.lenient}, &raw, &loaded, &error)) return Fail(where, in + ": " + error);

    Offscreen target;
    if (!target.Open(width, height, &error)) return Fail(where, error);
    std::vector<uint8_t> rgba;
    {
        scene::ModelScene scene;
        std::string warning;
        if (!scene.Load(width, height, &error)) return Fail(where, error);
        if (!scene.SetModelFromRaw(&raw, DirectoryOf(in).c_str(), &error, &warning))
            return Fail(where, in + ": " + error);
        if (!warning.empty()) std::fprintf(stderr, "%s: %s: %s: %s\n", kToolName, where.c_str(), in.c_str(),
                                           warning.c_str());
        scene.SetView(yaw, pitch, zoom);
        if (!scene.Draw(&error)) return Fail(where, in + ": the model did not draw: " + error);
        rgba = scene.ReadRgba();
    }
    if (!scene::WriteRgbPng(out, width, height, rgba, &error)) return Fail(where, out + ": " + error);
    return kExitOk;
}

int RunBuild(const std::vector<std::string>& args) {
    const std::string where = "model build";
    Parsed p;
    std::string error;
    if (!ParseArgs(args, {}, &p, &error)) return UsageError(where, error);
    if (p.help) {
        std::fputs(BuildHelp().c_str(), stdout);
        return kExitOk;
    }
    if (p.positionals.size() < 2) return UsageError(where, "expects TYPE, settings and OUT.3dx");
    const scene::BuilderInfo* builder = scene::FindBuilder(p.positionals[0]);
    if (!builder) return UsageError(where, "unknown model type \"" + p.positionals[0] + "\"");
    const std::string out = p.positionals.back();
    if (!Writable3dxName(out)) return UsageError(where, "\"" + out + "\" does not name a .3dx file");
    scene::BuilderRecord record;
    const std::vector<std::string> settings(p.positionals.begin() + 1, p.positionals.end() - 1);
    if (!record.Parse(*builder, settings, &error)) return UsageError(where, error);

    // Building applies the object's render state: a context must be current.
    Offscreen target;
    if (!target.Open(1, 1, &error)) return Fail(where, error);
    // The application's portrait screen: a four-sided frustum takes its
    // proportions.
    scene::ModelScene scene;
    if (!scene.Load(320, 480, &error)) return Fail(where, error);
    C3DObject* object = scene.NewObjectToBuild(builder->objectFlags);
    if (!object) return Fail(where, "the device made no object");
    if (!record.Build(object, scene.Infos(), &error)) return Fail(where, error);
    for (const std::string& clamp : record.Clamped())
        std::fprintf(stderr, "%s: %s: warning: %s\n", kToolName, where.c_str(), clamp.c_str());
    C3DObjectRaw raw(scene.Infos());
    if (object->SaveToRaw(&raw, 0) < 0 || !raw.m_pModel) return Fail(where, "the built model could not be read back");
    const std::string unstorable = Unstorable(*raw.m_pModel, PresentContents(*raw.m_pModel));
    if (!unstorable.empty()) return Fail(where, unstorable);
    if (!Write3dx(&raw, out, PresentContents(*raw.m_pModel), &error)) return Fail(where, out + ": " + error);
    return kExitOk;
}

}  // namespace

int RunModel(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fputs(kModelHelp, stderr);
        return kExitUsage;
    }
    if (IsHelp(args[0])) {
        std::fputs(kModelHelp, stdout);
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "info") return RunInfo(rest);
    if (args[0] == "convert") return RunConvert(rest);
    if (args[0] == "render") return RunRender(rest);
    if (args[0] == "build") return RunBuild(rest);
    return UsageError("model", "unknown subcommand \"" + args[0] + "\"");
}

}  // namespace asset
