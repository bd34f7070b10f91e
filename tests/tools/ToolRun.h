// Running a built command-line tool as a user would, for the tool tests:
// status, standard output and standard error captured.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace tooltest {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Runs `program` (looked up on PATH when it has no slash) with `args`; the
// streams go through files in `scratch`, removed afterwards. Variables named
// in `dropEnv` are left out of its environment.
inline Result Spawn(const std::string& program, const std::vector<std::string>& args,
                    const std::filesystem::path& scratch, const std::vector<std::string>& dropEnv = {}) {
    const std::filesystem::path outPath = scratch / ".stdout", errPath = scratch / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        bool dropped = false;
        for (const std::string& d : dropEnv) dropped = dropped || s.rfind(d + "=", 0) == 0;
        if (!dropped) envStrings.push_back(s);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    Result r;
    pid_t pid;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0) << "cannot run " << program;
    if (rc != 0) return r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return r;
}

}  // namespace tooltest
