#pragma once
// The spell suite's shared free functions: path variables, special folders,
// files, the user dictionaries' hashing, dialog placement and the event list.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spell {

// The suite's version text.
std::string GetLexiroVersion();

// Listeners (identified by their object) and their handlers, notified in
// order of registration.
class TEventList {
public:
    using THandler = std::function<void(void* Sender)>;
    ~TEventList();
    // A listener already present is not added again; the answer is its
    // position + 1. A new one answers 0.
    int Add(const void* Listener, THandler Handler);
    void Remove(const void* Listener);
    void Notify(void* Sender) const;
    int Count() const { return static_cast<int>(listeners_.size()); }
    const THandler& Items(int i) const { return handlers_.at(static_cast<size_t>(i)); }

private:
    std::vector<const void*> listeners_;
    std::vector<THandler> handlers_;
};

// Replaces the first occurrence of Search in Text only (case-sensitive).
std::string ReplaceString(std::string_view Search, std::string_view Replacement, std::string_view Text);

// "%AppName%" and "%UserName%" (first occurrence each).
std::string ExpandFixedVars(std::string_view Text);
// "%AppDir%", "%AppData%", "%MyDocuments%" (first occurrence each), then
// environment variables written %NAME%; unknown names stay as written.
std::string ExpandChangingVars(std::string_view Text);
std::string ExpandBasicVars(std::string_view Text);

// Folder ids the suite asks for.
constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_APPDATA = 26;
// The folder for Id without a trailing delimiter; empty when unknown.
std::string GetSpecialFolder(int Id);

std::string LxExcludeTrailingBackslash(std::string_view Path);
// Creates the folder and its parents (each its owner's alone) when the path
// is absolute and holds no backslash (nothing else is created); failures
// are left for the caller's next file operation to report.
void LXForceDirectories(std::string_view Path);
// Whether Name can be opened (or created) for writing. With Temporary a file
// this test created is removed again.
bool CanFileBeWritten(const std::string& Name, bool Temporary);

// The user dictionaries' hash: the home slot of Word in a table of M slots
// (M >= 2), and the probe step from that slot. Their arithmetic is part of
// the file format.
int32_t HashString(std::string_view Word, int32_t M);
int32_t SecondaryHash(int32_t Home);
// The smallest table size of the fixed prime list greater than U (the last
// one when none is).
int32_t GetNextPrime(int32_t U);

inline int LXMin(int a, int b) { return a < b ? a : b; }
inline int LXMax(int a, int b) { return a > b ? a : b; }

// Dialog placement, as plain geometry so that it stands without windows.
struct TLxRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct TLxPoint {
    int X = 0, Y = 0;
};
// Keeps a form of Width x Height inside Monitor; the right and bottom
// clamps come last, so an oversized form ends on those edges.
TLxPoint AdjustDialogPosition(int X, int Y, int Width, int Height, const TLxRect& Monitor);
// Places the form beside Rect: left-aligned with it (Horizontal) and below
// it, or above it when there is no room below (Vertical).
TLxPoint AdjustDialogToRect(TLxPoint Form, int Width, int Height, const TLxRect& Rect, bool Horizontal,
                            bool Vertical, const TLxRect& Monitor);

// What identifies one version of a file: its modification time to the
// nanosecond and its size. A missing file has Exists false.
struct TFileStamp {
    bool Exists = false;
    int64_t Seconds = 0, Nanoseconds = 0, Size = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp GetFileStamp(const std::string& Name);

// Opens Name read-only when it is a regular file, and never waits: a FIFO or
// a device named as a file would block a plain open until a writer came.
// A link is followed (the user may keep a file elsewhere).
// Returns the descriptor (St holding its status), or -1 with Error saying
// why, the file named.
int OpenRegularFile(const std::string& Name, struct stat& St, std::string& Error);
// The whole content of a regular file, read to its end whatever size it
// tells, and its stamp; false (Error names the file) when it is missing, not
// a regular file or cannot be read.
bool ReadRegularFile(const std::string& Name, std::string& Bytes, TFileStamp& Stamp, std::string& Error);

// Writes Bytes as the whole new content of Name: a temporary file beside it,
// flushed to disk, then renamed over it, so a reader sees the old or the new
// content and never a part. A new file gets CreateMode; an existing one
// keeps its mode, less what CreateMode does not give. A link or anything but
// a regular file at Name is refused, never written through or replaced. On
// failure Name is untouched and Error says why.
bool WriteFileAtomic(const std::string& Name, std::string_view Bytes, mode_t CreateMode, std::string& Error);

// Renames without replacing an existing file; false (with Error) changes
// nothing.
bool RenameFileNoReplace(const std::string& From, const std::string& To, std::string& Error);

}  // namespace spell
