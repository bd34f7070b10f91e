// The program as people run it, fingers and all: headless scripts whose
// stamps must land where the fingers were, at the scales a user can choose,
// and the window at its default scale rubbed with a real X pointer.
#include <gtest/gtest.h>
#include <png.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Have(const char* tool) { return Shell(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;  // top row first
    float Luma(int x, int y) const {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return 0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2];
    }
};

bool ReadPng(const std::string& path, Image* image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->rgba.assign(PNG_IMAGE_SIZE(png), 0);
    const bool ok = png_image_finish_read(&png, nullptr, image->rgba.data(), 0, nullptr) != 0;
    png_image_free(&png);
    return ok;
}

// A bundle with a copy of the built pack, and the program run in it.
class ProgramRun {
public:
    explicit ProgramRun(const std::string& name) {
        dir_ = ::testing::TempDir() + "orbelline_touch_" + std::to_string(getpid()) + "_" + name;
        Shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "/bundle/Data' '" + dir_ + "/out'");
        std::string app = ORBELLINE_APP;
        Shell("cp '" + app.substr(0, app.rfind("/bin/")) + "/bundle/Data/Orbelline.res.pak' '" + dir_ +
              "/bundle/Data/'");
    }
    ~ProgramRun() { Shell("rm -rf '" + dir_ + "'"); }
    std::string Command() const {
        return std::string("'") + ORBELLINE_APP + "' --bundle '" + dir_ + "/bundle' --out '" + dir_ + "/out'";
    }
    std::string Out(const std::string& file) const { return dir_ + "/out/" + file; }
    std::string Path(const std::string& file) const { return dir_ + "/" + file; }

private:
    std::string dir_;
};

// Where stamps may land, in portrait view points: along a finger's path. A
// brush stamp reaches about 16 points across the path and 36 along y.
struct Segment {
    float x0, y0, x1, y1;
};
constexpr float kReachX = 20, kReachY = 42;

// How far a point is from a segment, 1 at the brush's reach.
float Reach(const Segment& s, float x, float y) {
    float best = 1e9f;
    for (int i = 0; i <= 50; ++i) {
        const float t = i / 50.0f;
        const float dx = x - (s.x0 + (s.x1 - s.x0) * t), dy = y - (s.y0 + (s.y1 - s.y0) * t);
        best = std::min(best, std::max(std::fabs(dx) / kReachX, std::fabs(dy) / kReachY));
    }
    return best;
}

struct FingerCase {
    const char* what;
    std::string events;             // script lines between the two pictures
    std::vector<Segment> expected;  // every stamp lies along one of these, and each has stamps
};

std::string TenCancelsThenANewFinger() {
    std::string s;
    for (int id = 1; id <= 10; ++id) {
        s += "down " + std::to_string(id) + " 100 200\nmove " + std::to_string(id) + " 100 215\nframes 1\ncancel " +
             std::to_string(id) + "\n";
    }
    return s + "down 11 240 340\nmove 11 240 355\nframes 1\nup 11\n";
}

std::string ElevenFingersAtOnce() {
    std::string down = "down", up = "up";
    for (int id = 1; id <= 11; ++id) {
        down += " " + std::to_string(id) + " " + std::to_string(120 + 10 * id) + " 240";
        up += " " + std::to_string(id);
    }
    return down + "\nframes 1\n" + up + "\nframes 1\ndown 12 250 330\nup 12\n";
}

const std::vector<FingerCase>& FingerCases() {
    static const std::vector<FingerCase> cases = {
        {"two fingers down and up together", "down 1 120 200 2 220 300\nframes 1\nup 1 2\n", {{220, 300, 220, 300}}},
        {"one lifted while the other moves",
         "down 1 120 200\ndown 2 220 300\nframes 1\nup 1\nmove 2 220 320\nframes 1\nup 2\n",
         {{220, 300, 220, 320}}},
        {"a cancel, then a new finger elsewhere",
         "down 1 100 200\nmove 1 100 215\nframes 1\ncancel 1\nframes 1\ndown 2 240 340\nmove 2 240 355\nframes "
         "1\nup 2\n",
         {{100, 200, 100, 215}, {240, 340, 240, 355}}},
        {"ten cancels, then a new finger", TenCancelsThenANewFinger(), {{100, 200, 100, 215}, {240, 340, 240, 355}}},
        // Ten are recorded; the brush point is the tenth finger's.
        {"eleven fingers at once", ElevenFingersAtOnce(), {{220, 240, 220, 240}, {250, 330, 250, 330}}},
    };
    return cases;
}

class FingerScripts : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(FingerScripts, StampsLandWhereTheFingersWere) {
    const int scale = std::get<0>(GetParam());
    const FingerCase& c = FingerCases()[std::get<1>(GetParam())];
    SCOPED_TRACE(c.what);
    ProgramRun run("fingers_" + std::to_string(scale) + "_" + std::to_string(std::get<1>(GetParam())));
    std::ofstream(run.Path("f.script")) << "frames 3\npng before.png\n" << c.events << "frames 3\npng after.png\n";
    ASSERT_EQ(Shell(run.Command() + " --headless --scale " + std::to_string(scale) + " --seed 1700000000 --script '" +
                    run.Path("f.script") + "' 2>'" + run.Path("err") + "'"),
              0);
    Image before, after;
    ASSERT_TRUE(ReadPng(run.Out("before.png"), &before));
    ASSERT_TRUE(ReadPng(run.Out("after.png"), &after));
    ASSERT_EQ(after.width, 320 * scale);

