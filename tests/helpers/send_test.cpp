// The blocking send routine against real servers: aiosmtpd (folder
// PWX_SMTP_PEER_STATE), OpenSMTPD delivering into Dovecot (folders
// PWX_SMTP_MTA_STATE and PWX_SMTP_DOVECOT_STATE), and scripted servers that
// refuse QUIT or fall silent. What arrives is judged by Python's email package.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>

#include "helpers/kwsendmail.h"
#include "net/sslcontext.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"
#include "tests/helpers/support.h"
#include "tests/mail/smtp_oracle_util.h"
#include "tests/mail/smtp_test_util.h"

using namespace smtptest;

namespace {

const int64_t kDefaultLimit = helpers::sendlimitms;

std::string peerFile(const std::string& name) { return stateFile("PWX_SMTP_PEER_STATE", name); }
std::string peerPort(const std::string& listener) { return firstWord(peerFile(listener + ".port")); }
std::string mtaPort() { return firstWord(stateFile("PWX_SMTP_MTA_STATE", "smtp.port")); }
std::string pop3Port() { return firstWord(stateFile("PWX_SMTP_DOVECOT_STATE", "pop3.port")); }

// The message the aiosmtpd peer filed under this Message-ID.
std::string peerMessage(const std::string& messageId) {
    return readFile(peerFile("inbox/" + std::regex_replace(messageId, std::regex("[^A-Za-z0-9.@_-]"), "_") + ".eml"));
}

// Fetches the message with this Message-ID from Dovecot with Python's
// poplib into Path; exit status 1 while it has not arrived.
const char* const kFetch = R"(
import poplib, sys
p = poplib.POP3("127.0.0.1", int(sys.argv[1]))
p.user("pwx1")
p.pass_("secret 1")
want = sys.argv[2].encode()
for i in range(len(p.list()[1]), 0, -1):
    lines = p.retr(i)[1]
    if any(l.lower().startswith(b"message-id:") and want in l for l in lines):
        open(sys.argv[3], "wb").write(b"\r\n".join(lines) + b"\r\n")
        p.quit()
        sys.exit(0)
p.quit()
sys.exit(1)
)";

// The MTA delivers on its own time: the mailbox is looked at until the message is there.
std::string mailboxMessage(const std::string& messageId) {
    const std::string path = mailtest::tempPath("delivered.eml");
    const uint32_t start = win::GetTickCount();
    while (win::TicksSince(start) < 30000) {
        QProcess p;
        p.start("/usr/bin/python3", {"-c", kFetch, QString::fromStdString(pop3Port()),
                                     QString::fromStdString("<" + messageId + ">"), QString::fromStdString(path)});
        p.waitForFinished(30000);
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return readFile(path);
        EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().toStdString();
        win::PumpFor(200);
    }
    return {};
}

// Every value of the header lines of this name (case ignored), unfolded.
std::vector<std::string> headerValues(const std::string& message, const std::string& name) {
    std::vector<std::string> values;
    std::istringstream in(message);
    bool wanted = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (wanted) values.back() += line;
            continue;
        }
        const auto colon = line.find(':');
        wanted = colon != std::string::npos && rtl::SameText(line.substr(0, colon), name);
        if (wanted) values.push_back(rtl::Trim(line.substr(colon + 1)));
    }
    return values;
}

// The program's client as the main window sets it up, its events handed to
// the send routine.
class KwSend : public kwtest::KwTest {
protected:
    void SetUp() override {
        KwTest::SetUp();
        helpers::sendcharset = "iso-8859-1";
        helpers::sendchecked = "|";
        context.SetSslCAFile(peerFile("ca.crt"));
        client.SetSslContext(&context);
        client.Timeout = 30;
        client.OnRequestDone = [](rtl::TObject*, mail::TSmtpRequest r, uint16_t e) { helpers::smtpresult(r, e); };
        client.OnProcessHeader = [](rtl::TObject*, rtl::TStringList& h) { helpers::addsendhdrs(h); };
        client.OnAttachContentType = [](rtl::TObject*, int n, std::string&, std::string& t) {
            helpers::sendattachtype(n, t);
        };
        helpers::setsendclient(&client);
    }
    void TearDown() override {
        helpers::setsendclient(nullptr);
        helpers::sendlimitms = kDefaultLimit;
        KwTest::TearDown();
    }
    // A short plain message from alice to bob, no credentials.
    std::string sendSimple(const std::string& server, const std::string& recipients = "bob@x.test") {
        return helpers::KwSendMail(recipients, "alice@x.test", server, "/", "Hello", "Hi there.", "/", "0");
    }

