#include "mailbox/msgrender.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "helpers/kwutil.h"
#include "mail/mimeutils.h"
#include "mailbox/browsercopy.h"
#include "mailbox/hdrdecode.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

constexpr std::string_view kSeparator = "----//----";
constexpr std::string_view kSeparatorLine = "\r\n----//----\r\n";
constexpr std::string_view kSectorKey = "@@sector@@";
constexpr std::string_view kPictureExts = ",.bmp,.gif,.ico,.png,.jpg,.wmf,.emf,.tif,.tiff,.jpeg,";
constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kDigits = "0123456789";
// Longest stem kept for a part or page name: room for "_" + k + extension
// within the 255 bytes a name may have.
constexpr size_t kMaxStem = 150;

char lowerc(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool isspacec(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = lowerc(c);
    return r;
}

bool ciEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerc(a[i]) != lowerc(b[i])) return false;
    return true;
}

// Case-insensitive ASCII search for a lower-case Needle whose character at
// Anchor (1 or more) has no case. The anchor alone can be common ("=" in
// quoted-printable text): the places where it and the character before it
// both fit are found sixteen at a time.
size_t ciFindPair(std::string_view hay, std::string_view needle, size_t anchor, size_t from) {
    using Bytes = unsigned char __attribute__((vector_size(16)));
    const size_t n = needle.size();
    if (hay.size() < n) return std::string_view::npos;
    const size_t last = hay.size() - n;
    const auto a = static_cast<unsigned char>(needle[anchor]);
    const auto b = static_cast<unsigned char>(needle[anchor - 1]);
    const unsigned char fold = b >= 'a' && b <= 'z' ? 0x20 : 0;
    const Bytes va = a - Bytes{}, vb = b - Bytes{}, vfold = fold - Bytes{};
    size_t i = from;
    for (; i + 15 <= last; i += 16) {
        Bytes x, y;
        std::memcpy(&x, hay.data() + i + anchor, 16);
        std::memcpy(&y, hay.data() + i + anchor - 1, 16);
        const auto hits = (x == va) & ((y | vfold) == vb);
        uint64_t half[2];
        std::memcpy(half, &hits, 16);
        if (!(half[0] | half[1])) continue;
        for (size_t k = 0; k < 16; ++k)
            if (hits[k] && ciEqual(hay.substr(i + k, n), needle)) return i + k;
    }
    for (; i <= last; ++i)
        if (static_cast<unsigned char>(hay[i + anchor]) == a && ciEqual(hay.substr(i, n), needle)) return i;
    return std::string_view::npos;
}

// Case-insensitive ASCII search; Needle is lower case. When the needle
// holds a character without case (":", "=", "<"), the search runs on that
// one character with memchr; otherwise on both cases of the first letter,
// keeping the next place of each so that neither is looked for twice.
size_t ciFind(std::string_view hay, std::string_view needle, size_t from = 0) {
    if (needle.empty() || hay.size() < needle.size()) return std::string_view::npos;
    const size_t last = hay.size() - needle.size();
    auto next = [&](char c, size_t i, size_t shift) {
        if (i + shift > last + shift || i > last) return std::string_view::npos;
        const void* p = std::memchr(hay.data() + i + shift, c, last + 1 - i);
        return p ? static_cast<size_t>(static_cast<const char*>(p) - hay.data()) - shift : std::string_view::npos;
    };
    size_t anchor = needle.size();
    for (size_t k = needle.size(); k-- > 0;)
        if (lowerc(needle[k]) == needle[k] && !(needle[k] >= 'a' && needle[k] <= 'z')) {
            anchor = k;
            break;
        }
    if (anchor > 0 && anchor < needle.size()) return ciFindPair(hay, needle, anchor, from);
    if (anchor < needle.size()) {
        for (size_t at = next(needle[anchor], from, anchor); at != std::string_view::npos;
             at = next(needle[anchor], at + 1, anchor))
            if (ciEqual(hay.substr(at, needle.size()), needle)) return at;
        return std::string_view::npos;
    }
    const char a = needle[0];
    const char b = static_cast<char>(a - 32);
    size_t na = next(a, from, 0), nb = next(b, from, 0);
    while (na != std::string_view::npos || nb != std::string_view::npos) {
        const size_t at = std::min(na, nb);
        if (ciEqual(hay.substr(at + 1, needle.size() - 1), needle.substr(1))) return at;
        if (at == na) na = next(a, at + 1, 0);
        else nb = next(b, at + 1, 0);
    }
    return std::string_view::npos;
}

