#pragma once
// The text target over the platform's edits, memos and rich edits.
#include <memory>

#include "spell/lx3texttarget.h"

namespace ui {
class TCustomEdit;
class TCustomMemo;
}  // namespace ui

namespace spell {

class TEditTextTarget : public TTextTarget {
public:
    // The edit must outlive the target.
    explicit TEditTextTarget(ui::TCustomEdit* Edit);

    int LineCount() override;
    std::string Line(int Y) override;
    void GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override;
    void Select(int64_t StartX, int StartY, int64_t EndX, int EndY) override;
    void ReplaceSelection(std::string_view Text) override;
    void CenterSelection() override;
    TLxRect ControlScreenRect() override;
    TLxRect RangeScreenRect(int64_t StartX, int64_t EndX, int Y) override;
    bool IsRichEdit() override;
    ui::TWinControl* Control() override;

private:
    std::string utf8Line(int y) const;
    // The control's byte position of a column, and the reverse.
    int64_t bytePosition(int64_t x, int y) const;
    void position(int64_t bytes, int64_t& x, int& y) const;
    int lineHeight() const;

    ui::TCustomEdit* edit_;
    ui::TCustomMemo* memo_;  // null for a one-line edit
};

// The target of an edit control: what a check over the control reads.
std::unique_ptr<TTextTarget> MakeEditTextTarget(ui::TCustomEdit* Edit);

}  // namespace spell
