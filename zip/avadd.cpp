// Adding entries: the add walk, the overwrite rules, the commit of a batch
// and the writer of one entry.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "zip/arkivolt.h"
#include "zip/avaes.h"
#include "zip/avcrypt.h"
#include "zip/avstream.h"
#include "zip/avzlib.h"

namespace zip {

namespace {

bool ExcludedBy(const std::string& path, const std::string& base, const std::vector<std::string>& exclusions) {
    for (const auto& m : exclusions) {
        if (m.empty()) continue;
        if (IsStrMatchPattern(path, m, true)) return true;
        if (m.find('/') == std::string::npos) {
            const std::string rel = path.compare(0, base.size() + 1, base + "/") == 0 ? path.substr(base.size() + 1) : path;
            if (IsStrMatchPattern(rel, m, true) || IsStrMatchPattern(path.substr(path.rfind('/') + 1), m, true))
                return true;
        }
    }
    return false;
}

struct Cancelled {};

// One deflate stream for a whole commit, reset between entries.
class TDeflater {
public:
    ~TDeflater() {
        if (level_ >= 0) deflateEnd(&zs_);
    }
    z_stream& Begin(int level) {
        if (level_ != level) {
            if (level_ >= 0) deflateEnd(&zs_);
            level_ = -1;
            zs_ = z_stream{};
            // Raw deflate: the entry holds no zlib header or checksum.
            CCheck(deflateInit2(&zs_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY));
            level_ = level;
        } else {
            CCheck(deflateReset(&zs_));
        }
        return zs_;
    }

private:
    z_stream zs_{};
    int level_ = -1;
};

}  // namespace

// ----------------------------------------------------------------- the walk

void TAvBaseArchiver::AddFiles() {
    CheckActive();
    std::vector<std::string> exclusions = ExclusionMasks;
    exclusions.push_back(ResolvePath(FileName, AvCurrentFolder()));
    BeginUpdate();
    try {
        InternalAddFiles(FileMasks, Options.SearchAttr, exclusions);
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::AddFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    CheckActive();
    std::vector<std::string> exclusions{ResolvePath(FileName, AvCurrentFolder())};
    if (!exclusionMask.empty()) exclusions.push_back(exclusionMask);
    BeginUpdate();
    try {
        InternalAddFiles({mask}, searchAttr, exclusions);
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::AddFromString(const std::string& name, const std::string& text, uint32_t attr, time_t modified) {
    AddFromStream(name, std::make_shared<TAvMemoryStream>(text), false, 0, 0, attr, modified);
}

void TAvBaseArchiver::AddFromBuffer(const std::string& name, const void* buffer, int64_t count, uint32_t attr,
                                    time_t modified) {
    const std::string data(static_cast<const char*>(buffer), static_cast<size_t>(std::max<int64_t>(count, 0)));
    AddFromString(name, data, attr, modified);
}

void TAvBaseArchiver::AddFromStream(const std::string& name, std::shared_ptr<TAvStream> stream, bool copyToBuffer,
                                    int64_t position, int64_t count, uint32_t attr, time_t modified) {
    CheckActive();
    const int64_t available = std::max<int64_t>(0, stream->Size() - position);
    const int64_t size = count > 0 ? std::min(count, available) : available;
    if (copyToBuffer) {
        const int64_t saved = stream->Position();
        stream->SetPosition(position);
        auto copy = std::make_shared<TAvMemoryStream>(stream->ReadString(size));
        stream->SetPosition(saved);
        stream = std::move(copy);
        position = 0;
    }
    BeginUpdate();
    try {
        std::string stored = name;
        std::replace(stored.begin(), stored.end(), '\\', '/');
        AddFileInit(stored, static_cast<int32_t>(attr), stream, UnixToDos(modified ? modified : ::time(nullptr)), size);
        int32_t index = -1;
        if (dir_->Items.FileExists(stored, index) && dir_->Items[index].SourceStream == stream) {
            TDirItem& it = dir_->Items.GetItemPtr(index);
            it.SourcePosition = position;
            it.SourceCount = size;
        }
    } catch (...) {
        CancelUpdate();
        throw;
    }
    EndUpdate();
}

void TAvBaseArchiver::InternalAddFiles(const std::vector<std::string>& masks, int32_t searchAttr,
                                       const std::vector<std::string>& exclusions) {
    const std::string saved = workDir_;
    struct Restore {
        std::string& target;
        std::string value;
        ~Restore() { target = value; }
    } restore{workDir_, saved};
    workDir_ = ResolvePath(BaseDir.empty() ? AvCurrentFolder() : BaseDir, AvCurrentFolder());
    for (const auto& mask : masks) {
        if (mask.empty()) continue;
        const std::string full = mask[0] == '/' ? mask : workDir_ + "/" + mask;
        const std::string folder = ResolvePath(AvFolderOf(full), "/");
        const std::string pattern = full.substr(full.rfind('/') + 1);
        if (pattern.find_first_of("*?") != std::string::npos || Options.Recurse) {
            AddWalk(folder, pattern, Options.Recurse, searchAttr, exclusions);
            continue;
        }
        const std::string path = ResolvePath(full, "/");
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (ExcludedBy(path, workDir_, exclusions)) continue;
        bool confirm = true;
        DoOnConfirmProcessFile(path, poAdd, confirm);
        if (confirm) AddFileInit(path, AvFileGetAttr(path), nullptr, UnixToDos(st.st_mtime), st.st_size);
    }
}

void TAvBaseArchiver::AddWalk(const std::string& folder, const std::string& pattern, bool recurse,
                              int32_t searchAttr, const std::vector<std::string>& exclusions) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    const std::string prefix = folder == "/" ? "/" : folder + "/";
    for (const auto& n : names) {
        const std::string path = prefix + n;
        struct stat lst {}, st {};
        if (::lstat(path.c_str(), &lst) != 0 || ::stat(path.c_str(), &st) != 0) continue;
        if (ExcludedBy(path, workDir_, exclusions)) continue;
        if (S_ISDIR(st.st_mode)) {
            // Linked folders are not entered: a link may lead back up the tree.
            if (S_ISLNK(lst.st_mode)) continue;
            if ((searchAttr & faDirectory) && IsStrMatchPattern(n, pattern, true)) {
                bool confirm = true;
                DoOnConfirmProcessFile(path, poAdd, confirm);
                if (confirm) AddFileInit(path, AvFileGetAttr(path), nullptr, UnixToDos(st.st_mtime), 0);
            }
            if (recurse) AddWalk(path, pattern, recurse, searchAttr, exclusions);
            continue;
        }
        if (!S_ISREG(st.st_mode) || !IsStrMatchPattern(n, pattern, true)) continue;
        const int32_t attr = AvFileGetAttr(path);
        if (attr < 0 || !(attr & searchAttr)) continue;
        bool confirm = true;
        DoOnConfirmProcessFile(path, poAdd, confirm);
        if (confirm) AddFileInit(path, attr, nullptr, UnixToDos(st.st_mtime), st.st_size);
    }
}

void TAvBaseArchiver::AddFileInit(const std::string& path, int32_t attr, std::shared_ptr<TAvStream> source,
                                  uint32_t dosTime, int64_t size) {
    const bool folder = attr >= 0 && (attr & faDirectory);
    std::string stored = source ? path : MakeStoredName(path, workDir_, Options.StorePath);
    if (folder) stored += "/";
    uint32_t attributes = attr < 0 ? faArchive : static_cast<uint32_t>(attr);
    std::string comment;
    DoOnStoreFile(stored, attributes, comment, path);
    std::replace(stored.begin(), stored.end(), '\\', '/');
    if (stored.empty()) return;

    TAvDirArray& items = dir_->Items;
    int32_t index = -1;
    TAvProcessOperation op = poAdd;
    if (items.FileExists(stored, index)) {
        const TDirItem& old = items[index];
        bool replace = false;
        switch (Options.OverwriteMode) {
            case omPrompt: {
                std::string dest = old.Name;
                DoOnConfirmOverwrite(path, dest, replace);
                break;
            }
            case omAlways: replace = true; break;
            case omNever: replace = false; break;
            case omIfNewer: replace = dosTime > old.DosDateTime(); break;
            case omIfOlder: replace = dosTime < old.DosDateTime(); break;
        }
        // Two sources of one batch under one name, or names that differ only
        // in case, would overwrite each other: the later one is left out
        // (its file stays where it is).
        if (!replace || old.Name != stored || (old.Tagged && old.SourceFileName != path)) return;
        op = poUpdate;
    }
    TDirItem it = index >= 0 ? items[index] : TDirItem();
    it.Name = stored;
    it.Tagged = true;
    it.Operation = op;
    FillDirItem(it, path, std::move(source), dosTime, size, attributes, comment, folder);
    if (index >= 0) items.SetItem(index, it);
    else items.Append(it);
}

// The entry's fields for a new source; its name and operation are the caller's.
void TAvBaseArchiver::FillDirItem(TDirItem& it, const std::string& path, std::shared_ptr<TAvStream> source,
                                  uint32_t dosTime, int64_t size, uint32_t attributes, const std::string& comment,
                                  bool folder) {
    it.Password = password_;
    it.SourceFileName = path;
    it.SourceStream = std::move(source);
    it.SourcePosition = 0;
    it.CompressionMode = static_cast<uint8_t>(folder ? 0 : mode_);
    for (const auto& m : NoCompressionMasks)
        if (IsStrMatchPattern(path.substr(path.rfind('/') + 1), m, true)) it.CompressionMode = 0;
    it.VersionMadeBy = it.VersionNeeded = Options.OEMFileNames ? kMadeByOem : kMadeByUnicode;
    it.Flags = password_.empty() ? 0 : kFlagEncrypted;
    it.CompressionMethod = static_cast<uint16_t>(it.CompressionMode == 0 || compMethod_ < 0 ? 0 : compMethod_);
    it.LastModDate = static_cast<uint16_t>(dosTime >> 16);
    it.LastModTime = static_cast<uint16_t>(dosTime);
    it.Crc32 = 0xFFFFFFFFu;
    it.IsZip64 = Zip64Mode == zmAlways;
    it.SetSizes(0, 0);
    it.ExpectedSize = size;
    it.ExternalAttributes = attributes;
    it.Comment = comment;
    it.ExtraFields.clear();
    it.EncryptionAlgorithm = static_cast<uint8_t>(password_.empty() ? caPkzipClassic : EncryptionMethod);
    if (folder) {
        it.CompressionMethod = 0;
        it.Crc32 = 0;
        it.Flags = kFlagFolder;
    }
}

// ------------------------------------------------------------------ commit

class TAvCommit {
public:
    explicit TAvCommit(TAvBaseArchiver& a) : a_(a), cur_(a.dir_->Items), bak_(a.dir_->BackupItems) {}
    void Run();

private:
    enum Result { Written, Skipped };
    void Append(int32_t first);
    // Where the data of the entries kept end.
    int64_t DataEnd();
    void Rewrite(int32_t first);
    Result WriteTagged(TAvStream& out, TDirItem& it);
    void WriteEntry(TAvStream& out, TDirItem& it);
    void CopyKept(TAvStream& out, TDirItem& it);
    void CopyForeign(TAvStream& out, TDirItem& it, const std::string& shown);
    void Progress(const std::string& name, int64_t done, int64_t size, TAvProgressPhase phase);

    TAvBaseArchiver& a_;
    TAvDirArray& cur_;
    TAvDirArray& bak_;
    TDeflater deflater_;
    std::vector<char> chunk_;
    std::string out_;
    int64_t total_ = 0, base_ = 0;
    TAvProcessOperation op_ = poDelete;
};

void TAvBaseArchiver::ForceUpdate() {
    if (updateCount_ <= 0) return;
    updateCount_ = 0;
    // Moved sources go only after a commit that went through.
    const std::vector<TAvMovedSource> moved = std::exchange(moved_, {});
    TAvCommit(*this).Run();
    if (!volumeWork_.empty()) WriteVolumes();
    DeleteMovedSources(moved);
}

void TAvCommit::Run() {
    for (int32_t i = 0; i < cur_.Count(); ++i) {
        if (!cur_[i].Tagged) continue;
        if (op_ == poDelete) op_ = static_cast<TAvProcessOperation>(cur_[i].Operation);
        total_ += cur_[i].ExpectedSize;
    }
    bool cancel = false;
    a_.DoOnOverallProgress(0, op_, ppStart, cancel);
    if (cancel) {
        cur_.Assign(bak_);
        throw EAvBatchAborted("Archive update cancelled");
    }
    const int32_t common = std::min(cur_.Count(), bak_.Count());
    int32_t first = common;
    for (int32_t i = 0; i < common; ++i) {
        if (cur_[i].Tagged || AvLowerCase(cur_[i].Name) != AvLowerCase(bak_[i].Name)) {
            first = i;
            break;
        }
    }
    const bool commentOnly = std::exchange(a_.commentChanged_, false);
    if (first == bak_.Count() && cur_.Count() == bak_.Count() && !commentOnly) return;  // nothing changed
    if (first >= bak_.Count()) Append(first);
    else Rewrite(first);
    cur_.ClearTags();
    a_.DoOnOverallProgress(100, op_, ppEnd, cancel);
}

// New entries go where the old directory stands, or where the last entry's
// data end when an earlier append was killed and left room unused there.
// Before that, a copy of the old directory and end records is put beyond
// the room the new entries can take, so until the new directory is
// complete and synced, the archive's last end record is still the old,
// valid one.
void TAvCommit::Append(int32_t first) {
    TAvStream& s = *a_.stream_;
    const int64_t oldDir = a_.dir_->CentralDirOffset;
    const int64_t dirAt = std::min(oldDir, DataEnd());
    const int64_t oldEnd = s.Size();
    s.SetPosition(oldDir);
    const std::string oldTail = s.ReadString(oldEnd - oldDir);
    int64_t room = 4096 + static_cast<int64_t>(a_.dir_->ArchiveComment.size());
    for (int32_t i = 0; i < cur_.Count(); ++i) {
        const TDirItem& it = cur_[i];
        room += 46 + 28 + static_cast<int64_t>(it.Name.size() + it.Comment.size());
        for (const auto& f : it.ExtraFields) room += 4 + static_cast<int64_t>(f.Data.size());
        if (i >= first && it.Tagged)
            room += 30 + 20 + 12 + static_cast<int64_t>(it.Name.size()) + it.ExpectedSize + it.ExpectedSize / 8 + 1024;
    }
    const int64_t shadowAt = std::max(oldEnd, dirAt + room);
    const bool flush = a_.Options.FlushBuffers;
    try {
        // The copy records its own position, so readers take its entries'
        // offsets as they stand.
        if (!oldTail.empty()) {
            s.SetPosition(shadowAt);
            s.WriteString(TAvDirManager::DirectoryBytes(bak_, shadowAt, a_.dir_->ArchiveComment));
            if (flush) s.Sync();
        }
        s.SetPosition(dirAt);
        for (int32_t i = first; i < cur_.Count(); ++i) {
            if (WriteTagged(s, cur_.GetItemPtr(i)) == Skipped) cur_.DeleteItem(i--);
            if (!oldTail.empty() && s.Position() > shadowAt) throw EAvException(46, &a_);
        }
        const int64_t newDir = s.Position();
        const std::string directory = TAvDirManager::DirectoryBytes(cur_, newDir, a_.dir_->ArchiveComment);
        if (!oldTail.empty() && newDir + static_cast<int64_t>(directory.size()) > shadowAt)
            throw EAvException(46, &a_);
        s.WriteString(directory);
        const int64_t end = s.Position();
        if (flush) s.Sync();
        // Until the cut is on disk the old directory still ends the file,
        // which is valid too; the next commit's sync or the close makes it
        // durable.
        s.SetSize(end);
        a_.dir_->CentralDirOffset = newDir;
        a_.dir_->EndOfArchive = end;
    } catch (...) {
        s.SetPosition(oldDir);
        s.WriteString(oldTail);
        s.SetSize(oldEnd);
        if (flush) s.Sync();
        cur_.Assign(bak_);
        throw;
    }
}

int64_t TAvCommit::DataEnd() {
    if (bak_.Count() == 0) return a_.dir_->CentralDirOffset;
    int32_t last = 0;
    for (int32_t i = 1; i < bak_.Count(); ++i)
        if (bak_[i].Offset() > bak_[last].Offset()) last = i;
    try {
        return bak_[last].Offset() + TAvBaseArchiver::StoredEntryLength(*a_.stream_, bak_[last]);
    } catch (const EAvException&) {
        return a_.dir_->CentralDirOffset;
    }
}

// Entries before the first change stay; everything from there is written
// into a new file beside the archive, which then replaces it. An archive in
// memory or on a caller's stream is rebuilt in memory and copied back.
void TAvCommit::Rewrite(int32_t first) {
    TAvStream& s = *a_.stream_;
    const int64_t keep = bak_[first].Offset();
    std::unique_ptr<TAvTempBeside> temp;
    std::unique_ptr<TAvStream> out;
    // The file the archive is: FileName, or the work file of a set of volumes.
    const std::string path = a_.volumeWork_.empty() ? a_.FileName : a_.volumeWork_;
    if (a_.onFile_) {
        temp = std::make_unique<TAvTempBeside>(path);
        if (temp->Path().empty()) throw EAvException(19, AvFolderOf(path), &a_);
    }
    try {
        if (temp) out = std::make_unique<TAvFileStream>(temp->Path(), TAvFileStream::ofReadWrite);
        else out = std::make_unique<TAvMemoryStream>();
        s.SetPosition(0);
        CopyStream(s, *out, keep);
        for (int32_t i = first; i < cur_.Count(); ++i) {
            TDirItem& it = cur_.GetItemPtr(i);
            const bool rewrite = it.Tagged && it.Operation != poRename && it.Operation != poChangeAttr &&
                                 it.Operation != poChangeComment;
            if (!rewrite) {
                CopyKept(*out, it);
                continue;
            }
            if (WriteTagged(*out, it) == Written) continue;
            int32_t old = -1;
            if (bak_.FileExists(it.Name, old)) {
                // A failed update keeps the entry as it was.
                it = bak_[old];
                CopyKept(*out, it);
            } else {
                cur_.DeleteItem(i--);
            }
        }
        const int64_t newDir = out->Position();
        out->WriteString(TAvDirManager::DirectoryBytes(cur_, newDir, a_.dir_->ArchiveComment));
        const int64_t end = out->Position();
        if (temp) {
            out->Sync();
            out.reset();
            if (rtl::TFileFailure why; !AvReplaceWith(temp->Path(), path, path, why))
                throw EAvException::Detailed(36, path, why.Text(), &a_);
            temp->Keep();
            a_.stream_ = std::make_unique<TAvFileStream>(path, TAvFileStream::ofReadWrite);
            a_.dir_->SetStream(a_.stream_.get());
        } else {
            out->SetPosition(0);
            s.SetPosition(0);
            CopyStream(*out, s, end);
            s.SetSize(end);
        }
        a_.dir_->CentralDirOffset = newDir;
        a_.dir_->EndOfArchive = end;
    } catch (...) {
        cur_.Assign(bak_);
        throw;
    }
}

int64_t TAvBaseArchiver::StoredEntryLength(TAvStream& s, const TDirItem& it) {
    const int64_t from = it.Offset();
    s.SetPosition(from);
    const std::string h = s.ReadString(std::min<int64_t>(kLocalHeaderSize, std::max<int64_t>(s.Size() - from, 0)));
    if (h.size() < kLocalHeaderSize || Get32(h, 0) != kLocalSig) throw EAvException(57);
    int64_t length = kLocalHeaderSize + Get16(h, 26) + Get16(h, 28) + it.CSize();
    if (Get16(h, 6) & kFlagDescriptor) {
        // The sizes there take 8 bytes each when the local header has a zip64 block.
        s.SetPosition(from + kLocalHeaderSize + Get16(h, 26));
        const std::string extra = s.ReadString(std::min<int64_t>(Get16(h, 28), std::max<int64_t>(s.Size() - s.Position(), 0)));
        bool zip64 = false;
        for (size_t at = 0; at + 4 <= extra.size(); at += 4 + Get16(extra, at + 2))
            zip64 = zip64 || Get16(extra, at) == 1;
        s.SetPosition(from + length);
        const std::string sig = s.ReadString(std::min<int64_t>(4, std::max<int64_t>(s.Size() - from - length, 0)));
        length += (sig.size() == 4 && Get32(sig, 0) == kDescriptorSig ? 4 : 0) + 4 + (zip64 ? 16 : 8);
    }
    if (from + length > s.Size()) throw EAvException(57);
    return length;
}

void TAvCommit::CopyKept(TAvStream& out, TDirItem& it) {
    // A finished rename leaves its operation on the entry: only a pending one counts.
    const bool renamed = it.Tagged && it.Operation == poRename && !it.OldName.empty();
    int32_t old = -1;
    if (!bak_.FileExists(renamed ? it.OldName : it.Name, old)) throw EAvException(7, &a_);
    TAvStream& s = *a_.stream_;
    const int64_t from = bak_[old].Offset();
    int64_t length = TAvBaseArchiver::StoredEntryLength(s, bak_[old]);
    it.SetOffset(out.Position());
    s.SetPosition(from);
    if (renamed) {
        // A new local header with the new name; its extra field and the data stay.
        std::string h = s.ReadString(kLocalHeaderSize);
        const uint16_t oldLen = Get16(h, 26);
        s.SetPosition(from + kLocalHeaderSize + oldLen);
        const bool utf8 = NameNeedsUtf8(it.Name);
        if (it.Name.size() > 0xFFFF) throw EAvException(61, it.Name, &a_);
        it.Flags = static_cast<uint16_t>((it.Flags & ~kFlagUtf8) | (utf8 ? kFlagUtf8 : 0));
        std::string flags, nameLen;
        Put16(flags, static_cast<uint16_t>((Get16(h, 6) & ~kFlagUtf8) | (utf8 ? kFlagUtf8 : 0)));
        Put16(nameLen, static_cast<uint16_t>(it.Name.size()));
        h.replace(6, 2, flags);
        h.replace(26, 2, nameLen);
        out.WriteString(h + it.Name);
        length -= kLocalHeaderSize + oldLen;
    }
    CopyStream(s, out, length);
}

void TAvCommit::Progress(const std::string& name, int64_t done, int64_t size, TAvProgressPhase phase) {
    bool cancel = false;
    const double filePct = phase == ppStart ? 0 : phase == ppEnd ? 100 : size ? 100.0 * double(done) / double(size) : 100;
    a_.DoOnFileProgress(name, filePct, op_, phase, cancel);
    if (cancel) throw Cancelled();
    if (phase != ppProcess) return;
    a_.DoOnOverallProgress(total_ ? 100.0 * double(base_ + done) / double(total_) : 50, op_, ppProcess, cancel);
    if (cancel) throw Cancelled();
}

TAvCommit::Result TAvCommit::WriteTagged(TAvStream& out, TDirItem& it) {
    const int64_t start = out.Position();
    const TDirItem before = it;
    for (;;) {
        try {
            WriteEntry(out, it);
            return Written;
        } catch (const Cancelled&) {
            throw EAvBatchAborted("Archive update cancelled");
        } catch (const EAvException& e) {
            out.SetPosition(start);
            it = before;
            TAvAction action = fxaAbort;
            const std::string name = it.SourceFileName.empty() ? it.Name : it.SourceFileName;
            a_.DoOnProcessFileFailure(name, static_cast<TAvProcessOperation>(it.Operation), e.NativeError,
                                      e.ErrorCode, e.Message, action);
            if (action == fxaRetry) continue;
            if (action == fxaIgnore) return Skipped;
            throw EAvBatchAborted(e.Message);
        }
    }
}

void TAvCommit::WriteEntry(TAvStream& out, TDirItem& it) {
    const std::string shown = it.SourceFileName.empty() ? it.Name : it.SourceFileName;
    Progress(shown, 0, 0, ppStart);
    if (it.Operation == poMerge) return CopyForeign(out, it, shown);
    const bool folder = it.Flags == kFlagFolder && !it.Name.empty() && it.Name.back() == '/';
    const bool encrypt = !folder && !it.Password.empty();
    std::unique_ptr<TAvStream> file;
    TAvStream* src = it.SourceStream.get();
    if (!folder && !src) {
        file = std::make_unique<TAvFileStream>(it.SourceFileName, TAvFileStream::ofRead);
        src = file.get();
    }
    const int64_t size = !src ? 0 : it.SourceCount >= 0 ? it.SourceCount : src->Size() - it.SourcePosition;
    if (a_.Zip64Mode == zmDisabled && size >= 0xFFFFFFFFLL) throw EAvException(41, shown, &a_);
    it.CompressionMethod = static_cast<uint16_t>(size == 0 ? 0 : it.CompressionMode == 0 ? 0 : 8);
    it.ActualCompressionMethod = it.CompressionMethod;
    // AES with the entry's own password and method; each entry gets its own
    // salt. AE-2: the authentication code, not the CRC, vouches for the data.
    std::unique_ptr<TAesEntryEncoder> aes;
    if (const uint8_t strength = encrypt ? AesStrength(TAvCryptoAlgorithm(it.EncryptionAlgorithm)) : 0) {
        const TAesField field{kAesVersion2, strength, it.ActualCompressionMethod};
        aes = std::make_unique<TAesEntryEncoder>(it.Password, field);
        it.CompressionMethod = kAesMethod;
        it.ExtraFields = {AesExtraField(field)};
    }
    it.Flags = static_cast<uint16_t>((it.Flags & ~kFlagUtf8) | (NameNeedsUtf8(it.Name) ? kFlagUtf8 : 0));
    if (!encrypt) it.Flags &= static_cast<uint16_t>(~kFlagEncrypted);
    const int64_t offset = out.Position();
    if (a_.Zip64Mode == zmDisabled && offset >= 0xFFFFFFFFLL) throw EAvException(43, shown, &a_);
    it.SetOffset(offset);
    it.Crc32 = 0;
    it.SetSizes(0, 0);
    // The local header is rewritten in place once the data are out, so its
    // length must not change: an entry that may cross 4 GiB once compressed
    // or encrypted (deflate's worst case is well under 1/256 more) takes the
    // zip64 field from the start.
    if (a_.Zip64Mode != zmDisabled && size > 0xFFFFFFFFLL - (size >> 8) - (1 << 20)) it.IsZip64 = true;
    out_ = LocalHeaderBytes(it);
    const size_t headerLen = out_.size();
    bool flushed = false;
    auto flushOut = [&](bool force) {
        if (!force && out_.size() < (4u << 20)) return;
        out.WriteString(out_);
        out_.clear();
        flushed = true;
    };

    uint32_t crc = 0xFFFFFFFFu, firstPassCrc = 0;
    const int64_t chunkSize = std::min<int64_t>(ChunkSizeForMode(it.CompressionMode), std::max<int64_t>(size, 1));
    if (static_cast<int64_t>(chunk_.size()) < chunkSize) chunk_.resize(static_cast<size_t>(chunkSize));
    TZipKey keys;
    if (encrypt && !aes) {
        // The header's check bytes need the CRC before any data go out.
        src->SetPosition(it.SourcePosition);
        uint32_t running = 0xFFFFFFFFu;
        for (int64_t left = size; left > 0;) {
            const int64_t n = src->Read(chunk_.data(), std::min(left, chunkSize));
            if (n <= 0) break;
            running = ZipCrcUpdate(running, chunk_.data(), static_cast<size_t>(n));
            left -= n;
        }
        firstPassCrc = ~running;
        ZipEncryptKeyInit(it.Password, keys);
        uint8_t header[12];
        ZipMakeHeader(firstPassCrc, keys, header);
        out_.append(reinterpret_cast<const char*>(header), 12);
    }
    if (aes) out_ += aes->StartBlock();
    int64_t done = 0;
    if (src) {
        src->SetPosition(it.SourcePosition);
        z_stream* zs = it.ActualCompressionMethod == 8 ? &deflater_.Begin(it.CompressionMode) : nullptr;
        for (;;) {
            Progress(shown, done, size, ppProcess);
            const int64_t want = std::min(chunkSize, size - done);
            const int64_t n = want > 0 ? src->Read(chunk_.data(), want) : 0;
            if (n < 0 || n < want) break;
            crc = ZipCrcUpdate(crc, chunk_.data(), static_cast<size_t>(n));
            done += n;
            const bool last = done >= size;
            const size_t mark = out_.size();
            if (!zs) {
                out_.append(chunk_.data(), static_cast<size_t>(n));
            } else {
                zs->next_in = reinterpret_cast<Bytef*>(chunk_.data());
                zs->avail_in = static_cast<uInt>(n);
                int r;
                do {
                    const size_t room = deflateBound(zs, zs->avail_in) + 64;
                    const size_t at = out_.size();
                    out_.resize(at + room);
                    zs->next_out = reinterpret_cast<Bytef*>(out_.data() + at);
                    zs->avail_out = static_cast<uInt>(room);
                    r = CCheck(deflate(zs, last ? Z_FINISH : Z_NO_FLUSH));
                    out_.resize(at + room - zs->avail_out);
                } while (last ? r != Z_STREAM_END : zs->avail_in > 0 || zs->avail_out == 0);
            }
            if (aes)
                aes->Encrypt(out_.data() + mark, out_.size() - mark);
            else if (encrypt)
                ZipEncryptBuffer(reinterpret_cast<uint8_t*>(out_.data() + mark), out_.size() - mark, keys);
            if (last) break;
            flushOut(false);
        }
    }
    if (done != size) throw EAvException(34, size, done, &a_);
    if (aes) out_ += aes->AuthCode();
    crc = ~crc;
    // The file changed between the two passes: the check bytes are wrong.
    if (encrypt && !aes && crc != firstPassCrc) throw EAvException(8, &a_);
    const int64_t written = (flushed ? out.Position() - offset : 0) + static_cast<int64_t>(out_.size()) -
                            static_cast<int64_t>(headerLen);
    it.Crc32 = folder || aes ? 0 : crc;
    it.WrittenCrc32 = crc;
    it.SetSizes(written, size);
    it.UncompressedSize64 = static_cast<uint64_t>(size);
    if (it.IsZip64 && a_.Zip64Mode == zmDisabled) throw EAvException(41, shown, &a_);
    const std::string header = LocalHeaderBytes(it);
    if (!flushed) {
        out_.replace(0, headerLen, header);
        out.WriteString(out_);
    } else {
        // A longer header would overwrite the entry's first bytes.
        if (header.size() != headerLen) throw EAvException(41, shown, &a_);
        out.WriteString(out_);
        const int64_t end = out.Position();
        out.SetPosition(offset);
        out.WriteString(header);
        out.SetPosition(end);
    }
    out_.clear();
    base_ += size;
    it.Tagged = false;
    it.SourceStream.reset();
    Progress(shown, size, size, ppEnd);
}

// An entry of another archive (merging, repairing), copied as it is
// stored: its header, data and any data descriptor.
void TAvCommit::CopyForeign(TAvStream& out, TDirItem& it, const std::string& shown) {
    TAvStream& src = *it.SourceStream;
    TDirItem at = it;
    at.SetOffset(it.SourcePosition);
    const int64_t length = TAvBaseArchiver::StoredEntryLength(src, at);
    const int64_t offset = out.Position();
    if (a_.Zip64Mode == zmDisabled && offset >= 0xFFFFFFFFLL) throw EAvException(43, shown, &a_);
    src.SetPosition(it.SourcePosition);
    const int64_t piece = 1 << 20;
    for (int64_t done = 0; done < length;) {
        Progress(shown, done, length, ppProcess);
        const int64_t n = std::min(piece, length - done);
        CopyStream(src, out, n);
        done += n;
    }
    it.SetOffset(offset);
    base_ += length;
    it.Tagged = false;
    it.SourceStream.reset();
    Progress(shown, length, length, ppEnd);
}

}  // namespace zip
