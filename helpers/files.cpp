// Whole-file input and output.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

int lasterr = 0;

void reportopen(const std::string& name) { errreport("Could not Open " + name + "\r\n" + lasterrtext()); }
void reportwrite(const std::string& name) { errreport("Could not Write " + name + "\r\n" + lasterrtext()); }

bool permanent(int err) {
    return err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG || err == ELOOP || err == EACCES;
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

// Writes the text and closes the stream, once, whatever happened before.
bool finish(FILE* f, std::string_view text, bool sync) {
    bool ok = writestream(f, text);
    if (ok && sync && ::fsync(::fileno(f)) != 0) {
        detail::setlasterr(errno);
        ok = false;
    }
    return fclosechk(f) == 0 && ok;
}

bool writeopened(const std::string& name, const char* mode, std::string_view text, int createmode = 0666) {
    FILE* f = nullptr;
    if (mode[0] == 'a') {
        // Appending may create the file: give it its mode from the start.
        const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, createmode);
        if (fd >= 0 && !(f = ::fdopen(fd, mode))) ::close(fd);
        if (!f) detail::setlasterr(errno);
    } else {
        f = fopenretry(name, mode);
    }
    if (!f) {
        reportopen(name);
        return false;
    }
    if (!finish(f, text, false)) {
        reportwrite(name);
        return false;
    }
    return true;
}

// A new file beside Target that nobody else has opened.
FILE* opentemp(const std::string& target, std::string& tmpname, int createmode) {
    static unsigned serial = 0;
    const std::string dir = rtl::ExtractFilePath(target);
    const std::string base = "." + rtl::ExtractFileName(target) + ".";
    for (int attempt = 0; attempt < 10;) {
        tmpname = dir + base + rtl::IntToHex(static_cast<uint64_t>(::getpid()), 1) + "-" +
                  rtl::IntToHex(++serial, 1) + rtl::IntToHex(static_cast<uint64_t>(randomint(0x7FFFFFFF)), 1) +
                  ".tmp";
        const int fd = ::open(tmpname.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createmode);
        if (fd >= 0) {
            FILE* f = ::fdopen(fd, "wb");
            if (f) return f;
            detail::setlasterr(errno);
            ::close(fd);
            ::unlink(tmpname.c_str());
            return nullptr;
        }
        const int err = errno;
        detail::setlasterr(err);
        if (err == EEXIST) continue;
        if (permanent(err) || err == EROFS) break;
        if (++attempt < 10) waitpump(93);
    }
    return nullptr;
}

void syncfolder(const std::string& dir) {
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the data is in place; only the rename's durability is at stake
    ::fsync(fd);
    ::close(fd);
}

// The new content goes to a file beside the old one, which it replaces in a
// single rename once it is safely written.
bool replacefile(const std::string& name, std::string_view text, int createmode, bool sync) {
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return writeopened(name, "wb", text);  // a device or pipe
    std::string target = name;
    struct stat lst {};
    if (exists && ::lstat(name.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char real[PATH_MAX];
        if (::realpath(name.c_str(), real)) target = real;  // keep the link, replace what it names
    }
    std::string tmpname;
    // An existing file keeps its mode; the temporary file never has more.
    FILE* f = opentemp(target, tmpname, exists ? (st.st_mode & createmode & 0777) : createmode);
    // A folder that takes no new files may still let its files be rewritten.
    if (!f && exists) return writeopened(name, "wb", text);
    if (!f) {
        reportopen(name);
        return false;
    }
    if (exists) ::fchmod(::fileno(f), st.st_mode & 07777);
    bool ok = finish(f, text, sync);
    if (ok && ::rename(tmpname.c_str(), target.c_str()) != 0) {
        detail::setlasterr(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmpname.c_str());
        reportwrite(name);
        return false;
    }
    if (sync) syncfolder(rtl::ExtractFilePath(target));
    return true;
}

bool savefile(const std::string& name, std::string_view text, int createmode, bool sync) {
    if (!name.empty() && name[0] == '+') {
        if (text.empty()) return true;
        return writeopened(name.substr(1), "ab", text, createmode);
    }
    if (name.empty()) {
        detail::setlasterr(ENOENT);
        reportopen(name);
        return false;
    }
    return replacefile(name, text, createmode, sync);
}

}  // namespace

void detail::setlasterr(int err) { lasterr = err; }

std::string lasterrtext() { return rtl::Trim(rtl::SysErrorMessage(lasterr)); }

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
    FILE* f = std::fopen(name.c_str(), mode);
    for (int retry = 0; !f && retry < 9; ++retry) {
        detail::setlasterr(errno);
        waitpump(93);
        f = std::fopen(name.c_str(), mode);
    }
    if (!f) detail::setlasterr(errno);
    return f;
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
    const int64_t size = filesize64(name);
    if (size <= 0) return {};
    FILE* f = fopenretry(name, "rb");
    if (!f) {
        reportopen(name);
        return {};
    }
    std::string data;
    try {
        data.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        fclosechk(f);
        errreport("Not Enough Memory to Read " + name);
        return {};
    }
    data.resize(std::fread(data.data(), 1, data.size(), f));
    const bool failed = std::ferror(f) != 0;
    if (failed) detail::setlasterr(errno);
    fclosechk(f);
    if (failed) {
        // Half a file must not pass for the whole of it.
        errreport("Could not Read " + name + "\r\n" + lasterrtext());
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
