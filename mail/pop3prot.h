#pragma once
// The POP3 client. TCustomPop3Cli never blocks: each request sends at most
// one command and returns, and its end is reported later, from the message
// loop, through OnRequestDone. Multi-line answers arrive one line per event
// with dot-stuffing undone, and nine header fields are captured while a
// message streams by. High-level requests run a fixed chain of commands as
// one request. TSyncPop3Cli adds the blocking calls (names ending in Sync)
// and TSslPop3Cli runs the session over TLS, implicit or through STLS.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/lineproto.h"
#include "mail/pop3prot_reply.h"
#include "net/sslcontext.h"
#include "net/twsocket.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/win/messages.h"

namespace mail {

RTL_EXCEPTION_CLASS(Pop3Exception, rtl::Exception);

enum TPop3State {
    pop3Ready,
    pop3DnsLookup,
    pop3Connecting,
    pop3Connected,
    pop3InternalReady,
    pop3WaitingBanner,
    pop3WaitingResponse,
    pop3Abort
};
enum TPop3ProtocolState { pop3Disconnected, pop3WaitingUser, pop3WaitingPass, pop3Transaction };
enum TPop3Request {
    pop3Connect, pop3User, pop3Pass, pop3RPop, pop3Quit, pop3Stat, pop3List, pop3Retr, pop3Top, pop3Dele,
    pop3Noop, pop3Last, pop3RSet, pop3Uidl, pop3APop, pop3Open, pop3Auth, pop3StartTls, pop3Custom, pop3Capa
};
enum TPop3Fct {
    pop3FctNone, pop3FctConnect, pop3FctUser, pop3FctPass, pop3FctRPop, pop3FctQuit, pop3FctAPop, pop3FctStat,
    pop3FctList, pop3FctUidl, pop3FctRetr, pop3FctTop, pop3FctDele, pop3FctNoop, pop3FctRSet, pop3FctLast,
    pop3FctStartTls
};
enum TPop3AuthType { popAuthNone, popAuthLogin, popAuthCramMD5, popAuthCramSHA1 };

// A set of TPop3Fct: bit n stands for ordinal n.
using TPop3FctSet = uint32_t;
constexpr TPop3FctSet Pop3Fct(TPop3Fct f) { return 1u << f; }

using TPop3Display = std::function<void(rtl::TObject* Sender, const std::string& Msg)>;
using TPop3RequestDone = std::function<void(rtl::TObject* Sender, TPop3Request RqType, uint16_t Error)>;
// One answer of a TOP batch has ended: "+OK" (Ok) or "-ERR" for message MsgNum.
using TPop3AnswerEvent = std::function<void(rtl::TObject* Sender, int MsgNum, bool Ok)>;

// The error code of a request that a blocking call gave up on.
constexpr int POP3_TIMEOUT = LINE_TIMEOUT;

class TCustomPop3Cli : public TLineProtoClient {
public:
    explicit TCustomPop3Cli(rtl::TComponent* owner = nullptr);
    ~TCustomPop3Cli() override;
    const char* ClassName() const override { return "TCustomPop3Cli"; }

    virtual void Connect();
    virtual void Open();
    virtual void Auth();
    virtual void User();
    virtual void Pass();
    virtual void RPop();
    virtual void APop();
    virtual void Quit();
    virtual void Stat();
    virtual void List();
    virtual void Retr();
    virtual void Top();
    virtual void Dele();
    virtual void Noop();
    virtual void Last();
    virtual void RSet();
    virtual void Uidl();
    // The server's capabilities; ServerPipelining tells whether it listed PIPELINING.
    virtual void Capa();
    // TOP MsgLines for every message of TopNums, as one request. When CAPA
    // listed PIPELINING, up to PipelineDepth commands are out at once;
    // otherwise each goes when the last answer has ended. Every answer runs
    // through OnMessageBegin/Line/End as for Top (MsgNum its message), then
    // OnTopAnswer; a "-ERR" fails its message only and the batch goes on.
    // No more TOPs go out once TopGoOn says no; those out are still read.
    //
    // A TOP answer carries nothing that names its message, so answers that
    // come twice, go missing or are forged would land on the wrong message.
    // With CheckEvery above 0, a "LIST n" for the last TOP goes out after
    // every CheckEvery TOPs and after the last one: its answer must name n,
    // and OnTopChecked(n) then says every answer up to TOP n was in step.
    // Anything out of step (a line that is no status line where an answer
    // begins, a LIST answer for another message, bytes beyond the last
    // answer awaited) ends the session with a protocol error. TopSizes
    // (LIST's sizes, parallel to TopNums) give each answer its deadline
    // and tell a header-only message from an answer that a lone "." line
    // cut inside its header: such a cut answer fails its message.
    virtual void TopBatch();
    void Abort() override;
    // Starts a chain of commands as one request.
    void HighLevelAsync(TPop3Request RqType, TPop3FctSet Fcts);

