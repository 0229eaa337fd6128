// The message viewer and HTML editor.
#include "composer/brwsvwr.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "mailbox/msgrender.h"

#include "composer/mlsend.h"

#include "helpers/kwutil.h"
#include "mailbox/kwdlgsrc.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwem1.h"
#include "platform/browser/pagesetup.h"
#include "platform/browser/webbrowser.h"
#include "platform/rtl/sysutils.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/printers.h"
#include "platform/win/pump.h"

#include <QUrl>

namespace composer {

Tbrwsvwr* brwsvwr = nullptr;
int Tbrwsvwr::ElementCounter = 0;

const TViewerCommand kViewerCommands[] = {
    {"BACKCOLOR", 51}, {"BASELINEFONT1", 2141}, {"BASELINEFONT2", 2142}, {"BASELINEFONT3", 2143},
    {"BASELINEFONT4", 2144}, {"BASELINEFONT5", 2145}, {"BLOCKDIRLTR", 2352}, {"BLOCKDIRRTL", 2353},
    {"BLOCKFMT", 2234}, {"BOLD", 52}, {"BOOKMARK", 2123}, {"BREAKATNEXT", 2311}, {"BROWSEMODE", 2126},
    {"BUTTON", 2167}, {"CHECKBOX", 2163}, {"CLEARSELECTION", 2007}, {"CONTEXTMENU", 2280}, {"COPY", 15},
    {"COPYBACKGROUND", 2265}, {"CREATESHORTCUT", 2266}, {"CUT", 16}, {"DELETE", 17}, {"DELETEWORD", 92},
    {"DIRLTR", 2350}, {"DIRRTL", 2351}, {"DROPDOWNBOX", 2165}, {"EDITMODE", 2127},
    {"ENABLE_INTERACTION", 2302}, {"EXECPRINT", 93}, {"FIND", 67}, {"FONT", 90}, {"FONTNAME", 18},
    {"FONTSIZE", 19}, {"FORECOLOR", 55}, {"GETBLOCKFMTS", 2233}, {"GOBACKWARD", 2282}, {"GOFORWARD", 2283},
    {"HELP_ABOUT", 2221}, {"HELP_README", 2222}, {"HORIZONTALLINE", 2150}, {"HTMLEDITMODE", 2316},
    {"HYPERLINK", 2124}, {"IFRAME", 2158}, {"IMAGE", 2168}, {"INDENT", 2186}, {"INSERTOBJECT", 25},
    {"INSERTSPAN", 2357}, {"INSFIELDSET", 2119}, {"INSINPUTBUTTON", 2115}, {"INSINPUTHIDDEN", 2312},
    {"INSINPUTIMAGE", 2114}, {"INSINPUTPASSWORD", 2313}, {"INSINPUTRESET", 2116}, {"INSINPUTSUBMIT", 2117},
    {"INSINPUTUPLOAD", 2118}, {"ITALIC", 56}, {"JUSTIFYCENTER", 57}, {"JUSTIFYFULL", 50},
    {"JUSTIFYGENERAL", 58}, {"JUSTIFYLEFT", 59}, {"JUSTIFYNONE", 94}, {"JUSTIFYRIGHT", 60},
    {"LAUNCHDEBUGGER", 2310}, {"LINEBREAKBOTH", 2154}, {"LINEBREAKLEFT", 2152}, {"LINEBREAKNORMAL", 2151},
    {"LINEBREAKRIGHT", 2153}, {"LISTBOX", 2166}, {"MARQUEE", 2182}, {"NEW", 2001}, {"NONBREAK", 2155},
    {"OPEN", 2000}, {"ORDERLIST", 2184}, {"OUTDENT", 2187}, {"OVERWRITE", 2314}, {"PAGESETUP", 2004},
    {"PARAGRAPH", 2180}, {"PASTE", 26}, {"PERSISTSTREAMSYNC", 2341}, {"PRINT", 27}, {"PRINTPREVIEW", 2003},
    {"PROPERTIES", 28}, {"RADIOBUTTON", 2164}, {"REDO", 29}, {"REFRESH", 2300}, {"REGISTRYREFRESH", 2317},
    {"REMOVEFORMAT", 2230}, {"REPLACE", 2121}, {"RUNURLSCRIPT", 2343}, {"SAVE", 70}, {"SAVEAS", 71},
    {"SAVEBACKGROUND", 2263}, {"SAVEPICTURE", 2270}, {"SELECTALL", 31}, {"SETDIRTY", 2342},
    {"SETWALLPAPER", 2264}, {"SIZETOCONTROLWIDTH", 37}, {"STOP", 2138}, {"STRIKETHROUGH", 91},
    {"SUBSCRIPT", 2247}, {"SUPERSCRIPT", 2248}, {"TEXTAREA", 2162}, {"TEXTBOX", 2161}, {"UNBOOKMARK", 2128},
    {"UNDERLINE", 63}, {"UNDO", 43}, {"UNLINK", 2125}, {"UNORDERLIST", 2185}, {"VERTSPACEDECREASE", 47},
    {"VIEWSOURCE", 2139}, {"ZOOMPERCENT", 50},
};
const int kViewerCommandCount = static_cast<int>(std::size(kViewerCommands));

int ViewerCommandRow(int Id) {
    for (int i = 0; i < kViewerCommandCount; ++i)
        if (kViewerCommands[i].id == Id) return i;
    return -1;
}

bool ViewerCommandOffered(const TViewerCommand& Command) {
    // Nothing on this engine stands for these: no script debugger, plug-in
    // objects, registry, desktop wallpaper or shortcuts, help file, overwrite
    // mode, the control's own context menu, or the host's persistence and
    // dirty-flag hooks; the engine sizes and spaces the page itself.
    static constexpr int kHidden[] = {25,   37,   47,   2222, 2264, 2265, 2266, 2280,
                                      2302, 2310, 2314, 2317, 2341, 2342, 2343};
    return std::find(std::begin(kHidden), std::end(kHidden), Command.id) == std::end(kHidden);
}

int ViewerCommandId(const TViewerCommand& Command) {
    // The zoom entry shares its number with full justification.
    return std::string(Command.name) == "ZOOMPERCENT" ? browser::kCmdZoomPercent : Command.id;
}

TViewerParam BuildViewerParam(const std::string& Parm, int& Counter) {
    TViewerParam p;
    const std::string low = rtl::LowerCase(Parm);
    if (low == "true" || low == "false") {
        p.isBool = true;
        p.flag = low == "true";
    } else if (!Parm.empty() && Parm[0] == '#') {
        p.text = Parm;
    } else {
        p.text = "ctl" + rtl::IntToStr(++Counter) + " " + Parm;
    }
    return p;
}

std::string StripPlaceholderTags(const std::string& Html) {
    std::string t = Html;
    for (const char* tag : {"<enter here=\"\" message=\"\">", "<enter message=\"\" here=\"\">", "</enter>",
                            "<!DOCTYPE html PUBLIC \"\" \"\">"})
        t = rtl::StringReplace(t, tag, "", rtl::rfReplaceAll | rtl::rfIgnoreCase);
    return t;
}

std::string SavedPageToBody(const std::string& Page) {
    std::string t = rtl::StringReplace(Page, "&amp;", "&", rtl::rfReplaceAll);
    t = rtl::StringReplace(t, "{~", "<", rtl::rfReplaceAll);
    return rtl::StringReplace(t, "~}", ">", rtl::rfReplaceAll);
}

std::string PreviewPageText(const std::string& Body, const std::vector<std::string>& Images) {
    std::string t = Body;
    // The closing quote keeps IMAGE1 from matching IMAGE10. Paths become
    // file URLs as the renderer writes them (absolute, percent-encoded).
    for (size_t i = 0; i < Images.size(); ++i)
        t = rtl::StringReplace(t, "SRC=\"cid:IMAGE" + std::to_string(i + 1) + "\"",
                               "SRC=\"" + mailbox::FileUrl(Images[i]) + "\"", rtl::rfReplaceAll | rtl::rfIgnoreCase);
    return t;
}

namespace {

// The viewer's browser as the mailbox window sees it: the engine starts on
// the first request.
class TLazyBrowser : public browser::TBrowser {
public:
    explicit TLazyBrowser(Tbrwsvwr& v) : v_(v) {}
    void Navigate(const std::string& Url) override { v_.Web().Navigate(Url); }
    void Stop() override { v_.Web().Stop(); }
    bool Busy() const override { return v_.Web().Busy(); }
    void SetFocus() override { v_.Web().SetFocus(); }

private:
    Tbrwsvwr& v_;
};

// The command bar's editing buttons: caption, command, right-click command.
struct TEditButton {
    const char* caption;
    int id;
    int rightId;
};
constexpr TEditButton kEditButtons[] = {
    {"Find", 67, 0},      {"Cut", 16, 17},       {"Copy", 15, 0},      {"Paste", -9, 0},
    {"Font", 90, 0},      {"Indent", 2186, 0},   {"Outdent", 2187, 0}, {"Bullets", 2185, 0},
    {"Numbers", 2184, 0}, {"Redo", 29, 0},       {"Undo", 43, 0},      {"All", 31, 0},
    {"Left", 59, 0},      {"Right", 60, 0},      {"Centre", 57, 0},    {"Justify", 50, 0},
    {"B", 52, 0},         {"I", 56, 0},          {"U", 63, 0},         {"Rule", 2150, 0},
    {"Sub", 2247, 0},     {"Sup", 2248, 0},      {"Link", 2124, 2125},
};

// The more-options menu: group (a submenu; none: top level), caption,
// command (0: none), and the parameter set first (none: the user's).
struct TMenuCommand {
    const char* group;
    const char* caption;
    int id;
    const char* parm;
};
constexpr TMenuCommand kMenuCommands[] = {
    {"Insert", "Image", 2168, nullptr},
    {"Insert", "IFRAME", 2158, nullptr},
    {"Insert", "SPAN", 2357, nullptr},
    {"Insert", "Paragraph", 2180, nullptr},
    {"Controls", "BUTTON", 2167, nullptr},
    {"Controls", "CHECKBOX", 2163, nullptr},
    {"Controls", "RADIOBUTTON", 2164, nullptr},
    {"Controls", "FIELDSET", 2119, nullptr},
    {"Controls", "LISTBOX", 2166, nullptr},
    {"Controls", "TEXTAREA", 2162, nullptr},
    {"Controls", "TEXTBOX", 2161, nullptr},
    {"Controls", "Input Button", 2115, nullptr},
    {"Controls", "Input Hidden", 2312, nullptr},
    {"Controls", "Input Image", 2114, nullptr},
    {"Controls", "Input Password", 2313, nullptr},
    {"Controls", "Input Reset", 2116, nullptr},
    {"Controls", "Input Submit", 2117, nullptr},
    {"Controls", "Input Upload", 2118, nullptr},
    {nullptr, "MARQUEE", 2182, nullptr},
    {nullptr, "Toggle Strike Through", 91, nullptr},
    {nullptr, "Left to Right", 2350, nullptr},
    {nullptr, "Right to Left", 2351, nullptr},
    {nullptr, "Page Setup", 2004, nullptr},
    {nullptr, "View Source", 2139, nullptr},
    {nullptr, "About the Browser Engine", 2221, nullptr},
};

bool looksLikeLink(const std::string& t) {
    for (const char* p : {"http://", "https://", "ftp://", "www.", "news://", "file://"})
        if (t.rfind(p, 0) == 0) return true;
    return false;
}

}  // namespace

Tbrwsvwr::Tbrwsvwr(rtl::TComponent* owner) : ui::TForm(owner) {
    brwsvwr = this;
    Caption = "Pelliwox Message Viewer";
    SetBounds(0, 0, 900, 640);
    lazy_ = std::make_unique<TLazyBrowser>(*this);
    curbrw = lazy_.get();

    StatusBar1 = new ui::TStatusBar(this);
    StatusBar1->Align = ui::alBottom;
    StatusBar1->Panels->Add();

    Panel2 = new ui::TPanel(this);
    Panel2->Align = ui::alBottom;
    Panel2->Height = 34;
    int x = 4;
    auto button = [&x](ui::TWinControl* parent, const char* caption, int width) {
        auto* b = new ui::TButton(parent);
        b->Caption = caption;
        b->SetBounds(x, 4, width, 26);
        x += width + 3;
        return b;
    };
    BitBtn1 = button(Panel2, "Close", 52);
    bck = button(Panel2, "<", 30);
    nxt = button(Panel2, ">", 30);
    del = button(Panel2, "Delete", 56);
    prt = button(Panel2, "Print", 48);
    fnd = button(Panel2, "Find", 44);
    hb = button(Panel2, "Back", 44);
    hn = button(Panel2, "Fwd", 40);
    rply = button(Panel2, "Reply", 48);
    BitBtn13 = button(Panel2, "Forward", 60);
    saybtn = button(Panel2, "Say", 36);
    fnm = new ui::TEdit(Panel2);
    fnm->ReadOnly = true;
    fnm->SetBounds(x, 6, 240, 22);
    fnm->Tag = -1;
    navControls_ = {BitBtn1, bck, nxt, del, prt, fnd, hb, hn, rply, BitBtn13, saybtn, fnm};
    Panel2->OnResize = [this](rtl::TObject*) { LayoutBars(); };
    saybtn->OnClick = [this](rtl::TObject*) { saybtnClick(); };
    saybtn->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) { h = true, saybtnContextPopup(); };
    // Reply and forward act on the shown message, which is the list's
    // selected row once its page has loaded.
    auto reply = [](int mode) {
        if (mailbox::Form1) mailbox::Form1->ReplyToRow(mode);
    };
    rply->OnClick = [reply](rtl::TObject*) { reply(mailbox::TForm1::rmReply); };
    rply->OnContextPopup = [reply](rtl::TObject*, ui::TPoint, bool& h) { h = true, reply(mailbox::TForm1::rmReplyAll); };
    BitBtn13->OnClick = [reply](rtl::TObject*) { reply(mailbox::TForm1::rmForward); };

