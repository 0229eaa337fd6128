// Whole-text checks driven through the spelling dialog over a memo and a
// rich edit on the offscreen platform: every command of the dialog, chained
// undo, the undo limit, repeated words, the smart check, the end message,
// counts and the dialog's own states.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/prompter.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"
#include "spell/lx3configdialog.h"
#include "spell/lx3spell.h"
#include "spell/lx3spelldialog.h"
#include "spell/lx3stringparser.h"
#include "spell/lx3winapiparser.h"
#include "spell/lx3edittarget.h"
#include "tests/spell/spell_support.h"
#include "tests/ui/form_fixture.h"

using namespace spell;
using spelltest::TempDir;

namespace {

struct Kind {
    const char* name;
    std::function<ui::TCustomEdit*(ui::TForm*)> make;
};

const Kind kKinds[] = {
    {"memo", [](ui::TForm* f) -> ui::TCustomEdit* { return new ui::TMemo(f); }},
    {"rich edit", [](ui::TForm* f) -> ui::TCustomEdit* { return new ui::TRichEdit(f); }},
};

std::vector<std::string> split(const std::string& s, char by) {
    std::vector<std::string> out;
    if (s.empty()) return out;
    size_t from = 0;
    for (;;) {
        const size_t at = s.find(by, from);
        out.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return out;
        from = at + 1;
    }
}

class SpellCheck : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        spelltest::writeLxm(dir.path("English.lxm"),
                            {"a", "and", "caf\xE9", "cat", "dog", "don't", "end", "here", "house", "is", "know", "mat",
                             "na\xEFve", "on", "quoted", "sat", "the", "there", "word"},
                            0x0809);
        spell = std::make_unique<TLexiroSpell3>();
        spell->WriteConfigStorage(csNone);
        spell->WriteConfigDictionaryDir({dir.dir()});
        spell->WriteDefaultMain({"English.lxm"});
        spell->WriteDefaultActiveCustom(dir.path("user.lxu"));
        spell->WriteSuggestionsDictFN(dir.path("learned.lxl"));
        spell->WriteDefaultOptions({});
        spell->Configuration().EnsureLoaded();
        spell->EndMessage = emNever;
        spell->OnPromptWord = [this](const std::string& word, bool repeated) {
            prompts.push_back(repeated ? "[" + word + "]" : word);
        };
        showForm();
    }
    void TearDown() override {
        spell.reset();
        win::ProcessMessages();
    }

    ui::TCustomEdit* make(const Kind& kind, const std::string& text) {
        ui::TCustomEdit* edit = kind.make(form.get());
        edit->Parent = form.get();
        edit->SetBounds(10, 10, 360, 120);
        edit->Text = text;
        edit->Select(0, 0);
        return edit;
    }

    TSpellDialog* dialog() const { return spell->SpellDialog(); }
    // The dialog's window on the screen, frame included.
    static QRect outer(const TSpellDialog* d) { return d->Widget()->frameGeometry(); }

    // One step of a script: a button of the dialog, with the replacement
    // typed first where the command takes one.
    void step(const std::string& command) {
        ASSERT_NE(dialog(), nullptr) << command;
        const size_t eq = command.find('=');
        const std::string name = command.substr(0, eq);
        if (eq != std::string::npos) dialog()->ReplaceWithEdit->Text = command.substr(eq + 1);
        ui::TButton* b = name == "ignore"        ? dialog()->IgnoreButton
                         : name == "ignoreall"   ? dialog()->IgnoreAllButton
                         : name == "change"      ? dialog()->ChangeButton
                         : name == "changeall"   ? dialog()->ChangeAllButton
                         : name == "add"         ? dialog()->AddButton
                         : name == "autocorrect" ? dialog()->AutoCorrectButton
                         : name == "undo"        ? dialog()->UndoButton
                         : name == "cancel"      ? dialog()->CancelButton
                                                 : nullptr;
        ASSERT_NE(b, nullptr) << command;
        if (name == "undo" && !b->Enabled) {
            // What a click on a disabled button would not do; the command
            // itself must do nothing either.
            dialog()->DialogControl->Undo();
            return;
        }
        ASSERT_TRUE(b->Enabled) << command;
        b->Click();
    }

    TempDir dir;
    std::unique_ptr<TLexiroSpell3> spell;
    std::vector<std::string> prompts;
};

// A check through the dialog: each script step is what the user clicks at
// the word it stops at.
struct Script {
    const char* name;
    std::string text;
    int maxUndo;
    bool repeated;  // prompt on repeated words
    std::string steps;    // commands, comma separated
    std::string prompts;  // the words stopped at, comma separated ([..] repeated)
    std::string result;
};

