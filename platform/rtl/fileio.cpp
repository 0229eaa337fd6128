#include "platform/rtl/fileio.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "platform/rtl/sysutils.h"

namespace rtl {

namespace {

TFileFailure systemfailure(int code) { return TFileFailure{code, {}}; }

std::string kindof(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a pipe";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    return "not a regular file";
}

// Only a regular file is kept; anything else is refused and closed. It was
// opened without waiting; from here on reads and writes wait as usual.
int keepregular(int fd, const std::string& name, struct stat& st, TFileFailure& why) {
    if (::fstat(fd, &st) != 0) {
        why = systemfailure(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = RefuseSpecial(name, st);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// What stands at Leaf of the folder Dir, told as a refusal when it is a
// link or a special file; Exists tells whether anything does.
bool refuseplant(int dir, const std::string& leaf, const std::string& name, struct stat& st, bool& exists,
                 TFileFailure& why) {
    exists = ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        why = RefuseLink(name);
        return true;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        why = RefuseSpecial(name, st);
        return true;
    }
    return false;
}

// A save never loosens a file: what others may not read now, they may not
// read after it.
void tighten(int fd, const struct stat& st, mode_t mode) {
    const mode_t now = st.st_mode & 0777;
    const mode_t want = now & mode;
    if (want != now && st.st_uid == ::geteuid()) ::fchmod(fd, want);
}

// A new file beside Leaf in the folder Dir that nobody else has opened.
int createbeside(int dir, const std::string& leaf, mode_t mode, std::string& temp, TFileFailure& why) {
    static std::atomic<unsigned> serial{0};
    // Room for the additions within a name's 255 bytes.
    const std::string base = "." + leaf.substr(0, 200) + "." + IntToHex(static_cast<uint64_t>(::getpid()), 1) + "-";
    for (;;) {
        temp = base + IntToHex(++serial, 1) + ".tmp";
        const int fd = ::openat(dir, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            why = systemfailure(errno);
            temp.clear();
            return -1;
        }
    }
}

}  // namespace

std::string TFileFailure::Text() const { return Refused() ? Reason : Trim(SysErrorMessage(Code)); }

TFileFailure RefuseLink(const std::string& name) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
    target.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return TFileFailure{ELOOP, name + " is a link" + (target.empty() ? std::string() : " (to " + target + ")") +
                                   "; the program does not write through links"};
}

TFileFailure RefuseSpecial(const std::string& name, const struct stat& st) {
    return TFileFailure{EINVAL, name + " is " + kindof(st) + ", not a regular file"};
}

int OpenRegularRead(const std::string& name, struct stat& st, TFileFailure& why) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = systemfailure(errno);
        return -1;
    }
    return keepregular(fd, name, st, why);
}