size_t ciRFind(std::string_view hay, std::string_view needle) {
    if (hay.size() < needle.size()) return std::string_view::npos;
    if (lowerc(needle[0]) == needle[0] && !(needle[0] >= 'a' && needle[0] <= 'z')) {
        // A first character without case ("<"): memrchr finds the candidates.
        for (size_t end = hay.size() - needle.size() + 1; end > 0;) {
            const void* p = ::memrchr(hay.data(), needle[0], end);
            if (!p) break;
            const size_t i = static_cast<size_t>(static_cast<const char*>(p) - hay.data());
            if (ciEqual(hay.substr(i, needle.size()), needle)) return i;
            end = i;
        }
        return std::string_view::npos;
    }
    for (size_t i = hay.size() - needle.size() + 1; i-- > 0;)
        if (lowerc(hay[i]) == needle[0] && ciEqual(hay.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

// "word:\s*value" (any case): where Word starts, npos when none.
size_t findHeaderValue(std::string_view text, std::string_view word, std::string_view value, size_t from = 0) {
    for (size_t at = ciFind(text, word, from); at != std::string_view::npos; at = ciFind(text, word, at + 1)) {
        size_t j = at + word.size();
        while (j < text.size() && isspacec(text[j])) ++j;
        if (ciEqual(text.substr(j, value.size()), value)) return at;
    }
    return std::string_view::npos;
}

// ";\s*charset\s*=\s*[^;\s]+(;|\s)" (any case) from From: the character set
// in lower case, empty when none.
std::string findCharset(std::string_view text, size_t from) {
    for (size_t semi = text.find(';', from); semi != std::string_view::npos; semi = text.find(';', semi + 1)) {
        size_t j = semi + 1;
        while (j < text.size() && isspacec(text[j])) ++j;
        if (!ciEqual(text.substr(j, 7), "charset")) continue;
        j += 7;
        while (j < text.size() && isspacec(text[j])) ++j;
        if (j >= text.size() || text[j] != '=') continue;
        ++j;
        while (j < text.size() && isspacec(text[j])) ++j;
        const size_t v = j;
        while (j < text.size() && text[j] != ';' && !isspacec(text[j])) ++j;
        if (j == v || j >= text.size()) continue;
        std::string cs;
        for (char c : text.substr(v, j - v))
            if (c != '"') cs += lowerc(c);
        if (!cs.empty()) return cs;
    }
    return {};
}

bool hasHighBytes(std::string_view s) {
    size_t i = 0;
    // Eight words at a time: the whole text is read for most messages.
    for (; i + 64 <= s.size(); i += 64) {
        uint64_t any = 0;
        for (size_t k = 0; k < 64; k += 8) {
            uint64_t w;
            std::memcpy(&w, s.data() + i + k, 8);
            any |= w;
        }
        if (any & 0x8080808080808080ULL) return true;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80) return true;
    return false;
}

bool wideCharset(std::string_view cs) {
    return cs.starts_with("utf-16") || cs.starts_with("utf-32") || cs.starts_with("ucs-") || cs.starts_with("utf-7") ||
           cs.starts_with("unicode");
}

// Received text in its declared character set as UTF-8. Whole: the text is
// all in that set (a decoded part); otherwise it is ASCII markup around
// text, where a set that is not ASCII-based cannot be applied.
void toUtf8In(std::string& text, std::string_view charset, bool whole) {
    const std::string cs = lower(rtl::Trim(charset));
    const bool plain = cs.empty() || cs == "utf-8" || cs == "utf8" || cs == "us-ascii";
    if ((plain || !whole) && !hasHighBytes(text)) return;
    if (plain || (!whole && wideCharset(cs))) {
        if (!helpers::isutf8(text)) text = helpers::validutf8(text);
        return;
    }
    text = helpers::charsetconv(text, cs);
}

std::string toUtf8(std::string text, std::string_view charset, bool whole) {
    toUtf8In(text, charset, whole);
    return text;
}

// The placeholder characters are ours: any that came with the message
// would turn its text into tags when the page is finished.
void dropTagChars(std::string& s) { ReplaceTagChars(s.data(), s.data() + s.size(), ' ', ' '); }

std::string tag(std::string_view inner) {
    std::string r(1, kTagOpen);
    r += inner;
    r += kTagClose;
    return r;
}

// Text inside an attribute or element that nothing else escapes. Without
// Amp, entities already in the text stay as they are.
std::string escapeText(std::string_view s, bool amp = true) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += amp ? "&amp;" : "&"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            default: r += c;
        }
    }
    return r;
}

bool entryExists(const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st) == 0; }

// A regular file holding exactly Bytes.
bool holdsBytes(const std::string& path, const struct stat& st, std::string_view bytes) {
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != bytes.size()) return false;
    return bytes.empty() || helpers::loadtext(path) == bytes;
}

// ----------------------------------------------------------- boundaries

// The value of a boundary parameter starting at At: quoted up to its
// closing quote, otherwise up to ";" or a blank.
std::string boundaryValue(std::string_view text, size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    std::string v;
    if (at < text.size() && text[at] == '"') {
        for (++at; at < text.size() && text[at] != '"' && text[at] != '\r' && text[at] != '\n' && v.size() < 200; ++at)
            v += text[at];
    } else {
        for (; at < text.size() && text[at] != ';' && text[at] != '"' && !isspacec(text[at]) && v.size() < 200; ++at)
            v += text[at];
    }
    return rtl::Trim(v);
}

// A line of the joined text that becomes the part separator.
struct LineMark {
    size_t at, length;  // its line break stays
};

void putSeparators(std::string& text, const std::vector<LineMark>& marks) {
    if (marks.empty()) return;
    if (std::all_of(marks.begin(), marks.end(), [](const LineMark& m) { return m.length >= kSeparator.size(); })) {
        // No separator is longer than its line: the text closes up in place
        // rather than being copied whole.
        size_t to = marks[0].at, copied = marks[0].at;
        for (const LineMark& m : marks) {
            std::memmove(text.data() + to, text.data() + copied, m.at - copied);
            to += m.at - copied;
            std::memcpy(text.data() + to, kSeparator.data(), kSeparator.size());
            to += kSeparator.size();
            copied = m.at + m.length;
        }
        std::memmove(text.data() + to, text.data() + copied, text.size() - copied);
        text.resize(to + text.size() - copied);
        return;
    }
    std::string out;
    out.reserve(text.size() + marks.size() * kSeparator.size());
    size_t copied = 0;
    for (const LineMark& m : marks) {
        out.append(text, copied, m.at - copied).append(kSeparator);
        copied = m.at + m.length;
    }
    out.append(text, copied, std::string::npos);
    text = std::move(out);
}

