#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "app/mainroutine.h"
#include "tests/support/program_windows.h"
#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"
#include "tests/mailbox/hostile_server.h"
#include "tests/support/fixture_state.h"

using namespace mailbox;

// The mailbox window retrieving from the private Dovecot of the mail tests
// (PWX_DOVECOT_STATE); its users pwx7..pwx12 (password "secret N") are this test's.
namespace {

using namespace testsupport;

// Gives a user a fresh generated mailbox of Count messages.
void refill(const std::string& user, int count, int seed, bool append = false) {
    const std::string box = stateDir() + "/mail/" + user + "/Maildir";
    ASSERT_EQ(run("/usr/bin/python3 " PWX_SOURCE_DIR "/tests/servers/maildir_fill.py " + box + " " +
                  std::to_string(count) + " " + std::to_string(seed) + (append ? " --append" : "")),
              0);
    ASSERT_EQ(run("chown -R pwxmail:pwxmail " + stateDir() + "/mail/" + user), 0);
}

// What poplib sees: message count and UIDs, with Deletes applied first.
QJsonObject poplibState(const std::string& user, const std::string& pass, const std::string& deletes = "") {
    QProcess p;
    const QString script = QStringLiteral(
        "import poplib,json,sys\n"
        "p=poplib.POP3('127.0.0.1',int(sys.argv[1]))\n"
        "p.user(sys.argv[2]);p.pass_(sys.argv[3])\n"
        "for n in [x for x in sys.argv[4].split(',') if x]: p.dele(int(n))\n"
        "c=p.stat()[0]\n"
        "print(json.dumps({'count':c,'uidl':[x.decode() for x in p.uidl()[1]]}))\n"
        "p.quit()\n");
    p.start("/usr/bin/python3", {"-c", script, QString::fromStdString(fixtureFile("pop3.port")),
                                 QString::fromStdString(user), QString::fromStdString(pass),
                                 QString::fromStdString(deletes)});
    p.waitForFinished(60000);
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

class Retrieval : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("retr");
        // The program folder holds the character-set table the program ships.
        run("cp " PWX_SOURCE_DIR "/data/codepageids.txt " + folder);
        testsupport::StartProgramWindows(folder);
    }
    void SetUp() override {
        ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        Form1->CheckBox1->Checked = false;
        Form1->PullHost.clear();
    }
    void TearDown() override {
        Form1->EraseMarkedAndQuit();
        std::string asked;
        for (const auto& p : dialogs->prompts) asked += "\n" + p.text;
        EXPECT_EQ(dialogs->unexpected, 0) << "something was asked that no test expected:" << asked;
        dialogs.reset();
    }
    void useHost(const std::string& user, const std::string& pass) {
        Form1->pop3host->Items->Clear();
        Form1->pop3host->Items->Add("127.0.0.1/" + fixtureFile("pop3.port") + " (test)");
        Form1->pop3host->ItemIndex = 0;
        Form1->Edit1->Text = user;
        Form1->Edit2->Text = pass;
    }
    std::vector<int> numbers() const {
        std::vector<int> r;
        for (int i = 0; i < Form1->RowCount(); ++i) r.push_back(Form1->Rows().Row(i).MessageNo);
        std::sort(r.begin(), r.end());
        return r;
    }
    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
};
std::string Retrieval::folder;

}  // namespace

