#pragma once
// Page set-up for printing pages: the sheet's orientation and margins, asked
// through the program's dialog answerer, so an unattended run never waits.
#include "platform/ui/dialogs.h"

namespace ui {
class TPrinter;
}

namespace browser {

class TPageSetupDialog : public ui::TCommonDialog {
public:
    explicit TPageSetupDialog(rtl::TComponent* owner) : ui::TCommonDialog(owner) {}
    const char* ClassName() const override { return "TPageSetupDialog"; }
    bool Landscape = false;
    // Millimetres from the sheet's edges.
    double MarginLeft = 0, MarginTop = 0, MarginRight = 0, MarginBottom = 0;
    bool RunQt() override;
};

// Asks for Printer's orientation and margins, starting from what it has,
// and gives them to it when confirmed; false when cancelled.
bool SetUpPage(ui::TPrinter& Printer);

}  // namespace browser
