#include "mail/smtpprot.h"

#include <algorithm>
#include <utility>

#include "mail/evqmd5.h"
#include "mail/evqntlmmsgs.h"
#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"

namespace mail {

using rtl::IntToStr;

namespace {

constexpr win::UINT WM_SMTP_DATA_NEXT = win::WM_USER + 2;
constexpr size_t kMaxOkResponses = 15;
constexpr int kNoReplyCode = 20600;
constexpr int kConnectionClosed = 10004;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The numeric code at the start of a reply line; Continued is set when a
// hyphen follows the digits (a line of a multi-line reply that is not the last).
int ReadReplyCode(const std::string& Line, bool& Continued) {
    Continued = false;
    size_t i = 0;
    while (i < Line.size() && isBlank(Line[i])) ++i;
    bool negative = false;
    if (i < Line.size() && (Line[i] == '-' || Line[i] == '+')) negative = Line[i++] == '-';
    if (i >= Line.size() || !isDigit(Line[i])) return kNoReplyCode;
    int64_t code = 0;
    for (; i < Line.size() && isDigit(Line[i]); ++i) code = std::min<int64_t>(code * 10 + (Line[i] - '0'), INT32_MAX);
    Continued = i < Line.size() && Line[i] == '-';
    return static_cast<int>(negative ? -code : code);
}

std::string WinsockFailure(uint16_t ErrCode) {
    return "500 " + net::WSocketErrorDesc(ErrCode) + " (Winsock error #" + IntToStr(ErrCode) + ")";
}

int socketCounter = 0;

}  // namespace

int SmtpReplyCode(const std::string& Line, bool& Continued) { return ReadReplyCode(Line, Continued); }

std::string SmtpRqTypeToStr(int RqType) {
    static const char* const names[] = {"CONNECT", "HELO",  "MAIL FROM", "VRFY", "RCPT TO",  "DATA",    "QUIT",
                                        "RSET",    "Open",  "Mail",      "EHLO", "AUTH",     "STARTTLS", "Custom"};
    if (RqType < 0 || RqType >= static_cast<int>(std::size(names))) return "Unknown";
    return names[RqType];
}

// ---------------------------------------------------------------- life

TCustomSmtpClient::TCustomSmtpClient(rtl::TComponent* owner) : TLineProtoClient(owner) {
    FAuthTypesSupported.CaseSensitive = false;
    TCustomSmtpClient::CreateSocket();
    InitSocket();
}

// The socket goes while this class's handlers still exist.
TCustomSmtpClient::~TCustomSmtpClient() { BeginDestroy(); }

void TCustomSmtpClient::CreateSocket() { FWSocket = new net::TWSocket(this); }

void TCustomSmtpClient::InitSocket() {
    InstallSocket(std::exchange(FWSocket, nullptr));
    FWSocket->Name = std::string(ClassName()) + "_Socket" + IntToStr(++socketCounter);
    // Commands and the message's last block are small writes that must not
    // wait for the acknowledgement of the data before them; a block of the
    // message goes to the system in one call, not in pieces of a segment.
    FWSocket->ComponentOptions |= net::wsoTcpNoDelay;
    FWSocket->SetBufSize(64 * 1024);
}

void TCustomSmtpClient::ReplaceSocket() {
    delete FWSocket;
    FWSocket = nullptr;
    CreateSocket();
    InitSocket();
}

void TCustomSmtpClient::WndProc(win::TMessage& MsgRec) {
    if (MsgRec.Msg == WM_SMTP_DATA_NEXT) DataNext();
    else TLineProtoClient::WndProc(MsgRec);
}

void TCustomSmtpClient::ReportRequestDone(int RqType, uint16_t Error) {
    if (OnRequestDone) OnRequestDone(this, static_cast<TSmtpRequest>(RqType), Error);
}

void TCustomSmtpClient::TriggerStateChange() {
    if (OnStateChange) OnStateChange(this);
}

void TCustomSmtpClient::TriggerCommand(const std::string& Cmd) {
    if (OnCommand) OnCommand(this, Cmd);
}

// The platform's share value of each TSmtpShareMode.
constexpr int kShareValues[] = {rtl::fmShareCompat, rtl::fmShareExclusive, rtl::fmShareDenyWrite,
                                rtl::fmShareDenyRead, rtl::fmShareDenyNone};

TSmtpShareMode TCustomSmtpClient::ShareMode() const {
    const auto* at = std::find(std::begin(kShareValues), std::end(kShareValues), FShareModeValue);
    return at == std::end(kShareValues) ? smtpShareDenyWrite : static_cast<TSmtpShareMode>(at - kShareValues);
}

void TCustomSmtpClient::SetShareMode(TSmtpShareMode Value) { FShareModeValue = kShareValues[Value]; }

void TCustomSmtpClient::SetContentType(TSmtpContentType Value) {
    if (FContentType == Value) return;
    FContentType = Value;
    FContentTypeText = Value == smtpPlainText ? "text/plain" : "text/html";
}

void TCustomSmtpClient::SetRcptName(const rtl::TStringList& Value) {
    FRcptName.Clear();
    FRcptName.AddStrings(Value);
}

void TCustomSmtpClient::SetMailMessage(const rtl::TStringList& Value) {
    FMailMessage.Clear();
    FMailMessage.AddStrings(Value);
}

// ---------------------------------------------------------------- events

void TCustomSmtpClient::TriggerDisplay(const std::string& Msg) {
    if (OnDisplay) OnDisplay(this, Msg);
}

void TCustomSmtpClient::TriggerResponse(const std::string& Msg) {
    if (FFctPrv == smtpFctEhlo) AuthGetType(Msg);
    if (OnResponse) OnResponse(this, Msg);
}

void TCustomSmtpClient::TriggerSessionConnected(uint16_t ErrCode) {
    if (OnSessionConnected) OnSessionConnected(this, ErrCode);
}

void TCustomSmtpClient::TriggerSessionClosed(uint16_t ErrCode) {
    if (OnSessionClosed) OnSessionClosed(this, ErrCode);
}

// ---------------------------------------------------------------- errors

void TCustomSmtpClient::CheckReady() const { TLineProtoClient::CheckReady("SMTP"); }

void TCustomSmtpClient::RequireSecure(const char* What) const {
    if (!CredentialsAllowed())
        throw SmtpException(std::string("STARTTLS has not succeeded: ") + What + " would go out in clear");
}

void TCustomSmtpClient::SetErrorMessage() {
    if (FErrorMessage.empty()) FErrorMessage = FLastResponse;
}

void TCustomSmtpClient::LocalError(const std::string& Response, int Code) {
    FLastResponse = Response;
    FStatusCode = Code;
    FRequestResult = Code;
    SetErrorMessage();
}

void TCustomSmtpClient::CompleteWith(TSmtpRequest RqType, int Code) {
    if (!FHighLevelFlag) FRequestType = RqType;
    FRequestDoneFlag = false;
    TriggerRequestDone(static_cast<uint16_t>(Code));
}

void TCustomSmtpClient::EndRequest(TSmtpRequest RqType, int Code) {
    FNextRequest = nullptr;
    FFctSet = 0;
    CompleteWith(RqType, Code);
}


// ---------------------------------------------------------------- connect

void TCustomSmtpClient::Connect() {
    CheckReady();
    if (FConnected) throw SmtpException("SMTP component already connected");
    if (!FHighLevelFlag) FRequestType = smtpConnect;
    FFctPrv = smtpFctConnect;
    FRequestDoneFlag = false;
    DropPendingInput();
    FTlsUp = false;
    FRequestResult = 0;
    FEsmtpSupported = false;
    FAuthNote.clear();
    FErrorMessage.clear();
    FLastResponse.clear();
    SetState(smtpDnsLookup);
    FWSocket->OnDataSent = nullptr;
    FWSocket->OnDnsLookupDone = [this](rtl::TObject*, uint16_t e) { WSocketDnsLookupDone(e); };
    try {
        FWSocket->DnsLookup(Host);
    } catch (...) {
        SetState(smtpReady);
        throw;
    }
}

void TCustomSmtpClient::WSocketDnsLookupDone(uint16_t ErrCode) {
    if (ErrCode != 0) {
        LocalError(WinsockFailure(ErrCode), SMTP_LOCAL_ERROR);
        FRequestResult = ErrCode;
        TriggerSessionConnected(ErrCode);
        TriggerSessionClosed(ErrCode);
        TriggerRequestDone(ErrCode);
        return;
    }
    try {
        FWSocket->SetAddr(FWSocket->DnsResult());
        FWSocket->SslServerName = rtl::Trim(Host);  // what a TLS certificate must name
        FWSocket->SetLocalAddr(LocalAddr);
        FWSocket->SetProto("tcp");
        FWSocket->SetPort(Port);
        FWSocket->OnSessionConnected = [this](rtl::TObject*, uint16_t e) { WSocketSessionConnected(e); };
        FWSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) { WSocketDataAvailable(); };
        SetState(smtpConnecting);
        FWSocket->Connect();
    } catch (const std::exception& E) {
        LocalError(std::string("500 ") + rtl::ExceptionClassName(E) + ": " + E.what(), SMTP_LOCAL_ERROR);
        // A failure never reports success, whatever the socket recorded.
        const int code = FWSocket->LastError() != 0 ? FWSocket->LastError() : SMTP_LOCAL_ERROR;
        TriggerRequestDone(static_cast<uint16_t>(code));
        if (FWSocket->State() != net::wsClosed) FWSocket->Abort();
    }
}

