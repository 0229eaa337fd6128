// The text window.
#include "mailbox/kwdsply.h"

#include <algorithm>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "mailbox/kwfnddlg.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/graphics.h"
#include "platform/ui/printers.h"

namespace mailbox {

Tkwdsply* kwdsply = nullptr;

namespace {
const char* const kFixedFont = "Lucida Console";
// Room on either side of the hint.
constexpr int kHintMargin = 12;
}

Tkwdsply::Tkwdsply(rtl::TComponent* owner) : ui::TForm(owner) {
    kwdsply = this;
    Caption = "Pelliwox";
    SetBounds(0, 0, 742, 391);  // a form's size is its inner size
    Position = ui::poMainFormCenter;
    KeyPreview = false;

    // The title line: the title, and at its right end the hint when shown.
    // The two share the line; neither is drawn over the other.
    header = new ui::TPanel(this);
    header->Align = ui::alTop;
    header->Height = 28;
    header->BevelOuter = ui::bvNone;
    header->OnResize = [this](rtl::TObject*) { ArrangeTitle(); };
    titls = new ui::TPanel(header);
    titls->SetBounds(0, 0, 742, 28);
    Label1 = new ui::TLabel(header);
    Label1->Caption = "Ctrl+F Search, F3 Search Again, Ctrl+P Print";
    Label1->Visible = false;
    Button9 = new ui::TButton(titls);
    Button9->Caption = "Accept Mode";
    Button9->Visible = false;
    Button10 = new ui::TButton(titls);
    Button10->Caption = "Reject Mode";
    Button10->Visible = false;

    auto* bottom = new ui::TPanel(this);
    bottom->Align = ui::alBottom;
    bottom->Height = 34;
    bottom->BevelOuter = ui::bvNone;
    buttonpanel = new ui::TPanel(bottom);
    buttonpanel->Align = ui::alClient;
    buttonpanel->BevelOuter = ui::bvNone;
    buttonpanel->Visible = false;
    ui::TButton** buttons[] = {&Button1, &Button2, &Button3, &Button4, &Button5, &Button6, &Button7, &Button8};
    int x = 6;
    for (ui::TButton** b : buttons) {
        *b = new ui::TButton(buttonpanel);
        (*b)->SetBounds(x, 4, 64, 26);
        (*b)->Visible = false;
        x += 68;
    }
    auto* right = new ui::TPanel(bottom);
    right->Align = ui::alRight;
    right->Width = 230;
    right->BevelOuter = ui::bvNone;
    CheckBox1 = new ui::TCheckBox(right);
    CheckBox1->Caption = "&WordWrap";
    CheckBox1->SetBounds(4, 8, 90, 20);
    CheckBox1->OnClick = [this](rtl::TObject* s) { CheckBox1Click(s); };
    cpy = new ui::TButton(right);
    cpy->Caption = "Copy to Clipboard";
    cpy->SetBounds(98, 4, 126, 26);
    cpy->OnClick = [this](rtl::TObject* s) { cpyClick(s); };
    cpy->OnContextPopup = [this](rtl::TObject* s, ui::TPoint p, bool& h) { cpyContextPopup(s, p, h); };

    Memo1 = new ui::TMemo(this);
    Memo1->Align = ui::alClient;
    Memo1->ReadOnly = true;
    Memo1->WordWrap = false;
    Memo1->ScrollBars = ui::ssBoth;
    Memo1->Font->Name = kFixedFont;
    Memo1->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { Memo1KeyDown(s, k, sh); };

    PrintDialog1 = new ui::TPrintDialog(this);
    RichEdit1 = new ui::TRichEdit(this);
    RichEdit1->Visible = false;
    // Callers set the title, its font and the hint's visibility before showing.
    OnShow = [this](rtl::TObject*) { ArrangeTitle(); };
}

void Tkwdsply::ArrangeTitle() {
    const int width = header->Width, height = header->Height;
    const int hint = Label1->Visible() ? Label1->Width() + 2 * kHintMargin : 0;
    titls->SetBounds(0, 0, std::max(0, width - hint), height);
    Label1->SetBounds(width - hint + kHintMargin, (height - Label1->Height()) / 2, Label1->Width(), Label1->Height());
    // A title longer than its room shows its beginning (where a file's
    // name stands), and the whole of it as its hint.
    ui::TCanvas measure;
    measure.Font->Assign(*titls->Font);
    const bool fits = measure.TextWidth(titls->Caption()) + 2 * kHintMargin <= titls->Width();
    titls->Alignment = fits ? ui::taCenter : ui::taLeftJustify;
    titls->Hint = fits ? std::string() : titls->Caption();
    titls->ShowHint = !fits;
}

Tkwdsply::~Tkwdsply() {
    if (kwdsply == this) kwdsply = nullptr;
}

std::string Tkwdsply::ShowText(const std::string& Caption_, const std::string& Title, bool ShowHint,
                               bool ShowButtons, bool FixedFont, bool modal, int FontSize, const std::string& Text) {
    // One showing at a time: the one before ends first.
    if (Visible()) {
        if (Modal()) EndModal(ui::mrCancel);
        else Close();
    }
    buttonpanel->Visible = ShowButtons;
    const std::string text = !Text.empty() && Text[0] == '@' ? helpers::loadtext(Text.substr(1)) : Text;
    titls->Font->Name = FixedFont ? kFixedFont : "Times New Roman";
    titls->Font->Size = FixedFont ? std::abs(FontSize) : 9;
    Memo1->Font->Name = FixedFont ? kFixedFont : "Tahoma";
    Memo1->Font->Size = std::abs(FontSize);
    Memo1->Font->Color = ui::clBlack;
    const bool editable = modal && FontSize < 0;
    Memo1->ReadOnly = !editable;
    Label1->Visible = ShowHint;
    Caption = Caption_;
    titls->Caption = Title;
    if (ShowButtons) {
        Button1->Caption = "Find";
        Button2->Caption = "Find Again";
        Button3->Caption = "Print";
        Button1->OnClick = [this](rtl::TObject* s) { FindClick(s); };
        Button2->OnClick = [this](rtl::TObject* s) { FindAgainClick(s); };
        Button3->OnClick = [this](rtl::TObject*) { PrintText(); };
        for (ui::TButton* b : {Button1, Button2, Button3}) {
            b->ModalResult = ui::mrNone;
            b->Visible = true;
        }
    }
    helpers::appfront();
    Memo1->Text = "Loading ..";
    if (!modal) {
        Show();
        if (Memo1->CanFocus()) Memo1->SetFocus();
        Button4->Visible = false;
        Button5->Visible = false;
    }
    helpers::edsettext(Memo1, text);
    Memo1->SelStart = 0;
    if (!modal) return {};
    // The edited text comes back only from an editable showing ended with OK.
    ModalResult = ui::mrNone;
    const ui::TModalResult r = ShowModal();
    const std::string result = editable && r == ui::mrOk ? Memo1->Text() : std::string();
    Memo1->ReadOnly = true;
    return result;
}

void Tkwdsply::ShowReport(const std::string& Text) {
    ShowText(rtl::ExtractFileName(helpers::exeparam(0)), helpers::paramline(1), false, true, false, true, 8, Text);
}

void Tkwdsply::ClearButtonHandlers() {
    Button1->OnClick = nullptr;
    Button2->OnClick = nullptr;
    Button3->OnClick = nullptr;
}

void Tkwdsply::FindClick(rtl::TObject*) {
    if (kwfind) kwfind->FindInMemo(Memo1);
}

void Tkwdsply::FindAgainClick(rtl::TObject*) {
    if (Memo1->CanFocus()) Memo1->SetFocus();
    if (kwfind) kwfind->FindNext(Memo1);
}

void Tkwdsply::Memo1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    const ui::TShiftState mods = ui::KeyModifiers(Shift);
    if (Key == ui::VK_ESCAPE && mods == 0) {
        Key = 0;
        if (Modal()) EndModal(ui::mrCancel);
        else Close();
        return;
    }
    if (kwfind && kwfind->MemoKeyDown(Memo1, Key, Shift)) return;
    if (Key == 'P' && mods == ui::ssCtrl) {
        Key = 0;
        PrintText();
    }
}

