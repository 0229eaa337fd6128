#include "net/wsocket_bind.h"

#include <netdb.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/rtl/sysutils.h"

namespace net {

using rtl::IntToStr;

namespace {

// The bound names, in one list so that slots, names and wrappers agree.
#define WSOCKET_BOUND_NAMES(X)                                                                  \
    X(WSAStartup) X(WSACleanup) X(WSASetLastError) X(WSAGetLastError) X(WSACancelAsyncRequest)  \
    X(WSAAsyncGetHostByName) X(WSAAsyncGetHostByAddr) X(WSAAsyncSelect) X(getservbyname)        \
    X(getprotobyname) X(gethostbyname) X(gethostbyaddr) X(gethostname) X(socket) X(shutdown)    \
    X(setsockopt) X(getsockopt) X(sendto) X(send) X(ntohs) X(ntohl) X(listen) X(ioctlsocket)    \
    X(WSAIoctl) X(inet_ntoa) X(inet_addr) X(htons) X(htonl) X(getsockname) X(getpeername)       \
    X(connect) X(closesocket) X(bind) X(accept) X(recv) X(recvfrom)

enum Slot {
#define WSOCKET_SLOT(fn) slot_##fn,
    WSOCKET_BOUND_NAMES(WSOCKET_SLOT)
#undef WSOCKET_SLOT
    slotCount
};

const char* const kLib1 = "wsock32.dll";
const char* const kLib2 = "ws2_32.dll";
// The platform error for a name the library does not export.
const int kProcNotFound = ENOSYS;

struct LoadState {
    std::recursive_mutex lock;
    bool loaded = false;   // wsock32 stand-in loaded and started
    bool loaded2 = false;  // ws2_32 stand-in loaded
    ws::WSAData data{};
    uint8_t verLow = 1, verHigh = 1;
    std::array<void*, slotCount> procs{};
    int userCount = 0;
    bool forceLoaded = false;
};

LoadState& st() {
    static LoadState s;
    return s;
}

// Raises the user count for the length of one call.
class UserGuard {
public:
    UserGuard() { WSocketGCountAdd(1); }
    ~UserGuard() { WSocketGCountAdd(-1); }
};

void* bindSlot(Slot slot, const char* name, bool second) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (!s.procs[slot]) s.procs[slot] = second ? WSocket2GetProc(name) : WSocketGetProc(name);
    return s.procs[slot];
}

template <typename Fn>
Fn* bound(Slot slot, const char* name, bool second = false) {
    return reinterpret_cast<Fn*>(bindSlot(slot, name, second));
}

// Skips blanks and reads decimal digits up to the first other character.
long readNumber(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    long v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 0xFFFFFF) break;  // already out of every range asked for
    }
    return v;
}

bool startsWithDigit(const std::string& s) { return !s.empty() && s[0] >= '0' && s[0] <= '9'; }

std::string lastWinsockErr() { return GetWinsockErr(WSocket_WSAGetLastError()); }

}  // namespace

void* WSocketGetProc(const std::string& name) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (!s.loaded) {
        const int rc = ws::WSAStartup(static_cast<uint16_t>(s.verLow | (s.verHigh << 8)), &s.data);
        if (rc != 0) throw ESocketException(std::string("Winsock startup error ") + kLib1 + " - " + GetWindowsErr(rc));
        s.loaded = true;
    }
    if (name.empty()) return nullptr;
    void* p = ws::GetProcAddress(name.c_str());
    if (!p)
        throw ESocketException("Procedure " + name + " not found in " + kLib1 + " - " + GetWindowsErr(kProcNotFound));
    return p;
}

void* WSocket2GetProc(const std::string& name) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    WSocketGetProc("");
    s.loaded2 = true;
    if (name.empty()) return nullptr;
    void* p = ws::GetProcAddress(name.c_str());
    if (!p)
        throw ESocketException("Procedure " + name + " not found in " + kLib2 + " - " + GetWindowsErr(kProcNotFound));
    return p;
}

