// Look-ups, special values, links, opening documents, starting programs and
// the per-user work folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "platform/sock/winsock.h"
#include "platform/win/process.h"

namespace helpers {

std::function<std::string()> clipboardtext;

namespace {

struct SystemCache {
    std::string userdir;
    std::string station;
};

SystemCache& cache() {
    static SystemCache c;
    return c;
}

// Programs, scripts and launchers: a document from a mail never starts code.
constexpr std::string_view kProgramExtensions[] = {
    ".dll", ".exe", ".cmd", ".bat", ".com", ".desktop", ".sh", ".bash", ".zsh", ".ksh", ".csh",
    ".tcsh", ".fish", ".py", ".pyw", ".pl", ".rb", ".php", ".js", ".jse", ".vbs", ".vbe", ".wsf",
    ".ps1", ".jar", ".run", ".appimage", ".msi", ".scr", ".pif", ".cpl", ".lnk", ".hta", ".reg",
    ".so", ".deb", ".rpm", ".flatpakref", ".flatpak", ".snap", ".elf", ".out", ".x86_64",
};

bool startswithshebang(const std::string& path) {
    struct stat st {};
    rtl::TFileFailure why;
    const int fd = rtl::OpenRegularRead(path, st, why);
    if (fd < 0) return false;
    char head[2] = {0, 0};
    const bool read = ::pread(fd, head, 2, 0) == 2;
    ::close(fd);
    return read && head[0] == '#' && head[1] == '!';
}

bool isprogram(const std::string& path) {
    const std::string ext = rtl::LowerCase(rtl::ExtractFileExt(path));
    if (!ext.empty() &&
        std::find(std::begin(kProgramExtensions), std::end(kProgramExtensions), ext) != std::end(kProgramExtensions))
        return true;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 || startswithshebang(path);
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    const auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// A local path as a file link, for pages opened at an anchor.
std::string fileurl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string r = "file://";
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::string_view("/-._~").find(c) != std::string_view::npos) {
            r += c;
        } else {
            r += '%';
            r += hex[u >> 4];
            r += hex[u & 15];
        }
    }
    return r;
}

// The local file a "file:" link names, in any of its forms: any case, one
// slash or several, "localhost" or no host, percent-encoded. False for a
// file on another computer or for no path. A page's anchor is kept; a
// query is dropped.
bool filelinkpath(const std::string& link, std::string& path) {
    std::string rest = link.substr(5);
    std::string anchor;
    const size_t cut = rest.find_first_of("?#");
    if (cut != std::string::npos) {
        const size_t hash = rest.find('#', cut);
        if (hash != std::string::npos) anchor = rest.substr(hash);
        rest.erase(cut);
    }
    rest = urldecode(rest, false);
    if (rest.find('\0') != std::string::npos) return false;
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && !rtl::SameText(host, "localhost")) return false;
        rest = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    if (rest.empty()) return false;
    path = rest + anchor;
    return true;
}

// Argument lists from a command line: blanks separate, double quotes group.
std::vector<std::string> splitcommand(const std::string& line) {
    std::vector<std::string> args;
    std::string cur;
    bool inside = false, any = false;
    for (const char c : line) {
        if (c == '"') {
            inside = !inside;
            any = true;
        } else if ((c == ' ' || c == '\t') && !inside) {
            if (any) args.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) args.push_back(cur);
    return args;
}

int64_t spawn(const std::vector<std::string>& argv, const std::string& shown) {
    int err = 0;
    const int64_t pid = win::SpawnProcess(argv, err);
    if (pid < 0) {
        detail::setlasterr(err);
        errreport("Could not launch " + shown + "\r\n" + lasterrtext());
    }
    return pid;
}

bool isdottedquad(const std::string& host) {
    int a[4];
    if (std::sscanf(host.c_str(), "%d.%d.%d.%d", &a[0], &a[1], &a[2], &a[3]) != 4) return false;
    return std::all_of(std::begin(a), std::end(a), [](int v) { return v >= 0 && v <= 255; });
}

// The text for a Windows Sockets error number.
std::string wsatext(int code) {
    switch (code) {
        case ws::WSAHOST_NOT_FOUND: return ::gai_strerror(EAI_NONAME);
        case ws::WSATRY_AGAIN: return ::gai_strerror(EAI_AGAIN);
        case ws::WSANO_RECOVERY: return ::gai_strerror(EAI_FAIL);
        case ws::WSANO_DATA: return ::gai_strerror(EAI_NODATA);
        case ws::WSAEWOULDBLOCK: return rtl::SysErrorMessage(EAGAIN);
        default: break;
    }
    // The errno value that maps to the code; unmapped values all map to WSAEINVAL.
    for (int e = 133; e > 0; --e) {
        if (ws::ErrnoToWSA(e) == code && (code != ws::WSAEINVAL || e == EINVAL)) return rtl::SysErrorMessage(e);
    }
    return {};
}

// The scheme of a link ("mailto", "http"...), lower case: two or more
// characters before a colon. Empty when the text has none.
std::string schemeof(const std::string& target) {
    const size_t colon = target.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(target[0]))) return {};
    const bool valid = std::all_of(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    return valid ? rtl::LowerCase(target.substr(0, colon)) : std::string();
}

