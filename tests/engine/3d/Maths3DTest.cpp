// Vector and matrix service: conventions, builders, projections and tests.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/3d/Maths3D.h"

namespace {

constexpr float kPi = 3.14159265358979f;

MATRIX3D Identity() { return MATRIX3D{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

// Reference product in double precision, independent of the service.
MATRIX3D RefMultiply(const MATRIX3D& a, const MATRIX3D& b) {
    MATRIX3D r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += double(a.Data()[i * 4 + k]) * b.Data()[k * 4 + j];
            r.Data()[i * 4 + j] = float(s);
        }
    }
    return r;
}

// Reference determinant by cofactor expansion along the first row.
double RefDet(const double* m, int n) {
    if (n == 1) return m[0];
    double det = 0, sign = 1;
    double sub[16];
    for (int c = 0; c < n; ++c) {
        int k = 0;
        for (int i = 1; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (j != c) sub[k++] = m[i * n + j];
        det += sign * m[c] * RefDet(sub, n - 1);
        sign = -sign;
    }
    return det;
}

// A matrix with rotation, non-uniform scale and translation, no symmetry.
MATRIX3D Sample(CMaths3D& maths) {
    MATRIX3D m = Identity();
    maths._MATRIX3DScalingXYZ(&m, 1.5f, 0.75f, 2.0f);
    VECTOR3D angles{0.3f, -0.7f, 1.1f};
    maths._MATRIX3DRotation(&m, &angles);
    maths._MATRIX3DSetPositionXYZ(&m, 4.0f, -2.0f, 7.5f);
    return m;
}

void ExpectMatrixNear(const MATRIX3D& a, const MATRIX3D& b, float tol, const std::string& what) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a.Data()[i], b.Data()[i], tol) << what << ", element m" << i;
    }
}

void ExpectVecNear(const VECTOR3D& a, const VECTOR3D& b, float tol, const std::string& what = "") {
    EXPECT_NEAR(a.x, b.x, tol) << what << " x";
    EXPECT_NEAR(a.y, b.y, tol) << what << " y";
    EXPECT_NEAR(a.z, b.z, tol) << what << " z";
}

class Maths3DTest : public ::testing::Test {
protected:
    CMaths3D maths;
};

// ---------------------------------------------------------------------------
// Vectors

TEST_F(Maths3DTest, DotProductIsTheCrossProduct) {
    VECTOR3D x{1, 0, 0}, y{0, 1, 0};
    VECTOR3D r = maths._VECTOR3DDotProduct(&x, &y);
    EXPECT_EQ(r.x, 0.0f);
    EXPECT_EQ(r.y, 0.0f);
    EXPECT_EQ(r.z, 1.0f);

    VECTOR3D a{1, 2, 3}, b{-4, 5, 0.5f};
    VECTOR3D c = maths._VECTOR3DVec3Cross(&a, &b);
    ExpectVecNear(maths._VECTOR3DDotProduct(&a, &b), c, 0.0f);
    ExpectVecNear(c, VECTOR3D{2 * 0.5f - 3 * 5, 3 * -4 - 1 * 0.5f, 1 * 5 - 2 * -4}, 1e-6f);
    EXPECT_FLOAT_EQ(maths._VECTOR3DVec3Dot(&a, &b), -4 + 10 + 1.5f);
}

TEST_F(Maths3DTest, NormalizeKeepsZeroAndMakesUnitLength) {
    VECTOR3D zero{0, 0, 0};
    VECTOR3D n = maths._VECTOR3DNormalize(&zero);
    EXPECT_EQ(n.x, 0.0f);
    EXPECT_EQ(n.y, 0.0f);
    EXPECT_EQ(n.z, 0.0f);
    VECTOR2D zero2{0, 0};
    VECTOR2D n2 = maths._VECTOR2DNormalize(&zero2);
    EXPECT_EQ(n2.x, 0.0f);
    EXPECT_EQ(n2.y, 0.0f);

    VECTOR3D v{3, 0, -4};
    ExpectVecNear(maths._VECTOR3DNormalize(&v), VECTOR3D{0.6f, 0, -0.8f}, 1e-6f);
    EXPECT_FLOAT_EQ(maths._VECTOR3DLength(&v), 5.0f);
    VECTOR2D w{-6, 8};
    VECTOR2D nw = maths._VECTOR2DNormalize(&w);
    EXPECT_FLOAT_EQ(nw.x, -0.6f);
    EXPECT_FLOAT_EQ(nw.y, 0.8f);
    EXPECT_FLOAT_EQ(maths._VECTOR2DLength(&w), 10.0f);
}