    net::TSslContext context;
    mail::THtmlSmtpCli client;
};

bool sentOk(const std::string& result) {
    return rtl::StartsText("Email Sent OK ", result) && result.find("- 250") != std::string::npos;
}

// A server that takes the message with 250 and then does Quit to QUIT
// (a reply, or nothing at all when it is empty).
std::vector<Step> acceptingScript(const std::string& quit) {
    return {{"250 scripted.test\r\n"}, {"250 sender ok\r\n"}, {"250 recipient ok\r\n"},
            {"354 go ahead\r\n"},      {"250 2.0.0 queued as Q1\r\n", true}, {quit}};
}

}  // namespace

// Two attachments (one with the type the composer gave, one without) and
// two inline images, urgent, with read receipts, in UTF-8; paths with blanks
// and capitals. Through aiosmtpd in the clear with NTLM, through aiosmtpd
// with STARTTLS (no client certificate installed), and through OpenSMTPD
// into Dovecot.
TEST_F(KwSend, FullMessageArrivesWhole) {
    ASSERT_FALSE(peerPort("plain").empty()) << "the aiosmtpd fixture did not start";
    ASSERT_FALSE(mtaPort().empty()) << "the OpenSMTPD fixture did not start";
    ASSERT_FALSE(pop3Port().empty()) << "the Dovecot fixture did not start";
    const std::string dir = home->path() + "Mail Files/";
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    const std::string names[4] = {"Plan.PDF", "Notes.txt", "One.GIF", "Two.JPG"};
    const std::string bytes[4] = {binaryBytes(5000, 1), "line one\r\n.line two\r\n", binaryBytes(3000, 2),
                                  binaryBytes(2160, 3)};
    for (int i = 0; i < 4; ++i) kwtest::writefile(dir + names[i], bytes[i]);
    const std::string files = " " + dir + names[0] + " | application:pdf ;" + dir + names[1] + "/" + dir + names[2] +
                              "; " + dir + names[3];
    const std::string html = "<html><body><p>Caf\xC3\xA9 <img src=\"cid:IMAGE1\"> <img src=\"cid:IMAGE2\"></p>"
                             "</body></html>";

    const struct {
        const char* route;
        std::string server, credentials;
        bool mta;
    } routes[] = {
        {"aiosmtpd", "127.0.0.1/" + peerPort("plain"), "ntlm/Password", false},
        {"aiosmtpd STARTTLS", "127.0.0.1/+" + peerPort("starttls"), "ntlm/Password", false},
        {"OpenSMTPD into Dovecot", "127.0.0.1 / " + mtaPort(), "/", true},
    };
    for (const auto& r : routes) {
        SCOPED_TRACE(r.route);
        helpers::sendcharset = "utf-8";
        const std::string result = helpers::KwSendMail(
            "Bob <bob@peer.test>;eve@peer.test/carol@peer.test/dave@peer.test",
            "=Alice < alice@peer.test>/=replies@peer.test", r.server, r.credentials, "!Caf\xC3\xA9 plan", html, files,
            "0");
        ASSERT_TRUE(sentOk(result)) << result;

        const std::string message = r.mta ? mailboxMessage(client.MessageID()) : peerMessage(client.MessageID());
        ASSERT_FALSE(message.empty()) << "the message did not arrive";
        if (!r.mta) {
            const QJsonObject got = parseJson(QByteArray::fromStdString(
                readFile(peerFile("inbox/" + std::regex_replace(client.MessageID(), std::regex("[^A-Za-z0-9.@_-]"),
                                                                "_") + ".json"))));
            EXPECT_EQ(strings(got["rcpt_tos"]),
                      (std::vector<std::string>{"bob@peer.test", "eve@peer.test", "carol@peer.test", "dave@peer.test"}));
            EXPECT_EQ(text(got["mail_from"]), "alice@peer.test");
            EXPECT_EQ(got["tls"].toBool(), r.server.find("/+") != std::string::npos);
        }
        const std::string receipt = "\"Alice\" <alice@peer.test>, replies@peer.test";
        const std::map<std::string, std::vector<std::string>> wantHeaders = {
            {"Priority", {"Urgent"}},
            {"X-Priority", {"1"}},
            {"Importance", {"High"}},
            {"Disposition-Notification-To", {receipt}},
            {"Return-Receipt-Requested", {receipt}},
            {"Return-Receipt-To", {receipt}},
            {"Read-Receipt-To", {receipt}},
            {"Registered-Mail-Reply-Requested-By", {receipt}},
            {"X-Confirm-Reading-To", {receipt}},
            {"To", {"\"Bob\" <bob@peer.test>, eve@peer.test"}},
            {"Cc", {"carol@peer.test"}},
            {"Bcc", {}},
        };
        for (const auto& [name, values] : wantHeaders) EXPECT_EQ(headerValues(message, name), values) << name;

        const std::string path = mailtest::tempPath("sent.eml");
        writeFile(path, message);
        const QJsonObject msg = oracle(path);
        EXPECT_EQ(text(msg["subject"]), "Caf\xC3\xA9 plan");
        const QJsonArray parts = msg["parts"].toArray();
        ASSERT_EQ(parts.size(), 8);
        const struct {
            const char *type, *cid, *fileId, *disposition, *charset;
            int file;
        } want[] = {
            {"multipart/related", "", "", "", "", -1},
            {"multipart/alternative", "", "", "", "", -1},
            {"text/plain", "", "", "", "utf-8", -1},
            {"text/html", "", "", "", "utf-8", -1},
            {"image/gif", "<IMAGE1>", "", "inline", "", 2},
            {"image/jpeg", "<IMAGE2>", "", "inline", "", 3},
            {"application/pdf", "", "<FILE1>", "attachment", "", 0},
            {"text/plain", "", "<FILE2>", "attachment", "", 1},
        };
        for (int i = 0; i < 8; ++i) {
            const QJsonObject p = parts[i].toObject();
            EXPECT_EQ(text(p["type"]), want[i].type) << i;
            EXPECT_EQ(text(p["cid"]), want[i].cid) << i;
            EXPECT_EQ(text(p["file_id"]), want[i].fileId) << i;
            EXPECT_EQ(text(p["disposition"]), want[i].disposition) << i;
            if (*want[i].charset) {
                EXPECT_EQ(text(p["charset"]), want[i].charset) << i;
            }
            EXPECT_TRUE(p["defects"].toArray().isEmpty()) << i;
            if (want[i].file >= 0) {
                EXPECT_EQ(text(p["filename"]), names[want[i].file]) << i;
                EXPECT_EQ(payload(p), bytes[want[i].file]) << i;
            }
        }
        EXPECT_NE(payload(parts[3].toObject()).find("Caf\xC3\xA9 <img src=\"cid:IMAGE1\">"), std::string::npos);
        EXPECT_NE(payload(parts[2].toObject()).find("Caf\xC3\xA9"), std::string::npos);
    }
}

