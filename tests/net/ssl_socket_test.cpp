// The TLS socket against real peers: openssl s_server instances and a Python
// peer started by the tls_peers fixture (ports in PWX_TLS_STATE), and a
// server socket of our own for the server side.
#include <gtest/gtest.h>

#include <QByteArray>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCryptographicHash>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/twsocket.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace net;

namespace {

constexpr int kWaitMs = 15000;

std::string cert(const char* name) { return std::string(SSL_TEST_CERTS "/") + name; }

// The port of a fixture peer; a missing peer fails the test.
std::string peerPort(const std::string& name) {
    const char* dir = std::getenv("PWX_TLS_STATE");
    if (!dir) {
        ADD_FAILURE() << "PWX_TLS_STATE is not set: run the tests through ctest (fixture tls_peers)";
        return "1";
    }
    std::ifstream f(std::string(dir) + "/" + name + ".port");
    std::string port;
    f >> port;
    if (port.empty()) {
        ADD_FAILURE() << "the TLS peer " << name << " is not running";
        return "1";
    }
    return port;
}

// The port of a SOCKS proxy of the socks fixture.
std::string socksPort(const std::string& name) {
    const char* dir = std::getenv("PWX_SOCKS_STATE");
    std::ifstream f(std::string(dir ? dir : ".") + "/" + name + ".port");
    std::string port;
    f >> port;
    if (port.empty()) ADD_FAILURE() << "the SOCKS proxy " << name << " is not running";
    return port;
}

// A client context that trusts the test authority.
std::unique_ptr<TSslContext> clientContext(bool verify = true) {
    auto ctx = std::make_unique<TSslContext>();
    ctx->SetSslCAFile(cert("ca.pem"));
    ctx->SetSslVerifyPeer(verify);
    return ctx;
}

std::unique_ptr<TSslContext> serverContext() {
    auto ctx = std::make_unique<TSslContext>();
    ctx->SetSslVerifyPeer(false);
    ctx->SetSslCertFile(cert("server.pem"));
    ctx->SetSslPrivKeyFile(cert("server.key"));
    return ctx;
}

bool waitFor(const std::function<bool()>& done) { return win::PumpUntil(done, kWaitMs); }

// A TLS socket that records its events in order and what it received.
struct Client {
    explicit Client(TSslContext* ctx) {
        s.SetSslContext(ctx);
        s.OnSessionConnected = [this](rtl::TObject*, uint16_t e) { note("connected:" + std::to_string(e)); };
        s.OnSslHandshakeDone = [this](rtl::TObject*, uint16_t e, TX509Base* peer, bool& disconnect) {
            ++handshakes;
            handshakeErr = e;
            stateAtHandshake = s.SslState();
            peerSubject = peer->GetX509() ? peer->GetSubjectOneLine() : "";
            peerVerifyResult = peer->VerifyResult;
            note("handshake:" + std::to_string(e));
            disconnect = disconnectOnHandshake;
            if (onHandshake) onHandshake();
        };
        s.OnSslShutDownComplete = [this](rtl::TObject*, bool bidirectional, int e) {
            note(std::string("shutdown:") + (bidirectional ? "bi:" : "one:") + std::to_string(e));
        };
        s.OnSessionClosed = [this](rtl::TObject*, uint16_t e) {
            closed = true;
            note("closed:" + std::to_string(e));
        };
        s.OnDataAvailable = [this](rtl::TObject*, uint16_t) {
            const auto handler = onData;  // a handler may replace itself
            handler ? handler() : readAll();
        };
    }

    void note(const std::string& e) { events.push_back(e); }

    void readAll() {
        char buf[65536];
        int n;
        while ((n = s.Receive(buf, sizeof buf)) > 0) received.append(buf, static_cast<size_t>(n));
    }

