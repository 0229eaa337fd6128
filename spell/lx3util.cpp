// The spell suite's shared free functions.
#include "spell/lx3util.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/program.h"

namespace spell {

std::string GetLexiroVersion() { return "3.4.5 Pro"; }

// ------------------------------------------------------------ event list

TEventList::~TEventList() {
    listeners_.clear();
    handlers_.clear();
}

int TEventList::Add(const void* Listener, THandler Handler) {
    const auto it = std::find(listeners_.begin(), listeners_.end(), Listener);
    if (it != listeners_.end()) return static_cast<int>(it - listeners_.begin()) + 1;
    listeners_.push_back(Listener);
    handlers_.push_back(std::move(Handler));
    return 0;
}

void TEventList::Remove(const void* Listener) {
    const auto it = std::find(listeners_.begin(), listeners_.end(), Listener);
    if (it == listeners_.end()) return;
    handlers_.erase(handlers_.begin() + (it - listeners_.begin()));
    listeners_.erase(it);
}

void TEventList::Notify(void* Sender) const {
    // A handler may remove its listener: walk a copy.
    const std::vector<THandler> handlers = handlers_;
    for (const auto& h : handlers)
        if (h) h(Sender);
}

// ------------------------------------------------------------ variables

std::string ReplaceString(std::string_view Search, std::string_view Replacement, std::string_view Text) {
    std::string out(Text);
    if (Search.empty()) return out;
    const size_t at = out.find(Search);
    if (at != std::string::npos) out.replace(at, Search.size(), Replacement);
    return out;
}

namespace {

bool contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

std::string userName() {
    const passwd* pw = ::getpwuid(::getuid());
    std::string name = pw && pw->pw_name ? pw->pw_name : "";
    if (name.empty() || name.size() >= 256) return "default";
    return name;
}

std::string appDir() { return LxExcludeTrailingBackslash(rtl::ExtractFilePath(win::ProgramPath())); }

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

// %NAME% of the environment, every occurrence; unknown names stay. The
// result must fit the buffer the suite gives the expansion, or nothing
// changes.
std::string expandEnvironment(std::string_view text) {
    constexpr size_t bufferSize = 4096;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find('%', i);
        if (open == std::string_view::npos) break;
        const size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) break;
        const std::string name(text.substr(open + 1, close - open - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        out.append(text.substr(i, open - i));
        if (value) {
            out += value;
            i = close + 1;
        } else {
            out += '%';
            i = open + 1;  // the closing mark may open the next name
        }
    }
    out.append(text.substr(std::min(i, text.size())));
    if (out.size() + 1 > bufferSize) return std::string(text);
    return out;
}

}  // namespace

std::string ExpandFixedVars(std::string_view Text) {
    std::string s = ReplaceString("%AppName%", rtl::ChangeFileExt(rtl::ExtractFileName(win::ProgramPath()), ""), Text);
    if (contains(s, "%UserName%")) s = ReplaceString("%UserName%", userName(), s);
    return s;
}

std::string ExpandChangingVars(std::string_view Text) {
    std::string s = ReplaceString("%AppDir%", appDir(), Text);
    if (contains(s, "%AppData%")) {
        std::string data = GetSpecialFolder(CSIDL_APPDATA);
        if (data.empty()) data = appDir();
        s = ReplaceString("%AppData%", data, s);
    }
    if (contains(s, "%MyDocuments%")) s = ReplaceString("%MyDocuments%", GetSpecialFolder(CSIDL_PERSONAL), s);
    return expandEnvironment(s);
}

std::string ExpandBasicVars(std::string_view Text) { return ExpandChangingVars(ExpandFixedVars(Text)); }

std::string GetSpecialFolder(int Id) {
    const std::string home = envOr("HOME", "");
    std::string folder;
    if (Id == CSIDL_APPDATA) {
        folder = envOr("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share");
    } else if (Id == CSIDL_PERSONAL) {
        std::error_code ec;
        folder = envOr("XDG_DOCUMENTS_DIR", home.empty() ? "" : home + "/Documents");
        if (!std::filesystem::is_directory(folder, ec)) folder = home;
    }
    return LxExcludeTrailingBackslash(folder);
}

// ------------------------------------------------------------ files

std::string LxExcludeTrailingBackslash(std::string_view Path) {
    std::string s(Path);
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

void LXForceDirectories(std::string_view Path) {
    // Only absolute POSIX paths: a relative or Windows path would make
    // folders below whatever the current folder happens to be.
    if (Path.empty() || Path[0] != '/' || Path.find('\\') != std::string_view::npos) return;
    // The user's dictionaries and settings are theirs alone.
    const int root = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return;
    rtl::TFileFailure why;
    const int fd = rtl::OpenFolderAt(root, std::string(Path), "/", true, 0700, true, why);
    if (fd >= 0) ::close(fd);
    ::close(root);
}

bool CanFileBeWritten(const std::string& Name, bool Temporary) {
    if (Name.empty()) return false;
    // Never through a link, never waiting for a reader: only a regular
    // file, or a new one, counts.
    rtl::TFileFailure why;
    int fd = rtl::OpenRegularWrite(Name, O_WRONLY, O_CREAT | O_EXCL, 0600, why);
    if (fd >= 0) {
        ::close(fd);
        if (Temporary) ::unlink(Name.c_str());
        return true;
    }
    if (why.Code != EEXIST || why.Refused()) return false;
    fd = rtl::OpenRegularWrite(Name, O_WRONLY, 0, 0777, why);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

TFileStamp GetFileStamp(const std::string& Name) {
    struct stat st {};
    TFileStamp s;
    if (Name.empty() || ::stat(Name.c_str(), &st) != 0) return s;
    s.Exists = true;
    s.Seconds = st.st_mtim.tv_sec;
    s.Nanoseconds = st.st_mtim.tv_nsec;
    s.Size = st.st_size;
    return s;
}

namespace {

std::string failure(const char* what, const std::string& name, const rtl::TFileFailure& why) {
    // A refusal names the file itself.
    return why.Refused() ? why.Reason : std::string(what) + " " + name + ": " + why.Text();
}

}  // namespace

int OpenRegularFile(const std::string& Name, struct stat& St, std::string& Error) {
    rtl::TFileFailure why;
    const int fd = rtl::OpenRegularRead(Name, St, why);
    if (fd < 0) Error = failure("Cannot open", Name, why);
    return fd;
}

bool ReadRegularFile(const std::string& Name, std::string& Bytes, TFileStamp& Stamp, std::string& Error) {
    struct stat st {};
    const int fd = OpenRegularFile(Name, st, Error);
    if (fd < 0) return false;
    rtl::TFileFailure why;
    const bool ok = rtl::ReadToEnd(fd, Bytes, static_cast<size_t>(st.st_size), why);
    ::close(fd);
    if (!ok) Error = failure("Cannot read", Name, why);
    else Stamp = {true, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size};
    return ok;
}

bool WriteFileAtomic(const std::string& Name, std::string_view Bytes, mode_t CreateMode, std::string& Error) {
    rtl::TFileFailure why;
    if (rtl::ReplaceFile(Name, Bytes, CreateMode, why)) return true;
    Error = failure("Cannot write", Name, why);
    return false;
}

bool RenameFileNoReplace(const std::string& From, const std::string& To, std::string& Error) {
    if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
    Error = failure("Cannot rename", From + " to " + To, rtl::TFileFailure{errno, {}});
    return false;
}

// ------------------------------------------------------------ hashing

int32_t HashString(std::string_view Word, int32_t M) {
    if (M < 2) return 0;
    int32_t r = 0, h = 31415;
    for (const unsigned char c : Word) {
        r = static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(h) + c);
        r %= M;
        if (r < 0) r = (-r) % M;
        h = static_cast<int32_t>(static_cast<uint32_t>(h) * 27183u) % (M - 1);
    }
    return r;
}

int32_t SecondaryHash(int32_t Home) { return Home % 97 + 1; }

int32_t GetNextPrime(int32_t U) {
    static constexpr int32_t primes[] = {251,       509,       1021,      2039,      4093,     8191,
                                         16381,     32749,     65521,     131071,    262139,   524287,
                                         1048573,   2097143,   4194301,   8388593,   16777213, 33554393,
                                         67108859,  134217689, 268435399, 536870909, 1073741789, 2147483647};
    for (const int32_t p : primes)
        if (p > U) return p;
    return primes[std::size(primes) - 1];
}

// ------------------------------------------------------------ placement

TLxPoint AdjustDialogPosition(int X, int Y, int Width, int Height, const TLxRect& Monitor) {
    X = std::max(X, Monitor.Left);
    Y = std::max(Y, Monitor.Top);
    if (X + Width > Monitor.Right) X = Monitor.Right - Width;
    if (Y + Height > Monitor.Bottom) Y = Monitor.Bottom - Height;
    return {X, Y};
}

TLxPoint AdjustDialogToRect(TLxPoint Form, int Width, int Height, const TLxRect& Rect, bool Horizontal,
                            bool Vertical, const TLxRect& Monitor) {
    if (Horizontal) {
        Form.X = Rect.Left;
        if (Form.X + Width > Monitor.Right) Form.X = Monitor.Right - Width;
    }
    if (Vertical) {
        Form.Y = Rect.Bottom;
        if (Form.Y + Height > Monitor.Bottom) Form.Y = Rect.Top - Height;
    }
    return AdjustDialogPosition(Form.X, Form.Y, Width, Height, Monitor);
}

}  // namespace spell
