// A floating-point RGBA picture with the few drawing operations the art
// recipes need, and PNG output through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace artgen {

struct Color {
    float r, g, b, a;
};

class Canvas {
public:
    Canvas(int width, int height, Color fill = {0, 0, 0, 1});

    int Width() const { return width_; }
    int Height() const { return height_; }
    Color& At(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Color& At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // Source-over blend of `c` with coverage `cover` (0..1) at one pixel.
    void Blend(int x, int y, Color c, float cover);

    // Channels: 1 grey, 3 RGB, 4 RGBA. False with a message on failure.
    bool WritePng(const std::string& path, int channels, std::string* error) const;

private:
    int width_, height_;
    std::vector<Color> pixels_;
};

// Smooth value noise in [0, 1], several octaves, repeatable for a seed.
float FractalNoise(float x, float y, uint32_t seed, int octaves);

// Hermite step between edge0 and edge1.
float SmoothStep(float edge0, float edge1, float x);

Color Mix(Color a, Color b, float t);

}  // namespace artgen
