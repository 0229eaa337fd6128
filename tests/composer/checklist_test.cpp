// The check-list dialog: its pick mode (the remembered index, Cancel, the
// key table), locating entries, the column layout, the check-mode clicks,
// and loading a stored copy through it from the composer.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "helpers/kwutil.h"
#include "mailbox/kwchklist.h"
#include "mailbox/kwfnddlg.h"
#include "platform/win/pump.h"
#include "tests/composer/editor_fixture.h"

using mailbox::Tkwchklist;

namespace {

class CheckList : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        d = mailbox::kwchklist;
        ASSERT_NE(d, nullptr);
        d->LastIndex = -1;
        d->LocateText.clear();
        d->CheckListBox1->Items->Clear();
    }
    void fill(const std::vector<std::string>& entries) {
        d->CheckListBox1->Items->Clear();
        for (const std::string& e : entries) d->CheckListBox1->Items->Add(e);
    }
    std::string pick(const std::vector<std::string>& list) {
        std::string result = "unset";
        const std::string got = d->PickOne("Choose", "Entries :-", result, list);
        EXPECT_EQ(got, result);
        return got;
    }
    Tkwchklist* d = nullptr;
};

const std::vector<std::string> kFiles = {"a.htm", "b.txt", "c.htm", "d.txt"};

TEST_F(CheckList, PickShowsThePlainListAndGivesTheChosenEntry) {
    bool plain = false;
    dialogs->QueueModal([&](ui::TForm&) {
        plain = d->ListBox1->Visible() && !d->CheckListBox1->Visible() && !d->Button1->Visible() &&
                !d->Button4->Visible() && d->Caption() == "Choose" && d->Label1->Caption() == "Entries :-";
        EXPECT_FALSE(d->hiddencb->Visible()) << "the check mode's layout option has no part in a pick";
        EXPECT_EQ(d->ListBox1->ItemIndex, -1) << "nothing preselected before the first pick";
        d->ListBox1->ItemIndex = 2;
        return ui::mrOk;
    });
    EXPECT_EQ(pick(kFiles), "c.htm");
    EXPECT_TRUE(plain);
    EXPECT_TRUE(d->CheckListBox1->Visible()) << "back in check mode";
    EXPECT_FALSE(d->ListBox1->Visible());
    EXPECT_TRUE(d->Button1->Visible());
    EXPECT_TRUE(d->hiddencb->Visible()) << "and check mode has its option again";
    EXPECT_EQ(d->LastIndex, 2);
}

// The pick opens over the window that asks for it, wherever the dialog
// stood before.
TEST_F(CheckList, ThePickOpensOverTheWindowThatAsks) {
    m->SetBounds(100, 80, 760, 560);
    m->Show();
    struct THide {
        composer::Tmlsend* w;
        ~THide() { w->Hide(); }
    } hide{m};
    ASSERT_TRUE(win::PumpUntil([&] { return ui::Screen->ActiveForm() == m; }, 5000));
    d->SetBounds(0, 0, 430, 400);
    ui::TRect at{};
    dialogs->QueueModal([&](ui::TForm&) {
        at = ui::Rect(d->Left(), d->Top(), d->Left() + d->Width(), d->Top() + d->Height());
        return ui::mrCancel;
    });
    pick(kFiles);
    // Its centre on the composer's (a frame's few pixels aside).
    const int cx = m->Left() + m->Width() / 2, cy = m->Top() + m->Height() / 2;
    EXPECT_LE(std::abs((at.Left + at.Right) / 2 - cx), 4) << at.Left << "," << at.Top;
    EXPECT_LE(std::abs((at.Top + at.Bottom) / 2 - cy), 4) << at.Left << "," << at.Top;
}

TEST_F(CheckList, CancelGivesNothingButTheHighlightIsRemembered) {
    dialogs->QueueModal([&](ui::TForm&) {
        d->ListBox1->ItemIndex = 3;
        return ui::mrCancel;
    });
    EXPECT_EQ(pick(kFiles), "");
    int preselected = -2;
    dialogs->QueueModal([&](ui::TForm&) {
        preselected = d->ListBox1->ItemIndex;
        return ui::mrOk;
    });
    EXPECT_EQ(pick(kFiles), "d.txt");
    EXPECT_EQ(preselected, 3);
    // A remembered index beyond a shorter list preselects nothing.
    dialogs->QueueModal([&](ui::TForm&) {
        preselected = d->ListBox1->ItemIndex;
        return ui::mrOk;
    });
    EXPECT_EQ(pick({"only"}), "");
    EXPECT_EQ(preselected, -1);
}

TEST_F(CheckList, DeleteRemovesAnEntryOnlyForAKeyInTheTable) {
    std::vector<int> counts;
    auto pressDel = [&](ui::TForm&) {
        d->ListBox1->ItemIndex = 1;
        ui::WORD key = ui::VK_DELETE;
        d->ListBox1KeyDown(d->ListBox1, key, 0);
        counts.push_back(d->ListBox1->Items->Count);
        return ui::mrCancel;
    };
    dialogs->QueueModal(pressDel);
    pick(kFiles);
    d->DeleteKeys = {ui::VK_DELETE};
    dialogs->QueueModal(pressDel);
    pick(kFiles);
    dialogs->QueueModal(pressDel);
    pick(kFiles);
    EXPECT_EQ(counts, (std::vector<int>{4, 3, 4})) << "the table is cleared after a pick";
}