TEST_F(Maths3DTest, TransformsUseRowVectorsAndImplicitW) {
    MATRIX3D m = Sample(maths);
    VECTOR3D p{1.0f, -2.0f, 0.5f};
    VECTOR3D expected{p.x * m.m0 + p.y * m.m4 + p.z * m.m8 + m.m12,
                      p.x * m.m1 + p.y * m.m5 + p.z * m.m9 + m.m13,
                      p.x * m.m2 + p.y * m.m6 + p.z * m.m10 + m.m14};
    m.m3 = 9.0f;  // w column must not divide anything
    ExpectVecNear(maths._VECTOR3DTransformCoord(&p, &m), expected, 1e-5f, "TransformCoord");
    ExpectVecNear(_VECTOR3DTransformCoordEx(&p, &m), expected, 1e-5f, "TransformCoordEx");
    EXPECT_NEAR(maths._VECTOR3DTransformCoordZ(&p, &m), expected.z, 1e-5f);

    VECTOR4D v{1.0f, -2.0f, 0.5f, 3.0f};
    VECTOR4D r = maths._VECTOR4DTransformCoord(&v, &m);
    EXPECT_NEAR(r.x, v.x * m.m0 + v.y * m.m4 + v.z * m.m8 + v.w * m.m12, 1e-5f);
    EXPECT_NEAR(r.w, v.x * m.m3 + v.y * m.m7 + v.z * m.m11 + v.w * m.m15, 1e-5f);
}

TEST_F(Maths3DTest, LimitClampsLowerFirstThenUpper) {
    VECTOR3D upper{1, 1, 1}, lower{-1, -1, 2};  // z: lower above upper
    VECTOR3D v{-5, 0.5f, 0};
    VECTOR3D r = maths._VECTOR3DLimitEx(&v, &upper, &lower);
    ExpectVecNear(r, VECTOR3D{-1, 0.5f, 1}, 0.0f);
    EXPECT_EQ(v.x, -5.0f);  // the Ex form leaves its input alone
    maths._VECTOR3DLimit(&v, &upper, &lower);
    ExpectVecNear(v, r, 0.0f);
}

TEST_F(Maths3DTest, DistanceFromSegment) {
    const VECTOR3D a{0, 0, 0}, b{4, 0, 0};
    struct Case {
        VECTOR3D p;
        float distance;
    } cases[] = {
        {{2, 3, 0}, 3.0f},    // above the middle
        {{-3, 4, 0}, 5.0f},   // before a: distance to a
        {{7, 0, 4}, 5.0f},    // past b: distance to b
        {{0, 0, -2}, 2.0f},   // level with a
        {{1, 0, 0}, 0.0f},    // on the segment
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(maths._VECTOR3DGetDistanceFromLine(&c.p, &a, &b), c.distance, 1e-5f)
            << c.p.x << "," << c.p.y << "," << c.p.z;
    }
    // A segment of no length: the distance to its one point.
    const VECTOR3D point{1, 2, 3}, away{4, 6, 3};
    EXPECT_NEAR(maths._VECTOR3DGetDistanceFromLine(&away, &point, &point), 5.0f, 1e-5f);
    EXPECT_EQ(maths._VECTOR3DGetDistanceFromLine(&point, &point, &point), 0.0f);
}

TEST_F(Maths3DTest, DistanceOfPointsOnTheSegmentIsNeverNaN) {
    // Rounding can push da^2 - g^2 just below zero for collinear points.
    for (int i = 1; i < 60; ++i) {
        VECTOR3D a{0.1f * i, 0.0f, 0.0f};
        for (int j = 1; j < 30; ++j) {
            VECTOR3D b{a.x + 0.37f * j, 0.0f, 0.0f};
            VECTOR3D p{a.x + (b.x - a.x) * 0.3f, 0.0f, 0.0f};
            float d = maths._VECTOR3DGetDistanceFromLine(&p, &a, &b);
            ASSERT_TRUE(std::isfinite(d)) << "i=" << i << " j=" << j;
            // The law of cosines cancels about half the float digits here.
            ASSERT_NEAR(d, 0.0f, 1e-3f * (b.x - a.x));
        }
    }
}

// ---------------------------------------------------------------------------
// Matrix products and inverse

TEST_F(Maths3DTest, MultiplyMatchesReferenceAlsoWhenAliased) {
    MATRIX3D a = Sample(maths);
    MATRIX3D b = Identity();
    maths._MATRIX3DRotationY(&b, 0.4f);
    maths._MATRIX3DTranslationXYZ(&b, -1, 2, 3);
    b.m3 = 0.25f;  // a non-affine column so every element counts
    b.m11 = -0.5f;
    const MATRIX3D ab = RefMultiply(a, b);
    const MATRIX3D aa = RefMultiply(a, a);

    MATRIX3D out;
    maths._MATRIX3DMultiply(&out, &a, &b);
    ExpectMatrixNear(out, ab, 1e-5f, "distinct");

    MATRIX3D x = a;
    maths._MATRIX3DMultiply(&x, &x, &b);
    ExpectMatrixNear(x, ab, 1e-5f, "out == a");

    MATRIX3D y = b;
    maths._MATRIX3DMultiply(&y, &a, &y);
    ExpectMatrixNear(y, ab, 1e-5f, "out == b");

    MATRIX3D z = a;
    maths._MATRIX3DMultiply(&z, &z, &z);
    ExpectMatrixNear(z, aa, 1e-4f, "out == a == b");
}

