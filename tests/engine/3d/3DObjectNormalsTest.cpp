// Flat and smooth normals on real objects (the OpenGL ES normal class keeps
// its vertices in client memory, so no context is needed), and the fast weld
// against a plain quadratic one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

struct Sub {
    std::vector<VECTOR3D> positions;
    std::vector<uint32_t> indices;
    uint32_t type;
    uint32_t primitives = 0;  // 0: what the indices make
};

uint32_t PrimitivesOf(const Sub& s) {
    if (s.primitives) return s.primitives;
    const uint32_t n = static_cast<uint32_t>(s.indices.size());
    switch (s.type) {
        case PRIM_TRIANGLELIST:
            return n / 3;
        case PRIM_TRIANGLESTRIP:
        case PRIM_TRIANGLEFAN:
            return n >= 2 ? n - 2 : 0;
        case PRIM_LINELIST:
            return n / 2;
        case PRIM_LINESTRIP:
            return n ? n - 1 : 0;
        default:
            return n;
    }
}

testing::AssertionResult Near(const VECTOR3D& got, const VECTOR3D& want, float tolerance = 1e-6f) {
    if (std::fabs(got.x - want.x) <= tolerance && std::fabs(got.y - want.y) <= tolerance &&
        std::fabs(got.z - want.z) <= tolerance)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "(" << got.x << ", " << got.y << ", " << got.z << ") instead of ("
                                       << want.x << ", " << want.y << ", " << want.z << ")";
}

