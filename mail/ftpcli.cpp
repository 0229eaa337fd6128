#include "mail/ftpcli.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "mail/ftpsrvt.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace mail {

using rtl::IntToStr;

namespace {

constexpr size_t kMaxMultiResponse = 65536;

// A line as it may go into an error text: short, control bytes as "?".
std::string shownText(const std::string& Line) {
    std::string out = Line.substr(0, 60);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return Line.size() > 60 ? out + "..." : out;
}

// A quoted name: "a""b" stands for a"b. Empty when the text has none.
std::string quotedName(const std::string& S, size_t& Pos) {
    while (Pos < S.size() && (S[Pos] == ' ' || S[Pos] == '\t')) ++Pos;
    std::string out;
    if (Pos >= S.size() || S[Pos] != '"') return out;
    for (++Pos; Pos < S.size(); ++Pos) {
        if (S[Pos] != '"') {
            out += S[Pos];
            continue;
        }
        if (Pos + 1 < S.size() && S[Pos + 1] == '"') {
            out += '"';
            ++Pos;
            continue;
        }
        ++Pos;
        break;
    }
    return out;
}

std::string nextToken(const std::string& S, size_t& Pos) {
    while (Pos < S.size() && S[Pos] == ' ') ++Pos;
    const size_t start = Pos;
    while (Pos < S.size() && S[Pos] != ' ') ++Pos;
    return S.substr(start, Pos - start);
}

}  // namespace

// ---------------------------------------------------------------- life

TCustomFtpCli::TCustomFtpCli(rtl::TComponent* owner)
    : TCustomFtpCli(owner, [](rtl::TComponent* o) -> net::TWSocket* { return new net::TWSocket(o); }) {}

TCustomFtpCli::TCustomFtpCli(rtl::TComponent* owner, TSocketFactory CreateSocket) : TLineProtoClient(owner) {
    InstallSocket(CreateSocket(this));
    FDataSocket = CreateSocket(this);
    // Upload blocks leave in one send each instead of one per 1,460-byte
    // queue buffer.
    FDataSocket->SetBufSize(256 * 1024);
    FDataSocket->OnSendData = [this](rtl::TObject*, int n) { FDataBytesOut += n; };
    FDataSocket->FreeNotification(this);
    FWSocket->OnBgException = [this](rtl::TObject*, const std::exception& E, bool& CanClose) {
        CanClose = false;
        HandleBackGroundException(E);
    };
    FDataSocket->OnBgException = FWSocket->OnBgException;
}

TCustomFtpCli::~TCustomFtpCli() {
    if (FDataSocket) ResetDataHandlers();
    BeginDestroy();
    ReleaseLocalStream();
}

void TCustomFtpCli::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    if (Operation == rtl::opRemove && AComponent == FDataSocket) FDataSocket = nullptr;
    TLineProtoClient::Notification(AComponent, Operation);
}

void TCustomFtpCli::Display(const std::string& Msg) {
    if (!OnDisplay) return;
    std::string m = Msg;
    // The password never reaches a display or a log.
    if (rtl::Copy(m, 1, 7) == "> PASS ") m = "> PASS ***";
    OnDisplay(this, m);
}

void TCustomFtpCli::TriggerResponse(const std::string&) {
    if (OnResponse) OnResponse(this);
}

void TCustomFtpCli::SetState(TFtpState NewState) {
    static const TLineState lineOf[] = {lineReady,   lineReady,          lineInternalReady,  lineDnsLookup,
                                        lineConnected, lineAbort,        lineAbort,          lineWaitingBanner,
                                        lineWaitingResponse, lineInternalReady};
    const TFtpState old = FState;
    FState = NewState;
    SetLineState(lineOf[NewState]);
    if (old != FState && OnStateChange) OnStateChange(this);
}

void TCustomFtpCli::TriggerStateChange() {
    // The engine moved: follow it unless the finer state already says so.
    static const TFtpState ftpOf[] = {ftpReady,         ftpDnsLookup,       ftpWaitingBanner, ftpConnected,
                                      ftpInternalReady, ftpWaitingBanner,   ftpWaitingResponse, ftpAbort};
    TFtpState want = ftpOf[FLineState];
    if (FLineState == lineInternalReady && FState == ftpPasvReady) want = ftpPasvReady;
    if (FLineState == lineReady && FState == ftpNotConnected) want = ftpNotConnected;
    if (want == FState) return;
    FState = want;
    if (OnStateChange) OnStateChange(this);
}

void TCustomFtpCli::ReportRequestDone(int RqType, uint16_t Error) {
    if (OnRequestDone) OnRequestDone(this, static_cast<TFtpRequest>(RqType), Error);
}

void TCustomFtpCli::WndProc(win::TMessage& MsgRec) {
    if (MsgRec.Msg == win::WM_TIMER && MsgRec.WParam == 2) {
        CloseDownStep();
        return;
    }
    TLineProtoClient::WndProc(MsgRec);
}

void TCustomFtpCli::HandleBackGroundException(const std::exception& E) {
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, canClose);
        } catch (...) {
        }
    }
    if (!canClose) return;
    try {
        AbortAsync();
    } catch (...) {
    }
}

// ---------------------------------------------------------------- misuse

void TCustomFtpCli::HandleError(const std::string& Msg) {
    FPendingFcts = 0;
    FFctSet = 0;
    FLastFct = ftpFctNone;
    FLastResponse.clear();
    FNextRequest = nullptr;
    // A blocking call that started this must fail, handler or not.
    FErrorMessage = Msg;
    FRequestResult = LINE_PROTOCOL_ERROR;
    const bool chainRunning = FHighLevelFlag;
    if (FState == ftpInternalReady || FState == ftpPasvReady) {
        FHighLevelFlag = false;
        SetState(ftpReady);
    }
    if (OnError) {
        std::string m = Msg;
        OnError(this, m);
        // A refused chain step still has to end the chain: the engine does
        // that for an exception.
        if (!chainRunning) return;
    }
    throw FtpException(Msg);
}

