// The window backend (SDL2): the phone held in landscape. Rendering stays in
// the off-screen OpenGL ES context; the window only shows the presented
// frames, turned, through SDL's software renderer, so SDL never creates a GL
// context of its own that could take the EGL one's place.
#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <map>
#include <utility>

#include "platform/LandscapeMapping.h"
#include "platform/RunLoop.h"
#include "platform/window/WindowBackend.h"
#include "platform/window/WindowShake.h"

namespace platform {
namespace detail {

namespace {

constexpr int kMaxWindowWidth = 960;
constexpr int kMaxWindowHeight = 640;
constexpr int kMaxWaitMs = 100;
constexpr int kMaxEventsPerPass = 16;  // keeps input flowing when frames run late
constexpr int64_t kMouseTouchId = 0;
constexpr int kVideoAttempts = 20;
constexpr int kVideoRetryMs = 50;

class WindowBackend;
WindowBackend* g_window = nullptr;

class WindowBackend : public Backend {
public:
    explicit WindowBackend(const Options& options) : scale_(std::max(options.scale, 1)) {}
    ~WindowBackend() override { Close(); }

    bool Open(std::string* error) override {
        // Touches stay touches and the mouse stays the mouse: no synthesised copies.
        SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
        SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
        const char* kNoDisplay = "orbelline: cannot open a window (no display); the headless mode needs none";
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("SDL_VIDEODRIVER")) {
            *error = kNoDisplay;
            return false;
        }
        if (!StartVideo(error)) {
            if (error->empty()) *error = kNoDisplay;
            return false;
        }
        int maxW = kMaxWindowWidth, maxH = kMaxWindowHeight;
        SDL_Rect usable;
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
            maxW = std::min(maxW, usable.w * 9 / 10);
            maxH = std::min(maxH, usable.h * 9 / 10);
        }
        landscape::Size size = landscape::InitialWindowSize(scale_, maxW, maxH);
        window_ = SDL_CreateWindow("Orbelline", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, size.w, size.h,
                                   SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN);
        if (!window_) {
            *error = std::string("orbelline: cannot open a window (") + SDL_GetError() +
                     "); the headless mode needs no display";
            return false;
        }
        SDL_SetWindowMinimumSize(window_, landscape::kWidthPoints / 2, landscape::kHeightPoints / 2);
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) {
            *error = std::string("orbelline: cannot draw into the window (") + SDL_GetError() + ")";
            return false;
        }
        start_ = std::chrono::steady_clock::now();
        g_window = this;
        Draw(true);
        return true;
    }

