// POP3 and SMTP to an IPv6 address: a Dovecot of its own and aiosmtpd, both
// listening on ::1 only (the fixtures ipv6_dovecot and smtp6_peer; their
// folders are named by PWX_IPV6_DOVECOT_STATE and PWX_IPV6_SMTP_STATE).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "mail/pop3prot.h"
#include "mail/smtpprot.h"
#include "tests/mail/smtp_test_util.h"

using namespace mail;

namespace {

// A file of a fixture's folder; a missing fixture fails the test.
std::string fixtureText(const char* variable, const std::string& name) {
    const char* dir = std::getenv(variable);
    std::ifstream f(std::string(dir ? dir : ".") + "/" + name);
    std::stringstream s;
    s << f.rdbuf();
    if (s.str().empty()) ADD_FAILURE() << name << " is missing: run the tests through ctest (" << variable << ")";
    return s.str();
}

std::string portOf(const char* variable, const std::string& name) {
    std::istringstream s(fixtureText(variable, name));
    std::string port;
    s >> port;
    return port;
}

}  // namespace

TEST(MailOverIpv6, Pop3LogsInAndCountsTheMailbox) {
    TSyncPop3Cli pop;
    pop.Host = "::1";
    pop.Port = portOf("PWX_IPV6_DOVECOT_STATE", "pop3.port");
    pop.UserName = "pwx1";
    pop.PassWord = "secret 1";
    ASSERT_TRUE(pop.ConnectSync()) << pop.ErrorMessage();
    ASSERT_TRUE(pop.UserSync()) << pop.ErrorMessage();
    ASSERT_TRUE(pop.PassSync()) << pop.ErrorMessage();
    ASSERT_TRUE(pop.StatSync()) << pop.ErrorMessage();
    EXPECT_EQ(pop.MsgCount(), 3);
    EXPECT_TRUE(pop.QuitSync()) << pop.ErrorMessage();
}

TEST(MailOverIpv6, SmtpDeliversAMessage) {
    smtptest::Recorder<THtmlSmtpCli> r(portOf("PWX_IPV6_SMTP_STATE", "smtp.port"));
    THtmlSmtpCli& smtp = r.smtp;
    smtp.Host = "::1";
    smtp.FromName = "alice@peer.test";
    smtp.RcptName().Add("bob@peer.test");
    smtp.HdrSubject = "over ipv6";
    smtp.PlainText().SetText("Hello over IPv6.");
    ASSERT_TRUE(smtp.OpenSync()) << smtp.ErrorMessage();
    ASSERT_TRUE(smtp.MailSync()) << smtp.ErrorMessage();
    EXPECT_TRUE(smtp.QuitSync()) << smtp.ErrorMessage();
    // The server prints each message it took, with the address it came from.
    const std::string log = fixtureText("PWX_IPV6_SMTP_STATE", "peer.log");
    const size_t id = log.find("Message-ID: <" + smtp.MessageID() + ">");
    ASSERT_NE(id, std::string::npos) << log;
    const size_t start = log.rfind("MESSAGE FOLLOWS", id), end = log.find("END MESSAGE", id);
    ASSERT_NE(start, std::string::npos) << log;
    const std::string message = log.substr(start, end - start);
    EXPECT_NE(message.find("Subject: over ipv6"), std::string::npos) << message;
    EXPECT_NE(message.find("X-Peer: ('::1'"), std::string::npos) << message;
    EXPECT_NE(message.find("Hello over IPv6."), std::string::npos) << message;
}