TEST_F(Maths3DTest, MultiplyColWritesOnlyItsRow) {
    MATRIX3D a = Sample(maths), b = Sample(maths);
    maths._MATRIX3DRotationZ(&b, 0.9f);
    const MATRIX3D ab = RefMultiply(a, b);
    void (CMaths3D::*cols[4])(MATRIX3D*, const MATRIX3D*, const MATRIX3D*) = {
        &CMaths3D::_MATRIX3DMultiplyCol0, &CMaths3D::_MATRIX3DMultiplyCol1,
        &CMaths3D::_MATRIX3DMultiplyCol2, &CMaths3D::_MATRIX3DMultiplyCol3};
    for (int n = 0; n < 4; ++n) {
        MATRIX3D out{};
        auto multiplyRow = cols[n];
        (maths.*multiplyRow)(&out, &a, &b);
        for (int i = 0; i < 16; ++i) {
            float expected = (i / 4 == n) ? ab.Data()[i] : 0.0f;
            EXPECT_NEAR(out.Data()[i], expected, 1e-5f) << "row " << n << " m" << i;
        }
    }
}

TEST_F(Maths3DTest, DeterminantIsTheFull4x4One) {
    MATRIX3D m{2, -1, 0.5f, 3, 1, 4, -2, 0, 0, 3, 1, -1, 5, 0.5f, 2, 1};
    double ref[16];
    for (int i = 0; i < 16; ++i) ref[i] = m.Data()[i];
    EXPECT_NEAR(maths._MATRIX3DGetDeterminant(&m), RefDet(ref, 4), 1e-3);

    MATRIX3D s = Identity();
    maths._MATRIX3DScalingXYZ(&s, 2, 3, 4);
    EXPECT_FLOAT_EQ(maths._MATRIX3DGetDeterminant(&s), 24.0f);
}

TEST_F(Maths3DTest, InverseUndoesAnAffineMatrixAndReturnsReciprocalDeterminant) {
    MATRIX3D m = Identity();
    maths._MATRIX3DScaling(&m, 2.0f);  // det 8, so 1/det differs from det
    VECTOR3D angles{0.5f, 1.2f, -0.3f};
    maths._MATRIX3DRotation(&m, &angles);
    maths._MATRIX3DTranslationXYZ(&m, 3.0f, -1.0f, 2.0f);

    MATRIX3D inv;
    float inverseDeterminant = 0.0f;
    maths._MATRIX3DInverse(&inv, &inverseDeterminant, &m);
    EXPECT_NEAR(inverseDeterminant, 0.125f, 1e-6f);

    MATRIX3D p;
    maths._MATRIX3DMultiply(&p, &inv, &m);
    ExpectMatrixNear(p, Identity(), 1e-5f, "inv * m");
    maths._MATRIX3DMultiply(&p, &m, &inv);
    ExpectMatrixNear(p, Identity(), 1e-5f, "m * inv");

    MATRIX3D inPlace = m;
    maths._MATRIX3DInverse(&inPlace);
    ExpectMatrixNear(inPlace, inv, 0.0f, "in place");
}

