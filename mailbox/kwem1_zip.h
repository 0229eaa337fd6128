#pragma once
// Archiving of received pages: old files of a mailbox's folder go into
// numbered zip archives, and a file is deleted only when its entry is in
// the committed archive. The window gathers the options (Tkwutzp); the
// run below does the work, so tests can drive it without the window.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/arkivolt.h"

namespace mailbox {

struct TArchiveRequest {
    std::string Folder;              // the mailbox's received folder
    std::vector<std::string> Files;  // names in that folder
    std::string ZipName;
    std::string Password;
    int Method = 0;
    int MaxFiles = 0;
    int64_t Threshold = 0;
    int Level = 9;
    bool OneGo = false;
};

class TRcvdArchiver {
public:
    explicit TRcvdArchiver(zip::TArkivolt& ark) : ark_(ark) {}
    // Shows progress (and lets the window process its messages).
    std::function<void(const std::string&)> Status;
    // Whether the user asked to stop; checked before each file.
    std::function<bool()> StopRequested;

    // Archives and deletes; returns the report.
    std::string Run(const TArchiveRequest& request);

    // The archives written or extended by the last run.
    std::vector<std::string> Archives;
    // The archive could not be opened or created: the report says why.
    bool OpenFailed = false;

private:
    struct TFileState {
        std::string Path, Entry, Line;
        size_t Archive = 0;
        bool Taken = false;     // added or already in the archive
        bool Verified = false;  // in the committed archive as it is on disk
        std::string Failure;
    };
    void Open(const std::string& name, bool create);
    void VerifyAndClose(std::vector<TFileState>& files);
    zip::TArkivolt& ark_;
};

// The first name from N on with "_N" before the extension that no file holds.
std::string NextFreeArchiveName(const std::string& given, int& n);

}  // namespace mailbox
