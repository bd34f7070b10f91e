// lib3ds 1.3 trusts what it reads: it indexes its arrays with numbers from
// the file, steps from chunk to chunk by their lengths (a length below 6
// never moves it on), and when a read fails half-way it frees the file
// record but not what hangs from it. So the chunks it descends into are
// walked here first, in the places it walks them:
//   - only the first chunk, with its length clamped to the file (lib3ds
//     reads that one and stops at the end of the file);
//   - every chunk at least a header long and within its parent, and no
//     parent ending in a piece shorter than a header;
//   - every count within its chunk, every index within its array;
//   - every name ending inside its chunk and within lib3ds's buffer;
//   - keyframer nodes with distinct numbers whose parents form a tree of
//     bounded depth (lib3ds re-parents nodes recursively and never stops
//     on a cycle);
//   - bounded numbers of materials, objects and nodes (lib3ds inserts each
//     into a sorted list, in time quadratic in their number).
// Chunks lib3ds steps over whole are not looked into.
#include "engine/3d/3DSChunkCheck.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum : uint16_t {
    COLOR_F = 0x0010, LIN_COLOR_F = 0x0013,
    BIT_MAP = 0x1100, SOLID_BGND = 0x1200, V_GRADIENT = 0x1300,
    AMBIENT_LIGHT = 0x2100, FOG = 0x2200, DISTANCE_CUE = 0x2300, LAYER_FOG = 0x2302,
    DEFAULT_VIEW = 0x3000, MDATA = 0x3D3D, MLIBMAGIC = 0x3DAA, M3DMAGIC = 0x4D4D, CMAGIC = 0xC23D,
    NAMED_OBJECT = 0x4000, N_TRI_OBJECT = 0x4100, POINT_ARRAY = 0x4110, POINT_FLAG_ARRAY = 0x4111,
    FACE_ARRAY = 0x4120, MSH_MAT_GROUP = 0x4130, TEX_VERTS = 0x4140, SMOOTH_GROUP = 0x4150, MSH_BOXMAP = 0x4190,
    N_DIRECT_LIGHT = 0x4600, DL_SPOTLIGHT = 0x4610, DL_SPOT_PROJECTOR = 0x4653, N_CAMERA = 0x4700,
    VIEWPORT_LAYOUT = 0x7001,
    MAT_NAME = 0xA000, MAT_MAPNAME = 0xA300, MAT_ENTRY = 0xAFFF,
    KFDATA = 0xB000, KFHDR = 0xB00A, NODE_ID = 0xB030, NODE_HDR = 0xB010, INSTANCE_NAME = 0xB011,
    POS_TRACK = 0xB020, ROT_TRACK = 0xB021, SCL_TRACK = 0xB022, FOV_TRACK = 0xB023, ROLL_TRACK = 0xB024,
    COL_TRACK = 0xB025, MORPH_TRACK = 0xB026, HOT_TRACK = 0xB027, FALL_TRACK = 0xB028, HIDE_TRACK = 0xB029,
};

// Chunks lib3ds reads as a colour, a percentage or a texture map: each a
// list of chunks of its own.
bool IsMaterialList(uint16_t id) {
    static const uint16_t kLists[] = {0xA010, 0xA020, 0xA030, 0xA040, 0xA041, 0xA050, 0xA052, 0xA053, 0xA084};
    for (uint16_t l : kLists)
        if (id == l) return true;
    return false;
}
bool IsTextureMap(uint16_t id) {
    static const uint16_t kMaps[] = {0xA200, 0xA33E, 0xA33A, 0xA340, 0xA210, 0xA342, 0xA230,
                                     0xA344, 0xA204, 0xA348, 0xA33C, 0xA346, 0xA33D, 0xA34A,
                                     0xA220, 0xA34C};
    for (uint16_t m : kMaps)
        if (id == m) return true;
    return false;
}

constexpr uint32_t kMaxListed = 4096;   // materials, objects or nodes
constexpr uint32_t kMaxNodeDepth = 256;
constexpr uint16_t kNoNode = 0xFFFF;

