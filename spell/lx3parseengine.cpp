// The parsing engine.
#include "spell/lx3parseengine.h"

#include "spell/lxcase.h"

namespace spell {

namespace {

// The typographic apostrophe of Windows-1252. It joins words as the plain
// apostrophe does, and like it is no part of a word's start or end: a
// closing curly quote after a word is punctuation.
constexpr char kTypoApostrophe = '\x92';

}  // namespace

std::string TMainParsingEngine::DefaultCharSet() {
    std::string s = "0123456789&'";
    for (char c = 'a'; c <= 'z'; ++c) s += c;
    for (char c = 'A'; c <= 'Z'; ++c) s += c;
    for (int c = 0xC0; c <= 0xFF; ++c) s += static_cast<char>(c);
    s += "\x8A\x8C\x8D\x8E\x8F\x92\x9A\x9C\x9D\x9E\x9F\xA1\xA2\xA3\xA5\xA6\xA8\xAC\xAF\xB1\xB2\xB3\xB6\xB8\xB9\xBC\xBF";
    return s;
}

TMainParsingEngine::TMainParsingEngine()
    : charSet_(DefaultCharSet()),
      startForbidden_(std::string("'\"") + kTypoApostrophe),
      endForbidden_(std::string("'\".") + kTypoApostrophe),
      midForbidden_("&") {
    rebuild();
}

void TMainParsingEngine::rebuild() {
    auto fill = [](std::array<bool, 256>& table, std::string_view chars) {
        table.fill(false);
        for (const char c : chars) table[static_cast<unsigned char>(c)] = true;
    };
    fill(word_, charSet_);
    fill(start_, startForbidden_);
    fill(end_, endForbidden_);
    std::array<bool, 256> midForbidden{};
    fill(midForbidden, midForbidden_);
    for (size_t i = 0; i < 256; ++i) mid_[i] = word_[i] && !midForbidden[i];
}

void TMainParsingEngine::SetCharSet(std::string_view Chars) {
    charSet_ = Chars;
    rebuild();
}

void TMainParsingEngine::SetMidWord(std::string_view Chars) {
    midForbidden_ = Chars;
    rebuild();
}

void TMainParsingEngine::SetForbidEnd(std::string_view Chars) {
    endForbidden_ = Chars;
    rebuild();
}

void TMainParsingEngine::SetFrenchExceptions(bool On) {
    // Only a change counts: the owner switches this each time it reorders
    // its dictionaries, and a second apostrophe would outlive switching off.
    if (On == french_) return;
    french_ = On;
    if (On) {
        midForbidden_ += '\'';
    } else if (const auto at = midForbidden_.find('\''); at != std::string::npos) {
        midForbidden_.erase(at, 1);
    }
    rebuild();
}

void TMainParsingEngine::Initialize(TControlParser* Parser, TCheckType CheckType) {
    parser_ = Parser;
    lastWord_.clear();
    ended_ = false;
    if (!parser_) return;
    int64_t startX, endX;
    int startY, endY;
    parser_->GetSelectionPosition(startX, startY, endX, endY);
    switch (CheckType) {
        case ctSelected:
            AdjustToPosition(startX, startY);
            parser_->SetPosition(endX, endY, ptEnd);
            break;
        case ctFromCursor:
            AdjustToPosition(startX, startY);
            break;
        case ctAll:
            parser_->SetPosition(0, 0, ptCurrent);
            break;
        default:
            break;
    }
}

void TMainParsingEngine::AdjustToPosition(int64_t X, int Y) {
    if (!parser_) return;
    parser_->SetPosition(X, Y, ptCurrent);
    while (mid_[parser_->GetChar()] && parser_->MovePrevious()) {
    }
}

bool TMainParsingEngine::skipToWordStart() {
    for (;;) {
        const unsigned char c = parser_->GetChar();
        if (OnInlineIgnore) {
            int64_t x0, x1;
            int y0, y1;
            parser_->GetPosition(x0, y0);
            bool skip = false;
            OnInlineIgnore(c, *parser_, skip);
            parser_->GetPosition(x1, y1);
            // A filter that consumed nothing must not hold the scan here.
            if (skip && (x1 != x0 || y1 != y0)) continue;
        }
        if (word_[c] && !start_[c]) return true;
        if (!parser_->MoveNext()) return false;
    }
}

bool TMainParsingEngine::periodContinues(const std::string& word) {
    return word.find('.') != std::string::npos || nextIsMid();
}

// Whether the character after the current one continues a word; the
// position stays.
bool TMainParsingEngine::nextIsMid() {
    if (!parser_->MoveNext()) return false;
    const unsigned char next = parser_->GetChar();
    parser_->MovePrevious();
    return mid_[next];
}

bool TMainParsingEngine::collect(std::string& word) {
    word.assign(1, static_cast<char>(parser_->GetChar()));
    for (;;) {
        if (!parser_->MoveNext()) {
            ended_ = true;
            return AllowIncompleteLastWord;
        }
        const unsigned char c = parser_->GetChar();
        // A hyphen between two letters joins a compound ("pre-existing").
        if (mid_[c] || (c == '.' && AllowMidPeriod && periodContinues(word)) ||
            (c == '-' && AllowMidHyphen && midForbidden_.find('-') == std::string::npos && nextIsMid())) {
            word += static_cast<char>(c);
            continue;
        }
        if (french_ && c == '\'') {
            const std::string lower = LxLowerCase(word);
            if (lower == "aujourd" || lower == "entr") {
                word += static_cast<char>(c);
                continue;
            }
        }
        return true;
    }
}

void TMainParsingEngine::trim(std::string& word) {
    const bool period = word.find('.') != std::string::npos;
    while (!word.empty()) {
        const unsigned char last = static_cast<unsigned char>(word.back());
        if (!end_[last] || (last == '.' && period)) break;
        word.pop_back();
        parser_->MovePrevious();
    }
}

std::string TMainParsingEngine::NextWord() {
    if (!parser_) return {};
    if (ended_) {
        int64_t x;
        int y;
        parser_->GetPosition(x, y);
        if (x == endedX_ && y == endedY_) return {};
        ended_ = false;  // moved since (a replacement to check again)
    }
    lastWord_ = scan();
    if (ended_) parser_->GetPosition(endedX_, endedY_);
    return lastWord_;
}

std::string TMainParsingEngine::scan() {
    for (;;) {
        std::string word;
        if (!skipToWordStart() || !collect(word)) return {};
        trim(word);
        if (word.empty()) {
            // Only end-forbidden characters: step over the first and go on.
            if (ended_ || !parser_->MoveNext()) return {};
            continue;
        }
        bool skip = false;
        if (OnPreCheckIgnore) OnPreCheckIgnore(word, *parser_, skip);
        if (!skip) return word;
        if (ended_) return {};
    }
}

}  // namespace spell
