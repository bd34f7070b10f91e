#include "platform/LandscapeMapping.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace landscape {

Rect Fit(int areaWidth, int areaHeight) {
    areaWidth = std::max(areaWidth, 0);
    areaHeight = std::max(areaHeight, 0);
    int w, h;
    // Compare in integers: width / height against 3 / 2.
    if (static_cast<int64_t>(areaWidth) * kHeightPoints <= static_cast<int64_t>(areaHeight) * kWidthPoints) {
        w = areaWidth;
        h = static_cast<int>(static_cast<int64_t>(areaWidth) * kHeightPoints / kWidthPoints);
    } else {
        h = areaHeight;
        w = static_cast<int>(static_cast<int64_t>(areaHeight) * kWidthPoints / kHeightPoints);
    }
    return Rect{(areaWidth - w) / 2, (areaHeight - h) / 2, w, h};
}

Size InitialWindowSize(int scale, int maxWidth, int maxHeight) {
    scale = std::max(scale, 1);
    int w = kWidthPoints * scale;
    int h = kHeightPoints * scale;
    if (w <= maxWidth && h <= maxHeight) return Size{w, h};
    Rect r = Fit(std::min(w, maxWidth), std::min(h, maxHeight));
    return Size{std::max(r.w, 1), std::max(r.h, 1)};
}

Point WindowToView(float wx, float wy, const Rect& image) {
    float lx = (wx - image.x) * kWidthPoints / std::max(image.w, 1);
    float ly = (wy - image.y) * kHeightPoints / std::max(image.h, 1);
    return Point{ly, kWidthPoints - lx};
}

Point ViewToWindow(Point view, const Rect& image) {
    float lx = kWidthPoints - view.y;
    float ly = view.x;
    return Point{image.x + lx * image.w / kWidthPoints, image.y + ly * image.h / kHeightPoints};
}

bool InsideView(Point p) {
    return p.x >= 0 && p.x <= kViewWidthPoints && p.y >= 0 && p.y <= kViewHeightPoints;
}

Point ClampToView(Point p) {
    return Point{std::clamp(p.x, 0.0f, static_cast<float>(kViewWidthPoints)),
                 std::clamp(p.y, 0.0f, static_cast<float>(kViewHeightPoints))};
}

void RotateClockwise(const Frame& portrait, std::vector<uint8_t>* landscape) {
    const int fw = portrait.width, fh = portrait.height;
    if (fw <= 0 || fh <= 0 || portrait.rgba.size() < static_cast<size_t>(fw) * fh * 4) {
        landscape->clear();
        return;
    }
    landscape->resize(static_cast<size_t>(fw) * fh * 4);
    const uint8_t* src = portrait.rgba.data();
    uint8_t* dst = landscape->data();
    const size_t lw = static_cast<size_t>(fh);  // landscape width
    // Walk the source in order; each source row becomes a destination column.
    for (int py = 0; py < fh; ++py) {
        const size_t lx = static_cast<size_t>(fh - 1 - py);
        const uint8_t* row = src + static_cast<size_t>(py) * fw * 4;
        for (int px = 0; px < fw; ++px) std::memcpy(dst + (static_cast<size_t>(px) * lw + lx) * 4, row + px * 4, 4);
    }
}

}  // namespace landscape
}  // namespace platform
