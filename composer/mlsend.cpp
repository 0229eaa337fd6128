// Tmlsend: the composer window's controls, events and commands.
#include "composer/mlsend.h"

#include <algorithm>
#include <filesystem>

#include "composer/addrbook.h"
#include "composer/brwsvwr.h"
#include "composer/attachments.h"
#include "composer/bodyedit.h"
#include "composer/charsets.h"
#include "composer/cssdsgnr.h"
#include "composer/msgcopy.h"
#include "helpers/edhistory.h"
#include "helpers/edithelpers.h"
#include "helpers/htmlcolour.h"
#include "helpers/kwsendmail.h"
#include "helpers/kwutil.h"
#include "mailbox/kwchklist.h"
#include "mailbox/kwdsply.h"
#include "mailbox/kwfnddlg.h"
#include "mailbox/msgrender.h"
#include "platform/rtl/dateutils.h"
#include "spell/lx3spell.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"
#include "spell/lx3thesaurus.h"

namespace composer {

Tmlsend* mlsend = nullptr;

namespace {

constexpr const char* kPlaceholder = "<Enter Message Here>";
constexpr const char* kSendCaption = "Send Email";

// Fixed across versions: received enciphered mail and stored address books
// are read with them.
const std::string kMailKey = "Kq7#pZ2!vW9@xL4$mN8%rT1^bY6&cH3*jF5(gD0)sA=+eU;:,.<>?/\xA3\xA7";
const std::string kAddressBookKey =
    "Xr4!Lp9@Qz2#Vm7$Ks1%Bn8^Hd3&Wf6*Jt5(Gy0)Cu=+Ao;:Ei,.Ru<>Ol?/Pa[]Sc{}Dv|~Fb`-Gn_Hm'Jk\"Zw\x80\x8A\x99";

// Clears a flag when the scope is left, however it is left.
class TFlag {
public:
    explicit TFlag(bool& f) : f_(f), was_(f) { f_ = true; }
    ~TFlag() { f_ = was_; }
    TFlag(const TFlag&) = delete;
    TFlag& operator=(const TFlag&) = delete;

private:
    bool& f_;
    bool was_;
};

void ensureFolder(const std::string& folder) { helpers::forcedirs(folder); }

}  // namespace

Tmlsend::Tmlsend(rtl::TComponent* owner) : ui::TForm(owner) {
    mlsend = this;
    MailKey = kMailKey;
    AddressBookKey = kAddressBookKey;
    buildControls();
    makeSpelling();
    bindEvents();
    Thesaurus31 = new spell::TThesaurus3(this);
    Thesaurus31->Name = "Thesaurus31";
    Thesaurus31->WriteFilename("%AppDir%/syntaro-uk.lxt");
    BodyEditor = std::make_unique<TBodyEditor>(*this);
    PickOne = [](const std::string& Caption, const std::string& Label, const std::vector<std::string>& Names) {
        if (!mailbox::kwchklist) return -1;
        std::string chosen;
        mailbox::kwchklist->PickOne(Caption, Label, chosen, Names);
        const auto it = std::find(Names.begin(), Names.end(), chosen);
        return chosen.empty() || it == Names.end() ? -1 : static_cast<int>(it - Names.begin());
    };
    SendRoutine = [](const TSendArgs& a) {
        return helpers::KwSendMail(a.recipients, a.senders, a.host, a.credentials, a.subject, a.body, a.files,
                                   a.delay);
    };
    if (mailbox::Form1) mailbox::Form1->Composer = this;
}

Tmlsend::~Tmlsend() {
    // The spell checker goes before the body does.
    bdy->WriteLexiroSpell(nullptr);
    if (mailbox::Form1 && mailbox::Form1->Composer == this) mailbox::Form1->Composer = nullptr;
    if (mlsend == this) mlsend = nullptr;
}

// ---------------------------------------------------------------- building

void Tmlsend::buildControls() {
    Caption = "Send an HTML Email";
    SetBounds(60, 60, 1000, 720);
    Constraints->MinWidth = 760;
    Constraints->MinHeight = 560;

    auto* top = new ui::TPanel(this);
    top->Align = ui::alTop;
    top->Height = 196;
    auto label = [&](const char* caption, int x, int y) {
        auto* l = new ui::TLabel(top);
        l->Caption = caption;
        l->SetBounds(x, y + 4, 90, 18);
        return l;
    };
    auto edit = [&](ui::TEdit*& e, int x, int y, int w) {
        e = new ui::TEdit(top);
        e->SetBounds(x, y, w, 24);
    };
    label("From :-", 8, 8);
    edit(emfrom, 100, 8, 250);
    rdrcptfrom = new ui::TCheckBox(top);
    rdrcptfrom->Caption = "Read Receipt";
    rdrcptfrom->SetBounds(356, 10, 110, 22);
    label("SMTP Host :-", 476, 8);
    edit(emhost, 568, 8, 200);
    emhost->Hint = "SMTP host, optionally /port (default port 25; /+587 STARTTLS, /-465 TLS)";
    emhost->ShowHint = true;
    label("Reply-To :-", 8, 38);
    edit(emreplyto, 100, 38, 250);
    rdrcptreplyto = new ui::TCheckBox(top);
    rdrcptreplyto->Caption = "Read Receipt";
    rdrcptreplyto->SetBounds(356, 40, 110, 22);
    label("User :-", 476, 38);
    edit(emuserid, 568, 38, 200);
    label("Password :-", 776, 38);
    edit(empass, 868, 38, 100);
    empass->PasswordChar = '*';

    adbk = new ui::TButton(top);
    adbk->Caption = "To :-";
    adbk->SetBounds(8, 68, 84, 24);
    auto combo = [&](ui::TComboBox*& c, int x, int y, int w) {
        c = new ui::TComboBox(top);
        c->Sorted = true;
        c->DropDownCount = 20;
        c->SetBounds(x, y, w, 24);
    };
    combo(emto, 100, 68, 366);
    label("Cc :-", 476, 68);
    combo(emcc, 568, 68, 400);
    label("Bcc :-", 8, 98);
    edit(embcc, 100, 98, 366);
    Label9 = label("Character Set :-", 476, 98);
    Label9->Hint = "Click to search the list; right-click to search again";
    Label9->ShowHint = true;
    chaset = new ui::TComboBox(top);
    chaset->Style = ui::csDropDownList;
    chaset->DropDownCount = 25;
    chaset->SetBounds(568, 98, 290, 24);
    encrypt = new ui::TCheckBox(top);
    encrypt->Caption = "Encrypt Email";
    encrypt->Hint = "Scrambles the subject and body against a glance. It is not encryption: "
                    "any copy of Pelliwox reads them back.";
    encrypt->ShowHint = true;
    encrypt->SetBounds(866, 100, 110, 22);
    label("Subject :-", 8, 128);
    edit(subj, 100, 128, 868);
    subj->MaxLength = 65535;
    Label11 = label("Email HTML Body :-", 8, 164);
    Label11->Width = 128;
    Label11->Hint = "Click to save the body to a file";
    Label11->ShowHint = true;
    auto button = [&](ui::TBitBtn*& b, const char* caption, int x, int y, int w) {
        b = new ui::TBitBtn(top);
        b->Caption = caption;
        b->SetBounds(x, y, w, 26);
    };
    button(BitBtn5, kSendCaption, 140, 160, 100);
    button(prvwbtn, "Preview", 246, 160, 70);
    button(svtplbtn, "Save as Default Template", 322, 160, 170);
    button(svdraft, "Save Draft", 498, 160, 76);
    button(lddraft, "Load Draft", 580, 160, 76);
    button(ldsent, "Load Sent", 662, 160, 72);
    button(srchsent, "Search Sent", 740, 160, 76);
    button(srchrcvd, "Search Rcvd", 822, 160, 76);
    button(stydesig, "Style Designer", 904, 160, 92);

    StatusBar1 = new ui::TStatusBar(this);
    StatusBar1->SimplePanel = true;

    auto* bottom = new ui::TPanel(this);
    bottom->Align = ui::alBottom;
    bottom->Height = 96;
    Label14 = new ui::TLabel(bottom);
    Label14->Caption = "Sent Log :-";
    Label14->SetBounds(8, 4, 200, 18);
    Label14->Hint = "Click to show the whole sent log";
    Label14->ShowHint = true;
    sntlog = new ui::TMemo(bottom);
    sntlog->ReadOnly = true;
    sntlog->ScrollBars = ui::ssBoth;
    sntlog->WordWrap = false;
    sntlog->SetBounds(8, 24, 960, 66);

    auto* side = new ui::TPanel(this);
    side->Align = ui::alRight;
    side->Width = 300;
    auto listPart = [&](ui::TLabel*& caption, ui::TListBox*& list, ui::TBitBtn*& add, ui::TBitBtn*& remove,
                        ui::TBitBtn*& clear, int y) {
        caption = new ui::TLabel(side);
        caption->AutoSize = false;
        caption->SetBounds(6, y, 290, 18);
        list = new ui::TListBox(side);
        list->SetBounds(6, y + 20, 288, 130);
        list->ShowHint = true;
        auto small = [&](ui::TBitBtn*& b, const char* c, int x) {
            b = new ui::TBitBtn(side);
            b->Caption = c;
            b->SetBounds(x, y + 154, 90, 24);
        };
        small(add, "Add", 6);
        small(remove, "Remove", 104);
        small(clear, "Clear", 202);
    };
    listPart(Label10, ListBox1, BitBtn1, BitBtn2, BitBtn3, 4);
    listPart(Label12, ListBox2, BitBtn4, BitBtn6, BitBtn7, 190);

    bdy = new spell::TLexiroRichEdit(this);
    bdy->Align = ui::alClient;
    bdy->PlainText = true;
    bdy->WordWrap = false;
    bdy->ScrollBars = ui::ssBoth;
    bdy->Font->Name = "Courier New";
    bdy->Font->Size = 10;

    Timer3 = new ui::TTimer(this);
    Timer3->Enabled = false;
    Timer3->Interval = 750;

    OpenDialog1 = new ui::TOpenDialog(this);
    OpenDialog1->Title = "Add Attachment(s)";
    OpenDialog1->Options = OpenDialog1->Options | ui::ofAllowMultiSelect | ui::ofFileMustExist;
    OpenDialog1->Filter =
        "All Files|*|Image Files|*.jpg;*.jpeg;*.gif;*.png;*.bmp;*.ico;*.tif;*.tiff;*.webp|"
        "Office Documents|*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.odt;*.ods;*.odp;*.pdf;*.rtf;*.txt|"
        "Audio Files|*.mp3;*.wav;*.ogg;*.flac;*.m4a;*.wma|Video Files|*.mp4;*.avi;*.mkv;*.mov;*.wmv;*.webm|"
        "Zip Files|*.zip;*.7z;*.gz;*.tgz;*.bz2;*.xz;*.rar";
    OpenPictureDialog1 = new ui::TOpenPictureDialog(this);
    OpenPictureDialog1->Title = "Insert Image(s)";
    OpenPictureDialog1->Options = OpenPictureDialog1->Options | ui::ofAllowMultiSelect | ui::ofFileMustExist;
    OpenPictureDialog1->Filter =
        "Images|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.png|JPEG|*.jpg;*.jpeg|Bitmaps|*.bmp|Icons|*.ico|"
        "Metafiles|*.emf;*.wmf|PNG|*.png";
    SaveDialog1 = new ui::TSaveDialog(this);
    SaveDialog1->Title = "Save to HTML File";
    SaveDialog1->Filter = "HTML files|*.htm;*.html";
    SaveDialog1->DefaultExt = "htm";
    SaveDialog1->Options = SaveDialog1->Options | ui::ofOverwritePrompt;

    UpdateAttachCaption();
    UpdateImagesCaption();
}

void Tmlsend::bindEvents() {
    auto click = [this](ui::TControl* c, void (Tmlsend::*f)(rtl::TObject*)) {
        c->OnClick = [this, f](rtl::TObject* s) { (this->*f)(s); };
    };
    click(BitBtn5, &Tmlsend::BitBtn5Click);
    click(BitBtn1, &Tmlsend::BitBtn1Click);
    click(BitBtn2, &Tmlsend::BitBtn2Click);
    click(BitBtn3, &Tmlsend::BitBtn3Click);
    click(BitBtn4, &Tmlsend::BitBtn4Click);
    click(BitBtn6, &Tmlsend::BitBtn6Click);
    click(BitBtn7, &Tmlsend::BitBtn7Click);
    click(svdraft, &Tmlsend::svdraftClick);
    click(lddraft, &Tmlsend::lddraftClick);
    click(ldsent, &Tmlsend::ldsentClick);
    click(srchsent, &Tmlsend::srchsentClick);
    click(srchrcvd, &Tmlsend::srchrcvdClick);
    click(svtplbtn, &Tmlsend::svtplbtnClick);
    click(Label11, &Tmlsend::Label11Click);
    click(Label14, &Tmlsend::Label14Click);
    click(Label9, &Tmlsend::Label9Click);
    click(adbk, &Tmlsend::adbkClick);
    prvwbtn->OnClick = [this](rtl::TObject* s) { prvwbtnClick(s); };
    prvwbtn->OnContextPopup = [this](rtl::TObject* s, ui::TPoint, bool& h) { h = true, prvwbtnContextPopup(s); };
    click(stydesig, &Tmlsend::stydesigClick);
    Label9->OnContextPopup = [this](rtl::TObject* s, ui::TPoint, bool& handled) {
        handled = true;
        Label9ContextPopup(s);
    };
    chaset->OnChange = [this](rtl::TObject* s) { chasetChange(s); };
    subj->OnChange = [this](rtl::TObject* s) { subjChange(s); };
    emto->OnDropDown = [this](rtl::TObject* s) { emtoDropDown(s); };
    emcc->OnDropDown = [this](rtl::TObject* s) { emtoDropDown(s); };
    OnShow = [this](rtl::TObject* s) { FormShow(s); };
    OnCloseQuery = [this](rtl::TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    Timer3->OnTimer = [this](rtl::TObject* s) { Timer3Timer(s); };
    bdy->OnEnter = [this](rtl::TObject*) { SelectPlaceholder(); };

    // The two lists: open a row, its file's details as hint, Delete removes.
    auto listEvents = [this](ui::TListBox* list, void (Tmlsend::*remove)(rtl::TObject*)) {
        auto open = [list] {
            const int i = list->ItemIndex;
            if (i >= 0) helpers::shellopen(list->Items[i]);
        };
        list->OnDblClick = [open](rtl::TObject*) { open(); };
        list->OnKeyDown = [this, list, open, remove](rtl::TObject*, ui::WORD& key, ui::TShiftState) {
            if (key == ui::VK_DELETE) {
                (this->*remove)(list);
                key = 0;
            } else if (key == ui::VK_RETURN) {
                open();
                key = 0;
            }
        };
        list->OnMouseMove = [list](rtl::TObject*, ui::TShiftState, int x, int y) {
            const int i = list->ItemAtPos(ui::TPoint{x, y}, true);
            const std::string hint = i < 0 ? std::string() : helpers::filedetails(list->Items[i]);
            if (hint != list->Hint()) list->Hint = hint;
        };
    };
    listEvents(ListBox1, &Tmlsend::BitBtn2Click);
    listEvents(ListBox2, &Tmlsend::BitBtn6Click);
}

// ---------------------------------------------------------------- helpers

std::vector<std::string> Tmlsend::rows(ui::TListBox* list) const {
    std::vector<std::string> r;
    for (int i = 0; i < list->Items->Count; ++i) r.push_back(list->Items[i]);
    return r;
}

void Tmlsend::setBody(const std::string& text) {
    TFlag quiet(Loading);
    bdy->Clear();
    bdy->SelAttributes->Assign(*bdy->Font);
    bdy->Text = text;
    helpers::histreset(bdy);
}

// Replaces a range of the body in place, the caret kept where it was.
void Tmlsend::replaceBody(size_t start, size_t length, const std::string& text) {
    const int caret = bdy->SelStart, selected = bdy->SelLength;
    bdy->Select(static_cast<int64_t>(start), static_cast<int64_t>(length));
    bdy->SelText = text;
    const int64_t shift = static_cast<int64_t>(text.size()) - static_cast<int64_t>(length);
    const int64_t at = static_cast<size_t>(caret) > start ? caret + shift : caret;
    bdy->Select(at < 0 ? 0 : at, selected);
}

void Tmlsend::stydesigClick(rtl::TObject*) {
    Tcssdsgnr* designer = cssdsgnr;
    if (!designer) return NotYet("The style designer");
    designer->Others.clear();
    designer->bordtypeChange(stydesig);
    if (bdy->CanFocus()) bdy->SetFocus();
    designer->Show();
    designer->BringToFront();
}

void Tmlsend::NotYet(const std::string& What) {
    const std::string text = What + " is not available yet.";
    StatusBar1->SimpleText = text;
    ui::MessageDlg(text, ui::mtInformation, ui::mbOK);
}

void Tmlsend::focusField(TFieldProblem::TField field) {
    ui::TWinControl* c = nullptr;
    switch (field) {
        case TFieldProblem::Host: c = emhost; break;
        case TFieldProblem::From: c = emfrom; break;
        case TFieldProblem::Subject: c = subj; break;
        case TFieldProblem::Body: c = bdy; break;
        case TFieldProblem::To: c = emto; break;
        case TFieldProblem::None: break;
    }
    if (c && c->CanFocus()) c->SetFocus();
}

void Tmlsend::SelectPlaceholder() {
    // Silent: a body without the placeholder is no error.
    const int tag = bdy->Tag;
    bdy->Tag = 999;
    mailbox::TScopeExit back([&] { bdy->Tag = tag; });
    helpers::edfind(bdy, 0, kPlaceholder, false, false);
}

TMessageFields Tmlsend::Fields() const {
    TMessageFields f;
    f.From = emfrom->Text();
    f.Host = emhost->Text();
    f.UserId = emuserid->Text();
    f.Password = empass->Text();
    f.ReplyTo = emreplyto->Text();
    f.ReceiptFrom = rdrcptfrom->Checked();
    f.ReceiptReplyTo = rdrcptreplyto->Checked();
    f.To = emto->Text();
    f.Cc = emcc->Text();
    f.Bcc = embcc->Text();
    f.Charset = CharsetChosen();
    f.Encrypt = encrypt->Checked();
    f.Subject = subj->Text();
    f.Body = bdy->Text();
    f.Attachments = rows(ListBox1);
    f.Images = rows(ListBox2);
    return f;
}

// ---------------------------------------------------------------- sending

void Tmlsend::BitBtn5Click(rtl::TObject*) {
    // The send routine pumps messages while it waits: a second press (or the
    // viewer's Send) must not start another send on the one client.
    if (sending_) {
        StatusBar1->SimpleText = "A send is running - wait for its result before sending again";
        return;
    }
    TMessageFields f = Fields();
    const TFieldProblem missing = MissingField(f);
    if (missing.field != TFieldProblem::None) {
        ui::MessageDlg(missing.message, ui::mtWarning, ui::mbOK);
        focusField(missing.field);
        return;
    }
    if (f.Encrypt && (!f.Attachments.empty() || !f.Images.empty())) {
        ui::MessageDlg(kNoEncryptWithFiles, ui::mtWarning, ui::mbOK);
        return;
    }
    if (f.Attachments.empty() && MentionsAttachment(f.Body, BlockStyle) &&
        helpers::askyesno("Have you Forgotten to Attach a File")) {
        BitBtn1Click(BitBtn1);
        return;
    }
    subjChange(subj);
    // The page declares the set it goes out in, whatever a text typed or
    // pasted since the set was chosen declares.
    chasetChange(chaset);

    // The body is written in the declared set; what it cannot hold is said
    // before anything is sent. The subject, the names and the file names
    // go as the program's text: the client writes each in the declared set
    // where it holds it, else in UTF-8.
    f = Fields();
    TConversion body = ToCharset(f.Body, f.Charset);
    if (!body.ok) {
        const std::string what = !body.known ? "The character set " + f.Charset + " cannot be written here"
                                             : "The character set " + f.Charset + " cannot hold " + body.unmappable;
        if (!helpers::askyesno(what + "\r\n\r\nSend in utf-8 instead?")) return;
        SelectCharset("utf-8");
        chasetChange(chaset);
        f = Fields();
        body = ToCharset(f.Body, f.Charset);
    }

    TFlag busy(sending_);
    BitBtn5->Enabled = false;
    BitBtn5->Caption = "Please Wait";
    mailbox::TScopeExit restore([this] {
        BitBtn5->Caption = kSendCaption;
        BitBtn5->Enabled = true;
    });
    helpers::sendcharset = f.Charset;
    const std::string result = SendRoutine(BuildSendArgs(f, f.Subject, body.text, MailKey));

    if (SendSucceeded(result)) {
        SaveMessageCopy("sent", f);
        AddToAddressBook(f.To);
        // What went out is kept; a change made while it went is not.
        kept_ = f;
    }
    const std::string line = SentLogLine(f, result);
    sntlog->Lines->Add(line);
    // The log names who was written to: the owner's alone.
    helpers::savetext("+" + SentLogPath(), line + "\r\n", 0600);
    StatusBar1->SimpleText = result;
}

void Tmlsend::prvwbtnClick(rtl::TObject*) {
    if (!brwsvwr) return NotYet("The message viewer");
    brwsvwr->ShowPreview(bdy->Text(), rows(ListBox2), subj->Text());
}

void Tmlsend::prvwbtnContextPopup(rtl::TObject*) {
    // The desktop's browser gets the same page, as a copy without scripts or
    // remote references.
    const std::string path = helpers::homedir + "kwemailprvw.htm";
    if (!helpers::savetext(path, PreviewPageText(bdy->Text(), rows(ListBox2)))) return;
    const std::string copy = mailbox::WriteBrowserCopy(path);
    if (!copy.empty()) helpers::shellopen(copy);
}

void Tmlsend::Label14Click(rtl::TObject*) {
    if (!mailbox::kwdsply) return NotYet("The sent log window (" + SentLogPath() + ")");
    mailbox::kwdsply->ShowText("Pelliwox Sent Log", SentLogPath(), false, true, false, false, 8, "@" + SentLogPath());
}

void Tmlsend::FormShow(rtl::TObject*) {
    if (!shownOnce_) {
        shownOnce_ = true;
        fillCharsets();
    }
    unchanged([this] { chasetChange(chaset); });
}

void Tmlsend::FormCloseQuery(rtl::TObject*, bool& CanClose) {
    CanClose = true;
    OfferDraft();
}

bool Tmlsend::Changed() const { return !SameCopy(Fields(), kept_); }

bool Tmlsend::OfferDraft() {
    if (!Changed()) return true;
    if (helpers::askyesno("The email has been changed since it was last saved or sent.\r\n\r\nSave it as a Draft")) {
        const TMessageFields f = Fields();
        const std::string path = SaveMessageCopy("draft", f);
        if (path.empty()) return false;  // the failure was reported; the message stays changed
        StatusBar1->SimpleText = "Saved as " + path;
    }
    // Saved, or let go: no question again for the same text.
    keep();
    return true;
}

void Tmlsend::unchanged(const std::function<void()>& Work) {
    const bool was = !Changed();
    Work();
    if (was) keep();
}

// ---------------------------------------------------------------- copies

std::string Tmlsend::SaveMessageCopy(const std::string& Folder) { return SaveMessageCopy(Folder, Fields()); }

std::string Tmlsend::SaveMessageCopy(const std::string& Folder, const TMessageFields& F) {
    const std::string folder = CopyFolder(Folder, F.UserId);
    ensureFolder(folder);
    const std::string path = folder + FreeCopyName(folder, CopyName(rtl::Now(), F.Subject));
    // A copy holds addresses.
    return helpers::savetext(path, CopyText(F), 0600) ? path : std::string();
}

void Tmlsend::svdraftClick(rtl::TObject*) {
    const TMessageFields f = Fields();
    const std::string path = SaveMessageCopy("draft", f);
    if (path.empty()) return;
    kept_ = f;
    helpers::errreport("Saved as " + path);
}

void Tmlsend::lddraftClick(rtl::TObject*) { LoadStoredMessage("draft", ""); }

void Tmlsend::ldsentClick(rtl::TObject*) { LoadStoredMessage("sent", ""); }

void Tmlsend::srchsentClick(rtl::TObject*) { searchStored("sent", "Search Sent Items for", lastSentSearch_); }

void Tmlsend::srchrcvdClick(rtl::TObject*) { searchStored("rcvd", "Search Received Items for", lastRcvdSearch_); }

void Tmlsend::searchStored(const std::string& Folder, const std::string& Prompt, std::string& Last) {
    if (!mailbox::kwfind) return NotYet("The find dialog");
    std::string text = Last;
    if (!mailbox::kwfind->Execute("Pelliwox", Prompt, false, text)) return;
    Last = text;
    LoadStoredMessage(Folder, text);
}

void Tmlsend::LoadStoredMessage(const std::string& Folder, const std::string& Search) {
    const std::string user = emuserid->Text();
    const std::string folder = CopyFolder(Folder, user);
    if (bdy->CanFocus()) bdy->SetFocus();
    ensureFolder(folder);
    // Without a user every mailbox's copies are offered: each was filed
    // under the user of its time.
    std::vector<std::string> names = CopyFiles(folder, user.empty());
    if (names.empty()) return;
    const std::string suffix = Search.empty() ? "" : " Containing \"" + Search + "\"";
    if (!Search.empty()) {
        const std::string subject = subj->Text();
        {
            TFlag quiet(Loading);
            names = SearchCopies(folder, names, Search, [this](size_t read, size_t total, size_t found) {
                subj->Text = "Searched " + helpers::numsep(static_cast<int64_t>(read)) + " of " +
                             helpers::numsep(static_cast<int64_t>(total)) + " - Found " +
                             helpers::numsep(static_cast<int64_t>(found));
                win::ProcessMessages();
            });
            subj->Text = subject;
        }
        if (names.empty()) {
            helpers::errreport("None Found" + suffix);
            return;
        }
    }
    if (!PickOne) return NotYet("Choosing a stored email (the check-list dialog's pick)");
    if (mailbox::kwchklist && mailbox::kwchklist->Width < 600)
        mailbox::kwchklist->Width = 600;
    while (true) {
        const int i = PickOne("Pelliwox - Choose a " + Folder + " email to load :-",
                              "Emails in " + folder + suffix + " (Right-Click to Search Filenames) :-", names);
        if (i < 0 || i >= static_cast<int>(names.size())) return;
        if (!LoadStoredFile(Folder, folder + names[static_cast<size_t>(i)])) return;
        if (!Search.empty()) {
            const int tag = bdy->Tag;
            bdy->Tag = 999;
            mailbox::TScopeExit back([&] { bdy->Tag = tag; });
            helpers::edfind(bdy, 0, Search, false, false);
        }
    }
}

bool Tmlsend::LoadStoredFile(const std::string& Folder, const std::string& Path) {
    const std::string text = helpers::loadtext(Path);
    if (rtl::LowerCase(Folder.substr(0, 4)) == "rcvd") {
        OfferDraft();
        TFlag quiet(Loading);
        emto->Text = "";
        emcc->Text = "";
        embcc->Text = "";
        emreplyto->Text = "";
        subj->Text = ReceivedSubject(text);
        ClearLists();
        const std::string declared = DeclaredCharset(text);
        if (!declared.empty()) SelectCharset(declared);
        setBody(text);
        // Beside the viewer, the page comes as a quote in the template.
        if (mailbox::Form1 && mailbox::Form1->Viewer.Visible()) {
            const mailbox::TForm1::TQuoted q = mailbox::Form1->QuoteInTemplate(text, false, mailbox::Form1->SavedFilesOfPage(Path));
            for (const std::string& a : q.Attachments) ListBox1->Items->Add(a);
            for (const std::string& i : q.Images) ListBox2->Items->Add(i);
            setBody(q.Html);
        }
    } else {
        const TStoredCopy copy = ReadCopy(Path, text);
        if (!copy.ok) {
            helpers::errreport(Path + " is no stored email: " + copy.Problem);
            return false;
        }
        OfferDraft();
        ClearLists();
        TFlag quiet(Loading);
        subj->Text = copy.Subject;
        if (!copy.To.empty()) emto->Text = copy.To;
        // Cc and Bcc are taken as stored, also when empty: recipients left
        // over from the message before would otherwise receive this one.
        emcc->Text = copy.Cc;
        embcc->Text = copy.Bcc;
        for (const std::string& a : copy.Attachments) ListBox1->Items->Add(a);
        for (const std::string& i : copy.Images) ListBox2->Items->Add(i);
        setBody(copy.Body);
    }
    keep();
    Timer3->Enabled = true;
    return true;
}

// ---------------------------------------------------------------- template

void Tmlsend::svtplbtnClick(rtl::TObject*) {
    const std::string folder = helpers::homedir + MailboxName(emuserid->Text()) + "/";
    const std::string path = folder + "kwemailtemplate.htm";
    if (helpers::pathexists(path) && !helpers::askyesno("Overwrite template " + path)) return;
    if (bdy->CanFocus()) bdy->SetFocus();
    ensureFolder(folder);
    if (helpers::savetext(path, TemplateText(bdy->Text())))
        helpers::errreport("Template Saved (Filename " + path + ")");
}

void Tmlsend::Label11Click(rtl::TObject*) {
    const std::string body = bdy->Text();
    if (body.empty()) return;
    if (SaveDialog1->Execute()) helpers::savetext(SaveDialog1->FileName, body);
}

// ---------------------------------------------------------------- address book

void Tmlsend::AddToAddressBook(const std::string& Text) {
    std::string error;
    if (composer::AddToAddressBook(Text, AddressBookKey, &error)) emtoDropDown(emto);
    else if (!error.empty()) helpers::errreport(error);
}

void Tmlsend::emtoDropDown(rtl::TObject*) {
    const TBookRead book = ReadAddressBook(AddressBookKey);
    if (!book.ok) StatusBar1->SimpleText = book.error;
    const std::vector<std::string> lines = AddressBookLines(book.plain);
    for (ui::TComboBox* box : {emto, emcc}) {
        const std::string text = box->Text();
        box->Items->BeginUpdate();
        box->Items->Clear();
        for (const std::string& l : lines) box->Items->Add(l);
        box->Items->EndUpdate();
        box->ItemIndex = box->Items->IndexOf(text);
        box->Text = text;
    }
}

void Tmlsend::adbkClick(rtl::TObject*) {
    if (emto->CanFocus()) emto->SetFocus();
    if (!mailbox::kwdsply) return NotYet("The address-book editor (" + AddressBookPath() + ")");
    mailbox::Tkwdsply& w = *mailbox::kwdsply;
    // One showing at a time: whatever the text window shows ends first.
    if (w.Visible()) {
        if (w.Modal()) w.EndModal(ui::mrCancel);
        else w.Close();
    }
    // A book that cannot be read is not offered for editing: saving the
    // empty editor would put nothing in its place.
    const TBookRead read = ReadAddressBook(AddressBookKey);
    if (!read.ok) {
        helpers::errreport(read.error + ". It was left as it is.");
        return;
    }

    w.Caption = "Pelliwox - Address Book Editor";
    w.titls->Font->Name = "Times New Roman";
    w.titls->Font->Size = 8;
    w.titls->Caption = helpers::filedetails(AddressBookPath());
    w.Memo1->Font->Name = "Arial";
    w.Memo1->Font->Size = 9;
    w.Memo1->Font->Color = ui::clNavy;
    w.Memo1->Font->Style = ui::fsBold;
    w.Memo1->ReadOnly = false;
    w.Button1->Caption = "&Save";
    w.Button1->ModalResult = ui::mrOk;
    w.Button2->Caption = "&Cancel";
    w.Button2->ModalResult = ui::mrCancel;
    w.ClearButtonHandlers();
    w.Button1->Visible = true;
    w.Button2->Visible = true;
    w.Button3->Visible = false;
    w.Button4->Visible = false;
    w.Label1->Visible = true;
    w.buttonpanel->Visible = true;
    // The window serves others afterwards: put it back however the editing ends.
    mailbox::TScopeExit restore([&w] {
        w.Button2->Visible = false;
        w.Label1->Visible = false;
        w.buttonpanel->Visible = false;
        w.Memo1->ReadOnly = true;
        w.Memo1->Font->Style = w.Memo1->Font->Style() & ~static_cast<ui::TFontStyles>(ui::fsBold);
        for (ui::TButton* b : {w.Button1, w.Button2}) b->ModalResult = ui::mrNone;
    });
    helpers::edsettext(w.Memo1, AddressBookEditorText(read.plain));
    w.Memo1->SelStart = 0;
    // Typing goes into the book at once, and Esc there cancels.
    w.ActiveControl = w.Memo1;
    w.ModalResult = ui::mrNone;
    if (w.ShowModal() != ui::mrOk) return;
    std::string error;
    if (!SaveAddressBook(rtl::Trim(w.Memo1->Text()), AddressBookKey, &error)) {
        helpers::errreport(error);
        return;
    }
    emtoDropDown(emto);
}

// ---------------------------------------------------------------- files

void Tmlsend::BitBtn1Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    if (!OpenDialog1->Execute()) return;
    for (const std::string& f : *OpenDialog1->Files) ListBox1->Items->Add(f);
    UpdateAttachCaption();
}

void Tmlsend::BitBtn2Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    const int i = ListBox1->ItemIndex;
    if (i < 0) return;
    ListBox1->Items->Delete(i);
    UpdateAttachCaption();
}

