#include "engine/3d/Maths3D.h"

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kHalfPi = kPi * 0.5f;

inline float& At(MATRIX3D* m, int row, int col) { return m->Data()[row * 4 + col]; }
inline float At(const MATRIX3D* m, int row, int col) { return m->Data()[row * 4 + col]; }

inline VECTOR3D Sub(const VECTOR3D& a, const VECTOR3D& b) {
    return VECTOR3D{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline float Dot(const VECTOR3D& a, const VECTOR3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3D Cross(const VECTOR3D& a, const VECTOR3D& b) {
    return VECTOR3D{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Dot2(const VECTOR2D& a, const VECTOR2D& b) { return a.x * b.x + a.y * b.y; }
inline VECTOR2D Sub2(const VECTOR2D& a, const VECTOR2D& b) { return VECTOR2D{a.x - b.x, a.y - b.y}; }

inline VECTOR3D Transform(const VECTOR3D& v, const MATRIX3D& m) {
    return VECTOR3D{v.x * m.m0 + v.y * m.m4 + v.z * m.m8 + m.m12,
                    v.x * m.m1 + v.y * m.m5 + v.z * m.m9 + m.m13,
                    v.x * m.m2 + v.y * m.m6 + v.z * m.m10 + m.m14};
}

inline VECTOR4D Transform4(const VECTOR4D& v, const MATRIX3D& m) {
    return VECTOR4D{v.x * m.m0 + v.y * m.m4 + v.z * m.m8 + v.w * m.m12,
                    v.x * m.m1 + v.y * m.m5 + v.z * m.m9 + v.w * m.m13,
                    v.x * m.m2 + v.y * m.m6 + v.z * m.m10 + v.w * m.m14,
                    v.x * m.m3 + v.y * m.m7 + v.z * m.m11 + v.w * m.m15};
}

inline void SetIdentity(MATRIX3D* m) {
    *m = MATRIX3D{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

// Row `row` of a * b into row `row` of out. The row is computed before it is
// stored, so out may be a (row N of the product only reads row N of a).
inline void MultiplyRow(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b, int row) {
    float r[4];
    for (int j = 0; j < 4; ++j) {
        r[j] = At(a, row, 0) * At(b, 0, j) + At(a, row, 1) * At(b, 1, j) +
               At(a, row, 2) * At(b, 2, j) + At(a, row, 3) * At(b, 3, j);
    }
    for (int j = 0; j < 4; ++j) At(out, row, j) = r[j];
}

// Rows i and k of M become (c * row_i + s * row_k) and (c * row_k - s * row_i):
// the product R * M for a rotation R that only touches those two rows.
inline void RotateRows(MATRIX3D* m, int i, int k, float c, float s) {
    for (int j = 0; j < 4; ++j) {
        float ri = At(m, i, j);
        float rk = At(m, k, j);
        At(m, i, j) = c * ri + s * rk;
        At(m, k, j) = c * rk - s * ri;
    }
}

// atan(num / den), reading a zero denominator as +0 whatever its sign, and
// 0 / 0 as 0. A -0 left by the rotations would otherwise flip the angle by
// pi, and a plain 0 / 0 would give NaN.
inline float AtanOfRatio(float num, float den) {
    if (den == 0.0f) {
        if (num > 0.0f) return kHalfPi;
        if (num < 0.0f) return -kHalfPi;
        return 0.0f;
    }
    return std::atan(num / den);
}

// Value of plane (a, b, c, d) at p; positive is the outer side.
inline float PlaneValue(const float* plane, const VECTOR3D& p) {
    return plane[0] * p.x + plane[1] * p.y + plane[2] * p.z + plane[3];
}

}  // namespace

VECTOR3D _VECTOR3DTransformCoordEx(const VECTOR3D* v, const MATRIX3D* m) { return Transform(*v, *m); }

int _VECTOR3DCheckVisible(const MATRIX3D* m, const VECTOR3D& a, const VECTOR3D& b) {
    const float* r0 = &m->m0;
    const float* r1 = &m->m4;
    const float* r2 = &m->m8;
    const float* r3 = &m->m12;
    float planes[6][4];
    for (int j = 0; j < 4; ++j) {
        planes[0][j] = r0[j] - r3[j];
        planes[1][j] = -r0[j] - r3[j];
        planes[2][j] = r1[j] - r3[j];
        planes[3][j] = -r1[j] - r3[j];
        planes[4][j] = r2[j] - r3[j];
        planes[5][j] = -r2[j] - r3[j];
    }
    bool crossing = false;
    for (const float* plane : planes) {
        // The near end is the one deeper on the inner side. Comparing the two
        // values picks it for a segment in any direction, not only along x.
        float va = PlaneValue(plane, a);
        float vb = PlaneValue(plane, b);
        float nearValue = va < vb ? va : vb;
        float farValue = va < vb ? vb : va;
        if (nearValue > 0.0f) return 0;
        if (farValue >= 0.0f) crossing = true;
    }
    return crossing ? 1 : 2;
}

CMaths3D::CMaths3D() = default;
CMaths3D::~CMaths3D() = default;

VECTOR2D CMaths3D::_VECTOR2DNormalize(const VECTOR2D* v) {
    float len = _VECTOR2DLength(v);
    if (len == 0.0f) return *v;
    float r = 1.0f / len;
    return VECTOR2D{v->x * r, v->y * r};
}

float CMaths3D::_VECTOR2DLength(const VECTOR2D* v) { return std::sqrt(v->x * v->x + v->y * v->y); }

VECTOR3D CMaths3D::_VECTOR3DDotProduct(const VECTOR3D* a, const VECTOR3D* b) { return Cross(*a, *b); }

float CMaths3D::_VECTOR3DVec3Dot(const VECTOR3D* a, const VECTOR3D* b) { return Dot(*a, *b); }

VECTOR3D CMaths3D::_VECTOR3DNormalize(const VECTOR3D* v) {
    float len = _VECTOR3DLength(v);
    if (len == 0.0f) return *v;
    return *v / len;
}

float CMaths3D::_VECTOR3DLength(const VECTOR3D* v) { return std::sqrt(Dot(*v, *v)); }

VECTOR3D CMaths3D::_VECTOR3DTransformCoord(const VECTOR3D* v, const MATRIX3D* m) {
    return Transform(*v, *m);
}

float CMaths3D::_VECTOR3DTransformCoordZ(const VECTOR3D* v, const MATRIX3D* m) {
    return v->x * m->m2 + v->y * m->m6 + v->z * m->m10 + m->m14;
}

VECTOR3D CMaths3D::_VECTOR3DVec3Cross(const VECTOR3D* a, const VECTOR3D* b) { return Cross(*a, *b); }

VECTOR3D CMaths3D::_VECTOR3DProject(uint32_t width, uint32_t height, const MATRIX3D* world,
                                    const MATRIX3D* view, const MATRIX3D* proj,
                                    const VECTOR3D* v) {
    MATRIX3D w;
    if (world) {
        w = *world;
    } else {
        SetIdentity(&w);
    }
    VECTOR3D p = Transform(*v, w);
    VECTOR4D q = Transform4(VECTOR4D{p.x, p.y, p.z, 1.0f}, *view);
    VECTOR4D r = Transform4(q, *proj);
    if (r.w == 0.0f) return VECTOR3D{0.0f, 0.0f, -1.0f};
    VECTOR3D n = VECTOR3D{r.x, r.y, r.z} / r.w;
    // Half sizes are whole pixels: an odd width still centres on width / 2.
    float halfW = static_cast<float>(width / 2);
    float halfH = static_cast<float>(height / 2);
    return VECTOR3D{(1.0f + n.x) * halfW, static_cast<float>(height) - (1.0f + n.y) * halfH,
                    (n.z + 1.0f) * 0.5f};
}

VECTOR3D CMaths3D::_VECTOR3DUnProject(uint32_t width, uint32_t height, const MATRIX3D* inverse,
                                      const VECTOR3D* v) {
    VECTOR4D s{2.0f * v->x / static_cast<float>(width) - 1.0f,
               2.0f * v->y / static_cast<float>(height) - 1.0f, 2.0f * v->z - 1.0f, 1.0f};
    VECTOR4D r = Transform4(s, *inverse);
    if (r.w == 0.0f) return VECTOR3D{0.0f, 0.0f, 0.0f};
    return VECTOR3D{r.x, r.y, r.z} / r.w;
}

void CMaths3D::_VECTOR3DLimit(VECTOR3D* v, const VECTOR3D* upper, const VECTOR3D* lower) {
    *v = _VECTOR3DLimitEx(v, upper, lower);
}

VECTOR3D CMaths3D::_VECTOR3DLimitEx(const VECTOR3D* v, const VECTOR3D* upper,
                                    const VECTOR3D* lower) {
    VECTOR3D r = *v;
    if (r.x < lower->x) r.x = lower->x;
    if (r.y < lower->y) r.y = lower->y;
    if (r.z < lower->z) r.z = lower->z;
    if (r.x > upper->x) r.x = upper->x;
    if (r.y > upper->y) r.y = upper->y;
    if (r.z > upper->z) r.z = upper->z;
    return r;
}

int CMaths3D::_VECTOR3DIsVisible(const MATRIX3D* view, const MATRIX3D* proj,
                                 const VECTOR3D* centre, float radius) {
    MATRIX3D vp;
    _MATRIX3DMultiply(&vp, view, proj);
    _MATRIX3DTranspose(&vp, &vp);
    const VECTOR3D& c = *centre;
    if (_VECTOR3DCheckVisible(&vp, VECTOR3D{c.x - radius, c.y, c.z},
                              VECTOR3D{c.x + radius, c.y, c.z}))
        return 1;
    if (_VECTOR3DCheckVisible(&vp, VECTOR3D{c.x, c.y - radius, c.z},
                              VECTOR3D{c.x, c.y + radius, c.z}))
        return 1;
    if (_VECTOR3DCheckVisible(&vp, VECTOR3D{c.x, c.y, c.z - radius},
                              VECTOR3D{c.x, c.y, c.z + radius}))
        return 1;
    return 0;
}

float CMaths3D::_VECTOR3DGetDistanceFromLine(const VECTOR3D* p, const VECTOR3D* a,
                                             const VECTOR3D* b) {
    VECTOR3D pa = Sub(*p, *a);
    VECTOR3D pb = Sub(*p, *b);
    VECTOR3D ab = Sub(*a, *b);
    float da2 = Dot(pa, pa);
    float db2 = Dot(pb, pb);
    float len = std::sqrt(Dot(ab, ab));
    // A segment of no length is a point (the division below would give NaN
    // and every comparison would fail through to 0).
    if (len == 0.0f) return std::sqrt(da2);
    // Projection of p - a on the segment, by the law of cosines.
    float g = (da2 + len * len - db2) / (2.0f * len);
    if (g < 0.0f) return std::sqrt(da2);
    if (len < g) return std::sqrt(db2);
    // For a point on the line rounding can leave da2 - g^2 a hair below 0.
    float h2 = da2 - g * g;
    return h2 > 0.0f ? std::sqrt(h2) : 0.0f;
}

VECTOR4D CMaths3D::_VECTOR4DTransformCoord(const VECTOR4D* v, const MATRIX3D* m) {
    return Transform4(*v, *m);
}

void CMaths3D::_MATRIX3DPreTransform(MATRIX3D* m) { SetIdentity(m); }

float CMaths3D::_MATRIX3DGetDeterminant(const MATRIX3D* m) {
    // Expansion by the 2x2 minors of the top two and bottom two rows.
    const float* e = m->Data();
    float s0 = e[0] * e[5] - e[1] * e[4];
    float s1 = e[0] * e[6] - e[2] * e[4];
    float s2 = e[0] * e[7] - e[3] * e[4];
    float s3 = e[1] * e[6] - e[2] * e[5];
    float s4 = e[1] * e[7] - e[3] * e[5];
    float s5 = e[2] * e[7] - e[3] * e[6];
    float c5 = e[10] * e[15] - e[11] * e[14];
    float c4 = e[9] * e[15] - e[11] * e[13];
    float c3 = e[9] * e[14] - e[10] * e[13];
    float c2 = e[8] * e[15] - e[11] * e[12];
    float c1 = e[8] * e[14] - e[10] * e[12];
    float c0 = e[8] * e[13] - e[9] * e[12];
    return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}

VECTOR3D CMaths3D::_MATRIX3DGetPosition(const MATRIX3D* m) {
    return VECTOR3D{m->m12, m->m13, m->m14};
}

void CMaths3D::_MATRIX3DSetPosition(MATRIX3D* m, const VECTOR3D* v) {
    m->m12 = v->x;
    m->m13 = v->y;
    m->m14 = v->z;
}

void CMaths3D::_MATRIX3DSetPositionXYZ(MATRIX3D* m, float x, float y, float z) {
    m->m12 = x;
    m->m13 = y;
    m->m14 = z;
}

void CMaths3D::_MATRIX3DIdentity(MATRIX3D* m) { SetIdentity(m); }

bool CMaths3D::_MATRIX3DIsIdentity(const MATRIX3D* m) {
    MATRIX3D id;
    SetIdentity(&id);
    return _MATRIX3DIsEquals(m, &id);
}

bool CMaths3D::_MATRIX3DIsEquals(const MATRIX3D* a, const MATRIX3D* b) {
    for (int i = 0; i < 16; ++i) {
        if (a->Data()[i] != b->Data()[i]) return false;
    }
    return true;
}

void CMaths3D::_MATRIX3DTranspose(MATRIX3D* out, const MATRIX3D* m) {
    MATRIX3D src = *m;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) At(out, i, j) = At(&src, j, i);
    }
}

void CMaths3D::_MATRIX3DMultiply(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b) {
    // Writing out row by row would clobber an aliased operand: copy it first.
    MATRIX3D ca, cb;
    if (a == out) {
        ca = *a;
        a = &ca;
    }
    if (b == out) {
        cb = *b;
        b = &cb;
    }
    _MATRIX3DMultiplyCol0(out, a, b);
    _MATRIX3DMultiplyCol1(out, a, b);
    _MATRIX3DMultiplyCol2(out, a, b);
    _MATRIX3DMultiplyCol3(out, a, b);
}

void CMaths3D::_MATRIX3DInverse(MATRIX3D* m) {
    float inverseDeterminant;
    _MATRIX3DInverse(m, &inverseDeterminant, m);
}

void CMaths3D::_MATRIX3DInverse(MATRIX3D* out, float* inverseDeterminant, const MATRIX3D* m) {
    const MATRIX3D s = *m;  // out may be m
    float d = 1.0f / _MATRIX3DGetDeterminant(&s);
    MATRIX3D r;
    r.m0 = d * (s.m5 * s.m10 - s.m6 * s.m9);
    r.m1 = d * (s.m2 * s.m9 - s.m1 * s.m10);
    r.m2 = d * (s.m1 * s.m6 - s.m2 * s.m5);
    r.m4 = d * (s.m6 * s.m8 - s.m4 * s.m10);
    r.m5 = d * (s.m0 * s.m10 - s.m2 * s.m8);
    r.m6 = d * (s.m2 * s.m4 - s.m0 * s.m6);
    r.m8 = d * (s.m4 * s.m9 - s.m5 * s.m8);
    r.m9 = d * (s.m1 * s.m8 - s.m0 * s.m9);
    r.m10 = d * (s.m0 * s.m5 - s.m1 * s.m4);
    r.m3 = s.m3;
    r.m7 = s.m7;
    r.m11 = s.m11;
    r.m15 = s.m15;
    r.m12 = -(s.m12 * r.m0 + s.m13 * r.m4 + s.m14 * r.m8);
    r.m13 = -(s.m12 * r.m1 + s.m13 * r.m5 + s.m14 * r.m9);
    r.m14 = -(s.m12 * r.m2 + s.m13 * r.m6 + s.m14 * r.m10);
    *out = r;
    if (inverseDeterminant) *inverseDeterminant = d;
}

void CMaths3D::_MATRIX3DNoScaling(MATRIX3D* m) {
    VECTOR3D at = _MATRIX3DGetVECT_AT(m);
    VECTOR3D up = _MATRIX3DGetVECT_UP(m);
    VECTOR3D right = _MATRIX3DGetVECT_RIGHT(m);
    at = _VECTOR3DNormalize(&at);
    up = _VECTOR3DNormalize(&up);
    right = _VECTOR3DNormalize(&right);
    auto isZero = [](const VECTOR3D& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; };
    if (isZero(at) || isZero(up) || isZero(right)) {
        // A collapsed axis leaves no usable basis: fall back to the identity axes.
        at = VECTOR3D{0.0f, 0.0f, 1.0f};
        up = VECTOR3D{0.0f, 1.0f, 0.0f};
        right = VECTOR3D{1.0f, 0.0f, 0.0f};
    }
    _MATRIX3DSetVECT_AT(m, &at);
    _MATRIX3DSetVECT_UP(m, &up);
    _MATRIX3DSetVECT_RIGHT(m, &right);
}

VECTOR3D CMaths3D::_MATRIX3DGetScaling(const MATRIX3D* m) {
    VECTOR3D right = _MATRIX3DGetVECT_RIGHT(m);
    VECTOR3D up = _MATRIX3DGetVECT_UP(m);
    VECTOR3D at = _MATRIX3DGetVECT_AT(m);
    return VECTOR3D{_VECTOR3DLength(&right), _VECTOR3DLength(&up), _VECTOR3DLength(&at)};
}

MATRIX3D* CMaths3D::_MATRIX3DScaling(MATRIX3D* m, float s) { return _MATRIX3DScalingXYZ(m, s, s, s); }

MATRIX3D* CMaths3D::_MATRIX3DScalingEx(MATRIX3D* m, const VECTOR3D* v) {
    return _MATRIX3DScalingXYZ(m, v->x, v->y, v->z);
}

MATRIX3D* CMaths3D::_MATRIX3DScalingXYZ(MATRIX3D* m, float x, float y, float z) {
    // S * M with S diagonal scales the first three rows; the position stays.
    const float k[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) At(m, i, j) *= k[i];
    }
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DTranslationX(MATRIX3D* m, float t) {
    return _MATRIX3DTranslationXYZ(m, t, 0.0f, 0.0f);
}

MATRIX3D* CMaths3D::_MATRIX3DTranslationY(MATRIX3D* m, float t) {
    return _MATRIX3DTranslationXYZ(m, 0.0f, t, 0.0f);
}

MATRIX3D* CMaths3D::_MATRIX3DTranslationZ(MATRIX3D* m, float t) {
    return _MATRIX3DTranslationXYZ(m, 0.0f, 0.0f, t);
}

MATRIX3D* CMaths3D::_MATRIX3DTranslation(MATRIX3D* m, const VECTOR3D* v) {
    return _MATRIX3DTranslationXYZ(m, v->x, v->y, v->z);
}

MATRIX3D* CMaths3D::_MATRIX3DTranslationXYZ(MATRIX3D* m, float x, float y, float z) {
    // T * M only changes the last row: it moves along M's own axes.
    for (int j = 0; j < 4; ++j) {
        At(m, 3, j) += x * At(m, 0, j) + y * At(m, 1, j) + z * At(m, 2, j);
    }
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotation(MATRIX3D* m, const VECTOR3D* angles) {
    _MATRIX3DRotationX(m, angles->x);
    _MATRIX3DRotationY(m, angles->y);
    _MATRIX3DRotationZ(m, angles->z);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationX(MATRIX3D* m, float angle) {
    // R: row 1 = (0, c, s, 0), row 2 = (0, -s, c, 0).
    RotateRows(m, 1, 2, std::cos(angle), std::sin(angle));
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationY(MATRIX3D* m, float angle) {
    // R: row 0 = (c, 0, -s, 0), row 2 = (s, 0, c, 0).
    RotateRows(m, 0, 2, std::cos(angle), -std::sin(angle));
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationZ(MATRIX3D* m, float angle) {
    // R: row 0 = (c, s, 0, 0), row 1 = (-s, c, 0, 0).
    RotateRows(m, 0, 1, std::cos(angle), std::sin(angle));
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationEx(MATRIX3D* m, const VECTOR3D* angles) {
    _MATRIX3DRotationExX(m, angles->x);
    _MATRIX3DRotationExY(m, angles->y);
    _MATRIX3DRotationExZ(m, angles->z);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationExX(MATRIX3D* m, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    MATRIX3D r;
    SetIdentity(&r);
    r.m5 = c;
    r.m6 = s;
    r.m9 = -s;
    r.m10 = c;
    _MATRIX3DMultiply(m, &r, m);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationExY(MATRIX3D* m, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    MATRIX3D r;
    SetIdentity(&r);
    r.m0 = c;
    r.m2 = -s;
    r.m8 = s;
    r.m10 = c;
    _MATRIX3DMultiply(m, &r, m);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DRotationExZ(MATRIX3D* m, float angle) {
    float c = std::cos(angle), s = std::sin(angle);
    MATRIX3D r;
    SetIdentity(&r);
    r.m0 = c;
    r.m1 = s;
    r.m4 = -s;
    r.m5 = c;
    _MATRIX3DMultiply(m, &r, m);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DLookAtLH(MATRIX3D* m, const VECTOR3D* target) {
    VECTOR3D eye = _MATRIX3DGetPosition(m);
    VECTOR3D at = Sub(*target, eye);
    VECTOR3D worldUp{0.0f, 1.0f, 0.0f};
    VECTOR3D right = Cross(worldUp, at);
    VECTOR3D up = Cross(at, right);
    at = _VECTOR3DNormalize(&at);
    right = _VECTOR3DNormalize(&right);
    up = _VECTOR3DNormalize(&up);
    _MATRIX3DSetVECT_RIGHT(m, &right);
    _MATRIX3DSetVECT_UP(m, &up);
    _MATRIX3DSetVECT_AT(m, &at);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DLookAt(MATRIX3D* m, const VECTOR3D* target) {
    return _MATRIX3DLookAtLH(m, target);
}

MATRIX3D* CMaths3D::_MATRIX3DLookAtCamera(MATRIX3D* m, const MATRIX3D* camera) {
    VECTOR3D pos = _MATRIX3DGetPosition(m);
    _MATRIX3DMultiply(m, m, camera);
    _MATRIX3DSetPosition(m, &pos);
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DPerspectiveFovRH(MATRIX3D* m, float fovy, float aspect, float zn,
                                              float zf) {
    _MATRIX3DPerspectiveFovLH(m, fovy, aspect, zn, zf);
    m->m10 = -m->m10;
    m->m11 = -1.0f;
    return m;
}

MATRIX3D* CMaths3D::_MATRIX3DPerspectiveFovLH(MATRIX3D* m, float fovy, float aspect, float zn,
                                              float zf) {
    float top = zn * std::tan(fovy * 0.5f);
    float bottom = -top;
    float right = top * aspect;
    float left = -right;
    *m = MATRIX3D{};
    m->m0 = 2.0f * zn / (right - left);
    m->m5 = 2.0f * zn / (top - bottom);
    m->m8 = (left + right) / (right - left);
    m->m9 = (top + bottom) / (top - bottom);
    m->m10 = (zn + zf) / (zf - zn);
    m->m11 = 1.0f;
    m->m14 = -2.0f * zn * zf / (zf - zn);
    return m;
}

void CMaths3D::_MATRIX3DPerspectiveClipVs(MATRIX3D* clip, MATRIX3D* viewport, uint32_t width,
                                          uint32_t height) {
    SetIdentity(clip);
    clip->m0 = 0.49382713f;
    clip->m5 = 0.42735043f;
    clip->m10 = 0.5f;
    clip->m12 = -0.00987655f;
    clip->m13 = 0.94658118f;
    clip->m14 = 0.5f;
    SetIdentity(viewport);
    viewport->m0 = static_cast<float>(width);
    viewport->m5 = -static_cast<float>(height);
    viewport->m12 = 0.0f;
    viewport->m13 = static_cast<float>(height);
}

void CMaths3D::_MATRIX3DPerspectiveOrtho(MATRIX3D* m, float left, float right, float bottom,
                                         float top, float zn, float zf) {
    *m = MATRIX3D{};
    m->m0 = 2.0f / (right - left);
    m->m5 = 2.0f / (top - bottom);
    m->m10 = -2.0f / (zf - zn);
    m->m15 = 1.0f;
}

VECTOR3D CMaths3D::_MATRIX3DGetVECT_AT(const MATRIX3D* m) { return VECTOR3D{m->m8, m->m9, m->m10}; }

VECTOR3D CMaths3D::_MATRIX3DGetVECT_UP(const MATRIX3D* m) { return VECTOR3D{m->m4, m->m5, m->m6}; }

VECTOR3D CMaths3D::_MATRIX3DGetVECT_RIGHT(const MATRIX3D* m) {
    return VECTOR3D{m->m0, m->m1, m->m2};
}

void CMaths3D::_MATRIX3DSetVECT_AT(MATRIX3D* m, const VECTOR3D* v) {
    m->m8 = v->x;
    m->m9 = v->y;
    m->m10 = v->z;
}

void CMaths3D::_MATRIX3DSetVECT_UP(MATRIX3D* m, const VECTOR3D* v) {
    m->m4 = v->x;
    m->m5 = v->y;
    m->m6 = v->z;
}

void CMaths3D::_MATRIX3DSetVECT_RIGHT(MATRIX3D* m, const VECTOR3D* v) {
    m->m0 = v->x;
    m->m1 = v->y;
    m->m2 = v->z;
}

VECTOR3D CMaths3D::_MATRIX3DGetOrientation(const MATRIX3D* m) {
    VECTOR3D r;
    _MATRIX3DGetOrientationXYZ(m, &r.x, &r.y, &r.z);
    return r;
}

float CMaths3D::_MATRIX3DGetOrientationY(const MATRIX3D* m) {
    VECTOR3D at = _MATRIX3DGetVECT_AT(m);
    float yaw = AtanOfRatio(at.x, at.z);
    if (at.z < 0.0f) yaw += at.x > 0.0f ? kPi : -kPi;
    return yaw;
}

void CMaths3D::_MATRIX3DGetOrientationXYZ(const MATRIX3D* m, float* x, float* y, float* z) {
    MATRIX3D copy = *m;
    _MATRIX3DSetPositionXYZ(&copy, 0.0f, 0.0f, 0.0f);

    float yaw = _MATRIX3DGetOrientationY(&copy);

    // Undo the yaw, then read pitch from UP and roll from RIGHT.
    MATRIX3D unyaw;
    SetIdentity(&unyaw);
    _MATRIX3DRotationY(&unyaw, -yaw);

    VECTOR3D up = _MATRIX3DGetVECT_UP(&copy);
    up = Transform(up, unyaw);
    float pitch = AtanOfRatio(up.z, up.y);

    VECTOR3D right = _MATRIX3DGetVECT_RIGHT(&copy);
    right = Transform(right, unyaw);
    float r = AtanOfRatio(right.x, right.y);
    if (right.y < 0.0f) r += kPi;
    float roll = kHalfPi - r;

    if (x) *x = pitch;
    if (y) *y = yaw;
    if (z) *z = roll;
}

eRESULT CMaths3D::_TRIANGLE3DGetVizible(const VECTOR3D* a, const VECTOR3D* b, const VECTOR3D* c,
                                        const MATRIX3D* /*m*/, uint32_t mode) {
    if (mode == 0) return eOK;
    VECTOR3D ab = Sub(*a, *b);
    VECTOR3D ac = Sub(*a, *c);
    VECTOR3D n = _VECTOR3DDotProduct(&ab, &ac);
    float d = n.z;
    if (mode == 2) return d > 0.0f ? eFAILED : eOK;
    return d > 0.0f ? eOK : eFAILED;
}

float CMaths3D::_TRIANGLE3DGetCollision(const VECTOR3D& origin, const VECTOR3D& direction,
                                        const VECTOR3D& p0, const VECTOR3D& p1,
                                        const VECTOR3D& p2) {
    VECTOR3D d = _VECTOR3DNormalize(&direction);
    VECTOR3D e1 = Sub(p1, p0);
    VECTOR3D e2 = Sub(p2, p0);
    VECTOR3D pvec = Cross(d, e2);
    float det = Dot(e1, pvec);
    VECTOR3D t;
    if (det > 0.0f) {
        t = Sub(origin, p0);
    } else {
        t = Sub(p0, origin);
        det = -det;
    }
    if (det < 0.0001f) return 0.0f;
    float u = Dot(t, pvec);
    if (u < 0.0f || u > det) return 0.0f;
    VECTOR3D qvec = Cross(t, e1);
    float v = Dot(d, qvec);
    if (v < 0.0f || u + v > det) return 0.0f;
    return Dot(e2, qvec) / det;
}

bool CMaths3D::_TRIANGLE2DIntersectCircle(VECTOR2D centre, float radius, VECTOR2D p0, VECTOR2D p1,
                                          VECTOR2D p2) {
    const VECTOR2D p[3] = {p0, p1, p2};
    const float r2 = radius * radius;

    float dk[3];
    for (int k = 0; k < 3; ++k) {
        VECTOR2D cp = Sub2(centre, p[k]);
        dk[k] = Dot2(cp, cp) - r2;
        if (dk[k] <= 0.0f) return true;
    }

    VECTOR2D e[3] = {Sub2(p1, p0), Sub2(p2, p1), Sub2(p0, p2)};
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
        if (e[k].y * (centre.x - p[k].x) - e[k].x * (centre.y - p[k].y) < 0.0f) {
            inside = false;
            break;
        }
    }
    if (inside) return true;

    for (int k = 0; k < 3; ++k) {
        float s = Dot2(e[k], Sub2(centre, p[k]));
        float len2 = Dot2(e[k], e[k]);
        if (s > 0.0f && s < len2 && dk[k] * len2 <= s * s) return true;
    }
    return false;
}

void CMaths3D::_MATRIX3DMultiplyCol0(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b) {
    MultiplyRow(out, a, b, 0);
}

void CMaths3D::_MATRIX3DMultiplyCol1(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b) {
    MultiplyRow(out, a, b, 1);
}

void CMaths3D::_MATRIX3DMultiplyCol2(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b) {
    MultiplyRow(out, a, b, 2);
}

void CMaths3D::_MATRIX3DMultiplyCol3(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b) {
    MultiplyRow(out, a, b, 3);
}
