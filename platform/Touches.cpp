#include <algorithm>

#include "platform/RunLoop.h"

namespace platform {

Point Touch::LocationInView(const View* /*view*/) const {
    // There is one view and it fills the screen, so view and window points agree.
    return location;
}

namespace detail {

namespace {
enum Kind { kBegan, kMoved, kEnded, kCancelled };
}

TouchTracker::~TouchTracker() { Clear(); }

int TouchTracker::Find(int64_t id) const {
    for (size_t i = 0; i < touches_.size(); ++i) {
        if (touches_[i].touch->id == id) return static_cast<int>(i);
    }
    return -1;
}

bool TouchTracker::IsDown(int64_t id) const { return Find(id) >= 0; }

bool TouchTracker::CheckDistinct(const std::vector<Change>& changes, bool mustBeDown) const {
    if (changes.empty()) return false;
    for (size_t i = 0; i < changes.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (changes[j].id == changes[i].id) return false;
        }
        if (IsDown(changes[i].id) != mustBeDown) return false;
    }
    return true;
}

bool TouchTracker::Began(const std::vector<Change>& changes) {
    if (!CheckDistinct(changes, false)) return false;
    // Without multiple touch the view sees only one finger at a time, as on the phone.
    bool multiple = view_->MultipleTouchEnabled();
    bool anyDelivered = std::any_of(touches_.begin(), touches_.end(), [](const Tracked& t) { return t.delivered; });
    TouchSet began;
    for (const Change& c : changes) {
        auto touch = std::make_unique<Touch>();
        touch->id = c.id;
        if (c.hasLocation) touch->location = c.location;
        bool deliver = multiple || !anyDelivered;
        if (deliver) {
            anyDelivered = true;
            began.push_back(touch.get());
        }
        touches_.push_back(Tracked{std::move(touch), deliver});
    }
    Deliver(kBegan, began);
    return true;
}

bool TouchTracker::Update(const std::vector<Change>& changes, Phase phase) {
    if (!CheckDistinct(changes, true)) return false;
    TouchSet set;
    for (const Change& c : changes) {
        Tracked& t = touches_[Find(c.id)];
        if (c.hasLocation) t.touch->location = c.location;
        if (t.delivered) set.push_back(t.touch.get());
    }
    Deliver(phase == Phase::kMoved ? kMoved : phase == Phase::kEnded ? kEnded : kCancelled, set);
    if (phase != Phase::kMoved) {
        // Freed only now: the responder saw them in the event first.
        for (const Change& c : changes) touches_.erase(touches_.begin() + Find(c.id));
    }
    return true;
}

bool TouchTracker::Moved(const std::vector<Change>& changes) { return Update(changes, Phase::kMoved); }
bool TouchTracker::Ended(const std::vector<Change>& changes) { return Update(changes, Phase::kEnded); }
bool TouchTracker::Cancelled(const std::vector<Change>& changes) { return Update(changes, Phase::kCancelled); }

void TouchTracker::CancelAll() {
    if (touches_.empty()) return;
    std::vector<Change> all;
    for (const Tracked& t : touches_) all.push_back(Change{t.touch->id, false, t.touch->location});
    Cancelled(all);
}

void TouchTracker::Clear() { touches_.clear(); }

void TouchTracker::Deliver(int kind, const TouchSet& touches) {
    ViewResponder* responder = view_->Responder();
    if (touches.empty() || !responder) return;
    Event event;
    for (const Tracked& t : touches_) {
        if (t.delivered) event.allTouches.push_back(t.touch.get());
    }
    switch (kind) {
        case kBegan: responder->TouchesBegan(touches, &event); break;
        case kMoved: responder->TouchesMoved(touches, &event); break;
        case kEnded: responder->TouchesEnded(touches, &event); break;
        default: responder->TouchesCancelled(touches, &event); break;
    }
}

void AppSession::SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) {
        delegate_->DidBecomeActive();
    } else {
        delegate_->WillResignActive();
    }
}

}  // namespace detail
}  // namespace platform
