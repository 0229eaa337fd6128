#include "mail/lineproto.h"

#include <algorithm>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace mail {

namespace {

constexpr win::UINT WM_LINE_REQUEST_DONE = win::WM_USER + 1;
constexpr int kReadChunk = 65536;
constexpr win::UINT kWakeMs = 1000;  // the wait looks at the clock at least this often
constexpr uintptr_t kWakeTimerId = 1;

// A line as it may be shown in an error text: short, control bytes escaped.
std::string shownLine(const std::string& Line) {
    std::string out;
    for (char c : Line.substr(0, 60)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? rtl::Format("\\x%.2X", u) : std::string(1, c);
    }
    return Line.size() > 60 ? out + "..." : out;
}

}  // namespace

TLineProtoClient::TLineProtoClient(rtl::TComponent* owner) : rtl::TComponent(owner) {
    FWindowHandle = win::AllocateHWnd([this](win::TMessage& m) { WndProc(m); });
}

TLineProtoClient::~TLineProtoClient() {
    BeginDestroy();
    win::DeallocateHWnd(FWindowHandle);
}

void TLineProtoClient::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    if (Operation == rtl::opRemove && AComponent == FWSocket) FWSocket = nullptr;
}

void TLineProtoClient::InstallSocket(net::TWSocket* Socket) {
    delete FWSocket;
    FWSocket = Socket;
    FWSocket->FreeNotification(this);
    FWSocket->OnSessionClosed = [this](rtl::TObject*, uint16_t e) {
        if (!Destroying()) WSocketSessionClosed(e);
    };
}

void TLineProtoClient::WndProc(win::TMessage& MsgRec) {
    // The request travels with its end: another may have started since.
    if (MsgRec.Msg == WM_LINE_REQUEST_DONE)
        ReportRequestDone(static_cast<int>(MsgRec.WParam), static_cast<uint16_t>(MsgRec.LParam));
}

void TLineProtoClient::SetLineState(TLineState NewState) {
    if (FLineState == NewState) return;
    FLineState = NewState;
    TriggerStateChange();
}

void TLineProtoClient::CheckReady(const char* What) const {
    if (!NoRequestRunning()) RaiseError(std::string(What) + " component not ready");
}

// ---------------------------------------------------------------- receive

bool TLineProtoClient::NextLine(std::string& Line) {
    const size_t lf = FRcvBuf.find('\n', FRcvPos);
    if (lf == std::string::npos) return false;
    size_t end = lf;
    if (end > FRcvPos && FRcvBuf[end - 1] == '\r') --end;
    Line.assign(FRcvBuf, FRcvPos, end - FRcvPos);
    FRcvPos = lf + 1;
    return true;
}

void TLineProtoClient::WSocketDataAvailable() {
    char buf[kReadChunk];
    const int n = FWSocket->Receive(buf, sizeof buf);
    if (n <= 0) return;
    FLastActivity = win::GetTickCount();  // silence is counted between bytes, not between lines
    FAnswerBytes += n;
    FRcvBuf.append(buf, static_cast<size_t>(n));
    const uint64_t session = FSession;
    std::string line;
    while (session == FSession && NextLine(line)) {
        if (line.size() > kMaxLineLength) {
            ProtocolError("Line too long");
            return;
        }
        const size_t cap = AnswerLineCap();
        if (cap > 0 && ++FAnswerLines > cap) {
            ProtocolError(rtl::Format("More than %d lines in one answer", int(cap)));
            return;
        }
        FLastResponse = line;
        TriggerResponse(FLastResponse);
        if (session != FSession) break;
        ProcessLine();
    }
    if (session != FSession) return;  // the buffer belonged to a batch that was dropped
    FRcvBuf.erase(0, FRcvPos);
    FRcvPos = 0;
    if (FRcvBuf.size() > kMaxLineLength) ProtocolError("Line too long");
}

