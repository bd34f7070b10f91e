#include "tools/asset/LenientObj.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "platform/Files.h"

namespace asset {
namespace {

struct MaterialInfo {
    std::string texture;
    uint32_t color = 0xFFFFFFFFu;
};

struct Corner {
    long v, t, n;  // 0-based; -1: none
};

struct SubObject {
    std::string material;
    std::vector<Corner> vertices;
    std::vector<uint32_t> indices;  // relative to the sub-object's first vertex
    std::unordered_map<uint64_t, uint32_t> seen;
};

uint32_t ColorByte(float f) {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return static_cast<uint32_t>(std::lround(f * 255.0f));
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string Directory(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// newmtl / Kd / map_Kd of a material library; other statements ignored. A
// library that cannot be read leaves the names as they are.
void ReadMaterials(const std::string& path, std::map<std::string, MaterialInfo>& out) {
    std::string why;
    if (!platform::CheckRegularFile(path, 16u << 20, &why)) return;  // a FIFO would block
    std::ifstream in(path);
    std::string line, current;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "newmtl") {
            current = Trim(line.substr(line.find("newmtl") + 6));
            out[current];
        } else if (current.empty()) {
            continue;
        } else if (key == "Kd") {
            float r = 1, g = 1, b = 1;
            if (words >> r >> g >> b)
                out[current].color = 0xFF000000u | ColorByte(r) << 16 | ColorByte(g) << 8 | ColorByte(b);
        } else if (key == "map_Kd") {
            // Options come first; the file name is the last word.
            std::string word, last;
            while (words >> word) last = word;
            if (!last.empty()) {
                const size_t slash = last.find_last_of("/\\");
                out[current].texture = slash == std::string::npos ? last : last.substr(slash + 1);
            }
        }
    }
}

class CReader {
public:
    CReader(const std::string& path, std::string& why) : m_Path(path), m_Why(why) {}

    bool Read(C3DObjectRaw& raw) {
        std::string why;
        // A FIFO would block the stream, a folder read as an empty file.
        if (!platform::CheckRegularFile(m_Path, eOBJ_MAX_FILE_SIZE, &why))
            return Fail("cannot open \"" + m_Path + "\" (" + why + ")");
        std::ifstream in(m_Path, std::ios::binary);
        if (!in) return Fail("cannot open \"" + m_Path + "\"");
        if (!CountSubObjects(in)) return false;
        in.clear();
        in.seekg(0);
        m_Line = 0;
        std::string line;
        while (std::getline(in, line)) {
            ++m_Line;
            if (!Statement(line)) return false;
        }
        return Build(raw);
    }

private:
    bool Fail(const std::string& text) {
        m_Why = m_Line ? "line " + std::to_string(m_Line) + ": " + text : text;
        return false;
    }

    // The sub-objects the file makes (runs of faces between g, o and usemtl
    // lines), counted before anything is kept for them.
    bool CountSubObjects(std::istream& in) {
        uint64_t subs = 0;
        bool faces = false;
        std::string line, key;
        while (std::getline(in, line)) {
            ++m_Line;
            std::istringstream words(line);
            if (!(words >> key)) continue;
            if (key == "g" || key == "o" || key == "usemtl") {
                faces = false;
            } else if (key == "f" && !faces) {
                faces = true;
                if (++subs > eOBJ_MAX_SUBOBJECTS)
                    return Fail("more than " + std::to_string(eOBJ_MAX_SUBOBJECTS) + " sub-objects");
            }
        }
        return true;
    }

    SubObject& Current() {
        if (m_Subs.empty()) m_Subs.emplace_back();
        return m_Subs.back();
    }

    // A sub-object for what follows, keeping the material in force.
    void Begin() {
        const std::string material = m_Subs.empty() ? std::string() : m_Subs.back().material;
        if (m_Subs.empty() || !m_Subs.back().indices.empty()) m_Subs.emplace_back();
        m_Subs.back().material = material;
    }

    bool Statement(const std::string& line) {
        std::istringstream words(line);
        std::string key;
        if (!(words >> key) || key[0] == '#') return true;
        // Each number fits 21 bits of a corner's key.
        constexpr size_t kMost = (1u << 21) - 2;
        if (m_Positions.size() > kMost || m_TexCoords.size() > kMost || m_Normals.size() > kMost)
            return Fail("too many positions, texture coordinates or normals");
        if (key == "v") {
            float x, y, z;
            if (!(words >> x >> y >> z)) return Fail("a position needs three numbers");
            m_Positions.push_back(VECTOR3D{x, y, z});
        } else if (key == "vt") {
            float u, v = 0;
            if (!(words >> u)) return Fail("a texture coordinate needs a number");
            words >> v;
            m_TexCoords.push_back(VECTOR2D{u, v});
        } else if (key == "vn") {
            float x, y, z;
            if (!(words >> x >> y >> z)) return Fail("a normal needs three numbers");
            m_Normals.push_back(VECTOR3D{x, y, z});
        } else if (key == "g" || key == "o") {
            Begin();
        } else if (key == "usemtl") {
            const std::string name = Trim(line.substr(line.find("usemtl") + 6));
            if (!m_Subs.empty() && !m_Subs.back().indices.empty()) Begin();
            Current().material = name;
        } else if (key == "mtllib") {
            std::string file;
            while (words >> file) ReadMaterials(Directory(m_Path) + file, m_Materials);
        } else if (key == "f") {
            return Face(words);
        }
        return true;
    }

