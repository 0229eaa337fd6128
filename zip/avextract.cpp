// Extraction and testing: entries decoded back to files, streams and
// buffers, or only checked; the password check of one entry; whether a file
// is a usable archive.
#include "zip/avextract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/rtl/fileio.h"
#include "zip/arkivolt.h"
#include "zip/avaes.h"
#include "zip/avcrypt.h"
#include "zip/avstream.h"
#include "zip/avzlib.h"

namespace zip {

namespace {

constexpr int64_t kChunk = 1 << 20;
constexpr uint16_t kFlagStrongEncryption = 0x0040;

// ------------------------------------------------------------ the decoder

class TClassicCipher : public TAvEntryCipher {
public:
    TClassicCipher(uint32_t crc, uint16_t dosTime, uint16_t flags) : crc_(crc), time_(dosTime), flags_(flags) {}
    int64_t HeaderSize() const override { return 12; }
    bool SetPassword(const std::string& password, std::string_view header) override {
        if (header.size() != 12) return false;
        uint8_t h[12];
        std::memcpy(h, header.data(), 12);
        ZipKeyInit(password, keys_, h);
        return ZipHeaderMatches(h, crc_, time_, flags_);
    }
    void Decrypt(char* data, size_t count) override {
        ZipDecryptBuffer(reinterpret_cast<uint8_t*>(data), count, keys_);
    }

private:
    uint32_t crc_;
    uint16_t time_, flags_;
    TZipKey keys_;
};

// AES entries: salt and verifier in front, the authentication code behind.
// AE-2 entries store CRC 0, so only AE-1 entries have their CRC checked.
class TAesCipher : public TAvEntryCipher {
public:
    explicit TAesCipher(const TAesField& field) : field_(field) {}
    int64_t HeaderSize() const override {
        return static_cast<int64_t>(AesSaltLength(field_) + kAesVerifierSize);
    }
    int64_t TrailerSize() const override { return kAesAuthCodeSize; }
    bool SetPassword(const std::string& password, std::string_view header) override {
        const size_t salt = AesSaltLength(field_);
        if (header.size() != salt + kAesVerifierSize) return false;
        dec_ = std::make_unique<TAesEntryDecoder>(password, field_, header.substr(0, salt), header.substr(salt));
        return dec_->PasswordMatches();
    }
    void Decrypt(char* data, size_t count) override { dec_->Decrypt(data, count); }
    bool Authentic(std::string_view trailer) override { return dec_ && dec_->Authentic(trailer); }
    bool ChecksCrc() const override { return field_.Version == kAesVersion1; }

private:
    TAesField field_;
    std::unique_ptr<TAesEntryDecoder> dec_;
};

class TDecoder : public TAvEntryDecoder {
public:
    TDecoder(TAvStream& s, const TDirItem& it, int64_t dataStart, int64_t dataEnd, uint16_t method,
             std::unique_ptr<TAvEntryCipher> cipher, const TAvNamed* owner)
        : s_(s), crcWanted_(it.Crc32), size_(it.USize()), method_(method), cipher_(std::move(cipher)),
          owner_(owner), dataStart_(dataStart), dataEnd_(dataEnd) {
        const int64_t header = cipher_ ? cipher_->HeaderSize() : 0;
        const int64_t trailer = cipher_ ? cipher_->TrailerSize() : 0;
        if (dataEnd_ - dataStart_ < header + trailer) Damaged();
        payloadStart_ = dataStart_ + header;
        payloadEnd_ = dataEnd_ - trailer;
        // Stored data is the entry itself: its size is known before reading.
        if (method_ == 0 && payloadEnd_ - payloadStart_ != size_) Damaged();
        if (!cipher_) Rewind();
    }
    ~TDecoder() override {
        if (zInit_) inflateEnd(&zs_);
    }

    bool Encrypted() const override { return cipher_ != nullptr; }

    bool TryPassword(const std::string& password) override {
        if (!cipher_) return true;
        ready_ = false;
        const std::string header = ReadRaw(dataStart_, cipher_->HeaderSize());
        if (!cipher_->SetPassword(password, header)) return false;
        Rewind();
        return true;
    }