const std::string kLongRun = [] {
    std::string s;
    for (int i = 0; i < 5000; ++i) s += "cat ";  // 20,000 columns
    return s;
}();
// "é", "ï" two bytes, the curly quotes three, the emoji four (no Windows-1252
// character at all).
const std::string kWide = "caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xF0\x9F\x98\x80 na\xC3\xAFve teh end";

const Script kScripts[] = {
    {"ignore", "teh cat teh", -1, false, "ignore,ignore", "teh,teh", "teh cat teh"},
    {"ignore all", "teh cat\r\nteh hous", -1, false, "ignoreall,ignore", "teh,hous", "teh cat\r\nteh hous"},
    {"change", "teh cat teh", -1, false, "change=the,change=the", "teh,teh", "the cat the"},
    {"change all", "teh cat\r\nteh hous", -1, false, "changeall=the,change=house", "teh,hous",
     "the cat\r\nthe house"},
    {"add", "wrod cat wrod", -1, false, "add", "wrod", "wrod cat wrod"},
    {"auto-correct", "teh cat teh", -1, false, "autocorrect=the", "teh", "the cat the"},
    {"cancel", "teh cat hous", -1, false, "cancel", "teh", "teh cat hous"},
    // Two changes undone one after the other, then the words come again.
    {"undo through changes", "teh cat hous dgo", -1, false,
     "change=the,change=house,undo,undo,ignore,ignore,ignore", "teh,hous,dgo,hous,teh,hous,dgo", "teh cat hous dgo"},
    // The automatic correction of Change All goes back together with it.
    {"undo chained", "teh cat teh dgo", -1, false, "changeall=the,undo,ignore,ignore,ignore", "teh,dgo,teh,teh,dgo",
     "teh cat teh dgo"},
    {"undo ignore all", "teh cat teh dgo", -1, false, "ignoreall,undo,ignore,ignore,ignore", "teh,dgo,teh,teh,dgo",
     "teh cat teh dgo"},
    {"no undo kept", "teh cat hous", 0, false, "change=the,undo,ignore", "teh,hous", "the cat hous"},
    {"three undos kept", "teh hous dgo wrod cta zzq", 3, false,
     "change=the,change=house,change=dog,change=word,change=cat,undo,undo,undo,undo,ignore,ignore,ignore,ignore",
     "teh,hous,dgo,wrod,cta,zzq,cta,wrod,dgo,wrod,cta,zzq", "the house dgo wrod cta zzq"},
    {"repeated word deleted", "the cat cat sat", -1, true, "change", "[cat cat]", "the cat sat"},
    {"repeated word kept", "the cat cat sat", -1, true, "ignore", "[cat cat]", "the cat cat sat"},
    {"two spaces are no repetition", "the cat  cat sat", -1, true, "", "", "the cat  cat sat"},
    {"far along a long line", kLongRun + "teh end", -1, false, "change=the", "teh", kLongRun + "the end"},
    // "’" is the apostrophe: the known word is let be, the change keeps it.
    {"typographic apostrophe", "I don\xE2\x80\x99t know, do\xE2\x80\x99nt", -1, false, "change", "do\x92nt",
     "I don\xE2\x80\x99t know, don\xE2\x80\x99t"},
    {"after wide characters", "x\r\n" + kWide + " teh", -1, false, "changeall=the",
     "teh", "x\r\ncaf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xF0\x9F\x98\x80 na\xC3\xAFve the end the"},
};

}  // namespace

// A dictionary that cannot be used is shown in a message box, after the
// event that found it, and only once.
TEST_F(SpellCheck, AFileFailureIsShownOnce) {
    ui::TScriptedPrompter prompter;
    spell->Configuration().ReadMainDictionaries().Assign({"English.lxm", "Missing.lxm"});
    EXPECT_TRUE(prompter.prompts.empty()) << "shown inside the event";
    win::ProcessMessages();
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_NE(prompter.prompts[0].text.find("Missing.lxm"), std::string::npos) << prompter.prompts[0].text;
    spell->FireConfigurationChanged(true);
    win::ProcessMessages();
    EXPECT_EQ(prompter.prompts.size(), 1u);
    EXPECT_TRUE(spell->WordAcceptable("house"));
}

TEST_F(SpellCheck, ScriptsOverTheDialog) {
    for (const auto& kind : kKinds) {
        for (const auto& script : kScripts) {
            SCOPED_TRACE(std::string(kind.name) + ": " + script.name);
            // A fresh component per script: Ignore All and Change All last
            // for a component's life.
            std::remove(dir.path("user.lxu").c_str());
            std::remove(dir.path("learned.lxl").c_str());
            SetUp();
            spell->SynchronousCheck = false;
            spell->MaxUndo = script.maxUndo;
            spell->Configuration().WriteSpellOptions(script.repeated ? TSpellOptions{soRepeated} : TSpellOptions{});
            ui::TCustomEdit* edit = make(kind, script.text);
            spell->CheckWinControl(edit, ctAll);
            for (const auto& command : split(script.steps, ',')) {
                ASSERT_TRUE(spell->CheckRunning()) << command;
                step(command);
                if (script.maxUndo >= 0) {
                    EXPECT_LE(spell->UndoList().size(), static_cast<size_t>(script.maxUndo)) << command;
                }
            }
            EXPECT_FALSE(spell->CheckRunning());
            EXPECT_EQ(edit->Text(), script.result);
            EXPECT_EQ(prompts, split(script.prompts, ','));
            prompts.clear();
            delete edit;
            TearDown();
        }
    }
}