    BitBtn1->OnClick = [this](rtl::TObject*) { Close(); };
    bck->OnClick = [this](rtl::TObject*) { bckClick(false); };
    bck->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) { h = true, bckClick(true); };
    nxt->OnClick = [this](rtl::TObject*) { nxtClick(false); };
    nxt->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) { h = true, nxtClick(true); };
    del->OnClick = [this](rtl::TObject*) { delClick(false); };
    del->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) { h = true, delClick(true); };
    prt->OnClick = [this](rtl::TObject*) { prtClick(); };
    // Right click: on paper.
    prt->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) { h = true, PrintPage(); };
    fnd->OnClick = [this](rtl::TObject*) { ExecCommand(67); };
    hb->OnClick = [this](rtl::TObject*) { Web().GoBack(); };
    hn->OnClick = [this](rtl::TObject*) { Web().GoForward(); };
    // Right click: the top / the bottom of the page.
    hb->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) {
        h = true;
        if (web_ && web_->HasDocument()) web_->RunScript("window.scrollTo(0, 0)");
    };
    hn->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) {
        h = true;
        if (web_ && web_->HasDocument()) web_->RunScript("window.scrollTo(0, document.documentElement.scrollHeight)");
    };
    fnm->OnClick = [this](rtl::TObject*) { fnmClick(); };

    makeCommandBar();
    Panel3->OnResize = [this](rtl::TObject*) { LayoutBars(); };
    LayoutBars();

    BrowserPanel = new ui::TPanel(this);
    BrowserPanel->Align = ui::alClient;
    BrowserPanel->BevelOuter = ui::bvNone;
    // The engine's view turns the window's surface into one it can draw on;
    // made after the window is on the screen, it makes the window system
    // recreate the window (a new window, a flash). So it starts as the window
    // is first shown, before it is mapped.
    //
    // On the first showing the emoji page loads, hidden, so that its window
    // opens at once.
    OnShow = [this](rtl::TObject*) {
        Web();
        emoji();
        if (!shownOnce_) {
            shownOnce_ = true;
            LoadEmojiPage();
        }
    };
    // A pick not yet pasted is dropped with the window; it stays on the clipboard.
    OnHide = [this](rtl::TObject*) { Timer1->Enabled = false; };
    Timer1 = new ui::TTimer(this);
    Timer1->Enabled = false;
    Timer1->Interval = 400;
    Timer1->OnTimer = [this](rtl::TObject*) { Timer1Timer(); };
    SayTimer = new ui::TTimer(this);
    SayTimer->Enabled = false;
    SayTimer->Interval = 100;
    SayTimer->OnTimer = [this](rtl::TObject*) { SayTimerTimer(); };
    OnDeactivate = [this](rtl::TObject*) { FindText.clear(); };
    OnActivate = [this](rtl::TObject*) {
        if (!FindText.empty()) ExecCommand(67);
    };
}

