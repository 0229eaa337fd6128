#pragma once
// What the helper tests share: a temporary program folder, file helpers and
// a fixture that answers every prompt and fails on prompts nobody expected.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/ui/prompter.h"
#include "tests/support/plants.h"

namespace kwtest {

// A folder under the system's temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    // The folder with a trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Sets the umask while it lives.
using TUmaskScope = testsupport::TUmaskScope;

void writefile(const std::string& path, const std::string& bytes);
std::string readfile(const std::string& path);
bool exists(const std::string& path);
// Sets a file's modification time to the local date and time given.
void setmtime(const std::string& path, int y, int m, int d, int h = 0, int n = 0, int s = 0);
// Runs a command and gives what it printed; fails the test when it fails.
std::string run(const std::string& command, const std::string& input = "");

// Every test starts with a fresh program folder as homedir, pinned formats
// and a scripted prompter; a prompt that no test queued an answer for fails
// the test.
class KwTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<TTempDir> home;
    std::unique_ptr<ui::TScriptedPrompter> prompter;
};

}  // namespace kwtest
