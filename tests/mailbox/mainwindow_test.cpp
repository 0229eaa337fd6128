#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "app/mainroutine.h"
#include "tests/support/program_windows.h"
#include "helpers/kwutil.h"
#include "mailbox/hstinf.h"
#include "mailbox/kwfnddlg.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/win/pump.h"

using namespace mailbox;

namespace {

// The program's windows, made once for the whole binary (as the program
// does), over a temporary program folder.
class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("main");
        testsupport::StartProgramWindows(folder);
    }
    void SetUp() override {
        ASSERT_NE(Form1, nullptr);
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        Form1->Rows().Clear();
        Form1->ListView1->Items->Count = 0;
    }
    void TearDown() override {
        EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown";
        dialogs.reset();
    }
    // Rows with the given texts; MessageNo counts from 1.
    void fill(const std::vector<std::vector<std::string>>& rows) {
        TRowStore& s = Form1->Rows();
        s.SetRowCount(static_cast<int>(rows.size()));
        for (size_t i = 0; i < rows.size(); ++i) {
            const int r = static_cast<int>(i);
            s.Row(r).MessageNo = r + 1;
            s.SetText(r, rtFrom, rows[i][0]);
            s.SetText(r, rtSubject, rows[i][1]);
            s.Row(r).Size = rtl::StrToIntDef(rows[i][2], 0);
        }
        Form1->ListView1->Items->Count = s.RowCount();
    }
    std::vector<int> order() const {
        std::vector<int> r;
        for (int i = 0; i < Form1->RowCount(); ++i) r.push_back(Form1->Rows().Row(i).MessageNo);
        return r;
    }
    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
};
std::string MainWindow::folder;

}  // namespace

TEST_F(MainWindow, ElevenWindowsInOrderAndOneStartUpStep) {
    const char* want[] = {"TForm1",     "Tkwgrabstr", "Tkwfind",   "Tmlsend",  "Tkwdsply", "Tkwchklist",
                          "Tcmmslog",   "Thostinfo",  "Tcssdsgnr", "Tbrwsvwr", "Tkwutzp"};
    std::vector<std::string> forms;
    for (int i = 0; i < ui::Application->ComponentCount(); ++i)
        if (auto* f = dynamic_cast<ui::TForm*>(ui::Application->Components(i))) forms.push_back(f->ClassName());
    EXPECT_EQ(forms, std::vector<std::string>(std::begin(want), std::end(want)));
    EXPECT_EQ(ui::Application->MainForm(), Form1);
    win::PumpFor(300);
    EXPECT_EQ(Form1->StartupSteps, 1);
    EXPECT_FALSE(Form1->Timer3->Enabled());
}

TEST_F(MainWindow, ConfigurationFile) {
    struct Case {
        const char* text;
        int timeout;
    };
    const Case cases[] = {
        {"Arial/9|30", 15},                        // exactly ten characters: ignored
        {"Courier/11/255/BNNN|30", 30},
        {"Courier/11/255/BNNN|soon", 15},          // not a number
    };
    for (const auto& c : cases) {
        Form1->SslPop3Cli1->Timeout = 15;
        Form1->ApplyConfig(c.text);
        EXPECT_EQ(Form1->SslPop3Cli1->Timeout, c.timeout) << c.text;
    }
    EXPECT_EQ(Form1->ListView1->Font->Name(), "Courier");
    EXPECT_EQ(Form1->ConfigText(), "Courier/11/255/BNNN|15");
}

TEST_F(MainWindow, CommandLineForms) {
    struct Case {
        const char* param;
        const char* pull;
        const char* address;
        const char* subject;
        const char* body;
    };
    const Case cases[] = {
        {"pull:pop.example.org/-995 (work)", "pop.example.org/-995 (work)", "", "", ""},
        {"PULL:Host", "Host", "", "", ""},
        {"mailto:a@b.org?subject=Hello+there%21&body=Line%201", "", "a@b.org", "Hello there!", "Line%201"},
        {"MailTo: a@b.org ?body=x&subject=y", "", "a@b.org", "", "x&subject=y"},
        {"a@b.org", "", "a@b.org", "", ""},
    };
    for (const auto& c : cases) {
        Form1->PullHost.clear();
        Form1->ComposeAddress = Form1->ComposeSubject = Form1->ComposeBody = "";
        Form1->ActOnCommandLine(c.param);
        EXPECT_EQ(Form1->PullHost, c.pull) << c.param;
        EXPECT_EQ(Form1->ComposeAddress, c.address) << c.param;
        EXPECT_EQ(Form1->ComposeSubject, c.subject) << c.param;
        EXPECT_EQ(Form1->ComposeBody, c.body) << c.param;
    }
    Form1->PullHost.clear();
}

