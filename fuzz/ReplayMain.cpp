// Feeds every file of the given folders (or the given files) to a fuzz
// target's entry point once, without libFuzzer: the normal test run replays
// the checked-in regression inputs and the seed corpora this way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional, as under libFuzzer.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::printf("usage: %s FOLDER-OR-FILE...\n"
                    "Feeds every file of the folders (and the files) to the fuzz target once, in\n"
                    "name order, without libFuzzer.\n",
                    argv[0]);
        return 0;
    }
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        const fs::path arg(argv[i]);
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::recursive_directory_iterator(arg, ec))
                if (entry.is_regular_file(ec)) inputs.push_back(entry.path());
        } else if (fs::is_regular_file(arg, ec)) {
            inputs.push_back(arg);
        } else {
            // A target without regressions yet has no folder.
            std::printf("%s: not there, skipped\n", argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An empty input still gets a valid pointer, as under libFuzzer.
        static const uint8_t kEmpty = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &kEmpty : reinterpret_cast<const uint8_t*>(bytes.data()),
                               bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
