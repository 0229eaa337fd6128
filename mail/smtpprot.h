#pragma once
// The SMTP client family. TCustomSmtpClient never blocks: each request sends
// at most one command and returns; the end of every request is posted to the
// client's own window and reported from the message loop through
// OnRequestDone. Open and Mail chain elementary requests into one.
// TSmtpCli writes the message (header lines, plain text, attachments as a
// multipart/mixed message) line by line as the socket drains; TSyncSmtpCli
// adds the blocking calls (names ending in Sync); TSslSmtpCli runs the
// session over TLS, implicit or through STARTTLS; THtmlSmtpCli writes HTML
// with a plain-text alternative, inline images and attached files.
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/lineproto.h"
#include "mail/mimeutils.h"
#include "net/twsocket.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "platform/win/messages.h"

namespace mail {

RTL_EXCEPTION_CLASS(SmtpException, rtl::Exception);

enum TSmtpState {
    smtpReady,
    smtpDnsLookup,
    smtpConnecting,
    smtpConnected,
    smtpInternalReady,
    smtpWaitingBanner,
    smtpWaitingResponse,
    smtpAbort
};
enum TSmtpRequest {
    smtpConnect, smtpHelo, smtpMailFrom, smtpVrfy, smtpRcptTo, smtpData, smtpQuit, smtpRset, smtpOpen, smtpMail,
    smtpEhlo, smtpAuth, smtpStartTls, smtpCustom
};
enum TSmtpFct {
    smtpFctNone, smtpFctHelo, smtpFctConnect, smtpFctMailFrom, smtpFctRcptTo, smtpFctData, smtpFctVrfy,
    smtpFctQuit, smtpFctRset, smtpFctEhlo, smtpFctAuth, smtpFctStartTls
};
enum TSmtpAuthType {
    smtpAuthNone, smtpAuthPlain, smtpAuthLogin, smtpAuthCramMD5, smtpAuthCramSha1, smtpAuthNtlm,
    smtpAuthAutoSelect
};
enum TSmtpContentType { smtpHtml, smtpPlainText };
enum TSmtpPriority {
    smtpPriorityNone, smtpPriorityHighest, smtpPriorityHigh, smtpPriorityNormal, smtpPriorityLow,
    smtpPriorityLowest
};
enum TSmtpDefaultEncoding { smtpEnc7bit, smtpEnc8bit, smtpEncQuotedPrintable, smtpEncBase64 };
enum TSmtpSendMode { smtpToSocket, smtpToStream, smtpCopyToStream };
enum TSmtpShareMode {
    smtpShareCompat, smtpShareExclusive, smtpShareDenyWrite, smtpShareDenyRead, smtpShareDenyNone
};
enum TSmtpRcptToErrorAction { srteAbort, srteRetry, srteIgnore };
enum TSmtpBeforeOpenFileAction { smtpBeforeOpenFileNone, smtpBeforeOpenFileNext, smtpBeforeOpenFileAbort };
enum TSmtpAfterOpenFileAction {
    smtpAfterOpenFileNone, smtpAfterOpenFileNext, smtpAfterOpenFileRetry, smtpAfterOpenFileAbort
};
enum TSmtpSslType { smtpTlsNone, smtpTlsImplicit, smtpTlsExplicit };
enum TSmtpMimeState { smtpMimeIntro, smtpMimePlainText, smtpMimeHtmlText, smtpMimeImages, smtpMimeDone };

// A set of TSmtpFct: bit n stands for ordinal n.
using TSmtpFctSet = uint16_t;
constexpr TSmtpFctSet SmtpFct(TSmtpFct f) { return static_cast<TSmtpFctSet>(1u << f); }

using TSmtpDisplay = std::function<void(rtl::TObject* Sender, const std::string& Msg)>;
using TSmtpRequestDone = std::function<void(rtl::TObject* Sender, TSmtpRequest RqType, uint16_t ErrorCode)>;
using TSmtpRcptToErrorEvent = std::function<void(rtl::TObject* Sender, uint16_t ErrorCode, int RcptNameIdx,
                                                 TSmtpRcptToErrorAction& Action)>;
using TSessionConnected = net::TSessionEvent;
using TSessionClosed = net::TSessionEvent;
// MsgLine starts empty; a handler that has no line left sets More to false.
using TSmtpGetDataEvent =
    std::function<void(rtl::TObject* Sender, int LineNum, std::string& MsgLine, int MaxLen, bool& More)>;
using TSmtpHeaderLineEvent = std::function<void(rtl::TObject* Sender, std::string& Msg, int Size)>;
using TSmtpProcessHeaderEvent = std::function<void(rtl::TObject* Sender, rtl::TStringList& HdrLines)>;
using TSmtpAttachContentType =
    std::function<void(rtl::TObject* Sender, int FileNumber, std::string& FileName, std::string& ContentType)>;
// HdrLines is the queue of the part's header lines (none for HTML parts).
using TSmtpAttachHeader = std::function<void(rtl::TObject* Sender, int FileNumber, const std::string& FileName,
                                             rtl::TStringList* HdrLines)>;
using TSmtpBeforeFileOpenEvent = std::function<void(rtl::TObject* Sender, int Idx, const std::string& FileName,
                                                    TSmtpBeforeOpenFileAction& Action)>;
using TSmtpAfterFileOpenEvent = std::function<void(rtl::TObject* Sender, int Idx, const std::string& FileName,
                                                   const std::exception* E, TSmtpAfterOpenFileAction& Action)>;
using TSslHandshakeDoneEvent = net::TSslHandshakeDoneEvent;

// The error code of a request that was aborted or timed out.
constexpr int SMTP_ABORTED = LINE_TIMEOUT;
// The error code of a local or protocol failure.
constexpr int SMTP_LOCAL_ERROR = LINE_PROTOCOL_ERROR;

// The command word of a request ("Unknown" for any other value).
std::string SmtpRqTypeToStr(int RqType);
// Splits one address text into the display name and the address.
void ParseEmail(const std::string& Src, std::string& Friendly, std::string& Email);
// The numeric code at the start of a reply line (20600 when there is none);
// Continued is set on a line of a multi-line reply that is not its last.
int SmtpReplyCode(const std::string& Line, bool& Continued);
// "+hhmm" or "-hhmm" for a zone bias in minutes (UTC minus local).
std::string TimeZoneBiasText(int Bias);
// The Date header value for a local time.
std::string Rfc822DateTime(rtl::TDateTime t);
// A new Message-ID, without angle brackets.
std::string GenerateMessageID();
// The transfer-encoding name of an encoding.
const char* SmtpEncodingName(TSmtpDefaultEncoding Enc);
// One text line as quoted-printable lines of at most 76 characters, joined
// by soft breaks.
std::vector<std::string> QuotedPrintableLines(std::string_view Line);
// A random number below Below, from a generator seeded once per process.
uint32_t SmtpRandom(uint32_t Below);

class TCustomSmtpClient : public TLineProtoClient {
public:
    explicit TCustomSmtpClient(rtl::TComponent* owner = nullptr);
    ~TCustomSmtpClient() override;
    const char* ClassName() const override { return "TCustomSmtpClient"; }

