#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "net/twsocket.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace net;
using testsupport::LoopbackPeer;

namespace {

// Writes every event of a socket into one ordered log.
struct Recorder {
    explicit Recorder(TCustomWSocket& s) : sock(s) {
        s.OnChangeState = [this](rtl::TObject*, TSocketState, TSocketState n) {
            events.push_back(std::string("state ") + SocketStateName(n));
        };
        s.OnSessionConnected = [this](rtl::TObject*, uint16_t e) { events.push_back("connected " + std::to_string(e)); };
        s.OnSessionClosed = [this](rtl::TObject*, uint16_t e) {
            events.push_back("closed " + std::to_string(e));
            closed = true;
        };
        s.OnDataSent = [this](rtl::TObject*, uint16_t) { ++dataSent; };
        s.OnSendData = [this](rtl::TObject*, int n) { sends.push_back(n); };
    }
    void readAll() {
        sock.OnDataAvailable = [this](rtl::TObject*, uint16_t) {
            char buf[8192];
            int n;
            while ((n = sock.Receive(buf, sizeof buf)) > 0) {
                received.append(buf, static_cast<size_t>(n));
                if (closed) dataAfterClose = true;
            }
        };
    }
    bool waitClosed(int ms = 10000) {
        return win::PumpUntil([this] { return closed; }, ms);
    }
    TCustomWSocket& sock;
    std::vector<std::string> events;
    std::vector<int> sends;
    std::string received;
    int dataSent = 0;
    bool closed = false;
    bool dataAfterClose = false;
};

void connectTo(TCustomWSocket& s, uint16_t port, const std::string& addr = "127.0.0.1") {
    s.SetAddr(addr);
    s.SetPort(std::to_string(port));
    s.Connect();
}

// A port of Family's loopback address where nothing listens.
uint16_t closedPort(int family) {
    uint16_t port = 0;
    ::close(testsupport::listenOnLoopback(port, family));
    return port;
}

// The loopback address of each family, as the socket is given it and as it
// tells it back.
struct Loopback {
    int family;
    const char* given;
    const char* told;
};
const Loopback kLoopbacks[] = {
    {AF_INET, "127.0.0.1", "127.0.0.1"}, {AF_INET6, "::1", "::1"}, {AF_INET6, "0:0:0:0:0:0:0:1", "::1"}};

bool waitConnected(TCustomWSocket& s) {
    return win::PumpUntil([&] { return s.State() == wsConnected; }, 10000);
}

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return s;
}

}  // namespace

TEST(Socket, RefusedConnectionRaisesItsEventsInOrder) {
    for (const Loopback& l : kLoopbacks) {
        SCOPED_TRACE(l.given);
        TWSocket s;
        Recorder r(s);
        connectTo(s, closedPort(l.family), l.given);
        ASSERT_TRUE(r.waitClosed());
        EXPECT_EQ(r.events, (std::vector<std::string>{"state wsOpened", "state wsConnecting", "state wsConnected",
                                                      "connected 10061", "state wsClosed", "closed 0"}));
    }
    EXPECT_EQ(GetWinsockErr(10061), "Connection refused (#10061)");
}

TEST(Socket, EitherFamilyCarriesTheSameConversationWithTheSameEvents) {
    // The peer answers "ping" with "pong" and hangs up. Over IPv6 the events
    // are those of IPv4, in the same order, and the address getters tell the
    // IPv6 addresses.
    std::vector<std::string> ipv4Events;
    for (const Loopback& l : kLoopbacks) {
        SCOPED_TRACE(l.given);
        LoopbackPeer peer(
            [](int fd) {
                if (testsupport::recvExactly(fd, 4) == "ping") testsupport::sendAll(fd, "pong");
            },
            l.family);
        TWSocket s;
        Recorder r(s);
        r.readAll();
        std::string peerAddr, peerPort, localAddr;
        s.OnSessionConnected = [&](rtl::TObject*, uint16_t e) {
            r.events.push_back("connected " + std::to_string(e));
            peerAddr = s.PeerAddr();
            peerPort = s.PeerPort();
            localAddr = s.GetXAddr();
            s.SendStr("ping");
        };
        connectTo(s, peer.port(), l.given);
        ASSERT_TRUE(r.waitClosed());
        EXPECT_EQ(r.received, "pong");
        EXPECT_EQ(peerAddr, l.told);
        EXPECT_EQ(peerPort, peer.portText());
        EXPECT_EQ(localAddr, l.told);
        if (l.family == AF_INET) ipv4Events = r.events;
        EXPECT_EQ(r.events, ipv4Events);
    }
}

