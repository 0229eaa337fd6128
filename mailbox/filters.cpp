#include "mailbox/filters.h"

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {
constexpr int kMaxPattern = 9999;

bool isWordChar(unsigned char c) {
    return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}
}  // namespace

bool IsWhiteRow(TRowStore& store, int r, const rtl::TStringList& whiteList) {
    for (const std::string& raw : whiteList) {
        const std::string line = rtl::Trim(raw);
        if (line.empty()) continue;
        const bool toField = line[0] == '#';
        const std::string pattern = toField ? rtl::Copy(line, 2, kMaxPattern) : line;
        if (helpers::rematchc(pattern, store.Text(r, toField ? rtTo : rtFrom), false)) {
            store.SetText(r, rtMatched, pattern);
            return true;
        }
    }
    return false;
}

bool IsSpamRow(TRowStore& store, int r, const rtl::TStringList& spamList) {
    // A row whose TOP failed has no texts to judge: it is not spam.
    if (store.Row(r).NotFetched) return false;
    const std::string data = rtl::Trim(store.Text(r, rtSubject)) + rtl::Trim(store.Text(r, rtTo)) +
                             std::string(store.Text(r, rtFirstlines));
    if (data.empty()) {
        store.SetText(r, rtMatched, "/NO SUBJECT/");
        return true;
    }
    if (spamList.Count() == 0) return false;
    std::string clean;
    for (char c : data)
        if (isWordChar(static_cast<unsigned char>(c))) clean += c;
    clean = rtl::Trim(helpers::replaceall(clean, "  ", " ", true));
    clean = rtl::Trim(clean + " " + rtl::Trim(store.Text(r, rtFrom)));
    for (const std::string& raw : spamList) {
        const std::string pattern = rtl::Trim(raw);
        if (pattern.empty()) continue;
        if (helpers::rematchc(pattern, data, false) || helpers::rematchc(pattern, clean, false)) {
            store.SetText(r, rtMatched, pattern);
            return true;
        }
    }
    return false;
}

bool MarkRow(TRowStore& store, int r, const rtl::TStringList& whiteList, const rtl::TStringList& spamList,
             TMarkCounts& counts) {
    TMsgRow& row = store.Row(r);
    if (row.NotFetched) return false;  // nothing known of it to judge
    if (IsWhiteRow(store, r, whiteList)) {
        row.WhiteHit = true;
        row.DeleteMark = false;
        ++counts.white;
        return true;
    }
    if (row.DeleteMark) {
        ++counts.spam;
        return false;
    }
    if (IsSpamRow(store, r, spamList)) {
        row.DeleteMark = true;
        ++counts.spam;
        return true;
    }
    return false;
}

void LoadPatternFile(const std::string& path, rtl::TStringList& list) {
    list.Clear();
    if (helpers::pathexists(path)) list.SetText(rtl::Trim(helpers::loadtext(path)));
}

}  // namespace mailbox
