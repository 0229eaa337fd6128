// The SMTP client against a real server (aiosmtpd, started by the test
// fixture; its folder is named by PWX_SMTP_PEER_STATE): every mechanism and
// the fall-back, STARTTLS and implicit TLS, refused recipients, and messages
// checked part by part with Python's email package.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "mail/mimeutils.h"
#include "mail/smtpprot.h"
#include "net/sslcontext.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"
#include "tests/mail/smtp_oracle_util.h"
#include "tests/mail/smtp_test_util.h"

using namespace mail;


using namespace smtptest;

namespace {

std::string peerFile(const std::string& name) { return stateFile("PWX_SMTP_PEER_STATE", name); }
std::string peerPort(const std::string& listener) { return firstWord(peerFile(listener + ".port")); }

// The names the peer files a message under.
std::string inboxName(const std::string& messageId) {
    return peerFile("inbox/" + std::regex_replace(messageId, std::regex("[^A-Za-z0-9.@_-]"), "_"));
}

struct Sender : Recorder<THtmlSmtpCli> {
    net::TSslContext context;
    std::vector<std::string> display;
    explicit Sender(const std::string& listener) : Recorder(peerPort(listener)) {
        context.SetSslCAFile(peerFile("ca.crt"));
        smtp.SetSslContext(&context);
        smtp.OnDisplay = [this](rtl::TObject*, const std::string& m) { display.push_back(m); };
        smtp.FromName = "alice@peer.test";
        smtp.HdrFrom = "Alice <alice@peer.test>";
        smtp.HdrTo = "bob@peer.test";
        smtp.RcptName().Add("bob@peer.test");
        smtp.HdrSubject = "test";
        smtp.SetContentType(smtpPlainText);
        smtp.PlainText().SetText("Hello.");
        smtp.Timeout = 30;
    }
    void login(TSmtpAuthType type, const std::string& user, const std::string& password) {
        smtp.AuthType = type;
        smtp.Username = user;
        smtp.Password = password;
    }
    // Opens, sends and quits; the server's record of the message.
    QJsonObject send() {
        EXPECT_TRUE(smtp.OpenSync()) << smtp.ErrorMessage();
        EXPECT_TRUE(smtp.MailSync()) << smtp.ErrorMessage();
        EXPECT_TRUE(smtp.QuitSync()) << smtp.ErrorMessage();
        return parseJson(QByteArray::fromStdString(readFile(inboxName(smtp.MessageID()) + ".json")));
    }
    bool shown(const std::string& prefix) const {
        for (const auto& m : display)
            if (rtl::StartsText(prefix, m)) return true;
        return false;
    }
};

class SmtpPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(peerPort("plain").empty()) << "the aiosmtpd fixture did not start"; }
};

}  // namespace

TEST_F(SmtpPeer, EveryMechanism) {
    struct Case {
        TSmtpAuthType type;
        const char *mechanism, *user, *password;
    } cases[] = {
        {smtpAuthPlain, "PLAIN", "alice", "wonderland"},
        {smtpAuthLogin, "LOGIN", "bob", "builder"},
        {smtpAuthCramMD5, "CRAM-MD5", "alice", "wonderland"},
        {smtpAuthNtlm, "NTLM", "ntlm", "Password"},
        {smtpAuthAutoSelect, "NTLM", "ntlm", "Password"},  // the strongest offered
    };
    for (const auto& k : cases) {
        Sender s("plain");
        s.login(k.type, k.user, k.password);
        const QJsonObject got = s.send();
        EXPECT_EQ(strings(got["mechanisms"]), std::vector<std::string>{k.mechanism}) << k.mechanism;
        EXPECT_EQ(text(got["login"]), k.user) << k.mechanism;
    }
}

// Without TLS a refused challenge mechanism moves to the next challenge
// mechanism, never down to a password in clear.
TEST_F(SmtpPeer, RefusedMechanismsFallBack) {
    Sender s("fallback");
    s.login(smtpAuthAutoSelect, "alice", "wonderland");
    EXPECT_FALSE(s.smtp.OpenSync());
    EXPECT_NE(s.smtp.ErrorMessage().find("(no fall-back to a clear-text password without TLS)"), std::string::npos)
        << s.smtp.ErrorMessage();
    EXPECT_TRUE(s.shown("> AUTH NTLM"));
    EXPECT_TRUE(s.shown("> AUTH CRAM-MD5"));
    EXPECT_FALSE(s.shown("> AUTH LOGIN"));
    EXPECT_FALSE(s.shown("> AUTH PLAIN"));
}

TEST_F(SmtpPeer, WrongPasswordFailsTheOpen) {
    Sender s("plain");
    s.login(smtpAuthCramMD5, "alice", "not the password");
    EXPECT_FALSE(s.smtp.OpenSync());
    EXPECT_EQ(s.smtp.ErrorMessage(), "535 5.7.8 Authentication credentials invalid");
}