void Tmlsend::BitBtn3Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    ListBox1->Items->Clear();
    UpdateAttachCaption();
}

void Tmlsend::BitBtn4Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    if (!OpenPictureDialog1->Execute()) return;
    const int k = ListBox2->Items->Count;
    for (const std::string& f : *OpenPictureDialog1->Files) ListBox2->Items->Add(f);
    UpdateImagesCaption();
    std::string tags;
    for (int i = k + 1; i <= ListBox2->Items->Count; ++i) tags += ImageTag(i);
    helpers::edinsert(bdy, tags);
}

void Tmlsend::BitBtn6Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    const int i = ListBox2->ItemIndex;
    if (i < 0) return;
    const std::string body = bdy->Text();
    const std::string changed = RemoveImageTag(body, i + 1, ListBox2->Items->Count);
    if (changed != body) helpers::edsettext(bdy, changed);
    ListBox2->Items->Delete(i);
    UpdateImagesCaption();
}

void Tmlsend::BitBtn7Click(rtl::TObject*) {
    if (bdy->CanFocus()) bdy->SetFocus();
    const std::string body = bdy->Text();
    const std::string changed = RemoveAllImageTags(body, ListBox2->Items->Count);
    if (changed != body) helpers::edsettext(bdy, changed);
    ListBox2->Items->Clear();
    UpdateImagesCaption();
}

