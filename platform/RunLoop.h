// Backend-side pieces shared by the window and the headless backends: the run
// loop with its timers and accelerometer schedule, the accelerometer's reading
// source (rest reading plus shake bursts), and the touch tracker that keeps
// touch objects alive from began to ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {
namespace detail {

// Run-loop time is counted in nanoseconds from the start of the run, so that
// repeated periods add up exactly and the order of events is reproducible.
using Nanos = int64_t;
constexpr Nanos kNanosPerSecond = 1000000000;
constexpr Nanos kNever = INT64_MAX;

Nanos SecondsToNanos(double seconds);

struct Reading {
    double x, y, z;
};

// What the accelerometer reads: the rest reading, or a shake burst while one
// runs (+1.5 g on x, then -1.5 g, each for 0.15 s, then back to rest).
class AccelerometerSource {
public:
    static constexpr double kShakeG = 1.5;
    static constexpr Nanos kShakePhase = 150000000;  // 0.15 s

    void SetRest(Reading rest) { rest_ = rest; }
    Reading Rest() const { return rest_; }
    void StartShake(Nanos now) { shakeStart_ = now; }
    Reading ReadingAt(Nanos t) const;

private:
    Reading rest_{0.0, 0.0, -1.0};
    Nanos shakeStart_ = -1;
};

// The main run loop's timers and accelerometer schedule. The clock is whatever
// the backend sets: simulated time in headless mode, elapsed real time in the
// window.
class RunLoop {
public:
    static RunLoop& Main();

    Nanos Now() const { return now_; }
    void SetNow(Nanos now) { now_ = now; }

    Timer* Schedule(double interval, std::function<void()> action);
    bool HasValidTimer() const;
    size_t TimerCount() const { return timers_.size(); }

    // Time of the next timer tick or accelerometer reading (kNever if none).
    Nanos NextEventTime();

    enum class Delivered { kNothing, kTimer, kReading };
    // Delivers the earliest event due at or before `limit`. With advanceClock
    // the clock first moves to the event's time (simulated time); otherwise the
    // clock stays where the backend put it and late events are caught up by
    // skipping missed periods, as a repeating timer does.
    Delivered DeliverNext(Nanos limit, bool advanceClock);

    AccelerometerSource& Accel() { return accel_; }

    // When the timer now firing (or the last one) began, in real time: a
    // frame's cost is from there to its present.
    std::chrono::steady_clock::time_point FireStart() const { return fireStart_; }

    void RequestTermination(int status);
    bool Terminated() const { return terminated_; }
    int Status() const { return status_; }
    // Records a failure: the first one wins, and the loop ends.
    void Fail(int status, const std::string& message);
    const std::string& FailureMessage() const { return failure_; }

    // The start of a run: clears the termination state and the readings;
    // timers scheduled before the run are kept.
    void BeginRun();
    // The end of a run: also forgets every timer and sets the clock to 0.
    void Reset();

private:
    struct Entry {
        std::unique_ptr<Timer> timer;
        Nanos next;
        Nanos period;
    };
    static Nanos ReadingPeriod();

    Nanos now_ = 0;
    std::chrono::steady_clock::time_point fireStart_;
    std::vector<Entry> timers_;
    Nanos nextReading_ = -1;  // -1: no delegate seen yet
    AccelerometerSource accel_;
    bool terminated_ = false;
    bool failed_ = false;
    int status_ = 0;
    std::string failure_;
};

// Keeps the touches that are down and delivers touch events to the view's
// responder: the touches of one change are one event, and the event's
// allTouches holds every touch on the view (the ended ones included).
class TouchTracker {
public:
    struct Change {
        int64_t id;
        bool hasLocation;
        Point location;
    };

    explicit TouchTracker(View* view) : view_(view) {}
    ~TouchTracker();

    // Each returns false (and delivers nothing) when a change names a finger
    // in the wrong state: down twice, or moved / lifted while not down.
    bool Began(const std::vector<Change>& changes);
    bool Moved(const std::vector<Change>& changes);
    bool Ended(const std::vector<Change>& changes);
    bool Cancelled(const std::vector<Change>& changes);
    void CancelAll();

    bool IsDown(int64_t id) const;
    size_t DownCount() const { return touches_.size(); }
    // Frees every touch without telling the responder (the end of a run).
    void Clear();

private:
    struct Tracked {
        std::unique_ptr<Touch> touch;
        bool delivered;  // false: ignored because multiple touch is off
    };
    enum class Phase { kMoved, kEnded, kCancelled };
    int Find(int64_t id) const;
    bool CheckDistinct(const std::vector<Change>& changes, bool mustBeDown) const;
    bool Update(const std::vector<Change>& changes, Phase phase);
    void Deliver(int kind, const TouchSet& touches);

    View* view_;
    std::vector<Tracked> touches_;
};

// What a backend drives: the delegate, the view, the touches and the
// active state.
class AppSession {
public:
    AppSession(View* view, AppDelegate* delegate) : view_(view), delegate_(delegate), touches_(view) {}
    View* GetView() const { return view_; }
    AppDelegate* Delegate() const { return delegate_; }
    TouchTracker& Touches() { return touches_; }
    // Calls WillResignActive / DidBecomeActive on a change of state only.
    void SetActive(bool active);
    bool Active() const { return active_; }

private:
    View* view_;
    AppDelegate* delegate_;
    TouchTracker touches_;
    bool active_ = false;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Before launching: returns false with a one-line message when the
    // backend cannot run (no display, unreadable or bad script).
    virtual bool Open(std::string* error) = 0;
    // True when the backend shows every frame (a window): each present is
    // read back and handed to Present. Otherwise a present only finishes the
    // frame, and its pixels are read when something asks for them.
    virtual bool TakesEveryFrame() const = 0;
    virtual void Present(const Frame& frame) = 0;
    // Runs until the run loop terminates.
    virtual void Run(AppSession* session) = 0;
    // After the delegate and the view are gone.
    virtual void Close() = 0;
};

// Called on every present, whether its pixels are read or not (frame
// statistics); null for none.
void SetPresentObserver(std::function<void()> observer);

// Reads the last present that was not read back yet into `frame`; false
// (frame untouched) when there is none or it can no longer be read.
bool ReadPendingFrame(Frame* frame);
// Drops the pending present unread (the start of a run).
void ForgetPendingFrame();

std::unique_ptr<Backend> MakeHeadlessBackend(const Options& options, const std::string& startDir);
std::unique_ptr<Backend> MakeWindowBackend(const Options& options);

// Writes RGBA rows (top first) as an 8-bit RGBA PNG; false with a message.
bool WritePng(const std::string& path, const Frame& frame, std::string* error);

// Joins a relative path onto a base directory (absolute paths stay).
std::string ResolvePath(const std::string& base, const std::string& path);

}  // namespace detail
}  // namespace platform