    std::vector<int> near(c.expected.size(), 0);
    int stray = 0, strayX = 0, strayY = 0;
    for (int y = 0; y < after.height; ++y) {
        for (int x = 0; x < after.width; ++x) {
            if (after.Luma(x, y) - before.Luma(x, y) <= 20) continue;
            const float px = (x + 0.5f) / scale, py = (y + 0.5f) / scale;
            bool along = false;
            for (size_t i = 0; i < c.expected.size(); ++i) {
                if (Reach(c.expected[i], px, py) <= 1.0f) {
                    ++near[i];
                    along = true;
                }
            }
            if (!along && stray++ == 0) {
                strayX = static_cast<int>(px);
                strayY = static_cast<int>(py);
            }
        }
    }
    EXPECT_EQ(stray, 0) << "brightened where no finger was, first at (" << strayX << "," << strayY << ")";
    for (size_t i = 0; i < c.expected.size(); ++i) {
        const Segment& s = c.expected[i];
        EXPECT_GT(near[i], 100 * scale * scale) << "no stamp along (" << s.x0 << "," << s.y0 << ")-(" << s.x1 << ","
                                                << s.y1 << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FingerScripts,
                         ::testing::Combine(::testing::Values(1, 2), ::testing::Range(0, 5)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             return "Scale" + std::to_string(std::get<0>(info.param)) + "_Case" +
                                    std::to_string(std::get<1>(info.param));
                         });

// The window at its default scale, rubbed by a real pointer: X events from
// xdotool across the middle of the ball, then the program's own screenshot.
// Drags a real X pointer across the ball's middle in the window at `scale`
// (0: the default) and reads the window back: the rubbed band shows the
// answer, nothing below it does. Coordinates are those of scale 2, scaled.
void RubTheWindow(int scale) {
    const bool ci = std::getenv("CI") != nullptr;
    for (const char* tool : {"xvfb-run", "xdotool"}) {
        if (!Have(tool)) {
            if (ci) FAIL() << tool << " is not installed";
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    const int n = scale ? scale : 2;
    auto px = [n](int at2) { return at2 * n / 2; };
    ProgramRun run("window" + std::to_string(scale));
    // Landscape window pixels at scale 2: strokes from x 260 to 700 at y 270
    // to 370, across the ball's middle.
    std::string ys, xs;
    for (int y : {270, 290, 310, 330, 350, 370}) ys += " " + std::to_string(px(y));
    for (int x : {300, 340, 380, 420, 460, 500, 540, 580, 620, 660, 700}) xs += " " + std::to_string(px(x));
    std::ofstream(run.Path("drag.sh")) << "app_cmd=\"$1\"; shot=\"$2\"\n"
                                          "eval \"$app_cmd --window --quit-after 8 --screenshot '$shot'\" &\n"
                                          "pid=$!\n"
                                          "wid=$(xdotool search --sync --onlyvisible --name '^Orbelline$' | head -1)\n"
                                          "sleep 1\n"
                                          "for y in" << ys << "; do\n"
                                          "  xdotool mousemove --window \"$wid\" " << px(260) << " $y mousedown 1\n"
                                          "  for x in" << xs << "; do\n"
                                          "    xdotool mousemove --window \"$wid\" $x $y; sleep 0.03\n"
                                          "  done\n"
                                          "  xdotool mouseup 1\n"
                                          "done\n"
                                          "wait $pid\n";
    const std::string shot = run.Out("window.png");
    const std::string scaleOption = scale ? " --scale " + std::to_string(scale) : "";
    ASSERT_EQ(Shell("xvfb-run -a -s '-screen 0 1280x1024x24' sh '" + run.Path("drag.sh") + "' \"" + run.Command() +
                    scaleOption + "\" '" + shot + "' 2>'" + run.Path("err") + "'"),
              0);
    Image image;
    ASSERT_TRUE(ReadPng(shot, &image));
    ASSERT_EQ(image.width, 320 * n) << (scale ? "the chosen scale" : "the window's default scale is 2");
    // Portrait frame pixels of a landscape window pixel (X, Y): (Y, W - 1 - X).
    struct Area {
        double mean;
        int letters, backdrop;
    };
    auto measure = [&](int X0, int Y0, int X1, int Y1) {
        Area a{0, 0, 0};
        int count = 0;
        for (int Y = px(Y0); Y < px(Y1); ++Y) {
            for (int X = px(X0); X < px(X1); ++X) {
                const float l = image.Luma(Y, image.height - 1 - X);
                a.mean += l;
                a.letters += l < 128;
                a.backdrop += l > 180;
                ++count;
            }
        }
        a.mean /= count;
        return a;
    };
    const Area band = measure(260, 250, 700, 400);   // rubbed
    const Area below = measure(300, 440, 660, 500);  // not rubbed
    EXPECT_GT(band.mean, below.mean + 60) << "the rubbed band shows the light answer backdrop";
    EXPECT_GT(band.letters, 300 * n * n / 4) << "with the answer's dark letters in it";
    EXPECT_LT(below.backdrop, 20 * n * n / 4) << "and nothing shows below it";
    if (::testing::Test::HasFailure())
        Shell("cp '" + shot + "' '" + ::testing::TempDir() + "orbelline-window-rub-failed.png'");
}

TEST(WindowRub, ARealPointerRevealsTheAnswerAtTheDefaultScale) { RubTheWindow(0); }

TEST(WindowRub, ARealPointerRevealsTheAnswerAtScaleOne) { RubTheWindow(1); }

}  // namespace
