#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "net/twsocket.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace net;
using testsupport::LoopbackPeer;

namespace {

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

// Everything a proxied connection reports, in order.
struct ProxyClient {
    TWSocket sock;
    std::vector<std::string> events;
    std::string data;
    bool closed = false;
    ProxyClient() {
        sock.OnSocksConnected = [this](rtl::TObject*, uint16_t e) { events.push_back("socks-connected " + std::to_string(e)); };
        sock.OnSocksError = [this](rtl::TObject*, int e, const std::string& m) {
            events.push_back("socks-error " + std::to_string(e) + " " + m);
        };
        sock.OnSocksAuthState = [this](rtl::TObject*, TSocksAuthState a) {
            static const char* names[] = {"start", "success", "failure", "not-required"};
            events.push_back(std::string("auth ") + names[a]);
        };
        sock.OnSessionConnected = [this](rtl::TObject*, uint16_t e) { events.push_back("connected " + std::to_string(e)); };
        sock.OnSessionClosed = [this](rtl::TObject*, uint16_t e) {
            events.push_back("closed " + std::to_string(e));
            closed = true;
        };
        sock.OnDataAvailable = [this](rtl::TObject*, uint16_t) {
            const std::string s = sock.ReceiveStr();
            if (!s.empty()) events.push_back("data " + s);
            data += s;
        };
    }
    void connectVia(uint16_t proxyPort, const std::string& level, const std::string& host, const std::string& port) {
        sock.SetSocksServer("127.0.0.1");
        sock.SetSocksPort(std::to_string(proxyPort));
        sock.SetSocksLevel(level);
        sock.SetAddr(host);
        sock.SetPort(port);
        sock.Connect();
    }
    bool waitClosed() {
        return win::PumpUntil([this] { return closed; }, 10000);
    }
};

}  // namespace

TEST(Socks, LevelRules) {
    TWSocket s;
    s.SetSocksLevel("4a");
    EXPECT_EQ(s.SocksLevel(), "4A");
    try {
        s.SetSocksLevel("6");
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Invalid socks level. Must be 4, 4A or 5.");
    }
    s.SetSocksServer("127.0.0.1");
    s.SetProto("udp");
    s.SetAddr("x");
    s.SetPort("1");
    s.SetSocksPort("1080");
    try {
        s.Connect();
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "TCP is the only protocol supported thru socks server");
    }
    EXPECT_THROW(s.Listen(), ESocketException);
}

// Level 4 and 4A requests on the wire, and what each reply code does.
TEST(Socks, Level4RepliesAndRequests) {
    struct Case {
        std::string level;
        int reply;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"4", 90, {"socks-connected 0", "connected 0", "data +OK", "closed 0"}},
        {"4A", 90, {"socks-connected 0", "connected 0", "data +OK", "closed 0"}},
        {"4", 91, {"socks-connected 0", "socks-error 20016 request rejected or failed", "connected 20016", "closed 20016"}},
        {"4", 92, {"socks-connected 0", "socks-error 20008 connection refused", "connected 20008", "closed 20008"}},
        {"4", 93, {"socks-connected 0", "socks-error 20015 authentification failed", "connected 20015", "closed 20015"}},
        {"4", 77, {"socks-connected 0", "socks-error 20012 unassigned error #77", "connected 20012", "closed 20012"}},
    };
    for (const auto& c : cases) {
        std::string request;
        LoopbackPeer proxy([&](int fd) {
            request = testsupport::recvExactly(fd, c.level == "4A" ? 23 : 13);
            testsupport::sendAll(fd, bytes({0, c.reply, 0, 0, 0, 0, 0, 0}));
            if (c.reply == 90) testsupport::sendAll(fd, "+OK");
        });
        ProxyClient p;
        p.sock.SocksUsercode = "fred";
        p.connectVia(proxy.port(), c.level, c.level == "4A" ? "mail.test" : "10.1.2.3", "110");
        ASSERT_TRUE(p.waitClosed()) << c.level << " " << c.reply;
        EXPECT_EQ(p.events, c.events) << c.level << " " << c.reply;
        const std::string head = bytes({4, 1, 0, 110});
        if (c.level == "4")
            EXPECT_EQ(request, head + bytes({10, 1, 2, 3}) + "fred" + bytes({0}));
        else
            EXPECT_EQ(request, head + bytes({0, 0, 0, 1}) + "fred" + bytes({0}) + "mail.test" + bytes({0}));
    }
}