TEST_F(Retrieval, HeadersSizesAndDecodedFields) {
    refill("pwx7", 25, 1);
    useHost("pwx7", "secret 7");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 25) << Form1->StatusBar1->Panels[0]->Text();
    EXPECT_EQ(Form1->BitBtn1->Caption(), "&Get Emails");
    EXPECT_TRUE(Form1->SslPop3Cli1->Connected()) << "the connection stays for later fetches";
    const TRowStore& s = Form1->Rows();
    for (int i = 0; i < s.RowCount(); ++i) {
        const int n = s.Row(i).MessageNo;
        EXPECT_GT(s.Row(i).Size, 0) << n;
        EXPECT_FALSE(s.Row(i).NotFetched) << n;
        EXPECT_EQ(s.Text(i, rtFrom), "Sender " + std::to_string(n) + " <sender" + std::to_string(n) + "@example.org>");
        EXPECT_EQ(s.Text(i, rtCc), "first" + std::to_string(n) + "@example.org, second" + std::to_string(n) + "@example.org");
        // Subjects in four character sets come out as UTF-8.
        const std::string subject(s.Text(i, rtSubject));
        switch (n % 5) {
            case 1: EXPECT_EQ(subject, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln " + std::to_string(n)); break;
            case 2: EXPECT_EQ(subject, "Caf\xC3\xA9 cr\xC3\xA8me " + std::to_string(n)); break;
            case 3: EXPECT_EQ(subject, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " + std::to_string(n)); break;
            case 0: EXPECT_EQ(subject, "Plain subject " + std::to_string(n)); break;
            default: break;
        }
    }
}

TEST_F(Retrieval, RangesStopAndIncrementalChecks) {
    refill("pwx8", 300, 2);
    useHost("pwx8", "secret 8");
    dialogs->QueueModal([](ui::TForm&) {
        kwgrabstr->Edit1->Text = "4-7,12-20,25-";
        return ui::mrOk;
    });
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_EQ(Form1->RowCount(), 289);
    std::vector<int> want;
    for (int n = 1; n <= 300; ++n)
        if ((n >= 4 && n <= 7) || (n >= 12 && n <= 20) || n >= 25) want.push_back(n);
    EXPECT_EQ(numbers(), want);

    // An auto-check after ranges fetches nothing again: the rows go above the
    // highest number held.
    {
        int again = 0;
        auto saved = Form1->SslPop3Cli1->OnDisplay;
        Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
            saved(s, m);
            if (m.rfind("> TOP", 0) == 0) ++again;
        };
        Form1->CheckBox1->Checked = true;
        Form1->BitBtn1Click(Form1->BitBtn1);
        Form1->CheckBox1->Checked = false;
        Form1->SslPop3Cli1->OnDisplay = saved;
        EXPECT_EQ(again, 0);
        EXPECT_EQ(numbers(), want);
    }

    // Stop after ten messages: those rows stay, with their sizes.
    int tops = 0;
    auto saved = Form1->SslPop3Cli1->OnDisplay;
    Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
        saved(s, m);
        if (m.rfind("> TOP", 0) == 0 && ++tops == 10) Form1->BitBtn1Click(Form1->BitBtn1);
    };
    dialogs->QueueModal(ui::mrOk);  // the range prompt, blank: everything
    Form1->BitBtn1Click(Form1->BitBtn1);
    Form1->SslPop3Cli1->OnDisplay = saved;
    EXPECT_EQ(Form1->RowCount(), 10);
    for (int i = 0; i < Form1->RowCount(); ++i) EXPECT_GT(Form1->Rows().Row(i).Size, 0);

    // An auto-check of the same host fetches only what came since and keeps the marks.
    refill("pwx9", 5, 3);
    useHost("pwx9", "secret 9");
    Form1->CheckBox1->Checked = true;
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 5);
    Form1->Rows().Row(0).DeleteMark = true;
    const int markedNo = Form1->Rows().Row(0).MessageNo;
    // Seven more messages arrive.
    refill("pwx9", 12, 3, true);
    tops = 0;
    Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
        saved(s, m);
        if (m.rfind("> TOP", 0) == 0) ++tops;
    };
    Form1->BitBtn1Click(Form1->BitBtn1);
    Form1->SslPop3Cli1->OnDisplay = saved;
    EXPECT_EQ(tops, 7) << "only the new messages are fetched";
    EXPECT_EQ(Form1->RowCount(), 12);
    int marked = 0;
    for (int i = 0; i < Form1->RowCount(); ++i)
        if (Form1->Rows().Row(i).DeleteMark) marked = Form1->Rows().Row(i).MessageNo;
    EXPECT_EQ(marked, markedNo);
    Form1->CheckBox1->Checked = false;
    Form1->Rows().Row(0).DeleteMark = false;
    for (int i = 0; i < Form1->RowCount(); ++i) Form1->Rows().Row(i).DeleteMark = false;
}

