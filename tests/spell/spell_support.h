#pragma once
// Temporary folders, whole files, small compiled dictionaries and a file
// size limit for the spell suite's tests.
#include <sys/resource.h>

#include <string>
#include <vector>

namespace spelltest {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};

std::string readFile(const std::string& name);
void writeFile(const std::string& name, const std::string& bytes);

// A main dictionary of Words written to Name; fails the test when the
// writer refuses them.
void writeLxm(const std::string& name, const std::vector<std::string>& words, int language = 0x0809);

// The output lines of one of the other implementations of the formats in
// tests/spell (lxmread.py, lxuio.py) run with Args; fails the test when it
// fails.
std::vector<std::string> pythonLines(const std::string& script, const std::vector<std::string>& args);

// While it lives, no file of this process can grow past Bytes: writes past
// it fail (as on a full disk), even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();

private:
    rlimit old_{};
};

}  // namespace spelltest