TEST(Socks, Level5ExchangeWithBytesRightBehindTheReply) {
    std::string offer, auth, request;
    LoopbackPeer proxy([&](int fd) {
        offer = testsupport::recvExactly(fd, 3);
        testsupport::sendAll(fd, bytes({5, 2}));
        auth = testsupport::recvExactly(fd, 1 + 1 + 4 + 1 + 6);
        testsupport::sendAll(fd, bytes({1, 0}));
        request = testsupport::recvExactly(fd, 4 + 1 + 8 + 2);
        // The reply and the target's first bytes in one segment.
        testsupport::sendAll(fd, bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 110}) + "+OK ready\r\n");
    });
    ProxyClient p;
    p.sock.SocksAuthentication = socksAuthenticateUsercode;
    p.sock.SocksUsercode = "fred";
    p.sock.SocksPassword = "secret";
    p.connectVia(proxy.port(), "5", "10.1.2.3", "110");
    ASSERT_TRUE(p.waitClosed());
    EXPECT_EQ(p.events, (std::vector<std::string>{"socks-connected 0", "auth start", "auth success", "connected 0",
                                                  "data +OK ready\r\n", "closed 0"}));
    EXPECT_EQ(offer, bytes({5, 1, 2}));
    EXPECT_EQ(auth, bytes({1, 4}) + "fred" + bytes({6}) + "secret");
    // The host goes as a name even when it is a dotted address.
    EXPECT_EQ(request, bytes({5, 1, 0, 3, 8}) + "10.1.2.3" + bytes({0, 110}));
    EXPECT_TRUE(p.sock.SocksServer().empty()) << "a close forgets the proxy";
}

// The lines that came with the reply are delivered at once, not at the close.
TEST(Socks, Level5LineModeSeesTheFirstLinesWhileTheConnectionStaysOpen) {
    LoopbackPeer proxy([&](int fd) {
        testsupport::recvExactly(fd, 3);
        testsupport::sendAll(fd, bytes({5, 0}));
        testsupport::recvExactly(fd, 4 + 1 + 9 + 2);
        testsupport::sendAll(fd, bytes({5, 0, 0, 3, 9}) + "localhost" + bytes({0, 110}) + "+OK a\r\n+OK b\r\n");
        char x;
        ::recv(fd, &x, 1, 0);
    });
    ProxyClient p;
    p.sock.SetLineMode(true);
    p.sock.SocksAuthentication = socksAuthenticateUsercode;  // offered, not required
    p.connectVia(proxy.port(), "5", "localhost", "110");
    ASSERT_TRUE(win::PumpUntil([&] { return p.events.size() >= 5; }, 5000));
    EXPECT_EQ(p.events, (std::vector<std::string>{"socks-connected 0", "auth not-required", "connected 0",
                                                  "data +OK a\r\n", "data +OK b\r\n"}));
    p.sock.Close();
}

TEST(Socks, Level5Failures) {
    struct Case {
        std::string reply;
        int code;
        std::string text;
    };
    const Case cases[] = {
        {bytes({5, 1, 0, 1}), 20004, "general SOCKS server failure"},
        {bytes({5, 5, 0, 1}), 20008, "connection refused"},
        {bytes({5, 8, 0, 1}), 20011, "address type not supported"},
        {bytes({5, 9, 0, 1}), 20012, "unassigned error #9"},
        {bytes({4, 0, 0, 1}), 20002, "socks version error"},
        {bytes({5, 0, 0, 4, 0, 0}), 20011, "address type not supported"},  // IPv6 is not taken
    };
    for (const auto& c : cases) {
        LoopbackPeer proxy([&](int fd) {
            testsupport::recvExactly(fd, 3);
            testsupport::sendAll(fd, bytes({5, 0}));
            testsupport::recvExactly(fd, 4 + 1 + 1 + 2);
            testsupport::sendAll(fd, c.reply);
            char x;
            ::recv(fd, &x, 1, 0);
        });
        ProxyClient p;
        p.connectVia(proxy.port(), "5", "h", "110");
        ASSERT_TRUE(p.waitClosed()) << c.text;
        const std::string code = std::to_string(c.code);
        EXPECT_EQ(p.events, (std::vector<std::string>{"socks-connected 0", "socks-error " + code + " " + c.text,
                                                      "connected " + code, "closed " + code}));
    }
}

