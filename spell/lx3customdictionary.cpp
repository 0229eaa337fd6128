// User dictionaries: the hashed word store, its file and the safe save.
#include "spell/lx3customdictionary.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/rtl/fileio.h"
#include "platform/rtl/sysutils.h"
#include "spell/lxcase.h"
#include "spell/lxformat.h"

namespace spell {

namespace {

constexpr char typeIgnore = 'I', typeExclude = 'E', typeAutoCorrect = 'A', typeAny = '*';
constexpr size_t headerSize = 141;  // banner, zero, 0x1A, four counts, U
constexpr size_t bufferStep = 65535;

int kindOf(char type) { return type == typeIgnore ? 0 : type == typeExclude ? 1 : 2; }

void put32(std::string& out, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

int32_t get32(const std::string& s, uint64_t at) {
    uint32_t u = 0;
    for (int i = 3; i >= 0; --i) u = u << 8 | static_cast<unsigned char>(s[at + static_cast<uint64_t>(i)]);
    return static_cast<int32_t>(u);
}

// The folder's lock, held while a dictionary file of the folder is read
// (shared) or read, merged and written (exclusive). The file itself cannot
// carry it: each save puts a new file in its place.
class FolderLock {
public:
    FolderLock(const std::string& filename, int how) {
        std::string leaf;
        rtl::TFileFailure why;
        fd_ = rtl::OpenParentFolder(filename, leaf, why);
        if (fd_ < 0) return;
        while (::flock(fd_, how) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

bool hasBanner(const std::string& bytes) {
    return bytes.size() >= LxuBanner.size() + 1 && bytes.compare(0, LxuBanner.size(), LxuBanner) == 0 &&
           bytes[LxuBanner.size()] == '\0';
}

}  // namespace

TCustomDictionary::~TCustomDictionary() { WriteLoaded(false); }

std::unique_ptr<TCustomDictionary> TCustomDictionary::CreateInstance() const {
    return std::make_unique<TCustomDictionary>();
}

bool TCustomDictionary::IsCustomDictionary(const std::string& Name) {
    if (Name.empty()) return true;
    struct stat st {};
    std::string error;
    // A dangling link is no missing file: a dictionary is never made where it points.
    const bool missing = ::lstat(Name.c_str(), &st) != 0 && errno == ENOENT;
    const int fd = missing ? -1 : OpenRegularFile(Name, st, error);
    // A file that is not there yet must be creatable; the test uses a name
    // of its own beside it, so that nobody sees an empty file of this name.
    if (fd < 0)
        return missing && CanFileBeWritten(rtl::ExtractFilePath(Name) + "." + rtl::ExtractFileName(Name) +
                                                       ".probe-" + std::to_string(::getpid()),
                                                   true);
    char head[121];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    return n == static_cast<ssize_t>(sizeof head) && hasBanner(std::string(head, sizeof head));
}

void TCustomDictionary::WriteFilename(const std::string& Name) {
    if (!IsCustomDictionary(Name)) return;
    const bool wasLoaded = loaded_;
    WriteLoaded(false);
    if (loaded_) return;  // its changes could not be saved: keep them and the old name
    filename_ = Name;
    loadFailed_ = false;
    if (wasLoaded) WriteLoaded(true);
}

void TCustomDictionary::clear() {
    std::fill(std::begin(counts_), std::end(counts_), 0);
    wordCount_ = 0;
    slots_.clear();
    buffer_.clear();
    for (auto& l : index_) l.clear();
    indexCurrent_ = false;
}

void TCustomDictionary::WriteLoaded(bool Value) {
    if (!Value) {
        if (!loaded_) return;
        if (modified_ && !Save()) return;  // keep what could not be written
        clear();
        journal_.clear();
        loaded_ = false;
        return;
    }
    if (loaded_) return;
    loadFailed_ = false;
    if (filename_.empty()) {
        loaded_ = true;
        return;
    }
    if (!loadDictionary(true)) {
        clear();
        loadFailed_ = true;
        return;
    }
    loaded_ = true;
}

bool TCustomDictionary::ensureLoaded() {
    if (!loaded_ && !loadFailed_) WriteLoaded(true);
    return loaded_;
}

// Reads the file under the folder's shared lock, so a writer's merge never
// sits between the content and its stamp. Every slot must point at a whole
// entry inside the buffer; anything else is not a user dictionary.
bool TCustomDictionary::loadDictionary(bool lockFolder) {
    clear();
    std::unique_ptr<FolderLock> lock;
    if (lockFolder) lock = std::make_unique<FolderLock>(filename_, LOCK_SH);
    if (!GetFileStamp(filename_).Exists) {
        // Not there yet: written on the first save.
        stamp_ = {};
        modified_ = true;
        return true;
    }
    std::string bytes;
    TFileStamp stamp;
    std::string error;
    if (!ReadRegularFile(filename_, bytes, stamp, error)) return fail(error);
    if (!hasBanner(bytes) || bytes.size() < headerSize) return fail(filename_ + " is not a user dictionary");
    const uint64_t size = bytes.size();
    const int32_t u = get32(bytes, 137);
    if (u < 0 || headerSize + 4 * static_cast<uint64_t>(u) + 4 > size)
        return fail(filename_ + " is damaged (hash table)");
    const uint64_t bufferAt = headerSize + 4 * static_cast<uint64_t>(u) + 4;
    const int32_t b = get32(bytes, bufferAt - 4);
    if (b < 0 || bufferAt + static_cast<uint64_t>(b) > size) return fail(filename_ + " is damaged (word buffer)");
    buffer_.assign(bytes, bufferAt, static_cast<size_t>(b));
    buffer_.reserve((static_cast<size_t>(b) / bufferStep + 1) * bufferStep);
    slots_.resize(static_cast<size_t>(u));
    for (int32_t i = 0; i < u; ++i) {
        const int32_t v = get32(bytes, headerSize + 4 * static_cast<uint64_t>(i));
        slots_[static_cast<size_t>(i)] = v;
        if (v == 0 || v == -1) continue;
        // A type byte, a word ended by a zero byte, and for a pair the
        // replacement ended by another.
        const char type = v > 0 && v <= b ? buffer_[static_cast<size_t>(v) - 1] : '\0';
        const size_t end = type ? buffer_.find('\0', static_cast<size_t>(v)) : std::string::npos;
        const bool whole = end != std::string::npos && (type == typeIgnore || type == typeExclude ||
                                                        (type == typeAutoCorrect && buffer_.find('\0', end + 1) != std::string::npos));
        if (!whole) {
            clear();
            return fail(filename_ + " is damaged (entry)");
        }
        ++counts_[kindOf(type)];
        ++wordCount_;
    }
    // The stored counts are not trusted: they are what the slots say. A
    // table too full to probe (or of a size the hash does not step through
    // whole) is laid out again.
    if (u > 0 && (4 * static_cast<int64_t>(wordCount_) >= u || GetNextPrime(u - 1) != u))
        rebuild(static_cast<size_t>(GetNextPrime(std::max(4 * wordCount_, u - 1))));
    stamp_ = stamp;
    modified_ = false;
    lastError_.clear();
    return true;
}

bool TCustomDictionary::fail(std::string error) {
    lastError_ = std::move(error);
    return false;
}

std::string_view TCustomDictionary::wordAt(int32_t value) const {
    const char* p = buffer_.data() + value;
    return std::string_view(p, std::strlen(p));
}

std::string_view TCustomDictionary::replacementAt(int32_t value) const {
    const std::string_view w = wordAt(value);
    const char* p = w.data() + w.size() + 1;
    return std::string_view(p, std::strlen(p));
}

// A word is stored and found with plain apostrophes (see lxcase.h).
std::string_view TCustomDictionary::key(std::string_view word, std::string& plain) {
    if (!LxHasTypographicApostrophe(word)) return word;
    plain = LxPlainApostrophes(word);
    return plain;
}

bool TCustomDictionary::findWord(char type, std::string_view word, int32_t& value, size_t& slot) {
    if (!ensureLoaded() || slots_.empty()) return false;
    std::string plain;
    word = key(word, plain);
    const int32_t u = static_cast<int32_t>(slots_.size());
    const int32_t home = HashString(word, u);
    const int32_t step = SecondaryHash(home);
    slot = static_cast<size_t>(home);
    for (int32_t probes = 0; probes < u; ++probes) {
        const int32_t v = slots_[slot];
        if (v == 0) return false;
        if (v > 0 && wordAt(v) == word) {
            value = v;
            return type == typeAny || buffer_[static_cast<size_t>(v) - 1] == type;
        }
        slot = (slot + static_cast<size_t>(step)) % slots_.size();
    }
    // Full of deleted slots: lay the live entries out again.
    rebuild(slots_.size());
    return false;
}

bool TCustomDictionary::internalHash(std::vector<int32_t>& table, std::string_view word, int32_t value) const {
    const int32_t u = static_cast<int32_t>(table.size());
    const int32_t home = HashString(word, u);
    const size_t step = static_cast<size_t>(SecondaryHash(home));
    size_t slot = static_cast<size_t>(home);
    // Deleted slots are reused only as home slots.
    for (int32_t probes = 0; table[slot] != 0; ++probes) {
        if (probes == 0 && table[slot] < 0) break;
        if (probes >= u) return false;  // no free slot left among the deleted ones
        slot = (slot + step) % table.size();
    }
    table[slot] = value;
    return true;
}

// A table of Size slots holding only the live entries. Size is a prime
// above four times the entries, so the probing always finds a free slot.
void TCustomDictionary::rebuild(size_t size) {
    std::vector<int32_t> table(size, 0);
    for (const int32_t v : slots_)
        if (v > 0) internalHash(table, wordAt(v), v);  // never short of room: see above
    slots_ = std::move(table);
    indexCurrent_ = false;
}

bool TCustomDictionary::addWord(char type, std::string_view word, std::string_view replacement) {
    if (!ensureLoaded() || word.empty() || word.size() + replacement.size() >= MaxEntryBytes) return false;
    if (word.find('\0') != std::string_view::npos || replacement.find('\0') != std::string_view::npos) return false;
    std::string plain;
    word = key(word, plain);
    int32_t value = 0;
    size_t slot = 0;
    if (findWord(typeAny, word, value, slot)) return false;
    const size_t entry = 1 + word.size() + 1 + (type == typeAutoCorrect ? replacement.size() + 1 : 0);
    if (buffer_.size() + entry > static_cast<size_t>(INT32_MAX)) return false;
    if (buffer_.capacity() - buffer_.size() <= entry) buffer_.reserve(buffer_.capacity() + std::max(bufferStep, entry + 1));
    value = static_cast<int32_t>(buffer_.size()) + 1;
    buffer_ += type;
    buffer_.append(word);
    buffer_ += '\0';
    if (type == typeAutoCorrect) {
        buffer_.append(replacement);
        buffer_ += '\0';
    }
    ++wordCount_;
    if (4 * static_cast<int64_t>(wordCount_) >= static_cast<int64_t>(slots_.size()))
        rebuild(static_cast<size_t>(GetNextPrime(static_cast<int32_t>(slots_.size()))));
    if (!internalHash(slots_, word, value)) {
        rebuild(slots_.size());
        internalHash(slots_, word, value);
    }
    if (indexCurrent_) index_[kindOf(type)].push_back(value);
    ++counts_[kindOf(type)];
    modified_ = true;
    if (!filename_.empty()) journal_.push_back({OpKind::Add, type, std::string(word), std::string(replacement)});
    return true;
}

bool TCustomDictionary::removeWord(char type, std::string_view word) {
    int32_t value = 0;
    size_t slot = 0;
    if (!findWord(type, word, value, slot)) return false;
    slots_[slot] = -1;
    indexCurrent_ = false;
    --wordCount_;
    --counts_[kindOf(type)];
    modified_ = true;
    if (!filename_.empty()) journal_.push_back({OpKind::Remove, type, std::string(word), {}});
    return true;
}

bool TCustomDictionary::IgnoreExists(std::string_view Word) {
    int32_t v = 0;
    size_t s = 0;
    return findWord(typeIgnore, Word, v, s);
}

bool TCustomDictionary::ExcludeExists(std::string_view Word) {
    int32_t v = 0;
    size_t s = 0;
    return findWord(typeExclude, Word, v, s);
}

bool TCustomDictionary::AutoCorrectExists(std::string_view Word, std::string& Replacement) {
    int32_t v = 0;
    size_t s = 0;
    if (!findWord(typeAutoCorrect, Word, v, s)) return false;
    Replacement = std::string(replacementAt(v));
    return true;
}

bool TCustomDictionary::AddIgnore(std::string_view Word) { return addWord(typeIgnore, Word, {}); }
bool TCustomDictionary::AddExclude(std::string_view Word) { return addWord(typeExclude, Word, {}); }
bool TCustomDictionary::AddAutoCorrect(std::string_view Word, std::string_view Replacement) {
    return addWord(typeAutoCorrect, Word, Replacement);
}
bool TCustomDictionary::RemoveIgnore(std::string_view Word) { return removeWord(typeIgnore, Word); }
bool TCustomDictionary::RemoveExclude(std::string_view Word) { return removeWord(typeExclude, Word); }
bool TCustomDictionary::RemoveAutoCorrect(std::string_view Word) { return removeWord(typeAutoCorrect, Word); }

void TCustomDictionary::RemoveAll() {
    if (!ensureLoaded()) return;
    clear();
    // In the log, so a merge empties the newer file before the later changes.
    journal_.clear();
    if (!filename_.empty()) journal_.push_back({OpKind::Clear, typeAny, {}, {}});
}

void TCustomDictionary::setupIndexLists() {
    if (!ensureLoaded() || indexCurrent_) return;
    for (auto& l : index_) {
        l.clear();
        l.reserve(static_cast<size_t>(counts_[&l - index_]) + 256);
    }
    for (const int32_t v : slots_)
        if (v > 0) index_[kindOf(buffer_[static_cast<size_t>(v) - 1])].push_back(v);
    indexCurrent_ = true;
}

int TCustomDictionary::IgnoreCount() {
    setupIndexLists();
    return static_cast<int>(index_[0].size());
}
int TCustomDictionary::ExcludeCount() {
    setupIndexLists();
    return static_cast<int>(index_[1].size());
}
int TCustomDictionary::AutoCorrectCount() {
    setupIndexLists();
    return static_cast<int>(index_[2].size());
}

std::string TCustomDictionary::GetIgnoreWord(int Index) {
    setupIndexLists();
    if (Index < 0 || static_cast<size_t>(Index) >= index_[0].size()) return "";
    return std::string(wordAt(index_[0][static_cast<size_t>(Index)]));
}

std::string TCustomDictionary::GetExcludeWord(int Index) {
    setupIndexLists();
    if (Index < 0 || static_cast<size_t>(Index) >= index_[1].size()) return "";
    return std::string(wordAt(index_[1][static_cast<size_t>(Index)]));
}

void TCustomDictionary::GetAutoCorrectWord(int Index, std::string& Word, std::string& Replacement) {
    setupIndexLists();
    Word.clear();
    Replacement.clear();
    if (Index < 0 || static_cast<size_t>(Index) >= index_[2].size()) return;
    const int32_t v = index_[2][static_cast<size_t>(Index)];
    Word = std::string(wordAt(v));
    Replacement = std::string(replacementAt(v));
}

std::string TCustomDictionary::image() const {
    std::string out(LxuBanner);
    out += '\0';
    out += '\x1A';
    for (const int32_t c : counts_) put32(out, c);
    put32(out, wordCount_);
    put32(out, static_cast<int32_t>(slots_.size()));
    for (const int32_t v : slots_) put32(out, v);
    put32(out, static_cast<int32_t>(buffer_.size()));
    out += buffer_;
    return out;
}

bool TCustomDictionary::SaveAs(const std::string& Name) {
    if (!ensureLoaded()) return false;
    std::string error;
    if (!WriteFileAtomic(Name, image(), 0644, error)) return fail(error);
    return true;
}

// A change replayed on another object; an auto-correct pair replaces the
// word's earlier pair.
void TCustomDictionary::replay(const Op& op) {
    switch (op.kind) {
    case OpKind::Clear:
        RemoveAll();
        break;
    case OpKind::Remove:
        removeWord(op.type, op.word);
        break;
    case OpKind::Add:
        if (op.type == typeAutoCorrect) removeWord(typeAutoCorrect, op.word);
        addWord(op.type, op.word, op.replacement);
        break;
    }
}

bool TCustomDictionary::Save() {
    if (!modified_ || filename_.empty() || loadFailed_ || !loaded_) return true;
    FolderLock lock(filename_, LOCK_EX);
    const bool ok = saveLocked();
    if (!ok && OnSaveFailed) OnSaveFailed(lastError_);
    return ok;
}

bool TCustomDictionary::saveLocked() {
    if (!(GetFileStamp(filename_) == stamp_)) {
        // Changed by someone else since it was read: this object's changes
        // go onto the newer content, in the order they were made.
        std::unique_ptr<TCustomDictionary> newer = CreateInstance();
        newer->filename_ = filename_;
        if (!newer->loadDictionary(false)) return fail("Cannot merge into " + filename_ + ": " + newer->lastError_);
        newer->loaded_ = true;
        for (const Op& op : journal_) newer->replay(op);
        // This object writes the result; the helper must not save on its
        // way out (the folder lock is held here).
        newer->modified_ = false;
        std::swap(slots_, newer->slots_);
        std::swap(buffer_, newer->buffer_);
        std::copy(std::begin(newer->counts_), std::end(newer->counts_), counts_);
        wordCount_ = newer->wordCount_;
        indexCurrent_ = false;
    }
    std::string error;
    if (!WriteFileAtomic(filename_, image(), 0644, error)) return fail(error);
    // What is on disk now is this object's content.
    stamp_ = GetFileStamp(filename_);
    journal_.clear();
    modified_ = false;
    lastError_.clear();
    return true;
}

bool TCustomDictionary::RenameTo(const std::string& NewName) {
    if (filename_.empty() || NewName.empty()) return false;
    if (modified_ && !Save()) return false;
    if (!GetFileStamp(filename_).Exists) return fail(filename_ + " does not exist");
    std::string error;
    if (!RenameFileNoReplace(filename_, NewName, error)) return fail(error);
    filename_ = NewName;
    stamp_ = GetFileStamp(filename_);
    return true;
}

}  // namespace spell
