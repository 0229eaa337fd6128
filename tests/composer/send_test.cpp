// Sends from the composer window through the program's own send routine and
// SMTP client: to aiosmtpd (PWX_PEER_STATE), whose received message Python's
// email package reads (sent_oracle.py); to OpenSMTPD (PWX_MTA_STATE)
// delivering into Dovecot (PWX_DOVECOT_STATE, user pwx1), read back with our
// POP3 client and, when enciphered, deciphered by the mailbox's renderer; and
// to a scripted server that refuses the message.
#include <gtest/gtest.h>

#include "tests/composer/peer_inbox.h"
#include <sys/socket.h>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/mainroutine.h"
#include "tests/support/program_windows.h"
#include "composer/addrbook.h"
#include "composer/attachments.h"
#include "composer/mlsend.h"
#include "helpers/kwsendmail.h"
#include "helpers/kwutil.h"
#include "mail/pop3prot.h"
#include "mailbox/kwem1.h"
#include "mailbox/msgrender.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/dialogs.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"
#include "tests/support/pop3_fetchback.h"

using namespace composer;
using mailbox::Form1;

namespace {

class ComposerSend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = testsupport::NewProgramFolder("composer-send");
        testsupport::StartProgramWindows(folder);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
    void SetUp() override {
        ASSERT_NE(mlsend, nullptr);
        ASSERT_NE(helpers::sendclient, nullptr) << "the start-up step gives the send routine its client";
        dialogs = std::make_unique<ui::TScriptedDialogs>();
        m = mlsend;
        m->FormShow(m);
        m->ClearLists();
        m->encrypt->Checked = false;
    }
    void TearDown() override { EXPECT_EQ(dialogs->unexpected, 0) << "a dialog nobody expected was shown"; }

