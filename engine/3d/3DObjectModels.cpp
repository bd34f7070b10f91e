// Procedural models and merges. Every builder follows the construction
// protocol on the object itself: InitConstruct, BeginConstruct, indices,
// SetVertex for each vertex, the sub-object records, EndConstruct(true).
#include "engine/3d/3DObjectModels.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/3DObjectPrivate.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/Random.h"
#include "engine/world/SharedInfos.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kNormalBits = OBJ_COMPUTE_NORMALS | OBJ_COMPUTE_NORMALS_SMOOTH;
// The cull mode the arrows and the frustum store; drawn unculled.
constexpr uint32_t kNoCullMode = 0xFFFFFFFFu;

const VECTOR3D kZero3{0.0f, 0.0f, 0.0f};
const VECTOR2D kZero2{0.0f, 0.0f};

VECTOR3D V3(double x, double y, double z) {
    return VECTOR3D{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}
VECTOR2D V2(double u, double v) { return VECTOR2D{static_cast<float>(u), static_cast<float>(v)}; }

// Built models: none wins, then clockwise, then counter-clockwise.
uint32_t BuiltCull(uint32_t renderFlags) {
    if (renderFlags & RENDER_CULL_NONE) return CULL_NONE;
    if (renderFlags & RENDER_CULL_CW) return CULL_CW;
    if (renderFlags & RENDER_CULL_CCW) return CULL_CCW;
    return CULL_NONE;
}

// Whether the counts fit the object's limits; computed wide so that no
// count wraps to a small one.
bool Fits(uint64_t vertices, uint64_t indices) { return vertices <= eOBJ_MAX_VERTICES && indices <= eOBJ_MAX_INDICES; }

// InitConstruct for one model, then the indices opened.
eRESULT Begin(C3DObject& o, uint32_t subObjects, uint64_t vertices, uint64_t indices) {
    if (!Fits(vertices, indices)) return eFAILED;
    if (eFAILURE(o.InitConstruct(subObjects, static_cast<uint32_t>(vertices), static_cast<uint32_t>(indices))))
        return eFAILED;
    return o.BeginConstruct();
}

// The single sub-object of a model over all its vertices and indices, then
// the end of construction with the render state.
eRESULT Finish(C3DObject& o, uint32_t vertices, uint32_t indices, uint32_t primitives, uint32_t type,
               uint32_t cull) {
    o.SetSubObjParsingEx(0, 0, vertices, 0, indices, primitives, type, cull, eNO_VALUE);
    o.EndConstruct(true);
    return eOK;
}

eRESULT BuildSphere(C3DObject& o, MODEL_SPHERE* m, bool half) {
    if (m->dwSegments < 3) m->dwSegments = 3;
    if (m->dwSegments > 255) m->dwSegments = 255;
    const uint32_t n = m->dwSegments;
    const uint32_t vertices = n * n + 2 * n - 1;
    const uint32_t indices = 6 * n * (n - 1);
    o.m_dwFlags &= ~kNormalBits;
    if (eFAILURE(Begin(o, 1, vertices, indices))) return eFAILED;

    const double r = m->fRadius;
    const double step = (half ? kPi : 2.0 * kPi) / n;
    const double sign = half ? -1.0 : 1.0;  // the half sphere turned half a turn about y
    uint32_t v = 0;
    for (uint32_t i = 0; i < n; ++i)
        o.SetVertex(v++, V3(0, r, 0), m->dwColor, V2(double(i) / n, 0), V3(0, 1, 0), m->dwSpecular);
    for (uint32_t j = 1; j < n; ++j) {
        const double phi = kPi / 2 + j * kPi / n;
        for (uint32_t k = 0; k <= n; ++k) {
            const double theta = k * step;
            const double nx = sign * std::cos(phi) * std::cos(theta), ny = std::sin(phi),
                         nz = sign * std::cos(phi) * std::sin(theta);
            o.SetVertex(v++, V3(r * nx, r * ny, r * nz), m->dwColor, V2(double(k) / n, double(j) / n),
                        V3(nx, ny, nz), m->dwSpecular);
        }
    }
    for (uint32_t i = 0; i < n; ++i)
        o.SetVertex(v++, V3(0, -r, 0), m->dwColor, V2(double(i) / n, 1), V3(0, -1, 0), m->dwSpecular);

    auto ring = [n](uint32_t j) { return n + (j - 1) * (n + 1); };
    uint32_t k = 0;
    auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
        o.SetIndex(k++, a);
        o.SetIndex(k++, b);
        o.SetIndex(k++, c);
    };
    for (uint32_t i = 0; i < n; ++i) triangle(i, n + i + 1, n + i);
    for (uint32_t j = 1; j + 1 < n; ++j) {
        for (uint32_t l = 0; l < n; ++l) {
            const uint32_t a = ring(j) + l, b = ring(j + 1) + l;
            triangle(a, b + 1, b);
            triangle(a, a + 1, b + 1);
        }
    }
    const uint32_t south = n * n + n - 1;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t a = ring(n - 1) + i;
        triangle(a, a + 1, south + i);
    }
    return Finish(o, vertices, indices, indices / 3, PRIM_TRIANGLELIST, BuiltCull(o.m_dwFlags2));
}