TEST_F(CheckList, LocateSearchesAfterTheSelectionAndWraps) {
    fill(kFiles);
    d->CheckListBox1->ItemIndex = 3;
    d->LocateText = "*.htm";
    d->Locate(true);
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 0) << "from the last entry on to the first";
    d->Locate(true);
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 2);
    d->LocateText = "kwre:^c";
    d->Locate(true);
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 2) << "the selected entry itself comes last";

    // F2 asks through the find dialog, F3 searches again.
    dialogs->QueueModal([](ui::TForm& f) {
        auto& find = static_cast<mailbox::Tkwfind&>(f);
        EXPECT_EQ(find.Caption(), "Locate Item");
        find.fndtxt->Text = "*.TXT";
        find.BitBtn1->Click();
        return ui::mrNone;
    });
    ui::WORD key = ui::VK_F2;
    d->FormKeyDown(d, key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 3);
    key = ui::VK_F3;
    d->FormKeyDown(d, key, 0);
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 1);

    dialogs->QueueResult(ui::mrOk);
    d->LocateText = "zzz";
    d->Locate(true);
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    EXPECT_EQ(question(0), "zzz Not Found");
    EXPECT_EQ(d->CheckListBox1->ItemIndex, 1);
}

TEST_F(CheckList, ShortEntriesGoIntoColumnsAndWidenTheDialog) {
    d->Width = 430;
    std::vector<std::string> many;
    for (int i = 0; i < 60; ++i) many.push_back("n" + std::to_string(i));
    fill(many);
    d->ColumnLayout();
    EXPECT_GT(d->CheckListBox1->Columns(), 1);
    EXPECT_GE(d->Width(), 640);
    const int width = d->CheckListBox1->Canvas()->TextWidth("n59") + 9;
    EXPECT_EQ(d->CheckListBox1->Columns(), d->Width() / (width + 20));

    fill({std::string(200, 'W')});
    d->ColumnLayout();
    EXPECT_EQ(d->CheckListBox1->Columns(), 0) << "one column is a plain list";
    d->Width = 430;
}

TEST_F(CheckList, ShiftClicksFillOrClearTheRunAbove) {
    fill({"0", "1", "2", "3", "4", "5"});
    d->CheckListBox1->Checked[1] = true;
    d->CheckListBox1MouseDown(d->CheckListBox1, ui::ssShift, 4);
    std::vector<bool> checked;
    for (int i = 0; i < 6; ++i) checked.push_back(d->CheckListBox1->Checked[i]);
    EXPECT_EQ(checked, (std::vector<bool>{false, true, true, true, false, false}))
        << "up to the checked entry; the clicked one is left to the click";

    auto states = [&] {
        std::vector<bool> v;
        for (int i = 0; i < 6; ++i) v.push_back(d->CheckListBox1->Checked[i]);
        return v;
    };
    // Ctrl+Shift: the unchecked entry directly above ends the run at once.
    d->CheckListBox1MouseDown(d->CheckListBox1, ui::ssShift | ui::ssCtrl, 5);
    EXPECT_EQ(states(), (std::vector<bool>{false, true, true, true, false, true}));
    d->CheckListBox1->Checked[4] = true;
    d->CheckListBox1MouseDown(d->CheckListBox1, ui::ssShift | ui::ssCtrl, 5);
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, false, false, true}))
        << "Ctrl+Shift clears the checked run above and checks the entry";

    d->CheckListBox1->ItemIndex = 5;
    d->promotebtnClick(d->promotebtn);
    EXPECT_EQ(d->CheckListBox1->Items[4], "5");
    EXPECT_EQ(states(), (std::vector<bool>{false, false, false, false, true, false})) << "the marks move along";
    d->demotebtnClick(d->demotebtn);
    d->demotebtnClick(d->demotebtn);
    EXPECT_EQ(d->CheckListBox1->Items[5], "5") << "nothing below the last entry";
}

TEST_F(CheckList, TheEntryUnderTheMouseShowsItsHint) {
    fill(kFiles);
    d->Hints = {"  first  ", "", "third"};
    d->Show();
    struct THide {
        Tkwchklist* w;
        ~THide() {
            w->Hints.clear();
            w->Hide();
        }
    } hide{d};
    auto over = [&](int i) {
        const ui::TRect r = d->CheckListBox1->ItemRect(i);
        d->CheckListBox1MouseMove(d->CheckListBox1, r.Left + 2, (r.Top + r.Bottom) / 2);
        return d->CheckListBox1->Hint();
    };
    EXPECT_EQ(over(0), "first");
    EXPECT_EQ(over(2), "third");
    EXPECT_EQ(over(1), "");
    EXPECT_EQ(over(3), "") << "no hint for an entry beyond the hint list";
}

TEST_F(CheckList, TheComposerLoadsAStoredCopyThroughIt) {
    m->SetAccount("smtp.x.test", "me@x.test", "me@x.test", "pw");
    if (m->Changed()) dialogs->QueueResult(ui::mrNo);  // what the test before typed is let go
    m->NewMessage("bob@x.test", "Kept plan", "<HTML><BODY>stored body</BODY></HTML>");
    dialogs->QueueResult(ui::mrOk);
    m->svdraftClick(m->svdraft);
    m->NewMessage("other@x.test", "Other", "other body");

    std::vector<std::string> offered;
    dialogs->QueueModal([&](ui::TForm&) {
        for (int i = 0; i < d->ListBox1->Items->Count; ++i) offered.push_back(d->ListBox1->Items[i]);
        d->ListBox1->ItemIndex = 0;
        return ui::mrOk;
    });
    dialogs->QueueModal(ui::mrCancel);
    m->lddraftClick(m->lddraft);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(m->subj->Text(), "Kept plan");
    EXPECT_EQ(m->emto->Text(), "bob@x.test");
    EXPECT_EQ(m->bdy->Text(), "<HTML><BODY>stored body</BODY></HTML>");
    std::filesystem::remove_all(folder + "draft");
}

}  // namespace
