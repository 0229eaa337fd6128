// TDnsQuery: the query on the wire, the name and LOC routines, and every way a
// response can go wrong, against the scripted peer (tests/servers/dns_peer.py,
// a ctest fixture whose folder PWX_DNS_PEER_STATE names).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "mail/dnsquery.h"
#include "platform/win/pump.h"
#include "tests/support/loopback.h"

using namespace mail;

namespace {

// The scripted peer's port on 127.0.0.1, or on ::1.
std::string peerPort(bool v6 = false) {
    const char* dir = std::getenv("PWX_DNS_PEER_STATE");
    std::ifstream f(std::string(dir ? dir : "") + (v6 ? "/dns_peer6.port" : "/dns_peer.port"));
    std::string port;
    f >> port;
    return port;
}

std::string bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

// The query PTRLookup("192.0.2.7") must put on the wire after its header.
const std::string kPtrQuestion =
    std::string("\x01" "7" "\x01" "2" "\x01" "0" "\x03" "192" "\x07" "in-addr" "\x04" "arpa", 23) +
    bytes({0, 0, 12, 0, 1});

std::string expectedQuery(int id) { return bytes({id >> 8, id & 0xFF, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}) + kPtrQuestion; }

struct Done {
    bool done = false;
    uint16_t error = 0;
    void attach(TDnsQuery& q) {
        q.OnRequestDone = [this](rtl::TObject*, uint16_t e) {
            error = e;
            done = true;
        };
    }
    bool wait(int64_t ms = 5000) { return win::PumpUntil([this] { return done; }, ms); }
};

std::string dotted(const in_addr& a) {
    char t[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, t, sizeof t);
}

std::string text6(const in6_addr& a) {
    char t[INET6_ADDRSTRLEN];
    return inet_ntop(AF_INET6, &a, t, sizeof t);
}

// The first answer as text: an address, or "preference exchange".
std::string firstAnswer(const TDnsQuery& q) {
    switch (q.GetAnswerType(0)) {
        case DnsQueryTypeMX: return std::to_string(q.GetMXPreference(0)) + " " + q.GetMXExchange(0);
        case DnsQueryTypeAAAA: return text6(q.GetAddress6(q.GetAnswerTag(0)));
        default: return dotted(q.GetAddress(q.GetAnswerTag(0)));
    }
}

}  // namespace

TEST(DnsQuery, PtrQueryOverUdpIsTheReversedNameWithType12) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);

    TDnsQuery q;
    q.Addr = "127.0.0.1";
    q.Port = std::to_string(ntohs(a.sin_port));
    const int id = q.PTRLookup("192.0.2.7");
    std::string got(600, '\0');
    ssize_t n = -1;
    win::PumpUntil([&] { return (n = ::recv(fd, got.data(), got.size(), MSG_DONTWAIT)) > 0; }, 5000);
    ::close(fd);
    ASSERT_GT(n, 0);
    got.resize(static_cast<size_t>(n));
    EXPECT_EQ(got, expectedQuery(id));  // no length prefix over UDP
}

TEST(DnsQuery, IdsCannotBeGuessedFromTheOnesBefore) {
    // A blind forger that knows how IDs are made hits the first query of
    // every instance; they must come from the system's random source.
    std::set<int> firsts, inOne;
    int previous = -1, steps = 0;
    for (int i = 0; i < 16; ++i) {
        TDnsQuery fresh;
        fresh.Addr = "127.0.0.1";
        fresh.Port = std::to_string(testsupport::closedPort());
        firsts.insert(fresh.ALookup("ok.pwx.test"));
        const int id = fresh.ALookup("ok.pwx.test");
        inOne.insert(id);
        steps += previous >= 0 && ((previous + 1) & 0xFFFF) == id;
        previous = id;
    }
    EXPECT_GT(firsts.size(), 8u);
    EXPECT_GT(inOne.size(), 8u);
    EXPECT_LT(steps, 3);
}

TEST(DnsQuery, QueryOverTcpCarriesItsLengthFirst) {
    std::string got;
    testsupport::LoopbackPeer peer([&](int fd) { got = testsupport::recvExactly(fd, 2 + 12 + kPtrQuestion.size()); });
    TDnsQuery q;
    q.SetProto("TCP");
    q.Addr = "127.0.0.1";
    q.Port = peer.portText();
    const int id = q.PTRLookup("192.0.2.7");
    win::PumpUntil([&] { return false; }, 300);
    peer.join();
    EXPECT_EQ(got, bytes({0, 12 + static_cast<int>(kPtrQuestion.size())}) + expectedQuery(id));
}

