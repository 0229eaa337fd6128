// Rendering time against the number and size of parts: one message of
// PARTS attachments of SIZE bytes for each pair, rendered with its parts
// saved, beside Python's email package parsing it and writing the same
// parts, in the same run. Time per part stays flat when rendering is linear.
//   bench_render_scale [alone] [PARTSxSIZE ...]   default 1000x2048 10000x2048
//                                         100000x2048 100x204800 1000x204800
// With "alone" Python's side is skipped. "memory s" is the same rendering
// with the parts kept in memory: the renderer's own time, without the disk.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/msgrender.h"
#include "tests/mailbox/render_input.h"

namespace fs = std::filesystem;
using rendertest::readFile;
using rendertest::run;

namespace {

// Parts counted, not written.
class MemoryStore : public mailbox::TPartStore {
public:
    std::string Keep(const std::string& stem, const std::string& ext, std::string_view bytes) override {
        kept += bytes.size();
        return "/mem/" + stem + "_1" + ext;
    }
    std::string KeepTemp(const std::string& ext, std::string_view bytes) override { return Keep("kw64", ext, bytes); }
    size_t kept = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> runs;
    bool alone = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "alone") alone = true;
        else runs.push_back(argv[i]);
    }
    if (runs.empty()) runs = {"1000x2048", "10000x2048", "100000x2048", "100x204800", "1000x204800"};
    const std::string script = PWX_SOURCE_DIR "/bench/mailbox/render_python.py";
    helpers::homedir = PWX_SOURCE_DIR "/data/";
    const fs::path work = fs::temp_directory_path() / ("render-scale-" + std::to_string(::getpid()));
    std::printf("%8s %8s %9s  %10s %10s  %10s %10s  %10s %10s  %8s\n", "parts", "size", "MB", "memory s", "us/part",
                "renderer s", "us/part", "python s", "us/part", "speed-up");
    for (const std::string& r : runs) {
        long parts = 0, size = 0;
        if (std::sscanf(r.c_str(), "%ldx%ld", &parts, &size) != 2 || parts <= 0 || size <= 0) {
            std::fprintf(stderr, "not PARTSxSIZE: %s\n", r.c_str());
            return 2;
        }
        fs::remove_all(work);
        fs::create_directories(work / "prog");
        if (run("/usr/bin/python3 " + script + " scale '" + (work / "msgs").string() + "' " + std::to_string(parts) +
                " " + std::to_string(size)))
            return 1;
        const std::string data = readFile(work / "msgs" / "m0000.eml");
        mailbox::TRenderInput in;
        in.lines.SetText(data);
        in.From = "Sender";
        in.HdrFrom = "Sender <s@example.org>";
        in.folder = (work / "cpp").string();
        in.programFolder = (work / "prog").string() + "/";
        MemoryStore memory;
        mailbox::TRenderResult inMemory;
        const auto m0 = std::chrono::steady_clock::now();
        mailbox::BuildPage(in, memory, inMemory);
        const double mem = std::chrono::duration<double>(std::chrono::steady_clock::now() - m0).count();
        const auto t0 = std::chrono::steady_clock::now();
        const mailbox::TRenderResult res = mailbox::RenderMessage(in);
        const double cpp = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!res.ok || static_cast<long>(res.Saved.size()) != parts) {
            std::fprintf(stderr, "rendered %zu of %ld parts\n", res.Saved.size(), parts);
            return 1;
        }
        if (alone) {
            std::printf("%8ld %8ld %9.1f  %10.3f %10.2f  %10.3f %10.2f\n", parts, size,
                        static_cast<double>(data.size()) / 1e6, mem, mem * 1e6 / parts, cpp, cpp * 1e6 / parts);
            std::fflush(stdout);
            continue;
        }
        const std::string out = (work / "py.txt").string();
        if (run("/usr/bin/python3 " + script + " parse '" + (work / "msgs").string() + "' '" + (work / "py").string() +
                "' > '" + out + "'"))
            return 1;
        double py = 0;
        if (std::sscanf(readFile(out).c_str(), "%lf", &py) != 1) return 1;
        std::printf("%8ld %8ld %9.1f  %10.3f %10.2f  %10.3f %10.2f  %10.3f %10.2f  %7.2fx\n", parts, size,
                    static_cast<double>(data.size()) / 1e6, mem, mem * 1e6 / parts, cpp, cpp * 1e6 / parts, py,
                    py * 1e6 / parts, py / cpp);
        std::fflush(stdout);
    }
    fs::remove_all(work);
    return 0;
}
