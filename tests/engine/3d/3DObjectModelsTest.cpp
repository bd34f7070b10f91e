// Procedural models and merges, built through the render device on a real
// OpenGL ES context: counts, clamps and write-backs, extrema, normals and
// winding, closed shapes, cull modes, normal-flag handling, the random
// plane's seed and seams, and what the merges keep.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectModels.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/world/Random.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

constexpr float kPi = 3.14159265358979f;

float Dot(const VECTOR3D& a, const VECTOR3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
VECTOR3D Sub3(const VECTOR3D& a, const VECTOR3D& b) { return VECTOR3D{a.x - b.x, a.y - b.y, a.z - b.z}; }
VECTOR3D Cross(const VECTOR3D& a, const VECTOR3D& b) {
    return VECTOR3D{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(const VECTOR3D& v) { return std::sqrt(Dot(v, v)); }

struct Triangle {
    uint32_t v[3];
};

// The triangles an object draws, as the primitive types define them (every
// second strip triangle turned back to face like the first).
std::vector<Triangle> TrianglesOf(C3DObject& o) {
    std::vector<Triangle> out;
    o.BeginConstruct();
    for (uint32_t sub = 0; sub < o.m_dwSubObjectCount; ++sub) {
        ATTRIBUT r{};
        o.GetSubObjParsing(sub, &r);
        auto idx = [&](uint32_t k) { return o.GetIndex(r.dwIndexStart + k) + r.dwVertexStart; };
        if (r.dwPrimitiveType == PRIM_TRIANGLELIST)
            for (uint32_t t = 0; t < r.dwPrimitiveCount; ++t) out.push_back({{idx(3 * t), idx(3 * t + 1), idx(3 * t + 2)}});
        if (r.dwPrimitiveType == PRIM_TRIANGLESTRIP)
            for (uint32_t t = 0; t < r.dwPrimitiveCount; ++t)
                out.push_back(t % 2 ? Triangle{{idx(t + 1), idx(t), idx(t + 2)}} : Triangle{{idx(t), idx(t + 1), idx(t + 2)}});
        if (r.dwPrimitiveType == PRIM_TRIANGLEFAN)
            for (uint32_t t = 0; t < r.dwPrimitiveCount; ++t) out.push_back({{idx(0), idx(t + 1), idx(t + 2)}});
    }
    o.EndConstruct(false);
    return out;
}

// Signed volume enclosed by the triangles (positive when the engine's face
// normals point outward), and whether every edge, by position, is walked
// exactly once in each direction: a closed, consistently wound surface.
struct Closure {
    bool closed;
    double volume;
};

Closure ClosureOf(C3DObject& o) {
    using Key = std::array<long, 3>;
    auto key = [&](uint32_t v) {
        const VECTOR3D p = o.GetVertexPosition(v);
        return Key{std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4)};
    };
    std::map<std::pair<Key, Key>, int> edges;
    double volume = 0;
    for (const Triangle& t : TrianglesOf(o)) {
        const Key k[3] = {key(t.v[0]), key(t.v[1]), key(t.v[2])};
        if (k[0] == k[1] || k[1] == k[2] || k[0] == k[2]) continue;  // degenerate
        for (int e = 0; e < 3; ++e) ++edges[{k[e], k[(e + 1) % 3]}];
        const VECTOR3D a = o.GetVertexPosition(t.v[0]), b = o.GetVertexPosition(t.v[1]), c = o.GetVertexPosition(t.v[2]);
        volume += Dot(a, Cross(b, c)) / 6.0;
    }
    bool closed = !edges.empty();
    for (const auto& [edge, count] : edges) {
        auto back = edges.find({edge.second, edge.first});
        if (count != 1 || back == edges.end() || back->second != 1) closed = false;
    }
    return {closed, volume};
}

class ModelsTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
    }
    void TearDown() override {
        device.Unload();
        gltest::GlesTest::TearDown();
    }

    C3DObject* Make(uint32_t flags = OBJ_NORMAL, uint32_t renderFlags = 0) {
        C3DObject* o = device.Create3DObject(flags, renderFlags);
        EXPECT_NE(o, nullptr);
        return o;
    }

    static ATTRIBUT Record(C3DObject& o, uint32_t sub) {
        ATTRIBUT r{};
        EXPECT_EQ(o.GetSubObjParsing(sub, &r), eOK);
        return r;
    }

    static std::pair<VECTOR3D, VECTOR3D> Extrema(C3DObject& o) {
        VECTOR3D lo{}, hi{};
        o.GetExtrema(&lo, &hi, false);
        return {lo, hi};
    }

    gltest::SharedInfosHolder shared;
    C3DEngineGLES device;
};