    bool IsServerAPOP() const { return !FTimeStamp.empty(); }
    bool ServerPipelining() const { return FPipelining; }
    TPop3State State() const { return static_cast<TPop3State>(FLineState); }
    TPop3ProtocolState ProtocolState() const { return FProtocolState; }
    // StatusCode: 0 after a "+" reply, 500 after a "-" reply, 426 after a time-out.
    int MsgCount() const { return FMsgCount; }
    int64_t MsgSize() const { return FMsgSize; }
    const std::string& MsgUidl() const { return FMsgUidl; }

    const std::string& HdrFrom() const { return FHdrFrom; }
    const std::string& HdrTo() const { return FHdrTo; }
    const std::string& HdrSubject() const { return FHdrSubject; }
    const std::string& HdrReplyTo() const { return FHdrReplyTo; }
    const std::string& HdrInReplyTo() const { return FHdrInReplyTo; }
    const std::string& HdrMessageId() const { return FHdrMessageId; }
    const std::string& HdrDate() const { return FHdrDate; }
    const std::string& HdrReturnPath() const { return FHdrReturnPath; }
    const std::string& HdrCc() const { return FHdrCc; }

    std::string Host;
    std::string LocalAddr = "0.0.0.0";
    std::string Port = "pop3";
    std::string UserName;
    std::string PassWord;
    TPop3AuthType AuthType = popAuthNone;
    int MsgLines = 0;
    int MsgNum = 0;
    int Tag = 0;
    // The size LIST gave the message of the next RETR or TOP, for its
    // answer's deadline; 0 when unknown (then the size the "+OK" line
    // names, if any, else a size no mail reaches).
    int64_t ExpectedSize = 0;
    std::vector<int> TopNums;
    std::vector<int64_t> TopSizes;
    size_t PipelineDepth = 16;
    int CheckEvery = 0;
    std::function<bool()> TopGoOn;
    // TOP commands of the last batch that went out.
    size_t TopsSent() const { return FTopNext; }

    TPop3Display OnDisplay;
    rtl::TNotifyEvent OnMessageBegin, OnMessageEnd, OnMessageLine;
    rtl::TNotifyEvent OnListBegin, OnListEnd, OnListLine;
    rtl::TNotifyEvent OnUidlBegin, OnUidlEnd, OnUidlLine;
    rtl::TNotifyEvent OnHeaderEnd;
    TPop3AnswerEvent OnTopAnswer;
    std::function<void(rtl::TObject* Sender, int MsgNum)> OnTopChecked;
    rtl::TNotifyEvent OnStateChange;
    TPop3RequestDone OnRequestDone;
    TPop3Display OnResponse;
    net::TSessionEvent OnSessionConnected;
    net::TSessionEvent OnSessionClosed;

protected:
    using THandler = void (TCustomPop3Cli::*)();
    // Makes the control socket; a TLS client makes a TLS-capable one.
    using TSocketFactory = net::TWSocket* (*)(rtl::TComponent* Owner);
    TCustomPop3Cli(rtl::TComponent* owner, TSocketFactory CreateCtrlSocket);

