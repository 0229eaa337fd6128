// The main dictionary reader over files the compiler writes, and over
// damaged ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "spell/lx3maindictionary.h"
#include "spell/lx3phoneticsmap.h"
#include "spell/lxformat.h"
#include "tests/spell/spell_support.h"
#include "tools/lxmcompile/lxmwriter.h"

using namespace spell;

namespace {

const std::vector<std::string> small = {"a",   "an",        "and",       "ant", "antelope", "antelopes",
                                        "be",  "bee",       "xylophone", "I",   "them",     "thumb",
                                        "thump", "thimble", "tomb"};

// Words with exactly Nodes nodes: two first letters, each with 223 second
// letters, and the rest as third letters spread over those (nothing folds).
std::vector<std::string> wordsForNodes(size_t nodes) {
    const size_t pairs = 2 * 223, words = nodes - 1 - 2 - pairs;
    std::vector<std::string> out;
    for (size_t i = 0; i < words; ++i) {
        const size_t pair = i % pairs, third = i / pairs;
        out.push_back(std::string{static_cast<char>('a' + pair / 223), static_cast<char>(0x21 + pair % 223),
                                  static_cast<char>(0x21 + third)});
    }
    return out;
}

}  // namespace

TEST(SpellMainDictionary, LooksUpWordsThroughTheTree) {
    spelltest::TempDir dir;
    const std::string name = dir.path("t.lxm");
    spelltest::writeLxm(name, small);
    TMainDictionary d;
    d.WriteFilename(name);
    ASSERT_EQ(d.Filename(), name);
    EXPECT_EQ(d.Title(), "Test");
    EXPECT_EQ(d.Language(), 0x0809);
    EXPECT_EQ(d.WordCount(), small.size());
    struct Case {
        const char* word;
        bool exists;
        int length;
    } cases[] = {
        {"", false, 0},          {"a", true, 1},          {"I", true, 1},
        {"b", false, 1},         {"q", false, 0},         {"an", true, 2},
        {"ant", true, 3},        {"antx", false, 3},      {"ante", false, 4},
        {"antel", false, 5},     // ends inside a node's extra characters
        {"antelop", false, 7},   // ends right after them
        {"antelope", true, 8},   {"antelopes", true, 9},  {"antelopesx", false, 9},
        {"antelxpe", false, 5},  {"xylophone", true, 9},  {"xylophon", false, 8},
        {"Ant", false, 0},       {"bee", true, 3},        {"bees", false, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(d.WordExists(c.word), c.exists) << c.word;
        EXPECT_EQ(d.WordLength(c.word), c.length) << c.word;
    }
    EXPECT_TRUE(d.Loaded());
    d.WriteLoaded(false);
    EXPECT_FALSE(d.Loaded());
    EXPECT_TRUE(d.WordExists("thimble"));  // loads again on demand
}

TEST(SpellMainDictionary, BothLinkageEncodingsAgreeWithTheOtherReader) {
    spelltest::TempDir dir;
    for (const size_t nodes : {size_t{65534}, size_t{65535}}) {
        const auto words = wordsForNodes(nodes);
        const std::string name = dir.path(std::to_string(nodes) + ".lxm");
        spelltest::writeLxm(name, words);
        TMainDictionary d;
        d.WriteFilename(name);
        ASSERT_EQ(d.Filename(), name);
        EXPECT_EQ(d.NodeCount(), nodes);
        for (const auto& w : words) ASSERT_TRUE(d.WordExists(w)) << nodes << " " << w;
        EXPECT_FALSE(d.WordExists("a!"));
        EXPECT_FALSE(d.WordExists(std::string("a\x21\x20", 3)));
        auto dumped = spelltest::pythonLines("lxmread.py", {name, "dump"});
        auto sorted = words;
        std::sort(sorted.begin(), sorted.end());
        std::sort(dumped.begin(), dumped.end());
        EXPECT_EQ(dumped, sorted) << nodes;
        EXPECT_EQ(spelltest::pythonLines("lxmread.py", {name, "check"}).size(), 1u);
    }
}

// Child lists are searched by halves (long ones) or stop past the
// character (short ones) only while every list ascends; a file whose lists
// come in another order is searched through.
TEST(SpellMainDictionary, ChildListsInAnyOrderAreSearched) {
    spelltest::TempDir dir;
    std::vector<std::string> words = {"ca", "cb", "cc"};
    for (char c = 'a'; c <= 'z'; ++c) {
        words.push_back(std::string("b") + c);
        words.push_back(std::string("qu") + c + "x");
    }
    const std::string name = dir.path("order.lxm");
    spelltest::writeLxm(name, words);
    const std::string ascending = spelltest::readFile(name);
    const auto le = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(ascending[at + i])) << (8 * i);
        return v;
    };
    const size_t counts = 1024 + 1 + 2 * 4 + 2 + 12;  // title "Test"
    size_t t9 = counts + 36;
    for (size_t k = 0; k < 9; ++k) t9 += le(counts + 4 * k, 4) * (k + 4);
    const size_t linkage = t9 + 4, letters = linkage + le(t9, 4);
    // The first two indexes of the lists under "b" (26) and "c" (3) change
    // places: 2 bytes each in a small dictionary.
    std::string shuffled = ascending;
    for (const auto& [letter, children] : {std::pair{'b', 26u}, std::pair{'c', 3u}}) {
        ASSERT_EQ(static_cast<unsigned char>(ascending[letters + 8 * letter + 1]), children);
        const auto list = static_cast<std::ptrdiff_t>(linkage + le(letters + 8 * letter + 4, 4));
        std::swap_ranges(shuffled.begin() + list, shuffled.begin() + list + 2, shuffled.begin() + list + 2);
    }
    for (const auto& [what, bytes] : {std::pair{"ascending", ascending}, std::pair{"shuffled", shuffled}}) {
        spelltest::writeFile(name, bytes);
        TMainDictionary d;
        d.WriteFilename(name);
        ASSERT_EQ(d.Filename(), name) << what;
        for (const auto& w : words) EXPECT_TRUE(d.WordExists(w)) << what << " " << w;
        for (const char* w : {"b`", "b{", "bA", "bz!", "c`", "cd", "qua", "qu`x", "qu{x"})
            EXPECT_FALSE(d.WordExists(w)) << what << " " << w;
    }
}

