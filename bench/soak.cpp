// A long headless run of the whole program on the simulated clock: a stroke
// and a shake every few hundred frames, resident memory read at fixed frame
// counts. Fails when the last reading has grown more than the tolerance above
// the first one (taken after the warm-up interval).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/EAGLView.h"
#include "app/OrbellineAppDelegate.h"
#include "platform/Platform.h"

namespace {

const char kUsage[] =
    "usage: soak [--frames N] [--every N] [--tolerance-kib N] [--scale N] [--bundle DIR]\n"
    "  --frames N         frames to run (default 1000000)\n"
    "  --every N          read the resident memory every N frames (default 100000)\n"
    "  --tolerance-kib N  allowed growth from the first reading to the last (default 1024)\n"
    "  --scale N          pixels per point (default 1)\n"
    "  --bundle DIR       application bundle (default: the build's bundle)\n";

constexpr int kFramesPerCycle = 300;
constexpr double kFrameSeconds = 1.0 / 60.0;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::string BuildBundle() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string(".");
    path = path.substr(0, path.rfind('/'));   // bin/
    path = path.substr(0, path.rfind('/'));   // the build
    return path + "/bundle";
}

}  // namespace

int main(int argc, char** argv) {
    long long frames = 1000000, every = 100000, toleranceKiB = 1024;
    platform::Options options;
    options.headless = true;
    options.fixedSeed = true;
    options.seed = 1700000000;
    options.bundleDir = BuildBundle();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](long long* out) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            *out = std::strtoll(argv[++i], &end, 10);
            return *end == '\0' && *out > 0;
        };
        long long scale = 1;
        bool ok = true;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--frames") {
            ok = number(&frames);
        } else if (a == "--every") {
            ok = number(&every);
        } else if (a == "--tolerance-kib") {
            ok = number(&toleranceKiB);
        } else if (a == "--scale") {
            ok = number(&scale) && scale <= 4;
            options.scale = static_cast<int>(scale);
        } else if (a == "--bundle" && i + 1 < argc) {
            options.bundleDir = argv[++i];
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "soak: bad argument %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }

    // Growth is measured between two readings at least.
    if (frames / every < 2) {
        std::fprintf(stderr,
                     "soak: --frames %lld with a reading every %lld frames gives fewer than two readings; "
                     "nothing would be checked\n",
                     frames, every);
        return 2;
    }

    // The script: one stroke and one shake per cycle, frames to the total.
    char scriptPath[] = "/tmp/orbelline-soak-XXXXXX";
    const int fd = mkstemp(scriptPath);
    if (fd < 0) {
        std::perror("soak: script");
        return 1;
    }
    {
        std::string text;
        for (long long done = 0; done < frames; done += kFramesPerCycle) {
            const long long left = frames - done;
            text += "down 1 120 200\nmove 1 150 230\nmove 1 190 260\nmove 1 210 300\nup 1\n";
            if (left > kFramesPerCycle) {
                text += "frames 100\nshake\nframes " + std::to_string(kFramesPerCycle - 100) + "\n";
            } else {
                text += "frames " + std::to_string(left) + "\n";
            }
        }
        if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            std::perror("soak: script");
            close(fd);
            unlink(scriptPath);
            return 1;
        }
        close(fd);
    }
    options.scriptPath = scriptPath;
    // A soak runs far longer than the hour a script may run for.
    options.scriptMaxSeconds = static_cast<double>(frames) * kFrameSeconds + 1.0;

    std::vector<long> readings;
    std::printf("soak: %lld frames at scale %d, resident memory every %lld frames\n", frames, options.scale, every);
    std::fflush(stdout);
    const int status = platform::ApplicationMain(options, [&](platform::View* view) -> std::unique_ptr<platform::AppDelegate> {
        std::unique_ptr<EAGLView> glView = EAGLView::initWithCoder(view);
        if (!glView) return nullptr;
        platform::ScheduleRepeatingTimer(static_cast<double>(every) * kFrameSeconds, [&readings, every] {
            readings.push_back(ResidentKiB());
            std::printf("soak: %9lld frames  %8ld KiB resident\n", static_cast<long long>(readings.size()) * every,
                        readings.back());
            std::fflush(stdout);
        });
        return std::make_unique<OrbellineAppDelegate>(view, std::move(glView));
    });
    unlink(scriptPath);
    if (status != 0) {
        std::fprintf(stderr, "soak: the program ended with status %d\n", status);
        return 1;
    }
    if (readings.size() < 2) {
        std::fprintf(stderr, "soak: fewer than two readings; nothing was checked\n");
        return 2;
    }
    const long growth = readings.back() - readings.front();
    std::printf("soak: first %ld KiB, last %ld KiB, growth %ld KiB (tolerance %lld KiB)\n", readings.front(),
                readings.back(), growth, toleranceKiB);
    if (growth > toleranceKiB) {
        std::printf("soak: FAILED: memory grew\n");
        return 1;
    }
    std::printf("soak: ok\n");
    return 0;
}