eRESULT BuildPlane(C3DObject& o, MODEL_PLANE* m) {
    // No cells would divide by zero.
    if (m->dwColumns < 1) m->dwColumns = 1;
    if (m->dwRows < 1) m->dwRows = 1;
    const uint64_t nx = m->dwColumns, ny = m->dwRows;
    if (nx > eOBJ_MAX_VERTICES || ny > eOBJ_MAX_VERTICES) return eFAILED;
    const uint64_t vertices = (nx + 1) * (ny + 1), indices = 6 * nx * ny;
    o.m_dwFlags &= ~kNormalBits;
    if (eFAILURE(Begin(o, 1, vertices, indices))) return eFAILED;

    const double dx = double(m->fWidth) / nx, dy = double(m->fDepth) / ny;
    const double hx = nx * dx / 2, hy = ny * dy / 2;
    for (uint64_t i = 0; i <= ny; ++i) {
        for (uint64_t j = 0; j <= nx; ++j) {
            const double a = j * dx - hx, b = i * dy - hy;
            VECTOR3D position, normal;
            switch (m->dwOrientation) {
                case 1:
                    position = V3(0, -b, a);
                    normal = V3(1, 0, 0);
                    break;
                case 2:
                    position = V3(a, 0, -b);
                    normal = V3(0, 1, 0);
                    break;
                default:
                    position = V3(a, -b, 0);
                    normal = V3(0, 0, -1);
                    break;
            }
            const VECTOR2D uv = V2(double(j) / nx * m->fUScale, double(i) / nx * m->fVScale);
            o.SetVertex(static_cast<uint32_t>(j + i * (nx + 1)), position, m->dwColor, uv, normal, m->dwSpecular);
        }
    }
    uint32_t k = 0;
    const uint32_t row = static_cast<uint32_t>(nx + 1);
    for (uint32_t j = 0; j < nx; ++j) {
        for (uint32_t r = 0; r < ny; ++r) {
            const uint32_t v = r * row + j;
            const uint32_t t[6] = {v + row, v, v + 1, v + row, v + 1, v + row + 1};
            for (uint32_t x : t) o.SetIndex(k++, x);
        }
    }
    return Finish(o, static_cast<uint32_t>(vertices), static_cast<uint32_t>(indices),
                  static_cast<uint32_t>(2 * nx * ny), PRIM_TRIANGLELIST, BuiltCull(o.m_dwFlags2));
}

