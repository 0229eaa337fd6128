#pragma once
// The running program's own file and its command-line parameters.
#include <string>
#include <vector>

namespace win {

// The program file actually running, symbolic links resolved.
std::string ProgramPath();

// Parameter 0 is the program's full path; a number beyond the last gives
// the empty text.
int ParamCount();
std::string ParamStr(int index);

// Replaces the parameters (Argv[0] standing for the program's path). The
// main routine may pass its own; tests use it to act as another program.
// An empty list goes back to what the process was started with.
void SetCommandLine(std::vector<std::string> argv);

}  // namespace win
