// Text replacement and the HTML transforms of mail text.
#include <bitset>
#include <cstring>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

// Link patterns: web addresses, mail addresses and bare www names. "(?-U)"
// makes them greedy again.
const std::string kLinkChars = R"(\w,@!\[\]\(\)*?^=%$'&;:/~+#-)";
const std::string kWebPattern =
    R"(kwre:(?-U)(http|ftp|https|file|news):/{2,5}[\w-]+([\.)" + kLinkChars + "]*[" + kLinkChars + "])?";
const std::string kMailPattern = R"(kwre:(?-U)\b[\w.'%+-]+@([\w-]+\.)+[A-Za-z]{2,14}\b)";
const std::string kWwwPattern = R"(kwre:(?-U)\bwww.[\w-]+([\.)" + kLinkChars + "]*[" + kLinkChars + "])?";

std::string placeholder(size_t n) { return "$kw$jqxz$" + zeropad(static_cast<int64_t>(n), 9) + "$"; }

bool hashref(const std::string& text) { return detail::lowerlatin(text).find("href=") != std::string::npos; }

// Replaces each match of Pattern, from left to right, by the placeholder of
// its number in Links.
void protectmatches(std::string& text, const std::string& pattern, const char* prefix,
                    std::vector<std::string>& links) {
    const auto re = detail::filterregex(pattern, false);
    if (!re) return;
    std::string out;
    const detail::TTextKind kind = detail::textkind(text);
    size_t at = 0, start, end;
    while (at < text.size() && detail::rexecfrom(*re, text, kind, at, start, end) && end > start) {
        out.append(text, at, start - at);
        links.push_back(prefix + text.substr(start, end - start));
        out += placeholder(links.size());
        at = end;
    }
    if (at == 0) return;
    out.append(text, at, std::string::npos);
    text = std::move(out);
}

std::string protectlinks(std::string text, std::vector<std::string>& links) {
    links.clear();
    if (!hashref(text)) protectmatches(text, kWebPattern, "", links);
    if (!hashref(text)) protectmatches(text, kMailPattern, "mailto:", links);
    protectmatches(text, kWwwPattern, "", links);
    return text;
}

std::string anchor(const std::string& item) {
    const std::string lower = rtl::LowerCase(item.substr(0, 7));
    if (lower == "mailto:") {
        const std::string address = item.substr(7);
        return "<A HREF=\"mailto:" + address + "\">" + address + "</A>";
    }
    if (lower.substr(0, 4) == "www.") return "<A TARGET=\"_blank\" HREF=\"http://" + item + "\">" + item + "</A>";
    return "<A TARGET=\"_blank\" HREF=\"" + item + "\">" + item + "</A>";
}

std::string restorelinks(std::string text, const std::vector<std::string>& links) {
    for (size_t i = 0; i < links.size(); ++i) text = replacestr(text, placeholder(i + 1), anchor(links[i]), true, true);
    return text;
}

std::vector<std::string>& autolinks() {
    static std::vector<std::string> links;
    return links;
}

// The codes written as "=" and two hex digits (either case) in a text.
std::bitset<256> qpcodes(std::string_view text) {
    std::bitset<256> present;
    for (size_t p = text.find('='); p != std::string_view::npos && p + 2 < text.size(); p = text.find('=', p + 1)) {
        const int hi = detail::hexval(text[p + 1]), lo = detail::hexval(text[p + 2]);
        if (hi >= 0 && lo >= 0) present.set(static_cast<size_t>(hi * 16 + lo));
    }
    return present;
}

inline char asciilower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Where Needle (ASCII, already lower case) stands in Hay with ASCII letters
// folded: for an ASCII needle the same answer as searching the folded text.
size_t findascii(std::string_view hay, std::string_view needle, size_t from) {
    if (needle.empty() || needle.size() > hay.size()) return std::string_view::npos;
    const char first = needle[0];
    const char firstUpper = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 32) : first;
    const char* base = hay.data();
    const size_t limit = hay.size() - needle.size() + 1;  // the last place a match can start, plus one
    // Candidates by memchr: the first character in either case.
    for (size_t i = from; i < limit;) {
        const auto* a = static_cast<const char*>(std::memchr(base + i, first, limit - i));
        size_t at = a ? static_cast<size_t>(a - base) : limit;
        if (firstUpper != first) {
            const auto* b = static_cast<const char*>(std::memchr(base + i, firstUpper, at - i));
            if (b) at = static_cast<size_t>(b - base);
        }
        if (at >= limit) break;
        size_t k = 1;
        while (k < needle.size() && asciilower(hay[at + k]) == needle[k]) ++k;
        if (k == needle.size()) return at;
        i = at + 1;
    }
    return std::string_view::npos;
}

}  // namespace