    // Starts SDL's video. Without a display SDL falls back to drivers that show
    // nothing; a window nobody can see or close would run for ever, so those
    // are taken only on request. An X server resets for a moment when its last
    // client leaves (a virtual one in particular), so a refused display is
    // tried again for a second before giving up.
    bool StartVideo(std::string* error) {
        const bool driverChosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
        for (int attempt = 0; attempt < kVideoAttempts; ++attempt) {
            if (attempt > 0) SDL_Delay(kVideoRetryMs);
            if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
                *error = std::string("orbelline: cannot open a window (") + SDL_GetError() +
                         "); the headless mode needs no display";
                if (driverChosen) return false;
                continue;
            }
            const char* driver = SDL_GetCurrentVideoDriver();
            bool blind = driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
            if (driverChosen || !blind) {
                sdlStarted_ = true;
                return true;
            }
            SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
            error->clear();
        }
        return false;
    }

    bool TakesEveryFrame() const override { return true; }
    void Present(const Frame& frame) override {
        landscape::RotateClockwise(frame, &pixels_);
        if (pixels_.empty()) return;
        const int w = frame.height, h = frame.width;
        if (!texture_ || w != textureW_ || h != textureH_) {
            if (texture_) SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, w, h);
            textureW_ = w;
            textureH_ = h;
            if (!texture_) return;
        }
        SDL_UpdateTexture(texture_, nullptr, pixels_.data(), w * 4);
        Draw(true);
    }

    void Run(AppSession* session) override {
        session_ = session;
        RunLoop& loop = RunLoop::Main();
        while (!loop.Terminated()) {
            loop.SetNow(Elapsed());
            Nanos next = loop.NextEventTime();
            int waitMs = kMaxWaitMs;
            if (next != kNever) {
                Nanos ahead = next - loop.Now();
                waitMs = ahead <= 0 ? 0 : static_cast<int>(std::min<Nanos>((ahead + 999999) / 1000000, kMaxWaitMs));
            }
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, waitMs)) {
                Handle(event);
                while (!loop.Terminated() && SDL_PollEvent(&event)) Handle(event);
            }
            for (int i = 0; i < kMaxEventsPerPass && !loop.Terminated(); ++i) {
                loop.SetNow(Elapsed());
                if (loop.DeliverNext(loop.Now(), false) == RunLoop::Delivered::kNothing) break;
            }
        }
        session_ = nullptr;
    }

    void Close() override {
        if (g_window == this) g_window = nullptr;
        if (texture_) SDL_DestroyTexture(texture_);
        texture_ = nullptr;
        if (renderer_) SDL_DestroyRenderer(renderer_);
        renderer_ = nullptr;
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
        if (sdlStarted_) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
            if (SDL_WasInit(0) == 0) SDL_Quit();  // nobody else in the process uses SDL
            sdlStarted_ = false;
        }
    }

    bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height, landscape::Rect* image) {
        Draw(false);
        int w = 0, h = 0;
        if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0 || w <= 0 || h <= 0) return false;
        rgba->resize(static_cast<size_t>(w) * h * 4);
        if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGBA32, rgba->data(), w * 4) != 0) return false;
        SDL_RenderPresent(renderer_);
        *width = w;
        *height = h;
        *image = landscape::Fit(w, h);
        return true;
    }

