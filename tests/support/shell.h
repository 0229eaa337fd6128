#pragma once
// Runs a shell command for a test and gives what it printed and how it ended.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct ShellResult {
    int status = -1;  // exit status; -1 when it could not start or was killed
    std::string output;
};

// Standard error joins the output unless KeepStderr.
inline ShellResult Shell(const std::string& command, bool KeepStderr = false) {
    ShellResult r;
    FILE* p = ::popen((KeepStderr ? command : command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace testsupport
