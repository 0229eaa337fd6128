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

    void SetStream(TAvStream* s) { stream_ = s; }
    // Reads the directory; without an end record, or with RepairMode and a
    // damaged one, rebuilds it from the local headers.
    void LoadDir(bool repairMode);
    void RebuildFromLocalHeaders();
    void CalculateStubSize(int64_t endPos);
    void ApplyStubOffset();
    bool IsEncrypted() const { return Items.Count() > 0 && (Items[0].Flags & kFlagEncrypted); }
    // The directory of these entries written at Offset, with its end records.
    static std::string DirectoryBytes(TAvDirArray& items, int64_t offset, const std::string& comment);
    // First position of Bytes at or after Pos; -1 when absent.
    int64_t FindSignature(int64_t pos, uint32_t signature, int64_t window = 65535);

private:
    void ReadEntries(int64_t position, int64_t count, int64_t endPos);
    TAvStream* stream_;
    // How far the first local header sits behind the offset recorded for it.
    int64_t headerShift_ = 0;
};

}  // namespace zip
