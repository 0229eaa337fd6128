#include "net/wsocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/rtl/sysutils.h"
#include "platform/win/pump.h"

namespace net {

using rtl::IntToStr;

namespace {

// One lock for every socket's send queue.
std::recursive_mutex& sendLock() {
    static std::recursive_mutex m;
    return m;
}

constexpr int kMaxDnsResults = 256;
constexpr int kDiscardSize = 1024;
constexpr int kReceiveStrDefault = 255;

std::string dotted(uint32_t addrNetOrder) {
    in_addr a{};
    a.s_addr = addrNetOrder;
    return WSocket_inet_ntoa(a);
}

std::string eventNames(int ev) {
    std::string r;
    if (ev & ws::FD_CONNECT) r += " FD_CONNECT";
    if (ev & ws::FD_READ) r += " FD_READ";
    if (ev & ws::FD_WRITE) r += " FD_WRITE";
    if (ev & ws::FD_CLOSE) r += " FD_CLOSE";
    if (ev & ws::FD_ACCEPT) r += " FD_ACCEPT";
    return r;
}

}  // namespace

const char* SocketStateName(TSocketState s) {
    static const char* const names[] = {"wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting", "wsSocksConnected",
                                        "wsConnected",    "wsAccepting", "wsListening", "wsClosed"};
    return (s >= wsInvalidState && s <= wsClosed) ? names[s] : "?";
}

TCustomWSocket::TCustomWSocket(rtl::TComponent* owner) : rtl::TComponent(owner) {
    AllocateSocketHWnd();
    FThreadId = std::this_thread::get_id();
    AssignDefaultValue();
    WSocketGCountAdd(1);
}

TCustomWSocket::~TCustomWSocket() {
    BeginDestroy();
    try {
        CancelDnsLookup();
    } catch (...) {
        // A look-up that cannot be cancelled any more answers into nothing.
    }
    try {
        if (FState != wsClosed) Close();
    } catch (...) {
        // Nobody is left to tell.
    }
    WSocketGCountAdd(-1);
    if (SafeWSocketGCount() < 1) WSocketUnloadWinsock();
    DeleteBufferedData();
    DeallocateSocketHWnd();
}

std::string TCustomWSocket::addrText() const {
    return rtl::IntToHex(reinterpret_cast<uintptr_t>(this), 8);
}

// ---------------------------------------------------------------- window

void TCustomWSocket::AllocateSocketHWnd() {
    FWindowHandle = win::AllocateHWnd([this](win::TMessage& m) { WndProc(m); });
    if (!FWindowHandle) throw ESocketException("Cannot create a hidden window for TWSocket");
}

void TCustomWSocket::DeallocateSocketHWnd() {
    if (FWindowHandle) win::DeallocateHWnd(FWindowHandle);
    FWindowHandle = 0;
}

void TCustomWSocket::WndProc(win::TMessage& MsgRec) {
    try {
        switch (MsgRec.Msg) {
            case WM_ASYNCSELECT: WMASyncSelect(MsgRec); break;
            case WM_ASYNCGETHOSTBYNAME: WMAsyncGetHostByName(MsgRec); break;
            case WM_ASYNCGETHOSTBYADDR: WMAsyncGetHostByAddr(MsgRec); break;
            case WM_CLOSE_DELAYED: Close(); break;
            case WM_WSOCKET_RELEASE: delete this; return;
            case WM_TRIGGER_EXCEPTION: throw ESocketException("Test exception in WSocket");
            default: break;
        }
    } catch (const std::exception& E) {
        HandleBackGroundException(E);
    }
}

void TCustomWSocket::HandleBackGroundException(const std::exception& E) {
    bool CanAbort = true;
    if (OnBgException) {
        try {
            OnBgException(this, E, CanAbort);
        } catch (...) {
            // A handler that fails while handling a failure has said all it can.
        }
    }
    if (CanAbort) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

void TCustomWSocket::WMASyncSelect(win::TMessage& msg) {
    // Events of another socket (an earlier one on this component) and events
    // that arrive while paused are dropped.
    if (static_cast<ws::SOCKET>(msg.WParam) != FHSocket || FPaused) return;
    const int ev = ws::WSAGETSELECTEVENT(msg.LParam);
    const auto err = static_cast<uint16_t>(ws::WSAGETSELECTERROR(msg.LParam));
    if (CheckLogOptions(loWsockDump))
        DebugLog(loWsockDump, "AsyncSelect CtrlSocket" + IntToStr(FHSocket) + ", " + IntToStr(ev) + eventNames(ev));
    // Each handler may close the socket; later bits then no longer apply.
    const ws::SOCKET s = FHSocket;
    if (ev & ws::FD_CONNECT) Do_FD_CONNECT(err);
    if ((ev & ws::FD_READ) && FHSocket == s) Do_FD_READ(err);
    if ((ev & ws::FD_WRITE) && FHSocket == s) Do_FD_WRITE(err);
    if ((ev & ws::FD_ACCEPT) && FHSocket == s) Do_FD_ACCEPT(err);
    if ((ev & ws::FD_CLOSE) && FHSocket == s) Do_FD_CLOSE(err);
}

void TCustomWSocket::Do_FD_CONNECT(uint16_t ErrCode) {
    if (FState == wsConnected) return;
    ChangeState(wsConnected);
    TriggerSessionConnectedSpecial(ErrCode);
    if (ErrCode != 0 && FState != wsClosed) Close();
}

void TCustomWSocket::Do_FD_READ(uint16_t ErrCode) {
    if (FState != wsConnected) {
        ChangeState(wsConnected);
        TriggerSessionConnectedSpecial(ErrCode);
    }
    ASyncReceive(ErrCode, ComponentOptions);
}

void TCustomWSocket::Do_FD_WRITE(uint16_t ErrCode) {
    TryToSend();
    if (bAllSent) TriggerDataSent(ErrCode);
}

void TCustomWSocket::Do_FD_ACCEPT(uint16_t ErrCode) { TriggerSessionAvailable(ErrCode); }

void TCustomWSocket::Do_FD_CLOSE(uint16_t ErrCode) {
    if (FState == wsConnecting || FHSocket == ws::INVALID_SOCKET) return;
    // Whatever is still waiting is delivered before the close.
    ASyncReceive(ErrCode, 0);
    if (!FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(ErrCode);
    }
    if (FState != wsClosed) Close();
}

void TCustomWSocket::ASyncReceive(uint16_t Error, TWSocketOptions MySocketOptions) {
    while (FHSocket != ws::INVALID_SOCKET) {
        FLastError = 0;
        const int64_t recvBefore = FRecvCalls;
        if (!TriggerDataAvailable(Error)) {
            // Nobody reads: take the bytes off the wire and drop them.
            char junk[kDiscardSize];
            Receive(junk, sizeof junk);
            if (FLastError == ws::WSAEWOULDBLOCK) {
                FLastError = 0;
                break;
            }
        }
        if (MySocketOptions & wsoNoReceiveLoop) break;
        if (FLastError != 0) {
            if (FLastError == -1) FLastError = 0;
            break;
        }
        // A handler that read nothing will not read on a second call either;
        // its bytes wait for the next read event instead of spinning here.
        if (FRecvCalls == recvBefore || FHSocket == ws::INVALID_SOCKET) break;
        ws::u_long count = 0;
        if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD_, &count) == ws::SOCKET_ERROR) {
            FLastError = WSocket_WSAGetLastError();
            break;
        }
        if (count == 0) break;
    }
}

