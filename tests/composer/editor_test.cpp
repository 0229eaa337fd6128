// The composer's body editor: Enter in HTML, the quote block, Find and
// Replace, the find dialog over the body, undo and redo through the
// program's own history, the colouring tick, the thesaurus lookup, live
// spelling and the commands not built yet.
#include <QApplication>
#include <QFontMetrics>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "composer/bodyedit.h"
#include "helpers/edhistory.h"
#include "helpers/edithelpers.h"
#include "helpers/htmlcolour.h"
#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwfnddlg.h"
#include "platform/ui/clipbrd.h"
#include "platform/win/pump.h"
#include "spell/lx3thesaurus.h"
#include "spell/lx3spell.h"
#include "spell/lx3spelldialog.h"
#include "spell/lx3thesaurusdialog.h"
#include "tests/composer/editor_fixture.h"

using namespace composer;

namespace {

const std::string kPage = "<HTML><HEAD><TITLE>x</TITLE></HEAD><BODY>Hello there</BODY></HTML>";

class BodyEditor : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        e = m->BodyEditor.get();
        ASSERT_NE(e, nullptr);
        e->LastSearch.clear();
        e->LastReplacement.clear();
    }
    void body(const std::string& text) {
        // What the case before typed is let go.
        if (m->Changed()) dialogs->QueueResult(ui::mrNo);
        m->NewMessage("bob@x.test", "Plan", text);
    }
    // Answers the next question of the input dialog with Text.
    void answer(const std::string& text) {
        dialogs->QueueModal([this, text](ui::TForm& f) {
            auto& d = dynamic_cast<mailbox::Tkwgrabstr&>(f);
            asked.push_back({d.Caption(), d.Label1->Caption(), d.Edit1->Text()});
            d.Edit1->Text = text;
            return ui::mrOk;
        });
    }
    struct TAsked {
        std::string caption, prompt, proposed;
    };
    std::vector<TAsked> asked;
    TBodyEditor* e = nullptr;
};

TEST_F(BodyEditor, EnterInAnHtmlBodyInsertsABreakTag) {
    struct {
        std::string text;
        std::string after;
        bool consumed;
    } cases[] = {
        {"<html><body>ab</body></html>", "<html><body>a<BR>\r\nb</body></html>", true},
        {"plain ab", "plain ab", false},
    };
    for (auto& c : cases) {
        body(c.text);
        m->bdy->SelStart = static_cast<int>(c.text.find('b', c.text.find("ab")));
        char32_t key = '\r';
        e->bdyKeyPress(m->bdy, key);
        EXPECT_EQ(key == 0, c.consumed) << c.text;
        EXPECT_EQ(m->bdy->Text(), c.after);
    }
}

TEST_F(BodyEditor, QuoteSelectedTextWrapsTheSelectionInTheQuoteStyle) {
    m->BlockStyle = "color:navy";
    body("abc quoted def");
    m->bdy->Select(4, 6);
    e->PopupMenu1Popup(e->PopupMenu1);
    ASSERT_TRUE(e->BlockQuote1->Enabled());
    e->BlockQuote1->Click();
    EXPECT_EQ(m->bdy->Text(), "abc <BLOCKQUOTE STYLE=\"color:navy\">\r\nquoted\r\n</BLOCKQUOTE> def");
    m->bdy->Select(2, 0);
    e->PopupMenu1Popup(e->PopupMenu1);
    EXPECT_FALSE(e->BlockQuote1->Enabled()) << "nothing to quote without a selection";
}

TEST_F(BodyEditor, FindAndReplaceInASelectionKeepsTheGrownSelection) {
    //                0123456789012345678901
    const std::string text = "zz bAnana xx a zz";
    body(text);
    m->bdy->Select(3, 10);  // "bAnana xx " holds three a
    answer("a");
    answer("bb");
    e->FindandReplace1Click(e->FindandReplace1);
    EXPECT_EQ(m->bdy->Text(), "zz bbbnbbnbb xx a zz") << "the a after the selection stays";
    EXPECT_EQ(m->bdy->SelStart, 3);
    EXPECT_EQ(m->bdy->SelLength, 13);
    EXPECT_EQ(m->bdy->SelText(), "bbbnbbnbb xx ");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].caption, "Selected Text Search and Replace");
    EXPECT_EQ(asked[0].prompt, "Search String (Case Insensitive)");
    EXPECT_EQ(asked[1].prompt, "Replace a With");

    // Without a selection everything is replaced, the last texts proposed.
    m->bdy->Select(5, 0);
    answer("ZZ");
    answer("y");
    e->FindandReplace1Click(e->FindandReplace1);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[2].caption, "Global Search and Replace");
    EXPECT_EQ(asked[2].proposed, "a");
    EXPECT_EQ(asked[3].proposed, "bb");
    EXPECT_EQ(m->bdy->Text(), "y bbbnbbnbb xx a y");
    EXPECT_EQ(m->bdy->SelStart, 5);
    EXPECT_EQ(m->bdy->SelLength, 0);
}