    // Elementary requests.
    virtual void Connect();
    virtual void Helo();
    virtual void Ehlo();
    virtual void Auth();
    virtual void Vrfy();
    virtual void MailFrom();
    virtual void RcptTo();
    virtual void Data();
    virtual void Quit();
    virtual void Rset();
    void Abort() override;
    // High-level requests.
    virtual void Open();
    virtual void Mail();
    void HighLevelAsync(TSmtpRequest RqType, TSmtpFctSet Fcts);

    // An address header line (Keyword ends in ":") as the client writes its
    // own: entries separated by commas, display names quoted or encoded.
    std::string AddressHeader(const std::string& Keyword, const std::string& Value) const {
        return BuildAddressHeader(Keyword, Value);
    }
    // Appends the entries of the three lists to RcptName.
    void RcptNameAdd(const std::string& ToList, const std::string& CcList, const std::string& BccList);
    // Writes the message into a new file instead of a server (SendMode
    // smtpToStream); OnEndSendToStream tells when it is complete. Mode has
    // no effect on how the file is made.
    void SendToFile(const std::string& FileName, int Mode = 0);

    // Properties.
    TSmtpShareMode ShareMode() const;
    void SetShareMode(TSmtpShareMode Value);
    int ShareModeValue() const { return FShareModeValue; }
    TSmtpContentType ContentType() const { return FContentType; }
    virtual void SetContentType(TSmtpContentType Value);
    const std::string& ContentTypeText() const { return FContentTypeText; }
    rtl::TStringList& RcptName() { return FRcptName; }
    void SetRcptName(const rtl::TStringList& Value);
    rtl::TStringList& MailMessage() { return FMailMessage; }
    void SetMailMessage(const rtl::TStringList& Value);
    const rtl::TStringList& AuthTypesSupported() const { return FAuthTypesSupported; }
    // The header lines of the last message (none before the first).
    const rtl::TStringList* HdrLines() const { return FHdrLines.get(); }
    TSmtpState State() const { return static_cast<TSmtpState>(FLineState); }
    bool EsmtpSupported() const { return FEsmtpSupported; }
    // Why this connection's Open left the login out (AuthType
    // smtpAuthAutoSelect with a server that offers none); empty otherwise.
    const std::string& AuthNote() const { return FAuthNote; }
    const std::string& MessageID() const { return FMessageID; }