TEST_F(MainWindow, HostComboFillsTheCredentials) {
    std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary)
        << "pop.a.org/-995 (work),alice,\"pw,1\",smtp.a.org/+587,alice@a.org\r\n"
           "pop.b.org,bob,secret,smtp.b.org,bob@b.org\r\n";
    Form1->LoadHostCombo();
    ASSERT_EQ(Form1->pop3host->Items->Count(), 2);
    EXPECT_EQ(Form1->pop3host->Items->Get(0), "pop.a.org/-995 (work)");
    EXPECT_EQ(Form1->Edit1->Text(), "alice");
    EXPECT_EQ(Form1->Edit2->Text(), "pw,1");
    EXPECT_EQ(Form1->SmtpHost, "smtp.a.org/+587");
    Form1->pop3host->ItemIndex = 1;
    Form1->pop3hostChange(Form1->pop3host);
    EXPECT_EQ(Form1->Edit1->Text(), "bob");
    EXPECT_EQ(Form1->SmtpFrom, "bob@b.org");
    Form1->LoadHostCombo();
    EXPECT_EQ(Form1->pop3host->ItemIndex(), 1) << "the selection stays";

    // Hosts saved while a run uses the connection reach the list only after it.
    std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary) << "pop.c.org,carol,pw,,\r\n";
    Form1->BusyFlag = true;
    Form1->LoadHostCombo();
    EXPECT_EQ(Form1->pop3host->Items->Count(), 2);
    EXPECT_EQ(Form1->Edit1->Text(), "bob");
    Form1->BusyFlag = false;
    EXPECT_TRUE(win::PumpUntil([] { return Form1->pop3host->Items->Count() == 1; }, 3000));
    EXPECT_EQ(Form1->Edit1->Text(), "carol");
    std::remove((folder + "kwpop3hosts.txt").c_str());
}

TEST_F(MainWindow, SortingByColumnHeaders) {
    fill({{"bob", "b", "30"}, {"Alice", "c", "10"}, {"bob", "a", "20"}, {"alice", "d", "10"}});
    Form1->SortKey = 1;
    auto caption = [](int c) { return Form1->ListView1->Columns[c]->Caption(); };
    Form1->SortByColumn(2);  // From, keeping the ascending direction
    EXPECT_EQ(order(), (std::vector<int>{2, 4, 1, 3}));
    EXPECT_EQ(caption(1), "v From");
    EXPECT_EQ(caption(0), "Msg");
    Form1->SortByColumn(2);  // again: reversed
    EXPECT_EQ(order(), (std::vector<int>{3, 1, 4, 2}));
    EXPECT_EQ(caption(1), "^ From");
    Form1->SortByColumn(6);  // Size, now descending
    EXPECT_EQ(order(), (std::vector<int>{1, 3, 4, 2}));
    EXPECT_EQ(caption(1), "From");
    EXPECT_EQ(caption(5), "^ Size");
    Form1->SortByColumn(1);
    Form1->SortByColumn(1);
    EXPECT_EQ(caption(0), "v Msg");
    EXPECT_EQ(order(), (std::vector<int>{1, 2, 3, 4}));
}

