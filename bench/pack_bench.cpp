// Pack lookup: the pack has no index, so finding an entry walks the headers
// before it. Timed for the last of 100, 1k and 10k entries, beside the floor
// of any index-less lookup: a bare walk over the same headers (read the two
// sizes, skip the name and the data) that neither unscrambles nor compares.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/world/ResPacker.h"

namespace {

std::string PackPath(int64_t entries) {
    return "/tmp/orbelline_bench_" + std::to_string(::getpid()) + "_pack" + std::to_string(entries) + ".pak";
}

std::string EntryName(int64_t i) { return "Data/entry" + std::to_string(i) + ".bin"; }

// `entries` entries of 64 bytes each, written once per size.
FILE* OpenPack(int64_t entries) {
    const std::string path = PackPath(entries);
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return nullptr;
    const char data[64] = {};
    for (int64_t i = 0; i < entries; ++i) {
        if (eResPackerWriteEntryHeader(out, EntryName(i).c_str(), sizeof data) != eOK ||
            std::fwrite(data, 1, sizeof data, out) != sizeof data) {
            std::fclose(out);
            return nullptr;
        }
    }
    std::fclose(out);
    FILE* in = std::fopen(path.c_str(), "rb");
    std::remove(path.c_str());  // gone once closed
    return in;
}

void Lookup(benchmark::State& state) {
    const int64_t entries = state.range(0);
    FILE* file = OpenPack(entries);
    if (!file) {
        state.SkipWithError("cannot write the pack");
        return;
    }
    const std::string last = EntryName(entries - 1);
    _RES_PACKER packer{};
    packer.m_pFile = file;
    for (auto _ : state) {
        if (eGetResPacker(last.c_str(), &packer) != eOK) {
            state.SkipWithError("the last entry was not found");
            break;
        }
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations() * entries);
}

void BareWalk(benchmark::State& state) {
    const int64_t entries = state.range(0);
    FILE* file = OpenPack(entries);
    if (!file) {
        state.SkipWithError("cannot write the pack");
        return;
    }
    for (auto _ : state) {
        std::fseek(file, 0, SEEK_SET);
        int64_t seen = 0;
        unsigned char head[8];
        while (std::fread(head, 1, 8, file) == 8) {
            const uint32_t size = head[0] | head[1] << 8 | head[2] << 16 | static_cast<uint32_t>(head[3]) << 24;
            const uint32_t nameLen = head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
            if (++seen == entries) break;
            std::fseek(file, static_cast<long>(nameLen) + size, SEEK_CUR);
        }
        benchmark::DoNotOptimize(seen);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations() * entries);
}

void Sizes(benchmark::internal::Benchmark* b) { b->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond); }

}  // namespace

BENCHMARK(Lookup)->Apply(Sizes);
BENCHMARK(BareWalk)->Apply(Sizes);

BENCHMARK_MAIN();