// What a mail program hands to the desktop: pages, mail addresses and file
// servers. Any other scheme could start a handler nobody meant to run.
bool isremotescheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "ftp";
}

// A local target: a page opened at an anchor becomes a file link, anything
// else an absolute path, so that it is never read as an option.
std::string localtarget(const std::string& target, std::string& path) {
    const int hash = rtl::Pos("#", target);
    const std::string lower = rtl::LowerCase(target);
    int page = rtl::Pos(".htm", lower);
    if (page == 0) page = rtl::Pos(".shtm", lower);
    if (page > 0 && page < hash) {
        path = absolute(rtl::Copy(target, 1, hash - 1));
        return fileurl(path) + rtl::CopyFrom(target, hash);
    }
    path = absolute(target);
    return path;
}

}  // namespace

void detail::resetsystem() { cache() = SystemCache{}; }

const std::string& detail::userdatacached() { return cache().userdir; }

std::string sockerrtext(int32_t code) {
    const std::string text = wsatext(code);
    return "!! " + (text.empty() ? "Unknown Socket Error " + rtl::IntToStr(code) : text);
}

std::string hostlookup(const std::string& host, int32_t family, bool withaddresses) {
    ws::WSAData data{};
    const int rc = ws::WSAStartup(0x0001, &data);
    if (rc != 0) return "!! WSA Startup Error " + rtl::IntToStr(rc);
    const ws::THostEntry* entry;
    // Dotted addresses are IPv4 whatever family is asked for.
    if (isdottedquad(host)) {
        const uint32_t addr = ws::inet_addr(host.c_str());
        entry = ws::gethostbyaddr(reinterpret_cast<const char*>(&addr), 4, AF_INET);
    } else {
        std::string name = host;
        if (name.empty()) {  // the local computer
            char buf[256] = {};
            ws::gethostname(buf, sizeof buf - 1);
            name = buf;
        }
        entry = ws::gethostbyname(name.c_str());
    }
    const int err = ws::WSAGetLastError();
    ws::WSACleanup();
    if (!entry) return sockerrtext(err);
    std::string r = entry->h_name;
    if (withaddresses) {
        for (const uint32_t a : entry->h_addr_list) {
            in_addr ia{};
            ia.s_addr = a;
            r += "\r\n" + ws::inet_ntoa(ia);
        }
    }
    return r;
}

bool isurl(std::string_view text) {
    static constexpr std::string_view kPrefixes[] = {"http://", "https://", "ftp://", "www.", "news://", "file://"};
    for (const auto p : kPrefixes)
        if (rtl::StartsText(p, text)) return true;
    // A leading "/" marks a link unless it names something on this machine
    // (a page's anchor or query aside).
    if (!text.empty() && text[0] == '/') {
        const std::string path(text.substr(0, text.find_first_of("#?")));
        struct stat st {};
        return ::stat(path.c_str(), &st) != 0;
    }
    return false;
}

bool shellopen(const std::string& target) {
    if (rtl::Trim(target).empty()) return false;
    // Local files go to the opener as the path that was checked, never as
    // the link, so that what is opened is what was checked.
    std::string local;  // the file to be opened, if any
    std::string arg = target;
    const bool www = rtl::StartsText("www.", target);
    const std::string scheme = (target[0] == '/' || www) ? std::string() : schemeof(target);
    std::string path;  // of a file link
    const bool refused = scheme == "file" ? !filelinkpath(target, path) : !scheme.empty() && !isremotescheme(scheme);
    if (refused) {
        errreport("Links of this kind are not opened:\r\n" + target);
        return false;
    }
    if (scheme == "file") arg = localtarget(path, local);
    else if (www) arg = "http://" + target;
    else if (scheme.empty()) arg = localtarget(target, local);
    if (!local.empty() && isprogram(local)) {
        errreport("Programs and scripts are not opened:\r\n" + target);
        return false;
    }
    const int64_t pid = spawn({"xdg-open", arg}, "xdg-open " + arg);
    if (pid < 0) return false;
    win::ReapLater(pid);
    return true;
}

