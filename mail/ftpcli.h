#pragma once
// The FTP client. TCustomFtpCli never blocks: a request sends one command
// and returns; its end comes later, from the message loop, through
// OnRequestDone. High-level requests run a fixed chain of elementary
// functions as one request; a login ends with FEAT. Data moves over a second
// socket, passive (PASV, or EPSV when the server's FEAT offers it and always
// over IPv6; connected to the control connection's peer) or active (PORT, or
// EPRT likewise; listening on a port of a range, accepting that peer only).
// TFtpClient adds the blocking calls and TSslFtpClient FTP over TLS (AUTH,
// PBSZ, PROT, CCC, implicit TLS, TLS on the data connection, resuming the
// control connection's session).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mail/ftpcli_parse.h"
#include "mail/lineproto.h"
#include "net/sslcontext.h"
#include "net/twsocket.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/dateutils.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

namespace mail {

RTL_EXCEPTION_CLASS(FtpException, rtl::Exception);

enum TFtpState {
    ftpNotConnected, ftpReady, ftpInternalReady, ftpDnsLookup, ftpConnected, ftpAbort, ftpInternalAbort,
    ftpWaitingBanner, ftpWaitingResponse, ftpPasvReady
};
enum TFtpRequest {
    ftpNone, ftpOpenAsync, ftpUserAsync, ftpPassAsync, ftpCwdAsync, ftpConnectAsync, ftpReceiveAsync, ftpDirAsync,
    ftpLsAsync, ftpPortAsync, ftpGetAsync, ftpDirectoryAsync, ftpListAsync, ftpSystemAsync, ftpSystAsync,
    ftpQuitAsync, ftpAbortXferAsync, ftpSizeAsync, ftpPutAsync, ftpAppendAsync, ftpFileSizeAsync, ftpRqAbort,
    ftpMkdAsync, ftpRmdAsync, ftpRenameAsync, ftpDeleAsync, ftpRenAsync, ftpRenToAsync, ftpRenFromAsync,
    ftpDeleteAsync, ftpMkdirAsync, ftpRmdirAsync, ftpPwdAsync, ftpQuoteAsync, ftpCDupAsync, ftpDoQuoteAsync,
    ftpTransmitAsync, ftpTypeSetAsync, ftpRestAsync, ftpRestGetAsync, ftpRestartGetAsync, ftpRestPutAsync,
    ftpRestartPutAsync, ftpMlsdAsync, ftpFeatAsync, ftpMlstAsync, ftpMdtmAsync, ftpMdtmyyAsync, ftpAuthAsync,
    ftpMfmtAsync, ftpMd5Async, ftpAccountAsync, ftpProtAsync, ftpPbszAsync, ftpModeZAsync, ftpOptsAsync,
    ftpCccAsync, ftpXCrcAsync
};
enum TFtpFct {
    ftpFctNone, ftpFctOpen, ftpFctUser, ftpFctPass, ftpFctCwd, ftpFctSize, ftpFctMkd, ftpFctRmd, ftpFctRenFrom,
    ftpFctRenTo, ftpFctGet, ftpFctDir, ftpFctQuit, ftpFctSyst, ftpFctDele, ftpFctPwd, ftpFctQuote, ftpFctPut,
    ftpFctTypeSet, ftpFctRest, ftpFctCDup, ftpFctLs, ftpFctAppend, ftpFctPort, ftpFctAbortXfer, ftpFctMlsd,
    ftpFctFeat, ftpFctMlst, ftpFctMdtm, ftpFctMdtmyy, ftpFctAuth, ftpFctMfmt, ftpFctMd5, ftpFctAcct, ftpFctProt,
    ftpFctPbsz, ftpFctModeZ, ftpFctOpts, ftpFctCcc, ftpFctXCrc
};
using TFtpFctSet = uint64_t;
constexpr TFtpFctSet FtpFct(TFtpFct f) { return uint64_t(1) << f; }

enum TFtpExtension {
    ftpFeatNone, ftpFeatSize, ftpFeatRest, ftpFeatMDTMYY, ftpFeatMDTM, ftpFeatMLST, ftpFeatMFMT, ftpFeatMD5,
    ftpFeatAuthSSL, ftpFeatAuthTLS, ftpFeatProtP, ftpFeatProtC, ftpFeatModeZ, ftpFeatCcc, ftpFeatPbsz, ftpFeatXCrc,
    ftpFeatEPSV, ftpFeatEPRT
};
using TFtpExtensions = uint32_t;
constexpr TFtpExtensions FtpFeat(TFtpExtension e) { return 1u << e; }

enum TFtpOption { ftpAcceptLF, ftpNoAutoResumeAt, ftpWaitUsingSleep, ftpBandwidthControl };
using TFtpOptions = uint32_t;
constexpr TFtpOptions FtpOpt(TFtpOption o) { return 1u << o; }

enum TFtpShareMode { ftpShareCompat, ftpShareExclusive, ftpShareDenyWrite, ftpShareDenyRead, ftpShareDenyNone };
enum TFtpDisplayFileMode { ftpLineByLine, ftpBinary };
enum TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };
enum TFtpTransMode { ftpTransModeStream, ftpTransModeZDeflate };
enum TFtpCliSslType { sslTypeNone, sslTypeAuthTls, sslTypeAuthSsl, sslTypeImplizit };

