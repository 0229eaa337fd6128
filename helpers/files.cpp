// Whole-file input and output.
//
// Every file the program keeps is written here, so the rules live here too:
// a new file is its owner's alone unless a caller asks for more, a save
// tightens a file that is looser, a link where a file is to be written is
// refused rather than followed, and only regular files are read or written
// (a pipe or device would block the program or feed it without end).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <new>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

struct TLastError {
    int code = 0;
    std::string text;  // when set, told instead of the system's text
    bool refusal = false;
};

TLastError& lasterror() {
    static TLastError e;
    return e;
}

void reportopen(const std::string& name) { errreport("Could not Open " + name + "\r\n" + lasterrtext()); }
void reportwrite(const std::string& name) { errreport("Could not Write " + name + "\r\n" + lasterrtext()); }

// Failures that waiting cannot change.
bool permanent(int err) {
    return err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG || err == ELOOP || err == EACCES || err == EPERM ||
           err == EISDIR || err == EROFS || err == ENXIO || err == EINVAL;
}

// A descriptor closed when the scope ends.
class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Opens up to ten times, 93 ms apart, while the failure may pass.
int openretry(const std::function<int()>& attempt) {
    for (int n = 1;; ++n) {
        const int fd = attempt();
        if (fd >= 0 || permanent(lasterror().code) || n >= 10) return fd;
        waitpump(93);
    }
}

// Only a regular file is taken; anything else is refused and closed.
int keepregular(int fd, const std::string& name, struct stat& st) {
    if (::fstat(fd, &st) != 0) {
        detail::setlasterr(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        detail::refusespecial(name, st);
        ::close(fd);
        return -1;
    }
    // Opened without waiting; from here on reads and writes may wait as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Why Leaf in the folder Dir could not be opened for writing: a link or a
// special file there is told as such, anything else by its error number.
void explainwrite(int dir, const std::string& leaf, const std::string& name, int err) {
    struct stat st {};
    if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) return detail::refuselink(name);
        if (!S_ISREG(st.st_mode)) return detail::refusespecial(name, st);
    }
    detail::setlasterr(err);
}

// Opens Name for writing (Flags add O_CREAT, O_TRUNC or O_APPEND), reached
// without links in the program's folders and never through a link itself,
// without waiting for a reader: only a regular file is kept.
int openwrite(const std::string& name, int access, int flags, int createmode, struct stat& st) {
    std::string leaf;
    const TFd dir(detail::openparent(name, leaf));
    if (dir.get() < 0) return -1;
    const int fd = ::openat(dir.get(), leaf.c_str(), access | flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, createmode);
    if (fd < 0) {
        explainwrite(dir.get(), leaf, name, errno);
        return -1;
    }
    return keepregular(fd, name, st);
}


// A save never loosens a file: what others may not read now, they may not
// read after it; a file looser than the caller asks for is tightened.
void tighten(int fd, const struct stat& st, int createmode) {
    const mode_t mode = st.st_mode & 0777;
    const mode_t want = mode & static_cast<mode_t>(createmode);
    if (want != mode && st.st_uid == ::geteuid()) ::fchmod(fd, want);
}

FILE* streamof(int fd, const char* mode) {
    FILE* f = ::fdopen(fd, mode);
    if (!f) {
        detail::setlasterr(errno);
        ::close(fd);
    }
    return f;
}

// Name opened for writing (see openwrite) as a stream, a file looser than
// CreateMode tightened first; none with lasterr set.
FILE* openwritestream(const std::string& name, int access, int flags, int createmode, const char* mode) {
    struct stat st {};
    const int fd = openretry([&] { return openwrite(name, access, flags, createmode, st); });
    if (fd < 0) return nullptr;
    tighten(fd, st, createmode);
    return streamof(fd, mode);
}

bool writestream(FILE* f, std::string_view text) {
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size()) {
        detail::setlasterr(errno);
        return false;
    }
    if (std::fflush(f) != 0) {
        detail::setlasterr(errno);
        return false;
    }
    return true;
}

// Fills the stream and closes it, once, whatever happened before. A close
// that fails after a failed fill keeps the fill's reason.
bool finish(FILE* f, const std::function<bool(FILE*)>& fill, bool sync) {
    bool ok = fill(f);
    if (ok && sync && ::fsync(::fileno(f)) != 0) {
        detail::setlasterr(errno);
        ok = false;
    }
    if (ok) return fclosechk(f) == 0;
    const detail::TLastErrorKeeper keep;
    fclosechk(f);
    return false;
}

