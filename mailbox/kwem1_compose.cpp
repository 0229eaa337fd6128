// TForm1's side of the composer: the Compose button, a new message, showing
// the composer, and the start-up step's part for it.
#include <filesystem>

#include "helpers/kwutil.h"
#include "mailbox/kwchklist.h"
#include "mailbox/kwem1.h"
#include "platform/rtl/sysutils.h"

namespace mailbox {

namespace {
constexpr const char* kPlaceholder = "<Enter Message Here>";
}  // namespace

void TForm1::BitBtn9Click(rtl::TObject*) { ComposeNew("", "", ""); }

// The composer as it was left, lists and all.
void TForm1::BitBtn9ContextPopup(rtl::TObject*) { ShowComposer(false); }

std::string TForm1::MailboxFolderName(const std::string& UserId) {
    std::string s = UserId;
    for (char& c : s)
        if (c == '@' || c == '.') c = '_';
    return s;
}

std::string TForm1::TemplatePath() {
    const std::string folder = ProgramFolder + MailboxFolderName(Edit1->Text()) + "/";
    const std::string path = folder + "kwemailtemplate.htm";
    if (!helpers::pathexists(path)) {
        helpers::forcedirs(folder);
        if (helpers::pathexists(ProgramFolder + "kwemailtemplate.htm"))
            helpers::filecopy(ProgramFolder + "kwemailtemplate.htm", path);
    }
    return path;
}

void TForm1::ComposeNew(const std::string& To, const std::string& Subject, const std::string& Body) {
    if (!Composer) return;
    if (ListView1->CanFocus()) ListView1->SetFocus();
    std::string page = helpers::loadtext(TemplatePath());
    if (!Body.empty()) page = helpers::htmlplace(page, kPlaceholder, helpers::htmlescape(Body));
    Composer->NewMessage(To, Subject, page);
    ShowComposer(true);
}

void TForm1::ShowComposer(bool ClearLists) {
    if (!Composer) return;
    SyncComposerAccount();
    if (ClearLists) Composer->ClearLists();
    Composer->ShowComposer();
}

void TForm1::SyncComposerAccount() {
    if (!Composer || Account() == ComposerAccount) return;
    ComposerAccount = Account();
    Composer->SetAccount(SmtpHost, SmtpFrom, Edit1->Text(), Edit2->Text());
}

void TForm1::bindComposer() {
    // A host chosen later goes to the composer too.
    auto chosen = pop3host->OnChange;
    pop3host->OnChange = [this, chosen](rtl::TObject* s) {
        if (chosen) chosen(s);
        SyncComposerAccount();
    };
    auto popup = [](std::function<void(rtl::TObject*)> f) {
        return [f](rtl::TObject* s, ui::TPoint, bool& handled) {
            handled = true;
            f(s);
        };
    };
    BitBtn9->OnClick = [this](rtl::TObject* s) { BitBtn9Click(s); };
    BitBtn9->OnContextPopup = popup([this](rtl::TObject* s) { BitBtn9ContextPopup(s); });
}

void TForm1::StartComposer(const std::string& Param) {
    if (kwchklist) kwchklist->SetBounds(kwchklist->Left(), kwchklist->Top(), 430, 400);
    if (!Composer) return;
    // Shown once, so that later showings find it laid out (an unattended
    // pull shows nothing).
    if (PullHost.empty()) {
        Composer->ShowComposer();
        Composer->HideComposer();
    }
    Composer->SetupSpelling(ProgramFolder, helpers::userdatadir());
    std::string style = helpers::loadtext(ProgramFolder + "pelliwoxblockstyle.txt");
    if (style.empty()) style = kDefaultQuoteStyle;
    Composer->SetQuoteStyle(style);
    // Enciphered subjects and bodies are read with the key they were written with.
    MessageKey = Composer->MessageKey();
    SyncComposerAccount();
    if (!BitBtn9->OnClick) bindComposer();
    // A "mailto:" link the program was started for; one refused when it was
    // read (and told then) opens nothing.
    helpers::TMailtoLink link;
    std::string why;
    if (!Param.empty() && !IsPullParam(Param) && helpers::readmailto(Param, link, why))
        ComposeNew(ComposeAddress, ComposeSubject, ComposeBody);
}

}  // namespace mailbox
