// orbelline-artgen: draws the application's art from the recipe in assets/.
//
//   orbelline-artgen RECIPE OUTDIR
//
// Writes background.from.alpha.png, background.to.png, mask.png, touch.png,
// screenshot.png and blank.png into OUTDIR, and the home-screen icons
// icon-192.png and icon-512.png (not in the pack). Everything is procedural and
// seeded, so the same recipe gives the same files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/utils/UtilsParameters.h"
#include "platform/Files.h"
#include "tools/artgen/Canvas.h"

using artgen::Canvas;
using artgen::Color;
using artgen::FractalNoise;
using artgen::Mix;
using artgen::SmoothStep;

namespace {

const char kUsage[] =
    "usage: orbelline-artgen RECIPE OUTDIR\n"
    "Draws the crystal-ball art described by RECIPE (an INI text) into OUTDIR:\n"
    "background.from.alpha.png, background.to.png, mask.png, touch.png,\n"
    "screenshot.png and blank.png, and the icons icon-192.png and icon-512.png.\n";

class Recipe {
public:
    explicit Recipe(std::string text) : text_(std::move(text)), params_(text_.c_str(), text_.size() + 1) {}
    int Int(const char* section, const char* key, int def) {
        return static_cast<int>(params_.ReadLong(section, key, static_cast<uint32_t>(def)));
    }
    Color Rgb(const char* section, const char* key, const char* def) {
        char value[260];
        params_.ReadString(section, key, def, value, sizeof(value));
        int r = 0, g = 0, b = 0;
        if (std::sscanf(value, "%d %d %d", &r, &g, &b) != 3) std::sscanf(def, "%d %d %d", &r, &g, &b);
        return {r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
    }

private:
    std::string text_;
    CUtilsParametersStatic params_;
};

// The scene around the ball; the glass itself is transparent so that what
// lies under it (the answer behind the mist) shows through.
Canvas DrawBackgroundFrom(Recipe& r) {
    const int w = r.Int("SCENE", "WIDTH", 960), h = r.Int("SCENE", "HEIGHT", 640);
    Canvas c(w, h);
    const Color skyTop = r.Rgb("SCENE", "SKY_TOP", "16 10 44");
    const Color skyBottom = r.Rgb("SCENE", "SKY_BOTTOM", "58 22 74");
    const Color nebula = r.Rgb("SCENE", "NEBULA_COLOR", "120 60 170");
    const uint32_t nebulaSeed = static_cast<uint32_t>(r.Int("SCENE", "NEBULA_SEED", 11));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Color sky = Mix(skyTop, skyBottom, static_cast<float>(y) / h);
            float n = FractalNoise(x / 180.0f, y / 140.0f, nebulaSeed, 5);
            c.At(x, y) = Mix(sky, nebula, SmoothStep(0.5f, 0.85f, n) * 0.45f);
        }
    }
    // Stars: small soft dots, a few with a glow.
    const int stars = r.Int("SCENE", "STARS", 260);
    uint32_t s = static_cast<uint32_t>(r.Int("SCENE", "STAR_SEED", 7)) * 2654435761u + 1;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return (s >> 8) / 16777216.0f;
    };
    for (int i = 0; i < stars; ++i) {
        float sx = next() * w, sy = next() * h * 0.85f, size = 0.6f + next() * next() * 2.4f;
        float bright = 0.5f + next() * 0.5f;
        int rad = static_cast<int>(size * 3) + 1;
        for (int y = static_cast<int>(sy) - rad; y <= static_cast<int>(sy) + rad; ++y) {
            for (int x = static_cast<int>(sx) - rad; x <= static_cast<int>(sx) + rad; ++x) {
                float d = std::hypot(x - sx, y - sy);
                float cover = std::exp(-(d * d) / (size * size)) * bright;
                c.Blend(x, y, {1.0f, 0.95f, 0.85f, 1}, cover);
            }
        }
    }
    // The cloth the stand rests on.
    const int clothTop = r.Int("SCENE", "CLOTH_TOP", 560);
    const Color cloth = r.Rgb("SCENE", "CLOTH_COLOR", "64 16 44");
    for (int y = clothTop - 6; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float edge = SmoothStep(clothTop - 6.0f, clothTop + 6.0f, static_cast<float>(y));
            float fold = 0.85f + 0.15f * std::sin(x / 23.0f + std::sin(y / 9.0f));
            Color cl = {cloth.r * fold, cloth.g * fold, cloth.b * fold, 1};
            cl = Mix(cl, {0, 0, 0, 1}, SmoothStep(clothTop, h, y) * 0.5f);
            c.Blend(x, y, cl, edge);
        }
    }

    const float cx = r.Int("BALL", "CENTER_X", 490), cy = r.Int("BALL", "CENTER_Y", 372);
    const float radius = r.Int("BALL", "RADIUS", 226);

    // The stand: a bronze trapezoid with a collar, lit from the left.
    const float top = r.Int("STAND", "TOP_Y", 560), bottom = r.Int("STAND", "BOTTOM_Y", 624);
    const float topHalf = r.Int("STAND", "TOP_HALF_WIDTH", 120), bottomHalf = r.Int("STAND", "BOTTOM_HALF_WIDTH", 190);
    const Color metal = r.Rgb("STAND", "COLOR", "176 124 52");
    const Color shade = r.Rgb("STAND", "SHADE_COLOR", "92 56 20");
    for (int y = static_cast<int>(top) - 40; y <= static_cast<int>(bottom) + 2; ++y) {
        for (int x = static_cast<int>(cx - bottomHalf) - 2; x <= static_cast<int>(cx + bottomHalf) + 2; ++x) {
            float t = std::clamp((y - top) / (bottom - top), 0.0f, 1.0f);
            float half = topHalf + (bottomHalf - topHalf) * t;
            float inside = (1 - SmoothStep(half - 1, half + 1, std::fabs(x - cx))) *
                           SmoothStep(top - 40, top - 38, static_cast<float>(y)) *
                           (1 - SmoothStep(bottom - 1, bottom + 1, static_cast<float>(y)));
            if (inside <= 0) continue;
            float u = (x - cx) / half;  // -1 .. 1 across
            float light = 0.55f + 0.45f * std::cos((u + 0.35f) * 1.4f);
            Color m = Mix(shade, metal, std::clamp(light, 0.0f, 1.0f));
            // Engraved bands.
            float band = std::fmod(y - top + 400.0f, 22.0f);
            if (band < 2.0f) m = Mix(m, shade, 0.6f);
            c.Blend(x, y, m, inside);
        }
    }
    // A shadow of the stand on the cloth.
    for (int y = static_cast<int>(bottom) - 4; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float d = std::hypot((x - cx) / (bottomHalf * 1.3f), (y - bottom) / 14.0f);
            c.Blend(x, y, {0, 0, 0, 1}, (1 - SmoothStep(0.6f, 1.0f, d)) * 0.55f);
        }
    }

    // The glass. Its colour is what the mist looks like: the scene is screened
    // over the masked answer, so where the mask is still dark this colour is
    // all that shows. Its alpha is how much of the answer the rim and the
    // highlight cover once the mist is rubbed away.
    const Color mistDark = r.Rgb("BALL", "MIST_DARK", "40 26 76");
    const Color mistLight = r.Rgb("BALL", "MIST_LIGHT", "120 96 170");
    const uint32_t mistSeed = static_cast<uint32_t>(r.Int("BALL", "MIST_SEED", 5));
    const Color rim = r.Rgb("BALL", "RIM_COLOR", "200 190 255");
    const Color highlight = r.Rgb("BALL", "HIGHLIGHT", "255 255 255");
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float d = std::hypot(x - cx, y - cy) / radius;
            if (d > 1.03f) continue;
            float glass = 1 - SmoothStep(0.995f, 1.005f, d);  // 1 inside
            float n = FractalNoise(x / 70.0f, y / 70.0f, mistSeed, 5);
            float swirl = FractalNoise(x / 30.0f + n * 4, y / 30.0f, mistSeed + 3, 3);
            Color col = Mix(mistDark, mistLight, SmoothStep(0.25f, 0.85f, 0.55f * n + 0.45f * swirl));
            // Darker towards the edge, as a sphere would be.
            col = Mix(col, mistDark, SmoothStep(0.5f, 0.95f, d) * 0.6f);
            float alpha = 0.0f;
            float rimAmount = SmoothStep(0.90f, 1.0f, d);
            col = Mix(col, rim, rimAmount * 0.7f);
            alpha = std::max(alpha, rimAmount * 0.5f);
            float hd = std::hypot((x - (cx - radius * 0.40f)) / (radius * 0.22f),
                                  (y - (cy - radius * 0.50f)) / (radius * 0.12f));
            float spec = 1 - SmoothStep(0.0f, 1.0f, hd);
            col = Mix(col, highlight, spec * 0.7f);
            alpha = std::max(alpha, spec * 0.45f);
            float bd = std::hypot((x - cx) / (radius * 0.55f), (y - (cy + radius * 0.80f)) / (radius * 0.08f));
            float crescent = (1 - SmoothStep(0.2f, 1.0f, bd)) * 0.25f;
            col = Mix(col, rim, crescent);
            Color& p = c.At(x, y);
            p = Mix(p, Color{col.r, col.g, col.b, alpha}, glass);
        }
    }

    // The cradle in front of the ball's foot.
    const float cradleY = r.Int("STAND", "TOP_Y", 560);
    const float cradleHalf = r.Int("STAND", "TOP_HALF_WIDTH", 120) * 1.25f;
    for (int y = static_cast<int>(cradleY) - 40; y <= static_cast<int>(cradleY) + 40; ++y) {
        for (int x = static_cast<int>(cx - cradleHalf) - 2; x <= static_cast<int>(cx + cradleHalf) + 2; ++x) {
            float e = std::hypot((x - cx) / cradleHalf, (y - cradleY) / 22.0f);
            float inner = std::hypot((x - cx) / (cradleHalf * 0.86f), (y - (cradleY - 10)) / 16.0f);
            float cover = (1 - SmoothStep(0.97f, 1.03f, e)) * SmoothStep(0.97f, 1.03f, inner);
            if (cover <= 0) continue;
            float u = (x - cx) / cradleHalf;
            float light = 0.55f + 0.45f * std::cos((u + 0.35f) * 1.4f);
            c.Blend(x, y, Mix(shade, metal, std::clamp(light, 0.0f, 1.0f)), cover);
        }
    }
    return c;
}

