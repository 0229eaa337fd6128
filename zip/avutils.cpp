#include "zip/avutils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zip/avexcept.h"

namespace zip {

// ------------------------------------------------------------ string hash

TAvStringHash::TAvStringHash(uint32_t size) : buckets_(size ? size : 1, nullptr) {}

TAvStringHash::~TAvStringHash() { Clear(); }

uint32_t TAvStringHash::HashOf(std::string_view key) const {
    uint32_t h = 0;
    for (unsigned char b : key) h = ((h << 2) | (h >> 30)) ^ b;
    return h % static_cast<uint32_t>(buckets_.size());
}

TAvStringHash::Node** TAvStringHash::Find(const std::string& key) const {
    Node** slot = &buckets_[HashOf(key)];
    while (*slot && (*slot)->key != key) slot = &(*slot)->next;
    return slot;
}

void TAvStringHash::Add(const std::string& key, int32_t value) {
    Node*& head = buckets_[HashOf(key)];
    head = new Node{head, key, value};
}

int32_t TAvStringHash::ValueOf(const std::string& key) const {
    Node* n = *Find(key);
    return n ? n->value : -1;
}

bool TAvStringHash::Modify(const std::string& key, int32_t value) {
    Node* n = *Find(key);
    if (n) n->value = value;
    return n != nullptr;
}

void TAvStringHash::Remove(const std::string& key) {
    Node** slot = Find(key);
    if (Node* n = *slot) {
        *slot = n->next;
        delete n;
    }
}

void TAvStringHash::Clear() {
    for (Node*& head : buckets_) {
        while (head) {
            Node* n = head;
            head = n->next;
            delete n;
        }
    }
}

// ---------------------------------------------------- hashed string list

void TAvHashedStringList::Add(const std::string& s) {
    items_.push_back(s);
    if (hash_ && valid_) {
        hash_->Add(s, Count() - 1);
        if (static_cast<uint32_t>(Count()) > 5 * hash_->Size()) hash_.reset();
    }
}

void TAvHashedStringList::Update(int32_t index, const std::string& s) {
    UpdateValueHash();
    // Only the entry of this index goes: a duplicate name elsewhere keeps its own.
    std::string& old = items_[static_cast<size_t>(index)];
    if (hash_->ValueOf(old) == index) hash_->Remove(old);
    else valid_ = false;
    old = s;
    if (valid_) hash_->Add(s, index);
}

void TAvHashedStringList::Delete(int32_t index) {
    items_.erase(items_.begin() + index);
    valid_ = false;
}

void TAvHashedStringList::Clear() {
    items_.clear();
    if (hash_) hash_->Clear();
    valid_ = hash_ != nullptr;
}

int32_t TAvHashedStringList::IndexOf(const std::string& s) {
    UpdateValueHash();
    return hash_->ValueOf(s);
}

void TAvHashedStringList::UpdateValueHash() {
    if (!hash_) {
        hash_ = std::make_unique<TAvStringHash>(std::max<uint32_t>(static_cast<uint32_t>(Count()), 1000));
        valid_ = false;
    }
    if (valid_) return;
    hash_->Clear();
    for (int32_t i = 0; i < Count(); ++i) hash_->Add(items_[static_cast<size_t>(i)], i);
    valid_ = true;
}

// ------------------------------------------------------------ entry names

TAvNameKind IsUtf8Name(std::string_view s) {
    bool wide = false;
    size_t i = 0;
    auto cont = [&](size_t k, unsigned lo, unsigned hi) {
        return i + k < s.size() && static_cast<unsigned char>(s[i + k]) >= lo &&
               static_cast<unsigned char>(s[i + k]) <= hi;
    };
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        if (c < 0x80) len = 1;
        else if (c >= 0xC2 && c <= 0xDF && cont(1, 0x80, 0xBF)) len = 2;
        else if (c == 0xE0 && cont(1, 0xA0, 0xBF) && cont(2, 0x80, 0xBF)) len = 3;
        else if (c >= 0xE1 && c <= 0xEF && cont(1, 0x80, 0xBF) && cont(2, 0x80, 0xBF)) len = 3;
        else if (c == 0xF0 && cont(1, 0x90, 0xBF) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF)) len = 4;
        else if (c >= 0xF1 && c <= 0xF3 && cont(1, 0x80, 0xBF) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF)) len = 4;
        else if (c == 0xF4 && cont(1, 0x80, 0x8F) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF)) len = 4;
        else return nkOther;
        wide = wide || len > 1;
        i += len;
    }
    return wide ? nkUtf8 : nkAscii;
}

