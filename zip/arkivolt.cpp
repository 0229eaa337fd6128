#include "zip/arkivolt.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/ui/prompter.h"
#include "zip/avaes.h"
#include "zip/avcrypt.h"
#include "zip/avextract.h"
#include "zip/avstream.h"
#include "zip/avzlib.h"

namespace zip {

TAvBaseArchiver::TAvBaseArchiver() { SetCompressionLevel(clFastest); }

TAvBaseArchiver::~TAvBaseArchiver() { ReleaseStream(); }

TArkivolt::TArkivolt() {
    dataEnabled_ = true;
    Zip64Mode = zmDisabled;
    SetCompMethod();
}

TArkivolt::~TArkivolt() = default;

void TAvBaseArchiver::SetCompressionLevel(TAvCompressionLevel l) {
    level_ = l;
    mode_ = ModeFromLevel(l);
    SetCompMethod();
}

void TAvBaseArchiver::SetCompressionMode(int m) {
    if (m < 0 || m > 9) throw EAvException(5, this);
    mode_ = m;
    level_ = LevelFromMode(m);
    SetCompMethod();
}

void TAvBaseArchiver::SetSpanningMode(TAvSpanningMode m) {
    if (Active()) throw rtl::Exception("Cannot set spanning mode on open archive");
    spanning_ = m;
}

// ------------------------------------------------------------------- events

void TAvBaseArchiver::DoOnOverallProgress(double p, TAvProcessOperation op, TAvProgressPhase ph, bool& cancel) {
    cancel = false;
    if (OnOverallProgress) OnOverallProgress(p, op, ph, cancel);
}

void TAvBaseArchiver::DoOnFileProgress(const std::string& f, double p, TAvProcessOperation op, TAvProgressPhase ph,
                                       bool& cancel) {
    cancel = false;
    if (OnFileProgress) OnFileProgress(f, p, op, ph, cancel);
}

void TAvBaseArchiver::DoOnConfirmOverwrite(const std::string& src, std::string& dest, bool& confirm) {
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(src, dest, confirm);
        return;
    }
    // The prompter has no "to all" buttons: each file gets its own answer.
    confirm = ui::MessageDlg(AvFormat(avres::ConfirmOverwrite, {dest, src}), ui::mtConfirmation, ui::mbYesNo) ==
              ui::mrYes;
}

void TAvBaseArchiver::DoOnConfirmProcessFile(const std::string& f, TAvProcessOperation op, bool& confirm) {
    confirm = true;
    if (OnConfirmProcessFile) OnConfirmProcessFile(f, op, confirm);
}

void TAvBaseArchiver::DoOnPassword(const std::string& f, std::string& pw, bool& skip) {
    if (OnPassword) {
        OnPassword(f, pw, skip);
        return;
    }
    std::string value = pw;
    const bool ok = ui::InputQuery(AvFormat(avres::PasswordTitle, {f}), avres::PasswordLabel, value);
    skip = !ok;
    if (ok) pw = value.substr(0, 255);
}

void TAvBaseArchiver::DoOnProcessFileFailure(const std::string& f, TAvProcessOperation op, int native, int code,
                                             const std::string& msg, TAvAction& action) {
    action = fxaIgnore;
    if (OnProcessFileFailure) {
        OnProcessFileFailure(f, op, native, code, msg, action);
        return;
    }
    if (native == 45) {
        action = fxaAbort;
        return;
    }
    ui::TModalResult r;
    if (native == 61) r = ui::MessageDlg(msg, ui::mtConfirmation, ui::mbAbort | ui::mbIgnore);
    else
        r = ui::MessageDlg(AvFormat(avres::ProcessFileFailure, {msg}), ui::mtError,
                           ui::mbAbort | ui::mbRetry | ui::mbIgnore);
    action = r == ui::mrRetry ? fxaRetry : r == ui::mrIgnore ? fxaIgnore : fxaAbort;
}