// A user name filled in for a server that asks for no login (OpenSMTPD
// relaying locally): the message goes without one and the result says so.
// A server that offers only mechanisms the client lacks: the failure says
// what it offered, and no login was tried.
TEST_F(KwSend, LoginFollowsWhatTheServerOffers) {
    ASSERT_FALSE(mtaPort().empty()) << "the OpenSMTPD fixture did not start";
    ASSERT_FALSE(peerPort("oddauth").empty()) << "the aiosmtpd fixture did not start";
    const std::string sent = helpers::KwSendMail("pwx1@mailbox.test", "alice@x.test", "127.0.0.1/" + mtaPort(),
                                                 "alice@x.test/secret", "No login asked", "Hello.", "/", "0");
    EXPECT_TRUE(sentOk(sent)) << sent;
    EXPECT_NE(sent.find("(The server offers no authentication: sent without logging in)"), std::string::npos) << sent;
    EXPECT_FALSE(mailboxMessage(client.MessageID()).empty()) << "the message did not arrive";

    const std::string refused = helpers::KwSendMail("bob@peer.test", "alice@x.test", "127.0.0.1/" + peerPort("oddauth"),
                                                    "alice/secret", "Odd login", "Hello.", "/", "0");
    EXPECT_TRUE(rtl::StartsText("ERROR KwSendMail: ", refused)) << refused;
    EXPECT_NE(refused.find("The server offers authentication only by XOAUTH2, none of which this program can do"),
              std::string::npos)
        << refused;
}