    std::string Host;
    std::string LocalAddr = "0.0.0.0";
    std::string Port = "smtp";
    std::string SignOn;
    std::string Username;
    std::string Password;
    TSmtpAuthType AuthType = smtpAuthNone;
    bool ConfirmReceipt = false;
    std::string FromName;
    std::string HdrFrom, HdrTo, HdrCc, HdrReplyTo, HdrReturnPath, HdrSubject, HdrSender;
    TSmtpPriority HdrPriority = smtpPriorityNone;
    std::string CharSet = "iso-8859-1";
    TSmtpSendMode SendMode = smtpToSocket;
    TSmtpDefaultEncoding DefaultEncoding = smtpEnc7bit;
    bool Allow8bitChars = true;
    bool FoldHeaders = false;
    bool WrapMessageText = false;
    bool OwnHeaders = false;
    int Tag = 0;

    TSmtpDisplay OnDisplay;
    TSmtpDisplay OnCommand;
    TSmtpDisplay OnResponse;
    TSmtpGetDataEvent OnGetData;
    TSmtpHeaderLineEvent OnHeaderLine;
    TSmtpProcessHeaderEvent OnProcessHeader;
    TSmtpRcptToErrorEvent OnRcptToError;
    TSmtpRequestDone OnRequestDone;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    rtl::TNotifyEvent OnStateChange;
    rtl::TNotifyEvent OnEndSendToStream;

protected:
    using THandler = void (TCustomSmtpClient::*)();

    virtual void CreateSocket();
    // Makes the control socket again with the deriving class's CreateSocket.
    void ReplaceSocket();
    void WndProc(win::TMessage& MsgRec) override;
    virtual void DoHighLevelAsync();
    void TriggerResponse(const std::string& Msg) override;
    void TriggerDisplay(const std::string& Msg) override;
    void TriggerStateChange() override;
    void TriggerCommand(const std::string& Cmd) override;
    void ConnectionDropped() override { EndWriter(); }
    void HandleBanner() override;
    void HandleReply() override;
    // SMTP servers may speak out of turn (a 421 before closing): shown only.
    void HandleUnsolicited() override { TriggerDisplay("< " + FLastResponse); }
    bool EarlyAnswersAllowed() const override { return true; }
    void ReportRequestDone(int RqType, uint16_t Error) override;
    int RequestTypeCode() const override { return FRequestType; }
    std::string FailureText(const std::string& Why) const override { return "500 " + Why; }
    [[noreturn]] void RaiseError(const std::string& Msg) const override { throw SmtpException(Msg); }
    void WSocketSessionClosed(uint16_t ErrCode) override;
    void ChainStepStarting(int Fct) override;
    void TlsHandshakeDone(uint16_t, net::TX509Base*, bool&) override {}
    virtual void TriggerSessionConnected(uint16_t ErrCode);
    virtual void TriggerSessionClosed(uint16_t ErrCode);
    virtual void TriggerProcessHeader(rtl::TStringList& HdrLines);
    virtual void TriggerHeaderLine(std::string& Line, int Size);
    virtual void TriggerGetData(int LineNum, std::string& MsgLine, int MaxLen, bool& More);
    // Called for each line made during DATA.
    virtual void TriggerDataLine() {}
    virtual void WSocketSessionConnected(uint16_t ErrCode);
    // The STARTTLS step of a chain; only a TLS client can take it.
    virtual void ChainStartTls();
    // Resets the message writer before the header is built.
    virtual void PrepareEMail() {}
    // Refuses (raises, nothing sent) a header value, recipient or
    // character set that holds a line break or NUL byte.
    virtual void CheckHeaderValues();
    void CheckHeaderValue(const char* Name, const std::string& Value);
    // "B" or "Q": how header values are encoded.
    char HeaderEncoding() const;
    // Closes what the message writer holds open.
    virtual void EndWriter() {}

