// The headless input script parser over arbitrary text.
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/Script.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<platform::ScriptCommand> commands;
    platform::ScriptError error;
    if (platform::ParseScript(text, &commands, &error)) {
        int line = 0;
        std::set<int64_t> down;  // the fingers the script has down so far
        for (const platform::ScriptCommand& c : commands) {
            // Commands come in script order, each with the line it was on.
            FUZZ_CHECK(c.line >= line && c.line >= 1);
            line = c.line;
            switch (c.op) {
                case platform::ScriptOp::kDown:
                case platform::ScriptOp::kMove:
                case platform::ScriptOp::kUp:
                case platform::ScriptOp::kCancel:
                    FUZZ_CHECK(!c.fingers.empty());
                    for (const platform::ScriptFinger& f : c.fingers) {
                        FUZZ_CHECK(f.id >= 0 && f.id <= 2147483647);
                        FUZZ_CHECK(std::isfinite(f.position.x) && std::isfinite(f.position.y));
                        // Only a finger that is up goes down; only one that is down
                        // moves, lifts or is cancelled.
                        FUZZ_CHECK((down.count(f.id) != 0) == (c.op != platform::ScriptOp::kDown));
                    }
                    for (const platform::ScriptFinger& f : c.fingers) {
                        if (c.op == platform::ScriptOp::kDown) down.insert(f.id);
                        if (c.op == platform::ScriptOp::kUp || c.op == platform::ScriptOp::kCancel) down.erase(f.id);
                    }
                    break;
                case platform::ScriptOp::kAccel:
                    for (double g : {c.x, c.y, c.z}) FUZZ_CHECK(std::isfinite(g));
                    break;
                case platform::ScriptOp::kFrames: FUZZ_CHECK(c.count >= 0 && c.count <= 1000000); break;
                case platform::ScriptOp::kOrientation: FUZZ_CHECK(c.count >= 0 && c.count <= 6); break;
                case platform::ScriptOp::kSeconds: FUZZ_CHECK(c.seconds >= 0 && c.seconds <= 86400); break;
                case platform::ScriptOp::kPng: FUZZ_CHECK(!c.path.empty()); break;
                default: break;
            }
        }
    } else {
        FUZZ_CHECK(error.line >= 1);
        FUZZ_CHECK(!error.message.empty());
        platform::FormatScriptError("fuzz.script", error.line, error.message);
    }
    return 0;
}
