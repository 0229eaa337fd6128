// The ignore filters.
#include "spell/lx3ignore.h"

#include <array>

#include "spell/lxcase.h"

namespace spell {

namespace {

bool startsWithNoCase(std::string_view word, std::string_view prefix) {
    return word.size() >= prefix.size() && LxLowerCase(word.substr(0, prefix.size())) == prefix;
}

// Moves on until the parser stands on one of Stops (or cannot move).
void skipUntil(TControlParser& parser, std::string_view stops) {
    for (;;) {
        const unsigned char c = parser.GetChar();
        if (c == 0 || stops.find(static_cast<char>(c)) != std::string_view::npos) return;
        if (!parser.MoveNext()) return;
    }
}

// Moves on until the parser stands on a ">" that follows Before (an empty
// Before takes any ">"), or cannot move.
void skipToClose(TControlParser& parser, std::string_view before) {
    std::string recent;
    for (;;) {
        const unsigned char c = parser.GetChar();
        if (c == '>' && recent.size() >= before.size() &&
            std::string_view(recent).substr(recent.size() - before.size()) == before)
            return;
        recent += static_cast<char>(c);
        if (recent.size() > before.size()) recent.erase(0, recent.size() - before.size());
        if (!parser.MoveNext()) return;
    }
}

// Whether the characters from the current position on spell Text; the
// position is kept.
bool lookingAt(TControlParser& parser, std::string_view text) {
    int64_t x;
    int y;
    parser.GetPosition(x, y);
    bool match = true;
    for (size_t i = 0; i < text.size() && match; ++i) {
        if (i > 0 && !parser.MoveNext()) match = false;
        else match = parser.GetChar() == static_cast<unsigned char>(text[i]);
    }
    parser.SetPosition(x, y, ptCurrent);
    return match;
}

bool moveBy(TControlParser& parser, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!parser.MoveNext()) return false;
    return true;
}

bool opensPath(unsigned char c) {
    return std::string_view(" \t\r\n\"'([{<=:,;`").find(static_cast<char>(c)) != std::string_view::npos;
}

// Whether the word just read (the parser on the character after it) is the
// first name of a file path: "/", "~/", "./" or "../" right before it, at
// the start of the text or after a blank or an opening mark. The "or" of
// "and/or" is none. The position is kept.
bool startsPath(const std::string& word, TControlParser& parser) {
    int64_t x;
    int y;
    parser.GetPosition(x, y);
    bool moved = true;
    for (size_t i = 0; i <= word.size() && moved; ++i) moved = parser.MovePrevious();
    bool path = false;
    if (moved && parser.GetChar() == '/') {
        int dots = 0;
        for (;;) {
            if (!parser.MovePrevious()) {
                path = true;  // the text starts with the path
                break;
            }
            const unsigned char c = parser.GetChar();
            if ((c == '.' || c == '~') && ++dots <= 2) continue;
            path = opensPath(c);
            break;
        }
    }
    parser.SetPosition(x, y, ptCurrent);
    return path;
}

}  // namespace

// ------------------------------------------------------------------ HTML

bool THTMLIgnore::ExecuteIgnore(unsigned char Char, TControlParser& Parser) {
    if (Char != '<') return false;
    if (!Parser.MoveNext()) return true;
    if (lookingAt(Parser, "!--")) {
        if (moveBy(Parser, 3)) skipToClose(Parser, "--");
        return true;
    }
    const unsigned char c = Parser.GetChar();
    if (c == '%' || c == '?') {
        skipToClose(Parser, std::string(1, static_cast<char>(c)));
        return true;
    }
    skipToClose(Parser, "");
    return true;
}

bool THTMLIgnore::ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser&) {
    return !Word.empty() && Word[0] == '&';
}

// ------------------------------------------------------------------ URLs

bool TURLIgnore::ExecuteWordIgnorePreCheck(const std::string& Word, TControlParser& Parser) {
    static const std::array<std::string_view, 9> kSchemes = {"http",  "ftp",   "news",   "mailto", "nntp",
                                                             "file",  "https", "telnet", "wais"};
    const unsigned char after = Parser.GetChar();
    const std::string lower = LxLowerCase(Word);
    bool address = after == '@';
    if (after == ':')
        for (const auto scheme : kSchemes) address = address || lower == scheme;
    if ((after == '\\' || after == '/') && lower.rfind("www.", 0) == 0) address = true;
    address = address || startsPath(Word, Parser);
    if (!address) return false;
    skipUntil(Parser, "\r\n\t \"()[]{},<>'");
    return true;
}

bool TURLIgnore::ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser&) {
    return startsWithNoCase(Word, "www.");
}

// ---------------------------------------------------------- quoted lines

bool TQuotedLineIgnore::ExecuteLineIgnore(const std::string& Line) {
    return !Line.empty() && quoteChars_.find(Line[0]) != std::string::npos;
}

bool TQuotedLineIgnore::ExecuteWordIgnorePostCheck(const std::string&, TControlParser& Parser) {
    return ExecuteLineIgnore(Parser.GetLine());
}

// ---------------------------------------------------- capitals, numbers

bool TUppercaseWordIgnore::ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser&) {
    return !Word.empty() && LxUpperCase(Word) == Word;
}

bool TNumbersIgnore::ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser&) {
    return Word.find_first_of("0123456789") != std::string::npos;
}

// --------------------------------------------------------- abbreviations

bool TAbbreviationsIgnore::ExecuteWordIgnorePostCheck(const std::string& Word, TControlParser&) {
    if (Word.find('.') == std::string::npos) return false;
    std::string_view rest = Word;
    while (rest.size() >= 3 && rest[1] == '.') rest.remove_prefix(2);
    return rest.size() < 3;
}

// --------------------------------------------------------------- numbers

bool IsDecimalNumeral(std::string_view Word) {
    size_t i = 0;
    auto digits = [&] {
        const size_t from = i;
        while (i < Word.size() && Word[i] >= '0' && Word[i] <= '9') ++i;
        return i - from;
    };
    if (i < Word.size() && (Word[i] == '+' || Word[i] == '-')) ++i;
    size_t mantissa = digits();
    if (i < Word.size() && Word[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < Word.size() && (Word[i] == 'e' || Word[i] == 'E')) {
        ++i;
        if (i < Word.size() && (Word[i] == '+' || Word[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == Word.size();
}

}  // namespace spell
