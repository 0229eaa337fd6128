// Volumes and self-extracting stubs: volume names, reading a set of
// volumes through one view, spreading a new archive over volumes, and
// putting a stub in front of an archive.
//
// A new multi-volume archive is gathered in a work file by the commit and
// spread over the volumes afterwards, so each local header, each central
// header and the end records land whole in one volume. A set that is read
// is one stream over all its volumes; entry offsets are mapped to it, so
// the rest of the engine never sees volume numbers.
//
// Removable disks are folders here: a spanning request asks the user for
// the folder where the disk is mounted. Volume labels are not written.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "platform/ui/prompter.h"
#include "zip/arkivolt.h"
#include "zip/avstream.h"
#include "zip/avutils.h"

namespace zip {

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FolderPart(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }
std::string NamePart(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Volume names are written in lower case; sets made elsewhere may carry
// upper-case extensions (".Z01", ".ZIP").
std::string ExistingCase(const std::string& name) {
    if (IsFile(name)) return name;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < name.rfind('/') + 1) return name;
    std::string upper = name;
    for (size_t i = dot; i < upper.size(); ++i)
        if (upper[i] >= 'a' && upper[i] <= 'z') upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
    return IsFile(upper) ? upper : name;
}

// A disk request: the user names the folder of the disk, the volume keeps
// its file name.
bool AskForDisk(const std::string& text, std::string& name) {
    std::string folder = FolderPart(name);
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!ui::InputQuery(NamePart(name), text, folder) || folder.empty()) return false;
    if (folder.back() != '/') folder += '/';
    name = folder + NamePart(name);
    return true;
}

mode_t StubMode(const std::string& stub) {
    struct stat st {};
    return ::stat(stub.c_str(), &st) == 0 ? st.st_mode & 07777 : 0755;
}

// All volumes of a set as one read-only stream; one volume file is open at
// a time.
class TAvVolumeView : public TAvFileStream {
public:
    TAvVolumeView(std::vector<std::string> names, std::vector<int64_t> sizes)
        : TAvFileStream(names.back(), ofRead), names_(std::move(names)), sizes_(std::move(sizes)) {
        for (int64_t s : sizes_) {
            starts_.push_back(total_);
            total_ += s;
        }
    }
    int64_t Read(void* buffer, int64_t count) override {
        int64_t done = 0;
        while (done < count && pos_ < total_) {
            size_t v = starts_.size() - 1;
            while (starts_[v] > pos_) --v;
            const int64_t within = pos_ - starts_[v];
            if (within >= sizes_[v]) break;
            if (open_ != v) {
                file_ = std::make_unique<TAvFileStream>(names_[v], ofRead);
                open_ = v;
            }
            file_->SetPosition(within);
            const int64_t got = file_->Read(static_cast<char*>(buffer) + done, std::min(count - done, sizes_[v] - within));
            if (got <= 0) break;
            done += got;
            pos_ += got;
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TAvSeekOrigin origin) override {
        const int64_t base = origin == avsoBeginning ? 0 : origin == avsoCurrent ? pos_ : total_;
        pos_ = std::max<int64_t>(0, base + offset);
        return pos_;
    }
    int64_t Size() override { return total_; }
    void SetSize(int64_t) override { throw EAvException(52); }
    void Sync() override {}
    const std::vector<int64_t>& Starts() const { return starts_; }

private:
    std::vector<std::string> names_;
    std::vector<int64_t> sizes_, starts_;
    int64_t total_ = 0, pos_ = 0;
    std::unique_ptr<TAvFileStream> file_;
    size_t open_ = static_cast<size_t>(-1);
};

}  // namespace

// ------------------------------------------------------------------- names

bool TAvBaseArchiver::IsSFXArchive(const std::string& name) {
    const std::string file = NamePart(name);
    const size_t dot = file.rfind('.');
    return dot != std::string::npos && AvLowerCase(file.substr(dot)).find(".exe") != std::string::npos;
}