// The light backdrop the answer is written on.
Canvas DrawBackgroundTo(Recipe& r) {
    const int w = r.Int("SCENE", "WIDTH", 960), h = r.Int("SCENE", "HEIGHT", 640);
    const float cx = r.Int("BALL", "CENTER_X", 490), cy = r.Int("BALL", "CENTER_Y", 372);
    const float radius = r.Int("BALL", "RADIUS", 226);
    const Color centre = r.Rgb("BACKDROP", "CENTER_COLOR", "250 246 236");
    const Color edge = r.Rgb("BACKDROP", "EDGE_COLOR", "214 204 240");
    Canvas c(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float d = std::hypot(x - cx, y - cy) / (radius * 1.4f);
            c.At(x, y) = Mix(centre, edge, SmoothStep(0.0f, 1.0f, d));
        }
    }
    return c;
}

// The mask that rubbing brightens: nearly black, so that nothing of the
// answer shows through before the user rubs.
Canvas DrawMask(Recipe& r) {
    const int size = r.Int("MASK", "SIZE", 256);
    const uint32_t seed = static_cast<uint32_t>(r.Int("MASK", "SEED", 23));
    const Color dark = r.Rgb("MASK", "DARK", "18 14 34");
    const Color light = r.Rgb("MASK", "LIGHT", "70 52 100");
    Canvas c(size, size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float n = FractalNoise(x / 40.0f, y / 40.0f, seed, 5);
            c.At(x, y) = Mix(dark, light, n);
        }
    }
    return c;
}