// Every line that starts one of the declared boundaries becomes the part
// separator. The text is the lines joined again.
std::string markBoundaries(const rtl::TStringList& lines, const TRenderLimits& limits,
                           std::vector<std::string>& problems) {
    // The lines joined once; a marked line is replaced afterwards.
    size_t total = 0;
    for (const std::string& line : lines) total += line.size() + 2;
    std::string text(total, '\0');
    char* w = text.data();
    for (const std::string& line : lines) {
        std::memcpy(w, line.data(), line.size());
        w += line.size();
        *w++ = '\r';
        *w++ = '\n';
    }
    std::unordered_set<std::string> prefixes;
    std::unordered_map<std::string, int> full;  // boundary -> 1 used, 2 closed
    std::vector<std::string> order;
    size_t declared = 0;
    // A value ends at its line's end, which the joined text shows too.
    for (size_t at = ciFind(text, "boundary="); at != std::string::npos; at = ciFind(text, "boundary=", at + 9)) {
        if (declared == limits.maxBoundaries) {
            problems.push_back("More than " + std::to_string(limits.maxBoundaries) +
                               " boundaries declared: the parts of the others are not separated");
            break;
        }
        ++declared;
        const std::string v = boundaryValue(text, at + 9);
        if (v.empty()) continue;
        prefixes.insert("--" + v.substr(0, 5));
        if (full.emplace(v, 0).second) order.push_back(v);
    }
    std::vector<size_t> lengths;
    for (const auto& p : prefixes)
        if (std::find(lengths.begin(), lengths.end(), p.size()) == lengths.end()) lengths.push_back(p.size());

    std::vector<LineMark> marks;
    size_t offset = 0;
    for (auto it = lines.begin(); !lengths.empty() && it != lines.end(); offset += it->size() + 2, ++it) {
        const std::string& line = *it;
        if (!(line.size() > 2 && line[0] == '-' && line[1] == '-')) continue;
        bool marked = false;
        for (size_t n : lengths)
            if (line.size() >= n && prefixes.count(line.substr(0, n))) marked = true;
        if (!marked) continue;
        const std::string t = rtl::TrimRight(line);
        auto used = full.find(t.substr(2));
        if (used != full.end()) used->second = std::max(used->second, 1);
        else if (t.size() > 4 && t.ends_with("--")) {
            auto closed = full.find(t.substr(2, t.size() - 4));
            if (closed != full.end()) closed->second = 2;
        }
        marks.push_back({offset, line.size()});
    }
    putSeparators(text, marks);
    dropTagChars(text);
    for (const auto& b : order) {
        const int state = full[b];
        if (state == 0) problems.push_back("Boundary \"" + b + "\" is declared but never used: its parts are not separated");
        else if (state == 1) problems.push_back("Boundary \"" + b + "\" is never closed: its last part runs to the end");
    }
    return text;
}

// Every quoted-printable section decoded in place, headers included.
void decodeQpSections(std::string& text) {
    // Decoding never lengthens a section, so the text is rewritten over
    // itself front to back: text[0, to) is done, text[copied, ...) is as it
    // came, and the searches only look at the latter.
    size_t from = 0, copied = 0, to = 0;
    auto closeGap = [&] {
        const size_t gap = copied - to;
        std::memmove(text.data() + to, text.data() + copied, text.size() - copied);
        text.resize(text.size() - gap);
        copied = to;
        return gap;
    };
    while (from < text.size()) {
        const size_t m = findHeaderValue(text, "content-transfer-encoding:", "quoted-printable", from);
        if (m == std::string::npos) break;
        size_t start = text.find("\r\n\r\n", m);
        if (start == std::string::npos) start = m;
        size_t end = text.find(kSeparatorLine, start);
        if (end == std::string::npos) end = text.size();
        std::string decoded = helpers::qpdecode(std::string_view(text).substr(start, end - start));
        dropTagChars(decoded);
        if (decoded.size() > end - start) {
            // Not so for any text the decoder knows; if ever, the rest moves.
            const size_t gap = closeGap();
            text.replace(start - gap, end - start, decoded);
            to = copied = from = start - gap + decoded.size();
            continue;
        }
        std::memmove(text.data() + to, text.data() + copied, start - copied);
        to += start - copied;
        std::memcpy(text.data() + to, decoded.data(), decoded.size());
        to += decoded.size();
        copied = from = end;
    }
    if (copied != to) closeGap();
}

// ------------------------------------------------------------- Base64 runs

// Base64 characters (1), and the further characters a run may hold (2).
constexpr auto kRunClass = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = t[c + 32] = 1;
    for (int c = '0'; c <= '9'; ++c) t[c] = 1;
    t['/'] = t['+'] = 1;
    t['='] = t['\r'] = t['\n'] = 2;
    return t;
}();
bool b64char(char c) { return kRunClass[static_cast<unsigned char>(c)] == 1; }
bool runchar(char c) { return kRunClass[static_cast<unsigned char>(c)] != 0; }

