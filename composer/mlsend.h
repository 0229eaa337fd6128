#pragma once
// Tmlsend, the composer and sender window "Send an HTML Email": the
// addresses, the body, the two file lists, the character set, and the send
// command with its sent log. It wires; the logic lives in sendmsg (checks,
// arguments, log line), msgcopy (drafts and sent copies), addrbook (the
// address book), attachments (image tags, captions) and charsets (the list
// and the conversion of what goes out).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "composer/sendmsg.h"
#include "mailbox/kwem1.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "spell/lx3richedit.h"

namespace spell {
class TLexiroSpell3;
class TThesaurus3;
}

namespace composer {

class TBodyEditor;

class Tmlsend : public ui::TForm, public mailbox::TForm1::TComposerPort {
public:
    explicit Tmlsend(rtl::TComponent* owner);
    ~Tmlsend() override;
    const char* ClassName() const override { return "Tmlsend"; }

    // Controls.
    ui::TEdit* emfrom;
    ui::TEdit* emhost;
    ui::TEdit* emuserid;
    ui::TEdit* empass;
    ui::TEdit* emreplyto;
    ui::TCheckBox* rdrcptfrom;
    ui::TCheckBox* rdrcptreplyto;
    ui::TComboBox* emto;
    ui::TComboBox* emcc;
    ui::TEdit* embcc;
    ui::TButton* adbk;  // "To :-": the address-book editor
    ui::TComboBox* chaset;
    ui::TCheckBox* encrypt;
    ui::TEdit* subj;
    spell::TLexiroRichEdit* bdy;
    ui::TListBox* ListBox1;  // attachments
    ui::TListBox* ListBox2;  // inserted images
    ui::TLabel* Label9;   // "Character Set :-": search the list
    ui::TLabel* Label10;  // attachments caption
    ui::TLabel* Label11;  // "Email HTML Body :-": save the body to a file
    ui::TLabel* Label12;  // images caption
    ui::TLabel* Label14;  // "Sent Log :-": the whole log
    ui::TMemo* sntlog;
    ui::TBitBtn* BitBtn5;  // "Send Email"
    ui::TBitBtn* BitBtn1;  // add attachments
    ui::TBitBtn* BitBtn2;  // remove attachment
    ui::TBitBtn* BitBtn3;  // clear attachments
    ui::TBitBtn* BitBtn4;  // add images
    ui::TBitBtn* BitBtn6;  // remove image
    ui::TBitBtn* BitBtn7;  // clear images
    ui::TBitBtn* prvwbtn;
    ui::TBitBtn* svtplbtn;
    ui::TBitBtn* svdraft;
    ui::TBitBtn* lddraft;
    ui::TBitBtn* ldsent;
    ui::TBitBtn* stydesig;
    ui::TBitBtn* srchsent;
    ui::TBitBtn* srchrcvd;
    ui::TTimer* Timer3;  // list captions after the lists were filled
    ui::TStatusBar* StatusBar1;
    ui::TOpenDialog* OpenDialog1;
    ui::TOpenPictureDialog* OpenPictureDialog1;
    ui::TSaveDialog* SaveDialog1;

    // State.
    bool Loading = false;  // the window rewrites its own body: change handlers keep still
    std::string CharsetSearch;
    std::string AddressBookKey;
    std::string BlockStyle;
    std::string MailKey;

    // The send routine; the program's blocking send unless a test replaces it.
    std::function<std::string(const TSendArgs&)> SendRoutine;
    // Picks one of Names (file names) for loading; -1 for none. The
    // check-list dialog's pick unless a test replaces it.
    std::function<int(const std::string& Caption, const std::string& Label, const std::vector<std::string>& Names)>
        PickOne;
    // The body's menu, keys, history and colouring.
    std::unique_ptr<TBodyEditor> BodyEditor;
    spell::TThesaurus3* Thesaurus31;  // owned by the window
    // The body's spell checker; the body spells live once its files are set.
    std::unique_ptr<spell::TLexiroSpell3> LexiroSpell31;
    // Whether a send is running.
    bool Sending() const { return sending_; }

    // Sending.
    void BitBtn5Click(rtl::TObject* Sender);
    // The fields as they stand.
    TMessageFields Fields() const;
    void Label14Click(rtl::TObject* Sender);
    void FormShow(rtl::TObject* Sender);