    void SetState(TSmtpState NewState) { SetLineState(static_cast<TLineState>(NewState)); }
    void CheckReady() const;
    void RequireSecure(const char* What) const;
    void ExecAsync(TSmtpRequest RqType, const std::string& Cmd, std::initializer_list<int> OkResponses,
                   THandler Done);
    void SetErrorMessage();
    // LastResponse, StatusCode and RequestResult of a local failure.
    void LocalError(const std::string& Response, int Code);
    // Completes the request now with Code (RqType outside a chain).
    void CompleteWith(TSmtpRequest RqType, int Code);
    // The same, and a running chain stops.
    void EndRequest(TSmtpRequest RqType, int Code);
    // STARTTLS cannot be done: the request, and a running chain, end with Text.
    void RefuseStartTls(const std::string& Text);

    bool FEsmtpSupported = false;
    TSmtpRequest FRequestType = smtpConnect;
    TSmtpFct FFctPrv = smtpFctNone;
    rtl::TStringList FAuthTypesSupported;
    rtl::TStringList FMailMessage;
    TSmtpContentType FContentType = smtpPlainText;
    std::string FContentTypeText = "text/plain";

private:
    void InitSocket();
    void WSocketDnsLookupDone(uint16_t ErrCode);
    void NextExecAsync();
    std::string SignOnName() const;
    void EhloNext();
    void AuthGetType(const std::string& Line);
    void RcptToNext();
    void RcptToDone();
    // The mechanism to use; smtpAuthNone when auto-selection finds none offered.
    TSmtpAuthType ChooseAuthType() const;
    void SkipAuth(const std::string& Why);
    void StartAuth(TSmtpAuthType Mechanism);
    bool AuthStepFailed();
    void AuthFollowUp(const std::string& Cmd, int OkResponse, THandler Done);
    void AuthStepOne();
    void AuthNextLogin();
    void AuthNextLoginNext();
    void AuthNextCramMD5();
    void AuthNextNtlm();
    void AuthChallengeMalformed(const char* What);
    // The message.
    void BuildHeader();
    void AddAddressHeader(const char* Keyword, const std::string& Value);
    std::string BuildAddressHeader(const std::string& Keyword, const std::string& Value) const;
    std::string SubjectLine() const;
    // Folds the header lines near 78 columns and refuses any that cannot
    // be sent as they are.
    void FinishHeaderLines();
    void DataDone();
    bool TransferLive() const;
    void DataNext();
    bool NextDataLine(std::string& Line);
    // Block ends in CR LF; More is false for the message's last block.
    void SendDataBlock(const std::string& Block, bool More);
    void WSocketDataSent();
    void FinishData();
    void WriterFailed(const std::exception& E);
    void EndSendToStream();

    THandler FNextHandler = nullptr;  // reply handler while a command waits
    THandler FDoneHandler = nullptr;
    std::vector<int> FOkResponses;
    rtl::TStringList FRcptName;
    int FRcptIndex = -1;
    TSmtpAuthType FAuthMechanism = smtpAuthNone;
    std::string FAuthNote;
    int FShareModeValue = rtl::fmShareDenyWrite;
    std::unique_ptr<rtl::TStringList> FHdrLines;
    std::string FMessageID;
    std::unique_ptr<rtl::TStream> FOutStream;
    bool FMoreLines = false;
    int FBodyLineNum = 0;
    int FItemIndex = -1;
};

// The message writer: the plain text of MailMessage, and attached files as
// base64 parts of a multipart/mixed message.
class TSmtpCli : public TCustomSmtpClient {
public:
    explicit TSmtpCli(rtl::TComponent* owner = nullptr);
    ~TSmtpCli() override;
    const char* ClassName() const override { return "TSmtpCli"; }

    rtl::TStringList& EmailFiles() { return FEmailFiles; }
    // Copies the entries, trimmed and without empty ones; raises
    // SmtpException for one that names no file.
    void SetEmailFiles(const rtl::TStringList& Value);
    const std::string& MimeBoundary() const { return FMimeBoundary; }

    TSmtpAttachContentType OnAttachContentType;
    TSmtpAttachHeader OnAttachHeader;
    TSmtpBeforeFileOpenEvent OnBeforeFileOpen;
    TSmtpAfterFileOpenEvent OnAfterFileOpen;

protected:
    enum class TOpenResult { Opened, Skip, Retry, Aborted };