    int64_t Read(char* buffer, int64_t count) override {
        if (!ready_) throw EAvException(67, owner_);
        if (count <= 0) return 0;
        return method_ == 0 ? ReadStored(buffer, count) : ReadInflated(buffer, count);
    }

    void Finish() override {
        if (!ready_ || produced_ != size_ || (method_ != 0 && !ended_)) Damaged();
        if (cipher_) {
            const std::string trailer = ReadRaw(payloadEnd_, dataEnd_ - payloadEnd_);
            if (!cipher_->Authentic(trailer)) Damaged();
        }
        if ((!cipher_ || cipher_->ChecksCrc()) && ~crc_ != crcWanted_) Damaged();
    }

    int64_t Produced() const override { return produced_; }

private:
    [[noreturn]] void Damaged() const { throw EAvException(8, owner_); }

    std::string ReadRaw(int64_t at, int64_t count) {
        std::string b(static_cast<size_t>(count), '\0');
        s_.SetPosition(at);
        if (count > 0 && s_.Read(b.data(), count) != count) Damaged();
        return b;
    }

    void Rewind() {
        raw_ = payloadStart_;
        produced_ = 0;
        crc_ = 0xFFFFFFFFu;
        ended_ = false;
        if (method_ == 8) {
            if (zInit_) {
                DCheck(inflateReset(&zs_));
            } else {
                zs_ = z_stream{};
                DCheck(inflateInit2(&zs_, -MAX_WBITS));  // raw deflate: entries hold no zlib header
                zInit_ = true;
            }
            zs_.avail_in = 0;
        }
        ready_ = true;
    }

    // The next piece of stored bytes, decrypted.
    int64_t Fetch(char* to, int64_t count) {
        const int64_t n = std::min(count, payloadEnd_ - raw_);
        if (n <= 0) return 0;
        s_.SetPosition(raw_);
        if (s_.Read(to, n) != n) Damaged();  // cut short: the archive ends inside the entry
        if (cipher_) cipher_->Decrypt(to, static_cast<size_t>(n));
        raw_ += n;
        return n;
    }

    void Count(const char* p, int64_t n) {
        crc_ = ZipCrcUpdate(crc_, p, static_cast<size_t>(n));
        produced_ += n;
    }

    int64_t ReadStored(char* buffer, int64_t count) {
        const int64_t n = Fetch(buffer, std::min(count, kChunk));
        Count(buffer, n);
        return n;
    }

    int64_t ReadInflated(char* buffer, int64_t count) {
        for (;;) {
            if (ended_) return 0;
            if (zs_.avail_in == 0 && raw_ < payloadEnd_) {
                // Small entries need no big buffer.
                in_.resize(static_cast<size_t>(std::min(kChunk, payloadEnd_ - payloadStart_)));
                const int64_t n = Fetch(in_.data(), static_cast<int64_t>(in_.size()));
                zs_.next_in = reinterpret_cast<Bytef*>(in_.data());
                zs_.avail_in = static_cast<uInt>(n);
            }
            // Once the declared size is out, one more byte is asked for only
            // to tell the stream's end from data that would not stop.
            const bool full = produced_ >= size_;
            char probe;
            const int64_t room = full ? 1 : std::min({count, size_ - produced_, kChunk});
            zs_.next_out = reinterpret_cast<Bytef*>(full ? &probe : buffer);
            zs_.avail_out = static_cast<uInt>(room);
            const int r = inflate(&zs_, Z_NO_FLUSH);
            const int64_t got = room - zs_.avail_out;
            const bool starved = zs_.avail_in == 0 && raw_ >= payloadEnd_;
            if (r == Z_STREAM_END) ended_ = true;
            // No progress with all input used: the stream wants data the entry does not have.
            else if (r == Z_BUF_ERROR ? starved : r != Z_OK) Damaged();
            if (full && got > 0) Damaged();  // more data than the entry declares
            if (got > 0) {
                Count(buffer, got);
                return got;
            }
        }
    }

