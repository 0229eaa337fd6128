// The blocking send routine: KwSendMail fills the client and waits while
// smtpresult chains Open, Mail and Quit from the client's request ends.
#include <cctype>
#include "helpers/kwsendmail.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace helpers {

mail::THtmlSmtpCli* sendclient = nullptr;
int64_t sendlimitms = 5000LL * 190;

namespace {

const char* const kError = "ERROR KwSendMail: ";

bool running = false;

// The running send ended on the server's own refusal (a reply of 400 or
// above), not on a failure of the client's making.
bool serverrefused = false;

// Clears sendclient when the client it names is destroyed.
class TClientWatch : public rtl::TComponent {
protected:
    void Notification(rtl::TComponent* component, rtl::TOperation op) override {
        if (op == rtl::opRemove && component == sendclient) sendclient = nullptr;
    }
};

TClientWatch& clientwatch() {
    static TClientWatch watch;
    return watch;
}

// Marks a send as running for as long as KwSendMail is inside it.
class TRunning {
public:
    TRunning() { running = true; }
    ~TRunning() { running = false; }
    TRunning(const TRunning&) = delete;
    TRunning& operator=(const TRunning&) = delete;
};

std::string stamp() { return datetimestr(rtl::Now()); }

// Field N, with the end marker past the last field read as an empty text.
std::string field(std::string_view text, std::string_view delimiters, int32_t n) {
    std::string f = getdelimel(text, delimiters, n);
    return f == endfield ? std::string() : f;
}

std::string trimmedfield(std::string_view text, std::string_view delimiters, int32_t n) {
    return rtl::Trim(field(text, delimiters, n));
}

// Addresses are separated by ";": a comma is dropped, not read as a separator.
std::string cleanaddresses(std::string_view text) {
    return replaceall(replaceall(text, "< ", "<", true), ",", "", true);
}

// Header fields and commands are lines: a CR, LF or NUL inside one of
// these texts would end its line early and start another of the sender's
// choosing.
bool breaksline(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos; }

// Files are attachments "/" images, and the paths are this system's, with
// "/" in them: the joining "/" is the first one followed (past blanks) by
// another "/" or by nothing, so the one before an image list's leading
// "/", or the last when there are no images. A text that has no such "/"
// is attachments alone when it starts with a path, else joined at its
// first "/".
void splitfiles(const std::string& files, std::string& attachments, std::string& images) {
    size_t at = std::string::npos;
    for (size_t i = files.find('/'); i != std::string::npos && at == std::string::npos; i = files.find('/', i + 1)) {
        const size_t next = files.find_first_not_of(" \t", i + 1);
        if (next == std::string::npos || files[next] == '/') at = i;
    }
    if (at == std::string::npos && rtl::Trim(files).substr(0, 1) != "/") at = files.find('/');
    attachments = files.substr(0, at);
    images = at == std::string::npos ? std::string() : files.substr(at + 1);
}

// The password is all after the user id's "/": it may hold "/" itself.
std::string passwordof(const std::string& credentials) {
    const size_t slash = credentials.find('/');
    return slash == std::string::npos ? std::string() : credentials.substr(slash + 1);
}

// Whether a file can be read; a path that could once is not checked again.
bool readablefile(const std::string& path) {
    if (sendchecked.find("|" + path + "|") != std::string::npos) return true;
    if (!pathexists(path)) return false;
    FILE* f = fopenretry(path, "rb");
    if (!f) return false;
    fclosechk(f);
    sendchecked += path + "|";
    return true;
}

// The lines of the client's file list for a ";"-list of files; attachment
// items may carry "|" and a content type, which goes to sendctypes. False
// with Bad naming the path when a file cannot be read. Paths keep their
// case: file names on this system are case-sensitive.
bool filelines(const std::string& list, bool withtypes, std::string& lines, std::string& bad) {
    lines.clear();
    for (int32_t n = 1;; ++n) {
        const std::string raw = getdelimel(list, ";", n);
        if (raw == endfield) break;
        const std::string item = rtl::Trim(raw);
        if (item.empty()) continue;
        std::string path = item;
        if (withtypes) {
            sendctypes += rtl::Trim(replaceall(field(item, "|", 2), ":", "/", true)) + "|";
            path = trimmedfield(item, "|", 1);
        }
        if (!readablefile(path)) {
            bad = path;
            return false;
        }
        lines += path + "\r\n";
    }
    return true;
}

// The send has ended without the chain's own answer, or with a failure: a
// message the server has taken (its reply to the data is in sendreply)
// counts as sent whatever happens after; anything else is a failure.
void endsend(const std::string& why) { sendresult = sendreply.empty() ? "*" + why : sendreply; }

// Ends a send that has no answer: the client is aborted, and the end of
// the request it cuts off is handled now, while this send's outcome stands,
// so that it cannot reach the next send.
void abortsend(mail::THtmlSmtpCli& c, const std::string& why) {
    c.Abort();
    endsend(why);
    win::ProcessMessages();
}

// Runs the message loop until the chain has written its outcome, the
// client's silence limit has passed, or the whole send has taken
// sendlimitms. The client is never left running.
void awaitoutcome(mail::THtmlSmtpCli& c) {
    const uint32_t start = win::GetTickCount();
    const auto busy = [&c] { return c.State() != mail::smtpReady; };
    const auto answered = [] { return !sendresult.empty(); };
    while (sendresult.empty()) {
        const int64_t left = sendlimitms - static_cast<int64_t>(win::TicksSince(start));
        if (left <= 0) {
            abortsend(c, "No Response from Email Component after " + rtl::IntToStr(sendlimitms / 60000) + " mins.");
            return;
        }
        if (busy() && c.Timeout > 0) {
            if (c.WaitUntilReady()) continue;
            // A refusal's end is on its way through the queue; a time-out has none.
            win::PumpUntil(answered, 1000);
            if (sendresult.empty()) {
                abortsend(c, "No answer from the server for " + rtl::IntToStr(c.Timeout) + " seconds (" +
                                 c.ErrorMessage() + ")");
            }
            return;
        }
        const bool wasbusy = busy();
        win::PumpUntil([&] { return answered() || busy() != wasbusy; }, std::min<int64_t>(left, 190));
    }
}

// The message body and its plain-text form, with the client's content type.
void setbody(mail::THtmlSmtpCli& c, std::string body) {
    body = replaceall(body, ".\r\n", ". \r\n", true);
    body = replaceall(body, ".</body>", ".<br></body>", false);
    if (rtl::Pos("<html", rtl::LowerCase(body)) > 0) {
        c.SetContentType(mail::smtpHtml);
        c.HtmlText().SetText(body);
        c.PlainText().SetText(replaceall(striptags(body, "<>"), ".\r\n", ". \r\n", true));
    } else {
        c.SetContentType(mail::smtpPlainText);
        c.HtmlText().SetText("");
        c.PlainText().SetText(body);
    }
    c.MailMessage().SetText(body);
}

// Host, port and TLS from host "/" port, the port led by "+" for STARTTLS
// or "-" for TLS from the first byte.
void setserver(mail::THtmlSmtpCli& c, const std::string& server) {
    c.SslType = mail::smtpTlsNone;
    std::string port = trimmedfield(server, "/", 2);
    if (port.empty()) {
        port = "smtp";
    } else if (port[0] == '+') {
        c.SslType = mail::smtpTlsExplicit;
        port = rtl::Copy(port, 2, 999);
    } else if (port[0] == '-') {
        c.SslType = mail::smtpTlsImplicit;
        port = rtl::Copy(port, 2, 999);
    }
    c.Host = trimmedfield(server, "/", 1);
    c.Port = port;
}

// A client certificate is offered only when one has been installed: a
// missing file would fail every TLS send.
void setclientcert(mail::THtmlSmtpCli& c) {
    net::TSslContext* context = c.GetSslContext();
    if (!context) return;
    const std::string pem = homedir + "mozcrt.pem";
    const std::string cert = pathexists(pem) ? pem : std::string();
    context->SetSslCertFile(cert);
    context->SetSslPrivKeyFile(context->SslCertFile());
    context->SetSslPassPhrase("");
}

}  // namespace

