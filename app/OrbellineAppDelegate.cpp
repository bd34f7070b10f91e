#include "app/OrbellineAppDelegate.h"

namespace {
constexpr double kActiveInterval = 1.0 / 60.0;
constexpr double kInactiveInterval = 0.2;  // 5 frames per second
}  // namespace

OrbellineAppDelegate::OrbellineAppDelegate(platform::View* window, std::unique_ptr<EAGLView> glView)
    : window_(window), glView_(std::move(glView)) {}

OrbellineAppDelegate::~OrbellineAppDelegate() { TearDown(); }

void OrbellineAppDelegate::DidFinishLaunching() {
    // The status bar (style and visibility) does not exist on this platform.
    if (!glView_) return;
    glView_->setAnimationInterval(kActiveInterval);
    glView_->startAnimation();
}

void OrbellineAppDelegate::WillResignActive() {
    if (glView_) glView_->setAnimationInterval(kInactiveInterval);
}

void OrbellineAppDelegate::DidBecomeActive() {
    if (glView_) glView_->setAnimationInterval(kActiveInterval);
}

void OrbellineAppDelegate::WillTerminate() { TearDown(); }

void OrbellineAppDelegate::TearDown() {
    // The view's own teardown unloads the world and ends the log.
    glView_.reset();
    window_ = nullptr;
}