TEST_F(SpellCheck, AddedWordsReachTheFileWhileTheCheckRuns) {
    spell->SynchronousCheck = false;
    ui::TCustomEdit* edit = make(kKinds[0], "wrod cat hous");
    spell->CheckWinControl(edit, ctAll);
    step("add");
    ASSERT_TRUE(spell->CheckRunning());
    TCustomDictionary onDisk;
    onDisk.WriteFilename(dir.path("user.lxu"));
    EXPECT_TRUE(onDisk.IgnoreExists("wrod"));
    // Undo takes it out of the file again.
    step("undo");
    TCustomDictionary again;
    again.WriteFilename(dir.path("user.lxu"));
    EXPECT_FALSE(again.IgnoreExists("wrod"));
    step("cancel");
    EXPECT_EQ(prompts, (std::vector<std::string>{"wrod", "hous", "wrod"}));
}

TEST_F(SpellCheck, AutoCorrectPairsGoToTheUserDictionaryAndAreLearned) {
    spell->SynchronousCheck = false;
    ui::TCustomEdit* edit = make(kKinds[1], "teh cat");
    spell->CheckRichEdit(dynamic_cast<ui::TRichEdit*>(edit), ctAll);
    step("autocorrect=the");
    EXPECT_FALSE(spell->CheckRunning());
    TCustomDictionary user, learned;
    user.WriteFilename(dir.path("user.lxu"));
    learned.WriteFilename(dir.path("learned.lxl"));
    std::string correction;
    EXPECT_TRUE(user.AutoCorrectExists("teh", correction));
    EXPECT_EQ(correction, "the");
    EXPECT_TRUE(learned.AutoCorrectExists("teh", correction));
    // A later check corrects it without asking.
    edit->Text = "a teh";
    spell->CheckWinControl(edit, ctAll);
    EXPECT_EQ(edit->Text(), "a the");
    EXPECT_EQ(prompts, std::vector<std::string>{"teh"});
}

TEST_F(SpellCheck, ASynchronousCheckReturnsWhenTheLastWordIsDecided) {
    // The prompt handler answers at once, as a user's click would.
    ui::TCustomEdit* edit = make(kKinds[0], "teh cat hous\r\ndgo");
    const std::vector<std::string> answers{"change=the", "ignore", "change=dog"};
    size_t next = 0;
    spell->OnPromptWord = [&](const std::string& word, bool) {
        prompts.push_back(word);
        if (next < answers.size()) step(answers[next++]);
    };
    spell->CheckWinControl(edit, ctAll);
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(edit->Text(), "the cat hous\r\ndog");
    EXPECT_EQ(prompts, (std::vector<std::string>{"teh", "hous", "dgo"}));
}

TEST_F(SpellCheck, AStringIsCheckedAndChangedInPlace) {
    spell->UIType = suiSilent;
    std::string text = "teh cat sat on teh mat";
    spell->OnPromptWord = [&](const std::string& word, bool) {
        prompts.push_back(word);
        spell->Check_ChangeAll("the");
    };
    spell->CheckString(text);
    EXPECT_EQ(text, "the cat sat on the mat");
    EXPECT_EQ(prompts, std::vector<std::string>{"teh"});
    EXPECT_EQ(spell->WordsChecked(), 6);
}

TEST_F(SpellCheck, NobodyToAnswerEndsTheCheckAsCancelled) {
    spell->UIType = suiSilent;
    spell->OnPromptWord = nullptr;
    std::string text = "teh cat";
    spell->CheckString(text);
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_TRUE(spell->CheckCancelled());
    EXPECT_EQ(text, "teh cat");
}

// A check that fails on the way is over: the next one runs.
TEST_F(SpellCheck, ACheckThatFailsLetsTheNextOneRun) {
    spell->UIType = suiSilent;
    spell->OnWordCheck = [](const std::string& word, std::string&, TWordCheckType&) {
        if (word == "sat") throw std::runtime_error("the owner's check failed");
    };
    spell->OnPromptWord = [&](const std::string& word, bool) {
        prompts.push_back(word);
        spell->Check_Change("the");
    };
    std::string text = "teh cat sat";
    EXPECT_THROW(spell->CheckString(text), std::runtime_error);
    EXPECT_FALSE(spell->CheckRunning());
    spell->OnWordCheck = nullptr;
    text = "teh cat sat";
    spell->CheckString(text);
    EXPECT_EQ(text, "the cat sat");
    EXPECT_EQ(prompts, (std::vector<std::string>{"teh", "teh"}));
}

