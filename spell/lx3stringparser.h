#pragma once
// The parser over a string the caller owns: one line, X 1-based, Y always 0.
#include <string>

#include "spell/lx3parserbase.h"

namespace spell {

class TStringParser : public TControlParser {
public:
    // Text must outlive the parser's use; replacements are made in it.
    void Initialize(std::string& Text);

    // 0 before the first and behind the last character: a string's last
    // word ends at that 0.
    unsigned char GetChar() override;
    std::string GetLine() override;
    bool MoveNext() override;
    bool MovePrevious() override;
    void SetPosition(int64_t X, int Y, TPositionType PositionType) override;
    void GetPosition(int64_t& X, int& Y) override;
    void SelectWord(int64_t Length) override;
    void ReplaceWord(const std::string& NewWord, int Kind) override;
    void IgnoreWord(int Kind) override;
    void CenterSelection() override {}
    void GetCursorPosition(int64_t& X, int& Y) override;
    void GetSelectionPosition(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) override;
    void GetControlScreenPosition(TLxRect& Rect) override;
    void GetSelectionScreenPosition(TLxRect& Rect) override;
    void UndoLast(int State, TSpellAction Action, int& Data) override {}

private:
    std::string* text_ = nullptr;
    int64_t x_ = 1;
    bool limited_ = false;
    int64_t endX_ = 0;
    int64_t selLength_ = 0;
};

}  // namespace spell
