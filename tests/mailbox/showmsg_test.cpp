// Showing messages through the mailbox window against the private Dovecot
// of the mail tests (PWX_DOVECOT_STATE), with a user of this test's own
// ("pwxshow"). What the server sent is read from Dovecot's log: it writes
// each session's retrievals when the session logs out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "app/mainroutine.h"
#include "tests/support/program_windows.h"
#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/win/process.h"
#include "platform/win/pump.h"
#include "tests/support/fixture_state.h"

using namespace mailbox;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const char* const kUser = "pwxshow";
const char* const kPass = "secret show";

std::string readFile(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

struct TMail {
    std::string from, subject, body;
};

std::string maildir() { return stateDir() + "/mail/" + kUser + "/Maildir"; }

// Replaces the user's mailbox by these messages, numbered in this order.
void writeMailbox(const std::vector<TMail>& mails) {
    // Only the messages go: the server's own files there may be in use.
    for (const char* sub : {"new", "cur", "tmp"}) {
        fs::create_directories(maildir() + "/" + sub);
        for (const auto& e : fs::directory_iterator(maildir() + "/" + sub)) fs::remove(e.path());
    }
    for (size_t i = 0; i < mails.size(); ++i) {
        std::ofstream f(maildir() + "/cur/" + std::to_string(1700000000 + i) + ".M" + std::to_string(i) +
                            "P1.pelliwox:2,",
                        std::ios::binary);
        f << "From: " << mails[i].from << "\r\nTo: pwx@example.com\r\nSubject: " << mails[i].subject
          << "\r\nDate: Mon, 3 Jun 2024 10:0" << i << ":00 +0000\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
          << mails[i].body << "\r\n";
    }
    ASSERT_EQ(run("chown -R pwxmail:pwxmail " + stateDir() + "/mail/" + kUser), 0);
}

// The subjects of the messages the server still holds.
std::set<std::string> subjectsOnServer() {
    std::set<std::string> r;
    for (const char* sub : {"new", "cur"})
        for (const auto& e : fs::directory_iterator(maildir() + "/" + sub)) {
            const std::string t = readFile(e.path());
            std::smatch m;
            if (std::regex_search(t, m, std::regex("Subject: ([^\r\n]*)"))) r.insert(m[1]);
        }
    return r;
}

std::vector<std::string> logouts() {
    std::vector<std::string> r;
    std::istringstream in(readFile(stateDir() + "/dovecot.log"));
    for (std::string line; std::getline(in, line);)
        if (line.find(std::string("pop3(") + kUser + ")") != std::string::npos && line.find("retr=") != std::string::npos)
            r.push_back(line);
    return r;
}

// How many messages the session that logs out next retrieved, once Dovecot has logged it.
int retrievedBySessionEndingAfter(size_t before) {
    win::PumpUntil([&] { return logouts().size() > before; }, 20000);
    const auto all = logouts();
    if (all.size() <= before) return -1;
    std::smatch m;
    const std::string& line = all.back();
    return std::regex_search(line, m, std::regex("retr=([0-9]+)/")) ? std::stoi(m[1]) : -1;
}

class ShowMessage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("show");
        run("cp " PWX_SOURCE_DIR "/data/codepageids.txt " + folder);
        // A user of this test's own: the other window tests keep theirs.
        const std::string passwd = stateDir() + "/passwd";
        if (readFile(passwd).find(std::string(kUser) + ":") == std::string::npos)
            std::ofstream(passwd, std::ios::app) << kUser << ":{PLAIN}" << kPass << "::::::\n";
        testsupport::StartProgramWindows(folder);
    }
    void SetUp() override {
        ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        saved = win::SetSpawner([this](const std::vector<std::string>& argv, int& error) -> int64_t {
            started.push_back(argv);
            error = 0;
            return 999999;
        });
        Form1->CheckBox1->Checked = false;
        Form1->pop3host->Items->Clear();
        Form1->pop3host->Items->Add("127.0.0.1/" + fixtureFile("pop3.port") + " (test)");
        Form1->pop3host->ItemIndex = 0;
        Form1->Edit1->Text = kUser;
        Form1->Edit2->Text = kPass;
    }
    void TearDown() override {
        Form1->EraseMarkedAndQuit();
        win::SetSpawner(saved);
        std::string asked;
        for (const auto& p : dialogs->prompts) asked += "\n" + p.text;
        EXPECT_EQ(dialogs->unexpected, 0) << "something was asked that no test expected:" << asked;
        dialogs.reset();
        EXPECT_FALSE(Form1->ReceivingFlag);
        EXPECT_FALSE(Form1->RunActive());
    }
    void list(size_t count) {
        Form1->BitBtn1Click(Form1->BitBtn1);
        ASSERT_EQ(Form1->RowCount(), static_cast<int>(count)) << Form1->StatusBar1->Panels[0]->Text();
    }
    void open(int row, bool reload) {
        Form1->SelectRow(row);
        uint16_t key = ui::VK_RETURN;
        Form1->ListView1KeyDown(Form1->ListView1, key, reload ? ui::ssCtrl : 0);
    }
    std::string page(int row) const { return std::string(Form1->Rows().Text(row, rtPagePath)); }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    win::TSpawner saved;
    std::vector<std::vector<std::string>> started;
};
std::string ShowMessage::folder;

const std::vector<TMail> kFive = {
    {"Alice <alice@example.org>", "First", "Body one"},   {"Alice <alice@example.org>", "Second", "Body two"},
    {"Bob <bob@example.org>", "Third", "Body three"},     {"Carol <carol@example.org>", "Fourth", "Body four"},
    {"Dave <dave@example.org>", "Fifth", "Body five"},
};

}  // namespace

