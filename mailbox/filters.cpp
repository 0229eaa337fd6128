#include "mailbox/filters.h"

#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {
constexpr int kMaxPattern = 9999;

bool isWordChar(unsigned char c) {
    return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

// A pattern matches no empty text, as the pattern matcher has it.
bool hits(const helpers::TRegex& re, std::string_view text) { return !text.empty() && helpers::rexec(re, text); }

}  // namespace

TFilterSet::TFilterSet(const rtl::TStringList& lines, TListKind kind) {
    lineCount_ = lines.Count();
    int number = 0;
    for (const std::string& raw : lines) {
        ++number;
        const std::string line = rtl::Trim(raw);
        if (line.empty()) continue;
        const bool toField = kind == TListKind::White && line[0] == '#';
        std::string pattern = toField ? rtl::Copy(line, 2, kMaxPattern) : line;
        std::string error;
        helpers::PRegex re = helpers::patternregex(pattern, false, error);
        if (re) patterns_.push_back({std::move(pattern), std::move(re), toField});
        else bad_.push_back({number, line, error.empty() ? "does not compile" : rtl::Trim(error)});
    }
}

std::string TFilterSet::BadLinesReport(std::string_view fileName) const {
    if (bad_.empty()) return {};
    std::string r = std::string(fileName) + ": " + std::to_string(bad_.size()) +
                    (bad_.size() == 1 ? " pattern line is" : " pattern lines are") + " skipped:";
    for (const TBadPattern& b : bad_) r += "\r\n\r\nLine " + std::to_string(b.line) + ": " + b.pattern + "\r\n" + b.error;
    return r;
}

bool IsWhiteRow(TRowStore& store, int r, const TFilterSet& white) {
    for (const TFilterSet::TPattern& p : white.patterns_) {
        if (hits(*p.re, store.Text(r, p.toField ? rtTo : rtFrom))) {
            store.SetText(r, rtMatched, p.text);
            return true;
        }
    }
    return false;
}

bool IsSpamRow(TRowStore& store, int r, const TFilterSet& spam) {
    // A row whose TOP failed has no texts to judge: it is not spam.
    if (store.Row(r).NotFetched) return false;
    const std::string data = rtl::Trim(store.Text(r, rtSubject)) + rtl::Trim(store.Text(r, rtTo)) +
                             std::string(store.Text(r, rtFirstlines));
    if (data.empty()) {
        store.SetText(r, rtMatched, "/NO SUBJECT/");
        return true;
    }
    if (spam.patterns_.empty()) return false;
    std::string clean;
    for (char c : data)
        if (isWordChar(static_cast<unsigned char>(c))) clean += c;
    clean = rtl::Trim(helpers::replaceall(clean, "  ", " ", true));
    clean = rtl::Trim(clean + " " + rtl::Trim(store.Text(r, rtFrom)));
    for (const TFilterSet::TPattern& p : spam.patterns_) {
        if (hits(*p.re, data) || hits(*p.re, clean)) {
            store.SetText(r, rtMatched, p.text);
            return true;
        }
    }
    return false;
}

bool MarkRow(TRowStore& store, int r, const TFilterSet& white, const TFilterSet& spam, TMarkCounts& counts) {
    TMsgRow& row = store.Row(r);
    if (row.NotFetched) return false;  // nothing known of it to judge
    if (IsWhiteRow(store, r, white)) {
        row.WhiteHit = true;
        row.DeleteMark = false;
        ++counts.white;
        return true;
    }
    if (row.DeleteMark) {
        ++counts.spam;
        return false;
    }
    if (IsSpamRow(store, r, spam)) {
        row.DeleteMark = true;
        ++counts.spam;
        return true;
    }
    return false;
}

bool IsWhiteRow(TRowStore& store, int r, const rtl::TStringList& whiteList) {
    return IsWhiteRow(store, r, TFilterSet(whiteList, TListKind::White));
}

bool IsSpamRow(TRowStore& store, int r, const rtl::TStringList& spamList) {
    return IsSpamRow(store, r, TFilterSet(spamList, TListKind::Spam));
}

bool MarkRow(TRowStore& store, int r, const rtl::TStringList& whiteList, const rtl::TStringList& spamList,
             TMarkCounts& counts) {
    return MarkRow(store, r, TFilterSet(whiteList, TListKind::White), TFilterSet(spamList, TListKind::Spam), counts);
}

void LoadPatternFile(const std::string& path, rtl::TStringList& list) {
    list.Clear();
    if (helpers::pathexists(path)) list.SetText(rtl::Trim(helpers::loadtext(path)));
}

}  // namespace mailbox
