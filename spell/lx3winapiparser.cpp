// The parser over an edit control.
#include "spell/lx3winapiparser.h"

namespace spell {

void TWinAPIControlParser::Initialize(std::unique_ptr<TTextTarget> Target) {
    target_ = std::move(Target);
    type_ = target_ && target_->IsRichEdit() ? actRichEdit : actEdit;
    x_ = 0;
    y_ = 0;
    limited_ = false;
    dirty_ = true;
    cachedLine_ = -1;
    lineCount_ = target_ ? target_->LineCount() : 0;
    selX_ = selLength_ = 0;
    selY_ = 0;
}

bool TWinAPIControlParser::load(int y) {
    if (!target_) return false;
    if (y == cachedLine_ && !dirty_) return true;
    lineCount_ = target_->LineCount();
    if (y < 0 || y >= lineCount_) return false;
    line_ = target_->Line(y);
    line_ += "\r\n";
    cachedLine_ = y;
    dirty_ = false;
    return true;
}

bool TWinAPIControlParser::outside(int64_t x, int y) const {
    return limited_ && (y > endY_ || (y == endY_ && x > endX_));
}

bool TWinAPIControlParser::EnsureLineCurrent() {
    if (!load(y_)) return false;
    if (x_ >= lineLength()) {
        if (!load(y_ + 1)) return false;
        ++y_;
        x_ = 0;
    } else if (x_ < 0) {
        if (y_ == 0) {
            x_ = 0;
            return false;
        }
        if (!load(y_ - 1)) return false;
        --y_;
        x_ = lineLength() - 1;
    }
    return !outside(x_, y_);
}

unsigned char TWinAPIControlParser::GetChar() {
    if (!EnsureLineCurrent()) return 0;
    return static_cast<unsigned char>(line_[static_cast<size_t>(x_)]);
}

std::string TWinAPIControlParser::GetLine() {
    EnsureLineCurrent();
    return cachedLine_ == y_ ? line_ : std::string();
}

bool TWinAPIControlParser::MoveNext() {
    const int64_t x = x_;
    const int y = y_;
    ++x_;
    if (EnsureLineCurrent()) return true;
    x_ = x;
    y_ = y;
    return false;
}

bool TWinAPIControlParser::MovePrevious() {
    const int64_t x = x_;
    const int y = y_;
    --x_;
    if (EnsureLineCurrent()) return true;
    x_ = x;
    y_ = y;
    return false;
}

void TWinAPIControlParser::SetPosition(int64_t X, int Y, TPositionType PositionType) {
    if (PositionType == ptEnd) {
        limited_ = true;
        endX_ = X;
        endY_ = Y;
    } else {
        x_ = X;
        y_ = Y;
    }
}

void TWinAPIControlParser::GetPosition(int64_t& X, int& Y) {
    X = x_;
    Y = y_;
}

void TWinAPIControlParser::SelectWord(int64_t Length) {
    x_ -= Length;
    selX_ = x_;
    selY_ = y_;
    selLength_ = Length;
    if (target_) target_->Select(selX_, selY_, selX_ + selLength_, selY_);
}

void TWinAPIControlParser::ReplaceWord(const std::string& NewWord, int) {
    if (!target_) return;
    target_->Select(selX_, selY_, selX_ + selLength_, selY_);
    const int64_t newLength = static_cast<int64_t>(NewWord.size());
    if (limited_ && selY_ == endY_) endX_ += newLength - selLength_;
    target_->ReplaceSelection(NewWord);
    x_ = selX_ + newLength;
    y_ = selY_;
    selLength_ = newLength;
    dirty_ = true;
}

void TWinAPIControlParser::IgnoreWord(int) { x_ += selLength_; }

void TWinAPIControlParser::CenterSelection() {
    if (target_) target_->CenterSelection();
}

void TWinAPIControlParser::GetCursorPosition(int64_t& X, int& Y) {
    int64_t endX;
    int endY;
    GetSelectionPosition(X, Y, endX, endY);
}

void TWinAPIControlParser::GetSelectionPosition(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) {
    StartX = EndX = 0;
    StartY = EndY = 0;
    if (target_) target_->GetSelection(StartX, StartY, EndX, EndY);
}

void TWinAPIControlParser::GetControlScreenPosition(TLxRect& Rect) {
    Rect = target_ ? target_->ControlScreenRect() : TLxRect{-1, -1, -1, -1};
}

void TWinAPIControlParser::GetSelectionScreenPosition(TLxRect& Rect) {
    if (!target_) {
        Rect = {-1, -1, -1, -1};
        return;
    }
    int64_t startX, endX;
    int startY, endY;
    target_->GetSelection(startX, startY, endX, endY);
    // A selection over several lines is placed by its first line.
    if (endY != startY) endX = static_cast<int64_t>(target_->Line(startY).size());
    Rect = target_->RangeScreenRect(startX, endX, startY);
}

ui::TWinControl* TWinAPIControlParser::GetControl() { return target_ ? target_->Control() : nullptr; }

}  // namespace spell
