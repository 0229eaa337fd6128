#include "platform/win/program.h"

#include <unistd.h>

#include <climits>
#include <iterator>
#include <optional>

#include "platform/rtl/fileio.h"

namespace win {

namespace {

std::optional<std::vector<std::string>>& override() {
    static std::optional<std::vector<std::string>> args;
    return args;
}

// What the kernel recorded at start: NUL-separated arguments.
std::vector<std::string> startArgs() {
    std::string all;
    rtl::TFileFailure why;
    rtl::ReadRegularFile("/proc/self/cmdline", all, why);
    std::vector<std::string> r;
    size_t at = 0;
    while (at < all.size()) {
        const size_t end = all.find('\0', at);
        const size_t stop = end == std::string::npos ? all.size() : end;
        r.push_back(all.substr(at, stop - at));
        at = stop + 1;
    }
    if (r.empty()) r.emplace_back();
    r[0] = ProgramPath();
    return r;
}

const std::vector<std::string>& args() {
    if (override()) return *override();
    static const std::vector<std::string> start = startArgs();
    return start;
}

}  // namespace

std::string ProgramPath() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

int ParamCount() { return static_cast<int>(args().size()) - 1; }

std::string ParamStr(int index) {
    const auto& a = args();
    return index >= 0 && index < static_cast<int>(a.size()) ? a[static_cast<size_t>(index)] : std::string();
}

void SetCommandLine(std::vector<std::string> argv) {
    if (argv.empty()) override().reset();
    else override() = std::move(argv);
}

}  // namespace win