// A soft round white brush.
Canvas DrawBrush(Recipe& r) {
    const int size = r.Int("BRUSH", "SIZE", 64);
    Canvas c(size, size, {1, 1, 1, 0});
    const float half = size / 2.0f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float d = std::hypot(x + 0.5f - half, y + 0.5f - half) / half;
            c.At(x, y) = {1, 1, 1, (1 - SmoothStep(0.35f, 1.0f, d))};
        }
    }
    return c;
}

// The home-screen icon: the ball in its scene, cropped square around the
// glass and averaged down to `size` pixels. The glass shows its mist colour.
Canvas DrawIcon(const Canvas& scene, Recipe& r, int size) {
    const float cx = r.Int("BALL", "CENTER_X", 490), cy = r.Int("BALL", "CENTER_Y", 372);
    const float half = r.Int("BALL", "RADIUS", 226) * 1.15f;
    Canvas c(size, size);
    const float step = 2 * half / size;
    const int taps = std::max(1, static_cast<int>(std::ceil(step)));
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            Color sum{0, 0, 0, 1};
            for (int j = 0; j < taps; ++j) {
                for (int i = 0; i < taps; ++i) {
                    int sx = static_cast<int>(cx - half + (x + (i + 0.5f) / taps) * step);
                    int sy = static_cast<int>(cy - half + (y + (j + 0.5f) / taps) * step);
                    sx = std::clamp(sx, 0, scene.Width() - 1);
                    sy = std::clamp(sy, 0, scene.Height() - 1);
                    const Color& p = scene.At(sx, sy);
                    sum.r += p.r;
                    sum.g += p.g;
                    sum.b += p.b;
                }
            }
            const float n = static_cast<float>(taps * taps);
            c.At(x, y) = {sum.r / n, sum.g / n, sum.b / n, 1};
        }
    }
    return c;
}