MODEL_SPHERE Sphere(uint32_t segments, float radius = 1.0f) { return MODEL_SPHERE{radius, segments, 0xFFFFFFFFu, 0}; }
MODEL_DISK Disk(uint32_t segments, uint32_t axis = 2, float height = 0.0f) {
    return MODEL_DISK{2.0f, segments, height, axis, 0, 0xFFFFFFFFu, 0, 1.0f, 1.0f};
}
MODEL_PLANE Plane(uint32_t columns, uint32_t rows, uint32_t orientation = 0) {
    return MODEL_PLANE{4.0f, 2.0f, columns, rows, orientation, 0xFFFFFFFFu, 0, 1.0f, 3.0f};
}
MODEL_BOX Box(uint32_t mapping = 0) { return MODEL_BOX{1.0f, 2.0f, 3.0f, mapping, 0xFFFFFFFFu, 0, 1.0f, 1.0f}; }
MODEL_ARROW Arrows() { return MODEL_ARROW{2.0f, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}; }
MODEL_FRUSTRUM Frustum(uint32_t sides) { return MODEL_FRUSTRUM{sides, 1.0f, 11.0f, 0.5f, 0xFFFFFFFFu, 0xFF808080u}; }
MODEL_CYLINDER Cylinder(uint32_t segments, uint32_t axis = 0) {
    return MODEL_CYLINDER{2.0f, 1.0f, 4.0f, 0, segments, axis, 0, 0xFFFFFFFFu, 0, 1.0f, 1.0f};
}
MODEL_PARABOLA Parabola(uint32_t segments, uint32_t rings, uint32_t axis = 2) {
    return MODEL_PARABOLA{2.0f, segments, 1.0f, 0.5f, rings, axis, 0xFFFFFFFFu, 0};
}
MODEL_RANDOM_PLANE RandomPlane(uint32_t cells, uint32_t keepBorder = 1) {
    return MODEL_RANDOM_PLANE{8.0f, cells, 0.0f, 1.0f, keepBorder, 0, 0, 1.0f, 1.0f};
}

// One model to build: its type and a record the test can look at afterwards.
struct Build {
    const char* name;
    uint32_t type;
    std::function<void*()> record;
};

