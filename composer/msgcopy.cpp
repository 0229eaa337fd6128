// Message copies: names, head, reading back, searching.
#include "composer/msgcopy.h"

#include <algorithm>
#include <filesystem>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "helpers/textsearch.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"

namespace composer {

namespace {

// What a copy's name may keep of the subject (the euro and pound signs as UTF-8).
const std::string kNameChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 _-+,(.)#'!$\xC2\xA3%^&{}[]~\xE2\x82\xAC";
// Bytes a subject may take in a name: the date, the suffix of a second
// copy and ".htm" fit beside it within the usual 255.
constexpr size_t kSubjectBytes = 200;

// What a head line cannot hold as it is: the list separator, line breaks,
// the escape itself, and what a browser showing the copy would read as
// markup.
constexpr std::string_view kEscaped = "%;\r\n<>&";

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (kEscaped.find(c) == std::string_view::npos) {
            out += c;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        out += '%';
        out += hex[static_cast<unsigned char>(c) >> 4];
        out += hex[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// The text escaped gave; false when an escape is damaged.
bool unescaped(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int hi = i + 2 < text.size() ? helpers::detail::hexval(text[i + 1]) : -1;
        const int lo = hi >= 0 ? helpers::detail::hexval(text[i + 2]) : -1;
        if (lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string joined(const std::vector<std::string>& rows) {
    std::string s;
    for (const std::string& r : rows) s += escaped(r) + ";";
    return s;
}

// The rows of a list line: as written (escaped) by this program, or, in
// the copies of before, trimmed rows between ";".
bool rowsOf(std::string_view list, bool exact, std::vector<std::string>& rows) {
    rows.clear();
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        const std::string written(list.substr(start, end - start));
        std::string row;
        if (exact) {
            if (!unescaped(written, row)) return false;
        } else {
            row = rtl::Trim(written);
        }
        if (!row.empty()) rows.push_back(row);
        start = end + 1;
    }
    return true;
}

// The text after the first Mark of a head line, trimmed; exactly as written
// after Mark and one blank when Exact.
std::string headValue(const std::string& line, char mark, bool exact = false) {
    const size_t at = line.find(mark);
    if (at == std::string::npos) return std::string();
    if (!exact) return rtl::Trim(line.substr(at + 1));
    const size_t from = at + 1 < line.size() && line[at + 1] == ' ' ? at + 2 : at + 1;
    return line.substr(from);
}

// The subject that an older copy's name keeps: what follows the date and
// time, without ".htm" and without the "_2", "_3"... of a second copy in
// the same minute.
std::string subjectFromName(std::string_view fileName) {
    std::string stem(fileName);
    const size_t slash = stem.find_last_of('/');
    if (slash != std::string::npos) stem.erase(0, slash + 1);
    if (stem.size() >= 4 && rtl::LowerCase(stem.substr(stem.size() - 4)) == ".htm") stem.resize(stem.size() - 4);
    const size_t first = stem.find('_');
    const size_t second = first == std::string::npos ? first : stem.find('_', first + 1);
    if (second == std::string::npos) return std::string();
    std::string subject = stem.substr(second + 1);
    const size_t last = subject.find_last_of('_');
    if (last != std::string::npos && last + 1 < subject.size() &&
        subject.find_first_not_of("0123456789", last + 1) == std::string::npos)
        subject.resize(last);
    return rtl::Trim(subject);
}

constexpr const char* kSubjectMark = "Subject:";

}  // namespace

std::string MailboxName(std::string_view userId) { return mailbox::TForm1::MailboxFolderName(std::string(userId)); }

std::string CopyFolder(std::string_view folder, std::string_view userId) {
    // Without an account the copies sit in the folder itself, not under an empty name.
    const std::string box = MailboxName(userId);
    return helpers::homedir + std::string(folder) + "/" + (box.empty() ? "" : box + "/");
}

std::string SubjectForName(std::string_view subject) {
    std::string s = helpers::foldaccents(subject, kNameChars);
    if (s.size() > kSubjectBytes) {
        size_t cut = kSubjectBytes;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;  // whole characters
        s.resize(cut);
    }
    return s;
}

std::string CopyName(rtl::TDateTime when, std::string_view subject) {
    return rtl::FormatDateTime("yyyymmdd'_'hh'-'nn", when) + "_" + SubjectForName(subject) + ".htm";
}

std::string FreeCopyName(const std::string& folder, const std::string& name) {
    if (!helpers::pathexists(folder + name)) return name;
    const std::string stem = name.substr(0, name.size() - 4);
    for (int n = 2;; ++n) {
        const std::string candidate = stem + "_" + rtl::IntToStr(n) + ".htm";
        if (!helpers::pathexists(folder + candidate)) return candidate;
    }
}

std::string CopyText(const TMessageFields& f) {
    // The subject line comes last in the head, so the lines before it stand
    // where they always stood.
    return "<PRE>\r\nTo: " + f.To + "\r\nCc: " + f.Cc + "\r\nBcc: " + f.Bcc + "\r\nAttachments? " +
           joined(f.Attachments) + "\r\nInsertions? " + joined(f.Images) + "\r\n" + kSubjectMark + " " +
           escaped(f.Subject) + "\r\n</PRE>\r\n" + f.Body;
}

bool SameCopy(const TMessageFields& a, const TMessageFields& b) {
    return a.To == b.To && a.Cc == b.Cc && a.Bcc == b.Bcc && a.Subject == b.Subject && a.Body == b.Body &&
           a.Attachments == b.Attachments && a.Images == b.Images;
}

std::string TemplateText(std::string_view body) {
    const std::string lower = rtl::LowerCase(std::string(body));
    if (lower.find("<enter message here>") != std::string::npos) return std::string(body);
    std::string text(body);
    const size_t end = lower.rfind("</body>");
    const std::string placeholder = "<Enter Message Here>\r\n";
    if (end == std::string::npos) text += placeholder;
    else text.insert(end, placeholder);
    return text;
}

TStoredCopy ReadCopy(std::string_view fileName, std::string_view text) {
    TStoredCopy c;
    std::vector<std::string> head;
    size_t pos = 0;
    // Seven lines before the page in the copies of before; eight, with the
    // whole subject, in those written now.
    while (head.size() < 8) {
        const size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) break;
        std::string line(text.substr(pos, nl - pos));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        head.push_back(line);
        pos = nl + 1;
        if (head.size() == 7 && rtl::SameText(head[6], "</PRE>")) break;
    }
    const bool whole = head.size() == 8 && rtl::StartsText(kSubjectMark, head[6]) && rtl::SameText(head[7], "</PRE>");
    const bool before = head.size() == 7 && rtl::SameText(head[6], "</PRE>");
    if (!(before || whole) || !rtl::SameText(head[0], "<PRE>")) {
        c.Problem = "its head (the lines from <PRE> to </PRE>) is missing or damaged";
        return c;
    }
    if (whole) {
        if (!unescaped(headValue(head[6], ':', true), c.Subject)) c.Problem = "its subject line is damaged";
    } else {
        c.Subject = subjectFromName(fileName);
    }
    c.To = headValue(head[1], ':');
    c.Cc = headValue(head[2], ':');
    c.Bcc = headValue(head[3], ':');
    if (!rowsOf(headValue(head[4], '?', whole), whole, c.Attachments) ||
        !rowsOf(headValue(head[5], '?', whole), whole, c.Images))
        c.Problem = "a list of its files is damaged";
    c.Body = std::string(text.substr(pos));
    c.ok = c.Problem.empty();
    return c;
}

std::string ReceivedSubject(std::string_view page) {
    const size_t at = page.find(">Subject: ");
    if (at == std::string_view::npos) return "";
    std::string s(page.substr(at + 10, 999));
    const size_t end = s.find("</SPAN>");
    if (end != std::string::npos) s.resize(end);
    return s;
}

std::vector<std::string> CopyFiles(const std::string& folder) {
    rtl::TStringList list;
    list.SetText(helpers::dirlist(folder, "*.htm", "", "", ""));
    std::vector<std::string> names;
    for (const std::string& n : list) {
        const std::string t = rtl::Trim(n);
        if (!t.empty()) names.push_back(t);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> CopyFiles(const std::string& folder, bool Mailboxes) {
    std::vector<std::string> names = CopyFiles(folder);
    if (!Mailboxes) return names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        if (!e.is_directory(ec)) continue;
        const std::string box = e.path().filename().string();
        for (const std::string& n : CopyFiles(folder + box + "/")) names.push_back(box + "/" + n);
    }
    // The date and time begin every name: by them, whatever the folder.
    auto name = [](const std::string& n) { return n.substr(n.find('/') + 1); };
    std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const std::string x = name(a), y = name(b);
        return x != y ? x < y : a < b;
    });
    return names;
}

std::vector<std::string> SearchCopies(const std::string& folder, const std::vector<std::string>& names,
                                      const std::string& search,
                                      const std::function<void(size_t, size_t, size_t)>& progress) {
    std::vector<bool> keep(names.size(), false);
    size_t read = 0, found = 0;
    for (size_t k = names.size(); k-- > 0;) {
        if (read % 10 == 0 && progress) progress(read, names.size(), found);
        ++read;
        if (helpers::textfind(helpers::loadtext(folder + names[k]), search, 0, false)) {
            keep[k] = true;
            ++found;
        }
    }
    std::vector<std::string> hits;
    for (size_t k = 0; k < names.size(); ++k)
        if (keep[k]) hits.push_back(names[k]);
    return hits;
}

}  // namespace composer
