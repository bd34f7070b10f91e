// The window backend (SDL2): the phone held in landscape. The window has an
// OpenGL ES 1.1 context of its own (EGL); the view renders into a texture in
// a context that shares it, and each presented frame is drawn into the window
// as one turned quad, so the pixels stay on the GPU.
#include <EGL/egl.h>
#include <SDL.h>
#include <dlfcn.h>
#include <link.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <map>
#include <string>
#include <vector>
#include <utility>

#include "app/platform/LandscapeMapping.h"
#include "app/platform/RunLoop.h"
#include "app/platform/WindowBackend.h"
#include "app/platform/WindowShake.h"
#include "app/platform/WindowSurface.h"

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

// Keeps the loaded GL driver modules mapped to the end of the process. SDL
// terminates its EGL display when the window goes, and Mesa then unloads its
// driver while memory the driver keeps for the process is still allocated;
// leak reports could no longer tell whose that memory is.
void PinDriver() {
    std::vector<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium") ||
                         std::strstr(name, "libEGL_mesa") || std::strstr(name, "libglapi")))
                static_cast<std::vector<std::string>*>(data)->push_back(name);
            return 0;
        },
        &names);
    for (const std::string& name : names) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

class WindowBackend : public Backend, public WindowSurface {
public:
    explicit WindowBackend(const Options& options) : scale_(std::max(options.scale, 1)) {}
    ~WindowBackend() override { Close(); }

    bool Open(std::string* error) override {
        // Touches stay touches and the mouse stays the mouse: no synthesised copies.
        SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
        SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
        // OpenGL ES through EGL, on X11 too (GLX offers no ES 1 context).
        SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
        SDL_SetHint(SDL_HINT_OPENGL_ES_DRIVER, "1");
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
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // The view draws into its own framebuffer: the window needs no depth.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        window_ = SDL_CreateWindow("Orbelline", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, size.w, size.h,
                                   SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN | SDL_WINDOW_OPENGL);
        if (!window_) {
            *error = std::string("orbelline: cannot open a window (") + SDL_GetError() +
                     "); the headless mode needs no display";
            return false;
        }
        SDL_SetWindowMinimumSize(window_, landscape::kWidthPoints / 2, landscape::kHeightPoints / 2);
        glContext_ = SDL_GL_CreateContext(window_);
        if (!glContext_) {
            *error = std::string("orbelline: cannot draw into the window (no OpenGL ES 1.1 context: ") +
                     SDL_GetError() + ")";
            return false;
        }
        PinDriver();
        FindEgl();
        // Frames come from the view's timer: a swap must not wait for the display.
        SDL_GL_SetSwapInterval(0);
        SetUpQuadState();
        start_ = std::chrono::steady_clock::now();
        g_window = this;
        SetWindowSurface(this);
        Draw(true);
        return true;
    }

    void* CreateViewContext() override {
        if (direct_) {
            const EGLint attribs[] = {EGL_CONTEXT_CLIENT_VERSION, 1, EGL_NONE};
            EGLContext context = eglCreateContext(eglDisplay_, eglConfig_, eglWindowContext_, attribs);
            if (context == EGL_NO_CONTEXT) {
                ConsoleLog("orbelline: no OpenGL ES context for the view (EGL error 0x%x)", eglGetError());
                return nullptr;
            }
            return context;
        }
        if (!glContext_ || SDL_GL_MakeCurrent(window_, glContext_) != 0) return nullptr;
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
        SDL_GLContext context = SDL_GL_CreateContext(window_);
        SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
        if (!context) ConsoleLog("orbelline: no OpenGL ES context for the view (%s)", SDL_GetError());
        SDL_GL_MakeCurrent(window_, nullptr);
        return context;
    }

    void DestroyViewContext(void* context) override {
        if (!context) return;
        if (direct_) {
            eglDestroyContext(eglDisplay_, static_cast<EGLContext>(context));
        } else {
            SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context));
        }
    }

    bool MakeViewCurrent(void* context) override {
        if (direct_)
            return eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE,
                                  context ? static_cast<EGLContext>(context) : EGL_NO_CONTEXT) == EGL_TRUE;
        return SDL_GL_MakeCurrent(window_, static_cast<SDL_GLContext>(context)) == 0;
    }

    void Forget(GLuint texture) override {
        if (texture_ == texture) texture_ = 0;
    }

    bool Show(GLuint texture, int width, int height, int textureWidth, int textureHeight) override {
        void* view = CurrentContext();
        texture_ = texture;
        frameW_ = width;
        frameH_ = height;
        textureW_ = textureWidth;
        textureH_ = textureHeight;
        if (!UseWindow()) return false;
        bool ok = Draw(true);
        Restore(view);
        return ok;
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

    // The frame is already in the window (Show); only its size comes here.
    void Present(const Frame&) override {}

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
        if (g_window == this) {
            g_window = nullptr;
            SetWindowSurface(nullptr);
        }
        texture_ = 0;
        if (direct_) eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        direct_ = false;
        if (glContext_) {
            SDL_GL_MakeCurrent(window_, nullptr);
            SDL_GL_DeleteContext(glContext_);
        }
        glContext_ = nullptr;
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
        if (sdlStarted_) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
            if (SDL_WasInit(0) == 0) SDL_Quit();  // nobody else in the process uses SDL
            sdlStarted_ = false;
        }
    }

    bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height, landscape::Rect* image) {
        void* previous = CurrentContext();
        if (!UseWindow()) return false;
        bool ok = Draw(false);
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        ok = ok && w > 0 && h > 0;
        if (ok) {
            rgba->resize(static_cast<size_t>(w) * h * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba->data());
            ok = !Failed("reading the window back");
        }
        if (ok) {
            // OpenGL counts rows from the bottom.
            const size_t stride = static_cast<size_t>(w) * 4;
            std::vector<uint8_t> row(stride);
            for (int y = 0; y < h / 2; ++y) {
                uint8_t* a = rgba->data() + y * stride;
                uint8_t* b = rgba->data() + (h - 1 - y) * stride;
                std::memcpy(row.data(), a, stride);
                std::memcpy(a, b, stride);
                std::memcpy(b, row.data(), stride);
            }
            Swap();
            *width = w;
            *height = h;
            *image = landscape::Fit(w, h);
        }
        Restore(previous);
        return ok;
    }

