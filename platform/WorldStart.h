// Starting a world the way a host does once its context is current: the
// devices enumerated, the platform chosen from the engine configuration and
// checked against them, and the world loaded at the drawable's pixel size in
// landscape. The steps and their trace lines are the same for every host.
#pragma once

#include "engine/world/Types.h"

class CUtilsParameters;
class CWorld;

namespace platform {

/// Who the program is, for the start-up trace line.
struct WorldIdentity {
    const char* name;    ///< the program's name
    int major, minor;    ///< its version
    const char* build;   ///< its build stamp
};

/// How the world is told the screen size.
enum class WorldSize {
    kPixels,  ///< Load gets the drawable's pixels; the world sets its own scale
    kPoints,  ///< Load gets 320 x 480 points, the scale is set in the shared record
};

/// Enumerates, selects and loads `world` (its parameters and renderer
/// already set) for a drawable of `scale` pixels per point, then moves it
/// one frame. 0, or 0x80000001 with the failing step traced to `logPath`.
eRESULT SelectAndLoadWorld(CWorld* world, CUtilsParameters* engineParams, int scale, WorldSize size,
                           const WorldIdentity& identity, const char* logPath);

}  // namespace platform