    TAvStream& s_;
    uint32_t crcWanted_;
    int64_t size_;
    uint16_t method_;
    std::unique_ptr<TAvEntryCipher> cipher_;
    const TAvNamed* owner_;
    int64_t dataStart_, dataEnd_, payloadStart_ = 0, payloadEnd_ = 0, raw_ = 0, produced_ = 0;
    uint32_t crc_ = 0xFFFFFFFFu;
    bool ready_ = false, ended_ = false, zInit_ = false;
    z_stream zs_{};
    std::vector<char> in_;
};

}  // namespace

namespace {

// Methods other readers know: refused by name.
const char* MethodName(uint16_t method) {
    switch (method) {
        case 1: return "Shrink";
        case 6: return "Implode";
        case 12: return "BZip2";
        case 14: return "LZMA";
        case 93: return "Zstandard";
        case 95: return "XZ";
        case 98: return "PPMd";
        default: return nullptr;
    }
}

// The local header must say what the directory says: a reader that took
// either would otherwise see other contents than one that takes the other.
void CheckLocalHeader(const TDirItem& item, const std::string& h, const std::string& varying, const TAvNamed* owner) {
    const uint16_t nameLen = Get16(h, 26), flags = Get16(h, 6);
    auto disagree = [&](const std::string& what) {
        throw EAvException::Detailed(8, "the local header of \"" + item.Name + "\" " + what, owner);
    };
    const std::string name = DecodeEntryName(std::string_view(varying).substr(0, nameLen));
    if (name != item.Name) disagree("names \"" + name + "\"");
    if (Get16(h, 8) != item.CompressionMethod) disagree("gives another compression method");
    if ((flags & kFlagEncrypted) != (item.Flags & kFlagEncrypted)) disagree("differs about encryption");
    if (flags & kFlagDescriptor) return;  // sizes and CRC follow the data
    TDirItem local;
    local.CompressedSize = Get32(h, 18);
    local.UncompressedSize = Get32(h, 22);
    local.CompressedSize64 = local.CompressedSize;
    local.UncompressedSize64 = local.UncompressedSize;
    ParseExtraField(local, std::string_view(varying).substr(nameLen));
    if (Get32(h, 14) != item.Crc32 || local.CSize() != item.CSize() || local.USize() != item.USize())
        disagree("gives other sizes or another CRC-32");
}

}  // namespace

std::unique_ptr<TAvEntryDecoder> OpenEntryDecoder(TAvStream& archive, const TDirItem& item, int64_t limit,
                                                  const TAvNamed* owner) {
    const int64_t size = archive.Size();
    if (limit <= 0 || limit > size) limit = size;
    const int64_t offset = item.Offset(), csize = item.CSize();
    if (offset < 0 || csize < 0 || item.USize() < 0 || offset > limit - kLocalHeaderSize)
        throw EAvException(8, owner);
    archive.SetPosition(offset);
    std::string h(kLocalHeaderSize, '\0');
    if (archive.Read(h.data(), kLocalHeaderSize) != kLocalHeaderSize || Get32(h, 0) != kLocalSig)
        throw EAvException(8, owner);
    const int64_t varyingLen = Get16(h, 26) + Get16(h, 28);
    const int64_t dataStart = offset + kLocalHeaderSize + varyingLen;
    if (dataStart > limit || csize > limit - dataStart) throw EAvException(8, owner);
    std::string varying(static_cast<size_t>(varyingLen), '\0');
    if (archive.Read(varying.data(), varyingLen) != varyingLen) throw EAvException(8, owner);
    CheckLocalHeader(item, h, varying, owner);

    uint16_t method = item.CompressionMethod;
    std::unique_ptr<TAvEntryCipher> cipher;
    if (method == kAesMethod) {
        TAesField field;
        bool found = false;
        for (const auto& x : item.ExtraFields)
            if (x.HeaderID == kAesExtraId && ParseAesExtraField(x.Data, field)) found = true;
        if (!found || !(item.Flags & kFlagEncrypted)) throw EAvException(8, owner);
        method = field.ActualMethod;
        cipher = std::make_unique<TAesCipher>(field);
    }
    if (method == 9) throw EAvException(55, owner);
    if (const char* name = MethodName(method)) throw EAvException(68, name, owner);
    if ((method != 0 && method != 8) || (item.Flags & kFlagStrongEncryption)) throw EAvException(8, owner);
    if ((item.Flags & kFlagEncrypted) && !cipher) cipher = std::make_unique<TClassicCipher>(item.Crc32, item.LastModTime, item.Flags);
    return std::make_unique<TDecoder>(archive, item, dataStart, dataStart + csize, method, std::move(cipher), owner);
}

// ------------------------------------------------------------ the runs

namespace {

struct Cancelled {};

// Where test output goes: every byte taken, nothing kept.
class TAvNullStream : public TAvStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override { return count; }
    int64_t Seek(int64_t, TAvSeekOrigin) override { return 0; }
    int64_t Size() override { return 0; }
    void SetSize(int64_t) override {}
};

// A file being written through its descriptor (the temporary file beside
// the target).
class TAvFdStream : public TAvStream {
public:
    explicit TAvFdStream(int fd) : fd_(fd) {}
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void* b, int64_t n) override {
        int64_t done = 0;
        while (done < n) {
            const ssize_t r = ::write(fd_, static_cast<const char*>(b) + done, static_cast<size_t>(n - done));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            done += r;
        }
        pos_ += done;
        return done;
    }
    int64_t Seek(int64_t, TAvSeekOrigin) override { return pos_; }
    int64_t Size() override { return pos_; }
    void SetSize(int64_t) override {}

private:
    int fd_;
    int64_t pos_ = 0;
};

