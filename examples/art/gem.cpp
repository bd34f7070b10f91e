// Builds the model example's art: a cut gem (eight facets above the girdle,
// eight below), flat shaded, written as a 3DX model with the engine's own
// writer. usage: gem OUT.3dx
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/3d/3DObjectRaw.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr, "usage: gem OUT.3dx\nWrites the examples' gem model.\n");
        return argc == 2 ? 0 : 2;
    }
    constexpr int kSides = 8;
    constexpr int kVertices = kSides * 2 * 3;  // every facet its own corners: flat shading
    C3DObjectRaw raw(nullptr);
    if (raw.Load(1, kVertices, kVertices) < 0) return std::fprintf(stderr, "gem: no model\n"), 1;
    RAW_MODEL* m = raw.m_pModel;
    const float pi = 3.14159265f;
    const VECTOR3D top = {0, 1.0f, 0}, bottom = {0, -1.4f, 0};
    int v = 0;
    for (int i = 0; i < kSides; ++i) {
        const float a0 = 2 * pi * i / kSides, a1 = 2 * pi * (i + 1) / kSides;
        const VECTOR3D r0 = {std::cos(a0), 0.3f, std::sin(a0)}, r1 = {std::cos(a1), 0.3f, std::sin(a1)};
        const VECTOR3D facets[2][3] = {{top, r1, r0}, {bottom, r0, r1}};
        for (int f = 0; f < 2; ++f) {
            const VECTOR3D& p = facets[f][0];
            const VECTOR3D& q = facets[f][1];
            const VECTOR3D& r = facets[f][2];
            const VECTOR3D e1 = {q.x - p.x, q.y - p.y, q.z - p.z}, e2 = {r.x - p.x, r.y - p.y, r.z - p.z};
            VECTOR3D n = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
            const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            n = {n.x / len, n.y / len, n.z / len};
            // Alternate facets in two blues, as a cut stone catches the light.
            const uint32_t colour = (i + f) % 2 ? 0xFF3060E0u : 0xFF60A0FFu;
            for (int k = 0; k < 3; ++k, ++v) {
                m->m_pvPositions[v] = facets[f][k];
                m->m_pvNormals[v] = n;
                m->m_pdwColors[v] = colour;
                m->m_pdwIndices[v] = static_cast<uint32_t>(v);
            }
        }
    }
    m->m_pAttributes[0] = ATTRIBUT{0, 0, kVertices, 0, kVertices, kVertices / 3, PRIM_TRIANGLELIST, CULL_NONE};
    if (raw.SaveToFile(argv[1], e3DX_POSITION | e3DX_NORMAL | e3DX_COLOR) < 0)
        return std::fprintf(stderr, "gem: %s: cannot write the model\n", argv[1]), 1;
    return 0;
}
