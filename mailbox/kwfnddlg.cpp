// The find dialog and the searches it drives.
#include "mailbox/kwfnddlg.h"

#include <vector>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "helpers/textsearch.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

Tkwfind* kwfind = nullptr;

namespace {

const char* const kMarker = "kwre:";

const char* const kSyntaxGuide =
    ".\tany character\r\n"
    "\\w\ta word character (letter, digit, _)\r\n"
    "\\W\ta character that is not a word character\r\n"
    "\\d\ta digit;  \\D a non-digit\r\n"
    "\\s\ta blank, tab or line break;  \\S anything else\r\n"
    "\\b\ta word boundary\r\n"
    "^\tthe start of a line;  $ the end of a line\r\n"
    "[abc]\tone of a, b or c;  [^abc] any other\r\n"
    "[a-z]\ta character from a to z\r\n"
    "x*\tx any number of times (also none)\r\n"
    "x+\tx once or more;  x? x once or not at all\r\n"
    "x{2,5}\tx two to five times\r\n"
    "a|b\ta or b\r\n"
    "(...)\ta group\r\n"
    "\\.\ta special character taken literally (\\ before it)\r\n"
    "(?i)\tletter case not significant from here on\r\n"
    "Repeats are as short as possible; x*? makes them as long as possible.\r\n"
    "Example:  kwre:^From:.*\\bexample\\.org\\b";

bool marked(const std::string& text) { return rtl::StartsText(kMarker, text); }

// An empty text, or the bare marker, searches for nothing.
bool usable(const std::string& text) { return !text.empty() && rtl::LowerCase(text) != kMarker; }

// The lines of a control's text and the byte positions where they start.
struct TLines {
    std::vector<std::string> text;
    std::vector<int> start;
};

TLines splitlines(const std::string& text) {
    TLines lines;
    size_t from = 0;
    for (;;) {
        const size_t end = text.find("\r\n", from);
        lines.start.push_back(static_cast<int>(from));
        lines.text.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos) return lines;
        from = end + 2;
    }
}

// Selects a match, offset by where the searched text began.
void selectmatch(ui::TCustomEdit* control, int offset, const helpers::textspan& found) {
    helpers::edselect(control, offset + static_cast<int>(found.start), static_cast<int>(found.length));
}

// The busy cursor for as long as it lives.
struct TBusyCursor {
    TBusyCursor() { ui::Screen->Cursor = ui::crHourGlass; }
    ~TBusyCursor() { ui::Screen->Cursor = ui::crDefault; }
};

}  // namespace

