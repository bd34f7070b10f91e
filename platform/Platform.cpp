#include "platform/Platform.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/RunLoop.h"
#include "engine/world/Trace.h"

namespace platform {

namespace {

std::string g_bundlePath;
Frame g_lastFrame;
bool g_running = false;

constexpr int kMaxScale = 8;

std::string CurrentDirectory() {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::current_path(ec);
    return ec ? std::string(".") : p.string();
}

}  // namespace

Accelerometer* Accelerometer::Shared() {
    static Accelerometer accelerometer;
    return &accelerometer;
}

Device* Device::Current() {
    static Device device;
    return &device;
}

int Device::AddOrientationObserver(std::function<void()> observer) {
    int token = nextToken_++;
    observers_.emplace_back(token, std::move(observer));
    return token;
}

void Device::RemoveOrientationObserver(int token) {
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [token](const auto& entry) { return entry.first == token; }),
                     observers_.end());
}

void Device::SetOrientation(int orientation) {
    orientation_ = orientation;
    if (!generating_) return;
    // Observers may add or remove observers while being told: walk a snapshot of
    // the tokens and skip the ones removed meanwhile.
    std::vector<int> tokens;
    for (const auto& entry : observers_) tokens.push_back(entry.first);
    for (int token : tokens) {
        auto it = std::find_if(observers_.begin(), observers_.end(),
                               [token](const auto& entry) { return entry.first == token; });
        if (it == observers_.end() || !it->second) continue;
        std::function<void()> observer = it->second;
        observer();
    }
}

std::string BundlePath() { return g_bundlePath.empty() ? CurrentDirectory() : g_bundlePath; }

void ConsoleLog(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (n > 0) {
        line.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&line[0], line.size(), format, args);
        line.resize(static_cast<size_t>(n));
    }
    va_end(args);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

namespace {

// Frames per second and the median and 99th percentile of the intervals
// between presented frames, in real time (headless runs too).
// Close to the process start: set while the program is being loaded.
const std::chrono::steady_clock::time_point g_processStart = std::chrono::steady_clock::now();

struct PresentTime {
    std::chrono::steady_clock::time_point at;
    double costMs;  // from the start of the timer that drew it
};

double Percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * (v.size() - 1) + 0.5))];
}

void PrintFrameStats(const std::vector<PresentTime>& presents) {
    if (presents.size() < 2) {
        if (presents.empty()) {
            std::printf("orbelline: no frame presented\n");
        } else {
            std::printf("orbelline: 1 frame, no intervals; first frame %.1f ms after start\n",
                        std::chrono::duration<double, std::milli>(presents[0].at - g_processStart).count());
        }
        return;
    }
    std::vector<double> ms, cost;
    ms.reserve(presents.size() - 1);
    for (size_t i = 1; i < presents.size(); ++i) {
        ms.push_back(std::chrono::duration<double, std::milli>(presents[i].at - presents[i - 1].at).count());
        cost.push_back(presents[i].costMs);
    }
    const double total = std::chrono::duration<double>(presents.back().at - presents.front().at).count();
    const double first = std::chrono::duration<double, std::milli>(presents.front().at - g_processStart).count();
    std::printf("orbelline: %zu frames, %.1f frames per second, frame interval p50 %.2f ms, p99 %.2f ms; "
                "frame cost p50 %.2f ms, p99 %.2f ms; first frame %.1f ms after start\n",
                presents.size(), total > 0 ? static_cast<double>(ms.size()) / total : 0.0, Percentile(ms, 0.50),
                Percentile(ms, 0.99), Percentile(cost, 0.50), Percentile(cost, 0.99), first);
    std::fflush(stdout);
}

}  // namespace

Frame LastPresentedFrame() {
    detail::ReadPendingFrame(&g_lastFrame);
    return g_lastFrame;
}

