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


// ------------------------------------------------------------ header fields

// A header block's fields: names in lower case, values unfolded as sent.
struct Field {
    std::string name, value;
};

bool fieldNameChar(char c) { return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F && c != ':'; }

// "Name:" at the start of Line: where the colon is, npos when the line is
// no header field.
size_t fieldColon(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && fieldNameChar(line[i])) ++i;
    size_t colon = i;
    while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t')) ++colon;
    return i > 0 && colon < line.size() && line[colon] == ':' ? colon : std::string_view::npos;
}

std::vector<Field> readFields(std::string_view block) {
    std::vector<Field> fields;
    size_t i = 0;
    while (i < block.size()) {
        size_t e = block.find('\n', i);
        if (e == std::string_view::npos) e = block.size();
        std::string_view line = block.substr(i, e - i);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        i = e + 1;
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (!fields.empty()) fields.back().value.append(line);
            continue;
        }
        const size_t colon = fieldColon(line);
        if (colon == std::string_view::npos) continue;
        size_t n = colon;
        while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) --n;
        fields.push_back({lower(line.substr(0, n)), std::string(line.substr(colon + 1))});
    }
    return fields;
}

const std::string* firstField(const std::vector<Field>& fields, std::string_view name) {
    for (const Field& f : fields)
        if (f.name == name) return &f.value;
    return nullptr;
}

// A structured value "type/sub; a=b; c*0*=..." taken apart: the value in
// lower case and the parameters as sent (names in lower case).
struct Structured {
    std::string value;
    std::vector<std::pair<std::string, std::string>> params;
};

Structured readStructured(std::string_view v) {
    Structured s;
    size_t i = 0;
    auto skipBlank = [&] {
        while (i < v.size() && isspacec(v[i])) ++i;
    };
    // A comment in parentheses before the parameters is no part of the value.
    while (i < v.size() && v[i] != ';') {
        if (v[i] == '(') {
            while (i < v.size() && v[i] != ')') ++i;
            if (i < v.size()) ++i;
            continue;
        }
        if (!isspacec(v[i]) && v[i] != '"') s.value += lowerc(v[i]);
        ++i;
    }
    while (i < v.size()) {
        ++i;  // the ";"
        skipBlank();
        std::string name;
        while (i < v.size() && v[i] != '=' && v[i] != ';') name += v[i++];
        name = lower(rtl::Trim(name));
        if (i >= v.size() || v[i] == ';') continue;
        ++i;  // the "="
        skipBlank();
        std::string value;
        if (i < v.size() && v[i] == '"') {
            for (++i; i < v.size() && v[i] != '"'; ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) ++i;
                value += v[i];
            }
            if (i < v.size()) ++i;
            while (i < v.size() && v[i] != ';') ++i;
        } else {
            while (i < v.size() && v[i] != ';') value += v[i++];
            value = rtl::Trim(value);
        }
        if (!name.empty()) s.params.emplace_back(std::move(name), std::move(value));
    }
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lowerc(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(std::string_view s) {
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            r += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            r += s[i];
        }
    }
    return r;
}

// A parameter's value as UTF-8: plain ("name="), extended ("name*=" with
// its character set) or continued ("name*0=", "name*1*=", ... in number
// order); encoded words in a plain value are decoded too. Empty when absent.
std::string paramValue(const Structured& s, std::string_view name) {
    std::string plain;
    bool hasPlain = false;
    std::vector<std::pair<long, std::pair<bool, std::string>>> pieces;  // number, (extended, text)
    for (const auto& [n, v] : s.params) {
        if (n == name) {
            if (!hasPlain) plain = v, hasPlain = true;
            continue;
        }
        if (n.size() <= name.size() || n.compare(0, name.size(), name) != 0 || n[name.size()] != '*') continue;
        // "name*" is one extended value, "name*3" and "name*3*" are pieces.
        std::string_view rest = std::string_view(n).substr(name.size() + 1);
        const bool extended = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*') rest.remove_suffix(1);
        long number = 0;
        if (!rest.empty()) {
            if (rest.size() > 4 || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            number = std::stol(std::string(rest));
        }
        pieces.push_back({number, {extended, v}});
    }
    if (!pieces.empty()) {
        std::stable_sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string charset, bytes;
        for (size_t k = 0; k < pieces.size(); ++k) {
            const auto& [extended, text] = pieces[k].second;
            std::string_view t = text;
            if (k == 0 && extended) {
                // "charset'language'" before the first piece.
                const size_t q1 = t.find('\''), q2 = q1 == std::string_view::npos ? q1 : t.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    charset = lower(t.substr(0, q1));
                    t.remove_prefix(q2 + 1);
                }
            }
            bytes += extended ? percentDecoded(t) : std::string(t);
        }
        return toUtf8(std::move(bytes), charset, true);
    }
    if (!hasPlain) return {};
    std::string cs;
    return DecodeEncodedWords(plain, true, cs);
}

