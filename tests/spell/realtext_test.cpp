// What a writer meets in real mail: typographic apostrophes, capitalised
// misspellings, hyphenated compounds, file paths, and dictionary files that
// are damaged, cannot be written or are no files at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>

#include "spell/lx3spellbase.h"
#include "spell/lx3stringparser.h"
#include "spell/lxcase.h"
#include "spell/lxcodepage.h"
#include "tests/spell/spell_support.h"

using namespace spell;
using spelltest::TempDir;

namespace {

std::unique_ptr<TLexiroSpell3Base> componentOver(const TempDir& dir, const std::string& mainName) {
    auto spell = std::make_unique<TLexiroSpell3Base>();
    spell->WriteConfigStorage(csNone);
    spell->WriteConfigDictionaryDir({dir.dir()});
    spell->WriteDefaultMain({mainName});
    spell->WriteDefaultActiveCustom(dir.path("user.lxu"));
    spell->WriteLearnSuggestions(false);
    spell->WriteDefaultOptions({});
    return spell;
}

std::vector<std::string> suggestions(TLexiroSpell3Base& spell, const std::string& word) {
    std::vector<std::string> list;
    spell.Suggest(word, list);
    return list;
}

const std::string curly(1, LxTypographicApostrophe);

// Windows-1252 text with each "’" written as the code page's byte.
std::string typed(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(Cp1252FromUtf8(utf8, out)) << utf8;
    return out;
}

class RealText : public ::testing::Test {
protected:
    void SetUp() override {
        spelltest::writeLxm(dir.path("English.lxm"),
                            {"can't", "clock", "don't", "I'm", "isn't", "know", "o'clock", "stop", "we'll",
                             "won't", "responded", "respond", "cooperate", "existing", "known", "well",
                             "preexisting", "London", "term", "long"});
        spell = componentOver(dir, "English.lxm");
        spell->OnFileError = [this](const std::string& m) { told.push_back(m); };
        spell->Configuration().EnsureLoaded();
    }
    TempDir dir;
    std::unique_ptr<TLexiroSpell3Base> spell;
    std::vector<std::string> told;
};

}  // namespace

// Mail from phones is full of "’": it is the apostrophe, and what the user
// is offered keeps it.
TEST_F(RealText, TypographicApostropheIsTheApostrophe) {
    struct Case {
        const char* text;
        bool accepted;
        const char* first;  // the first suggestion when not accepted
    } cases[] = {
        {"don’t", true, ""},  {"can’t", true, ""},   {"I’m", true, ""},     {"won’t", true, ""},
        {"we’ll", true, ""},  {"isn’t", true, ""},   {"o’clock", true, ""},
        {"do’nt", false, "don’t"}, {"cna’t", false, "can’t"}, {"wo’nt", false, "won’t"},
        {"isnt’", false, "isn’t"}, {"o’clok", false, "o’clock"}, {"we’l", false, "we’ll"},
        {"I’n", false, "I’m"},
    };
    for (const auto& c : cases) {
        const std::string word = typed(c.text);
        EXPECT_EQ(spell->WordAcceptable(word), c.accepted) << c.text;
        if (c.accepted) continue;
        const auto list = suggestions(*spell, word);
        ASSERT_FALSE(list.empty()) << c.text;
        EXPECT_EQ(Utf8FromCp1252(list.front()), c.first) << c.text;
    }
}

TEST_F(RealText, UserDictionariesTakeEitherApostrophe) {
    TCustomDictionary* user = spell->ActiveCustomDictionary();
    ASSERT_NE(user, nullptr);
    EXPECT_TRUE(user->AddIgnore(typed("y’all")));
    EXPECT_TRUE(spell->WordAcceptable("y'all"));
    EXPECT_TRUE(spell->WordAcceptable(typed("y’all")));
    EXPECT_FALSE(user->AddIgnore("y'all"));  // the same word
    EXPECT_TRUE(user->AddAutoCorrect(typed("dont’"), typed("don’t")));
    std::string correction;
    EXPECT_TRUE(spell->WordHasCorrection("dont'", correction));
    EXPECT_EQ(correction, typed("don’t"));  // the replacement as it was given
}

