// The input dialog: answers, history, the nested fallback, the number
// prompt through it, Del in the history list, the fixed height and the
// folder browser.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <filesystem>
#include <string>

#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "tests/mailbox/win_fixture.h"

using namespace mailbox;

namespace {

class GrabstrTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        dialog = std::make_unique<Tkwgrabstr>(nullptr);
    }
    // The next showing answers with Typed and OK, or with Cancel.
    void answer(const std::string& typed, bool ok = true) {
        answers->QueueModal([typed, ok](ui::TForm& f) {
            static_cast<Tkwgrabstr&>(f).Edit1->Text = typed;
            return ok ? ui::mrOk : ui::mrCancel;
        });
    }
    std::vector<std::string> history() const {
        std::vector<std::string> items;
        for (int i = 0; i < dialog->Edit1->Items->Count; ++i) items.push_back(dialog->Edit1->Items->Get(i));
        return items;
    }
    std::unique_ptr<Tkwgrabstr> dialog;
};

TEST_F(GrabstrTest, OkReturnsTheTextAndCancelLeavesItAlone) {
    std::string shown;
    answers->QueueModal([&](ui::TForm& f) {
        auto& d = static_cast<Tkwgrabstr&>(f);
        shown = d.Caption() + "|" + d.Label1->Caption() + "|" + d.Edit1->Text();
        d.Edit1->Text = "4-7,12-20";
        d.BitBtn1->Click();
        return ui::mrNone;
    });
    std::string text = "1-";
    EXPECT_TRUE(dialog->Execute("Pelliwox - 300 Messages", "Enter Range(s)", text));
    EXPECT_EQ(text, "4-7,12-20");
    EXPECT_EQ(shown, "Pelliwox - 300 Messages|Enter Range(s)|1-");

    answers->QueueModal([](ui::TForm& f) {
        auto& d = static_cast<Tkwgrabstr&>(f);
        d.Edit1->Text = "typed";
        d.BitBtn2->Click();
        return ui::mrNone;
    });
    EXPECT_FALSE(dialog->Execute("Caption", "Prompt", text));
    EXPECT_EQ(text, "4-7,12-20");

    answer("");
    EXPECT_TRUE(dialog->Execute("Caption", "Prompt", text));
    EXPECT_EQ(text, "");
}

TEST_F(GrabstrTest, HistoryTakesNewNonEmptyShortEntriesNewestFirst) {
    std::string text = "proposal";
    answer("first");
    dialog->Execute("C", "P", text);
    EXPECT_EQ(history(), (std::vector<std::string>{"first", "proposal"}));

    // A proposal already listed is not listed twice; an empty one not at all.
    text = "proposal";
    answer("", false);
    dialog->Execute("C", "P", text);
    text = "";
    answer("first");
    dialog->Execute("C", "P", text);
    EXPECT_EQ(history(), (std::vector<std::string>{"first", "proposal"}));

    // 4,096 characters or more are returned but not kept.
    const std::string longest(4095, 'x'), toolong(4096, 'y');
    answer(toolong);
    dialog->Execute("C", "P", text);
    EXPECT_EQ(text, toolong);
    EXPECT_EQ(history().size(), 2u);
    text = "";
    answer(longest);
    dialog->Execute("C", "P", text);
    EXPECT_EQ(history().front(), longest);
}

TEST_F(GrabstrTest, ARequestWhileOnScreenGoesToTheStandardQuery) {
    bool innerok = false;
    std::string inner = "inner proposal";
    answers->QueueInput("inner answer");
    answers->QueueModal([&](ui::TForm& f) {
        innerok = kwgrabstr->Execute("Inner", "Inner prompt", inner);
        static_cast<Tkwgrabstr&>(f).Edit1->Text = "outer answer";
        return ui::mrOk;
    });
    std::string outer;
    EXPECT_TRUE(dialog->Execute("Outer", "Outer prompt", outer));
    EXPECT_EQ(outer, "outer answer");
    EXPECT_TRUE(innerok);
    EXPECT_EQ(inner, "inner answer");
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_EQ(answers->prompts[0].caption, "Inner");
    EXPECT_EQ(answers->prompts[0].value, "inner proposal");
    EXPECT_EQ(answers->modals, (std::vector<std::string>{"Outer"}));
}