TEST_F(ShowMessage, StoredPagesAreShownWithoutFetchingAndCtrlEnterFetchesAgain) {
    writeMailbox(kFive);
    list(5);
    const size_t before = logouts().size();
    open(0, false);
    const std::string first = page(0);
    ASSERT_FALSE(first.empty());
    open(0, false);  // stored: shown again without a fetch
    open(1, false);
    open(0, true);   // fetched again; the same page, as it has not changed
    EXPECT_EQ(page(0), first);
    const std::string second = page(1);
    Form1->EraseMarkedAndQuit();
    EXPECT_EQ(retrievedBySessionEndingAfter(before), 3);

    // Two messages from the same sender: pages 1 and 2 in the mailbox's folder.
    const std::string dir = folder + "rcvd/" + kUser + "/";
    EXPECT_EQ(first, dir + "Alicealiceexampleorg_1.htm");
    EXPECT_EQ(second, dir + "Alicealiceexampleorg_2.htm");
    EXPECT_NE(readFile(first).find("Body one"), std::string::npos);
    EXPECT_NE(readFile(second).find("Body two"), std::string::npos);

    // The desktop's browser was given the copy without scripts, never the page.
    ASSERT_EQ(started.size(), 4u);
    for (const auto& argv : started) {
        ASSERT_EQ(argv.size(), 2u);
        EXPECT_EQ(argv[0], "xdg-open");
        EXPECT_NE(argv[1], first);
        const std::string shown = rtl::LowerCase(readFile(argv[1]));
        EXPECT_NE(shown.find("body "), std::string::npos) << argv[1];
        EXPECT_EQ(shown.find("onclick"), std::string::npos) << argv[1];
    }
    // The page itself keeps its blocks, which open without scripts.
    EXPECT_NE(readFile(first).find("<DETAILS><SUMMARY"), std::string::npos);
    EXPECT_EQ(rtl::LowerCase(readFile(first)).find("onclick"), std::string::npos);
}

TEST_F(ShowMessage, NothingIsFetchedWhenTheMailboxChangedBeforeALoginAgain) {
    writeMailbox(kFive);
    list(5);
    Form1->Rows().Row(4).DeleteMark = true;  // "Fifth"
    // The connection goes; meanwhile the first message is deleted elsewhere,
    // so every number names another message.
    Form1->SslPop3Cli1->Abort();
    writeMailbox({kFive[1], kFive[2], kFive[3], kFive[4]});
    const size_t before = logouts().size();
    dialogs->QueueResult(ui::mrOk);  // the marks that were dropped
    dialogs->QueueResult(ui::mrOk);  // nothing fetched
    open(1, false);
    EXPECT_TRUE(page(1).empty());
    ASSERT_EQ(dialogs->prompts.size(), 2u);
    EXPECT_NE(dialogs->prompts[1].text.find("No message was fetched"), std::string::npos);
    for (int i = 0; i < Form1->RowCount(); ++i) EXPECT_FALSE(Form1->Rows().Row(i).DeleteMark) << i;
    Form1->EraseMarkedAndQuit();
    EXPECT_EQ(retrievedBySessionEndingAfter(before), 0);
    EXPECT_EQ(subjectsOnServer(), (std::set<std::string>{"Second", "Third", "Fourth", "Fifth"}));
}

TEST_F(ShowMessage, TheReceivingFlagIsClearedWhenAFetchEndsInAnException) {
    writeMailbox(kFive);
    list(5);
    Form1->SslPop3Cli1->Abort();
    writeMailbox({kFive[1], kFive[2]});
    // The report of the changed mailbox fails: the fetch ends in an exception.
    struct TFailing : ui::IPrompter {
        ui::TModalResult MessageDlg(const ui::TPrompt&) override { throw std::runtime_error("no screen"); }
        bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    } failing;
    ui::IPrompter& scripted = ui::Prompter();
    ui::SetPrompter(&failing);
    EXPECT_THROW(Form1->LoadMessage(0, false, false), std::runtime_error);
    ui::SetPrompter(&scripted);
    EXPECT_FALSE(Form1->ReceivingFlag);
    EXPECT_FALSE(Form1->RunActive());
}

TEST_F(ShowMessage, RemoveToFolderKeepsTheTopRowsAndMovesTheRestToPages) {
    writeMailbox(kFive);
    list(5);
    dialogs->QueueModal([](ui::TForm&) {
        kwgrabstr->Edit1->Text = "2";
        return ui::mrOk;
    });
    Form1->gtgdemsClick(Form1->gtgdems);
    std::vector<std::string> pages;
    for (int i = 0; i < 5; ++i) {
        const TMsgRow& row = Form1->Rows().Row(i);
        const bool moved = i >= 2;
        EXPECT_EQ(row.DeleteMark, moved) << i;
        EXPECT_EQ(row.WhiteHit, moved) << i;
        EXPECT_EQ(page(i).empty(), !moved) << i;
        if (moved) pages.push_back(page(i));
    }
    Form1->EraseMarkedAndQuit();
    // Gone from the server, kept as pages.
    EXPECT_EQ(subjectsOnServer(), (std::set<std::string>{"First", "Second"}));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_NE(readFile(pages[0]).find("Body three"), std::string::npos);
    EXPECT_NE(readFile(pages[1]).find("Body four"), std::string::npos);
    EXPECT_NE(readFile(pages[2]).find("Body five"), std::string::npos);

    // The folder button opens the mailbox's folder of pages.
    started.clear();
    Form1->xplorClick(Form1->xplor);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].back(), folder + "rcvd/" + kUser);
}
