// 3DX save and load at three sizes ten times apart: both are one pass over
// the arrays, so a model ten times larger should take about ten times as
// long. The floor is the same bytes written and read back with plain stdio,
// one fwrite/fread of the whole file: what the disk cache and the copies
// cost before any parsing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectRaw.h"

namespace {

constexpr uint32_t kContents = e3DX_VERTEX_ALL | e3DX_MATERIAL | e3DX_TEXTURE_NAME | e3DX_TEXTURE_WORD1 |
                               e3DX_TEXTURE_WORD2;

std::string TempName(int64_t n) {
    return "/tmp/orbelline_bench_" + std::to_string(::getpid()) + "_3dx" + std::to_string(n) + ".3dx";
}

// A triangle list of `vertices` vertices (one record), every section filled.
void Fill(C3DObjectRaw* raw, uint32_t vertices) {
    raw->Load(1, vertices, vertices);
    RAW_MODEL* m = raw->m_pModel;
    for (uint32_t i = 0; i < vertices; ++i) {
        m->m_pdwIndices[i] = i;
        m->m_pvPositions[i] = VECTOR3D{static_cast<float>(i % 1000), static_cast<float>(i / 1000), 1.0f};
        m->m_pvNormals[i] = VECTOR3D{0.0f, 0.0f, 1.0f};
        m->m_pdwColors[i] = 0xFFFFFFFFu;
        m->m_pdwSpeculars[i] = 0xFF000000u;
        m->m_pvUVs[i] = VECTOR2D{static_cast<float>(i % 7) / 7.0f, 0.5f};
    }
    ATTRIBUT& a = m->m_pAttributes[0];
    a.dwOrder = 0;
    a.dwVertexStart = 0;
    a.dwVertexCount = vertices;
    a.dwIndexStart = 0;
    a.dwIndexCount = vertices;
    a.dwPrimitiveCount = vertices / 3;
    a.dwPrimitiveType = PRIM_TRIANGLELIST;
    std::snprintf(m->m_pszTextureNames[0], eMAX_PATH, "stone.png");
}

int64_t Vertices(const benchmark::State& state) { return state.range(0) / 3 * 3; }

// The state's model saved as a 3DX file; returns its path.
std::string WriteModel(const benchmark::State& state) {
    const std::string path = TempName(state.range(0));
    C3DObjectRaw raw(nullptr);
    Fill(&raw, static_cast<uint32_t>(Vertices(state)));
    raw.SaveToFile(path.c_str(), kContents);
    return path;
}

// The file's bytes in one fread; false when it cannot be read whole.
bool ReadWhole(const std::string& path, std::vector<char>* bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    bytes->resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    const bool whole = std::fread(bytes->data(), 1, bytes->size(), f) == bytes->size();
    std::fclose(f);
    return whole;
}

void Save(benchmark::State& state) {
    C3DObjectRaw raw(nullptr);
    Fill(&raw, static_cast<uint32_t>(Vertices(state)));
    const std::string path = TempName(state.range(0));
    for (auto _ : state)
        if (eFAILURE(raw.SaveToFile(path.c_str(), kContents))) state.SkipWithError("refused");
    state.SetComplexityN(state.range(0));
    std::remove(path.c_str());
}

void Load(benchmark::State& state) {
    const std::string path = WriteModel(state);
    C3DObjectRaw raw(nullptr);
    for (auto _ : state) {
        if (eFAILURE(raw.LoadFromFile(path.c_str()))) state.SkipWithError("refused");
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(state.range(0));
    std::remove(path.c_str());
}

// The floor: the file's bytes written in one piece, and read back in one.
void BareWrite(benchmark::State& state) {
    const std::string path = WriteModel(state);
    std::vector<char> bytes;
    if (!ReadWhole(path, &bytes)) state.SkipWithError("read");
    for (auto _ : state) {
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) state.SkipWithError("write");
        if (out) std::fclose(out);
    }
    state.SetComplexityN(state.range(0));
    std::remove(path.c_str());
}

void BareRead(benchmark::State& state) {
    const std::string path = WriteModel(state);
    std::vector<char> bytes;
    for (auto _ : state) {
        if (!ReadWhole(path, &bytes)) state.SkipWithError("read");
        benchmark::ClobberMemory();
    }
    state.SetComplexityN(state.range(0));
    std::remove(path.c_str());
}

}  // namespace

BENCHMARK(Save)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BareWrite)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Load)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BareRead)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