// ------------------------------------------------------ the part structure

constexpr std::string_view kTextTypes[] = {"text/plain", "text/html"};

// What a leaf part of the message says about itself, and its body as sent.
struct Leaf {
    std::string contentType, charset, encoding, disposition, fileName, contentId;
    std::string_view raw;
    bool attachment = false;
};

// The message taken apart along its boundaries: one pass over the lines,
// every boundary line compared whole with the boundaries still open.
struct Structure {
    bool hasHeader = false;
    std::string_view header;  // the top header block, without its blank line
    size_t bodyAt = 0;        // where the top body starts
    std::vector<Field> fields;  // of the top header block
    std::vector<Leaf> leaves;
};

Leaf leafOf(const std::vector<Field>& fields, std::string_view defaultType) {
    Leaf l;
    Structured type;
    if (const std::string* v = firstField(fields, "content-type")) type = readStructured(*v);
    l.contentType = type.value.find('/') == std::string::npos ? std::string(defaultType) : type.value;
    l.charset = lower(rtl::Trim(paramValue(type, "charset")));
    if (const std::string* v = firstField(fields, "content-transfer-encoding")) l.encoding = readStructured(*v).value;
    Structured disp;
    if (const std::string* v = firstField(fields, "content-disposition")) disp = readStructured(*v);
    l.disposition = disp.value;
    l.fileName = paramValue(disp, "filename");
    if (l.fileName.empty()) l.fileName = paramValue(type, "name");
    if (const std::string* v = firstField(fields, "content-id"))
        for (char c : rtl::Trim(*v))
            if (c != '<' && c != '>') l.contentId += c;
    l.attachment = !l.fileName.empty() || l.disposition == "attachment" ||
                   std::find(std::begin(kTextTypes), std::end(kTextTypes), l.contentType) == std::end(kTextTypes);
    return l;
}