using TFtpDisplay = std::function<void(rtl::TObject* Sender, std::string& Msg)>;
using TFtpCommand = std::function<void(rtl::TObject* Sender, std::string& Cmd)>;
using TFtpProgress = std::function<void(rtl::TObject* Sender, int64_t Count, bool& Abort)>;
using TFtpRequestDone = std::function<void(rtl::TObject* Sender, TFtpRequest RqType, uint16_t ErrCode)>;
using TFtpReadyToTransmit = std::function<void(rtl::TObject* Sender, bool& bCancel)>;
using TFtpBgException = std::function<void(rtl::TObject* Sender, const std::exception& E, bool& CanClose)>;

class TCustomFtpCli : public TLineProtoClient {
public:
    explicit TCustomFtpCli(rtl::TComponent* owner = nullptr);
    ~TCustomFtpCli() override;
    const char* ClassName() const override { return "TCustomFtpCli"; }

    // Elementary requests.
    virtual void OpenAsync();
    void UserAsync();
    void PassAsync();
    void AcctAsync();
    void CwdAsync();
    void PwdAsync();
    void CDupAsync();
    void SystAsync();
    void TypeSetAsync();
    void TypeBinaryAsync();
    void TypeAsciiAsync();
    void SizeAsync();
    void MkdAsync();
    void RmdAsync();
    void DeleAsync();
    void RenFromAsync();
    void RenToAsync();
    void AbortXferAsync();
    void QuoteAsync();
    void RestAsync();
    void MlstAsync();
    void FeatAsync();
    void MdtmAsync();
    void MdtmyyAsync();
    void MfmtAsync();
    void Md5Async();
    void ModeZAsync();
    void OptsAsync();
    void XCrcAsync();
    void QuitAsync();
    virtual void PortAsync();
    virtual void AuthAsync();
    virtual void PbszAsync();
    virtual void ProtAsync();
    virtual void CccAsync();
    void AbortAsync();
    void Abort() override { AbortAsync(); }

    // High-level requests.
    void ConnectAsync();
    void ReceiveAsync();
    void RestartGetAsync();
    void RestGetAsync();
    void GetAsync();
    void TransmitAsync();
    void RestartPutAsync();
    void RestPutAsync();
    void PutAsync();
    void AppendFileAsync();
    void AppendAsync();
    void DirectoryAsync();
    void DirAsync();
    void ListAsync();
    void LsAsync();
    void MlsdAsync();
    void SystemAsync();
    void AuthenticateSslAsync();
    void MkdirAsync();
    void RmdirAsync();
    void DeleteAsync();
    void DoQuoteAsync();
    void RenameAsync();
    void RenAsync();
    void FileSizeAsync();
    void HighLevelAsync(TFtpRequest RqType, TFtpFctSet Fcts);

