#include "tools/artgen/Canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/Files.h"

namespace artgen {

Canvas::Canvas(int width, int height, Color fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

void Canvas::Blend(int x, int y, Color c, float cover) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    float a = std::clamp(c.a * cover, 0.0f, 1.0f);
    Color& d = At(x, y);
    float outA = a + d.a * (1 - a);
    if (outA <= 0) {
        d = {0, 0, 0, 0};
        return;
    }
    d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
    d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
    d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
    d.a = outA;
}

bool Canvas::WritePng(const std::string& path, int channels, std::string* error) const {
    int colorType = channels == 1 ? PNG_COLOR_TYPE_GRAY : channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    std::vector<uint8_t> data(static_cast<size_t>(width_) * height_ * channels);
    auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Color& c = At(x, y);
            uint8_t* p = &data[(static_cast<size_t>(y) * width_ + x) * channels];
            if (channels == 1) {
                p[0] = byte(0.299f * c.r + 0.587f * c.g + 0.114f * c.b);
            } else {
                p[0] = byte(c.r);
                p[1] = byte(c.g);
                p[2] = byte(c.b);
                if (channels == 4) p[3] = byte(c.a);
            }
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width_);
    image.height = static_cast<png_uint_32>(height_);
    image.format = channels == 1 ? PNG_FORMAT_GRAY : channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    (void)colorType;
    std::string why;
    const bool ok = platform::WriteFileAtomically(
        path,
        [&](FILE* file, std::string* reason) {
            if (png_image_write_to_stdio(&image, file, 0, data.data(), 0, nullptr)) return true;
            *reason = image.message;
            return false;
        },
        &why);
    png_image_free(&image);
    if (!ok) *error = path + ": " + why;
    return ok;
}

namespace {

float Hash(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / 16777215.0f;
}

float ValueNoise(float x, float y, uint32_t seed) {
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    float fx = x - x0, fy = y - y0;
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float a = Hash(x0, y0, seed), b = Hash(x0 + 1, y0, seed);
    float c = Hash(x0, y0 + 1, seed), d = Hash(x0 + 1, y0 + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

}  // namespace

float FractalNoise(float x, float y, uint32_t seed, int octaves) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += ValueNoise(x, y, seed + i * 101u) * amplitude;
        total += amplitude;
        x *= 2.03f;
        y *= 2.03f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float SmoothStep(float edge0, float edge1, float x) {
    float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

Color Mix(Color a, Color b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

}  // namespace artgen
