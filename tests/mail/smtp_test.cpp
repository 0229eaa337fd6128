// The SMTP client on its own: address and date helpers, the message as it
// is written (to a file, through the same transfer as to a server), and the
// protocol against scripted servers on loopback.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <functional>

#include <regex>

#include "mail/evqntlmmsgs.h"
#include "mail/mimeutils.h"
#include "mail/smtpprot.h"
#include "platform/rtl/sysutils.h"
#include "tests/mail/mail_test_util.h"
#include "tests/mail/smtp_test_util.h"

using namespace mail;
using smtptest::Recorder;
using smtptest::ScriptedServer;
using smtptest::Step;

namespace {

const std::string kBanner = "220 mx.test ESMTP ready\r\n";

std::vector<std::string> lines(const std::string& text) {
    auto l = mailtest::split(text, "\r\n");
    if (!l.empty() && l.back().empty()) l.pop_back();
    return l;
}

// The message as the client writes it, through SendToFile.
template <class C>
std::string writeMessage(C& c) {
    const std::string path = mailtest::tempPath("message.eml");
    bool ended = false;
    c.SendMode = smtpToStream;
    c.OnEndSendToStream = [&](rtl::TObject*) { ended = true; };
    c.SendToFile(path);
    EXPECT_TRUE(win::PumpUntil([&] { return ended; }, 10000));
    return smtptest::readFile(path);
}

struct Message {
    std::vector<std::string> header, body;
};

Message splitMessage(const std::string& text) {
    Message m;
    bool inBody = false;
    for (auto& l : lines(text)) {
        if (!inBody && l.empty()) inBody = true;
        else (inBody ? m.body : m.header).push_back(l);
    }
    return m;
}

std::vector<std::string> headerNames(const std::vector<std::string>& header) {
    std::vector<std::string> names;
    for (const auto& l : header)
        if (!l.empty() && l[0] != '\t' && l[0] != ' ') names.push_back(l.substr(0, l.find(':')));
    return names;
}

std::string headerValue(const std::vector<std::string>& header, const std::string& name) {
    for (const auto& l : header)
        if (rtl::StartsText(name + ":", l)) return rtl::Trim(l.substr(name.size() + 1));
    return "<absent>";
}

// A header's value with its folds undone.
std::string unfoldedValue(const std::vector<std::string>& header, const std::string& name) {
    std::string value;
    bool in = false;
    for (const auto& l : header) {
        if (!l.empty() && (l[0] == ' ' || l[0] == '\t')) {
            if (in) value += l;
            continue;
        }
        if (in) break;
        in = rtl::StartsText(name + ":", l);
        if (in) value = l.substr(name.size() + 1);
    }
    return in || !value.empty() ? rtl::Trim(value) : "<absent>";
}

// The decoded bytes of quoted-printable lines.
std::string decodeQP(const std::vector<std::string>& qp) {
    std::string joined;
    for (size_t i = 0; i < qp.size(); ++i) joined += qp[i] + (i + 1 < qp.size() ? "\r\n" : "");
    return DecodeQuotedPrintable(joined);
}

size_t longest(const std::vector<std::string>& l) {
    size_t n = 0;
    for (const auto& s : l) n = std::max(n, s.size());
    return n;
}

}  // namespace

// ---------------------------------------------------------------- helpers

TEST(SmtpHelpers, RequestNames) {
    const char* const want[] = {"CONNECT", "HELO", "MAIL FROM", "VRFY", "RCPT TO", "DATA",     "QUIT",
                                "RSET",    "Open", "Mail",      "EHLO", "AUTH",    "STARTTLS", "Custom"};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(SmtpRqTypeToStr(i), want[i]);
    EXPECT_EQ(SmtpRqTypeToStr(14), "Unknown");
    EXPECT_EQ(SmtpRqTypeToStr(-1), "Unknown");
}

