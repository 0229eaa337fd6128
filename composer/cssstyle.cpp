// The style designer's rule: building the style text and reading it back.
#include "composer/cssstyle.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

#include "mailbox/msgrender.h"
#include "platform/rtl/sysutils.h"

namespace composer {

const char* const kLocalWebServer = "http://127.0.0.1";

namespace {

using K = TStyleKind;

const std::vector<const char*> kBorderTypes = {"none",  "dotted", "dashed", "solid", "double",
                                               "groove", "ridge",  "inset",  "outset"};
const std::vector<const char*> kRepeats = {"no-repeat", "repeat", "repeat-x", "repeat-y"};

// The border groups: shorthand property and its type, colour and width controls.
struct TBorderGroup {
    const char* Property;
    const char* Type;
    const char* Colour;
    const char* Width;
};
constexpr TBorderGroup kBorders[] = {
    {"border", "bordtype", "bordcolour", "bordwid"},
    {"border-left", "bordlefttype", "bordleftcolour", "bordleftwid"},
    {"border-right", "bordrighttype", "bordrightcolour", "bordrightwid"},
    {"border-top", "bordtoptype", "bordtopcolour", "bordtopwid"},
    {"border-bottom", "bordbottype", "bordbotcolour", "bordbotwid"},
};

// Margin and padding: shorthand, the four side fields (left, right, top,
// bottom) and the gang box.
struct TBoxGroup {
    const char* Property;
    const char* Sides[4];
    bool TStyleRule::*Gang;
};
const TBoxGroup kBoxes[] = {
    {"margin", {"lfmarg", "rgmarg", "tpmarg", "btmarg"}, &TStyleRule::MarginGang},
    {"padding", {"lfpding", "rgpding", "tppding", "btpding"}, &TStyleRule::PaddingGang},
};
constexpr const char* kSideNames[4] = {"-left", "-right", "-top", "-bottom"};

constexpr const char* kFontProperties[] = {"font-family", "font-size", "font-weight", "font-style",
                                           "text-decoration"};

std::string lower(std::string_view s) { return rtl::LowerCase(s); }

bool isLengthStart(std::string_view s) {
    return !s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.' ||
                          (s[0] == '-' && s.size() > 1 && (std::isdigit(static_cast<unsigned char>(s[1])) || s[1] == '.')));
}

bool isBareNumber(std::string_view s) {
    return !s.empty() && s.find_first_not_of("-0123456789") == std::string_view::npos;
}

// "#RRGGBB" for a colour written as "#RRGGBB", "#RGB" or a colour name;
// nothing for what is no colour we can hold.
std::optional<std::string> readColour(std::string_view text) {
    const std::string t = rtl::Trim(text);
    auto hex = [](std::string_view s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    };
    if (t.size() == 7 && t[0] == '#' && hex(t.substr(1))) return rtl::UpperCase(t);
    if (t.size() == 4 && t[0] == '#' && hex(t.substr(1)))
        return rtl::UpperCase(std::string{'#', t[1], t[1], t[2], t[2], t[3], t[3]});
    if (t.empty() || !std::all_of(t.begin(), t.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const std::string rgb = helpers::colorbyname(t);
    if (rgb.size() != 6 || !hex(rgb) || rgb == lower(t)) return std::nullopt;
    return "#" + helpers::colorhex(helpers::colorvalue(t));
}

// The entry of a list that Value names, letter case ignored.
std::optional<std::string> readEntry(const TStyleControl& c, std::string_view value) {
    for (const char* e : c.Entries)
        if (rtl::SameText(e, value)) return std::string(e);
    return std::nullopt;
}

// Splits at Separator where it stands outside quotes and brackets, so a
// data: link or a quoted name stays whole. Separator ' ' splits at any run
// of blanks.
std::vector<std::string> splitOutside(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::string cur;
    char quote = 0;
    int depth = 0;
    auto flush = [&] {
        if (separator != ' ' || !cur.empty()) parts.push_back(cur);
        cur.clear();
    };
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0 && (separator == ' ' ? std::isspace(static_cast<unsigned char>(c)) != 0 : c == separator)) {
            flush();
            continue;
        }
        cur += c;
    }
    flush();
    return parts;
}

std::string unquote(std::string_view s) {
    std::string t = rtl::Trim(s);
    if (t.size() >= 2 && (t[0] == '\'' || t[0] == '"') && t.back() == t[0]) t = t.substr(1, t.size() - 2);
    return t;
}

// The link written into url('...') for what backgfile holds.
std::string backgroundUrl(const std::string& file) {
    static const std::string site = "/vrqs/htdocs/";
    const size_t at = lower(file).find(site);
    if (at != std::string::npos) return file.substr(at + site.size() - 1);
    // Links stay, and so does a site-relative link read from a style (a "/"
    // path that names nothing here).
    if (helpers::isurl(file) || file.empty() || file[0] != '/') return file;
    return mailbox::FileUrl(file);
}

std::string backgroundFile(const std::string& url) {
    if (rtl::SameText(url.substr(0, 7), "file://")) return helpers::urldecode(url.substr(7), false);
    return url;
}

std::string positionValue(const std::string& v) { return isBareNumber(v) ? v + "px" : v; }

// The declarations being read, with the control values found so far.
class TReader {
public:
    TReader(TStyleRule& rule) : r_(rule) {}

