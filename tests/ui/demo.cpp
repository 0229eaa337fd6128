// A window with one of each control, laid out like the program's main
// window, for looking at. With --grab FILE it draws itself into a PNG file
// and ends; otherwise it runs until closed.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <string>

#include "platform/rtl/sysutils.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/grids.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "platform/win/pump.h"

using namespace ui;

namespace {

class TDemoForm : public TForm {
public:
    explicit TDemoForm(rtl::TComponent* owner) : TForm(owner) {
        Caption = "Pelliwox - F1 for Help";
        SetBounds(40, 40, 900, 560);
        Constraints->MinWidth = 800;
        Constraints->MinHeight = 400;
        buildMenu();
        buildPanel();
        buildList();
        StatusBar1 = new TStatusBar(this);
        StatusBar1->Panels->Add()->Width = 1280;
        StatusBar1->Panels[0]->Text = "Connected - 1,500,000 messages";
    }

    TStatusBar* StatusBar1;
    TListView* ListView1;

private:
    void buildMenu() {
        auto* menu = new TMainMenu(this);
        auto* file = new TMenuItem(this);
        file->Caption = "&File";
        auto* exit = new TMenuItem(this);
        exit->Caption = "E&xit";
        exit->ShortCut = ShortCut('Q', ssCtrl);
        exit->OnClick = [this](rtl::TObject*) { Close(); };
        file->Add(exit);
        menu->Items->Add(file);
        Menu = menu;
    }

    void buildPanel() {
        auto* panel = new TPanel(this);
        panel->Height = 150;
        panel->Align = alTop;
        panel->BevelOuter = bvNone;
        auto* get = new TBitBtn(panel);
        get->Caption = "&Get Emails";
        get->SetBounds(8, 8, 110, 28);
        auto* combo = new TComboBox(panel);
        combo->Style = csDropDownList;
        combo->Items->Text = "pop.example.org/-995 (work)\r\nmail.example.net/+110";
        combo->ItemIndex = 0;
        combo->SetBounds(126, 10, 260, 24);
        auto* user = new TEdit(panel);
        user->Text = "alice@example.org";
        user->ReadOnly = true;
        user->SetBounds(394, 10, 160, 24);
        auto* password = new TEdit(panel);
        password->PasswordChar = '*';
        password->Text = "secret";
        password->SetBounds(562, 10, 100, 24);
        auto* check = new TCheckBox(panel);
        check->Caption = "Check Every";
        check->Checked = true;
        check->SetBounds(8, 46, 100, 22);
        auto* minutes = new TEdit(panel);
        minutes->ReadOnly = true;
        minutes->SetBounds(110, 46, 60, 22);
        auto* upDown = new TUpDown(panel);
        upDown->Min = 1;
        upDown->Max = 9999;
        upDown->Wrap = true;
        upDown->Associate = minutes;
        upDown->Position = 5;
        auto* counts = new TLabel(panel);
        counts->Caption = "1,500,000 of 1,500,000\r\nViewing 1,500,000\r\n123,456,789 bytes";
        counts->SetBounds(190, 46, 200, 48);
        auto* spam = new TLabel(panel);
        spam->Caption = "12 spam / 3 whitelist";
        spam->Font->Color = clMaroon;
        spam->SetBounds(394, 46, 160, 20);
        auto* memo = new TMemo(panel);
        memo->Text = "12:01:02 - > STAT\r\n12:01:02 - < +OK 1500000 123456789\r\n\xC3\xA9t\xC3\xA9 \xE2\x82\xAC";
        memo->ScrollBars = ssVertical;
        memo->SetBounds(680, 8, 210, 86);
        auto* rich = new TRichEdit(panel);
        rich->Text = "<HTML><BODY>Hello</BODY></HTML>";
        rich->SetBounds(8, 100, 380, 44);
        rich->SelStart = 0;
        rich->SelLength = 6;
        rich->SelAttributes->Color = RGB(0x80, 0x80, 0x80);
        rich->SelStart = 12;
        rich->SelLength = 5;
        rich->SelAttributes->Color = RGB(0xC2, 0x62, 0x97);
        rich->SelStart = 0;
        auto* grid = new TStringGrid(panel);
        grid->FixedCols = 0;
        grid->ColCount = 3;
        grid->RowCount = 2;
        grid->DefaultRowHeight = 20;
        grid->Cells[0][0] = " POP3 Host";
        grid->Cells[1][0] = " Email Username";
        grid->Cells[2][0] = " Password";
        grid->Cells[0][1] = "pop.example.org/-995";
        grid->Cells[1][1] = "alice";
        grid->SetBounds(396, 98, 300, 48);
        auto* group = new TRadioGroup(panel);
        group->Caption = "Direction :-";
        group->Items->Text = "Up\r\nDown";
        group->Columns = 2;
        group->ItemIndex = 1;
        group->SetBounds(704, 98, 186, 48);
    }

    void buildList() {
        ListView1 = new TListView(this);
        ListView1->Align = alClient;
        ListView1->MultiSelect = true;
        ListView1->GridLines = true;
        ListView1->Font->Name = "Arial";
        ListView1->Font->Height = -11;
        const struct {
            const char* caption;
            int width;
        } columns[] = {{"v Msg", 60}, {"From", 150}, {"To", 130}, {"Subject", 200}, {"Date and Time", 150}, {"Size", 60}};
        for (const auto& c : columns) {
            TListColumn* col = ListView1->Columns->Add();
            col->Caption = c.caption;
            col->Width = c.width;
        }
        ListView1->OnData = [](rtl::TObject*, TListItem* item) {
            const int i = item->Index;
            item->Caption = (i % 7 == 2 ? "*" : "") + rtl::IntToStr(i + 1);
            item->SubItems->Add("sender" + rtl::IntToStr(i % 13) + "@example.org");
            item->SubItems->Add("alice@example.org");
            item->SubItems->Add(i % 5 == 0 ? "Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC" : "Subject " + rtl::IntToStr(i));
            item->SubItems->Add("Mon, 1 Jan 2024 10:00:00 +0000");
            item->SubItems->Add(rtl::IntToStr(1000 + i * 17));
        };
        ListView1->OnCustomDrawItem = [this](rtl::TObject*, TListItem* item, TCustomDrawState, bool&) {
            const int i = item->Index;
            TColor c = i % 2 ? RGB(76, 218, 245) : RGB(122, 221, 122);
            if (i % 7 == 2) c = RGB(192, 192, 192);
            if (i % 11 == 4) c = RGB(255, 255, 0);
            ListView1->Canvas->Brush->Color = c;
        };
        ListView1->Items->Count = 1500000;
        ListView1->Items[1]->Selected = true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Application->Initialize();
    UseQtDialogs();
    TDemoForm* form = nullptr;
    Application->CreateForm(form);
    const std::string grab = argc > 2 && std::string(argv[1]) == "--grab" ? argv[2] : "";
    if (grab.empty()) {
        Application->Run();
        return 0;
    }
    form->Show();
    win::PumpFor(1500);
    const QImage image = form->ScreenImage();
    if (!image.save(QString::fromStdString(grab), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", grab.c_str());
        return 1;
    }
    std::printf("%s: %dx%d\n", grab.c_str(), image.width(), image.height());
    return 0;
}
