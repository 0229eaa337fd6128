// Syntax colouring of the HTML body editor's visible lines.
#include "helpers/htmlcolour.h"

#include <algorithm>
#include <optional>

#include "helpers/edhistory.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

int32_t hlfirst = -1, hllast = -1, hlcaret = -1;
std::string hlvisible;
hlpairstate hlpair;

namespace {

struct TPass {
    const char* pattern;
    ui::TColor colour;
    int32_t skip;
};

// Later passes paint over earlier ones.
const TPass kPasses[] = {
    {"kwre:</?[A-Za-z:]+( .*)?\\d?>", 0x808080, 0},
    {"kwre:<!.*>", 0x52B8DA, 0},
    {"kwre:^\\.[A-Za-z].*\\.", 0xC26297, 0},
    {"kwre:\".*\"", 0x9D3900, 0},
    {"kwre:'.*'", 0xFF0000, 0},
    {"kwre:([#][\\w]+[#]|[~][\\w]+[~])", 0x0000FF, 0},
    {"kwre:define [\\w]+=", 0x0000FF, 7},
    {"kwre:(?-U)[^:]//.*", 0x008000, 1},
    {"kwre:(?-U)^//.*", 0x008000, 0},
    {"kwre:(?s)/\\*.*\\*/", 0x008000, 0},
};

// Colouring only while nobody selects or scrolls.
bool userbusy() {
    for (ui::WORD vk : {ui::VK_SHIFT, ui::VK_LBUTTON, ui::VK_RBUTTON, ui::VK_LEFT, ui::VK_RIGHT, ui::VK_UP,
                        ui::VK_DOWN, ui::VK_PRIOR, ui::VK_NEXT})
        if (ui::GetKeyState(vk) < 0) return true;
    return false;
}

bool isbracket(char c) { return c != 0 && std::string_view("({[)}]").find(c) != std::string_view::npos; }

char partnerof(char c) {
    switch (c) {
        case '(': return ')';
        case '[': return ']';
        case '{': return '}';
        case ')': return '(';
        case ']': return '[';
        default: return '{';
    }
}

// Every occurrence of What (letter case ignored) becomes 'e's of its length.
// False when nothing was found to blank.
bool blankall(std::string& text, const std::string& what) {
    const std::string lower = rtl::LowerCase(what), fill(what.size(), 'e');
    std::string folded = rtl::LowerCase(text);
    bool any = false;
    for (size_t at = folded.find(lower); at != std::string::npos; at = folded.find(lower, at + 1)) {
        text.replace(at, what.size(), fill);
        folded.replace(at, what.size(), fill);
        any = true;
    }
    return any;
}

void replaceall(std::string& text, std::string_view what, std::string_view with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// The 1-based position of the partner of the bracket at 0-based At, or none.
std::optional<int32_t> findpartner(const std::string& masked, size_t at) {
    const char ch = masked[at], partner = partnerof(ch);
    const bool forward = ch == '(' || ch == '[' || ch == '{';
    int depth = 0;
    char quote = 0;
    size_t i = at;
    for (int steps = 0; steps < 10000; ++steps) {
        const char c = masked[i];
        if (!quote && c == ch) {
            ++depth;
        } else if (!quote && c == partner) {
            if (--depth == 0) return static_cast<int32_t>(i) + 1;
        } else if (c == '\'' || c == '"') {
            if (!quote) quote = c;
            else if (quote == c) quote = 0;
        }
        if (forward ? i + 1 >= masked.size() : i == 0) break;
        i = forward ? i + 1 : i - 1;
    }
    return std::nullopt;
}

}  // namespace

void hlinvalidate() { hlvisible = std::string("\0\x01\x02", 3); }

std::string edtextrange(ui::TCustomMemo* editor, int64_t start, int64_t length) {
    const int64_t size = editor->GetTextLen();
    start = std::clamp<int64_t>(start, 0, size);
    length = std::clamp<int64_t>(length, 0, size - start);
    if (length == 0) return std::string();
    const int first = editor->LineFromChar(start), last = editor->LineFromChar(start + length);
    std::string text;
    for (int line = first; line <= last && line < editor->LineCount(); ++line) {
        if (line > first) text += "\r\n";
        text += editor->Lines[line];
    }
    const auto from = static_cast<size_t>(start - editor->LineIndex(first));
    return from < text.size() ? text.substr(from, static_cast<size_t>(length)) : std::string();
}

void edcolour(ui::TRichEdit* editor, int32_t start, int32_t length, ui::TColor colour) {
    editor->Select(start, length);
    editor->SelAttributes->Color = colour;
}

void hlmask(std::string& text) {
    while (rematchc("kwre:\\w'\\w", text, true) && blankall(text, lastmatch)) {
    }
    replaceall(text, "\\\\", "ee");
    replaceall(text, "\\\"", "ee");
    replaceall(text, "\\'", "ee");
    replaceall(text, "'\"'", "'e'");
    replaceall(text, "\"'\"", "\"e\"");
}

void hlpattern(const std::string& pattern, ui::TColor colour, const std::string& visible, ui::TRichEdit* editor,
               int32_t first, int32_t end, int32_t skip) {
    int32_t pos = first - 1;
    while (pos < end) {
        const int64_t from = int64_t{pos} - first + 1;
        if (from < 0 || from >= static_cast<int64_t>(visible.size())) break;
        if (!rematch(pattern, std::string_view(visible).substr(static_cast<size_t>(from)))) break;
        pos += skip;
        const int32_t len = static_cast<int32_t>(lastmatch.size()) - skip;
        edcolour(editor, matchpos + pos - 1, len, colour);
        // An empty match must still move on.
        pos += std::max(1, matchpos + len - 1);
    }
}

void hlbrackets(ui::TRichEdit* editor, int32_t selstart, int32_t sellength, int32_t vscroll, int32_t hscroll,
                bool alone) {
    const int64_t size = editor->GetTextLen();
    if (size <= 1 || selstart < 0 || selstart >= size) return;
    // The scan goes at most this far either way.
    constexpr int32_t reach = 10000;
    const int64_t base = std::max<int64_t>(0, int64_t{selstart} - reach);
    const std::string text = edtextrange(editor, base, int64_t{selstart} + reach + 1 - base);
    const auto at = static_cast<size_t>(selstart - base);
    const char ch = at < text.size() ? text[at] : 0;
    if (!isbracket(ch) && hlpair.ch == '#') return;
    std::optional<edfreezescope> frozen;
    if (alone) frozen.emplace(editor);
    auto still = [&](int32_t p) { return p > 0 && p <= size && isbracket(edtextrange(editor, p - 1, 1)[0]); };
    if (hlpair.editor == editor && isbracket(hlpair.ch) && still(hlpair.pos1) && still(hlpair.pos2)) {
        edcolour(editor, hlpair.pos1 - 1, 1, hlunpaircolour);
        edcolour(editor, hlpair.pos2 - 1, 1, hlunpaircolour);
    }
    hlpair.ch = '#';
    if (isbracket(ch)) {
        std::string masked = text;
        hlmask(masked);
        if (const auto partner = findpartner(masked, at)) {
            hlpair = {editor, ch, selstart + 1, static_cast<int32_t>(base) + *partner};
            edcolour(editor, hlpair.pos1 - 1, 1, hlbracketcolour);
            edcolour(editor, hlpair.pos2 - 1, 1, hlbracketcolour);
        }
    }
    if (alone) edrestoreview(editor, selstart, sellength, vscroll, hscroll);
}

void hilite(ui::TRichEdit* editor) {
    if (userbusy()) return;
    const int32_t vscroll = scrollpos(editor, false), hscroll = scrollpos(editor, true);
    const int32_t selstart = editor->SelStart, sellength = editor->SelLength;
    const int32_t first = std::max<int32_t>(1, static_cast<int32_t>(editor->CharFromPos(ui::TPoint{0, 0})));
    const auto bottom = editor->CharFromPos(ui::TPoint{editor->Width() - 1, editor->Height() - 1});
    const int32_t end = static_cast<int32_t>(std::clamp<int64_t>(bottom, 1, int64_t{first} + 9999));
    const std::string visible = end > first ? edtextrange(editor, first - 1, end - first) : std::string();
    if (first == hlfirst && end == hllast && visible == hlvisible) {
        if (selstart != hlcaret) {
            hlcaret = selstart;
            hlbrackets(editor, selstart, sellength, vscroll, hscroll, true);
        }
        return;
    }
    hlfirst = first;
    hllast = end;
    hlvisible = visible;
    hlcaret = selstart;
    std::string masked = visible;
    hlmask(masked);
    edfreezescope frozen(editor);
    const auto length = static_cast<int32_t>(masked.size());
    edcolour(editor, first - 1, length, ui::clBlack);
    for (const TPass& p : kPasses) hlpattern(p.pattern, p.colour, masked, editor, first, first + length, p.skip);
    hlbrackets(editor, selstart, sellength, vscroll, hscroll, false);
    edrestoreview(editor, selstart, sellength, vscroll, hscroll);
}

}  // namespace helpers