TEST(Socks, RefusesMethodAndBadAuthentication) {
    LoopbackPeer proxy([&](int fd) {
        testsupport::recvExactly(fd, 3);
        testsupport::sendAll(fd, bytes({5, 2}));
        testsupport::recvExactly(fd, 5);
        testsupport::sendAll(fd, bytes({1, 1}));
        char x;
        ::recv(fd, &x, 1, 0);
    });
    ProxyClient p;
    p.sock.SocksAuthentication = socksAuthenticateUsercode;
    p.sock.SocksUsercode = "u";
    p.sock.SocksPassword = "p";
    p.connectVia(proxy.port(), "5", "h", "110");
    ASSERT_TRUE(p.waitClosed());
    EXPECT_EQ(p.events,
              (std::vector<std::string>{"socks-connected 0", "auth start", "socks-error 20015 socks authentication failed",
                                        "connected 20015", "closed 20015"}));
}

// Fields the protocol carries with a one-byte length are refused, not cut or overflowed.
TEST(Socks, OverlongFieldsAreRefused) {
    LoopbackPeer proxy([&](int fd) {
        testsupport::recvExactly(fd, 3);
        testsupport::sendAll(fd, bytes({5, 2}));
        char x;
        ::recv(fd, &x, 1, 0);
    });
    ProxyClient p;
    p.sock.SocksAuthentication = socksAuthenticateUsercode;
    p.sock.SocksUsercode = std::string(256, 'u');
    p.sock.SocksPassword = "p";
    p.connectVia(proxy.port(), "5", "h", "110");
    ASSERT_TRUE(p.waitClosed());
    ASSERT_GE(p.events.size(), 2u);
    EXPECT_EQ(p.events[1], "socks-error 20001 SOCKS user name or password longer than 255 bytes");
}

// However the exchange fails, the failure arrives three ways with its code:
// the SOCKS error event, the connected event and the closed event.
TEST(Socks, AProxyThatHangsUpOrIsAbsentFailsThroughTheErrorEvent) {
    struct Case {
        const char* what;
        std::function<void(int fd)> proxy;  // none: nothing listens
        std::string level;
        int code;
        std::string text;
    };
    const std::string closed = "the SOCKS proxy closed the connection";
    const Case cases[] = {
        {"hangs up at once", [](int) {}, "5", 10054, closed},
        {"hangs up after the method reply",
         [](int fd) {
             testsupport::recvExactly(fd, 3);
             testsupport::sendAll(fd, bytes({5, 0}));
             testsupport::recvExactly(fd, 4 + 1 + 1 + 2);
         },
         "5", 10054, closed},
        {"hangs up half way through its reply",
         [](int fd) {
             testsupport::recvExactly(fd, 3);
             testsupport::sendAll(fd, bytes({5, 0}));
             testsupport::recvExactly(fd, 4 + 1 + 1 + 2);
             testsupport::sendAll(fd, bytes({5, 0, 0, 1, 127}));
         },
         "5", 10054, closed},
        {"level 4, hangs up on the request", [](int fd) { testsupport::recvExactly(fd, 9); }, "4", 10054, closed},
        {"is not there", nullptr, "5", 10061, "could not connect to the SOCKS proxy"},
    };
    for (const auto& c : cases) {
        std::unique_ptr<LoopbackPeer> proxy;
        if (c.proxy) proxy = std::make_unique<LoopbackPeer>(c.proxy);
        ProxyClient p;
        p.connectVia(proxy ? proxy->port() : testsupport::closedPort(), c.level, c.level == "4" ? "10.1.2.3" : "h",
                     "110");
        ASSERT_TRUE(p.waitClosed()) << c.what;
        const std::string code = std::to_string(c.code);
        EXPECT_EQ(p.events, (std::vector<std::string>{"socks-connected " + std::string(c.proxy ? "0" : code),
                                                      "socks-error " + code + " " + c.text, "connected " + code,
                                                      "closed " + code}))
            << c.what;
    }
}

