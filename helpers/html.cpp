// Text replacement and the HTML transforms of mail text.
#include <algorithm>
#include <array>
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

size_t findascii(std::string_view hay, std::string_view needle, size_t from);

bool hashref(const std::string& text) { return findascii(text, "href=", 0) != std::string::npos; }

// Where a match of a link pattern can be. No pattern matches a blank or a
// control character, and each match holds a mark near its start: a web
// address ":/" at most 5 characters in (12 bytes: a long s folds to "s"),
// a mail address "@" after a run of address characters, a www name "www"
// at its start ("." after it may be any character). So the regular
// expression runs only on a window around each mark, from where a match
// holding it could start to the next blank or control character: that
// ends any match, and "\b" reads the window's end as it reads the blank.
// Every match in a window is one in the text, and the leftmost match in
// the text from the last one's end lies in the next window that holds any.
enum class TLinkMark { web, mail, www };

bool endslink(char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }

bool mailchar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
           std::strchr("_.'%+-", c) != nullptr;
}

// The next mark from Pos, and the window's start, not before At.
bool nextmark(std::string_view text, TLinkMark mark, size_t pos, size_t at, size_t& markat, size_t& start) {
    const size_t n = text.size();
    const char* base = text.data();
    switch (mark) {
        case TLinkMark::web:
            for (const char* p; pos < n && (p = static_cast<const char*>(std::memchr(base + pos, ':', n - pos)));) {
                pos = static_cast<size_t>(p - base) + 1;
                if (pos < n && text[pos] == '/') {
                    markat = pos - 1;
                    start = std::max(at, markat >= 12 ? markat - 12 : 0);
                    // UTF-8 matching starts where a character does.
                    while (start > at && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
                    return true;
                }
            }
            return false;
        case TLinkMark::mail: {
            const auto* p = pos < n ? static_cast<const char*>(std::memchr(base + pos, '@', n - pos)) : nullptr;
            if (!p) return false;
            markat = start = static_cast<size_t>(p - base);
            while (start > at && mailchar(text[start - 1])) --start;
            return true;
        }
        case TLinkMark::www:
            markat = findascii(text, "www", pos);
            start = markat;
            return markat != std::string_view::npos;
    }
    return false;
}

// Replaces each match of Pattern, from left to right, by the placeholder of
// its number in Links.
void protectmatches(std::string& text, const std::string& pattern, TLinkMark mark, const char* prefix,
                    std::vector<std::string>& links) {
    size_t markat, start;
    if (!nextmark(text, mark, 0, 0, markat, start)) return;  // most texts: no regular expression at all
    const auto re = detail::filterregex(pattern, false);
    if (!re) return;
    std::string out;
    const detail::TTextKind kind = detail::textkind(text);
    size_t at = 0, pos = 0, mstart, mend;
    while (nextmark(text, mark, pos, at, markat, start)) {
        size_t end = std::max(markat + 1, start + 4);
        while (end < text.size() && !endslink(text[end])) ++end;
        end = std::min(end, text.size());
        if (!detail::rexecfrom(*re, std::string_view(text).substr(0, end), kind, start, mstart, mend)) {
            // A www name's "." may take the blank: one starting in the last
            // three places gets its own window.
            pos = mark == TLinkMark::www ? std::max(start + 1, end - 3) : end;
            continue;
        }
        if (mend <= mstart) break;
        out.append(text, at, mstart - at);
        links.push_back(prefix + text.substr(mstart, mend - mstart));
        out += placeholder(links.size());
        at = pos = mend;
    }
    if (at == 0) return;
    out.append(text, at, std::string::npos);
    text = std::move(out);
}

std::string protectlinks(std::string text, std::vector<std::string>& links) {
    links.clear();
    if (!hashref(text)) protectmatches(text, kWebPattern, TLinkMark::web, "", links);
    if (!hashref(text)) protectmatches(text, kMailPattern, TLinkMark::mail, "mailto:", links);
    protectmatches(text, kWwwPattern, TLinkMark::www, "", links);
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

constexpr std::string_view kPlaceholderStart = "$kw$jqxz$";

// Whether the text holds the links' placeholders in their order and nothing
// else that looks like one, and no link holds one: then each first
// occurrence is the placeholder itself, and one walk puts them all back.
bool placeholdersplain(const std::string& text, const std::vector<std::string>& links) {
    for (const std::string& l : links)
        if (l.find(kPlaceholderStart) != std::string::npos) return false;
    size_t at = 0, n = 0;
    while ((at = text.find(kPlaceholderStart, at)) != std::string::npos) {
        if (++n > links.size() || text.compare(at, kPlaceholderStart.size() + 10, placeholder(n)) != 0) return false;
        at += kPlaceholderStart.size() + 10;
    }
    return n == links.size();
}

std::string restorelinks(std::string text, const std::vector<std::string>& links) {
    if (links.empty()) return text;
    if (!placeholdersplain(text, links)) {
        for (size_t i = 0; i < links.size(); ++i)
            text = replacestr(text, placeholder(i + 1), anchor(links[i]), true, true);
        return text;
    }
    std::string out;
    out.reserve(text.size() + links.size() * 64);
    size_t from = 0;
    for (const std::string& link : links) {
        const size_t at = text.find(kPlaceholderStart, from);
        out.append(text, from, at - from).append(anchor(link));
        from = at + kPlaceholderStart.size() + 10;
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::vector<std::string>& autolinks() {
    static std::vector<std::string> links;
    return links;
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

// Replaces Search (ASCII letters of either case unless Exact) wherever it
// stands once the text is read through, also where a replacement or a
// removal brings its parts together: the same as replacing all again until
// none is left, for a search whose first character occurs nowhere else in it.
std::string collapse(std::string_view text, std::string_view search, std::string_view replacement, bool exact) {
    // Most texts hold none: nothing to build.
    if ((exact ? text.find(search) : findascii(text, search, 0)) == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    const size_t n = search.size();
    const char last = search.back();
    const char lastUpper = exact ? last : static_cast<char>(last >= 'a' && last <= 'z' ? last - 32 : last);
    auto ends = [&] {
        if (out.size() < n) return false;
        for (size_t k = 0; k < n; ++k) {
            const char c = out[out.size() - n + k];
            if ((exact ? c : asciilower(c)) != search[k]) return false;
        }
        return true;
    };
    // Only appending the search's last character can complete it: the text
    // goes over in pieces that end with one.
    for (size_t i = 0; i < text.size();) {
        size_t j = text.find(last, i);
        if (lastUpper != last) j = std::min(j, text.find(lastUpper, i));
        if (j == std::string_view::npos) {
            out.append(text, i, std::string_view::npos);
            break;
        }
        out.append(text, i, j + 1 - i);
        i = j + 1;
        while (ends()) {
            out.resize(out.size() - n);
            out += replacement;
            if (replacement.empty() || replacement.back() != last) break;
        }
    }
    return out;
}

// Every "=" and two hex digits (either case) for a code from 9 to 255 other
// than "=" becomes its character, the codes taken in rising order, each
// until none is left. A decoded hex digit can form a new escape with its
// neighbours; that one decodes only when its code comes at or after the
// turn of the codes that formed it. One walk: every character carries the
// code whose turn made it (0 for the text's own).
std::string decodecodes(std::string_view text) {
    std::string out, made;
    out.reserve(text.size());
    made.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        // Only a character that lands two places after an "=" can complete
        // an escape: up to the next "=" the text goes over as it is.
        const size_t k = out.size();
        if (!(k >= 1 && out[k - 1] == '=') && !(k >= 2 && out[k - 2] == '=')) {
            const size_t j = std::min(text.find('=', i), text.size());
            out.append(text, i, j - i);
            made.append(j - i, '\0');
            i = j;
            if (i == text.size()) break;
        }
        out += text[i++];
        made += '\0';
        while (out.size() >= 3) {
            const size_t e = out.size() - 3;
            if (out[e] != '=') break;
            const int hi = detail::hexval(out[e + 1]), lo = detail::hexval(out[e + 2]);
            if (hi < 0 || lo < 0) break;
            const int code = hi * 16 + lo;
            const auto turn = static_cast<unsigned char>(
                std::max({made[e], made[e + 1], made[e + 2]}, [](char a, char b) {
                    return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
                }));
            if (code < 9 || code == '=' || code < turn) break;
            out.resize(e);
            made.resize(e);
            out += static_cast<char>(code);
            made += static_cast<char>(code);
        }
    }
    return out;
}

// The usual quoted-printable text, soft line breaks already removed: no
// escape decodes to a hex digit ("=" is never decoded), so no decoded
// character can form a new escape and the codes' turns do not matter. Then
// one walk in place decodes every escape and turns each "=3D" (and the
// "3D"s that follow it, which it would form again) into "=", as
// decodecodes and the "=3D" pass do. False, with the text untouched, for
// any other text.
bool decodesimple(std::string& t) {
    const size_t n = t.size();
    auto codeat = [&](size_t p) {
        if (p + 2 >= n) return -1;
        const int hi = detail::hexval(t[p + 1]), lo = detail::hexval(t[p + 2]);
        return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
    };
    auto hexdigit = [](int c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
    for (const char* p = static_cast<const char*>(std::memchr(t.data(), '=', n)); p;
         p = static_cast<const char*>(std::memchr(p + 1, '=', static_cast<size_t>(t.data() + n - p - 1))))
        if (hexdigit(codeat(static_cast<size_t>(p - t.data())))) return false;
    char* d = t.data();
    size_t w = 0, r = 0;
    while (r < n) {
        const auto* p = static_cast<const char*>(std::memchr(d + r, '=', n - r));
        const size_t at = p ? static_cast<size_t>(p - d) : n;
        if (w != r) std::memmove(d + w, d + r, at - r);
        w += at - r;
        r = at;
        if (r == n) break;
        const int code = codeat(r);
        if (code >= 9) {
            d[w++] = static_cast<char>(code);
            r += 3;
            if (code == '=')
                while (r + 1 < n && d[r] == '3' && (d[r + 1] == 'd' || d[r + 1] == 'D')) r += 2;
        } else {
            d[w++] = '=';
            ++r;
        }
    }
    t.resize(w);
    return true;
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

std::string htmlplace(std::string_view page, std::string_view placeholder, std::string_view html) {
    const std::string lower = rtl::LowerCase(page);
    size_t at = placeholder.empty() ? std::string::npos : lower.find(rtl::LowerCase(placeholder));
    size_t cut = placeholder.size();
    if (at == std::string::npos) {
        cut = 0;
        at = lower.rfind("</body");
        if (at == std::string::npos) at = page.size();
    }
    return std::string(page.substr(0, at)) + std::string(html) + std::string(page.substr(at + cut));
}

std::string qpdecode(std::string_view text) {
    if (text.find('=') == std::string_view::npos) return std::string(text);
    // Without "=\r\n.." its pass changes nothing.
    std::string t = text.find("=\r\n..") == std::string_view::npos
                        ? collapse(text, "=\r\n", "", true)
                        : collapse(collapse(text, "=\r\n..", ".", true), "=\r\n", "", true);
    if (decodesimple(t)) return t;
    t = decodecodes(t);
    return collapse(t, "=3d", "=", false);
}

std::string htmlescape(std::string_view text) {
    // A private list: the caller's scratch lists stay untouched.
    std::vector<std::string> links;
    const std::string t = protectlinks(std::string(text), links);
    std::string out;
    out.reserve(t.size() + t.size() / 8 + 16);
    static constexpr auto kPlain = [] {
        std::array<bool, 256> plain{};
        plain.fill(true);
        for (unsigned char c : std::string_view(" &\r<>%\n")) plain[c] = false;
        return plain;
    }();
    for (size_t i = 0; i < t.size();) {
        // What stays as it is goes over in one piece; so does a lone blank.
        size_t j = i;
        while (j < t.size() && (kPlain[static_cast<unsigned char>(t[j])] ||
                                (t[j] == ' ' && (j + 1 == t.size() || t[j + 1] != ' '))))
            ++j;
        out.append(t, i, j - i);
        i = j;
        if (i == t.size()) break;
        const char c = t[i];
        if (c == ' ') {
            // Pairs of blanks become "&nbsp; " from the left; the blank left
            // over from an odd run joins the last pair's blank once more.
            size_t k = 1;
            while (i + k < t.size() && t[i + k] == ' ') ++k;
            i += k;
            if (k == 1) {
                out += ' ';
                continue;
            }
            for (size_t p = 0; p < k / 2 - 1; ++p) out += "&nbsp; ";
            out += k % 2 ? "&nbsp;&nbsp; " : "&nbsp; ";
            continue;
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '\r': break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '%': out += "&#37;"; break;
            case '\n': out += "<BR>\r\n"; break;
            default: out += c;
        }
        ++i;
    }
    return restorelinks(std::move(out), links);
}

std::string autolink(std::string_view text, bool protect) {
    if (protect) return protectlinks(std::string(text), autolinks());
    return restorelinks(std::string(text), autolinks());
}

}  // namespace helpers