bool SameBits(const VECTOR3D& a, const VECTOR3D& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class NormalsTest : public ::testing::Test {
protected:
    // One sub-object per entry, each one's vertices and indices after the
    // previous ones; every normal starts at (9, 9, 9). The indices stay open.
    std::unique_ptr<C3DObjectGLESNormal> Make(const std::vector<Sub>& subs, uint32_t flags = OBJ_NORMAL) {
        auto o = std::make_unique<C3DObjectGLESNormal>();
        o->m_dwFlags = flags;
        EXPECT_EQ(o->Load(shared.get()), eOK);
        uint32_t vertices = 0, indices = 0;
        for (const Sub& s : subs) {
            vertices += static_cast<uint32_t>(s.positions.size());
            indices += static_cast<uint32_t>(s.indices.size());
        }
        EXPECT_EQ(o->InitConstruct(static_cast<uint32_t>(subs.size()), vertices, indices), eOK);
        EXPECT_EQ(o->BeginConstruct(), eOK);
        uint32_t v = 0, k = 0;
        for (uint32_t sub = 0; sub < subs.size(); ++sub) {
            const Sub& s = subs[sub];
            for (size_t i = 0; i < s.indices.size(); ++i) o->SetIndex(k + i, s.indices[i]);
            for (size_t i = 0; i < s.positions.size(); ++i)
                o->SetVertex(v + i, s.positions[i], 0xFFFFFFFFu, VECTOR2D{0, 0}, VECTOR3D{9, 9, 9}, 0);
            o->SetSubObjParsingEx(sub, v, static_cast<uint32_t>(s.positions.size()), k,
                                  static_cast<uint32_t>(s.indices.size()), PrimitivesOf(s), s.type, CULL_NONE,
                                  eNO_VALUE);
            v += static_cast<uint32_t>(s.positions.size());
            k += static_cast<uint32_t>(s.indices.size());
        }
        return o;
    }

    static std::vector<VECTOR3D> Normals(C3DObject& o) {
        std::vector<VECTOR3D> n(o.m_dwVertexCount);
        for (uint32_t v = 0; v < o.m_dwVertexCount; ++v) n[v] = o.GetVertexNormal(v);
        return n;
    }

    gltest::SharedInfosHolder shared;
};

enum Pass { kFlat, kSmooth };

void RunPass(C3DObjectPrivate& o, Pass pass) {
    EXPECT_EQ(pass == kFlat ? o.ComputeNormals() : o.ComputeNormalsSmooth(), eOK);
}

// A cube of 24 vertices, each face a quad of two triangles wound so that the
// face normal points outward.
Sub Cube(uint32_t type) {
    Sub cube{{}, {}, type};
    for (int axis = 0; axis < 3; ++axis) {
        for (float sign : {1.0f, -1.0f}) {
            float n[3] = {0, 0, 0}, u[3] = {0, 0, 0}, w[3] = {0, 0, 0};
            n[axis] = sign;
            u[(axis + 1) % 3] = sign;  // u x w = n
            w[(axis + 2) % 3] = 1.0f;
            const uint32_t base = static_cast<uint32_t>(cube.positions.size());
            const float su[4] = {-1, -1, 1, 1}, sw[4] = {1, -1, 1, -1};
            for (int i = 0; i < 4; ++i)
                cube.positions.push_back(VECTOR3D{n[0] + su[i] * u[0] + sw[i] * w[0], n[1] + su[i] * u[1] + sw[i] * w[1],
                                                  n[2] + su[i] * u[2] + sw[i] * w[2]});
            for (uint32_t i : {0u, 1u, 2u, 2u, 1u, 3u}) cube.indices.push_back(base + i);
        }
    }
    return cube;
}

TEST_F(NormalsTest, SingleTriangleFacesPlusZInBothPasses) {
    const Sub triangle{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, PRIM_TRIANGLELIST};
    for (Pass pass : {kFlat, kSmooth}) {
        SCOPED_TRACE(pass == kFlat ? "flat" : "smooth");
        auto o = Make({triangle});
        RunPass(*o, pass);
        for (const VECTOR3D& n : Normals(*o)) EXPECT_TRUE(Near(n, {0, 0, 1}, 0));
    }
}

// The creation flags reach the passes through EndConstruct, once.
TEST_F(NormalsTest, CreationFlagsRunThePassAtEndConstruct) {
    struct Case {
        uint32_t flags;
        VECTOR3D corner;  // normal of vertex 0, a cube corner
    };
    const float d = 1.0f / std::sqrt(3.0f);
    const std::vector<Case> cases = {
        {OBJ_NORMAL, {9, 9, 9}},
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS, {1, 0, 0}},
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS_SMOOTH, {d, -d, d}},
        {OBJ_NORMAL | OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH, {d, -d, d}},
        {OBJ_MULTITEXTURES | OBJ_COMPUTE_NORMALS, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags);
        auto o = Make({Cube(PRIM_TRIANGLELIST)}, c.flags);
        EXPECT_EQ(o->EndConstruct(false), eOK);
        EXPECT_TRUE(Near(o->GetVertexNormal(0), c.corner));
        EXPECT_EQ(o->m_dwFlags & (OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH), 0u);
    }
    // The multi-texture class stores normals too, through the same accessors.
    auto multi = std::make_unique<C3DObjectGLESMultiTextures>();
    multi->m_dwFlags = OBJ_MULTITEXTURES | OBJ_COMPUTE_NORMALS_SMOOTH;
    ASSERT_EQ(multi->Load(shared.get()), eOK);
    ASSERT_EQ(multi->InitConstruct(1, 3, 3), eOK);
    ASSERT_EQ(multi->BeginConstruct(), eOK);
    multi->SetIndexIncrementaly();
    const VECTOR3D p[3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    for (uint32_t i = 0; i < 3; ++i) multi->SetVertex(i, p[i], 0, VECTOR2D{}, VECTOR3D{}, 0);
    multi->SetSubObjParsingEx(0, 0, 3, 0, 3, 1, PRIM_TRIANGLELIST, CULL_NONE, eNO_VALUE);
    EXPECT_EQ(multi->EndConstruct(false), eOK);
    EXPECT_TRUE(Near(multi->GetVertexNormal(2), {0, 0, -1}, 0));
}

TEST_F(NormalsTest, CubeFlatGivesFaceNormalsSmoothWeldsCorners) {
    {
        const Sub cube = Cube(PRIM_TRIANGLELIST);
        auto flat = Make({cube});
        RunPass(*flat, kFlat);
        const auto fn = Normals(*flat);
        auto smooth = Make({cube});
        RunPass(*smooth, kSmooth);
        const auto sn = Normals(*smooth);
        const float d = 1.0f / std::sqrt(3.0f);
        for (uint32_t v = 0; v < 24; ++v) {
            SCOPED_TRACE(v);
            const VECTOR3D p = cube.positions[v];
            // The face's axis is the one on which opposite corners agree.
            const VECTOR3D& q = cube.positions[v - v % 4 + (3 - v % 4)];
            const VECTOR3D face{p.x == q.x ? p.x : 0.0f, p.y == q.y ? p.y : 0.0f, p.z == q.z ? p.z : 0.0f};
            EXPECT_TRUE(Near(fn[v], face, 0));
            EXPECT_TRUE(Near(sn[v], VECTOR3D{p.x * d, p.y * d, p.z * d}));
        }
    }
}

