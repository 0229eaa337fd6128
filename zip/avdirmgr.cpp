#include "zip/avdirmgr.h"

#include <algorithm>

#include "zip/avexcept.h"
#include "zip/avstream.h"

namespace zip {

// ------------------------------------------------------------ entry array

TDirItem TAvDirArray::GetItem(int32_t i) const {
    if (i < 0 || i >= Count()) throw EAvException(2);
    return items_[static_cast<size_t>(i)];
}

TDirItem& TAvDirArray::GetItemPtr(int32_t i) {
    if (i < 0 || i >= Count()) throw EAvException(3);
    return items_[static_cast<size_t>(i)];
}

void TAvDirArray::SetItem(int32_t i, const TDirItem& item) {
    if (i < 0 || i >= Count()) throw EAvException(1);
    if (names_.Count() > i) names_.Update(i, AvLowerCase(item.Name));
    else if (names_.Count() == i) names_.Add(AvLowerCase(item.Name));
    else throw EAvException(58);
    items_[static_cast<size_t>(i)] = item;
}

void TAvDirArray::Append(const TDirItem& item) {
    items_.push_back(item);
    SetItem(Count() - 1, item);
}

void TAvDirArray::DeleteItem(int32_t i) {
    if (i < 0 || i >= Count()) throw EAvException(4);
    items_.erase(items_.begin() + i);
    names_.Delete(i);
}

void TAvDirArray::Clear() {
    items_.clear();
    names_.Clear();
}

void TAvDirArray::Assign(const TAvDirArray& other) {
    items_ = other.items_;
    names_ = TAvHashedStringList();
    for (const auto& it : items_) names_.Add(AvLowerCase(it.Name));
}

void TAvDirArray::ClearTags() {
    for (auto& it : items_) it.Tagged = false;
}

bool TAvDirArray::FileExists(const std::string& name, int32_t& index) {
    index = names_.IndexOf(AvLowerCase(name));
    return index >= 0;
}

void TAvDirArray::SetItemName(int32_t i, const std::string& name) {
    TDirItem& it = GetItemPtr(i);
    const int32_t at = names_.IndexOf(AvLowerCase(it.Name));
    if (at < 0) names_.Add(AvLowerCase(name));
    else if (at != i) throw EAvException(59);
    else names_.Update(i, AvLowerCase(name));
    it.Name = name;
}

// ------------------------------------------------------- directory manager

void TAvDirManager::LoadDir(bool repairMode) {
    Items.Clear();
    StubSize = 0;
    IsZip64 = false;
    ArchiveComment.clear();
    TAvEndRecord end;
    const int64_t endPos = FindEndRecord(*stream_, end, ArchiveComment);
    if (endPos < 0) {
        RebuildFromLocalHeaders();
        return;
    }
    int64_t count = end.TotalEntries, cdSize = end.CentralDirSize, cdPos = endPos - end.CentralDirSize;
    if (endPos >= kLocatorSize) {
        stream_->SetPosition(endPos - kLocatorSize);
        const std::string loc = stream_->ReadString(kLocatorSize);
        if (Get32(loc, 0) == kZip64LocatorSig) {
            const int64_t z64 = static_cast<int64_t>(Get64(loc, 8));
            std::string rec;
            if (z64 >= 0 && z64 + kZip64EndSize <= stream_->Size()) {
                stream_->SetPosition(z64);
                rec = stream_->ReadString(kZip64EndSize);
            }
            if (!rec.empty() && Get32(rec, 0) == kZip64EndSig) {
                IsZip64 = true;
                count = static_cast<int64_t>(Get64(rec, 32));
                cdSize = static_cast<int64_t>(Get64(rec, 40));
                // The directory ends where the zip64 record starts.
                cdPos = z64 - cdSize;
            } else if (!repairMode) {
                throw EAvException(40);
            }
            // Repairing, a locator that leads nowhere is taken for bytes of
            // the last entry that only look like one.
        }
    }
    if (!IsZip64 && end.TotalEntries == 0xFFFF) {
        RebuildFromLocalHeaders();
        return;
    }
    // Every entry takes at least 46 bytes: a count the size cannot hold is damage.
    if (cdPos < 0 || cdSize < 0 || count < 0 || count > cdSize / kCentralHeaderSize + (cdSize == 0 ? 0 : 1)) {
        if (!repairMode) throw EAvException(57);
        RebuildFromLocalHeaders();
        return;
    }
    try {
        ReadEntries(cdPos, count, cdPos + cdSize);
    } catch (const EAvException&) {
        if (!repairMode) throw;
        RebuildFromLocalHeaders();
        return;
    }
    CentralDirOffset = cdPos;
    EndOfArchive = stream_->Size();
    if (!repairMode) {
        int64_t sum = 0;
        for (int32_t i = 0; i < Items.Count(); ++i) sum += Items[i].CSize();
        if (sum > stream_->Size()) throw EAvException(57);
    }
    CalculateStubSize(endPos);
    if (headerShift_ > 0) ApplyStubOffset();
}

void TAvDirManager::ReadEntries(int64_t position, int64_t count, int64_t cdEnd) {
    stream_->SetPosition(position);
    // One read for the whole directory: it is bounded by the stream's size.
    const int64_t cdSize = std::min(cdEnd, stream_->Size()) - position;
    const std::string cd = stream_->ReadString(std::max<int64_t>(cdSize, 0));
    size_t at = 0;
    for (int64_t n = 0; n < count; ++n) {
        if (cd.size() - at < 46 || Get32(cd, at) != kCentralSig) throw EAvException(57);
        TDirItem it;
        it.VersionMadeBy = Get16(cd, at + 4);
        it.VersionNeeded = Get16(cd, at + 6);
        it.Flags = Get16(cd, at + 8);
        it.CompressionMethod = Get16(cd, at + 10);
        it.LastModTime = Get16(cd, at + 12);
        it.LastModDate = Get16(cd, at + 14);
        it.Crc32 = Get32(cd, at + 16);
        it.CompressedSize = Get32(cd, at + 20);
        it.UncompressedSize = Get32(cd, at + 24);
        it.FileNameLength = Get16(cd, at + 28);
        it.ExtraFieldLength = Get16(cd, at + 30);
        it.FileCommentLength = Get16(cd, at + 32);
        it.DiskNumberStart = Get16(cd, at + 34);
        it.InternalAttributes = Get16(cd, at + 36);
        it.ExternalAttributes = Get32(cd, at + 38);
        it.RelativeOffsetOfLocalHeader = Get32(cd, at + 42);
        it.UncompressedSize64 = it.UncompressedSize;
        it.CompressedSize64 = it.CompressedSize;
        it.LocalHeaderOffset64 = it.RelativeOffsetOfLocalHeader;
        it.ActualCompressionMethod = it.CompressionMethod;
        at += 46;
        const size_t vary = size_t{it.FileNameLength} + it.ExtraFieldLength + it.FileCommentLength;
        if (cd.size() - at < vary) throw EAvException(57);
        it.Name = DecodeEntryName(std::string_view(cd).substr(at, it.FileNameLength));
        at += it.FileNameLength;
        ParseExtraField(it, std::string_view(cd).substr(at, it.ExtraFieldLength));
        at += it.ExtraFieldLength;
        it.Comment = cd.substr(at, it.FileCommentLength);
        at += it.FileCommentLength;
        Items.Append(it);
    }
}

int64_t TAvDirManager::FindSignature(int64_t pos, uint32_t signature, int64_t window) {
    const int64_t size = stream_->Size();
    // Windows grow from small: headers close together cost little to find.
    int64_t span = std::min<int64_t>(window, 4096);
    while (pos >= 0 && pos + 4 <= size) {
        stream_->SetPosition(pos);
        const std::string chunk = stream_->ReadString(std::min<int64_t>(span, size - pos));
        for (size_t i = 0; i + 4 <= chunk.size(); ++i)
            if (Get32(chunk, i) == signature) return pos + static_cast<int64_t>(i);
        if (pos + static_cast<int64_t>(chunk.size()) >= size) break;
        pos += static_cast<int64_t>(chunk.size()) - 3;
        span = std::min(window, span * 2);
    }
    return -1;
}

void TAvDirManager::RebuildFromLocalHeaders() {
    Items.Clear();
    ArchiveComment.clear();  // it came with an end record found unusable
    const int64_t size = stream_->Size();
    int64_t pos = FindSignature(0, kLocalSig);
    if (pos < 0) throw EAvException(35);
    while (pos >= 0) {
        if (size - pos < kLocalHeaderSize) break;
        stream_->SetPosition(pos);
        const std::string h = stream_->ReadString(kLocalHeaderSize);
        TDirItem it;
        it.VersionNeeded = it.VersionMadeBy = Get16(h, 4);
        it.Flags = Get16(h, 6);
        it.CompressionMethod = it.ActualCompressionMethod = Get16(h, 8);
        it.LastModTime = Get16(h, 10);
        it.LastModDate = Get16(h, 12);
        it.Crc32 = Get32(h, 14);
        it.CompressedSize = Get32(h, 18);
        it.UncompressedSize = Get32(h, 22);
        it.FileNameLength = Get16(h, 26);
        it.ExtraFieldLength = Get16(h, 28);
        if (it.CompressedSize < size && it.ExtraFieldLength <= 260) {
            it.UncompressedSize64 = it.UncompressedSize;
            it.CompressedSize64 = it.CompressedSize;
            it.ExternalAttributes = it.UncompressedSize != 0 || (it.Flags & kFlagDescriptor) ? faArchive : faDirectory;
            it.SetOffset(pos);
            const int64_t avail = size - pos - kLocalHeaderSize;
            const std::string raw = avail >= it.FileNameLength ? stream_->ReadString(it.FileNameLength) : "";
            it.Name = DecodeEntryName(raw);
            if (avail - it.FileNameLength >= it.ExtraFieldLength)
                ParseExtraField(it, stream_->ReadString(it.ExtraFieldLength));
            if (it.Flags & kFlagDescriptor) {
                const int64_t d = FindSignature(pos + kLocalHeaderSize, kDescriptorSig);
                // With a zip64 block in the local header the sizes take 8 bytes each.
                const int64_t need = it.IsZip64 ? 24 : 16;
                if (d >= 0 && size - d >= need) {
                    stream_->SetPosition(d);
                    const std::string dd = stream_->ReadString(need);
                    it.Crc32 = Get32(dd, 4);
                    if (it.IsZip64) it.SetSizes(static_cast<int64_t>(Get64(dd, 8)), static_cast<int64_t>(Get64(dd, 16)));
                    else it.SetSizes(Get32(dd, 8), Get32(dd, 12));
                }
            }
            Items.Append(it);
        }
        pos = FindSignature(pos + 4, kLocalSig);
    }
    CentralDirOffset = size;
    EndOfArchive = size;
}

void TAvDirManager::CalculateStubSize(int64_t endPos) {
    headerShift_ = 0;
    if (Items.Count() == 0) {
        StubSize = endPos;
        return;
    }
    const TDirItem& first = Items[0];
    int64_t pos = first.Offset();
    const int64_t size = stream_->Size();
    if (pos < 0 || pos >= size) pos = 0;
    // The first entry's local header may sit later than its offset says
    // when a stub was put in front without adjusting the offsets.
    for (int64_t hit = FindSignature(pos, kLocalSig); hit >= 0; hit = FindSignature(hit + 1, kLocalSig)) {
        if (hit == 0) {
            StubSize = 0;
            return;
        }
        if (size - hit < kLocalHeaderSize) break;
        stream_->SetPosition(hit);
        const std::string h = stream_->ReadString(kLocalHeaderSize);
        if (Get16(h, 4) == first.VersionNeeded && Get16(h, 8) == first.CompressionMethod &&
            Get16(h, 10) == first.LastModTime && Get16(h, 12) == first.LastModDate && Get32(h, 14) == first.Crc32 &&
            Get32(h, 18) == first.CompressedSize && Get32(h, 22) == first.UncompressedSize) {
            StubSize = hit;
            headerShift_ = hit - first.Offset();
            return;
        }
    }
}

void TAvDirManager::ApplyStubOffset() {
    // Every entry moves, folders and 64-bit offsets included.
    for (int32_t i = 0; i < Items.Count(); ++i) {
        TDirItem& it = Items.GetItemPtr(i);
        it.SetOffset(it.Offset() + headerShift_);
    }
}

std::string TAvDirManager::DirectoryBytes(TAvDirArray& items, int64_t offset, const std::string& comment) {
    std::string cd;
    for (int32_t i = 0; i < items.Count(); ++i) cd += CentralHeaderBytes(items.GetItemPtr(i));
    return cd + EndRecordsBytes(items.Count(), static_cast<int64_t>(cd.size()), offset, comment);
}

}  // namespace zip