TEST(SpellMainDictionary, TheCompilerRefusesWhatTheLayoutCannotHold) {
    std::string bytes, error;
    lxmc::TLxmStats stats;
    struct Case {
        std::vector<std::string> words;
        std::string title;
    } cases[] = {
        {{"ok", std::string(257, 'x')}, "T"},
        {{"ok", std::string("a\0b", 3)}, "T"},
        {{"ok", ""}, "T"},
        {{"ok"}, std::string(256, 't')},
    };
    for (const auto& c : cases) {
        error.clear();
        EXPECT_FALSE(lxmc::BuildLxm(c.words, c.title, 9, bytes, stats, error));
        EXPECT_FALSE(error.empty());
    }
    // Over a million nodes: four-letter words over 34 letters each.
    std::vector<std::string> many;
    for (int i = 0; i < 34 * 34 * 34 * 34; ++i)
        many.push_back({static_cast<char>('A' + i % 34), static_cast<char>('A' + i / 34 % 34),
                        static_cast<char>('A' + i / 1156 % 34), static_cast<char>('A' + i / 39304)});
    EXPECT_FALSE(lxmc::BuildLxm(many, "T", 9, bytes, stats, error));
    EXPECT_NE(error.find("nodes"), std::string::npos) << error;
}

TEST(SpellMainDictionary, DamagedFilesAreNoDictionary) {
    spelltest::TempDir dir;
    const std::string good = dir.path("good.lxm");
    spelltest::writeLxm(good, small);
    const std::string bytes = spelltest::readFile(good);
    const auto at32 = [](std::string s, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
        return s;
    };
    const size_t counts = 1024 + 1 + 2 * 4 + 2 + 12;  // title "Test"
    const size_t nodes = counts + 36;
    size_t t9 = nodes;
    for (size_t k = 0; k < 9; ++k)
        t9 += (static_cast<unsigned char>(bytes[counts + 4 * k]) | static_cast<unsigned char>(bytes[counts + 4 * k + 1]) << 8) * (k + 4);
    struct Case {
        const char* what;
        std::string bytes;
        bool nameTaken;
    } cases[] = {
        {"1024 bytes", bytes.substr(0, 1024), false},
        {"banner", "X" + bytes.substr(1), false},
        {"header cut", bytes.substr(0, 1030), false},
        {"class count past the file", at32(bytes, counts + 4, 0x7FFFFFFF), false},
        {"more nodes than 20 bits", at32(bytes, counts, 0x100001), false},
        {"trailing block missing", bytes.substr(0, bytes.size() - 1), true},
        {"linkage size past the file", at32(bytes, t9, 0xFFFFFFF0), true},
        {"root's child reference past the nodes", at32(bytes, nodes, lxm::MakeNode(0, 0xFFFFE, 1, false)), true},
        {"root's linkage past the block", at32(bytes, nodes, lxm::MakeNode(0, 0xFFFF0, 3, false)), true},
    };
    for (const auto& c : cases) {
        const std::string name = dir.path("bad.lxm");
        spelltest::writeFile(name, c.bytes);
        TMainDictionary d;
        d.WriteFilename(name);
        EXPECT_EQ(d.Filename() == name, c.nameTaken) << c.what;
        for (const auto& w : small) EXPECT_FALSE(d.WordExists(w)) << c.what << " " << w;
        std::vector<std::string> got;
        TPhoneticsMap map;
        map.WriteLanguage(9);
        d.Suggest("thoom", map, got);
        EXPECT_TRUE(got.empty()) << c.what;
        EXPECT_FALSE(d.Loaded()) << c.what;
    }
}