// Every second strip triangle turns the other way; the swap makes it face
// like the first. Fans need no swap.
TEST_F(NormalsTest, StripsAndFansFaceOneWay) {
    struct Case {
        const char* name;
        Sub sub;
        VECTOR3D normal;
    };
    const std::vector<Case> cases = {
        {"strip of two", {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP}, {0, 0, -1}},
        {"strip of four",
         {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}}, {0, 1, 2, 3, 4, 5}, PRIM_TRIANGLESTRIP},
         {0, 0, -1}},
        {"fan", {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}}, {0, 1, 2, 3, 4}, PRIM_TRIANGLEFAN}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        for (Pass pass : {kFlat, kSmooth}) {
            SCOPED_TRACE(testing::Message() << c.name << (pass == kFlat ? " flat" : " smooth"));
            auto o = Make({c.sub});
            RunPass(*o, pass);
            for (const VECTOR3D& n : Normals(*o)) EXPECT_TRUE(Near(n, c.normal));
        }
    }
}

TEST_F(NormalsTest, LinesAndPointsLeaveZeroNormals) {
    const std::vector<VECTOR3D> p = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    for (uint32_t type : {PRIM_LINELIST, PRIM_LINESTRIP, PRIM_POINTLIST, 6u, 0xFFFFFFFFu}) {
        for (Pass pass : {kFlat, kSmooth}) {
            SCOPED_TRACE(testing::Message() << "type " << type << (pass == kFlat ? " flat" : " smooth"));
            auto o = Make({Sub{p, {0, 1, 2, 3}, type, 2}});
            RunPass(*o, pass);
            for (const VECTOR3D& n : Normals(*o)) EXPECT_TRUE(Near(n, {0, 0, 0}, 0));
        }
    }
    // Next to a triangle, the line's own vertices stay at zero.
    auto o = Make({Sub{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 2}, PRIM_TRIANGLELIST}, Sub{p, {0, 1}, PRIM_LINELIST}});
    RunPass(*o, kSmooth);
    EXPECT_TRUE(Near(o->GetVertexNormal(2), {0, 0, 1}, 0));
    EXPECT_TRUE(Near(o->GetVertexNormal(3), {0, 0, 0}, 0));
}

// Records that name indices or vertices the object does not have: whole
// triangles inside the arrays still count, the rest is skipped.
TEST_F(NormalsTest, DamagedRecordsStayInsideTheArrays) {
    const std::vector<VECTOR3D> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    struct Case {
        const char* name;
        Sub sub;
        std::vector<VECTOR3D> expected;
    };
    const VECTOR3D up{0, 0, 1}, zero{0, 0, 0};
    const std::vector<Case> cases = {
        {"index past the vertices", {tri, {0, 1, 2, 0, 1, 7}, PRIM_TRIANGLELIST}, {up, up, up}},
        {"index value far out", {tri, {0, 1, 2, 0xFFFFFFFFu, 1, 2}, PRIM_TRIANGLELIST}, {up, up, up}},
        {"partial last triangle", {tri, {0, 1, 2, 0, 1}, PRIM_TRIANGLELIST}, {up, up, up}},
        {"strip counting more primitives than indices",
         {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}, {0, 1, 2, 3}, PRIM_TRIANGLESTRIP, 0xFFFFFFF0u},
         {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}}},
        {"fan of two indices", {tri, {0, 1}, PRIM_TRIANGLEFAN}, {zero, zero, zero}},
    };
    for (const Case& c : cases) {
        for (Pass pass : {kFlat, kSmooth}) {
            SCOPED_TRACE(testing::Message() << c.name << (pass == kFlat ? " flat" : " smooth"));
            auto o = Make({c.sub});
            RunPass(*o, pass);
            const auto n = Normals(*o);
            ASSERT_EQ(n.size(), c.expected.size());
            for (size_t v = 0; v < n.size(); ++v) EXPECT_TRUE(Near(n[v], c.expected[v])) << "vertex " << v;
        }
    }

    // A record claiming more indices and vertices than exist.
    auto o = Make({Sub{tri, {0, 1, 2}, PRIM_TRIANGLELIST}});
    ATTRIBUT* r = o->m_pIndex->GetSubObjParsing(0);
    r->dwIndexCount = 0xFFFFFFFFu;
    r->dwVertexCount = 0xFFFFFFFFu;
    RunPass(*o, kSmooth);
    for (const VECTOR3D& n : Normals(*o)) EXPECT_TRUE(Near(n, up, 0));
    r->dwVertexStart = 0xFFFFFFFFu;
    EXPECT_EQ(o->ComputeOneNormalsSmoothVertex(r), eOK);
    EXPECT_EQ(o->ComputeOneNormalsSmoothVertex(nullptr), eFAILED);

    // Closed indices read as absent: nothing but the cleared normals.
    auto closed = Make({Sub{tri, {0, 1, 2}, PRIM_TRIANGLELIST}});
    closed->m_pIndex->EndConstruct(false);
    RunPass(*closed, kFlat);
    for (const VECTOR3D& n : Normals(*closed)) EXPECT_TRUE(Near(n, zero, 0));
}