// One wrapper per bound name: count the user, call through the bound
// pointer, uncount (also when the call raises).
#define WSOCKET_WRAP(ret, fn, params, args)                    \
    ret WSocket_##fn params {                                  \
        UserGuard guard;                                       \
        return bound<decltype(ws::fn)>(slot_##fn, #fn) args;   \
    }

WSOCKET_WRAP(int, WSAStartup, (uint16_t version, ws::WSAData* data), (version, data))
WSOCKET_WRAP(int, WSACleanup, (), ())
WSOCKET_WRAP(void, WSASetLastError, (int err), (err))
WSOCKET_WRAP(int, WSAGetLastError, (), ())
WSOCKET_WRAP(int, WSACancelAsyncRequest, (ws::HANDLE h), (h))
WSOCKET_WRAP(ws::HANDLE, WSAAsyncGetHostByName,
             (win::HWND wnd, win::UINT msg, const char* name, ws::THostEntry* buf), (wnd, msg, name, buf))
WSOCKET_WRAP(ws::HANDLE, WSAAsyncGetHostByAddr,
             (win::HWND wnd, win::UINT msg, uint32_t addr, ws::THostEntry* buf), (wnd, msg, addr, buf))
WSOCKET_WRAP(int, WSAAsyncSelect, (ws::SOCKET s, win::HWND wnd, win::UINT msg, long mask), (s, wnd, msg, mask))
WSOCKET_WRAP(const servent*, getservbyname, (const char* name, const char* proto), (name, proto))
WSOCKET_WRAP(const protoent*, getprotobyname, (const char* name), (name))
WSOCKET_WRAP(const ws::THostEntry*, gethostbyname, (const char* name), (name))
WSOCKET_WRAP(const ws::THostEntry*, gethostbyaddr, (const char* addr, int len, int type), (addr, len, type))
WSOCKET_WRAP(int, gethostname, (char* name, int namelen), (name, namelen))
WSOCKET_WRAP(ws::SOCKET, socket, (int af, int type, int protocol), (af, type, protocol))
WSOCKET_WRAP(int, shutdown, (ws::SOCKET s, int how), (s, how))
WSOCKET_WRAP(int, setsockopt, (ws::SOCKET s, int level, int optname, const void* optval, int optlen),
             (s, level, optname, optval, optlen))
WSOCKET_WRAP(int, getsockopt, (ws::SOCKET s, int level, int optname, void* optval, int* optlen),
             (s, level, optname, optval, optlen))
WSOCKET_WRAP(int, sendto, (ws::SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen),
             (s, buf, len, flags, to, tolen))
WSOCKET_WRAP(int, send, (ws::SOCKET s, const void* buf, int len, int flags), (s, buf, len, flags))
WSOCKET_WRAP(uint16_t, ntohs, (uint16_t v), (v))
WSOCKET_WRAP(uint32_t, ntohl, (uint32_t v), (v))
WSOCKET_WRAP(int, listen, (ws::SOCKET s, int backlog), (s, backlog))
WSOCKET_WRAP(int, ioctlsocket, (ws::SOCKET s, long cmd, ws::u_long* argp), (s, cmd, argp))
WSOCKET_WRAP(std::string, inet_ntoa, (in_addr a), (a))
WSOCKET_WRAP(uint32_t, inet_addr, (const char* cp), (cp))
WSOCKET_WRAP(uint16_t, htons, (uint16_t v), (v))
WSOCKET_WRAP(uint32_t, htonl, (uint32_t v), (v))
WSOCKET_WRAP(int, getsockname, (ws::SOCKET s, sockaddr* name, int* namelen), (s, name, namelen))
WSOCKET_WRAP(int, getpeername, (ws::SOCKET s, sockaddr* name, int* namelen), (s, name, namelen))
WSOCKET_WRAP(int, connect, (ws::SOCKET s, const sockaddr* name, int namelen), (s, name, namelen))
WSOCKET_WRAP(int, closesocket, (ws::SOCKET s), (s))
WSOCKET_WRAP(int, bind, (ws::SOCKET s, const sockaddr* name, int namelen), (s, name, namelen))
WSOCKET_WRAP(ws::SOCKET, accept, (ws::SOCKET s, sockaddr* addr, int* addrlen), (s, addr, addrlen))
WSOCKET_WRAP(int, recv, (ws::SOCKET s, void* buf, int len, int flags), (s, buf, len, flags))
WSOCKET_WRAP(int, recvfrom, (ws::SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen),
             (s, buf, len, flags, from, fromlen))
