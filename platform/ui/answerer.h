#pragma once
// The one door through which modal windows and the standard dialogs are
// run. The windowed program installs the real one (dialogs.h:
// UseQtDialogs); tests install a scripted one that fills in the window or
// dialog and answers at once. Without either, modal windows and dialogs
// are dismissed with a note on standard error, so nothing ever waits for
// a user who is not there.
#include "platform/ui/prompter.h"

namespace ui {

class TForm;
class TCommonDialog;
class TPopupMenu;
class TMenuItem;

class IAnswerer {
public:
    virtual ~IAnswerer() = default;
    // Runs Form modally and returns its modal result.
    virtual TModalResult ShowModal(TForm& form) = 0;
    // Runs a standard dialog; true when the user confirmed it.
    virtual bool Execute(TCommonDialog& dialog) = 0;
    // Shows a popup menu at a screen point until an item is picked (the
    // item, whose OnClick has run) or the menu is closed (null). Without an
    // answer of its own the menu is closed at once, with a note on stderr.
    virtual TMenuItem* TrackPopup(TPopupMenu& menu, int x, int y);
};

IAnswerer& Answerer();
void SetAnswerer(IAnswerer* answerer);

}  // namespace ui
