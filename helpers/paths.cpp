// The program folder, the program's parameters and path roots.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <vector>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/program.h"

namespace helpers {

namespace {

struct Redirect {
    bool read = false;
    std::string path;  // the program path as redirected, or empty
};

Redirect& redirect() {
    static Redirect r;
    return r;
}

// A path made absolute and tidied ("." and ".." resolved) without
// following links; a trailing "/" stays.
std::string fullpath(const std::string& p) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(p, ec);
    if (ec) return p;
    std::string r = full.lexically_normal().string();
    if (!p.empty() && p.back() == '/' && (r.empty() || r.back() != '/')) r += '/';
    return r;
}

std::string withslash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// The program's own folder that holds Path (the deepest of them), or empty.
// Path is absolute and ends in "/".
std::string ownfolder(const std::string& path) {
    std::string best;
    for (const std::string* root : {static_cast<const std::string*>(&homedir), &detail::userdatacached()}) {
        if (root->empty() || (*root)[0] != '/') continue;
        const std::string r = withslash(*root);
        if (r.size() > best.size() && path.compare(0, r.size(), r) == 0) best = r;
    }
    return best;
}

}  // namespace

int detail::openfolder(const std::string& folder, bool create) {
    std::string path = withslash(folder.empty() ? std::string(".") : folder);
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) {
            setlasterr(errno);
            return -1;
        }
        path = withslash(cwd) + path;
    }
    // In the program's own folders a link is never followed: whoever could
    // plant one would send mail, or the program's writes, where they chose.
    const std::string root = ownfolder(path);
    const bool guarded = !root.empty();
    const std::string at = guarded ? root : "/";
    const int base = ::open(at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (base < 0) {
        setlasterr(errno);
        return -1;
    }
    rtl::TFileFailure why;
    const int fd = rtl::OpenFolderAt(base, path.substr(at.size()), at, create, 0700, !guarded, why);
    ::close(base);
    if (fd < 0) setfailure(why);
    return fd;
}

int detail::openparent(const std::string& name, std::string& leaf) {
    leaf = rtl::ExtractFileName(name);
    if (leaf.empty() || leaf == "." || leaf == "..") {
        setlasterr(name.empty() ? ENOENT : EISDIR);
        return -1;
    }
    return openfolder(rtl::ExtractFilePath(name), false);
}

bool forcedirs(const std::string& folder) {
    const int fd = detail::openfolder(folder, true);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void detail::resetpaths() { redirect() = Redirect{}; }

std::string exeparam(int32_t n) {
    Redirect& r = redirect();
    if (!r.read) {
        r.read = true;  // once, even when reading it reports (the report names the program)
        const std::string real = win::ParamStr(0);
        std::string folder = loadtext(rtl::ExtractFilePath(real) + "redirect_exes.txt");
        // The line end that editors leave at the end is no part of the name.
        while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
        if (!folder.empty()) r.path = rtl::IncludeTrailingPathDelimiter(folder) + rtl::ExtractFileName(real);
    }
    if (n != 0 || r.path.empty()) return win::ParamStr(n);
    return r.path;
}

std::string programname() {
    const std::string name = rtl::ExtractFileName(exeparam(0));
    return rtl::ChangeFileExt(name, "");
}

std::string findhomedir(bool parent) {
    std::string p = rtl::ExtractFilePath(exeparam(0));
    if (p.empty()) p = "./";
    p = fullpath(p);
    if (parent) {
        p = rtl::ExcludeTrailingPathDelimiter(p);
        const size_t slash = p.rfind('/');
        if (slash != std::string::npos) p.erase(slash + 1);
    }
    return p;
}

std::string paramline(int32_t first) {
    std::string r;
    for (int32_t i = first; i <= win::ParamCount(); ++i) {
        const std::string p = exeparam(i);
        const char* q = p.find(' ') != std::string::npos ? "\"" : "";
        r += q + p + q + " ";
    }
    return rtl::Trim(r);
}

std::string pathroot(const std::string& path) {
    // The root of a path is the mount point of the file system it lies on.
    std::filesystem::path p = fullpath(path.empty() ? "." : path);
    struct stat st {};
    while (::stat(p.c_str(), &st) != 0 && p.has_relative_path()) p = p.parent_path();
    for (;;) {
        const std::filesystem::path up = p.parent_path();
        struct stat ust {};
        if (up == p || ::stat(up.c_str(), &ust) != 0 || ust.st_dev != st.st_dev) break;
        p = up;
        st = ust;
    }
    return rtl::IncludeTrailingPathDelimiter(p.string());
}

void chdirto(const std::string& folder) {
    // A folder that cannot be made current leaves the current one as it was.
    if (::chdir(folder.c_str()) != 0) detail::setlasterr(errno);
}

}  // namespace helpers
