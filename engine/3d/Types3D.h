// Plain value records of the engine's maths. Row vectors: p' = p * M.
#pragma once

struct VECTOR2D {
    float x, y;
};

struct VECTOR3D {
    float x, y, z;

    // Division multiplies by the reciprocal; a zero divisor is not checked.
    VECTOR3D operator/(float f) const {
        float r = 1.0f / f;
        return VECTOR3D{x * r, y * r, z * r};
    }
    VECTOR3D& operator/=(float f) {
        float r = 1.0f / f;
        x *= r;
        y *= r;
        z *= r;
        return *this;
    }
};

struct VECTOR4D {
    float x, y, z, w;
};

// Elements m0..m15, four rows of four; the order glLoadMatrixf expects.
struct MATRIX3D {
    float m0, m1, m2, m3;
    float m4, m5, m6, m7;
    float m8, m9, m10, m11;
    float m12, m13, m14, m15;

    float* Data() { return &m0; }
    const float* Data() const { return &m0; }
};