// Failures name what went wrong: the server's refusal, the socket's error,
// and an attachment or image that cannot be read (its path as given).
TEST_F(KwSend, FailuresNameTheirCause) {
    ASSERT_FALSE(peerPort("plain").empty()) << "the aiosmtpd fixture did not start";
    std::optional<ScriptedServer> dataRefused;
    dataRefused.emplace("220 scripted.test\r\n",
                        std::vector<Step>{{"250 scripted.test\r\n"}, {"250 sender ok\r\n"}, {"250 recipient ok\r\n"},
                                          {"554 5.7.1 Message refused\r\n"}, {"221 bye\r\n", false, true}});
    const std::string missing = home->path() + "Missing Plan.PDF";
    const struct {
        const char* what;
        std::string recipients, server, files, want;
    } cases[] = {
        {"RCPT refused", "refuse@peer.test", "127.0.0.1/" + peerPort("plain"), "/",
         "ERROR KwSendMail: Email Failed "},  // the refusal's text is checked below
        {"DATA refused", "bob@x.test", "127.0.0.1/" + dataRefused->portText(), "/", "ERROR KwSendMail: Email Failed "},
        {"connection refused", "bob@x.test", "127.0.0.1/" + std::to_string(testsupport::closedPort()), "/",
         "ERROR KwSendMail:  "},
        {"attachment", "bob@x.test", "127.0.0.1/1", missing + "/",
         "ERROR KwSendMail: Attachment Problem for File " + missing + " "},
        {"image", "bob@x.test", "127.0.0.1/1", "/" + missing,
         "ERROR KwSendMail: Problem for Embedded Image " + missing + " "},
    };
    const char* reasons[] = {"- 550 5.1.1 No such user here", "- 554 5.7.1 Message refused", "10061",
                             "", ""};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& k = cases[i];
        const std::string result = helpers::KwSendMail(k.recipients, "alice@x.test", k.server, "/", "Hello",
                                                       "Hi there.", k.files, "0");
        EXPECT_TRUE(rtl::StartsText(k.want, result)) << k.what << ": " << result;
        EXPECT_NE(result.find(reasons[i]), std::string::npos) << k.what << ": " << result;
        EXPECT_EQ(result.find("- 250"), std::string::npos) << k.what << ": " << result;
        EXPECT_FALSE(client.Connected()) << k.what;
    }
}

// Once the server has taken the message, a QUIT that is refused or never
// answered does not make it a failure (the user would send it again); the
// connection is dropped, not left open. The client closes after any reply
// to QUIT; one that reports the refusal as an error must not change the
// outcome either.
TEST_F(KwSend, QuitTroubleAfterAcceptanceIsSent) {
    client.Timeout = 1;
    const struct {
        const char* quit;
        bool reportedAsError;
    } cases[] = {{"500 5.0.0 Not now\r\n", false}, {"", false}, {"500 5.0.0 Not now\r\n", true}};
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.quit) + (k.reportedAsError ? " reported as an error" : ""));
        if (k.reportedAsError)
            client.OnRequestDone = [](rtl::TObject*, mail::TSmtpRequest r, uint16_t e) {
                helpers::smtpresult(r, r == mail::smtpQuit ? 500 : e);
            };
        ScriptedServer server("220 scripted.test\r\n", acceptingScript(k.quit), true);
        const std::string result = sendSimple("127.0.0.1/" + server.portText());
        EXPECT_TRUE(sentOk(result)) << result;
        EXPECT_NE(result.find("- 250 2.0.0 queued as Q1"), std::string::npos) << result;
        EXPECT_FALSE(client.Connected());
        EXPECT_EQ(client.State(), mail::smtpReady);
        if (client.Connected()) client.Abort();  // lets the script end
        EXPECT_EQ(server.commands().back(), "QUIT");
        EXPECT_TRUE(server.clientClosed());
    }
}