TEST_F(SmtpPeer, StartTlsGreetsAgainBeforeAuthenticating) {
    Sender s("starttls");
    s.smtp.SslType = smtpTlsExplicit;
    s.login(smtpAuthLogin, "bob", "builder");
    const QJsonObject got = s.send();
    EXPECT_EQ(got["ehlo_count"].toInt(), 2);
    EXPECT_TRUE(got["tls_at_auth"].toBool());
    EXPECT_TRUE(got["tls"].toBool());
    EXPECT_EQ(text(got["login"]), "bob");
    EXPECT_TRUE(s.shown("Secure connection with TLSv1.")) << "no secure-connection line";
}

TEST_F(SmtpPeer, ClearTextBehindStartTlsIsNoReply) {
    QProcess server;
    server.start("/usr/bin/python3", {QString::fromStdString(std::string(MAIL_TEST_DIR) + "/starttls_inject.py"), "smtp",
                                      QString::fromStdString(peerFile("server.crt")),
                                      QString::fromStdString(peerFile("server.key"))});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    Sender s("plain");
    s.smtp.Port = server.readLine().trimmed().toStdString();
    s.smtp.SslType = smtpTlsExplicit;
    s.login(smtpAuthPlain, "bob", "builder");
    EXPECT_TRUE(s.smtp.OpenSync()) << s.smtp.ErrorMessage();
    ASSERT_TRUE(server.waitForFinished(30000));
    const std::string seen = server.readAllStandardOutput().trimmed().toStdString();
    EXPECT_EQ(seen, "[\"EHLO client.test\", \"AUTH PLAIN " + Base64Encode(std::string("\0bob\0builder", 12)) + "\"]");
}

TEST_F(SmtpPeer, UntrustedCertificateStopsBeforeCredentials) {
    for (const auto& [listener, type] : {std::pair{"starttls", smtpTlsExplicit}, std::pair{"implicit", smtpTlsImplicit}}) {
        Sender s(listener);
        s.context.SetSslCAFile("");  // the test authority is not trusted now
        s.smtp.SslType = type;
        s.login(smtpAuthPlain, "bob", "builder");
        EXPECT_FALSE(s.smtp.OpenSync()) << listener;
        EXPECT_TRUE(rtl::StartsText("SSL Handshake failed", s.smtp.ErrorMessage())) << s.smtp.ErrorMessage();
        EXPECT_FALSE(s.smtp.Connected());
        EXPECT_EQ(s.smtp.State(), smtpReady);
        EXPECT_FALSE(s.shown("> AUTH")) << listener;
    }
}

TEST_F(SmtpPeer, ImplicitTls) {
    Sender s("implicit");
    s.smtp.SslType = smtpTlsImplicit;
    s.login(smtpAuthLogin, "bob", "builder");
    const QJsonObject got = s.send();
    EXPECT_TRUE(got["tls"].toBool());
    EXPECT_EQ(text(got["login"]), "bob");
    EXPECT_FALSE(s.shown("> STARTTLS"));
}

TEST_F(SmtpPeer, RefusedRecipientIgnored) {
    Sender s("plain");
    s.smtp.RcptName().Clear();
    s.smtp.RcptNameAdd("refused@peer.test", "carol@peer.test", "refuse-too@peer.test; dave@peer.test");
    std::vector<int> refused;
    s.smtp.OnRcptToError = [&](rtl::TObject*, uint16_t code, int idx, TSmtpRcptToErrorAction& act) {
        EXPECT_EQ(code, 550);
        refused.push_back(idx);
        act = srteIgnore;
    };
    const QJsonObject got = s.send();
    EXPECT_EQ(strings(got["rcpt_tos"]), (std::vector<std::string>{"carol@peer.test", "dave@peer.test"}));
    EXPECT_EQ(refused, (std::vector<int>{0, 2}));
}

TEST_F(SmtpPeer, PlainTextMessageArrivesIntact) {
    Sender s("plain");
    s.smtp.Allow8bitChars = false;
    s.smtp.CharSet = "utf-8";
    s.smtp.HdrSubject = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC " + std::string(90, 'y');
    const std::string body = ".\r\n..two dots\r\n.one\r\nK\xC3\xB6ln = 100 \xE2\x82\xAC\r\n" + std::string(1500, 'z') +
                             "\r\n  indented  \r\n";
    s.smtp.PlainText().SetText(body);
    s.send();
    const QJsonObject msg = oracle(inboxName(s.smtp.MessageID()) + ".eml");
    EXPECT_EQ(strings(msg["headers"]),
              (std::vector<std::string>{"From", "To", "Subject", "Sender", "Mime-Version", "Content-Type",
                                        "Content-Transfer-Encoding", "Date", "Message-ID", "X-Mailer"}));
    EXPECT_EQ(text(msg["subject"]), s.smtp.HdrSubject);
    const QJsonObject part = msg["parts"].toArray()[0].toObject();
    EXPECT_EQ(text(part["cte"]), "quoted-printable");
    EXPECT_EQ(text(part["charset"]), "utf-8");
    EXPECT_EQ(payload(part), body);
    EXPECT_LE(msg["longest_content_line"].toInt(), 76);
}

