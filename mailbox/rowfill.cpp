#include "mailbox/rowfill.h"

#include <cstring>

#include "helpers/kwutil.h"
#include "mailbox/hdrdecode.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr std::string_view kCharsetParam = "kwre:;\\s*charset\\s*=\\s*[^;\\s]+(;|\\s)";
// A line break, 15 Base64 characters other than "=", then 10 or more Base64
// characters, "=" or line breaks, greedy.
constexpr std::string_view kBase64Block = "kwre:(?-U)\\r\\n[A-Z0-9/+]{15}[A-Z0-9=/+\\r\\n]{10,}";

std::string withoutQuotes(std::string s) {
    std::erase(s, '"');
    return s;
}

bool startsNoCase(std::string_view s, size_t at, std::string_view word) {
    if (s.size() - at < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if ((s[at + i] | 0x20) != word[i]) return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Where the first "Content-Type: text/<Subtype>" header starts (at a line
// start, any case, the type ended by ";" or a blank); npos when none.
size_t textPartHeader(std::string_view t, std::string_view subtype) {
    const std::string type = "text/" + std::string(subtype);
    for (size_t at = 0; at < t.size();) {
        if (startsNoCase(t, at, "content-type:")) {
            size_t v = at + 13;
            while (v < t.size() && isBlank(t[v])) ++v;
            if (startsNoCase(t, v, type) && (v + type.size() == t.size() || t[v + type.size()] == ';' ||
                                             isBlank(t[v + type.size()])))
                return at;
        }
        const void* nl = std::memchr(t.data() + at, '\n', t.size() - at);
        if (!nl) break;
        at = static_cast<size_t>(static_cast<const char*>(nl) - t.data()) + 1;
    }
    return std::string_view::npos;
}

// Where the blank line that ends the header block holding At starts; npos
// when the block does not end.
size_t headerBlockEnd(std::string_view t, size_t at) {
    for (size_t nl = t.find('\n', at); nl != std::string_view::npos; nl = t.find('\n', nl + 1)) {
        size_t next = nl + 1;
        if (next < t.size() && t[next] == '\r') ++next;
        if (next < t.size() && t[next] == '\n') return nl + 1;
        if (next >= t.size()) return std::string_view::npos;
    }
    return std::string_view::npos;
}

// The delimiter line ("--" and the boundary) that opened the part whose
// header starts at At; empty for a message of one part.
std::string_view openingDelimiter(std::string_view t, size_t at) {
    size_t start;
    const size_t nl = at == 0 ? std::string_view::npos : t.rfind("\n--", at - 1);
    if (nl != std::string_view::npos) start = nl + 1;
    else if (at > 0 && t.starts_with("--")) start = 0;
    else return {};
    size_t end = t.find('\n', start);
    if (end == std::string_view::npos || end > at) end = at;
    while (end > start && isBlank(t[end - 1])) --end;
    return t.substr(start, end - start);
}

}  // namespace

std::string_view FirstLinesBody(std::string_view t) {
    size_t part = textPartHeader(t, "plain");
    if (part == std::string_view::npos) part = textPartHeader(t, "html");
    const size_t from = part == std::string_view::npos ? 0 : part;
    const size_t body = headerBlockEnd(t, from);
    if (body == std::string_view::npos) return {};
    std::string_view b = t.substr(body);
    // The part ends where its multipart's next delimiter line starts.
    if (part != std::string_view::npos) {
        const std::string_view delimiter = openingDelimiter(t, part);
        if (!delimiter.empty()) {
            const size_t end = b.find("\n" + std::string(delimiter));
            if (end != std::string_view::npos) b = b.substr(0, end + 1);
        }
    }
    return b;
}

std::string AnswerCharset(std::string_view answer) {
    if (!helpers::rematchc(kCharsetParam, answer, false)) return {};
    const std::string m = helpers::lastmatch;
    std::string v = rtl::Trim(m.substr(m.find('=') + 1));
    std::erase(v, ';');
    std::erase(v, '"');
    return rtl::LowerCase(rtl::Trim(v));
}

std::string FirstLinesText(std::string_view answer, std::string_view charset) {
    // The body keeps the line break before its first line, where a Base64
    // block is recognised.
    std::string t(FirstLinesBody(answer));
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
    return helpers::charsetconv(helpers::qpdecode(rtl::Trim(t)), charset);
}

bool IsPrintableText(std::string_view s) {
    if (s.empty() || !helpers::isutf8(s)) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return false;
        // U+0080..U+009F, the C1 controls
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) return false;
    }
    return true;
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
        // Digits that decipher to no text were a number, not a cipher.
        std::string plain = helpers::numdecipher(subject, key);
        if (IsPrintableText(plain)) {
            subject = std::move(plain);
            store.Row(r).Enciphered = true;
        }
    }
    store.SetText(r, rtSubject, subject);
    store.SetText(r, rtFirstlines, FirstLinesText(answer, charset));
}

}  // namespace mailbox