eRESULT BuildBox(C3DObject& o, MODEL_BOX* m) {
    o.m_dwFlags &= ~kNormalBits;
    if (eFAILURE(Begin(o, 6, 24, 24))) return eFAILED;
    for (uint32_t i = 0; i < 24; ++i) o.SetIndex(i, i % 4);

    const float w = m->fWidth, h = m->fHeight, d = m->fDepth;
    // Per face: centre C, normal N and the half-edge vectors U (across) and
    // V (up) with U x V along N. The strip runs C-U+V, C-U-V, C+U+V, C+U-V,
    // which winds the engine's face normal outward for both triangles.
    struct FACE {
        VECTOR3D c, n, u, v;
    };
    const VECTOR3D zUpright = {w, 0, 0}, vUpright = {0, h, 0};
    const VECTOR3D zTurned = {0, -h, 0}, vTurned = {w, 0, 0};
    const bool upright = m->dwMapping == 1;
    const FACE faces[6] = {
        {{0, 0, d}, {0, 0, 1}, upright ? zUpright : zTurned, upright ? vUpright : vTurned},
        {{0, 0, -d}, {0, 0, -1}, {-w, 0, 0}, {0, h, 0}},
        {{w, 0, 0}, {1, 0, 0}, {0, 0, -d}, {0, h, 0}},
        {{-w, 0, 0}, {-1, 0, 0}, {0, 0, d}, {0, h, 0}},
        {{0, -h, 0}, {0, -1, 0}, {w, 0, 0}, {0, 0, d}},
        {{0, h, 0}, {0, 1, 0}, {w, 0, 0}, {0, 0, -d}},
    };
    const float us = m->fUScale, vs = m->fVScale;
    const bool mirrored = m->dwMapping > 1;
    const VECTOR2D plain[4] = {{0, 0}, {0, vs}, {us, 0}, {us, vs}};
    const VECTOR2D mirror[4] = {{us, 0}, {us, vs}, {0, 0}, {0, vs}};
    const float su[4] = {-1, -1, 1, 1}, sv[4] = {1, -1, 1, -1};
    for (uint32_t f = 0; f < 6; ++f) {
        const FACE& face = faces[f];
        for (uint32_t i = 0; i < 4; ++i) {
            const VECTOR3D p{face.c.x + su[i] * face.u.x + sv[i] * face.v.x,
                             face.c.y + su[i] * face.u.y + sv[i] * face.v.y,
                             face.c.z + su[i] * face.u.z + sv[i] * face.v.z};
            o.SetVertex(f * 4 + i, p, m->dwColor, mirrored ? mirror[i] : plain[i], face.n, m->dwSpecular);
        }
        o.SetSubObjParsingEx(f, f * 4, 4, f * 4, 4, 2, PRIM_TRIANGLESTRIP, BuiltCull(o.m_dwFlags2), eNO_VALUE);
    }
    o.EndConstruct(true);
    return eOK;
}

eRESULT BuildCylinder(C3DObject& o, MODEL_CYLINDER* m) {
    m->dwBuilt = 1;
    if (m->dwSegments < 3) m->dwSegments = 3;
    const uint64_t n = m->dwSegments;
    if (eFAILURE(Begin(o, 1, 2 * n, 2 * n))) return eFAILED;
    o.SetIndexIncrementaly();

    const double top = 0.5 * m->fTopDiameter, bottom = 0.5 * m->fBottomDiameter, half = 0.5 * m->fHeight;
    for (uint32_t i = 0; i < n; ++i) {
        const double t = double(i) / double(n - 1);  // the last pair repeats the first
        const double e = 2.0 * kPi * t;
        VECTOR3D upper, lower;
        if (m->dwAxis == 2) {
            upper = V3(top * std::cos(e), top * std::sin(e), half);
            lower = V3(bottom * std::cos(e), bottom * std::sin(e), -half);
        } else {
            upper = V3(top * std::sin(e), half, top * std::cos(e));
            lower = V3(bottom * std::sin(e), -half, bottom * std::cos(e));
        }
        VECTOR2D uvUpper = kZero2, uvLower = kZero2;
        if (m->dwTextureMode == 0) {
            const double u = (1.0 - t) * m->fUScale;
            uvUpper = V2(u, 0);
            uvLower = V2(u, m->fV);
        } else if (m->dwTextureMode == 1) {
            uvUpper = V2(1, 0);
        }
        o.SetVertex(2 * i, upper, m->dwColor, uvUpper, V3(0, 1, 0), m->dwSpecular);
        o.SetVertex(2 * i + 1, lower, m->dwColor, uvLower, V3(0, 1, 0), m->dwSpecular);
    }
    return Finish(o, static_cast<uint32_t>(2 * n), static_cast<uint32_t>(2 * n), static_cast<uint32_t>(2 * n - 2),
                  PRIM_TRIANGLESTRIP, BuiltCull(o.m_dwFlags2));
}