void TAvBaseArchiver::MakeDefaultVolumeName(std::string& name, int32_t index, bool checkExists) const {
    const std::string folder = FolderPart(name), file = NamePart(name);
    const size_t dot = file.rfind('.');
    const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
    // A split marker of 4 bytes in front of the first entry is no stub.
    const bool sfx = (dir_ && dir_->StubSize > 4) || !SFXStub.empty() || IsSFXArchive(name);
    char num[16];
    std::snprintf(num, sizeof num, "_%.3u", static_cast<unsigned>(index + 1));
    if (spanning_ == smSpanning) {
        if (index == -1) return;
        if (sfx) ext = ".exe";
        const std::string plain = folder + base + ext, advanced = folder + base + num + ext;
        name = SpanningOptions.AdvancedNaming ? advanced : plain;
        if (checkExists && !IsFile(name)) {
            const std::string other = SpanningOptions.AdvancedNaming ? plain : advanced;
            if (IsFile(other)) name = other;
        }
        return;
    }
    if (spanning_ != smSplitting) return;
    if (index == -1) {
        if (!sfx) return;
        name = folder + base + (compMethod_ < 0 ? ".av" : ".zip");
    } else if (index == 0 && sfx) {
        name = folder + base + ".exe";
    } else if (SpanningOptions.AdvancedNaming) {
        name = folder + base + num + ext;
    } else {
        std::snprintf(num, sizeof num, "%.2d", index + 1);
        name = folder + base + (compMethod_ < 0 ? ".f" : ".z") + num;
    }
    if (checkExists) name = ExistingCase(name);
}

std::vector<std::string> TAvBaseArchiver::VolumeFiles() const {
    if (!volumeFiles_.empty()) return volumeFiles_;
    return Active() ? std::vector<std::string>{FileName} : std::vector<std::string>{};
}