    // Line mode: every event is one line.
    void collectLines(const std::string& lineEnd) {
        s.SetLineEnd(lineEnd);
        s.SetLineMode(true);
        onData = [this] {
            const std::string line = s.ReceiveStr();
            if (!line.empty()) lines.push_back(line);
            if (const auto handler = onLine) handler(line);
        };
    }

    void connect(const std::string& port, bool tls) {
        s.SetSslEnable(tls);
        s.SetAddr("localhost");
        s.SetPort(port);
        s.Connect();
    }

    // Plain connection to the Python peer, then TLS once it agreed.
    void upgrade(const std::string& command, const std::string& argument = {}) {
        collectLines("\r\n");
        onLine = [this, command](const std::string& line) {
            if (s.SslEnable() || line != "+OK " + command + "\r\n") return;
            s.SetSslEnable(true);
            s.StartSslHandshake();
            if (afterStart) afterStart();
        };
        connect(peerPort("python"), false);
        ASSERT_TRUE(waitFor([this] { return s.State() == wsConnected; }));
        s.SendStr(command + (argument.empty() ? "" : " " + argument) + "\r\n");
    }

    // The same, the TLS side read as raw bytes.
    void upgradeRaw(const std::string& command) {
        afterStart = [this] {
            s.SetLineMode(false);
            onData = nullptr;
        };
        upgrade(command);
    }

    bool handshakeDone() { return waitFor([this] { return handshakes > 0 || closed; }) && handshakes > 0; }

    TSslWSocket s;
    std::vector<std::string> events;
    std::vector<std::string> lines;
    std::string received;
    std::function<void()> onData;
    std::function<void(const std::string&)> onLine;
    std::function<void()> afterStart;
    std::function<void()> onHandshake;
    int handshakes = 0;
    int handshakeErr = -1;
    TSslState stateAtHandshake = sslNone;
    std::string peerSubject;
    int peerVerifyResult = -1;
    bool disconnectOnHandshake = false;
    bool closed = false;
};

std::string randomBytes(size_t n) {
    std::mt19937 gen(42);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

QByteArray sha256(const std::string& s) {
    return QCryptographicHash::hash(QByteArray(s.data(), static_cast<qsizetype>(s.size())), QCryptographicHash::Sha256);
}

// ---------------------------------------------------------------- implicit TLS

struct VersionCase {
    const char* peer;
    const char* version;
};

class ImplicitTls : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ImplicitTls, HandshakeLineExchangeAndOneWayCloseInOrder) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.collectLines("\n");
    c.connect(peerPort(GetParam().peer), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.handshakeErr, 0);
    EXPECT_EQ(c.stateAtHandshake, sslEstablished);
    EXPECT_EQ(c.s.SslVersion(), GetParam().version);
    EXPECT_NE(c.s.SslCipher(), "Unknown");
    EXPECT_GT(c.s.SslSecretBits(), 0);
    EXPECT_NE(c.peerSubject.find("CN=localhost"), std::string::npos) << c.peerSubject;
    EXPECT_EQ(c.peerVerifyResult, 0);

    c.s.SendStr("hello world\r\n");
    ASSERT_TRUE(waitFor([&] { return !c.lines.empty(); }));
    EXPECT_EQ(c.lines[0], "dlrow olleh\n");

    c.s.Close();
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:one:0", "closed:0"}));
    EXPECT_EQ(c.s.State(), wsClosed);
}

TEST(SslSocket, PeerClosingFirstEndsTheSessionOnce) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.collectLines("\n");
    c.connect(peerPort("tls13"), true);
    ASSERT_TRUE(c.handshakeDone());
    c.s.SendStr("CLOSE\r\n");  // the server hangs up
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:one:0", "closed:0"}));
}

TEST(SslSocket, CloseDuringTheHandshakeReportsItFailed) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.afterStart = [&] { c.s.Close(); };
    c.upgrade("ECHO");
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:1", "closed:0"}));
    EXPECT_EQ(c.s.SslHandshakeError(), "The connection was closed during the TLS handshake");
}

