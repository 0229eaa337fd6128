#include "mailbox/kwem1.h"

#include <algorithm>

#include "helpers/edithelpers.h"
#include "helpers/kwutil.h"
#include "mailbox/commslog.h"
#include "mailbox/csvexport.h"
#include "mailbox/hdrdecode.h"
#include "mailbox/hstinf.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwfnddlg.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/answerer.h"

namespace mailbox {

TForm1* Form1 = nullptr;

namespace {

struct TColumnDef {
    const char* caption;
    int width;
};
const TColumnDef kColumns[] = {
    {"Msg", 45},           {"From", 150}, {"To", 130},       {"Subject", 150},    {"Date and Time", 150},
    {"Size", 60},          {"First Few Lines", 250}, {"Matched", 165}, {"Attachments", 250}, {"Character Set", 90},
};
constexpr int kColumnCount = 10;

const ui::TColor kWhiteColour = ui::RGB(255, 255, 0);
const ui::TColor kMarkedColour = ui::RGB(192, 192, 192);
const ui::TColor kOddColour = ui::RGB(76, 218, 245);
const ui::TColor kEvenColour = ui::RGB(122, 221, 122);

const char* const kHelpText =
    "Click Column Header to Sort that Column\r\n"
    "Right-Click Column Header to Search that Column\r\n"
    "Del to Mark Email as Deleted\r\n"
    "Ctrl+Del to Recall Email\r\n"
    "Alt+Up/Down Prev/Next Whitelist hit\r\n"
    "Double Click or Enter to Get Message from Cache/Server\r\n"
    "Ctrl+Enter Get Msg from Server (Bypass Cache)\r\n"
    "\r\n"
    "Entries marked with * will be permanently deleted on manual disconnect or quit";

helpers::TFontSpec fontSpec(const ui::TFont& f) {
    helpers::TFontSpec s;
    s.Name = f.Name;
    s.Size = f.Size;
    s.Color = f.Color;
    s.Style = f.Style;
    return s;
}

void applyFontSpec(ui::TFont& f, const helpers::TFontSpec& s) {
    f.Name = s.Name;
    f.Size = s.Size;
    f.Color = s.Color;
    f.Style = s.Style;
}

}  // namespace

// ---------------------------------------------------------------- life

TForm1::TForm1(rtl::TComponent* Owner)
    : ui::TForm(Owner), Session(std::make_unique<TMailboxSession>(helpers::homedir)),
      MailboxCount(Session->MailboxCount), HdrCharset(Session->HdrCharset), LastHost(Session->LastHost),
      LineList(Session->LineList), MessageKey(Session->MessageKey), rows_(&Session->Rows()),
      rowsAccount_(Session->RowsAccount), lastFailure_(Session->Failure()) {
    Form1 = this;
    ProgramFolder = helpers::homedir;
    HostsPath = ProgramFolder + "kwpop3hosts.txt";
    if (ui::Application) {
        ui::Application->HintPause = 10;
        ui::Application->HintHidePause = 50000;
        ui::Application->HintShortPause = 1;
    }
    buildControls();
    bindEvents();
    Timer3->Enabled = true;
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
    // The session's events reach into the window: none may fire while it goes.
    Session->OnDisplay = nullptr;
    Session->OnLog = Session->OnStatus = Session->OnProgress = nullptr;
    Session->OnConnState = nullptr;
    Session->OnRefresh = nullptr;
    Session->OnCleared = nullptr;
    Session->StopAsked = nullptr;
}

void TForm1::buildControls() {
    Caption = "Pelliwox - F1 for Help";
    SetBounds(40, 40, 1000, 640);
    Constraints->MinWidth = 800;
    Constraints->MinHeight = 400;
    KeyPreview = false;

    auto* panel = new ui::TPanel(this);
    panel->Align = ui::alTop;
    panel->Height = 112;
    auto button = [&](ui::TBitBtn*& b, const char* caption, int x, int y, int w) {
        b = new ui::TBitBtn(panel);
        b->Caption = caption;
        b->SetBounds(x, y, w, 28);
    };
    button(BitBtn1, "&Get Emails", 8, 8, 110);
    button(BitBtn8, "&Disconnect", 8, 42, 110);
    button(BitBtn4, "&Spam Check", 126, 42, 110);
    button(BitBtn2, "&Mark", 244, 42, 70);
    button(BitBtn3, "&Recall", 320, 42, 70);
    button(BitBtn7, "Mark &Rest", 396, 42, 90);
    button(BitBtn5, "Spam &List", 494, 42, 90);
    button(BitBtn6, "&White List", 592, 42, 90);
    button(BitBtn9, "&Compose", 690, 42, 90);
    button(gtgdems, "Remove To &Folder", 126, 76, 140);
    button(xplor, "Received F&older", 272, 76, 140);
    button(BitBtn11, "Summar&y", 418, 76, 90);
    button(BitBtn12, "&Viewer", 514, 76, 90);
    button(BitBtn10, "Re&ply", 610, 76, 80);
    button(BitBtn13, "Forw&ard", 696, 76, 84);
    BitBtn10->Hint = "Reply to the Selected Email\r\nRight-Click to Reply to All";
    BitBtn11->Hint = "Toggle Summary Viewer\r\nRight-Click for the List Font";
    BitBtn12->Hint = "Toggle Message Viewer\r\nRight-Click for the POP3 Timeout";
    xplor->Hint = "Explore RCVD directory.\r\nRight-Click to Archive and move all\r\nRCVD files older than 30 days to a zip "
                  "file.\r\nRight-Click again to Stop Archiving.";
    Button1 = new ui::TButton(panel);
    Button1->Caption = "POP3";
    Button1->SetBounds(8, 76, 110, 28);

    pop3host = new ui::TComboBox(panel);
    pop3host->Style = ui::csDropDownList;
    pop3host->DropDownCount = 20;
    pop3host->MaxLength = 999;
    pop3host->SetBounds(126, 10, 280, 24);
    Edit1 = new ui::TEdit(panel);
    Edit1->ReadOnly = true;
    Edit1->SetBounds(414, 10, 180, 24);
    Edit2 = new ui::TEdit(panel);
    Edit2->ReadOnly = true;
    Edit2->PasswordChar = '*';
    Edit2->SetBounds(602, 10, 110, 24);
    CheckBox1 = new ui::TCheckBox(panel);
    CheckBox1->Caption = "Check Every";
    CheckBox1->SetBounds(720, 12, 100, 22);
    rfint = new ui::TEdit(panel);
    rfint->ReadOnly = true;
    rfint->Text = "5";
    rfint->SetBounds(822, 10, 48, 24);
    UpDown1 = new ui::TUpDown(panel);
    UpDown1->Min = 1;
    UpDown1->Max = 9999;
    UpDown1->Wrap = true;
    UpDown1->Associate = rfint;
    UpDown1->Position = 5;
    Label4 = new ui::TLabel(panel);
    Label4->AutoSize = false;  // its place is fixed; it changes with every message
    Label4->Caption = "0 of 0\r\nViewing 0\r\n0 bytes";
    Label4->SetBounds(790, 44, 200, 48);
    Label1 = new ui::TLabel(panel);
    Label1->Caption = "0 spam / 0 whitelist";
    Label1->SetBounds(790, 92, 200, 18);

    StatusBar1 = new ui::TStatusBar(this);
    StatusBar1->Panels->Add()->Width = 1280;
    buildList();

    auto timer = [&](ui::TTimer*& t, int interval) {
        t = new ui::TTimer(this);
        t->Enabled = false;
        t->Interval = interval;
    };
    timer(Timer1, 300000);
    timer(Timer2, 40000);
    timer(Timer3, 200);
    timer(Timer4, 300);
    timer(HostsReload, 500);
    HostsReload->OnTimer = [this](rtl::TObject*) { LoadHostCombo(); };
    FontDialog1 = new ui::TFontDialog(this);
    FontDialog1->Options = ui::fdEffects | ui::fdApplyButton;

    SslContext1 = &Session->Context();
    SslPop3Cli1 = &Session->Client();
}

void TForm1::buildList() {
    ListView1 = new ui::TListView(this);
    ListView1->Align = ui::alClient;
    ListView1->MultiSelect = true;
    ListView1->GridLines = true;
    ListView1->HideSelection = false;
    ListView1->Font->Name = "Arial";
    ListView1->Font->Height = -9;
    for (const auto& c : kColumns) {
        ui::TListColumn* col = ListView1->Columns->Add();
        col->Caption = c.caption;
        col->Width = c.width;
    }
    ListView1->Columns[0]->Caption = std::string("v ") + kColumns[0].caption;
}

void TForm1::bindEvents() {
    using std::placeholders::_1;
    Timer1->OnTimer = [this](rtl::TObject* s) { Timer1Timer(s); };
    Timer2->OnTimer = [this](rtl::TObject* s) { Timer2Timer(s); };
    Timer3->OnTimer = [this](rtl::TObject* s) { Timer3Timer(s); };
    Timer4->OnTimer = [this](rtl::TObject* s) { Timer4Timer(s); };
    OnCloseQuery = [this](rtl::TObject* s, bool& c) { FormCloseQuery(s, c); };
    UpDown1->OnClick = [this](rtl::TObject* s, ui::TUDBtnType) { UpDown1Click(s); };
    CheckBox1->OnClick = [this](rtl::TObject* s) { CheckBox1Click(s); };
    auto popup = [](std::function<void(rtl::TObject*)> f) {
        return [f](rtl::TObject* s, ui::TPoint, bool& handled) {
            handled = true;
            f(s);
        };
    };
    BitBtn12->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn12ContextPopup(s); });
    BitBtn11->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn11ContextPopup(s); });
    BitBtn11->OnClick = [this](rtl::TObject* s) { BitBtn11Click(s); };
    BitBtn12->OnClick = [this](rtl::TObject* s) { BitBtn12Click(s); };
    gtgdems->OnClick = [this](rtl::TObject* s) { gtgdemsClick(s); };
    xplor->OnClick = [this](rtl::TObject* s) { xplorClick(s); };
    xplor->OnContextPopup = [this](rtl::TObject* s, ui::TPoint p, bool& h) { xplorContextPopup(s, p, h); };
    Arkivolt1 = std::make_unique<zip::TArkivolt>();
    Arkivolt1->Name = "Arkivolt1";
    Arkivolt1->SetCompressionLevel(zip::clMax);
    FontDialog1->OnApply = [this](rtl::TObject*) { ListView1->Font->Assign(*FontDialog1->Font); };
    Button1->OnClick = [this](rtl::TObject* s) { Button1Click(s); };
    Button1->OnContextPopup = popup([this](rtl::TObject* s) { Button1ContextPopup(s); });
    pop3host->OnChange = [this](rtl::TObject* s) { pop3hostChange(s); };

    ListView1->OnData = [this](rtl::TObject* s, ui::TListItem* i) { ListView1Data(s, i); };
    ListView1->OnColumnClick = [this](rtl::TObject* s, ui::TListColumn* c) { ListView1ColumnClick(s, c); };
    ListView1->OnColumnRightClick = [this](rtl::TObject* s, ui::TListColumn* c, ui::TPoint) {
        ListView1ColumnRightClick(s, c);
    };
    ListView1->OnCustomDrawItem = [this](rtl::TObject* s, ui::TListItem* i, ui::TCustomDrawState st, bool& d) {
        ListView1CustomDrawItem(s, i, st, d);
    };
    ListView1->OnDblClick = [this](rtl::TObject* s) { ListView1DblClick(s); };
    ListView1->OnClick = [this](rtl::TObject* s) { ListView1Click(s); };
    ListView1->OnKeyUp = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { ListView1KeyUp(s, k, sh); };
    auto keys = [this](rtl::TObject* s, ui::WORD& k, ui::TShiftState sh) { ListView1KeyDown(s, k, sh); };
    for (ui::TWinControl* c : std::initializer_list<ui::TWinControl*>{
             ListView1, BitBtn1, BitBtn2, BitBtn3, BitBtn4, BitBtn5, BitBtn6, BitBtn7, BitBtn8, BitBtn9, BitBtn10,
             BitBtn11, BitBtn12, BitBtn13, Button1, gtgdems, xplor, Edit1, Edit2, pop3host, CheckBox1})
        c->OnKeyDown = keys;

    bindReply();
    BitBtn1->OnClick = [this](rtl::TObject* s) { BitBtn1Click(s); };
    BitBtn1->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn1ContextPopup(s); });
    BitBtn2->OnClick = [this](rtl::TObject*) { SetDeleteMark(true); };
    BitBtn2->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn2ContextPopup(s); });
    BitBtn3->OnClick = [this](rtl::TObject*) { SetDeleteMark(false); };
    BitBtn4->OnClick = [this](rtl::TObject* s) { BitBtn4Click(s); };
    BitBtn5->OnClick = [this](rtl::TObject* s) { BitBtn5Click(s); };
    BitBtn6->OnClick = [this](rtl::TObject* s) { BitBtn6Click(s); };
    BitBtn7->OnClick = [this](rtl::TObject* s) { BitBtn7Click(s); };
    BitBtn8->OnClick = [this](rtl::TObject*) { BitBtn8Click(); };
    BitBtn8->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn8ContextPopup(s); });

    wireSession();
}