bool TCustomFtpCli::CheckReady() {
    if (FState == ftpReady || FState == ftpInternalReady || FState == ftpPasvReady) return true;
    HandleError("FTP component not ready");
    return false;
}

bool TCustomFtpCli::SafeArgument(const char* What, const std::string& Value) {
    if (!UnsafeCommandText(Value)) return true;
    HandleError(std::string(What) + " holds a line break or NUL byte");
    return false;
}

void TCustomFtpCli::SetErrorMessage() {
    if (FErrorMessage.empty()) FErrorMessage = FLastResponse;
}

void TCustomFtpCli::Fail(const std::string& Response, int Code) {
    FLastResponse = Response;
    FStatusCode = FRequestResult = Code;
    SetErrorMessage();
}

// ---------------------------------------------------------------- properties

void TCustomFtpCli::SetPassive(bool Value) {
    if (FConnectionType == ftpDirect) FPassive = Value;
}

void TCustomFtpCli::SetConnectionType(TFtpConnectionType Value) {
    if (FConnected) return HandleError("FTP component connected");
    static const char* levels[] = {"", "", "4", "4A", "5"};
    if (Value < ftpDirect || Value > ftpSocks5) Value = ftpDirect;
    FConnectionType = Value;
    for (net::TWSocket* s : {FWSocket, FDataSocket}) {
        if (Value >= ftpSocks4) {
            s->SetSocksLevel(levels[Value]);
            s->SocksAuthentication = net::socksAuthenticateUsercode;
        } else {
            s->SetSocksServer("");
            s->SocksAuthentication = net::socksNoAuthentication;
        }
    }
    if (Value != ftpDirect) FPassive = true;
}

void TCustomFtpCli::SetKeepAliveSecs(int Secs) {
    if (Secs == FKeepAliveSecs) return;
    FKeepAliveSecs = Secs;
    if (Secs == 0) {
        FWSocket->KeepAliveOnOff = net::wsKeepAliveOnSystem;
        return;
    }
    FWSocket->KeepAliveOnOff = net::wsKeepAliveOnCustom;
    FWSocket->KeepAliveTime = Secs * 1000;
    FWSocket->KeepAliveInterval = Secs < 10 ? 1000 : Secs / 5 * 1000;
}

void TCustomFtpCli::SetDataPortRangeStart(unsigned Value) {
    if (Value > 65535) return HandleError("DataPortRangeStart must be in the range 0..65535");
    FDataPortRangeStart = Value;
    FNextDataPort = Value;
}

void TCustomFtpCli::SetDataPortRangeEnd(unsigned Value) {
    if (Value > 65535) return HandleError("DataPortRangeEnd must be in the range 0..65535");
    FDataPortRangeEnd = Value;
}

TFtpShareMode TCustomFtpCli::ShareMode() const {
    switch (FShareFlag) {
        case rtl::fmShareCompat: return ftpShareCompat;
        case rtl::fmShareDenyWrite: return ftpShareDenyWrite;
        case rtl::fmShareDenyRead: return ftpShareDenyRead;
        case rtl::fmShareDenyNone: return ftpShareDenyNone;
        default: return ftpShareExclusive;
    }
}

void TCustomFtpCli::SetShareMode(TFtpShareMode Value) {
    static const uint16_t flags[] = {rtl::fmShareCompat, rtl::fmShareExclusive, rtl::fmShareDenyWrite,
                                     rtl::fmShareDenyRead, rtl::fmShareDenyNone};
    FShareFlag = Value >= ftpShareCompat && Value <= ftpShareDenyNone ? flags[Value] : rtl::fmShareExclusive;
}

void TCustomFtpCli::SetTransferMode(TFtpTransMode Value) {
    // Data would be stored as the server compressed it: no MODE Z here.
    if (Value == ftpTransModeZDeflate)
        return HandleError("MODE Z is not supported: data is transferred in stream mode only");
    FTransferMode = Value;
}

void TCustomFtpCli::SetSslType(TFtpCliSslType Value) {
    FSslType = sslTypeNone;
    if (Value != sslTypeNone) throw FtpException("SSL requires EVQ-SSL version");
}

// ---------------------------------------------------------------- commands

void TCustomFtpCli::ExecAsync(TFtpRequest RqType, const std::string& Cmd, std::initializer_list<uint16_t> OkResponses,
                              TFtpNextProc DoneAsync) {
    if (Cmd != "ABOR" && Cmd != "STAT" && Cmd != "QUIT") {
        if (!CheckReady()) return;
        if (!FConnected) return HandleError("FTP component not connected");
    }
    if (!SafeArgument("Command", Cmd)) return;
    if (!FHighLevelFlag) FRequestType = RqType;
    FOkResponses.assign(OkResponses.begin(), OkResponses.end());
    if (FOkResponses.size() > 15) FOkResponses.resize(15);
    FLastMultiResponse.clear();
    FRequestDoneFlag = false;
    FNext = &TCustomFtpCli::NextExecAsync;
    FDoneHandler = DoneAsync;
    FErrorMessage.clear();
    SetState(ftpWaitingResponse);
    SendFtpCommand(Cmd);
}