namespace {
// Places Controls in rows from Left and Top, each row as wide as Room
// allows (Stretch, a text line, takes what is left of its row, at least
// 120 pixels); gives the height the rows need.
int flowControls(const std::vector<ui::TControl*>& controls, int left, int top, int room, ui::TControl* stretch) {
    int x = left;
    for (ui::TControl* c : controls) {
        const int width = c == stretch ? std::max(120, std::min(240, room - x)) : int(c->Width);
        if (x > left && x + width > room) x = left, top += 30;
        c->SetBounds(x, c == stretch ? top + 2 : top, width, c->Height);
        x += width + 3;
    }
    return top + 30;
}
}  // namespace

void Tbrwsvwr::LayoutBars() {
    const int nav = flowControls(navControls_, 4, 4, Panel2->ClientWidth - 4, fnm);
    if (Panel2->Height != nav) Panel2->Height = nav;
    // Beside the command list while the parameter line fits there, else
    // under it.
    const int room = Panel3->ClientWidth - 4;
    const int beside = cmdlis->Left + cmdlis->Width + 4;
    const bool under = beside + int(parm->Width) > room;
    const int cmd = std::max(96, flowControls(cmdControls_, under ? 4 : beside, under ? 96 : 4, room, nullptr));
    if (Panel3->Height != cmd) Panel3->Height = cmd;
}