// ---------------------------------------------------------------- start-up

void TForm1::Timer3Timer(rtl::TObject*) {
    Timer3->Enabled = false;
    ++StartupSteps;
    SmtpStartup();
    if (hostinfo) {
        hostinfo->HostsPath = HostsPath;
        hostinfo->OnHostsSaved = [this](rtl::TObject*) { LoadHostCombo(); };
    }
    LoadHostCombo();
    SpamList.Clear();
    WhiteList.Clear();
    if (BitBtn1->CanFocus()) BitBtn1->SetFocus();
    ActOnCommandLine(helpers::exeparam(1));
    StartComposer(helpers::exeparam(1));
    ApplyConfig(helpers::loadtext(ProgramFolder + "pelliwox.cfg"));
}

void TForm1::ActOnCommandLine(const std::string& Param) {
    if (Param.empty()) return;
    if (IsPullParam(Param)) {
        PullHost = rtl::CopyFrom(Param, 6);
        return;
    }
    // A mail address, with "subject=" and "body=" parts; the composer comes later.
    helpers::TMailtoLink link;
    std::string why;
    if (!helpers::readmailto(Param, link, why)) helpers::errreport(why);
    ComposeAddress = link.address;
    ComposeSubject = link.subject;
    ComposeBody = link.body;
}