TEST(SmtpHelpers, ParseEmail) {
    struct Case {
        const char *src, *friendly, *email;
    } cases[] = {
        {"\"Doe, John\" <john@x.test>", "Doe, John", "john@x.test"},
        {"john@x.test", "", "john@x.test"},
        {"  John Doe <john@x.test>", "John Doe", "john@x.test"},
        {"'Ann' ann@x.test", "Ann", "ann@x.test"},
        {"<bare@x.test>", "", "bare@x.test"},
        {"Name only", "Name", "only"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string f, e;
        ParseEmail(c.src, f, e);
        EXPECT_EQ(f, c.friendly) << c.src;
        EXPECT_EQ(e, c.email) << c.src;
    }
}

TEST(SmtpHelpers, RcptNameAddKeepsQuotedCommas) {
    TSmtpCli c;
    c.RcptNameAdd("a@x.test; \"Doe, John\" <john@x.test>", "", "hidden@x.test");
    ASSERT_EQ(c.RcptName().Count(), 3);
    EXPECT_EQ(c.RcptName()[0], "a@x.test");
    EXPECT_EQ(c.RcptName()[1], "\"Doe, John\" <john@x.test>");
    EXPECT_EQ(c.RcptName()[2], "hidden@x.test");
}

TEST(SmtpHelpers, ZoneOffsetsDatesAndIds) {
    const std::pair<int, const char*> bias[] = {{-60, "+0100"}, {300, "-0500"}, {-330, "+0530"}, {0, "-0000"}};
    for (const auto& [b, text] : bias) EXPECT_EQ(TimeZoneBiasText(b), text) << b;

    const rtl::TDateTime t = rtl::EncodeDate(2024, 3, 5) + rtl::EncodeTime(7, 8, 9, 0);
    EXPECT_EQ(Rfc822DateTime(t), "Tue, 5 Mar 2024 07:08:09 " + TimeZoneBiasText(rtl::LocalBiasMinutes(t)));

    const std::string id = GenerateMessageID();
    EXPECT_TRUE(std::regex_match(id, std::regex(R"(\d{17}\.[0-9A-F]{16}@.+)"))) << id;
    EXPECT_NE(id, GenerateMessageID());
}

TEST(SmtpHelpers, QuotedPrintableLinesAreShortAndDecodeBack) {
    std::mt19937 rng(7);
    std::vector<std::string> samples = {"", "plain", std::string(200, 'a'), std::string(75, 'x') + "=",
                                        std::string(74, 'x') + "\xE9\xE9", "trailing blank ", ".leading dot"};
    for (int i = 0; i < 200; ++i) samples.push_back(mailtest::randomText(rng, mailtest::TextKind::Utf8, false));
    for (const auto& s : samples) {
        const auto l = QuotedPrintableLines(s);
        EXPECT_LE(longest(l), 76u) << s;
        EXPECT_EQ(decodeQP(l), s);
        EXPECT_FALSE(!l.back().empty() && l.back().back() == ' ') << "a trailing blank would be lost: " << s;
    }
    EXPECT_EQ(QuotedPrintableLines(std::string(200, 'a')).size(), 3u);
}

// ---------------------------------------------------------------- the message

TEST(SmtpMessage, HeaderLinesInOrder) {
    TSmtpCli c;
    c.HdrReplyTo = "reply@x.test";
    c.HdrReturnPath = "bounce@x.test";
    c.HdrFrom = "Ann <ann@x.test>";
    c.HdrTo = "bob@x.test";
    c.HdrCc = "carl@x.test";
    c.HdrSubject = "  Hello  ";
    c.HdrPriority = smtpPriorityHigh;
    c.ConfirmReceipt = true;
    c.OnProcessHeader = [](rtl::TObject*, rtl::TStringList& h) { h.Add("X-Added: by the caller"); };
    c.MailMessage().SetText("Body");
    const Message m = splitMessage(writeMessage(c));
    const std::vector<std::string> want = {"Reply-To",   "Return-Path", "From",       "To",
                                           "Cc",         "Subject",     "Sender",     "Mime-Version",
                                           "Content-Type", "Date",      "X-Priority", "Priority",
                                           "X-MSMail-Priority", "Message-ID", "Disposition-Notification-To",
                                           "X-Mailer",   "X-Added"};
    EXPECT_EQ(headerNames(m.header), want);
    EXPECT_EQ(headerValue(m.header, "Subject"), "Hello");
    EXPECT_EQ(headerValue(m.header, "Sender"), "Ann <ann@x.test>");
    EXPECT_EQ(headerValue(m.header, "X-Priority"), "2");
    EXPECT_EQ(headerValue(m.header, "Priority"), "urgent");
    EXPECT_EQ(headerValue(m.header, "X-MSMail-Priority"), "High");
    EXPECT_EQ(headerValue(m.header, "Message-ID"), "<" + c.MessageID() + ">");
    EXPECT_EQ(headerValue(m.header, "Content-Type"), "text/plain; charset=\"iso-8859-1\"");
    EXPECT_EQ(headerValue(m.header, "X-Mailer"), "EVQ SMTP Component V2.55");
    EXPECT_EQ(m.body, std::vector<std::string>{"Body"});
}

TEST(SmtpMessage, AddressesAndSubjectStayAscii) {
    TSmtpCli c;
    c.Allow8bitChars = false;
    c.CharSet = "utf-8";
    c.HdrFrom = "J\xC3\xB6rg M\xC3\xBCller <joerg@x.test>";
    c.HdrTo = "O'Brien <ob@x.test>, \"Doe, John\" <john@x.test>; plain@x.test";
    c.HdrSubject = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, " + std::string(80, 'x');
    const Message m = splitMessage(writeMessage(c));
    for (const auto& l : m.header)
        for (char ch : l) ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << l;
    EXPECT_EQ(headerValue(m.header, "From"), "=?utf-8?Q?J=C3=B6rg_M=C3=BCller?= <joerg@x.test>");
    // The apostrophe opens no quoted stretch: all three recipients stay.
    EXPECT_EQ(headerValue(m.header, "To"), "\"O'Brien\" <ob@x.test>, \"Doe, John\" <john@x.test>, plain@x.test");
    EXPECT_TRUE(rtl::StartsText("=?utf-8?Q?Gr=C3=BC=C3=9Fe", headerValue(m.header, "Subject")));
    EXPECT_LE(longest(m.header), 78u);
}

TEST(SmtpMessage, DotStuffingAndOwnHeaders) {
    TSmtpCli c;
    c.MailMessage().SetText(".\r\n..two\r\n.x\r\nmid.dle\r\n");
    Message m = splitMessage(writeMessage(c));
    EXPECT_EQ(m.body, (std::vector<std::string>{"..", "...two", "..x", "mid.dle"}));

    c.OwnHeaders = true;
    c.MailMessage().SetText("Subject: mine\r\n\r\ntext");
    EXPECT_EQ(lines(writeMessage(c)), (std::vector<std::string>{"Subject: mine", "", "text"}));
}

TEST(SmtpMessage, PlainTextNeedingEncodingGoesQuotedPrintable) {
    struct Case {
        std::string text;
        bool allow8bit;
    } cases[] = {
        {"caf\xE9 cr\xE8me\r\nsecond = line", false},
        {std::string(2000, 'a') + " one line past the mail line limit", true},
    };
    for (const auto& k : cases) {
        TSmtpCli c;
        c.Allow8bitChars = k.allow8bit;
        c.MailMessage().SetText(k.text);
        const Message m = splitMessage(writeMessage(c));
        EXPECT_EQ(headerValue(m.header, "Content-Transfer-Encoding"), "quoted-printable");
        EXPECT_LE(longest(m.body), 76u);
        EXPECT_EQ(decodeQP(m.body), k.text);
    }
}

TEST(SmtpMessage, AttachmentsAsMultipartMixed) {
    const std::string a = mailtest::tempPath("first.bin"), b = mailtest::tempPath("second.txt");
    const std::string bytesA = smtptest::binaryBytes(1000, 1), bytesB = smtptest::binaryBytes(54 * 3, 2);
    smtptest::writeFile(a, bytesA);
    smtptest::writeFile(b, bytesB);
    TSmtpCli c;
    c.MailMessage().SetText("See the files.");
    rtl::TStringList files;
    files.Add(a);
    files.Add("  ");
    files.Add(b);
    c.SetEmailFiles(files);
    std::vector<int> typeAsked;
    c.OnAttachContentType = [&](rtl::TObject*, int n, std::string&, std::string& type) {
        typeAsked.push_back(n);
        if (n == 1) type = "application/x-test";
    };
    const Message m = splitMessage(writeMessage(c));
    const std::string boundary = c.MimeBoundary();
    EXPECT_EQ(headerValue(m.header, "Content-Type"), "multipart/mixed;");
    EXPECT_EQ(typeAsked, (std::vector<int>{0, 1}));
    // Cut the body at the boundary lines and decode each part.
    std::vector<std::vector<std::string>> parts(1);
    for (const auto& l : m.body) {
        if (l == "--" + boundary || l == "--" + boundary + "--") parts.emplace_back();
        else parts.back().push_back(l);
    }
    ASSERT_EQ(parts.size(), 5u);  // preamble, text, two files, after the closing line
    EXPECT_EQ(parts[1][0], "Content-Type: text/plain; charset=\"iso-8859-1\"");
    EXPECT_EQ(parts[3][0], "Content-Type: application/x-test;");
    const std::string* want[] = {&bytesA, &bytesB};
    for (int i = 0; i < 2; ++i) {
        const auto& p = parts[2 + i];
        const auto blank = std::find(p.begin(), p.end(), std::string());
        std::string b64;
        for (auto it = blank; it != p.end(); ++it) b64 += *it;
        EXPECT_EQ(Base64Decode(b64), *want[i]) << i;
        EXPECT_LE(longest(p), 76u);
    }
    EXPECT_THROW(c.SetEmailFiles([] {
        rtl::TStringList l;
        l.Add("/nonexistent/file");
        return l;
    }()),
                 SmtpException);
}

TEST(SmtpMessage, SkippedLastAttachmentStillClosesTheMultipart) {
    const std::string a = mailtest::tempPath("skip.bin");
    smtptest::writeFile(a, "data");
    TSmtpCli c;
    c.MailMessage().SetText("text");
    rtl::TStringList files;
    files.Add(a);
    c.SetEmailFiles(files);
    c.OnBeforeFileOpen = [](rtl::TObject*, int, const std::string&, TSmtpBeforeOpenFileAction& act) {
        act = smtpBeforeOpenFileNext;
    };
    const Message m = splitMessage(writeMessage(c));
    EXPECT_EQ(m.body.back(), "--" + c.MimeBoundary() + "--");
}

// ---------------------------------------------------------------- the HTML writer

namespace {

struct Html {
    THtmlSmtpCli c;
    std::vector<int> contentTypeNumbers;
    Html() {
        c.OnAttachContentType = [this](rtl::TObject*, int n, std::string&, std::string&) {
            contentTypeNumbers.push_back(n);
        };
    }
};

}  // namespace

TEST(SmtpHtml, EmptyMessageHasEveryFrame) {
    Html h;
    const Message m = splitMessage(writeMessage(h.c));
    const std::string rel = h.c.RelatedBoundary(), alt = h.c.AlternativeBoundary();
    EXPECT_EQ(unfoldedValue(m.header, "Content-Type"),
              "multipart/related; type=\"multipart/alternative\"; boundary=\"" + rel + "\"");
    const std::vector<std::string> want = {"This is a multipart MIME formatted message.",
                                           "",
                                           "--" + rel,
                                           "Content-Type: multipart/alternative;",
                                           " boundary=\"" + alt + "\"",
                                           "",
                                           "--" + alt,
                                           "Content-Type: text/plain; charset=\"iso-8859-1\"",
                                           "Content-Transfer-Encoding: quoted-printable",
                                           "",
                                           "",
                                           "--" + alt,
                                           "Content-Type: text/html; charset=\"iso-8859-1\"",
                                           "Content-Transfer-Encoding: quoted-printable",
                                           "",
                                           "",
                                           "--" + alt + "--",
                                           "",
                                           "--" + rel + "--"};
    EXPECT_EQ(m.body, want);
    // The two boundaries differ only in "_0." and "_1.".
    EXPECT_EQ(rtl::StringReplace(rel, "_0.", "_1.", 0), alt);
}

TEST(SmtpHtml, LongAndDottedLinesAndPartNumbers) {
    const std::string img = mailtest::tempPath("pic.gif"), file = mailtest::tempPath("doc.txt");
    smtptest::writeFile(img, smtptest::binaryBytes(100, 3));
    smtptest::writeFile(file, "text file");
    Html h;
    const std::string longLine = std::string(100, 'h') + "=" + std::string(99, 'm');
    h.c.HtmlText().SetText(longLine + "\r\n.\r\n");
    h.c.PlainText().SetText("plain");
    rtl::TStringList images, files;
    images.Add(img);
    files.Add(file);
    h.c.SetEmailImages(images);
    h.c.SetEmailFiles(files);
    const Message m = splitMessage(writeMessage(h.c));
    auto at = std::find(m.body.begin(), m.body.end(), "Content-Transfer-Encoding: quoted-printable");
    at = std::find(at + 1, m.body.end(), "Content-Transfer-Encoding: quoted-printable");
    ASSERT_NE(at, m.body.end());
    const std::vector<std::string> html(at + 2, at + 5);  // past the blank line
    EXPECT_LE(longest(html), 76u);
    EXPECT_EQ(html[0].back(), '=');
    EXPECT_EQ(decodeQP({html[0], html[1], html[2]}), longLine);
    EXPECT_EQ(*(at + 5), "..");
    const std::string body = [&] {
        std::string s;
        for (const auto& l : m.body) s += l + "\n";
        return s;
    }();
    const std::string imgName = rtl::ExtractFileName(img), fileName = rtl::ExtractFileName(file);
    EXPECT_NE(body.find("Content-Type: image/gif;\n\tname=\"" + imgName + "\"\nContent-Transfer-Encoding: base64\n"
                        "Content-Disposition: inline;\n\tfilename=\"" + imgName + "\"\nContent-ID: <IMAGE1>\n"),
              std::string::npos);
    EXPECT_NE(body.find("Content-Type: text/plain;\n\tname=\"" + fileName + "\"\nContent-Transfer-Encoding: base64\n"
                        "Content-Disposition: attachment;\n\tfilename=\"" + fileName + "\"\nX-File-ID: <FILE1>\n"),
              std::string::npos);
    // The image is no attachment: a handler keyed on the attachment list must not take it for one.
    EXPECT_EQ(h.contentTypeNumbers, (std::vector<int>{-1, 0}));
}

TEST(SmtpHtml, ModesFollowEachOther) {
    const std::string file = mailtest::tempPath("mode.txt");
    smtptest::writeFile(file, "x");
    THtmlSmtpCli c;
    rtl::TStringList files;
    files.Add(file);
    c.SetEmailFiles(files);
    c.SetContentType(smtpPlainText);
    c.PlainText().SetText("  first keeps its blanks  \r\nsecond");
    Message m = splitMessage(writeMessage(c));
    EXPECT_EQ(headerValue(m.header, "Content-Type"), "multipart/mixed;");
    EXPECT_NE(std::find(m.body.begin(), m.body.end(), "  first keeps its blanks  "), m.body.end());

    c.SetContentType(smtpHtml);
    c.HtmlText().SetText("<p>hi</p>");
    m = splitMessage(writeMessage(c));
    EXPECT_TRUE(rtl::StartsText("multipart/related;", headerValue(m.header, "Content-Type")));

    c.SetContentType(smtpPlainText);
    m = splitMessage(writeMessage(c));
    EXPECT_NE(std::find(m.body.begin(), m.body.end(), "  first keeps its blanks  "), m.body.end());

    // With its own header the HTML writer still starts from the beginning.
    c.SetContentType(smtpHtml);
    c.OwnHeaders = true;
    writeMessage(c);
    const auto body = lines(writeMessage(c));
    EXPECT_EQ(body.front(), "This is a multipart MIME formatted message.");
    EXPECT_EQ(body.back(), "--" + c.RelatedBoundary() + "--");
}

TEST(SmtpHtml, PlainModeEncodesWhatItDeclares) {
    THtmlSmtpCli c;
    c.SetContentType(smtpPlainText);
    c.Allow8bitChars = false;
    const std::string text = "na\xEFve " + std::string(150, 'q') + "\r\n.dot = equals";
    c.PlainText().SetText(text);
    const Message m = splitMessage(writeMessage(c));
    EXPECT_EQ(headerValue(m.header, "Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_LE(longest(m.body), 76u);
    std::vector<std::string> unstuffed = m.body;
    for (auto& l : unstuffed)
        if (l.size() > 1 && l[0] == '.') l.erase(0, 1);
    EXPECT_EQ(decodeQP(unstuffed), text);
}

// ---------------------------------------------------------------- scripted servers

TEST(SmtpScripted, TwoLineBannerCompletesOnce) {
    ScriptedServer srv("220-mx.test first\r\n220 second\r\n", {{"221 bye\r\n"}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    ASSERT_TRUE(c.smtp.ConnectSync()) << c.smtp.ErrorMessage();
    EXPECT_EQ(c.smtp.LastResponse(), "220 second");
    EXPECT_TRUE(c.smtp.QuitSync());
    ASSERT_TRUE(c.waitDone(2));
    EXPECT_EQ(c.done[0], std::make_pair(smtpConnect, 0));
}

TEST(SmtpScripted, RefusingBannerClosesTheConnection) {
    ScriptedServer srv("554 go away\r\n", {}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    EXPECT_FALSE(c.smtp.ConnectSync());
    ASSERT_TRUE(c.waitDone());
    EXPECT_EQ(c.done[0], std::make_pair(smtpConnect, 10004));
    EXPECT_EQ(c.smtp.ErrorMessage(), "554 go away");
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_TRUE(srv.clientClosed());
}

TEST(SmtpScripted, CapabilitiesChooseTheMechanism) {
    ScriptedServer srv(kBanner, {{"250-mx.test\r\n250-PIPELINING\r\n250-AUTH LOGIN PLAIN\r\n250-AUTH=LOGIN\r\n"
                                  "250 SIZE 1000\r\n"},
                                 {"334 VXNlcm5hbWU6\r\n"},
                                 {"334 UGFzc3dvcmQ6\r\n"},
                                 {"235 ok\r\n"}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.AuthType = smtpAuthAutoSelect;
    c.smtp.Username = "user";
    c.smtp.Password = "secret";
    ASSERT_TRUE(c.smtp.OpenSync()) << c.smtp.ErrorMessage();
    EXPECT_EQ(c.smtp.AuthTypesSupported().Text(), "LOGIN\r\nPLAIN\r\n");
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"EHLO client.test", "AUTH LOGIN", Base64Encode("user"),
                                                        Base64Encode("secret")}));
}

TEST(SmtpScripted, CramMD5TheStandardsExample) {
    // The example exchange of the CRAM-MD5 standard.
    ScriptedServer srv(kBanner, {{"250-mx.test\r\n250 AUTH CRAM-MD5\r\n"},
                                 {"334 " + Base64Encode("<1896.697170952@postoffice.reston.mci.net>") + "\r\n"},
                                 {"235 ok\r\n"}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.AuthType = smtpAuthAutoSelect;
    c.smtp.Username = "tim";
    c.smtp.Password = "tanstaaftanstaaf";
    ASSERT_TRUE(c.smtp.OpenSync()) << c.smtp.ErrorMessage();
    const auto cmds = srv.commands();
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[1], "AUTH CRAM-MD5");
    EXPECT_EQ(Base64Decode(cmds[2]), "tim b913a602c7eda7a495b4e6e7334d3890");
}

// Asked to follow the server with a user name filled in: a server that
// offers no login (a local relay) gets the message without one, and the
// client says so; one that offers only mechanisms the client lacks gets no
// command it cannot take, and the failure names what it offered.
TEST(SmtpScripted, AuthenticationFollowsWhatTheServerOffers) {
    struct Case {
        std::vector<Step> steps;
        bool ok;
        std::vector<std::string> commands;
        const char* text;  // in AuthNote when ok, else in ErrorMessage
    } cases[] = {
        {{{"250-mx.test\r\n250 8BITMIME\r\n"}, {"221 bye\r\n", false, true}},
         true,
         {"EHLO client.test", "QUIT"},
         "The server offers no authentication: sent without logging in"},
        {{{"502 no EHLO here\r\n"}, {"250 hello\r\n"}, {"221 bye\r\n", false, true}},
         true,
         {"EHLO client.test", "HELO client.test", "QUIT"},
         "The server refused EHLO and so offers no authentication: sent without logging in"},
        {{{"250-mx.test\r\n250 AUTH GSSAPI XOAUTH2\r\n"}, {"221 bye\r\n", false, true}},
         false,
         {"EHLO client.test", "QUIT"},
         "500 The server offers authentication only by GSSAPI XOAUTH2, none of which this program can do "
         "(PLAIN, LOGIN, CRAM-MD5, NTLM)"},
    };
    for (const auto& k : cases) {
        ScriptedServer srv(kBanner, k.steps);
        Recorder<TSyncSmtpCli> c(srv.portText());
        std::vector<std::string> shown;
        c.smtp.OnDisplay = [&](rtl::TObject*, const std::string& m) { shown.push_back(m); };
        c.smtp.AuthType = smtpAuthAutoSelect;
        c.smtp.Username = "user";
        c.smtp.Password = "secret";
        EXPECT_EQ(c.smtp.OpenSync(), k.ok) << c.smtp.ErrorMessage();
        if (k.ok) {
            EXPECT_EQ(c.smtp.AuthNote(), k.text);
            EXPECT_NE(std::find(shown.begin(), shown.end(), std::string("! ") + k.text), shown.end());
        } else {
            EXPECT_EQ(c.smtp.ErrorMessage(), k.text);
            EXPECT_EQ(c.smtp.AuthNote(), "");
        }
        EXPECT_TRUE(c.smtp.QuitSync());
        EXPECT_EQ(srv.commands(), k.commands) << k.text;
    }
}

// A refused mechanism moves down one step, but without TLS a refused
// challenge mechanism (a 504 anyone on the path can forge) never leads to a
// password in clear; between clear-text mechanisms the step stays.
TEST(SmtpScripted, RefusedMechanismsFallBack) {
    struct Case {
        const char* offered;
        std::vector<const char*> refusals;
        std::vector<std::string> mechanisms;  // the AUTH commands' first words after "AUTH "
        bool ok;
    } cases[] = {
        {"PLAIN LOGIN CRAM-MD5 NTLM", {"504 no NTLM\r\n", "504 no CRAM\r\n"}, {"NTLM", "CRAM-MD5"}, false},
        {"PLAIN LOGIN", {"504 no LOGIN\r\n", "235 ok\r\n"}, {"LOGIN", "PLAIN"}, true},
    };
    for (const auto& k : cases) {
        std::vector<Step> steps = {{std::string("250-mx.test\r\n250 AUTH ") + k.offered + "\r\n"}};
        for (const char* r : k.refusals) steps.push_back({r});
        ScriptedServer srv(kBanner, steps, true);
        Recorder<TSyncSmtpCli> c(srv.portText());
        c.smtp.AuthType = smtpAuthAutoSelect;
        c.smtp.Username = "login";
        c.smtp.Password = "pw";
        c.smtp.FromName = "sender@x.test";
        EXPECT_EQ(c.smtp.OpenSync(), k.ok) << c.smtp.ErrorMessage();
        if (!k.ok)
            EXPECT_EQ(c.smtp.ErrorMessage(), "504 no CRAM (no fall-back to a clear-text password without TLS)");
        c.smtp.Abort();
        const auto cmds = srv.commands();
        std::vector<std::string> mechanisms;
        for (size_t i = 1; i < cmds.size(); ++i) mechanisms.push_back(cmds[i].substr(5, cmds[i].find(' ', 5) - 5));
        EXPECT_EQ(mechanisms, k.mechanisms) << k.offered;
        if (k.ok) {  // the login, not the sender's address, with an empty authorization id
            EXPECT_EQ(cmds.back(), "AUTH PLAIN " + Base64Encode(std::string("\0login\0pw", 9)));
        }
    }
}

TEST(SmtpScripted, AuthFailures) {
    struct Case {
        TSmtpAuthType type;
        std::vector<Step> steps;
        int code;
        std::string error;
    } cases[] = {
        {smtpAuthAutoSelect,
         {{"250-mx\r\n250 AUTH PLAIN\r\n"}, {"535 bad credentials\r\n"}},
         535,
         "500 Authentication Type could not be determined."},
        {smtpAuthPlain, {{"250-mx\r\n250 AUTH PLAIN\r\n"}, {"535 bad credentials\r\n"}}, 535, "535 bad credentials"},
        {smtpAuthCramMD5, {{"250 mx\r\n"}, {"334\r\n"}}, 500, "500 Malformed MD5 Challege: 334"},
        {smtpAuthNtlm, {{"250 mx\r\n"}, {"334 \r\n"}}, 500, "500 Malformed NtlmMsg2: 334 "},
    };
    for (auto& k : cases) {
        ScriptedServer srv(kBanner, k.steps, true);
        Recorder<TSyncSmtpCli> c(srv.portText());
        c.smtp.AuthType = k.type;
        c.smtp.Username = "u";
        c.smtp.Password = "p";
        c.smtp.Open();
        ASSERT_TRUE(c.waitDone());
        EXPECT_EQ(c.done[0], std::make_pair(smtpOpen, k.code)) << k.error;
        EXPECT_EQ(c.smtp.ErrorMessage(), k.error);
        c.smtp.Abort();
    }
}

TEST(SmtpScripted, SimpleCommands) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 <bob@x.test>\r\n"}, {"no code here\r\n"}, {"250 ok\r\n"}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.Host = "localhost";  // a name, looked up first
    c.smtp.SignOn = "my host name";
    c.smtp.HdrTo = "bob";
    ASSERT_TRUE(c.smtp.OpenSync()) << c.smtp.ErrorMessage();
    EXPECT_TRUE(c.smtp.VrfySync());
    EXPECT_FALSE(c.smtp.RsetSync());
    EXPECT_EQ(c.smtp.StatusCode(), 20600);
    EXPECT_TRUE(c.smtp.RsetSync());
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"HELO my_host_name", "VRFY bob", "RSET", "RSET"}));
}

TEST(SmtpScripted, RefusedConnection) {
    Recorder<TSyncSmtpCli> c(std::to_string(testsupport::closedPort()));
    EXPECT_FALSE(c.smtp.ConnectSync());
    ASSERT_TRUE(c.waitDone());
    EXPECT_EQ(c.done[0], std::make_pair(smtpConnect, 10061));
    EXPECT_EQ(c.smtp.ErrorMessage(), "500 " + net::WSocketErrorDesc(10061) + " (Winsock error #10061)");
    EXPECT_EQ(c.smtp.State(), smtpReady);
}

TEST(SmtpScripted, RefusedEhloFailsAnOpenThatNeedsIt) {
    ScriptedServer srv(kBanner, {{"502 no EHLO here\r\n"}}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.AuthType = smtpAuthLogin;
    c.smtp.Username = "u";
    EXPECT_FALSE(c.smtp.OpenSync());
    EXPECT_EQ(c.smtp.ErrorMessage(), "502 no EHLO here");
    c.smtp.Abort();
    // Neither HELO nor credentials went out.
    EXPECT_EQ(srv.commands(), std::vector<std::string>{"EHLO client.test"});
}

TEST(SmtpScripted, RefusedEhloFallsBackToHeloWhenNothingDependsOnIt) {
    ScriptedServer srv(kBanner, {{"502 no EHLO\r\n"}, {"250 hello\r\n"}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.HighLevelAsync(smtpOpen, SmtpFct(smtpFctConnect) | SmtpFct(smtpFctEhlo));
    ASSERT_TRUE(c.waitDone());
    EXPECT_EQ(c.done[0], std::make_pair(smtpOpen, 0));
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"EHLO client.test", "HELO client.test"}));
}

TEST(SmtpScripted, RefusedRecipients) {
    for (bool ignore : {true, false}) {
        std::vector<Step> steps = {{"250 hi\r\n"}, {"250 ok\r\n"}, {"550 unknown\r\n"}};
        if (ignore) steps.push_back({"250 ok\r\n"});
        ScriptedServer srv(kBanner, steps, true);
        Recorder<TSyncSmtpCli> c(srv.portText());
        c.smtp.FromName = "Me <me@x.test>";
        c.smtp.RcptNameAdd("a@x.test; \"B\" <b@x.test>", "c@x.test", "");
        std::vector<int> asked;
        if (ignore)
            c.smtp.OnRcptToError = [&](rtl::TObject*, uint16_t code, int idx, TSmtpRcptToErrorAction& act) {
                asked.push_back(idx);
                EXPECT_EQ(code, 550);
                act = srteIgnore;
            };
        ASSERT_TRUE(c.smtp.OpenSync());
        c.smtp.RcptTo();
        ASSERT_TRUE(c.waitDone(2));
        EXPECT_EQ(c.done[1], std::make_pair(smtpRcptTo, ignore ? 0 : 550));
        c.smtp.Abort();
        std::vector<std::string> want = {"HELO client.test", "RCPT TO:<a@x.test>", "RCPT TO:<b@x.test>"};
        if (ignore) want.push_back("RCPT TO:<c@x.test>");
        EXPECT_EQ(srv.commands(), want);
        if (ignore) {
            EXPECT_EQ(asked, std::vector<int>{1});
        }
    }
}

TEST(SmtpScripted, QuitEndsEvenWhenTheServerStaysConnected) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"221 bye\r\n"}}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    ASSERT_TRUE(c.smtp.OpenSync());
    EXPECT_TRUE(c.smtp.QuitSync());
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_TRUE(srv.clientClosed());
}

