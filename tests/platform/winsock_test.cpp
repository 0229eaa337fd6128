#include <gtest/gtest.h>

#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/sock/winsock.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace ws;  // constants and types; calls are written ws::...

namespace {

constexpr win::UINT kSockMsg = win::WM_USER + 1;

// Records every socket-event message of one window.
struct EventLog {
    struct Ev {
        SOCKET s;
        int event, error;
    };
    EventLog() {
        wnd = win::AllocateHWnd([this](win::TMessage& m) {
            if (m.Msg == kSockMsg)
                events.push_back({static_cast<SOCKET>(m.WParam), WSAGETSELECTEVENT(m.LParam), WSAGETSELECTERROR(m.LParam)});
        });
    }
    ~EventLog() { win::DeallocateHWnd(wnd); }
    bool waitFor(int event, int ms = 5000) {
        return win::PumpUntil([&] {
            for (auto& e : events) if (e.event == event) return true;
            return false;
        }, ms);
    }
    std::vector<int> kinds() const {
        std::vector<int> r;
        for (auto& e : events) r.push_back(e.event);
        return r;
    }
    win::HWND wnd;
    std::vector<Ev> events;
};

sockaddr_in loopbackAddr(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = ::htons(port);
    a.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

TEST(Winsock, ErrnoMapsToWsaNumbers) {
    struct Case {
        int err, wsa;
    };
    const Case cases[] = {{ECONNREFUSED, 10061}, {ECONNRESET, 10054}, {EPIPE, 10054}, {EAGAIN, 10035},
                          {ENOTCONN, 10057},     {ETIMEDOUT, 10060},  {ECONNABORTED, 10053}, {EADDRINUSE, 10048},
                          {EHOSTUNREACH, 10065}, {0, 0}};
    for (const auto& c : cases) EXPECT_EQ(ErrnoToWSA(c.err), c.wsa) << c.err;
}

TEST(Winsock, RefusedConnectComesAsConnectEventWithItsError) {
    EventLog log;
    const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(ws::WSAAsyncSelect(s, log.wnd, kSockMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
    const auto a = loopbackAddr(testsupport::closedPort());
    EXPECT_EQ(ws::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_TRUE(log.waitFor(FD_CONNECT));
    EXPECT_EQ(log.events.front().error, WSAECONNREFUSED);
    win::PumpFor(30);
    EXPECT_EQ(log.kinds(), std::vector<int>{FD_CONNECT});  // no FD_WRITE after a failure
    ws::closesocket(s);
}

// A connect the kernel completes or refuses at once still arrives as FD_CONNECT,
// and a success is followed by FD_WRITE, as for one that completes later.
TEST(Winsock, ImmediateConnectOutcomesAreStillPostedInOrder) {
    char dir[] = "/tmp/pwx-sockXXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string path = std::string(dir) + "/l";
    const int lfd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un un{};
    un.sun_family = AF_UNIX;
    std::snprintf(un.sun_path, sizeof un.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(lfd, reinterpret_cast<sockaddr*>(&un), sizeof un), 0);
    ASSERT_EQ(::listen(lfd, 4), 0);

    EventLog log;
    const SOCKET s = ws::socket(AF_UNIX, SOCK_STREAM, 0);
    ws::WSAAsyncSelect(s, log.wnd, kSockMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
    EXPECT_EQ(ws::connect(s, reinterpret_cast<const sockaddr*>(&un), sizeof un), SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(log.events.empty()) << "reported before connect returned";
    ASSERT_TRUE(log.waitFor(FD_WRITE));
    EXPECT_EQ(log.kinds(), (std::vector<int>{FD_CONNECT, FD_WRITE}));
    EXPECT_EQ(log.events[0].error, 0);
    ws::closesocket(s);

    EventLog bad;
    const SOCKET s2 = ws::socket(AF_UNIX, SOCK_STREAM, 0);
    ws::WSAAsyncSelect(s2, bad.wnd, kSockMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
    sockaddr_un missing = un;
    std::snprintf(missing.sun_path, sizeof missing.sun_path, "%s/none", dir);
    ws::connect(s2, reinterpret_cast<const sockaddr*>(&missing), sizeof missing);
    ASSERT_TRUE(bad.waitFor(FD_CONNECT));
    EXPECT_NE(bad.events[0].error, 0);
    ws::closesocket(s2);
    ::close(lfd);
    ::unlink(path.c_str());
    ::rmdir(dir);
}

// The read event is posted again only after the application receives.
TEST(Winsock, ReadEventRearmsOnlyAfterReceive) {
    testsupport::LoopbackPeer peer([](int fd) {
        testsupport::sendAll(fd, std::string(100, 'x'));
        char c;
        ::recv(fd, &c, 1, 0);  // hold the connection until the client ends
    });
    EventLog log;
    const SOCKET s = ws::socket(AF_INET, SOCK_STREAM, 0);
    ws::WSAAsyncSelect(s, log.wnd, kSockMsg, FD_READ | FD_CONNECT | FD_CLOSE);
    const auto a = loopbackAddr(peer.port());
    ws::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    ASSERT_TRUE(log.waitFor(FD_READ));
    win::PumpFor(50);
    EXPECT_EQ(log.kinds(), (std::vector<int>{FD_CONNECT, FD_READ}));
    char buf[10];
    EXPECT_EQ(ws::recv(s, buf, sizeof buf, 0), 10);  // 90 bytes left: one more FD_READ
    win::PumpFor(50);
    EXPECT_EQ(log.kinds(), (std::vector<int>{FD_CONNECT, FD_READ, FD_READ}));
    ws::shutdown(s, SHUT_WR);
    ws::closesocket(s);
}

// Linux hands out a closed descriptor's number again at once; an event
// still queued for the old socket must not reach the new one.
TEST(Winsock, EventOfAClosedSocketNeverReachesItsSuccessor) {
    EventLog log;
    const SOCKET a = ws::socket(AF_INET, SOCK_STREAM, 0);
    ws::WSAAsyncSelect(a, log.wnd, kSockMsg, FD_READ | FD_CLOSE);
    ws::WSAPostSelectEvent(a, log.wnd, kSockMsg, WSAMAKESELECTREPLY(FD_READ, 0));
    ws::closesocket(a);
    const SOCKET b = ws::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(b, a) << "the test needs the number to be reused";
    ws::WSAAsyncSelect(b, log.wnd, kSockMsg, FD_READ | FD_CLOSE);
    ws::WSAPostSelectEvent(b, log.wnd, kSockMsg, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    ASSERT_TRUE(log.waitFor(FD_CLOSE));
    EXPECT_EQ(log.kinds(), std::vector<int>{FD_CLOSE});
    ws::closesocket(b);
}

TEST(Winsock, BackgroundLookupPostsItsAnswer) {
    EventLog log;
    THostEntry entry;
    int err = -1;
    const win::HWND w = win::AllocateHWnd([&](win::TMessage& m) { err = WSAGETSELECTERROR(m.LParam); });
    ASSERT_NE(ws::WSAAsyncGetHostByName(w, win::WM_USER + 2, "localhost", &entry), 0u);
    ASSERT_TRUE(win::PumpUntil([&] { return err >= 0; }, 10000));
    EXPECT_EQ(err, 0);
    ASSERT_FALSE(entry.h_addr_list.empty());
    EXPECT_EQ(ws::inet_ntoa(in_addr{entry.h_addr_list[0]}), "127.0.0.1");

    // A cancelled look-up never answers.
    err = -1;
    const HANDLE h = ws::WSAAsyncGetHostByName(w, win::WM_USER + 2, "localhost", &entry);
    EXPECT_EQ(ws::WSACancelAsyncRequest(h), 0);
    win::PumpFor(200);
    EXPECT_EQ(err, -1);
    win::DeallocateHWnd(w);
}
