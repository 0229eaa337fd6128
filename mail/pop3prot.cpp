#include "mail/pop3prot.h"

#include <algorithm>
#include <exception>

#include "mail/evqmd5.h"
#include "mail/mimeutils.h"
#include "platform/rtl/sysutils.h"

namespace mail {

using rtl::IntToStr;

namespace {

// The expected size of a message answer nobody gave a size for: its
// deadline is then the average rate's alone.
constexpr int64_t kUnknownMessageSize = int64_t(1) << 32;

}  // namespace

std::string Pop3ApopDigest(const std::string& TimeStamp, const std::string& Password) {
    return rtl::LowerCase(StrMD5(TimeStamp + Password));
}

// ---------------------------------------------------------------- life

TCustomPop3Cli::TCustomPop3Cli(rtl::TComponent* owner)
    : TCustomPop3Cli(owner, [](rtl::TComponent* o) { return new net::TWSocket(o); }) {}

TCustomPop3Cli::TCustomPop3Cli(rtl::TComponent* owner, TSocketFactory CreateCtrlSocket) : TLineProtoClient(owner) {
    InstallSocket(CreateCtrlSocket(this));
}

// The socket goes while this class's handlers still exist.
TCustomPop3Cli::~TCustomPop3Cli() { BeginDestroy(); }

void TCustomPop3Cli::ReportRequestDone(int RqType, uint16_t Error) {
    if (OnRequestDone) OnRequestDone(this, static_cast<TPop3Request>(RqType), Error);
}

void TCustomPop3Cli::TriggerStateChange() {
    if (OnStateChange) OnStateChange(this);
}

void TCustomPop3Cli::TriggerDisplay(const std::string& Msg) {
    if (OnDisplay) OnDisplay(this, Msg);
}

void TCustomPop3Cli::TriggerResponse(const std::string& Msg) {
    if (OnResponse) OnResponse(this, Msg);
}

void TCustomPop3Cli::TriggerSessionConnected(uint16_t Error) {
    if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomPop3Cli::TriggerSessionClosed(uint16_t Error) {
    if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomPop3Cli::SetError(const std::string& Response, int Status) {
    FLastResponse = Response;
    FStatusCode = Status;
    if (FErrorMessage.empty()) FErrorMessage = Response;
}

void TCustomPop3Cli::Refuse(const std::string& Msg) {
    FErrorMessage = Msg;
    Display(Msg);
    throw Pop3Exception(Msg);
}

void TCustomPop3Cli::RefuseUnless(bool Allowed, const std::string& Word) {
    if (!Allowed) Refuse("-ERR " + Word + " command invalid now");
}

void TCustomPop3Cli::RefuseInsecure(const std::string& Word) {
    if (!CredentialsAllowed()) Refuse("-ERR " + Word + " refused: the connection is not secured yet");
}

void TCustomPop3Cli::CheckReady() const { TLineProtoClient::CheckReady("POP3"); }

void TCustomPop3Cli::BadReply(const std::string& What) {
    ProtocolError("Malformed " + What + " reply: \"" + FLastResponse.substr(0, 80) + "\"");
}

// ---------------------------------------------------------------- connect

void TCustomPop3Cli::Connect() {
    CheckReady();
    if (FConnected) throw Pop3Exception("POP3 component already connected");
    if (!FHighLevelFlag) FRequestType = pop3Connect;
    FRequestDoneFlag = false;
    DropPendingInput();
    FTlsUp = false;
    FRequestResult = 0;
    FTimeStamp.clear();
    FPipelining = false;
    FErrorMessage.clear();
    FWSocket->OnDataSent = nullptr;
    FWSocket->OnDnsLookupDone = [this](rtl::TObject*, uint16_t e) { WSocketDnsLookupDone(e); };
    SetState(pop3DnsLookup);
    try {
        FWSocket->DnsLookup(Host);
    } catch (...) {
        Abort();
        throw;
    }
}

void TCustomPop3Cli::WSocketDnsLookupDone(uint16_t Error) {
    if (Error != 0) {
        SetError("-ERR " + net::WSocketErrorDesc(Error) + " (Winsock error #" + IntToStr(Error) + ")", 500);
        FRequestResult = Error;
        EndWith(Error);
        return;
    }
    try {
        FWSocket->SetAddr(FWSocket->DnsResult());
        FWSocket->SslServerName = rtl::Trim(Host);  // what a TLS certificate must name
        FWSocket->SetProto("tcp");
        FWSocket->SetPort(Port);
        FWSocket->SetLocalAddr(LocalAddr);
        FWSocket->OnSessionConnected = [this](rtl::TObject* s, uint16_t e) { WSocketSessionConnected(s, e); };
        FWSocket->OnDataAvailable = [this](rtl::TObject*, uint16_t) { WSocketDataAvailable(); };
        SetState(pop3Connecting);
        FWSocket->Connect();
    } catch (const std::exception& E) {
        SetError(std::string("-ERR ") + rtl::ExceptionClassName(E) + ": " + E.what(), 500);
        FRequestResult = 500;
        EndWith(500);
    }
}

void TCustomPop3Cli::WSocketSessionConnected(rtl::TObject*, uint16_t Error) {
    if (Error == 0) {
        FConnected = true;
        SetState(pop3WaitingBanner);
        return;
    }
    SetError("-ERR " + net::WSocketErrorDesc(Error) + " (Winsock error #" + IntToStr(Error) + ")", 500);
    FConnected = false;
    FRequestResult = Error;
    EndWith(Error);
    FWSocket->Close();
    SetState(pop3Ready);
}

void TCustomPop3Cli::WSocketSessionClosed(uint16_t Error) {
    DropPendingInput();
    FConnected = false;
    // A request cut off by the close failed, whatever the last reply was.
    if (!FRequestDoneFlag && !FQuitClose && State() != pop3Ready && FRequestResult == 0) {
        FRequestResult = 10004;
        SetError("-ERR Connection closed before the answer was complete", 500);
    }
    TriggerSessionClosed(Error);
    EndWith(10004);
    FProtocolState = pop3Disconnected;
}

void TCustomPop3Cli::HandleBanner() {
    Display("< " + FLastResponse);
    if (!OkResponse()) {
        if (FErrorMessage.empty()) FErrorMessage = FLastResponse;
        FRequestResult = FStatusCode;
        DropPendingInput();  // nothing more of this buffer is read
        FWSocket->Close();
        return;
    }
    const size_t lt = FLastResponse.find('<');
    const size_t gt = lt == std::string::npos ? std::string::npos : FLastResponse.find('>', lt);
    FTimeStamp = gt == std::string::npos ? std::string() : FLastResponse.substr(lt, gt - lt + 1);
    FProtocolState = pop3WaitingUser;
    SetState(pop3Connected);
    TriggerSessionConnected(0);
    EndWith(0);
}

// ---------------------------------------------------------------- replies

void TCustomPop3Cli::HandleReply() {
    if (!FNext) throw Pop3Exception("Program error: FNext is nil");
    (this->*FNext)();
}

// ---------------------------------------------------------------- commands

bool TCustomPop3Cli::OkResponse() {
    const bool ok = !FLastResponse.empty() && FLastResponse[0] == '+';
    FStatusCode = ok ? 0 : 500;
    return ok;
}

void TCustomPop3Cli::ExecAsync(TPop3Request RqType, const std::string& Cmd, TPop3ProtocolState NextState,
                               THandler DoneAsync) {
    CheckReady();
    if (!FConnected) throw Pop3Exception("POP3 component not connected");
    if (!FHighLevelFlag) FRequestType = RqType;
    FRequestDoneFlag = false;
    FInBatch = false;  // this answer's end line ends this request
    FNext = &TCustomPop3Cli::NextExecAsync;
    FNextProtocolState = NextState;
    FDoneAsync = DoneAsync;
    SendCommand(Cmd);
}

void TCustomPop3Cli::NextExecAsync() {
    Display("< " + FLastResponse);
    if (!OkResponse()) {
        FRequestResult = FStatusCode;
        if (FErrorMessage.empty()) FErrorMessage = FLastResponse;
        EndWith(500);
        return;
    }
    FRequestResult = 0;
    FProtocolState = FNextProtocolState;
    if (FDoneAsync) (this->*FDoneAsync)();
    else EndWith(0);
}

void TCustomPop3Cli::StartTransaction(const std::string& Word, const std::string& Param, TPop3Request RqType,
                                      TPop3Fct Fct, THandler DoneAsync) {
    RefuseUnless(FProtocolState == pop3Transaction, Word);
    FFctPrv = Fct;
    // Only a message's answer has header lines (a LIST or UIDL line with a
    // colon in it is none), and only such an answer replaces them.
    FHeaderPart = RqType == pop3Retr || RqType == pop3Top;
    if (FHeaderPart) ClearHeaders();
    ExecAsync(RqType, Param.empty() ? Word : Word + " " + Param, pop3Transaction, DoneAsync);
}

void TCustomPop3Cli::User() {
    RefuseUnless(FProtocolState <= pop3WaitingUser, "USER");
    RefuseInsecure("USER");
    FFctPrv = pop3FctUser;
    ExecAsync(pop3User, "USER " + rtl::Trim(UserName), pop3WaitingPass, nullptr);
}

void TCustomPop3Cli::Pass() {
    RefuseUnless(FProtocolState <= pop3WaitingPass, "PASS");
    RefuseInsecure("PASS");
    FFctPrv = pop3FctPass;
    // The password goes as typed: blanks around it may be part of it.
    ExecAsync(pop3Pass, "PASS " + PassWord, pop3Transaction, nullptr);
}

void TCustomPop3Cli::RPop() {
    RefuseUnless(FProtocolState <= pop3WaitingPass, "RPOP");
    RefuseInsecure("RPOP");
    FFctPrv = pop3FctRPop;
    ExecAsync(pop3RPop, "RPOP " + PassWord, pop3Transaction, nullptr);
}

void TCustomPop3Cli::APop() {
    RefuseUnless(FProtocolState == pop3WaitingUser, "APOP");
    RefuseInsecure("APOP");
    if (FTimeStamp.empty()) Refuse("-ERR Server does not support APOP (no timestamp)");
    FFctPrv = pop3FctAPop;
    ExecAsync(pop3APop, "APOP " + rtl::Trim(UserName) + " " + Pop3ApopDigest(FTimeStamp, PassWord), pop3Transaction,
              nullptr);
}

void TCustomPop3Cli::Auth() {
    RefuseUnless(FProtocolState <= pop3WaitingUser, "AUTH");
    RefuseInsecure("AUTH");
    switch (AuthType) {
        case popAuthNone: User(); return;
        case popAuthLogin:
            ExecAsync(pop3Auth, "AUTH LOGIN", pop3WaitingUser, &TCustomPop3Cli::AuthLoginNext);
            return;
        case popAuthCramMD5:
            ExecAsync(pop3Auth, "AUTH CRAM-MD5", pop3WaitingUser, &TCustomPop3Cli::AuthCramNext);
            return;
        case popAuthCramSHA1: throw rtl::Exception("CRAM-SHA1 is not available for POP3");
    }
}

void TCustomPop3Cli::AuthLoginNext() {
    FLineState = lineInternalReady;  // between the two steps, without an event
    ExecAsync(pop3User, Base64Encode(UserName), pop3WaitingUser, &TCustomPop3Cli::AuthLoginPass);
}

void TCustomPop3Cli::AuthLoginPass() {
    FLineState = lineInternalReady;
    ExecAsync(pop3Pass, Base64Encode(PassWord), pop3Transaction, nullptr);
}

void TCustomPop3Cli::AuthCramNext() {
    if (FLastResponse.size() <= 2) {
        FLastResponse = "500 Malformed MD5 Challenge: " + FLastResponse;
        FStatusCode = 500;
        FRequestResult = 500;
        if (FErrorMessage.empty()) FErrorMessage = FLastResponse;
        EndWith(500);
        return;
    }
    const std::string challenge = Base64Decode(FLastResponse.substr(2));
    const std::string answer = UserName + " " + rtl::LowerCase(MD5DigestToHex(HMAC_MD5(PassWord, challenge)));
    FLineState = lineInternalReady;
    ExecAsync(pop3Pass, Base64Encode(answer), pop3Transaction, nullptr);
}

void TCustomPop3Cli::Quit() {
    CheckReady();
    FFctPrv = pop3FctQuit;
    if (!FConnected) {
        if (!FHighLevelFlag) FRequestType = pop3Quit;
        FRequestDoneFlag = false;
        FQuitClose = false;
        EndWith(0);
        return;
    }
    ExecAsync(pop3Quit, "QUIT", pop3Disconnected, nullptr);
}

void TCustomPop3Cli::Stat() { StartTransaction("STAT", "", pop3Stat, pop3FctStat, &TCustomPop3Cli::StatDone); }

void TCustomPop3Cli::List() {
    if (MsgNum > 0) StartTransaction("LIST", IntToStr(MsgNum), pop3List, pop3FctList, &TCustomPop3Cli::ListDone);
    else StartTransaction("LIST", "", pop3List, pop3FctList, &TCustomPop3Cli::ListAllDone);
}

void TCustomPop3Cli::Uidl() {
    if (MsgNum > 0) StartTransaction("UIDL", IntToStr(MsgNum), pop3Uidl, pop3FctUidl, &TCustomPop3Cli::UidlDone);
    else StartTransaction("UIDL", "", pop3Uidl, pop3FctUidl, &TCustomPop3Cli::UidlAllDone);
}

void TCustomPop3Cli::Retr() {
    StartTransaction("RETR", IntToStr(MsgNum), pop3Retr, pop3FctRetr, &TCustomPop3Cli::RetrDone);
}

void TCustomPop3Cli::Top() {
    if (MsgLines < 0) throw Pop3Exception("Invalid MsgLines for TOP command");
    StartTransaction("TOP", IntToStr(MsgNum) + " " + IntToStr(MsgLines), pop3Top, pop3FctTop,
                     &TCustomPop3Cli::RetrDone);
}

void TCustomPop3Cli::Capa() {
    CheckReady();
    if (!FConnected) throw Pop3Exception("POP3 component not connected");
    FPipelining = false;
    FHeaderPart = false;
    ExecAsync(pop3Capa, "CAPA", FProtocolState, &TCustomPop3Cli::CapaDone);
}

void TCustomPop3Cli::CapaDone() { StartMultiLine(nullptr, nullptr, nullptr, &TCustomPop3Cli::ProcessCapa); }

bool TCustomPop3Cli::ProcessCapa() {
    if (rtl::UpperCase(rtl::Trim(FLastResponse)) == "PIPELINING") FPipelining = true;
    return true;
}

void TCustomPop3Cli::Dele() { StartTransaction("DELE", IntToStr(MsgNum), pop3Dele, pop3FctDele, nullptr); }
void TCustomPop3Cli::Noop() { StartTransaction("NOOP", "", pop3Noop, pop3FctNoop, nullptr); }
void TCustomPop3Cli::RSet() { StartTransaction("RSET", "", pop3RSet, pop3FctRSet, nullptr); }
void TCustomPop3Cli::Last() { StartTransaction("LAST", "", pop3Last, pop3FctLast, &TCustomPop3Cli::LastDone); }

void TCustomPop3Cli::StatDone() {
    int64_t count, size;
    if (!Pop3ExtractNumbers(FLastResponse, count, size) || count > INT32_MAX) return BadReply("STAT");
    FMsgCount = static_cast<int>(count);
    FMsgSize = size;
    EndWith(0);
}

bool TCustomPop3Cli::ReadListLine() {
    int64_t num, size;
    if (!Pop3ExtractNumbers(FLastResponse, num, size) || num > INT32_MAX) return false;
    MsgNum = static_cast<int>(num);
    FMsgSize = size;
    return true;
}

void TCustomPop3Cli::ListDone() {
    if (!ReadListLine()) return BadReply("LIST");
    EndWith(0);
}

void TCustomPop3Cli::LastDone() {
    size_t i;
    int64_t num;
    if (!Pop3ReadFirstNumber(FLastResponse, i, INT32_MAX, num)) return BadReply("LAST");
    MsgNum = static_cast<int>(num);
    EndWith(0);
}

void TCustomPop3Cli::UidlDone() {
    if (!Pop3ExtractUidl(FLastResponse, MsgNum, FMsgUidl)) return BadReply("UIDL");
    EndWith(0);
}

void TCustomPop3Cli::Abort() {
    FInBatch = false;
    TLineProtoClient::Abort();
}

// ---------------------------------------------------------------- TOP batches

void TCustomPop3Cli::TopBatch() {
    RefuseUnless(FProtocolState == pop3Transaction, "TOP");
    if (MsgLines < 0) throw Pop3Exception("Invalid MsgLines for TOP command");
    if (!TopSizes.empty() && TopSizes.size() != TopNums.size()) throw Pop3Exception("TopSizes does not match TopNums");
    CheckReady();
    if (!FConnected) throw Pop3Exception("POP3 component not connected");
    if (!FHighLevelFlag) FRequestType = pop3Top;
    FFctPrv = pop3FctTop;
    FRequestResult = 0;
    FRequestDoneFlag = false;
    // A server that did not offer pipelining gets one command at a time.
    FPipelineDepth = FPipelining ? std::max<size_t>(1, PipelineDepth) : 1;
    FTopNext = 0;
    FSinceCheck = 0;
    FTopsAwaited.clear();
    FNext = &TCustomPop3Cli::TopBatchStatus;
    FInBatch = true;
    try {
        sendTops();
    } catch (...) {
        FInBatch = false;
        throw;
    }
    if (AnswersAwaited() == 0) EndWith(0);  // nothing to ask for
}

void TCustomPop3Cli::sendTops() {
    // The window is refilled once half of it has been answered, in one
    // write: fewer writes and wake-ups than a TOP after every answer.
    if (AnswersAwaited() > FPipelineDepth / 2) return;
    TBurst burst(*this);
    while (FConnected && AnswersAwaited() < FPipelineDepth) {
        const bool more = FTopNext < TopNums.size() && (!TopGoOn || TopGoOn());
        if (CheckEvery > 0 && FSinceCheck > 0 && (FSinceCheck >= CheckEvery || !more)) {
            // The last TOP sent names the message its check must name.
            const int last = TopNums[FTopNext - 1];
            FSinceCheck = 0;
            SendPipelined("LIST " + IntToStr(last), -last);
            continue;
        }
        if (!more) break;
        const int no = TopNums[FTopNext];
        const int64_t size = TopSizes.empty() ? 0 : TopSizes[FTopNext];
        ++FTopNext;
        ++FSinceCheck;
        FTopsAwaited.push_back({no, size});
        SendPipelined("TOP " + IntToStr(no) + " " + IntToStr(MsgLines), no);
    }
}

void TCustomPop3Cli::OutOfStep(const std::string& What) {
    // Every later answer would land on the wrong message: the session ends.
    FOutOfStep = true;
    ProtocolError("The answers are out of step with the commands: " + What);
}

void TCustomPop3Cli::TopBatchStatus() {
    const bool ok = FLastResponse.compare(0, 3, "+OK") == 0;
    const bool refused = FLastResponse.compare(0, 4, "-ERR") == 0;
    Display("< " + FLastResponse);
    if (!FInBatch) return;  // the session was ended from the display
    const int tag = AnswerTag();
    if (!ok && !refused)
        return OutOfStep("\"" + FLastResponse.substr(0, 80) + "\" where the answer to " +
                         (tag < 0 ? "LIST " + IntToStr(-tag) : "TOP " + IntToStr(tag)) + " must begin");
    if (tag < 0) return checkAnswered();
    FStatusCode = ok ? 0 : 500;
    MsgNum = tag;
    FTopSize = FTopsAwaited.empty() ? 0 : FTopsAwaited.front().size;
    if (!FTopsAwaited.empty()) FTopsAwaited.pop_front();
    if (!ok) return topAnswerEnded(false);
    ExpectAnswerBytes(FTopSize);
    FAnswerRead = 0;
    FHeaderPart = true;
    ClearHeaders();
    StartMultiLine(&OnMessageBegin, &OnMessageLine, &OnMessageEnd, nullptr);
}

void TCustomPop3Cli::checkAnswered() {
    const int no = -AnswerTag();
    int64_t n, size;
    if (FLastResponse.compare(0, 3, "+OK") != 0 || !Pop3ExtractNumbers(FLastResponse, n, size) || n != no)
        return OutOfStep("\"" + FLastResponse.substr(0, 80) + "\" where the answer to LIST " + IntToStr(no) +
                         " was due");
    answerEnded([this, no] {
        if (OnTopChecked) OnTopChecked(this, no);
    });
}

void TCustomPop3Cli::topAnswerEnded(bool Ok) {
    const int no = AnswerTag();
    answerEnded([this, no, Ok] {
        MsgNum = no;
        if (OnTopAnswer) OnTopAnswer(this, no, Ok);
    });
}

void TCustomPop3Cli::answerEnded(const std::function<void()>& Report) {
    NextAnswer();
    FNext = &TCustomPop3Cli::TopBatchStatus;
    // The next commands go out before this answer is handed on, so that the
    // server works while it is used.
    std::exception_ptr refused;
    try {
        sendTops();
    } catch (...) {
        refused = std::current_exception();  // the engine has recorded why and dropped the connection
    }
    try {
        Report();
    } catch (const std::exception& E) {
        // Nothing may unwind through the socket's event; the answers still
        // on their way would be read by nobody, so the session ends.
        return ProtocolError(std::string("Internal client error ") + rtl::ExceptionClassName(E) + ": \"" + E.what() +
                             "\"");
    }
    if (refused) {
        FRequestDoneFlag = false;
        EndWith(LINE_PROTOCOL_ERROR);
        return;
    }
    if (!FInBatch || AnswersAwaited() > 0) return;
    // Nothing more is awaited: anything the server sent beyond is an answer
    // to no command, and a sign that those read were out of step.
    if (InputPending()) return OutOfStep("bytes beyond the last answer awaited");
    EndWith(0);
}

// ---------------------------------------------------------------- ending

void TCustomPop3Cli::TriggerRequestDone(uint16_t Error) {
    FInBatch = false;
    if (FRequestType == pop3Quit) {
        // QUIT ends in two steps: at its "+" reply, then when the server closes.
        if (!FQuitClose && FConnected && Error == 0) {
            FQuitClose = true;
            return;
        }
        if (FQuitClose) {
            FQuitClose = false;
            Error = 0;
        }
    }
    TLineProtoClient::TriggerRequestDone(Error);
}

// ---------------------------------------------------------------- multi-line

void TCustomPop3Cli::StartMultiLine(rtl::TNotifyEvent* Begin, rtl::TNotifyEvent* Line, rtl::TNotifyEvent* End,
                                    bool (TCustomPop3Cli::*Step)()) {
    FMultiLineLine = Line;
    FMultiLineEnd = End;
    FMultiLineProcess = Step;
    if (Begin && *Begin) (*Begin)(this);
    FNext = &TCustomPop3Cli::GetALine;
}

void TCustomPop3Cli::RetrDone() {
    size_t at;
    int64_t said = 0;
    const bool named = Pop3ReadFirstNumber(FLastResponse, at, INT64_MAX, said);
    ExpectAnswerBytes(ExpectedSize > 0 ? ExpectedSize : named ? said : kUnknownMessageSize);
    StartMultiLine(&OnMessageBegin, &OnMessageLine, &OnMessageEnd, nullptr);
}

void TCustomPop3Cli::ListAllDone() {
    ExpectAnswerBytes(static_cast<int64_t>(FMsgCount) * 32);
    StartMultiLine(&OnListBegin, &OnListLine, &OnListEnd, &TCustomPop3Cli::ProcessList);
}

void TCustomPop3Cli::UidlAllDone() {
    ExpectAnswerBytes(static_cast<int64_t>(FMsgCount) * 80);
    StartMultiLine(&OnUidlBegin, &OnUidlLine, &OnUidlEnd, &TCustomPop3Cli::ProcessUidl);
}

bool TCustomPop3Cli::ProcessList() { return ReadListLine(); }

bool TCustomPop3Cli::ProcessUidl() {
    // A line without a number or an id is the caller's to judge (it sees
    // MsgNum 0 or an empty id): the listing is read to its end either way.
    if (!Pop3ExtractUidl(FLastResponse, MsgNum, FMsgUidl)) MsgNum = 0;
    return true;
}

void TCustomPop3Cli::GetALine() {
    if (!FConnected) {
        FErrorMessage = "-ERR Disconneced unexpectedly";
        FRequestResult = 500;
        Display(FErrorMessage);
        EndWith(500);
        return;
    }
    if (FLastResponse == ".") {
        if (FMultiLineEnd && *FMultiLineEnd) (*FMultiLineEnd)(this);
        FLastResponse.clear();
        FNext = nullptr;
        if (!FInBatch) return EndWith(0);
        // An answer that ends inside its header is a message cut short by a
        // lone "." line (a server that did not dot-stuff it), unless it holds
        // the whole message.
        if (FHeaderPart && FAnswerRead + 8 < FTopSize) {
            FStatusCode = 500;
            FLastResponse = "-ERR The answer ended inside the message header (a lone \".\" line)";
            Display("! " + FLastResponse);
            return topAnswerEnded(false);
        }
        return topAnswerEnded(true);
    }
    if (FInBatch) FAnswerRead += static_cast<int64_t>(FLastResponse.size()) + 2;
    if (FLastResponse.size() > 1 && FLastResponse[0] == '.' && FLastResponse[1] == '.') FLastResponse.erase(0, 1);
    if (FHeaderPart) CaptureHeaderLine(FLastResponse);
    if (FMultiLineProcess && !(this->*FMultiLineProcess)()) return BadReply("listing");
    if (FMultiLineLine && *FMultiLineLine) (*FMultiLineLine)(this);
}

void TCustomPop3Cli::ClearHeaders() {
    FHeaderKeyword.clear();
    FHeaderData.clear();
    for (std::string* s : {&FHdrFrom, &FHdrTo, &FHdrSubject, &FHdrReplyTo, &FHdrInReplyTo, &FHdrMessageId, &FHdrDate,
                           &FHdrReturnPath, &FHdrCc})
        s->clear();
}

std::string* TCustomPop3Cli::HeaderTarget() {
    static const struct {
        const char* keyword;
        std::string TCustomPop3Cli::*field;
    } table[] = {
        {"from", &TCustomPop3Cli::FHdrFrom},          {"to", &TCustomPop3Cli::FHdrTo},
        {"subject", &TCustomPop3Cli::FHdrSubject},    {"date", &TCustomPop3Cli::FHdrDate},
        {"message-id", &TCustomPop3Cli::FHdrMessageId}, {"reply-to", &TCustomPop3Cli::FHdrReplyTo},
        {"in-reply-to", &TCustomPop3Cli::FHdrInReplyTo}, {"return-path", &TCustomPop3Cli::FHdrReturnPath},
        {"cc", &TCustomPop3Cli::FHdrCc},
    };
    for (const auto& e : table)
        if (FHeaderKeyword == e.keyword) return &(this->*e.field);
    return nullptr;
}

void TCustomPop3Cli::CaptureHeaderLine(const std::string& Line) {
    if (Line.empty()) {
        FHeaderPart = false;
        if (OnHeaderEnd) OnHeaderEnd(this);
        return;
    }
    if (Line[0] == ' ' || Line[0] == '\t') {
        FHeaderData = " " + Line.substr(1);
        if (std::string* target = HeaderTarget()) *target += FHeaderData;
        return;
    }
    const size_t colon = Line.find(':');
    if (colon == std::string::npos) return;
    FHeaderKeyword = rtl::LowerCase(rtl::Trim(Line.substr(0, colon)));
    size_t from = colon + 1;
    if (from < Line.size() && Line[from] == ' ') ++from;
    FHeaderData = Line.substr(from);
    std::string* target = HeaderTarget();
    if (!target) return;
    if (target == &FHdrCc && !FHdrCc.empty()) FHdrCc += ", " + FHeaderData;  // several Cc lines make one list
    else *target = FHeaderData;
}

// ---------------------------------------------------------------- chains

void TCustomPop3Cli::Open() {
    HighLevelAsync(pop3Open, Pop3Fct(pop3FctConnect) | Pop3Fct(pop3FctUser) | Pop3Fct(pop3FctPass));
}

void TCustomPop3Cli::HighLevelAsync(TPop3Request RqType, TPop3FctSet Fcts) {
    if (FConnected && (Fcts & Pop3Fct(pop3FctConnect))) throw Pop3Exception("pop3 component already connected");
    CheckReady();
    FRequestType = RqType;
    FFctPrv = pop3FctNone;
    BeginChain(Fcts);
    DoHighLevelAsync();
}

void TCustomPop3Cli::DoHighLevelAsync() {
    const TChainStep order[] = {
        {pop3FctConnect, [this] { Connect(); }}, {pop3FctStartTls, [this] { StartTls(); }},
        {pop3FctUser, [this] { User(); }},       {pop3FctPass, [this] { Pass(); }},
        {pop3FctRPop, [this] { RPop(); }},       {pop3FctDele, [this] { Dele(); }},
        {pop3FctNoop, [this] { Noop(); }},       {pop3FctList, [this] { List(); }},
        {pop3FctRSet, [this] { RSet(); }},       {pop3FctAPop, [this] { APop(); }},
        {pop3FctRetr, [this] { Retr(); }},       {pop3FctTop, [this] { Top(); }},
        {pop3FctStat, [this] { Stat(); }},       {pop3FctUidl, [this] { Uidl(); }},
        {pop3FctLast, [this] { Last(); }},       {pop3FctQuit, [this] { Quit(); }},
    };
    if (State() == pop3Abort) {
        FFctSet = 0;
        FHighLevelResult = POP3_TIMEOUT;
        FErrorMessage = "426 Operation aborted.";
    }
    FNextRequest = [this] { DoHighLevelAsync(); };
    if (FRequestResult != 0) {
        FHighLevelResult = FRequestResult;
        const bool quitPending = FFctPrv != pop3FctQuit && (FFctSet & Pop3Fct(pop3FctQuit));
        FFctSet = quitPending ? Pop3Fct(pop3FctQuit) : 0;
    }
    if (RunNextStep(order, std::size(order))) return;
    FNextRequest = nullptr;
    FRequestDoneFlag = false;
    TriggerRequestDone(static_cast<uint16_t>(FHighLevelResult));
}

}  // namespace mail