Structure readStructure(std::string_view text, const TRenderLimits& limits, std::vector<std::string>& problems) {
    Structure s;
    struct Open {
        std::string boundary;
        bool used = false, closed = false;
        std::string defaultType;  // of its parts
        size_t bodyAt = 0;
    };
    std::vector<Open> open;
    std::unordered_map<std::string, std::vector<size_t>> byBoundary;  // boundary -> depths holding it
    size_t multiparts = 0;
    bool tooMany = false;

    enum class State { Headers, Body, Ignore } state = State::Headers;
    size_t headerAt = 0, bodyAt = 0;
    std::string defaultType = "text/plain";
    bool top = true;
    bool inLeaf = false;
    Leaf leaf;

    auto closeLeaf = [&](size_t end, bool atBoundary) {
        if (!inLeaf) return;
        // The line break before a boundary belongs to the boundary.
        if (!atBoundary) {
        } else if (end >= bodyAt + 2 && text.substr(end - 2, 2) == "\r\n") end -= 2;
        else if (end > bodyAt && text[end - 1] == '\n') --end;
        leaf.raw = text.substr(bodyAt, end > bodyAt ? end - bodyAt : 0);
        s.leaves.push_back(std::move(leaf));
        leaf = Leaf();
        inLeaf = false;
    };
    // The header block [headerAt, end) is complete; the body starts at BodyStart.
    // A multipart whose boundary never came: its body is shown as text.
    auto unusedBody = [&](const Open& o, size_t end) {
        if (o.used) return;
        Leaf l;
        l.contentType = "text/plain";
        l.raw = text.substr(std::min(o.bodyAt, end), end > o.bodyAt ? end - o.bodyAt : 0);
        s.leaves.push_back(std::move(l));
    };
    auto finishHeaders = [&](size_t end, size_t bodyStart) {
        const std::string_view block = text.substr(headerAt, end - headerAt);
        std::vector<Field> fields = readFields(block);
        if (top) {
            s.header = block;
            s.bodyAt = bodyStart;
            s.fields = fields;
            top = false;
        }
        Structured type;
        if (const std::string* v = firstField(fields, "content-type")) type = readStructured(*v);
        if (type.value.starts_with("multipart/")) {
            const std::string boundary = paramValue(type, "boundary");
            if (!boundary.empty() && multiparts < limits.maxBoundaries) {
                ++multiparts;
                open.push_back({boundary, false, false, type.value == "multipart/digest" ? "message/rfc822" : "text/plain",
                                bodyStart});
                byBoundary[boundary].push_back(open.size() - 1);
                state = State::Ignore;  // the preamble
                return;
            }
            if (!boundary.empty() && !tooMany) {
                tooMany = true;
                problems.push_back("More than " + std::to_string(limits.maxBoundaries) +
                                   " boundaries declared: the parts of the others are not separated");
            }
        } else if (bodyStart > headerAt &&
                   (type.value == "message/rfc822" || (type.value.empty() && defaultType == "message/rfc822"))) {
            // A message inside: its own header block follows.
            headerAt = bodyStart;
            defaultType = "text/plain";
            state = State::Headers;
            return;
        }
        leaf = leafOf(fields, defaultType);
        if (leaf.contentType.starts_with("multipart/")) {
            // One not taken apart is shown as it came.
            leaf.contentType = "text/plain";
            leaf.attachment = false;
        }
        inLeaf = true;
        bodyAt = bodyStart;
        state = State::Body;
    };

    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find('\n', i);
        const size_t next = e == std::string_view::npos ? text.size() : e + 1;
        std::string_view line = text.substr(i, next - i);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);

        if (!open.empty() && line.size() > 2 && line[0] == '-' && line[1] == '-') {
            std::string_view t = line;
            while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
            bool closing = false;
            auto hit = byBoundary.find(std::string(t.substr(2)));
            if ((hit == byBoundary.end() || hit->second.empty()) && t.size() > 4 && t.ends_with("--")) {
                hit = byBoundary.find(std::string(t.substr(2, t.size() - 4)));
                closing = true;
            }
            if (hit != byBoundary.end() && !hit->second.empty()) {
                const size_t depth = hit->second.back();
                if (state == State::Headers) {
                    // A part cut off inside its header block: what came is its header.
                    finishHeaders(i, i);
                }
                closeLeaf(i, true);
                while (open.size() > depth + 1) {
                    unusedBody(open.back(), i);
                    if (!open.back().closed)
                        problems.push_back("Boundary \"" + open.back().boundary +
                                           "\" is never closed: its last part runs to the next outer boundary");
                    byBoundary[open.back().boundary].pop_back();
                    open.pop_back();
                }
                open[depth].used = true;
                if (closing) {
                    open[depth].closed = true;
                    byBoundary[open[depth].boundary].pop_back();
                    open.pop_back();
                    state = State::Ignore;  // the epilogue
                } else {
                    state = State::Headers;
                    headerAt = next;
                    defaultType = open[depth].defaultType;
                }
                i = next;
                continue;
            }
        }
        if (state == State::Headers) {
            if (line.empty()) {
                finishHeaders(i, next);
            } else if (!(line[0] == ' ' || line[0] == '\t') && fieldColon(line) == std::string_view::npos) {
                // No header field: the body starts here (at the very top,
                // the message has no header block at all).
                if (top && i == headerAt) {
                    top = false;
                    leaf = leafOf({}, "text/plain");
                    inLeaf = true;
                    bodyAt = i;
                    state = State::Body;
                } else {
                    finishHeaders(i, i);
                    continue;  // the line is read again as body
                }
            }
        }
        i = next;
    }
    if (state == State::Headers) finishHeaders(text.size(), text.size());
    closeLeaf(text.size(), false);
    s.hasHeader = !s.header.empty();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        unusedBody(*it, text.size());
        if (!it->used)
            problems.push_back("Boundary \"" + it->boundary + "\" is declared but never used: its parts are not separated");
        else if (!it->closed)
            problems.push_back("Boundary \"" + it->boundary + "\" is never closed: its last part runs to the end");
    }
    return s;
}

// --------------------------------------------------- transfer encodings

constexpr auto kB64 = [] {
    std::array<signed char, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = 0; c < 26; ++c) t['A' + c] = static_cast<signed char>(c), t['a' + c] = static_cast<signed char>(26 + c);
    for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<signed char>(52 + c);
    t['+'] = 62;
    t['/'] = 63;
    return t;
}();