void Tkwdsply::PrintText() {
    if (Memo1->CanFocus()) Memo1->SetFocus();
    if (!PrintDialog1->Execute()) return;
    const bool selection = PrintDialog1->PrintRange == ui::prSelection && Memo1->SelLength > 0;
    const std::string text = selection ? Memo1->SelText() : Memo1->Text();
    ui::TPrinter& printer = *ui::Printer();
    const int mx = printer.PixelsPerInchX() / 2, my = printer.PixelsPerInchY() / 2;
    RichEdit1->PageRect = ui::Rect(mx, my, printer.PhysicalWidth() - mx, printer.PhysicalHeight() - my);
    RichEdit1->WordWrap = Memo1->WordWrap;
    RichEdit1->Clear();
    auto write = [this](const std::string& t, const std::string& font, int size, ui::TFontStyles style) {
        RichEdit1->SelStart = static_cast<int>(RichEdit1->Text().size());
        RichEdit1->SelAttributes->Name = font;
        RichEdit1->SelAttributes->Size = size;
        RichEdit1->SelAttributes->Style = style;
        RichEdit1->SelText = t;
    };
    write(Caption() + "\r\n\r\n", "Times New Roman", 12, ui::fsBold | ui::fsUnderline);
    write(titls->Caption() + "\r\n\r\n", titls->Font->Name, titls->Font->Size, titls->Font->Style);
    write(text, Memo1->Font->Name, Memo1->Font->Size, Memo1->Font->Style);
    RichEdit1->Print("Output from " + rtl::ChangeFileExt(rtl::ExtractFileName(helpers::exeparam(0)), ""));
}

void Tkwdsply::CheckBox1Click(rtl::TObject*) { helpers::memowrap(Memo1, CheckBox1->Checked); }

void Tkwdsply::cpyClick(rtl::TObject*) {
    ui::Clipboard()->AsText = Memo1->SelLength > 0 ? Memo1->SelText() : Memo1->Text();
}

void Tkwdsply::cpyContextPopup(rtl::TObject*, ui::TPoint, bool& Handled) {
    Handled = true;
    if (Memo1->ReadOnly || Memo1->SelLength <= 0) return;
    const int start = Memo1->SelStart, length = Memo1->SelLength;
    rtl::TStringList lines;
    lines.SetText(Memo1->SelText());
    lines.Sort();
    std::string sorted = lines.Text();
    // The selection keeps its own end: a break it did not end with is not added.
    const std::string old = Memo1->SelText();
    if (old.size() < 2 || old.compare(old.size() - 2, 2, "\r\n") != 0)
        while (!sorted.empty() && (sorted.back() == '\n' || sorted.back() == '\r')) sorted.pop_back();
    Memo1->SelText = sorted;
    Memo1->SelStart = start;
    Memo1->SelLength = length;
}

}  // namespace mailbox
