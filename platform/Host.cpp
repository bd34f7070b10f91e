#include "platform/Host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/3d/gles/3DEngineGLES.h"
#include "engine/utils/DefaultConfig.h"
#include "engine/utils/UtilsParameters.h"
#include "engine/world/ResPacker.h"
#include "engine/world/Trace.h"
#include "platform/Files.h"
#include "platform/GLExtensions.h"
#include "platform/LandscapeMapping.h"
#include "platform/Platform.h"
#include "platform/TouchTable.h"
#include "platform/ViewFramebuffer.h"
#include "platform/WorldStart.h"

using namespace platform::oes;

namespace platform {
namespace {

constexpr double kActiveInterval = 1.0 / 60.0;
constexpr double kInactiveInterval = 0.2;
constexpr int kMaxPictureFrame = 100;  // the headless run without a script ends at 120 frames
const char kNoText[] = "";
bool g_pictureWritten = false;
const _pft_eKavrosApiFctSet kGlesApi = {GetInfos_3D_GLES, InstallApi_3D_GLES, UninstallApi_3D_GLES};

struct Command {
    bool headless = false;
    int scale = 0;
    int frames = 0;  // 0: headless the settings' frame, in the window until closed
    std::string bundle;
    std::string picture;
    std::string script;
};

void Usage(const WorldSettings& s, FILE* out) {
    std::fprintf(out,
                 "usage: %s [--headless | --window] [--scale N] [--frames N] [--picture FILE]\n"
                 "       %*s [--script FILE] [--bundle DIR] [--help]\n"
                 "\n"
                 "%s\n"
                 "\n"
                 "  --headless      no window: draw off-screen, write the picture and exit\n"
                 "                  (the default without a display)\n"
                 "  --window        force the window\n"
                 "  --scale N       pixels per point, 1 to 4 (headless 1, window 2)\n"
                 "  --frames N      write the picture after frame N (1 to %d) and exit;\n"
                 "                  headless default %d\n"
                 "  --picture FILE  where the picture goes (default %s.png here)\n"
                 "  --script FILE   headless input (touches, accelerometer, frames; see the\n"
                 "                  engine's README, \"Headless scripts\")\n"
                 "  --bundle DIR    the folder of the world's files\n"
                 "  --help          this text\n",
                 s.name, static_cast<int>(std::string(s.name).size()), "", s.summary, kMaxPictureFrame,
                 s.pictureFrame, s.name);
}

bool ParseInt(const char* text, int min, int max, int* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!text[0] || *end || v < min || v > max) return false;
    *out = static_cast<int>(v);
    return true;
}

// 0: go on; otherwise the exit status (1 + the help printed: 0).
int ParseCommand(int argc, char** argv, const WorldSettings& s, Command* cmd) {
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            Usage(s, stdout);
            return -1;
        } else if (a == "--headless") {
            cmd->headless = true;
        } else if (a == "--window") {
            window = true;
        } else if ((a == "--scale" || a == "--frames") && hasValue) {
            const char* v = argv[++i];
            const bool scale = a == "--scale";
            if (!ParseInt(v, 1, scale ? 4 : kMaxPictureFrame, scale ? &cmd->scale : &cmd->frames)) {
                std::fprintf(stderr, "%s: %s must be 1 to %d, not \"%s\"\n", s.name, a.c_str(),
                             scale ? 4 : kMaxPictureFrame, Printable(v).c_str());
                return 2;
            }
        } else if (a == "--picture" && hasValue) {
            cmd->picture = argv[++i];
        } else if (a == "--script" && hasValue) {
            cmd->script = argv[++i];
            cmd->headless = true;
        } else if (a == "--bundle" && hasValue) {
            cmd->bundle = argv[++i];
        } else {
            std::fprintf(stderr, "%s: %s \"%s\"\n", s.name, hasValue || a.rfind("--", 0) ? "unknown option"
                                                                                       : "a value is missing after",
                         Printable(a).c_str());
            Usage(s, stderr);
            return 2;
        }
    }
    if (window && cmd->headless) {
        std::fprintf(stderr, "%s: --window cannot go with --headless or --script\n", s.name);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!window && !((display && *display) || (wayland && *wayland))) cmd->headless = true;
    if (!cmd->scale) cmd->scale = cmd->headless ? 1 : 2;
    if (!cmd->frames && cmd->headless) cmd->frames = std::min(std::max(s.pictureFrame, 1), kMaxPictureFrame);
    if (cmd->picture.empty()) cmd->picture = std::string(s.name) + ".png";
    if (cmd->bundle.empty()) cmd->bundle = s.bundleDir ? s.bundleDir : ".";
    std::error_code ec;
    cmd->picture = std::filesystem::absolute(cmd->picture, ec).string();
    cmd->bundle = std::filesystem::absolute(cmd->bundle, ec).string();
    if (!cmd->script.empty()) cmd->script = std::filesystem::absolute(cmd->script, ec).string();
    return 0;
}

