#include "platform/window/WindowShake.h"

#include <cstdlib>

namespace platform {

bool WindowShakeDetector::Axis::Feed(double t, int value) {
    int delta = value - last;
    last = value;
    if (delta == 0) return false;
    int direction2 = delta > 0 ? 1 : -1;
    if (direction2 == direction) {
        stroke += std::abs(delta);
        return false;
    }
    if (direction != 0 && stroke >= kMinStroke) reversals.push_back(t);
    direction = direction2;
    stroke = std::abs(delta);
    while (!reversals.empty() && t - reversals.front() > kWindow) reversals.pop_front();
    if (reversals.size() >= kReversals) {
        reversals.clear();
        return true;
    }
    return false;
}

bool WindowShakeDetector::OnMoved(double t, int x, int y) {
    if (!started_ || t - lastTime_ > kMaxPause) {
        started_ = true;
        x_.Reset();
        y_.Reset();
        x_.last = x;
        y_.last = y;
        lastTime_ = t;
        return false;
    }
    lastTime_ = t;
    bool shakeX = x_.Feed(t, x);
    bool shakeY = y_.Feed(t, y);
    if (shakeX || shakeY) {
        x_.Reset();
        y_.Reset();
        return true;
    }
    return false;
}

}  // namespace platform