void TCustomFtpCli::SendFtpCommand(const std::string& Cmd) {
    std::string cmd = Cmd;
    if (OnCommand) OnCommand(this, cmd);
    if (FWSocket->State() == net::wsConnected) {
        SendCommand(cmd);
        return;
    }
    Display("> " + cmd);
    FStatusCode = cmd == "QUIT" ? 200 : 550;
    FNextRequest = nullptr;
    FDoneHandler = nullptr;
    FConnected = false;
    FRequestResult = FStatusCode;
    FLastResponse = IntToStr(FStatusCode) + " not connected";
    if (FStatusCode == 550) {
        SetErrorMessage();
        RequestDone(550);
    } else {
        FRequestResult = 0;
        RequestDone(0);
    }
}

void TCustomFtpCli::UserAsync() {
    if (UserName.empty()) return HandleError("UserName empty");
    if (!SafeArgument("UserName", UserName)) return;
    std::string cmd = "USER " + UserName;
    if (FConnectionType == ftpProxy) {
        cmd += "@" + HostName;
        if (!rtl::SameText(Port, "ftp") && !rtl::SameText(Port, "21")) cmd += ":" + Port;
    }
    FLastFct = ftpFctUser;
    ExecAsync(ftpUserAsync, cmd, {331, 230}, nullptr);
}

void TCustomFtpCli::PassAsync() {
    if (PassWord.empty()) return HandleError("Password empty");
    if (!SafeArgument("PassWord", PassWord)) return;
    FLastFct = ftpFctPass;
    ExecAsync(ftpPassAsync, "PASS " + PassWord, {230, 332}, nullptr);
}

void TCustomFtpCli::AcctAsync() {
    if (Account.empty()) return HandleError("Account empty!");
    if (!SafeArgument("Account", Account)) return;
    FLastFct = ftpFctAcct;
    ExecAsync(ftpAccountAsync, "ACCT " + Account, {230, 202}, nullptr);
}

void TCustomFtpCli::CwdAsync() {
    if (HostDirName.empty()) return HandleError("HostDirName empty");
    if (!SafeArgument("HostDirName", HostDirName)) return;
    FLastFct = ftpFctCwd;
    ExecAsync(ftpCwdAsync, "CWD " + HostDirName, {200, 250, 257}, nullptr);
}

void TCustomFtpCli::PwdAsync() {
    FLastFct = ftpFctPwd;
    ExecAsync(ftpPwdAsync, "PWD", {250, 257}, nullptr);
}

void TCustomFtpCli::CDupAsync() {
    FLastFct = ftpFctCDup;
    ExecAsync(ftpCDupAsync, "CDUP", {250, 257}, nullptr);
}

void TCustomFtpCli::SystAsync() {
    FLastFct = ftpFctSyst;
    ExecAsync(ftpSystAsync, "SYST", {215}, nullptr);
}

void TCustomFtpCli::TypeSetAsync() {
    FLastFct = ftpFctTypeSet;
    FTypeAsciiAsked = !Binary;
    ExecAsync(ftpTypeSetAsync, Binary ? "TYPE I" : "TYPE A", {200}, nullptr);
}

void TCustomFtpCli::TypeBinaryAsync() {
    Binary = true;
    TypeSetAsync();
}

void TCustomFtpCli::TypeAsciiAsync() {
    Binary = false;
    TypeSetAsync();
}

#define FTP_FILE_COMMAND(Name, Fct, Rq, Word, ...)                  \
    void TCustomFtpCli::Name() {                                    \
        if (!SafeArgument("HostFileName", HostFileName)) return;    \
        FLastFct = Fct;                                             \
        ExecAsync(Rq, Word " " + HostFileName, __VA_ARGS__, nullptr); \
    }
FTP_FILE_COMMAND(MkdAsync, ftpFctMkd, ftpMkdAsync, "MKD", {200, 250, 257})
FTP_FILE_COMMAND(RmdAsync, ftpFctRmd, ftpRmdAsync, "RMD", {200, 250, 257})
FTP_FILE_COMMAND(DeleAsync, ftpFctDele, ftpDeleAsync, "DELE", {200, 250, 257})
FTP_FILE_COMMAND(RenFromAsync, ftpFctRenFrom, ftpRenFromAsync, "RNFR", {350})
FTP_FILE_COMMAND(MdtmAsync, ftpFctMdtm, ftpMdtmAsync, "MDTM", {213})
FTP_FILE_COMMAND(Md5Async, ftpFctMd5, ftpMd5Async, "MD5", {251})
FTP_FILE_COMMAND(XCrcAsync, ftpFctXCrc, ftpXCrcAsync, "XCRC", {250})
#undef FTP_FILE_COMMAND

void TCustomFtpCli::SizeAsync() {
    if (!SafeArgument("HostFileName", HostFileName)) return;
    SizeResult = 0;
    FLastFct = ftpFctSize;
    ExecAsync(ftpSizeAsync, "SIZE " + HostFileName, {213}, nullptr);
}

void TCustomFtpCli::MlstAsync() {
    if (!SafeArgument("HostFileName", HostFileName)) return;
    RemFacts.clear();
    FLastFct = ftpFctMlst;
    ExecAsync(ftpMlstAsync, "MLST " + HostFileName, {250}, nullptr);
}

void TCustomFtpCli::RenToAsync() {
    if (!SafeArgument("LocalFileName", LocalFileName)) return;
    FLastFct = ftpFctRenTo;
    ExecAsync(ftpRenToAsync, "RNTO " + LocalFileName, {200, 250, 257}, nullptr);
}

void TCustomFtpCli::AbortXferAsync() {
    FLastFct = ftpFctAbortXfer;
    ExecAsync(ftpAbortXferAsync, "ABOR", {}, nullptr);
}

