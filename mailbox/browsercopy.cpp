#include "mailbox/browsercopy.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {

char lowerc(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool alnum(char c) { return alpha(c) || digit(c); }
bool hexdigit(char c) { return digit(c) || (lowerc(c) >= 'a' && lowerc(c) <= 'f'); }
// The tokenizer's white space: tab, line feed, form feed, carriage return (a
// line feed after the input stream is normalised) and space.
bool tokspace(char c) { return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = lowerc(c);
    return r;
}

bool ciStarts(std::string_view s, size_t at, std::string_view prefix) {
    if (at + prefix.size() > s.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lowerc(s[at + i]) != prefix[i]) return false;
    return true;
}

const char kReplacement[] = "\xEF\xBF\xBD";

// ------------------------------------------------------------ character references

struct Entity {
    const char* name;
    uint32_t cp;
    bool legacy;  // also read without its ";"
};

// The references that matter for reading attribute values: the old Latin-1
// set (which browsers read without ";" too), the punctuation names used to
// hide a scheme, and the common typographic ones. An unknown name stays
// literal text, which is what the copy then says.
constexpr Entity kEntities[] = {
    {"amp", '&', true}, {"AMP", '&', true}, {"lt", '<', true}, {"LT", '<', true}, {"gt", '>', true},
    {"GT", '>', true}, {"quot", '"', true}, {"QUOT", '"', true}, {"nbsp", 0xA0, true}, {"iexcl", 0xA1, true},
    {"cent", 0xA2, true}, {"pound", 0xA3, true}, {"curren", 0xA4, true}, {"yen", 0xA5, true},
    {"brvbar", 0xA6, true}, {"sect", 0xA7, true}, {"uml", 0xA8, true}, {"copy", 0xA9, true},
    {"COPY", 0xA9, true}, {"ordf", 0xAA, true}, {"laquo", 0xAB, true}, {"not", 0xAC, true},
    {"shy", 0xAD, true}, {"reg", 0xAE, true}, {"REG", 0xAE, true}, {"macr", 0xAF, true}, {"deg", 0xB0, true},
    {"plusmn", 0xB1, true}, {"sup2", 0xB2, true}, {"sup3", 0xB3, true}, {"acute", 0xB4, true},
    {"micro", 0xB5, true}, {"para", 0xB6, true}, {"middot", 0xB7, true}, {"cedil", 0xB8, true},
    {"sup1", 0xB9, true}, {"ordm", 0xBA, true}, {"raquo", 0xBB, true}, {"frac14", 0xBC, true},
    {"frac12", 0xBD, true}, {"frac34", 0xBE, true}, {"iquest", 0xBF, true}, {"Agrave", 0xC0, true},
    {"Aacute", 0xC1, true}, {"Acirc", 0xC2, true}, {"Atilde", 0xC3, true}, {"Auml", 0xC4, true},
    {"Aring", 0xC5, true}, {"AElig", 0xC6, true}, {"Ccedil", 0xC7, true}, {"Egrave", 0xC8, true},
    {"Eacute", 0xC9, true}, {"Ecirc", 0xCA, true}, {"Euml", 0xCB, true}, {"Igrave", 0xCC, true},
    {"Iacute", 0xCD, true}, {"Icirc", 0xCE, true}, {"Iuml", 0xCF, true}, {"ETH", 0xD0, true},
    {"Ntilde", 0xD1, true}, {"Ograve", 0xD2, true}, {"Oacute", 0xD3, true}, {"Ocirc", 0xD4, true},
    {"Otilde", 0xD5, true}, {"Ouml", 0xD6, true}, {"times", 0xD7, true}, {"Oslash", 0xD8, true},
    {"Ugrave", 0xD9, true}, {"Uacute", 0xDA, true}, {"Ucirc", 0xDB, true}, {"Uuml", 0xDC, true},
    {"Yacute", 0xDD, true}, {"THORN", 0xDE, true}, {"szlig", 0xDF, true}, {"agrave", 0xE0, true},
    {"aacute", 0xE1, true}, {"acirc", 0xE2, true}, {"atilde", 0xE3, true}, {"auml", 0xE4, true},
    {"aring", 0xE5, true}, {"aelig", 0xE6, true}, {"ccedil", 0xE7, true}, {"egrave", 0xE8, true},
    {"eacute", 0xE9, true}, {"ecirc", 0xEA, true}, {"euml", 0xEB, true}, {"igrave", 0xEC, true},
    {"iacute", 0xED, true}, {"icirc", 0xEE, true}, {"iuml", 0xEF, true}, {"eth", 0xF0, true},
    {"ntilde", 0xF1, true}, {"ograve", 0xF2, true}, {"oacute", 0xF3, true}, {"ocirc", 0xF4, true},
    {"otilde", 0xF5, true}, {"ouml", 0xF6, true}, {"divide", 0xF7, true}, {"oslash", 0xF8, true},
    {"ugrave", 0xF9, true}, {"uacute", 0xFA, true}, {"ucirc", 0xFB, true}, {"uuml", 0xFC, true},
    {"yacute", 0xFD, true}, {"thorn", 0xFE, true}, {"yuml", 0xFF, true},
    {"Tab", '\t', false}, {"NewLine", '\n', false}, {"excl", '!', false}, {"num", '#', false},
    {"dollar", '$', false}, {"percnt", '%', false}, {"apos", '\'', false}, {"lpar", '(', false},
    {"rpar", ')', false}, {"ast", '*', false}, {"midast", '*', false}, {"plus", '+', false},
    {"comma", ',', false}, {"period", '.', false}, {"sol", '/', false}, {"colon", ':', false},
    {"semi", ';', false}, {"equals", '=', false}, {"quest", '?', false}, {"commat", '@', false},
    {"lsqb", '[', false}, {"lbrack", '[', false}, {"bsol", '\\', false}, {"rsqb", ']', false},
    {"rbrack", ']', false}, {"Hat", '^', false}, {"lowbar", '_', false}, {"UnderBar", '_', false},
    {"grave", '`', false}, {"DiacriticalGrave", '`', false}, {"lcub", '{', false}, {"lbrace", '{', false},
    {"verbar", '|', false}, {"vert", '|', false}, {"VerticalLine", '|', false}, {"rcub", '}', false},
    {"rbrace", '}', false}, {"hyphen", 0x2010, false}, {"dash", 0x2010, false},
    {"ensp", 0x2002, false}, {"emsp", 0x2003, false}, {"thinsp", 0x2009, false}, {"zwnj", 0x200C, false},
    {"zwj", 0x200D, false}, {"lrm", 0x200E, false}, {"rlm", 0x200F, false}, {"ndash", 0x2013, false},
    {"mdash", 0x2014, false}, {"lsquo", 0x2018, false}, {"rsquo", 0x2019, false}, {"sbquo", 0x201A, false},
    {"ldquo", 0x201C, false}, {"rdquo", 0x201D, false}, {"bdquo", 0x201E, false}, {"dagger", 0x2020, false},
    {"Dagger", 0x2021, false}, {"bull", 0x2022, false}, {"hellip", 0x2026, false}, {"permil", 0x2030, false},
    {"lsaquo", 0x2039, false}, {"rsaquo", 0x203A, false}, {"euro", 0x20AC, false}, {"trade", 0x2122, false},
    {"OElig", 0x152, false}, {"oelig", 0x153, false}, {"Scaron", 0x160, false}, {"scaron", 0x161, false},
    {"Yuml", 0x178, false}, {"fnof", 0x192, false}, {"circ", 0x2C6, false}, {"tilde", 0x2DC, false},
};

// Windows-1252 for the C1 range of numeric references, as browsers map it.
constexpr uint16_t kC1[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                              0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                              0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

// A character reference at s[i] == '&' inside an attribute value: appends
// what it stands for and returns the index after it, or appends "&" and
// returns i + 1 when there is none.
size_t attrReference(std::string_view s, size_t i, std::string& out) {
    size_t j = i + 1;
    if (j < s.size() && s[j] == '#') {
        size_t k = j + 1;
        const bool hex = k < s.size() && (s[k] == 'x' || s[k] == 'X');
        if (hex) ++k;
        const size_t start = k;
        uint64_t v = 0;
        while (k < s.size() && (hex ? hexdigit(s[k]) : digit(s[k]))) {
            const char c = lowerc(s[k]);
            v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit(c) ? c - '0' : c - 'a' + 10);
            if (v > 0x110000) v = 0x110000;
            ++k;
        }
        if (k == start) {
            out += '&';
            return i + 1;
        }
        if (k < s.size() && s[k] == ';') ++k;
        if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) out += kReplacement;
        else if (v >= 0x80 && v <= 0x9F) rtl::AppendUtf8(out, kC1[v - 0x80]);
        else rtl::AppendUtf8(out, static_cast<uint32_t>(v));
        return k;
    }
    // Longest name of the table that matches here.
    const Entity* best = nullptr;
    size_t bestLen = 0;
    bool bestSemi = false;
    for (const Entity& e : kEntities) {
        const std::string_view n(e.name);
        if (s.substr(j, n.size()) != n) continue;
        const bool semi = j + n.size() < s.size() && s[j + n.size()] == ';';
        if (!semi && !e.legacy) continue;
        const size_t len = n.size() + (semi ? 1 : 0);
        if (len > bestLen) {
            best = &e;
            bestLen = len;
            bestSemi = semi;
        }
    }
    if (best) {
        // In an attribute, "&copy=" and "&copyx" stay literal.
        const size_t after = j + bestLen;
        if (bestSemi || after >= s.size() || !(alnum(s[after]) || s[after] == '=')) {
            rtl::AppendUtf8(out, best->cp);
            return after;
        }
    }
    out += '&';
    return i + 1;
}