TEST(SslSocket, ImplicitTlsThroughASocksProxy) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.collectLines("\n");
    c.s.SetSocksServer("127.0.0.1");
    c.s.SetSocksPort(socksPort("danted"));
    c.connect(peerPort("tls13"), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.handshakeErr, 0);
    c.s.SendStr("via proxy\r\n");
    ASSERT_TRUE(waitFor([&] { return !c.lines.empty() || c.closed; }));
    EXPECT_EQ(c.lines, std::vector<std::string>{"yxorp aiv\n"});
}

INSTANTIATE_TEST_SUITE_P(SslSocket, ImplicitTls,
                         ::testing::Values(VersionCase{"tls12", "TLSv1.2"}, VersionCase{"tls13", "TLSv1.3"}));

// ---------------------------------------------------------------- upgraded connections

TEST(SslSocket, PlainConnectionUpgradedToTls) {
    auto ctx = clientContext();
    Client c(ctx.get());
    // Right after the start the handshake has not finished: no renegotiation.
    int renegotiations = -1;
    c.afterStart = [&] { renegotiations = c.s.SslStartRenegotiation() ? 1 : 0; };
    c.upgrade("ECHO");
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(renegotiations, 0);
    EXPECT_EQ(c.handshakeErr, 0);
    c.s.SendStr("over tls\r\n");
    ASSERT_TRUE(waitFor([&] { return c.lines.size() == 2; }));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+OK ECHO\r\n", "over tls\r\n"}));
    EXPECT_EQ(c.handshakes, 1);
}

TEST(SslSocket, MegabyteRoundTripArrivesIntact) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgradeRaw("ECHO");
    ASSERT_TRUE(c.handshakeDone());
    int dataSent = 0;
    c.s.OnDataSent = [&](rtl::TObject*, uint16_t) { ++dataSent; };
    const std::string data = randomBytes(1 << 20);
    c.s.Send(data.data(), static_cast<int>(data.size()));
    ASSERT_TRUE(waitFor([&] { return c.received.size() >= data.size() || c.closed; })) << c.received.size();
    EXPECT_EQ(sha256(c.received).toHex().toStdString(), sha256(data).toHex().toStdString());
    EXPECT_GE(dataSent, 1);
}

TEST(SslSocket, BigSendToASlowReaderDoesNotBurnTheCpu) {
    auto ctx = clientContext();
    Client c(ctx.get());
    const std::string data = randomBytes(4 << 20);
    c.upgrade("SLOW", std::to_string(data.size()));
    ASSERT_TRUE(c.handshakeDone());
    const double cpu0 = testsupport::threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    c.s.Send(data.data(), static_cast<int>(data.size()));
    ASSERT_TRUE(waitFor([&] { return c.lines.size() == 2 || c.closed; }));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = testsupport::threadCpuSeconds() - cpu0;
    EXPECT_EQ(c.lines[1], "+OK " + sha256(data).toHex().toStdString() + "\r\n");
    // Waiting for room must sleep: the sender may use only a small share of the time.
    EXPECT_LT(cpu, 0.25 * wall) << "cpu " << cpu << " s over " << wall << " s";
}

// A reader that takes all, and one that takes a little per event.
class Burst : public ::testing::TestWithParam<int> {};

