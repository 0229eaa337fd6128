#pragma once
// TForm1, the mailbox window: the host list, the message list over the row
// store, the POP3 client, the timers and the configuration file. It wires
// controls to the mailbox logic (row store, decoding, filters, CSV), which
// lives in functions of its own.
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/pop3prot.h"
#include "mail/smtpprot.h"
#include "mailbox/filters.h"
#include "mailbox/hstinf.h"
#include "mailbox/kwem1_zip.h"
#include "mailbox/mboxsession.h"
#include "mailbox/msgrows.h"
#include "net/sslcontext.h"
#include "platform/browser/browser.h"
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace mailbox {

// The status while a run owns the connection and the rows.
inline constexpr const char* kBusy = "Busy - please wait until the current run has ended";

// Whether a command-line parameter asks for an unattended pull.
bool IsPullParam(const std::string& Param);

class TForm1 : public ui::TForm {
public:
    explicit TForm1(rtl::TComponent* Owner);
    ~TForm1() override;
    const char* ClassName() const override { return "TForm1"; }

    // The mailbox session the window drives: the POP3 connection, the rows,
    // the listing and the checks. Made first: the window's state below is
    // the session's.
    std::unique_ptr<TMailboxSession> Session;

    // Controls of the window.
    ui::TListView* ListView1;
    ui::TStatusBar* StatusBar1;
    ui::TComboBox* pop3host;
    ui::TEdit* Edit1;  // user name
    ui::TEdit* Edit2;  // password, shown as "*"
    ui::TLabel* Label4;
    ui::TLabel* Label1;
    ui::TBitBtn* BitBtn1;   // "&Get Emails" / "&Stop"
    ui::TBitBtn* BitBtn2;   // mark
    ui::TBitBtn* BitBtn3;   // recall
    ui::TBitBtn* BitBtn4;   // spam and white-list run
    ui::TBitBtn* BitBtn5;   // edit the spam file
    ui::TBitBtn* BitBtn6;   // edit the white file
    ui::TBitBtn* BitBtn7;   // mark what is not white
    ui::TBitBtn* BitBtn8;   // disconnect, deleting the marked messages
    ui::TBitBtn* BitBtn9;   // composer
    ui::TBitBtn* BitBtn11;  // summary window; right click: list font
    ui::TBitBtn* BitBtn12;  // viewer; right click: POP3 time-out
    ui::TButton* Button1;   // hosts window
    ui::TBitBtn* gtgdems;   // remove to folder
    ui::TBitBtn* xplor;     // open the received folder
    ui::TCheckBox* CheckBox1;
    ui::TEdit* rfint;
    ui::TUpDown* UpDown1;
    ui::TTimer* Timer1;  // auto-check
    ui::TTimer* Timer2;  // NOOP keep-alive
    ui::TTimer* Timer3;  // start-up step
    ui::TTimer* Timer4;  // close after a pull
    ui::TTimer* HostsReload;  // a host list saved during a run, loaded once it ends
    ui::TFontDialog* FontDialog1;
    net::TSslContext* SslContext1;
    mail::TSslPop3Cli* SslPop3Cli1;
    // SMTP client for sending
    // The composer's sends go through KwSendMail, which drives this client.
    mail::THtmlSmtpCli* SmtpCli1 = nullptr;
    // Makes SmtpCli1 (once), wires its events and hands it to KwSendMail.
    void SmtpStartup();
    void SmtpCli1RequestDone(rtl::TObject* Sender, mail::TSmtpRequest RqType, uint16_t ErrorCode);
    void SmtpCli1ProcessHeader(rtl::TObject* Sender, rtl::TStringList& HdrLines);
    void SmtpCli1AttachContentType(rtl::TObject* Sender, int FileNumber, std::string& FileName,
                                   std::string& ContentType);
    // (end of the SMTP client for sending)

    // State.
    TRowStore& Rows() { return *rows_; }
    int RowCount() const { return rows_->RowCount(); }
    int& MailboxCount;
    std::string ProgramFolder;
    std::string& HdrCharset;
    std::string PullHost;
    std::string HostsPath;
    std::string& LastHost;
    bool StopFlag = false;
    bool BusyFlag = false;
    bool SummaryFlag = false;
    bool ReceivingFlag = false;
    rtl::TStringList& LineList;
    rtl::TStringList SpamList;
    rtl::TStringList WhiteList;
    TFilterSet spamSet_;   // the lists compiled for the marking run
    TFilterSet whiteSet_;
    int SortKey = 1;
    int StartupSteps = 0;  // how often the start-up step ran
    // What a "mailto:" command line asked the composer for.
    std::string ComposeAddress, ComposeSubject, ComposeBody;
    // The selected host's SMTP host and sender address, for the composer.
    std::string SmtpHost, SmtpFrom;
    // The key of enciphered subjects (the composer's message key; empty: the default).
    std::string& MessageKey;

    // Life cycle and timers.
    void Timer3Timer(rtl::TObject* Sender);
    void FormCloseQuery(rtl::TObject* Sender, bool& CanClose);
    void Timer1Timer(rtl::TObject* Sender);
    void Timer2Timer(rtl::TObject* Sender);
    void Timer4Timer(rtl::TObject* Sender);
    void UpDown1Click(rtl::TObject* Sender);
    void CheckBox1Click(rtl::TObject* Sender);
    void BitBtn12ContextPopup(rtl::TObject* Sender);
    void BitBtn11ContextPopup(rtl::TObject* Sender);
    void Button1Click(rtl::TObject* Sender);
    void Button1ContextPopup(rtl::TObject* Sender);
    // The command line's first parameter: "pull:" + host entry, or a mail address.
    void ActOnCommandLine(const std::string& Param);
    // The configuration file's text: list font "|" POP3 time-out.
    void ApplyConfig(const std::string& Text);
    std::string ConfigText() const;

    // Hosts.
    // The host list from the hosts file; deferred while a run uses the
    // connection, whose mailbox the list's selection names.
    void LoadHostCombo();
    void pop3hostChange(rtl::TObject* Sender);

    // The message list.
    void ListView1Data(rtl::TObject* Sender, ui::TListItem* Item);
    void ListView1ColumnClick(rtl::TObject* Sender, ui::TListColumn* Column);
    void ListView1ColumnRightClick(rtl::TObject* Sender, ui::TListColumn* Column);
    void ListView1CustomDrawItem(rtl::TObject* Sender, ui::TListItem* Item, ui::TCustomDrawState State,
                                 bool& DefaultDraw);
    void ListView1KeyDown(rtl::TObject* Sender, uint16_t& Key, ui::TShiftState Shift);
    void ListView1DblClick(rtl::TObject* Sender);
    void ListView1Click(rtl::TObject* Sender);
    void SortByColumn(int Column);
    void SortRows();
    void FindWhiteHit(bool Backward);
    void GoUnmarkedRow(bool Backward);
    void SetDeleteMark(bool Value);
    void BitBtn2ContextPopup(rtl::TObject* Sender);
    void RefreshRow(int Index);
    void SelectRow(int Index);
    void StatusText(const std::string& Text);
    // The text of column Col (0-based) of row R.
    std::string ColumnText(int R, int Col) const;
    ui::TColor RowColour(int R) const;
    // The first row from From on whose column matches the column search; -1 if none.
    int FindMatchingRow(int From, int Column, const std::string& Search) const;
    int SelectedIndex() const;
    int CountMarked() const;
    // Whether a long run (retrieval, marking, deletion, a fetch) owns the
    // connection and the lists.
    bool RunActive() const;
    // The selected host and user name: which mailbox the rows belong to.
    std::string Account() const { return pop3host->Text() + "\n" + Edit1->Text(); }
    // Whether the rows' message numbers still name the same messages in
    // the present session (checked by UIDL, else by LIST sizes); unknown
    // when the server could not be asked.
    using TRowsCheck = mailbox::TRowsCheck;
    TRowsCheck RowsStillValid();

    // Retrieval.
    // Connects and logs in; on a refused login the connection is closed
    // again and LoginRefused tells it from an unreachable server.
    bool Pop3Connect();
    bool LoginRefused() const { return Session->LoginRefused(); }
    bool Pop3Command(const std::string& Text);
    // Why the last failed connection or command failed, as the server or
    // the connection said it.
    const std::string& Pop3Failure() const { return Session->Failure(); }
    void BitBtn1Click(rtl::TObject* Sender);
    // False when marked messages could not be deleted; their rows and marks
    // are then kept for the next try.
    bool EraseMarkedAndQuit();
    void BitBtn8Click();
    void BitBtn8ContextPopup(rtl::TObject* Sender);
    void ShowConnState();
    void CommsLogAppend(const std::string& Text);
    // The session's trace: the communications log and the status line.
    void SessionDisplay(const std::string& Msg);

    // Spam and white lists.
    void BitBtn4Click(rtl::TObject* Sender);
    void BitBtn5Click(rtl::TObject* Sender);
    void BitBtn6Click(rtl::TObject* Sender);
    void BitBtn7Click(rtl::TObject* Sender);

    // CSV export.
    void BitBtn1ContextPopup(rtl::TObject* Sender);
    bool ExportTheCsv();

    // What the last retrieval achieved.
    TRunReport LastRun;

    static constexpr const char* kDefaultQuoteStyle =
        "background-color:silver; border:7px ridge red; padding:12px; margin-left:2px; width:90%;";

    // composer
    // The composer as this window drives it. The composer builds on this
    // window, so it registers itself here when it is made.
    class TComposerPort {
    public:
        virtual ~TComposerPort() = default;
        // A new message: To, Subject and Body in place, Reply-To, Cc and Bcc empty.
        virtual void NewMessage(const std::string& To, const std::string& Subject, const std::string& Body) = 0;
        virtual void ClearLists() = 0;
        // Shown, the body focused and its placeholder selected.
        virtual void ShowComposer() = 0;
        virtual void HideComposer() = 0;
        // The selected host's SMTP host, sender address and credentials.
        virtual void SetAccount(const std::string& Host, const std::string& From, const std::string& User,
                                const std::string& Password) = 0;
        virtual void SetQuoteStyle(const std::string& Style) = 0;
        // The key of enciphered mail.
        virtual std::string MessageKey() const = 0;
        // A reply or forward: the fields, the body, the two lists as given
        // (captions refreshed) and utf-8, as received pages are written in it.
        struct TReplyFields {
            std::string To, Cc, Subject, Body;
            std::vector<std::string> Attachments, Images;
        };
        virtual void ReplyMessage(const TReplyFields& Fields) = 0;
        // The sender address and the quote block's CSS declarations.
        virtual std::string FromAddress() const = 0;
        virtual std::string QuoteStyle() const = 0;
        // The spell checker's files, all in the per-user folder (its main
        // dictionary copied there from the program folder when missing).
        virtual void SetupSpelling(const std::string& ProgramFolder, const std::string& UserFolder) = 0;
        // A changed message is offered to be saved as a draft; false when
        // it could not be saved (reported) and is still unsaved.
        virtual bool OfferDraft() = 0;
    };
    TComposerPort* Composer = nullptr;
    void BitBtn9Click(rtl::TObject* Sender);
    void BitBtn9ContextPopup(rtl::TObject* Sender);
    // A mailbox's folder name: the user id with "@" and "." made "_".
    static std::string MailboxFolderName(const std::string& UserId);
    // The mailbox's template, seeded from the program folder's one.
    std::string TemplatePath();
    void ComposeNew(const std::string& To, const std::string& Subject, const std::string& Body);
    void ShowComposer(bool ClearLists);
    // The start-up step's part for the composer: shown and hidden once, its
    // account, the check-list dialog's size, the quote style, the message key,
    // and the "mailto:" command line Param (as ActOnCommandLine read it).
    void StartComposer(const std::string& Param);
    // Gives the composer the selected host's account when it changed.
    void SyncComposerAccount();
    std::string ComposerAccount;  // the account the composer was last given
    void bindComposer();

    // reply and forward
    ui::TBitBtn* BitBtn10 = nullptr;  // reply; right click: reply to all
    ui::TBitBtn* BitBtn13 = nullptr;  // forward
    enum TReplyMode { rmReply = 1, rmReplyAll = 2, rmForward = 3 };
    // A received page quoted for a new message: the quote block, and the
    // saved pictures ("cid:IMAGE" n names Images[n-1]) and attachments it linked.
    struct TQuoted {
        std::string Html;
        std::vector<std::string> Attachments, Images;
    };
    // Subject without its leading "RE:" and "FW:" prefixes (any case, repeated).
    static std::string StripReplyPrefixes(const std::string& Subject);
    // To of a reply: ReplyTo, else From; for all, the row's To addresses
    // after ";", leaving out those holding Own (in lower case).
    static std::string ReplyAddresses(const std::string& From, const std::string& ReplyTo,
                                      const std::string& RowTo, const std::string& Own, bool All);
    // The own address of a From field: lower case, the part between "<" and ">".
    static std::string OwnAddress(const std::string& From);
    // The page without its toggle labels and hidden blocks.
    static std::string StripToggleBlocks(const std::string& Page);
    // The quote of Page. Links to files are taken only when they are the
    // renderer's file URLs of OwnFiles, the files the message's own
    // rendering saved: what the page merely links stays a link.
    static TQuoted QuotePage(const std::string& Page, const std::string& BlockStyle,
                             const std::vector<std::string>& OwnFiles);
    // The files a row's rendering saved (its Attachment field).
    std::vector<std::string> SavedFiles(int Row) const;
    // The same for the row whose page is PagePath; none when no row has it.
    std::vector<std::string> SavedFilesOfPage(const std::string& PagePath) const;
    // The quote of a page of this mailbox, in the composer's block style.
    TQuoted BuildQuotedBody(const std::string& Page, const std::vector<std::string>& OwnFiles);
    // The mailbox's template with the quote of Page before its body end
    // ("Forwarding :-" for a forward); Html is the whole body.
    TQuoted QuoteInTemplate(const std::string& Page, bool Forward, const std::vector<std::string>& OwnFiles);
    // Reply, reply to all or forward of the selected row.
    void ReplyToRow(int Mode);
    void BitBtn10Click(rtl::TObject* Sender);
    void BitBtn10ContextPopup(rtl::TObject* Sender);
    void BitBtn13Click(rtl::TObject* Sender);
    void bindReply();

private:
    void buildControls();
    void buildList();
    void bindEvents();
    void walkRows(bool Backward, const std::function<bool(const TMsgRow&)>& Stop);
    void dropMarks(const std::string& Why);
    void wireSession();
    // The selected host entry and its credentials, for the session.
    void syncAccount();
    void retrieve(TRunReport& Report);
    bool askRanges(int Count, std::string& Ranges);
    void openPatternFile(const std::string& Name);
    // The pattern files, read for one marking run, bad patterns reported once.
    void loadFilters();
    void selectedHostToCredentials();
    // Shows the progress and status a run left waiting.
    void flushProgress();

    TRowStore* rows_;
    std::string lastSearch_;
    std::vector<THostFields> hostRows_;  // the host list's rows, as the file gave them
    int rememberedSelection_ = 0;
    bool markingRun_ = false;
    bool markStop_ = false;
    bool retrieving_ = false;
    const std::string& rowsAccount_;  // the host and user the rows were listed from
    bool hostChangeWaiting_ = false;  // a host chosen during a run, applied when it ends
    const std::string& lastFailure_;
    TThrottle progressGate_{50};
    std::string pendingStatus_, pendingCounters_;

    // message loading and showing
public:
    // The message viewer as this window drives it. Until the viewer window
    // carries these itself, the window keeps them: the viewer's form (none:
    // hidden), its browser, the page it shows and that page's row.
    struct TViewer {
        ui::TForm* Form = nullptr;
        browser::TBrowser* Browser = nullptr;
        std::string PagePath;  // the viewer's file-name line
        int Row = -1;
        // Puts the viewer in its reading face: navigation bar, browse mode.
        std::function<void()> Browse;
        bool Visible() const { return Form && Form->Visible(); }
    };
    TViewer Viewer;
    // Row R's page (R -1: the selected row), fetched and rendered unless it
    // exists or Reload asks again; with Show it goes to the viewer or the
    // desktop's browser. False when there is no page at the end.
    bool LoadMessage(int R, bool Reload, bool Show);
    // Why the last LoadMessage gave no page, for the caller's report.
    const std::string& LoadFailure() const { return loadFailure_; }
    // Enter and Ctrl+Enter: the page, with a report when there is none.
    void OpenMessage(bool Reload);
    void ListView1KeyUp(rtl::TObject* Sender, uint16_t& Key, ui::TShiftState Shift);
    void BitBtn11Click(rtl::TObject* Sender);
    void BitBtn12Click(rtl::TObject* Sender);
    void shwmmohntContextPopup(rtl::TObject* Sender, ui::TPoint MousePos, bool& Handled);
    // Puts the companion windows beside this one, once in the process.
    void PlaceCompanionWindows();
    // Remove to folder: pages for the rows below the top ones, marked to go.
    void gtgdemsClick(rtl::TObject* Sender);
    void xplorClick(rtl::TObject* Sender);
    // Right click: archive the received pages older than 30 days, or stop
    // the archiving that runs.
    void xplorContextPopup(rtl::TObject* Sender, ui::TPoint MousePos, bool& Handled);
    void ArchiveRcvd(const TArchiveRequest& Request);
    std::unique_ptr<zip::TArkivolt> Arkivolt1;
    bool ArchivingFlag = false;
    bool ArchiveStopFlag = false;
    // The received-messages folder of the selected mailbox.
    std::string RcvdFolder() const;
    // The summary of row R: its title line and its text.
    std::string SummaryTitle(int R) const;
    std::string SummaryText(int R) const;

private:
    // Logs in when needed, checks that the rows still name the server's
    // messages and fetches message No whole into LineList.
    bool fetchWhole(int No);
    void showInViewer(int R);
    // The viewer's own page Name (program folder), written when missing or
    // Always, shown in the viewer.
    bool showNotice(const std::string& Name, const std::string& Heading, const std::string& Text, bool Always);
    // Row R's message could not be had: the viewer says why (LoadFailure).
    void showFailure(int R);
    bool removeRun_ = false;   // a remove-to-folder run is going on
    bool removeStop_ = false;  // and is asked to stop
    bool ownFetch_ = false;    // a run fetches a page for itself
    bool rowsUnusable_ = false;  // the last fetch found the rows no longer match the server
    std::string retainAnswer_ = "20";
    std::string loadFailure_;
};

extern TForm1* Form1;

}  // namespace mailbox