TEST(DnsQuery, ProtoAcceptsOnlyTcpOrUdp) {
    TDnsQuery q;
    EXPECT_EQ(q.Proto(), "udp");
    q.SetProto("Tcp");
    EXPECT_EQ(q.Proto(), "tcp");
    try {
        q.SetProto("icmp");
        FAIL() << "no exception";
    } catch (const EDnsQueryException& e) {
        EXPECT_STREQ(e.what(), "TDnsQuery accept only TCP or UDP protocol");
    }
    EXPECT_EQ(q.Proto(), "tcp");
}

TEST(DnsQuery, NamesThatCannotBeLabelsAreRefused) {
    uint8_t buf[DnsQueryBufSize];
    for (const std::string& bad : {std::string("a..b"), std::string(64, 'x') + ".org",
                                   std::string(130, 'a').replace(1, 127, std::string(127, '.'))})
        EXPECT_THROW(DnsBuildQuestionSection(buf, bad, 1, 1), EDnsQueryException) << bad;
    std::string longest;
    for (int i = 0; i < 4; ++i) longest += std::string(i < 3 ? 63 : 61, 'a') + (i < 3 ? "." : "");
    EXPECT_EQ(DnsBuildQuestionSection(buf, longest, 1, 1), 255 + 4);
}

TEST(DnsQuery, ReverseIP) {
    EXPECT_EQ(ReverseIP("192.0.2.7"), "7.2.0.192");
    EXPECT_EQ(ReverseIP("10.20.30.40"), "40.30.20.10");
}

TEST(DnsQuery, LongLatToDMS) {
    const uint32_t equator = 1u << 31;
    struct Case {
        uint32_t value;
        const char* hemis;
        const char* text;
    } cases[] = {
        {equator + 3600000, "NS", "1 00 00.000 N"},
        {equator - 3600000, "NS", "1 00 00.000 S"},
        {equator, "EW", "0 00 00.000 E"},
        {equator + 188603000 + 17, "NS", "52 23 23.017 N"},
        {equator - (151 * 3600000u + 12 * 60000 + 40000), "EW", "151 12 40.000 W"},
    };
    for (const auto& c : cases) EXPECT_EQ(LongLatToDMS(c.value, c.hemis), c.text) << c.value;
}

TEST(DnsQuery, Loc2Geo) {
    // 52 22 23.000 N 4 53 32.000 E -2.00m 1m 10000m 10m, as a server sends it.
    const std::string rdata = bytes({0x00, 0x12, 0x16, 0x13, 0x8B, 0x3C, 0xF0, 0x18, 0x81, 0x0C, 0xBC, 0xE0,
                                     0x00, 0x98, 0x95, 0xB8});
    TLOCInfo loc;
    std::memcpy(&loc, rdata.data(), sizeof loc);
    const TLogGeo g = Loc2Geo(loc);
    EXPECT_EQ(g.Version, 0);
    EXPECT_EQ(g.SizeBase * g.SizeExp, 100);  // 1 m in centimetres
    EXPECT_EQ(g.HorizPre, 0x16);
    EXPECT_EQ(g.VertPre, 0x13);
    EXPECT_EQ((std::vector<int>{g.LatDeg, g.LatMin, g.LatSec, g.LatMSec}), (std::vector<int>{52, 22, 23, 0}));
    EXPECT_EQ(g.LatHemis, 'N');
    EXPECT_EQ((std::vector<int>{g.LongDeg, g.LongMin, g.LongSec, g.LongMSec}), (std::vector<int>{4, 53, 32, 0}));
    EXPECT_EQ(g.LongHemis, 'E');
    EXPECT_EQ(g.Altitude, -2);
}

