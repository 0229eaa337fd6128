#pragma once
// Opening files by the program's rules, for every layer: only regular files
// are read or written, opened without waiting, so a pipe or device never
// blocks the program; a link where a file is to be written is refused and
// named, never followed (reads follow links: the user may keep a file
// elsewhere); a file is replaced by a new one written beside it and renamed
// over it, so the name never shows half a file and nothing planted at the
// name is written through. A save never loosens a file's mode: an existing
// file looser than the mode asked for is tightened to it.
#include <sys/stat.h>
#include <sys/types.h>

#include <ext/stdio_filebuf.h>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace rtl {

// Why a file could not be had: the system's error number and, when one of
// the rules above refused it, the reason in words.
struct TFileFailure {
    int Code = 0;
    std::string Reason;

    bool Refused() const { return !Reason.empty(); }
    // The reason, or the system's text for the error number.
    std::string Text() const;
};

// "Name is a link (to Target); the program does not write through links".
TFileFailure RefuseLink(const std::string& name);
// "Name is a pipe, not a regular file" (a folder, a socket, a device).
TFileFailure RefuseSpecial(const std::string& name, const struct stat& st);

// Opens Name for reading: a regular file only. St receives its status. The
// descriptor, or -1 with Why set.
int OpenRegularRead(const std::string& name, struct stat& st, TFileFailure& why);

// Reads the rest of Fd, to its end rather than by its size (files of /proc
// tell none). Hint is the size expected. May throw std::bad_alloc.
bool ReadToEnd(int fd, std::string& data, size_t hint, TFileFailure& why);

// Writes all of Data to Fd, however many calls it takes.
bool WriteAll(int fd, std::string_view data, TFileFailure& why);

// A whole regular file at once (OpenRegularRead, ReadToEnd).
bool ReadRegularFile(const std::string& name, std::string& data, TFileFailure& why);

// The folder that holds Name, opened as named; Leaf receives the name's last
// part. A name ending in "/" is refused (EISDIR).
int OpenParentFolder(const std::string& name, std::string& leaf, TFileFailure& why);

// Opens the folder Relative below the open folder Dir, part by part, never
// through a link (refused and named: Shown is what reports call Dir, "/"
// between it and each part) unless Follow; with Create, a missing part is
// made with Mode (less the umask). Dir stays the caller's. The descriptor,
// or -1 with Why set; "." and empty parts are passed over.
int OpenFolderAt(int dir, const std::string& relative, const std::string& shown, bool create, mode_t mode, bool follow,
                 TFileFailure& why);

// Opens Leaf of the folder Dir (Name is what reports call it) for writing:
// Access O_WRONLY or O_RDWR, Flags any of O_CREAT, O_TRUNC, O_APPEND. Never
// through a link, a regular file only. A new file gets Mode less the umask;
// an existing one looser than Mode is tightened (0777: left as it is).
int OpenRegularWriteAt(int dir, const std::string& leaf, const std::string& name, int access, int flags, mode_t mode,
                       TFileFailure& why);
// The same in the folder of Name as named.
int OpenRegularWrite(const std::string& name, int access, int flags, mode_t mode, TFileFailure& why);

// Replaces a file whole: Begin makes a new file beside it, the caller writes
// to it, Commit renames it over the old one. Until then the old file stands;
// a replacement never committed removes its new file. A folder that takes no
// new files but lets its file be written has the file rewritten in place:
// its old bytes are kept and put back when the replacement is not committed.
class TFileReplacement {
public:
    TFileReplacement() = default;
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    // Dir is the folder that holds Name, kept open by the caller until the
    // end; -1 opens it as named. The new file's mode is Mode, or the old
    // file's mode where that is tighter. A link or a special file at the
    // name is refused. Room is what the caller means to write, when known:
    // a file rewritten in place takes it before a byte is written, so that
    // a full disk fails at once and the old bytes go back.
    bool Begin(const std::string& name, mode_t mode, TFileFailure& why, int dir = -1, off_t room = 0);
    // The new file's descriptor while this object holds it.
    int Handle() const { return fd_; }
    // Hands the descriptor over to a caller that closes it itself.
    int Release();
    // Closes the new file (syncing it first when Sync), renames it over the
    // old one and syncs the folder. False leaves the old file as it was.
    bool Commit(bool sync, TFileFailure& why);
    // Removes the new file; the old one stays.
    void Abandon();

private:
    int dir_ = -1;
    bool ownsdir_ = false;
    int fd_ = -1;
    std::string leaf_;
    std::string temp_;  // empty once committed or abandoned, or when rewriting in place
    int inplace_ = -1;  // the old file rewritten in place (a descriptor of its own)
    off_t room_ = 0;
    std::string old_;  // its bytes, put back unless committed

    bool beginInPlace(const std::string& name, mode_t mode, off_t room, TFileFailure& why);
    void putBack();
};

// Replaces Name with Data (TFileReplacement, synced).
bool ReplaceFile(const std::string& name, std::string_view data, mode_t mode, TFileFailure& why);

// A new, empty file that has already taken Name's place (TFileReplacement,
// renamed at once), open for writing: for files written as they go, such as
// logs. The descriptor, or -1 with Why set.
int CreateReplacing(const std::string& name, mode_t mode, TFileFailure& why);

// A regular file read as a stream (OpenRegularRead).
class TFileReadStream : public std::istream {
public:
    explicit TFileReadStream(const std::string& name);
    bool IsOpen() const { return buf_ != nullptr; }
    const TFileFailure& Failure() const { return why_; }

private:
    TFileFailure why_;
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buf_;
};

// A stream whose bytes replace Name once Commit succeeds (TFileReplacement);
// a stream freed without Commit leaves the old file. Mode as there.
class TFileReplaceStream : public std::ostream {
public:
    TFileReplaceStream(const std::string& name, mode_t mode);
    bool IsOpen() const { return buf_ != nullptr; }
    // False, with Failure set, when a write, the close or the rename failed.
    bool Commit();
    const TFileFailure& Failure() const { return why_; }

private:
    TFileFailure why_;
    TFileReplacement replacement_;
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buf_;
};

}  // namespace rtl
