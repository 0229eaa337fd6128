// The list dialog: pick mode, check mode, locating and the column layout.
#include "mailbox/kwchklist.h"

#include <algorithm>

#include "helpers/kwutil.h"
#include "mailbox/kwfnddlg.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

Tkwchklist* kwchklist = nullptr;

namespace {

ui::TButton* button(Tkwchklist* owner, const char* caption, int x, int y, int w) {
    auto* b = new ui::TButton(owner);
    b->Caption = caption;
    b->SetBounds(x, y, w, 25);
    return b;
}

ui::TCheckBox* checkbox(Tkwchklist* owner, const char* caption, int y, bool visible) {
    auto* c = new ui::TCheckBox(owner);
    c->Caption = caption;
    c->SetBounds(8, y, 300, 20);
    c->Visible = visible;
    return c;
}

}  // namespace

Tkwchklist::Tkwchklist(rtl::TComponent* owner) : ui::TForm(owner) {
    kwchklist = this;
    Caption = "Pelliwox";
    KeyPreview = true;
    SetBounds(0, 0, 430, 400);

    Label1 = new ui::TPanel(this);
    Label1->Caption = "Please Check the Required Items :-";
    Label1->Alignment = ui::taLeftJustify;
    Label1->Align = ui::alTop;
    Label1->Height = 26;

    auto* bottom = new ui::TPanel(this);
    bottom->Align = ui::alBottom;
    bottom->Height = 96;
    bottom->BevelOuter = ui::bvNone;
    hiddencb = checkbox(this, "Lay Fields out &Horizontally across the Page", 0, true);
    hiddencb->Parent = bottom;
    hiddencb->Checked = true;
    hid2cb = checkbox(this, "Output a &Header Row", 20, false);
    hid2cb->Parent = bottom;
    hid3cb = checkbox(this, "", 40, false);
    hid3cb->Parent = bottom;
    xtraoption = checkbox(this, "", 40, false);
    xtraoption->Parent = bottom;
    Button1 = button(this, "Select &All", 8, 64, 90);
    Button4 = button(this, "&Deselect All", 102, 64, 90);
    promotebtn = button(this, "Promote Up List", 8, 34, 120);
    demotebtn = button(this, "Demote Down List", 132, 34, 120);
    Button2 = button(this, "&OK", 240, 64, 80);
    Button2->ModalResult = ui::mrOk;
    Button2->Default = true;
    Button3 = button(this, "&Cancel", 326, 64, 80);
    Button3->ModalResult = ui::mrCancel;
    Button3->Cancel = true;
    for (ui::TButton* b : {Button1, Button4, promotebtn, demotebtn, Button2, Button3}) b->Parent = bottom;
    promotebtn->Visible = false;
    demotebtn->Visible = false;

    ListBox1 = new ui::TListBox(this);
    ListBox1->Align = ui::alClient;
    ListBox1->Visible = false;
    ListBox1->ShowHint = true;
    CheckListBox1 = new ui::TCheckListBox(this);
    CheckListBox1->Align = ui::alClient;
    CheckListBox1->ShowHint = true;

    Timer1 = new ui::TTimer(this);
    Timer1->Enabled = false;
    Timer1->Interval = 500;

    OnShow = [this](rtl::TObject* s) { FormShow(s); };
    OnResize = [this](rtl::TObject* s) { FormResize(s); };
    OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { FormKeyDown(s, k, sh); };
    Timer1->OnTimer = [this](rtl::TObject* s) { Timer1Timer(s); };
    ListBox1->OnDblClick = [this](rtl::TObject* s) { ListBox1DblClick(s); };
    ListBox1->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { ListBox1KeyDown(s, k, sh); };
    for (ui::TListBox* list : {ListBox1, static_cast<ui::TListBox*>(CheckListBox1)}) {
        list->OnContextPopup = [this](rtl::TObject* s, ui::TPoint, bool& handled) {
            handled = true;
            ListBox1ContextPopup(s);
        };
        list->OnMouseMove = [this](rtl::TObject* s, ui::TShiftState, int x, int y) { CheckListBox1MouseMove(s, x, y); };
    }
    Button1->OnClick = [this](rtl::TObject* s) { Button1Click(s); };
    Button4->OnClick = [this](rtl::TObject* s) { Button4Click(s); };
    CheckListBox1->OnKeyPress = [this](rtl::TObject* s, char32_t& k) { CheckListBox1KeyPress(s, k); };
    CheckListBox1->OnDblClick = [this](rtl::TObject* s) { CheckListBox1DblClick(s); };
    CheckListBox1->OnMouseDown = [this](rtl::TObject* s, ui::TMouseButton b, ui::TShiftState sh, int x, int y) {
        if (b == ui::mbLeft) CheckListBox1MouseDown(s, sh, CheckListBox1->ItemAtPos(ui::TPoint{x, y}, true));
    };
    promotebtn->OnClick = [this](rtl::TObject* s) { promotebtnClick(s); };
    demotebtn->OnClick = [this](rtl::TObject* s) { demotebtnClick(s); };
    hiddencb->OnClick = [this](rtl::TObject* s) { hiddencbClick(s); };
    hid2cb->OnClick = [this](rtl::TObject* s) { hid2cbClick(s); };
}

