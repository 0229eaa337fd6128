#pragma once
// Starting other programs: an argument list handed to the program itself,
// never a command line read by a shell. Tests replace the spawner so that
// nothing real is started.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace win {

// Starts Argv[0] (looked up on PATH when it holds no "/") with the rest as
// its arguments, in the program's environment and current folder, with no
// descriptor but 0-2 inherited. Returns the process id, or -1 with Error set
// to the errno value that stopped it.
using TSpawner = std::function<int64_t(const std::vector<std::string>& argv, int& error)>;
int64_t SpawnProcess(const std::vector<std::string>& argv, int& error);

// Installs another spawner (an empty one restores the real); returns the
// one it replaces.
TSpawner SetSpawner(TSpawner spawner);

// True while the process runs. Once it has ended, ExitCode holds its exit
// status (128 + signal when a signal ended it) and the process is reaped.
// A process that is not our child counts as ended with code 0.
bool ProcessRunning(int64_t pid, int& exitCode);

// Children nobody waits for: reaped whenever another process is started.
void ReapLater(int64_t pid);

}  // namespace win