TEST_P(Burst, NineThousandByteRecordArrivesWhole) {
    auto ctx = clientContext();
    Client c(ctx.get());
    const int chunk = GetParam();
    int events = 0;
    c.afterStart = [&] {
        c.s.SetLineMode(false);
        c.onData = [&] {
            ++events;
            std::string buf(static_cast<size_t>(chunk), '\0');
            const int n = c.s.Receive(buf.data(), chunk);
            if (n > 0) c.received.append(buf.data(), static_cast<size_t>(n));
        };
    };
    c.upgrade("BURST");
    ASSERT_TRUE(c.handshakeDone());
    std::string expected(9000, '\0');
    for (size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<char>(i % 251);
    ASSERT_TRUE(waitFor([&] { return c.received.size() >= expected.size() || c.closed; }));
    EXPECT_EQ(c.received, expected);
    EXPECT_GE(events, 9000 / chunk);
}

INSTANTIATE_TEST_SUITE_P(SslSocket, Burst, ::testing::Values(65536, 1000));

TEST(SslSocket, LinesOverTlsWholeAndSplitAcrossRecords) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgrade("LINES");
    ASSERT_TRUE(waitFor([&] { return c.lines.size() >= 4 || c.closed; }));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+OK LINES\r\n", "one\r\n", "two\r\n", "partial\r\n"}));
}

TEST(SslSocket, BidirectionalShutdownReturnsToPlainText) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgrade("UNWRAP");
    ASSERT_TRUE(c.handshakeDone());
    c.s.SendStr("ping\r\n");
    ASSERT_TRUE(waitFor([&] { return c.lines.size() == 2; }));
    c.s.SslBiShutDownAsync();
    ASSERT_TRUE(waitFor([&] { return c.lines.size() == 3 || c.closed; }));
    EXPECT_FALSE(c.s.SslEnable());
    EXPECT_EQ(c.s.State(), wsConnected);
    c.s.SendStr("hello plain\r\n");
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.lines, (std::vector<std::string>{"+OK UNWRAP\r\n", "ping\r\n", "plain again\r\n",
                                                 "+OK hello plain\r\n"}));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:bi:0", "closed:0"}));
}

// The plain answer to the upgrade request carries a line behind it; that
// line must never surface, neither from the line buffer nor from the socket.
class Injection : public ::testing::TestWithParam<bool> {};

TEST_P(Injection, PlainBytesBeforeTheHandshakeAreDropped) {
    const bool lineMode = GetParam();
    auto ctx = clientContext();
    Client c(ctx.get());
    const std::string answer = "+OK INJECT\r\n";
    if (lineMode) {
        c.upgrade("INJECT");
    } else {
        c.onData = [&] {
            if (c.s.SslEnable()) {
                c.readAll();
                return;
            }
            std::string buf(answer.size(), '\0');
            if (c.s.Receive(buf.data(), static_cast<int>(buf.size())) != static_cast<int>(answer.size())) return;
            c.lines.push_back(buf);
            c.s.SetSslEnable(true);
            c.s.StartSslHandshake();
        };
        c.connect(peerPort("python"), false);
        ASSERT_TRUE(waitFor([&] { return c.s.State() == wsConnected; }));
        c.s.SendStr("INJECT\r\n");
    }
    ASSERT_TRUE(c.handshakeDone());
    ASSERT_TRUE(waitFor([&] { return c.lines.size() >= 2 || c.received.size() >= 16 || c.closed; }));
    const std::string afterTls = lineMode ? c.lines.at(1) : c.received;
    EXPECT_EQ(afterTls, "hello over tls\r\n");
    for (const std::string& l : c.lines) EXPECT_EQ(l.find("INJECTED"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SslSocket, Injection, ::testing::Values(true, false));

TEST(SslSocket, DropDuringHandshakeReportsTheFailureBeforeTheClose) {
    auto ctx = clientContext();
    Client c(ctx.get());
    // A handler that closes on failure, as the mail clients do, gets one report.
    c.onHandshake = [&] { c.s.Close(); };
    c.upgrade("DROP");
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    ASSERT_EQ(c.events.size(), 3u);
    EXPECT_EQ(c.events[1], "handshake:1");
    EXPECT_EQ(c.events[2].rfind("closed:", 0), 0u);
    EXPECT_EQ(c.stateAtHandshake, sslHandshakeFailed);
    EXPECT_FALSE(c.s.SslHandshakeError().empty());
}

TEST(SslSocket, CloseDeliversUnreadDataFirst) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgrade("ECHO");
    ASSERT_TRUE(c.handshakeDone());
    c.s.SetLineMode(false);
    bool closeAsked = false;
    c.onData = [&] {
        if (!closeAsked) {
            // Leaves the bytes unread and asks to close.
            closeAsked = true;
            c.s.Close();
            return;
        }
        const size_t before = c.received.size();
        c.readAll();
        if (c.received.size() > before) c.note("data");
    };
    c.s.SendStr("unread echo");
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.received, "unread echo");
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "data", "shutdown:one:0", "closed:0"}));
}

