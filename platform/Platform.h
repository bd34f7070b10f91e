// The small platform layer that stands in for the phone's application
// framework: run loop and delegate, a view with multi-touch delivery, a
// repeating timer, the accelerometer, orientation notifications, the bundle
// directory, a console log, and an OpenGL ES 1.x context with its drawable.
//
// Two backends implement it: a window (SDL2) that shows the phone held in
// landscape, and a headless one (EGL, simulated clock, scripted input). Both
// render through the same off-screen OpenGL ES context, so everything from the
// view onward runs the same code.
#pragma once

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Portrait view size in points, as the phone reports it.
constexpr int kViewWidthPoints = 320;
constexpr int kViewHeightPoints = 480;

struct Point {
    float x, y;
};

class View;

// One finger. The object stays the same from began to ended, so its address
// is its identity.
class Touch {
public:
    Point LocationInView(const View* view) const;

    // Backend-side state.
    int64_t id = 0;
    Point location{0, 0};
};

using TouchSet = std::vector<Touch*>;

// A touch event: every touch currently on the view, in a stable order.
struct Event {
    TouchSet allTouches;
};

// The view's handler: what the OpenGL ES view implements.
class ViewResponder {
public:
    virtual ~ViewResponder() = default;
    virtual void TouchesBegan(const TouchSet& touches, Event* event) = 0;
    virtual void TouchesMoved(const TouchSet& touches, Event* event) = 0;
    virtual void TouchesEnded(const TouchSet& touches, Event* event) = 0;
    virtual void TouchesCancelled(const TouchSet& touches, Event* event) = 0;
    virtual void LayoutSubviews() = 0;
};

// The drawable layer behind the view: its pixel size is points x scale.
struct DrawableLayer {
    bool opaque = false;
    bool retainedBacking = false;
    std::string colorFormat = "RGBA8";
    int scale = 1;
    int PixelWidth() const { return kViewWidthPoints * scale; }
    int PixelHeight() const { return kViewHeightPoints * scale; }
};

class View {
public:
    DrawableLayer* Layer() { return &layer_; }
    const DrawableLayer* Layer() const { return &layer_; }
    void SetMultipleTouchEnabled(bool on) { multipleTouch_ = on; }
    bool MultipleTouchEnabled() const { return multipleTouch_; }
    void SetResponder(ViewResponder* responder) { responder_ = responder; }
    ViewResponder* Responder() const { return responder_; }

private:
    DrawableLayer layer_;
    bool multipleTouch_ = false;
    ViewResponder* responder_ = nullptr;
};

// OpenGL ES 1.x context; rendering is off-screen. Presenting hands the bound
// colour renderbuffer's pixels to the present handler when one is set;
// without one it only finishes the frame, and the pixels are read back when
// LastPresentedFrame asks for them.
class GLContext {
public:
    // Creates a context for the given OpenGL ES API version (only 1 exists
    // here). Null when no context can be had.
    static std::unique_ptr<GLContext> Create(int apiVersion);
    static bool SetCurrentContext(GLContext* context);  // null clears it
    static GLContext* CurrentContext();
    ~GLContext();

    // Allocates storage for the bound renderbuffer at the layer's pixel size.
    bool RenderbufferStorageFromDrawable(GLenum target, const DrawableLayer* layer);
    // Presents the bound colour renderbuffer.
    bool PresentRenderbuffer(GLenum target);

    struct Impl;

private:
    explicit GLContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// A presented frame: RGBA rows from the top, portrait, pixel size.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Where presented frames go, each one read back (the window installs it;
// with none, presents are read only on demand).
void SetPresentHandler(std::function<void(const Frame&)> handler);

// Repeating timer, owned by the run loop. Invalidate stops it for good.
class Timer {
public:
    void Invalidate() { valid_ = false; }
    bool IsValid() const { return valid_; }
    double Interval() const { return interval_; }

