// The body editor's history of snapshots.
#include "helpers/edhistory.h"

#include <algorithm>
#include <vector>

#include "helpers/edithelpers.h"
#include "helpers/htmlcolour.h"
#include "helpers/kwutil.h"

namespace helpers {

int32_t histidx = 0, histtop = 0;
int64_t histbytecap = int64_t{128} << 20;

namespace {

std::vector<edsnap>& snaps() {
    static std::vector<edsnap> s(histcount);
    return s;
}

int64_t totalbytes = 0;

void settext(edsnap& s, std::string text) {
    totalbytes += static_cast<int64_t>(text.size()) - static_cast<int64_t>(s.text.size());
    s.text = std::move(text);
}

void empty(edsnap& s) {
    settext(s, std::string());
    s = edsnap{};
}

// Drops the Count oldest snapshots; the rest move down.
void dropoldest(int32_t count) {
    auto& s = snaps();
    for (int32_t i = 0; i < count; ++i) empty(s[static_cast<size_t>(i)]);
    std::rotate(s.begin(), s.begin() + count, s.end());
    histidx -= count;
    histtop -= count;
}

}  // namespace

const edsnap& histsnap(int32_t index) { return snaps().at(static_cast<size_t>(index)); }

int64_t histbytes() { return totalbytes; }

void histclear() {
    for (edsnap& s : snaps()) empty(s);
    histidx = histtop = 0;
    hlinvalidate();
}

void histreset(ui::TCustomMemo* editor) {
    histclear();
    histidx = -1;
    histpush(editor);
}

void histpush(ui::TCustomMemo* editor) {
    if (edfrozen) return;
    if (++histidx >= histcount) histhalve();
    histtop = histidx;
    auto& s = snaps();
    // Whatever redo could reach before is gone; its text no longer counts.
    for (int32_t i = histidx + 1; i < histcount && !s[static_cast<size_t>(i)].text.empty(); ++i)
        empty(s[static_cast<size_t>(i)]);
    settext(s[static_cast<size_t>(histidx)], editor->Text());
    histpos(editor);
    int32_t drop = 0;
    for (int64_t bytes = totalbytes; bytes > histbytecap && drop < histidx; ++drop)
        bytes -= static_cast<int64_t>(s[static_cast<size_t>(drop)].text.size());
    if (drop > 0) dropoldest(drop);
}

void histpos(ui::TCustomMemo* editor) {
    if (histidx < 0) return;
    edsnap& s = snaps()[static_cast<size_t>(histidx)];
    s.selstart = editor->SelStart;
    s.sellength = editor->SelLength;
    s.vscroll = scrollpos(editor, false);
    s.hscroll = scrollpos(editor, true);
}

void histhalve() {
    dropoldest(histcount / 2);
    histidx = histtop = histcount / 2 - 1;
    hlinvalidate();
}

bool histstep(ui::TCustomMemo* editor, int32_t delta) {
    const int32_t target = histidx + delta;
    if (target < 0 || target > histtop) return false;
    {
        edfreezescope frozen(editor);
        histidx = target;
        editor->SelectAll();
        if (auto* rich = dynamic_cast<ui::TRichEdit*>(editor)) rich->SelAttributes->Color = ui::clBlack;
        editor->SelText = snaps()[static_cast<size_t>(target)].text;
        hlinvalidate();
    }
    histrestore(editor);
    return true;
}

void edrestoreview(ui::TCustomMemo* editor, int32_t selstart, int32_t sellength, int32_t vscroll, int32_t hscroll) {
    editor->Select(selstart, sellength);
    // At full range: a 16-bit thumb position would wrap in long bodies.
    editor->SetScrollPos(false, vscroll);
    editor->SetScrollPos(true, hscroll);
}

void histrestore(ui::TCustomMemo* editor) {
    const edsnap& s = snaps()[static_cast<size_t>(histidx)];
    edfreezescope frozen(editor);
    edrestoreview(editor, s.selstart, s.sellength, s.vscroll, s.hscroll);
}

int32_t scrollpos(ui::TCustomMemo* control, bool horizontal) { return control->ScrollPos(horizontal); }

}  // namespace helpers