void Tmlsend::UpdateAttachCaption() { Label10->Caption = ListCaption("Attachments", rows(ListBox1)); }

void Tmlsend::UpdateImagesCaption() {
    Label12->Caption = ListCaption("Inserted Images", rows(ListBox2));
    // Image tags may have been renumbered: the next tick colours afresh.
    helpers::hlinvalidate();
}

void Tmlsend::Timer3Timer(rtl::TObject*) {
    Timer3->Enabled = false;
    UpdateAttachCaption();
    UpdateImagesCaption();
    if (mailbox::kwchklist && mailbox::kwchklist->Visible()) mailbox::kwchklist->BringToFront();
}

// ---------------------------------------------------------------- character sets

void Tmlsend::fillCharsets() {
    chaset->Items->BeginUpdate();
    chaset->Items->Clear();
    for (const TCharsetEntry& e : CharsetEntries()) chaset->Items->Add(CharsetEntryText(e));
    chaset->Items->EndUpdate();
    helpers::combofit(chaset, emhost);
    chaset->ItemIndex = chaset->Items->Count - 1;
    SelectCharset("utf-8");
}

void Tmlsend::SelectCharset(const std::string& Name) {
    if (chaset->Items->Count == 0) fillCharsets();
    const int i = FindCharset(Name);
    if (i >= 0 && i < chaset->Items->Count) chaset->ItemIndex = i;
}