void TForm1::ApplyConfig(const std::string& Text) {
    if (Text.size() <= 10) return;
    helpers::TFontSpec spec = fontSpec(*ListView1->Font);
    helpers::txttofont(helpers::getdelimel(Text, "|", 1), spec);
    applyFontSpec(*ListView1->Font, spec);
    SslPop3Cli1->Timeout = ConfigTimeout(Text);
}

std::string TForm1::ConfigText() const {
    return helpers::fonttotxt(fontSpec(*ListView1->Font)) + "|" + rtl::IntToStr(SslPop3Cli1->Timeout);
}

// ---------------------------------------------------------------- closing

bool TForm1::RunActive() const { return BusyFlag || ReceivingFlag || retrieving_ || markingRun_; }

void TForm1::FormCloseQuery(rtl::TObject*, bool& CanClose) {
    if (ReceivingFlag) {
        helpers::errreport("Still Receiving an Email...");
        CanClose = false;
        return;
    }
    // Nothing is freed under a running loop: the run is asked to stop first.
    if (RunActive()) {
        if (retrieving_) StopFlag = true;
        markStop_ = true;
        helpers::errreport("Stopping the current run - please close again when it has ended");
        CanClose = false;
        return;
    }
    // Quitting takes the composer with it: its unsaved text is offered as a
    // draft first, and stays when the draft could not be written.
    if (Composer && !Composer->OfferDraft()) {
        CanClose = false;
        return;
    }
    CanClose = true;
    Timer1->Enabled = false;
    try {
        EraseMarkedAndQuit();
        ListView1->Items->Count = 0;
        helpers::savetext(ProgramFolder + "pelliwox.cfg", ConfigText());
        if (hostinfo && hostinfo->svfltrsbtn->Enabled) {
            hostinfo->Show();
            if (helpers::askyesno("Save Changes to the Hosts Configuration")) {
                hostinfo->svfltrsbtnClick(hostinfo);
                helpers::waitpump(90);
            }
        }
        const std::string parts = helpers::dirlist(ProgramFolder, "kw64_{*}.*", "", "", "");
        rtl::TStringList names;
        names.SetText(parts);
        for (const std::string& n : names)
            if (!rtl::Trim(n).empty()) helpers::deleteretry(ProgramFolder + rtl::Trim(n));
    } catch (...) {
        // Closing goes on whatever a step could not do.
    }
}