// "\r\n" + First Base64 characters + at least Rest more of them, "=" or line
// breaks: the leftmost such run from From, trimmed. False when none.
bool findRun(std::string_view text, size_t from, size_t first, size_t rest, size_t& start, size_t& length) {
    for (size_t i = text.find("\r\n", from); i != std::string_view::npos; i = text.find("\r\n", i + 1)) {
        size_t j = i + 2;
        const size_t head = j + first;
        if (head > text.size()) return false;
        while (j < head && b64char(text[j])) ++j;
        if (j < head) continue;
        while (j < text.size() && runchar(text[j])) ++j;
        if (j - head < rest) continue;
        while (j > i + 2 && static_cast<unsigned char>(text[j - 1]) <= ' ') --j;
        start = i + 2;
        length = j - start;
        return true;
    }
    return false;
}

// A run cut after its first "==", or else its first "=".
std::string_view cutRun(std::string_view run) {
    size_t p = run.find("==");
    if (p != std::string_view::npos) return run.substr(0, p + 2);
    p = run.find('=');
    return p == std::string_view::npos ? run : run.substr(0, p + 1);
}

std::string& partBuffer() {
    static thread_local std::string buffer;
    return buffer;
}

// Kept for the next part unless it is large.
void keepBuffer(std::string&& bytes) {
    if (bytes.capacity() <= (size_t{64} << 20)) partBuffer() = std::move(bytes);
}

// The run's bytes, in Out's memory where it serves. A run holds only
// Base64 characters, line breaks and, at its end, "=" or "==", so the codec
// decodes it directly, line breaks and all; a run whose characters do not
// make whole groups is no Base64.
std::string decodeRun(std::string_view run, std::string&& out = {}) {
    const size_t chars = mail::Base64DecodeInto(run, out);
    if (chars == 0 || chars % 4 != 0) return {};
    return std::move(out);
}

// ---------------------------------------------------------- part headers

// Header and parameter names in lower case, parameter values as sent.
std::string lowerNames(std::string_view block) {
    std::string out;
    out.reserve(block.size());
    bool inValue = false, inQuote = false;
    for (char c : block) {
        if (c == '\r' || c == '\n') {
            inValue = inQuote = false;
        } else if (inValue) {
            if (inQuote) inQuote = c != '"';
            else if (c == '"') inQuote = true;
            else if (c == ';') inValue = false;
            out += c;
            continue;
        } else if (c == '=') {
            inValue = true;
        }
        out += lowerc(c);
    }
    return out;
}

// The part's header block, ready for DecodeParamValue: unfolded, names in
// lower case, encoded words decoded to UTF-8.
std::string partHeaders(std::string_view raw) {
    std::string b = rtl::Trim(raw);
    b = rtl::StringReplace(b, "\t", "  ", rtl::rfReplaceAll);
    b = rtl::StringReplace(b, "\r\n ", " ", rtl::rfReplaceAll);
    b = lowerNames(b);
    std::string out, scratch;
    size_t i = 0;
    while (i < b.size()) {
        size_t e = b.find_first_of("\r\n", i);
        if (e == std::string::npos) e = b.size();
        out += DecodeEncodedWords(std::string_view(b).substr(i, e - i), true, scratch);
        out += "\r\n";
        i = e + 1;
    }
    return out;
}

// An RFC 2231 extended value ("charset'language'percent-escaped") as UTF-8;
// other values unchanged.
std::string extendedValue(const std::string& v) {
    const size_t q1 = v.find('\'');
    if (q1 == std::string::npos) return v;
    const size_t q2 = v.find('\'', q1 + 1);
    if (q2 == std::string::npos) return v;
    auto token = [](std::string_view s, std::string_view extra) {
        return std::all_of(s.begin(), s.end(), [&](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   extra.find(c) != std::string_view::npos;
        });
    };
    const std::string cs = v.substr(0, q1);
    if (!token(cs, "-_.:") || !token(std::string_view(v).substr(q1 + 1, q2 - q1 - 1), "-")) return v;
    return toUtf8(helpers::urldecode(v.substr(q2 + 1), false), cs, true);
}

struct PartInfo {
    std::string fileName, contentType, contentId, charset;
};

PartInfo readPart(const std::string& hdr) {
    PartInfo p;
    std::string disposition, ignored;
    if (!DecodeParamValue(hdr, "content-disposition:", p.fileName, "filename", disposition))
        DecodeParamValue(hdr, "content-type:", p.fileName, "name", p.contentType);
    if (p.contentType.empty()) DecodeParamValue(hdr, "content-type:", ignored, "", p.contentType);
    p.contentType = lower(p.contentType);
    DecodeParamValue(hdr, "content-type:", p.charset, "charset", ignored);
    p.charset = lower(rtl::StringReplace(p.charset, "\"", "", rtl::rfReplaceAll));
    std::string cid;
    if (DecodeParamValue(hdr, "content-id:", ignored, "", cid))
        for (char c : cid)
            if (c != '<' && c != '>') p.contentId += c;
    p.fileName = extendedValue(rtl::StringReplace(p.fileName, "\"", "", rtl::rfReplaceAll));
    return p;
}

std::string extensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string() : std::string(name.substr(dot));
}

std::string keepOnly(std::string_view text, std::string_view extra) {
    return helpers::foldaccents(text, std::string(kLetters) + std::string(kDigits) + std::string(extra));
}

// ----------------------------------------------------------- sectors