    TFtpState State() const { return FState; }
    TFtpRequest RequestType() const { return FRequestType; }
    bool GetConnected() const { return FWSocket && FWSocket->State() != net::wsClosed; }
    const std::string& LastMultiResponse() const { return FLastMultiResponse; }
    const std::string& PasvResponse() const { return FPasvResponse; }
    net::TWSocket* DataSocket() const { return FDataSocket; }

    bool Passive() const { return FPassive; }
    void SetPassive(bool Value);
    TFtpConnectionType ConnectionType() const { return FConnectionType; }
    void SetConnectionType(TFtpConnectionType Value);
    int KeepAliveSecs() const { return FKeepAliveSecs; }
    void SetKeepAliveSecs(int Secs);
    unsigned DataPortRangeStart() const { return FDataPortRangeStart; }
    unsigned DataPortRangeEnd() const { return FDataPortRangeEnd; }
    void SetDataPortRangeStart(unsigned Value);
    void SetDataPortRangeEnd(unsigned Value);
    TFtpShareMode ShareMode() const;
    void SetShareMode(TFtpShareMode Value);
    // A caller's stream: never created, closed or freed by the client.
    void SetLocalStream(rtl::TStream* Stream);
    TFtpCliSslType SslType() const { return FSslType; }
    virtual void SetSslType(TFtpCliSslType Value);
    // Only stream mode moves data here, so only MODE S is sent.
    void SetTransferMode(TFtpTransMode Value);
    TFtpTransMode TransferMode() const { return FTransferMode; }
    TFtpTransMode CurrentTransferMode() const { return FCurrentTransferMode; }

    std::string HostName;
    std::string Port = "ftp";
    std::string LocalAddr = "0.0.0.0";
    std::string UserName, PassWord, Account;
    std::string HostDirName, HostFileName, LocalFileName;
    bool DisplayFileFlag = false;
    bool Binary = true;
    TFtpOptions Options = FtpOpt(ftpAcceptLF);
    std::string ProxyServer;
    std::string ProxyPort = "ftp";
    std::string SocksPassword, SocksPort, SocksServer, SocksUserCode;
    TFtpDisplayFileMode DisplayFileMode = ftpLineByLine;
    std::string ModeZOptions = "MODE Z LEVEL 8";
    int CloseDownSecs = 5;

    int64_t SizeResult = 0;
    int64_t ResumeAt = 0;
    int64_t ByteCount = 0;
    std::string DirResult, RemFacts, Md5Result, XCrcResult, FeatMlstFacts;
    rtl::TDateTime RemFileDateTime = 0;
    TFtpExtensions SupportedExtensions = 0;

    TFtpDisplay OnDisplay, OnDisplayFile, OnError;
    TFtpCommand OnCommand;
    rtl::TNotifyEvent OnResponse, OnStateChange;
    TFtpProgress OnProgress;
    net::TSessionEvent OnSessionConnected, OnSessionClosed;
    TFtpRequestDone OnRequestDone;
    TFtpReadyToTransmit OnReadyToTransmit;
    TFtpBgException OnBgException;

protected:
    using TFtpNextProc = void (TCustomFtpCli::*)();
    using TSocketFactory = net::TWSocket* (*)(rtl::TComponent* Owner);
    TCustomFtpCli(rtl::TComponent* owner, TSocketFactory CreateSocket);