TEST(Socket, ThreeThousandBytesLeaveAsFullBlocksWithOneDataSent) {
    std::string got;
    LoopbackPeer peer([&](int fd) { got = testsupport::recvAll(fd); });
    TWSocket s;
    Recorder r(s);
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    // The platform's "you may send" after the connect gives one data-sent first.
    ASSERT_TRUE(win::PumpUntil([&] { return r.dataSent == 1; }, 5000));
    r.dataSent = 0;
    r.sends.clear();
    const std::string data = pattern(3000);
    EXPECT_EQ(s.SendStr(data), 3000);
    EXPECT_EQ(r.sends, (std::vector<int>{1460, 1460, 80}));
    EXPECT_EQ(s.QueuedByteCount(), 0);
    EXPECT_EQ(r.dataSent, 0) << "data-sent must come from the loop, after Send returned";
    win::PumpFor(100);
    EXPECT_EQ(r.dataSent, 1);
    s.Close();
    peer.join();
    EXPECT_EQ(got, data);
}

TEST(Socket, DataSentBeforeThePeerClosesIsDeliveredBeforeTheCloseEvent) {
    const std::string data = pattern(200000);
    LoopbackPeer peer([&](int fd) { testsupport::sendAll(fd, data); });
    TWSocket s;
    Recorder r(s);
    r.readAll();
    connectTo(s, peer.port());
    ASSERT_TRUE(r.waitClosed());
    EXPECT_EQ(r.received.size(), data.size());
    EXPECT_TRUE(r.received == data);
    EXPECT_FALSE(r.dataAfterClose);
    EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "closed 0"), 1);
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, UnreadDataIsDeliveredWhenTheCloseArrives) {
    // The handler reads one byte per event; the close must still drain the rest first.
    LoopbackPeer peer([](int fd) { testsupport::sendAll(fd, "0123456789"); });
    TWSocket s;
    Recorder r(s);
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        char c;
        if (s.Receive(&c, 1) == 1) {
            r.received += c;
            if (r.closed) r.dataAfterClose = true;
        }
    };
    connectTo(s, peer.port());
    ASSERT_TRUE(r.waitClosed());
    EXPECT_EQ(r.received, "0123456789");
    EXPECT_FALSE(r.dataAfterClose);
}

TEST(Socket, WithoutAReaderDataIsDiscarded) {
    std::atomic<bool> release{false};
    LoopbackPeer peer([&](int fd) {
        testsupport::sendAll(fd, std::string(5000, 'z'));
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    TWSocket s;
    connectTo(s, peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return s.ReadCount() == 5000; }, 10000));
    EXPECT_EQ(s.RcvdCount(), 0);
    release = true;
}

TEST(Socket, NoReceiveLoopRaisesOneEventPerReadEvent) {
    std::atomic<bool> release{false};
    LoopbackPeer peer([&](int fd) {
        testsupport::sendAll(fd, std::string(100, 'q'));
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    TWSocket s;
    s.ComponentOptions = wsoNoReceiveLoop;
    int calls = 0;
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) { ++calls; };  // reads nothing
    connectTo(s, peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return calls > 0; }, 5000));
    win::PumpFor(100);
    EXPECT_EQ(calls, 1);
    // Without the option, a handler that reads nothing is not called in a loop either.
    s.ComponentOptions = 0;
    char c;
    s.Receive(&c, 1);  // re-arms the read event
    win::PumpFor(100);
    EXPECT_EQ(calls, 2);
    release = true;
}

