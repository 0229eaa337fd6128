#pragma once
// The Windows Sockets 1.1 surface the socket component binds, over POSIX
// sockets. Failures set a per-thread last error holding a WSA number
// (ECONNREFUSED is 10061 and so on). WSAAsyncSelect turns readiness into
// posted window messages with Winsock's rules: a read event is posted again
// only after the next receive, a write event only after a send would have
// blocked, and a connect is always reported through FD_CONNECT.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/messages.h"

// glibc may define these as macros; here they are functions of the surface.
#undef ntohs
#undef ntohl
#undef htons
#undef htonl

namespace ws {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
using u_long = unsigned long;
using HANDLE = uintptr_t;

// Event bits of the socket-event message, and the error in the high word.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;
inline int WSAGETSELECTEVENT(win::LPARAM l) { return static_cast<int>(l & 0xFFFF); }
inline int WSAGETSELECTERROR(win::LPARAM l) { return static_cast<int>((l >> 16) & 0xFFFF); }
inline win::LPARAM WSAMAKESELECTREPLY(int event, int error) {
    return static_cast<win::LPARAM>((event & 0xFFFF) | ((error & 0xFFFF) << 16));
}

// WSA error numbers.
enum : int {
    WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014, WSAEINVAL = 10022,
    WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035, WSAEINPROGRESS = 10036, WSAEALREADY = 10037,
    WSAENOTSOCK = 10038, WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040, WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043, WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045, WSAEPFNOSUPPORT = 10046, WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049, WSAENETDOWN = 10050, WSAENETUNREACH = 10051, WSAENETRESET = 10052,
    WSAECONNABORTED = 10053, WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056,
    WSAENOTCONN = 10057, WSAESHUTDOWN = 10058, WSAETOOMANYREFS = 10059, WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061, WSAELOOP = 10062, WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065, WSAENOTEMPTY = 10066, WSAEPROCLIM = 10067, WSAEUSERS = 10068,
    WSAEDQUOT = 10069, WSAESTALE = 10070, WSAEREMOTE = 10071, WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092, WSANOTINITIALISED = 10093, WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003, WSANO_DATA = 11004,
};

// The WSA number for an errno value, and for a getaddrinfo result.
int ErrnoToWSA(int err);
int GaiToWSA(int gaiResult);

constexpr long FIONREAD_ = 0x4004667F;  // how many bytes wait
constexpr long FIONBIO_ = 0x8004667E;   // non-blocking on/off
constexpr long SIOCOUTQ_ = 0x4004667D;  // bytes sent that the peer has not acknowledged yet
constexpr uint32_t SIO_KEEPALIVE_VALS = 0x98000004;
constexpr uint32_t SIO_RCVALL = 0x98000001;
struct tcp_keepalive {
    u_long onoff;
    u_long keepalivetime;      // ms
    u_long keepaliveinterval;  // ms
};

struct WSAData {
    uint16_t wVersion;
    uint16_t wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    uint16_t iMaxSockets;
    uint16_t iMaxUdpDg;
};

// A host entry as the resolvers return it: the official name, aliases and
// IPv4 addresses in network order; the name's IPv6 addresses beside them
// (only the background look-up and WSAGetHostAddresses fill those).
struct THostEntry {
    std::string h_name;
    std::vector<std::string> h_aliases;
    std::vector<uint32_t> h_addr_list;
    std::vector<sockaddr_in6> h_addr6_list;
};

int WSAStartup(uint16_t versionRequested, WSAData* data);
int WSACleanup();
void WSASetLastError(int err);
int WSAGetLastError();

// Posts Msg to Wnd for the events in Mask; a mask of 0 stops the events.
int WSAAsyncSelect(SOCKET s, win::HWND wnd, win::UINT msg, long mask);
// Posts a socket-event message as the platform would, dropped on delivery
// when S has been closed meanwhile (its number may be in use again).
bool WSAPostSelectEvent(SOCKET s, win::HWND wnd, win::UINT msg, win::LPARAM lparam);

// Look-ups in the background. The reply message carries the handle in
// WParam and WSAMAKESELECTREPLY(0, error) in LParam; the entry is written to
// Buf before the message is posted. Buf must stay valid until the reply or
// the cancel. A name look-up brings the IPv6 addresses too, and fails only
// when the name has none of either family.
HANDLE WSAAsyncGetHostByName(win::HWND wnd, win::UINT msg, const char* name, THostEntry* buf);
HANDLE WSAAsyncGetHostByAddr(win::HWND wnd, win::UINT msg, uint32_t addrNetOrder, THostEntry* buf);
int WSACancelAsyncRequest(HANDLE h);

// Entries are per thread and valid until the next call, like the platform's.
// gethostbyname fails for a name without an IPv4 address; WSAGetHostAddresses
// takes one with IPv6 addresses only.
const THostEntry* gethostbyname(const char* name);
const THostEntry* WSAGetHostAddresses(const char* name);
const THostEntry* gethostbyaddr(const char* addr, int len, int type);
int gethostname(char* name, int namelen);
const servent* getservbyname(const char* name, const char* proto);
const protoent* getprotobyname(const char* name);

SOCKET socket(int af, int type, int protocol);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int optname, const void* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, void* optval, int* optlen);
int sendto(SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen);
int send(SOCKET s, const void* buf, int len, int flags);
int recv(SOCKET s, void* buf, int len, int flags);
int recvfrom(SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen);
uint16_t ntohs(uint16_t v);
uint32_t ntohl(uint32_t v);
uint16_t htons(uint16_t v);
uint32_t htonl(uint32_t v);
int listen(SOCKET s, int backlog);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
int WSAIoctl(SOCKET s, uint32_t code, const void* in, uint32_t inLen, void* out, uint32_t outLen,
             uint32_t* bytesReturned, void* overlapped, void* completion);
std::string inet_ntoa(in_addr a);
uint32_t inet_addr(const char* cp);  // INADDR_NONE when it is not an address
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);

// For the binding by name: the address of one function above, or nullptr.
void* GetProcAddress(const char* name);

}  // namespace ws
