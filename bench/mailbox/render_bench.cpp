// Renders 1,000 generated messages (plain, alternative, inline pictures,
// attachments; 1 KB to 5 MB) to pages with their parts, and has Python's
// email package parse the same messages and write the same parts, in the
// same run. Prints messages/s and MB/s of each.
//   bench_render [COUNT, default 1000] [WORKDIR, default a temporary folder] [keep]
// With "keep" the messages in WORKDIR are made once and kept, and Python's
// side is skipped: the renderer alone, for profiling and quick comparisons.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "app/memtune.h"
#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/msgrender.h"
#include "tests/mailbox/render_input.h"

namespace fs = std::filesystem;

namespace {

using rendertest::readFile;
using rendertest::run;


}  // namespace

int main(int argc, char** argv) {
    app::TuneMemory();
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / ("render-bench-" + std::to_string(::getpid()));
    const std::string script = PWX_SOURCE_DIR "/bench/mailbox/render_python.py";
    const bool keep = argc > 3 && std::string(argv[3]) == "keep";
    helpers::homedir = PWX_SOURCE_DIR "/data/";
    if (!keep || !fs::exists(work / "msgs")) {
        fs::remove_all(work);
        fs::create_directories(work);
        std::printf("making %d messages in %s\n", count, work.c_str());
        std::fflush(stdout);
        if (run("/usr/bin/python3 " + script + " make '" + (work / "msgs").string() + "' " + std::to_string(count)))
            return 1;
    }
    fs::remove_all(work / "cpp");
    fs::remove_all(work / "prog");
    fs::create_directories(work / "prog");

    // The messages as the POP3 client hands them over: lines in memory.
    std::vector<mailbox::TRenderInput> inputs;
    int64_t bytes = 0;
    for (const auto& e : fs::directory_iterator(work / "msgs")) {
        const std::string data = readFile(e.path());
        bytes += static_cast<int64_t>(data.size());
        mailbox::TRenderInput in;
        in.lines.SetText(data);
        for (int i = 0; i < in.lines.Count() && !in.lines[i].empty(); ++i) {
            const std::string& l = in.lines[i];
            if (l.rfind("From: ", 0) == 0) in.HdrFrom = l.substr(6);
            else if (l.rfind("To: ", 0) == 0) in.HdrTo = l.substr(4);
            else if (l.rfind("Date: ", 0) == 0) in.HdrDate = l.substr(6);
            else if (l.rfind("Subject: ", 0) == 0) in.HdrSubject = l.substr(9);
        }
        std::string cs;
        in.From = mailbox::DecodeEncodedWords(in.HdrFrom, true, cs);
        in.folder = (work / "cpp").string();
        in.programFolder = (work / "prog").string() + "/";
        inputs.push_back(std::move(in));
    }

    size_t problems = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (const auto& in : inputs) {
        const mailbox::TRenderResult r = mailbox::RenderMessage(in);
        if (!r.ok) {
            std::fprintf(stderr, "not rendered: %s\n", in.HdrSubject.c_str());
            return 1;
        }
        problems += r.problems.size();
    }
    const double cpp = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double mb = static_cast<double>(bytes) / 1e6;
    if (keep) {
        std::printf("%zu messages, %.1f MB (%zu problems reported)\n", inputs.size(), mb, problems);
        std::printf("renderer       %8.3f s  %9.1f messages/s  %8.1f MB/s  (%.3f s processor time)\n", cpp,
                    inputs.size() / cpp, mb / cpp, static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
        return 0;
    }

    const std::string out = (work / "py.txt").string();
    if (run("/usr/bin/python3 " + script + " parse '" + (work / "msgs").string() + "' '" + (work / "py").string() +
            "' > '" + out + "'"))
        return 1;
    double py = 0;
    long pyCount = 0, pyBytes = 0;
    if (std::sscanf(readFile(out).c_str(), "%lf %ld %ld", &py, &pyCount, &pyBytes) != 3 || pyCount != count ||
        pyBytes != bytes) {
        std::fprintf(stderr, "unexpected Python output: %s\n", readFile(out).c_str());
        return 1;
    }

    std::printf("%d messages, %.1f MB (%zu problems reported)\n", count, mb, problems);
    std::printf("renderer       %8.3f s  %9.1f messages/s  %8.1f MB/s\n", cpp, count / cpp, mb / cpp);
    std::printf("python email   %8.3f s  %9.1f messages/s  %8.1f MB/s\n", py, count / py, mb / py);
    std::printf("speed-up       %8.2fx\n", py / cpp);
    fs::remove_all(work);
    return 0;
}
