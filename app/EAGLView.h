// The OpenGL ES view: owns the context, the framebuffer and the world; drives
// the frame loop from a repeating timer and forwards touches, accelerometer
// readings and orientation changes to the world.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "platform/ViewFramebuffer.h"
#include "engine/world/Interfaces.h"
#include "engine/world/TouchMessage.h"
#include "engine/world/Types.h"

class COrbellineWorld;
class CUtilsParametersStatic;

class EAGLView : public platform::ViewResponder, public platform::AccelerometerDelegate {
public:
    // The resource pack, relative to the bundle folder.
    static constexpr const char* kPackPath = "Data/Orbelline.res.pak";

    // Start-up; null when the context or the world cannot be had.
    static std::unique_ptr<EAGLView> initWithCoder(platform::View* view);
    ~EAGLView() override;  // shut-down

    eRESULT LoadWorld();
    eRESULT UnloadWorld();

    void drawView();
    bool createFramebuffer();
    void destroyFramebuffer();

    void startAnimation();
    void stopAnimation();
    void setAnimationTimer(platform::Timer* timer);
    void setAnimationInterval(double interval);
    double animationInterval() const { return animationInterval_; }
    platform::Timer* animationTimer() const { return animationTimer_; }

    void didRotate();

    // platform::ViewResponder
    void LayoutSubviews() override;
    void TouchesBegan(const platform::TouchSet& touches, platform::Event* event) override;
    void TouchesMoved(const platform::TouchSet& touches, platform::Event* event) override;
    void TouchesEnded(const platform::TouchSet& touches, platform::Event* event) override;
    void TouchesCancelled(const platform::TouchSet& touches, platform::Event* event) override;

    // platform::AccelerometerDelegate
    void DidAccelerate(double x, double y, double z) override;

    // The renderer LoadWorld installs: OpenGL ES unless a test swaps it
    // (null restores it).
    static void SetRendererApi(const _pft_eKavrosApiFctSet* api);

    // The touch-table rules: builds the record for one touch event and
    // updates the table of finger slots.
    static TOUCH_MESSAGE BuildTouchMessage(short type, const platform::TouchSet& touches, platform::Event* event,
                                           platform::Touch* table[10], const platform::View* view);

    // Read by the tests.
    double AccelerationX() const { return accelerationX; }
    double AccelerationY() const { return accelerationY; }
    double AccelerationZ() const { return accelerationZ; }
    COrbellineWorld* World() const { return pWorld; }
    platform::Touch* const* TouchTable() const { return touch_address; }
    unsigned int Framebuffer() const { return framebuffer_.framebuffer; }

private:
    explicit EAGLView(platform::View* view);
    void HandleTouches(short type, const platform::TouchSet& touches, platform::Event* event);

    platform::View* view_;
    std::unique_ptr<platform::GLContext> context;
    double accelerationX = 0.0;
    double accelerationY = 0.0;
    double accelerationZ = 0.0;
    COrbellineWorld* pWorld = nullptr;
    CUtilsParametersStatic* pParam = nullptr;
    CUtilsParametersStatic* pParamEx = nullptr;
    platform::Touch* touch_address[10] = {};
    platform::ViewFramebuffer framebuffer_;
    platform::Timer* animationTimer_ = nullptr;
    double animationInterval_ = 1.0 / 60.0;
    int orientationObserver_ = 0;
    int scale_ = 1;
};
