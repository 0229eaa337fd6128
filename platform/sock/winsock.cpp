#include "platform/sock/winsock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace ws {

namespace {

thread_local int lastError = 0;

int fail(int wsaError) {
    lastError = wsaError;
    return SOCKET_ERROR;
}
int failErrno() { return fail(ErrnoToWSA(errno)); }

// What WSAAsyncSelect knows of one socket. The record lives from the first
// select until closesocket; posted events hold a weak reference to it, so
// events of a closed socket never reach a later socket with the same number.
struct SelectRec {
    SOCKET fd = INVALID_SOCKET;
    win::HWND wnd = 0;
    win::UINT msg = 0;
    long mask = 0;
    bool connecting = false;   // connect issued, FD_CONNECT not yet posted
    bool connected = false;    // a stream that can send
    bool listening = false;
    bool datagram = false;
    bool closePosted = false;  // FD_CLOSE is posted once
    bool reading = false;      // FD_READ is being handed over directly
    bool received = false;     // a receive since it was handed over
    std::unique_ptr<QSocketNotifier> rd, wr;
};

std::unordered_map<SOCKET, std::shared_ptr<SelectRec>>& records() {
    static std::unordered_map<SOCKET, std::shared_ptr<SelectRec>> r;
    return r;
}

std::shared_ptr<SelectRec> recordOf(SOCKET s) {
    auto& r = records();
    auto it = r.find(s);
    return it == r.end() ? nullptr : it->second;
}

std::shared_ptr<SelectRec>& ensureRecord(SOCKET s) {
    auto& rec = records()[s];
    if (!rec) {
        rec = std::make_shared<SelectRec>();
        rec->fd = s;
        int type = 0;
        socklen_t len = sizeof type;
        if (::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) == 0) rec->datagram = type == SOCK_DGRAM;
    }
    return rec;
}

void postEvent(const std::shared_ptr<SelectRec>& rec, long event, int error) {
    if (!(rec->mask & event) || !rec->wnd) return;
    win::PostMessageGuarded(rec->wnd, rec->msg, static_cast<win::WPARAM>(rec->fd),
                            WSAMAKESELECTREPLY(static_cast<int>(event), error),
                            std::weak_ptr<const void>(rec));
}

// The read side: armed while the application wants read, accept or close
// events and has taken the last one it was given.
void armRead(const std::shared_ptr<SelectRec>& rec) {
    if (rec->rd && !rec->connecting && !rec->closePosted &&
        (rec->mask & (FD_READ | FD_ACCEPT | FD_CLOSE | FD_OOB)))
        rec->rd->setEnabled(true);
}

void armWrite(const std::shared_ptr<SelectRec>& rec) {
    if (rec->wr && (rec->mask & (FD_WRITE | FD_CONNECT))) rec->wr->setEnabled(true);
}

int directDepth = 0;  // FD_READ handlers running from readNow

// FD_READ handed to the window at once when nothing waits in its queue: the
// posted message would be the only one there, so the order is the same and
// the extra turn of the loop (and disarming and rearming the read side,
// each a wake-up of the loop) is saved. A handler that reads nothing
// leaves the read side disarmed until it receives, as after a post; once
// it has received, bytes seen while it runs the loop are posted.
bool readNow(const std::shared_ptr<SelectRec>& rec) {
    if (rec->reading || !(rec->mask & FD_READ) || !rec->wnd || win::HasPostedMessages(rec->wnd)) return false;
    rec->reading = true;
    rec->received = false;
    ++directDepth;
    win::SendMessage(rec->wnd, rec->msg, static_cast<win::WPARAM>(rec->fd), WSAMAKESELECTREPLY(FD_READ, 0));
    --directDepth;
    rec->reading = false;
    if (!rec->received && rec->rd) rec->rd->setEnabled(false);
    return true;
}

void onReadable(SOCKET s) {
    auto rec = recordOf(s);
    if (!rec) return;
    if (rec->reading && !rec->received) {  // the running handler reads, and its receive rearms
        rec->rd->setEnabled(false);
        return;
    }
    int waiting = 0;
    if (!rec->listening && ::ioctl(s, FIONREAD, &waiting) == 0 && waiting > 0 && readNow(rec)) return;
    rec->rd->setEnabled(false);
    if (rec->listening) {
        postEvent(rec, FD_ACCEPT, 0);
        return;
    }
    if (waiting > 0) {
        postEvent(rec, FD_READ, 0);
        return;
    }
    if (rec->datagram) {  // an empty datagram is still a datagram
        postEvent(rec, FD_READ, 0);
        return;
    }
    char c;
    const ssize_t n = ::recv(s, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        postEvent(rec, FD_READ, 0);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        rec->closePosted = true;
        postEvent(rec, FD_CLOSE, n == 0 ? 0 : ErrnoToWSA(errno));
    } else {
        armRead(rec);  // woke for nothing
    }
}