    void PrepareEMail() override;
    void EndWriter() override;
    void TriggerHeaderLine(std::string& Line, int Size) override;
    void TriggerGetData(int LineNum, std::string& MsgLine, int MaxLen, bool& More) override;
    // The lines the plain writer sends.
    virtual const rtl::TStringList& MessageLines() const { return FMailMessage; }
    // The plain writer's next line; AskCaller lets OnGetData add lines after the text.
    void PlainWriterLine(std::string& MsgLine, bool& More, bool AskCaller);
    // Opens a part's file for encoding, with the open events (which get
    // Idx and EventName); an unhandled failure to open raises.
    TOpenResult OpenPartFile(int Idx, const std::string& EventName, const std::string& Path);
    // A part header: Head (name and value) followed by the parameter
    // Param (a file's name), folded; raises SmtpException when it cannot be sent.
    std::string PartHeader(const std::string& Head, const char* Param, const std::string& Value) const;
    // Copies the trimmed, non-empty entries of Value into Into; raises
    // SmtpException for one that names no file (and changes nothing then).
    static void CopyExistingFiles(const rtl::TStringList& Value, rtl::TStringList& Into);

    rtl::TStringList FEmailFiles;
    rtl::TStringList FMimeLines;  // lines made and not yet handed out, sent before anything else
    std::string FMimeBoundary;
    PEncFileStream FEncodeStream;
    TSmtpDefaultEncoding FMsgEncoding = smtpEnc7bit;
    bool FTrimLines = true;  // the plain writer's lines lose their edge blanks
    bool FWrapLines = false;

private:
    bool TextLeft() const;
    std::string DoGetMsgTextLine();
    void StartAttachment(bool& More);

    int FEmailFileIndex = 0;
    bool FFileStarted = false;
    bool FBodyFlag = false;
    bool FClosingQueued = false;
    int FGetDataLineNum = 0;
    rtl::TStringList FMsgLines;
    int FMsgLineIndex = 0;
    int FWrapPos = 1;
    std::string FMsgText;  // the lines with CR LF, for base64
    int FMsgTextPos = 0;
};

// Every request as a call that returns when the request has ended, pumping
// the message loop meanwhile. True when it ended with code 0; a refusal
// gives false with its text in ErrorMessage.
class TSyncSmtpCli : public TSmtpCli {
public:
    using TSmtpCli::TSmtpCli;
    const char* ClassName() const override { return "TSyncSmtpCli"; }

    virtual bool WaitUntilReady() { return WaitRequest(Timeout); }
    bool ConnectSync() { return Synchronize(&TCustomSmtpClient::Connect); }
    bool HeloSync() { return Synchronize(&TCustomSmtpClient::Helo); }
    bool EhloSync() { return Synchronize(&TCustomSmtpClient::Ehlo); }
    bool AuthSync() { return Synchronize(&TCustomSmtpClient::Auth); }
    bool VrfySync() { return Synchronize(&TCustomSmtpClient::Vrfy); }
    bool MailFromSync() { return Synchronize(&TCustomSmtpClient::MailFrom); }
    bool RcptToSync() { return Synchronize(&TCustomSmtpClient::RcptTo); }
    bool DataSync() { return Synchronize(&TCustomSmtpClient::Data); }
    bool QuitSync() { return Synchronize(&TCustomSmtpClient::Quit); }
    bool RsetSync() { return Synchronize(&TCustomSmtpClient::Rset); }
    bool AbortSync() { return Synchronize(&TCustomSmtpClient::Abort); }
    bool OpenSync() { return Synchronize(&TCustomSmtpClient::Open); }
    bool MailSync() { return Synchronize(&TCustomSmtpClient::Mail); }