    // Index of the first declaration called Name, or -1.
    int find(std::string_view name) const {
        for (size_t i = 0; i < r_.Others.size(); ++i)
            if (rtl::SameText(r_.Others[i].first, name)) return static_cast<int>(i);
        return -1;
    }
    const std::string& value(int i) const { return r_.Others[static_cast<size_t>(i)].second; }
    // Drops the declarations a control took.
    void take(std::vector<int> used) {
        std::sort(used.rbegin(), used.rend());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        for (int i : used) r_.Others.erase(r_.Others.begin() + i);
    }

    void simple() {
        for (const TStyleControl& c : StyleControls()) {
            if (!*c.Property) continue;
            const int i = find(c.Property);
            if (i < 0) continue;
            std::optional<std::string> v;
            switch (c.Kind) {
                case K::Length:
                case K::Text:
                    if (!value(i).empty()) v = value(i);
                    break;
                case K::Pick: v = readEntry(c, value(i)); break;
                case K::Colour: v = readColour(value(i)); break;
            }
            if (!v) continue;
            r_.Values[c.Name] = *v;
            take({i});
        }
    }

    // The font panel shows the font; its declarations stay where they are
    // until the font dialog is used.
    void font() {
        if (int i = find("font-family"); i >= 0) {
            r_.FontFamilyList = value(i);
            r_.Font.Name = unquote(splitOutside(value(i), ',').front());
        }
        if (int i = find("font-size"); i >= 0) {
            int size = 0;
            const std::string& v = value(i);
            if (std::from_chars(v.data(), v.data() + v.size(), size).ec == std::errc() && size > 0) r_.Font.Size = size;
        }
        auto style = [&](const char* property, const char* word, unsigned bit) {
            if (int i = find(property); i >= 0 && lower(value(i)).find(word) != std::string::npos) r_.Font.Style |= bit;
        };
        style("font-weight", "bold", helpers::fsBold);
        style("font-style", "italic", helpers::fsItalic);
        style("text-decoration", "underline", helpers::fsUnderline);
        style("text-decoration", "line-through", helpers::fsStrikeOut);
    }