void TCustomFtpCli::QuoteAsync() {
    FLastFct = ftpFctQuote;
    ExecAsync(ftpQuoteAsync, LocalFileName, {}, nullptr);
}

void TCustomFtpCli::FeatAsync() {
    FLastFct = ftpFctFeat;
    ExecAsync(ftpFeatAsync, "FEAT", {211}, nullptr);
}

void TCustomFtpCli::MdtmyyAsync() {
    if (RemFileDateTime < 10) return HandleError("Modification date empty");
    if (!SafeArgument("HostFileName", HostFileName)) return;
    FLastFct = ftpFctMdtmyy;
    ExecAsync(ftpMdtmyyAsync,
              "MDTM " + rtl::FormatDateTime("yyyymmddhhnnss", RemFileDateTime) + "+0 " + HostFileName, {213, 253},
              nullptr);
}

void TCustomFtpCli::MfmtAsync() {
    if (RemFileDateTime < 10) return HandleError("Modification date empty");
    if (!SafeArgument("HostFileName", HostFileName)) return;
    FLastFct = ftpFctMfmt;
    ExecAsync(ftpMfmtAsync, "MFMT " + rtl::FormatDateTime("yyyymmddhhnnss", RemFileDateTime) + " " + HostFileName,
              {213}, nullptr);
}

void TCustomFtpCli::ModeZAsync() {
    FLastFct = ftpFctModeZ;
    ExecAsync(ftpModeZAsync, FTransferMode == ftpTransModeZDeflate ? "MODE Z" : "MODE S", {200}, nullptr);
}

void TCustomFtpCli::OptsAsync() {
    if (!SafeArgument("ModeZOptions", ModeZOptions)) return;
    FLastFct = ftpFctOpts;
    ExecAsync(ftpOptsAsync, "OPTS " + ModeZOptions, {200}, nullptr);
}

void TCustomFtpCli::QuitAsync() {
    ReleaseLocalStream();
    FLastFct = ftpFctQuit;
    ExecAsync(ftpQuitAsync, "QUIT", {221}, &TCustomFtpCli::QuitDone);
}

void TCustomFtpCli::QuitDone() {
    // The session's close ends the request.
    if (FWSocket->State() == net::wsClosed) RequestDone(static_cast<uint16_t>(FRequestResult));
    else FWSocket->Close();
}

void TCustomFtpCli::RestAsync() {
    if (FRequestType != ftpRestPutAsync && FRequestType != ftpRestartPutAsync &&
        !(Options & FtpOpt(ftpNoAutoResumeAt))) {
        struct stat st{};
        ResumeAt = ::stat(LocalFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
    }
    FLastFct = ftpFctRest;
    if (ResumeAt <= 0) {
        FRequestDoneFlag = false;
        FNext = nullptr;
        FDoneHandler = nullptr;
        RequestDone(0);
        return;
    }
    ExecAsync(ftpRestAsync, "REST " + std::to_string(ResumeAt), {}, nullptr);
}

void TCustomFtpCli::AuthAsync() { throw FtpException("AUTH SSL/TLS requires EVQ-SSL version"); }
void TCustomFtpCli::ProtAsync() { throw FtpException("PROT require EVQ-SSL version"); }
void TCustomFtpCli::PbszAsync() { throw FtpException("PBSZ require EVQ-SSL version"); }
void TCustomFtpCli::CccAsync() { throw FtpException("CCC require EVQ-SSL version"); }

// ---------------------------------------------------------------- connecting

void TCustomFtpCli::OpenAsync() {
    if (!CheckReady()) return;
    if (FConnected) return HandleError("FTP component already connected");
    if (!FHighLevelFlag) FRequestType = ftpOpenAsync;
    FRequestDoneFlag = false;
    DropPendingInput();
    FTlsUp = false;
    FRequestResult = 0;
    FeatMlstFacts.clear();
    SupportedExtensions = 0;
    FReplyReader.Reset();
    FOwedReplies = 0;
    FTypeAscii = false;
    FCurrentTransferMode = ftpTransModeStream;
    FWSocket->OnDnsLookupDone = [this](rtl::TObject*, uint16_t e) { DnsLookupDone(e); };
    SetState(ftpDnsLookup);
    if (FConnectionType != ftpDirect && FConnectionType != ftpProxy) {
        for (net::TWSocket* s : {FWSocket, FDataSocket}) {
            s->SetSocksServer(SocksServer);
            s->SetSocksPort(SocksPort);
            s->SocksUsercode = SocksUserCode;
            s->SocksPassword = SocksPassword;
        }
    }
    try {
        FWSocket->DnsLookup(FConnectionType == ftpProxy ? ProxyServer : HostName);
    } catch (...) {
        SetState(ftpReady);
        throw;
    }
}

void TCustomFtpCli::DnsLookupDone(uint16_t Error) {
    if (Error != 0) {
        Fail("500 DNS lookup error - " + net::WSocketErrorDesc(Error), 500);
        RequestDone(Error);
        return;
    }
    try {
        FWSocket->SetAddr(FWSocket->DnsResult());
        FWSocket->SslServerName = rtl::Trim(HostName);
        FWSocket->SetLocalAddr(LocalAddr);
        FWSocket->SetProto("tcp");
        FWSocket->SetSslEnable(false);
        FWSocket->SetPort(FConnectionType == ftpProxy && !ProxyPort.empty() ? ProxyPort : Port);
        FWSocket->OnSessionConnected = [this](rtl::TObject*, uint16_t e) { ControlSocketSessionConnected(e); };
        FWSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) { WSocketDataAvailable(); };
        SetState(ftpWaitingBanner);
        FWSocket->Connect();
    } catch (const std::exception& E) {
        Fail(std::string("500 ") + rtl::ExceptionClassName(E) + ": " + E.what(), 500);
        RequestDone(500);
    }
}

