// Rebuilding a stencil shadow volume (FrameMove) for spheres of about 1k,
// 10k and 100k triangles, half of them facing the light: the cost should
// grow linearly with the triangle count. For contrast, the silhouette alone
// collected with a linear search of the edge list, as the hash table avoids.
#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "engine/3d/3DObjectModels.h"
#include "engine/3d/3DStencilShadow.h"
#include "engine/3d/Maths3D.h"
#include "engine/3d/gles/3DObjectGLESVariants.h"
#include "engine/world/SharedInfos.h"

namespace {

struct Scene {
    std::unique_ptr<SHARED_INFOS> infos = std::make_unique<SHARED_INFOS>();
    std::unique_ptr<C3DObjectGLESNormal> object = std::make_unique<C3DObjectGLESNormal>();
    std::unique_ptr<C3DStencilShadow> shadow;
    uint32_t triangles = 0;

    Scene() { infos->m_pMaths3D = new CMaths3D; }
    ~Scene() {
        shadow.reset();
        object.reset();
        delete infos->m_pMaths3D;
    }
};

// A sphere of 2n(n - 1) triangles, n the segment count.
std::unique_ptr<Scene> MakeScene(uint32_t triangles) {
    auto scene = std::make_unique<Scene>();
    SHARED_INFOS* si = scene->infos.get();
    si->m_Light[0].m_afPosition[0] = 1000.0f;
    si->m_Light[0].m_afPosition[1] = 2000.0f;
    si->m_Light[0].m_afPosition[2] = -5000.0f;
    C3DObjectGLESNormal& o = *scene->object;
    o.m_dwFlags = OBJ_NORMAL;
    o.Load(si);
    const uint32_t n = static_cast<uint32_t>(std::lround(0.5 + std::sqrt(0.25 + triangles / 2.0)));
    MODEL_SPHERE sphere{10.0f, n, 0xFFFFFFFFu, 0};
    o.ConstructFromModel(MODEL_TYPE_SPHERE, &sphere);
    scene->triangles = 2 * n * (n - 1);

    scene->shadow = std::make_unique<C3DStencilShadow>(si);
    scene->shadow->Load(1, 0x60000000u);
    const VECTOR3D upper{FLT_MAX, FLT_MAX, FLT_MAX}, lower{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    scene->shadow->AddObject(0, &o, &o.m_matMatrix, upper, lower);
    return scene;
}

void BM_ShadowFrameMove(benchmark::State& state) {
    auto scene = MakeScene(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        scene->shadow->FrameMove(0);
        benchmark::ClobberMemory();
    }
    const SHADOW_OBJECT* r = scene->shadow->GetObject(0);
    state.SetComplexityN(scene->triangles);
    state.counters["triangles"] = scene->triangles;
    state.counters["edges"] = r->dwSideCount / 6.0;
    state.counters["ns_per_triangle"] = benchmark::Counter(
        static_cast<double>(scene->triangles), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ShadowFrameMove)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);

// The lit triangles' edges of the same spheres, collected by searching the
// list from the start for every edge.
void BM_SilhouetteLinearSearch(benchmark::State& state) {
    auto scene = MakeScene(static_cast<uint32_t>(state.range(0)));
    C3DObjectGLESNormal& o = *scene->object;
    const float* lp = scene->infos->m_Light[0].m_afPosition;
    std::vector<std::pair<uint16_t, uint16_t>> stream;
    o.BeginConstruct();
    const uint32_t indices = scene->triangles * 3;
    for (uint32_t k = 0; k + 2 < indices; k += 3) {
        const uint32_t a = o.GetIndex(k), b = o.GetIndex(k + 1), c = o.GetIndex(k + 2);
        const VECTOR3D pa = o.GetVertexPosition(a), pb = o.GetVertexPosition(b), pc = o.GetVertexPosition(c);
        const VECTOR3D u{pc.x - pb.x, pc.y - pb.y, pc.z - pb.z}, v{pb.x - pa.x, pb.y - pa.y, pb.z - pa.z};
        const VECTOR3D nrm{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        if (nrm.x * lp[0] + nrm.y * lp[1] + nrm.z * lp[2] < 0) continue;
        stream.emplace_back(a, b), stream.emplace_back(b, c), stream.emplace_back(c, a);
    }
    o.EndConstruct(false);
    std::vector<std::pair<uint16_t, uint16_t>> list;
    for (auto _ : state) {
        list.clear();
        for (const auto& e : stream) {
            size_t i = 0;
            while (i < list.size() && !((list[i].first == e.first && list[i].second == e.second) ||
                                        (list[i].first == e.second && list[i].second == e.first)))
                ++i;
            if (i == list.size()) {
                list.push_back(e);
            } else {
                list[i] = list.back();
                list.pop_back();
            }
        }
        benchmark::DoNotOptimize(list.data());
    }
    state.SetComplexityN(scene->triangles);
    state.counters["triangles"] = scene->triangles;
    state.counters["edges"] = static_cast<double>(list.size());
}
BENCHMARK(BM_SilhouetteLinearSearch)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