TEST(SpellMainDictionary, AFailedLoadIsRememberedUntilTheNameIsSetAgain) {
    spelltest::TempDir dir;
    const std::string good = dir.path("good.lxm"), name = dir.path("d.lxm");
    spelltest::writeLxm(good, small);
    const std::string bytes = spelltest::readFile(good);
    spelltest::writeFile(name, bytes.substr(0, bytes.size() - 10));
    TMainDictionary d;
    d.WriteFilename(name);
    ASSERT_EQ(d.Filename(), name);
    EXPECT_FALSE(d.WordExists("bee"));
    EXPECT_TRUE(d.LoadFailed());
    spelltest::writeFile(name, bytes);  // mended, but not looked at again by lookups
    EXPECT_FALSE(d.WordExists("bee"));
    d.WriteFilename(name);
    EXPECT_TRUE(d.WordExists("bee"));
    EXPECT_FALSE(d.LoadFailed());
}

TEST(SpellMainDictionary, PhoneticSearch) {
    spelltest::TempDir dir;
    std::vector<std::string> words = small;
    // 780 words that all sound like "ba".
    std::vector<std::string> vowels{""};
    for (int len = 1; len <= 4; ++len) {
        std::vector<std::string> next;
        for (const auto& v : vowels)
            if (v.size() == static_cast<size_t>(len - 1))
                for (const char c : std::string("aeiou")) next.push_back(v + c);
        vowels.insert(vowels.end(), next.begin(), next.end());
    }
    for (const auto& v : vowels)
        if (!v.empty()) words.push_back("ba" + v);
    const std::string name = dir.path("p.lxm");
    spelltest::writeLxm(name, words);
    TMainDictionary d;
    d.WriteFilename(name);
    TPhoneticsMap map;
    map.WriteLanguage(0x0809);
    struct Case {
        const char* word;
        int depth;
        std::vector<std::string> expect;
    } cases[] = {
        {"thoom", 2, {"them"}},              // same start, same sound
        {"thumm", 2, {"them"}},              // thumb, thump sound longer
        {"tumb", 2, {}},                     // "tomb" starts differently
        {"xylofone", 3, {"xylophone"}},      // the prefix ends inside a node's extra characters
        {"a", 2, {}},                        // a code of one character
        {"zz", 2, {}},                       // a prefix outside the tree
    };
    for (const auto& c : cases) {
        map.WriteStartDepth(c.depth);
        std::vector<std::string> got;
        d.Suggest(c.word, map, got);
        EXPECT_EQ(got, c.expect) << c.word;
    }
    map.WriteStartDepth(2);
    std::vector<std::string> got{"BAA"};  // already there, in another case
    d.Suggest("bae", map, got);
    EXPECT_EQ(got.size(), TMainDictionary::MaxPhoneticCandidates + 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), "baa"), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), "bae"), 1);
}
