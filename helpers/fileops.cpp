// File checks, copies, and renames and deletes that retry and ask.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <thread>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

std::function<void(int32_t ms)> retrysleep = [](int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
};

namespace {

TDateTime mtimelocal(const struct stat& st) { return rtl::UTCToLocal(rtl::UnixToDateTime(st.st_mtime)); }

// Read-only files are made writable before they are renamed or deleted.
void makewritable(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR)) ::chmod(name.c_str(), st.st_mode | S_IWUSR);
}

// Copies a file into Leaf of the folder Dir (Target, as reports call it),
// which must not exist yet, with the source's mode from the start and its
// dates. A copy that fails part way is removed: a half file must never
// stand where the whole one was meant to go.
bool copynew(const std::string& source, int dir, const std::string& leaf, const std::string& target) {
    struct stat st {};
    const int in = detail::openread(source, st);
    if (in < 0) return false;
    rtl::TFileFailure why;
    const int out = rtl::OpenRegularWriteAt(dir, leaf, target, O_WRONLY, O_CREAT | O_EXCL, st.st_mode & 07777, why);
    if (out >= 0) {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) why.Code = errno;
            if (n <= 0 || !rtl::WriteAll(out, std::string_view(buf, static_cast<size_t>(n)), why)) break;
        }
        const timespec times[2] = {st.st_atim, st.st_mtim};
        if (!why.Code && (::futimens(out, times) != 0 || ::fsync(out) != 0)) why.Code = errno;
        if (::close(out) != 0 && !why.Code) why.Code = errno;
        if (why.Code) ::unlinkat(dir, leaf.c_str(), 0);
    }
    ::close(in);
    if (why.Code) detail::setfailure(why);
    return why.Code == 0;
}

// Moves a file without ever replacing an existing target, into a folder
// reached as the writers reach theirs (no links in the program's folders).
bool movefile(const std::string& from, const std::string& to) {
    std::string leaf;
    const int dir = detail::openparent(to, leaf);
    if (dir < 0) return false;
    struct TDir {
        int fd;
        ~TDir() { ::close(fd); }
    } guard{dir};
    if (::renameat2(AT_FDCWD, from.c_str(), dir, leaf.c_str(), RENAME_NOREPLACE) == 0) return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {  // a file system without the flag
        if (::linkat(AT_FDCWD, from.c_str(), dir, leaf.c_str(), 0) == 0) {
            ::unlink(from.c_str());
            return true;
        }
        err = errno;
    }
    if (err == EXDEV || err == EPERM) {  // another file system, or no hard links
        if (!copynew(from, dir, leaf, to)) return false;
        if (::unlink(from.c_str()) == 0) return true;
        err = errno;
        ::unlinkat(dir, leaf.c_str(), 0);
    }
    detail::setlasterr(err);
    return false;
}

bool unlinkfile(const std::string& name) {
    if (::unlink(name.c_str()) == 0) return true;
    detail::setlasterr(errno);
    return false;
}

// Attempts Operation every 120 ms; after each hundred failures asks whether to
// go on. Every tenth attempt checks whether the file is still there; Gone is
// the answer when it is not.
bool retryloop(const std::string& name, const std::function<bool()>& operation,
               const std::function<std::string()>& question, bool gone) {
    for (int i = 0;;) {
        if (operation()) return true;
        // A link or a pipe where the file was to go stays there: the question comes at once.
        if (detail::lasterrrefusal()) i = 99;
        retrysleep(120);
        ++i;
        if (i % 10 == 0 && !pathexists(name)) return gone;
        if (i >= 100) {
            if (!askyesno(question())) return false;
            i = 0;
        }
    }
}

}  // namespace

bool pathexists(const std::string& name) {
    if (name.empty()) return false;
    struct stat st {};
    if (detail::statretry(name, st, 21, 183) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return true;
    waitpump(250);
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TDateTime filedate(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return 0;
    return mtimelocal(st);
}

bool sametime(TDateTime a, TDateTime b) { return std::fabs(a - b) < 0.00005; }

bool filecopy(const std::string& source, const std::string& target) {
    struct stat st {};
    const int in = detail::openread(source, st);
    if (in < 0) return false;
    const bool ok = detail::replacefile(target, 0600, [in](FILE* out) {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || (n > 0 && std::fwrite(buf, 1, static_cast<size_t>(n), out) != static_cast<size_t>(n))) {
                detail::setlasterr(errno ? errno : EIO);
                return false;
            }
            if (n == 0) break;
        }
        if (std::fflush(out) == 0) return true;
        detail::setlasterr(errno);
        return false;
    });
    ::close(in);
    return ok;
}

bool renameretry(const std::string& oldname, const std::string& newname) {
    if (!pathexists(oldname)) return false;
    makewritable(oldname);
    auto question = [&] {
        const std::string reason = lasterrtext();
        return "Could not Rename " + oldname + " to " + newname + "\r\nReason :" + reason + "\r\nFile Existence :-\r\n" +
               oldname + "=" + boolstr(pathexists(oldname)) + "\r\n" + newname + "=" + boolstr(pathexists(newname)) +
               "\r\nRetry";
    };
    return retryloop(oldname, [&] { return movefile(oldname, newname); }, question, false);
}

bool deleteretry(const std::string& name) {
    // A folder is not a file: it stays, and that is no success.
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        detail::setlasterr(EISDIR);
        return false;
    }
    if (!pathexists(name)) return true;
    makewritable(name);
    auto question = [&] {
        const std::string reason = lasterrtext();
        return "Could not Delete " + name + "\r\nReason :" + reason + "\r\nFile Details :-\r\n" + filedetails(name) +
               "\r\nRetry";
    };
    return retryloop(name, [&] { return unlinkfile(name); }, question, true);
}

std::string filedetails(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return name + " - File or Directory does not Exist";
    const TDateTime local = mtimelocal(st);
    const std::string date = rtl::FormatDateTime("ddd mmm dd hh:nn:ss yyyy", local);
    // Read-only, hidden, system, archive (a plain file), folder.
    const std::string base = rtl::ExtractFileName(rtl::ExcludeTrailingPathDelimiter(name));
    std::string attrs;
    attrs += (st.st_mode & S_IWUSR) ? '-' : 'R';
    attrs += (!base.empty() && base[0] == '.') ? 'H' : '-';
    attrs += '-';
    attrs += S_ISREG(st.st_mode) ? 'A' : '-';
    attrs += S_ISDIR(st.st_mode) ? 'D' : '-';
    return name + " -  Size=" + numsep(st.st_size) + "  Date=" + date + "  Attributes=" + attrs;
}

}  // namespace helpers
