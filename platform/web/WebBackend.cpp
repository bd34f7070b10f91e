// The browser backend: the page's canvas is the view's drawable, turned to
// landscape and fitted into the page as the desktop window shows it; touch,
// mouse, key, motion, focus and visibility events come from the page's
// script (page/orbelline.js) through the functions exported below. The run
// loop is paced by the browser's animation frames on the real clock.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "platform/LandscapeMapping.h"
#include "platform/RunLoop.h"

namespace platform {
namespace detail {

namespace {

constexpr int64_t kMouseTouchId = 1000000;
// An animation frame may come a little before a timer is due; a tick due that
// close is taken now rather than a whole display frame late.
constexpr Nanos kTickSlack = 4000000;  // 4 ms
constexpr int kMaxEventsPerFrame = 64;

class WebBackend;
WebBackend* g_web = nullptr;

class WebBackend : public Backend {
public:
    explicit WebBackend(const Options&) {}
    ~WebBackend() override { Close(); }

    bool Open(std::string*) override {
        g_web = this;
        start_ = emscripten_get_now();
        // Counted for the page (its tests and statistics) on every present.
        SetPresentObserver([this] { CountFrame(); });
        return true;
    }

    // Frames stay on the canvas; none is read back.
    bool TakesEveryFrame() const override { return false; }
    void Present(const Frame&) override {}
    void CountFrame() { ++frames_; }

    void Run(AppSession* session) override {
        session_ = session;
        RunLoop::Main().SetNow(Elapsed());
        Layout();
        EM_ASM({ if (Module.orbellineStarted) Module.orbellineStarted(); });
        // Never returns: the page runs until it is closed.
        emscripten_set_main_loop_arg(&WebBackend::Tick, this, 0, 1);
    }

    void Close() override {
        if (g_web == this) g_web = nullptr;
    }

    // Page events.
    void SetViewport(double width, double height) {
        viewportWidth_ = width;
        viewportHeight_ = height;
        Layout();
    }

    void AddPoint(int identifier, double clientX, double clientY) {
        pending_.push_back({identifier, clientX, clientY});
    }

    void CommitTouches(int phase) {
        if (!session_) {
            pending_.clear();
            return;
        }
        TouchTracker& touches = session_->Touches();
        std::vector<TouchTracker::Change> changes;
        std::vector<int> released;
        for (const PendingPoint& p : pending_) {
            Point view = landscape::WindowToView(static_cast<float>(p.x), static_cast<float>(p.y), image_);
            auto known = fingers_.find(p.identifier);
            if (phase == 0) {
                // A finger that lands on the bars is not on the phone.
                if (known != fingers_.end() || !landscape::InsideView(view)) continue;
                const int64_t id = p.identifier < 0 ? kMouseTouchId : nextFingerId_++;
                fingers_[p.identifier] = id;
                changes.push_back({id, true, view});
                continue;
            }
            if (known == fingers_.end()) continue;
            changes.push_back({known->second, true, landscape::ClampToView(view)});
            if (phase >= 2) released.push_back(p.identifier);
        }
        pending_.clear();
        for (int identifier : released) fingers_.erase(identifier);
        if (changes.empty()) return;
        switch (phase) {
            case 0: touches.Began(changes); break;
            case 1: touches.Moved(changes); break;
            case 2: touches.Ended(changes); break;
            default: touches.Cancelled(changes); break;
        }
    }

    void Motion(double x, double y, double z) { RunLoop::Main().Accel().SetRest(Reading{x, y, z}); }

    void Shake() { RunLoop::Main().Accel().StartShake(Elapsed()); }

    void SetActive(bool active) {
        if (!session_) return;
        // A page that goes to the back takes its fingers with it.
        if (!active) {
            session_->Touches().CancelAll();
            fingers_.clear();
        }
        session_->SetActive(active);
    }

    int64_t Frames() const { return frames_; }

private:
    struct PendingPoint {
        int identifier;
        double x, y;
    };

    Nanos Elapsed() const { return static_cast<Nanos>((emscripten_get_now() - start_) * 1.0e6); }

    static void Tick(void* self) { static_cast<WebBackend*>(self)->OnFrame(); }

    void OnFrame() {
        RunLoop& loop = RunLoop::Main();
        for (int i = 0; i < kMaxEventsPerFrame && !loop.Terminated(); ++i) {
            loop.SetNow(Elapsed());
            if (loop.DeliverNext(loop.Now() + kTickSlack, false) == RunLoop::Delivered::kNothing) break;
        }
        if (loop.Terminated()) {
            emscripten_cancel_main_loop();
            EM_ASM({ if (Module.orbellineEnded) Module.orbellineEnded(); });
        }
    }

    // The landscape image fitted into the page (CSS pixels); the portrait
    // canvas is placed so that turned a quarter clockwise about its centre it
    // covers that rectangle.
    void Layout() {
        image_ = landscape::Fit(static_cast<int>(std::lround(viewportWidth_)),
                                static_cast<int>(std::lround(viewportHeight_)));
        const double left = image_.x + (image_.w - image_.h) / 2.0;
        const double top = image_.y + (image_.h - image_.w) / 2.0;
        EM_ASM(
            {
                var c = Module.canvas;
                if (!c) return;
                c.style.position = 'absolute';
                c.style.left = $0 + 'px';
                c.style.top = $1 + 'px';
                c.style.width = $2 + 'px';
                c.style.height = $3 + 'px';
                c.style.transform = 'rotate(90deg)';
            },
            left, top, image_.h, image_.w);
    }

    AppSession* session_ = nullptr;
    double start_ = 0;
    double viewportWidth_ = landscape::kWidthPoints;
    double viewportHeight_ = landscape::kHeightPoints;
    landscape::Rect image_{0, 0, landscape::kWidthPoints, landscape::kHeightPoints};
    std::vector<PendingPoint> pending_;
    std::map<int, int64_t> fingers_;  // page identifier (-1: the mouse) to finger
    int64_t nextFingerId_ = 1;
    int64_t frames_ = 0;
};

}  // namespace

// The page is this build's window.
std::unique_ptr<Backend> MakeWindowBackend(const Options& options) { return std::make_unique<WebBackend>(options); }

}  // namespace detail
}  // namespace platform

using platform::detail::g_web;

extern "C" {

EMSCRIPTEN_KEEPALIVE void orbelline_web_viewport(double width, double height) {
    if (g_web) g_web->SetViewport(width, height);
}

// One event's fingers: a point per changed finger (identifier -1 is the
// mouse), then the event with its phase (0 began, 1 moved, 2 ended,
// 3 cancelled).
EMSCRIPTEN_KEEPALIVE void orbelline_web_touch_point(int identifier, double clientX, double clientY) {
    if (g_web) g_web->AddPoint(identifier, clientX, clientY);
}

EMSCRIPTEN_KEEPALIVE void orbelline_web_touch_event(int phase) {
    if (g_web) g_web->CommitTouches(phase);
}

// A reading in g, axes as the accelerometer has them.
EMSCRIPTEN_KEEPALIVE void orbelline_web_motion(double x, double y, double z) {
    if (g_web) g_web->Motion(x, y, z);
}

EMSCRIPTEN_KEEPALIVE void orbelline_web_shake() {
    if (g_web) g_web->Shake();
}

EMSCRIPTEN_KEEPALIVE void orbelline_web_active(int active) {
    if (g_web) g_web->SetActive(active != 0);
}

EMSCRIPTEN_KEEPALIVE double orbelline_web_frames() { return g_web ? static_cast<double>(g_web->Frames()) : 0.0; }

}  // extern "C"