std::string Tmlsend::CharsetChosen() const { return CharsetName(chaset->Text()); }

void Tmlsend::chasetChange(rtl::TObject*) {
    const std::string body = bdy->Text();
    size_t start = 0, length = 0;
    if (!CharsetValueRange(body, start, length)) return;
    const std::string name = CharsetChosen();
    if (name.empty() || body.compare(start, length, name) == 0) return;
    replaceBody(start, length, name);
}

void Tmlsend::searchCharsets(int start) {
    const int i = SearchCharsets(CharsetSearch, start);
    if (i < 0) {
        helpers::errreport("Text " + CharsetSearch + " not found in character set list");
        return;
    }
    chaset->ItemIndex = i;
    chasetChange(chaset);
}

void Tmlsend::Label9Click(rtl::TObject*) {
    if (!mailbox::kwfind) return NotYet("The find dialog");
    std::string text = CharsetSearch;
    if (!mailbox::kwfind->Execute(Caption(), "Enter Text to Search Character Set List for", false, text)) return;
    CharsetSearch = text;
    searchCharsets(chaset->ItemIndex);
}

void Tmlsend::Label9ContextPopup(rtl::TObject* Sender) {
    if (CharsetSearch.empty()) return Label9Click(Sender);
    const int count = chaset->Items->Count;
    searchCharsets(count == 0 ? 0 : (chaset->ItemIndex + 1) % count);
}

