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

namespace {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

void TAvDirManager::LoadDir(bool repairMode) {
    Items.Clear();
    StubSize = 0;
    IsZip64 = false;
    multiVolume_ = false;
    headerShift_ = 0;
    ArchiveComment.clear();
    Damage = {};
    TAvEndRecord end;
    const int64_t endPos = FindEndRecord(*stream_, end, ArchiveComment);
    std::string why = endPos < 0 ? "no end record was found" : ReadDirectory(end, endPos, repairMode);
    if (why.empty()) return;
    if (!repairMode) throw EAvException::Detailed(57, why);
    RebuildFromLocalHeaders(why);
}

std::string TAvDirManager::ReadDirectory(const TAvEndRecord& end, int64_t endPos, bool repairMode) {
    const int64_t fileSize = stream_->Size();
    int64_t count = end.TotalEntries, cdSize = end.CentralDirSize, cdPos = endPos - end.CentralDirSize;
    multiVolume_ = end.NumberOfThisDisk != 0;
    if (endPos >= kLocatorSize) {
        stream_->SetPosition(endPos - kLocatorSize);
        const std::string loc = stream_->ReadString(kLocatorSize);
        if (Get32(loc, 0) == kZip64LocatorSig) {
            // Where the locator says, or right before it when data were put
            // in front of the archive.
            const uint64_t said = Get64(loc, 8);
            int64_t at = -1;
            std::string rec;
            const int64_t latest = endPos - kLocatorSize - kZip64EndSize;
            for (const uint64_t c : {said, static_cast<uint64_t>(std::max<int64_t>(latest, 0))}) {
                if (latest < 0 || c > static_cast<uint64_t>(latest)) continue;
                stream_->SetPosition(static_cast<int64_t>(c));
                rec = stream_->ReadString(kZip64EndSize);
                if (Get32(rec, 0) == kZip64EndSig) {
                    at = static_cast<int64_t>(c);
                    break;
                }
            }
            if (at < 0 && !repairMode) throw EAvException(40);
            // Repairing, a locator that leads nowhere is taken for bytes of
            // the last entry that only look like one.
            if (at >= 0) {
                IsZip64 = true;
                const uint64_t recordSize = Get64(rec, 4), here = Get64(rec, 24), total = Get64(rec, 32),
                               size64 = Get64(rec, 40), offset64 = Get64(rec, 48);
                if (recordSize < 44 || recordSize > static_cast<uint64_t>(endPos - kLocatorSize - at - 12))
                    return "its zip64 end record does not fit before its locator";
                if (here != total && !multiVolume_)
                    return "its zip64 end record counts " + std::to_string(here) + " entries on this disk of " +
                           std::to_string(total);
                // The end record's own fields, where not saturated, must say the same.
                if ((end.TotalEntries != 0xFFFF && end.TotalEntries != total) ||
                    (end.CentralDirSize != 0xFFFFFFFFu && end.CentralDirSize != size64) ||
                    (end.CentralDirOffset != 0xFFFFFFFFu && end.CentralDirOffset != offset64))
                    return "its end record and its zip64 end record disagree";
                if (size64 > static_cast<uint64_t>(at) || total > size64 / kCentralHeaderSize)
                    return "its zip64 end record counts " + std::to_string(total) + " entries in " +
                           std::to_string(size64) + " bytes of directory, more than the file holds";
                count = static_cast<int64_t>(total);
                cdSize = static_cast<int64_t>(size64);
                // The directory ends where the zip64 record starts.
                cdPos = at - cdSize;
            }
        }
    }
    if (!multiVolume_ && end.EntriesOnThisDisk != end.TotalEntries)
        return "its end record counts " + std::to_string(end.EntriesOnThisDisk) + " entries on this disk of " +
               std::to_string(end.TotalEntries);
    // A 16-bit count of 0xFFFF says "this many or more" only beside a zip64 record.
    const bool saturated = !IsZip64 && end.TotalEntries == 0xFFFF;
    if (cdPos < 0 || cdSize > fileSize)
        return "its directory of " + std::to_string(cdSize) + " bytes does not fit in the file";
    if (!saturated && count > cdSize / kCentralHeaderSize)
        return "its end record counts " + std::to_string(count) + " entries; its directory of " +
               std::to_string(cdSize) + " bytes can hold " + std::to_string(cdSize / kCentralHeaderSize);
    if (std::string why = ReadEntries(cdPos, cdSize); !why.empty()) return why;
    const int64_t read = Items.Count();
    // Writers without zip64 records saturate or wrap a count of 65,536 and more.
    const bool countOk = read == count || (!IsZip64 && read > 0xFFFE && (saturated || count == read % 0x10000));
    if (!countOk)
        return "its end record counts " + std::to_string(count) + " entries, its directory holds " +
               std::to_string(read);
    CentralDirOffset = cdPos;
    EndOfArchive = fileSize;
    CalculateStubSize(endPos);
    if (headerShift_ > 0) ApplyStubOffset();
    // Offsets of a set are positions in their volumes: the archiver checks
    // where its entries lie once it has mapped them. Overlaps first: they
    // are refused, not rebuilt.
    if (multiVolume_) return {};
    const std::string why = CheckLayout();
    int64_t sum = 0;
    for (int32_t i = 0; i < Items.Count(); ++i) sum += Items[i].CSize();
    if (sum > fileSize) return "its entries' data add up to more than the file holds";
    return why;
}

std::string TAvDirManager::CheckLayout() const {
    // Each entry takes at least its local header, its name and its data.
    struct Span {
        int64_t from, to;
        int32_t index;
    };
    std::vector<Span> spans;
    spans.reserve(static_cast<size_t>(Items.Count()));
    for (int32_t i = 0; i < Items.Count(); ++i) {
        const TDirItem& it = Items[i];
        spans.push_back({it.Offset(), it.Offset() + kLocalHeaderSize + it.FileNameLength + it.CSize(), i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    for (size_t k = 1; k < spans.size(); ++k)
        if (spans[k].from < spans[k - 1].to)
            throw EAvException::Detailed(57, "entries " + Quoted(Items[spans[k - 1].index].Name) + " and " +
                                                 Quoted(Items[spans[k].index].Name) +
                                                 " overlap (a zip bomb, or damage)");
    for (const Span& s : spans)
        if (s.from < 0 || s.to > CentralDirOffset)
            return "the data of " + Quoted(Items[s.index].Name) + " run past the start of the directory";
    return {};
}

std::string TAvDirManager::ReadEntries(int64_t position, int64_t size) {
    stream_->SetPosition(position);
    // One read for the whole directory: it is bounded by the stream's size.
    const std::string cd = stream_->ReadString(size);
    size_t at = 0;
    while (at < cd.size()) {
        const std::string which = "central header " + std::to_string(Items.Count() + 1);
        if (cd.size() - at < 46 || Get32(cd, at) != kCentralSig) return which + " is missing or damaged";
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
        if (cd.size() - at < vary) return which + " runs past the end of the directory";
        it.Name = DecodeEntryName(std::string_view(cd).substr(at, it.FileNameLength));
        at += it.FileNameLength;
        ParseExtraField(it, std::string_view(cd).substr(at, it.ExtraFieldLength));
        at += it.ExtraFieldLength;
        it.Comment = cd.substr(at, it.FileCommentLength);
        at += it.FileCommentLength;
        if (it.CSize() < 0 || it.USize() < 0 || it.Offset() < 0) return which + " holds impossible sizes";
        Items.Append(it);
    }
    return {};
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

std::vector<std::string> TAvDirManager::CentralNamesFrom(int64_t pos) {
    std::vector<std::string> names;
    const int64_t size = stream_->Size();
    for (pos = FindSignature(pos, kCentralSig); pos >= 0; pos = FindSignature(pos + 4, kCentralSig)) {
        if (size - pos < kCentralHeaderSize) break;
        stream_->SetPosition(pos);
        const std::string h = stream_->ReadString(kCentralHeaderSize);
        const int64_t n = Get16(h, 28);
        if (size - pos - kCentralHeaderSize < n) break;
        names.push_back(DecodeEntryName(stream_->ReadString(n)));
    }
    return names;
}

void TAvDirManager::RebuildFromLocalHeaders(const std::string& why) {
    // What the directory named before it failed: names of it that do not
    // come back are lost.
    std::vector<std::string> listed;
    for (int32_t i = 0; i < Items.Count(); ++i) listed.push_back(Items[i].Name);
    Items.Clear();
    ArchiveComment.clear();  // it came with an end record found unusable
    IsZip64 = false;
    multiVolume_ = false;
    StubSize = 0;
    headerShift_ = 0;
    Damage = {why, {}};
    const int64_t size = stream_->Size();
    int64_t pos = FindSignature(0, kLocalSig);
    if (pos < 0) throw EAvException(35);
    int64_t dataEnd = 0;
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
        it.UncompressedSize64 = it.UncompressedSize;
        it.CompressedSize64 = it.CompressedSize;
        it.ExternalAttributes = it.UncompressedSize != 0 || (it.Flags & kFlagDescriptor) ? faArchive : faDirectory;
        it.SetOffset(pos);
        const int64_t dataStart = pos + kLocalHeaderSize + it.FileNameLength + it.ExtraFieldLength;
        if (dataStart > size) {
            // The header is cut: what it names is lost.
            if (size - pos - kLocalHeaderSize >= it.FileNameLength) {
                stream_->SetPosition(pos + kLocalHeaderSize);
                Damage.Lost.push_back(DecodeEntryName(stream_->ReadString(it.FileNameLength)));
            }
            break;
        }
        it.Name = DecodeEntryName(stream_->ReadString(it.FileNameLength));
        if (it.ExtraFieldLength > 260) {
            // Not a header this engine writes or reads: bytes that only look like one.
            pos = FindSignature(pos + 4, kLocalSig);
            continue;
        }
        ParseExtraField(it, stream_->ReadString(it.ExtraFieldLength));
        int64_t next = dataStart + it.CSize();
        bool whole = it.CSize() >= 0 && it.USize() >= 0 && next <= size;
        if (it.Flags & kFlagDescriptor) {
            const int64_t d = FindSignature(dataStart, kDescriptorSig);
            // With a zip64 block in the local header the sizes take 8 bytes each.
            const int64_t need = it.IsZip64 ? 24 : 16;
            whole = d >= 0 && size - d >= need;
            if (whole) {
                stream_->SetPosition(d);
                const std::string dd = stream_->ReadString(need);
                it.Crc32 = Get32(dd, 4);
                if (it.IsZip64) it.SetSizes(static_cast<int64_t>(Get64(dd, 8)), static_cast<int64_t>(Get64(dd, 16)));
                else it.SetSizes(Get32(dd, 8), Get32(dd, 12));
                next = d + need;
                whole = d - dataStart == it.CSize() && it.USize() >= 0;
            }
        }
        if (!whole) {
            // Its data are cut or do not end where they should: the entry is
            // lost, and headers inside what it claimed may still be whole.
            Damage.Lost.push_back(it.Name);
            pos = FindSignature(dataStart, kLocalSig);
            continue;
        }
        Items.Append(it);
        dataEnd = next;
        // Headers inside an entry's data (a stored archive) are its data.
        pos = FindSignature(next, kLocalSig);
    }
    for (const auto& name : CentralNamesFrom(dataEnd)) listed.push_back(name);
    for (const auto& name : listed) {
        int32_t index = -1;
        if (!Items.FileExists(name, index) &&
            std::find(Damage.Lost.begin(), Damage.Lost.end(), name) == Damage.Lost.end())
            Damage.Lost.push_back(name);
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
