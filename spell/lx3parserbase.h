#pragma once
// Control parsers: what walks the characters of one text container (a
// string, an edit control), selects and replaces words in it and tells
// where they are on screen. The parsing engine reads words through one.
#include <cstdint>
#include <string>
#include <string_view>

#include "spell/lx3util.h"

namespace ui {
class TWinControl;
}

namespace spell {

// How much of a text a check covers.
enum TCheckType { ctSelected, ctFromCursor, ctAll, ctSmart, ctCurrent };
// The user's decisions that undo records carry.
enum TSpellAction { saIgnore, saIgnoreAll, saChange, saChangeAll, saAdd, saAutoCorrect };

enum TPositionType { ptCurrent, ptEnd };

// Positions are (X, Y): a column and a line. Characters are the suite's
// 8-bit bytes; 0 stands for "outside the text".
class TControlParser {
public:
    virtual ~TControlParser() = default;

    virtual unsigned char GetChar() = 0;
    virtual std::string GetLine() = 0;
    // False, with the position unchanged, when the move would leave the
    // text or the range.
    virtual bool MoveNext() = 0;
    virtual bool MovePrevious() = 0;
    virtual void SetPosition(int64_t X, int Y, TPositionType PositionType) = 0;
    virtual void GetPosition(int64_t& X, int& Y) = 0;
    // Selects Length characters ending at the current position; the
    // position moves to the selection's start.
    virtual void SelectWord(int64_t Length) = 0;
    // Replaces the selection and moves behind the new text.
    virtual void ReplaceWord(const std::string& NewWord, int Kind) = 0;
    // Moves behind the selection.
    virtual void IgnoreWord(int Kind) = 0;
    virtual void CenterSelection() = 0;
    virtual void GetCursorPosition(int64_t& X, int& Y) = 0;
    virtual void GetSelectionPosition(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) = 0;
    // Screen rectangles; all -1 where there is no screen.
    virtual void GetControlScreenPosition(TLxRect& Rect) = 0;
    virtual void GetSelectionScreenPosition(TLxRect& Rect) = 0;
    virtual void UndoLast(int State, TSpellAction Action, int& Data) = 0;
};

// A parser over a control, which the spelling dialog's owner is found from.
class TControlParser2 : public TControlParser {
public:
    virtual ui::TWinControl* GetControl() = 0;
};

// Whether Word, which the parser has just read (the position is right
// behind it), stands after a single space and the same word; the parser's
// position is kept.
bool ValidRepeatedWord(std::string_view Word, TControlParser& Parser);

}  // namespace spell
