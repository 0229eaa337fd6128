#pragma once
// The zip records as this engine writes and reads them: local and central
// headers, the end records (zip64 ones too) and extra fields, serialised
// little-endian field by field.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zip/avoptions.h"

namespace zip {

class TAvStream;

inline constexpr uint32_t kLocalSig = 0x04034B50, kCentralSig = 0x02014B50, kEndSig = 0x06054B50,
                          kZip64EndSig = 0x06064B50, kZip64LocatorSig = 0x07064B50, kDescriptorSig = 0x08074B50;
inline constexpr uint16_t kMadeByUnicode = 0x0B14, kMadeByOem = 20, kZip64Version = 45;
inline constexpr uint16_t kFlagEncrypted = 0x0001, kFlagFolder = 0x0002, kFlagDescriptor = 0x0008,
                          kFlagUtf8 = 0x0800;
inline constexpr int64_t kLocalHeaderSize = 30, kCentralHeaderSize = 46, kEndSize = 22, kZip64EndSize = 56,
                         kLocatorSize = 20;

// Operations on entries.
enum TAvProcessOperation : uint8_t {
    poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr, poChangeComment, poMerge
};

struct TAvExtraField {
    uint16_t HeaderID = 0;
    std::string Data;
};

// One directory entry: the central header's fields, the values behind
// saturated fields, and the pending work of a batch.
struct TDirItem {
    uint32_t Signature = kCentralSig;
    uint16_t VersionMadeBy = kMadeByUnicode, VersionNeeded = kMadeByUnicode, Flags = 0, CompressionMethod = 0,
             LastModTime = 0, LastModDate = 0;
    uint32_t Crc32 = 0, CompressedSize = 0, UncompressedSize = 0;
    uint16_t FileNameLength = 0, ExtraFieldLength = 0, FileCommentLength = 0, DiskNumberStart = 0,
             InternalAttributes = 0;
    uint32_t ExternalAttributes = 0, RelativeOffsetOfLocalHeader = 0;

    std::string Name, OldName, Comment;
    std::vector<TAvExtraField> ExtraFields;
    uint8_t EncryptionAlgorithm = caPkzipClassic;
    bool IsZip64 = false;
    uint64_t UncompressedSize64 = 0, CompressedSize64 = 0, LocalHeaderOffset64 = 0;
    uint32_t DiskNumberStart32 = 0;

    bool Modified = false, Tagged = false;
    std::string Password, SourceFileName;
    std::shared_ptr<TAvStream> SourceStream;
    int64_t SourcePosition = 0, SourceCount = -1;  // -1: to the stream's end
    int64_t ExpectedSize = 0;  // of the source, known before it is written
    // The CRC-32 of the data this session wrote; the only CRC an AE-2
    // entry has, since it stores 0.
    std::optional<uint32_t> WrittenCrc32;
    uint16_t ActualCompressionMethod = 0;
    uint8_t CompressionMode = 0;
    uint8_t Operation = poAdd;

    // The real values, whether or not the fixed fields are saturated.
    int64_t USize() const;
    int64_t CSize() const;
    int64_t Offset() const;
    uint32_t DosDateTime() const { return static_cast<uint32_t>(LastModDate) << 16 | LastModTime; }
    void SetOffset(int64_t v);
    void SetSizes(int64_t compressed, int64_t uncompressed);
    bool IsFolder() const { return (ExternalAttributes & faDirectory) != 0 || (!Name.empty() && Name.back() == '/'); }
};

struct TAvEndRecord {
    uint16_t NumberOfThisDisk = 0, DiskWithCentralDir = 0, EntriesOnThisDisk = 0, TotalEntries = 0;
    uint32_t CentralDirSize = 0, CentralDirOffset = 0;
    uint16_t CommentLength = 0;
};

struct TAvZip64End {
    uint64_t RecordSize = 44;
    uint32_t NumberOfThisDisk = 0, DiskWithCentralDir = 0;
    uint64_t EntriesOnThisDisk = 0, TotalEntries = 0, CentralDirSize = 0, CentralDirOffset = 0;
};

struct TAvZip64Locator {
    uint32_t DiskWithZip64End = 0;
    uint64_t Zip64EndOffset = 0;
    uint32_t TotalDisks = 1;
};

// Little-endian field access over byte strings.
uint16_t Get16(std::string_view b, size_t at);
uint32_t Get32(std::string_view b, size_t at);
uint64_t Get64(std::string_view b, size_t at);
void Put16(std::string& b, uint16_t v);
void Put32(std::string& b, uint32_t v);
void Put64(std::string& b, uint64_t v);

// The central header of an entry, with its name, extra blocks and comment;
// the zip64 block is rebuilt from the 64-bit values.
std::string CentralHeaderBytes(TDirItem& item);
// Parses the extra area into the entry (zip64 values, AES strength).
void ParseExtraField(TDirItem& item, std::string_view extra);
// The local header of an entry (its name as stored), with a zip64 block
// when the entry is zip64.
std::string LocalHeaderBytes(const TDirItem& item);
// The end records for a directory of Count entries and Size bytes written
// at Offset; zip64 records first when they are due.
std::string EndRecordsBytes(int64_t count, int64_t size, int64_t offset, const std::string& comment);

// Searches the end record backwards from the stream's end; its position,
// or -1. Candidates must pass the record's own consistency rules.
int64_t FindEndRecord(TAvStream& s, TAvEndRecord& rec, std::string& comment);

}  // namespace zip
