#include "platform/Script.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/Files.h"

namespace platform {

namespace {

constexpr int64_t kMaxFingerId = 2147483647;
constexpr int64_t kMaxFrames = 1000000;
constexpr double kMaxSeconds = 86400.0;
constexpr double kMaxCoordinate = 1.0e6;
constexpr double kViewWidth = 320.0;
constexpr double kViewHeight = 480.0;
constexpr double kMaxG = 100.0;
constexpr size_t kMaxLineBytes = 1024;
// Two hands and a margin: more than a touch screen reports, and it bounds
// the fingers of every event, since an event names only fingers that are down.
constexpr size_t kMaxFingersDown = 20;

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool ParseInteger(const std::string& word, int64_t* out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    *out = v;
    return true;
}

bool ParseNumber(const std::string& word, double* out) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (errno == ERANGE || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

std::string Quoted(const std::string& word) { return "\"" + word + "\""; }

// A script is text: a control byte (a NUL would cut a word short) or a line
// far longer than any command is a mistake, not something to guess around.
// The line bound also bounds the fingers of one event.
bool CheckLine(const std::string& line, ScriptError* error) {
    if (line.size() > kMaxLineBytes) {
        error->message = "line is longer than " + std::to_string(kMaxLineBytes) + " bytes";
        return false;
    }
    for (unsigned char c : line) {
        if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x", c);
            error->message = std::string("control byte ") + hex + " in the line";
            return false;
        }
    }
    return true;
}

class LineParser {
public:
    LineParser(std::set<int64_t>* down, ScriptError* error) : down_(down), error_(error) {}

    bool Parse(int lineNo, const std::vector<std::string>& words, ScriptCommand* cmd) {
        cmd->line = lineNo;
        const std::string& name = words[0];
        args_.assign(words.begin() + 1, words.end());
        if (name == "down") return ParseTouches(cmd, ScriptOp::kDown, name);
        if (name == "move") return ParseTouches(cmd, ScriptOp::kMove, name);
        if (name == "up") return ParseUp(cmd);
        if (name == "cancel") return ParseCancel(cmd);
        if (name == "accel") {
            cmd->op = ScriptOp::kAccel;
            if (args_.size() != 3) return Fail("accel: expected X Y Z");
            double* out[3] = {&cmd->x, &cmd->y, &cmd->z};
            for (int i = 0; i < 3; ++i) {
                if (!ParseNumber(args_[i], out[i])) return Fail("accel: bad number " + Quoted(args_[i]));
                if (std::fabs(*out[i]) > kMaxG) return Fail("accel: " + args_[i] + " g is out of range");
            }
            return true;
        }
        if (name == "orientation") {
            cmd->op = ScriptOp::kOrientation;
            if (args_.size() != 1 || !ParseInteger(args_[0], &cmd->count) || cmd->count < 0 || cmd->count > 6)
                return Fail("orientation: expected a number from 0 to 6");
            return true;
        }
        if (name == "frames") {
            cmd->op = ScriptOp::kFrames;
            if (args_.size() != 1 || !ParseInteger(args_[0], &cmd->count) || cmd->count < 0 ||
                cmd->count > kMaxFrames)
                return Fail("frames: expected a count from 0 to 1000000");
            return true;
        }
        if (name == "seconds") {
            cmd->op = ScriptOp::kSeconds;
            if (args_.size() != 1 || !ParseNumber(args_[0], &cmd->seconds) || cmd->seconds < 0 ||
                cmd->seconds > kMaxSeconds)
                return Fail("seconds: expected a time from 0 to 86400");
            return true;
        }
        if (name == "png") {
            cmd->op = ScriptOp::kPng;
            if (args_.size() != 1) return Fail("png: expected one PATH (without blanks)");
            cmd->path = args_[0];
            // Folders are made only inside the output directory, and a
            // relative PATH stays inside it.
            const std::filesystem::path path = std::filesystem::path(cmd->path).lexically_normal();
            if (path.is_relative() && (path.empty() || *path.begin() == ".."))
                return Fail("png: " + cmd->path + " leaves the output directory");
            return true;
        }
        static const struct {
            const char* name;
            ScriptOp op;
        } kBare[] = {{"shake", ScriptOp::kShake},
                     {"resign", ScriptOp::kResign},
                     {"become", ScriptOp::kBecome},
                     {"quit", ScriptOp::kQuit}};
        for (const auto& bare : kBare) {
            if (name == bare.name) {
                cmd->op = bare.op;
                if (!args_.empty()) return Fail(name + ": takes no arguments");
                return true;
            }
        }
        return Fail("unknown command " + Quoted(name));
    }

private:
    bool Fail(const std::string& message) {
        error_->message = message;
        return false;
    }

    bool ParseId(const std::string& command, const std::string& word, int64_t* id) {
        if (!ParseInteger(word, id) || *id < 0 || *id > kMaxFingerId)
            return Fail(command + ": bad finger id " + Quoted(word));
        return true;
    }

    bool ParsePoint(const std::string& command, const std::string& wx, const std::string& wy, Point* p) {
        double x = 0, y = 0;
        if (!ParseNumber(wx, &x)) return Fail(command + ": bad number " + Quoted(wx));
        if (!ParseNumber(wy, &y)) return Fail(command + ": bad number " + Quoted(wy));
        // A finger comes down on the view; once down it may slide past the
        // view's edges, as it can on the device, but not without bound.
        if (command == "down" ? (x < 0 || y < 0 || x > kViewWidth || y > kViewHeight)
                              : (std::fabs(x) > kMaxCoordinate || std::fabs(y) > kMaxCoordinate))
            return Fail(command + ": point " + wx + " " + wy +
                        (command == "down" ? " is outside the view (320 x 480 points)" : " is out of range"));
        *p = Point{static_cast<float>(x), static_cast<float>(y)};
        return true;
    }

