#include "mail/dnsquery.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/random.h>

#include <cstring>

#include "platform/rtl/sysutils.h"

namespace mail {

namespace {
constexpr uintptr_t kTimeoutTimerId = 1;
constexpr win::UINT WM_DNS_SOCKET = win::WM_USER + 1;
constexpr size_t kUdpReceiveSize = 65535;  // a server that ignores the 512-byte limit is still read whole

// An ID nobody outside can guess from the ones before it.
uint16_t randomId() {
    uint16_t id = 0;
    while (::getrandom(&id, sizeof id, 0) != sizeof id) {
    }
    return id;
}

}  // namespace

std::string DnsResponseCodeName(int Code) {
    static const char* names[] = {"NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN", "NOTIMP", "REFUSED"};
    return Code >= 0 && Code < 6 ? names[Code] : "RCODE" + std::to_string(Code);
}

TDnsQuery::TDnsQuery(rtl::TComponent* owner) : rtl::TComponent(owner) {
    FWindowHandle = win::AllocateHWnd([this](win::TMessage& m) { WndProc(m); });
}

TDnsQuery::~TDnsQuery() {
    BeginDestroy();
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    CloseSocket();
    win::DeallocateHWnd(FWindowHandle);
}

void TDnsQuery::SetProto(const std::string& v) {
    const std::string p = rtl::LowerCase(v);
    if (p != "tcp" && p != "udp") throw EDnsQueryException("TDnsQuery accept only TCP or UDP protocol");
    FProto = p;
}

int TDnsQuery::MXLookup(const std::string& Domain) { return SendQuery(Domain, DnsQueryTypeMX); }
int TDnsQuery::ALookup(const std::string& Host) { return SendQuery(Host, DnsQueryTypeA); }
int TDnsQuery::PTRLookup(const std::string& IP) {
    return SendQuery(ReverseIP(IP) + ".in-addr.arpa", DnsQueryTypePTR);
}
int TDnsQuery::QueryAny(const std::string& Name, int QType) { return SendQuery(Name, QType); }

void TDnsQuery::BuildRequestHeader(uint8_t* Dst, uint16_t ID, int OPCode, bool Recursion, uint16_t QDCount,
                                   uint16_t ANCount, uint16_t NSCount, uint16_t ARCount) {
    DnsBuildRequestHeader(Dst, ID, OPCode, Recursion, QDCount, ANCount, NSCount, ARCount);
}

int TDnsQuery::BuildQuestionSection(uint8_t* Dst, const std::string& QName, uint16_t QType, uint16_t QClass) {
    return DnsBuildQuestionSection(Dst, QName, QType, QClass);
}

void TDnsQuery::CloseSocket() {
    if (FSocket == ws::INVALID_SOCKET) return;
    ws::WSAAsyncSelect(FSocket, FWindowHandle, 0, 0);
    ws::closesocket(FSocket);
    FSocket = ws::INVALID_SOCKET;
}

int TDnsQuery::SendQuery(const std::string& Name, int QType) {
    // Build and resolve first: a question that cannot be asked leaves the
    // previous request alone.
    uint8_t buf[DnsQueryBufSize];
    const uint16_t id = randomId();
    BuildRequestHeader(buf, id, 0, true, 1, 0, 0, 0);
    const int qlen = BuildQuestionSection(buf + 12, Name, static_cast<uint16_t>(QType), DnsClassIN);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    const int rc = ::getaddrinfo(Addr.c_str(), Port.c_str(), &hints, &res);
    if (rc != 0 || !res)
        throw EDnsQueryException("Cannot use \"" + Addr + "\" port \"" + Port + "\" as a DNS server: " +
                                 (rc == EAI_SYSTEM ? rtl::SysErrorMessage(errno) : ::gai_strerror(rc)));
    std::memcpy(&FServer, res->ai_addr, res->ai_addrlen);
    FServerLen = res->ai_addrlen;
    ::freeaddrinfo(res);

    // A new query ends the one in progress without a report.
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    FBusy = false;
    CloseSocket();

    FQueryID = id;
    std::memcpy(FQueryBuf, buf, sizeof buf);
    FQueryLen = 12 + qlen;
    FQueryName = Name;
    while (!FQueryName.empty() && FQueryName.back() == '.') FQueryName.pop_back();
    FQueryType = QType;
    FResponseLen = -1;
    FResult = TDnsResponse{};
    FRetriedOverTcp = false;
    FBusy = true;
    StartAttempt(FProto == "tcp");
    return FQueryID;
}

// One try over UDP or TCP, on a socket connected to the server: the system
// drops every datagram from another address or port.
void TDnsQuery::StartAttempt(bool OverTcp) {
    CloseSocket();
    FOverTcp = OverTcp;
    FTcpBuf.clear();
    // The clock runs from here, so a connection that never completes ends too.
    win::SetTimer(FWindowHandle, kTimeoutTimerId, Timeout);
    FSocket = ws::socket(FServer.ss_family, OverTcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (FSocket == ws::INVALID_SOCKET) return Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
    const long events = OverTcp ? ws::FD_CONNECT | ws::FD_READ | ws::FD_CLOSE : ws::FD_READ;
    if (OverTcp && ws::WSAAsyncSelect(FSocket, FWindowHandle, WM_DNS_SOCKET, events) != 0)
        return Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
    // A stream's outcome comes as FD_CONNECT; a datagram socket is connected at once.
    if (ws::connect(FSocket, reinterpret_cast<const sockaddr*>(&FServer), static_cast<int>(FServerLen)) != 0 &&
        !OverTcp)
        return Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
    sockaddr_storage local{};
    int len = sizeof local;
    if (ws::getsockname(FSocket, reinterpret_cast<sockaddr*>(&local), &len) == 0)
        FLocalPort = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                                      : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    if (OverTcp) return;
    if (ws::WSAAsyncSelect(FSocket, FWindowHandle, WM_DNS_SOCKET, events) != 0)
        return Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
    // Over UDP no length prefix (RFC 1035, 4.2.1).
    if (ws::send(FSocket, FQueryBuf, FQueryLen, 0) != FQueryLen) Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
}

void TDnsQuery::WndProc(win::TMessage& Msg) {
    if (Msg.Msg == WM_DNS_SOCKET) {
        if (static_cast<ws::SOCKET>(Msg.WParam) == FSocket && FBusy)
            SocketEvent(ws::WSAGETSELECTEVENT(Msg.LParam), ws::WSAGETSELECTERROR(Msg.LParam));
        return;
    }
    if (Msg.Msg != win::WM_TIMER || Msg.WParam != kTimeoutTimerId) return;
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    if (FBusy) Finish(static_cast<uint16_t>(ws::WSAETIMEDOUT));
}

void TDnsQuery::SocketEvent(int Event, int Error) {
    if (Event == ws::FD_CONNECT) {
        if (Error) return Finish(static_cast<uint16_t>(Error));
        return SendOverTcp();
    }
    if (Event == ws::FD_CLOSE) {
        // The server hung up before a whole matching answer came.
        return Finish(static_cast<uint16_t>(Error ? Error : ws::WSAECONNRESET));
    }
    if (Event != ws::FD_READ) return;
    if (Error) return Finish(static_cast<uint16_t>(Error));
    if (FOverTcp) ReceiveTcp();
    else ReceiveUdp();
}

void TDnsQuery::SendOverTcp() {
    // The 2-byte length first; the whole query fits the system's buffer.
    std::string out(2, '\0');
    out[0] = static_cast<char>(FQueryLen >> 8);
    out[1] = static_cast<char>(FQueryLen);
    out.append(reinterpret_cast<const char*>(FQueryBuf), static_cast<size_t>(FQueryLen));
    if (ws::send(FSocket, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size()))
        Finish(static_cast<uint16_t>(ws::WSAGetLastError()));
}

void TDnsQuery::ReceiveUdp() {
    static thread_local std::string buf(kUdpReceiveSize, '\0');
    const int n = ws::recv(FSocket, buf.data(), static_cast<int>(buf.size()), 0);
    if (n < 0) {
        // A refusal the server's system sent back (port unreachable) ends it.
        const int err = ws::WSAGetLastError();
        if (err != ws::WSAEWOULDBLOCK) Finish(static_cast<uint16_t>(err));
        return;
    }
    HandleMessage(reinterpret_cast<const uint8_t*>(buf.data()), static_cast<size_t>(n));
}

void TDnsQuery::ReceiveTcp() {
    // The 2-byte length first, then exactly that many bytes: nothing of what
    // follows is read into this message.
    while (FBusy) {
        size_t want = 2;
        if (FTcpBuf.size() >= 2)
            want = 2 + (static_cast<size_t>(static_cast<uint8_t>(FTcpBuf[0])) << 8 | static_cast<uint8_t>(FTcpBuf[1]));
        if (FTcpBuf.size() == want && want > 2) {
            const std::string msg = FTcpBuf.substr(2);
            FTcpBuf.clear();
            HandleMessage(reinterpret_cast<const uint8_t*>(msg.data()), msg.size());
            continue;
        }
        if (want == 2 && FTcpBuf.size() == 2) {  // an empty message: nothing to decode
            FTcpBuf.clear();
            continue;
        }
        const size_t have = FTcpBuf.size();
        FTcpBuf.resize(want);
        const int n = ws::recv(FSocket, FTcpBuf.data() + have, static_cast<int>(want - have), 0);
        if (n <= 0) {
            FTcpBuf.resize(have);
            const int err = n < 0 ? ws::WSAGetLastError() : 0;
            if (n < 0 && err != ws::WSAEWOULDBLOCK) Finish(static_cast<uint16_t>(err));
            return;  // more comes with the next data event, or the close ends it
        }
        FTcpBuf.resize(have + static_cast<size_t>(n));
    }
}

void TDnsQuery::HandleMessage(const uint8_t* Msg, size_t Len) {
    TDnsResponse r;
    const TDnsDecodeResult res = DnsDecodeResponse(Msg, Len, r);
    if (res == TDnsDecodeResult::NotAResponse) return;
    // Only the answer to this query counts: its ID and its question. A stray
    // or forged message is dropped and the wait goes on.
    if (r.ID != FQueryID || r.QDCount < 1 || !rtl::SameText(r.QuestionName, FQueryName) ||
        r.QuestionType != FQueryType || r.QuestionClass != DnsClassIN)
        return;
    if (r.Truncated && !FOverTcp) {
        // Part of the answer is missing: the whole of it comes over TCP.
        FRetriedOverTcp = true;
        FQueryID = randomId();
        FQueryBuf[0] = static_cast<uint8_t>(FQueryID >> 8);
        FQueryBuf[1] = static_cast<uint8_t>(FQueryID);
        StartAttempt(true);
        return;
    }
    FResult = r;
    FResponseBuf.assign(reinterpret_cast<const char*>(Msg), Len);
    FResponseLen = static_cast<int>(Len);
    Finish(res == TDnsDecodeResult::Ok ? 0 : DnsErrorMalformed);
}

void TDnsQuery::Finish(uint16_t Error) {
    if (!FBusy) return;
    FBusy = false;
    win::KillTimer(FWindowHandle, kTimeoutTimerId);
    CloseSocket();
    if (OnRequestDone) OnRequestDone(this, Error);
}

namespace {
template <typename T, size_t N>
T at(const std::array<T, N>& a, int i, int count) {
    return i >= 0 && i < count ? a[static_cast<size_t>(i)] : T{};
}
}  // namespace

std::string TDnsQuery::GetAnswerName(int i) const { return at(FResult.AnswerName, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerType(int i) const { return at(FResult.AnswerType, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerClass(int i) const { return at(FResult.AnswerClass, i, FResult.AnswerCount); }
uint32_t TDnsQuery::GetAnswerTTL(int i) const { return at(FResult.AnswerTTL, i, FResult.AnswerCount); }
int TDnsQuery::GetAnswerTag(int i) const { return at(FResult.AnswerTag, i, FResult.AnswerCount); }
int TDnsQuery::GetMXPreference(int i) const { return at(FResult.MXPreference, i, FResult.MXRecordCount); }
std::string TDnsQuery::GetMXExchange(int i) const { return at(FResult.MXExchange, i, FResult.MXRecordCount); }
in_addr TDnsQuery::GetAddress(int i) const { return at(FResult.Address, i, FResult.AddressCount); }
in6_addr TDnsQuery::GetAddress6(int i) const { return at(FResult.Address6, i, FResult.Address6Count); }
std::string TDnsQuery::GetHostname(int i) const { return at(FResult.Hostname, i, FResult.HostnameCount); }

}  // namespace mail