TEST(Socket, SendWhileClosedNamesTheOperation) {
    TWSocket s;
    try {
        s.SendStr("x");
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Socket is not connected (#10057 in Send)");
    }
    // With OnError assigned the report goes there instead.
    int errors = 0;
    s.OnError = [&](rtl::TObject*) { ++errors; };
    EXPECT_EQ(s.SendStr("x"), -1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastError(), 10057);
}

TEST(Socket, PropertyRulesAroundConnect) {
    TWSocket s;
    s.SetAddr("127.0.0.1");
    try {
        s.Connect();
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Connect: No Port Specified");
    }
    s.SetPort("1");
    s.SetAddr("");
    EXPECT_THROW(s.Connect(), ESocketException);  // no address

    LoopbackPeer peer([](int fd) {
        char c;
        ::recv(fd, &c, 1, 0);
    });
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    s.SetAddr("127.0.0.1");  // the same value while connected is allowed
    try {
        s.SetAddr("127.0.0.2");
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Cannot change Addr if not closed");
    }
    EXPECT_THROW(s.SetPort("2"), ESocketException);
    EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
    EXPECT_EQ(s.PeerPort(), peer.portText());
    s.Close();
    // Every close forgets the address and port.
    EXPECT_EQ(s.Addr(), "");
    EXPECT_EQ(s.PeerAddr(), "error");
    try {
        s.Connect();
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "Connect: No Port Specified");
    }
    s.SetAddr("127.0.0.1");  // the old value is accepted again
}

TEST(Socket, OnErrorTakesAFailedConnect) {
    TWSocket s;
    int errors = 0;
    s.OnError = [&](rtl::TObject*) { ++errors; };
    s.SetAddr("no-such-host.invalid");
    s.SetPort("110");
    EXPECT_NO_THROW(s.Connect());
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, DnsLookupOfADottedAddressAnswersAtOnce) {
    TWSocket s;
    int done = -1;
    s.OnDnsLookupDone = [&](rtl::TObject*, uint16_t e) { done = e; };
    s.DnsLookup("10.1.2.3");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "10.1.2.3");
    // An IPv6 address too, in its usual form.
    done = -1;
    s.DnsLookup(" 0:0::1 ");
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "::1");
    EXPECT_EQ(s.DnsResultList().Count(), 1);

    done = -1;
    s.DnsLookup("localhost");
    EXPECT_EQ(done, -1) << "a name is looked up in the background";
    ASSERT_TRUE(win::PumpUntil([&] { return done >= 0; }, 10000));
    EXPECT_EQ(done, 0);
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    done = -1;
    s.DnsLookup("no-such-host.invalid");
    ASSERT_TRUE(win::PumpUntil([&] { return done >= 0; }, 10000));
    EXPECT_EQ(done, 11001);

    // Cancelling reports 10004 and the late answer is never seen.
    done = -1;
    s.DnsLookup("localhost");
    s.CancelDnsLookup();
    EXPECT_EQ(done, 10004);
    win::PumpFor(200);
    EXPECT_EQ(done, 10004);
}

TEST(Socket, ListenAcceptAndDupCarryAConversation) {
    for (const Loopback& l : kLoopbacks) {
        SCOPED_TRACE(l.given);
        TWSocket server;
        server.SetAddr(l.given);
        server.SetPort("0");
        TWSocket* accepted = nullptr;
        std::string serverGot;
        server.OnSessionAvailable = [&](rtl::TObject*, uint16_t) {
            accepted = new TWSocket(&server);
            accepted->OnDataAvailable = [&](rtl::TObject*, uint16_t) {
                serverGot += accepted->ReceiveStr();
                if (serverGot == "ping") accepted->SendStr("pong");
            };
            accepted->Dup(server.Accept());
        };
        server.Listen();
        EXPECT_EQ(server.State(), wsListening);
        const std::string port = server.GetXPort();
        ASSERT_NE(port, "0");
        EXPECT_EQ(server.GetXAddr(), l.told);

        TWSocket client;
        std::string clientGot;
        client.OnSessionConnected = [&](rtl::TObject*, uint16_t e) {
            if (!e) client.SendStr("ping");
        };
        client.OnDataAvailable = [&](rtl::TObject*, uint16_t) { clientGot += client.ReceiveStr(); };
        client.SetAddr(l.given);
        client.SetPort(port);
        client.Connect();
        ASSERT_TRUE(win::PumpUntil([&] { return clientGot == "pong"; }, 10000));
        ASSERT_NE(accepted, nullptr);
        EXPECT_EQ(accepted->State(), wsConnected);
        EXPECT_EQ(accepted->PeerPort(), client.GetXPort());
        EXPECT_EQ(accepted->PeerAddr(), l.told);
    }
}

