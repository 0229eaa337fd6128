#pragma once
// The line-protocol engine the POP3 and SMTP clients stand on: the control
// socket and the client's hidden window, the line reader, the one place
// commands are sent from, request ends and chains of requests, the blocking
// wait with its inactivity time-out, and the TLS upgrade with its buffer
// drop and credential gate. A protocol adds its commands and says how a
// reply line is read ("+OK"/"-ERR", or three-digit codes with "-" lines).
//
// Lines: a server line ends at CR LF; a lone LF is accepted as a line end
// too (its CR, when present, is removed); every other byte, a lone CR or a
// NUL included, stays in the line. A line longer than kMaxLineLength, or a
// partial line growing past it, is a protocol error that ends the request
// and the connection: a line is never cut into pieces.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "net/twsocket.h"
#include "platform/rtl/classes.h"
#include "platform/win/messages.h"

namespace mail {

// The request states; the protocols' own state types have the same order.
enum TLineState {
    lineReady,
    lineDnsLookup,
    lineConnecting,
    lineConnected,
    lineInternalReady,
    lineWaitingBanner,
    lineWaitingResponse,
    lineAbort
};

constexpr size_t kMaxLineLength = 16 * 1024 * 1024;
// The code of a request that a blocking call gave up on.
constexpr int LINE_TIMEOUT = 426;
// The code of a local or protocol failure.
constexpr int LINE_PROTOCOL_ERROR = 500;

// What one answer may cost beside the silence time-out, which a server
// defeats by sending a byte now and then. After a grace as long as the
// silence time-out, an answer must keep an average of MinBytesPerSec, and
// it must end within the grace plus its expected size (plus SlackBytes) at
// that rate. MaxLines caps the lines of one answer (0: no cap), so endless
// continuation or preliminary lines end too.
struct TAnswerLimits {
    double MinBytesPerSec = 2;
    int64_t SlackBytes = 512;
    size_t MaxLines = 10000;
};

class TLineProtoClient : public rtl::TComponent {
public:
    ~TLineProtoClient() override;

    bool Connected() const { return FConnected; }
    const std::string& ErrorMessage() const { return FErrorMessage; }
    const std::string& LastResponse() const { return FLastResponse; }
    int StatusCode() const { return FStatusCode; }
    int RequestResult() const { return FRequestResult; }
    net::TWSocket* CtrlSocket() const { return FWSocket; }
    virtual void Abort();
    // The limits of one answer; a blocking call applies them while its
    // time-out is above 0.
    TAnswerLimits AnswerLimits;
    // Whether the server was seen answering out of step with the commands
    // (bytes where no answer was due) since the last reset.
    bool AnswersOutOfStep() const { return FOutOfStep; }
    void ResetOutOfStep() { FOutOfStep = false; }

protected:
    explicit TLineProtoClient(rtl::TComponent* owner);

    // The protocol's side.
    virtual void TriggerDisplay(const std::string& Msg) = 0;
    virtual void TriggerResponse(const std::string& Msg) = 0;
    virtual void TriggerStateChange() = 0;
    // A line while the banner is awaited / while a command waits for its reply.
    virtual void HandleBanner() = 0;
    virtual void HandleReply() = 0;
    // A line while no command waits. By default a protocol error: a reply
    // that came early must not be taken as the answer to the next command.
    virtual void HandleUnsolicited();
    // Whether bytes may stand unread when a command goes out.
    virtual bool EarlyAnswersAllowed() const { return false; }
    // The request's end as posted to OnRequestDone.
    virtual void ReportRequestDone(int RqType, uint16_t Error) = 0;
    virtual int RequestTypeCode() const = 0;
    virtual bool RequestSucceeded() const { return FDoneCode == 0; }
    // A failure as the protocol writes it ("-ERR ...", "500 ...").
    virtual std::string FailureText(const std::string& Why) const = 0;
    [[noreturn]] virtual void RaiseError(const std::string& Msg) const = 0;
    // A command about to go out (after its checks).
    virtual void TriggerCommand(const std::string&) {}
    // The connection is being dropped for a failure: close what hangs on it.
    virtual void ConnectionDropped() {}
    // True when TLS is to be negotiated after the banner (STLS, STARTTLS).
    virtual bool ExplicitTlsAsked() const { return false; }
    virtual void WndProc(win::TMessage& MsgRec);

    // The control socket; the engine owns the close handler and the reader.
    void InstallSocket(net::TWSocket* Socket);
    virtual void WSocketSessionClosed(uint16_t Error) = 0;
    void WSocketDataAvailable();

    void SetLineState(TLineState NewState);
    void CheckReady(const char* What) const;
    bool NoRequestRunning() const { return FLineState == lineReady || FLineState == lineInternalReady; }

    // Sends one command line: one with CR, LF or NUL in it is refused (raised,
    // nothing sent), and so is one while an answer stands unread.
    void SendCommand(const std::string& Cmd);
    static bool UnsafeCommandText(const std::string& Cmd);

