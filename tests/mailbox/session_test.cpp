#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "helpers/kwutil.h"
#include "mailbox/mboxsession.h"
#include "platform/ui/prompter.h"
#include "tests/mailbox/hostile_server.h"
#include "tests/support/fixture_state.h"

// The mailbox session without any window, against the scripted hostile
// server and the private Dovecot of the mail tests.
using namespace mailbox;
using namespace testsupport;

namespace {

struct Folder {
    std::string path;
    Folder() {
        char dir[] = "/tmp/pwx-sessionXXXXXX";
        path = std::string(mkdtemp(dir)) + "/";
        // The program folder holds the character-set table the program ships.
        run("cp " PWX_SOURCE_DIR "/data/codepageids.txt " + path);
        helpers::homedir = path;
    }
    ~Folder() { run("rm -rf " + path); }
};

struct Session {
    Folder folder;
    ui::TScriptedPrompter prompts;  // nothing may wait for a person
    TMailboxSession s{folder.path};
    TRunReport report;
    explicit Session(const std::string& entry, const std::string& user = "u", const std::string& pass = "p") {
        s.Account = {entry, user, pass};
        s.Client().Timeout = 1;
    }
    void retrieve() { s.Retrieve(TRetrieveOptions(), report); }
    std::string text(int r, TRowText f) const { return std::string(s.Rows().Text(r, f)); }
};

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

// A TOP answer carries nothing that names its message. Whatever a server
// does to the order of its answers (one sent twice, one forged behind a
// lone "." line, one missing, one unasked), no row may show another
// message's text: every row kept holds its own message, checked by a LIST
// that must name the message of the TOP before it, and every answer that
// was not checked is marked as not fetched. Pipelined and one at a time.
TEST(MailboxSession, OutOfStepAnswersNeverLandOnAnotherRow) {
    HostileServer server;
    ASSERT_NE(server.port("pipe_twice"), "0") << "the hostile server did not start";
    struct Case {
        const char* mode;
        bool outOfStep;  // seen as such (a missing answer one at a time is a time-out)
    };
    const Case cases[] = {{"pipe_twice", true},   {"one_twice", true},    {"pipe_forged", true},
                          {"one_forged", true},   {"pipe_missing", true}, {"one_missing", false},
                          {"one_unasked", true}};
    for (const Case& c : cases) {
        Session t("127.0.0.1/" + server.port(c.mode) + " (" + c.mode + ")");
        t.retrieve();
        ASSERT_TRUE(t.report.listed) << c.mode << ": " << t.report.failure;
        ASSERT_EQ(t.s.RowCount(), 60) << c.mode;
        int kept = 0;
        for (int r = 0; r < t.s.RowCount(); ++r) {
            const TMsgRow& row = t.s.Rows().Row(r);
            const std::string no = std::to_string(row.MessageNo);
            EXPECT_EQ(row.MessageNo, r + 1) << c.mode;
            EXPECT_FALSE(contains(t.text(r, rtSubject), "Forged") || contains(t.text(r, rtFrom), "Mallory"))
                << c.mode << ": row " << no << " shows the forged answer";
            if (row.NotFetched) {
                EXPECT_EQ(t.text(r, rtSubject).rfind("[not fetched: ", 0), 0u) << c.mode << " row " << no;
                EXPECT_EQ(t.text(r, rtFrom), "") << c.mode << " row " << no;
                continue;
            }
            ++kept;
            EXPECT_EQ(t.text(r, rtSubject), "Subject " + no) << c.mode << ": row " << no << " holds another message";
            EXPECT_EQ(t.text(r, rtFrom), "Sender " + no + " <s" + no + "@example.org>") << c.mode;
        }
        // Message 20 goes wrong: the answers up to the check after TOP 16
        // are kept, none after it.
        EXPECT_EQ(kept, 16) << c.mode;
        EXPECT_EQ(t.report.notFetched, 44) << c.mode;
        EXPECT_EQ(t.report.outOfStep, c.outOfStep) << c.mode;
        EXPECT_TRUE(t.prompts.prompts.empty()) << c.mode;
    }
}

// UIDL is optional for the listing: an answer that repeats an id, names a
// message LIST did not list or has a line without an id costs no row, and
// the run says why the ids are not used.
TEST(MailboxSession, AnUnusableUidlAnswerCostsNoRow) {
    HostileServer server;
    ASSERT_NE(server.port("uidl_dup"), "0") << "the hostile server did not start";
    for (const char* mode : {"uidl_dup", "uidl_unlisted", "uidl_noid"}) {
        Session t("127.0.0.1/" + server.port(mode));
        t.retrieve();
        ASSERT_TRUE(t.report.listed) << mode << ": " << t.report.failure;
        ASSERT_EQ(t.s.RowCount(), 3) << mode;
        EXPECT_EQ(t.report.notFetched, 0) << mode;
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(t.text(r, rtSubject), "Subject " + std::to_string(r + 1)) << mode;
            EXPECT_EQ(t.text(r, rtUidl), "") << mode << ": an id of an unusable answer was kept";
        }
        ASSERT_EQ(t.report.notes.size(), 1u) << mode;
        EXPECT_TRUE(contains(t.report.notes[0], "UIDL answer cannot be used")) << t.report.notes[0];
        EXPECT_TRUE(t.s.Client().Connected()) << mode;
    }
}

// Against Dovecot, pipelined with the checks: every row as Python's poplib
// and email packages read the mailbox, the rows still valid in a later
// session by their ids, and a time-out that says whose it is.
TEST(MailboxSession, DovecotPipelinedWithChecks) {
    ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start";
    const std::string port = fixtureFile("pop3.port");
    Session t("127.0.0.1/" + port + " (plain)", "pwx1", "secret 1");
    t.s.Client().Timeout = 15;
    t.s.CheckEvery = 3;  // many checks over a small mailbox
    std::vector<std::string> sent;
    t.s.OnDisplay = [&](const std::string& m) {
        if (m.rfind("> TOP ", 0) == 0 || m.rfind("> LIST ", 0) == 0) sent.push_back(m.substr(2));
    };
    t.retrieve();
    ASSERT_TRUE(t.report.listed) << t.report.failure;
    ASSERT_GT(t.s.RowCount(), 3);
    EXPECT_EQ(t.report.notFetched, 0);
    EXPECT_TRUE(t.s.Client().ServerPipelining());
    // A LIST for the last TOP after every three, and after the last one.
    std::vector<std::string> want;
    for (int n = 1; n <= t.s.RowCount(); ++n) {
        want.push_back("TOP " + std::to_string(n) + " 40");
        if (n % 3 == 0 || n == t.s.RowCount()) want.push_back("LIST " + std::to_string(n));
    }
    EXPECT_EQ(sent, want);
    for (int r = 0; r < t.s.RowCount(); ++r) EXPECT_NE(t.text(r, rtUidl), "") << "row " << r;
    ASSERT_TRUE(t.s.ExportCsv());
    EXPECT_EQ(run("/usr/bin/python3 " PWX_SOURCE_DIR "/tests/mailbox/pull_oracle.py " + t.s.CsvPath() + " " + port +
                  " pwx1 'secret 1'"),
              0);
    // A later session: the rows still name the same messages.
    t.s.Client().Abort();
    ASSERT_TRUE(t.s.Connect()) << t.s.Failure();
    EXPECT_EQ(t.s.RowsStillValid(), rcSame) << t.s.Failure();
    EXPECT_TRUE(t.s.Command("QUIT"));
}
