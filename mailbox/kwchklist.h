#pragma once
// The list dialog of every window. Pick mode shows a plain list and gives
// back the one entry chosen; check mode shows a check list for choosing
// several entries (with Select All and Deselect All). F2 and a right click
// locate an entry by a wildcard or "kwre:" pattern, F3 locates again.
#include <string>
#include <vector>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

class Tkwchklist : public ui::TForm {
public:
    explicit Tkwchklist(rtl::TComponent* owner);
    ~Tkwchklist() override;
    const char* ClassName() const override { return "Tkwchklist"; }

    // Shows List to choose one entry from; the entry chosen (also put in
    // Result), empty on Cancel. The highlighted index is remembered for the
    // next pick, also on Cancel.
    std::string PickOne(const std::string& Caption, const std::string& Label, std::string& Result,
                        const std::vector<std::string>& List);
    // Centres the dialog over Owner (the main window when Owner is none or
    // hidden), kept on the screen.
    void PlaceOver(ui::TForm* Owner);
    // Searches the visible list after its selected entry, wrapping; asks for
    // the text unless Again.
    void Locate(bool Again);
    // Lays the visible list out in as many columns as its widest entry
    // allows (widening the dialog to 640 when more than one fits).
    void ColumnLayout();
    // The list shown now.
    ui::TListBox* VisibleList() const;

    void FormShow(rtl::TObject* Sender);
    void FormResize(rtl::TObject* Sender);
    void FormKeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);
    void Timer1Timer(rtl::TObject* Sender);
    void ListBox1DblClick(rtl::TObject* Sender);
    void ListBox1KeyDown(rtl::TObject* Sender, ui::WORD& Key, ui::TShiftState Shift);
    void ListBox1ContextPopup(rtl::TObject* Sender);
    void CheckListBox1MouseMove(rtl::TObject* Sender, int X, int Y);
    void Button1Click(rtl::TObject* Sender);
    void Button4Click(rtl::TObject* Sender);
    void CheckListBox1KeyPress(rtl::TObject* Sender, char32_t& Key);
    void CheckListBox1DblClick(rtl::TObject* Sender);
    void CheckListBox1MouseDown(rtl::TObject* Sender, ui::TShiftState Shift, int Index);
    void promotebtnClick(rtl::TObject* Sender);
    void demotebtnClick(rtl::TObject* Sender);
    void hiddencbClick(rtl::TObject* Sender);
    void hid2cbClick(rtl::TObject* Sender);

    ui::TListBox* ListBox1;
    ui::TCheckListBox* CheckListBox1;
    ui::TPanel* Label1;
    ui::TButton* Button1;  // Select All
    ui::TButton* Button2;  // OK
    ui::TButton* Button3;  // Cancel
    ui::TButton* Button4;  // Deselect All
    ui::TButton* promotebtn;
    ui::TButton* demotebtn;
    ui::TCheckBox* hiddencb;
    ui::TCheckBox* hid2cb;
    ui::TCheckBox* hid3cb;
    ui::TCheckBox* xtraoption;
    ui::TTimer* Timer1;

    // The index highlighted when the last pick ended; -1 before any.
    int LastIndex = -1;
    // One hint per entry, shown for the entry under the mouse.
    std::vector<std::string> Hints;
    // Keys that may delete the selected entry of the plain list (at most
    // MaxDeleteKeys); cleared after every pick.
    std::vector<ui::WORD> DeleteKeys;
    static constexpr size_t MaxDeleteKeys = 99;
    std::string LocateText;

private:
    void swapSelected(int delta);
};

extern Tkwchklist* kwchklist;

}  // namespace mailbox
