// Input scripts for the headless backend.
//
// One command per line; words are separated by blanks; a word starting with
// '#' starts a comment that runs to the end of the line; blank lines are
// skipped. Points are view points (portrait, 320 x 480, origin top left);
// finger IDs are whole numbers from 0 to 2147483647 chosen by the script.
//
//   down ID X Y [ID X Y ...]   fingers touch the view (one event)
//   move ID X Y [ID X Y ...]   fingers that are down move (one event)
//   up ID [X Y] [ID [X Y] ...] fingers leave the view, optionally at a last
//                              position (one event); a number right after a
//                              finger is read as the next finger when it names
//                              another finger that is down, else as X
//   cancel ID [ID ...]         the system cancels these fingers (one event)
//   accel X Y Z                the accelerometer reads (X, Y, Z) g from now on
//                              (at rest it reads 0 0 -1)
//   shake                      a shake: +1.5 g on x for 0.15 s, then -1.5 g
//                              for 0.15 s, then the rest reading again; the
//                              readings arrive while frames or seconds run
//   orientation N              the device turns to orientation N (0 to 6)
//   resign                     the application resigns active
//   become                     the application becomes active again
//   frames N                   runs the loop for N timer ticks (0 to 1000000)
//   seconds S                  runs the loop for S simulated seconds (0 to
//                              86400)
//   png PATH                   writes the last presented frame as a PNG; a
//                              relative PATH is taken from the output
//                              directory (missing folders made there) and
//                              may not leave it; an absolute PATH's folder
//                              must exist
//   quit                       terminates the application
//
// The application terminates at the end of the script as if it said `quit`.
// All frames and seconds of a script together may run for one simulated
// hour at most (frames counted at 60 a second).
// The whole script is checked before the application starts: a finger that
// goes down twice, or moves, lifts or is cancelled while not down, is an error
// like an unknown command or a bad argument, reported as
// "orbelline: SCRIPT:LINE: message".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

enum class ScriptOp {
    kDown,
    kMove,
    kUp,
    kCancel,
    kAccel,
    kShake,
    kOrientation,
    kResign,
    kBecome,
    kFrames,
    kSeconds,
    kPng,
    kQuit,
};

struct ScriptFinger {
    int64_t id = 0;
    bool hasPosition = false;
    Point position{0, 0};
};

struct ScriptCommand {
    ScriptOp op = ScriptOp::kQuit;
    int line = 0;
    std::vector<ScriptFinger> fingers;  // down, move, up, cancel
    double x = 0, y = 0, z = 0;         // accel
    int64_t count = 0;                  // frames, orientation
    double seconds = 0;                 // seconds
    std::string path;                   // png
};

struct ScriptError {
    int line = 0;
    std::string message;
};

// The simulated time a script may run for in all, its frames counted at
// 60 a second (the application's timer) and its seconds as they are: an
// hour. The line that passes it is the error.
constexpr double kScriptFrameSeconds = 1.0 / 60.0;
constexpr double kScriptMaxSeconds = 3600.0;

// Parses a whole script; on the first error returns false and fills `error`.
bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, ScriptError* error,
                 double maxSeconds = kScriptMaxSeconds);

// "orbelline: SCRIPT:LINE: message".
std::string FormatScriptError(const std::string& scriptName, int line, const std::string& message);

}  // namespace platform