void finishConnect(const std::shared_ptr<SelectRec>& rec, int wsaError) {
    rec->connecting = false;
    postEvent(rec, FD_CONNECT, wsaError);
    if (wsaError == 0) {
        rec->connected = true;
        postEvent(rec, FD_WRITE, 0);  // the platform says "you may send" after a connect
        armRead(rec);
    }
}

void onWritable(SOCKET s) {
    auto rec = recordOf(s);
    if (!rec) return;
    rec->wr->setEnabled(false);
    if (rec->connecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        finishConnect(rec, err ? ErrnoToWSA(err) : 0);
        return;
    }
    postEvent(rec, FD_WRITE, 0);
}

void makeNotifiers(const std::shared_ptr<SelectRec>& rec) {
    if (rec->rd) return;
    const SOCKET s = rec->fd;
    rec->rd = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
    rec->rd->setEnabled(false);
    QObject::connect(rec->rd.get(), &QSocketNotifier::activated, [s] { onReadable(s); });
    rec->wr = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
    rec->wr->setEnabled(false);
    QObject::connect(rec->wr.get(), &QSocketNotifier::activated, [s] { onWritable(s); });
}

bool isPeerConnected(SOCKET s) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    return ::getpeername(s, reinterpret_cast<sockaddr*>(&ss), &len) == 0;
}

bool isListening(SOCKET s) {
    int v = 0;
    socklen_t len = sizeof v;
    return ::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &v, &len) == 0 && v != 0;
}

// Host look-ups in a thread of their own; the answer is handed back to the
// loop's thread, written to the caller's entry there, then posted.
struct LookupRequest {
    HANDLE handle;
    win::HWND wnd;
    win::UINT msg;
    THostEntry* buf;
    std::atomic<bool> cancelled{false};
};

std::map<HANDLE, std::shared_ptr<LookupRequest>>& lookups() {
    static std::map<HANDLE, std::shared_ptr<LookupRequest>> m;
    return m;
}
HANDLE nextLookup = 0;

// Every address of a name, IPv4 ones first: a name that has both is reached
// as before over IPv4.
int resolveName(const std::string& name, THostEntry& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0) return GaiToWSA(rc);
    out = THostEntry{};
    out.h_name = res->ai_canonname ? res->ai_canonname : name;
    for (addrinfo* a = res; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            const uint32_t addr = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            if (std::find(out.h_addr_list.begin(), out.h_addr_list.end(), addr) == out.h_addr_list.end())
                out.h_addr_list.push_back(addr);
        } else if (a->ai_family == AF_INET6) {
            sockaddr_in6 six{};
            std::memcpy(&six, a->ai_addr, sizeof six);
            six.sin6_port = 0;
            auto same = [&six](const sockaddr_in6& x) {
                return std::memcmp(&x.sin6_addr, &six.sin6_addr, sizeof six.sin6_addr) == 0 &&
                       x.sin6_scope_id == six.sin6_scope_id;
            };
            const bool seen = std::any_of(out.h_addr6_list.begin(), out.h_addr6_list.end(), same);
            if (!seen) out.h_addr6_list.push_back(six);
        }
    }
    ::freeaddrinfo(res);
    return out.h_addr_list.empty() && out.h_addr6_list.empty() ? WSANO_DATA : 0;
}

int resolveAddr(uint32_t addrNetOrder, THostEntry& out) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = addrNetOrder;
    char host[NI_MAXHOST];
    const int rc = ::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host,
                                 nullptr, 0, NI_NAMEREQD);
    if (rc != 0) return GaiToWSA(rc);
    out = THostEntry{};
    out.h_name = host;
    out.h_addr_list.push_back(addrNetOrder);
    return 0;
}