// The input dialog asks: wide enough that its caption shows whole (the
// standard input box of the desktop cut "Global Search and Replace").
TEST_F(BodyEditor, FindAndReplaceAsksThroughTheProgramsInputDialog) {
    body("abc");
    answer("b");
    dialogs->QueueModal(ui::mrCancel);
    e->FindandReplace1Click(e->FindandReplace1);
    ASSERT_EQ(dialogs->modals.size(), 2u);
    EXPECT_EQ(dialogs->modals[0], "Global Search and Replace");
    for (const ui::TPrompt& p : dialogs->prompts) EXPECT_NE(p.caption, "Global Search and Replace") << "no box of the desktop's own";
    EXPECT_EQ(m->bdy->Text(), "abc") << "Cancel on the second question replaces nothing";
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    EXPECT_GT(mailbox::kwgrabstr->Width(), metrics.horizontalAdvance("Selected Text Search and Replace") + 120);
}

// Letter case is folded in every script, as the stored-message search and
// the find dialog fold it; what is searched for is taken as written.
TEST_F(BodyEditor, ReplaceFoldsTheCaseOfEveryScript) {
    struct {
        std::string text, search, replacement, after;
        int count;
    } cases[] = {
        {"Zażółć gęślą jaźń", "ZAŻÓŁĆ", "x", "x gęślą jaźń", 1},
        {"ZAŻÓŁĆ i zażółć", "Zażółć", "y", "y i y", 2},
        {"Привет, МИР и мир", "мир", "world", "Привет, world и world", 2},
        {"ΣΟΦΊΑ σοφία", "ΣΟΦΊΑ", "s", "s s", 2},
        {"Ärger ärger ÄRGER", "ärger", "-", "- - -", 3},
        // A letter whose other case takes another number of bytes: the
        // Kelvin sign (three bytes) is a capital k.
        {"5 \xE2\x84\xAA and 6 k", "k", "K", "5 K and 6 K", 2},
        // Wildcard and expression characters are plain text here.
        {"a*b A*B axb", "a*b", "c", "c c axb", 2},
        {"x.y (1) KWRE:x", "kwre:x", "z", "x.y (1) z", 1},
        {"ß and SS", "ss", "t", "ß and t", 1},
        // Text that is not UTF-8 folds ASCII only, and nothing breaks.
        {"caf\xE9 CAF\xC9", "caf", "k", "k\xE9 k\xC9", 2},
        {"nothing here", "zz", "y", "nothing here", 0},
    };
    for (const auto& c : cases) {
        const TReplaced r = ReplaceEvery(c.text, c.search, c.replacement);
        EXPECT_EQ(r.Text, c.after) << c.text << " / " << c.search;
        EXPECT_EQ(r.Count, c.count) << c.text << " / " << c.search;
    }
}

// In a selection the new selection is what was put in, also where the
// letters replaced took more bytes than the ones searched for.
TEST_F(BodyEditor, ReplaceInASelectionOfOtherCaseKeepsTheSelectionWhole) {
    const std::string text = "<P>\xE2\x84\xAA\xE2\x84\xAA ZAŻÓŁĆ</P>";
    body(text);
    m->bdy->Select(3, static_cast<int64_t>(text.size()) - 7);
    answer("k");
    answer("ab");
    e->FindandReplace1Click(e->FindandReplace1);
    EXPECT_EQ(m->bdy->Text(), "<P>abab ZAŻÓŁĆ</P>");
    EXPECT_EQ(m->bdy->SelText(), "abab ZAŻÓŁĆ");
    answer("zażółć");
    answer("x");
    e->FindandReplace1Click(e->FindandReplace1);
    EXPECT_EQ(m->bdy->Text(), "<P>abab x</P>");
    EXPECT_EQ(m->bdy->SelText(), "abab x");
}

