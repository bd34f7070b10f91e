// The window backend's one outside hook, for checking what the window shows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/LandscapeMapping.h"

namespace platform {
namespace window {

// While the window backend runs: draws the last presented frame again and
// reads the window back (RGBA, top row first, renderer output pixels), with
// the rectangle the landscape image occupies. False when no window is open.
bool ReadWindowPixels(std::vector<uint8_t>* rgba, int* width, int* height, landscape::Rect* image);

}  // namespace window
}  // namespace platform