TEST(SmtpScripted, ChainKeepsTheFirstErrorAndRunsQuit) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"550 sender refused\r\n"}, {"500 quit refused\r\n"}}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    ASSERT_TRUE(c.smtp.OpenSync());
    c.smtp.HighLevelAsync(smtpMail, SmtpFct(smtpFctMailFrom) | SmtpFct(smtpFctRcptTo) | SmtpFct(smtpFctQuit));
    ASSERT_TRUE(c.waitDone(2));
    EXPECT_EQ(c.done[1], std::make_pair(smtpMail, 550));
    EXPECT_EQ(c.smtp.ErrorMessage(), "550 sender refused");
    EXPECT_EQ(srv.commands(), (std::vector<std::string>{"HELO client.test", "MAIL FROM:<me@x.test>", "QUIT"}));
}

TEST(SmtpScripted, LongRepliesAreReadWholeOrRefused) {
    const std::string longLine(70000, 'x');
    ScriptedServer srv(kBanner, {{"250-" + longLine + "\r\n250 AUTH PLAIN\r\n"}, {std::string(kMaxLineLength + 65536, 'y')}}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    ASSERT_TRUE(c.smtp.ConnectSync());
    ASSERT_TRUE(c.smtp.EhloSync());
    EXPECT_EQ(c.smtp.AuthTypesSupported().Text(), "PLAIN\r\n");
    EXPECT_FALSE(c.smtp.RsetSync());
    EXPECT_EQ(c.smtp.ErrorMessage(), "500 Line too long");
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_EQ(c.smtp.State(), smtpReady);
}

TEST(SmtpScripted, SilenceTimesOut) {
    ScriptedServer srv("", {}, true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.Timeout = 1;
    EXPECT_FALSE(c.smtp.OpenSync());
    EXPECT_EQ(c.smtp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(c.smtp.StatusCode(), 426);
    EXPECT_EQ(c.smtp.State(), smtpReady);
    EXPECT_TRUE(srv.clientClosed());
}

TEST(SmtpScripted, ConnectionLostUnderARequest) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"", false, true}});
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    ASSERT_TRUE(c.smtp.OpenSync());
    EXPECT_FALSE(c.smtp.MailSync());
    ASSERT_TRUE(c.waitDone(2));
    EXPECT_EQ(c.done[1], std::make_pair(smtpMail, 10004));
}

