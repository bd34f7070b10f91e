// The silhouette edge list against the plain linear search it replaces:
// same pairs, same order, after every single step, on random meshes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "engine/3d/3DStencilShadow.h"

namespace {

using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;

// Look for (a, b) or (b, a); append when missing, else move the last pair
// into its place.
void ReferenceAdd(Pairs* list, uint16_t a, uint16_t b) {
    for (size_t i = 0; i < list->size(); ++i) {
        const auto& e = (*list)[i];
        if ((e.first == a && e.second == b) || (e.first == b && e.second == a)) {
            (*list)[i] = list->back();
            list->pop_back();
            return;
        }
    }
    list->emplace_back(a, b);
}

Pairs Contents(const CShadowEdgeList& edges) {
    Pairs out;
    for (uint32_t i = 0; i < edges.Count(); ++i) out.emplace_back(edges.Pairs()[2 * i], edges.Pairs()[2 * i + 1]);
    return out;
}

TEST(ShadowEdgeList, MatchesTheLinearSearchOnRandomMeshes) {
    struct Case {
        uint32_t vertices, triangles;
        int litPercent;
    };
    // Few vertices: edges repeat a lot; many: hardly at all; vertex numbers
    // up to the 16-bit limit.
    const Case cases[] = {{4, 50, 100}, {12, 400, 70}, {200, 2000, 50}, {65536, 3000, 60}, {3, 1, 100}};
    std::mt19937 random(1234);
    CShadowEdgeList edges;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vertices);
        std::uniform_int_distribution<uint32_t> vertex(0, c.vertices - 1);
        std::uniform_int_distribution<int> percent(0, 99);
        Pairs reference;
        edges.Reset(3 * c.triangles);
        for (uint32_t t = 0; t < c.triangles; ++t) {
            const uint16_t v[3] = {static_cast<uint16_t>(vertex(random)), static_cast<uint16_t>(vertex(random)),
                                   static_cast<uint16_t>(vertex(random))};
            if (percent(random) >= c.litPercent) continue;
            for (int k = 0; k < 3; ++k) {
                edges.Add(v[k], v[(k + 1) % 3]);
                ReferenceAdd(&reference, v[k], v[(k + 1) % 3]);
            }
            ASSERT_EQ(Contents(edges), reference) << "after triangle " << t;
        }
    }
}

TEST(ShadowEdgeList, ResetEmptiesAndEdgesCancelEitherWayRound) {
    CShadowEdgeList edges;
    edges.Reset(3);
    edges.Add(1, 2);
    edges.Add(2, 3);
    edges.Add(3, 1);
    EXPECT_EQ(edges.Count(), 3u);
    edges.Add(2, 1);  // the first goes, the last takes its place
    EXPECT_EQ(Contents(edges), (Pairs{{3, 1}, {2, 3}}));
    edges.Add(3, 2);
    edges.Add(1, 3);
    EXPECT_EQ(edges.Count(), 0u);
    edges.Add(7, 7);  // a degenerate edge is an edge like any other
    EXPECT_EQ(edges.Count(), 1u);
    edges.Reset(1);
    EXPECT_EQ(edges.Count(), 0u);
    edges.Add(7, 7);
    EXPECT_EQ(edges.Count(), 1u);
}

}  // namespace