// A proxy that says nothing, or a little and then nothing, or keeps sending
// a byte at a time, is given up once the time-out has passed since Connect.
TEST(Socks, ASilentOrDribblingProxyIsGivenUpAfterTheTimeout) {
    // Sends Bytes one at a time, 50 ms apart, while the client stays.
    auto dribble = [](int fd, const std::string& data) {
        for (char b : data) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) != 0) return;  // the client went
            testsupport::sendAll(fd, std::string(1, b));
        }
    };
    struct Case {
        const char* what;
        std::function<void(int fd)> proxy;
    };
    const Case cases[] = {
        {"silent", [](int fd) { testsupport::recvAll(fd); }},
        {"half a method reply",
         [](int fd) {
             testsupport::recvExactly(fd, 3);
             testsupport::sendAll(fd, bytes({5}));
             testsupport::recvAll(fd);
         }},
        {"a byte at a time",
         [&](int fd) {
             testsupport::recvExactly(fd, 3);
             testsupport::sendAll(fd, bytes({5, 0}));
             testsupport::recvExactly(fd, 4 + 1 + 1 + 2);
             // A name reply of 255 bytes would take 13 s at this pace.
             dribble(fd, bytes({5, 0, 0, 3, 255}) + std::string(255, 'x'));
             testsupport::recvAll(fd);
         }},
    };
    for (const auto& c : cases) {
        LoopbackPeer proxy(c.proxy);
        ProxyClient p;
        p.sock.SocksTimeout = 400;
        const uint32_t start = win::GetTickCount();
        p.connectVia(proxy.port(), "5", "h", "110");
        ASSERT_TRUE(p.waitClosed()) << c.what;
        const int64_t took = win::TicksSince(start);
        EXPECT_GE(took, 380) << c.what;
        EXPECT_LT(took, 3000) << c.what;
        EXPECT_EQ(p.events, (std::vector<std::string>{"socks-connected 0",
                                                      "socks-error 10060 the SOCKS proxy did not connect within 400 ms",
                                                      "connected 10060", "closed 10060"}))
            << c.what;
    }
}

// Real proxies, started by the test fixture; their ports are in the
// folder named by PWX_SOCKS_STATE.
namespace {
int fixturePort(const char* name) {
    const char* dir = std::getenv("PWX_SOCKS_STATE");
    if (!dir) return 0;
    std::ifstream f(std::string(dir) + "/" + name);
    int port = 0;
    f >> port;
    return port;
}

std::string echoThroughProxy(int proxyPort, TSocksAuthentication auth, const std::string& user,
                             const std::string& pass, std::vector<std::string>* events = nullptr) {
    LoopbackPeer target([](int fd) {
        testsupport::sendAll(fd, "+OK target\r\n");
        const std::string got = testsupport::recvExactly(fd, 6);
        testsupport::sendAll(fd, "echo " + got);
    });
    ProxyClient p;
    p.sock.SetLineMode(true);
    p.sock.SocksAuthentication = auth;
    p.sock.SocksUsercode = user;
    p.sock.SocksPassword = pass;
    p.sock.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        const std::string line = p.sock.ReceiveStr();
        p.data += line;
        if (line == "+OK target\r\n") p.sock.SendStr("ping\r\n");
    };
    p.connectVia(static_cast<uint16_t>(proxyPort), "5", "127.0.0.1", target.portText());
    EXPECT_TRUE(p.waitClosed());
    if (events) *events = p.events;
    return p.data;
}
}  // namespace

TEST(SocksPeers, DanteWithAndWithoutAuthentication) {
    const int port = fixturePort("danted.port");
    ASSERT_GT(port, 0) << "the danted fixture did not start";
    EXPECT_EQ(echoThroughProxy(port, socksNoAuthentication, "", ""), "+OK target\r\necho ping\r\n");
    EXPECT_EQ(echoThroughProxy(port, socksAuthenticateUsercode, "pwxsocks", "pwx-socks-pass"),
              "+OK target\r\necho ping\r\n");
    std::vector<std::string> events;
    EXPECT_EQ(echoThroughProxy(port, socksAuthenticateUsercode, "pwxsocks", "wrong", &events), "");
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2], "socks-error 20015 socks authentication failed");
}

TEST(SocksPeers, Microsocks) {
    const int port = fixturePort("microsocks.port");
    ASSERT_GT(port, 0) << "the microsocks fixture did not start";
    EXPECT_EQ(echoThroughProxy(port, socksNoAuthentication, "", ""), "+OK target\r\necho ping\r\n");
}