// A vertex serving 65536 triangles: a 16-bit use count would wrap to 0 and
// weight the centre by 1/0.
TEST_F(NormalsTest, UseCountsDoNotWrap) {
    const uint32_t triangles = 65536;
    Sub fan{{{0, 0, 0}}, {0}, PRIM_TRIANGLEFAN};
    for (uint32_t k = 0; k <= triangles; ++k) {
        const double a = 2.0 * 3.14159265358979 * k / (triangles + 1);
        fan.positions.push_back(VECTOR3D{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0});
        fan.indices.push_back(k + 1);
    }
    auto o = Make({fan});
    ASSERT_TRUE(o->m_dwFlags & OBJ_INDEX32);
    RunPass(*o, kSmooth);
    EXPECT_TRUE(Near(o->GetVertexNormal(0), {0, 0, 1}));
    EXPECT_TRUE(Near(o->GetVertexNormal(triangles / 2), {0, 0, 1}));
}

// The weld as first written: every vertex against every later one.
void QuadraticWeld(CMaths3D* maths, const std::vector<VECTOR3D>& p, std::vector<VECTOR3D>& n) {
    const size_t count = p.size();
    std::vector<int64_t> leader(count, -1), members(count, -1);
    for (size_t i = 0; i < count; ++i) {
        if (leader[i] != -1) continue;
        leader[i] = static_cast<int64_t>(i);
        members[i] = 1;
        for (size_t j = i + 1; j < count; ++j) {
            if (leader[j] == -1 && p[j].x == p[i].x && p[j].y == p[i].y && p[j].z == p[i].z) {
                leader[j] = static_cast<int64_t>(i);
                ++members[i];
            }
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t l = static_cast<size_t>(leader[i]);
        if (l == i) {
            if (members[i] >= 2) n[i] = n[i] / static_cast<float>(members[i]);
        } else {
            const VECTOR3D share = n[i] / static_cast<float>(members[l]);
            n[l] = VECTOR3D{n[l].x + share.x, n[l].y + share.y, n[l].z + share.z};
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const size_t l = static_cast<size_t>(leader[i]);
        if (l == i) {
            if (members[i] >= 2) n[i] = maths->_VECTOR3DNormalize(&n[i]);
        } else {
            n[i] = n[l];
        }
    }
}

// Positions from a few values (both zeros among them), so that many
// coincide; some with a NaN, which equals nothing.
std::vector<VECTOR3D> CrowdedPositions(std::mt19937& rng, size_t count, bool withNaN) {
    const float values[] = {-1.0f, -0.0f, 0.0f, 0.5f, 1.0f, 2.0f};
    std::uniform_int_distribution<int> pick(0, 5), rare(0, 49);
    std::vector<VECTOR3D> p(count);
    for (VECTOR3D& v : p) {
        v = VECTOR3D{values[pick(rng)], values[pick(rng)], values[pick(rng)]};
        if (withNaN && rare(rng) == 0) v.y = std::numeric_limits<float>::quiet_NaN();
    }
    return p;
}

TEST_F(NormalsTest, FastWeldEqualsTheQuadraticOne) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> component(-1.0f, 1.0f);
    for (size_t count : {0u, 1u, 2u, 3u, 17u, 216u, 1000u, 4000u, 12000u}) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(testing::Message() << count << " vertices, round " << round);
            // The weld runs on the second sub-object only, behind 5 others.
            const std::vector<VECTOR3D> positions = CrowdedPositions(rng, count, true);
            auto o = Make({Sub{CrowdedPositions(rng, 5, false), {0, 1, 2}, PRIM_TRIANGLELIST},
                           Sub{positions, {}, PRIM_TRIANGLELIST}});
            std::vector<VECTOR3D> normals(count);
            for (uint32_t i = 0; i < count; ++i) {
                normals[i] = VECTOR3D{component(rng), component(rng), component(rng)};
                o->SetVertexNormal(5 + i, &normals[i]);
            }
            const VECTOR3D before = o->GetVertexNormal(0);
            EXPECT_EQ(o->ComputeOneNormalsSmoothVertex(o->m_pIndex->GetSubObjParsing(1)), eOK);
            QuadraticWeld(shared->m_pMaths3D, positions, normals);
            for (uint32_t i = 0; i < count; ++i) ASSERT_TRUE(SameBits(o->GetVertexNormal(5 + i), normals[i])) << i;
            EXPECT_TRUE(SameBits(o->GetVertexNormal(0), before));  // outside the record
        }
    }
}

