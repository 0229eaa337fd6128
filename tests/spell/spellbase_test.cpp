// The component's word services and user-dictionary management over small
// compiled dictionaries in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "platform/rtl/sysutils.h"
#include "spell/lx3spellbase.h"
#include "spell/lx3stringparser.h"
#include "tests/spell/spell_support.h"

using namespace spell;
using spelltest::TempDir;

namespace {

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool listed(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

class SpellBase : public ::testing::Test {
protected:
    void SetUp() override {
        spelltest::writeLxm(dir.path("English.lxm"),
                            {"Paris", "cat", "dog", "form", "fro", "from", "house", "the", "their", "then", "there"},
                            0x0809);
        spell = std::make_unique<TLexiroSpell3Base>();
        spell->WriteConfigStorage(csNone);
        spell->WriteConfigDictionaryDir({dir.dir()});
        spell->WriteDefaultMain({"English.lxm"});
        spell->WriteDefaultActiveCustom(dir.path("user.lxu"));
        spell->WriteSuggestionsDictFN(dir.path("learned.lxl"));
        spell->WriteDefaultOptions({});
        spell->Configuration().EnsureLoaded();
    }
    void setOptions(TSpellOptions options) { spell->Configuration().WriteSpellOptions(options); }

    TempDir dir;
    std::unique_ptr<TLexiroSpell3Base> spell;
};

}  // namespace

TEST_F(SpellBase, AcceptableWordsByCaseFormAndNumber) {
    struct Case {
        const char* word;
        bool acceptable;
    } cases[] = {
        {"house", true},
        {"House", true},     // capitalised: its first letter lowered
        {"HOUSE", true},     // all capitals: lowered whole
        {"HoUSE", false},    // mixed inside: only the first letter lowered
        {"Paris", true},
        {"PARIS", false},    // "paris" is not a word of the dictionary
        {"dog's", true},     // possessives of an English dictionary's words
        {"Dog's", true},
        {"dog\x92s", true},
        {"dog'S", true},
        {"dogs's", false},
        {"teh", false},
        {"x", true},         // one character
        {"3.14", true},      // decimal numerals
        {"42", true},
        {"inf", false},      // not numbers
        {"nan", false},
        {"0x1F", false},
        {"NASA", false},     // no filters switched on
    };
    for (const auto& c : cases) EXPECT_EQ(spell->WordAcceptable(c.word), c.acceptable) << c.word;
    EXPECT_TRUE(spell->EnglishLoaded());
    EXPECT_EQ(spell->ReadTextPrimaryLanguage(), 0x0809);
}

TEST_F(SpellBase, OptionsSwitchTheFilters) {
    const char* words[] = {"NASA", "abc1", "U.S.A.", "www.exmaple.com", "&amp"};
    for (const char* w : words) EXPECT_FALSE(spell->WordAcceptable(w)) << w;
    setOptions({soUpcase, soNumbers, soAbbreviations, soInternet, soHTML});
    for (const char* w : words) EXPECT_TRUE(spell->WordAcceptable(w)) << w;
    // The engine skips tags only while the HTML option is on.
    std::string text = "<b>teh</b>";
    TStringParser parser;
    parser.Initialize(text);
    spell->ParsingEngine().Initialize(&parser, ctAll);
    EXPECT_EQ(spell->ParsingEngine().NextWord(), "teh");
    setOptions({});
    parser.Initialize(text);
    spell->ParsingEngine().Initialize(&parser, ctAll);
    EXPECT_EQ(spell->ParsingEngine().NextWord(), "b");
}

TEST_F(SpellBase, ExcludedWordsAndCorrections) {
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    spell->ActiveCustomDictionary()->AddExclude("house");
    EXPECT_FALSE(spell->WordAcceptable("house"));
    spell->UseExcludeWords = false;
    EXPECT_TRUE(spell->WordAcceptable("house"));

    std::string correction;
    spell->InternalDictionary()->AddAutoCorrect("teh", "ten");
    EXPECT_TRUE(spell->WordHasCorrection("teh", correction));
    EXPECT_EQ(correction, "ten");
    spell->ActiveCustomDictionary()->AddAutoCorrect("teh", "the");  // the active dictionary comes first
    EXPECT_TRUE(spell->WordHasCorrection("teh", correction));
    EXPECT_EQ(correction, "the");

    // Two capitals at the start: only with the option, only before lower case.
    EXPECT_FALSE(spell->WordHasCorrection("HOuse", correction));
    setOptions({soDUalCaps});
    EXPECT_TRUE(spell->WordHasCorrection("HOuse", correction));
    EXPECT_EQ(correction, "House");
    EXPECT_FALSE(spell->WordHasCorrection("HO", correction));
    EXPECT_FALSE(spell->WordHasCorrection("HOUse", correction));
    EXPECT_FALSE(spell->WordHasCorrection("XYzzy", correction));  // the lowered form is no word either
}

TEST_F(SpellBase, SuggestionsAreScoredAndLearned) {
    std::vector<std::string> list;
    spell->Suggest("thier", list);
    EXPECT_EQ(list, (std::vector<std::string>{"their", "there"}));  // a swap comes before two edits
    spell->MaxSuggestions = 0;
    spell->Suggest("thier", list);
    EXPECT_TRUE(list.empty());
    spell->MaxSuggestions = 1;
    spell->Suggest("thier", list);
    EXPECT_EQ(list, std::vector<std::string>{"their"});
    spell->MaxSuggestions = -1;
    // The user chose "there" before: it leads although "their" is nearer.
    spell->LearnSuggestion("thier", "then");
    spell->LearnSuggestion("thier", "there");  // the later choice replaces the earlier
    spell->Suggest("thier", list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "there");
    // The learned file keeps it.
    spell->UnloadDictionaries();
    TCustomDictionary learned;
    learned.WriteFilename(dir.path("learned.lxl"));
    std::string replacement;
    EXPECT_TRUE(learned.AutoCorrectExists("thier", replacement));
    EXPECT_EQ(replacement, "there");
}

TEST_F(SpellBase, MainDictionariesAreReorderedByUse) {
    spelltest::writeLxm(dir.path("French.lxm"), {"chat", "maison"}, 0x040C);
    spell->Configuration().ReadMainDictionaries().Assign({"French.lxm", "English.lxm"});
    ASSERT_EQ(spell->MainDictionaries().size(), 2u);
    spell->OptimizeMainDictionaryOrder();
    EXPECT_EQ(spell->ReadTextPrimaryLanguage(), 0x040C);
    EXPECT_TRUE(spell->ParsingEngine().FrenchExceptions());
    for (const char* w : {"house", "cat", "dog"}) EXPECT_TRUE(spell->WordExists(w));
    spell->OptimizeMainDictionaryOrder();
    EXPECT_EQ(spell->ReadTextPrimaryLanguage(), 0x0809);
    EXPECT_FALSE(spell->ParsingEngine().FrenchExceptions());
}

TEST_F(SpellBase, UserDictionariesAreCreatedRenamedAndRemoved) {
    ASSERT_TRUE(spell->CreateNewCustomDictionary("extra.txt"));  // the extension becomes ".lxu"
    EXPECT_TRUE(exists(dir.path("extra.lxu")));
    EXPECT_TRUE(listed(spell->ReadAvailableCustom(), "extra.lxu"));
    EXPECT_TRUE(listed(spell->Configuration().ReadCustomDictionaries().Items(), "extra.lxu"));

    // An enabled dictionary's words count.
    {
        TCustomDictionary extra;
        extra.WriteFilename(dir.path("extra.lxu"));
        extra.AddIgnore("zorp");
        ASSERT_TRUE(extra.Save());
    }
    spell->FireConfigurationChanged(true);
    EXPECT_TRUE(spell->WordAcceptable("zorp"));

    // A name that is taken refuses the rename and changes nothing.
    ASSERT_TRUE(spell->CreateNewCustomDictionary("other"));
    EXPECT_FALSE(spell->RenameCustomDictionary("extra.lxu", "other"));
    EXPECT_TRUE(exists(dir.path("extra.lxu")));
    EXPECT_TRUE(listed(spell->Configuration().ReadCustomDictionaries().Items(), "extra.lxu"));

    ASSERT_TRUE(spell->RenameCustomDictionary("extra.lxu", "renamed"));
    EXPECT_FALSE(exists(dir.path("extra.lxu")));
    EXPECT_TRUE(exists(dir.path("renamed.lxu")));
    const auto& names = spell->Configuration().ReadCustomDictionaries().Items();
    EXPECT_TRUE(listed(names, "renamed.lxu"));
    EXPECT_FALSE(listed(names, "extra.lxu"));
    EXPECT_TRUE(spell->WordAcceptable("zorp"));  // its words came along

    EXPECT_TRUE(spell->RemoveCustomDictionary("renamed.lxu"));
    EXPECT_FALSE(exists(dir.path("renamed.lxu")));
    EXPECT_TRUE(exists(dir.path("other.lxu")));
    EXPECT_FALSE(listed(spell->Configuration().ReadCustomDictionaries().Items(), "renamed.lxu"));
    EXPECT_FALSE(spell->WordAcceptable("zorp"));
}

TEST_F(SpellBase, TheActiveDictionaryCanBeRenamed) {
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    spell->ActiveCustomDictionary()->AddIgnore("zorp");
    spell->UnloadDictionaries();
    ASSERT_TRUE(exists(dir.path("user.lxu")));
    ASSERT_TRUE(spell->RenameCustomDictionary("user.lxu", "mine"));
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    EXPECT_EQ(spell->ActiveCustomDictionary()->Filename(), dir.path("mine.lxu"));
    EXPECT_TRUE(spell->WordAcceptable("zorp"));
    spell->ActiveCustomDictionary()->AddIgnore("blick");
    spell->UnloadDictionaries();
    EXPECT_FALSE(exists(dir.path("user.lxu")));  // nothing writes the old name back
    TCustomDictionary mine;
    mine.WriteFilename(dir.path("mine.lxu"));
    EXPECT_TRUE(mine.IgnoreExists("zorp"));
    EXPECT_TRUE(mine.IgnoreExists("blick"));
}

// The active dictionary is configured by its path and listed by its name:
// removing it by that name lets it go for good.
TEST_F(SpellBase, RemovingTheActiveDictionaryLetsItGo) {
    ASSERT_TRUE(spell->CreateNewCustomDictionary("other"));
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    ASSERT_EQ(spell->ActiveCustomDictionary()->Filename(), dir.path("user.lxu"));
    spell->ActiveCustomDictionary()->AddIgnore("zorp");
    spell->UnloadDictionaries();
    ASSERT_TRUE(spell->WordAcceptable("zorp"));
    ASSERT_TRUE(listed(spell->ReadAvailableCustom(), "user.lxu"));

    EXPECT_TRUE(spell->RemoveCustomDictionary("user.lxu"));
    EXPECT_FALSE(exists(dir.path("user.lxu")));
    EXPECT_NE(rtl::ExtractFileName(spell->Configuration().ReadActiveCustom()), "user.lxu");
    EXPECT_FALSE(spell->WordAcceptable("zorp")) << "its words went with it";
    EXPECT_FALSE(listed(spell->ReadAvailableCustom(), "user.lxu"));
    // What the user adds next goes to the new active dictionary, never to a
    // file brought back.
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    EXPECT_EQ(spell->ActiveCustomDictionary()->Filename(), dir.path("other.lxu"));
    spell->ActiveCustomDictionary()->AddIgnore("blick");
    spell->UnloadDictionaries();
    EXPECT_FALSE(exists(dir.path("user.lxu")));
    EXPECT_TRUE(exists(dir.path("other.lxu")));
}

TEST_F(SpellBase, PlainWordListsServeAsDictionaries) {
    spelltest::writeFile(dir.path("words.dic"), "zorp\r\nblick\n");
    spell->EnableWordDictionary(dir.path("missing.dic"), true);
    EXPECT_EQ(spell->Configuration().ReadMSWordCustomDictionaries().Count(), 0);
    spell->EnableWordDictionary(dir.path("words.dic"), true);
    EXPECT_TRUE(spell->WordAcceptable("zorp"));
    EXPECT_TRUE(spell->WordAcceptable("blick"));
    spell->EnableWordDictionary(dir.path("words.dic"), false);
    EXPECT_FALSE(spell->WordAcceptable("zorp"));
}

TEST_F(SpellBase, ARelativeFolderIsNeitherSearchedNorMade) {
    TempDir cwd;
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(cwd.dir());
    spell->WriteConfigDictionaryDir({"C:\\Program Files\\Dictionaries", dir.dir()});
    EXPECT_TRUE(spell->WordAcceptable("house"));
    EXPECT_TRUE(spell->CreateNewCustomDictionary("made"));
    EXPECT_TRUE(exists(dir.path("made.lxu")));
    EXPECT_TRUE(std::filesystem::is_empty(cwd.dir()));
    std::filesystem::current_path(old);
}

TEST_F(SpellBase, WindowsAndRelativePathsMakeNoFoldersOrFiles) {
    const std::string work = dir.path("work");
    std::filesystem::create_directory(work);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(work);
    const char* names[] = {"C:/Users/me/user.lxu", "C:\\Users\\me\\user.lxu", "D:user.lxu",
                           "\\\\server\\share\\x.lxu", "relative/folder/x.lxu"};
    for (const char* name : names) {
        EXPECT_EQ(spell->GetCustomDictionary(name), nullptr) << name;
        spell->EnableCustomDictionary(name, true);
        EXPECT_EQ(spell->Configuration().ReadCustomDictionaries().IndexOf(name), -1) << name;
        // A new dictionary keeps only the file-name part of a name with "/".
        if (std::string_view(name).find('/') == std::string_view::npos)
            EXPECT_FALSE(spell->CreateNewCustomDictionary(name)) << name;
    }
    // A configuration file there is neither read nor given a folder.
    spell->WriteConfigFilename("C:/Lexiro/Spell.cfg");
    spell->WriteConfigStorage(csFile);
    spell->Configuration().EnsureLoaded();
    LXForceDirectories("relative/made");
    std::filesystem::current_path(before);
    EXPECT_TRUE(std::filesystem::is_empty(work));
    for (const auto& e : std::filesystem::directory_iterator(dir.dir())) {
        const std::string name = e.path().filename().string();
        EXPECT_EQ(name.find_first_of(":\\"), std::string::npos) << name;
    }
}