// ---------------------------------------------------------------- timers

void TForm1::Timer1Timer(rtl::TObject*) {
    // A check never starts while another run owns the connection.
    if (RunActive()) return;
    Timer1->Enabled = false;
    BitBtn1Click(BitBtn1);
    // Unticked during the check: no more checks.
    Timer1->Enabled = CheckBox1->Checked();
}

void TForm1::Timer2Timer(rtl::TObject*) {
    if (!RunActive() && !Session->CommandRunning() && SslPop3Cli1->Connected() && SslPop3Cli1->State() == mail::pop3Ready)
        SslPop3Cli1->NoopSync();
}

void TForm1::Timer4Timer(rtl::TObject*) {
    Timer4->Enabled = false;
    Close();
    // A pull ends, whatever closing could not do.
    if (!PullHost.empty() && !ui::Application->Terminated()) ui::Application->Terminate();
}

void TForm1::UpDown1Click(rtl::TObject*) { Timer1->Interval = rtl::StrToIntDef(rfint->Text(), 5) * 60000; }

void TForm1::CheckBox1Click(rtl::TObject*) { Timer1->Enabled = CheckBox1->Checked(); }

void TForm1::BitBtn12ContextPopup(rtl::TObject*) {
    std::string answer = rtl::IntToStr(SslPop3Cli1->Timeout);
    const int64_t v =
        helpers::asknumber("Pelliwox POP3 Timeout", "Enter Timeout Value in Seconds (Range 10-9999) :-", answer);
    if (v >= 10 && v <= 9999) SslPop3Cli1->Timeout = static_cast<int>(v);
}

