#pragma once
// The general text window: a memo under a one-line title, with caller
// wired buttons, find, print, word wrap and copying. It shows the message
// summary, reports and texts of the composer; one window for the whole
// process, reached through `kwdsply`.
#include <string>

#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tkwdsply : public ui::TForm {
public:
    explicit Tkwdsply(rtl::TComponent* owner);
    ~Tkwdsply() override;
    const char* ClassName() const override { return "Tkwdsply"; }

    // Shows Text (or, for "@" + path, that file's contents). Returns the
    // edited text when the showing was modal and editable (a negative
    // FontSize with Modal) and ended with OK; otherwise empty.
    std::string ShowText(const std::string& Caption, const std::string& Title, bool ShowHint, bool ShowButtons,
                         bool FixedFont, bool modal, int FontSize, const std::string& Text);
    // A modal report under the program's name and its command line.
    void ShowReport(const std::string& Text);
    // Unwires Button1..Button3, for a caller that wires them itself.
    void ClearButtonHandlers();

    void FindClick(rtl::TObject* Sender);
    void FindAgainClick(rtl::TObject* Sender);
    void PrintText();
    void Memo1KeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);
    void CheckBox1Click(rtl::TObject* Sender);
    void cpyClick(rtl::TObject* Sender);
    // Sorts the selected lines of an editable memo in place.
    void cpyContextPopup(rtl::TObject* Sender, ui::TPoint MousePos, bool& Handled);

    // Lays out the title line: the title beside the hint, never under it.
    void ArrangeTitle();

    ui::TMemo* Memo1;
    ui::TPanel* header;  // the title line: titls, and Label1 at its right end
    ui::TPanel* titls;
    ui::TLabel* Label1;
    ui::TPanel* buttonpanel;
    ui::TButton* Button1;
    ui::TButton* Button2;
    ui::TButton* Button3;
    ui::TButton* Button4;
    ui::TButton* Button5;
    ui::TButton* Button6;
    ui::TButton* Button7;
    ui::TButton* Button8;
    ui::TButton* Button9;   // "Accept Mode", never shown here
    ui::TButton* Button10;  // "Reject Mode", never shown here
    ui::TCheckBox* CheckBox1;
    ui::TButton* cpy;
    ui::TPrintDialog* PrintDialog1;
    ui::TRichEdit* RichEdit1;  // hidden: lays out the printout
};

extern Tkwdsply* kwdsply;

}  // namespace mailbox