TEST_F(RealText, CapitalisedMisspellingsGetTheLowerCaseSuggestions) {
    EXPECT_EQ(suggestions(*spell, "esponded").front(), "responded");
    EXPECT_EQ(suggestions(*spell, "Esponded").front(), "Responded");
    EXPECT_EQ(suggestions(*spell, "ESPONDED").front(), "RESPONDED");
    // A name is found from its own spelling.
    const auto names = suggestions(*spell, "Londn");
    EXPECT_NE(std::find(names.begin(), names.end(), "London"), names.end());
}

TEST_F(RealText, CompoundsOfKnownPartsAreWords) {
    struct Case {
        const char* word;
        bool accepted;
    } cases[] = {
        {"pre-existing", true},  // its parts form a listed word
        {"co-operate", true},
        {"well-known", true},    // each part is a word
        {"long-term", true},
        {"e-mail", false},       // "mail" is no word here
        {"well-knwn", false},
        {"pre-exsting", false},
    };
    for (const auto& c : cases) EXPECT_EQ(spell->WordAcceptable(c.word), c.accepted) << c.word;
    const auto list = suggestions(*spell, "well-knwn");
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "well-known");
}

TEST_F(RealText, FilePathsAreSkippedAsAddresses) {
    spell->Configuration().WriteSpellOptions({soInternet});
    struct Case {
        std::string text;
        std::vector<std::string> words;
    } cases[] = {
        {"see /dev/null now", {"see", "now"}},
        {"in /usr/share/dict, then", {"in", "then"}},
        {"(~/mail/inbox) and ./configure or ../lib", {"and", "or"}},
        {"and/or either", {"and", "or", "either"}},  // no path
        {"/etc", {}},
    };
    for (auto& c : cases) {
        TStringParser parser;
        parser.Initialize(c.text);
        spell->ParsingEngine().Initialize(&parser, ctAll);
        std::vector<std::string> words;
        for (std::string w = spell->ParsingEngine().NextWord(); !w.empty(); w = spell->ParsingEngine().NextWord())
            words.push_back(w);
        EXPECT_EQ(words, c.words) << c.text;
    }
}

// A damaged dictionary no longer reads as every word misspelt without a
// word of why: the user is told, once, which file it is.
TEST_F(RealText, ADamagedMainDictionaryIsToldOnce) {
    std::string bytes = spelltest::readFile(dir.path("English.lxm"));
    ASSERT_GT(bytes.size(), 4000u);
    // A node past the header points outside its table.
    for (size_t i = 1100; i < 1400; ++i) bytes[i] = '\xFF';
    spelltest::writeFile(dir.path("Broken.lxm"), bytes);
    spelltest::writeFile(dir.path("Short.lxm"), bytes.substr(0, 900));
    spell->Configuration().ReadMainDictionaries().Assign({"Broken.lxm", "Short.lxm", "Missing.lxm"});
    ASSERT_EQ(told.size(), 3u);
    EXPECT_NE(told[0].find(dir.path("Broken.lxm")), std::string::npos) << told[0];
    EXPECT_NE(told[1].find(dir.path("Short.lxm")), std::string::npos) << told[1];
    EXPECT_NE(told[2].find("Missing.lxm"), std::string::npos) << told[2];
    EXPECT_TRUE(spell->MainDictionaries().empty());
    spell->FireConfigurationChanged(true);
    EXPECT_EQ(told.size(), 3u) << "told again";
}

TEST_F(RealText, AUserDictionaryThatCannotBeSavedIsToldOnce) {
    TCustomDictionary* user = spell->ActiveCustomDictionary();
    ASSERT_NE(user, nullptr);
    {
        const spelltest::FileSizeLimit full(64);  // as a full disk
        user->AddIgnore("zorp");
        EXPECT_FALSE(user->Save());
        user->AddIgnore("blick");
        EXPECT_FALSE(user->Save());
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(dir.path("user.lxu")), std::string::npos) << told[0];
    EXPECT_TRUE(user->Save());
}

