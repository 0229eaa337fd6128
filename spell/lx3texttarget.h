#pragma once
// The text target: one view of an edit control's text as the suite reads
// it. The suite works on 8-bit Windows-1252 words and counts columns in
// those characters; the platform's controls count UTF-8 bytes with CR LF
// as two. A target converts each line to Windows-1252 (a character the code
// page lacks becomes one non-word byte) and maps every column back to the
// control's byte position, so that selecting or replacing a word touches
// exactly that word whatever stands before it on the line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spell/lx3util.h"

namespace ui {
class TWinControl;
}

namespace spell {

// What a character without a Windows-1252 byte reads as: no word character,
// and none that a filter stops at.
constexpr char kUnmappedChar = '\x1A';

// One line of a control's UTF-8 text as Windows-1252 characters, with the
// control's byte offset (from the line's start) of every column; Offsets
// has one more entry than Text, the line's length in the control's bytes.
struct TTargetLine {
    std::string Text;
    std::vector<int64_t> Offsets;

    // The control's byte offset of column X; the two columns behind the
    // line stand for its CR and LF.
    int64_t OffsetOf(int64_t X) const;
    // The column of a byte offset; an offset inside a character gives the
    // character's column.
    int64_t ColumnOf(int64_t Offset) const;
};
// Invalid UTF-8 bytes count one column each, as unmapped characters; a
// line or paragraph separator inside the line counts as the control's
// two-byte break.
TTargetLine ConvertTargetLine(std::string_view Utf8);

class TTextTarget {
public:
    virtual ~TTextTarget() = default;

    virtual int LineCount() = 0;
    // Line Y in Windows-1252, without its line break; empty when Y is not
    // a line.
    virtual std::string Line(int Y) = 0;
    // The selection's start and end as (column, line).
    virtual void GetSelection(int64_t& StartX, int& StartY, int64_t& EndX, int& EndY) = 0;
    virtual void Select(int64_t StartX, int StartY, int64_t EndX, int EndY) = 0;
    // Replaces the selection with Windows-1252 Text; the caret follows it.
    virtual void ReplaceSelection(std::string_view Text) = 0;
    // Scrolls the selection's line to the middle of the view and the
    // selection into sight.
    virtual void CenterSelection() = 0;
    virtual TLxRect ControlScreenRect() = 0;
    // The screen rectangle of a range on one line: top left at its start,
    // right at its end, at least one text line high.
    virtual TLxRect RangeScreenRect(int64_t StartX, int64_t EndX, int Y) = 0;
    virtual bool IsRichEdit() = 0;
    virtual ui::TWinControl* Control() = 0;
};

}  // namespace spell