void setsendclient(mail::THtmlSmtpCli* client) {
    if (sendclient) clientwatch().RemoveFreeNotification(sendclient);
    sendclient = client;
    if (client) clientwatch().FreeNotification(client);
}

bool sendrunning() { return running; }

std::string KwSendMail(std::string recipients, std::string sender, std::string server, std::string credentials,
                       std::string subject, std::string body, std::string files, std::string pausesecs) {
    std::string status = "Email Sent OK";
    std::string reply;
    const long double pause = txtfloat(pausesecs);
    mail::THtmlSmtpCli* c = sendclient;
    if (!c) return std::string(kError) + "No Email Component";
    // The wait below runs the message loop: a second command must not
    // start another send on the same client.
    if (running) return std::string("*") + kError + "Another email is being sent - try again when it has gone";
    TRunning runguard;

    recipients = cleanaddresses(recipients);
    sender = cleanaddresses(sender);
    std::string from = trimmedfield(sender, "/", 1);
    std::string replyto = trimmedfield(sender, "/", 2);
    const std::string to = trimmedfield(recipients, "/", 1);
    const std::string cc = trimmedfield(recipients, "/", 2);
    const std::string bcc = trimmedfield(recipients, "/", 3);
    const std::string userid = field(credentials, "/", 1);
    std::string attachments, images;
    splitfiles(files, attachments, images);
    const struct {
        const char* name;
        const std::string& text;
    } lines[] = {{"To", to},           {"Cc", cc},           {"Bcc", bcc},
                 {"From", from},       {"Reply-To", replyto}, {"Subject", subject},
                 {"Attachments", attachments}, {"Embedded Images", images}, {"Server", server},
                 {"User Id", userid}};
    for (const auto& l : lines)
        if (breaksline(l.text))
            return kError + stamp() + " - " + l.name + " holds a line break or NUL character - nothing was sent";

    sendreceipt.clear();
    sendctypes.clear();
    if (rtl::Copy(from, 1, 1) == "=") {
        from.erase(0, 1);
        sendreceipt = from;
    }
    if (rtl::Copy(replyto, 1, 1) == "=") {
        replyto.erase(0, 1);
        sendreceipt = sendreceipt.empty() ? replyto : sendreceipt + ";" + replyto;
    }
    if (rtl::Copy(subject, 1, 1) == "!") {
        subject.erase(0, 1);
        sendreceipt = "!" + sendreceipt;
    }

    try {
        c->CharSet = sendcharset;
        c->HtmlCharSet = sendcharset;
        setclientcert(*c);
        c->RcptName().Clear();
        c->RcptNameAdd(to, cc, bcc);
        c->HdrPriority = mail::smtpPriorityNone;  // addsendhdrs writes the priority lines
        c->HdrFrom = from;
        c->HdrTo = to;
        c->HdrCc = cc;
        c->HdrSubject = subject;
        c->FromName = from;
        c->HdrReplyTo = replyto;
        c->SignOn = field(credentials, "@/", 1);
        c->Username = userid;
        c->AuthType = rtl::Trim(c->Username).empty() ? mail::smtpAuthNone : mail::smtpAuthAutoSelect;
        c->Password = passwordof(credentials);
        c->Allow8bitChars = false;

        std::string list, bad;
        if (!filelines(attachments, true, list, bad))
            return kError + std::string("Attachment Problem for File ") + bad + " " + stamp();
        c->EmailFiles().SetText(list);
        if (!filelines(images, false, list, bad))
            return kError + std::string("Problem for Embedded Image ") + bad + " " + stamp();
        c->EmailImages().SetText(list);

        setserver(*c, server);
        setbody(*c, body);

        sendresult.clear();
        sendreply.clear();
        serverrefused = false;
        c->Open();
        awaitoutcome(*c);

        if (rtl::Copy(sendresult, 1, 1) == "*") {
            status = kError;
            reply = sendresult.substr(1);
            // A server's refusal ends the chain early, but it is still the
            // server's final word on the message: say that it failed.
            if (serverrefused) status += "Email Failed";
        } else {
            if (rtl::StrToIntDef(field(sendresult, " ", 1), 400) >= 400) status = std::string(kError) + "Email Failed";
            reply = sendresult;
        }
        // A login the user filled in and the server did not ask for is worth
        // knowing about (and explains a refusal that follows): it stays on
        // the record of the send.
        if (!c->AuthNote().empty()) reply += " (" + c->AuthNote() + ")";
    } catch (const std::exception& e) {
        status = kError;
        reply = e.what();
        if (c->Connected() || c->State() != mail::smtpReady) c->Abort();
    }
    if (pause > 0) waitpump(static_cast<int32_t>(std::min<long double>(pause * 1000, INT32_MAX)));
    return status + " " + stamp() + " - " + reply;
}