// A right click on a column header asks for a search text and selects the
// next row after the selection whose column matches, going on from the top
// when there is none below; asking the same again moves on; number columns
// match the whole number.
TEST_F(MainWindow, ColumnSearch) {
    fill({{"Ann", "Lunch on Friday", "300"}, {"bob", "Budget", "42"}, {"CAROL", "lunch menu", "42"},
          {"dave", "Re: LUNCH", "7"}});
    auto search = [&](int column, const std::string& text) {
        dialogs->QueueModal([text](ui::TForm&) {
            kwfind->fndtxt->Text = text;
            return ui::mrOk;
        });
        Form1->ListView1ColumnRightClick(Form1->ListView1, Form1->ListView1->Columns[column]);
        return Form1->SelectedIndex();
    };
    struct Case {
        int column;  // 0-based, as the list numbers its columns
        std::string text;
        int selected;  // before the search
        int want;      // selected after it
    };
    const Case cases[] = {
        {3, "*lunch*", -1, 0},         // from the top, letter case ignored
        {3, "*lunch*", 0, 2},          // the same again moves on
        {3, "*lunch*", 2, 3},
        {3, "*lunch*", 3, 0},          // past the last match: on from the top
        {3, "kwre:^re:", 0, 3},        // a regular expression
        {1, "carol", 0, 2},            // From
        {5, "42", 0, 1},               // Size: the whole number
        {5, "4", 0, -2},               // not a part of it: nothing found
        {0, "4", 0, 3},                // Msg
    };
    for (const Case& c : cases) {
        Form1->ListView1->ClearSelection();
        if (c.selected >= 0) Form1->SelectRow(c.selected);
        const size_t asked = dialogs->prompts.size();
        const int got = search(c.column, c.text);
        if (c.want == -2) {
            ASSERT_EQ(dialogs->prompts.size(), asked + 1) << c.text;
            EXPECT_NE(dialogs->prompts.back().text.find("No More Found"), std::string::npos);
        } else {
            EXPECT_EQ(got, c.want) << "column " << c.column << " '" << c.text << "' from " << c.selected;
        }
    }
    dialogs->unexpected = 0;
}