// The world's view: the context, the framebuffer, the world and its two
// parameter stores, and the frame timer.
class WorldView : public ViewResponder {
public:
    WorldView(View* view, const WorldSettings& settings, const Command& cmd)
        : view_(view), settings_(settings), cmd_(cmd) {}

    ~WorldView() override {
        if (listener_ && Accelerometer::Shared()->Delegate() == listener_) Accelerometer::Shared()->SetDelegate(nullptr);
        if (view_->Responder() == this) view_->SetResponder(nullptr);
        SetInterval(0);
        if (context_) GLContext::SetCurrentContext(context_.get());
        if (world_) {
            world_->Unload();
            world_.reset();
        }
        if (context_) {
            framebuffer_.Destroy();
            GLContext::SetCurrentContext(nullptr);
        }
    }

    bool Start(const WorldFactory& make) {
        DrawableLayer* layer = view_->Layer();
        layer->opaque = true;
        layer->retainedBacking = false;
        context_ = GLContext::Create(1);
        if (!context_ || !GLContext::SetCurrentContext(context_.get())) return Fail("no OpenGL ES 1.1 context");
        // The framebuffer exists before the world loads, so that what the
        // world asks of the target then (stencil bits, size) is the truth.
        if (!framebuffer_.Create(context_.get(), layer)) return Fail("no complete framebuffer");
        view_->SetMultipleTouchEnabled(true);
        view_->SetResponder(this);

        log_ = settings_.logPath ? settings_.logPath : std::string(settings_.name) + ".log";
        const char* log = log_.c_str();
        eINIT_TRACE(log);
        engineParams_ = std::make_unique<CUtilsParametersStatic>(
            settings_.engineIni ? settings_.engineIni : g_szEngineIni,
            settings_.engineIni ? settings_.engineIniSize : g_dwEngineIniSize);
        appParams_ = std::make_unique<CUtilsParametersStatic>(settings_.appIni ? settings_.appIni : kNoText,
                                                              settings_.appIni ? settings_.appIniSize : sizeof(kNoText));
        world_ = make();
        if (!world_) return Fail("no world was made");
        const std::string pack = settings_.packPath ? cmd_.bundle + "/" + settings_.packPath : std::string();
        if (world_->SetParameters(engineParams_.get(), appParams_.get(), nullptr, pack.empty() ? nullptr : pack.c_str(),
                                  pack.empty() ? nullptr : static_cast<PFN_RES_PACKER>(eGetResPacker), log) < 0)
            return Fail(("cannot open the pack " + Printable(pack)).c_str());
        world_->m_Api.eKavros3DApi.eKavros3DApi_GLES = kGlesApi;
        if (SelectAndLoadWorld(world_.get(), engineParams_.get(), layer->scale, WorldSize::kPoints, {settings_.name, 1, 0, __DATE__},
                               log) < 0)
            return Fail(("the world did not load (see " + log_ + ")").c_str());

        listener_ = dynamic_cast<AccelerometerDelegate*>(world_.get());
        if (listener_) {
            Accelerometer::Shared()->SetUpdateInterval(0.05);
            Accelerometer::Shared()->SetDelegate(listener_);
        }
        return true;
    }

    // 0 stops the frames.
    void SetInterval(double interval) {
        if (timer_) timer_->Invalidate();
        timer_ = interval > 0 ? ScheduleRepeatingTimer(interval, [this] { Draw(); }) : nullptr;
    }

