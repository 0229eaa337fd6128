// The edit-control helpers: showing found ranges, lines and lengths,
// freezing, combo lists, searching, replacing texts and word wrap.
#include <gtest/gtest.h>

#include <string>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/stdctrls.h"
#include "tests/mailbox/win_fixture.h"

using namespace helpers;

namespace {

std::string numberedlines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\r\n";
    return text;
}

class EditHelpersTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        memo = new ui::TMemo(form.get());
        memo->WordWrap = false;
        memo->SetBounds(0, 0, 300, 150);
        memo->Text = numberedlines(200);
        show(form.get());
    }
    // Lines that fit the memo's height whole.
    int visiblelines() const {
        const int64_t bottom = memo->CharFromPos({2, memo->ClientHeight - 4});
        return memo->LineFromChar(bottom) - memo->FirstVisibleLine();
    }
    ui::TMemo* memo = nullptr;
};

TEST_F(EditHelpersTest, EdselshowPutsTheTargetAThirdOfTheWayDown) {
    const int visible = visiblelines();
    ASSERT_GT(visible, 5);
    const int start = static_cast<int>(memo->LineIndex(120));
    edselshow(memo, start, 4);
    EXPECT_EQ(memo->SelStart, start);
    EXPECT_EQ(memo->SelLength, 4);
    const int first = memo->FirstVisibleLine();
    EXPECT_GT(120 - first, 0);
    EXPECT_LE(120 - first, visible / 2) << "the target should stand in the upper part";

    // A target already in the upper part scrolls nothing further.
    edselshow(memo, static_cast<int>(memo->LineIndex(first + 1)), 2);
    EXPECT_EQ(memo->FirstVisibleLine(), first);

    // With the selection after the target, the target still ends selected.
    memo->SelStart = static_cast<int>(memo->LineIndex(150));
    const int earlier = static_cast<int>(memo->LineIndex(130)) + 2;
    edselshow(memo, earlier, 3);
    EXPECT_EQ(memo->SelStart, earlier);
    EXPECT_EQ(memo->SelText(), "ne ");
}

TEST_F(EditHelpersTest, EdselectScrollsFiveLinesPastTheCaret) {
    const int visible = visiblelines();
    ASSERT_GT(visible, 6);
    edselect(memo, static_cast<int>(memo->LineIndex(3)), 2);
    EXPECT_EQ(memo->FirstVisibleLine(), 0) << "near the top nothing scrolls";

    const int start = static_cast<int>(memo->LineIndex(40));
    edselect(memo, start, 6);
    EXPECT_EQ(memo->SelText(), "line 4");
    const int first = memo->FirstVisibleLine();
    EXPECT_LE(first, 40);
    // Scrolled into view at the bottom, then five lines more.
    EXPECT_LE(40 - first, visible - 5);
}

TEST_F(EditHelpersTest, CaretLineAndTextLengthCountLineBreaksAsTwoBytes) {
    memo->Text = "ab\r\n\xC3\xA9x\r\nef";
    EXPECT_EQ(edtextlen(memo), 11);
    memo->SelStart = 9;
    EXPECT_EQ(edcaretline(memo), 2);
    memo->SelStart = 4;
    EXPECT_EQ(edcaretline(memo), 1);
    memo->SelStart = 0;
    EXPECT_EQ(edcaretline(memo), 0);
}

TEST_F(EditHelpersTest, EdfreezeSilencesChangesUntilTheRestart) {
    auto* rich = new ui::TRichEdit(form.get());
    int changes = 0;
    rich->OnChange = [&](rtl::TObject*) { ++changes; };
    edfreeze(rich, true);
    EXPECT_TRUE(edfrozen);
    rich->Text = "quiet";
    EXPECT_EQ(changes, 0);
    edfreeze(rich, false);
    EXPECT_FALSE(edfrozen);
    rich->Text = "loud";
    EXPECT_EQ(changes, 1);

    // A second stop before the restart must not lose the notifications.
    edfreeze(rich, true);
    edfreeze(rich, true);
    rich->Text = "quiet again";
    edfreeze(rich, false);
    rich->Text = "loud again";
    EXPECT_EQ(changes, 2);
}

TEST_F(EditHelpersTest, CombofitWidensTheListAndFocusesTheEdit) {
    auto* combo = new ui::TComboBox(form.get());
    auto* edit = new ui::TEdit(form.get());
    combo->SetBounds(0, 200, 5, 24);
    combofit(combo, edit);
    EXPECT_EQ(combo->Perform(ui::CB_GETDROPPEDWIDTH, 0, 0), 9);
    EXPECT_EQ(combo->Perform(ui::CB_GETEXTENDEDUI, 0, 0), 1);
    EXPECT_TRUE(edit->Focused());

    combo->Items->Add("abc");
    combo->Items->Add("\xC3\xA9l\xC3\xA9gant");  // 7 characters in 9 bytes
    combo->Items->Add("abcdef");
    combofit(combo, edit);
    EXPECT_EQ(combo->Perform(ui::CB_GETDROPPEDWIDTH, 0, 0), 7 * combo->Font->Size() + 9);
}

