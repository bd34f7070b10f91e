// The engine's vector and matrix service.
//
// Conventions: row vectors (p' = p * M), rows RIGHT, UP, AT, position;
// every building operation pre-multiplies (M <- R * M), so the new
// transformation acts first, in the object's own axes. View space is
// left-handed, angles are radians, arithmetic is single precision.
#pragma once

#include <cstdint>

#include "engine/3d/Types3D.h"
#include "engine/world/Types.h"

class CMaths3D {
public:
    CMaths3D();
    virtual ~CMaths3D();

    virtual VECTOR2D _VECTOR2DNormalize(const VECTOR2D* v);
    virtual float _VECTOR2DLength(const VECTOR2D* v);
    // Returns the CROSS product a x b, not the scalar product: the triangle
    // facing test and the stencil shadows rely on it.
    virtual VECTOR3D _VECTOR3DDotProduct(const VECTOR3D* a, const VECTOR3D* b);
    virtual float _VECTOR3DVec3Dot(const VECTOR3D* a, const VECTOR3D* b);
    virtual VECTOR3D _VECTOR3DNormalize(const VECTOR3D* v);
    virtual float _VECTOR3DLength(const VECTOR3D* v);
    // p * M with w = 1, no division by w.
    virtual VECTOR3D _VECTOR3DTransformCoord(const VECTOR3D* v, const MATRIX3D* m);
    virtual float _VECTOR3DTransformCoordZ(const VECTOR3D* v, const MATRIX3D* m);
    virtual VECTOR3D _VECTOR3DVec3Cross(const VECTOR3D* a, const VECTOR3D* b);
    // Screen position (origin top-left, y down) and depth 0..1; (0, 0, -1)
    // when the point has w = 0 in clip space. `world` may be null.
    virtual VECTOR3D _VECTOR3DProject(uint32_t width, uint32_t height, const MATRIX3D* world,
                                      const MATRIX3D* view, const MATRIX3D* proj,
                                      const VECTOR3D* v);
    virtual VECTOR3D _VECTOR3DUnProject(uint32_t width, uint32_t height, const MATRIX3D* inverse,
                                        const VECTOR3D* v);
    virtual void _VECTOR3DLimit(VECTOR3D* v, const VECTOR3D* upper, const VECTOR3D* lower);
    virtual VECTOR3D _VECTOR3DLimitEx(const VECTOR3D* v, const VECTOR3D* upper,
                                      const VECTOR3D* lower);
    // 1 when the sphere's three axis segments reach the frustum, else 0.
    virtual int _VECTOR3DIsVisible(const MATRIX3D* view, const MATRIX3D* proj,
                                   const VECTOR3D* centre, float radius);
    virtual float _VECTOR3DGetDistanceFromLine(const VECTOR3D* p, const VECTOR3D* a,
                                               const VECTOR3D* b);
    virtual VECTOR4D _VECTOR4DTransformCoord(const VECTOR4D* v, const MATRIX3D* m);