TEST_F(SpellCheck, EndMessage) {
    struct Case {
        TSpellEndMessage mode;
        bool cancel, wordCount;
        std::string expected;  // empty: no message
    } cases[] = {
        {emAlways, false, true, "The spelling check is complete.\r\n\r\nWords checked: 4"},
        {emAlways, true, false, "The spelling check is complete."},
        {emExceptCancel, false, false, "The spelling check is complete."},
        {emExceptCancel, true, false, ""},
        {emNever, false, false, ""},
        {emNoDialog, false, false, "The spelling check is complete."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected + (c.cancel ? " cancelled" : ""));
        ui::TScriptedPrompter prompter;
        prompter.QueueResult(ui::mrOk);
        spell->EndMessage = c.mode;
        spell->EndMessageWordCount = c.wordCount;
        spell->SynchronousCheck = false;
        ui::TCustomEdit* edit = make(kKinds[0], "the cat teh mat");
        spell->CheckWinControl(edit, ctAll);
        step(c.cancel ? "cancel" : "ignore");
        ASSERT_FALSE(spell->CheckRunning());
        if (c.expected.empty()) {
            EXPECT_TRUE(prompter.prompts.empty());
        } else {
            ASSERT_EQ(prompter.prompts.size(), 1u);
            EXPECT_EQ(prompter.prompts[0].text, c.expected);
            EXPECT_EQ(prompter.prompts[0].caption, "Spelling");
        }
        delete edit;
        win::ProcessMessages();
    }
    // Without the dialog having come up, emNoDialog says nothing.
    ui::TScriptedPrompter prompter;
    spell->EndMessage = emNoDialog;
    std::string clean = "the cat";
    spell->CheckString(clean);
    EXPECT_TRUE(prompter.prompts.empty());
}

TEST_F(SpellCheck, SmartCheckWithoutSelectionGoesOnFromTheStart) {
    ui::TScriptedPrompter prompter;
    ui::TCustomEdit* edit = make(kKinds[0], "teh cat\r\nhous dgo");
    edit->Select(static_cast<int>(edit->Text().find("hous")), 0);
    spell->OnPromptWord = [&](const std::string& word, bool) {
        prompts.push_back(word);
        step(word == "dgo" ? "change=dog" : "ignore");
    };
    spell->EndMessage = emAlways;
    spell->CheckSmart(new TWinAPIControlParser(MakeEditTextTarget(edit)));
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(prompts, (std::vector<std::string>{"hous", "dgo", "teh"}));
    EXPECT_EQ(edit->Text(), "teh cat\r\nhous dog");
    // No question, one end message for the whole sequence.
    ASSERT_EQ(prompter.prompts.size(), 1u);
    EXPECT_EQ(prompter.prompts[0].text, "The spelling check is complete.");
    // The dictionaries were kept loaded only while the sequence ran.
    EXPECT_FALSE(spell->KeepDictionariesActive());
}

TEST_F(SpellCheck, SmartCheckOfASelectionAsksForTheRest) {
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        ui::TScriptedPrompter prompter;
        prompter.QueueResult(yes ? ui::mrYes : ui::mrNo);
        prompter.QueueResult(ui::mrOk);
        ui::TCustomEdit* edit = make(kKinds[1], "teh cat hous sat dgo");
        const int from = static_cast<int>(edit->Text().find("cat"));
        edit->Select(from, static_cast<int>(edit->Text().find(" sat")) - from);
        prompts.clear();
        spell->OnPromptWord = [&](const std::string& word, bool) {
            prompts.push_back(word);
            step("ignore");
        };
        spell->EndMessage = emExceptCancel;
        spell->CheckSmart(new TWinAPIControlParser(MakeEditTextTarget(edit)));
        ASSERT_GE(prompter.prompts.size(), 1u);
        EXPECT_EQ(prompter.prompts[0].text,
                  "The selection has been checked.  Would you like to check the remainder of the document?");
        EXPECT_EQ(prompter.prompts[0].buttons, ui::mbYesNo);
        if (yes) {
            EXPECT_EQ(prompts, (std::vector<std::string>{"hous", "dgo", "teh"}));
            ASSERT_EQ(prompter.prompts.size(), 2u);
            EXPECT_EQ(prompter.prompts[1].text, "The spelling check is complete.");
        } else {
            // No counts as cancelled: no end message.
            EXPECT_EQ(prompts, std::vector<std::string>{"hous"});
            EXPECT_EQ(prompter.prompts.size(), 1u);
        }
        delete edit;
        win::ProcessMessages();
    }
}

