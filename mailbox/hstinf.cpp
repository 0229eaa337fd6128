// The hosts file and the hosts configuration window.
#include "mailbox/hstinf.h"

#include <algorithm>
#include <system_error>

#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/graphics.h"

namespace mailbox {

Thostinfo* hostinfo = nullptr;

namespace {

constexpr int kFields = 5;
const char* const kTitles[kFields] = {" POP3 Host (Optional Description)", " Email Username", " Password",
                                      " SMTP Host", " Email Address"};
// Room beside a column title: the header's padding and a resizing grip.
constexpr int kTitleMargin = 28;
const char* const kCloneTitle = "Clone Record Substitution";

// One line asked through the input dialog (the standard query without it).
bool askline(const std::string& caption, const std::string& prompt, std::string& text) {
    return kwgrabstr ? kwgrabstr->Execute(caption, prompt, text) : ui::InputQuery(caption, prompt, text);
}

}  // namespace

// -------------------------------------------------------------- the window

Thostinfo::Thostinfo(rtl::TComponent* Owner) : ui::TForm(Owner), keytable_(HostsKeyTable()) {
    HostsPath = helpers::homedir + "kwpop3hosts.txt";
    Caption = "Pelliwox - Hosts Configuration";
    Position = ui::poScreenCenter;
    SetBounds(0, 0, 780, 360);

    auto* buttons = new ui::TPanel(this);
    buttons->Align = ui::alBottom;
    buttons->Height = 42;
    buttons->BevelOuter = ui::bvNone;
    struct TButtonRole {
        ui::TButton*& button;
        const char* caption;
        void (Thostinfo::*click)(rtl::TObject*);
    };
    const TButtonRole roles[] = {
        {rvrtsvdbtn, "&Revert To Saved", &Thostinfo::rvrtsvdbtnClick},
        {svfltrsbtn, "&Save", &Thostinfo::svfltrsbtnClick},
        {addfltrbtn, "&Add", &Thostinfo::addfltrbtnClick},
        {delfltrbtn, "&Delete", &Thostinfo::delfltrbtnClick},
        {clonebtn, "&Transcribe", &Thostinfo::clonebtnClick},
        {usefltrbtn, "&Close", &Thostinfo::usefltrbtnClick},
    };
    int left = 8;
    for (const TButtonRole& s : roles) {
        s.button = new ui::TButton(buttons);
        s.button->Caption = s.caption;
        s.button->SetBounds(left, 8, 116, 27);
        if (s.button == svfltrsbtn) {
            s.button->Hint = "Saves the accounts in kwpop3hosts.txt, which only you can read.\n"
                             "The passwords in it are scrambled against a glance, not encrypted: "
                             "any copy of Pelliwox reads them back.";
            s.button->ShowHint = true;
        }
        s.button->OnClick = [this, click = s.click](rtl::TObject* sender) { (this->*click)(sender); };
        left += 124;
    }
    SetChanged(false);

    StringGrid1 = new ui::TStringGrid(this);
    StringGrid1->Align = ui::alClient;
    StringGrid1->ColCount = kFields;
    StringGrid1->FixedCols = 0;
    StringGrid1->RowCount = 2;
    StringGrid1->Options = StringGrid1->Options | ui::goEditing | ui::goTabs | ui::goColSizing | ui::goRowSizing;
    StringGrid1->DefaultRowHeight = 20;
    StringGrid1->DefaultColWidth = 140;
    StringGrid1->OnGetEditText = [this](rtl::TObject* s, int c, int r, std::string& v) {
        StringGrid1GetEditText(s, c, r, v);
    };
    StringGrid1->OnSetEditText = [this](rtl::TObject* s, int c, int r, const std::string& v) {
        StringGrid1SetEditText(s, c, r, v);
    };
    for (int c = 0; c < kFields; ++c) StringGrid1->Cells[c][0] = kTitles[c];
    // Each column starts as wide as its title (resizing keeps the shares).
    ui::TCanvas measure;
    measure.Font->Assign(*StringGrid1->Font);
    for (int c = 0; c < kFields; ++c)
        StringGrid1->ColWidths[c] = std::max(80, measure.TextWidth(kTitles[c]) + kTitleMargin);
    int titles = 0;
    for (int c = 0; c < kFields; ++c) titles += StringGrid1->ColWidths[c];
    // Wider than designed only when a larger font needs it.
    if (titles + 60 > Width) SetBounds(Left, Top, titles + 60, Height);

    OnShow = [this](rtl::TObject* s) { FormShow(s); };
    OnResize = [this](rtl::TObject* s) { FormResize(s); };
    OnCloseQuery = [this](rtl::TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    hostinfo = this;
}

Thostinfo::~Thostinfo() {
    if (hostinfo == this) hostinfo = nullptr;
}

void Thostinfo::SetChanged(bool changed) {
    svfltrsbtn->Enabled = changed;
    rvrtsvdbtn->Enabled = changed;
}

void Thostinfo::CloseEditor() { StringGrid1->EditorMode = false; }

std::vector<THostFields> Thostinfo::GridRows() const {
    std::vector<THostFields> rows;
    for (int r = 1; r < StringGrid1->RowCount; ++r) {
        THostFields row;
        for (int c = 0; c < kFields; ++c) row[c] = StringGrid1->Cells[c][r];
        rows.push_back(std::move(row));
    }
    return rows;
}

void Thostinfo::AppendRow(const THostFields& fields) {
    const int row = StringGrid1->RowCount;
    StringGrid1->RowCount = row + 1;
    for (int c = 0; c < kFields; ++c) StringGrid1->Cells[c][row] = fields[c];
}

std::string Thostinfo::ReadHostsText() { return ReadHostsFile(HostsPath); }

void Thostinfo::LoadGrid() {
    CloseEditor();
    const std::vector<THostFields> rows = ParseHostsText(ReadHostsText());
    StringGrid1->RowCount = 1;
    for (const THostFields& row : rows) AppendRow(row);
    // An empty file still leaves a row to type into.
    if (rows.empty()) AppendRow({});
    SetChanged(false);
}

void Thostinfo::svfltrsbtnClick(rtl::TObject*) {
    const bool saved = WriteHostsFile(HostsPath, HostsText(GridRows()));
    StringGrid1->SetFocus();
    // A file that could not be written keeps the changes unsaved.
    if (!saved) return;
    SetChanged(false);
    if (OnHostsSaved) OnHostsSaved(this);
}

void Thostinfo::FormShow(rtl::TObject*) {
    for (int c = 0; c < kFields; ++c) StringGrid1->Cells[c][0] = kTitles[c];
    if (svfltrsbtn->Enabled) return;
    const int row = StringGrid1->Row, col = StringGrid1->Col;
    LoadGrid();
    StringGrid1->Row = std::clamp(row, 1, StringGrid1->RowCount - 1);
    StringGrid1->Col = std::clamp(col, 0, kFields - 1);
}

void Thostinfo::rvrtsvdbtnClick(rtl::TObject*) {
    if (!helpers::askyesno("You will lose changes - Are you sure")) return;
    LoadGrid();
    StringGrid1->SetFocus();
}

void Thostinfo::addfltrbtnClick(rtl::TObject*) {
    CloseEditor();
    AppendRow({});
    StringGrid1->SetFocus();
    StringGrid1->Row = StringGrid1->RowCount - 1;
    StringGrid1->Col = 0;
    StringGrid1->EditorMode = true;
}

void Thostinfo::delfltrbtnClick(rtl::TObject* Sender) {
    if (StringGrid1->RowCount < 2) return;
    CloseEditor();
    const int row = StringGrid1->Row;
    const int last = StringGrid1->RowCount - 1;
    for (int c = 0; c < kFields; ++c)
        if (!StringGrid1->Cells[c][row]().empty()) SetChanged(true);
    for (int r = row; r < last; ++r)
        for (int c = 0; c < kFields; ++c) StringGrid1->Cells[c][r] = StringGrid1->Cells[c][r + 1];
    StringGrid1->RowCount = last;
    StringGrid1->SetFocus();
    if (StringGrid1->RowCount == 1) addfltrbtnClick(Sender);
}

void Thostinfo::clonebtnClick(rtl::TObject*) {
    if (StringGrid1->RowCount < 2) return;
    CloseEditor();
    const int source = StringGrid1->Row;
    if (!askline(kCloneTitle, "Search String (Case Insensitive)", clonesearch_)) return;
    if (!askline(kCloneTitle, "Replace " + clonesearch_ + " With", clonereplace_)) return;
    THostFields copy;
    for (int c = 0; c < kFields; ++c)
        copy[c] = helpers::replaceall(StringGrid1->Cells[c][source](), clonesearch_, clonereplace_, false);
    AppendRow(copy);
    StringGrid1->Row = StringGrid1->RowCount - 1;
    StringGrid1->Col = 0;
    StringGrid1->SetFocus();
    SetChanged(true);
}

void Thostinfo::usefltrbtnClick(rtl::TObject*) { Close(); }

void Thostinfo::FormResize(rtl::TObject*) {
    int total = 40;
    for (int c = 0; c < kFields; ++c) total += StringGrid1->ColWidths[c];
    const int available = Width - 20;
    for (int c = 0; c < kFields; ++c)
        StringGrid1->ColWidths[c] = std::max(80, StringGrid1->ColWidths[c] * available / total);
}

void Thostinfo::FormCloseQuery(rtl::TObject* Sender, bool& CanClose) {
    CanClose = true;
    if (!svfltrsbtn->Enabled || !helpers::askyesno("Save Changes")) return;
    svfltrsbtnClick(Sender);
    // Changes that could not be saved keep the window open.
    CanClose = !svfltrsbtn->Enabled;
}

void Thostinfo::StringGrid1GetEditText(rtl::TObject*, int, int, std::string& Value) { editstart_ = Value; }

void Thostinfo::StringGrid1SetEditText(rtl::TObject*, int, int, const std::string& Value) {
    if (Value != editstart_) SetChanged(true);
}

}  // namespace mailbox