    virtual void WSocketSessionConnected(rtl::TObject* Sender, uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    void TriggerResponse(const std::string& Msg) override;
    void TriggerStateChange() override;
    void TriggerDisplay(const std::string& Msg) override;
    void TriggerRequestDone(uint16_t Error) override;
    void HandleBanner() override;
    void HandleReply() override;
    void ReportRequestDone(int RqType, uint16_t Error) override;
    int RequestTypeCode() const override { return FRequestType; }
    bool RequestSucceeded() const override { return FRequestResult == 0; }
    std::string FailureText(const std::string& Why) const override { return "-ERR " + Why; }
    [[noreturn]] void RaiseError(const std::string& Msg) const override { throw Pop3Exception(Msg); }
    void WSocketSessionClosed(uint16_t Error) override;
    void ChainStepStarting(int Fct) override { FFctPrv = static_cast<TPop3Fct>(Fct); }
    void TlsHandshakeDone(uint16_t, net::TX509Base*, bool&) override {}
    virtual void DoHighLevelAsync();
    // The STLS step of a chain; only a TLS client has one.
    virtual void StartTls() { throw Pop3Exception("STLS needs a TLS client"); }

    void SetState(TPop3State NewState) { SetLineState(static_cast<TLineState>(NewState)); }
    void Display(const std::string& Msg) { TriggerDisplay(Msg); }
    void ExecAsync(TPop3Request RqType, const std::string& Cmd, TPop3ProtocolState NextState, THandler DoneAsync);
    void StartTransaction(const std::string& Word, const std::string& Param, TPop3Request RqType, TPop3Fct Fct,
                          THandler DoneAsync);
    void CheckReady() const;
    // Sets, shows and raises a refusal.
    [[noreturn]] void Refuse(const std::string& Msg);
    void RefuseUnless(bool Allowed, const std::string& Word);
    void RefuseInsecure(const std::string& Word);
    // Records a failure: LastResponse and, while it is empty, ErrorMessage.
    void SetError(const std::string& Response, int Status);
    void EndWith(uint16_t Error) { TriggerRequestDone(Error); }
    // A reply that breaks the protocol (a number missing or out of range).
    void BadReply(const std::string& What);

    size_t AnswerLineCap() const override { return 0; }  // listings are bounded by their deadline

    TPop3ProtocolState FNextProtocolState = pop3Disconnected;
    TPop3ProtocolState FProtocolState = pop3Disconnected;
    TPop3Request FRequestType = pop3Connect;
    THandler FNext = nullptr;
    TPop3Fct FFctPrv = pop3FctNone;
    THandler FDoneAsync = nullptr;
    std::string FTimeStamp;

private:
    void WSocketDnsLookupDone(uint16_t Error);
    void NextExecAsync();
    bool OkResponse();
    void StartMultiLine(rtl::TNotifyEvent* Begin, rtl::TNotifyEvent* Line, rtl::TNotifyEvent* End,
                        bool (TCustomPop3Cli::*Step)());
    void GetALine();
    void CaptureHeaderLine(const std::string& Line);
    std::string* HeaderTarget();
    void ClearHeaders();
    void StatDone();
    void ListDone();
    void UidlDone();
    void LastDone();
    void RetrDone();
    void ListAllDone();
    void UidlAllDone();
    bool ReadListLine();
    bool ProcessList();
    bool ProcessUidl();
    void CapaDone();
    bool ProcessCapa();
    void sendTops();
    void TopBatchStatus();
    void topAnswerEnded(bool Ok);
    void checkAnswered();
    // Ends the answer being read and hands it on through Report.
    void answerEnded(const std::function<void()>& Report);
    void OutOfStep(const std::string& What);
    void AuthLoginNext();
    void AuthLoginPass();
    void AuthCramNext();

    int FMsgCount = 0;
    int64_t FMsgSize = 0;
    std::string FMsgUidl;
    bool FQuitClose = false;
    bool FPipelining = false;
    bool FInBatch = false;  // a TOP batch is the request running
    size_t FTopNext = 0;    // the place in TopNums of the next TOP to send
    int FSinceCheck = 0;    // TOPs sent since the last LIST check went out
    struct TTopAwaited {
        int no;
        int64_t size;
    };
    std::deque<TTopAwaited> FTopsAwaited;  // TOPs whose answers have not begun, oldest first
    int64_t FTopSize = 0;       // LIST's size of the message whose answer is read
    int64_t FAnswerRead = 0;    // bytes of its lines so far
    bool FHeaderPart = false;
    std::string FHeaderKeyword, FHeaderData;
    std::string FHdrFrom, FHdrTo, FHdrSubject, FHdrReplyTo, FHdrInReplyTo, FHdrMessageId, FHdrDate,
        FHdrReturnPath, FHdrCc;
    rtl::TNotifyEvent* FMultiLineLine = nullptr;
    rtl::TNotifyEvent* FMultiLineEnd = nullptr;
    bool (TCustomPop3Cli::*FMultiLineProcess)() = nullptr;
};

class TPop3Cli : public TCustomPop3Cli {
public:
    using TCustomPop3Cli::TCustomPop3Cli;
    const char* ClassName() const override { return "TPop3Cli"; }
};

// Every request as a call that returns when the request has ended, pumping
// the message loop meanwhile. True when it ended without error.
class TSyncPop3Cli : public TPop3Cli {
public:
    using TPop3Cli::TPop3Cli;
    const char* ClassName() const override { return "TSyncPop3Cli"; }

