#pragma once
// The event-driven socket: it never blocks. Each socket owns a hidden message
// window; the platform posts socket events there and the socket turns them
// into its virtual handlers and On... events. Sending goes through a queue of
// blocks that drains as the platform accepts bytes; receiving is pulled by
// the OnDataAvailable handler.
#include <sys/time.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "net/evqlogger.h"
#include "net/wsockbuf.h"
#include "net/wsocket_bind.h"
#include "platform/win/messages.h"

namespace net {

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsSocksConnected,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
const char* SocketStateName(TSocketState s);

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketKeepAliveOnOff { wsKeepAliveOff, wsKeepAliveOnCustom, wsKeepAliveOnSystem };
enum TWSocketOption : unsigned { wsoNoReceiveLoop = 1, wsoTcpNoDelay = 2, wsoSIO_RCVALL = 4 };
using TWSocketOptions = unsigned;

// Messages of the socket window.
constexpr win::UINT WM_ASYNCSELECT = win::WM_USER + 1;
constexpr win::UINT WM_ASYNCGETHOSTBYNAME = win::WM_USER + 2;
constexpr win::UINT WM_ASYNCGETHOSTBYADDR = win::WM_USER + 3;
constexpr win::UINT WM_CLOSE_DELAYED = win::WM_USER + 4;
constexpr win::UINT WM_WSOCKET_RELEASE = win::WM_USER + 5;
constexpr win::UINT WM_TRIGGER_EXCEPTION = win::WM_USER + 6;
constexpr win::UINT WM_TRIGGER_DATA_AVAILABLE = win::WM_USER + 20;

using TChangeState = std::function<void(rtl::TObject* Sender, TSocketState OldState, TSocketState NewState)>;
// Session, data and look-up events carry a 16-bit socket error code (0 = success).
using TSessionEvent = std::function<void(rtl::TObject* Sender, uint16_t ErrCode)>;
using TSendData = std::function<void(rtl::TObject* Sender, int BytesSent)>;
using TBgExceptionEvent = std::function<void(rtl::TObject* Sender, const std::exception& E, bool& CanClose)>;
using TDebugDisplay = std::function<void(rtl::TObject* Sender, const std::string& Msg)>;

class TCustomWSocket : public rtl::TComponent {
public:
    explicit TCustomWSocket(rtl::TComponent* owner = nullptr);
    ~TCustomWSocket() override;
    const char* ClassName() const override { return "TCustomWSocket"; }

    // Connection.
    virtual void Connect();
    virtual void Close();
    virtual void CloseDelayed();
    virtual void Release();
    virtual void Abort();
    virtual void Flush();
    virtual void WaitForClose();
    virtual void Listen();
    virtual ws::SOCKET Accept();
    virtual void Dup(ws::SOCKET NewHSocket);
    virtual void Shutdown(int How);
    virtual void Pause();
    virtual void Resume();

    // Sending (queued) and receiving (pulled).
    virtual int Send(const void* Data, int Len);
    virtual int SendTo(const sockaddr_in& Dest, const void* Data, int Len);
    virtual int SendStr(const std::string& Str);
    int SendText(const std::string& Str) { return SendStr(Str); }
    virtual void PutDataInSendBuffer(const void* Data, int Len);
    void PutStringInSendBuffer(const std::string& Str);
    void DeleteBufferedData();
    virtual int Receive(void* Buffer, int BufferSize);
    virtual std::string ReceiveStr();
    virtual int ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen);
    virtual int PeekData(void* Buffer, int BufferSize);

    // Look-ups.
    virtual void DnsLookup(const std::string& HostName);
    virtual void ReverseDnsLookup(const std::string& HostAddr);
    virtual void ReverseDnsLookupSync(const std::string& HostAddr);
    virtual void CancelDnsLookup();

    virtual int GetPeerName(sockaddr_in& Name, int NameLen);
    virtual int GetSockName(sockaddr_in& Name, int& NameLen);

    // Pumps.
    virtual void MessagePump();
    void ProcessMessages();
    bool ProcessMessage();
    void MessageLoop();
    virtual void ThreadAttach();
    virtual void ThreadDetach();

