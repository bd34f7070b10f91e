// orbelline-view: shows one model, from a file or a procedural builder, in a
// window (drag to orbit, wheel to zoom, Escape quits) or, without a display,
// writes a turntable of pictures.
#include <SDL.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <GLES/gl.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Builders.h"
#include "HeadlessContext.h"
#include "ModelScene.h"
#include "TraceCapture.h"
#include "engine/3d/3DObject.h"
#include "engine/3d/3DObjectRaw.h"
#include "engine/3d/Maths3D.h"
#include "engine/world/SharedInfos.h"
#include "platform/Files.h"

namespace {

constexpr const char* kName = "orbelline-view";
constexpr int kOk = 0, kFailure = 1, kUsage = 2;

std::string Help() {
    return "usage: orbelline-view [OPTIONS] FILE\n"
           "       orbelline-view [OPTIONS] TYPE [KEY=VALUE...]\n"
           "\n"
           "Shows a model drawn by the engine: a model file (.3dx, .obj, .3ds) or a\n"
           "procedural model TYPE with the settings of 'orbelline-asset model build'.\n"
           "In a window: drag with the mouse to orbit, turn the wheel to zoom, Escape\n"
           "or closing the window quits. With --headless, or when there is no display,\n"
           "it writes a turntable instead: N pictures DIR/frame-000.png ... turning the\n"
           "model once around its vertical axis.\n"
           "\n"
           "options:\n"
           "  --headless     write the turntable even when a display is there\n"
           "  --out DIR      where the turntable goes (default: turntable), made with every\n"
           "                 missing folder above it\n"
           "  --frames N     pictures in the turntable, 1 to 3600 (default 36)\n"
           "  --size WxH     window or picture size (default 640x480)\n"
           "  --pitch DEG    tilt towards the viewer (default 25)\n"
           "  --shadow       a floor under the model, and the model's stencil shadow on it\n"
           "                 from light 1; in the window the arrow keys move the light\n"
           "  --quit-after N in a window, quit after N frames (for scripted runs)\n"
           "  --screenshot F in a window, write the last frame shown to F (PNG) on quitting\n"
           "  --help         this text\n"
           "\n"
           "types:\n" +
           scene::DescribeBuilders() +
           "\nExit status: 0 success, 1 failure, 2 bad usage.\n";
}

int Usage(const std::string& what) {
    std::fprintf(stderr, "%s: %s (try '%s --help')\n", kName, what.c_str(), kName);
    return kUsage;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", kName, what.c_str());
    return kFailure;
}

struct Options {
    bool headless = false;
    std::string out = "turntable";
    int frames = 36;
    int width = 640, height = 480;
    float pitch = 25.0f;
    bool shadow = false;
    int quitAfter = 0;       // frames; 0: run until asked to quit
    std::string screenshot;  // window mode: the last frame, written on quitting
    std::string model;                  // FILE or TYPE
    std::vector<std::string> settings;  // KEY=VALUE for a TYPE
};

// The model named on the command line, handed to a scene.
class ModelSource {
public:
    explicit ModelSource(const Options& o) : options_(o) {}

    // Checks what can be checked without a context; false with the exit
    // status in *status.
    bool Prepare(int* status) {
        builder_ = scene::FindBuilder(options_.model);
        std::string error;
        if (builder_) {
            if (!record_.Parse(*builder_, options_.settings, &error)) {
                *status = Usage(error);
                return false;
            }
            return true;
        }
        if (!options_.settings.empty()) {
            *status = Usage("settings follow a TYPE only, and \"" + options_.model + "\" is no type");
            return false;
        }
        infos_ = std::make_unique<SHARED_INFOS>();
        infos_->m_pMaths3D = new CMaths3D;
        raw_ = std::make_unique<C3DObjectRaw>(infos_.get());
        std::string why;
        if (FILE* f = platform::OpenRegularFile(options_.model, UINT64_MAX, &why)) {
            std::fclose(f);
        } else {
            *status = Fail(options_.model + ": " + why);
            return false;
        }
        scene::TraceCapture trace;
        const bool loaded = raw_->LoadFromFile(options_.model.c_str()) >= 0 && raw_->m_pModel;
        const std::string reason = trace.Stop();
        if (loaded) std::fputs(trace.Text().c_str(), stderr);
        if (!loaded) {
            *status = Fail(options_.model + ": not a model the engine can load (.3dx, .obj or .3ds)" +
                           (reason.empty() ? "" : ": " + reason));
            return false;
        }
        return true;
    }