#undef WSOCKET_WRAP

int WSocket_WSAIoctl(ws::SOCKET s, uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
                     uint32_t* bytesReturned, void* overlapped, void* completion) {
    UserGuard guard;
    return bound<decltype(ws::WSAIoctl)>(slot_WSAIoctl, "WSAIoctl", true)(
        s, code, in, inLen, out, outLen, bytesReturned, overlapped, completion);
}

void WSocketGCountAdd(int delta) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    s.userCount += delta;
}

int SafeWSocketGCount() {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    return s.userCount;
}

bool WSocketIsLoaded() {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    return s.loaded;
}

void WSocketForceLoadWinsock() {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (s.forceLoaded) return;
    s.forceLoaded = true;
    ++s.userCount;
    WSocketGetProc("");
}

void WSocketCancelForceLoadWinsock() {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (!s.forceLoaded) return;
    s.forceLoaded = false;
    --s.userCount;
    if (s.userCount <= 0) WSocketUnloadWinsock();
}

void WSocketUnloadWinsock() {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    if (s.loaded && s.userCount == 0) {
        ws::WSACleanup();
        s.loaded2 = false;
        s.loaded = false;
        s.procs.fill(nullptr);
    }
    s.forceLoaded = false;
}

void WinsockInfo(ws::WSAData& info) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    WSocketGetProc("");
    info = s.data;
    if (s.userCount == 0) WSocketUnloadWinsock();
}

uint8_t WSocketReqVerLow() { return st().verLow; }
uint8_t WSocketReqVerHigh() { return st().verHigh; }
void WSocketSetReqVer(uint8_t low, uint8_t high) {
    auto& s = st();
    std::lock_guard<std::recursive_mutex> g(s.lock);
    s.verLow = low;
    s.verHigh = high;
}

bool WSocketIsDottedIP(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size() && s[i] == '.') return false;
    int dots = 0;
    long group = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '.') {
            ++dots;
            if (dots > 3 || group > 255 || i + 1 >= s.size() || s[i + 1] < '0' || s[i + 1] > '9') return false;
            group = 0;
        } else if (c >= '0' && c <= '9') {
            group = group * 10 + (c - '0');
            if (group > 255) return false;
        } else {
            while (i < s.size() && s[i] == ' ') ++i;
            if (i >= s.size()) break;
            return false;
        }
    }
    return dots == 3 && group <= 255;
}

namespace {

// The trimmed host name, or the invalid-name failure.
std::string checkedHostName(const std::string& host) {
    if (host.empty() || host.size() > 256)
        throw ESocketException("Winsock Resolve Host: '" + host + "' Invalid Hostname.");
    return rtl::Trim(host);
}

// A dotted address converted, or the invalid-address failure.
uint32_t dottedAddr(const std::string& host, const std::string& name) {
    const uint32_t a = WSocket_inet_addr(name.c_str());
    if (a == INADDR_NONE && name != "255.255.255.255")
        throw ESocketException("Winsock Resolve Host: '" + host + "' Invalid IP address.");
    return a;
}

[[noreturn]] void cannotConvert(const std::string& host) {
    throw ESocketException("Winsock Resolve Host: Cannot convert host address '" + host + "' - " + lastWinsockErr());
}

}  // namespace

uint32_t WSocketResolveHost(const std::string& host) {
    UserGuard guard;
    const std::string name = checkedHostName(host);
    if (WSocketIsDottedIP(name)) return dottedAddr(host, name);
    const ws::THostEntry* e = WSocket_gethostbyname(name.c_str());
    if (!e || e->h_addr_list.empty()) cannotConvert(host);
    return e->h_addr_list.front();
}