TEST_F(SmtpPeer, HtmlWithInlineImagesAndAttachments) {
    HtmlSample sample;
    Sender s("plain");
    s.login(smtpAuthPlain, "alice", "wonderland");
    sample.apply(s.smtp);
    s.send();
    sample.expectParts(oracle(inboxName(s.smtp.MessageID()) + ".eml"));
}

// Every header value and file name the one way, read back by Python: names
// Latin-1 holds in iso-8859-1, others in UTF-8, quotes in file names kept,
// a decomposed letter composed, a picture with its image type; a subject of
// 250 words and 60 named recipients folded into lines the server takes.
TEST_F(SmtpPeer, HeadersTheOneWayAndFolded) {
    const std::string dir = mailtest::tempPath("names") + "/";
    std::filesystem::create_directories(dir);
    const std::string files[] = {dir + "my \"quoted\" file.txt", dir + "Zo\xC3\xAB \xC3\x84ndersson.txt",
                                 dir + "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt"};
    for (const auto& f : files) writeFile(f, "contents of " + f);
    const std::string picture = dir + "Shot.PNG";
    writeFile(picture, std::string("\x89PNG\r\n\x1A\n", 8) + binaryBytes(300, 5));
    Sender s("plain");
    s.smtp.SetContentType(smtpHtml);
    s.smtp.CharSet = s.smtp.HtmlCharSet = "iso-8859-1";
    s.smtp.Allow8bitChars = false;
    s.smtp.HdrFrom = "Zoe\xCC\x88 \xC3\x84ndersson <zoe@peer.test>";
    std::string to, subject;
    for (int i = 0; i < 60; ++i) to += (i ? "; " : "") + std::string("Person ") + std::to_string(i) + " <p" + std::to_string(i) + "@peer.test>";
    for (int i = 0; i < 250; ++i) subject += (i ? " " : "") + std::string("word") + std::to_string(i);
    s.smtp.HdrTo = to;
    s.smtp.HdrCc = "J\xC3\xBCrgen <j@peer.test>, \xC5\x81ukasz <l@peer.test>";
    s.smtp.HdrSubject = subject;
    s.smtp.HtmlText().SetText("<html><body><img src=\"cid:IMAGE1\"></body></html>");
    s.smtp.PlainText().SetText("picture");
    rtl::TStringList images, attachments;
    images.Add(picture);
    for (const auto& f : files) attachments.Add(f);
    s.smtp.SetEmailImages(images);
    s.smtp.SetEmailFiles(attachments);
    s.send();
    const std::string raw = readFile(inboxName(s.smtp.MessageID()) + ".eml");
    const QJsonObject msg = oracle(inboxName(s.smtp.MessageID()) + ".eml");
    EXPECT_EQ(text(msg["from"]), "Zo\xC3\xAB \xC3\x84ndersson <zoe@peer.test>");
    EXPECT_EQ(text(msg["cc"]), "J\xC3\xBCrgen <j@peer.test>, \xC5\x81ukasz <l@peer.test>");
    EXPECT_EQ(text(msg["subject"]), subject);
    const std::string toRead = text(msg["to"]);
    EXPECT_EQ(std::count(toRead.begin(), toRead.end(), '@'), 60);
    EXPECT_NE(toRead.find("Person 59 <p59@peer.test>"), std::string::npos);
    EXPECT_LE(msg["longest_header_line"].toInt(), 78);
    // In the chosen set where it holds the name, in UTF-8 where not.
    EXPECT_NE(raw.find("=?iso-8859-1?Q?Zo=EB_=C4ndersson?="), std::string::npos);
    EXPECT_NE(raw.find("=?utf-8?Q?=C5=81ukasz?="), std::string::npos);
    std::vector<std::string> names;
    for (const auto& p : msg["parts"].toArray()) {
        const QJsonObject part = p.toObject();
        EXPECT_TRUE(part["defects"].toArray().isEmpty()) << text(part["filename"]);
        if (text(part["filename"]).empty()) continue;
        names.push_back(text(part["filename"]));
        if (text(part["filename"]) == "Shot.PNG") {
            EXPECT_EQ(text(part["type"]), "image/png");
            EXPECT_EQ(text(part["disposition"]), "inline");
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Shot.PNG", "my \"quoted\" file.txt", "Zo\xC3\xAB \xC3\x84ndersson.txt",
                                              "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt"}));
}