// ---------------------------------------------------------------- closing

// What the Python peer's last LATE session read: "<count> <sha256 hex>".
std::string lateResult() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(std::stoi(peerPort("python"))));
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && testsupport::sendAll(fd, "RESULT\r\n"))
        answer = testsupport::recvAll(fd);
    ::close(fd);
    const std::string prefix = "+OK ";
    if (answer.rfind(prefix, 0) != 0 || answer.size() < prefix.size() + 2) return "no answer: " + answer;
    return answer.substr(prefix.size(), answer.size() - prefix.size() - 2);
}

// Sends Data in one go, all of it taken by the system at once (its buffer
// made large enough), and closes: our close-notify leaves right behind it,
// long before the peer has read it all.
void sendAllAndClose(Client& c, const std::string& Data) {
    const int big = 4 << 20;
    ::setsockopt(static_cast<int>(c.s.HSocket()), SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    c.s.Send(Data.data(), static_cast<int>(Data.size()));
    c.s.Close();
}

TEST(SslSocket, CloseWaitsUntilThePeerHasEverything) {
    // The peer sends a record of its own (as a late TLS 1.3 ticket comes)
    // after our close-notify has left. A socket already closed would answer
    // it with a reset, and the reset would throw away all the peer had not
    // yet taken. The wait sleeps.
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgradeRaw("LATE");
    ASSERT_TRUE(c.handshakeDone());
    const std::string data = randomBytes(1 << 20);
    const double cpu0 = testsupport::threadCpuSeconds();
    sendAllAndClose(c, data);
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu0, 0.5);
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:one:0", "closed:0"}));
    EXPECT_EQ(lateResult(), std::to_string(data.size()) + " " + sha256(data).toHex().toStdString());
}

TEST(SslSocket, CloseToAPeerThatTakesNothingEndsWithTimedOut) {
    // Nothing the peer acknowledges, no close of its own: the wait ends on
    // its own, without spinning, and the close says the end may be lost.
    auto ctx = clientContext();
    Client c(ctx.get());
    c.upgradeRaw("HOLD");
    ASSERT_TRUE(c.handshakeDone());
    const double cpu0 = testsupport::threadCpuSeconds();
    sendAllAndClose(c, randomBytes(1 << 20));
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_LT(testsupport::threadCpuSeconds() - cpu0, 0.5);
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:one:0", "closed:10060"}));
}

// ---------------------------------------------------------------- renegotiation

struct RenegotiationCase {
    const char* peer;
    bool starts;
    int handshakes;
};

class Renegotiation : public ::testing::TestWithParam<RenegotiationCase> {};

TEST_P(Renegotiation, OnlyUnderTls12AndTheConnectionCarriesOn) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.collectLines("\n");
    c.connect(peerPort(GetParam().peer), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.s.SslStartRenegotiation(), GetParam().starts);
    ASSERT_TRUE(waitFor([&] { return c.handshakes == GetParam().handshakes && !c.s.SslRenegotiatePending(); }));
    c.s.SendStr("after\r\n");
    ASSERT_TRUE(waitFor([&] { return !c.lines.empty() || c.closed; }));
    EXPECT_EQ(c.lines, std::vector<std::string>{"retfa\n"});
    EXPECT_EQ(c.handshakes, GetParam().handshakes);
    EXPECT_EQ(c.handshakeErr, 0);
}