    // Misuse: goes to OnError when set, raises FtpException otherwise. A
    // blocking call sees a failing RequestResult either way.
    void HandleError(const std::string& Msg);
    bool CheckReady();
    void ExecAsync(TFtpRequest RqType, const std::string& Cmd, std::initializer_list<uint16_t> OkResponses,
                   TFtpNextProc DoneAsync);
    void SendFtpCommand(const std::string& Cmd);
    void SetState(TFtpState NewState);
    void SetErrorMessage();
    void Display(const std::string& Msg);
    virtual bool Progress();
    virtual void TransfertStats();
    virtual void ControlSocketSessionConnected(uint16_t Error);
    virtual void DataSocketGetInit(const std::string& DataPort, const std::string& DataAddr);
    virtual void DataSocketPutAppendInit(const std::string& DataPort, const std::string& DataAddr);
    // TLS for an accepted data connection (TSslFtpClient).
    virtual void DataSocketAcceptedTls() {}
    // TLS on the data connection starts when the server has answered the
    // data command: a server may reset a handshake that comes before.
    virtual void StartDataTls() {}
    // Whether the data connection may end its sending side now: a TLS
    // handshake still under way must finish first (an empty upload).
    virtual bool DataTlsSettled() const { return true; }
    // An AUTH, CCC or PROT reply that was accepted (TSslFtpClient).
    virtual bool SslReplyBranch() { return false; }
    void ContinueRequest();
    // Ends the running transfer as a failure with Code.
    void FailDataTransfer(int Code);
    void RequestDone(uint16_t Code) { TriggerRequestDone(Code); }
    // Sets LastResponse, StatusCode, RequestResult and ErrorMessage.
    void Fail(const std::string& Response, int Code);

    // The engine's side.
    void TriggerDisplay(const std::string& Msg) override { Display(Msg); }
    void TriggerResponse(const std::string& Msg) override;
    void TriggerStateChange() override;
    void HandleBanner() override;
    void HandleReply() override;
    void HandleUnsolicited() override;
    bool EarlyAnswersAllowed() const override { return true; }
    void ReportRequestDone(int RqType, uint16_t Error) override;
    int RequestTypeCode() const override { return FRequestType; }
    bool RequestSucceeded() const override { return FRequestResult == 0; }
    std::string FailureText(const std::string& Why) const override { return "500 " + Why; }
    [[noreturn]] void RaiseError(const std::string& Msg) const override { throw FtpException(Msg); }
    void WSocketSessionClosed(uint16_t Error) override;
    void ChainStepStarting(int) override {}
    void TlsHandshakeDone(uint16_t, net::TX509Base*, bool&) override {}
    void TriggerRequestDone(uint16_t Error) override;
    void WndProc(win::TMessage& MsgRec) override;
    void HandleBackGroundException(const std::exception& E);
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

    TFtpState FState = ftpReady;
    TFtpRequest FRequestType = ftpNone;
    TFtpFct FLastFct = ftpFctNone;
    TFtpFctSet FPendingFcts = 0;
    TFtpNextProc FNext = nullptr;
    TFtpNextProc FDoneHandler = nullptr;
    std::vector<uint16_t> FOkResponses;
    std::string FLastMultiResponse, FPasvResponse;
    std::string FSavedResponse;
    int FSavedCode = -1;
    TFtpReplyReader FReplyReader;
    TFtpCliSslType FSslType = sslTypeNone;
    net::TWSocket* FDataSocket = nullptr;
    bool FUploadDir = false;  // the coming data connection carries an upload
    bool FDataReplied = false;  // the 1xx reply to the data command came
    void CloseDownStep();

private:
    void NextExecAsync();
    void DoHighLevelAsync();
    void ExtractMoreResults();
    void ParseFeatLine(const std::string& Line);
    void DnsLookupDone(uint16_t Error);
    // Whether an argument may go into a command line; HandleError when not.
    bool SafeArgument(const char* What, const std::string& Value);
    void QuitDone();
    void LoginFeatDone();

