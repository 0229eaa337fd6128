// The text window: modal editing and its result, files named by "@",
// printing the selection or the whole text, sorting selected lines.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <string>

#include "mailbox/kwdsply.h"
#include "mailbox/kwfnddlg.h"
#include "platform/ui/graphics.h"
#include "platform/ui/printers.h"
#include "tests/mailbox/win_fixture.h"

using namespace mailbox;

namespace {

class TextWindowTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        find = std::make_unique<Tkwfind>(nullptr);
        window = std::make_unique<Tkwdsply>(nullptr);
    }
    void TearDown() override {
        window.reset();
        WindowsTest::TearDown();
    }
    // Shows Text modally and editable; Edit acts on the window and gives its answer.
    std::string editModal(const std::string& text, std::function<ui::TModalResult(Tkwdsply&)> edit) {
        answers->QueueModal([edit](ui::TForm& f) { return edit(static_cast<Tkwdsply&>(f)); });
        return window->ShowText("Edit", "title", false, false, true, true, -9, text);
    }
    std::unique_ptr<Tkwfind> find;
    std::unique_ptr<Tkwdsply> window;
};

TEST_F(TextWindowTest, ModalEditingGivesTheTextOnlyOnOk) {
    auto typed = [](ui::TModalResult answer) {
        return [answer](Tkwdsply& w) {
            EXPECT_FALSE(w.Memo1->ReadOnly());
            w.Memo1->Text = "changed";
            return answer;
        };
    };
    EXPECT_EQ(editModal("first", typed(ui::mrOk)), "changed");
    EXPECT_TRUE(window->Memo1->ReadOnly());
    EXPECT_EQ(editModal("first", typed(ui::mrCancel)), "");
    EXPECT_TRUE(window->Memo1->ReadOnly());
    // Esc in the memo cancels.
    EXPECT_EQ(editModal("first",
                        [](Tkwdsply& w) {
                            w.Memo1->Text = "changed";
                            ui::WORD key = ui::VK_ESCAPE;
                            w.Memo1KeyDown(w.Memo1, key, 0);
                            return w.ModalResult();
                        }),
              "");
    EXPECT_TRUE(window->Memo1->ReadOnly());
    // Modeless: shown, read-only, no result.
    EXPECT_EQ(window->ShowText("Summary", "Subject: x", false, true, false, false, 8, "text"), "");
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(window->Memo1->ReadOnly());
    EXPECT_EQ(window->Memo1->Text(), "text");
    EXPECT_EQ(window->titls->Caption(), "Subject: x");
    EXPECT_EQ(window->Button1->Caption(), "Find");
}

TEST_F(TextWindowTest, AFileNamedByAtIsShownAndAMissingOneShowsNothing) {
    helpers::savetext(file("shown.txt"), "from the file\r\nline 2");
    window->ShowText("c", "t", false, false, false, false, 8, "@" + file("shown.txt"));
    EXPECT_EQ(window->Memo1->Text(), "from the file\r\nline 2");
    window->ShowText("c", "t", false, false, false, false, 8, "@" + file("missing.txt"));
    EXPECT_EQ(window->Memo1->Text(), "");
}

TEST_F(TextWindowTest, PrintsTheSelectionOrTheWholeText) {
    window->ShowText("Report", "the title", false, true, false, false, 8, "alpha line\r\nbeta line\r\ngamma line");
    ui::Printer()->SetOutputFileName(file("out.pdf"));
    auto printed = [&](ui::TPrintRange range) {
        answers->QueueDialog([range](ui::TCommonDialog& d) {
            static_cast<ui::TPrintDialog&>(d).PrintRange = range;
            return true;
        });
        window->PrintText();
        EXPECT_TRUE(QFileInfo(QString::fromStdString(file("out.pdf"))).size() > 0);
        // What went to the printer: the laid-out document.
        return window->RichEdit1->Text();
    };
    window->Memo1->SelStart = 12;  // "beta line"
    window->Memo1->SelLength = 9;
    std::string out = printed(ui::prSelection);
    EXPECT_EQ(out.rfind("Report\r\n\r\nthe title\r\n\r\n", 0), 0u) << out;
    EXPECT_NE(out.find("the title"), std::string::npos) << out;
    EXPECT_NE(out.find("beta line"), std::string::npos) << out;
    EXPECT_EQ(out.find("alpha line"), std::string::npos) << out;
    // "Selection" with nothing selected prints everything.
    window->Memo1->SelLength = 0;
    out = printed(ui::prSelection);
    EXPECT_NE(out.find("alpha line"), std::string::npos) << out;
    EXPECT_NE(out.find("gamma line"), std::string::npos) << out;
}

TEST_F(TextWindowTest, SortsSelectedLinesOnlyWhenEditable) {
    const std::string text = "zeta\r\nbeta\r\nalpha\r\nomega";
    bool handled = false;
    window->ShowText("c", "t", false, false, false, false, 8, text);
    window->Memo1->SelStart = 0;
    window->Memo1->SelLength = 17;  // the first three lines
    window->cpyContextPopup(window->cpy, {}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(window->Memo1->Text(), text);  // read-only: left alone
    window->Close();
    const std::string edited = editModal(text, [](Tkwdsply& w) {
        bool h = false;
        w.Memo1->SelStart = 0;
        w.Memo1->SelLength = 17;
        w.cpyContextPopup(w.cpy, {}, h);
        EXPECT_EQ(w.Memo1->SelStart, 0);
        EXPECT_EQ(w.Memo1->SelLength, 17);
        return ui::mrOk;
    });
    EXPECT_EQ(edited, "alpha\r\nbeta\r\nzeta\r\nomega");
}

// The title line holds the title and, when shown, the hint at its right
// end, side by side: a long title (a file's details line) is cut before the
// hint, shows its beginning and gives the whole as its hint.
TEST_F(TextWindowTest, TheTitleNeverRunsUnderTheHint) {
    const std::string details = "/home/someone/.local/share/qbfiles/a rather long folder name/pelliwoxaddbook.txt -  "
                                "Size=12,345  Date=Fri Dec 11 09:55:01 2026  Attributes=---A-";
    struct {
        std::string title;
        bool hint;
    } cases[] = {{details, true}, {"Subject: short", true}, {details, false}};
    for (const auto& c : cases) {
        window->ShowText("Pelliwox - Address Book Editor", c.title, c.hint, true, false, false, 8, "a@x.test");
        ASSERT_TRUE(window->Visible());
        const int line = window->header->Width();
        EXPECT_EQ(line, window->ClientWidth()) << "the title line spans the window";
        if (c.hint) {
            EXPECT_TRUE(window->Label1->Visible());
            EXPECT_LE(window->titls->Left() + window->titls->Width(), window->Label1->Left()) << c.title;
            EXPECT_LE(window->Label1->Left() + window->Label1->Width(), line) << "the hint shows whole";
            EXPECT_GE(window->Label1->Top(), 0);
            EXPECT_LE(window->Label1->Top() + window->Label1->Height(), window->header->Height());
        } else {
            EXPECT_EQ(window->titls->Width(), line) << "without the hint the title has the whole line";
        }
        ui::TCanvas measure;
        measure.Font->Assign(*window->titls->Font);
        const bool fits = measure.TextWidth(c.title) < window->titls->Width();
        EXPECT_EQ(window->titls->Alignment(), fits ? ui::taCenter : ui::taLeftJustify) << c.title;
        EXPECT_EQ(window->titls->Hint(), fits ? "" : c.title);
        window->Close();
    }
}

}  // namespace