namespace {

// Code page 437, bytes 0x80-0xFF.
constexpr char16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string DecodeEntryName(std::string_view raw) {
    if (IsUtf8Name(raw) != nkOther) return std::string(raw);
    std::string out;
    for (unsigned char b : raw) {
        if (b < 0x80) out += static_cast<char>(b);
        else AppendUtf8(out, kCp437[b - 0x80]);
    }
    return out;
}

bool NameNeedsUtf8(std::string_view name) {
    for (unsigned char b : name)
        if (b >= 0x80) return true;
    return false;
}

std::string AvLowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// ------------------------------------------------------------------ paths

std::string ResolvePath(const std::string& name, const std::string& base) {
    std::string path = !name.empty() && name[0] == '/' ? name : base + "/" + name;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        const size_t j = std::min(path.find('/', i), path.size());
        const std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string MakeStoredName(const std::string& fileName, const std::string& baseDir, TAvStorePathMode mode) {
    const std::string base = ResolvePath(baseDir.empty() ? "/" : baseDir, "/");
    std::string full = ResolvePath(fileName, base);
    std::string stored;
    switch (mode) {
        case spNoPath: stored = full.substr(full.rfind('/') + 1); break;
        case spRelativePath: {
            const std::string prefix = base == "/" ? "/" : base + "/";
            // Outside the base folder the full path stays.
            stored = full.compare(0, prefix.size(), prefix) == 0 ? full.substr(prefix.size()) : full;
            break;
        }
        case spFullPath:
        case spFullPathWithDrive: stored = full; break;
    }
    if (!stored.empty() && stored[0] == '/') stored.erase(0, 1);
    return stored;
}

// ------------------------------------------------------ dates, attributes

uint32_t UnixToDos(time_t t) {
    struct tm tm {};
    localtime_r(&t, &tm);
    if (tm.tm_year < 80) return (0u << 9 | 1u << 5 | 1u) << 16;
    if (tm.tm_year > 207) tm = {0, 59, 23, 31, 11, 207, 0, 0, 0, 0, nullptr};
    const uint32_t date = static_cast<uint32_t>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    const uint32_t time = static_cast<uint32_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    return date << 16 | time;
}

time_t DosToUnix(uint32_t dos) {
    struct tm tm {};
    const uint32_t date = dos >> 16, time = dos & 0xFFFF;
    tm.tm_year = static_cast<int>((date >> 9) + 80);
    tm.tm_mon = static_cast<int>(((date >> 5) & 15)) - 1;
    tm.tm_mday = static_cast<int>(date & 31);
    tm.tm_hour = static_cast<int>(time >> 11);
    tm.tm_min = static_cast<int>((time >> 5) & 63);
    tm.tm_sec = static_cast<int>((time & 31) * 2);
    tm.tm_isdst = -1;
    return mktime(&tm);
}

int64_t AvFileAge(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return UnixToDos(st.st_mtime);
}

int32_t AvFileGetAttr(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    int32_t a = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if (::access(path.c_str(), W_OK) != 0) a |= faReadOnly;
    return a;
}

bool AvDirectoryExists(const std::string& path) {
    const int32_t a = AvFileGetAttr(path);
    return a >= 0 && (a & faDirectory);
}

bool ForceDirs(const std::string& path) {
    if (path.empty()) throw EAvException(39);
    std::string p = path;
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    if (AvDirectoryExists(p)) return true;
    const size_t slash = p.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ForceDirs(p.substr(0, slash))) return false;
    return ::mkdir(p.c_str(), 0755) == 0 || AvDirectoryExists(p);
}

bool DelTreeIfNoFiles(const std::string& folder) {
    if (DIR* d = ::opendir(folder.c_str())) {
        bool ok = true;
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            const std::string sub = folder + "/" + n;
            if (!AvDirectoryExists(sub) || !DelTreeIfNoFiles(sub)) ok = false;
            if (!ok) break;
        }
        ::closedir(d);
        if (!ok) return false;
    }
    ::rmdir(folder.c_str());
    return !AvDirectoryExists(folder);
}

// ------------------------------------------------------- whole rewrites

std::string AvCurrentFolder() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

std::string AvFolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// ".<archive name>.FC<its inode>." and six random characters.
std::string TempPrefix(const std::string& target) {
    struct stat st {};
    const unsigned long long ino = ::stat(target.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.st_ino) : 0;
    char id[32];
    std::snprintf(id, sizeof id, ".FC%llx.", ino);
    return "." + target.substr(target.rfind('/') + 1) + id;
}

}  // namespace

TAvTempBeside::TAvTempBeside(const std::string& target) {
    std::string path = AvFolderOf(target) + "/" + TempPrefix(target) + "XXXXXX";
    fd_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd_ < 0) return;
    // Held until the file is gone or has taken the archive's place: a
    // lock nobody holds marks a file whose writer died.
    ::flock(fd_, LOCK_EX);
    path_ = path;
}

TAvTempBeside::~TAvTempBeside() {
    if (fd_ < 0) return;
    if (!kept_) ::unlink(path_.c_str());
    ::close(fd_);
}

void AvRemoveStaleTemps(const std::string& archive) {
    const std::string folder = AvFolderOf(archive), prefix = TempPrefix(archive);
    if (prefix.find(".FC0.") != std::string::npos) return;  // no archive, no temporaries of it
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    const int dfd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const int fd = ::openat(dfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat open {}, there {};
        // Ours: a plain file of this user that no living writer holds,
        // and still the file of that name.
        if (::fstat(fd, &open) == 0 && S_ISREG(open.st_mode) && open.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dfd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
            there.st_dev == open.st_dev && there.st_ino == open.st_ino)
            ::unlinkat(dfd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(d);
}

bool AvReplaceWith(const std::string& temp, const std::string& target, const std::string& modeOf,
                   rtl::TFileFailure& why) {
    // A self-extracting archive stays executable, a private one private.
    struct stat st {};
    ::chmod(temp.c_str(), ::stat(modeOf.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600);
    // What someone else put at the name is not replaced: a link, a pipe.
    if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        why = S_ISLNK(st.st_mode) ? rtl::RefuseLink(target) : rtl::RefuseSpecial(target, st);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        why = rtl::TFileFailure{errno, {}};
        return false;
    }
    std::string leaf;
    rtl::TFileFailure unsynced;
    if (const int dfd = rtl::OpenParentFolder(target, leaf, unsynced); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

}  // namespace zip