void TForm1::BitBtn11ContextPopup(rtl::TObject*) {
    FontDialog1->Font->Assign(*ListView1->Font);
    if (FontDialog1->Execute()) ListView1->Font->Assign(*FontDialog1->Font);
}

void TForm1::Button1Click(rtl::TObject*) {
    if (pop3host->CanFocus()) pop3host->SetFocus();
    if (hostinfo) hostinfo->Show();
}

void TForm1::Button1ContextPopup(rtl::TObject*) {
    if (!cmmslog) return;
    cmmslog->Show();
    cmmslog->Flush();
    const int len = static_cast<int>(cmmslog->Memo1->Text().size());
    cmmslog->Memo1->SelStart = len;
    cmmslog->Memo1->SelLength = 0;
}

// ---------------------------------------------------------------- hosts

void TForm1::LoadHostCombo() {
    if (RunActive()) {
        HostsReload->Enabled = true;
        return;
    }
    HostsReload->Enabled = false;
    if (!helpers::pathexists(HostsPath) || !hostinfo) return;
    hostRows_.clear();
    for (const std::string& line : HostsLines(hostinfo->ReadHostsText())) hostRows_.push_back(HostFields(line));
    const int keep = std::max(0, static_cast<int>(pop3host->ItemIndex));
    pop3host->Items->Clear();
    for (const THostFields& row : hostRows_) pop3host->Items->Add(row[0]);
    pop3host->ItemIndex = std::min(keep, pop3host->Items->Count - 1);
    helpers::combofit(pop3host, ListView1);
    pop3hostChange(pop3host);
}