TEST_F(Maths3DTest, TransposeInPlace) {
    MATRIX3D m{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    maths._MATRIX3DTranspose(&m, &m);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(m.Data()[i * 4 + j], float(j * 4 + i));
}

TEST_F(Maths3DTest, IdentityAndEqualityAreExact) {
    MATRIX3D m;
    maths._MATRIX3DPreTransform(&m);
    EXPECT_TRUE(maths._MATRIX3DIsIdentity(&m));
    MATRIX3D n = m;
    EXPECT_TRUE(maths._MATRIX3DIsEquals(&m, &n));
    n.m14 = 1e-7f;
    EXPECT_FALSE(maths._MATRIX3DIsEquals(&m, &n));
    EXPECT_FALSE(maths._MATRIX3DIsIdentity(&n));
}

// ---------------------------------------------------------------------------
// Builders: everything is pre-multiplied, acting in the object's own axes

TEST_F(Maths3DTest, QuarterTurnsMapAxesAsStated) {
    struct Case {
        const char* name;
        MATRIX3D* (CMaths3D::*rotate)(MATRIX3D*, float);
        VECTOR3D in, out;
    } cases[] = {
        {"Z", &CMaths3D::_MATRIX3DRotationZ, {1, 0, 0}, {0, 1, 0}},
        {"X", &CMaths3D::_MATRIX3DRotationX, {0, 1, 0}, {0, 0, 1}},
        {"Y", &CMaths3D::_MATRIX3DRotationY, {1, 0, 0}, {0, 0, -1}},
        {"ExZ", &CMaths3D::_MATRIX3DRotationExZ, {1, 0, 0}, {0, 1, 0}},
        {"ExX", &CMaths3D::_MATRIX3DRotationExX, {0, 1, 0}, {0, 0, 1}},
        {"ExY", &CMaths3D::_MATRIX3DRotationExY, {1, 0, 0}, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        MATRIX3D m = Identity();
        auto rotate = c.rotate;
        (maths.*rotate)(&m, kPi / 2);
        ExpectVecNear(maths._VECTOR3DTransformCoord(&c.in, &m), c.out, 1e-6f, c.name);
    }
}

TEST_F(Maths3DTest, SingleAxisRotationsEqualTheFullProduct) {
    struct Case {
        const char* name;
        MATRIX3D* (CMaths3D::*fast)(MATRIX3D*, float);
        MATRIX3D* (CMaths3D::*full)(MATRIX3D*, float);
    } cases[] = {
        {"X", &CMaths3D::_MATRIX3DRotationX, &CMaths3D::_MATRIX3DRotationExX},
        {"Y", &CMaths3D::_MATRIX3DRotationY, &CMaths3D::_MATRIX3DRotationExY},
        {"Z", &CMaths3D::_MATRIX3DRotationZ, &CMaths3D::_MATRIX3DRotationExZ},
    };
    for (const Case& c : cases) {
        MATRIX3D a = Sample(maths);
        a.m3 = 0.5f;  // the fourth column is rotated too
        a.m7 = -0.25f;
        MATRIX3D b = a;
        auto fast = c.fast;
        auto full = c.full;
        (maths.*fast)(&a, 0.8f);
        (maths.*full)(&b, 0.8f);
        ExpectMatrixNear(a, b, 1e-5f, c.name);
    }
}

TEST_F(Maths3DTest, CompositeRotationIsXThenYThenZ) {
    const VECTOR3D angles{0.4f, -1.3f, 2.2f};
    MATRIX3D seq = Sample(maths);
    MATRIX3D comp = seq, compEx = seq;
    maths._MATRIX3DRotationX(&seq, angles.x);
    maths._MATRIX3DRotationY(&seq, angles.y);
    maths._MATRIX3DRotationZ(&seq, angles.z);
    maths._MATRIX3DRotation(&comp, &angles);
    maths._MATRIX3DRotationEx(&compEx, &angles);
    ExpectMatrixNear(comp, seq, 1e-5f, "Rotation");
    ExpectMatrixNear(compEx, seq, 1e-5f, "RotationEx");

    // Applied to a point, Z acts first: (1,0,0) turned a quarter about Z
    // lands on +y, which a quarter about X then carries to +z.
    MATRIX3D m = Identity();
    VECTOR3D quarter{kPi / 2, 0, kPi / 2};
    maths._MATRIX3DRotation(&m, &quarter);
    VECTOR3D x{1, 0, 0};
    ExpectVecNear(maths._VECTOR3DTransformCoord(&x, &m), VECTOR3D{0, 0, 1}, 1e-6f);
}

TEST_F(Maths3DTest, TranslationMovesAlongTheRotatedAxes) {
    MATRIX3D m = Identity();
    maths._MATRIX3DRotationZ(&m, kPi / 2);  // right = +y, up = -x
    maths._MATRIX3DTranslationXYZ(&m, 1, 2, 3);
    VECTOR3D origin{0, 0, 0};
    ExpectVecNear(maths._VECTOR3DTransformCoord(&origin, &m), VECTOR3D{-2, 1, 3}, 1e-6f);

    // The single-axis and vector forms add up the same way.
    MATRIX3D n = Identity();
    maths._MATRIX3DRotationZ(&n, kPi / 2);
    maths._MATRIX3DTranslationX(&n, 1);
    maths._MATRIX3DTranslationY(&n, 2);
    VECTOR3D t{0, 0, 3};
    maths._MATRIX3DTranslation(&n, &t);
    ExpectMatrixNear(n, m, 1e-6f, "split translation");
}

TEST_F(Maths3DTest, ScalingActsBeforeThePosition) {
    MATRIX3D m = Identity();
    maths._MATRIX3DTranslationXYZ(&m, 5, 0, 0);
    maths._MATRIX3DScalingXYZ(&m, 2, 3, 4);
    VECTOR3D p{1, 1, 1};
    ExpectVecNear(maths._VECTOR3DTransformCoord(&p, &m), VECTOR3D{7, 3, 4}, 1e-6f);
    ExpectVecNear(maths._MATRIX3DGetScaling(&m), VECTOR3D{2, 3, 4}, 1e-6f);

    VECTOR3D s{2, 2, 2};
    MATRIX3D a = Sample(maths), b = a;
    maths._MATRIX3DScaling(&a, 2);
    maths._MATRIX3DScalingEx(&b, &s);
    ExpectMatrixNear(a, b, 0.0f, "Scaling vs ScalingEx");
}

TEST_F(Maths3DTest, NoScalingNormalisesOrFallsBackToIdentityAxes) {
    MATRIX3D m = Sample(maths);
    maths._MATRIX3DNoScaling(&m);
    ExpectVecNear(maths._MATRIX3DGetScaling(&m), VECTOR3D{1, 1, 1}, 1e-6f);
    EXPECT_FLOAT_EQ(m.m12, 4.0f);  // position untouched

    MATRIX3D flat = Sample(maths);
    VECTOR3D zero{0, 0, 0};
    maths._MATRIX3DSetVECT_UP(&flat, &zero);
    maths._MATRIX3DNoScaling(&flat);
    ExpectVecNear(maths._MATRIX3DGetVECT_RIGHT(&flat), VECTOR3D{1, 0, 0}, 0.0f, "right");
    ExpectVecNear(maths._MATRIX3DGetVECT_UP(&flat), VECTOR3D{0, 1, 0}, 0.0f, "up");
    ExpectVecNear(maths._MATRIX3DGetVECT_AT(&flat), VECTOR3D{0, 0, 1}, 0.0f, "at");
}

TEST_F(Maths3DTest, LookAtTurnsTheObjectAndKeepsItsPosition) {
    struct Case {
        VECTOR3D eye, target, at, right;
    } cases[] = {
        {{0, 0, 0}, {0, 0, 5}, {0, 0, 1}, {1, 0, 0}},
        {{1, 2, 3}, {6, 2, 3}, {1, 0, 0}, {0, 0, -1}},
        {{0, 0, 0}, {-2, 0, -2}, {-0.70710677f, 0, -0.70710677f}, {-0.70710677f, 0, 0.70710677f}},
    };
    for (const Case& c : cases) {
        MATRIX3D m = Identity();
        maths._MATRIX3DSetPosition(&m, &c.eye);
        maths._MATRIX3DLookAt(&m, &c.target);
        ExpectVecNear(maths._MATRIX3DGetVECT_AT(&m), c.at, 1e-6f, "at");
        ExpectVecNear(maths._MATRIX3DGetVECT_RIGHT(&m), c.right, 1e-6f, "right");
        ExpectVecNear(maths._MATRIX3DGetVECT_UP(&m), VECTOR3D{0, 1, 0}, 1e-6f, "up");
        ExpectVecNear(maths._MATRIX3DGetPosition(&m), c.eye, 0.0f, "position");
    }
}

TEST_F(Maths3DTest, LookAtCameraKeepsThePosition) {
    MATRIX3D m = Sample(maths);
    MATRIX3D cam = Identity();
    maths._MATRIX3DRotationY(&cam, 0.6f);
    maths._MATRIX3DSetPositionXYZ(&cam, 10, 20, 30);
    MATRIX3D expected = RefMultiply(m, cam);
    expected.m12 = m.m12;
    expected.m13 = m.m13;
    expected.m14 = m.m14;
    maths._MATRIX3DLookAtCamera(&m, &cam);
    ExpectMatrixNear(m, expected, 1e-5f, "LookAtCamera");
}

// ---------------------------------------------------------------------------
// Projections

TEST_F(Maths3DTest, PerspectiveFovValues) {
    struct Case {
        const char* name;
        MATRIX3D* (CMaths3D::*build)(MATRIX3D*, float, float, float, float);
        float m10, m11;
    } cases[] = {
        {"LH", &CMaths3D::_MATRIX3DPerspectiveFovLH, 2.0f, 1.0f},
        {"RH", &CMaths3D::_MATRIX3DPerspectiveFovRH, -2.0f, -1.0f},
    };
    for (const Case& c : cases) {
        MATRIX3D m;
        for (int i = 0; i < 16; ++i) m.Data()[i] = 7.0f;  // every element is written
        auto build = c.build;
        EXPECT_EQ((maths.*build)(&m, kPi / 2, 1.0f, 1.0f, 3.0f), &m);
        EXPECT_NEAR(m.m0, 1.0f, 1e-6f) << c.name;
        EXPECT_NEAR(m.m5, 1.0f, 1e-6f) << c.name;
        EXPECT_FLOAT_EQ(m.m10, c.m10) << c.name;
        EXPECT_FLOAT_EQ(m.m11, c.m11) << c.name;
        EXPECT_FLOAT_EQ(m.m14, -3.0f) << c.name;
        for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(m.Data()[i], 0.0f) << c.name << " m" << i;
    }

    // Aspect widens x only.
    MATRIX3D w;
    maths._MATRIX3DPerspectiveFovLH(&w, kPi / 2, 2.0f, 1.0f, 3.0f);
    EXPECT_NEAR(w.m0, 0.5f, 1e-6f);
    EXPECT_NEAR(w.m5, 1.0f, 1e-6f);
}

TEST_F(Maths3DTest, PerspectiveLHMapsNearAndFarToMinusOneAndOne) {
    MATRIX3D p;
    maths._MATRIX3DPerspectiveFovLH(&p, 1.0f, 1.5f, 2.0f, 50.0f);
    for (float z : {2.0f, 50.0f}) {
        VECTOR4D v{0, 0, z, 1};
        VECTOR4D r = maths._VECTOR4DTransformCoord(&v, &p);
        EXPECT_NEAR(r.z / r.w, z == 2.0f ? -1.0f : 1.0f, 1e-5f) << z;
    }
}

TEST_F(Maths3DTest, OrthoIsCentredAndClipVsHasFixedValues) {
    MATRIX3D o;
    maths._MATRIX3DPerspectiveOrtho(&o, 10, 50, -5, 15, 1, 9);
    MATRIX3D expected{};
    expected.m0 = 2.0f / 40;
    expected.m5 = 2.0f / 20;
    expected.m10 = -2.0f / 8;
    expected.m15 = 1;
    ExpectMatrixNear(o, expected, 0.0f, "ortho");

    MATRIX3D clip, viewport;
    maths._MATRIX3DPerspectiveClipVs(&clip, &viewport, 320, 480);
    EXPECT_FLOAT_EQ(clip.m0, 0.49382713f);
    EXPECT_FLOAT_EQ(clip.m13, 0.94658118f);
    EXPECT_FLOAT_EQ(clip.m15, 1.0f);
    EXPECT_FLOAT_EQ(viewport.m0, 320.0f);
    EXPECT_FLOAT_EQ(viewport.m5, -480.0f);
    EXPECT_FLOAT_EQ(viewport.m13, 480.0f);
    EXPECT_FLOAT_EQ(viewport.m10, 1.0f);
}

TEST_F(Maths3DTest, ProjectCentresOnWholeHalfPixels) {
    MATRIX3D view = Identity(), proj;
    maths._MATRIX3DPerspectiveFovLH(&proj, kPi / 2, 1.5f, 1.0f, 3.0f);
    struct Case {
        uint32_t width, height;
        float x, y;
    } cases[] = {
        {480, 320, 240, 160},
        {481, 320, 240, 160},  // 481 / 2 is 240 in whole pixels
        {480, 321, 240, 161},  // y = 321 - 160
    };
    VECTOR3D v{0, 0, 3};  // on the axis, at the far plane
    for (const Case& c : cases) {
        VECTOR3D s = maths._VECTOR3DProject(c.width, c.height, nullptr, &view, &proj, &v);
        EXPECT_FLOAT_EQ(s.x, c.x) << c.width << "x" << c.height;
        EXPECT_FLOAT_EQ(s.y, c.y) << c.width << "x" << c.height;
        EXPECT_NEAR(s.z, 1.0f, 1e-6f);
    }

    // World and view both apply; y grows downwards on screen.
    MATRIX3D world = Identity();
    maths._MATRIX3DTranslationXYZ(&world, 0, 1, 0);
    MATRIX3D view2 = Identity();
    maths._MATRIX3DTranslationXYZ(&view2, 0, 0, 1);
    VECTOR3D origin{0, 0, 1};
    VECTOR3D s = maths._VECTOR3DProject(480, 320, &world, &view2, &proj, &origin);
    // Clip y = 1 * m5 / w(2) = 0.5 -> screen y = 320 - 1.5 * 160.
    EXPECT_FLOAT_EQ(s.x, 240.0f);
    EXPECT_NEAR(s.y, 80.0f, 1e-3f);
    EXPECT_NEAR(s.z, 0.75f, 1e-5f);  // depth 0 at zn 1, 1 at zf 3, non-linear between
}

TEST_F(Maths3DTest, ProjectOfAPointWithZeroWIsFlagged) {
    MATRIX3D view = Identity(), proj;
    maths._MATRIX3DPerspectiveFovLH(&proj, kPi / 2, 1.5f, 1.0f, 3.0f);
    VECTOR3D v{5, 5, 0};  // in the camera plane: w = 0
    VECTOR3D s = maths._VECTOR3DProject(480, 320, nullptr, &view, &proj, &v);
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 0.0f);
    EXPECT_EQ(s.z, -1.0f);
}

TEST_F(Maths3DTest, UnProjectMapsScreenToNormalisedCoordinates) {
    MATRIX3D inv = Identity();
    maths._MATRIX3DScalingXYZ(&inv, 2, 2, 2);
    inv.m15 = 2;  // w = 2 halves everything back
    VECTOR3D corner{480, 0, 1};
    ExpectVecNear(maths._VECTOR3DUnProject(480, 320, &inv, &corner), VECTOR3D{1, -1, 1}, 1e-6f);

    MATRIX3D noW = Identity();
    noW.m15 = 0;
    VECTOR3D centre{240, 160, 0.5f};
    ExpectVecNear(maths._VECTOR3DUnProject(480, 320, &noW, &centre), VECTOR3D{0, 0, 0}, 0.0f);
}

// ---------------------------------------------------------------------------
// Orientation angles

TEST_F(Maths3DTest, OrientationAnglesRoundTrip) {
    struct Case {
        const char* axis;
        float angle;
    } cases[] = {
        {"Y", 0.0f}, {"Y", 0.7f}, {"Y", -0.7f}, {"Y", 2.5f}, {"Y", -2.5f}, {"Y", 3.0f},
        {"Y", kPi / 2}, {"Y", -kPi / 2}, {"X", 0.6f}, {"X", -1.2f}, {"Z", 0.9f}, {"Z", -2.0f},
    };
    for (const Case& c : cases) {
        MATRIX3D m = Identity();
        VECTOR3D expected{0, 0, 0};
        if (c.axis[0] == 'Y') {
            maths._MATRIX3DRotationY(&m, c.angle);
            expected.y = c.angle;
        } else if (c.axis[0] == 'X') {
            maths._MATRIX3DRotationX(&m, c.angle);
            expected.x = c.angle;
        } else {
            maths._MATRIX3DRotationZ(&m, c.angle);
            expected.z = c.angle;
        }
        maths._MATRIX3DSetPositionXYZ(&m, 3, -4, 5);  // position is ignored
        std::string what = std::string(c.axis) + " " + std::to_string(c.angle);
        ExpectVecNear(maths._MATRIX3DGetOrientation(&m), expected, 1e-5f, what);
        EXPECT_NEAR(maths._MATRIX3DGetOrientationY(&m), expected.y, 1e-5f) << what;
        float x = 9, y = 9, z = 9;
        maths._MATRIX3DGetOrientationXYZ(&m, &x, &y, &z);
        ExpectVecNear(VECTOR3D{x, y, z}, expected, 1e-5f, what + " XYZ");
    }
}

TEST_F(Maths3DTest, OrientationYawCoversAllQuadrants) {
    struct Case {
        VECTOR3D at;
        float yaw;
    } cases[] = {
        {{0, 0, 1}, 0},        {{1, 0, 0}, kPi / 2},  {{-1, 0, 0}, -kPi / 2},
        {{1, 0, -1}, 3 * kPi / 4}, {{-1, 0, -1}, -3 * kPi / 4}, {{0, 0, -1}, -kPi},
        {{1, 0, -0.0f}, kPi / 2},  // a negative zero must not flip the sign
    };
    for (const Case& c : cases) {
        MATRIX3D m = Identity();
        maths._MATRIX3DSetVECT_AT(&m, &c.at);
        EXPECT_NEAR(maths._MATRIX3DGetOrientationY(&m), c.yaw, 1e-6f)
            << c.at.x << "," << c.at.y << "," << c.at.z;
    }
}

// ---------------------------------------------------------------------------
// Geometric tests

TEST_F(Maths3DTest, TriangleFacingByMode) {
    const VECTOR3D a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};  // n.z > 0 in this order
    MATRIX3D unused = Identity();
    struct Case {
        uint32_t mode;
        bool reversed;
        eRESULT result;
    } cases[] = {
        {0, false, eOK},     {0, true, eOK},
        {1, false, eOK},     {1, true, eFAILED},
        {2, false, eFAILED}, {2, true, eOK},
        {7, false, eOK},     {7, true, eFAILED},  // any other mode behaves like 1
    };
    for (const Case& k : cases) {
        eRESULT r = k.reversed ? maths._TRIANGLE3DGetVizible(&a, &c, &b, &unused, k.mode)
                               : maths._TRIANGLE3DGetVizible(&a, &b, &c, &unused, k.mode);
        EXPECT_EQ(r, k.result) << "mode " << k.mode << (k.reversed ? " reversed" : "");
    }
    // A triangle seen edge-on has n.z = 0 and counts as back-facing for mode 1.
    const VECTOR3D d{0, 0, 1};
    EXPECT_EQ(maths._TRIANGLE3DGetVizible(&a, &b, &d, &unused, 1), eFAILED);
}