struct Sectors {
    std::vector<std::string> keyHtml;  // by key number; empty for a cid pair's number
    std::unordered_map<std::string, std::string> cids;  // lower-cased "cid:" + id -> URL
    size_t count = 0;
};

// Each sector key, and each quoted "cid:" reference of a kept part, replaced
// by its HTML in one pass over the body.
std::string replaceSectors(const std::string& body, const Sectors& s) {
    std::string out;
    out.reserve(body.size());
    size_t i = 0;
    while (i < body.size()) {
        const size_t at = body.find_first_of("@\"'", i);
        if (at == std::string::npos) break;
        out.append(body, i, at - i);
        i = at;
        if (body[at] == '@') {
            if (ciEqual(std::string_view(body).substr(at, kSectorKey.size()), kSectorKey)) {
                size_t j = at + kSectorKey.size();
                size_t n = 0;
                const size_t digits = j;
                while (j < body.size() && j - digits < 9 && body[j] >= '0' && body[j] <= '9') n = n * 10 + (body[j++] - '0');
                if (j > digits && body.compare(j, 2, "@@") == 0 && n < s.keyHtml.size() && !s.keyHtml[n].empty()) {
                    out += s.keyHtml[n];
                    i = j + 2;
                    continue;
                }
            }
        } else if (!s.cids.empty() && ciEqual(std::string_view(body).substr(at + 1, 4), "cid:")) {
            const size_t close = body.find(body[at], at + 1);
            if (close != std::string::npos && close - at < 1024) {
                auto hit = s.cids.find(lower(std::string_view(body).substr(at + 1, close - at - 1)));
                if (hit != s.cids.end()) {
                    out += "\"" + hit->second + "\"";
                    i = close + 1;
                    continue;
                }
            }
        }
        out += body[i++];
    }
    out.append(body, std::min(i, body.size()), std::string::npos);
    return out;
}

// ------------------------------------------------------------ trailer

// Text after the end of the HTML (further parts) goes into the
// "Attachments" block.
void moveTrailer(std::string& body) {
    const size_t lb0 = ciRFind(body, "</body>");
    const size_t lh0 = ciRFind(body, "</html>");
    if (lb0 == std::string::npos && lh0 == std::string::npos) return;
    const size_t lb = lb0 == std::string::npos ? lh0 : lb0;
    const size_t lh = lh0 == std::string::npos ? lb0 : lh0;
    const std::string after = RestoreTagChars(rtl::Trim(std::string_view(body).substr(lh + 7)));
    std::vector<std::string> lines;
    for (size_t i = 0; i <= after.size();) {
        size_t e = after.find('\n', i);
        if (e == std::string::npos) e = after.size();
        std::string line = after.substr(i, e - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        i = e + 1;
    }
    bool tags = false;
    std::vector<std::string> kept;  // bottom-up
    for (size_t k = lines.size(); k-- > 0;) {
        const std::string& line = lines[k];
        const std::string t = rtl::Trim(line);
        for (std::string_view tg : {"<a href=", "<img", "<br", "<h"})
            if (ciFind(line, tg) != std::string::npos) tags = true;
        if (t.empty() || t == "." || ciEqual(t, "+ok")) continue;
        if (t == kSeparator && !kept.empty() && rtl::Trim(kept.back()) == kSeparator) continue;
        kept.push_back(line);
    }
    while (!kept.empty()) {
        const std::string t = rtl::Trim(kept.back());
        if (t == kSeparator || ciEqual(t, "<br>") || ciEqual(t, "<br/>")) kept.pop_back();
        else break;
    }
    if (kept.empty()) return;
    std::string text;
    for (size_t k = kept.size(); k-- > 0;) {
        text += kept[k];
        if (k) text += "\r\n";
    }
    if (!tags) text = helpers::htmlescape(text);
    body.resize(lb);
    body += "<BR>" + ToggleBlock("kwemattached", text, "Attachments") + "</BODY></HTML>";
}

// Where the text's parts are taken apart: the top header block, the plain
// text before an HTML part, and the body.
struct Split {
    bool hasHeader = false;
    bool html = false;
    std::string header, plain, body;
    bool hasPlain = false;
};

Split splitText(std::string& text, const TRenderInput& in) {
    Split s;
    size_t H = 0;  // 1-based; 0 when none
    if (size_t p = text.find("\r\n\r\n"); p != std::string::npos) H = p + 1;
    if (in.Enciphered && H > 0) {
        const std::string hdr = text.substr(0, H - 1);
        std::string body = text.substr(H - 1 + 4);
        if (findHeaderValue(hdr, "content-transfer-encoding:", "base64") != std::string::npos)
            body = helpers::b64decode(body);
        body = helpers::numdecipher(helpers::foldaccents(body, kDigits), in.mailKey);
        dropTagChars(body);
        text.resize(H - 1 + 4);
        text += body;
    }
    size_t S = H;
    auto found = [&](size_t p) {
        if (p == std::string::npos) return;
        s.html = true;
        if (p + 1 > S) S = p + 1;
        if (H == 0) H = p + 1;
    };
    size_t tagAt = ciFind(text, "<head");
    if (tagAt == std::string::npos) tagAt = ciFind(text, "<body");
    found(tagAt);
    found(findHeaderValue(text, "content-type:", "text/html"));
    if (S == 0) {
        s.body = std::move(text);
        return s;
    }
    s.hasHeader = true;
    s.header = text.substr(0, H - 1);
    if (H + 9 < S) {
        s.hasPlain = true;
        s.plain = rtl::Trim(std::string_view(text).substr(H - 1, S - H));
    }
    text.erase(0, S - 1);
    s.body = std::move(text);
    return s;
}

}  // namespace

