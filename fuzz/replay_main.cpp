// Feeds every file named on the command line, or every file in a folder
// named there, to a fuzz target once: the seed corpora replayed as a test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void runFile(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // A copy of exactly the file's size, so that reading past it is caught.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.data(), exact.size());
}

int main(int argc, char** argv) {
    std::set<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& e : fs::directory_iterator(argv[i]))
                if (e.is_regular_file()) files.insert(e.path());
        } else {
            files.insert(argv[i]);
        }
    }
    for (const auto& f : files) runFile(f);
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;  // an empty corpus means a wrong path, not a pass
}