TEST_F(ModelsTest, CountsClampsAndWriteBacks) {
    MODEL_SPHERE s3 = Sphere(3), s1000 = Sphere(1000), s0 = Sphere(0), half = Sphere(7);
    MODEL_PLANE p21 = Plane(2, 1), p00 = Plane(0, 0);
    MODEL_DISK d2 = Disk(2), d16 = Disk(16);
    MODEL_BOX box = Box();
    MODEL_ARROW arrows = Arrows();
    MODEL_FRUSTRUM f4 = Frustum(4), f0 = Frustum(0), f7 = Frustum(7);
    MODEL_CYLINDER c2 = Cylinder(2), c12 = Cylinder(12);
    MODEL_PARABOLA pa = Parabola(8, 3), pa0 = Parabola(5, 0);
    MODEL_RANDOM_PLANE rp = RandomPlane(4);
    struct Case {
        const char* name;
        uint32_t type;
        void* record;
        uint32_t subObjects, vertices, indices, primitives, primitiveType;
        std::function<bool()> written;  // the record after building
    };
    const std::vector<Case> cases = {
        {"sphere 3", MODEL_TYPE_SPHERE, &s3, 1, 14, 36, 12, PRIM_TRIANGLELIST, [&] { return s3.dwSegments == 3; }},
        {"sphere 1000 is 255", MODEL_TYPE_SPHERE, &s1000, 1, 65534, 388620, 129540, PRIM_TRIANGLELIST,
         [&] { return s1000.dwSegments == 255; }},
        {"sphere 0 is 3", MODEL_TYPE_SPHERE, &s0, 1, 14, 36, 12, PRIM_TRIANGLELIST, [&] { return s0.dwSegments == 3; }},
        {"half sphere 7", MODEL_TYPE_DEMISPHERE, &half, 1, 62, 252, 84, PRIM_TRIANGLELIST, [] { return true; }},
        {"plane 2 x 1", MODEL_TYPE_PLANE, &p21, 1, 6, 12, 4, PRIM_TRIANGLELIST, [] { return true; }},
        {"plane 0 x 0 is 1 x 1", MODEL_TYPE_PLANE, &p00, 1, 4, 6, 2, PRIM_TRIANGLELIST,
         [&] { return p00.dwColumns == 1 && p00.dwRows == 1; }},
        {"disk 2 is 3", MODEL_TYPE_DISK, &d2, 1, 5, 5, 3, PRIM_TRIANGLEFAN, [&] { return d2.dwSegments == 3; }},
        {"disk 16", MODEL_TYPE_DISK, &d16, 1, 18, 18, 16, PRIM_TRIANGLEFAN, [] { return true; }},
        {"box", MODEL_TYPE_BOX, &box, 6, 24, 24, 2, PRIM_TRIANGLESTRIP, [] { return true; }},
        {"arrows", MODEL_TYPE_ARROW, &arrows, 1, 6, 6, 3, PRIM_LINELIST, [] { return true; }},
        {"frustum 4", MODEL_TYPE_FRUSTRUM, &f4, 1, 6, 6, 4, PRIM_TRIANGLEFAN, [] { return true; }},
        {"frustum 0 is 3", MODEL_TYPE_FRUSTRUM, &f0, 1, 5, 5, 3, PRIM_TRIANGLEFAN, [&] { return f0.dwSides == 3; }},
        {"frustum 7", MODEL_TYPE_FRUSTRUM, &f7, 1, 9, 9, 7, PRIM_TRIANGLEFAN, [] { return true; }},
        {"cylinder 2 is 3", MODEL_TYPE_CYLINDER, &c2, 1, 6, 6, 4, PRIM_TRIANGLESTRIP,
         [&] { return c2.dwSegments == 3 && c2.dwBuilt == 1; }},
        {"cylinder 12", MODEL_TYPE_CYLINDER, &c12, 1, 24, 24, 22, PRIM_TRIANGLESTRIP, [&] { return c12.dwBuilt == 1; }},
        {"parabola 8 x 3", MODEL_TYPE_PARABOLA, &pa, 1, 33, 120, 40, PRIM_TRIANGLELIST, [] { return true; }},
        {"parabola 5 x 0 is 5 x 1", MODEL_TYPE_PARABOLA, &pa0, 1, 11, 15, 5, PRIM_TRIANGLELIST,
         [&] { return pa0.dwRings == 1; }},
        {"random plane 4", MODEL_TYPE_RANDOM_PLANE, &rp, 1, 25, 96, 32, PRIM_TRIANGLELIST, [] { return true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C3DObject* o = Make();
        ASSERT_EQ(o->ConstructFromModel(c.type, c.record), eOK);
        EXPECT_EQ(o->m_dwSubObjectCount, c.subObjects);
        EXPECT_EQ(o->m_dwVertexCount, c.vertices);
        EXPECT_EQ(o->m_pIndex->m_dwIndexCount, c.indices);
        uint32_t vertices = 0, indices = 0;
        for (uint32_t sub = 0; sub < o->m_dwSubObjectCount; ++sub) {
            const ATTRIBUT r = Record(*o, sub);
            EXPECT_EQ(r.dwOrder, sub);
            EXPECT_EQ(r.dwVertexStart, vertices);
            EXPECT_EQ(r.dwIndexStart, indices);
            EXPECT_EQ(r.dwPrimitiveCount, c.primitives);
            EXPECT_EQ(r.dwPrimitiveType, c.primitiveType);
            vertices += r.dwVertexCount;
            indices += r.dwIndexCount;
        }
        EXPECT_EQ(vertices, c.vertices);
        EXPECT_EQ(indices, c.indices);
        EXPECT_TRUE(c.written());
        // Every index names a vertex of its own sub-object.
        o->BeginConstruct();
        for (uint32_t sub = 0; sub < o->m_dwSubObjectCount; ++sub) {
            const ATTRIBUT r = Record(*o, sub);
            for (uint32_t k = 0; k < r.dwIndexCount; ++k) ASSERT_LT(o->GetIndex(r.dwIndexStart + k), r.dwVertexCount);
        }
        o->EndConstruct(false);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ModelsTest, RefusedModelsLeaveTheObjectAlone) {
    C3DObject* o = Make();
    MODEL_BOX box = Box();
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
    MODEL_PLANE wide = Plane(0xFFFFFFFFu, 0xFFFFFFFFu), tall = Plane(5000, 5000);
    MODEL_DISK disk = Disk(0xFFFFFFFFu);
    MODEL_CYLINDER cylinder = Cylinder(0x80000000u);
    MODEL_FRUSTRUM frustum = Frustum(0xFFFFFFFFu);
    MODEL_PARABOLA parabola = Parabola(0x10000u, 0x10000u);
    MODEL_RANDOM_PLANE none = RandomPlane(0), wrapping = RandomPlane(0x10000u);
    struct Case {
        const char* name;
        uint32_t type;
        void* record;
    };
    const std::vector<Case> cases = {
        {"type 0", 0, &box},
        {"type 11", 11, &box},
        {"no record", MODEL_TYPE_SPHERE, nullptr},
        {"plane of 2^32 - 1 squared cells", MODEL_TYPE_PLANE, &wide},
        {"plane past the index limit", MODEL_TYPE_PLANE, &tall},
        {"disk of 2^32 - 1 segments", MODEL_TYPE_DISK, &disk},
        {"cylinder whose 2n wraps", MODEL_TYPE_CYLINDER, &cylinder},
        {"frustum whose s + 2 wraps", MODEL_TYPE_FRUSTRUM, &frustum},
        {"parabola past the limits", MODEL_TYPE_PARABOLA, &parabola},
        {"random plane of no cells", MODEL_TYPE_RANDOM_PLANE, &none},
        {"random plane whose N^2 wraps", MODEL_TYPE_RANDOM_PLANE, &wrapping},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(o->ConstructFromModel(c.type, c.record), eFAILED);
        EXPECT_EQ(o->m_dwSubObjectCount, 6u);
        EXPECT_EQ(o->m_dwVertexCount, 24u);
        ASSERT_NE(o->m_pIndex, nullptr);
        EXPECT_EQ(Record(*o, 5).dwVertexStart, 20u);
    }
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ModelsTest, ExtremaOfEachModel) {
    MODEL_SPHERE sphere = Sphere(32, 2.0f), half = Sphere(32, 2.0f);
    MODEL_BOX box = Box();
    MODEL_PLANE front = Plane(4, 2, 0), side = Plane(4, 2, 1), floor = Plane(4, 2, 2);
    MODEL_DISK cone = Disk(64, 2, 3.0f), cone0 = Disk(64, 0, 3.0f), cone1 = Disk(64, 1, 3.0f);
    MODEL_CYLINDER upright = Cylinder(33, 1), lying = Cylinder(33, 2);
    MODEL_ARROW arrows = Arrows();
    MODEL_FRUSTRUM f4 = Frustum(4), f6 = Frustum(6);
    MODEL_PARABOLA dish = Parabola(16, 4);
    MODEL_RANDOM_PLANE field = RandomPlane(8, 0);
    const float c45 = std::cos(kPi / 4);
    const float w4 = std::tan(0.5f) * 11.0f, h4 = w4 * 320.0f / 480.0f;
    const float rho = 0.5f * 0.5f * 11.0f;
    const float dishRadius = 2.0f * (1.0f - 0.5f * 0.5f * 0.5f * 0.5f);  // four rings of ratio 0.5
    struct Case {
        const char* name;
        uint32_t type;
        void* record;
        VECTOR3D lo, hi;
        float tolerance;
    };
    const std::vector<Case> cases = {
        {"sphere", MODEL_TYPE_SPHERE, &sphere, {-2, -2, -2}, {2, 2, 2}, 1e-5f},
        {"half sphere", MODEL_TYPE_DEMISPHERE, &half, {-2, -2, 0}, {2, 2, 2}, 1e-5f},
        {"box", MODEL_TYPE_BOX, &box, {-1, -2, -3}, {1, 2, 3}, 0},
        {"plane 0", MODEL_TYPE_PLANE, &front, {-2, -1, 0}, {2, 1, 0}, 1e-6f},
        {"plane 1", MODEL_TYPE_PLANE, &side, {0, -1, -2}, {0, 1, 2}, 1e-6f},
        {"plane 2", MODEL_TYPE_PLANE, &floor, {-2, 0, -1}, {2, 0, 1}, 1e-6f},
        {"cone on axis 2", MODEL_TYPE_DISK, &cone, {-1, -1.5f, -1}, {1, 1.5f, 1}, 1e-5f},
        // The centre stays at (0, H/2, 0) on every axis.
        {"cone on axis 0", MODEL_TYPE_DISK, &cone0, {-1, -1, -1.5f}, {1, 1.5f, 0}, 1e-5f},
        {"cone on axis 1", MODEL_TYPE_DISK, &cone1, {-1.5f, -1, -1}, {0, 1.5f, 1}, 1e-5f},
        {"cylinder along y", MODEL_TYPE_CYLINDER, &upright, {-1, -2, -1}, {1, 2, 1}, 1e-5f},
        {"cylinder along z", MODEL_TYPE_CYLINDER, &lying, {-1, -1, -2}, {1, 1, 2}, 1e-5f},
        {"arrows", MODEL_TYPE_ARROW, &arrows, {0, 0, 0}, {2, 2, 2}, 0},
        {"frustum 4", MODEL_TYPE_FRUSTRUM, &f4, {-w4 * c45, -h4 * c45, -1}, {w4 * c45, h4 * c45, 10}, 1e-4f},
        {"frustum 6", MODEL_TYPE_FRUSTRUM, &f6, {-rho * 0.8660254f, -rho, -1}, {rho * 0.8660254f, rho, 10}, 1e-4f},
        {"parabola", MODEL_TYPE_PARABOLA, &dish, {-dishRadius, 0, -dishRadius},
         {dishRadius, dishRadius * dishRadius / 4.0f, dishRadius}, 1e-4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C3DObject* o = Make();
        ASSERT_EQ(o->ConstructFromModel(c.type, c.record), eOK);
        auto [lo, hi] = Extrema(*o);
        EXPECT_NEAR(lo.x, c.lo.x, c.tolerance);
        EXPECT_NEAR(lo.y, c.lo.y, c.tolerance);
        EXPECT_NEAR(lo.z, c.lo.z, c.tolerance);
        EXPECT_NEAR(hi.x, c.hi.x, c.tolerance);
        EXPECT_NEAR(hi.y, c.hi.y, c.tolerance);
        EXPECT_NEAR(hi.z, c.hi.z, c.tolerance);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    // The field lies on its square, border forced to 0.
    C3DObject* o = Make();
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_RANDOM_PLANE, &field), eOK);
    auto [lo, hi] = Extrema(*o);
    EXPECT_FLOAT_EQ(lo.x, -4.0f);
    EXPECT_FLOAT_EQ(hi.z, 4.0f);
    for (uint32_t k = 0; k < 9; ++k) {
        EXPECT_EQ(o->GetVertexPosition(k).y, 0.0f);
        EXPECT_EQ(o->GetVertexPosition(9 * k + 8).y, 0.0f);
    }
}

// Builders that store real normals wind their triangles the same way: the
// engine's own face normals agree with them.
TEST_F(ModelsTest, StoredNormalsAgreeWithTheWinding) {
    MODEL_SPHERE sphere = Sphere(12), half = Sphere(12);
    MODEL_BOX box0 = Box(0), box1 = Box(1), box2 = Box(2);
    MODEL_PLANE p0 = Plane(3, 2, 0), p1 = Plane(3, 2, 1), p2 = Plane(3, 2, 2);
    MODEL_DISK d0 = Disk(9, 0), d1 = Disk(9, 1), d2 = Disk(9, 2);
    MODEL_PARABOLA a0 = Parabola(9, 3, 0), a1 = Parabola(9, 3, 1), a2 = Parabola(9, 3, 2);
    const std::vector<Build> builds = {
        {"sphere", MODEL_TYPE_SPHERE, [&] { return &sphere; }},
        {"half sphere", MODEL_TYPE_DEMISPHERE, [&] { return &half; }},
        {"box 0", MODEL_TYPE_BOX, [&] { return &box0; }},
        {"box 1", MODEL_TYPE_BOX, [&] { return &box1; }},
        {"box 2", MODEL_TYPE_BOX, [&] { return &box2; }},
        {"plane 0", MODEL_TYPE_PLANE, [&] { return &p0; }},
        {"plane 1", MODEL_TYPE_PLANE, [&] { return &p1; }},
        {"plane 2", MODEL_TYPE_PLANE, [&] { return &p2; }},
        {"disk 0", MODEL_TYPE_DISK, [&] { return &d0; }},
        {"disk 1", MODEL_TYPE_DISK, [&] { return &d1; }},
        {"disk 2", MODEL_TYPE_DISK, [&] { return &d2; }},
        {"parabola 0", MODEL_TYPE_PARABOLA, [&] { return &a0; }},
        {"parabola 1", MODEL_TYPE_PARABOLA, [&] { return &a1; }},
        {"parabola 2", MODEL_TYPE_PARABOLA, [&] { return &a2; }},
    };
    for (const Build& b : builds) {
        SCOPED_TRACE(b.name);
        C3DObject* o = Make();
        ASSERT_EQ(o->ConstructFromModel(b.type, b.record()), eOK);
        std::vector<VECTOR3D> stored(o->m_dwVertexCount);
        for (uint32_t v = 0; v < o->m_dwVertexCount; ++v) {
            stored[v] = o->GetVertexNormal(v);
            EXPECT_NEAR(Length(stored[v]), 1.0f, 1e-5f) << v;
        }
        for (const Triangle& t : TrianglesOf(*o)) {
            const VECTOR3D a = o->GetVertexPosition(t.v[0]), bb = o->GetVertexPosition(t.v[1]),
                           c = o->GetVertexPosition(t.v[2]);
            const VECTOR3D face = Cross(Sub3(a, bb), Sub3(a, c));
            for (uint32_t v : t.v) EXPECT_GT(Dot(face, stored[v]), 0.0f) << "vertex " << v;
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ModelsTest, SphereAndBoxAreClosedWithOutwardNormals) {
    for (uint32_t n : {3u, 8u, 40u}) {
        SCOPED_TRACE(testing::Message() << "sphere " << n);
        MODEL_SPHERE m = Sphere(n, 1.5f);
        C3DObject* o = Make();
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_SPHERE, &m), eOK);
        const Closure c = ClosureOf(*o);
        EXPECT_TRUE(c.closed);
        EXPECT_GT(c.volume, 0.0);
        if (n == 40) {
            EXPECT_NEAR(c.volume, 4.0 / 3.0 * kPi * 1.5 * 1.5 * 1.5, 0.01 * 14.137);
        }
        for (uint32_t v = 0; v < o->m_dwVertexCount; ++v) {
            const VECTOR3D p = o->GetVertexPosition(v), nn = o->GetVertexNormal(v);
            EXPECT_NEAR(nn.x * 1.5f, p.x, 1e-5f);
            EXPECT_NEAR(nn.y * 1.5f, p.y, 1e-5f);
            EXPECT_NEAR(nn.z * 1.5f, p.z, 1e-5f);
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    for (uint32_t mapping : {0u, 1u, 7u}) {
        SCOPED_TRACE(testing::Message() << "box mapping " << mapping);
        MODEL_BOX m = Box(mapping);
        C3DObject* o = Make();
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_BOX, &m), eOK);
        const Closure c = ClosureOf(*o);
        EXPECT_TRUE(c.closed);
        EXPECT_NEAR(c.volume, 2.0 * 4.0 * 6.0, 1e-4);
        const VECTOR3D faces[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
        for (uint32_t v = 0; v < 24; ++v) {
            const VECTOR3D p = o->GetVertexPosition(v), nn = o->GetVertexNormal(v);
            EXPECT_EQ(std::memcmp(&nn, &faces[v / 4], sizeof nn), 0) << v;
            // The corner lies on its face's side: (+-1, +-2, +-3) along the normal.
            EXPECT_FLOAT_EQ(Dot(p, nn), std::fabs(Dot(VECTOR3D{1, 2, 3}, nn))) << v;
        }
        if (mapping == 1) {
            EXPECT_FLOAT_EQ(o->GetVertexPosition(0).x, -1.0f);
            EXPECT_FLOAT_EQ(o->GetVertexPosition(0).y, 2.0f);
            EXPECT_FLOAT_EQ(o->GetVertexPosition(1).y, -2.0f);
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
    // The open shapes are not closed.
    MODEL_SPHERE half = Sphere(8);
    MODEL_CYLINDER tube = Cylinder(8);
    C3DObject* o = Make();
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_DEMISPHERE, &half), eOK);
    EXPECT_FALSE(ClosureOf(*o).closed);
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_CYLINDER, &tube), eOK);
    EXPECT_FALSE(ClosureOf(*o).closed);
}

TEST_F(ModelsTest, TextureCoordinates) {
    // Both plane coordinates are divided by the column count.
    MODEL_PLANE plane = Plane(2, 1);
    C3DObject* o = Make();
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_PLANE, &plane), eOK);
    float vMin = FLT_MAX, vMax = -FLT_MAX, uMax = -FLT_MAX;
    for (uint32_t v = 0; v < 6; ++v) {
        const VECTOR2D uv = o->GetVertexTexture1(v);
        vMin = std::min(vMin, uv.y);
        vMax = std::max(vMax, uv.y);
        uMax = std::max(uMax, uv.x);
    }
    EXPECT_FLOAT_EQ(vMin, 0.0f);
    EXPECT_FLOAT_EQ(vMax, 0.5f * 3.0f);
    EXPECT_FLOAT_EQ(uMax, 1.0f);

    // Box layouts: only 0 and the scales; mode 1 and 0 agree but on the
    // +z face, other modes mirror.
    MODEL_BOX b0 = Box(0), b1 = Box(1), b5 = Box(5);
    for (MODEL_BOX* b : {&b0, &b1, &b5}) {
        b->fUScale = 2.0f;
        b->fVScale = 3.0f;
    }
    std::vector<std::vector<VECTOR2D>> uvs;
    for (MODEL_BOX* b : {&b0, &b1, &b5}) {
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_BOX, b), eOK);
        uvs.emplace_back();
        for (uint32_t v = 0; v < 24; ++v) {
            const VECTOR2D uv = o->GetVertexTexture1(v);
            EXPECT_TRUE(uv.x == 0.0f || uv.x == 2.0f) << v;
            EXPECT_TRUE(uv.y == 0.0f || uv.y == 3.0f) << v;
            uvs.back().push_back(uv);
        }
    }
    for (uint32_t v = 0; v < 24; ++v) {
        EXPECT_EQ(uvs[0][v].x, uvs[1][v].x);
        EXPECT_NE(uvs[0][v].x, uvs[2][v].x);
    }

    // Disk rim on the texture's inscribed circle; centre in the middle.
    MODEL_DISK disk = Disk(8);
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_DISK, &disk), eOK);
    EXPECT_FLOAT_EQ(o->GetVertexTexture1(0).x, 0.5f);
    for (uint32_t v = 1; v < 10; ++v) {
        const VECTOR2D uv = o->GetVertexTexture1(v);
        EXPECT_NEAR(std::hypot(uv.x - 0.5f, uv.y - 0.5f), 0.5f, 1e-5f);
    }
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ModelsTest, CullModesFromTheRenderFlags) {
    struct Case {
        uint32_t renderFlags;
        uint32_t built, randomPlane;
    };
    const std::vector<Case> cases = {
        {0, CULL_NONE, CULL_CCW},
        {RENDER_CULL_NONE | RENDER_CULL_CW | RENDER_CULL_CCW, CULL_NONE, CULL_NONE},
        {RENDER_CULL_CW, CULL_CW, CULL_CW},
        {RENDER_CULL_CCW, CULL_CCW, CULL_CCW},
        {RENDER_CULL_CW | RENDER_CULL_CCW, CULL_CW, CULL_CCW},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.renderFlags);
        MODEL_SPHERE sphere = Sphere(5);
        MODEL_BOX box = Box();
        MODEL_PLANE plane = Plane(1, 1);
        MODEL_DISK disk = Disk(5);
        MODEL_CYLINDER cylinder = Cylinder(5);
        MODEL_PARABOLA parabola = Parabola(5, 2);
        MODEL_RANDOM_PLANE field = RandomPlane(2);
        MODEL_ARROW arrows = Arrows();
        MODEL_FRUSTRUM frustum = Frustum(5);
        const std::vector<std::pair<uint32_t, void*>> built = {
            {MODEL_TYPE_SPHERE, &sphere}, {MODEL_TYPE_DEMISPHERE, &sphere}, {MODEL_TYPE_BOX, &box},
            {MODEL_TYPE_PLANE, &plane},   {MODEL_TYPE_DISK, &disk},         {MODEL_TYPE_CYLINDER, &cylinder},
            {MODEL_TYPE_PARABOLA, &parabola}};
        C3DObject* o = Make(OBJ_NORMAL, c.renderFlags);
        for (auto [type, record] : built) {
            ASSERT_EQ(o->ConstructFromModel(type, record), eOK);
            for (uint32_t sub = 0; sub < o->m_dwSubObjectCount; ++sub) EXPECT_EQ(o->GetOneCullMode(sub), c.built) << type;
        }
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_RANDOM_PLANE, &field), eOK);
        EXPECT_EQ(o->GetOneCullMode(0), c.randomPlane);
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_ARROW, &arrows), eOK);
        EXPECT_EQ(o->GetOneCullMode(0), 0xFFFFFFFFu);
        ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_FRUSTRUM, &frustum), eOK);
        EXPECT_EQ(o->GetOneCullMode(0), 0xFFFFFFFFu);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