TEST_F(SpellCheck, WorkInTheTextResumesFromTheCaret) {
    for (const bool resumeFromLast : {true, false}) {
        SCOPED_TRACE(resumeFromLast);
        prompts.clear();
        spell->SynchronousCheck = false;
        spell->ResumeFromLastPosition = resumeFromLast;
        ui::TCustomEdit* edit = make(kKinds[0], "teh cat hous dgo");
        spell->CheckWinControl(edit, ctAll);
        step("ignore");  // now at "hous"
        TSpellDialog* d = dialog();
        ASSERT_NE(d, nullptr);
        d->OnDeactivate(d);
        EXPECT_FALSE(d->IgnoreButton->Enabled);
        // The user fixes the first word and leaves the caret behind "dgo".
        edit->Select(0, 3);
        edit->SelText = "the";
        edit->Select(static_cast<int>(edit->Text().size()), 0);
        d->OnActivate(d);
        if (resumeFromLast) {
            // Back at the word it stood at.
            EXPECT_EQ(prompts, (std::vector<std::string>{"teh", "hous", "hous"}));
            EXPECT_TRUE(d->IgnoreButton->Enabled);
            step("ignore");
            step("ignore");
        } else {
            // The caret wins: nothing is left behind it.
            EXPECT_EQ(prompts, (std::vector<std::string>{"teh", "hous"}));
        }
        EXPECT_FALSE(spell->CheckRunning());
        EXPECT_EQ(edit->Text(), "the cat hous dgo");
        delete edit;
        win::ProcessMessages();
    }
}

TEST_F(SpellCheck, TheDialogsStates) {
    spell->SynchronousCheck = false;
    ui::TCustomEdit* edit = make(kKinds[0], "zzqxj thre");
    spell->CheckWinControl(edit, ctAll);
    TSpellDialog* d = dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->Visible);
    EXPECT_EQ(d->Caption(), "Spelling");
    EXPECT_EQ(d->IgnoreButton->Caption(), "I&gnore");
    EXPECT_EQ(d->ChangeAllButton->Caption(), "&Change All");
    EXPECT_EQ(d->NotFoundText->Caption(), "Not Found:");
    // Help stays hidden without a help context.
    EXPECT_FALSE(d->HelpButton->Visible);
    // No suggestions: the disabled line, an empty replacement, no changes.
    EXPECT_EQ(d->NotFoundEdit->Text(), "zzqxj");
    ASSERT_EQ(d->SuggestionsListbox->Items->Count, 1);
    EXPECT_EQ(d->SuggestionsListbox->Items->Get(0), "(no suggestions)");
    EXPECT_FALSE(d->SuggestionsListbox->Enabled);
    EXPECT_EQ(d->ReplaceWithEdit->Text(), "");
    EXPECT_FALSE(d->ChangeButton->Enabled);
    EXPECT_FALSE(d->ChangeAllButton->Enabled);
    EXPECT_FALSE(d->AutoCorrectButton->Enabled);
    EXPECT_TRUE(d->AddButton->Enabled);
    EXPECT_FALSE(d->UndoButton->Enabled);
    // Typing a replacement enables the changes.
    d->ReplaceWithEdit->Text = "quiz";
    EXPECT_TRUE(d->ChangeButton->Enabled);
    EXPECT_TRUE(d->AutoCorrectButton->Enabled);
    // Text the code page cannot hold would reach the edit mangled: no change.
    d->ReplaceWithEdit->Text = "\xC5\x81\xC3\xB3" "d\xC5\xBA";  // "Łódź"
    EXPECT_FALSE(d->ChangeButton->Enabled);
    EXPECT_FALSE(d->ChangeAllButton->Enabled);
    EXPECT_FALSE(d->AutoCorrectButton->Enabled);
    d->ReplaceWithEdit->Text = "quiz";
    step("ignore");
    // Suggestions: the first one proposed and chosen.
    EXPECT_EQ(d->NotFoundEdit->Text(), "thre");
    ASSERT_GE(d->SuggestionsListbox->Items->Count, 1);
    EXPECT_EQ(d->ReplaceWithEdit->Text(), d->SuggestionsListbox->Items->Get(0));
    EXPECT_EQ(d->SuggestionsListbox->ItemIndex, 0);
    EXPECT_TRUE(d->SuggestionsListbox->Enabled);
    EXPECT_TRUE(d->UndoButton->Enabled);
    // A click on a suggestion proposes it; a double-click changes to it.
    ASSERT_GE(d->SuggestionsListbox->Items->Count, 2);
    const std::string second = d->SuggestionsListbox->Items->Get(1);
    d->SuggestionsListbox->ItemIndex = 1;
    d->SuggestionsListbox->OnClick(d->SuggestionsListbox);
    EXPECT_EQ(d->ReplaceWithEdit->Text(), second);
    // Options: the configuration dialog, then the same word again.
    int setups = 0;
    spell->OnShowConfigDialog = [&](ui::TWinControl*) { ++setups; };
    d->OptionsButton->Click();
    EXPECT_EQ(setups, 1);
    EXPECT_TRUE(spell->CheckRunning());
    EXPECT_EQ(d->NotFoundEdit->Text(), "thre");
    d->SuggestionsListbox->ItemIndex = 1;
    d->SuggestionsListbox->OnDblClick(d->SuggestionsListbox);
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(edit->Text(), "zzqxj " + second);
    delete edit;
}

