// The headless backend: no window, a simulated clock and scripted input. Time
// moves only when timers fire or the script waits, so a script gives the same
// frames on every run.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/Files.h"
#include "platform/RunLoop.h"
#include "platform/Script.h"
#include "engine/world/Clock.h"

namespace platform {
namespace detail {

namespace {

constexpr int64_t kDefaultEpoch = 1700000000;
constexpr int kDefaultFrames = 120;
// Far above any hand-written script; keeps a wrong file from filling memory.
constexpr uint64_t kMaxScriptBytes = 1u << 20;
// Keeps epoch + elapsed seconds inside int64.
constexpr int64_t kMaxEpoch = std::numeric_limits<int64_t>::max() / 2;
constexpr int64_t kMinEpoch = std::numeric_limits<int64_t>::min() / 2;

int64_t g_epochSeconds = kDefaultEpoch;

eCLOCK_TIME SimulatedClock() {
    int64_t us = RunLoop::Main().Now() / 1000;
    return eCLOCK_TIME{g_epochSeconds + us / 1000000, static_cast<int32_t>(us % 1000000)};
}

std::vector<TouchTracker::Change> Changes(const ScriptCommand& cmd) {
    std::vector<TouchTracker::Change> changes;
    for (const ScriptFinger& f : cmd.fingers) changes.push_back({f.id, f.hasPosition, f.position});
    return changes;
}

class HeadlessBackend : public Backend {
public:
    HeadlessBackend(const Options& options, const std::string& startDir)
        : options_(options),
          outputDir_(options.outputDir.empty() ? startDir : ResolvePath(startDir, options.outputDir)),
          scriptPath_(options.scriptPath.empty() ? std::string() : ResolvePath(startDir, options.scriptPath)) {}
    ~HeadlessBackend() override { Close(); }

    bool Open(std::string* error) override {
        if (!LoadScript(error)) return false;
        int64_t epoch = options_.fixedSeed ? options_.seed : kDefaultEpoch;
        g_epochSeconds = std::min(std::max(epoch, kMinEpoch), kMaxEpoch);
        previousClock_ = eSetClock(&SimulatedClock);
        clockInstalled_ = true;
        return true;
    }

    // Frames are read back only when a `png` line or the caller asks.
    bool TakesEveryFrame() const override { return false; }
    void Present(const Frame&) override {}

    void Run(AppSession* session) override {
        RunLoop& loop = RunLoop::Main();
        for (const ScriptCommand& cmd : commands_) {
            if (loop.Terminated()) break;
            Execute(session, cmd);
        }
        loop.RequestTermination(0);
    }

    void Close() override {
        if (clockInstalled_) {
            eSetClock(previousClock_);
            clockInstalled_ = false;
        }
    }

private:
    bool LoadScript(std::string* error) {
        if (options_.scriptPath.empty()) {
            ScriptCommand frames;
            frames.op = ScriptOp::kFrames;
            frames.count = kDefaultFrames;
            ScriptCommand png;
            png.op = ScriptOp::kPng;
            png.path = "frame.png";
            commands_ = {frames, png};
            return true;
        }
        std::string text, why;
        if (!ReadRegularFile(scriptPath_, kMaxScriptBytes, &text, &why)) {
            *error = "orbelline: " + Printable(options_.scriptPath) + ": cannot read the script: " + why;
            return false;
        }
        ScriptError parseError;
        if (!ParseScript(text, &commands_, &parseError)) {
            *error = FormatScriptError(options_.scriptPath, parseError.line, parseError.message);
            return false;
        }
        return true;
    }

    void Fail(const ScriptCommand& cmd, const std::string& message) {
        RunLoop::Main().Fail(1, FormatScriptError(options_.scriptPath, cmd.line, message));
    }

    void Execute(AppSession* session, const ScriptCommand& cmd) {
        RunLoop& loop = RunLoop::Main();
        TouchTracker& touches = session->Touches();
        switch (cmd.op) {
            case ScriptOp::kDown: touches.Began(Changes(cmd)); break;
            case ScriptOp::kMove: touches.Moved(Changes(cmd)); break;
            case ScriptOp::kUp: touches.Ended(Changes(cmd)); break;
            case ScriptOp::kCancel: touches.Cancelled(Changes(cmd)); break;
            case ScriptOp::kAccel: loop.Accel().SetRest(Reading{cmd.x, cmd.y, cmd.z}); break;
            case ScriptOp::kShake: loop.Accel().StartShake(loop.Now()); break;
            case ScriptOp::kOrientation: Device::Current()->SetOrientation(static_cast<int>(cmd.count)); break;
            case ScriptOp::kResign: session->SetActive(false); break;
            case ScriptOp::kBecome: session->SetActive(true); break;
            case ScriptOp::kFrames: RunFrames(cmd); break;
            case ScriptOp::kSeconds: RunFor(SecondsToNanos(cmd.seconds)); break;
            case ScriptOp::kPng: {
                // Folders are made only inside the output directory: a
                // script does not create folders elsewhere on the machine.
                const std::string target = ResolvePath(outputDir_, cmd.path);
                const std::filesystem::path folder = std::filesystem::path(target).parent_path();
                std::error_code ec;
                if (std::filesystem::path(cmd.path).is_relative()) std::filesystem::create_directories(folder, ec);
                std::string error;
                if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
                    Fail(cmd, "png: no folder " + Printable(folder.string()));
                else if (!WritePng(target, LastPresentedFrame(), &error))
                    Fail(cmd, "png: " + error);
                break;
            }
            case ScriptOp::kQuit: loop.RequestTermination(0); break;
        }
    }

    void RunFrames(const ScriptCommand& cmd) {
        RunLoop& loop = RunLoop::Main();
        for (int64_t ticks = 0; ticks < cmd.count && !loop.Terminated();) {
            // Without a timer no tick can ever come.
            if (!loop.HasValidTimer()) {
                Fail(cmd, "frames: no timer is running");
                return;
            }
            if (loop.DeliverNext(kNever, true) == RunLoop::Delivered::kTimer) ++ticks;
        }
    }

    void RunFor(Nanos duration) {
        RunLoop& loop = RunLoop::Main();
        const Nanos end = loop.Now() + duration;
        while (!loop.Terminated() && loop.DeliverNext(end, true) != RunLoop::Delivered::kNothing) {
        }
        if (!loop.Terminated()) loop.SetNow(end);
    }

    Options options_;
    std::string outputDir_;
    std::string scriptPath_;
    std::vector<ScriptCommand> commands_;
    PFN_CLOCK previousClock_ = nullptr;
    bool clockInstalled_ = false;
};

}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend(const Options& options, const std::string& startDir) {
    return std::make_unique<HeadlessBackend>(options, startDir);
}

}  // namespace detail
}  // namespace platform