    // Data transfers.
    void DoGetAsync(TFtpRequest RqType);
    void DoPutAppendAsync();
    void ExecGetAsync() { DoGetAsync(ftpGetAsync); }
    void ExecDirAsync() { DoGetAsync(ftpDirAsync); }
    void ExecLsAsync() { DoGetAsync(ftpLsAsync); }
    void ExecMlsdAsync() { DoGetAsync(ftpMlsdAsync); }
    void ExecPutAsync();
    void ExecAppendAsync();
    bool PasvAddress(std::string& Addr, std::string& DataPort);
    bool ListenOnRange();
    bool OpenDownloadTarget();
    void CommitDownload(bool Ok);
    void ReleaseLocalStream();
    void ResetDataHandlers();
    void BindDownload();
    void BindUpload();
    void DataSessionAvailable(uint16_t Error);
    bool AcceptFromPeer();
    void DataGetConnected(uint16_t Error);
    void DataGetAvailable();
    void DataGetClosed(uint16_t Error);
    void DataPutConnected(uint16_t Error);
    void DataPutSent(uint16_t Error);
    void DataPutClosed(uint16_t Error);
    void DataFailed(const std::string& Response, int Code);
    void Next1GetAsync();
    void Next2GetAsync();
    void Next3GetAsync();
    void Next1PutAsync();
    void Next2PutAsync();
    void Next3PutAsync();
    void SendDataCommand();
    void StartCloseDown();
    void DeliverDisplayFile(const char* Data, size_t Len);
    bool WriteReceived(const char* Data, size_t Len);
    void FinishReceived();
    // The server's final answer to a data command that a request gave up
    // on has not come: it is read off before anything else.
    bool DataReplyPending() const;
    bool TakeOwedReply(int Code);
    void EndTransfer(int Code);
    void TransferRefused(const char* Note);
    void RefuseDataPeer(const std::string& Peer);
    void ResetDataConnection();
    bool ExtendedDataCommands() const;
    bool ControlIsIPv6() const;

    bool FPassive = false;
    TFtpConnectionType FConnectionType = ftpDirect;
    int FKeepAliveSecs = 0;
    unsigned FDataPortRangeStart = 0, FDataPortRangeEnd = 0, FNextDataPort = 0;
    uint16_t FShareFlag = rtl::fmShareExclusive;
    TFtpTransMode FTransferMode = ftpTransModeStream;
    TFtpTransMode FCurrentTransferMode = ftpTransModeStream;
    std::string FDataCommand;
    bool FAppendFlag = false;
    rtl::TStream* FLocalStream = nullptr;
    bool FStreamFlag = false;  // FLocalStream is the caller's
    bool FReplacing = false;   // FLocalStream is a download's new file, put in place when it succeeds
    bool FTruncateAtStart = false;
    uint32_t FStartTick = 0, FStopTick = 0, FCloseDownDeadline = 0;
    uint16_t FDataCloseCode = 0;
    int FLocalError = 0;  // a local read/write failure of this transfer
    bool FAnswered = false, FGetClosed = false, FPutClosed = false, FEof = false, FPermitted = false,
         FPutOpened = false;
    bool FLastQueued = false;  // the last block is handed to the data socket
    int64_t FDataBytesOut = 0;     // what the data socket's sends put on the wire
    int64_t FCloseDownBytes = 0;   // that count when the close-down deadline was set
    TFtpLineSplitter FListLines;   // OnDisplayFile gets whole lines
    TFtpAsciiDecoder FAsciiIn;     // TYPE A downloads: CR LF becomes LF
    bool FTypeAscii = false;       // the server has taken TYPE A
    bool FTypeAsciiAsked = false;  // the TYPE command awaiting its answer asks for A
    std::string FAsciiOut;         // an upload block with its line ends converted
    std::string FDataRefusal;      // why an active-mode connection was refused
    int FOwedReplies = 0;          // final answers of given-up data commands still to come
    std::string FLoginResponse, FLoginMultiResponse;  // the login's reply, kept across its FEAT
    int FLoginCode = 0;
};

