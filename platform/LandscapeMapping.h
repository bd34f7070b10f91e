// The geometry of the window that shows the phone held in landscape. The
// portrait drawable is turned 90 degrees clockwise so the scene is upright:
// landscape point (X, Y) is view point (Y, 480 - X). The landscape image is
// fitted into the window with its aspect kept (black bars elsewhere).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Platform.h"

namespace platform {
namespace landscape {

constexpr int kWidthPoints = kViewHeightPoints;   // 480
constexpr int kHeightPoints = kViewWidthPoints;   // 320

struct Rect {
    int x, y, w, h;
};

struct Size {
    int w, h;
};

// The largest 3:2 rectangle centred in an area of the given size.
Rect Fit(int areaWidth, int areaHeight);

// The first window size for a drawable of `scale` pixels per point: the
// landscape image at one window pixel per drawable pixel, shrunk (aspect
// kept) to fit within maxWidth x maxHeight.
Size InitialWindowSize(int scale, int maxWidth, int maxHeight);

// A window position (in the units of `image`) to a view point, and back.
Point WindowToView(float wx, float wy, const Rect& image);
Point ViewToWindow(Point view, const Rect& image);

bool InsideView(Point p);
Point ClampToView(Point p);

// Pixel correspondence for a portrait frame `frameHeight` pixels high: the
// landscape pixel (lx, ly) shows the frame pixel (ly, frameHeight - 1 - lx).
inline void LandscapeToFramePixel(int lx, int ly, int frameHeight, int* px, int* py) {
    *px = ly;
    *py = frameHeight - 1 - lx;
}
inline void FrameToLandscapePixel(int px, int py, int frameHeight, int* lx, int* ly) {
    *lx = frameHeight - 1 - py;
    *ly = px;
}

// Turns a portrait frame (RGBA, top row first) clockwise into a landscape
// image of frame.height x frame.width pixels, top row first.
void RotateClockwise(const Frame& portrait, std::vector<uint8_t>* landscape);

}  // namespace landscape
}  // namespace platform