Tkwfind::Tkwfind(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "Find :-";
    Position = ui::poScreenCenter;
    SetBounds(0, 0, 440, ShortHeight);

    Label1 = new ui::TLabel(this);
    Label1->Caption = "Text to Find :-";
    Label1->SetBounds(8, 8, 320, 16);
    fndtxt = new ui::TComboBox(this);
    fndtxt->SetBounds(8, 26, 320, 24);
    fndtxt->DropDownCount = 16;
    fndtxt->OnChange = [this](rtl::TObject* s) { fndtxtChange(s); };

    mtchcase = new ui::TCheckBox(this);
    mtchcase->Caption = "Match &Case";
    mtchcase->SetBounds(8, 58, 110, 20);
    mtchwhwrd = new ui::TCheckBox(this);
    mtchwhwrd->Caption = "Match &Whole Word";
    mtchwhwrd->SetBounds(120, 58, 140, 20);
    mtchwhwrd->OnClick = [this](rtl::TObject* s) { mtchwhwrdClick(s); };
    regexp = new ui::TCheckBox(this);
    regexp->Caption = "&Regular Expression";
    regexp->SetBounds(8, 86, 160, 20);
    regexp->OnClick = [this](rtl::TObject* s) { regexpClick(s); };

    dirgrp = new ui::TRadioGroup(this);
    dirgrp->Caption = "Direction :-";
    dirgrp->Items->Add("Up");
    dirgrp->Items->Add("Down");
    dirgrp->ItemIndex = Down;
    dirgrp->SetBounds(262, 52, 70, 64);
    dirgrp->Visible = false;
    dirgrp->OnClick = [this](rtl::TObject* s) { dirgrpClick(s); };

    BitBtn1 = new ui::TBitBtn(this);
    BitBtn1->Kind = ui::bkOK;
    // OK closes only with a text to search for.
    BitBtn1->ModalResult = ui::mrNone;
    BitBtn1->SetBounds(344, 24, 84, 27);
    BitBtn1->OnClick = [this](rtl::TObject* s) { BitBtn1Click(s); };
    BitBtn2 = new ui::TBitBtn(this);
    BitBtn2->Kind = ui::bkCancel;
    BitBtn2->SetBounds(344, 58, 84, 27);

    Label2 = new ui::TLabel(this);
    Label2->Caption = "Regular Expression Syntax :-";
    Label2->SetBounds(8, 124, 300, 16);
    Memox = new ui::TMemo(this);
    Memox->SetBounds(8, 142, 420, 278);
    Memox->ReadOnly = true;
    Memox->ScrollBars = ui::ssVertical;
    Memox->Text = kSyntaxGuide;
    Label2->Visible = false;
    Memox->Visible = false;

    OnShow = [this](rtl::TObject* s) { FormShow(s); };
    kwfind = this;
}

Tkwfind::~Tkwfind() {
    if (kwfind == this) kwfind = nullptr;
}

bool Tkwfind::Execute(const std::string& Caption, const std::string& Prompt, bool ShowOptions, std::string& Text) {
    const std::string caption = this->Caption, prompt = Label1->Caption;
    mtchcase->Visible = ShowOptions;
    mtchwhwrd->Visible = ShowOptions;
    this->Caption = Caption;
    Label1->Caption = Prompt + " :-";
    fndtxt->Text = Text;
    const bool ok = ShowModal() == ui::mrOk && usable(fndtxt->Text);
    mtchcase->Visible = true;
    mtchwhwrd->Visible = true;
    this->Caption = caption;
    Label1->Caption = prompt;
    if (ok) Text = fndtxt->Text;
    return ok;
}

void Tkwfind::BitBtn1Click(rtl::TObject*) {
    const std::string text = fndtxt->Text;
    if (text.empty()) return;
    if (fndtxt->Items->IndexOf(text) < 0) fndtxt->Items->Add(text);
    ModalResult = ui::mrOk;
}

void Tkwfind::regexpClick(rtl::TObject*) {
    const std::string text = fndtxt->Text;
    const bool on = regexp->Checked;
    if (on) {
        if (!marked(text)) fndtxt->Text = kMarker + text;
        mtchwhwrd->Checked = false;
    } else if (marked(text)) {
        fndtxt->Text = text.substr(5);
    }
    Height = on ? TallHeight : ShortHeight;
    Label2->Visible = on;
    Memox->Visible = on;
}

void Tkwfind::fndtxtChange(rtl::TObject*) { regexp->Checked = marked(fndtxt->Text); }

void Tkwfind::mtchwhwrdClick(rtl::TObject*) {
    if (mtchwhwrd->Checked) regexp->Checked = false;
}

void Tkwfind::FormShow(rtl::TObject* Sender) {
    fndtxt->SetFocus();
    fndtxtChange(Sender);
}

void Tkwfind::dirgrpClick(rtl::TObject*) { fndtxt->SetFocus(); }

void Tkwfind::FindInMemo(ui::TCustomMemo* Memo) {
    dirgrp->Visible = true;
    const ui::TModalResult result = ShowModal();
    Memo->SetFocus();
    dirgrp->Visible = false;
    if (result == ui::mrOk) FindNext(Memo);
}