// Base64 as mail carries it: line breaks, blanks at line ends and other
// characters outside the alphabet are passed over; "=" ends the data.
// Whole groups of four are decoded at once, the rest a character at a time.
void base64Into(std::string_view in, std::string& out) {
    out.resize(in.size() / 4 * 3 + 3);
    char* w = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const auto* end = p + in.size();
    uint32_t acc = 0;
    int bits = 0;
    while (p < end) {
        if (bits == 0 && end - p >= 4) {
            const int a = kB64[p[0]], b = kB64[p[1]], c = kB64[p[2]], d = kB64[p[3]];
            if ((a | b | c | d) >= 0) {
                const uint32_t v = (static_cast<uint32_t>(a) << 18) | (static_cast<uint32_t>(b) << 12) |
                                   (static_cast<uint32_t>(c) << 6) | static_cast<uint32_t>(d);
                w[0] = static_cast<char>(v >> 16);
                w[1] = static_cast<char>(v >> 8);
                w[2] = static_cast<char>(v);
                w += 3;
                p += 4;
                continue;
            }
        }
        const unsigned char ch = *p++;
        if (ch == '=') break;
        const int v = kB64[ch];
        if (v < 0) continue;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *w++ = static_cast<char>((acc >> bits) & 0xFF);
        }
        // Four characters make three whole bytes: the fast path may go on.
        if (bits == 0) acc = 0;
    }
    out.resize(static_cast<size_t>(w - out.data()));
}

// Quoted-printable: soft breaks joined, blanks at line ends dropped (they
// were added in transit), hard breaks as CRLF.
void quotedPrintableInto(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        size_t e = in.find('\n', i);
        const bool last = e == std::string_view::npos;
        if (last) e = in.size();
        std::string_view line = in.substr(i, e - i);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        bool soft = false;
        for (size_t k = 0; k < line.size(); ++k) {
            if (line[k] != '=') {
                out += line[k];
            } else if (k + 1 == line.size()) {
                soft = true;
            } else if (k + 2 < line.size() + 0 && hexValue(line[k + 1]) >= 0 && hexValue(line[k + 2]) >= 0) {
                out += static_cast<char>(hexValue(line[k + 1]) * 16 + hexValue(line[k + 2]));
                k += 2;
            } else {
                out += '=';
            }
        }
        if (!last && !soft) out += "\r\n";
        i = e + 1;
    }
}

// The part's bytes with its transfer encoding undone, in Out.
void partBytes(const Leaf& l, std::string& out) {
    if (l.encoding == "base64") base64Into(l.raw, out);
    else if (l.encoding == "quoted-printable") quotedPrintableInto(l.raw, out);
    else out.assign(l.raw);
}

std::string extensionOf(std::string_view name);

// An extension for a part without a name: from what its bytes are, else
// from its content type.
std::string guessedExtension(std::string_view bytes, std::string_view contentType) {
    std::string ext = lower(helpers::sniffext(bytes));
    if (!ext.empty() && ext != "bin") return "." + ext;
    struct Known {
        std::string_view type, ext;
    };
    static constexpr Known known[] = {
        {"text/calendar", ".ics"}, {"text/csv", ".csv"},     {"text/html", ".htm"},       {"text/plain", ".txt"},
        {"text/vcard", ".vcf"},    {"text/x-vcard", ".vcf"}, {"message/rfc822", ".eml"},  {"application/pdf", ".pdf"},
        {"image/png", ".png"},     {"image/jpeg", ".jpg"},   {"image/gif", ".gif"},       {"application/pgp-signature", ".asc"},
        {"application/zip", ".zip"}, {"application/json", ".json"}, {"application/xml", ".xml"}, {"text/xml", ".xml"},
    };
    for (const Known& k : known)
        if (contentType == k.type) return std::string(k.ext);
    if (contentType.starts_with("text/")) return ".txt";
    return ".bin";
}