template <typename Work>
HANDLE startLookup(win::HWND wnd, win::UINT msg, THostEntry* buf, Work work) {
    if (!win::IsWindow(wnd) || !buf) {
        lastError = WSAEINVAL;
        return 0;
    }
    auto req = std::make_shared<LookupRequest>();
    req->handle = ++nextLookup;
    req->wnd = wnd;
    req->msg = msg;
    req->buf = buf;
    lookups()[req->handle] = req;
    QObject* app = QCoreApplication::instance();
    std::thread([req, app, work]() {
        auto entry = std::make_shared<THostEntry>();
        const int err = work(*entry);
        if (req->cancelled) return;
        QMetaObject::invokeMethod(app, [req, entry, err] {
            if (req->cancelled) return;
            lookups().erase(req->handle);
            if (err == 0) *req->buf = *entry;
            win::PostMessage(req->wnd, req->msg, req->handle, WSAMAKESELECTREPLY(0, err));
        }, Qt::QueuedConnection);
    }).detach();
    return req->handle;
}

}  // namespace

int ErrnoToWSA(int err) {
    switch (err) {
        case 0: return 0;
        case EINTR: return WSAEINTR;
        case EBADF: return WSAENOTSOCK;
        case EACCES: case EPERM: return WSAEACCES;
        case EFAULT: return WSAEFAULT;
        case EINVAL: return WSAEINVAL;
        case EMFILE: case ENFILE: return WSAEMFILE;
        case EAGAIN: return WSAEWOULDBLOCK;
        case EINPROGRESS: return WSAEWOULDBLOCK;
        case EALREADY: return WSAEALREADY;
        case ENOTSOCK: return WSAENOTSOCK;
        case EDESTADDRREQ: return WSAEDESTADDRREQ;
        case EMSGSIZE: return WSAEMSGSIZE;
        case EPROTOTYPE: return WSAEPROTOTYPE;
        case ENOPROTOOPT: return WSAENOPROTOOPT;
        case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
        case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
        case EOPNOTSUPP: return WSAEOPNOTSUPP;
        case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
        case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
        case EADDRINUSE: return WSAEADDRINUSE;
        case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
        case ENETDOWN: return WSAENETDOWN;
        case ENETUNREACH: return WSAENETUNREACH;
        case ENETRESET: return WSAENETRESET;
        case ECONNABORTED: return WSAECONNABORTED;
        case ECONNRESET: case EPIPE: return WSAECONNRESET;
        case ENOBUFS: case ENOMEM: return WSAENOBUFS;
        case EISCONN: return WSAEISCONN;
        case ENOTCONN: return WSAENOTCONN;
        case ESHUTDOWN: return WSAESHUTDOWN;
        case ETOOMANYREFS: return WSAETOOMANYREFS;
        case ETIMEDOUT: return WSAETIMEDOUT;
        case ECONNREFUSED: return WSAECONNREFUSED;
        case ELOOP: return WSAELOOP;
        case ENAMETOOLONG: return WSAENAMETOOLONG;
        case EHOSTDOWN: return WSAEHOSTDOWN;
        case EHOSTUNREACH: return WSAEHOSTUNREACH;
        case ENOTEMPTY: return WSAENOTEMPTY;
        case EUSERS: return WSAEUSERS;
        case EDQUOT: return WSAEDQUOT;
        case ESTALE: return WSAESTALE;
        case EREMOTE: return WSAEREMOTE;
        default: return WSAEINVAL;
    }
}

int GaiToWSA(int rc) {
    switch (rc) {
        case 0: return 0;
        case EAI_NONAME: return WSAHOST_NOT_FOUND;
        case EAI_AGAIN: return WSATRY_AGAIN;
        case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
        case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
        case EAI_SYSTEM: return ErrnoToWSA(errno);
        default: return WSANO_RECOVERY;
    }
}

int WSAStartup(uint16_t versionRequested, WSAData* data) {
    if (!data) return WSAEFAULT;
    if ((versionRequested & 0xFF) < 1) return WSAVERNOTSUPPORTED;
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0202;
    std::strncpy(data->szDescription, "POSIX sockets", sizeof data->szDescription - 1);
    std::strncpy(data->szSystemStatus, "Running", sizeof data->szSystemStatus - 1);
    data->iMaxSockets = 0xFFFF;
    data->iMaxUdpDg = 65507;
    return 0;
}

int WSACleanup() { return 0; }
void WSASetLastError(int err) { lastError = err; }
int WSAGetLastError() { return lastError; }

