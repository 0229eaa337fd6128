#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdlib>
#include <fstream>

#include "mail/pop3prot.h"
#include "platform/win/pump.h"
#include "tests/support/fixture_state.h"

using namespace mail;

// A private Dovecot started by the test fixture; its folder is named by
// PWX_DOVECOT_STATE. Users pwx1..pwx6 have the password "secret N".
namespace {

using namespace testsupport;

// poplib's view of a mailbox.
QJsonObject oracle(const std::string& port, const std::string& user, const std::string& pass,
                   const std::string& mode = "plain") {
    QProcess p;
    QStringList args{QString::fromStdString(std::string(MAIL_TEST_DIR) + "/pop3_oracle.py"),
                     QString::fromStdString(port), QString::fromStdString(user), QString::fromStdString(pass),
                     QString::fromStdString(mode), QString::fromStdString(stateDir() + "/ca.crt")};
    p.start("/usr/bin/python3", args);
    p.waitForFinished(120000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

std::vector<std::string> strings(const QJsonValue& v) {
    std::vector<std::string> r;
    for (const auto& x : v.toArray()) r.push_back(x.toString().toLatin1().toStdString());
    return r;
}

struct Session {
    TSyncPop3Cli pop;
    std::vector<std::string> lines;
    Session(const std::string& user, const std::string& pass) {
        pop.Host = "127.0.0.1";
        pop.Port = fixtureFile("pop3.port");
        pop.UserName = user;
        pop.PassWord = pass;
        pop.OnMessageLine = [this](rtl::TObject*) { lines.push_back(pop.LastResponse()); };
        pop.OnListLine = [this](rtl::TObject*) { lines.push_back(pop.LastResponse()); };
        pop.OnUidlLine = [this](rtl::TObject*) { lines.push_back(pop.LastResponse()); };
    }
    std::vector<std::string> take() { return std::exchange(lines, {}); }
};

}  // namespace

class Pop3Dovecot : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(fixtureFile("pop3.port").empty()) << "the Dovecot fixture did not start"; }
};

TEST_F(Pop3Dovecot, EveryCallAgreesWithPoplib) {
    const QJsonObject want = oracle(fixtureFile("pop3.port"), "pwx1", "secret 1");
    Session s("pwx1", "secret 1");
    ASSERT_TRUE(s.pop.ConnectSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.UserSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.PassSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.StatSync());
    EXPECT_EQ(s.pop.MsgCount(), want["count"].toInt());
    EXPECT_EQ(s.pop.MsgSize(), want["size"].toInteger());

    s.pop.MsgNum = 0;
    ASSERT_TRUE(s.pop.ListSync());
    EXPECT_EQ(s.take(), strings(want["list"]));
    s.pop.MsgNum = 0;
    ASSERT_TRUE(s.pop.UidlSync());
    EXPECT_EQ(s.take(), strings(want["uidl"]));
    s.pop.MsgNum = 1;
    ASSERT_TRUE(s.pop.ListSync());
    EXPECT_EQ(s.pop.LastResponse(), want["list1"].toString().toStdString());
    s.pop.MsgNum = 2;
    ASSERT_TRUE(s.pop.UidlSync());
    EXPECT_EQ(s.pop.LastResponse(), want["uidl2"].toString().toStdString());

    const QJsonArray tops = want["top"].toArray();
    for (int n = 1; n <= s.pop.MsgCount(); ++n) {
        s.pop.MsgNum = n;
        s.pop.MsgLines = 40;
        ASSERT_TRUE(s.pop.TopSync()) << n;
        EXPECT_EQ(s.take(), strings(tops[n - 1])) << "TOP " << n;
    }
    for (const char* n : {"1", "4", "7"}) {
        s.pop.MsgNum = std::atoi(n);
        ASSERT_TRUE(s.pop.RetrSync());
        EXPECT_EQ(s.take(), strings(want["retr"].toObject()[n])) << "RETR " << n;
    }
    EXPECT_TRUE(s.pop.NoopSync());
    EXPECT_TRUE(s.pop.RSetSync());
    EXPECT_TRUE(s.pop.QuitSync());
    EXPECT_FALSE(s.pop.Connected());
}

TEST_F(Pop3Dovecot, LogInMethods) {
    struct Case {
        const char* name;
        TPop3AuthType auth;  // popAuthNone: USER and PASS, or APOP below
        bool apop;
        const char* pass;
        bool ok;
    };
    const Case cases[] = {
        {"user/pass", popAuthNone, false, "secret 3", true},
        {"apop", popAuthNone, true, "secret 3", true},
        {"auth login", popAuthLogin, false, "secret 3", true},
        {"auth cram-md5", popAuthCramMD5, false, "secret 3", true},
        {"wrong password", popAuthNone, false, "secret 4", false},
        {"wrong apop", popAuthNone, true, "nope", false},
    };
    for (const auto& c : cases) {
        Session s("pwx3", c.pass);
        ASSERT_TRUE(s.pop.ConnectSync()) << c.name;
        ASSERT_TRUE(s.pop.IsServerAPOP());
        bool ok;
        if (c.apop) {
            ok = s.pop.APopSync();
        } else if (c.auth != popAuthNone) {
            s.pop.AuthType = c.auth;
            s.pop.Auth();
            ok = s.pop.WaitUntilReady();
        } else {
            ok = s.pop.UserSync() && s.pop.PassSync();
        }
        EXPECT_EQ(ok, c.ok) << c.name << ": " << s.pop.ErrorMessage();
        EXPECT_EQ(s.pop.ProtocolState() == pop3Transaction, c.ok) << c.name;
        if (!c.ok) {
            EXPECT_EQ(s.pop.StatusCode(), 500) << c.name;
        }
        s.pop.QuitSync();
    }
}

TEST_F(Pop3Dovecot, DeletionsLastBeyondTheSession) {
    const std::string port = fixtureFile("pop3.port");
    const QJsonObject before = oracle(port, "pwx2", "secret 2");
    Session s("pwx2", "secret 2");
    ASSERT_TRUE(s.pop.ConnectSync());
    ASSERT_TRUE(s.pop.UserSync() && s.pop.PassSync());
    for (int n : {2, 5}) {
        s.pop.MsgNum = n;
        ASSERT_TRUE(s.pop.DeleSync()) << s.pop.ErrorMessage();
    }
    ASSERT_TRUE(s.pop.QuitSync());
    const QJsonObject after = oracle(port, "pwx2", "secret 2");
    EXPECT_EQ(after["count"].toInt(), before["count"].toInt() - 2);
    std::vector<std::string> ids;
    for (const auto& line : strings(before["uidl"])) ids.push_back(line.substr(line.find(' ') + 1));
    std::vector<std::string> left;
    for (const auto& line : strings(after["uidl"])) left.push_back(line.substr(line.find(' ') + 1));
    ids.erase(ids.begin() + 4);
    ids.erase(ids.begin() + 1);
    EXPECT_EQ(left, ids);
}