TEST_F(BodyEditor, ReplaceEveryCountsOnePass) {
    const TReplaced r = ReplaceEvery("aAa", "a", "aa");
    EXPECT_EQ(r.Text, "aaaaaa");
    EXPECT_EQ(r.Count, 3);
}

TEST_F(BodyEditor, TheFindDialogSearchesTheBody) {
    body("alpha beta gamma Beta");
    m->bdy->SelStart = 0;
    dialogs->QueueModal([](ui::TForm& f) {
        auto& find = static_cast<mailbox::Tkwfind&>(f);
        EXPECT_EQ(find.Caption(), "Find Text");
        find.fndtxt->Text = "beta";
        find.mtchcase->Checked = false;
        find.BitBtn1->Click();
        return ui::mrNone;
    });
    e->FindText1->Click();
    EXPECT_EQ(m->bdy->SelStart, 6);
    EXPECT_EQ(m->bdy->SelLength, 4);
    e->FindAgain1->Click();
    EXPECT_EQ(m->bdy->SelStart, 17);
    EXPECT_EQ(m->bdy->SelText(), "Beta");
}

// Finding again starts one character on, never inside one: a word that
// begins with a letter of two bytes is found in every case each time.
TEST_F(BodyEditor, FindAgainStepsWholeCharacters) {
    const std::string text = "żółw, ŻÓŁW i Żółw";
    body(text);
    m->bdy->SelStart = 0;
    dialogs->QueueModal([](ui::TForm& f) {
        auto& find = static_cast<mailbox::Tkwfind&>(f);
        find.fndtxt->Text = "ŻÓŁW";
        find.mtchcase->Checked = false;
        find.mtchwhwrd->Checked = false;
        find.BitBtn1->Click();
        return ui::mrNone;
    });
    e->FindText1->Click();
    std::vector<int> found = {m->bdy->SelStart};
    for (int i = 0; i < 2; ++i) {
        e->FindAgain1->Click();
        found.push_back(m->bdy->SelStart);
        EXPECT_EQ(m->bdy->SelLength, 7);
    }
    EXPECT_EQ(found, (std::vector<int>{0, static_cast<int>(text.find("ŻÓŁW")), static_cast<int>(text.find("Żółw"))}));
}

TEST_F(BodyEditor, CtrlZAndCtrlShiftZStepThroughTheProgramsHistory) {
    body(kPage);
    EXPECT_EQ(helpers::histidx, 0) << "a loaded body starts the history again";
    m->bdy->SelStart = 0;
    helpers::edinsert(m->bdy, "X");
    ASSERT_TRUE(win::PumpUntil([] { return helpers::histidx == 1; }, 5000)) << "an edit is recorded";
    ui::WORD key = 'Z';
    e->bdyKeyDown(m->bdy, key, ui::ssCtrl);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(m->bdy->Text(), kPage);
    key = 'Z';
    e->bdyKeyDown(m->bdy, key, ui::ssCtrl | ui::ssShift);
    EXPECT_EQ(m->bdy->Text(), "X" + kPage);
    EXPECT_FALSE(e->Timer1->Enabled()) << "a restored text is no new edit";
    EXPECT_EQ(helpers::histtop, 1);
}

TEST_F(BodyEditor, TheColouringTickLeavesTheCaretAndScroll) {
    m->Show();
    struct THide {
        Tmlsend* w;
        ~THide() { w->Hide(); }
    } hide{m};
    body(kPage + "\r\n<P>more</P>");
    m->bdy->Select(5, 2);
    helpers::hlinvalidate();
    ASSERT_TRUE(win::PumpUntil([] { return helpers::hlvisible.find("<P>more") != std::string::npos; }, 5000))
        << "the timers colour the visible lines";
    EXPECT_EQ(m->bdy->SelStart, 5);
    EXPECT_EQ(m->bdy->SelLength, 2);
    EXPECT_EQ(helpers::scrollpos(m->bdy, false), 0);
    m->bdy->Select(0, 1);
    EXPECT_EQ(m->bdy->SelAttributes->Color(), 0x808080);
}

// The colour of the body's character at Pos, the selection kept.
ui::TColor colourAt(ui::TRichEdit* edit, size_t pos) {
    const int64_t start = edit->SelStart, length = edit->SelLength;
    edit->Select(static_cast<int64_t>(pos), 1);
    const ui::TColor c = edit->SelAttributes->Color;
    edit->Select(start, length);
    return c;
}