TEST_F(GrabstrTest, AsknumberAsksThroughTheDialogWhileItExists) {
    std::string proposal;
    answers->QueueModal([&](ui::TForm& f) {
        auto& d = static_cast<Tkwgrabstr&>(f);
        proposal = d.Edit1->Text;
        d.Edit1->Text = "-12";
        return ui::mrOk;
    });
    std::string answer = "20";
    EXPECT_EQ(helpers::asknumber("Pelliwox - Retain", "How many?", answer), -12);
    EXPECT_EQ(proposal, "20");
    EXPECT_EQ(answer, "-12");

    answers->QueueModal(ui::mrCancel);
    EXPECT_EQ(helpers::asknumber("Pelliwox - Retain", "How many?", answer), 0);
    EXPECT_EQ(answer, "kwcanx");
    EXPECT_TRUE(answers->prompts.empty());

    // Without the dialog the standard query asks.
    dialog.reset();
    EXPECT_EQ(kwgrabstr, nullptr);
    answers->QueueInput("7");
    answer = "1";
    EXPECT_EQ(helpers::asknumber("T", "P", answer), 7);
    ASSERT_EQ(answers->prompts.size(), 1u);
    EXPECT_EQ(answers->prompts[0].value, "1");
}

TEST_F(GrabstrTest, DelRemovesTheHighlightedEntryOnlyWhileTheListIsDown) {
    dialog->Edit1->Items->Add("alpha");
    dialog->Edit1->Items->Add("beta");
    dialog->Edit1->Items->Add("gamma");
    show(dialog.get());
    dialog->Edit1->Text = "typed";
    dialog->Edit1->SelStart = 0;
    ui::WORD key = ui::VK_DELETE;
    dialog->Edit1KeyDown(dialog->Edit1, key, 0);
    EXPECT_EQ(key, ui::VK_DELETE) << "with the list closed Del edits the text";
    EXPECT_EQ(dialog->Edit1->Items->Count(), 3);

    dialog->Edit1->ItemIndex = 1;
    dialog->Edit1->DroppedDown = true;
    ASSERT_TRUE(dialog->Edit1->DroppedDown());
    auto* combo = static_cast<QComboBox*>(dialog->Edit1->Widget());
    QTest::keyClick(combo->view(), Qt::Key_Delete);
    EXPECT_EQ(dialog->Edit1->Items->Count(), 2);
    EXPECT_EQ(dialog->Edit1->Items->Get(0), "alpha");
    EXPECT_EQ(dialog->Edit1->Items->Get(1), "gamma");
    dialog->Edit1->DroppedDown = false;
    dialog->Hide();
}

TEST_F(GrabstrTest, TheHeightStaysAndTheTextBoxFollowsTheWidth) {
    show(dialog.get());
    dialog->SetBounds(0, 0, 600, 400);
    win::ProcessMessages();
    EXPECT_EQ(dialog->Height, 139);
    EXPECT_EQ(dialog->Width, 600);
    EXPECT_EQ(dialog->Edit1->Width, 570);
    EXPECT_EQ(dialog->Edit2->Width, 570);
    dialog->Hide();
}

TEST_F(GrabstrTest, APasswordEditShownInsteadTakesTheFocusAndSelection) {
    dialog->Edit1->Visible = false;
    dialog->Edit2->Visible = true;
    dialog->Edit2->Text = "secret";
    int selected = -1;
    answers->QueueModal([&](ui::TForm& f) {
        selected = static_cast<Tkwgrabstr&>(f).Edit2->SelLength;
        return ui::mrCancel;
    });
    std::string text;
    dialog->Execute("Password", "Enter the password", text);
    EXPECT_EQ(selected, 6);
}

TEST_F(GrabstrTest, TheFolderButtonBrowsesAndHidesWhenTheDialogCloses) {
    const std::string start = folder.path().toStdString();
    std::string preselected, title;
    answers->QueueDialog([&](ui::TCommonDialog& d) {
        auto& browser = static_cast<ui::TBrowseFolderDialog&>(d);
        preselected = browser.Directory;
        title = browser.Title;
        browser.Directory = "/srv/mail";
        return true;
    });
    dialog->Edit1->Text = start;
    dialog->xbtnClick(dialog->xbtn);
    EXPECT_EQ(preselected, start);
    EXPECT_EQ(title, ui::Application->Title() + "\nChoose a Directory :-");
    EXPECT_TRUE(dialog->FolderChosen);
    EXPECT_EQ(dialog->Edit1->Text(), "/srv/mail");

    // Not a folder: the browser starts in the current one; cancelled, the text stays.
    answers->QueueDialog([&](ui::TCommonDialog& d) {
        preselected = static_cast<ui::TBrowseFolderDialog&>(d).Directory;
        return false;
    });
    dialog->Edit1->Text = "not a folder";
    dialog->xbtnClick(dialog->xbtn);
    EXPECT_EQ(preselected, std::filesystem::current_path().string());
    EXPECT_FALSE(dialog->FolderChosen);
    EXPECT_EQ(dialog->Edit1->Text(), "not a folder");

    dialog->xbtn->Visible = true;
    answers->QueueModal(ui::mrCancel);
    std::string text;
    dialog->Execute("C", "P", text);
    EXPECT_FALSE(dialog->xbtn->Visible());
}

}  // namespace
