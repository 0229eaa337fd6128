// Pelliwox: the program's entry. A pull runs here, on Qt's core alone, and
// starts like a command-line tool; the windows are a program of their own
// (pelliwox-window), started in this process's place, so a pull never loads
// the windowing, printing and web libraries they need.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/pull.h"
#include "platform/win/program.h"

namespace {

bool isPull(const char* arg) { return arg && strncasecmp(arg, "pull:", 5) == 0; }

int startWindows(char** argv) {
    const std::string self = win::ProgramPath();
    const std::string beside = self.substr(0, self.rfind('/') + 1) + "pelliwox-window";
    // The window program takes this program's path as its own, so that it
    // finds its folder and name as this program would.
    setenv("PELLIWOX_LAUNCHER", self.c_str(), 1);
    for (const std::string& path : {beside, std::string(PWX_WINDOW_PROGRAM)}) {
        if (access(path.c_str(), X_OK) != 0) continue;
        argv[0] = const_cast<char*>(path.c_str());
        execv(path.c_str(), argv);
    }
    std::fprintf(stderr, "pelliwox: the window program %s could not be started: %s\n", beside.c_str(),
                 std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && isPull(argv[1])) return app::PullMain(argc, argv, argv[1] + 5);
    return startWindows(argv);
}
