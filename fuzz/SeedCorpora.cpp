// Writes the seed corpora of the fuzz targets, one folder per target under
// OUT, from the test suite's own image and model writers and, when given,
// the entries of the built resource pack.
//
//   orbelline-fuzz-seeds OUT [PACK]
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
}

#include "engine/3d/3DTexture.h"
#include "engine/3d/KavroFont.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/world/ResPacker.h"
#include "tests/engine/3d/Model3DXImages.h"
#include "tests/engine/3d/TextureTestImages.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

fs::path g_out;
int g_written = 0;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++g_written;
}

// Every entry of a pack, walked as the pack tool lists it.
std::vector<std::pair<std::string, Bytes>> ReadPack(const std::string& path) {
    std::vector<std::pair<std::string, Bytes>> entries;
    std::ifstream in(path, std::ios::binary);
    const Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 0;
    auto u32 = [&](size_t p) {
        return static_cast<uint32_t>(all[p]) | static_cast<uint32_t>(all[p + 1]) << 8 |
               static_cast<uint32_t>(all[p + 2]) << 16 | static_cast<uint32_t>(all[p + 3]) << 24;
    };
    while (all.size() - at >= 8) {
        const uint32_t size = u32(at), nameLen = u32(at + 4);
        at += 8;
        if (nameLen > eRES_PACKER_MAX_NAME || all.size() - at < nameLen) break;
        Bytes name(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + nameLen));
        eResPackerScramble(name.data(), nameLen);
        at += nameLen;
        if (all.size() - at < size) break;
        entries.emplace_back(std::string(name.begin(), name.end()),
                             Bytes(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + size)));
        at += size;
    }
    return entries;
}

