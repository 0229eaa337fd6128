// Edit-control helpers: selecting and showing ranges, lengths and lines,
// freezing, combo lists, searching, replacing the text, word wrap.
#include "helpers/edithelpers.h"

#include <algorithm>
#include <cstdlib>

#include "helpers/kwutil.h"
#include "helpers/textsearch.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

// The event mask of the rich edit at its last stop, and whether a stop
// awaits its restart.
uint32_t savedmask = 0;
bool stopped = false;

ui::LRESULT send(ui::TControl* control, unsigned msg, ui::WPARAM w = 0, ui::LPARAM l = 0) { return control->Perform(msg, w, l); }

int32_t firstvisible(ui::TCustomEdit* edit) { return static_cast<int32_t>(send(edit, ui::EM_GETFIRSTVISIBLELINE)); }

void scrolllines(ui::TCustomEdit* edit, int32_t lines) { send(edit, ui::EM_LINESCROLL, 0, lines); }

void selectrange(ui::TCustomEdit* edit, int32_t start, int32_t length) {
    edit->SelStart = start;
    edit->SelLength = length;
    send(edit, ui::EM_SCROLLCARET);
}

// Moves the caret to the start without scrolling the view (moving the
// caret alone scrolls nothing on the original platform).
void caretathome(ui::TCustomEdit* edit) {
    auto* memo = dynamic_cast<ui::TCustomMemo*>(edit);
    if (!memo) {
        edit->SelStart = 0;
        return;
    }
    const int vertical = memo->ScrollPos(false), horizontal = memo->ScrollPos(true);
    memo->SelStart = 0;
    memo->SetScrollPos(false, vertical);
    memo->SetScrollPos(true, horizontal);
}

// Characters of a UTF-8 text: every byte but the continuation bytes.
int32_t charcount(const std::string& text) {
    return static_cast<int32_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

void edselshow(ui::TCustomEdit* edit, int32_t start, int32_t length) {
    const int32_t charheight = std::max(1, std::abs(edit->Font->Height()));
    const int32_t third = edit->Height / charheight / 3;
    if (edit->SelStart >= start) caretathome(edit);
    selectrange(edit, start, length);
    const int32_t first = firstvisible(edit);
    const auto line = static_cast<int32_t>(send(edit, ui::EM_EXLINEFROMCHAR, 0, start));
    if (line - third - first > 0) scrolllines(edit, line - third - first);
}

void edselect(ui::TCustomEdit* edit, int32_t start, int32_t length) {
    selectrange(edit, start, length);
    if (edcaretline(edit) > firstvisible(edit) + 5) scrolllines(edit, 5);
}

int32_t edtextlen(ui::TCustomEdit* edit) { return static_cast<int32_t>(send(edit, ui::EM_GETTEXTLENGTHEX)); }

int32_t edcaretline(ui::TCustomEdit* edit) {
    return static_cast<int32_t>(send(edit, ui::EM_LINEFROMCHAR, static_cast<ui::WPARAM>(edit->SelStart())));
}

void edfreeze(ui::TCustomEdit* edit, bool stop) {
    if (stop) {
        // A second stop finds the mask already 0: keep the one saved, or the
        // restart would leave the control silent for good.
        if (!stopped) savedmask = static_cast<uint32_t>(send(edit, ui::EM_GETEVENTMASK));
        stopped = edfrozen = true;
        send(edit, ui::EM_SETEVENTMASK, 0, 0);
        send(edit, ui::WM_SETREDRAW, 0);
        return;
    }
    stopped = edfrozen = false;
    send(edit, ui::WM_SETREDRAW, 1);
    send(edit, ui::EM_SETEVENTMASK, 0, savedmask);
    edit->Invalidate();
}

void combofit(ui::TComboBox* combo, ui::TWinControl* edit) {
    int32_t width = 0;
    const int32_t size = combo->Font->Size;
    for (int i = 0; i < combo->Items->Count; ++i) width = std::max(width, charcount(combo->Items->Get(i)) * size);
    send(combo, ui::CB_SETDROPPEDWIDTH, static_cast<ui::WPARAM>(width + 9));
    send(combo, ui::CB_SETEXTENDEDUI, 1);
    combo->SetFocus();
    if (edit) edit->SetFocus();
}

int32_t edfind(ui::TCustomEdit* edit, int32_t start, const std::string& pattern, bool wholeword, bool matchcase) {
    std::string p = pattern;
    p.erase(0, p.find_first_not_of('*'));
    if (p.empty()) return -1;
    if (start < 0 || start >= edtextlen(edit)) start = 0;
    std::string how;
    if (wholeword && !rtl::StartsText("kwre:", p)) {
        p = wholewordpattern(p);
        how += "Whole Word ";
    }
    if (matchcase) how += "Case Sensitive ";
    const std::string text = edit->Text;
    if (const auto found = textfind(text, p, static_cast<size_t>(start), matchcase)) {
        const auto pos = static_cast<int32_t>(found->start);
        edselshow(edit, pos, static_cast<int32_t>(found->length));
        return pos;
    }
    if (edit->Tag == 999) return -1;
    if (!askyesno(how + "Search for\r\n" + pattern + "\r\nNo More Found - Start Again From the Top")) return -1;
    return edfind(edit, 0, pattern, wholeword, matchcase);
}

void edinsert(ui::TCustomEdit* edit, const std::string& text) { edit->SetSelText(text); }

void edsettext(ui::TCustomEdit* edit, const std::string& text) {
    edit->SelectAll();
    edinsert(edit, text);
    edit->SelStart = 0;
    send(edit, ui::EM_SCROLLCARET);
}

void memowrap(ui::TCustomMemo* memo, bool wrap) {
    const int32_t selstart = memo->SelStart, sellength = memo->SelLength;
    const std::string text = memo->Text;
    edsettext(memo, "Loading ..");
    memo->WordWrap = wrap;
    memo->ScrollBars = wrap ? ui::ssVertical : ui::ssBoth;
    memo->Update();
    memo->Lines->BeginUpdate();
    edsettext(memo, text);
    memo->Lines->EndUpdate();
    if (memo->Visible) memo->SetFocus();
    edselect(memo, selstart, sellength);
}

}  // namespace helpers