bool Tkwfind::FindNext(ui::TCustomEdit* Control) {
    const std::string text = fndtxt->Text;
    if (!usable(text)) return false;
    const bool again = text == lastmemotext_;
    lastmemotext_ = text;
    std::string pattern = text;
    if (mtchwhwrd->Checked && !marked(text)) pattern = "kwre:\\b" + helpers::reescape(text) + "\\b";
    return Search(Control, text, pattern, again, false);
}

bool Tkwfind::Search(ui::TCustomEdit* Control, const std::string& Text, const std::string& Pattern, bool Again,
                     bool Restarted) {
    const bool down = dirgrp->ItemIndex != Up;
    if (down ? SearchDown(Control, Pattern, Again) : SearchUp(Control, Pattern, Restarted)) return true;
    if (!helpers::askyesno("No More " + Text + " Found\r\nStart Again from the " + (down ? "Top" : "Bottom")))
        return false;
    Control->SelStart = static_cast<int>(rtl::TrimRight(Control->Text()).size());
    return Search(Control, Text, Pattern, Again, true);
}

bool Tkwfind::SearchDown(ui::TCustomEdit* Control, const std::string& Pattern, bool Again) {
    const std::string text = Control->Text;
    const int trimmed = static_cast<int>(rtl::TrimRight(text).size());
    int from = Control->SelStart;
    if (from > trimmed - 2) {
        // At the end: start again at the first character.
        Control->SelStart = 0;
        from = 0;
    } else if (Again) {
        ++from;
    }
    if (from > static_cast<int>(text.size())) return false;
    const auto found = helpers::textfind(text, Pattern, static_cast<size_t>(from), mtchcase->Checked);
    if (!found) return false;
    selectmatch(Control, 0, *found);
    return true;
}

bool Tkwfind::SearchUp(ui::TCustomEdit* Control, const std::string& Pattern, bool Restarted) {
    const TLines lines = splitlines(Control->Text);
    const int count = static_cast<int>(lines.text.size());
    // From the first line, and when starting again from the bottom, every
    // line is searched, the last one included.
    int line = Restarted ? count : helpers::edcaretline(Control);
    if (line <= 0) line = count;
    for (int i = std::min(line, count) - 1; i >= 0; --i) {
        const auto found = helpers::textfind(lines.text[i], Pattern, 0, mtchcase->Checked);
        if (!found) continue;
        selectmatch(Control, lines.start[i], *found);
        return true;
    }
    return false;
}

bool Tkwfind::MemoKeyDown(ui::TCustomMemo* Memo, uint16_t& Key, ui::TShiftState Shift) {
    struct TMemoKey {
        uint16_t key;
        ui::TShiftState modifiers;
        void (*action)(Tkwfind& find, ui::TCustomMemo* memo);
    };
    static const TMemoKey keys[] = {
        {'F', ui::ssCtrl, [](Tkwfind& f, ui::TCustomMemo* m) { f.FindInMemo(m); }},
        {ui::VK_F3, 0,
         [](Tkwfind& f, ui::TCustomMemo* m) {
             m->SetFocus();
             f.FindNext(m);
         }},
        {'A', ui::ssCtrl, [](Tkwfind&, ui::TCustomMemo* m) { m->SelectAll(); }},
    };
    for (const TMemoKey& k : keys) {
        if (k.key != Key || k.modifiers != ui::KeyModifiers(Shift)) continue;
        Key = 0;
        k.action(*this, Memo);
        return true;
    }
    return false;
}

int Tkwfind::FindInRichEdit(ui::TRichEdit* Edit) {
    const std::string text = fndtxt->Text;
    if (!usable(text)) return -1;
    TBusyCursor busy;
    int start = Edit->SelStart;
    if (rtl::SameText(text, lastrichtext_)) ++start;
    else lastrichtext_ = text;
    const int pos = helpers::edfind(Edit, start, text, mtchwhwrd->Checked, mtchcase->Checked);
    if (Edit->Visible) Edit->SetFocus();
    return pos;
}

}  // namespace mailbox