class TFtpClient : public TCustomFtpCli {
public:
    explicit TFtpClient(rtl::TComponent* owner = nullptr) : TCustomFtpCli(owner) {}
    const char* ClassName() const override { return "TFtpClient"; }

    bool Open() { return Synchronize(&TCustomFtpCli::OpenAsync); }
    bool User() { return Synchronize(&TCustomFtpCli::UserAsync); }
    bool Pass() { return Synchronize(&TCustomFtpCli::PassAsync); }
    bool acct() { return Synchronize(&TCustomFtpCli::AcctAsync); }
    bool Connect() { return Synchronize(&TCustomFtpCli::ConnectAsync); }
    bool Cwd() { return Synchronize(&TCustomFtpCli::CwdAsync); }
    bool Pwd() { return Synchronize(&TCustomFtpCli::PwdAsync); }
    bool CDup() { return Synchronize(&TCustomFtpCli::CDupAsync); }
    bool TypeSet() { return Synchronize(&TCustomFtpCli::TypeSetAsync); }
    bool TypeBinary() { return Synchronize(&TCustomFtpCli::TypeBinaryAsync); }
    bool TypeAscii() { return Synchronize(&TCustomFtpCli::TypeAsciiAsync); }
    bool Get() { return Synchronize(&TCustomFtpCli::GetAsync); }
    bool Put() { return Synchronize(&TCustomFtpCli::PutAsync); }
    bool RestPut() { return Synchronize(&TCustomFtpCli::RestPutAsync); }
    bool RestartPut() { return Synchronize(&TCustomFtpCli::RestartPutAsync); }
    bool Append() { return Synchronize(&TCustomFtpCli::AppendAsync); }
    bool Quit() { return Synchronize(&TCustomFtpCli::QuitAsync); }
    bool Receive() { return Synchronize(&TCustomFtpCli::ReceiveAsync); }
    bool Transmit() { return Synchronize(&TCustomFtpCli::TransmitAsync); }
    bool AppendFile() { return Synchronize(&TCustomFtpCli::AppendFileAsync); }
    bool Dir() { return Synchronize(&TCustomFtpCli::DirAsync); }
    bool Directory() { return Synchronize(&TCustomFtpCli::DirectoryAsync); }
    bool Ls() { return Synchronize(&TCustomFtpCli::LsAsync); }
    bool List() { return Synchronize(&TCustomFtpCli::ListAsync); }
    bool Mkd() { return Synchronize(&TCustomFtpCli::MkdAsync); }
    bool Mkdir() { return Synchronize(&TCustomFtpCli::MkdirAsync); }
    bool Ren() { return Synchronize(&TCustomFtpCli::RenAsync); }
    bool Rename() { return Synchronize(&TCustomFtpCli::RenameAsync); }
    bool Dele() { return Synchronize(&TCustomFtpCli::DeleAsync); }
    bool Delete() { return Synchronize(&TCustomFtpCli::DeleteAsync); }
    bool Rmd() { return Synchronize(&TCustomFtpCli::RmdAsync); }
    bool Rmdir() { return Synchronize(&TCustomFtpCli::RmdirAsync); }
    bool Syst() { return Synchronize(&TCustomFtpCli::SystAsync); }
    bool System() { return Synchronize(&TCustomFtpCli::SystemAsync); }
    bool Auth() { return Synchronize(&TCustomFtpCli::AuthAsync); }
    bool Ccc() { return Synchronize(&TCustomFtpCli::CccAsync); }
    bool Prot() { return Synchronize(&TCustomFtpCli::ProtAsync); }
    bool Pbsz() { return Synchronize(&TCustomFtpCli::PbszAsync); }
    bool AuthenticateSsl() { return Synchronize(&TCustomFtpCli::AuthenticateSslAsync); }
    bool Size() { return Synchronize(&TCustomFtpCli::SizeAsync); }
    bool FileSize() { return Synchronize(&TCustomFtpCli::FileSizeAsync); }
    bool AbortXfer() { return Synchronize(&TCustomFtpCli::AbortXferAsync); }
    bool Quote() { return Synchronize(&TCustomFtpCli::QuoteAsync); }
    bool DoQuote() { return Synchronize(&TCustomFtpCli::DoQuoteAsync); }
    bool RestGet() { return Synchronize(&TCustomFtpCli::RestGetAsync); }
    bool RestartGet() { return Synchronize(&TCustomFtpCli::RestartGetAsync); }
    bool Mlsd() { return Synchronize(&TCustomFtpCli::MlsdAsync); }
    bool Mlst() { return Synchronize(&TCustomFtpCli::MlstAsync); }
    bool Feat() { return Synchronize(&TCustomFtpCli::FeatAsync); }
    bool Mdtm() { return Synchronize(&TCustomFtpCli::MdtmAsync); }
    bool Mdtmyy() { return Synchronize(&TCustomFtpCli::MdtmyyAsync); }
    bool Mfmt() { return Synchronize(&TCustomFtpCli::MfmtAsync); }
    bool Md5() { return Synchronize(&TCustomFtpCli::Md5Async); }
    bool ModeZ() { return Synchronize(&TCustomFtpCli::ModeZAsync); }
    bool Opts() { return Synchronize(&TCustomFtpCli::OptsAsync); }
    bool XCrc() { return Synchronize(&TCustomFtpCli::XCrcAsync); }