Tkwchklist::~Tkwchklist() {
    if (kwchklist == this) kwchklist = nullptr;
}

ui::TListBox* Tkwchklist::VisibleList() const {
    return ListBox1->Visible() ? ListBox1 : static_cast<ui::TListBox*>(CheckListBox1);
}

std::string Tkwchklist::PickOne(const std::string& Caption, const std::string& Label, std::string& Result,
                                const std::vector<std::string>& List) {
    // Over the window that asks, not wherever the dialog last stood.
    PlaceOver(ui::Screen->ActiveForm());
    // The check mode's own controls (its option box included) have no part in a pick.
    const bool option = hiddencb->Visible();
    Button1->Visible = false;
    Button4->Visible = false;
    hiddencb->Visible = false;
    this->Caption = Caption;
    Label1->Caption = Label;
    CheckListBox1->Visible = false;
    ListBox1->Visible = true;
    // Check mode again however the pick ends.
    struct TBack {
        Tkwchklist* d;
        bool option;
        ~TBack() {
            d->DeleteKeys.clear();
            d->CheckListBox1->Visible = true;
            d->Button1->Visible = true;
            d->Button4->Visible = true;
            d->hiddencb->Visible = option;
            d->ListBox1->Visible = false;
        }
    } back{this, option};
    ListBox1->Items->Clear();
    for (const std::string& s : List) ListBox1->Items->Add(s);
    const int count = ListBox1->Items->Count;
    if (LastIndex >= 0 && LastIndex < count) {
        ListBox1->ItemIndex = LastIndex;
        const int rows = ListBox1->ItemHeight() > 0 ? ListBox1->Height() / ListBox1->ItemHeight() : 0;
        ListBox1->TopIndex = std::max(0, LastIndex - rows / 2);
    } else {
        ListBox1->ItemIndex = -1;
    }
    const bool ok = ShowModal() == ui::mrOk;
    LastIndex = ListBox1->ItemIndex;
    Result = ok && LastIndex >= 0 && LastIndex < ListBox1->Items->Count ? ListBox1->Items[LastIndex] : std::string();
    return Result;
}

void Tkwchklist::PlaceOver(ui::TForm* Owner) {
    if (!Owner || Owner == this || !Owner->Visible()) Owner = ui::Application->MainForm();
    int left = 0, top = 0;
    if (Owner && Owner != this && Owner->Visible()) {
        left = Owner->Left() + (Owner->Width() - Width()) / 2;
        top = Owner->Top() + (Owner->Height() - Height()) / 2;
    } else {
        left = (ui::Screen->Width() - Width()) / 2;
        top = (ui::Screen->Height() - Height()) / 2;
    }
    // Whole on the screen where it can be.
    left = std::max(0, std::min(left, ui::Screen->Width() - Width()));
    top = std::max(0, std::min(top, ui::Screen->Height() - Height()));
    SetBounds(left, top, Width(), Height());
}

void Tkwchklist::Locate(bool Again) {
    ui::TListBox* list = VisibleList();
    const int start = std::max(0, list->ItemIndex());
    if (!Again) {
        if (!kwfind) return;
        std::string text = LocateText;
        if (!kwfind->Execute("Locate Item", "Enter Search String (can contain * and ?)", false, text)) return;
        LocateText = text;
    }
    if (LocateText.empty()) return;
    const int count = list->Items->Count;
    for (int i = 1; i <= count; ++i) {
        const int at = (start + i) % count;
        if (helpers::rematchc(LocateText, list->Items[at], false)) {
            list->ItemIndex = at;
            return;
        }
    }
    helpers::errreport(LocateText + " Not Found");
}

void Tkwchklist::ColumnLayout() {
    ui::TListBox* list = VisibleList();
    int widest = 0;
    for (int i = 0; i < list->Items->Count; ++i) widest = std::max(widest, list->Canvas()->TextWidth(list->Items[i]));
    const int width = widest + 9;
    int columns = std::max(1, Width() / (width + 20));
    if (columns > 1) {
        // Widened about its centre: it stays over the window it was placed on.
        if (Width() < 640) SetBounds(std::max(0, Left() - (640 - Width()) / 2), Top(), 640, Height());
        columns = std::max(1, Width() / (width + 20));
    }
    list->Columns = columns > 1 ? columns : 0;
}

void Tkwchklist::FormShow(rtl::TObject*) {
    helpers::appfront();
    Timer1->Enabled = true;
    ui::TListBox* list = VisibleList();
    if (list->CanFocus()) list->SetFocus();
}

