#include "zip/avrecords.h"

#include <algorithm>

#include "zip/avaes.h"
#include "zip/avexcept.h"
#include "zip/avstream.h"
#include "zip/avutils.h"

namespace zip {

int64_t TDirItem::USize() const { return UncompressedSize == 0xFFFFFFFFu ? static_cast<int64_t>(UncompressedSize64) : UncompressedSize; }
int64_t TDirItem::CSize() const { return CompressedSize == 0xFFFFFFFFu ? static_cast<int64_t>(CompressedSize64) : CompressedSize; }
int64_t TDirItem::Offset() const {
    return RelativeOffsetOfLocalHeader == 0xFFFFFFFFu ? static_cast<int64_t>(LocalHeaderOffset64) : RelativeOffsetOfLocalHeader;
}

void TDirItem::SetOffset(int64_t v) {
    LocalHeaderOffset64 = static_cast<uint64_t>(v);
    RelativeOffsetOfLocalHeader = v >= 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
    if (v >= 0xFFFFFFFFLL) IsZip64 = true;
}

void TDirItem::SetSizes(int64_t c, int64_t u) {
    CompressedSize64 = static_cast<uint64_t>(c);
    UncompressedSize64 = static_cast<uint64_t>(u);
    CompressedSize = c >= 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(c);
    UncompressedSize = u >= 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(u);
    if (c >= 0xFFFFFFFFLL || u >= 0xFFFFFFFFLL) IsZip64 = true;
}

uint16_t Get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t Get32(std::string_view b, size_t at) { return Get16(b, at) | static_cast<uint32_t>(Get16(b, at + 2)) << 16; }
uint64_t Get64(std::string_view b, size_t at) { return Get32(b, at) | static_cast<uint64_t>(Get32(b, at + 4)) << 32; }
void Put16(std::string& b, uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
}
void Put32(std::string& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& b, uint64_t v) {
    Put32(b, static_cast<uint32_t>(v));
    Put32(b, static_cast<uint32_t>(v >> 32));
}

namespace {

std::string Zip64Block(const TDirItem& it) {
    std::string d;
    if (it.UncompressedSize == 0xFFFFFFFFu) Put64(d, it.UncompressedSize64);
    if (it.CompressedSize == 0xFFFFFFFFu) Put64(d, it.CompressedSize64);
    if (it.RelativeOffsetOfLocalHeader == 0xFFFFFFFFu) Put64(d, it.LocalHeaderOffset64);
    if (it.DiskNumberStart == 0xFFFF) Put32(d, it.DiskNumberStart32);
    if (d.empty()) return d;
    std::string b;
    Put16(b, 1);
    Put16(b, static_cast<uint16_t>(d.size()));
    return b + d;
}

}  // namespace

std::string CentralHeaderBytes(TDirItem& it) {
    std::string extra = Zip64Block(it);
    for (const auto& f : it.ExtraFields) {
        if (f.HeaderID == 1) continue;
        Put16(extra, f.HeaderID);
        Put16(extra, static_cast<uint16_t>(f.Data.size()));
        extra += f.Data;
    }
    if (it.Name.size() > 0xFFFF || extra.size() > 0xFFFF || it.Comment.size() > 0xFFFF)
        throw EAvException(61, it.Name);
    if (NameNeedsUtf8(it.Name)) it.Flags |= kFlagUtf8;
    it.FileNameLength = static_cast<uint16_t>(it.Name.size());
    it.ExtraFieldLength = static_cast<uint16_t>(extra.size());
    it.FileCommentLength = static_cast<uint16_t>(it.Comment.size());
    std::string b;
    b.reserve(46 + it.Name.size() + extra.size() + it.Comment.size());
    Put32(b, kCentralSig);
    Put16(b, it.VersionMadeBy);
    Put16(b, it.VersionNeeded);
    Put16(b, it.Flags);
    Put16(b, it.CompressionMethod);
    Put16(b, it.LastModTime);
    Put16(b, it.LastModDate);
    Put32(b, it.Crc32);
    Put32(b, it.CompressedSize);
    Put32(b, it.UncompressedSize);
    Put16(b, it.FileNameLength);
    Put16(b, it.ExtraFieldLength);
    Put16(b, it.FileCommentLength);
    Put16(b, it.DiskNumberStart);
    Put16(b, it.InternalAttributes);
    Put32(b, it.ExternalAttributes);
    Put32(b, it.RelativeOffsetOfLocalHeader);
    return b + it.Name + extra + it.Comment;
}

void ParseExtraField(TDirItem& it, std::string_view extra) {
    size_t at = 0;
    while (extra.size() - at >= 4) {
        const uint16_t id = Get16(extra, at);
        const size_t size = std::min<size_t>(Get16(extra, at + 2), extra.size() - at - 4);
        const std::string_view data = extra.substr(at + 4, size);
        if (id == 1) {
            size_t p = 0;
            auto take = [&](bool saturated, uint64_t& v) {
                if (saturated && data.size() - p >= 8) {
                    v = Get64(data, p);
                    p += 8;
                }
            };
            take(it.UncompressedSize == 0xFFFFFFFFu, it.UncompressedSize64);
            take(it.CompressedSize == 0xFFFFFFFFu, it.CompressedSize64);
            take(it.RelativeOffsetOfLocalHeader == 0xFFFFFFFFu, it.LocalHeaderOffset64);
            if (it.DiskNumberStart == 0xFFFF && data.size() - p >= 2) it.DiskNumberStart32 = Get16(data, p);
            it.IsZip64 = true;
        } else if (TAesField aes; id == kAesExtraId && it.VersionNeeded < 0x4114 && ParseAesExtraField(data, aes)) {
            it.EncryptionAlgorithm = aes.Strength;
            it.ActualCompressionMethod = aes.ActualMethod;
        }
        it.ExtraFields.push_back({id, std::string(data)});
        at += 4 + size;
    }
}

std::string LocalHeaderBytes(const TDirItem& it) {
    std::string b;
    Put32(b, kLocalSig);
    Put16(b, it.IsZip64 ? kZip64Version : it.VersionNeeded);
    Put16(b, it.Flags);
    Put16(b, it.CompressionMethod);
    Put16(b, it.LastModTime);
    Put16(b, it.LastModDate);
    Put32(b, it.Crc32);
    Put32(b, it.IsZip64 ? 0xFFFFFFFFu : it.CompressedSize);
    Put32(b, it.IsZip64 ? 0xFFFFFFFFu : it.UncompressedSize);
    // An AES entry's field goes into the local header too: readers need it
    // before the data.
    std::string extra;
    if (it.IsZip64) {
        Put16(extra, 1);
        Put16(extra, 16);
        Put64(extra, static_cast<uint64_t>(it.USize()));
        Put64(extra, static_cast<uint64_t>(it.CSize()));
    }
    for (const auto& f : it.ExtraFields) {
        if (f.HeaderID != kAesExtraId) continue;
        Put16(extra, f.HeaderID);
        Put16(extra, static_cast<uint16_t>(f.Data.size()));
        extra += f.Data;
    }
    Put16(b, static_cast<uint16_t>(it.Name.size()));
    Put16(b, static_cast<uint16_t>(extra.size()));
    return b + it.Name + extra;
}

std::string EndRecordsBytes(int64_t count, int64_t size, int64_t offset, const std::string& comment) {
    std::string b;
    const int64_t endPos = offset + size;
    const bool zip64 = count >= 0xFFFF || endPos >= 0xFFFFFFFFLL || size >= 0xFFFFFFFFLL;
    if (zip64) {
        Put32(b, kZip64EndSig);
        Put64(b, 44);
        Put16(b, kZip64Version);
        Put16(b, kZip64Version);
        Put32(b, 0);
        Put32(b, 0);
        Put64(b, static_cast<uint64_t>(count));
        Put64(b, static_cast<uint64_t>(count));
        Put64(b, static_cast<uint64_t>(size));
        Put64(b, static_cast<uint64_t>(offset));
        Put32(b, kZip64LocatorSig);
        Put32(b, 0);
        Put64(b, static_cast<uint64_t>(endPos));
        Put32(b, 1);
    }
    const auto sat16 = [](int64_t v) { return static_cast<uint16_t>(v > 0xFFFE ? 0xFFFF : v); };
    const auto sat32 = [](int64_t v) { return static_cast<uint32_t>(v >= 0xFFFFFFFFLL ? 0xFFFFFFFFLL : v); };
    Put32(b, kEndSig);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, sat16(count));
    Put16(b, sat16(count));
    Put32(b, sat32(size));
    Put32(b, sat32(offset));
    Put16(b, static_cast<uint16_t>(std::min<size_t>(comment.size(), 0xFFFF)));
    return b + comment.substr(0, 0xFFFF);
}