void TCustomFtpCli::ControlSocketSessionConnected(uint16_t Error) {
    if (Error == 0) {
        FConnected = true;
        return;
    }
    Fail("500 Connect error - " + net::WSocketErrorDesc(Error), 500);
    FNextRequest = nullptr;
    RequestDone(Error);
    FWSocket->Close();
    SetState(ftpReady);
}

void TCustomFtpCli::WSocketSessionClosed(uint16_t Error) {
    DropPendingInput();
    FOwedReplies = 0;
    if (FConnected) {
        FConnected = false;
        if (FState != ftpAbort) SetState(ftpNotConnected);
        if (OnSessionClosed) OnSessionClosed(this, Error);
    }
    if (FState != ftpAbort) SetState(ftpInternalReady);
    if (Error != 0) Fail("500 Control connection closed - " + net::WSocketErrorDesc(Error), 500);
    else if (!FRequestDoneFlag && FLastFct != ftpFctQuit && FRequestResult == 0 &&
             (FNext != nullptr || FState == ftpWaitingResponse)) {
        // Closed while an answer was awaited: never a success.
        Fail("500 Control connection closed before the reply", 500);
    }
    FNext = nullptr;
    // The data transfer cannot end well any more.
    if (FDataSocket && FDataSocket->State() != net::wsClosed) FDataSocket->Abort();
    ReleaseLocalStream();
    CommitDownload(false);
    RequestDone(static_cast<uint16_t>(FRequestResult));
}

// ---------------------------------------------------------------- replies

void TCustomFtpCli::HandleUnsolicited() {
    // Late lines (a 226 after a failed step, a server's notice) are shown.
    Display("< " + FLastResponse);
    int code = 0;
    if (FReplyReader.Feed(FLastResponse, code) == TFtpReplyReader::ReplyFinal) TakeOwedReply(code);
}

bool TCustomFtpCli::TakeOwedReply(int Code) {
    if (FOwedReplies == 0) return false;
    // A preliminary reply (150) comes before the final one it announces.
    if (Code >= 200) --FOwedReplies;
    Display("! Late answer to an earlier data command: " + FLastResponse);
    return true;
}

void TCustomFtpCli::HandleBanner() {
    const std::string& line = FLastResponse;
    Display("< " + line);
    if (FLastMultiResponse.size() < kMaxMultiResponse) FLastMultiResponse += line + "\r\n";
    int code = 0;
    const TFtpReplyReader::TKind kind = FReplyReader.Feed(line, code);
    if (kind == TFtpReplyReader::ReplyBad) return ProtocolError("Greeting without a code: \"" + shownText(line) + "\"");
    if (kind == TFtpReplyReader::ReplyText) return;
    FStatusCode = code;
    if (code != 220) {
        SetErrorMessage();
        FRequestResult = code;
        DropPendingInput();
        FWSocket->Close();
        return;
    }
    SetState(ftpConnected);
    if (OnSessionConnected) OnSessionConnected(this, 0);
    RequestDone(0);
}

void TCustomFtpCli::HandleReply() {
    const std::string& line = FLastResponse;
    if (FLastMultiResponse.size() < kMaxMultiResponse) FLastMultiResponse += line + "\r\n";
    if (FLastFct == ftpFctFeat) ParseFeatLine(rtl::Trim(line));
    if (FLastFct == ftpFctMlst && FStatusCode == 250 && line.size() > 4 && line[0] == ' ') RemFacts = rtl::Trim(line);
    int code = 0;
    switch (FReplyReader.Feed(line, code)) {
        case TFtpReplyReader::ReplyBad:
            // Nothing a server says outside a multi-line reply lacks a code:
            // the line cannot be an answer, and waiting for one would hang.
            Display("< " + line);
            return ProtocolError("Reply without a code: \"" + shownText(line) + "\"");
        case TFtpReplyReader::ReplyText:
            if (code != 0) FStatusCode = code;  // the opening line of a multi-line reply
            Display("< " + line);
            return;
        case TFtpReplyReader::ReplyFinal: break;
    }
    if (TakeOwedReply(code)) return;
    FStatusCode = code;
    if (!FNext) {
        // A late line of a step that has ended (a 226 after a failure).
        Display("< " + line);
        return;
    }
    const TFtpNextProc next = FNext;
    (this->*next)();
}

void TCustomFtpCli::NextExecAsync() {
    Display("< " + FLastResponse);
    if (FOkResponses.empty()) {
        FRequestResult = FStatusCode < 500 ? 0 : FStatusCode;
    } else {
        FRequestResult = std::find(FOkResponses.begin(), FOkResponses.end(), FStatusCode) != FOkResponses.end()
                             ? 0
                             : FStatusCode;
    }
    if (FRequestResult != 0) SetErrorMessage();
    if (FPassive && (FStatusCode == 227 || FStatusCode == 229)) {
        SetState(ftpPasvReady);
        FPasvResponse = FLastResponse;
    }
    if (FLastFct == ftpFctModeZ && FStatusCode == 200) FCurrentTransferMode = FTransferMode;
    if (FLastFct == ftpFctTypeSet && FRequestResult == 0) FTypeAscii = FTypeAsciiAsked;
    ExtractMoreResults();
    if (SslReplyBranch()) return;
    ContinueRequest();
}

void TCustomFtpCli::ContinueRequest() {
    if (FDoneHandler) {
        const TFtpNextProc h = FDoneHandler;
        (this->*h)();
    } else {
        RequestDone(static_cast<uint16_t>(FRequestResult));
    }
}