int64_t TAvBaseArchiver::GetFreeDriveSpace(const std::string& path) {
    struct statvfs st {};
    if (::statvfs(path.empty() ? "." : path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}

// ------------------------------------------------------------- requests

void TAvBaseArchiver::DoOnRequestBlankVolume(int volume, std::string& name, bool& cancel) {
    if (OnRequestBlankVolume) return OnRequestBlankVolume(volume, name, cancel);
    MakeDefaultVolumeName(name, volume - 1, false);
    if (spanning_ == smSpanning) cancel = !AskForDisk(AvFormat(avres::BlankVolume, {std::to_string(volume)}), name);
}

void TAvBaseArchiver::DoOnRequestFirstVolume(std::string& name, bool& cancel) {
    if (OnRequestFirstVolume) return OnRequestFirstVolume(name, cancel);
    MakeDefaultVolumeName(name, 0, true);
    if (spanning_ == smSpanning) cancel = !AskForDisk(avres::FirstVolume, name);
    else cancel = !IsFile(name);
}

void TAvBaseArchiver::DoOnRequestMiddleVolume(int volume, std::string& name, bool& cancel) {
    if (OnRequestMiddleVolume) return OnRequestMiddleVolume(volume, name, cancel);
    MakeDefaultVolumeName(name, volume - 1, true);
    if (spanning_ == smSpanning) cancel = !AskForDisk(AvFormat(avres::MiddleVolume, {std::to_string(volume)}), name);
    else cancel = !IsFile(name);
}

void TAvBaseArchiver::DoOnRequestLastVolume(std::string& name, bool& cancel) {
    if (OnRequestLastVolume) return OnRequestLastVolume(name, cancel);
    MakeDefaultVolumeName(name, -1, true);
    if (spanning_ != smSpanning) {
        cancel = !IsFile(name);
        return;
    }
    cancel = !AskForDisk(avres::LastVolume, name);
    while (!cancel && !IsFile(name))
        cancel = !AskForDisk(AvFormat(avres::FileNotOnDisk, {NamePart(name)}), name);
}

void TAvBaseArchiver::DoOnCopyTempFileProgress(double p, TAvProgressPhase ph, bool& cancel) {
    cancel = false;
    if (OnCopyTempFileProgress) OnCopyTempFileProgress(p, ph, cancel);
}

// ----------------------------------------------------------------- reading

std::string TAvBaseArchiver::RequestVolume(int32_t index, int32_t lastIndex) {
    for (;;) {
        std::string name = FileName;
        bool cancel = false;
        if (index == 0) DoOnRequestFirstVolume(name, cancel);
        else if (index == lastIndex) DoOnRequestLastVolume(name, cancel);
        else DoOnRequestMiddleVolume(index + 1, name, cancel);
        if (cancel || name.empty()) throw EAvException(45, this);
        if (IsFile(name)) return name;
        // Outside spanning nobody can bring the file: asking again is futile.
        if (spanning_ != smSpanning) throw EAvException(45, this);
    }
}

void TAvBaseArchiver::DetectSpanning(int32_t lastDisk) {
    spanning_ = smSplitting;
    std::string name = FileName;
    MakeDefaultVolumeName(name, lastDisk - 1, true);
    if (IsFile(name)) return;
    SpanningOptions.AdvancedNaming = !SpanningOptions.AdvancedNaming;
    name = FileName;
    MakeDefaultVolumeName(name, lastDisk - 1, true);
    if (IsFile(name)) return;
    SpanningOptions.AdvancedNaming = !SpanningOptions.AdvancedNaming;
    spanning_ = IsSFXArchive(FileName) ? smNone : smSpanning;
}

void TAvBaseArchiver::OpenVolumesForReading(bool write) {
    volume_.Init();
    volumesWritten_ = false;
    std::string last = FileName;
    // Asking for spanning before the open says the set is on disks: its
    // last disk is asked for first.
    if (spanning_ == smSpanning) {
        bool cancel = false;
        DoOnRequestLastVolume(last, cancel);
        if (cancel || !IsFile(last)) throw EAvException(45, this);
    }
    spanning_ = smNone;
    TAvEndRecord end;
    std::string comment;
    int64_t at = FindEndRecord(*std::make_unique<TAvFileStream>(last, TAvFileStream::ofRead), end, comment);
    if (at < 0 && IsSFXArchive(last)) {
        // A self-extracting split archive: the directory is in the ".zip" volume.
        spanning_ = smSplitting;
        std::string zipName = last;
        MakeDefaultVolumeName(zipName, -1, true);
        spanning_ = smNone;
        if (IsFile(zipName)) {
            last = zipName;
            at = FindEndRecord(*std::make_unique<TAvFileStream>(last, TAvFileStream::ofRead), end, comment);
        }
    }
    if (at < 0 || end.NumberOfThisDisk == 0) {
        stream_ = std::make_unique<TAvFileStream>(last, write && last == FileName ? TAvFileStream::ofReadWrite
                                                                                  : TAvFileStream::ofRead);
        return;
    }
    const int32_t lastDisk = end.NumberOfThisDisk;
    DetectSpanning(lastDisk);
    if (spanning_ == smNone) {
        stream_ = std::make_unique<TAvFileStream>(last, TAvFileStream::ofRead);
        return;
    }
    std::vector<std::string> names;
    for (int32_t i = 0; i < lastDisk; ++i) names.push_back(RequestVolume(i, lastDisk));
    names.push_back(last);
    volume_.LastVolumeNumber = lastDisk;
    volume_.SetLastVolume(true);
    AttachVolumeSet(names);
}

void TAvBaseArchiver::AttachVolumeSet(const std::vector<std::string>& names) {
    std::vector<int64_t> sizes;
    for (const auto& n : names) {
        struct stat st {};
        if (::stat(n.c_str(), &st) != 0) throw EAvException(45, this);
        sizes.push_back(st.st_size);
    }
    auto view = std::make_unique<TAvVolumeView>(names, sizes);
    volumeStarts_ = view->Starts();
    volumeFiles_ = names;
    stream_ = std::move(view);
}

void TAvBaseArchiver::MapVolumeOffsets() {
    // An end record that names other volumes leaves the directory manager
    // unable to tell where entries lie: known once they are mapped here.
    if (!dir_ || dir_->Rebuilt() || !dir_->MultiVolume()) return;
    for (int32_t i = 0; i < dir_->Items.Count() && volumeStarts_.size() > 1; ++i) {
        TDirItem& it = dir_->Items.GetItemPtr(i);
        const uint32_t disk = it.DiskNumberStart == 0xFFFF ? it.DiskNumberStart32 : it.DiskNumberStart;
        if (disk >= volumeStarts_.size()) throw EAvException(57, this);
        it.SetOffset(volumeStarts_[disk] + it.Offset());
    }
    if (const std::string why = dir_->CheckLayout(); !why.empty()) throw EAvException::Detailed(57, why, this);
}

void TAvBaseArchiver::CheckVolumeBatch() {
    if (volumesWritten_) throw EAvException(62, this);
    if (volumeFiles_.size() <= 1) return;
    // A set made earlier is changed as a new set is written: its content
    // goes into a work file that the batch changes, which is then spread
    // over new volumes that take the old ones' places.
    const std::string work = NewWorkFile();
    try {
        TAvFileStream copy(work, TAvFileStream::ofReadWrite);
        stream_->SetPosition(0);
        CopyStream(*stream_, copy, stream_->Size());
        copy.Sync();
    } catch (...) {
        ::unlink(work.c_str());
        throw;
    }
    struct stat first {};
    keptVolumeSize_ = ::stat(volumeFiles_.front().c_str(), &first) == 0 ? first.st_size : 0;
    replacedVolumes_ = volumeFiles_;
    volumeWork_ = work;
    stream_ = std::make_unique<TAvFileStream>(work, TAvFileStream::ofReadWrite);
    dir_->SetStream(stream_.get());
    volumeFiles_.clear();
    volumeStarts_.clear();
    onFile_ = true;
}

std::string TAvBaseArchiver::NewWorkFile() const {
    const char* systemTemp = std::getenv("TMPDIR");
    std::string work = !TempDir.empty() ? TempDir : systemTemp && *systemTemp ? systemTemp : "/tmp";
    work += "/FCXXXXXX";
    const int fd = ::mkstemp(work.data());
    if (fd < 0) throw EAvException(19, work, this);
    ::close(fd);
    return work;
}

// ---------------------------------------------------------------- creating

void TAvBaseArchiver::CopyStub(TAvStream& to) {
    if (!IsFile(SFXStub)) throw EAvException(18, SFXStub, this);
    TAvFileStream stub(SFXStub, TAvFileStream::ofRead);
    to.SetPosition(0);
    CopyStream(stub, to, stub.Size());
}

void TAvBaseArchiver::OpenVolumesForCreating() {
    volume_.Init();
    volumesWritten_ = false;
    if (spanning_ == smNone) {
        stream_ = std::make_unique<TAvFileStream>(FileName, TAvFileStream::ofCreate);
    } else {
        volumeWork_ = NewWorkFile();
        stream_ = std::make_unique<TAvFileStream>(volumeWork_, TAvFileStream::ofReadWrite);
    }
    dir_ = std::make_unique<TAvDirManager>(stream_.get());
    if (SFXStub.empty()) return;
    try {
        CopyStub(*stream_);
    } catch (...) {
        if (spanning_ == smNone) ::unlink(FileName.c_str());
        ReleaseStream();
        throw;
    }
    dir_->StubSize = dir_->CentralDirOffset = dir_->EndOfArchive = stream_->Size();
    // The archive runs as its stub does.
    if (spanning_ == smNone) ::chmod(FileName.c_str(), StubMode(SFXStub));
}

// Puts bytes into volumes one after the other; a piece that must stay
// whole goes to the next volume when the current one cannot hold it.
class TAvVolumeWriter {
public:
    explicit TAvVolumeWriter(TAvBaseArchiver& a) : a_(a) {}
    ~TAvVolumeWriter() { out_.reset(); }
    struct Spot {
        int32_t disk;
        int64_t offset;
    };
    void Open(int32_t v);
    Spot Put(const char* data, int64_t n, bool whole);
    int64_t Room() const { return limit_ - used_; }
    void Next() { Open(disk + 1); }
    void Close() {
        if (out_ && a_.Options.FlushBuffers) out_->Sync();
        out_.reset();
    }
    // Each volume is written beside its place and takes it only here, the
    // last one (holding the directory) last, so a failure leaves any set
    // that was there as it was and no volume of the new one behind.
    void Keep(const std::vector<std::string>& finals);
    std::vector<std::string> names;
    int32_t disk = -1;
    int64_t used_ = 0;

private:
    TAvBaseArchiver& a_;
    std::unique_ptr<TAvFileStream> out_;
    std::vector<std::unique_ptr<TAvTempBeside>> temps_;
    int64_t limit_ = 0;
};

void TAvVolumeWriter::Keep(const std::vector<std::string>& finals) {
    Close();
    for (size_t i = 0; i < temps_.size(); ++i) {
        if (rtl::TFileFailure why; !AvReplaceWith(temps_[i]->Path(), finals[i], temps_[i]->Path(), why))
            throw EAvException::Detailed(36, finals[i], why.Text(), &a_);
        temps_[i]->Keep();
    }
}

void TAvVolumeWriter::Open(int32_t v) {
    Close();
    if (v > 0xFFFE) throw EAvException(46, &a_);
    a_.volume_.SetVolumeNumber(v);
    if (v == 0) a_.volume_.SetFirstVolume(true);
    const int64_t limit = a_.SpanningOptions.GetVolumeSize(a_.volume_);
    std::string name;
    int64_t free;
    for (;;) {
        name = a_.FileName;
        bool cancel = false;
        a_.DoOnRequestBlankVolume(v + 1, name, cancel);
        if (cancel || name.empty()) throw EAvException(45, &a_);
        free = TAvBaseArchiver::GetFreeDriveSpace(FolderPart(name).empty() ? "." : FolderPart(name));
        if (free < 0 || (free > 65536 && (limit <= 0 || a_.spanning_ != smSpanning || free >= limit))) break;
        a_.DoOnDiskFull(v + 1, name, cancel);
        if (cancel) throw EAvException(45, &a_);
    }
    temps_.push_back(std::make_unique<TAvTempBeside>(name));
    if (temps_.back()->Path().empty()) throw EAvException(19, name, &a_);
    out_ = std::make_unique<TAvFileStream>(temps_.back()->Path(), TAvFileStream::ofReadWrite);
    names.push_back(name);
    disk = v;
    used_ = 0;
    // Without a size a changed set keeps the size of its volumes, a new
    // one takes the medium's free space.
    limit_ = limit > 0                                                      ? limit
             : a_.keptVolumeSize_ > 0 && a_.spanning_ == smSplitting ? a_.keptVolumeSize_
             : free > 0                                                     ? free
                                                                            : INT64_MAX;
}

TAvVolumeWriter::Spot TAvVolumeWriter::Put(const char* data, int64_t n, bool whole) {
    if (whole && Room() < n) {
        if (used_ == 0) throw EAvException(46, &a_);
        Next();
    }
    if (!whole && Room() <= 0) Next();
    const Spot at{disk, used_};
    while (n > 0) {
        if (Room() <= 0) Next();
        const int64_t k = std::min(n, Room());
        out_->WriteBuffer(data, k);
        used_ += k;
        data += k;
        n -= k;
    }
    return at;
}

void TAvBaseArchiver::WriteVolumes() {
    // A set that could not be written is gone with its work file; the
    // archive is closed.
    try {
        SpreadOverVolumes();
    } catch (...) {
        ReleaseStream();
        throw;
    }
}

void TAvBaseArchiver::SpreadOverVolumes() {
    TAvStream& src = *stream_;
    TAvDirArray& items = dir_->Items;
    TAvVolumeWriter w(*this);
    w.Open(0);
    if (dir_->StubSize > 0) {
        src.SetPosition(0);
        const std::string stub = src.ReadString(dir_->StubSize);
        if (w.Room() < static_cast<int64_t>(stub.size())) throw EAvException(47, this);
        w.Put(stub.data(), static_cast<int64_t>(stub.size()), true);
    }
    std::vector<int32_t> order;
    int64_t total = 0;
    for (int32_t i = 0; i < items.Count(); ++i) {
        order.push_back(i);
        total += items[i].CSize();
    }
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return items[a].Offset() < items[b].Offset(); });
    std::vector<TAvVolumeWriter::Spot> spots(order.size());
    std::vector<char> buf(1000000);
    bool cancel = false;
    DoOnCopyTempFileProgress(0, ppStart, cancel);
    int64_t copied = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        const TDirItem& it = items[order[k]];
        const int64_t from = it.Offset();
        const int64_t to = k + 1 < order.size() ? items[order[k + 1]].Offset() : dir_->CentralDirOffset;
        src.SetPosition(from);
        std::string header = src.ReadString(kLocalHeaderSize);
        if (Get32(header, 0) != kLocalSig) throw EAvException(57, this);
        header += src.ReadString(Get16(header, 26) + Get16(header, 28));
        if (to < from + static_cast<int64_t>(header.size())) throw EAvException(57, this);
        spots[static_cast<size_t>(order[k])] = w.Put(header.data(), static_cast<int64_t>(header.size()), true);
        for (int64_t left = to - from - static_cast<int64_t>(header.size()); left > 0;) {
            const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
            src.ReadBuffer(buf.data(), n);
            w.Put(buf.data(), n, false);
            left -= n;
            copied += n;
            DoOnCopyTempFileProgress(total ? std::min(100.0, 100.0 * double(copied) / double(total)) : 100, ppProcess,
                                     cancel);
            if (cancel) throw EAvBatchAborted("Writing the volumes was cancelled");
        }
    }
    // The directory with each entry's volume and its offset in that volume.
    std::map<int32_t, int64_t> onDisk;
    TAvVolumeWriter::Spot dirAt{-1, 0};
    int64_t dirSize = 0;
    for (int32_t i = 0; i < items.Count(); ++i) {
        TDirItem it = items[i];
        const auto spot = spots[static_cast<size_t>(i)];
        it.DiskNumberStart = static_cast<uint16_t>(spot.disk);
        it.SetOffset(spot.offset);
        const std::string h = CentralHeaderBytes(it);
        const auto at = w.Put(h.data(), static_cast<int64_t>(h.size()), true);
        if (dirAt.disk < 0) dirAt = at;
        ++onDisk[at.disk];
        dirSize += static_cast<int64_t>(h.size());
    }
    std::string end = EndRecordsBytes(items.Count(), dirSize, dirAt.disk < 0 ? w.used_ : dirAt.offset,
                                      dir_->ArchiveComment);
    if (w.Room() < static_cast<int64_t>(end.size())) w.Next();
    if (dirAt.disk < 0) dirAt = {w.disk, w.used_};
    const auto patch16 = [&](size_t at, int64_t v) {
        end[at] = static_cast<char>(v & 0xFF);
        end[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    const auto patch32 = [&](size_t at, int64_t v) {
        patch16(at, v & 0xFFFF);
        patch16(at + 2, (v >> 16) & 0xFFFF);
    };
    const size_t eocd = end.size() - static_cast<size_t>(kEndSize) - dir_->ArchiveComment.size();
    const int64_t entriesHere = onDisk.count(w.disk) ? onDisk[w.disk] : 0;
    patch16(eocd + 4, w.disk);
    patch16(eocd + 6, dirAt.disk);
    patch16(eocd + 8, std::min<int64_t>(entriesHere, 0xFFFF));
    if (eocd > 0) {
        // zip64 end record and locator in front of the end record.
        patch32(16, w.disk);
        patch32(20, dirAt.disk);
        patch32(24, entriesHere);
        patch32(28, 0);
        patch32(56 + 4, w.disk);
        patch32(56 + 8, w.used_);
        patch32(56 + 12, 0);
        patch32(56 + 16, w.disk + 1);
    }
    w.Put(end.data(), static_cast<int64_t>(end.size()), true);
    w.Close();
    DoOnCopyTempFileProgress(100, ppEnd, cancel);

    // The last volume carries the archive's name (a single self-extracting
    // volume keeps its ".exe").
    std::vector<std::string> names = w.names;
    std::string lastName = FileName;
    MakeDefaultVolumeName(lastName, -1, false);
    if (spanning_ == smSplitting && (names.size() > 1 || SFXStub.empty())) names.back() = lastName;
    w.Keep(names);
    if (!SFXStub.empty()) ::chmod(names.front().c_str(), StubMode(SFXStub));
    // Volumes of the set this one replaced that it no longer has.
    for (const auto& old : std::exchange(replacedVolumes_, {}))
        if (std::find(names.begin(), names.end(), old) == names.end()) ::unlink(old.c_str());
    stream_.reset();
    ::unlink(volumeWork_.c_str());
    volumeWork_.clear();
    AttachVolumeSet(names);
    dir_ = std::make_unique<TAvDirManager>(stream_.get());
    dir_->LoadDir(false);
    MapVolumeOffsets();
    volume_.LastVolumeNumber = static_cast<int32_t>(names.size()) - 1;
    volume_.SetLastVolume(true);
    openMode_ = kModeReadWrite;
    volumesWritten_ = true;
}

// -------------------------------------------------------------------- stubs

bool TAvBaseArchiver::FastFileAppend(TAvStream& dest, TAvStream& source, const std::string& name) {
    (void)name;
    std::vector<char> buf(1048576);
    const int64_t size = source.Size();
    dest.SetPosition(dest.Size());
    source.SetPosition(0);
    for (int64_t done = 0; done < size;) {
        const int64_t want = std::min<int64_t>(size - done, static_cast<int64_t>(buf.size()));
        if (source.Read(buf.data(), want) != want) return false;
        if (dest.Write(buf.data(), want) != want) return false;
        done += want;
    }
    return true;
}

void TAvBaseArchiver::MakeSFX(const std::string& destFileName) {
    if (SFXStub.empty()) throw EAvException(17, this);
    if (!IsFile(SFXStub)) throw EAvException(18, SFXStub, this);
    if (spanning_ != smNone || volumeFiles_.size() > 1) throw EAvException(49, this);
    if (InUpdate()) ForceUpdate();
    std::unique_ptr<TAvFileStream> own;
    std::unique_ptr<TAvDirManager> ownDir;
    TAvStream* archive = stream_.get();
    TAvDirManager* dir = dir_.get();
    if (!archive) {
        own = std::make_unique<TAvFileStream>(FileName, TAvFileStream::ofRead);
        ownDir = std::make_unique<TAvDirManager>(own.get());
        ownDir->LoadDir(false);
        archive = own.get();
        dir = ownDir.get();
    }
    // Checked before the destination exists, so a refusal leaves nothing.
    if (dir->StubSize > 0) throw EAvException(50, this);
    // Creating the destination would empty the archive it is made from.
    struct stat from {}, to {};
    if (::stat(FileName.c_str(), &from) == 0 && ::stat(destFileName.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
        from.st_ino == to.st_ino)
        throw EAvException(19, destFileName, this);
    TAvFileStream stub(SFXStub, TAvFileStream::ofRead);
    try {
        TAvFileStream dest(destFileName, TAvFileStream::ofCreate);
        CopyStream(stub, dest, stub.Size());
        if (!FastFileAppend(dest, *archive, FileName)) throw EAvException(56, this);
        // The directory again, its offsets now counting the stub.
        TAvDirManager moved(&dest);
        moved.LoadDir(false);
        const std::string bytes =
            TAvDirManager::DirectoryBytes(moved.Items, moved.CentralDirOffset, moved.ArchiveComment);
        dest.SetPosition(moved.CentralDirOffset);
        dest.WriteString(bytes);
        dest.SetSize(moved.CentralDirOffset + static_cast<int64_t>(bytes.size()));
        dest.Sync();
    } catch (...) {
        ::unlink(destFileName.c_str());
        throw;
    }
    ::chmod(destFileName.c_str(), StubMode(SFXStub));
}

}  // namespace zip