bool WSocketParseIPv6(const std::string& text, sockaddr_in6& out) {
    if (text.find(':') == std::string::npos) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* res = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &res) != 0) return false;
    std::memcpy(&out, res->ai_addr, sizeof out);
    ::freeaddrinfo(res);
    return true;
}

void WSocketResolveHostAddr(const std::string& host, sockaddr_storage& out) {
    UserGuard guard;
    out = sockaddr_storage{};
    const std::string name = checkedHostName(host);
    auto& v4 = reinterpret_cast<sockaddr_in&>(out);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(out);
    v4.sin_family = AF_INET;
    if (WSocketIsDottedIP(name)) {
        v4.sin_addr.s_addr = dottedAddr(host, name);
        return;
    }
    if (WSocketParseIPv6(name, v6)) return;
    const ws::THostEntry* e = ws::WSAGetHostAddresses(name.c_str());
    if (!e) cannotConvert(host);
    if (!e->h_addr_list.empty()) {
        v4.sin_addr.s_addr = e->h_addr_list.front();
        return;
    }
    v6 = e->h_addr6_list.front();
}

bool WSocketIsAnyAddr(const std::string& addr) { return addr == "0.0.0.0" || addr == "::"; }

std::string WSocketAddrText(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET) return WSocket_inet_ntoa(reinterpret_cast<const sockaddr_in&>(a).sin_addr);
    char text[NI_MAXHOST] = {};
    if (a.ss_family != AF_INET6 || ::getnameinfo(reinterpret_cast<const sockaddr*>(&a), sizeof(sockaddr_in6), text,
                                                 sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return {};
    return text;
}

uint16_t WSocketAddrPort(const sockaddr_storage& a) {
    return WSocket_ntohs(a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(a).sin6_port
                                                 : reinterpret_cast<const sockaddr_in&>(a).sin_port);
}

int WSocketAddrLen(const sockaddr_storage& a) {
    return a.ss_family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6)) : static_cast<int>(sizeof(sockaddr_in));
}

uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
    UserGuard guard;
    if (port.empty() || port.size() >= 32) throw ESocketException("Winsock Resolve Port: Invalid Port.");
    if (proto.empty() || proto.size() >= 32) throw ESocketException("Winsock Resolve Port: Invalid Proto.");
    if (startsWithDigit(port)) {
        const long n = readNumber(port);
        if (n > 65535) throw rtl::ERangeError("Winsock Resolve Port: port " + port + " is out of range");
        return static_cast<uint16_t>(n);
    }
    const std::string p = rtl::Trim(port);
    const std::string pr = rtl::Trim(proto);
    const servent* e = WSocket_getservbyname(p.c_str(), pr.empty() ? nullptr : pr.c_str());
    if (!e) throw ESocketException("Winsock Resolve Port: Cannot convert port '" + port + "' - " + lastWinsockErr());
    return WSocket_ntohs(static_cast<uint16_t>(e->s_port));
}

int WSocketResolveProto(const std::string& proto) {
    UserGuard guard;
    if (proto.empty() || proto.size() >= 32) throw ESocketException("Winsock Resolve Proto: Invalid Protocol.");
    if (startsWithDigit(proto)) return static_cast<int>(readNumber(proto));
    const std::string p = rtl::LowerCase(rtl::Trim(proto));
    if (p == "tcp") return IPPROTO_TCP;
    if (p == "udp") return IPPROTO_UDP;
    if (p == "raw") return IPPROTO_RAW;
    const protoent* e = WSocket_getprotobyname(p.c_str());
    if (!e)
        throw ESocketException("Winsock Resolve Proto: Cannot convert protocol '" + proto + "' - " +
                               lastWinsockErr());
    return e->p_proto;
}