    // Copies and drafts.
    std::string SaveMessageCopy(const std::string& Folder);
    std::string SaveMessageCopy(const std::string& Folder, const TMessageFields& F);
    void svdraftClick(rtl::TObject* Sender);
    void lddraftClick(rtl::TObject* Sender);
    void ldsentClick(rtl::TObject* Sender);
    void srchsentClick(rtl::TObject* Sender);
    void srchrcvdClick(rtl::TObject* Sender);
    void LoadStoredMessage(const std::string& Folder, const std::string& Search);
    // Puts one stored file's contents into the fields; false (and said) when
    // it is no copy.
    bool LoadStoredFile(const std::string& Folder, const std::string& Path);

    // Whether the message differs from the one last loaded, saved or sent.
    bool Changed() const;
    // Before the message gives way to another: a changed one is offered to
    // be saved as a draft first; No lets it go. False when the draft could
    // not be saved (reported): the message is still there, unsaved.
    bool OfferDraft() override;
    // Closing offers a changed message as a draft too.
    void FormCloseQuery(rtl::TObject* Sender, bool& CanClose);

    // Template.
    void svtplbtnClick(rtl::TObject* Sender);
    void Label11Click(rtl::TObject* Sender);

    // Address book.
    void AddToAddressBook(const std::string& Text);
    void emtoDropDown(rtl::TObject* Sender);
    void adbkClick(rtl::TObject* Sender);

    // Attachments and images.
    void BitBtn1Click(rtl::TObject* Sender);
    void BitBtn2Click(rtl::TObject* Sender);
    void BitBtn3Click(rtl::TObject* Sender);
    void BitBtn4Click(rtl::TObject* Sender);
    void BitBtn6Click(rtl::TObject* Sender);
    void BitBtn7Click(rtl::TObject* Sender);
    void UpdateAttachCaption();
    void UpdateImagesCaption();
    void Timer3Timer(rtl::TObject* Sender);

    // Character sets.
    void SelectCharset(const std::string& Name);
    void chasetChange(rtl::TObject* Sender);
    void Label9Click(rtl::TObject* Sender);
    void Label9ContextPopup(rtl::TObject* Sender);
    // The chosen entry's name.
    std::string CharsetChosen() const;

    // The body's title follows the subject.
    void subjChange(rtl::TObject* Sender);
    // Selects the template's "<Enter Message Here>", silently when there is none.
    void SelectPlaceholder();
    // The style designer, not modal: its result goes to the clipboard.
    void stydesigClick(rtl::TObject* Sender);
    // A command whose window is not built yet says so.
    void NotYet(const std::string& What);
    // The body as the preview page, in the viewer (edit mode) or, on a
    // right click, in the desktop's browser.
    void prvwbtnClick(rtl::TObject* Sender);
    void prvwbtnContextPopup(rtl::TObject* Sender);

    // What the mailbox window asks of the composer.
    void NewMessage(const std::string& To, const std::string& Subject, const std::string& Body) override;
    void ClearLists() override;
    void ShowComposer() override;
    void HideComposer() override;
    void SetAccount(const std::string& Host, const std::string& From, const std::string& User,
                    const std::string& Password) override;
    void SetQuoteStyle(const std::string& Style) override { BlockStyle = Style; }
    std::string MessageKey() const override { return MailKey; }
    void ReplyMessage(const TReplyFields& Fields) override;
    std::string FromAddress() const override { return emfrom->Text(); }
    std::string QuoteStyle() const override { return BlockStyle; }
    void SetupSpelling(const std::string& ProgramFolder, const std::string& UserFolder) override;

private:
    void buildControls();
    void makeSpelling();
    void bindEvents();
    void fillCharsets();
    void focusField(TFieldProblem::TField field);
    void setBody(const std::string& text);
    void replaceBody(size_t start, size_t length, const std::string& text);
    std::vector<std::string> rows(ui::TListBox* list) const;
    void searchStored(const std::string& Folder, const std::string& Prompt, std::string& Last);
    void searchCharsets(int start);
    // The message as it stands is the one saved.
    void keep() { kept_ = Fields(); }
    // Runs Work, a change the window makes by itself (a list cleared for a
    // new message, the declaration set to the chosen set): an unchanged
    // message stays unchanged.
    void unchanged(const std::function<void()>& Work);

    TMessageFields kept_;
    bool sending_ = false;
    bool shownOnce_ = false;
    std::string lastSentSearch_, lastRcvdSearch_;
};

extern Tmlsend* mlsend;

}  // namespace composer
