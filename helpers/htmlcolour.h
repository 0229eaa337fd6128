#pragma once
// Syntax colouring of the visible part of the HTML body editor: tags,
// comments, quoted strings, template fields and script comments, and the
// bracket at the caret with its partner. Colours are 0x00BBGGRR.
#include <cstdint>
#include <string>

#include "platform/ui/comctrls.h"

namespace helpers {

// What the last pass coloured, so an unchanged screen is not coloured again.
extern int32_t hlfirst, hllast, hlcaret;
extern std::string hlvisible;
struct hlpairstate {
    ui::TRichEdit* editor = nullptr;
    char ch = '#';  // '#': no pair highlighted
    int32_t pos1 = 0, pos2 = 0;
};
extern hlpairstate hlpair;

constexpr ui::TColor hlbracketcolour = 0x0085DF, hlunpaircolour = 0x808000;

// Forces the next pass to colour in full.
void hlinvalidate();
void hilite(ui::TRichEdit* editor);
// Masks escapes and apostrophes inside words, keeping the length.
void hlmask(std::string& text);
void hlpattern(const std::string& pattern, ui::TColor colour, const std::string& visible, ui::TRichEdit* editor,
               int32_t first, int32_t end, int32_t skip);
void hlbrackets(ui::TRichEdit* editor, int32_t selstart, int32_t sellength, int32_t vscroll, int32_t hscroll,
                bool alone);
// Length bytes of the editor's text from 0-based Start, read line by line:
// the whole text of a long body costs more than a tick may.
std::string edtextrange(ui::TCustomMemo* editor, int64_t start, int64_t length);
void edcolour(ui::TRichEdit* editor, int32_t start, int32_t length, ui::TColor colour);

}  // namespace helpers
