#pragma once
// The communications log window: the running log of the POP3 conversation,
// kept in memory for the run, with find and word wrap.
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tcmmslog : public ui::TForm {
public:
    explicit Tcmmslog(rtl::TComponent* Owner);
    ~Tcmmslog() override;
    const char* ClassName() const override { return "Tcmmslog"; }

    void fnditClick(rtl::TObject* Sender);
    void fnditContextPopup(rtl::TObject* Sender, ui::TPoint MousePos, bool& Handled);
    void wwrapClick(rtl::TObject* Sender);
    void Memo1KeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);

    ui::TLabel* Label1;
    ui::TCheckBox* wwrap;
    ui::TButton* fndit;
    // One entry per line: date and time + " - " + text.
    ui::TMemo* Memo1;
};

extern Tcmmslog* cmmslog;

}  // namespace mailbox
