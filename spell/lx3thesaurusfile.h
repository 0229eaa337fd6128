#pragma once
// The compiled thesaurus (".lxt"): a letter tree of words whose word-ending
// nodes link to master entries, each a headword with four word lists. A
// lookup gives the entries that the looked-up word links to, spelt out.
//
// The whole file is read into memory and checked when it loads: every node
// number, record offset, count, link and list against its section (64-bit
// sums), and the parent and single-child chains for cycles. A file that
// fails a check stays unloaded, so lookups walk only checked data.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lxformat.h"

namespace spell {

// One context of a lookup: a master entry seen through one link.
struct TThesaurusEntry {
    std::string ContextWord;
    int ContextKind = 0;  // 0-4
    std::string KindName;
    std::vector<std::string> Lists[lxt::Lists];
};

// A node as a descent uses it: its children and its links.
struct TForwardNode {
    unsigned char Character = 0;
    bool EndsWord = false, HasTail = false;
    uint32_t ChildCount = 0;
    uint64_t ChildAt = 0;  // link-data offset of the first 16-bit child number
    uint32_t LinkCount = 0;
    uint64_t LinkAt = 0;
};

// A node as spelling uses it: its parent (0 for none) and first child.
struct TReverseNode {
    unsigned char Character = 0;
    bool HasTail = false, OneChild = false;
    uint16_t Parent = 0;
    uint16_t FirstChild = 0;
};

class TThesaurusFile {
public:
    TThesaurusFile() = default;
    TThesaurusFile(const TThesaurusFile&) = delete;
    TThesaurusFile& operator=(const TThesaurusFile&) = delete;

    // PLookup's answer for a word the tree does not hold.
    static constexpr int NotFound = -1;

    const std::string& Filename() const { return filename_; }
    // Taken only when it differs and the file exists; the loaded data, if
    // any, stays until the file is unloaded.
    void WriteFilename(const std::string& Name);
    bool Loaded() const { return loaded_; }
    void WriteLoaded(bool Flag);
    void LoadFile();
    void UnloadFile();

    // Texts are the file's 8-bit bytes.
    const std::string& ThesaurusName() const { return name_; }
    const std::string& KindName(int Kind) const { return kindNames_[Kind]; }
    bool AllowCaseChanges = true;
    const std::string& LastWord() const { return lastWord_; }

    // Fills the contexts of Word; false (no contexts) when it has none or
    // no thesaurus could be loaded.
    bool LookupWord(std::string_view Word);
    const std::vector<TThesaurusEntry>& Contexts() const { return contexts_; }

    int PLookup(std::string_view Word) const;
    std::string GetWord(uint16_t Node) const;
    void GetEntryDetails(uint32_t Entry, int Kind, TThesaurusEntry& Out) const;
    // Gives the entry the case of the looked-up Word.
    static void MatchEntryCase(std::string_view Word, TThesaurusEntry& Entry);

private:
    bool read(const std::string& name);
    bool validate() const;
    bool chainsEnd() const;
    std::string tailText(uint32_t n) const;
    uint32_t nodeWord(uint32_t n) const;
    bool decode(uint32_t n, TForwardNode& out) const;
    bool reverse(uint32_t n, TReverseNode& out) const;
    uint16_t u16(const std::string& s, uint64_t at) const;
    uint32_t links() const { return static_cast<uint32_t>(links_.size()); }

    std::string filename_, name_, lastWord_;
    std::string kindNames_[lxt::Kinds];
    // The four sections as the file holds them.
    std::string nodes_, links_, master_, index_;
    uint64_t nodeCount_ = 0, masterCount_ = 0;
    bool loaded_ = false;
    std::vector<TThesaurusEntry> contexts_;
};

}  // namespace spell
