// Message copies: names, head, reading back, searching.
#include "composer/msgcopy.h"

#include <algorithm>

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

std::string joined(const std::vector<std::string>& rows) {
    std::string s;
    for (const std::string& r : rows) s += r + ";";
    return s;
}

std::vector<std::string> rowsOf(const std::string& list) {
    std::vector<std::string> rows;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        const std::string row = rtl::Trim(list.substr(start, end - start));
        if (!row.empty()) rows.push_back(row);
        start = end + 1;
    }
    return rows;
}

// The trimmed text after the first Mark of a head line.
std::string headValue(const std::string& line, char mark) {
    const size_t at = line.find(mark);
    return at == std::string::npos ? std::string() : rtl::Trim(line.substr(at + 1));
}

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
    return "<PRE>\r\nTo: " + f.To + "\r\nCc: " + f.Cc + "\r\nBcc: " + f.Bcc + "\r\nAttachments? " +
           joined(f.Attachments) + "\r\nInsertions? " + joined(f.Images) + "\r\n</PRE>\r\n" + f.Body;
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
    while (head.size() < 7) {
        const size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) return c;  // fewer than 8 lines
        std::string line(text.substr(pos, nl - pos));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        head.push_back(line);
        pos = nl + 1;
    }
    c.ok = true;
    std::string stem(fileName);
    const size_t slash = stem.find_last_of('/');
    if (slash != std::string::npos) stem.erase(0, slash + 1);
    if (stem.size() >= 4 && rtl::LowerCase(stem.substr(stem.size() - 4)) == ".htm") stem.resize(stem.size() - 4);
    const std::string third = helpers::getdelimel(stem, "_", 3);
    c.Subject = third == helpers::endfield ? "" : rtl::Trim(third);
    c.To = headValue(head[1], ':');
    c.Cc = headValue(head[2], ':');
    c.Bcc = headValue(head[3], ':');
    c.Attachments = rowsOf(headValue(head[4], '?'));
    c.Images = rowsOf(headValue(head[5], '?'));
    c.Body = std::string(text.substr(pos));
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