    // A border group is taken whole or not at all: only a group with a
    // style is written back, so one without stays as it was written.
    void border(const TBorderGroup& g) {
        std::string type, colour, width;
        std::vector<int> used;
        // One word of the group: a style, a width or a colour, as allowed.
        auto part = [&](std::string_view p, bool typeOk, bool widthOk, bool colourOk) {
            for (const char* t : kBorderTypes) {
                if (typeOk && rtl::SameText(t, p)) {
                    type = t;
                    return true;
                }
            }
            if (widthOk && isLengthStart(p)) {
                width = p;
                return true;
            }
            const std::optional<std::string> c = colourOk ? readColour(p) : std::nullopt;
            if (c) colour = *c;
            return c.has_value();
        };
        const std::string base = g.Property;
        if (int i = find(base); i >= 0) {
            used.push_back(i);
            for (const std::string& p : splitOutside(value(i), ' '))
                if (!part(p, true, true, true)) return;
        }
        const struct {
            const char* suffix;
            bool t, w, c;
        } longhands[] = {{"-style", true, false, false}, {"-width", false, true, false}, {"-color", false, false, true}};
        for (const auto& l : longhands) {
            const int i = find(base + l.suffix);
            if (i < 0) continue;
            used.push_back(i);
            if (!part(rtl::Trim(value(i)), l.t, l.w, l.c)) return;
        }
        if (type.empty() || type == "none") return;
        r_.Values[g.Type] = type;
        if (!colour.empty()) r_.Values[g.Colour] = colour;
        if (!width.empty()) r_.Values[g.Width] = width;
        take(used);
    }

    void box(const TBoxGroup& g) {
        const std::string base = g.Property;
        if (int i = find(base); i >= 0) {
            const std::vector<std::string> p = splitOutside(value(i), ' ');
            if (!p.empty() && p.size() <= 4) {
                // CSS order: top, right, bottom, left.
                for (const char* side : g.Sides) r_.Values[side] = p[0];
                r_.*g.Gang = true;
                if (p.size() >= 2) {
                    r_.*g.Gang = false;
                    r_.Values[g.Sides[0]] = r_.Values[g.Sides[1]] = p[1];
                }
                if (p.size() >= 3) r_.Values[g.Sides[3]] = p[2];
                if (p.size() == 4) r_.Values[g.Sides[0]] = p[3];
                take({i});
            }
        }
        for (int s = 0; s < 4; ++s) {
            const int i = find(base + kSideNames[s]);
            if (i < 0 || value(i).empty()) continue;
            r_.Values[g.Sides[s]] = value(i);
            r_.*g.Gang = false;
            take({i});
        }
    }

    void background() {
        const int i = find("background");
        if (i < 0) return;
        std::string file, repeat, across, down;
        for (const std::string& p : splitOutside(value(i), ' ')) {
            const std::string l = lower(p);
            if (l.rfind("url(", 0) == 0 && l.back() == ')') {
                file = backgroundFile(unquote(std::string_view(p).substr(4, p.size() - 5)));
            } else if (std::find_if(kRepeats.begin(), kRepeats.end(), [&](const char* e) { return l == e; }) !=
                       kRepeats.end()) {
                repeat = l;
            } else if (l == "left" || l == "right") {
                across = l;
            } else if (l == "top" || l == "bottom") {
                down = l;
            } else if (l == "center" || isLengthStart(l)) {
                (across.empty() ? across : down) = p;
            } else {
                return;  // a colour or the like: no control holds it
            }
        }
        if (file.empty() && repeat.empty()) return;
        if (!file.empty()) r_.Values["backgfile"] = file;
        if (!repeat.empty()) r_.Values["bgrep"] = repeat;
        if (!across.empty()) r_.Values["lbgatts"] = across;
        if (!down.empty()) r_.Values["rbgatts"] = down;
        take({i});
    }

    void opacity() {
        std::vector<int> used;
        if (int i = find("opacity"); i >= 0) {
            const std::string& v = value(i);
            double x = -1;
            const auto res = std::from_chars(v.data(), v.data() + v.size(), x);
            if (res.ec == std::errc() && res.ptr == v.data() + v.size() && x >= 0 && x <= 1) {
                r_.Values["opacity"] = std::to_string(std::lround(x * 100));
                used.push_back(i);
            }
        }
        // The old engines' twin of opacity, which the build writes beside it.
        if (int i = find("filter"); i >= 0) {
            const std::string v = lower(rtl::Trim(value(i)));
            const std::string head = "alpha(opacity=";
            int n = -1;
            if (v.rfind(head, 0) == 0 && v.back() == ')') {
                const char* b = v.data() + head.size();
                const char* e = v.data() + v.size() - 1;
                const auto res = std::from_chars(b, e, n);
                if (res.ec != std::errc() || res.ptr != e) n = -1;
            }
            if (n >= 0 && n <= 100) {
                if (!r_.Holds("opacity")) r_.Values["opacity"] = std::to_string(n);
                used.push_back(i);
            }
        }
        take(used);
    }

private:
    TStyleRule& r_;
};

void appendDeclaration(std::string& out, const TStyleRule& r, const char* control) {
    const TStyleControl* c = FindStyleControl(control);
    if (!c || !r.Holds(control)) return;
    const std::string& v = r.Values.at(control);
    out += std::string(" ") + c->Property + ":" + (c->Kind == K::Length ? LengthValue(v) : v + ";");
}

bool propertyName(std::string_view n) {
    return !n.empty() && std::all_of(n.begin(), n.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
    });
}