// A connection lost during the listing still leaves a row for every
// message; those after the loss say they could not be fetched and are never
// marked by a marking run.
TEST_F(Retrieval, ALostConnectionLeavesRowsNotFetched) {
    refill("pwx7", 20, 9);
    useHost("pwx7", "secret 7");
    // The connection goes as the sixth answer begins: five answers are in,
    // however many TOPs went out ahead of them.
    int answers = 0, topsAfter = 0;
    bool topsBegun = false, lost = false;
    auto saved = Form1->SslPop3Cli1->OnDisplay;
    Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
        saved(s, m);
        if (m.rfind("> TOP", 0) == 0) {
            topsBegun = true;
            topsAfter += lost ? 1 : 0;
        }
        if (topsBegun && m.rfind("< +OK", 0) == 0 && ++answers == 6) {
            lost = true;
            Form1->SslPop3Cli1->Abort();
        }
    };
    Form1->BitBtn1Click(Form1->BitBtn1);
    Form1->SslPop3Cli1->OnDisplay = saved;
    EXPECT_TRUE(lost);
    EXPECT_EQ(topsAfter, 0) << "nothing is sent over the lost connection";
    ASSERT_EQ(Form1->RowCount(), 20);
    Form1->SortByColumn(1);
    if (Form1->Rows().Row(0).MessageNo != 1) Form1->SortByColumn(1);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Form1->Rows().Row(i).MessageNo, i + 1);
        EXPECT_EQ(Form1->Rows().Row(i).NotFetched, i >= 5) << "message " << i + 1;
    }
    EXPECT_EQ(Form1->ColumnText(19, 3), "[not fetched: the connection was lost]");
    dialogs->QueueResult(ui::mrYes);
    Form1->BitBtn7Click(Form1->BitBtn7);  // "Mark Rest"
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Form1->Rows().Row(i).DeleteMark, i < 5) << "message " << i + 1;
    for (int i = 0; i < 20; ++i) Form1->Rows().Row(i).DeleteMark = false;
}

// Several TOPs out at once fill the very rows that one TOP at a time does:
// every message's number, size, unique id, headers and first lines.
TEST_F(Retrieval, PipelinedRowsEqualRowsFetchedOneByOne) {
    refill("pwx8", 60, 17);
    useHost("pwx8", "secret 8");
    mail::TSslPop3Cli& c = *Form1->SslPop3Cli1;
    // Each row as text, in message order; the most TOPs out at once.
    auto pull = [&](size_t depth, int& mostAhead) {
        const size_t savedDepth = c.PipelineDepth;
        c.PipelineDepth = depth;
        int ahead = 0;
        mostAhead = 0;
        auto saved = c.OnDisplay;
        c.OnDisplay = [&](rtl::TObject* s, const std::string& m) {
            saved(s, m);
            if (m.rfind("> TOP", 0) == 0) mostAhead = std::max(mostAhead, ++ahead);
            if (ahead > 0 && (m.rfind("< +OK", 0) == 0 || m.rfind("< -ERR", 0) == 0)) --ahead;
        };
        Form1->BitBtn1Click(Form1->BitBtn1);
        c.OnDisplay = saved;
        c.PipelineDepth = savedDepth;
        std::map<int, std::vector<std::string>> rows;
        const TRowStore& st = Form1->Rows();
        for (int i = 0; i < st.RowCount(); ++i) {
            const TMsgRow& row = st.Row(i);
            std::vector<std::string>& r = rows[row.MessageNo];
            r = {std::to_string(row.Size), std::to_string(row.NotFetched), std::to_string(row.DateKey)};
            for (int t = 0; t < rtTextCount; ++t) r.emplace_back(st.Text(i, static_cast<TRowText>(t)));
        }
        return rows;
    };
    int oneByOne = 0, pipelined = 0;
    const auto want = pull(1, oneByOne);
    const auto got = pull(16, pipelined);
    EXPECT_EQ(oneByOne, 1);
    EXPECT_GT(pipelined, 1) << "the TOPs did not go out ahead of their answers";
    ASSERT_EQ(want.size(), 60u);
    EXPECT_EQ(want.rbegin()->second[3 + rtSubject], "Plain subject 60");
    EXPECT_FALSE(want.rbegin()->second[3 + rtUidl].empty());
    EXPECT_EQ(got, want);
}