void Tbrwsvwr::makeCommandBar() {
    Panel3 = new ui::TPanel(this);
    Panel3->Align = ui::alTop;
    Panel3->Height = 96;
    Panel3->Visible = false;
    cmdlis = new ui::TListBox(Panel3);
    cmdlis->SetBounds(4, 4, 170, 88);
    idms = new ui::TListBox(Panel3);
    idms->Visible = false;
    for (const TViewerCommand& c : kViewerCommands) {
        if (!ViewerCommandOffered(c)) continue;
        cmdlis->Items->Add(c.name);
        idms->Items->Add(rtl::IntToStr(ViewerCommandId(c)));
    }
    parm = new ui::TComboBox(Panel3);
    parm->SetBounds(178, 4, 220, 24);
    parm->Hint = "Parameter: true/false, #RRGGBB, or for new elements name=value pairs (blanks in double quotes)";
    parm->ShowHint = true;
    int x = 402;
    auto button = [this, &x](const char* caption, int width, int top) {
        auto* b = new ui::TButton(Panel3);
        b->Caption = caption;
        b->SetBounds(x, top, width, 26);
        x += width + 3;
        return b;
    };
    pfm = button("Perform", 60, 4);
    svbtn = button("Save to Composer", 120, 4);
    Send = button("Send", 48, 4);
    emoti = button("Emoji", 48, 4);
    psyn = button("Mode", 48, 4);
    emoti->Hint = "Toggle Emoji Window";
    emoti->ShowHint = true;
    emoti->OnClick = [this](rtl::TObject*) { emotiClick(); };
    svbtn->OnClick = [this](rtl::TObject*) { svbtnClick(); };
    Send->OnClick = [this](rtl::TObject*) { SendClick(); };
    pfm->OnClick = [this](rtl::TObject*) { pfmClick(); };
    makePopupMenu();
    psyn->OnClick = [this](rtl::TObject*) {
        if (parm->CanFocus()) parm->SetFocus();
        const ui::TPoint at = psyn->ClientToScreen({0, 0});
        PopupMenu1->Popup(at.X, at.Y - (psyn->Height + 17 * PopupMenu1->Items->Count() + 40));
    };
    psyn->OnContextPopup = [this](rtl::TObject*, ui::TPoint, bool& h) {
        h = true;
        ExecCommand(EditMode ? 2126 : 2127);
    };
    cmdControls_ = {parm, pfm, svbtn, Send, emoti, psyn};
    for (const TEditButton& e : kEditButtons) {
        ui::TButton* b = button(e.caption, e.caption[1] ? 54 : 26, 34);
        cmdControls_.push_back(b);
        const int id = e.id, right = e.rightId;
        b->OnClick = [this, id](rtl::TObject*) { ExecCommand(id); };
        if (right)
            b->OnContextPopup = [this, right](rtl::TObject*, ui::TPoint, bool& h) {
                h = true;
                ExecCommand(right);
            };
    }
}

void Tbrwsvwr::makePopupMenu() {
    PopupMenu1 = new ui::TPopupMenu(this);
    std::string lastGroup;
    ui::TMenuItem* group = nullptr;
    for (const TMenuCommand& m : kMenuCommands) {
        if (m.group && lastGroup != m.group) {
            group = new ui::TMenuItem(PopupMenu1);
            group->Caption = m.group;
            PopupMenu1->Items->Add(group);
            lastGroup = m.group;
        }
        auto* item = new ui::TMenuItem(PopupMenu1);
        item->Caption = m.caption;
        const int id = m.id;
        const char* p = m.parm;
        if (id)
            item->OnClick = [this, id, p](rtl::TObject*) {
                if (p) parm->Text = p;
                ExecCommand(id);
            };
        if (m.group) group->Add(item);
        else PopupMenu1->Items->Add(item);
    }
}

Tbrwsvwr::~Tbrwsvwr() {
    if (mailbox::Form1 && mailbox::Form1->Viewer.Form == this) mailbox::Form1->Viewer = {};
    if (brwsvwr == this) brwsvwr = nullptr;
}

browser::TWebBrowser& Tbrwsvwr::Web() {
    if (web_) return *web_;
    web_ = std::make_unique<browser::TWebBrowser>(BrowserPanel->ClientWidget());
    web_->OpenExternal = [](const std::string& url) { return helpers::shellopen(url); };
    web_->OnStatusTextChange = [this](const std::string& t) { curbrwStatusTextChange(t); };
    web_->OnNewWindow = [this](const std::string& u, bool& c) { curbrwNewWindow2(u, c); };
    web_->OnDocumentComplete = [this](const std::string& u) { curbrwDocumentComplete(u); };
    return *web_;
}