// ============================================================== names, URLs

std::string FileUrl(std::string_view path) {
    std::string abs(path);
    if (abs.empty() || abs[0] != '/') abs = std::filesystem::absolute(abs).string();
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char ch : abs) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::strchr("-._~/!$()*+,;=:@", c) != nullptr;
        if (plain && c != 0) {
            url += ch;
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string SafePartName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string n = keepOnly(name, "_. -");
    const size_t first = n.find_first_not_of(". ");
    n = first == std::string::npos ? std::string() : n.substr(first);
    while (!n.empty() && (n.back() == '.' || n.back() == ' ')) n.pop_back();
    if (n.size() > kMaxStem) {
        std::string ext = extensionOf(n);
        if (ext.size() > 16) ext.clear();
        n = n.substr(0, kMaxStem - ext.size()) + ext;
    }
    return n.empty() ? "attachment" : n;
}

// ============================================================== the store

std::string TFolderStore::Keep(const std::string& stem, const std::string& ext, std::string_view bytes) {
    for (int k = 1; k <= 99999; ++k) {
        const std::string target = folder_ + "/" + stem + "_" + std::to_string(k) + ext;
        struct stat st {};
        if (entryExists(target, st)) {
            if (holdsBytes(target, st, bytes)) return target;
            continue;
        }
        const std::string temp = KeepTemp(ext, bytes);
        if (temp.empty()) return {};
        if (helpers::renameretry(temp, target)) return target;
        helpers::deleteretry(temp);
        // Taken meanwhile by someone else: try the next number.
        if (!entryExists(target, st)) {
            problems_.push_back("Could not save " + target);
            return {};
        }
    }
    problems_.push_back("No free name for " + stem + ext);
    return {};
}

std::string TFolderStore::KeepTemp(const std::string& ext, std::string_view bytes) {
    const std::string path = programFolder_ + "kw64_" + helpers::newguid() + ext;
    if (helpers::savescratch(path, bytes)) return path;
    problems_.push_back("Could not save " + path);
    return {};
}

// ============================================================== the page