// ---------------------------------------------------------------- triggers

bool TCustomWSocket::TriggerDataAvailable(uint16_t Error) {
    if (!OnDataAvailable) return false;
    OnDataAvailable(this, Error);
    return true;
}

void TCustomWSocket::TriggerSessionAvailable(uint16_t Error) {
    if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomWSocket::TriggerSessionConnectedSpecial(uint16_t Error) { TriggerSessionConnected(Error); }

void TCustomWSocket::TriggerSessionConnected(uint16_t Error) {
    if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomWSocket::TriggerSessionClosed(uint16_t Error) {
    if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomWSocket::TriggerDataSent(uint16_t Error) {
    if (CheckLogOptions(loWsockDump)) DebugLog(loWsockDump, addrText() + " TriggerDataSent " + IntToStr(FHSocket));
    if (OnDataSent) OnDataSent(this, Error);
}

void TCustomWSocket::TriggerChangeState(TSocketState OldState, TSocketState NewState) {
    if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::TriggerDNSLookupDone(uint16_t Error) {
    if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomWSocket::TriggerError() {
    if (OnError) OnError(this);
}

void TCustomWSocket::TriggerDebugDisplay(const std::string& Msg) {
    if (OnDebugDisplay) OnDebugDisplay(this, Msg);
}

void TCustomWSocket::ChangeState(TSocketState NewState) {
    const TSocketState old = FState;
    FState = NewState;
    if (old != NewState) TriggerChangeState(old, NewState);
}

// ---------------------------------------------------------------- errors

void TCustomWSocket::RaiseException(const std::string& Msg) {
    if (OnError) {
        TriggerError();
        return;
    }
    throw ESocketException(Msg);
}

void TCustomWSocket::SocketError(const std::string& Where) { SocketErrorCode(WSocket_WSAGetLastError(), Where); }

void TCustomWSocket::SocketErrorCode(int Error, const std::string& Where) {
    const std::string line = WSocketErrorDesc(Error) + " (#" + IntToStr(Error) + " in " + Where + ")";
    if (Error == ws::WSAECONNRESET || Error == ws::WSAENOTCONN) {
        if (FHSocket != ws::INVALID_SOCKET) {
            WSocket_closesocket(FHSocket);
            FHSocket = ws::INVALID_SOCKET;
        }
        if (FState != wsClosed && !FCloseInvoked) {
            FCloseInvoked = true;
            TriggerSessionClosed(static_cast<uint16_t>(Error));
        }
        ChangeState(wsClosed);
    }
    FLastError = Error;
    RaiseException(line);
}

// ---------------------------------------------------------------- logging

void TCustomWSocket::SetEvqLogger(TEvqLogger* v) {
    if (FEvqLogger == v) return;
    if (FEvqLogger) RemoveFreeNotification(FEvqLogger);
    FEvqLogger = v;
    if (v) FreeNotification(v);
}

void TCustomWSocket::Notification(rtl::TComponent* AComponent, rtl::TOperation Operation) {
    if (Operation == rtl::opRemove && AComponent == FEvqLogger) FEvqLogger = nullptr;
}

bool TCustomWSocket::CheckLogOptions(TLogOption LogOption) const {
    return FEvqLogger && (FEvqLogger->LogOptions() & LogOption);
}

void TCustomWSocket::DebugLog(TLogOption LogOption, const std::string& Msg) {
    if (FEvqLogger) FEvqLogger->DoDebugLog(this, LogOption, Msg);
}

// ---------------------------------------------------------------- properties

void TCustomWSocket::SetAddr(const std::string& v) {
    if (FAddrAssigned && v == FAddrStr) return;
    if (FState != wsClosed) {
        RaiseException("Cannot change Addr if not closed");
        return;
    }
    FAddrStr = rtl::Trim(v);
    FAddrResolved = false;
    FAddrAssigned = !FAddrStr.empty();
}

void TCustomWSocket::SetRemotePort(const std::string& v) {
    if (FPortAssigned && v == FPortStr) return;
    if (FState != wsClosed) {
        RaiseException("Cannot change Port if not closed");
        return;
    }
    FPortStr = rtl::Trim(v);
    FPortResolved = false;
    FPortAssigned = !FPortStr.empty();
}

void TCustomWSocket::SetProto(const std::string& v) {
    if (FProtoAssigned && v == FProtoStr) return;
    if (FState != wsClosed) {
        RaiseException("Cannot change Proto if not closed");
        return;
    }
    FProtoStr = rtl::Trim(v);
    FProtoResolved = false;
    FProtoAssigned = !FProtoStr.empty();
}

void TCustomWSocket::SetLocalPort(const std::string& v) {
    if (FState != wsClosed) {
        RaiseException("Cannot change LocalPort if not closed");
        return;
    }
    FLocalPortStr = v;
    FLocalPortResolved = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& v) {
    if (FState != wsClosed) {
        RaiseException("Cannot change LocalAddr if not closed");
        return;
    }
    FLocalAddr = v.empty() ? "0.0.0.0" : v;
}

void TCustomWSocket::SetReqVerLow(uint8_t v) {
    if (v == ReqVerLow()) return;
    if (WSocketIsLoaded()) {
        SocketErrorCode(ws::WSAEINVAL, "SetReqVerLow: WinSock version can't be changed now");
        return;
    }
    WSocketSetReqVer(v, ReqVerHigh());
}

void TCustomWSocket::SetReqVerHigh(uint8_t v) {
    if (v == ReqVerHigh()) return;
    if (WSocketIsLoaded()) {
        SocketErrorCode(ws::WSAEINVAL, "SetReqVerHigh: WinSock version can't be changed now");
        return;
    }
    WSocketSetReqVer(ReqVerLow(), v);
}

TSocketSendFlags TCustomWSocket::SendFlags() const {
    if (FSendFlags == 0) return wsSendNormal;
    if (FSendFlags == MSG_OOB) return wsSendUrgent;
    throw ESocketException("Invalid internal SendFlags");
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags v) {
    switch (v) {
        case wsSendNormal: FSendFlags = 0; break;
        case wsSendUrgent: FSendFlags = MSG_OOB; break;
        default: RaiseException("Invalid SendFlags");
    }
}

bool TCustomWSocket::localName(sockaddr_storage& a) {
    if (FState != wsBound && FState != wsConnected && FState != wsListening) return false;
    int len = sizeof a;
    return WSocket_getsockname(FHSocket, reinterpret_cast<sockaddr*>(&a), &len) == 0;
}

bool TCustomWSocket::peerName(sockaddr_storage& a, const char* Where) {
    if (FState != wsConnected) return false;
    int len = sizeof a;
    if (WSocket_getpeername(FHSocket, reinterpret_cast<sockaddr*>(&a), &len) == 0) return true;
    SocketError(Where);
    return false;
}

std::string TCustomWSocket::GetXAddr() {
    sockaddr_storage a{};
    return localName(a) ? WSocketAddrText(a) : "error";
}

std::string TCustomWSocket::GetXPort() {
    sockaddr_storage a{};
    return localName(a) ? IntToStr(WSocketAddrPort(a)) : "error";
}

std::string TCustomWSocket::GetPeerAddr() {
    sockaddr_storage a{};
    return peerName(a, "GetPeerAddr") ? WSocketAddrText(a) : "error";
}

std::string TCustomWSocket::GetPeerPort() {
    sockaddr_storage a{};
    return peerName(a, "GetPeerPort") ? IntToStr(WSocketAddrPort(a)) : "error";
}

int TCustomWSocket::GetPeerName(sockaddr_in& Name, int NameLen) {
    if (FState != wsConnected) return -1;
    return WSocket_getpeername(FHSocket, reinterpret_cast<sockaddr*>(&Name), &NameLen);
}

int TCustomWSocket::GetSockName(sockaddr_in& Name, int& NameLen) {
    return WSocket_getsockname(FHSocket, reinterpret_cast<sockaddr*>(&Name), &NameLen);
}

// ---------------------------------------------------------------- defaults

void TCustomWSocket::AssignDefaultValue() {
    std::memset(&FSinAny, 0, sizeof FSinAny);
    sin.sin_family = AF_INET;
    FAddrAssigned = FPortAssigned = false;
    FAddrResolved = FPortResolved = false;
    FAddrStr.clear();
    FPortStr.clear();
    FProtoAssigned = true;
    FProtoStr = "tcp";
    FProto = IPPROTO_TCP;
    FType = SOCK_STREAM;
    FProtoResolved = false;
    FLocalPortResolved = false;
    FLocalPortStr = "0";
    FLocalPortNum = 0;
    FLocalAddr = "0.0.0.0";
    // A graceful close: the kernel still delivers what was handed to it.
    LingerOnOff = wsLingerOff;
    LingerTimeout = 0;
    FHSocket = ws::INVALID_SOCKET;
    FSelectEvent = 0;
    FState = wsClosed;
    bAllSent = true;
    FPaused = false;
    FReadCount = 0;
    FCloseInvoked = false;
    FlushTimeout = 60;
}

// ---------------------------------------------------------------- options

void TCustomWSocket::SetLingerOption() {
    if (LingerOnOff == wsLingerNoSet) return;
    if (FHSocket == ws::INVALID_SOCKET) {
        RaiseException("Cannot set linger option at this time");
        return;
    }
    linger l{};
    l.l_onoff = LingerOnOff == wsLingerOn ? 1 : 0;
    l.l_linger = LingerTimeout;
    if (WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) SocketError("setsockopt(SO_LINGER)");
}

void TCustomWSocket::SetKeepAliveOption() {
    if (KeepAliveOnOff == wsKeepAliveOff) return;
    if (KeepAliveOnOff == wsKeepAliveOnSystem) {
        const int on = 1;
        if (WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
            SocketError("setsockopt(SO_KEEPALIVE)");
        return;
    }
    ws::tcp_keepalive ka{1, static_cast<ws::u_long>(KeepAliveTime), static_cast<ws::u_long>(KeepAliveInterval)};
    uint32_t returned = 0;
    if (WSocket_WSAIoctl(FHSocket, ws::SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr, nullptr) !=
        0)
        SocketError("WSocket_WSAIoctl(SIO_KEEPALIVE_VALS)");
}

void TCustomWSocket::SelectEvents(long Mask, const std::string& Where) {
    FSelectEvent = Mask;
    if (WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, Mask) != 0) SocketError(Where);
}

bool TCustomWSocket::ReadBufferSizes() {
    int len = sizeof FSocketSndBufSize;
    if (WSocket_getsockopt(FHSocket, SOL_SOCKET, SO_SNDBUF, &FSocketSndBufSize, &len) != 0) {
        SocketError("getsockopt(SO_SNDBUF)");
        return false;
    }
    len = sizeof FSocketRcvBufSize;
    if (WSocket_getsockopt(FHSocket, SOL_SOCKET, SO_RCVBUF, &FSocketRcvBufSize, &len) != 0) {
        SocketError("getsockopt(SO_RCVBUF)");
        return false;
    }
    return true;
}

void TCustomWSocket::BindSocket() {
    // The local address is of the remote one's family; "any" fits both.
    sockaddr_storage local{};
    if (WSocketIsAnyAddr(FLocalAddr)) local.ss_family = FSinAny.ss_family;
    else WSocketResolveHostAddr(FLocalAddr, local);
    // The port lies at the same place in both families.
    reinterpret_cast<sockaddr_in&>(local).sin_port = WSocket_htons(FLocalPortNum);
    if (WSocket_bind(FHSocket, reinterpret_cast<sockaddr*>(&local), WSocketAddrLen(local)) != 0)
        throw ESocketException("Bind socket failed - " + GetWinsockErr(WSocket_WSAGetLastError()));
    int len = sizeof local;
    if (WSocket_getsockname(FHSocket, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        throw ESocketException("Winsock get socket name failed - " + GetWinsockErr(WSocket_WSAGetLastError()));
    FLocalPortNum = WSocketAddrPort(local);
    FLocalPortStr = IntToStr(FLocalPortNum);
}

void TCustomWSocket::resolveAddr() {
    sockaddr_storage a{};
    WSocketResolveHostAddr(FAddrStr, a);
    const uint16_t port = sin.sin_port;
    FSinAny = a;
    sin.sin_port = port;
    FAddrResolved = true;
}

// ---------------------------------------------------------------- connect

void TCustomWSocket::resolveForConnect() {
    if (!FProtoResolved) {
        FProto = WSocketResolveProto(FProtoStr);
        FType = FProto == IPPROTO_TCP ? SOCK_STREAM : FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
        FProtoResolved = true;
    }
    if (!FPortResolved) {
        sin.sin_port = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
        FPortNum = WSocket_ntohs(sin.sin_port);
        FPortResolved = true;
    }
    if (!FLocalPortResolved) {
        FLocalPortNum = WSocketResolvePort(FLocalPortStr, FProtoStr);
        FLocalPortResolved = true;
    }
    if (!FAddrResolved) resolveAddr();
}

void TCustomWSocket::Connect() {
    if (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) {
        RaiseException("Connect: Socket already in use");
        return;
    }
    if (!FPortAssigned) {
        RaiseException("Connect: No Port Specified");
        return;
    }
    if (!FAddrAssigned) {
        RaiseException("Connect: No IP Address Specified");
        return;
    }
    if (!FProtoAssigned) {
        RaiseException("Connect: No Protocol Specified");
        return;
    }
    try {
        resolveForConnect();
    } catch (const std::exception& E) {
        RaiseException(std::string("connect: ") + E.what());
        return;
    }

    DeleteBufferedData();
    FHSocket = WSocket_socket(FSinAny.ss_family, FType, FProto);
    if (FHSocket == ws::INVALID_SOCKET) {
        SocketError("Connect (socket)");
        return;
    }
    if (!ReadBufferSizes()) return;

    ChangeState(wsOpened);
    if (FState != wsOpened) {
        SocketErrorCode(ws::WSAEINVAL, "Connect (Invalid operation in OnChangeState)");
        return;
    }

    if (FType == SOCK_DGRAM) {
        BindSocket();
        if (MultiCast) {
            if (MultiCastIpTTL != 1) {
                const unsigned char ttl = static_cast<unsigned char>(MultiCastIpTTL);
                if (WSocket_setsockopt(FHSocket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
                    SocketError("setsockopt(IP_MULTICAST_TTL)");
                    return;
                }
            }
            if (FLocalAddr != "0.0.0.0") {
                in_addr ifaddr{};
                ifaddr.s_addr = WSocketResolveHost(FLocalAddr);
                if (WSocket_setsockopt(FHSocket, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, sizeof ifaddr) != 0) {
                    SocketError("setsockopt(IP_MULTICAST_IF)");
                    return;
                }
            }
        }
        if (sin.sin_family == AF_INET && sin.sin_addr.s_addr == INADDR_BROADCAST) {
            const int on = 1;
            if (WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
                SocketError("setsockopt(SO_BROADCAST)");
                return;
            }
        }
    } else {
        const int on = 1;
        if (WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
            SocketError("setsockopt(SO_REUSEADDR)");
            return;
        }
        if (ComponentOptions & wsoTcpNoDelay) {
            if (WSocket_setsockopt(FHSocket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
                SocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
                return;
            }
        }
        SetLingerOption();
        SetKeepAliveOption();
        if (FLocalPortNum != 0 || !WSocketIsAnyAddr(FLocalAddr)) BindSocket();
    }

    SelectEvents(ws::FD_READ | ws::FD_WRITE | ws::FD_ACCEPT | ws::FD_CONNECT | ws::FD_CLOSE, "WSAAsyncSelect");
    if (FHSocket == ws::INVALID_SOCKET) return;

    if (FType == SOCK_DGRAM) {
        ChangeState(wsConnected);
        TriggerSessionConnectedSpecial(0);
        return;
    }
    if (CheckLogOptions(loWsockInfo))
        DebugLog(loWsockInfo, "TWSocket will connect to " + WSocketAddrText(FSinAny) + ":" + IntToStr(FPortNum));
    if (WSocket_connect(FHSocket, reinterpret_cast<sockaddr*>(&FSinAny), SinLen()) == 0 ||
        WSocket_WSAGetLastError() == ws::WSAEWOULDBLOCK) {
        ChangeState(wsConnecting);
        return;
    }
    FLastError = WSocket_WSAGetLastError();
    SocketErrorCode(FLastError, "Connect");
}

// ---------------------------------------------------------------- listen, accept

void TCustomWSocket::Listen() {
    if (!FPortAssigned) {
        SocketErrorCode(ws::WSAEINVAL, "listen: port not assigned");
        return;
    }
    if (!FProtoAssigned) {
        SocketErrorCode(ws::WSAEINVAL, "listen: protocol not assigned");
        return;
    }
    if (!FAddrAssigned) {
        SocketErrorCode(ws::WSAEINVAL, "listen: address not assigned");
        return;
    }
    try {
        if (!FProtoResolved) {
            if (rtl::SameText(rtl::Copy(FProtoStr, 1, 4), "raw_")) {
                FType = SOCK_RAW;
                FProto = rtl::StrToIntDef(rtl::Copy(FProtoStr, 5, 10), 0);
            } else {
                FProto = WSocketResolveProto(FProtoStr);
                FType = FProto == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
            }
            FProtoResolved = true;
        }
        if (!FPortResolved) {
            sin.sin_port = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
            FPortNum = WSocket_ntohs(sin.sin_port);
            FPortResolved = true;
        }
        if (!FAddrResolved) resolveAddr();
    } catch (const std::exception& E) {
        RaiseException(std::string("Listen: ") + E.what());
        return;
    }

    DeleteBufferedData();
    FHSocket = WSocket_socket(FSinAny.ss_family, FType, FProto);
    if (FHSocket == ws::INVALID_SOCKET) {
        SocketError("socket");
        return;
    }
    auto failAndClose = [this](const std::string& where) {
        const int err = WSocket_WSAGetLastError();
        WSocket_closesocket(FHSocket);
        FHSocket = ws::INVALID_SOCKET;
        SocketErrorCode(err, where);
    };
    const int on = 1;
    if (FType == SOCK_DGRAM && ReuseAddr) {
        if (WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
            return failAndClose("setsockopt(SO_REUSEADDR)");
    } else if (FType == SOCK_STREAM) {
        // Lets a restarted listener take its port back from connections in TIME_WAIT.
        WSocket_setsockopt(FHSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (WSocket_bind(FHSocket, reinterpret_cast<sockaddr*>(&FSinAny), SinLen()) != 0) return failAndClose("Bind");
    ChangeState(wsBound);

    if (FType == SOCK_STREAM) {
        if (WSocket_listen(FHSocket, ListenBacklog) != 0) {
            SocketError("Listen");
            return;
        }
        ChangeState(wsListening);
    } else if (FType == SOCK_DGRAM || FType == SOCK_RAW) {
        if (FType == SOCK_DGRAM && MultiCast) {
            ip_mreq mreq{};
            mreq.imr_multiaddr.s_addr = WSocket_inet_addr(MultiCastAddrStr.c_str());
            mreq.imr_interface.s_addr = sin.sin_addr.s_addr;
            if (WSocket_setsockopt(FHSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) != 0) {
                SocketError("setsockopt(IP_ADD_MEMBERSHIP)");
                return;
            }
        }
        if (FType == SOCK_RAW && (ComponentOptions & wsoSIO_RCVALL)) {
            uint32_t optval = 1, returned = 0;
            if (WSocket_WSAIoctl(FHSocket, ws::SIO_RCVALL, &optval, sizeof optval, nullptr, 0, &returned, nullptr,
                                 nullptr) != 0)
                return failAndClose("WSAIoctl(SIO_RCVALL)");
        }
        ChangeState(wsListening);
        ChangeState(wsConnected);
        TriggerSessionConnectedSpecial(0);
    } else {
        SocketErrorCode(ws::WSAEINVAL, "Listen: unexpected protocol.");
        return;
    }

    long mask = ws::FD_ACCEPT | ws::FD_CLOSE;
    if (FType != SOCK_STREAM) mask |= ws::FD_READ | ws::FD_WRITE;
    SelectEvents(mask, "WSAASyncSelect");
}

ws::SOCKET TCustomWSocket::Accept() {
    if (FState != wsListening) {
        SocketErrorCode(ws::WSAEINVAL, "not a listening socket");
        return ws::INVALID_SOCKET;
    }
    int len = sizeof FSinAny;
    const ws::SOCKET s = WSocket_accept(FHSocket, reinterpret_cast<sockaddr*>(&FSinAny), &len);
    if (s == ws::INVALID_SOCKET) {
        SocketError("Accept");
        return ws::INVALID_SOCKET;
    }
    return s;
}

void TCustomWSocket::Dup(ws::SOCKET NewHSocket) {
    if (NewHSocket == 0 || NewHSocket == ws::INVALID_SOCKET) {
        SocketErrorCode(ws::WSAEINVAL, "Dup");
        return;
    }
    if (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) {
        if (WSocket_closesocket(FHSocket) != 0) {
            SocketError("Dup (closesocket)");
            return;
        }
        ChangeState(wsClosed);
    }
    FHSocket = NewHSocket;
    if (!ReadBufferSizes()) return;
    SetLingerOption();
    SelectEvents(ws::FD_READ | ws::FD_WRITE | ws::FD_CLOSE, "WSAAsyncSelect");
    if (FHSocket == ws::INVALID_SOCKET) return;
    DupConnected();
}

void TCustomWSocket::DupConnected() { ChangeState(wsConnected); }

// ---------------------------------------------------------------- close

void TCustomWSocket::InternalClose(bool bShut, uint16_t Error) {
    if (FHSocket == ws::INVALID_SOCKET) {
        if (FState != wsClosed) {
            ChangeState(wsClosed);
            AssignDefaultValue();
        }
        return;
    }
    if (FState == wsClosed) return;

    // Bytes the caller handed to Send leave before the connection goes.
    if (bShut && !bAllSent && FState == wsConnected && !Destroying()) {
        Flush();
        if (FHSocket == ws::INVALID_SOCKET || FState == wsClosed) return;
    }
    if (bShut) Shutdown(SHUT_WR);

    if (FHSocket != ws::INVALID_SOCKET) {
        while (WSocket_closesocket(FHSocket) != 0) {
            FLastError = WSocket_WSAGetLastError();
            if (FLastError != ws::WSAEWOULDBLOCK) {
                FHSocket = ws::INVALID_SOCKET;
                if (FLastError != ws::WSANOTINITIALISED) SocketError("Disconnect (closesocket)");
                return;
            }
            MessagePump();
        }
        FHSocket = ws::INVALID_SOCKET;
    }
    ChangeState(wsClosed);
    if (!Destroying() && !FCloseInvoked) {
        FCloseInvoked = true;
        TriggerSessionClosed(Error);
    }
    try {
        AssignDefaultValue();
    } catch (...) {
    }
}

void TCustomWSocket::Close() { InternalClose(true, 0); }

void TCustomWSocket::InternalAbort(uint16_t ErrCode) {
    CancelDnsLookup();
    DeleteBufferedData();
    if (FHSocket != ws::INVALID_SOCKET && FState == wsConnected && FProto == IPPROTO_TCP) {
        LingerOnOff = wsLingerOff;
        SetLingerOption();
    }
    InternalClose(false, ErrCode);
}

void TCustomWSocket::Abort() { InternalAbort(0); }

void TCustomWSocket::CloseDelayed() { win::PostMessage(FWindowHandle, WM_CLOSE_DELAYED, 0, 0); }

void TCustomWSocket::Release() { win::PostMessage(FWindowHandle, WM_WSOCKET_RELEASE, 0, 0); }

void TCustomWSocket::Shutdown(int How) {
    if (CheckLogOptions(loWsockInfo))
        DebugLog(loWsockInfo, IntToStr(FHSocket) + " " + IntToStr(How) + " TCustomWSocket.Shutdown " + addrText());
    if (FHSocket != ws::INVALID_SOCKET) WSocket_shutdown(FHSocket, How);
}

void TCustomWSocket::Pause() {
    FPaused = true;
    if (FHSocket != ws::INVALID_SOCKET) WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
}

void TCustomWSocket::Resume() {
    FPaused = false;
    if (FHSocket != ws::INVALID_SOCKET) WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent);
}

void TCustomWSocket::Flush() {
    const uint32_t start = win::GetTickCount();
    const int64_t limit = static_cast<int64_t>(FlushTimeout) * 1000;
    while (FHSocket != ws::INVALID_SOCKET) {
        TryToSend();
        if (bAllSent || FHSocket == ws::INVALID_SOCKET) break;
        const int64_t left = limit - win::TicksSince(start);
        if (left <= 0) break;
        // The platform tells when there is room again; sleep until then.
        win::WaitForEvent(left);
    }
}

void TCustomWSocket::WaitForClose() {
    while (FHSocket != ws::INVALID_SOCKET && FState != wsClosed) {
        if (GetRcvdCount() > 0) TriggerDataAvailable(0);
        char probe;
        if (FHSocket != ws::INVALID_SOCKET && DoRecv(&probe, 0, 0) < 0 && FLastError != ws::WSAEWOULDBLOCK) break;
        if (FHSocket == ws::INVALID_SOCKET || FState == wsClosed) break;
        win::WaitForEvent(1000);
    }
}

// ---------------------------------------------------------------- look-ups

void TCustomWSocket::startLookup(bool reverse, const std::string& what) {
    FDnsLookupHandle = 0;
    FDnsEarlyReply = false;
    const ws::HANDLE h =
        reverse ? WSocket_WSAAsyncGetHostByAddr(FWindowHandle, WM_ASYNCGETHOSTBYADDR, WSocket_inet_addr(what.c_str()),
                                                &FDnsLookupBuffer)
                : WSocket_WSAAsyncGetHostByName(FWindowHandle, WM_ASYNCGETHOSTBYNAME, what.c_str(), &FDnsLookupBuffer);
    if (h == 0) {
        RaiseException(what + (reverse ? ": can't start reverse DNS lookup - " : ": can't start DNS lookup - ") +
                       GetWinsockErr(WSocket_WSAGetLastError()));
        return;
    }
    FDnsLookupHandle = h;
    if (FDnsEarlyReply) handleLookupReply(FDnsEarlyMsg, FDnsEarlyLParam);
}

void TCustomWSocket::DnsLookup(const std::string& HostName) {
    if (HostName.empty()) {
        RaiseException("DNS lookup: invalid host name.");
        TriggerDNSLookupDone(ws::WSAEINVAL);
        return;
    }
    if (FDnsLookupHandle) CancelDnsLookup();
    FDnsResult.clear();
    FDnsResultList.Clear();
    const std::string name = rtl::Trim(HostName);
    std::string literal;
    sockaddr_storage six{};
    if (WSocketIsDottedIP(name)) {
        const uint32_t a = WSocket_inet_addr(name.c_str());
        if (a != INADDR_NONE || name == "255.255.255.255") literal = dotted(a);
    } else if (WSocketParseIPv6(name, reinterpret_cast<sockaddr_in6&>(six))) {
        literal = WSocketAddrText(six);
    }
    if (!literal.empty()) {
        FDnsResult = literal;
        FDnsResultList.Add(FDnsResult);
        TriggerDNSLookupDone(0);
        return;
    }
    if (!FWindowHandle) throw ESocketException("DNS Lookup: Window not assigned");
    startLookup(false, HostName);
}

void TCustomWSocket::ReverseDnsLookup(const std::string& HostAddr) {
    if (HostAddr.empty() || HostAddr.size() > 256) {
        RaiseException("Reverse DNS Lookup: Invalid host name.");
        TriggerDNSLookupDone(ws::WSAEINVAL);
        return;
    }
    if (FDnsLookupHandle) CancelDnsLookup();
    FDnsResult.clear();
    FDnsResultList.Clear();
    if (!FWindowHandle) throw ESocketException("Reverse DNS Lookup: Window not assigned");
    startLookup(true, HostAddr);
}

void TCustomWSocket::ReverseDnsLookupSync(const std::string& HostAddr) {
    if (HostAddr.empty() || HostAddr.size() > 256) {
        RaiseException("Reverse DNS Lookup: Invalid host name.");
        TriggerDNSLookupDone(ws::WSAEINVAL);
        return;
    }
    FDnsResult.clear();
    FDnsResultList.Clear();
    const uint32_t a = WSocket_inet_addr(HostAddr.c_str());
    const ws::THostEntry* e = WSocket_gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET);
    if (!e) {
        TriggerDNSLookupDone(static_cast<uint16_t>(WSocket_WSAGetLastError()));
        return;
    }
    FDnsResult = e->h_name;
    FDnsResultList.Add(e->h_name);
    for (const auto& alias : e->h_aliases) {
        if (FDnsResultList.Count() >= kMaxDnsResults) break;
        FDnsResultList.Add(alias);
    }
    TriggerDNSLookupDone(0);
}

void TCustomWSocket::CancelDnsLookup() {
    if (!FDnsLookupHandle) return;
    const ws::HANDLE h = FDnsLookupHandle;
    FDnsLookupHandle = 0;
    if (WSocket_WSACancelAsyncRequest(h) != 0) {
        SocketError("WSACancelAsyncRequest");
        return;
    }
    if (!Destroying()) TriggerDNSLookupDone(ws::WSAEINTR);
}

void TCustomWSocket::WMAsyncGetHostByName(win::TMessage& msg) { handleLookupReply(msg.Msg, msg.LParam); }

void TCustomWSocket::WMAsyncGetHostByAddr(win::TMessage& msg) { handleLookupReply(msg.Msg, msg.LParam); }

void TCustomWSocket::handleLookupReply(win::UINT msg, win::LPARAM lparam) {
    if (FDnsLookupHandle == 0) {
        // The answer came before its handle was stored: keep it for then.
        FDnsEarlyReply = true;
        FDnsEarlyMsg = msg;
        FDnsEarlyLParam = lparam;
        return;
    }
    FDnsLookupHandle = 0;
    FDnsEarlyReply = false;
    const auto err = static_cast<uint16_t>(ws::WSAGETSELECTERROR(lparam));
    if (err == 0) {
        if (msg == WM_ASYNCGETHOSTBYNAME) {
            for (uint32_t a : FDnsLookupBuffer.h_addr_list) {
                if (FDnsResultList.Count() >= kMaxDnsResults) break;
                FDnsResultList.Add(dotted(a));
            }
            // IPv6 addresses after the IPv4 ones: a name that has both is
            // reached over IPv4 as before.
            for (const sockaddr_in6& a : FDnsLookupBuffer.h_addr6_list) {
                if (FDnsResultList.Count() >= kMaxDnsResults) break;
                sockaddr_storage any{};
                std::memcpy(&any, &a, sizeof a);
                FDnsResultList.Add(WSocketAddrText(any));
            }
        } else {
            FDnsResultList.Add(FDnsLookupBuffer.h_name);
            for (const auto& alias : FDnsLookupBuffer.h_aliases) {
                if (FDnsResultList.Count() >= kMaxDnsResults) break;
                FDnsResultList.Add(alias);
            }
        }
        if (FDnsResultList.Count() > 0) FDnsResult = FDnsResultList[0];
    }
    TriggerDNSLookupDone(err);
}

// ---------------------------------------------------------------- send queue

int TCustomWSocket::Send(const void* Data, int Len) {
    if (FState != wsConnected && FState != wsSocksConnected) {
        SocketErrorCode(ws::WSAENOTCONN, "Send");
        return -1;
    }
    bAllSent = false;
    if (Len > 0) PutDataInSendBuffer(Data, Len);
    else Len = 0;
    TryToSend();
    if (bAllSent && FHSocket != ws::INVALID_SOCKET)
        ws::WSAPostSelectEvent(FHSocket, FWindowHandle, WM_ASYNCSELECT, ws::WSAMAKESELECTREPLY(ws::FD_WRITE, 0));
    return Len;
}

int TCustomWSocket::SendStr(const std::string& Str) {
    if (Str.empty()) return 0;
    return Send(Str.data(), static_cast<int>(Str.size()));
}

void TCustomWSocket::PutStringInSendBuffer(const std::string& Str) {
    PutDataInSendBuffer(Str.data(), static_cast<int>(Str.size()));
}

void TCustomWSocket::PutDataInSendBuffer(const void* Data, int Len) {
    if (!Data || Len <= 0) return;
    std::lock_guard<std::recursive_mutex> g(sendLock());
    if (FBufList.empty()) FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
    FQueuedByteCount += Len;
    auto* p = static_cast<const uint8_t*>(Data);
    int done = FBufList.back()->Write(p, Len);
    while (done < Len) {
        FBufList.push_back(std::make_unique<TBuffer>(FBufSize));
        done += FBufList.back()->Write(p + done, Len - done);
    }
    bAllSent = false;
}

void TCustomWSocket::TryToSend() {
    std::lock_guard<std::recursive_mutex> g(sendLock());
    if (FHSocket == ws::INVALID_SOCKET || FBufList.empty()) {
        bAllSent = true;
        return;
    }
    while (true) {
        int len = 0;
        const uint8_t* data = FBufList.front()->Peek(len);
        if (len <= 0) {
            if (FBufList.size() > 1) {
                FBufList.pop_front();
                continue;
            }
            bAllSent = true;
            return;
        }
        const int count = RealSend(data, len);
        if (count == 0) return;
        if (count > 0) {
            FQueuedByteCount = std::max<int64_t>(0, FQueuedByteCount - count);
            FBufList.front()->Remove(count);
            if (count < len) return;  // the rest waits for FD_WRITE
            continue;
        }
        const int err = WSocket_WSAGetLastError();
        if (err == ws::WSAECONNRESET || err == ws::WSAENOTSOCK || err == ws::WSAENOTCONN || err == ws::WSAEINVAL ||
            err == ws::WSAECONNABORTED) {
            if (CheckLogOptions(loWsockErr))
                DebugLog(loWsockErr, Name + " Winsock Send failed - " + GetWinsockErr(err));
            // Nothing queued can reach the peer any more.
            DeleteBufferedData();
            bAllSent = true;
            FCloseInvoked = true;
            Close();
            TriggerSessionClosed(static_cast<uint16_t>(err));
            return;
        }
        if (err == ws::WSAEWOULDBLOCK) return;
        SocketErrorCode(err, "TryToSend failed");
        return;
    }
}

int TCustomWSocket::RealSend(const void* Data, int Len) {
    const int n = FType == SOCK_DGRAM ? WSocket_sendto(FHSocket, Data, Len, FSendFlags,
                                                       reinterpret_cast<const sockaddr*>(&FSinAny), SinLen())
                                      : WSocket_send(FHSocket, Data, Len, FSendFlags);
    if (n > 0 && OnSendData) OnSendData(this, n);
    return n;
}

int TCustomWSocket::SendTo(const sockaddr_in& Dest, const void* Data, int Len) {
    const int n = WSocket_sendto(FHSocket, Data, Len, FSendFlags, reinterpret_cast<const sockaddr*>(&Dest), sizeof Dest);
    if (n > 0 && OnSendData) OnSendData(this, n);
    if (FType == SOCK_DGRAM && FBufList.empty() && FHSocket != ws::INVALID_SOCKET)
        ws::WSAPostSelectEvent(FHSocket, FWindowHandle, WM_ASYNCSELECT, ws::WSAMAKESELECTREPLY(ws::FD_WRITE, 0));
    return n;
}

void TCustomWSocket::DeleteBufferedData() {
    std::lock_guard<std::recursive_mutex> g(sendLock());
    FBufList.clear();
    FQueuedByteCount = 0;
}

// ---------------------------------------------------------------- receive

int TCustomWSocket::DoRecv(void* Buffer, int BufferSize, int Flags) {
    ++FRecvCalls;
    return WSocket_recv(FHSocket, Buffer, BufferSize, Flags);
}

int TCustomWSocket::DoRecvFrom(void* Buffer, int BufferSize, int Flags, sockaddr_in& From, int& FromLen) {
    ++FRecvCalls;
    return WSocket_recvfrom(FHSocket, Buffer, BufferSize, Flags, reinterpret_cast<sockaddr*>(&From), &FromLen);
}

int TCustomWSocket::Receive(void* Buffer, int BufferSize) {
    const int n = DoRecv(Buffer, BufferSize, 0);
    if (n < 0) FLastError = WSocket_WSAGetLastError();
    else FReadCount += n;
    return n;
}

int TCustomWSocket::PeekData(void* Buffer, int BufferSize) {
    const int n = DoRecv(Buffer, BufferSize, MSG_PEEK);
    if (n < 0) FLastError = WSocket_WSAGetLastError();
    return n;
}

int TCustomWSocket::ReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen) {
    const int n = DoRecvFrom(Buffer, BufferSize, 0, From, FromLen);
    if (n < 0) FLastError = WSocket_WSAGetLastError();
    else FReadCount += n;
    return n;
}

std::string TCustomWSocket::ReceiveStr() {
    int count = GetRcvdCount();
    if (count < 0) return {};
    if (count == 0) count = kReceiveStrDefault;
    std::string s(static_cast<size_t>(count), '\0');
    const int n = Receive(s.data(), count);
    if (n <= 0) return {};
    s.resize(static_cast<size_t>(n));
    return s;
}

int TCustomWSocket::GetRcvdCount() {
    ws::u_long count = 0;
    if (WSocket_ioctlsocket(FHSocket, ws::FIONREAD_, &count) == ws::SOCKET_ERROR) {
        SocketError("ioctlSocket");
        return -1;
    }
    return static_cast<int>(count);
}

// ---------------------------------------------------------------- pumps

void TCustomWSocket::MessagePump() {
    if (MultiThreaded) ProcessMessages();
    else win::ProcessMessages();
}

bool TCustomWSocket::ProcessMessage() { return win::ProcessMessage(); }

void TCustomWSocket::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void TCustomWSocket::MessageLoop() { win::MessageLoop(); }

void TCustomWSocket::ThreadDetach() {
    if (std::this_thread::get_id() != FThreadId) throw ESocketException("Cannot detach from other thread");
    if (FHSocket != ws::INVALID_SOCKET) WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, 0, 0);
    DeallocateSocketHWnd();
    FDetached = true;
}

void TCustomWSocket::ThreadAttach() {
    if (!FDetached) throw ESocketException("Cannot attach when not detached");
    AllocateSocketHWnd();
    FThreadId = std::this_thread::get_id();
    FDetached = false;
    if (FHSocket != ws::INVALID_SOCKET && FSelectEvent)
        WSocket_WSAAsyncSelect(FHSocket, FWindowHandle, WM_ASYNCSELECT, FSelectEvent);
}

bool TCustomWSocket::TimerIsSet(const timeval& tvp) { return tvp.tv_sec != 0 || tvp.tv_usec != 0; }

void TCustomWSocket::TimerClear(timeval& tvp) { tvp.tv_sec = tvp.tv_usec = 0; }

bool TCustomWSocket::TimerCmp(const timeval& tvp, const timeval& uvp, bool IsEqual) {
    const bool eq = tvp.tv_sec == uvp.tv_sec && tvp.tv_usec == uvp.tv_usec;
    return IsEqual ? eq : !eq;
}

}  // namespace net
