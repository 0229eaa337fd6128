#pragma once
// Helpers that work on the windows' edit controls and combo boxes: showing
// a found range, the caret's line, lengths, freezing a rich edit, fitting a
// combo's list, searching an edit, replacing its text and switching a
// memo's word wrap. Positions count from 0 in the bytes of the control's
// text (CR LF line breaks), as the controls' selections do.
#include <cstdint>
#include <string>

#include "platform/ui/stdctrls.h"

namespace helpers {

// Selects Length bytes from Start and scrolls so that the selected line
// stands a third of the way down the control (never scrolling up).
void edselshow(ui::TCustomEdit* edit, int32_t start, int32_t length);
// Selects the range, scrolls it into view and, when it lies more than five
// lines below the top, five lines further.
void edselect(ui::TCustomEdit* edit, int32_t start, int32_t length);
int32_t edtextlen(ui::TCustomEdit* edit);
// 0-based line of the selection start.
int32_t edcaretline(ui::TCustomEdit* edit);
// Stop (true) silences a rich edit's change notifications and stops its
// redrawing; restart (false) undoes both. Stops and restarts come in pairs:
// one event mask is kept.
void edfreeze(ui::TCustomEdit* edit, bool stop);
// Widens the combo's list to its longest entry, turns on its extended
// keyboard interface and leaves the focus on Edit (when given).
void combofit(ui::TComboBox* combo, ui::TWinControl* edit);

// Searches Pattern (a wildcard text, or a regular expression after
// "kwre:") in the edit's text from byte Start (textfind's rules), selects
// and shows the match and returns its position. Without a match the user is offered a search
// from the top, unless the edit's Tag is 999; then, or on No, -1.
int32_t edfind(ui::TCustomEdit* edit, int32_t start, const std::string& pattern, bool wholeword, bool matchcase);

// Replaces the selection (or inserts at the caret).
void edinsert(ui::TCustomEdit* edit, const std::string& text);
// Replaces the whole text, caret at the start and scrolled into view.
void edsettext(ui::TCustomEdit* edit, const std::string& text);
// Switches word wrap, keeping the text and the selection: the vertical
// scroll bar only with wrap, both without.
void memowrap(ui::TCustomMemo* memo, bool wrap);

}  // namespace helpers