    void write(const std::string& name, const std::string& bytes) {
        std::ofstream(folder + name, std::ios::binary) << bytes;
    }
    // A message with two attachments and two inserted images.
    void fillRich(const std::string& host, const std::string& to, const std::string& user, const std::string& password) {
        m->SetAccount(host, "me@x.test", user, password);
        m->emreplyto->Text = "";
        m->rdrcptfrom->Checked = true;
        m->rdrcptreplyto->Checked = false;
        std::string pdf = "%PDF-1.4 fake\r\n";
        for (int i = 0; i < 256; ++i) pdf += static_cast<char>(i);
        write("Report Q3.pdf", pdf);
        write("notes.txt", "line one\r\nline two\r\n");
        write("one.png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(40, '\x01'));
        write("two.png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(60, '\x02'));
        m->NewMessage(to, "!Quarterly plan", "");
        m->emcc->Text = "carol@x.test";
        m->ListBox1->Items->Add(folder + "Report Q3.pdf");
        m->ListBox1->Items->Add(folder + "notes.txt");
        m->ListBox2->Items->Add(folder + "one.png");
        m->ListBox2->Items->Add(folder + "two.png");
        m->bdy->Text = "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\">"
                       "<TITLE>x</TITLE></HEAD><BODY><P>Caf\xC3\xA9 plan</P>" +
                       ImageTag(1) + ImageTag(2) + "</BODY></HTML>";
        m->SelectCharset("iso-8859-1");
        m->chasetChange(m->chaset);
    }
    std::string oracle(const std::string& message) {
        const std::string path = folder + "received.eml";
        write("received.eml", message);
        return peerinbox::Run("/usr/bin/python3 " COMPOSER_TEST_DIR "/sent_oracle.py " + peerinbox::ShellQuoted(path) + " iso-8859-1 " +
                   peerinbox::ShellQuoted("Caf\xC3\xA9 plan") + " me@x.test " + peerinbox::ShellQuoted(folder + "Report Q3.pdf") + " " +
                   peerinbox::ShellQuoted(folder + "notes.txt") + " -- " + peerinbox::ShellQuoted(folder + "one.png") + " " +
                   peerinbox::ShellQuoted(folder + "two.png") + " 2>&1");
    }
    std::string lastLogLine() const {
        const std::string log = helpers::loadtext(folder + "pelliwoxsent.log");
        const size_t end = log.rfind("\r\n");
        if (end == std::string::npos) return "";
        const size_t start = log.rfind("\r\n", end - 1);
        return log.substr(start == std::string::npos ? 0 : start + 2, end - (start == std::string::npos ? 0 : start + 2));
    }
    // What the send left in the folders: the sent copy's head, the book.
    void expectRecorded(const std::string& to, const std::string& mailbox) {
        const std::string line = lastLogLine();
        EXPECT_NE(line.find("\tResult:Email Sent OK "), std::string::npos) << line;
        EXPECT_NE(line.find("- 250"), std::string::npos) << line;
        const std::string sent = folder + "sent/" + mailbox + "/";
        ASSERT_TRUE(std::filesystem::is_directory(sent)) << line;
        // The newest copy is this send's.
        std::string newest;
        std::filesystem::file_time_type when{};
        for (const auto& e : std::filesystem::directory_iterator(sent))
            if (e.is_regular_file() && (newest.empty() || e.last_write_time() >= when)) {
                newest = e.path().filename().string();
                when = e.last_write_time();
            }
        const std::string copy = helpers::loadtext(sent + newest);
        EXPECT_EQ(copy.substr(0, copy.find("\r\nAttachments?")), "<PRE>\r\nTo: " + to + "\r\nCc: carol@x.test\r\nBcc: ");
        EXPECT_NE(copy.find("\r\n</PRE>\r\n<HTML>"), std::string::npos);
        int times = 0;
        for (const std::string& l : AddressBookLines(LoadAddressBook(m->AddressBookKey))) times += l == to;
        EXPECT_EQ(times, 1);
    }

    static std::string folder;
    std::unique_ptr<ui::TScriptedDialogs> dialogs;
    Tmlsend* m = nullptr;
};
std::string ComposerSend::folder;

// The message with Subject in the Dovecot mailbox, read with our POP3 client.
std::string fetchBySubject(const std::string& subject, std::string& hdrSubject) {
    return testsupport::FetchBack(peerinbox::StateFile("PWX_DOVECOT_STATE", "pop3.port"), "pwx1", "secret 1",
                                  [&](mail::TSyncPop3Cli& pop) {
                                      if (pop.HdrSubject() != subject) return false;
                                      hdrSubject = pop.HdrSubject();
                                      return true;
                                  });
}

}  // namespace

TEST_F(ComposerSend, ToAiosmtpdWithFilesAndImages) {
    const std::string port = peerinbox::StateFile("PWX_PEER_STATE", "plain.port");
    ASSERT_FALSE(port.empty()) << "the aiosmtpd fixture did not start";
    const std::string inbox = std::string(std::getenv("PWX_PEER_STATE")) + "/inbox/";
    const std::set<std::string> before = peerinbox::Files(inbox);
    fillRich("127.0.0.1/" + port, "bob@x.test", "", "");
    m->BitBtn5Click(m->BitBtn5);
    expectRecorded("bob@x.test", "");
    const std::string eml = peerinbox::NewMessageTo(inbox, before, "bob@x.test");
    ASSERT_FALSE(eml.empty()) << "aiosmtpd received nothing";
    const std::string report = oracle(helpers::loadtext(eml));
    EXPECT_EQ(report.substr(report.rfind('\n', report.size() - 2) + 1), "OK\n") << report;
    // Sent again: the book still holds the address once.
    m->BitBtn5Click(m->BitBtn5);
    expectRecorded("bob@x.test", "");
}

TEST_F(ComposerSend, ThroughTheMtaIntoDovecot) {
    const std::string port = peerinbox::StateFile("PWX_MTA_STATE", "smtp.port");
    ASSERT_FALSE(port.empty()) << "the OpenSMTPD fixture did not start";
    fillRich("127.0.0.1/" + port, "pwx1@mailbox.test", "", "");
    const std::string subject = "Quarterly plan " + helpers::newguid();
    m->subj->Text = "!" + subject;
    m->BitBtn5Click(m->BitBtn5);
    expectRecorded("pwx1@mailbox.test", "");
    std::string hdr;
    const std::string message = fetchBySubject(subject, hdr);
    ASSERT_FALSE(message.empty()) << "the message did not arrive in the mailbox";
    const std::string report = oracle(message);
    EXPECT_EQ(report.substr(report.rfind('\n', report.size() - 2) + 1), "OK\n") << report;
}

// What arrives in the mailbox, read by Python's email package: display
// names, a long subject and file names (quotes, letters Latin-1 holds and
// one it does not) in a set that is not UTF-8, an inline PNG with its
// type, and every header line folded to fit.
TEST_F(ComposerSend, NamesTypesAndFoldedHeadersThroughTheMta) {
    const std::string port = peerinbox::StateFile("PWX_MTA_STATE", "smtp.port");
    ASSERT_FALSE(port.empty()) << "the OpenSMTPD fixture did not start";
    const std::string files = folder + "names/";
    std::filesystem::create_directories(files);
    const std::string attachments[] = {"my \"quoted\" file.txt", "Zo\xC3\xAB \xC3\x84ndersson.txt",
                                       "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt"};
    for (const auto& a : attachments) std::ofstream(files + a, std::ios::binary) << "about " << a << "\r\n";
    std::ofstream(files + "Shot.PNG", std::ios::binary) << std::string("\x89PNG\r\n\x1A\n", 8) << std::string(90, '\x07');
    m->SetAccount("127.0.0.1/" + port, "Zoe\xCC\x88 \xC3\x84ndersson <me@x.test>", "", "");
    m->rdrcptfrom->Checked = true;
    std::string to = "J\xC3\xBCrgen M\xC3\xBCller <pwx1@mailbox.test>";
    for (int i = 0; i < 4; ++i) to += "; Colleague With A Rather Long Name " + std::to_string(i) + " <c" + std::to_string(i) + "@mailbox.test>";
    std::string subject = "Gr\xC3\xBC\xC3\x9F" "e " + helpers::newguid();
    for (int i = 0; i < 30; ++i) subject += " word" + std::to_string(i);
    m->NewMessage(to, subject,
                  "<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html;charset=utf-8\"></HEAD><BODY>"
                  "<P>Caf\xC3\xA9</P>" + ImageTag(1) + "</BODY></HTML>");
    m->emcc->Text = "";
    for (const auto& a : attachments) m->ListBox1->Items->Add(files + a);
    m->ListBox2->Items->Add(files + "Shot.PNG");
    m->SelectCharset("iso-8859-1");
    m->chasetChange(m->chaset);
    m->BitBtn5Click(m->BitBtn5);
    ASSERT_NE(lastLogLine().find("- 250"), std::string::npos) << lastLogLine();

    const std::string id = "<" + helpers::sendclient->MessageID() + ">";
    const std::string message = testsupport::FetchBack(peerinbox::StateFile("PWX_DOVECOT_STATE", "pop3.port"), "pwx1",
                                                       "secret 1", [&](mail::TSyncPop3Cli& pop) {
                                                           return rtl::Trim(pop.HdrMessageId()) == id;
                                                       });
    ASSERT_FALSE(message.empty()) << "the message did not arrive in the mailbox";
    write("names.eml", message);
    const QJsonObject msg =
        QJsonDocument::fromJson(QByteArray::fromStdString(peerinbox::Run(
                                    "/usr/bin/python3 " COMPOSER_TEST_DIR "/../mail/smtp_oracle.py " +
                                    peerinbox::ShellQuoted(folder + "names.eml"))))
            .object();
    ASSERT_FALSE(msg.isEmpty());
    auto text = [](const QJsonValue& v) { return v.toString().toStdString(); };
    EXPECT_EQ(text(msg["from"]), "Zo\xC3\xAB \xC3\x84ndersson <me@x.test>");
    EXPECT_EQ(text(msg["subject"]), subject);
    EXPECT_EQ(text(msg["to"]), helpers::replaceall(to, "; ", ", ", true));
    EXPECT_LE(msg["longest_header_line"].toInt(), 78);
    // The header is ASCII: the names Latin-1 holds are written in it, the
    // others in UTF-8, the read receipt's too.
    const std::string head = message.substr(0, message.find("\r\n\r\n"));
    EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_NE(head.find("Disposition-Notification-To: =?iso-8859-1?Q?Zo=EB_=C4ndersson?= <me@x.test>"),
              std::string::npos)
        << head;
    EXPECT_NE(head.find("=?iso-8859-1?Q?Zo=EB_=C4ndersson?="), std::string::npos) << head;
    EXPECT_NE(head.find("=?iso-8859-1?Q?J=FCrgen_M=FCller?="), std::string::npos) << head;
    EXPECT_NE(message.find("filename*=utf-8''%C5%81%C3%B3d%C5%BA.txt"), std::string::npos);
    EXPECT_NE(message.find("filename*=iso-8859-1''Zo%EB%20%C4ndersson.txt"), std::string::npos);
    std::vector<std::string> names, types;
    for (const auto& p : msg["parts"].toArray()) {
        const QJsonObject part = p.toObject();
        EXPECT_TRUE(part["defects"].toArray().isEmpty()) << text(part["type"]);
        if (text(part["filename"]).empty()) continue;
        names.push_back(text(part["filename"]));
        types.push_back(text(part["type"]) + " " + text(part["disposition"]));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Shot.PNG", attachments[0], attachments[1], attachments[2]}));
    EXPECT_EQ(types, (std::vector<std::string>{"image/png inline", "text/plain attachment", "text/plain attachment",
                                               "text/plain attachment"}));
}

// Enciphered subject and body travel as number groups in 50-character
// lines and are read back by the mailbox window's deciphering.
TEST_F(ComposerSend, EncipheredMailDeciphersOnRetrieval) {
    const std::string port = peerinbox::StateFile("PWX_MTA_STATE", "smtp.port");
    ASSERT_FALSE(port.empty()) << "the OpenSMTPD fixture did not start";
    m->SetAccount("127.0.0.1/" + port, "me@x.test", "", "");
    m->rdrcptfrom->Checked = false;
    const std::string subject = "Top secret " + helpers::newguid();
    const std::string body = "Meet at the harbour at nine; bring the caf\xC3\xA9 receipts. " + std::string(80, 'z');
    m->NewMessage("pwx1@mailbox.test", subject, body);
    m->SelectCharset("utf-8");
    m->encrypt->Checked = true;
    m->BitBtn5Click(m->BitBtn5);
    EXPECT_NE(lastLogLine().find("- 250"), std::string::npos) << lastLogLine();

    const std::string cipherSubject = helpers::numcipher(subject, Form1->MessageKey);
    std::string hdr;
    const std::string message = fetchBySubject(cipherSubject, hdr);
    ASSERT_FALSE(message.empty()) << "the enciphered message did not arrive";
    // The body: lines of at most 50 characters of digits and separators.
    const size_t bodyAt = message.find("\r\n\r\n");
    ASSERT_NE(bodyAt, std::string::npos);
    rtl::TStringList lines;
    lines.SetText(message.substr(bodyAt + 4));
    int cipherLines = 0;
    for (const std::string& l : lines) {
        if (l.empty() || l == ".") continue;
        EXPECT_LE(l.size(), 50u) << l;
        EXPECT_EQ(l.find_first_not_of("0123456789 "), std::string::npos) << l;
        ++cipherLines;
    }
    EXPECT_GE(cipherLines, 2);

    // The mailbox's renderer deciphers it with the window's key.
    mailbox::TRenderInput in;
    in.lines.SetText(message);
    in.Enciphered = true;
    in.mailKey = Form1->MessageKey;
    in.HdrSubject = hdr;
    in.HdrFrom = "me@x.test";
    in.From = "me@x.test";
    in.folder = folder + "rcvd/";
    in.programFolder = folder;
    std::vector<std::string> problems;
    mailbox::TFolderStore store(in.folder, folder, problems);
    mailbox::TRenderResult result;
    const std::string page = mailbox::BuildPage(in, store, result);
    EXPECT_NE(page.find(subject), std::string::npos) << page;
    EXPECT_NE(page.find("Meet at the harbour at nine"), std::string::npos) << page;
}

// A server that takes the envelope but refuses the message: the log keeps
// the failure with the server's reply, and nothing is kept as sent.
TEST_F(ComposerSend, RefusedMessageLogged) {
    testsupport::LoopbackPeer peer([](int fd) {
        auto line = [fd] {
            std::string l;
            char c;
            while (::recv(fd, &c, 1, 0) == 1) {
                l += c;
                if (c == '\n') break;
            }
            return l;
        };
        testsupport::sendAll(fd, "220 refuser.test ESMTP\r\n");
        while (true) {
            const std::string l = rtl::UpperCase(line());
            if (l.empty()) return;
            if (l.rfind("EHLO", 0) == 0) testsupport::sendAll(fd, "250-refuser.test\r\n250 8BITMIME\r\n");
            else if (l.rfind("DATA", 0) == 0) {
                testsupport::sendAll(fd, "354 go on\r\n");
                while (true) {
                    const std::string d = line();
                    if (d.empty() || d == ".\r\n") break;
                }
                testsupport::sendAll(fd, "554 5.7.1 Message refused by policy\r\n");
            } else if (l.rfind("QUIT", 0) == 0) {
                testsupport::sendAll(fd, "221 bye\r\n");
                return;
            } else if (l.rfind("RSET", 0) == 0 || l.rfind("MAIL", 0) == 0 || l.rfind("RCPT", 0) == 0 ||
                       l.rfind("HELO", 0) == 0) {
                testsupport::sendAll(fd, "250 ok\r\n");
            } else {
                testsupport::sendAll(fd, "502 not here\r\n");
            }
        }
    });
    m->SetAccount("127.0.0.1/" + peer.portText(), "me@x.test", "", "");
    m->rdrcptfrom->Checked = false;
    m->NewMessage("bob@x.test", "Refused one", "plain text body");
    m->BitBtn5Click(m->BitBtn5);
    peer.join();
    const std::string line = lastLogLine();
    EXPECT_EQ(line.rfind("To:bob@x.test\tFrom:me@x.test\tSubject:Refused one\tResult:ERROR KwSendMail: ", 0), 0u) << line;
    EXPECT_NE(line.find("554 5.7.1 Message refused by policy"), std::string::npos) << line;
    if (std::filesystem::exists(folder + "sent/"))
        for (const auto& e : std::filesystem::directory_iterator(folder + "sent/"))
            EXPECT_EQ(e.path().filename().string().find("Refused one"), std::string::npos) << e.path();
}
