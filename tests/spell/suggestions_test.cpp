// Edit-type candidates, phonetic codes and the edit distance.
#include <gtest/gtest.h>

#include <set>

#include "spell/lx3phoneticsmap.h"
#include "spell/lx3suggestions.h"

using namespace spell;

namespace {

std::vector<std::string> suggest(TSuggestionsGenerator& g, const std::string& word, const std::set<std::string>& words,
                                 int max = -1) {
    std::vector<std::string> out;
    g.Suggest(word, max, out, [&](const std::string& w) { return words.count(w) > 0; });
    return out;
}

}  // namespace

TEST(SpellSuggestions, EachKindOfSlipFindsItsWord) {
    TSuggestionsGenerator g;
    const std::set<std::string> words = {"form", "from", "fro", "the", "then", "there", "cat", "at", "house",
                                         "boat", "of", "their", "end", "Start"};
    struct Case {
        const char* typed;
        std::vector<std::string> expect;
    } cases[] = {
        {"fomr", {"form"}},           // swapped neighbours
        {"thn", {"the", "then"}},     // a letter left out; one too many
        {"thre", {"there", "the"}},
        {"cst", {"cat"}},             // a wrong letter
        {"hosue", {"house"}},
        {"baot", {"boat"}},
        {"oftheir", {"of their"}},    // run together
        {"end.Start", {"end.  Start"}},
    };
    for (const auto& c : cases) {
        const auto got = suggest(g, c.typed, words);
        for (const auto& e : c.expect)
            EXPECT_NE(std::find(got.begin(), got.end(), e), got.end()) << c.typed << " -> " << e;
    }
    // Transpositions come first: the nearest slip leads the list.
    EXPECT_EQ(suggest(g, "hosue", words).front(), "house");
}

TEST(SpellSuggestions, LimitsAndCaseRules) {
    TSuggestionsGenerator g;
    const std::set<std::string> words = {"ab", "ac", "ad", "ae", "a", "Paris", "paris"};
    EXPECT_EQ(suggest(g, std::string(250, 'b'), {std::string(249, 'b')}).size(), 1u);
    EXPECT_TRUE(suggest(g, std::string(251, 'b'), {std::string(250, 'b')}).empty());  // too long to try
    EXPECT_TRUE(suggest(g, "af", words, 0).empty());
    EXPECT_EQ(suggest(g, "af", words, 1).size(), 2u);  // the list may end one past Max
    for (const auto& w : suggest(g, "af", words)) EXPECT_GE(w.size(), 2u);  // never "a"
    // A lower-case word prefers the lower-case form of a candidate.
    EXPECT_EQ(suggest(g, "xaris", words), std::vector<std::string>{"paris"});
    const auto upper = suggest(g, "Parsi", words);
    EXPECT_NE(std::find(upper.begin(), upper.end(), "Paris"), upper.end());
}

TEST(SpellSuggestions, SwedishNeverSplitsWords) {
    TSuggestionsGenerator g;
    const std::set<std::string> words = {"of", "their"};
    EXPECT_FALSE(suggest(g, "oftheir", words).empty());
    g.WriteLanguage(1053);
    EXPECT_TRUE(suggest(g, "oftheir", words).empty());
    g.WriteLanguage(1033);
    EXPECT_FALSE(suggest(g, "oftheir", words).empty());
}

TEST(SpellSuggestions, LanguagesAddTheirLetters) {
    TSuggestionsGenerator g;
    EXPECT_EQ(g.UsageSet().size(), 67u);
    EXPECT_EQ(g.StartSet().size(), 122u);
    g.WriteLanguage(0x040C);  // French: low byte 12
    EXPECT_EQ(g.UsageSet().back(), '\x9C');
    EXPECT_EQ(g.UsageSet().size(), 68u);
}

TEST(SpellPhonetics, EnglishCodes) {
    TPhoneticsMap map;
    map.WriteLanguage(0x0809);
    struct Case {
        const char *word, *code;
    } cases[] = {
        {"thumb", "thmb"},       // the first two letters stand as they are
        {"Thumb", "thmb"},
        {"phone", "phn"},
        {"nation", "naxn"},      // "tio" gives x and consumes one letter
        {"knight", "knt"},       // "gh" maps to nothing
        {"judge", "juj"},
        {"a", "a"},
        {"mississippi", "misp"},  // repeated codes of one-letter rules merge
        {"extraordinary", "extrtnr"},
    };
    for (const auto& c : cases) EXPECT_EQ(map.GetMapping(c.word), c.code) << c.word;
}

TEST(SpellPhonetics, TablesAndDistanceRule) {
    TPhoneticsMap map;
    map.WriteLanguage(0x0809);
    EXPECT_EQ(map.GetMapping("abcdefghijklmnop"), "abktfkjk");  // a budget of six after the prefix
    map.WriteLanguage(0x040C);
    EXPECT_EQ(map.GetMapping("bapt"), "babd");
    map.WriteLanguage(0x0407);  // anything else: the general table
    EXPECT_EQ(map.GetMapping("vivas"), "vibk");
    map.WriteStartDepth(0);  // refused
    EXPECT_EQ(map.StartDepth(), 2);
    EXPECT_TRUE(map.AcceptableDistance("abcd", 2));
    EXPECT_FALSE(map.AcceptableDistance("abc", 2));
    EXPECT_FALSE(map.AcceptableDistance(std::string(20, 'a'), 5));  // over the maximum of 4
}

TEST(SpellDistance, EditDistance) {
    struct Case {
        const char *a, *b;
        int d;
    } cases[] = {
        {"kitten", "sitting", 3}, {"", "abc", 3}, {"abc", "abc", 0}, {"ab", "ba", 1},
        {"hosue", "house", 1},    {"abcd", "badc", 1}, {"Abc", "abc", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(GetEditDistance(c.a, c.b), c.d) << c.a << "/" << c.b;
    EXPECT_EQ(GetEditDistance(std::string(255, 'a'), std::string(255, 'b')), 255);
    EXPECT_EQ(GetEditDistance(std::string(254, 'a'), std::string(254, 'b')), 254);
    EXPECT_EQ(GetEditDistance(std::string(255, 'a'), "a"), 255);
}
