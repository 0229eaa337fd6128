// Whole-file input and output.
//
// Every file the program keeps is written here, so the rules live here too:
// a new file is its owner's alone unless a caller asks for more, a save
// tightens a file that is looser, a link where a file is to be written is
// refused rather than followed, and only regular files are read or written
// (a pipe or device would block the program or feed it without end). The
// opening itself is the run-time library's (platform/rtl/fileio.h), which
// the layers below this library use too; what is added here is the walk to
// the folder, the retries and the reports.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <new>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

// What lasterrtext tells.
rtl::TFileFailure& lasterror() {
    static rtl::TFileFailure e;
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

private:
    int fd_;
};

// Opens up to ten times, 93 ms apart, while the failure may pass.
int openretry(const std::function<int()>& attempt) {
    for (int n = 1;; ++n) {
        const int fd = attempt();
        if (fd >= 0 || permanent(lasterror().Code) || n >= 10) return fd;
        waitpump(93);
    }
}

// Opens Name for writing (Flags add O_CREAT, O_TRUNC or O_APPEND), reached
// without links in the program's folders and never through a link itself,
// without waiting for a reader: only a regular file is kept, and one looser
// than CreateMode is tightened.
int openwrite(const std::string& name, int access, int flags, int createmode) {
    std::string leaf;
    const TFd dir(detail::openparent(name, leaf));
    if (dir.get() < 0) return -1;
    return rtl::OpenRegularWriteAt(dir.get(), leaf, name, access, flags, static_cast<mode_t>(createmode), lasterror());
}

FILE* streamof(int fd, const char* mode) {
    FILE* f = ::fdopen(fd, mode);
    if (!f) {
        detail::setlasterr(errno);
        ::close(fd);
    }
    return f;
}

// Name opened for writing (see openwrite) as a stream; none with lasterr set.
FILE* openwritestream(const std::string& name, int access, int flags, int createmode, const char* mode) {
    const int fd = openretry([&] { return openwrite(name, access, flags, createmode); });
    return fd < 0 ? nullptr : streamof(fd, mode);
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

enum class TFailure { none, open, write };

// The new content goes to a file beside the old one, which it replaces in a
// single rename once it is whole: the name never shows a half-written file,
// and whatever was planted at the name is refused, never written through.
TFailure replacewith(const std::string& name, int createmode, bool sync, const std::function<bool(FILE*)>& fill) {
    std::string leaf;
    const TFd dir(detail::openparent(name, leaf));
    if (dir.get() < 0) return TFailure::open;
    rtl::TFileReplacement replacement;
    const auto begin = [&] {
        return replacement.Begin(name, static_cast<mode_t>(createmode), lasterror(), dir.get()) ? 0 : -1;
    };
    if (openretry(begin) < 0) return TFailure::open;
    FILE* f = streamof(replacement.Release(), "wb");
    if (!f) return TFailure::open;
    // A replacement left uncommitted removes its new file.
    if (!finish(f, fill, sync) || !replacement.Commit(sync, lasterror())) return TFailure::write;
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

}  // namespace

void detail::setlasterr(int err) { lasterror() = rtl::TFileFailure{err, {}}; }

void detail::setfailure(const rtl::TFileFailure& why) { lasterror() = why; }

detail::TLastErrorKeeper::TLastErrorKeeper() : kept_(lasterror()) {}

detail::TLastErrorKeeper::~TLastErrorKeeper() { lasterror() = kept_; }

void detail::refuselink(const std::string& name) { lasterror() = rtl::RefuseLink(name); }

bool detail::lasterrrefusal() { return lasterror().Refused(); }

int detail::openread(const std::string& name, struct stat& st) {
    // Reads follow links (the user may keep a file elsewhere).
    return rtl::OpenRegularRead(name, st, lasterror());
}

std::string lasterrtext() { return lasterror().Text(); }

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
        if (!rtl::ReadToEnd(fd, data, static_cast<size_t>(st.st_size), lasterror())) {
            errreport("Could not Read " + name + "\r\n" + lasterrtext());
            return {};
        }
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
