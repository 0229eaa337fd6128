#include "mailbox/rowfill.h"

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr std::string_view kCharsetParam = "kwre:;\\s*charset\\s*=\\s*[^;\\s]+(;|\\s)";
constexpr std::string_view kCharsetBare = "kwre:\\s*charset\\s*=\\s*[^;\\s]+(;|\\s)";
// A line break, 15 Base64 characters other than "=", then 10 or more Base64
// characters, "=" or line breaks, greedy.
constexpr std::string_view kBase64Block = "kwre:(?-U)\\r\\n[A-Z0-9/+]{15}[A-Z0-9=/+\\r\\n]{10,}";
constexpr std::string_view kTextPlain = "content-type: text/plain;";

std::string withoutQuotes(std::string s) {
    std::erase(s, '"');
    return s;
}

}  // namespace

std::string AnswerCharset(std::string_view answer) {
    if (!helpers::rematchc(kCharsetParam, answer, false)) return {};
    const std::string m = helpers::lastmatch;
    std::string v = rtl::Trim(m.substr(m.find('=') + 1));
    std::erase(v, ';');
    std::erase(v, '"');
    return rtl::LowerCase(rtl::Trim(v));
}

std::string FirstLinesText(std::string t, std::string_view charset) {
    const size_t body = rtl::LowerCase(t).find(kTextPlain);
    if (body != std::string::npos) t = rtl::Trim(t.substr(body + kTextPlain.size()));
    if (helpers::rematchc(kCharsetBare, t, false))
        t = helpers::replacestr(t, helpers::lastmatch, "", true, true);
    if (helpers::rematchc(kBase64Block, t, false)) {
        const std::string block = helpers::lastmatch;
        const std::string decoded = rtl::Trim(helpers::b64decode(block));
        if (!decoded.empty()) t = helpers::replacestr(t, block, decoded, true, true);
    }
    t = helpers::replaceall(t, "<BR>", "\r\n", false);
    t = helpers::striptags(t, "<>");
    t = helpers::replaceall(t, "  ", " ", true);
    t = helpers::replaceall(t, "&nbsp;", " ", false);
    t = helpers::replaceall(t, "&lt;", "<", false);
    t = helpers::replaceall(t, "&gt;", ">", false);
    return ValidUtf8(helpers::charsetconv(helpers::qpdecode(rtl::Trim(t)), charset));
}

void FillRowFromTop(TRowStore& store, int r, std::string_view answer, const TTopHeaders& hdrs,
                    std::string_view key, std::string& hdrCharset) {
    const std::string charset = AnswerCharset(answer);
    store.SetText(r, rtCharset, charset);
    store.SetText(r, rtOrgDate, hdrs.Date);
    auto decoded = [&](const std::string& v) { return DecodeEncodedWords(v, true, hdrCharset); };
    store.SetText(r, rtFrom, withoutQuotes(decoded(hdrs.From)));
    store.SetText(r, rtReplyTo, withoutQuotes(decoded(hdrs.ReplyTo)));
    store.SetText(r, rtTo, withoutQuotes(decoded(hdrs.To)));
    store.SetText(r, rtCc, withoutQuotes(decoded(hdrs.Cc)));
    std::string subject = decoded(hdrs.Subject);
    if (helpers::rematchc("kwre:^\\d{10,}$", subject, false)) {
        subject = helpers::numdecipher(subject, key);
        store.Row(r).Enciphered = true;
    }
    store.SetText(r, rtSubject, subject);
    store.SetText(r, rtFirstlines, FirstLinesText(std::string(answer), charset));
}

}  // namespace mailbox