void TCustomFtpCli::ParseFeatLine(const std::string& L) {
    auto starts = [&L](const char* p) { return L.compare(0, strlen(p), p) == 0; };
    auto after5 = [&L](const char* what) { return L.size() > 5 && L.find(what, 5) != std::string::npos; };
    if (starts("MDTM YYYYMMDDHHMMSS[+-TZ]")) SupportedExtensions |= FtpFeat(ftpFeatMDTMYY);
    else if (L == "MDTM") SupportedExtensions |= FtpFeat(ftpFeatMDTM);
    else if (L == "SIZE") SupportedExtensions |= FtpFeat(ftpFeatSize);
    else if (L == "REST STREAM") SupportedExtensions |= FtpFeat(ftpFeatRest);
    else if (starts("MLST")) {
        SupportedExtensions |= FtpFeat(ftpFeatMLST);
        if (L.size() > 6) FeatMlstFacts = rtl::Trim(L.substr(5)).substr(0, 99);
    } else if (L == "MFMT") SupportedExtensions |= FtpFeat(ftpFeatMFMT);
    else if (L == "MD5") SupportedExtensions |= FtpFeat(ftpFeatMD5);
    else if (starts("AUTH")) {
        if (after5("SSL")) SupportedExtensions |= FtpFeat(ftpFeatAuthSSL);
        if (after5("TLS")) SupportedExtensions |= FtpFeat(ftpFeatAuthTLS);
    } else if (starts("PROT")) {
        if (after5("C")) SupportedExtensions |= FtpFeat(ftpFeatProtC);
        if (after5("P")) SupportedExtensions |= FtpFeat(ftpFeatProtP);
    } else if (L == "PBSZ") SupportedExtensions |= FtpFeat(ftpFeatPbsz);
    else if (L == "CCC") SupportedExtensions |= FtpFeat(ftpFeatCcc);
    else if (starts("XCRC")) SupportedExtensions |= FtpFeat(ftpFeatXCrc);
    else if (starts("MODE Z")) SupportedExtensions |= FtpFeat(ftpFeatModeZ);
    else if (L == "EPSV") SupportedExtensions |= FtpFeat(ftpFeatEPSV);
    else if (L == "EPRT") SupportedExtensions |= FtpFeat(ftpFeatEPRT);
}

void TCustomFtpCli::ExtractMoreResults() {
    if (FRequestResult != 0) return;
    size_t pos = 0;
    FtpReplyCode(FLastResponse, pos);
    const std::string& r = FLastResponse;
    switch (FLastFct) {
        case ftpFctSize: {
            size_t i = pos;
            while (i < r.size() && r[i] == ' ') ++i;
            const bool neg = i < r.size() && r[i] == '-';
            SizeResult = mail::atoi(r.substr(i + (neg ? 1 : 0)));
            if (neg) SizeResult = -SizeResult;
            break;
        }
        case ftpFctMdtm: RemFileDateTime = MDTM2Date(nextToken(r, pos)); break;
        case ftpFctCwd:
        case ftpFctMkd:
        case ftpFctPwd:
        case ftpFctCDup: DirResult = quotedName(r, pos); break;
        case ftpFctMd5: {
            DirResult.clear();
            Md5Result.clear();
            if (FStatusCode != 251) break;
            size_t p = pos;
            while (p < r.size() && r[p] == ' ') ++p;
            DirResult = p < r.size() && r[p] == '"' ? quotedName(r, p) : nextToken(r, p);
            Md5Result = nextToken(r, p);
            break;
        }
        case ftpFctXCrc: {
            XCrcResult.clear();
            if (FStatusCode != 250) break;
            XCrcResult = nextToken(r, pos);
            if (XCrcResult == "XCRC") XCrcResult = nextToken(r, pos);
            break;
        }
        default: break;
    }
}

// ---------------------------------------------------------------- ending and chains

void TCustomFtpCli::TriggerRequestDone(uint16_t Error) {
    if (FRequestDoneFlag) return;
    if (DataReplyPending()) {
        // The transfer ends here; its command's answer, when it comes, must
        // not be taken for the next command's.
        ++FOwedReplies;
        FNext = nullptr;
    }
    // A chain goes on after a failed step too: it jumps to its QUIT.
    if (FNextRequest) {
        TLineProtoClient::TriggerRequestDone(Error);
        return;
    }
    if (FDataSocket && FDataSocket->State() != net::wsClosed) FDataSocket->Abort();
    win::KillTimer(FWindowHandle, 2);
    if (FHighLevelFlag && FSavedCode >= 0) {
        FLastResponse = FSavedResponse;
        FStatusCode = FSavedCode;
    }
    FNextRequest = nullptr;
    TLineProtoClient::TriggerRequestDone(Error);
}

void TCustomFtpCli::HighLevelAsync(TFtpRequest RqType, TFtpFctSet Fcts) {
    if (FConnected && (Fcts & FtpFct(ftpFctOpen))) return HandleError("FTP component already connected");
    if (!CheckReady()) return;
    FSavedResponse = FLastResponse;
    FSavedCode = -1;
    FRequestType = RqType;
    FPendingFcts = Fcts;
    FLastFct = ftpFctNone;
    BeginChain(0);
    FNextRequest = nullptr;
    DoHighLevelAsync();
}

