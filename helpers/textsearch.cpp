// Finding and replacing text: one matcher (patterns.cpp) and one rule for
// byte offsets.
#include "helpers/textsearch.h"

#include "helpers/internal.h"
#include "helpers/kwutil.h"

namespace helpers {

namespace {

bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A compiled pattern run over one text, read once for its kind.
class TFinder {
public:
    TFinder(std::string_view text, std::string_view pattern, bool matchcase)
        : text_(text), kind_(detail::textkind(text)) {
        if (!pattern.empty()) re_ = patternregex(pattern, matchcase);
    }
    std::optional<textspan> next(size_t from) const {
        if (!re_ || from > text_.size()) return std::nullopt;
        // Only UTF-8 text has characters to keep whole.
        if (kind_ == detail::TTextKind::utf8) from = charstart(text_, from);
        size_t start = 0, end = 0;
        if (!detail::rexecfrom(*re_, text_, kind_, from, start, end)) return std::nullopt;
        return textspan{start, end - start};
    }

private:
    std::string_view text_;
    detail::TTextKind kind_;
    PRegex re_;
};

}  // namespace

size_t charstart(std::string_view text, size_t pos) {
    while (pos < text.size() && continuation(text[pos])) ++pos;
    return pos < text.size() ? pos : text.size();
}

std::optional<textspan> textfind(std::string_view text, std::string_view pattern, size_t from, bool matchcase) {
    const size_t stars = pattern.find_first_not_of('*');
    if (stars == std::string_view::npos) return std::nullopt;
    return TFinder(text, pattern, matchcase).next(from);
}

std::string literalpattern(std::string_view text) {
    std::string p = "KWRE:";
    p.reserve(p.size() + text.size() * 2);
    for (const char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) p += '\\';
        p += c;
    }
    return p;
}

textreplaced textreplace(std::string_view text, std::string_view search, std::string_view replacement,
                         bool matchcase) {
    textreplaced r;
    if (search.empty()) {
        r.text = text;
        return r;
    }
    const TFinder finder(text, literalpattern(search), matchcase);
    size_t from = 0;
    for (auto m = finder.next(0); m && m->length > 0; m = finder.next(from)) {
        r.text.append(text.substr(from, m->start - from)).append(replacement);
        from = m->start + m->length;
        ++r.count;
    }
    r.text.append(text.substr(from));
    return r;
}

}  // namespace helpers