    // Seconds without a byte from the server (or a line sent) after which a
    // blocking call gives up; 0 or less: never.
    int Timeout = 15;
    // Kept for callers: there is one thread, and the wait runs its loop.
    bool MultiThreaded = false;

protected:
    bool Synchronize(void (TCustomSmtpClient::*Proc)());
    void TriggerDataLine() override { NoteActivity(); }
};

// The control socket of the TLS clients.
using TSslSmtpSocket = net::TSslWSocket;

// The session over TLS: from the start (implicit) or after STARTTLS
// (explicit). With explicit TLS no credentials and no message go out
// before the handshake has succeeded.
class TSslSmtpCli : public TSyncSmtpCli {
public:
    explicit TSslSmtpCli(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TSslSmtpCli"; }

    void Connect() override;
    void Ehlo() override;
    void Open() override;
    virtual void StartTls();

    net::TSslContext* SslContext() const;
    void SetSslContext(net::TSslContext* Value);
    net::TSslContext* GetSslContext() const { return SslContext(); }
    const rtl::TStringList& SslAcceptableHosts() const;
    void SetSslAcceptableHosts(const rtl::TStringList& Value);
    bool StartTlsSupported() const { return FStartTlsSupported; }
    // These events live in the control socket.
    void SetOnSslVerifyPeer(net::TSslVerifyPeerEvent Handler);
    void SetOnSslCliGetSession(net::TSslCliGetSession Handler);
    void SetOnSslCliNewSession(net::TSslCliNewSession Handler);
    void SetOnSslCliCertRequest(net::TSslCliCertRequest Handler);

    TSmtpSslType SslType = smtpTlsNone;
    TSslHandshakeDoneEvent OnSslHandshakeDone;

protected:
    void CreateSocket() override;
    void WndProc(win::TMessage& MsgRec) override;
    void TriggerResponse(const std::string& Msg) override;
    void WSocketSessionConnected(uint16_t ErrCode) override;
    bool ExplicitTlsAsked() const override { return SslType == smtpTlsExplicit; }
    void ChainStartTls() override;
    void TlsHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool&) override {
        TransferSslHandshakeDone(ErrCode, PeerCert);
    }

private:
    void TlsNext();
    void TransferSslHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert);

    bool FStartTlsSupported = false;
};

// HTML with a plain-text alternative, inline images and attached files
// (ContentType smtpHtml), or the plain text with attachments (smtpPlainText).
class THtmlSmtpCli : public TSslSmtpCli {
public:
    explicit THtmlSmtpCli(rtl::TComponent* owner = nullptr);
    ~THtmlSmtpCli() override;
    const char* ClassName() const override { return "THtmlSmtpCli"; }

    rtl::TStringList& EmailImages() { return FEmailImages; }
    // Trims the entries and skips empty ones; raises SmtpException for one
    // that names no file.
    void SetEmailImages(const rtl::TStringList& Value);
    rtl::TStringList& PlainText() { return FPlainText; }
    void SetPlainText(const rtl::TStringList& Value);
    rtl::TStringList& HtmlText() { return FHtmlText; }
    void SetHtmlText(const rtl::TStringList& Value);

    // Streams of the caller's, kept by image index and never freed here;
    // the writer itself reads the files of EmailImages.
    void SetImageStream(int Index, rtl::TStream* Stream);
    rtl::TStream* GetImageStream(int Index) const;
    int GetImageStreamCount() const { return static_cast<int>(FImageStreams.size()); }
    void ClearImageStreamArray() { FImageStreams.clear(); }

    const std::string& RelatedBoundary() const { return FRelatedBoundary; }
    const std::string& AlternativeBoundary() const { return FAlternativeBoundary; }
    TSmtpMimeState MimeState() const { return FMimeState; }

    std::string HtmlCharSet = "iso-8859-1";

protected:
    virtual void GenerateBoundaries();
    void PrepareEMail() override;
    void TriggerProcessHeader(rtl::TStringList& HdrLines) override;
    void TriggerGetData(int LineNum, std::string& MsgLine, int MaxLen, bool& More) override;
    const rtl::TStringList& MessageLines() const override { return FPlainText; }
    void CheckHeaderValues() override;

private:
    // Queues the next lines of the current section; false when none are left.
    bool FillSection(bool& More);
    void QueueTextSection(const rtl::TStringList& Lines);
    bool FillPart(bool& More);
    void OpenPart(bool& More);
    void EndPart();

    rtl::TStringList FEmailImages, FPlainText, FHtmlText;
    std::vector<rtl::TStream*> FImageStreams;
    TSmtpMimeState FMimeState = smtpMimeIntro;
    std::string FRelatedBoundary, FAlternativeBoundary;
    std::deque<std::string> FPending;  // lines made and not yet handed out
    int FTextIndex = 0;
    int FPartNumber = 0;
    bool FPartOpen = false;  // the part's file is being encoded
    std::string FPartFileName, FPartContentType;
};

}  // namespace mail