TEST_F(MainWindow, ColumnsColoursAndMarks) {
    fill({{"a", "x", "1234567"}, {"b", "y", "5"}, {"c", "z", "6"}});
    TRowStore& s = Form1->Rows();
    s.SetText(0, rtReplyTo, "r@x");
    s.SetText(1, rtCc, "c@x");
    EXPECT_EQ(Form1->ColumnText(0, 1), "a (Reply:r@x)");
    EXPECT_EQ(Form1->ColumnText(1, 2), " (Cc:c@x)");
    EXPECT_EQ(Form1->ColumnText(0, 5), "1,234,567");

    s.Row(0).WhiteHit = true;
    s.Row(0).DeleteMark = true;
    EXPECT_EQ(Form1->RowColour(0), ui::RGB(255, 255, 0)) << "a white hit wins over a mark";
    EXPECT_EQ(Form1->RowColour(1), ui::RGB(76, 218, 245));
    EXPECT_EQ(Form1->RowColour(2), ui::RGB(122, 221, 122));
    s.Row(0).WhiteHit = false;
    EXPECT_EQ(Form1->RowColour(0), ui::RGB(192, 192, 192));
    EXPECT_EQ(Form1->ColumnText(0, 0), "*1");

    // Del marks the selection, Ctrl+Del recalls it; the count follows.
    Form1->Label1->Caption = "0 spam / 3 whitelist";
    Form1->SelectRow(1);
    ui::WORD key = ui::VK_DELETE;
    Form1->ListView1KeyDown(Form1->ListView1, key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(s.Row(1).DeleteMark);
    EXPECT_EQ(Form1->Label1->Caption(), "2 spam / 3 whitelist");
    key = ui::VK_DELETE;
    Form1->ListView1KeyDown(Form1->ListView1, key, ui::ssCtrl);
    EXPECT_FALSE(s.Row(1).DeleteMark);
    EXPECT_EQ(Form1->Label1->Caption(), "1 spam / 3 whitelist");
}

TEST_F(MainWindow, WhiteHitsAndUnmarkedRows) {
    fill({{"a", "", "1"}, {"b", "", "1"}, {"c", "", "1"}, {"d", "", "1"}});
    TRowStore& s = Form1->Rows();
    s.Row(2).WhiteHit = true;
    s.Row(1).DeleteMark = true;
    Form1->SelectRow(0);
    ui::WORD key = ui::VK_DOWN;
    Form1->ListView1KeyDown(Form1->ListView1, key, ui::ssAlt);
    EXPECT_EQ(Form1->SelectedIndex(), 2);
    Form1->FindWhiteHit(false);
    EXPECT_EQ(dialogs->prompts.size(), 1u);
    EXPECT_EQ(dialogs->prompts[0].text.find("No More Found") != std::string::npos, true);
    dialogs->unexpected = 0;
    Form1->SelectRow(0);
    Form1->GoUnmarkedRow(false);
    EXPECT_EQ(Form1->SelectedIndex(), 2);
}

TEST_F(MainWindow, ClosingWaitsForRunsAndChecksSkipWhileBusy) {
    Form1->ReceivingFlag = true;
    bool canClose = true;
    Form1->FormCloseQuery(Form1, canClose);
    EXPECT_FALSE(canClose);
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    EXPECT_NE(dialogs->prompts[0].text.find("Still Receiving an Email..."), std::string::npos);
    Form1->ReceivingFlag = false;

    Form1->BusyFlag = true;
    canClose = true;
    Form1->FormCloseQuery(Form1, canClose);
    EXPECT_FALSE(canClose) << "nothing is torn down under a running loop";
    EXPECT_FALSE(Form1->StopFlag) << "a stop is for a retrieval; left set it would empty the next one";
    // Sorting and disconnecting wait for the run: it works on the rows by their places.
    fill({{"b", "x", "1"}, {"a", "y", "2"}});
    const int key = Form1->SortKey;
    Form1->SortByColumn(2);
    EXPECT_EQ(Form1->SortKey, key);
    EXPECT_EQ(order(), (std::vector<int>{1, 2}));
    Form1->BitBtn8Click();
    EXPECT_EQ(Form1->RowCount(), 2);
    EXPECT_EQ(Form1->StatusBar1->Panels[0]->Text(), kBusy);
    // The auto-check skips its tick: it tries nothing, says nothing and
    // stays on.
    Form1->pop3host->Items->Clear();
    Form1->pop3host->Items->Add("127.0.0.1/1");
    Form1->pop3host->ItemIndex = 0;
    Form1->CheckBox1->Checked = true;
    Form1->Timer1->Enabled = true;
    Form1->StatusText("before the tick");
    Form1->Timer1Timer(Form1->Timer1);
    EXPECT_EQ(Form1->StatusBar1->Panels[0]->Text(), "before the tick");
    EXPECT_TRUE(Form1->Timer1->Enabled());
    EXPECT_EQ(Form1->BitBtn1->Caption(), "&Get Emails");
    EXPECT_FALSE(Form1->SslPop3Cli1->Connected());
    Form1->CheckBox1->Checked = false;
    Form1->Timer1->Enabled = false;
    Form1->BusyFlag = false;
    Form1->StopFlag = false;
    dialogs->unexpected = 0;
    Form1->pop3host->Items->Clear();
}

// A spam or white pattern that does not compile is reported once per
// marking run, not once for every row it would be tried on, and the good
// patterns still work.
TEST_F(MainWindow, ABadPatternIsReportedOncePerRun) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 120; ++i) rows.push_back({"someone@x.org", i % 2 ? "cheap pills" : "minutes", "1"});
    fill(rows);
    std::ofstream(folder + "kwpop3spam.txt") << "kwre:(unclosed\r\n*pills*\r\n";
    std::ofstream(folder + "kwpop3white.txt") << "#kwre:[oops\r\n";
    dialogs->QueueResult(ui::mrOk);
    Form1->BitBtn4Click(Form1->BitBtn4);
    ASSERT_EQ(dialogs->prompts.size(), 1u) << "one report for the run";
    EXPECT_NE(dialogs->prompts[0].text.find("(unclosed"), std::string::npos);
    EXPECT_NE(dialogs->prompts[0].text.find("[oops"), std::string::npos);
    EXPECT_EQ(Form1->CountMarked(), 60);
    std::remove((folder + "kwpop3spam.txt").c_str());
    std::remove((folder + "kwpop3white.txt").c_str());
}

TEST(Pop3Answers, CountAndSizeAreCheckedNumbers) {
    struct Case {
        const char* text;
        bool ok;
        int64_t count = 0, size = 0;
    };
    const Case cases[] = {
        {"3 1200", true, 3, 1200},
        {"2 5000000000", true, 2, 5000000000},
        {"7 99 more words", true, 7, 99},
        {"0 0", true, 0, 0},
        {"lots of mail", false},
        {"3", false},
        {"3  1200", false},
        {"-3 1200", false},
        {"3 12x", false},
        {"99999999999999999999 1", false},  // beyond 64 bits
        {"", false},
    };
    for (const Case& c : cases) {
        int64_t n = -1, size = -1;
        EXPECT_EQ(ReadCountAndSize(c.text, n, size), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(n, c.count) << c.text;
            EXPECT_EQ(size, c.size) << c.text;
        }
    }
}
