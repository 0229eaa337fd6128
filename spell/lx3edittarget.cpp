// The text target over edits, memos and rich edits.
#include "spell/lx3edittarget.h"

#include <algorithm>

#include "platform/ui/comctrls.h"
#include "platform/ui/graphics.h"
#include "platform/ui/stdctrls.h"
#include "spell/lxcodepage.h"

namespace spell {

TEditTextTarget::TEditTextTarget(ui::TCustomEdit* Edit)
    : edit_(Edit), memo_(dynamic_cast<ui::TCustomMemo*>(Edit)) {}

int TEditTextTarget::LineCount() { return memo_ ? memo_->LineCount() : 1; }

std::string TEditTextTarget::utf8Line(int y) const {
    if (!memo_) return y == 0 ? edit_->GetText() : std::string();
    // The memo's list leaves out the empty line after a final break.
    if (y < 0 || y >= memo_->Lines->Count) return {};
    return memo_->Lines->Get(y);
}

std::string TEditTextTarget::Line(int Y) { return ConvertTargetLine(utf8Line(Y)).Text; }

int64_t TEditTextTarget::bytePosition(int64_t x, int y) const {
    const int64_t start = memo_ ? memo_->LineIndex(y) : 0;
    if (start < 0) return edit_->GetTextLen();
    return start + ConvertTargetLine(utf8Line(y)).OffsetOf(x);
}

void TEditTextTarget::position(int64_t bytes, int64_t& x, int& y) const {
    y = memo_ ? memo_->LineFromChar(bytes) : 0;
    const int64_t start = memo_ ? memo_->LineIndex(y) : 0;
    x = ConvertTargetLine(utf8Line(y)).ColumnOf(bytes - std::max<int64_t>(0, start));
}

void TEditTextTarget::GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) {
    const int64_t start = edit_->GetSelStart();
    position(start, StartX, StartY);
    position(start + edit_->GetSelLength(), EndX, EndY);
}

void TEditTextTarget::Select(int64_t StartX, int StartY, int64_t EndX, int EndY) {
    const int64_t a = bytePosition(StartX, StartY), b = bytePosition(EndX, EndY);
    edit_->Select(std::min(a, b), std::abs(b - a));
}

void TEditTextTarget::ReplaceSelection(std::string_view Text) { edit_->SetSelText(Utf8FromCp1252(Text)); }

int TEditTextTarget::lineHeight() const {
    ui::TBitmap measure;
    measure.Canvas()->Font->Assign(*edit_->Font);
    return std::max(1, measure.Canvas()->TextHeight("Wg"));
}

void TEditTextTarget::CenterSelection() {
    if (!memo_) return;
    const int64_t start = edit_->GetSelStart(), length = edit_->GetSelLength();
    const int line = memo_->LineFromChar(start);
    const int visible = edit_->ClientHeight / lineHeight();
    memo_->LineScroll(0, line - memo_->FirstVisibleLine() - visible / 2);
    edit_->Select(start, 0);
    memo_->ScrollCaret();
    edit_->Select(start + length, 0);
    memo_->ScrollCaret();
    edit_->Select(start, length);
}

TLxRect TEditTextTarget::ControlScreenRect() {
    const ui::TPoint origin = edit_->ClientToScreen({0, 0});
    return {origin.X, origin.Y, origin.X + edit_->Width, origin.Y + edit_->Height};
}

TLxRect TEditTextTarget::RangeScreenRect(int64_t StartX, int64_t EndX, int Y) {
    // A one-line edit tells no character positions: its whole box stands
    // for the range.
    if (!memo_) return ControlScreenRect();
    const ui::TPoint from = edit_->ClientToScreen(memo_->PosFromChar(bytePosition(StartX, Y)));
    const ui::TPoint to = edit_->ClientToScreen(memo_->PosFromChar(bytePosition(EndX, Y)));
    int bottom = from.Y + lineHeight();
    const int64_t next = memo_->LineIndex(Y + 1);
    if (next >= 0) bottom = std::max(bottom, edit_->ClientToScreen(memo_->PosFromChar(next)).Y);
    return {from.X, from.Y, std::max(from.X, to.X), bottom};
}

bool TEditTextTarget::IsRichEdit() { return dynamic_cast<ui::TRichEdit*>(edit_) != nullptr; }

ui::TWinControl* TEditTextTarget::Control() { return edit_; }

std::unique_ptr<TTextTarget> MakeEditTextTarget(ui::TCustomEdit* Edit) {
    return std::make_unique<TEditTextTarget>(Edit);
}

}  // namespace spell