// Counts the normal passes EndConstruct (or a builder) runs.
class Counting : public C3DObjectGLESNormal {
public:
    eRESULT ComputeNormals() override {
        ++flat;
        return C3DObjectGLESNormal::ComputeNormals();
    }
    eRESULT ComputeNormalsSmooth() override {
        ++smooth;
        return C3DObjectGLESNormal::ComputeNormalsSmooth();
    }
    int flat = 0, smooth = 0;
};

// The sphere, half sphere, disk, plane, box and the merges keep their own
// normals whatever the creation flags ask; the others let EndConstruct
// compute them.
TEST_F(ModelsTest, NormalFlagsKeptOrCleared) {
    MODEL_SPHERE sphere = Sphere(6);
    MODEL_DISK disk = Disk(6);
    MODEL_PLANE plane = Plane(2, 2, 2);
    MODEL_BOX box = Box();
    MODEL_CYLINDER cylinder = Cylinder(9);
    MODEL_ARROW arrows = Arrows();
    MODEL_FRUSTRUM frustum = Frustum(5);
    MODEL_PARABOLA parabola = Parabola(6, 2);
    MODEL_RANDOM_PLANE field = RandomPlane(3);
    for (uint32_t flags : {0u, OBJ_COMPUTE_NORMALS, OBJ_COMPUTE_NORMALS_SMOOTH}) {
        SCOPED_TRACE(testing::Message() << std::hex << flags);
        const bool smooth = flags == OBJ_COMPUTE_NORMALS_SMOOTH, any = flags != 0;
        struct Case {
            uint32_t type;
            void* record;
            int flat, smooth;  // passes expected
        };
        const std::vector<Case> cases = {
            {MODEL_TYPE_SPHERE, &sphere, 0, 0},
            {MODEL_TYPE_DEMISPHERE, &sphere, 0, 0},
            {MODEL_TYPE_DISK, &disk, 0, 0},
            {MODEL_TYPE_PLANE, &plane, 0, 0},
            {MODEL_TYPE_BOX, &box, 0, 0},
            {MODEL_TYPE_CYLINDER, &cylinder, any && !smooth, smooth},
            {MODEL_TYPE_ARROW, &arrows, any && !smooth, smooth},
            {MODEL_TYPE_FRUSTRUM, &frustum, any && !smooth, smooth},
            {MODEL_TYPE_PARABOLA, &parabola, any && !smooth, smooth},
            // Its own flat pass after the pending one.
            {MODEL_TYPE_RANDOM_PLANE, &field, 1 + (any && !smooth), smooth},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.type);
            Counting o;
            o.m_dwFlags = OBJ_NORMAL | flags;
            ASSERT_EQ(o.Load(shared.get()), eOK);
            ASSERT_EQ(o.ConstructFromModel(c.type, c.record), eOK);
            EXPECT_EQ(o.flat, c.flat);
            EXPECT_EQ(o.smooth, c.smooth);
            EXPECT_EQ(o.m_dwFlags & (OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH), 0u);
        }
        Counting source, merged;
        for (Counting* o : {&source, &merged}) {
            o->m_dwFlags = OBJ_NORMAL;
            ASSERT_EQ(o->Load(shared.get()), eOK);
        }
        ASSERT_EQ(source.ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
        C3DObject* sources[1] = {&source};
        merged.m_dwFlags |= flags;
        ASSERT_EQ(merged.ConstructFromObjects(sources, 1), eOK);
        merged.m_dwFlags |= flags;
        ASSERT_EQ(merged.ConstructFromObjectsNormals(sources, 1, 1.0f, 0), eOK);
        EXPECT_EQ(merged.flat + merged.smooth, 0);
    }
    // A lit tube: computed normals lie across the axis, pointing out.
    C3DObject* o = Make(OBJ_NORMAL | OBJ_COMPUTE_NORMALS_SMOOTH);
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_CYLINDER, &cylinder), eOK);
    for (uint32_t v = 0; v < o->m_dwVertexCount; ++v) {
        const VECTOR3D n = o->GetVertexNormal(v), p = o->GetVertexPosition(v);
        EXPECT_GT(n.x * p.x + n.z * p.z, 0.0f) << v;
    }
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