    static bool TimerIsSet(const timeval& tvp);
    static void TimerClear(timeval& tvp);
    static bool TimerCmp(const timeval& tvp, const timeval& uvp, bool IsEqual);

    // Properties.
    const std::string& Addr() const { return FAddrStr; }
    void SetAddr(const std::string& v);
    const std::string& Port() const { return FPortStr; }
    void SetPort(const std::string& v) { SetRemotePort(v); }
    const std::string& Proto() const { return FProtoStr; }
    virtual void SetProto(const std::string& v);
    const std::string& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const std::string& v);
    const std::string& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const std::string& v);
    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    std::string PeerAddr() { return GetPeerAddr(); }
    std::string PeerPort() { return GetPeerPort(); }
    virtual std::string GetXAddr();
    virtual std::string GetXPort();
    const std::string& DnsResult() const { return FDnsResult; }
    const rtl::TStringList& DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    int64_t ReadCount() const { return FReadCount; }
    int RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return FLastError; }
    void SetLastError(int v) { FLastError = v; }
    ws::SOCKET HSocket() const { return FHSocket; }
    win::HWND Handle() const { return FWindowHandle; }
    int64_t QueuedByteCount() const { return FQueuedByteCount; }
    bool AllSent() const { return bAllSent; }
    int BufSize() const { return FBufSize; }
    void SetBufSize(int v) { FBufSize = v; }
    int SocketSndBufSize() const { return FSocketSndBufSize; }
    int SocketRcvBufSize() const { return FSocketRcvBufSize; }

    bool MultiThreaded = false;
    bool MultiCast = false;
    std::string MultiCastAddrStr;
    int MultiCastIpTTL = 1;
    bool ReuseAddr = false;
    TWSocketOptions ComponentOptions = 0;
    int ListenBacklog = 5;
    int FlushTimeout = 60;  // seconds
    TSocketLingerOnOff LingerOnOff = wsLingerOff;
    int LingerTimeout = 0;
    TSocketKeepAliveOnOff KeepAliveOnOff = wsKeepAliveOnSystem;
    int KeepAliveTime = 30000;
    int KeepAliveInterval = 1000;

    uint8_t ReqVerLow() const { return WSocketReqVerLow(); }
    uint8_t ReqVerHigh() const { return WSocketReqVerHigh(); }
    void SetReqVerLow(uint8_t v);
    void SetReqVerHigh(uint8_t v);
    TSocketSendFlags SendFlags() const;
    void SetSendFlags(TSocketSendFlags v);

    TEvqLogger* EvqLogger() const { return FEvqLogger; }
    virtual void SetEvqLogger(TEvqLogger* v);
    virtual bool CheckLogOptions(TLogOption LogOption) const;
    virtual void DebugLog(TLogOption LogOption, const std::string& Msg);

    // Events.
    TChangeState OnChangeState;
    TSessionEvent OnSessionConnected;
    TSessionEvent OnSessionClosed;
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TSendData OnSendData;
    TSessionEvent OnDnsLookupDone;
    rtl::TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;
    TDebugDisplay OnDebugDisplay;