std::string BuildPage(const TRenderInput& in, TPartStore& store, TRenderResult& result, const TRenderLimits& limits) {
    result.Charset = in.Charset;
    result.Attachment = in.Attachment;
    auto& problems = result.problems;

    // Boundaries and quoted-printable sections.
    std::string text = markBoundaries(in.lines, limits, problems);
    decodeQpSections(text);

    // Header lines and the message's character set.
    std::string subject = in.HdrSubject;
    if (in.Enciphered) subject = helpers::numdecipher(subject, in.mailKey);
    std::string headerLines = HeaderLineHtml("maroon", 5, "From:" + in.HdrFrom);
    headerLines += HeaderLineHtml("blue", 3, "To:" + in.HdrTo);
    if (!in.HdrCc.empty()) headerLines += HeaderLineHtml("steelblue", 3, "Cc:" + in.HdrCc);
    headerLines += HeaderLineHtml("red", 5, "Date:" + in.HdrDate);
    headerLines += HeaderLineHtml("navy", 8, "Subject:" + subject) + "<BR>";
    const size_t htmlAt = findHeaderValue(text, "content-type:", "text/html;");
    const std::string found = findCharset(text, htmlAt == std::string::npos ? 0 : htmlAt);
    if (!found.empty() && found != result.Charset) result.Charset = found;
    const std::string charset = result.Charset;

    // Splitting.
    Split s = splitText(text, in);
    std::string page;
    if (s.hasHeader) {
        page += ToggleBlock("kwemallhdrs", helpers::htmlescape(toUtf8(s.header, charset, false)), "All Headers");
    }
    std::string plainBlock;
    if (s.hasPlain) {
        std::string plainCs = findCharset(s.plain, 0);
        if (plainCs.empty()) plainCs = charset;
        size_t at, len;
        if (!in.Enciphered && findRun(s.plain, 0, 30, 20, at, len)) {
            std::string decoded = decodeRun(cutRun(std::string_view(s.plain).substr(at, len)));
            if (!decoded.empty()) {
                dropTagChars(decoded);
                s.plain = decoded;
            }
        }
        const std::string shown = rtl::StringReplace(toUtf8(s.plain, plainCs, false), "=\r\n", "", rtl::rfReplaceAll);
        plainBlock = ToggleBlock("kwemplaintex", helpers::htmlescape(shown), "Plain Text");
    }
    std::string body = std::move(s.body);
    toUtf8In(body, charset, false);
    bool html = s.html;

    // Parts in Base64.
    Sectors sectors;
    if (!in.Enciphered) {
        size_t from = 0, passes = 0;
        size_t sepEnd = 0;        // where the last separator before the scanned region ends (0: none)
        size_t scannedTo = 0;     // separators are known up to here
        size_t at = 0, len = 0;
        while (findRun(body, from, 15, 10, at, len)) {
            if (++passes > limits.maxPasses) {
                problems.push_back("Too many Base64 runs: the rest are shown as they came");
                break;
            }
            if (sectors.count + 3 > limits.maxSectors) {
                problems.push_back("Too many parts: the rest are shown as they came");
                break;
            }
            // The part's own header block: from the last separator before it.
            for (size_t p = body.find(kSeparatorLine, scannedTo); p != std::string::npos && p + kSeparatorLine.size() <= at;
                 p = body.find(kSeparatorLine, p + 1))
                sepEnd = p + kSeparatorLine.size();
            scannedTo = at;
            std::string rawHdr = body.substr(sepEnd, at - sepEnd);
            if (at + 1 < 20) rawHdr = s.header + "\r\n" + rawHdr;
            const PartInfo part = readPart(partHeaders(rawHdr));
            const std::string_view run(body.data() + at, len);
            const std::string_view cut = cutRun(run);

            std::string partHtml;
            if (static_cast<int64_t>(cut.size() / 4 * 3) > limits.maxPartBytes) {
                problems.push_back("A part of " + std::to_string(cut.size() / 4 * 3) + " bytes is too large to keep");
                partHtml = tag("BR") + "[part too large to keep]" + tag("BR");
            } else {
                // Parts are decoded into the memory of the last one: fresh
                // memory costs a page fault every 4 KB, a fifth of the time.
                std::string bytes = decodeRun(cut, std::move(partBuffer()));
                if (bytes.empty()) {
                    // Not Base64 after all: its text stays readable.
                    partHtml = helpers::htmlescape(run);
                } else {
                    const std::string guessed = "." + lower(helpers::sniffext(bytes));
                    if (part.fileName.empty() &&
                        (part.contentType == "text/plain" || part.contentType == "text/html")) {
                        std::string t = toUtf8(std::move(bytes), part.charset.empty() ? charset : part.charset, true);
                        dropTagChars(t);
                        if (part.contentType == "text/plain") {
                            t = helpers::htmlescape(t);
                            html = true;
                        }
                        body.replace(at, len, tag("BR") + t + tag("BR"));
                        from = at >= 2 ? at - 2 : 0;
                        continue;
                    }
                    std::string path, ext = guessed;
                    if (!part.fileName.empty()) {
                        const std::string name = SafePartName(part.fileName);
                        const std::string own = extensionOf(name);
                        if (guessed == ".bin") ext = own;
                        std::string stem = name.substr(0, name.size() - own.size());
                        if (stem.empty()) stem = "attachment";
                        path = store.Keep(stem, ext, bytes);
                    } else {
                        path = store.KeepTemp(guessed, bytes);
                    }
                    keepBuffer(std::move(bytes));
                    if (path.empty()) {
                        problems.push_back("A part could not be saved" +
                                           (part.fileName.empty() ? std::string() : ": " + part.fileName));
                        partHtml = tag("BR") + "[part not saved]" + tag("BR");
                    } else {
                        result.Attachment += path + "|";
                        const std::string url = FileUrl(path);
                        if (!part.contentId.empty()) {
                            sectors.cids.emplace(lower("cid:" + part.contentId), url);
                            sectors.keyHtml.resize(sectors.count + 2);
                            sectors.count += 2;
                        }
                        if (kPictureExts.find("," + lower(ext) + ",") != std::string_view::npos)
                            partHtml = tag("BR") + tag("IMG SRC=\"" + url + "\"") + tag("BR");
                        else
                            partHtml = tag("BR") + " ATTACHMENT " + tag("A TARGET=\"_blank\" HREF=\"" + url + "\"") +
                                       escapeText(path) + tag("/A") + tag("BR");
                    }
                }
            }
            const std::string key = std::string(kSectorKey) + std::to_string(sectors.count) + "@@";
            sectors.keyHtml.push_back(partHtml.empty() ? std::string(" ") : partHtml);
            ++sectors.count;
            body.replace(at, len, key);
            from = at >= 2 ? at - 2 : 0;
        }
    }

    // Finishing.
    if (!html) body = helpers::htmlescape(body);
    if (sectors.count) body = replaceSectors(body, sectors);
    moveTrailer(body);
    if (result.Charset.empty()) result.Charset = "utf-8";

    // The page is UTF-8 throughout: every part was converted on its way in.
    constexpr std::string_view kHead =
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
        "<META HTTP-EQUIV=\"X-UA-Compatible\" CONTENT=\"IE=EmulateIE11\">\r\n";
    std::string out;
    out.reserve(kHead.size() + page.size() + headerLines.size() + 2 + plainBlock.size() + body.size());
    out += kHead;
    out += page;
    out += headerLines;
    out += "\r\n";
    out += plainBlock;
    AppendRestoringTagChars(out, body);
    return out;
}

std::string WritePage(const std::string& folder, std::string_view from, std::string_view page, bool& reused) {
    reused = false;
    std::string name = rtl::Trim(keepOnly(from, "_"));
    if (name.empty()) name = "RCV";
    if (name.size() > kMaxStem) name.resize(kMaxStem);
    const size_t us = name.rfind('_');
    if (us == std::string::npos) name += "_";
    else name.resize(us + 1);
    // Written whole beside and renamed into place, so a page is never seen
    // half-written, but not forced to the disk: forcing cost a sixth of the
    // rendering, and a page is only a view of the message on the server.
    // What a crash may leave is an empty file under a page's name (its name
    // renamed in before its bytes reached the disk); rows are retrieved anew
    // after a restart, so no row names it, and the next render of any page
    // of that name takes it over, as no page is empty.
    for (int n = 1; n <= 999999; ++n) {
        const std::string path = folder + "/" + name + std::to_string(n) + ".htm";
        struct stat st {};
        if (!entryExists(path, st) || (S_ISREG(st.st_mode) && st.st_size == 0))
            return helpers::savescratch(path, page) ? path : std::string();
        if (holdsBytes(path, st, page)) {
            reused = true;
            return path;
        }
    }
    return {};
}