private:
    Nanos Elapsed() const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_).count();
    }

    // Where EGL allows it the view's contexts are made beside SDL's, on its
    // EGL display, and made current with no surface: switching between them
    // and the window's context then never rebinds the window surface to
    // another context, which costs the driver a new set of buffers.
    void FindEgl() {
        eglDisplay_ = eglGetCurrentDisplay();
        eglWindowSurface_ = eglGetCurrentSurface(EGL_DRAW);
        eglWindowContext_ = eglGetCurrentContext();
        direct_ = false;
        if (eglDisplay_ == EGL_NO_DISPLAY || eglWindowSurface_ == EGL_NO_SURFACE ||
            eglWindowContext_ == EGL_NO_CONTEXT)
            return;
        const char* extensions = eglQueryString(eglDisplay_, EGL_EXTENSIONS);
        if (!extensions || !std::strstr(extensions, "EGL_KHR_surfaceless_context")) return;
        EGLint id = 0, count = 0;
        if (!eglQueryContext(eglDisplay_, eglWindowContext_, EGL_CONFIG_ID, &id)) return;
        const EGLint attribs[] = {EGL_CONFIG_ID, id, EGL_NONE};
        direct_ = eglChooseConfig(eglDisplay_, attribs, &eglConfig_, 1, &count) && count == 1;
    }

    void* CurrentContext() const {
        return direct_ ? static_cast<void*>(eglGetCurrentContext()) : static_cast<void*>(SDL_GL_GetCurrentContext());
    }

    bool UseWindow() {
        if (direct_)
            return eglMakeCurrent(eglDisplay_, eglWindowSurface_, eglWindowSurface_, eglWindowContext_) == EGL_TRUE;
        return SDL_GL_MakeCurrent(window_, glContext_) == 0;
    }

    // Makes a view's context current again (none: the window's stays).
    void Restore(void* previous) {
        if (!previous || previous == (direct_ ? static_cast<void*>(eglWindowContext_) : glContext_)) return;
        MakeViewCurrent(previous);
    }

    void Swap() {
        if (direct_) {
            eglSwapBuffers(eglDisplay_, eglWindowSurface_);
        } else {
            SDL_GL_SwapWindow(window_);
        }
    }

    static bool Failed(const char* what) {
        GLenum e = glGetError();
        if (e == GL_NO_ERROR) return false;
        ConsoleLog("orbelline: %s failed (GL error 0x%x)", what, e);
        while (glGetError() != GL_NO_ERROR) {
        }
        return true;
    }

    // The window context's state is set once: it only ever draws the quad.
    void SetUpQuadState() {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_LIGHTING);
        glDisable(GL_DITHER);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, quad_);
        glTexCoordPointer(2, GL_FLOAT, 0, quadTexture_);
        glClearColor(0, 0, 0, 1);
        Failed("setting up the window");
    }

    // Black bars and the landscape image; the window context is current.
    bool Draw(bool present) {
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(window_, &w, &h);
        if (w <= 0 || h <= 0) return false;
        glViewport(0, 0, w, h);
        const landscape::Rect r = landscape::Fit(w, h);
        // The image covers all but the black bars: only a window with bars is cleared.
        if (!texture_ || r.x != 0 || r.y != 0 || r.w != w || r.h != h) glClear(GL_COLOR_BUFFER_BIT);
        if (texture_) {
            // Corners in clip space (top left, top right, bottom left, bottom
            // right of the landscape image), each taking the texel the
            // clockwise turn puts there: the texture's s runs down the
            // window, its t (rows from the frame's bottom) runs right.
            const float x0 = 2.0f * r.x / w - 1, x1 = 2.0f * (r.x + r.w) / w - 1;
            const float y0 = 1 - 2.0f * r.y / h, y1 = 1 - 2.0f * (r.y + r.h) / h;
            const float s = static_cast<float>(frameW_) / textureW_, t = static_cast<float>(frameH_) / textureH_;
            const float corners[8] = {x0, y0, x1, y0, x0, y1, x1, y1};
            const float texels[8] = {0, 0, 0, t, s, 0, s, t};
            std::memcpy(quad_, corners, sizeof(quad_));
            std::memcpy(quadTexture_, texels, sizeof(quadTexture_));
            glBindTexture(GL_TEXTURE_2D, texture_);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        if (Failed("drawing the frame into the window")) return false;
        if (present) Swap();
        return true;
    }

    void Redraw() {
        void* previous = CurrentContext();
        if (!UseWindow()) return;
        Draw(true);
        Restore(previous);
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
                    case SDL_WINDOWEVENT_EXPOSED: Redraw(); break;
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
    SDL_GLContext glContext_ = nullptr;
    bool direct_ = false;
    EGLDisplay eglDisplay_ = EGL_NO_DISPLAY;
    EGLSurface eglWindowSurface_ = EGL_NO_SURFACE;
    EGLContext eglWindowContext_ = EGL_NO_CONTEXT;
    EGLConfig eglConfig_ = nullptr;
    GLuint texture_ = 0;  // the view's, shown as it was last presented
    int frameW_ = 0, frameH_ = 0, textureW_ = 1, textureH_ = 1;
    float quad_[8] = {};
    float quadTexture_[8] = {};
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