bool ReadToEnd(int fd, std::string& data, size_t hint, TFileFailure& why) {
    data.resize(hint + 4096);
    size_t have = 0;
    for (;;) {
        if (have == data.size()) data.resize(data.size() * 2);
        const ssize_t n = ::read(fd, data.data() + have, data.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // Half a file must not pass for the whole of it.
            why = systemfailure(errno);
            data.clear();
            return false;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    data.resize(have);
    return true;
}

bool WriteAll(int fd, std::string_view data, TFileFailure& why) {
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = systemfailure(n < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadRegularFile(const std::string& name, std::string& data, TFileFailure& why) {
    struct stat st {};
    const int fd = OpenRegularRead(name, st, why);
    if (fd < 0) return false;
    const bool ok = ReadToEnd(fd, data, static_cast<size_t>(st.st_size), why);
    ::close(fd);
    return ok;
}

int OpenParentFolder(const std::string& name, std::string& leaf, TFileFailure& why) {
    leaf = ExtractFileName(name);
    if (leaf.empty() || leaf == "." || leaf == "..") {
        why = systemfailure(name.empty() ? ENOENT : EISDIR);
        return -1;
    }
    std::string folder = ExtractFilePath(name);
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) why = systemfailure(errno);
    return dir;
}

int OpenFolderAt(int dir, const std::string& relative, const std::string& shown, bool create, mode_t mode, bool follow,
                 TFileFailure& why) {
    int fd = ::dup(dir);
    if (fd < 0) {
        why = systemfailure(errno);
        return -1;
    }
    // dup shares the open folder: later parts open relative to it, never
    // change it.
    const int nofollow = follow ? 0 : O_NOFOLLOW;
    std::string at = shown;
    for (size_t from = 0; from <= relative.size();) {
        size_t end = relative.find('/', from);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(from, end - from);
        from = end + 1;
        if (part.empty() || part == ".") continue;
        at += (at.empty() || at.back() == '/' ? "" : "/") + part;
        int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | nofollow);
        if (next < 0 && errno == ENOENT && create && (::mkdirat(fd, part.c_str(), mode) == 0 || errno == EEXIST))
            next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | nofollow);
        if (next < 0) {
            const int err = errno;
            struct stat st {};
            if (!follow && (err == ELOOP || err == ENOTDIR) && ::fstatat(fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                why = RefuseLink(at);
            else
                why = systemfailure(err);
            ::close(fd);
            return -1;
        }
        ::close(fd);
        fd = next;
    }
    return fd;
}

int OpenRegularWriteAt(int dir, const std::string& leaf, const std::string& name, int access, int flags, mode_t mode,
                       TFileFailure& why) {
    const int fd = ::openat(dir, leaf.c_str(), access | flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        // A link there fails as ELOOP, a pipe without a reader as ENXIO:
        // either is told for what it is.
        const int err = errno;
        struct stat st {};
        bool exists = false;
        if (!refuseplant(dir, leaf, name, st, exists, why)) why = systemfailure(err);
        return -1;
    }
    struct stat st {};
    if (keepregular(fd, name, st, why) < 0) return -1;
    tighten(fd, st, mode);
    return fd;
}

int OpenRegularWrite(const std::string& name, int access, int flags, mode_t mode, TFileFailure& why) {
    std::string leaf;
    const int dir = OpenParentFolder(name, leaf, why);
    if (dir < 0) return -1;
    const int fd = OpenRegularWriteAt(dir, leaf, name, access, flags, mode, why);
    ::close(dir);
    return fd;
}

// ------------------------------------------------------------- replacing

TFileReplacement::~TFileReplacement() {
    Abandon();
    if (ownsdir_) ::close(dir_);
}

bool TFileReplacement::Begin(const std::string& name, mode_t mode, TFileFailure& why, int dir, off_t room) {
    Abandon();
    if (ownsdir_) ::close(dir_);
    ownsdir_ = dir < 0;
    dir_ = dir >= 0 ? dir : OpenParentFolder(name, leaf_, why);
    if (dir_ < 0) {
        ownsdir_ = false;
        return false;
    }
    if (dir >= 0) leaf_ = ExtractFileName(name);
    struct stat st {};
    bool exists = false;
    if (refuseplant(dir_, leaf_, name, st, exists, why)) return false;
    const mode_t newmode = exists ? (st.st_mode & mode & 0777) : mode;
    fd_ = createbeside(dir_, leaf_, newmode, temp_, why);
    if (fd_ < 0) {
        // A folder that takes no new files may still let its files be
        // rewritten; any other failure (a full disk) must not cost the file.
        if (!exists || (why.Code != EACCES && why.Code != EPERM)) return false;
        return beginInPlace(name, mode, room, why);
    }
    // The umask may have taken more from the old file's mode, never less.
    if (exists) ::fchmod(fd_, newmode);
    return true;
}

bool TFileReplacement::beginInPlace(const std::string& name, mode_t mode, off_t room, TFileFailure& why) {
    const int fd = OpenRegularWriteAt(dir_, leaf_, name, O_RDWR, 0, mode, why);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = systemfailure(errno);
        ::close(fd);
        return false;
    }
    if (!ReadToEnd(fd, old_, static_cast<size_t>(st.st_size), why)) {
        ::close(fd);
        return false;
    }
    inplace_ = fd;
    room_ = room;
    fd_ = ::dup(fd);
    if (fd_ < 0 || ::ftruncate(inplace_, 0) != 0 || ::lseek(inplace_, 0, SEEK_SET) != 0) {
        why = systemfailure(errno);
        Abandon();
        return false;
    }
    // The blocks the old bytes held are the file's again at once; more is
    // asked for before a byte is written (beyond the file's end, so that it
    // shows only what was written).
    if (room > 0 && ::fallocate(inplace_, FALLOC_FL_KEEP_SIZE, 0, room) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        why = systemfailure(errno);
        Abandon();
        return false;
    }
    return true;
}

void TFileReplacement::putBack() {
    TFileFailure ignored;
    if (::ftruncate(inplace_, 0) == 0 && ::lseek(inplace_, 0, SEEK_SET) == 0 && WriteAll(inplace_, old_, ignored))
        ::fsync(inplace_);
    ::close(inplace_);
    inplace_ = -1;
    old_ = std::string();
}

int TFileReplacement::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool TFileReplacement::Commit(bool sync, TFileFailure& why) {
    bool ok = true;
    if (fd_ >= 0) {
        if (sync && ::fsync(fd_) != 0) {
            why = systemfailure(errno);
            ok = false;
        }
        if (::close(fd_) != 0 && ok) {
            why = systemfailure(errno);
            ok = false;
        }
        fd_ = -1;
    }
    if (ok && inplace_ >= 0 && sync && ::fsync(inplace_) != 0) {
        why = systemfailure(errno);
        ok = false;
    }
    if (ok && !temp_.empty() && ::renameat(dir_, temp_.c_str(), dir_, leaf_.c_str()) != 0) {
        why = systemfailure(errno);
        ok = false;
    }
    if (!ok) {
        Abandon();
        return false;
    }
    temp_.clear();
    if (inplace_ >= 0) {
        // Room taken and not written is given back.
        const off_t size = ::lseek(inplace_, 0, SEEK_END);
        if (size >= 0 && room_ > size)
            ::fallocate(inplace_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, size, room_ - size);
        ::close(inplace_);
        inplace_ = -1;
        old_ = std::string();
        return true;
    }
    // The data is in place; only the rename's durability is at stake.
    if (sync) ::fsync(dir_);
    return true;
}

void TFileReplacement::Abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlinkat(dir_, temp_.c_str(), 0);
    temp_.clear();
    if (inplace_ >= 0) putBack();
}

bool ReplaceFile(const std::string& name, std::string_view data, mode_t mode, TFileFailure& why) {
    TFileReplacement r;
    return r.Begin(name, mode, why, -1, static_cast<off_t>(data.size())) && WriteAll(r.Handle(), data, why) &&
           r.Commit(true, why);
}

int CreateReplacing(const std::string& name, mode_t mode, TFileFailure& why) {
    TFileReplacement r;
    if (!r.Begin(name, mode, why)) return -1;
    const int fd = r.Release();
    if (r.Commit(false, why)) return fd;
    ::close(fd);
    return -1;
}

// ------------------------------------------------------------- streams

namespace {

// A stream buffer that owns Fd (closed with it); none, with Why set, when
// the descriptor cannot be taken.
std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> fdbuffer(int fd, std::ios::openmode mode, TFileFailure& why) {
    auto buf = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, mode | std::ios::binary);
    if (buf->is_open()) return buf;
    why = systemfailure(errno);
    ::close(fd);
    return nullptr;
}

}  // namespace