// Without the owner's event, Options shows the stock configuration dialog;
// what it changes holds when the check goes on at the same word.
TEST_F(SpellCheck, OptionsWithoutTheOwnersEventShowTheConfigurationDialog) {
    ui::TScriptedDialogs dialogs;
    int shown = 0;
    dialogs.QueueModal([&](ui::TForm& form) {
        auto& config = dynamic_cast<TSpellCheckConfigDialog&>(form);
        ++shown;
        for (int i = 0; i < config.OptionCount(); ++i)
            if (config.Option[i]->Tag() == soUpcase) config.Option[i]->Checked = true;
        return ui::mrOk;
    });
    spell->SynchronousCheck = false;
    ui::TCustomEdit* edit = make(kKinds[0], "thre ZZQXJ");
    spell->CheckWinControl(edit, ctAll);
    ASSERT_NE(dialog(), nullptr);
    EXPECT_EQ(dialog()->NotFoundEdit->Text(), "thre");
    dialog()->OptionsButton->Click();
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(spell->Configuration().ReadSpellOptions().Contains(soUpcase));
    ASSERT_TRUE(spell->CheckRunning());
    EXPECT_EQ(dialog()->NotFoundEdit->Text(), "thre");
    step("change=there");
    // Words in capitals are now let through.
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(edit->Text(), "there ZZQXJ");
    delete edit;
}

// The dialog destroyed with its owner while a check waits for it: nothing
// can answer any more, so the check ends instead of waiting for ever.
TEST_F(SpellCheck, ADialogDestroyedWhileTheCheckWaitsEndsTheCheck) {
    spell->OnPromptWord = nullptr;
    ui::TCustomEdit* edit = make(kKinds[0], "thre cat");
    bool destroyed = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(win::PumpUntil([&] { return dialog() != nullptr; }, 5000));
        delete dialog();
        destroyed = true;
    });
    spell->CheckWinControl(edit, ctAll);  // synchronous: returns when the check ends
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(edit->Text(), "thre cat");
    delete edit;
}

TEST_F(SpellCheck, CommandsTheOwnerTurnedOffAndNoUserDictionary) {
    spell->Configuration().WriteActiveCustom("");
    spell->SynchronousCheck = false;
    spell->CommandsVisible &= ~CommandBit(sdcOptions);
    spell->CommandsEnabled &= ~CommandBit(sdcIgnoreAll);
    spell->HelpCtxSpellDialog = 7;
    ui::TCustomEdit* edit = make(kKinds[0], "teh");
    spell->CheckWinControl(edit, ctAll);
    TSpellDialog* d = dialog();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(spell->ActiveCustomDictionary(), nullptr);
    EXPECT_FALSE(d->AddButton->Enabled);
    EXPECT_FALSE(d->AutoCorrectButton->Enabled);
    EXPECT_FALSE(d->IgnoreAllButton->Enabled);
    EXPECT_TRUE(d->IgnoreButton->Enabled);
    EXPECT_FALSE(d->OptionsButton->Visible);
    EXPECT_EQ(d->UndoButton->Top(), 138);  // in the place of Options
    EXPECT_TRUE(d->HelpButton->Visible);
    step("cancel");
    delete edit;
}

TEST_F(SpellCheck, RepeatedWordMode) {
    spell->SynchronousCheck = false;
    spell->Configuration().WriteSpellOptions({soRepeated});
    ui::TCustomEdit* edit = make(kKinds[0], "the the cat teh");
    spell->CheckWinControl(edit, ctAll);
    TSpellDialog* d = dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->RepeatedWord());
    EXPECT_EQ(d->NotFoundText->Caption(), "Repeated Word:");
    EXPECT_EQ(d->NotFoundEdit->Text(), "the the");
    EXPECT_EQ(d->ReplaceWithEdit->Text(), "the");
    EXPECT_TRUE(d->IgnoreButton->Enabled);
    EXPECT_TRUE(d->ChangeButton->Enabled);
    EXPECT_FALSE(d->ChangeAllButton->Enabled);
    EXPECT_FALSE(d->IgnoreAllButton->Enabled);
    EXPECT_FALSE(d->AddButton->Enabled);
    // The word commands do nothing on a repeated word.
    spell->Check_ChangeAll("x");
    spell->Check_IgnoreAll();
    EXPECT_EQ(edit->Text(), "the the cat teh");
    step("change");
    // The next ordinary word leaves the mode.
    EXPECT_FALSE(d->RepeatedWord());
    EXPECT_EQ(d->NotFoundText->Caption(), "Not Found:");
    EXPECT_TRUE(d->IgnoreAllButton->Enabled);
    step("ignore");
    EXPECT_EQ(edit->Text(), "the cat teh");
    delete edit;
}