TEST(SmtpScripted, MissingAttachmentDoesNotCompleteTheMessage) {
    const std::string file = mailtest::tempPath("vanishing.bin");
    smtptest::writeFile(file, "soon gone");
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 stored\r\n", true}},
                       true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    c.smtp.MailMessage().SetText("text");
    rtl::TStringList files;
    files.Add(file);
    c.smtp.SetEmailFiles(files);
    ::unlink(file.c_str());
    ASSERT_TRUE(c.smtp.OpenSync());
    EXPECT_FALSE(c.smtp.MailSync());
    EXPECT_TRUE(rtl::StartsText("500 Message not sent: EInOutError", c.smtp.ErrorMessage())) << c.smtp.ErrorMessage();
    // The server saw the connection go, never the final period.
    EXPECT_EQ(srv.wire().find("\r\n.\r\n"), std::string::npos);
    EXPECT_EQ(srv.commands().size(), 4u);
}

TEST(SmtpScripted, ExplicitTlsSendsNothingInClear) {
    ScriptedServer srv(kBanner, {{"250-mx.test\r\n250 AUTH PLAIN\r\n"}}, true);
    Recorder<TSslSmtpCli> c(srv.portText());
    c.smtp.SslType = smtpTlsExplicit;
    c.smtp.AuthType = smtpAuthPlain;
    c.smtp.Username = "u";
    c.smtp.Password = "secret";
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    EXPECT_FALSE(c.smtp.OpenSync());
    EXPECT_EQ(c.smtp.ErrorMessage(), "500 STARTTLS is not available.");
    // Called one by one, credentials and the message are refused too.
    EXPECT_FALSE(c.smtp.AuthSync());
    EXPECT_TRUE(rtl::StartsText("STARTTLS has not succeeded", c.smtp.ErrorMessage())) << c.smtp.ErrorMessage();
    EXPECT_FALSE(c.smtp.MailFromSync());
    EXPECT_FALSE(c.smtp.DataSync());
    c.smtp.Abort();
    EXPECT_EQ(srv.commands(), std::vector<std::string>{"EHLO client.test"});
}

