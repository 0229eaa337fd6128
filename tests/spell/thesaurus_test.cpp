// The thesaurus reader over files the compiler writes and over damaged
// ones, and the thesaurus the build compiles, held against the MyThes data
// and against the second reader in lxtread.py.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "spell/lx3thesaurusfile.h"
#include "spell/lxformat.h"
#include "tests/spell/spell_support.h"
#include "tools/lxtcompile/lxtwriter.h"

using namespace spell;
using lxtc::TLxtEntry;

namespace {

const lxtc::TKindNames kinds = {"general", "noun", "verb", "adjective", "adverb"};

// change and alter share words; xylophone's only path is a tail from its
// first letter; "I" is listed but only "i" is a headword; "modification"
// is listed only.
const std::vector<TLxtEntry> small = {
    {"change", {{"alteration", "modification"}, {"alter", "modify"}, {}, {}}},
    {"alter", {{}, {"change", "modify", "vary"}, {}, {}}},
    {"quick", {{}, {}, {"fast", "speedy"}, {"quickly"}}},
    {"xylophone", {{"marimba"}, {}, {}, {}}},
    {"i", {{"one", "ace"}, {}, {}, {}}},
    {"one", {{"I", "ace", "unity"}, {}, {}, {}}},
};

std::string build(const std::vector<TLxtEntry>& entries) {
    std::string bytes, error;
    lxtc::TLxtStats stats;
    EXPECT_TRUE(lxtc::BuildLxt(entries, "Test", kinds, bytes, stats, error)) << error;
    return bytes;
}

std::string join(const std::vector<std::string>& words, const char* by) {
    std::string out;
    for (const auto& w : words) out += (out.empty() ? "" : by) + w;
    return out;
}

// "context/kind/kind name/list 1/list 2/list 3/list 4", one per context.
std::vector<std::string> contexts(const TThesaurusFile& t) {
    std::vector<std::string> out;
    for (const auto& c : t.Contexts()) {
        std::string s = c.ContextWord + "/" + std::to_string(c.ContextKind) + "/" + c.KindName;
        for (const auto& l : c.Lists) s += "/" + join(l, ",");
        out.push_back(s);
    }
    return out;
}

uint32_t le(const std::string& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

void patch(std::string& b, size_t at, uint32_t v, int width) {
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// Where the sections of a file's bytes begin, and where a node's fields are.
struct Layout {
    size_t nodeCountAt = 0, linkSizeAt = 0, masterCountAt = 0, indexSizeAt = 0;
    uint32_t nodes = 0;
    explicit Layout(const std::string& b) {
        size_t p = lxt::HeaderBytes;
        for (int i = 0; i < 1 + lxt::Kinds; ++i) p += 1 + static_cast<unsigned char>(b[p]);
        nodeCountAt = p;
        nodes = le(b, p, 4);
        linkSizeAt = p + 4 + 4 * size_t{nodes};
        masterCountAt = linkSizeAt + 4 + le(b, linkSizeAt, 4);
        indexSizeAt = masterCountAt + 2 + lxt::MasterBytes * le(b, masterCountAt, 2);
    }
    uint32_t word(const std::string& b, uint32_t n) const { return le(b, nodeCountAt + 4 + 4 * size_t{n}, 4); }
    size_t record(const std::string& b, uint32_t n) const { return linkSizeAt + 4 + lxt::NodeOffset(word(b, n)); }
    size_t childrenBytes(const std::string& b, uint32_t n) const {
        return word(b, n) & lxt::OneChild ? 2 : 1 + 2 * static_cast<unsigned char>(b[record(b, n)]);
    }
    size_t parentAt(const std::string& b, uint32_t n) const { return record(b, n) + childrenBytes(b, n); }
    // The first node whose word has all of Flags.
    uint32_t find(const std::string& b, uint32_t flags) const {
        return find([&](uint32_t n) { return (word(b, n) & flags) == flags; });
    }
    uint32_t find(const std::function<bool(uint32_t)>& fits) const {
        for (uint32_t n = 1; n < nodes; ++n)
            if (fits(n)) return n;
        ADD_FAILURE() << "no such node";
        return 0;
    }
};

struct SmallThesaurus : ::testing::Test {
    spelltest::TempDir dir;
    std::string name = dir.path("t.lxt");
    TThesaurusFile t;
    SmallThesaurus() {
        spelltest::writeFile(name, build(small));
        t.WriteFilename(name);
    }
};

}  // namespace

TEST_F(SmallThesaurus, LooksUpHeadwordsWithTheCaseOfTheWordAskedFor) {
    const std::string change1 = "/1/noun/alteration,modification/alter,modify//";
    const std::string change2 = "/2/verb/alteration,modification/alter,modify//";
    struct Case {
        const char* word;
        std::vector<std::string> contexts;
    } cases[] = {
        {"change", {"change" + change1, "change" + change2}},
        {"Change", {"Change/1/noun/Alteration,Modification/Alter,Modify//", "Change/2/verb/Alteration,Modification/Alter,Modify//"}},
        {"CHANGE", {"CHANGE/1/noun/ALTERATION,MODIFICATION/ALTER,MODIFY//", "CHANGE/2/verb/ALTERATION,MODIFICATION/ALTER,MODIFY//"}},
        {"alter", {"alter/2/verb//change,modify,vary//"}},
        {"quick", {"quick/3/adjective///fast,speedy/quickly", "quick/4/adverb///fast,speedy/quickly"}},
        {"xylophone", {"xylophone/1/noun/marimba///"}},
        {"Xylophone", {"Xylophone/1/noun/Marimba///"}},
        // "I" is in the tree but names no entry: the lower-case headword answers.
        {"I", {"I/1/noun/ONE,ACE///"}},
        {"one", {"one/1/noun/I,ace,unity///"}},
        {"chang", {}},       // a prefix that ends no word
        {"changes", {}},     // past a word's end
        {"xylo", {}},        // inside a tail
        {"xylophon", {}},
        {"xylophones", {}},  // past a tail
        {"xylophonf", {}},
        {"modification", {}},  // listed only
        {"cHANGE", {"change" + change1, "change" + change2}},  // found in lower case, kept so
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(t.LookupWord(c.word), !c.contexts.empty()) << c.word;
        EXPECT_EQ(contexts(t), c.contexts) << c.word;
        EXPECT_EQ(t.LastWord(), c.word);
    }
    EXPECT_EQ(t.ThesaurusName(), "Test");
    for (int k = 0; k < lxt::Kinds; ++k) EXPECT_EQ(t.KindName(k), kinds[k]);
}

TEST_F(SmallThesaurus, PrefixesAndListedWordsAsThePartsOfTheTreeSeeThem) {
    ASSERT_TRUE(t.LookupWord("change"));
    EXPECT_NE(t.PLookup("modification"), TThesaurusFile::NotFound);
    EXPECT_EQ(t.PLookup("modificatio"), TThesaurusFile::NotFound);
    EXPECT_EQ(t.PLookup("Change"), TThesaurusFile::NotFound);
    const int x = t.PLookup("xylophone");
    ASSERT_NE(x, TThesaurusFile::NotFound);
    EXPECT_EQ(t.GetWord(static_cast<uint16_t>(x)), "xylophone");
    EXPECT_EQ(t.GetWord(static_cast<uint16_t>(t.PLookup("quickly"))), "quickly");
}

TEST_F(SmallThesaurus, CaseChangesCanBeTurnedOff) {
    t.AllowCaseChanges = false;
    EXPECT_FALSE(t.LookupWord("Change"));
    EXPECT_TRUE(t.Contexts().empty());
    EXPECT_TRUE(t.LookupWord("change"));
}

TEST_F(SmallThesaurus, ANewNameTakesEffectWhenTheFileIsLoadedNext) {
    EXPECT_FALSE(t.Loaded());
    ASSERT_TRUE(t.LookupWord("change"));  // loads on demand
    EXPECT_TRUE(t.Loaded());

    t.WriteFilename(dir.path("missing.lxt"));
    EXPECT_EQ(t.Filename(), name);

    const std::string other = dir.path("other.lxt");
    spelltest::writeFile(other, build({{"swift", {{}, {}, {"fast"}, {}}}}));
    t.WriteFilename(other);
    EXPECT_EQ(t.Filename(), other);
    EXPECT_TRUE(t.Loaded());
    EXPECT_TRUE(t.LookupWord("change"));  // the loaded data stays until unloaded
    t.WriteLoaded(false);
    EXPECT_FALSE(t.Loaded());
    EXPECT_FALSE(t.LookupWord("change"));
    EXPECT_TRUE(t.LookupWord("swift"));
}

TEST(SpellThesaurus, DamagedFilesAreNotLoaded) {
    const std::string good = build(small);
    const Layout at(good);
    // A node with a parent and a grandparent.
    const uint32_t parented = at.find([&](uint32_t n) {
        return (at.word(good, n) & lxt::HasParent) &&
               (at.word(good, le(good, at.parentAt(good, n), 2)) & lxt::HasParent);
    });
    // A node whose single child can be pointed back at itself.
    const uint32_t single = at.find(good, lxt::OneChild);
    const size_t firstChildOfRoot = at.record(good, 0) + 1;
    const size_t firstMaster = at.masterCountAt + 2;
    struct Case {
        const char* what;
        std::function<void(std::string&)> change;
    } cases[] = {
        {"nothing changed", [](std::string&) {}},
        {"cut in the header", [](std::string& b) { b.resize(100); }},
        {"cut in the names", [](std::string& b) { b.resize(lxt::HeaderBytes + 3); }},
        {"cut in the node table", [&](std::string& b) { b.resize(at.nodeCountAt + 9); }},
        {"cut in the link data", [&](std::string& b) { b.resize(at.linkSizeAt + 10); }},
        {"cut in the master table", [&](std::string& b) { b.resize(at.masterCountAt + 5); }},
        {"cut in the index data", [](std::string& b) { b.pop_back(); }},
        {"no nodes", [&](std::string& b) { patch(b, at.nodeCountAt, 0, 4); }},
        {"more nodes than 16 bits number", [&](std::string& b) { patch(b, at.nodeCountAt, 0x10001, 4); }},
        {"node count past 4 GiB of table", [&](std::string& b) { patch(b, at.nodeCountAt, 0xFFFFFFFF, 4); }},
        {"link size past the end", [&](std::string& b) { patch(b, at.linkSizeAt, 0xFFFFFFF0, 4); }},
        {"index size past the end", [&](std::string& b) { patch(b, at.indexSizeAt, 0xFFFFFFFF, 4); }},
        {"a record past the link data",
         [&](std::string& b) { patch(b, at.nodeCountAt + 4 + 4 * size_t{parented}, at.word(b, parented) | 0xFFFFF, 4); }},
        {"a child past the nodes", [&](std::string& b) { patch(b, firstChildOfRoot, at.nodes, 2); }},
        {"a parent past the nodes", [&](std::string& b) { patch(b, at.parentAt(b, parented), 0xFFFF, 2); }},
        {"a parent that is the node", [&](std::string& b) { patch(b, at.parentAt(b, parented), parented, 2); }},
        {"two nodes each other's parent",
         [&](std::string& b) {
             patch(b, at.parentAt(b, le(b, at.parentAt(b, parented), 2)), parented, 2);
         }},
        {"a single child that is the node", [&](std::string& b) { patch(b, at.record(b, single), single, 2); }},
        {"a link past the entries",
         [&](std::string& b) {
             const uint32_t n = at.find(b, lxt::EndsWord);
             const size_t links = at.parentAt(b, n) + (at.word(b, n) & lxt::HasParent ? 2 : 0);
             patch(b, links, 1, 1);
             patch(b, links + 1, 0xFFFF, 2);
         }},
        {"a headword past the nodes", [&](std::string& b) { patch(b, firstMaster, 0xFFFF, 2); }},
        {"a list past the index data", [&](std::string& b) { patch(b, firstMaster + 2, 0xFFFF, 2); }},
        {"a list offset past the index data", [&](std::string& b) { patch(b, firstMaster + 10, 0xFFFFFFFF, 4); }},
        {"a listed node past the nodes", [&](std::string& b) { patch(b, at.indexSizeAt + 4, 0xFFFF, 2); }},
    };
    spelltest::TempDir dir;
    for (const auto& c : cases) {
        std::string bytes = good;
        c.change(bytes);
        const std::string name = dir.path("d.lxt");
        spelltest::writeFile(name, bytes);
        TThesaurusFile t;
        t.WriteFilename(name);
        const bool intact = std::string(c.what) == "nothing changed";
        EXPECT_EQ(t.LookupWord("change"), intact) << c.what;
        EXPECT_EQ(t.LookupWord("xylophone"), intact) << c.what;
        EXPECT_EQ(t.Loaded(), intact) << c.what;
        EXPECT_EQ(t.PLookup("alter") != TThesaurusFile::NotFound, intact) << c.what;
    }
}

TEST(SpellThesaurus, TheCompilerRefusesWhatTheLayoutCannotHold) {
    const auto manyEntries = [](size_t n) {
        std::vector<TLxtEntry> e(n);
        for (size_t i = 0; i < n; ++i) e[i] = {"w" + std::to_string(i), {{"s"}, {}, {}, {}}};
        return e;
    };
    std::vector<TLxtEntry> manyWords(2);
    for (size_t i = 0; i < 70000; ++i) manyWords[i % 2].Lists[0].push_back(std::to_string(i));
    manyWords[0].Headword = "a";
    manyWords[1].Headword = "b";
    std::vector<TLxtEntry> sameHeadword(64, TLxtEntry{"same", {{"a"}, {"b"}, {"c"}, {"d"}}});
    struct Case {
        const char* what;
        std::vector<TLxtEntry> entries;
        std::string name;
        const char* error;  // nullptr: accepted
    } cases[] = {
        {"13,107 entries", manyEntries(13107), "T", nullptr},
        {"13,108 entries", manyEntries(13108), "T", "16-bit links"},
        {"70,000 words", manyWords, "T", "nodes"},
        {"255 links on a word", std::vector<TLxtEntry>(sameHeadword.begin(), sameHeadword.end() - 1) , "T", nullptr},
        {"256 links on a word", sameHeadword, "T", "more than 255 links"},
        {"an empty word", {{"a", {{""}, {}, {}, {}}}}, "T", "empty word"},
        {"a word of 256 bytes", {{"a", {{std::string(256, 'x')}, {}, {}, {}}}}, "T", "longer than 255"},
        {"a name of 256 bytes", {{"a", {{"b"}, {}, {}, {}}}}, std::string(256, 'n'), "name"},
    };
    // 255 links: 63 entries with 4 each plus one with 3.
    cases[3].entries.push_back({"same", {{"a"}, {"b"}, {"c"}, {}}});
    for (const auto& c : cases) {
        std::string bytes, error;
        lxtc::TLxtStats stats;
        const bool built = lxtc::BuildLxt(c.entries, c.name, kinds, bytes, stats, error);
        if (!c.error) {
            EXPECT_TRUE(built) << c.what << ": " << error;
            continue;
        }
        EXPECT_FALSE(built) << c.what;
        EXPECT_TRUE(bytes.empty()) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
}

TEST(SpellThesaurus, TheLastOfThirteenThousandEntriesIsReachable) {
    std::vector<TLxtEntry> entries(13107);
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = {"w" + std::to_string(i), {{}, {}, {}, {"s" + std::to_string(i % 7)}}};
    spelltest::TempDir dir;
    spelltest::writeFile(dir.path("big.lxt"), build(entries));
    TThesaurusFile t;
    t.WriteFilename(dir.path("big.lxt"));
    ASSERT_TRUE(t.LookupWord("w13106"));
    EXPECT_EQ(contexts(t), std::vector<std::string>{"w13106/4/adverb////s2"});
}

// The thesaurus the build compiles.
struct SyntaroTest : ::testing::Test {
    TThesaurusFile t;
    SyntaroTest() { t.WriteFilename(SYNTARO_LXT); }
};

// A headword shows its own MyThes meanings apart, in the data's order: each
// a list it is in, shared with the other words of that meaning, shown as one
// of its words.
TEST_F(SyntaroTest, HeadwordsShowTheirMyThesMeaningsApart) {
    ASSERT_EQ(t.Filename(), SYNTARO_LXT);
    t.AllowCaseChanges = false;
    using Words = std::set<std::string>;
    std::map<std::string, std::vector<std::pair<int, Words>>> byHeadword;
    for (const auto& line : spelltest::pythonLines("lxtread.py", {"mythes", LXT_SOURCE})) {
        const size_t tab = line.find('\t'), tab2 = line.find('\t', tab + 1);
        std::vector<std::string> words;
        for (size_t at = tab2 + 1;;) {
            const size_t bar = line.find('|', at);
            words.push_back(line.substr(at, bar - at));
            if (bar == std::string::npos) break;
            at = bar + 1;
        }
        byHeadword[line.substr(0, tab)].emplace_back(std::stoi(line.substr(tab + 1, tab2 - tab - 1)),
                                                     Words(words.begin(), words.end()));
    }
    ASSERT_GT(byHeadword.size(), 50000u);
    size_t mismatches = 0;
    for (const auto& [head, meanings] : byHeadword) {
        if (!t.LookupWord(head)) continue;
        size_t next = 0;  // meanings come in the data's order
        for (const auto& c : t.Contexts()) {
            const auto& list = c.Lists[c.ContextKind - 1];
            const Words words(list.begin(), list.end());
            size_t at = next;
            while (at < meanings.size() && !(meanings[at].first == c.ContextKind && meanings[at].second == words)) ++at;
            if ((at == meanings.size() || !words.count(c.ContextWord)) && ++mismatches <= 5)
                ADD_FAILURE() << head << ": " << c.ContextWord << " " << c.ContextKind << " " << join(list, "|");
            next = at + 1;
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// Chosen by how common words are, not by how many meanings they have:
// everyday words are there, and their meanings are kept apart.
TEST_F(SyntaroTest, EverydayWordsAreFound) {
    for (const char* w : {"money", "wife", "dinner", "talking", "days", "tomorrow", "heard", "good", "house",
                          "thanks", "meeting", "send", "question", "birthday", "hotel", "computer", "kitchen"})
        EXPECT_TRUE(t.LookupWord(w)) << w;
    ASSERT_TRUE(t.LookupWord("change"));
    int nouns = 0;
    for (const auto& c : t.Contexts()) nouns += c.ContextKind == 1;
    EXPECT_GE(nouns, 3) << "the noun meanings of change are one list";
    // Rare words with many meanings do not crowd them out.
    EXPECT_FALSE(t.LookupWord("sheepwalk"));
}

TEST_F(SyntaroTest, TheOtherReaderAgreesOnEveryWord) {
    t.AllowCaseChanges = false;  // each word as the file holds it
    t.WriteLoaded(true);
    const auto theirs = spelltest::pythonLines("lxtread.py", {SYNTARO_LXT, "dump"});
    ASSERT_GT(theirs.size(), 20000u);
    size_t mismatches = 0;
    for (const auto& line : theirs) {
        const std::string word = line.substr(0, line.find('\t'));
        ASSERT_NE(t.PLookup(word), TThesaurusFile::NotFound) << word;
        t.LookupWord(word);
        std::string ours = word;
        for (const auto& c : t.Contexts()) {
            ours += "\t" + c.ContextWord + "\x1f" + std::to_string(c.ContextKind) + "\x1f" + c.KindName;
            for (const auto& l : c.Lists) ours += "\x1f" + join(l, "|");
        }
        if (ours != line && ++mismatches <= 5) ADD_FAILURE() << "ours:   " << ours << "\ntheirs: " << line;
    }
    EXPECT_EQ(mismatches, 0u);
    // The writer keeps the layout's unwritten promises; the name and
    // counts follow.
    const auto checked = spelltest::pythonLines("lxtread.py", {SYNTARO_LXT, "check"});
    ASSERT_EQ(checked.size(), 1u);
    EXPECT_EQ(checked[0].rfind("English ", 0), 0u) << checked[0];
    EXPECT_EQ(checked[0].substr(checked[0].rfind(' ') + 1), std::to_string(theirs.size()));
}
