#include "net/wsocket_socks.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/sysutils.h"

namespace net {

namespace {

// Room for the longest reply (a level 5 reply naming a 255-byte host is
// 262 bytes) and for bytes of the target that arrive right behind it.
constexpr int kReplyBufSize = 512;
constexpr int kLevel4ReplyLen = 8;
constexpr size_t kMaxField = 255;  // one length byte in the protocol
// The exchange's deadline on the socket's own window (no other layer sets timers there).
constexpr uintptr_t kSocksTimerId = 0x50C5;

const char* level5ReplyText(int code) {
    static const char* const texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                        "network unreachable",          "host unreachable",
                                        "connection refused",           "time to live expired",
                                        "command not supported",        "address type not supported"};
    return (code >= 1 && code <= 8) ? texts[code - 1] : nullptr;
}

void appendField(std::vector<uint8_t>& out, const std::string& s) {
    out.push_back(static_cast<uint8_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

}  // namespace

TCustomSocksWSocket::TCustomSocksWSocket(rtl::TComponent* owner) : TCustomWSocket(owner) {
    FRcvBuf.resize(kReplyBufSize);
    AssignDefaultValue();
}

void TCustomSocksWSocket::AssignDefaultValue() {
    TCustomWSocket::AssignDefaultValue();
    stopSocksTimer();
    FSocksState = socksData;
    FSocksServer.clear();
    FSocksPort.clear();
    FSocksServerAssigned = FSocksPortAssigned = false;
    FSocksLevel = "5";
    FRcvCnt = FRcvdCnt = FRcvdPtr = 0;
}

void TCustomSocksWSocket::stopSocksTimer() {
    if (FWindowHandle) win::KillTimer(FWindowHandle, kSocksTimerId);
}

void TCustomSocksWSocket::WndProc(win::TMessage& MsgRec) {
    if (MsgRec.Msg != win::WM_TIMER || MsgRec.WParam != kSocksTimerId) {
        TCustomWSocket::WndProc(MsgRec);
        return;
    }
    stopSocksTimer();
    try {
        if (socksExchangeRunning())
            DataAvailableError(ws::WSAETIMEDOUT,
                               "the SOCKS proxy did not connect within " + rtl::IntToStr(SocksTimeout) + " ms");
    } catch (const std::exception& E) {
        HandleBackGroundException(E);
    }
}

void TCustomSocksWSocket::SetSocksServer(const std::string& v) {
    if (FState != wsClosed) {
        RaiseException("Can't change socks server if not closed");
        return;
    }
    FSocksServer = rtl::Trim(v);
    FSocksServerAssigned = !FSocksServer.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& v) {
    if (FState != wsClosed) {
        RaiseException("Can't change socks port if not closed");
        return;
    }
    FSocksPort = rtl::Trim(v);
    FSocksPortAssigned = !FSocksPort.empty();
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& v) {
    if (FState != wsClosed) {
        RaiseException("Can't change socks level if not closed");
        return;
    }
    const std::string level = rtl::UpperCase(v);
    if (level != "4" && level != "4A" && level != "5") {
        RaiseException("Invalid socks level. Must be 4, 4A or 5.");
        return;
    }
    FSocksLevel = level;
}

void TCustomSocksWSocket::Listen() {
    if (FSocksServerAssigned) {
        RaiseException("Listening is not supported thru socks server");
        return;
    }
    TCustomWSocket::Listen();
}

void TCustomSocksWSocket::Connect() {
    if (!FSocksServerAssigned) {
        TCustomWSocket::Connect();
        return;
    }
    if (!rtl::SameText(FProtoStr, "tcp") && rtl::Trim(FProtoStr) != "6") {
        RaiseException("TCP is the only protocol supported thru socks server");
        return;
    }
    try {
        // The plain connect reaches the proxy: its address goes where the
        // target's would, already resolved.
        sin.sin_port = WSocket_htons(WSocketResolvePort(FSocksPort, FProtoStr));
        FPortNum = WSocket_ntohs(sin.sin_port);
        FPortResolved = true;
        sin.sin_addr.s_addr = WSocketResolveHost(FSocksServer);
        FAddrResolved = true;
        FSocksTargetPort = WSocket_htons(WSocketResolvePort(FPortStr, FProtoStr));
    } catch (const std::exception& E) {
        RaiseException(std::string("Connect: ") + E.what());
        return;
    }
    FSocksState = socksNegociateMethods;
    FRcvCnt = FRcvdCnt = FRcvdPtr = 0;
    // A silent or half-answering proxy must not hold the connection for ever.
    if (SocksTimeout > 0) win::SetTimer(FWindowHandle, kSocksTimerId, static_cast<win::UINT>(SocksTimeout));
    TCustomWSocket::Connect();
}

void TCustomSocksWSocket::TriggerSocksConnected(uint16_t Error) {
    if (OnSocksConnected) OnSocksConnected(this, Error);
}

void TCustomSocksWSocket::TriggerSocksError(int Error, const std::string& Msg) {
    if (OnSocksError) OnSocksError(this, Error, Msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState AuthState) {
    if (OnSocksAuthState) OnSocksAuthState(this, AuthState);
}

void TCustomSocksWSocket::sendRequest(const std::vector<uint8_t>& bytes) {
    try {
        Send(bytes.data(), static_cast<int>(bytes.size()));
    } catch (...) {
        // A failed send shows up as the connection closing.
    }
}

void TCustomSocksWSocket::TriggerSessionConnectedSpecial(uint16_t Error) {
    if (FSocksState != socksNegociateMethods) {
        TCustomWSocket::TriggerSessionConnectedSpecial(Error);
        return;
    }
    TriggerSocksConnected(Error);
    if (Error != 0) {
        DataAvailableError(Error, "could not connect to the SOCKS proxy");
        return;
    }
    if (FSocksLevel[0] == '4') {
        SocksDoConnect();
        return;
    }
    FSocksMethod = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
    sendRequest({5, 1, FSocksMethod});
}

void TCustomSocksWSocket::SocksDoConnect() {
    FSocksState = socksConnect;
    std::vector<uint8_t> req;
    const auto* port = reinterpret_cast<const uint8_t*>(&FSocksTargetPort);
    if (FSocksLevel[0] == '4') {
        if (SocksUsercode.size() > kMaxField || (FSocksLevel == "4A" && FAddrStr.size() > kMaxField)) {
            DataAvailableError(socksProtocolError, "SOCKS field longer than 255 bytes");
            return;
        }
        uint32_t target = 0;
        if (FSocksLevel == "4A") {
            target = WSocket_htonl(1);  // 0.0.0.1: the proxy resolves the name
        } else {
            try {
                target = WSocketResolveHost(FAddrStr);
            } catch (const std::exception& E) {
                DataAvailableError(socksHostResolutionFailed, std::string(rtl::ExceptionClassName(E)) + " " + E.what());
                return;
            }
        }
        req = {4, 1, port[0], port[1]};
        const auto* addr = reinterpret_cast<const uint8_t*>(&target);
        req.insert(req.end(), addr, addr + 4);
        req.insert(req.end(), SocksUsercode.begin(), SocksUsercode.end());
        req.push_back(0);
        if (FSocksLevel == "4A") {
            req.insert(req.end(), FAddrStr.begin(), FAddrStr.end());
            req.push_back(0);
        }
    } else {
        if (FAddrStr.size() > kMaxField) {
            DataAvailableError(socksProtocolError, "SOCKS host name longer than 255 bytes");
            return;
        }
        // The host always goes as a name, even a dotted address.
        req = {5, 1, 0, 3};
        appendField(req, FAddrStr);
        req.push_back(port[0]);
        req.push_back(port[1]);
    }
    sendRequest(req);
}

void TCustomSocksWSocket::SocksDoAuthenticate() {
    if (SocksUsercode.size() > kMaxField || SocksPassword.size() > kMaxField) {
        DataAvailableError(socksProtocolError, "SOCKS user name or password longer than 255 bytes");
        return;
    }
    FSocksState = socksAuthenticate;
    TriggerSocksAuthState(socksAuthStart);
    std::vector<uint8_t> req{1};
    appendField(req, SocksUsercode);
    appendField(req, SocksPassword);
    sendRequest(req);
}

void TCustomSocksWSocket::DataAvailableError(int ErrCode, const std::string& Msg) {
    stopSocksTimer();
    TriggerSocksError(ErrCode, Msg);
    FSocksState = socksData;
    TCustomWSocket::TriggerSessionConnectedSpecial(static_cast<uint16_t>(ErrCode));
    InternalClose(true, static_cast<uint16_t>(ErrCode));
}

void TCustomSocksWSocket::socksSucceeded() {
    stopSocksTimer();
    FSocksState = socksData;
    TriggerSessionConnectedSpecial(0);
    // Bytes of the target that came right behind the reply go up now. (The
    // count asked is this layer's own: a line layer above counts only lines.)
    if (FHSocket != ws::INVALID_SOCKET && TCustomSocksWSocket::GetRcvdCount() > 0) TriggerDataAvailable(0);
}

void TCustomSocksWSocket::handleMethodReply() {
    if (FSocksLevel[0] == '4') {
        DataAvailableError(socksProtocolError, "TWSocket logic error");
        return;
    }
    if (FRcvCnt < 2) return;
    FRcvCnt = 0;
    if (FRcvBuf[0] != 5) {
        DataAvailableError(socksVersionError, "socks version error");
        return;
    }
    if (FRcvBuf[1] == 0) {
        if (SocksAuthentication == socksAuthenticateUsercode) TriggerSocksAuthState(socksAuthNotRequired);
        SocksDoConnect();
    } else if (FRcvBuf[1] == 2) {
        SocksDoAuthenticate();
    } else {
        DataAvailableError(socksAuthMethodError, "authentification method not acceptable");
    }
}

void TCustomSocksWSocket::handleAuthReply() {
    if (FRcvBuf[0] != 1) {
        DataAvailableError(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt > 2) {
        DataAvailableError(socksProtocolError, "too much data availaible");
        return;
    }
    if (FRcvCnt < 2) return;
    if (FRcvBuf[1] != 0) {
        DataAvailableError(socksAuthenticationFailed, "socks authentication failed");
        return;
    }
    FRcvCnt = 0;
    TriggerSocksAuthState(socksAuthSuccess);
    SocksDoConnect();
}

void TCustomSocksWSocket::handleLevel4Reply() {
    if (FRcvCnt < kLevel4ReplyLen) return;
    FRcvCnt = 0;
    if (FRcvBuf[0] != 0) {
        DataAvailableError(socksVersionError, "socks version error");
        return;
    }
    switch (FRcvBuf[1]) {
        case 90: socksSucceeded(); return;
        case 91: DataAvailableError(socksRejectedOrFailed, "request rejected or failed"); break;
        case 92: DataAvailableError(socksConnectionRefused, "connection refused"); break;
        case 93: DataAvailableError(socksAuthenticationFailed, "authentification failed"); break;
        default:
            DataAvailableError(socksUnassignedError, "unassigned error #" + rtl::IntToStr(FRcvBuf[1]));
    }
}

void TCustomSocksWSocket::handleLevel5Reply() {
    if (FRcvBuf[0] != 5) {
        DataAvailableError(socksVersionError, "socks version error");
        return;
    }
    if (FRcvCnt < 2) return;
    if (FRcvBuf[1] != 0) {
        const int code = FRcvBuf[1];
        if (const char* text = level5ReplyText(code))
            DataAvailableError(socksGeneralFailure + code - 1, text);
        else
            DataAvailableError(socksUnassignedError, "unassigned error #" + rtl::IntToStr(code));
        return;
    }
    if (FRcvCnt <= 4) return;
    const int atype = FRcvBuf[3];
    const int len = atype == 1 ? 10 : atype == 3 ? FRcvBuf[4] + 7 : 5;
    if (FRcvCnt < len) return;
    if (atype != 1 && atype != 3) {
        DataAvailableError(socksUnknownAddressType, "address type not supported");
        return;
    }
    // What follows the reply belongs to the target; keep it for the reader.
    FRcvdPtr = len;
    FRcvdCnt = FRcvCnt - len;
    FRcvCnt = 0;
    socksSucceeded();
}

bool TCustomSocksWSocket::TriggerDataAvailable(uint16_t Error) {
    if (FSocksState == socksData) return TCustomWSocket::TriggerDataAvailable(Error);
    if (Error != 0) {
        DataAvailableError(Error, "data receive error");
        return true;
    }
    // Level 4 replies are read no further than their eight bytes.
    const int limit = (FSocksState == socksConnect && FSocksLevel[0] == '4') ? kLevel4ReplyLen
                                                                             : static_cast<int>(FRcvBuf.size()) - 1;
    const int room = limit - FRcvCnt;
    if (room <= 0) {
        DataAvailableError(socksProtocolError, "too much data availaible");
        return true;
    }
    const int n = TCustomWSocket::DoRecv(FRcvBuf.data() + FRcvCnt, room, 0);
    if (n < 0) {
        FLastError = WSocket_WSAGetLastError();
        return true;
    }
    // The end of the proxy's bytes: its close says the rest (Do_FD_CLOSE).
    if (n == 0) return true;
    FRcvCnt += n;
    switch (FSocksState) {
        case socksNegociateMethods: handleMethodReply(); break;
        case socksAuthenticate: handleAuthReply(); break;
        case socksConnect:
            if (FSocksLevel[0] == '4') handleLevel4Reply();
            else handleLevel5Reply();
            break;
        default: DataAvailableError(socksInternalError, "internal error");
    }
    return true;
}

void TCustomSocksWSocket::Do_FD_CLOSE(uint16_t ErrCode) {
    if (!socksExchangeRunning() || FState == wsConnecting || FHSocket == ws::INVALID_SOCKET) {
        TCustomWSocket::Do_FD_CLOSE(ErrCode);
        return;
    }
    // What the proxy sent before it went is read first: it may say why.
    ASyncReceive(0, 0);
    if (FHSocket == ws::INVALID_SOCKET) return;
    if (!socksExchangeRunning()) {
        TCustomWSocket::Do_FD_CLOSE(ErrCode);
        return;
    }
    DataAvailableError(ErrCode ? int{ErrCode} : int{ws::WSAECONNRESET}, "the SOCKS proxy closed the connection");
}

void TCustomSocksWSocket::TriggerSessionClosed(uint16_t Error) {
    if (FSocksState == socksAuthenticate) TriggerSocksAuthState(socksAuthFailure);
    TCustomWSocket::TriggerSessionClosed(Error);
}

int TCustomSocksWSocket::GetRcvdCount() {
    if (FRcvdCnt <= 0) return TCustomWSocket::GetRcvdCount();
    const int more = FHSocket == ws::INVALID_SOCKET ? 0 : std::max(0, TCustomWSocket::GetRcvdCount());
    return FRcvdCnt + more;
}

int TCustomSocksWSocket::DoRecv(void* Buffer, int BufferSize, int Flags) {
    if (FRcvdCnt <= 0) return TCustomWSocket::DoRecv(Buffer, BufferSize, Flags);
    const int n = std::min(FRcvdCnt, std::max(BufferSize, 0));
    std::memcpy(Buffer, FRcvBuf.data() + FRcvdPtr, static_cast<size_t>(n));
    if (!(Flags & MSG_PEEK)) {
        FRcvdPtr += n;
        FRcvdCnt -= n;
    }
    ++FRecvCalls;
    return n;
}

}  // namespace net
