// The smooth-normal pass and its weld on flat-shaded grids: every triangle
// has its own three vertices, so up to six vertices share a position, and
// the triangles come in shuffled order. The pass should grow no faster than
// n log n in the vertex count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/3d/3DObjectIndex.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/world/SharedInfos.h"

namespace {

struct Scene {
    std::unique_ptr<SHARED_INFOS> infos = std::make_unique<SHARED_INFOS>();
    std::unique_ptr<C3DObjectGLESNormal> object = std::make_unique<C3DObjectGLESNormal>();

    Scene() { infos->m_pMaths3D = new CMaths3D; }
    ~Scene() {
        object.reset();
        delete infos->m_pMaths3D;
    }
};

// A wavy g x g grid, two triangles per cell, about `vertices` vertices in
// all; indices left open.
std::unique_ptr<Scene> MakeGrid(uint32_t vertices) {
    const uint32_t g = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(std::sqrt(vertices / 6.0))));
    std::vector<std::array<std::array<uint32_t, 2>, 3>> triangles;
    for (uint32_t r = 0; r < g; ++r) {
        for (uint32_t c = 0; c < g; ++c) {
            triangles.push_back({{{c, r + 1}, {c + 1, r}, {c, r}}});
            triangles.push_back({{{c + 1, r + 1}, {c + 1, r}, {c, r + 1}}});
        }
    }
    std::mt19937 rng(7);
    std::shuffle(triangles.begin(), triangles.end(), rng);

    auto scene = std::make_unique<Scene>();
    C3DObjectGLESNormal& o = *scene->object;
    o.m_dwFlags = OBJ_NORMAL;
    o.Load(scene->infos.get());
    const uint32_t n = static_cast<uint32_t>(triangles.size() * 3);
    o.InitConstruct(1, n, n);
    o.BeginConstruct();
    o.SetIndexIncrementaly();
    uint32_t v = 0;
    for (const auto& t : triangles) {
        for (const auto& p : t) {
            const float x = static_cast<float>(p[0]), z = static_cast<float>(p[1]);
            o.SetVertex(v++, VECTOR3D{x, std::sin(x * 0.3f) * std::cos(z * 0.2f), z}, 0xFFFFFFFFu, VECTOR2D{0, 0},
                        VECTOR3D{0, 0, 0}, 0);
        }
    }
    o.SetSubObjParsingEx(0, 0, n, 0, n, n / 3, PRIM_TRIANGLELIST, CULL_NONE, eNO_VALUE);
    return scene;
}

void BM_SmoothNormals(benchmark::State& state) {
    auto scene = MakeGrid(static_cast<uint32_t>(state.range(0)));
    C3DObjectGLESNormal& o = *scene->object;
    for (auto _ : state) {
        o.ComputeNormalsSmooth();
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(o.m_dwVertexCount);
    state.counters["vertices"] = o.m_dwVertexCount;
    state.counters["ns_per_vertex"] = benchmark::Counter(
        static_cast<double>(o.m_dwVertexCount), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Weld(benchmark::State& state) {
    auto scene = MakeGrid(static_cast<uint32_t>(state.range(0)));
    C3DObjectGLESNormal& o = *scene->object;
    o.ComputeNormalsSmooth();
    const ATTRIBUT* record = o.m_pIndex->GetSubObjParsing(0);
    for (auto _ : state) {
        o.ComputeOneNormalsSmoothVertex(record);
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(o.m_dwVertexCount);
    state.counters["vertices"] = o.m_dwVertexCount;
}

void BM_FlatNormals(benchmark::State& state) {
    auto scene = MakeGrid(static_cast<uint32_t>(state.range(0)));
    C3DObjectGLESNormal& o = *scene->object;
    for (auto _ : state) {
        o.ComputeNormals();
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(o.m_dwVertexCount);
}

}  // namespace

BENCHMARK(BM_SmoothNormals)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_Weld)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(BM_FlatNormals)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
