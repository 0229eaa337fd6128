#pragma once
// What a server fixture started by ctest left in its state folder (named by
// PWX_DOVECOT_STATE): port numbers, the test CA, the mailboxes.
#include <cstdlib>
#include <fstream>
#include <string>

namespace testsupport {

inline std::string stateDir() {
    const char* d = std::getenv("PWX_DOVECOT_STATE");
    return d ? d : "";
}

// The first word of a file in the state folder; empty when it is missing.
inline std::string fixtureFile(const std::string& name) {
    std::ifstream f(stateDir() + "/" + name);
    std::string s;
    f >> s;
    return s;
}

inline int run(const std::string& cmd) { return std::system(cmd.c_str()); }

}  // namespace testsupport
