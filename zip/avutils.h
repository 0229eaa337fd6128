#pragma once
// The engine's own file, path and name routines: the hashed name index of
// the directory, entry-name code pages, stored names of disk files, DOS
// dates and attributes.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/fileio.h"
#include "zip/avoptions.h"

namespace zip {

// Chained hash table from strings to integers; the newest duplicate is found first.
class TAvStringHash {
public:
    explicit TAvStringHash(uint32_t size);
    ~TAvStringHash();
    TAvStringHash(const TAvStringHash&) = delete;
    TAvStringHash& operator=(const TAvStringHash&) = delete;

    void Add(const std::string& key, int32_t value);
    int32_t ValueOf(const std::string& key) const;
    bool Modify(const std::string& key, int32_t value);
    void Remove(const std::string& key);
    void Clear();
    uint32_t HashOf(std::string_view key) const;
    uint32_t Size() const { return static_cast<uint32_t>(buckets_.size()); }

private:
    struct Node {
        Node* next;
        std::string key;
        int32_t value;
    };
    Node** Find(const std::string& key) const;
    mutable std::vector<Node*> buckets_;
};

// An unsorted string list with a lazily built index of whole strings.
class TAvHashedStringList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const std::string& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
    void Add(const std::string& s);
    void Update(int32_t index, const std::string& s);
    void Delete(int32_t index);
    void Clear();
    int32_t IndexOf(const std::string& s);

private:
    void UpdateValueHash();
    std::vector<std::string> items_;
    std::unique_ptr<TAvStringHash> hash_;
    bool valid_ = false;
};

enum TAvNameKind { nkAscii, nkUtf8, nkOther };
TAvNameKind IsUtf8Name(std::string_view s);
// An entry name as read from the archive, in UTF-8: well-formed UTF-8 is
// kept, flagged or not; other bytes are read in the OEM code page (437).
std::string DecodeEntryName(std::string_view raw);
// Whether a name needs flag bit 11 when stored (anything beyond ASCII).
bool NameNeedsUtf8(std::string_view name);

// ASCII lower case: the index of names folds letters this way.
std::string AvLowerCase(std::string_view s);

// Absolute, lexically normalised path of a name against a base folder
// (the process's current folder is never used or changed).
std::string ResolvePath(const std::string& name, const std::string& base);
// The stored name of a disk file ("/" separated, no leading "/").
std::string MakeStoredName(const std::string& fileName, const std::string& baseDir, TAvStorePathMode mode);

// DOS date (high 16 bits) and time (low 16 bits); two-second resolution,
// clamped to 1980-2107.
uint32_t UnixToDos(time_t t);
time_t DosToUnix(uint32_t dos);
// The file's DOS date-time, -1 when it cannot be read.
int64_t AvFileAge(const std::string& path);
// Attribute bits of a file (faDirectory, faReadOnly, faArchive); -1 when
// it does not exist.
int32_t AvFileGetAttr(const std::string& path);
bool AvDirectoryExists(const std::string& path);
// Creates the folder and its parents; raises code 39 on an empty path.
bool ForceDirs(const std::string& path);
// Removes a folder tree that holds no files; true when the folder is gone.
bool DelTreeIfNoFiles(const std::string& folder);

// The process's current folder ("/" when it cannot be read).
std::string AvCurrentFolder();
// The folder part of a path ("." without one).
std::string AvFolderOf(const std::string& path);
// An archive rewritten whole goes to a new file beside it, which then
// replaces it (on the same file system, so the rename is atomic). The
// file's name carries the archive's name and inode, and it stays locked
// while this object lives, so that a later open can tell its own stale
// temporaries (left by a killed process) from anything else. Removed at
// the end unless kept; Path() is empty when it could not be made.
class TAvTempBeside {
public:
    explicit TAvTempBeside(const std::string& target);
    ~TAvTempBeside();
    TAvTempBeside(const TAvTempBeside&) = delete;
    TAvTempBeside& operator=(const TAvTempBeside&) = delete;
    const std::string& Path() const { return path_; }
    // It has taken the archive's place: not to be removed.
    void Keep() { kept_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};
// Removes the temporaries that killed rewrites of this archive left
// beside it: only files named for this very archive file, owned by this
// user and locked by nobody.
void AvRemoveStaleTemps(const std::string& archive);
// Gives Temp the mode of ModeOf (0600 when that cannot be read), renames
// it over Target and syncs the folder; false, with the reason, when a link
// or anything but a regular file stands at Target or the rename fails.
bool AvReplaceWith(const std::string& temp, const std::string& target, const std::string& modeOf,
                   rtl::TFileFailure& why);

}  // namespace zip