// Each command that changes the body leaves its visible lines coloured: a
// tag grey, plain text black, a quoted value blue. A replace whose match
// lies below the window, or that finds nothing, leaves the visible lines as
// they read before, so only a colouring started afresh restores them.
TEST_F(BodyEditor, EveryCommandLeavesTheVisibleLinesColoured) {
    m->Show();
    struct THide {
        Tmlsend* w;
        ~THide() { w->Hide(); }
    } hide{m};
    std::string page = "<P>Hello there</P>\r\n";
    for (int i = 0; i < 300; ++i) page += "<P>line " + std::to_string(i) + "</P>\r\n";
    page += "<P>target</P>";
    auto replaceAll = [&](const std::string& search, const std::string& replacement) {
        m->bdy->Select(0, 0);
        answer(search);
        answer(replacement);
        e->FindandReplace1->Click();
    };
    struct {
        const char* name;
        std::function<void()> command;
    } commands[] = {
        {"replace below the window", [&] { replaceAll("target", "goal"); }},
        {"replace without a match", [&] { replaceAll("absent", "x"); }},
        {"paste",
         [&] {
             m->bdy->Select(9, 0);
             ui::Clipboard()->AsText = "<B>bold</B> ";
             e->Paste1->Click();
         }},
        {"quote",
         [&] {
             m->bdy->Select(3, 5);
             e->PopupMenu1Popup(e->PopupMenu1);
             e->BlockQuote1->Click();
             EXPECT_NE(m->bdy->Text().find("<BLOCKQUOTE"), std::string::npos);
         }},
    };
    for (auto& c : commands) {
        body(page);
        m->BlockStyle = "color:navy";
        ASSERT_TRUE(win::PumpUntil([&] { return colourAt(m->bdy, 0) == 0x808080; }, 5000)) << "coloured at first";
        c.command();
        const std::string text = m->bdy->Text();
        const size_t tag = text.find("</P>"), plain = text.find("there"), value = text.find("\"color");
        const bool coloured = win::PumpUntil(
            [&] {
                return colourAt(m->bdy, 0) == 0x808080 && colourAt(m->bdy, tag + 1) == 0x808080 &&
                       colourAt(m->bdy, plain) == ui::clBlack &&
                       (value == std::string::npos || colourAt(m->bdy, value + 1) == 0x9D3900);
            },
            3000);
        EXPECT_TRUE(coloured) << c.name << ": tag " << colourAt(m->bdy, 0) << ", text " << colourAt(m->bdy, plain);
    }
}

// One paste is one step back: typing just before it is a step of its own,
// and a paste that changes nothing is none.
TEST_F(BodyEditor, OnePasteIsOneStepOfTheHistory) {
    body(kPage);
    const size_t at = kPage.find("there");
    m->bdy->Select(static_cast<int64_t>(at), 0);
    helpers::edinsert(m->bdy, "out ");  // typed; its snapshot is still to come
    ASSERT_TRUE(e->Timer1->Enabled());
    ui::Clipboard()->AsText = "pasted ";
    e->Paste1->Click();
    EXPECT_EQ(helpers::histtop, 2) << "the typing and the paste, one step each, at once";
    EXPECT_FALSE(e->Timer1->Enabled());
    win::PumpUntil([] { return false; }, 250);
    EXPECT_EQ(helpers::histtop, 2) << "no step comes later";
    std::string typed = kPage;
    typed.insert(at, "out ");
    ui::WORD key = 'Z';
    e->bdyKeyDown(m->bdy, key, ui::ssCtrl);
    EXPECT_EQ(m->bdy->Text(), typed) << "the first undo takes the paste away";
    key = 'Z';
    e->bdyKeyDown(m->bdy, key, ui::ssCtrl);
    EXPECT_EQ(m->bdy->Text(), kPage);

    // A word pasted over itself.
    body(kPage);
    m->bdy->Select(static_cast<int64_t>(at), 5);
    ui::Clipboard()->AsText = "there";
    e->Paste1->Click();
    win::PumpUntil([] { return false; }, 250);
    EXPECT_EQ(helpers::histtop, 0) << "nothing changed, nothing to undo";
}

