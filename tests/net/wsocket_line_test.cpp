#include <gtest/gtest.h>

#include <QTimer>
#include <netinet/tcp.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/twsocket.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace net;
using testsupport::LoopbackPeer;

namespace {

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Sends the pieces as separate segments, a little apart, then holds the
// connection until Release is set (or closes at once when it is null).
std::function<void(int)> sendPieces(std::vector<std::string> pieces, std::atomic<bool>* release = nullptr) {
    return [pieces, release](int fd) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        for (const auto& p : pieces) {
            testsupport::sendAll(fd, p);
            pause(60);
        }
        while (release && !*release) pause(5);
    };
}

struct LineClient {
    TWSocket sock;
    std::vector<std::string> lines;
    std::vector<std::string> events;
    bool closed = false;
    LineClient() {
        sock.SetLineMode(true);
        sock.OnDataAvailable = [this](rtl::TObject*, uint16_t) {
            const std::string s = sock.ReceiveStr();
            lines.push_back(s);
            events.push_back("data " + s);
        };
        sock.OnSessionClosed = [this](rtl::TObject*, uint16_t) {
            events.push_back("closed");
            closed = true;
        };
    }
    void connect(uint16_t port) {
        sock.SetAddr("127.0.0.1");
        sock.SetPort(std::to_string(port));
        sock.Connect();
    }
};

}  // namespace

TEST(LineMode, TwoLinesInOneSegmentRaiseTwoEvents) {
    LoopbackPeer peer(sendPieces({"+OK one\r\n+OK two\r\n"}));
    LineClient c;
    c.connect(peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return c.closed; }, 10000));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+OK one\r\n", "+OK two\r\n"}));
}

TEST(LineMode, LineEndSplitAcrossReadsEndsOneLine) {
    LoopbackPeer peer(sendPieces({"abc\r", "\ndef\r", "\n"}));
    LineClient c;
    c.connect(peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return c.closed; }, 10000));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"abc\r\n", "def\r\n"}));
}

TEST(LineMode, LastLineWithoutItsEndArrivesBeforeTheClose) {
    LoopbackPeer peer(sendPieces({"one\r\nxyz"}));
    LineClient c;
    c.connect(peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return c.closed; }, 10000));
    EXPECT_EQ(c.events, (std::vector<std::string>{"data one\r\n", "data xyz", "closed"}));
}

// An over-long line is thrown away whole, its tail included, and the lines
// behind it arrive intact; with no limit it arrives whole.
TEST(LineMode, LineLimit) {
    const std::string longLine(70000, 'L');
    struct Case {
        int limit;
        std::vector<std::string> want;
        int limitEvents;
    };
    const Case cases[] = {
        {65536, {"next\r\n"}, 1},
        {0, {longLine + "\r\n", "next\r\n"}, 0},
    };
    for (const auto& k : cases) {
        LoopbackPeer peer(sendPieces({longLine.substr(0, 40000), longLine.substr(40000, 29000),
                                      longLine.substr(69000) + "\r\nnext\r\n"}));
        LineClient c;
        c.sock.LineLimit = k.limit;
        int limitEvents = 0;
        c.sock.OnLineLimitExceeded = [&](rtl::TObject*, int len, bool&) {
            ++limitEvents;
            EXPECT_GT(len, 65536);
        };
        c.connect(peer.port());
        ASSERT_TRUE(win::PumpUntil([&] { return c.closed; }, 10000));
        EXPECT_EQ(c.lines.size(), k.want.size()) << "limit " << k.limit;
        EXPECT_TRUE(c.lines == k.want) << "limit " << k.limit;
        EXPECT_EQ(limitEvents, k.limitEvents);
    }
}

TEST(LineMode, HandlerThatKeepsTheLongLineGetsItWhole) {
    const std::string longLine(70000, 'K');
    LoopbackPeer peer(sendPieces({longLine.substr(0, 40000), longLine.substr(40000) + "\r\n"}));
    LineClient c;
    c.sock.OnLineLimitExceeded = [](rtl::TObject*, int, bool& clear) { clear = false; };
    c.connect(peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return c.closed; }, 10000));
    ASSERT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.lines[0].size(), longLine.size() + 2);
}

TEST(LineMode, SwitchingLineModeOffDeliversTheRestRaw) {
    std::atomic<bool> release{false};
    LoopbackPeer peer(sendPieces({"first\r\nsecond\r\nthird"}, &release));
    TWSocket s;
    s.SetLineMode(true);
    std::vector<std::string> got;
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) {
        char buf[100];
        const int n = s.Receive(buf, sizeof buf);
        if (n > 0) got.emplace_back(buf, static_cast<size_t>(n));
        if (got.size() == 1) s.SetLineMode(false);
    };
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    ASSERT_TRUE(win::PumpUntil([&] { return got.size() >= 2; }, 5000));
    win::PumpFor(50);
    EXPECT_EQ(got, (std::vector<std::string>{"first\r\n", "second\r\nthird"}));
    release = true;
}