Bytes PackImage(const std::vector<std::pair<std::string, Bytes>>& entries) {
    Bytes out;
    FILE* f = std::tmpfile();
    if (!f) return out;
    for (const auto& e : entries) {
        eResPackerWriteEntryHeader(f, e.first.c_str(), static_cast<uint32_t>(e.second.size()));
        if (!e.second.empty()) std::fwrite(e.second.data(), 1, e.second.size(), f);
    }
    std::fflush(f);
    out.resize(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    if (!out.empty() && std::fread(out.data(), 1, out.size(), f) != out.size()) out.clear();
    std::fclose(f);
    return out;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void IniSeeds() {
    const Bytes engine(g_szEngineIni, g_szEngineIni + g_dwEngineIniSize);
    const Bytes appli(g_szAppliIni, g_szAppliIni + g_dwAppliIniSize);
    Seed("ini", "engine-camera", Concat(Text("CAMERA|VIEW_DEG_FIELD\n"), engine));
    Seed("ini", "engine-text", Concat(Text("TEXT|FONT\n"), engine));
    Seed("ini", "appli-path", Concat(Text("PATH|DATA_PATH\n"), appli));
    Seed("ini", "small", Text("A|k\n[A]\nk = value\nn=12\nf=-1.5e3\nb=TRUE\n"));
    Seed("ini", "crlf-no-final-newline", Text("S|key\r\n[S]\r\nkey=\t  spaced value\r\n[T]\r\nkey=other"));
    Seed("ini", "comments-and-repeats", Text("X|k\n// comment\n[X]\n; k=no\nk=first\nk=second\n[X]\nk=third\n"));
    Seed("ini", "long-line", Concat(Text("L|k\n[L]\nk="), Bytes(3000, 'v')));
    Seed("ini", "no-query", Text("[A]\nk=v\n"));
}

void ScriptSeeds() {
    Seed("script", "every-command",
         Text("# a comment line\n\ndown 1 10 20   # trailing comment\nmove 1 11.5 -2\nup 1\ndown 2 1 1\n"
              "cancel 2\naccel 0.25 -0.5 -1\nshake\norientation 4\nresign\nbecome\nframes 30\nseconds 0.5\n"
              "png out/a#1.png\n\tquit\r\n"));
    Seed("script", "several-fingers", Text("down 1 10 10 2 20 20 3 30 30\nmove 1 11 11 3 31 31\nup 1 2 3 4 5\n"));
    Seed("script", "up-positions", Text("down 1 0 0\ndown 2 5 5\nup 1 2\nup 2 100 200\n"));
    Seed("script", "limits", Text("frames 1000000\nseconds 86400\norientation 6\ndown 2147483647 320 480\n"
                                  "cancel 2147483647\n"));
    Seed("script", "error", Text("down 1 1 1\ndown 1 2 2\n"));
    Seed("script", "numbers", Text("accel 1e308 -1e-308 0x10\nseconds 1.5e1\nframes 007\n"));
}

void TextureSeeds(const std::vector<std::pair<std::string, Bytes>>& pack) {
    using namespace teximg;
    // PNG: every colour type and depth the decoder converts.
    struct PngCase {
        const char* name;
        int colorType, depth;
        bool interlaced;
    };
    const PngCase cases[] = {
        {"rgb8.png", PNG_COLOR_TYPE_RGB, 8, false},        {"rgba8.png", PNG_COLOR_TYPE_RGBA, 8, false},
        {"grey8.png", PNG_COLOR_TYPE_GRAY, 8, false},      {"grey1.png", PNG_COLOR_TYPE_GRAY, 1, false},
        {"greyalpha8.png", PNG_COLOR_TYPE_GA, 8, false},   {"rgb16.png", PNG_COLOR_TYPE_RGB, 16, false},
        {"palette4.png", PNG_COLOR_TYPE_PALETTE, 4, false}, {"rgb8-interlaced.png", PNG_COLOR_TYPE_RGB, 8, true},
    };
    for (const PngCase& c : cases) {
        PngDesc d;
        d.width = 5;
        d.height = 3;
        d.depth = c.depth;
        d.colorType = c.colorType;
        d.interlaced = c.interlaced;
        const int channels = c.colorType == PNG_COLOR_TYPE_RGB    ? 3
                             : c.colorType == PNG_COLOR_TYPE_RGBA ? 4
                             : c.colorType == PNG_COLOR_TYPE_GA   ? 2
                                                                  : 1;
        const size_t rowBytes = (static_cast<size_t>(d.width) * channels * c.depth + 7) / 8;
        for (uint32_t y = 0; y < d.height; ++y) {
            Bytes row(rowBytes);
            for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(i * 37 + y * 91);
            d.rows.push_back(row);
        }
        if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
            for (int i = 0; i < 16; ++i)
                d.palette.push_back(png_color{static_cast<png_byte>(i * 16), static_cast<png_byte>(255 - i), 7});
            d.paletteAlpha = {0, 128, 255};
        }
        if (c.colorType == PNG_COLOR_TYPE_GRAY && c.depth == 8) d.transparentGrey = 37;
        Seed("texture_png", c.name, WritePng(d));
    }
    // JPEG: grey and colour, odd sizes.
    const Bytes rgb = RedOverBlue();
    Seed("texture_jpeg", "rgb-4x2.jpg", WriteJpeg(4, 2, 3, rgb));
    Bytes grey(17 * 9);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i * 13);
    Seed("texture_jpeg", "grey-17x9.jpg", WriteJpeg(17, 9, 1, grey, 75));
    Bytes colour(33 * 20 * 3);
    for (size_t i = 0; i < colour.size(); ++i) colour[i] = static_cast<uint8_t>(i * 7);
    Seed("texture_jpeg", "rgb-33x20.jpg", WriteJpeg(33, 20, 3, colour, 50));
    // TGA: uncompressed and run-length, 24 and 32 bits.
    Seed("texture_tga", "plain24.tga", Tga(2, 4, 2, 24, Concat(rgb, Bytes())));
    Bytes rgba32;
    for (int i = 0; i < 6; ++i) rgba32.insert(rgba32.end(), {static_cast<uint8_t>(i), 2, 3, 200});
    Seed("texture_tga", "plain32.tga", Tga(2, 3, 2, 32, rgba32));
    // Run packets: a repeated pixel, then a raw run of two.
    Seed("texture_tga", "rle24.tga", Tga(10, 4, 1, 24, {0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}));
    Seed("texture_tga", "rle32.tga", Tga(10, 2, 2, 32, {0x83, 1, 2, 3, 4}));
    // Raw: the one size there is, and a cut one.
    Bytes raw(eTEXTURE_RAW_SIZE);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i ^ (i >> 8));
    Seed("texture_raw", "full.raw", raw);
    Seed("texture_raw", "cut.raw", Bytes(raw.begin(), raw.begin() + 1000));
    // The pack's own images, but for the large ones: a mutation of a whole
    // screen costs more than a fuzzing second.
    for (const auto& e : pack)
        if (EndsWith(e.first, ".png") && e.second.size() <= 16384) Seed("texture_png", "pack-" + e.first, e.second);
}