    // Pipelining: a request may send more commands before the answer it is
    // reading has ended, up to FPipelineDepth answers awaited at once. The
    // answers come back in the order the commands went out; each is known by
    // the Tag its command was sent with. With no answer awaited this is
    // SendCommand (bytes standing unread are refused as there).
    void SendPipelined(const std::string& Cmd, int Tag);
    // The answer being read has ended: true when another is awaited (its
    // tag is now AnswerTag), false when none is.
    bool NextAnswer();
    size_t AnswersAwaited() const { return FAwaited.size(); }
    int AnswerTag() const { return FAwaited.empty() ? 0 : FAwaited.front(); }
    // Commands sent while a burst lives leave in one write when it ends.
    class TBurst {
    public:
        explicit TBurst(TLineProtoClient& C) : c_(C) { ++c_.FBurst; }
        ~TBurst();
        TBurst(const TBurst&) = delete;
        TBurst& operator=(const TBurst&) = delete;

    private:
        TLineProtoClient& c_;
    };

    // Received bytes not yet read as lines are thrown away, and lines of the
    // batch being read stop.
    void DropPendingInput();
    // Ends the connection for a protocol fault; a running request (and its
    // chain) ends with LINE_PROTOCOL_ERROR and the text.
    void ProtocolError(const std::string& Why);
    // Sets the failure's text (ErrorMessage, LastResponse) and code, shows
    // it and returns it.
    std::string RecordFailure(const std::string& Why);
    // Ends the running request with Code after aborting the connection, whose
    // close does not end the request a second time; a running chain stops.
    void FailAndAbort(int Code);
    // The same without ending the request (the caller raises instead).
    void DropConnection();

    // The end of a request: the next step of a chain runs, or the end is
    // posted to the window and reported from the loop.
    virtual void TriggerRequestDone(uint16_t Error);

    // A chain: the steps of Fcts in the order of Table, one request each.
    struct TChainStep {
        int fct;
        std::function<void()> run;
    };
    void BeginChain(uint32_t Fcts);
    // Runs the first step left in Table (true), or finds none (false). A
    // step that raises ends the chain with the failure's text.
    bool RunNextStep(const TChainStep* Table, size_t Count);
    // Called with the step's function before it runs.
    virtual void ChainStepStarting(int Fct) = 0;

    // The blocking wait: pumps the loop until the request ends. Gives up
    // after TimeoutSec seconds without a byte from the server, and when the
    // answer awaited breaks AnswerLimits (0: never gives up).
    bool WaitRequest(int TimeoutSec);
    // Progress outside the control connection (a data transfer): the
    // silence and the answer's clock start again.
    void NoteActivity();
    // The size the answer now awaited should have, for its deadline.
    void ExpectAnswerBytes(int64_t Bytes) { FAnswerExpect = Bytes < 0 ? 0 : Bytes; }
    // The cap on the lines of one answer; a protocol whose answers are
    // long listings bounds them by their deadline instead.
    virtual size_t AnswerLineCap() const { return AnswerLimits.MaxLines; }
    // Whether received bytes stand unread behind the line being handled.
    bool InputPending() const;

    // TLS: starts the handshake; Upgrade drops what came in clear first.
    // False (with the reason) when it could not start.
    bool BeginTls(bool Upgrade, std::string& Why);
    virtual void TlsHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect) = 0;
    // Whether the handshake succeeded; the reason when not.
    bool TlsHandshakeOk(uint16_t ErrCode, bool Disconnect, std::string& Why);
    std::string SecureConnectionText() const;
    // No credentials before an asked-for TLS upgrade has succeeded.
    bool CredentialsAllowed() const { return !ExplicitTlsAsked() || FTlsUp; }

    net::TWSocket* FWSocket = nullptr;
    win::HWND FWindowHandle = 0;
    TLineState FLineState = lineReady;
    bool FConnected = false;
    bool FRequestDoneFlag = false;
    int FRequestResult = 0;
    int FStatusCode = 0;
    uint16_t FDoneCode = 0;  // the code of the last request that ended
    std::string FErrorMessage, FLastResponse;
    uint32_t FFctSet = 0;
    int FHighLevelResult = 0;
    bool FHighLevelFlag = false;
    std::function<void()> FNextRequest;
    bool FTlsUp = false;  // this connection's handshake succeeded
    size_t FPipelineDepth = 1;
    bool FOutOfStep = false;

    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

private:
    bool NextLine(std::string& Line);
    void ProcessLine();
    void refuseUnsafe(const std::string& Cmd);
    void sendFirst(const std::string& Cmd, int Tag);
    void writeCommand(const std::string& Cmd);
    void beginAnswer();
    // Why the answer awaited has broken its limits after Elapsed ms; empty
    // while it keeps them.
    std::string answerLimitBroken(int64_t Elapsed, int TimeoutSec) const;

    std::string FRcvBuf;
    size_t FRcvPos = 0;
    uint64_t FSession = 0;  // changes at every drop: lines of an old batch stop
    uint32_t FLastActivity = 0;
    uint32_t FAnswerStart = 0;   // when the answer awaited became the one awaited
    int64_t FAnswerBytes = 0;    // bytes received since
    int64_t FAnswerExpect = 0;   // its expected size; 0 when unknown
    size_t FAnswerLines = 0;     // its lines so far
    std::deque<int> FAwaited;  // tags of the commands whose answers have not ended, oldest first
    int FWaitDepth = 0;        // blocking waits running (a wait may run inside another's event)
    int FBurst = 0;            // bursts living
    std::string FBurstOut;     // their commands, not yet written
};

}  // namespace mail