void TForm1::pop3hostChange(rtl::TObject*) {
    // A host change during a run would mix two mailboxes: it is taken when
    // the run has ended.
    if (RunActive()) {
        hostChangeWaiting_ = true;
        return;
    }
    hostChangeWaiting_ = false;
    const int i = pop3host->ItemIndex;
    if (i < 0 || i >= static_cast<int>(hostRows_.size())) return;
    const THostFields& row = hostRows_[static_cast<size_t>(i)];
    Edit1->Text = row[1];
    Edit2->Text = row[2];
    SmtpHost = row[3];
    SmtpFrom = row[4];
}

// ---------------------------------------------------------------- list

std::string TForm1::ColumnText(int R, int Col) const {
    const TRowStore& s = *rows_;
    const TMsgRow& row = s.Row(R);
    auto text = [&](TRowText f) { return std::string(s.Text(R, f)); };
    switch (Col) {
        case 0: return (row.DeleteMark ? "*" : "") + helpers::numsep(row.MessageNo);
        case 1: {
            const std::string reply = text(rtReplyTo);
            return reply.empty() ? text(rtFrom) : text(rtFrom) + " (Reply:" + reply + ")";
        }
        case 2: {
            const std::string cc = text(rtCc);
            return cc.empty() ? text(rtTo) : text(rtTo) + " (Cc:" + cc + ")";
        }
        case 3: return text(rtSubject);  // "[not fetched: why]" for a message whose TOP failed
        case 4: return text(rtOrgDate);
        case 5: return helpers::numsep(row.Size);
        case 6: return text(rtFirstlines);
        case 7: return text(rtMatched);
        case 8: return text(rtAttachment);
        case 9: return text(rtCharset);
        default: return {};
    }
}

void TForm1::ListView1Data(rtl::TObject*, ui::TListItem* Item) {
    const int r = Item->Index;
    if (r < 0 || r >= RowCount()) return;
    Item->Caption = ColumnText(r, 0);
    rtl::TStringList& sub = *Item->SubItems;
    for (int c = 1; c < kColumnCount; ++c) {
        std::string t = ColumnText(r, c);
        DropNul(t);  // a NUL would cut the text the list shows
        if (sub.Count() < c) sub.Add(std::move(t));
        else sub.Put(c - 1, std::move(t));
    }
}

ui::TColor TForm1::RowColour(int R) const {
    const TMsgRow& row = rows_->Row(R);
    if (row.WhiteHit) return kWhiteColour;
    if (row.DeleteMark) return kMarkedColour;
    return (R % 2) ? kOddColour : kEvenColour;
}

void TForm1::ListView1CustomDrawItem(rtl::TObject*, ui::TListItem* Item, ui::TCustomDrawState, bool& DefaultDraw) {
    const int r = Item->Index;
    if (r >= 0 && r < RowCount()) ListView1->Canvas->Brush->Color = RowColour(r);
    DefaultDraw = true;
}