TFileReadStream::TFileReadStream(const std::string& name) : std::istream(nullptr) {
    struct stat st {};
    const int fd = OpenRegularRead(name, st, why_);
    if (fd >= 0) buf_ = fdbuffer(fd, std::ios::in, why_);
    if (buf_) rdbuf(buf_.get());
    else setstate(std::ios::failbit);
}

TFileReplaceStream::TFileReplaceStream(const std::string& name, mode_t mode) : std::ostream(nullptr) {
    if (replacement_.Begin(name, mode, why_)) buf_ = fdbuffer(replacement_.Release(), std::ios::out, why_);
    if (buf_) rdbuf(buf_.get());
    else setstate(std::ios::failbit);
}

bool TFileReplaceStream::Commit() {
    if (!buf_) return false;
    int err = 0;
    errno = 0;
    if (!flush()) err = errno ? errno : EIO;
    if (!err && ::fsync(buf_->fd()) != 0) err = errno;
    errno = 0;
    if (!buf_->close() && !err) err = errno ? errno : EIO;
    rdbuf(nullptr);
    buf_.reset();
    if (err) {
        why_ = systemfailure(err);
        return false;
    }
    // The file is synced and closed: what is left is the rename and the folder.
    return replacement_.Commit(true, why_);
}

}  // namespace rtl