    ~ModelSource() {
        raw_.reset();
        if (infos_) delete infos_->m_pMaths3D;
    }

    bool Into(scene::ModelScene* s, std::string* error) {
        if (builder_) {
            C3DObject* o = s->NewObjectToBuild(builder_->objectFlags);
            if (!o) {
                *error = "the device made no object";
                return false;
            }
            if (!record_.Build(o, s->Infos(), error)) return false;
            // Once, not for every context the model is built in.
            if (!clampsTold_)
                for (const std::string& clamp : record_.Clamped()) std::fprintf(stderr, "%s: warning: %s\n", kName, clamp.c_str());
            clampsTold_ = true;
            return s->FinishBuilt(error);
        }
        const size_t slash = options_.model.rfind('/');
        const std::string dir = slash == std::string::npos ? std::string() : options_.model.substr(0, slash + 1);
        std::string warning;
        if (!s->SetModelFromRaw(raw_.get(), dir.c_str(), error, &warning)) {
            *error = options_.model + ": " + *error;
            return false;
        }
        if (!warning.empty()) std::fprintf(stderr, "%s: %s: %s\n", kName, options_.model.c_str(), warning.c_str());
        return true;
    }

private:
    const Options& options_;
    const scene::BuilderInfo* builder_ = nullptr;
    scene::BuilderRecord record_;
    bool clampsTold_ = false;
    std::unique_ptr<SHARED_INFOS> infos_;
    std::unique_ptr<C3DObjectRaw> raw_;
};

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

int RunHeadless(const Options& o, ModelSource* source) {
    // Every missing level of the path is made.
    std::error_code made;
    std::filesystem::create_directories(o.out, made);
    if (made && made != std::errc::file_exists && made != std::errc::not_a_directory)
        return Fail(o.out + ": " + made.message());
    struct stat st {};
    if (stat(o.out.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(o.out + ": not a directory");
    view::HeadlessContext context;
    std::string error;
    if (!context.Open(o.width, o.height, &error)) return Fail(error);
    scene::ModelScene s;
    if (!s.Load(o.width, o.height, &error)) return Fail(error);
    if (!source->Into(&s, &error)) return Fail(error);
    if (o.shadow && !s.EnableShadow(&error)) return Fail(error);
    for (int i = 0; i < o.frames; ++i) {
        s.SetView(30.0f + 360.0f * static_cast<float>(i) / static_cast<float>(o.frames), o.pitch, 1.0f);
        if (!s.Draw(i == 0 ? &error : nullptr))
            return Fail(o.model + ": the model did not draw" + (i == 0 ? ": " + error : std::string()));
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%03d.png", i);
        const std::string path = o.out + name;
        if (!scene::WriteRgbPng(path, o.width, o.height, s.ReadRgba(), &error)) return Fail(path + ": " + error);
    }
    return kOk;
}

// 1: shown and closed; 0: no window could be had (fall back to headless);
// otherwise the exit status.
int RunWindow(const Options& o, ModelSource* source, bool* noWindow) {
    *noWindow = false;
    // Mesa's OpenGL ES comes through EGL; GLX would not give it on X11.
    SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        *noWindow = true;
        return kOk;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const std::string title = std::string(kName) + " - " + o.model;
    SDL_Window* window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, o.width,
                                          o.height, SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE);
    SDL_GLContext gl = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!gl) {
        const std::string why = SDL_GetError();
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
        return Fail(std::string("no OpenGL ES 1.1 window: ") + why);
    }
    PinDriver();
    SDL_GL_SetSwapInterval(1);
    int status = kOk;
    {
        scene::ModelScene s;
        std::string error;
        int w = o.width, h = o.height;
        SDL_GL_GetDrawableSize(window, &w, &h);
        if (!s.Load(w, h, &error) || !source->Into(&s, &error) || (o.shadow && !s.EnableShadow(&error))) {
            status = Fail(error);
        } else {
            float yaw = 30.0f, pitch = o.pitch, zoom = 1.0f, lightAzimuth = -40.0f, lightElevation = 60.0f;
            bool dragging = false, running = true;
            std::vector<uint8_t> last;
            for (int frame = 1; running; ++frame) {
                SDL_Event e;
                while (SDL_PollEvent(&e)) {
                    if (e.type == SDL_QUIT) running = false;
                    if (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_ESCAPE) running = false;
                    if (e.type == SDL_KEYDOWN && s.ShadowEnabled()) {
                        const SDL_Keycode k = e.key.keysym.sym;
                        if (k == SDLK_LEFT) lightAzimuth -= 5.0f;
                        if (k == SDLK_RIGHT) lightAzimuth += 5.0f;
                        if (k == SDLK_UP) lightElevation = std::fmin(89.0f, lightElevation + 5.0f);
                        if (k == SDLK_DOWN) lightElevation = std::fmax(10.0f, lightElevation - 5.0f);
                        s.MoveLight(lightAzimuth, lightElevation);
                    }
                    if (e.type == SDL_MOUSEBUTTONDOWN && e.button.button == SDL_BUTTON_LEFT) dragging = true;
                    if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT) dragging = false;
                    if (e.type == SDL_MOUSEMOTION && dragging) {
                        yaw -= 0.5f * static_cast<float>(e.motion.xrel);
                        pitch = std::fmax(-89.0f, std::fmin(89.0f, pitch + 0.5f * static_cast<float>(e.motion.yrel)));
                    }
                    if (e.type == SDL_MOUSEWHEEL)
                        zoom = std::fmax(0.1f, std::fmin(20.0f, zoom * std::pow(0.9f, static_cast<float>(e.wheel.y))));
                    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                        SDL_GL_GetDrawableSize(window, &w, &h);
                        s.Resize(w, h);
                    }
                }
                s.SetView(yaw, pitch, zoom);
                // Held back on the first frame only: a refused draw ends the run.
                std::string refused;
                if (!s.Draw(frame == 1 ? &refused : nullptr)) {
                    status = Fail(o.model + ": the model did not draw" + (refused.empty() ? "" : ": " + refused));
                    break;
                }
                // Read before the swap: the back buffer is undefined after it.
                if (!o.screenshot.empty()) last = s.ReadRgba();
                SDL_GL_SwapWindow(window);
                if (o.quitAfter > 0 && frame >= o.quitAfter) running = false;
            }
            if (status == kOk && !o.screenshot.empty() && !scene::WriteRgbPng(o.screenshot, s.Width(), s.Height(), last, &error))
                status = Fail(o.screenshot + ": " + error);
        }
    }
    SDL_GL_DeleteContext(gl);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return status;
}