// Where the class selector's braces are: the body's start and end, or none.
bool splitSelector(std::string_view t, std::string& name, std::string& body) {
    if (t.empty() || t[0] != '.') return false;
    const size_t open = t.find('{');
    if (open == std::string_view::npos || t.back() != '}') return false;
    name = rtl::Trim(t.substr(1, open - 1));
    body = std::string(t.substr(open + 1, t.size() - open - 2));
    return true;
}

}  // namespace

const std::vector<TStyleControl>& StyleControls() {
    static const std::vector<TStyleControl> controls = [] {
        std::vector<TStyleControl> c = {
            {"colour", "color", K::Colour, {}},
            {"width", "width", K::Length, {}},
            {"height", "height", K::Length, {}},
            {"minwid", "min-width", K::Length, {}},
            {"minhei", "min-height", K::Length, {}},
            {"maxwid", "max-width", K::Length, {}},
            {"maxhei", "max-height", K::Length, {}},
            {"bgcolour", "background-color", K::Colour, {}},
            {"whtspc", "white-space", K::Pick, {"normal", "nowrap", "pre", "pre-line", "pre-wrap"}},
            {"lettspc", "letter-spacing", K::Length, {}},
            {"lhei", "line-height", K::Length, {}},
        };
        for (const TBorderGroup& g : kBorders) {
            c.push_back({g.Type, "", K::Pick, kBorderTypes});
            c.push_back({g.Colour, "", K::Colour, {}});
            c.push_back({g.Width, "", K::Length, {}});
        }
        const std::vector<TStyleControl> rest = {
            {"bordrad", "border-radius", K::Length, {}},
            {"bordleftrad", "border-top-left-radius", K::Length, {}},
            {"bordrightrad", "border-top-right-radius", K::Length, {}},
            {"bordtoprad", "border-bottom-left-radius", K::Length, {}},
            {"bordbotrad", "border-bottom-right-radius", K::Length, {}},
            {"bordcoll", "border-collapse", K::Pick, {"separate", "collapse"}},
            {"bordspc", "border-spacing", K::Length, {}},
            {"horza", "text-align", K::Pick, {"", "left", "right", "center", "justify"}},
            {"verta", "vertical-align", K::Text, {"baseline", "sub", "super", "top", "middle", "bottom"}},
        };
        c.insert(c.end(), rest.begin(), rest.end());
        for (const TBoxGroup& g : kBoxes)
            for (const char* s : g.Sides) c.push_back({s, "", K::Length, {}});
        const std::vector<TStyleControl> last = {
            {"backgfile", "", K::Text, {}},
            {"bgrep", "", K::Pick, kRepeats},
            {"lbgatts", "", K::Text, {"left", "center", "right"}},
            {"rbgatts", "", K::Text, {"top", "center", "bottom"}},
            {"imgsz", "background-size", K::Length, {"cover", "contain"}},
            {"opacity", "", K::Text, {}},
            {"psit", "position", K::Pick, {"static", "absolute", "fixed", "relative"}},
            {"lfpos", "left", K::Length, {}},
            {"rgpos", "right", K::Length, {}},
            {"tppos", "top", K::Length, {}},
            {"btpos", "bottom", K::Length, {}},
            {"flot", "float", K::Pick, {"none", "left", "right"}},
            {"ovflow", "overflow", K::Pick, {"auto", "visible", "hidden", "scroll"}},
            {"crsor", "cursor", K::Pick, {"auto", "crosshair", "default", "e-resize", "help", "move", "n-resize",
                                          "ne-resize", "nw-resize", "pointer", "progress", "s-resize", "se-resize",
                                          "sw-resize", "text", "w-resize", "wait"}},
        };
        c.insert(c.end(), last.begin(), last.end());
        return c;
    }();
    return controls;
}