void Tkwchklist::FormResize(rtl::TObject*) { ColumnLayout(); }

void Tkwchklist::FormKeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    if (ui::KeyModifiers(Shift) != 0) return;
    if (Key == ui::VK_F2 || Key == ui::VK_F3) {
        const bool again = Key == ui::VK_F3;
        Key = 0;
        Locate(again);
    }
}

void Tkwchklist::Timer1Timer(rtl::TObject*) {
    Timer1->Enabled = false;
    ColumnLayout();
}

void Tkwchklist::ListBox1DblClick(rtl::TObject*) { Button2->Click(); }

void Tkwchklist::ListBox1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState) {
    if (Key != ui::VK_DELETE) return;
    if (std::find(DeleteKeys.begin(), DeleteKeys.end(), Key) == DeleteKeys.end()) return;
    const int i = ListBox1->ItemIndex;
    if (i < 0) return;
    ListBox1->Items->Delete(i);
    if (ListBox1->Items->Count > 0) ListBox1->ItemIndex = std::min(i, ListBox1->Items->Count - 1);
    Key = 0;
}

void Tkwchklist::ListBox1ContextPopup(rtl::TObject*) { Locate(false); }

void Tkwchklist::CheckListBox1MouseMove(rtl::TObject* Sender, int X, int Y) {
    auto* list = dynamic_cast<ui::TListBox*>(Sender);
    if (!list) return;
    const int i = list->ItemAtPos(ui::TPoint{X, Y}, true);
    const std::string hint = i >= 0 && static_cast<size_t>(i) < Hints.size() ? rtl::Trim(Hints[i]) : std::string();
    if (hint == list->Hint()) return;
    list->Hint = hint;
    ui::Application->ShowHintAt(list->ClientToScreen(ui::TPoint{X + 30, Y}), hint);
}

void Tkwchklist::Button1Click(rtl::TObject*) {
    for (int i = 0; i < CheckListBox1->Items->Count; ++i) CheckListBox1->Checked[i] = true;
    if (CheckListBox1->CanFocus()) CheckListBox1->SetFocus();
}

void Tkwchklist::Button4Click(rtl::TObject*) {
    for (int i = 0; i < CheckListBox1->Items->Count; ++i) CheckListBox1->Checked[i] = false;
    if (CheckListBox1->CanFocus()) CheckListBox1->SetFocus();
}

void Tkwchklist::CheckListBox1KeyPress(rtl::TObject*, char32_t& Key) {
    if (Key != 27) return;
    Key = 0;
    if (Modal()) EndModal(ui::mrCancel);
}

void Tkwchklist::CheckListBox1DblClick(rtl::TObject*) {
    const int i = CheckListBox1->ItemIndex;
    if (i >= 0) CheckListBox1->Checked[i] = !CheckListBox1->Checked[i];
}

void Tkwchklist::CheckListBox1MouseDown(rtl::TObject*, ui::TShiftState Shift, int Index) {
    if (Index < 0 || !(Shift & ui::ssShift)) return;
    // Shift fills the run of unchecked entries above; Ctrl+Shift clears the
    // run of checked ones and checks the entry itself.
    const bool clear = (Shift & ui::ssCtrl) != 0;
    for (int i = Index - 1; i >= 0 && CheckListBox1->Checked[i] == clear; --i) CheckListBox1->Checked[i] = !clear;
    if (clear) CheckListBox1->Checked[Index] = true;
}

void Tkwchklist::swapSelected(int delta) {
    ui::TListBox* list = CheckListBox1;
    const int i = list->ItemIndex, j = i + delta;
    if (i >= 0 && j >= 0 && j < list->Items->Count) {
        const bool ci = CheckListBox1->Checked[i], cj = CheckListBox1->Checked[j];
        const std::string a = list->Items[i], b = list->Items[j];
        list->Items->Strings[i] = b;
        list->Items->Strings[j] = a;
        CheckListBox1->Checked[i] = cj;
        CheckListBox1->Checked[j] = ci;
        list->ItemIndex = j;
    }
    if (list->CanFocus()) list->SetFocus();
}

void Tkwchklist::promotebtnClick(rtl::TObject*) { swapSelected(-1); }
void Tkwchklist::demotebtnClick(rtl::TObject*) { swapSelected(+1); }

void Tkwchklist::hiddencbClick(rtl::TObject*) {
    const bool shown = !hiddencb->Checked && !hid2cb->Checked;
    hid3cb->Visible = shown;
    if (!shown) hid3cb->Checked = false;
}

void Tkwchklist::hid2cbClick(rtl::TObject* Sender) {
    hiddencb->Caption = hid2cb->Checked ? "Output a &Header Row" : "Lay Fields out &Horizontally across the Page";
    hiddencbClick(Sender);
}

}  // namespace mailbox
