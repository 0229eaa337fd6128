// The string parser.
#include "spell/lx3stringparser.h"

#include <algorithm>

namespace spell {

namespace {

constexpr TLxRect kNoScreen{-1, -1, -1, -1};

}  // namespace

void TStringParser::Initialize(std::string& Text) {
    text_ = &Text;
    x_ = 1;
    limited_ = false;
    endX_ = 0;
    selLength_ = 0;
}

unsigned char TStringParser::GetChar() {
    if (!text_ || x_ < 1 || x_ > static_cast<int64_t>(text_->size())) return 0;
    return static_cast<unsigned char>((*text_)[static_cast<size_t>(x_ - 1)]);
}

std::string TStringParser::GetLine() { return text_ ? *text_ : std::string(); }

bool TStringParser::MoveNext() {
    if (!text_ || x_ > static_cast<int64_t>(text_->size())) return false;
    if (limited_ && x_ + 1 > endX_) return false;
    ++x_;
    return true;
}

bool TStringParser::MovePrevious() {
    if (x_ <= 1) return false;
    --x_;
    return true;
}

void TStringParser::SetPosition(int64_t X, int, TPositionType PositionType) {
    if (PositionType == ptEnd) {
        limited_ = true;
        endX_ = X;
    } else {
        x_ = std::max<int64_t>(1, X);
    }
}

void TStringParser::GetPosition(int64_t& X, int& Y) {
    X = x_;
    Y = 0;
}

void TStringParser::SelectWord(int64_t Length) {
    x_ -= Length;
    selLength_ = Length;
}

void TStringParser::ReplaceWord(const std::string& NewWord, int) {
    if (!text_) return;
    const int64_t size = static_cast<int64_t>(text_->size());
    const int64_t start = std::clamp<int64_t>(x_ - 1, 0, size);
    const int64_t length = std::clamp<int64_t>(selLength_, 0, size - start);
    text_->replace(static_cast<size_t>(start), static_cast<size_t>(length), NewWord);
    const int64_t change = static_cast<int64_t>(NewWord.size()) - length;
    if (limited_) endX_ += change;
    x_ = start + 1 + static_cast<int64_t>(NewWord.size());
    selLength_ = 0;
}

void TStringParser::IgnoreWord(int) { x_ += selLength_; }

void TStringParser::GetCursorPosition(int64_t& X, int& Y) { GetPosition(X, Y); }

void TStringParser::GetSelectionPosition(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) {
    GetPosition(StartX, StartY);
    GetPosition(EndX, EndY);
}

void TStringParser::GetControlScreenPosition(TLxRect& Rect) { Rect = kNoScreen; }
void TStringParser::GetSelectionScreenPosition(TLxRect& Rect) { Rect = kNoScreen; }

}  // namespace spell