bool ParseSize(const std::string& text, int* w, int* h) {
    unsigned a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%u%c", &a, &b, &tail) != 2 || a < 1 || b < 1 || a > 8192 || b > 8192)
        return false;
    *w = static_cast<int>(a);
    *h = static_cast<int>(b);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<std::string> positionals;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            std::fputs(Help().c_str(), stdout);
            return kOk;
        } else if (options && a == "--headless") {
            o.headless = true;
        } else if (options && a == "--shadow") {
            o.shadow = true;
        } else if (options && a == "--out") {
            if (!value(&o.out) || o.out.empty()) return Usage("--out needs a directory");
        } else if (options && a == "--frames") {
            char* end = nullptr;
            if (!value(&v)) return Usage("--frames needs a number");
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 3600) return Usage("--frames expects 1 to 3600");
            o.frames = static_cast<int>(n);
        } else if (options && a == "--quit-after") {
            char* end = nullptr;
            if (!value(&v)) return Usage("--quit-after needs a number");
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 1 || n > 1000000) return Usage("--quit-after expects 1 to 1000000");
            o.quitAfter = static_cast<int>(n);
        } else if (options && a == "--screenshot") {
            if (!value(&o.screenshot) || o.screenshot.empty()) return Usage("--screenshot needs a file");
        } else if (options && a == "--size") {
            if (!value(&v) || !ParseSize(v, &o.width, &o.height)) return Usage("--size expects WxH, each 1 to 8192");
        } else if (options && a == "--pitch") {
            char* end = nullptr;
            if (!value(&v)) return Usage("--pitch needs a number");
            o.pitch = std::strtof(v.c_str(), &end);
            if (v.empty() || *end || !std::isfinite(o.pitch)) return Usage("--pitch expects a number");
        } else if (options && a.size() > 1 && a[0] == '-') {
            return Usage("unknown option \"" + a + "\"");
        } else {
            positionals.push_back(a);
        }
    }
    if (positionals.empty()) return Usage("expects a FILE or a TYPE");
    o.model = positionals[0];
    o.settings.assign(positionals.begin() + 1, positionals.end());

    ModelSource source(o);
    int status = kOk;
    if (!source.Prepare(&status)) return status;

    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool haveDisplay = (display && *display) || (wayland && *wayland);
    if (!o.headless && haveDisplay) {
        bool noWindow = false;
        status = RunWindow(o, &source, &noWindow);
        if (!noWindow) return status;
    }
    return RunHeadless(o, &source);
}