int Tbrwsvwr::ExecCommand(int Id) {
    if (Visible() && Panel3->Visible() && parm->CanFocus()) parm->SetFocus();
    win::ProcessMessages();
    // A new page and an opened one need no page before them.
    const bool needsPage = Id != 2001 && Id != 2000;
    if (needsPage && (!web_ || !web_->HasDocument())) return 0;
    Web();
    const std::string parmText = parm->Text;
    const TViewerParam p = BuildViewerParam(parmText, ElementCounter);
    browser::TCommandParam cp;
    cp.Kind = p.isBool ? browser::TCommandParam::Bool : browser::TCommandParam::Text;
    cp.Flag = p.flag;
    // Only a new element takes the numbered id; the others take the text.
    cp.Value = browser::TWebBrowser::InsertsElement(Id) ? p.text : parmText;
    if (Id == 67) {
        // Find takes the words themselves.
        cp.Kind = browser::TCommandParam::Text;
        cp.Value = FindText.empty() ? parmText : FindText;
        FindText.clear();
    }
    // A command that needs a value and got none asks for it.
    if (cp.Kind == browser::TCommandParam::Text && cp.Value.empty() && !AskCommandValue(Id, cp.Value)) {
        parm->Text = "";
        return browser::kCmdOk;
    }
    int row = -1;
    for (int i = 0; i < idms->Items->Count; ++i)
        if (rtl::StrToIntDef(std::string(idms->Items->Strings[i]), 0) == Id) {
            row = i;
            break;
        }
    const int known = ViewerCommandRow(Id);
    const std::string name = row >= 0 ? std::string(cmdlis->Items->Strings[row])
                             : known >= 0 ? std::string(kViewerCommands[known].name)
                                          : rtl::IntToStr(Id);
    StatusBar1->Panels[0]->Text = "";
    int result;
    try {
        switch (Id) {
            // Printing, page set-up and the commands that ask the user are
            // the viewer's own; the viewer's paste is the page's paste.
            case 27:
            case 93: PrintPage(), result = browser::kCmdOk; break;
            case 2003: prtClick(), result = browser::kCmdOk; break;
            case 2004: PageSetup(), result = browser::kCmdOk; break;
            case 90: result = FontCommand(); break;
            case 2139: result = ViewSource(); break;
            case 2000: result = OpenPage(); break;
            case 70: result = SavePage(false); break;
            case 71: result = SavePage(true); break;
            case 2121: result = ReplaceCommand(); break;
            case 28: result = ShowProperties(); break;
            case 2221: result = AboutEngine(); break;
            case 2233: result = ListBlockFormats(); break;
            case 2270: result = SavePicture(false); break;
            case 2263: result = SavePicture(true); break;
            case 2001:
                // A new page is for writing.
                EditOnLoad = true;
                result = web_->ExecCommand(2001, cp);
                break;
            default: result = web_->ExecCommand(Id == -9 ? 26 : Id, cp);
        }
        if (result == browser::kCmdNotSupported)
            StatusBar1->Panels[0]->Text = "Not supported by this browser: " + name;
        else if (result == browser::kCmdFailed && std::string(StatusBar1->Panels[0]->Text).empty())
            StatusBar1->Panels[0]->Text = "Not done: " + name;
    } catch (const browser::EBrowserError& e) {
        StatusBar1->Panels[0]->Text = e.what();
        result = browser::kCmdFailed;
    }
    if (row >= 0) cmdlis->ItemIndex = row;
    if (Id == 2126) EditMode = false;
    if (Id == 2127) EditMode = true;
    if (!parmText.empty() && parm->Items->IndexOf(parmText) < 0) parm->Items->Insert(0, parmText);
    parm->Text = "";
    web_->SetFocus();
    try {
        if (web_->HasDocument()) EditMode = web_->EditMode();
    } catch (const browser::EBrowserError& e) {
        StatusBar1->Panels[0]->Text = e.what();
    }
    return result;
}

namespace {
const char* const kPageFilter = "Web pages (*.htm, *.html)|*.htm;*.html|All files (*.*)|*";

// The local file a page address names, or "".
std::string localFileOf(const std::string& Url) {
    if (rtl::StartsText("file://", Url)) {
        const QUrl u(QString::fromStdString(Url));
        if (u.isLocalFile()) return u.toLocalFile().toStdString();
    }
    return Url.rfind('/', 0) == 0 ? Url : std::string();
}
}  // namespace

bool Tbrwsvwr::AskCommandValue(int Id, std::string& Value) {
    if (Id == 67) {
        Value = web_->SelectedText();
        return ui::InputQuery("Find", "Find what", Value) && !Value.empty();
    }
    if (Id == 51 || Id == 55) {
        ui::TColorDialog dialog(nullptr);
        dialog.Options = ui::cdFullOpen | ui::cdAnyColor;
        if (!dialog.Execute()) return false;
        Value = "#" + helpers::colorhex(static_cast<int32_t>(dialog.Color));
        return true;
    }
    static const struct {
        int id;
        const char* caption;
        const char* prompt;
    } kAsked[] = {
        {18, "Font Name", "Name of the font"},
        {19, "Font Size", "Size of the font (1 to 7)"},
        {2124, "Hyperlink", "Address of the link"},
        {2234, "Block Format", "Format of the block (p, h1 to h6, pre, address, blockquote, div)"},
        {browser::kCmdZoomPercent, "Zoom", "Zoom in percent (25 to 500)"},
    };
    for (const auto& a : kAsked)
        if (a.id == Id) return ui::InputQuery(a.caption, a.prompt, Value) && !rtl::Trim(Value).empty();
    return true;
}

int Tbrwsvwr::FontCommand() {
    ui::TFontDialog dialog(nullptr);
    if (!dialog.Execute()) return browser::kCmdOk;
    helpers::TFontSpec f;
    f.Name = dialog.Font->Name();
    f.Size = dialog.Font->Size();
    f.Color = dialog.Font->Color();
    f.Style = dialog.Font->Style();
    // A system colour is no colour of the text's own.
    if (!web_->ApplyStyle(helpers::fonttocss(f, f.Color >= 0))) {
        StatusBar1->Panels[0]->Text = "Select the text the font is for";
        return browser::kCmdFailed;
    }
    return browser::kCmdOk;
}

