#pragma once
// The open archive's central directory in memory: finding the end record,
// loading (or rebuilding from local headers), stub detection and the bytes
// of the directory as it is saved.
#include <string>
#include <vector>

#include "zip/avrecords.h"
#include "zip/avutils.h"

namespace zip {

class TAvDirArray {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // Codes 2 (copy) and 3 (in place) outside 0..Count-1.
    TDirItem GetItem(int32_t i) const;
    TDirItem& GetItemPtr(int32_t i);
    const TDirItem& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
    // Code 1 outside the range; code 58 when the name index is out of step.
    void SetItem(int32_t i, const TDirItem& item);
    void Append(const TDirItem& item);
    void DeleteItem(int32_t i);
    void Clear();
    void Assign(const TAvDirArray& other);
    void ClearTags();
    // Case-insensitive lookup; the later of two equal names wins.
    bool FileExists(const std::string& name, int32_t& index);
    // Code 59 when another entry holds the old name's index slot.
    void SetItemName(int32_t i, const std::string& name);

private:
    std::vector<TDirItem> items_;
    TAvHashedStringList names_;
};

// Why a directory could not be read as it stands, and the entries that
// could not be recovered whole from the local headers.
struct TAvDirDamage {
    std::string Reason;
    std::vector<std::string> Lost;
};

class TAvDirManager {
public:
    explicit TAvDirManager(TAvStream* stream) : stream_(stream) {}

    TAvDirArray Items, BackupItems;
    std::string ArchiveComment;
    bool IsZip64 = false;
    int64_t StubSize = 0;
    // Where the directory starts; the stream size after a rebuild.
    int64_t CentralDirOffset = 0;
    // Where the directory and end records end (the archive's data end).
    int64_t EndOfArchive = 0;

    // Set when the directory had to be rebuilt from the local headers.
    TAvDirDamage Damage;
    bool Rebuilt() const { return !Damage.Reason.empty(); }
    // The end record names other volumes: offsets are positions in them.
    bool MultiVolume() const { return multiVolume_; }

    void SetStream(TAvStream* s) { stream_ = s; }
    // Reads the directory and checks it against the file: the end records,
    // the counts and sizes they give, every central header, and where the
    // entries lie. Damage raises code 57 (40 for a zip64 locator leading
    // nowhere); with repairMode the directory is rebuilt from the local
    // headers instead and Damage says why and what was lost. Entries whose
    // headers or data overlap are refused either way.
    void LoadDir(bool repairMode);
    void RebuildFromLocalHeaders(const std::string& why);
    // Refuses (code 57) entries that overlap one another; the reason when
    // an entry runs past the directory's start, else empty.
    std::string CheckLayout() const;
    void CalculateStubSize(int64_t endPos);
    void ApplyStubOffset();
    bool IsEncrypted() const { return Items.Count() > 0 && (Items[0].Flags & kFlagEncrypted); }
    // The directory of these entries written at Offset, with its end records.
    static std::string DirectoryBytes(TAvDirArray& items, int64_t offset, const std::string& comment);
    // First position of Bytes at or after Pos; -1 when absent.
    int64_t FindSignature(int64_t pos, uint32_t signature, int64_t window = 65535);

private:
    // Why the directory cannot be taken as it stands; empty when it can.
    std::string ReadDirectory(const TAvEndRecord& end, int64_t endPos, bool repairMode);
    std::string ReadEntries(int64_t position, int64_t size);
    // Names of central headers found from Pos on (a directory without its end).
    std::vector<std::string> CentralNamesFrom(int64_t pos);
    TAvStream* stream_;
    // How far the first local header sits behind the offset recorded for it.
    int64_t headerShift_ = 0;
    // The end record names a later volume: offsets are not positions here.
    bool multiVolume_ = false;
};

}  // namespace zip
