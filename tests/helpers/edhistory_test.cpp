// The body editor's history: undo and redo, the redo tail, halving at 2000,
// the byte cap, frozen editors and scroll positions beyond 16 bits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers/edhistory.h"
#include "helpers/htmlcolour.h"
#include "platform/ui/comctrls.h"
#include "tests/mailbox/win_fixture.h"

using namespace helpers;

namespace {

class History : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        edit = new ui::TRichEdit(form.get());
        edit->SetBounds(0, 0, 400, 200);
        edit->WordWrap = false;
        show(form.get());
    }
    void TearDown() override {
        histbytecap = savedcap;
        edfrozen = false;
        WindowsTest::TearDown();
    }
    // Types a new state and records it.
    void push(const std::string& text) {
        edit->Text = text;
        histpush(edit);
    }
    ui::TRichEdit* edit = nullptr;
    const int64_t savedcap = histbytecap;
};

TEST_F(History, UndoAndRedoWalkTheSnapshotsAndStopAtBothEnds) {
    edit->Text = "one";
    histreset(edit);
    EXPECT_EQ(histidx, 0);
    EXPECT_EQ(histtop, 0);
    EXPECT_FALSE(histstep(edit, -1)) << "nothing to undo after a reset";
    edit->Text = "one two";
    edit->Select(4, 3);
    histpush(edit);
    push("one two three");

    ASSERT_TRUE(histstep(edit, -1));
    EXPECT_EQ(edit->Text(), "one two");
    EXPECT_EQ(edit->SelStart, 4);
    EXPECT_EQ(edit->SelLength, 3);
    ASSERT_TRUE(histstep(edit, -1));
    EXPECT_EQ(edit->Text(), "one");
    edit->Select(1, 1);
    EXPECT_FALSE(histstep(edit, -1));
    EXPECT_EQ(edit->Text(), "one");
    EXPECT_EQ(edit->SelStart, 1) << "a refused undo leaves the selection";

    ASSERT_TRUE(histstep(edit, +1));
    ASSERT_TRUE(histstep(edit, +1));
    EXPECT_EQ(edit->Text(), "one two three");
    EXPECT_FALSE(histstep(edit, +1));
    EXPECT_EQ(edit->Text(), "one two three");
}

TEST_F(History, ASnapshotAfterAnUndoCutsTheRedoTail) {
    edit->Text = "a";
    histreset(edit);
    push("ab");
    push("abc");
    ASSERT_TRUE(histstep(edit, -1));
    push("abX");
    EXPECT_EQ(histtop, histidx);
    EXPECT_FALSE(histstep(edit, +1));
    ASSERT_TRUE(histstep(edit, -1));
    EXPECT_EQ(edit->Text(), "ab");
    EXPECT_EQ(histbytes(), 1 + 2 + 3) << "the cut-off snapshot's text no longer counts";
}

TEST_F(History, TheTwoThousandthSnapshotHalvesTheHistory) {
    edit->Text = "t0";
    histreset(edit);
    for (int i = 1; i < histcount; ++i) push("t" + std::to_string(i));
    EXPECT_EQ(histidx, histcount - 1);
    push("t2000");
    EXPECT_EQ(histidx, 999);
    EXPECT_EQ(histtop, 999);
    EXPECT_EQ(histsnap(999).text, "t2000") << "the new state takes the newest kept place";
    EXPECT_EQ(histsnap(998).text, "t1998");
    EXPECT_EQ(histsnap(1000).text, "");
    int undone = 0;
    while (histstep(edit, -1)) ++undone;
    EXPECT_EQ(undone, 999);
    EXPECT_EQ(edit->Text(), "t1000");
}

TEST_F(History, TheOldestSnapshotsGoWhenTheTextsExceedTheCap) {
    histbytecap = 100;
    const std::string a(40, 'a'), b(40, 'b'), c(40, 'c');
    edit->Text = a;
    histreset(edit);
    push(b);
    push(c);
    EXPECT_LE(histbytes(), histbytecap);
    std::vector<std::string> reachable = {edit->Text()};
    while (histstep(edit, -1)) reachable.push_back(edit->Text());
    EXPECT_EQ(reachable, (std::vector<std::string>{c, b}));
    // A single snapshot above the cap is still kept: it is the present.
    push(std::string(300, 'd'));
    EXPECT_EQ(histsnap(histidx).text, std::string(300, 'd'));
}

TEST_F(History, AFrozenEditorTakesNoSnapshot) {
    edit->Text = "kept";
    histreset(edit);
    edfrozen = true;
    push("filling in");
    edfrozen = false;
    EXPECT_EQ(histidx, 0);
    EXPECT_FALSE(histstep(edit, -1));
}

TEST_F(History, ScrollPositionsComeBackBeyondSixteenBits) {
    std::string text;
    for (int i = 0; i < 70000; ++i) text += "line " + std::to_string(i) + "\r\n";
    edit->Text = text;
    histreset(edit);
    edit->SetScrollPos(false, 68000);
    ASSERT_EQ(scrollpos(edit, false), 68000);
    histpos(edit);
    edit->SelStart = 0;
    edit->SetScrollPos(false, 0);
    push("short");
    ASSERT_TRUE(histstep(edit, -1));
    EXPECT_EQ(scrollpos(edit, false), 68000);
}

}  // namespace