TEST_F(Retrieval, MarkingRunDeletesExactlyTheMarkedMessages) {
    refill("pwx10", 25, 4);
    std::ofstream(folder + "kwpop3spam.txt") << "kwre:Plain subject\n*Caf*\n";
    std::ofstream(folder + "kwpop3white.txt") << "sender5@*\n#nobody@*\n";
    useHost("pwx10", "secret 10");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 25);
    Form1->BitBtn4Click(Form1->BitBtn4);
    std::vector<int> marked;
    for (int i = 0; i < Form1->RowCount(); ++i)
        if (Form1->Rows().Row(i).DeleteMark) marked.push_back(Form1->Rows().Row(i).MessageNo);
    std::sort(marked.begin(), marked.end());
    // Subjects "Plain subject" go with n % 5 == 0, "Café" with n % 5 == 2;
    // message 5 comes from the white-listed sender.
    std::vector<int> want;
    for (int n = 1; n <= 25; ++n)
        if ((n % 5 == 0 || n % 5 == 2) && n != 5) want.push_back(n);
    EXPECT_EQ(marked, want);
    // Which messages remain, by their unique ids: all but the marked ones.
    QStringList remain;
    for (const auto& line : poplibState("pwx10", "secret 10")["uidl"].toArray())
        if (std::find(want.begin(), want.end(), line.toString().section(' ', 0, 0).toInt()) == want.end())
            remain << line.toString().section(' ', 1);
    Form1->EraseMarkedAndQuit();
    QStringList after;
    for (const auto& line : poplibState("pwx10", "secret 10")["uidl"].toArray()) after << line.toString().section(' ', 1);
    remain.sort();
    after.sort();
    EXPECT_EQ(after, remain);
    std::remove((folder + "kwpop3spam.txt").c_str());
    std::remove((folder + "kwpop3white.txt").c_str());
}

// Message numbers belong to one session: when another session has changed
// the mailbox meanwhile, old marks must not delete other messages.
TEST_F(Retrieval, MarksOfAnOldSessionAreNotAppliedToAChangedMailbox) {
    refill("pwx11", 10, 5);
    useHost("pwx11", "secret 11");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 10);
    for (int i = 0; i < Form1->RowCount(); ++i)
        if (Form1->Rows().Row(i).MessageNo == 8) Form1->Rows().Row(i).DeleteMark = true;
    Form1->SslPop3Cli1->Abort();  // the connection is lost
    const QJsonObject changed = poplibState("pwx11", "secret 11", "1,2");  // someone else deletes two
    ASSERT_EQ(changed["count"].toInt(), 8);
    Form1->EraseMarkedAndQuit();
    bool told = false;
    for (const auto& p : dialogs->prompts) told = told || p.text.find("deletion marks were dropped") != std::string::npos;
    EXPECT_TRUE(told);
    dialogs->unexpected = 0;
    EXPECT_EQ(poplibState("pwx11", "secret 11")["count"].toInt(), 8) << "nothing more was deleted";
}

// Without unique ids from the first session, the sizes must tell: the same
// count of messages in other places is a changed mailbox.
TEST_F(Retrieval, SizesTellAChangedMailboxWhenIdsAreMissing) {
    refill("pwx11", 10, 5);
    useHost("pwx11", "secret 11");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 10);
    for (int i = 0; i < Form1->RowCount(); ++i) {
        Form1->Rows().SetText(i, rtUidl, "");  // as from a server without UIDL
        if (Form1->Rows().Row(i).MessageNo == 8) Form1->Rows().Row(i).DeleteMark = true;
    }
    Form1->SslPop3Cli1->Abort();
    const QJsonArray uids = poplibState("pwx11", "secret 11", "1")["uidl"].toArray();
    refill("pwx11", 10, 5, true);  // a message arrives: ten again, numbered anew
    ASSERT_EQ(poplibState("pwx11", "secret 11")["count"].toInt(), 10);
    Form1->EraseMarkedAndQuit();
    bool told = false;
    for (const auto& p : dialogs->prompts) told = told || p.text.find("deletion marks were dropped") != std::string::npos;
    EXPECT_TRUE(told);
    dialogs->unexpected = 0;
    // Listings are "number id": the ids of before must all still be there.
    auto ids = [](const QJsonArray& listing) {
        QStringList r;
        for (const auto& line : listing) r << line.toString().section(' ', 1);
        return r;
    };
    const QStringList now = ids(poplibState("pwx11", "secret 11")["uidl"].toArray());
    for (const QString& id : ids(uids)) EXPECT_TRUE(now.contains(id)) << "deleted: " << id.toStdString();
}

// Marks belong to the account the rows came from.
TEST_F(Retrieval, MarksStayWithTheirAccount) {
    refill("pwx11", 6, 7);
    refill("pwx12", 6, 8);
    useHost("pwx11", "secret 11");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 6);
    Form1->Rows().Row(0).DeleteMark = true;
    Form1->SslPop3Cli1->Abort();
    useHost("pwx12", "secret 12");  // another account selected meanwhile
    Form1->EraseMarkedAndQuit();
    ASSERT_FALSE(dialogs->prompts.empty());
    EXPECT_NE(dialogs->prompts[0].text.find("The host or user name has changed"), std::string::npos);
    dialogs->unexpected = 0;
    EXPECT_EQ(poplibState("pwx11", "secret 11")["count"].toInt(), 6);
    EXPECT_EQ(poplibState("pwx12", "secret 12")["count"].toInt(), 6);
}

