#include "platform/win/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace win {

namespace {

std::vector<int64_t>& unreaped() {
    static std::vector<int64_t> pids;
    return pids;
}

void reapFinished() {
    auto& pids = unreaped();
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](int64_t pid) {
                                  int code;
                                  return !ProcessRunning(pid, code);
                              }),
               pids.end());
}

int64_t realSpawn(const std::vector<std::string>& argv, int& error) {
    reapFinished();
    if (argv.empty() || argv[0].empty()) {
        error = ENOENT;
        return -1;
    }
    std::vector<char*> cargv;
    for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Sockets and files of ours are no business of the started program.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = rc;
        return -1;
    }
    error = 0;
    return pid;
}

TSpawner& current() {
    static TSpawner s = realSpawn;
    return s;
}

}  // namespace

int64_t SpawnProcess(const std::vector<std::string>& argv, int& error) { return current()(argv, error); }

TSpawner SetSpawner(TSpawner spawner) {
    TSpawner old = current();
    current() = spawner ? std::move(spawner) : TSpawner(realSpawn);
    return old;
}

bool ProcessRunning(int64_t pid, int& exitCode) {
    exitCode = 0;
    if (pid <= 0) return false;  // never "any child"
    int status = 0;
    pid_t r;
    do r = ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    exitCode = 0;
    if (r > 0) {
        if (WIFEXITED(status)) exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status)) exitCode = 128 + WTERMSIG(status);
    }
    return false;
}

void ReapLater(int64_t pid) { unreaped().push_back(pid); }

}  // namespace win
