#pragma once
// Shared pieces of the zip tests: a scratch folder, files, and running the
// peer tools (unzip, 7zz, Python's zipfile, bsdtar) as oracles.
#include <string>

#include "tests/support/shell.h"

namespace ziptest {

using TRun = testsupport::ShellResult;
// Runs a shell command, standard error folded into the output.
using testsupport::Shell;
std::string Quote(const std::string& s);

// A fresh folder under /tmp, removed with everything in it at the end.
class TScratch {
public:
    TScratch();
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// Sets a file's modification time to so many days before today (the same
// time all day), at an odd second.
void AgeFile(const std::string& path, int days);

// What the peers (unzip, 7zz, and without a password Python's zipfile and
// bsdtar) say about an archive: each must pass it.
void ExpectPeersAccept(const std::string& archive, const std::string& password = "");
// Python's reading of every entry: "name|size|crc" lines in order, or,
// with contents, "name|content" lines.
std::string PythonListing(const std::string& archive, bool contents = false, const std::string& password = "");

}  // namespace ziptest
