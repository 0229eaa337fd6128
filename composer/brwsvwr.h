#pragma once
// The message viewer and HTML editor: the mailbox window's rendered pages,
// the composer's preview in edit mode, and the editing commands by id.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser/browser.h"
#include "platform/rtl/dateutils.h"
#include "platform/speech/speech.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"

namespace browser {
class TWebBrowser;
}

namespace composer {

// The editing commands by name and id, in the command list's order.
struct TViewerCommand {
    const char* name;
    int id;
};
extern const TViewerCommand kViewerCommands[];
extern const int kViewerCommandCount;
// The row of Id in kViewerCommands (the first carrying it), or -1.
int ViewerCommandRow(int Id);
// Whether the command list offers Command: those with no counterpart on
// this engine are left out.
bool ViewerCommandOffered(const TViewerCommand& Command);
// The id the command list runs for Command.
int ViewerCommandId(const TViewerCommand& Command);

// The parameter of an editing command, as the command bar's parameter text
// gives it: "true"/"false" (any case) a Boolean, "#..." unchanged, anything
// else "ctl" + the next element number + " " + the text (the counter goes up).
struct TViewerParam {
    bool isBool = false;
    bool flag = false;
    std::string text;
};
TViewerParam BuildViewerParam(const std::string& Parm, int& Counter);

// The saved page without the engine's form of the template's placeholder
// and without the empty document type.
std::string StripPlaceholderTags(const std::string& Html);
// The saved page as the composer's body: "&amp;", "{~" and "~}" back to
// "&", "<" and ">".
std::string SavedPageToBody(const std::string& Page);
// The composer's body as the preview page: each SRC="cid:IMAGEn" (any case)
// pointing at the n-th inserted image's file.
std::string PreviewPageText(const std::string& Body, const std::vector<std::string>& Images);

class Tbrwsvwr : public ui::TForm {
public:
    explicit Tbrwsvwr(rtl::TComponent* owner);
    ~Tbrwsvwr() override;
    const char* ClassName() const override { return "Tbrwsvwr"; }

    // The document browser as the mailbox window drives it; the engine
    // starts on first use, so a run that never shows a page never starts it.
    browser::TBrowser* curbrw;
    // The engine itself (started if need be).
    browser::TWebBrowser& Web();

    ui::TPanel* Panel2;  // navigation bar
    ui::TPanel* Panel3;  // command bar
    ui::TPanel* BrowserPanel;
    ui::TStatusBar* StatusBar1;
    ui::TEdit* fnm;  // the page's file; Tag: its list row (-1: none)
    ui::TButton *BitBtn1, *bck, *nxt, *prt, *fnd, *del, *hb, *hn, *rply, *saybtn, *BitBtn13;
    ui::TListBox* cmdlis;
    ui::TListBox* idms;
    ui::TComboBox* parm;
    ui::TButton *pfm, *svbtn, *Send, *emoti, *psyn;
    ui::TPopupMenu* PopupMenu1;  // the inserts, controls and modes behind psyn

    // The emoji page in place of the document (made with the document's
    // browser); Timer1 pastes the pick 400 ms after the page's link.
    browser::TWebBrowser* embrow = nullptr;
    ui::TTimer* Timer1;
    // Set once the emoji page's own load has begun: later navigations are picks.
    bool EmojiArmed = false;
    // The emoji page's file date when it was last loaded.
    static rtl::TDateTime EmojiPageDate;

    bool EditOnLoad = false;
    bool EditMode = false;
    std::string PendingLink;
    std::string FindText;
    // Element numbers handed out to inserted elements.
    static int ElementCounter;

    // Runs editing command Id on the shown page; the command's result code,
    // 0 without a page (new and open need none). A command the engine lacks
    // or the page refused is said in the status bar.
    int ExecCommand(int Id);

    void curbrwStatusTextChange(const std::string& Text);
    void curbrwNewWindow2(const std::string& Url, bool& Cancel);
    void curbrwDocumentComplete(const std::string& Url);
    // Shows the emoji page in place of the document, or the document again.
    void emotiClick();
    // Loads the emoji page beside the program unless it is the one loaded
    // already (same file date).
    void LoadEmojiPage();
    void embrowBeforeNavigate2(const std::string& Url, bool& Cancel);
    void Timer1Timer();
    void bckClick(bool Any);
    void nxtClick(bool Any);
    void delClick(bool Recall);
    void pfmClick();
    void fnmClick();
    // Print preview: the page as PDF beside the program, opened on the desktop.
    void prtClick();
    // Prints the page on paper after the print dialog; the page set-up's
    // orientation and margins carry into it.
    void PrintPage();
    // Asks for the printed page's orientation and margins.
    void PageSetup();
    // Saves the edited page into the composer's body; false when it could
    // not (reported).
    bool svbtnClick();
    // Sends the edited page through the composer's send, once the save has
    // put it into the body; a failed save sends nothing and says so.
    void SendClick();
    // The composer's preview: its body as the preview page, opened here in
    // edit mode with the command bar. False when it could not be shown
    // (reported).
    bool ShowPreview(const std::string& Body, const std::vector<std::string>& Images, const std::string& Subject);

    // The face for a received message: the navigation bar instead of the
    // command bar, browse mode, no edit mode pending from a preview.
    void ReadingFace();

    // Reading aloud: the selected text of the page, or what the user types.
    std::string PhraseToSay(const std::string& Caption);
    void saybtnClick();
    // Watches the reading in the background and tells its failure.
    ui::TTimer* SayTimer;
    void SayTimerTimer();
    // The next installed voice, wrapping round.
    void saybtnContextPopup();
    // The voice object, made on first use (tests make one with a WAV sink).
    std::function<std::unique_ptr<speech::TSpVoice>()> MakeVoice;
    speech::TSpVoice* Voice() const { return voice_.get(); }
    // Lets the voice go; the next reading makes a new one.
    void DropVoice() {
        voice_.reset();
        Voices.clear();
    }
    std::vector<speech::TVoiceToken> Voices;
    static int VoiceIndex;
    static std::string LastPhrase;

    // Lays the navigation and command bars' controls out in as many rows as
    // the window's width needs, so none is ever cut off.
    void LayoutBars();

private:
    // Asks for the value command Id needs when the parameter gave none;
    // false when the user cancelled. Commands that need none answer true.
    bool AskCommandValue(int Id, std::string& Value);
    // The commands that ask the user first or show what they find.
    int FontCommand();
    int ViewSource();
    int OpenPage();
    // Writes the page as it stands: an edited local page to its own file,
    // anything else (or with Ask) where the user chooses.
    int SavePage(bool Ask);
    int ReplaceCommand();
    // Copies the selected picture's file (or the page's background
    // picture's) where the user chooses.
    int SavePicture(bool Background);
    int ShowProperties();
    int AboutEngine();
    int ListBlockFormats();
    void makeCommandBar();
    // The emoji browser, made on first use, hidden.
    browser::TWebBrowser& emoji();
    void showEmoji(bool Show);
    std::unique_ptr<browser::TWebBrowser> emoji_;
    bool shownOnce_ = false;
    // The voice, made on first use; null (reported) when there is none.
    speech::TSpVoice* voice();
    std::unique_ptr<speech::TSpVoice> voice_;
    void makePopupMenu();
    std::vector<ui::TControl*> navControls_, cmdControls_;
    std::unique_ptr<browser::TWebBrowser> web_;
    std::unique_ptr<browser::TBrowser> lazy_;
};

extern Tbrwsvwr* brwsvwr;

}  // namespace composer