void TLineProtoClient::ProcessLine() {
    switch (FLineState) {
        case lineWaitingBanner: HandleBanner(); break;
        case lineWaitingResponse: HandleReply(); break;
        default: HandleUnsolicited();
    }
}

void TLineProtoClient::HandleUnsolicited() {
    FOutOfStep = true;
    ProtocolError("Unexpected data from the server while no command was waiting: \"" + shownLine(FLastResponse) +
                  "\"");
}

void TLineProtoClient::DropPendingInput() {
    ++FSession;
    FAwaited.clear();
    FRcvBuf.clear();
    FRcvPos = 0;
}

void TLineProtoClient::NoteActivity() {
    FLastActivity = win::GetTickCount();
    beginAnswer();
}

void TLineProtoClient::beginAnswer() {
    FAnswerStart = win::GetTickCount();
    FAnswerBytes = 0;
    FAnswerExpect = 0;
    FAnswerLines = 0;
}

bool TLineProtoClient::InputPending() const {
    return FRcvPos < FRcvBuf.size() || (FWSocket->State() == net::wsConnected && FWSocket->RcvdCount() > 0);
}

// ---------------------------------------------------------------- commands

bool TLineProtoClient::UnsafeCommandText(const std::string& Cmd) {
    return Cmd.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

void TLineProtoClient::SendCommand(const std::string& Cmd) { sendFirst(Cmd, 0); }

void TLineProtoClient::refuseUnsafe(const std::string& Cmd) {
    // A line break or NUL inside an argument would end the command early
    // and make the rest a command of its own.
    if (!UnsafeCommandText(Cmd)) return;
    const size_t blank = Cmd.find(' ');
    const std::string word = Cmd.substr(0, std::min(blank, Cmd.find_first_of(std::string("\r\n\0", 3))));
    RaiseError(RecordFailure("Command refused: " + word + " argument holds a line break or NUL byte"));
}

void TLineProtoClient::sendFirst(const std::string& Cmd, int Tag) {
    refuseUnsafe(Cmd);
    if (!EarlyAnswersAllowed() && FConnected && InputPending()) {
        // The refusal below ends the request; the connection goes now.
        FOutOfStep = true;
        const std::string text = RecordFailure("Unexpected data from the server before the command was sent");
        DropConnection();
        RaiseError(text);
    }
    FAwaited.assign(1, Tag);
    FRequestDoneFlag = false;
    SetLineState(lineWaitingResponse);
    beginAnswer();
    writeCommand(Cmd);
}

void TLineProtoClient::SendPipelined(const std::string& Cmd, int Tag) {
    if (FAwaited.empty() || FLineState != lineWaitingResponse) return sendFirst(Cmd, Tag);
    refuseUnsafe(Cmd);
    // Bytes standing unread now belong to the answers awaited.
    if (FAwaited.size() >= FPipelineDepth)
        RaiseError(RecordFailure(rtl::Format("Program error: more than %d answers awaited", int(FPipelineDepth))));
    FAwaited.push_back(Tag);
    writeCommand(Cmd);
}

bool TLineProtoClient::NextAnswer() {
    if (!FAwaited.empty()) FAwaited.pop_front();
    beginAnswer();
    return !FAwaited.empty();
}

void TLineProtoClient::writeCommand(const std::string& Cmd) {
    TriggerCommand(Cmd);
    TriggerDisplay("> " + Cmd);
    if (FBurst > 0) FBurstOut.append(Cmd).append("\r\n");
    else if (FWSocket->State() == net::wsConnected) FWSocket->SendStr(Cmd + "\r\n");
}

TLineProtoClient::TBurst::~TBurst() {
    if (--c_.FBurst > 0) return;
    const std::string out = std::move(c_.FBurstOut);
    c_.FBurstOut.clear();
    if (!out.empty() && c_.FWSocket->State() == net::wsConnected) c_.FWSocket->SendStr(out);
}

// ---------------------------------------------------------------- failures

void TLineProtoClient::DropConnection() {
    // The close below belongs to this failure and must not end the request.
    FRequestDoneFlag = true;
    DropPendingInput();
    ConnectionDropped();
    if (FWSocket->State() != net::wsClosed) FWSocket->Abort();
    FConnected = false;
    FNextRequest = nullptr;
    FFctSet = 0;
}

void TLineProtoClient::FailAndAbort(int Code) {
    const bool running = !NoRequestRunning() || FNextRequest;
    DropConnection();
    if (!running) return;
    FRequestDoneFlag = false;
    TriggerRequestDone(static_cast<uint16_t>(Code));
}

std::string TLineProtoClient::RecordFailure(const std::string& Why) {
    const std::string text = FailureText(Why);
    FErrorMessage = FLastResponse = text;
    FStatusCode = FRequestResult = LINE_PROTOCOL_ERROR;
    TriggerDisplay("! " + text);
    return text;
}

void TLineProtoClient::ProtocolError(const std::string& Why) {
    RecordFailure(Why);
    FailAndAbort(LINE_PROTOCOL_ERROR);
}

void TLineProtoClient::Abort() {
    DropPendingInput();
    SetLineState(lineAbort);
    FWSocket->CancelDnsLookup();
    FWSocket->Abort();
    SetLineState(lineReady);
}

// ---------------------------------------------------------------- ending and chains

void TLineProtoClient::TriggerRequestDone(uint16_t Error) {
    if (FRequestDoneFlag) return;
    FRequestDoneFlag = true;
    FAwaited.clear();
    if (FNextRequest) {
        if (FLineState != lineAbort) SetLineState(lineInternalReady);
        const auto next = FNextRequest;
        next();
        return;
    }
    SetLineState(lineReady);
    FHighLevelFlag = false;
    FDoneCode = Error;
    win::PostMessage(FWindowHandle, WM_LINE_REQUEST_DONE, static_cast<win::WPARAM>(RequestTypeCode()),
                     static_cast<win::LPARAM>(Error));
}

void TLineProtoClient::BeginChain(uint32_t Fcts) {
    FRequestResult = 0;
    FHighLevelResult = 0;
    FFctSet = Fcts;
    FHighLevelFlag = true;
    FLastResponse.clear();
    FErrorMessage.clear();
}

bool TLineProtoClient::RunNextStep(const TChainStep* Table, size_t Count) {
    for (size_t i = 0; i < Count; ++i) {
        const TChainStep& step = Table[i];
        if (!(FFctSet & (1u << step.fct))) continue;
        FFctSet &= ~(1u << step.fct);
        ChainStepStarting(step.fct);
        try {
            step.run();
        } catch (const std::exception& E) {
            // A step refused before anything went out ends the chain here,
            // with the refusal's text when it set one.
            FHighLevelResult = FRequestResult = LINE_PROTOCOL_ERROR;
            if (FErrorMessage.empty())
                FErrorMessage = FailureText(std::string("Internal client error ") + rtl::ExceptionClassName(E) +
                                            ": \"" + E.what() + "\"");
            FNextRequest = nullptr;
            FFctSet = 0;
            FRequestDoneFlag = false;
            TriggerRequestDone(LINE_PROTOCOL_ERROR);
        }
        return true;
    }
    return false;
}

// ---------------------------------------------------------------- blocking wait

std::string TLineProtoClient::answerLimitBroken(int64_t Elapsed, int TimeoutSec) const {
    const TAnswerLimits& l = AnswerLimits;
    const int64_t grace = static_cast<int64_t>(TimeoutSec) * 1000;
    if (l.MinBytesPerSec <= 0 || Elapsed <= grace) return {};
    // Bytes trickled one at a time keep the silence short but never make an
    // answer: the average since the grace ended must hold, and so must the
    // whole answer's deadline.
    const double owed = l.MinBytesPerSec * static_cast<double>(Elapsed - grace) / 1000.0;
    if (static_cast<double>(FAnswerBytes) < owed)
        return rtl::Format("Too slow: %s bytes of the answer in %d seconds, at least %g bytes a second are needed",
                           rtl::IntToStr(FAnswerBytes).c_str(), int(Elapsed / 1000), l.MinBytesPerSec);
    const double deadline = static_cast<double>(grace) +
                            static_cast<double>(FAnswerExpect + l.SlackBytes) * 1000.0 / l.MinBytesPerSec;
    if (static_cast<double>(Elapsed) > deadline)
        return rtl::Format("Too slow: the answer did not end within %d seconds", int(deadline / 1000));
    return {};
}

bool TLineProtoClient::WaitRequest(int TimeoutSec) {
    FLastActivity = win::GetTickCount();
    beginAnswer();
    // One timer for the whole wait wakes it to look at the clock; the passes
    // in between sleep until any event, without a timer of their own.
    struct TWakeTimer {
        TLineProtoClient& c;
        explicit TWakeTimer(TLineProtoClient& C) : c(C) {
            if (c.FWaitDepth++ == 0) win::SetTimer(c.FWindowHandle, kWakeTimerId, kWakeMs);
        }
        ~TWakeTimer() {
            if (--c.FWaitDepth == 0) win::KillTimer(c.FWindowHandle, kWakeTimerId);
        }
    } wake(*this);
    while (true) {
        if (FLineState == lineReady) return RequestSucceeded();
        const int64_t left = static_cast<int64_t>(TimeoutSec) * 1000 - win::TicksSince(FLastActivity);
        const bool silent = TimeoutSec > 0 && left < 0;
        const std::string broken = TimeoutSec > 0 && !silent
                                       ? answerLimitBroken(win::TicksSince(FAnswerStart), TimeoutSec)
                                       : std::string();
        if (win::Terminated() || silent || !broken.empty()) {
            Abort();
            FErrorMessage = broken.empty() ? std::string("426 Timeout") : "426 " + broken;
            FStatusCode = LINE_TIMEOUT;
            if (!broken.empty()) TriggerDisplay("! " + FErrorMessage);
            return false;
        }
        win::WaitForEvent(-1);
    }
}

// ---------------------------------------------------------------- TLS

bool TLineProtoClient::BeginTls(bool Upgrade, std::string& Why) {
    // Bytes that came in clear behind the server's go-ahead are not to be
    // taken as replies of the protected session.
    if (Upgrade) DropPendingInput();
    FTlsUp = false;
    FWSocket->OnSslHandshakeDone = [this](rtl::TObject*, uint16_t ErrCode, net::TX509Base* PeerCert,
                                          bool& Disconnect) { TlsHandshakeDone(ErrCode, PeerCert, Disconnect); };
    try {
        FWSocket->SetSslEnable(true);
        FWSocket->StartSslHandshake();
    } catch (const std::exception& E) {
        FWSocket->SetSslEnable(false);
        Why = std::string(rtl::ExceptionClassName(E)) + " " + E.what();
        return false;
    }
    return true;
}

bool TLineProtoClient::TlsHandshakeOk(uint16_t ErrCode, bool Disconnect, std::string& Why) {
    if (ErrCode != 0 || Disconnect || FWSocket->State() != net::wsConnected) {
        // The reason (a certificate refused, a protocol failure) goes with it.
        Why = FWSocket->SslHandshakeError();
        return false;
    }
    FTlsUp = true;
    return true;
}

std::string TLineProtoClient::SecureConnectionText() const {
    return rtl::Format("Secure connection with %s, cipher %s, %d secret bits (%d total)",
                       FWSocket->SslVersion().c_str(), FWSocket->SslCipher().c_str(), FWSocket->SslSecretBits(),
                       FWSocket->SslTotalBits());
}

}  // namespace mail