TEST_F(Maths3DTest, RayTriangleHitDistance) {
    const VECTOR3D p0{0, 0, 0}, p1{1, 0, 0}, p2{0, 1, 0};
    struct Case {
        const char* name;
        VECTOR3D origin, direction;
        float distance;
    } cases[] = {
        {"hit from front", {0.2f, 0.2f, -5}, {0, 0, 3}, 5.0f},   // direction is normalised
        {"hit from back", {0.2f, 0.2f, 4}, {0, 0, -1}, 4.0f},
        {"behind origin", {0.2f, 0.2f, 2}, {0, 0, 1}, -2.0f},    // no sign test
        {"parallel", {0.2f, 0.2f, 1}, {1, 0, 0}, 0.0f},
        {"in plane", {-1, 0.2f, 0}, {1, 0, 0}, 0.0f},
        {"miss beyond edge", {0.8f, 0.8f, -5}, {0, 0, 1}, 0.0f},
        {"miss negative u", {-0.1f, 0.5f, -5}, {0, 0, 1}, 0.0f},
        {"slanted", {0, 0, -1}, {0.25f, 0.25f, 1}, std::sqrt(1.125f)},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(maths._TRIANGLE3DGetCollision(c.origin, c.direction, p0, p1, p2), c.distance,
                    1e-5f)
            << c.name;
        EXPECT_NEAR(maths._TRIANGLE3DGetCollision(c.origin, c.direction, p0, p2, p1), c.distance,
                    1e-5f)
            << c.name << " (other winding)";
    }
}