void TAvBaseArchiver::DoOnDiskFull(int volume, const std::string& name, bool& cancel) {
    if (OnDiskFull) {
        OnDiskFull(volume, name, cancel);
        return;
    }
    if (spanning_ != smSpanning) throw EAvException(65, this);
    const std::string folder = name.substr(0, name.rfind('/') + 1);
    const std::string text = AvFormat(avres::DiskFull, {std::to_string(SpanningOptions.GetVolumeSize(volume_)),
                                                        std::to_string(GetFreeDriveSpace(folder.empty() ? "." : folder))});
    cancel = ui::MessageDlg(text, ui::mtWarning, ui::mbOKCancel) != ui::mrOk;
}

void TAvBaseArchiver::DoOnStoreFile(std::string& name, uint32_t& attr, std::string& comment,
                                    const std::string& orig) {
    if (OnStoreFile) OnStoreFile(name, attr, comment, orig);
}

void TAvBaseArchiver::DoOnArchiveDamaged(const std::string& reason, const std::vector<std::string>& lost) {
    if (OnArchiveDamaged) OnArchiveDamaged(reason, lost);
}

// ---------------------------------------------------------- open and close

bool TAvBaseArchiver::Exists() const {
    struct stat st {};
    return ::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {
bool HasNamePart(const std::string& path) { return !path.empty() && path.back() != '/'; }
}  // namespace

void TAvBaseArchiver::OpenArchive() {
    if (inMemory_) return OpenArchive(kModeCreate);
    if (!HasNamePart(FileName)) throw EAvException(9, this);
    if (!Exists()) return OpenArchive(kModeCreate);
    const bool writable = ::access(FileName.c_str(), W_OK) == 0;
    OpenArchive(writable ? kModeReadWrite : kModeReadOnly);
}

void TAvBaseArchiver::OpenArchive(uint16_t mode) {
    if (inMemory_) {
        if (mode != kModeCreate) throw EAvException(28, this);
        ReleaseStream();
        openMode_ = mode;
        stream_ = std::make_unique<TAvMemoryStream>();
        dir_ = std::make_unique<TAvDirManager>(stream_.get());
        if (AfterOpen) AfterOpen();
        return;
    }
    if (!HasNamePart(FileName)) throw EAvException(10, this);
    if (mode != kModeCreate && spanning_ != smSpanning && !Exists()) throw EAvException(12, FileName, this);
    ReleaseStream();
    openMode_ = mode;
    onFile_ = true;
    if (mode == kModeCreate) {
        OpenVolumesForCreating();
    } else {
        // The access bits decide, whatever share bits come with them.
        const bool write = (mode & 3) != 0;
        // Temporaries of rewrites that a killed process left beside it.
        if (write && spanning_ == smNone) AvRemoveStaleTemps(FileName);
        try {
            OpenVolumesForReading(write);
        } catch (...) {
            ReleaseStream();
            throw;
        }
        ReadDirectory();
    }
    if (AfterOpen) AfterOpen();
}

void TAvBaseArchiver::ReadDirectory() {
    try {
        dir_ = std::make_unique<TAvDirManager>(stream_.get());
        TAvEndRecord end;
        std::string comment;
        if (!RepairMode && FindEndRecord(*stream_, end, comment) < 0) throw EAvException(48, this);
        dir_->LoadDir(RepairMode);
        MapVolumeOffsets();
    } catch (...) {
        ReleaseStream();
        throw;
    }
    if (dir_->Rebuilt()) DoOnArchiveDamaged(dir_->Damage.Reason, dir_->Damage.Lost);
}

void TAvBaseArchiver::OpenArchive(TAvStream& stream, bool create) {
    if (spanning_ != smNone) throw EAvException(51, this);
    ReleaseStream();
    stream_ = std::make_unique<TAvBorrowedStream>(stream);
    openMode_ = kModeReadWrite;
    if (create) {
        try {
            TAvDirArray none;
            stream.SetSize(0);
            stream.SetPosition(0);
            stream.WriteString(TAvDirManager::DirectoryBytes(none, 0, ""));
        } catch (...) {
            ReleaseStream();
            throw;
        }
    }
    ReadDirectory();
    if (AfterOpen) AfterOpen();
}

void TAvBaseArchiver::SetInMemory(bool on) {
    if (on == inMemory_) return;
    if (!Active()) {
        inMemory_ = on;
        return;
    }
    if (on) {
        CloseArchive();
        inMemory_ = true;
        OpenArchive(kModeCreate);
        return;
    }
    // The archive as it stands in memory becomes the file FileName.
    if (!HasNamePart(FileName)) throw EAvException(29, this);
    ForceUpdate();
    {
        TAvTempBeside temp(FileName);
        if (temp.Path().empty()) throw EAvException(19, FileName, this);
        TAvFileStream out(temp.Path(), TAvFileStream::ofReadWrite);
        stream_->SetPosition(0);
        CopyStream(*stream_, out, stream_->Size());
        out.Sync();
        if (rtl::TFileFailure why; !AvReplaceWith(temp.Path(), FileName, temp.Path(), why))
            throw EAvException::Detailed(36, FileName, why.Text(), this);
        temp.Keep();
    }
    ReleaseStream();
    inMemory_ = false;
    OpenArchive(kModeReadWrite);
}

void TAvBaseArchiver::ReleaseStream() {
    dir_.reset();
    stream_.reset();
    onFile_ = false;
    updateCount_ = 0;
    moved_.clear();
    // The work file of a multi-volume archive that was never spread.
    if (!volumeWork_.empty()) ::unlink(volumeWork_.c_str());
    volumeWork_.clear();
    volumeFiles_.clear();
    volumeStarts_.clear();
    replacedVolumes_.clear();
    keptVolumeSize_ = 0;
}

void TAvBaseArchiver::CloseArchive() {
    if (!Active()) return;
    // A commit's failure is the caller's to know; the archive closes anyway.
    struct Closer {
        TAvBaseArchiver* a;
        ~Closer() { a->ReleaseStream(); }
    } closer{this};
    if (updateCount_ > 0) ForceUpdate();
    if (!stream_->Writable()) return;
    if (stream_->Size() == dir_->StubSize) {
        stream_->SetPosition(stream_->Size());
        stream_->WriteString(TAvDirManager::DirectoryBytes(dir_->Items, stream_->Size(), ""));
    }
    // A set made earlier is written anew only by a batch that went through.
    if (!volumeWork_.empty() && replacedVolumes_.empty()) return WriteVolumes();
    if (Options.FlushBuffers) stream_->Sync();
}

void TAvBaseArchiver::CheckActive() const {
    if (!Active()) throw EAvException(13, this);
}

bool TAvBaseArchiver::Encrypted() const {
    if (Active() && dir_->Items.Count() > 0) return dir_->IsEncrypted();
    return !password_.empty();
}

int64_t TAvBaseArchiver::ArchiveSize() const {
    CheckActive();
    return stream_->Size();
}

std::string TAvBaseArchiver::Comment() const { return Active() ? dir_->ArchiveComment : std::string(); }

void TAvBaseArchiver::SetComment(const std::string& comment) {
    CheckActive();
    dir_->ArchiveComment = comment.substr(0, 0xFFFF);
    if (InUpdate()) {
        commentChanged_ = true;
        return;
    }
    BeginUpdate();
    commentChanged_ = true;
    EndUpdate();
}

void TAvBaseArchiver::SetActive(bool active) {
    if (active && !Active()) OpenArchive();
    if (!active) CloseArchive();
}

bool TAvBaseArchiver::GetFileCendralDirItemNo(const std::string& name, int32_t& index) {
    CheckActive();
    if (dir_->Items.FileExists(name, index)) return true;
    TAvArchiveItem item;
    if (!FindFirst(name, item, 10431, "")) return false;
    index = item.Index;
    return true;
}

const TAvDirArray& TAvBaseArchiver::Directory() const {
    CheckActive();
    return dir_->Items;
}

const TAvDirDamage& TAvBaseArchiver::Damage() const {
    CheckActive();
    return dir_->Damage;
}

void TAvBaseArchiver::CheckWhole(bool writing) const {
    CheckActive();
    if (!dir_->Rebuilt() || (ExtractCorruptedFiles && !writing)) return;
    std::string text = dir_->Damage.Reason;
    const auto& lost = dir_->Damage.Lost;
    for (size_t i = 0; i < lost.size() && i < 20; ++i) text += (i ? ", \"" : "; lost: \"") + lost[i] + "\"";
    if (lost.size() > 20) text += " and " + std::to_string(lost.size() - 20) + " more";
    throw EAvException::Detailed(48, text, this);
}

int32_t TAvBaseArchiver::GetFileCount() {
    CheckActive();
    int32_t folders = 0;
    for (int32_t i = 0; i < dir_->Items.Count(); ++i)
        if (dir_->Items[i].IsFolder()) ++folders;
    return dir_->Items.Count() - folders;
}

bool TAvBaseArchiver::HoldsFile(const std::string& storedName, const std::string& path) const {
    // Nothing is vouched for by a directory that had to be rebuilt.
    if (!Active() || updateCount_ > 0 || dir_->Rebuilt()) return false;
    int32_t index = -1;
    if (!dir_->Items.FileExists(storedName, index) || dir_->Items[index].Name != storedName) return false;
    const TDirItem& it = dir_->Items[index];
    try {
        TAvFileStream f(path, TAvFileStream::ofRead);
        if (f.Size() != it.USize()) return false;
        std::vector<char> buf(1 << 20);
        uint32_t crc = 0xFFFFFFFFu;
        for (int64_t n; (n = f.Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0;)
            crc = ZipCrcUpdate(crc, buf.data(), static_cast<size_t>(n));
        if (it.CompressionMethod != kAesMethod) return ~crc == it.Crc32;
        if (it.WrittenCrc32) return ~crc == *it.WrittenCrc32;
        // An AE-2 entry of an earlier session stores CRC 0: its data are
        // decrypted, authenticated and compared.
        auto dec = OpenEntryDecoder(*stream_, it, dir_->CentralDirOffset, this);
        if (!dec->TryPassword(it.Password.empty() ? password_ : it.Password)) return false;
        uint32_t stored = 0xFFFFFFFFu;
        for (int64_t n; (n = dec->Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0;)
            stored = ZipCrcUpdate(stored, buf.data(), static_cast<size_t>(n));
        dec->Finish();
        return stored == crc;
    } catch (const EAvException&) {
        return false;
    }
}

// ------------------------------------------------------------------ batches

void TAvBaseArchiver::BeginUpdate() {
    if (updateCount_ == 0) {
        if (!Active()) OpenArchive();
        if ((openMode_ & 3) == 0) throw EAvException(32, this);
        // Writing a rebuilt directory back would make a guess permanent.
        CheckWhole(true);
        CheckVolumeBatch();
        dir_->Items.ClearTags();
        dir_->BackupItems.Assign(dir_->Items);
    }
    ++updateCount_;
}

void TAvBaseArchiver::EndUpdate() {
    if (updateCount_ == 0) return;
    if (updateCount_ > 1) {
        --updateCount_;
        return;
    }
    ForceUpdate();
}

void TAvBaseArchiver::CancelUpdate() {
    updateCount_ = 0;
    moved_.clear();
    if (dir_) dir_->Items.Assign(dir_->BackupItems);
}

// ------------------------------------------------------------------- search

bool TAvBaseArchiver::FindFirst(TAvArchiveItem& item) {
    item = TAvArchiveItem();
    item.Simple = true;
    item.SearchAttr = Options.SearchAttr;
    return Search(item);
}

bool TAvBaseArchiver::FindFirst(const std::string& mask, TAvArchiveItem& item, int32_t searchAttr,
                                const std::string& exclusionMask) {
    item = TAvArchiveItem();
    item.SearchName = mask;
    for (char& c : item.SearchName)
        if (c == '\\') c = '/';
    item.ExclusionMask = exclusionMask;
    item.SearchAttr = searchAttr;
    item.Wildcard = mask.find_first_of("*?") != std::string::npos;
    return Search(item);
}

bool TAvBaseArchiver::FindNext(TAvArchiveItem& item) {
    ++item.Index;
    return Search(item);
}

namespace {

// One mask test: "*.*" inside means "*"; a mask ending in "." asks for a
// name without extension.
bool MaskMatches(std::string name, std::string mask) {
    if (mask.empty()) return false;
    std::string folded;
    for (size_t i = 0; i < mask.size(); ++i) {
        folded += mask[i];
        if (mask.compare(i, 3, "*.*") == 0) i += 2;
    }
    mask = folded;
    const bool noExt = mask.back() == '.';
    if (noExt) mask.pop_back();
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (!IsStrMatchPattern(name, mask, true)) return false;
    return !noExt || name.substr(name.rfind('/') + 1).find('.') == std::string::npos;
}

std::string FolderOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : AvLowerCase(name.substr(0, slash));
}

}  // namespace

bool TAvBaseArchiver::MatchesEntry(const TDirItem& it, const TAvArchiveItem& s) const {
    std::string name = it.Name;
    if (!name.empty() && name.back() == '/') name.pop_back();
    if (s.Simple) {
        bool hit = false;
        for (const auto& m : FileMasks) hit = hit || MaskMatches(name, m);
        for (const auto& m : ExclusionMasks) hit = hit && !MaskMatches(name, m);
        return hit;
    }
    const std::string base = name.substr(name.rfind('/') + 1);
    if (!MaskMatches(name, s.SearchName) && !MaskMatches(base, s.SearchName)) return false;
    return s.ExclusionMask.empty() || !MaskMatches(name, s.ExclusionMask);
}

bool TAvBaseArchiver::Search(TAvArchiveItem& s) {
    CheckActive();
    TAvDirArray& items = dir_->Items;
    int32_t found = -1;
    if (!s.Simple && !s.Wildcard && !Options.Recurse) {
        int32_t at = -1;
        if (items.FileExists(s.SearchName, at) && at >= s.Index) found = at;
    } else {
        const std::string searchFolder = FolderOf(s.SearchName);
        for (int32_t i = s.Index; i < items.Count() && found < 0; ++i) {
            const TDirItem& it = items[i];
            std::string bare = it.Name;
            if (!bare.empty() && bare.back() == '/') bare.pop_back();
            if (!Options.Recurse && FolderOf(bare) != searchFolder) continue;
            const uint32_t special = it.ExternalAttributes & (faHidden | faSysFile | faVolumeID | faDirectory);
            if ((special & static_cast<uint32_t>(s.SearchAttr)) != special) continue;
            if (MatchesEntry(it, s)) found = i;
        }
    }
    if (found < 0) return false;
    const TDirItem& it = items[found];
    s.Index = found;
    std::string name = it.Name;
    if (!name.empty() && name.back() == '/') name.pop_back();
    const size_t slash = name.rfind('/');
    s.FileName = slash == std::string::npos ? name : name.substr(slash + 1);
    s.StoragePath = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    s.CompressedSize = it.CSize();
    s.UncompressedSize = it.USize();
    s.CompressionRate =
        s.UncompressedSize == 0 ? 100.0 : std::max(0.0, (1.0 - double(s.CompressedSize) / double(s.UncompressedSize)) * 100);
    s.Encrypted = it.Flags & kFlagEncrypted;
    s.LastModFileDate = it.LastModDate;
    s.LastModFileTime = it.LastModTime;
    s.CRC = it.Crc32;
    s.ExternalFileAttributes = it.ExternalAttributes;
    s.Comment = it.Comment;
    return true;
}

}  // namespace zip