void TCustomFtpCli::DoHighLevelAsync() {
    if (FState == ftpAbort) {
        Display("! Abort detected");
        FPendingFcts = 0;
        FHighLevelResult = 426;
        FErrorMessage = "426 Operation aborted.";
    }
    FNextRequest = [this] { DoHighLevelAsync(); };
    if (FLastFct == ftpFctFeat) LoginFeatDone();
    if (FRequestResult != 0) {
        FHighLevelResult = FRequestResult;
        FPendingFcts = (FPendingFcts & FtpFct(ftpFctQuit)) && FLastFct != ftpFctQuit ? FtpFct(ftpFctQuit) : 0;
    }
    ExtractMoreResults();
    const TFtpFct prev = FLastFct;
    const int prevCode = FStatusCode;
    // Steps that the previous reply makes unnecessary are dropped first.
    if (prev == ftpFctUser && prevCode != 331) FPendingFcts &= ~FtpFct(ftpFctPass);
    // ACCT only when the server asked for it (PASS answered 332).
    if (!(prev == ftpFctPass && prevCode == 332)) FPendingFcts &= ~FtpFct(ftpFctAcct);
    if (HostDirName.empty()) FPendingFcts &= ~FtpFct(ftpFctCwd);
    if (FSslType != sslTypeAuthTls && FSslType != sslTypeAuthSsl && (FPendingFcts & FtpFct(ftpFctAuth))) {
        // Left pending and skipped.
    }
    static const TFtpFct order[] = {ftpFctOpen, ftpFctAuth, ftpFctPbsz, ftpFctProt, ftpFctCcc, ftpFctUser,
                                    ftpFctPass, ftpFctAcct, ftpFctFeat, ftpFctCwd, ftpFctCDup, ftpFctTypeSet,
                                    ftpFctPort, ftpFctRest, ftpFctGet, ftpFctPut, ftpFctAppend, ftpFctDir, ftpFctLs,
                                    ftpFctSyst, ftpFctMkd, ftpFctRmd, ftpFctRenFrom, ftpFctRenTo, ftpFctSize,
                                    ftpFctDele, ftpFctPwd, ftpFctAbortXfer, ftpFctQuote, ftpFctQuit, ftpFctMlsd,
                                    ftpFctModeZ, ftpFctOpts};
    for (TFtpFct f : order) {
        if (!(FPendingFcts & FtpFct(f))) continue;
        if (f == ftpFctAuth && FSslType != sslTypeAuthTls && FSslType != sslTypeAuthSsl) continue;
        FPendingFcts &= ~FtpFct(f);
        FFctSet = static_cast<uint32_t>(1);  // one step for the engine's runner
        const TChainStep step{0, [this, f, prev, prevCode] {
                                  switch (f) {
                                      case ftpFctOpen: OpenAsync(); break;
                                      case ftpFctAuth: AuthAsync(); break;
                                      case ftpFctPbsz: PbszAsync(); break;
                                      case ftpFctProt: ProtAsync(); break;
                                      case ftpFctCcc: CccAsync(); break;
                                      case ftpFctUser: UserAsync(); break;
                                      case ftpFctPass: PassAsync(); break;
                                      case ftpFctAcct: AcctAsync(); break;
                                      case ftpFctFeat:
                                          FLoginResponse = FLastResponse;
                                          FLoginMultiResponse = FLastMultiResponse;
                                          FLoginCode = FStatusCode;
                                          FeatAsync();
                                          break;
                                      case ftpFctCwd: CwdAsync(); break;
                                      case ftpFctCDup: CDupAsync(); break;
                                      case ftpFctTypeSet: TypeSetAsync(); break;
                                      case ftpFctPort: PortAsync(); break;
                                      case ftpFctRest: RestAsync(); break;
                                      case ftpFctGet:
                                          if (!(prev == ftpFctRest && prevCode == 350 && ResumeAt >= 0)) ResumeAt = 0;
                                          ExecGetAsync();
                                          break;
                                      case ftpFctPut: ExecPutAsync(); break;
                                      case ftpFctAppend: ExecAppendAsync(); break;
                                      case ftpFctDir: ExecDirAsync(); break;
                                      case ftpFctLs: ExecLsAsync(); break;
                                      case ftpFctSyst: SystAsync(); break;
                                      case ftpFctMkd: MkdAsync(); break;
                                      case ftpFctRmd: RmdAsync(); break;
                                      case ftpFctRenFrom: RenFromAsync(); break;
                                      case ftpFctRenTo: RenToAsync(); break;
                                      case ftpFctSize: SizeAsync(); break;
                                      case ftpFctDele: DeleAsync(); break;
                                      case ftpFctPwd: PwdAsync(); break;
                                      case ftpFctAbortXfer: AbortXferAsync(); break;
                                      case ftpFctQuote: QuoteAsync(); break;
                                      case ftpFctQuit:
                                          FSavedResponse = FLastResponse;
                                          FSavedCode = FStatusCode;
                                          QuitAsync();
                                          break;
                                      case ftpFctMlsd: ExecMlsdAsync(); break;
                                      case ftpFctModeZ: ModeZAsync(); break;
                                      case ftpFctOpts: OptsAsync(); break;
                                      default: break;
                                  }
                              }};
        const TFtpFct keep = f;
        FLastFct = keep;
        // A step refused (misuse) ends the chain through the runner.
        if (RunNextStep(&step, 1) && FLastFct == ftpFctNone) FPendingFcts = 0;
        return;
    }
    FPendingFcts = 0;
    FNextRequest = nullptr;
    FRequestDoneFlag = false;
    FRequestResult = FHighLevelResult;
    RequestDone(static_cast<uint16_t>(FHighLevelResult));
}

#define FTP_CHAIN(Name, Rq, ...) \
    void TCustomFtpCli::Name() { HighLevelAsync(Rq, __VA_ARGS__); }
// A login ends with FEAT: what the server offers decides how data connects.
constexpr TFtpFctSet kLogin = FtpFct(ftpFctOpen) | FtpFct(ftpFctAuth) | FtpFct(ftpFctUser) | FtpFct(ftpFctPass) |
                              FtpFct(ftpFctAcct) | FtpFct(ftpFctFeat);