eRESULT BuildDisk(C3DObject& o, MODEL_DISK* m) {
    if (m->dwSegments < 3) m->dwSegments = 3;
    const uint64_t n = m->dwSegments;
    o.m_dwFlags &= ~kNormalBits;
    if (eFAILURE(Begin(o, 1, n + 2, n + 2))) return eFAILED;
    o.SetIndexIncrementaly();

    const double q = 0.5 * m->fDiameter, half = 0.5 * m->fHeight;
    // The centre is at (0, H/2, 0) whatever the axis; only the rim and the
    // normal follow it.
    const VECTOR3D centre = V3(0, half, 0);
    VECTOR3D normal;
    switch (m->dwAxis) {
        case 1: normal = V3(1, 0, 0); break;
        case 2: normal = V3(0, 1, 0); break;
        default: normal = V3(0, 0, -1); break;
    }
    o.SetVertex(0, centre, m->dwColor, V2(0.5, 0.5), normal, m->dwSpecular);
    for (uint32_t k = 1; k <= n + 1; ++k) {
        const double a = k * 2.0 * kPi / n;  // the last repeats the first
        VECTOR3D p;
        switch (m->dwAxis) {
            case 1:
                p = V3(-half, q * std::cos(a), q * std::sin(a));
                break;
            case 2:
                p = V3(q * std::sin(a), -half, q * std::cos(a));
                break;
            default:
                p = V3(q * std::sin(a), q * std::cos(a), -half);
                break;
        }
        VECTOR2D uv = kZero2;
        if (m->dwTextureMode <= 1)
            uv = V2(0.5 + 0.5 * std::cos(a - kPi / 2) * m->fUScale, 0.5 + 0.5 * std::sin(a - kPi / 2) * m->fVScale);
        o.SetVertex(k, p, m->dwColor, uv, normal, m->dwSpecular);
    }
    return Finish(o, static_cast<uint32_t>(n + 2), static_cast<uint32_t>(n + 2), static_cast<uint32_t>(n),
                  PRIM_TRIANGLEFAN, BuiltCull(o.m_dwFlags2));
}

eRESULT BuildArrows(C3DObject& o, MODEL_ARROW* m) {
    if (eFAILURE(Begin(o, 1, 6, 6))) return eFAILED;
    o.SetIndexIncrementaly();
    const double l = m->fLength;
    const VECTOR3D ends[3] = {V3(l, 0, 0), V3(0, l, 0), V3(0, 0, l)};
    const uint32_t colors[3] = {m->dwColorX, m->dwColorY, m->dwColorZ};
    for (uint32_t a = 0; a < 3; ++a) {
        o.SetVertex(2 * a, kZero3, colors[a], kZero2, kZero3, 0);
        o.SetVertex(2 * a + 1, ends[a], colors[a], kZero2, kZero3, 0);
    }
    return Finish(o, 6, 6, 3, PRIM_LINELIST, kNoCullMode);
}

eRESULT BuildFrustum(C3DObject& o, MODEL_FRUSTRUM* m) {
    // No sides would divide the turn by zero.
    if (m->dwSides < 3) m->dwSides = 3;
    const uint64_t s = m->dwSides;
    if (eFAILURE(Begin(o, 1, s + 2, s + 2))) return eFAILED;
    o.SetIndexIncrementaly();

    const double d0 = m->fNear, d1 = m->fFar;
    o.SetVertex(0, V3(0, 0, -d0), m->dwApexColor, kZero2, kZero3, 0);
    if (s == 4) {
        const SHARED_INFOS* si = o.m_pSharedInfos;
        const double w = std::tan(double(m->fAngle)) * d1;
        const double aspect = si && si->m_wHeight ? double(si->m_wWidth) / si->m_wHeight : 1.0;
        const double h = w * aspect;
        for (uint32_t k = 1; k <= 5; ++k) {
            const double a = (2.0 * k + 1.0) * kPi / 4.0;  // 3/4, 5/4 .. 11/4 of pi
            o.SetVertex(k, V3(w * std::cos(a), h * std::sin(a), d1 - d0), m->dwRimColor, kZero2, kZero3, 0);
        }
    } else {
        const double rho = 0.5 * m->fAngle * d1;
        for (uint32_t k = 1; k <= s + 1; ++k) {
            const double a = k * 2.0 * kPi / s + kPi / 2;
            o.SetVertex(k, V3(rho * std::cos(a), rho * std::sin(a), d1 - d0), m->dwRimColor, kZero2, kZero3, 0);
        }
    }
    return Finish(o, static_cast<uint32_t>(s + 2), static_cast<uint32_t>(s + 2), static_cast<uint32_t>(s),
                  PRIM_TRIANGLEFAN, kNoCullMode);
}

