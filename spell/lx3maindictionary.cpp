// The compiled main dictionary, read over a read-only memory map.
#include "spell/lx3maindictionary.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "spell/lx3phoneticsmap.h"
#include "spell/lxcase.h"
#include "spell/lxcodepage.h"
#include "spell/lxformat.h"

namespace spell {

namespace {

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// UTF-16LE to UTF-8; a lone surrogate becomes U+FFFD.
std::string fromUtf16(const unsigned char* p, size_t units) {
    std::string out;
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = p[2 * i] | p[2 * i + 1] << 8;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            const uint32_t lo = p[2 * i + 2] | p[2 * i + 3] << 8;
            if (lo >= 0xDC00 && lo < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

// What the header says, once checked against the file's size.
struct Header {
    std::string title;
    int language = 0;
    uint32_t words = 0, nodes = 0;
    uint64_t counts[9] = {}, starts[10] = {}, cumulative[10] = {};
};

// Data holds the file's first bytes (all of them, or at least enough for
// the header); Size is the whole file's.
bool parseHeader(const unsigned char* data, uint64_t have, uint64_t size, Header& h) {
    if (size <= lxm::BannerBlock || have <= lxm::BannerBlock) return false;
    if (std::memcmp(data, LxmBanner.data(), LxmBanner.size()) != 0) return false;
    const uint64_t n = data[1024];
    const uint64_t t0 = 1025 + 2 * n + 2 + 4 + 4 + 4 + 36;
    if (t0 > have) return false;
    h.title = fromUtf16(data + 1025, n);
    const unsigned char* p = data + 1027 + 2 * n;
    h.language = static_cast<int>(le32(p));
    h.words = le32(p + 4);
    h.nodes = le32(p + 8);
    h.starts[0] = t0;
    for (int k = 0; k < lxm::Classes; ++k) {
        h.counts[k] = le32(p + 12 + 4 * k);
        h.starts[k + 1] = h.starts[k] + h.counts[k] * static_cast<uint64_t>(k + 4);
        h.cumulative[k + 1] = h.cumulative[k] + h.counts[k];
    }
    // Node indexes are 20 bits and the root must be there.
    const uint64_t total = h.cumulative[lxm::Classes];
    return total >= 1 && total <= lxm::MaxReference && h.starts[lxm::Classes] <= size;
}

constexpr uint64_t headerBytes = 1024 + 1 + 2 * 255 + 2 + 48;

}  // namespace

TMainDictionary::~TMainDictionary() { unmap(); }

void TMainDictionary::WriteFilename(const std::string& Name) {
    struct stat st {};
    const int fd = OpenRegularFile(Name, st, lastError_);
    if (fd < 0) return;
    unsigned char buffer[headerBytes];
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    wordsFound_ = 0;
    const bool wasLoaded = Loaded();
    unmap();
    Header h;
    if (got <= 0 || !parseHeader(buffer, static_cast<uint64_t>(got), static_cast<uint64_t>(st.st_size), h)) {
        lastError_ = Name + " is not a main dictionary";
        return;
    }
    lastError_.clear();
    filename_ = Name;
    title_ = h.title;
    language_ = h.language;
    wordCount_ = h.words;
    nodeCount_ = h.nodes;
    std::copy(std::begin(h.counts), std::end(h.counts), counts_);
    std::copy(std::begin(h.starts), std::end(h.starts), starts_);
    std::copy(std::begin(h.cumulative), std::end(h.cumulative), cumulative_);
    totalNodes_ = h.cumulative[lxm::Classes];
    loadFailed_ = false;
    checked_ = {};
    ascending_ = false;
    if (wasLoaded) WriteLoaded(true);
}

void TMainDictionary::WriteLoaded(bool Value) {
    if (filename_.empty()) return;
    if (!Value) {
        unmap();
        return;
    }
    if (Loaded()) return;
    loadFailed_ = !mapFile();
    if (loadFailed_) {
        unmap();
        if (lastError_.empty()) lastError_ = filename_ + " is damaged";
    }
}

void TMainDictionary::unmap() {
    if (view_) ::munmap(const_cast<unsigned char*>(view_), viewSize_);
    view_ = nullptr;
    viewSize_ = 0;
}

bool TMainDictionary::mapFile() {
    lastError_.clear();
    struct stat st {};
    const int fd = OpenRegularFile(filename_, st, lastError_);
    if (fd < 0) return false;
    if (st.st_size <= 0) {
        ::close(fd);
        return false;
    }
    void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return false;
    view_ = static_cast<const unsigned char*>(p);
    viewSize_ = static_cast<uint64_t>(st.st_size);
    // The file may have been replaced since its name was taken: its own
    // header is the one that counts.
    Header h;
    if (!parseHeader(view_, viewSize_, viewSize_, h)) return false;
    nodeCount_ = h.nodes;
    std::copy(std::begin(h.counts), std::end(h.counts), counts_);
    std::copy(std::begin(h.starts), std::end(h.starts), starts_);
    std::copy(std::begin(h.cumulative), std::end(h.cumulative), cumulative_);
    totalNodes_ = h.cumulative[lxm::Classes];
    const uint64_t t9 = starts_[lxm::Classes];
    if (t9 + 4 >= viewSize_) return false;
    linkageStart_ = t9 + 4;
    linkageSize_ = le32(view_ + t9);
    if (viewSize_ < linkageStart_ + linkageSize_ + lxm::FirstLetterTable + lxm::TrailingBlock) return false;
    std::memcpy(firstLetters_, view_ + linkageStart_ + linkageSize_, sizeof firstLetters_);
    std::memcpy(trailing_, view_ + linkageStart_ + linkageSize_ + lxm::FirstLetterTable, sizeof trailing_);
    TFileStamp stamp;
    stamp.Exists = true;
    stamp.Seconds = st.st_mtim.tv_sec;
    stamp.Nanoseconds = st.st_mtim.tv_nsec;
    stamp.Size = st.st_size;
    if (stamp == checked_) return true;
    if (!validate()) return false;
    checked_ = stamp;
    return true;
}

bool TMainDictionary::linkIndex(uint64_t& pos, uint32_t& index) const {
    const unsigned char* l = view_ + linkageStart_;
    if (nodeCount_ < lxm::WideLinkage) {
        if (pos + 2 > linkageSize_) return false;
        index = l[pos] | l[pos + 1] << 8;
        pos += 2;
    } else if (pos < linkageSize_ && (l[pos] & 0x80)) {
        if (pos + 2 > linkageSize_) return false;
        index = (l[pos] & 0x7Fu) << 8 | l[pos + 1];
        pos += 2;
    } else {
        if (pos + 3 > linkageSize_) return false;
        index = static_cast<uint32_t>(l[pos]) << 16 | l[pos + 1] << 8 | l[pos + 2];
        pos += 3;
    }
    return index < totalNodes_;
}


// The Count indexes of a child list at linkage offset Pos: the lookups'
// sweep, the same reading as linkIndex's with the state held in locals.
bool TMainDictionary::readIndexes(uint64_t pos, uint32_t count, uint32_t* out) const {
    const unsigned char* l = view_ + linkageStart_;
    const uint64_t size = linkageSize_, total = totalNodes_;
    uint32_t highest = 0;
    if (nodeCount_ < lxm::WideLinkage) {
        if (pos + 2 * static_cast<uint64_t>(count) > size) return false;
        for (uint32_t i = 0; i < count; ++i, pos += 2) {
            out[i] = l[pos] | l[pos + 1] << 8;
            highest = std::max(highest, out[i]);
        }
        return count == 0 || highest < total;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (pos + 2 > size) return false;
        if (l[pos] & 0x80) {
            out[i] = (l[pos] & 0x7Fu) << 8 | l[pos + 1];
            pos += 2;
        } else {
            if (pos + 3 > size) return false;
            out[i] = static_cast<uint32_t>(l[pos]) << 16 | l[pos + 1] << 8 | l[pos + 2];
            pos += 3;
        }
        highest = std::max(highest, out[i]);
    }
    return count == 0 || highest < total;
}

bool TMainDictionary::node(uint64_t index, Node& out) const {
    if (index >= totalNodes_) return false;
    int k = 0;
    const uint64_t record = this->record(index, k);
    if (record + static_cast<uint64_t>(k) + 4 > viewSize_) return false;
    const uint32_t v = le32(view_ + record);
    out.Character = static_cast<unsigned char>(lxm::NodeCharacter(v));
    out.EndsWord = lxm::NodeEndsWord(v);
    out.Extra = std::string_view(reinterpret_cast<const char*>(view_ + record + 4), static_cast<size_t>(k));
    return kidsOf(v, out.Kids);
}

bool TMainDictionary::childAt(const Children& set, uint32_t i, uint64_t& pos, Node& out) const {
    if (set.IsDirect) return i == 0 && node(set.Direct, out);
    uint32_t index = 0;
    return linkIndex(pos, index) && node(index, out);
}

bool TMainDictionary::child(const Children& set, unsigned char c, Node& out) const {
    uint32_t index = 0;
    return findChild(set, c, index) && node(index, out);
}

// The children of node value V, false when its reference leaves the
// linkage block.
bool TMainDictionary::kidsOf(uint32_t v, Children& set) const {
    const uint32_t count = lxm::NodeCount(v), ref = lxm::NodeReference(v);
    set = {};
    if (count == 1) {
        set = {1, true, ref, 0};
    } else if (count > 1) {
        set = {count, false, 0, ref};
    } else if (ref != lxm::NoChildren) {
        if (ref >= linkageSize_) return false;
        set = {view_[linkageStart_ + ref], false, 0, static_cast<uint64_t>(ref) + 1};
    }
    return true;
}

// Finds the child with character C without decoding the others: each needs
// only its character, the first byte of its record (inside the tables,
// which the header check holds to the file). A short list is read in order,
// stopping past C when every list ascends; a long one is read in one sweep
// and, when every list ascends, searched by halves.
bool TMainDictionary::findChild(const Children& set, unsigned char c, uint32_t& index) const {
    if (set.IsDirect) {
        index = set.Direct;
        return set.Count == 1 && index < totalNodes_ && view_[record(index)] == c;
    }
    if (set.Count <= 8) {
        uint64_t pos = set.Position;
        for (uint32_t i = 0; i < set.Count; ++i) {
            if (!linkIndex(pos, index)) return false;
            const unsigned char m = view_[record(index)];
            if (m == c) return true;
            if (ascending_ && m > c) return false;
        }
        return false;
    }
    uint32_t indexes[lxm::MaxChildren];
    const uint32_t count = std::min<uint32_t>(set.Count, lxm::MaxChildren);
    if (!readIndexes(set.Position, count, indexes)) return false;
    if (ascending_) {
        uint32_t low = 0, high = count;
        while (low < high) {
            const uint32_t mid = (low + high) / 2;
            const unsigned char m = view_[record(indexes[mid])];
            if (m == c) {
                index = indexes[mid];
                return true;
            }
            if (m < c) low = mid + 1;
            else high = mid;
        }
        return false;
    }
    for (uint32_t i = 0; i < count; ++i)
        if (view_[record(indexes[i])] == c) {
            index = indexes[i];
            return true;
        }
    return false;
}

bool TMainDictionary::firstLetter(unsigned char c, bool& oneLetterWord, Children& set) const {
    const unsigned char* e = firstLetters_ + 8 * c;
    oneLetterWord = e[0] != 0;
    const uint32_t ref = le32(e + 4);
    set = {};
    if (e[1] == 1) set = {1, true, ref, 0};
    if (e[1] > 1) set = {e[1], false, 0, ref};
    return true;
}

// Every node and every table entry must point inside its section; the tree
// is then safe to walk without further doubt about the file.
// Also notes whether every child list ascends by character, which lets a
// lookup search them by halves.
bool TMainDictionary::validate() {
    bool ascending = true;
    const auto childrenValid = [this, &ascending](const Children& set) {
        uint64_t pos = set.Position;
        int last = -1;
        for (uint32_t i = 0; i < set.Count; ++i) {
            Node n;
            if (!childAt(set, i, pos, n)) return false;
            ascending = ascending && n.Character > last;
            last = n.Character;
        }
        return true;
    };
    for (uint64_t i = 0; i < totalNodes_; ++i) {
        Node n;
        if (!node(i, n) || !childrenValid(n.Kids)) return false;
    }
    for (int c = 0; c < 256; ++c) {
        bool one = false;
        Children set;
        firstLetter(static_cast<unsigned char>(c), one, set);
        if (!childrenValid(set)) return false;
    }
    ascending_ = ascending;
    return true;
}

bool TMainDictionary::ensureLoaded() {
    if (!view_ && !loadFailed_) WriteLoaded(true);
    return view_ != nullptr;
}

int TMainDictionary::walk(std::string_view w, bool& exists) {
    exists = false;
    if (w.empty() || !ensureLoaded()) return 0;
    bool oneLetter = false;
    Children set;
    firstLetter(static_cast<unsigned char>(w[0]), oneLetter, set);
    if (w.size() == 1) {
        exists = oneLetter;
        return oneLetter || set.Count > 0 ? 1 : 0;
    }
    if (set.Count == 0) return oneLetter ? 1 : 0;
    int length = 1;
    size_t i = 1;
    for (;;) {
        uint32_t index = 0;
        if (!findChild(set, static_cast<unsigned char>(w[i]), index)) return length;
        int k = 0;
        const unsigned char* n = view_ + record(index, k);
        const uint32_t v = le32(n);
        ++length;
        if (i == w.size() - 1) {
            exists = lxm::NodeEndsWord(v);
            return length;
        }
        ++i;
        for (int e = 0; e < k; ++e) {
            if (i >= w.size() || w[i] != static_cast<char>(n[4 + e])) return length;  // ends inside the extras or leaves them
            ++length;
            ++i;
        }
        if (i >= w.size() || !kidsOf(v, set) || set.Count == 0) return length;
    }
}

bool TMainDictionary::WordExists(std::string_view Word) {
    bool exists = false;
    walk(Word, exists);
    return exists;
}

int TMainDictionary::WordLength(std::string_view Word) {
    bool exists = false;
    return walk(Word, exists);
}

struct TMainDictionary::Search {
    const TPhoneticsMap& map;
    std::vector<std::string>& strings;
    std::string code;
    std::string word;
    uint64_t visits = 0, maxVisits = 0;
};

namespace {

// No word of a dictionary is longer; a deeper path is a damaged file.
constexpr size_t maxWordBytes = 256;

bool listed(const std::vector<std::string>& strings, const std::string& w) {
    const std::string lw = LxLowerCase(w);
    return std::any_of(strings.begin(), strings.end(), [&](const std::string& s) { return LxLowerCase(s) == lw; });
}

// True stops the descent below the word's node.
bool foundWord(const std::string& candidate, const std::string& code, const TPhoneticsMap& map,
               std::vector<std::string>& strings) {
    const std::string c = map.GetMapping(candidate);
    if (c != code) return c.size() > code.size();
    if (strings.size() > TMainDictionary::MaxPhoneticCandidates) return true;
    if (!listed(strings, candidate)) strings.push_back(candidate);
    return false;
}

}  // namespace

// Visits the children of a node whose path (extras included) is in s.word.
// False once the search must stop altogether (a damaged tree).
bool TMainDictionary::enumerate(Search& s, const Node& parent) const {
    uint64_t pos = parent.Kids.Position;
    for (uint32_t i = 0; i < parent.Kids.Count; ++i) {
        Node n;
        if (!childAt(parent.Kids, i, pos, n) || ++s.visits > s.maxVisits) return false;
        const size_t mark = s.word.size();
        s.word += static_cast<char>(n.Character);
        const bool stop = n.EndsWord && foundWord(s.word, s.code, s.map, s.strings);
        if (!stop) {
            s.word.append(n.Extra);
            if (s.word.size() > maxWordBytes || !enumerate(s, n)) return false;
        }
        s.word.resize(mark);
    }
    return true;
}

void TMainDictionary::Suggest(std::string_view Word, const TPhoneticsMap& Map, std::vector<std::string>& Strings) {
    const std::string code = Map.GetMapping(Word);
    if (code.size() <= 1 || !ensureLoaded()) return;
    const std::string_view prefix = Word.substr(0, std::min(Word.size(), static_cast<size_t>(Map.StartDepth())));
    Node n;
    if (!node(0, n)) return;
    size_t i = 0, extrasMatched = 0;
    while (i < prefix.size()) {
        Node next;
        if (!child(n.Kids, static_cast<unsigned char>(prefix[i]), next)) return;
        n = next;
        ++i;
        extrasMatched = 0;
        while (extrasMatched < n.Extra.size() && i < prefix.size()) {
            if (n.Extra[extrasMatched] != prefix[i]) return;
            ++extrasMatched;
            ++i;
        }
    }
    Search s{Map, Strings, code, std::string(prefix), 0, totalNodes_};
    // A prefix that ends on the node's own character may itself be a word;
    // one that ends inside its extras is longer than that word.
    if (extrasMatched == 0 && n.EndsWord && foundWord(s.word, code, Map, Strings)) return;
    s.word.append(n.Extra.substr(extrasMatched));
    enumerate(s, n);
}

namespace {

bool loads(const std::string& name, std::string& error) {
    TMainDictionary d;
    d.WriteFilename(name);
    if (d.Filename() == name) d.WriteLoaded(true);
    error = d.LastError();
    return d.Loaded();
}

}  // namespace

bool EnsureMainDictionaryCopy(const std::string& Shipped, const std::string& Copy, std::string& Error) {
    if (loads(Copy, Error)) return true;
    std::string bytes;
    TFileStamp stamp;
    if (!ReadRegularFile(Shipped, bytes, stamp, Error) || !WriteFileAtomic(Copy, bytes, 0644, Error)) return false;
    return loads(Copy, Error);
}

}  // namespace spell