    // Run-loop side.
    Timer(double interval, std::function<void()> action)
        : interval_(interval), action_(std::move(action)) {}
    void Fire() {
        if (valid_ && action_) action_();
    }
    double nextFire = 0.0;

private:
    double interval_;
    std::function<void()> action_;
    bool valid_ = true;
};

// Schedules a repeating timer on the main run loop; it first fires one interval
// from now. The returned pointer stays valid until the run loop ends
// (invalidated timers are kept, not deleted). Intervals below 0.1 ms are
// raised to 0.1 ms.
Timer* ScheduleRepeatingTimer(double interval, std::function<void()> action);

class AccelerometerDelegate {
public:
    virtual ~AccelerometerDelegate() = default;
    virtual void DidAccelerate(double x, double y, double z) = 0;
};

// The shared accelerometer: delivers readings, in g, at its update interval.
class Accelerometer {
public:
    static Accelerometer* Shared();
    void SetUpdateInterval(double seconds) { interval_ = seconds; }
    double UpdateInterval() const { return interval_; }
    void SetDelegate(AccelerometerDelegate* delegate) { delegate_ = delegate; }
    AccelerometerDelegate* Delegate() const { return delegate_; }

private:
    double interval_ = 0.0;
    AccelerometerDelegate* delegate_ = nullptr;
};

// Device orientation, numbered like the engine's ORIENTATION (4 = landscape
// right).
class Device {
public:
    static Device* Current();
    int Orientation() const { return orientation_; }
    void BeginGeneratingOrientationNotifications() { generating_ = true; }
    void EndGeneratingOrientationNotifications() { generating_ = false; }
    bool GeneratingOrientationNotifications() const { return generating_; }

    // Observers of the orientation-changed notification.
    int AddOrientationObserver(std::function<void()> observer);
    void RemoveOrientationObserver(int token);

    // Backend side: sets the orientation and notifies when generating.
    void SetOrientation(int orientation);

private:
    int orientation_ = 1;
    bool generating_ = false;
    int nextToken_ = 1;
    std::vector<std::pair<int, std::function<void()>>> observers_;
};

// The application delegate's four callbacks.
class AppDelegate {
public:
    virtual ~AppDelegate() = default;
    virtual void DidFinishLaunching() = 0;
    virtual void WillResignActive() = 0;
    virtual void DidBecomeActive() = 0;
    virtual void WillTerminate() = 0;
};

struct Options {
    bool headless = false;
    int scale = 1;               // pixels per point
    std::string bundleDir;       // the application bundle's directory
    std::string scriptPath;      // headless input script
    std::string outputDir;       // where headless frames are written
    bool fixedSeed = false;      // start the simulated clock at `seed`
    int64_t seed = 0;
    bool stats = false;          // print frame rate and frame intervals at the end
};

// The backend calls this once the run loop is ready: it creates the window's
// view and returns the application delegate (null when the view could not be
// initialised: the application then shows nothing and the loop ends with
// status 1).
using LaunchFunction = std::function<std::unique_ptr<AppDelegate>(View* view)>;

// Runs the application main loop until it terminates; returns the exit status.
// Order of calls: launch(view), DidFinishLaunching, DidBecomeActive, the
// responder's LayoutSubviews, then timers, input and readings until the end;
// then WillTerminate, the delegate is destroyed, then the view. Focus changes
// call WillResignActive / DidBecomeActive only when the state changes.
int ApplicationMain(const Options& options, const LaunchFunction& launch);

// Ends the run loop once the current callback returns, as closing the window
// does; ApplicationMain then returns `status` unless a failure set one first.
void RequestTermination(int status = 0);

// A copy of the last frame presented (empty before any frame). A present
// nobody took is read back here, while its context and framebuffer live;
// after a run this is the last frame read during it.
Frame LastPresentedFrame();

// Writes a frame (RGBA rows, top first) as a PNG; false with a message.
bool WritePngFile(const std::string& path, const Frame& frame, std::string* error);

// The bundle directory given to ApplicationMain (absolute).
std::string BundlePath();

// The system console log (one line, newline added).
void ConsoleLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
