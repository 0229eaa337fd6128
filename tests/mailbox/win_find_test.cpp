// The find dialog: its options and marker handling, and its searches in
// memos, edits and rich edits.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <string>

#include "mailbox/kwfnddlg.h"
#include "platform/ui/comctrls.h"
#include "tests/mailbox/win_fixture.h"

using namespace mailbox;

namespace {

// Line 0 "alpha beta", line 1 "gamma Beta delta", line 2 "betamax",
// line 3 "last beta line".
const std::string kMemoText = "alpha beta\r\ngamma Beta delta\r\nbetamax\r\nlast beta line";

int at(const std::string& text, const std::string& what) { return static_cast<int>(text.find(what)); }
const int kLastBeta = at(kMemoText, "last beta") + 5;

class FindTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        find = std::make_unique<Tkwfind>(nullptr);
        memo = new ui::TMemo(form.get());
        memo->SetBounds(0, 0, 400, 150);
        memo->Text = kMemoText;
    }
    // The dialog's settings as the user would leave them.
    void settings(const std::string& text, bool down, bool matchcase = false, bool wholeword = false) {
        find->fndtxt->Text = text;
        find->dirgrp->ItemIndex = down ? 1 : 0;
        find->mtchcase->Checked = matchcase;
        find->mtchwhwrd->Checked = wholeword;
    }
    // The next showing: Text typed, then OK clicked.
    void typeAndOk(const std::string& text) {
        answers->QueueModal([text](ui::TForm& f) {
            auto& d = static_cast<Tkwfind&>(f);
            d.fndtxt->Text = text;
            d.BitBtn1->Click();
            return ui::mrNone;
        });
    }
    QLineEdit* textbox() const { return static_cast<QComboBox*>(find->fndtxt->Widget())->lineEdit(); }
    std::unique_ptr<Tkwfind> find;
    ui::TMemo* memo = nullptr;
};

TEST_F(FindTest, ExecuteShowsThePromptAndRestoresTheWindow) {
    bool optionsShown = true;
    std::string shown;
    answers->QueueModal([&](ui::TForm& f) {
        auto& d = static_cast<Tkwfind&>(f);
        optionsShown = d.mtchcase->Visible || d.mtchwhwrd->Visible;
        shown = d.Caption() + "|" + d.Label1->Caption() + "|" + d.fndtxt->Text();
        d.fndtxt->Text = "x*y";
        d.BitBtn1->Click();
        return ui::mrNone;
    });
    std::string text = "old";
    EXPECT_TRUE(find->Execute("Pelliwox - Locate a Row", "Enter Search String", false, text));
    EXPECT_EQ(text, "x*y");
    EXPECT_FALSE(optionsShown);
    EXPECT_EQ(shown, "Pelliwox - Locate a Row|Enter Search String :-|old");
    EXPECT_EQ(find->Caption(), "Find :-");
    EXPECT_EQ(find->Label1->Caption(), "Text to Find :-");
    EXPECT_TRUE(find->mtchcase->Visible());
    EXPECT_TRUE(find->mtchwhwrd->Visible());
    EXPECT_EQ(find->fndtxt->Items->IndexOf("x*y"), 0);
}

TEST_F(FindTest, OnlyAUsableTextCountsAsOk) {
    struct Case {
        std::string typed;
        bool pressOk;
        bool result;
    } const cases[] = {
        {"", true, false},        // OK with nothing typed keeps the dialog open
        {"kwre:", true, false},   // the bare marker is no search
        {"KWRE:", true, false},
        {"kwre:a+", true, true},
        {"word", false, false},   // Cancel
        {"word", true, true},
    };
    for (const Case& c : cases) {
        answers->QueueModal([&c](ui::TForm& f) {
            auto& d = static_cast<Tkwfind&>(f);
            d.fndtxt->Text = c.typed;
            (c.pressOk ? d.BitBtn1 : d.BitBtn2)->Click();
            return ui::mrNone;
        });
        std::string text = "before";
        EXPECT_EQ(find->Execute("Find", "Text", true, text), c.result) << c.typed;
        EXPECT_EQ(text, c.result ? c.typed : "before") << c.typed;
    }
    // Every non-empty text that OK accepted is listed once, letter case aside.
    EXPECT_EQ(find->fndtxt->Items->Count(), 3);
}