const TStyleControl* FindStyleControl(std::string_view Name) {
    for (const TStyleControl& c : StyleControls())
        if (Name == c.Name) return &c;
    return nullptr;
}

std::string TStyleRule::Value(const std::string& Control) const {
    const auto it = Values.find(Control);
    return it == Values.end() ? std::string() : it->second;
}

void TStyleRule::Clear() {
    Values.clear();
    FontChosen = false;
    Font = helpers::TFontSpec();
    FontFamilyList.clear();
    Others.clear();
    ClassName.clear();
}

std::string LengthValue(std::string_view Value) {
    std::string v(Value);
    if (isBareNumber(v)) v += "px";
    return v + ";";
}

std::string OpacityFraction(int Percent) { return helpers::fltstr(Percent / 100.0L); }

std::string BuildStyleText(TStyleRule& r) {
    std::string out;
    auto add = [&](std::initializer_list<const char*> controls) {
        for (const char* c : controls) appendDeclaration(out, r, c);
    };
    // 1. The font, with the fallback fonts of the parsed family kept.
    if (r.FontChosen) {
        std::string css = helpers::fonttocss(r.Font, false);
        const std::vector<std::string> family = splitOutside(r.FontFamilyList, ',');
        if (!r.FontFamilyList.empty() && rtl::SameText(unquote(family.front()), r.Font.Name))
            css = rtl::StringReplace(css, "font-family:" + r.Font.Name + ";", "font-family:" + r.FontFamilyList + ";", 0);
        out += css;
        auto& o = r.Others;
        o.erase(std::remove_if(o.begin(), o.end(),
                               [](const auto& d) {
                                   return std::any_of(std::begin(kFontProperties), std::end(kFontProperties),
                                                      [&](const char* p) { return rtl::SameText(d.first, p); });
                               }),
                o.end());
    }
    add({"colour", "width", "height", "minwid", "minhei", "maxwid", "maxhei", "bgcolour", "whtspc", "lettspc", "lhei"});
    for (const TBorderGroup& g : kBorders) {
        const std::string type = r.Value(g.Type);
        if (!r.Holds(g.Type) || type.empty() || type == "none") continue;
        out += std::string(" ") + g.Property + ":" + type;
        if (r.Holds(g.Colour)) out += " " + r.Value(g.Colour);
        out += r.Holds(g.Width) ? " " + LengthValue(r.Value(g.Width)) : ";";
    }
    add({"bordrad", "bordleftrad", "bordrightrad", "bordtoprad", "bordbotrad", "bordcoll", "bordspc", "horza", "verta"});
    for (const TBoxGroup& g : kBoxes) {
        if (r.*g.Gang) {
            if (r.Holds(g.Sides[0])) out += std::string(" ") + g.Property + ":" + LengthValue(r.Value(g.Sides[0]));
            continue;
        }
        for (int s = 0; s < 4; ++s)
            if (r.Holds(g.Sides[s]))
                out += std::string(" ") + g.Property + kSideNames[s] + ":" + LengthValue(r.Value(g.Sides[s]));
    }
    const std::string file = r.Value("backgfile");
    if (!file.empty() || r.Holds("bgrep")) {
        out += " background:";
        if (!file.empty()) out += " url('" + backgroundUrl(file) + "')";
        if (r.Holds("bgrep")) out += " " + r.Value("bgrep");
        if (r.Holds("lbgatts")) out += " " + positionValue(r.Value("lbgatts"));
        if (r.Holds("rbgatts")) out += " " + positionValue(r.Value("rbgatts"));
        out += ";";
    }
    add({"imgsz"});
    if (r.Holds("opacity")) {
        const std::string v = r.Value("opacity");
        int n = -1;
        const auto res = std::from_chars(v.data(), v.data() + v.size(), n);
        if (res.ec == std::errc() && res.ptr == v.data() + v.size() && n >= 0 && n <= 100)
            out += " opacity:" + OpacityFraction(n) + "; filter:alpha(opacity=" + std::to_string(n) + ");";
    }
    add({"psit", "lfpos", "rgpos", "tppos", "btpos", "flot", "ovflow", "crsor"});
    for (const auto& [name, value] : r.Others)
        if (!value.empty()) out += " " + name + ":" + value + ";";
    if (!r.ClassName.empty()) out = "." + r.ClassName + " {" + out + "}";
    return out;
}