TEST(DnsQuery, ExtractNameStaysInsideTheMessage) {
    // Offset 12 holds "a.b"; the cases start their name at offset 17.
    const std::string head = std::string(12, '\0') + bytes({1, 'a', 1, 'b', 0});
    struct Case {
        const char* what;
        std::string name;
        bool ok;
        std::string result;
        size_t next;  // position after the name's bytes in place
    } cases[] = {
        {"labels", bytes({1, 'x', 0}), true, "x", 20},
        {"pointer after a label", bytes({1, 'x', 0xC0, 12}), true, "x.a.b", 21},
        {"pointer to itself", bytes({0xC0, 17}), false, "", 0},
        {"two pointers in a ring", bytes({0xC0, 19, 0xC0, 17}), false, "", 0},
        {"pointer past the end", bytes({0xC0, 40}), false, "", 0},
        {"pointer cut off", bytes({0xC0}), false, "", 0},
        {"label past the end", bytes({5, 'x', 'y'}), false, "", 0},
        {"no end", bytes({1, 'x'}), false, "", 0},
        {"reserved label type", bytes({0x41, 'x', 0}), false, "", 0},
    };
    for (const auto& c : cases) {
        const std::string msg = head + c.name;
        size_t pos = 17;
        std::string name;
        const bool ok = DnsExtractName(reinterpret_cast<const uint8_t*>(msg.data()), msg.size(), pos, name);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (ok && c.ok) {
            EXPECT_EQ(name, c.result) << c.what;
            EXPECT_EQ(pos, c.next) << c.what;
        }
    }
    // Pointers that each add a label of 63 bytes: the name passes 255 bytes.
    std::string chain = std::string(12, '\0') + bytes({63}) + std::string(63, 'x') + bytes({0});
    size_t prev = 12;
    for (int i = 0; i < 5; ++i) {
        const size_t here = chain.size();
        chain += bytes({63}) + std::string(63, 'y') + bytes({0xC0 | static_cast<int>(prev >> 8), static_cast<int>(prev & 0xFF)});
        prev = here;
    }
    size_t pos = prev;
    std::string name;
    EXPECT_FALSE(DnsExtractName(reinterpret_cast<const uint8_t*>(chain.data()), chain.size(), pos, name));
    pos = chain.size() - 3 * 66;  // four labels of 63: 4 * 64 + 1 = 257 bytes
    EXPECT_FALSE(DnsExtractName(reinterpret_cast<const uint8_t*>(chain.data()), chain.size(), pos, name));
    pos = chain.size() - 4 * 66;  // three: 193 bytes
    EXPECT_TRUE(DnsExtractName(reinterpret_cast<const uint8_t*>(chain.data()), chain.size(), pos, name));
    EXPECT_EQ(name.size(), 63u * 3 + 2);
}

// Every script of the peer: what the request ends with and what it leaves.
struct PeerCase {
    const char* name;
    const char* proto;
    uint16_t error;
    int answers;           // decoded
    int ancount;           // as the header says
    std::string first;     // first address or "pref exchange"; empty: none
    int rcode = 0;
    bool retried = false;  // asked again over TCP
    bool v6 = false;       // the peer on ::1
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name << " over " << c.proto << (c.v6 ? " (IPv6)" : ""); }

class DnsPeer : public ::testing::TestWithParam<PeerCase> {};