TEST_F(SpellCheck, CommandsWithoutACheckDoNothing) {
    spell->Check_Ignore();
    spell->Check_Change("x");
    spell->Check_Undo();
    spell->Check_Cancel();
    EXPECT_FALSE(spell->CheckRunning());
    EXPECT_EQ(spell->SpellDialog(), nullptr);
}

TEST_F(SpellCheck, TheDialogStaysClearOfTheControlAndRemembersWhereItWas) {
    spell->SynchronousCheck = false;
    spell->DialogInitialPos = ipLastUserPos;
    ui::TCustomEdit* edit = make(kKinds[0], "teh");
    spell->CheckWinControl(edit, ctAll);
    TSpellDialog* d = dialog();
    ASSERT_NE(d, nullptr);
    // Never placed before: below the control, left edges aligned, its frame
    // (title bar and all) clear of the control.
    const ui::TPoint origin = edit->ClientToScreen({0, 0});
    EXPECT_EQ(outer(d).left(), origin.X);
    EXPECT_EQ(outer(d).top(), origin.Y + edit->Height);
    d->SetBounds(40, 300, d->Width, d->Height);
    step("ignore");
    EXPECT_EQ(spell->Configuration().ReadDialogX(), 40);
    EXPECT_EQ(spell->Configuration().ReadDialogY(), 300);
    win::ProcessMessages();
    spell->CheckWinControl(edit, ctAll);
    ASSERT_NE(dialog(), nullptr);
    EXPECT_EQ(dialog()->ClientToScreen({0, 0}).X, 40);
    EXPECT_EQ(dialog()->ClientToScreen({0, 0}).Y, 300);
    step("cancel");
    delete edit;
}

TEST_F(SpellCheck, CountsOfWordsAndErrors) {
    struct Case {
        const char* text;
        int words, errors;
    } cases[] = {
        {"", 0, 0},
        {"the cat sat on the mat", 6, 0},
        {"teh cat sat on teh mat", 6, 2},
        {"the the cat", 3, 1},  // a repeated word counts with the option
        {"http://www.example.com/wrod is here", 2, 0},  // the address is no word
        {"3.14 is a number", 4, 1},  // "number" is not in the dictionary
    };
    spell->Configuration().WriteSpellOptions({soRepeated, soInternet});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(spell->GetWordCountString(c.text), c.words);
        EXPECT_EQ(spell->GetErrorCountString(c.text), c.errors);
        EXPECT_EQ(spell->ErrorsPresentInString(c.text), c.errors > 0);
    }
    // Over a control: the selection only, and nothing for other kinds.
    ui::TCustomEdit* edit = make(kKinds[1], "teh cat\r\nhous dgo wrod");
    const int hous = static_cast<int>(edit->Text().find("hous"));
    edit->Select(hous, 8);
    EXPECT_EQ(spell->GetWordCountWinControl(edit, ctSelected), 2);
    // A count collapses the selection at its start.
    EXPECT_EQ(edit->SelStart(), hous);
    EXPECT_EQ(edit->SelLength(), 0);
    edit->Select(hous, 8);
    EXPECT_EQ(spell->GetErrorCountWinControl(edit, ctSelected), 2);
    EXPECT_EQ(spell->GetWordCountWinControl(edit, ctFromCursor), 0);
    EXPECT_EQ(spell->GetWordCountWinControl(edit, ctAll), 5);
    EXPECT_EQ(spell->GetErrorCountWinControl(edit, ctAll), 4);
    EXPECT_TRUE(spell->ErrorsPresentInWinControl(edit, ctAll));
    delete edit;
}

TEST_F(SpellCheck, AModalDialogDrivesTheCheckFromItsOwnLoop) {
    for (const bool immediate : {false, true}) {
        SCOPED_TRACE(immediate ? "shown at once" : "shown at the first word");
        ui::TScriptedDialogs dialogs;
        spell->DialogShowModal = true;
        spell->DialogShowImmediate = immediate;
        ui::TCustomEdit* edit = make(kKinds[0], "teh cat hous");
        dialogs.QueueModal([&](ui::TForm& f) {
            EXPECT_EQ(&f, dialog());
            EXPECT_EQ(prompts, std::vector<std::string>{"teh"});
            step("change=the");
            step("ignore");
            EXPECT_FALSE(spell->CheckRunning());
            return ui::mrOk;
        });
        prompts.clear();
        spell->CheckWinControl(edit, ctAll);
        EXPECT_FALSE(spell->CheckRunning());
        EXPECT_EQ(edit->Text(), "the cat hous");
        EXPECT_EQ(prompts, (std::vector<std::string>{"teh", "hous"}));
        EXPECT_EQ(dialogs.modals, std::vector<std::string>{"Spelling"});
        // Closed without a command: the check is cancelled, nothing waits.
        dialogs.QueueModal(ui::mrCancel);
        spell->CheckWinControl(edit, ctAll);
        EXPECT_FALSE(spell->CheckRunning());
        EXPECT_TRUE(spell->CheckCancelled());
        EXPECT_EQ(edit->Text(), "the cat hous");
        delete edit;
        win::ProcessMessages();
    }
}