// "One two three", "Two TWO twofold", "end": the positions noted are bytes.
const std::string kFindText = "One two three\r\nTwo TWO twofold\r\nend";

TEST_F(EditHelpersTest, EdfindTable) {
    auto* rich = new ui::TRichEdit(form.get());
    rich->SetBounds(0, 160, 300, 100);
    rich->Text = kFindText;
    rich->Tag = 999;  // silent: no offer to start again
    struct Case {
        int start;
        std::string pattern;
        bool wholeword, matchcase;
        int pos;
        std::string found;
    } const cases[] = {
        {0, "two", false, false, 4, "two"},
        {5, "two", false, false, 15, "Two"},
        {5, "two", false, true, 23, "two"},
        {16, "two", true, false, 19, "TWO"},
        {20, "two", true, true, -1, ""},
        {0, "t?o", false, false, 4, "two"},
        {0, "*fold", false, false, 26, "fold"},
        {0, "kwre:t\\w+e{2}", false, false, 8, "three"},
        {0, "KWRE:^end", true, false, 32, "end"},  // a regular expression ignores whole word
        {0, "kwre:^TWO", false, true, -1, ""},
        {100, "one", false, false, 0, "One"},  // past the end: from the top
        {0, "", false, false, -1, ""},
        {0, "***", false, false, -1, ""},
    };
    for (const Case& c : cases) {
        rich->SelStart = 0;
        EXPECT_EQ(edfind(rich, c.start, c.pattern, c.wholeword, c.matchcase), c.pos) << c.pattern << " from " << c.start;
        if (c.pos >= 0) {
            EXPECT_EQ(rich->SelStart, c.pos) << c.pattern;
            EXPECT_EQ(rich->SelText(), c.found) << c.pattern;
        }
    }
    EXPECT_TRUE(answers->prompts.empty());
}

TEST_F(EditHelpersTest, EdfindOffersToStartAgainFromTheTop) {
    auto* edit = new ui::TEdit(form.get());
    edit->Text = "one two one";
    answers->QueueResult(ui::mrNo);
    edit->SelStart = 5;
    EXPECT_EQ(edfind(edit, 9, "one", true, true), -1);
    EXPECT_EQ(edit->SelStart, 5) << "No leaves the selection alone";
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_EQ(question(0),
              "Whole Word Case Sensitive Search for\r\none\r\nNo More Found - Start Again From the Top ?");

    answers->QueueResult(ui::mrYes);
    EXPECT_EQ(edfind(edit, 9, "*one", false, false), 0);
    EXPECT_EQ(edit->SelText(), "one");
    EXPECT_EQ(question(1), "Search for\r\n*one\r\nNo More Found - Start Again From the Top ?");
}

TEST_F(EditHelpersTest, EdsettextReplacesTheTextCaretAtTheStart) {
    memo->SelStart = 50;
    edsettext(memo, "first\r\nsecond");
    EXPECT_EQ(memo->Text(), "first\r\nsecond");
    EXPECT_EQ(memo->SelStart, 0);
    memo->SelStart = 5;
    edinsert(memo, "!");
    EXPECT_EQ(memo->Text(), "first!\r\nsecond");
}

TEST_F(EditHelpersTest, MemowrapKeepsTheTextAndTheSelection) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += "a long line of the log that wraps in a narrow memo " + std::to_string(i) + "\r\n";
    memo->Text = text;
    memo->SelStart = 700;
    memo->SelLength = 30;
    const std::string selected = memo->SelText;
    for (bool wrap : {true, false, true}) {
        memowrap(memo, wrap);
        EXPECT_EQ(memo->WordWrap, wrap);
        EXPECT_EQ(memo->ScrollBars, wrap ? ui::ssVertical : ui::ssBoth);
        EXPECT_EQ(memo->Text(), text);
        EXPECT_EQ(memo->Lines->Count(), 60);
        EXPECT_EQ(memo->SelStart, 700);
        EXPECT_EQ(memo->SelText(), selected);
    }
    memo->Text = "";
    memowrap(memo, false);
    EXPECT_EQ(memo->Text(), "");
    EXPECT_EQ(memo->SelStart, 0);
}

}  // namespace
