// Procedural models drawn for real: one parallel-projected picture per
// builder, read back and compared with the shape it should cover; shaded
// pictures whose colours are the normals; merged objects drawing every part
// with its texture. With ORBELLINE_RENDER_DIR set, the pictures are also
// written there as PNG files.
#include <gtest/gtest.h>

#include <GLES/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/3d/3DObjectModels.h"
#include "engine/3d/3DTexture.h"
#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/world/Random.h"
#include "tests/engine/3d/TextureTestImages.h"
#include "tests/engine/3d/gles/GlesFixture.h"

namespace {

using gltest::kHeight;
using gltest::kWidth;

VECTOR3D Scale(const VECTOR3D& v, float s) { return VECTOR3D{v.x * s, v.y * s, v.z * s}; }
float Dot(const VECTOR3D& a, const VECTOR3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A parallel view: object point p lands on screen at (p.ex, p.ey) x
// `pixels` pixels from the window centre, depth p.ez (nearer is smaller).
struct View {
    VECTOR3D ex, ey, ez;
    float pixels;  // per object unit

    MATRIX3D Matrix() const {
        const float sx = pixels / (kWidth / 2.0f), sy = pixels / (kHeight / 2.0f), sz = 0.05f;
        MATRIX3D m{};
        // Row vectors: clip = p . M. Half a pixel of offset puts the centre
        // on a pixel centre, so lines through it land on whole pixels.
        m.m0 = ex.x * sx, m.m4 = ex.y * sx, m.m8 = ex.z * sx;
        m.m1 = ey.x * sy, m.m5 = ey.y * sy, m.m9 = ey.z * sy;
        m.m2 = ez.x * sz, m.m6 = ez.y * sz, m.m10 = ez.z * sz;
        m.m12 = 0.5f / (kWidth / 2.0f);
        m.m13 = 0.5f / (kHeight / 2.0f);
        m.m15 = 1.0f;
        return m;
    }
    // Object-plane coordinates (along ex, ey) of the centre of pixel (x, y).
    std::pair<float, float> At(int x, int y) const {
        return {(x - kWidth / 2) / pixels, (y - kHeight / 2) / pixels};
    }
};

const View kFront{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 60};  // looking along +z
const View kTop{{1, 0, 0}, {0, 0, 1}, {0, -1, 0}, 60};   // looking down -y

// Whether (u, v) must be covered (1), must stay empty (0) or is too near the
// edge to tell (-1).
using Region = std::function<int(float u, float v)>;

// Inside a disk of `inner` radius, outside one of `outer`.
Region Ring(float inner, float outer) {
    return [=](float u, float v) {
        const float r = std::hypot(u, v);
        return r < inner ? 1 : r > outer ? 0 : -1;
    };
}

// A convex polygon (counter-clockwise corners), with a margin either way.
Region Convex(std::vector<std::pair<float, float>> corners, float margin) {
    return [=](float u, float v) {
        float least = 1e9f;
        for (size_t i = 0; i < corners.size(); ++i) {
            auto [ax, ay] = corners[i];
            auto [bx, by] = corners[(i + 1) % corners.size()];
            const float ex = bx - ax, ey = by - ay, len = std::hypot(ex, ey);
            least = std::min(least, (ex * (v - ay) - ey * (u - ax)) / len);  // > 0 inside
        }
        return least > margin ? 1 : least < -margin ? 0 : -1;
    };
}

Region Rectangle(float x0, float y0, float x1, float y1, float margin) {
    return Convex({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, margin);
}

class ModelsRenderTest : public gltest::GlesTest {
protected:
    void SetUp() override {
        gltest::GlesTest::SetUp();
        if (HasFatalFailure()) return;
        shared->m_bDepthBuffer = 1;
        ASSERT_EQ(device.Load(shared.get(), nullptr), eOK);
    }
    void TearDown() override {
        device.Unload();
        gltest::GlesTest::TearDown();
    }

    static void Clear() {
        glClearColor(0, 0, 0, 1);
        glClearDepthf(1.0f);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // Draws the object under the view and reads the whole frame back.
    std::vector<uint8_t> Draw(C3DObject* o, const View& view) {
        Clear();
        shared->m_matProjection = view.Matrix();
        EXPECT_EQ(o->Render(eALL_SUBOBJECTS), eOK);
        std::vector<uint8_t> rgba(kWidth * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    static const uint8_t* Pixel(const std::vector<uint8_t>& rgba, int x, int y) {
        return &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
    }
    static bool Lit(const std::vector<uint8_t>& rgba, int x, int y) {
        const uint8_t* p = Pixel(rgba, x, y);
        return p[0] || p[1] || p[2];
    }

    // Writes the frame as NAME.png when ORBELLINE_RENDER_DIR is set.
    static void Keep(const std::vector<uint8_t>& rgba, const std::string& name) {
        const char* dir = std::getenv("ORBELLINE_RENDER_DIR");
        if (!dir || !*dir) return;
        std::vector<teximg::Bytes> rows;
        for (int y = kHeight - 1; y >= 0; --y) {
            teximg::Bytes row;
            for (int x = 0; x < kWidth; ++x) row.insert(row.end(), Pixel(rgba, x, y), Pixel(rgba, x, y) + 3);
            rows.push_back(row);
        }
        const teximg::Bytes png = teximg::WriteRgbPng(kWidth, rows);
        std::ofstream(std::string(dir) + "/" + name + ".png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }

    gltest::SharedInfosHolder shared;
    C3DEngineGLES device;
};

TEST_F(ModelsRenderTest, EachModelCoversItsShape) {
    MODEL_SPHERE sphere{2.0f, 32, 0xFFFFFFFFu, 0}, half{2.0f, 32, 0xFFFFFFFFu, 0};
    MODEL_DISK disk{3.0f, 48, 0.0f, 2, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_PLANE plane{4.0f, 2.0f, 4, 3, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_BOX box{1.0f, 1.5f, 0.5f, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_FRUSTRUM hexagon{6, 1.0f, 5.0f, 1.2f, 0xFFFFFFFFu, 0xFFFFFFFFu};
    MODEL_FRUSTRUM screen{4, 1.0f, 2.0f, 0.7f, 0xFFFFFFFFu, 0xFFFFFFFFu};
    MODEL_RANDOM_PLANE field{5.0f, 10, 0.0f, 1.0f, 1, 0, 0, 1, 1};
    MODEL_CYLINDER cylinder{3.0f, 1.5f, 3.0f, 0, 33, 0, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_PARABOLA dish{2.0f, 32, 1.0f, 0.5f, 5, 2, 0xFFFFFFFFu, 0};
    const float m = 0.04f;                       // object units, a few pixels either way
    const float hexRadius = 0.5f * 1.2f * 5.0f;  // corners at 30 + k 60 degrees
    std::vector<std::pair<float, float>> hex;
    for (int k = 0; k < 6; ++k) {
        const float a = (30.0f + 60.0f * k) * 3.14159265f / 180.0f;
        hex.emplace_back(hexRadius * std::cos(a), hexRadius * std::sin(a));
    }
    const float w = std::tan(0.7f) * 2.0f, h = w * kWidth / kHeight, c45 = std::cos(3.14159265f / 4);
    const float dishRadius = 2.0f * (1.0f - std::pow(0.5f, 5.0f));
    const float inscribed = std::cos(3.14159265f / 32);  // polygons of 32 or more sides
    struct Case {
        const char* name;
        uint32_t type;
        void* record;
        View view;
        Region region;
    };
    const std::vector<Case> cases = {
        {"sphere", MODEL_TYPE_SPHERE, &sphere, kFront, Ring(2.0f * inscribed - m, 2.0f + m)},
        {"half_sphere", MODEL_TYPE_DEMISPHERE, &half, kTop,
         [&](float u, float v) {
             const int disk = Ring(2.0f * inscribed - m, 2.0f + m)(u, v);
             return v < -m ? 0 : v > m ? disk : (disk == 0 ? 0 : -1);
         }},
        {"disk", MODEL_TYPE_DISK, &disk, kTop, Ring(1.5f * inscribed - m, 1.5f + m)},
        {"plane", MODEL_TYPE_PLANE, &plane, kFront, Rectangle(-2, -1, 2, 1, m)},
        {"box", MODEL_TYPE_BOX, &box, kFront, Rectangle(-1, -1.5f, 1, 1.5f, m)},
        {"frustum_6", MODEL_TYPE_FRUSTRUM, &hexagon, View{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 30}, Convex(hex, m)},
        {"frustum_4", MODEL_TYPE_FRUSTRUM, &screen, kFront, Rectangle(-w * c45, -h * c45, w * c45, h * c45, m)},
        {"random_plane", MODEL_TYPE_RANDOM_PLANE, &field, kTop, Rectangle(-2.5f, -2.5f, 2.5f, 2.5f, m)},
        {"cylinder", MODEL_TYPE_CYLINDER, &cylinder, kFront,
         Convex({{-0.75f, -1.5f}, {0.75f, -1.5f}, {1.5f, 1.5f}, {-1.5f, 1.5f}}, m)},
        {"parabola", MODEL_TYPE_PARABOLA, &dish, kTop, Ring(dishRadius * inscribed - m, dishRadius + m)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->ConstructFromModel(c.type, c.record), eOK);
        const auto frame = Draw(o, c.view);
        Keep(frame, c.name);
        int covered = 0, wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                auto [u, v] = c.view.At(x, y);
                const int want = c.region(u, v);
                const bool lit = Lit(frame, x, y);
                covered += lit;
                if (want >= 0 && lit != (want == 1) && ++wrong <= 5)
                    ADD_FAILURE() << "pixel " << x << ", " << y << (lit ? " covered" : " empty");
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(covered, 1000);
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

TEST_F(ModelsRenderTest, ArrowsDrawThreeColouredLines) {
    MODEL_ARROW arrows{2.0f, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};
    C3DObject* o = device.Create3DObject(OBJ_NORMAL, 0);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->ConstructFromModel(MODEL_TYPE_ARROW, &arrows), eOK);
    // Seen from a corner, so that z has a length on screen too: x to the
    // right, y up, z to the lower left.
    const View corner{{1, 0, -0.5f}, {0, 1, -0.5f}, {0, 0, 1}, 50};
    const auto frame = Draw(o, corner);
    Keep(frame, "arrows");
    const int cx = kWidth / 2, cy = kHeight / 2;
    for (int k = 5; k < 95; k += 10) {
        SCOPED_TRACE(k);
        const uint8_t* x = Pixel(frame, cx + k, cy);
        const uint8_t* y = Pixel(frame, cx, cy + k);
        EXPECT_TRUE(x[0] == 255 && x[1] == 0 && x[2] == 0);
        EXPECT_TRUE(y[0] == 0 && y[1] == 255 && y[2] == 0);
        EXPECT_FALSE(Lit(frame, cx + k, cy + k));
        EXPECT_FALSE(Lit(frame, cx - k, cy));
    }
    // The z line runs down to the left, half a pixel per unit each way.
    int blue = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = Pixel(frame, x, y);
            if (p[2] == 255 && !p[0] && !p[1]) {
                ++blue;
                EXPECT_LE(x, cx);
                EXPECT_LE(y, cy);
                EXPECT_LE(std::abs((cx - x) - (cy - y)), 1);
            }
        }
    EXPECT_GT(blue, 40);
    EXPECT_EQ(device.Delete3DObject(o), eOK);
}

// Colour = normal x 0.5 + 0.5, drawn with depth: the picture shows the
// normals, and the middle of each shape faces the viewer.
TEST_F(ModelsRenderTest, ShadedByTheirNormals) {
    MODEL_SPHERE sphere{2.0f, 24, 0xFFFFFFFFu, 0};
    MODEL_BOX box{1.2f, 1.2f, 1.2f, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_SPHERE half{2.0f, 24, 0xFFFFFFFFu, 0};
    // Looking along d from the upper right, in front (-z) or behind (+z).
    auto oblique = [](float side) {
        const VECTOR3D d = Scale(VECTOR3D{-1, -1, 2 * side}, 1.0f / std::sqrt(6.0f));
        const VECTOR3D ex = Scale(VECTOR3D{2 * side, 0, 1}, 1.0f / std::sqrt(5.0f));
        const VECTOR3D ey{d.y * ex.z - d.z * ex.y, d.z * ex.x - d.x * ex.z, d.x * ex.y - d.y * ex.x};  // d x ex
        return View{ex, ey, d, 60};
    };
    struct Case {
        const char* name;
        uint32_t type;
        void* record;
        View view;
    };
    // The half sphere (z >= 0) is seen from outside, from +z.
    for (const Case& c : {Case{"sphere_normals", MODEL_TYPE_SPHERE, &sphere, oblique(1)},
                          Case{"box_normals", MODEL_TYPE_BOX, &box, oblique(1)},
                          Case{"half_sphere_normals", MODEL_TYPE_DEMISPHERE, &half, oblique(-1)}}) {
        SCOPED_TRACE(c.name);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL, RENDER_STATEBLOCK | RENDER_ZTEST | RENDER_ZWRITE);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->ConstructFromModel(c.type, c.record), eOK);
        for (uint32_t v = 0; v < o->m_dwVertexCount; ++v) {
            const VECTOR3D n = o->GetVertexNormal(v);
            auto byte = [](float f) { return static_cast<uint32_t>(std::lround((f * 0.5f + 0.5f) * 255.0f)); };
            o->SetVertexColor(v, 0xFF000000u | byte(n.x) << 16 | byte(n.y) << 8 | byte(n.z));
        }
        const auto frame = Draw(o, c.view);
        Keep(frame, c.name);
        const VECTOR3D d = c.view.ez;
        // The frontmost surface at the middle faces the viewer (-d).
        const uint8_t* p = Pixel(frame, kWidth / 2, kHeight / 2);
        const VECTOR3D n{p[0] / 127.5f - 1.0f, p[1] / 127.5f - 1.0f, p[2] / 127.5f - 1.0f};
        if (c.type == MODEL_TYPE_BOX) {
            // The nearest face there is -z, tilted from the viewer.
            EXPECT_GT(Dot(n, Scale(d, -1)), 0.4f);
        } else {
            EXPECT_GT(Dot(n, Scale(d, -1)), 0.95f) << n.x << " " << n.y << " " << n.z;
        }
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }

    // Surfaces without a simple silhouette, seen from above: the dish, the
    // field and a tube with computed smooth normals. Their middles are drawn
    // and face up (+y) rather than down.
    MODEL_PARABOLA dish{2.0f, 32, 1.5f, 0.35f, 8, 2, 0xFFFFFFFFu, 0};
    MODEL_RANDOM_PLANE field{4.0f, 24, 0.0f, 0.6f, 1, 0, 0, 1, 1};
    MODEL_CYLINDER tube{2.0f, 2.0f, 2.5f, 0, 24, 0, 0, 0xFFFFFFFFu, 0, 1, 1};
    const View above{Scale(VECTOR3D{2, 0, -1}, 1.0f / std::sqrt(5.0f)),
                     Scale(VECTOR3D{1, 5, 2}, 1.0f / std::sqrt(30.0f)),
                     Scale(VECTOR3D{-1, 1, -2}, -1.0f / std::sqrt(6.0f)), 60};
    struct Surface {
        const char* name;
        uint32_t type;
        void* record;
        uint32_t flags;
    };
    INIT_RANDOM_INTERNAL(shared.get(), 5);
    for (const Surface& c : {Surface{"parabola_normals", MODEL_TYPE_PARABOLA, &dish, 0},
                             Surface{"random_plane_normals", MODEL_TYPE_RANDOM_PLANE, &field, 0},
                             Surface{"cylinder_normals", MODEL_TYPE_CYLINDER, &tube, OBJ_COMPUTE_NORMALS_SMOOTH}}) {
        SCOPED_TRACE(c.name);
        C3DObject* o = device.Create3DObject(OBJ_NORMAL | c.flags, RENDER_STATEBLOCK | RENDER_ZTEST | RENDER_ZWRITE);
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->ConstructFromModel(c.type, c.record), eOK);
        for (uint32_t v = 0; v < o->m_dwVertexCount; ++v) {
            const VECTOR3D n = o->GetVertexNormal(v);
            auto byte = [](float f) { return static_cast<uint32_t>(std::lround((f * 0.5f + 0.5f) * 255.0f)); };
            o->SetVertexColor(v, 0xFF000000u | byte(n.x) << 16 | byte(n.y) << 8 | byte(n.z));
        }
        const auto frame = Draw(o, above);
        Keep(frame, c.name);
        if (c.type != MODEL_TYPE_CYLINDER) {
            EXPECT_GT(Pixel(frame, kWidth / 2, kHeight / 2)[1], 128);
        }
        EXPECT_TRUE(Lit(frame, kWidth / 2, kHeight / 2));
        EXPECT_EQ(device.Delete3DObject(o), eOK);
    }
}

// A merged object draws every source part where it was, each with its own
// texture, and holds its own use of each texture.
TEST_F(ModelsRenderTest, MergeDrawsEveryPartWithItsTexture) {
    auto solid = [&](uint8_t r, uint8_t g, uint8_t b, const char* name) {
        C3DTexture* t = device.CreateTexture(0, 0);
        uint8_t pixels[2 * 2 * 4];
        for (int i = 0; i < 4; ++i) {
            pixels[4 * i] = r;
            pixels[4 * i + 1] = g;
            pixels[4 * i + 2] = b;
            pixels[4 * i + 3] = 255;
        }
        EXPECT_EQ(t->MakeTextureFromRaw(2, 2, 32, pixels, name), eOK);
        return t;
    };
    C3DTexture* orange = solid(255, 128, 0, "orange");
    C3DTexture* teal = solid(0, 128, 128, "teal");
    MODEL_BOX box{0.6f, 0.6f, 0.6f, 0, 0xFFFFFFFFu, 0, 1, 1};
    MODEL_DISK disk{1.2f, 32, 0.0f, 0, 0, 0xFFFFFFFFu, 0, 1, 1};
    C3DObject* left = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    C3DObject* right = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    ASSERT_EQ(left->ConstructFromModel(MODEL_TYPE_BOX, &box), eOK);
    ASSERT_EQ(right->ConstructFromModel(MODEL_TYPE_DISK, &disk), eOK);
    ASSERT_EQ(left->SetTexture(orange, eALL_SUBOBJECTS, 0), eOK);  // each of six slots takes a use
    ASSERT_EQ(right->SetOneTexture(teal, 0, 0), eOK);
    // The slots hold the textures now: the creation uses go back.
    device.DeleteTexture(orange);
    device.DeleteTexture(teal);
    shared->m_pMaths3D->_MATRIX3DTranslationXYZ(&left->m_matMatrix, -1.2f, 0, 0);
    shared->m_pMaths3D->_MATRIX3DTranslationXYZ(&right->m_matMatrix, 1.2f, 0, 0);

    C3DObject* merged = device.Create3DObject(OBJ_NORMAL, RENDER_TEXTURE1);
    C3DObject* sources[2] = {left, right};
    ASSERT_EQ(merged->ConstructFromObjects(sources, 2), eOK);
    ASSERT_EQ(merged->m_dwSubObjectCount, 7u);
    for (uint32_t sub = 0; sub < 6; ++sub) EXPECT_EQ(merged->GetOneTexture(sub, 0), orange);
    EXPECT_EQ(merged->GetOneTexture(6, 0), teal);

    // Only the merged object is drawn, at its own identity matrix.
    const auto frame = Draw(merged, kFront);
    Keep(frame, "merged");
    auto colour = [&](float u, float v) {
        const uint8_t* p = Pixel(frame, kWidth / 2 + static_cast<int>(u * 60), kHeight / 2 + static_cast<int>(v * 60));
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(colour(-1.2f, 0), (std::array<int, 3>{255, 128, 0}));
    EXPECT_EQ(colour(-1.2f, 0.5f), (std::array<int, 3>{255, 128, 0}));
    EXPECT_EQ(colour(1.2f, 0), (std::array<int, 3>{0, 128, 128}));
    EXPECT_EQ(colour(1.2f, -0.5f), (std::array<int, 3>{0, 128, 128}));
    EXPECT_EQ(colour(0, 0), (std::array<int, 3>{0, 0, 0}));

    // The sources and the merged object go in any order; the textures last
    // exactly as long as their users.
    EXPECT_EQ(device.Delete3DObject(left), eOK);
    EXPECT_EQ(device.Delete3DObject(right), eOK);
    EXPECT_EQ(merged->GetOneTexture(6, 0), teal);
    const auto again = Draw(merged, kFront);
    EXPECT_EQ(Pixel(again, kWidth / 2 + 72, kHeight / 2)[2], 128);
    EXPECT_EQ(device.Delete3DObject(merged), eOK);
    size_t left_over = 0;
    for (void* p = device.m_plistTextures->GetFirst(); p; p = device.m_plistTextures->GetNext()) ++left_over;
    EXPECT_EQ(left_over, 0u);
}

}  // namespace