TEST_F(FindTest, TheMarkerFollowsTheRegularExpressionBox) {
    show(find.get());
    QLineEdit* box = textbox();
    box->setFocus();
    QTest::keyClicks(box, "abc");
    EXPECT_FALSE(find->regexp->Checked());
    EXPECT_EQ(find->Height, Tkwfind::ShortHeight);

    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClicks(box, "kwre:");
    EXPECT_TRUE(find->regexp->Checked());
    EXPECT_EQ(find->fndtxt->Text(), "kwre:abc");
    EXPECT_EQ(find->Height, Tkwfind::TallHeight);
    EXPECT_TRUE(find->Memox->Visible());

    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < 5; ++i) QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_FALSE(find->regexp->Checked());
    EXPECT_EQ(find->fndtxt->Text(), "abc");
    EXPECT_EQ(find->Height, Tkwfind::ShortHeight);
    EXPECT_FALSE(find->Memox->Visible());

    // Regular expression and whole word exclude each other.
    find->mtchwhwrd->Checked = true;
    find->regexp->Checked = true;
    EXPECT_EQ(find->fndtxt->Text(), "kwre:abc");
    EXPECT_FALSE(find->mtchwhwrd->Checked());
    find->mtchwhwrd->Checked = true;
    EXPECT_FALSE(find->regexp->Checked());
    EXPECT_EQ(find->fndtxt->Text(), "abc");
    EXPECT_EQ(find->Height, Tkwfind::ShortHeight);
    find->Hide();
}

TEST_F(FindTest, MemoSearchTable) {
    struct Case {
        std::string text;
        bool down, matchcase, wholeword;
        int caret;
        int pos;  // -1: not found
        std::string found;
    } const cases[] = {
        {"beta", true, false, false, 0, at(kMemoText, "beta"), "beta"},
        {"Beta", true, true, false, 0, at(kMemoText, "Beta"), "Beta"},
        {"beta", true, false, false, 7, at(kMemoText, "Beta"), "Beta"},
        {"b?ta*x", true, false, false, 0, at(kMemoText, "betamax"), "betamax"},
        {"kwre:^bet", true, false, false, 0, at(kMemoText, "betamax"), "bet"},
        {"beta", true, false, true, at(kMemoText, "betamax"), kLastBeta, "beta"},
        // The caret at the end, or one before it, starts from the top.
        {"alpha", true, false, false, static_cast<int>(kMemoText.size()) - 1, 0, "alpha"},
        // Up: the lines above the caret's, nearest first.
        {"beta", false, false, false, at(kMemoText, "betamax") + 3, at(kMemoText, "Beta"), "Beta"},
        {"beta", false, true, false, at(kMemoText, "betamax") + 3, at(kMemoText, "beta"), "beta"},
        // Up from the first line: from the last line up.
        {"beta", false, false, false, 2, kLastBeta, "beta"},
        {"zzz", true, false, false, 0, -1, ""},
    };
    for (const Case& c : cases) {
        find = std::make_unique<Tkwfind>(nullptr);
        settings(c.text, c.down, c.matchcase, c.wholeword);
        memo->SelStart = c.caret;
        if (c.pos < 0) answers->QueueResult(ui::mrNo);
        EXPECT_EQ(find->FindNext(memo), c.pos >= 0) << c.text;
        if (c.pos < 0) {
            EXPECT_EQ(memo->SelStart, c.caret);
            continue;
        }
        EXPECT_EQ(memo->SelStart, c.pos) << c.text;
        EXPECT_EQ(memo->SelText(), c.found) << c.text;
    }
}

TEST_F(FindTest, FindAgainStartsOneCharacterPastTheCaret) {
    settings("beta", true);
    memo->SelStart = 0;
    const int hits[] = {at(kMemoText, "beta"), at(kMemoText, "Beta"), at(kMemoText, "betamax"),
                        kLastBeta};
    for (int hit : hits) {
        ASSERT_TRUE(find->FindNext(memo));
        EXPECT_EQ(memo->SelStart, hit);
    }
    // Up again from the last hit walks back line by line.
    find->dirgrp->ItemIndex = 0;
    ASSERT_TRUE(find->FindNext(memo));
    EXPECT_EQ(memo->SelStart, at(kMemoText, "betamax"));
    EXPECT_TRUE(answers->prompts.empty());
}

TEST_F(FindTest, NoMoreFoundStartsAgainFromTheTop) {
    memo->Text = "beta x beta\r\n";
    settings("beta", true);
    memo->SelStart = 3;
    ASSERT_TRUE(find->FindNext(memo));
    EXPECT_EQ(memo->SelStart, 7);
    answers->QueueResult(ui::mrYes);
    ASSERT_TRUE(find->FindNext(memo));
    EXPECT_EQ(memo->SelStart, 0) << "starting again from the top finds the very first character";
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_EQ(question(0), "No More beta Found\r\nStart Again from the Top ?");

    // No leaves the caret where it was.
    memo->SelStart = 8;
    find->fndtxt->Text = "gamma";
    answers->QueueResult(ui::mrNo);
    EXPECT_FALSE(find->FindNext(memo));
    EXPECT_EQ(memo->SelStart, 8);
}