TEST_F(Retrieval, CsvOfTheRows) {
    refill("pwx12", 12, 6);
    useHost("pwx12", "secret 12");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 12);
    Form1->BitBtn1ContextPopup(Form1->BitBtn1);
    std::ifstream f(folder + "Pelliwox.csv", std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv.rfind("MessageNo,From,To,Subject,OrgDate,DateTime,Size,Firstlines,Matched,Attachment,Charset\r\n", 0),
              0u);
    EXPECT_NE(csv.find("\r\n1,Sender 1 <sender1@example.org>,pwx@example.com,"), std::string::npos);
    EXPECT_EQ(Form1->StatusBar1->Panels[0]->Text(), "Exported to CSV File " + folder + "Pelliwox.csv");
}

// Counts the commands that start with one of Prefixes sent while F runs.
template <typename F>
int sent(std::initializer_list<std::string> prefixes, F&& f) {
    int n = 0;
    auto saved = Form1->SslPop3Cli1->OnDisplay;
    Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
        saved(s, m);
        for (const std::string& prefix : prefixes) n += m.rfind(prefix, 0) == 0 ? 1 : 0;
    };
    f();
    Form1->SslPop3Cli1->OnDisplay = saved;
    return n;
}

// Another account chosen while a retrieval runs is taken when it has ended:
// the next login sends that account's own name, never the last one's.
TEST_F(Retrieval, CredentialsFollowTheHostChosenDuringARun) {
    refill("pwx7", 8, 11);
    refill("pwx8", 3, 12);
    const std::string port = fixtureFile("pop3.port");
    std::ofstream(folder + "kwpop3hosts.txt", std::ios::binary)
        << "127.0.0.1/" << port << " (a),pwx7,secret 7,,\r\nlocalhost/" << port << " (b),pwx8,secret 8,,\r\n";
    Form1->LoadHostCombo();
    ASSERT_EQ(Form1->pop3host->Items->Count(), 2);
    Form1->pop3host->ItemIndex = 0;
    Form1->pop3hostChange(Form1->pop3host);
    auto saved = Form1->SslPop3Cli1->OnDisplay;
    Form1->SslPop3Cli1->OnDisplay = [&](rtl::TObject* s, const std::string& m) {
        saved(s, m);
        if (m.rfind("> TOP 3 ", 0) == 0) {  // the user picks account b meanwhile
            Form1->pop3host->ItemIndex = 1;
            Form1->pop3hostChange(Form1->pop3host);
        }
    };
    Form1->BitBtn1Click(Form1->BitBtn1);
    Form1->SslPop3Cli1->OnDisplay = saved;
    EXPECT_EQ(Form1->RowCount(), 8) << "the run went on with its own mailbox";
    EXPECT_EQ(Form1->Edit1->Text(), "pwx8");
    EXPECT_EQ(sent({"> USER pwx8", "> APOP pwx8"}, [] { Form1->BitBtn1Click(Form1->BitBtn1); }), 1);
    EXPECT_EQ(Form1->RowCount(), 3);
    std::remove((folder + "kwpop3hosts.txt").c_str());
    Form1->pop3host->Items->Clear();
}

// A refused login at disconnect is told as such and leaves the marks for
// the next try; that try deletes exactly the marked message.
TEST_F(Retrieval, ARefusedLoginKeepsTheMarks) {
    refill("pwx9", 6, 13);
    useHost("pwx9", "secret 9");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 6);
    std::string markedId;
    for (int i = 0; i < Form1->RowCount(); ++i)
        if (Form1->Rows().Row(i).MessageNo == 4) {
            Form1->Rows().Row(i).DeleteMark = true;
            markedId = Form1->Rows().Text(i, rtUidl);
        }
    Form1->SslPop3Cli1->Abort();
    Form1->Edit2->Text = "not the password";
    dialogs->QueueResult(ui::mrOk);
    EXPECT_FALSE(Form1->EraseMarkedAndQuit());
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    const std::string told = dialogs->prompts[0].text;
    EXPECT_NE(told.find("refused the login"), std::string::npos) << told;
    EXPECT_EQ(told.find("could not be reached"), std::string::npos) << told;
    EXPECT_EQ(told.find("changed"), std::string::npos) << told;
    EXPECT_EQ(Form1->CountMarked(), 1) << "the mark stays for the next try";
    Form1->Edit2->Text = "secret 9";
    EXPECT_TRUE(Form1->EraseMarkedAndQuit());
    QStringList ids;
    for (const auto& line : poplibState("pwx9", "secret 9")["uidl"].toArray()) ids << line.toString().section(' ', 1);
    EXPECT_EQ(ids.size(), 5);
    EXPECT_FALSE(ids.contains(QString::fromStdString(markedId)));
}