void TForm1::ListView1ColumnClick(rtl::TObject*, ui::TListColumn* Column) { SortByColumn(Column->Index() + 1); }

void TForm1::SortByColumn(int Column) {
    // A run fills and walks rows by their place in the list.
    if (RunActive()) {
        StatusText(kBusy);
        return;
    }
    ui::Screen->Cursor = ui::crHourGlass;
    const int old = std::abs(SortKey) - 1;
    ui::TListColumn* oldCol = ListView1->Columns[old];
    oldCol->Caption = rtl::CopyFrom(oldCol->Caption(), 3);
    if (std::abs(SortKey) == Column) SortKey = -SortKey;
    else SortKey = SortKey < 0 ? -Column : Column;
    SortRows();
    ui::TListColumn* col = ListView1->Columns[std::abs(SortKey) - 1];
    col->Caption = std::string(SortKey < 0 ? "^ " : "v ") + col->Caption();
    ui::Screen->Cursor = ui::crDefault;
}

void TForm1::SortRows() {
    const std::string status = StatusBar1->Panels[0]->Text;
    const int sel = SelectedIndex();
    const int selected = sel >= 0 ? rows_->Row(sel).MessageNo : 0;
    StatusText(status + " - Sorting ..");
    rows_->Sort(SortKey);
    StatusText(status);
    for (int i = 0; i < RowCount() && selected != 0; ++i)
        if (rows_->Row(i).MessageNo == selected) {
            SelectRow(i);
            break;
        }
    RefreshRow(-1);
}

int TForm1::SelectedIndex() const { return ListView1->ItemIndex; }

void TForm1::RefreshRow(int Index) {
    if (RowCount() == 0) return;
    if (Index < 0) ListView1->UpdateItems(0, RowCount() - 1);
    else ListView1->UpdateItems(Index, Index);
}

void TForm1::SelectRow(int Index) {
    if (Index < 0 || Index >= ListView1->Items->Count) return;
    ListView1->ClearSelection();
    ListView1->ItemIndex = Index;
    ListView1->Items->Item(Index)->MakeVisible(false);
}

void TForm1::StatusText(const std::string& Text) {
    StatusBar1->Panels[0]->Text = Text;
    StatusBar1->Repaint();
}

void TForm1::ListView1KeyDown(rtl::TObject*, ui::WORD& Key, ui::TShiftState Shift) {
    const ui::TShiftState mods = ui::KeyModifiers(Shift);
    auto take = [&](auto&& action) {
        Key = 0;
        action();
    };
    // Home and End (with or without Ctrl) go to the first and the last
    // message, as in any mail list; the grid would only move across columns.
    if ((Key == ui::VK_HOME || Key == ui::VK_END) && (mods == 0 || mods == ui::ssCtrl)) {
        const int to = Key == ui::VK_HOME ? 0 : RowCount() - 1;
        Key = 0;
        if (to >= 0) SelectRow(to);
        return;
    }
    if (Key == ui::VK_RETURN && mods == 0) take([&] { ListView1DblClick(ListView1); });
    else if (Key == ui::VK_RETURN && mods == ui::ssCtrl) take([&] { OpenMessage(true); });
    else if (Key == ui::VK_DELETE && mods == 0) take([&] { SetDeleteMark(true); });
    else if (Key == ui::VK_DELETE && mods == ui::ssCtrl) take([&] { SetDeleteMark(false); });
    else if (Key == ui::VK_DOWN && mods == ui::ssAlt) take([&] { FindWhiteHit(false); });
    else if (Key == ui::VK_UP && mods == ui::ssAlt) take([&] { FindWhiteHit(true); });
    else if (Key == ui::VK_F1 && mods == 0) take([&] { helpers::errreport(kHelpText); });
}

void TForm1::ListView1DblClick(rtl::TObject*) { OpenMessage(false); }