TEST_F(FindTest, NoMoreFoundUpwardsStartsAgainFromTheBottomLine) {
    memo->Text = "x\r\nmid\r\nbeta end";
    settings("beta", false);
    memo->SelStart = 4;  // in "mid"
    answers->QueueResult(ui::mrYes);
    ASSERT_TRUE(find->FindNext(memo));
    EXPECT_EQ(memo->SelText(), "beta");
    EXPECT_EQ(memo->SelStart, 8);
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_EQ(question(0), "No More beta Found\r\nStart Again from the Bottom ?");
}

TEST_F(FindTest, EditsAreSearchedLikeMemos) {
    auto* edit = new ui::TEdit(form.get());
    edit->Text = "one two one";
    settings("one", true);
    edit->SelStart = 0;
    ASSERT_TRUE(find->FindNext(edit));
    EXPECT_EQ(edit->SelStart, 0);
    ASSERT_TRUE(find->FindNext(edit));
    EXPECT_EQ(edit->SelStart, 8);
    EXPECT_EQ(edit->SelLength, 3);
}

TEST_F(FindTest, MemoKeys) {
    show(form.get());
    // Ctrl+F asks with the direction group, then searches.
    bool directionShown = false;
    answers->QueueModal([&](ui::TForm& f) {
        auto& d = static_cast<Tkwfind&>(f);
        directionShown = d.dirgrp->Visible;
        d.fndtxt->Text = "delta";
        d.BitBtn1->Click();
        return ui::mrNone;
    });
    ui::WORD key = 'F';
    EXPECT_TRUE(find->MemoKeyDown(memo, key, ui::ssCtrl));
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(directionShown);
    EXPECT_FALSE(find->dirgrp->Visible());
    EXPECT_EQ(memo->SelText(), "delta");

    key = ui::VK_F3;
    memo->SelStart = 0;
    EXPECT_TRUE(find->MemoKeyDown(memo, key, 0));
    EXPECT_EQ(memo->SelText(), "delta");

    key = 'A';
    EXPECT_TRUE(find->MemoKeyDown(memo, key, ui::ssCtrl));
    EXPECT_EQ(memo->SelLength, static_cast<int>(kMemoText.size()));

    // Other keys and other modifiers are left to the memo.
    for (auto [k, shift] : {std::pair<ui::WORD, ui::TShiftState>{'F', 0}, {'F', ui::ssCtrl | ui::ssShift},
                            {ui::VK_F3, ui::ssShift}, {'A', ui::ssAlt}}) {
        key = k;
        EXPECT_FALSE(find->MemoKeyDown(memo, key, shift));
        EXPECT_EQ(key, k);
    }
    // Cancel asks and searches nothing.
    answers->QueueModal(ui::mrCancel);
    memo->SelStart = 0;
    key = 'F';
    find->MemoKeyDown(memo, key, ui::ssCtrl);
    EXPECT_EQ(memo->SelLength, 0);
}

TEST_F(FindTest, RichEditSearchesFindAgainAndTheirOptions) {
    auto* rich = new ui::TRichEdit(form.get());
    rich->SetBounds(0, 160, 400, 100);
    rich->Text = "One two three\r\nTwo TWO twofold";
    rich->Tag = 999;
    find->fndtxt->Text = "";
    EXPECT_EQ(find->FindInRichEdit(rich), -1);
    find->fndtxt->Text = "KWRE:";
    EXPECT_EQ(find->FindInRichEdit(rich), -1);

    settings("two", true);
    rich->SelStart = 0;
    EXPECT_EQ(find->FindInRichEdit(rich), 4);
    EXPECT_EQ(find->FindInRichEdit(rich), 15) << "the same text again starts one further";
    find->fndtxt->Text = "TWO";  // the same text in other letters is found again too
    EXPECT_EQ(find->FindInRichEdit(rich), 19);

    find->mtchcase->Checked = true;
    find->fndtxt->Text = "two";
    EXPECT_EQ(find->FindInRichEdit(rich), 23);
    find->mtchwhwrd->Checked = true;
    find->fndtxt->Text = "tw*";
    rich->SelStart = 0;
    EXPECT_EQ(find->FindInRichEdit(rich), 4) << "a new text starts at the selection";
    EXPECT_EQ(rich->SelText(), "two");
    EXPECT_EQ(ui::Screen->Cursor, ui::crDefault);
    EXPECT_TRUE(answers->prompts.empty());
}

}  // namespace
