#include "mailbox/kwutzp.h"

#include <algorithm>

#include "platform/rtl/sysutils.h"

namespace mailbox {

Tkwutzp* kwutzp = nullptr;

namespace {

ui::TLabel* label(ui::TForm* form, const char* text, int top) {
    auto* l = new ui::TLabel(form);
    l->Caption = text;
    l->SetBounds(12, top, 420, 16);
    return l;
}

ui::TEdit* edit(ui::TForm* form, int top, int width) {
    auto* e = new ui::TEdit(form);
    e->SetBounds(12, top + 18, width, 24);
    return e;
}

}  // namespace

Tkwutzp::Tkwutzp(rtl::TComponent* owner) : ui::TForm(owner) {
    kwutzp = this;
    Caption = "Pelliwox - Zip Options";
    BorderStyle = ui::bsDialog;
    Position = ui::poScreenCenter;
    SetBounds(0, 0, 470, 420);

    Label1 = label(this, "Zip Filename :-", 8);
    zpfnm = edit(this, 8, 400);
    zipbtn = new ui::TButton(this);
    zipbtn->Caption = "...";
    zipbtn->Hint = "Click to Choose Filename for Zip Archive";
    zipbtn->ShowHint = true;
    zipbtn->SetBounds(418, 26, 36, 24);
    zipbtn->OnClick = [this](rtl::TObject* s) { zipbtnClick(s); };

    Label2 = label(this, "Password to Encrypt Zip :-", 56);
    zppswd = edit(this, 56, 200);
    zppswd->PasswordChar = '*';
    zppswd->OnChange = [this](rtl::TObject* s) { zppswdChange(s); };

    Label3 = label(this, "Spanning Threshold in Bytes (0 for No Spanning) :-", 104);
    zpspn = edit(this, 104, 200);
    zpspn->Text = "0";
    zpspn->OnChange = [this](rtl::TObject* s) { zpspnChange(s); };

    Label4 = label(this, "Maximum No.of Files in Each Zip (0 for No Max.) :-", 152);
    zpmax = edit(this, 152, 200);
    zpmax->Text = "0";
    zpmax->OnChange = [this](rtl::TObject* s) { zpspnChange(s); };

    Label5 = label(this, "Encryption Method :-", 200);
    zipencmthd = new ui::TComboBox(this);
    zipencmthd->Style = ui::csDropDownList;
    zipencmthd->SetBounds(12, 218, 440, 24);
    for (const char* m : {"Standard PKZIP encryption (weak)", "Strong AES encryption with 128 bit key",
                          "Stronger AES encryption with 192 bit key", "Strongest AES encryption with 256 bit key"})
        zipencmthd->Items->Add(m);
    zipencmthd->ItemIndex = -1;  // no method until a password asks for one

    Label6 = label(this, "Compression Level (0 - No Compression, 9 - Full Compression) :-", 248);
    cplev = edit(this, 248, 48);
    cplev->ReadOnly = true;
    cplev->Text = "9";
    clv = new ui::TUpDown(this);
    clv->SetBounds(62, 266, 18, 24);
    clv->Min = 0;
    clv->Max = 9;
    clv->Associate = cplev;
    clv->Position = 9;

    chnkit = new ui::TCheckBox(this);
    chnkit->Caption = "Update Files in One Go";
    chnkit->SetBounds(12, 304, 300, 22);

    despatch = new ui::TButton(this);
    despatch->Caption = "OK";
    despatch->Default = true;
    despatch->SetBounds(260, 350, 90, 28);
    despatch->OnClick = [this](rtl::TObject* s) { despatchClick(s); };
    canx = new ui::TButton(this);
    canx->Caption = "Cancel";
    canx->Cancel = true;
    canx->ModalResult = ui::mrCancel;
    canx->SetBounds(362, 350, 90, 28);

    OpenDialog3 = new ui::TOpenDialog(this);
    OpenDialog3->Filter = "Zip archives (*.zip)|*.zip|All files (*)|*";
    OpenDialog3->DefaultExt = "zip";
}

Tkwutzp::~Tkwutzp() {
    if (kwutzp == this) kwutzp = nullptr;
}

void Tkwutzp::zipbtnClick(rtl::TObject*) {
    OpenDialog3->FileName = zpfnm->Text;
    if (OpenDialog3->Execute()) zpfnm->Text = OpenDialog3->FileName;
}

void Tkwutzp::zppswdChange(rtl::TObject*) {
    if (zppswd->Text().empty()) zipencmthd->ItemIndex = -1;
    else if (zipencmthd->ItemIndex() < 0) zipencmthd->ItemIndex = 3;
}

void Tkwutzp::zpspnChange(rtl::TObject*) {
    const bool split = rtl::StrToInt64Def(rtl::Trim(zpspn->Text()), 0) > 0 ||
                       rtl::StrToInt64Def(rtl::Trim(zpmax->Text()), 0) > 0;
    if (split) chnkit->Checked = false;
    chnkit->Enabled = !split;
}

void Tkwutzp::despatchClick(rtl::TObject*) { ModalResult = ui::mrOk; }

int Tkwutzp::Method() const {
    const int i = zipencmthd->ItemIndex();
    return i >= 1 && i <= 3 ? i : 0;
}

int Tkwutzp::Level() const { return std::clamp(static_cast<int>(clv->Position()), 0, 9); }

}  // namespace mailbox
