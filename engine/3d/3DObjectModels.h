// Parameter records of the procedural models built by
// C3DObject::ConstructFromModel(type, record). Every field is 32 bits;
// lengths are in object units, colours 0xAARRGGBB. Fields marked "written
// back" are corrected in the caller's record before building.
//
// Cull mode of the built sub-objects: CULL_NONE with RENDER_CULL_NONE, else
// CULL_CW with RENDER_CULL_CW, else CULL_CCW with RENDER_CULL_CCW, else
// CULL_NONE; the random plane follows the model loader's rule (RENDER_CULL_CCW
// before RENDER_CULL_CW, CULL_CCW without either); the arrows and the frustum
// store 0xFFFFFFFF, which draws unculled.
//
// Triangles wind so that the engine's face normal (cross(pa - pb, pa - pc))
// points the way of the normals the builders store: outward on the sphere,
// half sphere, box and cylinder, along the axis normal on the disk and plane,
// into the dish on the parabola.
//
// A model whose vertex or index count would pass the object's limits
// (eOBJ_MAX_VERTICES, eOBJ_MAX_INDICES) is refused before anything changes.
#pragma once

#include <cstdint>

constexpr uint32_t MODEL_TYPE_SPHERE = 1;
constexpr uint32_t MODEL_TYPE_DEMISPHERE = 2;
constexpr uint32_t MODEL_TYPE_DISK = 3;
constexpr uint32_t MODEL_TYPE_PLANE = 4;
constexpr uint32_t MODEL_TYPE_BOX = 5;
constexpr uint32_t MODEL_TYPE_ARROW = 6;
constexpr uint32_t MODEL_TYPE_FRUSTRUM = 7;
constexpr uint32_t MODEL_TYPE_RANDOM_PLANE = 8;
constexpr uint32_t MODEL_TYPE_CYLINDER = 9;
constexpr uint32_t MODEL_TYPE_PARABOLA = 10;

// Sphere and half sphere (the half with z >= 0): n segments around and n
// rings from pole to pole; n^2 + 2n - 1 vertices, 6n(n - 1) indices, one
// triangle list.
struct MODEL_SPHERE {
    float fRadius;
    uint32_t dwSegments;  // 3 .. 255, written back
    uint32_t dwColor;
    uint32_t dwSpecular;
};

// A fan of n triangles around a centre raised by fHeight over the rim (a
// cone; flat for 0). Axis 0 (and any value above 2): rim in the xy plane,
// normal (0, 0, -1); 1: yz plane, normal (1, 0, 0); 2: xz plane, normal
// (0, 1, 0). The centre sits on the axis, half the height above the middle.
struct MODEL_DISK {
    float fDiameter;
    uint32_t dwSegments;  // at least 3, written back
    float fHeight;
    uint32_t dwAxis;
    uint32_t dwTextureMode;  // 0 or 1: the texture's inscribed circle; other: uv 0
    uint32_t dwColor;
    uint32_t dwSpecular;
    float fUScale;
    float fVScale;
};

// A grid of columns x rows cells, two triangles each. Orientation 0 (and any
// value above 2): xy plane, normal (0, 0, -1); 1: yz plane, normal (1, 0, 0);
// 2: xz plane, normal (0, 1, 0). Both texture coordinates are divided by the
// column count.
struct MODEL_PLANE {
    float fWidth;
    float fDepth;
    uint32_t dwColumns;  // at least 1, written back
    uint32_t dwRows;     // at least 1, written back
    uint32_t dwOrientation;
    uint32_t dwColor;
    uint32_t dwSpecular;
    float fUScale;
    float fVScale;
};

// Six faces of four vertices, one two-triangle strip sub-object each, in the
// order +z, -z, +x, -x, -y, +y; corners at (+-width, +-height, +-depth).
// Mapping mode 0: every face shows the whole texture (u scale x v scale);
// mode 1: the same, with the +z face turned a quarter so that it starts at
// (-width, height, depth), (-width, -height, depth) and shows the texture
// upright; any other mode: every face shows it mirrored left to right.
struct MODEL_BOX {
    float fWidth;  // half extents
    float fHeight;
    float fDepth;
    uint32_t dwMapping;
    uint32_t dwColor;
    uint32_t dwSpecular;
    float fUScale;
    float fVScale;
};

// Three lines from the origin along +x, +y and +z.
struct MODEL_ARROW {
    float fLength;
    uint32_t dwColorX;
    uint32_t dwColorY;
    uint32_t dwColorZ;
};

// A fan from the apex (0, 0, -near) to a rim at z = far - near: four sides
// make a rectangle of the screen's proportions, other counts a regular
// polygon.
struct MODEL_FRUSTRUM {
    uint32_t dwSides;  // at least 3, written back
    float fNear;
    float fFar;
    float fAngle;  // radians
    uint32_t dwApexColor;
    uint32_t dwRimColor;
};

// A random height field of n x n cells that tiles: opposite edges share
// heights and normals. The heights come from the engine's random generator
// in SHARED_INFOS, so the same seed gives the same field.
struct MODEL_RANDOM_PLANE {
    float fExtent;
    uint32_t dwCells;  // n; 0 is refused
    float fHeight0;
    float fHeight1;
    uint32_t dwKeepBorder;  // 0: the border heights are forced to 0
    uint32_t dwUnused0;
    uint32_t dwUnused1;
    float fUScale;
    float fVScale;
};

// An open tube as one triangle strip of 2n vertices, the last pair closing
// it on the first; every stored normal is (0, 1, 0), so set
// OBJ_COMPUTE_NORMALS (left as it is) for lit tubes. Axis 0 or 1 (and any
// value above 2): along y; 2: along z.
struct MODEL_CYLINDER {
    float fTopDiameter;
    float fBottomDiameter;
    float fHeight;
    uint32_t dwBuilt;     // set to 1 by the builder
    uint32_t dwSegments;  // at least 3, written back
    uint32_t dwAxis;
    uint32_t dwTextureMode;  // 0: u around, v along; 1: u 1 on top, 0 below; other: uv 0
    uint32_t dwColor;
    uint32_t dwSpecular;
    float fUScale;
    float fV;
};

// A parabolic dish: a centre vertex and rings of `segments` vertices; ring
// radii grow by the ring ratio applied to the radius still missing, heights
// follow y = height x (r / radius)^2. segments x (rings + 1) + 1 vertices and
// 3 x segments x (2 rings - 1) indices: rings 0 .. rings-1 are joined, the
// last ring repeats ring rings-1 and no triangle uses it. The axis picks the
// plane as for the disk, the dish opening towards that axis' normal.
struct MODEL_PARABOLA {
    float fRadius;
    uint32_t dwSegments;
    float fHeight;
    float fRingRatio;
    uint32_t dwRings;  // at least 1, written back
    uint32_t dwAxis;
    uint32_t dwColor;
    uint32_t dwSpecular;
};

static_assert(sizeof(MODEL_SPHERE) == 16 && sizeof(MODEL_DISK) == 36 && sizeof(MODEL_PLANE) == 36 &&
                  sizeof(MODEL_BOX) == 32 && sizeof(MODEL_ARROW) == 16 && sizeof(MODEL_FRUSTRUM) == 24 &&
                  sizeof(MODEL_RANDOM_PLANE) == 36 && sizeof(MODEL_CYLINDER) == 44 && sizeof(MODEL_PARABOLA) == 32,
              "32-bit fields, in order");