bool ParseStyleText(std::string_view Text, TStyleRule& Rule) {
    const std::string t = rtl::Trim(Text);
    std::string name, body = t;
    if (splitSelector(t, name, body)) {
        if (!propertyName(name)) return false;
    } else if (!t.empty() && t[0] == '.') {
        return false;
    }
    if (body.find_first_of("{}") != std::string::npos) return false;
    TStyleRule r = Rule;
    r.ClassName = name;
    r.FontChosen = false;
    for (const std::string& piece : splitOutside(body, ';')) {
        const std::string d = rtl::Trim(piece);
        if (d.empty()) continue;
        const size_t colon = d.find(':');
        if (colon == std::string::npos) return false;
        const std::string property = rtl::Trim(d.substr(0, colon));
        if (!propertyName(property)) return false;
        r.Others.emplace_back(property, rtl::Trim(d.substr(colon + 1)));
    }
    TReader reader(r);
    reader.simple();
    reader.font();
    for (const TBorderGroup& g : kBorders) reader.border(g);
    for (const TBoxGroup& g : kBoxes) reader.box(g);
    reader.background();
    reader.opacity();
    Rule = std::move(r);
    return true;
}

std::string WithClassName(std::string_view Text, std::string_view Name) {
    const std::string t = rtl::Trim(Text), name = rtl::Trim(Name);
    std::string old, body(Text);
    splitSelector(t, old, body);
    return name.empty() ? body : "." + name + " {" + body + "}";
}

std::string StyleAttributeText(std::string_view Text) {
    return rtl::Trim(rtl::StringReplace(WithClassName(Text, ""), "\"", "'", rtl::rfReplaceAll));
}

std::string PreviewPage(std::string_view Style, std::string_view Sample) {
    std::string style =
        rtl::StringReplace(Style, "url('/", std::string("url('") + kLocalWebServer + "/", rtl::rfReplaceAll);
    const std::string css = WithClassName(style, "tmp");
    std::string sample;
    const std::string kind = rtl::UpperCase(Sample);
    if (kind == "DIV" || kind == "SPAN") {
        sample = "<" + kind + " CLASS=\"tmp\">The quick brown fox jumps over the lazy dog.</" + kind + ">";
    } else {
        const std::string table = kind == "TABLE" ? " CLASS=\"tmp\"" : "", row = kind == "TR" ? " CLASS=\"tmp\"" : "",
                          cell = kind == "TD" ? " CLASS=\"tmp\"" : "";
        sample = "<TABLE" + table + ">";
        for (int r = 0; r < 3; ++r) {
            sample += "\r\n<TR" + row + ">";
            for (int c = 1; c <= 3; ++c) sample += "<TD" + cell + ">Cell " + std::to_string(r * 3 + c) + "</TD>";
            sample += "</TR>";
        }
        sample += "\r\n</TABLE>";
    }
    // The program's texts are UTF-8, so the page says so.
    return "<!DOCTYPE html>\r\n<HTML>\r\n<HEAD>\r\n"
           "<META HTTP-EQUIV=\"X-UA-Compatible\" CONTENT=\"IE=EmulateIE11\">\r\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
           "<META NAME=\"viewport\" CONTENT=\"initial-scale=0.9, width=device-width\">\r\n"
           "<STYLE TYPE=\"text/css\">\r\n" +
           css + "\r\n</STYLE>\r\n</HEAD>\r\n<BODY>\r\n" + sample + "\r\n</BODY></HTML>";
}

}  // namespace composer