struct TFd {
    int fd = -1;
    explicit TFd(int f) : fd(f) {}
    ~TFd() {
        if (fd >= 0) ::close(fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

// The parts of an entry's name as a path below the destination. A name
// that is absolute, has a drive, climbs with ".." or holds a NUL would
// leave the destination or mean something else there: it is refused.
bool SafeParts(std::string name, std::vector<std::string>& parts) {
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name[0] == '/' || name.find('\0') != std::string::npos) return false;
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    parts.clear();
    size_t i = 0;
    while (i <= name.size()) {
        const size_t j = std::min(name.find('/', i), name.size());
        const std::string part = name.substr(i, j - i);
        if (part == "..") return false;
        if (!part.empty() && part != ".") parts.push_back(part);
        i = j + 1;
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

}  // namespace

class TAvExtractRun {
public:
    enum Outcome { Done, Skipped };

    TAvExtractRun(TAvBaseArchiver& a, TAvStream& s, const TAvDirArray& items, int64_t limit)
        : a_(a), s_(s), items_(items), limit_(limit) {}

    // Entry Index decoded into Out: from Offset, Count bytes (all when Count is 0).
    Outcome Decode(int32_t index, TAvStream& out, int64_t offset, int64_t count);
    void Process(TAvProcessOperation op, const std::vector<int32_t>& indices);
    // Processes what the search finds: FileMasks' search without a mask.
    static void OverFound(TAvBaseArchiver& a, TAvProcessOperation op, const std::string* mask, int32_t searchAttr,
                          const std::string& exclusionMask);

    bool prompt = true, progress = false;
    const std::string* fixedPassword = nullptr;

private:
    void ExtractFile(int32_t index);
    void Emit(TAvStream& out, const char* p, int64_t n, const std::string& name);
    void Progress(const std::string& name, double filePct, TAvProgressPhase phase);

    TAvBaseArchiver& a_;
    TAvStream& s_;
    const TAvDirArray& items_;
    int64_t limit_;
    TAvProcessOperation op_ = poExtract;
    int32_t done_ = 0, total_ = 1;
    std::vector<char> buf_;
    // The destination and the folder of the last file written, open for the run.
    std::unique_ptr<TFd> root_, folder_;
    std::string folderKey_;
    bool wrote_ = false;
    bool decoding_ = false;  // the entry's data were reached
};

TAvExtractRun::Outcome TAvExtractRun::Decode(int32_t index, TAvStream& out, int64_t offset, int64_t count) {
    if (index < 0 || index >= items_.Count()) throw EAvException(16, &a_);
    const TDirItem& it = items_[index];
    decoding_ = false;
    auto dec = OpenEntryDecoder(s_, it, limit_, &a_);
    if (dec->Encrypted()) {
        if (fixedPassword) {
            if (!dec->TryPassword(*fixedPassword)) throw EAvException(67, &a_);
        } else {
            for (;;) {
                const std::string pw = a_.Password();
                if (!pw.empty() && dec->TryPassword(pw)) break;
                if (!prompt) return Skipped;
                std::string next = pw;
                bool skip = false;
                a_.DoOnPassword(it.Name, next, skip);
                if (skip) return Skipped;
                // The same password again would ask for ever.
                if (next == pw) throw EAvException(67, &a_);
                a_.SetPassword(next);
            }
        }
    }
    decoding_ = true;
    const int64_t end = count > 0 ? offset + count : -1;
    const int64_t progressSize = std::max<int64_t>(offset || count ? offset + count : it.USize(), 1);
    const int64_t chunk = std::clamp<int64_t>(it.USize(), 1, kChunk);
    if (static_cast<int64_t>(buf_.size()) < chunk) buf_.resize(static_cast<size_t>(chunk));
    int64_t pos = 0;
    for (;;) {
        if (progress) Progress(it.Name, 100.0 * double(pos) / double(progressSize), ppProcess);
        const int64_t n = dec->Read(buf_.data(), chunk);
        if (n == 0) break;
        const int64_t from = std::clamp<int64_t>(offset - pos, 0, n);
        const int64_t to = end >= 0 ? std::clamp<int64_t>(end - pos, 0, n) : n;
        if (to > from) Emit(out, buf_.data() + from, to - from, it.Name);
        pos += n;
        if (end >= 0 && pos >= end) return Done;
    }
    dec->Finish();
    if (end >= 0 && pos < end) throw EAvException(8, &a_);
    return Done;
}

void TAvExtractRun::Emit(TAvStream& out, const char* p, int64_t n, const std::string& name) {
    for (int tries = 0;; ++tries) {
        const int64_t w = out.Write(p, n);
        if (w == n) return;
        p += std::max<int64_t>(w, 0);
        n -= std::max<int64_t>(w, 0);
        if (tries >= 2) throw EAvException(46, &a_);
        // The default raises "disk is full"; a handler may make room and go on.
        bool cancel = false;
        a_.DoOnDiskFull(-1, name, cancel);
        if (cancel) throw Cancelled();
    }
}

void TAvExtractRun::Progress(const std::string& name, double filePct, TAvProgressPhase phase) {
    bool cancel = false;
    a_.DoOnFileProgress(name, filePct, op_, phase, cancel);
    if (cancel) throw Cancelled();
    if (phase != ppProcess) return;
    a_.DoOnOverallProgress((filePct / 100.0 + done_) / total_ * 100.0, op_, ppProcess, cancel);
    if (cancel) throw Cancelled();
}

void TAvExtractRun::Process(TAvProcessOperation op, const std::vector<int32_t>& indices) {
    op_ = op;
    total_ = std::max<int32_t>(static_cast<int32_t>(indices.size()), 1);
    progress = true;
    bool cancel = false, stopped = false;
    a_.DoOnOverallProgress(0, op_, ppStart, cancel);
    if (cancel) throw EAvBatchAborted("Cancelled: nothing was processed");
    TAvNullStream null;
    for (const int32_t index : indices) {
        const std::string name = items_[index].Name;
        bool confirm = true;
        a_.DoOnConfirmProcessFile(name, op_, confirm);
        if (!confirm) continue;
        try {
            Progress(name, 0, ppStart);
            for (;;) {
                try {
                    if (op_ == poExtract) ExtractFile(index);
                    else if (!items_[index].IsFolder()) Decode(index, null, 0, 0);
                    break;
                } catch (const EAvException& e) {
                    TAvAction action = fxaIgnore;
                    a_.DoOnProcessFileFailure(name, op_, e.NativeError, e.ErrorCode, e.Message, action);
                    if (action == fxaRetry) continue;
                    stopped = action == fxaAbort;
                    break;
                }
            }
            if (stopped) break;
            Progress(name, 100, ppEnd);
        } catch (const Cancelled&) {
            stopped = true;
            break;
        }
        ++done_;
    }
    // Durable once per run, not once per file: the files and their folders
    // in one go. Until then a file replaced only what it replaced whole.
    if (wrote_ && a_.Options.FlushBuffers && ::syncfs(root_->fd) != 0) throw EAvException(46, &a_);
    if (stopped) throw EAvBatchAborted(op_ == poTest ? "Testing stopped" : "Extraction stopped");
    a_.DoOnOverallProgress(100, op_, ppEnd, cancel);
}

void TAvExtractRun::OverFound(TAvBaseArchiver& a, TAvProcessOperation op, const std::string* mask,
                              int32_t searchAttr, const std::string& exclusionMask) {
    a.CheckActive();
    if (a.InUpdate()) throw EAvException(26, &a);
    a.CheckWhole(false);
    TAvArchiveItem item;
    bool found = mask ? a.FindFirst(*mask, item, searchAttr, exclusionMask) : a.FindFirst(item);
    std::vector<int32_t> indices;
    for (; found; found = a.FindNext(item)) indices.push_back(item.Index);
    TAvExtractRun(a, *a.stream_, a.dir_->Items, a.dir_->CentralDirOffset).Process(op, indices);
}

void TAvExtractRun::ExtractFile(int32_t index) {
    const TDirItem& it = items_[index];
    std::string name = it.Name;
    uint32_t attr = it.ExternalAttributes;
    a_.DoOnExtractFile(name, attr, it.Comment);
    std::vector<std::string> parts;
    if (!SafeParts(name, parts)) throw EAvException(19, name, &a_);
    const bool folder = (attr & faDirectory) || name.back() == '/' || name.back() == '\\';
    if (!a_.Options.CreateDirs) {
        if (folder || parts.empty()) return;
        parts.erase(parts.begin(), parts.end() - 1);
    }
    std::string root = a_.BaseDir.empty() ? "." : a_.BaseDir;
    if (root[0] != '/' && !a_.workDir_.empty()) root = ResolvePath(root, a_.workDir_);
    if (!root_) {
        if (!ForceDirs(root)) throw EAvException(20, root, &a_);
        auto opened = std::make_unique<TFd>(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (opened->fd < 0) throw EAvException(20, root, &a_);
        root_ = std::move(opened);
    }
    // Folder by folder below the destination, never through a link: a link
    // in the way could lead anywhere. The folder of the last file stays
    // open for the next one, which is mostly in the same folder.
    const size_t folders = folder ? parts.size() : parts.size() - 1;
    std::string shown = root, key;
    for (size_t i = 0; i < folders; ++i) {
        shown += "/" + parts[i];
        key += parts[i] + '/';
    }
    if (!folder_ || key != folderKey_) {
        folder_.reset();
        if (folders > 0) {
            rtl::TFileFailure why;
            auto dir = std::make_unique<TFd>(
                rtl::OpenFolderAt(root_->fd, key, root, a_.Options.CreateDirs, 0777, false, why));
            if (dir->fd < 0) throw EAvException::Detailed(20, shown, why.Text(), &a_);
            folder_ = std::move(dir);
        }
        folderKey_ = key;
    }
    const int dirfd = folder_ ? folder_->fd : root_->fd;
    if (folder || parts.empty()) return;
    const std::string& leaf = parts.back();
    const std::string target = shown + "/" + leaf;

    struct stat st {};
    if (::fstatat(dirfd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) throw EAvException(19, target, &a_);
        // Whatever a link names is not written, nor is the link replaced:
        // someone put it there. A pipe or device is not waited on.
        if (S_ISLNK(st.st_mode)) throw EAvException::Detailed(19, target, rtl::RefuseLink(target).Text(), &a_);
        if (!S_ISREG(st.st_mode)) throw EAvException::Detailed(19, target, rtl::RefuseSpecial(target, st).Text(), &a_);
        if (!a_.Options.ReplaceReadOnly && !(st.st_mode & S_IWUSR)) return;
        bool replace = false;
        const int64_t entryTime = it.DosDateTime(), fileTime = UnixToDos(st.st_mtime);
        switch (a_.Options.OverwriteMode) {
            case omPrompt: {
                std::string dest = target;
                a_.DoOnConfirmOverwrite(it.Name, dest, replace);
                break;
            }
            case omAlways: replace = true; break;
            case omNever: replace = false; break;
            case omIfNewer: replace = entryTime > fileTime; break;
            case omIfOlder: replace = entryTime < fileTime; break;
        }
        if (!replace) return;
    }

    // The data goes into a new file beside the target, which replaces the
    // target only once it is complete: a failure leaves the old file as it
    // was. What was planted there meanwhile is refused all the same.
    rtl::TFileReplacement replacement;
    rtl::TFileFailure why;
    if (!replacement.Begin(target, 0600, why, dirfd)) throw EAvException::Detailed(19, target, why.Text(), &a_);
    const int fd = replacement.Handle();

    TAvFdStream out(fd);
    // Only permission bits are ever taken from the entry: no link, device or
    // set-id file comes out of an archive, and the umask has the last word.
    mode_t mode = 0666;
    const uint32_t unixMode = attr >> 16;
    if (a_.Options.SetAttributes) {
        if ((it.VersionMadeBy >> 8) == 3 && (unixMode & 0777)) mode = unixMode & 0777;
        if (attr & faReadOnly) mode &= ~0222;
    }
    mode &= ~CurrentUmask();
    auto finish = [&] {
        const time_t t = DosToUnix(it.DosDateTime());
        const struct timespec times[2] = {{t, 0}, {t, 0}};
        ::futimens(fd, times);
        ::fchmod(fd, mode);
        // A big file goes to disk at once, so the run's one sync at its end
        // has little left to wait for; small ones are best written together.
        if (a_.Options.FlushBuffers && out.Size() >= (1 << 20)) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        rtl::TFileFailure failed;
        if (!replacement.Commit(false, failed)) throw EAvException::Detailed(19, target, failed.Text(), &a_);
        wrote_ = true;
    };
    try {
        if (Decode(index, out, 0, 0) == Skipped) return;
    } catch (const EAvException& e) {
        // Damaged data is kept on request, and still reported; an entry
        // whose data were never reached leaves nothing to keep.
        if (e.NativeError == 8 && a_.ExtractCorruptedFiles && decoding_) finish();
        throw;
    }
    finish();
}

// ------------------------------------------------------- the archiver

void TAvBaseArchiver::DoOnExtractFile(std::string& name, uint32_t& attr, const std::string& comment) {
    if (OnExtractFile) OnExtractFile(name, attr, comment);
}

void TAvBaseArchiver::ExtractFiles() { TAvExtractRun::OverFound(*this, poExtract, nullptr, 0, ""); }

void TAvBaseArchiver::ExtractFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    TAvExtractRun::OverFound(*this, poExtract, &mask, searchAttr, exclusionMask);
}

void TAvBaseArchiver::TestFiles() { TAvExtractRun::OverFound(*this, poTest, nullptr, 0, ""); }

void TAvBaseArchiver::TestFiles(const std::string& mask, int32_t searchAttr, const std::string& exclusionMask) {
    TAvExtractRun::OverFound(*this, poTest, &mask, searchAttr, exclusionMask);
}

void TAvBaseArchiver::ExtractItem(int32_t index, TAvStream& stream, int64_t offset, int64_t count) {
    CheckWhole(false);
    if (offset < 0 || count < 0) throw EAvException(16, this);
    TAvExtractRun run(*this, *stream_, dir_->Items, dir_->CentralDirOffset);
    if (run.Decode(index, stream, offset, count) == TAvExtractRun::Skipped) throw EAvException(67, this);
}

namespace {

// The one entry an ExtractTo... call names, looked up with Recurse off.
int32_t SingleEntry(TAvBaseArchiver& a, const std::string& fileName) {
    const bool recurse = a.Options.Recurse;
    a.Options.Recurse = false;
    int32_t index = -1;
    bool found = false;
    try {
        found = a.GetFileCendralDirItemNo(fileName, index);
    } catch (...) {
        a.Options.Recurse = recurse;
        throw;
    }
    a.Options.Recurse = recurse;
    if (!found) throw EAvException(15, fileName, &a);
    return index;
}

}  // namespace

void TAvBaseArchiver::ExtractToStream(const std::string& fileName, TAvStream& stream) {
    CheckActive();
    if (InUpdate()) throw EAvException(26, this);
    const int32_t index = SingleEntry(*this, fileName);
    bool cancel = false;
    DoOnOverallProgress(0, poExtract, ppStart, cancel);
    if (cancel) throw EAvBatchAborted("Cancelled: nothing was extracted");
    ExtractItem(index, stream, 0, 0);
    DoOnFileProgress(dir_->Items[index].Name, 100, poExtract, ppEnd, cancel);
    DoOnOverallProgress(100, poExtract, ppEnd, cancel);
}

void TAvBaseArchiver::ExtractToBuffer(const std::string& fileName, void* buffer, int64_t count, int64_t offset) {
    CheckActive();
    if (InUpdate()) throw EAvException(26, this);
    const int32_t index = SingleEntry(*this, fileName);
    if (count <= 0) return;
    if (offset < 0 || offset > dir_->Items[index].USize() - count) throw EAvException(1, this);
    TAvMemoryStream mem;
    ExtractItem(index, mem, offset, count);
    std::memcpy(buffer, mem.Data().data(), static_cast<size_t>(count));
}

void TAvBaseArchiver::ExtractToString(const std::string& fileName, std::string& text) {
    CheckActive();
    if (InUpdate()) throw EAvException(26, this);
    const int32_t index = SingleEntry(*this, fileName);
    TAvMemoryStream mem;
    ExtractItem(index, mem, 0, 0);
    text = mem.Data();
}

bool TAvBaseArchiver::IsFilePasswordValid(const std::string& fileName, const std::string& password) {
    CheckActive();
    TAvArchiveItem item;
    if (!FindFirst(fileName, item, 10431, "")) throw EAvException(42, fileName, this);
    const TDirItem& it = dir_->Items[item.Index];
    if (!(it.Flags & kFlagEncrypted)) return true;
    try {
        CheckWhole(false);
        auto dec = OpenEntryDecoder(*stream_, it, dir_->CentralDirOffset, this);
        if (!dec->TryPassword(password)) return false;
        // The check byte passes one wrong password in 256: the data decide.
        TAvExtractRun run(*this, *stream_, dir_->Items, dir_->CentralDirOffset);
        run.fixedPassword = &password;
        TAvNullStream null;
        run.Decode(item.Index, null, 0, 0);
        return true;
    } catch (const EAvException&) {
        return false;
    }
}

bool TAvBaseArchiver::IsValidArchiveFile() {
    if (Active()) return true;
    if (!Exists()) return false;
    try {
        TAvFileStream s(FileName, TAvFileStream::ofRead);
        TAvEndRecord end;
        std::string comment;
        // Without an end record it is damaged; the last volume of a set
        // names the others, which are read when it is opened.
        if (FindEndRecord(s, end, comment) < 0) return false;
        if (end.NumberOfThisDisk != 0) return true;
        TAvDirManager m(&s);
        m.LoadDir(false);
        return true;
    } catch (const EAvException&) {
        return false;
    }
}

}  // namespace zip