    // Checks the finger's state and that the line names it once.
    bool Claim(const std::string& command, int64_t id, bool mustBeDown, std::set<int64_t>* seen) {
        if (!seen->insert(id).second) return Fail(command + ": finger " + std::to_string(id) + " appears twice");
        bool isDown = down_->count(id) != 0;
        if (mustBeDown && !isDown) return Fail(command + ": finger " + std::to_string(id) + " is not down");
        if (!mustBeDown && isDown) return Fail(command + ": finger " + std::to_string(id) + " is already down");
        return true;
    }

    bool ParseTouches(ScriptCommand* cmd, ScriptOp op, const std::string& name) {
        cmd->op = op;
        if (args_.empty() || args_.size() % 3 != 0) return Fail(name + ": expected ID X Y for each finger");
        std::set<int64_t> seen;
        for (size_t i = 0; i < args_.size(); i += 3) {
            ScriptFinger f;
            if (!ParseId(name, args_[i], &f.id)) return false;
            if (!ParsePoint(name, args_[i + 1], args_[i + 2], &f.position)) return false;
            if (!Claim(name, f.id, op == ScriptOp::kMove, &seen)) return false;
            f.hasPosition = true;
            cmd->fingers.push_back(f);
        }
        if (op == ScriptOp::kDown) {
            if (down_->size() + cmd->fingers.size() > kMaxFingersDown)
                return Fail("down: more than " + std::to_string(kMaxFingersDown) + " fingers would be down at once");
            for (const auto& f : cmd->fingers) down_->insert(f.id);
        }
        return true;
    }

    bool ParseUp(ScriptCommand* cmd) {
        cmd->op = ScriptOp::kUp;
        if (args_.empty()) return Fail("up: expected at least one finger");
        std::set<int64_t> seen;
        size_t i = 0;
        while (i < args_.size()) {
            ScriptFinger f;
            if (!ParseId("up", args_[i], &f.id)) return false;
            if (!Claim("up", f.id, true, &seen)) return false;
            ++i;
            if (i < args_.size() && !StartsNextFinger(args_[i], seen)) {
                if (i + 1 >= args_.size()) return Fail("up: finger " + std::to_string(f.id) + " needs both X and Y");
                if (!ParsePoint("up", args_[i], args_[i + 1], &f.position)) return false;
                f.hasPosition = true;
                i += 2;
            }
            cmd->fingers.push_back(f);
        }
        for (const auto& f : cmd->fingers) down_->erase(f.id);
        return true;
    }

    bool StartsNextFinger(const std::string& word, const std::set<int64_t>& seen) const {
        int64_t id = 0;
        return ParseInteger(word, &id) && down_->count(id) != 0 && seen.count(id) == 0;
    }

    bool ParseCancel(ScriptCommand* cmd) {
        cmd->op = ScriptOp::kCancel;
        if (args_.empty()) return Fail("cancel: expected at least one finger");
        std::set<int64_t> seen;
        for (const auto& word : args_) {
            ScriptFinger f;
            if (!ParseId("cancel", word, &f.id)) return false;
            if (!Claim("cancel", f.id, true, &seen)) return false;
            cmd->fingers.push_back(f);
        }
        for (const auto& f : cmd->fingers) down_->erase(f.id);
        return true;
    }

    std::set<int64_t>* down_;
    ScriptError* error_;
    std::vector<std::string> args_;
};

}  // namespace

bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, ScriptError* error,
                 double maxSeconds) {
    commands->clear();
    double simulated = 0;  // seconds, frames counted at kScriptFrameSeconds
    std::set<int64_t> down;
    ScriptError scratch;
    ScriptError* err = error ? error : &scratch;
    LineParser parser(&down, err);
    int lineNo = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        ++lineNo;
        const std::string line = text.substr(pos, end - pos);
        if (!CheckLine(line, err)) {
            err->line = lineNo;
            commands->clear();
            return false;
        }
        std::vector<std::string> words = SplitWords(line);
        if (!words.empty()) {
            ScriptCommand cmd;
            if (!parser.Parse(lineNo, words, &cmd)) {
                err->line = lineNo;
                commands->clear();
                return false;
            }
            if (cmd.op == ScriptOp::kFrames) simulated += static_cast<double>(cmd.count) * kScriptFrameSeconds;
            if (cmd.op == ScriptOp::kSeconds) simulated += cmd.seconds;
            if (simulated > maxSeconds) {
                char limit[32];
                std::snprintf(limit, sizeof limit, "%g", maxSeconds);
                err->line = lineNo;
                err->message = words[0] + ": the script would run for more than " + limit +
                               " simulated seconds (frames at 60 a second)";
                commands->clear();
                return false;
            }
            commands->push_back(std::move(cmd));
        }
        pos = end + 1;
    }
    return true;
}

std::string FormatScriptError(const std::string& scriptName, int line, const std::string& message) {
    if (scriptName.empty()) return "orbelline: " + Printable(message);
    return "orbelline: " + Printable(scriptName) + ":" + std::to_string(line) + ": " + Printable(message);
}

}  // namespace platform
