// orbelline-asset: prepares the application's data files.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/asset/Commands.h"

namespace {

const asset::Command kCommands[] = {
    {"pack", "create, list and extract resource packs", asset::RunPack},
    {"texture", "decode an image as the engine does: info and dump", asset::RunTexture},
    {"font", "build a prepared font atlas and glyph table from a TrueType font", asset::RunFont},
    {"model", "models: info, convert to 3DX, render to PNG, build procedural ones", asset::RunModel},
};

void PrintHelp(FILE* out) {
    std::fprintf(out, "usage: %s COMMAND [ARGS...]\n\ncommands:\n", asset::kToolName);
    for (const asset::Command& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'%s COMMAND --help' describes a command.\n", asset::kToolName);
}

}  // namespace

int Run(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (args.empty()) {
        PrintHelp(stderr);
        return asset::kExitUsage;
    }
    if (asset::IsHelp(args[0])) {
        PrintHelp(stdout);
        return asset::kExitOk;
    }
    for (const asset::Command& c : kCommands) {
        if (args[0] == c.name) return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::fprintf(stderr, "%s: unknown command \"%s\" (try '%s --help')\n", asset::kToolName, args[0].c_str(),
                 asset::kToolName);
    return asset::kExitUsage;
}

// Whatever a command throws (a stream or an allocation failing on a strange
// input) ends as one line and status 1, never as an abort.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", asset::kToolName, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected failure\n", asset::kToolName);
    }
    return asset::kExitFailure;
}
