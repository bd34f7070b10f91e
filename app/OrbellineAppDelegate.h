// The application delegate: starts the frame loop, slows it down while the
// application is inactive, and tears the view down at termination.
#pragma once

#include <memory>

#include "app/EAGLView.h"
#include "platform/Platform.h"

class OrbellineAppDelegate : public platform::AppDelegate {
public:
    OrbellineAppDelegate(platform::View* window, std::unique_ptr<EAGLView> glView);
    ~OrbellineAppDelegate() override;

    void DidFinishLaunching() override;
    void WillResignActive() override;
    void DidBecomeActive() override;
    void WillTerminate() override;

    EAGLView* glView() const { return glView_.get(); }

private:
    void TearDown();

    platform::View* window_;
    std::unique_ptr<EAGLView> glView_;
};
