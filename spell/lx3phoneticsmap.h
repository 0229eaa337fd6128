#pragma once
// Phonetic codes: a word becomes its first StartDepth letters followed by a
// short code made by a language's replacement rules. The main dictionary
// uses it to find words that sound like a misspelled one.
#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace spell {

// A node of the tree of replacement rules, one link per byte.
class TReplaceNode {
public:
    virtual ~TReplaceNode() = default;
    // The child for byte C, null when none.
    const TReplaceNode* GetNextMap(unsigned char C) const { return children_[C].get(); }
    void ClearMap();
    // A later rule with the same source replaces the earlier one.
    void AddMap(std::string_view Source, std::string_view Dest, int SourceLength);

    bool HasChildren() const { return hasChildren_; }
    bool Destination() const { return destination_; }
    const std::string& DestWord() const { return dest_; }
    int SourceLength() const { return sourceLength_; }

private:
    std::array<std::unique_ptr<TReplaceNode>, 256> children_;
    bool hasChildren_ = false, destination_ = false;
    std::string dest_;
    int sourceLength_ = 0;
};

class TPhoneticsMap : public TReplaceNode {
public:
    TPhoneticsMap() = default;

    int Language() const { return language_; }
    // Loads the rule table of the language's low byte (9 English,
    // 25 Russian, 12 French, anything else the default table).
    void WriteLanguage(int Language);
    // The general table, which the English search falls back on.
    void UseDefaultTable();
    int StartDepth() const { return startDepth_; }
    void WriteStartDepth(int N);
    int DistanceDivisor() const { return divisor_; }
    void WriteDistanceDivisor(int N) { divisor_ = N; }
    int DistanceMax() const { return distanceMax_; }
    void WriteDistanceMax(int N) { distanceMax_ = N; }
    bool RemoveDuplicates = true;

    std::string GetMapping(std::string_view Word) const;
    bool AcceptableDistance(std::string_view Word, int Distance) const;

private:
    void loadTable(int primary);

    int language_ = -1;
    int startDepth_ = 2;
    int divisor_ = 2;
    int distanceMax_ = 4;
};

}  // namespace spell
