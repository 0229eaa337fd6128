#pragma once
// What the renderer's tests and benchmarks share: whole files, commands, and the header
// fields of a message as the POP3 client captures them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "mailbox/msgrender.h"
#include "platform/rtl/sysutils.h"

namespace rendertest {

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Runs a shell command; a failure is told on stderr.
inline int run(const std::string& cmd) {
    const int rc = std::system(cmd.c_str());
    if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, cmd.c_str());
    return rc;
}

// The value after ": ", continuation lines joined with a blank.
inline void captureHeaders(mailbox::TRenderInput& in) {
    std::string* target = nullptr;
    for (int i = 0; i < in.lines.Count(); ++i) {
        const std::string& line = in.lines[i];
        if (line.empty()) break;
        if ((line[0] == ' ' || line[0] == '\t') && target) {
            *target += " " + line.substr(1);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = rtl::LowerCase(line.substr(0, colon));
        target = key == "from" ? &in.HdrFrom : key == "to" ? &in.HdrTo : key == "cc" ? &in.HdrCc
               : key == "date" ? &in.HdrDate : key == "subject" ? &in.HdrSubject : nullptr;
        if (target) *target = line.substr(colon + 1 + (colon + 1 < line.size() && line[colon + 1] == ' '));
    }
}

}  // namespace rendertest