int64_t launchexe(const std::string& commandline, bool wait) {
    const int64_t pid = spawn(splitcommand(commandline), commandline);
    if (pid < 0) return -1;
    if (!wait) {
        win::ReapLater(pid);
        return pid;
    }
    int code = 0;
    do waitpump(450);
    while (win::ProcessRunning(pid, code));
    return pid;
}

std::string fixeddrive() { return "/"; }

std::string userdatadir() {
    if (!cache().userdir.empty()) return cache().userdir;
    const std::string data = specialvar("XDG_DATA_HOME");
    const std::string home = specialvar("HOME");
    std::string dir;
    if (!data.empty()) dir = rtl::IncludeTrailingPathDelimiter(data);
    else if (!home.empty()) dir = rtl::IncludeTrailingPathDelimiter(home) + ".local/share/";
    else dir = fixeddrive();
    dir += "qbfiles/";
    // The folder holds the user's own files: made, or kept, private.
    const int fd = detail::openfolder(dir, true);
    struct stat st {};
    if (fd < 0) errlog("Could not create " + dir + "\r\n" + lasterrtext());
    else if (::fstat(fd, &st) == 0 && (st.st_mode & 077) && st.st_uid == ::geteuid()) ::fchmod(fd, st.st_mode & 0700);
    if (fd >= 0) ::close(fd);
    return cache().userdir = dir;
}

bool readmailto(const std::string& link, TMailtoLink& out, std::string& why) {
    out = TMailtoLink{};
    why.clear();
    std::string p = link;
    // Each part runs to the end of what is left: the body first, then the subject.
    auto cut = [&p](const char* first, const char* second, std::string& part) {
        const std::string lower = rtl::LowerCase(p);
        size_t at = lower.find(first);
        if (at == std::string::npos) at = lower.find(second);
        if (at == std::string::npos) return;
        part = p.substr(at + std::strlen(first));
        p.erase(at);
    };
    cut("&body=", "?body=", out.body);
    std::string subject;
    cut("&subject=", "?subject=", subject);
    out.subject = urldecode(subject, true);
    const int mailto = rtl::Pos("mailto:", rtl::LowerCase(p));
    if (mailto > 0) rtl::Delete(p, mailto, 7);
    out.address = rtl::Trim(p);
    const char* part = out.subject.find_first_of("\r\n") != std::string::npos   ? "subject"
                       : out.address.find_first_of("\r\n") != std::string::npos ? "address"
                                                                               : nullptr;
    if (!part) return true;
    // Told now, naming the link: at sending, the message would not say where the break came from.
    std::string shown = link.size() > 300 ? link.substr(0, 300) + " ..." : link;
    why = std::string("The mail link's ") + part +
          " holds a line break, which no mail header can carry; no message is made from it:\r\n" + shown;
    out = TMailtoLink{};
    return false;
}

std::string stationfor(const std::string& address) {
    int n;
    if (!rtl::TryStrToInt(getdelimel(address, ".", 4), n)) n = randomint(744) + 256;
    int base = 5000;
    if (rtl::Pos("10.11.94.", address) == 1) base = 3000;
    else if (rtl::Pos("192.168.254.", address) == 1) base = 2000;
    else if (rtl::Pos("192.168.1.", address) == 1) base = 4000;
    return rtl::IntToStr(n + base);
}

std::string specialvar(const std::string& name) {
    const std::string upper = rtl::UpperCase(name);
    if (upper == "*CLIPBOARD") return clipboardtext ? clipboardtext() : std::string();
    if (upper == "STN") {
        std::string& stn = cache().station;
        if (stn.empty()) stn = stationfor(rtl::Trim(getdelimel(hostlookup("", 1, true), "\r", 2)));
        return stn;
    }
    const char* v = std::getenv(name.c_str());
    return v ? std::string(v) : std::string();
}

}  // namespace helpers