uint64_t fnv1a(std::string_view s, uint64_t h = 0xcbf29ce484222325ULL) {
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return h;
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
    // Letters of every script stay; control characters go, and so do bytes
    // that are no UTF-8.
    std::string n;
    // Characters that other systems' names cannot hold (an archive of the
    // folder may be unpacked there) become "_".
    for (char c : helpers::isutf8(name) ? std::string(name) : helpers::validutf8(name)) {
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) continue;
        n += std::string_view(":*?\"<>|").find(c) == std::string_view::npos ? c : '_';
    }
    const size_t first = n.find_first_not_of(". ");
    n = first == std::string::npos ? std::string() : n.substr(first);
    while (!n.empty() && (n.back() == '.' || n.back() == ' ')) n.pop_back();
    if (n.size() > kMaxStem) {
        std::string ext = extensionOf(n);
        if (ext.size() > 16) ext.clear();
        size_t keep = kMaxStem - ext.size();
        // Cut between characters, never inside one.
        while (keep > 0 && (static_cast<unsigned char>(n[keep]) & 0xC0) == 0x80) --keep;
        n = n.substr(0, keep) + ext;
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

std::vector<TMessagePart> ReadMessageParts(std::string_view message, std::vector<std::string>& problems,
                                           const TRenderLimits& limits) {
    std::vector<TMessagePart> parts;
    for (const Leaf& l : readStructure(message, limits, problems).leaves) {
        TMessagePart p;
        p.contentType = l.contentType;
        p.fileName = l.fileName;
        p.contentId = l.contentId;
        p.encoding = l.encoding;
        p.attachment = l.attachment;
        partBytes(l, p.bytes);
        if (!l.attachment) p.text = toUtf8(p.bytes, l.charset, true);
        parts.push_back(std::move(p));
    }
    return parts;
}

// ============================================================== the page

std::string BuildPage(const TRenderInput& in, TPartStore& store, TRenderResult& result, const TRenderLimits& limits) {
    result.Charset = in.Charset;
    result.Attachment = in.Attachment;
    auto& problems = result.problems;

    // The lines joined once.
    size_t total = 0;
    for (const std::string& line : in.lines) total += line.size() + 2;
    // The memory of the last message's text is taken again: fresh memory
    // costs a page fault every 4 KB.
    static thread_local std::string kept;
    std::string text = std::move(kept);
    text.resize(total);
    struct Keep {
        std::string& text;
        ~Keep() {
            if (text.capacity() <= (size_t{64} << 20)) kept = std::move(text);
        }
    } keepText{text};
    {
        char* w = text.data();
        for (const std::string& line : in.lines) {
            std::memcpy(w, line.data(), line.size());
            w += line.size();
            *w++ = '\r';
            *w++ = '\n';
        }
    }
    const Structure st = readStructure(text, limits, problems);

    // The inline text parts: the first HTML one is the body.
    size_t htmlIndex = st.leaves.size();
    for (size_t k = 0; k < st.leaves.size(); ++k)
        if (!st.leaves[k].attachment && st.leaves[k].contentType == "text/html") {
            htmlIndex = k;
            break;
        }
    const bool html = !in.Enciphered && htmlIndex < st.leaves.size();
    for (size_t k = 0; k < st.leaves.size(); ++k) {
        const Leaf& l = st.leaves[k];
        if (html ? k == htmlIndex : !l.attachment) {
            if (!l.charset.empty()) result.Charset = l.charset;
            break;
        }
    }
    const std::string charset = result.Charset;

    // Header lines: the message's own first field of each kind, else what
    // the client captured.
    auto field = [&](std::string_view name, const std::string& captured) {
        const std::string* v = firstField(st.fields, name);
        std::string r = v ? *v : captured;
        dropTagChars(r);
        return r;
    };
    std::string subject = field("subject", in.HdrSubject);
    if (in.Enciphered) subject = helpers::numdecipher(rtl::Trim(subject), in.mailKey);
    std::string headerLines = HeaderLineHtml("maroon", 5, "From:" + field("from", in.HdrFrom));
    headerLines += HeaderLineHtml("blue", 3, "To:" + field("to", in.HdrTo));
    if (const std::string cc = field("cc", in.HdrCc); !rtl::Trim(cc).empty())
        headerLines += HeaderLineHtml("steelblue", 3, "Cc:" + cc);
    headerLines += HeaderLineHtml("red", 5, "Date:" + field("date", in.HdrDate));
    headerLines += HeaderLineHtml("navy", 8, "Subject:" + subject) + "<BR>";

    std::string page;
    if (st.hasHeader) {
        std::string header = toUtf8(std::string(st.header), charset, false);
        dropTagChars(header);
        page += ToggleBlock("kwemallhdrs", helpers::htmlescape(header), "All Headers");
    }

    std::string body, plainBlock;
    if (in.Enciphered) {
        std::string b(std::string_view(text).substr(std::min(st.bodyAt, text.size())));
        std::string encoding;
        if (const std::string* v = firstField(st.fields, "content-transfer-encoding"))
            encoding = readStructured(*v).value;
        if (encoding == "base64") b = helpers::b64decode(b);
        b = helpers::numdecipher(helpers::foldaccents(b, kDigits), in.mailKey);
        toUtf8In(b, charset, false);
        dropTagChars(b);
        body = ciFind(b, "<head") != std::string::npos || ciFind(b, "<body") != std::string::npos
                   ? std::move(b)
                   : helpers::htmlescape(b);
    } else {
        // Parts without a name are named after the message and their place
        // in it: rendered again, the message finds its files again.
        char stemBase[24];
        std::snprintf(stemBase, sizeof stemBase, "m%010llx",
                      static_cast<unsigned long long>(fnv1a(st.header, fnv1a(std::to_string(text.size()))) >> 24));
        std::unordered_set<std::string> listed;
        for (size_t i = 0, e; i < in.Attachment.size(); i = e + 1) {
            e = in.Attachment.find('|', i);
            if (e == std::string::npos) e = in.Attachment.size();
            listed.insert(in.Attachment.substr(i, e - i));
        }
        Sectors sectors;
        std::string htmlText, before, after, bytes;
        for (size_t k = 0; k < st.leaves.size(); ++k) {
            if (k >= limits.maxSectors) {
                problems.push_back("More than " + std::to_string(limits.maxSectors) + " parts: the rest are not shown");
                break;
            }
            const Leaf& l = st.leaves[k];
            partBytes(l, bytes);
            if (!l.attachment) {
                std::string t = toUtf8(bytes, l.charset, true);
                dropTagChars(t);
                if (html && k == htmlIndex) htmlText = std::move(t);
                else if (html && k < htmlIndex) (before.empty() ? before : before += "\r\n") += t;
                else if (html) after += tag("BR") + (l.contentType == "text/html" ? t : helpers::htmlescape(t)) + tag("BR");
                else (body.empty() ? body : body += "\r\n") += t;
                continue;
            }
            std::string partHtml;
            if (static_cast<int64_t>(bytes.size()) > limits.maxPartBytes) {
                problems.push_back("A part of " + std::to_string(bytes.size()) + " bytes is too large to keep");
                partHtml = tag("BR") + "[part too large to keep]" + tag("BR");
            } else {
                std::string stem, ext;
                if (!l.fileName.empty()) {
                    const std::string name = SafePartName(l.fileName);
                    ext = extensionOf(name);
                    stem = name.substr(0, name.size() - ext.size());
                } else {
                    stem = std::string(stemBase) + "_" + std::to_string(k + 1);
                    ext = guessedExtension(bytes, l.contentType);
                }
                const std::string path = store.Keep(stem, ext, bytes);
                if (path.empty()) {
                    problems.push_back("A part could not be saved" + (l.fileName.empty() ? std::string() : ": " + l.fileName));
                    partHtml = tag("BR") + "[part not saved]" + tag("BR");
                } else {
                    result.Saved.push_back(path);
                    if (listed.insert(path).second) result.Attachment += path + "|";
                    const std::string url = FileUrl(path);
                    if (!l.contentId.empty()) sectors.cids.emplace(lower("cid:" + l.contentId), url);
                    if (kPictureExts.find("," + lower(ext) + ",") != std::string_view::npos)
                        partHtml = tag("BR") + tag("IMG SRC=\"" + url + "\"") + tag("BR");
                    else
                        partHtml = tag("BR") + " ATTACHMENT " + tag("A TARGET=\"_blank\" HREF=\"" + url + "\"") +
                                   escapeText(path) + tag("/A") + tag("BR");
                }
            }
            if (html) after += partHtml;
            else body += partHtml;
        }
        if (bytes.capacity() > (size_t{64} << 20)) bytes = std::string();
        if (html) {
            if (!sectors.cids.empty()) htmlText = replaceSectors(htmlText, sectors);
            before = rtl::Trim(before);
            if (!before.empty()) plainBlock = ToggleBlock("kwemplaintex", helpers::htmlescape(before), "Plain Text");
            if (!after.empty()) {
                // What follows the HTML goes into the "Attachments" block at its end.
                size_t cut = ciRFind(htmlText, "</body>");
                if (cut == std::string::npos) cut = ciRFind(htmlText, "</html>");
                if (cut == std::string::npos) cut = htmlText.size();
                htmlText.resize(cut);
                htmlText += "<BR>" + ToggleBlock("kwemattached", after, "Attachments") + "</BODY></HTML>";
            }
            body = std::move(htmlText);
        } else {
            body = helpers::htmlescape(body);
        }
    }
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
