// Tells a shake of the window (moved quickly back and forth) from an ordinary
// drag: two reversals of direction within a second, each after a stroke of at
// least 20 pixels, with no pause of more than 0.4 s between moves.
#pragma once

#include <cstddef>
#include <deque>

namespace platform {

class WindowShakeDetector {
public:
    static constexpr int kMinStroke = 20;
    static constexpr double kMaxPause = 0.4;
    static constexpr double kWindow = 1.0;
    static constexpr size_t kReversals = 2;

    // Feeds the window position at time t (seconds); true when it amounts to
    // a shake (the count then starts again).
    bool OnMoved(double t, int x, int y);

private:
    struct Axis {
        int last = 0;
        int direction = 0;  // -1, 0, +1
        int stroke = 0;     // pixels moved in `direction`
        std::deque<double> reversals;
        bool Feed(double t, int value);
        void Reset() {
            direction = 0;
            stroke = 0;
            reversals.clear();
        }
    };
    bool started_ = false;
    double lastTime_ = 0;
    Axis x_, y_;
};

}  // namespace platform
