// orbelline: the crystal-ball application, in a window or headless.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/EAGLView.h"
#include "app/OrbellineAppDelegate.h"
#include "engine/world/ResPacker.h"
#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

constexpr uint64_t kMaxPackBytes = eRES_PACKER_MAX_FILE;

const char kUsage[] =
    "usage: orbelline [--headless] [--script FILE] [--scale N] [--seed N]\n"
    "                 [--bundle DIR] [--out DIR] [--quit-after S]\n"
    "                 [--screenshot FILE] [--stats] [--help]\n"
    "\n"
    "Runs the crystal ball in a window (the phone held in landscape), or headless\n"
    "on a simulated clock with input from a script.\n"
    "\n"
    "  --headless     no window: render off-screen (the default without a display)\n"
    "  --window       force the window\n"
    "  --script FILE  headless input script (see the README, \"Headless scripts\")\n"
    "  --scale N      pixels per point (headless default 1, window default 2)\n"
    "  --seed N       start the simulated clock at N seconds; the random answers\n"
    "                 are seeded from that clock, so runs repeat exactly\n"
    "  --bundle DIR   application bundle (holds Data/); default: build/bundle\n"
    "  --out DIR      where headless PNGs go (default: the current directory)\n"
    "  --quit-after S terminate after S seconds (real time in the window,\n"
    "                 simulated headless); with --screenshot FILE the last\n"
    "                 frame is written there first\n"
    "  --screenshot FILE  the PNG written by --quit-after\n"
    "  --stats        at the end, print frames per second and the median (p50)\n"
    "                 and 99th percentile (p99) intervals between frames, in\n"
    "                 real time\n"
    "  --help         this text\n";

bool ParseInt(const char* text, long long min, long long max, long long* out) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (!text[0] || *end || v < min || v > max) return false;
    *out = v;
    return true;
}

std::string DefaultBundle(const char* argv0) {
    // The build puts the bundle beside bin/: <build>/bundle.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string(argv0);
    size_t slash = path.rfind('/');
    std::string binDir = slash == std::string::npos ? "." : path.substr(0, slash);
    slash = binDir.rfind('/');
    std::string buildDir = slash == std::string::npos ? "." : binDir.substr(0, slash);
    return buildDir + "/bundle";
}

// A bundle the program cannot use is refused before anything starts, so that
// nothing outside it (another pack, another log) is ever touched.
bool CheckBundle(const std::string& dir, std::string* why) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = "is not a directory";
        return false;
    }
    if (access(dir.c_str(), R_OK | X_OK) != 0) {
        *why = std::string("cannot enter the bundle: ") + std::strerror(errno);
        return false;
    }
    std::string packWhy;
    FILE* pack = platform::OpenRegularFile(dir + "/" + EAGLView::kPackPath, kMaxPackBytes, &packWhy);
    if (!pack) {
        *why = std::string(EAGLView::kPackPath) + ": " + packWhy;
        return false;
    }
    // Every entry whole, or the pack is named as damaged rather than the
    // first entry the program happens to look up in it.
    struct stat packStat {};
    char damage[512] = "";
    const bool whole = fstat(fileno(pack), &packStat) == 0 &&
                       eSUCCEEDED(eResPackerWalk(pack, static_cast<uint64_t>(packStat.st_size), nullptr, nullptr,
                                                 damage, sizeof damage));
    std::fclose(pack);
    if (!whole) {
        *why = std::string(EAGLView::kPackPath) + ": the pack is damaged (" + damage + ")";
        return false;
    }
    return true;
}

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof(cwd))) return path;
    return std::string(cwd) + "/" + path;
}

}  // namespace

int main(int argc, char** argv) {
    platform::Options options;
    bool forceWindow = false, forceHeadless = false;
    long long scale = 0;
    double quitAfter = 0;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orbelline: %s needs a value\n%s", name, kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--headless") {
            forceHeadless = true;
        } else if (a == "--window") {
            forceWindow = true;
        } else if (a == "--script") {
            options.scriptPath = Absolute(value("--script"));
            forceHeadless = true;
        } else if (a == "--scale") {
            const char* v = value("--scale");
            if (!ParseInt(v, 1, 4, &scale)) {
                std::fprintf(stderr, "orbelline: --scale must be 1 to 4, not \"%s\"\n", v);
                return 2;
            }
        } else if (a == "--seed") {
            const char* v = value("--seed");
            long long seed = 0;
            if (!ParseInt(v, 1, 4000000000LL, &seed)) {
                std::fprintf(stderr, "orbelline: --seed must be a positive number of seconds, not \"%s\"\n", v);
                return 2;
            }
            options.fixedSeed = true;
            options.seed = seed;
        } else if (a == "--bundle") {
            options.bundleDir = Absolute(value("--bundle"));
        } else if (a == "--quit-after") {
            const char* v = value("--quit-after");
            char* end = nullptr;
            quitAfter = std::strtod(v, &end);
            if (!*v || *end || !(quitAfter > 0) || quitAfter > 86400) {
                std::fprintf(stderr, "orbelline: --quit-after must be a number of seconds, not \"%s\"\n", v);
                return 2;
            }
        } else if (a == "--screenshot") {
            screenshot = Absolute(value("--screenshot"));
        } else if (a == "--stats") {
            options.stats = true;
        } else if (a == "--out") {
            options.outputDir = Absolute(value("--out"));
        } else {
            std::fprintf(stderr, "orbelline: unknown option \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (forceWindow && forceHeadless) {
        std::fprintf(stderr, "orbelline: --window cannot go with --headless or --script\n");
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    bool hasDisplay = (display && *display) || (wayland && *wayland);
    options.headless = forceHeadless || (!forceWindow && !hasDisplay);
    options.scale = static_cast<int>(scale ? scale : (options.headless ? 1 : 2));
    if (options.bundleDir.empty()) options.bundleDir = DefaultBundle(argv[0]);
    std::string bundleWhy;
    if (!CheckBundle(options.bundleDir, &bundleWhy)) {
        std::fprintf(stderr, "orbelline: %s: %s\n", platform::Printable(options.bundleDir).c_str(), bundleWhy.c_str());
        return 1;
    }

    if (!screenshot.empty() && quitAfter <= 0) {
        std::fprintf(stderr, "orbelline: --screenshot goes with --quit-after\n");
        return 2;
    }

    bool screenshotFailed = false;
    int status = platform::ApplicationMain(options, [&](platform::View* view) -> std::unique_ptr<platform::AppDelegate> {
        std::unique_ptr<EAGLView> glView = EAGLView::initWithCoder(view);
        if (!glView) return nullptr;
        if (quitAfter > 0) {
            platform::ScheduleRepeatingTimer(quitAfter, [&screenshot, &screenshotFailed] {
                if (!screenshot.empty()) {
                    std::string error;
                    if (!platform::WritePngFile(screenshot, platform::LastPresentedFrame(), &error)) {
                        std::fprintf(stderr, "orbelline: %s\n", error.c_str());
                        screenshotFailed = true;
                    }
                }
                platform::RequestTermination(0);
            });
        }
        return std::make_unique<OrbellineAppDelegate>(view, std::move(glView));
    });
    if (status == 0 && screenshotFailed) return 1;
    return status;
}