    virtual bool WaitUntilReady();
    virtual bool ConnectSync() { return Synchronize(&TCustomPop3Cli::Connect); }
    virtual bool OpenSync() { return Synchronize(&TCustomPop3Cli::Open); }
    virtual bool UserSync() { return Synchronize(&TCustomPop3Cli::User); }
    virtual bool PassSync() { return Synchronize(&TCustomPop3Cli::Pass); }
    virtual bool RPopSync() { return Synchronize(&TCustomPop3Cli::RPop); }
    virtual bool APopSync() { return Synchronize(&TCustomPop3Cli::APop); }
    virtual bool QuitSync() { return Synchronize(&TCustomPop3Cli::Quit); }
    virtual bool StatSync() { return Synchronize(&TCustomPop3Cli::Stat); }
    virtual bool ListSync() { return Synchronize(&TCustomPop3Cli::List); }
    virtual bool RetrSync() { return Synchronize(&TCustomPop3Cli::Retr); }
    virtual bool TopSync() { return Synchronize(&TCustomPop3Cli::Top); }
    virtual bool DeleSync() { return Synchronize(&TCustomPop3Cli::Dele); }
    virtual bool NoopSync() { return Synchronize(&TCustomPop3Cli::Noop); }
    virtual bool LastSync() { return Synchronize(&TCustomPop3Cli::Last); }
    virtual bool RSetSync() { return Synchronize(&TCustomPop3Cli::RSet); }
    virtual bool UidlSync() { return Synchronize(&TCustomPop3Cli::Uidl); }
    virtual bool CapaSync() { return Synchronize(&TCustomPop3Cli::Capa); }
    virtual bool TopBatchSync() { return Synchronize(&TCustomPop3Cli::TopBatch); }
    virtual bool AbortSync() { return Synchronize(&TCustomPop3Cli::Abort); }

    // Seconds without a byte from the server after which a blocking call
    // gives up; 0 or less: never.
    int Timeout = 15;
    bool MultiThreaded = false;

protected:
    bool Synchronize(void (TCustomPop3Cli::*Proc)());
};

enum TPop3SslType { pop3TlsNone, pop3TlsImplicit, pop3TlsExplicit };

// The session over TLS: from the first byte (implicit) or after STLS
// (explicit). With explicit TLS no credential goes out before STLS has
// secured the connection.
class TSslPop3Cli : public TSyncPop3Cli {
public:
    explicit TSslPop3Cli(rtl::TComponent* owner = nullptr);
    const char* ClassName() const override { return "TSslPop3Cli"; }

    void Connect() override;
    void Open() override;
    virtual void Stls();
    // STLS and the handshake as one blocking call.
    bool StlsSync() { return Synchronize(static_cast<void (TCustomPop3Cli::*)()>(&TSslPop3Cli::Stls)); }

    TPop3SslType SslType = pop3TlsNone;
    net::TSslContext* SslContext() const;
    void SetSslContext(net::TSslContext* Value);
    // The TLS socket, for its certificate and session events.
    net::TSslWSocket* SslSocket() const;
    net::TSslHandshakeDoneEvent OnSslHandshakeDone;

protected:
    void WSocketSessionConnected(rtl::TObject* Sender, uint16_t Error) override;
    void StartTls() override;
    bool ExplicitTlsAsked() const override { return SslType == pop3TlsExplicit; }
    void TlsHandshakeDone(uint16_t ErrCode, net::TX509Base* PeerCert, bool& Disconnect) override {
        TransferSslHandshakeDone(this, ErrCode, PeerCert, Disconnect);
    }
    virtual void TransferSslHandshakeDone(rtl::TObject* Sender, uint16_t ErrCode, net::TX509Base* PeerCert,
                                          bool& Disconnect);

private:
    void TlsNext();
    void startHandshake(bool Upgrade);
    void handshakeFailed(const std::string& Msg);
};

// The APOP digest of a banner's time stamp and a password.
std::string Pop3ApopDigest(const std::string& TimeStamp, const std::string& Password);

}  // namespace mail