INSTANTIATE_TEST_SUITE_P(SslSocket, Renegotiation,
                         ::testing::Values(RenegotiationCase{"tls12", true, 2}, RenegotiationCase{"tls13", false, 1}));

// ---------------------------------------------------------------- certificates

TEST(SslSocket, ClientCertificateGivenOnRequest) {
    auto ctx = clientContext();
    Client c(ctx.get());
    TX509Base mine;
    mine.LoadFromPemFile(cert("combined.pem"), true);
    int requests = 0;
    c.s.OnSslCliCertRequest = [&](rtl::TObject*, TX509Base*& Cert) {
        ++requests;
        Cert = &mine;
    };
    c.collectLines("\n");
    c.connect(peerPort("clientcert"), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.handshakeErr, 0);
    EXPECT_EQ(requests, 1);
    c.s.SendStr("signed\r\n");
    ASSERT_TRUE(waitFor([&] { return !c.lines.empty() || c.closed; }));
    EXPECT_EQ(c.lines, std::vector<std::string>{"dengis\n"});
}

TEST(SslSocket, ClientCertificateWithoutKeyIsNotSent) {
    auto ctx = clientContext();
    Client c(ctx.get());
    TX509Base keyless;
    keyless.LoadFromPemFile(cert("server.pem"));
    c.s.OnSslCliCertRequest = [&](rtl::TObject*, TX509Base*& Cert) { Cert = &keyless; };
    c.connect(peerPort("clientcert"), true);
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_NE(c.handshakeErr, 0);
    EXPECT_EQ(c.stateAtHandshake, sslHandshakeFailed);
    EXPECT_NE(c.s.SslHandshakeError().find("alert"), std::string::npos) << c.s.SslHandshakeError();
}

struct RefusalCase {
    const char* peer;
    const char* reason;
};

class RefusedServer : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedServer, HandshakeFailsNamingTheReason) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.connect(peerPort(GetParam().peer), true);
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:1", "closed:10053"}));
    EXPECT_EQ(c.stateAtHandshake, sslHandshakeFailed);
    EXPECT_NE(c.peerVerifyResult, 0);
    EXPECT_EQ(c.s.SslHandshakeError(), std::string("Certificate verify failed: ") + GetParam().reason);
    EXPECT_TRUE(c.received.empty());
}

INSTANTIATE_TEST_SUITE_P(SslSocket, RefusedServer,
                         ::testing::Values(RefusalCase{"expired", "certificate has expired"},
                                           RefusalCase{"wronghost", "hostname mismatch"},
                                           RefusalCase{"untrusted", "self-signed certificate"}));

// Peers that speak only TLS 1.0 or 1.1. Both sides run at security level 0,
// where the library itself would still agree to these versions: only our
// floor of TLS 1.2 stands between them and a session.
class OldProtocolServer : public ::testing::TestWithParam<const char*> {};

TEST_P(OldProtocolServer, IsRefusedForItsProtocolVersion) {
    auto ctx = clientContext();
    ctx->SetSslCipherList("ALL:@SECLEVEL=0");
    Client c(ctx.get());
    c.connect(peerPort(GetParam()), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_NE(c.handshakeErr, 0);
    EXPECT_EQ(c.stateAtHandshake, sslHandshakeFailed);
    EXPECT_NE(c.s.SslHandshakeError().find("protocol version"), std::string::npos) << c.s.SslHandshakeError();
    EXPECT_TRUE(c.received.empty());
}

INSTANTIATE_TEST_SUITE_P(SslSocket, OldProtocolServer, ::testing::Values("tls10", "tls11"));

TEST(SslSocket, VerifyHandlerMayAcceptAnUntrustedServer) {
    auto ctx = clientContext();
    Client c(ctx.get());
    int calls = 0;
    c.s.OnSslVerifyPeer = [&](rtl::TObject*, int& Ok, TX509Base*) {
        ++calls;
        Ok = 1;
    };
    c.connect(peerPort("untrusted"), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.handshakeErr, 0);
    EXPECT_GE(calls, 1);
    EXPECT_EQ(c.s.SslVerifyResult(), 0);
}

TEST(SslSocket, AbortFromInsideAVerifyHandlerResetsLater) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.s.OnSslVerifyPeer = [&](rtl::TObject*, int&, TX509Base*) { c.s.Abort(); };
    c.connect(peerPort("tls13"), true);
    ASSERT_TRUE(waitFor([&] { return c.closed && c.s.Ssl() == nullptr; }));
    EXPECT_EQ(c.handshakes, 0);
    EXPECT_EQ(c.s.State(), wsClosed);
    EXPECT_EQ(c.s.SslState(), sslNone);
}