bool Write(const Canvas& c, const std::string& dir, const char* name, int channels) {
    std::string error;
    if (!c.WritePng(dir + "/" + name, channels, &error)) {
        std::fprintf(stderr, "orbelline-artgen: %s\n", error.c_str());
        return false;
    }
    std::printf("%s/%s (%d x %d)\n", dir.c_str(), name, c.Width(), c.Height());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string text, why;
    if (!platform::ReadRegularFile(argv[1], 1u << 20, &text, &why)) {
        std::fprintf(stderr, "orbelline-artgen: %s: cannot read the recipe: %s\n", argv[1], why.c_str());
        return 1;
    }
    Recipe recipe(text);
    const std::string out = argv[2];

    const Canvas scene = DrawBackgroundFrom(recipe);
    bool ok = Write(scene, out, "background.from.alpha.png", 4) &&
              Write(DrawBackgroundTo(recipe), out, "background.to.png", 3) &&
              Write(DrawMask(recipe), out, "mask.png", 3) && Write(DrawBrush(recipe), out, "touch.png", 4) &&
              Write(Canvas(512, 512, {0.06f, 0.04f, 0.12f, 1}), out, "screenshot.png", 3) &&
              Write(Canvas(16, 16, {0, 0, 0, 0}), out, "blank.png", 4) &&
              Write(DrawIcon(scene, recipe, 192), out, "icon-192.png", 3) &&
              Write(DrawIcon(scene, recipe, 512), out, "icon-512.png", 3);
    return ok ? 0 : 1;
}