TEST(SmtpScripted, StartTlsCapabilityLine) {
    const std::pair<const char*, bool> cases[] = {
        {"250-starttls\r\n", true}, {"250-STARTTLS EXTRA\r\n", false}, {"250-STARTTLSX\r\n", false}};
    for (const auto& [line, offered] : cases) {
        ScriptedServer srv(kBanner, {{std::string("250-mx\r\n") + line + "250 HELP\r\n"}}, true);
        Recorder<TSslSmtpCli> c(srv.portText());
        ASSERT_TRUE(c.smtp.ConnectSync());
        ASSERT_TRUE(c.smtp.EhloSync());
        EXPECT_EQ(c.smtp.StartTlsSupported(), offered) << line;
        c.smtp.Abort();
    }
}

TEST(SmtpScripted, StartTlsRefusals) {
    ScriptedServer srv(kBanner, {{"250-mx\r\n250 STARTTLS\r\n"}}, true);
    Recorder<TSslSmtpCli> c(srv.portText());
    ASSERT_TRUE(c.smtp.ConnectSync());
    EXPECT_FALSE(c.smtp.StartTlsSupported());
    c.smtp.StartTls();
    ASSERT_TRUE(c.waitDone(2));
    EXPECT_EQ(c.done[1], std::make_pair(smtpStartTls, 500));
    EXPECT_EQ(c.smtp.ErrorMessage(), "500 ESMTP not supported.");
    ASSERT_TRUE(c.smtp.EhloSync());
    c.smtp.SslType = smtpTlsImplicit;  // as if the connection were secured from the start
    c.smtp.StartTls();
    ASSERT_TRUE(c.waitDone(4));
    EXPECT_EQ(c.smtp.ErrorMessage(), "500 STARTTLS is not supported with a implicite SSL connection");
    c.smtp.Abort();
    EXPECT_EQ(srv.commands(), std::vector<std::string>{"EHLO client.test"});
}