const ws::THostEntry* WSocketGetHostByName(const std::string& name) {
    UserGuard guard;
    if (name.empty() || name.size() > 256) throw ESocketException("Winsock Get Host Name: Invalid Hostname.");
    return WSocket_gethostbyname(name.c_str());
}

const ws::THostEntry* WSocketGetHostByAddr(const std::string& addr) {
    UserGuard guard;
    if (addr.empty() || addr.size() > 256) throw ESocketException("Winsock Get Host Addr: Invalid address.");
    const uint32_t a = WSocket_inet_addr(addr.c_str());
    return WSocket_gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET);
}

std::string WSocketResolveIp(const std::string& ipAddr) {
    const ws::THostEntry* e = WSocketGetHostByAddr(ipAddr);
    return e ? e->h_name : std::string();
}

std::string LocalHostName() {
    UserGuard guard;
    char buf[64] = {};
    if (WSocket_gethostname(buf, sizeof buf) != 0) throw ESocketException("Winsock Get Host Name failed");
    buf[sizeof buf - 1] = 0;
    return buf;
}

rtl::TStringList* LocalIPList() {
    static rtl::TStringList list;
    list.Clear();
    const ws::THostEntry* e = WSocketGetHostByName(LocalHostName());
    if (e)
        for (uint32_t a : e->h_addr_list) {
            in_addr ia{};
            ia.s_addr = a;
            list.Add(WSocket_inet_ntoa(ia));
        }
    return &list;
}

std::string GetWindowsErr(int code) {
    const std::string text = (code >= 10000 && code < 12000) ? WSocketErrorDesc(code) : rtl::SysErrorMessage(code);
    return text + " (#" + IntToStr(code) + ")";
}

std::string WSocketErrorDesc(int code) {
    switch (code) {
        case 0: return "No Error";
        case 10004: return "Interrupted system call";
        case 10009: return "Bad file number";
        case 10013: return "Permission denied";
        case 10014: return "Bad address";
        case 10022: return "Invalid argument";
        case 10024: return "Too many open files";
        case 10035: return "Operation would block";
        case 10036: return "Operation now in progress";
        case 10037: return "Operation already in progress";
        case 10038: return "Socket operation on non-socket";
        case 10039: return "Destination address required";
        case 10040: return "Message too long";
        case 10041: return "Protocol wrong type for socket";
        case 10042: return "Protocol not available";
        case 10043: return "Protocol not supported";
        case 10044: return "Socket type not supported";
        case 10045: return "Operation not supported on socket";
        case 10046: return "Protocol family not supported";
        case 10047: return "Address family not supported by protocol family";
        case 10048: return "Address already in use";
        case 10049: return "Address not available";
        case 10050: return "Network is down";
        case 10051: return "Network is unreachable";
        case 10052: return "Network dropped connection on reset";
        case 10053: return "Connection aborted";
        case 10054: return "Connection reset by peer";
        case 10055: return "No buffer space available";
        case 10056: return "Socket is already connected";
        case 10057: return "Socket is not connected";
        case 10058: return "Can't send after socket shutdown";
        case 10059: return "Too many references: can't splice";
        case 10060: return "Connection timed out";
        case 10061: return "Connection refused";
        case 10062: return "Too many levels of symbolic links";
        case 10063: return "File name too long";
        case 10064: return "Host is down";
        case 10065: return "No route to host";
        case 10066: return "Directory not empty";
        case 10067: return "Too many processes";
        case 10068: return "Too many users";
        case 10069: return "Disc quota exceeded";
        case 10070: return "Stale NFS file handle";
        case 10071: return "Too many levels of remote in path";
        case 10091: return "Network sub-system is unusable";
        case 10092: return "WinSock DLL cannot support this application";
        case 10093: return "WinSock not initialized";
        case 11001: return "Host not found";
        case 11002: return "Non-authoritative host not found";
        case 11003: return "Non-recoverable error";
        case 11004: return "No Data";
        default: return "Not a WinSock error";
    }
}

std::string GetWinsockErr(int code) { return WSocketErrorDesc(code) + " (#" + IntToStr(code) + ")"; }

}  // namespace net