// Local dish coordinates (across, height, across) to the axis' plane; the
// same turns as the disk, so axis 2 keeps them and the others rotate.
VECTOR3D OnAxis(uint32_t axis, double s1, double h, double s2) {
    switch (axis) {
        case 1:
            return V3(h, s2, s1);
        case 2:
            return V3(s1, h, s2);
        default:
            return V3(s1, s2, -h);
    }
}

eRESULT BuildParabola(C3DObject& o, MODEL_PARABOLA* m) {
    // No ring would make the index count negative.
    if (m->dwRings < 1) m->dwRings = 1;
    const uint64_t segments = m->dwSegments, rings = m->dwRings;
    if (segments > eOBJ_MAX_VERTICES || rings > eOBJ_MAX_VERTICES) return eFAILED;
    const uint64_t vertices = segments * (rings + 1) + 1, indices = 3 * segments * (2 * rings - 1);
    if (eFAILURE(Begin(o, 1, vertices, indices))) return eFAILED;

    const double radius = m->fRadius, height = m->fHeight, ratio = m->fRingRatio;
    const uint32_t axis = m->dwAxis > 2 ? 0 : m->dwAxis;
    auto put = [&](uint32_t v, double rho, double angle) {
        const double s1 = rho * std::sin(angle), s2 = rho * std::cos(angle);
        double y = 0.0, slope = 0.0;
        if (radius != 0.0) {
            y = height * (rho / radius) * (rho / radius);
            slope = 2.0 * height * rho / (radius * radius);
        }
        // The gradient of y = height (r / radius)^2, turned into the dish.
        const double len = std::sqrt(slope * slope + 1.0);
        const VECTOR3D normal = OnAxis(axis, -slope * std::sin(angle) / len, 1.0 / len, -slope * std::cos(angle) / len);
        const VECTOR2D uv = radius != 0.0 ? V2(0.5 + 0.5 * s1 / radius, 0.5 + 0.5 * s2 / radius) : V2(0.5, 0.5);
        o.SetVertex(v, OnAxis(axis, s1, y, s2), m->dwColor, uv, normal, m->dwSpecular);
    };
    put(0, 0.0, 0.0);
    double rho = 0.0;
    for (uint64_t r = 0; r <= rings; ++r) {
        if (r < rings) rho += ratio * (radius - rho);  // the spare last ring repeats the one before
        for (uint64_t s = 0; s < segments; ++s)
            put(static_cast<uint32_t>(1 + r * segments + s), rho, 2.0 * kPi * double(s) / double(segments));
    }

    uint32_t k = 0;
    auto at = [segments](uint64_t r, uint64_t s) { return static_cast<uint32_t>(1 + r * segments + s % segments); };
    auto triangle = [&](uint32_t a, uint32_t b, uint32_t c) {
        o.SetIndex(k++, a);
        o.SetIndex(k++, b);
        o.SetIndex(k++, c);
    };
    for (uint64_t s = 0; s < segments; ++s) triangle(0, at(0, s), at(0, s + 1));
    for (uint64_t r = 1; r < rings; ++r) {
        for (uint64_t s = 0; s < segments; ++s) {
            triangle(at(r - 1, s), at(r, s), at(r, s + 1));
            triangle(at(r - 1, s), at(r, s + 1), at(r - 1, s + 1));
        }
    }
    return Finish(o, static_cast<uint32_t>(vertices), static_cast<uint32_t>(indices),
                  static_cast<uint32_t>(indices / 3), PRIM_TRIANGLELIST, BuiltCull(o.m_dwFlags2));
}

// The cull mode of a loaded model: none, then counter-clockwise, then
// clockwise, else the model's own.
uint32_t LoadedCull(uint32_t renderFlags, uint32_t own) {
    if (renderFlags & RENDER_CULL_NONE) return CULL_NONE;
    if (renderFlags & RENDER_CULL_CCW) return CULL_CCW;
    if (renderFlags & RENDER_CULL_CW) return CULL_CW;
    return own;
}