TEST(SslSocket, WithoutVerificationTheHandshakeGetsAnEmptyCertificate) {
    auto ctx = clientContext(false);
    Client c(ctx.get());
    c.connect(peerPort("untrusted"), true);
    ASSERT_TRUE(c.handshakeDone());
    EXPECT_EQ(c.handshakeErr, 0);
    EXPECT_EQ(c.peerSubject, "");
}

// ---------------------------------------------------------------- sessions

class SavedSession : public ::testing::TestWithParam<const char*> {};

// A handler that keeps the newest session resumes it on the next connection.
// Under TLS 1.3 the server sends the resumable sessions after the handshake:
// the one the handshake ended with would only buy a full handshake.
TEST_P(SavedSession, NewestIsResumed) {
    auto ctx = clientContext();
    SSL_SESSION* saved = nullptr;
    std::vector<bool> reused;
    {
        Client first(ctx.get());
        first.s.OnSslCliNewSession = [&](rtl::TObject*, SSL_SESSION* Session, bool WasReused, bool& IncRefCount) {
            if (saved) f_SSL_SESSION_free(saved);
            saved = Session;
            reused.push_back(WasReused);
            IncRefCount = true;
        };
        first.collectLines("\n");
        first.connect(peerPort(GetParam()), true);
        ASSERT_TRUE(first.handshakeDone());
        // What the server sends after the handshake is read with the answer.
        first.s.SendStr("ping\r\n");
        ASSERT_TRUE(waitFor([&] { return !first.lines.empty(); }));
        first.s.Close();
        ASSERT_TRUE(waitFor([&] { return first.closed; }));
    }
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(reused, std::vector<bool>(reused.size(), false));
    // Reported, not kept: the context's own cache stays empty.
    EXPECT_EQ(f_SSL_CTX_ctrl(ctx->SslCtx(), SSL_CTRL_SESS_NUMBER, 0, nullptr), 0);
    Client second(ctx.get());
    second.s.OnSslCliGetSession = [&](rtl::TObject*, SSL_SESSION*& Session, bool& FreeSession) {
        Session = saved;
        FreeSession = true;
    };
    second.connect(peerPort(GetParam()), true);
    ASSERT_TRUE(second.handshakeDone());
    EXPECT_EQ(second.handshakeErr, 0);
    EXPECT_TRUE(second.s.SslSessionReused());
}

INSTANTIATE_TEST_SUITE_P(SslSocket, SavedSession, ::testing::Values("tls12", "tls13"));

TEST(SslSocket, DisconnectFromTheHandshakeHandlerSkipsTheNewSession) {
    auto ctx = clientContext();
    Client c(ctx.get());
    c.disconnectOnHandshake = true;
    int newSessions = 0;
    c.s.OnSslCliNewSession = [&](rtl::TObject*, SSL_SESSION*, bool, bool&) { ++newSessions; };
    c.connect(peerPort("tls13"), true);
    ASSERT_TRUE(waitFor([&] { return c.closed; }));
    EXPECT_EQ(newSessions, 0);
    EXPECT_EQ(c.events, (std::vector<std::string>{"connected:0", "handshake:0", "shutdown:one:0", "closed:0"}));
}

