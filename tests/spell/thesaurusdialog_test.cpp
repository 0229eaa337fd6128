// The thesaurus component over the thesaurus the build compiles, its
// dialog driven through the scripted modal answerer (as a user would: rows
// chosen, buttons pressed), and the lookup of the word at an edit's caret.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/dialogs.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3thesaurus.h"
#include "spell/lx3thesaurusdialog.h"
#include "tests/spell/spell_support.h"
#include "tests/ui/form_fixture.h"

using namespace spell;

namespace {

std::vector<std::string> contextWords(const TThesDialog& d) {
    std::vector<std::string> out;
    for (const auto& r : d.ContextRows()) out.push_back(r.Word + "/" + r.Kind);
    return out;
}

std::vector<std::string> history(const TThesDialog& d) {
    std::vector<std::string> out;
    for (int i = 0; i < d.LookupCombo->Items->Count; ++i) out.push_back(d.LookupCombo->Items->Get(i));
    return out;
}

// Chooses a word of the word list as a click does.
void chooseWord(TThesDialog& d, const std::string& w) {
    const auto& rows = d.WordRows();
    const auto at = std::find(rows.begin(), rows.end(), w);
    ASSERT_NE(at, rows.end()) << w;
    d.WordList->ItemIndex = static_cast<int>(at - rows.begin());
}

// The words the base component (no dialog) is told of, per context.
struct Told {
    std::string word;
    std::vector<std::string> contexts;
};

class Thesaurus : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        t = new TThesaurus3(form.get());
        t->WriteFilename(SYNTARO_LXT);
    }
    void TearDown() override { EXPECT_EQ(dialogs.unexpected, 0) << "a dialog nobody expected was shown"; }
    // Queues a script for the thesaurus dialog.
    void script(std::function<void(TThesDialog&)> body) {
        dialogs.QueueModal([body](ui::TForm& f) {
            auto* d = dynamic_cast<TThesDialog*>(&f);
            EXPECT_NE(d, nullptr) << f.ClassName();
            if (d) body(*d);
            return ui::mrNone;
        });
    }
    ui::TScriptedDialogs dialogs;
    TThesaurus3* t = nullptr;
};

TEST_F(Thesaurus, TheBaseComponentTellsTheContextsInTheCaseOfTheWordAskedFor) {
    TThesaurus3Base base(nullptr);
    base.WriteFilename(SYNTARO_LXT);
    Told told;
    base.OnPromptLookup = [&](rtl::TObject*, const std::string& w, const TThesaurusContexts& cs) {
        told = {w, {}};
        for (const auto& c : cs) told.contexts.push_back(c.ContextWord + "/" + c.KindName);
    };
    std::vector<std::string> shown;
    base.OnPromptContext = [&](rtl::TObject*, const std::vector<std::string>& ws) { shown = ws; };
    struct {
        const char* word;
        std::vector<std::string> contexts;
        int context;
        std::vector<std::string> first;  // the first words of that context's list
    } cases[] = {
        // Each meaning apart, shown by another of its words.
        {"quick", {"speedy/adjective", "fast/adjective", "quick/adverb"}, 2, {"quickly", "promptly"}},
        {"Quick", {"Speedy/adjective", "Fast/adjective", "Quick/adverb"}, 0, {"Quick", "Speedy", "Fast"}},
        {"QUICK", {"SPEEDY/adjective", "FAST/adjective", "QUICK/adverb"}, 0, {"QUICK", "SPEEDY", "FAST"}},
        {"change",
         {"alteration/noun", "relation/noun", "action/noun", "consequence/noun", "thing/noun", "clothing/noun",
          "coin/noun", "cash/noun", "variety/noun", "alter/verb", "vary/verb"},
         9, {"change", "alter", "modify"}},
        {"quic", {}, -1, {}},  // a prefix of a headword
        {"zzyzx", {}, -1, {}},
    };
    for (const auto& c : cases) {
        shown.clear();
        EXPECT_EQ(base.LookupWord(c.word), "") << "no dialog, no replacement";
        EXPECT_EQ(told.word, c.word);
        EXPECT_EQ(told.contexts, c.contexts) << c.word;
        if (c.context < 0) continue;
        base.Lookup_SetContext(c.context);
        ASSERT_GE(shown.size(), c.first.size()) << c.word;
        EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + c.first.size()), c.first) << c.word;
    }
    EXPECT_FALSE(base.ThesaurusFile().Loaded()) << "the file is loaded only while a lookup runs";
}