TEST_F(Maths3DTest, CircleTriangleOverlap) {
    const VECTOR2D p0{0, 0}, p1{0, 10}, p2{10, 0};  // clockwise with y up
    struct Case {
        const char* name;
        VECTOR2D centre;
        float radius;
        bool clockwise, counterClockwise;
    } cases[] = {
        // Strictly inside, touching nothing: only one winding sees it.
        {"inside", {2.5f, 2.5f}, 0.5f, true, false},
        {"vertex in circle", {-1, -1}, 1.5f, true, true},
        {"on a vertex", {10, 0}, 0.0f, true, true},
        {"edge crosses circle", {5, -0.5f}, 1.0f, true, true},
        {"hypotenuse touched", {6, 6}, 1.5f, true, true},
        {"near but apart", {6, 6}, 1.3f, false, false},
        {"past the edge end", {-3, 12}, 1.0f, false, false},
        {"far away", {50, 50}, 2.0f, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(maths._TRIANGLE2DIntersectCircle(c.centre, c.radius, p0, p1, p2), c.clockwise)
            << c.name;
        EXPECT_EQ(maths._TRIANGLE2DIntersectCircle(c.centre, c.radius, p0, p2, p1),
                  c.counterClockwise)
            << c.name << " (reversed)";
    }
}

// Camera at the origin looking down +z; top of the frustum at y = z / 2.
class Maths3DVisibilityTest : public Maths3DTest {
protected:
    void SetUp() override {
        view = Identity();
        maths._MATRIX3DPerspectiveFovLH(&proj, 2.0f * std::atan(0.5f), 1.0f, 1.0f, 100.0f);
    }
    int Visible(VECTOR3D c, float r) { return maths._VECTOR3DIsVisible(&view, &proj, &c, r); }
    MATRIX3D view, proj;
};

TEST_F(Maths3DVisibilityTest, SphereInFrontOrBehind) {
    struct Case {
        const char* name;
        VECTOR3D centre;
        float radius;
        int visible;
    } cases[] = {
        {"ahead", {0, 0, 10}, 1, 1},
        {"behind", {0, 0, -10}, 1, 0},
        {"past far plane", {0, 0, 150}, 1, 0},
        {"straddling far plane", {0, 0, 100.5f}, 1, 1},
        {"far to the side", {30, 0, 10}, 1, 0},
        {"poking in from the side", {5.5f, 0, 10}, 1, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Visible(c.centre, c.radius), c.visible) << c.name;
}

TEST_F(Maths3DVisibilityTest, SpheresPokingInAboveAndBelowAreTreatedAlike) {
    // Only the vertical segment reaches into the frustum here, so its near
    // end must be chosen along y for the top and the bottom plane alike.
    struct Case {
        const char* name;
        VECTOR3D centre;
        int visible;
    } cases[] = {
        {"above", {0, 6.8f, 10}, 1},
        {"below", {0, -6.8f, 10}, 1},
        {"right", {6.8f, 0, 10}, 1},
        {"left", {-6.8f, 0, 10}, 1},
        {"clear above", {0, 7.5f, 10}, 0},
        {"clear below", {0, -7.5f, 10}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Visible(c.centre, 2.0f), c.visible) << c.name;
}

TEST_F(Maths3DVisibilityTest, CheckVisibleClassifiesSegments) {
    MATRIX3D m;
    maths._MATRIX3DMultiply(&m, &view, &proj);
    maths._MATRIX3DTranspose(&m, &m);
    struct Case {
        const char* name;
        VECTOR3D a, b;
        int result;
    } cases[] = {
        {"inside", {-1, 0, 10}, {1, 0, 10}, 2},
        {"crossing", {0, 0, 10}, {0, 20, 10}, 1},
        {"crossing reversed", {0, 20, 10}, {0, 0, 10}, 1},
        {"crossing near plane", {0, 0, 0}, {0, 0, 10}, 1},
        {"outside", {0, 0, -5}, {0, 0, -1}, 0},
        {"outside diagonal", {20, 20, 10}, {30, 25, 12}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(_VECTOR3DCheckVisible(&m, c.a, c.b), c.result) << c.name;
}

}  // namespace
