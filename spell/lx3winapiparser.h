#pragma once
// The parser over an edit control, read through its text target: X a
// column (0-based, in the suite's 8-bit characters), Y a line (0-based).
// Every line reads with CR LF at its end, so a word never runs on into the
// next line. Lines have no length limit.
#include <memory>
#include <string>

#include "spell/lx3parserbase.h"
#include "spell/lx3texttarget.h"

namespace spell {

enum TWinAPIControlType { actEdit, actRichEdit, actRichEdit2 };

class TWinAPIControlParser : public TControlParser2 {
public:
    TWinAPIControlParser() = default;
    explicit TWinAPIControlParser(std::unique_ptr<TTextTarget> Target) { Initialize(std::move(Target)); }

    // Takes the target; position (0, 0), no range.
    void Initialize(std::unique_ptr<TTextTarget> Target);
    TTextTarget* Target() const { return target_.get(); }
    TWinAPIControlType ControlType() const { return type_; }

    unsigned char GetChar() override;
    std::string GetLine() override;
    bool MoveNext() override;
    bool MovePrevious() override;
    void SetPosition(int64_t X, int Y, TPositionType PositionType) override;
    void GetPosition(int64_t& X, int& Y) override;
    void SelectWord(int64_t Length) override;
    void ReplaceWord(const std::string& NewWord, int Kind) override;
    void IgnoreWord(int Kind) override;
    void CenterSelection() override;
    void GetCursorPosition(int64_t& X, int& Y) override;
    void GetSelectionPosition(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override;
    void GetControlScreenPosition(TLxRect& Rect) override;
    void GetSelectionScreenPosition(TLxRect& Rect) override;
    void UndoLast(int State, TSpellAction Action, int& Data) override {}
    ui::TWinControl* GetControl() override;

protected:
    // Brings the current line into the cache (before every character
    // access) and moves a column off the line's end to the next line's
    // start, or a negative one to the previous line's last character.
    // False when there is no such line or the position lies behind the
    // range.
    virtual bool EnsureLineCurrent();

private:
    bool load(int y);
    bool outside(int64_t x, int y) const;
    int64_t lineLength() const { return static_cast<int64_t>(line_.size()); }

    std::unique_ptr<TTextTarget> target_;
    TWinAPIControlType type_ = actEdit;
    int64_t x_ = 0;
    int y_ = 0;
    bool limited_ = false;
    int64_t endX_ = 0;
    int endY_ = 0;
    bool dirty_ = true;
    int cachedLine_ = -1;
    int lineCount_ = 0;
    std::string line_;  // with CR LF
    int64_t selX_ = 0, selLength_ = 0;
    int selY_ = 0;
};

}  // namespace spell