TEST_F(ModelsTest, RandomPlaneRepeatsWithTheSeedAndTiles) {
    auto build = [&](uint32_t seed, uint32_t keepBorder) {
        INIT_RANDOM_INTERNAL(shared.get(), seed);
        MODEL_RANDOM_PLANE m = RandomPlane(16, keepBorder);
        m.fHeight0 = 2.0f;
        m.fHeight1 = -1.0f;
        C3DObject* o = Make();
        EXPECT_EQ(o->ConstructFromModel(MODEL_TYPE_RANDOM_PLANE, &m), eOK);
        std::vector<std::array<float, 6>> v(o->m_dwVertexCount);
        for (uint32_t i = 0; i < o->m_dwVertexCount; ++i) {
            const VECTOR3D p = o->GetVertexPosition(i), n = o->GetVertexNormal(i);
            v[i] = {p.x, p.y, p.z, n.x, n.y, n.z};
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
        return v;
    };
    const auto a = build(42, 1), b = build(42, 1), c = build(43, 1);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    const uint32_t N = 17;
    bool varied = false;
    for (uint32_t k = 0; k < N; ++k) {
        // Opposite edges: same height, same normal.
        for (int f : {1, 3, 4, 5}) {
            EXPECT_EQ(a[k][f], a[k + N * (N - 1)][f]) << "column " << k << " field " << f;
            EXPECT_EQ(a[N * k][f], a[N * k + N - 1][f]) << "row " << k << " field " << f;
        }
        varied = varied || a[k][1] != a[N * 8 + 8][1];
    }
    EXPECT_TRUE(varied);
    for (const auto& v : a) {
        EXPECT_NEAR(std::sqrt(v[3] * v[3] + v[4] * v[4] + v[5] * v[5]), 1.0f, 1e-5f);
        EXPECT_GT(v[4], 0.0f);  // facing up
    }
    // Without the keep-border word the border sits at 0.
    const auto flat = build(42, 0);
    for (uint32_t k = 0; k < N; ++k) EXPECT_EQ(flat[k][1], 0.0f);
    EXPECT_EQ(flat[N * 8 + 8][1], a[N * 8 + 8][1]);
}

TEST_F(ModelsTest, MergeKeepsEverySubObjectInPlace) {
    C3DObject* first = Make(OBJ_NORMAL);
    C3DObject* second = Make(OBJ_NORMAL, RENDER_CULL_CW);
    MODEL_BOX box = Box();
    MODEL_SPHERE sphere = Sphere(4);
    ASSERT_EQ(first->ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
    ASSERT_EQ(second->ConstructFromModel(MODEL_TYPE_SPHERE, &sphere), eOK);
    shared->m_pMaths3D->_MATRIX3DTranslationXYZ(&second->m_matMatrix, 10, 0, 0);
    second->SetOneCullMode(0, CULL_CCW);  // the render flags win
    first->m_pMaterials[2].fPower = 7.0f;

    C3DObject* merged = Make(OBJ_NORMAL | OBJ_COMPUTE_NORMALS);
    C3DObject* sources[2] = {first, second};
    ASSERT_EQ(merged->ConstructFromObjects(sources, 2), eOK);
    EXPECT_EQ(merged->m_dwSubObjectCount, 7u);
    EXPECT_EQ(merged->m_dwVertexCount, 24u + 23u);
    EXPECT_EQ(merged->m_pIndex->m_dwIndexCount, 24u + 72u);
    const ATTRIBUT r = Record(*merged, 6);
    EXPECT_EQ(r.dwVertexStart, 24u);
    EXPECT_EQ(r.dwIndexStart, 24u);
    EXPECT_EQ(r.dwIndexCount, 72u);
    EXPECT_EQ(r.dwOrder, 6u);
    EXPECT_EQ(r.dwCullMode, CULL_CW);
    EXPECT_EQ(Record(*merged, 3).dwOrder, 3u);
    EXPECT_EQ(Record(*merged, 3).dwPrimitiveType, PRIM_TRIANGLESTRIP);
    EXPECT_EQ(merged->m_pMaterials[2].fPower, 7.0f);
    // Indices unchanged (relative to their sub-object), positions moved by
    // the source's matrix, normals as they were, not recomputed.
    merged->BeginConstruct();
    second->BeginConstruct();
    for (uint32_t k = 0; k < 72; ++k) EXPECT_EQ(merged->GetIndex(24 + k), second->GetIndex(k));
    second->EndConstruct(false);
    merged->EndConstruct(false);
    for (uint32_t v = 0; v < 23; ++v) {
        const VECTOR3D p = second->GetVertexPosition(v), q = merged->GetVertexPosition(24 + v);
        EXPECT_FLOAT_EQ(q.x, p.x + 10);
        EXPECT_FLOAT_EQ(q.y, p.y);
        const VECTOR3D n = second->GetVertexNormal(v), m = merged->GetVertexNormal(24 + v);
        EXPECT_EQ(std::memcmp(&n, &m, sizeof n), 0);
        EXPECT_EQ(merged->GetVertexColor(24 + v), second->GetVertexColor(v));
    }
    EXPECT_EQ(merged->m_dwFlags & OBJ_COMPUTE_NORMALS, 0u);

    // A line per vertex, from the moved position along the normal.
    C3DObject* lines = Make(OBJ_NORMAL);
    ASSERT_EQ(lines->ConstructFromObjectsNormals(sources, 2, 0.5f, 0xFF00FF00u), eOK);
    EXPECT_EQ(lines->m_dwVertexCount, 94u);
    const ATTRIBUT l = Record(*lines, 0);
    EXPECT_EQ(l.dwPrimitiveType, PRIM_LINELIST);
    EXPECT_EQ(l.dwPrimitiveCount, 47u);
    EXPECT_EQ(l.dwCullMode, CULL_NONE);
    for (uint32_t v = 0; v < 23; ++v) {
        const VECTOR3D p = second->GetVertexPosition(v), n = second->GetVertexNormal(v);
        const VECTOR3D a = lines->GetVertexPosition(2 * (24 + v)), b = lines->GetVertexPosition(2 * (24 + v) + 1);
        EXPECT_FLOAT_EQ(a.x, p.x + 10);
        EXPECT_FLOAT_EQ(b.x, p.x + 10 + 0.5f * n.x);
        EXPECT_FLOAT_EQ(b.y, p.y + 0.5f * n.y);
        EXPECT_EQ(lines->GetVertexColor(2 * v + 1), 0xFF00FF00u);
    }
    lines->BeginConstruct();
    EXPECT_EQ(lines->GetIndex(93), 93u);
    lines->EndConstruct(false);
}

TEST_F(ModelsTest, MergesRefuseMissingOrSelfSources) {
    C3DObject* a = Make();
    C3DObject* target = Make();
    MODEL_BOX box = Box();
    ASSERT_EQ(a->ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
    ASSERT_EQ(target->ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
    // A source claiming more vertices than an object may hold.
    C3DObject huge;
    huge.m_dwVertexCount = eOBJ_MAX_VERTICES;
    C3DObject* withNull[2] = {a, nullptr};
    C3DObject* withSelf[2] = {a, target};
    C3DObject* tooMany[2] = {a, &huge};
    struct Case {
        const char* name;
        C3DObject** objects;
        uint32_t count;
    };
    const std::vector<Case> cases = {
        {"no array", nullptr, 2}, {"a null source", withNull, 2}, {"itself", withSelf, 2}, {"too many", tooMany, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(target->ConstructFromObjects(c.objects, c.count), eFAILED);
        EXPECT_EQ(target->ConstructFromObjectsNormals(c.objects, c.count, 1.0f, 0), eFAILED);
        EXPECT_EQ(target->m_dwSubObjectCount, 6u);
        EXPECT_EQ(target->m_dwVertexCount, 24u);
    }
    // Nothing to merge: an empty object.
    EXPECT_EQ(target->ConstructFromObjects(nullptr, 0), eOK);
    EXPECT_EQ(target->m_dwSubObjectCount, 0u);
    EXPECT_EQ(target->ConstructFromObjectsNormals(nullptr, 0, 1.0f, 0), eOK);
    EXPECT_EQ(target->m_dwVertexCount, 0u);
}

}  // namespace