int WSAAsyncSelect(SOCKET s, win::HWND wnd, win::UINT msg, long mask) {
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0) return failErrno();
    if (mask != 0 && !win::IsWindow(wnd)) return fail(WSAEINVAL);
    if (!(flags & O_NONBLOCK) && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return failErrno();
    auto& rec = ensureRecord(s);
    rec->wnd = wnd;
    rec->msg = msg;
    rec->mask = mask;
    makeNotifiers(rec);
    rec->rd->setEnabled(false);
    rec->wr->setEnabled(false);
    if (mask == 0) return 0;
    rec->listening = isListening(s);
    if (!rec->connecting && !rec->listening && (rec->datagram || isPeerConnected(s))) {
        rec->connected = true;
        // Selecting anew on a live socket reports that it can send.
        if (mask & FD_WRITE) armWrite(rec);
    }
    if (rec->connecting) armWrite(rec);
    armRead(rec);
    return 0;
}

bool WSAPostSelectEvent(SOCKET s, win::HWND wnd, win::UINT msg, win::LPARAM lparam) {
    auto rec = recordOf(s);
    if (!rec) return win::PostMessage(wnd, msg, static_cast<win::WPARAM>(s), lparam);
    return win::PostMessageGuarded(wnd, msg, static_cast<win::WPARAM>(s), lparam,
                                   std::weak_ptr<const void>(rec));
}

HANDLE WSAAsyncGetHostByName(win::HWND wnd, win::UINT msg, const char* name, THostEntry* buf) {
    const std::string n = name ? name : "";
    return startLookup(wnd, msg, buf, [n](THostEntry& e) { return resolveName(n, e); });
}

HANDLE WSAAsyncGetHostByAddr(win::HWND wnd, win::UINT msg, uint32_t addr, THostEntry* buf) {
    return startLookup(wnd, msg, buf, [addr](THostEntry& e) { return resolveAddr(addr, e); });
}

int WSACancelAsyncRequest(HANDLE h) {
    auto& m = lookups();
    auto it = m.find(h);
    if (it == m.end()) return fail(WSAEINVAL);
    it->second->cancelled = true;
    m.erase(it);
    return 0;
}

// The per-thread entry of a name, or nullptr with the error set. With
// IPv4Only a name without an IPv4 address fails as the platform's would.
static const THostEntry* hostEntry(const char* name, bool IPv4Only) {
    thread_local THostEntry entry;
    int err = resolveName(name ? name : "", entry);
    if (err == 0 && IPv4Only && entry.h_addr_list.empty()) err = WSANO_DATA;
    if (err) {
        lastError = err;
        return nullptr;
    }
    return &entry;
}

const THostEntry* gethostbyname(const char* name) { return hostEntry(name, true); }

const THostEntry* WSAGetHostAddresses(const char* name) { return hostEntry(name, false); }

const THostEntry* gethostbyaddr(const char* addr, int len, int type) {
    thread_local THostEntry entry;
    if (!addr || len != 4 || type != AF_INET) {
        lastError = WSAEFAULT;
        return nullptr;
    }
    uint32_t a;
    std::memcpy(&a, addr, 4);
    const int err = resolveAddr(a, entry);
    if (err) {
        lastError = err;
        return nullptr;
    }
    return &entry;
}

int gethostname(char* name, int namelen) {
    if (::gethostname(name, static_cast<size_t>(namelen)) != 0) return failErrno();
    return 0;
}

const servent* getservbyname(const char* name, const char* proto) {
    const servent* e = ::getservbyname(name, proto);
    if (!e) lastError = WSANO_DATA;
    return e;
}

const protoent* getprotobyname(const char* name) {
    const protoent* e = ::getprotobyname(name);
    if (!e) lastError = WSANO_DATA;
    return e;
}

SOCKET socket(int af, int type, int protocol) {
    const int s = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (s < 0) failErrno();
    return s;
}

int shutdown(SOCKET s, int how) { return ::shutdown(s, how) == 0 ? 0 : failErrno(); }

int setsockopt(SOCKET s, int level, int optname, const void* optval, int optlen) {
    return ::setsockopt(s, level, optname, optval, static_cast<socklen_t>(optlen)) == 0 ? 0 : failErrno();
}

int getsockopt(SOCKET s, int level, int optname, void* optval, int* optlen) {
    socklen_t len = static_cast<socklen_t>(*optlen);
    if (::getsockopt(s, level, optname, optval, &len) != 0) return failErrno();
    *optlen = static_cast<int>(len);
    return 0;
}