// ---------------------------------------------------------------- server side

TEST(SslSocket, ServerModeOnAnAcceptedSocket) {
    auto sctx = serverContext();
    sctx->SetSslSessionCacheModes({sslSESS_CACHE_SERVER});
    TWSocket listener;
    listener.SetAddr("127.0.0.1");
    listener.SetPort("0");
    std::unique_ptr<Client> server;
    int idContexts = 0;
    int newSessions = 0;
    listener.OnSessionAvailable = [&](rtl::TObject*, uint16_t) {
        server = std::make_unique<Client>(sctx.get());
        server->s.SetSslMode(sslModeServer);
        server->s.SetSslEnable(true);
        server->s.OnSslSetSessionIDContext = [&](rtl::TObject*, std::string& Id) {
            ++idContexts;
            Id = "pelliwox-test";
        };
        server->s.OnSslSvrNewSession = [&](rtl::TObject*, SSL_SESSION* Session, const unsigned char*, int Idlen,
                                           bool&) {
            if (Session && Idlen > 0) ++newSessions;
        };
        server->collectLines("\r\n");
        server->onLine = [&](const std::string& line) { server->s.SendStr("got " + line); };
        server->s.Dup(listener.Accept());
    };
    listener.Listen();
    auto cctx = clientContext();
    Client c(cctx.get());
    c.collectLines("\r\n");
    c.connect(listener.GetXPort(), true);
    ASSERT_TRUE(c.handshakeDone());
    ASSERT_TRUE(server && waitFor([&] { return server->handshakes > 0; }));
    EXPECT_EQ(server->handshakeErr, 0);
    EXPECT_EQ(idContexts, 1);
    c.s.SendStr("hi\r\n");
    ASSERT_TRUE(waitFor([&] { return newSessions > 0 || c.closed; }));
    ASSERT_TRUE(waitFor([&] { return !c.lines.empty() || c.closed; }));
    EXPECT_EQ(c.lines, std::vector<std::string>{"got hi\r\n"});
    c.s.Close();
    ASSERT_TRUE(waitFor([&] { return c.closed && server->closed; }));
    EXPECT_EQ(server->events.back(), "closed:0");
}

// ---------------------------------------------------------------- without TLS

TEST(SslSocket, WithTlsOffItIsThePlainSocket) {
    testsupport::LoopbackPeer peer([](int fd) { testsupport::sendAll(fd, testsupport::recvExactly(fd, 5)); });
    auto ctx = clientContext();
    Client c(ctx.get());
    c.s.SetAddr("127.0.0.1");
    c.s.SetPort(peer.portText());
    c.s.Connect();
    ASSERT_TRUE(waitFor([&] { return c.s.State() == wsConnected; }));
    c.s.SendStr("plain");
    ASSERT_TRUE(waitFor([&] { return c.received == "plain" || c.closed; }));
    EXPECT_EQ(c.received, "plain");
    EXPECT_EQ(c.handshakes, 0);
    peer.join();
}

TEST(SslSocket, HandshakeWithoutContextIsRefused) {
    TSslWSocket s;
    s.SetSslEnable(true);
    try {
        s.StartSslHandshake();
        FAIL() << "no exception";
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message, "SSL requires a context object");
    }
    EXPECT_EQ(s.SslState(), sslNone);
}

TEST(SslSocket, AcceptableHostsListKeepsTheTrimmedNames) {
    TSslWSocket s;
    s.SetAcceptableHostsList(" mail.example.test ;; pop.example.test;");
    ASSERT_EQ(s.SslAcceptableHosts().Count(), 2);
    EXPECT_EQ(s.SslAcceptableHosts()[0], "mail.example.test");
    EXPECT_EQ(s.SslAcceptableHosts()[1], "pop.example.test");
}

}  // namespace