void ModelSeeds() {
    using namespace model3dx;
    const Model sample = Sample();
    Seed("model3dx", "v4-all.3dx", V4(sample).bytes);
    Seed("model3dx", "v3-all.3dx", V3(sample).bytes);
    Model v2 = Sample(e3DX_VERTEX_ALL);
    Seed("model3dx", "v2.3dx", V2(v2).bytes);
    Model bare = Sample(e3DX_POSITION);
    Seed("model3dx", "v4-positions.3dx", V4(bare).bytes);
    Seed("model3dx", "v3-positions.3dx", V3(bare).bytes);
    Model named = Sample(e3DX_POSITION | e3DX_UV | e3DX_TEXTURE_NAME | e3DX_MATERIAL);
    Seed("model3dx", "v4-named.3dx", V4(named).bytes);
}

void ObjSeeds() {
    const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0 0\nvt 1 0 0\nvt 1 1 0\nvt 0 1 0\n";
    Seed("obj", "max-quad.obj", Text("# 3ds Max Wavefront OBJ Exporter v0.94b - (c)2007 guruware\r\ng quad\r\n"
                                     "usemtl stone.png\r\n" + square + "f 1/1 2/2 3/3 4/4\r\n"));
    Seed("obj", "max-groups.obj", Text("# 3ds Max Wavefront OBJ Exporter v0.94b - (c)2007 guruware\ng a\n" + square +
                                       "f 1/1 2/2 3/3\ng b\nusemtl green.raw\nf 2/2 4/4 3/3\nf 2/3 4/4 1/1\n"));
}

// 3D Studio files as lib3ds writes them: two materials (one with a map),
// a mesh with texture coordinates, and, in one of them, keyframer nodes.
Bytes Write3DS(bool nodes) {
    Lib3dsFile* f = lib3ds_file_new();
    const char* names[2] = {"red", "stone"};
    for (const char* name : names) {
        Lib3dsMaterial* m = lib3ds_material_new();
        std::snprintf(m->name, sizeof m->name, "%s", name);
        m->diffuse[0] = 1;
        m->diffuse[3] = 1;
        if (name[0] == 's') std::snprintf(m->texture1_map.name, sizeof m->texture1_map.name, "STONE.PNG");
        lib3ds_file_insert_material(f, m);
    }
    Lib3dsMesh* mesh = lib3ds_mesh_new("quad");
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    for (int i = 0; i < 4; ++i) {
        mesh->pointL[i].pos[0] = static_cast<float>(i & 1);
        mesh->pointL[i].pos[1] = static_cast<float>(i >> 1);
        mesh->texelL[i][0] = static_cast<float>(i & 1);
        mesh->texelL[i][1] = static_cast<float>(i >> 1);
    }
    lib3ds_mesh_new_face_list(mesh, 2);
    const Lib3dsWord faces[2][3] = {{0, 1, 2}, {1, 3, 2}};
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 3; ++k) mesh->faceL[i].points[k] = faces[i][k];
        std::snprintf(mesh->faceL[i].material, sizeof mesh->faceL[i].material, "%s", names[i]);
    }
    lib3ds_file_insert_mesh(f, mesh);
    if (nodes) {
        for (Lib3dsWord id = 0; id < 2; ++id) {
            Lib3dsNode* node = lib3ds_node_new_object();
            std::snprintf(node->name, sizeof node->name, "%s", id ? "copy" : "quad");
            if (id) std::snprintf(node->data.object.instance, sizeof node->data.object.instance, "quad");
            node->node_id = id;
            node->parent_id = id ? 0 : LIB3DS_NO_PARENT;
            lib3ds_file_insert_node(f, node);
        }
    }
    const fs::path path = g_out / "model3ds-seed.tmp";
    Bytes bytes;
    if (lib3ds_file_save(f, path.c_str())) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    lib3ds_file_free(f);
    fs::remove(path);
    return bytes;
}