// A new file beside Leaf in the folder Dir that nobody else has opened.
FILE* opentemp(int dir, const std::string& leaf, std::string& tmpname, int createmode) {
    static unsigned serial = 0;
    // Room for the additions within a name's 255 bytes.
    const std::string base = "." + leaf.substr(0, 200) + ".";
    return streamof(openretry([&] {
                        for (;;) {
                            tmpname = base + rtl::IntToHex(static_cast<uint64_t>(::getpid()), 1) + "-" +
                                      rtl::IntToHex(++serial, 1) +
                                      rtl::IntToHex(static_cast<uint64_t>(randomint(0x7FFFFFFF)), 1) + ".tmp";
                            const int fd = ::openat(dir, tmpname.c_str(),
                                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createmode);
                            if (fd >= 0 || errno != EEXIST) {
                                if (fd < 0) detail::setlasterr(errno);
                                return fd;
                            }
                        }
                    }),
                    "wb");
}

enum class TFailure { none, open, write };

// Rewrites the file where it is.
TFailure rewrite(const std::string& name, int createmode, const std::function<bool(FILE*)>& fill, bool sync) {
    FILE* f = openwritestream(name, O_WRONLY, O_TRUNC, createmode, "wb");
    if (!f) return TFailure::open;
    return finish(f, fill, sync) ? TFailure::none : TFailure::write;
}

// The new content goes to a file beside the old one, which it replaces in a
// single rename once it is whole: the name never shows a half-written file,
// and whatever was planted at the name is replaced, never written through.
TFailure replacewith(const std::string& name, int createmode, bool sync, const std::function<bool(FILE*)>& fill) {
    std::string leaf;
    const TFd dir(detail::openparent(name, leaf));
    if (dir.get() < 0) return TFailure::open;
    struct stat st {};
    const bool exists = ::fstatat(dir.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        detail::refuselink(name);
        return TFailure::open;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        detail::refusespecial(name, st);
        return TFailure::open;
    }
    const mode_t mode = exists ? (st.st_mode & static_cast<mode_t>(createmode) & 0777) : static_cast<mode_t>(createmode);
    std::string tmpname;
    FILE* f = opentemp(dir.get(), leaf, tmpname, static_cast<int>(mode));
    // A folder that takes no new files may still let its files be rewritten;
    // any other failure (a full disk) must not cost the file it has.
    const int err = lasterror().code;
    if (!f && exists && (err == EACCES || err == EPERM)) return rewrite(name, createmode, fill, sync);
    if (!f) return TFailure::open;
    // The umask may have taken more from a new file's mode, never less.
    if (exists) ::fchmod(::fileno(f), mode);
    bool ok = finish(f, fill, sync);
    if (ok && ::renameat(dir.get(), tmpname.c_str(), dir.get(), leaf.c_str()) != 0) {
        detail::setlasterr(errno);
        ok = false;
    }
    if (!ok) {
        ::unlinkat(dir.get(), tmpname.c_str(), 0);
        return TFailure::write;
    }
    // The data is in place; only the rename's durability is at stake.
    if (sync) ::fsync(dir.get());
    return TFailure::none;
}

bool savefile(const std::string& name, std::string_view text, int createmode, bool sync) {
    const auto fill = [text](FILE* f) { return writestream(f, text); };
    TFailure failure;
    std::string target = name;
    if (!name.empty() && name[0] == '+') {
        if (text.empty()) return true;
        target = name.substr(1);
        FILE* f = openwritestream(target, O_WRONLY, O_CREAT | O_APPEND, createmode, "ab");
        failure = !f ? TFailure::open : finish(f, fill, sync) ? TFailure::none : TFailure::write;
    } else {
        failure = replacewith(name, createmode, sync, fill);
    }
    if (failure == TFailure::open) reportopen(target);
    if (failure == TFailure::write) reportwrite(target);
    return failure == TFailure::none;
}

std::string kindof(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a pipe";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    return "not a regular file";
}

}  // namespace

void detail::setlasterr(int err) { lasterror() = TLastError{err, {}, false}; }

void detail::setlasterr(int err, std::string text) { lasterror() = TLastError{err, std::move(text), false}; }

detail::TLastErrorKeeper::TLastErrorKeeper() : code_(lasterror().code), text_(lasterror().text) {
    refusal_ = lasterror().refusal;
}

detail::TLastErrorKeeper::~TLastErrorKeeper() { lasterror() = TLastError{code_, text_, refusal_}; }