namespace detail {

std::string ResolvePath(const std::string& base, const std::string& path) {
    std::filesystem::path p(path);
    if (p.is_absolute() || base.empty()) return p.lexically_normal().string();
    return (std::filesystem::path(base) / p).lexically_normal().string();
}

bool WritePng(const std::string& path, const Frame& frame, std::string* error) {
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.rgba.size() != static_cast<size_t>(frame.width) * frame.height * 4) {
        *error = "no frame has been presented";
        return false;
    }
    std::string why;
    const bool ok = WriteFileAtomically(
        path,
        [&](FILE* file, std::string* reason) {
            png_image image;
            std::memset(&image, 0, sizeof image);
            image.version = PNG_IMAGE_VERSION;
            image.width = static_cast<png_uint_32>(frame.width);
            image.height = static_cast<png_uint_32>(frame.height);
            image.format = PNG_FORMAT_RGBA;
            const bool written = png_image_write_to_stdio(&image, file, 0, frame.rgba.data(), 0, nullptr) != 0;
            if (!written) *reason = image.message;
            png_image_free(&image);
            return written;
        },
        &why);
    if (!ok) *error = "cannot write " + Printable(path) + (why.empty() ? std::string() : ": " + why);
    return ok;
}

}  // namespace detail

int ApplicationMain(const Options& options, const LaunchFunction& launch) {
    if (g_running) {
        ConsoleLog("orbelline: the application is already running");
        return 1;
    }
    struct RunningGuard {
        RunningGuard() { g_running = true; }
        ~RunningGuard() { g_running = false; }
    } running;

    // Relative paths are taken from where the program started: the host
    // changes into the bundle directory later.
    const std::string startDir = CurrentDirectory();
    g_bundlePath = detail::ResolvePath(startDir, options.bundleDir.empty() ? "." : options.bundleDir);
    if (g_bundlePath.size() > 1 && g_bundlePath.back() == '/') g_bundlePath.pop_back();
    g_lastFrame = Frame{};
    detail::ForgetPendingFrame();

    std::unique_ptr<detail::Backend> backend =
        options.headless ? detail::MakeHeadlessBackend(options, startDir) : detail::MakeWindowBackend(options);
    std::string error;
    if (!backend->Open(&error)) {
        backend->Close();
        ConsoleLog("%s", error.c_str());
        return 1;
    }

    detail::RunLoop& loop = detail::RunLoop::Main();
    loop.BeginRun();
    detail::Backend* presenter = backend.get();
    std::vector<PresentTime> presents;
    if (options.stats) {
        detail::SetPresentObserver([&presents] {
            const auto now = std::chrono::steady_clock::now();
            const double cost =
                std::chrono::duration<double, std::milli>(now - detail::RunLoop::Main().FireStart()).count();
            presents.push_back({now, cost});
        });
    }
    if (backend->TakesEveryFrame()) {
        SetPresentHandler([presenter](const Frame& frame) {
            g_lastFrame.width = frame.width;
            g_lastFrame.height = frame.height;
            g_lastFrame.rgba.assign(frame.rgba.begin(), frame.rgba.end());
            presenter->Present(frame);
        });
    }

    auto view = std::make_unique<View>();
    view->Layer()->scale = std::clamp(options.scale, 1, kMaxScale);
    std::unique_ptr<AppDelegate> delegate = launch ? launch(view.get()) : nullptr;
    if (!delegate) {
        // The engine traced why; the refusal line says it too.
        const std::string why = Printable(eTraceFirstFailure());
        loop.Fail(1, "orbelline: the application could not start its view" + (why.empty() ? "" : ": " + why));
    } else {
        // The session outlives the delegate so the touches it holds are freed last.
        detail::AppSession session(view.get(), delegate.get());
        delegate->DidFinishLaunching();
        session.SetActive(true);
        if (!loop.Terminated() && view->Responder()) view->Responder()->LayoutSubviews();
        if (!loop.Terminated()) backend->Run(&session);
        delegate->WillTerminate();
        delegate.reset();
    }

    view.reset();
    SetPresentHandler(nullptr);
    detail::SetPresentObserver(nullptr);
    if (options.stats) PrintFrameStats(presents);
    int status = loop.Status();
    std::string failure = loop.FailureMessage();
    loop.Reset();
    *Accelerometer::Shared() = Accelerometer();
    *Device::Current() = Device();
    backend->Close();
    if (!failure.empty()) ConsoleLog("%s", failure.c_str());
    return status;
}

bool WritePngFile(const std::string& path, const Frame& frame, std::string* error) {
    return detail::WritePng(path, frame, error);
}

}  // namespace platform