int Tbrwsvwr::ViewSource() {
    const std::string html = web_->DocumentHtml();
    if (!mailbox::kwdsply) {
        helpers::errreport("There is no window to show the source in");
        return browser::kCmdFailed;
    }
    mailbox::kwdsply->ShowText("Pelliwox Page Source", web_->LocationUrl(), false, false, true, false, 9, html);
    return browser::kCmdOk;
}

int Tbrwsvwr::OpenPage() {
    ui::TOpenDialog dialog(nullptr);
    dialog.Title = "Open Page";
    dialog.Filter = kPageFilter;
    dialog.InitialDir = helpers::homedir;
    dialog.Options = ui::ofHideReadOnly | ui::ofFileMustExist | ui::ofEnableSizing;
    if (!dialog.Execute()) return browser::kCmdOk;
    // The page opens in the mode the viewer is in.
    EditOnLoad = EditMode;
    curbrw->Navigate(dialog.FileName);
    return browser::kCmdOk;
}

int Tbrwsvwr::SavePage(bool Ask) {
    std::string path = localFileOf(web_->LocationUrl());
    // Only an edited local page is written back to its own file.
    if (Ask || path.empty() || !EditMode) {
        ui::TSaveDialog dialog(nullptr);
        dialog.Title = "Save Page As";
        dialog.Filter = kPageFilter;
        dialog.DefaultExt = "htm";
        dialog.InitialDir = path.empty() ? helpers::homedir : rtl::ExtractFilePath(path);
        dialog.FileName = path.empty() ? std::string() : rtl::ExtractFileName(path);
        dialog.Options = ui::ofHideReadOnly | ui::ofOverwritePrompt | ui::ofEnableSizing;
        if (!dialog.Execute()) return browser::kCmdOk;
        path = dialog.FileName;
    }
    if (!helpers::savetext(path, web_->DocumentHtml())) return browser::kCmdFailed;
    StatusBar1->Panels[0]->Text = "Saved to " + path;
    return browser::kCmdOk;
}

int Tbrwsvwr::ReplaceCommand() {
    std::string find = web_->SelectedText(), with;
    if (!ui::InputQuery("Replace", "Find what", find) || find.empty()) return browser::kCmdOk;
    if (!ui::InputQuery("Replace", "Replace \"" + find + "\" with", with)) return browser::kCmdOk;
    const int n = web_->ReplaceAll(find, with, true);
    StatusBar1->Panels[0]->Text = n ? "Replaced " + rtl::IntToStr(n) : "Not found: " + find;
    return browser::kCmdOk;
}

int Tbrwsvwr::SavePicture(bool Background) {
    // The picture selected (in edit mode a click selects it) or the first
    // one in the selection; or the page's background picture.
    const std::string src = web_->RunScript(
        Background
            ? "(function(){var b=document.body;if(!b)return '';var u=b.getAttribute('background');"
              "if(!u){var m=/url\\([\"']?([^\"')]*)/.exec(getComputedStyle(b).backgroundImage);u=m?m[1]:'';}"
              "return u?new URL(u,document.baseURI).href:'';})()"
            : "(function(){var s=getSelection();if(!s.rangeCount)return '';var r=s.getRangeAt(0),i=null,"
              "n=r.startContainer;if(n.nodeType===1){var c=n.childNodes[r.startOffset];if(c&&c.tagName==='IMG')i=c;}"
              "if(!i){var f=r.cloneContents();i=f.querySelector?f.querySelector('img'):null;}"
              "return i?new URL(i.getAttribute('src')||'',document.baseURI).href:'';})()");
    if (src.empty()) {
        StatusBar1->Panels[0]->Text = Background ? "The page has no background picture" : "Select a picture first";
        return browser::kCmdFailed;
    }
    const std::string source = localFileOf(src);
    if (source.empty()) {
        StatusBar1->Panels[0]->Text = "Only pictures on this machine can be saved: " + src;
        return browser::kCmdFailed;
    }
    ui::TSaveDialog dialog(nullptr);
    dialog.Title = "Save Picture As";
    dialog.Filter = "Pictures|*.png;*.jpg;*.jpeg;*.gif;*.bmp;*.webp|All files (*.*)|*";
    dialog.InitialDir = helpers::homedir;
    dialog.FileName = rtl::ExtractFileName(source);
    dialog.Options = ui::ofHideReadOnly | ui::ofOverwritePrompt | ui::ofEnableSizing;
    if (!dialog.Execute()) return browser::kCmdOk;
    if (!helpers::filecopy(source, dialog.FileName)) {
        helpers::errreport("The picture could not be saved to " + dialog.FileName);
        return browser::kCmdFailed;
    }
    StatusBar1->Panels[0]->Text = "Saved to " + dialog.FileName;
    return browser::kCmdOk;
}

int Tbrwsvwr::ShowProperties() {
    const std::string facts = web_->RunScript(
        "'Title: '+document.title+'\\r\\nCharacter set: '+document.characterSet+"
        "'\\r\\nLast modified: '+document.lastModified+'\\r\\nCharacters of text: '+"
        "(document.body?document.body.innerText.length:0)+'\\r\\nPictures: '+document.images.length+"
        "'\\r\\nLinks: '+document.links.length");
    ui::MessageDlg("Address: " + web_->LocationUrl() + "\r\n" + facts, ui::mtInformation, ui::mbOK,
                   "Page Properties");
    return browser::kCmdOk;
}

int Tbrwsvwr::AboutEngine() {
    ui::MessageDlg("Pages are shown and edited by " + browser::TWebBrowser::EngineVersion() + ".",
                   ui::mtInformation, ui::mbOK, "About the Browser Engine");
    return browser::kCmdOk;
}