    void Draw() {
        GLContext::SetCurrentContext(context_.get());
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_.framebuffer);
        if (world_) world_->RenderOneStep();
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, framebuffer_.colour);
        context_->PresentRenderbuffer(GL_RENDERBUFFER_OES);
        if (cmd_.frames && ++frames_ == cmd_.frames) WritePicture();
    }

    void LayoutSubviews() override {
        GLContext::SetCurrentContext(context_.get());
        framebuffer_.Destroy();
        if (!framebuffer_.Create(context_.get(), view_->Layer())) RequestTermination(1);
    }
    void TouchesBegan(const TouchSet& touches, Event* event) override { Forward(eTOUCH_BEGAN, touches, event); }
    void TouchesMoved(const TouchSet& touches, Event* event) override { Forward(eTOUCH_MOVED, touches, event); }
    void TouchesEnded(const TouchSet& touches, Event* event) override { Forward(eTOUCH_ENDED, touches, event); }
    void TouchesCancelled(const TouchSet& touches, Event* event) override {
        Forward(eTOUCH_CANCELLED, touches, event);
    }

private:
    bool Fail(const char* what) {
        std::fprintf(stderr, "%s: %s\n", settings_.name, what);
        return false;
    }

    void Forward(short type, const TouchSet& touches, Event* event) {
        TOUCH_MESSAGE msg = BuildTouchMessage(type, touches, event, table_, view_);
        if (world_) world_->IncomingOSMessage(&msg);
    }

    // The portrait frame turned upright, as the window shows it.
    void WritePicture() {
        const Frame portrait = LastPresentedFrame();
        Frame upright;
        upright.width = portrait.height;
        upright.height = portrait.width;
        landscape::RotateClockwise(portrait, &upright.rgba);
        std::string error;
        if (!WritePngFile(cmd_.picture, upright, &error)) {
            std::fprintf(stderr, "%s: %s\n", settings_.name, error.c_str());
            RequestTermination(1);
            return;
        }
        g_pictureWritten = true;
        RequestTermination(0);
    }

    View* view_;
    const WorldSettings& settings_;
    const Command& cmd_;
    std::unique_ptr<GLContext> context_;
    ViewFramebuffer framebuffer_;
    std::unique_ptr<CUtilsParametersStatic> engineParams_;
    std::unique_ptr<CUtilsParametersStatic> appParams_;
    std::unique_ptr<CWorld> world_;
    std::string log_;
    Touch* table_[kTouchSlots] = {};
    AccelerometerDelegate* listener_ = nullptr;
    Timer* timer_ = nullptr;
    int frames_ = 0;
};

// Frames at 60 a second while active, 5 while not; the view goes at the end.
class WorldDelegate : public AppDelegate {
public:
    explicit WorldDelegate(std::unique_ptr<WorldView> view) : view_(std::move(view)) {}
    void DidFinishLaunching() override { view_->SetInterval(kActiveInterval); }
    void WillResignActive() override { view_->SetInterval(kInactiveInterval); }
    void DidBecomeActive() override { view_->SetInterval(kActiveInterval); }
    void WillTerminate() override { view_.reset(); }

private:
    std::unique_ptr<WorldView> view_;
};

}  // namespace

int RunWorld(int argc, char** argv, const WorldSettings& settings, const WorldFactory& make) {
    Command cmd;
    if (int status = ParseCommand(argc, argv, settings, &cmd)) return status < 0 ? 0 : status;
    Options options;
    options.headless = cmd.headless;
    options.scale = cmd.scale;
    options.bundleDir = cmd.bundle;
    options.scriptPath = cmd.script;
    g_pictureWritten = false;
    const int status = ApplicationMain(options, [&](View* view) -> std::unique_ptr<AppDelegate> {
        auto glView = std::make_unique<WorldView>(view, settings, cmd);
        if (!glView->Start(make)) return nullptr;
        return std::make_unique<WorldDelegate>(std::move(glView));
    });
    // A script may end the run first; a run asked for a picture must give one.
    if (status == 0 && cmd.headless && !g_pictureWritten) {
        std::fprintf(stderr, "%s: the run ended before frame %d, no picture written\n", settings.name, cmd.frames);
        return 1;
    }
    return status;
}

}  // namespace platform