    virtual void _MATRIX3DPreTransform(MATRIX3D* m);
    virtual float _MATRIX3DGetDeterminant(const MATRIX3D* m);
    virtual VECTOR3D _MATRIX3DGetPosition(const MATRIX3D* m);
    virtual void _MATRIX3DSetPosition(MATRIX3D* m, const VECTOR3D* v);
    virtual void _MATRIX3DSetPositionXYZ(MATRIX3D* m, float x, float y, float z);
    virtual void _MATRIX3DIdentity(MATRIX3D* m);
    virtual bool _MATRIX3DIsIdentity(const MATRIX3D* m);
    virtual bool _MATRIX3DIsEquals(const MATRIX3D* a, const MATRIX3D* b);
    virtual void _MATRIX3DTranspose(MATRIX3D* out, const MATRIX3D* m);
    // out = a * b; out may be a or b.
    virtual void _MATRIX3DMultiply(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b);
    // Affine inverse: exact when the last column is (0, 0, 0, 1). A singular
    // matrix is not detected. The second form also hands back 1 / det.
    virtual void _MATRIX3DInverse(MATRIX3D* m);
    virtual void _MATRIX3DInverse(MATRIX3D* out, float* inverseDeterminant, const MATRIX3D* m);
    virtual void _MATRIX3DNoScaling(MATRIX3D* m);
    virtual VECTOR3D _MATRIX3DGetScaling(const MATRIX3D* m);
    virtual MATRIX3D* _MATRIX3DScaling(MATRIX3D* m, float s);
    virtual MATRIX3D* _MATRIX3DScalingEx(MATRIX3D* m, const VECTOR3D* v);
    virtual MATRIX3D* _MATRIX3DScalingXYZ(MATRIX3D* m, float x, float y, float z);
    virtual MATRIX3D* _MATRIX3DTranslationX(MATRIX3D* m, float t);
    virtual MATRIX3D* _MATRIX3DTranslationY(MATRIX3D* m, float t);
    virtual MATRIX3D* _MATRIX3DTranslationZ(MATRIX3D* m, float t);
    virtual MATRIX3D* _MATRIX3DTranslation(MATRIX3D* m, const VECTOR3D* v);
    virtual MATRIX3D* _MATRIX3DTranslationXYZ(MATRIX3D* m, float x, float y, float z);
    // M <- Rz * Ry * Rx * M.
    virtual MATRIX3D* _MATRIX3DRotation(MATRIX3D* m, const VECTOR3D* angles);
    virtual MATRIX3D* _MATRIX3DRotationX(MATRIX3D* m, float angle);
    virtual MATRIX3D* _MATRIX3DRotationY(MATRIX3D* m, float angle);
    virtual MATRIX3D* _MATRIX3DRotationZ(MATRIX3D* m, float angle);
    // Same results as above, through the full matrix product.
    virtual MATRIX3D* _MATRIX3DRotationEx(MATRIX3D* m, const VECTOR3D* angles);
    virtual MATRIX3D* _MATRIX3DRotationExX(MATRIX3D* m, float angle);
    virtual MATRIX3D* _MATRIX3DRotationExY(MATRIX3D* m, float angle);
    virtual MATRIX3D* _MATRIX3DRotationExZ(MATRIX3D* m, float angle);
    // Turns an object (camera) matrix towards `target`, keeping its position.
    virtual MATRIX3D* _MATRIX3DLookAtLH(MATRIX3D* m, const VECTOR3D* target);
    virtual MATRIX3D* _MATRIX3DLookAt(MATRIX3D* m, const VECTOR3D* target);
    virtual MATRIX3D* _MATRIX3DLookAtCamera(MATRIX3D* m, const MATRIX3D* camera);
    virtual MATRIX3D* _MATRIX3DPerspectiveFovRH(MATRIX3D* m, float fovy, float aspect, float zn,
                                                float zf);
    virtual MATRIX3D* _MATRIX3DPerspectiveFovLH(MATRIX3D* m, float fovy, float aspect, float zn,
                                                float zf);
    virtual void _MATRIX3DPerspectiveClipVs(MATRIX3D* clip, MATRIX3D* viewport, uint32_t width,
                                            uint32_t height);
    // Centred box only: callers add their own translation for an off-centre one.
    virtual void _MATRIX3DPerspectiveOrtho(MATRIX3D* m, float left, float right, float bottom,
                                           float top, float zn, float zf);
    virtual VECTOR3D _MATRIX3DGetVECT_AT(const MATRIX3D* m);
    virtual VECTOR3D _MATRIX3DGetVECT_UP(const MATRIX3D* m);
    virtual VECTOR3D _MATRIX3DGetVECT_RIGHT(const MATRIX3D* m);
    virtual void _MATRIX3DSetVECT_AT(MATRIX3D* m, const VECTOR3D* v);
    virtual void _MATRIX3DSetVECT_UP(MATRIX3D* m, const VECTOR3D* v);
    virtual void _MATRIX3DSetVECT_RIGHT(MATRIX3D* m, const VECTOR3D* v);
    // (pitch, yaw, roll).
    virtual VECTOR3D _MATRIX3DGetOrientation(const MATRIX3D* m);
    virtual float _MATRIX3DGetOrientationY(const MATRIX3D* m);
    // Null outputs are skipped.
    virtual void _MATRIX3DGetOrientationXYZ(const MATRIX3D* m, float* x, float* y, float* z);
    // Facing of a triangle seen along +z. mode 0: always eOK; mode 2: eOK
    // for clockwise (n.z <= 0); any other mode: eOK for counter-clockwise.
    // The matrix is not used.
    virtual eRESULT _TRIANGLE3DGetVizible(const VECTOR3D* a, const VECTOR3D* b, const VECTOR3D* c,
                                          const MATRIX3D* m, uint32_t mode);
    // Hit distance along the normalised direction (negative behind the
    // origin), 0 when the ray misses or runs parallel.
    virtual float _TRIANGLE3DGetCollision(const VECTOR3D& origin, const VECTOR3D& direction,
                                          const VECTOR3D& p0, const VECTOR3D& p1,
                                          const VECTOR3D& p2);
    // The centre-inside test only accepts clockwise (y up) triangles; vertex
    // and edge contacts work for both windings.
    virtual bool _TRIANGLE2DIntersectCircle(VECTOR2D centre, float radius, VECTOR2D p0,
                                            VECTOR2D p1, VECTOR2D p2);
    // Row N of a * b into row N of out.
    virtual void _MATRIX3DMultiplyCol0(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b);
    virtual void _MATRIX3DMultiplyCol1(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b);
    virtual void _MATRIX3DMultiplyCol2(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b);
    virtual void _MATRIX3DMultiplyCol3(MATRIX3D* out, const MATRIX3D* a, const MATRIX3D* b);
};

// Same as CMaths3D::_VECTOR3DTransformCoord.
VECTOR3D _VECTOR3DTransformCoordEx(const VECTOR3D* v, const MATRIX3D* m);

// Segment a-b against the six frustum planes of m (the transposed
// view * projection): 0 outside, 1 crossing, 2 inside.
int _VECTOR3DCheckVisible(const MATRIX3D* m, const VECTOR3D& a, const VECTOR3D& b);