TEST_F(BodyEditor, ThesaurusLookupReplacesTheSelectedWordAsOneUndoStep) {
    const std::string text = "<P>A quick reply</P>";
    body(text);
    m->bdy->Select(5, 5);  // "quick"
    dialogs->QueueModal([](ui::TForm& f) {
        auto& d = dynamic_cast<spell::TThesDialog&>(f);
        EXPECT_EQ(d.LookupCombo->Text(), "quick");
        const auto& rows = d.WordRows();
        const auto fast = std::find(rows.begin(), rows.end(), "fast");
        EXPECT_NE(fast, rows.end());
        d.WordList->ItemIndex = static_cast<int>(fast - rows.begin());
        d.ReplaceButton->Click();
        return ui::mrNone;
    });
    e->ThesaurusLookup1->Click();
    EXPECT_EQ(dialogs->modals, std::vector<std::string>{"Thesaurus: English"});
    EXPECT_EQ(m->bdy->Text(), "<P>A fast reply</P>");
    ASSERT_TRUE(win::PumpUntil([] { return helpers::histidx == 1; }, 5000)) << "the replacement is recorded";
    ui::WORD key = 'Z';
    e->bdyKeyDown(m->bdy, key, ui::ssCtrl);
    EXPECT_EQ(m->bdy->Text(), text) << "one undo step brings the word back";

    // A word the thesaurus lacks: the dialog says so and nothing changes.
    body("<P>zzyzx</P>");
    m->bdy->Select(4, 0);
    dialogs->QueueModal([](ui::TForm& f) {
        auto& d = dynamic_cast<spell::TThesDialog&>(f);
        EXPECT_EQ(d.ContextLV->Items->Item(0)->Caption, "(not found)");
        d.CloseButton->Click();
        return ui::mrNone;
    });
    e->ThesaurusLookup1->Click();
    EXPECT_EQ(m->bdy->Text(), "<P>zzyzx</P>");
    EXPECT_EQ(dialogs->modals.size(), 2u);
}

// The texts under a wavy underline in the body, in order.
std::vector<std::string> marked(ui::TRichEdit* edit) {
    std::vector<std::string> out;
    const std::string text = edit->Text();
    bool in = false;
    for (size_t i = 0; i < text.size(); ++i) {
        edit->Select(static_cast<int64_t>(i), 1);
        const bool wave = edit->SelAttributes->UnderlineStyle() == ui::usWave;
        if (wave && !in) out.emplace_back();
        if (wave) out.back() += text[i];
        in = wave;
    }
    return out;
}

TEST_F(BodyEditor, TheBodySpellsLiveOnceTheStartUpGaveItItsFiles) {
    ASSERT_NE(m->LexiroSpell31, nullptr);
    EXPECT_EQ(m->bdy->LexiroSpell(), m->LexiroSpell31.get());
    EXPECT_TRUE(m->bdy->Engine().UnderliningActive());
    EXPECT_FALSE(m->bdy->LiveSpellingOptions());
    const std::string user = helpers::userdatadir();
    EXPECT_EQ(user, Folder() + "userdata/qbfiles/");
    EXPECT_TRUE(std::filesystem::exists(user + "British.lxm")) << "the dictionary is copied to the per-user folder";
    EXPECT_EQ(m->LexiroSpell31->ConfigFilename(), user + "Spell.cfg");
    EXPECT_EQ(m->LexiroSpell31->ConfigStorage(), spell::csFile);
    EXPECT_TRUE(m->LexiroSpell31->WordAcceptable("colour"));
    EXPECT_FALSE(m->LexiroSpell31->WordAcceptable("wrod"));
    EXPECT_TRUE(std::filesystem::exists(user + "syntaro-uk.lxt")) << "the thesaurus is copied there too";
    EXPECT_EQ(m->Thesaurus31->Filename(), user + "syntaro-uk.lxt");
}

// The spelling menu's dialog entry checks the selection only, with the
// dialog under it and no end message, and leaves the settings as they were.
TEST_F(BodyEditor, TheSpellingEntryChecksTheSelectionThroughTheDialog) {
    spell::TLexiroSpell3& c = *m->LexiroSpell31;
    body("<P>Teh wrod and teh end</P>");
    m->bdy->Select(7, 8);  // "wrod and"
    // The check waits for the dialog's answer: the user's click comes from
    // the event loop it runs.
    std::string prompted;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(win::PumpUntil([&] { return c.SpellDialog() && c.SpellDialog()->Visible; }, 5000));
        prompted = c.SpellDialog()->NotFoundEdit->Text();
        c.SpellDialog()->ReplaceWithEdit->Text = "word";
        c.SpellDialog()->ChangeButton->Click();
    });
    m->bdy->Engine().OnSpellingDialog(m->bdy->Engine());
    EXPECT_EQ(prompted, "wrod");
    EXPECT_FALSE(c.CheckRunning()) << "nothing else misspelt in the selection";
    EXPECT_EQ(m->bdy->Text(), "<P>Teh word and teh end</P>");
    EXPECT_TRUE(win::PumpUntil([] { return helpers::histidx == 1; }, 5000)) << "the change is in the history";
    EXPECT_EQ(c.EndMessage, spell::emExceptCancel);
    EXPECT_EQ(c.DialogInitialPos, spell::ipLastUserPos);
}