TEST_F(Thesaurus, SortedListsSortTheContextsAndTheWords) {
    TThesaurus3Base base(nullptr);
    base.WriteFilename(SYNTARO_LXT);
    base.SortedLists = true;
    std::vector<std::string> shown;
    base.OnPromptContext = [&](rtl::TObject*, const std::vector<std::string>& ws) { shown = ws; };
    base.LookupWord("quick");
    base.Lookup_SetContext(1);  // fast, quick, speedy: the adverb
    EXPECT_EQ(shown, (std::vector<std::string>{"promptly", "quick", "quickly"}));
    base.Lookup_SetContext(0);
    ASSERT_GT(shown.size(), 3u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
}

TEST_F(Thesaurus, TheDialogShowsTheContextsAndReplaceGivesTheChosenWord) {
    script([](TThesDialog& d) {
        EXPECT_EQ(d.Caption(), "Thesaurus: English");
        EXPECT_EQ(d.LookedUpLabel->Caption(), "Looked &Up:");
        EXPECT_EQ(d.CloseButton->Caption(), "&Close");
        EXPECT_EQ(history(d), std::vector<std::string>{"quick"});
        EXPECT_EQ(contextWords(d), (std::vector<std::string>{"speedy/adjective", "fast/adjective", "quick/adverb"}));
        EXPECT_EQ(d.ContextLV->ItemIndex, 0);
        ASSERT_GT(d.WordRows().size(), 2u);
        EXPECT_EQ(d.WordRows()[0], "quick");
        EXPECT_FALSE(d.ReplaceButton->Enabled()) << "nothing chosen yet";
        EXPECT_FALSE(d.PreviousButton->Enabled()) << "one entry in the history";
        // A word the thesaurus's code page cannot hold would go in cut short.
        d.ReplaceEdit->Text = "Dvo\xC5\x99\xC3\xA1k";  // "Dvořák"
        EXPECT_FALSE(d.ReplaceButton->Enabled());
        EXPECT_FALSE(d.LookupButton->Enabled());
        chooseWord(d, "fast");
        EXPECT_EQ(d.ReplaceEdit->Text(), "fast");
        ASSERT_TRUE(d.ReplaceButton->Enabled());
        d.ReplaceButton->Click();
    });
    EXPECT_EQ(t->LookupWord("quick"), "fast");
    EXPECT_EQ(dialogs.modals, std::vector<std::string>{"Thesaurus: English"});
    EXPECT_EQ(t->DialogForm(), nullptr) << "the dialog lives only during the lookup";
    EXPECT_FALSE(t->ThesaurusFile().Loaded());

    script([](TThesDialog& d) {
        chooseWord(d, "fast");
        d.CloseButton->Click();
    });
    EXPECT_EQ(t->LookupWord("quick"), "") << "Close replaces nothing";
}

TEST_F(Thesaurus, TheHistoryGoesBackAndAnEntryChosenIsLookedUpAgain) {
    script([this](TThesDialog& d) {
        // happy -> glad (typed) -> cheerful (from the list)
        chooseWord(d, "glad");
        d.LookupButton->Click();
        EXPECT_EQ(contextWords(d), (std::vector<std::string>{"gladsome/adjective", "glad/adjective"}));
        d.ContextLV->ItemIndex = 1;
        chooseWord(d, "cheerful");
        d.LookupButton->Click();
        EXPECT_EQ(history(d), (std::vector<std::string>{"cheerful", "glad", "happy"}));
        EXPECT_TRUE(d.PreviousButton->Enabled());
        EXPECT_EQ(t->LookedUpWord(), "cheerful");

        d.PreviousButton->Click();
        EXPECT_EQ(history(d), (std::vector<std::string>{"glad", "happy"}));
        EXPECT_EQ(contextWords(d), (std::vector<std::string>{"gladsome/adjective", "glad/adjective"}));
        EXPECT_EQ(t->LookedUpWord(), "glad");
        d.PreviousButton->Click();
        EXPECT_EQ(history(d), std::vector<std::string>{"happy"});
        EXPECT_FALSE(d.PreviousButton->Enabled());

        // Forward again through the history: glad, then happy chosen from it.
        chooseWord(d, "glad");
        d.LookupButton->Click();
        EXPECT_EQ(history(d), (std::vector<std::string>{"glad", "happy"}));
        d.LookupCombo->ItemIndex = 1;
        d.LookupComboChange(d.LookupCombo);
        EXPECT_EQ(history(d), (std::vector<std::string>{"happy", "glad"})) << "an entry moves to the top";
        EXPECT_EQ(t->LookedUpWord(), "happy");
        chooseWord(d, "joyful");
        d.ReplaceButton->Click();
    });
    EXPECT_EQ(t->LookupWord("happy"), "joyful");
}

TEST_F(Thesaurus, AWordNotFoundShowsNotFound) {
    script([](TThesDialog& d) {
        EXPECT_EQ(history(d), std::vector<std::string>{"zzyzx"});
        EXPECT_TRUE(d.ContextRows().empty());
        ASSERT_EQ(d.ContextLV->Items->Count, 1);
        EXPECT_EQ(d.ContextLV->Items->Item(0)->Caption, "(not found)");
        EXPECT_FALSE(d.ContextLV->Enabled());
        EXPECT_TRUE(d.WordRows().empty());
        EXPECT_EQ(d.WordList->Items->Count, 0);
        // A word typed in finds something after all.
        d.ReplaceEdit->Text = "big";
        d.LookupButton->Click();
        EXPECT_TRUE(d.ContextLV->Enabled());
        ASSERT_FALSE(contextWords(d).empty());
        EXPECT_EQ(contextWords(d).front(), "big/adjective");
        EXPECT_EQ(d.WordRows().at(0), "large");
        d.CloseButton->Click();
    });
    EXPECT_EQ(t->LookupWord("zzyzx"), "");
}

TEST_F(Thesaurus, ADoubleClickLooksUpOrReplaces) {
    script([](TThesDialog& d) {
        chooseWord(d, "fast");
        d.WordListDblClick(d.WordList);
        EXPECT_EQ(history(d), (std::vector<std::string>{"fast", "quick"}));
        d.CloseButton->Click();
    });
    EXPECT_EQ(t->LookupWord("quick"), "");
    t->DoubleClickAction = dcaReplace;
    script([](TThesDialog& d) {
        chooseWord(d, "speedy");
        d.WordListDblClick(d.WordList);
    });
    EXPECT_EQ(t->LookupWord("quick"), "speedy");
}

TEST_F(Thesaurus, CommandsLeftOutAreHiddenOrDisabled) {
    t->CommandsVisible = tdcAll & ~(tdcLookedUp | tdcPrevious);
    t->CommandsEnabled = tdcAll & ~tdcReplace;
    script([](TThesDialog& d) {
        EXPECT_FALSE(d.LookupCombo->Visible());
        EXPECT_FALSE(d.LookedUpLabel->Visible());
        EXPECT_FALSE(d.PreviousButton->Visible());
        EXPECT_EQ(d.ContextsLabel->Top(), 8);
        EXPECT_EQ(d.ContextLV->Top(), 24);
        EXPECT_EQ(d.ContextLV->Height(), 153);
        chooseWord(d, "fast");
        EXPECT_TRUE(d.LookupButton->Enabled());
        EXPECT_FALSE(d.ReplaceButton->Enabled());
        d.CloseButton->Click();
    });
    EXPECT_EQ(t->LookupWord("quick"), "");
}

TEST_F(Thesaurus, ALookupWhileOneRunsReturnsAtOnce) {
    script([this](TThesDialog& d) {
        EXPECT_TRUE(t->InLookup());
        EXPECT_EQ(t->LookupWord("happy"), "");
        EXPECT_EQ(history(d), std::vector<std::string>{"quick"}) << "the running lookup is untouched";
        d.CloseButton->Click();
    });
    EXPECT_EQ(t->LookupWord("quick"), "");
    EXPECT_EQ(dialogs.modals.size(), 1u);
    EXPECT_FALSE(t->InLookup());
}

TEST_F(Thesaurus, AMissingOrDamagedFileIsReportedAndNoDialogShows) {
    spelltest::TempDir dir;
    const std::string damaged = dir.path("damaged.lxt");
    std::string bytes = spelltest::readFile(SYNTARO_LXT);
    bytes.resize(bytes.size() / 2);  // cut short
    spelltest::writeFile(damaged, bytes);
    struct {
        std::string file;
        std::string says;
    } cases[] = {
        {dir.path("absent.lxt"), "The thesaurus file \"" + dir.path("absent.lxt") + "\" is missing."},
        {damaged, "The thesaurus file \"" + damaged + "\" cannot be read or is damaged."},
    };
    for (const auto& c : cases) {
        TThesaurus3 fresh(nullptr);
        fresh.WriteFilename(c.file);
        const size_t before = dialogs.prompts.size();
        EXPECT_EQ(fresh.LookupWord("quick"), "");
        ASSERT_EQ(dialogs.prompts.size(), before + 1) << c.file;
        EXPECT_EQ(dialogs.prompts.back().text, c.says);
        EXPECT_EQ(dialogs.prompts.back().type, ui::mtError);
    }
    EXPECT_TRUE(dialogs.modals.empty());
    dialogs.unexpected = 0;  // the message boxes were the point
}

TEST_F(Thesaurus, FileNamesTakePathVariables) {
    spelltest::TempDir dir;
    spelltest::writeFile(dir.path("syn.lxt"), spelltest::readFile(SYNTARO_LXT));
    setenv("PWX_THES_DIR", dir.dir().c_str(), 1);
    TThesaurus3Base base(nullptr);
    base.WriteFilename("%PWX_THES_DIR%/syn.lxt");
    EXPECT_EQ(base.Filename(), "%PWX_THES_DIR%/syn.lxt");
    EXPECT_EQ(base.ThesaurusFile().Filename(), dir.path("syn.lxt"));
    unsetenv("PWX_THES_DIR");
}

class ThesaurusInAnEdit : public Thesaurus {
protected:
    ui::TMemo* memo(const std::string& text) {
        auto* m = new ui::TMemo(form.get());
        m->Parent = form.get();
        m->SetBounds(10, 10, 360, 200);
        m->Text = text;
        return m;
    }
};

TEST_F(ThesaurusInAnEdit, TheWordAtTheCaretIsReplacedInPlace) {
    // "é" is two bytes in the memo and one character to the thesaurus.
    ui::TMemo* m = memo("caf\xC3\xA9 line\r\nA Quick brown fox");
    struct {
        int selStart, selLength;
        const char* pick;
        const char* after;
    } cases[] = {
        {17, 0, "Fast", "caf\xC3\xA9 line\r\nA Fast brown fox"},      // caret inside the word
        {14, 4, "Speedy", "caf\xC3\xA9 line\r\nA Speedy brown fox"},  // the word selected
    };
    for (const auto& c : cases) {
        m->Text = "caf\xC3\xA9 line\r\nA Quick brown fox";
        m->Select(c.selStart, c.selLength);
        const std::string pick = c.pick;
        script([pick](TThesDialog& d) {
            EXPECT_EQ(history(d), std::vector<std::string>{"Quick"});
            chooseWord(d, pick);
            d.ReplaceButton->Click();
        });
        int changes = 0;
        t->OnBeforeChange = [&](rtl::TObject*) { ++changes; };
        EXPECT_TRUE(t->LookupWinControl(m));
        EXPECT_EQ(m->Text(), c.after);
        EXPECT_EQ(changes, 1);
    }
}

TEST_F(ThesaurusInAnEdit, NoWordAtTheCaretShowsNothing) {
    ui::TMemo* m = memo("quick   ");
    m->Select(6, 0);
    EXPECT_FALSE(t->LookupWinControl(m));
    EXPECT_TRUE(dialogs.modals.empty());
    EXPECT_EQ(m->Text(), "quick   ");
    ui::TButton notAnEdit(form.get());
    EXPECT_FALSE(t->LookupWinControl(&notAnEdit));
}

}  // namespace