constexpr TFtpFctSet kLoginCwd = kLogin | FtpFct(ftpFctCwd);
constexpr TFtpFctSet kQuit = FtpFct(ftpFctQuit);
FTP_CHAIN(ConnectAsync, ftpConnectAsync, kLogin)
FTP_CHAIN(ReceiveAsync, ftpReceiveAsync,
          kLoginCwd | FtpFct(ftpFctTypeSet) | FtpFct(ftpFctPort) | FtpFct(ftpFctGet) | kQuit)
FTP_CHAIN(RestartGetAsync, ftpRestartGetAsync,
          kLoginCwd | FtpFct(ftpFctTypeSet) | FtpFct(ftpFctRest) | FtpFct(ftpFctPort) | FtpFct(ftpFctGet) | kQuit)
FTP_CHAIN(RestGetAsync, ftpRestGetAsync, FtpFct(ftpFctRest) | FtpFct(ftpFctPort) | FtpFct(ftpFctGet))
FTP_CHAIN(GetAsync, ftpGetAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctGet))
FTP_CHAIN(TransmitAsync, ftpTransmitAsync,
          kLoginCwd | FtpFct(ftpFctTypeSet) | FtpFct(ftpFctPort) | FtpFct(ftpFctPut) | kQuit)
FTP_CHAIN(RestartPutAsync, ftpRestartPutAsync,
          kLoginCwd | FtpFct(ftpFctTypeSet) | FtpFct(ftpFctRest) | FtpFct(ftpFctPort) | FtpFct(ftpFctPut) | kQuit)
FTP_CHAIN(RestPutAsync, ftpRestPutAsync, FtpFct(ftpFctRest) | FtpFct(ftpFctPort) | FtpFct(ftpFctPut))
void TCustomFtpCli::PutAsync() {
    FDataSocket->SetLastError(0);
    HighLevelAsync(ftpPutAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctPut));
    if (FDataSocket->LastError() != 0)
        throw FtpException("Socket Error - " + net::WSocketErrorDesc(FDataSocket->LastError()));
}
FTP_CHAIN(AppendFileAsync, ftpTransmitAsync,
          kLoginCwd | FtpFct(ftpFctTypeSet) | FtpFct(ftpFctPort) | FtpFct(ftpFctAppend) | kQuit)
FTP_CHAIN(AppendAsync, ftpAppendAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctAppend))
FTP_CHAIN(DirectoryAsync, ftpDirectoryAsync, kLoginCwd | FtpFct(ftpFctPort) | FtpFct(ftpFctDir) | kQuit)
FTP_CHAIN(DirAsync, ftpDirAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctDir))
FTP_CHAIN(ListAsync, ftpListAsync, kLoginCwd | FtpFct(ftpFctPort) | FtpFct(ftpFctLs) | kQuit)
FTP_CHAIN(LsAsync, ftpLsAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctLs))
FTP_CHAIN(MlsdAsync, ftpMlsdAsync, FtpFct(ftpFctPort) | FtpFct(ftpFctMlsd))
FTP_CHAIN(SystemAsync, ftpSystemAsync, kLogin | FtpFct(ftpFctSyst) | kQuit)
FTP_CHAIN(AuthenticateSslAsync, ftpAuthAsync, FtpFct(ftpFctOpen) | FtpFct(ftpFctAuth) | kQuit)
FTP_CHAIN(MkdirAsync, ftpMkdirAsync, kLoginCwd | FtpFct(ftpFctMkd) | kQuit)
FTP_CHAIN(RmdirAsync, ftpRmdirAsync, kLoginCwd | FtpFct(ftpFctRmd) | kQuit)
FTP_CHAIN(DeleteAsync, ftpDeleteAsync, kLoginCwd | FtpFct(ftpFctDele) | kQuit)
FTP_CHAIN(DoQuoteAsync, ftpDoQuoteAsync, kLoginCwd | FtpFct(ftpFctQuote) | kQuit)
FTP_CHAIN(RenameAsync, ftpRenameAsync, kLoginCwd | FtpFct(ftpFctRenFrom) | FtpFct(ftpFctRenTo) | kQuit)
FTP_CHAIN(RenAsync, ftpRenAsync, FtpFct(ftpFctRenFrom) | FtpFct(ftpFctRenTo))
FTP_CHAIN(FileSizeAsync, ftpSizeAsync, kLoginCwd | FtpFct(ftpFctSize) | kQuit)
#undef FTP_CHAIN

// The FEAT a login ends with only learns what the server offers: a server
// that refuses it (500, 502) is used all the same, and the login's reply
// stays what the chain reports. A lost connection still ends the chain.
void TCustomFtpCli::LoginFeatDone() {
    if (FRequestResult != 0 && !FConnected) return;
    if (FRequestResult != 0) Display("! FEAT refused");
    FRequestResult = 0;
    FErrorMessage.clear();
    FLastResponse = FLoginResponse;
    FLastMultiResponse = FLoginMultiResponse;
    FStatusCode = FLoginCode;
}

void TCustomFtpCli::AbortAsync() {
    Display("! Aborting");
    SetState(ftpAbort);
    ReleaseLocalStream();
    CommitDownload(false);
    win::KillTimer(FWindowHandle, 2);
    DropPendingInput();
    FWSocket->CancelDnsLookup();
    FWSocket->Abort();
    if (FDataSocket) FDataSocket->Abort();
    FOwedReplies = 0;
    FConnected = false;
    FNextRequest = nullptr;
    SetState(ftpReady);
}

}  // namespace mail