std::string detail::lowerlatin(std::string_view text) {
    std::string r(text);
    for (size_t i = 0; i < r.size(); ++i) {
        const auto c = static_cast<unsigned char>(r[i]);
        if (c >= 'A' && c <= 'Z') {
            r[i] = static_cast<char>(c + 32);
        } else if (c == 0xC3 && i + 1 < r.size()) {
            // U+00C0..U+00DE, except the multiplication sign, lower to U+00E0..U+00FE.
            const auto n = static_cast<unsigned char>(r[i + 1]);
            if (n >= 0x80 && n <= 0x9E && n != 0x97) r[i + 1] = static_cast<char>(n + 0x20);
        }
    }
    return r;
}

void detail::resetautolink() { autolinks().clear(); }

std::string replacestr(std::string_view text, std::string_view search, std::string_view replacement, bool exact,
                       bool firstonly) {
    std::string cur(text);
    auto fold = [exact](std::string_view s) { return exact ? std::string(s) : detail::lowerlatin(s); };
    const std::string s = fold(search);
    const std::string r = fold(replacement);
    // An ASCII search needs no folded copy of the text: bytes of other
    // characters can never match it.
    const bool direct = exact || detail::isascii(search);
    std::string w;
    auto find = [&](const std::string& in, size_t from) {
        if (exact) return in.find(s, from);
        if (direct) return findascii(in, s, from);
        return w.find(s, from);
    };
    // Replacing again until none is left collapses runs ("  " by " "); a
    // replacement that holds the search would never end, so it makes one pass.
    while (true) {
        replcount = 0;
        if (search.empty() || cur.empty()) return cur;
        if (!direct) w = fold(cur);
        size_t p = find(cur, 0);
        if (p == std::string::npos) return cur;
        if (search.size() == 1 && replacement.size() == 1) {
            for (; p != std::string::npos; p = find(cur, p + 1)) {
                ++replcount;
                cur[p] = replacement[0];
                if (firstonly) break;
            }
            return cur;
        }
        std::string out;
        out.reserve(cur.size());
        size_t next = 0;
        while (p != std::string::npos) {
            ++replcount;
            out.append(cur, next, p - next).append(replacement);
            next = p + search.size();
            if (firstonly) break;
            p = find(cur, next);
        }
        out.append(cur, next, std::string::npos);
        const bool again = !firstonly && r.find(s) == std::string::npos &&
                           (direct ? find(out, 0) : fold(out).find(s)) != std::string::npos;
        if (!again) return out;
        cur = std::move(out);
    }
}

std::string replaceall(std::string_view text, std::string_view search, std::string_view replacement, bool exact) {
    return replacestr(text, search, replacement, exact, false);
}

std::string repcount(std::string_view templ, int32_t n) {
    std::string out;
    for (int32_t k = 1; k <= n; ++k) out += replaceall(templ, "@@COUNT@@", rtl::IntToStr(k), true);
    return out;
}

std::string striptags(std::string_view text, std::string_view delimiters) {
    if (delimiters.empty()) return std::string(text);
    std::string t(text);
    if (delimiters == "<>") {
        t = replaceall(t, "<br>", " ", false);
        t = replaceall(t, "&nbsp;", " ", false);
    }
    if (delimiters.size() <= 2) {
        if (t.find(delimiters[0]) == std::string::npos) return t;
        if (delimiters.size() == 2 && t.find(delimiters[1]) == std::string::npos) return t;
    }
    // Fields with odd numbers lie outside the delimiters. A field that is a
    // lone line feed is text like any other, not the end of the fields.
    const auto fields = detail::splitfields(t, delimiters, false);
    std::string out;
    for (size_t i = 0; i < fields.size(); i += 2) out += fields[i];
    return out;
}

std::string qpdecode(std::string_view text) {
    std::string t = replaceall(text, "=\r\n..", ".", true);
    t = replaceall(t, "=\r\n", "", true);
    // One pass per code in rising order, as later codes may be formed by
    // earlier ones; only the codes the text holds (then) need a pass.
    std::bitset<256> present = qpcodes(t);
    for (int c = 9; c <= 255; ++c) {
        if (c == '=' || !present.test(static_cast<size_t>(c))) continue;
        t = replaceall(t, "=" + rtl::IntToHex(static_cast<uint64_t>(c), 2), std::string(1, static_cast<char>(c)), false);
        present = qpcodes(t);
    }
    return replaceall(t, "=3D", "=", false);
}

std::string htmlescape(std::string_view text) {
    // A private list: the caller's scratch lists stay untouched.
    std::vector<std::string> links;
    std::string t = protectlinks(std::string(text), links);
    t = replaceall(t, "&", "&amp;", true);
    t = replaceall(t, "  ", "&nbsp; ", true);
    t = replaceall(t, "\r", "", true);
    t = replaceall(t, "<", "&lt;", true);
    t = replaceall(t, ">", "&gt;", true);
    t = replaceall(t, "%", "&#37;", true);
    t = replaceall(t, "\n", "<BR>\r\n", true);
    return restorelinks(t, links);
}

std::string autolink(std::string_view text, bool protect) {
    if (protect) return protectlinks(std::string(text), autolinks());
    return restorelinks(std::string(text), autolinks());
}

}  // namespace helpers