    bool Synchronize(void (TCustomFtpCli::*Proc)());
    bool WaitUntilReady();

    int Timeout = 15;
    bool MultiThreaded = false;

protected:
    TFtpClient(rtl::TComponent* owner, TSocketFactory CreateSocket) : TCustomFtpCli(owner, CreateSocket) {}
    bool Progress() override;
};

class TSslFtpClient : public TFtpClient {
public:
    explicit TSslFtpClient(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TSslFtpClient"; }

    void OpenAsync() override;
    void AuthAsync() override;
    void PbszAsync() override;
    void ProtAsync() override;
    void CccAsync() override;
    void SetSslType(TFtpCliSslType Value) override { FSslType = Value; }

    net::TSslContext* SslContext() const;
    void SetSslContext(net::TSslContext* Value);
    const std::string& ProtLevel() const { return FProtLevel; }
    // "P" or "C" exactly.
    void SetProtLevel(const std::string& Value);
    void SetAcceptableHostsList(const std::string& Text);

    int PBSZSize = 0;
    std::string ProtLevelSent;
    bool DataProtection = false;
    bool RenegotiatePending = false;

    net::TSslVerifyPeerEvent OnSslVerifyPeer;
    net::TSslCliGetSession OnSslCliGetSession;
    net::TSslCliNewSession OnSslCliNewSession;
    net::TSslHandshakeDoneEvent OnSslHandshakeDone;
    net::TSslCliCertRequest OnSslCliCertRequest;

protected:
    void ControlSocketSessionConnected(uint16_t Error) override;
    void DataSocketGetInit(const std::string& DataPort, const std::string& DataAddr) override;
    void DataSocketPutAppendInit(const std::string& DataPort, const std::string& DataAddr) override;
    void DataSocketAcceptedTls() override;
    void StartDataTls() override;
    bool SslReplyBranch() override;
    void TlsHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect) override;

private:
    void StartControlTls(bool Upgrade);
    void DataTls();
    void DataHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect);
    void ShutDownComplete(bool Bidirectional, int ErrCode);
    bool DataTlsSettled() const override;
    // Sessions of this control connection (its own and those of its data
    // connections), the newest kept as bytes: a data connection resumes it,
    // unless OnSslCliGetSession hands over another.
    void SessionArrived(SSL_SESSION* Session, bool WasReused, bool& IncRefCount);
    void OfferSession(SSL_SESSION*& Session, bool& FreeSession);
    std::string FProtLevel = "C";
    bool FDataTlsPending = false;
    std::string FSessionBytes;
};

}  // namespace mail
