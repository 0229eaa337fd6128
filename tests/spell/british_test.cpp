// The British dictionary the build compiles: every word of its list is in
// it, codespell's misspellings are not, and the other reader agrees.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "spell/lx3maindictionary.h"
#include "spell/lxcodepage.h"
#include "tests/spell/spell_support.h"

using namespace spell;

namespace {

std::vector<std::string> lines(const std::string& name) {
    std::ifstream in(name);
    EXPECT_TRUE(in) << name << " is missing (tools/deps.sh installs it)";
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);)
        if (!l.empty()) out.push_back(l);
    return out;
}

bool possessive(const std::string& w) { return w.size() > 2 && w.compare(w.size() - 2, 2, "'s") == 0; }

// The source lists' words in Windows-1252: the British list and our own
// accented and computing words.
std::vector<std::string> listWords() {
    std::vector<std::string> out;
    std::string w;
    for (const char* list : {WORDLIST, LXM_ACCENTED, LXM_COMPUTING})
        for (const auto& l : lines(list)) {
            EXPECT_TRUE(Cp1252FromUtf8(l, w)) << l;
            out.push_back(w);
        }
    return out;
}

struct BritishTest : ::testing::Test {
    TMainDictionary dict;
    BritishTest() { dict.WriteFilename(BRITISH_LXM); }
};

}  // namespace

TEST_F(BritishTest, HoldsEveryWordOfItsLists) {
    ASSERT_EQ(dict.Filename(), BRITISH_LXM);
    EXPECT_EQ(dict.Title(), "British English");
    EXPECT_EQ(dict.Language(), 0x0809);
    const auto words = listWords();
    ASSERT_GT(words.size(), 160000u);
    size_t missing = 0;
    for (const auto& w : words) {
        // A possessive of a stem the dictionary holds is the component's
        // business (it accepts it through the stem).
        const bool held = dict.WordExists(w) || (possessive(w) && dict.WordExists(w.substr(0, w.size() - 2)));
        if (!held && ++missing <= 10) ADD_FAILURE() << "missing: " << w;
    }
    EXPECT_EQ(missing, 0u);
    EXPECT_FALSE(dict.WordExists("colour's"));
}

TEST_F(BritishTest, SpellingsBritishWritersUse) {
    struct Case {
        const char* word;  // UTF-8
        bool held;
    } cases[] = {
        {"organisation", true}, {"organization", true},  // -ise and -ize both
        {"recognised", true},   {"recognized", true},
        {"colourise", true},    {"colorize", false},      // no other American spelling
        {"colour", true},       {"color", false},
        {"analyse", true},      {"analyze", false},
        {"filename", true},     {"timeout", true},        {"metadata", true},
        {"behaviours", true},   {"jurisdictions", true},  {"invariants", true},
        {"naïve", true},        {"façade", true},         {"rôle", true},  {"café", true},
        {"esophagus's", true},  {"wishlist's", true},    // possessives whose stem is not listed
    };
    std::string w;
    for (const auto& c : cases) {
        ASSERT_TRUE(Cp1252FromUtf8(c.word, w)) << c.word;
        EXPECT_EQ(dict.WordExists(w), c.held) << c.word;
    }
}

TEST_F(BritishTest, RejectsCodespellsMisspellings) {
    std::set<std::string> known;
    for (const auto& w : listWords()) known.insert(w);
    size_t checked = 0, accepted = 0;
    std::string w;
    for (const auto& l : lines(CODESPELL_DICTIONARY)) {
        const size_t arrow = l.find("->");
        if (arrow == std::string::npos || !Cp1252FromUtf8(l.substr(0, arrow), w) || known.count(w)) continue;
        // The -ize spelling of a listed -ise word is British too ("digitalize").
        std::string ise = w;
        for (size_t at = ise.find("iz"); at != std::string::npos; at = ise.find("iz", at + 2)) ise[at + 1] = 's';
        if (ise != w && known.count(ise)) continue;
        ++checked;
        if (dict.WordExists(w) && ++accepted <= 10) ADD_FAILURE() << "accepted: " << w;
    }
    EXPECT_GT(checked, 30000u);
    EXPECT_EQ(accepted, 0u);
}

TEST_F(BritishTest, TheOtherReaderAgreesOnASample) {
    spelltest::TempDir dir;
    std::vector<std::string> sample;
    const auto words = listWords();
    for (size_t i = 0; i < words.size(); i += 97) {
        const std::string& w = words[i];
        sample.push_back(w);
        sample.push_back(w.substr(0, w.size() / 2 + 1));  // prefixes end anywhere in a node
        sample.push_back(w + "q");
        sample.push_back(w.size() > 3 ? w.substr(0, 2) + w.substr(3) : w + "s");
    }
    std::string text;
    for (const auto& s : sample) text += s + "\n";
    spelltest::writeFile(dir.path("sample"), text);
    const auto theirs = spelltest::pythonLines("lxmread.py", {BRITISH_LXM, "lookup", dir.path("sample")});
    ASSERT_EQ(theirs.size(), sample.size());
    size_t present = 0;
    for (size_t i = 0; i < sample.size(); ++i) {
        const bool exists = dict.WordExists(sample[i]);
        present += exists;
        EXPECT_EQ(std::to_string(exists) + " " + std::to_string(dict.WordLength(sample[i])), theirs[i]) << sample[i];
    }
    EXPECT_GT(present, sample.size() / 4);  // a sample of both answers
    EXPECT_EQ(spelltest::pythonLines("lxmread.py", {BRITISH_LXM, "check"}).size(), 1u);
}