// The whole smooth pass, written out plainly with the quadratic weld.
std::vector<VECTOR3D> PlainSmooth(CMaths3D* maths, const std::vector<VECTOR3D>& p, const std::vector<Sub>& subs) {
    std::vector<VECTOR3D> n(p.size(), VECTOR3D{0, 0, 0});
    size_t first = 0;
    for (const Sub& s : subs) {
        std::vector<std::array<uint32_t, 3>> triangles;
        const auto& x = s.indices;
        if (s.type == PRIM_TRIANGLELIST)
            for (size_t k = 0; k + 2 < x.size(); k += 3) triangles.push_back({x[k], x[k + 1], x[k + 2]});
        if (s.type == PRIM_TRIANGLESTRIP)
            for (size_t k = 0; k + 2 < x.size(); ++k)
                triangles.push_back(k % 2 ? std::array<uint32_t, 3>{x[k + 1], x[k], x[k + 2]}
                                          : std::array<uint32_t, 3>{x[k], x[k + 1], x[k + 2]});
        if (s.type == PRIM_TRIANGLEFAN)
            for (size_t k = 1; k + 1 < x.size(); ++k) triangles.push_back({x[0], x[k], x[k + 1]});
        std::vector<uint32_t> uses(p.size(), 0);
        for (const auto& t : triangles)
            for (uint32_t v : t) ++uses[v];
        for (const auto& t : triangles) {
            const VECTOR3D a = p[first + t[0]], b = p[first + t[1]], c = p[first + t[2]];
            const VECTOR3D ab{a.x - b.x, a.y - b.y, a.z - b.z}, ac{a.x - c.x, a.y - c.y, a.z - c.z};
            const VECTOR3D cross = maths->_VECTOR3DDotProduct(&ab, &ac);
            const VECTOR3D face = maths->_VECTOR3DNormalize(&cross);
            for (uint32_t v : t) {
                VECTOR3D& m = n[first + v];
                const float w = 1.0f / static_cast<float>(uses[v]);
                m = VECTOR3D{(m.x + face.x) * w, (m.y + face.y) * w, (m.z + face.z) * w};
            }
        }
        for (size_t v = 0; v < uses.size(); ++v)
            if (uses[v]) n[first + v] = maths->_VECTOR3DNormalize(&n[first + v]);
        std::vector<VECTOR3D> own(p.begin() + first, p.begin() + first + s.positions.size());
        std::vector<VECTOR3D> mine(n.begin() + first, n.begin() + first + s.positions.size());
        QuadraticWeld(maths, own, mine);
        std::copy(mine.begin(), mine.end(), n.begin() + first);
        first += s.positions.size();
    }
    return n;
}

TEST_F(NormalsTest, SmoothPassEqualsThePlainOneOnCrowdedMeshes) {
    std::mt19937 rng(99);
    for (uint32_t type : {PRIM_TRIANGLELIST, PRIM_TRIANGLESTRIP, PRIM_TRIANGLEFAN}) {
        for (size_t count : {3u, 50u, 600u}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << count << " vertices");
            std::vector<Sub> subs;
            std::vector<VECTOR3D> all;
            for (int s = 0; s < 3; ++s) {
                Sub sub{CrowdedPositions(rng, count, false), {}, type};
                std::uniform_int_distribution<uint32_t> vertex(0, static_cast<uint32_t>(count - 1));
                for (size_t k = 0; k < 3 * count; ++k) sub.indices.push_back(vertex(rng));
                all.insert(all.end(), sub.positions.begin(), sub.positions.end());
                subs.push_back(sub);
            }
            auto o = Make(subs);
            RunPass(*o, kSmooth);
            const auto expected = PlainSmooth(shared->m_pMaths3D, all, subs);
            const auto got = Normals(*o);
            for (size_t v = 0; v < all.size(); ++v) ASSERT_TRUE(SameBits(got[v], expected[v])) << v;
        }
    }
}

}  // namespace