TRenderResult RenderMessage(const TRenderInput& in, const TRenderLimits& limits) {
    TRenderResult r;
    r.PagePath = in.PagePath;
    r.Charset = in.Charset;
    r.Attachment = in.Attachment;
    struct stat st {};
    if (!in.reload && !in.PagePath.empty() && entryExists(in.PagePath, st)) {
        r.ok = r.reused = true;
        return r;
    }
    if (!helpers::forcedirs(in.folder)) {
        r.problems.push_back("Could not create " + in.folder + ": " + helpers::lasterrtext());
        return r;
    }
    TFolderStore store(in.folder, in.programFolder, r.problems);
    const std::string page = BuildPage(in, store, r, limits);
    bool reused = false;
    const std::string path = WritePage(in.folder, in.From, page, reused);
    if (path.empty()) {
        r.problems.push_back("Could not write the page in " + in.folder);
        return r;
    }
    r.PagePath = path;
    r.reused = reused;
    r.ok = true;
    return r;
}


// ======================================================= the browser's copy

namespace {

struct Attr {
    std::string name, value;
    bool hasValue = false;
};

// What an attribute's value means to the browser: entities read, blanks
// and control characters gone, lower case.
std::string urlSense(std::string_view v) {
    std::string r;
    for (size_t i = 0; i < v.size(); ++i) {
        char c = v[i];
        if (c == '&') {
            const size_t semi = v.find(';', i);
            const std::string ent = semi == std::string_view::npos ? std::string() : lower(v.substr(i + 1, semi - i - 1));
            if (!ent.empty() && ent[0] == '#') {
                const bool hex = ent.size() > 1 && ent[1] == 'x';
                const long n = std::strtol(ent.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
                c = n > 0 && n < 128 ? static_cast<char>(n) : '?';
                i = semi;
            } else if (ent == "colon" || ent == "tab" || ent == "newline") {
                c = ent == "colon" ? ':' : ' ';
                i = semi;
            }
        }
        if (static_cast<unsigned char>(c) > ' ') r += lowerc(c);
    }
    return r;
}

// A reference the browser would fetch from elsewhere or run: anything but
// a relative path, a local file, a part or an inline picture.
bool unsafeSource(std::string_view v) {
    const std::string u = urlSense(v);
    if (u.starts_with("//") || u.starts_with("\\\\")) return true;
    const size_t colon = u.find(':');
    if (colon == std::string::npos) return false;
    const size_t slash = u.find_first_of("/?#");
    if (slash != std::string::npos && slash < colon) return false;  // "a/b:c" is a path
    const std::string scheme = u.substr(0, colon);
    return !(scheme == "file" || scheme == "cid" || (scheme == "data" && u.starts_with("data:image/")));
}

// A link the user may follow: no script behind it.
bool unsafeLink(std::string_view v) {
    const std::string u = urlSense(v);
    return u.starts_with("javascript:") || u.starts_with("vbscript:") || u.starts_with("data:");
}

// Style text that fetches nothing and runs nothing.
std::string safeCss(std::string_view css) {
    std::string out;
    size_t i = 0;
    while (i < css.size()) {
        if (ciEqual(css.substr(i, 4), "url(")) {
            const size_t close = css.find(')', i + 4);
            const size_t end = close == std::string_view::npos ? css.size() : close + 1;
            std::string v = rtl::Trim(css.substr(i + 4, (close == std::string_view::npos ? css.size() : close) - i - 4));
            if (v.size() >= 2 && (v[0] == '\'' || v[0] == '"') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
            out += unsafeSource(v) || v.find('\\') != std::string::npos ? std::string("url()")
                                                                        : std::string(css.substr(i, end - i));
            i = end;
        } else if (ciEqual(css.substr(i, 7), "@import")) {
            out += "@x-import";
            i += 7;
        } else if (ciEqual(css.substr(i, 10), "expression")) {
            out += "x-expression";
            i += 10;
        } else if (ciEqual(css.substr(i, 8), "behavior") || ciEqual(css.substr(i, 7), "binding")) {
            out += "x-";
            out += css[i++];
        } else {
            out += css[i++];
        }
    }
    return out;
}

bool nameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == ':' ||
           c == '_';
}

constexpr std::string_view kDroppedTags[] = {"iframe", "frame", "frameset", "object", "embed", "applet", "base",
                                             "portal", "param"};
constexpr std::string_view kUrlAttrs[] = {"src",   "href",     "background", "srcset", "poster",  "data",
                                          "action", "formaction", "dynsrc",   "lowsrc", "xlink:href", "cite",
                                          "longdesc", "ping",   "manifest",   "codebase", "archive", "profile"};

}  // namespace

std::string BrowserCopy(std::string_view page) { return SafeBrowserPage(page); }

std::string WriteBrowserCopy(const std::string& pagePath) {
    const std::string page = helpers::loadtext(pagePath);
    if (page.empty()) return {};
    std::string path = pagePath;
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
    path += "_view.htm";
    return helpers::savetext(path, SafeBrowserPage(page), 0600) ? path : std::string();
}

}  // namespace mailbox