int Tbrwsvwr::ListBlockFormats() {
    // The formats BLOCKFMT takes, at the top of the parameter list.
    static const char* const kFormats[] = {"p",  "h1",  "h2",      "h3",         "h4", "h5",
                                           "h6", "pre", "address", "blockquote", "div"};
    for (int i = static_cast<int>(std::size(kFormats)) - 1; i >= 0; --i) {
        const int at = parm->Items->IndexOf(kFormats[i]);
        if (at >= 0) parm->Items->Delete(at);
        parm->Items->Insert(0, kFormats[i]);
    }
    StatusBar1->Panels[0]->Text = "The block formats are in the parameter list";
    return browser::kCmdOk;
}

void Tbrwsvwr::curbrwStatusTextChange(const std::string& Text) {
    StatusBar1->Panels[0]->Text = Text;
    StatusBar1->Repaint();
    if (looksLikeLink(Text)) PendingLink = Text;
}

void Tbrwsvwr::curbrwNewWindow2(const std::string&, bool&) {
    // The control opens the requested address outside the engine; a link
    // the pointer passed earlier is no longer pending.
    PendingLink.clear();
}

void Tbrwsvwr::curbrwDocumentComplete(const std::string&) {
    if (embrow && embrow->Visible()) showEmoji(false);
    mailbox::TForm1* f = mailbox::Form1;
    if (f && f->Viewer.Form == this && Panel2->Visible()) {
        fnm->Text = f->Viewer.PagePath;
        fnm->Tag = f->Viewer.Row;
    }
    if (f && fnm->Tag >= 0 && fnm->Tag < f->RowCount()) f->SelectRow(fnm->Tag);
    if (EditOnLoad) {
        EditOnLoad = false;
        ExecCommand(2127);
    }
}

// ---------------------------------------------------------------- emoji window

rtl::TDateTime Tbrwsvwr::EmojiPageDate = 0;

browser::TWebBrowser& Tbrwsvwr::emoji() {
    if (emoji_) return *emoji_;
    emoji_ = std::make_unique<browser::TWebBrowser>(BrowserPanel->ClientWidget());
    embrow = emoji_.get();
    embrow->SetVisible(false);
    // The page's script puts the pick on the clipboard; nothing of it opens
    // elsewhere.
    embrow->AllowOwnScripts();
    embrow->OnBeforeNavigate = [this](const std::string& u, bool& c) { embrowBeforeNavigate2(u, c); };
    embrow->OnNewWindow = [](const std::string&, bool& c) { c = true; };
    return *emoji_;
}

void Tbrwsvwr::showEmoji(bool Show) {
    if (Show) {
        Web().SetVisible(false);
        emoji().SetVisible(true);
    } else {
        emoji().SetVisible(false);
        Web().SetVisible(true);
    }
}

void Tbrwsvwr::emotiClick() {
    if (emoji().Visible()) {
        showEmoji(false);
    } else {
        showEmoji(true);
        LoadEmojiPage();
    }
    if (Panel3->Visible() && parm->CanFocus()) parm->SetFocus();
}

void Tbrwsvwr::LoadEmojiPage() {
    const std::string path = helpers::homedir + "kwem_emojisrc.htm";
    try {
        // A missing page gets a date no file has: it goes to the engine once,
        // which shows its own error page, and again when the file appears.
        rtl::TDateTime date = helpers::filedate(path);
        if (date == 0) date = -1;
        if (helpers::sametime(date, EmojiPageDate)) return;
        EmojiPageDate = date;
        EmojiArmed = false;
        emoji().Navigate(path);
    } catch (const std::exception& e) {
        helpers::errreport(e.what());
    }
}

void Tbrwsvwr::embrowBeforeNavigate2(const std::string&, bool& Cancel) {
    if (!EmojiArmed) {
        EmojiArmed = true;
        return;
    }
    // A pick: the page has put the emoji on the clipboard. The link itself
    // goes nowhere, so the next opening shows the page as it was.
    Cancel = true;
    showEmoji(false);
    Timer1->Enabled = false;
    Timer1->Enabled = true;
}

void Tbrwsvwr::Timer1Timer() {
    Timer1->Enabled = false;
    ExecCommand(-9);
}

namespace {
void moveRow(int step, bool any) {
    mailbox::TForm1* f = mailbox::Form1;
    if (!f) return;
    if (any) {
        const int sel = f->SelectedIndex(), to = sel + step;
        if (sel < 0 || to < 0 || to >= f->RowCount()) return;
        f->SelectRow(to);
    } else {
        f->GoUnmarkedRow(step < 0);
    }
    f->ListView1Click(f->ListView1);
}
}  // namespace

void Tbrwsvwr::bckClick(bool Any) { moveRow(-1, Any); }
void Tbrwsvwr::nxtClick(bool Any) { moveRow(1, Any); }

void Tbrwsvwr::delClick(bool Recall) {
    mailbox::TForm1* f = mailbox::Form1;
    if (!f) return;
    f->SetDeleteMark(!Recall);
    if (!Recall) f->GoUnmarkedRow(false);
    f->ListView1Click(f->ListView1);
}

void Tbrwsvwr::pfmClick() {
    const int row = cmdlis->ItemIndex;
    if (row < 0 || row >= idms->Items->Count) return;
    ExecCommand(rtl::StrToIntDef(std::string(idms->Items->Strings[row]), 0));
}

void Tbrwsvwr::fnmClick() {
    const std::string sel = fnm->SelText;
    ui::Clipboard()->AsText = sel.empty() ? std::string(fnm->Text) : sel;
}

void Tbrwsvwr::prtClick() {
    if (!web_ || !web_->HasDocument()) return;
    const std::string pdf = helpers::homedir + "kwemailprvw.pdf";
    try {
        web_->PrintToPdf(pdf);
    } catch (const browser::EBrowserError& e) {
        helpers::errreport(e.what());
        return;
    }
    helpers::shellopen(pdf);
}

void Tbrwsvwr::PrintPage() {
    if (!web_ || !web_->HasDocument()) return;
    ui::TPrintDialog dialog(nullptr);
    if (!dialog.Execute()) return;
    try {
        web_->Print(*ui::Printer()->Handle());
    } catch (const browser::EBrowserError& e) {
        helpers::errreport(e.what());
    }
}