int64_t FindEndRecord(TAvStream& s, TAvEndRecord& rec, std::string& comment) {
    const int64_t size = s.Size();
    const int64_t span = std::min<int64_t>(65600, size);
    const int64_t start = size - span;
    s.SetPosition(start);
    const std::string tail = s.ReadString(span);
    for (int64_t i = span - 4; i >= 0; --i) {
        if (Get32(tail, static_cast<size_t>(i)) != kEndSig) continue;
        if (span - i < kEndSize) continue;
        const size_t at = static_cast<size_t>(i);
        TAvEndRecord r;
        r.NumberOfThisDisk = Get16(tail, at + 4);
        r.DiskWithCentralDir = Get16(tail, at + 6);
        r.EntriesOnThisDisk = Get16(tail, at + 8);
        r.TotalEntries = Get16(tail, at + 10);
        r.CentralDirSize = Get32(tail, at + 12);
        r.CentralDirOffset = Get32(tail, at + 16);
        r.CommentLength = Get16(tail, at + 20);
        const int64_t p = start + i;
        if (r.NumberOfThisDisk < r.DiskWithCentralDir || r.TotalEntries < r.EntriesOnThisDisk) continue;
        if (r.CentralDirSize != 0xFFFFFFFFu && r.CentralDirSize >= p + kEndSize) continue;
        const bool offsetOk = r.DiskWithCentralDir < r.NumberOfThisDisk || r.CentralDirOffset == 0xFFFFFFFFu ||
                              (p + kEndSize >= static_cast<int64_t>(r.CentralDirSize) &&
                               r.CentralDirOffset < p + kEndSize - static_cast<int64_t>(r.CentralDirSize));
        if (!offsetOk) continue;
        if (span - i - kEndSize < r.CommentLength) continue;
        rec = r;
        comment = tail.substr(at + kEndSize, r.CommentLength);
        return p;
    }
    return -1;
}

}  // namespace zip
