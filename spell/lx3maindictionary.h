#pragma once
// Read-only access to one compiled main dictionary (".lxm"): a compressed
// letter tree of a language's words, mapped into memory while loaded. It
// answers whether a word exists, how far a word matches, and which words
// share a prefix and a phonetic code with a misspelled word.
//
// Every index and offset the file holds is checked against its section
// before use; a file that fails a check is not a dictionary, and a file that
// failed to load is not tried again until its name is set anew.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lx3util.h"

namespace spell {

class TPhoneticsMap;

class TMainDictionary {
public:
    TMainDictionary() = default;
    ~TMainDictionary();
    TMainDictionary(const TMainDictionary&) = delete;
    TMainDictionary& operator=(const TMainDictionary&) = delete;

    // Taken only when Name is a main dictionary: callers compare Filename
    // with the name they gave.
    const std::string& Filename() const { return filename_; }
    void WriteFilename(const std::string& Name);
    bool Loaded() const { return view_ != nullptr; }
    void WriteLoaded(bool Value);
    // The last load failed; lookups answer "absent" without trying again.
    bool LoadFailed() const { return loadFailed_; }
    // Why the last name was refused or the last load failed (the file
    // named); empty after a good one.
    const std::string& LastError() const { return lastError_; }

    const std::string& Title() const { return title_; }  // UTF-8
    int Language() const { return language_; }
    uint32_t WordCount() const { return wordCount_; }
    uint32_t NodeCount() const { return nodeCount_; }
    int WordsFoundCount() const { return wordsFound_; }
    void WordFound() { ++wordsFound_; }

    bool WordExists(std::string_view Word);
    // How many leading characters of Word the tree matches.
    int WordLength(std::string_view Word);
    // Adds words that start like Word and sound like it (Map's code).
    void Suggest(std::string_view Word, const TPhoneticsMap& Map, std::vector<std::string>& Strings);

    // Most candidates a phonetic search gathers.
    static constexpr size_t MaxPhoneticCandidates = 500;

    // Where a node's children are: the first of Count indexes at linkage
    // offset Position, or the one node Direct.
    struct Children {
        uint32_t Count = 0;
        bool IsDirect = false;
        uint32_t Direct = 0;
        uint64_t Position = 0;
    };
    struct Node {
        unsigned char Character = 0;
        bool EndsWord = false;
        std::string_view Extra;
        Children Kids;
    };

private:
    bool ensureLoaded();
    bool mapFile();
    void unmap();
    bool validate();
    // Where node Index's record starts (and its class K), for an index
    // below the node count.
    uint64_t record(uint64_t index, int& k) const {
        k = 0;
        while (index >= cumulative_[k + 1]) ++k;
        return starts_[k] + (index - cumulative_[k]) * static_cast<uint64_t>(k + 4);
    }
    uint64_t record(uint64_t index) const {
        int k = 0;
        return record(index, k);
    }
    bool node(uint64_t index, Node& out) const;
    bool kidsOf(uint32_t v, Children& set) const;
    bool findChild(const Children& set, unsigned char c, uint32_t& index) const;
    // The index at linkage offset Pos; Pos moves past it.
    bool linkIndex(uint64_t& pos, uint32_t& index) const;
    bool readIndexes(uint64_t pos, uint32_t count, uint32_t* out) const;
    bool child(const Children& set, unsigned char c, Node& out) const;
    bool childAt(const Children& set, uint32_t i, uint64_t& pos, Node& out) const;
    bool firstLetter(unsigned char c, bool& oneLetterWord, Children& set) const;
    int walk(std::string_view word, bool& exists);

    struct Search;
    bool enumerate(Search& s, const Node& n) const;

    std::string filename_, title_;
    int language_ = 0;
    uint32_t wordCount_ = 0, nodeCount_ = 0;
    int wordsFound_ = 0;
    uint64_t counts_[9] = {}, starts_[10] = {}, cumulative_[10] = {};
    uint64_t totalNodes_ = 0;
    bool loadFailed_ = false;
    std::string lastError_;

    const unsigned char* view_ = nullptr;
    uint64_t viewSize_ = 0;
    uint64_t linkageStart_ = 0, linkageSize_ = 0;
    unsigned char firstLetters_[2048] = {};
    unsigned char trailing_[1024] = {};
    // The file version whose tree was checked whole, so a reload of the
    // same file does not check it again.
    TFileStamp checked_;
    // Every child list of the checked tree ascends by character.
    bool ascending_ = false;
};

// Makes Copy a main dictionary that loads: when it is missing or damaged,
// Shipped is copied over it (written beside it, then renamed). False, with
// Error naming the file, when Copy still cannot serve.
bool EnsureMainDictionaryCopy(const std::string& Shipped, const std::string& Copy, std::string& Error);

}  // namespace spell