// Ignore in the spelling dialog takes the word's underline away at once, as
// Ignore in the spelling menu does.
TEST_F(BodyEditor, IgnoreInTheSpellingDialogTakesTheUnderlineAway) {
    m->Show();
    struct THide {
        Tmlsend* w;
        ~THide() { w->Hide(); }
    } hide{m};
    spell::TLexiroSpell3& c = *m->LexiroSpell31;
    body("<P>Teh wrod and</P>");
    ASSERT_TRUE(win::PumpUntil([&] { return marked(m->bdy) == std::vector<std::string>{"Teh", "wrod"}; }, 5000))
        << "both misspellings are marked first";
    m->bdy->Select(7, 8);  // "wrod and"
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(win::PumpUntil([&] { return c.SpellDialog() && c.SpellDialog()->Visible; }, 5000));
        c.SpellDialog()->IgnoreButton->Click();
    });
    m->bdy->Engine().OnSpellingDialog(m->bdy->Engine());
    EXPECT_FALSE(c.CheckRunning());
    EXPECT_TRUE(win::PumpUntil([&] { return marked(m->bdy) == std::vector<std::string>{"Teh"}; }, 5000))
        << "\"wrod\" is ignored here now";
}

TEST_F(BodyEditor, ColoursAndSpellingMarksShareAWordAndStayOutOfTheHistory) {
    m->Show();
    struct THide {
        Tmlsend* w;
        ~THide() { w->Hide(); }
    } hide{m};
    body("<P>He said \"wrod\" today</P>");
    m->bdy->Modified = false;
    helpers::hlinvalidate();
    const int64_t at = static_cast<int64_t>(m->bdy->Text().find("wrod"));
    auto both = [&] {
        const int64_t start = m->bdy->SelStart, length = m->bdy->SelLength;
        m->bdy->Select(at + 2, 1);
        const bool ok = m->bdy->SelAttributes->Color() == 0x9D3900 &&
                        m->bdy->SelAttributes->UnderlineStyle() == ui::usWave &&
                        m->bdy->SelAttributes->UnderlineColor() == ui::clRed;
        m->bdy->Select(start, length);
        return ok;
    };
    ASSERT_TRUE(win::PumpUntil(both, 5000)) << "the quoted string is coloured and its word marked";
    EXPECT_EQ(marked(m->bdy), std::vector<std::string>{"wrod"});
    // The colouring again: the mark stays.
    helpers::hlinvalidate();
    ASSERT_TRUE(win::PumpUntil([] { return !helpers::hlvisible.empty(); }, 5000));
    helpers::hilite(m->bdy);
    EXPECT_TRUE(both());
    // The spelling again: the colour stays.
    m->bdy->Engine().MarkAllLinesDirty();
    m->bdy->WriteLiveSpellingColor(ui::clBlue);
    win::PumpUntil([&] {
        m->bdy->Select(at + 2, 1);
        return m->bdy->SelAttributes->UnderlineColor() == ui::clBlue;
    }, 5000);
    m->bdy->Select(at + 2, 1);
    EXPECT_EQ(m->bdy->SelAttributes->Color(), 0x9D3900);
    EXPECT_EQ(m->bdy->SelAttributes->UnderlineColor(), ui::clBlue);
    m->bdy->WriteLiveSpellingColor(ui::clRed);
    // Neither counted as an edit: no snapshot, no change.
    win::PumpUntil([] { return false; }, 300);
    EXPECT_EQ(helpers::histtop, 0);
    EXPECT_FALSE(e->Timer1->Enabled());
    EXPECT_FALSE(m->bdy->Modified());
}

TEST_F(BodyEditor, TheCommandsWhoseWindowsExistAreEnabled) {
    // The style designer and the thesaurus exist.
    for (ui::TMenuItem* i : {e->PutStyleintoCSSDesigner1, e->SetBlockStyle1, e->FindText1, e->ThesaurusLookup1})
        EXPECT_TRUE(i->Enabled()) << i->Caption();
    EXPECT_TRUE(m->stydesig->Enabled());
}

}  // namespace
