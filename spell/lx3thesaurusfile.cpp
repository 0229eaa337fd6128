// The compiled thesaurus file.
#include "spell/lx3thesaurusfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "spell/lx3util.h"
#include "spell/lxcase.h"

namespace spell {

using namespace lxt;

namespace {

bool isFile(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads a file front to back; no read goes past the size it had when opened,
// so a length field can never make us allocate more than the file holds.
class Reader {
public:
    explicit Reader(const std::string& name) {
        struct stat st {};
        std::string error;
        fd_ = OpenRegularFile(name, st, error);
        if (fd_ >= 0) size_ = static_cast<uint64_t>(st.st_size);
    }
    ~Reader() {
        if (fd_ >= 0) ::close(fd_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool skip(uint64_t n) {
        if (n > size_ - pos_) return false;
        pos_ += n;
        return true;
    }
    bool bytes(uint64_t n, std::string& out) {
        if (fd_ < 0 || n > size_ - pos_) return false;
        out.resize(n);
        uint64_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, out.data() + done, n - done, static_cast<off_t>(pos_ + done));
            if (got <= 0) return false;
            done += static_cast<uint64_t>(got);
        }
        pos_ += n;
        return true;
    }
    bool number(int width, uint64_t& v) {
        std::string b;
        if (!bytes(width, b)) return false;
        v = 0;
        for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[i]);
        return true;
    }
    bool shortText(std::string& out) {
        uint64_t n = 0;
        return number(1, n) && bytes(n, out);
    }

private:
    int fd_;
    uint64_t size_ = 0, pos_ = 0;
};

// Length[n] = how many nodes the chain from n holds, following Next until
// it gives false; false when a chain comes back round to one of its nodes.
template <class NextFn>
bool chainLengths(uint64_t count, NextFn next, std::vector<uint32_t>& length) {
    length.assign(count, 0);  // 0: not known yet
    std::vector<unsigned char> onWalk(count, 0);
    std::vector<uint32_t> walk;
    for (uint32_t start = 0; start < count; ++start) {
        if (length[start] != 0) continue;
        walk.clear();
        uint32_t known = 0;
        for (uint32_t n = start;;) {
            onWalk[n] = 1;
            walk.push_back(n);
            uint32_t following = 0;
            if (!next(n, following)) break;
            if (following >= count || onWalk[following]) return false;
            if (length[following] != 0) {
                known = length[following];
                break;
            }
            n = following;
        }
        for (auto w = walk.rbegin(); w != walk.rend(); ++w) {
            length[*w] = ++known;
            onWalk[*w] = 0;
        }
    }
    return true;
}

}  // namespace

void TThesaurusFile::WriteFilename(const std::string& Name) {
    if (Name == filename_ || !isFile(Name)) return;
    filename_ = Name;
}

void TThesaurusFile::WriteLoaded(bool Flag) {
    if (Flag == loaded_) return;
    if (Flag)
        LoadFile();
    else
        UnloadFile();
}

void TThesaurusFile::UnloadFile() {
    loaded_ = false;
    nodes_.clear();
    links_.clear();
    master_.clear();
    index_.clear();
    nodeCount_ = masterCount_ = 0;
}

void TThesaurusFile::LoadFile() {
    UnloadFile();
    if (filename_.empty() || !isFile(filename_)) return;
    if (read(filename_) && validate()) {
        loaded_ = true;
        return;
    }
    UnloadFile();
    // Nothing half-read stays behind.
    name_.clear();
    for (auto& k : kindNames_) k.clear();
}

bool TThesaurusFile::read(const std::string& name) {
    Reader r(name);
    if (!r.skip(HeaderBytes) || !r.shortText(name_)) return false;
    for (auto& k : kindNames_)
        if (!r.shortText(k)) return false;
    uint64_t size = 0;
    if (!r.number(4, nodeCount_) || nodeCount_ == 0 || nodeCount_ > MaxNodes) return false;
    if (!r.bytes(nodeCount_ * 4, nodes_)) return false;
    if (!r.number(4, size) || !r.bytes(size, links_)) return false;
    if (!r.number(2, masterCount_) || !r.bytes(masterCount_ * MasterBytes, master_)) return false;
    return r.number(4, size) && r.bytes(size, index_);
}

uint16_t TThesaurusFile::u16(const std::string& s, uint64_t at) const {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}

uint32_t TThesaurusFile::nodeWord(uint32_t n) const {
    const uint64_t at = 4 * static_cast<uint64_t>(n);
    return static_cast<uint32_t>(u16(nodes_, at)) | static_cast<uint32_t>(u16(nodes_, at + 2)) << 16;
}

// A node's record: children, then the parent, then (on word ends and tails)
// the links; false when it runs past the link data.
bool TThesaurusFile::decode(uint32_t n, TForwardNode& out) const {
    if (n >= nodeCount_) return false;
    const uint32_t v = nodeWord(n);
    const uint64_t size = links_.size();
    uint64_t pos = NodeOffset(v);
    out = {};
    out.Character = NodeCharacter(v);
    out.EndsWord = (v & EndsWord) != 0;
    out.HasTail = (v & HasTail) != 0;
    if (v & OneChild) {
        out.ChildCount = 1;
        out.ChildAt = pos;
        pos += 2;
    } else {
        if (pos >= size) return false;
        out.ChildCount = static_cast<unsigned char>(links_[pos]);
        out.ChildAt = pos + 1;
        pos += 1 + 2 * static_cast<uint64_t>(out.ChildCount);
    }
    if (v & HasParent) pos += 2;
    if (pos > size) return false;
    if (out.EndsWord || out.HasTail) {
        if (pos >= size) return false;
        out.LinkCount = static_cast<unsigned char>(links_[pos]);
        out.LinkAt = pos + 1;
        pos += 1 + 2 * static_cast<uint64_t>(out.LinkCount);
    }
    return pos <= size;
}

bool TThesaurusFile::reverse(uint32_t n, TReverseNode& out) const {
    TForwardNode f;
    if (!decode(n, f)) return false;
    const uint32_t v = nodeWord(n);
    out = {};
    out.Character = f.Character;
    out.HasTail = f.HasTail;
    out.OneChild = (v & OneChild) != 0;
    if (f.ChildCount > 0) out.FirstChild = u16(links_, f.ChildAt);
    if (v & HasParent) out.Parent = u16(links_, f.ChildAt + 2 * static_cast<uint64_t>(f.ChildCount));
    return true;
}

bool TThesaurusFile::validate() const {
    if (nodes_.size() != nodeCount_ * 4 || master_.size() != masterCount_ * MasterBytes) return false;
    // How many words each entry's lists hold.
    std::vector<uint64_t> entryWords(masterCount_);
    for (uint64_t e = 0; e < masterCount_; ++e) {
        const uint64_t at = e * MasterBytes;
        if (u16(master_, at) >= nodeCount_) return false;
        uint64_t words = 0;
        for (int l = 0; l < Lists; ++l) words += u16(master_, at + 2 + 2 * l);
        const uint64_t offset = u16(master_, at + 10) | static_cast<uint64_t>(u16(master_, at + 12)) << 16;
        if (offset > index_.size() || 2 * words > index_.size() - offset) return false;
        for (uint64_t i = 0; i < words; ++i)
            if (u16(index_, offset + 2 * i) >= nodeCount_) return false;
        entryWords[e] = words;
    }
    for (uint32_t n = 0; n < nodeCount_; ++n) {
        TForwardNode f;
        TReverseNode r;
        if (!decode(n, f) || !reverse(n, r) || r.Parent >= nodeCount_) return false;
        for (uint32_t i = 0; i < f.ChildCount; ++i)
            if (u16(links_, f.ChildAt + 2 * i) >= nodeCount_) return false;
        uint64_t words = 0;
        for (uint32_t i = 0; i < f.LinkCount; ++i) {
            const uint32_t entry = u16(links_, f.LinkAt + 2 * i) / Kinds;
            if (entry >= masterCount_) return false;
            words += entryWords[entry];
        }
        if (words > MaxLookupWords) return false;
    }
    return chainsEnd();
}

// Spelling climbs parents and reads tails down single children: both
// chains must end, and no word they spell may be longer than a word can be.
bool TThesaurusFile::chainsEnd() const {
    const auto parent = [this](uint32_t n, uint32_t& next) {
        TReverseNode r;
        reverse(n, r);
        next = r.Parent;
        return next != 0;
    };
    const auto onlyChild = [this](uint32_t n, uint32_t& next) {
        TReverseNode r;
        reverse(n, r);
        next = r.FirstChild;
        return r.OneChild;
    };
    std::vector<uint32_t> up, down;
    if (!chainLengths(nodeCount_, parent, up) || !chainLengths(nodeCount_, onlyChild, down)) return false;
    for (uint32_t n = 0; n < nodeCount_; ++n) {
        TForwardNode f;
        TReverseNode r;
        decode(n, f);
        reverse(n, r);
        const uint64_t tail = r.HasTail && f.ChildCount > 0 ? down[r.FirstChild] : 0;
        if (up[n] + tail > MaxWordBytes) return false;
    }
    return true;
}

std::string TThesaurusFile::tailText(uint32_t n) const {
    std::string tail;
    TReverseNode r;
    if (!reverse(n, r)) return tail;
    TForwardNode f;
    decode(n, f);
    if (f.ChildCount == 0) return tail;
    for (uint32_t t = r.FirstChild;;) {
        if (!reverse(t, r)) break;
        tail += static_cast<char>(r.Character);
        if (!r.OneChild) break;
        t = r.FirstChild;
    }
    return tail;
}

int TThesaurusFile::PLookup(std::string_view Word) const {
    if (!loaded_ || Word.empty()) return NotFound;
    uint32_t current = 0;
    for (size_t i = 0;;) {
        TForwardNode f, child;
        if (!decode(current, f)) return NotFound;
        uint32_t next = 0;
        bool found = false;
        for (uint32_t c = 0; c < f.ChildCount && !found; ++c) {
            next = u16(links_, f.ChildAt + 2 * static_cast<uint64_t>(c));
            found = decode(next, child) && child.Character == static_cast<unsigned char>(Word[i]);
        }
        if (!found) return NotFound;
        ++i;
        if (child.EndsWord && i == Word.size()) return static_cast<int>(next);
        if (child.HasTail) return Word.substr(i) == tailText(next) ? static_cast<int>(next) : NotFound;
        if (i == Word.size()) return NotFound;
        current = next;
    }
}

std::string TThesaurusFile::GetWord(uint16_t Node) const {
    TReverseNode r;
    if (!loaded_ || !reverse(Node, r)) return {};
    // Built backwards: the tail reversed, the node, then each parent.
    std::string tail = r.HasTail ? tailText(Node) : std::string();
    std::string word(tail.rbegin(), tail.rend());
    word += static_cast<char>(r.Character);
    while (r.Parent != 0 && reverse(r.Parent, r)) word += static_cast<char>(r.Character);
    std::reverse(word.begin(), word.end());
    return word;
}

void TThesaurusFile::GetEntryDetails(uint32_t Entry, int Kind, TThesaurusEntry& Out) const {
    Out = {};
    Out.ContextKind = Kind;
    if (Kind >= 0 && Kind < Kinds) Out.KindName = kindNames_[Kind];
    const uint64_t at = static_cast<uint64_t>(Entry) * MasterBytes;
    if (!loaded_ || Entry >= masterCount_) return;
    Out.ContextWord = GetWord(u16(master_, at));
    uint64_t pos = u16(master_, at + 10) | static_cast<uint64_t>(u16(master_, at + 12)) << 16;
    for (int l = 0; l < Lists; ++l) {
        const uint16_t count = u16(master_, at + 2 + 2 * l);
        for (uint16_t i = 0; i < count; ++i, pos += 2) Out.Lists[l].push_back(GetWord(u16(index_, pos)));
    }
}

void TThesaurusFile::MatchEntryCase(std::string_view Word, TThesaurusEntry& Entry) {
    if (Word.empty()) return;
    const bool upper = LxAllUpper(Word);
    if (!upper && static_cast<unsigned char>(Word[0]) != LxToUpper(static_cast<unsigned char>(Word[0]))) return;
    const auto match = [upper](std::string& w) {
        if (upper)
            w = LxUpperCase(w);
        else if (!w.empty())
            w[0] = static_cast<char>(LxToUpper(static_cast<unsigned char>(w[0])));
    };
    match(Entry.ContextWord);
    for (auto& list : Entry.Lists)
        for (auto& w : list) match(w);
}

bool TThesaurusFile::LookupWord(std::string_view Word) {
    contexts_.clear();
    if (!loaded_) LoadFile();
    if (!loaded_) return false;
    lastWord_ = Word;
    // A node without links (a word only listed, never a headword) says
    // nothing, so the lower-case form still gets its chance.
    const auto linkCount = [this](int node) {
        TForwardNode f;
        return node != NotFound && decode(static_cast<uint32_t>(node), f) ? f.LinkCount : 0u;
    };
    int node = PLookup(Word);
    bool caseChanged = false;
    if (linkCount(node) == 0 && AllowCaseChanges) {
        const std::string lower = LxLowerCase(Word);
        const int other = lower == Word ? NotFound : PLookup(lower);
        if (other != NotFound) {
            node = other;
            caseChanged = true;
        }
    }
    TForwardNode f;
    if (node == NotFound || !decode(static_cast<uint32_t>(node), f)) return false;
    for (uint32_t i = 0; i < f.LinkCount; ++i) {
        const uint16_t link = u16(links_, f.LinkAt + 2 * static_cast<uint64_t>(i));
        TThesaurusEntry entry;
        GetEntryDetails(link / Kinds, link % Kinds, entry);
        if (caseChanged) MatchEntryCase(Word, entry);
        contexts_.push_back(std::move(entry));
    }
    return !contexts_.empty();
}

}  // namespace spell