TEST_P(DnsPeer, RequestEndsAsScripted) {
    const PeerCase& c = GetParam();
    const std::string port = peerPort(c.v6);
    ASSERT_FALSE(port.empty()) << "the DNS peer fixture is not running";
    TDnsQuery q;
    q.Addr = c.v6 ? "::1" : "127.0.0.1";
    q.Port = port;
    q.SetProto(c.proto);
    q.Timeout = 700;
    Done d;
    d.attach(q);
    const std::string name = std::string(c.name) + ".pwx.test";
    if (std::string(c.name) == "mxcomp") q.MXLookup(name);
    else if (std::string(c.name) == "aaaa") q.QueryAny(name, DnsQueryTypeAAAA);
    else q.ALookup(name);
    ASSERT_TRUE(d.wait()) << "the request never ended";
    EXPECT_EQ(d.error, c.error);
    EXPECT_EQ(q.AnswerCount(), c.answers);
    EXPECT_EQ(q.RetriedOverTcp(), c.retried);
    if (c.error == ws::WSAETIMEDOUT || c.error == ws::WSAECONNRESET) {
        EXPECT_EQ(q.ResponseLen(), -1);
        return;
    }
    EXPECT_EQ(q.ResponseANCount(), c.ancount);
    EXPECT_EQ(q.QuestionName(), name);
    EXPECT_EQ(q.ResponseCode(), c.rcode);
    EXPECT_FALSE(q.ResponseTruncated());
    if (!c.first.empty()) {
        EXPECT_EQ(firstAnswer(q), c.first);
        EXPECT_EQ(q.GetAnswerName(0), name);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, DnsPeer,
    ::testing::Values(PeerCase{"ok", "udp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"silent", "udp", ws::WSAETIMEDOUT, 0, 0, ""},
                      PeerCase{"silent", "tcp", ws::WSAETIMEDOUT, 0, 0, ""},
                      PeerCase{"wrongid", "udp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"wrongid", "tcp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"wrongq", "udp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"query", "udp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"loop", "udp", DnsErrorMalformed, 0, 1, ""},
                      PeerCase{"loop2", "udp", DnsErrorMalformed, 0, 1, ""},
                      PeerCase{"qloop", "udp", ws::WSAETIMEDOUT, 0, 0, ""},
                      PeerCase{"badcount", "udp", DnsErrorMalformed, 1, 5, "192.0.2.1"},
                      PeerCase{"rdlen", "udp", DnsErrorMalformed, 0, 1, ""},
                      PeerCase{"ptrout", "udp", DnsErrorMalformed, 0, 1, ""},
                      PeerCase{"labelout", "udp", DnsErrorMalformed, 0, 1, ""},
                      PeerCase{"mxcomp", "udp", 0, 1, 1, "10 mail.mxcomp.pwx.test"},
                      PeerCase{"many", "tcp", 0, 50, 60, "10.0.0.1"},
                      PeerCase{"trailing", "tcp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"slow", "tcp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"cut", "tcp", ws::WSAECONNRESET, 0, 0, ""},
                      // No question section: not known to be the answer to this query.
                      PeerCase{"noq", "udp", 0, 1, 1, "192.0.2.1"},
                      // 3 of 60 answers over UDP: the whole answer comes over TCP.
                      PeerCase{"tc", "udp", 0, 50, 60, "10.0.0.1", 0, true},
                      PeerCase{"tc", "tcp", 0, 50, 60, "10.0.0.1"},
                      PeerCase{"aaaa", "udp", 0, 2, 2, "2001:db8::1"},
                      PeerCase{"nx", "udp", 0, 0, 0, "", 3},
                      // Forged answers with the right ID and question, but from
                      // another address or port, are never taken.
                      PeerCase{"spoof", "udp", 0, 1, 1, "192.0.2.1"},
                      PeerCase{"spoofonly", "udp", ws::WSAETIMEDOUT, 0, 0, ""},
                      PeerCase{"ok", "udp", 0, 1, 1, "192.0.2.1", 0, false, true},
                      PeerCase{"ok", "tcp", 0, 1, 1, "192.0.2.1", 0, false, true},
                      PeerCase{"tc", "udp", 0, 50, 60, "10.0.0.1", 0, true, true},
                      PeerCase{"spoof", "udp", 0, 1, 1, "192.0.2.1", 0, false, true},
                      PeerCase{"spoofonly", "udp", ws::WSAETIMEDOUT, 0, 0, "", 0, false, true}),
    [](const auto& info) {
        return std::string(info.param.name) + "_" + info.param.proto + (info.param.v6 ? "_v6" : "");
    });

TEST(DnsQuery, TcpAnswerIsReadUpToItsLengthAndNoFurther) {
    TDnsQuery q;
    q.Addr = "127.0.0.1";
    q.Port = peerPort();
    q.SetProto("tcp");
    Done d;
    d.attach(q);
    q.ALookup("many.pwx.test");
    ASSERT_TRUE(d.wait());
    ASSERT_EQ(d.error, 0);
    const std::string buf = q.GetResponseBuf();
    EXPECT_EQ(buf.size(), 12u + 19 + 60 * 16);  // header, question, 60 answers: over 512 bytes
    EXPECT_EQ(q.ResponseLen(), static_cast<int>(buf.size()));
    EXPECT_EQ(dotted(q.GetAddress(49)), "10.0.0.50");
    EXPECT_EQ(q.GetAnswerTag(49), 49);
    EXPECT_EQ(q.GetAddress(50).s_addr, 0u);  // past the arrays: nothing

    Done d2;
    d2.attach(q);
    q.ALookup("trailing.pwx.test");
    ASSERT_TRUE(d2.wait());
    EXPECT_EQ(d2.error, 0);
    EXPECT_EQ(q.GetResponseBuf().size(), 12u + 23 + 16);  // the 20 bytes behind it are not part of it
}

TEST(DnsQuery, ANewQueryEndsTheOneInProgressSilently) {
    TDnsQuery q;
    q.Addr = "127.0.0.1";
    q.Port = peerPort();
    q.Timeout = 400;
    int ends = 0;
    uint16_t last = 1;
    q.OnRequestDone = [&](rtl::TObject*, uint16_t e) {
        ++ends;
        last = e;
    };
    q.ALookup("silent.pwx.test");
    q.ALookup("ok.pwx.test");
    win::PumpUntil([&] { return false; }, 900);  // past the first query's time-out
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(dotted(q.GetAddress(0)), "192.0.2.1");
}