    // A 1-based number, or a negative one counting back from the last read.
    bool Number(const std::string& text, size_t count, const char* what, long* out) {
        char* end = nullptr;
        const long n = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end) return Fail(std::string("bad ") + what + " number \"" + text + "\"");
        const long index = n > 0 ? n - 1 : static_cast<long>(count) + n;
        if (n == 0 || index < 0 || index >= static_cast<long>(count))
            return Fail(std::string(what) + " " + text + " of " + std::to_string(count) + " read");
        *out = index;
        return true;
    }

    bool Face(std::istringstream& words) {
        std::vector<Corner> corners;
        std::string word;
        while (words >> word) {
            Corner c{-1, -1, -1};
            const size_t s1 = word.find('/');
            const size_t s2 = s1 == std::string::npos ? std::string::npos : word.find('/', s1 + 1);
            if (!Number(word.substr(0, s1), m_Positions.size(), "position", &c.v)) return false;
            if (s1 != std::string::npos) {
                const std::string t = word.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1);
                if (!t.empty() && !Number(t, m_TexCoords.size(), "texture coordinate", &c.t)) return false;
                if (s2 != std::string::npos && !Number(word.substr(s2 + 1), m_Normals.size(), "normal", &c.n))
                    return false;
            }
            corners.push_back(c);
        }
        if (corners.size() < 3) return Fail("a face needs three corners");
        SubObject& sub = Current();
        uint32_t numbers[3];
        for (size_t k = 1; k + 1 < corners.size(); ++k) {
            const Corner fan[3] = {corners[0], corners[k], corners[k + 1]};
            for (int i = 0; i < 3; ++i) {
                const Corner& c = fan[i];
                const uint64_t key = static_cast<uint64_t>(c.v) << 42 ^ static_cast<uint64_t>(c.t + 1) << 21 ^
                                     static_cast<uint64_t>(c.n + 1);
                auto found = sub.seen.emplace(key, static_cast<uint32_t>(sub.vertices.size()));
                if (found.second) sub.vertices.push_back(c);
                numbers[i] = found.first->second;
            }
            sub.indices.insert(sub.indices.end(), numbers, numbers + 3);
            m_Indices += 3;
            if (m_Indices > eOBJ_MAX_INDICES) return Fail("too many faces");
        }
        return true;
    }

    bool Build(C3DObjectRaw& raw) {
        std::vector<const SubObject*> subs;
        uint64_t vertices = 0, indices = 0;
        for (const SubObject& s : m_Subs) {
            if (s.indices.empty()) continue;
            subs.push_back(&s);
            vertices += s.vertices.size();
            indices += s.indices.size();
        }
        m_Line = 0;
        if (subs.empty()) return Fail("no faces");
        if (vertices > eOBJ_MAX_VERTICES || subs.size() > eOBJ_MAX_SUBOBJECTS) return Fail("too large for a model");
        if (eFAILURE(raw.Load(static_cast<uint32_t>(subs.size()), static_cast<uint32_t>(vertices),
                              static_cast<uint32_t>(indices))))
            return Fail("the model could not be made");
        RAW_MODEL* m = raw.m_pModel;
        uint32_t vertexStart = 0, indexStart = 0;
        for (uint32_t j = 0; j < subs.size(); ++j) {
            const SubObject& s = *subs[j];
            const auto material = m_Materials.find(s.material);
            const uint32_t color = material != m_Materials.end() ? material->second.color : 0xFFFFFFFFu;
            std::string texture = s.material;
            if (material != m_Materials.end() && !material->second.texture.empty()) texture = material->second.texture;
            std::snprintf(m->m_pszTextureNames[j], eMAX_PATH, "%s", texture.c_str());
            m->m_pdwTextureWords1[j] = e3DX_V2_TEXTURE_WORD1;
            m->m_pdwTextureWords2[j] = e3DX_V2_TEXTURE_WORD2;
            for (uint32_t k = 0; k < s.vertices.size(); ++k) {
                const Corner& c = s.vertices[k];
                const uint32_t i = vertexStart + k;
                m->m_pvPositions[i] = m_Positions[c.v];
                if (c.t >= 0) m->m_pvUVs[i] = VECTOR2D{m_TexCoords[c.t].x, 1.0f - m_TexCoords[c.t].y};
                if (c.n >= 0) m->m_pvNormals[i] = m_Normals[c.n];
                m->m_pdwColors[i] = color;
                m->m_pdwSpeculars[i] = 0xFF000000u;
            }
            std::copy(s.indices.begin(), s.indices.end(), m->m_pdwIndices + indexStart);
            const uint32_t vc = static_cast<uint32_t>(s.vertices.size()), ic = static_cast<uint32_t>(s.indices.size());
            m->m_pAttributes[j] = ATTRIBUT{j, vertexStart, vc, indexStart, ic, ic / 3, PRIM_TRIANGLELIST, CULL_NONE};
            vertexStart += vc;
            indexStart += ic;
        }
        return true;
    }

    std::string m_Path;
    std::string& m_Why;
    size_t m_Line = 0;
    size_t m_Indices = 0;
    std::vector<VECTOR3D> m_Positions;
    std::vector<VECTOR2D> m_TexCoords;
    std::vector<VECTOR3D> m_Normals;
    std::vector<SubObject> m_Subs;
    std::map<std::string, MaterialInfo> m_Materials;
};

}  // namespace

bool ReadLenientObj(const std::string& path, C3DObjectRaw& raw, std::string& why) {
    raw.Unload();
    why.clear();
    if (CReader(path, why).Read(raw)) return true;
    raw.Unload();
    return false;
}

}  // namespace asset
