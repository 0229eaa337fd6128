#pragma once
// The socket functions, bound by name at first use with a process-wide count
// of users that decides when the library may be released; the host, port and
// protocol resolvers; and the English texts of socket error codes.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rtl/classes.h"
#include "platform/rtl/exceptions.h"
#include "platform/sock/winsock.h"

namespace net {

RTL_EXCEPTION_CLASS(ESocketException, rtl::Exception);

// Binding. An empty name only loads (and starts) the library.
void* WSocketGetProc(const std::string& name);
void* WSocket2GetProc(const std::string& name);

int WSocket_WSAStartup(uint16_t version, ws::WSAData* data);
int WSocket_WSACleanup();
void WSocket_WSASetLastError(int err);
int WSocket_WSAGetLastError();
int WSocket_WSACancelAsyncRequest(ws::HANDLE h);
ws::HANDLE WSocket_WSAAsyncGetHostByName(win::HWND wnd, win::UINT msg, const char* name, ws::THostEntry* buf);
ws::HANDLE WSocket_WSAAsyncGetHostByAddr(win::HWND wnd, win::UINT msg, uint32_t addr, ws::THostEntry* buf);
int WSocket_WSAAsyncSelect(ws::SOCKET s, win::HWND wnd, win::UINT msg, long mask);
const servent* WSocket_getservbyname(const char* name, const char* proto);
const protoent* WSocket_getprotobyname(const char* name);
const ws::THostEntry* WSocket_gethostbyname(const char* name);
const ws::THostEntry* WSocket_gethostbyaddr(const char* addr, int len, int type);
int WSocket_gethostname(char* name, int namelen);
ws::SOCKET WSocket_socket(int af, int type, int protocol);
int WSocket_shutdown(ws::SOCKET s, int how);
int WSocket_setsockopt(ws::SOCKET s, int level, int optname, const void* optval, int optlen);
int WSocket_getsockopt(ws::SOCKET s, int level, int optname, void* optval, int* optlen);
int WSocket_sendto(ws::SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen);
int WSocket_send(ws::SOCKET s, const void* buf, int len, int flags);
uint16_t WSocket_ntohs(uint16_t v);
uint32_t WSocket_ntohl(uint32_t v);
int WSocket_listen(ws::SOCKET s, int backlog);
int WSocket_ioctlsocket(ws::SOCKET s, long cmd, ws::u_long* argp);
int WSocket_WSAIoctl(ws::SOCKET s, uint32_t code, const void* in, uint32_t inLen, void* out,
                     uint32_t outLen, uint32_t* bytesReturned, void* overlapped, void* completion);
std::string WSocket_inet_ntoa(in_addr a);
uint32_t WSocket_inet_addr(const char* cp);
uint16_t WSocket_htons(uint16_t v);
uint32_t WSocket_htonl(uint32_t v);
int WSocket_getsockname(ws::SOCKET s, sockaddr* name, int* namelen);
int WSocket_getpeername(ws::SOCKET s, sockaddr* name, int* namelen);
int WSocket_connect(ws::SOCKET s, const sockaddr* name, int namelen);
int WSocket_closesocket(ws::SOCKET s);
int WSocket_bind(ws::SOCKET s, const sockaddr* name, int namelen);
ws::SOCKET WSocket_accept(ws::SOCKET s, sockaddr* addr, int* addrlen);
int WSocket_recv(ws::SOCKET s, void* buf, int len, int flags);
int WSocket_recvfrom(ws::SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen);

// Load counting.
void WSocketForceLoadWinsock();
void WSocketCancelForceLoadWinsock();
void WSocketUnloadWinsock();
void WinsockInfo(ws::WSAData& info);
int SafeWSocketGCount();
// Each socket component counts itself for its lifetime.
void WSocketGCountAdd(int delta);
bool WSocketIsLoaded();

// The requested version, shared by every socket.
uint8_t WSocketReqVerLow();
uint8_t WSocketReqVerHigh();
void WSocketSetReqVer(uint8_t low, uint8_t high);

// Resolvers. Addresses are in network order, ports in host order.
bool WSocketIsDottedIP(std::string_view s);
uint32_t WSocketResolveHost(const std::string& host);
// An IPv6 address written as text ("::1", "fe80::1%lo"); false for anything else.
bool WSocketParseIPv6(const std::string& text, sockaddr_in6& out);
// The address of a host of either family, port 0: a dotted address, or a
// name with an IPv4 address, as WSocketResolveHost gives it; an IPv6
// address, or the first IPv6 address of a name that has no IPv4 one.
// Failures raise WSocketResolveHost's texts.
void WSocketResolveHostAddr(const std::string& host, sockaddr_storage& out);
// "0.0.0.0" and "::": any address of the socket's family.
bool WSocketIsAnyAddr(const std::string& addr);
// An address as text: dotted for IPv4, the usual form for IPv6.
std::string WSocketAddrText(const sockaddr_storage& a);
uint16_t WSocketAddrPort(const sockaddr_storage& a);
int WSocketAddrLen(const sockaddr_storage& a);
uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
int WSocketResolveProto(const std::string& proto);
const ws::THostEntry* WSocketGetHostByName(const std::string& name);
const ws::THostEntry* WSocketGetHostByAddr(const std::string& addr);
std::string WSocketResolveIp(const std::string& ipAddr);
std::string LocalHostName();
// Shared list, refilled on each call; the caller must not free it.
rtl::TStringList* LocalIPList();

// Texts.
std::string GetWindowsErr(int code);
std::string WSocketErrorDesc(int code);
std::string GetWinsockErr(int code);

}  // namespace net
