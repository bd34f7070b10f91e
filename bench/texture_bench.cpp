// The texture decoders (PNG, JPEG, TGA) on images of 10k, 100k and 1M pixels,
// each beside stb_image decoding the same bytes: the floor a decoder of its
// own should come near (TGA, a plain copy, at least as fast). The upload is
// left out: only the decode to the pixels handed to it is timed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "engine/3d/3DTexture.h"
#include "engine/world/SharedInfos.h"

namespace {

// Decodes and drops the pixels: no GL.
class DecodeOnly : public C3DTexture {
public:
    eRESULT MakeTextureFromRaw(uint16_t width, uint16_t height, uint8_t bits, void* pixels, const char*) override {
        benchmark::DoNotOptimize(pixels);
        pixelsSeen = static_cast<uint64_t>(width) * height;
        return bits ? eOK : eFAILED;
    }
    uint64_t pixelsSeen = 0;
};

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

// A side x side RGBA picture with smooth areas and some grain, as the
// shipped art has.
std::vector<uint8_t> Picture(int side) {
    std::vector<uint8_t> rgba(static_cast<size_t>(side) * side * 4);
    uint32_t seed = 12345;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 29);
            uint8_t* p = &rgba[(static_cast<size_t>(y) * side + x) * 4];
            p[0] = static_cast<uint8_t>((x * 255 / side + grain) & 0xFF);
            p[1] = static_cast<uint8_t>((y * 255 / side + grain) & 0xFF);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + y) * 0.05));
            p[3] = static_cast<uint8_t>(255 - (x * 64 / side));
        }
    }
    return rgba;
}

enum Format { kPng, kJpeg, kTga };

const std::vector<uint8_t>& Encoded(Format format, int side) {
    static std::vector<uint8_t> cache[3][4];
    const int slot = side == 100 ? 0 : side == 316 ? 1 : side == 1000 ? 2 : 3;
    std::vector<uint8_t>& out = cache[format][slot];
    if (!out.empty()) return out;
    const std::vector<uint8_t> rgba = Picture(side);
    if (format == kPng) stbi_write_png_to_func(Append, &out, side, side, 4, rgba.data(), side * 4);
    if (format == kJpeg) stbi_write_jpg_to_func(Append, &out, side, side, 4, rgba.data(), 90);
    if (format == kTga) {
        stbi_write_tga_with_rle = 0;
        stbi_write_tga_to_func(Append, &out, side, side, 4, rgba.data());
    }
    return out;
}

const char* NameOf(Format format) { return format == kPng ? "a.png" : format == kJpeg ? "a.jpg" : "a.tga"; }

void Engine(benchmark::State& state, Format format) {
    const int side = static_cast<int>(state.range(0));
    const std::vector<uint8_t>& bytes = Encoded(format, side);
    SHARED_INFOS infos{};
    infos.m_dwTextureNameSkip = 0xFFFFFFFFu;
    DecodeOnly texture;
    texture.Load(&infos);
    std::vector<uint8_t> copy(bytes);
    for (auto _ : state) {
        if (texture.MakeTextureFromAddress(copy.data(), static_cast<uint32_t>(copy.size()), NameOf(format)) != eOK) {
            state.SkipWithError("the engine refused the image");
            break;
        }
    }
    texture.Unload();
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(side) * side);
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

void Stb(benchmark::State& state, Format format) {
    const int side = static_cast<int>(state.range(0));
    const std::vector<uint8_t>& bytes = Encoded(format, side);
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &n, 0);
        if (!pixels) {
            state.SkipWithError("stb_image refused the image");
            break;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(side) * side);
}

// 10k, 100k and 1M pixels.
void Sizes(benchmark::internal::Benchmark* b) { b->Arg(100)->Arg(316)->Arg(1000)->Unit(benchmark::kMicrosecond); }

}  // namespace

BENCHMARK_CAPTURE(Engine, png, kPng)->Apply(Sizes);
BENCHMARK_CAPTURE(Stb, png, kPng)->Apply(Sizes);
BENCHMARK_CAPTURE(Engine, jpeg, kJpeg)->Apply(Sizes);
BENCHMARK_CAPTURE(Stb, jpeg, kJpeg)->Apply(Sizes);
BENCHMARK_CAPTURE(Engine, tga, kTga)->Apply(Sizes);
BENCHMARK_CAPTURE(Stb, tga, kTga)->Apply(Sizes);

BENCHMARK_MAIN();