// A send that would block, or that could take only part of the bytes, arms
// the write side: FD_WRITE follows when there is room again. (The kernel may
// accept a short count without ever saying "would block".)
static int afterSend(SOCKET s, ssize_t n, int len) {
    const int err = errno;
    if ((n >= 0 && n < len) || (n < 0 && (err == EAGAIN || err == EWOULDBLOCK)))
        if (auto rec = recordOf(s)) armWrite(rec);
    if (n >= 0) return static_cast<int>(n);
    return fail(ErrnoToWSA(err));
}

int send(SOCKET s, const void* buf, int len, int flags) {
    return afterSend(s, ::send(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL), len);
}

int sendto(SOCKET s, const void* buf, int len, int flags, const sockaddr* to, int tolen) {
    return afterSend(s, ::sendto(s, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, to,
                                 static_cast<socklen_t>(tolen)), len);
}

// Any receive re-enables the read event, as the platform does.
static int afterRecv(SOCKET s, ssize_t n) {
    const int err = errno;
    if (auto rec = recordOf(s)) {
        rec->received = true;
        armRead(rec);
    }
    if (n >= 0) return static_cast<int>(n);
    return fail(ErrnoToWSA(err));
}

int recv(SOCKET s, void* buf, int len, int flags) {
    return afterRecv(s, ::recv(s, buf, static_cast<size_t>(len < 0 ? 0 : len), flags));
}

int recvfrom(SOCKET s, void* buf, int len, int flags, sockaddr* from, int* fromlen) {
    socklen_t fl = fromlen ? static_cast<socklen_t>(*fromlen) : 0;
    const ssize_t n = ::recvfrom(s, buf, static_cast<size_t>(len < 0 ? 0 : len), flags, from,
                                 fromlen ? &fl : nullptr);
    if (fromlen && n >= 0) *fromlen = static_cast<int>(fl);
    return afterRecv(s, n);
}

uint16_t ntohs(uint16_t v) { return ::ntohs(v); }
uint32_t ntohl(uint32_t v) { return ::ntohl(v); }
uint16_t htons(uint16_t v) { return ::htons(v); }
uint32_t htonl(uint32_t v) { return ::htonl(v); }

int listen(SOCKET s, int backlog) {
    if (::listen(s, backlog) != 0) return failErrno();
    if (auto rec = recordOf(s)) {
        rec->listening = true;
        armRead(rec);
    }
    return 0;
}

int ioctlsocket(SOCKET s, long cmd, u_long* argp) {
    if (!argp) return fail(WSAEFAULT);
    if (cmd == FIONREAD_) {
        int n = 0;
        if (::ioctl(s, FIONREAD, &n) != 0) return failErrno();
        *argp = static_cast<u_long>(n);
        return 0;
    }
    if (cmd == SIOCOUTQ_) {
        int n = 0;
        if (::ioctl(s, TIOCOUTQ, &n) != 0) return failErrno();
        *argp = static_cast<u_long>(n);
        return 0;
    }
    if (cmd == FIONBIO_) {
        const int flags = ::fcntl(s, F_GETFL);
        if (flags < 0) return failErrno();
        const int want = *argp ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
        return ::fcntl(s, F_SETFL, want) == 0 ? 0 : failErrno();
    }
    return fail(WSAEINVAL);
}

int WSAIoctl(SOCKET s, uint32_t code, const void* in, uint32_t inLen, void*, uint32_t,
             uint32_t* bytesReturned, void*, void*) {
    if (bytesReturned) *bytesReturned = 0;
    if (code == SIO_KEEPALIVE_VALS) {
        if (!in || inLen < sizeof(tcp_keepalive)) return fail(WSAEFAULT);
        const auto* ka = static_cast<const tcp_keepalive*>(in);
        const int on = ka->onoff ? 1 : 0;
        if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) return failErrno();
        if (!on) return 0;
        // The kernel counts whole seconds; round up so a short time is not 0.
        const int idle = static_cast<int>((ka->keepalivetime + 999) / 1000);
        const int intvl = static_cast<int>((ka->keepaliveinterval + 999) / 1000);
        if (idle > 0 && ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0) return failErrno();
        if (intvl > 0 && ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &intvl, sizeof intvl) != 0)
            return failErrno();
        return 0;
    }
    return fail(WSAEOPNOTSUPP);  // capturing all traffic has no counterpart here
}