void TCustomSmtpClient::WSocketSessionConnected(uint16_t ErrCode) {
    if (ErrCode == 0) {
        FConnected = true;
        SetState(smtpWaitingBanner);
        return;
    }
    LocalError(WinsockFailure(ErrCode), SMTP_LOCAL_ERROR);
    FConnected = false;
    TriggerRequestDone(ErrCode);
    FWSocket->Close();
    if (State() != smtpReady && !FNextRequest) SetState(smtpReady);
}

void TCustomSmtpClient::WSocketSessionClosed(uint16_t ErrCode) {
    DropPendingInput();
    FConnected = false;
    const bool quitting = FFctPrv == smtpFctQuit;
    // A request cut off by the close failed, whatever its last reply was.
    if (!FRequestDoneFlag && !quitting && State() != smtpReady && FRequestResult == 0) {
        FRequestResult = kConnectionClosed;
        if (FErrorMessage.empty()) FErrorMessage = "500 Connection closed by the server";
    }
    TriggerSessionClosed(ErrCode);
    TriggerRequestDone(quitting ? 0 : kConnectionClosed);
}

// ---------------------------------------------------------------- replies

void TCustomSmtpClient::HandleReply() {
    if (!FNextHandler) throw SmtpException("Program error: FNext is nil");
    (this->*FNextHandler)();
}