eRESULT BuildRandomPlane(C3DObject& o, MODEL_RANDOM_PLANE* m) {
    SHARED_INFOS* si = o.m_pSharedInfos;
    const uint64_t n = m->dwCells;
    if (!si || n == 0 || n > eOBJ_MAX_VERTICES) return eFAILED;
    const uint64_t side = n + 1, vertices = side * side, indices = 6 * n * n;
    if (!Fits(vertices, indices)) return eFAILED;
    const uint32_t N = static_cast<uint32_t>(side);

    float* y = static_cast<float*>(std::malloc(sizeof(float) * vertices));
    if (!y) return eFAILED;
    auto at = [y, N](uint32_t i, uint32_t j) -> float& { return y[i + N * j]; };
    for (uint64_t v = 0; v < vertices; ++v) y[v] = RANOM_INTERNAL(si) * (1.0 / 4294967296.0) < 0.55 ? 0.0f : 100.0f;

    // Two in-place passes of a 3 x 3 blur whose neighbours wrap round; the
    // last row and column hand their values to the first ones, so opposite
    // edges stay equal.
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t j = 0; j < N; ++j) {
            for (uint32_t i = 0; i < N; ++i) {
                float sum = at(i, j);
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di)
                        if (di || dj) sum += at((i + N + di) % N, (j + N + dj) % N);
                const float value = sum / 10.0f;
                at(i, j) = value;
                if (i == N - 1) at(0, j) = value;
                if (j == N - 1) at(i, 0) = value;
                if (i == N - 1 && j == N - 1) at(0, 0) = value;
            }
        }
    }
    const float h0 = m->fHeight0, h1 = m->fHeight1;
    for (uint64_t v = 0; v < vertices; ++v) y[v] = h0 + (1.0f - y[v] / 50.0f) * (h1 - h0);
    if (m->dwKeepBorder == 0) {
        for (uint32_t k = 0; k < N; ++k) at(k, 0) = at(k, N - 1) = at(0, k) = at(N - 1, k) = 0.0f;
    }

    // Loaded as a model would be: geometry, one record, the render state.
    if (eFAILURE(o.InitConstruct(1, static_cast<uint32_t>(vertices), static_cast<uint32_t>(indices))) ||
        eFAILURE(o.BeginConstruct())) {
        std::free(y);
        return eFAILED;
    }
    uint32_t k = 0;
    for (uint32_t j = 0; j < n; ++j) {
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t v = j * N + i;
            const uint32_t t[6] = {v + N, v + 1, v, v + N + 1, v + 1, v + N};
            for (uint32_t x : t) o.SetIndex(k++, x);
        }
    }
    const double c = double(m->fExtent) / n, h = 0.5 * n * c;
    for (uint32_t j = 0; j < N; ++j) {
        for (uint32_t i = 0; i < N; ++i) {
            const VECTOR3D p{static_cast<float>(c * i - h), at(i, j), static_cast<float>(c * j - h)};
            const VECTOR2D uv = V2(double(i) / n * m->fUScale, (1.0 - double(j) / n) * m->fVScale);
            o.SetVertex(i + N * j, p, 0xFFFFFFFFu, uv, kZero3, 0xFFFFFFFFu);
        }
    }
    std::free(y);
    o.SetSubObjParsingEx(0, 0, static_cast<uint32_t>(vertices), 0, static_cast<uint32_t>(indices),
                         static_cast<uint32_t>(2 * n * n), PRIM_TRIANGLELIST, LoadedCull(o.m_dwFlags2, CULL_CCW),
                         eNO_VALUE);
    o.EndConstruct(true);

    // Flat normals, then one normal per pair of opposite edge vertices and
    // one for the four corners, so tiles meet without a seam.
    o.BeginConstruct();
    o.ComputeNormals();
    CMaths3D* maths = si->m_pMaths3D;
    auto share = [&](std::initializer_list<uint32_t> group) {
        VECTOR3D sum = kZero3;
        for (uint32_t v : group) {
            const VECTOR3D n = o.GetVertexNormal(v);
            sum = VECTOR3D{sum.x + n.x, sum.y + n.y, sum.z + n.z};
        }
        VECTOR3D unit = maths ? maths->_VECTOR3DNormalize(&sum) : sum;
        for (uint32_t v : group) o.SetVertexNormal(v, &unit);
    };
    const uint32_t last = N - 1;
    for (uint32_t i = 0; i < N; ++i) share({i, i + N * last});
    for (uint32_t j = 0; j < N; ++j) share({N * j, last + N * j});
    share({0, last, N * last, last + N * last});
    o.EndConstruct(false);
    return eOK;
}