void detail::refuselink(const std::string& name) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
    target.resize(n > 0 ? static_cast<size_t>(n) : 0);
    lasterror() = TLastError{ELOOP,
                             name + " is a link" + (target.empty() ? std::string() : " (to " + target + ")") +
                                 "; the program does not write through links",
                             true};
}

void detail::refusespecial(const std::string& name, const struct stat& st) {
    lasterror() = TLastError{EINVAL, name + " is " + kindof(st) + ", not a regular file", true};
}

bool detail::lasterrrefusal() { return lasterror().refusal; }

int detail::openread(const std::string& name, struct stat& st) {
    // Reads follow links (the user may keep a file elsewhere).
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setlasterr(errno);
        return -1;
    }
    return keepregular(fd, name, st);
}

std::string lasterrtext() {
    const TLastError& e = lasterror();
    return e.text.empty() ? rtl::Trim(rtl::SysErrorMessage(e.code)) : e.text;
}

int detail::statretry(const std::string& name, struct stat& st, int maxfailures, int waitms, int* failures) {
    int count = 0;
    int err = 0;
    while (::stat(name.c_str(), &st) != 0) {
        err = errno;
        ++count;
        if (permanent(err) || count >= maxfailures) break;
        err = 0;
        waitpump(waitms);
    }
    if (failures) *failures = count;
    return err;
}

FILE* fopenretry(const std::string& name, const char* mode) {
    const std::string_view m(mode);
    const bool update = m.find('+') != std::string_view::npos;
    if (m[0] == 'r' && !update) {
        struct stat st {};
        const int fd = openretry([&] { return detail::openread(name, st); });
        return fd < 0 ? nullptr : streamof(fd, mode);
    }
    const int flags = m[0] == 'r' ? 0 : O_CREAT | (m[0] == 'a' ? O_APPEND : O_TRUNC);
    return openwritestream(name, update ? O_RDWR : O_WRONLY, flags, 0600, mode);
}

int fclosechk(FILE* stream) {
    if (!stream) return 0;
    // The stream is released even when the close fails, so it is closed once.
    const int rc = std::fclose(stream);
    if (rc != 0) {
        detail::setlasterr(errno);
        errlog("Cannot Close File Handle");
    }
    return rc;
}

std::string loadtext(const std::string& name) {
    if (name.empty()) return {};
    struct stat st {};
    // A missing file, or one whose status cannot be had, reads as empty.
    if (detail::statretry(name, st, 10, 83) != 0 || S_ISDIR(st.st_mode)) return {};
    const int fd = openretry([&] { return detail::openread(name, st); });
    if (fd < 0) {
        reportopen(name);
        return {};
    }
    const TFd file(fd);
    std::string data;
    try {
        // Read to the end, not by the size: some files (those of /proc, one
        // being written) are longer than their status says.
        data.resize(static_cast<size_t>(st.st_size) + 4096);
        size_t have = 0;
        for (;;) {
            if (have == data.size()) data.resize(data.size() * 2);
            const ssize_t n = ::read(fd, data.data() + have, data.size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                // Half a file must not pass for the whole of it.
                detail::setlasterr(errno);
                errreport("Could not Read " + name + "\r\n" + lasterrtext());
                return {};
            }
            if (n == 0) break;
            have += static_cast<size_t>(n);
        }
        data.resize(have);
    } catch (const std::bad_alloc&) {
        errreport("Not Enough Memory to Read " + name);
        return {};
    }
    return data;
}

bool savetext(const std::string& name, std::string_view text, int createmode) {
    return savefile(name, text, createmode, true);
}

bool savescratch(const std::string& name, std::string_view text, int createmode) {
    return savefile(name, text, createmode, false);
}

bool detail::replacefile(const std::string& name, int createmode, const std::function<bool(FILE*)>& fill) {
    return replacewith(name, createmode, true, fill) == TFailure::none;
}

int64_t filesize64(const std::string& name) {
    if (name.empty()) return 0;
    struct stat st {};
    int failures = 0;
    const int err = detail::statretry(name, st, 10, 83, &failures);
    if (err) return 0;
    // Only plain files have contents to read; a file just being created may
    // show 0 bytes at first.
    auto size = [](const struct stat& s) { return S_ISREG(s.st_mode) ? static_cast<int64_t>(s.st_size) : 0; };
    if (size(st) == 0 && failures == 0) {
        waitpump(250);
        if (::stat(name.c_str(), &st) == 0) return size(st);
    }
    return size(st);
}

}  // namespace helpers
