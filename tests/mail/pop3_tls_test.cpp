#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "mail/pop3prot.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"
#include "tests/support/fixture_state.h"

using namespace mail;

// The private Dovecot of the POP3 tests (PWX_DOVECOT_STATE), over pop3s and STLS.
namespace {

using namespace testsupport;

std::string dovecotLog() {
    std::ifstream f(stateDir() + "/dovecot.log", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

struct TlsSession {
    net::TSslContext ctx;
    TSslPop3Cli pop;
    std::vector<std::string> display;
    TlsSession(TPop3SslType type, const std::string& user, const std::string& pass, bool trustTestCa = true) {
        if (trustTestCa) ctx.SetSslCAFile(stateDir() + "/ca.crt");
        pop.SetSslContext(&ctx);
        pop.SslType = type;
        pop.Host = "localhost";
        pop.Port = fixtureFile(type == pop3TlsImplicit ? "pop3s.port" : "pop3.port");
        pop.UserName = user;
        pop.PassWord = pass;
        pop.OnDisplay = [this](rtl::TObject*, const std::string& m) { display.push_back(m); };
    }
    int indexOf(const std::string& prefix) const {
        for (size_t i = 0; i < display.size(); ++i)
            if (display[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
        return -1;
    }
};

// The login lines Dovecot wrote for a user since the given log size.
std::string loginLines(const std::string& user, size_t since) {
    const std::string log = dovecotLog().substr(since);
    std::string r;
    size_t at = 0;
    while ((at = log.find("Login: user=<" + user + ">", at)) != std::string::npos) {
        const size_t end = log.find('\n', at);
        r += log.substr(at, end - at) + "\n";
        at = end;
    }
    return r;
}

}  // namespace

class Pop3Tls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(fixtureFile("pop3s.port").empty()) << "the Dovecot fixture did not start"; }
};

TEST_F(Pop3Tls, ImplicitTlsLogsInAndReads) {
    const size_t logBefore = dovecotLog().size();
    TlsSession s(pop3TlsImplicit, "pwx4", "secret 4");
    ASSERT_TRUE(s.pop.ConnectSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.UserSync() && s.pop.PassSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.StatSync());
    EXPECT_GT(s.pop.MsgCount(), 0);
    EXPECT_TRUE(s.pop.QuitSync());
    EXPECT_GE(s.indexOf("! Secure connection with TLSv1."), 0);
    const std::string lines = loginLines("pwx4", logBefore);
    EXPECT_NE(lines.find(", TLS"), std::string::npos) << lines;
}

// Explicit TLS through Open: STLS, the handshake, then USER and PASS.
TEST_F(Pop3Tls, StlsComesBeforeTheCredentials) {
    const size_t logBefore = dovecotLog().size();
    TlsSession s(pop3TlsExplicit, "pwx5", "secret 5");
    ASSERT_TRUE(s.pop.OpenSync()) << s.pop.ErrorMessage();
    EXPECT_EQ(s.pop.ProtocolState(), pop3Transaction);
    const int stls = s.indexOf("> STLS"), start = s.indexOf("! Starting SSL handshake"),
              secure = s.indexOf("! Secure connection"), user = s.indexOf("> USER");
    ASSERT_GE(stls, 0);
    EXPECT_LT(stls, start);
    EXPECT_LT(start, secure);
    EXPECT_LT(secure, user);
    ASSERT_TRUE(s.pop.StatSync());
    EXPECT_TRUE(s.pop.QuitSync());
    EXPECT_NE(loginLines("pwx5", logBefore).find(", TLS"), std::string::npos);
}

TEST_F(Pop3Tls, ExplicitModeSendsNoCredentialsInTheClear) {
    TlsSession s(pop3TlsExplicit, "pwx5", "secret 5");
    ASSERT_TRUE(s.pop.ConnectSync());
    EXPECT_FALSE(s.pop.UserSync());
    EXPECT_FALSE(s.pop.APopSync());
    EXPECT_EQ(s.pop.ErrorMessage(), "-ERR APOP refused: the connection is not secured yet");
    EXPECT_LT(s.indexOf("> USER"), 0);
    EXPECT_LT(s.indexOf("> APOP"), 0);
    s.pop.Abort();
}

TEST_F(Pop3Tls, UntrustedServerIsRefusedWithItsReason) {
    TlsSession s(pop3TlsImplicit, "pwx4", "secret 4", false);
    EXPECT_FALSE(s.pop.ConnectSync());
    EXPECT_EQ(s.pop.ErrorMessage().rfind("-ERR SSL Handshake: Certificate verify failed", 0), 0u)
        << s.pop.ErrorMessage();
    EXPECT_FALSE(s.pop.Connected());
}

TEST_F(Pop3Tls, PoplibSeesTheSameOverTls) {
    const std::string port = fixtureFile("pop3s.port");
    QProcess p;
    p.start("/usr/bin/python3", {QString(MAIL_TEST_DIR) + "/pop3_oracle.py", QString::fromStdString(port), "pwx6",
                                 "secret 6", "tls", QString::fromStdString(stateDir() + "/ca.crt")});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QJsonObject want = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    TlsSession s(pop3TlsImplicit, "pwx6", "secret 6");
    std::vector<std::string> lines;
    s.pop.OnMessageLine = [&](rtl::TObject*) { lines.push_back(s.pop.LastResponse()); };
    ASSERT_TRUE(s.pop.ConnectSync() && s.pop.UserSync() && s.pop.PassSync()) << s.pop.ErrorMessage();
    const QJsonArray tops = want["top"].toArray();
    for (int n = 1; n <= tops.size(); ++n) {
        lines.clear();
        s.pop.MsgNum = n;
        s.pop.MsgLines = 40;
        ASSERT_TRUE(s.pop.TopSync());
        std::vector<std::string> expected;
        for (const auto& l : tops[n - 1].toArray()) expected.push_back(l.toString().toLatin1().toStdString());
        EXPECT_EQ(lines, expected) << "TOP " << n;
    }
    s.pop.QuitSync();
}

// A server that refuses STLS: the login stops there, nothing is sent in the clear.
TEST(Pop3TlsScripted, RefusedStlsFailsTheLogin) {
    std::string received;
    testsupport::LoopbackPeer peer([&](int fd) {
        testsupport::sendAll(fd, "+OK ready\r\n");
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) received.assign(buf, static_cast<size_t>(n));
        testsupport::sendAll(fd, "-ERR not here\r\n");
        ::recv(fd, buf, sizeof buf, 0);
    });
    net::TSslContext ctx;
    TSslPop3Cli pop;
    pop.SetSslContext(&ctx);
    pop.SslType = pop3TlsExplicit;
    pop.Host = "127.0.0.1";
    pop.Port = peer.portText();
    pop.UserName = "u";
    pop.PassWord = "p";
    EXPECT_FALSE(pop.OpenSync());
    EXPECT_EQ(pop.ErrorMessage(), "-ERR not here");
    pop.Abort();
    peer.join();
    EXPECT_EQ(received, "STLS\r\n");
}

// Bytes the server sent in clear behind its "+OK" to STLS are no part of the
// protected session: the first reply over TLS is the server's own.
TEST_F(Pop3Tls, ClearTextBehindStlsIsNoReply) {
    QProcess server;
    server.start("/usr/bin/python3", {QString(MAIL_TEST_DIR) + "/starttls_inject.py", "pop3",
                                      QString::fromStdString(stateDir() + "/server.crt"),
                                      QString::fromStdString(stateDir() + "/server.key")});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    TlsSession s(pop3TlsExplicit, "mrose", "secret");
    s.pop.Port = server.readLine().trimmed().toStdString();
    ASSERT_TRUE(s.pop.ConnectSync()) << s.pop.ErrorMessage();
    ASSERT_TRUE(s.pop.StlsSync()) << s.pop.ErrorMessage();
    EXPECT_FALSE(s.pop.UserSync());
    EXPECT_EQ(s.pop.LastResponse(), "-ERR no such user");
    s.pop.Abort();
    ASSERT_TRUE(server.waitForFinished(30000));
    EXPECT_EQ(server.readAllStandardOutput().trimmed().toStdString(), "[\"USER mrose\"]");
}