TEST_F(RealText, ADamagedUserDictionaryIsToldAndNotWrittenOver) {
    spelltest::writeFile(dir.path("bad.lxu"), "not a user dictionary at all, but somebody's notes");
    spell->Configuration().ReadCustomDictionaries().Assign({dir.path("bad.lxu")});
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(dir.path("bad.lxu")), std::string::npos) << told[0];
    spell->UnloadDictionaries();
    EXPECT_EQ(spelltest::readFile(dir.path("bad.lxu")), "not a user dictionary at all, but somebody's notes");
}

TEST_F(RealText, AnUnreadableConfigurationIsToldAndNotWrittenOver) {
    ASSERT_EQ(::mkdir(dir.path("Spell.cfg").c_str(), 0700), 0);  // a folder where the file should be
    spell->WriteConfigFilename(dir.path("Spell.cfg"));
    spell->WriteConfigStorage(csFile);
    spell->Configuration().EnsureLoaded();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(dir.path("Spell.cfg")), std::string::npos) << told[0];
    spell->Configuration().WriteSpellOptions({soUpcase});
    EXPECT_FALSE(spell->Configuration().SaveConfiguration());
    EXPECT_EQ(told.size(), 1u);
}

// A FIFO named as a dictionary or as the configuration would hold a plain
// open until somebody wrote to it: it is refused at once.
TEST(SpellFiles, AFifoIsRefusedWithinASecond) {
    TempDir dir;
    for (const char* name : {"Fifo.lxm", "fifo.lxu", "Spell.cfg"})
        ASSERT_EQ(::mkfifo(dir.path(name).c_str(), 0600), 0) << name;
    std::vector<std::string> told;
    auto run = std::async(std::launch::async, [&] {
        auto spell = componentOver(dir, "Fifo.lxm");
        spell->OnFileError = [&](const std::string& m) { told.push_back(m); };
        spell->WriteDefaultCustom({dir.path("fifo.lxu")});
        spell->WriteConfigFilename(dir.path("Spell.cfg"));
        spell->WriteConfigStorage(csFile);
        spell->Configuration().EnsureLoaded();
        spell->WordAcceptable("word");
        TCustomDictionary user;
        user.WriteFilename(dir.path("fifo.lxu"));
        return user.Filename().empty();
    });
    const bool done = run.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    // A blocked open goes on once a writer comes: be one, so the test ends.
    while (run.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        for (const char* name : {"Fifo.lxm", "fifo.lxu", "Spell.cfg"}) {
            const int fd = ::open(dir.path(name).c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
    ASSERT_TRUE(done) << "a FIFO held the component";
    EXPECT_TRUE(run.get()) << "a FIFO was taken as a user dictionary";
    EXPECT_EQ(told.size(), 3u);
}

// The per-user copy of the shipped dictionary: a damaged one comes back
// from the program's folder, a good one is left alone.
TEST(SpellFiles, ADamagedCopyOfTheShippedDictionaryIsReplaced) {
    TempDir program, user;
    spelltest::writeLxm(program.path("British.lxm"), {"colour", "house"});
    const std::string shipped = spelltest::readFile(program.path("British.lxm"));
    const std::string copy = user.path("British.lxm");
    std::string error;
    struct Case {
        const char* what;
        std::string content;  // empty: no file
        bool replaced;
    } cases[] = {
        {"missing", "", true},
        {"cut short", shipped.substr(0, shipped.size() / 2), true},
        {"overwritten", std::string(shipped.size(), 'x'), true},
        {"a good one of its own", "", false},
    };
    spelltest::writeLxm(user.path("own.lxm"), {"zorp"});
    cases[3].content = spelltest::readFile(user.path("own.lxm"));
    for (const auto& c : cases) {
        std::remove(copy.c_str());
        if (!c.content.empty()) spelltest::writeFile(copy, c.content);
        EXPECT_TRUE(EnsureMainDictionaryCopy(program.path("British.lxm"), copy, error)) << c.what << ": " << error;
        EXPECT_EQ(spelltest::readFile(copy), c.replaced ? shipped : c.content) << c.what;
    }
    // Nothing to copy from: the damage is told.
    spelltest::writeFile(copy, "junk");
    EXPECT_FALSE(EnsureMainDictionaryCopy(program.path("Gone.lxm"), copy, error));
    EXPECT_NE(error.find("Gone.lxm"), std::string::npos) << error;
}
