#pragma once
// The unattended pull ("pull:ENTRY"): the mailbox session alone, with no
// window and no windowing platform, as cron starts it.
#include <string>

namespace app {

// Retrieves host entry Entry of the program folder's hosts file, writes
// the CSV file and returns the exit status (mailbox::TPullStatus). Every
// reason for a status other than 0 goes through the prompter (standard
// error and the error log).
int RunPull(const std::string& Entry);

// The program's main routine for a pull: a loop without windows.
int PullMain(int argc, char** argv, const std::string& Entry);

}  // namespace app