// A merged sub-object: the source's render flags as for built models, else
// the source's own cull mode.
uint32_t MergedCull(uint32_t renderFlags, uint32_t own) {
    return renderFlags & (RENDER_CULL_NONE | RENDER_CULL_CW | RENDER_CULL_CCW) ? BuiltCull(renderFlags) : own;
}

// Whether `objects` names `count` objects, none of them `self`.
bool ValidSources(C3DObject* self, C3DObject** objects, uint32_t count) {
    if (count && !objects) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!objects[i] || objects[i] == self) return false;
    return true;
}

uint32_t IndexCountOf(const C3DObject* o) { return o->m_pIndex ? o->m_pIndex->m_dwIndexCount : 0; }

VECTOR3D Transformed(const C3DObject* source, CMaths3D* maths, const VECTOR3D& p) {
    if (!source->m_pCurrentMatrix || !maths) return p;
    return maths->_VECTOR3DTransformCoord(&p, source->m_pCurrentMatrix);
}

}  // namespace

eRESULT C3DObjectPrivate::ConstructFromModel(uint32_t model, void* parameters) {
    if (!parameters) return eFAILED;
    switch (model) {
        case MODEL_TYPE_SPHERE:
            return BuildSphere(*this, static_cast<MODEL_SPHERE*>(parameters), false);
        case MODEL_TYPE_DEMISPHERE:
            return BuildSphere(*this, static_cast<MODEL_SPHERE*>(parameters), true);
        case MODEL_TYPE_DISK:
            return BuildDisk(*this, static_cast<MODEL_DISK*>(parameters));
        case MODEL_TYPE_PLANE:
            return BuildPlane(*this, static_cast<MODEL_PLANE*>(parameters));
        case MODEL_TYPE_BOX:
            return BuildBox(*this, static_cast<MODEL_BOX*>(parameters));
        case MODEL_TYPE_ARROW:
            return BuildArrows(*this, static_cast<MODEL_ARROW*>(parameters));
        case MODEL_TYPE_FRUSTRUM:
            return BuildFrustum(*this, static_cast<MODEL_FRUSTRUM*>(parameters));
        case MODEL_TYPE_RANDOM_PLANE:
            return BuildRandomPlane(*this, static_cast<MODEL_RANDOM_PLANE*>(parameters));
        case MODEL_TYPE_CYLINDER:
            return BuildCylinder(*this, static_cast<MODEL_CYLINDER*>(parameters));
        case MODEL_TYPE_PARABOLA:
            return BuildParabola(*this, static_cast<MODEL_PARABOLA*>(parameters));
        default:
            return eFAILED;
    }
}

