// The send command's logic: checks, arguments, the sent log.
#include "composer/sendmsg.h"

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace composer {

TFieldProblem MissingField(const TMessageFields& f) {
    if (rtl::Trim(f.Host).empty()) return {"Please Fill in SMTP Host", TFieldProblem::Host};
    if (rtl::Trim(f.From).empty()) return {"Please Fill in From Address", TFieldProblem::From};
    if (f.Subject.empty()) return {"Please Fill in Subject", TFieldProblem::Subject};
    if (f.Body.empty()) return {"Please Fill in Body", TFieldProblem::Body};
    if (rtl::Trim(f.To).empty()) return {"Please Fill in To Address", TFieldProblem::To};
    return {};
}

bool MentionsAttachment(std::string_view body, std::string_view quoteStyle) {
    std::string text = helpers::replaceall(rtl::LowerCase(rtl::Trim(std::string(body))), "attach:", "", true);
    // An empty style would be found at the start and leave nothing to check.
    const std::string style = rtl::LowerCase(std::string(quoteStyle));
    if (!style.empty()) {
        const size_t at = text.find(style);
        if (at != std::string::npos) text.resize(at);
    }
    return text.find("attach") != std::string::npos;
}

std::string SliceCipher(std::string_view cipher) {
    std::string out;
    out.reserve(cipher.size() + cipher.size() / 25 + 2);
    for (size_t i = 0; i < cipher.size(); i += 50) {
        out.append(cipher.substr(i, 50));
        out += "\r\n";
    }
    return out;
}

namespace {

std::string joined(const std::vector<std::string>& rows) {
    std::string s;
    for (const std::string& r : rows) s += r + ";";
    return s;
}

}  // namespace

TSendArgs BuildSendArgs(const TMessageFields& f, std::string_view subject, std::string_view body,
                        std::string_view key) {
    TSendArgs a;
    a.recipients = f.To + "/" + f.Cc + "/" + f.Bcc;
    a.senders = (f.ReceiptFrom ? "=" : "") + f.From + "/" + (f.ReceiptReplyTo ? "=" : "") + f.ReplyTo;
    a.host = f.Host;
    a.credentials = f.UserId + "/" + f.Password;
    if (f.Encrypt) {
        a.subject = helpers::numcipher(subject, key);
        a.body = SliceCipher(helpers::numcipher(body, key));
    } else {
        a.subject = std::string(subject);
        a.body = std::string(body);
    }
    a.files = joined(f.Attachments) + "/" + joined(f.Images);
    a.delay = "0";
    return a;
}

bool FindTitle(std::string_view body, size_t& start, size_t& length) {
    const std::string lower = rtl::LowerCase(std::string(body));
    const size_t open = lower.find("<title>");
    if (open == std::string::npos) return false;
    // The first end after it: a quoted page further down keeps its own title.
    const size_t close = lower.find("</title>", open + 7);
    if (close == std::string::npos) return false;
    start = open;
    length = close + 8 - open;
    return true;
}

std::string TitleFor(std::string_view subject) {
    std::string s;
    for (char c : subject) {
        if (c == '&') s += "&amp;";
        else if (c == '<') s += "&lt;";
        else if (c == '>') s += "&gt;";
        else s += c;
    }
    return "<TITLE>" + s + "</TITLE>";
}

std::string SentLogLine(const TMessageFields& f, std::string_view result) {
    return "To:" + f.To + "\tFrom:" + f.From + "\tSubject:" + f.Subject + "\tResult:" + std::string(result);
}

bool SendSucceeded(std::string_view result) { return result.find("- 250") != std::string_view::npos; }

std::string SentLogPath() { return helpers::homedir + "pelliwoxsent.log"; }

}  // namespace composer
