#pragma once
// The body editor's own undo and redo: snapshots of the whole text, the
// selection and both scroll positions, 2000 at most and a capped total of
// text. The rich edit's built-in undo cannot serve, as colouring changes
// the control all the time.
#include <cstdint>
#include <string>

#include "helpers/edithelpers.h"
#include "platform/ui/stdctrls.h"

namespace helpers {

// Stops the editor's change events and redrawing for as long as it lives.
class edfreezescope {
public:
    explicit edfreezescope(ui::TCustomEdit* edit) : edit_(edit) { edfreeze(edit_, true); }
    ~edfreezescope() { edfreeze(edit_, false); }
    edfreezescope(const edfreezescope&) = delete;
    edfreezescope& operator=(const edfreezescope&) = delete;

private:
    ui::TCustomEdit* edit_;
};

struct edsnap {
    int32_t selstart = 0, sellength = 0;
    int32_t vscroll = 0, hscroll = 0;
    std::string text;
};

constexpr int32_t histcount = 2000;
// Index of the current snapshot and of the newest that redo reaches.
extern int32_t histidx, histtop;
// The most bytes of text the snapshots hold together; beyond it the oldest
// snapshots go, the current one always stays.
extern int64_t histbytecap;

const edsnap& histsnap(int32_t index);
int64_t histbytes();
void histclear();
// Starts again from the editor's present state (snapshot 0).
void histreset(ui::TCustomMemo* editor);
// Records the present state; nothing while an editor is frozen.
void histpush(ui::TCustomMemo* editor);
// The selection and scroll positions into the current snapshot.
void histpos(ui::TCustomMemo* editor);
// Drops the older half of a full history.
void histhalve();
// Undo (-1) or redo (+1); false, with nothing changed, beyond either end.
bool histstep(ui::TCustomMemo* editor, int32_t delta);
// The current snapshot's selection and scroll positions back.
void histrestore(ui::TCustomMemo* editor);
// A scroll bar's position, full range.
int32_t scrollpos(ui::TCustomMemo* control, bool horizontal);
// Puts the selection and scroll positions back (scroll at full range).
void edrestoreview(ui::TCustomMemo* editor, int32_t selstart, int32_t sellength, int32_t vscroll, int32_t hscroll);

}  // namespace helpers