void TCustomSmtpClient::HandleBanner() {
    TriggerDisplay("< " + FLastResponse);
    bool continued;
    FStatusCode = ReadReplyCode(FLastResponse, continued);
    if (continued) return;
    if (FStatusCode != 220) {
        SetErrorMessage();
        FRequestResult = FStatusCode;
        FWSocket->Close();  // the close ends the request
        return;
    }
    SetState(smtpConnected);
    TriggerSessionConnected(0);
    TriggerRequestDone(0);
}

// ---------------------------------------------------------------- commands

void TCustomSmtpClient::ExecAsync(TSmtpRequest RqType, const std::string& Cmd, std::initializer_list<int> OkResponses,
                                  THandler Done) {
    CheckReady();
    if (!FConnected) throw SmtpException("SMTP component not connected");
    if (!FHighLevelFlag) FRequestType = RqType;
    // The function now running, by request (none for those that are no command).
    static const TSmtpFct fctOf[] = {smtpFctNone, smtpFctHelo, smtpFctMailFrom, smtpFctVrfy, smtpFctRcptTo,
                                     smtpFctData, smtpFctQuit, smtpFctRset, smtpFctNone, smtpFctNone,
                                     smtpFctEhlo, smtpFctAuth, smtpFctStartTls, smtpFctNone};
    if (fctOf[RqType] != smtpFctNone) FFctPrv = fctOf[RqType];
    FOkResponses.assign(OkResponses.begin(), OkResponses.begin() + std::min(OkResponses.size(), kMaxOkResponses));
    FNextHandler = &TCustomSmtpClient::NextExecAsync;
    FDoneHandler = Done;
    SendCommand(Cmd);
}

