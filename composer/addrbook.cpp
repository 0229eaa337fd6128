// The address book file.
#include "composer/addrbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace composer {

namespace {

std::string why(int err) { return rtl::Trim(rtl::SysErrorMessage(err)); }

// Closes a descriptor when it goes.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int get() const { return fd_; }
    // Closes now; false (errno set) when the close reports a failure.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAt(int fd, std::string_view bytes, off_t at) {
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
        at += n;
    }
    return true;
}

bool readAll(int fd, std::string& out) {
    out.clear();
    char buf[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
        at += n;
    }
}

// The cipher text is three digits for each byte, each group at most 255.
bool wellFormedCipher(std::string_view digits) {
    if (digits.size() % 3 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 3) {
        const std::string_view g = digits.substr(i, 3);
        if (!std::all_of(g.begin(), g.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
        if (g > "255") return false;
    }
    return true;
}

// Beside the book and renamed over it. False with the reason.
bool replaceBeside(const std::string& target, std::string_view bytes, std::string& error) {
    static unsigned serial = 0;
    const std::string tmp = rtl::ExtractFilePath(target) + "." + rtl::ExtractFileName(target) + "." +
                            std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".tmp";
    TFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0) {
        error = why(errno);
        return false;
    }
    if (!writeAt(fd.get(), bytes, 0) || ::fsync(fd.get()) != 0 || !fd.close() ||
        ::rename(tmp.c_str(), target.c_str()) != 0) {
        error = why(errno);
        ::unlink(tmp.c_str());
        return false;
    }
    TFd dir(::open(rtl::ExtractFilePath(target).empty() ? "." : rtl::ExtractFilePath(target).c_str(),
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

// Over the old book in place, for a folder that takes no new file. The
// room is reserved before a byte of the old book is touched; a write that
// fails all the same puts the old bytes back.
bool rewriteInPlace(const std::string& target, std::string_view bytes, std::string& error) {
    TFd fd(::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    std::string old;
    if (fd.get() < 0 || !readAll(fd.get(), old)) {
        error = why(errno);
        return false;
    }
    const off_t oldSize = static_cast<off_t>(old.size());
    if (bytes.size() > old.size()) {
        const int err = ::posix_fallocate(fd.get(), 0, static_cast<off_t>(bytes.size()));
        if (err != 0) {
            (void)::ftruncate(fd.get(), oldSize);  // a reservation that failed may have grown the file
            error = why(err);
            return false;
        }
    }
    if (writeAt(fd.get(), bytes, 0) && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0 &&
        ::fsync(fd.get()) == 0)
        return true;
    error = why(errno);
    const bool restored = writeAt(fd.get(), old, 0) && ::ftruncate(fd.get(), oldSize) == 0 && ::fsync(fd.get()) == 0;
    if (!restored) error += "; the book may be damaged";
    return false;
}

}  // namespace

std::string AddressBookPath() { return helpers::homedir + "pelliwoxaddbook.txt"; }

TBookRead ReadAddressBook(std::string_view key) {
    TBookRead r;
    const std::string path = AddressBookPath();
    auto fail = [&](const std::string& reason) {
        r.ok = false;
        r.error = "The address book " + path + " could not be read: " + reason;
        return r;
    };
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return errno == ENOENT ? r : fail(why(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return fail(why(errno));
    if (!S_ISREG(st.st_mode)) return fail("it is not a file");
    std::string text;
    if (!readAll(fd.get(), text)) return fail(why(errno));
    if (text.empty() || text[0] != '@') {
        r.plain = std::move(text);
        return r;
    }
    std::string_view digits = std::string_view(text).substr(1);
    while (!digits.empty() && (digits.back() == '\r' || digits.back() == '\n' || digits.back() == ' '))
        digits.remove_suffix(1);  // an editor's line end
    if (!wellFormedCipher(digits)) {
        r.ok = false;
        r.error = "The address book " + path + " is damaged: its enciphered text is not whole";
        return r;
    }
    r.plain = helpers::numdecipher(digits, key);
    return r;
}

std::string LoadAddressBook(std::string_view key) {
    TBookRead r = ReadAddressBook(key);
    return r.ok ? std::move(r.plain) : std::string();
}

bool SaveAddressBook(std::string_view plain, std::string_view key, std::string* error) {
    const std::string path = AddressBookPath();
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // Whatever a link names is not written through, nor is anything else replaced.
        if (error)
            *error = "The address book " + path + (S_ISLNK(st.st_mode) ? " is a link" : " is not a file") +
                     "; the program does not write over it. It is as it was.";
        return false;
    }
    const std::string bytes = "@" + helpers::numcipher(plain, key);
    std::string besideError, inPlaceError;
    if (replaceBeside(path, bytes, besideError)) return true;
    // A folder that takes no new file may still let its files be rewritten.
    if (exists && rewriteInPlace(path, bytes, inPlaceError)) return true;
    if (error) {
        *error = "The address book " + path + " could not be written: " + besideError;
        if (!inPlaceError.empty()) *error += "; in place: " + inPlaceError;
        if (inPlaceError.find("damaged") == std::string::npos) *error += ". It is as it was.";
    }
    return false;
}

bool AddToAddressBook(std::string_view entry, std::string_view key, std::string* error) {
    const std::string text = rtl::Trim(std::string(entry));
    if (text.empty()) return false;
    const TBookRead read = ReadAddressBook(key);
    if (!read.ok) {
        if (error) *error = read.error + ". The address was not added.";
        return false;
    }
    const std::string book = rtl::Trim(read.plain);
    if (rtl::LowerCase(book).find(rtl::LowerCase(text)) != std::string::npos) return false;
    return SaveAddressBook(book.empty() ? text : book + "\r\n" + text, key, error);
}

std::vector<std::string> AddressBookLines(std::string_view plain) {
    rtl::TStringList list;
    list.SetText(plain);
    std::vector<std::string> lines;
    for (const std::string& l : list) {
        const std::string t = rtl::Trim(l);
        if (!t.empty()) lines.push_back(t);
    }
    return lines;
}

std::string AddressBookEditorText(std::string_view plain) {
    // Double quotes stay: they hold a name with a comma together.
    rtl::TStringList list;
    list.SetText(plain);
    list.Sort();
    return list.Text();
}

}  // namespace composer