uint16_t U16At(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32At(const uint8_t* p) { return static_cast<uint32_t>(U16At(p)) | static_cast<uint32_t>(U16At(p + 2)) << 16; }

class CWalk {
public:
    CWalk(const uint8_t* start, char* why, size_t whySize) : m_pStart(start), m_szWhy(why), m_dwWhySize(whySize) {}
    ~CWalk() { std::free(m_pNodes); }
    CWalk(const CWalk&) = delete;
    CWalk& operator=(const CWalk&) = delete;

    bool File(size_t size) {
        if (size < 6) return Why("too short");
        const uint16_t id = U16At(m_pStart);
        const uint32_t length = U32At(m_pStart + 2);
        if (length < 6) return Why("chunk 0x%04X at byte 0 is %u bytes long", id, length);
        const uint8_t* end = m_pStart + (length < size ? length : size);
        bool ok;
        if (id == M3DMAGIC || id == MLIBMAGIC || id == CMAGIC)
            ok = List(m_pStart + 6, end, id);
        else if (id == MDATA)
            ok = List(m_pStart + 6, end, MDATA);
        else
            return Why("not a 3D Studio file (first chunk 0x%04X)", id);
        return ok && NodeTree();
    }

private:
    bool Why(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(m_szWhy, m_dwWhySize, format, args);
        va_end(args);
        return false;
    }
    long At(const uint8_t* p) const { return static_cast<long>(p - m_pStart); }

    // The chunks in [p, end), inside a chunk of type `parent`.
    bool List(const uint8_t* p, const uint8_t* end, uint16_t parent) {
        while (p < end) {
            if (end - p < 6) return Why("chunk 0x%04X ends in %ld stray bytes at byte %ld", parent, end - p, At(p));
            const uint16_t id = U16At(p);
            const uint32_t length = U32At(p + 2);
            if (length < 6 || length > static_cast<uint64_t>(end - p))
                return Why("chunk 0x%04X at byte %ld runs past its parent", id, At(p));
            if (!Chunk(parent, id, p, p + 6, p + length)) return false;
            p += length;
        }
        return true;
    }

    // A name lib3ds reads into a buffer of `size` bytes, NUL included.
    bool Name(const uint8_t*& p, const uint8_t* end, size_t size, uint16_t id) {
        const size_t room = static_cast<size_t>(end - p) < size ? static_cast<size_t>(end - p) : size;
        const void* zero = std::memchr(p, 0, room);
        if (!zero) return Why("name in chunk 0x%04X at byte %ld is too long or not ended", id, At(p));
        p = static_cast<const uint8_t*>(zero) + 1;
        return true;
    }

    // `bytes` of fixed data before the chunk's own list.
    bool ListAfter(const uint8_t* body, const uint8_t* end, size_t bytes, uint16_t id) {
        if (static_cast<size_t>(end - body) < bytes) return Why("chunk 0x%04X at byte %ld cut short", id, At(body - 6));
        return List(body + bytes, end, id);
    }

    bool Chunk(uint16_t parent, uint16_t id, const uint8_t* at, const uint8_t* body, const uint8_t* end) {
        switch (parent) {
        case M3DMAGIC: case MLIBMAGIC: case CMAGIC:
            if (id == MDATA || id == KFDATA) return List(body, end, id);
            return true;
        case MDATA:
            switch (id) {
            case MAT_ENTRY:
                if (++m_dwMaterials > kMaxListed) return Why("more than %u materials", kMaxListed);
                return List(body, end, id);
            case AMBIENT_LIGHT: case SOLID_BGND: case DEFAULT_VIEW: return List(body, end, id);
            case V_GRADIENT: m_dwColors[0] = m_dwColors[1] = 0; return ListAfter(body, end, 4, id);
            case FOG: case LAYER_FOG: case DISTANCE_CUE: return ListAfter(body, end, 16, id);
            case VIEWPORT_LAYOUT: return ListAfter(body, end, 14, id);
            case BIT_MAP: return Name(body, end, 64, id);
            case NAMED_OBJECT:
                if (++m_dwObjects > kMaxListed) return Why("more than %u objects", kMaxListed);
                return Name(body, end, 64, id) && List(body, end, id);
            }
            return true;
        case KFDATA:
            if (id == KFHDR) {
                if (end - body < 2) return Why("chunk 0x%04X at byte %ld cut short", id, At(at));
                const uint8_t* name = body + 2;
                return Name(name, end, 13, id);
            }
            if (id == VIEWPORT_LAYOUT) return ListAfter(body, end, 14, id);
            if (id == DEFAULT_VIEW) return List(body, end, id);
            if (id >= 0xB001 && id <= 0xB007) return Node(body, end);
            return true;
        case 0xB001:
            if (id == NODE_ID) {
                if (end - body < 2) return Why("node number at byte %ld cut short", At(at));
                m_pNodes[m_dwNodes - 1].wId = U16At(body);
                return true;
            }
            if (id == NODE_HDR) {
                if (!Name(body, end, 64, id)) return false;
                if (end - body < 6) return Why("node header at byte %ld cut short", At(at));
                m_pNodes[m_dwNodes - 1].wParent = U16At(body + 4);
                return true;
            }
            if (id == INSTANCE_NAME) return Name(body, end, 64, id);
            if (id >= POS_TRACK && id <= HIDE_TRACK) return Track(id, at, body, end);
            return true;
        case V_GRADIENT:
            // lib3ds keeps three of each colour on its stack.
            if ((id == COLOR_F && ++m_dwColors[0] > 3) || (id == LIN_COLOR_F && ++m_dwColors[1] > 3))
                return Why("gradient at byte %ld has more than three colours", At(at));
            return true;
        case NAMED_OBJECT:
            if (id == N_TRI_OBJECT) return Mesh(at, body, end);
            if (id == N_CAMERA) return ListAfter(body, end, 32, id);
            if (id == N_DIRECT_LIGHT) return ListAfter(body, end, 12, id);
            return true;
        case N_DIRECT_LIGHT:
            if (id == DL_SPOTLIGHT) return ListAfter(body, end, 20, id);
            return true;
        case DL_SPOTLIGHT:
            if (id == DL_SPOT_PROJECTOR) return Name(body, end, 64, id);
            return true;
        case N_TRI_OBJECT: return MeshPart(id, at, body, end);
        case FACE_ARRAY: return FacePart(id, at, body, end);
        case MAT_ENTRY:
            if (id == MAT_NAME) return Name(body, end, 64, id);
            if (IsMaterialList(id) || IsTextureMap(id)) return List(body, end, IsTextureMap(id) ? 0xA200 : id);
            return true;
        case 0xA200:
            if (id == MAT_MAPNAME) return Name(body, end, 64, id);
            return true;
        }
        return true;
    }

    // A node as lib3ds numbers it: in file order unless it names its own.
    bool Node(const uint8_t* body, const uint8_t* end) {
        if (m_dwNodes >= kMaxListed) return Why("more than %u nodes", kMaxListed);
        if (!m_pNodes && !(m_pNodes = static_cast<NODE*>(std::malloc(kMaxListed * sizeof(NODE)))))
            return Why("out of memory");
        // lib3ds's nodes start zeroed: without a header, a node's parent is node 0.
        m_pNodes[m_dwNodes] = NODE{static_cast<uint16_t>(m_dwNodes), 0, 0};
        ++m_dwNodes;
        return List(body, end, 0xB001);
    }

    // Node numbers distinct, and every chain of parents ending within
    // kMaxNodeDepth steps at a node without a parent (or whose parent is
    // not in the file: lib3ds keeps it at the top).
    bool NodeTree() {
        if (!m_dwNodes) return true;
        int32_t* index = static_cast<int32_t*>(std::malloc(65536 * sizeof(int32_t)));
        if (!index) return Why("out of memory");
        for (uint32_t i = 0; i < 65536; ++i) index[i] = -1;
        bool ok = true;
        for (uint32_t n = 0; n < m_dwNodes && ok; ++n) {
            const uint16_t id = m_pNodes[n].wId;
            if (id == kNoNode) continue;
            if (index[id] >= 0)
                ok = Why("nodes %d and %u share the number %u", index[id], n, id);
            else
                index[id] = static_cast<int32_t>(n);
        }
        for (uint32_t n = 0; n < m_dwNodes && ok; ++n) {
            // Depth of the chain above n; known depths are reused.
            uint32_t at = n, steps = 0;
            while (ok) {
                NODE& node = m_pNodes[at];
                if (node.dwDepth) {
                    steps += node.dwDepth - 1;
                    break;
                }
                const uint16_t parent = node.wParent;
                if (parent == kNoNode || index[parent] < 0) break;
                at = static_cast<uint32_t>(index[parent]);
                if (++steps > kMaxNodeDepth)
                    ok = Why("node %u: its parents loop or nest more than %u deep", n, kMaxNodeDepth);
            }
            if (ok) m_pNodes[n].dwDepth = steps + 1;
        }
        std::free(index);
        return ok;
    }

    bool Mesh(const uint8_t* at, const uint8_t* body, const uint8_t* end) {
        m_dwPoints = 0;
        m_dwFaces = 0;
        m_dwLargest = -1;
        if (!List(body, end, N_TRI_OBJECT)) return false;
        // lib3ds works out every face's normal from the last lists read.
        if (m_dwLargest >= static_cast<long>(m_dwPoints))
            return Why("mesh at byte %ld: a face uses point %ld of %u", At(at), m_dwLargest, m_dwPoints);
        return true;
    }

    bool Counted(const uint8_t* at, const uint8_t* body, const uint8_t* end, uint32_t each, const char* what,
                 uint32_t* count) {
        if (end - body < 2) return Why("%s at byte %ld cut short", what, At(at));
        *count = U16At(body);
        if (static_cast<uint64_t>(end - body - 2) < uint64_t{*count} * each)
            return Why("%s at byte %ld cut short (%u entries)", what, At(at), *count);
        return true;
    }

    bool MeshPart(uint16_t id, const uint8_t* at, const uint8_t* body, const uint8_t* end) {
        uint32_t count = 0;
        switch (id) {
        case POINT_ARRAY: return Counted(at, body, end, 12, "point list", &m_dwPoints);
        case POINT_FLAG_ARRAY: return Counted(at, body, end, 2, "point flag list", &count);
        case TEX_VERTS: return Counted(at, body, end, 8, "texture coordinate list", &count);
        case FACE_ARRAY: {
            if (!Counted(at, body, end, 8, "face list", &m_dwFaces)) return false;
            m_dwLargest = -1;
            for (uint32_t f = 0; f < m_dwFaces; ++f)
                for (int k = 0; k < 3; ++k) {
                    const long point = U16At(body + 2 + 8 * f + 2 * k);
                    if (point > m_dwLargest) m_dwLargest = point;
                }
            // lib3ds reads the face list's own chunks only when it has faces.
            return !m_dwFaces || List(body + 2 + 8 * m_dwFaces, end, FACE_ARRAY);
        }
        }
        return true;
    }

    bool FacePart(uint16_t id, const uint8_t* at, const uint8_t* body, const uint8_t* end) {
        if (id == MSH_BOXMAP) {
            for (int k = 0; k < 6; ++k)
                if (!Name(body, end, 64, id)) return false;
            return true;
        }
        if (id == SMOOTH_GROUP) {
            if (static_cast<uint64_t>(end - body) < uint64_t{m_dwFaces} * 4)
                return Why("smoothing list at byte %ld cut short", At(at));
            return true;
        }
        if (id != MSH_MAT_GROUP) return true;
        if (!Name(body, end, 64, id)) return false;
        uint32_t count = 0;
        if (!Counted(at, body, end, 2, "material face list", &count)) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t face = U16At(body + 2 + 2 * i);
            if (face >= m_dwFaces)
                return Why("material face list at byte %ld names face %u of %u", At(at), face, m_dwFaces);
        }
        return true;
    }

    // A key track: flags, two words, the key count, then the keys, each a
    // frame, flags and one float per flag bit set, then the track's value.
    bool Track(uint16_t id, const uint8_t* at, const uint8_t* body, const uint8_t* end) {
        if (end - body < 14) return Why("track at byte %ld cut short", At(at));
        const int32_t keys = static_cast<int32_t>(U32At(body + 10));
        size_t value = 0;
        switch (id) {
        case POS_TRACK: case SCL_TRACK: case COL_TRACK: value = 12; break;
        case ROT_TRACK: value = 16; break;
        case FOV_TRACK: case ROLL_TRACK: case HOT_TRACK: case FALL_TRACK: value = 4; break;
        default: break;  // the hide track has none, the morph track a name
        }
        const uint8_t* p = body + 14;
        for (int32_t k = 0; k < keys; ++k) {
            if (end - p < 6) return Why("track at byte %ld: key %d of %d cut short", At(at), k, keys);
            const uint16_t flags = U16At(p + 4);
            size_t bytes = 6 + value;
            for (int bit = 0; bit < 5; ++bit) bytes += (flags >> bit & 1) ? 4 : 0;
            if (static_cast<size_t>(end - p) < bytes)
                return Why("track at byte %ld: key %d of %d cut short", At(at), k, keys);
            p += bytes;
            if (id == MORPH_TRACK && !Name(p, end, 11, id)) return false;
        }
        return true;
    }

    const uint8_t* m_pStart;
    char* m_szWhy;
    size_t m_dwWhySize;
    uint32_t m_dwPoints = 0, m_dwFaces = 0;
    long m_dwLargest = -1;
    uint32_t m_dwColors[2] = {0, 0};
    uint32_t m_dwMaterials = 0, m_dwObjects = 0;
    struct NODE {
        uint16_t wId, wParent;
        uint32_t dwDepth;  // 0: not worked out yet, else depth + 1
    };
    NODE* m_pNodes = nullptr;
    uint32_t m_dwNodes = 0;
};

}  // namespace

bool Check3DSChunks(const uint8_t* data, size_t size, char* why, size_t whySize) {
    if (!data) return false;
    return CWalk(data, why, whySize).File(size);
}