TEST_F(SpellCheck, TheMediatorNamesTheOptions) {
    TConfigurationDialogCtrl mediator(nullptr);
    EXPECT_EQ(mediator.GetOptionString(soRepeated), "");  // no component yet
    EXPECT_FALSE(mediator.ReadCanUndo());
    int available = 0;
    mediator.OnConfigurationAvailable = [&] { ++available; };
    spell->ConfigUserOption[1] = "Ignore ticket numbers";
    mediator.WriteLexiroSpell(spell.get());
    mediator.WriteLexiroSpell(spell.get());  // only the first counts
    EXPECT_EQ(available, 1);
    EXPECT_EQ(mediator.GetOptionString(soLiveSpelling), "Check spelling as you type");
    EXPECT_EQ(mediator.GetOptionString(soDUalCaps), "Automatically correct DUal capitals");
    EXPECT_EQ(mediator.GetOptionString(soUser2), "Ignore ticket numbers");
    spell->UILanguage = ltGerman;
    EXPECT_EQ(mediator.GetOptionString(soLiveSpelling), "Automatische Rechtschreibpr\xC3\xBC" "fung");
    spell->OnGetString = [](int id, std::string& text) {
        if (id == lsSpelling) text = "Rechtschreibung!";
    };
    EXPECT_EQ(mediator.GetString(lsSpelling), "Rechtschreibung!");
}

TEST_F(SpellCheck, TheDialogMovesOffTheWord) {
    struct Case {
        TSpellDialogAvoidPos avoid;
        bool moves, leftAligned;
    } cases[] = {{saNone, false, false}, {saAvoid, true, true}, {saAvoidUpDown, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.avoid);
        spell->SynchronousCheck = false;
        spell->DialogInitialPos = ipUserDefined;
        spell->DialogSelectionAvoid = c.avoid;
        ui::TCustomEdit* edit = make(kKinds[0], "the cat sat on\r\nthe mat teh dog");
        TLxRect word;
        // The owner puts the dialog right over the misspelt word.
        spell->OnPositionDialog = [&] {
            TWinAPIControlParser probe(MakeEditTextTarget(edit));
            probe.GetSelectionScreenPosition(word);
            dialog()->SetBounds(word.Left - 5, word.Top - 5, dialog()->Width, dialog()->Height);
        };
        spell->CheckWinControl(edit, ctAll);
        ASSERT_NE(dialog(), nullptr);
        ASSERT_EQ(edit->SelText(), "teh");
        // The whole window, its frame too, moves off the word.
        const QRect frame = outer(dialog());
        const bool over = frame.left() < word.Right && word.Left <= frame.right() && frame.top() < word.Bottom &&
                          word.Top <= frame.bottom();
        EXPECT_EQ(over, !c.moves);
        if (c.moves) {
            EXPECT_EQ(frame.top(), word.Bottom);
        }
        const int frameLeft = dialog()->ClientToScreen({0, 0}).X - frame.left();
        EXPECT_EQ(frame.left(), c.leftAligned ? word.Left : word.Left - 5 - frameLeft);
        step("cancel");
        delete edit;
        win::ProcessMessages();
    }
}

TEST_F(SpellCheck, VerdictsOfTheLoop) {
    // An excluded word stops the check although the main dictionary has it;
    // the owner's verdict comes last.
    spell->UIType = suiSilent;
    ASSERT_NE(spell->ActiveCustomDictionary(), nullptr);
    spell->ActiveCustomDictionary()->AddExclude("sat");
    spell->OnWordCheck = [](const std::string& word, std::string& correction, TWordCheckType& type) {
        if (word == "mat") type = wcDenied;
        if (word == "dgo") {
            correction = "dog";
            type = wcCorrected;
        }
    };
    spell->OnPromptWord = [&](const std::string& word, bool) {
        prompts.push_back(word);
        spell->Check_Ignore();
    };
    std::string text = "the cat sat on the mat dgo";
    spell->CheckString(text);
    EXPECT_EQ(prompts, (std::vector<std::string>{"sat", "mat"}));
    EXPECT_EQ(text, "the cat sat on the mat dog");
}
