#pragma once
// The program's windows for windowed tests: made once per test binary, as the
// program makes them, over a program folder of the test's own.
#include <stdlib.h>

#include <string>

#include "app/mainroutine.h"
#include "helpers/kwutil.h"
#include "mailbox/kwem1.h"
#include "platform/win/pump.h"

namespace testsupport {

// A new empty folder under /tmp whose name starts with Name, with a
// trailing "/"; empty when none could be made.
inline std::string NewProgramFolder(const std::string& name) {
    std::string path = "/tmp/pwx-" + name + "XXXXXX";
    return mkdtemp(path.data()) ? path + "/" : std::string();
}

// Makes the windows over Folder and waits for their start-up step.
inline void StartProgramWindows(const std::string& folder) {
    helpers::homedir = folder;
    setenv("XDG_DATA_HOME", (folder + "userdata").c_str(), 1);  // the per-user files too
    app::CreateWindows();
    win::PumpUntil([] { return mailbox::Form1->StartupSteps > 0; }, 5000);
}

}  // namespace testsupport