eRESULT C3DObjectPrivate::ConstructFromObjects(C3DObject** objects, uint32_t count) {
    // Checked before this object is emptied: a source missing, or this
    // object itself among them, would leave nothing to copy from.
    if (!ValidSources(this, objects, count)) return eFAILED;
    uint64_t subObjects = 0, vertices = 0, indices = 0;
    for (uint32_t s = 0; s < count; ++s) {
        subObjects += objects[s]->m_dwSubObjectCount;
        vertices += objects[s]->m_dwVertexCount;
        indices += IndexCountOf(objects[s]);
        if (subObjects > eOBJ_MAX_SUBOBJECTS || !Fits(vertices, indices)) return eFAILED;
    }
    if (eFAILURE(Unload())) return eFAILED;
    m_dwFlags &= ~kNormalBits;
    if (eFAILURE(InitConstruct(static_cast<uint32_t>(subObjects), static_cast<uint32_t>(vertices),
                               static_cast<uint32_t>(indices))))
        return eFAILED;
    BeginConstruct();

    CMaths3D* maths = m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr;
    uint32_t indexBase = 0, vertexBase = 0;
    for (uint32_t s = 0; s < count; ++s) {
        C3DObject* source = objects[s];
        const uint32_t n = IndexCountOf(source);
        source->BeginConstruct();
        for (uint32_t k = 0; k < n; ++k) SetIndex(indexBase + k, source->GetIndex(k));
        source->EndConstruct(false);
        indexBase += n;
    }
    for (uint32_t s = 0; s < count; ++s) {
        C3DObject* source = objects[s];
        for (uint32_t v = 0; v < source->m_dwVertexCount; ++v) {
            VECTOR3D position = kZero3, normal = kZero3;
            VECTOR2D uv = kZero2;
            uint32_t color = 0, specular = 0;
            source->GetVertex(v, &position, &color, &uv, &normal, &specular);
            SetVertex(vertexBase + v, Transformed(source, maths, position), color, uv, normal, specular);
        }
        vertexBase += source->m_dwVertexCount;
    }

    uint32_t subBase = 0;
    indexBase = vertexBase = 0;
    for (uint32_t s = 0; s < count; ++s) {
        C3DObject* source = objects[s];
        for (uint32_t sub = 0; sub < source->m_dwSubObjectCount; ++sub) {
            ATTRIBUT a{};
            source->GetSubObjParsing(sub, &a);
            const uint32_t target = subBase + sub;
            // The order names a record of the source: it moves with the
            // source's records, or the merged object would draw another's.
            SetSubObjParsingEx(target, a.dwVertexStart + vertexBase, a.dwVertexCount, a.dwIndexStart + indexBase,
                               a.dwIndexCount, a.dwPrimitiveCount, a.dwPrimitiveType,
                               MergedCull(source->m_dwFlags2, a.dwCullMode), a.dwOrder + subBase);
            if (m_pMaterials && source->m_pMaterials) m_pMaterials[target] = source->m_pMaterials[sub];
            for (uint32_t unit = 0; unit < 2; ++unit) {
                C3DTexture* texture = source->GetOneTexture(sub, unit);
                SetOneTexture(texture, target, unit);  // takes its own use
            }
        }
        subBase += source->m_dwSubObjectCount;
        vertexBase += source->m_dwVertexCount;
        indexBase += IndexCountOf(source);
    }
    EndConstruct(true);
    return eOK;
}

eRESULT C3DObjectPrivate::ConstructFromObjectsNormals(C3DObject** objects, uint32_t count, float length,
                                                      uint32_t color) {
    if (!ValidSources(this, objects, count)) return eFAILED;
    uint64_t total = 0;
    for (uint32_t s = 0; s < count; ++s) {
        total += objects[s]->m_dwVertexCount;
        if (!Fits(2 * total, 2 * total)) return eFAILED;
    }
    if (eFAILURE(Unload())) return eFAILED;
    m_dwFlags &= ~kNormalBits;
    const uint32_t lines = static_cast<uint32_t>(total);
    if (eFAILURE(InitConstruct(1, 2 * lines, 2 * lines))) return eFAILED;
    BeginConstruct();
    SetIndexIncrementaly();

    CMaths3D* maths = m_pSharedInfos ? m_pSharedInfos->m_pMaths3D : nullptr;
    uint32_t line = 0;
    for (uint32_t s = 0; s < count; ++s) {
        C3DObject* source = objects[s];
        source->BeginConstruct();
        for (uint32_t v = 0; v < source->m_dwVertexCount; ++v, ++line) {
            const VECTOR3D p = Transformed(source, maths, source->GetVertexPosition(v));
            const VECTOR3D n = source->GetVertexNormal(v);
            const VECTOR3D tip{p.x + length * n.x, p.y + length * n.y, p.z + length * n.z};
            SetVertex(2 * line, p, color, kZero2, kZero3, 0);
            SetVertex(2 * line + 1, tip, color, kZero2, kZero3, 0);
        }
        source->EndConstruct(false);
    }
    SetSubObjParsingEx(0, 0, 2 * lines, 0, 2 * lines, lines, PRIM_LINELIST, CULL_NONE, eNO_VALUE);
    EndConstruct(true);
    return eOK;
}