// A server that falls silent before taking the message: the send ends with
// a failure once the client's silence limit has passed, or, with no such
// limit, once the whole send has taken its longest time; either way the
// connection is dropped, and the next send goes through.
TEST_F(KwSend, SilentServerEndsInFailure) {
    const struct {
        int timeout;
        int64_t limit;
        const char* reason;
    } cases[] = {
        {1, kDefaultLimit, "426 Timeout"},
        {0, 1500, "No Response from Email Component after"},
    };
    for (const auto& k : cases) {
        client.Timeout = k.timeout;
        helpers::sendlimitms = k.limit;
        std::vector<Step> script = acceptingScript("221 bye\r\n");
        script[4].reply.clear();  // no answer to the message
        script.pop_back();
        ScriptedServer server("220 scripted.test\r\n", script, true);
        const std::string result = sendSimple("127.0.0.1/" + server.portText());
        EXPECT_TRUE(rtl::StartsText("ERROR KwSendMail:  ", result)) << result;
        EXPECT_NE(result.find(k.reason), std::string::npos) << result;
        EXPECT_FALSE(client.Connected()) << k.reason;
        EXPECT_EQ(client.State(), mail::smtpReady) << k.reason;
        if (client.Connected()) client.Abort();  // lets the script end
        EXPECT_TRUE(server.clientClosed()) << k.reason;
        // The end of the request the abort cut off must not reach the next send.
        ScriptedServer next("220 scripted.test\r\n", acceptingScript("221 bye\r\n"));
        const std::string after = sendSimple("127.0.0.1/" + next.portText());
        EXPECT_TRUE(sentOk(after)) << k.reason << ": " << after;
    }
}

// The wait runs the message loop, so a second command can arrive during a
// send: it is refused and leaves the running send alone.
TEST_F(KwSend, SecondSendDuringASendIsRefused) {
    ASSERT_FALSE(peerPort("plain").empty()) << "the aiosmtpd fixture did not start";
    std::string second;
    QTimer::singleShot(0, [&] {
        second = helpers::KwSendMail("eve@x.test", "=mallory@x.test", "127.0.0.1/" + peerPort("plain"), "/",
                                     "!Other", "Other text.", "/", "0");
    });
    const std::string first = helpers::KwSendMail("bob@peer.test", "alice@peer.test", "127.0.0.1/" + peerPort("plain"),
                                                  "/", "First", "First text.", "/", "0");
    ASSERT_FALSE(second.empty()) << "the second command did not come during the send";
    EXPECT_TRUE(rtl::StartsText("*", second)) << second;
    EXPECT_NE(second.find("Another email is being sent"), std::string::npos) << second;
    EXPECT_TRUE(sentOk(first)) << first;
    const std::string message = peerMessage(client.MessageID());
    EXPECT_EQ(headerValues(message, "Subject"), std::vector<std::string>{"First"});
    EXPECT_TRUE(headerValues(message, "Priority").empty());
    EXPECT_TRUE(headerValues(message, "Disposition-Notification-To").empty());
}

// A line break or NUL in a text that becomes a header field or a command
// would let it write lines of its own: the send is refused before any
// connection, naming the text.
TEST_F(KwSend, LineBreaksInHeaderTextsAreRefused) {
    const std::string closed = "127.0.0.1/" + std::to_string(testsupport::closedPort());
    const struct {
        const char* name;
        std::string recipients, sender, subject, files;
    } cases[] = {
        {"To", "bob@x.test\r\nBcc: evil@x.test//", "a@x.test", "s", "/"},
        {"Cc", "bob@x.test/c@x.test\nX-Evil: 1/", "a@x.test", "s", "/"},
        {"Bcc", "bob@x.test//d@x.test\rX-Evil: 1", "a@x.test", "s", "/"},
        {"From", "bob@x.test", "a@x.test\r\nX-Evil: 1/", "s", "/"},
        {"Reply-To", "bob@x.test", "a@x.test/r@x.test\r\nX-Evil: 1", "s", "/"},
        {"Subject", "bob@x.test", "a@x.test", "s\r\nBcc: evil@x.test", "/"},
        {"Subject", "bob@x.test", "a@x.test", std::string("s\0t", 3), "/"},
        {"Attachments", "bob@x.test", "a@x.test", "s", "a.txt|text:plain\r\nX-Evil: 1/"},
        {"Embedded Images", "bob@x.test", "a@x.test", "s", "//tmp/a\nb.gif"},
    };
    for (const auto& k : cases) {
        const std::string result = helpers::KwSendMail(k.recipients, k.sender, closed, "/", k.subject, "b", k.files, "0");
        EXPECT_TRUE(rtl::StartsText("ERROR KwSendMail: ", result)) << k.name << ": " << result;
        EXPECT_NE(result.find(std::string(" - ") + k.name + " holds a line break or NUL character"), std::string::npos)
            << k.name << ": " << result;
    }
}

