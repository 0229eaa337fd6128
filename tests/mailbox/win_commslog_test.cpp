// The communications log window: word wrap keeps the log, find and find
// again through the find dialog.
#include <gtest/gtest.h>

#include <string>

#include "mailbox/commslog.h"
#include "mailbox/kwfnddlg.h"
#include "tests/mailbox/win_fixture.h"

using namespace mailbox;

namespace {

class CommsLogTest : public WindowsTest {
protected:
    void SetUp() override {
        WindowsTest::SetUp();
        find = std::make_unique<Tkwfind>(nullptr);
        log = std::make_unique<Tcmmslog>(nullptr);
        for (int i = 0; i < 300; ++i)
            log->Memo1->Lines->Add("12/01/2026 10:00:" + std::to_string(i % 60) + " - < +OK message " +
                                   std::to_string(i) + " follows, a long reply line that wraps in the window");
        show(log.get());
    }
    std::unique_ptr<Tkwfind> find;
    std::unique_ptr<Tcmmslog> log;
};

TEST_F(CommsLogTest, WordWrapKeepsEveryLine) {
    const std::string text = log->Memo1->Text;
    log->Memo1->SelStart = 5000;
    log->Memo1->SelLength = 12;
    for (bool wrap : {true, false}) {
        log->wwrap->Checked = wrap;
        EXPECT_EQ(log->Memo1->WordWrap, wrap);
        EXPECT_EQ(log->Memo1->ScrollBars, wrap ? ui::ssVertical : ui::ssBoth);
        EXPECT_EQ(log->Memo1->Lines->Count(), 300);
        EXPECT_EQ(log->Memo1->Text(), text);
        EXPECT_EQ(log->Memo1->SelStart, 5000);
        EXPECT_EQ(log->Memo1->SelLength, 12);
    }
    EXPECT_TRUE(log->Memo1->ReadOnly());
}

TEST_F(CommsLogTest, FindAndFindAgain) {
    // F3 before any search does nothing.
    log->Memo1->SelStart = 0;
    ui::WORD key = ui::VK_F3;
    log->Memo1KeyDown(log->Memo1, key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(log->Memo1->SelLength, 0);

    answers->QueueModal([](ui::TForm& f) {
        auto& d = static_cast<Tkwfind&>(f);
        d.fndtxt->Text = "message 1?? ";
        d.BitBtn1->Click();
        return ui::mrNone;
    });
    log->fnditClick(log->fndit);
    EXPECT_EQ(log->Memo1->SelText(), "message 100 ");
    bool handled = false;
    log->fnditContextPopup(log->fndit, {1, 1}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(log->Memo1->SelText(), "message 101 ");
    key = ui::VK_F3;
    log->Memo1KeyDown(log->Memo1, key, 0);
    EXPECT_EQ(log->Memo1->SelText(), "message 102 ");

    key = 'A';
    log->Memo1KeyDown(log->Memo1, key, ui::ssCtrl);
    EXPECT_EQ(log->Memo1->SelLength, static_cast<int>(log->Memo1->Text().size()));
}

}  // namespace