void TCustomSmtpClient::NextExecAsync() {
    TriggerDisplay("< " + FLastResponse);
    bool continued;
    FStatusCode = ReadReplyCode(FLastResponse, continued);
    if (continued) return;  // only the last line of a reply decides
    const bool ok = FOkResponses.empty()
                        ? FStatusCode < 500
                        : std::find(FOkResponses.begin(), FOkResponses.end(), FStatusCode) != FOkResponses.end();
    if (ok) {
        FRequestResult = 0;
    } else {
        FRequestResult = FStatusCode;
        SetErrorMessage();
    }
    if (FDoneHandler) {
        const THandler done = std::exchange(FDoneHandler, nullptr);
        (this->*done)();
        return;
    }
    if (FFctPrv == smtpFctQuit && FConnected) {
        // The session is over either way; closing ends the request, even
        // with a server that keeps the connection open after its reply.
        FWSocket->Close();
        return;
    }
    TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
}

std::string TCustomSmtpClient::SignOnName() const {
    std::string name = SignOn.empty() ? net::LocalHostName() : SignOn;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

void TCustomSmtpClient::Helo() {
    ExecAsync(smtpHelo, "HELO " + SignOnName(), {250}, nullptr);
}

void TCustomSmtpClient::Ehlo() {
    CheckReady();
    FAuthTypesSupported.Clear();
    ExecAsync(smtpEhlo, "EHLO " + SignOnName(), {250}, &TCustomSmtpClient::EhloNext);
}

void TCustomSmtpClient::EhloNext() {
    if (FConnected) FEsmtpSupported = FRequestResult == 0;
    TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
}

void TCustomSmtpClient::AuthGetType(const std::string& Line) {
    std::string s = rtl::UpperCase(rtl::Trim(Line));
    if (s.size() <= 9) return;
    s.erase(0, 4);
    if (s.compare(0, 5, "AUTH ") != 0 && s.compare(0, 5, "AUTH=") != 0) return;
    s.erase(0, 5);
    std::replace(s.begin(), s.end(), '=', ' ');
    size_t i = 0;
    while (i < s.size()) {
        const size_t blank = s.find(' ', i);
        const std::string word = rtl::Trim(s.substr(i, blank == std::string::npos ? std::string::npos : blank - i));
        if (!word.empty() && FAuthTypesSupported.IndexOf(word) < 0) FAuthTypesSupported.Add(word);
        if (blank == std::string::npos) break;
        i = blank + 1;
    }
}

void TCustomSmtpClient::Vrfy() {
    ExecAsync(smtpVrfy, "VRFY " + HdrTo, {250}, nullptr);
}

void TCustomSmtpClient::MailFrom() {
    CheckReady();
    RequireSecure("the message");
    std::string friendly, address;
    ParseEmail(FromName, friendly, address);
    ExecAsync(smtpMailFrom, "MAIL FROM:<" + address + ">", {250}, nullptr);
}

void TCustomSmtpClient::RcptTo() {
    CheckReady();
    RequireSecure("the message");
    if (FRcptName.Count() == 0) throw SmtpException("RcptName list is empty");
    FRcptIndex = -1;
    RcptToNext();
}

void TCustomSmtpClient::RcptToNext() {
    if (FRcptIndex >= 0 && FRequestResult != 0) {
        TSmtpRcptToErrorAction action = srteAbort;
        if (OnRcptToError) OnRcptToError(this, static_cast<uint16_t>(FRequestResult), FRcptIndex, action);
        if (action == srteAbort) {
            TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
            return;
        }
        if (action == srteIgnore) ++FRcptIndex;
    } else {
        ++FRcptIndex;
    }
    std::string friendly, address;
    ParseEmail(FRcptName[FRcptIndex], friendly, address);
    const bool last = FRcptIndex >= FRcptName.Count() - 1;
    ExecAsync(smtpRcptTo, "RCPT TO:<" + address + ">", {250, 251}, last ? nullptr : &TCustomSmtpClient::RcptToDone);
}

void TCustomSmtpClient::RcptToDone() {
    SetState(smtpInternalReady);
    RcptToNext();
}

void TCustomSmtpClient::Rset() {
    ExecAsync(smtpRset, "RSET", {250}, nullptr);
}

void TCustomSmtpClient::Quit() {
    CheckReady();
    FFctPrv = smtpFctQuit;
    if (!FConnected) {
        if (!FHighLevelFlag) FRequestType = smtpQuit;
        FRequestDoneFlag = false;
        TriggerRequestDone(0);
        return;
    }
    ExecAsync(smtpQuit, "QUIT", {221}, nullptr);
}

void TCustomSmtpClient::Abort() {
    EndWriter();
    FOutStream.reset();
    TLineProtoClient::Abort();
}

// ---------------------------------------------------------------- authentication

TSmtpAuthType TCustomSmtpClient::ChooseAuthType() const {
    if (AuthType != smtpAuthAutoSelect) return AuthType;
    // Later entries are stronger: the last one offered wins.
    static const struct {
        const char* name;
        TSmtpAuthType type;
    } strength[] = {{"PLAIN", smtpAuthPlain}, {"LOGIN", smtpAuthLogin}, {"CRAM-MD5", smtpAuthCramMD5},
                    {"NTLM", smtpAuthNtlm}};
    TSmtpAuthType chosen = smtpAuthNone;
    for (const auto& m : strength)
        if (FAuthTypesSupported.IndexOf(m.name) >= 0) chosen = m.type;
    return chosen;
}

void TCustomSmtpClient::SkipAuth(const std::string& Why) {
    FAuthNote = Why;
    TriggerDisplay("! " + Why);
}

void TCustomSmtpClient::Auth() {
    CheckReady();
    RequireSecure("credentials");
    if (!FEsmtpSupported) {
        LocalError("500 ESMTP not supported.", SMTP_LOCAL_ERROR);
        CompleteWith(smtpAuth, SMTP_LOCAL_ERROR);
        return;
    }
    FFctPrv = smtpFctAuth;
    const TSmtpAuthType mechanism = ChooseAuthType();
    if (AuthType == smtpAuthAutoSelect && mechanism == smtpAuthNone) {
        if (FAuthTypesSupported.Count() == 0) {
            // A server that asks for no login (a local relay) takes the
            // message without one; a command it does not know would only
            // fail the send.
            SkipAuth("The server offers no authentication: sent without logging in");
            FRequestResult = 0;
            CompleteWith(smtpAuth, 0);
            return;
        }
        std::string offered;
        for (const auto& m : FAuthTypesSupported) offered += (offered.empty() ? "" : " ") + m;
        LocalError("500 The server offers authentication only by " + offered +
                       ", none of which this program can do (PLAIN, LOGIN, CRAM-MD5, NTLM)",
                   SMTP_LOCAL_ERROR);
        CompleteWith(smtpAuth, SMTP_LOCAL_ERROR);
        return;
    }
    StartAuth(mechanism);
}

void TCustomSmtpClient::StartAuth(TSmtpAuthType Mechanism) {
    FAuthMechanism = Mechanism;
    switch (Mechanism) {
        case smtpAuthPlain:
            // Authorization id empty: the server derives it from the login.
            ExecAsync(smtpAuth, "AUTH PLAIN " + Base64Encode(std::string(1, '\0') + Username + '\0' + Password),
                      {235}, &TCustomSmtpClient::AuthStepOne);
            return;
        case smtpAuthLogin:
            ExecAsync(smtpAuth, "AUTH LOGIN", {334}, &TCustomSmtpClient::AuthNextLogin);
            return;
        case smtpAuthCramMD5:
            ExecAsync(smtpAuth, "AUTH CRAM-MD5", {334}, &TCustomSmtpClient::AuthNextCramMD5);
            return;
        case smtpAuthNtlm:
            ExecAsync(smtpAuth, "AUTH NTLM " + NtlmGetMessage1("", ""), {334}, &TCustomSmtpClient::AuthNextNtlm);
            return;
        case smtpAuthCramSha1: throw rtl::Exception("CRAM-SHA1 authentication is not available");
        case smtpAuthNone:
        case smtpAuthAutoSelect: break;
    }
    LocalError("500 No Authentication Type Selected.", SMTP_LOCAL_ERROR);
    if (!FHighLevelFlag) FNextRequest = nullptr;
    CompleteWith(smtpAuth, SMTP_LOCAL_ERROR);
}

bool TCustomSmtpClient::AuthStepFailed() {
    if (FRequestResult == 0) return false;
    if (AuthType == smtpAuthAutoSelect) {
        // A mechanism the server does not know (504) moves down one step.
        static const TSmtpAuthType weaker[] = {smtpAuthNone, smtpAuthNone, smtpAuthPlain, smtpAuthLogin,
                                               smtpAuthNone, smtpAuthCramMD5, smtpAuthNone};
        const TSmtpAuthType next = weaker[FAuthMechanism];
        // A refusal of a challenge mechanism is easily forged: without TLS
        // it never leads to a password sent in clear.
        const auto clearText = [](TSmtpAuthType t) { return t == smtpAuthPlain || t == smtpAuthLogin; };
        if (FStatusCode == 504 && next != smtpAuthNone && clearText(next) && !clearText(FAuthMechanism) &&
            !FTlsUp) {
            FErrorMessage = FLastResponse + " (no fall-back to a clear-text password without TLS)";
            TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
            return true;
        }
        if (FStatusCode == 504 && next != smtpAuthNone) {
            FErrorMessage.clear();
            SetState(smtpInternalReady);
            StartAuth(next);
            return true;
        }
        FErrorMessage = "500 Authentication Type could not be determined.";
    }
    TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
    return true;
}

void TCustomSmtpClient::AuthFollowUp(const std::string& Cmd, int OkResponse, THandler Done) {
    SetState(smtpInternalReady);
    ExecAsync(smtpAuth, Cmd, {OkResponse}, Done);
}

void TCustomSmtpClient::AuthStepOne() {
    if (!AuthStepFailed()) TriggerRequestDone(0);
}

void TCustomSmtpClient::AuthNextLogin() {
    if (AuthStepFailed()) return;
    AuthFollowUp(Base64Encode(Username), 334, &TCustomSmtpClient::AuthNextLoginNext);
}

void TCustomSmtpClient::AuthNextLoginNext() {
    if (FRequestResult != 0) {
        TriggerRequestDone(static_cast<uint16_t>(FRequestResult));
        return;
    }
    AuthFollowUp(Base64Encode(Password), 235, nullptr);
}

void TCustomSmtpClient::AuthChallengeMalformed(const char* What) {
    LocalError(What + FLastResponse, SMTP_LOCAL_ERROR);
    TriggerRequestDone(SMTP_LOCAL_ERROR);
}

void TCustomSmtpClient::AuthNextCramMD5() {
    if (AuthStepFailed()) return;
    if (FLastResponse.size() <= 4) {
        AuthChallengeMalformed("500 Malformed MD5 Challege: ");
        return;
    }
    const std::string challenge = Base64Decode(FLastResponse.substr(4));
    const std::string digest = rtl::LowerCase(MD5DigestToHex(HMAC_MD5(Password, challenge)));
    AuthFollowUp(Base64Encode(Username + " " + digest), 235, nullptr);
}

void TCustomSmtpClient::AuthNextNtlm() {
    if (AuthStepFailed()) return;
    const TNTLM_Msg2_Info msg2 =
        FLastResponse.size() > 4 ? NtlmGetMessage2(FLastResponse.substr(4)) : TNTLM_Msg2_Info{};
    if (!msg2.Valid) {
        AuthChallengeMalformed("500 Malformed NtlmMsg2: ");
        return;
    }
    AuthFollowUp(NtlmGetMessage3("", "", Username, Password, msg2.Challenge), 235, nullptr);
}

// ---------------------------------------------------------------- chains

void TCustomSmtpClient::Open() {
    if (AuthType == smtpAuthNone) HighLevelAsync(smtpOpen, SmtpFct(smtpFctConnect) | SmtpFct(smtpFctHelo));
    else HighLevelAsync(smtpOpen, SmtpFct(smtpFctConnect) | SmtpFct(smtpFctEhlo) | SmtpFct(smtpFctAuth));
}

void TCustomSmtpClient::Mail() {
    // A message that cannot be written is refused before its envelope goes.
    CheckReady();
    CheckHeaderValues();
    HighLevelAsync(smtpMail, SmtpFct(smtpFctMailFrom) | SmtpFct(smtpFctRcptTo) | SmtpFct(smtpFctData));
}

void TCustomSmtpClient::HighLevelAsync(TSmtpRequest RqType, TSmtpFctSet Fcts) {
    if (FConnected && (Fcts & SmtpFct(smtpFctConnect))) throw SmtpException("SMTP component already connected");
    CheckReady();
    FRequestType = RqType;
    FFctPrv = smtpFctNone;
    BeginChain(Fcts);
    DoHighLevelAsync();
}

void TCustomSmtpClient::RefuseStartTls(const std::string& Text) {
    FLastResponse = FErrorMessage = Text;
    FStatusCode = FRequestResult = SMTP_LOCAL_ERROR;
    EndRequest(smtpStartTls, SMTP_LOCAL_ERROR);
}

void TCustomSmtpClient::ChainStartTls() { RefuseStartTls("500 STARTTLS is not available."); }

void TCustomSmtpClient::ChainStepStarting(int Fct) {
    FFctPrv = static_cast<TSmtpFct>(Fct);
    // After STARTTLS the client greets again over TLS.
    if (Fct == smtpFctStartTls) FFctSet |= SmtpFct(smtpFctEhlo);
}

void TCustomSmtpClient::DoHighLevelAsync() {
    const TChainStep order[] = {
        {smtpFctConnect, [this] { Connect(); }},   {smtpFctHelo, [this] { Helo(); }},
        {smtpFctEhlo, [this] { Ehlo(); }},         {smtpFctStartTls, [this] { ChainStartTls(); }},
        {smtpFctAuth, [this] { Auth(); }},         {smtpFctVrfy, [this] { Vrfy(); }},
        {smtpFctMailFrom, [this] { MailFrom(); }}, {smtpFctRcptTo, [this] { RcptTo(); }},
        {smtpFctData, [this] { Data(); }},         {smtpFctQuit, [this] { Quit(); }},
    };
    const bool aborted = State() == smtpAbort;
    if (aborted) {
        FFctSet = 0;
        FHighLevelResult = FRequestResult = SMTP_ABORTED;
        FErrorMessage = "426 Operation aborted.";
    }
    FNextRequest = [this] { DoHighLevelAsync(); };
    if (FRequestResult != 0) {
        // HELO may stand in for a refused EHLO only when neither TLS nor a
        // mechanism the caller chose depends on it: nothing goes out in
        // clear, and a login is left out only where the client was asked to
        // follow what the server offers (and says so).
        TSmtpFctSet needsEsmtp = SmtpFct(smtpFctStartTls);
        if (AuthType != smtpAuthAutoSelect) needsEsmtp |= SmtpFct(smtpFctAuth);
        if (!aborted && FFctPrv == smtpFctEhlo && !(FFctSet & needsEsmtp)) {
            if (FFctSet & SmtpFct(smtpFctAuth))
                SkipAuth("The server refused EHLO and so offers no authentication: sent without logging in");
            FFctSet = SmtpFct(smtpFctHelo);
        } else {
            // A refused QUIT after a failed step leaves that step's code.
            if (FHighLevelResult == 0 || FFctPrv != smtpFctQuit) FHighLevelResult = FRequestResult;
            const bool quitPending = FFctPrv != smtpFctQuit && (FFctSet & SmtpFct(smtpFctQuit));
            FFctSet = quitPending ? SmtpFct(smtpFctQuit) : 0;
        }
    }
    if (RunNextStep(order, std::size(order))) return;
    FFctSet = 0;
    FNextRequest = nullptr;
    FRequestDoneFlag = false;
    TriggerRequestDone(static_cast<uint16_t>(FHighLevelResult));
}

}  // namespace mail