TEST(SmtpScripted, MisuseRaises) {
    TSmtpCli c;
    EXPECT_THROW(c.Helo(), SmtpException);  // not connected
    EXPECT_THROW(c.RcptTo(), SmtpException);  // no recipient
    c.SendMode = smtpToSocket;
    EXPECT_THROW(c.SendToFile("x"), SmtpException);
    c.SendMode = smtpToStream;
    EXPECT_THROW(c.SendToFile(""), SmtpException);
}

// A line break inside a line of the message goes out as CR LF, and the
// lines it makes are dot-stuffed: a lone LF or CR can never end the data
// early and smuggle a command behind it.
TEST(SmtpScripted, LoneLineBreaksInTheMessageGoOutAsCrLf) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"},
                                 {"250 stored\r\n", true}},
                       true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    c.smtp.OwnHeaders = true;
    c.smtp.MailMessage().Add("evil\n.\nMAIL FROM:<x@y>");
    c.smtp.MailMessage().Add("cr\r.\rRCPT TO:<z@y>");
    c.smtp.MailMessage().Add("both\r\n.\r\nDATA");
    ASSERT_TRUE(c.smtp.OpenSync());
    EXPECT_TRUE(c.smtp.MailSync()) << c.smtp.ErrorMessage();
    c.smtp.Abort();
    const std::string wire = srv.wire();
    const size_t data = wire.find("DATA\r\n");
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(wire.substr(data + 6),
              "evil\r\n..\r\nMAIL FROM:<x@y>\r\ncr\r\n..\r\nRCPT TO:<z@y>\r\nboth\r\n..\r\nDATA\r\n.\r\n");
}

