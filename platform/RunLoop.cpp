#include "platform/RunLoop.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace detail {

namespace {
// The shortest timer period, as the phone's timers have.
constexpr double kMinTimerInterval = 0.0001;
// Far enough that nanosecond sums cannot overflow.
constexpr double kMaxInterval = 1.0e8;
// The accelerometer's fastest and slowest rates.
constexpr double kMinReadingInterval = 0.01;
constexpr double kMaxReadingInterval = 10.0;
}  // namespace

Nanos SecondsToNanos(double seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds > kMaxInterval) seconds = kMaxInterval;
    return static_cast<Nanos>(std::llround(seconds * 1e9));
}

Reading AccelerometerSource::ReadingAt(Nanos t) const {
    Reading r = rest_;
    if (shakeStart_ >= 0) {
        Nanos dt = t - shakeStart_;
        if (dt > 0 && dt <= kShakePhase) {
            r.x = kShakeG;
        } else if (dt > kShakePhase && dt <= 2 * kShakePhase) {
            r.x = -kShakeG;
        }
    }
    return r;
}

RunLoop& RunLoop::Main() {
    static RunLoop loop;
    return loop;
}

Timer* RunLoop::Schedule(double interval, std::function<void()> action) {
    if (!(interval >= kMinTimerInterval)) interval = kMinTimerInterval;  // also NaN
    if (interval > kMaxInterval) interval = kMaxInterval;
    Entry e;
    e.timer = std::make_unique<Timer>(interval, std::move(action));
    e.period = std::max<Nanos>(1, SecondsToNanos(interval));
    e.next = now_ + e.period;
    e.timer->nextFire = static_cast<double>(e.next) / kNanosPerSecond;
    Timer* timer = e.timer.get();
    timers_.push_back(std::move(e));
    return timer;
}

bool RunLoop::HasValidTimer() const {
    return std::any_of(timers_.begin(), timers_.end(), [](const Entry& e) { return e.timer->IsValid(); });
}

Nanos RunLoop::ReadingPeriod() {
    double s = Accelerometer::Shared()->UpdateInterval();
    if (!(s >= kMinReadingInterval)) s = kMinReadingInterval;
    if (s > kMaxReadingInterval) s = kMaxReadingInterval;
    return SecondsToNanos(s);
}

Nanos RunLoop::NextEventTime() {
    // Readings start one interval after a delegate appears and stop without one.
    if (!Accelerometer::Shared()->Delegate()) {
        nextReading_ = -1;
    } else if (nextReading_ < 0) {
        nextReading_ = now_ + ReadingPeriod();
    }
    Nanos t = nextReading_ >= 0 ? nextReading_ : kNever;
    for (const Entry& e : timers_) {
        if (e.timer->IsValid() && e.next < t) t = e.next;
    }
    return t;
}

RunLoop::Delivered RunLoop::DeliverNext(Nanos limit, bool advanceClock) {
    Nanos t = NextEventTime();
    if (t == kNever || t > limit) return Delivered::kNothing;
    if (advanceClock && t > now_) now_ = t;

    // On a tie the reading goes first, so the frame sees the newest value.
    if (nextReading_ >= 0 && nextReading_ == t) {
        Nanos period = ReadingPeriod();
        nextReading_ = t + period;
        if (nextReading_ <= now_) nextReading_ = now_ + period;
        Reading r = accel_.ReadingAt(now_);
        Accelerometer::Shared()->Delegate()->DidAccelerate(r.x, r.y, r.z);
        return Delivered::kReading;
    }

    for (Entry& e : timers_) {
        if (!e.timer->IsValid() || e.next != t) continue;
        e.next += e.period;
        if (e.next <= now_) e.next = now_ + e.period;  // missed periods are skipped
        e.timer->nextFire = static_cast<double>(e.next) / kNanosPerSecond;
        // The action may schedule timers, which moves the entries: keep only the timer.
        Timer* timer = e.timer.get();
        fireStart_ = std::chrono::steady_clock::now();
        timer->Fire();
        return Delivered::kTimer;
    }
    return Delivered::kNothing;
}

void RunLoop::RequestTermination(int status) {
    if (terminated_) return;
    terminated_ = true;
    if (!failed_) status_ = status;
}

void RunLoop::Fail(int status, const std::string& message) {
    if (!failed_) {
        failed_ = true;
        status_ = status;
        failure_ = message;
    }
    terminated_ = true;
}

void RunLoop::BeginRun() {
    nextReading_ = -1;
    accel_ = AccelerometerSource();
    terminated_ = false;
    failed_ = false;
    status_ = 0;
    failure_.clear();
}

void RunLoop::Reset() {
    BeginRun();
    timers_.clear();
    now_ = 0;
}

}  // namespace detail

Timer* ScheduleRepeatingTimer(double interval, std::function<void()> action) {
    return detail::RunLoop::Main().Schedule(interval, std::move(action));
}

void RequestTermination(int status) { detail::RunLoop::Main().RequestTermination(status); }

}  // namespace platform
