#pragma once
// The program's one-line input dialog: a caption, a prompt, an editable
// drop-down holding what was typed before in this run, OK and Cancel.
#include <string>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tkwgrabstr : public ui::TForm {
public:
    explicit Tkwgrabstr(rtl::TComponent* Owner);
    ~Tkwgrabstr() override;
    const char* ClassName() const override { return "Tkwgrabstr"; }

    // True on OK, with Text := the entered text; on any other close Text
    // stays as it was. Asked again while on screen, the standard input query
    // answers instead.
    bool Execute(const std::string& Caption, const std::string& Prompt, std::string& Text);

    void FormShow(rtl::TObject* Sender);
    void FormResize(rtl::TObject* Sender);
    void FormClose(rtl::TObject* Sender, ui::TCloseAction& Action);
    void Edit1KeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);
    void xbtnClick(rtl::TObject* Sender);

    ui::TLabel* Label1;
    // A hint under the text box that callers show and hide.
    ui::TLabel* Label2;
    // The text box; its items are the history, newest first.
    ui::TComboBox* Edit1;
    // A hidden password edit that callers may show in place of Edit1.
    ui::TEdit* Edit2;
    ui::TBitBtn* BitBtn1;
    ui::TBitBtn* BitBtn2;
    ui::TButton* xbtn;
    // Set when the folder browser of xbtn returned a folder.
    bool FolderChosen = false;

    // Entries this long or longer stay out of the history.
    static constexpr int MaxHistoryLength = 4096;

private:
    void AddHistory(const std::string& text);
};

extern Tkwgrabstr* kwgrabstr;

}  // namespace mailbox
