// The input dialog.
#include "mailbox/kwdlgsrc.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "helpers/kwutil.h"

namespace mailbox {

Tkwgrabstr* kwgrabstr = nullptr;

namespace {

constexpr int kHeight = 139;

int charcount(const std::string& text) {
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool isfolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

Tkwgrabstr::Tkwgrabstr(rtl::TComponent* Owner) : ui::TForm(Owner) {
    Caption = "Pelliwox";
    BorderStyle = ui::bsSizeable;
    Position = ui::poScreenCenter;
    SetBounds(0, 0, 460, kHeight);
    Constraints->MinHeight = kHeight;
    Constraints->MaxHeight = kHeight;
    Constraints->MinWidth = 300;

    Label1 = new ui::TLabel(this);
    Label1->SetBounds(15, 8, 420, 16);
    Edit1 = new ui::TComboBox(this);
    Edit1->SetBounds(15, 28, 430, 24);
    Edit1->DropDownCount = 16;
    Edit1->OnKeyDown = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { Edit1KeyDown(s, k, sh); };
    Edit2 = new ui::TEdit(this);
    Edit2->SetBounds(15, 28, 430, 24);
    Edit2->PasswordChar = '*';
    Edit2->Visible = false;

    Label2 = new ui::TLabel(this);
    Label2->AutoSize = false;
    Label2->WordWrap = true;
    Label2->Color = ui::clSilver;
    Label2->Font->Color = ui::clMaroon;
    Label2->SetBounds(15, 58, 250, 72);
    Label2->Visible = false;

    xbtn = new ui::TButton(this);
    xbtn->Caption = "Navigate To Directory";
    xbtn->SetBounds(15, 104, 160, 27);
    xbtn->Visible = false;
    xbtn->OnClick = [this](rtl::TObject* s) { xbtnClick(s); };

    BitBtn1 = new ui::TBitBtn(this);
    BitBtn1->Kind = ui::bkOK;
    BitBtn2 = new ui::TBitBtn(this);
    BitBtn2->Kind = ui::bkCancel;

    OnShow = [this](rtl::TObject* s) { FormShow(s); };
    OnResize = [this](rtl::TObject* s) { FormResize(s); };
    OnClose = [this](rtl::TObject* s, ui::TCloseAction& a) { FormClose(s, a); };
    FormResize(this);

    kwgrabstr = this;
    helpers::inputdialog = [this](const std::string& caption, const std::string& prompt, std::string& text) {
        return Execute(caption, prompt, text);
    };
}

Tkwgrabstr::~Tkwgrabstr() {
    if (kwgrabstr != this) return;
    kwgrabstr = nullptr;
    helpers::inputdialog = ui::InputQuery;
}

void Tkwgrabstr::AddHistory(const std::string& text) {
    if (text.empty() || charcount(text) >= MaxHistoryLength || Edit1->Items->IndexOf(text) >= 0) return;
    Edit1->Items->Insert(0, text);
}

bool Tkwgrabstr::Execute(const std::string& Caption, const std::string& Prompt, std::string& Text) {
    // A request while the dialog is on screen cannot show it again.
    if (Visible) return ui::InputQuery(Caption, Prompt, Text);
    this->Caption = Caption;
    Label1->Caption = Prompt;
    Edit1->Text = Text;
    AddHistory(Text);
    if (ShowModal() != ui::mrOk) return false;
    Text = Edit1->Text;
    AddHistory(Text);
    return true;
}

void Tkwgrabstr::FormShow(rtl::TObject*) {
    if (!Edit1->Visible && Edit2->Visible) {
        Edit2->SetFocus();
        Edit2->SelectAll();
        return;
    }
    Edit1->SetFocus();
    Edit1->SelectAll();
}

void Tkwgrabstr::FormResize(rtl::TObject*) {
    if (Height != kHeight) Height = kHeight;
    const int width = Width - 30;
    Edit1->Width = width;
    Edit2->Width = width;
    Label1->Width = width;
    BitBtn2->SetBounds(Width - 95, 104, 80, 27);
    BitBtn1->SetBounds(Width - 185, 104, 80, 27);
}

void Tkwgrabstr::FormClose(rtl::TObject*, ui::TCloseAction&) { xbtn->Visible = false; }

void Tkwgrabstr::Edit1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState) {
    if (Key != ui::VK_DELETE || !Edit1->DroppedDown) return;
    const int highlighted = Edit1->ItemIndex;
    if (highlighted >= 0 && highlighted < Edit1->Items->Count) Edit1->Items->Delete(highlighted);
    Key = 0;
}

void Tkwgrabstr::xbtnClick(rtl::TObject*) {
    ui::TBrowseFolderDialog browser(this);
    browser.Title = ui::Application->Title() + "\nChoose a Directory :-";
    const std::string typed = Edit1->Text;
    std::error_code ec;
    browser.Directory = isfolder(typed) ? typed : std::filesystem::current_path(ec).string();
    FolderChosen = browser.Execute();
    if (FolderChosen) Edit1->Text = browser.Directory;
}

}  // namespace mailbox