TEST(Socket, BigSendToASlowReaderArrivesIntactWithoutBurningTheCpu) {
    // More than the kernel takes at once (loopback's send buffer starts at
    // about 2.6 MB), provided the reader has not read yet: reading lets the
    // kernel grow its receive buffer until it may swallow the whole send.
    const std::string data = pattern(6 * 1024 * 1024);
    std::string got;
    std::promise<void> sent;
    LoopbackPeer peer([&, handedOver = sent.get_future().share()](int fd) {
        handedOver.wait();
        char buf[65536];
        while (true) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    });
    TWSocket s;
    // Lets the reader go on every way out of the test, before the socket
    // closes and the peer is joined.
    struct Release {
        std::promise<void>& p;
        bool done = false;
        void now() {
            if (!std::exchange(done, true)) p.set_value();
        }
        ~Release() { now(); }
    } release{sent};
    Recorder r(s);
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    ASSERT_TRUE(win::PumpUntil([&] { return r.dataSent == 1; }, 5000));
    r.dataSent = 0;
    const double cpu0 = testsupport::threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.Send(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    EXPECT_GT(s.QueuedByteCount(), 0);
    release.now();
    ASSERT_TRUE(win::PumpUntil([&] { return r.dataSent > 0; }, 20000)) << "queued " << s.QueuedByteCount() << " got " << got.size() << " sends " << r.sends.size();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = testsupport::threadCpuSeconds() - cpu0;
    s.Close();
    peer.join();
    EXPECT_TRUE(got == data) << "received " << got.size() << " of " << data.size();
    EXPECT_EQ(r.dataSent, 1);
    // Waiting for room must sleep: the sender may use only a small share of the time.
    EXPECT_LT(cpu, 0.25 * wall) << "cpu " << cpu << " s over " << wall << " s";
}

TEST(Socket, CloseDeliversWhatWasHandedToSend) {
    const std::string data = pattern(16 * 1024 * 1024);  // more than the kernel buffers hold
    std::string got;
    LoopbackPeer peer([&](int fd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the queue back up
        got = testsupport::recvAll(fd);
    });
    TWSocket s;
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    s.Send(data.data(), static_cast<int>(data.size()));
    EXPECT_GT(s.QueuedByteCount(), 0);
    s.Close();
    peer.join();
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST(Socket, FlushGivesUpAfterFlushTimeout) {
    std::atomic<bool> release{false};
    LoopbackPeer peer([&](int) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    TWSocket s;
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    const std::string data = pattern(16 * 1024 * 1024);  // more than the kernel buffers hold
    s.Send(data.data(), static_cast<int>(data.size()));
    s.FlushTimeout = 1;
    s.Flush();
    EXPECT_GT(s.QueuedByteCount(), 0);
    release = true;
    s.Abort();
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, PeerResetDuringSendClosesOnceWithoutRaising) {
    std::atomic<bool> reset{false};
    LoopbackPeer peer([&](int fd) {
        while (!reset) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);  // the close resets
    });
    TWSocket s;
    Recorder r(s);
    connectTo(s, peer.port());
    ASSERT_TRUE(waitConnected(s));
    reset = true;
    peer.join();
    const std::string data = pattern(1024 * 1024);
    for (int i = 0; i < 20 && !r.closed; ++i) {
        s.Send(data.data(), static_cast<int>(data.size()));
        win::PumpFor(20);
    }
    ASSERT_TRUE(r.waitClosed());
    EXPECT_EQ(std::count_if(r.events.begin(), r.events.end(),
                            [](const std::string& e) { return e.rfind("closed", 0) == 0; }),
              1);
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, ExceptionInAHandlerGoesToBgExceptionAndAborts) {
    LoopbackPeer peer([](int fd) { testsupport::sendAll(fd, "x"); });
    TWSocket s;
    std::string caught;
    s.OnBgException = [&](rtl::TObject*, const std::exception& e, bool&) { caught = e.what(); };
    s.OnDataAvailable = [](rtl::TObject*, uint16_t) { throw rtl::Exception("handler failed"); };
    connectTo(s, peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return !caught.empty(); }, 5000));
    EXPECT_EQ(caught, "handler failed");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(Socket, ReleaseFreesTheSocketFromTheLoop) {
    auto* s = new TWSocket;
    bool gone = false;
    struct Watch : rtl::TComponent {
        bool* flag;
        void Notification(rtl::TComponent*, rtl::TOperation op) override {
            if (op == rtl::opRemove) *flag = true;
        }
    } watch;
    watch.flag = &gone;
    watch.FreeNotification(s);
    s->Release();
    EXPECT_FALSE(gone);
    ASSERT_TRUE(win::PumpUntil([&] { return gone; }, 5000));
}
