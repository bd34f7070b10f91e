// Subcommands of orbelline-asset. Each lives in its own file and is listed
// in the table of main.cpp.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace asset {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kToolName = "orbelline-asset";

// Runs a subcommand on the arguments that follow its name; returns the
// exit status.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* summary;  // one line for the tool's help
    CommandFn run;
};

int RunPack(const std::vector<std::string>& args);
int RunTexture(const std::vector<std::string>& args);
int RunFont(const std::vector<std::string>& args);
int RunModel(const std::vector<std::string>& args);

// "orbelline-asset: <where>: <what>" on stderr; returns kExitFailure.
inline int Fail(const std::string& where, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s\n", kToolName, where.c_str(), what.c_str());
    return kExitFailure;
}

// A usage error, with a pointer to the help of `command`; returns kExitUsage.
inline int UsageError(const std::string& command, const std::string& what) {
    std::fprintf(stderr, "%s: %s: %s (try '%s %s --help')\n", kToolName, command.c_str(), what.c_str(), kToolName,
                 command.c_str());
    return kExitUsage;
}

inline bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace asset
