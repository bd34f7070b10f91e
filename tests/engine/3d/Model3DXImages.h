// 3DX images written by the tests themselves, byte by byte from the layout
// description, so the engine's reader is checked against the format and not
// against its own writer. Each image also lists its section boundaries, the
// offsets at which a cut file is worth trying.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/world/ResPacker.h"

namespace model3dx {

using Bytes = std::vector<uint8_t>;

struct Vertex {
    VECTOR3D position;
    VECTOR3D normal;
    uint32_t color;
    uint32_t specular;
    VECTOR2D uv;
};

struct SubObject {
    ATTRIBUT record;
    std::string texture;  // unit-0 texture name
    uint32_t word1 = 0, word2 = 0;
    MATERIAL material;
};

// A whole model as the layouts store it; V3 writes each sub-object's run of
// vertices and indices after its record.
struct Model {
    uint32_t contents = 0;
    std::vector<SubObject> subs;
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    // Header counts when they differ from the arrays (damaged files).
    int64_t subCount = -1, vertexCount = -1, indexCount = -1;
};

struct Image {
    Bytes bytes;
    std::vector<size_t> boundaries;  // end of every section, the last one the image's end
};

class Writer {
public:
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) image.bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void F32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    void Fill(size_t n, uint8_t value) { image.bytes.insert(image.bytes.end(), n, value); }
    void Name(const std::string& name, size_t size) {
        Bytes field(size, 0);
        std::memcpy(field.data(), name.data(), std::min(name.size(), size));
        image.bytes.insert(image.bytes.end(), field.begin(), field.end());
    }
    void Mark() { image.boundaries.push_back(image.bytes.size()); }
    void Record(const ATTRIBUT& r) {
        for (uint32_t w : {r.dwOrder, r.dwVertexStart, r.dwVertexCount, r.dwIndexStart, r.dwIndexCount,
                           r.dwPrimitiveCount, r.dwPrimitiveType, r.dwCullMode})
            U32(w);
    }
    void Material(const MATERIAL& m) {
        for (int i = 0; i < 4; ++i) F32(m.afDiffuse[i]);
        for (int i = 0; i < 4; ++i) F32(m.afAmbient[i]);
        for (int i = 0; i < 4; ++i) F32(m.afSpecular[i]);
        for (int i = 0; i < 4; ++i) F32(m.afEmissive[i]);
        F32(m.fPower);
    }
    void Header(const Model& m, uint32_t version) {
        U32(m.subCount >= 0 ? static_cast<uint32_t>(m.subCount) : static_cast<uint32_t>(m.subs.size()));
        U32(m.vertexCount >= 0 ? static_cast<uint32_t>(m.vertexCount) : static_cast<uint32_t>(m.vertices.size()));
        U32(m.indexCount >= 0 ? static_cast<uint32_t>(m.indexCount) : static_cast<uint32_t>(m.indices.size()));
        U32(version);
        U32(m.contents);
        Mark();
    }
    // The present sections of a V3/V4 vertex, in file order.
    void VertexSections(const Vertex& v, uint32_t c) {
        if (c & e3DX_POSITION) F32(v.position.x), F32(v.position.y), F32(v.position.z);
        if (c & e3DX_NORMAL) F32(v.normal.x), F32(v.normal.y), F32(v.normal.z);
        if (c & e3DX_COLOR) U32(v.color);
        if (c & e3DX_SPECULAR) U32(v.specular);
        if (c & e3DX_UV) F32(v.uv.x), F32(v.uv.y);
    }
    void SubSections(const SubObject& s, uint32_t c, bool recordFirst) {
        if (recordFirst) Record(s.record), Mark();
        if (c & e3DX_TEXTURE_NAME) Name(s.texture, e3DX_NAME_SIZE), Mark();
        if (c & e3DX_TEXTURE_WORD1) U32(s.word1), Mark();
        if (c & e3DX_TEXTURE_WORD2) U32(s.word2), Mark();
        if (!recordFirst) Record(s.record), Mark();
        if (c & e3DX_MATERIAL) Material(s.material), Mark();
    }

    Image image;
};

inline Image V4(const Model& m) {
    Writer w;
    w.Header(m, e3DX_VERSION_V4);
    for (const SubObject& s : m.subs) w.SubSections(s, m.contents, true);
    for (const Vertex& v : m.vertices) w.VertexSections(v, m.contents), w.Mark();
    for (uint32_t i : m.indices) w.U32(i), w.Mark();
    return w.image;
}