private:
    Nanos Elapsed() const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_).count();
    }

    void Draw(bool present) {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        int w = 0, h = 0;
        if (texture_ && SDL_GetRendererOutputSize(renderer_, &w, &h) == 0) {
            landscape::Rect r = landscape::Fit(w, h);
            SDL_Rect dst{r.x, r.y, r.w, r.h};
            SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
        }
        if (present) SDL_RenderPresent(renderer_);
    }

    // The landscape image's rectangle in window coordinates (those of input events).
    landscape::Rect InputImage() const {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        return landscape::Fit(w, h);
    }

    void Touch(int phase, int64_t id, float wx, float wy) {
        TouchTracker& touches = session_->Touches();
        Point p = landscape::WindowToView(wx, wy, InputImage());
        if (phase == 0) {
            // A finger that lands on the black bars is not on the phone.
            if (!landscape::InsideView(p) || touches.IsDown(id)) return;
            touches.Began({{id, true, p}});
            return;
        }
        if (!touches.IsDown(id)) return;
        TouchTracker::Change change{id, true, landscape::ClampToView(p)};
        if (phase == 1) {
            touches.Moved({change});
        } else {
            touches.Ended({change});
        }
    }

    int64_t FingerId(SDL_TouchID device, SDL_FingerID finger, bool create) {
        auto key = std::make_pair(static_cast<int64_t>(device), static_cast<int64_t>(finger));
        auto it = fingers_.find(key);
        if (it != fingers_.end()) return it->second;
        if (!create) return -1;
        int64_t id = nextFingerId_++;
        fingers_[key] = id;
        return id;
    }

    void CancelTouches() {
        session_->Touches().CancelAll();
        fingers_.clear();
        if (mouseDown_) SDL_CaptureMouse(SDL_FALSE);
        mouseDown_ = false;
    }

    void Shake() { RunLoop::Main().Accel().StartShake(Elapsed()); }

    void Handle(const SDL_Event& e) {
        RunLoop& loop = RunLoop::Main();
        switch (e.type) {
            case SDL_QUIT: loop.RequestTermination(0); break;
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE: loop.RequestTermination(0); break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        CancelTouches();
                        session_->SetActive(false);
                        break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED: session_->SetActive(true); break;
                    case SDL_WINDOWEVENT_MOVED:
                        if (shake_.OnMoved(static_cast<double>(Elapsed()) / kNanosPerSecond, e.window.data1,
                                           e.window.data2))
                            Shake();
                        break;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_EXPOSED: Draw(true); break;
                    default: break;
                }
                break;
            case SDL_KEYDOWN:
                if (e.key.repeat) break;
                switch (e.key.keysym.sym) {
                    case SDLK_ESCAPE: loop.RequestTermination(0); break;
                    case SDLK_s:
                    case SDLK_SPACE: Shake(); break;
                    case SDLK_1:
                    case SDLK_2:
                    case SDLK_3:
                    case SDLK_4: Device::Current()->SetOrientation(static_cast<int>(e.key.keysym.sym - SDLK_0)); break;
                    default: break;
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT || mouseDown_) break;
                Touch(0, kMouseTouchId, static_cast<float>(e.button.x), static_cast<float>(e.button.y));
                mouseDown_ = session_->Touches().IsDown(kMouseTouchId);
                // Keep the finger's moves coming when it leaves the window.
                if (mouseDown_) SDL_CaptureMouse(SDL_TRUE);
                break;
            case SDL_MOUSEMOTION:
                if (e.motion.which == SDL_TOUCH_MOUSEID || !mouseDown_) break;
                Touch(1, kMouseTouchId, static_cast<float>(e.motion.x), static_cast<float>(e.motion.y));
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.which == SDL_TOUCH_MOUSEID || e.button.button != SDL_BUTTON_LEFT || !mouseDown_) break;
                Touch(2, kMouseTouchId, static_cast<float>(e.button.x), static_cast<float>(e.button.y));
                mouseDown_ = false;
                SDL_CaptureMouse(SDL_FALSE);
                break;
            case SDL_FINGERDOWN:
            case SDL_FINGERMOTION:
            case SDL_FINGERUP: {
                int phase = e.type == SDL_FINGERDOWN ? 0 : e.type == SDL_FINGERMOTION ? 1 : 2;
                int64_t id = FingerId(e.tfinger.touchId, e.tfinger.fingerId, phase == 0);
                if (id < 0) break;
                int w = 0, h = 0;
                SDL_GetWindowSize(window_, &w, &h);
                Touch(phase, id, e.tfinger.x * w, e.tfinger.y * h);
                // A finger that was not taken (it landed on the bars) is forgotten.
                if (phase == 2 || !session_->Touches().IsDown(id))
                    fingers_.erase(std::make_pair(static_cast<int64_t>(e.tfinger.touchId),
                                                  static_cast<int64_t>(e.tfinger.fingerId)));
                break;
            }
            default: break;
        }
    }

    int scale_;
    bool sdlStarted_ = false;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureW_ = 0, textureH_ = 0;
    std::vector<uint8_t> pixels_;
    std::chrono::steady_clock::time_point start_;
    AppSession* session_ = nullptr;
    bool mouseDown_ = false;
    std::map<std::pair<int64_t, int64_t>, int64_t> fingers_;
    int64_t nextFingerId_ = 1;
    WindowShakeDetector shake_;
};

}  // namespace

std::unique_ptr<Backend> MakeWindowBackend(const Options& options) { return std::make_unique<WindowBackend>(options); }

}  // namespace detail

namespace window {

bool ReadWindowPixels(std::vector<uint8_t>* rgba, int* width, int* height, landscape::Rect* image) {
    return detail::g_window && detail::g_window->ReadPixels(rgba, width, height, image);
}

}  // namespace window
}  // namespace platform