// ------------------------------------------------------------ URLs

// What a URL parser works on: leading and trailing controls and blanks
// stripped, tabs and line breaks removed everywhere.
std::string urlCore(std::string_view v) {
    size_t b = 0, e = v.size();
    while (b < e && static_cast<unsigned char>(v[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(v[e - 1]) <= ' ') --e;
    std::string r;
    for (size_t i = b; i < e; ++i)
        if (v[i] != '\t' && v[i] != '\n' && v[i] != '\r') r += v[i];
    return r;
}

// The scheme in lower case, or empty for a relative reference.
std::string urlScheme(const std::string& u) {
    if (u.empty() || !alpha(u[0])) return {};
    size_t i = 1;
    while (i < u.size() && (alnum(u[i]) || u[i] == '+' || u[i] == '-' || u[i] == '.')) ++i;
    if (i >= u.size() || u[i] != ':') return {};
    return lower(u.substr(0, i));
}

// A link the reader may follow by hand: never one that runs something.
bool followableUrl(std::string_view v) {
    const std::string u = urlCore(v);
    const std::string scheme = urlScheme(u);
    return scheme.empty() || scheme == "http" || scheme == "https" || scheme == "mailto" || scheme == "file";
}

// ------------------------------------------------------------ what is kept

bool inList(std::string_view name, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

bool keptElement(std::string_view n) {
    static const std::initializer_list<std::string_view> kKept = {
        "html", "head", "body", "title", "style", "div", "span", "p", "br", "hr", "h1", "h2", "h3", "h4", "h5",
        "h6", "b", "i", "u", "s", "strike", "em", "strong", "small", "big", "sub", "sup", "font", "center",
        "blockquote", "pre", "code", "tt", "kbd", "samp", "var", "cite", "q", "abbr", "acronym", "address", "dfn",
        "ins", "del", "mark", "a", "img", "table", "thead", "tbody", "tfoot", "tr", "td", "th", "caption", "col",
        "colgroup", "ul", "ol", "li", "dl", "dt", "dd", "details", "summary", "map", "area", "nobr", "wbr",
        "section", "article", "header", "footer", "nav", "main", "aside", "figure", "figcaption", "label", "bdi",
        "bdo", "ruby", "rt", "rp", "time", "fieldset", "legend", "menu", "dir"};
    return inList(n, kKept);
}

bool keptAttribute(std::string_view el, std::string_view a) {
    static const std::initializer_list<std::string_view> kAny = {
        "id", "class", "style", "title", "lang", "dir", "align", "valign", "width", "height", "border",
        "bgcolor", "color", "face", "size", "nowrap", "clear", "hspace", "vspace", "noshade", "type",
        "start", "value", "compact", "reversed", "cellpadding", "cellspacing", "colspan", "rowspan",
        "headers", "scope", "abbr", "axis", "char", "charoff", "span", "rules", "frame", "summary",
        "alt", "name", "datetime", "open", "bordercolor", "bordercolorlight", "bordercolordark",
        "text", "link", "vlink", "alink", "leftmargin", "topmargin", "marginwidth", "marginheight",
        "translate"};
    if (inList(a, kAny)) return true;
    if (a == "href") return el == "a" || el == "area";
    if (a == "target") return el == "a" || el == "area";
    if (a == "src") return el == "img";
    if (a == "usemap" || a == "ismap") return el == "img";
    if (a == "shape" || a == "coords") return el == "area";
    if (a == "background") return el == "body" || el == "table" || el == "td" || el == "th" || el == "tr";
    return false;
}

// Elements dropped with everything inside them.
bool droppedWhole(std::string_view n) {
    return inList(n, {"script", "template", "svg", "math", "iframe", "frame", "frameset", "noframes", "object",
                      "applet", "embed", "noscript", "noembed", "select", "head-template"});
}

// Start tags that take the parser out of SVG or MathML content.
bool breaksForeign(std::string_view n) {
    return inList(n, {"b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl", "dt", "em",
                      "embed", "h1", "h2", "h3", "h4", "h5", "h6", "head", "hr", "i", "img", "li", "listing",
                      "menu", "meta", "nobr", "ol", "p", "pre", "ruby", "s", "small", "span", "strong", "strike",
                      "sub", "sup", "table", "tt", "u", "ul", "var"});
}

// ------------------------------------------------------------ the tokenizer

struct Attr {
    std::string name, value;
};

struct Tag {
    bool end = false;
    bool selfClosing = false;
    std::string name;
    std::vector<Attr> attrs;
    const std::string* get(std::string_view n) const {
        for (const Attr& a : attrs)
            if (a.name == n) return &a.value;
        return nullptr;
    }
};

class Copier {
public:
    explicit Copier(std::string_view in) : s_(in) {}

    std::string Run() {
        while (i_ < s_.size()) {
            const size_t lt = s_.find('<', i_);
            text(s_.substr(i_, (lt == std::string_view::npos ? s_.size() : lt) - i_));
            if (lt == std::string_view::npos) break;
            i_ = lt;
            tagOpen();
        }
        return out_;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
    std::string out_;
    // Inside an element dropped whole: its name and nesting depth.
    std::string skipName_;
    int skipDepth_ = 0;
    bool foreign_ = false;  // the dropped element is SVG or MathML
    bool doctype_ = false;

    bool skipping() const { return skipDepth_ > 0; }

    void text(std::string_view t) {
        if (skipping() || t.empty()) return;
        for (char c : t) {
            if (c == '<') out_ += "&lt;";
            else if (c == '>') out_ += "&gt;";
            else if (c != '\0') out_ += c;  // a reference in text can only ever be text
        }
    }

    // At s_[i_] == '<'.
    void tagOpen() {
        const size_t at = i_;
        if (at + 1 >= s_.size()) {
            text("<");
            i_ = s_.size();
            return;
        }
        const char c = s_[at + 1];
        if (c == '!') return markupDeclaration();
        if (c == '?') return bogusComment(at + 1);
        if (c == '/') {
            if (at + 2 >= s_.size()) {
                text("</");
                i_ = s_.size();
                return;
            }
            const char d = s_[at + 2];
            if (d == '>') {
                i_ = at + 3;
                return;
            }
            if (!alpha(d)) return bogusComment(at + 2);
            i_ = at + 2;
            Tag t;
            t.end = true;
            if (readTag(t)) endTag(t);
            return;
        }
        if (!alpha(c)) {
            text("<");
            i_ = at + 1;
            return;
        }
        i_ = at + 1;
        Tag t;
        if (readTag(t)) startTag(t);
    }

    void bogusComment(size_t from) {
        const size_t gt = s_.find('>', from);
        i_ = gt == std::string_view::npos ? s_.size() : gt + 1;
    }

    // After "<!".
    void markupDeclaration() {
        const size_t at = i_ + 2;
        if (s_.substr(at, 2) == "--") {
            const size_t b = at + 2;
            if (s_.substr(b, 1) == ">") {
                i_ = b + 1;
            } else if (s_.substr(b, 2) == "->") {
                i_ = b + 2;
            } else {
                const size_t e1 = s_.find("-->", b);
                const size_t e2 = s_.find("--!>", b);
                if (e1 == std::string_view::npos && e2 == std::string_view::npos) i_ = s_.size();
                else if (e2 == std::string_view::npos || (e1 != std::string_view::npos && e1 < e2)) i_ = e1 + 3;
                else i_ = e2 + 4;
            }
            return;
        }
        if (ciStarts(s_, at, "doctype")) {
            if (!skipping()) doctype_ = true;
            return bogusComment(at);
        }
        if (foreign_ && skipping() && s_.substr(at, 7) == "[CDATA[") {
            const size_t e = s_.find("]]>", at + 7);
            i_ = e == std::string_view::npos ? s_.size() : e + 3;
            return;
        }
        bogusComment(at);
    }

    // The tag from its name (at i_) to its ">". False at the end of the
    // input inside the tag, which a browser drops.
    bool readTag(Tag& t) {
        auto eof = [&] { return i_ >= s_.size(); };
        while (!eof() && !tokspace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>') {
            const char c = s_[i_++];
            if (c == '\0') t.name += kReplacement;
            else t.name += lowerc(c);
        }
        // Attributes.
        for (;;) {
            while (!eof() && tokspace(s_[i_])) ++i_;
            if (eof()) return false;
            if (s_[i_] == '>') {
                ++i_;
                return true;
            }
            if (s_[i_] == '/') {
                ++i_;
                if (eof()) return false;
                if (s_[i_] == '>') {
                    t.selfClosing = true;
                    ++i_;
                    return true;
                }
                continue;
            }
            Attr a;
            // The first character may be "=".
            bool first = true;
            while (!eof() && !tokspace(s_[i_]) && s_[i_] != '/' && s_[i_] != '>' && (first || s_[i_] != '=')) {
                const char c = s_[i_++];
                if (c == '\0') a.name += kReplacement;
                else a.name += lowerc(c);
                first = false;
            }
            while (!eof() && tokspace(s_[i_])) ++i_;
            if (eof()) return false;
            if (s_[i_] == '=') {
                ++i_;
                while (!eof() && tokspace(s_[i_])) ++i_;
                if (eof()) return false;
                const char q = s_[i_];
                if (q == '"' || q == '\'') {
                    ++i_;
                    for (;;) {
                        if (eof()) return false;
                        const char c = s_[i_];
                        if (c == q) {
                            ++i_;
                            break;
                        }
                        if (c == '&') i_ = attrReference(s_, i_, a.value);
                        else {
                            if (c == '\0') a.value += kReplacement;
                            else a.value += c;
                            ++i_;
                        }
                    }
                    // Directly after the quote only blank, "/" or ">" is
                    // expected; anything else starts the next attribute.
                } else if (q != '>') {
                    while (!eof() && !tokspace(s_[i_]) && s_[i_] != '>') {
                        const char c = s_[i_];
                        if (c == '&') i_ = attrReference(s_, i_, a.value);
                        else {
                            if (c == '\0') a.value += kReplacement;
                            else a.value += c;
                            ++i_;
                        }
                    }
                }
            }
            // A repeated name keeps the first value.
            if (!t.get(a.name)) t.attrs.push_back(std::move(a));
        }
    }

    // Text of a raw-text or RCDATA element up to its end tag; i_ is left
    // after that end tag (or at the end of the input).
    std::string_view rawUntilEnd(std::string_view name) {
        const size_t from = i_;
        size_t k = from;
        for (;;) {
            const size_t lt = s_.find("</", k);
            if (lt == std::string_view::npos) {
                i_ = s_.size();
                return s_.substr(from);
            }
            if (appropriateEnd(lt, name)) {
                i_ = lt + 2;
                Tag t;
                t.end = true;
                if (!readTag(t)) i_ = s_.size();
                return s_.substr(from, lt - from);
            }
            k = lt + 2;
        }
    }

    bool appropriateEnd(size_t lt, std::string_view name) const {
        if (!ciStarts(s_, lt + 2, name)) return false;
        const size_t after = lt + 2 + name.size();
        return after < s_.size() && (tokspace(s_[after]) || s_[after] == '/' || s_[after] == '>');
    }

    // A script's content as the browser's script-data states read it,
    // comment-like escapes included.
    void skipScript() {
        enum { Plain, Escaped, DoubleEscaped } st = Plain;
        size_t k = i_;
        while (k < s_.size()) {
            if (st != DoubleEscaped && s_[k] == '<' && appropriateEnd(k, "script")) {
                i_ = k + 2;
                Tag t;
                t.end = true;
                if (!readTag(t)) i_ = s_.size();
                return;
            }
            if (st == Plain && s_.substr(k, 4) == "<!--") {
                st = Escaped;
                k += 4;
                continue;
            }
            if (st != Plain && s_.substr(k, 3) == "-->") {
                st = Plain;
                k += 3;
                continue;
            }
            if (st == Escaped && s_[k] == '<' && ciStarts(s_, k + 1, "script") && k + 7 < s_.size() &&
                (tokspace(s_[k + 7]) || s_[k + 7] == '/' || s_[k + 7] == '>')) {
                st = DoubleEscaped;
                k += 7;
                continue;
            }
            if (st == DoubleEscaped && s_[k] == '<' && appropriateEnd(k, "script")) {
                st = Escaped;
                k += 8;
                continue;
            }
            ++k;
        }
        i_ = s_.size();
    }

    void startTag(const Tag& t) {
        const std::string& n = t.name;
        if (skipping()) {
            if (foreign_) {
                const bool fontBreak =
                    n == "font" && (t.get("color") || t.get("face") || t.get("size"));
                if (breaksForeign(n) || fontBreak) {
                    skipDepth_ = 0;
                    foreign_ = false;
                    startTag(t);
                    return;
                }
                if ((n == "svg" || n == "math") && !t.selfClosing) ++skipDepth_;
                return;  // no raw text in foreign content
            }
            if (n == skipName_) ++skipDepth_;
            skipContentOf(n);
            return;
        }
        if (droppedWhole(n)) {
            if ((n == "svg" || n == "math") && t.selfClosing) return;
            if (n == "script") return skipScript();
            if (inList(n, {"iframe", "noframes", "noscript", "noembed"})) {
                rawUntilEnd(n);
                return;
            }
            if (n == "embed") return;  // void
            skipName_ = n;
            skipDepth_ = 1;
            foreign_ = n == "svg" || n == "math";
            return;
        }
        if (n == "plaintext") {
            out_ += "<pre>";
            text(s_.substr(i_));
            out_ += "</pre>";
            i_ = s_.size();
            return;
        }
        if (n == "xmp" || n == "textarea") {
            // Shown as its text.
            const std::string_view body = rawUntilEnd(n);
            out_ += "<pre>";
            text(body);
            out_ += "</pre>";
            return;
        }
        if (n == "title") {
            const std::string_view body = rawUntilEnd(n);
            out_ += "<title>";
            text(body);
            out_ += "</title>";
            return;
        }
        if (n == "style") {
            const std::string_view body = rawUntilEnd(n);
            // No "<" inside, so nothing can end the element early; written
            // as an escape before the check, so that the check sees it too.
            std::string css;
            for (char c : body) {
                if (c == '<') css += "\\3c ";
                else css += c;
            }
            out_ += "<style>";
            out_ += SafeCss(css);
            out_ += "</style>";
            return;
        }
        if (!keptElement(n)) return;
        out_ += '<';
        out_ += n;
        const std::string* id = t.get("id");
        const bool ownBlock = id && id->starts_with("kwem");
        bool link = false;
        for (const Attr& a : t.attrs) {
            if (!keptAttribute(n, a.name)) continue;
            std::string v = a.value;
            if (a.name == "href" && !followableUrl(v)) continue;
            link = link || a.name == "href";
            if ((a.name == "src" || a.name == "background") && !LocalUrl(v, true)) continue;
            if (a.name == "style") {
                v = SafeCss(v);
                // Nothing can open the page's own hidden blocks there.
                if (ownBlock) v = helpers::replaceall(v, "display:none;", "", false);
            }
            out_ += ' ';
            out_ += a.name;
            out_ += "=\"";
            for (char c : v) {
                if (c == '&') out_ += "&amp;";
                else if (c == '"') out_ += "&quot;";
                else if (c == '<') out_ += "&lt;";
                else if (c == '>') out_ += "&gt;";
                else out_ += c;
            }
            out_ += '"';
        }
        if (link) out_ += " rel=\"noopener noreferrer\"";
        out_ += '>';
    }

    // Raw text inside a dropped (non-foreign) element: consumed so that its
    // "<" does not start tags.
    void skipContentOf(std::string_view n) {
        if (n == "script") skipScript();
        else if (inList(n, {"style", "xmp", "iframe", "noframes", "noscript", "noembed", "textarea", "title"}))
            rawUntilEnd(n);
        else if (n == "plaintext") i_ = s_.size();
    }

    void endTag(const Tag& t) {
        const std::string& n = t.name;
        if (skipping()) {
            if (foreign_) {
                if (n == "br" || n == "p") {
                    skipDepth_ = 0;
                    foreign_ = false;
                    endTag(t);
                } else if (n == "svg" || n == "math") {
                    --skipDepth_;
                    if (skipDepth_ == 0) foreign_ = false;
                }
                return;
            }
            if (n == skipName_) --skipDepth_;
            return;
        }
        // Raw-text elements are closed where they are written.
        if (!keptElement(n) || n == "style" || n == "title") return;
        out_ += "</";
        out_ += n;
        out_ += '>';
    }

public:
    bool sawDoctype() const { return doctype_; }
};

// ------------------------------------------------------------ CSS

bool cssNameChar(char c) { return alnum(c) || c == '-' || c == '_' || static_cast<unsigned char>(c) >= 0x80; }

// Length of an escape "\" + character at s[i]: the whole character, so that
// an escaped non-ASCII character is never split.
size_t escapeLength(std::string_view s, size_t i) {
    size_t k = i + 2;
    while (k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) ++k;
    return k - i;
}

// Escapes of name characters written out, so that "\75 rl(" reads as the
// "url(" the browser sees; comments dropped, as they may split a name.
std::string cssPlain(std::string_view css) {
    std::string out;
    char quote = 0;
    size_t i = 0;
    while (i < css.size()) {
        const char c = css[i];
        if (!quote && c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const size_t e = css.find("*/", i + 2);
            i = e == std::string_view::npos ? css.size() : e + 2;
            continue;
        }
        if (c == '\\' && i + 1 < css.size()) {
            const size_t start = i;
            size_t k = i + 1;
            if (hexdigit(css[k])) {
                uint32_t v = 0;
                size_t n = 0;
                while (k < css.size() && n < 6 && hexdigit(css[k])) {
                    const char h = lowerc(css[k]);
                    v = v * 16 + static_cast<uint32_t>(digit(h) ? h - '0' : h - 'a' + 10);
                    ++k;
                    ++n;
                }
                if (k + 1 < css.size() && css[k] == '\r' && css[k + 1] == '\n') k += 2;
                else if (k < css.size() && tokspace(css[k])) ++k;
                if (v < 0x80 && cssNameChar(static_cast<char>(v)) && v != 0) out += static_cast<char>(v);
                else out.append(css.substr(start, k - start));
                i = k;
                continue;
            }
            if (css[k] == '\n' || css[k] == '\r' || css[k] == '\f') {
                out.append(css.substr(i, 2));
                i += 2;
                continue;
            }
            const size_t len = escapeLength(css, i);
            if (cssNameChar(css[k]) && static_cast<unsigned char>(css[k]) < 0x80) out += css[k];
            else out.append(css.substr(i, len));
            i += len;
            continue;
        }
        if (quote) {
            if (c == quote || c == '\n' || c == '\r' || c == '\f') quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        }
        out += c;
        ++i;
    }
    return out;
}

// Functions that compute a value from what is written; anything else
// (url, image-set, image, cross-fade, element, expression, paint and
// whatever comes next) may fetch or run.
bool plainFunction(std::string_view f) {
    static const std::initializer_list<std::string_view> kPlain = {
        "rgb", "rgba", "hsl", "hsla", "hwb", "lab", "lch", "oklab", "oklch", "color", "color-mix", "calc", "min",
        "max", "clamp", "var", "linear-gradient", "radial-gradient", "conic-gradient", "repeating-linear-gradient",
        "repeating-radial-gradient", "repeating-conic-gradient", "-webkit-linear-gradient",
        "-webkit-radial-gradient", "-moz-linear-gradient", "-moz-radial-gradient", "translate", "translatex",
        "translatey", "translatez", "translate3d", "rotate", "rotatex", "rotatey", "rotatez", "rotate3d", "scale",
        "scalex", "scaley", "scalez", "scale3d", "skew", "skewx", "skewy", "matrix", "matrix3d", "perspective",
        "rect", "inset", "circle", "ellipse", "polygon", "counter", "counters", "format", "local",
        "cubic-bezier", "steps", "blur", "brightness", "contrast", "drop-shadow", "grayscale", "hue-rotate",
        "invert", "opacity", "saturate", "sepia", "minmax", "repeat", "fit-content", "not", "is", "where",
        "nth-child", "nth-of-type", "nth-last-child", "nth-last-of-type", "lang", "dir", "has"};
    return inList(f, kPlain);
}

// The argument of url( or src( from i (after the "("): the URL and the
// index after the closing ")". False when it is not one plain URL.
bool urlArgument(std::string_view s, size_t i, std::string& url, size_t& end) {
    while (i < s.size() && tokspace(s[i])) ++i;
    if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
        const char q = s[i];
        const size_t close = s.find(q, i + 1);
        if (close == std::string_view::npos) return false;
        url = std::string(s.substr(i + 1, close - i - 1));
        i = close + 1;
        while (i < s.size() && tokspace(s[i])) ++i;
        if (i >= s.size() || s[i] != ')') return false;
        end = i + 1;
    } else {
        const size_t close = s.find(')', i);
        if (close == std::string_view::npos) return false;
        size_t e = close;
        while (e > i && tokspace(s[e - 1])) --e;
        url = std::string(s.substr(i, e - i));
        for (char c : url)
            if (tokspace(c) || c == '"' || c == '\'' || c == '(') return false;
        end = close + 1;
    }
    // Escapes left over are not name characters: refused rather than read.
    return url.find('\\') == std::string::npos && url.find('\n') == std::string::npos;
}

}  // namespace

bool LocalUrl(std::string_view url, bool inlinePicture) {
    const std::string u = urlCore(url);
    if (u.empty()) return true;
    if (u.find('\\') != std::string::npos) return false;
    const std::string scheme = urlScheme(u);
    if (scheme.empty()) return !u.starts_with("//");
    if (scheme == "file") {
        const std::string rest = lower(u.substr(5));
        return rest.starts_with("///") || rest.starts_with("//localhost/") ||
               (rest.starts_with("/") && !rest.starts_with("//"));
    }
    if (scheme == "data" && inlinePicture) {
        const std::string l = lower(u);
        for (std::string_view t : {"data:image/png", "data:image/gif", "data:image/jpeg", "data:image/jpg",
                                   "data:image/webp", "data:image/bmp"})
            if (l.starts_with(t) && l.size() > t.size() && (l[t.size()] == ';' || l[t.size()] == ','))
                return true;
    }
    return false;
}

std::string SafeCss(std::string_view css) {
    const std::string s = cssPlain(css);
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    char quote = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (quote) {
            if (c == '\\' && i + 1 < s.size()) {
                const size_t len = escapeLength(s, i);
                out.append(s, i, len);
                i += len;
                continue;
            }
            // A string is no address, but one that reads like a remote one
            // is not passed on either.
            if ((c == 'u' || c == 'U') && lower(s.substr(i, 4)) == "url(") {
                size_t e = i + 4;
                while (e < s.size() && s[e] != ')' && s[e] != quote && s[e] != '\n') ++e;
                std::string arg = s.substr(i + 4, e - i - 4);
                const size_t b = arg.find_first_not_of(" \t'\"");
                arg = b == std::string::npos ? std::string() : arg.substr(b);
                if (!LocalUrl(arg, true)) {
                    out += "none";
                    i = e;
                    continue;
                }
            }
            if (c == quote || c == '\n' || c == '\r' || c == '\f') quote = 0;
            out += c;
            ++i;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            out += c;
            ++i;
            continue;
        }
        if (c == '\\' && i + 1 < s.size()) {
            const size_t len = escapeLength(s, i);
            out.append(s, i, len);
            i += len;
            continue;
        }
        if (c == '@') {
            size_t k = i + 1;
            while (k < s.size() && cssNameChar(s[k])) ++k;
            const std::string kw = lower(s.substr(i + 1, k - i - 1));
            if (kw == "import") {
                // Up to its ";" outside strings, or the end.
                char q = 0;
                while (k < s.size() && (q || s[k] != ';')) {
                    if (q && s[k] == '\\') ++k;
                    else if (q && s[k] == q) q = 0;
                    else if (!q && (s[k] == '"' || s[k] == '\'')) q = s[k];
                    ++k;
                }
                i = k < s.size() ? k + 1 : s.size();
                continue;
            }
            out.append(s, i, k - i);
            i = k;
            continue;
        }
        if (cssNameChar(c)) {
            size_t k = i;
            while (k < s.size() && (cssNameChar(s[k]) || (s[k] == '\\' && k + 1 < s.size())))
                k += s[k] == '\\' ? escapeLength(s, k) : 1;
            const std::string name = lower(s.substr(i, k - i));
            if (k < s.size() && s[k] == '(') {
                if (name == "url" || name == "src") {
                    std::string url;
                    size_t end = 0;
                    if (urlArgument(s, k + 1, url, end) && LocalUrl(url, true) && !urlCore(url).empty()) {
                        out.append(s, i, end - i);
                    } else {
                        out += "none";
                        // An unterminated argument takes the rest.
                        const size_t close = s.find(')', k + 1);
                        end = end ? end : (close == std::string::npos ? s.size() : close + 1);
                    }
                    i = end;
                    continue;
                }
                if (!plainFunction(name) && !name.starts_with("x-")) out += "x-";
                out.append(s, i, k - i);
                i = k;
                continue;
            }
            if (name == "behavior" || name == "-moz-binding" || name == "binding") out += "x-";
            out.append(s, i, k - i);
            i = k;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

std::string SafeBrowserPage(std::string_view page) {
    std::string text;
    if (page.starts_with("\xEF\xBB\xBF")) page.remove_prefix(3);
    if (!helpers::isutf8(page)) {
        text = helpers::validutf8(page);
        page = text;
    }
    Copier copier(page);
    const std::string body = copier.Run();
    std::string out;
    if (copier.sawDoctype()) out += "<!DOCTYPE html>";
    out +=
        "<meta charset=\"utf-8\">\r\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src file: data:; "
        "style-src 'unsafe-inline' file:; font-src file: data:; media-src 'none'; script-src 'none'; "
        "object-src 'none'; frame-src 'none'; form-action 'none'; base-uri 'none'\">\r\n"
        "<meta http-equiv=\"x-dns-prefetch-control\" content=\"off\">\r\n";
    out += body;
    return out;
}

}  // namespace mailbox