// ---------------------------------------------------------------- subject

void Tmlsend::subjChange(rtl::TObject*) {
    if (Loading) return;
    const std::string body = bdy->Text();
    size_t start = 0, length = 0;
    if (!FindTitle(body, start, length)) return;
    const std::string title = TitleFor(subj->Text());
    if (body.compare(start, length, title) != 0) replaceBody(start, length, title);
    UpdateImagesCaption();
}

// ---------------------------------------------------------------- for the mailbox window

void Tmlsend::NewMessage(const std::string& To, const std::string& Subject, const std::string& Body) {
    OfferDraft();
    TFlag quiet(Loading);
    emto->Text = To;
    emreplyto->Text = "";
    emcc->Text = "";
    embcc->Text = "";
    subj->Text = Subject;
    setBody(Body);
    keep();
}

void Tmlsend::ReplyMessage(const TReplyFields& Fields) {
    OfferDraft();
    TFlag quiet(Loading);
    emto->Text = Fields.To;
    emreplyto->Text = "";
    emcc->Text = Fields.Cc;
    subj->Text = Fields.Subject;
    // The quoted page is UTF-8 whatever the message was sent in.
    SelectCharset("utf-8");
    ListBox1->Items->Clear();
    for (const std::string& a : Fields.Attachments) ListBox1->Items->Add(a);
    ListBox2->Items->Clear();
    for (const std::string& i : Fields.Images) ListBox2->Items->Add(i);
    UpdateAttachCaption();
    UpdateImagesCaption();
    setBody(Fields.Body);
    keep();
}

void Tmlsend::ClearLists() {
    unchanged([this] {
        BitBtn3Click(BitBtn3);
        BitBtn7Click(BitBtn7);
    });
}

void Tmlsend::ShowComposer() {
    Show();
    BringToFront();
    // The caret goes where the user starts: the addressee when there is
    // none yet, else the body's placeholder.
    ui::TWinControl* start = rtl::Trim(emto->Text()).empty() ? static_cast<ui::TWinControl*>(emto) : bdy;
    ActiveControl = start;
    if (start->CanFocus()) start->SetFocus();
    SelectPlaceholder();
}

void Tmlsend::HideComposer() { Hide(); }

void Tmlsend::SetAccount(const std::string& Host, const std::string& From, const std::string& User,
                         const std::string& Password) {
    emhost->Text = Host;
    emfrom->Text = From;
    emuserid->Text = User;
    empass->Text = Password;
}

}  // namespace composer