void Tbrwsvwr::PageSetup() { browser::SetUpPage(*ui::Printer()); }

bool Tbrwsvwr::svbtnClick() {
    const std::string path = helpers::homedir + "kwemailprvw.htm";
    if (!web_ || !web_->HasDocument()) {
        helpers::errreport("Tut!");
        return false;
    }
    std::string page;
    try {
        // Pumps until the engine hands the document over.
        page = StripPlaceholderTags(web_->DocumentHtml());
    } catch (const browser::EBrowserError& e) {
        helpers::errreport(std::string("Problem with Browser Object\r\n") + e.what());
        return false;
    }
    if (!helpers::savetext(path, page)) return false;
    if (!mlsend) return false;
    mlsend->bdy->Text = SavedPageToBody(page);
    if (mlsend->bdy->CanFocus()) mlsend->bdy->SetFocus();
    return true;
}

void Tbrwsvwr::SendClick() {
    // Only a body the save has just written goes out; otherwise the
    // composer still holds the old body (or the template's placeholder).
    if (!svbtnClick()) {
        StatusBar1->Panels[0]->Text = "Not sent: the page could not be saved into the composer";
        return;
    }
    StatusBar1->Panels[0]->Text = "";
    mlsend->BitBtn5Click(mlsend->BitBtn5);
}

bool Tbrwsvwr::ShowPreview(const std::string& Body, const std::vector<std::string>& Images,
                           const std::string& Subject) {
    const std::string path = helpers::homedir + "kwemailprvw.htm";
    if (!helpers::savetext(path, PreviewPageText(Body, Images))) return false;
    if (web_ && web_->Busy()) web_->Stop();
    Show();
    if (EditMode) ExecCommand(2126);
    EditOnLoad = true;
    try {
        curbrw->Navigate(path);
    } catch (const std::exception& e) {
        helpers::errreport(e.what());
        return false;
    }
    if (mailbox::Form1) mailbox::Form1->PlaceCompanionWindows();
    Caption = "Pelliwox Message Viewer - Preview of " + Subject;
    Panel2->Hide();
    Panel3->Show();
    fnm->Tag = -1;
    return true;
}

void Tbrwsvwr::ReadingFace() {
    EditOnLoad = false;
    if (EditMode) {
        // Leaving edit mode focuses the page; whoever had the keys keeps them.
        ui::TWinControl* list = mailbox::Form1 ? mailbox::Form1->ListView1 : nullptr;
        const bool listHadKeys = list && list->Focused();
        ExecCommand(2126);
        EditMode = false;
        if (listHadKeys && list->CanFocus()) list->SetFocus();
    }
    if (embrow && embrow->Visible()) showEmoji(false);
    Panel3->Hide();
    Panel2->Show();
}

// ---------------------------------------------------------------- reading aloud

int Tbrwsvwr::VoiceIndex = 0;
std::string Tbrwsvwr::LastPhrase;

speech::TSpVoice* Tbrwsvwr::voice() {
    if (!voice_) {
        voice_ = MakeVoice ? MakeVoice() : std::make_unique<speech::TSpVoice>();
        if (voice_ && voice_->Available()) {
            Voices = voice_->GetVoices();
            // The engine's default voice counts as the first: the next is the one after it.
            for (size_t i = 0; i < Voices.size(); ++i)
                if (Voices[i].Identifier == voice_->Voice().Identifier) VoiceIndex = static_cast<int>(i);
        }
    }
    if (!voice_ || !voice_->Available()) {
        const std::string why = voice_ ? voice_->Error() : std::string("There is no speech engine.");
        voice_.reset();  // asked again next time: the engine may be installed meanwhile
        helpers::errreport("Reading aloud is not available: " + why);
        return nullptr;
    }
    return voice_.get();
}

std::string Tbrwsvwr::PhraseToSay(const std::string& Caption) {
    std::string phrase = web_ ? web_->SelectedText() : std::string();
    while (!phrase.empty() && static_cast<unsigned char>(phrase.back()) <= ' ') phrase.pop_back();
    if (phrase.empty()) {
        std::string text = LastPhrase;
        if (!mailbox::kwgrabstr || !mailbox::kwgrabstr->Execute(Caption, "Enter Phrase to Speak", text)) return {};
        phrase = text;
    }
    LastPhrase = phrase;
    return phrase;
}

void Tbrwsvwr::saybtnClick() {
    const std::string phrase = PhraseToSay("Say");
    if (rtl::Trim(phrase).empty()) return;
    speech::TSpVoice* v = voice();
    if (!v) return;
    v->TakeSpeakError();  // an old failure was told already
    const int pieceLength = std::rand() % 20 + 5;
    const int pitch = 8 - std::rand() % 16;
    v->Speak(helpers::speechmarkup(phrase, pieceLength, pitch), speech::SVSFlagsAsync);
    // Speaking runs in the background: its outcome (no sound device, say)
    // is told once the voice is done.
    SayTimer->Enabled = true;
}

void Tbrwsvwr::SayTimerTimer() {
    if (voice_ && !voice_->WaitUntilDone(0)) return;
    SayTimer->Enabled = false;
    if (!voice_) return;
    const std::string failure = voice_->TakeSpeakError();
    if (failure.empty()) return;
    StatusBar1->Panels[0]->Text = failure;
    helpers::errreport(failure);
}

void Tbrwsvwr::saybtnContextPopup() {
    speech::TSpVoice* v = voice();
    if (!v || Voices.empty()) return;
    if (++VoiceIndex >= static_cast<int>(Voices.size())) VoiceIndex = 0;
    v->SetVoice(Voices[static_cast<size_t>(VoiceIndex)]);
    StatusBar1->Panels[0]->Text = "Voice: " + Voices[static_cast<size_t>(VoiceIndex)].Name;
}

}  // namespace composer

