// The host for a world of your own: derive from CWorld, describe the program
// in a WorldSettings and hand both to RunWorld from main. The host parses the
// command line, opens the window (or runs headless), makes the OpenGL ES
// context and its framebuffer, loads the world in landscape and drives it:
// a frame every 1/60 s (5 a second while the window is not focused), touches
// as TOUCH_MESSAGE records to IncomingOSMessage, and accelerometer readings
// to a world that is also a platform::AccelerometerDelegate.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/world/World.h"
#include "platform/Platform.h"

namespace platform {

/// What RunWorld needs to know about the program and its world.
struct WorldSettings {
    /// The program's name: in --help, in messages and in the headless
    /// picture, NAME.png.
    const char* name = "world";
    /// One line for --help.
    const char* summary = "";
    /// The engine configuration (INI text and its size with the NUL); null:
    /// the engine's compiled-in one.
    const char* engineIni = nullptr;
    uint32_t engineIniSize = 0;
    /// The application configuration the world reads through
    /// SHARED_INFOS::m_pParamEx; null: an empty one.
    const char* appIni = nullptr;
    uint32_t appIniSize = 0;
    /// The folder of the world's files (BundlePath() in the world); null:
    /// the current folder. --bundle overrides it.
    const char* bundleDir = nullptr;
    /// The resource pack inside the bundle folder, opened for the world
    /// (SHARED_INFOS::m_ResPacker); null: none.
    const char* packPath = nullptr;
    /// The trace log, relative to the current folder (its lines also go to
    /// standard error); null: NAME.log.
    const char* logPath = nullptr;
    /// Headless: the frame written as the picture, then the run ends
    /// (1 to 100; --frames overrides it).
    int pictureFrame = 30;
};

/// Makes the program's world; called once the context is current.
using WorldFactory = std::function<std::unique_ptr<CWorld>()>;

/// Runs the world made by `make` until the window closes (or, headless,
/// until the picture is written); returns the exit status for main: 0, 1
/// when the world or the platform fails, 2 for a bad command line.
int RunWorld(int argc, char** argv, const WorldSettings& settings, const WorldFactory& make);

/// RunWorld for a world type with a default constructor.
template <class World>
int RunWorld(int argc, char** argv, const WorldSettings& settings) {
    return RunWorld(argc, argv, settings, [] { return std::unique_ptr<CWorld>(new World()); });
}

}  // namespace platform