int TForm1::FindMatchingRow(int From, int Column, const std::string& Search) const {
    static const TRowText field[] = {rtFrom, rtFrom, rtFrom, rtTo, rtSubject, rtOrgDate, rtOrgDate,
                                     rtFirstlines, rtMatched, rtAttachment, rtCharset};
    if (Column == 1 || Column == 6) {
        for (int i = From; i < RowCount(); ++i) {
            const TMsgRow& row = rows_->Row(i);
            if (rtl::IntToStr(Column == 1 ? row.MessageNo : row.Size) == Search) return i;
        }
        return -1;
    }
    if (Column < 1 || Column > 10) return -1;
    // Compiled once for the whole column; a pattern that does not compile
    // has been reported.
    const helpers::PRegex re = helpers::patternregex(Search, false);
    if (!re) return -1;
    return rows_->FindRow(From, field[Column], [&](std::string_view t) { return !t.empty() && helpers::rexec(*re, t); });
}

void TForm1::ListView1ColumnRightClick(rtl::TObject*, ui::TListColumn* Column) {
    if (ListView1->ScrollPos(true) > 10) {
        helpers::errreport("Please horizontally scroll to the left");
        return;
    }
    std::string search = lastSearch_;
    const int column = Column->Index() + 1;
    if (!kwfind || !kwfind->Execute("Pelliwox - Locate a Row",
                                    "Enter Search String for Column '" + Column->Caption() + "'", false, search))
        return;
    const int sel = SelectedIndex();
    int start = sel < 0 ? 0 : sel + (search == lastSearch_ ? 1 : 0);
    lastSearch_ = search;
    // Down the list as it is sorted, from the current row, then on from
    // the top round to it.
    int i = FindMatchingRow(start, column, search);
    if (i < 0 && start > 0) i = FindMatchingRow(0, column, search);
    if (i < 0) {
        helpers::errreport("No More Found");
        return;
    }
    SelectRow(i);
    RefreshRow(i);
    if (ListView1->CanFocus()) ListView1->SetFocus();
}

void TForm1::walkRows(bool Backward, const std::function<bool(const TMsgRow&)>& Stop) {
    const int step = Backward ? -1 : 1;
    const int sel = SelectedIndex();
    int i = sel >= 0 ? sel + step : (Backward ? RowCount() - 1 : 0);
    for (; i >= 0 && i < RowCount(); i += step) {
        if (!Stop(rows_->Row(i))) continue;
        SelectRow(i);
        RefreshRow(0);
        return;
    }
    helpers::errreport("No More Found");
}

void TForm1::FindWhiteHit(bool Backward) {
    walkRows(Backward, [](const TMsgRow& r) { return r.WhiteHit; });
}

void TForm1::GoUnmarkedRow(bool Backward) {
    walkRows(Backward, [](const TMsgRow& r) { return !r.DeleteMark; });
}

int TForm1::CountMarked() const {
    int n = 0;
    for (int i = 0; i < RowCount(); ++i) n += rows_->Row(i).DeleteMark ? 1 : 0;
    return n;
}

void TForm1::SetDeleteMark(bool Value) {
    for (int i : ListView1->SelectedIndexes()) {
        if (i >= RowCount()) continue;
        rows_->Row(i).DeleteMark = Value;
        RefreshRow(i);
    }
    if (ListView1->CanFocus()) ListView1->SetFocus();
    const std::string old = Label1->Caption;
    const int slash = rtl::Pos("/", old);
    Label1->Caption = helpers::numsep(CountMarked()) + " spam / " + rtl::Trim(rtl::CopyFrom(old, slash + 1));
}

void TForm1::BitBtn2ContextPopup(rtl::TObject*) {
    const int sel = SelectedIndex();
    if (sel < 0) return;
    const int target = std::min(sel + 1, RowCount() - 1);
    SetDeleteMark(true);
    SelectRow(target);
    ListView1Click(ListView1);
}

}  // namespace mailbox