// The selection stays in its place over a new retrieval of the same host and
// goes back to the top for another host.
TEST_F(Retrieval, TheSelectionIsKeptForTheSameHost) {
    refill("pwx10", 12, 14);
    useHost("pwx10", "secret 10");
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(Form1->RowCount(), 12);
    Form1->SelectRow(7);
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_EQ(Form1->SelectedIndex(), 7);
    Form1->pop3host->Items->Clear();
    Form1->pop3host->Items->Add("localhost/" + fixtureFile("pop3.port") + " (other)");
    Form1->pop3host->ItemIndex = 0;
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_EQ(Form1->SelectedIndex(), 0);
}

// Whatever way a run ends, the window is ready for the next one.
TEST_F(Retrieval, AnExceptionInARunLeavesTheWindowReady) {
    refill("pwx11", 250, 15);  // above the range prompt's threshold
    useHost("pwx11", "secret 11");
    dialogs->QueueModal([](ui::TForm& prompt) -> ui::TModalResult {
        prompt.EndModal(ui::mrCancel);  // the prompt itself is put away; the run sees the exception
        throw std::runtime_error("the range prompt broke");
    });
    EXPECT_THROW(Form1->BitBtn1Click(Form1->BitBtn1), std::runtime_error);
    EXPECT_EQ(Form1->BitBtn1->Caption(), "&Get Emails");
    EXPECT_FALSE(Form1->RunActive());
    EXPECT_TRUE(Form1->pop3host->Enabled());
    dialogs->QueueModal(ui::mrOk);  // all of them
    Form1->BitBtn1Click(Form1->BitBtn1);
    EXPECT_EQ(Form1->RowCount(), 250);
}

// A marked row's saved page goes only once QUIT has confirmed the deletion.
TEST_F(Retrieval, SavedPagesGoOnlyWhenQuitConfirms) {
    HostileServer hostile;
    ASSERT_NE(hostile.port("quit_refused"), "0");
    refill("pwx12", 3, 16);
    struct Case {
        std::string entry, user, pass;
        bool removed;
    };
    const Case cases[] = {
        {"127.0.0.1/" + fixtureFile("pop3.port"), "pwx12", "secret 12", true},
        {"127.0.0.1/" + hostile.port("quit_refused"), "u", "p", false},
    };
    for (const Case& c : cases) {
        useHost(c.user, c.pass);
        Form1->pop3host->Items->Clear();
        Form1->pop3host->Items->Add(c.entry);
        Form1->pop3host->ItemIndex = 0;
        Form1->BitBtn1Click(Form1->BitBtn1);
        ASSERT_EQ(Form1->RowCount(), 3) << c.entry;
        const std::string page = folder + "page.htm";
        std::ofstream(page) << "saved";
        Form1->Rows().SetText(0, rtPagePath, page);
        Form1->Rows().Row(0).DeleteMark = true;
        if (!c.removed) dialogs->QueueResult(ui::mrOk);  // told that the deletion is not confirmed
        Form1->EraseMarkedAndQuit();
        EXPECT_EQ(!std::ifstream(page).good(), c.removed) << c.entry;
        std::remove(page.c_str());
    }
}

// "Get Emails" with no account to get them from says how to add one, and
// connects nowhere.
TEST_F(Retrieval, GetEmailsWithNoAccountSaysHowToAddOne) {
    Form1->pop3host->Items->Clear();
    Form1->pop3host->ItemIndex = -1;
    ASSERT_EQ(Form1->pop3host->Text(), "");
    dialogs->QueueResult(ui::mrOk);
    Form1->BitBtn1Click(Form1->BitBtn1);
    ASSERT_EQ(dialogs->prompts.size(), 1u);
    const std::string& said = dialogs->prompts[0].text;
    EXPECT_NE(said.find("no mail account"), std::string::npos) << said;
    EXPECT_NE(said.find("\"POP3\""), std::string::npos) << "it names the button that opens the hosts window: " << said;
    EXPECT_FALSE(Form1->SslPop3Cli1->Connected());
    EXPECT_EQ(Form1->BitBtn1->Caption(), "&Get Emails");
}