void smtpresult(mail::TSmtpRequest request, uint16_t error) {
    mail::THtmlSmtpCli* c = sendclient;
    // Only the chain of the running send: a request end that arrives after
    // its send has its outcome starts nothing.
    if (!c || !running || !sendresult.empty()) return;
    try {
        if (error != 0) {
            serverrefused = c->Connected() && error >= 400 && error < 600 &&
                            rtl::StartsText(rtl::IntToStr(error), c->LastResponse());
            if (error >= 10000 || c->ErrorMessage().empty()) endsend("SMTP Error " + rtl::IntToStr(error));
            else endsend(c->ErrorMessage());
            c->Abort();
            return;
        }
        switch (request) {
            case mail::smtpOpen: c->Mail(); break;
            case mail::smtpMail:
                sendreply = c->LastResponse();
                c->Quit();
                break;
            case mail::smtpQuit: sendresult = sendreply; break;
            default:
                endsend("Request type " + rtl::IntToStr(static_cast<int>(request)) + " Unexpected");
                c->Abort();
        }
    } catch (const std::exception& e) {
        endsend(e.what());
        c->Abort();
    }
}

void sendattachtype(int filenumber, std::string& contenttype) {
    if (filenumber < 0) return;
    const std::string type = trimmedfield(sendctypes, "|", filenumber + 1);
    if (!type.empty()) contenttype = type;
}

void addsendhdrs(rtl::TStringList& lines) {
    if (rtl::Copy(sendreceipt, 1, 1) == "!") {
        lines.Add("Priority: Urgent");
        lines.Add("X-Priority: 1");
        lines.Add("Importance: High");
        sendreceipt.erase(0, 1);
    }
    if (sendreceipt.empty()) return;
    // The addresses are written as the client writes its own address
    // headers: a display name beyond ASCII goes encoded.
    for (const char* label : {"Disposition-Notification-To:", "Return-Receipt-Requested:", "Return-Receipt-To:",
                              "Read-Receipt-To:", "Registered-Mail-Reply-Requested-By:", "X-Confirm-Reading-To:"})
        lines.Add(sendclient ? sendclient->AddressHeader(label, sendreceipt) : std::string(label) + " " + sendreceipt);
}

}  // namespace helpers