protected:
    void Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) override;

    virtual void WndProc(win::TMessage& MsgRec);
    virtual void AllocateSocketHWnd();
    virtual void DeallocateSocketHWnd();
    virtual void TryToSend();
    virtual void AssignDefaultValue();
    virtual void InternalClose(bool bShut, uint16_t Error);
    virtual void InternalAbort(uint16_t ErrCode);
    virtual void SetRemotePort(const std::string& v);
    virtual int GetRcvdCount();
    virtual void BindSocket();
    virtual int RealSend(const void* Data, int Len);
    virtual void RaiseException(const std::string& Msg);
    virtual void HandleBackGroundException(const std::exception& E);
    virtual bool TriggerDataAvailable(uint16_t Error);
    virtual void TriggerSessionAvailable(uint16_t Error);
    virtual void TriggerSessionConnectedSpecial(uint16_t Error);
    virtual void TriggerSessionConnected(uint16_t Error);
    virtual void TriggerSessionClosed(uint16_t Error);
    virtual void TriggerDataSent(uint16_t Error);
    virtual void TriggerChangeState(TSocketState OldState, TSocketState NewState);
    virtual void TriggerDNSLookupDone(uint16_t Error);
    virtual void TriggerError();
    void TriggerDebugDisplay(const std::string& Msg);
    virtual int DoRecv(void* Buffer, int BufferSize, int Flags);
    virtual int DoRecvFrom(void* Buffer, int BufferSize, int Flags, sockaddr_in& From, int& FromLen);
    virtual void Do_FD_CONNECT(uint16_t ErrCode);
    virtual void Do_FD_READ(uint16_t ErrCode);
    virtual void Do_FD_WRITE(uint16_t ErrCode);
    virtual void Do_FD_ACCEPT(uint16_t ErrCode);
    virtual void Do_FD_CLOSE(uint16_t ErrCode);
    virtual void DupConnected();

    void ChangeState(TSocketState NewState);
    // Reports the last socket error for the operation Where.
    void SocketError(const std::string& Where);
    void SocketErrorCode(int Error, const std::string& Where);
    void ASyncReceive(uint16_t Error, TWSocketOptions MySocketOptions);
    void SetLingerOption();
    void SetKeepAliveOption();
    void SelectEvents(long Mask, const std::string& Where);
    bool ReadBufferSizes();

    ws::SOCKET FHSocket = ws::INVALID_SOCKET;
    win::HWND FWindowHandle = 0;
    std::thread::id FThreadId;
    // The address record of connect, bind and send-to: IPv4 (sin, which the
    // SOCKS layer fills) or IPv6 (sin6); the port lies at the same place in both.
    union {
        sockaddr_storage FSinAny{};
        sockaddr_in sin;
        sockaddr_in6 sin6;
    };
    int SinLen() const { return WSocketAddrLen(FSinAny); }
    std::string FAddrStr, FPortStr, FProtoStr, FLocalAddr, FLocalPortStr;
    bool FAddrAssigned = false, FPortAssigned = false, FProtoAssigned = false;
    bool FAddrResolved = false, FPortResolved = false, FProtoResolved = false, FLocalPortResolved = false;
    uint16_t FPortNum = 0;
    uint16_t FLocalPortNum = 0;
    int FProto = IPPROTO_TCP;
    int FType = SOCK_STREAM;
    TSocketState FState = wsClosed;
    long FSelectEvent = 0;
    bool FPaused = false;
    bool FCloseInvoked = false;
    bool FDetached = false;
    int FLastError = 0;
    int64_t FReadCount = 0;
    int64_t FRecvCalls = 0;  // platform reads so far: tells a pass that read nothing
    int FSocketSndBufSize = 0, FSocketRcvBufSize = 0;
    int FSendFlags = 0;
    std::string FDnsResult;
    rtl::TStringList FDnsResultList;
    ws::HANDLE FDnsLookupHandle = 0;
    ws::THostEntry FDnsLookupBuffer;
    bool FDnsEarlyReply = false;  // a reply that came before its handle was known
    win::LPARAM FDnsEarlyLParam = 0;
    win::UINT FDnsEarlyMsg = 0;
    TEvqLogger* FEvqLogger = nullptr;

    // Send queue.
    std::deque<std::unique_ptr<TBuffer>> FBufList;
    int FBufSize = 1460;
    int64_t FQueuedByteCount = 0;
    bool bAllSent = true;

private:
    void WMASyncSelect(win::TMessage& msg);
    void WMAsyncGetHostByName(win::TMessage& msg);
    void WMAsyncGetHostByAddr(win::TMessage& msg);
    void handleLookupReply(win::UINT msg, win::LPARAM lparam);
    void startLookup(bool reverse, const std::string& what);
    void resolveForConnect();
    void resolveAddr();
    bool localName(sockaddr_storage& a);
    bool peerName(sockaddr_storage& a, const char* Where);
    std::string addrText() const;
};

}  // namespace net
