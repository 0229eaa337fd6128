#pragma once
// Edit-type correction candidates for a misspelled word (a letter left out,
// one too many, one wrong, two swapped, two words run together), kept when
// the caller's existence test accepts them; and the edit distance.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spell {

enum TSuggestionType { stSingleDeletion, stTransposition, stInsertion, stSubstitution, stSplitWord };
using TSuggestionTypes = uint8_t;  // bit per TSuggestionType
constexpr TSuggestionTypes SuggestionTypeBit(TSuggestionType t) { return static_cast<TSuggestionTypes>(1u << t); }
constexpr TSuggestionTypes AllSuggestionTypes = 0x1F;

// Whether a word (bytes as the dictionaries hold them) exists.
using TWordExistsFunc = std::function<bool(const std::string& Word)>;

class TSuggestionsGenerator {
public:
    TSuggestionsGenerator();

    int Language() const { return language_; }
    void WriteLanguage(int Language);
    TSuggestionTypes SuggestionTypes() const { return types_; }
    void WriteSuggestionTypes(TSuggestionTypes Types);
    bool DefaultSuggestionTypes() const { return defaultTypes_; }
    void WriteDefaultSuggestionTypes(bool On);

    // Adds accepted candidates to Strings; Max -1 means 65535. The list can
    // end with Max + 1 entries (the caller trims it).
    void Suggest(const std::string& Word, int Max, std::vector<std::string>& Strings, const TWordExistsFunc& Exists);

    const std::string& UsageSet() const { return usage_; }
    const std::string& StartSet() const { return start_; }

private:
    void suggestOnce(const std::string& word, int max, std::vector<std::string>& strings,
                     const TWordExistsFunc& exists) const;

    int language_ = 0;
    TSuggestionTypes types_ = AllSuggestionTypes;
    bool defaultTypes_ = true;
    std::string usage_, start_;
};

// Levenshtein distance over bytes with adjacent swaps credited once each;
// texts over 254 bytes compare by length only.
int GetEditDistance(std::string_view A, std::string_view B);

}  // namespace spell