// A line break or NUL in an argument would add a command of its own: the
// command is refused before anything goes out.
TEST(SmtpScripted, LineBreaksInArgumentsAreRefused) {
    struct Case {
        const char* from;
        const char* rcpt;
        const char* what;
    } cases[] = {
        {"me@x.test\r\nRSET", "you@x.test", "sender address"},
        {"me@x.test", "you@x.test\nDATA", "recipient"},
        {"me@x.test", "you@x.test\rDATA", "recipient"},
    };
    for (const auto& k : cases) {
        ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 ok\r\n"}}, true);
        Recorder<TSyncSmtpCli> c(srv.portText());
        c.smtp.FromName = k.from;
        c.smtp.RcptName().Add(k.rcpt);
        ASSERT_TRUE(c.smtp.OpenSync());
        EXPECT_FALSE(c.smtp.MailSync());
        EXPECT_EQ(c.smtp.ErrorMessage(),
                  std::string("500 The ") + k.what + " holds a line break or NUL byte: the message was not sent");
        c.smtp.Abort();
        // Not even the envelope went out.
        EXPECT_EQ(srv.commands(), (std::vector<std::string>{"HELO client.test", "<closed>"}));
    }
}

// A header value with a line break would put lines of its own in the
// header (a Bcc, say): the client itself refuses the message before its
// envelope goes, whoever fills its fields, and so for lines a handler adds
// and a part's content type.
TEST(SmtpScripted, LineBreaksInHeaderValuesAreRefused) {
    const std::string attachment = mailtest::tempPath("typed.txt");
    smtptest::writeFile(attachment, "text");
    const std::string evil = "x@x.test\r\nBcc: victim@x.test";
    struct Case {
        const char* name;
        std::function<void(THtmlSmtpCli&)> set;
        const char* error;
        bool envelope;  // refused only once the message is written
    } cases[] = {
        {"Cc", [&](THtmlSmtpCli& c) { c.HdrCc = evil; }, "500 The Cc holds", false},
        {"To", [&](THtmlSmtpCli& c) { c.HdrTo = "x@x.test\nBcc: victim@x.test"; }, "500 The To holds", false},
        {"Subject", [&](THtmlSmtpCli& c) { c.HdrSubject = std::string("Hi\0Bcc", 6); }, "500 The Subject holds", false},
        {"From", [&](THtmlSmtpCli& c) { c.HdrFrom = "Me <me@x.test>\rBcc: victim@x.test"; }, "500 The From holds", false},
        {"Reply-To", [&](THtmlSmtpCli& c) { c.HdrReplyTo = evil; }, "500 The Reply-To holds", false},
        {"CharSet", [&](THtmlSmtpCli& c) { c.CharSet = "utf-8\"\r\nBcc: victim@x.test"; },
         "500 The character set holds", false},
        {"HtmlCharSet", [&](THtmlSmtpCli& c) { c.HtmlCharSet = "utf-8\r\nBcc: victim@x.test"; },
         "500 The HTML character set holds", false},
        {"handler",
         [&](THtmlSmtpCli& c) {
             c.OnProcessHeader = [&](rtl::TObject*, rtl::TStringList& h) { h.Add("X-Note: " + evil); };
         },
         "500 The header line X-Note holds", true},
        {"content type",
         [&](THtmlSmtpCli& c) {
             rtl::TStringList files;
             files.Add(attachment);
             c.SetEmailFiles(files);
             c.OnAttachContentType = [&](rtl::TObject*, int, std::string&, std::string& t) { t = "text/plain\r\nBcc: v@x.test"; };
         },
         "500 Message not sent: SmtpException: The part header", true},
    };
    for (const auto& k : cases) {
        std::vector<Step> steps = {{"250 hi\r\n"}};
        if (k.envelope) steps.insert(steps.end(), {{"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}});
        ScriptedServer srv(kBanner, steps, true);
        Recorder<THtmlSmtpCli> c(srv.portText());
        c.smtp.FromName = "me@x.test";
        c.smtp.RcptName().Add("you@x.test");
        c.smtp.HdrTo = "you@x.test";
        c.smtp.HtmlText().SetText("<html>hi</html>");
        k.set(c.smtp);
        ASSERT_TRUE(c.smtp.OpenSync()) << k.name;
        EXPECT_FALSE(c.smtp.MailSync()) << k.name;
        EXPECT_EQ(c.smtp.ErrorMessage().rfind(k.error, 0), 0u) << k.name << ": " << c.smtp.ErrorMessage();
        c.smtp.Abort();
        const std::string wire = srv.wire();
        EXPECT_EQ(wire.find("Bcc"), std::string::npos) << k.name;
        EXPECT_EQ(wire.find("\r\n.\r\n"), std::string::npos) << k.name;
        EXPECT_EQ(wire.find("MAIL FROM") != std::string::npos, k.envelope) << k.name;
    }
}

// The message leaves in blocks: a small one, its end mark with it, in one
// write after the go-ahead; commands are not held back for acknowledgements.
TEST(SmtpScripted, SmallMessageAndEndMarkInOneWrite) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 stored\r\n", true}},
                       true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    std::vector<int> writes;
    c.smtp.CtrlSocket()->OnSendData = [&](rtl::TObject*, int n) { writes.push_back(n); };
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    c.smtp.MailMessage().SetText("one\r\ntwo\r\n.three");
    ASSERT_TRUE(c.smtp.OpenSync());
    int on = 0;
    socklen_t len = sizeof on;
    ASSERT_EQ(::getsockopt(c.smtp.CtrlSocket()->HSocket(), IPPROTO_TCP, TCP_NODELAY, &on, &len), 0);
    EXPECT_EQ(on, 1);
    ASSERT_TRUE(c.smtp.MailSync()) << c.smtp.ErrorMessage();
    c.smtp.Abort();
    const std::string wire = srv.wire();
    const size_t data = wire.find("DATA\r\n");
    ASSERT_NE(data, std::string::npos);
    const std::string message = wire.substr(data + 6);
    const std::string tail = "\r\n\r\none\r\ntwo\r\n..three\r\n.\r\n";
    ASSERT_GT(message.size(), tail.size());
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail);
    ASSERT_EQ(writes.size(), 5u);  // HELO, MAIL, RCPT, DATA, the message
    EXPECT_EQ(static_cast<size_t>(writes.back()), message.size());
}

// A message far larger than a block arrives whole and in order.
TEST(SmtpScripted, LargeMessageInBlocks) {
    ScriptedServer srv(kBanner, {{"250 hi\r\n"}, {"250 ok\r\n"}, {"250 ok\r\n"}, {"354 go\r\n"}, {"250 stored\r\n", true}},
                       true);
    Recorder<TSyncSmtpCli> c(srv.portText());
    int writes = 0;
    c.smtp.CtrlSocket()->OnSendData = [&](rtl::TObject*, int) { ++writes; };
    c.smtp.FromName = "me@x.test";
    c.smtp.RcptName().Add("you@x.test");
    std::string text;
    for (int i = 0; i < 20000; ++i) text += (i % 7 == 1 ? "." : "") + std::string("line ") + std::to_string(i) + "\r\n";
    c.smtp.MailMessage().SetText(text);
    ASSERT_TRUE(c.smtp.OpenSync());
    ASSERT_TRUE(c.smtp.MailSync()) << c.smtp.ErrorMessage();
    c.smtp.Abort();
    const auto message = srv.message();
    const auto header = std::find(message.begin(), message.end(), std::string());
    ASSERT_NE(header, message.end());
    const std::vector<std::string> body(header + 1, message.end());
    ASSERT_EQ(body.size(), 20000u);
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(body[i], (i % 7 == 1 ? ".." : "") + std::string("line ") + std::to_string(i)) << i;
    EXPECT_LT(writes, 200);  // not a write per line
}