inline Image V3(const Model& m) {
    Writer w;
    w.Header(m, e3DX_VERSION_V3);
    for (const SubObject& s : m.subs) {
        w.SubSections(s, m.contents, false);
        // Records reaching past the model (damaged files) store zeros there.
        for (uint64_t k = s.record.dwVertexStart; k < uint64_t{s.record.dwVertexStart} + s.record.dwVertexCount; ++k)
            w.VertexSections(k < m.vertices.size() ? m.vertices[k] : Vertex{}, m.contents), w.Mark();
        for (uint64_t k = s.record.dwIndexStart; k < uint64_t{s.record.dwIndexStart} + s.record.dwIndexCount; ++k)
            w.U32(k < m.indices.size() ? m.indices[k] : 0), w.Mark();
    }
    return w.image;
}

// V2 stores no record: each sub-object's vertices and indices follow those of
// the one before. The ignored bytes are filled with junk to show they are
// ignored.
inline Image V2(const Model& m) {
    Writer w;
    w.Header(m, e3DX_VERSION_V2);
    for (const SubObject& s : m.subs) {
        w.Name(s.texture, e3DX_V2_NAME_SIZE), w.Mark();
        const float* blocks[4] = {s.material.afDiffuse, s.material.afAmbient, s.material.afSpecular,
                                  s.material.afEmissive};
        for (const float* b : blocks) w.Fill(12, 0xA5), w.F32(b[0]), w.F32(b[1]), w.F32(b[2]), w.Mark();
        w.U32(s.record.dwCullMode), w.U32(s.record.dwPrimitiveType);
        w.U32(s.record.dwVertexCount), w.U32(s.record.dwIndexCount), w.Mark();
        for (uint32_t k = 0; k < s.record.dwVertexCount; ++k) {
            const Vertex& v = m.vertices[s.record.dwVertexStart + k];
            w.Fill(12, 0x5A), w.F32(v.position.x), w.F32(v.position.y), w.F32(v.position.z);
            w.Fill(12, 0x5A), w.F32(v.normal.x), w.F32(v.normal.y), w.F32(v.normal.z);
            w.U32(v.color), w.U32(v.specular);
            w.Fill(8, 0x5A), w.F32(v.uv.x), w.F32(v.uv.y), w.Mark();
        }
        for (uint32_t k = 0; k < s.record.dwIndexCount; ++k) w.U32(m.indices[s.record.dwIndexStart + k]), w.Mark();
    }
    return w.image;
}

inline MATERIAL Material(float base) {
    MATERIAL m;
    float* f = m.afDiffuse;
    for (int i = 0; i < 17; ++i) f[i] = base + 0.125f * i;
    return m;
}

// Two sub-objects over seven vertices: a triangle list and a strip, every
// attribute distinct so that a mix-up shows.
inline Model Sample(uint32_t contents = 0x03DF0000u) {
    Model m;
    m.contents = contents;
    for (uint32_t i = 0; i < 7; ++i) {
        const float f = static_cast<float>(i);
        m.vertices.push_back(Vertex{{f, f + 0.5f, -f},
                                    {0.25f * f, 1.0f, -0.5f},
                                    0xFF000000u | (0x010203u * i),
                                    0x80000000u | (0x102030u * i),
                                    {0.1f * f, 1.0f - 0.1f * f}});
    }
    m.indices = {0, 1, 2, 0, 2, 1, 0, 1, 2, 3};
    SubObject a;
    a.record = ATTRIBUT{0, 0, 3, 0, 6, 2, PRIM_TRIANGLELIST, CULL_CCW};
    a.texture = "stone.raw";
    a.word1 = 1;
    a.word2 = 82;
    a.material = Material(0.5f);
    SubObject b;
    b.record = ATTRIBUT{1, 3, 4, 6, 4, 2, PRIM_TRIANGLESTRIP, CULL_CW};
    b.texture = "";
    b.word1 = 7;
    b.word2 = 9;
    b.material = Material(3.0f);
    m.subs = {a, b};
    return m;
}

inline std::string TempPath(const std::string& name) { return ::testing::TempDir() + name; }

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A resource pack in a temporary stream: the named entries in order.
class Pack {
public:
    explicit Pack(const std::vector<std::pair<std::string, Bytes>>& entries) : file_(std::tmpfile()) {
        for (const auto& e : entries) {
            eResPackerWriteEntryHeader(file_, e.first.c_str(), static_cast<uint32_t>(e.second.size()));
            if (!e.second.empty()) std::fwrite(e.second.data(), 1, e.second.size(), file_);
        }
        std::fflush(file_);
    }
    ~Pack() { std::fclose(file_); }
    Pack(const Pack&) = delete;
    Pack& operator=(const Pack&) = delete;

    // A handle positioned on the entry, as the world's lookup leaves it.
    bool Find(const char* name, _RES_PACKER* packer) const {
        std::memset(packer, 0, sizeof *packer);
        packer->m_pFile = file_;
        return eGetResPacker(name, packer) == eOK;
    }
    FILE* file() const { return file_; }

private:
    FILE* file_;
};

}  // namespace model3dx