void Model3DSSeeds() {
    const Bytes withNodes = Write3DS(true), withoutNodes = Write3DS(false);
    Seed("model3ds", "nodes.3ds", withNodes);
    Seed("model3ds", "no-nodes.3ds", withoutNodes);
    // A few bytes after the main chunk.
    Seed("model3ds", "padded.3ds", Concat(withNodes, Bytes(5, 0)));
}

void FontSeeds(const std::vector<std::pair<std::string, Bytes>>& pack) {
    Bytes table;
    for (uint32_t i = 0; i < eFONT_CELL_COUNT; ++i) {
        const float v[4] = {0.01f * (i % 64), 0.5f, 0.01f * (i % 64) + 0.01f, 0.4f};
        const uint8_t* p = reinterpret_cast<const uint8_t*>(v);
        table.insert(table.end(), p, p + 16);
    }
    Seed("glyph", "made.glyph", table);
    Seed("glyph", "cut.glyph", Bytes(table.begin(), table.begin() + 100));
    for (const auto& e : pack) {
        if (EndsWith(e.first, ".glyph")) Seed("glyph", "pack-" + e.first, e.second);
        if (EndsWith(e.first, ".ttf")) {
            Seed("ttf", "40-3-" + e.first, Concat({40, 3}, e.second));
            Seed("ttf", "12-0-" + e.first, Concat({12, 0}, e.second));
        }
    }
}

void PackSeeds(const std::vector<std::pair<std::string, Bytes>>& pack) {
    // Small packs; the real pack without its large entries keeps every name.
    std::vector<std::pair<std::string, Bytes>> small = {
        {"mask.png", Bytes(40, 1)}, {"Data/a.txt", Bytes()}, {"teenbold.glyph", Bytes(16, 2)}};
    Seed("respack", "small-first", Concat(Text("mask.png\n"), PackImage(small)));
    Seed("respack", "small-prefix-case", Concat(Text("DATA/\n"), PackImage(small)));
    Seed("respack", "small-missing", Concat(Text("nothing\n"), PackImage(small)));
    std::vector<std::pair<std::string, Bytes>> names;
    for (const auto& e : pack) names.emplace_back(e.first, Bytes(e.second.begin(), e.second.begin() + std::min<size_t>(e.second.size(), 64)));
    if (!names.empty()) Seed("respack", "pack-names", Concat(Text("teenbold.ttf\n"), PackImage(names)));
    Seed("respack", "long-name", Concat(Text("\n"), PackImage({{std::string(259, 'n'), Bytes(3, 3)}})));
}

}  // namespace

int main(int argc, char** argv) {
    static const char kUsage[] =
        "usage: orbelline-fuzz-seeds OUT [PACK]\n"
        "Writes the seed corpora of every fuzz target under OUT/<target>/, the\n"
        "texture, font and pack seeds from the entries of PACK when given.\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    g_out = argv[1];
    std::vector<std::pair<std::string, Bytes>> pack;
    if (argc == 3) {
        pack = ReadPack(argv[2]);
        if (pack.empty()) {
            std::fprintf(stderr, "orbelline-fuzz-seeds: %s: no entries\n", argv[2]);
            return 1;
        }
    }
    IniSeeds();
    ScriptSeeds();
    TextureSeeds(pack);
    ModelSeeds();
    ObjSeeds();
    Model3DSSeeds();
    FontSeeds(pack);
    PackSeeds(pack);
    std::printf("%d seeds written under %s\n", g_written, g_out.c_str());
    return 0;
}
