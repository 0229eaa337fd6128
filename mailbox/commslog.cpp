// The communications log window.
#include "mailbox/commslog.h"

#include "helpers/edithelpers.h"
#include "mailbox/kwfnddlg.h"
#include "platform/ui/extctrls.h"

namespace mailbox {

Tcmmslog* cmmslog = nullptr;

Tcmmslog::Tcmmslog(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "Pelliwox - POP3 Communications Log";
    SetBounds(0, 0, 640, 420);

    auto* top = new ui::TPanel(this);
    top->Align = ui::alTop;
    top->Height = 32;
    top->BevelOuter = ui::bvNone;
    Label1 = new ui::TLabel(top);
    Label1->Caption = "POP3 Communications Log :-";
    Label1->SetBounds(8, 9, 200, 16);
    wwrap = new ui::TCheckBox(top);
    wwrap->Caption = "&WordWrap";
    wwrap->SetBounds(230, 6, 100, 20);
    wwrap->OnClick = [this](rtl::TObject* s) { wwrapClick(s); };
    fndit = new ui::TButton(top);
    fndit->Caption = "Find";
    fndit->Hint = "Click or Ctrl+F to Find Text\r\nRight-Click or F3 to Find Again";
    fndit->ShowHint = true;
    fndit->SetBounds(340, 3, 75, 26);
    fndit->OnClick = [this](rtl::TObject* s) { fnditClick(s); };
    fndit->OnContextPopup = [this](rtl::TObject* s, ui::TPoint p, bool& h) { fnditContextPopup(s, p, h); };

    Memo1 = new ui::TMemo(this);
    Memo1->Align = ui::alClient;
    Memo1->ReadOnly = true;
    Memo1->WordWrap = false;
    Memo1->ScrollBars = ui::ssBoth;
    Memo1->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { Memo1KeyDown(s, k, sh); };

    cmmslog = this;
}

Tcmmslog::~Tcmmslog() {
    if (cmmslog == this) cmmslog = nullptr;
}

void Tcmmslog::fnditClick(rtl::TObject*) {
    if (kwfind) kwfind->FindInMemo(Memo1);
}

void Tcmmslog::fnditContextPopup(rtl::TObject*, ui::TPoint, bool& Handled) {
    Handled = true;
    Memo1->SetFocus();
    if (kwfind) kwfind->FindNext(Memo1);
}

void Tcmmslog::wwrapClick(rtl::TObject*) { helpers::memowrap(Memo1, wwrap->Checked); }

void Tcmmslog::Memo1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    if (kwfind) kwfind->MemoKeyDown(Memo1, Key, Shift);
}

}  // namespace mailbox