// The packed server, credential and file texts, as the client is left
// after a send to a port where nothing listens.
TEST_F(KwSend, PackedFields) {
    const std::string port = std::to_string(testsupport::closedPort());
    const std::string a = home->path() + "A plan.PDF", b = home->path() + "b.txt", c = home->path() + "C.gif";
    for (const auto& f : {a, b, c}) kwtest::writefile(f, "x");
    const struct {
        std::string server, credentials, files;
        mail::TSmtpSslType ssl;
        std::string signOn, user, password;
        mail::TSmtpAuthType auth;
        std::vector<std::string> attachments, images;
    } cases[] = {
        {"127.0.0.1/" + port, "/", a + "|application:pdf; " + b + "/" + c, mail::smtpTlsNone, "", "", "",
         mail::smtpAuthNone, {a, b}, {c}},
        {" 127.0.0.1 / +" + port, "alice@x.test/pa/ss", "/" + c, mail::smtpTlsExplicit, "alice", "alice@x.test",
         "pa/ss", mail::smtpAuthAutoSelect, {}, {c}},
        {"127.0.0.1/-" + port, "bob", a + "/", mail::smtpTlsImplicit, "bob", "bob", "", mail::smtpAuthAutoSelect, {a},
         {}},
        {"127.0.0.1/" + port, "/", a + ";" + a, mail::smtpTlsNone, "", "", "", mail::smtpAuthNone, {a, a}, {}},
        {"127.0.0.1/" + port, "/", "/ " + c + ";" + a, mail::smtpTlsNone, "", "", "", mail::smtpAuthNone, {}, {c, a}},
    };
    const auto entries = [](const rtl::TStringList& l) {
        std::vector<std::string> v;
        for (int i = 0; i < l.Count(); ++i) v.push_back(l[i]);
        return v;
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.server + " " + k.files);
        const std::string result =
            helpers::KwSendMail("bob@x.test", "a@x.test", k.server, k.credentials, "s", "b", k.files, "0");
        EXPECT_TRUE(rtl::StartsText("ERROR KwSendMail:  ", result)) << result;
        EXPECT_NE(result.find("10061"), std::string::npos) << result;
        EXPECT_EQ(client.Host, "127.0.0.1");
        EXPECT_EQ(client.Port, port);
        EXPECT_EQ(client.SslType, k.ssl);
        EXPECT_EQ(client.SignOn, k.signOn);
        EXPECT_EQ(client.Username, k.user);
        EXPECT_EQ(client.Password, k.password);
        EXPECT_EQ(client.AuthType, k.auth);
        EXPECT_EQ(entries(client.EmailFiles()), k.attachments);
        EXPECT_EQ(entries(client.EmailImages()), k.images);
    }
}

// Without the main window's client there is nothing to send with; a
// client that goes away is forgotten.
TEST_F(KwSend, NoClientNoSend) {
    auto gone = std::make_unique<mail::THtmlSmtpCli>();
    helpers::setsendclient(gone.get());
    gone.reset();
    EXPECT_EQ(helpers::sendclient, nullptr);
    EXPECT_EQ(helpers::KwSendMail("bob@x.test", "a@x.test", "127.0.0.1/1", "/", "s", "b", "/", "0"),
              "ERROR KwSendMail: No Email Component");
}