TEST(LineMode, HandlerThatReadsNothingIsNotCalledInALoop) {
    std::atomic<bool> release{false};
    LoopbackPeer peer(sendPieces({"a\r\nb\r\n"}, &release));
    TWSocket s;
    s.SetLineMode(true);
    int calls = 0;
    s.OnDataAvailable = [&](rtl::TObject*, uint16_t) { ++calls; };
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    ASSERT_TRUE(win::PumpUntil([&] { return calls > 0; }, 5000));
    win::PumpFor(100);
    EXPECT_EQ(calls, 1);
    // The line is still there for a later read.
    EXPECT_EQ(s.ReceiveStr(), "a\r\n");
    release = true;
}

TEST(LineMode, SendLine) {
    std::string got;
    LoopbackPeer peer([&](int fd) { got = testsupport::recvAll(fd); });
    TWSocket s;
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    ASSERT_TRUE(win::PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    EXPECT_EQ(s.SendLine(""), 0);
    EXPECT_EQ(s.SendLine("USER x"), 8);
    s.SetLineEnd("\n");
    EXPECT_EQ(s.SendLine("QUIT"), 5);
    s.Close();
    peer.join();
    EXPECT_EQ(got, "USER x\r\nQUIT\n");
}

TEST(LineMode, EditAndEchoForATerminalPeer) {
    std::string echoed;
    LoopbackPeer peer([&](int fd) {
        testsupport::sendAll(fd, "ab\x08" "c\td\r\n");
        ::shutdown(fd, SHUT_WR);
        echoed = testsupport::recvAll(fd);
    });
    LineClient c;
    c.sock.LineEdit = true;
    c.sock.LineEcho = true;
    c.connect(peer.port());
    ASSERT_TRUE(win::PumpUntil([&] { return !c.lines.empty(); }, 5000));
    EXPECT_EQ(c.lines[0], "ac      d\r\n");
    c.sock.Close();
    peer.join();
    EXPECT_EQ(echoed, "ab\x08 \x08" "c      d\r\n");
}

TEST(SyncSocket, ReadLineTimeouts) {
    std::atomic<bool> release{false}, connected{false};
    LoopbackPeer peer([&](int fd) {
        // Bytes that come while nobody reads are dropped; greet once the reader waits.
        while (!connected) pause(5);
        testsupport::sendAll(fd, "+OK hello\r\npart");
        while (!release) pause(5);
        testsupport::sendAll(fd, "ial\r\n");
        char c;
        ::recv(fd, &c, 1, 0);  // held until the client closes
    });
    TWSocket s;
    s.SetAddr("127.0.0.1");
    s.SetPort(peer.portText());
    s.Connect();
    ASSERT_TRUE(win::PumpUntil([&] { return s.State() == wsConnected; }, 5000));
    connected = true;

    std::string line;
    s.ReadLine(5, line);
    EXPECT_EQ(line, "+OK hello\r\n");
    EXPECT_EQ(s.Timeout(), 5000);
    EXPECT_FALSE(s.LineMode()) << "line mode is restored";

    // Negative is milliseconds; what came of a line by then is returned.
    const double cpu0 = testsupport::threadCpuSeconds();
    const uint32_t t0 = win::GetTickCount();
    s.ReadLine(-500, line);
    EXPECT_GE(win::TicksSince(t0), 500u);
    EXPECT_EQ(line, "part");
    EXPECT_EQ(s.Timeout(), 500);

    // A long wait sleeps.
    s.ReadLine(-2000, line);
    EXPECT_EQ(line, "");
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu0, 0.1);

    release = true;
    s.ReadLine(0, line);
    EXPECT_EQ(line, "ial\r\n");
    EXPECT_EQ(s.Timeout(), 60000);
}

TEST(SyncSocket, ReadLineNeedsAConnection) {
    TWSocket s;
    std::string line = "old";
    try {
        s.ReadLine(1, line);
        FAIL() << "no exception";
    } catch (const ESocketException& e) {
        EXPECT_EQ(e.Message, "ReadLine failed: not connected");
    }
    EXPECT_EQ(line, "");
}

TEST(SyncSocket, WaitUntilReadyEndsOnDoneOrQuit) {
    TWSocket s;
    bool done = false;
    QTimer::singleShot(30, [&] { done = true; });
    s.SetTimeout(5000);
    EXPECT_EQ(s.WaitUntilReady(done), 0);
    done = false;
    s.SetTimeout(50);
    EXPECT_EQ(s.WaitUntilReady(done), WAIT_TIMED_OUT);
    s.SetTimeout(0);
    QTimer::singleShot(30, [] { win::PostQuitMessage(0); });
    EXPECT_EQ(s.WaitUntilReady(done), WAIT_TIMED_OUT);
    win::ResetTerminated();
}