std::string inet_ntoa(in_addr a) {
    char buf[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &a, buf, sizeof buf) ? std::string(buf) : std::string();
}

uint32_t inet_addr(const char* cp) { return cp ? ::inet_addr(cp) : INADDR_NONE; }

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getsockname(s, name, &len) != 0) return failErrno();
    *namelen = static_cast<int>(len);
    return 0;
}

int getpeername(SOCKET s, sockaddr* name, int* namelen) {
    socklen_t len = static_cast<socklen_t>(*namelen);
    if (::getpeername(s, name, &len) != 0) return failErrno();
    *namelen = static_cast<int>(len);
    return 0;
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
    const int rc = ::connect(s, name, static_cast<socklen_t>(namelen));
    const int err = rc == 0 ? 0 : errno;
    auto rec = recordOf(s);
    if (!rec || !(rec->mask & FD_CONNECT)) return rc == 0 ? 0 : fail(ErrnoToWSA(err));
    // Under async select every outcome comes as FD_CONNECT, in order, even
    // one the kernel knew at once.
    if (err == EINPROGRESS || err == EAGAIN) {
        rec->connecting = true;
        rec->rd->setEnabled(false);
        armWrite(rec);
    } else {
        rec->connecting = true;
        finishConnect(rec, ErrnoToWSA(err));
    }
    return fail(WSAEWOULDBLOCK);
}

int closesocket(SOCKET s) {
    // The notifiers go before the descriptor does. A handler that readNow
    // runs may close its socket from inside the read notifier's own signal:
    // they are then disarmed now and freed back in the loop.
    auto it = records().find(s);
    if (it != records().end()) {
        const std::shared_ptr<SelectRec> rec = it->second;
        records().erase(it);
        if (directDepth > 0)
            for (auto* n : {&rec->rd, &rec->wr})
                if (*n) {
                    (*n)->setEnabled(false);
                    n->release()->deleteLater();
                }
    }
    return ::close(s) == 0 ? 0 : failErrno();
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
    return ::bind(s, name, static_cast<socklen_t>(namelen)) == 0 ? 0 : failErrno();
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
    socklen_t len = addrlen ? static_cast<socklen_t>(*addrlen) : 0;
    const int fd = ::accept4(s, addr, addrlen ? &len : nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    const int err = errno;
    if (auto rec = recordOf(s)) armRead(rec);
    if (fd < 0) return fail(ErrnoToWSA(err));
    if (addrlen) *addrlen = static_cast<int>(len);
    return fd;
}

void* GetProcAddress(const char* name) {
#define WS_ENTRY(fn) {#fn, reinterpret_cast<void*>(&fn)}
    static const std::map<std::string, void*> table = {
        WS_ENTRY(WSAStartup), WS_ENTRY(WSACleanup), WS_ENTRY(WSASetLastError), WS_ENTRY(WSAGetLastError),
        WS_ENTRY(WSACancelAsyncRequest), WS_ENTRY(WSAAsyncGetHostByName), WS_ENTRY(WSAAsyncGetHostByAddr),
        WS_ENTRY(WSAAsyncSelect), WS_ENTRY(getservbyname), WS_ENTRY(getprotobyname),
        WS_ENTRY(gethostbyname), WS_ENTRY(gethostbyaddr), WS_ENTRY(gethostname), WS_ENTRY(socket),
        WS_ENTRY(shutdown), WS_ENTRY(setsockopt), WS_ENTRY(getsockopt), WS_ENTRY(sendto), WS_ENTRY(send),
        WS_ENTRY(ntohs), WS_ENTRY(ntohl), WS_ENTRY(listen), WS_ENTRY(ioctlsocket), WS_ENTRY(WSAIoctl),
        WS_ENTRY(inet_ntoa), WS_ENTRY(inet_addr), WS_ENTRY(htons), WS_ENTRY(htonl),
        WS_ENTRY(getsockname), WS_ENTRY(getpeername), WS_ENTRY(connect), WS_ENTRY(closesocket),
        WS_ENTRY(bind), WS_ENTRY(accept), WS_ENTRY(recv), WS_ENTRY(recvfrom),
    };
#undef WS_ENTRY
    if (!name) return nullptr;
    auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

}  // namespace ws
